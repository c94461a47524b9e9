// show/format.h — numbers as the show prints them: decimal text right-aligned to a width.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace show {

// Decimal text of `value` (a leading "-" when negative), padded on the left with `pad` to
// `width` characters; a longer text keeps its first `width` characters, so 104 at width 2
// prints "10".
inline std::u16string format_number(int64_t value, int width, char16_t pad) {
  const std::string digits = std::to_string(value);
  std::u16string text(digits.begin(), digits.end());
  if (int(text.size()) > width) return text.substr(0, size_t(width));
  return std::u16string(size_t(width) - text.size(), pad) + text;
}
// A float value is rounded to the nearest integer first, ties to even (-12.5 prints "-12").
inline std::u16string format_rounded(float value, int width, char16_t pad) {
  return format_number(int64_t(std::nearbyint(value)), width, pad);
}

}  // namespace show
