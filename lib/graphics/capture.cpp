// Copies of the draw target into a graph: the software capture (a blit between display surfaces
// on the DirectDraw route, else through the locked pixels), and the window repaint's saved screen.
#include "lib/core/log.h"
#include "lib/d3d/d3d_surface_hooks.h"
#include "lib/graphics/capture.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/graphics_start.h"
#include "lib/graphics/screen.h"
#include "lib/graphics/surface_data.h"

// Clips the rectangle to the draw target and to the graph's size (placed at the graph's 0, 0).
// 1 when anything is left.
static int ClipCapture(Rect *r, const MEMIMG *target, const GraphRecord *graph)
{
    Rect area = {0, 0, target->width, target->height};
    Rect want = *r;
    ClipRectToArea(&want, &area);
    // Columns and rows cut off at the left and top of the target shift nothing: the copy starts at
    // the graph's 0, 0 with what is left.
    if (want.right - want.left > graph->width) want.right = want.left + graph->width;
    if (want.bottom - want.top > graph->height) want.bottom = want.top + graph->height;
    *r = want;
    return want.right > want.left && want.bottom > want.top;
}

// Copies rect of the locked target's image into the locked graph's. 0 / -1.
static int CopyLockedPixels(const MEMIMG *target, MEMIMG *dst, const Rect *r)
{
    return BlitWithColorConversion(dst->pixels, dst->shared->pitch, dst->shared->format, target->pixels,
                                   target->shared->pitch, target->shared->format, nullptr, 0, nullptr, 0, 0, r, 0, 0,
                                   0);
}

int CaptureDrawTargetSoftware(int x1, int y1, int x2, int y2, GraphRecord *graph)
{
    EndDirect3DWork();
    MEMIMG *target = GetDrawTargetMemImg();
    MEMIMG *dst = GetGraphMemImg(graph);
    if (!target || !dst) return -1;
    Rect r = {x1, y1, x2, y2};
    if (!ClipCapture(&r, target, graph)) return 0;
    int gx, gy, tx = 0, ty = 0;
    DdSurface *from = GetDrawTargetSurfaceAt(&tx, &ty), *to = GetGraphDisplaySurface(graph, &gx, &gy);
    if (from && to && from != to) {
        Rect on = {r.left + tx, r.top + ty, r.right + tx, r.bottom + ty};
        if (TransferSurfaceRect(to, from, gx, gy, &on, -1) != 0) return -1;
        MarkMemImgPixelsChanged(dst);
        return 0;
    }
    if (LockDrawTarget() != 0) return -1;
    if (LockGraphPixels(graph) != 0) {
        UnlockDrawTarget();
        return -1;
    }
    int result = CopyLockedPixels(target, dst, &r);
    UnlockGraphPixels(graph);
    UnlockDrawTarget();
    MarkMemImgPixelsChanged(dst);
    return result;
}

int CaptureDrawTargetToGraph(int x1, int y1, int x2, int y2, int graph, int clientFlag)
{
    GraphRecord *record = LookupGraph(graph);
    if (!record) return WriteLog("グラフィックハンドルが不正です in CaptureDrawTargetToGraph\n");
    EndDirect3DWork();
    if (record->format.textureFlag) return G_D3D_GetDrawScreenGraph(x1, y1, x2, y2, record, clientFlag);
    return CaptureDrawTargetSoftware(x1, y1, x2, y2, record);
}

int RedrawSavedScreen(void)
{
    if (!IsScreenReady()) return -1;
    int w, h;
    QueryScreenSize(&w, &h);
    int saved = MakeBlankGraph(w, h, 0);
    if (saved == -1) return -1;
    int target = GetDrawTargetHandle();
    SelectDrawTarget(SCREEN_BACK);
    int result = CaptureDrawTargetToGraph(0, 0, w, h, saved, 1);
    RefreshWindowFromBackBuffer();
    // The back screen gets its saved copy again, whatever was drawn meanwhile.
    uint32_t bright = GDrawSettings.bright;
    int mode = GDrawSettings.blendMode, param = GDrawSettings.blendParam, blendGraph = GDrawSettings.blendGraph;
    Rect region = GDrawSettings.drawRegion;
    GDrawSettings.bright = 0xFFFFFF, GDrawSettings.blendMode = MEMIMG_BLEND_COPY, GDrawSettings.blendGraph = -1;
    if (result == 0) result = DrawSurface2DAt(0, 0, LookupGraph(saved), 0);
    GDrawSettings.bright = bright, GDrawSettings.blendMode = mode, GDrawSettings.blendParam = param;
    GDrawSettings.blendGraph = blendGraph;
    RemoveGraph(saved, 0);
    SelectDrawTarget(target);
    GDrawSettings.drawRegion = region;
    return result;
}
