// Kernel threads, events, mutexes and critical sections.
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>
#include <atomic>
#include <vector>

namespace {

struct EventRelay {
    KHandle go;
    KHandle done;
    std::atomic<int> steps;
};

uint32_t RelayThread(void *arg)
{
    EventRelay *relay = (EventRelay *)arg;
    KWaitForSingleObject(relay->go, K_INFINITE);
    relay->steps++;
    KSetEvent(relay->done);
    return 0;
}

}  // namespace

TEST(KernelSync, ManualResetEventStaysSignalledUntilReset)
{
    KHandle e = KCreateEvent(1, 0);
    ASSERT_NE(e, 0);
    EXPECT_EQ(KWaitForSingleObject(e, 0), (uint32_t)K_WAIT_TIMEOUT);
    KSetEvent(e);
    EXPECT_EQ(KWaitForSingleObject(e, 0), (uint32_t)K_WAIT_OBJECT_0);
    EXPECT_EQ(KWaitForSingleObject(e, 0), (uint32_t)K_WAIT_OBJECT_0);
    KResetEvent(e);
    EXPECT_EQ(KWaitForSingleObject(e, 10), (uint32_t)K_WAIT_TIMEOUT);
    KCloseHandle(e);
    EXPECT_EQ(KWaitForSingleObject(e, 0), (uint32_t)K_WAIT_FAILED);
    EXPECT_EQ(KSetEvent(e), 0);
}

TEST(KernelSync, AutoResetEventReleasesOneWait)
{
    KHandle e = KCreateEvent(0, 1);
    EXPECT_EQ(KWaitForSingleObject(e, 0), (uint32_t)K_WAIT_OBJECT_0);
    EXPECT_EQ(KWaitForSingleObject(e, 0), (uint32_t)K_WAIT_TIMEOUT);
    KCloseHandle(e);
}

TEST(KernelSync, ThreadWaitsForEventAndItsEndCanBeAwaited)
{
    EventRelay relay = {KCreateEvent(1, 0), KCreateEvent(1, 0), {0}};
    KHandle t = KCreateThread(RelayThread, &relay);
    ASSERT_NE(t, 0);
    EXPECT_EQ(KWaitForSingleObject(t, 20), (uint32_t)K_WAIT_TIMEOUT);
    EXPECT_EQ(relay.steps.load(), 0);
    KSetEvent(relay.go);
    EXPECT_EQ(KWaitForSingleObject(relay.done, K_INFINITE), (uint32_t)K_WAIT_OBJECT_0);
    EXPECT_EQ(KWaitForSingleObject(t, K_INFINITE), (uint32_t)K_WAIT_OBJECT_0);
    EXPECT_EQ(relay.steps.load(), 1);
    KCloseHandle(t);
    KCloseHandle(relay.go);
    KCloseHandle(relay.done);
}

namespace {

struct MutexProbe {
    KHandle mutex;
    uint32_t waitResult;
    int releaseResult;
};

uint32_t ProbeMutex(void *arg)
{
    MutexProbe *probe = (MutexProbe *)arg;
    probe->releaseResult = KReleaseMutex(probe->mutex);  // not the owner
    probe->waitResult = KWaitForSingleObject(probe->mutex, 0);
    return 0;
}

}  // namespace

TEST(KernelSync, MutexIsRecursiveAndOwnedByOneThread)
{
    MutexProbe probe = {KCreateMutex(1), 99, 99};
    ASSERT_NE(probe.mutex, 0);
    EXPECT_EQ(KWaitForSingleObject(probe.mutex, 0), (uint32_t)K_WAIT_OBJECT_0);  // again: recursion 2
    KHandle t = KCreateThread(ProbeMutex, &probe);
    KWaitForSingleObject(t, K_INFINITE);
    KCloseHandle(t);
    EXPECT_EQ(probe.releaseResult, 0);
    EXPECT_EQ(probe.waitResult, (uint32_t)K_WAIT_TIMEOUT);

    EXPECT_EQ(KReleaseMutex(probe.mutex), 1);
    EXPECT_EQ(KReleaseMutex(probe.mutex), 1);
    EXPECT_EQ(KReleaseMutex(probe.mutex), 0);  // no longer owned
    t = KCreateThread(ProbeMutex, &probe);
    KWaitForSingleObject(t, K_INFINITE);
    KCloseHandle(t);
    EXPECT_EQ(probe.waitResult, (uint32_t)K_WAIT_OBJECT_0);  // free now: the other thread took it
    KCloseHandle(probe.mutex);
}

namespace {

struct CounterWork {
    KCriticalSection cs;
    long counter;
};

uint32_t CountUnderSection(void *arg)
{
    CounterWork *work = (CounterWork *)arg;
    for (int i = 0; i < 20000; i++) {
        KEnterCriticalSection(&work->cs);
        KEnterCriticalSection(&work->cs);  // recursive
        work->counter++;
        KLeaveCriticalSection(&work->cs);
        KLeaveCriticalSection(&work->cs);
    }
    return 0;
}

}  // namespace

TEST(KernelSync, CriticalSectionSerialisesThreads)
{
    CounterWork work;
    KInitializeCriticalSection(&work.cs);
    work.counter = 0;
    KHandle threads[4];
    for (KHandle &t : threads)
        t = KCreateThread(CountUnderSection, &work);
    for (KHandle t : threads) {
        KWaitForSingleObject(t, K_INFINITE);
        KCloseHandle(t);
    }
    EXPECT_EQ(work.counter, 80000);
    KDeleteCriticalSection(&work.cs);
}

TEST(KernelSync, ThreadIdsDiffer)
{
    static uint32_t other;
    KHandle t = KCreateThread([](void *) -> uint32_t { other = KGetCurrentThreadId(); return 0; }, nullptr);
    KWaitForSingleObject(t, K_INFINITE);
    KCloseHandle(t);
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, KGetCurrentThreadId());
    EXPECT_EQ(KGetCurrentThreadId(), KGetCurrentThreadId());
}

TEST(KernelSync, FullObjectTableFailsCleanly)
{
    std::vector<KHandle> events;
    for (;;) {
        KHandle e = KCreateEvent(1, 0);
        if (!e)
            break;
        events.push_back(e);
        ASSERT_LT(events.size(), 100000u);
    }
    EXPECT_GE(events.size(), 4096u);  // the library lock's waiters fit
    EXPECT_EQ(KCreateFile("/dev/null", K_GENERIC_READ, K_OPEN_EXISTING), K_INVALID_HANDLE);
    KCloseHandle(events.back());
    events.pop_back();
    KHandle again = KCreateEvent(0, 0);
    EXPECT_NE(again, 0);
    events.push_back(again);
    for (KHandle e : events)
        KCloseHandle(e);
}
