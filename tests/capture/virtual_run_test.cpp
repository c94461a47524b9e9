// The virtual run in this process: the hidden window's back buffer reads back what was drawn
// (under Xvfb as with SDL's offscreen driver), the clock steps exactly one frame per pass, and
// the scripted user reaches the show.
#include "capture/virtual_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "capture/capture_files.h"
#include "runtime/input/input.h"
#include "runtime/screen/screen.h"

namespace {

class Recorder : public capture::VirtualRunObserver {
 public:
  void frame_drawn(const capture::VirtualFrame& frame) override {
    // Paint over the show's frame with a colour of this frame's own, then read it back.
    const uint32_t colour = uint32_t(frame.number * 40 + 10) | 0x80 << 8 | 0x20 << 16;
    screen_clear(colour);
    std::vector<uint8_t> rgb;
    capture::capture_read_back(rgb);
    read_back_ok += rgb.size() == 800u * 640u * 3u && rgb[0] == (colour & 0xFF) && rgb[1] == 0x80 &&
                    rgb[2] == 0x20 && rgb[rgb.size() - 3] == (colour & 0xFF);
    clocks.push_back(frame.clock_ms);
    clock_inside.push_back(clock_ms());
  }
  void sound(const int16_t*, int frames) override { sound_frames += frames; }
  int read_back_ok = 0;
  int sound_frames = 0;
  std::vector<uint32_t> clocks, clock_inside;
};

TEST(VirtualRun, ReadsBackTheHiddenWindowAndStepsTheClockByFrames) {
  if (!capture::virtual_video_start()) {
    if (std::getenv("CI")) FAIL() << "no video driver under CI";
    GTEST_SKIP() << "no video driver";
  }
  Recorder recorder;
  capture::VirtualRunOptions options;
  options.max_frames = 5;
  const capture::VirtualRunResult result = capture::virtual_run(options, recorder);
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.frames, 5);
  EXPECT_EQ(recorder.read_back_ok, 5);
  EXPECT_EQ(recorder.clocks, (std::vector<uint32_t>{0, 16, 33, 50, 66}));
  EXPECT_EQ(recorder.clock_inside, recorder.clocks);
  EXPECT_EQ(recorder.sound_frames, 5 * 735);
}

TEST(VirtualRun, ScriptedEscapeEndsTheShowAfterItsClosingFade) {
  if (!capture::virtual_video_start()) {
    if (std::getenv("CI")) FAIL() << "no video driver under CI";
    GTEST_SKIP() << "no video driver";
  }
  capture::InputScript script;
  capture::ScriptError error;
  ASSERT_TRUE(capture::input_script_parse("0.5 key Escape\n0.6 key Escape\n", script, error));
  Recorder recorder;
  capture::VirtualRunOptions options;
  options.max_frames = 1000;
  options.script = &script;
  const capture::VirtualRunResult result = capture::virtual_run(options, recorder);
  EXPECT_TRUE(result.show_ended);
  EXPECT_EQ(result.frames, 30 + 180);  // seen in frame 30 (500 ms); the second press changes nothing
  EXPECT_EQ(recorder.sound_frames, 210 * 735);
}

}  // namespace
