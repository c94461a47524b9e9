// The badge: the coder's handle, KESTROW, in heavy block letters inside a white rounded-rectangle
// outline, on a transparent ground (the letters' counters and the gaps between them are
// transparent too). The show only ever draws it tinted, as one flat colour, so only its alpha
// carries the shape: a name that reads in a single colour on the closing card and a dark badge
// in the main scene.
//
// The show displays the picture at 0.75 of its size (93 x 18) with nearest-neighbour sampling,
// which shows texels 0, 2 and 3 of every 4 and skips texel 1. So the badge is designed pixel by
// pixel at 93 x 18, and each design pixel fills the texels that land on it: design pixel 3k
// covers texels 4k and 4k + 1, 3k + 1 covers 4k + 2 and 3k + 2 covers 4k + 3. Every pixel of the
// design then shows on screen exactly once.
//
// On the closing card the badge is drawn in the card's dark tint on the veil, so the name has
// to carry by its weight alone: the letters fill all the height the outline leaves (12 pixels,
// one clear pixel above and below), with 3-pixel stems and bars and 2-pixel gaps between the
// letters, and the outline is a thinner 2-pixel line so that the name, not the frame, reads first.
#include <array>
#include <string_view>

#include "pictures.h"

namespace picturegen {
namespace {

constexpr int kWidth = 124;
constexpr int kHeight = 24;
constexpr int kDesignWidth = 93;  // the size on screen
constexpr int kDesignHeight = 18;
constexpr int kOutline = 2;  // outline thickness and corner cut, in design pixels

// The letters, 12 design pixels high and of their own widths, 2 pixels apart.
constexpr int kGlyphHeight = 12;
constexpr int kGlyphGap = 2;
constexpr int kGlyphTop = kOutline + 1;  // one clear pixel between the outline and the letters
constexpr std::string_view kName = "KESTROW";

struct Glyph {
  char letter;
  std::array<std::string_view, kGlyphHeight> rows;  // all of one width
};

// clang-format off
constexpr Glyph kGlyphs[] = {
    {'K', {"###....###.",
           "###...###..",
           "###..###...",
           "###.###....",
           "######.....",
           "#####......",
           "######.....",
           "###.###....",
           "###..###...",
           "###...###..",
           "###....###.",
           "###.....###"}},
    {'E', {"#########",
           "#########",
           "#########",
           "###......",
           "###......",
           "#######..",
           "#######..",
           "###......",
           "###......",
           "#########",
           "#########",
           "#########"}},
    {'S', {".#########",
           "##########",
           "##########",
           "###.......",
           "###.......",
           "##########",
           "##########",
           ".......###",
           ".......###",
           "##########",
           "##########",
           "#########."}},
    {'T', {"#########",
           "#########",
           "#########",
           "...###...",
           "...###...",
           "...###...",
           "...###...",
           "...###...",
           "...###...",
           "...###...",
           "...###...",
           "...###..."}},
    {'R', {"##########.",
           "###########",
           "###########",
           "###.....###",
           "###.....###",
           "###########",
           "##########.",
           "###..###...",
           "###...###..",
           "###....###.",
           "###.....###",
           "###.....###"}},
    {'O', {".#########.",
           "###########",
           "###########",
           "###.....###",
           "###.....###",
           "###.....###",
           "###.....###",
           "###.....###",
           "###.....###",
           "###########",
           "###########",
           ".#########."}},
    {'W', {"###.......###",
           "###.......###",
           "###.......###",
           "###.......###",
           "###..###..###",
           "###..###..###",
           "###..###..###",
           "###..###..###",
           "###..###..###",
           "#############",
           "#############",
           ".####...####."}},
};
// clang-format on

const Glyph* glyph_for(char letter) {
  for (const Glyph& glyph : kGlyphs)
    if (glyph.letter == letter) return &glyph;
  return nullptr;
}

int glyph_width(char letter) {
  const Glyph* glyph = glyph_for(letter);
  return glyph ? int(glyph->rows[0].size()) : 0;
}

int name_width() {
  int width = -kGlyphGap;
  for (char letter : kName) width += glyph_width(letter) + kGlyphGap;
  return width;
}

// True where the 93 x 18 design is opaque: the outline ring with its corners cut, and the name
// centred in the pill.
bool design_covers(int x, int y) {
  const bool edge_column = x < kOutline || x >= kDesignWidth - kOutline;
  const bool edge_row = y < kOutline || y >= kDesignHeight - kOutline;
  if (edge_column && edge_row) return false;
  if (edge_column || edge_row) return true;
  const int v = y - kGlyphTop;
  if (v < 0 || v >= kGlyphHeight) return false;
  int left = (kDesignWidth - name_width() + 1) / 2;
  for (char letter : kName) {
    const Glyph* glyph = glyph_for(letter);
    const int u = x - left;
    if (glyph && u >= 0 && u < glyph_width(letter)) return glyph->rows[size_t(v)][size_t(u)] == '#';
    left += glyph_width(letter) + kGlyphGap;
  }
  return false;
}

// The design pixel that texel t shows as at 0.75 of the size.
int design_index(int t) {
  constexpr int kWithinGroup[4] = {0, 0, 1, 2};
  return t / 4 * 3 + kWithinGroup[t % 4];
}

}  // namespace

Canvas paint_badge() {
  Canvas canvas(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      canvas.set(x, y, {255, 255, 255}, design_covers(design_index(x), design_index(y)) ? 255 : 0);
  return canvas;
}

}  // namespace picturegen
