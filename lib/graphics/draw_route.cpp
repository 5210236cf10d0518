// The software route of the draws: the callers of the software drawers on the draw target's memory
// image (on the DirectDraw route a view over its locked surface), which refuse input outside each
// drawer's limits before calling it, and the fast blit between display surfaces.
#include <climits>
#include <cstdlib>

#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/graphics_start.h"
#include "lib/graphics/screen.h"
#include "lib/softrender/blit.h"
#include "lib/softrender/blit_stretched.h"
#include "lib/softrender/circle.h"
#include "lib/softrender/fill_rect.h"
#include "platform/ddraw/ddraw.h"

static const SoftwareDrawRoute kSoftwareRenderer = {
    "software renderer", BlitMemImg, BlitMemImgStretched, FillMemImgRect, RasterizeMemImgLineList,
    RasterizeMemImgTriangle, RasterizeMemImgCircle,
};

static SoftwareDrawRoute sRoute = kSoftwareRenderer;  // the drawers in use

int SetSoftwareDrawRoute(const SoftwareDrawRoute *route)
{
    sRoute = kSoftwareRenderer;
    if (!route) return 0;
    if (route->name) sRoute.name = route->name;
    if (route->blit) sRoute.blit = route->blit;
    if (route->blitStretched) sRoute.blitStretched = route->blitStretched;
    if (route->fillRect) sRoute.fillRect = route->fillRect;
    if (route->lineList) sRoute.lineList = route->lineList;
    if (route->triangle) sRoute.triangle = route->triangle;
    if (route->circle) sRoute.circle = route->circle;
    return 0;
}

const SoftwareDrawRoute *GetSoftwareDrawRoute(void) { return &sRoute; }

// ================================================================================================
// limits
// ================================================================================================

// The blend graph's memory image, or null when none is set (or it is gone).
static const MEMIMG *GetBlendMemImg(void)
{
    if (GDrawSettings.blendGraph < 0) return nullptr;
    return GetGraphMemImg(LookupGraph(GDrawSettings.blendGraph));
}

// 1 when a blend image covers the source: one byte per source column, one row per source row.
static int BlendCovers(const MEMIMG *blend, const MEMIMG *src)
{
    if (!blend) return 1;
    if (!src) return 0;
    return DoesBlendImageCover(blend, src);
}

// ================================================================================================
// memory-image draws
// ================================================================================================

int DrawMemImgAt(MEMIMG *dst, const MEMIMG *src, int x, int y, int trans)
{
    const MEMIMG *blend = GetBlendMemImg();
    if (!BlendCovers(blend, src)) return 0;
    sRoute.blit(dst, src, x, y, trans, blend);
    MarkMemImgPixelsChanged(dst);
    return 0;
}

int DrawMemImgStretched(MEMIMG *dst, const MEMIMG *src, const int rect[4], int trans)
{
    long long w = llabs((long long)rect[2] - rect[0]), h = llabs((long long)rect[3] - rect[1]);
    if (w > kMaxStretchSide || h > kMaxStretchSide) return 0;
    const MEMIMG *blend = GetBlendMemImg();
    if (!BlendCovers(blend, src)) return 0;
    sRoute.blitStretched(dst, src, rect, trans, blend);
    MarkMemImgPixelsChanged(dst);
    return 0;
}

int DrawMemImgTriangle(MEMIMG *dst, const MEMIMG *src, const TriangleVertex vertices[3], int trans,
                       uint32_t colour)
{
    const TriangleVertex *v = vertices;
    if (!AreTriangleValuesInLimits(v[0].x, v[1].x, v[2].x) || !AreTriangleValuesInLimits(v[0].y, v[1].y, v[2].y))
        return 0;
    const MEMIMG *blend = nullptr;
    if (src) {
        if (!AreTriangleValuesInLimits(v[0].u, v[1].u, v[2].u) || !AreTriangleValuesInLimits(v[0].v, v[1].v, v[2].v))
            return 0;
        if (src->width > kTriangleMaxTexture || src->height > kTriangleMaxTexture) return 0;
        blend = GetBlendMemImg();
        if (!BlendCovers(blend, src)) return 0;
    }
    sRoute.triangle(dst, src, vertices, trans, blend, colour);
    MarkMemImgPixelsChanged(dst);
    return 0;
}

