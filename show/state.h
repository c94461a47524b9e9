// show/state.h — every value of the show, in one record that lives for the whole run.
#pragma once

#include <cstdint>
#include <string>

#include "effects/frame_pacing.h"

namespace show {

// Window geometry from the display size: the windowed rectangle is 800 x 640 centred; the
// enlarged one keeps the full display height and 80 % of its width.
struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};
struct WindowGeometry {
  Rect windowed;
  Rect enlarged;
};
WindowGeometry window_geometry(int display_width, int display_height);

// The wave values: an integer angle in degrees, advanced once per frame and reset to 0 when it
// exceeds its limit; value = amplitude * sin(angle).
struct Waves {
  int32_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;  // angles of sinx, siny, bounce, sway, shiver, swing
  float sinx = 0, siny = 0, bounce = 0, sway = 0, shiver = 0, swing = 0;
};
void advance_waves(Waves& waves);

struct ShowState {
  WindowGeometry geometry;
  FrameTimer* frame_timer = nullptr;

  // Music of this frame.
  int32_t position = 0;
  int32_t row = 0;
  int32_t beat_phase = 0;   // row mod 8
  int32_t flash_phase = 0;  // row mod 16
  int32_t channel0_note = 0;
  int32_t tick_count = 0;
  int32_t tick_latch = 1;
  std::u16string tick_text;

  int32_t seconds_mod_20 = 0, seconds_mod_30 = 0, seconds_mod_50 = 0;
  Waves waves;

  int32_t enlarged = 0;
  int32_t debug_on = 0;
  int32_t closing = 0;
  float closing_duration = 0;
  float closing_end = 0;
  float closing_step = 0;
  float closing_level = 0;
  float opening_level = 255.0f;
  int32_t delay = 0;  // ms between the last two frames
};

}  // namespace show
