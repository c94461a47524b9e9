// runtime/platform/platform_sdl.cpp — the platform layer on SDL2: windows, input and OpenGL
// (the sound is audio_sdl.cpp; the error record, clock and threads base_sdl.cpp).
//
// Messages: SDL's events are drained into our own FIFO of classic window messages. A mouse
// move replaces any move still pending (at most one is queued, as the classic window system
// synthesises them), and the caption drag that 0x00A1 starts is carried out here while the
// events are drained, since SDL's own hit-test would swallow the button events.
// Keyboard: a 256-byte table of PC set-1 scan codes built from key events, with a "went down
// since the last sample" bit so a tap shorter than a frame is still seen once.
#include <SDL.h>
#include <SDL_opengl.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "runtime/platform/error.h"
#include "runtime/platform/message_queue.h"
#include "runtime/platform/platform.h"

namespace platform {
namespace {

// SDL scancodes (USB HID usages) to PC set-1 scan codes; extended keys carry bit 7.
struct ScanCodePair {
  SDL_Scancode sdl;
  uint8_t set1;
};
constexpr ScanCodePair kScanCodes[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},      {SDL_SCANCODE_1, 0x02},           {SDL_SCANCODE_2, 0x03},
    {SDL_SCANCODE_3, 0x04},           {SDL_SCANCODE_4, 0x05},           {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},           {SDL_SCANCODE_7, 0x08},           {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0A},           {SDL_SCANCODE_0, 0x0B},           {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},      {SDL_SCANCODE_BACKSPACE, 0x0E},   {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10},           {SDL_SCANCODE_W, 0x11},           {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13},           {SDL_SCANCODE_T, 0x14},           {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16},           {SDL_SCANCODE_I, 0x17},           {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},           {SDL_SCANCODE_LEFTBRACKET, 0x1A}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
    {SDL_SCANCODE_RETURN, 0x1C},      {SDL_SCANCODE_LCTRL, 0x1D},       {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_S, 0x1F},           {SDL_SCANCODE_D, 0x20},           {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22},           {SDL_SCANCODE_H, 0x23},           {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},           {SDL_SCANCODE_L, 0x26},           {SDL_SCANCODE_SEMICOLON, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 0x28},  {SDL_SCANCODE_GRAVE, 0x29},       {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},   {SDL_SCANCODE_Z, 0x2C},           {SDL_SCANCODE_X, 0x2D},
    {SDL_SCANCODE_C, 0x2E},           {SDL_SCANCODE_V, 0x2F},           {SDL_SCANCODE_B, 0x30},
    {SDL_SCANCODE_N, 0x31},           {SDL_SCANCODE_M, 0x32},           {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},      {SDL_SCANCODE_SLASH, 0x35},       {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},        {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_CAPSLOCK, 0x3A},    {SDL_SCANCODE_F1, 0x3B},          {SDL_SCANCODE_F2, 0x3C},
    {SDL_SCANCODE_F3, 0x3D},          {SDL_SCANCODE_F4, 0x3E},          {SDL_SCANCODE_F5, 0x3F},
    {SDL_SCANCODE_F6, 0x40},          {SDL_SCANCODE_F7, 0x41},          {SDL_SCANCODE_F8, 0x42},
    {SDL_SCANCODE_F9, 0x43},          {SDL_SCANCODE_F10, 0x44},         {SDL_SCANCODE_NUMLOCKCLEAR, 0x45},
    {SDL_SCANCODE_SCROLLLOCK, 0x46},  {SDL_SCANCODE_KP_7, 0x47},        {SDL_SCANCODE_KP_8, 0x48},
    {SDL_SCANCODE_KP_9, 0x49},        {SDL_SCANCODE_KP_MINUS, 0x4A},    {SDL_SCANCODE_KP_4, 0x4B},
    {SDL_SCANCODE_KP_5, 0x4C},        {SDL_SCANCODE_KP_6, 0x4D},        {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_1, 0x4F},        {SDL_SCANCODE_KP_2, 0x50},        {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52},        {SDL_SCANCODE_KP_PERIOD, 0x53},   {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
    {SDL_SCANCODE_F11, 0x57},         {SDL_SCANCODE_F12, 0x58},         {SDL_SCANCODE_KP_ENTER, 0x9C},
    {SDL_SCANCODE_RCTRL, 0x9D},       {SDL_SCANCODE_KP_DIVIDE, 0xB5},   {SDL_SCANCODE_RALT, 0xB8},
    {SDL_SCANCODE_HOME, 0xC7},        {SDL_SCANCODE_UP, 0xC8},          {SDL_SCANCODE_PAGEUP, 0xC9},
    {SDL_SCANCODE_LEFT, 0xCB},        {SDL_SCANCODE_RIGHT, 0xCD},       {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0},        {SDL_SCANCODE_PAGEDOWN, 0xD1},    {SDL_SCANCODE_INSERT, 0xD2},
    {SDL_SCANCODE_DELETE, 0xD3},      {SDL_SCANCODE_LGUI, 0xDB},        {SDL_SCANCODE_RGUI, 0xDC},
    {SDL_SCANCODE_APPLICATION, 0xDD},
};

int set1_from_sdl(SDL_Scancode code) {
  for (const auto& pair : kScanCodes)
    if (pair.sdl == code) return pair.set1;
  return -1;
}

SDL_Scancode sdl_from_set1(int code) {
  for (const auto& pair : kScanCodes)
    if (pair.set1 == code) return pair.sdl;
  return SDL_SCANCODE_UNKNOWN;
}

struct Drag {
  WindowId window = 0;         // 0 = no drag
  int grab_x = 0, grab_y = 0;  // client position of the pointer when the drag began
  bool captured = false;       // SDL_CaptureMouse took the pointer for this drag
  bool checked = false;        // the button's real state was read during this pump
};

struct State {
  bool video = false;
  SDL_GLContext gl = nullptr;
  std::deque<Message> messages;
  int last_pointer_x = 0, last_pointer_y = 0;
  WindowId pointer_window = 0;
  bool left_down = false;           // as of the events drained so far
  bool injected_left_down = false;  // the button as synthetic input holds it (inject_*)
  Drag drag;

