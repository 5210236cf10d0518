// The circle: pixel counts of the small radii, the disc against the outline's extent, the radii
// that blend a pixel twice, clipping, the canary border, huge radii and the row buffer's release.
#include "tests/softrender/fill_canvas.h"

#include <climits>
#include <cmath>

#include "lib/core/memory.h"
#include "lib/softrender/circle.h"

namespace {

// How often each pixel of a size x size type 1 image was blended by one circle round its centre
// (mode 2, blue 1, so a count is the blue value). The region is the whole image.
struct CountMap {
    int size;
    std::vector<uint32_t> n;
    uint32_t at(int x, int y) const { return n[(size_t)y * size + x]; }
};

CountMap DrawCounted(int r, int fill) {
    const int size = 2 * r + 7, c = r + 3;
    ResetDrawState(0, 0, size, size);
    SetBlend(2, 255);
    MEMIMG m = MakeImage(size, size, 1, 0);
    RasterizeMemImgCircle(&m, c, c, r, 1, fill);
    CountMap map{size, {}};
    for (int y = 0; y < size; ++y) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(GetMemImgRow(&m, y));
        map.n.insert(map.n.end(), row, row + size);
    }
    ReleaseMemImg(&m);
    return map;
}

int CountDrawn(const CountMap &m) {
    int k = 0;
    for (uint32_t v : m.n) k += v != 0;
    return k;
}

TEST(Circle, SmallRadii) {
    CountMap f0 = DrawCounted(0, 1), o0 = DrawCounted(0, 0);
    EXPECT_EQ(CountDrawn(f0), 1);
    EXPECT_EQ(f0.at(3, 3), 1u);
    EXPECT_EQ(CountDrawn(o0), 1);
    EXPECT_EQ(o0.at(3, 3), 4u);  // the outline blends the centre four times
    CountMap f1 = DrawCounted(1, 1), o1 = DrawCounted(1, 0);
    EXPECT_EQ(CountDrawn(f1), 5);
    EXPECT_EQ(f1.at(4, 4) + f1.at(3, 4) + f1.at(5, 4) + f1.at(4, 3) + f1.at(4, 5), 5u);
    EXPECT_EQ(CountDrawn(o1), 4);
    EXPECT_EQ(o1.at(4, 4), 0u);
    CountMap f2 = DrawCounted(2, 1), o2 = DrawCounted(2, 0);
    const int rows[5] = {3, 5, 5, 5, 3};
    for (int j = 0; j < 5; ++j) {
        int k = 0;
        for (int x = 0; x < f2.size; ++x) k += f2.at(x, 3 + j) == 1;
        EXPECT_EQ(k, rows[j]) << "row " << j;
    }
    EXPECT_EQ(CountDrawn(f2), 21);
    EXPECT_EQ(CountDrawn(o2), 12);
}

// Each row of the disc covers exactly the outline's leftmost to rightmost point, every pixel once.
TEST(Circle, DiscEqualsTheOutlineExtent) {
    for (int r = 0; r <= 200; ++r) {
        CountMap o = DrawCounted(r, 0), f = DrawCounted(r, 1);
        for (int y = 0; y < o.size; ++y) {
            int lo = INT_MAX, hi = INT_MIN;
            for (int x = 0; x < o.size; ++x)
                if (o.at(x, y)) lo = std::min(lo, x), hi = std::max(hi, x);
            for (int x = 0; x < o.size; ++x)
                if (f.at(x, y) != (x >= lo && x <= hi ? 1u : 0u)) FAIL() << "r " << r << " at " << x << "," << y;
        }
    }
}

TEST(Circle, OutlineRadiiThatBlendFourPixelsTwice) {
    const int twice[] = {3, 4, 6, 7, 10, 11, 13, 14, 17, 20}, once[] = {1, 2, 5, 8, 9, 12, 15, 16, 18, 19};
    for (int r : twice) {
        CountMap o = DrawCounted(r, 0);
        EXPECT_EQ(std::count(o.n.begin(), o.n.end(), 2u), 4) << r;
    }
    for (int r : once) {
        CountMap o = DrawCounted(r, 0);
        EXPECT_EQ(std::count(o.n.begin(), o.n.end(), 2u), 0) << r;
    }
}

// Against the same circle drawn with the whole image as region: inside the region identical,
// outside untouched; rows are clipped, not dropped.
TEST(Circle, ClippedToTheRegion) {
    std::mt19937 rng(6201);
    for (int i = 0; i < 150; ++i) {
        int x0 = (int)(rng() % 90) - 10, y0 = (int)(rng() % 70) - 10, r = (int)(rng() % 40), fill = i & 1;
        static const int kModes[7] = {0, 1, 2, 3, 4, 10, 11};
        int mode = kModes[rng() % 7], p = (int)(rng() % 256);
        uint32_t colour = rng() & 0xFFFF;
        Rect region = {(int)(rng() % 30), (int)(rng() % 20), 40 + (int)(rng() % 31), 30 + (int)(rng() % 21)};
        MEMIMG whole = MakeImage(70, 50, 0, 0), cut = MakeImage(70, 50, 0, 0);
        FillRandom(&whole, rng);
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 70; ++x) SetPx(&cut, x, y, GetPx(&whole, x, y));
        auto before = Pixels(&whole);
        ResetDrawState(0, 0, 70, 50);
        SetBlend(mode, p);
        RasterizeMemImgCircle(&whole, x0, y0, r, colour, fill);
        GDrawSettings.drawRegion = region;
        RasterizeMemImgCircle(&cut, x0, y0, r, colour, fill);
        ASSERT_TRUE(OutsideRegionUntouched(&cut, before));
        for (int y = region.top; y < region.bottom; ++y)
            for (int x = region.left; x < region.right; ++x) ASSERT_EQ(GetPx(&cut, x, y), GetPx(&whole, x, y)) << i;
        ReleaseMemImg(&whole);
        ReleaseMemImg(&cut);
    }
}

