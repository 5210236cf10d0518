// The device on the DirectDraw stand-in's surfaces: the surface table over DdSurface, the device
// copy told of every CPU access, and the 3-D object handed out by the draw object's QueryInterface.
#include <cstring>

#include "platform/d3d/d3d_internal.h"
#include "platform/ddraw/ddraw.h"

// ---- surface table ------------------------------------------------------------------------------------
// The device-side caps of a surface's DirectDraw caps.
static uint32_t CapsOf(uint32_t caps)
{
    uint32_t out = 0;
    if (caps & DD_CAPS_TEXTURE) out |= D3D_SURF_TEXTURE;
    if (caps & DD_CAPS_SYSTEMMEMORY) out |= D3D_SURF_SYSTEM_MEMORY;
    if (caps & DD_CAPS_ZBUFFER) out |= D3D_SURF_ZBUFFER;
    if (!(out & (D3D_SURF_SYSTEM_MEMORY | D3D_SURF_ZBUFFER))) out |= D3D_SURF_RENDER_TARGET;
    return out;
}

static int DdGetView(DdSurface *surface, D3dSurfaceView *out)
{
    DdSurfaceState state;
    if (DdGetSurfaceState(surface, &state) != 0) return -1;
    out->id = surface->id;
    out->width = surface->width;
    out->height = surface->height;
    out->pitch = surface->pitch;
    out->pixels = surface->pixels;
    const DdPixelFormat &f = surface->format;
    out->format = {sizeof(D3dPixelFormat), f.flags, f.fourCC, f.bitCount, f.redMask, f.greenMask, f.blueMask,
                   f.alphaMask};
    out->caps = CapsOf(surface->caps);
    out->hasColorKey = state.hasColorKey;
    out->colorKey = state.colorKey;
    out->zSurface = state.zSurface;
    out->locked = state.locked;
    out->lost = state.lost;
    out->pixelsVersion = 0;  // changes arrive through the device-copy calls
    return 0;
}

static void DdAddRefSurface(DdSurface *surface) { surface->fn->AddRef(surface); }
static void DdReleaseSurface(DdSurface *surface) { surface->fn->Release(surface); }

// ---- device copy --------------------------------------------------------------------------------------
static const D3dRect *AsD3dRect(const DdRect *rect)
{
    static_assert(sizeof(DdRect) == sizeof(D3dRect), "one rectangle layout");
    return reinterpret_cast<const D3dRect *>(rect);
}

static void CopyBeforeCpuAccess(DdSurface *surface, int access) { D3dSurfaceBeforeCpuAccess(surface); }
static void CopyAfterCpuWrite(DdSurface *surface, const DdRect *rect) { D3dSurfaceWritten(surface, AsD3dRect(rect)); }
static void CopyDetach(DdSurface *surface) { D3dSurfaceGone(surface); }
static int CopyFill(DdSurface *surface, const DdRect *rect, uint32_t value)
{
    return D3dSurfaceFill(surface, AsD3dRect(rect), value);
}
// The unscaled copy of a rectangle between two surfaces, made between their device copies.
static int CopyRectOnDevice(DdSurface *dst, const DdRect *d, DdSurface *src, const DdRect *s)
{
    return D3dSurfaceCopy(dst, AsD3dRect(d), src, AsD3dRect(s));
}
static int CopySwap(DdSurface *a, DdSurface *b) { return D3dSurfaceSwap(a, b); }

static const DdDeviceCopyFns kCopyFns = {CopyBeforeCpuAccess, CopyAfterCpuWrite, CopyDetach,
                                         CopyFill,            CopyRectOnDevice,  CopySwap};

// The copy itself lives in the device's table; the surface only needs a non-null mark.
static void DdTrack(DdSurface *surface, int on)
{
    if (on) DdSetDeviceCopy(surface, surface, &kCopyFns);
    else if (surface->deviceCopyFns == &kCopyFns) DdSetDeviceCopy(surface, nullptr, nullptr);
}

static intptr_t DdWindowOf(DdSurface *surface) { return DdGetSurfaceWindow(surface); }

const D3dSurfacePort kD3dDirectDrawPort = {"ddraw", DdGetView, DdAddRefSurface, DdReleaseSurface, DdTrack,
                                           DdWindowOf};

// ---- the 3-D object from the draw object ----------------------------------------------------------------
// The object holds its draw object until its last release.
static void DropDraw(void *draw) { ((DdDraw *)draw)->fn->Release((DdDraw *)draw); }

static int32_t MakeObject(DdDraw *draw, void **out)
{
    D3dObject *object = nullptr;
    int32_t result = D3dCreateObject(&object);
    if (result != D3D_OK) return result;
    draw->fn->AddRef(draw);
    D3dObjectRecord *record = (D3dObjectRecord *)object;
    record->owner = draw;
    record->dropOwner = DropDraw;
    *out = object;
    return D3D_OK;
}

int D3dRegisterWithDirectDraw(void)
{
    static int registered;
    if (registered) return 0;
    DdGuid iid;
    static_assert(sizeof iid == sizeof kD3dGuidObject, "one GUID layout");
    memcpy(&iid, &kD3dGuidObject, sizeof iid);
    if (DdRegisterInterface(&iid, MakeObject) != 0) return -1;
    DdSetPresenter(D3dSurfacePresent);
    registered = 1;
    return 0;
}
