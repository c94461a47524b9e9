// Sprite display, batched.
//
// Each display is one quad with alpha blending (source alpha, one minus source alpha), in one
// of two texture modes: modulate (the texel's colour, its alpha scaled by intensity / 255) or
// a combiner that replaces the texel's RGB with the primary colour (a silhouette; alpha still
// texel alpha x intensity / 255). Instead of one immediate-mode quad with its own state per
// call, consecutive quads with the same texture and mode are collected in a vertex array with
// per-vertex colours and drawn with one call; a change of texture or mode, and anything that
// reads, clears or presents the back buffer or changes a texture, draws the batch first. As
// every quad lies at z = 0 and blends over what is already there, the picture is the same as
// drawing them one by one in call order.
#include <GL/gl.h>

#include <algorithm>
#include <vector>

#include "runtime/screen/gl_backend.h"
#include "runtime/screen/screen.h"
#include "runtime/sprite/sprite.h"
#include "runtime/sprite/sprite_store.h"

namespace sprite_store {
namespace {

using Mode = gl_backend::TextureMode;
using Vertex = gl_backend::QuadVertex;

struct Batch {
  GLuint texture = 0;
  int texture_width = 0, texture_height = 0;
  Mode mode = Mode::modulate;
  bool cutout = false;  // every texel of alpha 0 or 255, every quad at full intensity
  std::vector<Vertex> vertices;
};
Batch batch;  // main thread only, like all OpenGL calls
void (*display_recorder)(const SpriteDisplayCall& call) = nullptr;

bool clip_is_empty(const Sprite& s) {
  if (s.column_rows.empty() || s.clip_height <= 0) return false;
  const uint64_t rows = (s.clip_height >= 64 ? ~uint64_t(0) : (uint64_t(1) << s.clip_height) - 1) << s.clip_y;
  uint64_t seen = 0;
  for (int x = s.clip_x; x < s.clip_x + s.clip_width; ++x) seen |= s.column_rows[size_t(x)];
  return (seen & rows) == 0;
}

struct Colour {
  GLubyte r, g, b, a;
};

// One quad of width x height logical pixels with its top-left at (x, y), showing the texels
// (texel_x, texel_y, texels_wide, texels_high) counted from the picture's top-left. The texture
// holds the picture's rows from layout.first_row up (counted from the bottom); the texture
// coordinates count from there, whole texels apart as before, so that a quad samples the same
// texels.
struct Texels {
  int x, y, width, height;
};
void append_quad(const Sprite& s, int x, int y, int width, int height, Texels texels, Colour c) {
  const int screen_height = screen_logical_height();
  // The projection counts y upwards from the bottom edge of the logical screen.
  const GLfloat left = GLfloat(x), right = GLfloat(x + width);
  const GLfloat bottom = GLfloat(screen_height - y - height), top = bottom + GLfloat(height);
  const GLfloat s0 = GLfloat(texels.x), s1 = GLfloat(texels.x + texels.width);
  const GLfloat t1 = GLfloat(s.texture_height - s.layout.first_row - texels.y),
                t0 = t1 - GLfloat(texels.height);
  // A quad that continues the previous one to the right (same rows, same colour, the next
  // texels at the same scale) widens it instead: the same pixels from fewer, wider quads.
  if (!batch.vertices.empty()) {
    Vertex* last =
        &batch.vertices[batch.vertices.size() - 4];  // top-left, top-right, bottom-right, bottom-left
    const GLubyte* lc = last[0].colour;
    if (last[1].x == left && last[1].y == top && last[2].y == bottom && last[1].s == s0 && last[1].t == t1 &&
        last[2].t == t0 && lc[0] == c.r && lc[1] == c.g && lc[2] == c.b && lc[3] == c.a &&
        (right - left) * (last[1].s - last[0].s) == (s1 - s0) * (last[1].x - last[0].x)) {
      last[1].x = last[2].x = right;
      last[1].s = last[2].s = s1;
      return;
    }
  }
  batch.vertices.insert(batch.vertices.end(), {
                                                  Vertex{left, top, s0, t1, {c.r, c.g, c.b, c.a}},
                                                  Vertex{right, top, s1, t1, {c.r, c.g, c.b, c.a}},
                                                  Vertex{right, bottom, s1, t0, {c.r, c.g, c.b, c.a}},
                                                  Vertex{left, bottom, s0, t0, {c.r, c.g, c.b, c.a}},
                                              });
}

}  // namespace

void flush_batch() {
  if (batch.vertices.empty()) return;
  if (!screen_is_open()) {
    batch.vertices.clear();
    return;
  }
  draw_counts().quads += (long long)(batch.vertices.size() / 4);
  draw_counts().draws += 1;
#ifndef __EMSCRIPTEN__
  if (batch.cutout)
    gl_backend::draw_cutout_quads(batch.texture, batch.texture_width, batch.texture_height, batch.mode,
                                  batch.vertices.data(), int(batch.vertices.size()));
  else
#endif
    gl_backend::draw_quads(batch.texture, batch.texture_width, batch.texture_height, batch.mode,
                           batch.vertices.data(), int(batch.vertices.size()));
  batch.vertices.clear();
}

}  // namespace sprite_store

