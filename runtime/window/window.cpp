#include "runtime/window/window.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "runtime/image/decoder.h"
#include "runtime/support/object_table.h"

namespace {

struct WindowRecord {
  platform::WindowId handle = 0;
  WindowCallback callback = nullptr;
  bool callback_covers_children = false;
  bool created = false;  // move and size events only for windows whose creation finished
  bool started_maximised_or_minimised = false;
  int pending_show_state = -1;
  int size_state = 0;  // last size message kind: 0 restored, 1 minimised, 2 maximised
  void (*size_listener)(platform::WindowId) = nullptr;
};

runtime::ObjectTable<WindowRecord, 16>& windows() {
  static runtime::ObjectTable<WindowRecord, 16> table;
  return table;
}

// The thread-wide callback of window_set_callback(-1).
struct ThreadCallback {
  WindowCallback callback = nullptr;
  bool covers_children = false;
};
thread_local ThreadCallback thread_callback;

thread_local std::deque<RuntimeEvent> events;

struct DefaultIcon {
  int width = 0, height = 0;
  std::vector<uint32_t> rgba;  // bytes R, G, B, A in memory order
};
DefaultIcon default_icon;

int number_of(platform::WindowId handle) {
  int found = -1;
  if (handle == 0) return -1;
  windows().for_each([&](int number, WindowRecord& r) {
    if (r.handle == handle) found = number;
  });
  return found;
}

void centre_on_desktop(platform::WindowId handle, int outer_width, int outer_height) {
  const int dw = platform::display_width(), dh = platform::display_height();
  platform::window_move(handle, (dw - std::min(dw, outer_width)) / 2, (dh - std::min(dh, outer_height)) / 2);
}

}  // namespace

int window_open(int number, int x, int y, int width, int height, const char16_t* title, uint32_t flags,
                platform::WindowId parent) {
  auto& table = windows();
  std::lock_guard lock(table.lock());
  if (number >= 0) {
    if (table.find(number)) window_close(number);
  }
  const int n = table.claim(number, [](WindowRecord&) {});
  if (n < 0) return 0;

  // A plain window gets a caption; the show's popup flags leave it frameless.
  const bool only_runtime_bits =
      (flags & ~(kWindowCentreDesktop | kWindowCentreParent | kWindowNoControls | kWindowHidden)) == 0;
  uint32_t style = flags & ~uint32_t(0x7 | kWindowNoActivate | kWindowHidden);
  if (only_runtime_bits) style |= kWindowStyleCaption;
  platform::WindowStyle window_style;
  window_style.borderless = (style & kWindowStylePopup) && !(style & kWindowStyleCaption);
  window_style.hidden = (flags & kWindowHidden) != 0;

  const bool centred = flags & (kWindowCentreDesktop | kWindowCentreParent);
  const bool default_position = x == kWindowDefaultPosition || (y == kWindowDefaultPosition && !centred);
  const platform::WindowId handle = platform::window_create(
      title ? title : u"", default_position ? 0 : x, default_position ? 0 : y, width, height, window_style);
  if (!handle) {
    table.free(n, [](WindowRecord&) {});
    return 0;
  }
  WindowRecord& record = *table.find(n);
  record.handle = handle;
  // Placement: there is no outer frame here, so the outer size is the client size.
  if (flags & kWindowCentreDesktop) {
    centre_on_desktop(handle, width, height);
  } else if ((flags & kWindowCentreParent) && platform::window_exists(parent)) {
    int px = 0, py = 0, pw = 0, ph = 0;
    platform::window_get_position(parent, &px, &py);
    platform::window_get_client_size(parent, &pw, &ph);
    platform::window_move(handle, std::max(0, px + (pw - width) / 2), std::max(0, py + (ph - height) / 2));
  }
  if (!default_icon.rgba.empty())
    platform::window_set_icon(handle, default_icon.rgba.data(), default_icon.width, default_icon.height);
  if (!window_style.hidden) platform::window_show(handle, true);
  record.pending_show_state = -1;
  record.created = true;
  return number == -1 ? n : int(handle);
}

platform::WindowId window_handle(int number) {
  std::lock_guard lock(windows().lock());
  const WindowRecord* record = windows().find(number);
  return record ? record->handle : 0;
}

int window_hide(int number, int hide, uint32_t flags) {
  platform::WindowId handle = window_handle(number);
  if (!handle) return 0;
  const bool was_visible = platform::window_visible(handle);
  if (hide) {
    platform::window_show(handle, false);
  } else {
    if (flags & kWindowCentreDesktop) {
      int w = 0, h = 0;
      platform::window_get_client_size(handle, &w, &h);
      centre_on_desktop(handle, w, h);
    }
    platform::window_show(handle, true);
  }
  return was_visible ? 1 : 0;  // the classic result: whether the window was visible before
}

void window_set_topmost(int number, int state) {
  if (platform::WindowId handle = window_handle(number)) platform::window_set_topmost(handle, state != 0);
}

void window_set_callback(WindowCallback callback, int number) {
  if (number == -1) {
    thread_callback = {callback, true};
    return;
  }
  std::lock_guard lock(windows().lock());
  if (WindowRecord* record = windows().find(number)) {
    record->callback = callback;
    record->callback_covers_children = true;
  }
}

