// Connections and framed messages: the handle table, the receive and send state machines driven by
// socket notices, the calls a program makes, the pump and the end.
#include <cstdarg>
#include <cstdio>

#include "lib/core/helpers.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/network/network_internal.h"
#include "platform/kernel/kernel.h"

NetWorkState gNetWork;

// The hook table's defaults: the module's own limits.
static int32_t OwnLimit(void) { return 0; }
NetWorkHookTable gNetWorkHooks = {OwnLimit, OwnLimit};

void SetNetWorkHookTable(const NetWorkHookTable *hooks)
{
    gNetWorkHooks.ReceiveBudget = hooks && hooks->ReceiveBudget ? hooks->ReceiveBudget : OwnLimit;
    gNetWorkHooks.HttpPiecesPerStep = hooks && hooks->HttpPiecesPerStep ? hooks->HttpPiecesPerStep : OwnLimit;
}

// A receive's answer when the budget was spent before it read anything.
#define RECV_NOT_BEGUN 1

// A message under way this long or longer is received with the whole messages the socket holds behind
// it, up to this many, in one move.
#define RUN_MIN_BYTES (64 * 1024)
#define RUN_MESSAGES 40
static_assert(2 + 3 * RUN_MESSAGES <= WS_MAX_PIECES, "a run's pieces: each body in two, each header in one");

// Passes of a release drain at most, whatever the clock does (each waits up to 1 ms for the socket).
#define DRAIN_PASSES 2000

// ================================================================================================
// run budgets
// ================================================================================================

static int64_t NowMicroseconds(void)
{
    int64_t now = 0;
    KQueryPerformanceCounter(&now);
    return now;
}

int64_t GetNetWorkRunDeadline(void) { return NowMicroseconds() + NETWORK_PASS_MICROSECONDS; }
int IsNetWorkRunOver(int64_t deadline) { return NowMicroseconds() >= deadline; }
int64_t GetNetWorkPassDeadline(void) { return gNetWork.pass.deadline; }
void NoteNetWorkPassEnd(void) { gNetWork.passEnded = NowMicroseconds(); }

// A whole budget from now.
NetWorkBudget GetFreshNetWorkBudget(void)
{
    int32_t bytes = gNetWorkHooks.ReceiveBudget();
    return NetWorkBudget{GetNetWorkRunDeadline(), bytes > 0 ? bytes : NETWORK_RECV_BYTES_PER_PASS, NETWORK_RECV_MESSAGES_PER_PASS, 0};
}

static int IsBudgetSpent(const NetWorkBudget *budget)
{
    return budget->bytes <= 0 || budget->messages <= 0 || IsNetWorkRunOver(budget->deadline);
}

// A call may start a pass once the last one has rested as long as a pass may take (or the clock went
// back): calls that come quicker dispatch only what is queued, so a program's round of calls over
// many connections costs about one pass, not one each.
static int IsNetWorkPassDue(void)
{
    int64_t now = NowMicroseconds();
    return now < gNetWork.passEnded || now - gNetWork.passEnded >= NETWORK_PASS_MICROSECONDS;
}

// ================================================================================================
// handles and records
// ================================================================================================

int MakeNetWorkHandle(int check, int slot)
{
    return ((check | NETWORK_HANDLE_TAG) << 16) | slot;
}

NetWorkHandleRecord *LookupNetWorkRecord(int handle)
{
    if (handle < 0 || ((handle >> 27) & 0xF) != 0x9) return nullptr;
    int slot = handle & 0xFFFF;
    if (slot >= NETWORK_SLOTS) return nullptr;
    NetWorkHandleRecord *record = gNetWork.table[slot];
    if (!record || record->check != ((handle >> 16) & 0x7FF)) return nullptr;
    return record;
}

// The slot a record sits in.
static int SlotOf(const NetWorkHandleRecord *record)
{
    return record->node.handle & 0xFFFF;
}

NetWorkHandleRecord *AddNetWorkRecord(int listen)
{
    int slot = listen ? NETWORK_LISTEN_SLOT : -1;
    for (int i = 0; !listen && i < NETWORK_LISTEN_SLOT; i++) {
        if (!gNetWork.table[i]) { slot = i; break; }
    }
    if (slot < 0 || gNetWork.table[slot]) return nullptr;
    NetWorkHandleRecord *record = (NetWorkHandleRecord *)AllocMemoryTracked(sizeof(NetWorkHandleRecord), "", 0);
    if (!record) return nullptr;
    FillBytes(record, 0, sizeof *record);
    gNetWork.table[slot] = record;
    record->used = 1;
    record->framed = gNetWork.rawOption ? 0 : 1;
    record->autoRelease = gNetWork.keepLostOption ? 0 : 1;
    record->check = gNetWork.checkCounter;
    record->node.handle = MakeNetWorkHandle(record->check, slot);
    record->node.record = record;
    record->node.prev = &gNetWork.head;
    record->node.next = gNetWork.head.next;
    gNetWork.head.next->prev = &record->node;
    gNetWork.head.next = &record->node;
    return record;
}