using namespace sprite_store;

void sprite_flush() {
  flush_batch();
}

SpriteDrawCounts& sprite_store::draw_counts() {
  static SpriteDrawCounts counts;
  return counts;
}

SpriteDrawCounts sprite_draw_counts() {
  return draw_counts();
}

void sprite_set_display_recorder(void (*record)(const SpriteDisplayCall& call)) {
  display_recorder = record;
}

void sprite_display(int number, int x, int y, int intensity, int32_t colour) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  Sprite* s = find(number);
  if (!s || !screen_is_open()) return;
  if (display_recorder)
    display_recorder({number, x, y, intensity, colour, s->clip_x, s->clip_y, s->clip_width, s->clip_height,
                      s->display_width, s->display_height});
  const int w = s->display_width, h = s->display_height;
  const int screen_width = screen_logical_width(), screen_height = screen_logical_height();
  if (x >= screen_width || y >= screen_height || x <= -w || y <= -h) return;
  // Opacity 0, or a clip without a visible texel, blends to exactly what is there.
  if (intensity <= 0 || clip_is_empty(*s)) return;

  // A sprite shown at its clip's own size covers whole texels, so the tiles without a visible
  // texel can be left out: a texel of alpha 0 blends to exactly what is already there. Runs of
  // marked tiles become quads, cut to the rows the texture holds (every other row is
  // transparent). A stretched sprite is one quad, as is one without tiles yet; it needs every
  // row in its texture, as its quad's edges need not fall on texel edges.
  const bool whole_texels = w == s->clip_width && h == s->clip_height && !s->tiles.empty();
  if (!whole_texels && s->layout.rows != s->texture_height) hold_whole_rows(*s);

  const Mode mode = colour == -1 ? Mode::modulate : Mode::silhouette;
  const GLubyte alpha = GLubyte(std::clamp(intensity, 0, 255));
  // A keyed sprite (every texel's alpha 0 or 255) at full intensity either replaces a pixel or
  // leaves it; the backend may draw such quads without blending (gl_backend.h).
  const bool cutout = s->alpha_is_key && alpha == 255;
  if (s->texture != batch.texture || mode != batch.mode || cutout != batch.cutout) {
    flush_batch();
    batch.texture = s->texture;
    batch.texture_width = s->layout.stored_width(s->texture_width);
    batch.texture_height = s->layout.stored_height();
    batch.mode = mode;
    batch.cutout = cutout;
  }
  const GLubyte r = mode == Mode::modulate ? 255 : GLubyte(colour & 0xFF);
  const GLubyte g = mode == Mode::modulate ? 255 : GLubyte((colour >> 8) & 0xFF);
  const GLubyte b = mode == Mode::modulate ? 255 : GLubyte((colour >> 16) & 0xFF);

  const Colour rgba{r, g, b, alpha};
  if (!whole_texels) {
    append_quad(*s, x, y, w, h, {s->clip_x, s->clip_y, s->clip_width, s->clip_height}, rgba);
    return;
  }
  // The held rows, counted from the picture's top.
  const int held_top = s->texture_height - s->layout.first_row - s->layout.rows;
  const int held_bottom = s->texture_height - s->layout.first_row;
  const int clip_right = s->clip_x + s->clip_width, clip_bottom = s->clip_y + s->clip_height;
  for (int ty = s->clip_y / kTileHeight; ty * kTileHeight < clip_bottom; ++ty) {
    const int top = std::max({s->clip_y, ty * kTileHeight, held_top});
    const int bottom = std::min({clip_bottom, (ty + 1) * kTileHeight, held_bottom});
    if (top >= bottom) continue;
    const uint8_t* row = &s->tiles[size_t(ty) * size_t(s->tiles_x)];
    int tx = s->clip_x / kTileWidth;
    while (tx * kTileWidth < clip_right) {
      if (!row[tx]) {
        ++tx;
        continue;
      }
      const int run_start = tx;
      while (tx * kTileWidth < clip_right && row[tx]) ++tx;
      const int left = std::max(s->clip_x, run_start * kTileWidth);
      const int right = std::min(clip_right, tx * kTileWidth);
      append_quad(*s, x + left - s->clip_x, y + top - s->clip_y, right - left, bottom - top,
                  {left, top, right - left, bottom - top}, rgba);
    }
  }
}
