// The input-script parser on arbitrary bytes: it must accept or refuse with a line number, never
// crash, and what it accepts must be in range.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "capture/input_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  capture::InputScript script;
  capture::ScriptError error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (capture::input_script_parse(text, script, error)) {
    if (error.line != 0) std::abort();
    for (const auto& key : script.keys)
      if (key.scan_code <= 0 || key.scan_code > 255 || key.frame < 0) std::abort();
    for (const auto& move : script.moves)
      if (move.x < 0 || move.x > 799 || move.y < 0 || move.y > 639 || move.frame < 0) std::abort();
  } else if (error.line <= 0 || error.message.empty() || !script.keys.empty() || !script.moves.empty()) {
    std::abort();
  }
  return 0;
}