void RemoveNetWorkRecord(NetWorkHandleRecord *record)
{
    if (record->readPending) gNetWork.pendingReads--;
    record->node.prev->next = record->node.next;
    record->node.next->prev = record->node.prev;
    if (record->socket != 0 && record->socket != WS_INVALID_SOCKET) WsCloseSocket(record->socket);
    FreeRingBuffer(&record->recvRing);
    FreeRingBuffer(&record->sendRing);
    record->used = 0;
    gNetWork.table[SlotOf(record)] = nullptr;
    FreeMemoryTracked(record);
}

void AdvanceNetWorkCheckCounter(void)
{
    gNetWork.checkCounter = (gNetWork.checkCounter + 1) % NETWORK_CHECK_LIMIT;
}

int LogNetWorkError(const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return WriteLogFormat("ネットワークログ。%s[%d]", text, WsGetLastError());
}

// The refusal of a live record: used 0 or error 1 logs the operation's line. 0 when it may go on.
static int RefuseRecord(const NetWorkHandleRecord *record, const char *usedLine, const char *errorLine)
{
    if (!record->used) return WriteLog(usedLine);
    if (record->error == 1) return WriteLog(errorLine);
    return 0;
}

// ================================================================================================
// receive
// ================================================================================================

// Moves up to want bytes between the socket and the ring at *pos (the write position when receiving,
// the read position when sending), in two pieces across the storage's end. The count moved; 0 when
// nothing moved (closed, would block, failure). A second piece that fails leaves *pos at 0.
static int MoveRingBytes(WsSocket s, RingBuffer *ring, int32_t *pos, int want, int sending)
{
    auto move = [&](uint8_t *at, int n) { return sending ? WsSend(s, at, n, 0) : WsRecv(s, at, n, 0); };
    WrapRingBufferEnds(ring);
    int32_t first = ring->bufferSize - *pos;
    int moved = move(ring->data + *pos, want <= first ? want : first);
    if (moved <= 0) return 0;
    if (want <= first || moved < first) {
        *pos += moved;
        return moved;
    }
    int second = move(ring->data, want - first);
    *pos = second > 0 ? second : 0;
    return moved + (second > 0 ? second : 0);
}

// Takes header bytes into the staging field; 1 once all four are there and the length is accepted,
// 0 when more must come, -1 when the length is over the limit (the connection is in error).
static int ReceiveHeader(NetWorkHandleRecord *record, NetWorkBudget *budget)
{
    int got = WsRecv(record->socket, record->header + record->headerCount, 4 - record->headerCount, 0);
    if (got <= 0) return 0;
    budget->bytes -= got;
    record->headerCount += got;
    if (record->headerCount < 4) return 0;
    record->headerCount = 0;
    uint32_t length = ReadLe32(record->header);
    if ((int64_t)length > gNetWork.maxMessage) {
        record->error = 1;
        return WriteLogFormat("受信メッセージのサイズ %u byte が上限を超えています in RecvSocket", length);
    }
    record->messageSize = (int32_t)length;
    record->bytesMissing = (int32_t)length;
    // The whole message at once: its body then goes straight into the ring in at most two pieces. The
    // ring is extended without copying what it holds, which may be much.
    if (ExtendRingBuffer(&record->recvRing, (int)length) != 0) {
        record->error = 1;
        return WriteLogFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)",
                              record->messageSize);
    }
    return 1;
}

// Counts got bytes of the message under way as received, and the message once it is whole (the
// budget pays for both). 1 when it is whole.
static int TakeBodyBytes(NetWorkHandleRecord *record, NetWorkBudget *budget, int64_t got)
{
    record->recvRing.dataSize += (int32_t)got;
    record->bytesMissing -= (int32_t)got;
    budget->bytes -= got;
    if (record->bytesMissing > 0) return 0;
    record->completeBytes += record->messageSize;
    budget->messages--;
    return 1;
}

// Receives the message under way as far as data is there, in one move (its room is reserved, so the
// ring takes it in at most two pieces). 1 complete, 0 more must come.
static int ReceiveBody(NetWorkHandleRecord *record, NetWorkBudget *budget)
{
    int64_t left = budget->bytes > 0 ? budget->bytes : 0;  // a header may have taken it below 0
    int want = record->bytesMissing < left ? record->bytesMissing : (int)left;
    int got = want > 0 ? MoveRingBytes(record->socket, &record->recvRing, &record->recvRing.writePos, want, 0) : 0;
    // Stopped by the budget, not by the socket running dry.
    record->recvWaiting = got == want && record->bytesMissing - got > 0;
    return TakeBodyBytes(record, budget, got);
}

