#include "module/playback.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "module/music.h"

namespace {

constexpr uint32_t kBytesPerFrame = 4;  // 16-bit stereo

struct Playback {
  const music_device* device = nullptr;
  music_module* module = nullptr;  // the module being rendered; null when stopped
  music_ring* ring = nullptr;
  std::thread thread;
  std::atomic<int32_t> audible_index{0};
  std::atomic<bool> playing{false};
  // Hand-over at stop: stop sets the request and joins the thread, which finishes the chunk it
  // is rendering and leaves its loop, before any buffer is released. `rendering` lets the
  // module's owner wait for a chunk to finish without stopping (music_wait_render_idle).
  std::atomic<bool> stop_request{false};
  std::atomic<bool> rendering{false};
};
Playback playback;

void stream(Playback* p) {
  if (p->device->raise_thread_priority) p->device->raise_thread_priority();
  while (!p->stop_request.load(std::memory_order_acquire)) {
    const uint64_t bytes = p->device->position();
    const int32_t cursor_chunk = int32_t(((bytes / kBytesPerFrame) % kMusicRingFrames) / kMusicChunkFrames);
    while (p->ring->render_index.load(std::memory_order_relaxed) != cursor_chunk &&
           !p->stop_request.load(std::memory_order_acquire)) {
      p->rendering.store(true, std::memory_order_release);
      music_render_chunk(p->module, p->ring);
      const int32_t next = p->audible_index.load(std::memory_order_relaxed) + 1;
      p->audible_index.store(next == kMusicRingChunks ? 0 : next, std::memory_order_release);
      p->rendering.store(false, std::memory_order_release);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

uint16_t audible_entry() {
  if (!playback.playing.load(std::memory_order_acquire)) return 0;
  const int32_t k = playback.audible_index.load(std::memory_order_acquire);
  return playback.ring->history[k].load(std::memory_order_relaxed);
}

}  // namespace

void music_set_device(const music_device* device) {
  playback.device = device;
}

bool music_play() {
  music_module* module = music_current();
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
  playback.module = module;
  playback.ring = ring;
  playback.audible_index.store(0, std::memory_order_relaxed);
  playback.stop_request.store(false, std::memory_order_relaxed);
  playback.thread = std::thread(stream, &playback);
  playback.playing.store(true, std::memory_order_release);
  return true;
}

bool music_stop() {
  if (!music_current()) return false;
  if (!playback.playing.exchange(false, std::memory_order_acq_rel)) return true;
  playback.stop_request.store(true, std::memory_order_release);
  if (playback.thread.joinable()) playback.thread.join();
  playback.device->close();
  music_ring_free(playback.ring);
  playback.ring = nullptr;
  playback.module = nullptr;
  return true;
}

int music_position() {
  return music_history_order(audible_entry());
}
int music_row() {
  return music_history_row(audible_entry());
}

int music_note(int channel) {
  const music_module* module = music_current();
  if (!module || !playback.playing.load(std::memory_order_acquire)) return 0;
  if (channel < 0 || channel >= module->channel_count) return 0;
  const uint16_t entry = audible_entry();
  const int order = music_history_order(entry), row = music_history_row(entry);
  if (order >= module->song_length) return 0;
  const int pattern = module->order_table[order];
  if (pattern >= module->pattern_slots) return 0;
  const music_pattern& p = module->patterns[pattern];
  if (!p.cells || row >= p.rows) return 0;
  const music_cell& cell = p.cells[row * module->channel_count + channel];
  return cell.instrument * 256 + cell.note;
}

int music_audible_index() {
  return playback.playing.load(std::memory_order_acquire)
             ? playback.audible_index.load(std::memory_order_acquire)
             : -1;
}

void music_wait_render_idle() {
  while (playback.rendering.load(std::memory_order_acquire)) std::this_thread::yield();
}
