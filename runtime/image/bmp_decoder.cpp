// Our own BMP decoder: Windows bitmaps with a 40-byte (or longer) info header.
//
// Supported: 1 bit (bit 7 first; 0 is black and 1 white, the file's palette is not used),
// 4 bit (high nibble first), 8 bit uncompressed and run-length encoded (compression 1),
// 16 bit 5-5-5 (compression 0) and 5-6-5 (compression 3), 24 bit and 32 bit (fourth byte
// ignored). The output is always 24-bit B, G, R. 16-bit channels are shifted up to 8 bits
// without replicating their low bits, so 5-bit white reads 0xF8.
// Other combinations, and heights below 1 (top-down files), are refused at the probe rather
// than accepted and left undecoded. Every read is checked against the true data size; a read
// past the end fails the decode. Palette indices beyond the palette's entries give black.
#include <cstring>
#include <new>

#include "runtime/image/decoder.h"

namespace picture {
namespace {

uint16_t u16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
uint32_t u32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct BmpHeader {
  uint32_t pixel_offset = 0;
  uint32_t info_size = 0;
  int width = 0;
  int height = 0;
  int bpp = 0;
  uint32_t compression = 0;
  uint32_t colours_used = 0;
};

constexpr size_t kHeaderBytes = 54;  // file header (14) + the fields of a 40-byte info header

bool supported(int bpp, uint32_t compression) {
  switch (bpp) {
    case 1:
    case 4:
    case 24:
    case 32:
      return compression == 0;
    case 8:
      return compression == 0 || compression == 1;
    case 16:
      return compression == 0 || compression == 3;
    default:
      return false;
  }
}

// Bytes of one stored row, padded to 4 bytes.
size_t row_stride(const BmpHeader& h) {
  return ((size_t(h.width) * size_t(h.bpp) + 31) / 32) * 4;
}

bool bmp_probe(const uint8_t* data, size_t size, PictureInfo* info, void** state) {
  if (size < kHeaderBytes || data[0] != 'B' || data[1] != 'M' || u32(data + 6) != 0) return false;
  BmpHeader h;
  h.pixel_offset = u32(data + 10);
  h.info_size = u32(data + 14);
  h.width = int32_t(u32(data + 18));
  h.height = int32_t(u32(data + 22));
  h.bpp = u16(data + 28);
  h.compression = u32(data + 30);
  h.colours_used = u32(data + 46);
  if (h.info_size < 40 || !supported(h.bpp, h.compression) || !size_allowed(h.width, h.height)) return false;
  if (h.pixel_offset >= size) return false;
  // Uncompressed rows must all be there (the last row's padding may be missing): checked here
  // so that a lying height is refused before anybody allocates for it.
  if (h.compression == 0 || h.compression == 3) {
    const size_t last_row = (size_t(h.width) * size_t(h.bpp) + 7) / 8;
    if (size - h.pixel_offset < row_stride(h) * size_t(h.height - 1) + last_row) return false;
  }
  auto* kept = new (std::nothrow) BmpHeader(h);
  if (!kept) return false;
  *state = kept;
  *info = PictureInfo{h.width, h.height, 24};
  return true;
}

struct Bgr {
  uint8_t b, g, r;
};

// Reads the palette (4 bytes per entry: blue, green, red, reserved) that follows the info header.
bool read_palette(const BmpHeader& h, const uint8_t* data, size_t size, Bgr palette[256]) {
  std::memset(palette, 0, sizeof(Bgr) * 256);
  size_t count = size_t(1) << h.bpp;
  if (h.colours_used != 0 && h.colours_used < count) count = h.colours_used;
  const size_t start = 14 + size_t(h.info_size);
  if (start > size || (size - start) / 4 < count) return false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = data + start + 4 * i;
    palette[i] = Bgr{e[0], e[1], e[2]};
  }
  return true;
}

void put(uint8_t* out, Bgr c) {
  out[0] = c.b;
  out[1] = c.g;
  out[2] = c.r;
}

// One stored row of an uncompressed picture into 24-bit output.
void convert_row(const BmpHeader& h, const uint8_t* src, const Bgr* palette, uint8_t* out) {
  for (int x = 0; x < h.width; ++x, out += 3) {
    switch (h.bpp) {
      case 1: {
        const uint8_t v = ((src[x >> 3] >> (7 - (x & 7))) & 1) ? 0xFF : 0x00;
        put(out, Bgr{v, v, v});
        break;
      }
      case 4:
        put(out, palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F]);
        break;
      case 8:
        put(out, palette[src[x]]);
        break;
      case 16: {
        const unsigned v = u16(src + 2 * x);
        if (h.compression == 3)
          put(out,
              Bgr{uint8_t((v & 31) << 3), uint8_t(((v >> 5) & 63) << 2), uint8_t(((v >> 11) & 31) << 3)});
        else
          put(out,
              Bgr{uint8_t((v & 31) << 3), uint8_t(((v >> 5) & 31) << 3), uint8_t(((v >> 10) & 31) << 3)});
        break;
      }
      case 24:
        put(out, Bgr{src[3 * x], src[3 * x + 1], src[3 * x + 2]});
        break;
      case 32:
        put(out, Bgr{src[4 * x], src[4 * x + 1], src[4 * x + 2]});
        break;
    }
  }
}

