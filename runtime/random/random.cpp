#include "runtime/random/random.h"

#include <bit>

#include "runtime/platform/platform.h"

namespace {

struct Generator {
  bool seeded = false;
  int i = 0, j = 0;  // the two lags, 0..16
  uint32_t a[17] = {};
  uint32_t b[17] = {};
};
thread_local Generator generator;

uint32_t step(Generator& g) {
  const uint32_t x = std::rotl(g.b[g.i], 19) + g.b[g.j];
  const uint32_t y = std::rotl(g.a[g.i], 27) + g.a[g.j];
  g.a[g.i] = x;
  g.b[g.i] = y;
  g.i = g.i == 0 ? 16 : g.i - 1;
  g.j = g.j == 0 ? 16 : g.j - 1;
  return x;
}

void seed(Generator& g, uint32_t s) {
  for (int n = 0; n < 17; ++n) {
    g.b[n] = 1u - s * 1403630843u;
    s = 1u - g.b[n] * 1403630843u;
    g.a[n] = s;
  }
  g.i = 0;
  g.j = 10;
  g.seeded = true;
  for (int n = 0; n < 31; ++n) step(g);
}

}  // namespace

uint32_t random_range(uint32_t maximum, uint32_t minimum) {
  if (!generator.seeded) seed(generator, platform::thread_id() ^ platform::tick_count_ms());
  if (minimum > maximum) minimum = maximum;
  const uint32_t range = maximum - minimum + 1;
  const uint32_t x = step(generator);
  if (range == 0) return x + minimum;
  return minimum + uint32_t((uint64_t(x) * range) >> 32);
}

void random_seed(uint32_t s) {
  seed(generator, s);
}
