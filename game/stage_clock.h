// The stage clock: a second thread that takes one second off the stage time every second while a
// stage runs unpaused, and plays the hurry voice. It stops on a flag that also wakes its wait, and
// shutdown joins it before any record it reads is released.
#pragma once
#include <cstdint>

#define STAGE_CLOCK_PERIOD_MS 1000
#define HURRY_TIME_SECONDS 50

// Starts the thread (the game records must exist). 0, -1 when it is already running or cannot start.
int StartStageClock(void);
// Sets the stop flag, wakes the thread and joins it. 0 (also when it is not running).
int StopStageClock(void);
// 1 while the thread has been started and not yet joined (main thread).
int IsStageClockRunning(void);
// The thread's body: waits a second (on the services' clock, woken early by the stop flag), counts,
// pumps; returns when stopped (0) or when the pump reports the end (its result).
int RunCountdownThread(void);
// One second's work: in an unpaused stage the time falls by one, and at 50 s and at every multiple of
// 3 below 10 s (9, 6, 3, 0, -3 ...) the hurry voice plays when the effects are on. 1 when it counted,
// else 0.
int TickStageClock(void);
// 1 for the times that call the hurry voice.
int IsHurryTime(int secondsLeft);
// Seconds the running or last thread has finished (counted or not); for tests that step the clock.
uint64_t GetStageClockSeconds(void);
