// Drawing outputs on sprites. The output's buffer is the sprite's pixels in the texture's own
// layout (r + 256 g + 65536 b + 16777216 a, bottom row first), so drawing row y is buffer row
// height - 1 - y, and draw_stop hands the buffer back to the sprite without converting it.
// Drawing writes the low 24 bits of a pixel and keeps its alpha byte. The buffer is the
// sprite's own copy, taken over while the output exists (not duplicated: a canvas drawn every
// frame is 2 MB), and the output notes which rows its drawing changed.
#include "runtime/draw/draw.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "runtime/image/image.h"
#include "runtime/sprite/sprite.h"
#include "runtime/sprite/sprite_store.h"

struct DrawOutput {
  int sprite = 0;       // target sprite number
  uint32_t serial = 0;  // the target's serial when the output was made
  int width = 0;        // drawing area = the sprite's texture size
  int height = 0;
  int mode = 0;  // draw_mode flags
  sprite_store::Pixels pixels;
  std::vector<uint8_t> changed;  // per buffer row: whether drawing changed a pixel of it
  bool taken_over = false;       // `pixels` is the sprite's copy, which equalled its texture
  uint32_t key_colour = 0;       // the sprite's key when the output was made
};

namespace {

thread_local DrawOutput* current = nullptr;

constexpr uint32_t kAlpha = 0xFF000000;

uint32_t* pixel_at(DrawOutput& out, int64_t x, int64_t y) {
  return &out.pixels[size_t(out.height - 1 - y) * size_t(out.width) + size_t(x)];
}

// Writes red, green and blue of `colour` into columns x0..x1-1 of drawing row y, which the
// caller has clipped to the drawing area.
void write_span(DrawOutput& out, int64_t x0, int64_t x1, int64_t y, uint32_t colour) {
  const uint32_t rgb = colour & 0xFFFFFF;
  uint32_t* p = pixel_at(out, x0, y);
  const size_t n = size_t(x1 - x0);
  uint32_t differs = 0;
  if (out.mode & kDrawXor) {
    for (size_t i = 0; i < n; ++i) p[i] ^= rgb;
    differs = rgb;
  } else {
    // Only texels that change are written: a canvas cleared every frame then leaves the pages
    // of rows nothing is drawn on unwritten (runtime/support/zeroed_pages.h).
    for (size_t i = 0; i < n; ++i) {
      const uint32_t value = (p[i] & kAlpha) | rgb;
      if (p[i] == value) continue;
      differs = 1;
      p[i] = value;
    }
  }
  if (differs) out.changed[size_t(out.height - 1 - y)] = 1;
}

// Columns x0..x1-1 of row y, clipped.
void span(DrawOutput& out, int64_t x0, int64_t x1, int64_t y, uint32_t colour) {
  if (y < 0 || y >= out.height) return;
  x0 = std::max<int64_t>(x0, 0);
  x1 = std::min<int64_t>(x1, out.width);
  if (x0 < x1) write_span(out, x0, x1, y, colour);
}

void fill(DrawOutput& out, int64_t x, int64_t y, int64_t width, int64_t height, uint32_t colour) {
  const int64_t y0 = std::max<int64_t>(y, 0), y1 = std::min<int64_t>(y + height, out.height);
  for (int64_t row = y0; row < y1; ++row) span(out, x, x + width, row, colour);
}

// Half-width of the disc's row `dy` rows from the centre: the largest x with
// x^2 + dy^2 <= r^2 + r, which for integers is x^2 + dy^2 < (r + 1/2)^2 (the midpoint rule).
// -1 when the row lies outside the disc.
int64_t half_width(int64_t radius, int64_t dy) {
  const int64_t limit = radius * radius + radius - dy * dy;
  if (dy > radius || limit < 0) return -1;
  int64_t x = int64_t(std::sqrt(double(limit)));
  while (x > 0 && x * x > limit) --x;
  while ((x + 1) * (x + 1) <= limit) ++x;
  return x;
}

// Hands the drawn pixels to the sprite, keyed. Only the rows that differ from what the texture
// holds are sent: a canvas that is cleared and redrawn every frame uploads only the rows its
// shapes covered then or now. Where the buffer is the sprite's copy taken over, the output
// knows its changed rows; where the sprite has a copy again (worked on meanwhile), the rows are
// compared with it; a sprite without either gets every row.
void write_back(DrawOutput& out, sprite_store::Sprite& s) {
  if (out.width != s.texture_width || out.height != s.texture_height) return;
  const bool keyed = !(s.flags & kSpriteKeepAlpha);
  const uint32_t key = s.key_colour & 0xFFFFFF;
  // The changed rows tell the whole story only if every other row is keyed as it will be now.
  const bool rows_known = out.taken_over && s.pixels.empty() && out.key_colour == s.key_colour &&
                          (!keyed || (s.alpha_is_key && s.alpha_key == key));
  s.alpha_is_key = keyed;
  s.alpha_key = key;
  const size_t width = size_t(out.width);
  int first = 0, last = out.height - 1;
  if (rows_known) {
    first = last = -1;
    for (int r = 0; r < out.height; ++r) {
      if (!out.changed[size_t(r)]) continue;
      if (first < 0) first = r;
      last = r;
    }
    if (first < 0) {
      s.pixels.swap(out.pixels);  // the copy goes back as it was
      return;
    }
    if (keyed)
      sprite_store::key(out.pixels.data() + size_t(first) * width, size_t(last - first + 1) * width, key);
  } else {
    if (keyed) sprite_store::key(out.pixels, s.key_colour);
    if (!s.pixels.empty()) {
      first = last = -1;
      for (int r = 0; r < out.height; ++r) {
        const uint32_t* row = out.pixels.data() + size_t(r) * width;
        if (std::equal(row, row + width, s.pixels.data() + size_t(r) * width)) continue;
        if (first < 0) first = r;
        last = r;
      }
      if (first < 0) return;
    }
  }
  s.pixels.swap(out.pixels);
  sprite_store::upload(s, first, last - first + 1);
  sprite_store::settle(s);
}

// Clears the thread's current output; `keep` writes it back into its sprite first.
void finish(bool keep) {
  DrawOutput* out = current;
  current = nullptr;
  if (!out) return;
  if (keep) {
    std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
    sprite_store::Sprite* s = sprite_store::find(out->sprite);
    if (s && s->serial == out->serial) write_back(*out, *s);
  }
  delete out;
}

}  // namespace

