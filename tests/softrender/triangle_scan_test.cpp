// Which rows and spans a triangle visits: the span lists, refusals, clipping and translation.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <algorithm>
#include <vector>

#include "lib/softrender/triangle_setup.h"

namespace {

struct Span {
    int y, x0, x1;  // inclusive
    bool operator==(const Span &o) const { return y == o.y && x0 == o.x0 && x1 == o.x1; }
};

std::vector<Span> WalkSpans(const TriangleVertex *v, const Rect &region, int textured = 0)
{
    std::vector<Span> spans;
    TriangleSetup setup;
    if (SetUpTriangle(v, textured, &setup) != 0) return spans;
    WalkTriangleRows(setup, region, [&](int y, int xl, int count) {
        spans.push_back({y, xl, xl + count - 1});
    });
    return spans;
}

std::vector<Span> RowsFrom(int y, std::initializer_list<std::pair<int, int>> ranges)
{
    std::vector<Span> spans;
    for (auto r : ranges) spans.push_back({y++, r.first, r.second});
    return spans;
}

int CountPixels(const std::vector<Span> &spans)
{
    int n = 0;
    for (const Span &s : spans) n += s.x1 - s.x0 + 1;
    return n;
}

std::set<std::pair<int, int>> PixelSet(const std::vector<Span> &spans, int dx = 0, int dy = 0)
{
    std::set<std::pair<int, int>> pixels;
    for (const Span &s : spans)
        for (int x = s.x0; x <= s.x1; ++x) pixels.insert({x + dx, s.y + dy});
    return pixels;
}

const Rect kBig = {0, 0, 100, 100};

TEST(TriangleScan, FlatTopAndBottomSpans)
{
    TriangleVertex top[3] = {{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}};
    std::vector<Span> spans = WalkSpans(top, kBig);
    ASSERT_EQ(spans.size(), 10u);  // row 10 is never drawn
    for (int k = 0; k < 10; ++k) EXPECT_EQ(spans[k], (Span{k, 0, 10 - k}));
    EXPECT_EQ(CountPixels(spans), 65);

    TriangleVertex bottom[3] = {{0, 0, 0, 0}, {0, 10, 0, 0}, {10, 10, 0, 0}};
    spans = WalkSpans(bottom, kBig);
    ASSERT_EQ(spans.size(), 10u);
    for (int k = 0; k < 10; ++k) EXPECT_EQ(spans[k], (Span{k, 0, k}));
    EXPECT_EQ(CountPixels(spans), 55);

    TriangleVertex small[3] = {{0, 0, 0, 0}, {4, 0, 0, 0}, {0, 4, 0, 0}};
    EXPECT_EQ(WalkSpans(small, kBig), RowsFrom(0, {{0, 4}, {0, 3}, {0, 2}, {0, 1}}));
}

TEST(TriangleScan, MiddleVertexRightAndLeft)
{
    TriangleVertex right[3] = {{0, 0, 0, 0}, {10, 5, 0, 0}, {2, 10, 0, 0}};
    EXPECT_EQ(WalkSpans(right, kBig), RowsFrom(0, {{0, 0}, {0, 2}, {0, 4}, {1, 6}, {1, 8}, {1, 10},
                                                   {1, 8}, {1, 7}, {2, 5}, {2, 4}}));
    TriangleVertex left[3] = {{10, 0, 0, 0}, {0, 5, 0, 0}, {8, 10, 0, 0}};
    EXPECT_EQ(WalkSpans(left, kBig), RowsFrom(0, {{10, 10}, {8, 10}, {6, 10}, {4, 9}, {2, 9}, {0, 9},
                                                  {2, 9}, {3, 9}, {5, 8}, {6, 8}}));
    // Vertex order does not matter.
    TriangleVertex rotated[3] = {left[2], left[0], left[1]};
    EXPECT_EQ(WalkSpans(rotated, kBig), WalkSpans(left, kBig));
}

// Rows above the target: whole pixels round down, so the triangle draws exactly what the same
// triangle moved fully inside draws, clipped. (Rounding toward zero drew 70 and 71 pixels.)
TEST(TriangleScan, NegativeCoordinatesDrawTheClippedTriangle)
{
    TriangleVertex a[3] = {{10, -4, 0, 0}, {0, 3, 0, 0}, {8, 10, 0, 0}};
    std::vector<Span> spans = WalkSpans(a, kBig);
    EXPECT_EQ(CountPixels(spans), 65);
    EXPECT_EQ(spans, RowsFrom(0, {{4, 9}, {3, 9}, {1, 9}, {0, 9}, {1, 9}, {2, 9}, {3, 9}, {5, 8},
                                  {6, 8}, {7, 8}}));
    TriangleVertex b[3] = {{0, -5, 0, 0}, {10, 3, 0, 0}, {2, 10, 0, 0}};
    EXPECT_EQ(CountPixels(WalkSpans(b, kBig)), 66);

    for (TriangleVertex *t : {a, b}) {
        TriangleVertex moved[3];
        for (int i = 0; i < 3; ++i) moved[i] = {t[i].x, t[i].y + 10, 0, 0};
        EXPECT_EQ(PixelSet(WalkSpans(t, kBig)), PixelSet(WalkSpans(moved, Rect{0, 10, 100, 110}), 0, -10));
    }
    // A right edge between -1 and 0 lies left of column 0 and draws nothing there.
    TriangleVertex leftOut[3] = {{-20, 0, 0, 0}, {-1, 0, 0, 0}, {-20, 10, 0, 0}};
    EXPECT_TRUE(WalkSpans(leftOut, kBig).empty());
}

TEST(TriangleScan, DegenerateAndOutOfLimitsDrawNothing)
{
    TriangleVertex collinear[3] = {{0, 0, 0, 0}, {5, 5, 0, 0}, {10, 10, 0, 0}};
    TriangleVertex twoEqual[3] = {{3, 3, 0, 0}, {3, 3, 0, 0}, {10, 0, 0, 0}};
    TriangleVertex flatLine[3] = {{0, 4, 0, 0}, {9, 4, 0, 0}, {5, 4, 0, 0}};
    TriangleSetup setup;
    EXPECT_EQ(SetUpTriangle(collinear, 1, &setup), -1);
    EXPECT_EQ(SetUpTriangle(twoEqual, 1, &setup), -1);
    EXPECT_EQ(SetUpTriangle(flatLine, 0, &setup), -1);

    TriangleVertex edge[3] = {{-8192, -8192, 0, 0}, {-1, -8192, 0, 0}, {-8192, -1, 0, 0}};
    EXPECT_EQ(SetUpTriangle(edge, 1, &setup), 0);
    TriangleVertex top[3] = {{8191, 8191, 0, 0}, {0, 8191, 0, 0}, {8191, 0, 0, 0}};
    EXPECT_EQ(SetUpTriangle(top, 1, &setup), 0);

    TriangleVertex tooFar[3] = {{8192, 0, 0, 0}, {0, 0, 0, 0}, {100, 100, 0, 0}};
    EXPECT_EQ(SetUpTriangle(tooFar, 0, &setup), -1);
    TriangleVertex tooLow[3] = {{0, -8193, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}};
    EXPECT_EQ(SetUpTriangle(tooLow, 0, &setup), -1);
    TriangleVertex tooWide[3] = {{-4096, 0, 0, 0}, {4096, 0, 0, 0}, {0, 10, 0, 0}};  // 8192 apart
    EXPECT_EQ(SetUpTriangle(tooWide, 0, &setup), -1);
    TriangleVertex hugeY[3] = {{0, 0x7FFFFFFF, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}};
    EXPECT_EQ(SetUpTriangle(hugeY, 0, &setup), -1);

    // u and v matter only with a texture.
    TriangleVertex wideUV[3] = {{0, 0, -8000, 0}, {10, 0, 8000, 0}, {0, 10, 0, 0}};
    EXPECT_EQ(SetUpTriangle(wideUV, 0, &setup), 0);
    EXPECT_EQ(SetUpTriangle(wideUV, 1, &setup), -1);
}

TEST(TriangleScan, OutsideTheRegionDrawsNothing)
{
    Rect region = {20, 20, 40, 40};
    TriangleVertex base[3] = {{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}};
    const int offsets[][2] = {{0, 25}, {41, 25}, {25, 0}, {25, 41}, {-3000, -3000}, {5000, 5000}};
    for (auto &o : offsets) {
        TriangleVertex t[3];
        for (int i = 0; i < 3; ++i) t[i] = {base[i].x + o[0], base[i].y + o[1], 0, 0};
        EXPECT_TRUE(WalkSpans(t, region).empty()) << o[0] << "," << o[1];
    }
}

// Clipping never changes the pixels that remain, and every span lies inside the region.
TEST(TriangleScan, RandomTrianglesClipExactly)
{
    constexpr int kLo = -60, kSize = 221;  // vertex coordinates kLo .. kLo + kSize - 1
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> coord(kLo, kLo + kSize - 1);
    std::uniform_int_distribution<int> edge(0, 100), size(0, 60);
    const Rect all = {kLo, kLo, kLo + kSize, kLo + kSize};
    std::vector<int> full(kSize * kSize);
    for (int n = 0; n < 3000; ++n) {
        TriangleVertex t[3];
        for (auto &v : t) v = {coord(rng), coord(rng), 0, 0};
        Rect r = {edge(rng), edge(rng), 0, 0};
        r.right = r.left + size(rng);
        r.bottom = r.top + size(rng);
        std::fill(full.begin(), full.end(), 0);
        for (const Span &s : WalkSpans(t, all))
            for (int x = s.x0; x <= s.x1; ++x) full[(s.y - kLo) * kSize + x - kLo] = 1;
        int clippedCount = 0, lastRow = -100000;
        for (const Span &s : WalkSpans(t, r)) {
            ASSERT_GE(s.x0, r.left);
            ASSERT_LT(s.x1, r.right);
            ASSERT_GE(s.y, r.top);
            ASSERT_LT(s.y, r.bottom);
            ASSERT_GT(s.y, lastRow);  // no row visited twice
            lastRow = s.y;
            for (int x = s.x0; x <= s.x1; ++x) ASSERT_EQ(full[(s.y - kLo) * kSize + x - kLo], 1);
            clippedCount += s.x1 - s.x0 + 1;
        }
        int expected = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) expected += full[(y - kLo) * kSize + x - kLo];
        ASSERT_EQ(clippedCount, expected) << "triangle " << n;
    }
}

}  // namespace
