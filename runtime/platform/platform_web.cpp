// runtime/platform/platform_web.cpp — the platform layer in a web browser, on emscripten.
//
// The page's one canvas (#canvas) is the one window, WebGL 2 its OpenGL context, the browser's
// key and mouse events its messages, and Web Audio its sound. The show's frame loop runs once
// per animation frame (frame_loop_run); sleeping is a no-op, as the browser paces the frames.
// Only this file includes emscripten's headers.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <emscripten/html5_webgl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "runtime/platform/message_queue.h"
#include "runtime/platform/platform.h"

namespace platform {
namespace {

constexpr WindowId kCanvas = 1;
constexpr int kWindowedWidth = 800, kWindowedHeight = 640;

struct State {
  std::string error;
  bool video = false;
  bool window = false;
  bool visible = false;
  bool enlarged = false;  // the largest 5:4 size that fits the browser window
  int width = kWindowedWidth, height = kWindowedHeight;
  bool focus = true;
  std::deque<Message> messages;
  uint8_t key_down[256] = {};
  uint8_t key_tapped[256] = {};
  std::u16string key_text[256];
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE gl = 0;
  bool gl_lost = false;  // the browser took the context away: the show stops
  bool audio = false;
  // The finger being followed: a tap (it lifts soon, near where it went down) toggles the
  // browser's full screen; its moves are mouse moves.
  struct Touch {
    long id = -1;
    long x = 0, y = 0;
    double down_ms = 0;
    bool tap = false;
  } touch;
};
State& state() {
  static State* s = new State;  // lives to the end of the page
  return *s;
}

int64_t pack_point(int x, int y) {
  return int64_t(uint16_t(x)) | (int64_t(uint16_t(y)) << 16);
}

void post(const Message& message) {
  post_message(state().messages, message);
}

std::u16string utf16_from_utf8(const char* text) {
  std::u16string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
    uint32_t c = *p++;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (more) c &= 0x3F >> more;
    for (; more > 0 && (*p & 0xC0) == 0x80; --more) c = (c << 6) | (*p++ & 0x3F);
    if (c >= 0x10000) {
      out += char16_t(0xD800 + ((c - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += char16_t(c);
    }
  }
  return out;
}

// KeyboardEvent.code (the physical key, whatever the layout) to the PC set-1 scan code.
struct KeyName {
  const char* code;
  int scan;
};
constexpr KeyName kKeys[] = {
    {"Escape", 0x01},
    {"Digit1", 0x02},
    {"Digit2", 0x03},
    {"Digit3", 0x04},
    {"Digit4", 0x05},
    {"Digit5", 0x06},
    {"Digit6", 0x07},
    {"Digit7", 0x08},
    {"Digit8", 0x09},
    {"Digit9", 0x0A},
    {"Digit0", 0x0B},
    {"Minus", 0x0C},
    {"Equal", 0x0D},
    {"Backspace", 0x0E},
    {"Tab", 0x0F},
    {"KeyQ", 0x10},
    {"KeyW", 0x11},
    {"KeyE", 0x12},
    {"KeyR", 0x13},
    {"KeyT", 0x14},
    {"KeyY", 0x15},
    {"KeyU", 0x16},
    {"KeyI", 0x17},
    {"KeyO", 0x18},
    {"KeyP", 0x19},
    {"BracketLeft", 0x1A},
    {"BracketRight", 0x1B},
    {"Enter", 0x1C},
    {"ControlLeft", 0x1D},
    {"KeyA", 0x1E},
    {"KeyS", 0x1F},
    {"KeyD", 0x20},
    {"KeyF", 0x21},
    {"KeyG", 0x22},
    {"KeyH", 0x23},
    {"KeyJ", 0x24},
    {"KeyK", 0x25},
    {"KeyL", 0x26},
    {"Semicolon", 0x27},
    {"Quote", 0x28},
    {"Backquote", 0x29},
    {"ShiftLeft", 0x2A},
    {"Backslash", 0x2B},
    {"KeyZ", 0x2C},
    {"KeyX", 0x2D},
    {"KeyC", 0x2E},
    {"KeyV", 0x2F},
    {"KeyB", 0x30},
    {"KeyN", 0x31},
    {"KeyM", 0x32},
    {"Comma", 0x33},
    {"Period", 0x34},
    {"Slash", 0x35},
    {"ShiftRight", 0x36},
    {"NumpadMultiply", 0x37},
    {"AltLeft", 0x38},
    {"Space", 0x39},
    {"CapsLock", 0x3A},
    {"F1", 0x3B},
    {"F2", 0x3C},
    {"F3", 0x3D},
    {"F4", 0x3E},
    {"F5", 0x3F},
    {"F6", 0x40},
    {"F7", 0x41},
    {"F8", 0x42},
    {"F9", 0x43},
    {"F10", 0x44},
    {"NumLock", 0x45},
    {"ScrollLock", 0x46},
    {"Numpad7", 0x47},
    {"Numpad8", 0x48},
    {"Numpad9", 0x49},
    {"NumpadSubtract", 0x4A},
    {"Numpad4", 0x4B},
    {"Numpad5", 0x4C},
    {"Numpad6", 0x4D},
    {"NumpadAdd", 0x4E},
    {"Numpad1", 0x4F},
    {"Numpad2", 0x50},
    {"Numpad3", 0x51},
    {"Numpad0", 0x52},
    {"NumpadDecimal", 0x53},
    {"IntlBackslash", 0x56},
    {"F11", 0x57},
    {"F12", 0x58},
    {"NumpadEnter", 0x9C},
    {"ControlRight", 0x9D},
    {"NumpadDivide", 0xB5},
    {"AltRight", 0xB8},
    {"Home", 0xC7},
    {"ArrowUp", 0xC8},
    {"PageUp", 0xC9},
    {"ArrowLeft", 0xCB},
    {"ArrowRight", 0xCD},
    {"End", 0xCF},
    {"ArrowDown", 0xD0},
    {"PageDown", 0xD1},
    {"Insert", 0xD2},
    {"Delete", 0xD3},
};
int scan_from_code(const char* code) {
  for (const auto& k : kKeys)
    if (std::strcmp(k.code, code) == 0) return k.scan;
  return -1;
}

// Keys the browser would otherwise act on while the show runs: F1 (help), Space and the
// navigation keys (scrolling), Backspace, Tab (focus), Enter and Escape.
bool browser_takes(int scan) {
  switch (scan) {
    case 0x01:
    case 0x0E:
    case 0x0F:
    case 0x1C:
    case 0x39:
    case 0x3B:
    case 0xC7:
    case 0xC8:
    case 0xC9:
    case 0xCB:
    case 0xCD:
    case 0xCF:
    case 0xD0:
    case 0xD1:
      return true;
    default:
      return false;
  }
}

void key_event(int type, const char* code_name, const char* key, bool repeat, unsigned key_code) {
  auto& s = state();
  const int code = scan_from_code(code_name);
  if (code >= 0) {
    if (type == EMSCRIPTEN_EVENT_KEYDOWN) {
      if (!repeat) {
        s.key_down[code] = 1;
        s.key_tapped[code] = 1;
        // KeyboardEvent.key is the typed text for a key that types one character (layout and
        // Shift applied), otherwise a name such as "Enter".
        const std::u16string text = utf16_from_utf8(key);
        s.key_text[code] = text.size() == 1 || (text.size() == 2 && text[0] >= 0xD800 && text[0] < 0xDC00)
                               ? text
                               : std::u16string();
      }
    } else {
      s.key_down[code] = 0;
    }
  }
  post({kCanvas, type == EMSCRIPTEN_EVENT_KEYDOWN ? kMsgKeyDown : kMsgKeyUp, key_code,
        int64_t(code < 0 ? 0 : code) << 16});
  if (type == EMSCRIPTEN_EVENT_KEYDOWN && code >= 0)
    for (char16_t c : s.key_text[code]) post({kCanvas, kMsgChar, c, 0});
}

EM_BOOL on_key(int type, const EmscriptenKeyboardEvent* e, void*) {
  if (!state().window) return false;
  if (e->ctrlKey || e->metaKey) return false;  // the browser's own shortcuts
  key_event(type, e->code, e->key, e->repeat, e->keyCode);
  const int code = scan_from_code(e->code);
  return code >= 0 && browser_takes(code);
}

EM_BOOL on_mouse(int type, const EmscriptenMouseEvent* e, void*) {
  auto& s = state();
  if (!s.window) return false;
  const int x = int(e->targetX), y = int(e->targetY);
  if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
    post({kCanvas, kMsgMouseMove, (e->buttons & 1) ? 1u : 0u, pack_point(x, y)});
  } else if (e->button == 0) {
    const bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
    post({kCanvas, down ? kMsgLeftButtonDown : kMsgLeftButtonUp, down ? 1u : 0u, pack_point(x, y)});
  }
  return true;  // no text selection or drag of the canvas
}

EM_BOOL on_focus(int type, const EmscriptenFocusEvent*, void*) {
  auto& s = state();
  s.focus = type == EMSCRIPTEN_EVENT_FOCUS;
  if (!s.focus) std::memset(s.key_down, 0, sizeof s.key_down);  // releases we will never see
  if (s.window) post({kCanvas, kMsgActivate, s.focus ? 1u : 0u, 0});
  return false;
}

// The page in the browser's full screen and back, where the browser allows it (a phone's
// Safari does not; a refused request is no error). The touch screen's Space.
EM_JS(void, toggle_full_screen, (), {
  const d = document;
  const root = d.documentElement;
  Module.quorvaneFullScreenRequests = (Module.quorvaneFullScreenRequests || 0) + 1;
  const ignore = function(){};
  const quiet = function(promise) {
    if (promise && promise.catch) promise.catch(ignore);
  };
  if (d.fullscreenElement || d.webkitFullscreenElement) {
    quiet(d.exitFullscreen ? d.exitFullscreen() : d.webkitExitFullscreen && d.webkitExitFullscreen());
  } else if (root.requestFullscreen) {
    quiet(root.requestFullscreen());
  } else if (root.webkitRequestFullscreen) {
    root.webkitRequestFullscreen();
  }
});

// A finger on the canvas: its moves count as mouse moves (the show's hint); a tap — one finger,
// lifted within half a second and 12 CSS pixels of where it went down — toggles full screen.
// Chromium sends a tap's compatible mouse events as well (a click: the caption drag that does
// nothing on a page), so the tap's start and end are left to the browser's defaults.
EM_BOOL on_touch(int type, const EmscriptenTouchEvent* e, void*) {
  auto& s = state();
  if (!s.window) return false;
  auto& t = s.touch;
  for (int i = 0; i < e->numTouches; ++i) {
    const EmscriptenTouchPoint& p = e->touches[i];
    if (!p.isChanged) continue;
    if (type == EMSCRIPTEN_EVENT_TOUCHSTART) {
      const bool first = e->numTouches == 1;
      t = {first ? p.identifier : -1, p.targetX, p.targetY, emscripten_get_now(), first};
    } else if (p.identifier == t.id) {
      if (std::abs(p.targetX - t.x) > 12 || std::abs(p.targetY - t.y) > 12) t.tap = false;
      if (type == EMSCRIPTEN_EVENT_TOUCHMOVE) {
        post({kCanvas, kMsgMouseMove, 0, pack_point(int(p.targetX), int(p.targetY))});
      } else {
        if (type == EMSCRIPTEN_EVENT_TOUCHEND && t.tap && emscripten_get_now() - t.down_ms < 500)
          toggle_full_screen();
        t.id = -1;
      }
    }
  }
  return type == EMSCRIPTEN_EVENT_TOUCHMOVE;  // no scrolling or zooming under a moving finger
}

// The enlarged canvas: the largest 5:4 rectangle inside the browser window's inner size, drawn
// at that size (the picture's pixels stretched by the GL's nearest sampling, crisp). Where that
// is smaller than 800 x 640 the canvas keeps its 800 x 640 pixels and the page shrinks it.
void enlarged_size(int* width, int* height) {
  const int inner_width = EM_ASM_INT({ return window.innerWidth; });
  const int inner_height = EM_ASM_INT({ return window.innerHeight; });
  const int h = std::max(kWindowedHeight, std::min(inner_height, inner_width * 4 / 5));
  *width = h * 5 / 4;
  *height = h;
}

// The page's style sizes the canvas to fit the viewport (windowed: 800 x 640 where it fits;
// enlarged: the largest 5:4 box). How the browser scales the canvas's pixels to that box:
// where each of the picture's pixels gets at least one screen pixel (a phone's dense screen,
// where 390 CSS pixels are 1,170 device pixels), the nearest pixel, crisp; where the box has
// fewer screen pixels than the picture (a small desktop window), smoothing, which keeps the
// one-pixel strokes of the text as lighter strokes where the nearest pixel would drop every
// other one.
void fit_canvas() {
  EM_ASM(
      {
        const canvas = document.getElementById('canvas');
        canvas.classList.toggle('enlarged', $0 != 0);
        const box = canvas.getBoundingClientRect();
        const crisp = box.width * (window.devicePixelRatio || 1) >= canvas.width - 0.5;
        canvas.style.imageRendering = crisp ? 'pixelated' : 'auto';
      },
      state().enlarged && state().window);
}

// The canvas's pixels (which clears it: only when the size changes), then its fit.
void apply_canvas_size() {
  auto& s = state();
  int width = 0, height = 0;
  emscripten_get_canvas_element_size("#canvas", &width, &height);
  if (width != s.width || height != s.height)
    emscripten_set_canvas_element_size("#canvas", s.width, s.height);
  fit_canvas();
}

// The browser window resized, turned, or entered or left full screen: the page's style refits
// the canvas; the enlarged canvas takes the new size, and the scaling is chosen again.
EM_BOOL on_resize(int, const EmscriptenUiEvent*, void*) {
  auto& s = state();
  if (!s.window) return false;
  int w = s.width, h = s.height;
  if (s.enlarged) enlarged_size(&w, &h);
  const bool resized = w != s.width || h != s.height;
  s.width = w;
  s.height = h;
  apply_canvas_size();
  if (resized) post({kCanvas, kMsgSize, 0, pack_point(w, h)});
  return false;
}

// The browser lost the WebGL context (a driver reset or update, too many pages with WebGL, or
// WEBGL_lose_context): every texture and program is gone. The frame loop stops the show at its
// next frame and the page says so and offers a reload. Taking the event (preventDefault) lets
// the browser restore the context, but nothing of the show's is remade on it.
EM_BOOL on_context_lost(int, const void*, void*) {
  state().gl_lost = true;
  EM_ASM({
    if (Module.onContextLost) Module.onContextLost();
  });
  return true;
}

// The page's listeners, added when the show starts and removed when it stops, so that a show
// watched again gets each event once.
void listen(bool on) {
  const auto key = on ? on_key : nullptr;
  const auto mouse = on ? on_mouse : nullptr;
  const auto focus = on ? on_focus : nullptr;
  const auto touch = on ? on_touch : nullptr;
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, key);
  emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, key);
  emscripten_set_mousemove_callback("#canvas", nullptr, true, mouse);
  emscripten_set_mousedown_callback("#canvas", nullptr, true, mouse);
  emscripten_set_mouseup_callback("#canvas", nullptr, true, mouse);
  emscripten_set_touchstart_callback("#canvas", nullptr, true, touch);
  emscripten_set_touchmove_callback("#canvas", nullptr, true, touch);
  emscripten_set_touchend_callback("#canvas", nullptr, true, touch);
  emscripten_set_touchcancel_callback("#canvas", nullptr, true, touch);
  emscripten_set_focus_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, focus);
  emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, focus);
  emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, on ? on_resize : nullptr);
}

