// The draw object of the display-surface stand-in (display mode, cooperative level, caps, surface and
// clipper creation), its clipper and its record, fault and object hooks.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/kernel/standin_hooks.h"

DdGlobals gDd = {nullptr, 0, 16};

const DdGuid DD_IID_DIRECTDRAW = {0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const DdGuid DD_IID_DIRECTDRAW4 = {0x9C59509A, 0x39BD, 0x11D1, {0x8C, 0x4A, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
const DdGuid DD_IID_DIRECTDRAW7 = {0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

// ================================================================================================
// recorder, faults and objects
// ================================================================================================

int32_t DdRecordCall(DdMethod method, DdObjectKind kind, uint32_t id, const int32_t *args, int argCount,
                     int32_t result)
{
    DdRecordEntry e = {0, method, kind, id, {}, result};
    for (int i = 0; i < argCount && i < 6; i++) e.args[i] = args[i];
    StandInRecord(STAND_IN_DDRAW, &e);
    return result;
}

int32_t DdTakeFault(DdMethod method) { return StandInFault(STAND_IN_DDRAW, method, 0); }

void DdCountObject(DdObjectKind kind, int delta) { StandInCountObject(STAND_IN_DDRAW, kind, delta); }

// ================================================================================================
// interfaces
// ================================================================================================

#define DD_MAX_INTERFACES 8
static struct {
    DdGuid iid;
    DdInterfaceMaker make;
} sInterfaces[DD_MAX_INTERFACES];

int DdIsSameGuid(const DdGuid *a, const DdGuid *b) { return a && b && memcmp(a, b, sizeof *a) == 0; }

int DdRegisterInterface(const DdGuid *iid, DdInterfaceMaker make)
{
    if (!iid || !make) return -1;
    for (auto &entry : sInterfaces)
        if (!entry.make || DdIsSameGuid(&entry.iid, iid)) {
            entry.iid = *iid;
            entry.make = make;
            return 0;
        }
    return -1;
}

// ================================================================================================
// the draw object
// ================================================================================================

extern const DdDrawFns kDdDrawFns;
static DdDrawRecord *AsDraw(DdDraw *d) { return reinterpret_cast<DdDrawRecord *>(d); }

static int32_t DrawDone(DdMethod m, DdDraw *self, int32_t result, int32_t a0 = 0, int32_t a1 = 0, int32_t a2 = 0,
                        int32_t a3 = 0)
{
    int32_t args[6] = {a0, a1, a2, a3, 0, 0};
    return DdRecordCall(m, DD_OBJ_DRAW, self ? self->id : 0, args, 6, result);
}

int32_t DdCreate(const DdGuid *guid, DdDraw **out, void *outer)
{
    int32_t result = DdTakeFault(DD_M_CREATE);
    if (result == DD_OK && (guid || !out || outer)) result = DD_ERR_INVALID_PARAMS;
    DdDrawRecord *r = result == DD_OK ? (DdDrawRecord *)calloc(1, sizeof(DdDrawRecord)) : nullptr;
    if (result == DD_OK && !r) result = DD_ERR_OUT_OF_MEMORY;
    if (result == DD_OK) {
        r->object.fn = &kDdDrawFns;
        r->object.id = ++gDd.nextId;
        r->refs = 1;
        r->cooperative = DD_SCL_NORMAL;
        DdCountObject(DD_OBJ_DRAW, 1);
        *out = &r->object;
    }
    return DrawDone(DD_M_CREATE, r ? &r->object : nullptr, result);
}

static uint32_t DrawAddRef(DdDraw *self) { return (uint32_t)++AsDraw(self)->refs; }

static uint32_t DrawRelease(DdDraw *self)
{
    DdDrawRecord *r = AsDraw(self);
    int left = --r->refs;
    DrawDone(DD_M_RELEASE, self, left);
    if (left > 0) return (uint32_t)left;
    // Surfaces still alive outlive their maker; they just stop showing anywhere.
    for (DdSurfaceRecord *s = gDd.surfaces; s; s = s->next)
        if (s->owner == r) s->owner = nullptr;
    DdCountObject(DD_OBJ_DRAW, -1);
    free(r);
    return 0;
}

static int32_t DrawQueryInterface(DdDraw *self, const DdGuid *iid, void **out)
{
    int32_t result = DdTakeFault(DD_M_QUERY_INTERFACE);
    if (result == DD_OK && (!iid || !out)) result = DD_ERR_INVALID_PARAMS;
    if (result != DD_OK) return DrawDone(DD_M_QUERY_INTERFACE, self, result);
    if (DdIsSameGuid(iid, &DD_IID_DIRECTDRAW) || DdIsSameGuid(iid, &DD_IID_DIRECTDRAW4) ||
        DdIsSameGuid(iid, &DD_IID_DIRECTDRAW7)) {
        DrawAddRef(self);
        *out = self;
        return DrawDone(DD_M_QUERY_INTERFACE, self, DD_OK, (int32_t)iid->data1);
    }
    result = DD_ERR_NO_INTERFACE;
    for (auto &entry : sInterfaces)
        if (entry.make && DdIsSameGuid(&entry.iid, iid)) result = entry.make(self, out);
    return DrawDone(DD_M_QUERY_INTERFACE, self, result, (int32_t)iid->data1);
}

static int32_t DrawSetCooperativeLevel(DdDraw *self, WHandle window, uint32_t flags)
{
    DdDrawRecord *r = AsDraw(self);
    int32_t result = DdTakeFault(DD_M_SET_COOPERATIVE_LEVEL);
    int fullScreen = (flags & DD_SCL_FULLSCREEN) != 0, exclusive = (flags & DD_SCL_EXCLUSIVE) != 0;
    if (result == DD_OK && (fullScreen != exclusive || (fullScreen && !window))) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK) {
        r->cooperative = flags;
        r->window = window;
    }
    return DrawDone(DD_M_SET_COOPERATIVE_LEVEL, self, result, (int32_t)flags);
}

static int32_t DrawSetDisplayMode(DdDraw *self, uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh,
                                  uint32_t flags)
{
    DdDrawRecord *r = AsDraw(self);
    int32_t result = DdTakeFault(DD_M_SET_DISPLAY_MODE);
    if (result == DD_OK && !(r->cooperative & DD_SCL_EXCLUSIVE)) result = DD_ERR_NO_EXCLUSIVE_MODE;
    if (result == DD_OK && (width < 1 || height < 1 || width > 32767 || height > 32767 || (bits != 16 && bits != 32)))
        result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK) r->modeSet = 1, r->modeWidth = width, r->modeHeight = height, r->modeBits = bits;
    return DrawDone(DD_M_SET_DISPLAY_MODE, self, result, (int32_t)width, (int32_t)height, (int32_t)bits,
                    (int32_t)refresh);
}

static int32_t DrawRestoreDisplayMode(DdDraw *self)
{
    int32_t result = DdTakeFault(DD_M_RESTORE_DISPLAY_MODE);
    if (result == DD_OK) AsDraw(self)->modeSet = 0;
    return DrawDone(DD_M_RESTORE_DISPLAY_MODE, self, result);
}

// The display's format: the mode set in full screen, the desktop's otherwise.
static void DisplayFormat(const DdDrawRecord *r, DdPixelFormat *format)
{
    uint32_t bits = r->modeSet ? r->modeBits : (uint32_t)gDd.desktopBits;
    DdMakePixelFormat(bits == 16 ? 565 : 888, format);
}

// The display's size: the mode's, else the window's client area, else 640 x 480.
static void DisplaySize(const DdDrawRecord *r, uint32_t *width, uint32_t *height)
{
    WRect client;
    if (r->modeSet) *width = r->modeWidth, *height = r->modeHeight;
    else if (r->window && WGetClientRect(r->window, &client) && client.right > 0 && client.bottom > 0)
        *width = (uint32_t)client.right, *height = (uint32_t)client.bottom;
    else *width = 640, *height = 480;
}

static int32_t DrawGetDisplayMode(DdDraw *self, DdSurfaceDesc *desc)
{
    int32_t result = DdTakeFault(DD_M_GET_DISPLAY_MODE);
    if (result == DD_OK && !desc) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK) {
        memset(desc, 0, sizeof *desc);
        desc->size = sizeof *desc;
        desc->flags = DD_SD_WIDTH | DD_SD_HEIGHT | DD_SD_PIXELFORMAT;
        DisplaySize(AsDraw(self), &desc->width, &desc->height);
        DisplayFormat(AsDraw(self), &desc->pixelFormat);
    }
    return DrawDone(DD_M_GET_DISPLAY_MODE, self, result);
}

static int32_t DrawGetCaps(DdDraw *self, DdCaps *driver, DdCaps *emulation)
{
    int32_t result = DdTakeFault(DD_M_GET_CAPS);
    DdCaps caps = {sizeof(DdCaps), DD_CAPS1_BLT | DD_CAPS1_BLTCOLORFILL | DD_CAPS1_COLORKEY | DD_CAPS1_OVERLAY,
                   DD_CKEY_SRCBLT, 64u << 20, 64u << 20, 1,
                   DD_CAPS_BACKBUFFER | DD_CAPS_COMPLEX | DD_CAPS_FLIP | DD_CAPS_OFFSCREENPLAIN | DD_CAPS_OVERLAY |
                       DD_CAPS_PRIMARYSURFACE | DD_CAPS_SYSTEMMEMORY | DD_CAPS_TEXTURE | DD_CAPS_3DDEVICE |
                       DD_CAPS_VIDEOMEMORY | DD_CAPS_ZBUFFER};
    if (result == DD_OK) {
        if (driver) *driver = caps;
        if (emulation) *emulation = caps;
    }
    return DrawDone(DD_M_GET_CAPS, self, result);
}

// The primary, with its attached back buffer when the description asks for a flip chain.
static int32_t CreatePrimary(DdDrawRecord *r, const DdSurfaceDesc *desc, DdSurface **out)
{
    int chain = (desc->caps & DD_CAPS_FLIP) && (desc->flags & DD_SD_BACKBUFFERCOUNT) && desc->backBufferCount > 0;
    if (chain && !(r->cooperative & DD_SCL_EXCLUSIVE)) return DD_ERR_NO_EXCLUSIVE_MODE;
    if (chain && desc->backBufferCount != 1) return DD_ERR_INVALID_PARAMS;
    DdSurfaceDesc made = *desc;
    DisplaySize(r, &made.width, &made.height);
    made.caps |= chain ? DD_CAPS_FRONTBUFFER : 0u;
    DdPixelFormat format;
    DisplayFormat(r, &format);
    int32_t result = DdNewSurface(r, &made, &format, out);
    if (result != DD_OK || !chain) return result;
    made.caps = (desc->caps & ~(DD_CAPS_PRIMARYSURFACE | DD_CAPS_FRONTBUFFER)) | DD_CAPS_BACKBUFFER;
    DdSurface *back = nullptr;
    result = DdNewSurface(r, &made, &format, &back);
    if (result != DD_OK) {
        (*out)->fn->Release(*out);
        *out = nullptr;
        return result;
    }
    AsSurfaceRecord(*out)->backBuffer = AsSurfaceRecord(back);
    AsSurfaceRecord(back)->flipParent = AsSurfaceRecord(*out);
    return DD_OK;
}

static int32_t DrawCreateSurface(DdDraw *self, const DdSurfaceDesc *desc, DdSurface **out, void *outer)
{
    DdDrawRecord *r = AsDraw(self);
    int32_t result = DdTakeFault(DD_M_CREATE_SURFACE);
    if (result == DD_OK && (!desc || !out || outer || !(desc->flags & DD_SD_CAPS))) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK && (desc->caps & DD_CAPS_PRIMARYSURFACE)) {
        result = CreatePrimary(r, desc, out);
    } else if (result == DD_OK) {
        DdPixelFormat format;
        if (desc->flags & DD_SD_PIXELFORMAT) format = desc->pixelFormat;
        else if (desc->caps & DD_CAPS_ZBUFFER) result = DD_ERR_INVALID_PIXEL_FORMAT;
        else DisplayFormat(r, &format);
        if (result == DD_OK && (desc->flags & (DD_SD_WIDTH | DD_SD_HEIGHT)) != (DD_SD_WIDTH | DD_SD_HEIGHT))
            result = DD_ERR_INVALID_PARAMS;
        if (result == DD_OK) result = DdNewSurface(r, desc, &format, out);
    }
    int32_t id = result == DD_OK ? (int32_t)(*out)->id : 0;
    return DrawDone(DD_M_CREATE_SURFACE, self, result, desc ? (int32_t)desc->caps : 0,
                    desc ? (int32_t)desc->width : 0, desc ? (int32_t)desc->height : 0, id);
}

