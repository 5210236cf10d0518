// Stand-in for the display-surface device the graphics core draws through: a draw object (display
// mode, cooperative level, caps, surface and clipper creation) and surfaces whose pixels live in
// memory in their own format, with lock / blit / colour key / loss / flip calls and GDI-like device
// contexts for a copy between two surfaces. The primary surface is shown in the window through
// platform/window (WPresentPixels) whenever a flip or a blit changes it.
//
// Objects are plain structs whose first field is a table of calls, used as
//     surface->fn->Lock(surface, &rect, &desc, DD_LOCK_WAIT);
// Everything runs on the main thread. Results are DD_OK (0) or a negative DD_ERR_* code.
//
// Behaviour the graphics core and the 3-D device rely on:
// - Pixel memory never moves while the surface lives (Restore and Flip keep the blocks; Flip swaps
//   the blocks of the front and back surfaces, and their pixels pointers with them).
// - Lock hands out a pointer to the rectangle's top-left pixel; a second Lock of a locked surface
//   is DD_ERR_SURFACEBUSY. A lost surface refuses Lock, Blt, BltFast, GetDC and Flip with
//   DD_ERR_SURFACELOST until Restore, which keeps the memory but not the pixels (filled 0xCD).
// - A surface may carry a device-side copy of its pixels (deviceCopy / deviceCopyFns): every CPU
//   access in this stand-in tells it first (BeforeCpuAccess) and every CPU write afterwards
//   (AfterCpuWrite); the copy is detached on Restore and at the last Release.
#pragma once
#include <cstdint>

#include "platform/window/window.h"

// ---- results -------------------------------------------------------------------------------------
enum : int32_t {
    DD_OK = 0,
    DD_ERR_GENERIC = (int32_t)0x80004005,
    DD_ERR_UNSUPPORTED = (int32_t)0x80004001,
    DD_ERR_NO_INTERFACE = (int32_t)0x80004002,
    DD_ERR_INVALID_PARAMS = (int32_t)0x80070057,
    DD_ERR_OUT_OF_MEMORY = (int32_t)0x8007000E,
    DD_ERR_INVALID_PIXEL_FORMAT = (int32_t)0x88760091,
    DD_ERR_INVALID_RECT = (int32_t)0x88760096,
    DD_ERR_NO_COLOR_KEY = (int32_t)0x887600D7,
    DD_ERR_NOT_FLIPPABLE = (int32_t)0x887600E6,
    DD_ERR_NOT_FOUND = (int32_t)0x887600FF,
    DD_ERR_SURFACE_ALREADY_ATTACHED = (int32_t)0x88760104,
    DD_ERR_SURFACE_BUSY = (int32_t)0x887601AE,
    DD_ERR_NOT_LOCKED = (int32_t)0x887601C0,
    DD_ERR_SURFACE_LOST = (int32_t)0x887601C2,
    DD_ERR_CANT_CREATE_DC = (int32_t)0x8876021D,
    DD_ERR_DC_ALREADY_CREATED = (int32_t)0x8876026C,
    DD_ERR_NO_DC = (int32_t)0x8876026D,
    DD_ERR_WRONG_MODE = (int32_t)0x8876024B,
    DD_ERR_NO_EXCLUSIVE_MODE = (int32_t)0x887600E1,
};

