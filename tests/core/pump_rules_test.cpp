// The message pump: the sticky end, the inactive wait that keeps servicing its hooks, batches of five,
// and other threads that neither touch SDL nor block the main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/input/input.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"
#include "testsupport/window/window_test.h"
#include "tests/support/test_temp_dir.h"

namespace {

std::atomic<int> gRefills, gNetWork, gHttp, gMusic, gOverlays;
std::atomic<int> gHooksOffMainThread;
uint32_t gMainThread;

void CountThread()
{
    if (KGetCurrentThreadId() != gMainThread) gHooksOffMainThread++;
}
int SpyNetWork(int flag) { CountThread(); gNetWork++; return 0; }
int SpyHttp(void) { CountThread(); gHttp++; return 0; }
int SpyRefill(void) { CountThread(); gRefills++; return 0; }
int SpyMusic(void) { CountThread(); gMusic++; return 0; }
int SpyOverlays(void) { CountThread(); gOverlays++; return 0; }

// A clock whose sleeps are counted; the main thread's sleeps bring the focus back or close the window
// after a number of them, or run a step of the test. Another thread's sleeps are counted apart, so the
// main thread can wait for them.
struct FocusClock {
    std::atomic<uint64_t> now{5000000};
    std::atomic<int> sleeps{0};
    int focusAfter = 0;
    int closeAfter = 0;
    intptr_t window = 0;
    void (*onMainSleep)(FocusClock *clock, int sleeps) = nullptr;
    std::mutex lock;
    std::condition_variable otherSlept;
    int otherSleeps = 0;  // under lock
};

uint64_t FocusClockNow(void *user)
{
    return static_cast<FocusClock *>(user)->now.load();
}

void FocusClockSleep(void *user, uint32_t milliseconds)
{
    FocusClock *clock = static_cast<FocusClock *>(user);
    clock->now += milliseconds * 1000ull;
    if (KGetCurrentThreadId() != gMainThread) {
        std::lock_guard<std::mutex> guard(clock->lock);
        clock->otherSleeps++;
        clock->otherSlept.notify_all();
        return;
    }
    int n = ++clock->sleeps;
    if (n == clock->focusAfter) WTestPushWindowEvent(clock->window, W_TEST_FOCUS_GAINED);
    if (n == clock->closeAfter) WTestPushWindowEvent(clock->window, W_TEST_CLOSE);
    if (clock->onMainSleep) clock->onMainSleep(clock, n);
}

// Waits until another thread has slept in the clock; false after 20 s (a failure, never an order).
bool AwaitOtherThreadSleep(FocusClock *clock)
{
    std::unique_lock<std::mutex> guard(clock->lock);
    return clock->otherSlept.wait_for(guard, std::chrono::seconds(20), [&] { return clock->otherSleeps > 0; });
}

class Pump : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("DAZAR_SINGLE_INSTANCE", "0", 1);  // parallel test processes share the class name
        ASSERT_EQ(EnterFreshTempDir(), 0);
        gRefills = gNetWork = gHttp = gMusic = gOverlays = gHooksOffMainThread = 0;
        gMainThread = KGetCurrentThreadId();
        PumpHookTable spies{SpyNetWork, SpyHttp, SpyRefill, SpyMusic, SpyOverlays};
        SetPumpHookTable(&spies);
        ASSERT_EQ(InitLibrary(), 0);
    }
    void TearDown() override
    {
        EndLibrary();
        SetPumpHookTable(nullptr);
        KSetClockSource(nullptr);
        SetRunWhileInactive(0);
        LeaveFreshTempDir();
    }
    // Messages still waiting in the main window's queue (taken away).
    int CountWaiting()
    {
        WMessage message;
        int n = 0;
        while (WPeekMessage(&message, GetMainWindowHandle(), 1)) n += message.message != W_WM_TIMER;
        return n;
    }
    FocusClock clock;  // outlives EndLibrary in TearDown, which still reads the time
};

TEST_F(Pump, EveryPassServicesTheHooksOnce)
{
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(gNetWork, 1);
    EXPECT_EQ(gHttp, 1);
    EXPECT_EQ(gRefills, 1);
    EXPECT_EQ(gMusic, 1);
    EXPECT_EQ(gOverlays, 0);  // only while inactive
}

TEST_F(Pump, ClosingTheWindowEndsAndTheEndStays)
{
    ASSERT_EQ(WTestPushWindowEvent(GetMainWindowHandle(), W_TEST_CLOSE), 0);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(GetEndRequest(), 1);
    EXPECT_EQ(GetMainWindowHandle(), 0);
    for (int i = 0; i < 3; i++) EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(RunMessagePump(), -1);
}