  uint8_t key_down[256] = {};    // 1 while the key is held
  uint8_t key_tapped[256] = {};  // went down since the last sample
  std::u16string key_text[256];  // what the key typed on its last press
  int last_key_pressed = -1;     // scan code whose press the next text input belongs to
  WindowId focus = 0;
};

State& state() {
  static State s;
  return s;
}

int64_t pack_point(int x, int y) {
  return int64_t((uint32_t(uint16_t(x))) | (uint32_t(uint16_t(y)) << 16));
}

std::string utf8_from_utf16(const char16_t* text) {
  std::string out;
  if (!text) return out;
  for (; *text; ++text) {
    uint32_t c = *text;
    if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
      ++text;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string utf16_from_utf8(const char* text) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    uint32_t c = *p++;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    c &= more == 3 ? 0x07 : more == 2 ? 0x0F : more == 1 ? 0x1F : 0x7F;
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

void post(const Message& message) {
  post_message(state().messages, message);
}

// Waits until the context has carried out every command. Unbinding a context flushes its
// pending drawing to the rasteriser's threads without waiting; Mesa's llvmpipe (seen with Mesa
// 22.3 under Xvfb) can then tear those threads down while they start on that last batch, and one
// of them waits at its barrier for ever, hanging the display's close in pthread_join. The show's
// last frame is drawn and never flipped, so every exit had such a batch pending; drained, the
// threads are idle when they are told to stop.
void gl_drain() {
  if (state().gl && SDL_GL_GetCurrentContext() == state().gl) glFinish();
}

void end_drag() {
  auto& s = state();
  if (s.drag.captured) SDL_CaptureMouse(SDL_FALSE);
  s.drag = {};
}

// Whether the left button is held right now on the device (or by synthetic input), whatever
// events arrived. Under Xvfb without a window manager SDL has been seen to deliver a caption
// press but never its release; every later move then dragged the window off the screen.
bool left_button_held() {
  return state().injected_left_down || (SDL_GetGlobalMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) != 0;
}

// Moves the window so that the grab point follows the pointer, but keeps that point on a
// display: a window can always be taken back by the place it was grabbed.
void follow_drag(WindowId window, int x, int y) {
  auto& s = state();
  if (s.drag.window == 0 || s.drag.window != window) return;
  SDL_Window* w = SDL_GetWindowFromID(window);
  if (!w) return;
  // The global state is read once per pump, at the first move. SDL caches it between the X
  // server's raw pointer events: under Xvfb (xdotool moving the pointer) it kept the press's
  // position and button throughout, so there only the capture and the release event end a drag.
  if (!s.drag.checked) {
    s.drag.checked = true;
    if (!left_button_held()) {
      end_drag();
      return;
    }
  }
  if (x == s.drag.grab_x && y == s.drag.grab_y) return;
  int wx = 0, wy = 0;
  SDL_GetWindowPosition(w, &wx, &wy);
  SDL_Point grab = {wx + x, wy + y};  // where the grab point goes, in desktop pixels
  bool on_a_display = false;
  for (int d = 0; d < SDL_GetNumVideoDisplays() && !on_a_display; ++d) {
    SDL_Rect bounds;
    on_a_display = SDL_GetDisplayBounds(d, &bounds) == 0 && SDL_PointInRect(&grab, &bounds);
  }
  SDL_Rect bounds;
  const int display = std::max(0, SDL_GetWindowDisplayIndex(w));
  if (!on_a_display && SDL_GetDisplayBounds(display, &bounds) == 0) {
    grab.x = std::clamp(grab.x, bounds.x, bounds.x + bounds.w - 1);
    grab.y = std::clamp(grab.y, bounds.y, bounds.y + bounds.h - 1);
  }
  SDL_SetWindowPosition(w, grab.x - s.drag.grab_x, grab.y - s.drag.grab_y);
}

void translate(const SDL_Event& e) {
  auto& s = state();
  switch (e.type) {
    case SDL_MOUSEMOTION:
      s.last_pointer_x = e.motion.x;
      s.last_pointer_y = e.motion.y;
      s.pointer_window = e.motion.windowID;
      follow_drag(e.motion.windowID, e.motion.x, e.motion.y);
      post({e.motion.windowID, kMsgMouseMove, e.motion.state & SDL_BUTTON_LMASK ? 1u : 0u,
            pack_point(e.motion.x, e.motion.y)});
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (e.button.button != SDL_BUTTON_LEFT) break;
      s.last_pointer_x = e.button.x;
      s.last_pointer_y = e.button.y;
      s.pointer_window = e.button.windowID;
      s.left_down = e.type == SDL_MOUSEBUTTONDOWN;
      if (!s.left_down) end_drag();
      post({e.button.windowID, e.type == SDL_MOUSEBUTTONDOWN ? kMsgLeftButtonDown : kMsgLeftButtonUp,
            e.type == SDL_MOUSEBUTTONDOWN ? 1u : 0u, pack_point(e.button.x, e.button.y)});
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const int code = set1_from_sdl(e.key.keysym.scancode);
      if (code >= 0) {
        if (e.type == SDL_KEYDOWN) {
          if (!e.key.repeat) {
            s.key_down[code] = 1;
            s.key_tapped[code] = 1;
            s.key_text[code].clear();
          }
          s.last_key_pressed = code;
        } else {
          s.key_down[code] = 0;
          if (s.last_key_pressed == code) s.last_key_pressed = -1;
        }
      }
      post({e.key.windowID, e.type == SDL_KEYDOWN ? kMsgKeyDown : kMsgKeyUp, uint64_t(e.key.keysym.sym),
            int64_t(code < 0 ? 0 : code) << 16});
      break;
    }
    case SDL_TEXTINPUT: {
      // Text arrives between a key's press and its release and follows layout and Shift:
      // it belongs to the key pressed last.
      const std::u16string text = utf16_from_utf8(e.text.text);
      if (s.last_key_pressed >= 0 && s.key_text[s.last_key_pressed].empty())
        s.key_text[s.last_key_pressed] = text;
      for (char16_t c : text) post({e.text.windowID, kMsgChar, c, 0});
      break;
    }
    case SDL_WINDOWEVENT: {
      const WindowId window = e.window.windowID;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          post({window, kMsgClose, 0, 0});
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          s.focus = window;
          post({window, kMsgActivate, 1, 0});
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          if (s.focus == window) s.focus = 0;
          // Keys held while the focus leaves are never released for us: forget them.
          std::memset(s.key_down, 0, sizeof s.key_down);
          post({window, kMsgActivate, 0, 0});
          break;
        case SDL_WINDOWEVENT_MOVED:
          post({window, kMsgMove, 0, pack_point(e.window.data1, e.window.data2)});
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          post({window, kMsgSize, 0, pack_point(e.window.data1, e.window.data2)});
          break;
        case SDL_WINDOWEVENT_MINIMIZED:
          post({window, kMsgSize, 1, 0});
          break;
        case SDL_WINDOWEVENT_MAXIMIZED:
          post({window, kMsgSize, 2, 0});
          break;
        default:
          break;
      }
      break;
    }
    default:
      break;  // SDL_QUIT (last window closed, signals) closes nothing: only Escape ends the show
  }
}

void pump() {
  if (!state().video) return;
  SDL_PumpEvents();
  state().drag.checked = false;
  SDL_Event events[64];
  int n;
  while ((n = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) > 0)
    for (int i = 0; i < n; ++i) translate(events[i]);
}

}  // namespace

// ---- Display ---------------------------------------------------------------------------

namespace {

#if defined(SDL_VIDEO_DRIVER_X11)
// Xlib's default error handler turns any X error into exit(1) without a word. An X server that
// accepts the window but refuses the OpenGL context (no GLX driver it can load, as over ssh -X
// to a modern server) answers the window's GLX probe with such an error. Errors are recorded
// here instead: the context is then refused like any other failure, and an error later in the
// run costs the request that caused it, not the show.
std::atomic<int> g_x_error{0};
int record_x_error(Display*, XErrorEvent* event) {
  int none = 0;
  g_x_error.compare_exchange_strong(none, event->error_code);
  return 0;
}
void catch_x_errors() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver && std::strcmp(driver, "x11") == 0) XSetErrorHandler(record_x_error);
}
#else
void catch_x_errors() {}
#endif

