// The backdrop: a library at night in pixel art. Bookcases line the back wall on both sides of
// a tall arched window with the moon in it and red curtains beside it; a rolling ladder leans
// on the left bookcase, two lamps hang from the beamed ceiling, a reading table with a green
// lamp stands on the right and a patterned rug lies on the plank floor. The picture is first
// painted in plain material colours, then lit: a dim blue ambient, warm pools under the lamps
// and the window's moonlight on the floor, each in steps of one eighth joined by ordered
// dithering, which gives the hand-shaded look. The lamps are kept low: the show lays the picture
// at twice its size over the logo and beside the page text, where bright glows read as smudges;
// the moon stays the one bright spot. Last, the midtones are lifted so the room still shows
// at the faint intensity the show draws it with.
#include <algorithm>
#include <cmath>

#include "pictures.h"

namespace picturegen {
namespace {

constexpr int kWidth = 474;
constexpr int kHeight = 356;
constexpr int kWallTop = 24;
constexpr int kFloorTop = 252;
constexpr int kWindowLeft = 197, kWindowRight = 277, kWindowTop = 44, kWindowBottom = 222;
constexpr int kShelfTop = 30, kShelfPitch = 38, kShelfCount = 5;

const Rgb kWall{64, 42, 32};
const Rgb kCeiling{40, 27, 22};
const Rgb kBeam{60, 40, 30};
const Rgb kWood{100, 60, 36};
const Rgb kWoodLight{140, 90, 52};
const Rgb kWoodDark{54, 33, 22};
const Rgb kShelfBack{30, 20, 17};
const Rgb kGold{206, 166, 74};

// Material colours, plus a flag for what gives its own light (sky, moon, lamp glass).
struct Painting {
  Canvas canvas{kWidth, kHeight};
  std::vector<uint8_t> glows = std::vector<uint8_t>(kWidth * kHeight, 0);
  void put(int x, int y, Rgb c, bool glow = false) {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
    canvas.set(x, y, c);
    glows[y * kWidth + x] = glow;
  }
  void rect(int x, int y, int w, int h, Rgb c, bool glow = false) {
    for (int j = y; j < y + h; ++j)
      for (int i = x; i < x + w; ++i) put(i, j, c, glow);
  }
};

void paint_room(Painting& p) {
  p.rect(0, 0, kWidth, kWallTop, kCeiling);
  for (int x = 12; x < kWidth; x += 58) p.rect(x, 0, 10, kWallTop - 4, kBeam);  // beams end-on
  p.rect(0, kWallTop - 4, kWidth, 3, kWoodLight);                               // crown moulding
  p.rect(0, kWallTop - 1, kWidth, 2, kWoodDark);
  p.rect(0, kWallTop + 1, kWidth, kFloorTop - kWallTop - 1, kWall);
  // Wall panels between the bookcases and the window.
  for (int x : {182, 280}) {
    p.rect(x, 40, 12, 190, mix(kWall, kWoodDark, 0.5f));
    p.rect(x + 2, 42, 8, 186, kWall);
  }
  // Plank floor: rows widen towards the viewer, seams staggered row by row.
  int row = 0;
  for (int y = kFloorTop, height = 6; y < kHeight; y += height, height += 2, ++row) {
    Rgb plank = row % 2 ? Rgb{104, 66, 38} : Rgb{94, 58, 34};
    p.rect(0, y, kWidth, height, plank);
    p.rect(0, y, kWidth, 1, {56, 35, 22});
    int length = 40 + row * 12;
    for (int x = (row * 37) % length; x < kWidth; x += length) p.rect(x, y, 1, height, {56, 35, 22});
  }
  p.rect(0, kFloorTop - 4, kWidth, 4, kWoodDark);  // skirting
}

void paint_window(Painting& p) {
  const int cx = (kWindowLeft + kWindowRight) / 2, arch_radius = (kWindowRight - kWindowLeft) / 2;
  const int arch_y = kWindowTop + arch_radius;
  Random random(77);
  auto inside = [&](int x, int y, int inset) {
    if (x < kWindowLeft + inset || x > kWindowRight - inset || y > kWindowBottom - inset) return false;
    if (y >= arch_y) return true;
    float dx = x - cx, dy = y - arch_y;
    return dx * dx + dy * dy <= (arch_radius - inset) * (arch_radius - inset);
  };
  for (int y = kWindowTop; y <= kWindowBottom; ++y)
    for (int x = kWindowLeft; x <= kWindowRight; ++x) {
      if (!inside(x, y, 0)) continue;
      if (!inside(x, y, 5)) {
        p.put(x, y, inside(x, y, 2) ? Rgb{70, 54, 46} : Rgb{104, 84, 70});  // stone frame
        continue;
      }
      float t = static_cast<float>(y - kWindowTop) / (kWindowBottom - kWindowTop);
      int band = dithered_step(t * 4, x, y);  // night sky in five dithered bands
      p.put(x, y, mix(Rgb{14, 20, 54}, Rgb{52, 72, 124}, band / 4.0f), true);
    }
  for (int i = 0; i < 40; ++i) {
    int x = random.range(kWindowLeft + 6, kWindowRight - 6),
        y = random.range(kWindowTop + 8, kWindowBottom - 40);
    if (inside(x, y, 6)) p.put(x, y, random.unit() < 0.3f ? Rgb{240, 240, 255} : Rgb{140, 150, 190}, true);
  }
  // The moon: a disc with a few darker seas, a soft dithered halo.
  const float mx = 256, my = 86, mr = 10;
  for (int y = static_cast<int>(my - 2 * mr); y <= my + 2 * mr; ++y)
    for (int x = static_cast<int>(mx - 2 * mr); x <= mx + 2 * mr; ++x) {
      if (!inside(x, y, 6)) continue;
      float d = std::hypot(x - mx, y - my);
      if (d <= mr) {
        bool sea = std::hypot(x - mx + 3, y - my + 2) < 3.2f || std::hypot(x - mx - 2, y - my - 4) < 2.4f;
        p.put(x, y, sea ? Rgb{200, 196, 170} : Rgb{244, 240, 214}, true);
      } else if (d < 2 * mr && (2 * mr - d) / mr * 0.6f > bayer(x, y)) {
        p.put(x, y, Rgb{80, 100, 150}, true);
      }
    }
  // Mullions and transoms.
  for (int y = kWindowTop; y <= kWindowBottom; ++y)
    for (int x = cx - 1; x <= cx + 1; ++x)
      if (inside(x, y, 5)) p.put(x, y, {58, 44, 38});
  for (int y : {128, 176})
    for (int x = kWindowLeft; x <= kWindowRight; ++x)
      if (inside(x, y, 5)) {
        p.put(x, y, {58, 44, 38});
        p.put(x, y + 1, {58, 44, 38});
      }
  p.rect(kWindowLeft - 6, kWindowBottom + 1, kWindowRight - kWindowLeft + 13, 5, {110, 90, 74});  // sill
  p.rect(kWindowLeft - 6, kWindowBottom + 6, kWindowRight - kWindowLeft + 13, 2, {60, 46, 40});
}

void paint_curtain(Painting& p, int left, int width, bool tie_left) {
  const Rgb folds[] = {{72, 14, 26}, {112, 24, 40}, {150, 42, 56}, {112, 24, 40}};
  p.rect(left - 4, 34, width + 8, 4, kGold);  // rail
  for (int y = 38; y < 236; ++y) {
    // Gathered at a tie-back two thirds down, fuller below it.
    float gather = y < 160 ? 1.0f - 0.4f * (y - 38) / 122.0f : 0.6f + 0.4f * (y - 160) / 76.0f;
    int w = std::max(4, static_cast<int>(std::lround(width * gather)));
    int start = tie_left ? left : left + width - w;
    for (int i = 0; i < w; ++i) p.put(start + i, y, folds[(i * 4 / 3 + (y > 160)) % 4]);
    if (y >= 158 && y <= 161) p.rect(start, y, w, 1, kGold);  // tie-back
  }
}

const Rgb kBookColours[] = {{128, 30, 36},   {42, 74, 52}, {38, 54, 100}, {156, 114, 52}, {94, 42, 84},
                            {160, 148, 124}, {70, 44, 32}, {34, 32, 44},  {164, 74, 42},  {70, 104, 112}};

// One shelf slot: books of random widths and heights standing on the board at y = floor,
// with gold bands and labels, a gap now and then, a lying stack or a leaning book.
void paint_books(Painting& p, int left, int right, int floor, Random& random) {
  int x = left;
  while (x < right - 2) {
    int roll = random.range(0, 99);
    if (roll < 6) {  // a gap
      x += random.range(3, 8);
      continue;
    }
    if (roll < 12 && right - x > 16) {  // a stack lying flat
      int width = random.range(12, 16), top = floor;
      for (int n = random.range(2, 4); n > 0; --n) {
        int h = random.range(3, 5);
        top -= h;
        Rgb c = kBookColours[random.range(0, 9)];
        int shift = random.range(0, 2);
        p.rect(x + shift, top, width - 2, h, c);
        p.rect(x + shift, top, width - 2, 1, scale(c, 1.35f));
      }
      x += width + 1;
      continue;
    }
    int width = random.range(3, 7), height = random.range(20, 31);
    Rgb c = kBookColours[random.range(0, 9)];
    bool lean = roll < 16 && x > left + 8;
    for (int j = 0; j < height; ++j) {
      int shift = lean ? j / 5 : 0;  // leaning right: the top sits further right
      int y = floor - 1 - j;
      for (int i = 0; i < width; ++i) {
        Rgb colour = i == 0 ? scale(c, 1.3f) : i == width - 1 ? scale(c, 0.6f) : c;
        if ((j == height - 4 || j == 3) && width > 3) colour = kGold;
        p.put(x + i + shift, y, colour);
      }
    }
    if (!lean && width >= 5 && height > 24)  // a pale title label
      p.rect(x + 1, floor - height + 8, width - 2, 5, mix(c, {220, 210, 180}, 0.6f));
    x += width + (lean ? height / 5 + 1 : 0);
  }
}

void paint_bookcase(Painting& p, int left, int right, uint64_t seed) {
  Random random(seed);
  const int bottom = kShelfTop + kShelfCount * kShelfPitch;
  p.rect(left, kShelfTop - 6, right - left, 6, kWoodLight);  // cornice
  p.rect(left, kShelfTop, right - left, bottom - kShelfTop, kShelfBack);
  const int units = 3, post = 5;
  for (int u = 0; u <= units; ++u) {
    int x = left + (right - left - post) * u / units;
    p.rect(x, kShelfTop, post, kFloorTop - kShelfTop, kWood);
    p.rect(x, kShelfTop, 1, kFloorTop - kShelfTop, kWoodLight);
    p.rect(x + post - 1, kShelfTop, 1, kFloorTop - kShelfTop, kWoodDark);
  }
  for (int s = 0; s < kShelfCount; ++s) {
    int board = kShelfTop + (s + 1) * kShelfPitch - 4;
    for (int u = 0; u < units; ++u) {
      int x0 = left + (right - left - post) * u / units + post,
          x1 = left + (right - left - post) * (u + 1) / units;
      paint_books(p, x0 + 1, x1 - 1, board, random);
    }
    p.rect(left, board, right - left, 4, kWood);
    p.rect(left, board, right - left, 1, kWoodLight);
    p.rect(left, board + 3, right - left, 1, kWoodDark);
  }
  // The closed cabinet beneath, its doors in raised panels.
  p.rect(left, bottom, right - left, kFloorTop - bottom, kWood);
  for (int u = 0; u < units * 2; ++u) {
    int x0 = left + 4 + (right - left - 8) * u / (units * 2),
        x1 = left + 4 + (right - left - 8) * (u + 1) / (units * 2);
    p.rect(x0 + 2, bottom + 4, x1 - x0 - 4, kFloorTop - bottom - 10, kWoodDark);
    p.rect(x0 + 3, bottom + 5, x1 - x0 - 6, kFloorTop - bottom - 12, kWood);
    p.put(u % 2 ? x0 + 4 : x1 - 5, bottom + (kFloorTop - bottom) / 2, kGold);  // knob
  }
}

void paint_ladder(Painting& p) {
  // Rails from the top rail hook down to the floor, leaning out to the right.
  auto rail_x = [](int rail, int y) { return 134 + rail * 16 + (y - 36) * 22 / (kHeight - 70 - 36); };
  for (int y = 36; y < kHeight - 70; ++y)
    for (int rail = 0; rail < 2; ++rail) {
      int x = rail_x(rail, y);
      p.put(x, y, kWoodLight);
      p.put(x + 1, y, kWood);
      p.put(x + 2, y, kWoodDark);
    }
  for (int y = 48; y < kHeight - 74; y += 14) p.rect(rail_x(0, y) + 2, y, 15, 2, kWoodLight);
  p.rect(122, 32, 46, 2, kGold);  // the rail it hangs from
}

void paint_rug(Painting& p) {
  const int left = 128, right = 346, top = 290, bottom = 346;
  const Rgb red{118, 26, 34}, dark{42, 28, 58}, border{188, 138, 60};
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      int from_edge = std::min({x - left, right - 1 - x, y - top, bottom - 1 - y});
      Rgb c = red;
      if (from_edge < 2 || from_edge == 6)
        c = border;
      else if (from_edge < 6)
        c = ((x + y) / 2) % 3 ? dark : border;  // zig-zag band
      else {
        // A diamond medallion and small diamonds in the field.
        int dx = std::abs(x - (left + right) / 2), dy = std::abs(y - (top + bottom) / 2) * 3;
        int d = dx + dy;
        if (d < 42 && d > 36)
          c = border;
        else if (d <= 36 && d > 26)
          c = dark;
        else if (d <= 12)
          c = border;
        else if (d > 42 && (dx % 24 + (dy / 3) % 12 * 2) < 4)
          c = dark;
      }
      p.put(x, y, c);
    }
  for (int x = left; x < right; x += 3) {  // fringe
    p.put(x, top - 1, {210, 190, 150});
    p.put(x, bottom, {210, 190, 150});
  }
}

void paint_table(Painting& p) {
  const int left = 318, right = 446, top = 262;
  p.rect(left, top, right - left, 5, kWoodLight);
  p.rect(left, top + 5, right - left, 6, kWood);
  p.rect(left + 4, top + 11, right - left - 8, 2, kWoodDark);
  for (int x : {left + 6, right - 12}) {
    p.rect(x, top + 11, 6, 60, kWood);
    p.rect(x, top + 11, 1, 60, kWoodLight);
  }
  // An open book, a stack of two and the green-shaded lamp.
  p.rect(340, top - 3, 30, 3, {226, 214, 184});
  p.rect(354, top - 4, 2, 4, {170, 150, 120});
  p.rect(408, top - 8, 24, 4, {42, 74, 52});
  p.rect(410, top - 4, 20, 4, {128, 30, 36});
  p.rect(388, top - 4, 10, 4, kGold);  // lamp foot
  p.rect(392, top - 30, 2, 26, kGold);
  for (int j = 0; j < 10; ++j) {
    int half = 6 + j;
    p.rect(393 - half, top - 40 + j, 2 * half, 1, j == 9 ? Rgb{132, 118, 76} : Rgb{36, 110, 60}, j == 9);
  }
}

void paint_hanging_lamp(Painting& p, int cx) {
  for (int y = 0; y < 44; y += 2) p.rect(cx, y, 1, 1, kGold);  // chain
  p.rect(cx - 8, 44, 17, 2, kGold);
  for (int j = 0; j < 8; ++j) p.rect(cx - 7 + j / 2, 46 + j, 15 - j, 1, {128, 106, 70}, true);
  p.rect(cx - 2, 54, 5, 2, kGold);
}

void paint_chair(Painting& p) {
  const Rgb leather{96, 30, 28}, light{134, 48, 40}, dark{56, 18, 20}, shine{170, 70, 56};
  // A wing-backed armchair: the back arches at the top, the arms roll over at theirs.
  for (int y = 236; y < 286; ++y) {
    int inset = y < 244 ? (244 - y) * (244 - y) / 8 : 0;
    p.rect(26 + inset, y, 52 - 2 * inset, 1, y < 240 ? light : leather);
  }
  for (int x = 32; x < 76; x += 10) {  // buttoned tufts
    p.put(x, 252, dark);
    p.put(x + 5, 264, dark);
  }
  p.rect(22, 272, 60, 22, leather);  // seat cushion
  p.rect(22, 272, 60, 2, light);
  for (int x : {12, 80}) {  // the rolled arms
    p.rect(x, 262, 12, 34, leather);
    p.rect(x + 1, 258, 10, 4, light);
    p.rect(x + 2, 257, 8, 1, shine);
    p.rect(x + 10, 262, 2, 34, dark);
  }
  p.rect(12, 294, 80, 4, dark);
  for (int x : {16, 84}) p.rect(x, 298, 4, 10, kWoodDark);
}

// Light at (x, y): warm pools under the lamps, moonlight below the window, blue ambient.
Rgb light_at(int x, int y) {
  auto pool = [&](float lx, float ly, float radius, float strength) {
    float d = std::hypot((x - lx) * 0.8f, y - ly) / radius;
    return d >= 1 ? 0.0f : strength * (1 - d) * (1 - d);
  };
  float warm = pool(100, 56, 150, 0.4f) + pool(374, 56, 150, 0.4f) + pool(393, 236, 120, 0.55f);
  float moon = 0;
  if (y >= kFloorTop) {  // the window's shape thrown onto the floor
    float spread = (y - kFloorTop) * 0.45f;
    if (x > kWindowLeft - spread && x < kWindowRight + spread) moon = 0.5f * (1 - (y - kFloorTop) / 140.0f);
  } else if (x > kWindowLeft - 24 && x < kWindowRight + 24 && y > kWindowTop - 10) {
    moon = 0.2f;
  }
  float warm_step = dithered_step(std::min(warm, 1.5f) * 8, x, y) / 8.0f;
  float moon_step = dithered_step(std::max(moon, 0.0f) * 8, x + 4, y) / 8.0f;
  return {0.36f + 1.05f * warm_step + 0.55f * moon_step, 0.40f + 0.85f * warm_step + 0.7f * moon_step,
          0.55f + 0.55f * warm_step + 0.95f * moon_step};
}

// The show lays the picture over the whole screen at an intensity of only 32 of 255, where the
// lit room (mean luma about 32) all but vanished. A curve on the luma, 255 (L / 255)^0.6, about
// doubles the midtones (32 becomes 73, 64 becomes 112) while the moon stays where it was; each
// pixel's colour is scaled by the same factor, so hues and saturation hold, and the factor
// stops at 2.5 so the dither of the darkest shadows is not blown up into noise.
Rgb lift_midtones(Rgb c) {
  const float luma = 0.299f * c.r + 0.587f * c.g + 0.114f * c.b;
  if (luma <= 0) return c;
  const float lifted = 255.0f * std::pow(luma / 255.0f, 0.6f);
  const float factor = std::min(lifted / luma, 2.5f);
  return {std::min(c.r * factor, 255.0f), std::min(c.g * factor, 255.0f), std::min(c.b * factor, 255.0f)};
}

}  // namespace

Canvas paint_backdrop() {
  Painting p;
  paint_room(p);
  paint_bookcase(p, 8, 180, 1);
  paint_bookcase(p, 294, 466, 2);
  paint_window(p);
  paint_curtain(p, 176, 22, false);
  paint_curtain(p, 276, 22, true);
  paint_ladder(p);
  paint_rug(p);
  paint_table(p);
  paint_chair(p);
  paint_hanging_lamp(p, 100);
  paint_hanging_lamp(p, 374);
  Canvas lit(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      Rgb c = p.canvas.get(x, y);
      if (!p.glows[y * kWidth + x]) {
        Rgb l = light_at(x, y);
        c = {c.r * l.r, c.g * l.g, c.b * l.b};
      }
      lit.set(x, y, lift_midtones(c));
    }
  return lit;
}

}  // namespace picturegen
