// Connections: framed messages (4-byte little-endian length, then the data) or raw bytes, driven by
// socket notices in the message pump. Handles are ((check | 0x4800) << 16) | slot. Main thread only.
#pragma once
#include <cstdint>

#include "lib/network/network_hooks.h"

// ---- the calls a program makes ------------------------------------------------------------------
// Framed: queues the data as (part of) the next message, 0 / -1. Raw: the socket's send result.
int NetWorkSend(int handle, const void *data, int length);
// Framed: takes length bytes, 0, or -1 when fewer are stored. Raw: the socket's recv result.
int NetWorkRecv(int handle, void *buffer, int length);
// As NetWorkRecv, leaving the bytes where they are.
int NetWorkRecvToPeek(int handle, void *buffer, int length);
// Framed: bytes of completely received messages. Raw: 1 a byte waits, 0 closed and drained, -1 none yet.
int GetNetWorkDataLength(int handle);
// 1 connected, 0 not (the loss is then noticed), -1 refused handle.
int GetNetWorkAcceptState(int handle);
// Raw only: takes one line up to LF (the LF dropped, a CR kept) into 256 bytes. 0 / -1 (none whole).
int ReadNetWorkLine(int handle, char *line);
// Drains for at most 1000 ms each way, closes and frees. 0 / -1.
int ReleaseNetWorkHandle(int handle);

// ---- start (our own: nothing in the game starts the network) --------------------------------------
// Socket layer, the hidden socket window and the empty list. 0 (also when started) / -1.
int StartNetWork(void);
// Listens on an IPv4 address and port (0 = any free one); the listening record takes slot 4096.
// 0 / -1 (not started, already listening, socket refused).
int ListenNetWork(const uint8_t address[4], int port);
// The port the listening record is bound to, or -1.
int GetNetWorkListenPort(void);
// Opens an outgoing connection with the current options; connected once FD_CONNECT succeeds.
// The handle, or -1.
int ConnectNetWork(const uint8_t address[4], int port);
// 1 connected, 0 under way, -1 failed or refused handle.
int GetNetWorkConnectState(int handle);
// Options for the connections made from now on: raw (1) or framed (0, default); kept after a loss
// until released (1) or released by the pump (0, default). 0.
int SetNetWorkRawOption(int raw);
int SetNetWorkKeepLostOption(int keep);
// Largest framed message taken from a peer or queued for one (default 64 MiB). 0 / -1 (out of range).
int SetNetWorkMaxMessageSize(int64_t bytes);
// Bytes a connection's receive ring may hold before no further message is taken from its socket until
// the program takes data (default 8 MiB; a message under way is always finished). 0 / -1 (not above 0).
int SetNetWorkRecvQueueLimit(int64_t bytes);
