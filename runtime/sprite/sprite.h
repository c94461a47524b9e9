// runtime/sprite/sprite.h — sprites: numbered pictures held as OpenGL rectangle textures, and
// their display on the screen.
//
// A sprite is an RGBA texture of the open screen (runtime/screen/screen.h) with a clip
// rectangle (the part of the texture shown) and a display size (what the clip is stretched
// to). Every sprite has a key colour: pixels whose red, green and blue equal it exactly get
// alpha 0, all others alpha 255, unless the sprite keeps its picture's own alpha
// (kSpriteKeepAlpha). Texture row 0 is the bottom row of the picture.
//
// Numbers follow the runtime's object tables: >= 0 picks the number (its old sprite is freed
// first), -1 creates under a free number and returns it (never 0, so the result cannot be
// mistaken for failure), -1 to sprite_free means every sprite. Creation fails (0) without an
// open screen; textures belong to its OpenGL context and screen_close frees every sprite.
// Colours are packed r + 256 g + 65536 b. Failure is 0; nothing throws.
//
//   picture::register_png();                        // once, at start-up (runtime/image/decoder.h)
//   sprite_load_memory(1, font_bmp, font_bmp_size);
//   sprite_transparent_colour(1, 0x553333);         // background becomes transparent
//   sprite_clip(1, 8 * 33, 0, 8, 16);               // one glyph cell
//   sprite_display(1, 100, 20, 255, 0xFFFFFF);      // drawn white at (100, 20)
//
// Display calls are batched: consecutive quads that share a texture and a colour mode are
// drawn together. The batch is drawn in call order before anything else touches the back
// buffer through the runtime (screen_clear, screen_flip, read-backs, grabs) or changes a
// texture; code that draws with OpenGL itself calls sprite_flush() (or screen_flush()) first.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kSpriteKeepAlpha = 8;  // creation flag: keep the picture's own alpha

// Installs the screen hooks (batch flush before clear/read/present, release on screen close).
// Every creating operation calls it; calling it at start-up does no harm.
void sprite_start();

// Decodes an encoded picture of `size` bytes (BMP, PNG, JPEG: runtime/image/decoder.h) into
// a sprite. With kSpriteKeepAlpha a 32-bit picture keeps its alpha channel; otherwise the
// alpha comes from the default key colour alone. 0 when no decoder accepts the picture (the
// number's old sprite is gone all the same), when it cannot be decoded, or without memory.
int sprite_load_memory(int number, const void* data, size_t size, int flags = 0);
// Decodes a picture ahead of its sprite_load_memory, on any thread and without a screen: the
// next sprite_load_memory of the same bytes (same address and size) takes the decoded picture
// instead of decoding it, with the same result. For a start-up that decodes its pictures while
// the window and the OpenGL context are made. A picture that does not decode is left to the
// load; closing an open screen forgets what was not taken.
void sprite_decode_ahead(const void* data, size_t size);
// A black width x height sprite: transparent with the default black key, opaque black under
// any other default key, transparent black with kSpriteKeepAlpha.
int sprite_create(int number, int width, int height, int flags = 0);
// A new sprite with the source's whole texture (its alpha unchanged) at texture size, the
// default key colour as its key and `mode` as flags (-1: the source's flags). 0 when the
// source does not exist.
int sprite_copy(int source, int destination, int mode = -1);
// The back buffer's rectangle (x, y, width, height), in logical coordinates while the
// surface has its logical size, keyed with the default key colour.
int sprite_grab_screen(int number, int x, int y, int width, int height, int flags = 0);

// Source rectangle in texture pixels from the picture's top-left; -1 in any = default (0, 0,
// texture width, texture height). Cut to the texture; sets the display size to the clip size.
void sprite_clip(int number, int x, int y, int width, int height);
// Display size; -1 = the clip's width or height.
void sprite_zoom(int number, int width, int height);
int sprite_width(int number);   // display width, 0 for a number that is not a sprite
int sprite_height(int number);  // display height
// Number -1 sets the default key colour for sprites made from now on (0 at start). For a
// sprite whose key differs from `colour`, re-derives every pixel's alpha from the new key
// (a picture's own alpha included).
void sprite_transparent_colour(int number, uint32_t colour);
int sprite_free(int number);  // returns 0

// Puts the sprite's clip rectangle, stretched to its display size, with its top-left at
// logical (x, y), blended with opacity intensity / 255 (0..255). colour -1 keeps the
// sprite's colours; any other colour draws its silhouette: every texel in that colour with
// its own alpha. Nearest-neighbour sampling. Nothing happens for a number that is not a
// sprite or a sprite wholly off the logical screen.
void sprite_display(int number, int x, int y, int intensity, int32_t colour = -1);
// Draws the display calls that are still batched.
void sprite_flush();

// Test seam: when set, every sprite_display of an existing sprite is reported (before the
// off-screen test) with the sprite's clip rectangle and display size at that moment. Null
// removes the recorder. Main thread only.
struct SpriteDisplayCall {
  int number, x, y, intensity;
  int32_t colour;
  int clip_x, clip_y, clip_width, clip_height;
  int width, height;  // display size
};
void sprite_set_display_recorder(void (*record)(const SpriteDisplayCall& call));

// Running totals since start-up, for the benchmark's profile: quads and draw calls sent to
// OpenGL, and texture uploads (calls, texels sent, wall time spent in them). Main thread only.
struct SpriteDrawCounts {
  long long quads = 0, draws = 0, uploads = 0, uploaded_texels = 0;
  double upload_ms = 0;
};
SpriteDrawCounts sprite_draw_counts();
