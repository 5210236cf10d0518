// Test hooks of the sound-buffer stand-in and its manual output: faults, refused buffer flags, caps and
// module overrides, buffer inspection, and the hand-stepped mix with its capture.
#include <cstring>
#include <vector>

#include "platform/dsound/audio_internal.h"
#include "platform/dsound/mixer.h"
#include "platform/kernel/standin_hooks.h"
#include "testsupport/standin_fault.h"
#include "testsupport/standin_live.h"
#include "testsupport/test_hooks.h"

// Holds the audio lock for one scope.
struct AudioScopedLock {
    AudioScopedLock() { AudioLock(); }
    ~AudioScopedLock() { AudioUnlock(); }
};

// ---- faults -----------------------------------------------------------------------------------------
#define DS_MAX_REFUSED_FLAGS 8
static StandInFaultTable sFaults;
static struct {
    uint32_t flags[DS_MAX_REFUSED_FLAGS];  // CreateSoundBuffer refuses these exact flags
    int count;
} sRefused;

// The fault hook: 1 when the call is to fail (arg: the buffer flags of CreateSoundBuffer). Lock held.
static int32_t Fault(int kind, int64_t arg)
{
    if (StandInFaultHit(&sFaults, kind)) return 1;
    if (kind != DS_FAULT_CREATE_BUFFER) return 0;
    for (int i = 0; i < sRefused.count; i++)
        if (sRefused.flags[i] == (uint32_t)arg) return 1;
    return 0;
}

void DsTestFailNth(DsFaultKind kind, int nth) { StandInFaultSetNth(&sFaults, kind, nth); }
void DsTestFailAlways(DsFaultKind kind, int on) { StandInFaultSetAlways(&sFaults, kind, on); }

void DsTestRefuseBufferFlags(uint32_t flags)
{
    AudioScopedLock hold;
    if (flags == 0)
        sRefused.count = 0;
    else if (sRefused.count < DS_MAX_REFUSED_FLAGS)
        sRefused.flags[sRefused.count++] = flags;
}

// ---- settings -----------------------------------------------------------------------------------------
void DsTestSetCaps(const DsCaps *caps)
{
    AudioScopedLock hold;
    gDs.capsOverridden = caps != nullptr;
    if (caps) gDs.capsOverride = *caps;
}

void DsTestSetModuleMode(DsModuleMode mode)
{
    static const KModuleExport kNoExports[] = {{nullptr, nullptr}};
    AudioScopedLock hold;
    memcpy(gDsModuleName, "DSOUND.DLL", 11);
    KRegisterModule(gDsModuleName, mode == DS_MODULE_NO_ENUMERATE ? kNoExports : kDsExports);
    gDs.moduleRegistered = 1;
    if (mode == DS_MODULE_MISSING) gDsModuleName[0] = '-';  // no longer found by "DSOUND.DLL"
}

void DsTestResetFaults(void)
{
    DsTestSetModuleMode(DS_MODULE_NORMAL);
    AudioScopedLock hold;
    StandInFaultClear(&sFaults);
    sRefused.count = 0;
    gDs.capsOverridden = 0;
}

// ---- buffers ------------------------------------------------------------------------------------------
int DsTestInspect(DsBuffer *buffer, DsBufferInfo *info)
{
    if (!buffer || !info) return -1;
    AudioScopedLock hold;
    const DsBufferRecord *b = reinterpret_cast<const DsBufferRecord *>(buffer);
    info->flags = b->flags;
    info->format = b->format;
    info->bytes = b->memory ? b->memory->size : 0;
    info->volume = b->volume;
    info->playing = b->playing;
    info->looping = b->looping;
    info->cursor = b->frame * b->format.blockAlign;
    info->memoryId = b->memory ? b->memory->id : 0;
    info->primary = b->primary;
    return 0;
}

// Buffers made minus freed (the object hook).
static StandInLiveTable sLive;

static void CountObject(int kind, int delta) { StandInLiveAdd(&sLive, kind, delta); }

int DsTestLiveBufferCount(void) { return StandInLiveCount(&sLive, 0); }

// ---- the manual output --------------------------------------------------------------------------------
static struct {
    std::vector<uint8_t> capture;  // everything mixed since the last clear
    int autoAdvanceFrames;         // frames stepped per status query
    int inAutoAdvance;             // guards against a status query inside a mix
} sManual;

// 1 while the manual back end is the open output. Lock held.
static int IsManualOpen(void) { return strcmp(AudioGetBackendName(), kAudioBackendManual.reportName) == 0; }

int AudioTestStep(int frames)
{
    AudioScopedLock hold;
    if (!IsManualOpen() || frames < 0) return -1;
    WaveFormat format;
    AudioGetDeviceFormat(&format);
    size_t at = sManual.capture.size();
    sManual.capture.resize(at + (size_t)frames * format.blockAlign);
    AudioMixFrames(sManual.capture.data() + at, frames);
    return 0;
}

const uint8_t *AudioTestCapture(size_t *bytes)
{
    AudioScopedLock hold;
    if (bytes) *bytes = sManual.capture.size();
    return sManual.capture.data();
}

void AudioTestClearCapture(void)
{
    AudioScopedLock hold;
    sManual.capture.clear();
}

void AudioTestSetAutoAdvance(int framesPerStatusQuery)
{
    AudioScopedLock hold;
    sManual.autoAdvanceFrames = framesPerStatusQuery > 0 ? framesPerStatusQuery : 0;
}

// The query hook: a buffer status query steps the manual output first when auto-advance is on.
static void Query(int kind)
{
    AudioScopedLock hold;
    if (kind != DS_QUERY_BUFFER_STATUS || sManual.autoAdvanceFrames <= 0 || sManual.inAutoAdvance) return;
    sManual.inAutoAdvance = 1;
    AudioTestStep(sManual.autoAdvanceFrames);
    sManual.inAutoAdvance = 0;
}

// ---- installed before main, whenever a program links this file --------------------------------------
static const StandInHooks kHooks = {Fault, Query, nullptr, CountObject};
static int InstallHooks(void)
{
    StandInSetHooks(STAND_IN_DSOUND, &kHooks);
    return 0;
}
[[maybe_unused]] static const int sInstalled = InstallHooks();
