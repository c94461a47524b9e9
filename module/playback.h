// module/playback.h — the current module's lifecycle (load as current, play, stop, free) and
// where the music audibly is.
//
// The device plays one ring of 44000 frames (1000 chunks of 44) in an endless loop. After a
// pre-fill of the whole ring, a streaming thread watches the device's play position and
// re-renders every chunk up to the one under the play cursor, then sleeps 5 ms: each chunk is
// heard one loop (0.998 s) after it was rendered. The ring's history keeps the (order, row)
// reached by every chunk. Before the thread renders over a chunk it publishes the entry of the
// chunk after it — at or behind the cursor, recorded one loop earlier — as the audible one, so
// the queries describe what is heard, never what is being rendered for the next loop.
//
// Only atomics cross between the caller and the streaming thread; the thread never allocates,
// locks or logs. Play, stop, free and the queries belong to one caller thread. Failure is a
// false or 0 result.
//
// Use:
//   music_set_device(platform_music_device());  // module/platform_device.h
//   music_load_memory(image, bytes);             // 1 = loaded and current, 0 = rejected
//   music_play();
//   ... music_position(), music_row(), music_note(0) once per frame ...
//   music_stop(); music_free();
#pragma once

#include <cstdint>
#include <string>

struct music_module;

// The looping output the player streams into. The platform layer provides the real one; tests
// use a double whose position they move by hand.
struct music_device {
  // Starts playing `bytes` of 16-bit stereo 44100 Hz PCM from `buffer` in an endless loop.
  bool (*open)(const void* buffer, uint32_t bytes);
  uint64_t (*position)();  // bytes played since open, growing across loop passes
  void (*close)();
  void (*raise_thread_priority)();  // called once on the streaming thread; may be null
  double (*delay_ms)();             // the device buffering counted in `position`; may be null
};
// The device music_play opens; null (the default) makes music_play fail.
void music_set_device(const music_device* device);

// Loads the image and makes it the current module; a module that was current before is stopped
// and freed, but only once the new one has loaded. Returns 1 on success, 0 when the image is
// rejected (nothing of it is kept and the current module stays).
int music_load_memory(const void* address, int32_t length);
// Stops playback and frees the current module; false when there is none.
bool music_free();
music_module* music_current();

bool music_play();     // false without a current module or when the device cannot be opened
// Does the slow part of music_play ahead of it: starts the current module from its beginning
// and renders the ring's first loop (about a second of sound, some 100 ms of work), which the
// next music_play then opens the device with instead of rendering it. A program may call it on
// a worker thread while it does other things, as long as no other thread touches the player
// until that thread is joined. Stops any playback first; false without a current module or
// when memory runs out.
bool music_render_ahead();
bool music_stop();     // false without a current module; otherwise stops (if playing) and true
int music_position();  // audible order position 0..255; 0 when nothing plays
int music_row();       // audible row 0..255; 0 when nothing plays
// The cell of `channel` in the audible row of the pattern at the audible order position:
// instrument * 256 + note. 0 without a module, for a channel beyond the channel count, or
// when nothing plays.
int music_note(int channel);
// Makes the three queries above answer for the moment `ms` from now instead of now: a frame
// that asks at its start is on the screen only after it has been drawn and flipped, and with
// the lead set to that time its rows reach the eye when they reach the ear. The ring already
// holds the next second of sound with its positions, so the queries read them from there.
// 0 (the default) answers for now; kMusicLeadMeasured follows the time measured by
// music_sync_frame_shown over the last 63 frames (from 0 until frames are measured). Capped at
// half a second.
constexpr double kMusicLeadMeasured = -1.0;
void music_set_lead_ms(double ms);
// Chunk now audible (0..999), for diagnostics, without the lead; -1 when nothing plays.
int music_audible_index();

// ---- Live audio-visual offset ----------------------------------------------------------
// How late the picture is against the ear. Call music_sync_frame_shown() right after each frame
// has been handed to the screen: it takes the chunk that the frame's last music_row() query
// named and notes how long ago, by the device's position (what is in the ear), that chunk began
// to sound (with a lead, the time from the chunk's arrival at the ear). A row change therefore
// reaches the screen that long after it reaches the ear, plus up to one frame for where in the
// frame's interval the row began. Negative: the screen is early.
// Both calls belong to the caller's thread; music_play starts a new record, which stays
// readable after music_stop.
void music_sync_frame_shown();
struct music_sync_figures {
  int frames = 0;  // frames measured while the music played
  double median_ms = 0, p95_ms = 0, min_ms = 0, max_ms = 0;
  double device_delay_ms = 0;  // the device buffering counted in the position
};
music_sync_figures music_sync_measured();
// One line for a report, "sync: the screen 12.1 ms after the ear (median of 600 frames, ...)",
// or "sync: not measured (no music played)".
std::string music_sync_report();

// One pass of the streaming loop on the caller's thread, in a build without threads (the web
// page, where the module library is built with QUORVANE_CALLER_STREAMS): call it at least every
// few tens of milliseconds while playing. Does nothing where the streaming thread runs.
void music_pump();
