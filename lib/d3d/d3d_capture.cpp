// A rectangle of the draw target copied into the texture pieces of a graph. Five copy routes are
// tried in a fixed order, since drivers differ in which of them work; the first that works is
// remembered, one for graphs without alpha and one for graphs with it, so later captures go straight
// to it. Every route writes only the captured rectangle of a texture: the margin of a power-of-two
// texture and the pixels of other graphs sharing it stay as they were.
#include "lib/core/log.h"
#include "lib/core/system.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/d3d/d3d_surface_hooks.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/screen.h"
#include "lib/graphics/surface_data.h"
#include "platform/ddraw/ddraw.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

#define CAPTURE_LOAD_TRIES 10

typedef int (*ScreenCaptureRoute)(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag);

static const ScreenCaptureRoute ScreenCaptureRouteTable[6] = {
    G_D3D_GetDrawScreenGraphFunction5, G_D3D_GetDrawScreenGraphFunction1, G_D3D_GetDrawScreenGraphFunction3,
    G_D3D_GetDrawScreenGraphFunction2, G_D3D_GetDrawScreenGraphFunction4, nullptr,
};

int G_D3D_GetDrawScreenGraph(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag)
{
    if (!GDirect3D.direct3D) return -1;
    if (GDirect3D.suspended) return 0;
    G_D3D_FlushDeviceBatch(GDirect3D.currentSlot);
    G_D3D_EndDeviceScene(GDirect3D.currentSlot);
    const Surface3DData *first = graph && graph->pieces.count > 0 ? GetSurface3DData(graph->pieces.handles[0])
                                                                  : nullptr;
    const SurfaceDataRecord *data = first ? LookupSurfaceData(first->surfaceData) : nullptr;
    if (!data) return -1;
    int32_t *index = &GDirect3D.captureRoutes[data->format.alphaChFlag || data->format.alphaTestFlag ? 1 : 0];
    if (*index >= 0 && *index < 5 && ScreenCaptureRouteTable[*index](x1, y1, x2, y2, graph, clientFlag) == 0) return 0;
    // The remembered route failed, or there was none: the whole table from its start.
    int result = -1;
    for (*index = 0; ScreenCaptureRouteTable[*index]; ++*index)
        if ((result = ScreenCaptureRouteTable[*index](x1, y1, x2, y2, graph, clientFlag)) == 0) return 0;
    *index = -1;
    return result;
}

// ---- what every route shares -----------------------------------------------------------------------

// The target as one capture sees it.
struct CaptureFrame {
    int width, height;        // the target's size (the desktop's for a window's front screen)
    int originX, originY;     // where target pixel (0, 0) is on its surface
    DdSurface *target;
};

// One piece's share of a capture.
struct CapturePiece {
    int dataHandle;
    const SurfaceDataRecord *data;
    const TextureFormatRecord *format;
    DdSurface *texture;
    int px, py;               // place in the graph
    int sx, sy;               // place on the texture
    int cw, ch;               // copy size
    int fromX, fromY;         // its source on the target surface
};

// Size, origin and argument checks. route: 1..5. 0, or -1 (no message) for refused arguments.
static int BeginCapture(int route, int x1, int y1, int x2, int y2, const GraphRecord *graph, int clientFlag,
                        CaptureFrame *frame)
{
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    frame->target = port && port->GetDrawTargetSurface ? port->GetDrawTargetSurface() : nullptr;
    if (!graph || !frame->target) return -1;
    int desktop = clientFlag == 0 && GetWindowedFlag() && GetDrawTargetHandle() == SCREEN_FRONT;
    if (desktop && route == 5) return -1;
    if (desktop && (route != 1 || IsWindowFrontTarget())) {
        frame->width = WGetSystemMetrics(W_SM_CXSCREEN), frame->height = WGetSystemMetrics(W_SM_CYSCREEN);
        frame->originX = frame->originY = 0;
    } else {
        if (QueryTargetSize(GetDrawTargetHandle(), &frame->width, &frame->height) != 0) return -1;
        frame->originX = GDrawSettings.clientArea.left, frame->originY = GDrawSettings.clientArea.top;
    }
    if (x1 < 0 || x1 >= x2 || y1 < 0 || y1 >= y2 || x1 > frame->width || y1 > frame->height) return -1;
    if (graph->width < x2 - x1 || graph->height < y2 - y1) return -1;
    return 0;
}

