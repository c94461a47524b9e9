// Feeds untrusted bytes to the picture decoder registry (BMP, PNG, JPEG): probe, then decode
// what was accepted. Any out-of-bounds access, leak or crash is a fault.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/image/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = [] {
    picture::register_png();
    picture::register_jpeg();
    // Small pictures keep each run fast; the limit is what probes check before allocating.
    picture::set_pixel_limit(1 << 20);
    return true;
  }();
  (void)registered;
  picture::Picture decoded;
  if (picture::decode_picture(data, size, &decoded)) {
    // Touch every byte, so a decoder that reported more than it wrote shows up as uninitialised
    // use under MemorySanitizer and as a size mismatch here.
    if (decoded.pixels.size() != size_t(decoded.width) * size_t(decoded.height) * size_t(decoded.bits / 8))
      __builtin_trap();
  }
  return 0;
}
