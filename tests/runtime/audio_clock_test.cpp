// Where the ear is, from the last block handed to the device: the device's own buffer sounds
// first, and the clock moves through the block but never past it.
#include "runtime/platform/audio_clock.h"

#include <gtest/gtest.h>

namespace {

constexpr int kRate = 44100, kFrame = 4;
constexpr uint32_t kBlock = 1024 * kFrame;
constexpr int64_t kMs = 1000000;

TEST(AudioClock, HeardBytes) {
  struct Case {
    uint64_t block_start;
    uint32_t block_bytes;
    int64_t elapsed_ns;
    uint32_t buffered;
    uint64_t heard;
  };
  const Case cases[] = {
      {0, 0, 0, kBlock, 0},                              // before the first callback
      {0, kBlock, 5 * kMs, kBlock, 0},                   // the first block waits behind the device's buffer
      {kBlock, kBlock, 0, kBlock, 0},                    // second hand-over: the first block starts sounding
      {kBlock, kBlock, 10 * kMs, kBlock, 441 * kFrame},  // 10 ms into it
      {10 * kBlock, kBlock, 100 * kMs, kBlock, 10 * kBlock},  // a late callback: held at the block's end
      {10 * kBlock, kBlock, -3 * kMs, kBlock, 9 * kBlock},    // a clock read before the hand-over counts as 0
      {10 * kBlock, kBlock, 10 * kMs, 0,
       10 * kBlock + 441 * kFrame},  // silent driver: the hand-over is the ear
      {uint64_t(1) << 40, kBlock, 1 * kMs, 2 * kBlock, (uint64_t(1) << 40) - 2 * kBlock + 44 * kFrame},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        platform::audio_heard_bytes(c.block_start, c.block_bytes, c.elapsed_ns, c.buffered, kRate, kFrame),
        c.heard)
        << c.block_start << " +" << c.elapsed_ns << " ns, buffered " << c.buffered;
  }
}

TEST(AudioClock, DeviceBufferBytes) {
  struct Case {
    const char* driver;
    int samples, rate;
    uint32_t bytes;
  };
  const Case cases[] = {
      {"pulseaudio", 1024, 44100, kBlock},  // the device's buffer as obtained
      {"alsa", 2048, 44100, 2 * kBlock},    // a driver that chose a larger buffer
      {"alsa", 1024, 48000, 940 * kFrame},  // converted: 1024 frames at 48 kHz are 940.8 of ours
      {"dummy", 1024, 44100, 0},            // the silent drivers hold nothing
      {"disk", 1024, 44100, 0},
      {nullptr, 1024, 44100, 0},
      {"alsa", 0, 44100, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::audio_device_buffer_bytes(c.driver, c.samples, c.rate, kRate, kFrame), c.bytes)
        << (c.driver ? c.driver : "no driver") << " " << c.samples << " at " << c.rate;
  }
}

}  // namespace
