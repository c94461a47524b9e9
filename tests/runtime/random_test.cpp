#include "runtime/random/random.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <thread>
#include <vector>

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

// Expected words computed apart from this code: the generator's definition (seed tables from
// s = seed with B[n] = 1 - s * 1403630843, s = 1 - B[n] * 1403630843, A[n] = s; i = 0, j = 10;
// 31 discarded steps; X = rotl(B[i], 19) + B[j], Y = rotl(A[i], 27) + A[j], A[i] = X, B[i] = Y,
// both lags down by one) re-typed in Python with unbounded integers reduced mod 2^32. By hand,
// for seed 0: B[0] = 1 - 0 = 1 and A[0] = 1 - 1403630843 = 2^32 + 1 - 1403630843 = 2891336454,
// then B[1] = 1 - 2891336454 * 1403630843 mod 2^32 = 3786291487.
struct Vector {
  uint32_t seed;
  uint32_t words[8];        // the first eight raw words after seeding
  uint32_t scaled_784_100;  // the ninth word through random_range(784, 100)
};
constexpr Vector kVectors[] = {
    {0,
     {0x8b910d61, 0xc8afe081, 0xa90e502f, 0x60ee47bf, 0x3c73645b, 0x9ffdeb25, 0xa33d4e9c, 0x6bc86fb9},
     280},  // 100 + (0x4377f3f7 * 685 >> 32)
    {12345,
     {0x47752d85, 0xb5e6cf88, 0xa995eec5, 0x575a51ee, 0x95c327c3, 0x467cc489, 0x4d62a6bf, 0xb485ab8a},
     246},  // 100 + (0x3699d106 * 685 >> 32)
};

TEST(RandomRange, FullSpanReturnsTheRawWordAndRangesScaleIt) {
  for (const Vector& v : kVectors) {
    random_seed(v.seed);
    for (uint32_t word : v.words) EXPECT_EQ(random_range(0xFFFFFFFF, 0), word) << "seed " << v.seed;
    EXPECT_EQ(random_range(784, 100), v.scaled_784_100) << "seed " << v.seed;
  }
}

TEST(RandomRange, ThreadsDrawIndependentSequences) {
  random_seed(0);
  std::vector<uint32_t> here, there;
  std::thread other([&] {
    random_seed(12345);
    for (int n = 0; n < 8; ++n) there.push_back(random_range(0xFFFFFFFF, 0));
  });
  other.join();
  for (int n = 0; n < 8; ++n) here.push_back(random_range(0xFFFFFFFF, 0));
  // Each thread's words are its own seed's, untouched by the other thread's draws.
  EXPECT_EQ(here, std::vector<uint32_t>(std::begin(kVectors[0].words), std::end(kVectors[0].words)));
  EXPECT_EQ(there, std::vector<uint32_t>(std::begin(kVectors[1].words), std::end(kVectors[1].words)));
}

}  // namespace
