// The show's sprites and images, prepared once at start-up.
#include <cmath>

#include "assets/pictures.h"
#include "assets/texts.h"
#include "effects/disc_trail.h"
#include "effects/logo_build.h"
#include "effects/objects.h"
#include "effects/sine_scroller.h"
#include "runtime/draw/draw.h"
#include "runtime/image/image.h"
#include "runtime/sprite/sprite.h"
#include "show/scene.h"
#include "show/show.h"

namespace show {
namespace {

using namespace objects;

constexpr uint32_t kFontKey = 0x553333;     // the font strip's background
constexpr uint32_t kSkyKey = 0x271D14;      // RGB (20, 29, 39): the pictures' empty sky
constexpr uint32_t kBandColour = 0x462301;  // RGB (1, 35, 70)
constexpr uint32_t kUnusedKey = 0xFF00FF;   // a key no pixel of the veil has
constexpr int kSheetWidth = kScreenWidth, kSheetHeight = kScreenHeight;  // full-screen sheets

// Scaled sizes are products with a 64-bit factor, rounded to nearest, ties to even.
int scaled(int size, double factor) {
  return int(std::nearbyint(size * factor));
}

// A sheet whose pixels are all `colour` (drawn between draw_start and draw_stop).
void fill(int sprite, int x, int y, int width, int height, uint32_t colour) {
  if (!draw_start(sprite_output(sprite))) return;
  draw_box(x, y, width, height, colour);
  draw_stop();
}

void prepare_sprites() {
  sprite_load_memory(kFontSprite, asset_font_strip, asset_font_strip_size);
  sprite_transparent_colour(kFontSprite, kFontKey);

  sprite_load_memory(kBackdropSprite, asset_backdrop, asset_backdrop_size);
  sprite_zoom(kBackdropSprite, sprite_width(kBackdropSprite) * 2, sprite_height(kBackdropSprite) * 2);
  sprite_transparent_colour(kBackdropSprite, kSkyKey);

  // The band sheet gets its key before the band is drawn: everything but the band stays
  // transparent black. The band spans the sheet's height minus 318 rows from row 26.
  sprite_create(kBandSprite, kSheetWidth, kSheetHeight);
  sprite_transparent_colour(kBandSprite, 0);
  fill(kBandSprite, 0, 26, kSheetWidth, sprite_height(kBandSprite) - 318, kBandColour);
  // A copy starts at the source's own size with no clip: the top 64 rows of the sheet.
  sprite_copy(kBandSprite, kBandTopSprite, kSpriteKeepAlpha);
  sprite_clip(kBandTopSprite, 0, 0, kScreenWidth, 64);

  sprite_load_memory(kScenePictureSprite, asset_scene, asset_scene_size);
  sprite_transparent_colour(kScenePictureSprite, kSkyKey);
  sprite_zoom(kScenePictureSprite, scaled(sprite_width(kScenePictureSprite), 0.83),
              sprite_height(kScenePictureSprite) - 238);
  // The copy takes the picture's own 960 x 540, not the zoomed size: the strip is the 32 rows
  // from half the picture's own height, full width.
  sprite_copy(kScenePictureSprite, kSceneStripSprite, kSpriteKeepAlpha);
  sprite_transparent_colour(kSceneStripSprite, kSkyKey);
  sprite_clip(kSceneStripSprite, 0, sprite_height(kSceneStripSprite) / 2, sprite_width(kSceneStripSprite),
              32);

  sprite_create(kDiscCanvasSprite, kSheetWidth, kSheetHeight);
  sprite_transparent_colour(kDiscCanvasSprite, 0);

  sprite_load_memory(kBadgeSprite, asset_badge, asset_badge_size, kSpriteKeepAlpha);
  sprite_zoom(kBadgeSprite, scaled(sprite_width(kBadgeSprite), 0.75),
              scaled(sprite_height(kBadgeSprite), 0.75));

  sprite_load_memory(kBannerSprite, asset_banner, asset_banner_size);
  sprite_transparent_colour(kBannerSprite, 0);
  sprite_zoom(kBannerSprite, scaled(sprite_width(kBannerSprite), 1.25),
              scaled(sprite_height(kBannerSprite), 1.25));

  // The veil gets its key after its box is drawn, and a key no pixel has: fully opaque.
  sprite_create(kVeilSprite, kSheetWidth, kSheetHeight);
  fill(kVeilSprite, 0, 0, sprite_width(kVeilSprite), sprite_height(kVeilSprite), kVeilColour);
  sprite_transparent_colour(kVeilSprite, kUnusedKey);
}

}  // namespace

void prepare_assets(ShowState& show) {
  prepare_sprites();
  image_load_memory(kScrollerFontImage, asset_font_strip, asset_font_strip_size);
  sprite_create(kScrollerStripSprite, 1600, 32);
  sine_scroller_init(show.scroller, texts::scroll_text());
  disc_trail_init(show.trail);
}

void prepare_logo(ShowState& show) {
  logo_build(show.logo);
}

void release_assets() {
  sprite_free(-1);
  image_free(-1);
}

}  // namespace show
