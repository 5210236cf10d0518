// Screens and graphics start and end: the screen memory images (over the DirectDraw screen surfaces,
// or on their own in software rendering mode), the screen mode, the draw target, clearing and
// presenting, and the display hooks of the window procedure.
#include <cstdlib>
#include <cstring>

#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/core/system.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_hooks.h"
#include "lib/d3d/d3d_surface_hooks.h"
#include "lib/font/font.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/ddraw_display.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/graphics_start.h"
#include "lib/graphics/screen.h"
#include "lib/movie/movie_graph_hooks.h"
#include "platform/window/window.h"

// The display state; written by this file only.
static struct {
    // mode
    int width = SYSTEM_SCREEN_WIDTH;    // pixels
    int height = SYSTEM_SCREEN_HEIGHT;
    int colorBits = 16;                 // 16 or 32
    int refreshRate = 60;               // Hz (recorded; the window is not synchronised to it)
    int colorType = MEMIMG_COLOR_565;   // memory-image type of the screens
    // screens
    MEMIMG front;                       // what the window shows
    MEMIMG back;                        // what frames are drawn on
    int ready;                          // 1 while both screens exist
    uint64_t presentCount;              // frames shown by PresentFrame
    // routes
    int softwareRendering;              // 1: every draw in software on the screen images
    int softwareOnly;                   // 1: no DirectDraw object at all
    int directDraw;                     // 1 while a DirectDraw object exists
    int direct3DOff;                    // 1: Direct3D not started (setting)
    int direct3DWanted;                 // 1: the display is offered to the Direct3D renderer (setting)
    int use3D = 1;                      // the use-3D setting
    int d3dUsable;                      // graphics management found 3D drawing usable
    int started;                        // 1 between the graphics start and end
} sDisplay;

int QuerySoftwareRenderingSetting(void)
{
    // DAZAR_RENDER_ROUTE forces a route: "software", "ddraw" (Direct3D off) or "d3d"; anything else
    // (or nothing) is the default, the Direct3D route: the display is handed to the Direct3D renderer,
    // and where its device cannot start (no OpenGL) the graphics start falls back to software rendering.
    const char *route = getenv("DAZAR_RENDER_ROUTE");
    sDisplay.softwareRendering = route && strcmp(route, "software") == 0;
    sDisplay.direct3DOff = route && strcmp(route, "ddraw") == 0;
    sDisplay.direct3DWanted = !sDisplay.softwareRendering && !sDisplay.direct3DOff;
    return sDisplay.softwareRendering;
}

int IsDirectDrawInUse(void) { return sDisplay.directDraw; }
int IsSoftwareRenderingInUse(void) { return sDisplay.softwareRendering; }
int IsSurfaceRouteInUse(void) { return sDisplay.directDraw && !sDisplay.softwareRendering; }
int IsScreenReady(void) { return sDisplay.ready; }
int GetScreenColorType(void) { return sDisplay.colorType; }
uint64_t GetPresentCount(void) { return sDisplay.presentCount; }

int IsDirect3DDrawUsable(void)
{
    return sDisplay.use3D == 1 && sDisplay.d3dUsable && !sDisplay.softwareRendering && G_D3D_GetDevice() != nullptr;
}

void EndDirect3DWork(void)
{
    if (!IsDirect3DDrawUsable()) return;
    G_D3D_EndScene();
    G_D3D_FlushVertexBatch();
}

// ================================================================================================
// screen images
// ================================================================================================

static void ReleaseScreens(void)
{
    if (IsSurfaceRouteInUse()) ReleaseScreenSurfaces(&sDisplay.front, &sDisplay.back);
    ReleaseMemImg(&sDisplay.front);
    ReleaseMemImg(&sDisplay.back);
    sDisplay.ready = 0;
}

