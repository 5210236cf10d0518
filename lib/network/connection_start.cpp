// Starting the network (ours: nothing in the game does): the socket window, the listening record,
// outgoing connections and the options.
#include "lib/core/log.h"
#include "lib/network/network_internal.h"

#define NETWORK_WINDOW_CLASS "DaZarNetWorkSocketWindow"
#define LISTEN_BACKLOG 64

// The socket window's procedure: notices to the connections, its end noted, the rest by default.
static intptr_t NetWorkWindowProc(WHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == NETWORK_MESSAGE) return HandleSocketEvent((uint32_t)lParam, wParam);
    if (message == W_WM_DESTROY) {
        gNetWork.windowGone = 1;
        return 0;
    }
    return WDefWindowProc(window, message, wParam, lParam);
}

void EndNetWorkWindow(void)
{
    if (gNetWork.window && WIsWindow(gNetWork.window)) WDestroyWindow(gNetWork.window);
    WUnregisterClass(NETWORK_WINDOW_CLASS);
}

// The receive buffer of a framed socket: what one pass may take, when the system holds that much for a
// socket that asks; else 0, leaving the system its own tuning (Linux caps a set size at
// net.core.rmem_max and stops growing it, where its own tuning may go much further).
static int32_t ProbeReceiveBuffer(void)
{
    WsSocket s = WsCreateSocket();
    if (s == WS_INVALID_SOCKET) return 0;
    int bytes = NETWORK_RECV_BYTES_PER_PASS, held = 0, length = (int)sizeof held;
    int allowed = WsSetSockOpt(s, WS_SOL_SOCKET, WS_SO_RCVBUF, &bytes, (int)sizeof bytes) == 0 &&
                  WsGetSockOpt(s, WS_SOL_SOCKET, WS_SO_RCVBUF, &held, &length) == 0 && held >= bytes;
    WsCloseSocket(s);
    return allowed ? bytes : 0;
}

int StartNetWork(void)
{
    if (gNetWork.initialised) return 0;
    if (WInitSubsystem() != 0) return WriteLog("ネットワーク用ウインドウを作成できませんでした in StartNetWork\n");
    WRegisterClass(NETWORK_WINDOW_CLASS, NetWorkWindowProc);
    WHandle window = WCreateWindow(NETWORK_WINDOW_CLASS, "", 1, 1, W_STYLE_HIDDEN);
    if (!window) {
        WUnregisterClass(NETWORK_WINDOW_CLASS);
        WQuitSubsystem();
        return WriteLog("ネットワーク用ウインドウを作成できませんでした in StartNetWork\n");
    }
    WsStartup();
    gNetWork = NetWorkState{};
    gNetWork.window = window;
    gNetWork.startedWindows = 1;
    gNetWork.head.handle = gNetWork.tail.handle = -1;
    gNetWork.head.next = &gNetWork.tail;
    gNetWork.tail.prev = &gNetWork.head;
    gNetWork.maxMessage = NETWORK_DEFAULT_MAX_MESSAGE;
    gNetWork.recvQueueLimit = NETWORK_DEFAULT_RECV_QUEUE;
    gNetWork.receiveBuffer = ProbeReceiveBuffer();
    gNetWork.initialised = 1;
    return 0;
}

// A new socket registered with the socket window; WS_INVALID_SOCKET (logged) on failure.
static WsSocket OpenRegisteredSocket(uint32_t events, const char *where)
{
    WsSocket s = WsCreateSocket();
    if (s == WS_INVALID_SOCKET) return LogNetWorkError("socketの作成に失敗しました in %s", where), s;
    if (WsAsyncSelect(s, gNetWork.window, NETWORK_MESSAGE, events) != 0) {
        LogNetWorkError("WSAAsyncSelectのエラー in %s", where);
        WsCloseSocket(s);
        return WS_INVALID_SOCKET;
    }
    return s;
}

