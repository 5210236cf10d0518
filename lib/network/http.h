// HTTP/1.0 transfers (GET, POST, HEAD) over raw connections, stepped by the message pump; the body goes
// to a file or to memory the transfer allocates for the caller. A transfer's handle is its slot.
#pragma once
#include <cstdint>

#include "lib/network/network_hooks.h"

#define HTTP_SLOTS 100
enum : int { HTTP_GET = 0, HTTP_POST = 1, HTTP_HEAD = 2 };
enum : int { HTTP_RUNNING = -1, HTTP_DONE = 0, HTTP_FAILED = 2 };
// Error codes: none, another status, 404, no memory for the body (or a response head past its limits:
// 64 KiB, 100 lines, 10 s from the request), connection lost (or never made), and (ours) the
// destination file could not be written, nothing moved for the time limit.
enum : int {
    HTTP_ERROR_NONE = -1,
    HTTP_ERROR_STATUS = 0,
    HTTP_ERROR_NOT_FOUND = 1,
    HTTP_ERROR_MEMORY = 2,
    HTTP_ERROR_LOST = 3,
    HTTP_ERROR_WRITE = 4,
    HTTP_ERROR_TIMEOUT = 5,
};

int StepHttpHandle(int slot);       // -1 empty slot; else 0 or the step's result
int StepHttpGet(int slot);          // -1 empty slot, else 0
int StepHttpPost(int slot);
int StepHttpHead(int slot);
// The one way a transfer ends; the first outcome stored stays. -1 empty slot, else 0.
int FinishHttpTransfer(int slot, int state, int error);
// Ends a running transfer as done and frees the slot. 0 / -1 (outside 0..99, empty).
int DeleteHttpHandle(int slot);
// The number after the first blank of a line, or -1.
int ParseHttpStatusCode(const char *line);

// ---- start and query (ours: nothing in the game starts a transfer) --------------------------------
struct HttpTransferStart {
    int kind;                 // HTTP_GET, HTTP_POST, HTTP_HEAD
    const char *host;         // name or dotted IPv4, under 128 bytes, no CR or LF
    int port;
    const char *path;         // under 256 bytes, no CR or LF
    const void *postBody;     // POST only; copied
    int postLength;
    const char *fileName;     // body to this file (created anew) ...
    void **memory;            // ... or to a block set here (null until the length is known)
};
// Opens the destination, begins the connection (which completes in the pump: nothing waits) and takes
// a slot. The slot, or -1.
int StartHttpTransfer(const HttpTransferStart *start);
// Result state, error code and body bytes received so far (INT32_MAX for a file body past it).
// 0 / -1 (empty slot).
int GetHttpTransferState(int slot, int *state, int *error, int *received);
// Largest memory body (default 64 MiB): more is refused as no memory, with a log line. 0 / -1.
int SetHttpMaxMemoryBody(int bytes);
// Milliseconds a transfer may go without sending or receiving a byte (connecting included) before it
// fails with HTTP_ERROR_TIMEOUT and a log line (default 30 s). 0 / -1 (not above 0).
int SetHttpTimeLimit(int milliseconds);
