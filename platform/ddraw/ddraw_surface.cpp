// Surfaces of the display-surface stand-in: creation, references, locks, blits, colour keys, loss,
// attached surfaces, device contexts and the flip.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/kernel/kernel.h"

extern const DdSurfaceFns kDdSurfaceFns;

// Surface rows are 16-byte aligned (pitches are multiples of 16): the heap's blocks are.
static_assert(alignof(std::max_align_t) >= 16);

static DdSurfaceRecord *AsRecord(DdSurface *s) { return AsSurfaceRecord(s); }

// Records a surface call with up to six arguments and returns its result.
static int32_t Done(DdMethod m, DdSurface *self, int32_t result, int32_t a0 = 0, int32_t a1 = 0, int32_t a2 = 0,
                    int32_t a3 = 0, int32_t a4 = 0, int32_t a5 = 0)
{
    int32_t args[6] = {a0, a1, a2, a3, a4, a5};
    return DdRecordCall(m, DD_OBJ_SURFACE, self ? self->id : 0, args, 6, result);
}

void DdBeforeCpu(DdSurface *s, int access)
{
    if (s->deviceCopy && s->deviceCopyFns && s->deviceCopyFns->BeforeCpuAccess)
        s->deviceCopyFns->BeforeCpuAccess(s, access);
}

void DdAfterCpuWrite(DdSurface *s, const DdRect *rect)
{
    if (s->deviceCopy && s->deviceCopyFns && s->deviceCopyFns->AfterCpuWrite) s->deviceCopyFns->AfterCpuWrite(s, rect);
}

int DdDeviceFill(DdSurface *s, const DdRect *rect, uint32_t value)
{
    return s->deviceCopy && s->deviceCopyFns && s->deviceCopyFns->Fill && s->deviceCopyFns->Fill(s, rect, value);
}

int DdDeviceCopy(DdSurface *dst, const DdRect *d, DdSurface *src, const DdRect *s)
{
    // A surface into itself is left to the memory copy, which handles the overlap.
    return src != dst && src->deviceCopy && src->deviceCopyFns && src->deviceCopyFns->Copy &&
           src->deviceCopyFns->Copy(dst, d, src, s);
}

int DdDeviceSwap(DdSurface *a, DdSurface *b)
{
    DdSurface *tracked = a->deviceCopy ? a : b->deviceCopy ? b : nullptr;
    return tracked && tracked->deviceCopyFns && tracked->deviceCopyFns->Swap && tracked->deviceCopyFns->Swap(a, b);
}

void DdSetDeviceCopy(DdSurface *surface, void *copy, const DdDeviceCopyFns *fns)
{
    if (!surface) return;
    if (surface->deviceCopy && surface->deviceCopyFns && surface->deviceCopyFns->Detach &&
        (surface->deviceCopy != copy || surface->deviceCopyFns != fns))
        surface->deviceCopyFns->Detach(surface);
    surface->deviceCopy = copy;
    surface->deviceCopyFns = copy ? fns : nullptr;
}

int32_t DdTradeSurfacePixels(DdSurface *a, DdSurface *b)
{
    if (!a || !b) return DD_ERR_INVALID_PARAMS;
    int32_t result = DdTakeFault(DD_M_TRADE_PIXELS);
    if (result == DD_OK && (a == b || a->width != b->width || a->height != b->height || a->pitch != b->pitch ||
                            memcmp(&a->format, &b->format, sizeof a->format) != 0 || AsRecord(a)->locks ||
                            AsRecord(b)->locks || AsRecord(a)->dc || AsRecord(b)->dc))
        result = DD_ERR_INVALID_PARAMS;
    if (result != DD_OK) return Done(DD_M_TRADE_PIXELS, a, result, (int32_t)b->id);
    DdBeforeCpu(a, DD_CPU_READ);
    DdBeforeCpu(b, DD_CPU_READ);
    std::swap(a->pixels, b->pixels);
    DdAfterCpuWrite(a, nullptr);
    DdAfterCpuWrite(b, nullptr);
    return Done(DD_M_TRADE_PIXELS, a, DD_OK, (int32_t)b->id);
}

