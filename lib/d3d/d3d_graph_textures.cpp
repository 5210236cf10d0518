// Textures of a graph: a graph cut into power-of-two pieces (each a 3D surface data record with a
// texture of its own), pieces of a derived graph that share the source's textures, and release.
#include "lib/core/log.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/screen.h"


int G_D3D_SplitTextureLength(int length, int *sizes, int capacity, int renderTarget)
{
    int capsMin = (int)GDirect3D.minTextureSize, capsMax = (int)GDirect3D.maxTextureSize;
    int minSize = capsMin > 32 ? capsMin : 32;
    int screenW = 640;
    QueryScreenSize(&screenW, nullptr);
    if (capacity < 1) return -1;
    if (length <= minSize) {
        int s = minSize;
        if (capsMin < s)
            while (s > capsMin && (s >> 1) >= length) s >>= 1;
        sizes[0] = s;
        return 1;
    }
    int maxSize = capsMax;
    if (!renderTarget && screenW <= capsMax)
        for (maxSize = 8; maxSize < screenW; maxSize <<= 1) {}
    int s = maxSize;
    if (maxSize > minSize)
        while (s > length && s > minSize) s >>= 1;
    if ((renderTarget || length < screenW) && 2 * s <= maxSize) {
        sizes[0] = s >= length ? s : 2 * s;
        return 1;
    }
    int n = 0, rem = length;
    for (;;) {
        if (n == capacity) return -1;
        sizes[n++] = s;
        rem -= s;
        if (rem < 1) break;
        if (rem > (3 * s) / 4 && s < maxSize) {
            sizes[n - 1] = 2 * s;
            break;
        }
        while (rem < s && (s >> 1) >= minSize) s >>= 1;
    }
    if (n >= 2 && sizes[n - 1] == sizes[n - 2] && 2 * sizes[n - 1] <= maxSize) sizes[--n - 1] *= 2;
    return n;
}

// Corner flags: 1 for a corner of the piece on or above the graph's rising diagonal.
static void SetCornerFlags(Surface3DData *piece, int graphWidth, int graphHeight)
{
    double ratio = (double)graphHeight / (double)graphWidth;
    for (int c = 0; c < 4; c++) {
        const TexturedVertex &v = piece->corners[c];
        piece->cornerFlags[c] = (double)graphHeight - (double)v.x * ratio >= (double)v.y ? 1 : 0;
    }
}

// Builds the texture of a new piece in its format's slot.
static int BuildPieceTexture(const Surface3DData *piece, const SurfaceFormat *format)
{
    SurfaceDataRecord *data = LookupSurfaceData(piece->surfaceData);
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    if (!data || !port || !port->BuildSurfaceDataObjects) return -1;
    const ColorFormatRecord *chosen = G_D3D_SelectTextureFormat(format);
    for (int slot = 0; slot < TEXTURE_FORMAT_SLOT_COUNT; slot++)
        if (&GDirect3D.textureFormats[slot].colorFormat == chosen) data->textureFormatSlot = slot;
    return port->BuildSurfaceDataObjects(piece->surfaceData);
}

static void DeletePieces(GraphRecord *graph, int count)
{
    for (int i = 0; i < count; i++) DeleteSurface3DData(graph->pieces.handles[i]);
    graph->pieces.count = 0;
}

static int TooManyPieces(void) { return WriteLogFormat("エラー：画像の分割数が最大数の %d を超えました", GRAPH_MAX_PIECES); }

struct PiecePlace {
    int x, y, w, h;
};

