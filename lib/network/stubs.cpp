// Stand-ins for the network module's library hooks: no connection ever exists.
#include "lib/network/network_hooks.h"

#include "lib/core/log.h"

int PumpNetWorkMessages(int flag) { return 0; }
int StepAllHttpHandles(void) { return 0; }
int DeleteAllHttpHandles(void) { return 0; }
int ShutDownNetWork(void) { return 0; }
// No connection owns the socket: the notice is reported and otherwise ignored.
int HandleSocketEvent(uint32_t eventWord, uintptr_t socket)
{
    WriteLog("通信エラー No.1\n");
    return 0;
}
