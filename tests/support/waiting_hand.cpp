// The waiting hand: a stepped-clock sleep hook that acts on what the waiter has already pumped.
#include "tests/support/waiting_hand.h"

#include <atomic>

#include "lib/input/input.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"
#include "testsupport/window/window_test.h"
#include "tests/support/stepped_clock.h"

namespace {

struct Hand {
    int release, press;
    uint64_t releaseAt;
    uint64_t sleeps;  // of the arming thread
    std::atomic<uint32_t> thread;  // other threads sleep on the same clock
    std::atomic<int> step;
};
Hand g_hand;

// What the waiter sees: any key, or any pad's button or direction.
bool NothingDown()
{
    uint8_t keys[256];
    WGetKeyboardState(keys);
    for (uint8_t key : keys) {
        if (key & 0x80) return false;
    }
    for (int pad = 1; pad <= W_MAX_PADS; pad++) {
        if (QueryPadBits(pad)) return false;
    }
    return true;
}

void HandOnSleep(void *, uint64_t)
{
    if (KGetCurrentThreadId() != g_hand.thread) return;
    if (g_hand.step == 0 && ++g_hand.sleeps >= g_hand.releaseAt) {
        if (g_hand.release) WTestPushKey(g_hand.release, 0);
        g_hand.step = 1;
    } else if (g_hand.step == 1 && NothingDown()) {
        WTestPushKey(g_hand.press, 1);
        g_hand.step = 2;
    }
}

}  // namespace

void ArmWaitingHand(int release, uint64_t releaseAt, int press)
{
    SetSteppedSleepHook(nullptr, nullptr);
    g_hand.release = release;
    g_hand.press = press;
    g_hand.releaseAt = releaseAt;
    g_hand.sleeps = 0;
    g_hand.thread = KGetCurrentThreadId();
    g_hand.step = 0;
    SetSteppedSleepHook(HandOnSleep, nullptr);
}

int GetWaitingHandStep(void)
{
    return g_hand.step.load();
}

void DisarmWaitingHand(void)
{
    SetSteppedSleepHook(nullptr, nullptr);
    if (g_hand.step == 2) WTestPushKey(g_hand.press, 0);
}
