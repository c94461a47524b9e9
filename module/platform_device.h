// module/platform_device.h — the platform's looping audio output as the player's music_device.
//
// The one adapter between runtime/platform (audio_open, audio_position, audio_close and the
// thread priority) and module/playback.h. Header-only, so that the module library itself stays
// free of the platform layer: only a program that links the runtime (the intro, xmplay, the
// playback tests) includes it.
//
//   music_set_device(platform_music_device());
#pragma once

#include "module/playback.h"
#include "runtime/platform/platform.h"

inline const music_device* platform_music_device() {
  static const music_device device = {platform::audio_open, platform::audio_position, platform::audio_close,
                                      platform::thread_raise_priority, platform::audio_device_delay_ms};
  return &device;
}
