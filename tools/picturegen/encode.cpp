#include "encode.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace picturegen {
namespace {

// libpng reports errors by long jump; the jump lands in write_png, which owns the file.
struct PngJob {
  int width;
  int height;
  int colour_type;
  const uint8_t* pixels;
  size_t row_bytes;
  const std::vector<uint8_t>* palette;
  const std::vector<uint8_t>* alpha;
};

std::string write_png(const std::string& path, const PngJob& job) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return path + ": cannot open for writing";
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_color> colours;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return path + ": PNG encoding failed";
  }
  png_init_io(png, file);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, job.width, job.height, 8, job.colour_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job.palette) {
    for (size_t i = 0; i + 2 < job.palette->size(); i += 3)
      colours.push_back({(*job.palette)[i], (*job.palette)[i + 1], (*job.palette)[i + 2]});
    png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
    size_t used = job.alpha->size();
    while (used > 0 && (*job.alpha)[used - 1] == 255) --used;
    if (used > 0) png_set_tRNS(png, info, job.alpha->data(), static_cast<int>(used), nullptr);
  }
  png_write_info(png, info);
  for (int y = 0; y < job.height; ++y) png_write_row(png, job.pixels + job.row_bytes * y);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) return path + ": cannot write";
  return "";
}

}  // namespace

std::string write_png_rgba(const std::string& path, const Canvas& canvas) {
  PngJob job{canvas.width,
             canvas.height,
             PNG_COLOR_TYPE_RGBA,
             canvas.rgba.data(),
             static_cast<size_t>(canvas.width) * 4,
             nullptr,
             nullptr};
  return write_png(path, job);
}

std::string write_png_palette(const std::string& path, int width, int height,
                              const std::vector<uint8_t>& indices, const std::vector<uint8_t>& palette,
                              const std::vector<uint8_t>& alpha) {
  PngJob job{width,    height, PNG_COLOR_TYPE_PALETTE, indices.data(), static_cast<size_t>(width),
             &palette, &alpha};
  return write_png(path, job);
}

namespace {

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void jpeg_error_exit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

}  // namespace

std::string write_jpeg(const std::string& path, const Canvas& canvas, int quality) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return path + ": cannot open for writing";
  std::vector<uint8_t> row(static_cast<size_t>(canvas.width) * 3);
  jpeg_compress_struct jpeg;
  JpegError error;
  jpeg.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpeg_error_exit;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&jpeg);
    std::fclose(file);
    return path + ": JPEG encoding failed";
  }
  jpeg_create_compress(&jpeg);
  jpeg_stdio_dest(&jpeg, file);
  jpeg.image_width = canvas.width;
  jpeg.image_height = canvas.height;
  jpeg.input_components = 3;
  jpeg.in_color_space = JCS_RGB;
  jpeg_set_defaults(&jpeg);
  jpeg_set_quality(&jpeg, quality, TRUE);
  jpeg.optimize_coding = TRUE;
  for (int c = 0; c < 3; ++c) {  // 4:4:4, so the pixel edges keep their colour
    jpeg.comp_info[c].h_samp_factor = 1;
    jpeg.comp_info[c].v_samp_factor = 1;
  }
  jpeg_start_compress(&jpeg, TRUE);
  while (jpeg.next_scanline < jpeg.image_height) {
    const uint8_t* source = canvas.rgba.data() + static_cast<size_t>(jpeg.next_scanline) * canvas.width * 4;
    for (int x = 0; x < canvas.width; ++x)
      for (int c = 0; c < 3; ++c) row[x * 3 + c] = source[x * 4 + c];
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&jpeg, rows, 1);
  }
  jpeg_finish_compress(&jpeg);
  jpeg_destroy_compress(&jpeg);
  if (std::fclose(file) != 0) return path + ": cannot write";
  return "";
}

}  // namespace picturegen
