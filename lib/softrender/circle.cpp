// The circle: the midpoint walk, in 64 bits so that any radius is safe; the filled disc keeps one
// done byte per row of the region so that each row is blended once.
#include "lib/softrender/circle.h"
#include "lib/core/memory.h"
#include "lib/softrender/flat_span.h"

namespace {

struct CircleDraw {
    const MEMIMG *dst;
    Rect area;          // the draw area; pixels with left <= x < right and top <= y < bottom
    FlatDraw fd;
    uint8_t *rowDone;   // filled path: one byte per row 0 .. area.bottom - 1
};

// One span of the disc on row y, once per row.
void DrawCircleSpan(CircleDraw *cd, int64_t y, int64_t xa, int64_t xb) {
    const Rect &a = cd->area;
    if (y < a.top || y >= a.bottom || xb < a.left || xa >= a.right) return;
    if (cd->rowDone[y]) return;
    cd->rowDone[y] = 1;
    const int left = xa < a.left ? a.left : (int)xa;
    const int right = xb >= a.right ? a.right - 1 : (int)xb;
    cd->fd.span(GetMemImgPixelAddress(cd->dst, left, (int)y), right - left + 1, &cd->fd);
}

void DrawCirclePoint(CircleDraw *cd, int64_t x, int64_t y) {
    const Rect &a = cd->area;
    if (x < a.left || x >= a.right || y < a.top || y >= a.bottom) return;
    cd->fd.pixel(GetMemImgPixelAddress(cd->dst, (int)x, (int)y), &cd->fd);
}

// 1 while a later step can still reach a row of the area: later steps only touch rows y0 +- v
// with v between x and y, as x only grows and y only falls.
inline bool CircleRowsAhead(const Rect &a, int64_t y0, int64_t x, int64_t y) {
    const bool below = x <= a.bottom - 1 - y0 && y >= a.top - y0;   // rows y0 + v
    const bool above = x <= y0 - a.top && y >= y0 - (a.bottom - 1);  // rows y0 - v
    return below || above;
}

// The midpoint walk from (0, r); its first step is the general one with x = 0, where the two
// span pairs and the four point pairs coincide. It stops early once no row of the area is ahead.
void WalkCircle(CircleDraw *cd, int64_t x0, int64_t y0, int64_t r, bool fill) {
    int64_t d = 3 - 2 * r, x = 0, y = r;
    if (fill) {
        DrawCircleSpan(cd, y0, x0 - r, x0 + r);
        if (d >= 0) {
            DrawCircleSpan(cd, y0 + r, x0, x0);
            DrawCircleSpan(cd, y0 - r, x0, x0);
        }
    } else {
        DrawCirclePoint(cd, x0 - r, y0);
        DrawCirclePoint(cd, x0 + r, y0);
        DrawCirclePoint(cd, x0, y0 + r);
        DrawCirclePoint(cd, x0, y0 - r);
    }
    for (;;) {
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
        if (y < x || !CircleRowsAhead(cd->area, y0, x, y)) break;
        if (fill) {
            DrawCircleSpan(cd, y0 + x, x0 - y, x0 + y);
            DrawCircleSpan(cd, y0 - x, x0 - y, x0 + y);
            if (d >= 0) {
                DrawCircleSpan(cd, y0 + y, x0 - x, x0 + x);
                DrawCircleSpan(cd, y0 - y, x0 - x, x0 + x);
            }
        } else {
            DrawCirclePoint(cd, x0 + x, y0 + y);
            DrawCirclePoint(cd, x0 - x, y0 + y);
            DrawCirclePoint(cd, x0 + x, y0 - y);
            DrawCirclePoint(cd, x0 - x, y0 - y);
            DrawCirclePoint(cd, x0 + y, y0 + x);
            DrawCirclePoint(cd, x0 - y, y0 + x);
            DrawCirclePoint(cd, x0 + y, y0 - x);
            DrawCirclePoint(cd, x0 - y, y0 - x);
        }
    }
}

}  // namespace

void RasterizeMemImgCircle(MEMIMG *dst, int x0, int y0, int r, unsigned colour, int fill) {
    if (!IsMemImgValid(dst) || r < 0) return;
    const MemImgSharedRecord *sh = dst->shared;
    if (sh->paletteFlag || sh->alphaFlag) return;
    CircleDraw cd;
    cd.dst = dst;
    cd.area = GetMemImgDrawArea(dst);
    const Rect &a = cd.area;
    if (a.right <= a.left || a.bottom <= a.top) return;
    // A circle whose bounding square misses the area would only walk without drawing.
    if ((int64_t)x0 + r < a.left || (int64_t)x0 - r >= a.right || (int64_t)y0 + r < a.top ||
        (int64_t)y0 - r >= a.bottom)
        return;
    if (!PrepareFlatDraw(&cd.fd, sh->colorType, colour)) return;
    cd.rowDone = nullptr;
    if (fill) {
        cd.rowDone = static_cast<uint8_t *>(AllocMemoryZeroed((size_t)a.bottom, "", 0));
        if (cd.rowDone == nullptr) return;
    }
    WalkCircle(&cd, x0, y0, r, fill != 0);
    FreeMemoryTracked(cd.rowDone);
    MarkMemImgPixelsChanged(dst);
}
