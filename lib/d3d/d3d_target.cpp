// The device's render target kept in step with the graphics core's draw target, Direct3D drawing
// suspended while the target is one it cannot render into, and the clear of a texture target.
#include "lib/core/system.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"
#include "platform/ddraw/ddraw.h"

// The surface of graph target, or null when Direct3D cannot render into it.
static DdSurface *GraphTargetSurface(const GraphRecord *graph)
{
    // Several pieces would put the device on its own target: the screen, not the graph.
    if (graph->pieces.count != 1) return nullptr;
    const SurfaceDataRecord *data = nullptr;
    if (graph->format.textureFlag) {
        const Surface3DData *piece = GetSurface3DData(graph->pieces.handles[0]);
        data = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
        if (data && data->format.drawValid != 1) return nullptr;
    } else {
        const Surface2DRecord *piece = LookupSurface2D(graph->pieces.handles[0]);
        data = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
        if (data && data->format.systemMemFlag) return nullptr;
    }
    return data ? (DdSurface *)data->ddSurface : nullptr;
}

int G_D3D_ChangeDrawTarget(int target)
{
    if (!GDirect3D.direct3D) return 0;
    uint32_t slot = GDirect3D.currentSlot;
    G_D3D_FlushDeviceBatch(slot);
    G_D3D_EndDeviceScene(slot);
    G_D3D_SetRenderTarget(nullptr, slot);
    G_D3D_SetCurrentTexture(slot, nullptr);
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    DdSurface *surface = nullptr;
    uint32_t front = 0;
    if (target == -4) {
        surface = port && port->GetFrontDrawSurface ? port->GetFrontDrawSurface() : nullptr;
        front = 1;
    } else if (target == -2) {
        surface = port && port->GetBackRenderSurface ? port->GetBackRenderSurface() : nullptr;
    } else {
        const GraphRecord *graph = LookupGraph(target);
        if (!graph) return -1;
        surface = GraphTargetSurface(graph);
        if (!surface) {
            GDirect3D.suspended = 1;
            return -1;
        }
    }
    if (surface) G_D3D_SetRenderTarget(surface, slot);
    GDirect3D.frontTarget = front;
    GDirect3D.suspended = 0;
    return 0;
}

int G_D3D_ClearTarget(void)
{
    if (!GDirect3D.direct3D) return -1;
    if (GDrawSettings.noDrawGuard) return 0;
    uint32_t slot = GDirect3D.currentSlot;
    G_D3D_FlushDeviceBatch(slot);
    G_D3D_EndDeviceScene(slot);
    int target = GetDrawTargetHandle();
    if (target == -4 || target == -3 || target == -2) return 0;
    const GraphRecord *graph = LookupGraph(target);
    if (!graph || !graph->format.textureFlag) return 0;
    const Surface3DData *piece = graph->pieces.count > 0 ? GetSurface3DData(graph->pieces.handles[0]) : nullptr;
    if (!piece) return -1;
    const SurfaceDataRecord *data = LookupSurfaceData(piece->surfaceData);
    if (!data) return 0;
    // Depth first, to the farthest value; then the colour, alpha 0, over the whole surface.
    if (data->zSurface) {
        DdRect rect = {0, 0, data->width, data->height};
        DdBltFx fx = {};
        fx.size = sizeof fx, fx.fillDepth = 0xFFFF;
        auto *z = (DdSurface *)data->zSurface;
        z->fn->Blt(z, &rect, nullptr, nullptr, DD_BLT_DEPTHFILL | DD_BLT_WAIT, &fx);
    }
    int r = 0, g = 0, b = 0;
    GetBackgroundColor(&r, &g, &b);
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    if (port && port->FillSurfaceData) port->FillSurfaceData(piece->surfaceData, r, g, b, 0);
    return 0;
}
