// A stepped clock for tests: time moves only when a test advances it or someone sleeps.
#pragma once
#include <cstdint>

// Installs the stepped clock at startMicroseconds as the kernel's clock source.
void InstallSteppedClock(uint64_t startMicroseconds);
// Restores the real clock.
void RemoveSteppedClock(void);
// Moves the stepped clock forward.
void AdvanceSteppedClock(uint64_t microseconds);
// The stepped clock's time now.
uint64_t GetSteppedClockMicroseconds(void);
// Total milliseconds slept through the clock since it was installed.
uint64_t GetSteppedClockSleptMilliseconds(void);
// Calls hook(user, n) at the end of the n-th sleep since it was set (n from 1), on the sleeping thread;
// a test acts there on what the sleeper has just done instead of guessing with real time. Null removes
// it; so does installing or removing the clock.
void SetSteppedSleepHook(void (*hook)(void *user, uint64_t sleeps), void *user);