int DdGetSurfaceState(DdSurface *surface, DdSurfaceState *state)
{
    if (!surface || !state) return -1;
    DdSurfaceRecord *r = AsRecord(surface);
    *state = DdSurfaceState{r->lost, r->locks, r->hasKey, r->key.low, r->zSurface ? &r->zSurface->object : nullptr,
                            r->refs};
    return 0;
}

// ================================================================================================
// creation and references
// ================================================================================================

// A new surface is black. A large block is pages of its own from the system, zero already, costing
// nothing until written, and given back at the release: from the C heap it could be a huge earlier
// block's memory (a device's textures freed there), which calloc then clears page by page (a 16384 x
// 4096 movie frame's open took up to 440 ms). A block's size tells which kind it is; the blocks a trade
// or a flip swaps are the same size.
static const size_t kOwnPagesBytes = (size_t)1 << 20;

static uint8_t *NewPixelBlock(size_t bytes)
{
    if (bytes < kOwnPagesBytes) return (uint8_t *)calloc(1, bytes);
    return (uint8_t *)KVirtualAlloc(nullptr, bytes, K_MEM_COMMIT | K_MEM_RESERVE, K_PAGE_READWRITE);
}

static void FreePixelBlock(uint8_t *block, size_t bytes)
{
    if (bytes < kOwnPagesBytes) free(block);
    else if (block) KVirtualFree(block, 0, K_MEM_RELEASE);
}

int32_t DdNewSurface(DdDrawRecord *owner, const DdSurfaceDesc *desc, const DdPixelFormat *format, DdSurface **out)
{
    int bytes = DdFormatBytes(format);
    if (!bytes) return DD_ERR_INVALID_PIXEL_FORMAT;
    int w = (int)desc->width, h = (int)desc->height;
    if (w < 1 || h < 1 || w > 32768 || h > 32768) return DD_ERR_INVALID_PARAMS;
    int pitch = (w * bytes + 15) & ~15;
    auto *r = (DdSurfaceRecord *)calloc(1, sizeof(DdSurfaceRecord));
    uint8_t *block = NewPixelBlock((size_t)pitch * (size_t)h);
    if (!r || !block) {
        free(r);
        FreePixelBlock(block, (size_t)pitch * (size_t)h);
        return DD_ERR_OUT_OF_MEMORY;
    }
    r->object.fn = &kDdSurfaceFns;
    r->object.id = ++gDd.nextId;
    r->object.caps = desc->caps | (desc->caps & DD_CAPS_SYSTEMMEMORY ? 0u : (uint32_t) DD_CAPS_VIDEOMEMORY);
    r->object.width = w, r->object.height = h, r->object.pitch = pitch;
    r->object.format = *format;
    r->object.pixels = block;
    r->refs = 1;
    r->owner = owner;
    if (desc->flags & DD_SD_CKSRCBLT) r->hasKey = 1, r->key = desc->srcBltKey;
    r->next = gDd.surfaces;
    if (gDd.surfaces) gDd.surfaces->prev = r;
    gDd.surfaces = r;
    DdCountObject(DD_OBJ_SURFACE, 1);
    *out = &r->object;
    return DD_OK;
}

static uint32_t SurfaceAddRef(DdSurface *self) { return (uint32_t)++AsRecord(self)->refs; }

static uint32_t SurfaceRelease(DdSurface *self)
{
    DdSurfaceRecord *r = AsRecord(self);
    int left = --r->refs;
    Done(DD_M_RELEASE, self, left);
    if (left > 0) return (uint32_t)left;
    DdSetDeviceCopy(self, nullptr, nullptr);
    if (r->backBuffer) r->backBuffer->flipParent = nullptr, r->backBuffer->object.fn->Release(&r->backBuffer->object);
    if (r->zSurface) r->zSurface->object.fn->Release(&r->zSurface->object);
    if (r->clipper) r->clipper->fn->Release(r->clipper);
    if (r->dc) self->fn->ReleaseDC(self, r->dc);
    if (r->prev) r->prev->next = r->next;
    else gDd.surfaces = r->next;
    if (r->next) r->next->prev = r->prev;
    DdCountObject(DD_OBJ_SURFACE, -1);
    // A flipped pair may hold each other's block: each frees the one it has now.
    FreePixelBlock(self->pixels, (size_t)self->pitch * (size_t)self->height);
    free(r);
    return 0;
}

