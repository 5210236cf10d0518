// How the 3-D device reaches the surfaces it draws into and samples: one table the DirectDraw
// stand-in (or a test) installs, and the calls it makes back so the device's own copy of a surface
// stays in step with the surface's memory pixels.
#pragma once
#include <cstdint>

#include "platform/d3d/d3d.h"

enum : uint32_t {
    D3D_SURF_TEXTURE = 0x1,        // may be sampled
    D3D_SURF_SYSTEM_MEMORY = 0x2,  // cannot be a render target
    D3D_SURF_ZBUFFER = 0x4,
    D3D_SURF_RENDER_TARGET = 0x8,  // primary, back buffer, 3-D texture
};

// What the device reads of a surface at the moment of the call.
struct D3dSurfaceView {
    uint32_t id;             // stable number for the recorder
    int width, height;
    int32_t pitch;           // bytes per row
    uint8_t *pixels;         // memory pixels, row 0 first
    D3dPixelFormat format;
    uint32_t caps;           // D3D_SURF_*
    int hasColorKey;         // source colour key set
    uint32_t colorKey;       // its value in the surface's format
    DdSurface *zSurface;     // attached depth surface, or null
    int locked;
    int lost;
    uint32_t pixelsVersion;  // changes whenever the memory pixels may have changed
};

struct D3dSurfacePort {
    const char *name;
    int (*GetView)(DdSurface *surface, D3dSurfaceView *out);  // 0 / -1 (not a live surface)
    void (*AddRef)(DdSurface *surface);
    void (*Release)(DdSurface *surface);
    // The device keeps (on) or drops (off) a copy of the surface; a stand-in that reports changes
    // through the calls below rather than pixelsVersion starts and stops doing so here.
    void (*Track)(DdSurface *surface, int on);
    // The window the surface is shown in (where the device may draw and present directly), 0 when none.
    intptr_t (*WindowOf)(DdSurface *surface);
};

// Installs the surface table; null returns to the DirectDraw stand-in's surfaces.
void D3dSetSurfacePort(const D3dSurfacePort *port);

// Lets the DirectDraw stand-in's QueryInterface hand out the 3-D object (kD3dGuidObject), which then
// holds its draw object. Once per process; later calls do nothing. 0 / -1.
int D3dRegisterWithDirectDraw(void);

// The surface stand-in calls these:
// before the CPU reads or writes a surface's memory (Lock, GetDC, a blit from or into it, the flip),
// so what the device drew there reaches the memory pixels first;
void D3dSurfaceBeforeCpuAccess(DdSurface *surface);
// after the CPU wrote rect (null: all) of the memory pixels (when pixelsVersion does not say so);
void D3dSurfaceWritten(DdSurface *surface, const D3dRect *rect);
// when a surface is freed or its pixels are let go, so the device drops its copy.
void D3dSurfaceGone(DdSurface *surface);
// Work the device does on its copies instead of the memory pixels, 1 when it did it (0: the surface
// stand-in does it on the memory): a fill of rect with a pixel value (colour, or depth for a Z surface);
int D3dSurfaceFill(DdSurface *surface, const D3dRect *rect, uint32_t value);
// an unscaled copy from rect s of src to rect d of dst;
int D3dSurfaceCopy(DdSurface *dst, const D3dRect *d, DdSurface *src, const D3dRect *s);
// a flip, the two surfaces' pictures swapping;
int D3dSurfaceSwap(DdSurface *a, DdSurface *b);
// and a present of the surface in the window the device draws into: one buffer swap. 0 / -1 (not
// that window: the surface stand-in presents from memory).
int D3dSurfacePresent(DdSurface *surface, intptr_t window);
