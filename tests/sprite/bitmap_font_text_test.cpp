// Bitmap font text: the glyph lookup, and glyphs drawn from a font strip built in the test.
#include "effects/bitmap_font_text.h"

#include <gtest/gtest.h>

#include "gl_fixture.h"
#include "picture_writers.h"

namespace {

static_assert(texts::kGlyphOrder.size() == 94);

TEST(GlyphLookup, CharactersMapToTheirCells) {
  struct {
    char16_t c;
    int cell;
  } cases[] = {
      {u' ', 0},  {u'!', 1},  {u'~', 2},  // "~" stands where the double quote would
      {u'"', 0},  {u'#', 3},  {u'0', 16}, {u'A', 33}, {u'Z', 58},     {u'a', 65},     {u'z', 90},
      {u'}', 93}, {u'{', 91}, {u'\t', 0}, {u'\n', 0}, {u'\u00E4', 0}, {u'\u0000', 0}, {char16_t(0xFFFF), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(font_glyph_cell(kScreenFont, c.c), c.cell) << int(c.c);
}

// Cell k > 0 carries its number in binary down column 0 (rows 0..6) and a full bottom row, so
// the screen shows which cell was drawn where. Cell 0 is blank, as the space's cell is.
bool ink(int x, int y) {
  const int cell = x / 8, column = x % 8;
  if (cell == 0) return false;
  if (y == 15) return true;
  return column == 0 && y < 7 && (cell >> y & 1);
}

class FontText : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    if (IsSkipped()) return;
    const Bytes strip = write_font_strip(ink);
    ASSERT_EQ(sprite_load_memory(1, strip.data(), strip.size()), 1);
    sprite_transparent_colour(1, kScreenFont.key_colour);
  }
  // The cell shown by the 8 x 16 block at (x, y) drawn in `colour`: -1 for a blank block.
  static int cell_at(const std::vector<uint32_t>& screen, int x, int y, uint32_t colour) {
    if (at(screen, x + 7, y + 15) != colour) return -1;
    int cell = 0;
    for (int bit = 0; bit < 7; ++bit) cell |= (at(screen, x, y + bit) == colour) << bit;
    return cell;
  }
};

TEST_F(FontText, EachCharacterDrawsItsCellOneAdvanceFurther) {
  EXPECT_EQ(bitmap_font_text(1, 100, 200, 8, 16, u"A\"\u00E4}~a", 0xFFFFFF, 255), 0);
  const auto screen = read_screen();
  const int expected[] = {33, -1, -1, 93, 2, 65};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(cell_at(screen, 100 + 8 * i, 200, 0xFFFFFF), expected[i]) << i;
  EXPECT_EQ(at(screen, 101, 200), kBackground);          // keyed background stays see-through
  EXPECT_EQ(at(screen, 100 + 8 * 6, 215), kBackground);  // nothing after the last glyph
}

TEST_F(FontText, GlyphsTakeTheColourAndIntensity) {
  bitmap_font_text(1, 0, 0, 8, 16, u"!", 0x150B01, 255);
  bitmap_font_text(1, 0, 20, 8, 16, u"!", 0xFFFFFF, 0);
  const auto screen = read_screen();
  EXPECT_EQ(at(screen, 0, 15), 0x150B01u);
  EXPECT_EQ(at(screen, 0, 35), kBackground);
  // The strip stays clipped to the last glyph drawn.
  std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
  EXPECT_EQ(sprite_store::find(1)->clip_x, 8);
  EXPECT_EQ(sprite_store::find(1)->clip_width, 8);
}

TEST_F(FontText, EmptyTextAndTextsOffScreen) {
  EXPECT_EQ(bitmap_font_text(1, 0, 0, 8, 16, u"", 0xFFFFFF, 255), 0);
  EXPECT_EQ(at(read_screen(), 7, 15), kBackground);
  // 120 characters centred the show's way start left of the screen; the visible ones land
  // where they belong.
  const std::u16string text(120, u'A');
  const int x = (800 - int(text.size()) * 8) / 2;
  ASSERT_LT(x, 0);
  bitmap_font_text(1, x, 300, 8, 16, text, 0xFFFFFF, 255);
  const auto screen = read_screen();
  EXPECT_EQ(cell_at(screen, x + 8 * 10, 300, 0xFFFFFF), 33);
  EXPECT_EQ(cell_at(screen, x + 8 * 109, 300, 0xFFFFFF), 33);
  bitmap_font_text(77, 0, 0, 8, 16, u"A", 0xFFFFFF, 255);  // no such sprite: nothing
}

}  // namespace
