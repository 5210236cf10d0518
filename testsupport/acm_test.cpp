// Test hooks of the sound converter stand-in: faults and open streams.
#include "platform/kernel/standin_hooks.h"
#include "testsupport/standin_fault.h"
#include "testsupport/standin_live.h"
#include "testsupport/test_hooks.h"

static StandInFaultTable sFaults;

// The fault hook: 1 when the call of the kind is to fail now.
static int32_t Fault(int kind, int64_t arg) { return StandInFaultHit(&sFaults, kind); }

void AcmTestFailNth(AcmFaultKind kind, int nth) { StandInFaultSetNth(&sFaults, kind, nth); }
void AcmTestFailAlways(AcmFaultKind kind, int on) { StandInFaultSetAlways(&sFaults, kind, on); }
void AcmTestResetFaults(void) { StandInFaultClear(&sFaults); }

// Streams opened minus closed (the object hook).
static StandInLiveTable sLive;

static void CountObject(int kind, int delta) { StandInLiveAdd(&sLive, kind, delta); }

int AcmTestOpenStreamCount(void) { return StandInLiveCount(&sLive, 0); }

// ---- installed before main, whenever a program links this file --------------------------------------
static const StandInHooks kHooks = {Fault, nullptr, nullptr, CountObject};
static int InstallHooks(void)
{
    StandInSetHooks(STAND_IN_ACM, &kHooks);
    return 0;
}
[[maybe_unused]] static const int sInstalled = InstallHooks();
