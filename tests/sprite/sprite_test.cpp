// The sprite store and sprite display, read back from a real OpenGL back buffer.
#include <gtest/gtest.h>
#include <png.h>

#include <thread>

#include "gl_fixture.h"
#include "picture_writers.h"
#include "runtime/draw/draw.h"
#include "runtime/support/object_table.h"

namespace {

constexpr int kPictureWidth = 474, kPictureHeight = 356;

// Every pixel of the test picture differs and none is black (blue >= 0x80).
uint32_t picture_colour(int x, int y) {
  return uint32_t(x & 0xFF) | uint32_t(y & 0xFF) << 8 | uint32_t(0x80 | (x >> 8) << 1 | (y >> 8)) << 16;
}

Bytes test_picture() {
  BmpSpec spec;
  spec.width = kPictureWidth;
  spec.height = kPictureHeight;
  spec.bpp = 24;
  spec.value = [](int x, int y) {  // 0xRRGGBB
    const uint32_t c = picture_colour(x, y);
    return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16);
  };
  return write_bmp(spec);
}

// A sprite of one opaque colour, made by drawing.
void solid(int number, int width, int height, uint32_t colour) {
  ASSERT_NE(sprite_create(number, width, height), 0);
  ASSERT_NE(draw_start(sprite_output(number)), 0);
  draw_box(0, 0, width, height, colour);
  draw_stop();
}

int blend(int source, int destination, int alpha) {
  return (source * alpha + destination * (255 - alpha)) / 255;
}

class Sprites : public ScreenTest {
 protected:
  void load_picture(int number) {
    const Bytes file = test_picture();
    ASSERT_EQ(sprite_load_memory(number, file.data(), file.size()), 1);
  }
};

TEST_F(Sprites, PictureCoversExactlyItsRectangleWithItsOwnPixels) {
  load_picture(3);
  EXPECT_EQ(sprite_width(3), kPictureWidth);
  EXPECT_EQ(sprite_height(3), kPictureHeight);
  EXPECT_TRUE(texture_matches_copy(3));
  sprite_display(3, 0, 0, 255);
  const auto screen = read_screen();
  int wrong = 0;
  for (int y = 0; y <= kPictureHeight; ++y)
    for (int x = 0; x <= kPictureWidth; ++x) {
      const bool inside = x < kPictureWidth && y < kPictureHeight;
      wrong += at(screen, x, y) != (inside ? picture_colour(x, y) : kBackground);
    }
  EXPECT_EQ(wrong, 0);
}

// A picture decoded ahead on another thread makes the same sprite as one decoded by the load,
// and is taken once: the entry is found by the bytes' address, so bytes spoiled after the
// decoding ahead still load, and a second load decodes them itself and fails.
TEST_F(Sprites, PictureDecodedAheadMakesTheSameSprite) {
  Bytes ahead = test_picture();
  const Bytes plain = test_picture();
  std::thread([&] { sprite_decode_ahead(ahead.data(), ahead.size()); }).join();
  std::fill(ahead.begin(), ahead.end(), uint8_t(0));
  ASSERT_EQ(sprite_load_memory(3, ahead.data(), ahead.size()), 1);
  ASSERT_EQ(sprite_load_memory(4, plain.data(), plain.size()), 1);
  const std::vector<uint32_t> from_ahead = sprite_texels(3), from_bytes = sprite_texels(4);
  ASSERT_EQ(from_ahead.size(), size_t(kPictureWidth) * kPictureHeight);
  EXPECT_TRUE(from_ahead == from_bytes);
  EXPECT_EQ(sprite_load_memory(5, ahead.data(), ahead.size()), 0);
}

