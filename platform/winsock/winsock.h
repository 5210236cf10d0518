// Stand-in for the socket calls the library makes (WinSock 1.1 shaped), over BSD sockets: TCP over
// IPv4, every socket non-blocking, notices posted to a window as one message per event until the
// event is armed again. Names carry the Ws prefix.
//
// Socket values come from a counter: never 0 and never reused in a run, so a notice that names a dead
// socket can never be taken for a newer one. Notices are found by WsPollEvents, which the caller runs
// once per outermost pump; nothing is posted anywhere else. Not thread-safe: one thread uses it.
#pragma once
#include <cstdint>

#include "platform/window/window.h"

typedef uintptr_t WsSocket;
#define WS_INVALID_SOCKET ((WsSocket)~(uintptr_t)0)
#define WS_SOCKET_ERROR (-1)
#define WS_MAX_SOCKETS 1024

// Events of WsAsyncSelect; the notice's lParam is event | (error << 16), its wParam the socket.
enum : uint32_t { WS_FD_READ = 1, WS_FD_WRITE = 2, WS_FD_ACCEPT = 8, WS_FD_CONNECT = 16, WS_FD_CLOSE = 32 };
enum : int { WS_MSG_PEEK = 2 };
enum : int { WS_SOL_SOCKET = 0xFFFF, WS_SO_RCVBUF = 0x1002 };

// Error numbers as the calls they stand for report them.
enum : int {
    WS_WSAEINTR = 10004,
    WS_WSAEBADF = 10009,
    WS_WSAEINVAL = 10022,
    WS_WSAEMFILE = 10024,
    WS_WSAEWOULDBLOCK = 10035,
    WS_WSAENOTSOCK = 10038,
    WS_WSAEOPNOTSUPP = 10045,
    WS_WSAEADDRINUSE = 10048,
    WS_WSAEADDRNOTAVAIL = 10049,
    WS_WSAENETUNREACH = 10051,
    WS_WSAECONNABORTED = 10053,
    WS_WSAECONNRESET = 10054,
    WS_WSAENOBUFS = 10055,
    WS_WSAENOTCONN = 10057,
    WS_WSAESHUTDOWN = 10058,
    WS_WSAETIMEDOUT = 10060,
    WS_WSAECONNREFUSED = 10061,
    WS_WSAEHOSTUNREACH = 10065,
    WS_WSANOTINITIALISED = 10093,
    WS_WSAHOST_NOT_FOUND = 11001,
};

// The 16-byte IPv4 address record: family 2, port and address in network order.
struct WsSockAddrIn {
    uint16_t family;
    uint16_t port;       // network order
    uint8_t address[4];  // network order
    uint8_t zero[8];
};
static_assert(sizeof(WsSockAddrIn) == 16, "the address record is 16 bytes");
#define WS_AF_INET 2

// ---- start and end ------------------------------------------------------------------------------
int WsStartup(void);   // counted; 0
// Undoes one WsStartup; the last one closes every socket still open. 0, or -1 when not started.
int WsCleanup(void);
int WsGetLastError(void);  // per thread
void WsSetLastError(int error);

