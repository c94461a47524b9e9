// show/show.h — the intro's start-up, frame loop and shutdown.
//
// run() is the whole program. The frame loop's calls into the window, the keyboard's
// neighbours and the music go through ShowHooks so that a test can step frames with scripted
// events and a fake music position (the clock and keyboard have their own seams in the
// runtime, see runtime/input/input.h).
#pragma once

#include <cstdint>

#include "effects/look.h"
#include "runtime/platform/platform.h"
#include "show/state.h"

namespace show {

inline constexpr char16_t kWindowTitle[] = u"quorvane introduction demo 2024";
inline constexpr uint32_t kVeilColour = 0x150B01;     // R 1, G 11, B 21
inline constexpr uint32_t kWindowFlags = 0x90000001;  // popup, created hidden, centred
using look::kFramesPerSecond;
using look::kScreenHeight;
using look::kScreenWidth;

struct ShowHooks {
  int (*window_event)();
  uint32_t (*send_message)(platform::WindowId window, uint32_t message, uint64_t wparam, int64_t lparam);
  void (*set_window_pos)(platform::WindowId window, int x, int y, int width, int height);
  int (*music_position)();
  int (*music_row)();
  int (*music_note)(int channel);
  void (*frame_drawn)();  // may be null: called when a frame is drawn, before the flip
};
ShowHooks default_hooks();

// Opens the window and screen and prepares everything before the first frame. False when the
// window or screen cannot be opened (the error box has then been shown).
struct StartupOptions {
  bool play_music = true;   // load the module and start it on the audio output
  bool show_window = true;  // make the window visible (a capture may keep it hidden)
};
bool startup(ShowState& show, const StartupOptions& options = {});
// One pass of the frame loop. False when the closing fade has run its time: the loop ends
// without flipping.
bool frame(ShowState& show, const ShowHooks& hooks);
void shutdown(ShowState& show);

int run();  // 0 after the closing fade, 1 when the window or screen could not be opened

}  // namespace show
