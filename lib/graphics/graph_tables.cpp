// The graph, 2D-surface and surface-data tables: records, lookups, reference counts and the
// memory images behind them.
#include <cstring>

#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/font/font.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/graph_internal.h"
#include "lib/graphics/screen.h"
#include "lib/graphics/surface_data.h"
#include "lib/image/image_loader.h"
#include "lib/movie/movie_graph_hooks.h"

// The three tables; written by this module only.
static struct {
    HandleTable graphs;       // GraphRecord
    HandleTable surfaces2D;   // Surface2DRecord
    HandleTable surfaceData;  // SurfaceDataRecord
    int ready;                // 1 between InitGraphTables and TermGraphTables
} sTables;

int InitGraphTables(void)
{
    if (sTables.ready) return 0;
    if (InitHandleTable(&sTables.graphs, HANDLE_TYPE_GRAPH, GRAPH_TABLE_SIZE) != 0 ||
        InitHandleTable(&sTables.surfaces2D, HANDLE_TYPE_SURFACE2D, SURFACE2D_TABLE_SIZE) != 0 ||
        InitHandleTable(&sTables.surfaceData, HANDLE_TYPE_SURFACEDATA, SURFACE_DATA_TABLE_SIZE) != 0) {
        TermHandleTable(&sTables.graphs);
        TermHandleTable(&sTables.surfaces2D);
        TermHandleTable(&sTables.surfaceData);
        return WriteLog("グラフィックハンドルテーブルの作成に失敗しました\n");
    }
    sTables.ready = 1;
    return 0;
}

int TermGraphTables(void)
{
    if (!sTables.ready) return 0;
    RemoveAllGraphs(0);
    // Stores still referenced by nobody's graph (a failed creation) go too.
    for (int slot = 0; slot < sTables.surfaceData.usedBound; slot++) {
        HandleRecordHead *head = sTables.surfaceData.records[slot];
        if (head) RemoveSurfaceData(MakeHandle(&sTables.surfaceData, slot, head->check));
    }
    TermHandleTable(&sTables.graphs);
    TermHandleTable(&sTables.surfaces2D);
    TermHandleTable(&sTables.surfaceData);
    sTables.ready = 0;
    return 0;
}

int AreGraphTablesReady(void) { return sTables.ready; }

GraphRecord *LookupGraph(int graph)
{
    return (GraphRecord *)LookupHandle(&sTables.graphs, graph);
}

int GetGraphRecordHandle(const GraphRecord *graph) { return graph ? graph->handle : -1; }

Surface2DRecord *LookupSurface2D(int handle)
{
    return (Surface2DRecord *)LookupHandle(&sTables.surfaces2D, handle);
}

SurfaceDataRecord *LookupSurfaceData(int handle)
{
    return (SurfaceDataRecord *)LookupHandle(&sTables.surfaceData, handle);
}

int GetGraphCount(void) { return sTables.ready ? sTables.graphs.usedCount : 0; }

// ================================================================================================
// surface data
// ================================================================================================

int AddSurfaceData(int refCount, int width, int height, uint32_t transColor, const SurfaceFormat *format)
{
    if (!sTables.ready || !format) return -1;
    if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF)
        return WriteLogFormat("サーフェスのサイズが不正です %d x %d in AddSurfaceData", width, height);
    auto *record = (SurfaceDataRecord *)DZ_ALLOC_ZERO(sizeof(SurfaceDataRecord));
    if (!record) return WriteLog("サーフェスデータ用のメモリが確保できませんでした in AddSurfaceData\n");
    record->refCount = refCount;
    record->format = *format;
    record->transColor = transColor & 0xFFFFFF;
    record->width = (uint16_t)width;
    record->height = (uint16_t)height;
    int handle = AddHandleRecord(&sTables.surfaceData, &record->head);
    if (handle == -1) {
        FreeMemoryTracked(record);
        return -1;
    }
    // Texture stores are built by the Direct3D renderer once it has set their format slot.
    if (!format->textureFlag && BuildSurfaceDataObjects(handle) != 0) {
        RemoveSurfaceData(handle);
        return -1;
    }
    return handle;
}

int IncrementSurfaceDataRef(int handle)
{
    SurfaceDataRecord *record = LookupSurfaceData(handle);
    if (!record) return -1;
    return ++record->refCount;
}

int DecrementSurfaceDataRef(int handle)
{
    SurfaceDataRecord *record = LookupSurfaceData(handle);
    if (!record) return -1;
    int count = --record->refCount;
    if (count <= 0) RemoveSurfaceData(handle);
    return count < 0 ? 0 : count;
}

int RemoveSurfaceData(int handle)
{
    if (ReleaseSurfaceDataObjects(handle) != 0) return -1;
    DropKeptSurfaceDataPixels(handle);
    auto *record = (SurfaceDataRecord *)RemoveHandleRecord(&sTables.surfaceData, handle);
    FreeMemoryTracked(record);
    return 0;
}