TEST_F(Pump, WhileTheFocusIsAwayThePumpWaitsAndStillServicesItsHooks)
{
    clock.focusAfter = 40;
    clock.window = GetMainWindowHandle();
    KClockSource source{FocusClockNow, FocusClockSleep, &clock};
    KSetClockSource(&source);
    ASSERT_EQ(WTestPushWindowEvent(GetMainWindowHandle(), W_TEST_FOCUS_LOST), 0);
    EXPECT_EQ(PumpMessages(), 0);  // returns only once the focus is back
    EXPECT_EQ(GetActiveFlag(), 1);
    EXPECT_GE(clock.sleeps.load(), 40);
    EXPECT_GE(gRefills.load(), 40);
    EXPECT_GE(gNetWork.load(), 40);
    EXPECT_GE(gMusic.load(), 40);
    EXPECT_GE(gOverlays.load(), 40);
    EXPECT_EQ(gHooksOffMainThread, 0);
}

TEST_F(Pump, CloseWhileInactiveEndsTheWait)
{
    clock.closeAfter = 30;
    clock.window = GetMainWindowHandle();
    KClockSource source{FocusClockNow, FocusClockSleep, &clock};
    KSetClockSource(&source);
    ASSERT_EQ(WTestPushWindowEvent(GetMainWindowHandle(), W_TEST_FOCUS_LOST), 0);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(clock.sleeps.load(), 30);
}

TEST_F(Pump, RunningWhileInactiveDoesNotWait)
{
    SetRunWhileInactive(1);
    ASSERT_EQ(WTestPushWindowEvent(GetMainWindowHandle(), W_TEST_FOCUS_LOST), 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(GetActiveFlag(), 0);
    EXPECT_EQ(gOverlays, 0);
}

TEST_F(Pump, ActivityIsCheckedAfterEveryFiveMessages)
{
    SetRunWhileInactive(1);  // the pump returns instead of waiting, so the rest can be counted
    intptr_t window = GetMainWindowHandle();
    for (int i = 0; i < 3; i++) WPostMessage(window, W_WM_INPUT_PRIVATE1, 0, 0);
    WPostMessage(window, W_WM_ACTIVATEAPP, 0, 0);
    for (int i = 0; i < 10; i++) WPostMessage(window, W_WM_INPUT_PRIVATE2, 0, 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(CountWaiting(), 9);  // the batch of five ran out, the rest waits for the next pass
}

TEST_F(Pump, EndRequestIsCheckedAfterEveryFiveMessages)
{
    intptr_t window = GetMainWindowHandle();
    WPostMessage(window, W_WM_DESTROY, 0, 0);  // what the procedure sees when the window goes
    for (int i = 0; i < 11; i++) WPostMessage(window, W_WM_INPUT_PRIVATE1, 0, 0);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(GetEndRequest(), 1);
}

TEST_F(Pump, AnotherThreadNeitherTouchesSdlNorBlocksTheMainThread)
{
    // A key event waits in SDL's queue: only the main thread's pump may translate it.
    ASSERT_EQ(WTestPushKey(KEY_INPUT_Z, 1), 0);
    std::thread other([] {
        for (int i = 0; i < 50; i++) EXPECT_EQ(PumpMessages(), 0);
    });
    other.join();
    EXPECT_EQ(QueryKeyDown(KEY_INPUT_Z), 0);
    EXPECT_EQ(gRefills, 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(QueryKeyDown(KEY_INPUT_Z), 1);

    // The main thread waits inactive inside the pump, holding the library lock; the clock thread's
    // pump, started from that wait, waits too, without the lock; once it has slept in its own wait the
    // focus comes back and both return.
    static std::thread clockThread;
    static std::atomic<int> otherResult;
    otherResult = 99;
    clock.window = GetMainWindowHandle();
    clock.onMainSleep = [](FocusClock *c, int sleeps) {
        if (sleeps != 1) return;
        clockThread = std::thread([] { otherResult = PumpMessages(); });
        EXPECT_TRUE(AwaitOtherThreadSleep(c));
        WTestPushWindowEvent(c->window, W_TEST_FOCUS_GAINED);
    };
    KClockSource source{FocusClockNow, FocusClockSleep, &clock};
    KSetClockSource(&source);
    ASSERT_EQ(WTestPushWindowEvent(GetMainWindowHandle(), W_TEST_FOCUS_LOST), 0);
    EXPECT_EQ(PumpMessages(), 0);
    ASSERT_TRUE(clockThread.joinable());
    clockThread.join();
    EXPECT_EQ(otherResult, 0);
    EXPECT_EQ(gHooksOffMainThread, 0);
}

}  // namespace
