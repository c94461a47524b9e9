// The scene stepped frame by frame: the phases and the late scene, the page flipper, the flash
// words, the logo's beats, the fades, and a few whole frames against references.
#include "show/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

#include "effects/objects.h"
#include "golden.h"
#include "runtime/random/random.h"
#include "show_fixture.h"

namespace {

using namespace objects;

bool drew_text(const std::vector<DrawnText>& texts, std::u16string_view needle) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const DrawnText& t) { return t.text.find(needle) != std::u16string::npos; });
}

using Scene = ShowTest;

// Rows alternate between a beat row and the one after it, so every second frame counts a tick.
TEST_F(Scene, PageFlipperHoldsEachPageForItsTicks) {
  step(5, 0);
  EXPECT_EQ(state_.countdown_text, u"00") << "first frame of the flipper";
  EXPECT_EQ(state_.page, 1);
  const int first_tick = state_.tick_count;
  step(5, 1);
  EXPECT_EQ(state_.countdown_text, u"10") << "page 1 holds 10 ticks";
  const int page1_first = state_.tick_count;
  EXPECT_EQ(page1_first, first_tick);
  int row = 1;
  while (state_.page == 1) {
    row = row == 0 ? 1 : 0;
    step(5, row);
    ASSERT_LT(state_.tick_count, first_tick + 20);
  }
  EXPECT_EQ(state_.tick_count, page1_first + 11);
  EXPECT_EQ(state_.countdown_text, u"-1");
  EXPECT_EQ(state_.page, 2);

  // Page 7 is followed by page 1.
  state_.page = 7;
  state_.page_armed = 0;
  step(5, 1);
  EXPECT_EQ(state_.countdown_text, u"15");
  for (int n = 0; n < 40 && state_.page == 7; ++n) step(5, n % 2 == 0 ? 0 : 1);
  EXPECT_EQ(state_.page, 1);
}

TEST_F(Scene, TheCountdownIsDrawnInTheBandCorner) {
  step(5, 1);
  step(5, 1);
  const std::vector<DrawnText> texts = texts_drawn();
  const auto countdown =
      std::find_if(texts.begin(), texts.end(), [](const DrawnText& t) { return t.y == 356; });
  ASSERT_NE(countdown, texts.end());
  EXPECT_EQ(countdown->x, 778);
  EXPECT_EQ(countdown->text, u"10");
  EXPECT_EQ(countdown->colour, 0x040A16);
}

// Flash phases: "vane" one row later at positions 2 and 4; "?" only on row 60 at 1 and 3.
TEST_F(Scene, FlashWordsByPositionAndRow) {
  struct Case {
    int position, row;
    std::u16string word;
  };
  const Case cases[] = {
      {1, 1, u"want"}, {1, 3, u"to"},    {1, 6, u"quor"},  {1, 57, u"vane"}, {1, 58, u""},
      {2, 57, u""},    {2, 58, u"vane"}, {4, 58, u"vane"}, {3, 9, u"vane"},  {1, 60, u"?"},
      {3, 60, u"?"},   {2, 60, u""},     {1, 12, u""},     {0, 1, u""},      {5, 1, u""},
  };
  for (const Case& c : cases) {
    step(c.position, c.row);
    EXPECT_EQ(state_.word_text, c.word) << "position " << c.position << " row " << c.row;
    const std::vector<DrawnText> texts = texts_drawn();
    const bool drawn = std::any_of(texts.begin(), texts.end(), [](const DrawnText& t) {
      return t.y >= 376 && t.y <= 504 + 3 * 14 && (t.colour == 0xCBB08E || t.colour == 0xBBBBBB) &&
             t.x + 8 * int(t.text.size()) <= 784 && t.y != 574;
    });
    EXPECT_EQ(drawn, !c.word.empty()) << "position " << c.position << " row " << c.row;
  }
}

