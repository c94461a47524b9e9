// tests/show/show_fixture.h — the show started hidden and silent on an OpenGL screen, stepped
// frame by frame with a fake clock, a scripted keyboard, scripted window events and a scripted
// music position; every sprite display is recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "assets/texts.h"
#include "effects/objects.h"
#include "helpers/fakes.h"
#include "helpers/screen_readback.h"
#include "runtime/platform/platform.h"
#include "runtime/random/random.h"
#include "runtime/screen/screen.h"
#include "runtime/sprite/sprite.h"
#include "show/show.h"

// What the scripted frame input holds and what the frames asked of the window.
struct ShowScript {
  std::deque<int> events;
  std::vector<uint32_t> sent;
  int position = 0, row = 0, note = 0;
};
inline std::vector<SpriteDisplayCall>* g_display_calls = nullptr;  // for the display recorder

// A run of font glyphs drawn side by side in one call of bitmap_font_text.
struct DrawnText {
  int x, y, intensity;
  int32_t colour;
  std::u16string text;
};

class ShowTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 800, kHeight = 640;

  void SetUp() override {
    if (!platform::video_start(/*allow_offscreen=*/true)) {
      if (std::getenv("CI")) FAIL() << "no video driver under CI";
      GTEST_SKIP() << "no video driver";
    }
    g_display_calls = &calls_;
    random_seed(1);
    ASSERT_TRUE(show::startup(state_, {/*play_music=*/false, /*show_window=*/false}));
    sprite_set_display_recorder([](const SpriteDisplayCall& call) { g_display_calls->push_back(call); });
  }
  void TearDown() override {
    sprite_set_display_recorder(nullptr);
    if (platform::video_driver()) show::shutdown(state_);
    g_display_calls = nullptr;
  }

  // One frame with the music at (position, row) and channel 0 holding `note`; the calls it
  // displayed are kept until the next step. `pixels`, when given, gets the frame as drawn,
  // before the flip.
  bool step(int position, int row, int note = 0, std::vector<uint32_t>* pixels = nullptr) {
    script_.position = position;
    script_.row = row;
    script_.note = note;
    calls_.clear();
    show::FrameInput input;
    input.clock_ms = clock_ms();
    if (!script_.events.empty()) {
      input.window_event = uint32_t(script_.events.front());
      script_.events.pop_front();
    }
    input.position = position;
    input.row = row;
    input.channel0_note = note;
    show::FrameRequests requests;
    if (!show::advance(state_, input, requests)) return false;
    if (requests.window_message != 0) script_.sent.push_back(requests.window_message);
    show::paint(state_);
    if (pixels) *pixels = read_screen();
    screen_flip();
    state_.delay = frame_timer_wait(state_.frame_timer);
    return true;
  }

  // Like step(), and returns the frame as drawn, before the flip.
  std::vector<uint32_t> step_and_read(int position, int row, int note = 0) {
    std::vector<uint32_t> pixels;
    step(position, row, note, &pixels);
    return pixels;
  }

  std::vector<SpriteDisplayCall> displays_of(int sprite) const {
    std::vector<SpriteDisplayCall> out;
    for (const SpriteDisplayCall& c : calls_)
      if (c.number == sprite) out.push_back(c);
    return out;
  }

  // The texts of this frame: consecutive glyphs of the font sprite on one row, 8 pixels apart,
  // in one colour and intensity.
  std::vector<DrawnText> texts_drawn() const {
    std::vector<DrawnText> out;
    for (const SpriteDisplayCall& c : calls_) {
      if (c.number != objects::kFontSprite) continue;
      const char16_t ch = c.clip_x / 8 < 94 ? show_glyph(c.clip_x / 8) : u'?';
      if (!out.empty()) {
        DrawnText& last = out.back();
        if (last.y == c.y && last.colour == c.colour && last.intensity == c.intensity &&
            c.x == last.x + 8 * int(last.text.size())) {
          last.text += ch;
          continue;
        }
      }
      out.push_back({c.x, c.y, c.intensity, c.colour, std::u16string(1, ch)});
    }
    return out;
  }
  static char16_t show_glyph(int cell) { return texts::kGlyphOrder[size_t(cell)]; }

  // The back buffer, top-down, as r + 256 g + 65536 b per logical pixel.
  static std::vector<uint32_t> read_screen() { return read_back_screen(kWidth, kHeight); }

  FakeClock clock_;
  ScriptedKeyboard keys_;
  ShowScript script_;
  std::vector<SpriteDisplayCall> calls_;
  show::ShowState state_;
};
