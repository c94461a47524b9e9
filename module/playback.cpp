#include "module/playback.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "module/music.h"

namespace {

constexpr uint32_t kBytesPerFrame = 4;  // 16-bit stereo

// The audible chunk and its history entry in one word, so that a reader takes the index, the
// order and the row from the same moment: order | row << 8 | chunk << 16.
constexpr uint32_t kNothingAudible = 0xFFFFFFFF;  // chunk 0xFFFF does not exist
uint32_t audible_word(int chunk, uint16_t entry) {
  return uint32_t(entry) | uint32_t(chunk) << 16;
}

struct Playback {
  const music_device* device = nullptr;
  music_module* current = nullptr;  // the loaded module; owned here
  music_ring* ring = nullptr;       // non-null while playing (caller's thread only)
  music_ring* ahead = nullptr;      // a pre-filled first loop of `current` (music_render_ahead)
  std::thread thread;
  // Set by music_stop, which then joins the thread: the thread finishes the chunk it is
  // rendering and leaves its loop before any buffer is released or the module freed.
  std::atomic<bool> stop_request{false};
  // Written by the streaming thread (and by music_play before the thread exists), read by the
  // queries; kNothingAudible while stopped.
  std::atomic<uint32_t> audible{kNothingAudible};
  // Caller's thread only: the word the last music_row() returned, and the offsets measured by
  // music_sync_frame_shown (milliseconds, at most kSyncFrames of them).
  uint32_t shown = kNothingAudible;
  std::vector<float> sync_ms;
  double sync_delay_ms = 0;  // the device's buffering, taken when it opened
  // How far ahead of the ear the queries look (music_set_lead_ms), in chunks; and, when the lead
  // follows the measured frames, the last kLeadFrames offsets plus the lead they were shown with.
  int lead_chunks = 0;
  bool lead_follows = false;
  std::vector<float> recent_ms;
  size_t recent_next = 0;

