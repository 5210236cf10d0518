// The stepped clock: a sleep advances it by the time asked and yields, so loops that sleep
// still make progress without real waiting.
#include "tests/support/stepped_clock.h"

#include "platform/kernel/kernel.h"

#include <atomic>
#include <thread>

static std::atomic<uint64_t> g_now{0};
static std::atomic<uint64_t> g_slept{0};
static std::atomic<uint64_t> g_sleeps{0};
static std::atomic<void (*)(void *, uint64_t)> g_hook{nullptr};
static std::atomic<void *> g_hookUser{nullptr};

static uint64_t SteppedNow(void *) { return g_now.load(); }

static void SteppedSleep(void *, uint32_t milliseconds)
{
    g_now += (uint64_t)milliseconds * 1000u;
    g_slept += milliseconds;
    uint64_t sleeps = ++g_sleeps;
    void (*hook)(void *, uint64_t) = g_hook.load();
    if (hook) hook(g_hookUser.load(), sleeps);
    std::this_thread::yield();
}

void InstallSteppedClock(uint64_t startMicroseconds)
{
    g_now = startMicroseconds;
    g_slept = 0;
    SetSteppedSleepHook(nullptr, nullptr);
    KClockSource source = {SteppedNow, SteppedSleep, nullptr};
    KSetClockSource(&source);
}

void RemoveSteppedClock(void)
{
    KSetClockSource(nullptr);
    SetSteppedSleepHook(nullptr, nullptr);
}

void SetSteppedSleepHook(void (*hook)(void *user, uint64_t sleeps), void *user)
{
    g_hook = nullptr;
    g_sleeps = 0;
    g_hookUser = user;
    g_hook = hook;
}

void AdvanceSteppedClock(uint64_t microseconds) { g_now += microseconds; }
uint64_t GetSteppedClockMicroseconds(void) { return g_now.load(); }
uint64_t GetSteppedClockSleptMilliseconds(void) { return g_slept.load(); }
