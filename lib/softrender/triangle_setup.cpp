// Triangle set-up: limits, 14.18 conversion, the two vertex orders, texture plane and edges.
#include "lib/softrender/triangle_setup.h"

#include <cstdlib>

// 1 when every value lies in the limits and no two are further apart than the spread allows.
int AreTriangleValuesInLimits(int32_t a, int32_t b, int32_t c)
{
    const int32_t values[3] = {a, b, c};
    for (int32_t v : values)
        if (v < kTriangleCoordMin || v > kTriangleCoordMax) return 0;
    if (std::abs(a - b) > kTriangleMaxSpread) return 0;
    if (std::abs(a - c) > kTriangleMaxSpread) return 0;
    if (std::abs(b - c) > kTriangleMaxSpread) return 0;
    return 1;
}

namespace {

struct FixedVertex {
    int32_t X, Y;  // 14.18 pixel centres
};

// The fixed compare-and-swap sequence; equal keys keep the order it gives (5, 5, 3 -> 2, 1, 0).
void SortTriangleOrder(const int32_t keys[3], int order[3])
{
    order[0] = 0;
    order[1] = 1;
    order[2] = 2;
    for (int i = 0; i < 2; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (keys[order[i]] > keys[order[j]]) {
                int t = order[i];
                order[i] = order[j];
                order[j] = t;
            }
}

int32_t GetTriangleGradient(int32_t numerator, int32_t det)
{
    return TruncDoubleToInt(static_cast<double>(numerator) * 262144.0 / static_cast<double>(det));
}

void SetUpTrianglePlane(const TriangleVertex *v, const int a[3], TrianglePlane *plane)
{
    const TriangleVertex &a0 = v[a[0]], &a1 = v[a[1]], &a2 = v[a[2]];
    int32_t dx1 = a1.x - a0.x, dy1 = a1.y - a0.y, du1 = a1.u - a0.u, dv1 = a1.v - a0.v;
    int32_t dx2 = a2.x - a0.x, dy2 = a2.y - a0.y, du2 = a2.u - a0.u, dv2 = a2.v - a0.v;
    int32_t det = dx2 * dy1 - dx1 * dy2;
    plane->dudx = static_cast<uint32_t>(GetTriangleGradient(du2 * dy1 - du1 * dy2, det));
    plane->dudy = static_cast<uint32_t>(GetTriangleGradient(du1 * dx2 - dx1 * du2, det));
    plane->dvdx = static_cast<uint32_t>(GetTriangleGradient(dy1 * dv2 - dv1 * dy2, det));
    plane->dvdy = static_cast<uint32_t>(GetTriangleGradient(dv1 * dx2 - dx1 * dv2, det));
    plane->xref = a0.x;  // the whole-pixel part of the vertex's centre, rounded down
    plane->yref = a0.y;
    plane->uref = static_cast<uint32_t>(a0.u) << kTriangleFracBits;
    plane->vref = static_cast<uint32_t>(a0.v) << kTriangleFracBits;
}

// An edge from vertex p down to vertex q, starting at x (14.18) and at p's row.
TriangleEdge MakeTriangleEdge(int32_t x, const FixedVertex &p, const FixedVertex &q)
{
    TriangleEdge e;
    e.x = x;
    e.rows = (q.Y - p.Y) / kTriangleOne;  // exact: both carry the same half-pixel offset
    e.step = (q.X - x) / e.rows;           // toward zero
    e.row = TriangleWholePixel(p.Y);
    return e;
}

void SetUpTriangleEdges(const FixedVertex *f, const int b[3], TriangleSetup *t)
{
    const FixedVertex &b0 = f[b[0]], &b1 = f[b[1]], &b2 = f[b[2]];
    if (b0.Y == b1.Y) {  // flat top: both sides run to the bottom vertex
        const FixedVertex &l = b0.X <= b1.X ? b0 : b1;
        const FixedVertex &r = b0.X <= b1.X ? b1 : b0;
        t->left[1] = MakeTriangleEdge(l.X, l, b2);
        t->right[1] = MakeTriangleEdge(r.X, r, b2);
        t->leftFirst = t->rightFirst = 1;
    } else if (b1.Y == b2.Y) {  // flat bottom: both sides start at the top vertex
        const FixedVertex &l = b1.X <= b2.X ? b1 : b2;
        const FixedVertex &r = b1.X <= b2.X ? b2 : b1;
        t->left[1] = MakeTriangleEdge(b0.X, b0, l);
        t->right[1] = MakeTriangleEdge(b0.X, b0, r);
        t->leftFirst = t->rightFirst = 1;
    } else {
        // Exact form of comparing the long edge's slope with the upper short edge's.
        int64_t longSide = static_cast<int64_t>(b2.X - b0.X) * (b1.Y - b0.Y);
        int64_t shortSide = static_cast<int64_t>(b1.X - b0.X) * (b2.Y - b0.Y);
        if (longSide > shortSide) {  // middle vertex on the left
            t->left[0] = MakeTriangleEdge(b0.X, b0, b1);
            t->left[1] = MakeTriangleEdge(b1.X, b1, b2);
            t->right[1] = MakeTriangleEdge(b0.X, b0, b2);
            t->leftFirst = 0;
            t->rightFirst = 1;
        } else {
            t->left[1] = MakeTriangleEdge(b0.X, b0, b2);
            t->right[0] = MakeTriangleEdge(b0.X, b0, b1);
            // The lower right edge starts one 14.18 unit right of the middle vertex.
            t->right[1] = MakeTriangleEdge(b1.X + 1, b1, b2);
            t->leftFirst = 1;
            t->rightFirst = 0;
        }
    }
}

}  // namespace

// Sets up a triangle for the row walk; refuses out-of-limit and degenerate input.
int SetUpTriangle(const TriangleVertex vertices[3], int textured, TriangleSetup *setup)
{
    const TriangleVertex *v = vertices;
    if (!AreTriangleValuesInLimits(v[0].x, v[1].x, v[2].x)) return -1;
    if (!AreTriangleValuesInLimits(v[0].y, v[1].y, v[2].y)) return -1;
    if (textured) {
        if (!AreTriangleValuesInLimits(v[0].u, v[1].u, v[2].u)) return -1;
        if (!AreTriangleValuesInLimits(v[0].v, v[1].v, v[2].v)) return -1;
    }
    FixedVertex f[3];
    int32_t keysX[3], keysY[3];
    for (int i = 0; i < 3; ++i) {
        f[i].X = v[i].x * kTriangleOne + kTriangleHalf;
        f[i].Y = v[i].y * kTriangleOne + kTriangleHalf;
        keysX[i] = f[i].X;
        keysY[i] = f[i].Y;
    }
    int a[3], b[3];
    SortTriangleOrder(keysX, a);
    SortTriangleOrder(keysY, b);
    int32_t det = (v[a[2]].x - v[a[0]].x) * (v[a[1]].y - v[a[0]].y) -
                  (v[a[1]].x - v[a[0]].x) * (v[a[2]].y - v[a[0]].y);
    if (det == 0) return -1;
    *setup = TriangleSetup{};
    if (textured) SetUpTrianglePlane(v, a, &setup->plane);
    SetUpTriangleEdges(f, b, setup);
    return 0;
}
