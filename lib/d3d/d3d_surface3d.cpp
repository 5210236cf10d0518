// 3D surface data: the records of texture pieces in their handle table, and the walks over one
// graph's or every record's surfaces that restore or fill them.
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"

// The table as the shared handle code sees it, for validating handles.
static HandleTable Surface3DTableView(void)
{
    HandleTable table = {};
    table.records = (HandleRecordHead **)GDirect3D.surface3D;
    table.size = SURFACE3D_TABLE_SIZE;
    table.type = HANDLE_TYPE_SURFACE3D;
    return table;
}

Surface3DData *GetSurface3DData(int handle)
{
    HandleTable table = Surface3DTableView();
    return (Surface3DData *)LookupHandle(&table, handle);
}

void PlaceSurface3DData(Surface3DData *record, int x, int y, int width, int height, int rootX, int rootY,
                        const Surface3DData *source, int surfaceX, int surfaceY)
{
    record->graphX = (uint16_t)x, record->graphY = (uint16_t)y;
    record->surfaceX = (uint16_t)surfaceX, record->surfaceY = (uint16_t)surfaceY;
    record->rootX = (uint16_t)rootX, record->rootY = (uint16_t)rootY;
    record->width = (uint16_t)width, record->height = (uint16_t)height;
    if (source) {
        record->surfaceX = (uint16_t)(record->surfaceX + source->surfaceX);
        record->surfaceY = (uint16_t)(record->surfaceY + source->surfaceY);
        record->rootX = (uint16_t)(record->rootX + source->rootX);
        record->rootY = (uint16_t)(record->rootY + source->rootY);
    }

    float left = (float)record->graphX, top = (float)record->graphY;
    float w = (float)record->width, h = (float)record->height;
    const float positions[4][2] = {{left, top}, {left + w, top}, {left, top + h}, {left + w, top + h}};
    SurfaceDataRecord *data = LookupSurfaceData(record->surfaceData);
    float invW = 1.0f / (float)data->width, invH = 1.0f / (float)data->height;
    float xs = (float)record->surfaceX, ys = (float)record->surfaceY;
    float us[2] = {xs * invW, (xs + w) * invW}, vs[2] = {ys * invH, (ys + h) * invH};
    for (int corner = 0; corner < 4; corner++) {
        TexturedVertex &v = record->corners[corner];
        v.x = positions[corner][0], v.y = positions[corner][1];
        v.z = 0.0f, v.rhw = 1.0f, v.diffuse = 0xFFFFFFFF;
        v.u = us[corner & 1], v.v = vs[corner >> 1];
    }
}

int AddSurface3DData(int texWidth, int texHeight, int x, int y, int width, int height, int rootX, int rootY,
                     uint32_t owner, const Surface3DData *source, int surfaceX, int surfaceY,
                     const SurfaceFormat *format)
{
    if (!GDirect3D.direct3D) return WriteLog("３Ｄグラフィックエンジンが初期化されていません\n");
    if (GDirect3D.surface3DCount == SURFACE3D_TABLE_SIZE) return WriteLog("３Ｄグラフィックの数が許容量を越えました。\n");
    uint32_t slot = GDirect3D.highWater;
    if (slot == SURFACE3D_TABLE_SIZE)
        for (slot = 0; GDirect3D.surface3D[slot]; slot++) {}
    auto *record = (Surface3DData *)AllocMemoryZeroed(sizeof(Surface3DData), "", 0);
    if (!record) return WriteLog("メモリの確保に失敗しました in AddSurface3DData \n");
    if (source) {
        if (IncrementSurfaceDataRef(source->surfaceData) == -1) {
            FreeMemoryTracked(record);
            return -1;
        }
        record->surfaceData = source->surfaceData;
    } else {
        record->surfaceData = AddSurfaceData(1, texWidth, texHeight, GDrawSettings.transColor, format);
        if (record->surfaceData == -1) {
            FreeMemoryTracked(record);
            return -1;
        }
    }
    GDirect3D.surface3D[slot] = record;
    record->owner = owner;
    record->head.check = (int)GDirect3D.nextCheck;
    record->deletedFlag = nullptr;
    GDirect3D.nextCheck = (GDirect3D.nextCheck + 1) % SURFACE3D_CHECK_COUNT;
    PlaceSurface3DData(record, x, y, width, height, rootX, rootY, source, surfaceX, surfaceY);
    GDirect3D.surface3DCount++;
    if (slot == GDirect3D.highWater) GDirect3D.highWater++;
    return MakeSurface3DHandle(slot, record->head.check);
}

