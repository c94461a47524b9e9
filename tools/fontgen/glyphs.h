// The glyph designs of the font strip: 94 cells of 8 x 8 pixels, in the glyph order
// (space to "}" in code order; the third cell shows a double quote).
#pragma once

namespace fontgen {

// Text art of the glyphs. Blocks of up to eight glyphs side by side; each block opens with a
// label line ("> " then the characters the cells show, "sp" for the space) followed by eight
// pixel rows, "#" for ink and "." for background, one 8-column group per glyph separated by
// one space. Blocks are separated by blank lines.
extern const char* const kGlyphArt;

}  // namespace fontgen
