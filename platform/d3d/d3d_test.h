// Test hooks of the 3-D device stand-in: the call recorder, fault injection, strict mode, the
// enumeration lists, live-object counters, device snapshots and per-frame counters.
#pragma once
#include <cstdint>

#include "platform/d3d/d3d.h"

enum D3dCallKind {
    D3D_CALL_CREATE_OBJECT,
    D3D_CALL_OBJECT_RELEASE,
    D3D_CALL_ENUM_DEVICES,
    D3D_CALL_ENUM_ZBUFFER_FORMATS,
    D3D_CALL_CREATE_DEVICE,
    D3D_CALL_DEVICE_RELEASE,
    D3D_CALL_ENUM_TEXTURE_FORMATS,
    D3D_CALL_SET_RENDER_STATE,
    D3D_CALL_SET_TEXTURE_STAGE_STATE,
    D3D_CALL_SET_TEXTURE,
    D3D_CALL_SET_RENDER_TARGET,
    D3D_CALL_SET_VIEWPORT,
    D3D_CALL_SET_TRANSFORM,
    D3D_CALL_BEGIN_SCENE,
    D3D_CALL_END_SCENE,
    D3D_CALL_DRAW_PRIMITIVE,
    D3D_CALL_DRAW_INDEXED_PRIMITIVE,
    D3D_CALL_LOAD,
    D3D_CALL_KIND_COUNT
};

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
int32_t D3dTestLogResult(int entry);

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
// Adds a line from the surface stand-in (a locked surface locked again).
void D3dTestReportViolation(const char *text);

// ---- enumeration lists ----------------------------------------------------------------------------
enum : uint32_t {
    D3D_TEST_DEVICES_DEFAULT = 0,     // RGB emulation, HAL, T&L HAL
    D3D_TEST_DEVICES_HAL_ONLY = 1,
    D3D_TEST_DEVICES_TNL_FIRST = 2,   // T&L HAL before HAL
    D3D_TEST_DEVICES_NO_16BIT = 4,    // the HAL devices do not render at 16 bits
    D3D_TEST_DEVICES_NONE = 8,        // only the emulation device
};
void D3dTestSetDeviceList(uint32_t options);
// Replaces the caps both HAL devices report (GUID and bit depths are kept); null restores the defaults.
void D3dTestSetCaps(const D3dDeviceDesc *caps);
// Replaces the depth / texture format lists (at most 16); null restores the defaults.
void D3dTestSetZFormats(const D3dPixelFormat *formats, int count);
void D3dTestSetTextureFormats(const D3dPixelFormat *formats, int count);
// The default caps of a HAL device.
void D3dTestDefaultCaps(D3dDeviceDesc *out);

// Clears faults, strict lines, the log and the lists; back end by DAZAR_D3D again; object and device
// numbers in the texts start again from 1.
void D3dTestReset(void);

// ---- objects and state ----------------------------------------------------------------------------
enum D3dLiveKind { D3D_LIVE_OBJECTS, D3D_LIVE_DEVICES, D3D_LIVE_SURFACE_COPIES };
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

// Work of the back end since the last reset, for benchmarks.
struct D3dCounters {
    uint64_t draws;         // back-end draw calls
    uint64_t stateChanges;  // GL state calls sent (program, blend, depth, scissor, textures, targets)
    uint64_t uploads;       // surface memory sent to the device (a rectangle or all of it)
    uint64_t fullUploads;   // of them, the uploads of a whole surface
    uint64_t readbacks;     // device drawing brought back to memory
    uint64_t programsBuilt; // shader programs generated
};
void D3dTestGetCounters(D3dCounters *out);
void D3dTestResetCounters(void);

// ---- presents -------------------------------------------------------------------------------------
// While on, every present the device makes in its window also reads the presented picture back (one
// read-back) and keeps it as the window's presented frame (WGetPresentedFrame), as a present from
// memory does; off (the default), a present is a buffer swap alone.
void D3dTestKeepPresentedFrames(int on);
// Waits until the device has done all the work it was given (for timing whole frames).
void D3dTestFinish(void);