static int32_t DrawTestCooperativeLevel(DdDraw *self)
{
    int32_t result = DdTakeFault(DD_M_TEST_COOPERATIVE_LEVEL);
    for (DdSurfaceRecord *s = gDd.surfaces; s && result == DD_OK; s = s->next)
        if (s->owner == AsDraw(self) && s->lost) result = DD_ERR_SURFACE_LOST;
    return DrawDone(DD_M_TEST_COOPERATIVE_LEVEL, self, result);
}

static int32_t DrawRestoreAllSurfaces(DdDraw *self)
{
    int32_t result = DdTakeFault(DD_M_RESTORE_ALL_SURFACES);
    for (DdSurfaceRecord *s = gDd.surfaces; s && result == DD_OK; s = s->next)
        if (s->owner == AsDraw(self) && s->lost) s->object.fn->Restore(&s->object);
    return DrawDone(DD_M_RESTORE_ALL_SURFACES, self, result);
}

// ================================================================================================
// clipper
// ================================================================================================

struct DdClipperRecord {
    DdClipper object;  // first
    int refs;
};

static uint32_t ClipperAddRef(DdClipper *self) { return (uint32_t)++reinterpret_cast<DdClipperRecord *>(self)->refs; }

static uint32_t ClipperRelease(DdClipper *self)
{
    auto *r = reinterpret_cast<DdClipperRecord *>(self);
    int left = --r->refs;
    int32_t args[1] = {left};
    DdRecordCall(DD_M_RELEASE, DD_OBJ_CLIPPER, self->id, args, 1, left);
    if (left > 0) return (uint32_t)left;
    DdCountObject(DD_OBJ_CLIPPER, -1);
    free(r);
    return 0;
}

