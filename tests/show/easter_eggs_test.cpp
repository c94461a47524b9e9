// The mouse hint, the typed key words, the pulse and the debug overlay, stepped frame by frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "effects/objects.h"
#include "show/format.h"
#include "show/scene.h"
#include "show_fixture.h"

namespace {

using EasterEggs = ShowTest;

const DrawnText* find_text(const std::vector<DrawnText>& texts, std::u16string_view start) {
  const auto it =
      std::find_if(texts.begin(), texts.end(), [&](const DrawnText& t) { return t.text.starts_with(start); });
  return it == texts.end() ? nullptr : &*it;
}

// +0.125 per moving frame, -0.1 per frame while above 0; the intensity drawn in a frame is
// the level before that frame's decay, rounded with ties to even.
TEST(MouseHint, LevelAfterRunsOfMovingAndRestingFrames) {
  struct Run {
    int frames;
    bool moving;
  };
  struct Case {
    const char* what;
    std::vector<Run> runs;
    int intensity;  // drawn in the last frame
  };
  const Case cases[] = {
      {"16 moving frames: 0.5 rounds to 0", {{16, true}}, 0},
      {"17 moving frames: first visible", {{17, true}}, 1},
      {"a long run stays at 64", {{4000, true}}, 64},
      {"full, then 639 frames of rest", {{4000, true}, {639, false}}, 0},
      {"never without a move", {{1000, false}}, 0},
      {"moving after a rest climbs again", {{100, true}, {50, false}, {100, true}}, 3},
  };
  for (const Case& c : cases) {
    show::ShowState show;
    int drawn = -1;
    for (const Run& run : c.runs)
      for (int n = 0; n < run.frames; ++n) {
        show::advance_mouse_hint(show, run.moving);
        drawn = show.hint_intensity;
      }
    EXPECT_EQ(drawn, c.intensity) << c.what;
    EXPECT_LE(show.hint_level, 64000) << c.what;
  }
}

TEST_F(EasterEggs, TheHintAndTheMouseBannerFollowTheMouse) {
  int first_visible = 0;
  for (int n = 1; n <= 30; ++n) {
    script_.events = {0x0200};
    step(0, 1);
    const std::vector<DrawnText> texts = texts_drawn();
    const DrawnText* banner = find_text(texts, u"^'#'^");
    ASSERT_NE(banner, nullptr) << "the banner shows on every moving frame";
    EXPECT_EQ(banner->x, 128);
    EXPECT_EQ(banner->y, 326);
    EXPECT_EQ(banner->intensity, 128);
    const DrawnText* hint = find_text(texts, u"OH HAI");
    if (hint && hint->intensity >= 1 && first_visible == 0) first_visible = n;
  }
  EXPECT_EQ(first_visible, 17) << "the first visible hint (intensity 1)";
  step(0, 1);
  const std::vector<DrawnText> texts = texts_drawn();
  EXPECT_EQ(find_text(texts, u"^'#'^"), nullptr) << "no banner without a move";
  const DrawnText* hint = find_text(texts, u"OH HAI");
  ASSERT_NE(hint, nullptr);
  EXPECT_EQ(hint->x, 24);
  EXPECT_EQ(hint->y, 6);
}

// The typed word after a sequence of key releases: letters, a space, other keys ("" types nothing).
TEST(TypedKeys, WordsStartAfterClearingKeysAndHoldEightLetters) {
  struct Case {
    const char* what;
    std::vector<std::u16string> keys;
    std::u16string word;
  };
  const std::u16string enter = u"";
  const Case cases[] = {
      {"enter then quorvane", {enter, u"q", u"u", u"o", u"r", u"v", u"a", u"n", u"e"}, u"quorvane"},
      {"a ninth letter restarts", {enter, u"q", u"u", u"o", u"r", u"v", u"a", u"n", u"e", u"x"}, u"x"},
      {"one letter then quorvane", {u"k", u"q", u"u", u"o", u"r", u"v", u"a", u"n", u"e"}, u"e"},
      {"email then space keeps it", {enter, u"e", u"m", u"a", u"i", u"l", u" "}, u"email"},
      {"shift release clears", {u"e", u"m", u"a", u"i", u"l", enter}, u""},
      {"caps lock letters count", {enter, u"K", u"E", u"S", u"T", u"R", u"O", u"W"}, u"kestrow"},
      {"a digit clears", {u"b", u"o", u"1"}, u""},
      {"a letter outside a-z clears", {u"b", u"\u00e4"}, u""},
  };
  for (const Case& c : cases) {
    show::ShowState show;
    for (const std::u16string& key : c.keys) show::typed_key(show, key);
    EXPECT_EQ(show.typed_word, c.word) << c.what;
  }
}

TEST(Pulse, RisesBySixToOneHundredThirtyTwoAndFallsToZero) {
  show::ShowState show;
  std::vector<int> pulse;
  for (int n = 0; n < 46; ++n) {
    show::advance_pulse(show);
    pulse.push_back(show.pulse);
  }
  EXPECT_EQ(pulse[0], 6);
  EXPECT_EQ(pulse[21], 132);
  EXPECT_EQ(pulse[22], 126);
  EXPECT_EQ(pulse[42], 6);
  EXPECT_EQ(pulse[43], 0);
  EXPECT_EQ(pulse[44], 6) << "44 frames a cycle";
}

TEST_F(EasterEggs, KeyWordMessagesPulseAtTheBottom) {
  struct Case {
    std::u16string word;
    std::u16string message_start;
    int x;
    int32_t colour;
    bool banner;
  };
  const Case cases[] = {
      {u"quorvane", u"congratulations", 172, 0x1D97F7, true},
      {u"email", u"quorvane at", 284, 0xFF4A6D, false},
      {u"bookware", u"all your bookware", 240, 0x4A4AFF, false},
      {u"kestrow", u"intro coded by", 164, 0xCBB08E, false},
  };
  for (const Case& c : cases) {
    state_.typed_word = c.word;
    step(0, 1);
    const std::vector<DrawnText> texts = texts_drawn();
    const DrawnText* message = find_text(texts, c.message_start);
    ASSERT_NE(message, nullptr) << std::string(c.word.begin(), c.word.end());
    EXPECT_EQ(message->x, c.x);
    EXPECT_EQ(message->y, 622);
    EXPECT_EQ(message->colour, c.colour);
    EXPECT_EQ(message->intensity, state_.pulse);
    EXPECT_EQ(displays_of(objects::kBannerSprite).size(), c.banner ? 1u : 0u);
  }
  state_.typed_word = u"quorvan";
  step(0, 1);
  EXPECT_TRUE(displays_of(objects::kBannerSprite).empty());
}

TEST_F(EasterEggs, TypingThroughTheKeyboardFollowsTheReleasedKeysText) {
  const auto tap = [&](int code, const std::u16string& typed) {
    keys_.set_typed(typed);
    keys_.hold({code});
    step(0, 1);
    keys_.release_all();
    step(0, 1);
  };
  tap(0x1C, u"");  // Enter
  const std::u16string word = u"bookware";
  for (char16_t c : word) tap(0x30, std::u16string(1, c));
  EXPECT_EQ(state_.typed_word, u"bookware");
  const std::vector<DrawnText> texts = texts_drawn();
  ASSERT_NE(find_text(texts, u"all your bookware"), nullptr);
}

TEST(NumberFormat, RoundsFirstThenPadsOrCuts) {
  EXPECT_EQ(show::format_number(104, 2, u'0'), u"10");
  EXPECT_EQ(show::format_number(7, 2, u'0'), u"07");
  EXPECT_EQ(show::format_number(-1, 2, u'0'), u"-1");
  EXPECT_EQ(show::format_number(5407, 4, u'0'), u"5407");
  EXPECT_EQ(show::format_number(12, 4, u'0'), u"0012");
  EXPECT_EQ(show::format_rounded(-12.5f, 3, u' '), u"-12");
  EXPECT_EQ(show::format_rounded(12.5f, 3, u' '), u" 12");
  EXPECT_EQ(show::format_rounded(6.25f, 3, u' '), u"  6");
  EXPECT_EQ(show::format_rounded(-0.4f, 3, u' '), u"  0") << "a float rounding to minus zero prints no sign";
}

TEST_F(EasterEggs, TheDebugOverlayShowsTheLiveValues) {
  keys_.hold({0x3B});
  step(2, 9);
  keys_.release_all();
  for (int n = 0; n < 3; ++n) step(2, 9);
  const std::vector<DrawnText> texts = texts_drawn();
  const auto line = [&](std::u16string_view label) -> std::u16string {
    const DrawnText* t = find_text(texts, label);
    return t ? t->text : u"(none)";
  };
  EXPECT_EQ(line(u"     fps > ").substr(0, 13), u"     fps > 60");
  const std::u16string delay = line(u"   delay > ");
  EXPECT_TRUE(delay == u"   delay > 16ms" || delay == u"   delay > 17ms")
      << std::string(delay.begin(), delay.end());
  EXPECT_EQ(line(u"    tune > "), u"    tune > 02/09 ");
  EXPECT_EQ(line(u"    page > "), u"    page > 00/07 ") << "no countdown before the flipper runs";
  EXPECT_EQ(line(u"  scroll > "), u"  scroll > 0000/5407");
  const DrawnText* title = find_text(texts, u"DEBUG DATA");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->x, 72);
  EXPECT_EQ(title->y, 144);
  EXPECT_EQ(title->intensity, state_.pulse);
  const DrawnText* fps = find_text(texts, u"     fps > ");
  EXPECT_EQ(fps->x, 32);
  EXPECT_EQ(fps->y, 176);
  EXPECT_EQ(fps->intensity, 192);
  // The panel: eight veil layers 8 pixels apart at the left and one over the rest.
  std::vector<int> veil_x;
  for (const SpriteDisplayCall& c : displays_of(objects::kVeilSprite))
    if (c.intensity == 96) veil_x.push_back(c.x);
  EXPECT_EQ(veil_x, (std::vector<int>{-571, -579, -587, -595, -603, -611, -619, -627, 229}));
}

}  // namespace
