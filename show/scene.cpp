// The scene: phases by the music's order position, the rule stacks, the page flipper, the
// logo with its beat zoom and echoes, the flash words, the badge, and the two fades.
//
// Positions and sizes are formed in floating point from an integer base and a 32-bit float
// wave value, then rounded to the nearest integer with ties to even (std::nearbyint under the
// default rounding mode); divisions by 2 of integer sizes truncate.
#include "show/scene.h"

#include <cmath>
#include <span>

#include "assets/flash_schedule.h"
#include "assets/texts.h"
#include "effects/disc_trail.h"
#include "effects/info_pages.h"
#include "effects/objects.h"
#include "effects/sine_scroller.h"
#include "runtime/random/random.h"
#include "runtime/sprite/sprite.h"
#include "show/drawing.h"
#include "show/format.h"

namespace show {
namespace {

using namespace objects;

// Colours, packed r + 256 g + 65536 b.
constexpr int32_t kDarkRule = 0x5A430E;  // RGB (14, 67, 90)
constexpr int32_t kNearWhite = 0xEEEEEE;
constexpr int32_t kWhite = 0xFFFFFF;
constexpr int32_t kWordInner = 0xBBBBBB;
constexpr int32_t kCountdown = 0x040A16;    // RGB (22, 10, 4)
constexpr int32_t kBadgeShadow = 0x160B01;  // RGB (1, 11, 22)
constexpr int32_t kBadgeFlash = 0x1F1306;   // RGB (6, 19, 31)
constexpr int32_t kCardBadge = 0x5A430E;
constexpr int32_t kCardDate = 0x372909;  // RGB (9, 41, 55)

// One layer of a rule: pattern R1..R10 in a colour, centred (x 4 for the 99 columns). A rule
// is its layers drawn in order at one y.
struct RuleLayer {
  int rule;
  int32_t colour;
};
using Rule = std::span<const RuleLayer>;

constexpr RuleLayer kTopRule[] = {{2, kDarkRule}, {5, kDarkRule}, {6, kLightBlue}};
constexpr RuleLayer kTopFirstVariant[] = {{7, kLightBlue}, {4, kNearWhite}, {6, kWhite}};
constexpr RuleLayer kTopSecondVariant[] = {{3, kLightBlue}, {8, kNearWhite}};
constexpr RuleLayer kMiddleRule[] = {{2, kDarkRule}, {3, kLightBlue}};
constexpr RuleLayer kMiddleMark[] = {{8, kNearWhite}};
constexpr RuleLayer kCentreRule[] = {{5, kWhite}, {10, kLightBlue}};  // also frames the card's titles
constexpr RuleLayer kLowerRule[] = {
    {1, kDarkRule}, {2, kDarkRule}, {7, kLightBlue}, {4, kNearWhite}, {5, kWhite}};
constexpr RuleLayer kBottomRule[] = {{1, kDarkRule}, {2, kDarkRule}};
constexpr RuleLayer kBottomFirstVariant[] = {{3, kLightBlue}};
constexpr RuleLayer kBottomSecondVariant[] = {{4, kDarkRule}, {9, kDarkRule}};
constexpr RuleLayer kBottomTop[] = {{5, kWhite}};

void draw_rule(int y, Rule layers, int intensity = 255) {
  for (const RuleLayer& layer : layers)
    centred_text(y, texts::kRulePatterns[size_t(layer.rule - 1)], layer.colour, intensity);
}

// The top stack alternates with the wall clock (seconds 26-49 of every 50 show its first
// variant), the middle one adds R8 in seconds 16-19 of every 20, the bottom one alternates in
// seconds 16-29 of every 30.
void top_rules(const ShowState& show) {
  draw_rule(20, kTopRule);
  draw_rule(20, show.seconds_mod_50 > 25 ? Rule(kTopFirstVariant) : Rule(kTopSecondVariant));
}
void middle_rules(const ShowState& show) {
  draw_rule(340, kMiddleRule);
  if (show.seconds_mod_20 > 15) draw_rule(340, kMiddleMark);
  draw_rule(340, kCentreRule);
}
void bottom_rules(const ShowState& show) {
  draw_rule(608, kBottomRule);
  draw_rule(608, show.seconds_mod_30 > 15 ? Rule(kBottomFirstVariant) : Rule(kBottomSecondVariant));
  draw_rule(608, kBottomTop);
}

// A page stays until the tick count exceeds, by more than its hold, the count of the frame in
// which it was first drawn. The countdown shows "00" in the flipper's first frame (page 0) and
// "-1" in the frame the page changes. The page is drawn before the flipper moves on: the frame
// shows `page_shown`, and its hold is the one the flipper counts with.
void advance_page_flipper(ShowState& show) {
  show.page_shown = show.page;
  if (show.page >= 1 && show.page <= int(kInfoPages.size()))
    show.hold = kInfoPages[size_t(show.page - 1)].hold;
  if (show.page_armed == 0) {
    show.page_end = show.tick_count + show.hold;
    show.page_armed = 1;
  }
  if (show.tick_count > show.page_end || show.page == 0) {
    show.page += 1;
    if (show.page > show.page_count) show.page = 1;
    show.page_armed = 0;
  }
  show.countdown_text = format_number(int64_t(show.page_end) - int64_t(show.tick_count), 2, u'0');
}

void paint_page_flipper(const ShowState& show) {
  if (show.page_shown < 0) return;
  if (show.page_shown >= 1 && show.page_shown <= int(kInfoPages.size()))
    kInfoPages[size_t(show.page_shown - 1)].draw({show.waves.bounce, show.waves.sway, show.waves.shiver});
  text(778, 356, show.countdown_text, kCountdown, 255);
}

void logo_display(int x, int y, int intensity) {
  sprite_display(kLogoSprite, x, y, intensity);
}

// The logo: a faint flash on the opening's beat rows, a faint copy with bright beat flashes in
// the words phase, and from position 3 the full logo drifting on the waves, with a beat zoom
// and echoes once the main phase has begun.
void paint_logo(const ShowState& show) {
  const bool main = main_phase(show);
  const float sinx = show.waves.sinx, siny = show.waves.siny;
  if (show.late_scene == 0) {
    const int w = sprite_width(kLogoSprite);
    if (show.position == 0 && show.row > 0 && show.beat_phase == 0)
      logo_display((kScreenWidth - w) / 2, 32, 32);
    if (show.position >= 1 && show.position <= 4) {
      logo_display((kScreenWidth - w) / 2, 32, 32);
      if (show.beat_phase == 0) logo_display(400 - w / 2, 32, 128);
    }
  }
  if (!(show.position >= 3 || show.late_scene == 1)) return;

  // While a beat row lasts the logo grows by 0.225 % a frame; it snaps back on the next row.
  if (main && show.beat_phase == 0) {
    const int w = sprite_width(kLogoSprite), h = sprite_height(kLogoSprite);
    sprite_zoom(kLogoSprite, int(std::nearbyint(1.00225 * w)), int(std::nearbyint(1.00225 * h)));
  } else {
    sprite_zoom(kLogoSprite, show.logo.width, show.logo.height);
  }
  const int w = sprite_width(kLogoSprite);
  const float centre = float(400 - w / 2);
  logo_display((kScreenWidth - w) / 2, 32, 32);
  if (main && show.beat_phase == 0) {
    logo_display(round_int(centre + 3.6f * sinx), round_int(332.0f + 1.8f * siny), 16);
    logo_display(round_int(centre + 1.8f * sinx), round_int(32.0f + 1.8f * siny), 64);
  }
  if (main && show.channel0_note > 0)
    logo_display(round_int(centre + 1.8f * sinx), round_int(32.0f + 3.6f * siny), 32);
  logo_display(round_int(centre + sinx), round_int(32.0f + siny), 255);
}

// Flash words: a word keeps its place for every frame of its row ("vane" also into the next
// flash phase); its right edge lies in 8 * width + 8 .. 784, so it never leaves the screen.
const texts::FlashWord& flash_word(int index) {
  return texts::kFlashWords[size_t(index)];
}

void place_word(ShowState& show, const texts::FlashWord& word) {
  if (show.word_placed != 0) return;
  show.word_right = int32_t(random_range(784, uint32_t(kAdvance * int(word.lines[0].size()) + 8)));
  show.word_top = int32_t(random_range(504, 376));
  show.word_spacing = 14;
  show.word_placed = 1;
}

void show_word(ShowState& show, int index) {
  place_word(show, flash_word(index));
  show.word_text = flash_word(index).name;
  show.word_shown = index;
}

}  // namespace

void advance_flash_words(ShowState& show) {
  using namespace flash_schedule;
  show.word_shown = -1;
  if (!(show.position >= 1 && show.position < 5 && show.late_scene == 0)) return;
  show.word_text.clear();
  // Each word's place is drawn anew from the row before its row on; "vane" takes its place on
  // its row and keeps it into the next, where positions 2 and 4 show it late.
  for (int row : kWordRows)
    if (show.flash_phase == row - 1) show.word_placed = 0;
  if (show.flash_phase == kWordRows[kVane] || show.flash_phase == kWordRows[kVane] + 1)
    place_word(show, flash_word(kVane));
  const int word = word_at(show.position, show.row);
  if (word != kNone) show_word(show, word);
}

void paint_flash_word(const ShowState& show) {
  if (show.word_shown < 0) return;
  const texts::FlashWord& word = flash_word(show.word_shown);
  for (size_t i = 0; i < word.lines.size(); ++i) {
    const std::u16string_view line = word.lines[i];
    const int32_t colour = (i == 0 || i == 3) ? kLightBlue : kWordInner;
    text(show.word_right - kAdvance * int(line.size()), show.word_top + show.word_spacing * int(i), line,
         colour, 255);
  }
}

void advance_scene(ShowState& show) {
  disc_trail(show.trail, main_phase(show));
  if (main_phase(show)) {
    advance_page_flipper(show);
  } else {
    show.page_shown = -1;
  }
  // The flipper above reads the late flag before this frame may set it; that cannot change
  // what it does, since the flag is only set at position 6 or later, where the main phase
  // holds anyway.
  if (show.position >= 6 && show.late_scene == 0) show.late_scene = 1;
  if (main_phase(show)) {
    show.scroller.beat_phase = show.beat_phase;
    show.scroller.channel0_note = show.channel0_note;
    sine_scroller_advance(show.scroller);
  }
}

void paint_scene(const ShowState& show) {
  const float sinx = show.waves.sinx;
  sprite_display(kDiscCanvasSprite, (kScreenWidth - sprite_width(kDiscCanvasSprite)) / 2, 36, 255);

  const int picture_x = (kScreenWidth - sprite_width(kScenePictureSprite)) / 2;
  sprite_display(kScenePictureSprite, picture_x, 36, 16);
  sprite_display(kScenePictureSprite, round_int(float(picture_x) - 0.5f * sinx), 36, 128);
  const int strip_x = (kScreenWidth - sprite_width(kSceneStripSprite)) / 2;
  sprite_display(kSceneStripSprite, strip_x, 582, 16);
  sprite_display(kSceneStripSprite, round_int(float(strip_x) - 1.5f * sinx), 582, 128);

  top_rules(show);
  middle_rules(show);
  paint_page_flipper(show);
  draw_rule(574, kLowerRule);
  bottom_rules(show);

  paint_logo(show);
  if (main_phase(show)) sine_scroller_paint(show.scroller);

  const int backdrop_x = round_int(float((kScreenWidth - sprite_width(kBackdropSprite)) / 2) + 0.25f * sinx);
  sprite_display(kBackdropSprite, backdrop_x, -32, 32);
  sprite_display(kBandSprite, 0, 0, 64);
  sprite_display(kBandTopSprite, 0, 553, 64);

  sprite_display(kBadgeSprite, 702, 324, 255, kBadgeShadow);
  if (main_phase(show) && show.channel0_note > 0) sprite_display(kBadgeSprite, 702, 324, 255, kBadgeFlash);
  if (show.beat_phase == 2) sprite_display(kBackdropSprite, backdrop_x, -32, 4);
}

void advance_opening_fade(ShowState& show) {
  show.veil_intensity = show.opening_level > 0.0f ? round_int(show.opening_level) : -1;
  if (show.opening_level > 0.0f) show.opening_level -= 255.0f / 2000.0f * 100.0f;  // 12.75: twenty frames
}

void paint_opening_fade(const ShowState& show) {
  if (show.veil_intensity >= 0) sprite_display(kVeilSprite, 0, 0, show.veil_intensity);
}

void paint_closing_card(const ShowState& show) {
  if (show.card_intensity < 0) return;
  const int level = show.card_intensity;
  sprite_display(kVeilSprite, 0, 0, level);
  // The top stack in its second variant, the centre rule above and below the titles, the
  // lower stack.
  draw_rule(20, kTopRule, level);
  draw_rule(20, kTopSecondVariant, level);
  draw_rule(232, kCentreRule, level);
  centred_text(256, texts::kClosingA, kLightBlue, level);
  centred_text(280, texts::kClosingTitle, kNearWhite, level);
  centred_text(304, texts::kClosingProduction, kLightBlue, level);
  centred_text(336, texts::kClosingCodedBy, kNearWhite, level);
  sprite_display(kBadgeSprite, (kScreenWidth - sprite_width(kBadgeSprite)) / 2, 352, level, kCardBadge);
  centred_text(372, texts::kDate, kCardDate, level);
  draw_rule(396, kCentreRule, level);
  draw_rule(574, kLowerRule, level);
}

}  // namespace show
