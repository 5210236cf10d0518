// The stepped clock: a sleep advances it by the time asked and yields, so loops that sleep
// still make progress without real waiting.
#include "tests/support/stepped_clock.h"

#include "platform/kernel/kernel.h"

#include <atomic>
#include <thread>

static std::atomic<uint64_t> g_now{0};
static std::atomic<uint64_t> g_slept{0};

static uint64_t SteppedNow(void *) { return g_now.load(); }

static void SteppedSleep(void *, uint32_t milliseconds)
{
    g_now += (uint64_t)milliseconds * 1000u;
    g_slept += milliseconds;
    std::this_thread::yield();
}

void InstallSteppedClock(uint64_t startMicroseconds)
{
    g_now = startMicroseconds;
    g_slept = 0;
    KClockSource source = {SteppedNow, SteppedSleep, nullptr};
    KSetClockSource(&source);
}

void RemoveSteppedClock(void) { KSetClockSource(nullptr); }
void AdvanceSteppedClock(uint64_t microseconds) { g_now += microseconds; }
uint64_t GetSteppedClockMicroseconds(void) { return g_now.load(); }
uint64_t GetSteppedClockSleptMilliseconds(void) { return g_slept.load(); }