void remember_error(const char* what) {
  state().error = what;
}

}  // namespace

std::string last_error() {
  return state().error;
}

// ---- Display ----------------------------------------------------------------------------

bool video_start(bool) {
  auto& s = state();
  if (s.video) return true;
  listen(true);
  s.video = true;
  return true;
}

void video_stop() {
  auto& s = state();
  if (s.video) listen(false);
  s.video = false;
  s.messages.clear();
}

const char* video_driver() {
  return state().video ? "web" : "";
}
int display_width() {
  return EM_ASM_INT({ return window.innerWidth; });
}
int display_height() {
  return EM_ASM_INT({ return window.innerHeight; });
}

// ---- Windows: the canvas ------------------------------------------------------------------

WindowId window_create(const char16_t*, int, int, int width, int height, WindowStyle style) {
  auto& s = state();
  if (s.window) {
    remember_error("creating a window: the page has one canvas");
    return 0;
  }
  s.window = true;
  s.enlarged = false;
  s.width = width;
  s.height = height;
  s.visible = !style.hidden;
  apply_canvas_size();
  return kCanvas;
}

void window_destroy(WindowId window) {
  if (window != kCanvas) return;
  state().window = false;
  fit_canvas();  // the windowed fit for the page's "watch again", over the show's last picture
}
bool window_exists(WindowId window) {
  return window == kCanvas && state().window;
}
void window_show(WindowId window, bool show) {
  if (window_exists(window)) state().visible = show;
}
bool window_visible(WindowId window) {
  return window_exists(window) && state().visible;
}

