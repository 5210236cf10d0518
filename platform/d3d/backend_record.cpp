// The "record" back end: devices draw nothing. For call-sequence tests and machines without OpenGL;
// the recorder, the checks and every state work as on the "gl" back end.
#include "platform/d3d/d3d_internal.h"

// ---- device -------------------------------------------------------------------------------------------
static int RecordOpenDevice(D3dDeviceRecord *device) { return 0; }
static void RecordCloseDevice(D3dDeviceRecord *device) {}

// ---- drawing ------------------------------------------------------------------------------------------
static int32_t RecordDraw(D3dDeviceRecord *device, uint32_t type, uint32_t fvf, const void *vertices, uint32_t count,
                          const uint16_t *indices, uint32_t indexCount)
{
    D3dCount(D3D_COUNT_DRAW);
    return D3D_OK;
}

static void RecordEndScene(D3dDeviceRecord *device) {}

// ---- surfaces -----------------------------------------------------------------------------------------
// Memory pixels are the only pixels here.
static void RecordSurfaceNoop(DdSurface *surface) {}

const D3dBackend kD3dBackendRecord = {"record", RecordOpenDevice, RecordCloseDevice, RecordDraw, RecordEndScene,
                                      RecordSurfaceNoop, RecordSurfaceNoop, RecordSurfaceNoop};