// The start-up decodes its pictures while the window and its screen are being made: opening
// the screen must not throw them away. Closing an open screen does.
TEST_F(Sprites, PictureDecodedBeforeTheScreenOpensIsTakenAfter) {
  sprite_free(-1);
  screen_close();
  Bytes kept = test_picture(), dropped = test_picture();
  std::thread([&] {
    sprite_decode_ahead(kept.data(), kept.size());
    sprite_decode_ahead(dropped.data(), dropped.size());
  }).join();
  std::fill(kept.begin(), kept.end(), uint8_t(0));  // only the picture decoded ahead can load now
  ASSERT_NE(screen_open_windowed(window_handle(0), 0, 0, kWidth, kHeight, 1, 0, 0, 0), 0);
  EXPECT_EQ(sprite_load_memory(3, kept.data(), kept.size()), 1);
  screen_close();
  std::fill(dropped.begin(), dropped.end(), uint8_t(0));
  ASSERT_NE(screen_open_windowed(window_handle(0), 0, 0, kWidth, kHeight, 1, 0, 0, 0), 0);
  EXPECT_EQ(sprite_load_memory(4, dropped.data(), dropped.size()), 0);
}

TEST_F(Sprites, ClipAndZoomShowPictureRowsAsTwoByTwoBlocks) {
  load_picture(3);
  sprite_clip(3, 0, 100, -1, 32);
  EXPECT_EQ(sprite_width(3), kPictureWidth);
  EXPECT_EQ(sprite_height(3), 32);
  sprite_zoom(3, 948, 64);
  EXPECT_EQ(sprite_width(3), 948);
  EXPECT_EQ(sprite_height(3), 64);
  sprite_display(3, 0, 0, 255);
  const auto screen = read_screen();
  int wrong = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < kWidth; ++x) wrong += at(screen, x, y) != picture_colour(x / 2, 100 + y / 2);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(at(screen, 0, 64), kBackground);
}

TEST_F(Sprites, SpriteAtTheLeftBorderIsCulledOneColumnLater) {
  load_picture(3);
  sprite_display(3, -474, 0, 255);
  auto screen = read_screen();
  EXPECT_EQ(at(screen, 0, 0), kBackground);
  sprite_display(3, -473, 0, 255);
  screen = read_screen();
  for (int y = 0; y < kPictureHeight; ++y) ASSERT_EQ(at(screen, 0, y), picture_colour(473, y)) << y;
  EXPECT_EQ(at(screen, 1, 0), kBackground);
  // Likewise at the other edges: nothing of a sprite wholly outside reaches the screen.
  for (auto [x, y] : {std::pair{800, 0}, {0, 640}, {0, -356}, {5000, 5000}}) sprite_display(3, x, y, 255);
  screen = read_screen();
  EXPECT_EQ(at(screen, 799, 639), kBackground);
  EXPECT_EQ(at(screen, 799, 0), kBackground);
}

TEST_F(Sprites, IntensityScalesOpacity) {
  load_picture(3);
  sprite_display(3, 0, 0, 0);
  EXPECT_EQ(at(read_screen(), 10, 10), kBackground);
  sprite_display(3, 0, 0, 128);
  const auto screen = read_screen();
  for (auto [x, y] : {std::pair{10, 10}, {300, 200}, {473, 355}}) {
    const uint32_t got = at(screen, x, y), src = picture_colour(x, y);
    for (int shift : {0, 8, 16})
      EXPECT_NEAR(int(got >> shift & 0xFF), blend(src >> shift & 0xFF, kBackground >> shift & 0xFF, 128), 1);
  }
}

TEST_F(Sprites, FontStripKeysOnlyWithItsBackgroundColour) {
  const Bytes strip = write_font_strip([](int x, int y) { return y == 0 || x == 5; });
  ASSERT_EQ(sprite_load_memory(1, strip.data(), strip.size()), 1);
  EXPECT_EQ(sprite_width(1), 752);
  EXPECT_EQ(sprite_height(1), 16);
  // The default black key matches nothing: every pixel opaque. Top row = file's last row.
  EXPECT_EQ(sprite_pixel(1, 0, 0), 0xFFAACCCCu);
  EXPECT_EQ(sprite_pixel(1, 1, 1), 0xFF553333u);
  sprite_transparent_colour(1, 0x553333);
  EXPECT_EQ(sprite_pixel(1, 1, 1), 0x00553333u);
  EXPECT_EQ(sprite_pixel(1, 5, 9), 0xFFAACCCCu);
  EXPECT_TRUE(texture_matches_copy(1));
}

