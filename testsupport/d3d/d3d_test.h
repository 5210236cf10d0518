// Test hooks of the 3-D device stand-in: the call recorder, fault injection, strict mode, the
// enumeration lists, live-object counters, device snapshots and per-frame counters. The stand-in calls
// them through its hook table (platform/d3d/d3d_hooks.h), filled when a program links this library.
#pragma once
#include <cstdint>

#include "platform/d3d/d3d.h"
#include "platform/d3d/d3d_hooks.h"
#include "platform/d3d/d3d_internal.h"

// ---- recorder -------------------------------------------------------------------------------------
// Recording is off until turned on; Clear empties the log (ids keep counting).
void D3dTestRecord(int on);
void D3dTestClearLog(void);
// Index of the next entry, for D3dTestLogText(mark).
int D3dTestMark(void);
int D3dTestLogCount(void);
// The canonical texts of the entries from `from` on, one line each ("dev1 RS ZENABLE 0\n"), optionally
// only of one kind (-1: every kind). Valid until the next recorder call.
const char *D3dTestLogText(int from, int kind);
struct D3dRecordedVertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float u0, v0, u1, v1;
};
// The decoded vertices of a draw entry (null and 0 for another entry). Valid until the next record.
const D3dRecordedVertex *D3dTestLogVertices(int entry, int *count);
const uint16_t *D3dTestLogIndices(int entry, int *count);
D3dCallKind D3dTestLogKind(int entry);

// ---- fault injection -------------------------------------------------------------------------------
// After `skip` more calls of the kind pass, the next `count` calls (-1: all) return `code` without
// effect. count 0 clears the kind. SetTextureStageState may be limited to one stage (-1: any).
void D3dTestFail(D3dCallKind kind, int32_t code, int count, int skip);
void D3dTestFailStage(int stage);

// ---- strict mode ----------------------------------------------------------------------------------
// While on, contract violations are kept as lines: a draw outside a scene, a nested BeginScene, an
// EndScene without a scene, an invalid state value (SRCBLEND, DESTBLEND and ALPHAFUNC 0 are allowed until
// the first scene), a system-memory render target, a viewport outside the target, SetTexture of a
// surface that is not a texture, FOGENABLE 1, a draw with a locked target or texture.
void D3dTestStrict(int on);
int D3dTestViolationCount(void);
const char *D3dTestViolations(void);  // the lines, "" when none

// ---- enumeration lists ----------------------------------------------------------------------------
// Which devices the object lists: D3D_TEST_DEVICES_* (platform/d3d/d3d_hooks.h).
void D3dTestSetDeviceList(uint32_t options);
// Replaces the caps both HAL devices report (GUID and bit depths are kept); null restores the defaults.
void D3dTestSetCaps(const D3dDeviceDesc *caps);
// Replaces the texture format list (at most 16); null restores the defaults.
void D3dTestSetTextureFormats(const D3dPixelFormat *formats, int count);
// The default caps of a HAL device.
void D3dTestDefaultCaps(D3dDeviceDesc *out);
// The default device list, caps and texture formats again.
void D3dTestResetLists(void);

// Clears faults, strict lines, the log and the lists; back end by DAZAR_D3D again; object and device
// numbers in the texts start again from 1.
void D3dTestReset(void);

// ---- objects and state ----------------------------------------------------------------------------
// Objects of the kind alive now (D3dLiveKind: platform/d3d/d3d_hooks.h).
int D3dTestLiveCount(D3dLiveKind kind);

// Everything a device would draw with, for before/after comparisons. Surfaces by recorder id (0 = none).
struct D3dDeviceSnapshot {
    uint32_t rs[D3D_RS_COUNT];
    uint32_t tss[D3D_MAX_STAGES][D3D_TSS_COUNT];
    uint32_t textures[D3D_MAX_STAGES];
    uint32_t target;
    D3dViewport viewport;
    int inScene;
};
int D3dTestSnapshot(D3dDevice *device, D3dDeviceSnapshot *out);  // 0 / -1

// Work of the back end since the last reset, for benchmarks (D3dCountKind: platform/d3d/d3d_hooks.h).
struct D3dCounters {
    uint64_t draws, stateChanges, uploads, fullUploads, readbacks, programsBuilt;
};
void D3dTestGetCounters(D3dCounters *out);
void D3dTestResetCounters(void);

// ---- presents -------------------------------------------------------------------------------------
// While on, every present the device makes in its window also reads the window's framebuffer back
// before the swap and keeps what it shows as the window's presented frame (WTestGetPresentedFrame), as
// a present from memory is kept; off (the default), a present is a buffer swap alone.
void D3dTestKeepPresentedFrames(int on);
// Waits until the device has done all the work it was given (for timing whole frames).
void D3dTestFinish(void);
