// tests/show/golden.h — whole frames compared with reference pictures that a person has looked
// at. A frame matches when no channel of any pixel differs by more than the tolerance (partial
// blends may differ by a step or two between OpenGL builds). On a mismatch the actual frame and
// a difference picture are written beside the test's output; with QUORVANE_UPDATE_GOLDEN=1 the
// reference itself is rewritten (look at it before committing it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Pixels are r + 256 g + 65536 b, top row first.
bool read_png_rgb(const std::string& path, int* width, int* height, std::vector<uint32_t>* pixels);
bool write_png_rgb(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels);

struct GoldenResult {
  bool matches = false;
  std::string message;  // what differed and where the actual frame was written
};
GoldenResult compare_with_golden(const std::string& name, int width, int height,
                                 const std::vector<uint32_t>& pixels, int tolerance = 3);
