// The scene picture: a starry nebula in pixel art, painted on a 480 x 135 grid of 2 x 4 pixel
// blocks. The show squeezes the picture to 797 x 302, 0.83 of its width and 0.56 of its height,
// so a block shows about 1.7 x 2.2 screen pixels and its ordered dither stays a dither instead
// of melting into streaks; for the same reason everything meant to look round (the planet, the
// stars' arms) is drawn 1.5 times taller than wide. A ribbon of gas winds across the middle (the show cuts its strip at half height),
// violet and rose on the left, drifting to teal on the right, with dark dust lanes; its density
// is shaded in six tones joined by ordered dithering. Stars of four kinds lie over it, with a
// small ringed planet in the upper right. The gas is kept dark across the rows that the logo's
// letters cover on the screen, so that they stand out. Everything that is not gas, star or planet is the
// empty sky, palette entry 0 = RGB (20, 29, 39), the show's key colour for this picture.
#include <algorithm>
#include <cmath>

#include "pictures.h"

namespace picturegen {
namespace {

constexpr int kWidth = 960;
constexpr int kHeight = 540;
constexpr int kBlockWidth = 2;
constexpr int kBlockHeight = 4;
constexpr int kGridWidth = kWidth / kBlockWidth;
constexpr int kGridHeight = kHeight / kBlockHeight;
// Height over width of a block as the show displays it, over the same ratio of a round shape:
// (4 x 302 / 540) / (2 x 797 / 960) = 1.35, so vertical distances in blocks count 1.35 times.
constexpr float kBlockAspect = (kBlockHeight * 302.0f / kHeight) / (kBlockWidth * 797.0f / kWidth);
// Picture rows behind the logo's letter rows (screen rows 128 to 240, the picture shown from
// row 36 at 302 / 540 of its height), with a soft edge of 24 rows.
constexpr float kLogoTop = 165, kLogoBottom = 365, kLogoEdge = 24;
constexpr float kPi = 3.14159265f;

constexpr int kTones = 6;
// Palette layout: 0 sky; 1..6 violet gas; 7..12 teal gas; 13..16 star tones; 17..24 planet.
// clang-format off
constexpr uint8_t kPalette[][3] = {
    {20, 29, 39},                                                                                      // empty sky
    {40, 30, 74}, {64, 38, 106}, {100, 46, 130}, {148, 60, 142}, {206, 96, 152}, {250, 166, 172},      // violet
    {22, 50, 72}, {28, 76, 98}, {36, 110, 122}, {58, 152, 150}, {118, 202, 180}, {204, 242, 214},      // teal
    {84, 96, 132}, {150, 162, 200}, {214, 222, 250}, {255, 250, 232},                                  // stars
    {58, 34, 40}, {104, 52, 50}, {168, 84, 62}, {222, 140, 88}, {250, 204, 140},                       // planet
    {70, 78, 110}, {130, 140, 170}, {190, 198, 220},                                                   // ring
};
// clang-format on
constexpr int kViolet = 1, kTeal = 7, kStar = 13, kPlanet = 17, kRing = 22;

struct Grid {
  std::vector<uint8_t> cells = std::vector<uint8_t>(kGridWidth * kGridHeight, 0);
  uint8_t& operator()(int x, int y) { return cells[y * kGridWidth + x]; }
  void put(int x, int y, int index) {
    if (x >= 0 && y >= 0 && x < kGridWidth && y < kGridHeight) (*this)(x, y) = static_cast<uint8_t>(index);
  }
};

// Gas density in [0, 1] at grid cell (x, y): a ribbon around a winding centre line, its
// texture from warped fractal noise, with dust lanes carved out.
float gas_density(int x, int y) {
  float fx = static_cast<float>(x) / kGridWidth, fy = static_cast<float>(y) / kGridHeight;
  float centre = 0.5f + 0.16f * std::sin(fx * 2 * kPi * 0.85f + 0.5f) + 0.05f * std::sin(fx * 2 * kPi * 2.3f);
  float spread = 0.17f + 0.07f * std::sin(fx * 2 * kPi * 1.3f + 1.0f);
  float offset = (fy - centre) / spread;
  float ribbon = std::exp(-offset * offset);
  float warp_x = fractal_noise(fx * 4, fy * 4, 11, 3) - 0.5f,
        warp_y = fractal_noise(fx * 4, fy * 4, 29, 3) - 0.5f;
  float texture = fractal_noise(fx * 7 + warp_x * 2.2f, fy * 7 + warp_y * 2.2f, 5, 5);
  float lanes = 1 - std::fabs(2 * fractal_noise(fx * 5 + warp_y, fy * 9 + warp_x, 47, 4) - 1);
  float wisps = fractal_noise(fx * 3, fy * 3, 71, 4);  // faint outlying clouds
  float density = ribbon * (0.25f + 1.1f * texture) - 0.45f * std::pow(lanes, 6.0f) * ribbon;
  density = std::max(density, (wisps - 0.62f) * 1.6f * (1 - ribbon));
  return std::clamp(density, 0.0f, 1.0f);
}

// 1 behind the logo's letters, 0 away from them, a smooth ramp between.
float logo_cover(int y) {
  float row = (y + 0.5f) * kBlockHeight;
  float inside = std::min(row - (kLogoTop - kLogoEdge), (kLogoBottom + kLogoEdge) - row) / kLogoEdge;
  return std::clamp(inside, 0.0f, 1.0f);
}

void paint_gas(Grid& grid) {
  for (int y = 0; y < kGridHeight; ++y)
    for (int x = 0; x < kGridWidth; ++x) {
      float level = (gas_density(x, y) - 0.22f) / 0.62f * kTones;
      int tone = dithered_step(std::clamp(level, 0.0f, static_cast<float>(kTones)), x, y);
      if (tone <= 0) continue;
      // Behind the logo the gas keeps its shape but drops to the lower half of its ramp.
      float dim = 1 - 0.55f * logo_cover(y);
      if (dim < 1)
        tone = std::max(1, dithered_step(std::clamp(level * dim, 0.0f, kTones * 0.5f), x, y));
      // Hue drifts from violet (left) to teal (right) through a dithered seam that wanders.
      float fx = static_cast<float>(x) / kGridWidth, fy = static_cast<float>(y) / kGridHeight;
      float teal = std::clamp((fx - 0.52f + 0.35f * (fractal_noise(fx * 3, fy * 3, 83, 3) - 0.5f)) * 5 + 0.5f,
                              0.0f, 1.0f);
      int ramp = teal > bayer(x + 3, y + 5) ? kTeal : kViolet;
      grid(x, y) = static_cast<uint8_t>(ramp + std::min(tone, kTones) - 1);
    }
}

void paint_star(Grid& grid, int x, int y, int kind) {
  switch (kind) {
    case 0:  // a single dim or middle point
      grid.put(x, y, kStar + (x * 7 + y) % 2);
      break;
    case 1:  // a bright point
      grid.put(x, y, kStar + 2);
      break;
    case 2:  // a small cross (a block is nearly as tall on screen as the arm is wide)
      grid.put(x, y, kStar + 3);
      for (int d : {-1, 1}) {
        grid.put(x + d, y, kStar + 1);
        grid.put(x, y + d, kStar + 1);
      }
      break;
    default: {  // a sparkle: long arms fading outwards, a bright core
      int arm = 3 + kind;
      for (int d = 1; d <= arm; ++d) {
        int tone = d <= arm / 3 ? 2 : d <= 2 * arm / 3 ? 1 : 0;
        for (int s : {-1, 1}) grid.put(x + s * d, y, kStar + tone);
      }
      // The vertical arms in blocks that show as tall as the horizontal ones are long.
      int arm_up = static_cast<int>(std::lround(arm / kBlockAspect));
      for (int d = 1; d <= arm_up; ++d) {
        int tone = d <= arm_up / 3 ? 2 : d <= 2 * arm_up / 3 ? 1 : 0;
        for (int s : {-1, 1}) grid.put(x, y + s * d, kStar + tone);
      }
      for (int s : {-1, 1}) {
        grid.put(x + s, y + s, kStar + 1);
        grid.put(x + s, y - s, kStar + 1);
      }
      grid.put(x, y, kStar + 3);
    }
  }
}

void paint_stars(Grid& grid) {
  Random random(2024);
  for (int i = 0; i < 750; ++i) {  // field stars, thicker where the gas is
    int x = random.range(0, kGridWidth - 1), y = random.range(0, kGridHeight - 1);
    if (gas_density(x, y) < 0.2f && random.unit() < 0.45f) continue;
    paint_star(grid, x, y, random.unit() < 0.85f ? 0 : 1);
  }
  // Each draw in its own declaration: the order of evaluation of call arguments differs
  // between compilers, and the picture must not.
  for (int i = 0; i < 40; ++i) {
    int x = random.range(2, kGridWidth - 3), y = random.range(2, kGridHeight - 3);
    paint_star(grid, x, y, 2);
  }
  for (int i = 0; i < 12; ++i) {
    int x = random.range(10, kGridWidth - 11), y = random.range(10, kGridHeight - 11),
        kind = 3 + random.range(0, 3);
    if (logo_cover(y) > 0) continue;  // a sparkle behind the letters would read as a stray mark
    paint_star(grid, x, y, kind);
  }
}

// A planet lit from the upper left, round on the screen (positions below are in blocks; vertical
// distances are stretched by the block's aspect before any length is measured), its shading in five tones dithered across the terminator,
// with a tilted ring that passes behind it at the top and in front at the bottom.
void paint_planet(Grid& grid) {
  const float cx = 404, cy = 24, radius = 24;
  const float tilt = 0.28f, ring_inner = 34, ring_outer = 44;
  auto ring_at = [&](int x, int y, bool front) {
    float dx = x - cx, dy = (y - cy) * kBlockAspect;
    float rx = dx * std::cos(tilt) + dy * std::sin(tilt),
          ry = (-dx * std::sin(tilt) + dy * std::cos(tilt)) / 0.26f;
    float r = std::hypot(rx, ry);
    if (r < ring_inner || r > ring_outer || (ry > 0) != front) return;
    int band = static_cast<int>((r - ring_inner) / (ring_outer - ring_inner) * 3);
    grid.put(x, y, kRing + (band == 1 ? 2 : band == 0 ? 1 : 0));
  };
  for (int y = 0; y < kGridHeight; ++y)
    for (int x = static_cast<int>(cx - ring_outer); x <= cx + ring_outer; ++x) ring_at(x, y, false);
  for (int y = 0; y < kGridHeight; ++y)
    for (int x = static_cast<int>(cx - radius); x <= cx + radius; ++x) {
      float dx = (x - cx) / radius, dy = (y - cy) * kBlockAspect / radius;
      float rr = dx * dx + dy * dy;
      if (rr > 1) continue;
      float dz = std::sqrt(1 - rr);
      float light = std::max(0.0f, -0.62f * dx - 0.5f * dy + 0.6f * dz);
      float bands = 0.12f * std::sin(dy * 9 + 0.8f * std::sin(dx * 4));  // cloud belts
      float level = std::clamp((light + bands) * 4.6f, 0.0f, 4.0f);
      grid.put(x, y, kPlanet + std::min(dithered_step(level, x, y), 4));
    }
  for (int y = 0; y < kGridHeight; ++y)
    for (int x = static_cast<int>(cx - ring_outer); x <= cx + ring_outer; ++x) ring_at(x, y, true);
}

}  // namespace

PalettePicture paint_scene() {
  Grid grid;
  paint_gas(grid);
  paint_stars(grid);
  paint_planet(grid);
  PalettePicture picture{kWidth, kHeight, std::vector<uint8_t>(kWidth * kHeight), {}};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) picture.indices[y * kWidth + x] = grid(x / kBlockWidth, y / kBlockHeight);
  for (const auto& entry : kPalette) picture.palette.insert(picture.palette.end(), entry, entry + 3);
  return picture;
}

}  // namespace picturegen
