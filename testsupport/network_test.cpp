// Test hooks of the network module: smaller limits per run, so a limit shows with little data.
#include <atomic>

#include "lib/network/network_internal.h"
#include "testsupport/test_hooks.h"

static std::atomic<int32_t> sReceiveBudget, sPiecesPerStep;  // 0: the module's own

static int32_t ReceiveBudget(void) { return sReceiveBudget.load(); }
static int32_t PiecesPerStep(void) { return sPiecesPerStep.load(); }

// Installs the table while a limit is set.
static void Install(void)
{
    static const NetWorkHookTable kHooks = {ReceiveBudget, PiecesPerStep};
    SetNetWorkHookTable(sReceiveBudget.load() > 0 || sPiecesPerStep.load() > 0 ? &kHooks : nullptr);
}

void NetTestSetReceiveBudget(int32_t bytes)
{
    sReceiveBudget.store(bytes > 0 ? bytes : 0);
    Install();
}

void NetTestSetHttpPiecesPerStep(int32_t pieces)
{
    sPiecesPerStep.store(pieces > 0 ? pieces : 0);
    Install();
}
