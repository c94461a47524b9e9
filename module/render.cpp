// module/render.cpp — renders one 44-frame chunk of the looping ring.
//
// Ticks are split at exact frames: the sequencer runs whenever the current tick's frames are
// used up, and the mixer is called for runs that never cross a tick. A tick that would start
// exactly on the next chunk's first frame runs at the start of that chunk, so the position
// recorded for a chunk is the one in effect after its last frame.
#include <cstdlib>
#include <cstring>
#include <new>

#include "module/music.h"

namespace {
constexpr size_t kMixAlignment = 16;
}

music_ring* music_ring_create() {
  auto* ring = new (std::nothrow) music_ring{};
  if (!ring) return nullptr;
  ring->wave = static_cast<int16_t*>(std::calloc(size_t(kMusicRingFrames) * 2, sizeof(int16_t)));
  const size_t mix_bytes = size_t(kMusicRingFrames) * 2 * sizeof(float);
  // Aligned operator new rather than std::aligned_alloc, which Windows' C runtime lacks.
  ring->mix = static_cast<float*>(::operator new(mix_bytes, std::align_val_t(kMixAlignment), std::nothrow));
  ring->history = new (std::nothrow) std::atomic<uint16_t>[kMusicRingChunks];
  if (!ring->wave || !ring->mix || !ring->history) {
    music_ring_free(ring);
    return nullptr;
  }
  std::memset(ring->mix, 0, mix_bytes);
  for (int k = 0; k < kMusicRingChunks; ++k) ring->history[k].store(0, std::memory_order_relaxed);
  ring->render_index.store(0, std::memory_order_relaxed);
  return ring;
}

void music_ring_free(music_ring* ring) {
  if (!ring) return;
  std::free(ring->wave);
  ::operator delete(ring->mix, std::align_val_t(kMixAlignment));
  delete[] ring->history;
  delete ring;
}

int music_render_chunk(music_module* module, music_ring* ring) {
  if (!module || !ring) return -1;
  int k = ring->render_index.load(std::memory_order_relaxed);
  if (k < 0 || k >= kMusicRingChunks) k = 0;
  float* mix = ring->mix + 2 * kMusicChunkFrames * k;
  std::memset(mix, 0, sizeof(float) * 2 * kMusicChunkFrames);

  int done = 0;
  int left = module->tick_samples_left;
  while (done < kMusicChunkFrames) {
    if (left <= 0) {
      music_tick(module);
      left = module->samples_per_tick;
      if (left < 1) left = 1;  // a broken header BPM can make ticks tiny, never empty
    }
    const int n = left < kMusicChunkFrames - done ? left : kMusicChunkFrames - done;
    music_mix(module->voices, mix + 2 * done, n);
    done += n;
    left -= n;
  }
  module->tick_samples_left = left;
  const uint16_t entry = uint16_t((module->order_position & 0xFF) | (module->row & 0xFF) << 8);
  ring->history[k].store(entry, std::memory_order_release);
  music_to_pcm16(ring->wave + 2 * kMusicChunkFrames * k, mix, kMusicChunkFrames);
  ring->render_index.store(k + 1 == kMusicRingChunks ? 0 : k + 1, std::memory_order_release);
  return k;
}