// ---- constants (the published numbering) ---------------------------------------------------------
enum : uint32_t {
    // Surface description fields present.
    DD_SD_CAPS = 0x1,
    DD_SD_HEIGHT = 0x2,
    DD_SD_WIDTH = 0x4,
    DD_SD_PITCH = 0x8,
    DD_SD_BACKBUFFERCOUNT = 0x20,
    DD_SD_LPSURFACE = 0x800,
    DD_SD_PIXELFORMAT = 0x1000,
    DD_SD_CKSRCBLT = 0x10000,
    // Surface caps.
    DD_CAPS_BACKBUFFER = 0x4,
    DD_CAPS_COMPLEX = 0x8,
    DD_CAPS_FLIP = 0x10,
    DD_CAPS_FRONTBUFFER = 0x20,
    DD_CAPS_OFFSCREENPLAIN = 0x40,
    DD_CAPS_OVERLAY = 0x80,
    DD_CAPS_PRIMARYSURFACE = 0x200,
    DD_CAPS_SYSTEMMEMORY = 0x800,
    DD_CAPS_TEXTURE = 0x1000,
    DD_CAPS_3DDEVICE = 0x2000,
    DD_CAPS_VIDEOMEMORY = 0x4000,
    DD_CAPS_ZBUFFER = 0x20000,
    // Pixel format flags.
    DD_PF_ALPHAPIXELS = 0x1,
    DD_PF_FOURCC = 0x4,
    DD_PF_PALETTEINDEXED8 = 0x20,
    DD_PF_RGB = 0x40,
    DD_PF_ZBUFFER = 0x400,
    // Lock flags.
    DD_LOCK_WAIT = 0x1,
    DD_LOCK_READONLY = 0x10,
    DD_LOCK_WRITEONLY = 0x20,
    // Blt flags.
    DD_BLT_COLORFILL = 0x400,
    DD_BLT_KEYSRC = 0x8000,
    DD_BLT_WAIT = 0x1000000,
    DD_BLT_DEPTHFILL = 0x2000000,
    // BltFast flags.
    DD_BLTFAST_NOCOLORKEY = 0x0,
    DD_BLTFAST_SRCCOLORKEY = 0x1,
    DD_BLTFAST_WAIT = 0x10,
    // Colour keys.
    DD_CKEY_SRCBLT = 0x8,
    // Cooperative levels.
    DD_SCL_FULLSCREEN = 0x1,
    DD_SCL_ALLOWREBOOT = 0x2,
    DD_SCL_NORMAL = 0x8,
    DD_SCL_EXCLUSIVE = 0x10,
    // Flip flags.
    DD_FLIP_WAIT = 0x1,
    // Caps bits reported.
    DD_CAPS1_BLT = 0x40,
    DD_CAPS1_BLTCOLORFILL = 0x4000000,
    DD_CAPS1_COLORKEY = 0x400000,
    DD_CAPS1_OVERLAY = 0x800,
    // GDI raster operation.
    DD_SRCCOPY = 0x00CC0020,
};

struct DdGuid {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};
// The interfaces the draw object answers itself (all the same object here).
extern const DdGuid DD_IID_DIRECTDRAW;
extern const DdGuid DD_IID_DIRECTDRAW4;
extern const DdGuid DD_IID_DIRECTDRAW7;

// ---- records -------------------------------------------------------------------------------------
struct DdRect {
    int32_t left, top, right, bottom;  // right and bottom exclusive
};

// A pixel format. For DD_PF_ZBUFFER formats bitCount is the depth and redMask the depth mask.
struct DdPixelFormat {
    uint32_t size;         // sizeof(DdPixelFormat)
    uint32_t flags;        // DD_PF_*
    uint32_t fourCC;       // unused, 0
    uint32_t bitCount;     // 8, 16, 24 (packed RGB) or 32
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
};

struct DdColorKey {
    uint32_t low, high;    // pixel values in the surface's format; only low is compared
};

struct DdSurfaceDesc {
    uint32_t size;             // sizeof(DdSurfaceDesc)
    uint32_t flags;            // DD_SD_* fields filled / given
    uint32_t height;
    uint32_t width;
    int32_t pitch;             // bytes per row
    uint32_t backBufferCount;
    void *surface;             // Lock: the rectangle's top-left pixel
    DdColorKey srcBltKey;
    DdPixelFormat pixelFormat;
    uint32_t caps;             // DD_CAPS_*
};

struct DdBltFx {
    uint32_t size;             // sizeof(DdBltFx)
    uint32_t fillColor;        // DD_BLT_COLORFILL: the pixel value
    uint32_t fillDepth;        // DD_BLT_DEPTHFILL: the depth value
};

// Capabilities (a small subset of the published record: what the graphics core copies and reads).
struct DdCaps {
    uint32_t size;             // sizeof(DdCaps)
    uint32_t caps;             // DD_CAPS1_*
    uint32_t colorKeyCaps;
    uint32_t videoMemoryTotal; // bytes
    uint32_t videoMemoryFree;
    uint32_t maxOverlays;
    uint32_t surfaceCaps;      // DD_CAPS_* the device can make
};

typedef intptr_t DdDc;     // a device context of a surface (GetDC); 0 = none

// ---- objects -------------------------------------------------------------------------------------
struct DdSurface;
struct DdDraw;
struct DdClipper;