static int32_t ClipperSetHWnd(DdClipper *self, uint32_t flags, WHandle window)
{
    int32_t result = DdTakeFault(DD_M_SET_HWND);
    if (result == DD_OK) self->window = window;
    int32_t args[1] = {(int32_t)flags};
    return DdRecordCall(DD_M_SET_HWND, DD_OBJ_CLIPPER, self->id, args, 1, result);
}

static const DdClipperFns kDdClipperFns = {ClipperAddRef, ClipperRelease, ClipperSetHWnd};

static int32_t DrawCreateClipper(DdDraw *self, uint32_t flags, DdClipper **out, void *outer)
{
    int32_t result = DdTakeFault(DD_M_CREATE_CLIPPER);
    if (result == DD_OK && (!out || outer)) result = DD_ERR_INVALID_PARAMS;
    DdClipperRecord *r = result == DD_OK ? (DdClipperRecord *)calloc(1, sizeof(DdClipperRecord)) : nullptr;
    if (result == DD_OK && !r) result = DD_ERR_OUT_OF_MEMORY;
    if (result == DD_OK) {
        r->object.fn = &kDdClipperFns;
        r->object.id = ++gDd.nextId;
        r->refs = 1;
        DdCountObject(DD_OBJ_CLIPPER, 1);
        *out = &r->object;
    }
    return DrawDone(DD_M_CREATE_CLIPPER, self, result, (int32_t)flags, r ? (int32_t)r->object.id : 0);
}

