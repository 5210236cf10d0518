// Socket stand-in over BSD sockets: a table of sockets with their registrations and armed events, and
// the poll that turns what holds into posted notices.
#include "platform/winsock/winsock.h"

#include "platform/kernel/standin_hooks.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

// Armed events: one notice each until the call that re-arms it.
enum : uint32_t { ARM_READ = 1, ARM_WRITE = 2, ARM_ACCEPT = 8, ARM_CONNECT = 16, ARM_CLOSE = 32 };

struct WsEntry {
    int used;
    int fd;
    uint32_t serial;        // part of the socket value, never repeated
    WHandle window;         // registration: window, message, events (0 = none)
    uint32_t message;
    uint32_t events;
    int listening;          // after WsListen
    int connecting;         // WsConnect under way
    uint32_t armed;         // ARM_ bits
    int resetSeen;          // a receive or send already took the reset: the close notice still carries it
    int connectError;       // the connect's failure, once read (reading it clears it from the socket)
    int peekingAhead;       // SO_PEEK_OFF is left set by WsPeekAhead: other peeks clear it first
    WsSocketLimits limits;  // test seams
};

static struct {
    int startCount;                 // WsStartup calls not yet undone
    uint32_t nextSerial;            // serial of the next socket
    int openCount;                  // sockets in the table
    WsEntry entries[WS_MAX_SOCKETS];
    int noPeekOffset;               // the system cannot peek past the start of a TCP socket's data
} sWs;

static thread_local int tLastError;

#define WS_SLOT_BITS 10  // WS_MAX_SOCKETS = 1 << WS_SLOT_BITS

int WsGetLastError(void) { return tLastError; }
void WsSetLastError(int error) { tLastError = error; }

// The error number a failing call reports for errno.
static int MapErrno(int error)
{
    switch (error) {
    case EWOULDBLOCK:
    case EINPROGRESS:
    case EALREADY: return WS_WSAEWOULDBLOCK;
    case ECONNRESET: return WS_WSAECONNRESET;
    case ECONNABORTED: return WS_WSAECONNABORTED;
    case ECONNREFUSED: return WS_WSAECONNREFUSED;
    case ETIMEDOUT: return WS_WSAETIMEDOUT;
    case ENOTCONN: return WS_WSAENOTCONN;
    case EPIPE: return WS_WSAESHUTDOWN;
    case EBADF: return WS_WSAENOTSOCK;
    case EINVAL: return WS_WSAEINVAL;
    case EADDRINUSE: return WS_WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WS_WSAEADDRNOTAVAIL;
    case ENETUNREACH: return WS_WSAENETUNREACH;
    case EHOSTUNREACH: return WS_WSAEHOSTUNREACH;
    case EMFILE:
    case ENFILE: return WS_WSAEMFILE;
    case ENOBUFS:
    case ENOMEM: return WS_WSAENOBUFS;
    case EINTR: return WS_WSAEINTR;
    default: return WS_WSAEINVAL;
    }
}

// Sets the last error; WS_SOCKET_ERROR, so a failing path can return it.
static int Fail(int error)
{
    tLastError = error;
    return WS_SOCKET_ERROR;
}

static WsSocket ValueOf(const WsEntry *entry)
{
    return ((WsSocket)entry->serial << WS_SLOT_BITS) | (WsSocket)(entry - sWs.entries);
}

// The entry of a live socket value, or null (last error set).
static WsEntry *Lookup(WsSocket s)
{
    if (sWs.startCount <= 0) return tLastError = WS_WSANOTINITIALISED, nullptr;
    WsEntry *entry = &sWs.entries[s & (WS_MAX_SOCKETS - 1)];
    if (s == 0 || s == WS_INVALID_SOCKET || !entry->used || ValueOf(entry) != s) {
        return tLastError = WS_WSAENOTSOCK, nullptr;
    }
    return entry;
}

// Puts an fd into a free entry; its socket value, or WS_INVALID_SOCKET (the fd is closed).
static WsSocket AddEntry(int fd)
{
    for (WsEntry &entry : sWs.entries) {
        if (entry.used) continue;
        entry = WsEntry{};
        entry.used = 1;
        entry.fd = fd;
        entry.serial = ++sWs.nextSerial;
        sWs.openCount++;
        return ValueOf(&entry);
    }
    close(fd);
    Fail(WS_WSAEMFILE);
    return WS_INVALID_SOCKET;
}

