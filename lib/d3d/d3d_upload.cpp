// Pixels of a picture put into the texture pieces of a graph: each piece receives the part of the
// picture it shows, converted into its texture format; the margins of a texture are never written.
#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"

// 1 when rect lies inside the picture.
static int InsidePicture(const Rect *rect, const GraphImage *image)
{
    return rect->left >= 0 && rect->top >= 0 && rect->left < rect->right && rect->top < rect->bottom &&
           rect->right <= image->width && rect->bottom <= image->height;
}

int G_D3D_UploadTexturePiece(const Rect *srcRect, int x, int y, int piece, const GraphImage *base,
                             const GraphImage *alpha, int keyToAlpha)
{
    if (!GDirect3D.direct3D) return -1;
    // Without the device there are no texture surfaces to write; the graphs reload once it is back.
    if (!G_D3D_GetDevice()) return G_D3D_NoteMissingDevice();
    G_D3D_FlushDeviceBatch(GDirect3D.currentSlot);
    const Surface3DData *record = GetSurface3DData(piece);
    const SurfaceDataRecord *data = record ? LookupSurfaceData(record->surfaceData) : nullptr;
    const TextureFormatRecord *format = data ? G_D3D_GetTextureFormatRecord(data->textureFormatSlot) : nullptr;
    if (!format) return -1;
    if (!base || !base->pixels || !InsidePicture(srcRect, base) || (alpha && (!alpha->pixels || !InsidePicture(srcRect, alpha))))
        return WriteLog("転送元の画像の範囲が不正です in G_D3D_UploadTexturePiece\n");
    int width = srcRect->right - srcRect->left, height = srcRect->bottom - srcRect->top;
    if (x < 0 || y < 0 || x + width > data->width || y + height > data->height)
        return WriteLog("転送先のテクスチャの範囲が不正です in G_D3D_UploadTexturePiece\n");
    Rect dest = {x, y, x + width, y + height};
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    if (!port) return -1;
    int pitch = 0;
    uint8_t *pixels = nullptr;
    DdSurface *temporary = nullptr;
    // A texture in video memory may refuse the lock: the picture then goes into a system-memory
    // texture of the same size and format, which the device loads into it.
    int direct = port->LockSurfaceData && port->LockSurfaceData(record->surfaceData, &pitch, &pixels, 1, &dest) != -1;
    if (!direct) {
        if (!port->CreateSystemTexture ||
            port->CreateSystemTexture(data->width, data->height, &format->pixelFormat, &temporary) != 0 || !temporary)
            ExitWithError("テンポラリテクスチャサーフェスの作成に失敗しました");
        if (!port->LockWholeSurface || port->LockWholeSurface(temporary, &pitch, &pixels) != 0 || !pixels) {
            port->ReleaseSurface(temporary);
            return WriteLog("テンポラリテクスチャサーフェスのロックに失敗しました in G_D3D_UploadTexturePiece\n");
        }
    }
    int keyFlag = keyToAlpha && format->colorFormat.alphaWidth != 0 && !alpha && base->format.alphaWidth == 0;
    BlitWithColorConversion(pixels, pitch, &format->colorFormat, base->pixels, base->pitch, &base->format,
                            alpha ? alpha->pixels : nullptr, alpha ? alpha->pitch : 0, alpha ? &alpha->format : nullptr,
                            direct ? 0 : x, direct ? 0 : y, srcRect, 0, keyFlag, data->transColor);
    if (direct) {
        G_D3D_UnlockSurface3D(piece, &dest);
    } else {
        port->UnlockWholeSurface(temporary);
        if (port->RestoreSurfaceIfLost) port->RestoreSurfaceIfLost(record->surfaceData);
        const Device3DRecord *device = LookupLiveDevice3D(GDirect3D.currentSlot);
        D3dPoint point = {x, y};
        D3dRect rect = {dest.left, dest.top, dest.right, dest.bottom};
        int32_t loaded = device ? device->device->fn->Load(device->device, (DdSurface *)data->ddSurface, &point,
                                                           temporary, &rect, 0)
                                : D3D_ERR_INVALID_DEVICE;
        port->ReleaseSurface(temporary);
        if (loaded < 0) ExitWithError("作業用テクスチャサーフェスから描画用テクスチャサーフェスへの画像転送に失敗しました");
    }
    if (port->ApplySurfaceColorKey) port->ApplySurfaceColorKey(record->surfaceData);
    return 0;
}

static int KeyToAlpha(void) { return GDrawSettings.transColorOffFlag == 0; }

// Only pictures can be sources here: a bitmap source (kind 1) has no form on this platform.
static int RefuseBitmapSource(int kind, const char *function)
{
    if (kind != 1) return 0;
    return WriteLogFormat("ビットマップからの転送には対応していません in %s", function);
}

int G_D3D_UploadGraphImage(GraphRecord *graph, int kind, const GraphImage *base, const GraphImage *alpha)
{
    if (!GDirect3D.direct3D || !graph || RefuseBitmapSource(kind, "G_D3D_UploadGraphImage") != 0) return -1;
    // The whole graph is checked against the picture first, so a refusal writes no piece.
    Rect whole = {graph->srcX, graph->srcY, graph->srcX + graph->width, graph->srcY + graph->height};
    if (!base || !InsidePicture(&whole, base) || (alpha && !InsidePicture(&whole, alpha)))
        return WriteLog("転送元の画像の範囲が不正です in G_D3D_UploadGraphImage\n");
    for (int i = 0; i < graph->pieces.count && i < GRAPH_MAX_PIECES; i++) {
        const Surface3DData *piece = GetSurface3DData(graph->pieces.handles[i]);
        if (!piece) return -1;
        int left = piece->graphX + graph->srcX, top = piece->graphY + graph->srcY;
        Rect src = {left, top, left + piece->width, top + piece->height};
        if (G_D3D_UploadTexturePiece(&src, piece->surfaceX, piece->surfaceY, graph->pieces.handles[i], base, alpha,
                                     KeyToAlpha()) == -1)
            return -1;
    }
    return 0;
}

int G_D3D_UploadGraphImageRect(GraphRecord *graph, int kind, const GraphImage *base, const GraphImage *alpha,
                               const Rect *srcRect, int dx, int dy)
{
    if (!GDirect3D.direct3D || !graph || !srcRect || RefuseBitmapSource(kind, "G_D3D_UploadGraphImageRect") != 0)
        return -1;
    int rw = srcRect->right - srcRect->left, rh = srcRect->bottom - srcRect->top;
    for (int i = 0; i < graph->pieces.count && i < GRAPH_MAX_PIECES; i++) {
        const Surface3DData *piece = GetSurface3DData(graph->pieces.handles[i]);
        if (!piece) return -1;
        int px = piece->graphX, py = piece->graphY, pw = piece->width, ph = piece->height;
        if (!(px < dx + rw && px + pw > dx && py < dy + rh && py + ph > dy)) continue;
        Rect part = *srcRect;
        int ix = 0, iy = 0;
        if (dx < px) part.left += px - dx;
        else ix = dx - px;
        if (dy < py) part.top += py - dy;
        else iy = dy - py;
        if (part.right - part.left > pw - ix) part.right = part.left + pw - ix;
        if (part.bottom - part.top > ph - iy) part.bottom = part.top + ph - iy;
        if (part.right <= part.left || part.bottom <= part.top) continue;
        if (G_D3D_UploadTexturePiece(&part, piece->surfaceX + ix, piece->surfaceY + iy, graph->pieces.handles[i], base,
                                     alpha, KeyToAlpha()) == -1)
            return -1;
    }
    return 0;
}
