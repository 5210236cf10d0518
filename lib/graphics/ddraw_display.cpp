// The DirectDraw side of the graphics core: the draw object, the screen surfaces, presenting, loss
// and restore of the screens, and the getters of the formats and caps.
#include "lib/graphics/ddraw_display.h"

#include <cstring>

#include "lib/core/log.h"
#include "lib/core/system.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/screen.h"
#include "lib/graphics/surface_data.h"
#include "platform/d3d/d3d_surface.h"

// The DirectDraw state; written by this file only.
static struct {
    DdDraw *draw;              // null: software rendering or not started
    int fullScreen;            // 1: exclusive with a flip chain
    DdCaps caps;               // taken at the start
    DdClipper *clipper;        // window mode
    DdSurface *primary;        // full screen: the front of the flip chain; window: the window
    DdSurface *front;          // what screen -4 draws on (the primary in full screen)
    DdSurface *back;           // what screen -2 draws on
    DdSurface *work;           // off-screen work surface of the screen's size
    DdPixelFormat screenFormat;
    DdPixelFormat memImgFormats[2][3];  // [colour type][direct, alpha, palette]
    int memImgFormatsMade;
} sDd;

DdDraw *GetDirectDrawObject(void) { return sDd.draw; }
DdSurface *GetFrontDrawSurface(void) { return sDd.front; }
DdSurface *GetBackRenderSurface(void) { return sDd.back; }
DdSurface *GetWorkSurface(void) { return sDd.work; }
DdSurface *GetPrimarySurface(void) { return sDd.primary; }
const DdPixelFormat *GetScreenPixelFormat(void) { return &sDd.screenFormat; }
int IsFlipChainInUse(void) { return sDd.draw && sDd.fullScreen; }

// The display's surfaces have no overlay call, so no overlay format is offered: a movie asking for an
// overlay gets a system-memory frame surface instead.
const DdPixelFormat *GetOverlayPixelFormat(void) { return nullptr; }

DdCaps *CopyDirectDrawCaps(DdCaps *out)
{
    if (out) *out = sDd.caps;
    return out;
}

