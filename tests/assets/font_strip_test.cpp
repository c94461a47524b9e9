// The font strip: fontgen writes exactly the committed file, the build embeds that file, and
// the file has the fixed bitmap layout with 94 double-height glyphs in the glyph order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "assets/pictures.h"
#include "assets/texts.h"
#include "generator_run.h"

namespace {

constexpr int kWidth = 752;
constexpr int kHeight = 16;
constexpr int kPixelOffset = 1078;
// The strip's cells follow the glyph order the show looks characters up in (ASCII only).
const std::string kGlyphOrder(texts::kGlyphOrder.begin(), texts::kGlyphOrder.end());

uint32_t le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint32_t le16(const unsigned char* p) {
  return p[0] | p[1] << 8;
}

// Palette index of pixel (x, y), y counted from the top of the picture.
int pixel(int x, int y) {
  return asset_font_strip[kPixelOffset + (kHeight - 1 - y) * kWidth + x];
}

bool cell_row_has_ink(int cell, int y) {
  for (int x = 0; x < 8; ++x)
    if (pixel(8 * cell + x, y)) return true;
  return false;
}

std::vector<int> cell_pixels(int cell) {
  std::vector<int> pixels;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < 8; ++x) pixels.push_back(pixel(8 * cell + x, y));
  return pixels;
}

TEST(FontStrip, GeneratorWritesTheCommittedFileAndTheBuildEmbedsIt) {
  std::filesystem::path dir = asset_test::fresh_temp_dir("fontgen");
  asset_test::ToolRun run =
      asset_test::run_tool(QUORVANE_TOOL_FONTGEN, "\"" + (dir / "font.bmp").string() + "\"", dir);
  ASSERT_EQ(run.exit_code, 0) << run.error_output;
  std::vector<unsigned char> committed =
      asset_test::read_bytes(asset_test::source_path("assets/font/font_strip.bmp"));
  EXPECT_EQ(asset_test::read_bytes(dir / "font.bmp"), committed);
  EXPECT_TRUE(asset_test::same_bytes(asset_font_strip, asset_font_strip_size, committed));
}

TEST(FontStrip, GeneratorRejectsBadArgumentsWithOneLine) {
  std::filesystem::path dir = asset_test::fresh_temp_dir("fontgen_bad");
  const char* cases[] = {"", "a.bmp b.bmp", "--help", "\"" QUORVANE_TEST_TEMP_DIR "/no/such/dir/font.bmp\""};
  for (const char* arguments : cases) {
    asset_test::ToolRun run = asset_test::run_tool(QUORVANE_TOOL_FONTGEN, arguments, dir);
    EXPECT_NE(run.exit_code, 0) << arguments;
    ASSERT_FALSE(run.error_output.empty()) << arguments;
    EXPECT_EQ(run.error_output.find('\n'), run.error_output.size() - 1) << run.error_output;
  }
}

TEST(FontStrip, HeadersHoldTheFixedLayout) {
  ASSERT_EQ(asset_font_strip_size, 13110u);
  EXPECT_EQ(asset_font_strip[0], 'B');
  EXPECT_EQ(asset_font_strip[1], 'M');
  struct Field {
    int offset;
    int bytes;
    uint32_t value;
    const char* name;
  };
  const Field fields[] = {
      {2, 4, 13110, "file size"},    {6, 4, 0, "reserved"},
      {10, 4, 1078, "pixel offset"}, {14, 4, 40, "info header size"},
      {18, 4, 752, "width"},         {22, 4, 16, "height (bottom-up)"},
      {26, 2, 1, "planes"},          {28, 2, 8, "bits per pixel"},
      {30, 4, 0, "compression"},     {34, 4, 12032, "image size"},
      {38, 4, 2851, "x resolution"}, {42, 4, 2851, "y resolution"},
      {46, 4, 256, "colours used"},  {50, 4, 256, "colours important"},
  };
  for (const Field& field : fields) {
    const unsigned char* p = asset_font_strip + field.offset;
    EXPECT_EQ(field.bytes == 4 ? le32(p) : le16(p), field.value) << field.name;
  }
}

