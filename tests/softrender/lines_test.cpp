// Lines: the pixel lists of clipped and unclipped segments, the box outline, empty lists and the
// canary border under random steep and clipped segments.
#include "tests/softrender/fill_canvas.h"

#include <set>
#include <utility>

#include "lib/softrender/lines.h"

namespace {

using PixelSet = std::set<std::pair<int, int>>;

// Image 120 x 120 with region (0, 0, 100, 100): the drawn pixels of one segment, in mode 2 so that
// a pixel blended twice would show as 2.
PixelSet DrawnBy(int x1, int y1, int x2, int y2) {
    ResetDrawState(0, 0, 100, 100);
    SetBlend(2, 255);
    MEMIMG m = MakeImage(120, 120, 1, 0);
    RasterizeMemImgLine(&m, x1, y1, x2, y2, 1);
    PixelSet s;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x) {
            uint32_t v = GetPx(&m, x, y);
            if (v != 0) {
                EXPECT_EQ(v, 1u) << x << "," << y;
                s.insert({x, y});
            }
        }
    ReleaseMemImg(&m);
    return s;
}

TEST(Lines, PixelListsOfTheWorkedSegments) {
    EXPECT_EQ(DrawnBy(0, 0, 5, 2), (PixelSet{{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}}));
    EXPECT_EQ(DrawnBy(5, 2, 0, 0), (PixelSet{{5, 2}, {4, 2}, {3, 2}, {2, 1}, {1, 1}}));
    EXPECT_EQ(DrawnBy(0, 0, 4, 4), (PixelSet{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(DrawnBy(0, 0, 0, 3), (PixelSet{{0, 0}, {0, 1}, {0, 2}}));
    EXPECT_TRUE(DrawnBy(3, 3, 3, 3).empty());
    EXPECT_EQ(DrawnBy(95, 50, 105, 50), (PixelSet{{95, 50}, {96, 50}, {97, 50}, {98, 50}, {99, 50}}));
    EXPECT_EQ(DrawnBy(105, 50, 95, 50), (PixelSet{{99, 50}, {98, 50}, {97, 50}, {96, 50}}));
    EXPECT_EQ(DrawnBy(50, -5, 50, 5), (PixelSet{{50, 0}, {50, 1}, {50, 2}, {50, 3}, {50, 4}}));
    PixelSet diag;
    for (int k = 0; k <= 10; ++k) diag.insert({10 - k, 10 + k});
    EXPECT_EQ(DrawnBy(10, 10, -10, 30), diag);
    // The clip from the unclipped line equations lets a segment that misses the region touch its corner.
    EXPECT_EQ(DrawnBy(-10, 5, 5, -10), (PixelSet{{0, 0}}));
    EXPECT_TRUE(DrawnBy(-10, 5, -1, 50).empty());
}

TEST(Lines, BoxOutlineBlendsEveryPixelOnce) {
    ResetDrawState(0, 0, 100, 100);
    SetBlend(2, 255);
    MEMIMG m = MakeImage(100, 100, 0, 0);
    const int x1 = 10, y1 = 10, x2 = 20, y2 = 20;
    LineSegmentRecord box[4] = {{x1, y1, x2 - 1, y1, 1, 255},
                                {x2 - 1, y1, x2 - 1, y2 - 1, 1, 255},
                                {x2 - 1, y2 - 1, x1, y2 - 1, 1, 255},
                                {x1, y2 - 1, x1, y1, 1, 255}};
    RasterizeMemImgLineList(&m, box, 4);
    int drawn = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            bool edge = (x == x1 || x == x2 - 1 || y == y1 || y == y2 - 1) && x >= x1 && x < x2 && y >= y1 && y < y2;
            ASSERT_EQ(GetPx(&m, x, y), edge ? 1u : 0u) << x << "," << y;
            drawn += edge;
        }
    EXPECT_EQ(drawn, 36);
    auto before = Pixels(&m);
    RasterizeMemImgLineList(&m, box, 0);
    RasterizeMemImgLineList(&m, box, -1);
    RasterizeMemImgLineList(&m, nullptr, 4);
    EXPECT_EQ(CountChanged(&m, before), 0);
    ReleaseMemImg(&m);
}

TEST(Lines, NothingForRefusedModesAndDestinations) {
    ResetDrawState(0, 0, 50, 50);
    MEMIMG pal = MakeImage(50, 50, 0, 3, 0, 1);
    MEMIMG m = MakeImage(50, 50, 1, 0x808080);
    auto pb = Pixels(&pal), mb = Pixels(&m);
    RasterizeMemImgLine(&pal, 0, 0, 40, 30, 0xFF);
    EXPECT_EQ(CountChanged(&pal, pb), 0);
    const int none[][2] = {{1, 0}, {2, 0}, {3, 0}, {6, 255}, {12, 255}, {-3, 255}};
    for (auto &c : none) {
        SetBlend(c[0], c[1]);
        RasterizeMemImgLine(&m, 0, 0, 40, 30, 0xFFFFFF);
        EXPECT_EQ(CountChanged(&m, mb), 0) << c[0];
    }
    ReleaseMemImg(&pal);
    ReleaseMemImg(&m);
}

// Random segments far outside, steep, shallow and through corners never write outside the region,
// draw each pixel at most once, and a segment inside the region draws max(|dx|, |dy|) pixels.
TEST(Lines, RandomSegmentsStayInsideTheRegion) {
    std::mt19937 rng(204);
    ResetDrawState(7, 9, 71, 53);
    SetBlend(2, 255);
    MEMIMG m = MakeImage(80, 64, 1, 0);
    for (int i = 0; i < 1500; ++i) {
        int span = i % 3 == 0 ? 100000 : 200;
        auto coord = [&] { return (int)(rng() % (2 * span)) - span / 2; };
        int x1 = coord(), y1 = coord(), x2 = coord(), y2 = coord();
        FillBytes(m.pixels, 0, (size_t)m.shared->pitch * 64);
        RasterizeMemImgLine(&m, x1, y1, x2, y2, 1);
        int count = 0;
        for (int y = 0; y < 64; ++y) {
            const uint32_t *row = reinterpret_cast<const uint32_t *>(GetMemImgRow(&m, y));
            for (int x = 0; x < 80; ++x) {
                bool in = x >= 7 && x < 71 && y >= 9 && y < 53;
                ASSERT_LE(row[x], in ? 1u : 0u) << x << "," << y << " from " << x1 << "," << y1 << " " << x2 << "," << y2;
                count += (int)row[x];
            }
        }
        bool inside = x1 >= 7 && x1 < 71 && x2 >= 7 && x2 < 71 && y1 >= 9 && y1 < 53 && y2 >= 9 && y2 < 53;
        if (inside) {
            EXPECT_EQ(count, std::max(std::abs(x2 - x1), std::abs(y2 - y1)));
        }
    }
    ReleaseMemImg(&m);
}

}  // namespace
