// Test hooks of the stand-ins and the library: fault injection, call records, live-object counts,
// settings a test changes, the manual audio output's steps.
//
// Layout. Nothing of the tests is in what the game or a library user's program links (a build check,
// build_no_test_symbols, reads the game's symbols). The stand-ins (platform/) and modules (lib/) keep
// only small hook tables with do-nothing defaults:
//   platform/kernel/standin_hooks.h  faults, status queries, call records and objects made or freed
//                                    of every stand-in
//   platform/d3d/d3d_hooks.h         the 3-D device's recorder and strict checker
//   platform/d3d/d3d_internal.h      gD3d.presentWatcher (presented frames kept for the window)
//   lib/network/network_internal.h   NetWorkHookTable (receive budget, HTTP pieces per step)
// This folder is the library dazar_test_hooks, which fills those tables and holds what tests call. Each
// file installs its table before main when the program links it, that is when it calls any of its
// functions (setting a fault or reading a record does):
//   testsupport/test_hooks.h         this header: DirectDraw, sound, movie, converter, MIDI, network and
//                                    sockets
//   testsupport/d3d/d3d_test.h       the 3-D device's recorder, faults, strict mode, lists, counters
//   testsupport/d3d/d3d_test_surface.h  memory surfaces for the 3-D device alone
//   testsupport/window/window_test.h pushed window events, keys, virtual pads, presented frames
//   testsupport/standin_fault.h      the Nth / always fault table the support files share
//   testsupport/standin_live.h       the live-object counts they share
// Every test program links it (through dazar_test_support), every benchmark (dazar_benchmark), and a
// tool does with target_link_libraries(<tool> PRIVATE dazar_test_hooks). A new test hook, recorder or
// fault table goes here, behind a hook table in the stand-in; never into platform/ or lib/ themselves.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/acm/acm.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"
#include "platform/dsound/dsound.h"
#include "platform/mci/mci.h"
#include "platform/winsock/winsock.h"

// ---- display surfaces (ddraw_test.cpp) -----------------------------------------------------------
// Recording is on from the start; the last 4096 calls are kept.
void DdTestClearRecord(void);
// Entry i (0 = oldest kept) / its line "surf3 Lock 0 0 32 32 33 -> 0". 0 / -1.
int DdTestGetRecord(int i, DdRecordEntry *entry);
int DdTestRecordLine(int i, char *text, int size);
// How many kept calls of that method there are.
int DdTestCountCalls(DdMethod method);
// The method's name as the record lines write it ("Lock", "BltFast", ...).
const char *DdMethodName(DdMethod method);
// The nth call of the method from now fails with result (1 = the next; 0 clears it).
void DdTestFailNth(DdMethod method, int nth, int32_t result);
// Every call of the method fails with result (on 1) or none does (on 0).
void DdTestFailAlways(DdMethod method, int on, int32_t result);
// Clears every fault and test setting (desktop format back to 16-bit R5G6B5, the default).
void DdTestResetFaults(void);
// The window-mode desktop format: 16 (R5G6B5) or 32 (X8R8G8B8) bits.
void DdTestSetDesktopBits(int bits);
// Marks every live surface lost (their pixels are kept until Restore).
void DdTestLoseAllSurfaces(void);
// Objects of a kind alive now, for leak checks.
int DdTestLiveCount(DdObjectKind kind);

// ---- sound buffers (dsound_test.cpp) -------------------------------------------------------------
// The nth call of that kind from now fails (1 = the next); 0 clears it.
void DsTestFailNth(DsFaultKind kind, int nth);
// Every call of that kind fails (1) or none (0).
void DsTestFailAlways(DsFaultKind kind, int on);
// CreateSoundBuffer fails for descriptions with exactly these flags (at most 8; 0 clears the list).
void DsTestRefuseBufferFlags(uint32_t flags);
// Replaces the capabilities GetCaps reports (size field ignored); null restores the defaults.
void DsTestSetCaps(const DsCaps *caps);
// How "DSOUND.DLL" looks to the kernel's module loader, for the device report's failure paths.
enum DsModuleMode {
    DS_MODULE_NORMAL,          // loads, and exports "DirectSoundEnumerateA"
    DS_MODULE_NO_ENUMERATE,    // loads, but the export is missing
    DS_MODULE_MISSING,         // does not load
};
void DsTestSetModuleMode(DsModuleMode mode);
// Clears every fault, the refused flags and the caps override; the module is normal again.
void DsTestResetFaults(void);
struct DsBufferInfo {
    uint32_t flags;        // DS_BUF_* as created
    WaveFormat format;
    uint32_t bytes;
    int32_t volume;
    int playing;           // 1 / 0
    int looping;           // 1 / 0
    uint32_t cursor;       // play cursor, bytes
    uint32_t memoryId;     // equal for a buffer and its duplicates
    int primary;           // 1 for the primary buffer
};
// Fills info for a live buffer. 0 / -1.
int DsTestInspect(DsBuffer *buffer, DsBufferInfo *info);
// Buffers that exist now (primary included), for leak checks.
int DsTestLiveBufferCount(void);

