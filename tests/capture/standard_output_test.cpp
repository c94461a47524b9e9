// What the intro's command-line modes print on standard output, and how they fail: output that
// cannot be written (a full disk, here /dev/full) is an error with one line and exit 1, never a
// silent exit 0; a benchmark whose window fails says why. Each run is a process of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code = -1;
  std::string err;
};

// Runs the intro with `args` (quoted for the shell) and standard output sent to `out`.
Outcome run_intro(const std::string& env, const std::string& args, const std::string& out) {
  const fs::path err = fs::path(::testing::TempDir()) / ("stdout_stderr_" + std::to_string(getpid()) + ".txt");
  // A hung intro ends after 100 s with exit code 124 and what it printed so far.
  const std::string command = "env " + env + " /usr/bin/timeout --kill-after=10 100 '" QUORVANE_INTRO "' " +
                              args + " >" + out + " 2>'" + err.string() + "'";
  const int status = std::system(command.c_str());
  Outcome r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream f(err);
  r.err.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return r;
}

// The live show's --sync-report is held to the same rule in tests/show/live_run_test.cmake (it
// needs an X server and a key press to end).
struct Case {
  const char* args;
  const char* what;
};
constexpr Case kModes[] = {
    {"--help", "the usage"},
    {"--version", "the version"},
    {"--bench --seconds 0.1", "the benchmark's figures"},
};

TEST(StandardOutput, WrittenByEveryModeThatPrintsThere) {
  for (const Case& c : kModes) {
    SCOPED_TRACE(c.args);
    const Outcome r = run_intro("SDL_AUDIODRIVER=dummy", c.args, "/dev/null");
    EXPECT_EQ(r.code, 0) << c.what << ": " << r.err;
  }
}

TEST(StandardOutput, AFullDiskIsAnErrorNotSuccess) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  for (const Case& c : kModes) {
    SCOPED_TRACE(c.args);
    const Outcome r = run_intro("SDL_AUDIODRIVER=dummy", c.args, "/dev/full");
    EXPECT_EQ(r.code, 1) << c.what << " lost without a word: " << r.err;
    const std::string line = "quorvane-intro: standard output: cannot write: No space left on device\n";
    EXPECT_TRUE(r.err.size() >= line.size() && r.err.compare(r.err.size() - line.size(), line.size(), line) == 0)
        << "the last line names the failure: " << r.err;
  }
}

// No window (SDL cannot load its EGL library here): the benchmark prints SDL's reason, as the
// capture does, instead of only saying that it failed.
TEST(StandardOutput, BenchmarkSaysWhyItsWindowFailed) {
  const Outcome r = run_intro("-u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen "
                          "SDL_VIDEO_EGL_DRIVER=/nonexistent/libEGL.so.1 SDL_AUDIODRIVER=dummy",
                          "--bench --seconds 0.1", "/dev/null");
  EXPECT_EQ(r.code, 1) << r.err;
  const std::string said = "quorvane-intro: the window or its OpenGL screen could not be opened (";
  const size_t at = r.err.find(said);
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_NE(r.err.compare(at + said.size(), 2, ")\n"), 0) << "an empty reason: " << r.err;
  EXPECT_NE(r.err.find("EGL", at), std::string::npos) << "SDL's reason names what failed: " << r.err;
}

}  // namespace