// Piece i's share: 1 to copy, 0 to skip (beyond the target's edge), -1 for a piece that is not live
// (or lost its texture surface).
static int CapturePieceAt(const GraphRecord *graph, int i, const CaptureFrame *frame, int x1, int y1,
                          CapturePiece *out)
{
    const Surface3DData *piece = GetSurface3DData(graph->pieces.handles[i]);
    out->dataHandle = piece ? piece->surfaceData : -1;
    out->data = piece ? LookupSurfaceData(out->dataHandle) : nullptr;
    out->format = out->data ? G_D3D_GetTextureFormatRecord(out->data->textureFormatSlot) : nullptr;
    out->texture = out->data ? (DdSurface *)out->data->ddSurface : nullptr;
    if (!out->format || !out->texture) return -1;
    out->px = piece->graphX, out->py = piece->graphY;
    out->sx = piece->surfaceX, out->sy = piece->surfaceY;
    if (out->px + x1 > frame->width || out->py + y1 > frame->height) return 0;
    out->cw = piece->width, out->ch = piece->height;
    if (out->px + x1 + out->cw > frame->width) out->cw = frame->width - out->px - x1;
    if (out->py + y1 + out->ch > frame->height) out->ch = frame->height - out->py - y1;
    out->fromX = frame->originX + x1 + out->px, out->fromY = frame->originY + y1 + out->py;
    return out->cw > 0 && out->ch > 0;
}

static void ApplyPieceColorKey(const CapturePiece *piece)
{
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    if (port && port->ApplySurfaceColorKey) port->ApplySurfaceColorKey(piece->dataHandle);
}

// Write lock of rect of a surface; the pointer addresses rect's top-left pixel. DD_OK or the refusal.
static int32_t LockRect(DdSurface *surface, const DdRect *rect, int *pitch, uint8_t **pixels)
{
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    int32_t result = surface->fn->Lock(surface, rect, &desc, DD_LOCK_WAIT | DD_LOCK_WRITEONLY);
    *pitch = desc.pitch, *pixels = (uint8_t *)desc.surface;
    return result;
}

static DdRect PieceRect(const CapturePiece *piece)
{
    return DdRect{piece->sx, piece->sy, piece->sx + piece->cw, piece->sy + piece->ch};
}

// ---- route 1: a fast blit from the target into each texture ----------------------------------------

int G_D3D_GetDrawScreenGraphFunction1(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag)
{
    CaptureFrame frame;
    if (BeginCapture(1, x1, y1, x2, y2, graph, clientFlag, &frame) != 0) return -1;
    for (int i = 0; i < graph->pieces.count && i < GRAPH_MAX_PIECES; i++) {
        CapturePiece p;
        int share = CapturePieceAt(graph, i, &frame, x1, y1, &p);
        if (share == -1) return -1;
        if (share == 0) continue;
        DdRect from = {p.fromX, p.fromY, p.fromX + p.cw, p.fromY + p.ch};
        int32_t result = p.texture->fn->BltFast(p.texture, p.sx, p.sy, frame.target, &from, DD_BLTFAST_NOCOLORKEY);
        if (result != DD_OK)
            return WriteLogFormat("Error G_D3D_GetDrawScreenGraphFunction1  BltFast ReturnValue:%d", result);
        ApplyPieceColorKey(&p);
    }
    return 0;
}

// ---- route 2: GDI from the target's context into each texture's ------------------------------------

