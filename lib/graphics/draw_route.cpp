// The software route of the draws: the callers of the software drawers on the draw target's memory
// image, which refuse input outside each drawer's limits before calling it.
#include <climits>
#include <cstdlib>

#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/screen.h"
#include "lib/softrender/blit.h"
#include "lib/softrender/blit_stretched.h"
#include "lib/softrender/circle.h"
#include "lib/softrender/fill_rect.h"

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
// callers on the draw target
// ================================================================================================

int DrawSurface2DAt(int x, int y, GraphRecord *graph, int trans)
{
    EndDirect3DWork();
    MEMIMG *target = GetDrawTargetMemImg();
    MEMIMG *src = GetGraphMemImg(graph);
    if (!target || !src) return -1;
    return DrawMemImgAt(target, src, x, y, trans);
}

int DrawSurface2DStretched(int x1, int y1, int x2, int y2, GraphRecord *graph, int trans, int surface2D)
{
    EndDirect3DWork();
    MEMIMG *target = GetDrawTargetMemImg();
    MEMIMG *src = GetGraphMemImg(graph);
    if (surface2D >= 0) {
        Surface2DRecord *piece = LookupSurface2D(surface2D);
        src = piece ? &piece->view : nullptr;
    }
    if (!target || !src || !IsMemImgValid(src)) return -1;
    int rect[4] = {x1, y1, x2, y2};
    return DrawMemImgStretched(target, src, rect, trans);
}

int RenderFilledBox2D(int x1, int y1, int x2, int y2, uint32_t colour)
{
    EndDirect3DWork();
    MEMIMG *target = GetDrawTargetMemImg();
    if (!target) return -1;
    int rect[4] = {x1, y1, x2, y2};
    sRoute.fillRect(target, rect, colour);
    MarkMemImgPixelsChanged(target);
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
    MEMIMG *target = GetDrawTargetMemImg();
    if (!target) return -1;
    sRoute.lineList(target, records, count);
    MarkMemImgPixelsChanged(target);
    return 0;
}

int RenderTriangle2D(const TriangleVertex vertices[3], GraphRecord *graph, int trans, uint32_t colour)
{
    EndDirect3DWork();
    MEMIMG *target = GetDrawTargetMemImg();
    if (!target || !vertices) return -1;
    MEMIMG *src = nullptr;
    if (graph) {
        src = GetGraphMemImg(graph);
        if (!src) return -1;
    }
    return DrawMemImgTriangle(target, src, vertices, trans, colour);
}

int RenderCircle2D(int x, int y, int r, uint32_t colour, int fill)
{
    if (!IsScreenReady()) return -1;
    EndDirect3DWork();
    MEMIMG *target = GetDrawTargetMemImg();
    if (!target) return -1;
    sRoute.circle(target, x, y, r, colour, fill);
    MarkMemImgPixelsChanged(target);
    return 0;
}
