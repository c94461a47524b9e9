#include "effects/frame_pacing.h"

#include <gtest/gtest.h>

#include "helpers/fakes.h"

namespace {

// Frames due at start + round(n * 16.666666): the gaps between due times run 17, 16, 17 ...
TEST(FrameTimer, SixtyFramesPerSecondFollowsAnAbsoluteSchedule) {
  FakeClock clock;
  clock.set_ms(1000);
  FrameTimer* timer = frame_timer_new();
  ASSERT_NE(timer, nullptr);
  ASSERT_EQ(timer->operations->set_rate(timer, 60), 0);
  std::vector<uint32_t> due;
  for (int n = 0; n < 7; ++n) {
    frame_timer_wait(timer);
    due.push_back(clock_ms());
  }
  EXPECT_EQ(due, (std::vector<uint32_t>{1017, 1033, 1050, 1067, 1083, 1100, 1117}));
  frame_timer_free(timer);
}

// Each wait reports the time between the starts of two waits: frame work plus the sleep.
TEST(FrameTimer, WaitReturnsTheTimeSinceThePreviousWait) {
  FakeClock clock;
  clock.set_ms(1000);
  FrameTimer* timer = frame_timer_new();
  frame_timer_set_rate(timer, 60);
  std::vector<int> delays;
  for (int n = 0; n < 6; ++n) {
    clock.advance_ms(5);  // the frame's own work
    delays.push_back(frame_timer_wait(timer));
  }
  EXPECT_EQ(delays, (std::vector<int>{5, 17, 16, 17, 17, 16}));
  frame_timer_free(timer);
}

TEST(FrameTimer, ALateFrameRestartsTheScheduleWithoutSleeping) {
  FakeClock clock;
  clock.set_ms(1000);
  FrameTimer* timer = frame_timer_new();
  frame_timer_set_rate(timer, 60);
  frame_timer_wait(timer);  // due at 1017
  clock.advance_ms(40);     // the next frame overruns its slot (due 1033, now 1057)
  const size_t sleeps_before = clock.sleeps_ms().size();
  frame_timer_wait(timer);
  EXPECT_EQ(clock.sleeps_ms().size(), sleeps_before);
  EXPECT_EQ(frame_timer_get_count(timer), 0);
  EXPECT_EQ(timer->start, 1057);
  frame_timer_wait(timer);  // due at 1057 + 17
  EXPECT_EQ(clock_ms(), 1074u);
  frame_timer_free(timer);
}

TEST(FrameTimer, RateOutsideOneToTwoHundredIsRefused) {
  FakeClock clock;
  FrameTimer* timer = frame_timer_new();
  EXPECT_EQ(frame_timer_get_rate(timer), 30);
  struct Case {
    int rate;
    int result;
    int rate_after;
  };
  for (const Case& c : {Case{0, -1, 30}, Case{201, -1, 30}, Case{1, 0, 1}, Case{200, 0, 200}}) {
    EXPECT_EQ(frame_timer_set_rate(timer, c.rate), c.result) << c.rate;
    EXPECT_EQ(frame_timer_get_rate(timer), c.rate_after) << c.rate;
  }
  EXPECT_FLOAT_EQ(timer->period, 5.0f);
  frame_timer_free(timer);
  EXPECT_EQ(frame_timer_get_rate(nullptr), -1);
  EXPECT_EQ(frame_timer_get_count(nullptr), -1);
  EXPECT_EQ(frame_timer_wait(nullptr), 0);
}

TEST(FrameTimer, NewTimerNeverStoresTimeZero) {
  FakeClock clock;  // the clock reads 0
  FrameTimer* timer = frame_timer_new();
  EXPECT_EQ(timer->start, 1);
  EXPECT_EQ(timer->last, 1);
  EXPECT_EQ(timer->self, timer);
  frame_timer_free(timer);
}

TEST(FpsCounter, CountsFramesOfTheLastFullSecond) {
  FakeClock clock;
  fps_counter_reset();
  clock.set_ms(1500);
  EXPECT_EQ(fps_counter(), 0);  // opens the first window
  for (int n = 0; n < 60; ++n) {
    clock.advance_ms(16);
    fps_counter();
  }
  clock.set_ms(2600);
  EXPECT_EQ(fps_counter(), 60);
}

TEST(KeyHitOnce, ReportsEachPressOnce) {
  ScriptedKeyboard keys;
  key_hit_once_reset();
  const int space = 0x39;
  std::vector<int> seen;
  for (bool down : {true, true, true, false, true, false}) {
    if (down)
      keys.hold({space});
    else
      keys.release_all();
    key_examine();
    seen.push_back(key_hit_once(space));
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 0, 0, 0, 1, 0}));
}

}  // namespace