// Output row for stored row `r` (stored row 0 is the bottom of the picture).
uint8_t* output_row(const BmpHeader& h, uint8_t* rows, size_t pitch, bool bottom_up, int r) {
  return rows + pitch * size_t(bottom_up ? r : h.height - 1 - r);
}

// 8-bit run-length data. Runs and literals are cut at the row's end, moves and line ends that
// leave the picture end the decode; running out of data before the end-of-bitmap escape fails.
bool decode_rle8(const BmpHeader& h, const uint8_t* data, size_t size, const Bgr* palette, uint8_t* rows,
                 size_t pitch, bool bottom_up) {
  size_t at = h.pixel_offset;
  int64_t x = 0, y = 0;
  auto plot = [&](uint8_t index) {
    if (x < h.width && y < h.height)
      put(output_row(h, rows, pitch, bottom_up, int(y)) + 3 * x, palette[index]);
    ++x;
  };
  while (y < h.height) {
    if (size - at < 2) return false;
    const uint8_t count = data[at], value = data[at + 1];
    at += 2;
    if (count > 0) {
      for (int i = 0; i < count && x < h.width; ++i) plot(value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return true;
    } else if (value == 2) {  // move right, and on by stored rows (up the picture)
      if (size - at < 2) return false;
      x += data[at];
      y += data[at + 1];
      at += 2;
    } else {  // literal run, padded to an even byte count
      const size_t padded = (size_t(value) + 1) & ~size_t(1);
      if (size - at < padded) return false;
      for (int i = 0; i < value; ++i) plot(data[at + i]);
      at += padded;
    }
  }
  return true;
}

bool bmp_decode(void* state, const uint8_t* data, size_t size, uint8_t* rows, size_t pitch, bool bottom_up) {
  const BmpHeader& h = *static_cast<const BmpHeader*>(state);
  Bgr palette[256];
  if ((h.bpp == 4 || h.bpp == 8) && !read_palette(h, data, size, palette)) return false;
  if (h.compression == 1) return decode_rle8(h, data, size, palette, rows, pitch, bottom_up);
  const size_t stride = row_stride(h);
  const size_t needed = (size_t(h.width) * size_t(h.bpp) + 7) / 8;
  for (int r = 0; r < h.height; ++r) {
    const size_t at = h.pixel_offset + stride * size_t(r);
    if (at > size || size - at < needed) return false;
    convert_row(h, data + at, palette, output_row(h, rows, pitch, bottom_up, r));
  }
  return true;
}

void bmp_release(void* state) {
  delete static_cast<BmpHeader*>(state);
}

}  // namespace

Decoder detail::bmp_decoder() {
  return Decoder{kTagBmp, bmp_probe, bmp_decode, bmp_release};
}

}  // namespace picture
