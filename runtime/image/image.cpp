#include "runtime/image/image.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "runtime/image/decoder.h"
#include "runtime/support/object_table.h"

namespace {

struct ImageRecord {
  uint32_t handle = 0;
  ImageBitmap bitmap;
};

using ImageTable = runtime::ObjectTable<ImageRecord, 16>;
ImageTable& images() {
  static ImageTable* table = new ImageTable;
  return *table;
}

uint32_t next_handle() {
  static uint32_t last = 0;  // under the table's lock
  if (++last == 0) ++last;
  return last;
}

// Stores `bitmap` under `number` (-1: a free number other than 0). Caller holds the lock.
uint32_t store(int number, ImageBitmap&& bitmap) {
  ImageTable& table = images();
  if (number == -1) {
    number = 1;
    while (table.find(number)) ++number;
  }
  if (table.claim(number, [](ImageRecord&) {}) < 0) return 0;
  ImageRecord* record = table.find(number);
  record->handle = next_handle();
  record->bitmap = std::move(bitmap);
  return record->handle;
}

}  // namespace

uint32_t image_load_memory(int number, const void* data, size_t size) {
  picture::Picture decoded;
  if (!picture::decode_picture(data, size, &decoded)) {
    // As with sprites, the number's old image is gone even when the new one fails.
    std::lock_guard<std::recursive_mutex> guard(images().lock());
    if (number >= 0) images().free(number, [](ImageRecord&) {});
    return 0;
  }
  ImageBitmap bitmap{decoded.width, decoded.height, decoded.bits, std::move(decoded.pixels)};
  std::lock_guard<std::recursive_mutex> guard(images().lock());
  return store(number, std::move(bitmap));
}

uint32_t image_grab(int source, int number, int x, int y, int width, int height) {
  if (width < 1 || height < 1 || width > picture::kMaxSide || height > picture::kMaxSide) return 0;
  std::lock_guard<std::recursive_mutex> guard(images().lock());
  const ImageRecord* from = images().find(source);
  if (!from) return 0;
  const ImageBitmap& src = from->bitmap;
  const size_t bytes = size_t(src.bits / 8);
  ImageBitmap bitmap{width, height, src.bits, {}};
  try {
    bitmap.pixels.assign(size_t(width) * size_t(height) * bytes, 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  // The part of the rectangle that lies inside the source, in source coordinates.
  const int64_t x0 = std::max<int64_t>(x, 0), x1 = std::min<int64_t>(int64_t(x) + width, src.width);
  const int64_t y0 = std::max<int64_t>(y, 0), y1 = std::min<int64_t>(int64_t(y) + height, src.height);
  for (int64_t sy = y0; sy < y1 && x0 < x1; ++sy) {
    std::memcpy(&bitmap.pixels[(size_t(sy - y) * size_t(width) + size_t(x0 - x)) * bytes],
                &src.pixels[(size_t(sy) * size_t(src.width) + size_t(x0)) * bytes], size_t(x1 - x0) * bytes);
  }
  return store(number, std::move(bitmap));
}

uint32_t image_handle(int number) {
  std::lock_guard<std::recursive_mutex> guard(images().lock());
  const ImageRecord* record = images().find(number);
  return record ? record->handle : 0;
}

int image_exists(int number) {
  return image_handle(number) != 0;
}

int image_width(int number) {
  std::lock_guard<std::recursive_mutex> guard(images().lock());
  const ImageRecord* record = images().find(number);
  return record ? record->bitmap.width : 0;
}

int image_height(int number) {
  std::lock_guard<std::recursive_mutex> guard(images().lock());
  const ImageRecord* record = images().find(number);
  return record ? record->bitmap.height : 0;
}

void image_free(int number) {
  std::lock_guard<std::recursive_mutex> guard(images().lock());
  images().free(number, [](ImageRecord&) {});
}

bool image_visit_bitmap(uint32_t handle, void (*visit)(const ImageBitmap& bitmap, void* context),
                        void* context) {
  if (handle == 0) return false;
  std::lock_guard<std::recursive_mutex> guard(images().lock());
  bool found = false;
  images().for_each([&](int, ImageRecord& record) {
    if (!found && record.handle == handle) {
      visit(record.bitmap, context);
      found = true;
    }
  });
  return found;
}
