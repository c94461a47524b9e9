// tools/xmrender/module_file.h — reading a module file and checking a number or an output
// path, for the command-line tools (xmrender, xmplay). Every failure comes with a reason fit
// for "tool: PATH: reason".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/os/os.h"
#include "runtime/support/number_syntax.h"

namespace tool_files {

// The largest module the tools read. The biggest module in the test corpus is 3.4 MB; a
// bound keeps a huge or endless file from being read in full before it is rejected.
inline constexpr size_t kMaxModuleBytes = size_t(256) << 20;

// Reads a regular file of at most kMaxModuleBytes. A directory, a device node or a pipe is
// refused before anything is read from it.
inline bool read_module_file(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
  return os::read_regular_file(path, kMaxModuleBytes, bytes, reason);
}

// Whether OUT may be written by renaming a finished temporary file onto it: a new path or a
// regular file, and not the input itself (by any name). A device node or a directory would be
// replaced by the rename.
inline bool output_path_allowed(const std::string& output, const std::string& input, std::string& reason) {
  switch (os::file_kind(output, &reason)) {
    case os::FileKind::kNone:
      return true;
    case os::FileKind::kUnknown:
      return false;
    case os::FileKind::kFolder:
      reason = "is a directory";
      return false;
    case os::FileKind::kOther:
      reason = "not a regular file; refusing to replace it";
      return false;
    case os::FileKind::kRegular:
      break;
  }
  if (os::same_file(input, output)) {
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