// The silhouette takes the given colour exactly where the sprite is opaque, nothing where
// it is keyed.
TEST_F(Sprites, SilhouetteDrawsTheGivenColourExactly) {
  const Bytes strip = write_font_strip([](int x, int) { return x < 4; });
  ASSERT_EQ(sprite_load_memory(1, strip.data(), strip.size()), 1);
  sprite_transparent_colour(1, 0x553333);
  for (uint32_t colour : {0x160B01u, 0x150B01u, 0xFFFFFFu}) {
    SCOPED_TRACE(colour);
    screen_clear(kBackground);
    sprite_display(1, 100, 100, 255, int32_t(colour));
    const auto screen = read_screen();
    EXPECT_EQ(at(screen, 100, 100), colour);
    EXPECT_EQ(at(screen, 103, 115), colour);
    EXPECT_EQ(at(screen, 104, 100), kBackground);
  }
}

TEST_F(Sprites, RgbaPngKeepsItsAlphaOnlyWithFlag8) {
  PngSpec spec{
      3, 1, PNG_COLOR_TYPE_RGBA, 8, false, {}, {}, false, 0, {{200, 100, 50, 128, 0, 0, 0, 255, 9, 9, 9, 0}}};
  const Bytes file = write_png(spec);
  ASSERT_EQ(sprite_load_memory(4, file.data(), file.size(), kSpriteKeepAlpha), 1);
  EXPECT_EQ(sprite_pixel(4, 0, 0), 0x803264C8u);
  EXPECT_EQ(sprite_pixel(4, 1, 0), 0xFF000000u);
  EXPECT_EQ(sprite_pixel(4, 2, 0), 0x00090909u);
  ASSERT_EQ(sprite_load_memory(5, file.data(), file.size(), 0), 1);
  EXPECT_EQ(sprite_pixel(5, 0, 0), 0xFF3264C8u);
  EXPECT_EQ(sprite_pixel(5, 1, 0), 0x00000000u);  // black is the key
  EXPECT_EQ(sprite_pixel(5, 2, 0), 0xFF090909u);
  sprite_display(4, 0, 0, 255);
  const uint32_t got = at(read_screen(), 0, 0);
  EXPECT_NEAR(int(got & 0xFF), blend(200, 0x10, 128), 1);
}

TEST_F(Sprites, PalettePngWithTrnsTakesItsAlphaFromTheKey) {
  PngSpec spec{2, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {0x000000, 0x445566}, {255, 0}, false, 0, {{0, 1}}};
  const Bytes file = write_png(spec);
  ASSERT_EQ(sprite_load_memory(4, file.data(), file.size()), 1);
  EXPECT_EQ(sprite_pixel(4, 0, 0), 0x00000000u);
  EXPECT_EQ(sprite_pixel(4, 1, 0), 0xFF665544u);
}

TEST_F(Sprites, ClipIsCutToTheTexture) {
  load_picture(3);
  struct {
    int x, y, w, h;
    int width, height;
  } cases[] = {
      {0, 100, -1, 32, 474, 32}, {10, 0, 500, -1, 464, 356}, {-1, -1, -1, -1, 474, 356},
      {500, 400, 10, 10, 0, 0},  {0, 0, -7, 5, 0, 5},
  };
  for (const auto& c : cases) {
    sprite_zoom(3, 1, 1);
    sprite_clip(3, c.x, c.y, c.w, c.h);
    EXPECT_EQ(sprite_width(3), c.width) << c.x << " " << c.y << " " << c.w << " " << c.h;
    EXPECT_EQ(sprite_height(3), c.height) << c.x << " " << c.y << " " << c.w << " " << c.h;
  }
  sprite_display(3, 0, 0, 255);  // a 0 x 0 clip draws nothing, and does not fault
  EXPECT_EQ(at(read_screen(), 0, 0), kBackground);
}