// Both screens at the current mode, black: surfaces on the DirectDraw route. 0 / -1.
static int CreateScreens(void)
{
    if (IsSurfaceRouteInUse()) {
        if (CreateScreenSurfaces(sDisplay.width, sDisplay.height, sDisplay.colorBits, &sDisplay.front,
                                 &sDisplay.back) != 0)
            return -1;
        sDisplay.ready = 1;
        return 0;
    }
    if (CreateMemImg(&sDisplay.front, sDisplay.width, sDisplay.height, sDisplay.colorType, 0, 0, 0) != 0 ||
        CreateMemImg(&sDisplay.back, sDisplay.width, sDisplay.height, sDisplay.colorType, 0, 0, 0) != 0) {
        ReleaseScreens();
        return WriteLog("スクリーン用のメモリイメージが作成できませんでした\n");
    }
    sDisplay.ready = 1;
    return 0;
}

MEMIMG *GetScreenMemImg(int screen)
{
    if (!sDisplay.ready) return nullptr;
    if (screen == SCREEN_FRONT) return &sDisplay.front;
    if (screen == SCREEN_BACK) return &sDisplay.back;
    return nullptr;
}

// The image of a target handle: a screen, or a graph's pixels.
static MEMIMG *ResolveTargetMemImg(int target)
{
    if (target < 0) return GetScreenMemImg(target);
    return GetGraphMemImg(LookupGraph(target));
}

MEMIMG *GetDrawTargetMemImg(void) { return ResolveTargetMemImg(GDrawSettings.drawTarget); }

DdSurface *GetDrawTargetSurfaceAt(int *x, int *y)
{
    int target = GDrawSettings.drawTarget;
    if (target < 0) return IsSurfaceRouteInUse() && sDisplay.ready ? GetScreenSurface(target) : nullptr;
    return GetGraphDisplaySurface(LookupGraph(target), x, y);
}

DdSurface *GetDrawTargetSurface(void) { return GetDrawTargetSurfaceAt(nullptr, nullptr); }

int IsWindowFrontTarget(void)
{
    return GetWindowedFlag() && IsSurfaceRouteInUse() && sDisplay.ready && GetDrawTargetSurface() == GetPrimarySurface();
}

int LockDrawTarget(void)
{
    int target = GDrawSettings.drawTarget;
    if (target >= 0) return LockGraphPixels(LookupGraph(target));
    if (!sDisplay.ready) return -1;
    return IsSurfaceRouteInUse() ? LockScreenSurface(target) : 0;
}

void UnlockDrawTarget(void)
{
    int target = GDrawSettings.drawTarget;
    if (target >= 0) UnlockGraphPixels(LookupGraph(target));
    else if (IsSurfaceRouteInUse()) UnlockScreenSurface(target);
}

// ================================================================================================
// graphics management and the screen mode
// ================================================================================================

// 3D drawing is usable when the renderer answers.
static int InitializeGraphicsManagement(void)
{
    sDisplay.d3dUsable = G_D3D_ClearSurface3DData() != -1;
    WriteLog(sDisplay.d3dUsable ? "３Ｄグラフィック描画機能を使用します\n" : "３Ｄグラフィック描画機能は使用しません\n");
    return 0;
}

static void TerminateGraphicsManagement(void) { sDisplay.d3dUsable = 0; }

// Makes the draw target's size the settings' (a graph target that went falls back to the front).
static void RefreshDrawTarget(void)
{
    if (!ResolveTargetMemImg(GDrawSettings.drawTarget)) GDrawSettings.drawTarget = SCREEN_FRONT;
    MEMIMG *target = ResolveTargetMemImg(GDrawSettings.drawTarget);
    if (target) SetDrawTargetSize(target->width, target->height);
    GDrawSettings.clientArea = Rect{0, 0, 0, 0};
}

// 1 for a screen mode the screens can be made in.
static int IsScreenModeUsable(int width, int height, int colorBits)
{
    return width >= 1 && height >= 1 && width <= 32767 && height <= 32767 && (colorBits == 16 || colorBits == 32);
}