// What a surface's device-side copy is told. access is DD_CPU_READ, DD_CPU_WRITE or both.
enum : int { DD_CPU_READ = 1, DD_CPU_WRITE = 2 };
struct DdDeviceCopyFns {
    // Before the CPU reads or writes the memory pixels: bring them up to date from the copy.
    void (*BeforeCpuAccess)(DdSurface *surface, int access);
    // After the CPU wrote rect (null: the whole surface) of the memory pixels.
    void (*AfterCpuWrite)(DdSurface *surface, const DdRect *rect);
    // The copy is let go (Restore, last Release, or DdSetDeviceCopy replacing it).
    void (*Detach)(DdSurface *surface);
    // Work the device can do on its copy instead of the memory pixels; each returns 1 when it did it
    // (the memory is then left as it was, and brought up to date at the next CPU access), 0 when the
    // stand-in is to do it on the memory. A colour or depth fill of rect with a pixel value:
    int (*Fill)(DdSurface *surface, const DdRect *rect, uint32_t value);
    // An unscaled copy without colour key from srcRect of src (the surface whose copy this is) to
    // dstRect of dst, both inside their surfaces:
    int (*Copy)(DdSurface *dst, const DdRect *dstRect, DdSurface *src, const DdRect *srcRect);
    // A flip: the two surfaces' pictures swap (the stand-in swaps their memory blocks as well):
    int (*Swap)(DdSurface *a, DdSurface *b);
};

struct DdSurfaceFns {
    uint32_t (*AddRef)(DdSurface *self);
    // References left; the last frees the surface with its attached surfaces' references.
    uint32_t (*Release)(DdSurface *self);
    // rect null: the whole surface. Fills desc (size must be set) with the pointer, pitch, format.
    int32_t (*Lock)(DdSurface *self, const DdRect *rect, DdSurfaceDesc *desc, uint32_t flags);
    // rect: what the lock changed (null, or a rectangle not inside the surface: all of it), not checked
    // against Lock's. DD_ERR_NOT_LOCKED when not locked.
    int32_t (*Unlock)(DdSurface *self, const DdRect *rect);
    // DD_BLT_COLORFILL / DD_BLT_DEPTHFILL (fx) over dstRect (null: whole), or a copy of srcRect of
    // src scaled into dstRect (point sampled; formats converted); DD_BLT_KEYSRC skips src's key.
    int32_t (*Blt)(DdSurface *self, const DdRect *dstRect, DdSurface *src, const DdRect *srcRect, uint32_t flags,
                   const DdBltFx *fx);
    // Unscaled copy of srcRect (null: whole) of src to (x, y); same pixel format only
    // (DD_ERR_INVALID_PIXEL_FORMAT), DD_ERR_INVALID_RECT when it leaves either surface.
    int32_t (*BltFast)(DdSurface *self, int32_t x, int32_t y, DdSurface *src, const DdRect *srcRect, uint32_t flags);
    // DD_CKEY_SRCBLT; key null removes it.
    int32_t (*SetColorKey)(DdSurface *self, uint32_t flags, const DdColorKey *key);
    int32_t (*GetColorKey)(DdSurface *self, uint32_t flags, DdColorKey *key);  // DD_ERR_NO_COLOR_KEY
    int32_t (*IsLost)(DdSurface *self);   // DD_OK or DD_ERR_SURFACE_LOST
    int32_t (*Restore)(DdSurface *self);
    // Attaches a Z surface (one; a reference is held) / detaches it (its reference dropped).
    int32_t (*AddAttachedSurface)(DdSurface *self, DdSurface *attach);
    int32_t (*DeleteAttachedSurface)(DdSurface *self, uint32_t flags, DdSurface *attach);
    // The attached surface with those caps (DD_CAPS_BACKBUFFER or DD_CAPS_ZBUFFER), a new reference.
    int32_t (*GetAttachedSurface)(DdSurface *self, const uint32_t *caps, DdSurface **out);
    int32_t (*GetDC)(DdSurface *self, DdDc *dc);
    int32_t (*ReleaseDC)(DdSurface *self, DdDc dc);
    int32_t (*GetSurfaceDesc)(DdSurface *self, DdSurfaceDesc *desc);
    int32_t (*GetPixelFormat)(DdSurface *self, DdPixelFormat *format);
    // On the primary of a flip chain: swaps the pixel blocks of primary and back buffer, shows it.
    int32_t (*Flip)(DdSurface *self, DdSurface *target, uint32_t flags);
    int32_t (*SetClipper)(DdSurface *self, DdClipper *clipper);
    // 8-bit palette surfaces: entries 0x00RRGGBB from first, count of them (1..256).
    int32_t (*SetPaletteEntries)(DdSurface *self, int first, int count, const uint32_t *entries);
};

