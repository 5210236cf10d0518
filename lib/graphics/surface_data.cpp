// The objects behind a pixel store: a display surface on the DirectDraw route (with a memory image
// over its pixels for the software drawers), else a memory image; locks, loss, fills, colour keys,
// and copies between display surfaces.
#include <algorithm>
#include <cstring>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/d3d/d3d_surface_hooks.h"
#include "lib/graphics/ddraw_display.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/graphics_start.h"
#include "lib/graphics/screen.h"
#include "lib/graphics/surface_data.h"

// The memory-image colour type of a store's depth.
static int StoreColorType(const SurfaceDataRecord *r)
{
    return r->format.colorBitDepth == 32 ? MEMIMG_COLOR_8888 : MEMIMG_COLOR_565;
}

// 1 when a store is a display surface: a texture, or on the DirectDraw route a store without alpha
// outside system memory. Alpha stores keep the drawers' own layout in memory.
static int WantsDisplaySurface(const SurfaceDataRecord *r)
{
    if (r->format.textureFlag) return 1;
    return IsSurfaceRouteInUse() && !r->format.alphaChFlag && !r->format.systemMemFlag;
}

// The pixel format of a new display surface for the store. 0 / -1.
static int StorePixelFormat(const SurfaceDataRecord *r, DdPixelFormat *out)
{
    if (!r->format.textureFlag) {
        *out = *FindMemImgPixelFormat(StoreColorType(r), 0, 0);
        return 0;
    }
    const ColorFormatRecord *f = G_D3D_GetTextureFormatColorFormat(r->textureFormatSlot);
    if (!G_D3D_GetTextureFormatRecord(r->textureFormatSlot) || !f) return -1;
    *out = DdPixelFormat{sizeof(DdPixelFormat), DD_PF_RGB | (f->alphaMask ? DD_PF_ALPHAPIXELS : 0u), 0,
                         f->colorBitDepth, f->redMask, f->greenMask, f->blueMask, f->alphaMask};
    return 0;
}

static int ReleaseSurfaceDataObjectsOf(SurfaceDataRecord *r);
static void ApplySurfaceColorKeyOf(SurfaceDataRecord *r);
static void GiveKeptPixelsBack(SurfaceDataRecord *r);

// The store's display surface with a memory image over its pixels. 0 / -1.
static int BuildDisplaySurface(SurfaceDataRecord *r)
{
    DdDraw *draw = GetDirectDrawObject();
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    desc.flags = DD_SD_CAPS | DD_SD_WIDTH | DD_SD_HEIGHT | DD_SD_PIXELFORMAT;
    desc.width = r->width, desc.height = r->height;
    desc.caps = r->format.textureFlag ? DD_CAPS_TEXTURE | (r->format.systemMemFlag ? DD_CAPS_SYSTEMMEMORY : 0u)
                                      : DD_CAPS_OFFSCREENPLAIN | DD_CAPS_VIDEOMEMORY;
    if (r->format.drawValid) desc.caps |= DD_CAPS_3DDEVICE;
    DdSurface *surface = nullptr;
    if (!draw || StorePixelFormat(r, &desc.pixelFormat) != 0 ||
        draw->fn->CreateSurface(draw, &desc, &surface, nullptr) != DD_OK)
        return WriteLogFormat("サーフェスの作成に失敗しました %d x %d", r->width, r->height);
    r->ddSurface = surface;
    if (!r->format.textureFlag &&
        CreateMemImgOverPixels(&r->image, surface->pixels, surface->width, surface->height, surface->pitch,
                               StoreColorType(r), PackMemImgColor(StoreColorType(r), r->transColor)) != 0) {
        ReleaseSurfaceDataObjectsOf(r);
        return -1;
    }
    return 0;
}

