// Triangle set-up (14.18 fixed point, sorts, texture plane, edges) and the row walk that every
// triangle body shares. Geometry only: no pixel is touched here.
#pragma once
#include <cstdint>

#include "lib/core/helpers.h"
#include "lib/softrender/triangle.h"

constexpr int kTriangleFracBits = 18;                 // 14.18 fixed point
constexpr int32_t kTriangleOne = 1 << kTriangleFracBits;
constexpr int32_t kTriangleHalf = kTriangleOne / 2;

struct TriangleEdge {
    int32_t x;     // x at the edge's first row, 14.18
    int32_t step;  // x change per row, 14.18
    int32_t rows;  // rows the edge covers
    int32_t row;   // first row, whole pixels
};

// The affine texture plane; u and v wrap in 32 bits, so everything here is unsigned.
struct TrianglePlane {
    int32_t xref, yref;       // whole-pixel position of the reference vertex (smallest x)
    uint32_t uref, vref;      // its u and v, 14.18
    uint32_t dudx, dudy;      // 14.18 texels per pixel, two's complement
    uint32_t dvdx, dvdy;
};

struct TriangleSetup {
    TriangleEdge left[2];     // left side: first and second edge
    TriangleEdge right[2];    // right side
    int leftFirst;            // slot of the left side's first edge (1 when it has one edge)
    int rightFirst;           // likewise for the right side
    TrianglePlane plane;      // filled only for textured triangles
};

// Converts and sorts the vertices and builds the edges and, when textured, the texture plane.
// 0, or -1 when nothing is to be drawn: coordinates outside the limits (u, v checked only when
// textured), collinear or coinciding vertices.
int SetUpTriangle(const TriangleVertex vertices[3], int textured, TriangleSetup *setup);

// Whole-pixel part of a 14.18 position: rounded down, so a triangle partly above or left of the
// target draws the same pixels as the whole triangle clipped.
inline int32_t TriangleWholePixel(int32_t fixed) { return fixed >> kTriangleFracBits; }

// u and v at whole pixel (x, y) of the plane.
inline void GetTrianglePlaneUV(const TrianglePlane &plane, int32_t x, int32_t y, uint32_t *u, uint32_t *v)
{
    uint32_t ox = static_cast<uint32_t>(x - plane.xref);
    uint32_t oy = static_cast<uint32_t>(y - plane.yref);
    *u = plane.uref + ox * plane.dudx + oy * plane.dudy;
    *v = plane.vref + ox * plane.dvdx + oy * plane.dvdy;
}

// Walks the rows from top to bottom and calls span(y, xl, count) for every row that has pixels
// inside region: xl inside the region, count >= 1 and xl + count <= region right. Both span ends
// are inclusive of the edges, so a shared edge is visited by both triangles.
template <class SpanFn>
inline void WalkTriangleRows(const TriangleSetup &t, const Rect &region, SpanFn &&span)
{
    int li = t.leftFirst, ri = t.rightFirst;
    int32_t lx = t.left[li].x, ls = t.left[li].step, lrows = t.left[li].rows;
    int32_t rx = t.right[ri].x, rs = t.right[ri].step, rrows = t.right[ri].rows;
    int32_t y = t.left[li].row;
    for (;;) {
        // y never falls (the second left edge starts where the first ended), so below the
        // region nothing more can be drawn.
        if (y >= region.bottom) return;
        int32_t n = 1;
        if (y < region.top) {
            // Rows above the region: step the edges over them at once, as many as both allow.
            n = region.top - y;
            if (n > lrows) n = lrows;
            if (n > rrows) n = rrows;
        } else {
            int32_t xl = TriangleWholePixel(lx), xr = TriangleWholePixel(rx);
            int32_t count = xr - xl;
            if (xl < region.left) {
                count -= region.left - xl;
                xl = region.left;
            }
            count += 1;
            if (xl < region.right && count > 0) {
                if (count > region.right - xl) count = region.right - xl;
                span(y, xl, count);
            }
        }
        lx += ls * n;  // |step| * rows never exceeds the edge's width, so this cannot overflow
        rx += rs * n;
        y += n;
        lrows -= n;
        rrows -= n;
        if (lrows == 0) {
            if (li == 1) return;
            li = 1;
            lx = t.left[1].x;
            ls = t.left[1].step;
            lrows = t.left[1].rows;
            y = t.left[1].row;
        }
        if (rrows == 0) {
            if (ri == 1) return;
            ri = 1;
            rx = t.right[1].x;
            rs = t.right[1].step;
            rrows = t.right[1].rows;
        }
    }
}
