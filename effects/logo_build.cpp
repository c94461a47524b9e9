#include "effects/logo_build.h"

#include "assets/texts.h"
#include "effects/bitmap_font_text.h"
#include "effects/look.h"
#include "effects/objects.h"
#include "runtime/screen/screen.h"
#include "runtime/sprite/sprite.h"

namespace {

// Row colours: white for the single marks and the middle, light blue for two bands of four rows.
constexpr int32_t kWhite = 0xFFFFFF, kBand = look::kLightBlue;
constexpr int32_t kRowColours[19] = {
    kWhite, kWhite,                                          // 0, 1
    kBand,  kBand,  kBand,  kBand,                           // 2..5
    kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kWhite,  // 6..12
    kBand,  kBand,  kBand,  kBand,                           // 13..16
    kWhite, kWhite,                                          // 17, 18
};
static_assert(std::size(kRowColours) == texts::kLogoLines.size());

}  // namespace

int logo_build(Logo& logo) {
  const int advance = 8, line_height = 16, top = 0, pitch = 16;
  screen_clear(0);
  logo.width = look::kScreenWidth;
  logo.height = 304;
  for (size_t k = 0; k < texts::kLogoLines.size(); ++k) {
    const std::u16string_view row = texts::kLogoLines[k];
    const int x = (look::kScreenWidth - int(row.size()) * advance) / 2;  // each row centred by its own length
    bitmap_font_text(objects::kFontSprite, x, top + pitch * int(k), advance, line_height, row, kRowColours[k],
                     255);
  }
  sprite_grab_screen(objects::kLogoSprite, 0, 0, logo.width, logo.height);
  // The grab takes the default key colour, black at start; keying black here keeps the
  // unlit background transparent whatever default a caller has set since (a no-op otherwise).
  sprite_transparent_colour(objects::kLogoSprite, 0);
  screen_clear(0);
  return 0;
}
