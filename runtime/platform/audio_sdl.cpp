// runtime/platform/audio_sdl.cpp — the looping audio buffer on SDL2 audio.
//
// The device callback copies from the caller's buffer at its cursor and advances a 64-bit
// byte counter. Positions between callbacks are estimated from the steady clock (capped at one
// callback block), since the counter itself moves a whole block (~23 ms) at a time, and the
// device's own buffer, which still sounds before the block just handed over, is subtracted
// (runtime/platform/audio_clock.h), so that the position is what is in the ear.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>

#include "runtime/platform/audio_clock.h"
#include "runtime/platform/error.h"
#include "runtime/platform/platform.h"

namespace platform {
namespace {

constexpr int kRate = 44100;
constexpr int kBytesPerFrame = 4;
constexpr int kBlockFrames = 1024;  // the dummy driver keeps time best with 1024 or 2048

struct Audio {
  SDL_AudioDeviceID device = 0;
  bool fallback = false;
  bool subsystem = false;  // the audio subsystem was started by audio_open or audio_prepare
  bool prepared = false;   // the device is open and paused, waiting for audio_open's buffer
  std::string prepare_error;  // why audio_prepare fell back to the silent device, if it did
  const uint8_t* buffer = nullptr;
  uint32_t bytes = 0;
  uint32_t cursor = 0;           // callback thread only
  uint32_t device_buffered = 0;  // bytes the device holds ahead of a block handed over (set on open)

  // Written by the callback: position at the start of the last block and when it was taken,
  // guarded by a sequence count (odd while being written).
  std::atomic<uint32_t> sequence{0};
  std::atomic<uint64_t> block_start{0};
  std::atomic<int64_t> block_time_ns{0};
  std::atomic<uint32_t> block_bytes{0};
  // Release/acquire hand-over of the caller's buffer writes to the callback.
  std::atomic<uint64_t> published{0};
};
Audio audio;

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void callback(void*, Uint8* out, int length) {
  audio.published.load(std::memory_order_acquire);
  const uint64_t start =
      audio.block_start.load(std::memory_order_relaxed) + audio.block_bytes.load(std::memory_order_relaxed);
  for (int done = 0; done < length;) {
    const int n = std::min<int>(length - done, int(audio.bytes - audio.cursor));
    std::memcpy(out + done, audio.buffer + audio.cursor, size_t(n));
    done += n;
    audio.cursor = (audio.cursor + uint32_t(n)) % audio.bytes;
  }
  audio.sequence.fetch_add(1, std::memory_order_acq_rel);
  audio.block_start.store(start, std::memory_order_relaxed);
  audio.block_bytes.store(uint32_t(length), std::memory_order_relaxed);
  audio.block_time_ns.store(now_ns(), std::memory_order_relaxed);
  audio.sequence.fetch_add(1, std::memory_order_release);
}

// Opens the default device of the current driver and notes how much it buffers.
SDL_AudioDeviceID open_device() {
  SDL_AudioSpec want{};
  want.freq = kRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kBlockFrames;
  want.callback = callback;
  SDL_AudioSpec have{};
  const SDL_AudioDeviceID device =
      SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);  // SDL converts if need be
  audio.device_buffered = device ? audio_device_buffer_bytes(SDL_GetCurrentAudioDriver(), have.samples,
                                                             have.freq, kRate, kBytesPerFrame)
                                 : 0;
  return device;
}

// Opens the default device, or the silent stand-in when there is none; SDL opens it paused, so
// the callback does not run before the buffer is set. Records why the default device failed.
void open_paused() {
  audio.fallback = false;
#ifdef _WIN32
  // WASAPI first, then Windows' older audio paths: a driver that starts but opens no device
  // (an endpoint that refuses the format, a broken driver) gives way to the next.
  // SDL_AUDIODRIVER, where set, still names the one driver to use (a hint of normal priority
  // gives way to it).
  SDL_SetMainReady();
  for (const char* driver : {"wasapi", "directsound", "winmm"}) {
    SDL_SetHint(SDL_HINT_AUDIODRIVER, driver);
    audio.subsystem = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!audio.subsystem) {
      remember_error("starting audio");
      continue;
    }
    if ((audio.device = open_device()) != 0) break;
    remember_error("opening the audio device");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio.subsystem = false;
  }
  SDL_SetHint(SDL_HINT_AUDIODRIVER, nullptr);
#else
  audio.subsystem = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  if (!audio.subsystem) remember_error("starting audio");
  if (audio.subsystem && (audio.device = open_device()) == 0) remember_error("opening the audio device");
#endif
  if (audio.device == 0) {
    // No usable sound hardware: a silent device that still keeps real time. (Switching drivers
    // waits for SDL's ALSA device-watching thread to end, some 100 ms.)
    if (audio.subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio.subsystem = false;
    if (SDL_AudioInit("dummy") == 0) {
      audio.device = open_device();
      audio.fallback = audio.device != 0;
      if (!audio.fallback) remember_error("opening the silent audio device");
    } else {
      remember_error("starting the silent audio driver");
    }
  }
}

}  // namespace

void audio_prepare() {
  if (audio.device != 0) return;
  open_paused();
  audio.prepared = audio.device != 0;
  audio.prepare_error = audio.fallback ? last_error() : std::string();
}

bool audio_open(const void* buffer, uint32_t bytes) {
  const bool prepared = audio.prepared;
  audio.prepared = false;
  if (!prepared) audio_close();
  if (!buffer || bytes < kBytesPerFrame || bytes % kBytesPerFrame) {
    audio_close();
    return false;
  }
  audio.buffer = static_cast<const uint8_t*>(buffer);
  audio.bytes = bytes;
  audio.cursor = 0;
  audio.block_start = 0;
  audio.block_bytes = 0;
  audio.block_time_ns = now_ns();
  audio.published.fetch_add(1, std::memory_order_release);

  if (prepared) {
    // The reason the device prepared ahead is the silent one is this call's to report.
    if (audio.fallback) remember_error_text(audio.prepare_error);
  } else {
    open_paused();
  }
  if (audio.device == 0) return false;
  SDL_PauseAudioDevice(audio.device, 0);
  return true;
}

uint64_t audio_position() {
  audio.published.fetch_add(1, std::memory_order_acq_rel);
  if (audio.device == 0) return 0;
  uint64_t start;
  uint32_t block;
  int64_t time_ns;
  uint32_t before;
  do {
    before = audio.sequence.load(std::memory_order_acquire);
    start = audio.block_start.load(std::memory_order_relaxed);
    block = audio.block_bytes.load(std::memory_order_relaxed);
    time_ns = audio.block_time_ns.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
  } while ((before & 1) || audio.sequence.load(std::memory_order_acquire) != before);
  return audio_heard_bytes(start, block, now_ns() - time_ns, audio.device_buffered, kRate, kBytesPerFrame);
}

double audio_device_delay_ms() {
  return audio.device == 0 ? 0.0 : audio.device_buffered * 1000.0 / (kRate * kBytesPerFrame);
}

void audio_close() {
  if (audio.device != 0) {
    SDL_CloseAudioDevice(audio.device);  // waits for a running callback
    audio.device = 0;
  }
  if (audio.fallback) SDL_AudioQuit();
  if (audio.subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  audio.subsystem = false;
  audio.fallback = false;
  audio.prepared = false;
  audio.buffer = nullptr;
  audio.bytes = 0;
}

bool audio_silent_fallback() {
  return audio.device != 0 && audio.fallback;
}

}  // namespace platform
