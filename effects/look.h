// effects/look.h — the facts of the show's look and pace that several parts share, each with
// one owner here: the logical screen, the frame rate and the light blue.
//
// Colours are packed r + 256 g + 65536 b, as every sprite display and caption takes them.
#pragma once

#include <cstdint>

namespace look {

// The logical screen every picture is laid out on, whatever the window's size.
inline constexpr int kScreenWidth = 800, kScreenHeight = 640;

// Frames a second: the frame timer's rate, the virtual clock of a capture, the video's rate.
inline constexpr int kFramesPerSecond = 60;

// The light blue of the logo's two bands, the rules, the scroller's beat copies, the page
// lines that pick up the logo, the closing card, the hint and the credit line.
inline constexpr int32_t kLightBlue = 0xCBB08E;  // RGB (142, 176, 203)

}  // namespace look
