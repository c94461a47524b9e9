// PNG through libpng, read from memory.
//
// The probe reads the header and sets up every transformation, so that the reported bits
// already describe the result: tRNS becomes an alpha channel, palettes and low-bit grey are
// expanded, grey becomes RGB, 16-bit channels are stripped to 8, bytes come in B, G, R(, A)
// order, and interlaced pictures are read in their seven passes. 24 bits for RGB, 32 for RGBA.
//
// libpng reports errors by long-jumping to the setjmp of the function that called into it.
// Those functions keep no objects with destructors, and the read callback fails (png_error)
// instead of reading past the data's true end.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

#include "runtime/image/decoder.h"

namespace picture {
namespace {

struct PngState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t at = 0;
};

void read_memory(png_structp png, png_bytep out, png_size_t length) {
  auto* s = static_cast<PngState*>(png_get_io_ptr(png));
  if (length > s->size - s->at) png_error(png, "read past the end of the picture");
  std::memcpy(out, s->data + s->at, length);
  s->at += length;
}

void silent_warning(png_structp, png_const_charp) {}
void error_exit(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

// Header and transformations; false on any libpng error.
bool read_header(PngState* s, PictureInfo* info) {
  if (setjmp(png_jmpbuf(s->png))) return false;
  png_set_read_fn(s->png, s, read_memory);
  png_set_user_limits(s->png, kMaxSide, kMaxSide);
  png_read_info(s->png, s->info);
  const int colour = png_get_color_type(s->png, s->info);
  const int depth = png_get_bit_depth(s->png, s->info);
  if (!size_allowed(png_get_image_width(s->png, s->info), png_get_image_height(s->png, s->info)))
    return false;
  if (png_get_valid(s->png, s->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(s->png);
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s->png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(s->png);
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(s->png);
  if (depth == 16) png_set_strip_16(s->png);
  png_set_bgr(s->png);
  png_set_interlace_handling(s->png);
  png_read_update_info(s->png, s->info);
  const int channels = png_get_channels(s->png, s->info);
  if (channels != 3 && channels != 4) return false;
  info->width = int(png_get_image_width(s->png, s->info));
  info->height = int(png_get_image_height(s->png, s->info));
  info->bits = channels * 8;
  return png_get_rowbytes(s->png, s->info) == size_t(info->width) * size_t(channels);
}

void png_release(void* state) {
  auto* s = static_cast<PngState*>(state);
  if (!s) return;
  png_destroy_read_struct(&s->png, &s->info, nullptr);
  delete s;
}

bool png_probe(const uint8_t* data, size_t size, PictureInfo* info, void** state) {
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
  auto* s = new (std::nothrow) PngState;
  if (!s) return false;
  *state = s;
  s->data = data;
  s->size = size;
  s->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, error_exit, silent_warning);
  if (!s->png) return false;
  s->info = png_create_info_struct(s->png);
  return s->info && read_header(s, info);
}

// `row_pointers` is allocated by the caller, so a long jump leaks nothing.
bool read_rows(PngState* s, png_bytepp row_pointers) {
  if (setjmp(png_jmpbuf(s->png))) return false;
  png_read_image(s->png, row_pointers);
  return true;
}

bool png_decode(void* state, const uint8_t*, size_t, uint8_t* rows, size_t pitch, bool bottom_up) {
  auto* s = static_cast<PngState*>(state);
  const int height = int(png_get_image_height(s->png, s->info));
  png_bytepp row_pointers = new (std::nothrow) png_bytep[size_t(height)];
  if (!row_pointers) return false;
  for (int y = 0; y < height; ++y) row_pointers[y] = rows + pitch * size_t(bottom_up ? height - 1 - y : y);
  const bool ok = read_rows(s, row_pointers);
  delete[] row_pointers;
  return ok;
}

}  // namespace

Decoder detail::png_decoder() {
  return Decoder{kTagPng, png_probe, png_decode, png_release};
}

}  // namespace picture