// Plans the whole messages the socket holds behind the body under way, reading their headers where
// they stand, as far as the budget's messages, the queue limit and its bytes go, and no further than
// its time left is worth at a pass's bytes over a pass's time: one move cannot be cut short, and a
// run begun late must not carry the pass far past its time. A length over the limit is left to the
// ordinary receive, which refuses it. Their lengths; the count.
static int PlanRun(const NetWorkHandleRecord *record, const NetWorkBudget *budget, int32_t lengths[RUN_MESSAGES])
{
    int64_t ahead = record->bytesMissing, held = (int64_t)record->recvRing.dataSize + record->bytesMissing;
    int64_t time = budget->deadline - NowMicroseconds();
    int64_t most = (time > 0 ? time : 0) * (NETWORK_RECV_BYTES_PER_PASS / NETWORK_PASS_MICROSECONDS);
    if (most > budget->bytes) most = budget->bytes;
    int count = 0;
    while (count < RUN_MESSAGES && count + 1 < budget->messages && held < gNetWork.recvQueueLimit) {
        uint8_t header[4];
        if (WsPeekAhead(record->socket, (int)ahead, header, 4) != 4) break;
        uint32_t length = ReadLe32(header);
        if ((int64_t)length > gNetWork.maxMessage || ahead + 4 + length > most) break;
        lengths[count++] = (int32_t)length;
        ahead += 4 + length;
        held += length;
    }
    return count;
}

// The pieces of a run's receive: the body under way, then each planned header (into headers) and
// body, the bodies in the ring from its write position on, across its end. Their count.
static int LayRun(RingBuffer *ring, int32_t missing, const int32_t *lengths, int count, uint8_t (*headers)[4],
                  WsBuffer *pieces)
{
    int used = 0;
    int32_t pos = ring->writePos;
    for (int i = -1; i < count; i++) {
        if (i >= 0) pieces[used++] = WsBuffer{4, headers[i]};
        int32_t n = i < 0 ? missing : lengths[i];
        int32_t first = n < ring->bufferSize - pos ? n : ring->bufferSize - pos;
        pieces[used++] = WsBuffer{first, ring->data + pos};
        if (n > first) pieces[used++] = WsBuffer{n - first, ring->data};
        pos = n > first ? n - first : pos + n;
    }
    return used;
}

// Counts got bytes of a run's receive as LayRun laid them: bodies completed, a header begun or taken.
static void TakeRun(NetWorkHandleRecord *record, NetWorkBudget *budget, const int32_t *lengths, int count,
                    uint8_t (*headers)[4], int64_t got)
{
    RingBuffer *ring = &record->recvRing;
    int64_t bodies = 0;
    for (int i = -1; i < count; i++) {
        if (i >= 0) {
            int64_t part = got < 4 ? got : 4;
            got -= part;
            budget->bytes -= part;
            CopyBytes(record->header, headers[i], (size_t)part);
            record->headerCount = part < 4 ? (int32_t)part : 0;
            if (part < 4) break;
            record->messageSize = record->bytesMissing = lengths[i];
        }
        int64_t part = got < record->bytesMissing ? got : record->bytesMissing;
        got -= part;
        bodies += part;
        if (!TakeBodyBytes(record, budget, part)) break;
    }
    int64_t end = (int64_t)ring->writePos + bodies;
    ring->writePos = (int32_t)(end > ring->bufferSize ? end - ring->bufferSize : end);
}

// A long message under way is received with the whole messages behind it in one move: their headers
// are read where they stand, their bodies reserved, and one receive puts every body in the ring and
// every header aside. A stream of long messages comes several times faster so than in a move for each
// header and body, each of which lets the peer send again while we wait on it. Falls back on the
// message alone where nothing can be planned. 1 when all that was planned came, 0 more must come.
static int ReceiveBodies(NetWorkHandleRecord *record, NetWorkBudget *budget)
{
    int32_t lengths[RUN_MESSAGES];
    int count = record->bytesMissing >= RUN_MIN_BYTES && record->bytesMissing <= budget->bytes
                    ? PlanRun(record, budget, lengths) : 0;
    int64_t total = record->bytesMissing;
    for (int i = 0; i < count; i++) total += lengths[i];
    if (count == 0 || ExtendRingBuffer(&record->recvRing, (int)total) != 0) return ReceiveBody(record, budget);
    WrapRingBufferEnds(&record->recvRing);
    static WsBuffer pieces[WS_MAX_PIECES];
    uint8_t headers[RUN_MESSAGES][4];
    int used = LayRun(&record->recvRing, record->bytesMissing, lengths, count, headers, pieces);
    int got = WsRecvPieces(record->socket, pieces, used);
    TakeRun(record, budget, lengths, count, headers, got > 0 ? got : 0);
    return got == total + 4 * count;
}

