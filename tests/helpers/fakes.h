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
    now_us() = 0;
    sleeps().clear();
    ClockSource source{[] { return now_us(); }, 1000000,
                       [](int ms) {
                         sleeps().push_back(ms);
                         now_us() += uint64_t(ms > 0 ? ms : 0) * 1000;
                       }};
    clock_use_source(&source);
    clock_ms();  // the runtime clock counts from here: fake time 0 reads as clock 0
  }
  ~FakeClock() { clock_use_source(nullptr); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  void advance_ms(uint64_t ms) { now_us() += ms * 1000; }
  void set_ms(uint64_t ms) { now_us() = ms * 1000; }
  const std::vector<int>& sleeps_ms() const { return sleeps(); }

 private:
  static uint64_t& now_us() {
    static uint64_t value = 0;
    return value;
  }
  static std::vector<int>& sleeps() {
    static std::vector<int> value;
    return value;
  }
};

// A keyboard whose held keys the test sets; `focused = false` makes sampling fail.
class ScriptedKeyboard {
 public:
  ScriptedKeyboard() {
    held().clear();
    focused() = true;
    typed() = u"";
    KeyboardSource source{[](uint8_t state[256]) {
                            if (!focused()) return false;
                            std::memset(state, 0, 256);
                            for (int code : held()) state[code] = 0x80;
                            return true;
                          },
                          [](int) { return typed(); }};
    key_use_source(&source);
    key_start();
  }
  ~ScriptedKeyboard() {
    key_use_source(nullptr);
    key_stop();
  }
  ScriptedKeyboard(const ScriptedKeyboard&) = delete;
  ScriptedKeyboard& operator=(const ScriptedKeyboard&) = delete;

  void hold(std::initializer_list<int> codes) { held().assign(codes); }
  void release_all() { held().clear(); }
  void set_focus(bool focus) { focused() = focus; }
  void set_typed(const std::u16string& text) { typed() = text; }

 private:
  static std::vector<int>& held() {
    static std::vector<int> value;
    return value;
  }
  static bool& focused() {
    static bool value = true;
    return value;
  }
  static std::u16string& typed() {
    static std::u16string value;
    return value;
  }
};