DrawOutput* sprite_output(int sprite) {
  std::lock_guard<std::recursive_mutex> guard(sprite_store::lock());
  sprite_store::Sprite* s = sprite_store::find(sprite);
  if (!s) return nullptr;
  auto* out = new (std::nothrow) DrawOutput;
  if (!out) return nullptr;
  out->sprite = sprite;
  out->serial = s->serial;
  out->width = s->texture_width;
  out->height = s->texture_height;
  // The drawing starts from what the texture holds; a sprite drawn on again and again keeps its
  // copy from the second drawing on (runtime/sprite/sprite_store.h).
  const bool held = sprite_store::hold_pixels(*s);
  try {
    out->changed.assign(size_t(out->height), 0);
  } catch (const std::bad_alloc&) {
    delete out;
    return nullptr;
  }
  if (held) {
    out->pixels.swap(s->pixels);  // the sprite reads its texture back if it needs pixels meanwhile
    out->taken_over = true;
    out->key_colour = s->key_colour;
    sprite_store::settle(*s);
  }
  if (out->pixels.empty()) {
    delete out;
    return nullptr;
  }
  return out;
}

int draw_start(DrawOutput* output) {
  if (!output) return 0;
  if (output == current) return 1;
  if (output->pixels.empty()) {
    delete output;
    return 0;
  }
  finish(true);
  current = output;
  return 1;
}

void draw_stop() {
  finish(true);
}

void draw_mode(int flags) {
  if (current) current->mode = flags;
}

void draw_box(int x, int y, int width, int height, uint32_t colour) {
  if (!current) return;
  DrawOutput& out = *current;
  int64_t x0 = x, y0 = y, w = width, h = height;
  if (w < 0) {
    x0 += w;
    w = -w;
  }
  if (h < 0) {
    y0 += h;
    h = -h;
  }
  if (w == 0 || h == 0) return;
  if (!(out.mode & kDrawOutline)) {
    fill(out, x0, y0, w, h, colour);
    return;
  }
  fill(out, x0, y0, w, 1, colour);                     // top
  if (h > 1) fill(out, x0, y0 + h - 1, w, 1, colour);  // bottom
  if (h > 2) {
    fill(out, x0, y0 + 1, 1, h - 2, colour);                     // left
    if (w > 1) fill(out, x0 + w - 1, y0 + 1, 1, h - 2, colour);  // right
  }
}

void draw_circle(int x, int y, int radius, uint32_t colour) {
  if (!current || radius < 0) return;
  DrawOutput& out = *current;
  const int64_t cx = x, cy = y, r = radius;
  // Only the rows inside the drawing area are visited, whatever the radius.
  const int64_t first = std::max<int64_t>(-r, -cy), last = std::min<int64_t>(r, out.height - 1 - cy);
  for (int64_t dy = first; dy <= last; ++dy) {
    const int64_t outer = half_width(r, std::abs(dy));
    if (!(out.mode & kDrawOutline)) {
      span(out, cx - outer, cx + outer + 1, cy + dy, colour);
      continue;
    }
    // Outline: the disc's pixels with a neighbour outside it, sideways or further out.
    const int64_t inner = std::min(half_width(r, std::abs(dy) + 1) + 1, outer);
    if (inner <= 0) {
      span(out, cx - outer, cx + outer + 1, cy + dy, colour);
    } else {
      span(out, cx - outer, cx - inner + 1, cy + dy, colour);
      span(out, cx + inner, cx + outer + 1, cy + dy, colour);
    }
  }
}

void draw_image(uint32_t image_handle, int x, int y) {
  if (!current) return;
  DrawOutput& out = *current;
  image_with_bitmap(image_handle, [&](const ImageBitmap& image) {
    const size_t bytes = size_t(image.bits / 8);
    const int64_t x0 = std::max<int64_t>(x, 0), x1 = std::min<int64_t>(int64_t(x) + image.width, out.width);
    const int64_t y0 = std::max<int64_t>(y, 0), y1 = std::min<int64_t>(int64_t(y) + image.height, out.height);
    for (int64_t row = y0; row < y1; ++row) {
      const uint8_t* in = &image.pixels[(size_t(row - y) * size_t(image.width) + size_t(x0 - x)) * bytes];
      uint32_t* p = pixel_at(out, x0, row);
      uint32_t differs = 0;
      for (int64_t col = x0; col < x1; ++col, in += bytes, ++p) {  // the image holds B, G, R(, A)
        const uint32_t value = (*p & kAlpha) | uint32_t(in[2]) | uint32_t(in[1]) << 8 | uint32_t(in[0]) << 16;
        differs |= *p ^ value;
        *p = value;
      }
      if (differs) out.changed[size_t(out.height - 1 - row)] = 1;
    }
  });
}