// Queues the connection's receive for its turn in a pass.
static void MarkReadPending(NetWorkHandleRecord *record)
{
    if (!record->readPending) gNetWork.pendingReads++;
    record->readPending = 1;
}

void ResumeHeldNetWorkReceive(NetWorkHandleRecord *record)
{
    if (!record->heldAtLimit || record->recvRing.dataSize >= gNetWork.recvQueueLimit) return;
    record->heldAtLimit = 0;
    MarkReadPending(record);
}

// Waits, up to the end of the budget's time, for more of a stream whose socket ran dry in the middle
// of a long message after a move that took a long message's worth (moved bytes): its peer is sending
// as fast as the window we just opened lets it, so more comes within moments, and a pass that ended
// there would leave its time unused while the socket fills. A peer that sends less than that between
// two moves is not waited on again, nor a socket that tells its end at once. 1 when more came (or the
// end).
static int WaitForStream(NetWorkHandleRecord *record, const NetWorkBudget *budget, int64_t moved)
{
    if (moved < RUN_MIN_BYTES || record->recvWaiting || record->bytesMissing == 0) return 0;
    int64_t left = budget->deadline - NowMicroseconds();
    return left > 0 && WsWaitSocket(record->socket, 0, (int)left);
}

// The framed receive: headers and bodies while the budget lasts. No new message is begun while the
// ring holds more than the queue limit: the socket is left unread, so TCP's window slows the peer
// until the program takes data. Only a recv asks for the next read notice, so a held receive is
// queued again when room is made, not left to the calls' share of a budget others may have spent.
// 0, -1 the connection went into error, RECV_NOT_BEGUN the budget was spent before anything was read.
static int ReceiveMessages(NetWorkHandleRecord *record, NetWorkBudget *budget)
{
    if (!record->framed) return 0;
    if (!budget->sure && IsBudgetSpent(budget)) return RECV_NOT_BEGUN;
    record->recvWaiting = 0;
    do {
        int64_t before = budget->bytes;
        if (record->bytesMissing == 0) {
            record->heldAtLimit = record->recvRing.dataSize >= gNetWork.recvQueueLimit;
            if (record->heldAtLimit) return 0;
            int header = ReceiveHeader(record, budget);
            if (header <= 0) return header;
        }
        if (ReceiveBodies(record, budget) == 0 && !WaitForStream(record, budget, before - budget->bytes)) return 0;
    } while (!IsBudgetSpent(budget));
    record->recvWaiting = 1;
    return 0;
}

// ================================================================================================
// send
// ================================================================================================

// Notes a send that failed for good (not a full socket): the release drain then stops at once. 0.
static int NoteSendFailure(NetWorkHandleRecord *record)
{
    if (WsGetLastError() != WS_WSAEWOULDBLOCK) record->sendFailed = 1;
    return 0;
}

// Sends the header of the message under way, or what of it is left. 1 when it is all out.
static int SendHeader(NetWorkHandleRecord *record)
{
    uint8_t header[4];
    uint32_t length = (uint32_t)record->outgoingLength;
    for (int i = 0; i < 4; i++) header[i] = (uint8_t)(length >> (8 * i));
    if (record->unsentHeader > 0) {
        int sent = WsSend(record->socket, header + 4 - record->unsentHeader, record->unsentHeader, 0);
        if (sent <= 0) return NoteSendFailure(record);
        record->unsentHeader -= sent;
        return record->unsentHeader == 0;
    }
    int sent = WsSend(record->socket, header, 4, 0);
    if (sent < 0) {
        record->outgoingLength = 0;
        return NoteSendFailure(record);
    }
    record->unsentHeader = 4 - sent;
    return record->unsentHeader == 0;
}

// The framed send: one message of everything queued, then the next.
static int SendMessages(NetWorkHandleRecord *record)
{
    if (!record->framed) return 0;
    for (;;) {
        if (record->sendRing.dataSize == 0) return 0;
        if (record->unsentHeader > 0 || record->outgoingLength == 0) {
            if (record->outgoingLength == 0) record->outgoingLength = record->sendRing.dataSize;
            if (!SendHeader(record)) return 0;
        }
        int sent = MoveRingBytes(record->socket, &record->sendRing, &record->sendRing.readPos,
                                 record->outgoingLength, 1);
        if (sent == 0) NoteSendFailure(record);
        record->sendRing.dataSize -= sent;
        record->outgoingLength -= sent;
        PumpNetWorkMessages(0);
        if (sent == 0 || record->outgoingLength > 0) return 0;
    }
}

