#include <gtest/gtest.h>

#include "helpers/fakes.h"
#include "runtime/input/input.h"

namespace {

constexpr int kA = 0x1E, kB = 0x30, kShift = 0x2A, kKeypad7 = 0x47;

// Held for three samples, then let go: pushed 1,1,1,0,0 and released 0,0,0,1,0.
TEST(Keyboard, HeldKeyThenReleased) {
  ScriptedKeyboard keys;
  std::vector<int> pushed, released;
  for (bool down : {true, true, true, false, false}) {
    if (down)
      keys.hold({kA});
    else
      keys.release_all();
    ASSERT_EQ(key_examine(), 1);
    pushed.push_back(key_pushed(kA));
    released.push_back(key_released(kA));
  }
  EXPECT_EQ(pushed, (std::vector<int>{1, 1, 1, 0, 0}));
  EXPECT_EQ(released, (std::vector<int>{0, 0, 0, 1, 0}));
}

TEST(Keyboard, AnyKeyAndScanCode255) {
  ScriptedKeyboard keys;
  keys.hold({kA, 255});
  key_examine();
  EXPECT_EQ(key_pushed(-1), 1);
  EXPECT_EQ(key_pushed(255), 0);  // never sampled
  EXPECT_EQ(key_pushed(256), 0);
  keys.hold({255});
  key_examine();
  EXPECT_EQ(key_pushed(-1), 0);
  EXPECT_EQ(key_released(-1), 1);
}

TEST(Keyboard, QueriesAnswerZeroWithoutFocusAndResumeAfter) {
  ScriptedKeyboard keys;
  keys.hold({kA});
  key_examine();
  keys.set_focus(false);
  EXPECT_EQ(key_examine(), 0);
  EXPECT_EQ(key_pushed(kA), 0);
  EXPECT_EQ(key_pushed(-1), 0);
  EXPECT_EQ(key_typed_char(), u"");
  keys.set_focus(true);
  EXPECT_EQ(key_examine(), 1);  // re-acquired: states start afresh
  EXPECT_EQ(key_pushed(kA), 1);
}

TEST(Keyboard, TypedCharacterOfTheLowestReleasedKey) {
  ScriptedKeyboard keys;
  keys.set_typed(u"x");
  keys.hold({kA, kB});
  key_examine();
  EXPECT_EQ(key_typed_char(), u"");  // nothing released yet
  keys.release_all();
  key_examine();
  EXPECT_EQ(key_typed_char(), u"x");  // one character for the lower code only

  keys.hold({kKeypad7});
  key_examine();
  keys.release_all();
  key_examine();
  EXPECT_EQ(key_typed_char(), u"7");  // keypad digits are fixed

  keys.set_typed(u"");
  keys.hold({kShift});
  key_examine();
  keys.release_all();
  key_examine();
  EXPECT_EQ(key_typed_char(), u"");  // Shift alone types nothing
}

TEST(Clock, CountsMillisecondsFromItsFirstUseAndDelayAdvancesIt) {
  FakeClock clock;
  EXPECT_EQ(clock_ms(), 0u);
  delay_ms(16);
  EXPECT_EQ(clock_ms(), 16u);
  clock.advance_ms(1);
  EXPECT_EQ(clock_ms(), 17u);
}

}  // namespace