// Deletion does not need the 3-D object: records are cleaned up also while it is released.
int DeleteSurface3DData(int handle)
{
    Surface3DData *record = GetSurface3DData(handle);
    if (!record) return -1;
    uint32_t slot = (uint32_t)handle & 0xFFFF;
    DecrementSurfaceDataRef(record->surfaceData);
    GDirect3D.surface3DCount--;
    if (slot == GDirect3D.highWater - 1) {
        uint32_t top = slot;
        while (top > 0 && !GDirect3D.surface3D[top - 1]) top--;
        GDirect3D.highWater = GDirect3D.surface3DCount == 0 ? 0 : top;
    }
    if (record->deletedFlag) *record->deletedFlag = 1;
    GDirect3D.surface3D[slot] = nullptr;
    FreeMemoryTracked(record);
    return 0;
}

int DeleteAllSurface3DData(void)
{
    if (!GDirect3D.direct3D && !GDirect3D.initialised) return -1;
    uint32_t bound = GDirect3D.highWater;
    for (uint32_t slot = 0; slot < bound; slot++) {
        Surface3DData *record = GDirect3D.surface3D[slot];
        if (record) DeleteSurface3DData(MakeSurface3DHandle(slot, record->head.check));
    }
    return GDirect3D.direct3D ? 0 : -1;
}

int G_D3D_ClearSurface3DData(void)
{
    if (!GDirect3D.direct3D) return -1;
    return DeleteAllSurface3DData();
}

// Calls visit for each piece of the graph in list order; -1 at the first stale piece handle, else
// the OR of the visits.
static int ForEachGraphPiece(const GraphRecord *graph, int (*visit)(const Surface3DData *piece, const int *colour),
                             const int *colour)
{
    if (!GDirect3D.direct3D || !graph) return -1;
    int result = 0;
    for (int i = 0; i < graph->pieces.count && i < GRAPH_MAX_PIECES; i++) {
        const Surface3DData *piece = GetSurface3DData(graph->pieces.handles[i]);
        if (!piece) return -1;
        result |= visit(piece, colour);
    }
    return result;
}

static int RestorePiece(const Surface3DData *piece, const int *)
{
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    return port && port->RestoreSurfaceIfLost ? port->RestoreSurfaceIfLost(piece->surfaceData) : 0;
}

static int FillPiece(const Surface3DData *piece, const int *c)
{
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    if (port && port->FillSurfaceData) port->FillSurfaceData(piece->surfaceData, c[0], c[1], c[2], c[3]);
    return 0;
}

int G_D3D_RestoreGraphTextures(GraphRecord *graph) { return ForEachGraphPiece(graph, RestorePiece, nullptr); }

int G_D3D_RestoreAllTextures(void)
{
    if (!GDirect3D.direct3D) return -1;
    for (uint32_t slot = 0; slot < GDirect3D.highWater; slot++)
        if (GDirect3D.surface3D[slot]) RestorePiece(GDirect3D.surface3D[slot], nullptr);
    return 0;
}

// Filled whatever the draw target is: a suspended target says nothing about this graph.
int G_D3D_FillGraphTextures(GraphRecord *graph, int r, int g, int b, int a)
{
    const int colour[4] = {r, g, b, a};
    return ForEachGraphPiece(graph, FillPiece, colour);
}
