// Test settings and views of the 3-D device stand-in: its enumeration lists and device snapshots.
#include <cstring>

#include "platform/d3d/d3d_internal.h"
#include "testsupport/d3d/d3d_test.h"

// ---- enumeration lists --------------------------------------------------------------------------------
void D3dTestDefaultCaps(D3dDeviceDesc *out) { D3dDefaultCaps(out); }

void D3dTestSetDeviceList(uint32_t options) { gD3dLists.deviceOptions = options; }

void D3dTestSetCaps(const D3dDeviceDesc *caps)
{
    gD3dLists.capsSet = caps != nullptr;
    if (caps) gD3dLists.caps = *caps;
}

void D3dTestSetTextureFormats(const D3dPixelFormat *formats, int count)
{
    if (!formats || count < 0) {
        gD3dLists.textureCount = -1;
        return;
    }
    gD3dLists.textureCount = count < D3D_MAX_LISTED ? count : D3D_MAX_LISTED;
    memcpy(gD3dLists.texture, formats, sizeof *formats * (size_t)gD3dLists.textureCount);
}

void D3dTestResetLists(void)
{
    gD3dLists.deviceOptions = 0;
    gD3dLists.capsSet = 0;
    gD3dLists.textureCount = -1;
}

// ---- device state -------------------------------------------------------------------------------------
// A surface's recorder id, 0 for none.
static uint32_t SurfaceId(DdSurface *surface)
{
    D3dSurfaceView view;
    return D3dViewOf(surface, &view) == 0 ? view.id : 0;
}

int D3dTestSnapshot(D3dDevice *self, D3dDeviceSnapshot *out)
{
    if (!self || !out) return -1;
    const D3dDeviceRecord *device = (const D3dDeviceRecord *)self;
    memset(out, 0, sizeof *out);
    memcpy(out->rs, device->rs, sizeof out->rs);
    memcpy(out->tss, device->tss, sizeof out->tss);
    for (int s = 0; s < D3D_MAX_STAGES; s++) out->textures[s] = SurfaceId(device->textures[s]);
    out->target = SurfaceId(device->target);
    out->viewport = device->viewport;
    out->inScene = device->inScene;
    return 0;
}
