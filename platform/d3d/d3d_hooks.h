// The 3-D device stand-in's test hook table: what the device tells a recorder and a strict checker of
// each call. The test-support library (testsupport/d3d/) fills it; a program that does not link it
// records and checks nothing. Faults come through the stand-ins' fault hook (standin_hooks.h) with the
// call kind, and the texture stage as arg for SetTextureStageState.
#pragma once
#include <cstdint>

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

// What the device counts through the object hook: objects, devices, device copies of surfaces
// (textures and targets), the "gl" back end's context (0 or 1).
enum D3dLiveKind { D3D_LIVE_OBJECTS, D3D_LIVE_DEVICES, D3D_LIVE_SURFACE_COPIES, D3D_LIVE_CONTEXTS };

// The back end's work, handed to the stand-ins' record hook one piece at a time: a draw call, a GL
// state call sent (program, blend, depth, scissor, textures, targets), surface memory sent to the
// device (a rectangle or all of it; a whole surface also counts as a full upload), device drawing
// brought back to memory, a shader program generated.
enum D3dCountKind {
    D3D_COUNT_DRAW,
    D3D_COUNT_STATE_CHANGE,
    D3D_COUNT_UPLOAD,
    D3D_COUNT_FULL_UPLOAD,
    D3D_COUNT_READBACK,
    D3D_COUNT_PROGRAM_BUILT,
    D3D_COUNT_KIND_COUNT
};

// Which devices the object lists (D3dLists.deviceOptions).
enum : uint32_t {
    D3D_TEST_DEVICES_DEFAULT = 0,     // RGB emulation, HAL, T&L HAL
    D3D_TEST_DEVICES_HAL_ONLY = 1,
    D3D_TEST_DEVICES_TNL_FIRST = 2,   // T&L HAL before HAL
    D3D_TEST_DEVICES_NO_16BIT = 4,    // the HAL devices do not render at 16 bits
    D3D_TEST_DEVICES_NONE = 8,        // only the emulation device
};

struct D3dRecorderHooks {
    // Keeps one call; the entry index for its payloads, or -1 when not kept.
    int (*RecordCall)(D3dCallKind kind, char owner, uint32_t ownerId, const int64_t *args, int argCount,
                      int32_t result);
    void (*RecordVertices)(int entry, uint32_t fvf, const void *vertices, uint32_t count);
    void (*RecordIndices)(int entry, const uint16_t *indices, uint32_t count);
    void (*RecordFloats)(int entry, const float *values, int count);
    // Sets the result of an entry kept before the call ran.
    void (*RecordResult)(int entry, int32_t result);
    // A contract violation line ("dev1 draw outside a scene").
    void (*Violation)(const char *line);
};
// Installs the table (null: nothing recorded); null entries do nothing.
void D3dSetRecorderHooks(const D3dRecorderHooks *hooks);