const DdDrawFns kDdDrawFns = {
    DrawAddRef,         DrawRelease,        DrawQueryInterface, DrawSetCooperativeLevel, DrawSetDisplayMode,
    DrawRestoreDisplayMode, DrawGetDisplayMode, DrawGetCaps,    DrawCreateSurface,       DrawCreateClipper,
    DrawTestCooperativeLevel, DrawRestoreAllSurfaces,
};

// ================================================================================================
// presenting
// ================================================================================================

static DdPresenter sPresenter;

void DdSetPresenter(DdPresenter presenter) { sPresenter = presenter; }

WHandle DdGetSurfaceWindow(DdSurface *surface)
{
    DdDrawRecord *owner = surface ? AsSurfaceRecord(surface)->owner : nullptr;
    return owner ? owner->window : 0;
}

int DdPresentSurface(DdSurface *surface, WHandle window)
{
    if (!surface || !window) return -1;
    const DdPixelFormat &f = surface->format;
    int is565 = f.bitCount == 16 && f.redMask == 0xF800, is888 = f.bitCount == 32 && f.redMask == 0xFF0000;
    if (!is565 && !is888) return -1;
    if (sPresenter && sPresenter(surface, window) == 0) return 0;
    DdBeforeCpu(surface, DD_CPU_READ);
    return WPresentPixels(window, surface->pixels, surface->width, surface->height, surface->pitch, (int)f.bitCount);
}
