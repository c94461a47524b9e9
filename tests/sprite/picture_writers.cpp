#include "picture_writers.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
// clang-format off
#include <jpeglib.h>  // after cstdio: it needs FILE and size_t
// clang-format on

namespace {

void put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void put32(Bytes& b, size_t at, uint32_t v) {
  put16(b, at, v);
  put16(b, at + 2, v >> 16);
}

}  // namespace

Bytes write_bmp(const BmpSpec& spec) {
  const size_t palette_bytes = spec.palette.size() * 4;
  const size_t offset = 54 + palette_bytes;
  const size_t stride = ((size_t(spec.width) * spec.bpp + 31) / 32) * 4;
  Bytes pixels;
  if (spec.compression == 1) {
    pixels = spec.rle;
  } else {
    pixels.assign(stride * spec.height, 0);
    for (int r = 0; r < spec.height; ++r) {
      uint8_t* row = &pixels[stride * r];
      const int y = spec.height - 1 - r;  // stored bottom-up
      for (int x = 0; x < spec.width; ++x) {
        const uint32_t v = spec.value(x, y);
        switch (spec.bpp) {
          case 1:
            row[x / 8] |= uint8_t((v & 1) << (7 - x % 8));
            break;
          case 4:
            row[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4));
            break;
          case 8:
            row[x] = uint8_t(v);
            break;
          case 16:
            row[2 * x] = uint8_t(v);
            row[2 * x + 1] = uint8_t(v >> 8);
            break;
          case 24:
            row[3 * x] = uint8_t(v);
            row[3 * x + 1] = uint8_t(v >> 8);
            row[3 * x + 2] = uint8_t(v >> 16);
            break;
          case 32:
            row[4 * x] = uint8_t(v);
            row[4 * x + 1] = uint8_t(v >> 8);
            row[4 * x + 2] = uint8_t(v >> 16);
            row[4 * x + 3] = 0x7F;  // ignored by decoders
            break;
        }
      }
    }
  }
  Bytes file(offset + pixels.size(), 0);
  file[0] = 'B';
  file[1] = 'M';
  put32(file, 2, uint32_t(file.size()));
  put32(file, 10, uint32_t(offset));
  put32(file, 14, 40);
  put32(file, 18, uint32_t(spec.width));
  put32(file, 22, uint32_t(spec.height));
  put16(file, 26, 1);
  put16(file, 28, uint32_t(spec.bpp));
  put32(file, 30, uint32_t(spec.compression));
  put32(file, 34, uint32_t(pixels.size()));
  put32(file, 38, 2851);
  put32(file, 42, 2851);
  put32(file, 46, uint32_t(spec.palette.size()));
  put32(file, 50, uint32_t(spec.palette.size()));
  for (size_t i = 0; i < spec.palette.size(); ++i) put32(file, 54 + 4 * i, spec.palette[i]);  // B, G, R, 0
  std::memcpy(&file[offset], pixels.data(), pixels.size());
  return file;
}

Bytes write_png(const PngSpec& spec) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t length) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + length);
      },
      nullptr);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.colour_type,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (uint32_t c : spec.palette) palette.push_back(png_color{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  if (!spec.trns.empty()) png_set_tRNS(png, info, spec.trns.data(), int(spec.trns.size()), nullptr);
  png_color_16 grey{};
  grey.gray = png_uint_16(spec.trns_grey);
  if (spec.grey_trns) png_set_tRNS(png, info, nullptr, 0, &grey);
  std::vector<png_bytep> rows;
  for (const Bytes& r : spec.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes write_jpeg(int width, int height, int components, const Bytes& samples) {
  jpeg_compress_struct c{};
  jpeg_error_mgr error{};
  c.err = jpeg_std_error(&error);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&samples[size_t(c.next_scanline) * width * components]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return out;
}

Bytes write_font_strip(const std::function<bool(int x, int y)>& ink) {
  BmpSpec spec;
  spec.width = 752;
  spec.height = 16;
  spec.bpp = 8;
  spec.palette.assign(256, 0);
  spec.palette[0] = 0x333355;  // 0xRRGGBB
  spec.palette[1] = 0xCCCCAA;
  spec.value = [&](int x, int y) { return ink(x, y) ? 1u : 0u; };
  return write_bmp(spec);
}
