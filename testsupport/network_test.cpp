// Test hooks of the network module and the socket stand-in: smaller limits per run, so a limit shows
// with little data, the receives a socket takes and a look ahead refused.
#include <atomic>

#include "lib/network/network_internal.h"
#include "platform/kernel/standin_hooks.h"
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

// ---- receives a socket takes (the record hook) and the look ahead refused (the fault hook) ---------
static std::atomic<WsSocket> sWatched;
static std::atomic<int> sWatchedReceives, sPeekAheadRefused;

static void RecordReceive(const void *entry)
{
    if (((const WsReceiveRecord *)entry)->socket == sWatched.load()) sWatchedReceives++;
}

static int32_t SocketFault(int kind, int64_t) { return kind == WS_FAULT_PEEK_AHEAD && sPeekAheadRefused.load(); }

void NetTestWatchReceives(WsSocket s)
{
    sWatched.store(s);
    sWatchedReceives.store(0);
}

int NetTestWatchedReceives(void) { return sWatchedReceives.load(); }

void NetTestRefusePeekAhead(int refused) { sPeekAheadRefused.store(refused != 0); }

// ---- installed before main, whenever a program links this file --------------------------------------
static const StandInHooks kSocketHooks = {SocketFault, nullptr, RecordReceive, nullptr};
static int InstallHooks(void)
{
    StandInSetHooks(STAND_IN_WINSOCK, &kSocketHooks);
    return 0;
}
[[maybe_unused]] static const int sInstalled = InstallHooks();
