#include "effects/frame_pacing.h"

#include <cmath>
#include <cstring>
#include <new>

#include "runtime/input/input.h"
#include "runtime/window/window.h"

namespace {

// Timer clock: a reading of 0 is taken as 1 so that a stored time is never 0.
int32_t timer_clock() {
  const uint32_t now = clock_ms();
  return int32_t(now == 0 ? 1 : now);
}

constexpr FrameTimerOperations kOperations = {frame_timer_set_rate, frame_timer_get_rate,
                                              frame_timer_get_count, frame_timer_wait};

struct FpsCounter {
  int32_t now = 0, window_start = 0, frames_in_window = 0, frames_per_second = 0;
};
FpsCounter fps;

uint8_t key_latches[256];

}  // namespace

FrameTimer* frame_timer_new() {
  auto* timer = new (std::nothrow) FrameTimer{};
  if (!timer) return nullptr;
  timer->operations = &kOperations;
  timer->self = timer;
  timer->count = 0;
  timer->rate = 30;
  timer->period = 1000.0f / 30;
  timer->start = timer->last = timer_clock();
  return timer;
}

void frame_timer_free(FrameTimer* timer) {
  delete timer;
}

int frame_timer_set_rate(FrameTimer* timer, int rate) {
  if (!timer || rate < 1 || rate > 200) return -1;
  timer->count = 0;
  timer->rate = rate;
  timer->period = 1000.0f / float(rate);
  return 0;
}

int frame_timer_get_rate(FrameTimer* timer) {
  return timer ? timer->rate : -1;
}
int frame_timer_get_count(FrameTimer* timer) {
  return timer ? timer->count : -1;
}

int frame_timer_wait(FrameTimer* timer) {
  if (!timer) return 0;
  timer->count += 1;
  const int32_t now = timer_clock();
  const int32_t elapsed = now - timer->last;
  timer->last = now;
  // Due time of this frame on the absolute schedule, rounded to the nearest ms (ties to even).
  const int64_t target = std::llrint(double(timer->count) * double(timer->period) + double(timer->start));
  if (now <= target) {
    delay_ms(int(target - now));
  } else {
    timer->count = 0;
    timer->start = timer_clock();
  }
  return elapsed;
}

int fps_counter() {
  fps.now = int32_t(clock_ms());
  if (fps.now - fps.window_start > 1000) {
    fps.frames_per_second = fps.frames_in_window;
    fps.frames_in_window = 0;
    fps.window_start = fps.now;
  } else {
    fps.frames_in_window += 1;
  }
  return fps.frames_per_second;
}

void fps_counter_reset() {
  fps = {};
}

uint32_t window_drag_callback(platform::WindowId window, uint32_t message, uint64_t, int64_t) {
  if (message == platform::kMsgLeftButtonDown)
    window_send_message(window, platform::kMsgNcLeftButtonDown, platform::kHitTestCaption, 0);
  return kWindowContinue;
}

int key_hit_once(int scan_code) {
  if (scan_code < 0 || scan_code > 255) return 0;
  if (key_pushed(scan_code)) {
    if (key_latches[scan_code]) return 0;
    key_latches[scan_code] = 1;
    return 1;
  }
  key_latches[scan_code] = 0;
  return 0;
}

void key_hit_once_reset() {
  std::memset(key_latches, 0, sizeof key_latches);
}
