// tests/effects/effects_fixture.h — the sprite test screen with the show's font strip loaded
// as sprite 1 (keyed) and image 20, and a recorder of sprite_display calls.
#pragma once

#include <vector>

#include "../sprite/gl_fixture.h"
#include "assets/pictures.h"
#include "effects/bitmap_font_text.h"
#include "effects/objects.h"
#include "runtime/image/image.h"

class EffectsScreenTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_NE(sprite_load_memory(objects::kFontSprite, asset_font_strip, asset_font_strip_size), 0);
    sprite_transparent_colour(objects::kFontSprite, kScreenFont.key_colour);
    ASSERT_NE(image_load_memory(objects::kScrollerFontImage, asset_font_strip, asset_font_strip_size), 0u);
  }
  void TearDown() override {
    sprite_set_display_recorder(nullptr);
    image_free(-1);
    ScreenTest::TearDown();
  }

  // From now on every sprite_display lands in calls().
  static void record() {
    calls().clear();
    sprite_set_display_recorder([](const SpriteDisplayCall& call) { calls().push_back(call); });
  }
  static std::vector<SpriteDisplayCall>& calls() {
    static std::vector<SpriteDisplayCall> recorded;
    return recorded;
  }

  // Whether pixel (x, y) of the font strip's glyph cell `cell` is ink.
  static bool glyph_ink(int cell, int x, int y) {
    bool ink = false;
    image_with_bitmap(image_handle(objects::kScrollerFontImage), [&](const ImageBitmap& strip) {
      const int bytes = strip.bits / 8;
      const uint8_t* p = &strip.pixels[(size_t(y) * strip.width + size_t(cell * 8 + x)) * size_t(bytes)];
      ink = !(p[0] == 0x55 && p[1] == 0x33 && p[2] == 0x33);  // B, G, R of the background
    });
    return ink;
  }
};
