// The sprite store: the numbered sprite table, textures, keying, loading, copying, grabbing.
#include "runtime/sprite/sprite.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>

#include "runtime/image/decoder.h"
#include "runtime/screen/gl_backend.h"
#include "runtime/screen/screen.h"
#include "runtime/sprite/sprite_store.h"
#include "runtime/support/object_table.h"

namespace sprite_store {
namespace {

using SpriteTable = runtime::ObjectTable<Sprite, 64>;
SpriteTable& table() {
  static SpriteTable* t = new SpriteTable;  // lives to the end of the process
  return *t;
}

uint32_t default_key = 0;  // sprite_transparent_colour(-1, ...); under lock()
uint32_t last_serial = 0;

// A decoded picture in the texture's layout: rows bottom-up, each pixel r, g, b and the
// picture's own alpha (255 for 24 bits).
struct Decoded {
  int width = 0, height = 0, bits = 0;
  Pixels pixels;
};

bool decode(const void* data, size_t size, Decoded* out) {
  picture::Picture picture;
  if (!picture::decode_picture(data, size, &picture)) return false;
  try {
    Pixels(size_t(picture.width) * size_t(picture.height)).swap(out->pixels);
  } catch (const std::bad_alloc&) {
    return false;
  }
  out->width = picture.width;
  out->height = picture.height;
  out->bits = picture.bits;
  // Decoded rows run top-down as B, G, R(, A); the texture runs bottom-up.
  const int in_bytes = picture.bits / 8;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* in = &picture.pixels[size_t(picture.height - 1 - y) * size_t(picture.width) * in_bytes];
    uint32_t* row = &out->pixels[size_t(y) * size_t(picture.width)];
    for (int x = 0; x < picture.width; ++x, in += in_bytes) {
      const uint32_t alpha = in_bytes == 4 ? in[3] : 255;
      row[x] = uint32_t(in[2]) | uint32_t(in[1]) << 8 | uint32_t(in[0]) << 16 | alpha << 24;
    }
  }
  return true;
}

// Pictures decoded ahead (sprite_decode_ahead), by the address and size of their bytes; taken
// by the sprite_load_memory of the same bytes. Guarded by ahead_lock, not lock(): the decoding
// thread never touches the sprite table. The decoding thread also lays the pixels out as the
// texture takes them, so that writing those pages first happens there too.
struct DecodedAhead {
  const void* data;
  size_t size;
  Decoded picture;
};
// Never destroyed: a process ended by exit() during the start-up (Xlib does so when the
// display's connection is lost) must not free them under a decoding thread still appending.
std::mutex& ahead_lock = *new std::mutex;
std::vector<DecodedAhead>& ahead = *new std::vector<DecodedAhead>;

// The picture decoded ahead from these bytes, if there is one; it is taken out of the list.
bool take_decoded_ahead(const void* data, size_t size, Decoded* out) {
  std::lock_guard<std::mutex> guard(ahead_lock);
  for (auto it = ahead.begin(); it != ahead.end(); ++it) {
    if (it->data != data || it->size != size) continue;
    *out = std::move(it->picture);
    ahead.erase(it);
    return true;
  }
  return false;
}

// Whether another sprite uses this sprite's texture (a copy not changed since, or its source).
bool texture_shared(const Sprite& sprite) {
  if (sprite.texture == 0) return false;
  bool shared = false;
  table().for_each([&](int, const Sprite& other) {
    if (&other != &sprite && other.texture == sprite.texture) shared = true;
  });
  return shared;
}

// A new texture of the given size, contents undefined; 0 when OpenGL refuses it.
GLuint new_texture(int width, int height) {
  flush_batch();
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {  // older errors are not ours
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  if (name == 0) return 0;
  glBindTexture(kScreenTextureTarget, name);
  // Nearest sampling: zoomed sprites show blocks, unzoomed ones show their pixels exactly.
  glTexParameteri(kScreenTextureTarget, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(kScreenTextureTarget, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(kScreenTextureTarget, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &name);
    return 0;
  }
  return name;
}

void release(Sprite& sprite) {
  if (sprite.texture && screen_is_open() && !texture_shared(sprite)) {
    flush_batch();  // pending quads may still use the texture
    const GLuint name = sprite.texture;
    glDeleteTextures(1, &name);
  }
}

void release_all() {
  std::lock_guard<std::recursive_mutex> guard(lock());
  table().free(-1, release);
  std::lock_guard<std::mutex> ahead_guard(ahead_lock);
  ahead.clear();
}

int max_texture_side() {
  static int side = [] {
    GLint value = 0;
    glGetIntegerv(kScreenTextureSizeLimitQuery, &value);
    return value > 0 ? std::min<int>(value, picture::kMaxSide) : picture::kMaxSide;
  }();
  return side;
}

}  // namespace

std::recursive_mutex& lock() {
  return table().lock();
}
Sprite* find(int number) {
  return table().find(number);
}

void key(uint32_t* pixels, size_t count, uint32_t colour) {
  const uint32_t rgb = colour & 0xFFFFFF;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t keyed = (pixels[i] & 0xFFFFFF) == rgb ? rgb : pixels[i] | 0xFF000000;
    if (keyed != pixels[i]) pixels[i] = keyed;  // a page never written stays unmapped
  }
}
void key(Pixels& pixels, uint32_t colour) {
  key(pixels.data(), pixels.size(), colour);
}

// A tile is marked when any of its texels is not fully transparent. Only the tile rows that
// hold picture rows top..bottom-1 (from the picture's top) are looked at again.
void mark_tiles(Sprite& sprite, int top, int bottom) {
  const int width = sprite.texture_width, height = sprite.texture_height;
  const int tiles_x = (width + kTileWidth - 1) / kTileWidth,
            tiles_y = (height + kTileHeight - 1) / kTileHeight;
  if (sprite.tiles_x != tiles_x || sprite.tiles_y != tiles_y ||
      sprite.tiles.size() != size_t(tiles_x) * size_t(tiles_y)) {
    sprite.tiles_x = tiles_x;
    sprite.tiles_y = tiles_y;
    sprite.tiles.assign(size_t(tiles_x) * size_t(tiles_y), 0);
    top = 0, bottom = height;
  }
  const int first_tile_row = top / kTileHeight, end_tile_row = (bottom + kTileHeight - 1) / kTileHeight;
  std::fill(sprite.tiles.begin() + ptrdiff_t(first_tile_row) * tiles_x,
            sprite.tiles.begin() + ptrdiff_t(end_tile_row) * tiles_x, uint8_t(0));
  for (int y = first_tile_row * kTileHeight; y < std::min(height, end_tile_row * kTileHeight); ++y) {
    // y counts from the picture's top; pixels are stored bottom row first.
    const uint32_t* row = sprite.pixels.data() + size_t(height - 1 - y) * size_t(width);
    uint8_t* tile_row = sprite.tiles.data() + size_t(y / kTileHeight) * size_t(tiles_x);
    for (int tx = 0; tx < tiles_x; ++tx) {
      if (tile_row[tx]) continue;
      const int end = std::min(width, (tx + 1) * kTileWidth);
      uint32_t alpha = 0;
      for (int x = tx * kTileWidth; x < end; ++x) alpha |= row[x];
      tile_row[tx] = (alpha >> 24) != 0;
    }
  }
  sprite.column_rows.clear();
  if (height > 64) return;
  sprite.column_rows.assign(size_t(width), 0);
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = sprite.pixels.data() + size_t(height - 1 - y) * size_t(width);
    for (int x = 0; x < width; ++x)
      if (row[x] >> 24) sprite.column_rows[size_t(x)] |= uint64_t(1) << y;
  }
}

