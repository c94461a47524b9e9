// Fuzz target: any bytes go through the loader; what loads is played for one second.
#include <cstddef>
#include <cstdint>

#include "module/music.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF) return 0;
  music_memory_stream_register(data, int32_t(size));
  music_module* module = music_module_load(music_memory_stream, nullptr);
  music_memory_stream_register(nullptr, 0);
  if (!module) return 0;
  static music_ring* ring = music_ring_create();
  music_start(module);
  for (int chunk = 0; chunk < kMusicRingChunks; ++chunk) music_render_chunk(module, ring);
  music_module_free(module);
  return 0;
}
