// runtime/support/start_up_heap.h — heap pages made resident ahead, on the second core, for
// the start-up's sprites.
//
// On the machines this was measured on (virtual, 2 cores) the first write to a fresh page of
// memory costs about 2.6 ms per MB, some 60 times a second write to it; the start-up's sprites
// (their textures, which the OpenGL driver allocates with malloc, and their smaller CPU copies)
// write some 8 MB of fresh memory on the main thread, some 20 ms of its time. So:
//   - allocations of up to 32 MB come from the heap rather than from a mapping of their own,
//     so that freed memory is reused instead of unmapped and faulted in again;
//   - the main thread reserves a block of heap, with a small fence after it that keeps the
//     block from the heap's top (where freeing it would hand it straight back to the system);
//   - a helper thread writes one byte in each of the block's pages while the main thread opens
//     the window, and the main thread frees the block just before the sprites are made, which
//     then take its resident pages;
//   - when the start-up ends (or is given up), free pages (what the sprites left of the block)
//     go back to the system, and allocations from 128 KB on are mappings of their own again.
//     glibc's default threshold moves up to the size of each mapped block freed (up to 32 MB);
//     set again, it stays at 128 KB, so that large buffers made and dropped after the start-up
//     go straight back to the system.
// Without glibc (the web page) all of this is left out.
//
//   StartUpHeap heap(8 << 20);    // main thread, before the helper starts
//   heap.touch();                 // helper thread
//   heap.release();               // main thread, after joining the helper
//   ...                           // the sprites
//   heap.end();                   // main thread
#pragma once

#include <cstddef>
#include <cstdlib>

#include "runtime/support/zeroed_pages.h"

#ifdef __GLIBC__
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#endif

class StartUpHeap {
 public:
  explicit StartUpHeap(size_t bytes) {
    zeroed_pages::map_large(false);
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    block_ = static_cast<char*>(std::malloc(bytes));
    bytes_ = block_ ? bytes : 0;
    fence_ = std::malloc(64);
#else
    (void)bytes;
#endif
  }
  StartUpHeap(const StartUpHeap&) = delete;
  StartUpHeap& operator=(const StartUpHeap&) = delete;
  ~StartUpHeap() {
    release();
    std::free(fence_);
    restore();
  }

  // Makes the block's pages resident (any thread; before release).
  void touch() {
#ifdef __GLIBC__
    const long page = sysconf(_SC_PAGESIZE);
    const size_t step = page > 0 ? size_t(page) : 4096;
#ifdef MADV_POPULATE_WRITE
    // One call maps all the pages (Linux 5.14 on; an older kernel refuses it and the writes
    // below fault them in one by one): the writes then cost half as much here.
    const uintptr_t first = (reinterpret_cast<uintptr_t>(block_) + step - 1) / step * step;
    const uintptr_t last = (reinterpret_cast<uintptr_t>(block_) + bytes_) / step * step;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#endif
    for (size_t i = 0; i < bytes_; i += step) static_cast<volatile char*>(block_)[i] = 0;
#endif
  }

  // Frees the block into the heap, where the next allocations find it (main thread).
  void release() {
    std::free(block_);
    block_ = nullptr;
    bytes_ = 0;
  }

  // Gives the free pages back to the system and sets the heap back.
  void end() {
    release();
    std::free(fence_);
    fence_ = nullptr;
    restore();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
  }

  // glibc's own initial threshold.
  static constexpr int kMappingThreshold = 128 << 10;

 private:
  void restore() {
    zeroed_pages::map_large(true);
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, kMappingThreshold);
#endif
  }

  char* block_ = nullptr;
  size_t bytes_ = 0;
  void* fence_ = nullptr;
};