int G_D3D_GetDrawScreenGraphFunction2(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag)
{
    CaptureFrame frame;
    if (BeginCapture(2, x1, y1, x2, y2, graph, clientFlag, &frame) != 0) return -1;
    DdDc targetDc = 0;
    int32_t result = frame.target->fn->GetDC(frame.target, &targetDc);
    if (result != DD_OK)
        return WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction2  ＤＣ取得に失敗しました  GetDC ReturnValue:%d", result);
    int failed = 0;
    for (int i = 0; i < graph->pieces.count && i < GRAPH_MAX_PIECES && !failed; i++) {
        CapturePiece p;
        int share = CapturePieceAt(graph, i, &frame, x1, y1, &p);
        if (share == -1) failed = 1;
        if (share != 1) continue;
        DdDc textureDc = 0;
        if ((result = p.texture->fn->GetDC(p.texture, &textureDc)) != DD_OK) {
            WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  "
                           "GetDC ReturnValue:%d",
                           result);
            failed = 1;
            continue;
        }
        if (!DdBitBlt(textureDc, p.sx, p.sy, p.cw, p.ch, targetDc, p.fromX, p.fromY, DD_SRCCOPY)) {
            WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスへのイメージ転送に失敗しました  "
                           "BitBlt  ErrorCode:%x",
                           KGetLastError());
            failed = 1;
        }
        if ((result = p.texture->fn->ReleaseDC(p.texture, textureDc)) != DD_OK && !failed) {
            WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  "
                           "ReleaseDC ReturnValue:%d",
                           result);
            failed = 1;
        }
        if (!failed) ApplyPieceColorKey(&p);
    }
    frame.target->fn->ReleaseDC(frame.target, targetDc);
    return failed ? -1 : 0;
}

// ---- routes 3 and 4: GDI into a work texture, then into the texture --------------------------------

// Takes the target's context for route name. DD_OK or the refusal (logged).
static int32_t GetTargetDc(const char *name, const CaptureFrame *frame, DdDc *dc)
{
    int32_t result = frame->target->fn->GetDC(frame->target, dc);
    if (result != DD_OK) WriteLogFormat("Error  %s 　ＤＣ取得に失敗しました  GetDC  ReturnValue:%d", name, result);
    return result;
}

// A system-memory texture of the piece's texture size and format holding the piece's share of the
// target at the same place. 0, or -1 (logged; nothing left held).
static int GrabIntoWorkTexture(const char *name, DdDc targetDc, const CapturePiece *p, DdSurface **work)
{
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    *work = nullptr;
    int32_t result = port->CreateSystemTexture
                         ? port->CreateSystemTexture(p->data->width, p->data->height, &p->format->pixelFormat, work)
                         : -1;
    if (result != 0 || !*work) {
        *work = nullptr;
        return WriteLogFormat("Error  %s 　作業用テクスチャサーフェスの作成に失敗しました  CreateSurface  ReturnValue:%d", name,
                              result != 0 ? result : -1);
    }
    DdDc workDc = 0;
    result = (*work)->fn->GetDC(*work, &workDc);
    if (result != DD_OK) {
        WriteLogFormat("Error  %s 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  GetDC  ReturnValue:%d", name, result);
    } else if (!DdBitBlt(workDc, p->sx, p->sy, p->cw, p->ch, targetDc, p->fromX, p->fromY, DD_SRCCOPY)) {
        WriteLogFormat("Error  %s 　作業用テクスチャサーフェスへのイメージ転送に失敗しました  BitBlt  ErrorCode:%x", name,
                       KGetLastError());
        (*work)->fn->ReleaseDC(*work, workDc);
        result = -1;
    } else if ((result = (*work)->fn->ReleaseDC(*work, workDc)) != DD_OK) {
        WriteLogFormat("Error  %s 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  ReleaseDC  ReturnValue:%d", name, result);
    }
    if (result == DD_OK) return 0;
    port->ReleaseSurface(*work);
    *work = nullptr;
    return -1;
}

