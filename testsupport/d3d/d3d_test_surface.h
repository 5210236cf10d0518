// Plain memory surfaces for the 3-D device's own tests and benchmark: they fill the device's surface
// table without the DirectDraw stand-in. A test changes their fields directly and calls
// D3dTestTouchSurface after writing pixels (as an Unlock would).
#pragma once
#include <cstdint>

#include "platform/d3d/d3d_surface.h"

struct D3dTestSurface {
    D3dSurfaceView view;   // what the device sees; pixels owned by the surface
    int refs;
};

// A zero-filled surface of the format (16 or 32 bits) with one reference; null on bad input.
// caps: D3D_SURF_* (texture, render target, system memory, Z buffer).
D3dTestSurface *D3dTestCreateSurface(int width, int height, const D3dPixelFormat *format, uint32_t caps);
DdSurface *D3dTestSurfaceHandle(D3dTestSurface *surface);
// Drops one reference; the last frees the surface (and tells the device).
void D3dTestReleaseSurface(D3dTestSurface *surface);
// The pixels changed in memory (an Unlock would say so).
void D3dTestTouchSurface(D3dTestSurface *surface);
// Brings what the device drew into memory, as a Lock would; returns the row of y.
uint8_t *D3dTestReadRow(D3dTestSurface *surface, int y);
// Installs the memory-surface table as the device's surface table.
void D3dTestUseMemorySurfaces(void);
// Surfaces alive now.
int D3dTestLiveSurfaces(void);

// Common formats.
extern const D3dPixelFormat kD3dFormat565;
extern const D3dPixelFormat kD3dFormatX888;
extern const D3dPixelFormat kD3dFormat8888;
extern const D3dPixelFormat kD3dFormat1555;
extern const D3dPixelFormat kD3dFormat4444;
extern const D3dPixelFormat kD3dFormatZ16;