// ---- sockets ------------------------------------------------------------------------------------
// A new non-blocking TCP socket, or WS_INVALID_SOCKET.
WsSocket WsCreateSocket(void);
int WsBind(WsSocket s, const WsSockAddrIn *address);  // 0 / WS_SOCKET_ERROR (also below)
int WsListen(WsSocket s, int backlog);
// Starts a connection; WS_SOCKET_ERROR with WS_WSAEWOULDBLOCK while under way, WS_FD_CONNECT tells
// the outcome. 0 never: even a loopback connect that completes at once is reported by the notice.
int WsConnect(WsSocket s, const WsSockAddrIn *address);
int WsGetSockName(WsSocket s, WsSockAddrIn *address);
// Takes a pending connection (non-blocking); arms WS_FD_ACCEPT again. The new socket inherits the
// listener's window, message and events. *length must be at least 16 and becomes 16.
WsSocket WsAccept(WsSocket s, WsSockAddrIn *address, int *length);
// Count, 0 on an orderly close with nothing left, or WS_SOCKET_ERROR. Every call arms WS_FD_READ
// again, peeking or not, failing or not. A negative length is WS_WSAEINVAL.
int WsRecv(WsSocket s, void *buffer, int length, int flags);
// Ours: a receive into several buffers at once, filled in order (WinSock 2's buffer arrays), as WsRecv
// does into one; at most WS_MAX_PIECES. One large receive costs the system less than several small ones.
struct WsBuffer {
    int length;
    void *data;
};
#define WS_MAX_PIECES 128
int WsRecvPieces(WsSocket s, const WsBuffer *pieces, int count);
// Ours: copies up to length bytes that stand offset bytes into what the socket holds, leaving every
// byte in the socket. The count (less than length, 0 included, where what has come ends sooner), or
// WS_SOCKET_ERROR: WS_WSAEWOULDBLOCK when nothing stands there yet, WS_WSAEOPNOTSUPP where the system
// cannot look past the start (older Linux kernels). Arms WS_FD_READ again, as WsRecv does.
int WsPeekAhead(WsSocket s, int offset, void *buffer, int length);
// Count (possibly short), or WS_SOCKET_ERROR. A would-block or a short send arms WS_FD_WRITE.
int WsSend(WsSocket s, const void *buffer, int length, int flags);
// Socket options: SO_RCVBUF at SOL_SOCKET, as an int. The system may hold a size other than the one
// asked for (Linux doubles it, and caps it at net.core.rmem_max); getting it tells what it holds.
// 0 / WS_SOCKET_ERROR.
int WsSetSockOpt(WsSocket s, int level, int name, const void *value, int length);
int WsGetSockOpt(WsSocket s, int level, int name, void *value, int *length);
// Closes the socket and drops its notices still queued. 0 / WS_SOCKET_ERROR (unknown socket).
int WsCloseSocket(WsSocket s);
// Registers the window, message and events; whatever already holds is posted at the next poll.
// Mask 0 cancels and drops the queued notices. 0 / WS_SOCKET_ERROR.
int WsAsyncSelect(WsSocket s, WHandle window, uint32_t message, uint32_t events);

// ---- addresses ----------------------------------------------------------------------------------
// Dotted IPv4 text, or a host name resolved to IPv4. 0 / -1 (last error set).
int WsResolveHost(const char *host, uint8_t address[4]);
// A filled address record for an IPv4 address and a host-order port.
WsSockAddrIn WsMakeAddress(const uint8_t address[4], int port);

// ---- notices ------------------------------------------------------------------------------------
// One poll over the registered sockets; posts what is armed and holds. The number posted.
int WsPollEvents(void);
// Waits at most microseconds (real time) until the socket can be read (forWrite 0) or written, or has
// failed. 1 ready, 0 not.
int WsWaitSocket(WsSocket s, int forWrite, int microseconds);

// ---- test seams ---------------------------------------------------------------------------------
// Per socket: at most maxSend / maxRecv bytes per call (0 = no limit) and forced would-blocks.
struct WsSocketLimits {
    int maxSend, maxRecv;
    int blockSend, blockRecv;
};
int WsSetSocketLimits(WsSocket s, const WsSocketLimits *limits);  // 0 / -1
int WsGetOpenSocketCount(void);
// What the record hook (platform/kernel/standin_hooks.h) is handed for each receive that took bytes
// (peeks aside).
struct WsReceiveRecord {
    WsSocket socket;
    int bytes;
};
// The calls a test may make fail through the fault hook.
enum WsFaultKind {
    WS_FAULT_PEEK_AHEAD,  // WsPeekAhead answers as a system that cannot look past the start
};
