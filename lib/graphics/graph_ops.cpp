// Graph creation, derivation, divided sheets and pixel updates.
#include <cstring>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/graph_internal.h"
#include "lib/graphics/graphics_start.h"
#include "lib/graphics/screen.h"
#include "lib/image/image_loader.h"

// The format of a new graph: a texture while Direct3D draws; else of the screen depth, on a display
// surface on the DirectDraw route unless it has alpha (alpha graphs stay in system memory).
static SurfaceFormat NewGraphFormat(int alpha)
{
    SurfaceFormat format = {};
    format.textureFlag = IsDirect3DDrawUsable() ? 1 : 0;
    format.alphaChFlag = alpha ? 1 : 0;
    format.systemMemFlag = format.textureFlag ? 0 : !IsSurfaceRouteInUse() || alpha ? 1 : 0;
    format.colorBitDepth = (uint8_t)QueryScreenColorDepth();
    return format;
}

// After adding a texture graph record: its textures. 0 / -1.
static int BuildGraphSurfaces(GraphRecord *graph)
{
    if (G_D3D_CreateGraphTextures(graph) == -1) return WriteLog("グラフィックの作成に失敗しました\n");
    return 0;
}

// Gives a new 2D graph one piece over a new store of its size. 0 / -1.
static int BuildGraphMemImg(GraphRecord *graph, uint32_t keyRgb)
{
    int data = AddSurfaceData(0, graph->width, graph->height, keyRgb, &graph->format);
    if (data == -1) return -1;
    int piece = AddSurface2D(data, 0, 0, graph->width, graph->height);
    if (piece == -1) {
        RemoveSurfaceData(data);
        return -1;
    }
    graph->pieces.handles[0] = piece;
    graph->pieces.count = 1;
    return 0;
}

// A new graph of the given size and format with its pixel store. The handle or -1.
static int MakeGraphRecord(int width, int height, SurfaceFormat format, uint32_t keyRgb)
{
    GraphRecord *graph = AddGraphRecord(width, height, &format);
    if (!graph) return -1;
    int built = format.textureFlag ? BuildGraphSurfaces(graph) : BuildGraphMemImg(graph, keyRgb);
    if (built != 0) {
        RemoveGraph(graph->handle, 0);
        return -1;
    }
    return graph->handle;
}

// 1 when a picture has pixels and a usable size.
static int IsPictureUsable(const GraphImage *image)
{
    return image && image->pixels && image->width > 0 && image->height > 0 && image->width <= 32767 &&
           image->height <= 32767;
}

// ================================================================================================
// kept pictures
// ================================================================================================

// A copy of a picture's pixels in the same format. 0 / -1.
static int CopyGraphImage(GraphImage *out, const GraphImage *image)
{
    if (AllocGraphImagePixels(out, &image->format, image->width, image->height) != 0) return -1;
    out->format = image->format;  // the palette too
    size_t row = (size_t)image->width * image->format.pixelByte;
    for (int y = 0; y < image->height; y++)
        memcpy((uint8_t *)out->pixels + (size_t)out->pitch * y, (const uint8_t *)image->pixels + (size_t)image->pitch * y,
               row);
    return 0;
}

// Gives the graph a kept copy of the picture it is made from (and its alpha picture). 0 / -1 (no memory).
static int KeepGraphPicture(GraphRecord *graph, const GraphImage *base, const GraphImage *alpha)
{
    auto *kept = (KeptPicture *)DZ_ALLOC_ZERO(sizeof(KeptPicture));
    if (!kept || CopyGraphImage(&kept->base, base) != 0 || (alpha && CopyGraphImage(&kept->alpha, alpha) != 0)) {
        if (kept) DiscardGraphImage(&kept->base);
        FreeMemoryTracked(kept);
        return WriteLog("グラフィックの復元用の画像を保存できませんでした\n");
    }
    kept->refCount = 1;
    graph->kept = kept;
    return 0;
}

void ReleaseKeptPicture(GraphRecord *graph)
{
    KeptPicture *kept = graph->kept;
    graph->kept = nullptr;
    if (!kept || --kept->refCount > 0) return;
    DiscardGraphImage(&kept->base);
    DiscardGraphImage(&kept->alpha);
    FreeMemoryTracked(kept);
}

// ================================================================================================
// creation
// ================================================================================================