TEST_F(Scene, AFlashWordKeepsItsPlaceForItsRowAndStaysOnScreen) {
  for (uint32_t seed = 1; seed <= 24; ++seed) {
    random_seed(seed);
    step(1, 16);  // a reset phase
    step(1, 17);  // "want"
    const int right = state_.word_right, top = state_.word_top;
    step(1, 17);
    EXPECT_EQ(state_.word_right, right);
    EXPECT_EQ(state_.word_top, top);
    for (const DrawnText& t : texts_drawn()) {
      if (t.y < 376 || t.y > 504 + 42 || t.y == 574) continue;
      EXPECT_GE(t.x, 8) << "seed " << seed;
      EXPECT_LE(t.x + 8 * int(t.text.size()), 784) << "seed " << seed;
    }
    // "vane" keeps the place of flash phase 9 into phase 10 at positions 2 and 4.
    step(2, 56);
    step(2, 57);
    const int vane_right = state_.word_right, vane_top = state_.word_top;
    step(2, 58);
    EXPECT_EQ(state_.word_text, u"vane");
    EXPECT_EQ(state_.word_right, vane_right);
    EXPECT_EQ(state_.word_top, vane_top);
  }
}

TEST_F(Scene, TheLateSceneSurvivesTheLoopBackToAnEarlyPosition) {
  step(6, 1);
  EXPECT_EQ(state_.late_scene, 1);
  step(1, 1);  // would show "want" before the late scene
  EXPECT_EQ(state_.word_text, u"");
  EXPECT_FALSE(drew_text(texts_drawn(), u"|  |  |"));
  step(1, 8);  // a beat row: the main phase's zoom, not the words phase's flash
  EXPECT_EQ(sprite_width(kLogoSprite), 802);
  for (const SpriteDisplayCall& c : displays_of(kLogoSprite)) EXPECT_NE(c.intensity, 128);
  EXPECT_FALSE(displays_of(kScrollerStripSprite).empty()) << "the scroller keeps running";
}

TEST_F(Scene, TheLogoFirstShowsFaintlyOnRowEightOfTheOpening) {
  step(0, 0);
  EXPECT_TRUE(displays_of(kLogoSprite).empty());
  step(0, 4);
  EXPECT_TRUE(displays_of(kLogoSprite).empty());
  step(0, 8);
  const std::vector<SpriteDisplayCall> logo = displays_of(kLogoSprite);
  ASSERT_EQ(logo.size(), 1u);
  EXPECT_EQ(logo[0].intensity, 32);
  EXPECT_EQ(logo[0].x, 0);
  EXPECT_EQ(logo[0].y, 32);
}

TEST_F(Scene, TheLogoGrowsWhileABeatRowLastsAndSnapsBack) {
  struct Size {
    int width, height;
  };
  std::vector<Size> sizes;
  for (int row : {1, 8, 8, 8, 9}) {
    step(5, row);
    sizes.push_back({sprite_width(kLogoSprite), sprite_height(kLogoSprite)});
  }
  const Size expected[] = {{800, 304}, {802, 305}, {804, 306}, {806, 307}, {800, 304}};
  for (size_t i = 0; i < sizes.size(); ++i) {
    EXPECT_EQ(sizes[i].width, expected[i].width) << i;
    EXPECT_EQ(sizes[i].height, expected[i].height) << i;
  }
  // On a beat row of the main phase: the faint base, two echoes, the highlight copy for a
  // note, then the logo itself at full intensity, in this order.
  step(5, 16, 0x0130);
  std::vector<int> intensities;
  for (const SpriteDisplayCall& c : displays_of(kLogoSprite)) intensities.push_back(c.intensity);
  EXPECT_EQ(intensities, (std::vector<int>{32, 16, 64, 32, 255}));
}

TEST_F(Scene, TheBadgeFlashesOnChannelZeroNotesOfAnyInstrumentInTheMainPhase) {
  struct Case {
    int position, note;
    size_t badges;
  };
  for (const Case& c : {Case{5, 0, 1}, Case{5, 0x0130, 2}, Case{5, 0x0F01, 2}, Case{4, 0x0130, 1}}) {
    step(c.position, 1, c.note);
    EXPECT_EQ(displays_of(kBadgeSprite).size(), c.badges) << c.position << " " << c.note;
  }
}

TEST_F(Scene, TheOpeningFadeLiftsOverTwentyFrames) {
  std::vector<int> veil;
  for (int n = 0; n < 22; ++n) {
    step(0, 0);
    const std::vector<SpriteDisplayCall> v = displays_of(kVeilSprite);
    veil.push_back(v.empty() ? 0 : v.back().intensity);
  }
  EXPECT_EQ(veil[0], 255);
  EXPECT_EQ(veil[1], 242);
  EXPECT_EQ(veil[2], 230);
  EXPECT_EQ(veil[19], 13);
  EXPECT_EQ(veil[20], 0);
}

