// runtime/support/zeroed_pages.h — storage for large pixel buffers that starts zeroed and takes
// memory only where it is written.
//
// Outside the start-up (see map_large) a buffer of kMappedBytes or more is a mapping of its
// own: its pages are the system's shared zero page until first written, and freeing it hands
// them straight back. A drawing canvas the size of the screen whose shapes keep to a stripe of
// it so holds only that stripe, and a copy dropped after its upload does not stay behind as
// free heap. Smaller buffers, and every buffer without mmap (the web page, Windows), come
// zeroed from calloc.
//
// ZeroedAllocator default-initialises (constructs nothing): `std::vector<T, ZeroedAllocator<T>>
// v(n)` is n zeroes that nothing has written yet. Reading such a page does not make it resident
// either; writing the value it already holds does, so code that keeps these pages light writes
// only what changes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sys/mman.h>
#define ZEROED_PAGES_MAPPED 1
#endif

namespace zeroed_pages {

inline constexpr size_t kMappedBytes = size_t(1) << 20;
// Each buffer starts with a header that says how it was made, as the choice can change while
// it lives (map_large).
inline constexpr size_t kHeader = 64;
inline std::atomic<bool> mapping{true};

// Whether buffers of kMappedBytes and more are mappings of their own from now on. The start-up
// turns it off while it hands out heap pages made resident ahead (runtime/support/
// start_up_heap.h): there a fresh mapping would cost its first writes on the main thread.
inline void map_large(bool on) {
  mapping.store(on, std::memory_order_relaxed);
}

inline void* allocate(size_t bytes) {
  if (bytes > size_t(-1) - kHeader) return nullptr;
  const size_t total = bytes + kHeader;
  char* base = nullptr;
  bool mapped = false;
#ifdef ZEROED_PAGES_MAPPED
  if (bytes >= kMappedBytes && mapping.load(std::memory_order_relaxed)) {
    void* p = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    base = static_cast<char*>(p);
    mapped = true;
  }
#endif
  if (!base) base = static_cast<char*>(std::calloc(total, 1));
  if (!base) return nullptr;
  *reinterpret_cast<size_t*>(base) = mapped ? 1 : 0;
  return base + kHeader;
}

inline void release(void* p, size_t bytes) {
  if (!p) return;
  char* base = static_cast<char*>(p) - kHeader;
#ifdef ZEROED_PAGES_MAPPED
  if (*reinterpret_cast<size_t*>(base) == 1) {
    munmap(base, bytes + kHeader);
    return;
  }
#endif
  (void)bytes;
  std::free(base);
}

}  // namespace zeroed_pages

template <class T>
struct ZeroedAllocator {
  using value_type = T;
  ZeroedAllocator() = default;
  template <class U>
  ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > size_t(-1) / sizeof(T)) throw std::bad_alloc();
    void* p = zeroed_pages::allocate(n * sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) noexcept { zeroed_pages::release(p, n * sizeof(T)); }
  // Default-initialisation: the storage is zero already.
  template <class U>
  void construct(U*) noexcept {}
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const ZeroedAllocator<U>&) const noexcept {
    return true;
  }
};
