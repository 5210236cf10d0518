// Test hooks of the MIDI sequencer stand-in: faults, the reported port and open devices.
#include "platform/dsound/mixer.h"
#include "platform/kernel/standin_hooks.h"
#include "platform/mci/mci_internal.h"
#include "testsupport/standin_fault.h"
#include "testsupport/test_hooks.h"

static StandInFaultTable sFaults;

// The fault hook: 1 when the call of the kind is to fail now.
static int32_t Fault(int kind, int64_t arg) { return StandInFaultHit(&sFaults, kind); }

void MciTestFailNth(MciFaultKind kind, int nth) { StandInFaultSetNth(&sFaults, kind, nth); }

void MciTestResetFaults(void)
{
    StandInFaultClear(&sFaults);
    MciTestSetPort(MCI_SEQ_MAPPER);
}

// The sequencer's record is the audio lock's.
void MciTestSetPort(uint32_t port)
{
    AudioLock();
    gMci.port = port;
    AudioUnlock();
}

int MciTestOpenDeviceCount(void)
{
    AudioLock();
    int count = gMci.openCount;
    AudioUnlock();
    return count;
}

// ---- installed before main, whenever a program links this file --------------------------------------
static const StandInHooks kHooks = {Fault, nullptr, nullptr};
static int InstallHooks(void)
{
    StandInSetHooks(STAND_IN_MCI, &kHooks);
    return 0;
}
[[maybe_unused]] static const int sInstalled = InstallHooks();