static int BuildSurfaceDataObjectsOf(SurfaceDataRecord *r)
{
    if (!r) return -1;
    if (r->ddSurface || IsMemImgValid(&r->image)) return 0;
    if (WantsDisplaySurface(r)) {
        if (BuildDisplaySurface(r) != 0) return -1;
        ApplySurfaceColorKeyOf(r);
        // Pixels the new surface refuses stay with the store: the device's rebuild looks for them.
        GiveKeptPixelsBack(r);
        return 0;
    }
    int type = StoreColorType(r);
    return CreateMemImg(&r->image, r->width, r->height, type, r->format.alphaChFlag, 0,
                        PackMemImgColor(type, r->transColor));
}

static int ReleaseSurfaceDataObjectsOf(SurfaceDataRecord *r)
{
    if (!r) return -1;
    auto *surface = (DdSurface *)r->ddSurface;
    auto *z = (DdSurface *)r->zSurface;
    if (z) {
        if (surface) surface->fn->DeleteAttachedSurface(surface, 0, z);
        z->fn->Release(z);
    }
    ReleaseMemImg(&r->image);
    if (surface) surface->fn->Release(surface);
    r->zSurface = nullptr;
    r->ddSurface = nullptr;
    r->lockCount = 0;
    r->unlocked = Rect{};
    return 0;
}

static void ApplySurfaceColorKeyOf(SurfaceDataRecord *r)
{
    auto *surface = r ? (DdSurface *)r->ddSurface : nullptr;
    if (!surface) return;
    uint32_t red = r->transColor >> 16 & 0xFF, green = r->transColor >> 8 & 0xFF, blue = r->transColor & 0xFF;
    const ColorFormatRecord *format = r->format.textureFlag ? G_D3D_GetTextureFormatColorFormat(r->textureFormatSlot)
                                                            : GetMemImgColorFormat(StoreColorType(r), 0, 0);
    if (!format) {
        WriteLog("カラーキーの設定に失敗しました\n");
        return;
    }
    uint32_t pixel = MatchColorToPixel(format, (int)red, (int)green, (int)blue, 0) & ~format->alphaMask;
    DdColorKey key = {pixel, pixel};
    if (surface->fn->SetColorKey(surface, DD_CKEY_SRCBLT, &key) != DD_OK) WriteLog("カラーキーの設定に失敗しました\n");
}

// ================================================================================================
// locks
// ================================================================================================

static int LockSurfaceDataOf(SurfaceDataRecord *r, int *pitch, uint8_t **pixels, int writeFlag, const Rect *rect,
                    const ColorFormatRecord **format)
{
    if (!r) return WriteLog("グラフィックのロックに失敗しました\n");
    auto *surface = (DdSurface *)r->ddSurface;
    int nested = r->lockCount > 0;
    if (!nested) {
        if (surface) {
            // The surface is locked whole; every lock of it hands out an offset into that.
            DdSurfaceDesc desc = {};
            desc.size = sizeof desc;
            uint32_t flags = DD_LOCK_WAIT | (writeFlag == 1 ? DD_LOCK_WRITEONLY : 0u);
            if (surface->fn->Lock(surface, nullptr, &desc, flags) != DD_OK)
                return WriteLog("グラフィックのロックに失敗しました\n");
            r->lockedPixels = (uint8_t *)desc.surface;
            r->lockedPitch = desc.pitch;
        } else if (IsMemImgValid(&r->image)) {
            r->lockedPixels = r->image.pixels;
            r->lockedPitch = r->image.shared->pitch;
        } else {
            return WriteLog("グラフィックのロックに失敗しました\n");
        }
    }
    r->lockCount++;
    if (writeFlag == 1) r->lockedForWrite = 1;
    int bytes = surface ? (int)surface->format.bitCount / 8 : r->image.shared->format->pixelByte;
    intptr_t offset = rect ? (intptr_t)rect->top * r->lockedPitch + (intptr_t)rect->left * bytes : 0;
    if (pitch) *pitch = r->lockedPitch;
    if (pixels) *pixels = r->lockedPixels + offset;
    if (format) *format = IsMemImgValid(&r->image) ? r->image.shared->format : nullptr;
    return nested ? -2 : 0;
}

