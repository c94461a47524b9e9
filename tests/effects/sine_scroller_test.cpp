// Sine scroller: the columns it puts on the screen (recorded), the strip it renders (read back
// from sprite 21) and the scroll and counter steps.
#include "effects/sine_scroller.h"

#include <gtest/gtest.h>

#include <map>

#include "effects_fixture.h"

namespace {

using objects::kScrollerStripSprite;

constexpr int32_t kText = 0xDDDDDD, kHighlight = 0xFFFFFF, kBeat = 0xCBB08E;

class Scroller : public EffectsScreenTest {
 protected:
  void SetUp() override {
    EffectsScreenTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_NE(sprite_create(kScrollerStripSprite, 1600, 32), 0);
  }
  SineScroller scroller;
};

// The main copy's intensity in column c, -1 where the column has none.
int main_intensity(int c) {
  if (c > 64 && c < 192) return 2 * (c - 65);
  if (c >= 192 && c <= 608) return 255;
  if (c > 608 && c < 736) return 255 - 2 * (c - 609);
  return -1;
}

TEST_F(Scroller, ColumnsCarryTheirCopies) {
  struct Case {
    int beat_phase;
    int note;
  } cases[] = {{1, 0}, {0, 0}, {5, 0x0131}, {0, 0x0131}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "beat phase " << k.beat_phase << ", note " << k.note);
    sine_scroller_init(scroller, u"   hello, world");
    scroller.beat_phase = k.beat_phase;
    scroller.channel0_note = k.note;
    record();
    ASSERT_EQ(sine_scroller(scroller), 0);
    sprite_set_display_recorder(nullptr);

    std::map<int, std::vector<SpriteDisplayCall>> columns;
    for (const SpriteDisplayCall& call : calls()) {
      ASSERT_EQ(call.number, kScrollerStripSprite);
      EXPECT_EQ(call.clip_x, call.x);  // column c shows strip column c, one pixel wide
      EXPECT_EQ(call.clip_y, 0);
      EXPECT_EQ(call.clip_width, 1);
      EXPECT_EQ(call.clip_height, 16);
      columns[call.x].push_back(call);
    }
    const bool beat = k.beat_phase == 0, note = k.note > 0;
    for (int c = 0; c < 800; ++c) {
      SCOPED_TRACE(testing::Message() << "column " << c);
      // Expected copies in drawing order: (colour, intensity, y relative to the main copy).
      std::vector<std::tuple<int32_t, int, int>> expected;
      if (beat) expected.insert(expected.end(), {{kBeat, 64, -4}, {kBeat, 64, 4}});
      if (main_intensity(c) >= 0) {
        expected.push_back({kText, main_intensity(c), 0});
        if (note) expected.push_back({kHighlight, main_intensity(c), 0});
      }
      if (note) expected.push_back({kHighlight, 64, 0});
      const auto& got = columns[c];
      ASSERT_EQ(got.size(), expected.size());
      if (got.empty()) continue;
      const int main_y = got.back().y - std::get<2>(expected.back());
      EXPECT_GE(main_y, 585);
      EXPECT_LE(main_y, 597);
      for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].colour, std::get<0>(expected[i])) << i;
        EXPECT_EQ(got[i].intensity, std::get<1>(expected[i])) << i;
        EXPECT_EQ(got[i].y, main_y + std::get<2>(expected[i])) << i;
      }
    }
  }
}

// The wave: 6 x sin(phase + c / 2 degrees) around y 591, with the phase 4 degrees further on
// every frame; the main copies stay within 585..597 however far the phase has grown.
TEST_F(Scroller, WaveStaysWithinSixPixels) {
  sine_scroller_init(scroller, u"x");
  scroller.beat_phase = 1;
  record();
  sine_scroller(scroller);  // phase 4 when the columns are drawn
  std::map<int, int> first;
  for (const SpriteDisplayCall& call : calls()) first[call.x] = call.y;
  EXPECT_EQ(first[172], 591 + 6);  // 6 sin(4 + 86 degrees)
  EXPECT_EQ(first[352], 591);      // 6 sin(180 degrees)
  EXPECT_EQ(first[532], 591 - 6);  // 6 sin(270 degrees)
  EXPECT_EQ(first[252], 591 + 5);  // 6 sin(130 degrees) = 4.60
  scroller.phase = 1.0e6f;         // far on: the float phase has lost its fraction, not its range
  for (int frame = 0; frame < 90; ++frame) {
    calls().clear();
    sine_scroller(scroller);
    for (const SpriteDisplayCall& call : calls()) {
      ASSERT_GE(call.y, 585);
      ASSERT_LE(call.y, 597);
    }
  }
}

