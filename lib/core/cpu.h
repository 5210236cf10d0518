// Processor and system facts for the log; the MMX flag the software drawers read.
#pragma once

// Logs OS, processor and memory facts and runs CPUID leaf 1 (MMX = EDX bit 23). 0.
int LogSystemInfo(void);
// The flag that picks the software drawers' saturating-subtract form: 1 on every host (the form
// is portable), unless a test forced it.
int GetMmxAvailable(void);
// Test override: 0 or 1 forces the flag, -1 returns to the default (1).
void SetMmxAvailableOverride(int flag);
// Microseconds from the performance counter (precise is accepted for callers that pass it).
long long GetCounterMicroseconds(int precise);