// RecvSocket and SendSocket: initialised, valid and its own busy flag clear, then with the flag set
// the pump, the refusals and the work. A receive takes from the budget given and may answer
// RECV_NOT_BEGUN.
static int RunSocketStep(int handle, int sending, NetWorkBudget *budget)
{
    if (!gNetWork.initialised) return -1;
    NetWorkHandleRecord *record = LookupNetWorkRecord(handle);
    int32_t *busy = !record ? nullptr : sending ? &record->sendBusy : &record->recvBusy;
    if (!busy || *busy) return -1;
    *busy = 1;
    PumpNetWorkMessages(0);
    int result = sending ? RefuseRecord(record, "有効なネットワークハンドルではありません in SendSocket\n",
                                        "このネットワークハンドルにはエラーが発生しています in SendSocket\n")
                         : RefuseRecord(record, "有効なネットワークハンドルではありません in RecvSocket\n",
                                        "このネットワークハンドルにはエラーが発生しています in RecvSocket\n");
    if (result == 0) result = sending ? SendMessages(record) : ReceiveMessages(record, budget);
    *busy = 0;
    return result;
}

int RecvSocket(int handle) { return RunSocketStep(handle, 0, &gNetWork.pass) < 0 ? -1 : 0; }
int SendSocket(int handle) { return RunSocketStep(handle, 1, nullptr); }

// ================================================================================================
// accept and notices
// ================================================================================================

void SetNetWorkReceiveBuffer(WsSocket s)
{
    int bytes = gNetWork.receiveBuffer;
    if (bytes > 0) WsSetSockOpt(s, WS_SOL_SOCKET, WS_SO_RCVBUF, &bytes, (int)sizeof bytes);
}

// Takes the pending connection and closes it at once, so the listener keeps hearing.
static void TurnAwayIncoming(NetWorkHandleRecord *listener)
{
    WsSockAddrIn address;
    int length = sizeof address;
    WsSocket s = WsAccept(listener->socket, &address, &length);
    if (s != WS_INVALID_SOCKET) WsCloseSocket(s);
}

// Undoes a half-made accepted record. -1.
static int UndoAccept(NetWorkHandleRecord *record)
{
    RemoveNetWorkRecord(record);
    return -1;
}

int AcceptNetWork(void)
{
    if (!gNetWork.initialised) return -1;
    PumpNetWorkMessages(0);
    NetWorkHandleRecord *listener = gNetWork.table[NETWORK_LISTEN_SLOT];
    if (!listener) return -1;
    int freeSlot = 0;
    while (freeSlot < NETWORK_LISTEN_SLOT && gNetWork.table[freeSlot]) freeSlot++;
    if (freeSlot == NETWORK_LISTEN_SLOT) {
        TurnAwayIncoming(listener);
        return WriteLog("空きソケットデータがなかったので accept を拒否しました \n");
    }
    NetWorkHandleRecord *record = AddNetWorkRecord(0);
    if (!record) {
        TurnAwayIncoming(listener);
        return WriteLog("ソケット用のメモリの確保に失敗しました\n");
    }
    record->connected = 1;
    record->connectState = 1;
    WsSockAddrIn address;
    int length = sizeof address;
    record->socket = WsAccept(listener->socket, &address, &length);
    if (record->socket == WS_INVALID_SOCKET) {
        LogNetWorkError("acceptに失敗しました");
        return UndoAccept(record);
    }
    CopyBytes(record->peerAddress, address.address, 4);
    record->peerPort = address.port;
    if (record->framed) SetNetWorkReceiveBuffer(record->socket);
    if (WsAsyncSelect(record->socket, gNetWork.window, NETWORK_MESSAGE, NETWORK_EVENTS) != 0) {
        LogNetWorkError("WSAAsyncSelectのエラー in AcceptNetWork");
        return UndoAccept(record);
    }
    AdvanceNetWorkCheckCounter();
    return 1;
}