// A surface: the fields after fn are read by the 3-D device stand-in and by tests; only this
// stand-in writes them (deviceCopy / deviceCopyFns through DdSetDeviceCopy).
struct DdSurface {
    const DdSurfaceFns *fn;
    uint32_t id;                       // recorder id ("surf<id>")
    uint32_t caps;                     // DD_CAPS_* as made (memory kind added)
    int32_t width, height;
    int32_t pitch;                     // bytes per row, a multiple of 16
    DdPixelFormat format;
    uint8_t *pixels;                   // first pixel of row 0; never moves except on Flip
    uint32_t palette[256];             // 8-bit surfaces: 0x00RRGGBB
    void *deviceCopy;                  // the device's copy of the pixels, or null
    const DdDeviceCopyFns *deviceCopyFns;
};

struct DdClipperFns {
    uint32_t (*AddRef)(DdClipper *self);
    uint32_t (*Release)(DdClipper *self);
    int32_t (*SetHWnd)(DdClipper *self, uint32_t flags, WHandle window);
};
struct DdClipper {
    const DdClipperFns *fn;
    uint32_t id;
    WHandle window;
};

struct DdDrawFns {
    uint32_t (*AddRef)(DdDraw *self);
    uint32_t (*Release)(DdDraw *self);  // the last one restores the display mode
    // DD_IID_DIRECTDRAW* answer the object itself; others go to the registered providers.
    int32_t (*QueryInterface)(DdDraw *self, const DdGuid *iid, void **out);
    int32_t (*SetCooperativeLevel)(DdDraw *self, WHandle window, uint32_t flags);
    // Full screen needs DD_SCL_EXCLUSIVE (DD_ERR_NO_EXCLUSIVE_MODE); 16 or 32 bits.
    int32_t (*SetDisplayMode)(DdDraw *self, uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh,
                              uint32_t flags);
    int32_t (*RestoreDisplayMode)(DdDraw *self);
    // The current mode: width, height, pitch 0 and the pixel format (the desktop's in window mode).
    int32_t (*GetDisplayMode)(DdDraw *self, DdSurfaceDesc *desc);
    int32_t (*GetCaps)(DdDraw *self, DdCaps *driver, DdCaps *emulation);  // either may be null
    // A primary (with DD_CAPS_FLIP | DD_CAPS_COMPLEX and backBufferCount 1: its back buffer is
    // attached, full screen only), an off-screen plain surface, a texture or a Z surface.
    // Without DD_SD_PIXELFORMAT a surface takes the display mode's format. outer must be null.
    int32_t (*CreateSurface)(DdDraw *self, const DdSurfaceDesc *desc, DdSurface **out, void *outer);
    int32_t (*CreateClipper)(DdDraw *self, uint32_t flags, DdClipper **out, void *outer);
    // DD_OK while no surface of this object is lost, else DD_ERR_SURFACE_LOST (the
    // application should restore).
    int32_t (*TestCooperativeLevel)(DdDraw *self);
    int32_t (*RestoreAllSurfaces)(DdDraw *self);
};

struct DdDraw {
    const DdDrawFns *fn;
    uint32_t id;
};

