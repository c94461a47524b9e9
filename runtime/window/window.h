// runtime/window/window.h — the runtime's numbered windows.
//
// Windows live in a numbered table (growth step 16). Each window's messages pass through one
// window procedure: first the window's callback (if any), then the runtime's own handling,
// which turns a close request, activation, moves and size changes into runtime events for
// `window_event` and hands the rest to the platform. A close request never closes a window.
// Operations on a number that is not an open window do nothing and return 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/platform/platform.h"

// A callback returns kWindowContinue to let the runtime go on with its own handling of the
// message; any other value is the message's result.
inline constexpr uint32_t kWindowContinue = 0xE0E0E0E1;
using WindowCallback = uint32_t (*)(platform::WindowId window, uint32_t message, uint64_t wparam,
                                    int64_t lparam);

// Runtime bits of window_open's flags (the rest are the window system's style bits).
enum : uint32_t {
  kWindowCentreDesktop = 0x00000001,
  kWindowCentreParent = 0x00000002,
  kWindowTool = 0x00000004,
  kWindowNoControls = 0x00000008,
  kWindowNoActivate = 0x02000000,
  kWindowHidden = 0x10000000,
  kWindowStylePopup = 0x80000000,
  kWindowStyleCaption = 0x00C00000,
};
// The marker for an omitted position.
inline constexpr int kWindowDefaultPosition = -65535;

// Returns 0 on failure; for a fixed number the window's handle; for -1 the new number.
int window_open(int number, int x, int y, int width, int height, const char16_t* title, uint32_t flags,
                platform::WindowId parent = 0);
platform::WindowId window_handle(int number);
int window_hide(int number, int hide, uint32_t flags);
void window_set_topmost(int number, int state);
void window_set_callback(WindowCallback callback, int number);
void window_close(int number);
int message_box(const char16_t* title, const char16_t* text, uint32_t flags);

// The icon every window gets when it opens: an encoded picture (PNG, BMP, JPEG) that is
// decoded once here. A picture that cannot be decoded leaves the platform's own icon.
void window_set_default_icon(const void* picture, size_t bytes);

// The window system's positioning call: moves and sizes the window (outer = client here) and
// delivers the size change to its procedure at once, as the classic call does.
void window_set_pos(platform::WindowId window, int x, int y, int width, int height);
// Sends a message straight to the window's procedure and returns its result.
uint32_t window_send_message(platform::WindowId window, uint32_t message, uint64_t wparam, int64_t lparam);
// The window procedure, called by the event pump for every message it takes.
uint32_t window_dispatch(const platform::Message& message);

// The screen follows its host window's size through this hook (one per window).
void window_set_size_listener(platform::WindowId window, void (*listener)(platform::WindowId));
bool window_has_size_listener(platform::WindowId window);

// Runtime events, queued per thread for window_event.
enum : int {
  kEventActivated = 13104,
  kEventMinimised = 13107,
  kEventMaximised = 13108,
  kEventRestored = 13109,
  kEventDeactivated = 13114,
  kEventCloseRequested = 13116,
  kEventMoved = 13117,
  kEventResized = 13118,
};
struct RuntimeEvent {
  int code = 0;
  int window = -1;
  int type = 0;
  int64_t data = 0;
};
void event_queue_push(const RuntimeEvent& event);
bool event_queue_take(RuntimeEvent* event);
void event_queue_drop_window(int number);
