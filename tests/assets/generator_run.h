// Helpers of the asset tests: run a generator tool into a fresh temporary directory and read
// files back, so that a test can compare the tool's output with the committed asset.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace asset_test {

inline std::vector<unsigned char> read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::filesystem::path source_path(const std::string& relative) {
  return std::filesystem::path(QUORVANE_SOURCE_DIR) / relative;
}

// A directory of its own under the build tree, emptied on creation.
inline std::filesystem::path fresh_temp_dir(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(QUORVANE_TEST_TEMP_DIR) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

struct ToolRun {
  int exit_code;
  std::string error_output;
};

// Runs "tool arguments" through the shell with standard error captured.
inline ToolRun run_tool(const std::string& tool, const std::string& arguments,
                        const std::filesystem::path& work_dir) {
  std::filesystem::path error_file = work_dir / "stderr.txt";
  std::string command = "\"" + tool + "\" " + arguments + " 2>\"" + error_file.string() + "\"";
  int status = std::system(command.c_str());
  ToolRun run{status, read_text(error_file)};
  if (status != -1 && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  std::filesystem::remove(error_file);
  return run;
}

inline bool same_bytes(const unsigned char* data, unsigned int size, const std::vector<unsigned char>& file) {
  return file.size() == size && std::equal(file.begin(), file.end(), data);
}

}  // namespace asset_test
