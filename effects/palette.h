// effects/palette.h — the colour the show's look is built around, with one owner.
//
// Colours are packed r + 256 g + 65536 b, as every sprite display and caption takes them.
#pragma once

#include <cstdint>

namespace palette {

// The light blue of the logo's two bands, the rules, the scroller's beat copies, the page
// lines that pick up the logo, the closing card, the hint and the credit line.
inline constexpr int32_t kLightBlue = 0xCBB08E;  // RGB (142, 176, 203)

}  // namespace palette