// ================================================================================================
// 2D surfaces (pieces)
// ================================================================================================

int AddSurface2D(int surfaceData, int x, int y, int width, int height)
{
    SurfaceDataRecord *data = LookupSurfaceData(surfaceData);
    if (!data) return -1;
    auto *piece = (Surface2DRecord *)DZ_ALLOC_ZERO(sizeof(Surface2DRecord));
    if (!piece) return WriteLog("２Ｄサーフェス用のメモリが確保できませんでした in AddSurface2D\n");
    piece->surfaceData = surfaceData;
    piece->x = x;
    piece->y = y;
    piece->width = width;
    piece->height = height;
    if (IsMemImgValid(&data->image) &&
        CreateMemImgSubView(&piece->view, &data->image, x, y, width, height) != 0) {
        FreeMemoryTracked(piece);
        return WriteLog("２Ｄサーフェスの範囲が不正です in AddSurface2D\n");
    }
    int handle = AddHandleRecord(&sTables.surfaces2D, &piece->head);
    if (handle == -1) {
        ReleaseMemImg(&piece->view);
        FreeMemoryTracked(piece);
        return -1;
    }
    IncrementSurfaceDataRef(surfaceData);
    return handle;
}

int RemoveSurface2D(int handle)
{
    auto *piece = (Surface2DRecord *)RemoveHandleRecord(&sTables.surfaces2D, handle);
    if (!piece) return -1;
    ReleaseMemImg(&piece->view);
    DecrementSurfaceDataRef(piece->surfaceData);
    FreeMemoryTracked(piece);
    return 0;
}

// The first piece of a 2D graph, or null.
static Surface2DRecord *FirstPiece(const GraphRecord *graph)
{
    if (!graph || graph->format.textureFlag || graph->pieces.count < 1) return nullptr;
    return LookupSurface2D(graph->pieces.handles[0]);
}

DdSurface *GetGraphDisplaySurface(const GraphRecord *graph, int *x, int *y)
{
    Surface2DRecord *piece = FirstPiece(graph);
    SurfaceDataRecord *data = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
    if (!data || !data->ddSurface) return nullptr;
    if (x) *x = piece->x;
    if (y) *y = piece->y;
    return (DdSurface *)data->ddSurface;
}

int LockGraphPixels(const GraphRecord *graph)
{
    Surface2DRecord *piece = FirstPiece(graph);
    if (!piece) return -1;
    return LockSurfaceData(piece->surfaceData, nullptr, nullptr, 0, nullptr, nullptr) == -1 ? -1 : 0;
}

void UnlockGraphPixels(const GraphRecord *graph)
{
    Surface2DRecord *piece = FirstPiece(graph);
    if (piece) UnlockSurfaceData(piece->surfaceData, nullptr);
}

MEMIMG *GetGraphMemImg(const GraphRecord *graph)
{
    Surface2DRecord *piece = FirstPiece(graph);
    if (!piece || !IsMemImgValid(&piece->view)) return nullptr;
    return &piece->view;
}

// ================================================================================================
// graph records
// ================================================================================================

GraphRecord *AddGraphRecord(int width, int height, const SurfaceFormat *format)
{
    if (!sTables.ready) return nullptr;
    auto *graph = (GraphRecord *)DZ_ALLOC_ZERO(sizeof(GraphRecord));
    if (!graph) {
        WriteLog("グラフィック用のメモリが確保できませんでした in AddGraphRecord\n");
        return nullptr;
    }
    graph->format = *format;
    graph->width = width;
    graph->height = height;
    graph->movie = -1;
    int handle = AddHandleRecord(&sTables.graphs, &graph->head);
    if (handle == -1) {
        FreeMemoryTracked(graph);
        ExitWithError("グラフィックハンドルの数が限界に達しました");
    }
    graph->handle = handle;
    return graph;
}

int RemoveGraph(int graph, int logFlag)
{
    GraphRecord *record = LookupGraph(graph);
    if (!record) return -1;
    ReleaseMovieHandle(record->movie);
    if (record->format.textureFlag) {
        G_D3D_ReleaseGraphTextures(record);
    } else {
        for (int i = 0; i < record->pieces.count; i++) RemoveSurface2D(record->pieces.handles[i]);
    }
    ReleaseKeptPicture(record);
    if (logFlag) WriteLogFormat("グラフィックハンドル 0x%08x を削除しました", graph);
    RemoveHandleRecord(&sTables.graphs, graph);
    FreeMemoryTracked(record);
    return 0;
}

int RemoveAllGraphs(int logFlag)
{
    if (!sTables.ready) return 0;
    for (int slot = sTables.graphs.usedBound - 1; slot >= 0; slot--) {
        HandleRecordHead *head = sTables.graphs.records[slot];
        if (head) RemoveGraph(((GraphRecord *)head)->handle, logFlag);
    }
    return 0;
}

// ================================================================================================
// restore
// ================================================================================================