// Joins what an unlock names (null, or a rectangle that is not inside the store: all of it) to the
// area the open locks changed.
static void JoinUnlockedArea(SurfaceDataRecord *r, const Rect *rect)
{
    Rect a = {0, 0, r->width, r->height};
    if (rect && rect->left >= 0 && rect->top >= 0 && rect->left < rect->right && rect->top < rect->bottom &&
        rect->right <= r->width && rect->bottom <= r->height)
        a = *rect;
    Rect &u = r->unlocked;
    if (u.left < u.right && u.top < u.bottom)
        a = {std::min(a.left, u.left), std::min(a.top, u.top), std::max(a.right, u.right), std::max(a.bottom, u.bottom)};
    u = a;
}

static int UnlockSurfaceDataOf(SurfaceDataRecord *r, const Rect *rect)
{
    if (!r || r->lockCount < 1) return -1;
    JoinUnlockedArea(r, rect);
    if (--r->lockCount > 0) return 0;
    auto *surface = (DdSurface *)r->ddSurface;
    // The surface is told what the locks changed, so a device copy of it takes just that again.
    const Rect &u = r->unlocked;
    DdRect area = {u.left, u.top, u.right, u.bottom};
    int whole = u.left == 0 && u.top == 0 && u.right == r->width && u.bottom == r->height;
    if (surface) surface->fn->Unlock(surface, whole ? nullptr : &area);
    r->unlocked = Rect{};
    // The library's own writers mark what they change; a write-only lock is taken as a change.
    if (r->lockedForWrite && IsMemImgValid(&r->image)) MarkMemImgPixelsChanged(&r->image);
    r->lockedForWrite = 0;
    r->lockedPixels = nullptr;
    return 0;
}

// ================================================================================================
// pixels kept over a device re-creation
// ================================================================================================

// The display surface itself is kept, with a reference of its own, rather than a copy of its rows:
// it outlives the store's release and the device's, and the new surface takes over its memory block.
// A huge texture went through two whole copies into and out of fresh memory at every display change.
// A surface whose pixels cannot be read (its lock refused) is not kept.
int KeepSurfaceDataPixels(int handle)
{
    SurfaceDataRecord *r = LookupSurfaceData(handle);
    auto *surface = r ? (DdSurface *)r->ddSurface : nullptr;
    if (!surface) return r && r->keptSurface ? 0 : -1;
    if (r->keptSurface) return 0;
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    if (surface->fn->Lock(surface, nullptr, &desc, DD_LOCK_WAIT | DD_LOCK_READONLY) != DD_OK) return -1;
    surface->fn->Unlock(surface, nullptr);
    surface->fn->AddRef(surface);
    r->keptSurface = surface;
    return 0;
}

// Lets the kept surface go. 1 when there was one.
static int LetKeptSurfaceGo(SurfaceDataRecord *r)
{
    auto *kept = r ? (DdSurface *)r->keptSurface : nullptr;
    if (!kept) return 0;
    kept->fn->Release(kept);
    r->keptSurface = nullptr;
    return 1;
}

// A new surface takes the kept pixels, if any, and the kept surface goes; a surface that refuses them
// (another size or format) leaves it with the store (DropKeptSurfaceDataPixels).
static void GiveKeptPixelsBack(SurfaceDataRecord *r)
{
    auto *kept = (DdSurface *)r->keptSurface;
    if (kept && DdTradeSurfacePixels((DdSurface *)r->ddSurface, kept) == DD_OK) LetKeptSurfaceGo(r);
}

int DropKeptSurfaceDataPixels(int handle)
{
    return LetKeptSurfaceGo(LookupSurfaceData(handle));
}

// ================================================================================================
// loss and fills
// ================================================================================================

static int RestoreSurfaceIfLostOf(SurfaceDataRecord *r)
{
    auto *surface = r ? (DdSurface *)r->ddSurface : nullptr;
    if (!surface || surface->fn->IsLost(surface) == DD_OK) return 0;
    surface->fn->Restore(surface);
    r->lost = 1;
    if (IsMemImgValid(&r->image)) MarkMemImgPixelsChanged(&r->image);
    return -1;
}

