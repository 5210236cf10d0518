// HTTP transfers: the request, the status line, the header lines, the body, the end.
#include <cstdio>
#include <cstring>

#include "lib/core/helpers.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/network/http_internal.h"
#include "lib/network/network_internal.h"

HttpState gHttp;

static uint8_t sGetBody[HTTP_BODY_PIECE];   // file pieces of every GET
static uint8_t sPostBody[HTTP_BODY_PIECE];  // file pieces of every POST
static char sDroppedLine[HTTP_HEAD_MAX_BYTES + 1];  // a head line too long to take, dropped in one move

#define HTTP_DEFAULT_MAX_MEMORY_BODY (64 * 1024 * 1024)
#define HTTP_DEFAULT_TIME_LIMIT_MS 30000
#define CONTENT_LENGTH "Content-Length:"
#define CONTENT_LENGTH_SIZE 15

static HttpHandleRecord *SlotRecord(int slot)
{
    return (slot >= 0 && slot < HTTP_SLOTS) ? gHttp.table[slot] : nullptr;
}

static int MaxMemoryBody(void)
{
    return gHttp.maxMemoryBody > 0 ? gHttp.maxMemoryBody : HTTP_DEFAULT_MAX_MEMORY_BODY;
}

int ParseHttpStatusCode(const char *line)
{
    const char *blank = FindCharInString(line, ' ');
    return blank ? ParseDecimalInt(blank) : -1;
}

// The value of a "Content-Length:" line: blanks, then digits that fit 63 bits. -1 when malformed or
// too large to hold.
static int64_t ParseContentLength(const char *line)
{
    const char *at = line + CONTENT_LENGTH_SIZE;
    while (*at == ' ' || *at == '\t') at++;
    if (*at < '0' || *at > '9') return -1;
    int64_t value = 0;
    for (; *at >= '0' && *at <= '9'; at++) {
        if (value > (INT64_MAX - (*at - '0')) / 10) return -1;
        value = value * 10 + (*at - '0');
    }
    return (*at == 0 || *at == '\r' || *at == ' ' || *at == '\t') ? value : -1;
}

// ================================================================================================
// lines
// ================================================================================================

// Takes one response line (its carriage return kept, its line feed dropped). The bytes of a line not
// yet whole are taken from the socket into the record, so they never hold the socket back and a close
// behind them is seen. 1 taken, 0 none whole yet, -1 a line that can never be taken (255 bytes without
// a line feed outside a two-byte character, or one hidden behind a NUL).
static int TakeLine(HttpHandleRecord *record, char *line)
{
    char scan[256];
    int have = record->partLength;
    CopyBytes(scan, record->partLine, (size_t)have);
    int count = NetWorkRecvToPeek(record->netHandle, scan + have, 255 - have);
    if (count < 0) count = 0;
    scan[have + count] = 0;
    const char *feed = FindCharInString(scan, '\n');
    if (!feed && have + count >= 255) {
        record->partLength = 0;
        record->headLines++;
        return -1;
    }
    int end = feed ? (int)(feed - scan) : have + count;
    int take = feed ? end + 1 - have : count;
    if (take > 0 && NetWorkRecv(record->netHandle, scan + have, take) == take) record->headBytes += take;
    else take = 0;
    if (!feed || take == 0) {
        CopyBytes(record->partLine + have, scan + have, (size_t)take);
        record->partLength = have + take;
        return 0;
    }
    scan[end] = 0;
    CopyString(line, scan);
    record->partLength = 0;
    record->headLines++;
    return 1;
}

// Drops bytes up to and with the next line feed, as many as have come (more than a head may hold, so
// one move finds the line's end or the head's limit). 1 when the line is gone, 0 when more must come.
static int DropLine(HttpHandleRecord *record)
{
    char *peeked = sDroppedLine;
    int count = NetWorkRecvToPeek(record->netHandle, peeked, (int)sizeof sDroppedLine);
    if (count < 1) return 0;
    const char *feed = (const char *)memchr(peeked, '\n', (size_t)count);
    int take = feed ? (int)(feed - peeked) + 1 : count;
    if (NetWorkRecv(record->netHandle, peeked, take) == take) record->headBytes += take;
    record->droppingLine = feed ? 0 : 1;
    return feed ? 1 : 0;
}

