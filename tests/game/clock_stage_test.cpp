// The stage clock: counting only in an unpaused stage, the hurry voice, and the thread's stop.
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "game/assets.h"
#include "game/records.h"
#include "game/services.h"
#include "game/stage_clock.h"
#include "lib/core/library.h"
#include "lib/core/system.h"
#include "tests/game/game_fakes.h"

// The thread is always stopped before the fakes go away, also when an assertion ended a test early.
class ClockTest : public GameTest {
protected:
    void TearDown() override
    {
        StopStageClock();
        GameTest::TearDown();
    }
};

TEST_F(ClockTest, CountsOnlyInAnUnpausedStage)
{
    gGame->timeLeft = 120;
    gGame->inStage = 0;
    EXPECT_EQ(TickStageClock(), 0);
    gGame->inStage = 1;
    gGame->paused = 1;
    EXPECT_EQ(TickStageClock(), 0);
    EXPECT_EQ(gGame->timeLeft, 120);
    gGame->paused = 0;
    EXPECT_EQ(TickStageClock(), 1);
    EXPECT_EQ(gGame->timeLeft, 119);
}

TEST_F(ClockTest, HurryVoicePlaysAt50And9630AndBelowZero)
{
    gGame->inStage = 1;
    gGame->timeLeft = 52;
    std::vector<int> hurried;
    for (int i = 0; i < 56; i++) {
        int before = CountSoundPlays(FakeVoiceHandle(VOICE_HURRY));
        TickStageClock();
        if (CountSoundPlays(FakeVoiceHandle(VOICE_HURRY)) > before) hurried.push_back(gGame->timeLeft);
    }
    EXPECT_EQ(hurried, (std::vector<int>{50, 9, 6, 3, 0, -3}));
    std::lock_guard<std::mutex> guard(gFake->soundLock);
    for (int h : gFake->soundPlays) EXPECT_EQ(h, FakeVoiceHandle(VOICE_HURRY));
}

TEST_F(ClockTest, NoHurryVoiceWithEffectsOff)
{
    gGame->inStage = 1;
    gGame->soundEffectsOn = 0;
    gGame->timeLeft = 51;
    TickStageClock();
    gGame->timeLeft = 10;
    TickStageClock();
    EXPECT_EQ(gGame->timeLeft, 9);
    EXPECT_TRUE(gFake->soundPlays.empty());
}

// The thread is driven by handshakes with the fakes: it has taken its start time once it has read the
// time after its last pump, and it has finished a second once it pumps again.
TEST_F(ClockTest, ThreadCountsSecondsOfTheSteppedClock)
{
    gGame->inStage = 1;
    gGame->timeLeft = 51;
    ASSERT_EQ(StartStageClock(), 0);
    EXPECT_EQ(StartStageClock(), -1);  // one thread only
    ASSERT_TRUE(AwaitOtherThreadPumps(1));
    ASSERT_TRUE(AwaitOtherThreadTimeRead());  // start time taken at 0
    gFake->now += 999;
    ASSERT_TRUE(AwaitOtherThreadTimeRead());  // it has seen 999 ms: not yet a second
    EXPECT_EQ(GetStageClockSeconds(), 0u);
    gFake->now += 1;
    ASSERT_TRUE(AwaitOtherThreadPumps(2));
    EXPECT_EQ(GetStageClockSeconds(), 1u);
    EXPECT_EQ(gGame->timeLeft, 50);
    EXPECT_EQ(CountSoundPlays(FakeVoiceHandle(VOICE_HURRY)), 1);
    gGame->paused = 1;
    ASSERT_TRUE(AwaitOtherThreadTimeRead());  // the next second starts at 1000
    gFake->now += 1000;
    ASSERT_TRUE(AwaitOtherThreadPumps(3));
    EXPECT_EQ(GetStageClockSeconds(), 2u);
    EXPECT_EQ(gGame->timeLeft, 50);  // paused: the second passed uncounted
    EXPECT_EQ(StopStageClock(), 0);
}