// The first X error code of the run, 0 when there was none (or no X11).
int x_errors_seen() {
#if defined(SDL_VIDEO_DRIVER_X11)
  return g_x_error.load();
#else
  return 0;
#endif
}

}  // namespace

bool video_start(bool allow_offscreen) {
  auto& s = state();
  if (s.video) return true;
  // Ctrl+C in a terminal ends the process as usual; SDL would turn it into a quit event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
#if !defined(_WIN32) && !defined(__APPLE__)
  // With no X or Wayland display SDL would try every driver first: where a run may go without a
  // screen, name the one that works without one. (Windows always has its own.)
  const auto unset = [](const char* name) {
    const char* value = std::getenv(name);
    return !value || !*value;
  };
  if (allow_offscreen && unset("SDL_VIDEODRIVER") && unset("DISPLAY") && unset("WAYLAND_DISPLAY"))
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
#endif
#ifdef _WIN32
  // The program's own main() runs SDL (no SDL_main). The window class is named after window 0,
  // as the window layer names its windows, with the executable's icon resource 1 (all five
  // sizes: Windows picks the small icon from it). CS_OWNDC and CS_BYTEALIGNCLIENT are what SDL
  // gives its own class: an OpenGL window keeps one device context for its whole life.
  SDL_SetMainReady();
  SDL_SetHint(SDL_HINT_WINDOWS_INTRESOURCE_ICON, "1");
  SDL_RegisterApp("WindowClass_0", CS_DBLCLKS | CS_OWNDC | CS_BYTEALIGNCLIENT, GetModuleHandleW(nullptr));
#endif
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    remember_error("starting video");
    return false;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  // With no display SDL still starts its offscreen driver; that is no screen to show on.
  if (!allow_offscreen && driver &&
      (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
    SDL_SetError("no display (only SDL's %s video driver started)", driver);
    remember_error("starting video");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  catch_x_errors();
  s.video = true;
  return true;
}

void video_stop() {
  auto& s = state();
  if (!s.video) return;
  end_drag();
  gl_context_delete();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  s.video = false;
  s.messages.clear();
  s.drag = {};
  s.injected_left_down = false;
  s.focus = 0;
}

const char* video_driver() {
  const char* name = state().video ? SDL_GetCurrentVideoDriver() : nullptr;
  return name ? name : "";
}

static bool display_bounds(SDL_Rect* rect) {
  return state().video && SDL_GetDisplayBounds(0, rect) == 0;
}

int display_width() {
  SDL_Rect r;
  return display_bounds(&r) ? r.w : 0;
}

int display_height() {
  SDL_Rect r;
  return display_bounds(&r) ? r.h : 0;
}

// ---- Windows ---------------------------------------------------------------------------

WindowId window_create(const char16_t* title, int x, int y, int width, int height, WindowStyle style) {
  if (!state().video) return 0;
  Uint32 flags = 0;
  if (style.borderless) flags |= SDL_WINDOW_BORDERLESS;
  if (style.hidden) flags |= SDL_WINDOW_HIDDEN;
  if (style.opengl) flags |= SDL_WINDOW_OPENGL;
  SDL_Window* w =
      SDL_CreateWindow(utf8_from_utf16(title).c_str(), x, y, std::max(width, 1), std::max(height, 1), flags);
  if (!w) remember_error("creating a window");
  return w ? SDL_GetWindowID(w) : 0;
}

void window_destroy(WindowId window) {
  auto& s = state();
  if (SDL_Window* w = s.video ? SDL_GetWindowFromID(window) : nullptr) {
    if (SDL_GL_GetCurrentWindow() == w) gl_drain();  // destroying it unbinds the context
    if (s.drag.window == window) end_drag();
    if (s.focus == window) s.focus = 0;
    SDL_DestroyWindow(w);
    // Messages of a destroyed window are dropped with it.
    std::erase_if(s.messages, [window](const Message& m) { return m.window == window; });
  }
}

bool window_exists(WindowId window) {
  return state().video && window && SDL_GetWindowFromID(window);
}

void window_show(WindowId window, bool show) {
  SDL_Window* w = state().video ? SDL_GetWindowFromID(window) : nullptr;
  if (!w) return;
  if (show) {
    SDL_ShowWindow(w);
    SDL_RaiseWindow(w);
    SDL_SetWindowInputFocus(w);
  } else {
    SDL_HideWindow(w);
  }
}

bool window_visible(WindowId window) {
  SDL_Window* w = state().video ? SDL_GetWindowFromID(window) : nullptr;
  return w && (SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN);
}

void window_set_bounds(WindowId window, int x, int y, int width, int height) {
  SDL_Window* w = state().video ? SDL_GetWindowFromID(window) : nullptr;
  if (!w) return;
  SDL_SetWindowSize(w, std::max(width, 1), std::max(height, 1));
  SDL_SetWindowPosition(w, x, y);
}

void window_move(WindowId window, int x, int y) {
  if (SDL_Window* w = state().video ? SDL_GetWindowFromID(window) : nullptr) SDL_SetWindowPosition(w, x, y);
}

void window_get_position(WindowId window, int* x, int* y) {
  *x = *y = 0;
  if (SDL_Window* w = state().video ? SDL_GetWindowFromID(window) : nullptr) SDL_GetWindowPosition(w, x, y);
}

void window_get_client_size(WindowId window, int* width, int* height) {
  *width = *height = 0;
  SDL_Window* w = state().video ? SDL_GetWindowFromID(window) : nullptr;
  if (!w) return;
  if (SDL_GetWindowFlags(w) & SDL_WINDOW_OPENGL)
    SDL_GL_GetDrawableSize(w, width, height);
  else
    SDL_GetWindowSize(w, width, height);
}

void window_set_topmost(WindowId window, bool topmost) {
  if (SDL_Window* w = state().video ? SDL_GetWindowFromID(window) : nullptr)
    SDL_SetWindowAlwaysOnTop(w, topmost ? SDL_TRUE : SDL_FALSE);
}

void window_set_icon(WindowId window, const uint32_t* rgba_pixels, int width, int height) {
#ifdef _WIN32
  // The window class carries the executable's icon resource, drawn for each size as it was
  // made for it; a picture set here would replace it with one scaled copy.
  (void)window, (void)rgba_pixels, (void)width, (void)height;
  return;
#endif
  SDL_Window* w = state().video ? SDL_GetWindowFromID(window) : nullptr;
  if (!w || !rgba_pixels || width <= 0 || height <= 0) return;
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(rgba_pixels), width, height,
                                                         32, width * 4, SDL_PIXELFORMAT_RGBA32);
  if (!icon) return;
  SDL_SetWindowIcon(w, icon);
  SDL_FreeSurface(icon);
}

// ---- Messages --------------------------------------------------------------------------

bool message_take(Message* message) {
  auto& s = state();
  if (s.messages.empty()) pump();
  if (s.messages.empty()) return false;
  *message = s.messages.front();
  s.messages.pop_front();
  return true;
}

void message_send(WindowId window, uint32_t message, uint64_t wparam, int64_t) {
  auto& s = state();
  if (!window_exists(window)) return;
  if (message == kMsgNcLeftButtonDown && wparam == uint64_t(kHitTestCaption)) {
    // The drag lasts while the left button is held; a press already let go starts nothing.
    if (!s.left_down) return;
    end_drag();
    s.drag.window = window;
    s.drag.grab_x = s.last_pointer_x;
    s.drag.grab_y = s.last_pointer_y;
    // While captured, the release reaches us even when the pointer has left the window.
    s.drag.captured = SDL_CaptureMouse(SDL_TRUE) == 0;
  } else if (message == kMsgNcLeftButtonUp) {
    end_drag();
  }
}

int message_box(const char16_t* title, const char16_t* text, unsigned) {
  const std::string t = utf8_from_utf16(title), m = utf8_from_utf16(text);
  std::fprintf(stderr, "%s: %s\n", t.c_str(), m.c_str());
  std::fflush(stderr);
  // Without a display SDL answers at once with an error; that is all we can do then.
  return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, t.c_str(), m.c_str(), nullptr) == 0 ? 1 : 0;
}

