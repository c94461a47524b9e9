// show/show.h — the intro's start-up, frame loop and shutdown.
//
// run() is the whole program. Each frame is an advance, which takes its time, window event and
// music position as a FrameInput, and a paint, so that a test or a capture can step frames with
// scripted events and a fake music position (the clock and keyboard have their own seams in
// the runtime, see runtime/input/input.h).
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

// What a frame takes from outside: the time, at most one window event, the music now audible.
// The live loop fills it from the window, the clock and the playing module; a capture from its
// virtual clock and script. The keyboard is read through its own seam (runtime/input/input.h).
struct FrameInput {
  uint32_t clock_ms = 0;
  uint32_t window_event = 0;  // a platform::kMsg* message, or 0
  int position = 0, row = 0;  // order position and row
  int channel0_note = 0;      // instrument * 256 + note in channel 0, 0 when empty
};

// What a frame asks of the window: a button handed to the window manager (the borderless
// window is dragged with the left button) and a new rectangle (Space).
struct FrameRequests {
  uint32_t window_message = 0;  // platform::kMsgNcLeftButtonDown or ...Up, or 0
  bool move_window = false;
  Rect window;
};

// Opens the window and screen and prepares everything before the first frame. False when the
// window or screen cannot be opened (the error box has then been shown, where asked for).
struct StartupOptions {
  bool play_music = true;   // load the module and start it on the audio output
  bool show_window = true;  // make the window visible (a capture may keep it hidden)
  // Show the error box, which waits for OK, when the window or screen cannot be opened; a run
  // with no person at the screen says why itself instead.
  bool error_box = true;
};
bool startup(ShowState& show, const StartupOptions& options = {});
// A frame is advance, then paint. `advance` makes every state change of the frame in the
// show's order (music state, flash words, clocks and waves, the scene's effects, keyboard, pulse,
// fades); false when the closing fade has run its time and the show ends without drawing it.
// `paint` clears the back buffer and draws the frame's layers in order; it changes no state.
bool advance(ShowState& show, const FrameInput& input, FrameRequests& requests);
void paint(const ShowState& show);

// The live frame: input from the window, clock and music, advance, the requests carried out,
// paint, flip and the wait for the next 1/60 s slot. False when the show has ended.
bool frame(ShowState& show);
void shutdown(ShowState& show);

int run();  // 0 after the closing fade, 1 when the window or screen could not be opened

}  // namespace show