// Closes an entry's fd and drops its queued notices.
static void DropEntry(WsEntry *entry)
{
    if (entry->window) WPurgeMessages(entry->window, entry->message, ValueOf(entry));
    close(entry->fd);
    *entry = WsEntry{};
    sWs.openCount--;
}

// Linux's address record of ours.
static sockaddr_in ToSockaddr(const WsSockAddrIn *address)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = address->port;
    memcpy(&in.sin_addr, address->address, 4);
    return in;
}

static void FromSockaddr(const sockaddr_in &in, WsSockAddrIn *address)
{
    *address = WsSockAddrIn{};
    address->family = WS_AF_INET;
    address->port = in.sin_port;
    memcpy(address->address, &in.sin_addr, 4);
}

// ================================================================================================
// start and end
// ================================================================================================

int WsStartup(void)
{
    sWs.startCount++;
    return 0;
}

int WsCleanup(void)
{
    if (sWs.startCount <= 0) return Fail(WS_WSANOTINITIALISED);
    if (--sWs.startCount > 0) return 0;
    for (WsEntry &entry : sWs.entries) {
        if (entry.used) DropEntry(&entry);
    }
    return 0;
}

// ================================================================================================
// sockets
// ================================================================================================

WsSocket WsCreateSocket(void)
{
    if (sWs.startCount <= 0) return Fail(WS_WSANOTINITIALISED), WS_INVALID_SOCKET;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail(MapErrno(errno)), WS_INVALID_SOCKET;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    return AddEntry(fd);
}

int WsBind(WsSocket s, const WsSockAddrIn *address)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    if (!address) return Fail(WS_WSAEINVAL);
    sockaddr_in in = ToSockaddr(address);
    if (bind(entry->fd, (const sockaddr *)&in, sizeof in) != 0) return Fail(MapErrno(errno));
    return 0;
}

int WsListen(WsSocket s, int backlog)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    if (listen(entry->fd, backlog) != 0) return Fail(MapErrno(errno));
    entry->listening = 1;
    entry->armed |= ARM_ACCEPT;
    return 0;
}

int WsConnect(WsSocket s, const WsSockAddrIn *address)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    if (!address) return Fail(WS_WSAEINVAL);
    sockaddr_in in = ToSockaddr(address);
    int result;
    do {
        result = connect(entry->fd, (const sockaddr *)&in, sizeof in);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno != EINPROGRESS) return Fail(MapErrno(errno));
    // Done or under way: the poll reports the outcome as FD_CONNECT either way.
    entry->connecting = 1;
    entry->armed |= ARM_CONNECT;
    return Fail(WS_WSAEWOULDBLOCK);
}

int WsGetSockName(WsSocket s, WsSockAddrIn *address)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    sockaddr_in in{};
    socklen_t length = sizeof in;
    if (!address || getsockname(entry->fd, (sockaddr *)&in, &length) != 0) return Fail(WS_WSAEINVAL);
    FromSockaddr(in, address);
    return 0;
}

