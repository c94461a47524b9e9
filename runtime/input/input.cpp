#include "runtime/input/input.h"

#include <cstring>

#include "runtime/window/window.h"

namespace {

struct Keyboard {
  int device = 0;  // 0 none, 1 created (acquire at next examine), 2 acquired and sampled
  uint8_t states[256] = {};
  bool any_down = false;
  bool any_released = false;
  KeyboardSource source;
};
Keyboard keyboard;

bool sample_keys(uint8_t raw[256]) {
  return keyboard.source.sample ? keyboard.source.sample(keyboard.source.context, raw)
                                : platform::keyboard_sample(raw);
}

struct Clock {
  uint64_t ticks_per_ms = 0;  // 0 = not started
  uint64_t start = 0;
  ClockSource source;
};
Clock clock_state;

uint64_t counter_now() {
  return clock_state.source.now ? clock_state.source.now(clock_state.source.context)
                                : platform::counter_now();
}
uint64_t counter_frequency() {
  return clock_state.source.now ? clock_state.source.frequency : platform::counter_frequency();
}

// Keypad keys type their digit whatever the layout and Num Lock say.
struct KeypadChar {
  int scan_code;
  char16_t c;
};
constexpr KeypadChar kKeypad[] = {{0x52, u'0'}, {0x4F, u'1'}, {0x50, u'2'}, {0x51, u'3'},
                                  {0x4B, u'4'}, {0x4C, u'5'}, {0x4D, u'6'}, {0x47, u'7'},
                                  {0x48, u'8'}, {0x49, u'9'}, {0x53, u'.'}, {0xB5, u'/'}};

struct EventRecord {
  uint64_t wparam = 0;
  int64_t lparam = 0;
};
thread_local EventRecord event_record;

}  // namespace

int key_start() {
  if (keyboard.device == 0) keyboard.device = 1;
  return 1;
}

void key_stop() {
  keyboard.device = 0;
}

int key_examine() {
  if (keyboard.device == 0) return 0;
  if (keyboard.device == 1) {
    keyboard.device = 2;
    std::memset(keyboard.states, 0, sizeof keyboard.states);
  }
  uint8_t raw[256];
  if (!sample_keys(raw)) {
    keyboard.device = 1;
    return 0;
  }
  keyboard.any_down = keyboard.any_released = false;
  for (int code = 0; code < 255; ++code) {  // code 255 is never sampled
    uint8_t& state = keyboard.states[code];
    if (raw[code] & 0x80) {
      state = 1;
      keyboard.any_down = true;
    } else if (state == 1) {
      state = 2;
      keyboard.any_released = true;
    } else {
      state = 0;
    }
  }
  return 1;
}

int key_pushed(int scan_code) {
  if (keyboard.device != 2) return 0;
  if (scan_code == -1) return keyboard.any_down;
  return scan_code >= 0 && scan_code < 256 && keyboard.states[scan_code] == 1;
}

int key_released(int scan_code) {
  if (keyboard.device != 2) return 0;
  if (scan_code == -1) return keyboard.any_released;
  return scan_code >= 0 && scan_code < 256 && keyboard.states[scan_code] == 2;
}

std::u16string key_typed_char() {
  if (keyboard.device != 2) return {};
  int code = 0;
  while (code < 256 && keyboard.states[code] != 2) ++code;
  if (code == 256) return {};
  for (const auto& k : kKeypad)
    if (k.scan_code == code) return std::u16string(1, k.c);
  const std::u16string text = keyboard.source.typed_text
                                  ? keyboard.source.typed_text(keyboard.source.context, code)
                                  : platform::keyboard_typed_text(code);
  return text.empty() ? std::u16string() : text.substr(0, 1);
}

uint32_t clock_ms() {
  if (clock_state.ticks_per_ms == 0) {
    clock_state.ticks_per_ms = counter_frequency() / 1000;
    clock_state.start = counter_now();
    if (clock_state.ticks_per_ms == 0) return platform::tick_count_ms();  // no counter
  }
  return uint32_t((counter_now() - clock_state.start) / clock_state.ticks_per_ms);
}

void delay_ms(int ms) {
  if (clock_state.source.sleep)
    clock_state.source.sleep(clock_state.source.context, ms);
  else
    platform::sleep_ms(ms);
}

int window_event() {
  RuntimeEvent event;
  if (event_queue_take(&event)) {
    event_record = {};
    return event.code;
  }
  platform::Message message;
  if (!platform::message_take(&message)) return 0;
  window_dispatch(message);
  event_record = {message.wparam, message.lparam};
  return int(message.message);
}

uint64_t window_event_wparam() {
  return event_record.wparam;
}
int64_t window_event_lparam() {
  return event_record.lparam;
}

void key_use_source(const KeyboardSource* source) {
  keyboard.source = source ? *source : KeyboardSource{};
}

void clock_use_source(const ClockSource* source) {
  clock_state.source = source ? *source : ClockSource{};
  clock_state.ticks_per_ms = 0;
}
