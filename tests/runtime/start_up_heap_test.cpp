// The memory policy of large pixel buffers (runtime/support/zeroed_pages.h) and of the
// start-up's heap (runtime/support/start_up_heap.h): which sizes are mappings of their own,
// that buffers start zeroed and take memory only where written, and that the start-up's
// setting of the heap ends with it.
#include "runtime/support/start_up_heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/support/zeroed_pages.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORVANE_OWN_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUORVANE_OWN_MALLOC 0
#endif
#endif
#ifndef QUORVANE_OWN_MALLOC
#define QUORVANE_OWN_MALLOC 1
#endif

namespace {

// Whether the buffer's header says it is a mapping of its own.
bool is_mapped(void* p) {
  return *reinterpret_cast<size_t*>(static_cast<char*>(p) - zeroed_pages::kHeader) == 1;
}

TEST(ZeroedPages, SizesAndTheStartUpSwitch) {
  const struct {
    size_t bytes;
    bool mapping_on;
    bool mapped;
  } cases[] = {
      {1, true, false},
      {zeroed_pages::kMappedBytes - 1, true, false},
      {zeroed_pages::kMappedBytes, true, true},
      {size_t(20) << 20, true, true},
      // During the start-up every size comes from the heap.
      {zeroed_pages::kMappedBytes, false, false},
      {size_t(20) << 20, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytes << " bytes, mapping " << c.mapping_on);
    zeroed_pages::map_large(c.mapping_on);
    auto* p = static_cast<uint8_t*>(zeroed_pages::allocate(c.bytes));
    zeroed_pages::map_large(true);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << "aligned for any pixel type";
#ifdef ZEROED_PAGES_MAPPED
    EXPECT_EQ(is_mapped(p), c.mapped);
    if (c.mapped) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 4096, zeroed_pages::kHeader) << "page + header";
    }
#endif
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[c.bytes / 2], 0);
    EXPECT_EQ(p[c.bytes - 1], 0);
    p[c.bytes - 1] = 1;
    zeroed_pages::release(p, c.bytes);
  }
  EXPECT_EQ(zeroed_pages::allocate(size_t(-1)), nullptr) << "a size that overflows with the header";
  EXPECT_EQ(zeroed_pages::allocate(size_t(-1) - zeroed_pages::kHeader + 1), nullptr);
  zeroed_pages::release(nullptr, 10);
}

#if defined(ZEROED_PAGES_MAPPED)
// Pages of a mapped buffer: resident only where written, and given back when released.
TEST(ZeroedPages, MappedBuffersTakeMemoryOnlyWhereWritten) {
  const size_t bytes = size_t(4) << 20;
  auto* p = static_cast<uint8_t*>(zeroed_pages::allocate(bytes));
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(is_mapped(p));
  const size_t page = 4096, pages = (bytes + zeroed_pages::kHeader + page - 1) / page;
  uint8_t* base = p - zeroed_pages::kHeader;
  const auto resident = [&] {
    std::vector<unsigned char> in(pages);
    if (mincore(base, pages * page, in.data()) != 0) return -1;
    int n = 0;
    for (unsigned char b : in) n += b & 1;
    return n;
  };
  EXPECT_EQ(resident(), 1) << "the header's page alone";
  p[bytes / 2] = 7;
  EXPECT_EQ(resident(), 2);
  zeroed_pages::release(p, bytes);
  std::vector<unsigned char> in(pages);
  EXPECT_NE(mincore(base, pages * page, in.data()), 0) << "unmapped when released";
}
#endif

#if defined(__GLIBC__)
// mallinfo2's count of the heap's own mappings (allocations above the mapping threshold).
size_t mapped_blocks() {
  return mallinfo2().hblks;
}

// Allocations of 4 and 20 MB are mappings of their own, except while a StartUpHeap lives:
// once the start-up ends (or is given up), the heap is set back. Where an allocation lands
// depends on what the heap holds free already, so each case runs in a fresh process (a death
// test in the "threadsafe" style runs the test program anew), which says what went wrong on
// stderr and exits 0 when nothing did.
bool lands_in_mapping(size_t bytes) {
  const size_t before = mapped_blocks();
  void* p = std::malloc(bytes);
  static_cast<volatile char*>(p)[0] = 1;
  const bool mapped = mapped_blocks() == before + 1;
  std::free(p);
  return mapped;
}

void start_up_and_check(bool ends) {
  int wrong = 0;
  const auto expect = [&wrong](bool mapped, size_t bytes, const char* when) {
    if (lands_in_mapping(bytes) == mapped) return;
    std::fprintf(stderr, "%zu KB %s: %s\n", bytes >> 10, when, mapped ? "in the heap" : "a mapping");
    ++wrong;
  };
  {
    StartUpHeap heap(size_t(8) << 20);
    for (size_t mb : {4, 20}) expect(false, mb << 20, "during the start-up");
    if (zeroed_pages::mapping.load()) ++wrong;
    heap.touch();
    heap.release();
    if (ends) heap.end();
  }
  for (size_t mb : {4, 20}) expect(true, mb << 20, "after the start-up");
  expect(true, 256 << 10, "after the start-up (the heap's own threshold is 128 KB)");
  expect(false, 64 << 10, "after the start-up");
  if (!zeroed_pages::mapping.load()) ++wrong;
  std::fflush(stderr);
  std::_Exit(wrong == 0 ? 0 : 1);
}

TEST(StartUpHeap, TheHeapIsSetBackWhenTheStartUpEnds) {
  if (!QUORVANE_OWN_MALLOC) GTEST_SKIP() << "the sanitizer's allocator replaces the heap's";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(start_up_and_check(/*ends=*/true), testing::ExitedWithCode(0), "") << "the start-up ended";
  EXPECT_EXIT(start_up_and_check(/*ends=*/false), testing::ExitedWithCode(0), "") << "the start-up given up";
}

// The block made resident ahead goes back to the system when the start-up ends.
TEST(StartUpHeap, ResidentPagesGoBackAtTheEnd) {
  if (!QUORVANE_OWN_MALLOC) GTEST_SKIP() << "the sanitizer's allocator replaces the heap's";
  const auto resident_mb = [] {
    long size = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
      std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1 << 20);
  };
  malloc_trim(0);  // what earlier tests left free goes first
  const double before = resident_mb();
  StartUpHeap heap(size_t(16) << 20);
  heap.touch();
  const double touched = resident_mb();
  EXPECT_GT(touched - before, 15.0) << "the block is resident";
  heap.release();
  heap.end();
  EXPECT_GT(touched - resident_mb(), 15.0) << "and given back";
}
#endif

}  // namespace
