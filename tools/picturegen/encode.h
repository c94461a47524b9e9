// Writers of the picture files. Each returns an empty string on success, else one line that
// names the file and the problem. The output depends only on the pixels: no time stamps, no
// text chunks, fixed compression settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"

namespace picturegen {

// PNG, 8-bit RGBA.
std::string write_png_rgba(const std::string& path, const Canvas& canvas);

// PNG, 8-bit palette. palette holds RGB triples; alpha holds one tRNS entry per palette entry
// (written only up to the last entry below 255, as PNG asks).
std::string write_png_palette(const std::string& path, int width, int height,
                              const std::vector<uint8_t>& indices, const std::vector<uint8_t>& palette,
                              const std::vector<uint8_t>& alpha);

// Baseline JPEG of the canvas's RGB (alpha ignored), no chroma subsampling.
std::string write_jpeg(const std::string& path, const Canvas& canvas, int quality);

}  // namespace picturegen