// ---- OpenGL ----------------------------------------------------------------------------

namespace {

// Creates the context and makes it current; null (with the reason remembered) when either
// fails, or when the X server answered an earlier request of this run with an error (see
// catch_x_errors: a refused GLX context shows first as an error while the window is made).
SDL_GLContext create_current_context(SDL_Window* w) {
  SDL_GLContext gl = SDL_GL_CreateContext(w);
  const char* failed = gl ? nullptr : "creating the OpenGL context";
  if (gl && SDL_GL_MakeCurrent(w, gl) != 0) failed = "making the OpenGL context current";
  if (!failed && x_errors_seen()) {
    SDL_SetError("the X server refused a request (X error %d)", x_errors_seen());
    failed = "creating the OpenGL context";
  }
  if (failed) {
    remember_error(failed);
    if (gl) {
      SDL_GL_MakeCurrent(w, nullptr);
      SDL_GL_DeleteContext(gl);
    }
    return nullptr;
  }
  return gl;
}

}  // namespace

bool gl_context_create(WindowId window) {
  auto& s = state();
  SDL_Window* w = s.video ? SDL_GetWindowFromID(window) : nullptr;
  if (!w) return false;
  gl_context_delete();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  s.gl = create_current_context(w);
  return s.gl != nullptr;
}