  // A process that ends through exit() while the music plays (Xlib calls exit() when the
  // display connection is lost) destroys this object with the thread still running, and
  // std::thread's destructor would then abort the process. The thread is stopped here instead;
  // it finishes its chunk and leaves its loop within a few milliseconds.
  ~Playback() {
    stop_request.store(true, std::memory_order_release);
    if (thread.joinable()) thread.join();
  }
};
Playback playback;

// Chunk c is under the play cursor; every chunk before it back to the render index has been
// heard. Before chunk k is rendered over, chunk k + 1 (at or behind the cursor, its entry still
// the one recorded a loop ago) becomes the audible one: publishing after the render instead
// would leave a moment in which chunk k's new entry, a loop ahead of the ear, reads as audible.
void stream_pass(Playback* p) {
  music_ring* ring = p->ring;
  const uint64_t bytes = p->device->position();
  const int32_t cursor_chunk = int32_t(((bytes / kBytesPerFrame) % kMusicRingFrames) / kMusicChunkFrames);
  for (int32_t k = ring->render_index.load(std::memory_order_relaxed);
       k != cursor_chunk && !p->stop_request.load(std::memory_order_acquire);
       k = ring->render_index.load(std::memory_order_relaxed)) {
    const int32_t heard = k + 1 == kMusicRingChunks ? 0 : k + 1;
    p->audible.store(audible_word(heard, ring->history[heard].load(std::memory_order_relaxed)),
                     std::memory_order_release);
    // A query that reads chunk k's new entry (looking ahead of the ear) then finds this store.
    std::atomic_thread_fence(std::memory_order_release);
    music_render_chunk(p->current, ring);
  }
}

#if !QUORVANE_CALLER_STREAMS
void stream(Playback* p) {
  if (p->device->raise_thread_priority) p->device->raise_thread_priority();
  while (!p->stop_request.load(std::memory_order_acquire)) {
    stream_pass(p);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}
#endif

// The audible word, or kNothingAudible.
uint32_t audible() {
  return playback.audible.load(std::memory_order_acquire);
}

constexpr size_t kSyncFrames = 1 << 16;  // about 18 minutes at 60 frames per second
constexpr size_t kLeadFrames = 63;       // the measured lead is their median
constexpr int kLeadMaxChunks = 500;      // half a ring: far ahead of any frame, far behind the renderer

int lead_chunks_for(double ms) {
  return std::clamp(int(ms * 44100.0 / 1000.0 / kMusicChunkFrames + 0.5), 0, kLeadMaxChunks);
}

// The word the queries answer with: the audible chunk, or the chunk `lead_chunks` after it with
// its entry from the ring's history. Chunks ahead of the ear hold what the renderer reached one
// loop ago, which is exactly what they will sound like, until the thread renders over them, and
// it publishes each chunk as audible before that. So the entry is re-checked against the
// audible word read after it: when the ear has reached the chunk in between, the later word is
// the answer (the chunk it names is then at or past the one asked for).
uint32_t shown_word() {
  const uint32_t word = audible();
  const int lead = playback.lead_chunks;
  if (word == kNothingAudible || lead == 0 || !playback.ring) return word;
  const int chunk = (int(word >> 16) + lead) % kMusicRingChunks;
  const uint16_t entry = playback.ring->history[chunk].load(std::memory_order_acquire);
  const uint32_t after = audible();
  if (after == kNothingAudible) return after;
  const int moved = (int(after >> 16) - int(word >> 16) + kMusicRingChunks) % kMusicRingChunks;
  return moved >= lead ? after : audible_word(chunk, entry);
}

}  // namespace

void music_set_device(const music_device* device) {
  playback.device = device;
}

int music_load_memory(const void* address, int32_t length) {
  if (!address || length < 0) return 0;
  music_memory_stream_register(address, length);
  music_module* module = music_module_load(music_memory_stream, nullptr);
  music_memory_stream_register(nullptr, 0);
  if (!module) return 0;
  // The show loads once; a second load stops and replaces the current module.
  music_free();
  playback.current = module;
  return 1;
}

bool music_free() {
  if (!playback.current) return false;
  music_stop();  // the streaming thread is gone before anything is freed
  music_ring_free(playback.ahead);
  playback.ahead = nullptr;
  music_module_free(playback.current);
  playback.current = nullptr;
  return true;
}

music_module* music_current() {
  return playback.current;
}

// Starts `module` from its beginning and renders its first loop into a new ring; null when
// memory runs out.
music_ring* render_first_loop(music_module* module) {
  music_start(module);
  music_ring* ring = music_ring_create();
  if (!ring) return nullptr;
  do {
    music_render_chunk(module, ring);
  } while (ring->render_index.load(std::memory_order_relaxed) != 0);
  return ring;
}

bool music_render_ahead() {
  if (!playback.current) return false;
  music_stop();
  music_ring_free(playback.ahead);
  playback.ahead = render_first_loop(playback.current);
  return playback.ahead != nullptr;
}

bool music_play() {
  music_module* module = playback.current;
  if (!module || !playback.device) return false;
  music_stop();
  // The whole ring is filled before the device reads any of it: here, or ahead of time.
  music_ring* ring = playback.ahead ? playback.ahead : render_first_loop(module);
  playback.ahead = nullptr;
  if (!ring) return false;
  if (!playback.device->open(ring->wave, uint32_t(kMusicRingFrames) * kBytesPerFrame)) {
    music_ring_free(ring);
    return false;
  }
  playback.ring = ring;
  playback.audible.store(audible_word(0, ring->history[0].load(std::memory_order_relaxed)),
                         std::memory_order_release);
  playback.stop_request.store(false, std::memory_order_relaxed);
  playback.shown = kNothingAudible;
  playback.sync_ms.clear();
  playback.sync_delay_ms = playback.device->delay_ms ? playback.device->delay_ms() : 0.0;
#if QUORVANE_CALLER_STREAMS
  // A build without threads (the web page): the caller runs the passes with music_pump.
#else
  playback.thread = std::thread(stream, &playback);
#endif
  return true;
}

void music_pump() {
#if QUORVANE_CALLER_STREAMS
  if (playback.ring) stream_pass(&playback);
#endif
}

bool music_stop() {
  if (!playback.current) return false;
  if (!playback.ring) return true;
  playback.stop_request.store(true, std::memory_order_release);
  if (playback.thread.joinable()) playback.thread.join();
  playback.audible.store(kNothingAudible, std::memory_order_release);
  playback.device->close();
  music_ring_free(playback.ring);
  playback.ring = nullptr;
  return true;
}

void music_set_lead_ms(double ms) {
  playback.lead_follows = ms < 0;
  playback.lead_chunks = ms < 0 ? 0 : lead_chunks_for(ms);
  playback.recent_ms.clear();
  playback.recent_next = 0;
}

int music_position() {
  const uint32_t word = shown_word();
  return word == kNothingAudible ? 0 : music_history_order(uint16_t(word));
}
int music_row() {
  const uint32_t word = shown_word();
  playback.shown = word;
  return word == kNothingAudible ? 0 : music_history_row(uint16_t(word));
}

int music_note(int channel) {
  const music_module* module = playback.current;
  const uint32_t word = shown_word();
  if (!module || word == kNothingAudible) return 0;
  // The patterns are never written while playing, so the audible entry names a stable cell.
  return music_cell_note(module, music_history_order(uint16_t(word)), music_history_row(uint16_t(word)),
                         channel);
}

int music_audible_index() {
  const uint32_t word = audible();  // the ear's chunk, without the lead
  return word == kNothingAudible ? -1 : int(word >> 16);
}

void music_sync_frame_shown() {
  const uint32_t word = playback.shown;
  if (!playback.ring || word == kNothingAudible || playback.sync_ms.size() >= kSyncFrames) return;
  // Frames from the start of the shown chunk to the ear, within one ring; more than half a ring
  // means the ear has not reached the chunk yet.
  const int64_t ear = int64_t((playback.device->position() / kBytesPerFrame) % kMusicRingFrames);
  int64_t frames = ear - int64_t(word >> 16) * kMusicChunkFrames;
  if (frames < 0) frames += kMusicRingFrames;
  if (frames > kMusicRingFrames / 2) frames -= kMusicRingFrames;
  const float ms = float(frames * 1000.0 / 44100.0);
  if (playback.sync_ms.capacity() == 0) playback.sync_ms.reserve(4096);
  playback.sync_ms.push_back(ms);
  if (!playback.lead_follows) return;
  // The time from the query to the ear's arrival at the picture, whatever the lead was: the
  // lead for the next frames is the median of the recent ones.
  const float pipeline_ms = ms + float(playback.lead_chunks * kMusicChunkFrames * 1000.0 / 44100.0);
  if (playback.recent_ms.size() < kLeadFrames) {
    playback.recent_ms.push_back(pipeline_ms);
  } else {
    playback.recent_ms[playback.recent_next] = pipeline_ms;
    playback.recent_next = (playback.recent_next + 1) % kLeadFrames;
  }
  std::vector<float> sorted = playback.recent_ms;
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
  playback.lead_chunks = lead_chunks_for(std::max(0.0f, sorted[sorted.size() / 2]));
}

music_sync_figures music_sync_measured() {
  music_sync_figures figures;
  figures.device_delay_ms = playback.sync_delay_ms;
  std::vector<float> sorted = playback.sync_ms;
  if (sorted.empty()) return figures;
  std::sort(sorted.begin(), sorted.end());
  figures.frames = int(sorted.size());
  figures.median_ms = sorted[sorted.size() / 2];
  figures.p95_ms = sorted[std::min(sorted.size() - 1, sorted.size() * 95 / 100)];
  figures.min_ms = sorted.front();
  figures.max_ms = sorted.back();
  return figures;
}

std::string music_sync_report() {
  const music_sync_figures f = music_sync_measured();
  if (f.frames == 0) return "sync: not measured (no music played)";
  char line[256];
  std::snprintf(
      line, sizeof line,
      "sync: the screen %.1f ms after the ear (median of %d frames; p95 %.1f, range %.1f to %.1f ms; "
      "device buffering of %.1f ms counted)",
      f.median_ms, f.frames, f.p95_ms, f.min_ms, f.max_ms, f.device_delay_ms);
  return line;
}
