// The network module's state, shared by its files and its tests.
#pragma once
#include <cstdint>

#include "lib/network/network.h"
#include "lib/network/ring_buffer.h"
#include "platform/window/window.h"
#include "platform/winsock/winsock.h"

#define NETWORK_SLOTS 4097          // 0..4095 connections, 4096 the listener
#define NETWORK_LISTEN_SLOT 4096
#define NETWORK_HANDLE_TAG 0x4800
#define NETWORK_CHECK_LIMIT 2048
#define NETWORK_MESSAGE 0x0505      // the socket notice
#define NETWORK_EVENTS (WS_FD_READ | WS_FD_WRITE | WS_FD_CLOSE)
#define NETWORK_DRAIN_MS 1000
#define NETWORK_DEFAULT_MAX_MESSAGE (64 * 1024 * 1024)
#define NETWORK_DEFAULT_RECV_QUEUE (8 * 1024 * 1024)
#define NETWORK_RECV_BYTES_PER_PASS (16 * 1024 * 1024) // bytes one pass takes at most, over all connections
#define NETWORK_RECV_MESSAGES_PER_PASS 4096 // messages one pass takes at most, over all connections
#define NETWORK_PASS_MICROSECONDS 2000      // the receive time of one pass, over all connections and transfers
#define NETWORK_LOST_IDLE_MS 2000           // a noticed loss whose data is left this long is released

struct NetWorkHandleRecord;

struct NetWorkListNode {
    int32_t handle;
    NetWorkHandleRecord *record;
    NetWorkListNode *prev;
    NetWorkListNode *next;
};

struct NetWorkHandleRecord {
    int32_t used;
    int32_t error;          // the receive ring could not grow, or the peer broke the framing
    int32_t connected;
    int32_t lossNoticed;
    int32_t framed;
    int32_t autoRelease;
    int32_t check;
    WsSocket socket;        // 0 once closed
    int32_t bytesMissing;   // bytes of the message under way still to come
    RingBuffer recvRing;
    int32_t messageSize;
    int32_t completeBytes;
    RingBuffer sendRing;
    int32_t outgoingLength; // bytes of the message under way still to go (its header while that goes)
    int32_t unsentHeader;   // 0..3
    uint8_t peerAddress[4];
    int32_t peerPort;       // network order, widened
    NetWorkListNode node;
    // Ours: per-connection busy flags, the header staging and the connect outcome.
    int32_t recvBusy, sendBusy;
    uint8_t header[4];      // header bytes received so far
    int32_t headerCount;
    int32_t connectState;   // 0 under way, 1 done, -1 failed
    int32_t closeError;     // the error the close notice carried (0 orderly)
    int32_t sendFailed;     // a send failed for good (the peer has gone): the release drain stops
    int32_t readPending;    // a read notice waits for its turn in a pass (a lost connection's, until its socket is dry)
    int32_t recvWaiting;    // the last receive stopped at its budget, the socket still holding data
    int32_t heldAtLimit;    // the receive stopped at the queue limit, its read notice used up
    uint32_t idleSince;     // kernel milliseconds: the loss noticed, or its data last touched since
};

// What receiving may still take: the time, the bytes and the messages left.
struct NetWorkBudget {
    int64_t deadline;       // kernel microseconds
    int64_t bytes;
    int32_t messages;
    int32_t sure;           // 1: a turn's share in a pass, whose first receive runs whatever the clock says
};

struct NetWorkState {
    NetWorkHandleRecord *table[NETWORK_SLOTS];
    NetWorkListNode head, tail;
    int32_t checkCounter;   // 0..2047: the next record's check value
    int32_t initialised;
    WHandle window;         // the socket window
    int32_t rawOption;
    int32_t keepLostOption;
    int32_t windowGone;
    // Ours.
    int64_t maxMessage;     // largest framed message either way
    int32_t pumpDepth;      // nesting of PumpNetWorkMessages; the socket poll runs at depth 0
    int32_t startedWindows; // WInitSubsystem taken by the start
    int64_t recvQueueLimit; // no new message is taken while the ring holds this much
    int32_t receiveBuffer;  // bytes a framed socket's receive buffer is set to; 0: the system's own
    // One budget per pass over all connections and transfers: a pass polls the sockets, gives every
    // waiting read notice an equal share, then serves those that took their whole share in turn from
    // where the last pass stopped; a call's own receive takes from it too.
    NetWorkBudget pass;
    int64_t passEnded;      // kernel microseconds at the end of the last pass
    int32_t readCursor;     // the slot the next pass's turns after the shares begin with
    int32_t pendingReads;   // records with a read notice waiting
};

extern NetWorkState gNetWork;

// What the test-support library may change in the module. Each entry returns a limit, 0 for the
// module's own.
struct NetWorkHookTable {
    int32_t (*ReceiveBudget)(void);     // bytes one pass takes at most, over all connections
    int32_t (*HttpPiecesPerStep)(void); // body pieces one pass over the HTTP transfers (or a step alone) takes
};
// Installs the table (null, or null entries: the module's own limits).
void SetNetWorkHookTable(const NetWorkHookTable *hooks);
// The table in use, every entry filled.
extern NetWorkHookTable gNetWorkHooks;

// The end of a run that may take at most a few milliseconds, and whether it has passed (the kernel's
// clock, so a stepped clock holds it).
int64_t GetNetWorkRunDeadline(void);
int IsNetWorkRunOver(int64_t deadline);
// A whole budget (time, bytes, messages) from now.
NetWorkBudget GetFreshNetWorkBudget(void);
// One of parties' equal share of what the budget has left, for a turn of its own in a pass: at least a
// byte and a message, and its first receive runs whatever the clock says, so every party is served.
NetWorkBudget ShareNetWorkBudget(const NetWorkBudget *budget, int parties);
// The deadline of the current pass (over when no pass is under way), and notes the end of work done
// in it, from which the rest before a call may start the next pass is counted.
int64_t GetNetWorkPassDeadline(void);
void NoteNetWorkPassEnd(void);
// The record of a valid handle (tag, slot, record, check), or null.
NetWorkHandleRecord *LookupNetWorkRecord(int handle);
int MakeNetWorkHandle(int check, int slot);
// The check counter moves on once a record is kept: after 2047 it starts again at 0.
void AdvanceNetWorkCheckCounter(void);
int RecvSocket(int handle);
int SendSocket(int handle);
int AcceptNetWork(void);
// Formats the text, logs it with the last socket error. -1.
int LogNetWorkError(const char *format, ...) __attribute__((format(printf, 1, 2)));
// A new record in a free slot (listen 1: the listening slot), linked after the head, check from the
// counter. Null when there is no slot or memory (nothing changed, nothing logged).
NetWorkHandleRecord *AddNetWorkRecord(int listen);
// Unlinks, closes, frees the rings and the record, clears the slot.
void RemoveNetWorkRecord(NetWorkHandleRecord *record);
// A receive held at the queue limit waits for its turn in a pass again once its ring is below the
// limit (the program took data or raised the limit); nothing for any other record.
void ResumeHeldNetWorkReceive(NetWorkHandleRecord *record);
// Destroys the socket window if it is still there and forgets its class.
void EndNetWorkWindow(void);
// Lets a framed connection's socket hold what one pass may take, so a program that makes a pass a frame
// gets what a pass can take, not what the system buffers at first; only when the system holds that
// much (gNetWork.receiveBuffer), as a fixed size below it would cap the system's own growth.
void SetNetWorkReceiveBuffer(WsSocket s);
// Opens an outgoing connection; the handle or -1.
int OpenNetWorkConnection(const uint8_t address[4], int port, int framed, int autoRelease);
