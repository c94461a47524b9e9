// runtime/image/decoder.h — picture decoding: a registry of decoders that turn an encoded
// picture lying in memory into rows of 8-bit B, G, R (24 bits) or B, G, R, A (32 bits) pixels.
//
// Decoders are probed in the order they were registered and the first that accepts wins. BMP
// (our own decoder) is always registered first; the show registers PNG (libpng) and then JPEG
// (libjpeg) at start-up with register_png() and register_jpeg().
//
// Every decoder is given the picture's true size in bytes and never reads past it, whatever
// the picture's headers say. A probe refuses pictures wider or taller than kMaxSide or with
// more pixels than the calling thread's pixel limit, so a lying header cannot make a caller
// allocate gigabytes. Failure is reported by a 0 tag or a false result; nothing throws.
//
//   picture::Picture p;
//   if (picture::decode_picture(data, size, &p)) use(p.width, p.height, p.bits, p.pixels);
//
// The decoding context (chosen decoder, source, size and the decoder's own state) is per
// thread, so threads may decode at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace picture {

inline constexpr uint32_t kTagBmp = 0x00504D42;   // "BMP"
inline constexpr uint32_t kTagPng = 0x00474E50;   // "PNG"
inline constexpr uint32_t kTagJpeg = 0x4745504A;  // "JPEG"

inline constexpr int kMaxSide = 16384;                   // largest rectangle texture here
inline constexpr int64_t kDefaultPixelLimit = 64 << 20;  // 256 MB of decoded RGBA

struct PictureInfo {
  int width = 0;
  int height = 0;
  int bits = 0;  // 24: B, G, R per pixel; 32: B, G, R, A
};

// What a decoder provides. `probe` accepts or refuses the picture and reports its size; what
// it keeps for `decode` goes into `*state`, which `release` frees (also after a refusal).
// `decode` writes info.height rows of info.width pixels, `pitch` bytes apart, top-down unless
// `bottom_up`; it returns false on corrupt or truncated data (rows may then be partly written).
struct Decoder {
  uint32_t tag = 0;
  bool (*probe)(const uint8_t* data, size_t size, PictureInfo* info, void** state) = nullptr;
  bool (*decode)(void* state, const uint8_t* data, size_t size, uint8_t* rows, size_t pitch,
                 bool bottom_up) = nullptr;
  void (*release)(void* state) = nullptr;
};

// Adds a decoder at the end of the probe order; a tag that is already registered is ignored.
void register_decoder(const Decoder& decoder);
void register_png();
void register_jpeg();

// Probes the picture with every registered decoder. Returns the accepting decoder's tag, or 0.
// On success the picture stays in the calling thread's context until release().
uint32_t probe(const void* data, size_t size);
const PictureInfo& probed_info();
// Decodes the probed picture into `rows` (probed_info().height rows, `pitch` bytes apart).
bool decode(uint8_t* rows, size_t pitch, bool bottom_up = false);
void release();

// Probe, decode top-down without row padding, release. False (and `out` emptied) on failure.
struct Picture {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::vector<uint8_t> pixels;  // height rows of width * bits / 8 bytes, top row first
};
bool decode_picture(const void* data, size_t size, Picture* out);

// Decoders refuse pictures with more pixels than this (per thread; kDefaultPixelLimit at start).
void set_pixel_limit(int64_t pixels);
// What a probe checks: 1..kMaxSide on both sides and no more pixels than the thread's limit.
bool size_allowed(int64_t width, int64_t height);

namespace detail {
Decoder bmp_decoder();
Decoder png_decoder();
Decoder jpeg_decoder();
}  // namespace detail

}  // namespace picture