// ================================================================================================
// rectangles
// ================================================================================================

// The whole surface, or rect when it lies inside it (null when it does not).
static const DdRect *InsideRect(DdSurface *s, const DdRect *rect, DdRect *whole)
{
    *whole = DdRect{0, 0, s->width, s->height};
    if (!rect) return whole;
    if (rect->left < 0 || rect->top < 0 || rect->right > s->width || rect->bottom > s->height ||
        rect->left >= rect->right || rect->top >= rect->bottom)
        return nullptr;
    return rect;
}

static int32_t RectArgs(DdMethod m, DdSurface *self, int32_t result, const DdRect *r, int32_t a4, int32_t a5)
{
    if (!r) return Done(m, self, result, -1, -1, -1, -1, a4, a5);
    return Done(m, self, result, r->left, r->top, r->right, r->bottom, a4, a5);
}

// ================================================================================================
// lock
// ================================================================================================

static int32_t SurfaceLock(DdSurface *self, const DdRect *rect, DdSurfaceDesc *desc, uint32_t flags)
{
    DdSurfaceRecord *r = AsRecord(self);
    DdRect whole;
    const DdRect *area = InsideRect(self, rect, &whole);
    int32_t result = DdTakeFault(DD_M_LOCK);
    if (result == DD_OK && (!desc || !area)) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK && r->lost) result = DD_ERR_SURFACE_LOST;
    if (result == DD_OK && (r->locks || r->dc)) result = DD_ERR_SURFACE_BUSY;
    if (result != DD_OK) return RectArgs(DD_M_LOCK, self, result, rect, (int32_t)flags, 0);
    DdBeforeCpu(self, flags & DD_LOCK_WRITEONLY ? DD_CPU_WRITE : flags & DD_LOCK_READONLY ? DD_CPU_READ
                                                                                         : DD_CPU_READ | DD_CPU_WRITE);
    r->locks = 1;
    int bytes = DdFormatBytes(&self->format);
    memset(desc, 0, sizeof *desc);
    desc->size = sizeof *desc;
    desc->flags = DD_SD_CAPS | DD_SD_HEIGHT | DD_SD_WIDTH | DD_SD_PITCH | DD_SD_PIXELFORMAT | DD_SD_LPSURFACE;
    desc->width = (uint32_t)(area->right - area->left);
    desc->height = (uint32_t)(area->bottom - area->top);
    desc->pitch = self->pitch;
    desc->surface = self->pixels + (intptr_t)area->top * self->pitch + (intptr_t)area->left * bytes;
    desc->pixelFormat = self->format;
    desc->caps = self->caps;
    return RectArgs(DD_M_LOCK, self, DD_OK, rect, (int32_t)flags, 0);
}

static int32_t SurfaceUnlock(DdSurface *self, const DdRect *rect)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_UNLOCK);
    if (result == DD_OK && !r->locks) result = DD_ERR_NOT_LOCKED;
    if (result == DD_OK) {
        r->locks = 0;
        DdRect whole;
        DdAfterCpuWrite(self, InsideRect(self, rect, &whole));
    }
    return RectArgs(DD_M_UNLOCK, self, result, rect, 0, 0);
}

// ================================================================================================
// blits
// ================================================================================================

// Why a surface cannot take part in a blit now, or DD_OK.
static int32_t BlitState(DdSurface *s)
{
    DdSurfaceRecord *r = AsRecord(s);
    if (r->lost) return DD_ERR_SURFACE_LOST;
    if (r->locks || r->dc) return DD_ERR_SURFACE_BUSY;
    return DD_OK;
}

static int32_t FillBlt(DdSurface *self, const DdRect *area, uint32_t flags, const DdBltFx *fx)
{
    if (!fx) return DD_ERR_INVALID_PARAMS;
    int zSurface = (self->format.flags & DD_PF_ZBUFFER) != 0;
    if ((flags & DD_BLT_DEPTHFILL) && !zSurface) return DD_ERR_INVALID_PARAMS;
    uint32_t value = flags & DD_BLT_DEPTHFILL ? fx->fillDepth : fx->fillColor;
    if (DdDeviceFill(self, area, value)) return DD_OK;
    DdBeforeCpu(self, DD_CPU_READ | DD_CPU_WRITE);
    DdFillPixels(self, area, value);
    DdAfterCpuWrite(self, area);
    return DD_OK;
}