// The show asks for 800 x 640 or for its enlarged size: any other size means the largest 5:4
// canvas that fits the browser window, which follows the window while it is resized.
void window_set_bounds(WindowId window, int, int, int width, int height) {
  auto& s = state();
  if (!window_exists(window)) return;
  s.enlarged = !(width == kWindowedWidth && height == kWindowedHeight);
  if (s.enlarged) {
    enlarged_size(&s.width, &s.height);
  } else {
    s.width = width;
    s.height = height;
  }
  apply_canvas_size();
}
void window_move(WindowId, int, int) {}  // the page places the canvas
void window_get_position(WindowId, int* x, int* y) {
  *x = 0;
  *y = 0;
}
void window_get_client_size(WindowId window, int* width, int* height) {
  const bool exists = window_exists(window);
  *width = exists ? state().width : 0;
  *height = exists ? state().height : 0;
}
void window_set_topmost(WindowId, bool) {}
void window_set_icon(WindowId, const uint32_t*, int, int) {}  // the page's own icon

// ---- Messages -----------------------------------------------------------------------------

bool message_take(Message* message) {
  auto& s = state();
  if (s.messages.empty()) return false;
  *message = s.messages.front();
  s.messages.pop_front();
  return true;
}

// A caption drag has no window to move on a page: nothing happens.
void message_send(WindowId, uint32_t, uint64_t, int64_t) {}