int ChangeScreenMode(int width, int height, int colorBits, int refreshRate)
{
    if (!IsScreenModeUsable(width, height, colorBits))
        return WriteLogFormat("対応していない画面モードです %d x %d %d bit in ChangeScreenMode", width, height, colorBits);
    WriteLogFormat("画面モードを %d x %d %d bit に変更します", width, height, colorBits);
    IncreaseLogIndent();
    DropAllFontCaches();
    RemoveAllGraphs(0);
    TerminateGraphicsManagement();
    G_D3D_Terminate();
    ReleaseScreens();
    sDisplay.width = width;
    sDisplay.height = height;
    sDisplay.colorBits = colorBits;
    sDisplay.refreshRate = refreshRate;
    sDisplay.colorType = colorBits == 32 ? MEMIMG_COLOR_8888 : MEMIMG_COLOR_565;
    if (CreateScreens() != 0) return DecreaseLogIndent(), -1;
    if (!sDisplay.softwareOnly && !sDisplay.direct3DOff && !sDisplay.softwareRendering && G_D3D_Initialize() == -1) {
        DecreaseLogIndent();
        ReleaseScreens();
        return -1;
    }
    InitializeGraphicsManagement();
    RefreshDrawTarget();
    DecreaseLogIndent();
    return 0;
}

int SelectScreenMode(int width, int height, int colorBits, int refreshRate)
{
    // Before the graphics start only the choice is kept; the start uses it.
    if (!sDisplay.started) {
        if (!IsScreenModeUsable(width, height, colorBits)) return -1;
        sDisplay.width = width, sDisplay.height = height, sDisplay.colorBits = colorBits;
        sDisplay.refreshRate = refreshRate;
        return 0;
    }
    return ChangeScreenMode(width, height, colorBits, refreshRate);
}

// ================================================================================================
// graphics start and end
// ================================================================================================

// DirectDraw start: the draw object (also in software rendering mode, which only draws without its
// surfaces), then the software drawers' tables. 0 / -1.
static int StartDirectDraw(void)
{
    if (!sDisplay.softwareOnly) {
        if (StartDirectDrawObject(!GetWindowedFlag()) != 0) return -1;
        sDisplay.directDraw = 1;
        if (sDisplay.direct3DWanted) InstallDirect3DDisplayPort(1);
    }
    BuildMemImgBlendTables();
    return 0;
}

// DirectDraw end: graphics management and the 2D surfaces, Direct3D, the screens, the draw object.
static void TerminateDirectDraw(void)
{
    TerminateGraphicsManagement();
    TermGraphTables();
    G_D3D_Terminate();
    InstallDirect3DDisplayPort(0);
    ReleaseScreens();
    EndDirectDrawObject();
    sDisplay.directDraw = 0;
}

// One try of the display: DirectDraw, the graph tables and the screen mode (with Direct3D unless it
// is off). 0, or -1 with everything it made ended again.
static int StartDisplay(void)
{
    if (StartDirectDraw() != 0) return -1;
    if (InitGraphTables() != 0) {
        TerminateDirectDraw();
        return -1;
    }
    sDisplay.started = 1;
    if (ChangeScreenMode(sDisplay.width, sDisplay.height, sDisplay.colorBits, sDisplay.refreshRate) != 0) {
        TerminateDirectDraw();
        sDisplay.started = 0;
        return -1;
    }
    return 0;
}

int StartGraphicsSystem(void)
{
    if (StartDisplay() != 0) {
        WriteLog("ソフトウエアレンダリングモードに変更します\n");
        sDisplay.softwareRendering = 1;
        if (StartDisplay() != 0) ExitWithError("DirectDraw の初期化に失敗しました");
    }
    ResetDrawSettings();
    SetSoftwareDrawRoute(nullptr);
    return 0;
}

int ClearBothScreens(void)
{
    if (!sDisplay.ready) return 0;
    if (IsSurfaceRouteInUse()) {
        FillScreenSurface(SCREEN_FRONT, nullptr, 0);
        FillScreenSurface(SCREEN_BACK, nullptr, 0);
        return 0;
    }
    FillMemImgPixels(&sDisplay.front, Rect{0, 0, sDisplay.width, sDisplay.height}, 0);
    FillMemImgPixels(&sDisplay.back, Rect{0, 0, sDisplay.width, sDisplay.height}, 0);
    return 0;
}

