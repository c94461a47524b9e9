// tests/sprite/picture_writers.h — small pictures built in the tests: our own BMP writer, and
// PNG and JPEG encoded with libpng and libjpeg.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A BMP file with a 40-byte info header. `value(x, y)` (y from the top) gives what a pixel
// stores: the palette index for 1, 4 and 8 bits, the 16-bit word for 16, and 0xRRGGBB for 24
// and 32. `palette` entries are 0xRRGGBB. For compression 1 `rle` is the pixel data as is.
struct BmpSpec {
  int width = 0;
  int height = 0;
  int bpp = 24;
  int compression = 0;
  std::vector<uint32_t> palette;
  std::function<uint32_t(int x, int y)> value;
  Bytes rle;
};
Bytes write_bmp(const BmpSpec& spec);

// A PNG; `rows` are the PNG's own rows (top first) in its colour type and bit depth.
struct PngSpec {
  int width = 0;
  int height = 0;
  int colour_type = 2;  // PNG_COLOR_TYPE_RGB
  int bit_depth = 8;
  bool interlaced = false;
  std::vector<uint32_t> palette;  // 0xRRGGBB
  std::vector<uint8_t> trns;      // palette alphas
  bool grey_trns = false;         // grey key colour `trns_grey` becomes transparent
  int trns_grey = 0;
  std::vector<Bytes> rows;
};
Bytes write_png(const PngSpec& spec);

// A JPEG at quality 100 with no chroma subsampling: `components` 1 (grey), 3 (RGB) or 4 (CMYK,
// stored with Adobe's inverted convention); `samples` are interleaved, top row first.
Bytes write_jpeg(int width, int height, int components, const Bytes& samples);

// The 752 x 16 8-bit font strip layout: background index 0 = RGB (0x33, 0x33, 0x55), ink
// index 1 = RGB (0xCC, 0xCC, 0xAA), 256 palette entries. `ink(x, y)` (y from the top) says
// where ink is.
Bytes write_font_strip(const std::function<bool(int x, int y)>& ink);
