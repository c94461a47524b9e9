// The painters of the show's pictures and icons. Each returns the finished picture; the
// formats (PNG, JPEG, palette) are chosen by main.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include "canvas.h"

namespace picturegen {

// 124 x 24: the coder's handle in white block letters inside a rounded-rectangle outline, on a
// transparent ground; designed for display at 93 x 18.
Canvas paint_badge();

// 913 x 349: "QUORVANE" in two colours on opaque black.
Canvas paint_banner();

// 474 x 356: a library interior at night, pixel art.
Canvas paint_backdrop();

// 960 x 540 in palette form: indices into palette (RGB triples); entry 0 is the empty sky,
// RGB (20, 29, 39).
struct PalettePicture {
  int width;
  int height;
  std::vector<uint8_t> indices;
  std::vector<uint8_t> palette;
};
PalettePicture paint_scene();

// A square icon of the given size.
Canvas paint_icon(int size);

// The big-letter shapes shared by the banner and the icon: letter ('Q', 'U', 'O', 'R', 'V',
// 'A', 'N', 'E') on a grid of kLetterColumns x kLetterRows cells, with bevelled corners.
// (u, v) is the position in cell units; true when the point lies on the letter.
constexpr int kLetterColumns = 5;
constexpr int kLetterRows = 7;
bool letter_covers(char letter, float u, float v);

}  // namespace picturegen