TEST_F(Sprites, CopyTakesTheWholeTextureAtTextureSize) {
  load_picture(3);
  sprite_clip(3, 10, 10, 20, 20);
  sprite_zoom(3, 300, 300);
  sprite_transparent_colour(-1, 0xFF00FF);
  EXPECT_EQ(sprite_copy(3, 6, 8), 1);
  EXPECT_EQ(sprite_width(6), kPictureWidth);
  EXPECT_EQ(sprite_height(6), kPictureHeight);
  EXPECT_EQ(sprite_pixel(6, 473, 355), sprite_pixel(3, 473, 355));
  EXPECT_TRUE(texture_matches_copy(6));
  {
    std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
    EXPECT_EQ(sprite_store::find(6)->key_colour, 0xFF00FFu);
    EXPECT_EQ(sprite_store::find(6)->flags, 8);
  }
  EXPECT_EQ(sprite_copy(3, 3), 1);  // onto itself: a fresh, unclipped sprite
  EXPECT_EQ(sprite_width(3), kPictureWidth);
  EXPECT_EQ(sprite_pixel(3, 1, 2), 0xFF000000u | picture_colour(1, 2));
  EXPECT_EQ(sprite_copy(40, 7), 0);
  EXPECT_EQ(sprite_width(7), 0);
}

TEST_F(Sprites, CreateIsTransparentBlackUnderTheBlackKey) {
  ASSERT_EQ(sprite_create(2, 800, 640), 1);
  EXPECT_EQ(sprite_pixel(2, 0, 0), 0u);
  sprite_transparent_colour(2, 0);  // already keyed with black: untouched
  EXPECT_EQ(sprite_pixel(2, 0, 0), 0u);
  sprite_transparent_colour(-1, 0x271D14);
  ASSERT_EQ(sprite_create(2, 4, 4), 1);
  EXPECT_EQ(sprite_pixel(2, 3, 3), 0xFF000000u);
  ASSERT_EQ(sprite_create(2, 4, 4, kSpriteKeepAlpha), 1);
  EXPECT_EQ(sprite_pixel(2, 3, 3), 0u);
  for (auto [w, h] : {std::pair{0, 4}, {4, -1}, {100000, 4}}) EXPECT_EQ(sprite_create(2, w, h), 0);
  EXPECT_EQ(sprite_width(2), 0);  // the failed creation freed the number
}

TEST_F(Sprites, NumbersFollowTheObjectTable) {
  const int a = sprite_create(-1, 2, 2), b = sprite_create(-1, 2, 2);
  EXPECT_GT(a, 0);  // -1 never hands out 0, which would read as failure
  EXPECT_GT(b, 0);
  EXPECT_NE(a, b);
  ASSERT_EQ(sprite_create(0, 5, 5), 1);
  EXPECT_EQ(sprite_width(0), 5);
  ASSERT_EQ(sprite_create(0, 7, 5), 1);  // replaces the old sprite
  EXPECT_EQ(sprite_width(0), 7);
  const Bytes junk(100, 0x42);
  EXPECT_EQ(sprite_load_memory(0, junk.data(), junk.size()), 0);
  EXPECT_EQ(sprite_width(0), 0);  // a failed load leaves the number free
  sprite_display(0, 0, 0, 255);   // not a sprite: nothing, no fault
  sprite_display(999999, 0, 0, 255);
  sprite_clip(-5, 0, 0, 1, 1);
  EXPECT_EQ(sprite_create(runtime::ObjectTable<int, 64>::kMaxNumber + 1, 2, 2), 0);
  sprite_free(a);
  EXPECT_EQ(sprite_width(a), 0);
  EXPECT_EQ(sprite_width(b), 2);
  sprite_free(-1);
  EXPECT_EQ(sprite_width(b), 0);
}

TEST_F(Sprites, GrabTakesTheBackBufferRectangle) {
  load_picture(3);
  sprite_display(3, 0, 0, 255);
  ASSERT_EQ(sprite_grab_screen(8, 10, 20, 30, 40), 1);
  EXPECT_EQ(sprite_width(8), 30);
  EXPECT_EQ(sprite_height(8), 40);
  for (auto [x, y] : {std::pair{0, 0}, {29, 0}, {0, 39}, {29, 39}, {13, 17}})
    EXPECT_EQ(sprite_pixel(8, x, y), 0xFF000000u | picture_colour(10 + x, 20 + y));
  EXPECT_TRUE(texture_matches_copy(8));
}