// A graph from a picture; keep 1 keeps a copy for the restore when the graph's store can lose its
// pixels (a texture or a display surface). The handle or -1.
static int MakeGraphFromPicture(const GraphImage *base, const GraphImage *alpha, int keep)
{
    EndDirect3DWork();
    if (!AreGraphTablesReady()) return -1;
    if (!IsPictureUsable(base) || (alpha && (!IsPictureUsable(alpha) || alpha->width < base->width ||
                                             alpha->height < base->height)))
        return WriteLog("グラフィックの元になる画像が不正です in MakeGraphFromImages\n");
    int hasAlpha = alpha != nullptr || base->format.alphaWidth != 0;
    int graph = MakeGraphRecord(base->width, base->height, NewGraphFormat(hasAlpha), GDrawSettings.transColor);
    if (graph == -1) return -1;
    GraphRecord *record = LookupGraph(graph);
    if (SetGraphImage(graph, 0, 0, base, alpha) != 0 ||
        (keep && !record->format.systemMemFlag && KeepGraphPicture(record, base, alpha) != 0)) {
        RemoveGraph(graph, 0);
        return -1;
    }
    return graph;
}

int MakeGraphFromImages(const GraphImage *base, const GraphImage *alpha) { return MakeGraphFromPicture(base, alpha, 1); }

// A blank graph of the format after the size checks. The handle or -1.
static int MakeCheckedBlankGraph(int width, int height, uint32_t keyRgb, const SurfaceFormat &format)
{
    if (!AreGraphTablesReady()) return -1;
    if (width < 1 || height < 1 || width > 32767 || height > 32767)
        return WriteLogFormat("グラフィックのサイズが不正です %d x %d in MakeBlankGraph", width, height);
    return MakeGraphRecord(width, height, format, keyRgb & 0xFFFFFF);
}

int MakeBlankGraph(int width, int height, uint32_t keyRgb)
{
    return MakeCheckedBlankGraph(width, height, keyRgb, NewGraphFormat(0));
}

int MakeSystemMemoryGraph(int width, int height, uint32_t keyRgb)
{
    SurfaceFormat format = NewGraphFormat(0);
    format.textureFlag = 0, format.systemMemFlag = 1;
    return MakeCheckedBlankGraph(width, height, keyRgb, format);
}

int MakeBlankTextureGraph(int width, int height, int alphaTest, int colorBitDepth)
{
    if (!IsDirect3DDrawUsable()) return -1;
    SurfaceFormat format = {};
    format.textureFlag = 1;
    format.alphaChFlag = alphaTest ? 0 : 1;
    format.alphaTestFlag = alphaTest ? 1 : 0;
    format.colorBitDepth = (uint8_t)(colorBitDepth == 32 ? 32 : 16);
    int graph = MakeCheckedBlankGraph(width, height, 0, format);
    // A glyph cache: its font makes it again after a loss.
    if (graph != -1) LookupGraph(graph)->flags |= GRAPH_FLAG_OWNER_REMAKES;
    return graph;
}

int DeriveGraph(int x, int y, int width, int height, int src)
{
    GraphRecord *source = LookupGraph(src);
    if (!source) return WriteLog("派生元のグラフィックハンドルが不正です in DeriveGraph\n");
    // Clipped in 64 bits so no corner can overflow.
    long long left = x < 0 ? 0 : x, top = y < 0 ? 0 : y;
    long long right = (long long)x + width, bottom = (long long)y + height;
    if (right > source->width) right = source->width;
    if (bottom > source->height) bottom = source->height;
    if (width <= 0 || height <= 0 || right <= left || bottom <= top)
        return WriteLog("派生するグラフィックの範囲が不正です in DeriveGraph\n");
    GraphRecord *derived = AddGraphRecord((int)(right - left), (int)(bottom - top), &source->format);
    if (!derived) return -1;
    memcpy(derived->fileName, source->fileName, sizeof derived->fileName);
    derived->flags = source->flags;
    derived->srcX = source->srcX + (int)left;
    derived->srcY = source->srcY + (int)top;
    derived->kept = source->kept;
    if (derived->kept) derived->kept->refCount++;
    if (source->format.textureFlag) {
        if (G_D3D_DeriveGraphTextures(derived, source) == -1) {
            WriteLog("グラフィックの派生に失敗しました終了します");
            RemoveGraph(derived->handle, 0);
            return -1;
        }
        return derived->handle;
    }
    Surface2DRecord *piece = source->pieces.count > 0 ? LookupSurface2D(source->pieces.handles[0]) : nullptr;
    int newPiece = piece ? AddSurface2D(piece->surfaceData, piece->x + (int)left, piece->y + (int)top,
                                        derived->width, derived->height)
                         : -1;
    if (newPiece == -1) {
        RemoveGraph(derived->handle, 0);
        return -1;
    }
    derived->pieces.handles[0] = newPiece;
    derived->pieces.count = 1;
    return derived->handle;
}

// Removes the first count handles of a failed division.
static void RemoveGraphList(const int *handles, int count)
{
    for (int i = 0; i < count; i++) RemoveGraph(handles[i], 0);
}

