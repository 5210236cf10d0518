// Inside the 3-D device stand-in: the object and device records, the back-end table, the enumeration
// lists and the calls to the test hooks. Only platform/d3d and its test hooks include this.
#pragma once
#include <cstdint>

#include "platform/d3d/d3d.h"
#include "platform/d3d/d3d_surface.h"
#include "platform/d3d/d3d_hooks.h"
#include "platform/kernel/standin_hooks.h"

struct D3dBackend;

struct D3dObjectRecord {
    D3dObject object;  // first, so the pointers convert
    int refs;
    uint32_t id;
    void *owner;                     // the draw object it came from (held), or null
    void (*dropOwner)(void *owner);  // releases owner
};

struct D3dDeviceRecord {
    D3dDevice object;  // first, so the pointers convert
    int refs;
    uint32_t id;
    const D3dBackend *backend;
    void *backendData;                    // the back end's own record
    DdSurface *target;                    // held
    DdSurface *textures[D3D_MAX_STAGES];  // held
    uint32_t rs[D3D_RS_COUNT];
    uint32_t tss[D3D_MAX_STAGES][D3D_TSS_COUNT];
    D3dViewport viewport;
    float transforms[D3D_TS_COUNT][16];
    int inScene;
    int drawn;                            // a scene has begun: the creation whitelist is over
    D3dDeviceRecord *next;                // list of live devices
};

// One back end of the device. Every entry is filled (stubs where a back end has nothing to do).
struct D3dBackend {
    const char *name;
    int (*OpenDevice)(D3dDeviceRecord *device);   // 0 / -1 (cannot draw here)
    void (*CloseDevice)(D3dDeviceRecord *device);
    // Draws vertices (already validated) with the device's states; indices null for a plain draw.
    int32_t (*Draw)(D3dDeviceRecord *device, uint32_t type, uint32_t fvf, const void *vertices, uint32_t count,
                    const uint16_t *indices, uint32_t indexCount);
    void (*EndScene)(D3dDeviceRecord *device);
    // The device's copy of a surface: bring its drawing into memory / drop it / mark it stale.
    void (*SyncToMemory)(DdSurface *surface);
    void (*Forget)(DdSurface *surface);
    void (*MarkStale)(DdSurface *surface);
};
extern const D3dBackend kD3dBackendGl;
extern const D3dBackend kD3dBackendRecord;

// ---- shared by the object, the device and the back ends ------------------------------------------
// The stand-in's own state.
struct D3dState {
    const D3dSurfacePort *port;
    D3dDeviceRecord *devices;       // live devices
    uint32_t nextObjectId, nextDeviceId;
    // Told of every present by the device once the picture is in the window's framebuffer, before the
    // swap (a test hook reads the window back, inside the present's WRunOnDisplay: it holds no lock and
    // nothing to free over a call that reaches the display); or null.
    void (*presentWatcher)(DdSurface *surface, intptr_t window);
};
extern D3dState gD3d;

// The surface table of the DirectDraw stand-in (surface_ddraw.cpp), used unless another is set.
extern const D3dSurfacePort kD3dDirectDrawPort;
// The table in use.
const D3dSurfacePort *D3dPort(void);

// The view of a live surface, or -1.
int D3dViewOf(DdSurface *surface, D3dSurfaceView *out);
void D3dHold(DdSurface *surface);
void D3dDrop(DdSurface *surface);

// ---- enumeration lists (d3d_object.cpp) ------------------------------------------------------------
#define D3D_MAX_LISTED 16
// What the object lists; tests change it through the test hooks.
struct D3dLists {
    uint32_t deviceOptions;  // D3D_TEST_DEVICES_*
    int capsSet;             // 1: the HAL devices report caps
    D3dDeviceDesc caps;
    int textureCount;        // -1: the default texture formats
    D3dPixelFormat texture[D3D_MAX_LISTED];
};
extern D3dLists gD3dLists;
// The default caps of a HAL device.
void D3dDefaultCaps(D3dDeviceDesc *out);
// The texture formats listed now.
const D3dPixelFormat *D3dTextureFormats(int *count);
// Calls back for each format of a list until the callback cancels.
int32_t D3dEnumFormatList(const D3dPixelFormat *list, int count, D3dEnumPixelFormatsCallback callback,
                          void *context);

// ---- the "gl" back end's surface work (gl_copies.cpp, gl_present.cpp, gl_context.cpp) --------------
// The CPU wrote rect (null: all) of a surface's memory: only what changed goes to the device later.
void D3dGlWritten(DdSurface *surface, const D3dRect *rect);
// Work done on the device's copies; 1 when done, 0 to leave it to the memory pixels.
int D3dGlFill(DdSurface *surface, const D3dRect *rect, uint32_t value);
int D3dGlCopyRect(DdSurface *dst, const D3dRect *d, DdSurface *src, const D3dRect *s);
int D3dGlSwap(DdSurface *a, DdSurface *b);
// Shows the surface in the window the context draws into: 0, or -1 when that is not this window.
int D3dGlPresent(DdSurface *surface, intptr_t window);
// Waits for the device's work (nothing without a context).
void D3dGlFinish(void);

// Makes a device of the back end drawing into target (d3d_device.cpp). Result code.
int32_t D3dMakeDevice(const D3dBackend *backend, DdSurface *target, uint32_t objectId, D3dDevice **out);

// ---- test hooks (d3d_hooks.cpp) -----------------------------------------------------------------------
// Hands one call to the recorder; the entry index for payloads, or -1 when it is not kept.
int D3dRecordCall(D3dCallKind kind, char owner, uint32_t ownerId, const int64_t *args, int argCount,
                  int32_t result);
void D3dRecordVertices(int entry, uint32_t fvf, const void *vertices, uint32_t count);
void D3dRecordIndices(int entry, const uint16_t *indices, uint32_t count);
void D3dRecordFloats(int entry, const float *values, int count);
// Sets the result of an entry recorded before the call ran.
void D3dRecordResult(int entry, int32_t result);
// The injected result of this call (arg: the texture stage of SetTextureStageState, else -1), or D3D_OK.
inline int32_t D3dFaultCheck(D3dCallKind kind, int64_t arg = -1) { return StandInFault(STAND_IN_D3D, kind, arg); }
// Hands one piece of the back end's work to the record hook.
inline void D3dCount(D3dCountKind kind) { StandInRecord(STAND_IN_D3D, &kind); }
// Tells the object hook of an object of the kind made (delta 1) or freed (-1).
inline void D3dCountObject(D3dLiveKind kind, int delta) { StandInCountObject(STAND_IN_D3D, kind, delta); }
// Tells the strict checker of a contract violation (formatted only when one listens).
void D3dViolation(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Names for texts. "?" when unknown.
struct D3dName {
    uint32_t value;
    const char *name;
};
// The name of value in a table of count names, or null.
const char *D3dNameOf(const D3dName *table, int count, uint32_t value);
const char *D3dRenderStateName(uint32_t state);
const char *D3dStageStateName(uint32_t state);