// The box is a message over the page (with the platform's last error beside the show's text),
// and a line on the console.
int message_box(const char16_t* title, const char16_t* text, unsigned) {
  std::string t, m;
  for (const char16_t* p = title; p && *p; ++p) t += char(*p < 0x80 ? *p : '?');
  for (const char16_t* p = text; p && *p; ++p) m += char(*p < 0x80 ? *p : '?');
  std::fprintf(stderr, "%s: %s\n", t.c_str(), m.c_str());
  EM_ASM(
      {
        if (Module.onMessageBox) Module.onMessageBox(UTF8ToString($0), UTF8ToString($1), UTF8ToString($2));
      },
      t.c_str(), m.c_str(), state().error.c_str());
  return 1;
}

// ---- OpenGL: WebGL 2 ----------------------------------------------------------------------

bool gl_context_create(WindowId window) {
  auto& s = state();
  if (!window_exists(window)) return false;
  if (s.gl_lost) {
    remember_error("the browser lost the WebGL context");
    return false;
  }
  if (s.gl) return emscripten_webgl_make_context_current(s.gl) == EMSCRIPTEN_RESULT_SUCCESS;
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.alpha = false;  // the page shows the picture as it is, never blended with the page
  attributes.depth = true;
  attributes.stencil = false;
  attributes.antialias = false;
  attributes.premultipliedAlpha = false;
  // The picture stays readable after it was presented (the browser test reads the canvas).
  attributes.preserveDrawingBuffer = true;
  attributes.majorVersion = 2;
  attributes.minorVersion = 0;
  s.gl = emscripten_webgl_create_context("#canvas", &attributes);
  if (s.gl <= 0) {
    s.gl = 0;
    remember_error("making the WebGL 2 context: the browser refused it");
    return false;
  }
  emscripten_set_webglcontextlost_callback("#canvas", nullptr, true, on_context_lost);
  return emscripten_webgl_make_context_current(s.gl) == EMSCRIPTEN_RESULT_SUCCESS;
}

