// show/state.h — every value of the show, in one record that lives for the whole run.
#pragma once

#include <cstdint>
#include <string>

#include "effects/disc_trail.h"
#include "effects/frame_pacing.h"
#include "effects/logo_build.h"
#include "effects/sine_scroller.h"

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

  // Scene: the late flag, the page flipper and the flash words.
  int32_t late_scene = 0;  // set in the first frame with position >= 6, never cleared
  int32_t page = 0;        // page now shown, 1..7; 0 before the flipper first runs
  int32_t page_count = 7;
  int32_t hold = 0;        // ticks the page now shown lasts
  int32_t page_end = 0;    // tick count after which the page changes
  int32_t page_armed = 0;  // 1 once page_end is set for the page now shown
  std::u16string countdown_text;
  int32_t word_placed = 0;
  int32_t word_right = 0;    // x of the flash word's right edge
  int32_t word_top = 0;      // y of its first art line
  int32_t word_spacing = 0;  // pixels between its art lines
  std::u16string word_text;  // name of the flash word shown this frame
  int32_t word_shown = -1;   // index of the flash word drawn this frame, -1 for none

  // What the frame's advance leaves for its paint: the values a layer is drawn with where the
  // frame changes them after drawing (the page and the fades are drawn, then move on).
  int32_t page_shown = -1;      // page drawn by the flipper this frame (0: none yet); -1: no flipper
  int32_t mouse_moved = 0;      // 1: this frame handled a mouse move (the mouse banner shows)
  int32_t hint_intensity = 0;   // the hint's intensity this frame
  int32_t veil_intensity = -1;  // the opening veil's intensity this frame, -1 once it has lifted
  int32_t card_intensity = -1;  // the closing card's intensity this frame, -1 when not shown
  int32_t measured_rate = 0;    // frames a second counted while the panel shows

  // Mouse hint, typed key words and the pulse that makes their messages glow.
  // Hint level in thousandths (0..64000): +0.125 per moving frame, -0.1 per frame. Kept exact,
  // because 0.1 summed in 32-bit floats drifts upwards (0.500000119 after 16 moving frames),
  // which would show the hint a frame early and let the level pass 64.
  int32_t hint_level = 0;
  std::u16string typed_word;
  int32_t pulse = 0;  // 0..132
  int32_t pulse_rising = 0;

  // The effect routines' own values.
  SineScroller scroller;
  DiscTrail trail;
  Logo logo;
};

// Position >= 5, or the late scene: the page flipper, the scroller and the beat zoom run.
inline bool main_phase(const ShowState& show) {
  return show.position >= 5 || show.late_scene == 1;
}

}  // namespace show
