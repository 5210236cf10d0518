// The stand-ins' hook table: defaults that let every call through, until the test-support library
// installs its own.
#include "platform/kernel/standin_hooks.h"

#include <atomic>

static int32_t NoFault(int kind, int64_t arg) { return 0; }
static void NoQuery(int kind) {}
static void NoRecord(const void *entry) {}
static void NoCount(int kind, int delta) {}

static const StandInHooks kDefaultHooks = {NoFault, NoQuery, NoRecord, NoCount};

// One table per module; set once before the calls it serves, read from any thread.
static std::atomic<const StandInHooks *> sHooks[STAND_IN_MODULE_COUNT];
static StandInHooks sFilled[STAND_IN_MODULE_COUNT];

void StandInSetHooks(StandInModule module, const StandInHooks *hooks)
{
    if ((unsigned)module >= STAND_IN_MODULE_COUNT) return;
    StandInHooks filled = hooks ? *hooks : kDefaultHooks;
    if (!filled.Fault) filled.Fault = NoFault;
    if (!filled.Query) filled.Query = NoQuery;
    if (!filled.Record) filled.Record = NoRecord;
    if (!filled.CountObject) filled.CountObject = NoCount;
    sFilled[module] = filled;
    sHooks[module].store(&sFilled[module]);
}

// The module's table, the defaults until one is installed.
static const StandInHooks *HooksOf(StandInModule module)
{
    const StandInHooks *hooks = sHooks[module].load(std::memory_order_acquire);
    return hooks ? hooks : &kDefaultHooks;
}

int32_t StandInFault(StandInModule module, int kind, int64_t arg) { return HooksOf(module)->Fault(kind, arg); }
void StandInQuery(StandInModule module, int kind) { HooksOf(module)->Query(kind); }
void StandInRecord(StandInModule module, const void *entry) { HooksOf(module)->Record(entry); }
void StandInCountObject(StandInModule module, int kind, int delta) { HooksOf(module)->CountObject(kind, delta); }
