// Test hooks of the multimedia-stream stand-in: faults, live objects, its counters and its decoders.
#include "platform/dshow/dshow_internal.h"
#include "platform/kernel/standin_hooks.h"
#include "testsupport/standin_fault.h"
#include "testsupport/test_hooks.h"

static StandInFaultTable sFaults;

// The fault hook: 1 when the call of the kind is to fail now.
static int32_t Fault(int kind, int64_t arg) { return StandInFaultHit(&sFaults, kind); }

void MmTestFailNth(MmFaultKind kind, int nth) { StandInFaultSetNth(&sFaults, kind, nth); }
void MmTestFailAlways(MmFaultKind kind, int on) { StandInFaultSetAlways(&sFaults, kind, on); }
void MmTestResetFaults(void) { StandInFaultClear(&sFaults); }

int MmTestLiveObjectCount(void) { return gMmLiveObjects; }

void MmTestGetCounters(MmTestCounters *out)
{
    std::lock_guard<std::mutex> guard(gMmCountersLock);
    *out = gMmCounters;
}

void MmTestResetCounters(void)
{
    std::lock_guard<std::mutex> guard(gMmCountersLock);
    gMmCounters = MmTestCounters{};
}

// ---- decoders -----------------------------------------------------------------------------------------
void MmTestHoldDecoders(int hold)
{
    std::lock_guard<std::mutex> guard(gMmJobs.lock);
    gMmJobs.held = hold;
    gMmJobs.changed.notify_all();
}

int MmTestWaitForDecoders(void)
{
    std::unique_lock<std::mutex> guard(gMmJobs.lock);
    return gMmJobs.changed.wait_for(guard, std::chrono::seconds(30), [] { return gMmJobs.open == 0; }) ? 0 : -1;
}

// ---- installed before main, whenever a program links this file --------------------------------------
static const StandInHooks kHooks = {Fault, nullptr, nullptr};
static int InstallHooks(void)
{
    StandInSetHooks(STAND_IN_DSHOW, &kHooks);
    return 0;
}
[[maybe_unused]] static const int sInstalled = InstallHooks();
