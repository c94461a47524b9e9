// The window icon: the banner's "Q" in gold with its violet rim, standing on a rounded tile
// of night sky with a faint violet-to-teal glow, as in the scene picture, and a few glints on
// the larger sizes. Each size is drawn anew from the shapes (not scaled from the largest),
// with 8 x 8 supersampling; the 16-pixel icon, where that would blur, is drawn by hand.
#include <algorithm>
#include <cmath>

#include "pictures.h"

namespace picturegen {
namespace {

constexpr int kSamples = 8;
const Rgb kFace{255, 178, 44};
const Rgb kViolet{118, 52, 178};

struct Sample {
  Rgb colour;
  bool opaque;
};

// The letter and its rim, in tile units (0..1 across the icon).
bool in_letter(float u, float v) {
  // Cells of 0.085: the body spans 0.425 x 0.595, the tail one more row; centred with the slant.
  const float cell = 0.085f, slant = 0.1f, top = 0.16f;
  const float left = (1 - 5 * cell - slant * 7 * cell) / 2;
  float x = u - left - slant * (top + 7 * cell - v);
  return letter_covers('Q', x / cell, (v - top) / cell);
}

bool near_letter(float u, float v, float radius) {
  for (int i = 0; i < 12; ++i) {
    float a = i * 3.14159265f / 6;
    if (in_letter(u + radius * std::cos(a), v + radius * std::sin(a))) return true;
  }
  return false;
}

Sample sample_icon(float u, float v, int size) {
  // Rounded tile: corner radius 18 % of the side.
  const float r = 0.18f;
  float qx = std::max(std::fabs(u - 0.5f) - (0.5f - r), 0.0f),
        qy = std::max(std::fabs(v - 0.5f) - (0.5f - r), 0.0f);
  if (qx * qx + qy * qy > r * r) return {{0, 0, 0}, false};
  if (in_letter(u, v)) return {kFace, true};
  float rim = std::max(0.04f, 1.2f / size);
  if (near_letter(u, v, rim)) return {kViolet, true};
  // Night sky: violet glow upper left, teal lower right, deep blue between.
  float glow = std::max(0.0f, 1 - std::hypot(u - 0.15f, v - 0.2f) / 0.7f);
  float teal = std::max(0.0f, 1 - std::hypot(u - 0.9f, v - 0.85f) / 0.6f);
  Rgb sky = mix(Rgb{18, 24, 44}, Rgb{92, 40, 120}, glow * glow);
  sky = mix(sky, Rgb{30, 110, 118}, teal * teal * 0.8f);
  if (size >= 64) {  // glints
    const float glints[][3] = {{0.16f, 0.2f, 0.07f}, {0.86f, 0.16f, 0.05f}, {0.83f, 0.8f, 0.04f}};
    for (const auto& g : glints) {
      float dx = std::fabs(u - g[0]), dy = std::fabs(v - g[1]);
      float arm = std::min(dx, dy) < 0.6f / size ? std::max(dx, dy) : 1.0f;
      if (arm < g[2]) return {mix(Rgb{255, 250, 232}, sky, arm / g[2]), true};
    }
  }
  return {sky, true};
}

// The 16-pixel icon, pixel by pixel: "." transparent, "d" sky, "p" violet glow, "t" teal glow,
// "v" rim, "g" gold, "*" a star.
constexpr const char* kSmallIcon[16] = {
    ".ppdpdddddddddd.", "ppvvvvvvvvvvdddd", "pvggggggggggvd*d", "pvggggggggggvddd",
    "pvggvvvvvvggvddd", "dvggvddddvggvddd", "dvggvddddvggvddd", "dvggvddddvggvddd",
    "dvggvdddvgggvddd", "dvggvvvvggggvddd", "dvggggggggggvddd", "dvgggggggggggvdt",
    "ddvvvvvvvvgggvtt", "dddddddddvvvvdtt", "ddd*dddddddtdttt", ".ddddddddddtdtt.",
};

Canvas paint_small_icon() {
  struct Ink {
    char code;
    Rgb colour;
  };
  const Ink inks[] = {{'d', {18, 24, 44}}, {'p', {60, 32, 92}}, {'t', {26, 84, 96}},
                      {'v', kViolet},      {'g', kFace},        {'*', {255, 250, 232}}};
  Canvas canvas(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      for (const Ink& ink : inks)
        if (kSmallIcon[y][x] == ink.code) canvas.set(x, y, ink.colour);
  return canvas;
}

}  // namespace

Canvas paint_icon(int size) {
  if (size == 16) return paint_small_icon();
  Canvas canvas(size, size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float r = 0, g = 0, b = 0;
      int opaque = 0;
      for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx) {
          Sample s =
              sample_icon((x + (sx + 0.5f) / kSamples) / size, (y + (sy + 0.5f) / kSamples) / size, size);
          if (!s.opaque) continue;
          r += s.colour.r;
          g += s.colour.g;
          b += s.colour.b;
          ++opaque;
        }
      if (opaque == 0) continue;  // fully transparent, black
      canvas.set(x, y, {r / opaque, g / opaque, b / opaque}, opaque * 255 / (kSamples * kSamples));
    }
  return canvas;
}

}  // namespace picturegen