TEST_F(Scene, TheClosingCardFadesInWithOneLevelForEveryItem) {
  for (int n = 0; n < 25; ++n) step(5, 1);
  keys_.hold({0x01});
  std::vector<int> title, date;
  for (int n = 0; n < 6; ++n) {
    step(5, 1);
    keys_.release_all();
    for (const DrawnText& t : texts_drawn()) {
      if (t.text == u"'QUORVANE INTRODUCTION'") title.push_back(t.intensity);
      if (t.text == u"20250101") date.push_back(t.intensity);
    }
  }
  // 8.5 a frame from 0, each level rounded to nearest with ties to even (25.5 -> 26, 42.5 -> 42).
  EXPECT_EQ(title, (std::vector<int>{0, 8, 17, 26, 34, 42}));
  EXPECT_EQ(date, title);
}

// The rule stacks alternate by the wall clock's second: the top stack's first variant in seconds
// 26-49 of every 50, the middle mark in 16-19 of every 20, the bottom's first variant in 16-29
// of every 30. Each stack is compared with itself at second 0 (the other variant).
TEST_F(Scene, RuleStacksAlternateByTheClocksSecond) {
  using Glyph = std::tuple<int, int, int32_t, int>;  // x, glyph, colour, intensity
  auto stack_at = [&](int second, int y) {
    clock_.set_ms(uint64_t(second) * 1000 + 500);
    step(5, 1);
    std::vector<Glyph> glyphs;
    for (const SpriteDisplayCall& c : calls_)
      if (c.number == kFontSprite && c.y == y) glyphs.emplace_back(c.x, c.clip_x, c.colour, c.intensity);
    return glyphs;
  };
  struct Case {
    const char* stack;
    int y, period, first, last;  // the variant's seconds within each period
  };
  const Case cases[] = {{"top", 20, 50, 26, 49}, {"middle", 340, 20, 16, 19}, {"bottom", 608, 30, 16, 29}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stack);
    const std::vector<Glyph> usual = stack_at(0, c.y);
    const std::vector<Glyph> variant = stack_at(c.first, c.y);
    ASSERT_FALSE(usual.empty());
    EXPECT_NE(variant, usual);
    for (int second : {c.first - 1, c.last + 1, c.period, c.period + c.first - 1})
      EXPECT_EQ(stack_at(second, c.y), usual) << "second " << second;
    for (int second : {c.last, c.period + c.first, c.period + c.last})
      EXPECT_EQ(stack_at(second, c.y), variant) << "second " << second;
  }
}