// Batching must not change what call order means: later displays cover earlier ones, and a
// texture changed after a display leaves that display with the old contents.
TEST_F(Sprites, BatchedDisplaysKeepCallOrder) {
  solid(10, 20, 20, 0x0000FF);
  solid(11, 20, 20, 0x00FF00);
  sprite_display(10, 0, 0, 255);
  sprite_display(11, 10, 0, 255);
  sprite_display(10, 20, 0, 255);
  sprite_display(11, 30, 0, 255, 0x123456);
  auto screen = read_screen();
  EXPECT_EQ(at(screen, 5, 5), 0x0000FFu);
  EXPECT_EQ(at(screen, 15, 5), 0x00FF00u);
  EXPECT_EQ(at(screen, 25, 5), 0x0000FFu);
  EXPECT_EQ(at(screen, 35, 5), 0x123456u);

  screen_clear(kBackground);
  sprite_display(10, 0, 100, 255);
  ASSERT_NE(draw_start(sprite_output(10)), 0);
  draw_box(0, 0, 20, 20, 0xFF0000);
  draw_stop();
  sprite_display(10, 40, 100, 255);
  sprite_free(11);
  screen = read_screen();
  EXPECT_EQ(at(screen, 5, 105), 0x0000FFu);
  EXPECT_EQ(at(screen, 45, 105), 0xFF0000u);
}

}  // namespace

