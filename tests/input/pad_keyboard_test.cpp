// Keyboard and pad queries, fed through the same SDL events a user makes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/input/input.h"
#include "testsupport/window/window_test.h"
#include "tests/support/stepped_clock.h"
#include "tests/support/test_temp_dir.h"
#include "tests/support/waiting_hand.h"

namespace {

class Input : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("DAZAR_SINGLE_INSTANCE", "0", 1);
        ASSERT_EQ(EnterFreshTempDir(), 0);
        ASSERT_EQ(InitLibrary(), 0);
    }
    void TearDown() override
    {
        for (int pad : pads) WTestDetachPad(pad);
        EndLibrary();
        RemoveSteppedClock();
        LeaveFreshTempDir();
    }
    void Key(int dik, int down)
    {
        ASSERT_EQ(WTestPushKey(dik, down), 0);
        ASSERT_EQ(PumpMessages(), 0);
    }
    // A virtual pad that has arrived in the next free slot.
    int AttachPad(int buttons)
    {
        int pad = WTestAttachPad(buttons);
        if (pad >= 0) pads.push_back(pad);
        PumpMessages();
        return pad;
    }
    std::vector<int> pads;
};

TEST_F(Input, ZGivesButtonOneOfPadOneOnlyWhenTheKeyboardIsMerged)
{
    Key(KEY_INPUT_Z, 1);
    EXPECT_EQ(QueryKeyDown(KEY_INPUT_Z), 1);
    EXPECT_EQ(QueryPadBits(0x1001), 16);
    EXPECT_EQ(QueryPadBits(1), 0);   // without the merge
    EXPECT_EQ(QueryPadBits(2), 0);   // other pads never see the keyboard
    Key(KEY_INPUT_Z, 0);
    EXPECT_EQ(QueryPadBits(0x1001), 0);
    EXPECT_EQ(QueryKeyDown(KEY_INPUT_Z), 0);
}

TEST_F(Input, EveryMappedKeyGivesItsBit)
{
    const struct { int key, bits; } map[] = {
        {KEY_INPUT_DOWN, 1}, {KEY_INPUT_NUMPAD2, 1}, {KEY_INPUT_LEFT, 2}, {KEY_INPUT_NUMPAD4, 2},
        {KEY_INPUT_RIGHT, 4}, {KEY_INPUT_NUMPAD6, 4}, {KEY_INPUT_UP, 8}, {KEY_INPUT_NUMPAD8, 8},
        {KEY_INPUT_Z, 16}, {KEY_INPUT_X, 32}, {KEY_INPUT_C, 64}, {KEY_INPUT_A, 128}, {KEY_INPUT_S, 256},
        {KEY_INPUT_D, 512}, {KEY_INPUT_Q, 1024}, {KEY_INPUT_W, 2048}, {KEY_INPUT_ESCAPE, 4096},
        {KEY_INPUT_SPACE, 8192},
    };
    for (const auto &entry : map) {
        Key(entry.key, 1);
        EXPECT_EQ(QueryPadBits(0x1001), entry.bits) << "key " << entry.key;
        Key(entry.key, 0);
    }
    Key(KEY_INPUT_UP, 1);
    Key(KEY_INPUT_SPACE, 1);
    Key(0x2F, 1);  // V is not mapped
    EXPECT_EQ(QueryPadBits(0x1001), 8 | 8192);
    EXPECT_EQ(QueryKeyDown(0x2F), 1);
}

