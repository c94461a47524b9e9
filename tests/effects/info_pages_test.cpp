// Info pages: where each line lands (recorded glyph displays) for given wave values.
#include "effects/info_pages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <string_view>

#include "assets/texts.h"
#include "effects_fixture.h"

namespace {

struct Page {
  int (*draw)(const PageWaves&);
  std::span<const std::u16string_view> lines;
};
const Page kPages[] = {
    {info_page_1, texts::kPage1Lines}, {info_page_2, texts::kPage2Lines}, {info_page_3, texts::kPage3Lines},
    {info_page_4, texts::kPage4Lines}, {info_page_5, texts::kPage5Lines}, {info_page_6, texts::kPage6Lines},
    {info_page_7, texts::kPage7Lines},
};

struct Line {
  int x, y;
  int32_t colour;
};

class Pages : public EffectsScreenTest {
 protected:
  // Draws page `number` (1..7) and splits the recorded glyphs into its lines: each line must
  // be one run of its text's glyphs, 8 pixels apart on one row, in one colour at intensity 255.
  std::vector<Line> draw(int number, const PageWaves& waves) {
    const Page& page = kPages[number - 1];
    record();
    EXPECT_EQ(page.draw(waves), 0);
    sprite_set_display_recorder(nullptr);
    std::vector<Line> lines;
    size_t next = 0;
    for (std::u16string_view text : page.lines) {
      if (next + text.size() > calls().size()) {
        ADD_FAILURE() << "page " << number << " drew too few glyphs";
        return lines;
      }
      const SpriteDisplayCall& first = calls()[next];
      for (size_t i = 0; i < text.size(); ++i) {
        const SpriteDisplayCall& glyph = calls()[next + i];
        EXPECT_EQ(glyph.number, objects::kFontSprite);
        EXPECT_EQ(glyph.x, first.x + 8 * int(i));
        EXPECT_EQ(glyph.y, first.y);
        EXPECT_EQ(glyph.colour, first.colour);
        EXPECT_EQ(glyph.intensity, 255);
        EXPECT_EQ(glyph.clip_x, 8 * font_glyph_cell(kScreenFont, text[i]));
      }
      lines.push_back({first.x, first.y, first.colour});
      next += text.size();
    }
    EXPECT_EQ(next, calls().size()) << "page " << number << " drew more than its lines";
    return lines;
  }
};

// Centring C = (800 - 8 * length) / 2 and the motions round(base + factor * wave), summed in
// 32-bit floats and rounded to nearest with ties to even.
TEST_F(Pages, LinesAreCentredAndMoved) {
  struct Case {
    int page, line;
    size_t length;
    PageWaves waves;
    Line expected;
    const char* why;
  } cases[] = {
      {1, 0, 36, {6.25f, 0, 0}, {256, 410, 0xEEEEEE}, "416 - 6.25 = 409.75"},
      {1, 4, 48, {6.25f, 0, 0}, {208, 469, 0x5A430E}, "480 - 1.8 x 6.25 = 468.75"},
      {1, 1, 48, {3.75f, 0, 0}, {208, 428, 0xEEEEEE}, "432 - 1.2f x 3.75 = 427.5 in floats: even"},
      {2, 1, 81, {6.25f, 0, 0}, {76, 384, 0xEEEEEE}, "odd length; still prose"},
      {2, 2, 21, {0.5f, 0, 0}, {316, 406, 0x2B2BF3}, "400 - 0.5 + 6 = 405.5: even"},
      {2, 2, 21, {1.5f, 0, 0}, {316, 404, 0x2B2BF3}, "400 - 1.5 + 6 = 404.5: even"},
      {3, 0, 44, {0, 0, 0}, {224, 448, 0x212121}, "no sway"},
      {3, 0, 44, {0, 6.25f, 0}, {218, 448, 0x212121}, "224 - 6.25"},
      {3, 0, 44, {0, -6.25f, 0}, {230, 448, 0x212121}, "224 + 6.25"},
      {3, 0, 44, {0, -0.5f, 0}, {224, 448, 0x212121}, "224.5: even"},
      {4, 0, 90, {0, 1.5f, 0}, {42, 384, 0xEEEEEE}, "40 + 1.5 = 41.5: even"},
      {4, 3, 40, {0, 0, -3.125f}, {240, 461, 0xEEEEEE}, "464 - 3.125"},
      {5, 5, 67, {0, 2.5f, 0}, {130, 464, 0xA4D2FF}, "132 - 0.6f x 2.5 = 130.5: even"},
      {5, 9, 70, {0, -2.5f, 0}, {120, 542, 0xEEEEEE}, "544 - 2.5 = 541.5: even"},
      {6, 0, 45, {0, 0, 3.125f}, {221, 368, 0xEEEEEE}, "220 + 0.4f x 3.125 = 221.25"},
      {6, 4, 81, {6.25f, 0, 0}, {76, 452, 0xEEEEEE}, "448 + 0.6f x 6.25 = 451.75"},
      {7, 0, 96, {0, 6.25f, 0}, {22, 368, 0xEEEEEE}, "16 + 6.25"},
      {7, 12, 96, {6.25f, 0, 0}, {16, 538, 0x0E7F00}, "544 - 6.25"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "page " << k.page << " line " << k.line << ": " << k.why);
    ASSERT_EQ(kPages[k.page - 1].lines[size_t(k.line)].size(), k.length);
    const std::vector<Line> lines = draw(k.page, k.waves);
    ASSERT_GT(lines.size(), size_t(k.line));
    EXPECT_EQ(lines[size_t(k.line)].x, k.expected.x);
    EXPECT_EQ(lines[size_t(k.line)].y, k.expected.y);
    EXPECT_EQ(lines[size_t(k.line)].colour, k.expected.colour);
  }
}

// Page 7's white line stands still over slot 6 while the green art line under it bounces; its
// visible characters fall only into the art line's blank columns.
TEST_F(Pages, PageSevenOverlayStandsStill) {
  for (float bounce : {0.0f, 3.0f, 6.25f}) {
    const std::vector<Line> lines = draw(7, {bounce, 0, 0});
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[6].x, 16);
    EXPECT_EQ(lines[6].y, int(std::nearbyint(464 - bounce)));
    EXPECT_EQ(lines[6].colour, 0x45FF2E);
    EXPECT_EQ(lines[7].x, 16);
    EXPECT_EQ(lines[7].y, 464);
    EXPECT_EQ(lines[7].colour, 0xEEEEEE);
  }
  const std::u16string_view art = texts::kPage7Lines[6], overlay = texts::kPage7Lines[7];
  ASSERT_EQ(overlay.size(), art.size());
  for (size_t i = 0; i < overlay.size(); ++i)
    if (overlay[i] != u' ') {
      EXPECT_EQ(art[i], u' ') << "column " << i;
    }
}

}  // namespace
