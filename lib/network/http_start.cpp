// Starting and querying HTTP transfers (ours: nothing in the game starts one).
#include <cstring>

#include "lib/core/helpers.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/network/http_internal.h"
#include "lib/network/network_internal.h"

// 1 when a text fits its field and holds no line break that could split the request.
static int FitsRequestField(const char *text, size_t size)
{
    return text && text[0] && strlen(text) < size && !strpbrk(text, "\r\n");
}

// The start's arguments make sense for its kind.
static int ValidStart(const HttpTransferStart *start)
{
    if (!start || start->kind < HTTP_GET || start->kind > HTTP_HEAD) return 0;
    if (!FitsRequestField(start->host, 128) || !FitsRequestField(start->path, 256)) return 0;
    if (start->port <= 0 || start->port > 65535) return 0;
    if (start->kind == HTTP_POST && (start->postLength < 0 || (start->postLength > 0 && !start->postBody))) return 0;
    if (start->kind != HTTP_HEAD && !start->fileName == !start->memory) return 0;
    return 1;
}

// A raw connection kept after a loss (the transfer decides when it ends), still connecting. Handle / -1.
static int ConnectForTransfer(const HttpTransferStart *start)
{
    uint8_t address[4];
    if (WsResolveHost(start->host, address) != 0) return -1;
    return OpenNetWorkConnection(address, start->port, 0, 0);
}

// Fills a fresh record from the start; the connection and the file come afterwards. 0 / -1.
static int FillRecord(HttpHandleRecord *record, const HttpTransferStart *start)
{
    FillBytes(record, 0, sizeof *record);
    record->kind = start->kind;
    record->state = HTTP_RUNNING;
    record->error = HTTP_ERROR_NONE;
    record->netHandle = -1;
    record->contentLength = -1;
    record->quietSince = KGetTime();
    record->port = start->port;
    CopyString(record->host, start->host);
    CopyString(record->path, start->path);
    record->destination = start->memory ? 1 : 0;
    if (start->kind != HTTP_HEAD && start->memory) {
        record->callerMemory = start->memory;
        *start->memory = nullptr;
    }
    if (start->kind == HTTP_POST) {
        record->postBody = (uint8_t *)AllocMemoryTracked((size_t)start->postLength, "", 0);
        if (!record->postBody) return -1;
        if (start->postLength > 0) CopyBytes(record->postBody, start->postBody, (size_t)start->postLength);
        record->postLength = start->postLength;
    }
    return 0;
}

int StartHttpTransfer(const HttpTransferStart *start)
{
    if (!ValidStart(start)) return WriteLog("HTTP転送の指定が正しくありません in StartHttpTransfer\n");
    if (StartNetWork() != 0) return -1;
    int slot = 0;
    while (slot < HTTP_SLOTS && gHttp.table[slot]) slot++;
    if (slot == HTTP_SLOTS) return WriteLog("空きHTTPハンドルがありません in StartHttpTransfer\n");
    HttpHandleRecord *record = (HttpHandleRecord *)AllocMemoryTracked(sizeof(HttpHandleRecord), "", 0);
    if (!record) return -1;
    if (FillRecord(record, start) != 0) {
        FreeMemoryTracked(record);
        return -1;
    }
    if (start->kind != HTTP_HEAD && start->fileName) {
        record->file = KCreateFile(start->fileName, K_GENERIC_WRITE, K_CREATE_ALWAYS);
        if (record->file == K_INVALID_HANDLE) record->file = 0;
    }
    record->netHandle = (record->destination == 1 || record->file || start->kind == HTTP_HEAD)
                            ? ConnectForTransfer(start) : -1;
    if (record->netHandle < 0) {
        if (record->file) KCloseHandle(record->file);
        FreeMemoryTracked(record->postBody);
        FreeMemoryTracked(record);
        return WriteLogFormat("HTTP転送を開始できませんでした %s:%d in StartHttpTransfer", start->host, start->port);
    }
    gHttp.table[slot] = record;
    gHttp.liveCount++;
    return slot;
}

int GetHttpTransferState(int slot, int *state, int *error, int *received)
{
    HttpHandleRecord *record = (slot >= 0 && slot < HTTP_SLOTS) ? gHttp.table[slot] : nullptr;
    if (!record) return -1;
    if (state) *state = record->state;
    if (error) *error = record->error;
    // A file body may pass what an int holds: the answer stops at INT32_MAX rather than wrap.
    if (received) *received = record->received < INT32_MAX ? (int)record->received : INT32_MAX;
    return 0;
}

int SetHttpMaxMemoryBody(int bytes)
{
    if (bytes <= 0) return -1;
    gHttp.maxMemoryBody = bytes;
    return 0;
}

int SetHttpTimeLimit(int milliseconds)
{
    if (milliseconds <= 0) return -1;
    gHttp.timeLimit = milliseconds;
    return 0;
}