WsSocket WsAccept(WsSocket s, WsSockAddrIn *address, int *length)
{
    WsEntry *listener = Lookup(s);
    if (!listener) return WS_INVALID_SOCKET;
    listener->armed |= ARM_ACCEPT;  // re-armed by every call
    if ((address && (!length || *length < (int)sizeof(WsSockAddrIn)))) return Fail(WS_WSAEINVAL), WS_INVALID_SOCKET;
    sockaddr_in in{};
    socklen_t inLength = sizeof in;
    int fd;
    do {
        fd = accept4(listener->fd, (sockaddr *)&in, &inLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Fail(MapErrno(errno)), WS_INVALID_SOCKET;
    WHandle window = listener->window;
    uint32_t message = listener->message, events = listener->events;
    WsSocket value = AddEntry(fd);  // may move nothing: entries are fixed, but re-read the listener
    if (value == WS_INVALID_SOCKET) return value;
    WsEntry *entry = &sWs.entries[value & (WS_MAX_SOCKETS - 1)];
    entry->window = window;
    entry->message = message;
    entry->events = events;
    entry->armed = ARM_READ | ARM_WRITE | ARM_CLOSE;
    if (address) {
        FromSockaddr(in, address);
        *length = (int)sizeof(WsSockAddrIn);
    }
    return value;
}

// 1 when a caller's buffer is unusable: a negative length, or none where bytes are asked for.
static int IsBadBuffer(const void *data, int length) { return length < 0 || (!data && length > 0); }

// A peek that looks at the start: the offset WsPeekAhead left is cleared first.
static void PeekFromStart(WsEntry *entry)
{
    if (!entry->peekingAhead) return;
    int off = -1;
    setsockopt(entry->fd, SOL_SOCKET, SO_PEEK_OFF, &off, sizeof off);
    entry->peekingAhead = 0;
}

// Receives into the pieces in order (non-blocking) with the Linux flags, honouring the test limits:
// the count, or WS_SOCKET_ERROR. A reset found is kept for the close notice.
static int ReceiveInto(WsEntry *entry, iovec *pieces, int count, int linuxFlags)
{
    if (entry->limits.blockRecv) return Fail(WS_WSAEWOULDBLOCK);
    size_t room = entry->limits.maxRecv > 0 ? (size_t)entry->limits.maxRecv : SIZE_MAX;
    int used = 0;
    for (; used < count && room > 0; used++) {
        if (pieces[used].iov_len > room) pieces[used].iov_len = room;
        room -= pieces[used].iov_len;
    }
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = (size_t)used;
    ssize_t got;
    do {
        got = recvmsg(entry->fd, &message, linuxFlags | MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        if (errno == ECONNRESET) entry->resetSeen = 1;
        return Fail(MapErrno(errno));
    }
    if (got > 0 && !(linuxFlags & MSG_PEEK)) {
        WsReceiveRecord record{ValueOf(entry), (int)got};
        StandInRecord(STAND_IN_WINSOCK, &record);
    }
    return (int)got;
}

int WsRecv(WsSocket s, void *buffer, int length, int flags)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    entry->armed |= ARM_READ;
    if (IsBadBuffer(buffer, length)) return Fail(WS_WSAEINVAL);
    iovec piece{buffer, (size_t)length};
    if (flags & WS_MSG_PEEK) PeekFromStart(entry);
    return ReceiveInto(entry, &piece, 1, (flags & WS_MSG_PEEK) ? MSG_PEEK : 0);
}

int WsRecvPieces(WsSocket s, const WsBuffer *pieces, int count)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    entry->armed |= ARM_READ;
    if (count < 0 || count > WS_MAX_PIECES || (count > 0 && !pieces)) return Fail(WS_WSAEINVAL);
    iovec vector[WS_MAX_PIECES];
    for (int i = 0; i < count; i++) {
        if (IsBadBuffer(pieces[i].data, pieces[i].length)) return Fail(WS_WSAEINVAL);
        vector[i] = iovec{pieces[i].data, (size_t)pieces[i].length};
    }
    return ReceiveInto(entry, vector, count, 0);
}

int WsPeekAhead(WsSocket s, int offset, void *buffer, int length)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    entry->armed |= ARM_READ;
    if (offset < 0 || IsBadBuffer(buffer, length)) return Fail(WS_WSAEINVAL);
    if (sWs.noPeekOffset || StandInFault(STAND_IN_WINSOCK, WS_FAULT_PEEK_AHEAD, 0)) return Fail(WS_WSAEOPNOTSUPP);
    // Left set (the next look ahead sets its own), so a look costs two calls.
    if (setsockopt(entry->fd, SOL_SOCKET, SO_PEEK_OFF, &offset, sizeof offset) != 0) {
        sWs.noPeekOffset = errno == EOPNOTSUPP || errno == ENOPROTOOPT;
        return Fail(sWs.noPeekOffset ? WS_WSAEOPNOTSUPP : MapErrno(errno));
    }
    entry->peekingAhead = 1;
    iovec piece{buffer, (size_t)length};
    return ReceiveInto(entry, &piece, 1, MSG_PEEK);
}

int WsSend(WsSocket s, const void *buffer, int length, int flags)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    if (IsBadBuffer(buffer, length)) return Fail(WS_WSAEINVAL);
    if (entry->limits.blockSend) {
        entry->armed |= ARM_WRITE;
        return Fail(WS_WSAEWOULDBLOCK);
    }
    int wanted = length;
    if (entry->limits.maxSend > 0 && length > entry->limits.maxSend) length = entry->limits.maxSend;
    ssize_t sent;
    do {
        sent = send(entry->fd, buffer, (size_t)length, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) entry->armed |= ARM_WRITE;
        if (errno == ECONNRESET) entry->resetSeen = 1;  // told once: the close notice must still carry it
        return Fail(MapErrno(errno));
    }
    // A short send also waits for FD_WRITE: the caller returns and resumes on that notice.
    if (sent < wanted) entry->armed |= ARM_WRITE;
    return (int)sent;
}