static int32_t SurfaceBlt(DdSurface *self, const DdRect *dstRect, DdSurface *src, const DdRect *srcRect,
                          uint32_t flags, const DdBltFx *fx)
{
    DdRect dWhole, sWhole;
    const DdRect *d = InsideRect(self, dstRect, &dWhole);
    int32_t result = DdTakeFault(DD_M_BLT);
    if (result == DD_OK && !d) result = DD_ERR_INVALID_RECT;
    if (result == DD_OK) result = BlitState(self);
    if (result == DD_OK && (flags & (DD_BLT_COLORFILL | DD_BLT_DEPTHFILL))) {
        result = FillBlt(self, d, flags, fx);
        return RectArgs(DD_M_BLT, self, result, dstRect, (int32_t)flags, 0);
    }
    const DdRect *s = src && result == DD_OK ? InsideRect(src, srcRect, &sWhole) : nullptr;
    if (result == DD_OK && (!src || !s)) result = src ? DD_ERR_INVALID_RECT : DD_ERR_INVALID_PARAMS;
    if (result == DD_OK && src != self) result = BlitState(src);
    DdSurfaceRecord *sr = src ? AsRecord(src) : nullptr;
    if (result == DD_OK && (flags & DD_BLT_KEYSRC) && !sr->hasKey) result = DD_ERR_NO_COLOR_KEY;
    int unscaled = d && s && d->right - d->left == s->right - s->left && d->bottom - d->top == s->bottom - s->top;
    int onDevice = result == DD_OK && unscaled && !(flags & DD_BLT_KEYSRC) && DdDeviceCopy(self, d, src, s);
    if (result == DD_OK && !onDevice) {
        DdBeforeCpu(src, DD_CPU_READ);
        DdBeforeCpu(self, DD_CPU_READ | DD_CPU_WRITE);
        uint32_t key = sr->key.low;
        if (DdScalePixels(self, d, src, s, flags & DD_BLT_KEYSRC ? &key : nullptr) != 0)
            result = DD_ERR_INVALID_PIXEL_FORMAT;
        else DdAfterCpuWrite(self, d);
    }
    return RectArgs(DD_M_BLT, self, result, dstRect, (int32_t)flags, src ? (int32_t)src->id : 0);
}

static int32_t SurfaceBltFast(DdSurface *self, int32_t x, int32_t y, DdSurface *src, const DdRect *srcRect,
                              uint32_t flags)
{
    DdRect sWhole;
    const DdRect *s = src ? InsideRect(src, srcRect, &sWhole) : nullptr;
    int32_t result = DdTakeFault(DD_M_BLT_FAST);
    if (result == DD_OK && (!src || !s)) result = src ? DD_ERR_INVALID_RECT : DD_ERR_INVALID_PARAMS;
    int w = s ? s->right - s->left : 0, h = s ? s->bottom - s->top : 0;
    if (result == DD_OK && (x < 0 || y < 0 || x + w > self->width || y + h > self->height))
        result = DD_ERR_INVALID_RECT;
    if (result == DD_OK) result = BlitState(self);
    if (result == DD_OK && src != self) result = BlitState(src);
    if (result == DD_OK && (self->format.bitCount != src->format.bitCount ||
                            self->format.redMask != src->format.redMask ||
                            self->format.alphaMask != src->format.alphaMask))
        result = DD_ERR_INVALID_PIXEL_FORMAT;
    DdSurfaceRecord *sr = src ? AsRecord(src) : nullptr;
    if (result == DD_OK && (flags & DD_BLTFAST_SRCCOLORKEY) && !sr->hasKey) result = DD_ERR_NO_COLOR_KEY;
    DdRect written = {x, y, x + w, y + h};
    int onDevice = result == DD_OK && !(flags & DD_BLTFAST_SRCCOLORKEY) && DdDeviceCopy(self, &written, src, s);
    if (result == DD_OK && !onDevice) {
        DdBeforeCpu(src, DD_CPU_READ);
        DdBeforeCpu(self, DD_CPU_READ | DD_CPU_WRITE);
        uint32_t key = sr->key.low;
        DdCopyPixels(self, x, y, src, s->left, s->top, w, h, flags & DD_BLTFAST_SRCCOLORKEY ? &key : nullptr);
        DdAfterCpuWrite(self, &written);
    }
    return Done(DD_M_BLT_FAST, self, result, x, y, src ? (int32_t)src->id : 0, w, h, (int32_t)flags);
}