TEST_F(Input, FocusLossReleasesHeldKeys)
{
    SetRunWhileInactive(1);
    Key(KEY_INPUT_ESCAPE, 1);
    EXPECT_EQ(QueryKeyDown(KEY_INPUT_ESCAPE), 1);
    ASSERT_EQ(WTestPushWindowEvent(GetMainWindowHandle(), W_TEST_FOCUS_LOST), 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(QueryKeyDown(KEY_INPUT_ESCAPE), 0);
    SetRunWhileInactive(0);
}

TEST_F(Input, OutOfRangeQueriesAnswerNothing)
{
    Key(KEY_INPUT_Z, 1);
    EXPECT_EQ(QueryPadBits(0), 0);
    EXPECT_EQ(QueryPadBits(0x1000), 0);
    EXPECT_EQ(QueryPadBits(5), 0);
    EXPECT_EQ(QueryPadBits(0x1005), 0);
    EXPECT_EQ(QueryPadBits(-1), 0);
    EXPECT_EQ(QueryKeyDown(-1), 0);
    EXPECT_EQ(QueryKeyDown(256), 0);
}

TEST_F(Input, PadButtonsAndDirectionsGiveTheirBits)
{
    int pad = AttachPad(12);
    if (pad < 0) GTEST_SKIP() << "no virtual joysticks here";
    EXPECT_EQ(QueryPadBits(1), 0);
    ASSERT_EQ(WTestSetPadButton(pad, 0, 1), 0);
    ASSERT_EQ(WTestSetPadButton(pad, 11, 1), 0);
    PumpMessages();
    EXPECT_EQ(QueryPadBits(1), 16 | (16 << 11));
    EXPECT_EQ(QueryPadBits(2), 0);
    ASSERT_EQ(WTestSetPadButton(pad, 0, 0), 0);
    ASSERT_EQ(WTestSetPadButton(pad, 11, 0), 0);
    ASSERT_EQ(WTestSetPadAxis(pad, 0, -32768), 0);
    ASSERT_EQ(WTestSetPadAxis(pad, 1, 32767), 0);
    PumpMessages();
    EXPECT_EQ(QueryPadBits(1), PAD_INPUT_LEFT | PAD_INPUT_DOWN);
    ASSERT_EQ(WTestSetPadAxis(pad, 0, 10000), 0);  // inside the dead half of the travel
    ASSERT_EQ(WTestSetPadAxis(pad, 1, -20000), 0);
    PumpMessages();
    EXPECT_EQ(QueryPadBits(1), PAD_INPUT_UP);
}

TEST_F(Input, PadsFillSlotsInOrderAndLeaveOnUnplug)
{
    int first = AttachPad(4);
    int second = AttachPad(4);
    if (first < 0 || second < 0) GTEST_SKIP() << "no virtual joysticks here";
    ASSERT_EQ(WTestSetPadButton(second, 1, 1), 0);
    PumpMessages();
    EXPECT_EQ(QueryPadBits(2), 32);
    EXPECT_EQ(QueryPadBits(1), 0);
    Key(KEY_INPUT_X, 1);
    EXPECT_EQ(QueryPadBits(0x1002), 32);  // merged into pad 2 when asked for pad 2
    ASSERT_EQ(WTestDetachPad(second), 0);
    pads.pop_back();
    PumpMessages();
    EXPECT_EQ(QueryPadBits(2), 0);
}

TEST_F(Input, WaitForAnyKeyWaitsForReleaseThenPress)
{
    Key(KEY_INPUT_Z, 1);
    InstallSteppedClock(1000000);
    ArmWaitingHand(KEY_INPUT_Z, 3, KEY_INPUT_X);  // Z held through the first two polls
    EXPECT_EQ(WaitForAnyKey(), 0);
    EXPECT_EQ(GetWaitingHandStep(), 2);  // did not take the held Z as the press
    EXPECT_EQ(QueryKeyDown(KEY_INPUT_X), 1);
    DisarmWaitingHand();
}

TEST_F(Input, WaitForAnyKeyReturnsWhenTheWindowCloses)
{
    InstallSteppedClock(1000000);
    SetSteppedSleepHook([](void *, uint64_t sleeps) {
        if (sleeps == 2) WTestPushWindowEvent(GetMainWindowHandle(), W_TEST_CLOSE);
    }, nullptr);
    EXPECT_EQ(WaitForAnyKey(), -1);
}

}  // namespace
