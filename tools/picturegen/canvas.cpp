#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace picturegen {

Rgb mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scale(Rgb c, float f) {
  return {c.r * f, c.g * f, c.b * f};
}

Canvas::Canvas(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {}

static uint8_t to_byte(float v) {
  return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

void Canvas::set(int x, int y, Rgb c, int alpha) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  uint8_t* p = at(x, y);
  p[0] = to_byte(c.r);
  p[1] = to_byte(c.g);
  p[2] = to_byte(c.b);
  p[3] = static_cast<uint8_t>(alpha);
}

void Canvas::fill_rect(int x, int y, int w, int h, Rgb c) {
  for (int j = std::max(y, 0); j < std::min(y + h, height); ++j)
    for (int i = std::max(x, 0); i < std::min(x + w, width); ++i) set(i, j, c);
}

Rgb Canvas::get(int x, int y) const {
  const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
  return {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
}

uint32_t Random::next() {
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
}

int Random::range(int low, int high) {
  return low + static_cast<int>(next() % static_cast<uint32_t>(high - low + 1));
}

float Random::unit() {
  return static_cast<float>(next() >> 8) / 16777216.0f;
}

static float lattice(int x, int y, uint32_t seed) {
  uint32_t h =
      static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return static_cast<float>(h & 0xFFFFFF) / 16777215.0f;
}

float value_noise(float x, float y, uint32_t seed) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float u = x - fx, v = y - fy;
  u = u * u * (3 - 2 * u);
  v = v * v * (3 - 2 * v);
  float top = lattice(ix, iy, seed) + (lattice(ix + 1, iy, seed) - lattice(ix, iy, seed)) * u;
  float bottom = lattice(ix, iy + 1, seed) + (lattice(ix + 1, iy + 1, seed) - lattice(ix, iy + 1, seed)) * u;
  return top + (bottom - top) * v;
}

float fractal_noise(float x, float y, uint32_t seed, int octaves) {
  float sum = 0, weight = 1, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += value_noise(x, y, seed + o * 101) * weight;
    total += weight;
    weight *= 0.5f;
    x *= 2.03f;
    y *= 2.03f;
  }
  return sum / total;
}

float bayer(int x, int y) {
  // The classic recursive 8 x 8 ordered-dither matrix, values 0..63.
  static constexpr int kMatrix[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                        {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                        {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                        {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
  return (kMatrix[y & 7][x & 7] + 0.5f) / 64.0f;
}

int dithered_step(float level, int x, int y) {
  float base = std::floor(level);
  return static_cast<int>(base) + (level - base > bayer(x, y) ? 1 : 0);
}

}  // namespace picturegen