// The context stays with the canvas (a page cannot make a second one on it after losing the
// first); the next gl_context_create makes it current again.
void gl_context_delete() {}
void gl_swap(WindowId) {}  // the browser presents the canvas after each animation frame
void gl_surface_resized(WindowId) {}
bool gl_set_swap_interval(int) {
  return false;  // the animation frame is the only pace
}

// ---- Keyboard -----------------------------------------------------------------------------

bool keyboard_sample(uint8_t key_state[256]) {
  auto& s = state();
  if (!s.focus || !s.window) return false;
  for (int i = 0; i < 256; ++i) key_state[i] = (s.key_down[i] | s.key_tapped[i]) ? 0x80 : 0;
  std::memset(s.key_tapped, 0, sizeof s.key_tapped);
  return true;
}

std::u16string keyboard_typed_text(int scan_code) {
  if (scan_code < 0 || scan_code > 255) return {};
  return state().key_text[scan_code];
}

// ---- Synthetic input ----------------------------------------------------------------------

void inject_key(int scan_code, bool down) {
  for (const auto& k : kKeys)
    if (k.scan == scan_code) {
      key_event(down ? EMSCRIPTEN_EVENT_KEYDOWN : EMSCRIPTEN_EVENT_KEYUP, k.code, "", false, 0);
      return;
    }
}
void inject_text(const char* utf8) {
  for (char16_t c : utf16_from_utf8(utf8)) post({kCanvas, kMsgChar, c, 0});
}
void inject_mouse_move(WindowId window, int x, int y) {
  post({window, kMsgMouseMove, 0, pack_point(x, y)});
}
void inject_mouse_button(WindowId window, bool down, int x, int y) {
  post({window, down ? kMsgLeftButtonDown : kMsgLeftButtonUp, down ? 1u : 0u, pack_point(x, y)});
}
void inject_left_button_state(bool) {}
void inject_close_request(WindowId window) {
  post({window, kMsgClose, 0, 0});
}
void inject_focus(WindowId window, bool gained) {
  state().focus = gained;
  post({window, kMsgActivate, gained ? 1u : 0u, 0});
}

