// runtime/screen/screen.h — the OpenGL screen inside a window.
//
// One screen at a time: an OpenGL surface that fills the host window's client area and
// stretches with it, while the drawing coordinates stay the logical size given at open
// (800 x 640 for the show). The projection maps logical x 0..width to left..right and logical
// y 0..height to bottom..top; sprite display converts the show's top-down y.
// Rectangle textures (kScreenTextureTarget) carry every sprite.
// All calls belong on the thread that opened the screen.
#pragma once

#include <cstdint>

#include "runtime/platform/platform.h"

#ifdef __EMSCRIPTEN__
// WebGL has no rectangle textures: 2D textures of any size, addressed in texels by the shader.
inline constexpr unsigned kScreenTextureTarget = 0x0DE1;          // GL_TEXTURE_2D
inline constexpr unsigned kScreenTextureSizeLimitQuery = 0x0D33;  // GL_MAX_TEXTURE_SIZE
#else
inline constexpr unsigned kScreenTextureTarget = 0x84F5;          // GL_TEXTURE_RECTANGLE
inline constexpr unsigned kScreenTextureSizeLimitQuery = 0x84F8;  // GL_MAX_RECTANGLE_TEXTURE_SIZE
#endif

// Non-zero on success, 0 when the surface, pixel format or context cannot be made.
int screen_open_windowed(platform::WindowId host, int x, int y, int width, int height, int stretch,
                         int right_offset, int bottom_offset, int flip_mode);
void screen_clear(uint32_t colour);  // colour packed as r + 256 g + 65536 b
int screen_flip();                   // swaps buffers; returns 1; never pumps messages
void screen_close();

int screen_is_open();
int screen_logical_width();
int screen_logical_height();
// Re-applies the stretch step: surface follows the host's client size. The window layer calls
// it on every size change of the host.
void screen_stretch();

// Hooks that the sprite store installs when it starts: `flush` draws whatever display calls
// are still batched (called before the back buffer is cleared, read or presented), and
// `release_sprites` frees every sprite (called by screen_close).
struct ScreenHooks {
  void (*flush)() = nullptr;
  void (*release_sprites)() = nullptr;
};
void screen_set_hooks(const ScreenHooks& hooks);
// Draws pending batches now (calls the flush hook). Anything that reads the back buffer
// (a grab, a test's read-back) calls this first.
void screen_flush();
// Reads back the logical-size picture's pixel at logical (x, y), top-down, as r + 256 g + 65536 b,
// after flushing. For tests and tools; slow. Returns 0xFFFFFFFF outside the surface.
uint32_t screen_read_pixel(int x, int y);
// The same in surface pixels (top-down), for checking where a stretched picture lands.
uint32_t screen_read_surface_pixel(int x, int y);
void screen_surface_size(int* width, int* height);

// The back buffer's rectangle at logical (x, y) (top-down, unstretched surface), width x height,
// after flushing, as RGBA bytes with rows bottom-up (the order a texture stores them). The one
// read-back of the screen: a screen grab into a sprite, a capture's frame and the tests' pixel
// checks all use it.
void screen_read_back(int x, int y, int width, int height, uint8_t* rgba);
// The same rectangle as top-down RGB bytes (3 per pixel), for writing pictures.
void screen_read_back_rgb(int x, int y, int width, int height, uint8_t* rgb);
// Waits until everything drawn so far is on the back buffer (a frame's cost measured in full).
void screen_finish();
// The renderer's name as OpenGL reports it ("llvmpipe (LLVM ...)"), or "" before a screen opens.
const char* screen_renderer();

#ifndef __EMSCRIPTEN__
// The benchmark's yardstick on the open screen (OpenGL 1.x only): `layer_ms` is the marginal
// cost of one plain full-screen layer (one quad covering the logical screen with a texture of
// that size and varied texels, GL_MODULATE with a constant colour of alpha 128, blended with
// (source alpha, one minus source alpha), no depth test), from `layers` such layers per
// glFinish against an empty finish, median of `rounds`; `fixed_ms` is a frame with nothing
// drawn: clear, swap and finish, median of `rounds`. The `_cpu_ms` figures are the same in the
// CPU time that `cpu_clock_ms` gives (the whole process's, so that the rasteriser's threads
// count), or 0 without it. The screen's state is restored; the back buffer is left cleared.
struct ScreenYardstick {
  double layer_ms = 0, fixed_ms = 0;
  double layer_cpu_ms = 0, fixed_cpu_ms = 0;
};
ScreenYardstick screen_measure_yardstick(int rounds, int layers, double (*cpu_clock_ms)() = nullptr);
#endif
