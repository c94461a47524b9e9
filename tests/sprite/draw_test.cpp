// Drawing onto sprites: boxes, circles, images, modes, keying at draw_stop, and the image table.
#include "runtime/draw/draw.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "gl_fixture.h"
#include "picture_writers.h"
#include "runtime/image/image.h"

namespace {

constexpr uint32_t kOpaque = 0xFF000000;

class Drawing : public ScreenTest {
 protected:
  // A 100 x 60 target, opaque black (the default key is set elsewhere than black).
  void SetUp() override {
    ScreenTest::SetUp();
    if (IsSkipped()) return;
    sprite_transparent_colour(-1, 0xFF00FF);
    ASSERT_EQ(sprite_create(kTarget, 100, 60), 1);
    ASSERT_NE(draw_start(sprite_output(kTarget)), 0);
  }
  void TearDown() override {
    draw_stop();
    image_free(-1);
    ScreenTest::TearDown();
  }
  // One character per pixel of row y, columns x0..x1-1: '#' = `colour`, '.' = opaque black.
  static std::string row(int y, int x0, int x1, uint32_t colour) {
    std::string s;
    for (int x = x0; x < x1; ++x) {
      const uint32_t p = sprite_pixel(kTarget, x, y);
      s += p == (kOpaque | colour) ? '#' : p == kOpaque ? '.' : '?';
    }
    return s;
  }
  static constexpr int kTarget = 12;
};

TEST_F(Drawing, BoxesAreCutToTheSprite) {
  draw_box(50, 10, -10, 1, 0x0000FF);          // negative width: columns 40..49
  draw_box(95, 20, 10, -2, 0x00FF00);          // negative height: rows 18, 19; cut at the right edge
  draw_box(-1000, -1000, 500, 500, 0xFFFFFF);  // wholly outside
  draw_box(0, 59, 0, 5, 0xFFFFFF);             // no width
  draw_stop();
  EXPECT_EQ(row(10, 38, 52, 0x0000FF), "..##########..");
  EXPECT_EQ(row(18, 93, 100, 0x00FF00), "..#####");
  EXPECT_EQ(row(19, 93, 100, 0x00FF00), "..#####");
  EXPECT_EQ(row(20, 93, 100, 0x00FF00), ".......");
  EXPECT_EQ(row(59, 0, 4, 0xFFFFFF), "....");
  EXPECT_TRUE(texture_matches_copy(kTarget));
}

TEST_F(Drawing, DrawingRowZeroIsTheTopRowAsDisplayed) {
  draw_box(0, 0, 100, 1, 0x0000FF);
  draw_stop();
  sprite_display(kTarget, 200, 300, 255);
  const auto screen = read_screen();
  EXPECT_EQ(at(screen, 200, 300), 0x0000FFu);
  EXPECT_EQ(at(screen, 200, 301), 0u);
}

TEST_F(Drawing, KeyColourBecomesTransparentAtStopAndEverythingElseOpaque) {
  draw_stop();
  // A copy keeps the source's alpha: transparent black under the black key, recorded key magenta.
  sprite_transparent_colour(-1, 0);
  ASSERT_EQ(sprite_create(13, 10, 10), 1);
  sprite_transparent_colour(-1, 0xFF00FF);
  ASSERT_EQ(sprite_copy(13, 14), 1);
  EXPECT_EQ(sprite_pixel(14, 0, 0), 0u);
  ASSERT_NE(draw_start(sprite_output(14)), 0);
  draw_box(2, 2, 3, 3, 0xFF00FF);
  draw_stop();
  EXPECT_EQ(sprite_pixel(14, 3, 3), 0x00FF00FFu);
  EXPECT_EQ(sprite_pixel(14, 0, 0), kOpaque);  // transparent before, not drawn over, not the key
  EXPECT_TRUE(texture_matches_copy(14));
}

TEST_F(Drawing, KeepAlphaSpriteIsNotKeyed) {
  draw_stop();
  ASSERT_EQ(sprite_create(13, 4, 4, kSpriteKeepAlpha), 1);
  ASSERT_NE(draw_start(sprite_output(13)), 0);
  draw_box(0, 0, 2, 2, 0xFF00FF);
  draw_stop();
  EXPECT_EQ(sprite_pixel(13, 0, 0), 0x00FF00FFu);
  EXPECT_EQ(sprite_pixel(13, 3, 3), 0u);
}

TEST_F(Drawing, FilledAndOutlinedCircles) {
  draw_circle(5, 5, 3, 0xFFFFFF);
  draw_mode(kDrawOutline);
  draw_circle(20, 5, 3, 0x00FF00);
  draw_mode(0);
  draw_circle(40, 5, 0, 0x0000FF);
  draw_circle(60, 5, -1, 0x0000FF);
  draw_stop();
  const char* disc[] = {"..###..", ".#####.", "#######", "#######", "#######", ".#####.", "..###.."};
  const char* ring[] = {"..###..", ".#...#.", "#.....#", "#.....#", "#.....#", ".#...#.", "..###.."};
  for (int y = 0; y < 7; ++y) {
    EXPECT_EQ(row(2 + y, 2, 9, 0xFFFFFF), disc[y]) << y;
    EXPECT_EQ(row(2 + y, 17, 24, 0x00FF00), ring[y]) << y;
  }
  EXPECT_EQ(row(5, 39, 42, 0x0000FF), ".#.");
  EXPECT_EQ(row(5, 59, 62, 0x0000FF), "...");
}

TEST_F(Drawing, HugeAndOffSpriteCirclesAreClippedQuickly) {
  draw_circle(50, 30, 2000000000, 0x0000FF);  // covers everything, visits only 60 rows
  draw_circle(-500, -500, 40, 0xFFFFFF);
  draw_circle(99, 59, 2, 0xFFFFFF);
  draw_stop();
  EXPECT_EQ(row(0, 0, 3, 0x0000FF), "###");
  EXPECT_EQ(row(57, 97, 100, 0xFFFFFF), "?##");  // blue from the huge circle, then the corner disc
  EXPECT_EQ(row(59, 97, 100, 0xFFFFFF), "###");
}

TEST_F(Drawing, XorModeFlipsColourBits) {
  draw_box(0, 0, 4, 1, 0x0000F0);
  draw_mode(kDrawXor);
  draw_box(2, 0, 4, 1, 0x0000FF);
  draw_stop();
  EXPECT_EQ(sprite_pixel(kTarget, 0, 0), kOpaque | 0x0000F0);
  EXPECT_EQ(sprite_pixel(kTarget, 2, 0), kOpaque | 0x00000F);
  EXPECT_EQ(sprite_pixel(kTarget, 5, 0), kOpaque | 0x0000FF);
}

TEST_F(Drawing, ImagesAreCopiedUprightAndClipped) {
  BmpSpec spec{3, 2, 24, 0, {}, [](int x, int y) { return uint32_t(0x100000 * (x + 1) + 0x10 * (y + 1)); },
               {}};
  const Bytes file = write_bmp(spec);
  const uint32_t handle = image_load_memory(20, file.data(), file.size());
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(image_handle(20), handle);
  EXPECT_EQ(image_width(20), 3);
  draw_image(handle, 10, 10);
  draw_image(handle, 98, 58);       // only its top-left 2 x 2
  draw_image(handle + 1000, 0, 0);  // no such image
  draw_stop();
  EXPECT_EQ(sprite_pixel(kTarget, 10, 10), kOpaque | 0x100010);  // r 0x10, b 0x10 packed r + 65536 b
  EXPECT_EQ(sprite_pixel(kTarget, 12, 11), kOpaque | 0x200030);
  EXPECT_EQ(sprite_pixel(kTarget, 99, 59), kOpaque | 0x200020);
  EXPECT_EQ(sprite_pixel(kTarget, 0, 0), kOpaque);
}

TEST_F(Drawing, ImageGrabCopiesARectangle) {
  BmpSpec spec{8, 8, 24, 0, {}, [](int x, int y) { return uint32_t(x << 16 | y << 8 | 1); }, {}};
  const Bytes file = write_bmp(spec);
  ASSERT_NE(image_load_memory(20, file.data(), file.size()), 0u);
  const uint32_t grabbed = image_grab(20, 21, 6, 2, 4, 3);  // two columns lie outside: black
  ASSERT_NE(grabbed, 0u);
  EXPECT_EQ(image_width(21), 4);
  EXPECT_EQ(image_height(21), 3);
  draw_image(grabbed, 0, 0);
  draw_stop();
  EXPECT_EQ(sprite_pixel(kTarget, 0, 0), kOpaque | 0x010206);  // source (6, 2)
  EXPECT_EQ(sprite_pixel(kTarget, 1, 2), kOpaque | 0x010407);  // source (7, 4)
  EXPECT_EQ(sprite_pixel(kTarget, 2, 0), kOpaque);
  EXPECT_EQ(image_grab(99, 22, 0, 0, 2, 2), 0u);  // no source: the number stays untouched
  EXPECT_EQ(image_grab(20, 21, 0, 0, 0, 2), 0u);
  EXPECT_EQ(image_handle(21), grabbed);
  const Bytes junk(40, 1);
  EXPECT_EQ(image_load_memory(21, junk.data(), junk.size()), 0u);
  EXPECT_FALSE(image_exists(21));
}

TEST_F(Drawing, NothingHappensWithoutACurrentOutput) {
  draw_stop();
  draw_box(0, 0, 100, 60, 0xFFFFFF);
  draw_circle(10, 10, 5, 0xFFFFFF);
  draw_mode(kDrawXor);
  draw_image(1, 0, 0);
  draw_stop();
  EXPECT_EQ(sprite_pixel(kTarget, 0, 0), kOpaque);
  EXPECT_EQ(draw_start(nullptr), 0);
  EXPECT_EQ(sprite_output(77), nullptr);
}

TEST_F(Drawing, CurrentOutputBelongsToItsThread) {
  std::thread other([] {
    draw_box(0, 0, 100, 60, 0xFFFFFF);  // no output is current on this thread
    draw_stop();
  });
  other.join();
  draw_box(0, 0, 1, 1, 0x0000FF);  // still current here
  draw_stop();
  EXPECT_EQ(sprite_pixel(kTarget, 0, 0), kOpaque | 0x0000FF);
  EXPECT_EQ(sprite_pixel(kTarget, 1, 1), kOpaque);
}

TEST_F(Drawing, FreedTargetThrowsTheDrawingAway) {
  draw_box(0, 0, 10, 10, 0xFFFFFF);
  sprite_free(kTarget);
  ASSERT_EQ(sprite_create(kTarget, 5, 5), 1);  // a new sprite under the same number
  draw_stop();
  EXPECT_EQ(sprite_pixel(kTarget, 0, 0), kOpaque);
  EXPECT_EQ(sprite_width(kTarget), 5);
}

TEST(ColourPacking, RgbAndRgba) {
  EXPECT_EQ(rgb(1, 11, 21), 0x150B01u);
  EXPECT_EQ(rgba(1, 2, 3, 4), 0x04030201u);
  static_assert(rgb(0x33, 0x33, 0x55) == 0x553333);
}

}  // namespace