// ---- Audio: Web Audio ---------------------------------------------------------------------
//
// A ScriptProcessorNode on the page's AudioContext (made by the page's click, as browsers only
// start sound after a gesture) copies from the looping buffer in the WebAssembly memory at its
// own cursor. Every block it fills is played at the block's playbackTime, one block after the
// other, so context time t holds buffer byte (t - t0) x 44100 x 4 from the first block's time
// t0. The audible position is that byte at the context time now reaching the speakers: the
// output timestamp where the browser gives one, otherwise the current time less the context's
// base and output latency.

EM_JS(int, web_audio_open, (const void* buffer, uint32_t bytes), {
  const AudioContextClass = window.AudioContext || window.webkitAudioContext;
  if (!AudioContextClass) return 0;
  let ctx = Module.quorvaneAudioContext;
  if (!ctx) {
    try {
      ctx = new AudioContextClass({sampleRate : 44100});
    } catch (e) {
      ctx = new AudioContextClass();
    }
    Module.quorvaneAudioContext = ctx;
  }
  if (ctx.state == 'suspended') ctx.resume();
  const node = ctx.createScriptProcessor(2048, 0, 2);
  // 44100 Hz frames per context frame (1 where the context runs at 44100 Hz, as asked).
  const step = 44100 / ctx.sampleRate;
  const audio =
      {ctx : ctx, node : node, buffer : buffer, bytes : bytes, frame : 0, t0 : -1, read : 0, heard : 0};
  node.onaudioprocess = function(e) {
    // The program renders the ring ahead once per animation frame; a hidden tab gets no
    // animation frames, so the node asks for the rendering itself as well (the page's program
    // exports quorvane_web_pump for this).
    if (Module._quorvane_web_pump) Module._quorvane_web_pump();
    const left = e.outputBuffer.getChannelData(0), right = e.outputBuffer.getChannelData(1);
    const frames = audio.bytes / 4, base = audio.buffer >> 1;
    if (audio.t0 < 0) audio.t0 = e.playbackTime;
    // A test may ask for a record of the first frames played (the page's ?record-audio).
    const record = Module.quorvaneRecordFrames || 0;
    if (record && !Module.quorvaneRecorded)
      Module.quorvaneRecorded = {pcm : new Int16Array(2 * record), frames : 0};
    const recorded = Module.quorvaneRecorded;
    for (let i = 0; i < left.length; ++i) {
      const f = Math.floor(audio.frame) % frames;
      left[i] = HEAP16[base + 2 * f] / 32768;
      right[i] = HEAP16[base + 2 * f + 1] / 32768;
      if (recorded && recorded.frames < record) {
        recorded.pcm[2 * recorded.frames] = HEAP16[base + 2 * f];
        recorded.pcm[2 * recorded.frames + 1] = HEAP16[base + 2 * f + 1];
        recorded.frames += 1;
      }
      audio.frame += step;
    }
    audio.read = Math.floor(audio.frame) * 4;
  };
  node.connect(ctx.destination);
  Module.quorvaneAudio = audio;
  return 1;
});

