// The stage-clock thread.
#include "game/stage_clock.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "game/assets.h"
#include "game/records.h"
#include "game/services.h"

// A real-time slice of the wait, so a stepped clock that moves on is noticed soon.
#define CLOCK_WAIT_SLICE_MS 20

// The game mutex: only the clock thread holds it; the stop flag and the wake-up go through it.
static std::mutex g_gameMutex;
static std::condition_variable g_wake;
static bool g_stopRequested;                    // under g_gameMutex
static std::atomic<uint64_t> g_secondsDone;

// Asks the clock thread to stop and wakes it.
static void RequestClockStop(void)
{
    {
        std::lock_guard<std::mutex> guard(g_gameMutex);
        g_stopRequested = true;
    }
    g_wake.notify_all();
}

// The clock thread's handle. A process that exits while the clock runs (a library's exit()) must not
// find it joinable, which aborts: it is stopped and joined before the statics it uses go. Every wait
// of the thread ends: its second on the stop, the pump's wait for the focus on the library's end,
// which the exit requests first. An exit made on the clock thread itself lets it go, as it is the
// one ending the process.
static struct ClockThread {
    std::thread thread;                          // main thread only
    ~ClockThread()
    {
        if (!thread.joinable()) return;
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
            return;
        }
        RequestClockStop();
        thread.join();
    }
} g_clock;

// Waits one period of the services' clock. false when the stop flag ends the wait.
static bool WaitOneClockPeriod(void)
{
    uint32_t start = gServices.getTime();
    std::unique_lock<std::mutex> lock(g_gameMutex);
    for (;;) {
        if (g_stopRequested) return false;
        uint32_t elapsed = gServices.getTime() - start;  // unsigned: the clock may wrap
        if (elapsed >= STAGE_CLOCK_PERIOD_MS) return true;
        uint32_t slice = STAGE_CLOCK_PERIOD_MS - elapsed;
        if (slice > CLOCK_WAIT_SLICE_MS) slice = CLOCK_WAIT_SLICE_MS;
        g_wake.wait_for(lock, std::chrono::milliseconds(slice));
    }
}

int IsHurryTime(int secondsLeft)
{
    return secondsLeft == HURRY_TIME_SECONDS || (secondsLeft < 10 && secondsLeft % 3 == 0);
}

int TickStageClock(void)
{
    if (gGame->inStage != 1 || gGame->paused != 0) return 0;
    // fetch_sub: a stage start writing 200 meanwhile is never overwritten by a stale value
    int now = gGame->timeLeft.fetch_sub(1, std::memory_order_relaxed) - 1;
    if (IsHurryTime(now)) PlayVoiceIfEnabled(VOICE_HURRY);
    return 1;
}

int RunCountdownThread(void)
{
    int end = gServices.pumpMessages();
    if (end != 0) return end;
    while (WaitOneClockPeriod()) {
        TickStageClock();
        g_secondsDone.fetch_add(1);
        end = gServices.pumpMessages();
        if (end != 0) return end;
    }
    return 0;
}

uint64_t GetStageClockSeconds(void)
{
    return g_secondsDone.load();
}

int IsStageClockRunning(void)
{
    return g_clock.thread.joinable() ? 1 : 0;
}

int StartStageClock(void)
{
    if (g_clock.thread.joinable()) return -1;
    {
        std::lock_guard<std::mutex> guard(g_gameMutex);
        g_stopRequested = false;
    }
    g_secondsDone = 0;
    g_clock.thread = std::thread(RunCountdownThread);
    return 0;
}

int StopStageClock(void)
{
    if (!g_clock.thread.joinable()) return 0;
    RequestClockStop();
    g_clock.thread.join();
    return 0;
}
