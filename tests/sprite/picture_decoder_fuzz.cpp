// Feeds untrusted bytes to the picture decoder registry (BMP, PNG, JPEG). What was accepted
// must be decoded at the size the picture's own header states, read here apart from the
// decoders, and the rows must land inside a buffer of exactly that size: the buffer is a heap
// block of the exact length, so a decoder writing past its rows or its pitch is an
// out-of-bounds write under AddressSanitizer. Any leak or crash is a fault as well.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/image/decoder.h"

namespace {

uint32_t be16(const uint8_t* p) {
  return uint32_t(p[0]) << 8 | p[1];
}
uint32_t be32(const uint8_t* p) {
  return be16(p) << 16 | be16(p + 2);
}
int32_t le32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// Width and height as the header says: BMP's info header (bytes 18 and 22, little-endian),
// PNG's IHDR (bytes 16 and 20, big-endian), JPEG's first start-of-frame segment (height, then
// width). False when the header cannot be read that simply (then nothing is compared).
bool header_size(uint32_t tag, const uint8_t* d, size_t n, int64_t& width, int64_t& height) {
  if (tag == picture::kTagBmp && n >= 26) {
    width = le32(d + 18);
    height = le32(d + 22);
    return true;
  }
  if (tag == picture::kTagPng && n >= 24 && std::memcmp(d + 12, "IHDR", 4) == 0) {
    width = be32(d + 16);
    height = be32(d + 20);
    return true;
  }
  if (tag == picture::kTagJpeg) {
    size_t p = 2;  // after the start-of-image marker
    while (p + 4 <= n && d[p] == 0xFF) {
      const uint8_t marker = d[p + 1];
      const bool frame =
          marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
      if (frame) {
        if (p + 9 > n) return false;
        height = be16(d + p + 5);
        width = be16(d + p + 7);
        return true;
      }
      if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) return false;
      p += 2 + be16(d + p + 2);
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = [] {
    picture::register_png();
    picture::register_jpeg();
    // Small pictures keep each run fast; the limit is what probes check before allocating.
    picture::set_pixel_limit(1 << 20);
    return true;
  }();
  (void)registered;

  const uint32_t tag = picture::probe(data, size);
  if (tag == 0) return 0;
  const picture::PictureInfo info = picture::probed_info();
  int64_t width = 0, height = 0;
  if (header_size(tag, data, size, width, height) && (width != info.width || height != info.height))
    __builtin_trap();  // the probe reports another size than the header holds
  if (!picture::size_allowed(info.width, info.height) || (info.bits != 24 && info.bits != 32))
    __builtin_trap();

  // Rows `pitch` bytes apart, with a little padding chosen by the input, in an exact block.
  const size_t row = size_t(info.width) * size_t(info.bits / 8);
  const size_t pitch = row + size % 4;
  const size_t bytes = pitch * size_t(info.height - 1) + row;
  auto* rows = static_cast<uint8_t*>(std::malloc(bytes));
  if (!rows) __builtin_trap();
  std::memset(rows, 0, bytes);
  const bool decoded = picture::decode(rows, pitch, (size & 1) != 0);
  picture::release();
  std::free(rows);

  picture::Picture picture;
  if (picture::decode_picture(data, size, &picture)) {
    if (picture.width != info.width || picture.height != info.height || picture.bits != info.bits ||
        picture.pixels.size() != row * size_t(info.height))
      __builtin_trap();
  } else if (decoded) {
    __builtin_trap();  // the same bytes decoded a moment ago
  }
  return 0;
}
