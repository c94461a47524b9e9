// The badge: a white rounded-rectangle outline on a faint white plate, on a transparent ground.
// The show tints it, so only its alpha carries the shape. It is drawn on a grid of 4 x 4 pixel
// blocks with no anti-aliasing: the show displays it at 0.75 of its size, where every block
// becomes exactly 3 x 3 pixels, so the outline stays an even 3-pixel line instead of turning
// ragged. The plate inside keeps the badge readable as a badge when its outline is tinted
// close to the band's colour, and on the closing card where nothing is written on it.
#include "pictures.h"

namespace picturegen {
namespace {

constexpr int kWidth = 124;  // 31 blocks
constexpr int kHeight = 24;  // 6 blocks
constexpr int kBlock = 4;
constexpr int kColumns = kWidth / kBlock;
constexpr int kRows = kHeight / kBlock;
constexpr int kOutlineAlpha = 255;
constexpr int kPlateAlpha = 48;

// The alpha of block (column, row): the outer ring of blocks with its four corner blocks cut
// (a one-block rounding), the blocks inside it the plate.
int block_alpha(int column, int row) {
  const bool edge_column = column == 0 || column == kColumns - 1;
  const bool edge_row = row == 0 || row == kRows - 1;
  if (edge_column && edge_row) return 0;
  if (edge_column || edge_row) return kOutlineAlpha;
  return kPlateAlpha;
}

}  // namespace

Canvas paint_badge() {
  Canvas canvas(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) canvas.set(x, y, {255, 255, 255}, block_alpha(x / kBlock, y / kBlock));
  return canvas;
}

}  // namespace picturegen
