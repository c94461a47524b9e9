// The logo sprite (grabbed from the back buffer) and the disc trail's canvas, read back.
#include <gtest/gtest.h>

#include <set>

#include "effects/disc_trail.h"
#include "effects/logo_build.h"
#include "effects_fixture.h"

namespace {

constexpr uint32_t kOpaque = 0xFF000000;

using LogoSprite = EffectsScreenTest;

TEST_F(LogoSprite, GrabsTheTopRowsWithBlackTransparent) {
  Logo logo;
  EXPECT_EQ(logo_build(logo), 0);
  EXPECT_EQ(logo.width, 800);
  EXPECT_EQ(logo.height, 304);
  ASSERT_EQ(sprite_width(objects::kLogoSprite), 800);
  ASSERT_EQ(sprite_height(objects::kLogoSprite), 304);
  // Colours found per row band: white rows 0-1, 6-12, 17-18; tan rows 2-5 and 13-16.
  std::set<uint32_t> bands[19];
  const std::vector<uint32_t> texels = sprite_texels(objects::kLogoSprite);  // bottom row first
  ASSERT_EQ(texels.size(), 800u * 304u);
  for (int y = 0; y < 304; ++y)
    for (int x = 0; x < 800; ++x) {
      const uint32_t pixel = texels[size_t(303 - y) * 800 + size_t(x)];
      if ((pixel & 0xFFFFFF) == 0) {
        ASSERT_EQ(pixel >> 24, 0u) << x << ", " << y;  // black is see-through
      } else {
        ASSERT_EQ(pixel >> 24, 0xFFu) << x << ", " << y;
        bands[y / 16].insert(pixel & 0xFFFFFF);
      }
    }
  for (int row = 0; row < 19; ++row) {
    const bool tan = (row >= 2 && row <= 5) || (row >= 13 && row <= 16);
    EXPECT_EQ(bands[row], std::set<uint32_t>{tan ? 0xCBB08Eu : 0xFFFFFFu}) << "row " << row;
  }
  // Nothing of the rendering is left on the back buffer.
  const auto screen = read_screen();
  for (size_t i = 0; i < screen.size(); ++i) ASSERT_EQ(screen[i], 0u) << i;
}

class DiscTrailCanvas : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_NE(sprite_create(objects::kDiscCanvasSprite, 800, 640), 0);
    sprite_transparent_colour(objects::kDiscCanvasSprite, 0);
    disc_trail_init(trail);
  }
  static uint32_t canvas(int x, int y) { return sprite_pixel(objects::kDiscCanvasSprite, x, y); }
  DiscTrail trail;
};

// The first frame's discs sit at 1 to 17 steps: the smallest (radius 8) centred at (412, 427),
// the largest (radius 40) at (588, 449). Both colours are opaque; the rest is transparent.
TEST_F(DiscTrailCanvas, FirstFrameDiscsInEitherColour) {
  const struct {
    bool main_phase;
    uint32_t colour;
  } cases[] = {{false, 0x150B01}, {true, 0x050506}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.main_phase ? "main phase" : "before the main phase");
    disc_trail_init(trail);
    EXPECT_EQ(disc_trail(trail, k.main_phase), 0);
    const uint32_t ink = kOpaque | k.colour;
    // Smallest disc: its left and top edges stand clear of the next discs.
    EXPECT_EQ(canvas(412, 427), ink);
    EXPECT_EQ(canvas(404, 427), ink);
    EXPECT_EQ(canvas(403, 427), 0u);
    EXPECT_EQ(canvas(412, 419), ink);
    EXPECT_EQ(canvas(412, 418), 0u);
    // Largest disc: right and bottom edges.
    EXPECT_EQ(canvas(588, 449), ink);
    EXPECT_EQ(canvas(628, 449), ink);
    EXPECT_EQ(canvas(629, 449), 0u);
    EXPECT_EQ(canvas(588, 489), ink);
    EXPECT_EQ(canvas(588, 490), 0u);
    EXPECT_EQ(canvas(0, 0), 0u);
    EXPECT_EQ(trail.bsinx, 388);
    EXPECT_EQ(trail.bsiny, 73);
  }
  EXPECT_TRUE(texture_matches_copy(objects::kDiscCanvasSprite));
}

// Each frame the trail moves on by one disc position and the canvas is cleared first.
TEST_F(DiscTrailCanvas, AdvancesOneStepPerFrame) {
  disc_trail(trail, false);
  EXPECT_NEAR(trail.angle_x, trail.step_x, 1e-6);
  EXPECT_NEAR(trail.angle_y, trail.step_y, 1e-6);
  disc_trail(trail, false);
  EXPECT_EQ(canvas(404, 427), 0u);  // last frame's tail is gone
  // The smallest disc now sits where the second one was: 2 steps, (423, 429).
  EXPECT_EQ(canvas(415, 429), kOpaque | 0x150B01);
  EXPECT_EQ(canvas(414, 429), 0u);
  for (int frame = 2; frame < 1000; ++frame) disc_trail(trail, true);
  EXPECT_NEAR(trail.angle_y, 1000 * trail.step_y, 1e-3);  // no drift from the rewinds
}

}  // namespace
