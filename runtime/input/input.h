// runtime/input/input.h — keyboard by scan code, millisecond clock, sleep and the event pump.
//
// Keys are PC set-1 scan codes (0x01 Escape, 0x39 Space, 0x3B F1; extended keys | 0x80).
// The keyboard is sampled once per frame by key_examine into per-key states: 1 while held,
// 2 for exactly one sample after it was let go, 0 otherwise. While no sample can be taken
// (our window has no focus) every query answers 0.
// window_event never waits: it returns 0, a runtime event code (window.h) or the number of
// the window message it just handled.
#pragma once

#include <cstdint>
#include <string>

// Keyboard start-up: 1 on success, 0 without a keyboard.
int key_start();
void key_stop();
int key_examine();
int key_pushed(int scan_code);    // -1 = any key
int key_released(int scan_code);  // -1 = any key
std::u16string key_typed_char();  // at most one character: what the lowest released key types

uint32_t clock_ms();
void delay_ms(int ms);
int window_event();
// Message parameters of the last message window_event returned (0 for a runtime event).
uint64_t window_event_wparam();
int64_t window_event_lparam();

// Seams for tests and the capture's virtual clock. A null source restores the platform's. Each
// function gets the source's `context`, so a source needs no global of its own.
struct KeyboardSource {
  bool (*sample)(void* context, uint8_t state[256]) = nullptr;           // as platform::keyboard_sample
  std::u16string (*typed_text)(void* context, int scan_code) = nullptr;  // as platform::keyboard_typed_text
  void* context = nullptr;
};
void key_use_source(const KeyboardSource* source);
struct ClockSource {
  uint64_t (*now)(void* context) = nullptr;  // counter ticks
  uint64_t frequency = 0;                    // ticks per second
  void (*sleep)(void* context, int ms) = nullptr;
  void* context = nullptr;
};
// Also restarts the clock: its next reading counts from 0.
void clock_use_source(const ClockSource* source);
