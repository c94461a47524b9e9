// Pixel buffers and the small toolbox the pictures are painted with: a seeded random source,
// value noise, ordered dithering and colour arithmetic. Everything is integer-seeded and
// computed the same way on every run, so a picture's bytes never change between runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace picturegen {

struct Rgb {
  float r, g, b;  // 0..255
};

Rgb mix(Rgb a, Rgb b, float t);  // t = 0 gives a, 1 gives b
Rgb scale(Rgb c, float f);

// An RGBA picture, 8 bits per channel, rows top-down.
struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;

  Canvas(int w, int h);
  uint8_t* at(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  void set(int x, int y, Rgb c, int alpha = 255);
  void fill_rect(int x, int y, int w, int h, Rgb c);  // clipped to the canvas
  Rgb get(int x, int y) const;
};

// xorshift64*: small, fast and identical everywhere (unlike std:: distributions).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t next();
  int range(int low, int high);  // both ends included
  float unit();                  // [0, 1)

 private:
  uint64_t state_;
};

// Smooth value noise in [0, 1] on an integer lattice hashed from seed.
float value_noise(float x, float y, uint32_t seed);
// Fractal sum of octaves of value noise, normalised to [0, 1].
float fractal_noise(float x, float y, uint32_t seed, int octaves);

// 8 x 8 ordered-dither threshold in (0, 1): a level t is "on" at (x, y) when t > bayer(x, y).
float bayer(int x, int y);

// Quantises a continuous level in [0, levels - 1] to an integer step, dithered by position.
int dithered_step(float level, int x, int y);

}  // namespace picturegen
