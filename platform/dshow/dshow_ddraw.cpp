// Multimedia-stream stand-in: the surface access over the display stand-in's surfaces, the default.
#include "platform/dshow/dshow_internal.h"

#include "platform/ddraw/ddraw.h"

static int DisplayLock(void *surface, MmSurfaceLock *out)
{
    DdSurface *s = (DdSurface *)surface;
    DdSurfaceDesc desc = {};
    desc.size = sizeof(desc);
    if (s->fn->Lock(s, nullptr, &desc, DD_LOCK_WAIT | DD_LOCK_WRITEONLY) != DD_OK) return -1;
    const DdPixelFormat &f = desc.pixelFormat;
    *out = MmSurfaceLock{(uint8_t *)desc.surface, desc.pitch, (int)desc.width, (int)desc.height,
                         (f.flags & DD_PF_RGB) ? f.bitCount : 0, f.redMask, f.greenMask, f.blueMask};
    return 0;
}

static void DisplayUnlock(void *surface) { ((DdSurface *)surface)->fn->Unlock((DdSurface *)surface, nullptr); }
static void DisplayAddRef(void *surface) { ((DdSurface *)surface)->fn->AddRef((DdSurface *)surface); }
static void DisplayRelease(void *surface) { ((DdSurface *)surface)->fn->Release((DdSurface *)surface); }

// The stream's own surface: system memory, X8R8G8B8.
static void *DisplayCreate(void *directDraw, int width, int height)
{
    DdDraw *draw = (DdDraw *)directDraw;
    if (!draw) return nullptr;
    DdSurfaceDesc desc = {};
    desc.size = sizeof(desc);
    desc.flags = DD_SD_CAPS | DD_SD_WIDTH | DD_SD_HEIGHT | DD_SD_PIXELFORMAT;
    desc.caps = DD_CAPS_OFFSCREENPLAIN | DD_CAPS_SYSTEMMEMORY;
    desc.width = (uint32_t)width;
    desc.height = (uint32_t)height;
    DdMakePixelFormat(888, &desc.pixelFormat);
    DdSurface *surface = nullptr;
    return draw->fn->CreateSurface(draw, &desc, &surface, nullptr) == DD_OK ? surface : nullptr;
}

const MmSurfaceAccess kMmDisplayAccess = {"display", DisplayLock, DisplayUnlock, DisplayAddRef, DisplayRelease,
                                          DisplayCreate};