// ================================================================================================
// colour keys, loss, attachments
// ================================================================================================

static int32_t SurfaceSetColorKey(DdSurface *self, uint32_t flags, const DdColorKey *key)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_SET_COLOR_KEY);
    if (result == DD_OK && !(flags & DD_CKEY_SRCBLT)) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK) {
        r->hasKey = key != nullptr;
        if (key) r->key = *key;
    }
    return Done(DD_M_SET_COLOR_KEY, self, result, (int32_t)flags, key ? (int32_t)key->low : -1);
}

static int32_t SurfaceGetColorKey(DdSurface *self, uint32_t flags, DdColorKey *key)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_GET_COLOR_KEY);
    if (result == DD_OK && (!key || !(flags & DD_CKEY_SRCBLT))) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK && !r->hasKey) result = DD_ERR_NO_COLOR_KEY;
    if (result == DD_OK) *key = r->key;
    return Done(DD_M_GET_COLOR_KEY, self, result, (int32_t)flags);
}

static int32_t SurfaceIsLost(DdSurface *self)
{
    int32_t result = DdTakeFault(DD_M_IS_LOST);
    if (result == DD_OK && AsRecord(self)->lost) result = DD_ERR_SURFACE_LOST;
    return Done(DD_M_IS_LOST, self, result);
}

// Restores one surface: same memory, pixels not kept.
static void RestoreRecord(DdSurfaceRecord *r)
{
    if (!r->lost) return;
    r->lost = 0;
    DdSetDeviceCopy(&r->object, nullptr, nullptr);
    memset(r->object.pixels, 0xCD, (size_t)r->object.pitch * r->object.height);
}

static int32_t SurfaceRestore(DdSurface *self)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_RESTORE);
    if (result == DD_OK) {
        RestoreRecord(r);
        // A flip chain and an attached Z surface come back with their primary.
        if (r->backBuffer) RestoreRecord(r->backBuffer);
        if (r->zSurface) RestoreRecord(r->zSurface);
    }
    return Done(DD_M_RESTORE, self, result);
}

static int32_t SurfaceAddAttached(DdSurface *self, DdSurface *attach)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_ADD_ATTACHED);
    if (result == DD_OK && (!attach || !(attach->format.flags & DD_PF_ZBUFFER))) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK && r->zSurface) result = DD_ERR_SURFACE_ALREADY_ATTACHED;
    if (result == DD_OK && (attach->width < self->width || attach->height < self->height))
        result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK) {
        attach->fn->AddRef(attach);
        r->zSurface = AsRecord(attach);
    }
    return Done(DD_M_ADD_ATTACHED, self, result, attach ? (int32_t)attach->id : 0);
}

static int32_t SurfaceDeleteAttached(DdSurface *self, uint32_t flags, DdSurface *attach)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_DELETE_ATTACHED);
    if (result == DD_OK && (!r->zSurface || (attach && &r->zSurface->object != attach))) result = DD_ERR_NOT_FOUND;
    int32_t id = attach ? (int32_t)attach->id : 0;
    if (result == DD_OK) {
        DdSurfaceRecord *z = r->zSurface;
        r->zSurface = nullptr;
        z->object.fn->Release(&z->object);
    }
    return Done(DD_M_DELETE_ATTACHED, self, result, (int32_t)flags, id);
}

static int32_t SurfaceGetAttached(DdSurface *self, const uint32_t *caps, DdSurface **out)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_GET_ATTACHED);
    DdSurfaceRecord *found = nullptr;
    if (result == DD_OK && (!caps || !out)) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK) {
        found = (*caps & DD_CAPS_BACKBUFFER) ? r->backBuffer : (*caps & DD_CAPS_ZBUFFER) ? r->zSurface : nullptr;
        if (!found) result = DD_ERR_NOT_FOUND;
    }
    if (result == DD_OK) {
        found->object.fn->AddRef(&found->object);
        *out = &found->object;
    }
    return Done(DD_M_GET_ATTACHED, self, result, caps ? (int32_t)*caps : 0, found ? (int32_t)found->object.id : 0);
}