namespace {

// Whether every texel of rows first..end-1 (bottom row = 0) equals `value`.
bool rows_equal(const Sprite& s, int first, int end, uint32_t value) {
  const uint32_t* p = s.pixels.data() + size_t(first) * size_t(s.texture_width);
  const uint32_t* stop = s.pixels.data() + size_t(end) * size_t(s.texture_width);
  return std::all_of(p, stop, [value](uint32_t texel) { return texel == value; });
}

// The layout for the sprite's pixels. `grow_from`, when given, is the layout the rows must
// still cover: a canvas drawn every frame gets a texture that only grows, not one per frame.
// A texture of some rows is rounded out to whole tile rows for the same reason.
Layout plan_layout(const Sprite& s, const Layout* grow_from) {
  const int width = s.texture_width, height = s.texture_height;
  const uint32_t corner = s.pixels[0];
  Layout plan;
  plan.outside = corner;
  if (s.whole_rows || (corner >> 24) != 0) {
    plan.rows = height;
  } else {
    // The rows that hold anything but the corner's transparent texel.
    const auto differs = [&](int row) { return !rows_equal(s, row, row + 1, corner); };
    int first = 0, end = height;
    while (first < end && !differs(first)) ++first;
    while (end > first && !differs(end - 1)) --end;
    plan.first_row = first;
    plan.rows = end - first;
  }
  if (plan.rows == 0) {  // nothing but `outside`: one texel of it
    plan.uniform = true;
    plan.value = corner;
    return plan;
  }
  const uint32_t first_texel = s.pixels[size_t(plan.first_row) * size_t(width)];
  if (rows_equal(s, plan.first_row, plan.first_row + plan.rows, first_texel)) {
    plan.uniform = true;
    plan.value = first_texel;
    return plan;
  }
  int first = plan.first_row, end = plan.first_row + plan.rows;
  if (grow_from && !grow_from->uniform && grow_from->outside == corner) {
    first = std::min(first, grow_from->first_row);
    end = std::max(end, grow_from->first_row + grow_from->rows);
  }
  first = first / kTileHeight * kTileHeight;
  end = std::min(height, (end + kTileHeight - 1) / kTileHeight * kTileHeight);
  plan.first_row = first;
  plan.rows = end - first;
  return plan;
}

// Whether rows first..end-1 of the pixels fit the layout as it is.
bool rows_fit(const Sprite& s, int first, int end) {
  const Layout& l = s.layout;
  if (!l.uniform && l.rows == s.texture_height) return true;
  const int held_end = l.first_row + l.rows;
  if (first < l.first_row && !rows_equal(s, first, std::min(end, l.first_row), l.outside)) return false;
  if (end > held_end && !rows_equal(s, std::max(first, held_end), end, l.outside)) return false;
  const int inside_first = std::max(first, l.first_row), inside_end = std::min(end, held_end);
  return !l.uniform || inside_first >= inside_end || rows_equal(s, inside_first, inside_end, l.value);
}

// Sends picture rows first..end-1 that the texture holds.
void send_rows(const Sprite& s, int first, int end) {
  const Layout& l = s.layout;
  glBindTexture(kScreenTextureTarget, s.texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  draw_counts().uploads += 1;
  if (l.uniform) {
    glTexSubImage2D(kScreenTextureTarget, 0, 0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &l.value);
    draw_counts().uploaded_texels += 1;
    return;
  }
  first = std::max(first, l.first_row);
  end = std::min(end, l.first_row + l.rows);
  if (first >= end) return;
  draw_counts().uploaded_texels += (long long)(end - first) * s.texture_width;
  glTexSubImage2D(kScreenTextureTarget, 0, 0, first - l.first_row, s.texture_width, end - first, GL_RGBA,
                  GL_UNSIGNED_BYTE, s.pixels.data() + size_t(first) * size_t(s.texture_width));
}

}  // namespace

namespace {
bool upload_rows(Sprite& sprite, int first_row, int row_count);
}  // namespace

bool upload(Sprite& sprite, int first_row, int row_count) {
  const auto start = std::chrono::steady_clock::now();
  const bool ok = upload_rows(sprite, first_row, row_count);
  draw_counts().upload_ms +=
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return ok;
}

namespace {
bool upload_rows(Sprite& sprite, int first_row, int row_count) {
  const int height = sprite.texture_height;
  first_row = std::clamp(first_row, 0, height);
  row_count = row_count < 0 ? height - first_row : std::min(row_count, height - first_row);
  if (row_count == 0) return true;
  const int end_row = first_row + row_count;
  const bool own = sprite.texture != 0 && !texture_shared(sprite);
  const bool all_rows = first_row == 0 && end_row == height;
  flush_batch();  // quads already displayed must show the old contents
  if (!own || all_rows || !rows_fit(sprite, first_row, end_row)) {
    const Layout plan = plan_layout(sprite, all_rows || !own ? nullptr : &sprite.layout);
    const int width = plan.stored_width(sprite.texture_width), rows = plan.stored_height();
    if (!own || width != sprite.layout.stored_width(sprite.texture_width) ||
        rows != sprite.layout.stored_height()) {
      // A new texture; one this sprite shared stays with its other holder as it is.
      const GLuint made = new_texture(width, rows);
      if (made == 0) return false;
      if (own) release(sprite);
      sprite.texture = made;
    }
    sprite.layout = plan;
    first_row = 0;
    row_count = height;
  }
  mark_tiles(sprite, height - first_row - row_count, height - first_row);
  send_rows(sprite, first_row, first_row + row_count);
  return true;
}
}  // namespace

void hold_whole_rows(Sprite& sprite) {
  if (sprite.whole_rows) return;
  sprite.whole_rows = true;
  if (sprite.layout.rows == sprite.texture_height || !hold_pixels(sprite)) return;
  upload(sprite);
  settle(sprite);
}

Pixels read_texture(const Sprite& sprite) {
  const Layout& l = sprite.layout;
  const size_t width = size_t(sprite.texture_width);
  Pixels pixels(width * size_t(sprite.texture_height));  // zeroes: rows of outside 0 stay unwritten
  if (l.outside != 0) std::fill(pixels.begin(), pixels.end(), l.outside);
  uint32_t* held = pixels.data() + size_t(l.first_row) * width;
  if (l.uniform) {
    std::fill(held, held + size_t(l.rows) * width, l.value);
  } else {
    flush_batch();
    gl_backend::read_texture(sprite.texture, sprite.texture_width, l.rows, held);
  }
  return pixels;
}

bool hold_pixels(Sprite& sprite) {
  if (!sprite.pixels.empty()) return true;
  try {
    sprite.pixels = read_texture(sprite);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ++sprite.read_backs;
  return true;
}

namespace {

uint32_t recent_serial = 0;  // the sprite last worked on (settle); under lock()

void drop_copy(Sprite& sprite) {
  if (sprite.read_backs >= 2 || sprite.pixels.empty()) return;
  Pixels().swap(sprite.pixels);
}

void drop_copy_of(uint32_t serial) {
  table().for_each([serial](int, Sprite& s) {
    if (s.serial == serial) drop_copy(s);
  });
}

}  // namespace

// The sprite last worked on keeps its copy until another one is: the start-up makes a sheet,
// draws on it and keys it in a row, and reading it back between the steps would cost time for
// nothing. So the copy dropped here is the previous sprite's.
void settle(Sprite& sprite) {
  if (sprite.serial == recent_serial) return;
  const uint32_t previous = recent_serial;
  recent_serial = sprite.serial;
  drop_copy_of(previous);
}

namespace {

// Claims `number` (-1: the lowest free number above 0) for a new sprite of the given texture
// size and, unless `shared_texture` names the texture it is to share, zeroed pixels; such a
// sprite gets its texture from its first upload (see uploaded). Returns the number, or -1 (the
// number is then free). Caller holds lock().
int make(int number, int width, int height, int bits, int flags, uint32_t shared_texture = 0) {
  sprite_start();
  if (!screen_is_open()) {
    if (number >= 0) table().free(number, release);
    return -1;
  }
  if (number == -1) {
    number = 1;
    while (find(number)) ++number;
  }
  // The copy of the sprite last worked on goes first, so that the new sprite can reuse its memory.
  drop_copy_of(recent_serial);
  number = table().claim(number, release);
  if (number < 0) return -1;
  Sprite& s = *find(number);
  if (width < 1 || height < 1 || width > max_texture_side() || height > max_texture_side()) {
    table().free(number, release);
    return -1;
  }
  try {
    if (!shared_texture) Pixels(size_t(width) * size_t(height)).swap(s.pixels);
  } catch (const std::bad_alloc&) {
    table().free(number, release);
    return -1;
  }
  s.serial = ++last_serial;
  s.display_width = s.texture_width = s.clip_width = width;
  s.display_height = s.texture_height = s.clip_height = height;
  s.source_bits = bits;
  s.flags = flags;
  s.key_colour = default_key;
  s.texture = shared_texture;
  return number;
}

// Uploads a new sprite's pixels and settles it; a sprite whose texture OpenGL refuses is freed.
// Returns `number`, or -1.
int uploaded(int number) {
  Sprite& s = *find(number);
  if (!upload(s)) {
    table().free(number, release);
    return -1;
  }
  settle(s);
  return number;
}

// Keys the sprite's whole copy with its recorded key colour.
void key_all(Sprite& s) {
  key(s.pixels, s.key_colour);
  s.alpha_is_key = true;
  s.alpha_key = s.key_colour & 0xFFFFFF;
}

// The result the creating operations report: the number for -1, else non-zero.
int result(int asked, int number) {
  return number < 0 ? 0 : asked == -1 ? number : 1;
}

}  // namespace
}  // namespace sprite_store

using namespace sprite_store;

void sprite_start() {
  static const bool started = [] {
    screen_set_hooks(ScreenHooks{flush_batch, release_all});
    return true;
  }();
  (void)started;
}

void sprite_decode_ahead(const void* data, size_t size) {
  Decoded decoded;
  if (!decode(data, size, &decoded)) return;  // the load will fail by itself
  std::lock_guard<std::mutex> guard(ahead_lock);
  ahead.push_back(DecodedAhead{data, size, std::move(decoded)});
}

int sprite_load_memory(int number, const void* data, size_t size, int flags) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  Decoded decoded;
  if (!take_decoded_ahead(data, size, &decoded) && !decode(data, size, &decoded)) {
    if (number >= 0) table().free(number, release);
    return 0;
  }
  const int made = make(number, decoded.width, decoded.height, decoded.bits, flags);
  if (made < 0) return 0;
  Sprite& s = *find(made);
  s.pixels.swap(decoded.pixels);
  // Without kSpriteKeepAlpha keying gives every pixel its alpha, whatever the picture's was.
  if (!(decoded.bits == 32 && (flags & kSpriteKeepAlpha))) {
    s.flags &= ~kSpriteKeepAlpha;
    key_all(s);
  }
  return result(number, uploaded(made));
}

