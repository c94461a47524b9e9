// The embedded font strip and pictures decode through the runtime's own picture decoders
// (BMP, PNG, JPEG) to the sizes and colours the show expects.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "assets/pictures.h"
#include "runtime/image/decoder.h"

namespace {

struct Case {
  const char* name;
  const unsigned char* data;
  unsigned int size;
  uint32_t tag;
  int width, height, bits;
};

class RuntimeDecoding : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    picture::register_png();
    picture::register_jpeg();
  }
  // B, G, R(, A) of pixel (x, y).
  static const uint8_t* pixel(const picture::Picture& p, int x, int y) {
    return &p.pixels[(static_cast<size_t>(y) * p.width + x) * (p.bits / 8)];
  }
};

TEST_F(RuntimeDecoding, EveryPictureDecodesToItsSize) {
  const Case cases[] = {
      {"font strip", asset_font_strip, asset_font_strip_size, picture::kTagBmp, 752, 16, 24},
      {"badge", asset_badge, asset_badge_size, picture::kTagPng, 124, 24, 32},
      {"banner", asset_banner, asset_banner_size, picture::kTagPng, 913, 349, 32},
      {"backdrop", asset_backdrop, asset_backdrop_size, picture::kTagJpeg, 474, 356, 24},
      {"scene", asset_scene, asset_scene_size, picture::kTagPng, 960, 540, 32},
      {"icon 16", asset_icon_16, asset_icon_16_size, picture::kTagPng, 16, 16, 32},
      {"icon 256", asset_icon_256, asset_icon_256_size, picture::kTagPng, 256, 256, 32},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(picture::probe(c.data, c.size), c.tag) << c.name;
    picture::release();
    picture::Picture p;
    ASSERT_TRUE(picture::decode_picture(c.data, c.size, &p)) << c.name;
    EXPECT_EQ(p.width, c.width) << c.name;
    EXPECT_EQ(p.height, c.height) << c.name;
    EXPECT_EQ(p.bits, c.bits) << c.name;
  }
}

TEST_F(RuntimeDecoding, FontStripShowsBackgroundAndInk) {
  picture::Picture strip;
  ASSERT_TRUE(picture::decode_picture(asset_font_strip, asset_font_strip_size, &strip));
  ASSERT_EQ(strip.bits, 24);
  const uint8_t* blank = pixel(strip, 0, 0);  // cell 0, the space
  EXPECT_EQ((std::vector<int>{blank[0], blank[1], blank[2]}), (std::vector<int>{0x55, 0x33, 0x33}));
  // "A" (cell 33): the left stem on design row 3 (pixel rows 6 and 7), ink at the top-down row.
  const uint8_t* ink = pixel(strip, 33 * 8, 6);
  EXPECT_EQ((std::vector<int>{ink[0], ink[1], ink[2]}), (std::vector<int>{0xAA, 0xCC, 0xCC}));
  const uint8_t* below = pixel(strip, 33 * 8, 15);  // the empty last design row
  EXPECT_EQ(below[0], 0x55);
}

TEST_F(RuntimeDecoding, SceneSkyKeepsTheKeyColourWithAlphaZero) {
  picture::Picture scene;
  ASSERT_TRUE(picture::decode_picture(asset_scene, asset_scene_size, &scene));
  ASSERT_EQ(scene.bits, 32);
  const uint8_t* corner = pixel(scene, 0, 539);  // bottom-left: empty sky
  EXPECT_EQ((std::vector<int>{corner[0], corner[1], corner[2], corner[3]}),
            (std::vector<int>{39, 29, 20, 0}));
}

}  // namespace
