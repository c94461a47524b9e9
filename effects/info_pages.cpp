#include "effects/info_pages.h"

#include <cmath>
#include <span>
#include <string_view>

#include "assets/texts.h"
#include "effects/bitmap_font_text.h"
#include "effects/look.h"
#include "effects/objects.h"

namespace {

enum class Wave { none, bounce, sway, shiver };

// A coordinate's motion: round(base + factor * wave + add), summed in 32-bit floats, rounded
// to nearest with ties to even. Subtracting a wave is a negative factor (negation is exact),
// and `add` is page 2's "+ 6.0", added after the wave.
struct Motion {
  Wave wave = Wave::none;
  float factor = 0.0f;
  float add = 0.0f;
};
constexpr Motion kStill{};
constexpr Motion bounce(float factor, float add = 0.0f) {
  return {Wave::bounce, factor, add};
}
constexpr Motion sway(float factor) {
  return {Wave::sway, factor, 0.0f};
}
constexpr Motion shiver(float factor) {
  return {Wave::shiver, factor, 0.0f};
}

// One line of a page: its grid slot (base y = 368 + 16 * slot), colour and motions. The
// line's text is the page's text entry at the same place in the table.
struct PageLine {
  int slot;
  int32_t colour;
  Motion x;
  Motion y;
};

// clang-format off
constexpr PageLine kPage1[] = {
    {3, 0xEEEEEE, kStill, bounce(-1.0f)},
    {4, 0xEEEEEE, kStill, bounce(-1.2f)},
    {5, look::kLightBlue, kStill, bounce(-1.4f)},
    {6, 0xA88354, kStill, bounce(-1.6f)},
    {7, 0x5A430E, kStill, bounce(-1.8f)},
    {9, 0xEEEEEE, kStill, bounce(-1.0f)},
};
// The short coloured lines between the still prose bounce from 6 pixels below their slot.
constexpr PageLine kPage2[] = {
    {0, 0xEEEEEE, kStill, kStill},
    {1, 0xEEEEEE, kStill, kStill},
    {2, 0x2B2BF3, kStill, bounce(-1.0f, 6.0f)},
    {4, 0xEEEEEE, kStill, kStill},
    {5, 0xF152FF, kStill, bounce(-1.0f, 6.0f)},
    {7, 0xEEEEEE, kStill, kStill},
    {8, 0x0AABFF, kStill, bounce(-1.0f, 6.0f)},
    {10, 0xEEEEEE, kStill, kStill},
    {11, 0x72D963, kStill, bounce(-1.0f, 6.0f)},
};
constexpr PageLine kPage3[] = {
    {5, 0x212121, sway(-1.0f), kStill},
};
constexpr PageLine kPage4[] = {
    {1, 0xEEEEEE, sway(1.0f), kStill},
    {2, 0x417AB3, sway(1.0f), kStill},
    {3, 0xEEEEEE, sway(1.0f), kStill},
    {6, 0xEEEEEE, kStill, shiver(1.0f)},
    {7, 0xA4D2FF, kStill, shiver(1.0f)},
    {8, 0x417AB3, kStill, shiver(1.0f)},
    {9, 0x417AB3, kStill, shiver(1.0f)},
    {10, 0xA4D2FF, kStill, shiver(1.0f)},
    {11, 0xEEEEEE, kStill, shiver(1.0f)},
};
constexpr PageLine kPage5[] = {
    {0, 0xEEEEEE, kStill, kStill},
    {1, 0xA4D2FF, kStill, kStill},
    {2, 0x065CB3, kStill, kStill},
    {3, 0x023E7B, kStill, kStill},
    {5, 0xEEEEEE, sway(0.4f), kStill},
    {6, 0xA4D2FF, sway(-0.6f), kStill},
    {7, 0x065CB3, sway(0.8f), kStill},
    {8, 0x023E7B, sway(-1.0f), kStill},
    {10, 0xEEEEEE, kStill, sway(1.0f)},
    {11, 0xEEEEEE, kStill, sway(1.0f)},
};
constexpr PageLine kPage6[] = {
    {0, 0xEEEEEE, shiver(0.4f), kStill},
    {1, look::kLightBlue, shiver(0.6f), kStill},
    {2, 0xA88354, shiver(0.8f), kStill},
    {3, 0x5A430E, shiver(1.0f), kStill},
    {5, 0xEEEEEE, kStill, bounce(0.6f)},
    {6, look::kLightBlue, kStill, bounce(0.7f)},
    {7, 0xEEEEEE, kStill, bounce(0.8f)},
    {8, 0xA88354, kStill, bounce(0.9f)},
    {9, 0xEEEEEE, kStill, bounce(1.0f)},
};
// Entry 7 is the still white line over slot 6: its digits and brackets fall into the blank
// columns of the bouncing art line drawn just before it.
constexpr PageLine kPage7[] = {
    {0, 0xEEEEEE, sway(1.0f), kStill},
    {1, 0xA4D2FF, sway(1.0f), kStill},
    {2, 0x417AB3, sway(1.0f), kStill},
    {3, 0xA4D2FF, sway(1.0f), kStill},
    {4, 0xEEEEEE, sway(1.0f), kStill},
    {5, 0x45FF2E, kStill, bounce(-1.0f)},
    {6, 0x45FF2E, kStill, bounce(-1.0f)},
    {6, 0xEEEEEE, kStill, kStill},
    {7, 0x57C649, kStill, bounce(-1.0f)},
    {8, 0x57C649, kStill, bounce(-1.0f)},
    {9, 0x57C649, kStill, bounce(-1.0f)},
    {10, 0x0E7F00, kStill, bounce(-1.0f)},
    {11, 0x0E7F00, kStill, bounce(-1.0f)},
};
// clang-format on

static_assert(std::size(kPage1) == texts::kPage1Lines.size());
static_assert(std::size(kPage2) == texts::kPage2Lines.size());
static_assert(std::size(kPage3) == texts::kPage3Lines.size());
static_assert(std::size(kPage4) == texts::kPage4Lines.size());
static_assert(std::size(kPage5) == texts::kPage5Lines.size());
static_assert(std::size(kPage6) == texts::kPage6Lines.size());
static_assert(std::size(kPage7) == texts::kPage7Lines.size());

int moved(int base, const Motion& motion, const PageWaves& waves) {
  float wave = 0.0f;
  switch (motion.wave) {
    case Wave::none:
      return base;
    case Wave::bounce:
      wave = waves.bounce;
      break;
    case Wave::sway:
      wave = waves.sway;
      break;
    case Wave::shiver:
      wave = waves.shiver;
      break;
  }
  const float sum = float(base) + motion.factor * wave + motion.add;
  return int(std::nearbyint(sum));  // default rounding mode: nearest, ties to even
}

int draw_page(std::span<const PageLine> lines, std::span<const std::u16string_view> texts,
              const PageWaves& waves) {
  const int top = 368, pitch = 16;     // the line grid
  const int advance = 8, height = 16;  // the font's cell
  for (size_t i = 0; i < lines.size(); ++i) {
    const PageLine& line = lines[i];
    const std::u16string_view text = texts[i];
    const int centre = (look::kScreenWidth - advance * int(text.size())) / 2;  // truncates toward zero
    const int x = moved(centre, line.x, waves);
    const int y = moved(top + pitch * line.slot, line.y, waves);
    bitmap_font_text(objects::kFontSprite, x, y, advance, height, text, line.colour, 255);
  }
  return 0;
}

}  // namespace

int info_page_1(const PageWaves& waves) {
  return draw_page(kPage1, texts::kPage1Lines, waves);
}
int info_page_2(const PageWaves& waves) {
  return draw_page(kPage2, texts::kPage2Lines, waves);
}
int info_page_3(const PageWaves& waves) {
  return draw_page(kPage3, texts::kPage3Lines, waves);
}
int info_page_4(const PageWaves& waves) {
  return draw_page(kPage4, texts::kPage4Lines, waves);
}
int info_page_5(const PageWaves& waves) {
  return draw_page(kPage5, texts::kPage5Lines, waves);
}
int info_page_6(const PageWaves& waves) {
  return draw_page(kPage6, texts::kPage6Lines, waves);
}
int info_page_7(const PageWaves& waves) {
  return draw_page(kPage7, texts::kPage7Lines, waves);
}

const std::array<InfoPage, 7> kInfoPages = {{
    {info_page_1, 10},
    {info_page_2, 20},
    {info_page_3, 10},
    {info_page_4, 15},
    {info_page_5, 20},
    {info_page_6, 10},
    {info_page_7, 15},
}};
