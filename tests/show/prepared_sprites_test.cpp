// The sprites the start-up prepares: display sizes, clips and keys of the pictures and sheets
// the scene draws, read from the sprite store after a real start-up.
#include <gtest/gtest.h>

#include <mutex>

#include "runtime/sprite/sprite_store.h"
#include "show_fixture.h"

namespace {

using PreparedSprites = ShowTest;

TEST_F(PreparedSprites, SizesClipsAndKeys) {
  struct Case {
    const char* name;
    int number;
    int width, height;  // display size
    int clip_x, clip_y, clip_width, clip_height;
    bool keyed;  // false: the picture's own alpha, no key
    uint32_t key;
  };
  const Case cases[] = {
      {"badge, 0.75 of 124 x 24", 4, 93, 18, 0, 0, 124, 24, false, 0},
      {"banner, 1.25 of 913 x 349", 5, 1141, 436, 0, 0, 913, 349, true, 0},
      {"backdrop, twice 474 x 356", 6, 948, 712, 0, 0, 474, 356, true, 0x271D14},
      {"top 64 rows of the band sheet", 10, 800, 64, 0, 0, 800, 64, true, 0},
      {"nebula, 0.83 wide and 238 rows shorter", 11, 797, 302, 0, 0, 960, 540, true, 0x271D14},
      {"nebula strip from half the picture's own height", 12, 960, 32, 0, 270, 960, 32, true, 0x271D14},
      {"veil, a key no pixel has", 24, 800, 640, 0, 0, 800, 640, true, 0xFF00FF},
  };
  std::lock_guard<std::recursive_mutex> hold(sprite_store::lock());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const sprite_store::Sprite* s = sprite_store::find(c.number);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->display_width, c.width);
    EXPECT_EQ(s->display_height, c.height);
    EXPECT_EQ(s->clip_x, c.clip_x);
    EXPECT_EQ(s->clip_y, c.clip_y);
    EXPECT_EQ(s->clip_width, c.clip_width);
    EXPECT_EQ(s->clip_height, c.clip_height);
    if (c.keyed) {
      EXPECT_EQ(s->key_colour, c.key);
    }
  }
}

// The veil hides everything under it: displayed at full intensity over white it leaves only its
// own colour, so its key matched no pixel.
TEST_F(PreparedSprites, TheVeilIsFullyOpaque) {
  screen_clear(0xFFFFFF);
  sprite_display(objects::kVeilSprite, 0, 0, 255);
  const std::vector<uint32_t> frame = read_screen();
  ASSERT_EQ(frame.size(), size_t(kWidth) * kHeight);
  size_t other = 0;
  for (uint32_t pixel : frame) other += pixel != 0x150B01u;
  EXPECT_EQ(other, 0u);
}

}  // namespace
