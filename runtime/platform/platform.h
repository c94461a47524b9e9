// runtime/platform/platform.h — everything the runtime needs from the desktop.
//
// One implementation, platform_sdl.cpp (on SDL2), is the only code that includes SDL. The
// layer speaks the window system's own vocabulary to the code above it: windows are non-zero
// handles, input arrives as window messages with the classic message numbers (0x0200 mouse
// moved, 0x0201/0x0202 left button down/up, 0x0010 close request ...), keys are PC set-1 scan
// codes (extended keys as code | 0x80), and audio is one looping buffer with a growing byte
// position. Where a desktop service has no meaning here, the layer does the least that its
// caller needs and says so beside the declaration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

using WindowId = uint32_t;  // 0 = no window

// ---- Errors ----------------------------------------------------------------------------
// Why the most recent failing platform call failed, as "what: the system's reason" (for
// example "opening the audio device: ALSA: Couldn't open audio device"); "" before any failure.
// A later success does not clear it, so a fallback can still say what it fell back from.
std::string last_error();

// ---- Display ---------------------------------------------------------------------------
// Starts the video service. False when there is no real display to show a window on (the
// offscreen driver does not count unless `allow_offscreen` is set, which only tests do).
bool video_start(bool allow_offscreen = false);
void video_stop();
const char* video_driver();  // "x11", "wayland", "offscreen" ...; "" when not running
int display_width();         // primary display size in pixels (system metrics 0 and 1)
int display_height();

// ---- Windows ---------------------------------------------------------------------------
struct WindowStyle {
  bool borderless = false;  // popup: no frame, no caption
  bool hidden = false;      // created hidden
  bool opengl = true;       // carries an OpenGL surface
};
WindowId window_create(const char16_t* title, int x, int y, int width, int height, WindowStyle style);
void window_destroy(WindowId window);
bool window_exists(WindowId window);
void window_show(WindowId window, bool show);  // showing also raises and focuses the window
bool window_visible(WindowId window);
void window_set_bounds(WindowId window, int x, int y, int width, int height);  // outer = client here
void window_move(WindowId window, int x, int y);
void window_get_position(WindowId window, int* x, int* y);
void window_get_client_size(WindowId window, int* width, int* height);  // drawable pixels
void window_set_topmost(WindowId window, bool topmost);
void window_set_icon(WindowId window, const uint32_t* rgba_pixels, int width, int height);

// ---- Messages --------------------------------------------------------------------------
// Message numbers as the classic window system has them.
enum : uint32_t {
  kMsgMove = 0x0003,
  kMsgSize = 0x0005,      // wparam: 0 restored, 1 minimised, 2 maximised
  kMsgActivate = 0x0006,  // wparam: 0 inactive, 1 active
  kMsgClose = 0x0010,
  kMsgNcLeftButtonDown = 0x00A1,
  kMsgNcLeftButtonUp = 0x00A2,
  kMsgKeyDown = 0x0100,
  kMsgKeyUp = 0x0101,
  kMsgChar = 0x0102,
  kMsgMouseMove = 0x0200,
  kMsgLeftButtonDown = 0x0201,
  kMsgLeftButtonUp = 0x0202,
};
inline constexpr int kHitTestCaption = 2;

struct Message {
  WindowId window = 0;
  uint32_t message = 0;
  uint64_t wparam = 0;
  int64_t lparam = 0;  // mouse messages: x in the low 16 bits, y in the next 16 (client pixels)
};
// Takes the next message of any window without waiting. Mouse moves are coalesced: at most
// one move message is pending at any time, and it carries the latest position.
bool message_take(Message* message);
// Sends a message to a window as the window system would handle it itself. Only the
// non-client caption press means something here: 0x00A1 with hit-test 2 starts a drag in
// which the window follows the mouse until the left button is released; 0x00A2 ends it. The
// drag captures the mouse, ends at the first move that finds the button up even when no
// release event came, and keeps the grabbed point of the window on a display.
void message_send(WindowId window, uint32_t message, uint64_t wparam, int64_t lparam);
// Shows a modal box where a display allows it; always also prints "title: text" to stderr.
int message_box(const char16_t* title, const char16_t* text, unsigned flags);