// ================================================================================================
// descriptions, palette, clipper
// ================================================================================================

static int32_t SurfaceGetDesc(DdSurface *self, DdSurfaceDesc *desc)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_GET_SURFACE_DESC);
    if (result == DD_OK && !desc) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK) {
        memset(desc, 0, sizeof *desc);
        desc->size = sizeof *desc;
        desc->flags = DD_SD_CAPS | DD_SD_HEIGHT | DD_SD_WIDTH | DD_SD_PITCH | DD_SD_PIXELFORMAT |
                      (r->hasKey ? DD_SD_CKSRCBLT : 0u) | (r->backBuffer ? DD_SD_BACKBUFFERCOUNT : 0u);
        desc->width = (uint32_t)self->width;
        desc->height = (uint32_t)self->height;
        desc->pitch = self->pitch;
        desc->backBufferCount = r->backBuffer ? 1 : 0;
        desc->srcBltKey = r->key;
        desc->pixelFormat = self->format;
        desc->caps = self->caps;
    }
    return Done(DD_M_GET_SURFACE_DESC, self, result);
}

static int32_t SurfaceGetPixelFormat(DdSurface *self, DdPixelFormat *format)
{
    int32_t result = DdTakeFault(DD_M_GET_PIXEL_FORMAT);
    if (result == DD_OK && !format) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK) *format = self->format;
    return Done(DD_M_GET_PIXEL_FORMAT, self, result);
}

static int32_t SurfaceSetPalette(DdSurface *self, int first, int count, const uint32_t *entries)
{
    int32_t result = DdTakeFault(DD_M_SET_PALETTE);
    if (result == DD_OK && (!(self->format.flags & DD_PF_PALETTEINDEXED8) || !entries || first < 0 || count < 1 ||
                            first + count > 256))
        result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK)
        for (int i = 0; i < count; i++) self->palette[first + i] = entries[i] & 0xFFFFFF;
    return Done(DD_M_SET_PALETTE, self, result, first, count);
}

static int32_t SurfaceSetClipper(DdSurface *self, DdClipper *clipper)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_SET_CLIPPER);
    if (result == DD_OK) {
        if (clipper) clipper->fn->AddRef(clipper);
        if (r->clipper) r->clipper->fn->Release(r->clipper);
        r->clipper = clipper;
    }
    return Done(DD_M_SET_CLIPPER, self, result, clipper ? (int32_t)clipper->id : 0);
}

// ================================================================================================
// flip
// ================================================================================================

static int32_t SurfaceFlip(DdSurface *self, DdSurface *target, uint32_t flags)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_FLIP);
    if (result == DD_OK && (!r->backBuffer || (target && target != &r->backBuffer->object)))
        result = DD_ERR_NOT_FLIPPABLE;
    if (result == DD_OK) result = BlitState(self);
    if (result == DD_OK) result = BlitState(&r->backBuffer->object);
    if (result == DD_OK) {
        DdSurface *back = &r->backBuffer->object;
        // The device's copies swap with the blocks, or the blocks are brought up to date first.
        int onDevice = DdDeviceSwap(self, back);
        if (!onDevice) DdBeforeCpu(self, DD_CPU_READ | DD_CPU_WRITE), DdBeforeCpu(back, DD_CPU_READ | DD_CPU_WRITE);
        uint8_t *pixels = self->pixels;
        self->pixels = back->pixels;
        back->pixels = pixels;
        if (!onDevice) DdAfterCpuWrite(self, nullptr), DdAfterCpuWrite(back, nullptr);
        if (r->owner) DdPresentSurface(self, r->owner->window);
    }
    return Done(DD_M_FLIP, self, result, target ? (int32_t)target->id : 0, (int32_t)flags);
}

// ================================================================================================
// device contexts
// ================================================================================================

#define DD_MAX_DCS 16
static DdSurface *sDcSurfaces[DD_MAX_DCS];  // slot i is context i + 1