void gl_context_delete() {
  auto& s = state();
  if (!s.gl) return;
  gl_drain();
  SDL_GL_MakeCurrent(nullptr, nullptr);
  SDL_GL_DeleteContext(s.gl);
  s.gl = nullptr;
}

void gl_swap(WindowId window) {
  if (SDL_Window* w = state().video ? SDL_GetWindowFromID(window) : nullptr) SDL_GL_SwapWindow(w);
}

void gl_surface_resized(WindowId window) {
  auto& s = state();
  SDL_Window* w = s.video ? SDL_GetWindowFromID(window) : nullptr;
  if (!w || !s.gl) return;
  // Software drivers read the new drawable size at the next swap: present one cleared frame.
  SDL_GL_SwapWindow(w);
}

bool gl_set_swap_interval(int interval) {
  return state().gl && SDL_GL_SetSwapInterval(interval) == 0;
}

// ---- Keyboard --------------------------------------------------------------------------

bool keyboard_sample(uint8_t key_state[256]) {
  auto& s = state();
  pump();
  if (s.focus == 0 || !window_exists(s.focus)) return false;
  for (int i = 0; i < 256; ++i) key_state[i] = (s.key_down[i] | s.key_tapped[i]) ? 0x80 : 0;
  std::memset(s.key_tapped, 0, sizeof s.key_tapped);
  return true;
}