int sprite_create(int number, int width, int height, int flags) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  const int made = make(number, width, height, 32, flags);
  if (made < 0) return 0;
  Sprite& s = *find(made);
  if (!(flags & kSpriteKeepAlpha)) key_all(s);
  return result(number, uploaded(made));
}

int sprite_copy(int source, int destination, int mode) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  const Sprite* from = find(source);
  if (!from) return 0;
  const int flags = mode == -1 ? from->flags : mode;
  if (source != destination) {
    // The copy shares the source's texture until one of the two changes: the show copies two
    // 800 x 640 sheets only to display parts of them.
    const Sprite shape = [from] {  // taken before the destination is claimed, which may move records
      Sprite s;
      s.texture = from->texture;
      s.layout = from->layout;
      s.whole_rows = from->whole_rows;
      s.texture_width = from->texture_width;
      s.texture_height = from->texture_height;
      s.alpha_is_key = from->alpha_is_key;
      s.alpha_key = from->alpha_key;
      s.tiles = from->tiles;
      s.tiles_x = from->tiles_x;
      s.tiles_y = from->tiles_y;
      s.column_rows = from->column_rows;
      return s;
    }();
    const int made = make(destination, shape.texture_width, shape.texture_height, 0, flags, shape.texture);
    if (made < 0) return 0;
    Sprite& s = *find(made);
    s.layout = shape.layout;
    s.whole_rows = shape.whole_rows;
    s.alpha_is_key = shape.alpha_is_key;
    s.alpha_key = shape.alpha_key;
    s.tiles = shape.tiles;
    s.tiles_x = shape.tiles_x;
    s.tiles_y = shape.tiles_y;
    s.column_rows = shape.column_rows;
    settle(s);
    return result(destination, made);
  }
  // A copy onto itself: the texture is read before the record is made anew.
  Pixels pixels;
  try {
    pixels = from->pixels.empty() ? read_texture(*from) : from->pixels;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  const bool alpha_is_key = from->alpha_is_key;
  const uint32_t alpha_key = from->alpha_key;
  const int made = make(destination, from->texture_width, from->texture_height, 0, flags);
  if (made < 0) return 0;
  Sprite& s = *find(made);
  s.pixels = std::move(pixels);
  s.alpha_is_key = alpha_is_key;
  s.alpha_key = alpha_key;
  return result(destination, uploaded(made));
}