// What one restore pass has decoded: the last picture file, shared by the frames cut from it.
struct RestoreSource {
    char fileName[GRAPH_FILE_NAME_SIZE];
    GraphImage image;         // pixels null: not decoded
    int failed;               // 1: the file could not be decoded (logged once)
};

static void DiscardRestoreSource(RestoreSource *source)
{
    DiscardGraphImage(&source->image);
    source->fileName[0] = 0;
    source->failed = 0;
}

// The picture of the graph's file, decoded once per pass. null when it cannot be read (logged).
static const GraphImage *DecodeGraphFile(const GraphRecord *graph, RestoreSource *source)
{
    if (strcmp(source->fileName, graph->fileName) != 0) {
        DiscardRestoreSource(source);
        memcpy(source->fileName, graph->fileName, sizeof source->fileName);
        if (LoadGraphImageFromFile(graph->fileName, &source->image) != 0) {
            source->failed = 1;
            WriteLogFormat("グラフィックの復元に失敗しました %s", graph->fileName);
        }
    }
    return source->failed ? nullptr : &source->image;
}

// The restore callback: a graph whose pixels were lost takes its picture's rectangle again from the
// file it came from, or from the picture it keeps; one with neither keeps undefined pixels.
static void ReloadGraphImage(GraphRecord *graph, RestoreSource *source)
{
    const GraphImage *base = nullptr, *alpha = nullptr;
    if (graph->fileName[0]) {
        base = DecodeGraphFile(graph, source);
        if (!base) return;
    } else if (graph->kept) {
        base = &graph->kept->base;
        alpha = graph->kept->alpha.pixels ? &graph->kept->alpha : nullptr;
    } else {
        // A movie's frames and a glyph cache's font fill theirs again.
        if (graph->flags & GRAPH_FLAG_OWNER_REMAKES) MarkFontCacheGraphLost(graph->handle);
        else if (graph->movie < 0) WriteLogFormat("復元する画像が無いため、グラフィック 0x%08x の内容は不定です", graph->handle);
        return;
    }
    if (SetGraphImage(graph->handle, graph->srcX, graph->srcY, base, alpha) != 0)
        WriteLogFormat("グラフィック 0x%08x の画像を復元できませんでした", graph->handle);
}

// The 2D restore: the store's surface is restored when lost, and every graph on a store that was
// lost reloads its pixels.
static void RestoreGraph2D(GraphRecord *graph, RestoreSource *source)
{
    Surface2DRecord *piece = FirstPiece(graph);
    SurfaceDataRecord *data = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
    if (!data) return;
    RestoreSurfaceIfLost(piece->surfaceData);
    if (data->lost) graph->lost = 1;
    if (graph->lost) ReloadGraphImage(graph, source);
    graph->lost = 0;
}

// The texture restore: lost texture surfaces are restored in place and the graph reloads when any
// was lost or the device made them anew. Without a device nothing can be written: the graph stays
// lost until the device is back.
static void RestoreGraphTextures(GraphRecord *graph, RestoreSource *source)
{
    if (!IsDirect3DDrawUsable()) return;
    if (G_D3D_RestoreGraphTextures(graph) != 0) graph->lost = 1;
    if (graph->lost) ReloadGraphImage(graph, source);
    graph->lost = 0;
}

static void RestoreGraphWith(GraphRecord *graph, RestoreSource *source)
{
    if (graph->format.textureFlag) RestoreGraphTextures(graph, source);
    else RestoreGraph2D(graph, source);
    RestoreLostMovieSurfaces(graph->movie);
}

int RestoreGraphSurfaces(int graph)
{
    GraphRecord *record = LookupGraph(graph);
    if (!record) return -1;
    RestoreSource source = {};
    RestoreGraphWith(record, &source);
    DiscardRestoreSource(&source);
    return 0;
}

int RestoreAllGraphSurfaces(void)
{
    if (!sTables.ready) return 0;
    RestoreSource source = {};
    for (int slot = 0; slot < sTables.graphs.usedBound; slot++) {
        HandleRecordHead *head = sTables.graphs.records[slot];
        if (head) RestoreGraphWith((GraphRecord *)head, &source);
    }
    DiscardRestoreSource(&source);
    // Every graph sharing a store has reloaded its part: the stores are whole again.
    for (int slot = 0; slot < sTables.surfaceData.usedBound; slot++) {
        HandleRecordHead *head = sTables.surfaceData.records[slot];
        if (head) ((SurfaceDataRecord *)head)->lost = 0;
    }
    return 0;
}

int UpdateGraphMovieFrame(int graph, int force)
{
    GraphRecord *record = LookupGraph(graph);
    if (!record) return -1;
    if (record->movie < 0) return 0;
    return AdvanceMovieToCurrentFrame(record->movie, force);
}

int PlaceGraphMovieOverlay(int graph, int x, int y, int magnification, int show)
{
    GraphRecord *record = LookupGraph(graph);
    if (!record) return -1;
    if (record->movie < 0) return 0;
    return PlaceMovieOverlay(x, y, magnification, record->movie, show);
}
