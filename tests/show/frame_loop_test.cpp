// The frame's advance stepped frame by frame with a fake clock, a scripted keyboard, scripted
// window events and a fake music position: the show's timing without a window, screen or
// OpenGL.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <vector>

#include "helpers/fakes.h"
#include "show/show.h"

namespace {

struct Script {
  std::deque<int> events;
  std::vector<uint32_t> sent;
  std::vector<show::Rect> positions;
  int position = 0, row = 0, note = 0;
};

class FrameLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.geometry = show::window_geometry(1920, 1080);
    state_.frame_timer = frame_timer_new();
    frame_timer_set_rate(state_.frame_timer, 60);
    key_hit_once_reset();
  }
  void TearDown() override { frame_timer_free(state_.frame_timer); }
  // One frame's advance with the scripted input; what it asks of the window is recorded.
  bool step() {
    show::FrameInput input;
    input.clock_ms = clock_ms();
    if (!script_.events.empty()) {
      input.window_event = uint32_t(script_.events.front());
      script_.events.pop_front();
    }
    input.position = script_.position;
    input.row = script_.row;
    input.channel0_note = script_.note;
    show::FrameRequests requests;
    if (!show::advance(state_, input, requests)) return false;
    if (requests.window_message != 0) script_.sent.push_back(requests.window_message);
    if (requests.move_window) script_.positions.push_back(requests.window);
    state_.delay = frame_timer_wait(state_.frame_timer);
    return true;
  }

  FakeClock clock_;
  ScriptedKeyboard keys_;
  Script script_;
  show::ShowState state_;
};

TEST(WindowGeometry, FromTheDisplaySize) {
  struct Case {
    int width, height;
    show::Rect windowed, enlarged;
  };
  for (const Case& c : {Case{1920, 1080, {560, 220, 800, 640}, {192, 0, 1536, 1080}},
                        Case{640, 480, {-80, -80, 800, 640}, {64, 0, 512, 480}},
                        Case{1366, 768, {283, 64, 800, 640}, {136, 0, 1093, 768}}}) {
    const show::WindowGeometry g = show::window_geometry(c.width, c.height);
    EXPECT_EQ(g.windowed.x, c.windowed.x) << c.width;
    EXPECT_EQ(g.windowed.y, c.windowed.y) << c.width;
    EXPECT_EQ(g.enlarged.x, c.enlarged.x) << c.width;
    EXPECT_EQ(g.enlarged.width, c.enlarged.width) << c.width;
    EXPECT_EQ(g.enlarged.height, c.enlarged.height) << c.width;
  }
}

TEST_F(FrameLoop, SpaceSwitchesBetweenTheTwoRectanglesOncePerPress) {
  keys_.hold({0x39});
  step();
  step();  // held: no second switch
  keys_.release_all();
  step();
  keys_.hold({0x39});
  step();
  ASSERT_EQ(script_.positions.size(), 2u);
  EXPECT_EQ(script_.positions[0].x, 192);
  EXPECT_EQ(script_.positions[0].width, 1536);
  EXPECT_EQ(script_.positions[1].x, 560);
  EXPECT_EQ(script_.positions[1].width, 800);
  EXPECT_EQ(state_.enlarged, 0);
}

TEST_F(FrameLoop, EscapeEndsTheLoopThreeSecondsAfterTheFirstPress) {
  clock_.set_ms(5000);
  keys_.hold({0x01});
  ASSERT_TRUE(step());
  EXPECT_EQ(state_.closing, 1);
  EXPECT_FLOAT_EQ(state_.closing_end, 8000.0f);
  EXPECT_FLOAT_EQ(state_.closing_step, 8.5f);
  keys_.release_all();
  step();
  keys_.hold({0x01});  // a second press during the fade changes nothing
  int frames = 2;
  while (step()) ++frames;
  EXPECT_EQ(state_.closing_end, 8000.0f);
  EXPECT_GE(clock_ms(), 8000u);
  EXPECT_LT(clock_ms(), 8000u + 17u);
  EXPECT_NEAR(frames, 180, 2);
  EXPECT_GE(state_.closing_level, 255.0f);
}

TEST_F(FrameLoop, F1TogglesTheDebugFlag) {
  keys_.hold({0x3B});
  step();
  EXPECT_EQ(state_.debug_on, 1);
  keys_.release_all();
  step();
  keys_.hold({0x3B});
  step();
  EXPECT_EQ(state_.debug_on, 0);
}

TEST_F(FrameLoop, OneWindowEventPerFrame) {
  script_.events = {0x0201, 0x0200, 0x0202};
  step();
  EXPECT_EQ(script_.sent, (std::vector<uint32_t>{0x00A1}));
  step();  // the move
  EXPECT_EQ(script_.sent.size(), 1u);
  step();
  EXPECT_EQ(script_.sent, (std::vector<uint32_t>{0x00A1, 0x00A2}));
}

TEST_F(FrameLoop, TicksCountBeatRowsOnce) {
  std::vector<int> rows = {0, 0, 1, 7, 8, 8, 8, 9, 17, 24};
  std::vector<int> ticks;
  for (int row : rows) {
    script_.row = row;
    step();
    ticks.push_back(state_.tick_count);
  }
  // Row 0 counts on the very first frame; row 16 fell between two frames and is not seen.
  EXPECT_EQ(ticks, (std::vector<int>{1, 1, 1, 1, 2, 2, 2, 2, 2, 3}));
  EXPECT_EQ(state_.tick_text, u"tick");
  EXPECT_EQ(state_.beat_phase, 0);
  EXPECT_EQ(state_.flash_phase, 8);
}

TEST(Waves, AnglesStepWrapAndScale) {
  show::Waves w;
  std::vector<int> siny_angles;
  for (int n = 0; n < 181; ++n) {
    show::advance_waves(w);
    siny_angles.push_back(w.b);
  }
  EXPECT_EQ(siny_angles[0], 2);
  EXPECT_EQ(siny_angles[179], 360);
  EXPECT_EQ(siny_angles[180], 0);  // past 360: back to 0
  show::Waves v;
  for (int n = 0; n < 30; ++n) show::advance_waves(v);
  EXPECT_EQ(v.a, 90);
  EXPECT_FLOAT_EQ(v.sinx, 12.5f);
  EXPECT_EQ(v.f, 60);
  EXPECT_FLOAT_EQ(v.swing, float(533.3333f * std::sin(60 * 3.14159265358979323846 / 180)));
  for (int n = 0; n < 16; ++n) show::advance_waves(v);
  EXPECT_EQ(v.c, 0);  // bounce wraps past 180 after 46 frames
  EXPECT_GE(v.bounce, 0.0f);
}

}  // namespace
