// The library lock: recursive, first come first served, at most 4096 waiting threads,
// each waiting on its own manual-reset event. Taken by library start, end and the message pump.
#pragma once

#define LIBRARY_LOCK_MAX_WAITERS 4096

// Takes the lock (again, when the calling thread holds it). 0; -1 when the wait queue is full (logged).
int EnterLibraryLock(void);
// Releases one level; at the last, hands the lock to the longest waiter. 0; -1 when not the holder.
int LeaveLibraryLock(void);
// 1 when the calling thread holds the lock.
int IsLibraryLockHeld(void);
// How many threads wait for the lock now (for tests that line threads up).
int GetLibraryLockWaiterCount(void);