namespace {

// One display as the plain method draws it: its own immediate-mode quad with the full state
// set for it. The batched display must give the same picture for any sequence of calls.
void reference_display(int number, int x, int y, int intensity, int32_t colour) {
  std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
  const sprite_store::Sprite* s = sprite_store::find(number);
  if (!s) return;
  const int w = s->display_width, h = s->display_height;
  if (x >= 800 || y >= 640 || x <= -w || y <= -h) return;
  // The whole picture in a texture of its own, whatever rows the sprite's texture holds.
  const sprite_store::Pixels picture = sprite_store::read_texture(*s);
  GLuint whole = 0;
  glGenTextures(1, &whole);
  glBindTexture(kScreenTextureTarget, whole);
  glTexParameteri(kScreenTextureTarget, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(kScreenTextureTarget, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(kScreenTextureTarget, 0, GL_RGBA8, s->texture_width, s->texture_height, 0, GL_RGBA,
               GL_UNSIGNED_BYTE, picture.data());
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (colour == -1) {
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1, 1, 1, intensity / 255.0f);
  } else {
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, 0x8570);  // combine
    glTexEnvi(GL_TEXTURE_ENV, 0x8571, GL_REPLACE);           // RGB combiner
    glTexEnvi(GL_TEXTURE_ENV, 0x8580, 0x8578);               // source 0: primary colour
    glTexEnvi(GL_TEXTURE_ENV, 0x8581, GL_TEXTURE);           // source 1
    glTexEnvi(GL_TEXTURE_ENV, 0x8590, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, 0x8591, GL_SRC_COLOR);
    glColor4f((colour & 0xFF) / 255.0f, (colour >> 8 & 0xFF) / 255.0f, (colour >> 16 & 0xFF) / 255.0f,
              intensity / 255.0f);
  }
  const float b = float(640 - y - h);
  const float s0 = float(s->clip_x), s1 = float(s->clip_x + s->clip_width);
  const float t1 = float(s->texture_height - s->clip_y), t0 = t1 - float(s->clip_height);
  glBegin(GL_QUADS);
  glTexCoord4f(s0, t1, 0, 1);
  glVertex3f(float(x), b + float(h), 0);
  glTexCoord4f(s1, t1, 0, 1);
  glVertex3f(float(x + w), b + float(h), 0);
  glTexCoord4f(s1, t0, 0, 1);
  glVertex3f(float(x + w), b, 0);
  glTexCoord4f(s0, t0, 0, 1);
  glVertex3f(float(x), b, 0);
  glEnd();
  glDeleteTextures(1, &whole);
}

TEST_F(Sprites, BatchedDisplaysMatchOneQuadPerCall) {
  load_picture(3);
  const Bytes strip = write_font_strip([](int x, int y) { return (x + y) % 3 != 0; });
  ASSERT_EQ(sprite_load_memory(1, strip.data(), strip.size()), 1);
  sprite_transparent_colour(1, 0x553333);
  PngSpec spec{2,
               2,
               PNG_COLOR_TYPE_RGBA,
               8,
               false,
               {},
               {},
               false,
               0,
               {{200, 100, 50, 128, 10, 20, 30, 255}, {0, 0, 255, 60, 255, 255, 255, 0}}};
  const Bytes png = write_png(spec);
  ASSERT_EQ(sprite_load_memory(4, png.data(), png.size(), kSpriteKeepAlpha), 1);
  // Mostly transparent sheets: a low one (its empty clips are left out whole) and a tall one
  // (its empty tiles are left out), each with a few boxes.
  const auto sparse = [](int number, int width, int height) {
    ASSERT_NE(sprite_create(number, width, height), 0);
    ASSERT_NE(draw_start(sprite_output(number)), 0);
    draw_box(37, 5, 20, 9, 0x3060F0);
    draw_box(width - 70, height / 2, 33, 3, 0xF0E0D0);
    draw_circle(width / 2, height / 2, 6, 0x20A040);
    draw_stop();
  };
  sparse(5, 300, 40);
  sparse(6, 260, 230);

  struct Call {
    int number, x, y, intensity;
    int32_t colour;
    int clip[4], zoom[2];
  };
  std::vector<Call> calls;
  uint32_t seed = 12345;
  auto next = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(n));
  };
  const int numbers[] = {1, 3, 4, 5, 6, 9};  // 9 is not a sprite
  for (int i = 0; i < 400; ++i) {
    Call c{};
    c.number = numbers[next(6)];
    c.x = next(1400) - 500;
    c.y = next(1100) - 400;
    c.intensity = next(256);
    c.colour = next(3) ? -1 : int32_t(next(1 << 24));
    c.clip[0] = next(4) ? next(400) : -1;
    c.clip[1] = next(300);
    c.clip[2] = next(5) ? next(200) : -1;
    c.clip[3] = next(100);
    c.zoom[0] = next(3) ? -1 : next(900);
    c.zoom[1] = next(3) ? -1 : next(700);
    calls.push_back(c);
  }
  // Runs of one-pixel columns side by side, as a scroller draws them: some join into wider quads.
  for (int x = 0; x < 300; ++x)
    calls.push_back(
        {5, 100 + x, 500 + (x / 40) % 3, x < 150 ? 255 : 255 - x / 2, -1, {x, 0, 1, 40}, {-1, -1}});
  auto draw = [&](bool reference) {
    screen_clear(kBackground);
    for (const Call& c : calls) {
      sprite_clip(c.number, c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
      sprite_zoom(c.number, c.zoom[0], c.zoom[1]);
      if (reference)
        reference_display(c.number, c.x, c.y, c.intensity, c.colour);
      else
        sprite_display(c.number, c.x, c.y, c.intensity, c.colour);
    }
    return read_screen();
  };
  const auto batched = draw(false), reference = draw(true);
  // Exact on llvmpipe; colours given as bytes or as floats may round apart by 1 elsewhere.
  int differing = 0, worst = 0;
  for (size_t i = 0; i < batched.size(); ++i) {
    for (int shift : {0, 8, 16}) {
      const int d = std::abs(int(batched[i] >> shift & 0xFF) - int(reference[i] >> shift & 0xFF));
      worst = std::max(worst, d);
      differing += d > 1;
    }
  }
  EXPECT_EQ(differing, 0) << "largest channel difference " << worst;
}

// Fills rows y .. y + height - 1 of sprite 7 with one colour.
void rows_of(uint32_t colour, int y, int height) {
  ASSERT_NE(draw_start(sprite_output(7)), 0);
  draw_box(0, y, 800, height, colour);
  draw_stop();
}

// The sprite as it displays at (x, y) at its current clip and zoom, against the plain method
// drawing the whole picture: the same pixels, exactly on llvmpipe.
int display_differences(int number, int x, int y) {
  screen_clear(0x402010);
  sprite_display(number, x, y, 200);
  sprite_flush();
  const auto shown = read_back_screen(800, 640);
  screen_clear(0x402010);
  reference_display(number, x, y, 200, -1);
  const auto reference = read_back_screen(800, 640);
  int differing = 0;
  for (size_t i = 0; i < shown.size(); ++i)
    for (int shift : {0, 8, 16})
      differing += std::abs(int(shown[i] >> shift & 0xFF) - int(reference[i] >> shift & 0xFF)) > 1;
  return differing;
}

