// tests/module/module_fixture.h — loads test images and steps the player tick by tick.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "module/music.h"
#include "xm_writer.h"

struct ModuleDeleter {
  void operator()(music_module* m) const { music_module_free(m); }
};
using ModulePtr = std::unique_ptr<music_module, ModuleDeleter>;

// Loads an image through the memory stream; null when rejected (`reason` says why).
inline ModulePtr load_image(const std::vector<uint8_t>& image, const char** reason = nullptr) {
  music_memory_stream_register(image.data(), int32_t(image.size()));
  music_module* m = music_module_load(music_memory_stream, reason);
  music_memory_stream_register(nullptr, 0);
  return ModulePtr(m);
}

inline ModulePtr load_song(const xmw::Song& song) {
  return load_image(xmw::write_xm(song));
}

// A started module that the test steps one tick at a time.
struct Player {
  ModulePtr module;
  explicit Player(const xmw::Song& song) : module(load_song(song)) {
    if (module) music_start(module.get());
  }
  music_module& m() { return *module; }
  music_channel& channel(int c) { return module->channels[c]; }
  music_voice& voice(int c) { return module->voices[module->channels[c].voice]; }
  void tick(int n = 1) {
    for (int i = 0; i < n; ++i) music_tick(module.get());
  }
};

struct RingDeleter {
  void operator()(music_ring* r) const { music_ring_free(r); }
};
using RingPtr = std::unique_ptr<music_ring, RingDeleter>;