// Converts the piece's rectangle of the work texture into the texture. 0, or -1 (logged).
static int ConvertWorkTexture(const CapturePiece *p, DdSurface *work)
{
    const char *name = "G_D3D_GetDrawScreenGraphFunction3";
    DdRect rect = PieceRect(p);
    int texturePitch = 0, workPitch = 0;
    uint8_t *texturePixels = nullptr, *workPixels = nullptr;
    int32_t result = LockRect(p->texture, &rect, &texturePitch, &texturePixels);
    if (result != DD_OK)
        return WriteLogFormat("Error  %s 　転送先テクスチャサーフェスのロックに失敗しました  Lock  ReturnValue:%d", name, result);
    if ((result = LockRect(work, &rect, &workPitch, &workPixels)) != DD_OK) {
        p->texture->fn->Unlock(p->texture, &rect);
        return WriteLogFormat("Error  %s 　作業用テクスチャサーフェスのロックに失敗しました  Lock  ReturnValue:%d", name, result);
    }
    const ColorFormatRecord *format = &p->format->colorFormat;
    Rect from = {0, 0, p->cw, p->ch};
    BlitWithColorConversion(texturePixels, texturePitch, format, workPixels, workPitch, format, nullptr, 0, nullptr, 0,
                            0, &from, 0, format->alphaWidth != 0, p->data->transColor);
    work->fn->Unlock(work, &rect);
    p->texture->fn->Unlock(p->texture, &rect);
    return 0;
}

// Loads the piece's rectangle of the work texture into the texture on the device, waiting out a busy
// texture. 0, or -1 (logged with what was asked).
static int LoadWorkTexture(const CapturePiece *p, DdSurface *work, const CaptureFrame *frame, int x1, int y1)
{
    const Device3DRecord *device = LookupLiveDevice3D(GDirect3D.currentSlot);
    D3dPoint point = {p->sx, p->sy};
    D3dRect rect = {p->sx, p->sy, p->sx + p->cw, p->sy + p->ch};
    int32_t result = D3D_ERR_INVALID_DEVICE;
    for (int tries = 1; device; tries++) {
        result = device->device->fn->Load(device->device, p->texture, &point, work, &rect, 0);
        if (result != DD_ERR_SURFACE_BUSY || tries == CAPTURE_LOAD_TRIES) break;
        p->texture->fn->Restore(p->texture);
        KSleep(1);
    }
    if (result == D3D_OK) return 0;
    int width = 0, height = 0;
    QueryScreenSize(&width, &height);
    WriteLogFormat("hr:%d  W:%d  H:%d  FullMode:%d  Point x:%d y:%d   Rect top:%d bottom:%d left:%d right:%d", result,
                   width, height, GetWindowedFlag() ? 0 : 1, point.x, point.y, rect.top, rect.bottom, rect.left,
                   rect.right);
    WriteLogFormat("AlphaCh:%d  AlphaTest:%d  ColorBitDepth:%d", p->data->format.alphaChFlag,
                   p->data->format.alphaTestFlag, p->data->format.colorBitDepth);
    WriteLogFormat("ScreenColor:%d  SizeX:%d  SizeY:%d  DrawPointX:%d  DrawPointY:%d  WndRect.left:%d  WndRect.top:%d  "
                   "left:%d  top:%d",
                   QueryScreenColorDepth(), p->cw, p->ch, p->px, p->py, frame->originX, frame->originY, x1, y1);
    return -1;
}

// Routes 3 (lock and convert) and 4 (device load).
static int CaptureThroughWorkTexture(int route, int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag)
{
    const char *name = route == 3 ? "G_D3D_GetDrawScreenGraphFunction3" : "G_D3D_GetDrawScreenGraphFunction4";
    CaptureFrame frame;
    if (BeginCapture(route, x1, y1, x2, y2, graph, clientFlag, &frame) != 0) return -1;
    DdDc targetDc = 0;
    if (GetTargetDc(name, &frame, &targetDc) != DD_OK) return -1;
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    int failed = 0;
    for (int i = 0; i < graph->pieces.count && i < GRAPH_MAX_PIECES && !failed; i++) {
        CapturePiece p;
        DdSurface *work = nullptr;
        if (CapturePieceAt(graph, i, &frame, x1, y1, &p) != 1) continue;
        if (GrabIntoWorkTexture(name, targetDc, &p, &work) != 0) {
            failed = 1;
            continue;
        }
        failed = (route == 3 ? ConvertWorkTexture(&p, work) : LoadWorkTexture(&p, work, &frame, x1, y1)) != 0;
        port->ReleaseSurface(work);
        if (!failed) ApplyPieceColorKey(&p);
    }
    frame.target->fn->ReleaseDC(frame.target, targetDc);
    return failed ? -1 : 0;
}

