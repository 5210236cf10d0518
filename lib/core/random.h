// The library's random numbers (a 32-bit Mersenne Twister, MT19937).
#pragma once
#include <cstdint>

// Reseeds the generator (start-up seeds it from the clock; tests seed it for repeatable runs).
void SeedRandom(uint32_t seed);
// The next 32-bit word.
uint32_t NextRandom32(void);
// 0..max inclusive: the high 32 bits of next32 * (max + 1). max < 0 gives 0.
int PickRandomUpTo(int max);