int sprite_grab_screen(int number, int x, int y, int width, int height, int flags) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  const int made = make(number, width, height, 0, flags);
  if (made < 0) return 0;
  Sprite& s = *find(made);
  // Rows come bottom-up, as the texture stores them.
  screen_read_back(x, y, width, height, reinterpret_cast<uint8_t*>(s.pixels.data()));
  key_all(s);
  return result(number, uploaded(made));
}

void sprite_clip(int number, int x, int y, int width, int height) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  Sprite* s = find(number);
  if (!s) return;
  x = std::max(x, 0);
  y = std::max(y, 0);
  if (width == -1) width = s->texture_width;
  if (height == -1) height = s->texture_height;
  width = std::max(std::min<int64_t>(width, int64_t(s->texture_width) - x), int64_t(0));
  height = std::max(std::min<int64_t>(height, int64_t(s->texture_height) - y), int64_t(0));
  s->clip_x = std::min(x, s->texture_width);
  s->clip_y = std::min(y, s->texture_height);
  s->clip_width = s->display_width = width;
  s->clip_height = s->display_height = height;
}

void sprite_zoom(int number, int width, int height) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  Sprite* s = find(number);
  if (!s) return;
  s->display_width = width == -1 ? s->clip_width : width;
  s->display_height = height == -1 ? s->clip_height : height;
}

int sprite_width(int number) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  const Sprite* s = find(number);
  return s ? s->display_width : 0;
}

int sprite_height(int number) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  const Sprite* s = find(number);
  return s ? s->display_height : 0;
}

void sprite_transparent_colour(int number, uint32_t colour) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  if (number == -1) {
    default_key = colour;
    return;
  }
  Sprite* s = find(number);
  if (!s || s->key_colour == colour) return;
  if (s->alpha_is_key && s->alpha_key == (colour & 0xFFFFFF)) {
    s->key_colour = colour;  // keying again with the colour the alpha came from changes nothing
    return;
  }
  if (!hold_pixels(*s)) return;
  s->key_colour = colour;
  key_all(*s);
  upload(*s);
  settle(*s);
}

int sprite_free(int number) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  table().free(number, release);
  return 0;
}