int HandleSocketEvent(uint32_t eventWord, uintptr_t socket)
{
    NetWorkListNode *node = gNetWork.head.next;
    while (node && node->next && node->record->socket != socket) node = node->next;
    if (!node || !node->next) return WriteLog("通信エラー No.1\n"), 0;
    NetWorkHandleRecord *record = node->record;
    int error = (int)(eventWord >> 16);
    switch (eventWord & 0xFFFF) {
    case WS_FD_READ:
        // Received in its turn in the pass, so the budget reaches every connection.
        MarkReadPending(record);
        return 1;
    case WS_FD_WRITE: SendSocket(node->handle); return 1;
    case WS_FD_ACCEPT: return AcceptNetWork();
    case WS_FD_CONNECT:
        if (error == 0) record->connected = 1;
        record->connectState = error == 0 ? 1 : -1;
        return 1;
    case WS_FD_CLOSE:
        record->closeError = error;
        record->connected = 0;
        record->lossNoticed = 0;
        // What the socket still holds is received in the passes (no read notice comes any more), and
        // the connection is released only once that is done.
        MarkReadPending(record);
        return 1;
    default: return 1;
    }
}

// ================================================================================================
// the program's calls
// ================================================================================================

int NetWorkSend(int handle, const void *data, int length)
{
    if (!gNetWork.initialised) return -1;
    NetWorkHandleRecord *record = LookupNetWorkRecord(handle);
    if (!record) return -1;
    PumpNetWorkMessages(0);
    if (RefuseRecord(record, "有効なネットワークハンドルではありません in NetWorkSend\n",
                     "このネットワークハンドルにはエラーが発生しています in NetWorkSend\n") != 0) {
        return -1;
    }
    if (!record->connected) return -1;
    SendSocket(handle);
    if (!record->framed) return WsSend(record->socket, data, length, 0);
    // The next message holds what is queued behind the one under way; it must stay within the limit.
    int64_t queued = (int64_t)record->sendRing.dataSize - record->outgoingLength;
    if (length < 0 || queued + length > gNetWork.maxMessage ||
        AppendRingBuffer(&record->sendRing, data, length) != 0) {
        return WriteLogFormat("送信データ %d byte の追加に失敗しました in NewWorkSend", length);
    }
    SendSocket(handle);
    return 0;
}

// The receive calls' shared part; peek 1 leaves the bytes.
static int ReceiveCall(int handle, void *buffer, int length, int peek, const char *usedLine, const char *errorLine)
{
    if (length < 0) return -1;
    NetWorkHandleRecord *record = LookupNetWorkRecord(handle);
    if (!record || !gNetWork.initialised) return -1;
    PumpNetWorkMessages(0);
    if (RefuseRecord(record, usedLine, errorLine) != 0) return -1;
    if (RecvSocket(handle) < 0) return -1;
    if (!record->framed) return WsRecv(record->socket, buffer, length, peek ? WS_MSG_PEEK : 0);
    if (ReadRingBuffer(&record->recvRing, buffer, length, peek) != 0) return -1;
    record->idleSince = KGetTime();
    if (peek) return 0;
    record->completeBytes -= length;
    ResumeHeldNetWorkReceive(record);
    RecvSocket(handle);
    return 0;
}

int NetWorkRecv(int handle, void *buffer, int length)
{
    return ReceiveCall(handle, buffer, length, 0, "有効なネットワークハンドルではありません in NetWorkRecv\n",
                       "このネットワークハンドルにはエラーが発生しています in NetWorkRecv\n");
}

int NetWorkRecvToPeek(int handle, void *buffer, int length)
{
    return ReceiveCall(handle, buffer, length, 1, "有効なネットワークハンドルではありません in NetWorkRecvToPeek\n",
                       "このネットワークハンドルにはエラーが発生しています in NetWorkRecvToPeek\n");
}

int GetNetWorkDataLength(int handle)
{
    if (!gNetWork.initialised) return -1;
    PumpNetWorkMessages(0);
    RecvSocket(handle);
    SendSocket(handle);
    NetWorkHandleRecord *record = LookupNetWorkRecord(handle);
    if (!record) return -1;
    if (RefuseRecord(record, "有効なネットワークハンドルではありません in GetNetWorkDataLength\n",
                     "このネットワークハンドルにはエラーが発生しています in GetNetWorkDataLength\n") != 0) {
        return -1;
    }
    if (record->framed) return record->completeBytes;
    char byte;
    int result = NetWorkRecvToPeek(handle, &byte, 1);
    return result < 0 ? result : (result > 0 ? 1 : 0);
}

int GetNetWorkAcceptState(int handle)
{
    if (!gNetWork.initialised) return -1;
    PumpNetWorkMessages(0);
    NetWorkHandleRecord *record = LookupNetWorkRecord(handle);
    if (!record) return -1;
    if (RefuseRecord(record, "有効なネットワークハンドルではありません in GetNetWorkAcceptState\n",
                     "このネットワークハンドルにはエラーが発生しています in GetNetWorkAcceptStateh\n") != 0) {
        return -1;
    }
    // A connection still connecting has not been lost: it answers 0 and stays.
    if (!record->connected && !record->lossNoticed && record->connectState != 0) {
        record->lossNoticed = 1;
        record->idleSince = KGetTime();
    }
    return record->connected ? 1 : 0;
}

