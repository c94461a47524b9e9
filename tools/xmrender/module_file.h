// tools/xmrender/module_file.h — reading a module file and checking a number or an output
// path, for the command-line tools (xmrender, xmplay). Every failure comes with a reason fit
// for "tool: PATH: reason".
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/support/number_syntax.h"

namespace tool_files {

// The largest module the tools read. The biggest module in the test corpus is 3.4 MB; a
// bound keeps a huge or endless file from being read in full before it is rejected.
inline constexpr size_t kMaxModuleBytes = size_t(256) << 20;

// Reads a regular file of at most kMaxModuleBytes. A directory, a device node or a pipe is
// refused before anything is read from it.
inline bool read_module_file(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer before the type check refuses it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  if (!ok) {
    reason = std::strerror(errno);
  } else if (S_ISDIR(info.st_mode)) {
    reason = "is a directory";
    ok = false;
  } else if (!S_ISREG(info.st_mode)) {
    reason = "not a regular file";
    ok = false;
  } else if (uint64_t(info.st_size) > kMaxModuleBytes) {
    reason = "file too large (over " + std::to_string(kMaxModuleBytes >> 20) + " MB)";
    ok = false;
  }
  bytes.clear();
  if (ok) {
    // The size may change while reading: never read past the bound whatever the file does.
    bytes.resize(size_t(info.st_size));
    size_t done = 0;
    for (;;) {
      if (done == bytes.size()) {
        if (bytes.size() > kMaxModuleBytes) {
          reason = "file too large (over " + std::to_string(kMaxModuleBytes >> 20) + " MB)";
          ok = false;
          break;
        }
        bytes.resize(bytes.size() + 4096);  // probe for bytes beyond the size stat gave
      }
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        reason = std::strerror(errno);
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

// Whether OUT may be written by renaming a finished temporary file onto it: a new path or a
// regular file, and not the input itself (by any name). A device node or a directory would be
// replaced by the rename.
inline bool output_path_allowed(const std::string& output, const std::string& input, std::string& reason) {
  struct stat out {};
  if (::stat(output.c_str(), &out) != 0) {
    if (errno == ENOENT) return true;
    reason = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(out.st_mode)) {
    reason = "is a directory";
    return false;
  }
  if (!S_ISREG(out.st_mode)) {
    reason = "not a regular file; refusing to replace it";
    return false;
  }
  struct stat in {};
  if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
    reason = "is the input module; refusing to overwrite it";
    return false;
  }
  return true;
}

// Strict decimal numbers, the syntax of every command line here (runtime/support/number_syntax.h).
inline bool parse_decimal(const char* text, double& value) {
  return number_syntax::parse_decimal(text, value);
}

// Strict whole numbers in [minimum, maximum]: decimal digits only.
inline bool parse_whole(const char* text, long minimum, long maximum, long& value) {
  if (!*text) return false;
  long v = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > maximum) return false;
  }
  if (v < minimum) return false;
  value = v;
  return true;
}

}  // namespace tool_files