namespace {

// A canvas cleared and redrawn every frame, as the disc trail does: only the rows that changed
// are sent, and the texture must still equal the sprite's pixels after every frame.
TEST_F(Drawing, RedrawnCanvasKeepsItsTextureEqualToItsPixels) {
  draw_stop();
  sprite_transparent_colour(-1, 0);
  ASSERT_EQ(sprite_create(15, 200, 160), 1);
  struct Frame {
    int x, y, radius;
  };
  for (const Frame& f : {Frame{20, 20, 8}, Frame{120, 130, 12}, Frame{120, 130, 12}, Frame{60, 5, 30},
                         Frame{199, 159, 3}, Frame{-50, -50, 4}}) {
    ASSERT_NE(draw_start(sprite_output(15)), 0);
    draw_box(0, 0, 200, 160, 0);
    draw_circle(f.x, f.y, f.radius, 0x102030);
    draw_stop();
    EXPECT_TRUE(texture_matches_copy(15)) << f.x << "," << f.y;
    if (f.x < 0) continue;
    EXPECT_EQ(sprite_pixel(15, f.x, f.y), 0xFF102030u);
  }
}

// The output takes over the sprite's copy and notes the rows it changes. When the sprite is
// worked on while the output is open (its key changed, its pixels held again for a copy), what
// reaches the texture is still the drawing over the sprite, keyed with the key at draw_stop.
TEST_F(Drawing, ASpriteWorkedOnWhileItsOutputIsOpen) {
  draw_stop();
  sprite_transparent_colour(-1, 0);
  struct Case {
    const char* what;
    void (*meanwhile)();
    uint32_t background;  // the untouched pixel (50, 50) at the end
    uint32_t box;         // a pixel of the box drawn in 0x0000FF
  };
  const Case cases[] = {
      {"nothing", [] {}, 0x00000000u, 0xFF0000FFu},
      {"a new key", [] { sprite_transparent_colour(15, 0x0000FF); }, 0xFF000000u, 0x000000FFu},
      {"a copy made of it", [] { ASSERT_EQ(sprite_copy(15, 16, kSpriteKeepAlpha), 1); }, 0x00000000u,
       0xFF0000FFu},
      {"another output drawn and stopped", [] {
         ASSERT_NE(draw_start(sprite_output(15)), 0);
         draw_box(0, 100, 10, 10, 0x00FF00);
         draw_stop();
       }, 0x00000000u, 0xFF0000FFu},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(sprite_create(15, 200, 160), 1);
    DrawOutput* output = sprite_output(15);
    ASSERT_NE(output, nullptr);
    c.meanwhile();
    ASSERT_NE(draw_start(output), 0);
    draw_box(10, 10, 20, 20, 0x0000FF);
    draw_box(40, 10, 5, 5, 0x102030);
    draw_stop();
    EXPECT_TRUE(texture_matches_copy(15));
    EXPECT_EQ(sprite_pixel(15, 42, 12), 0xFF102030u);
    EXPECT_EQ(sprite_pixel(15, 50, 50), c.background);
    EXPECT_EQ(sprite_pixel(15, 15, 15), c.box);  // keyed with the key in force at draw_stop
    sprite_free(-1);
  }
}

// Only the sprite worked on last and the sprites worked on again and again hold a CPU copy: a
// sheet drawn once and its copy hold none once another sprite is worked on, and what they show
// comes back from their textures; two canvases drawn in turn every frame hold theirs from their
// second drawing on. A late key change on a sheet without a copy re-derives its alpha from the
// texture.
TEST_F(Drawing, OnlySpritesWorkedOnRepeatedlyHoldACopy) {
  draw_stop();
  sprite_transparent_colour(-1, 0);
  ASSERT_EQ(sprite_create(16, 64, 48), 1);
  ASSERT_NE(draw_start(sprite_output(16)), 0);
  draw_box(4, 4, 10, 10, 0x0000FF);
  draw_stop();
  ASSERT_EQ(sprite_copy(16, 17), 1);
  auto holds_copy = [](int number) {
    std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
    return !sprite_store::find(number)->pixels.empty();
  };
  EXPECT_FALSE(holds_copy(16));
  EXPECT_FALSE(holds_copy(17));  // the last worked on, but a copy shares its source's texture
  ASSERT_EQ(sprite_create(18, 64, 48), 1);
  EXPECT_FALSE(holds_copy(17));
  EXPECT_EQ(sprite_pixel(17, 5, 5), 0xFF0000FFu);
  EXPECT_EQ(sprite_pixel(17, 20, 20), 0x00000000u);
  sprite_transparent_colour(17, 0x0000FF);
  sprite_clip(18, 0, 0, 10, 10);  // not an operation on the pixels: 17 stays the last worked on
  EXPECT_TRUE(holds_copy(17));
  EXPECT_TRUE(texture_matches_copy(17));
  EXPECT_EQ(sprite_pixel(17, 5, 5), 0x000000FFu);
  EXPECT_EQ(sprite_pixel(17, 20, 20), 0xFF000000u);

  for (int frame = 0; frame < 3; ++frame) {
    for (int canvas : {16, 18}) {
      ASSERT_NE(draw_start(sprite_output(canvas)), 0);
      draw_box(0, 0, 64, 48, 0);
      draw_box(frame * 10, 20, 5, 5, 0x00FF00);
      draw_stop();
      EXPECT_TRUE(texture_matches_copy(canvas)) << frame;
      EXPECT_EQ(sprite_pixel(canvas, frame * 10, 20), 0xFF00FF00u) << frame;
      EXPECT_EQ(sprite_pixel(canvas, 5, 5), 0x00000000u) << frame;
    }
    EXPECT_EQ(holds_copy(16), frame >= 1) << frame;
    EXPECT_TRUE(holds_copy(18)) << frame;
  }
  EXPECT_FALSE(holds_copy(17));
}

// A copy shares its source's texture until one of the two changes; the one that changes gets
// a texture of its own and the other keeps its picture.
TEST_F(Drawing, ACopySharesItsSourceUntilOneOfThemChanges) {
  draw_stop();
  sprite_transparent_colour(-1, 0);
  auto texture_of = [](int number) {
    std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
    return sprite_store::find(number)->texture;
  };
  auto draw_on = [](int number, uint32_t colour) {
    ASSERT_NE(draw_start(sprite_output(number)), 0);
    draw_box(30, 30, 4, 4, colour);
    draw_stop();
  };
  struct Case {
    const char* what;
    int changed, kept;  // 20 is the source, 21 the copy
  };
  for (const Case& c : {Case{"drawing on the copy", 21, 20}, Case{"drawing on the source", 20, 21}}) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(sprite_create(20, 64, 48), 1);
    draw_on(20, 0x0000FF);
    ASSERT_EQ(sprite_copy(20, 21, kSpriteKeepAlpha), 1);
    EXPECT_EQ(texture_of(20), texture_of(21));
    // Keying the copy with the colour its source's alpha came from changes no texel.
    sprite_transparent_colour(21, 0);
    EXPECT_EQ(texture_of(20), texture_of(21));
    draw_on(c.changed, 0x00FF00);
    EXPECT_NE(texture_of(20), texture_of(21));
    EXPECT_EQ(sprite_pixel(c.changed, 31, 31), 0xFF00FF00u);
    EXPECT_EQ(sprite_pixel(c.kept, 31, 31), 0xFF0000FFu);
    EXPECT_TRUE(texture_matches_copy(c.changed));
    EXPECT_EQ(sprite_pixel(c.changed, 5, 5), 0x00000000u);
  }
  // Freeing the source leaves the copy's picture; keying it with another colour gives it its own.
  ASSERT_EQ(sprite_copy(21, 22, kSpriteKeepAlpha), 1);
  ASSERT_EQ(texture_of(21), texture_of(22));
  sprite_free(21);
  EXPECT_EQ(sprite_pixel(22, 31, 31), 0xFF0000FFu);
  sprite_transparent_colour(22, 0x0000FF);
  EXPECT_EQ(sprite_pixel(22, 31, 31), 0x000000FFu);
  EXPECT_EQ(sprite_pixel(22, 5, 5), 0xFF000000u);
  sprite_free(-1);
}

}  // namespace
