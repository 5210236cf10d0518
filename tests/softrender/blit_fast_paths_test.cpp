// The blit's fast paths against its per-pixel reference: the vector rows against the per-pixel
// bodies, and the run walk of any view and clip against the texel-by-texel walk, on random stores,
// views, clips, parameters and pixels. Each pair of draws starts from the same random screen; the
// region sits inside it, so the border around the region is a canary no draw may touch.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "lib/softrender/blit.h"
#include "lib/softrender/blit_vector.h"
#include "tests/softrender/fill_canvas.h"

namespace {

constexpr int kScreenW = 120, kScreenH = 50;

// One random draw: a view of a random store, a region and a position that cut it or not.
struct Draw {
    int type, kind, mode, p, trans;
    int storeW, storeH, vx, vy, vw, vh;
    Rect region;
    int x, y;
};

class BlitFastPaths : public ::testing::Test {
protected:
    void SetUp() override { ResetDrawState(0, 0, kScreenW, kScreenH); }
    void TearDown() override {
        SetBlitVectorUse(BLIT_VECTOR_WIDEST);
        SetMemImgRunTableUse(1);
        ResetDrawSettings();
    }
    std::mt19937 rng{77};
    int Pick(int n) { return (int)(rng() % (uint32_t)n); }

    Draw RandomDraw(int type, int kind, int mode) {
        Draw d = {type, kind, mode, Pick(4) == 0 ? (int)(rng() % 3) * 127 + (Pick(2) ? 1 : 0) : Pick(256), 1};
        d.storeW = 1 + Pick(100), d.storeH = 1 + Pick(30);
        d.vw = 1 + Pick(d.storeW), d.vh = 1 + Pick(d.storeH);
        d.vx = Pick(d.storeW - d.vw + 1), d.vy = Pick(d.storeH - d.vh + 1);
        const int l = 2 + Pick(20), t = 2 + Pick(10);
        d.region = {l, t, l + 1 + Pick(kScreenW - 3 - l), t + 1 + Pick(kScreenH - 3 - t)};
        d.x = Pick(kScreenW) - d.vw / 2, d.y = Pick(kScreenH) - d.vh / 2;
        return d;
    }
    // Random texels with long keyed stretches (the key is 0x0841, or index 7, or alpha 0).
    void FillStore(MEMIMG *m, int kind) {
        for (int y = 0; y < m->height; ++y)
            for (int x = 0; x < m->width;) {
                const bool keyed = Pick(3) == 0;
                for (int n = 1 + Pick(12); n > 0 && x < m->width; --n, ++x) {
                    uint32_t v = rng();
                    if (kind == TEXEL_PALETTE) v = keyed ? 7 : v & 0xFF;
                    else if (kind == TEXEL_DIRECT_ALPHA) v = keyed ? v & 0xFFFF : Pick(2) ? v | 0xFF000000u : v;
                    else if (keyed) v = 0x0841;
                    SetPx(m, x, y, v);
                }
            }
        MarkMemImgPixelsChanged(m);
    }
    // The screen after the draw with the fast path at level fast (0: off); the canary checked.
    std::vector<uint32_t> Run(const Draw &d, const MEMIMG &view, const std::vector<uint32_t> &screen,
                              void (*use)(int), int fast) {
        MEMIMG dst;
        EXPECT_EQ(0, CreateMemImg(&dst, kScreenW, kScreenH, d.type, 0, 0, 0));
        for (int j = 0; j < kScreenH; ++j)
            for (int i = 0; i < kScreenW; ++i) SetPx(&dst, i, j, screen[(size_t)j * kScreenW + i]);
        use(fast);
        SelectBlendMode(d.mode, d.p);
        GDrawSettings.drawRegion = d.region;
        BlitMemImg(&dst, &view, d.x, d.y, d.trans, nullptr);
        EXPECT_TRUE(OutsideRegionUntouched(&dst, screen)) << "fast " << fast;
        std::vector<uint32_t> out = Pixels(&dst);
        ReleaseMemImg(&dst);
        return out;
    }
    // Draws d with the fast path at level fast and off and compares every pixel.
    void Compare(const Draw &d, void (*use)(int), const char *what, int fast = 1) {
        MEMIMG store;
        ASSERT_EQ(0, CreateMemImg(&store, d.storeW, d.storeH, d.type, d.kind == TEXEL_DIRECT_ALPHA,
                                  d.kind == TEXEL_PALETTE, d.kind == TEXEL_PALETTE ? 7 : 0x0841));
        if (d.kind == TEXEL_PALETTE) {
            std::vector<uint32_t> rgb(256);
            for (auto &e : rgb) e = rng() & 0xFFFFFF;
            SetMemImgPalette(&store, rgb.data(), 256);
        }
        FillStore(&store, d.kind);
        CompareView(d, store, use, what, fast);
        ReleaseMemImg(&store);
    }
    // Draws d's view of store with the fast path at level fast and off and compares every pixel.
    void CompareView(const Draw &d, const MEMIMG &store, void (*use)(int), const char *what, int fast = 1) {
        MEMIMG view;
        ASSERT_EQ(0, CreateMemImgSubView(&view, &store, d.vx, d.vy, d.vw, d.vh));
        std::vector<uint32_t> screen((size_t)kScreenW * kScreenH);
        for (auto &v : screen) v = d.type == 0 ? rng() & 0xFFFF : rng();
        std::vector<uint32_t> quick = Run(d, view, screen, use, fast), slow = Run(d, view, screen, use, 0);
        for (size_t i = 0; i < quick.size(); ++i)
            ASSERT_EQ(slow[i], quick[i]) << what << " " << fast << " pixel " << i % kScreenW << "," << i / kScreenW << " type "
                                        << d.type << " kind " << d.kind << " mode " << d.mode << " p " << d.p
                                        << " trans " << d.trans << " view " << d.vx << "," << d.vy << " " << d.vw
                                        << "x" << d.vh << " of " << d.storeW << " at " << d.x << "," << d.y;
        ReleaseMemImg(&view);
    }
};

// Modes 1 (at p = 128 the halving, on 16 bits the 6-bit table), 10, 2, 3 and 4, keyed and not, on
// both colour types, in 16-byte and in the widest pieces: the vector rows give the per-pixel
// bodies' pixels.
TEST_F(BlitFastPaths, VectorRowsEqualThePerPixelBodies) {
    for (int type = 0; type < 2; ++type)
        for (int mode : {1, 10, 2, 3, 4})
            for (int round = 0; round < 80; ++round) {
                Draw d = RandomDraw(type, TEXEL_DIRECT, mode);
                d.trans = round % 2;
                if (round % 5 == 0) d.p = 128;
                Compare(d, SetBlitVectorUse, "vector", round / 2 % 2 ? BLIT_VECTOR_WIDEST : BLIT_VECTOR_NARROW);
                if (HasFatalFailure()) return;
            }
}

// Keyed draws of every texel kind and mode through the runs of any view and clip equal the
// texel-by-texel walk.
TEST_F(BlitFastPaths, RunsOfAnyViewAndClipEqualTheTexelWalk) {
    for (int type = 0; type < 2; ++type)
        for (int kind : {TEXEL_PALETTE, TEXEL_DIRECT, TEXEL_DIRECT_ALPHA})
            for (int mode : {0, 0, 1, 2, 11})
                for (int round = 0; round < 12; ++round) {
                    Compare(RandomDraw(type, kind, mode), SetMemImgRunTableUse, "runs");
                    if (HasFatalFailure()) return;
                }
}

// Pieces of one sheet in more column ranges than the store keeps slices for, drawn whole and cut
// in every direction in random order, also after the sheet's pixels changed, in both sizes of
// pieces: the keyed copy through the runs, their slices and their cuts equals the texel walk.
TEST_F(BlitFastPaths, PiecesOfOneSheetEqualTheTexelWalkAsTheirSlicesComeAndGo) {
    for (int pass = 0; pass < 4; ++pass) {
        const int type = pass % 2;
        SetBlitVectorUse(pass < 2 ? BLIT_VECTOR_WIDEST : BLIT_VECTOR_OFF);
        MEMIMG store;
        ASSERT_EQ(0, CreateMemImg(&store, 96, 24, type, 0, 0, 0x0841));
        for (int round = 0; round < 120; ++round) {
            if (round % 40 == 0) FillStore(&store, TEXEL_DIRECT);
            Draw d = RandomDraw(type, TEXEL_DIRECT, 0);
            d.storeW = 96, d.storeH = 24;
            const int range = Pick(20);  // 20 column ranges, as in a sheet of pieces, so that they recur
            d.vw = 8 + range * 13 % 30, d.vx = range * 37 % 58, d.vh = 1 + Pick(24), d.vy = Pick(25 - d.vh);
            d.region = {2, 2, kScreenW - 2, kScreenH - 2};
            if (Pick(2)) d.x = 10 + Pick(60), d.y = 5 + Pick(10);  // whole: the slice of the view's columns
            CompareView(d, store, SetMemImgRunTableUse, "sheet");
            if (HasFatalFailure()) return;
        }
        ReleaseMemImg(&store);
    }
}

}  // namespace