// ---- entry points --------------------------------------------------------------------------------
// Makes a draw object. guid must be null. DD_OK, or a negative code (fault injection).
int32_t DdCreate(const DdGuid *guid, DdDraw **out, void *outer);
// Attaches a device-side copy to a surface (null, null detaches; the old copy's Detach is called).
void DdSetDeviceCopy(DdSurface *surface, void *copy, const DdDeviceCopyFns *fns);
// Two unlocked surfaces of one size, pitch and format trade their memory blocks, each brought up to
// date from its device copy first and the copies told the whole picture changed: a picture moves to
// a surface made anew without a copy of its pixels. DD_OK, DD_ERR_INVALID_PARAMS, or an injected fault.
int32_t DdTradeSurfacePixels(DdSurface *a, DdSurface *b);
// What a surface is now, beyond its public fields (for the 3-D device and tests).
struct DdSurfaceState {
    int lost;                // 1 until Restore
    int locked;              // 1 between Lock and Unlock
    int hasColorKey;         // 1 when a source colour key is set
    uint32_t colorKey;       // its low value
    DdSurface *zSurface;     // attached Z surface, or null (no reference added)
    int references;
};
// Fills state for a live surface. 0 / -1 (null).
int DdGetSurfaceState(DdSurface *surface, DdSurfaceState *state);
// An interface QueryInterface on a draw object hands out for iid (the 3-D stand-in registers its
// own): make returns DD_OK with *out a new object, or an error. At most 8. 0 / -1.
typedef int32_t (*DdInterfaceMaker)(DdDraw *draw, void **out);
int DdRegisterInterface(const DdGuid *iid, DdInterfaceMaker make);
// 1 when the two GUIDs are equal.
int DdIsSameGuid(const DdGuid *a, const DdGuid *b);
// Screen device contexts: copies w x h from (sx, sy) of src's surface to (x, y) of dst's with
// DD_SRCCOPY (formats converted, clipped to both). 1 / 0 (a bad context or raster operation).
int DdBitBlt(DdDc dst, int x, int y, int w, int h, DdDc src, int sx, int sy, uint32_t rop);
// Flushes pending GDI work (nothing is pending here). 1.
int DdGdiFlush(void);
// The surface behind a context, or null.
DdSurface *DdGetDcSurface(DdDc dc);
// Shows a surface (a primary) in a window: through the presenter when one is set and takes it, else
// through WPresentPixels; 16 and 32 bits only. 0 / -1.
int DdPresentSurface(DdSurface *surface, WHandle window);
// A device that draws into the window itself shows a surface there: 0 when it did, -1 to leave it to
// WPresentPixels. Null removes it.
typedef int (*DdPresenter)(DdSurface *surface, WHandle window);
void DdSetPresenter(DdPresenter presenter);
// The window the surface's draw object shows in (its cooperative level's), 0 when none.
WHandle DdGetSurfaceWindow(DdSurface *surface);

// ---- calls and objects, for the recorder and fault injection -------------------------------------
enum DdMethod {
    DD_M_CREATE,
    DD_M_QUERY_INTERFACE,
    DD_M_SET_COOPERATIVE_LEVEL,
    DD_M_SET_DISPLAY_MODE,
    DD_M_RESTORE_DISPLAY_MODE,
    DD_M_GET_DISPLAY_MODE,
    DD_M_GET_CAPS,
    DD_M_CREATE_SURFACE,
    DD_M_CREATE_CLIPPER,
    DD_M_TEST_COOPERATIVE_LEVEL,
    DD_M_RESTORE_ALL_SURFACES,
    DD_M_RELEASE,
    DD_M_LOCK,
    DD_M_UNLOCK,
    DD_M_BLT,
    DD_M_BLT_FAST,
    DD_M_SET_COLOR_KEY,
    DD_M_GET_COLOR_KEY,
    DD_M_IS_LOST,
    DD_M_RESTORE,
    DD_M_ADD_ATTACHED,
    DD_M_DELETE_ATTACHED,
    DD_M_GET_ATTACHED,
    DD_M_GET_DC,
    DD_M_RELEASE_DC,
    DD_M_GET_SURFACE_DESC,
    DD_M_GET_PIXEL_FORMAT,
    DD_M_FLIP,
    DD_M_SET_CLIPPER,
    DD_M_SET_PALETTE,
    DD_M_SET_HWND,
    DD_M_BIT_BLT,
    DD_M_TRADE_PIXELS,
    DD_METHOD_COUNT
};
enum DdObjectKind { DD_OBJ_DRAW, DD_OBJ_SURFACE, DD_OBJ_CLIPPER, DD_OBJ_DC, DD_OBJ_KIND_COUNT };

// ---- test hooks ----------------------------------------------------------------------------------
// One call as the record hook gets it: the object's id, up to six integer arguments (rectangles as
// four), the result. The test-support library keeps and injects (testsupport/test_hooks.h).
struct DdRecordEntry {
    uint32_t seq;
    DdMethod method;
    DdObjectKind kind;
    uint32_t object;
    int32_t args[6];
    int32_t result;
};
// The pixel format of a named layout: 565, 555, 888 (X8R8G8B8), 1555, 4444, 8888, 8 (palette).
// 0 / -1 (unknown name).
int DdMakePixelFormat(int layout, DdPixelFormat *out);
