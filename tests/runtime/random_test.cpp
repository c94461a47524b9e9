#include "runtime/random/random.h"

#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <thread>

namespace {

TEST(RandomRange, StaysWithinItsBoundsAndReachesEveryValue) {
  std::set<uint32_t> seen;
  for (int n = 0; n < 20000; ++n) {
    const uint32_t value = random_range(504, 376);
    ASSERT_GE(value, 376u);
    ASSERT_LE(value, 504u);
    seen.insert(value);
  }
  EXPECT_EQ(seen.size(), 129u);
}

TEST(RandomRange, DegenerateRanges) {
  for (int n = 0; n < 100; ++n) {
    EXPECT_EQ(random_range(5, 5), 5u);
    EXPECT_EQ(random_range(3, 7), 3u);  // minimum above maximum: always the maximum
  }
}

// Reference of the generator, written out from its definition, for the raw-word case.
struct Reference {
  int i = 0, j = 10;
  uint32_t a[17], b[17];
  explicit Reference(uint32_t s) {
    for (int n = 0; n < 17; ++n) {
      b[n] = 1u - s * 1403630843u;
      s = 1u - b[n] * 1403630843u;
      a[n] = s;
    }
    for (int n = 0; n < 31; ++n) step();
  }
  uint32_t step() {
    const uint32_t x = std::rotl(b[i], 19) + b[j], y = std::rotl(a[i], 27) + a[j];
    a[i] = x;
    b[i] = y;
    i = (i + 16) % 17;
    j = (j + 16) % 17;
    return x;
  }
};

TEST(RandomRange, FullSpanReturnsTheRawWordAndRangesScaleIt) {
  random_seed(12345);
  Reference reference(12345);
  for (int n = 0; n < 50; ++n) EXPECT_EQ(random_range(0xFFFFFFFF, 0), reference.step());
  for (int n = 0; n < 50; ++n) {
    const uint32_t x = reference.step();
    EXPECT_EQ(random_range(784, 100), 100 + uint32_t((uint64_t(x) * 685) >> 32));
  }
}

TEST(RandomRange, ThreadsDrawIndependentSequences) {
  random_seed(7);
  std::vector<uint32_t> here, there;
  std::thread other([&] {
    random_seed(99);
    for (int n = 0; n < 8; ++n) there.push_back(random_range(0xFFFFFFFF, 0));
  });
  other.join();
  for (int n = 0; n < 8; ++n) here.push_back(random_range(0xFFFFFFFF, 0));
  Reference seven(7);
  for (uint32_t value : here) EXPECT_EQ(value, seven.step());  // untouched by the other thread
  EXPECT_NE(here, there);
}

}  // namespace
