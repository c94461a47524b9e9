// The POSIX side of os.h: files, folders, figures and stop requests.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "runtime/os/os.h"

namespace os {
namespace {

std::string errno_text() {
  return std::strerror(errno);
}

std::FILE* file_of(int fd, std::string& reason) {
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    reason = errno_text();
    ::close(fd);
  }
  return file;
}

}  // namespace

FileKind file_kind(const std::string& path, std::string* reason) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return FileKind::kNone;
    if (reason) *reason = errno_text();
    return FileKind::kUnknown;
  }
  if (S_ISREG(st.st_mode)) return FileKind::kRegular;
  return S_ISDIR(st.st_mode) ? FileKind::kFolder : FileKind::kOther;
}

std::FILE* create_new_file(const std::string& path, std::string& reason) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    reason = errno_text();
    return nullptr;
  }
  return file_of(fd, reason);
}

std::FILE* create_or_truncate_file(const std::string& path, std::string& reason) {
  // O_NONBLOCK: opening a FIFO must not wait for a reader before the type check refuses it.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    reason = errno_text();
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    reason = "not a regular file";
    ::close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return file_of(fd, reason);
}

std::FILE* open_for_reading(const std::string& path) {
  return std::fopen(path.c_str(), "rb");
}

bool read_regular_file(const std::string& path, size_t max_bytes, std::vector<uint8_t>& bytes,
                       std::string& reason) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer before the type check refuses it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reason = errno_text();
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  const std::string too_large = "file too large (over " + std::to_string(max_bytes >> 20) + " MB)";
  if (!ok) {
    reason = errno_text();
  } else if (S_ISDIR(info.st_mode)) {
    reason = "is a directory";
    ok = false;
  } else if (!S_ISREG(info.st_mode)) {
    reason = "not a regular file";
    ok = false;
  } else if (uint64_t(info.st_size) > max_bytes) {
    reason = too_large;
    ok = false;
  }
  bytes.clear();
  if (ok) {
    // The size may change while reading: never read past the bound whatever the file does.
    bytes.resize(size_t(info.st_size));
    size_t done = 0;
    for (;;) {
      if (done == bytes.size()) {
        if (bytes.size() > max_bytes) {
          reason = too_large;
          ok = false;
          break;
        }
        bytes.resize(bytes.size() + 4096);  // probe for bytes beyond the size fstat gave
      }
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        reason = errno_text();
        ok = false;
        break;
      }
      if (n == 0) break;
      done += size_t(n);
    }
    bytes.resize(done);
  }
  ::close(fd);
  return ok;
}

FileKind entry_kind(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? FileKind::kNone : FileKind::kUnknown;
  if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return FileKind::kRegular;
  return S_ISDIR(st.st_mode) ? FileKind::kFolder : FileKind::kOther;
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool make_folder(const std::string& path, std::string& reason) {
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
    reason = errno_text();
    return false;
  }
  if (file_kind(path) != FileKind::kFolder) {
    reason = "not a folder";
    return false;
  }
  return true;
}

bool make_unique_folder(const std::string& parent, const std::string& prefix, std::string& made,
                        std::string& reason) {
  std::string name = parent + "/" + prefix + "XXXXXX";
  if (!mkdtemp(name.data())) {
    reason = errno_text();
    return false;
  }
  made = name;
  return true;
}

bool list_folder(const std::string& path, std::vector<std::string>& names, std::string& reason) {
  DIR* d = opendir(path.c_str());
  if (!d) {
    reason = errno_text();
    return false;
  }
  names.clear();
  while (const dirent* entry = readdir(d))
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.push_back(entry->d_name);
  closedir(d);
  return true;
}

bool remove_file(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool remove_folder(const std::string& path) {
  return ::rmdir(path.c_str()) == 0;
}

bool replace_file(const std::string& from, const std::string& to, std::string& reason) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  reason = errno_text();
  return false;
}

bool rename_entry(const std::string& from, const std::string& to, std::string& reason) {
  // renameat2's RENAME_NOREPLACE is not in every C library this builds with: the name is free
  // here, as the callers made it or emptied it themselves.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    reason = std::strerror(EEXIST);
    return false;
  }
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  reason = errno_text();
  return false;
}

std::string executable_path() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  return std::string(self, size_t(n));
}

std::string parent_folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool is_absolute(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void attach_console() {}

long process_id() {
  return long(getpid());
}

bool process_alive(long pid) {
  if (pid <= 0 || pid != long(pid_t(pid))) return false;
  // EPERM: it runs, under another user.
  return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

bool is_terminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

void set_environment(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

long peak_memory_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double process_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

namespace {
// Lock-free, so that the handlers may touch it.
std::atomic<int> g_stop{0};
unsigned g_grace_seconds = 0;

void end_now(int number) {
  std::signal(number, SIG_DFL);
  std::raise(number);
}

void on_stop(int number) {
  const int first = g_stop.load();
  if (first != 0 && number != SIGPIPE) {
    end_now(number);
    return;
  }
  if (first == 0) {
    g_stop.store(number);
    // The grace time: SIGALRM ends the process as the request would have (see on_grace_over).
    if (number != SIGPIPE && g_grace_seconds > 0) alarm(g_grace_seconds);
  }
}

void on_grace_over(int) {
  const int number = g_stop.load();
  end_now(number != 0 && number != SIGPIPE ? number : SIGTERM);
}
}  // namespace

void catch_stop_requests(bool broken_pipe, int grace_seconds) {
  g_grace_seconds = grace_seconds > 0 ? unsigned(grace_seconds) : 0;
  struct sigaction action {};
  action.sa_handler = on_stop;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
  if (broken_pipe) sigaction(SIGPIPE, &action, nullptr);
  action.sa_handler = on_grace_over;
  sigaction(SIGALRM, &action, nullptr);
}

int stop_request() {
  return g_stop.load();
}

const char* stop_request_name(int number) {
  return strsignal(number);
}

void end_by_stop_request(int number) {
  std::fflush(nullptr);
  std::signal(number, SIG_DFL);
  std::raise(number);
  std::_Exit(128 + number);
}

void ignore_broken_pipe() {
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace os
