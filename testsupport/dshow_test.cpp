// Test hooks of the multimedia-stream stand-in: faults, live objects, its counters and its decoders.
#include <atomic>

#include "platform/dshow/dshow_internal.h"
#include "platform/kernel/standin_hooks.h"
#include "testsupport/standin_fault.h"
#include "testsupport/standin_live.h"
#include "testsupport/test_hooks.h"

static StandInFaultTable sFaults;

// The fault hook: 1 when the call of the kind is to fail now.
static int32_t Fault(int kind, int64_t arg) { return StandInFaultHit(&sFaults, kind); }

void MmTestFailNth(MmFaultKind kind, int nth) { StandInFaultSetNth(&sFaults, kind, nth); }
void MmTestFailAlways(MmFaultKind kind, int on) { StandInFaultSetAlways(&sFaults, kind, on); }
void MmTestResetFaults(void) { StandInFaultClear(&sFaults); }

// ---- live objects (the object hook) ------------------------------------------------------------------
static StandInLiveTable sLive;

static void CountObject(int kind, int delta) { StandInLiveAdd(&sLive, kind, delta); }

int MmTestLiveObjectCount(void) { return StandInLiveCount(&sLive, MM_OBJ_OBJECT); }

// ---- counters (the record hook; decoders count from their own threads) -------------------------------
static std::atomic<int> sCounts[MM_COUNT_KIND_COUNT];

static void Count(const void *entry)
{
    const MmCountKind kind = *(const MmCountKind *)entry;
    if ((unsigned)kind < MM_COUNT_KIND_COUNT) sCounts[kind]++;
}

void MmTestGetCounters(MmTestCounters *out)
{
    *out = {sCounts[MM_COUNT_UPDATE], sCounts[MM_COUNT_DECODED], sCounts[MM_COUNT_CONVERTED], sCounts[MM_COUNT_SEEK]};
}

void MmTestResetCounters(void)
{
    for (std::atomic<int> &count : sCounts) count = 0;
}

// ---- decoders -----------------------------------------------------------------------------------------
// The workers ask the query hook before each job and in the middle of each frame; a test holds them
// there instead of guessing how long a decode takes.
static struct {
    std::mutex lock;
    std::condition_variable changed;
    int holdJobs;     // every worker waits before its next job
    int frameHold;    // 0 none, 1 the next frame decoded waits, 2 a worker waits in it
    int everyFrame;   // every frame decoded waits
    int heldEvery;    // workers waiting in a frame for that
} sHold;

// Waits while *hold says so; a forgotten hold ends after a long time rather than never.
static void WaitWhile(std::unique_lock<std::mutex> &guard, const int *hold, int value)
{
    sHold.changed.wait_for(guard, std::chrono::seconds(60), [hold, value] { return *hold != value; });
}

static void Query(int kind)
{
    std::unique_lock<std::mutex> guard(sHold.lock);
    if (kind == MM_QUERY_DECODER_JOB && sHold.holdJobs) WaitWhile(guard, &sHold.holdJobs, 1);
    if (kind == MM_QUERY_DECODER_FRAME && sHold.everyFrame) {
        sHold.heldEvery++;
        sHold.changed.notify_all();
        WaitWhile(guard, &sHold.everyFrame, 1);
        sHold.heldEvery--;
    }
    if (kind != MM_QUERY_DECODER_FRAME || sHold.frameHold != 1) return;
    sHold.frameHold = 2;
    sHold.changed.notify_all();
    WaitWhile(guard, &sHold.frameHold, 2);
    // A hold set again meanwhile is for the next frame.
    if (sHold.frameHold == 2) sHold.frameHold = 0;
    sHold.changed.notify_all();
}

// Sets a hold and wakes whoever waits on it.
static void SetHold(int *hold, int value)
{
    std::lock_guard<std::mutex> guard(sHold.lock);
    *hold = value;
    sHold.changed.notify_all();
}

void MmTestHoldDecoders(int hold) { SetHold(&sHold.holdJobs, hold); }
void MmTestHoldNextFrame(void) { SetHold(&sHold.frameHold, 1); }
void MmTestHoldEveryFrame(int hold) { SetHold(&sHold.everyFrame, hold); }
void MmTestReleaseHeldFrame(void) { SetHold(&sHold.frameHold, 0); }

int MmTestWaitForHeldFrame(void)
{
    std::unique_lock<std::mutex> guard(sHold.lock);
    auto held = [] { return sHold.frameHold == 2 || sHold.heldEvery > 0; };
    return sHold.changed.wait_for(guard, std::chrono::seconds(30), held) ? 0 : -1;
}

int MmTestFrameHeld(void)
{
    std::lock_guard<std::mutex> guard(sHold.lock);
    return sHold.frameHold == 2;
}

// Codecs held and decoders running are counted by the object hook; a worker's end is counted under
// the decoders' lock before the wait below is woken.
int MmTestDecodersHoldingACodec(void) { return StandInLiveCount(&sLive, MM_OBJ_CODEC); }

// Waits on the decoders until done says so. 0, -1 after a long time.
template <typename Done>
static int WaitOnDecoders(Done done)
{
    std::unique_lock<std::mutex> guard(gMmDecoders.lock);
    return gMmDecoders.changed.wait_for(guard, std::chrono::seconds(30), done) ? 0 : -1;
}

int MmTestWaitForDecoders(void) { return WaitOnDecoders([] { return MmDecodersIdle() != 0; }); }
int MmTestWaitForRunningDecoders(int most) { return WaitOnDecoders([most] { return StandInLiveCount(&sLive, MM_OBJ_DECODER) <= most; }); }

// ---- installed before main, whenever a program links this file --------------------------------------
static const StandInHooks kHooks = {Fault, Query, Count, CountObject};
static int InstallHooks(void)
{
    StandInSetHooks(STAND_IN_DSHOW, &kHooks);
    return 0;
}
[[maybe_unused]] static const int sInstalled = InstallHooks();
