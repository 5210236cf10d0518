// The circle: the midpoint walk, in 64 bits so that any radius is safe; the filled disc keeps one
// done byte per row of the region so that each row is blended once.
#include "lib/softrender/circle.h"
#include <algorithm>
#include <climits>
#include <cmath>
#include "lib/core/memory.h"
#include "lib/softrender/flat_span.h"

namespace {

struct CircleDraw {
    const MEMIMG *dst;
    Rect area;          // the draw area; pixels with left <= x < right and top <= y < bottom
    FlatDraw fd;
    uint8_t *rowDone;   // filled path: one byte per row 0 .. area.bottom - 1
    int64_t x0, y0;     // centre
    bool fill;
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

// One point of the outline, when it lies in the area.
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

// ---- skipping the idle steps of huge circles ----------------------------------------------------
// While the walk keeps y >= x + 2, its y at step k has a closed form. d at step k is
// 2(k + 1)^2 + y^2 + (y - 1)^2 - 2r^2 and y falls by one exactly when that is 0 or more, which keeps
// y the largest value with y^2 + (y - 1)^2 < 2r^2 - 2k^2 (one fall per step suffices while
// y >= x + 2). A circle far larger than the area can so leap over the steps whose rows all miss it.
using CircleWide = unsigned __int128;
constexpr int64_t kLeapMinRadius = 4096;   // smaller circles walk every step: at most ~2900
constexpr int64_t kLeapMinSteps = 256;     // a leap costs about as much as this many steps

uint64_t SquareRootFloor(CircleWide n) {
    uint64_t s = (uint64_t)std::sqrt((double)n);
    while ((CircleWide)s * s > n) --s;
    while ((CircleWide)(s + 1) * (s + 1) <= n) ++s;
    return s;
}

// y^2 + (y - 1)^2, for 0 <= y <= 2^31.
CircleWide RowPairSum(int64_t y) { return (CircleWide)(y * y) + (CircleWide)((y - 1) * (y - 1)); }

// The walk's y at step k (0 <= k <= r) by the closed form; -1 when no y qualifies.
int64_t CircleYAtStep(int64_t r, int64_t k) {
    const CircleWide t = 2 * (CircleWide)(r * r) - 2 * (CircleWide)(k * k);
    if (t <= 1) return -1;
    int64_t y = (int64_t)((1 + SquareRootFloor(2 * t - 1)) / 2);
    while (RowPairSum(y + 1) < t) ++y;
    while (y > 0 && RowPairSum(y) >= t) --y;
    return y;
}

// 1 when step (x, y) has a row y0 +- x or y0 +- y inside the area.
inline bool CircleStepRowsInside(const Rect &a, int64_t y0, int64_t x, int64_t y) {
    auto inside = [&](int64_t row) { return row >= a.top && row < a.bottom; };
    return inside(y0 + x) || inside(y0 - x) || inside(y0 + y) || inside(y0 - y);
}

// The first step from x on (at most r) whose rows y0 +- x, or y0 +- y by the closed form, can reach
// the area: offsets v reach it within [lo, hi] below the centre or above it, and y reaches the
// larger hi first, as y only falls.
int64_t NextReachingStep(const Rect &a, int64_t y0, int64_t r, int64_t x) {
    const int64_t lo[2] = {a.top - y0, y0 - (a.bottom - 1)}, hi[2] = {a.bottom - 1 - y0, y0 - a.top};
    int64_t next = r, upper = std::max(hi[0], hi[1]);
    for (int i = 0; i < 2; ++i)
        if (hi[i] >= x) next = std::min(next, std::max(x, lo[i]));
    if (upper >= r) return x;
    if (upper >= 0) {
        const CircleWide need = 2 * (CircleWide)(r * r) - RowPairSum(upper + 1);  // y <= upper from 2k^2 >= need
        int64_t k = (int64_t)SquareRootFloor(need / 2);
        while (2 * (CircleWide)(k * k) < need) ++k;
        next = std::min(next, std::max(x, k));
    }
    return next;
}

// Moves the walk to the last step up to target where the closed form still holds (y >= x + 2),
// with d as the stepping would have left it. Leaves the walk alone when that gains nothing.
void LeapCircleWalk(int64_t r, int64_t target, int64_t *x, int64_t *y, int64_t *d) {
    if (*y < *x + 2 || target - *x < kLeapMinSteps) return;
    int64_t lo = *x, hi = target;
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo + 1) / 2;
        if (CircleYAtStep(r, mid) >= mid + 2)
            lo = mid;
        else
            hi = mid - 1;
    }
    if (lo == *x) return;
    *x = lo;
    *y = CircleYAtStep(r, lo);
    const CircleWide plus = 2 * (CircleWide)((lo + 1) * (lo + 1)) + RowPairSum(*y), minus = 2 * (CircleWide)(r * r);
    *d = plus >= minus ? (int64_t)(plus - minus) : -(int64_t)(minus - plus);
}

// The software circle's drawing at one step of the walk: the disc's row spans (the step with
// x = 0 gives row y0 twice, which the done bytes draw once) or the outline's points.
void DrawCircleStep(void *context, int64_t x, int64_t y, int shrinking) {
    auto *cd = static_cast<CircleDraw *>(context);
    const int64_t x0 = cd->x0, y0 = cd->y0;
    if (cd->fill) {
        DrawCircleSpan(cd, y0 + x, x0 - y, x0 + y);
        DrawCircleSpan(cd, y0 - x, x0 - y, x0 + y);
        if (shrinking) {
            DrawCircleSpan(cd, y0 + y, x0 - x, x0 + x);
            DrawCircleSpan(cd, y0 - y, x0 - x, x0 + x);
        }
    } else if (x == 0) {
        DrawCirclePoint(cd, x0 - y, y0);
        DrawCirclePoint(cd, x0 + y, y0);
        DrawCirclePoint(cd, x0, y0 + y);
        DrawCirclePoint(cd, x0, y0 - y);
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

}  // namespace

void WalkMidpointCircle(int64_t y0, int64_t r, int64_t top, int64_t bottom, CircleStepVisitor visit, void *context) {
    const Rect area = {0, (int)std::clamp<int64_t>(top, INT_MIN, INT_MAX), 0,
                       (int)std::clamp<int64_t>(bottom, INT_MIN, INT_MAX)};
    int64_t d = 3 - 2 * r, x = 0, y = r;
    const bool leaps = r > kLeapMinRadius;
    visit(context, 0, r, d >= 0);
    for (;;) {
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
        if (y < x || !CircleRowsAhead(area, y0, x, y)) break;
        if (leaps && !CircleStepRowsInside(area, y0, x, y))
            LeapCircleWalk(r, NextReachingStep(area, y0, r, x), &x, &y, &d);
        visit(context, x, y, d >= 0);
    }
}

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
        cd.rowDone = static_cast<uint8_t *>(DZ_ALLOC_ZERO((size_t)a.bottom));
        if (cd.rowDone == nullptr) return;
    }
    cd.x0 = x0, cd.y0 = y0, cd.fill = fill != 0;
    WalkMidpointCircle(y0, r, a.top, a.bottom, DrawCircleStep, &cd);
    FreeMemoryTracked(cd.rowDone);
    MarkMemImgPixelsChanged(dst);
}