int ListenNetWork(const uint8_t address[4], int port)
{
    if (!gNetWork.initialised || !address || port < 0 || port > 65535) return -1;
    if (gNetWork.table[NETWORK_LISTEN_SLOT]) return WriteLog("既に接続待ちをしています in ListenNetWork\n");
    WsSocket s = OpenRegisteredSocket(WS_FD_ACCEPT, "ListenNetWork");
    if (s == WS_INVALID_SOCKET) return -1;
    WsSockAddrIn bound = WsMakeAddress(address, port);
    if (WsBind(s, &bound) != 0 || WsListen(s, LISTEN_BACKLOG) != 0) {
        LogNetWorkError("接続待ちの開始に失敗しました in ListenNetWork");
        WsCloseSocket(s);
        return -1;
    }
    NetWorkHandleRecord *record = AddNetWorkRecord(1);
    if (!record) {
        WsCloseSocket(s);
        return WriteLog("ソケット用のメモリの確保に失敗しました\n");
    }
    record->socket = s;
    record->connected = 1;  // never a lost connection: the pump leaves it alone
    record->autoRelease = 0;
    AdvanceNetWorkCheckCounter();
    return 0;
}

int GetNetWorkListenPort(void)
{
    NetWorkHandleRecord *record = gNetWork.initialised ? gNetWork.table[NETWORK_LISTEN_SLOT] : nullptr;
    WsSockAddrIn bound;
    if (!record || WsGetSockName(record->socket, &bound) != 0) return -1;
    return (bound.port >> 8) | ((bound.port & 0xFF) << 8);
}

int OpenNetWorkConnection(const uint8_t address[4], int port, int framed, int autoRelease)
{
    if (!gNetWork.initialised || !address || port <= 0 || port > 65535) return -1;
    NetWorkHandleRecord *record = AddNetWorkRecord(0);
    if (!record) return WriteLog("空きソケットデータがありません in ConnectNetWork\n");
    record->framed = framed;
    record->autoRelease = autoRelease;
    record->socket = OpenRegisteredSocket(NETWORK_EVENTS | WS_FD_CONNECT, "ConnectNetWork");
    if (framed && record->socket != WS_INVALID_SOCKET) SetNetWorkReceiveBuffer(record->socket);
    WsSockAddrIn peer = WsMakeAddress(address, port);
    if (record->socket == WS_INVALID_SOCKET ||
        (WsConnect(record->socket, &peer) != 0 && WsGetLastError() != WS_WSAEWOULDBLOCK)) {
        if (record->socket != WS_INVALID_SOCKET) LogNetWorkError("connectに失敗しました in ConnectNetWork");
        RemoveNetWorkRecord(record);
        return -1;
    }
    for (int i = 0; i < 4; i++) record->peerAddress[i] = address[i];
    record->peerPort = peer.port;
    int handle = record->node.handle;
    AdvanceNetWorkCheckCounter();
    return handle;
}

int ConnectNetWork(const uint8_t address[4], int port)
{
    return OpenNetWorkConnection(address, port, gNetWork.rawOption ? 0 : 1, gNetWork.keepLostOption ? 0 : 1);
}

int GetNetWorkConnectState(int handle)
{
    NetWorkHandleRecord *record = gNetWork.initialised ? LookupNetWorkRecord(handle) : nullptr;
    return record ? record->connectState : -1;
}

int SetNetWorkRawOption(int raw)
{
    gNetWork.rawOption = raw ? 1 : 0;
    return 0;
}

int SetNetWorkKeepLostOption(int keep)
{
    gNetWork.keepLostOption = keep ? 1 : 0;
    return 0;
}

int SetNetWorkMaxMessageSize(int64_t bytes)
{
    if (bytes < 0 || bytes > INT32_MAX - RING_BUFFER_SLACK) return -1;
    gNetWork.maxMessage = bytes;
    return 0;
}

int SetNetWorkRecvQueueLimit(int64_t bytes)
{
    if (bytes <= 0) return -1;
    gNetWork.recvQueueLimit = bytes;
    for (NetWorkHandleRecord *record : gNetWork.table) {
        if (record) ResumeHeldNetWorkReceive(record);
    }
    return 0;
}