int WsCloseSocket(WsSocket s)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    DropEntry(entry);
    return 0;
}

int WsAsyncSelect(WsSocket s, WHandle window, uint32_t message, uint32_t events)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    if (entry->window) WPurgeMessages(entry->window, entry->message, s);
    if (events == 0) {
        entry->window = 0;
        entry->message = 0;
        entry->events = 0;
        return 0;
    }
    if (!WIsWindow(window)) return Fail(WS_WSAEINVAL);
    entry->window = window;
    entry->message = message;
    entry->events = events;
    // Whatever already holds is reported: arm everything that is not a one-time outcome yet to come.
    entry->armed |= ARM_READ | ARM_WRITE | ARM_ACCEPT | ARM_CLOSE;
    return 0;
}

// 1 when the option is one the stand-in knows.
static int KnownOption(int level, int name) { return level == WS_SOL_SOCKET && name == WS_SO_RCVBUF; }

int WsSetSockOpt(WsSocket s, int level, int name, const void *value, int length)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    if (!KnownOption(level, name) || !value || length != (int)sizeof(int)) return Fail(WS_WSAEINVAL);
    if (setsockopt(entry->fd, SOL_SOCKET, SO_RCVBUF, value, sizeof(int)) != 0) return Fail(MapErrno(errno));
    return 0;
}

int WsGetSockOpt(WsSocket s, int level, int name, void *value, int *length)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return WS_SOCKET_ERROR;
    if (!KnownOption(level, name) || !value || !length || *length < (int)sizeof(int)) return Fail(WS_WSAEINVAL);
    socklen_t size = sizeof(int);
    if (getsockopt(entry->fd, SOL_SOCKET, SO_RCVBUF, value, &size) != 0) return Fail(MapErrno(errno));
    *length = (int)sizeof(int);
    return 0;
}

int WsSetSocketLimits(WsSocket s, const WsSocketLimits *limits)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return -1;
    entry->limits = limits ? *limits : WsSocketLimits{};
    return 0;
}

int WsGetOpenSocketCount(void) { return sWs.openCount; }

// ================================================================================================
// addresses
// ================================================================================================

int WsResolveHost(const char *host, uint8_t address[4])
{
    if (!host || !address) return Fail(WS_WSAEINVAL);
    in_addr in{};
    if (inet_pton(AF_INET, host, &in) == 1) {
        memcpy(address, &in, 4);
        return 0;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return Fail(WS_WSAHOST_NOT_FOUND);
    memcpy(address, &((const sockaddr_in *)found->ai_addr)->sin_addr, 4);
    freeaddrinfo(found);
    return 0;
}

WsSockAddrIn WsMakeAddress(const uint8_t address[4], int port)
{
    WsSockAddrIn out{};
    out.family = WS_AF_INET;
    out.port = htons((uint16_t)port);
    memcpy(out.address, address, 4);
    return out;
}

// ================================================================================================
// notices
// ================================================================================================

// Posts one notice for an entry and disarms its event. 1 posted, 0 not asked for, -1 the window's
// queue is full: the event stays armed and the next poll tells it, rather than it being lost.
static int Post(WsEntry *entry, uint32_t event, uint32_t arm, int error)
{
    if (entry->events & event) {
        uint32_t word = event | ((uint32_t)error << 16);
        if (!WPostMessage(entry->window, entry->message, ValueOf(entry), (intptr_t)word)) return -1;
    }
    entry->armed &= ~arm;
    return (entry->events & event) ? 1 : 0;
}

// Counts a notice posted.
static int Posted(int result) { return result > 0 ? 1 : 0; }

// The pending error of a socket, mapped (0 = none).
static int SocketError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return WS_WSAENOTSOCK;
    return error ? MapErrno(error) : 0;
}

// What poll() should watch for an entry; 0 when nothing can be posted for it now.
static short WantedEvents(const WsEntry *entry)
{
    if (!entry->used || !entry->window || !entry->events) return 0;
    if (entry->listening) return (entry->armed & ARM_ACCEPT) ? POLLIN : 0;
    if (entry->connecting) return POLLOUT;
    if (!(entry->armed & ARM_CLOSE)) return 0;  // closed and told: nothing more comes
    short wanted = 0;
    if (entry->armed & ARM_READ) wanted |= POLLIN;
    if (entry->armed & ARM_WRITE) wanted |= POLLOUT;
    return wanted ? wanted : POLLRDHUP;  // a reset is still seen through POLLERR / POLLHUP
}