int EndGraphicsSystem(void)
{
    RemoveAllFonts();
    RemoveAllGraphs(0);
    TerminateDirectDraw();
    sDisplay.started = 0;
    sDisplay.softwareRendering = 0;
    sDisplay.direct3DOff = 0;
    sDisplay.direct3DWanted = 0;
    sDisplay.presentCount = 0;
    return 0;
}

int TestAndRestoreSurfaces(void)
{
    if (!sDisplay.ready || !IsSurfaceRouteInUse()) return 0;
    RestoreScreenSurfaces();
    RestoreAllGraphSurfaces();
    return 0;
}

// The display again after a loss or a display change: Direct3D let go, the screens made anew, the
// draw target selected again, Direct3D taken back with its matrices. 0, or -1 when the screens cannot
// be made; a Direct3D that cannot be taken back leaves the drawing to software (logged by the renderer).
static int RebuildDisplay(void)
{
    G_D3D_ReleaseDirect3D();
    MarkFontCachesLost();
    ReleaseScreens();
    if (CreateScreens() != 0) return -1;
    RefreshDrawTarget();
    G_D3D_ReacquireDirect3D();
    if (IsDirect3DDrawUsable()) {
        G_D3D_LoadWorldMatrix(GDrawSettings.worldMatrix[0], 0);
        NotifyTransformChange3D();
        G_D3D_LoadViewMatrix(GDrawSettings.viewMatrix);
        NotifyTransformChange3D();
        G_D3D_LoadProjectionMatrix(GDrawSettings.projectionMatrix);
        NotifyTransformChange3D();
        // The blend graph's texture is a new surface, and one selected while the device was away was
        // never bound.
        G_D3D_BindBlendTexture(LookupGraph(GDrawSettings.blendGraph), GDrawSettings.blendGraphBorderParam,
                               GDrawSettings.blendGraphBorderRange);
    }
    return 0;
}

int RestoreDisplay(void)
{
    if (!sDisplay.ready) return 0;
    if (IsSurfaceRouteInUse()) {
        if (RebuildDisplay() != 0) return WriteLog("画面の復元に失敗しました\n");
        ClearBothScreens();
        PresentFrame();
        // The device's texture surfaces were made anew with the pixels they kept; graphs on those
        // that kept none (glyph caches among them) or could not take them back were flagged lost
        // and reload below.
    }
    RestoreAllGraphSurfaces();
    RefreshWindowFromBackBuffer();
    ReopenAllMovies();
    return 0;
}

int ReadScreenColorFormat(void)
{
    // The screens keep the mode's depth: the graphs and the colours packed by the game are in it. A
    // desktop of another depth is shown through a converting copy once the screens are made again.
    if (!sDisplay.ready || !IsSurfaceRouteInUse() || !GetWindowedFlag()) return 0;
    return ReadWindowPixelFormat();
}

// Shows the front screen in the main window (owner thread only).
static void ShowFrontScreen(void)
{
    WHandle window = (WHandle)GetMainWindowHandle();
    if (!window || !sDisplay.ready) return;
    if (IsSurfaceRouteInUse()) {
        ShowFrontScreenSurface();
        return;
    }
    WPresentPixels(window, sDisplay.front.pixels, sDisplay.width, sDisplay.height, sDisplay.front.shared->pitch,
                   sDisplay.colorBits);
}

int RefreshWindowFromBackBuffer(void)
{
    // Draws on the front screen become visible with the window timer.
    if (sDisplay.ready && GDrawSettings.drawTarget == SCREEN_FRONT) ShowFrontScreen();
    return 0;
}

// ================================================================================================
// frames, clearing, colours, target
// ================================================================================================

int PresentFrame(void)
{
    if (!sDisplay.ready) return -1;
    if (IsDirect3DDrawUsable()) {
        G_D3D_FlushVertexBatch();
        G_D3D_EndScene();
    }
    if (IsSurfaceRouteInUse()) {
        if (PresentScreenSurfaces(&sDisplay.front, &sDisplay.back) != 0) return -1;
        sDisplay.presentCount++;
        return 0;
    }
    size_t rowBytes = (size_t)sDisplay.width * GetMemImgBytesPerPixel(&sDisplay.back);
    for (int y = 0; y < sDisplay.height; y++)
        memcpy(GetMemImgRow(&sDisplay.front, y), GetMemImgRow(&sDisplay.back, y), rowBytes);
    ShowFrontScreen();
    sDisplay.presentCount++;
    return 0;
}

