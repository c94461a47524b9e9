// effects/bitmap_font_text.h — text in the embedded 8 x 16 bitmap font.
//
// The font strip is one 752 x 16 picture of 94 glyph cells of 8 x 16 side by side; cell k
// shows the character at place k of the glyph order (texts::kGlyphOrder, kept with the strip
// it describes in assets/texts.h). The order is printable ASCII from space to
// "}" in code order, except that "~" stands where the double quote would: cell 2 holds a
// double-quote shape, so "~" in a text is drawn as a double quote, and the double quote and
// the tilde's own shape have no cell. Characters without a cell draw the blank cell 0 (space)
// and still advance.
//
//   bitmap_font_text(1, (800 - 8 * 5) / 2, 300, 8, 16, u"Hello", 0xFFFFFF, 255);
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "assets/texts.h"

// What the show knows about one use of the font strip.
struct BitmapFont {
  const unsigned char* strip = nullptr;  // the embedded BMP, set by whoever loads it
  size_t strip_bytes = 0;
  uint32_t key_colour = 0x553333;  // the background, RGB (0x33, 0x33, 0x55), made transparent
  std::u16string_view glyph_order = texts::kGlyphOrder;
  int glyph_count = int(texts::kGlyphOrder.size());  // 94, the highest index the lookup accepts
  int strip_width = 752;
  int strip_height = 16;
  int glyph_width = 8;
  int glyph_height = 16;
  int columns = 752 / 8;  // cells per row
  int rows = 16 / 16;     // rows of cells
};

// The descriptor bitmap_font_text uses.
inline constexpr BitmapFont kScreenFont{};

// The cell that shows `c`: its first place in the glyph order, or 0 (blank) when it has none.
int font_glyph_cell(const BitmapFont& font, char16_t c);

// Draws `text` with the font strip held by sprite `sprite`: glyph i (from 0) at
// (x + advance * i, y), each a silhouette in `colour` with opacity intensity / 255
// (sprite_display). `line_height` is accepted and not used: a text is one line. Leaves the
// sprite clipped to the last glyph drawn. Returns 0.
int bitmap_font_text(int sprite, int x, int y, int advance, int line_height, std::u16string_view text,
                     int32_t colour, int intensity);