const DdPixelFormat *FindMemImgPixelFormat(int colorType, int alphaFlag, int paletteFlag)
{
    if (colorType != MEMIMG_COLOR_565 && colorType != MEMIMG_COLOR_8888) return nullptr;
    if (!sDd.memImgFormatsMade) {
        // Type 0 with alpha keeps its 16 colour bits under an alpha byte (bits 16 to 23).
        static const DdPixelFormat kFormats[2][3] = {
            {{sizeof(DdPixelFormat), DD_PF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0},
             {sizeof(DdPixelFormat), DD_PF_RGB | DD_PF_ALPHAPIXELS, 0, 32, 0xF800, 0x07E0, 0x001F, 0xFF0000},
             {sizeof(DdPixelFormat), DD_PF_RGB | DD_PF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0}},
            {{sizeof(DdPixelFormat), DD_PF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0},
             {sizeof(DdPixelFormat), DD_PF_RGB | DD_PF_ALPHAPIXELS, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
             {sizeof(DdPixelFormat), DD_PF_RGB | DD_PF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0}},
        };
        memcpy(sDd.memImgFormats, kFormats, sizeof kFormats);
        sDd.memImgFormatsMade = 1;
    }
    return &sDd.memImgFormats[colorType][paletteFlag ? 2 : alphaFlag ? 1 : 0];
}

// ================================================================================================
// the draw object
// ================================================================================================

// Drops the draw object (and the clipper).
static void ReleaseDrawObject(void)
{
    if (sDd.clipper) sDd.clipper->fn->Release(sDd.clipper);
    if (sDd.draw) {
        if (sDd.fullScreen) sDd.draw->fn->RestoreDisplayMode(sDd.draw);
        sDd.draw->fn->Release(sDd.draw);
    }
    sDd.clipper = nullptr;
    sDd.draw = nullptr;
}

int StartDirectDrawObject(int fullScreen)
{
    WriteLog("DirectDraw の初期化を開始します\n");
    WHandle window = (WHandle)GetMainWindowHandle();
    uint32_t level = fullScreen ? DD_SCL_FULLSCREEN | DD_SCL_EXCLUSIVE | DD_SCL_ALLOWREBOOT : DD_SCL_NORMAL;
    if (DdCreate(nullptr, &sDd.draw, nullptr) != DD_OK) {
        sDd.draw = nullptr;
        return WriteLog("DirectDraw オブジェクトの作成に失敗しました\n");
    }
    sDd.fullScreen = fullScreen ? 1 : 0;
    if (sDd.draw->fn->SetCooperativeLevel(sDd.draw, window, level) != DD_OK) {
        ReleaseDrawObject();
        return WriteLog("DirectDraw の協調レベルの設定に失敗しました\n");
    }
    memset(&sDd.caps, 0, sizeof sDd.caps);
    sDd.caps.size = sizeof sDd.caps;
    if (sDd.draw->fn->GetCaps(sDd.draw, &sDd.caps, nullptr) != DD_OK) {
        ReleaseDrawObject();
        return WriteLog("DirectDraw の能力の取得に失敗しました\n");
    }
    WriteLog("DirectDraw の初期化が完了しました\n");
    return 0;
}

int EndDirectDrawObject(void)
{
    ReleaseScreenSurfaces(nullptr, nullptr);
    ReleaseDrawObject();
    return 0;
}

// ================================================================================================
// screen surfaces
// ================================================================================================

// Drops one surface reference and clears the pointer.
static void DropSurface(DdSurface **surface)
{
    if (*surface) (*surface)->fn->Release(*surface);
    *surface = nullptr;
}

int ReleaseScreenSurfaces(MEMIMG *front, MEMIMG *back)
{
    if (front) ReleaseMemImg(front);
    if (back) ReleaseMemImg(back);
    DropSurface(&sDd.work);
    if (sDd.front == sDd.primary) sDd.front = nullptr;
    DropSurface(&sDd.front);
    DropSurface(&sDd.back);
    DropSurface(&sDd.primary);
    return 0;
}

// An off-screen surface of the screen's size and format. Result code.
static int32_t MakeOffscreen(int width, int height, DdSurface **out)
{
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    desc.flags = DD_SD_CAPS | DD_SD_WIDTH | DD_SD_HEIGHT | DD_SD_PIXELFORMAT;
    desc.width = (uint32_t)width, desc.height = (uint32_t)height;
    desc.caps = DD_CAPS_OFFSCREENPLAIN | DD_CAPS_3DDEVICE | DD_CAPS_VIDEOMEMORY;
    desc.pixelFormat = sDd.screenFormat;
    return sDd.draw->fn->CreateSurface(sDd.draw, &desc, out, nullptr);
}

// Full screen: the display mode and the flip chain. Result code.
static int32_t MakeFlipChain(int width, int height, int colorBits)
{
    int32_t result = sDd.draw->fn->SetDisplayMode(sDd.draw, (uint32_t)width, (uint32_t)height, (uint32_t)colorBits,
                                                  60, 0);
    if (result != DD_OK) return result;
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    desc.flags = DD_SD_CAPS | DD_SD_BACKBUFFERCOUNT;
    desc.caps = DD_CAPS_PRIMARYSURFACE | DD_CAPS_FLIP | DD_CAPS_COMPLEX | DD_CAPS_3DDEVICE;
    desc.backBufferCount = 1;
    result = sDd.draw->fn->CreateSurface(sDd.draw, &desc, &sDd.primary, nullptr);
    if (result != DD_OK) return result;
    uint32_t caps = DD_CAPS_BACKBUFFER;
    result = sDd.primary->fn->GetAttachedSurface(sDd.primary, &caps, &sDd.back);
    sDd.front = sDd.primary;
    return result;
}

// Window mode: the primary with a clipper on the window, and two off-screen screens. Result code.
static int32_t MakeWindowScreens(int width, int height)
{
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    desc.flags = DD_SD_CAPS;
    desc.caps = DD_CAPS_PRIMARYSURFACE;
    int32_t result = sDd.draw->fn->CreateSurface(sDd.draw, &desc, &sDd.primary, nullptr);
    if (result == DD_OK && !sDd.clipper) {
        result = sDd.draw->fn->CreateClipper(sDd.draw, 0, &sDd.clipper, nullptr);
        if (result == DD_OK) result = sDd.clipper->fn->SetHWnd(sDd.clipper, 0, (WHandle)GetMainWindowHandle());
    }
    if (result == DD_OK) result = sDd.primary->fn->SetClipper(sDd.primary, sDd.clipper);
    // A window of the screen's size and format is the front screen itself; otherwise the front
    // screen is drawn off-screen and copied (converted, scaled) to it. The primary just made is in
    // the desktop's format as it stands now.
    DdSurface *p = sDd.primary;
    int direct = result == DD_OK && p->width == width && p->height == height &&
                 p->format.bitCount == sDd.screenFormat.bitCount && p->format.redMask == sDd.screenFormat.redMask;
    if (direct) sDd.front = p;
    else if (result == DD_OK) result = MakeOffscreen(width, height, &sDd.front);
    if (result == DD_OK) result = MakeOffscreen(width, height, &sDd.back);
    return result;
}

// A memory image over a screen surface's pixels. 0 / -1.
static int MakeScreenMemImg(DdSurface *surface, int colorType, MEMIMG *out)
{
    return CreateMemImgOverPixels(out, surface->pixels, surface->width, surface->height, surface->pitch, colorType, 0);
}

int CreateScreenSurfaces(int width, int height, int colorBits, MEMIMG *front, MEMIMG *back)
{
    if (!sDd.draw) return -1;
    DdMakePixelFormat(colorBits == 32 ? 888 : 565, &sDd.screenFormat);
    int32_t result = sDd.fullScreen ? MakeFlipChain(width, height, colorBits) : MakeWindowScreens(width, height);
    if (result == DD_OK) result = MakeOffscreen(width, height, &sDd.work);
    int colorType = colorBits == 32 ? MEMIMG_COLOR_8888 : MEMIMG_COLOR_565;
    if (result != DD_OK || MakeScreenMemImg(sDd.front, colorType, front) != 0 ||
        MakeScreenMemImg(sDd.back, colorType, back) != 0) {
        ReleaseScreenSurfaces(front, back);
        return WriteLogFormat("スクリーンサーフェスの作成に失敗しました 0x%08x", (unsigned)result);
    }
    FillScreenSurface(SCREEN_FRONT, nullptr, 0);
    FillScreenSurface(SCREEN_BACK, nullptr, 0);
    return 0;
}

int ReadWindowPixelFormat(void)
{
    if (!sDd.draw) return -1;
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    int32_t result = sDd.draw->fn->GetDisplayMode(sDd.draw, &desc);
    if (result != DD_OK)
        return WriteLogFormat("画面のピクセルフォーマットの取得に失敗しました 0x%08x in ReadScreenColorFormat", (unsigned)result);
    return 0;
}

DdSurface *GetScreenSurface(int screen)
{
    if (screen == SCREEN_FRONT) return sDd.front;
    if (screen == SCREEN_BACK) return sDd.back;
    return nullptr;
}

int LockScreenSurface(int screen)
{
    DdSurface *surface = GetScreenSurface(screen);
    if (!surface) return -1;
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    if (surface->fn->Lock(surface, nullptr, &desc, DD_LOCK_WAIT) != DD_OK) return -1;
    return 0;
}

void UnlockScreenSurface(int screen)
{
    DdSurface *surface = GetScreenSurface(screen);
    if (surface) surface->fn->Unlock(surface, nullptr);
}

int FillScreenSurface(int screen, const Rect *rect, uint32_t pixel)
{
    DdSurface *surface = GetScreenSurface(screen);
    if (!surface) return -1;
    if (rect && (rect->right <= rect->left || rect->bottom <= rect->top)) return 0;
    DdRect area = rect ? DdRect{rect->left, rect->top, rect->right, rect->bottom} : DdRect{};
    DdBltFx fx = {sizeof fx, pixel, 0};
    int32_t result = surface->fn->Blt(surface, rect ? &area : nullptr, nullptr, nullptr,
                                      DD_BLT_COLORFILL | DD_BLT_WAIT, &fx);
    return result == DD_OK ? 0 : -1;
}

// ================================================================================================
// presenting, loss and restore
// ================================================================================================

int ShowFrontScreenSurface(void)
{
    if (!sDd.primary || sDd.fullScreen) return -1;
    if (sDd.front != sDd.primary &&
        sDd.primary->fn->Blt(sDd.primary, nullptr, sDd.front, nullptr, DD_BLT_WAIT, nullptr) != DD_OK)
        return -1;
    return DdPresentSurface(sDd.primary, (WHandle)GetMainWindowHandle());
}

int PresentScreenSurfaces(MEMIMG *front, MEMIMG *back)
{
    if (!sDd.primary) return -1;
    if (sDd.fullScreen) {
        if (sDd.primary->fn->Flip(sDd.primary, nullptr, DD_FLIP_WAIT) != DD_OK) return -1;
        // The blocks swapped: each image follows its surface.
        MoveMemImgPixels(front, sDd.front->pixels);
        MoveMemImgPixels(back, sDd.back->pixels);
        return 0;
    }
    if (sDd.front->fn->BltFast(sDd.front, 0, 0, sDd.back, nullptr, DD_BLTFAST_WAIT) != DD_OK) return -1;
    return ShowFrontScreenSurface();
}

// Restores one lost surface. 1 when it was lost.
static int RestoreIfLost(DdSurface *surface)
{
    if (!surface || surface->fn->IsLost(surface) == DD_OK) return 0;
    surface->fn->Restore(surface);
    return 1;
}

int RestoreScreenSurfaces(void)
{
    int lost = RestoreIfLost(sDd.primary);
    lost |= RestoreIfLost(sDd.front);
    lost |= RestoreIfLost(sDd.back);
    lost |= RestoreIfLost(sDd.work);
    if (lost) {
        FillScreenSurface(SCREEN_FRONT, nullptr, 0);
        FillScreenSurface(SCREEN_BACK, nullptr, 0);
    }
    return lost;
}

// ================================================================================================
// the display as the Direct3D renderer sees it
// ================================================================================================

// The 3-D object of the draw object (one reference). 0 / -1.
static int QueryDirect3DObject(D3dObject **out)
{
    *out = nullptr;
    if (!sDd.draw || D3dRegisterWithDirectDraw() != 0) return -1;
    DdGuid iid;
    static_assert(sizeof iid == sizeof kD3dGuidObject, "one GUID layout");
    memcpy(&iid, &kD3dGuidObject, sizeof iid);
    if (sDd.draw->fn->QueryInterface(sDd.draw, &iid, (void **)out) != DD_OK) *out = nullptr;
    return *out ? 0 : -1;
}

static int CopyScreenColorFormat(ColorFormatRecord *out)
{
    const ColorFormatRecord *format = GetScreenColorFormat();
    if (!format) return -1;
    *out = *format;
    return 0;
}

static int LockSurfaceDataForDevice(int handle, int *pitch, uint8_t **pixels, int writeFlag, const Rect *rect)
{
    return LockSurfaceData(handle, pitch, pixels, writeFlag, rect, nullptr);
}

// A texture in system memory, written by the CPU and loaded into a device texture. 0, or the
// refusal (CreateSurface's result; -1 without a draw object or a size).
static int CreateSystemTexture(int width, int height, const D3dPixelFormat *format, DdSurface **out)
{
    *out = nullptr;
    if (!sDd.draw || width <= 0 || height <= 0) return -1;
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    desc.flags = DD_SD_CAPS | DD_SD_HEIGHT | DD_SD_WIDTH | DD_SD_PIXELFORMAT;
    desc.width = (uint32_t)width, desc.height = (uint32_t)height;
    desc.caps = DD_CAPS_TEXTURE | DD_CAPS_SYSTEMMEMORY;
    desc.pixelFormat = DdPixelFormat{sizeof(DdPixelFormat), format->flags, format->fourCC, format->bitCount,
                                     format->rMask, format->gMask, format->bMask, format->aMask};
    int32_t result = sDd.draw->fn->CreateSurface(sDd.draw, &desc, out, nullptr);
    if (result != DD_OK) *out = nullptr;
    return result != DD_OK ? result : *out ? 0 : -1;
}

static int LockWholeSurface(DdSurface *surface, int *pitch, uint8_t **pixels)
{
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    if (surface->fn->Lock(surface, nullptr, &desc, DD_LOCK_WAIT | DD_LOCK_WRITEONLY) != DD_OK) return -1;
    *pitch = desc.pitch;
    *pixels = (uint8_t *)desc.surface;
    return 0;
}

static int UnlockWholeSurface(DdSurface *surface) { return surface->fn->Unlock(surface, nullptr) == DD_OK ? 0 : -1; }
static void ReleaseSurface(DdSurface *surface) { surface->fn->Release(surface); }

static const Direct3DDisplayPort kDirect3DDisplayPort = {
    QueryDirect3DObject,       GetFrontDrawSurface,   GetDrawTargetSurface, CopyScreenColorFormat,
    BuildSurfaceDataObjects,   ReleaseSurfaceDataObjects, RestoreSurfaceIfLost, FillSurfaceData,
    ApplySurfaceColorKey,      GetBackRenderSurface,  LockSurfaceDataForDevice, UnlockSurfaceData,
    CreateSystemTexture,       LockWholeSurface,      UnlockWholeSurface,   ReleaseSurface,
    GetWorkSurface,            KeepSurfaceDataPixels, DropKeptSurfaceDataPixels,
};

void InstallDirect3DDisplayPort(int on) { SetDirect3DDisplayPort(on ? &kDirect3DDisplayPort : nullptr); }
