// tests/helpers/fakes.h — fakes that plug into the runtime's seams.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/input/input.h"

// A clock that only moves when told to, or when the code under test sleeps.
// Counter ticks are microseconds.
class FakeClock {
 public:
  FakeClock() {
    const ClockSource source{[](void* self) { return static_cast<FakeClock*>(self)->now_us_; }, 1000000,
                             [](void* self, int ms) {
                               auto& clock = *static_cast<FakeClock*>(self);
                               clock.sleeps_.push_back(ms);
                               clock.now_us_ += uint64_t(ms > 0 ? ms : 0) * 1000;
                             },
                             this};
    clock_use_source(&source);
    clock_ms();  // the runtime clock counts from here: fake time 0 reads as clock 0
  }
  ~FakeClock() { clock_use_source(nullptr); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  void advance_ms(uint64_t ms) { now_us_ += ms * 1000; }
  void set_ms(uint64_t ms) { now_us_ = ms * 1000; }
  const std::vector<int>& sleeps_ms() const { return sleeps_; }

 private:
  uint64_t now_us_ = 0;
  std::vector<int> sleeps_;
};

// A keyboard whose held keys the test sets; `focused = false` makes sampling fail.
class ScriptedKeyboard {
 public:
  ScriptedKeyboard() {
    const KeyboardSource source{[](void* self, uint8_t state[256]) {
                                  const auto& keyboard = *static_cast<ScriptedKeyboard*>(self);
                                  if (!keyboard.focused_) return false;
                                  std::memset(state, 0, 256);
                                  for (int code : keyboard.held_) state[code] = 0x80;
                                  return true;
                                },
                                [](void* self, int) { return static_cast<ScriptedKeyboard*>(self)->typed_; },
                                this};
    key_use_source(&source);
    key_start();
  }
  ~ScriptedKeyboard() {
    key_use_source(nullptr);
    key_stop();
  }
  ScriptedKeyboard(const ScriptedKeyboard&) = delete;
  ScriptedKeyboard& operator=(const ScriptedKeyboard&) = delete;

  void hold(std::initializer_list<int> codes) { held_.assign(codes); }
  void release_all() { held_.clear(); }
  void set_focus(bool focus) { focused_ = focus; }
  void set_typed(const std::u16string& text) { typed_ = text; }

 private:
  std::vector<int> held_;
  bool focused_ = true;
  std::u16string typed_;
};