int G_D3D_CreateGraphTextures(GraphRecord *graph)
{
    if (!GDirect3D.direct3D || !graph) return -1;
    int columns[GRAPH_MAX_PIECES], rows[GRAPH_MAX_PIECES];
    int nc = G_D3D_SplitTextureLength(graph->width, columns, GRAPH_MAX_PIECES, graph->format.drawValid);
    int nr = G_D3D_SplitTextureLength(graph->height, rows, GRAPH_MAX_PIECES, graph->format.drawValid);
    if (nc < 0 || nr < 0 || nc * nr > GRAPH_MAX_PIECES) return TooManyPieces();
    PiecePlace places[GRAPH_MAX_PIECES];
    int n = 0;
    for (int r = 0, y = 0; r < nr; y += rows[r++])
        for (int c = 0, x = 0; c < nc; x += columns[c++]) places[n++] = PiecePlace{x, y, columns[c], rows[r]};
    if (GDirect3D.deviceDesc.triCaps.textureCaps & D3D_TEXCAPS_SQUAREONLY) {
        int grid = n;
        for (int i = 0; i < grid; i++) {
            PiecePlace &p = places[i];
            int tall = p.w < p.h, side = tall ? p.w : p.h;
            // A square lying wholly beyond the graph would show nothing: it is not made.
            int length = tall ? p.h : p.w, shown = tall ? graph->height - p.y : graph->width - p.x;
            if (shown > length) shown = length;
            int extra = (shown + side - 1) / side - 1;
            if (n + extra > GRAPH_MAX_PIECES) return TooManyPieces();
            for (int k = 1; k <= extra; k++)
                places[n++] = tall ? PiecePlace{p.x, p.y + k * side, side, side} : PiecePlace{p.x + k * side, p.y, side, side};
            p.w = p.h = side;
        }
    }
    for (int i = 0; i < n; i++) {
        const PiecePlace &p = places[i];
        int visibleW = graph->width - p.x < p.w ? graph->width - p.x : p.w;
        int visibleH = graph->height - p.y < p.h ? graph->height - p.y : p.h;
        int handle = AddSurface3DData(p.w, p.h, p.x, p.y, visibleW, visibleH, p.x, p.y, (uint32_t)graph->handle,
                                      nullptr, 0, 0, &graph->format);
        Surface3DData *piece = handle == -1 ? nullptr : GetSurface3DData(handle);
        if (piece && BuildPieceTexture(piece, &graph->format) == -1) {
            DeleteSurface3DData(handle);
            piece = nullptr;
        }
        if (!piece) {
            DeletePieces(graph, i);
            return -1;
        }
        graph->pieces.handles[i] = handle;
        SetCornerFlags(piece, graph->width, graph->height);
    }
    graph->pieces.count = n;
    return 0;
}

int G_D3D_ReleaseGraphTextures(GraphRecord *graph)
{
    if (!GDirect3D.direct3D || !graph) return -1;
    for (int i = 0; i < graph->pieces.count && i < GRAPH_MAX_PIECES; i++) DeleteSurface3DData(graph->pieces.handles[i]);
    return 0;
}

// The overlap of [p, p + size) with [start, start + length): place in the derived graph, offset in
// the piece, start in the source and extent; 0 when they do not overlap.
static int Overlap(int p, int size, int start, int length, int *place, int *offset, int *from, int *extent)
{
    if (p >= start) {
        if (p >= start + length) return 0;
        *place = p - start, *offset = 0, *from = p;
        *extent = p + size >= start + length ? start + length - p : size;
    } else {
        if (p + size <= start) return 0;
        *place = 0, *offset = start - p, *from = start;
        *extent = p + size >= start + length ? length : p + size - start;
    }
    return 1;
}

// One piece of a graph derived from a rectangle of a source graph: the source piece it shares the
// texture of, its place and size in the derived graph, where it starts in the source graph and its
// offset inside the source piece.
struct PartPiece {
    const Surface3DData *source;
    int x, y, w, h, fromX, fromY, offsetX, offsetY;
};
typedef int (*PartPieceVisit)(const PartPiece &piece, void *context);