// A header line for step 2, skipping lines too long to take. 1 taken, 0 none yet.
static int TakeHeaderLine(HttpHandleRecord *record, char *line)
{
    for (int guard = 0; guard < 64 && record->headBytes <= HTTP_HEAD_MAX_BYTES; guard++) {
        if (record->droppingLine && !DropLine(record)) return 0;
        int taken = TakeLine(record, line);
        if (taken >= 0) return taken;
        record->droppingLine = 1;
    }
    return 0;
}

// ================================================================================================
// steps
// ================================================================================================

// Formats the request head of the record's kind.
static void FormatRequest(HttpHandleRecord *record)
{
    int length = 0;
    if (record->kind == HTTP_GET) {
        length = snprintf(record->request, sizeof record->request,
                          "GET %s HTTP/1.0\r\nHost: %s:%d\r\nConnection: close\r\n\r\n", record->path,
                          record->host, record->port);
    } else if (record->kind == HTTP_POST) {
        length = snprintf(record->request, sizeof record->request, "POST %s HTTP/1.0\nHost: %s:%d\nContent-Length: %d\n\n",
                          record->path, record->host, record->port, record->postLength);
    } else {
        length = snprintf(record->request, sizeof record->request, "HEAD %s HTTP/1.0\n\n", record->path);
    }
    record->requestLength = length;
}

// Step 0: sends the head (and a POST body) as far as the socket takes it. 1 all sent, 0 later,
// -1 the connection failed (the transfer has ended).
static int SendRequest(int slot, HttpHandleRecord *record)
{
    if (record->sentBytes == 0 && record->requestLength == 0) FormatRequest(record);
    int64_t total = record->requestLength + (int64_t)(record->kind == HTTP_POST ? record->postLength : 0);
    while (record->sentBytes < total) {
        int inHead = record->sentBytes < record->requestLength;
        const uint8_t *from = inHead ? (const uint8_t *)record->request + record->sentBytes
                                     : record->postBody + (record->sentBytes - record->requestLength);
        int length = (int)(inHead ? record->requestLength - record->sentBytes : total - record->sentBytes);
        WsSetLastError(0);
        int sent = NetWorkSend(record->netHandle, from, length);
        if (sent < 0 && WsGetLastError() == WS_WSAEWOULDBLOCK) return 0;
        if (sent < 0) return FinishHttpTransfer(slot, HTTP_FAILED, HTTP_ERROR_LOST), -1;
        record->sentBytes += sent;
        if (sent < length) return 0;
    }
    return 1;
}

// Step 1: the status line. 1 on 200, 0 while waiting or once the transfer has ended.
static int ReadStatusLine(int slot, HttpHandleRecord *record, int logStatus)
{
    char line[256];
    int taken = TakeLine(record, line);
    record->headStarved = taken == 0;
    if (taken == 0) return 0;
    int status = taken > 0 ? ParseHttpStatusCode(line) : -1;
    if (status == 200) return 1;
    if (logStatus) WriteLogFormat("接続に失敗しました (戻り値:%d)", status);
    FinishHttpTransfer(slot, HTTP_FAILED, status == 404 ? HTTP_ERROR_NOT_FOUND : HTTP_ERROR_STATUS);
    return 0;
}

// Makes the memory body hold at least need bytes, keeping what it has. The block is resized, not copied
// into a new one, so no step copies the body received so far. 0 / -1.
static int GrowMemoryBody(HttpHandleRecord *record, int64_t need)
{
    if (need <= record->capacity) return 0;
    if (need > MaxMemoryBody()) return -1;
    int64_t capacity = record->capacity * 2 > need ? record->capacity * 2 : need;
    if (capacity > MaxMemoryBody()) capacity = MaxMemoryBody();
    uint8_t *block = (uint8_t *)ResizeMemoryTracked(*record->callerMemory, (size_t)capacity);
    if (!block) return -1;
    *record->callerMemory = block;
    record->capacity = capacity;
    return 0;
}

// Ends a memory transfer whose body would pass the memory limit. -1.
static int RefuseMemoryBody(int slot, int64_t bytes)
{
    WriteLogFormat("HTTP転送の本文 %lld バイト以上はメモリの上限 %d バイトを超えます in StepHttpHandle",
                   (long long)bytes, MaxMemoryBody());
    FinishHttpTransfer(slot, HTTP_FAILED, HTTP_ERROR_MEMORY);
    return -1;
}

