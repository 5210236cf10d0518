// The library lock under threads, random numbers under a seed, lists, processor flags.
#include "lib/core/cpu.h"
#include "lib/core/list.h"
#include "lib/core/lock.h"
#include "lib/core/random.h"
#include "platform/kernel/kernel.h"
#include "tests/support/stepped_clock.h"

#include <gtest/gtest.h>
#include <atomic>
#include <climits>
#include <vector>

namespace {

struct Arrival {
    int index;
    std::vector<int> *order;
    std::atomic<int> *inside;
    std::atomic<int> *overlaps;
};

uint32_t TakeLockAndRecord(void *arg)
{
    Arrival *a = (Arrival *)arg;
    EnterLibraryLock();
    EnterLibraryLock();  // recursive inside the worker too
    if (a->inside->fetch_add(1) != 0)
        (*a->overlaps)++;
    a->order->push_back(a->index);
    KSleep(1);
    a->inside->fetch_sub(1);
    LeaveLibraryLock();
    LeaveLibraryLock();
    return 0;
}

}  // namespace

TEST(LibraryLock, RecursiveAndFirstComeFirstServed)
{
    const int kThreads = 12;
    std::vector<int> order;
    std::atomic<int> inside{0}, overlaps{0};
    Arrival arrivals[kThreads];
    KHandle threads[kThreads];

    ASSERT_EQ(EnterLibraryLock(), 0);
    ASSERT_EQ(EnterLibraryLock(), 0);
    EXPECT_EQ(IsLibraryLockHeld(), 1);
    for (int i = 0; i < kThreads; i++) {
        arrivals[i] = {i, &order, &inside, &overlaps};
        threads[i] = KCreateThread(TakeLockAndRecord, &arrivals[i]);
        ASSERT_NE(threads[i], 0);
        // Line the threads up one by one so their arrival order is known.
        while (GetLibraryLockWaiterCount() != i + 1)
            KSleep(1);
    }
    EXPECT_EQ(LeaveLibraryLock(), 0);
    EXPECT_EQ(IsLibraryLockHeld(), 1);  // one level still held: nobody got in
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(LeaveLibraryLock(), 0);
    for (KHandle t : threads) {
        KWaitForSingleObject(t, K_INFINITE);
        KCloseHandle(t);
    }
    std::vector<int> expected;
    for (int i = 0; i < kThreads; i++)
        expected.push_back(i);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(IsLibraryLockHeld(), 0);
    EXPECT_EQ(LeaveLibraryLock(), -1);  // not the holder
    EXPECT_EQ(GetLibraryLockWaiterCount(), 0);
}

TEST(Random, PickRandomUpToBoundsAndDeterminism)
{
    SeedRandom(20240601);
    std::vector<int> first;
    for (int i = 0; i < 200; i++)
        first.push_back(PickRandomUpTo(6));
    SeedRandom(20240601);
    for (int i = 0; i < 200; i++)
        ASSERT_EQ(PickRandomUpTo(6), first[i]);

    int seen[2] = {0, 0};
    for (int i = 0; i < 1000; i++) {
        int v = PickRandomUpTo(1);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 1);
        seen[v]++;
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    for (int i = 0; i < 100; i++) {
        ASSERT_EQ(PickRandomUpTo(0), 0);
        ASSERT_EQ(PickRandomUpTo(-5), 0);
        int big = PickRandomUpTo(INT_MAX);
        ASSERT_GE(big, 0);
    }

    // The mapping: high word of next32 * (max + 1).
    SeedRandom(7);
    uint32_t word = NextRandom32();
    SeedRandom(7);
    EXPECT_EQ(PickRandomUpTo(99), (int)(((uint64_t)word * 100) >> 32));

    // The generator is the standard MT19937: its 10000th word from the default seed is known.
    SeedRandom(5489);
    for (int i = 0; i < 9999; i++)
        NextRandom32();
    EXPECT_EQ(NextRandom32(), 4123659995u);
}

TEST(LinkedList, NewestFirstAndRemoval)
{
    LinkedListNode head, tail, a, b, c;
    InitLinkedList(&head, &tail);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.next, nullptr);
    AppendListNode(&head, &a, 1, 10);
    AppendListNode(&head, &b, 2, 20);
    AppendListNode(&head, &c, 3, 30);
    std::vector<intptr_t> data;
    for (LinkedListNode *n = head.next; n != &tail; n = n->next)
        data.push_back(n->data1 * 100 + n->data2);
    EXPECT_EQ(data, (std::vector<intptr_t>{330, 220, 110}));
    RemoveListNode(&b);
    RemoveListNode(&b);  // a second removal changes nothing
    EXPECT_EQ(c.next, &a);
    EXPECT_EQ(a.prev, &c);
    RemoveListNode(&c);
    RemoveListNode(&a);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.prev, &head);
}

TEST(Processor, MmxFlagAndOverride)
{
    EXPECT_EQ(GetMmxAvailable(), 1);  // on every host, whatever the processor has
    SetMmxAvailableOverride(0);
    EXPECT_EQ(GetMmxAvailable(), 0);
    SetMmxAvailableOverride(1);
    EXPECT_EQ(GetMmxAvailable(), 1);
    SetMmxAvailableOverride(-1);
    EXPECT_EQ(GetMmxAvailable(), 1);
    EXPECT_EQ(LogSystemInfo(), 0);
}

TEST(Processor, CounterMicrosecondsFollowsTheClock)
{
    InstallSteppedClock(123456789);
    EXPECT_EQ(GetCounterMicroseconds(0), 123456789);
    AdvanceSteppedClock(11);
    EXPECT_EQ(GetCounterMicroseconds(1), 123456800);
    RemoveSteppedClock();
}
