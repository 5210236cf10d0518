// Test hooks of the display-surface stand-in: its call record (the last calls kept in a ring), fault
// injection with the result each fault returns, lost surfaces and live counts.
#include <cstdio>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/kernel/standin_hooks.h"
#include "testsupport/standin_fault.h"
#include "testsupport/standin_live.h"
#include "testsupport/test_hooks.h"

// ---- record -----------------------------------------------------------------------------------------
#define DD_RECORD_KEEP 4096
static struct {
    DdRecordEntry entries[DD_RECORD_KEEP];
    uint32_t count;  // calls since the last clear
} sRecord;

static const char *const kMethodNames[DD_METHOD_COUNT] = {
    "Create", "QueryInterface", "SetCooperativeLevel", "SetDisplayMode", "RestoreDisplayMode", "GetDisplayMode",
    "GetCaps", "CreateSurface", "CreateClipper", "TestCooperativeLevel", "RestoreAllSurfaces", "Release", "Lock",
    "Unlock", "Blt", "BltFast", "SetColorKey", "GetColorKey", "IsLost", "Restore", "AddAttachedSurface",
    "DeleteAttachedSurface", "GetAttachedSurface", "GetDC", "ReleaseDC", "GetSurfaceDesc", "GetPixelFormat", "Flip",
    "SetClipper", "SetPaletteEntries", "SetHWnd", "BitBlt", "TradePixels",
};

const char *DdMethodName(DdMethod method)
{
    return (unsigned)method < DD_METHOD_COUNT ? kMethodNames[method] : "?";
}

// The record hook: keeps the call in the ring.
static void RecordCall(const void *entry)
{
    DdRecordEntry &e = sRecord.entries[sRecord.count % DD_RECORD_KEEP];
    e = *(const DdRecordEntry *)entry;
    e.seq = sRecord.count++;
}

void DdTestClearRecord(void) { sRecord.count = 0; }

int DdTestGetRecord(int i, DdRecordEntry *entry)
{
    uint32_t kept = sRecord.count < DD_RECORD_KEEP ? sRecord.count : DD_RECORD_KEEP;
    if (i < 0 || (uint32_t)i >= kept || !entry) return -1;
    *entry = sRecord.entries[(sRecord.count - kept + (uint32_t)i) % DD_RECORD_KEEP];
    return 0;
}

int DdTestRecordLine(int i, char *text, int size)
{
    static const char *const kKinds[DD_OBJ_KIND_COUNT] = {"dd", "surf", "clip", "dc"};
    DdRecordEntry e;
    if (DdTestGetRecord(i, &e) != 0 || !text || size < 1) return -1;
    snprintf(text, (size_t)size, "%s%u %s %d %d %d %d %d %d -> %d", kKinds[e.kind], e.object, DdMethodName(e.method),
             e.args[0], e.args[1], e.args[2], e.args[3], e.args[4], e.args[5], e.result);
    return 0;
}

int DdTestCountCalls(DdMethod method)
{
    int n = 0;
    DdRecordEntry e;
    for (int i = 0; DdTestGetRecord(i, &e) == 0; i++) n += e.method == method;
    return n;
}

// ---- faults -----------------------------------------------------------------------------------------
static StandInFaultTable sFaults;
static int32_t sResults[DD_METHOD_COUNT];  // what each method's fault returns

// The fault hook: the method's injected result, or DD_OK.
static int32_t TakeFault(int method, int64_t arg)
{
    return (unsigned)method < DD_METHOD_COUNT && StandInFaultHit(&sFaults, method) ? sResults[method] : DD_OK;
}

void DdTestFailNth(DdMethod method, int nth, int32_t result)
{
    if ((unsigned)method >= DD_METHOD_COUNT) return;
    sResults[method] = result;
    StandInFaultSetNth(&sFaults, method, nth);
}

void DdTestFailAlways(DdMethod method, int on, int32_t result)
{
    if ((unsigned)method >= DD_METHOD_COUNT) return;
    sResults[method] = result;
    StandInFaultSetAlways(&sFaults, method, on);
}

void DdTestResetFaults(void)
{
    StandInFaultClear(&sFaults);
    gDd.desktopBits = 16;
}

void DdTestSetDesktopBits(int bits) { gDd.desktopBits = bits == 16 ? 16 : 32; }

// ---- surfaces ---------------------------------------------------------------------------------------
void DdTestLoseAllSurfaces(void)
{
    for (DdSurfaceRecord *r = gDd.surfaces; r; r = r->next) r->lost = 1;
}

// ---- live objects (the object hook) ------------------------------------------------------------------
static StandInLiveTable sLive;

static void CountObject(int kind, int delta) { StandInLiveAdd(&sLive, kind, delta); }

int DdTestLiveCount(DdObjectKind kind) { return StandInLiveCount(&sLive, kind); }

// ---- installed before main, whenever a program links this file --------------------------------------
static const StandInHooks kHooks = {TakeFault, nullptr, RecordCall, CountObject};
static int InstallHooks(void)
{
    StandInSetHooks(STAND_IN_DDRAW, &kHooks);
    return 0;
}
[[maybe_unused]] static const int sInstalled = InstallHooks();
