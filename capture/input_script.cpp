// Parser of the scripted user's text (see input_script.h).
#include "capture/input_script.h"

#include <algorithm>
#include <cstdio>

namespace capture {
namespace {

// Named keys (lower case) to PC set-1 scan codes and the character the key types.
struct NamedKey {
  const char* name;
  int scan_code;
  char16_t text;
};
constexpr NamedKey kNamedKeys[] = {
    {"escape", 0x01, 0}, {"esc", 0x01, 0},      {"backspace", 0x0E, 0}, {"tab", 0x0F, 0},
    {"return", 0x1C, 0}, {"enter", 0x1C, 0},    {"ctrl", 0x1D, 0},      {"shift", 0x2A, 0},
    {"alt", 0x38, 0},    {"space", 0x39, u' '}, {"f1", 0x3B, 0},        {"f2", 0x3C, 0},
    {"f3", 0x3D, 0},     {"f4", 0x3E, 0},       {"f5", 0x3F, 0},        {"f6", 0x40, 0},
    {"f7", 0x41, 0},     {"f8", 0x42, 0},       {"f9", 0x43, 0},        {"f10", 0x44, 0},
    {"f11", 0x57, 0},    {"f12", 0x58, 0},      {"home", 0xC7, 0},      {"up", 0xC8, 0},
    {"pageup", 0xC9, 0}, {"left", 0xCB, 0},     {"right", 0xCD, 0},     {"end", 0xCF, 0},
    {"down", 0xD0, 0},   {"pagedown", 0xD1, 0}, {"insert", 0xD2, 0},    {"delete", 0xD3, 0},
};

// Keys that type one character (US layout, no Shift), by that character.
struct CharKey {
  char c;
  int scan_code;
};
constexpr CharKey kCharKeys[] = {
    {'1', 0x02}, {'2', 0x03}, {'3', 0x04},  {'4', 0x05}, {'5', 0x06},  {'6', 0x07}, {'7', 0x08}, {'8', 0x09},
    {'9', 0x0A}, {'0', 0x0B}, {'-', 0x0C},  {'=', 0x0D}, {'q', 0x10},  {'w', 0x11}, {'e', 0x12}, {'r', 0x13},
    {'t', 0x14}, {'y', 0x15}, {'u', 0x16},  {'i', 0x17}, {'o', 0x18},  {'p', 0x19}, {'[', 0x1A}, {']', 0x1B},
    {'a', 0x1E}, {'s', 0x1F}, {'d', 0x20},  {'f', 0x21}, {'g', 0x22},  {'h', 0x23}, {'j', 0x24}, {'k', 0x25},
    {'l', 0x26}, {';', 0x27}, {'\'', 0x28}, {'`', 0x29}, {'\\', 0x2B}, {'z', 0x2C}, {'x', 0x2D}, {'c', 0x2E},
    {'v', 0x2F}, {'b', 0x30}, {'n', 0x31},  {'m', 0x32}, {',', 0x33},  {'.', 0x34}, {'/', 0x35}, {' ', 0x39},
};

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The key that types `c`; an upper-case letter is its letter key (the show lowers what it reads,
// and a Shift press would clear its typed word).
int key_for_char(char c) {
  for (const CharKey& k : kCharKeys)
    if (k.c == lower(c)) return k.scan_code;
  return -1;
}

bool is_space(char c) {
  return c == ' ' || c == '\t';
}

std::string_view next_word(std::string_view& rest) {
  size_t i = 0;
  while (i < rest.size() && is_space(rest[i])) ++i;
  size_t j = i;
  while (j < rest.size() && !is_space(rest[j])) ++j;
  const std::string_view word = rest.substr(i, j - i);
  rest = rest.substr(j);
  return word;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && (is_space(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Seconds as digits with up to 6 decimals, turned into the first frame at or after that time
// exactly: ceil(units * 60 / 10^decimals).
bool parse_time(std::string_view word, int& frame) {
  int64_t units = 0, scale = 1;
  int integer_digits = 0, decimals = 0;
  bool point = false;
  for (char c : word) {
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      if (point ? ++decimals > 6 : ++integer_digits > 5) return false;
      units = units * 10 + (c - '0');
      if (point) scale *= 10;
    } else {
      return false;
    }
  }
  if (integer_digits == 0 && decimals == 0) return false;
  if (units > int64_t(kScriptMaxSeconds) * scale) return false;
  frame = int((units * kScriptFramesPerSecond + scale - 1) / scale);
  return true;
}

bool parse_int(std::string_view word, int low, int high, int& value) {
  if (word.empty() || word.size() > 6) return false;
  int v = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < low || v > high) return false;
  value = v;
  return true;
}

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s.substr(0, 40)) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  if (s.size() > 40) out += "...";
  return out + "\"";
}

// Frame of each key's latest scripted press, so that a key typed twice in a row gets one frame
// up in between and both presses are seen (a key held over two samples is one press).
struct LastPress {
  int frame[256];
  LastPress() {
    for (int& f : frame) f = -10;
  }
};

bool parse_line(std::string_view line, InputScript& script, LastPress& last, std::string& message) {
  std::string_view rest = line;
  const std::string_view time = next_word(rest);
  int frame = 0;
  if (!parse_time(time, frame)) {
    message = "expected a time in seconds (such as 1.5, at most 86400), not " + quoted(time);
    return false;
  }
  const std::string_view action = next_word(rest);
  if (action == "key") {
    const std::string_view name = next_word(rest);
    int code = 0;
    char16_t text = 0;
    if (name.empty()) {
      message = "key needs a key name";
      return false;
    }
    if (!input_script_key(name, code, text)) {
      message = "unknown key name " + quoted(name);
      return false;
    }
    if (!trim(rest).empty()) {
      message = "unexpected " + quoted(trim(rest)) + " after the key name";
      return false;
    }
    script.keys.push_back({frame, code, text});
    last.frame[code] = frame;
  } else if (action == "type") {
    const std::string_view text = trim(rest);
    if (text.empty()) {
      message = "type needs the text to type";
      return false;
    }
    for (char c : text) {
      const int code = key_for_char(c);
      if (code < 0) {
        message =
            "cannot type " + quoted(std::string_view(&c, 1)) + " (letters, digits, space and US punctuation)";
        return false;
      }
      if (last.frame[code] >= frame - 1 && last.frame[code] <= frame + 1) frame = last.frame[code] + 2;
      script.keys.push_back({frame, code, char16_t(static_cast<unsigned char>(c))});
      last.frame[code] = frame;
      frame += 1;
    }
  } else if (action == "move") {
    ScriptMove move;
    move.frame = frame;
    const std::string_view x = next_word(rest), y = next_word(rest);
    if (!parse_int(x, 0, 799, move.x) || !parse_int(y, 0, 639, move.y)) {
      message =
          "move needs X (0..799) and Y (0..639), not " + quoted(trim(line.substr(line.find("move") + 4)));
      return false;
    }
    if (!trim(rest).empty()) {
      message = "unexpected " + quoted(trim(rest)) + " after the position";
      return false;
    }
    script.moves.push_back(move);
  } else {
    message = "unknown action " + quoted(action) + " (key, type or move)";
    return false;
  }
  return true;
}

}  // namespace

bool input_script_key(std::string_view name, int& scan_code, char16_t& text) {
  if (name.size() == 1) {
    const int code = key_for_char(name[0]);
    if (code < 0 || name[0] == ' ') return false;
    scan_code = code;
    text = char16_t(lower(name[0]));
    return true;
  }
  if (name.size() > 12) return false;
  std::string lowered;
  for (char c : name) lowered += lower(c);
  for (const NamedKey& k : kNamedKeys) {
    if (lowered == k.name) {
      scan_code = k.scan_code;
      text = k.text;
      return true;
    }
  }
  return false;
}

bool input_script_parse(std::string_view text, InputScript& script, ScriptError& error) {
  script = {};
  error = {};
  LastPress last;
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == '#') continue;
    if (line.find('\0') != std::string_view::npos) {
      error = {number, "the line holds a NUL byte"};
    } else if (!parse_line(line, script, last, error.message)) {
      error.line = number;
    }
    if (error.line) {
      script = {};
      return false;
    }
  }
  const auto by_frame = [](const auto& a, const auto& b) { return a.frame < b.frame; };
  std::stable_sort(script.keys.begin(), script.keys.end(), by_frame);
  std::stable_sort(script.moves.begin(), script.moves.end(), by_frame);
  return true;
}

}  // namespace capture
