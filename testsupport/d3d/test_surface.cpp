// Memory surfaces behind the device's surface table, for tests and benchmarks of the device alone.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "testsupport/d3d/d3d_test_surface.h"

const D3dPixelFormat kD3dFormat565 = {32, D3D_PF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
const D3dPixelFormat kD3dFormatX888 = {32, D3D_PF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
const D3dPixelFormat kD3dFormat8888 = {32, D3D_PF_RGB | D3D_PF_ALPHAPIXELS, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
const D3dPixelFormat kD3dFormat1555 = {32, D3D_PF_RGB | D3D_PF_ALPHAPIXELS, 0, 16, 0x7C00, 0x03E0, 0x001F, 0x8000};
const D3dPixelFormat kD3dFormat4444 = {32, D3D_PF_RGB | D3D_PF_ALPHAPIXELS, 0, 16, 0x0F00, 0x00F0, 0x000F, 0xF000};
const D3dPixelFormat kD3dFormatZ16 = {32, D3D_PF_ZBUFFER, 0, 16, 0, 0xFFFF, 0, 0};

static int sLive;
static uint32_t sNextId;

D3dTestSurface *D3dTestCreateSurface(int width, int height, const D3dPixelFormat *format, uint32_t caps)
{
    if (width <= 0 || height <= 0 || width > 32768 || height > 32768 || !format) return nullptr;
    if (format->bitCount != 16 && format->bitCount != 32) return nullptr;
    D3dTestSurface *surface = (D3dTestSurface *)calloc(1, sizeof *surface);
    if (!surface) return nullptr;
    surface->view.pitch = width * (int)(format->bitCount / 8);
    surface->view.pixels = (uint8_t *)calloc((size_t)surface->view.pitch, (size_t)height);
    if (!surface->view.pixels) {
        free(surface);
        return nullptr;
    }
    surface->view.id = ++sNextId;
    surface->view.width = width;
    surface->view.height = height;
    surface->view.format = *format;
    surface->view.caps = caps;
    surface->view.pixelsVersion = 1;
    surface->refs = 1;
    sLive++;
    return surface;
}

DdSurface *D3dTestSurfaceHandle(D3dTestSurface *surface) { return (DdSurface *)surface; }

void D3dTestReleaseSurface(D3dTestSurface *surface)
{
    if (!surface || --surface->refs > 0) return;
    D3dSurfaceGone((DdSurface *)surface);
    free(surface->view.pixels);
    free(surface);
    sLive--;
}

void D3dTestTouchSurface(D3dTestSurface *surface) { surface->view.pixelsVersion++; }

uint8_t *D3dTestReadRow(D3dTestSurface *surface, int y)
{
    D3dSurfaceBeforeCpuAccess((DdSurface *)surface);
    return surface->view.pixels + (ptrdiff_t)surface->view.pitch * y;
}

int D3dTestLiveSurfaces(void) { return sLive; }

// ---- the table ----------------------------------------------------------------------------------------
static int MemoryGetView(DdSurface *surface, D3dSurfaceView *out)
{
    *out = ((D3dTestSurface *)surface)->view;
    return 0;
}

static void MemoryAddRef(DdSurface *surface) { ((D3dTestSurface *)surface)->refs++; }
static void MemoryRelease(DdSurface *surface) { D3dTestReleaseSurface((D3dTestSurface *)surface); }

// Changes are told by pixelsVersion.
static void MemoryTrack(DdSurface *surface, int on) {}

// They show in no window.
static intptr_t MemoryWindowOf(DdSurface *surface) { return 0; }

static const D3dSurfacePort kMemoryPort = {"memory", MemoryGetView, MemoryAddRef, MemoryRelease, MemoryTrack,
                                           MemoryWindowOf};

void D3dTestUseMemorySurfaces(void) { D3dSetSurfacePort(&kMemoryPort); }