// Hands visit each piece that a graph derived from the rectangle (x, y, w, h) of source gets, in the
// order of the source's pieces. -1 at a source piece gone stale or a visit's -1, else 0.
static int ForEachPartPiece(const GraphRecord *source, int x, int y, int w, int h, PartPieceVisit visit, void *context)
{
    if (source->pieces.count == 1) {
        const Surface3DData *piece = GetSurface3DData(source->pieces.handles[0]);
        return piece ? visit(PartPiece{piece, 0, 0, w, h, x, y, x, y}, context) : -1;
    }
    for (int i = 0; i < source->pieces.count && i < GRAPH_MAX_PIECES; i++) {
        const Surface3DData *piece = GetSurface3DData(source->pieces.handles[i]);
        if (!piece) return -1;
        PartPiece part = {piece, 0, 0, 0, 0, 0, 0, 0, 0};
        if (!Overlap(piece->graphX, piece->width, x, w, &part.x, &part.offsetX, &part.fromX, &part.w) ||
            !Overlap(piece->graphY, piece->height, y, h, &part.y, &part.offsetY, &part.fromY, &part.h))
            continue;
        if (visit(part, context) != 0) return -1;
    }
    return 0;
}

// Adds one derived piece to the graph; -1 on failure.
static int AddDerivedPiece(const PartPiece &part, void *context)
{
    auto *derived = (GraphRecord *)context;
    int handle = AddSurface3DData(0, 0, part.x, part.y, part.w, part.h, part.fromX, part.fromY, (uint32_t)derived->handle,
                                  part.source, part.offsetX, part.offsetY, nullptr);
    if (handle == -1) return -1;
    derived->pieces.handles[derived->pieces.count++] = handle;
    SetCornerFlags(GetSurface3DData(handle), derived->width, derived->height);
    return 0;
}

int G_D3D_DeriveGraphTextures(GraphRecord *derived, GraphRecord *source)
{
    if (!GDirect3D.direct3D || !derived || !source) return -1;
    uint32_t slot = GDirect3D.currentSlot;
    G_D3D_FlushDeviceBatch(slot);
    G_D3D_EndDeviceScene(slot);
    derived->pieces.count = 0;
    if (ForEachPartPiece(source, derived->srcX - source->srcX, derived->srcY - source->srcY, derived->width,
                         derived->height, AddDerivedPiece, derived) == 0)
        return 0;
    DeletePieces(derived, derived->pieces.count);
    return -1;
}

void ListGraphPieces(const GraphRecord *graph, DrawPieces *out)
{
    out->width = graph->width, out->height = graph->height;
    out->count = 0, out->stale = 0;
    for (int i = 0; i < graph->pieces.count && i < GRAPH_MAX_PIECES; i++) {
        out->list[i] = GetSurface3DData(graph->pieces.handles[i]);
        if (!out->list[i]) {
            out->stale = 1;
            return;
        }
        out->count++;
    }
}

// Where placed pieces go: the records and their list.
struct PlacedPieces {
    Surface3DData *records;
    DrawPieces *out;
};

static int PlacePartPiece(const PartPiece &part, void *context)
{
    auto *placed = (PlacedPieces *)context;
    DrawPieces *out = placed->out;
    Surface3DData *record = &placed->records[out->count];
    *record = Surface3DData{};
    record->surfaceData = part.source->surfaceData;
    PlaceSurface3DData(record, part.x, part.y, part.w, part.h, part.fromX, part.fromY, part.source, part.offsetX,
                       part.offsetY);
    SetCornerFlags(record, out->width, out->height);
    out->list[out->count++] = record;
    return 0;
}

void PlaceGraphPartPieces(const GraphRecord *graph, const Rect *part, Surface3DData placed[GRAPH_MAX_PIECES],
                          DrawPieces *out)
{
    out->width = part->right - part->left, out->height = part->bottom - part->top;
    out->count = 0;
    PlacedPieces context = {placed, out};
    out->stale = ForEachPartPiece(graph, part->left, part->top, out->width, out->height, PlacePartPiece, &context) != 0;
}
