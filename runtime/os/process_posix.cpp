// The POSIX side of os.h's processes: posix_spawn with a pipe, bounded waits.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "runtime/os/os.h"

extern char** environ;

namespace os {
namespace {

std::vector<char*> argv_of(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

int exit_code_of(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits at most `timeout_ms` for the child (a negative bound waits for ever), then kills it;
// with `stopped`, a stop request kills it too. Its exit code, -1 when it was killed or did not
// exit normally.
int wait_bounded(pid_t pid, int timeout_ms, bool* timed_out, bool* stopped = nullptr) {
  int status = 0;
  const auto start = std::chrono::steady_clock::now();
  const bool polls = timeout_ms >= 0 || stopped;
  for (;;) {
    const pid_t done = waitpid(pid, &status, polls ? WNOHANG : 0);
    if (done == pid) return exit_code_of(status);
    if (done < 0 && errno != EINTR) return -1;
    const bool expired =
        timeout_ms >= 0 && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeout_ms);
    const bool stop = stopped && stop_request() != 0;
    if (expired || stop) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      if (expired && timed_out) *timed_out = true;
      if (!expired && stop) *stopped = true;
      return -1;
    }
    if (polls) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

bool program_on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  const std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    const std::string candidate = dir + "/" + program;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

struct PipedProcess::State {
  pid_t pid = -1;
  int fd = -1;
};

PipedProcess::~PipedProcess() {
  if (state_) finish(10000);
}

bool PipedProcess::start(const std::vector<std::string>& arguments, std::string& reason) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    reason = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
  std::vector<char*> argv = argv_of(arguments);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[0]);
  if (failed) {
    close(fds[1]);
    reason = arguments[0] + ": cannot start: " + std::strerror(failed);
    return false;
  }
  // Non-blocking, so that a write waits in poll() with a bound instead of in write() for ever.
  fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  state_ = new State{pid, fds[1]};
  return true;
}

bool PipedProcess::write(const void* bytes, size_t size, int timeout_ms) {
  if (!state_ || state_->fd < 0) return false;
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (size > 0) {
    pollfd ready{state_->fd, POLLOUT, 0};
    const int polled = poll(&ready, 1, timeout_ms);
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return false;  // no progress for timeout_ms, or the pipe is gone
    const ssize_t n = ::write(state_->fd, p, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

int PipedProcess::finish(int timeout_ms) {
  if (!state_) return -1;
  if (state_->fd >= 0) close(state_->fd);
  const int code = wait_bounded(state_->pid, timeout_ms, nullptr);
  delete state_;
  state_ = nullptr;
  return code;
}

ProgramResult run_program(const std::vector<std::string>& arguments, int timeout_ms, bool keep_output,
                          bool stop_on_request) {
  ProgramResult result;
  int out[2] = {-1, -1};
  if (keep_output && pipe2(out, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (keep_output) {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  }
  std::vector<char*> argv = argv_of(arguments);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (keep_output) {
    close(out[1]);
    if (!failed) {
      // Read until the child closes its end or the bound passes.
      const auto start = std::chrono::steady_clock::now();
      char buffer[4096];
      for (;;) {
        int left = -1;
        if (timeout_ms >= 0) {
          const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
          left = int(std::max<long long>(0, timeout_ms - spent));
        }
        pollfd ready{out[0], POLLIN, 0};
        const int polled = poll(&ready, 1, left);
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) break;
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.output.append(buffer, size_t(n));
      }
    }
    close(out[0]);
  }
  if (failed) return result;
  // The wait has the whole bound again: a child may close its output and still run on.
  result.exit_code =
      wait_bounded(pid, timeout_ms, &result.timed_out, stop_on_request ? &result.stopped : nullptr);
  return result;
}

}  // namespace os
