// tests/sprite/gl_fixture.h — a hidden 800 x 640 window with its OpenGL screen, and reading
// the back buffer and sprite pixels back.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "helpers/screen_readback.h"
#include "runtime/image/decoder.h"
#include "runtime/platform/platform.h"
#include "runtime/screen/screen.h"
#include "runtime/sprite/sprite.h"
#include "runtime/sprite/sprite_store.h"
#include "runtime/window/window.h"

class ScreenTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 800, kHeight = 640;
  static constexpr uint32_t kBackground = 0x402010;  // r 0x10, g 0x20, b 0x40

  void SetUp() override {
    if (!platform::video_start(/*allow_offscreen=*/true)) {
      // Under CI a display is part of the set-up: a skip there would pass without testing.
      if (std::getenv("CI")) FAIL() << "no video driver under CI: " << platform::last_error();
      GTEST_SKIP() << "no video driver: " << platform::last_error();
    }
    ASSERT_NE(window_open(0, 0, 0, kWidth, kHeight, u"sprite test", 0x90000001), 0);
    ASSERT_NE(screen_open_windowed(window_handle(0), 0, 0, kWidth, kHeight, 1, 0, 0, 0), 0);
    picture::register_png();
    picture::register_jpeg();
    sprite_start();
    sprite_transparent_colour(-1, 0);
    screen_clear(kBackground);
  }
  void TearDown() override {
    sprite_free(-1);
    screen_close();
    window_close(-1);
    platform::video_stop();
  }

  // The back buffer, top-down, as r + 256 g + 65536 b per logical pixel.
  static std::vector<uint32_t> read_screen() { return read_back_screen(kWidth, kHeight); }
  static uint32_t at(const std::vector<uint32_t>& screen, int x, int y) {
    return screen[size_t(y) * kWidth + x];
  }

  // A sprite's stored pixel (x, y from the top as displayed) as r + 256 g + 65536 b + alpha << 24.
  // The sprite's whole texture as it stores it (bottom row first): its CPU copy, or the texture
  // read back once when it keeps none. Loops over many pixels read this once, not sprite_pixel.
  static std::vector<uint32_t> sprite_texels(int number) {
    std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
    const sprite_store::Sprite* s = sprite_store::find(number);
    if (!s) return {};
    const sprite_store::Pixels pixels = s->pixels.empty() ? sprite_store::read_texture(*s) : s->pixels;
    return std::vector<uint32_t>(pixels.begin(), pixels.end());
  }

  static uint32_t sprite_pixel(int number, int x, int y) {
    std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
    const sprite_store::Sprite* s = sprite_store::find(number);
    if (!s) return 0xDEADBEEF;
    const sprite_store::Pixels pixels = s->pixels.empty() ? sprite_store::read_texture(*s) : s->pixels;
    return pixels[size_t(s->texture_height - 1 - y) * s->texture_width + x];
  }

  // True when the sprite's texture holds exactly its CPU copy (or it holds none).
  static bool texture_matches_copy(int number) {
    sprite_flush();
    std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
    const sprite_store::Sprite* s = sprite_store::find(number);
    if (!s) return false;
    if (s->pixels.empty()) return true;
    return sprite_store::read_texture(*s) == s->pixels;
  }
};
