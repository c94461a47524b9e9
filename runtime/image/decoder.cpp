#include "runtime/image/decoder.h"

#include <mutex>
#include <new>

namespace picture {
namespace {

constexpr int kMaxDecoders = 8;

struct Registry {
  std::mutex lock;
  Decoder decoders[kMaxDecoders];
  int count = 0;
};

Registry& registry() {
  static Registry* r = [] {
    auto* created = new Registry;
    created->decoders[created->count++] = detail::bmp_decoder();  // always first
    return created;
  }();
  return *r;
}

struct Context {
  const Decoder* decoder = nullptr;  // points into a copy below, valid until release()
  Decoder chosen;
  const uint8_t* data = nullptr;
  size_t size = 0;
  PictureInfo info;
  void* state = nullptr;
  int64_t pixel_limit = kDefaultPixelLimit;
};
thread_local Context context;

}  // namespace

void register_decoder(const Decoder& decoder) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (int i = 0; i < r.count; ++i)
    if (r.decoders[i].tag == decoder.tag) return;
  if (r.count < kMaxDecoders) r.decoders[r.count++] = decoder;
}

void register_png() {
  register_decoder(detail::png_decoder());
}
void register_jpeg() {
  register_decoder(detail::jpeg_decoder());
}

void set_pixel_limit(int64_t pixels) {
  context.pixel_limit = pixels;
}

bool size_allowed(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide &&
         width * height <= context.pixel_limit;
}

uint32_t probe(const void* data, size_t size) {
  release();
  if (!data) return 0;
  Decoder decoders[kMaxDecoders];
  int count = 0;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    count = r.count;
    for (int i = 0; i < count; ++i) decoders[i] = r.decoders[i];
  }
  for (int i = 0; i < count; ++i) {
    PictureInfo info;
    void* state = nullptr;
    const bool accepted = decoders[i].probe(static_cast<const uint8_t*>(data), size, &info, &state);
    if (accepted && size_allowed(info.width, info.height) && (info.bits == 24 || info.bits == 32)) {
      context.chosen = decoders[i];
      context.decoder = &context.chosen;
      context.data = static_cast<const uint8_t*>(data);
      context.size = size;
      context.info = info;
      context.state = state;
      return decoders[i].tag;
    }
    decoders[i].release(state);
  }
  return 0;
}

const PictureInfo& probed_info() {
  return context.info;
}

bool decode(uint8_t* rows, size_t pitch, bool bottom_up) {
  if (!context.decoder || !rows) return false;
  return context.decoder->decode(context.state, context.data, context.size, rows, pitch, bottom_up);
}

void release() {
  if (context.decoder) context.decoder->release(context.state);
  context.decoder = nullptr;
  context.state = nullptr;
  context.data = nullptr;
  context.size = 0;
  context.info = PictureInfo{};
}

bool decode_picture(const void* data, size_t size, Picture* out) {
  *out = Picture{};
  if (!probe(data, size)) return false;
  const PictureInfo info = context.info;
  const size_t row_bytes = size_t(info.width) * size_t(info.bits / 8);
  bool ok = false;
  try {
    out->pixels.assign(row_bytes * size_t(info.height), 0);
    ok = decode(out->pixels.data(), row_bytes, false);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  release();
  if (!ok) {
    *out = Picture{};
    return false;
  }
  out->width = info.width;
  out->height = info.height;
  out->bits = info.bits;
  return true;
}

}  // namespace picture