TEST_F(ClockTest, StopWakesTheThreadMidWait)
{
    gGame->inStage = 1;
    gGame->timeLeft = 200;
    ASSERT_EQ(StartStageClock(), 0);
    ASSERT_TRUE(AwaitOtherThreadPumps(1));
    ASSERT_TRUE(AwaitOtherThreadTimeRead());  // inside its wait
    EXPECT_EQ(StopStageClock(), 0);
    EXPECT_EQ(StopStageClock(), 0);  // already stopped
    gFake->now += 5000;
    EXPECT_EQ(gGame->timeLeft, 200);
    EXPECT_EQ(GetStageClockSeconds(), 0u);
    // and it starts again
    ASSERT_EQ(StartStageClock(), 0);
    EXPECT_EQ(StopStageClock(), 0);
}

// The end finds the thread stopped: the stop returns only once the thread has ended. Its end is held
// until the main thread sleeps, so a stop that let the thread go on alone would return before it.
TEST_F(ClockTest, StopReturnsOnceTheThreadHasEnded)
{
    ASSERT_EQ(StartStageClock(), 0);
    ASSERT_TRUE(AwaitOtherThreadPumps(1));  // it has called a fake: its end is counted
    gFake->holdOtherEnds = true;
    EXPECT_EQ(StopStageClock(), 0);
    EXPECT_EQ(gFake->heldEnds, 1);
    gFake->holdOtherEnds = false;
    ASSERT_TRUE(AwaitOtherThreadEnds(1));
}

TEST_F(ClockTest, ThreadEndsWhenThePumpReportsTheEnd)
{
    gGame->inStage = 1;
    gGame->timeLeft = 100;
    gFake->pumpsUntilEnd = 1;  // the thread's first pump goes on, the second reports the end
    ASSERT_EQ(StartStageClock(), 0);
    ASSERT_TRUE(AwaitOtherThreadPumps(1));
    ASSERT_TRUE(AwaitOtherThreadTimeRead());
    gFake->now += 1000;
    ASSERT_TRUE(AwaitOtherThreadEnds(1));  // by itself: no stop was asked
    EXPECT_EQ(gGame->timeLeft, 99);
    EXPECT_EQ(GetStageClockSeconds(), 1u);
    EXPECT_EQ(StopStageClock(), 0);
}

// The clock thread's pump, told to the test: a byte on the pipe as it goes in (the handshake), a line
// when it leaves with the end.
static int gInPump[2];

static int PumpAndTell(void)
{
    if (write(gInPump[1], "p", 1) != 1) return -1;
    int end = PumpMessages();
    if (end != 0) fprintf(stderr, "the clock thread left the pump\n");
    return end;
}

// An exit while the clock thread waits in the library's pump for the focus: the exit requests the
// library's end, so the thread leaves the pump and is joined before the process ends.
TEST(ClockExitDeathTest, AnExitWhileTheClockWaitsForTheFocusJoinsIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(60);  // an exit that waits for ever for the thread fails the test instead
            if (pipe(gInPump) != 0 || InitLibrary() != 0) std::exit(2);
            gSystem.active = 0;  // the window lost the focus: the pump keeps other threads waiting
            GameServices services = {};
            services.pumpMessages = PumpAndTell;
            SetGameServices(&services);
            StartStageClock();
            char c;
            if (read(gInPump[0], &c, 1) != 1) std::exit(4);
            std::exit(3);
        },
        ::testing::ExitedWithCode(3), "the clock thread left the pump");
}

// A library that ends the process with exit() (Xlib on a lost display does) while the clock runs: the
// process ends with that status, not with an abort for a joinable thread.
TEST(ClockExitDeathTest, AnExitWhileTheClockRunsIsNoAbort)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            StartStageClock();  // on the library's services: its pump reports the end at once
            std::exit(1);
        },
        ::testing::ExitedWithCode(1), "");
}
