// The scene bracket and the vertex batch of a device slot: one DrawPrimitive for every run of
// queued vertices, and an indexed draw of vertex grids.
#include "lib/core/system.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"

const VertexTypeInfo kVertexTypes[3] = {
    {COLOR_VERTEX_CAPACITY, D3D_FVF_XYZRHW | D3D_FVF_DIFFUSE, sizeof(ColorVertex)},
    {TEXTURED_VERTEX_CAPACITY, D3D_FVF_XYZRHW | D3D_FVF_DIFFUSE | D3D_FVF_TEX1, sizeof(TexturedVertex)},
    {BLEND_VERTEX_CAPACITY, D3D_FVF_XYZRHW | D3D_FVF_DIFFUSE | D3D_FVF_SPECULAR | D3D_FVF_TEX2,
     sizeof(BlendTexturedVertex)},
};

int G_D3D_BeginScene(uint32_t slot)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (record->inScene) return 0;
    record->device->fn->BeginScene(record->device);
    record->inScene = 1;
    return 0;
}

int G_D3D_EndDeviceScene(uint32_t slot)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (!record->inScene) return 0;
    G_D3D_FlushDeviceBatch(slot);
    record->device->fn->EndScene(record->device);
    record->inScene = 0;
    return 0;
}

int G_D3D_EndScene(void) { return G_D3D_EndDeviceScene(GDirect3D.currentSlot); }

void ResetVertexBatch(Device3DRecord *record)
{
    record->vertexCount = 0;
    record->writePointer = (uint8_t *)record->vertexArrays[record->vertexType];
}

// Nothing reaches the device while the program is ending, the blend state says to drop the
// drawing, or the slot has lost its device object.
static int IsDrawingDropped(const Device3DRecord *record)
{
    return !record->device || GetEndRequest() || record->skip;
}

void DrawVerticesAtOnce(Device3DRecord *record, uint32_t primitiveType, const void *vertices, uint32_t count)
{
    if (count == 0 || IsDrawingDropped(record)) return;
    record->device->fn->DrawPrimitive(record->device, primitiveType, kVertexTypes[record->vertexType].fvf,
                                      vertices, count, 0);
}

// Draws the queued vertices unless they are to be dropped; the batch is empty afterwards either way.
static void DrawOrDropBatch(Device3DRecord *record)
{
    DrawVerticesAtOnce(record, record->primitiveType, record->vertexArrays[record->vertexType], record->vertexCount);
    ResetVertexBatch(record);
}

int G_D3D_FlushDeviceBatch(uint32_t slot)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    DrawOrDropBatch(record);
    return 0;
}

int G_D3D_FlushVertexBatch(void) { return G_D3D_FlushDeviceBatch(GDirect3D.currentSlot); }

// Room for n vertices: the batch is drawn first when the type changes or count + n would pass the
// capacity less slack.
static uint8_t *ReserveWithin(uint32_t slot, uint32_t primitiveType, uint32_t n, uint32_t slack)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record || n > kVertexTypes[record->vertexType].capacity) return nullptr;
    uint32_t limit = kVertexTypes[record->vertexType].capacity - slack;
    if (record->vertexCount != 0 && (record->primitiveType != primitiveType || record->vertexCount + n > limit))
        DrawOrDropBatch(record);
    uint8_t *at = record->writePointer;
    record->primitiveType = primitiveType;
    record->writePointer += n * kVertexTypes[record->vertexType].size;
    record->vertexCount += n;
    return at;
}

uint8_t *G_D3D_ReserveVertices(uint32_t slot, uint32_t primitiveType, uint32_t n)
{
    return ReserveWithin(slot, primitiveType, n, 1);
}

uint8_t *G_D3D_ReserveVerticesToCapacity(uint32_t slot, uint32_t primitiveType, uint32_t n)
{
    return ReserveWithin(slot, primitiveType, n, 0);
}

#define GRID_INDEX_LIMIT 1000

int G_D3D_DrawVertexGrid(uint32_t slot, int perRow, const TexturedVertex *vertices, int rows)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record || perRow < 2 || rows < 2) return -1;
    // Every index must fit 16 bits and a row pair with its joins must fit the list.
    if (perRow > (GRID_INDEX_LIMIT - 2) / 2 || (long)perRow * rows > 65536) return -1;
    DrawOrDropBatch(record);
    if (IsDrawingDropped(record)) return 0;
    D3dDevice *device = record->device;
    const uint32_t fvf = kVertexTypes[VERTEX_TYPE_TEXTURED].fvf;
    const uint32_t vertexCount = (uint32_t)(perRow * rows);
    uint16_t indices[GRID_INDEX_LIMIT];
    int n = 0;
    for (int k = 0; k <= rows - 2; k++) {
        int base = k * perRow;
        if (n + 2 * perRow + 2 > GRID_INDEX_LIMIT) {
            device->fn->DrawIndexedPrimitive(device, D3D_PT_TRIANGLESTRIP, fvf, vertices, vertexCount, indices,
                                             (uint32_t)n, 0);
            n = 0;
        } else if (n > 0) {
            indices[n++] = (uint16_t)(base + perRow);
        }
        for (int j = 0; j < perRow; j++) {
            indices[n++] = (uint16_t)(base + perRow + j);
            indices[n++] = (uint16_t)(base + j);
        }
        if (k != rows - 2) indices[n] = indices[n - 1], n++;
    }
    if (n > 0)
        device->fn->DrawIndexedPrimitive(device, D3D_PT_TRIANGLESTRIP, fvf, vertices, vertexCount, indices,
                                         (uint32_t)n, 0);
    return 0;
}

int G_D3D_UnlockSurface3D(int handle, const Rect *rect)
{
    const Surface3DData *piece = GetSurface3DData(handle);
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    if (!piece || !port || !port->UnlockSurfaceData) return -1;
    return port->UnlockSurfaceData(piece->surfaceData, rect);
}
