// The library lock: recursive, handed to waiting threads strictly in arrival order. Each waiter
// sleeps on its own manual-reset event, which the releasing thread sets after making it the holder.
#include "lib/core/lock.h"

#include "lib/core/log.h"
#include "platform/kernel/kernel.h"

#include <mutex>

struct LockWaiter {
    uint32_t thread;
    KHandle event;
};

struct LibraryLockState {
    std::mutex guard;                       // protects the fields below, held only briefly
    uint32_t holder;                        // thread id, 0 when free
    int depth;                              // recursion of the holder
    LockWaiter queue[LIBRARY_LOCK_MAX_WAITERS];  // ring, oldest at head
    int head;
    int count;
};

static LibraryLockState g_lock;

int EnterLibraryLock(void)
{
    uint32_t self = KGetCurrentThreadId();
    KHandle event;
    {
        std::lock_guard<std::mutex> guard(g_lock.guard);
        if (g_lock.holder == self) {
            g_lock.depth++;
            return 0;
        }
        if (g_lock.holder == 0 && g_lock.count == 0) {
            g_lock.holder = self;
            g_lock.depth = 1;
            return 0;
        }
        if (g_lock.count == LIBRARY_LOCK_MAX_WAITERS)
            event = 0;
        else
            event = KCreateEvent(1, 0);
        if (event) {
            int tail = (g_lock.head + g_lock.count) % LIBRARY_LOCK_MAX_WAITERS;
            g_lock.queue[tail].thread = self;
            g_lock.queue[tail].event = event;
            g_lock.count++;
        }
    }
    if (!event)
        return WriteLog("ライブラリロックの待ち行列が一杯です in EnterLibraryLock\n");
    // The releasing thread makes this thread the holder before it sets the event.
    KWaitForSingleObject(event, K_INFINITE);
    KCloseHandle(event);
    return 0;
}

int LeaveLibraryLock(void)
{
    uint32_t self = KGetCurrentThreadId();
    std::lock_guard<std::mutex> guard(g_lock.guard);
    if (g_lock.holder != self)
        return -1;
    if (--g_lock.depth > 0)
        return 0;
    if (g_lock.count == 0) {
        g_lock.holder = 0;
        return 0;
    }
    LockWaiter next = g_lock.queue[g_lock.head];
    g_lock.head = (g_lock.head + 1) % LIBRARY_LOCK_MAX_WAITERS;
    g_lock.count--;
    g_lock.holder = next.thread;
    g_lock.depth = 1;
    KSetEvent(next.event);
    return 0;
}

int IsLibraryLockHeld(void)
{
    uint32_t self = KGetCurrentThreadId();
    std::lock_guard<std::mutex> guard(g_lock.guard);
    return g_lock.holder == self ? 1 : 0;
}

int GetLibraryLockWaiterCount(void)
{
    std::lock_guard<std::mutex> guard(g_lock.guard);
    return g_lock.count;
}
