// Entry points of the network module that the message pump, the window procedure and library end
// call.
#pragma once
#include <cstdint>

// Releases lost connections (flag 1) and dispatches the socket window's messages. 0.
int PumpNetWorkMessages(int flag);
// Runs one step of every HTTP transfer. 0.
int StepAllHttpHandles(void);
// Deletes every HTTP transfer; first step of library end. 0.
int DeleteAllHttpHandles(void);
// Ends the network: every connection released. 0.
int ShutDownNetWork(void);
// A socket notice (window message 0x505: lParam event word, wParam socket); its result is the
// message's result.
int HandleSocketEvent(uint32_t eventWord, uintptr_t socket);
