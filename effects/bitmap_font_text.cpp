#include "effects/bitmap_font_text.h"

#include "runtime/sprite/sprite.h"

int font_glyph_cell(const BitmapFont& font, char16_t c) {
  const size_t place = font.glyph_order.find(c);
  // Place is 1-based in the font's own terms: 0 = absent. Absent characters, and any index
  // past the glyph count, fall back to the space's cell.
  const int position = place == std::u16string_view::npos ? 0 : int(place) + 1;
  int index = position - 1;
  if (position == 0 || index < 0 || index > font.glyph_count) index = int(font.glyph_order.find(u' '));
  return index;
}

int bitmap_font_text(int sprite, int x, int y, int advance, int /*line_height*/, std::u16string_view text,
                     int32_t colour, int intensity) {
  const BitmapFont& font = kScreenFont;
  for (size_t i = 0; i < text.size(); ++i) {
    const int index = font_glyph_cell(font, text[i]);
    const int source_x = (index % font.columns) * font.glyph_width;
    const int source_y = (index / font.columns) * font.glyph_height;
    if (source_x >= 0 && source_y >= 0)
      sprite_clip(sprite, source_x, source_y, font.glyph_width, font.glyph_height);
    sprite_display(sprite, x + advance * int(i), y, intensity, colour);
  }
  return 0;
}
