// Multimedia-stream stand-in: the surface access and its default memory surfaces.
#include "platform/dshow/dshow_internal.h"

#include <cstdlib>

struct MmMemorySurface {
    uint32_t refs;
    int width, height, pitch;
    uint32_t bitCount, redMask, greenMask, blueMask;
    uint8_t *pixels;
};

MmMemorySurface *MmCreateMemorySurface(int width, int height, uint32_t bitCount, uint32_t redMask,
                                       uint32_t greenMask, uint32_t blueMask)
{
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 || bitCount == 0 || bitCount > 32) return nullptr;
    MmMemorySurface *surface = (MmMemorySurface *)calloc(1, sizeof(MmMemorySurface));
    if (!surface) return nullptr;
    surface->pitch = (int)(((uint32_t)width * ((bitCount + 7) / 8) + 3) & ~3u);
    surface->pixels = (uint8_t *)calloc((size_t)surface->pitch, (size_t)height);
    if (!surface->pixels) {
        free(surface);
        return nullptr;
    }
    surface->refs = 1;
    surface->width = width;
    surface->height = height;
    surface->bitCount = bitCount;
    surface->redMask = redMask;
    surface->greenMask = greenMask;
    surface->blueMask = blueMask;
    MmCountObject(1);
    return surface;
}

int MmInspectMemorySurface(MmMemorySurface *surface, MmSurfaceLock *out)
{
    if (!surface) return -1;
    *out = MmSurfaceLock{surface->pixels, surface->pitch, surface->width, surface->height,
                         surface->bitCount, surface->redMask, surface->greenMask, surface->blueMask};
    return 0;
}

void MmAddRefMemorySurface(MmMemorySurface *surface) { surface->refs++; }

void MmReleaseMemorySurface(MmMemorySurface *surface)
{
    if (!surface || --surface->refs > 0) return;
    free(surface->pixels);
    free(surface);
    MmCountObject(-1);
}

// ---- the default access over memory surfaces --------------------------------------------------------

static int MemoryLock(void *surface, MmSurfaceLock *out) { return MmInspectMemorySurface((MmMemorySurface *)surface, out); }
static void MemoryUnlock(void *) {}
static void MemoryAddRef(void *surface) { MmAddRefMemorySurface((MmMemorySurface *)surface); }
static void MemoryRelease(void *surface) { MmReleaseMemorySurface((MmMemorySurface *)surface); }

static void *MemoryCreate(void *, int width, int height)
{
    return MmCreateMemorySurface(width, height, 32, 0x00FF0000, 0x0000FF00, 0x000000FF);
}

static const MmSurfaceAccess kMemoryAccess = {"memory", MemoryLock, MemoryUnlock, MemoryAddRef, MemoryRelease,
                                              MemoryCreate};
static MmSurfaceAccess g_access = kMmDisplayAccess;

const MmSurfaceAccess *MmMemorySurfaceAccess(void) { return &kMemoryAccess; }

int MmSetSurfaceAccess(const MmSurfaceAccess *access)
{
    g_access = access ? *access : kMmDisplayAccess;
    return 0;
}

const MmSurfaceAccess *MmGetSurfaceAccess(void) { return &g_access; }
