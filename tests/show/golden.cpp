#include "golden.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#ifndef QUORVANE_GOLDEN_DIR
#error "QUORVANE_GOLDEN_DIR names the folder of the reference frames"
#endif

namespace {

int channel(uint32_t pixel, int shift) {
  return int((pixel >> shift) & 0xFF);
}

}  // namespace

bool read_png_rgb(const std::string& path, int* width, int* height, std::vector<uint32_t>* pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
  *width = int(image.width);
  *height = int(image.height);
  pixels->resize(size_t(image.width) * image.height);
  for (size_t i = 0; i < pixels->size(); ++i)
    (*pixels)[i] = rgb[3 * i] | rgb[3 * i + 1] << 8 | rgb[3 * i + 2] << 16;
  return true;
}

bool write_png_rgb(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
  std::vector<uint8_t> rgb(pixels.size() * 3);
  for (size_t i = 0; i < pixels.size(); ++i) {
    rgb[3 * i] = uint8_t(pixels[i]);
    rgb[3 * i + 1] = uint8_t(pixels[i] >> 8);
    rgb[3 * i + 2] = uint8_t(pixels[i] >> 16);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

GoldenResult compare_with_golden(const std::string& name, int width, int height,
                                 const std::vector<uint32_t>& pixels, int tolerance) {
  const std::string reference = std::string(QUORVANE_GOLDEN_DIR) + "/" + name + ".png";
  if (const char* update = std::getenv("QUORVANE_UPDATE_GOLDEN"); update && *update == '1') {
    if (!write_png_rgb(reference, width, height, pixels)) return {false, "cannot write " + reference};
    return {true, "rewrote " + reference};
  }
  int w = 0, h = 0;
  std::vector<uint32_t> expected;
  if (!read_png_rgb(reference, &w, &h, &expected)) return {false, "cannot read " + reference};
  if (w != width || h != height) return {false, reference + " has another size"};

  std::vector<uint32_t> difference(pixels.size());
  int differing = 0, worst = 0, first_x = -1, first_y = -1;
  for (size_t i = 0; i < pixels.size(); ++i) {
    int d = 0;
    for (int shift : {0, 8, 16})
      d = std::max(d, std::abs(channel(pixels[i], shift) - channel(expected[i], shift)));
    worst = std::max(worst, d);
    if (d > tolerance) {
      if (differing++ == 0) first_x = int(i % size_t(width)), first_y = int(i / size_t(width));
      difference[i] = 0x0000FF;  // red where the frames differ
    } else {
      // Elsewhere a dim copy of the reference, so the differences can be placed.
      difference[i] = (expected[i] >> 2) & 0x3F3F3F;
    }
  }
  if (differing == 0) return {true, ""};
  const std::string actual = std::filesystem::absolute(name + ".actual.png").string();
  const std::string diff = std::filesystem::absolute(name + ".diff.png").string();
  write_png_rgb(actual, width, height, pixels);
  write_png_rgb(diff, width, height, difference);
  char line[256];
  std::snprintf(line, sizeof line, "%d pixels differ by more than %d (worst %d, first at %d, %d)", differing,
                tolerance, worst, first_x, first_y);
  return {false, std::string(line) + "; actual frame: " + actual + ", difference: " + diff};
}