// A sheet's texture holds only the rows with something else than its transparent outside texel,
// and one texel for rows of one value; it still reads back, displays and stretches as the whole
// picture, transparent texels keeping their key colour.
TEST_F(Sprites, SheetsHoldOnlyTheirRowsAndShowTheWholePicture) {
  struct Case {
    const char* name;
    void (*make)();
    int first_row, rows;  // the rows held (counted from the bottom)
    bool one_texel;
  };
  const Case cases[] = {
      {"an empty sheet", [] { sprite_create(7, 800, 640); }, 0, 0, true},
      {"one opaque colour throughout",
       [] {
         sprite_create(7, 800, 640);
         rows_of(0x151B01, 0, 640);
         sprite_transparent_colour(7, 0xFF00FF);
       },
       0, 640, true},
      {"a band of one colour on a transparent sheet",
       [] {
         sprite_create(7, 800, 640);
         sprite_transparent_colour(7, 0);
         rows_of(0x462301, 26, 322);
       },
       640 - 348, 322, true},
      {"shapes in a stripe",
       [] {
         sprite_create(7, 800, 640);
         sprite_transparent_colour(7, 0);
         ASSERT_NE(draw_start(sprite_output(7)), 0);
         draw_circle(300, 400, 30, 0x20A040);
         draw_box(500, 380, 40, 9, 0xF0E0D0);
         draw_stop();
       },
       208, 64, false},
      {"a sheet keyed with a colour other than black",
       [] {
         sprite_create(7, 800, 640);
         rows_of(0x112233, 0, 640);
         rows_of(0x445566, 100, 3);
         sprite_transparent_colour(7, 0x112233);
       },
       537, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.make();
    {
      std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
      const sprite_store::Sprite* s = sprite_store::find(7);
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(s->layout.rows, c.rows);
      if (c.rows > 0) {
        EXPECT_EQ(s->layout.first_row, c.first_row);
      }
      EXPECT_EQ(s->layout.uniform, c.one_texel);
      ASSERT_FALSE(s->pixels.empty());  // the sprite worked on last holds its copy
    }
    EXPECT_TRUE(texture_matches_copy(7));  // the read-back rebuilds every texel, key colours too
    EXPECT_EQ(display_differences(7, 0, 0), 0);
    sprite_clip(7, 10, 300, 500, 200);
    EXPECT_EQ(display_differences(7, 37, 21), 0);
    sprite_zoom(7, 731, 517);  // stretched: the texture takes every row from then on
    EXPECT_EQ(display_differences(7, -5, 9), 0);
    {
      std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
      const sprite_store::Sprite* s = sprite_store::find(7);
      EXPECT_TRUE(s->layout.rows == 640 || (s->layout.uniform && c.rows == 640));
    }
    EXPECT_TRUE(texture_matches_copy(7));
  }
}

// A canvas cleared and drawn every frame, its shapes moving into new rows: the texture's rows
// only grow, and the texture keeps equal to the copy.
TEST_F(Sprites, CanvasTextureGrowsWithTheRowsItsShapesReach) {
  ASSERT_NE(sprite_create(7, 800, 640), 0);
  sprite_transparent_colour(7, 0);
  int held = 0;
  for (int frame = 0; frame < 12; ++frame) {
    ASSERT_NE(draw_start(sprite_output(7)), 0);
    draw_box(0, 0, 800, 640, 0);
    draw_circle(100 + 50 * frame, 200 + 25 * frame, 20, 0x3060F0);
    draw_stop();
    std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
    const sprite_store::Sprite* s = sprite_store::find(7);
    EXPECT_GE(s->layout.rows, held) << "frame " << frame;
    held = s->layout.rows;
  }
  EXPECT_LT(held, 640);
  EXPECT_TRUE(texture_matches_copy(7));
  EXPECT_EQ(display_differences(7, 0, 0), 0);
}

}  // namespace