static int32_t SurfaceGetDC(DdSurface *self, DdDc *dc)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_GET_DC);
    if (result == DD_OK && !dc) result = DD_ERR_INVALID_PARAMS;
    if (result == DD_OK && r->lost) result = DD_ERR_SURFACE_LOST;
    if (result == DD_OK && r->dc) result = DD_ERR_DC_ALREADY_CREATED;
    if (result == DD_OK && r->locks) result = DD_ERR_SURFACE_BUSY;
    int slot = 0;
    while (result == DD_OK && slot < DD_MAX_DCS && sDcSurfaces[slot]) slot++;
    if (result == DD_OK && slot == DD_MAX_DCS) result = DD_ERR_CANT_CREATE_DC;
    if (result == DD_OK) {
        DdBeforeCpu(self, DD_CPU_READ | DD_CPU_WRITE);
        sDcSurfaces[slot] = self;
        r->dc = *dc = slot + 1;
        DdCountObject(DD_OBJ_DC, 1);
    }
    return Done(DD_M_GET_DC, self, result, result == DD_OK ? slot + 1 : 0);
}

static int32_t SurfaceReleaseDC(DdSurface *self, DdDc dc)
{
    DdSurfaceRecord *r = AsRecord(self);
    int32_t result = DdTakeFault(DD_M_RELEASE_DC);
    if (result == DD_OK && (!r->dc || dc != r->dc)) result = DD_ERR_NO_DC;
    if (result == DD_OK) {
        sDcSurfaces[dc - 1] = nullptr;
        r->dc = 0;
        DdCountObject(DD_OBJ_DC, -1);
        DdAfterCpuWrite(self, nullptr);
    }
    return Done(DD_M_RELEASE_DC, self, result, (int32_t)dc);
}

DdSurface *DdGetDcSurface(DdDc dc)
{
    if (dc < 1 || dc > DD_MAX_DCS) return nullptr;
    return sDcSurfaces[dc - 1];
}

// Clips a copy of w x h from (sx, sy) to (x, y) against both surfaces. 1 when anything is left.
static int ClipCopy(const DdSurface *d, const DdSurface *s, int *x, int *y, int *w, int *h, int *sx, int *sy)
{
    if (*sx < 0) *x -= *sx, *w += *sx, *sx = 0;
    if (*sy < 0) *y -= *sy, *h += *sy, *sy = 0;
    if (*x < 0) *sx -= *x, *w += *x, *x = 0;
    if (*y < 0) *sy -= *y, *h += *y, *y = 0;
    if (*sx + *w > s->width) *w = s->width - *sx;
    if (*sy + *h > s->height) *h = s->height - *sy;
    if (*x + *w > d->width) *w = d->width - *x;
    if (*y + *h > d->height) *h = d->height - *y;
    return *w > 0 && *h > 0;
}

int DdBitBlt(DdDc dst, int x, int y, int w, int h, DdDc src, int sx, int sy, uint32_t rop)
{
    DdSurface *d = DdGetDcSurface(dst), *s = DdGetDcSurface(src);
    int ok = d && s && rop == DD_SRCCOPY && w >= 0 && h >= 0;
    if (ok && ClipCopy(d, s, &x, &y, &w, &h, &sx, &sy)) ok = DdCopyPixels(d, x, y, s, sx, sy, w, h, nullptr) == 0;
    int32_t args[6] = {(int32_t)dst, x, y, w, h, (int32_t)src};
    DdRecordCall(DD_M_BIT_BLT, DD_OBJ_DC, (uint32_t)dst, args, 6, ok ? 1 : 0);
    return ok;
}

int DdGdiFlush(void) { return 1; }

// ================================================================================================
// loss, for the draw object
// ================================================================================================

const DdSurfaceFns kDdSurfaceFns = {
    SurfaceAddRef,   SurfaceRelease,    SurfaceLock,          SurfaceUnlock,        SurfaceBlt,
    SurfaceBltFast,  SurfaceSetColorKey, SurfaceGetColorKey,  SurfaceIsLost,        SurfaceRestore,
    SurfaceAddAttached, SurfaceDeleteAttached, SurfaceGetAttached, SurfaceGetDC,    SurfaceReleaseDC,
    SurfaceGetDesc,  SurfaceGetPixelFormat, SurfaceFlip,      SurfaceSetClipper,    SurfaceSetPalette,
};