EM_JS(double, web_audio_position, (), {
  const audio = Module.quorvaneAudio;
  if (!audio || audio.t0 < 0) return 0;
  const ctx = audio.ctx;
  let now = -1;
  if (ctx.getOutputTimestamp) {
    const stamp = ctx.getOutputTimestamp();
    if (stamp.contextTime > 0 && stamp.performanceTime > 0)
      now = stamp.contextTime + Math.max(0, performance.now() - stamp.performanceTime) / 1000;
  }
  if (now < 0) now = ctx.currentTime - (ctx.baseLatency || 0) - (ctx.outputLatency || 0);
  let byte = Math.floor(Math.max(0, now - audio.t0) * 44100) * 4;
  byte = Math.min(byte, audio.read);  // never past what the node has taken
  audio.heard = Math.max(audio.heard, byte);
  return audio.heard;
});

// The context's own buffering in ms (the position above already counts it).
EM_JS(double, web_audio_latency_ms, (), {
  const audio = Module.quorvaneAudio;
  if (!audio) return 0;
  return ((audio.ctx.baseLatency || 0) + (audio.ctx.outputLatency || 0)) * 1000;
});

EM_JS(void, web_audio_close, (), {
  const audio = Module.quorvaneAudio;
  if (!audio) return;
  audio.node.onaudioprocess = null;
  audio.node.disconnect();
  Module.quorvaneAudio = null;
});

void audio_prepare() {}  // the audio context is made on the click that starts the show

bool audio_open(const void* buffer, uint32_t bytes) {
  audio_close();
  if (!buffer || bytes < 4 || bytes % 4) return false;
  state().audio = web_audio_open(buffer, bytes) != 0;
  if (!state().audio) remember_error("opening the audio output: the browser has no Web Audio");
  return state().audio;
}
uint64_t audio_position() {
  return state().audio ? uint64_t(web_audio_position()) : 0;
}
double audio_device_delay_ms() {
  return state().audio ? web_audio_latency_ms() : 0.0;
}
void audio_close() {
  if (state().audio) web_audio_close();
  state().audio = false;
}
bool audio_silent_fallback() {
  return false;
}

// ---- Time and threads ---------------------------------------------------------------------

uint64_t counter_now() {
  return uint64_t(emscripten_get_now() * 1000.0);  // microseconds
}
uint64_t counter_frequency() {
  return 1000000;
}
uint32_t tick_count_ms() {
  return uint32_t(uint64_t(emscripten_get_now()));
}
void sleep_ms(int) {}  // the browser paces the frames: the frame timer's wait does nothing
uint32_t thread_id() {
  return 1;
}
void process_raise_priority() {}
void thread_raise_priority() {}
bool threads_available() {
  return false;
}

// ---- Frame loop ---------------------------------------------------------------------------

namespace {
struct Loop {
  bool (*step)(void*) = nullptr;
  void (*done)(void*) = nullptr;
  void* context = nullptr;
};
Loop loop;
// Ends the show after its closing card, or at once when the WebGL context is gone (the page
// has said so then, and offers a reload instead of watching again).
void animation_frame(void*) {
  const bool lost = state().gl_lost;
  if (!lost && loop.step(loop.context)) return;
  emscripten_cancel_main_loop();
  loop.done(loop.context);
  if (!lost)
    EM_ASM({
      if (Module.onShowEnded) Module.onShowEnded();
    });
}
}  // namespace

void frame_loop_run(bool (*step)(void* context), void (*done)(void* context), void* context) {
  loop = {step, done, context};
  emscripten_set_main_loop_arg(animation_frame, nullptr, 0, false);
}

}  // namespace platform
