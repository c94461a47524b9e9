// effects/frame_pacing.h — the frame timer, the fps counter, the drag callback and the
// one-shot key test.
//
// The frame timer keeps an absolute schedule: frame n after a restart is due at
// start + n * period ms (rounded), so rounding never accumulates, and a frame that ends after
// its due time restarts the schedule from the present instead of catching up.
#pragma once

#include <cstdint>

#include "runtime/platform/platform.h"

struct FrameTimer;
struct FrameTimerOperations {
  int (*set_rate)(FrameTimer* timer, int rate);
  int (*get_rate)(FrameTimer* timer);
  int (*get_count)(FrameTimer* timer);
  int (*wait)(FrameTimer* timer);
};
struct FrameTimer {
  const FrameTimerOperations* operations;
  FrameTimer* self;
  int32_t count;  // frames since the schedule last restarted
  float period;   // ms per frame = 1000 / rate
  int32_t start;  // clock (ms) when the schedule last restarted
  int32_t last;   // clock (ms) of the previous wait
  int32_t rate;   // frames per second, 1..200
};

FrameTimer* frame_timer_new();  // rate 30; null when memory runs out
void frame_timer_free(FrameTimer* timer);
int frame_timer_set_rate(FrameTimer* timer, int rate);  // 0, or -1 outside 1..200 (unchanged)
int frame_timer_get_rate(FrameTimer* timer);            // -1 for null
int frame_timer_get_count(FrameTimer* timer);           // -1 for null
int frame_timer_wait(FrameTimer* timer);                // ms since the previous wait; 0 for null

// Frames per second over the last full second; call once per drawn frame.
int fps_counter();
void fps_counter_reset();

// Window callback that turns a left-button press anywhere into a caption drag.
uint32_t window_drag_callback(platform::WindowId window, uint32_t message, uint64_t wparam, int64_t lparam);

// 1 on the first call while the key is down, then 0 until it has been seen up again.
int key_hit_once(int scan_code);
void key_hit_once_reset();
