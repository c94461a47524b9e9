// tests/helpers/screen_readback.h — the back buffer read back for pixel checks.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/screen/screen.h"

// The logical width x height back buffer after the pending displays are drawn, top row first,
// each pixel r + 256 g + 65536 b.
inline std::vector<uint32_t> read_back_screen(int width, int height) {
  std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
  screen_read_back(0, 0, width, height, rgba.data());
  std::vector<uint32_t> out(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = &rgba[(size_t(height - 1 - y) * size_t(width) + size_t(x)) * 4];
      out[size_t(y) * size_t(width) + size_t(x)] = p[0] | p[1] << 8 | p[2] << 16;
    }
  return out;
}