// ================================================================================================
// locked draws and the fast blit
// ================================================================================================

// The draw target's image with its surface locked (and the source graph's, when given); null when
// there is no target or a lock fails. FinishSoftwareDraw undoes it.
static MEMIMG *PrepareSoftwareDraw(const GraphRecord *source)
{
    MEMIMG *target = GetDrawTargetMemImg();
    if (!target || LockDrawTarget() != 0) return nullptr;
    if (source && LockGraphPixels(source) != 0) {
        UnlockDrawTarget();
        return nullptr;
    }
    return target;
}

static void FinishSoftwareDraw(const GraphRecord *source)
{
    if (source) UnlockGraphPixels(source);
    UnlockDrawTarget();
}

// 1 when the draw settings leave a graph draw a plain or keyed copy: no tint, copy (or alpha at
// 255), no blend graph.
static int IsPlainCopy(void)
{
    const DrawSettings &d = GDrawSettings;
    int copy = d.blendMode == MEMIMG_BLEND_COPY || (d.blendMode == MEMIMG_BLEND_ALPHA && d.blendParam == 255);
    return copy && (d.bright & 0xFFFFFF) == 0xFFFFFF && d.blendGraph < 0;
}

// The fast blit: an unscaled plain or keyed copy from one display surface to another, clipped to the
// draw region first (BltFast does not clip). 1 when it drew (or nothing was left), 0 when the
// draw does not qualify, -1 when the blit failed.
static int sFastBlitUse = 1;  // off: every draw goes through the locked views
int SetFastBlitUse(int enable)
{
    sFastBlitUse = enable ? 1 : 0;
    return 0;
}

static int FastBlit(int x, int y, GraphRecord *graph, int trans)
{
    if (!sFastBlitUse || !IsSurfaceRouteInUse() || graph->format.alphaChFlag || !IsPlainCopy()) return 0;
    int sx, sy, tx = 0, ty = 0;
    DdSurface *src = GetGraphDisplaySurface(graph, &sx, &sy);
    DdSurface *dst = GetDrawTargetSurfaceAt(&tx, &ty);
    if (!src || !dst) return 0;
    const Rect &region = GDrawSettings.drawRegion;
    long long left = x > region.left ? x : region.left, top = y > region.top ? y : region.top;
    long long right = (long long)x + graph->width, bottom = (long long)y + graph->height;
    if (right > region.right) right = region.right;
    if (bottom > region.bottom) bottom = region.bottom;
    if (right <= left || bottom <= top) return 1;
    DdRect from = {sx + (int)(left - x), sy + (int)(top - y), sx + (int)(right - x), sy + (int)(bottom - y)};
    uint32_t flags = DD_BLTFAST_WAIT | (trans ? DD_BLTFAST_SRCCOLORKEY : DD_BLTFAST_NOCOLORKEY);
    if (dst->fn->BltFast(dst, tx + (int)left, ty + (int)top, src, &from, flags) != DD_OK) return -1;
    MarkMemImgPixelsChanged(GetDrawTargetMemImg());
    return 1;
}

// ================================================================================================
// callers on the draw target
// ================================================================================================

int DrawSurface2DAt(int x, int y, GraphRecord *graph, int trans)
{
    EndDirect3DWork();
    if (!GetDrawTargetMemImg() || !GetGraphMemImg(graph)) return -1;
    int fast = FastBlit(x, y, graph, trans);
    if (fast != 0) return fast < 0 ? -1 : 0;
    MEMIMG *target = PrepareSoftwareDraw(graph);
    if (!target) return -1;
    DrawMemImgAt(target, GetGraphMemImg(graph), x, y, trans);
    FinishSoftwareDraw(graph);
    return 0;
}

