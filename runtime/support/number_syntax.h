// runtime/support/number_syntax.h — the one number syntax of every command line here.
//
// A decimal number is digits with at most one decimal point and nothing else: no sign, no
// blanks, no exponent, no hexadecimal, no "inf" or "nan", at most 12 digits. strtod alone would
// take all of those ("0x0.1p0", "5e-2", "+0.05", " 1"), so a typo could pass as a value.
#pragma once

#include <cstdlib>

namespace number_syntax {

inline bool parse_decimal(const char* text, double& value) {
  int digits = 0, points = 0;
  for (const char* p = text; *p; ++p) {
    if (*p >= '0' && *p <= '9')
      ++digits;
    else if (*p == '.' && points == 0)
      ++points;
    else
      return false;
  }
  if (digits == 0 || digits > 12) return false;
  value = std::strtod(text, nullptr);
  return true;
}

}  // namespace number_syntax