TEST(FontStrip, PaletteHoldsBackgroundAndInkAndOtherwiseBlack) {
  const unsigned char* palette = asset_font_strip + 54;
  // Entries are stored blue, green, red, 0.
  EXPECT_EQ(std::vector<int>(palette, palette + 8),
            (std::vector<int>{0x55, 0x33, 0x33, 0, 0xAA, 0xCC, 0xCC, 0}));
  for (int i = 8; i < 1024; ++i) ASSERT_EQ(palette[i], 0) << "palette byte " << i;
}

TEST(FontStrip, PixelsAreBackgroundOrInkWithEveryRowDoubled) {
  for (int y = 0; y < kHeight; y += 2)
    for (int x = 0; x < kWidth; ++x) {
      ASSERT_LE(pixel(x, y), 1) << x << "," << y;
      ASSERT_EQ(pixel(x, y), pixel(x, y + 1)) << x << "," << y;
    }
}

TEST(FontStrip, CellsFollowTheGlyphOrder) {
  ASSERT_EQ(kGlyphOrder.size(), 94u);
  std::set<std::vector<int>> shapes;
  for (int cell = 0; cell < 94; ++cell) {
    bool blank = true;
    for (int y = 0; y < kHeight; ++y) blank = blank && !cell_row_has_ink(cell, y);
    EXPECT_EQ(blank, cell == 0) << "cell " << cell;
    shapes.insert(cell_pixels(cell));
  }
  EXPECT_EQ(shapes.size(), 94u) << "every glyph has a shape of its own";

  // Only the descenders, the characters that sit low and the strokes of ASCII art that join
  // the next line (the bar and both slashes) reach the bottom design row.
  std::string low;
  for (int cell = 0; cell < 94; ++cell)
    if (cell_row_has_ink(cell, 14)) low += kGlyphOrder[cell];
  EXPECT_EQ(low, ",/\\_gjpqy|");

  // A slash drawn on two lines, one cell further left on the lower line (as the pages' ASCII art
  // draws a long diagonal), is one unbroken stroke: the lower glyph's top ink touches, at most
  // one column away, the upper glyph's bottom ink. The same for a backslash one cell right.
  const struct {
    char glyph;
    int next_line_shift;  // cells
  } kDiagonals[] = {{'/', -1}, {'\\', 1}};
  for (const auto& d : kDiagonals) {
    const int cell = static_cast<int>(kGlyphOrder.find(d.glyph));
    int nearest = 100;  // columns between the upper glyph's bottom ink and the lower glyph's top ink
    for (int bottom = 0; bottom < 8; ++bottom)
      for (int top = 0; top < 8; ++top)
        if (pixel(8 * cell + bottom, kHeight - 1) && pixel(8 * cell + top, 0))
          nearest = std::min(nearest, std::abs(top + 8 * d.next_line_shift - bottom));
    EXPECT_LE(nearest, 1) << d.glyph;
  }
  // The bar stands in the middle of its cell, so that underscore runs stop as far short of it on
  // the left ("___|") as on the right ("|___").
  const int bar = static_cast<int>(kGlyphOrder.find('|'));
  int left = 8, right = -1;
  for (int x = 0; x < 8; ++x)
    if (pixel(8 * bar + x, 8)) left = std::min(left, x), right = std::max(right, x);
  EXPECT_EQ(left, 7 - right) << "blank columns left and right of the bar";

  // Cell 2 shows a double quote: ink only near the top, in two separate strokes.
  for (int y = 6; y < kHeight; ++y) EXPECT_FALSE(cell_row_has_ink(2, y)) << "row " << y;
  int strokes = 0;
  for (int x = 0, previous = 0; x < 8; ++x) {
    strokes += pixel(16 + x, 0) && !previous;
    previous = pixel(16 + x, 0);
  }
  EXPECT_EQ(strokes, 2);
}

}  // namespace
