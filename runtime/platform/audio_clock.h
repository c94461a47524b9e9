// runtime/platform/audio_clock.h — where the ear is, from what the audio callback has handed over.
//
// The device callback hands SDL one block at a time. A block does not sound when it is handed
// over: the device first plays what it already holds, which for a real driver is about one of
// its own buffers (the obtained `samples`), so the ear is that far behind the hand-over. The
// silent drivers ("dummy", "disk") hold nothing: they consume a block while they wait for the
// next callback, so for them the hand-over is the ear. Pure arithmetic, no SDL, so that the
// mapping can be checked case by case.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace platform {

// Bytes heard since the start, at `elapsed_ns` after the block [block_start, block_start +
// block_bytes) was handed over, with `device_buffered` bytes ahead of it in the device. Time
// moves through the block with the clock but never past its end (the next callback is late,
// not the music early), and nothing is heard before the first byte.
inline uint64_t audio_heard_bytes(uint64_t block_start, uint32_t block_bytes, int64_t elapsed_ns,
                                  uint32_t device_buffered, int rate, int bytes_per_frame) {
  const uint64_t elapsed_frames = uint64_t(std::max<int64_t>(0, elapsed_ns)) * uint64_t(rate) / 1000000000u;
  const uint64_t handed =
      block_start + std::min<uint64_t>(elapsed_frames * uint64_t(bytes_per_frame), block_bytes);
  return handed > device_buffered ? handed - device_buffered : 0;
}

// Bytes of the caller's stream that the device holds ahead of a block handed over to it: one
// device buffer of `obtained_samples` at `obtained_rate`, counted in frames of the caller's
// `rate` (SDL converts when the two differ) and rounded down to whole frames. 0 for the silent
// drivers, which buffer nothing.
inline uint32_t audio_device_buffer_bytes(const char* driver, int obtained_samples, int obtained_rate,
                                          int rate, int bytes_per_frame) {
  if (!driver || !std::strcmp(driver, "dummy") || !std::strcmp(driver, "disk")) return 0;
  if (obtained_samples <= 0 || obtained_rate <= 0) return 0;
  const uint64_t frames = uint64_t(obtained_samples) * uint64_t(rate) / uint64_t(obtained_rate);
  return uint32_t(frames * uint64_t(bytes_per_frame));
}

}  // namespace platform
