// PNG, WAV and encoder output of a capture (see capture_files.h).
#include "capture/capture_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "runtime/screen/screen.h"

extern char** environ;

namespace capture {
namespace {

void put_u16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put_u32(uint8_t* p, uint32_t v) {
  put_u16(p, v & 0xFFFF);
  put_u16(p + 2, v >> 16);
}

// The 44-byte canonical header of 16-bit stereo PCM at 44100 Hz.
void wav_header(uint8_t h[44], uint64_t frames) {
  const uint64_t data = frames * 4;
  const uint32_t data32 = data > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : uint32_t(data);
  std::memcpy(h, "RIFF", 4);
  put_u32(h + 4, 36 + data32);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_u32(h + 16, 16);
  put_u16(h + 20, 1);  // PCM
  put_u16(h + 22, 2);
  put_u32(h + 24, 44100);
  put_u32(h + 28, 44100 * 4);
  put_u16(h + 32, 4);
  put_u16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  put_u32(h + 40, data32);
}

struct PngFailure {
  std::jmp_buf jump;
  char message[160] = {};
};

void png_fail(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message);
  std::longjmp(failure->jump, 1);
}
void png_warn(png_structp, png_const_charp) {}

std::vector<char*> argv_of(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

int wait_exit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

void capture_read_back(std::vector<uint8_t>& rgb) {
  rgb.resize(size_t(kCaptureWidth) * kCaptureHeight * 3);
  screen_read_back_rgb(0, 0, kCaptureWidth, kCaptureHeight, rgb.data());
}

std::FILE* capture_create_file(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!file) {
    error = path + ": cannot create: " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
  }
  return file;
}

StagingFolder::~StagingFolder() {
  if (dir_.empty()) return;
  if (DIR* d = opendir(dir_.c_str())) {
    while (const dirent* entry = readdir(d))
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        unlink(path(entry->d_name).c_str());
    closedir(d);
  }
  rmdir(dir_.c_str());
}

bool StagingFolder::make(const std::string& parent, std::string& error) {
  std::string name = parent + "/.quorvane-capture-XXXXXX";
  if (!mkdtemp(name.data())) {
    error = parent + ": cannot make a folder for the capture: " + std::strerror(errno);
    return false;
  }
  dir_ = name;
  return true;
}

bool StagingFolder::move_file(const std::string& name, const std::string& destination, std::string& error) {
  if (std::rename(path(name).c_str(), destination.c_str()) == 0) return true;
  error = destination + ": cannot move the finished file into place: " + std::strerror(errno);
  return false;
}

bool StagingFolder::move_into(const std::string& parent, std::string& error) {
  DIR* d = opendir(dir_.c_str());
  if (!d) {
    error = dir_ + ": cannot read the folder: " + std::strerror(errno);
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(d))
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.push_back(entry->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names)
    if (!move_file(name, parent + "/" + name, error)) return false;
  return true;
}

bool capture_write_png(const std::string& path, const uint8_t* rgb, int width, int height,
                       std::string& error) {
  std::FILE* file = capture_create_file(path, error);
  if (!file) return false;
  PngFailure failure;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, png_fail, png_warn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(file);
    error = path + ": out of memory";
    return false;
  }
  if (setjmp(failure.jump)) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    error = path + ": cannot write the PNG: " + failure.message;
    return false;
  }
  png_init_io(png, file);
  // Level 3 with the Sub filter takes about half the time of libpng's defaults (level 6,
  // adaptive filters) on the show's pictures at 800 x 640; photo-like frames come out up to
  // half again as large, flat ones no larger.
  png_set_compression_level(png, 3);
  png_set_filter(png, 0, PNG_FILTER_SUB);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) png_write_row(png, rgb + size_t(y) * width * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) {
    error = path + ": cannot write: " + std::strerror(errno);
    return false;
  }
  return true;
}

WavWriter::~WavWriter() {
  if (file_) std::fclose(file_);
}

bool WavWriter::open(const std::string& path, std::string& error) {
  path_ = path;
  file_ = capture_create_file(path, error);
  if (!file_) return false;
  uint8_t header[44];
  wav_header(header, 0);
  failed_ = std::fwrite(header, 1, sizeof header, file_) != sizeof header;
  return true;
}

bool WavWriter::append(const int16_t* pcm, int frames) {
  if (!file_ || failed_) return false;
  // The samples are little-endian in the file, as they are in memory here (x86, ARM).
  if (std::fwrite(pcm, 4, size_t(frames), file_) != size_t(frames)) failed_ = true;
  frames_ += uint64_t(frames);
  return !failed_;
}

bool WavWriter::close(std::string& error) {
  if (!file_) return false;
  uint8_t header[44];
  wav_header(header, frames_);
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, file_) != sizeof header)
    failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  if (failed_) error = path_ + ": cannot write the sound: " + std::strerror(errno);
  return !failed_;
}

bool capture_program_on_path(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    const std::string candidate = dir + "/" + program;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

PipedProcess::~PipedProcess() {
  if (pid_ > 0) finish(10000);
}

bool PipedProcess::start(const std::vector<std::string>& arguments, std::string& error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
  std::vector<char*> argv = argv_of(arguments);
  const int failed = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[0]);
  if (failed) {
    close(fds[1]);
    pid_ = -1;
    error = arguments[0] + ": cannot start: " + std::strerror(failed);
    return false;
  }
  // Non-blocking, so that a write waits in poll() with a bound instead of in write() for ever.
  fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  fd_ = fds[1];
  return true;
}

bool PipedProcess::write(const void* bytes, size_t size, int timeout_ms) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (size > 0) {
    pollfd ready{fd_, POLLOUT, 0};
    const int polled = poll(&ready, 1, timeout_ms);
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return false;  // no progress for timeout_ms, or the pipe is gone
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

int PipedProcess::finish(int timeout_ms) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (pid_ <= 0) return -1;
  int status = 0;
  pid_t done = 0;
  for (int waited_ms = 0; (done = waitpid(pid_, &status, WNOHANG)) == 0 && waited_ms < timeout_ms;
       waited_ms += 10)
    usleep(10000);
  if (done == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    status = -1;
  }
  pid_ = -1;
  return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int capture_run_program(const std::vector<std::string>& arguments) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv = argv_of(arguments);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : wait_exit(pid);
}

}  // namespace capture