int EraseDrawTarget(void)
{
    if (IsDirect3DDrawUsable()) G_D3D_ClearTarget();
    return EraseDrawTarget2D();
}

int EraseDrawTarget2D(void)
{
    EndDirect3DWork();
    MEMIMG *target = GetDrawTargetMemImg();
    if (!target) return -1;
    int r, g, b;
    GetBackgroundColor(&r, &g, &b);
    if (GDrawSettings.drawTarget >= 0) {
        int rect[4] = {0, 0, target->width, target->height};
        uint32_t colour = MatchColorToPixel(target->shared->format, r, g, b, 255);
        if (LockDrawTarget() != 0) return -1;
        GetSoftwareDrawRoute()->fillRect(target, rect, colour);
        UnlockDrawTarget();
        MarkMemImgPixelsChanged(target);
        return 0;
    }
    if (IsSurfaceRouteInUse())
        return FillScreenSurface(GDrawSettings.drawTarget, &GDrawSettings.drawRegion, PackScreenColor(r, g, b));
    FillMemImgPixels(target, GDrawSettings.drawRegion, PackScreenColor(r, g, b));
    return 0;
}

uint32_t PackScreenColor(int red, int green, int blue)
{
    uint32_t rgb = (uint32_t)ClampColorChannel(red) << 16 | (uint32_t)ClampColorChannel(green) << 8 |
                   (uint32_t)ClampColorChannel(blue);
    return PackMemImgColor(sDisplay.colorType, rgb);
}

int UnpackScreenColor(uint32_t pixel, int *red, int *green, int *blue)
{
    int r, g, b, a;
    UnpackPixelColor(GetScreenColorFormat(), pixel, &r, &g, &b, &a);
    if (red) *red = r;
    if (green) *green = g;
    if (blue) *blue = b;
    return 0;
}

const ColorFormatRecord *GetScreenColorFormat(void) { return GetMemImgColorFormat(sDisplay.colorType, 0, 0); }

int SelectDrawTargetSurface(int target)
{
    // A texture graph's target surface is the Direct3D renderer's (its piece's surface data).
    MEMIMG *image = target == SCREEN_UNUSED ? nullptr : ResolveTargetMemImg(target);
    if (!image) return -1;
    SetDrawTargetSize(image->width, image->height);
    GDrawSettings.clientArea = Rect{0, 0, 0, 0};
    NotifyTransformChange3D();
    return 0;
}

int SelectDrawTarget(int target)
{
    int previous = GDrawSettings.drawTarget;
    GDrawSettings.drawTarget = target;
    int d3d = IsDirect3DDrawUsable() ? G_D3D_ChangeDrawTarget(target) : -1;
    if (SelectDrawTargetSurface(target) != 0 && d3d != 0) {
        // The device is put back on the previous target too: the refused one left it on its own
        // target, or with its drawing suspended, while the draws go on to the previous one.
        GDrawSettings.drawTarget = previous;
        if (IsDirect3DDrawUsable()) G_D3D_ChangeDrawTarget(previous);
        return -1;
    }
    return 0;
}

int SwitchMaskScreen(int flag) { return -1; }

int QueryScreenColorDepth(void) { return sDisplay.colorBits; }

int QueryScreenSize(int *width, int *height)
{
    if (width) *width = sDisplay.width;
    if (height) *height = sDisplay.height;
    return 0;
}

int QueryTargetSize(int target, int *width, int *height)
{
    if (target == SCREEN_FRONT || target == SCREEN_BACK || target == SCREEN_UNUSED) return QueryScreenSize(width, height);
    GraphRecord *graph = LookupGraph(target);
    if (!graph) return -1;
    if (width) *width = graph->width;
    if (height) *height = graph->height;
    return 0;
}