std::u16string keyboard_typed_text(int scan_code) {
  if (scan_code < 0 || scan_code > 255) return {};
  auto& s = state();
  if (!s.key_text[scan_code].empty()) return s.key_text[scan_code];
  // No text event for this press (text input off, a key that types nothing in the layout):
  // fall back to the key's layout symbol when it is printable.
  const SDL_Scancode sdl = sdl_from_set1(scan_code);
  if (sdl == SDL_SCANCODE_UNKNOWN || !s.video) return {};
  const SDL_Keycode key = SDL_GetKeyFromScancode(sdl);
  if (key >= 0x20 && key < 0x7F) return std::u16string(1, char16_t(key));
  return {};
}

// ---- Synthetic input ---------------------------------------------------------------------

static void push(SDL_Event& e) {
  if (state().video) SDL_PushEvent(&e);
}

void inject_key(int scan_code, bool down) {
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = state().focus;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.scancode = sdl_from_set1(scan_code);
  e.key.keysym.sym = SDL_GetKeyFromScancode(e.key.keysym.scancode);
  push(e);
}

void inject_text(const char* utf8) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  e.text.windowID = state().focus;
  SDL_strlcpy(e.text.text, utf8, sizeof e.text.text);
  push(e);
}

void inject_mouse_move(WindowId window, int x, int y) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = window;
  e.motion.x = x;
  e.motion.y = y;
  push(e);
}

void inject_mouse_button(WindowId window, bool down, int x, int y) {
  state().injected_left_down = down;
  SDL_Event e{};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.windowID = window;
  e.button.button = SDL_BUTTON_LEFT;
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = x;
  e.button.y = y;
  push(e);
}

void inject_left_button_state(bool down) {
  state().injected_left_down = down;
}

static void push_window_event(WindowId window, Uint8 event) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = window;
  e.window.event = event;
  push(e);
}

void inject_close_request(WindowId window) {
  push_window_event(window, SDL_WINDOWEVENT_CLOSE);
}
void inject_focus(WindowId window, bool gained) {
  push_window_event(window, gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
}

// ---- Frame loop ----------------------------------------------------------------------------

void frame_loop_run(bool (*step)(void* context), void (*done)(void* context), void* context) {
  while (step(context)) {
  }
  done(context);
}

}  // namespace platform