// Takes the value of a "Content-Length:" line; a memory destination gets its block. 0, or -1 when
// the transfer has ended (malformed, too large, no memory).
static int TakeContentLength(int slot, HttpHandleRecord *record, const char *line)
{
    if (record->contentLength != -1) return 0;  // a second line changes nothing
    int64_t length = ParseContentLength(line);
    if (length < 0) {
        WriteLog("Content-Length: の値が読めないか大きすぎます in StepHttpHandle\n");
        return FinishHttpTransfer(slot, HTTP_FAILED, HTTP_ERROR_STATUS), -1;
    }
    record->contentLength = length;
    if (record->kind == HTTP_HEAD || record->destination != 1) return 0;
    if (length > MaxMemoryBody()) return RefuseMemoryBody(slot, length);
    uint8_t *block = (uint8_t *)AllocMemoryTracked((size_t)length, "", 0);
    if (!block) return FinishHttpTransfer(slot, HTTP_FAILED, HTTP_ERROR_MEMORY), -1;
    FreeMemoryTracked(*record->callerMemory);
    *record->callerMemory = block;
    record->capacity = length;
    return 0;
}

// Step 2: one header line. 1 when the header has ended (go on to the body; a HEAD transfer ends at
// its "Content-Length:" line), 0 when a line was taken, -1 when none is whole yet.
static int ReadHeaderLine(int slot, HttpHandleRecord *record)
{
    char line[256];
    if (!TakeHeaderLine(record, line)) return -1;
    int isLength = CompareStringPrefix(line, CONTENT_LENGTH, CONTENT_LENGTH_SIZE) == 0;
    if (record->kind == HTTP_HEAD) return isLength && TakeContentLength(slot, record, line) == 0;
    if (!FindCharInString(line, ':')) return 1;
    if (isLength) TakeContentLength(slot, record, line);
    return 0;
}

// At most want bytes, within what the step's budget has left.
static int64_t PieceBytes(int64_t want)
{
    return want < gHttp.budget.bytes ? want : gHttp.budget.bytes;
}

// Receives one piece of the body to its destination. The count (0 when nothing came), or -1 when
// the transfer has ended.
static int ReceiveBodyPiece(int slot, HttpHandleRecord *record, uint8_t *piece)
{
    if (record->destination == 0) {
        // A body of known length ends there: what a server sends beyond it is not the body's.
        int64_t left = record->contentLength - record->received;
        int want = (int)PieceBytes(record->contentLength >= 0 && left < HTTP_BODY_PIECE ? left : HTTP_BODY_PIECE);
        int count = NetWorkRecv(record->netHandle, piece, want);
        if (count <= 0) return 0;
        uint32_t written = 0;
        if (!KWriteFile(record->file, piece, (uint32_t)count, &written) || written != (uint32_t)count) {
            return FinishHttpTransfer(slot, HTTP_FAILED, HTTP_ERROR_WRITE), -1;
        }
        return count;
    }
    int64_t room = record->contentLength - record->received;
    if (record->contentLength < 0) {
        // A body of exactly the limit is whole when nothing more comes.
        if (record->received >= MaxMemoryBody()) {
            char more;
            return NetWorkRecvToPeek(record->netHandle, &more, 1) > 0 ? RefuseMemoryBody(slot, record->received + 1) : 0;
        }
        int64_t need = record->received + HTTP_BODY_PIECE;
        if (GrowMemoryBody(record, need < MaxMemoryBody() ? need : MaxMemoryBody()) != 0) {
            return FinishHttpTransfer(slot, HTTP_FAILED, HTTP_ERROR_MEMORY), -1;
        }
        room = record->capacity - record->received;
    }
    // The memory body never passes the limit, an int.
    int count = NetWorkRecv(record->netHandle, (uint8_t *)*record->callerMemory + record->received, (int)PieceBytes(room));
    return count < 0 ? 0 : count;
}

// 1 when the peer has closed in order with nothing left to read.
static int ClosedAndDrained(const HttpHandleRecord *record)
{
    int state = GetNetWorkAcceptState(record->netHandle);
    int waiting = GetNetWorkDataLength(record->netHandle);
    const NetWorkHandleRecord *connection = LookupNetWorkRecord(record->netHandle);
    return state == 0 && waiting == 0 && connection && connection->closeError == 0;
}