int DrawSurface2DStretched(int x1, int y1, int x2, int y2, GraphRecord *graph, int trans, int surface2D)
{
    EndDirect3DWork();
    MEMIMG *src = GetGraphMemImg(graph);
    if (surface2D >= 0) {
        Surface2DRecord *piece = LookupSurface2D(surface2D);
        src = piece ? &piece->view : nullptr;
    }
    if (!GetDrawTargetMemImg() || !src || !IsMemImgValid(src)) return -1;
    // On surfaces an empty draw and a same-size unmirrored one need no scaling.
    if (IsSurfaceRouteInUse() && surface2D < 0) {
        if (x1 == x2 || y1 == y2) return 0;
        if ((long long)x2 - x1 == src->width && (long long)y2 - y1 == src->height)
            return DrawSurface2DAt(x1, y1, graph, trans);
    }
    MEMIMG *target = PrepareSoftwareDraw(graph);
    if (!target) return -1;
    int rect[4] = {x1, y1, x2, y2};
    DrawMemImgStretched(target, src, rect, trans);
    FinishSoftwareDraw(graph);
    return 0;
}

int RenderFilledBox2D(int x1, int y1, int x2, int y2, uint32_t colour)
{
    EndDirect3DWork();
    MEMIMG *target = PrepareSoftwareDraw(nullptr);
    if (!target) return -1;
    int rect[4] = {x1, y1, x2, y2};
    sRoute.fillRect(target, rect, colour);
    MarkMemImgPixelsChanged(target);
    FinishSoftwareDraw(nullptr);
    return 0;
}

int RenderBoxOutline2D(int x1, int y1, int x2, int y2, uint32_t colour)
{
    // The last column and row are one before x2 and y2: none exists before the smallest int.
    if (x2 == INT_MIN || y2 == INT_MIN) return 0;
    int param = GDrawSettings.blendParam;
    LineSegmentRecord records[4] = {
        {x1, y1, x2 - 1, y1, (int32_t)colour, param},
        {x2 - 1, y1, x2 - 1, y2 - 1, (int32_t)colour, param},
        {x2 - 1, y2 - 1, x1, y2 - 1, (int32_t)colour, param},
        {x1, y2 - 1, x1, y1, (int32_t)colour, param},
    };
    return RenderLineList2D(records, 4);
}

int RenderLineList2D(const LineSegmentRecord *records, int count)
{
    EndDirect3DWork();
    MEMIMG *target = PrepareSoftwareDraw(nullptr);
    if (!target) return -1;
    sRoute.lineList(target, records, count);
    MarkMemImgPixelsChanged(target);
    FinishSoftwareDraw(nullptr);
    return 0;
}

int RenderTriangle2D(const TriangleVertex vertices[3], GraphRecord *graph, int trans, uint32_t colour)
{
    EndDirect3DWork();
    if (!GetDrawTargetMemImg() || !vertices) return -1;
    MEMIMG *src = nullptr;
    if (graph) {
        src = GetGraphMemImg(graph);
        if (!src) return -1;
    }
    MEMIMG *target = PrepareSoftwareDraw(graph);
    if (!target) return -1;
    DrawMemImgTriangle(target, src, vertices, trans, colour);
    FinishSoftwareDraw(graph);
    return 0;
}

int RenderCircle2D(int x, int y, int r, uint32_t colour, int fill)
{
    if (!IsScreenReady()) return -1;
    EndDirect3DWork();
    MEMIMG *target = PrepareSoftwareDraw(nullptr);
    if (!target) return -1;
    sRoute.circle(target, x, y, r, colour, fill);
    MarkMemImgPixelsChanged(target);
    FinishSoftwareDraw(nullptr);
    return 0;
}
