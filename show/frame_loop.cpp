// One pass of the frame loop: events, music state, clocks and waves, keyboard, fades, flip and
// the wait for the next 1/60 s slot.
#include <cmath>

#include "effects/frame_pacing.h"
#include "module/playback.h"
#include "runtime/input/input.h"
#include "runtime/screen/screen.h"
#include "runtime/window/window.h"
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

void music_state(ShowState& show, const ShowHooks& hooks) {
  show.position = hooks.music_position();
  show.row = hooks.music_row();
  show.beat_phase = show.row % 8;
  show.flash_phase = show.row % 16;
  show.channel0_note = hooks.music_note(0);
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

void keyboard(ShowState& show, const ShowHooks& hooks) {
  key_examine();
  if (key_hit_once(kKeySpace)) {
    show.enlarged = 1 - show.enlarged;
    const Rect& r = show.enlarged ? show.geometry.enlarged : show.geometry.windowed;
    hooks.set_window_pos(window_handle(0), r.x, r.y, r.width, r.height);
  }
  if (key_released(-1)) typed_key(show, key_typed_char());
  if (show.closing == 0 && key_hit_once(kKeyEscape)) {
    show.closing = 1;
    show.closing_duration = 3000.0f;
    show.closing_end = float(clock_ms()) + 3000.0f;
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

ShowHooks default_hooks() {
  return {window_event, window_send_message, window_set_pos, music_position, music_row, music_note, nullptr};
}

bool frame(ShowState& show, const ShowHooks& hooks) {
  screen_clear(0);

  switch (hooks.window_event()) {
    case platform::kMsgLeftButtonDown:
      hooks.send_message(window_handle(0), platform::kMsgNcLeftButtonDown, platform::kHitTestCaption, 0);
      break;
    case platform::kMsgLeftButtonUp:
      hooks.send_message(window_handle(0), platform::kMsgNcLeftButtonUp, platform::kHitTestCaption, 0);
      break;
    case platform::kMsgMouseMove:
      mouse_step(show);
      break;
    default:
      break;  // at most one event per frame; the others wait for the next frames
  }

  mouse_hint(show);

  music_state(show, hooks);
  flash_words(show);
  show.seconds_mod_20 = int32_t(clock_ms() / 1000 % 20);
  show.seconds_mod_30 = int32_t(clock_ms() / 1000 % 30);
  show.seconds_mod_50 = int32_t(clock_ms() / 1000 % 50);
  advance_waves(show.waves);
  draw_scene(show);

  keyboard(show, hooks);
  key_word_messages(show);

  opening_fade(show);
  if (show.closing == 1) {
    if (float(clock_ms()) <= show.closing_end) {
      closing_card(show);
      if (show.closing_level < 255.0f) show.closing_level += show.closing_step;
    }
    if (float(clock_ms()) >= show.closing_end) return false;  // leave without flipping
  }
  if (show.debug_on == 1 && show.closing == 0) debug_overlay(show);

  if (hooks.frame_drawn) hooks.frame_drawn();
  screen_flip();
  show.delay = frame_timer_wait(show.frame_timer);
  return true;
}

}  // namespace show