// ---- the manual audio output (audio_test.cpp) ----------------------------------------------------
// Mixes frames now on the calling thread and appends them to the capture (manual back end only).
// 0, or -1 when the manual back end is not the open one.
int AudioTestStep(int frames);
// What the manual back end has mixed since the last clear, in device format.
const uint8_t *AudioTestCapture(size_t *bytes);
void AudioTestClearCapture(void);
// Each buffer status query steps the manual back end by this many frames first (0 = off), so calls
// that wait for a sound's end finish without a test thread.
void AudioTestSetAutoAdvance(int framesPerStatusQuery);

// ---- movie streams (dshow_test.cpp) --------------------------------------------------------------
// The nth call of that kind from now fails (1 = the next); 0 clears it.
void MmTestFailNth(MmFaultKind kind, int nth);
// Every call of that kind fails (1) or none (0).
void MmTestFailAlways(MmFaultKind kind, int on);
// Clears every fault.
void MmTestResetFaults(void);
// Objects of this stand-in alive now (graphs, streams, samples, memory surfaces), for leak checks.
int MmTestLiveObjectCount(void);
// Sample updates asked for, frames decoded (converted or not), frames converted into surfaces, and
// seeks, since the last reset.
struct MmTestCounters { int updates; int decoded; int converted; int seeks; };
void MmTestGetCounters(MmTestCounters *out);
void MmTestResetCounters(void);
// Holds every decoder before its next job (1) or lets them go (0): a test stands in for a long decode.
void MmTestHoldDecoders(int hold);
// The next frame a decoder decodes holds its worker in the middle of it until released: a test stands
// in for a frame that takes long.
void MmTestHoldNextFrame(void);
// Every frame any decoder decodes holds its worker in the middle of it while hold is 1: each frame
// takes long.
void MmTestHoldEveryFrame(int hold);
// Waits (on the worker) until one is held there. 0, -1 after a long time.
int MmTestWaitForHeldFrame(void);
// 1 while it is still held.
int MmTestFrameHeld(void);
void MmTestReleaseHeldFrame(void);
// Waits (on the decoders, not the clock) until no decoder has anything to do at the stream time now
// (the clock moved on: the decoders catch up first) and every decoder let go has ended. 0, -1 after a
// long time.
int MmTestWaitForDecoders(void);
// Decoders that hold a codec now (the memory of a decoder), also ones let go still finishing a frame.
int MmTestDecodersHoldingACodec(void);
// Waits (on the decoders) until at most that many have a worker running (also ones let go and still
// finishing a frame). 0, -1 after a long time.
int MmTestWaitForRunningDecoders(int most);

// ---- sound converter (acm_test.cpp) --------------------------------------------------------------
// The nth call of that kind from now fails (1 = the next; 0 clears); or every call (always = 1).
void AcmTestFailNth(AcmFaultKind kind, int nth);
void AcmTestFailAlways(AcmFaultKind kind, int on);
void AcmTestResetFaults(void);
// Streams open now, for leak checks.
int AcmTestOpenStreamCount(void);

// ---- MIDI sequencer (mci_test.cpp) ---------------------------------------------------------------
void MciTestFailNth(MciFaultKind kind, int nth);
// Clears every fault; the port is MCI_SEQ_MAPPER again.
void MciTestResetFaults(void);
// The port MCI_SEQ_STATUS_PORT reports (MCI_SEQ_MAPPER by default).
void MciTestSetPort(uint32_t port);
// Devices open now.
int MciTestOpenDeviceCount(void);

// ---- network (network_test.cpp) ------------------------------------------------------------------
// Bytes one pass takes at most over all connections; 0 returns to the module's own budget.
void NetTestSetReceiveBudget(int32_t bytes);
// Body pieces one pass over the HTTP transfers (or a step alone) takes at most; 0 returns to the
// module's own (as many as its time allows).
void NetTestSetHttpPiecesPerStep(int32_t pieces);
// Counts from now the receives that take bytes from the socket (peeks aside) / how many there were.
void NetTestWatchReceives(WsSocket s);
int NetTestWatchedReceives(void);
// Nonzero: WsPeekAhead fails as on a system that cannot look past the start of a socket's data.
void NetTestRefusePeekAhead(int refused);
