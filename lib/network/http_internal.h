// The HTTP table, shared by the transfer's files and its tests.
#pragma once
#include <cstdint>

#include "lib/network/http.h"
#include "platform/kernel/kernel.h"

#define HTTP_REQUEST_SIZE 1024
#define HTTP_BODY_PIECE (256 * 1024)   // bytes one receive of a body asks for at most
// A response head (status and header lines) may take at most these bytes, lines and milliseconds from
// the request's end; beyond, the transfer fails.
#define HTTP_HEAD_MAX_BYTES (64 * 1024)
#define HTTP_HEAD_MAX_LINES 100
#define HTTP_HEAD_MAX_MS 10000

struct HttpHandleRecord {
    int32_t kind;
    int32_t step;
    int32_t state;
    int32_t error;
    int32_t netHandle;      // -1 once released
    int32_t destination;    // 0 file, 1 memory
    KHandle file;           // 0 when none or closed
    void **callerMemory;
    int64_t contentLength;  // -1 while none read; 64 bits, as a file body may pass 2 GiB
    int64_t received;
    char host[128];
    char path[256];
    uint8_t *postBody;      // owned
    int32_t postLength;
    int32_t port;
    // Ours: the request sent so far, the memory body's room, an over-long header line being dropped,
    // the start of a line not yet whole, the bytes and lines of status and header taken, the quiet
    // time and the request's end.
    char request[HTTP_REQUEST_SIZE];
    int32_t requestLength;
    int64_t sentBytes;      // of the head and the POST body together
    int64_t capacity;       // bytes of the memory body block
    int32_t droppingLine;
    char partLine[256];     // taken from the socket, no line feed yet
    int32_t partLength;
    int64_t headBytes;      // status and header bytes taken (a server may send lines without end)
    int32_t headLines;      // status and header lines taken, over-long ones too
    uint32_t quietSince;    // kernel milliseconds when a byte last moved
    uint32_t requestSentAt; // kernel milliseconds when the request was all out
    int32_t headStarved;    // the last step took every whole head line there was: the head waits on the server
    int32_t bodyWaiting;    // the last step's body stopped at its budget, more possibly waiting
};

// What a step may still take: the time, the body bytes and the body pieces.
struct HttpBudget {
    int64_t deadline;       // kernel microseconds
    int64_t bytes;
    int32_t pieces;
};

struct HttpState {
    HttpHandleRecord *table[HTTP_SLOTS];
    int32_t liveCount;
    int32_t maxMemoryBody;  // 0 = the default
    int32_t timeLimit;      // milliseconds a transfer may go without a byte (0 = the default)
    HttpBudget budget;      // of the step under way: its share of the pass, or its own when called alone
    int32_t cursor;         // the slot the next pass steps first
};

extern HttpState gHttp;
