// quorvane intro — the program: start-up, the frame loop until Escape, shutdown.
// With arguments it can also capture the show to files or benchmark it (capture/cli_options.h).
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture_run.h"
#include "capture/cli_options.h"
#include "module/playback.h"
#include "runtime/os/os.h"
#include "show/show.h"
#include "show/version.h"

#ifndef _WIN32
// The executable's version record, in a section of its own so that tools can read it
// (readelf -p .quorvane_version quorvane-intro). The Windows program carries it as its version
// resource (app/windows/quorvane-intro.rc), which Explorer's Properties shows.
[[gnu::used, gnu::section(".quorvane_version")]] static const char kVersionRecord[] = QUORVANE_VERSION_RECORD;
#endif

// What a mode printed on standard output must have reached it: a full disk or a closed pipe
// loses the help, the version, the benchmark's figures or the sync report, and that is a
// failure (one line on stderr, exit 1), never exit 0.
static int check_stdout(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::fprintf(stderr, "quorvane-intro: standard output: cannot write: %s\n", std::strerror(errno));
  return status != 0 ? status : 1;
}

int main(int argc, char** argv) {
  const long long start_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
  // Messages go to the console the program was started from (on Windows it has none of its
  // own); paths in the arguments are UTF-8 everywhere.
  os::attach_console();
  if (argc <= 1) return show::run();

  const std::vector<std::string> arguments = os::utf8_arguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& a : arguments) pointers.push_back(a.c_str());
  capture::CliOptions options;
  std::string error;
  if (!capture::cli_parse(int(pointers.size()), pointers.data(), options, error)) {
    std::fprintf(stderr, "quorvane-intro: %s\n%s", error.c_str(), capture::cli_usage());
    return 2;
  }
  switch (options.mode) {
    case capture::CliMode::kHelp:
      std::fputs(capture::cli_usage(), stdout);
      return check_stdout(0);
    case capture::CliMode::kVersion:
      std::printf("%s %s\n", show::kProductName, show::kVersion);
      return check_stdout(0);
    case capture::CliMode::kCapture:
      return capture::capture_main(options);
    case capture::CliMode::kBench:
      return check_stdout(capture::capture_bench_main(options, start_ns));
    case capture::CliMode::kRun:
      break;
  }
  const int status = show::run();
  if (options.sync_report) std::printf("%s\n", music_sync_report().c_str());
  return check_stdout(status);
}
