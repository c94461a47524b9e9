// capture/virtual_run.h — runs the show on a virtual clock, with its music rendered in lockstep
// and an optional scripted user; the frames and the sound go to an observer.
//
// Virtual time: frame n is run at exactly n * 1000 / 60 ms (a 60,000 Hz counter, 1000 ticks per
// frame). `clock_ms`, the frame timer and `delay_ms` all read and move this clock; a sleep moves
// it on, but never past the next frame's time, and nothing really sleeps.
//
// Music: the show's module is rendered through `music_render_chunk` into a ring of its own, chunk
// by chunk as virtual time reaches it. At time t the audible chunk is floor(t * 44100 / 44000)
// from the song's start, and the position, row and note queries answer that chunk's history
// entry, as live playback does one ring later (module/playback.h). The sound handed to the
// observer is the rendered chunks in order, cut to 735 frames (1/60 s) per drawn frame.
//
// Input: only the script acts (keys through the keyboard seam, mouse moves as the frame's window
// event 512); the window system's own messages are taken and dropped, so a run
// does not depend on the display it runs on. The window keeps its 800 x 640 size (Space still
// toggles the show's enlarged flag). The random generator is seeded from the virtual clock.
//
// Only one run at a time; run on the main thread.
#pragma once

#include <cstdint>

#include "capture/input_script.h"
#include "show/show.h"

namespace capture {

inline constexpr int kVirtualAudioFramesPerFrame = 44100 / look::kFramesPerSecond;  // 735

struct VirtualFrame {
  int number = 0;
  uint32_t clock_ms = 0;
  int position = 0, row = 0, note = 0;  // what the show read for this frame
};

class VirtualRunObserver {
 public:
  virtual ~VirtualRunObserver() = default;
  // After the start-up, before the first frame; false stops the run before it (the observer
  // could not get ready).
  virtual bool started() { return true; }
  virtual void before_frame(int /*number*/) {}
  // After the last frame, while the window and screen are still open.
  virtual void finished() {}
  // The frame is complete in the back buffer (before the flip): read it here.
  virtual void frame_drawn(const VirtualFrame& /*frame*/) {}
  // After the flip; false from the observer stops the run (a write failed).
  virtual bool after_frame(const VirtualFrame& /*frame*/) { return true; }
  // The sound of the frame just drawn: `frames` stereo int16 frames (44.1 kHz).
  virtual void sound(const int16_t* /*pcm*/, int /*frames*/) {}
};

// No error box is shown whatever `startup` says: a run has no person at the screen to close
// it, and a start-up that fails only returns `started` false.
struct VirtualRunOptions {
  int max_frames = 600;
  const InputScript* script = nullptr;
  show::StartupOptions startup = {/*play_music=*/false, /*show_window=*/false};
};

struct VirtualRunResult {
  bool started = false;       // false: the window or screen could not be opened
  bool stopped = false;       // the observer stopped the run
  bool show_ended = false;    // the show ended by itself (Escape and the closing fade)
  int frames = 0;             // frames drawn
  double startup_ms = 0;      // wall time of the start-up, to its veil on the screen
  double first_frame_ms = 0;  // wall time from the start-up's beginning to frame 0 flipped
};

// Picks SDL's offscreen driver when no display is named, and starts the video service allowing
// it, so a run needs no display at all. False when no video driver starts.
bool virtual_video_start();

VirtualRunResult virtual_run(const VirtualRunOptions& options, VirtualRunObserver& observer);

}  // namespace capture
