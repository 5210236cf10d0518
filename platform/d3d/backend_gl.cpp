// The "gl" back end: devices draw with OpenGL through one context (gl_context.cpp) on copies of the
// surfaces they draw into and sample (gl_copies.cpp), with the GL state set from the device's states
// (gl_state.cpp), programs generated from them (gl_shader.cpp) and vertices streamed (gl_draw.cpp);
// fills, copies, flips and presents of surfaces with copies happen on the device (gl_present.cpp).
#include "platform/d3d/gl_internal.h"

// ---- device -------------------------------------------------------------------------------------------
static int GlOpenDevice(D3dDeviceRecord *device)
{
    if (D3dGlOpenContext(D3dPort()->WindowOf(device->target)) != 0) return -1;
    gGlContext.devices++;
    return 0;
}

// A context on a shown window stays while the window does: a device made there again (after a
// display change) finds it with its programs. One on the hidden window goes with its last device.
static void GlCloseDevice(D3dDeviceRecord *device)
{
    if (--gGlContext.devices == 0 && !gGlContext.shown) D3dGlCloseContext();
}

// ---- drawing ------------------------------------------------------------------------------------------
// Nothing to finish: the stream buffers are renewed only when full (gl_draw.cpp), so the scenes of
// many frames share one buffer.
static void GlEndScene(D3dDeviceRecord *device) {}

// ---- surfaces: the copies' own entries (gl_copies.cpp) -------------------------------------------------
const D3dBackend kD3dBackendGl = {"gl", GlOpenDevice, GlCloseDevice, D3dGlDraw, GlEndScene,
                                  D3dGlSyncToMemory, D3dGlForget, D3dGlMarkStale};