int ReadNetWorkLine(int handle, char *line)
{
    char peeked[256];
    FillBytes(peeked, 0, sizeof peeked);
    int count = NetWorkRecvToPeek(handle, peeked, 255);
    if (count < 1) return -1;
    peeked[count] = 0;
    const char *feed = FindCharInString(peeked, '\n');
    if (!feed) return -1;
    int length = (int)(feed - peeked);
    peeked[length] = 0;
    CopyString(line, peeked);
    char taken[256];
    NetWorkRecv(handle, taken, length + 1);
    return 0;
}

// ================================================================================================
// release, pump and end
// ================================================================================================

// Runs the receive (a message partly in) or the send (data queued) for at most the drain time (and a
// bounded number of passes), waiting up to 1 ms for the socket between passes. The receive stops once
// the peer has gone; the send goes on to a peer that only half-closed, until a send fails for good.
static void Drain(int handle, NetWorkHandleRecord *record, int forWrite)
{
    uint32_t start = KGetTime();
    for (int pass = 0; pass < DRAIN_PASSES && KGetTime() - start < NETWORK_DRAIN_MS; pass++) {
        int more = forWrite ? record->sendRing.dataSize > 0 && !record->sendFailed
                            : record->bytesMissing != 0 && record->connected;
        if (!more) return;
        PumpNetWorkMessages(0);
        // A release waits on its own time, not the pass's.
        NetWorkBudget own = GetFreshNetWorkBudget();
        RunSocketStep(handle, forWrite, &own);
        WsWaitSocket(record->socket, forWrite, 1000);
    }
}

int ReleaseNetWorkHandle(int handle)
{
    if (!gNetWork.initialised) return -1;
    NetWorkHandleRecord *record = LookupNetWorkRecord(handle);
    if (!record || !record->used) return -1;
    PumpNetWorkMessages(0);
    // A connection in error takes and sends nothing more.
    if (record->error != 1) {
        Drain(handle, record, 0);
        Drain(handle, record, 1);
    }
    if (record->socket) {
        WsAsyncSelect(record->socket, gNetWork.window, 0, 0);
        WsCloseSocket(record->socket);
        record->socket = 0;
    }
    record->connected = 0;
    record->lossNoticed = 1;
    RemoveNetWorkRecord(record);
    return 0;
}

// Releases the connections in error, and the noticed losses the pump may release: those with nothing
// left unread (after an orderly close the socket holds nothing more; the ring's complete messages wait
// for the program, which may have counted them before the last receive took them in), and those whose
// data the program has left untouched for a while since it noticed the loss.
static void ReleaseFinishedConnections(void)
{
    uint32_t now = KGetTime();
    NetWorkListNode *node = gNetWork.head.next;
    while (node && node->next) {
        NetWorkListNode *next = node->next;
        NetWorkHandleRecord *record = node->record;
        int lost = !record->connected && record->lossNoticed && record->autoRelease && !record->readPending;
        int abandoned = lost && record->completeBytes > 0 && now - record->idleSince >= NETWORK_LOST_IDLE_MS;
        if (record->used && (record->error == 1 || (lost && record->completeBytes == 0) || abandoned)) {
            if (abandoned) {
                WriteLogFormat("切断された接続の受信データ %d byte が %d ミリ秒の間読まれなかったので破棄しました in PumpNetWorkMessages",
                               record->recvRing.dataSize, NETWORK_LOST_IDLE_MS);
            }
            ReleaseNetWorkHandle(node->handle);
        }
        node = next;
    }
}

// Clears a record's read notice once its turn is over: a connection's next notice comes with the next
// data, but a lost connection keeps its turn until its socket is dry, as no other notice comes for it.
static void EndReadTurn(NetWorkHandleRecord *record)
{
    if (!record->readPending || (!record->connected && record->recvWaiting)) return;
    record->readPending = 0;
    gNetWork.pendingReads--;
}

NetWorkBudget ShareNetWorkBudget(const NetWorkBudget *budget, int parties)
{
    int64_t now = NowMicroseconds();
    int64_t time = budget->deadline > now ? (budget->deadline - now) / parties : 0;
    int64_t bytes = budget->bytes / parties;
    int32_t messages = budget->messages / parties;
    return NetWorkBudget{now + time, bytes > 0 ? bytes : 1, messages > 0 ? messages : 1, 1};
}

