// JPEG through the libjpeg API (libjpeg-turbo), read from memory.
//
// Grey and YCbCr pictures are decoded to RGB, YCCK and CMYK ones to CMYK, which is then
// converted with B = Y'K'/255, G = M'K'/255, R = C'K'/255 (the inverted channels that
// Adobe's CMYK JPEGs store). The result is always reported as 24 bits, B, G, R.
//
// The error manager's error exit long-jumps back to the function that called into libjpeg
// (those functions keep no objects with destructors) and its messages are silenced. Memory
// that libjpeg allocates is freed by jpeg_destroy_decompress. libjpeg's memory source never
// reads past the buffer: at its end it supplies an end-of-image marker. A progress monitor
// refuses progressive files with absurd numbers of scans, which would otherwise decode for
// minutes.
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <new>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "runtime/image/decoder.h"

namespace picture {
namespace {

constexpr int kMaxScans = 1000;

struct JpegState {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr error;
  jpeg_progress_mgr progress;
  jmp_buf jump;
  bool created = false;
};

void error_exit(j_common_ptr cinfo) {
  longjmp(static_cast<JpegState*>(cinfo->client_data)->jump, 1);
}
void silent_message(j_common_ptr) {}
void limit_scans(j_common_ptr cinfo) {
  if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
    error_exit(cinfo);
}

bool read_header(JpegState* s, const uint8_t* data, size_t size, PictureInfo* info) {
  if (setjmp(s->jump)) return false;
  jpeg_create_decompress(&s->cinfo);
  s->created = true;
  s->cinfo.progress = &s->progress;
  jpeg_mem_src(&s->cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&s->cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (!size_allowed(s->cinfo.image_width, s->cinfo.image_height)) return false;
  const J_COLOR_SPACE in = s->cinfo.jpeg_color_space;
  s->cinfo.out_color_space = (in == JCS_YCCK || in == JCS_CMYK) ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&s->cinfo);
  if (s->cinfo.output_components != 3 && s->cinfo.output_components != 4) return false;
  info->width = int(s->cinfo.output_width);
  info->height = int(s->cinfo.output_height);
  info->bits = 24;
  return size_allowed(info->width, info->height);
}

void jpeg_release(void* state) {
  auto* s = static_cast<JpegState*>(state);
  if (!s) return;
  if (s->created) jpeg_destroy_decompress(&s->cinfo);
  delete s;
}

bool jpeg_probe(const uint8_t* data, size_t size, PictureInfo* info, void** state) {
  if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) return false;
  auto* s = new (std::nothrow) JpegState{};
  if (!s) return false;
  *state = s;
  s->cinfo.err = jpeg_std_error(&s->error);
  s->cinfo.client_data = s;
  s->error.error_exit = error_exit;
  s->error.output_message = silent_message;
  s->progress.progress_monitor = limit_scans;
  return read_header(s, data, size, info);
}

bool jpeg_decode(void* state, const uint8_t*, size_t, uint8_t* rows, size_t pitch, bool bottom_up) {
  auto* s = static_cast<JpegState*>(state);
  if (setjmp(s->jump)) return false;
  j_decompress_ptr cinfo = &s->cinfo;
  const int components = cinfo->output_components;
  const int width = int(cinfo->output_width), height = int(cinfo->output_height);
  JSAMPARRAY line = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                JDIMENSION(width * components), 1);
  while (cinfo->output_scanline < cinfo->output_height) {
    const int y = int(cinfo->output_scanline);
    if (jpeg_read_scanlines(cinfo, line, 1) != 1) return false;
    const JSAMPLE* in = line[0];
    uint8_t* out = rows + pitch * size_t(bottom_up ? height - 1 - y : y);
    for (int x = 0; x < width; ++x, in += components, out += 3) {
      if (components == 4) {
        out[0] = uint8_t(in[2] * in[3] / 255);
        out[1] = uint8_t(in[1] * in[3] / 255);
        out[2] = uint8_t(in[0] * in[3] / 255);
      } else {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

}  // namespace

Decoder detail::jpeg_decoder() {
  return Decoder{kTagJpeg, jpeg_probe, jpeg_decode, jpeg_release};
}

}  // namespace picture
