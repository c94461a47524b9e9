// One pass of the frame loop: events, music state, clocks and waves, keyboard, fades, flip and
// the wait for the next 1/60 s slot.
#include <cmath>

#include "effects/frame_pacing.h"
#include "module/playback.h"
#include "runtime/input/input.h"
#include "runtime/screen/screen.h"
#include "runtime/window/window.h"
#include "show/drawing.h"
#include "show/scene.h"
#include "show/show.h"

namespace show {
namespace {

constexpr int kKeyEscape = 0x01, kKeySpace = 0x39, kKeyF1 = 0x3B;
constexpr double kDegrees = 3.14159265358979323846 / 180.0;

// One wave value: the angle steps, wraps to 0 past its limit, then value = amplitude * sin.
void wave(int32_t& angle, int step, int limit, double amplitude, float& value) {
  angle += step;
  if (angle > limit) angle = 0;
  value = float(amplitude * std::sin(angle * kDegrees));
}

void music_state(ShowState& show, const FrameInput& input) {
  show.position = input.position;
  show.row = input.row;
  show.beat_phase = show.row % 8;
  show.flash_phase = show.row % 16;
  show.channel0_note = input.channel0_note;
  // A beat row lasting several frames counts once; the latch re-arms on the next off-beat row.
  if (show.beat_phase == 0 && show.tick_latch == 1) {
    show.tick_count += 1;
    show.tick_latch = 0;
    show.tick_text = u"tick";
  }
  if (show.beat_phase > 0 && show.tick_latch == 0) {
    show.tick_latch = 1;
    show.tick_text.clear();
  }
}

void keyboard(ShowState& show, const FrameInput& input, FrameRequests& requests) {
  key_examine();
  if (key_hit_once(kKeySpace)) {
    show.enlarged = 1 - show.enlarged;
    requests.move_window = true;
    requests.window = show.enlarged ? show.geometry.enlarged : show.geometry.windowed;
  }
  if (key_released(-1)) typed_key(show, key_typed_char());
  if (show.closing == 0 && key_hit_once(kKeyEscape)) {
    show.closing = 1;
    show.closing_duration = 3000.0f;
    show.closing_end = float(input.clock_ms) + 3000.0f;
    show.closing_step = 255.0f / show.closing_duration * 100.0f;
  }
  if (key_hit_once(kKeyF1)) show.debug_on = 1 - show.debug_on;
}

}  // namespace

void advance_waves(Waves& w) {
  // siny's step is 1.5 rounded to nearest with ties to even: always 2 from an even angle.
  const int siny_step = int(std::nearbyint(1.5));
  wave(w.a, 3, 360, 12.5, w.sinx);
  wave(w.b, siny_step, 360, 6.25, w.siny);
  wave(w.c, 4, 180, 6.25, w.bounce);
  wave(w.d, 4, 360, 6.25, w.sway);
  wave(w.e, 8, 360, 3.125, w.shiver);
  wave(w.f, 2, 360, double(533.3333f), w.swing);
}

bool advance(ShowState& show, const FrameInput& input, FrameRequests& requests) {
  requests = {};
  if (input.window_event == platform::kMsgLeftButtonDown)
    requests.window_message = platform::kMsgNcLeftButtonDown;
  if (input.window_event == platform::kMsgLeftButtonUp)
    requests.window_message = platform::kMsgNcLeftButtonUp;
  advance_mouse_hint(show, input.window_event == platform::kMsgMouseMove);

  music_state(show, input);
  advance_flash_words(show);
  show.seconds_mod_20 = int32_t(input.clock_ms / 1000 % 20);
  show.seconds_mod_30 = int32_t(input.clock_ms / 1000 % 30);
  show.seconds_mod_50 = int32_t(input.clock_ms / 1000 % 50);
  advance_waves(show.waves);
  advance_scene(show);

  keyboard(show, input, requests);
  advance_pulse(show);

  advance_opening_fade(show);
  show.card_intensity = -1;
  if (show.closing == 1) {
    const float now = float(input.clock_ms);
    if (now <= show.closing_end) {
      show.card_intensity = round_int(show.closing_level);  // drawn, then raised
      if (show.closing_level < 255.0f) show.closing_level += show.closing_step;
    }
    if (now >= show.closing_end) return false;  // leave without drawing
  }
  // The panel's rate counts only the frames that draw the panel.
  if (show.debug_on == 1 && show.closing == 0) show.measured_rate = fps_counter();
  return true;
}

void paint(const ShowState& show) {
  screen_clear(0);
  paint_mouse_hint(show);
  paint_flash_word(show);
  paint_scene(show);
  paint_key_word_messages(show);
  paint_opening_fade(show);
  paint_closing_card(show);
  if (show.debug_on == 1 && show.closing == 0) paint_debug_overlay(show);
}

bool frame(ShowState& show) {
  FrameInput input;
  input.window_event = uint32_t(window_event());
  input.clock_ms = uint32_t(clock_ms());
  input.position = music_position();
  input.row = music_row();
  input.channel0_note = music_note(0);
  FrameRequests requests;
  if (!advance(show, input, requests)) return false;
  if (requests.window_message != 0)
    window_send_message(window_handle(0), requests.window_message, platform::kHitTestCaption, 0);
  if (requests.move_window)
    window_set_pos(window_handle(0), requests.window.x, requests.window.y, requests.window.width,
                   requests.window.height);
  paint(show);
  screen_flip();
  show.delay = frame_timer_wait(show.frame_timer);
  return true;
}

}  // namespace show
