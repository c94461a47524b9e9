// module/playback.h — plays the current module through a looping device buffer and tells
// where the music audibly is.
//
// The device plays one ring of 44000 frames (1000 chunks of 44) in an endless loop. After a
// pre-fill of the whole ring, a streaming thread watches the device's play position and
// re-renders every chunk up to the one under the play cursor, then sleeps 5 ms: each chunk is
// heard one loop (0.998 s) after it was rendered. The ring's history keeps the (order, row)
// reached by every chunk, and the queries read the entry of the chunk under the cursor, which
// was written one loop earlier: they describe what is audible, not what is being rendered.
//
// Only atomics cross between the caller and the streaming thread; the thread never allocates,
// locks or logs. Failure is a false or 0 result.
#pragma once

#include <cstdint>

// The looping output the player streams into. The platform layer provides the real one; tests
// use a double whose position they move by hand.
struct music_device {
  // Starts playing `bytes` of 16-bit stereo 44100 Hz PCM from `buffer` in an endless loop.
  bool (*open)(const void* buffer, uint32_t bytes);
  uint64_t (*position)();  // bytes played since open, growing across loop passes
  void (*close)();
  void (*raise_thread_priority)();  // called once on the streaming thread; may be null
};
// The device music_play opens; null (the default) makes music_play fail.
void music_set_device(const music_device* device);

bool music_play();     // false without a current module or when the device cannot be opened
bool music_stop();     // false without a current module; otherwise stops (if playing) and true
int music_position();  // audible order position 0..255; 0 when nothing plays
int music_row();       // audible row 0..255; 0 when nothing plays
// The cell of `channel` in the audible row of the pattern at the audible order position:
// instrument * 256 + note. 0 without a module, for a channel beyond the channel count, or
// when nothing plays.
int music_note(int channel);
// Chunk now under the play cursor (0..999), for diagnostics; -1 when nothing plays.
int music_audible_index();
// Waits until no chunk is being rendered (the module is about to be freed).
void music_wait_render_idle();