int LoadDividedGraphs(const char *fileName, int all, int across, int down, int width, int height,
                      int *handles, int flag)
{
    if (!fileName || !handles || all < 1 || across < 1 || down < 1 || width < 1 || height < 1 ||
        (long long)across * down < all || (long long)across * width > 32767 || (long long)down * height > 32767)
        return WriteLog("分割数又はサイズが不正です in LoadDividedGraphs\n");
    GraphImage image = {};
    if (LoadGraphImageFromFile(fileName, &image) != 0)
        return WriteLogFormat("画像ファイル %s の読み込みに失敗しました in LoadDividedGraphs", fileName);
    if (image.width < across * width || image.height < down * height) {
        DiscardGraphImage(&image);
        return WriteLogFormat("画像 %s が分割サイズより小さいです in LoadDividedGraphs", fileName);
    }
    // The frames reload from the file: no copy is kept.
    int base = MakeGraphFromPicture(&image, nullptr, 0);
    DiscardGraphImage(&image);
    if (base == -1) return -1;
    GraphRecord *record = LookupGraph(base);
    strncpy(record->fileName, fileName, GRAPH_FILE_NAME_SIZE - 1);
    for (int k = 0; k < all; k++) {
        handles[k] = DeriveGraph((k % across) * width, (k / across) * height, width, height, base);
        if (handles[k] == -1) {
            RemoveGraphList(handles, k);
            RemoveGraph(base, 0);
            return -1;
        }
    }
    // The frames keep the pixel store alive by reference.
    RemoveGraph(base, 0);
    return 0;
}

int SetGraphImage(int graph, int srcX, int srcY, const GraphImage *base, const GraphImage *alpha)
{
    GraphRecord *record = LookupGraph(graph);
    if (!record || !IsPictureUsable(base)) return -1;
    record->srcX = srcX;
    record->srcY = srcY;
    if (record->format.textureFlag) return G_D3D_UploadGraphImage(record, 0, base, alpha);
    MEMIMG *image = GetGraphMemImg(record);
    if (!image || srcX < 0 || srcY < 0 || (long long)srcX + record->width > base->width ||
        (long long)srcY + record->height > base->height)
        return WriteLog("グラフィックに写す画像の範囲が不正です in SetGraphImage\n");
    Rect rect = {srcX, srcY, srcX + record->width, srcY + record->height};
    if (LockGraphPixels(record) != 0) return -1;
    int result = BlitWithColorConversion(image->pixels, image->shared->pitch, image->shared->format, base->pixels,
                                         base->pitch, &base->format, alpha ? alpha->pixels : nullptr,
                                         alpha ? alpha->pitch : 0, alpha ? &alpha->format : nullptr, 0, 0, &rect, 0,
                                         0, 0);
    UnlockGraphPixels(record);
    MarkMemImgPixelsChanged(image);
    return result;
}

int UpdateGraphImageRect(int graph, int x, int y, const GraphImage *base, const Rect *srcRect)
{
    GraphRecord *record = LookupGraph(graph);
    if (!record || !IsPictureUsable(base) || !srcRect) return -1;
    // Clip the source rectangle to the picture, then the destination to the graph (64-bit sums).
    long long l = srcRect->left, t = srcRect->top, r = srcRect->right, b = srcRect->bottom, dx = x, dy = y;
    if (l < 0) dx -= l, l = 0;
    if (t < 0) dy -= t, t = 0;
    if (r > base->width) r = base->width;
    if (b > base->height) b = base->height;
    if (dx < 0) l -= dx, dx = 0;
    if (dy < 0) t -= dy, dy = 0;
    if (dx + (r - l) > record->width) r = l + (record->width - dx);
    if (dy + (b - t) > record->height) b = t + (record->height - dy);
    if (r <= l || b <= t) return 0;
    Rect src = {(int)l, (int)t, (int)r, (int)b};
    if (record->format.textureFlag) return G_D3D_UploadGraphImageRect(record, 0, base, nullptr, &src, (int)dx, (int)dy);
    MEMIMG *image = GetGraphMemImg(record);
    if (!image || LockGraphPixels(record) != 0) return -1;
    int result = BlitWithColorConversion(image->pixels, image->shared->pitch, image->shared->format, base->pixels,
                                         base->pitch, &base->format, nullptr, 0, nullptr, (int)dx, (int)dy, &src, 0, 0, 0);
    UnlockGraphPixels(record);
    MarkMemImgPixelsChanged(image);
    return result;
}

int FillGraphSurfaces(int graph, int r, int g, int b, int a)
{
    GraphRecord *record = LookupGraph(graph);
    if (!record) return -1;
    if (record->format.textureFlag) return G_D3D_FillGraphTextures(record, r, g, b, a);
    MEMIMG *image = GetGraphMemImg(record);
    if (!image || LockGraphPixels(record) != 0) return -1;
    FillMemImgPixels(image, Rect{0, 0, image->width, image->height},
                     MatchColorToPixel(image->shared->format, r, g, b, a));
    UnlockGraphPixels(record);
    return 0;
}