// A waiting connection's turn with an equal share of what the pass has left; the pass is charged what
// it took. A raw connection takes nothing here: its share is withheld from the pass at once, so those
// served after it share the pass without it, and kept (added to *aside: time, bytes, messages) for its
// own reader, the HTTP steps after the pump.
static void ServeShare(NetWorkHandleRecord *record, int parties, NetWorkBudget *aside)
{
    NetWorkBudget share = ShareNetWorkBudget(&gNetWork.pass, parties), given = share;
    if (record->framed) {
        RunSocketStep(record->node.handle, 0, &share);
    } else {
        int64_t time = share.deadline - NowMicroseconds();
        if (time < 0) time = 0;
        aside->deadline += time;
        gNetWork.pass.deadline -= time;
        aside->bytes += share.bytes;
        aside->messages += share.messages;
        share.bytes = 0;
        share.messages = 0;
    }
    gNetWork.pass.bytes -= given.bytes - share.bytes;
    gNetWork.pass.messages -= given.messages - share.messages;
    // One that took its whole share stays for the rest of the pass.
    if (!record->recvWaiting) EndReadTurn(record);
}

// Serves the waiting read notices in two rounds. First every waiting connection gets an equal share of
// the pass, so a light peer is served every pass whatever the number of busy ones; then what is left
// (less the raw connections' shares) goes on in turn to those that took their whole share, from
// where the last pass stopped, so none of them waits behind the others.
static void ServePendingReads(void)
{
    static int order[NETWORK_LISTEN_SLOT];
    int count = 0;
    for (int i = 0; i < NETWORK_LISTEN_SLOT && count < gNetWork.pendingReads; i++) {
        int slot = (gNetWork.readCursor + i) % NETWORK_LISTEN_SLOT;
        if (gNetWork.table[slot] && gNetWork.table[slot]->readPending) order[count++] = slot;
    }
    NetWorkBudget aside{0, 0, 0, 0};  // its deadline a length of time
    for (int i = 0; i < count; i++) {
        NetWorkHandleRecord *record = gNetWork.table[order[i]];
        // A record whose own receive is under way keeps its notice.
        if (record && record->readPending && !record->recvBusy) ServeShare(record, count - i, &aside);
    }
    for (int i = 0; i < count; i++) {
        NetWorkHandleRecord *record = gNetWork.table[order[i]];
        if (!record || !record->readPending || record->recvBusy) continue;
        // The receive itself tells whether the budget is spent: a look of our own could find time
        // left that is gone when it begins.
        if (RunSocketStep(record->node.handle, 0, &gNetWork.pass) == RECV_NOT_BEGUN) {
            gNetWork.readCursor = order[i];
            break;
        }
        EndReadTurn(record);
        gNetWork.readCursor = (order[i] + 1) % NETWORK_LISTEN_SLOT;
    }
    gNetWork.pass.deadline += aside.deadline;
    gNetWork.pass.bytes += aside.bytes;
    gNetWork.pass.messages += aside.messages;
}

// Dispatches what waits for the socket window.
static void DispatchSocketWindow(void)
{
    WMessage message;
    while (gNetWork.window && WPeekMessage(&message, gNetWork.window, 1)) WDispatchMessage(&message);
}

int PumpNetWorkMessages(int flag)
{
    if (!gNetWork.window || !gNetWork.initialised) return 0;
    // Only an outermost pump starts a pass (the message pump's always, a call's once the last pass
    // has rested): it looks at the sockets and receives in turn. Other pumps dispatch what is queued.
    int pass = gNetWork.pumpDepth == 0 && (flag == 1 || IsNetWorkPassDue());
    if (pass) {
        gNetWork.pass = GetFreshNetWorkBudget();
        WsPollEvents();
    }
    gNetWork.pumpDepth++;
    if (flag == 1) ReleaseFinishedConnections();
    DispatchSocketWindow();
    if (pass) ServePendingReads();
    gNetWork.pumpDepth--;
    if (pass) NoteNetWorkPassEnd();
    return 0;
}

int ShutDownNetWork(void)
{
    if (!gNetWork.initialised) return 0;
    WriteLog("ネットワーク関連の終了処理を行います \n");
    for (int slot = 0; slot < NETWORK_SLOTS; slot++) {
        NetWorkHandleRecord *record = gNetWork.table[slot];
        if (record) ReleaseNetWorkHandle(MakeNetWorkHandle(record->check, slot));
    }
    if (gNetWork.window) {
        WPostMessage(gNetWork.window, W_WM_CLOSE, 0, 0);
        if (!gNetWork.windowGone) DispatchSocketWindow();
    }
    EndNetWorkWindow();
    int startedWindows = gNetWork.startedWindows;
    FillBytes(&gNetWork, 0, sizeof gNetWork);
    WsCleanup();
    if (startedWindows) WQuitSubsystem();
    WriteLog("ネットワーク関連の終了処理は完了しました\n");
    return 0;
}