TEST(Circle, HugeNegativeAndOutsideRadiiAreSafe) {
    ResetDrawState(10, 10, 54, 54);
    MEMIMG m = MakeImage(64, 64, 1, 0);
    auto before = Pixels(&m);
    int blocks = GetTrackedBlockCount();
    RasterizeMemImgCircle(&m, 30, 30, -1, 0xFFFFFF, 1);
    RasterizeMemImgCircle(&m, INT_MAX, INT_MIN, INT_MAX, 0xFFFFFF, 1);   // wholly outside
    RasterizeMemImgCircle(&m, -100, 30, 50, 0xFFFFFF, 1);
    EXPECT_EQ(CountChanged(&m, before), 0);
    // Huge circles over the region: this outline passes far round it, the disc covers it wholly,
    // and an outline whose bottom arc crosses it draws a few points inside it.
    RasterizeMemImgCircle(&m, 0, 0, INT_MAX, 0xFFFFFF, 0);
    EXPECT_EQ(CountChanged(&m, before), 0);
    RasterizeMemImgCircle(&m, 30, INT_MIN + 40, INT_MAX, 0xFFFFFF, 0);
    EXPECT_TRUE(OutsideRegionUntouched(&m, before));
    EXPECT_GT(CountChanged(&m, before), 0);
    RasterizeMemImgCircle(&m, INT_MIN + 100, 30, INT_MAX, 0xFFFFFF, 1);
    EXPECT_TRUE(OutsideRegionUntouched(&m, before));
    EXPECT_EQ(CountChanged(&m, before), 44 * 44);
    // The region on the circle's diagonal: reached by leaping, not by 1.5e9 steps.
    const int diagonal = 32 - (int)(INT_MAX * 0.70710678);
    auto lit = Pixels(&m);
    RasterizeMemImgCircle(&m, diagonal, diagonal, INT_MAX, 0, 0);
    RasterizeMemImgCircle(&m, diagonal, diagonal, INT_MAX, 0, 1);
    EXPECT_TRUE(OutsideRegionUntouched(&m, before));
    EXPECT_GT(CountChanged(&m, lit), 0);
    EXPECT_EQ(GetTrackedBlockCount(), blocks);  // the row buffer goes back on every way out
    SetBlend(7, 255);
    RasterizeMemImgCircle(&m, 30, 30, 5, 0, 1);
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
    ReleaseMemImg(&m);
}

// The plain midpoint walk, every step, counting the blends of each pixel of a size x size area: the
// reference for circles large enough to leap over steps.
std::vector<uint32_t> ReferenceCircle(int64_t x0, int64_t y0, int64_t r, bool fill, int size) {
    std::vector<uint32_t> n((size_t)size * size, 0);
    std::vector<bool> rowDone(size, false);
    auto point = [&](int64_t x, int64_t y) {
        if (x >= 0 && x < size && y >= 0 && y < size) ++n[(size_t)y * size + x];
    };
    auto span = [&](int64_t y, int64_t xa, int64_t xb) {
        if (y < 0 || y >= size || xb < 0 || xa >= size || rowDone[y]) return;
        rowDone[y] = true;
        for (int64_t x = std::max<int64_t>(xa, 0); x <= std::min<int64_t>(xb, size - 1); ++x) ++n[(size_t)y * size + x];
    };
    int64_t d = 3 - 2 * r, x = 0, y = r;
    for (;;) {
        if (fill) {
            span(y0 + x, x0 - y, x0 + y);
            span(y0 - x, x0 - y, x0 + y);
            if (d >= 0) span(y0 + y, x0 - x, x0 + x), span(y0 - y, x0 - x, x0 + x);
        } else {
            for (int sx : {-1, 1})
                for (int sy : {-1, 1}) point(x0 + sx * x, y0 + sy * y), point(x0 + sx * y, y0 + sy * x);
        }
        if (d < 0) d += 4 * x + 6;
        else d += 4 * (x - y) + 10, --y;
        if (++x > y) break;
    }
    return n;
}

// Circles far larger than the area, crossing it at every angle, against the step-by-step walk.
TEST(Circle, HugeCirclesLeapOverIdleStepsExactly) {
    std::mt19937 rng(2014);
    const int size = 48;
    for (int i = 0; i < 160; ++i) {
        const int64_t r = 4097 + (int64_t)(rng() % 200000);
        const double angle = (rng() % 3600) * 3.14159265358979 / 1800.0;
        const int64_t x0 = size / 2 - (int64_t)std::llround(r * std::cos(angle)) + (int64_t)(rng() % 61) - 30;
        const int64_t y0 = size / 2 - (int64_t)std::llround(r * std::sin(angle)) + (int64_t)(rng() % 61) - 30;
        const bool fill = i & 1;
        ResetDrawState(0, 0, size, size);
        SetBlend(2, 255);
        MEMIMG m = MakeImage(size, size, 1, 0);
        RasterizeMemImgCircle(&m, (int)x0, (int)y0, (int)r, 1, fill);
        auto want = ReferenceCircle(x0, y0, r, fill, size);
        ASSERT_EQ(Pixels(&m), want) << "r " << r << " centre " << x0 << "," << y0 << " fill " << fill;
        ReleaseMemImg(&m);
    }
}

}  // namespace
