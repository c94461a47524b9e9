// runtime/random/random.h — random integers in a closed range.
//
// A rotate-and-add lagged generator over two tables of 17 words, one per thread, seeded on
// the thread's first use from the thread identifier and the millisecond tick count, so every
// run differs.
#pragma once

#include <cstdint>

// A value in [minimum, maximum], both included (compared unsigned); when minimum > maximum the
// result is always maximum. (0xFFFFFFFF, 0) returns the generator's raw word.
uint32_t random_range(uint32_t maximum, uint32_t minimum);
// Reseeds the calling thread's generator from `seed` as its first use would (tests).
void random_seed(uint32_t seed);