int G_D3D_GetDrawScreenGraphFunction3(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag)
{
    return CaptureThroughWorkTexture(3, x1, y1, x2, y2, graph, clientFlag);
}

int G_D3D_GetDrawScreenGraphFunction4(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag)
{
    return CaptureThroughWorkTexture(4, x1, y1, x2, y2, graph, clientFlag);
}

// ---- route 5: the rectangle into the display's work surface, then converted piece by piece ---------

int G_D3D_GetDrawScreenGraphFunction5(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag)
{
    CaptureFrame frame;
    if (BeginCapture(5, x1, y1, x2, y2, graph, clientFlag, &frame) != 0) return -1;
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    ColorFormatRecord screenFormat;
    if (!port->GetScreenColorFormat || port->GetScreenColorFormat(&screenFormat) != 0) return -1;
    // Only what lies on the target is taken, and no piece reads beyond what was taken.
    int right = x2 < frame.width ? x2 : frame.width, bottom = y2 < frame.height ? y2 : frame.height;
    if (right <= x1 || bottom <= y1) return 0;
    DdSurface *work = port->GetWorkSurface ? port->GetWorkSurface() : nullptr;
    Rect from = {frame.originX + x1, frame.originY + y1, frame.originX + right, frame.originY + bottom};
    if (!work || TransferSurfaceRect(work, frame.target, 0, 0, &from, -1) != 0)
        return WriteLog("Error  G_D3D_GetDrawScreenGraphFunction5 　作業用サーフェスへのイメージ転送に失敗しました  "
                        "TransferSurfaceRect\n");
    DdRect taken = {0, 0, right - x1, bottom - y1};
    int workPitch = 0;
    uint8_t *workPixels = nullptr;
    int32_t result = LockRect(work, &taken, &workPitch, &workPixels);
    if (result != DD_OK)
        return WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction5 　作業用テクスチャサーフェスのロックに失敗しました  "
                              "Lock  ReturnValue:%d",
                              result);
    for (int i = 0; i < graph->pieces.count && i < GRAPH_MAX_PIECES; i++) {
        CapturePiece p;
        if (CapturePieceAt(graph, i, &frame, x1, y1, &p) != 1) continue;
        if (p.cw > taken.right - p.px) p.cw = taken.right - p.px;
        if (p.ch > taken.bottom - p.py) p.ch = taken.bottom - p.py;
        if (p.cw <= 0 || p.ch <= 0) continue;
        DdRect rect = PieceRect(&p);
        int pitch = 0;
        uint8_t *pixels = nullptr;
        if ((result = LockRect(p.texture, &rect, &pitch, &pixels)) != DD_OK) {
            work->fn->Unlock(work, &taken);
            return WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction5 　転送先テクスチャサーフェスのロックに失敗しました  "
                                  "Lock  ReturnValue:%d",
                                  result);
        }
        const ColorFormatRecord *format = &p.format->colorFormat;
        Rect part = {p.px, p.py, p.px + p.cw, p.py + p.ch};
        BlitWithColorConversion(pixels, pitch, format, workPixels, workPitch, &screenFormat, nullptr, 0, nullptr, 0, 0,
                                &part, 0, format->alphaWidth != 0, p.data->transColor);
        p.texture->fn->Unlock(p.texture, &rect);
        ApplyPieceColorKey(&p);
    }
    work->fn->Unlock(work, &taken);
    return 0;
}