void window_close(int number) {
  auto& table = windows();
  std::lock_guard lock(table.lock());
  auto close_one = [](int n, WindowRecord& record) {
    platform::window_destroy(record.handle);
    event_queue_drop_window(n);
  };
  if (number == -1) {
    table.for_each(close_one);
    table.free(-1, [](WindowRecord&) {});
  } else if (WindowRecord* record = table.find(number)) {
    close_one(number, *record);
    table.free(number, [](WindowRecord&) {});
  }
}

int message_box(const char16_t* title, const char16_t* text, uint32_t flags) {
  return platform::message_box(title, text, flags);
}

void window_set_default_icon(const void* data, size_t bytes) {
  picture::Picture p;
  default_icon = {};
  if (!picture::decode_picture(data, bytes, &p)) return;
  default_icon.width = p.width;
  default_icon.height = p.height;
  default_icon.rgba.resize(size_t(p.width) * size_t(p.height));
  const int step = p.bits / 8;
  for (size_t i = 0; i < default_icon.rgba.size(); ++i) {
    const uint8_t* px = &p.pixels[i * size_t(step)];  // B, G, R (, A)
    const uint8_t bytes_rgba[4] = {px[2], px[1], px[0], step == 4 ? px[3] : uint8_t(255)};
    std::memcpy(&default_icon.rgba[i], bytes_rgba, 4);
  }
}

void window_set_pos(platform::WindowId window, int x, int y, int width, int height) {
  if (!platform::window_exists(window)) return;
  platform::window_set_bounds(window, x, y, width, height);
  int w = 0, h = 0;
  platform::window_get_client_size(window, &w, &h);
  window_dispatch({window, platform::kMsgSize, 0, int64_t(uint16_t(w)) | (int64_t(uint16_t(h)) << 16)});
}

uint32_t window_send_message(platform::WindowId window, uint32_t message, uint64_t wparam, int64_t lparam) {
  return window_dispatch({window, message, wparam, lparam});
}

uint32_t window_dispatch(const platform::Message& m) {
  WindowCallback callback = nullptr;
  int number;
  bool created = false;
  void (*size_listener)(platform::WindowId) = nullptr;
  {
    std::lock_guard lock(windows().lock());
    number = number_of(m.window);
    if (number < 0) return 0;
    const WindowRecord& record = *windows().find(number);
    callback = record.callback;
    created = record.created;
    size_listener = record.size_listener;
  }
  // The window's own callback comes first; only without one does the thread-wide one apply.
  if (!callback) callback = thread_callback.callback;
  if (callback) {
    const uint32_t result = callback(m.window, m.message, m.wparam, m.lparam);
    if (result != kWindowContinue) return result;
  }
  switch (m.message) {
    case platform::kMsgClose:
      event_queue_push({kEventCloseRequested, number, 0, 0});
      return 0;
    case platform::kMsgActivate:
      event_queue_push({m.wparam ? kEventActivated : kEventDeactivated, number, 0, 0});
      return 0;
    case platform::kMsgMove:
      if (created) event_queue_push({kEventMoved, number, 0, m.lparam});
      return 0;
    case platform::kMsgSize: {
      if (size_listener) size_listener(m.window);
      if (!created) return 0;
      int previous;
      {
        std::lock_guard lock(windows().lock());
        WindowRecord* record = windows().find(number);
        if (!record) return 0;
        previous = record->size_state;
        record->size_state = int(m.wparam);
      }
      if (m.wparam == 1) {
        event_queue_push({kEventMinimised, number, 0, 0});
        return 0;
      }
      if (m.wparam == 2) event_queue_push({kEventMaximised, number, 0, 0});
      if (m.wparam == 0 && previous != 0) event_queue_push({kEventRestored, number, 0, 0});
      event_queue_push({kEventResized, number, 0, m.lparam});
      return 0;
    }
    default:
      platform::message_send(m.window, m.message, m.wparam, m.lparam);
      return 0;
  }
}

void window_set_size_listener(platform::WindowId window, void (*listener)(platform::WindowId)) {
  std::lock_guard lock(windows().lock());
  const int number = number_of(window);
  if (number >= 0) windows().find(number)->size_listener = listener;
}

bool window_has_size_listener(platform::WindowId window) {
  std::lock_guard lock(windows().lock());
  const int number = number_of(window);
  return number >= 0 && windows().find(number)->size_listener != nullptr;
}

void event_queue_push(const RuntimeEvent& event) {
  // An event equal to the last one queued is not queued twice in a row.
  if (!events.empty()) {
    const RuntimeEvent& last = events.back();
    if (event.code <= 0xFFFF && last.code == event.code && last.type == event.type &&
        last.window == event.window && last.data == event.data)
      return;
  }
  events.push_back(event);
}

bool event_queue_take(RuntimeEvent* event) {
  if (events.empty()) return false;
  *event = events.front();
  events.pop_front();
  return true;
}

void event_queue_drop_window(int number) {
  if (number < 0) return;
  std::erase_if(events, [number](const RuntimeEvent& e) { return e.window == number; });
}