// The logo's displays by phase, with the waves away from zero: (intensity, x, y) in drawing
// order, x and y as offsets of sinx and siny from the logo's resting place.
TEST_F(Scene, TheLogoIsDisplayedByPhase) {
  struct Display {
    int intensity;
    float sinx_x, base_y, siny_y;  // x = centre + sinx_x * sinx, y = base_y + siny_y * siny
    bool centred = false;          // at the screen's centre, not moved by the waves
  };
  struct Case {
    const char* phase;
    int position, row, note;
    std::vector<Display> displays;
  };
  const Case cases[] = {
      {"words, off-beat", 1, 3, 0, {{32, 0, 32, 0, true}}},
      {"words, beat", 1, 8, 0, {{32, 0, 32, 0, true}, {128, 0, 32, 0, true}}},
      {"words with the full logo, beat",
       3,
       8,
       0,
       {{32, 0, 32, 0, true}, {128, 0, 32, 0, true}, {32, 0, 32, 0, true}, {255, 1, 32, 1}}},
      {"main, off-beat with a note",
       5,
       3,
       0x0130,
       {{32, 0, 32, 0, true}, {32, 1.8f, 32, 3.6f}, {255, 1, 32, 1}}},
      {"main, beat with a note",
       5,
       8,
       0x0130,
       {{32, 0, 32, 0, true},
        {16, 3.6f, 332, 1.8f},
        {64, 1.8f, 32, 1.8f},
        {32, 1.8f, 32, 3.6f},
        {255, 1, 32, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phase);
    for (int n = 0; n < 30; ++n) step(c.position, c.row == 8 ? 9 : c.row, c.note);  // waves away from 0
    step(c.position, c.row, c.note);
    const float sinx = state_.waves.sinx, siny = state_.waves.siny;
    ASSERT_NE(sinx, 0.0f);
    ASSERT_NE(siny, 0.0f);
    const int w = sprite_width(kLogoSprite);
    const std::vector<SpriteDisplayCall> logo = displays_of(kLogoSprite);
    ASSERT_EQ(logo.size(), c.displays.size());
    for (size_t i = 0; i < logo.size(); ++i) {
      const Display& d = c.displays[i];
      EXPECT_EQ(logo[i].intensity, d.intensity) << i;
      EXPECT_EQ(logo[i].x,
                d.centred ? (800 - w) / 2 : int(std::nearbyint(float(400 - w / 2) + d.sinx_x * sinx)))
          << i;
      EXPECT_EQ(logo[i].y, int(std::nearbyint(d.base_y + d.siny_y * siny))) << i;
    }
  }
}

// The badge in the scene: its dark shadow always, the flash colour over it for a channel-0
// note in the main phase; on the closing card one flat colour.
TEST_F(Scene, TheBadgeIsDrawnInItsTwoDarkColours) {
  step(5, 1, 0x0130);
  const std::vector<SpriteDisplayCall> badges = displays_of(kBadgeSprite);
  ASSERT_EQ(badges.size(), 2u);
  EXPECT_EQ(badges[0].colour, 0x160B01);  // RGB (1, 11, 22)
  EXPECT_EQ(badges[1].colour, 0x1F1306);  // RGB (6, 19, 31)
  for (const SpriteDisplayCall& b : badges) {
    EXPECT_EQ(b.x, 702);
    EXPECT_EQ(b.y, 324);
    EXPECT_EQ(b.intensity, 255);
  }
}

// F1's panel is not drawn once Escape has started the closing fade, and comes back with nothing.
TEST_F(Scene, NoDebugPanelDuringTheClosingFade) {
  auto panel_drawn = [&] { return drew_text(texts_drawn(), u"fps > "); };
  keys_.hold({0x3B});
  step(5, 1);
  keys_.release_all();
  step(5, 1);
  ASSERT_TRUE(panel_drawn()) << "F1 shows the panel";
  keys_.hold({0x01});
  step(5, 1);
  keys_.release_all();
  for (int n = 0; n < 20; ++n) {
    step(5, 1);
    EXPECT_FALSE(panel_drawn()) << "frame " << n << " of the closing fade";
  }
}

// Whole frames. Each reference was looked at: what it shows is in the test's name and comment.
class SceneFrames : public ShowTest {
 protected:
  void expect_golden(const std::string& name, const std::vector<uint32_t>& frame) {
    ASSERT_EQ(frame.size(), size_t(kWidth) * kHeight);
    const GoldenResult r = compare_with_golden(name, kWidth, kHeight, frame);
    EXPECT_TRUE(r.matches) << name << ": " << r.message;
  }
};

// The first frame is the solid veil colour everywhere.
TEST_F(SceneFrames, FirstFrameIsAllVeil) {
  const std::vector<uint32_t> frame = step_and_read(0, 0);
  ASSERT_FALSE(frame.empty());
  for (size_t i = 0; i < frame.size(); i += 97) ASSERT_EQ(frame[i], 0x150B01u) << i;
  expect_golden("first_frame_veil", frame);
}

// Main phase, frame 240 on a beat row with a channel-0 note: nebula band with the logo and its
// echoes, page 1, the scroller with its beat copies and white highlight, the flashing badge.
TEST_F(SceneFrames, MainPhaseWithScrollerPageAndBadgeFlash) {
  state_.scroller.x_offset = 400;  // the text enters from the right edge instead of far beyond it
  for (int n = 0; n < 239; ++n) step(5, 1 + n % 7);
  expect_golden("main_phase_beat", step_and_read(5, 8, 0x0130));
}

// The closing card at full level over the running scene.
TEST_F(SceneFrames, ClosingCardAtFullLevel) {
  for (int n = 0; n < 60; ++n) step(5, 1);
  keys_.hold({0x01});
  step(5, 1);
  keys_.release_all();
  for (int n = 0; n < 40; ++n) step(5, 1);
  ASSERT_GE(state_.closing_level, 255.0f);
  expect_golden("closing_card", step_and_read(5, 1));
}

}  // namespace