// ---- OpenGL ----------------------------------------------------------------------------
// Double-buffered RGBA context (32 colour bits, 16 depth bits) on the window, made current.
bool gl_context_create(WindowId window);
void gl_context_delete();
void gl_swap(WindowId window);
// Makes the driver take up a new window size at once (some drivers wait for the next swap,
// so this may present the back buffer: clear it first).
void gl_surface_resized(WindowId window);
bool gl_set_swap_interval(int interval);  // false where the driver has no swap control

// ---- Keyboard --------------------------------------------------------------------------
// Fills 256 bytes indexed by PC set-1 scan code, bit 7 set for a key that is down or went
// down since the previous sample (so a tap between two samples is seen once). False while
// none of our windows has the keyboard focus (then `state` is untouched).
bool keyboard_sample(uint8_t state[256]);
// The text the key typed when it was last pressed, following layout and Shift; empty if none.
std::u16string keyboard_typed_text(int scan_code);

// ---- Synthetic input (tests and tools) ---------------------------------------------------
// Queues the events a user would cause, so they take the same path as real input.
void inject_key(int scan_code, bool down);
void inject_text(const char* utf8);
void inject_mouse_move(WindowId window, int x, int y);
void inject_mouse_button(WindowId window, bool down, int x, int y);  // also sets the held state
// What the device reports as held, changed without any event: a release the window never got.
void inject_left_button_state(bool down);
void inject_close_request(WindowId window);
void inject_focus(WindowId window, bool gained);

// ---- Audio: one looping buffer ------------------------------------------------------------
// Plays `bytes` of 16-bit stereo PCM at 44100 Hz from `buffer` in an endless loop, from its
// start, until audio_close. When the default device cannot be opened (no sound hardware) the
// output falls back to a silent device clocked by real time, so positions still advance; false
// only when even that fails. The buffer stays the caller's and may be rewritten while playing
// (behind the play position).
bool audio_open(const void* buffer, uint32_t bytes);
// Does the slow part of audio_open ahead of it: starts the audio driver and opens the device
// (or the silent stand-in), paused. The next audio_open then only hands it the buffer and
// starts it. May run on a worker thread while the main thread opens the window, as long as no
// other audio call runs until that thread is joined.
void audio_prepare();
// Bytes heard since audio_open, growing across loop passes: what the callback has handed over,
// less what the device still holds ahead of it (one device buffer; nothing on the silent
// device); between two device callbacks it is estimated from the time since the last one. The
// caller's writes into the buffer made before this call are visible to the device afterwards.
uint64_t audio_position();
// The device's own buffering that audio_position counts, in milliseconds; 0 when closed.
double audio_device_delay_ms();
void audio_close();            // stops at once (reset) and closes
bool audio_silent_fallback();  // true while playing through the silent stand-in

// ---- Time and threads --------------------------------------------------------------------
uint64_t counter_now();        // high-resolution counter ticks, monotonic
uint64_t counter_frequency();  // ticks per second
uint32_t tick_count_ms();      // milliseconds since boot (wraps)
void sleep_ms(int ms);
uint32_t thread_id();
void process_raise_priority();  // best effort; nothing happens without the right to do it
void thread_raise_priority();   // the calling thread to time-critical, best effort
// Whether the program may start threads of its own: always on a desktop; not on the web page,
// which is built without them (work that would run beside the main thread runs on it).
bool threads_available();

// ---- Frame loop ----------------------------------------------------------------------------
// Calls `step` until it returns false, then `done`. On a desktop a plain loop on the calling
// thread (the caller paces it); in a browser once per animation frame, returning at once.
void frame_loop_run(bool (*step)(void* context), void (*done)(void* context), void* context);

}  // namespace platform
