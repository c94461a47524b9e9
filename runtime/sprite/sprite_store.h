// runtime/sprite/sprite_store.h — the sprite records, shared by the store, the display and the
// drawing outputs (runtime/draw/). Not for the show.
//
// A sprite's texture is the picture; a CPU copy of it (`pixels`, bottom row first), equal to
// what was last uploaded, is held only by the sprites that are worked on again and again (the
// canvases drawn every frame, a strip re-keyed every frame) and by the sprite worked on last.
// Every other sprite drops its copy once another one is worked on (or a new sprite is made),
// and the rare operation that needs its pixels again (a late key change, a drawing) reads them
// back from the texture: an 800 x 640 sheet is 2 MB that nothing reads after start-up. A copy
// of a sprite needs no pixels: it shares the texture until one of the two changes. A drawing
// output holds the sprite's copy while it is open. From the second
// read-back on a sprite keeps its copy, so that a sprite worked on every frame is read back
// twice in all, not every frame.
//
// The texture itself need not hold every row. Many sheets are mostly empty or one colour: the
// band is 322 opaque rows of one colour on a transparent 800 x 640 sheet, the disc trail keeps
// to a stripe of some 200 rows, the veil is one colour throughout. So the texture holds only the
// rows that differ from a transparent `outside` texel, and those rows as a single texel when
// they are all one value (Layout). What a sprite shows and reads back is the whole picture all
// the same. A pixel is packed like a colour value with its alpha on top:
// r + 256 g + 65536 b + 16777216 a, which in a little-endian machine's memory is the bytes R,
// G, B, A that OpenGL takes as GL_RGBA / GL_UNSIGNED_BYTE.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "runtime/sprite/sprite.h"
#include "runtime/support/zeroed_pages.h"

namespace sprite_store {

// A CPU copy: zeroed when made, and holding memory only in the pages written
// (runtime/support/zeroed_pages.h); keying and drawing write only the texels they change.
using Pixels = std::vector<uint32_t, ZeroedAllocator<uint32_t>>;

static_assert(std::endian::native == std::endian::little, "pixels are uploaded as R, G, B, A bytes");

// Which rows of the picture the texture holds (rows count from the bottom, as the texture's).
// The texture is texture_width x rows texels holding picture rows first_row ..
// first_row + rows - 1, or, when `uniform`, one texel `value` that every texel of those rows
// equals. Every texel of the other rows equals `outside`, whose alpha is 0 unless the texture
// holds every row. A picture with nothing but `outside` holds no rows, as one texel `outside`.
struct Layout {
  int first_row = 0;
  int rows = 0;
  bool uniform = false;
  uint32_t value = 0;
  uint32_t outside = 0;
  int stored_width(int texture_width) const { return uniform ? 1 : texture_width; }
  int stored_height() const { return uniform ? 1 : rows; }
};

struct Sprite {
  // OpenGL texture name, non-zero from the sprite's first upload on. A copy shares its source's
  // texture (and layout) until one of the two is changed (upload gives the changing one a
  // texture of its own).
  uint32_t texture = 0;
  Layout layout;
  // Set by the first stretched display: the texture holds every row from then on, so that a
  // stretched quad samples the same texels as from the whole picture.
  bool whole_rows = false;
  uint32_t serial = 0;    // unique per sprite made; tells a drawing output its sprite is still there
  int display_width = 0;  // size on the screen (sprite_width, sprite_height)
  int display_height = 0;
  int source_bits = 0;  // 24 or 32 for a loaded picture, 32 for sprite_create, 0 for copies and grabs
  int flags = 0;        // creation flags; kSpriteKeepAlpha = keep the picture's own alpha
  int texture_width = 0;
  int texture_height = 0;
  int clip_x = 0;  // source rectangle, texture pixels from the picture's top-left
  int clip_y = 0;
  int clip_width = 0;
  int clip_height = 0;
  uint32_t key_colour = 0;  // the recorded key colour (sprite_transparent_colour; a copy's is the default)
  // Whether every texel's alpha is what keying with alpha_key (r + 256 g + 65536 b) gives: 0
  // where the colour is the key, 255 elsewhere. Keying such a sprite with that colour again
  // changes no texel, so it is not redone (a copy re-keyed with its source's key).
  bool alpha_is_key = false;
  uint32_t alpha_key = 0;
  Pixels pixels;       // the texture's contents, bottom row first; empty when dropped
  int read_backs = 0;  // times the copy had to be read back from the texture
  // Which kTileWidth x kTileHeight tiles of the texture hold a texel with alpha above 0, row
  // by row from the picture's top (tiles_x per row). Kept by upload(); display skips the rest.
  std::vector<uint8_t> tiles;
  int tiles_x = 0;
  int tiles_y = 0;
  // For textures up to 64 rows (the font strip, the scroller's strip): per texel column, bit r
  // set when row r from the picture's top holds a visible texel. Lets a display of an empty
  // clip (a blank glyph, a gap in the scroll text) be left out. Empty for taller textures.
  std::vector<uint64_t> column_rows;
};
inline constexpr int kTileWidth = 32, kTileHeight = 16;

std::recursive_mutex& lock();
// The sprite under `number`, or nullptr. Caller holds lock().
Sprite* find(int number);

// alpha = 0 where red, green and blue equal `colour` (r + 256 g + 65536 b), else 255.
void key(Pixels& pixels, uint32_t colour);
void key(uint32_t* pixels, size_t count, uint32_t colour);
// Sends rows first_row .. first_row + row_count - 1 of the sprite's pixels (texture rows,
// bottom row first; -1 = to the top) to its texture, which is made (again) when the sprite has
// none yet, shares it, or the rows no longer fit its layout (all rows: the layout is planned
// anew; some rows: it only grows, so that a canvas drawn every frame settles on one texture).
// False when OpenGL refuses a new texture; the sprite keeps its old one. Caller holds lock().
bool upload(Sprite& sprite, int first_row = 0, int row_count = -1);
// Makes the texture hold every row (see whole_rows). Caller holds lock().
void hold_whole_rows(Sprite& sprite);

// Makes sure the sprite holds its copy, reading it back from the texture when it was dropped.
// False without the memory for it. Caller holds lock().
bool hold_pixels(Sprite& sprite);
// Ends an operation that needed the copy. The sprite worked on last holds its copy until
// another sprite is worked on; then that one's copy is dropped unless it keeps one (see above).
void settle(Sprite& sprite);
// The texture's contents, bottom row first, without touching the sprite's copy. Caller holds
// lock().
Pixels read_texture(const Sprite& sprite);

// The running totals that sprite_draw_counts() reports.
SpriteDrawCounts& draw_counts();

// The display batch (sprite_display.cpp): appends nothing, draws what is pending.
void flush_batch();

}  // namespace sprite_store