// The strip holds the text from position char_index + 1 at x_offset + 8, in the font's ink;
// the glyph backgrounds, the box and positions past the end of the text are transparent.
TEST_F(Scroller, StripShowsTheTextAndBlanksPastItsEnd) {
  sine_scroller_init(scroller, u"Z}A#");
  struct Case {
    int char_index, x_offset;
    std::u16string shown;  // the glyphs from strip x x_offset + 8 on
  } cases[] = {{1, -10, u"}A#"}, {0, -16, u"Z}A#"}, {3, 100, u"#"}, {0, 770, u"Z}A#"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "char index " << k.char_index << ", x offset " << k.x_offset);
    scroller.char_index = k.char_index;
    scroller.x_offset = k.x_offset;
    sine_scroller(scroller);
    const std::vector<uint32_t> strip = sprite_texels(kScrollerStripSprite);  // bottom row first
    ASSERT_EQ(strip.size(), 1600u * 32u);
    for (int x = 0; x < 800; ++x)
      for (int y = 0; y < 16; ++y) {
        const int place = x - (k.x_offset + 8);
        const bool ink = place >= 0 && place < 8 * int(k.shown.size()) &&
                         glyph_ink(font_glyph_cell(kScreenFont, k.shown[size_t(place / 8)]), place % 8, y);
        const uint32_t pixel = strip[size_t(31 - y) * 1600 + size_t(x)];
        ASSERT_EQ(pixel >> 24, ink ? 0xFFu : 0u) << x << ", " << y;
        if (ink) {
          ASSERT_EQ(pixel & 0xFFFFFF, 0xAACCCCu) << x << ", " << y;  // the strip's ink
        }
      }
  }
  EXPECT_TRUE(texture_matches_copy(kScrollerStripSprite));
}

// One step of the strip (threshold -16) and of the counter (threshold -8), and the wraps.
TEST_F(Scroller, ScrollAndCounterStep) {
  sine_scroller_init(scroller, u"abcde");
  struct Position {
    int index, x;
    bool operator==(const Position&) const = default;
  };
  struct Case {
    Position text_before, counter_before, text_after, counter_after;
  } cases[] = {
      {{1, -14}, {0, -6}, {1, -16}, {0, -8}},      // both at their thresholds: no step yet
      {{1, -16}, {0, -8}, {2, -10}, {1, -2}},      // both step
      {{3, -8}, {3, -8}, {3, -10}, {4, -2}},       // only the counter steps
      {{4, -16}, {4, -8}, {0, 800}, {0, 800}},     // the fifth character ends both runs
      {{0, 800}, {2, 800}, {0, 798}, {2, 798}},    // a new run starts at the right edge
      {{1, 1600}, {0, 800}, {1, 1598}, {0, 798}},  // the initial values
  };
  for (const Case& k : cases) {
    scroller.char_index = k.text_before.index;
    scroller.x_offset = k.text_before.x;
    scroller.counter_index = k.counter_before.index;
    scroller.counter_x = k.counter_before.x;
    sine_scroller(scroller);
    EXPECT_EQ((Position{scroller.char_index, scroller.x_offset}), k.text_after) << k.text_before.x;
    EXPECT_EQ((Position{scroller.counter_index, scroller.counter_x}), k.counter_after) << k.counter_before.x;
  }
}

// From the initial values a 3-character text wraps the counter first, at frame 413 (800 / 2
// frames to -10, then two more steps of 4 frames), and the strip at frame 813 (1600 + 18 / 2
// frames to its first step from char index 1, then one more).
TEST_F(Scroller, CounterAndTextWrapAtDifferentFrames) {
  sine_scroller_init(scroller, u"abc");
  int counter_wrap = 0, text_wrap = 0;
  for (int frame = 1; frame <= 820 && !text_wrap; ++frame) {
    sine_scroller(scroller);
    if (!counter_wrap && scroller.counter_index == 0 && scroller.counter_x == 800) counter_wrap = frame;
    if (scroller.char_index == 0 && scroller.x_offset == 800) text_wrap = frame;
  }
  EXPECT_EQ(counter_wrap, 413);
  EXPECT_EQ(text_wrap, 813);
  EXPECT_EQ(scroller.phase, 813.0f * 4);
}

}  // namespace
