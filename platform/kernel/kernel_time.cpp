// Kernel stand-in: the one clock source behind Sleep, the millisecond clock and the performance counter.
#include "platform/kernel/kernel.h"

#include <cerrno>
#include <mutex>
#include <time.h>

// Monotonic microseconds of the real clock.
static uint64_t RealNowMicroseconds(void *user)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000u + (uint64_t)ts.tv_nsec / 1000u;
}

// Sleeps on the real clock, resuming after signals.
static void RealSleep(void *user, uint32_t milliseconds)
{
    struct timespec ts;
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

static const KClockSource g_realClock = {RealNowMicroseconds, RealSleep, nullptr};
static std::mutex g_clockLock;
static KClockSource g_clock = g_realClock;

// A copy of the current source, so a replacement cannot tear a call in progress.
static KClockSource CurrentClock(void)
{
    std::lock_guard<std::mutex> guard(g_clockLock);
    return g_clock;
}

void KSetClockSource(const KClockSource *source)
{
    std::lock_guard<std::mutex> guard(g_clockLock);
    if (source && source->nowMicroseconds && source->sleep)
        g_clock = *source;
    else
        g_clock = g_realClock;
}

void KSleep(uint32_t milliseconds)
{
    KClockSource clock = CurrentClock();
    clock.sleep(clock.user, milliseconds);
}

uint32_t KGetTime(void)
{
    KClockSource clock = CurrentClock();
    return (uint32_t)(clock.nowMicroseconds(clock.user) / 1000u);
}

int KQueryPerformanceCounter(int64_t *count)
{
    KClockSource clock = CurrentClock();
    if (count)
        *count = (int64_t)clock.nowMicroseconds(clock.user);
    return 1;
}

int KQueryPerformanceFrequency(int64_t *frequency)
{
    if (frequency)
        *frequency = 1000000;
    return 1;
}
