// show/drawing.h — what the scene's drawing code shares: the text call every caption uses, the
// light blue and the rounding of wave-moved positions.
#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

#include "effects/bitmap_font_text.h"
#include "effects/look.h"
#include "effects/objects.h"
#include "show/show.h"

namespace show {

inline constexpr int kAdvance = 8, kLineHeight = 16;  // every caption: 8 x 16 cells

using look::kLightBlue;  // the rules, the closing card, the hint and the credit line

// A caption on the font sprite at (x, y).
inline void text(int x, int y, std::u16string_view line, int32_t colour, int intensity) {
  bitmap_font_text(objects::kFontSprite, x, y, kAdvance, kLineHeight, line, colour, intensity);
}
// A caption centred on the screen: x = (800 - 8 * length) / 2, truncated.
inline void centred_text(int y, std::u16string_view line, int32_t colour, int intensity) {
  text((kScreenWidth - kAdvance * int(line.size())) / 2, y, line, colour, intensity);
}

// Nearest integer, ties to even (the default rounding mode).
inline int round_int(float value) {
  return int(std::nearbyint(value));
}

}  // namespace show
