#include "module/playback.h"

#include <atomic>
#include <chrono>
#include <thread>

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
  std::thread thread;
  // Set by music_stop, which then joins the thread: the thread finishes the chunk it is
  // rendering and leaves its loop before any buffer is released or the module freed.
  std::atomic<bool> stop_request{false};
  // Written by the streaming thread (and by music_play before the thread exists), read by the
  // queries; kNothingAudible while stopped.
  std::atomic<uint32_t> audible{kNothingAudible};

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
  music_module_free(playback.current);
  playback.current = nullptr;
  return true;
}

music_module* music_current() {
  return playback.current;
}

bool music_play() {
  music_module* module = playback.current;
  if (!module || !playback.device) return false;
  music_stop();
  music_start(module);
  music_ring* ring = music_ring_create();
  if (!ring) return false;
  // Pre-fill the whole ring on the caller's thread, before the device reads any of it.
  do {
    music_render_chunk(module, ring);
  } while (ring->render_index.load(std::memory_order_relaxed) != 0);
  if (!playback.device->open(ring->wave, uint32_t(kMusicRingFrames) * kBytesPerFrame)) {
    music_ring_free(ring);
    return false;
  }
  playback.ring = ring;
  playback.audible.store(audible_word(0, ring->history[0].load(std::memory_order_relaxed)),
                         std::memory_order_release);
  playback.stop_request.store(false, std::memory_order_relaxed);
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

int music_position() {
  const uint32_t word = audible();
  return word == kNothingAudible ? 0 : music_history_order(uint16_t(word));
}
int music_row() {
  const uint32_t word = audible();
  return word == kNothingAudible ? 0 : music_history_row(uint16_t(word));
}

int music_note(int channel) {
  const music_module* module = playback.current;
  const uint32_t word = audible();
  if (!module || word == kNothingAudible) return 0;
  // The patterns are never written while playing, so the audible entry names a stable cell.
  return music_cell_note(module, music_history_order(uint16_t(word)), music_history_row(uint16_t(word)),
                         channel);
}

int music_audible_index() {
  const uint32_t word = audible();
  return word == kNothingAudible ? -1 : int(word >> 16);
}