// 1 when the step's pieces or bytes are used up.
static int IsHttpBudgetTaken(void)
{
    return gHttp.budget.pieces <= 0 || gHttp.budget.bytes <= 0;
}

// 1 when the step's time, pieces or bytes are used up.
static int IsHttpBudgetSpent(void)
{
    return IsHttpBudgetTaken() || IsNetWorkRunOver(gHttp.budget.deadline);
}

// Step 3 of GET and POST: the body, in large pieces for as long as they come and the step's budget
// lasts (one piece at least, whatever the clock says, while it has pieces and bytes). onePiece: a POST
// body without a length takes one piece per call.
static int ReceiveBody(int slot, HttpHandleRecord *record, uint8_t *piece, int onePiece)
{
    record->bodyWaiting = 1;
    if (IsHttpBudgetTaken()) return 0;
    for (;;) {
        int count = ReceiveBodyPiece(slot, record, piece);
        if (count < 0) return 0;
        record->received += count;
        int known = record->contentLength >= 0;
        if ((known && record->received >= record->contentLength) || (!known && ClosedAndDrained(record))) {
            record->step = 4;
            FinishHttpTransfer(slot, HTTP_DONE, HTTP_ERROR_NONE);
            return 0;
        }
        gHttp.budget.pieces--;
        gHttp.budget.bytes -= count;
        if (count == 0 || (onePiece && !known)) record->bodyWaiting = 0;
        if (!record->bodyWaiting || IsHttpBudgetSpent()) return 0;
    }
}

// Steps 0 and 1 of every kind: the request, then the status line. 1 once the status was 200 (the
// record is at step 2 or later), 0 when the call is over.
static int StepRequestAndStatus(int slot, HttpHandleRecord *record, int logStatus)
{
    if (record->step == 0) {
        if (SendRequest(slot, record) <= 0) return 0;
        record->step = 1;
        record->requestSentAt = KGetTime();
    }
    if (record->step == 1) {
        if (!ReadStatusLine(slot, record, logStatus)) return 0;
        record->step = 2;
    }
    return 1;
}

// Ends a transfer whose response head, not yet ended, has passed its bytes, lines or time (a server
// that sends header lines without end, fast or slow, cannot hold it). The time counts only once the
// step has taken every whole line there was: the head then waits on the server, which has taken all
// the time since the request (while whole lines wait, the time is the library's). 1 when it has ended.
static int EndHeadOverLimit(int slot, HttpHandleRecord *record)
{
    if (record->state != HTTP_RUNNING || record->step < 1 || record->step > 2) return 0;
    if (record->headBytes > HTTP_HEAD_MAX_BYTES) {
        WriteLogFormat("HTTP応答のヘッダが %d バイトを超えたので打ち切りました in StepHttpHandle", HTTP_HEAD_MAX_BYTES);
    } else if (record->headLines > HTTP_HEAD_MAX_LINES) {
        WriteLogFormat("HTTP応答のヘッダが %d 行を超えたので打ち切りました in StepHttpHandle", HTTP_HEAD_MAX_LINES);
    } else if (record->headStarved && KGetTime() - record->requestSentAt >= HTTP_HEAD_MAX_MS) {
        WriteLogFormat("HTTP応答のヘッダが %d ミリ秒の間に終わらなかったので打ち切りました in StepHttpHandle",
                       HTTP_HEAD_MAX_MS);
    } else {
        return 0;
    }
    FinishHttpTransfer(slot, HTTP_FAILED, HTTP_ERROR_MEMORY);
    return 1;
}

// Step 2 of every kind: every header line that has come, whatever the budget (the head's limits bound
// the work). 1 when the step moved on, 0 when the call is over.
static int ReadHeaderLines(int slot, HttpHandleRecord *record)
{
    while (record->state == HTTP_RUNNING) {
        int ended = ReadHeaderLine(slot, record);
        record->headStarved = ended < 0;
        if (EndHeadOverLimit(slot, record) || ended < 0) return 0;
        if (ended > 0) {
            record->step = 3;
            return 1;
        }
    }
    return 0;
}

