// Lines: clipped in double precision from the unclipped line equations, then stepped with an
// integer error term along the longer axis.
#include "lib/softrender/lines.h"
#include "lib/softrender/flat_span.h"

namespace {

struct LineEnds {
    int x1, y1, x2, y2;
};

inline int MinInt(int a, int b) { return a < b ? a : b; }
inline int MaxInt(int a, int b) { return a < b ? b : a; }

// Clips e to area: the start onto the area's last inside pixel, the end one pixel outside (it is
// never drawn). 0 when the bounding box misses the area.
int ClipLineToArea(LineEnds *e, const Rect &a) {
    const int L = a.left, T = a.top, R = a.right, B = a.bottom;
    int x1 = e->x1, y1 = e->y1, x2 = e->x2, y2 = e->y2;
    if (MinInt(y1, y2) >= B || MinInt(x1, x2) >= R || MaxInt(y1, y2) < T || MaxInt(x1, x2) < L) return 0;
    // x = ea * y + cx and y = eb * x + cy, from the ends as passed (differences taken in double).
    const double ea = y2 != y1 ? ((double)x2 - (double)x1) / ((double)y2 - (double)y1) : 0.0;
    const double eb = x2 != x1 ? ((double)y2 - (double)y1) / ((double)x2 - (double)x1) : 0.0;
    const double cx = (double)x1 - ea * (double)y1;
    const double cy = (double)y1 - eb * (double)x1;
    if (x1 < L) {
        x1 = L;
        y1 = TruncDoubleToInt(eb * L + cy);
    } else if (x1 >= R) {
        x1 = R - 1;
        y1 = TruncDoubleToInt(eb * (R - 1) + cy);
    }
    if (x2 < L) {
        x2 = L - 1;
        y2 = TruncDoubleToInt(eb * (L - 1) + cy);
    } else if (x2 >= R) {
        x2 = R;
        y2 = TruncDoubleToInt(eb * R + cy);
    }
    if (y1 < T) {
        y1 = T;
        x1 = TruncDoubleToInt(ea * T + cx);
    } else if (y1 >= B) {
        y1 = B - 1;
        x1 = TruncDoubleToInt(ea * (B - 1) + cx);
    }
    if (y2 < T) {
        y2 = T - 1;
        x2 = TruncDoubleToInt(ea * (T - 1) + cx);
    } else if (y2 >= B) {
        y2 = B;
        x2 = TruncDoubleToInt(ea * B + cx);
    }
    // The equations can land a little outside; these clamps keep every drawn pixel inside.
    x1 = x1 < L ? L : x1 >= R ? R - 1 : x1;
    x2 = x2 < L ? L - 1 : x2 >= R ? R : x2;
    y1 = y1 < T ? T : y1 >= B ? B - 1 : y1;
    y2 = y2 < T ? T - 1 : y2 >= B ? B : y2;
    *e = {x1, y1, x2, y2};
    return 1;
}

}  // namespace

void RasterizeMemImgLine(MEMIMG *dst, int x1, int y1, int x2, int y2, unsigned colour) {
    if (!IsMemImgValid(dst)) return;
    const MemImgSharedRecord *sh = dst->shared;
    if (sh->paletteFlag || sh->alphaFlag) return;
    const Rect area = GetMemImgDrawArea(dst);
    if (area.right <= area.left || area.bottom <= area.top) return;
    LineEnds e = {x1, y1, x2, y2};
    if (!ClipLineToArea(&e, area)) return;
    int dx = e.x2 - e.x1, dy = e.y2 - e.y1;
    if (dx == 0 && dy == 0) return;
    FlatDraw fd;
    if (!PrepareFlatDraw(&fd, sh->colorType, colour)) return;
    const ptrdiff_t xStep = dx >= 0 ? fd.bytesPerPixel : -fd.bytesPerPixel;
    const ptrdiff_t yStep = dy >= 0 ? sh->pitch : -(ptrdiff_t)sh->pitch;
    dx = dx < 0 ? -dx : dx;
    dy = dy < 0 ? -dy : dy;
    uint8_t *start = GetMemImgPixelAddress(dst, e.x1, e.y1);
    if (dx >= dy)
        fd.line(start, dx, xStep, yStep, dy, dx, &fd);
    else
        fd.line(start, dy, yStep, xStep, dx, dy, &fd);
    MarkMemImgPixelsChanged(dst);
}

void RasterizeMemImgLineList(MEMIMG *dst, const LineSegmentRecord *records, int count) {
    if (records == nullptr) return;
    for (int i = 0; i < count; ++i) {
        const LineSegmentRecord &r = records[i];
        RasterizeMemImgLine(dst, r.x1, r.y1, r.x2, r.y2, (unsigned)r.colour);
    }
}