static int FillSurfaceDataOf(SurfaceDataRecord *r, int red, int green, int blue, int alpha)
{
    if (!r) return -1;
    auto *surface = (DdSurface *)r->ddSurface;
    if (!surface) {
        if (!IsMemImgValid(&r->image)) return -1;
        FillMemImgPixels(&r->image, Rect{0, 0, r->image.width, r->image.height},
                         MatchColorToPixel(r->image.shared->format, red, green, blue, alpha));
        return 0;
    }
    const ColorFormatRecord *format = r->format.textureFlag ? G_D3D_GetTextureFormatColorFormat(r->textureFormatSlot)
                                                            : r->image.shared->format;
    if (!format) return -1;
    DdBltFx fx = {sizeof fx, MatchColorToPixel(format, red, green, blue, alpha), 0};
    if (surface->fn->Blt(surface, nullptr, nullptr, nullptr, DD_BLT_COLORFILL | DD_BLT_WAIT, &fx) != DD_OK) return -1;
    if (IsMemImgValid(&r->image)) MarkMemImgPixelsChanged(&r->image);
    return 0;
}

// ================================================================================================
// by handle
// ================================================================================================

int BuildSurfaceDataObjects(int handle) { return BuildSurfaceDataObjectsOf(LookupSurfaceData(handle)); }
int ReleaseSurfaceDataObjects(int handle) { return ReleaseSurfaceDataObjectsOf(LookupSurfaceData(handle)); }
void ApplySurfaceColorKey(int handle) { ApplySurfaceColorKeyOf(LookupSurfaceData(handle)); }
int RestoreSurfaceIfLost(int handle) { return RestoreSurfaceIfLostOf(LookupSurfaceData(handle)); }
int UnlockSurfaceData(int handle, const Rect *rect) { return UnlockSurfaceDataOf(LookupSurfaceData(handle), rect); }

int LockSurfaceData(int handle, int *pitch, uint8_t **pixels, int writeFlag, const Rect *rect,
                    const ColorFormatRecord **format)
{
    return LockSurfaceDataOf(LookupSurfaceData(handle), pitch, pixels, writeFlag, rect, format);
}

int FillSurfaceData(int handle, int r, int g, int b, int a)
{
    return FillSurfaceDataOf(LookupSurfaceData(handle), r, g, b, a);
}

// ================================================================================================
// copies between display surfaces
// ================================================================================================

// Copies by the surfaces' device contexts. 0 / -1.
static int TransferByDeviceContexts(DdSurface *dst, DdSurface *src, int x, int y, const Rect *r)
{
    DdDc dd = 0, sd = 0;
    if (dst->fn->GetDC(dst, &dd) != DD_OK) return -1;
    if (src->fn->GetDC(src, &sd) != DD_OK) {
        dst->fn->ReleaseDC(dst, dd);
        return -1;
    }
    int ok = DdBitBlt(dd, x, y, r->right - r->left, r->bottom - r->top, sd, r->left, r->top, DD_SRCCOPY);
    DdGdiFlush();
    src->fn->ReleaseDC(src, sd);
    dst->fn->ReleaseDC(dst, dd);
    return ok ? 0 : -1;
}

// The library's GDI-blit setting: nothing in this system sets it, so copies of mode -1 use BltFast.
static const int kGdiBlitSetting = 0;

int TransferSurfaceRect(DdSurface *dst, DdSurface *src, int x, int y, const Rect *srcRect, int mode)
{
    if (!dst || !src || !srcRect) return -1;
    if (mode == 1 || (mode == -1 && kGdiBlitSetting)) return TransferByDeviceContexts(dst, src, x, y, srcRect);
    DdRect r = {srcRect->left, srcRect->top, srcRect->right, srcRect->bottom};
    return dst->fn->BltFast(dst, x, y, src, &r, DD_BLTFAST_WAIT) == DD_OK ? 0 : -1;
}