// Peeks one byte: the count, or -1 with errno. A reset found is kept, as the peek took it from the
// socket and a close retold later must still carry it.
static ssize_t PeekOne(WsEntry *entry)
{
    PeekFromStart(entry);
    char byte;
    ssize_t got = recv(entry->fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got < 0 && errno == ECONNRESET) entry->resetSeen = 1;
    return got;
}

// Turns what poll found for one connected socket into notices. A close, orderly or a reset, is told
// only once nothing unread is left; a reset carries its error.
static int PostConnected(WsEntry *entry, short revents)
{
    const uint32_t all = ARM_CLOSE | ARM_READ | ARM_WRITE;
    int posted = 0;
    if ((revents & POLLIN) && (entry->armed & ARM_READ)) {
        ssize_t got = PeekOne(entry);
        if (got == 0) return Posted(Post(entry, WS_FD_CLOSE, all, entry->resetSeen ? WS_WSAECONNRESET : 0));
        if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return Posted(Post(entry, WS_FD_CLOSE, all, MapErrno(errno)));
        }
        if (got > 0) posted += Posted(Post(entry, WS_FD_READ, ARM_READ, 0));
    } else if ((revents & (POLLERR | POLLHUP)) && PeekOne(entry) <= 0) {
        // A close never overtakes data: while the socket holds some (its read notice not yet answered
        // by a receive), the close waits for the poll after the receive that re-arms the read.
        int error = SocketError(entry->fd);
        if (error == WS_WSAECONNRESET) entry->resetSeen = 1;
        if (!error && entry->resetSeen) error = WS_WSAECONNRESET;
        if (error) return Posted(Post(entry, WS_FD_CLOSE, all, error));
    }
    if ((revents & POLLOUT) && (entry->armed & ARM_WRITE)) posted += Posted(Post(entry, WS_FD_WRITE, ARM_WRITE, 0));
    return posted;
}

// Turns what poll found for one entry into notices.
static int PostFound(WsEntry *entry, short revents)
{
    if (entry->listening) return Posted(Post(entry, WS_FD_ACCEPT, ARM_ACCEPT, 0));
    if (entry->connecting) {
        if (!entry->connectError) entry->connectError = SocketError(entry->fd);
        int error = entry->connectError;
        int result = Post(entry, WS_FD_CONNECT, ARM_CONNECT, error);
        if (result < 0) return 0;  // told at a later poll, with the error kept
        entry->connecting = 0;
        // After a failed connect nothing else is told about the socket.
        entry->armed = error ? 0 : (entry->armed | ARM_READ | ARM_WRITE | ARM_CLOSE);
        return result;
    }
    return PostConnected(entry, revents);
}

int WsPollEvents(void)
{
    static pollfd fds[WS_MAX_SOCKETS];
    static int slots[WS_MAX_SOCKETS];
    int count = 0;
    // Every public call pumps, so this runs often: the scan stops once every open socket was seen.
    for (int i = 0, seen = 0; i < WS_MAX_SOCKETS && seen < sWs.openCount; i++) {
        seen += sWs.entries[i].used;
        short wanted = WantedEvents(&sWs.entries[i]);
        if (!wanted) continue;
        fds[count] = pollfd{sWs.entries[i].fd, wanted, 0};
        slots[count++] = i;
    }
    if (count == 0 || poll(fds, (nfds_t)count, 0) <= 0) return 0;
    int posted = 0;
    for (int i = 0; i < count; i++) {
        if (fds[i].revents) posted += PostFound(&sWs.entries[slots[i]], fds[i].revents);
    }
    return posted;
}

// Real microseconds, for the waits.
static int64_t NowMicroseconds(void)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}

int WsWaitSocket(WsSocket s, int forWrite, int microseconds)
{
    WsEntry *entry = Lookup(s);
    if (!entry) return 0;
    pollfd fd{entry->fd, (short)(forWrite ? POLLOUT : POLLIN), 0};
    int64_t end = NowMicroseconds() + microseconds;
    int result;
    do {
        int64_t left = end - NowMicroseconds();
        if (left < 0) left = 0;
        timespec wait{(time_t)(left / 1000000), (long)(left % 1000000 * 1000)};
        result = ppoll(&fd, 1, &wait, nullptr);
    } while (result < 0 && errno == EINTR);
    return result > 0 ? 1 : 0;
}