// GET and POST share their steps; they differ in the log line, the piece buffer and the pace.
static int StepHttpBodyRequest(int slot, int isPost)
{
    HttpHandleRecord *record = SlotRecord(slot);
    if (!record) return -1;
    if (record->step > 4 || !StepRequestAndStatus(slot, record, !isPost)) return 0;
    if (record->step == 2 && !ReadHeaderLines(slot, record)) return 0;
    if (record->step == 3) return ReceiveBody(slot, record, isPost ? sPostBody : sGetBody, isPost);
    FinishHttpTransfer(slot, HTTP_DONE, HTTP_ERROR_NONE);
    return 0;
}

int StepHttpGet(int slot) { return StepHttpBodyRequest(slot, 0); }
int StepHttpPost(int slot) { return StepHttpBodyRequest(slot, 1); }

int StepHttpHead(int slot)
{
    HttpHandleRecord *record = SlotRecord(slot);
    if (!record) return -1;
    if (record->step > 3 || !StepRequestAndStatus(slot, record, 0)) return 0;
    if (record->step == 2 && !ReadHeaderLines(slot, record)) return 0;
    FinishHttpTransfer(slot, HTTP_DONE, HTTP_ERROR_NONE);
    return 0;
}

// The bytes a transfer has moved either way.
static int64_t MovedBytes(const HttpHandleRecord *record)
{
    return (int64_t)record->sentBytes + record->headBytes + record->received;
}

// Runs the step of the transfer's kind on a connected transfer; ends it when the connection is lost.
static int StepConnected(int slot, HttpHandleRecord *record, int state)
{
    int waiting = GetNetWorkDataLength(record->netHandle);
    // A closed connection with nothing left, or one whose peek fails after the close (a reset), is
    // lost (a status or header line left unfinished too); a body without a length that ends in an
    // orderly close is complete.
    if (state < 0 || (state == 0 && waiting <= 0)) {
        int bodyByClose = record->step == 3 && record->kind != HTTP_HEAD && record->contentLength < 0 &&
                          waiting == 0 && ClosedAndDrained(record);
        if (bodyByClose) record->step = 4;
        return FinishHttpTransfer(slot, bodyByClose ? HTTP_DONE : HTTP_FAILED,
                                  bodyByClose ? HTTP_ERROR_NONE : HTTP_ERROR_LOST);
    }
    switch (record->kind) {
    case HTTP_GET: return StepHttpGet(slot);
    case HTTP_POST: return StepHttpPost(slot);
    case HTTP_HEAD: return StepHttpHead(slot);
    default: return 0;
    }
}

// Body pieces a pass over the transfers, or a step alone, may take.
static int32_t HttpPiecesPerPass(void)
{
    int32_t pieces = gNetWorkHooks.HttpPiecesPerStep();
    return pieces > 0 ? pieces : INT32_MAX;
}

// A transfer's step within the budget in force.
static int StepTransfer(int slot)
{
    HttpHandleRecord *record = SlotRecord(slot);
    if (!record) return -1;
    if (record->state != HTTP_RUNNING) return 0;
    // The connection completes in the pump (the state query pumps); a connect that failed is a loss.
    int state = GetNetWorkAcceptState(record->netHandle);
    int connect = GetNetWorkConnectState(record->netHandle);
    if (connect < 0) {
        WriteLogFormat("接続できませんでした %s:%d in StepHttpHandle", record->host, record->port);
        return FinishHttpTransfer(slot, HTTP_FAILED, HTTP_ERROR_LOST);
    }
    int64_t moved = MovedBytes(record);
    int result = connect > 0 ? StepConnected(slot, record, state) : 0;
    uint32_t now = KGetTime();
    if (MovedBytes(record) != moved) record->quietSince = now;
    int limit = gHttp.timeLimit > 0 ? gHttp.timeLimit : HTTP_DEFAULT_TIME_LIMIT_MS;
    if (record->state == HTTP_RUNNING && now - record->quietSince >= (uint32_t)limit) {
        WriteLogFormat("HTTP転送が %d ミリ秒の間進まなかったので打ち切りました in StepHttpHandle", limit);
        return FinishHttpTransfer(slot, HTTP_FAILED, HTTP_ERROR_TIMEOUT);
    }
    EndHeadOverLimit(slot, record);
    return result;
}

// A step called alone has a budget of its own.
int StepHttpHandle(int slot)
{
    NetWorkBudget own = GetFreshNetWorkBudget();
    gHttp.budget = HttpBudget{own.deadline, own.bytes, HttpPiecesPerPass()};
    return StepTransfer(slot);
}

