// Random numbers: a 32-bit Mersenne Twister (MT19937), one generator for the library.
#include "lib/core/random.h"

#include <mutex>
#include <random>

static std::mutex g_randomLock;
static std::mt19937 g_generator;  // default seed until start-up or a test seeds it

void SeedRandom(uint32_t seed)
{
    std::lock_guard<std::mutex> guard(g_randomLock);
    g_generator.seed(seed);
}

uint32_t NextRandom32(void)
{
    std::lock_guard<std::mutex> guard(g_randomLock);
    return (uint32_t)g_generator();
}

int PickRandomUpTo(int max)
{
    if (max < 0)
        return 0;
    // Scaled into 0..max by the high word of the product: no modulo bias toward small values.
    return (int)(((uint64_t)NextRandom32() * ((uint64_t)max + 1)) >> 32);
}
