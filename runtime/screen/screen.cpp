#include "runtime/screen/screen.h"

#include <GL/gl.h>

#include <vector>

#include "runtime/screen/gl_backend.h"
#include "runtime/window/window.h"

namespace {

struct Screen {
  bool open = false;
  platform::WindowId host = 0;
  int logical_width = 0, logical_height = 0;
  int left = 0, top = 0, right = 0, bottom = 0;  // margins between client area and surface
  int surface_width = 0, surface_height = 0;
  int stretch = 0;
  int flip_mode = 0;
  ScreenHooks hooks;
};
Screen screen;

void projection() {
  gl_backend::set_projection(screen.logical_width, screen.logical_height);
}

void on_host_size(platform::WindowId host) {
  if (screen.open && host == screen.host) screen_stretch();
}

}  // namespace

int screen_open_windowed(platform::WindowId host, int x, int y, int width, int height, int stretch,
                         int right_offset, int bottom_offset, int flip_mode) {
  screen_close();
  screen.stretch = stretch;
  screen.flip_mode = flip_mode;
  if (!platform::window_exists(host) || width <= 0 || height <= 0) return 0;
  if (!platform::gl_context_create(host)) return 0;

  screen.host = host;
  screen.logical_width = width;
  screen.logical_height = height;
  screen.surface_width = width;
  screen.surface_height = height;
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glViewport(x, bottom_offset, width, height);
  projection();
  gl_backend::context_ready();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  platform::gl_swap(host);
  screen.open = true;

  // Flip mode 0 never waits for the retrace; 1 and 2 wait one; others leave the driver's own.
  if (flip_mode == 0) platform::gl_set_swap_interval(0);
  if (flip_mode == 1 || flip_mode == 2) platform::gl_set_swap_interval(1);

  screen.left = x;
  screen.top = y;
  screen.right = right_offset;
  screen.bottom = bottom_offset;
  if (!window_has_size_listener(host)) window_set_size_listener(host, on_host_size);
  screen_stretch();
  return 1;
}

void screen_stretch() {
  if (!screen.open || !screen.stretch) return;
  int client_width = 0, client_height = 0;
  platform::window_get_client_size(screen.host, &client_width, &client_height);
  screen.surface_width = client_width - screen.left - screen.right;
  screen.surface_height = client_height - screen.top - screen.bottom;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  platform::gl_surface_resized(screen.host);
  projection();
  // The surface keeps its margins: it starts `left` in from the left and `bottom` up from
  // the bottom of the client area.
  glViewport(screen.left, screen.bottom, screen.surface_width, screen.surface_height);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void screen_clear(uint32_t colour) {
  if (!screen.open) return;
  screen_flush();
  glClearColor((colour & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f, ((colour >> 16) & 0xFF) / 255.0f,
               0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

int screen_flip() {
  if (screen.open) {
    screen_flush();
    platform::gl_swap(screen.host);
  }
  return 1;
}

void screen_close() {
  screen.logical_width = screen.logical_height = 0;
  if (!screen.open) return;
  // Only a screen that was open has sprites to free. Opening a screen closes the last one
  // first, and the start-up decodes its pictures ahead before any screen is open: releasing
  // then would throw those pictures away.
  if (screen.hooks.release_sprites) screen.hooks.release_sprites();
  platform::gl_context_delete();
  screen.open = false;
  // The host keeps its size listener, as it would keep a subclass.
}

int screen_is_open() {
  return screen.open;
}
int screen_logical_width() {
  return screen.logical_width;
}
int screen_logical_height() {
  return screen.logical_height;
}

void screen_set_hooks(const ScreenHooks& hooks) {
  screen.hooks = hooks;
}

void screen_flush() {
  if (screen.open && screen.hooks.flush) screen.hooks.flush();
}

uint32_t screen_read_pixel(int x, int y) {
  if (!screen.open || x < 0 || y < 0 || x >= screen.logical_width || y >= screen.logical_height)
    return 0xFFFFFFFF;
  // Centre of the logical pixel on the (possibly stretched) surface.
  const int sx = int((x + 0.5) * screen.surface_width / screen.logical_width);
  const int sy = int((y + 0.5) * screen.surface_height / screen.logical_height);
  return screen_read_surface_pixel(sx, sy);
}

uint32_t screen_read_surface_pixel(int x, int y) {
  if (!screen.open || x < 0 || y < 0 || x >= screen.surface_width || y >= screen.surface_height)
    return 0xFFFFFFFF;
  screen_flush();
  unsigned char rgba[4] = {};
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(screen.left + x, screen.bottom + screen.surface_height - 1 - y, 1, 1, GL_RGBA,
               GL_UNSIGNED_BYTE, rgba);
  return rgba[0] | (rgba[1] << 8) | (rgba[2] << 16);
}

void screen_read_back(int x, int y, int width, int height, uint8_t* rgba) {
  screen_flush();
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(x, screen.logical_height - y - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

void screen_read_back_rgb(int x, int y, int width, int height, uint8_t* rgb) {
  // RGBA reads back about twice as fast as RGB or BGRA on Mesa's software rasteriser.
  static std::vector<uint8_t> rgba;
  rgba.resize(size_t(width) * size_t(height) * 4);
  screen_read_back(x, y, width, height, rgba.data());
  for (int row = 0; row < height; ++row) {
    const uint8_t* from = &rgba[size_t(height - 1 - row) * size_t(width) * 4];
    uint8_t* to = &rgb[size_t(row) * size_t(width) * 3];
    for (int column = 0; column < width; ++column, from += 4, to += 3) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
}

void screen_finish() {
  screen_flush();
  glFinish();
}

const char* screen_renderer() {
  const auto* name = screen.open ? reinterpret_cast<const char*>(glGetString(GL_RENDERER)) : nullptr;
  return name ? name : "";
}

void screen_surface_size(int* width, int* height) {
  *width = screen.surface_width;
  *height = screen.surface_height;
}