// A transfer's step within budget, which is charged to the pass (and the pieces left). Whether the step
// had its whole share (it stopped at its budget with more to come, or was given no body at all).
static int StepWithin(int slot, HttpBudget budget, int32_t *pieces)
{
    gHttp.budget = budget;
    StepTransfer(slot);
    gNetWork.pass.bytes -= budget.bytes - gHttp.budget.bytes;
    *pieces -= budget.pieces - gHttp.budget.pieces;
    HttpHandleRecord *record = SlotRecord(slot);
    return record && record->state == HTTP_RUNNING && record->step == 3 && record->bodyWaiting;
}

// One pass over the transfers, part of the network's pass. First every running transfer steps with an
// equal share of what the pass has left (heads are read whole whatever the share), so none waits behind
// the others; then what is left goes on in turn to the bodies that took their whole share, from the
// transfer the last pass did not reach.
int StepAllHttpHandles(void)
{
    if (gHttp.liveCount <= 0) return 0;
    PumpNetWorkMessages(0);  // a pass of its own when none is under way
    static int order[HTTP_SLOTS];
    int count = 0;
    for (int i = 0; i < HTTP_SLOTS; i++) {
        int slot = (gHttp.cursor + i) % HTTP_SLOTS;
        if (gHttp.table[slot] && gHttp.table[slot]->state == HTTP_RUNNING) order[count++] = slot;
    }
    // The steps' own pumps dispatch notices but start no other pass meanwhile.
    gNetWork.pumpDepth++;
    int32_t pieces = HttpPiecesPerPass(), denied = -1;
    for (int i = 0; i < count; i++) {
        NetWorkBudget share = ShareNetWorkBudget(&gNetWork.pass, count - i);
        int32_t piecesShare = pieces / (count - i) > 0 ? pieces / (count - i) : (pieces > 0 ? 1 : 0);
        int hungry = StepWithin(order[i], HttpBudget{share.deadline, share.bytes, piecesShare}, &pieces);
        if (hungry && piecesShare == 0 && denied < 0) denied = order[i];
    }
    for (int i = 0; i < count && denied < 0; i++) {
        HttpHandleRecord *record = gHttp.table[order[i]];
        if (!record || record->state != HTTP_RUNNING || !record->bodyWaiting) continue;
        HttpBudget rest{gNetWork.pass.deadline, gNetWork.pass.bytes, pieces};
        gHttp.budget = rest;
        if (IsHttpBudgetSpent()) {
            denied = order[i];
            break;
        }
        StepWithin(order[i], rest, &pieces);
        gHttp.cursor = (order[i] + 1) % HTTP_SLOTS;
    }
    if (denied >= 0) gHttp.cursor = denied;
    gNetWork.pumpDepth--;
    NoteNetWorkPassEnd();
    return 0;
}

// ================================================================================================
// end
// ================================================================================================

int FinishHttpTransfer(int slot, int state, int error)
{
    HttpHandleRecord *record = SlotRecord(slot);
    if (!record) return -1;
    if (record->netHandle != -1) {
        ReleaseNetWorkHandle(record->netHandle);
        record->netHandle = -1;
    }
    FreeMemoryTracked(record->postBody);
    record->postBody = nullptr;
    if (record->file) {
        KCloseHandle(record->file);
        record->file = 0;
    }
    if (record->state == HTTP_RUNNING) record->state = state;
    if (record->error == HTTP_ERROR_NONE) record->error = error;
    if (record->callerMemory && record->state != HTTP_DONE) {
        FreeMemoryTracked(*record->callerMemory);
        *record->callerMemory = nullptr;
    }
    return 0;
}

int DeleteHttpHandle(int slot)
{
    HttpHandleRecord *record = SlotRecord(slot);
    if (!record) return -1;
    FinishHttpTransfer(slot, HTTP_DONE, HTTP_ERROR_NONE);
    FreeMemoryTracked(record);
    gHttp.table[slot] = nullptr;
    gHttp.liveCount--;
    return 0;
}

int DeleteAllHttpHandles(void)
{
    int served = 0;
    int live = gHttp.liveCount;
    for (int slot = 0; slot < HTTP_SLOTS && served < live; slot++) {
        if (!gHttp.table[slot]) continue;
        served++;
        DeleteHttpHandle(slot);
    }
    return 0;
}
