// capture/input_script.h — a scripted user for captures and benchmarks: key presses, typed text
// and mouse moves at given times, read from a small text file.
//
//   # a comment; blank lines are skipped
//   1.0  key Space        pressed in the first frame at or after 1.0 s, released in the next
//   2.5  type quorvane    one key per frame from 2.5 s on
//   3    move 400 300     a mouse move to window point (400, 300)
//
// Times are seconds from the start of the show (digits with an optional decimal fraction of at
// most 6 digits, up to 86400). Frame n of the 60 per second is shown at n * 1000 / 60 ms, so an
// action lands in frame ceil(seconds * 60), computed exactly in integers.
// Key names: a letter or digit, Space, Escape (Esc), Return (Enter), Backspace, Tab, F1 to F12,
// Up, Down, Left, Right, Home, End, PageUp, PageDown, Insert, Delete, Shift, Ctrl, Alt, and the
// punctuation keys by their character; case does not matter.
//
// Parsing never throws and never reads outside the text; a line that cannot be read stops the
// parse with one message and the line's number, and the script is then left empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "effects/look.h"

namespace capture {

inline constexpr int kScriptFramesPerSecond = look::kFramesPerSecond;
inline constexpr int kScriptMaxSeconds = 86400;

// One key press: down in the sample of `frame`, up in the next frame's sample.
struct ScriptKeyPress {
  int frame = 0;
  int scan_code = 0;  // PC set-1
  char16_t text = 0;  // what the press types; 0 for a key that types nothing
};
struct ScriptMove {
  int frame = 0;
  int x = 0, y = 0;  // window coordinates
};
struct InputScript {
  std::vector<ScriptKeyPress> keys;  // sorted by frame
  std::vector<ScriptMove> moves;     // sorted by frame
};

struct ScriptError {
  int line = 0;         // 1-based; 0 = no error
  std::string message;  // what is wrong with it, without the line number
};

// Parses a whole script. True on success; otherwise `error` names the first bad line.
bool input_script_parse(std::string_view text, InputScript& script, ScriptError& error);

// The scan code and typed character of a key name, or false for an unknown name.
bool input_script_key(std::string_view name, int& scan_code, char16_t& text);

}  // namespace capture
