// runtime/image/image.h — images: decoded pictures kept in memory as sources for draw_image.
//
// Images are numbered objects in a table of their own (numbers chosen by the caller; -1 takes
// a free number, never 0). Each holds a bitmap: width, height, bits (24: B, G, R or 32:
// B, G, R, A per pixel) and its rows, top row first, without padding. A bitmap is known to
// the drawing operations by its handle, a non-zero number unique for the life of the program,
// so a stale handle finds nothing instead of freed memory.
// Images need no screen; they are decoded with the picture decoders (runtime/image/decoder.h).
// Failure is reported by 0; a number that holds no image makes every operation do nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

// Decodes the picture into image `number` (the number's old image is freed first). Returns
// the new bitmap's handle, or 0 when no decoder accepts the picture or it cannot be decoded.
uint32_t image_load_memory(int number, const void* data, size_t size);
// Copies the rectangle (x, y, width, height) of image `source` into a new bitmap of the same
// depth under `number` (freeing what the number held). Parts of the rectangle outside the
// source are black. Returns the new handle, or 0 (missing source, bad size: `number` is then
// untouched).
uint32_t image_grab(int source, int number, int x, int y, int width, int height);
uint32_t image_handle(int number);  // 0 when the number holds no image
int image_exists(int number);
int image_width(int number);
int image_height(int number);
void image_free(int number);  // -1: every image

// The bitmap behind a handle, for the drawing operations. Calls `use` with the bitmap under
// the image table's lock and returns true, or returns false when no image has the handle.
struct ImageBitmap {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::vector<uint8_t> pixels;
};
template <typename Use>
bool image_with_bitmap(uint32_t handle, Use&& use);

// Implementation detail of image_with_bitmap.
bool image_visit_bitmap(uint32_t handle, void (*visit)(const ImageBitmap& bitmap, void* context),
                        void* context);
template <typename Use>
bool image_with_bitmap(uint32_t handle, Use&& use) {
  return image_visit_bitmap(
      handle,
      [](const ImageBitmap& bitmap, void* context) {
        (*static_cast<std::remove_reference_t<Use>*>(context))(bitmap);
      },
      const_cast<void*>(static_cast<const void*>(&use)));
}
