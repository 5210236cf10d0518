// The filled rectangle: ordering, clipping, the odd-width and odd-start stores, tint, the mode table,
// refusals, the game's boxes, and the vector spans against the scalar loops.
#include "tests/softrender/fill_canvas.h"

#include "lib/softrender/fill_rect.h"
#include "lib/softrender/flat_span.h"

namespace {

struct FillRect : ::testing::Test {
    void SetUp() override { ResetDrawState(2, 2, 38, 30); }
    void TearDown() override { SetFlatSpanVectorUse(2); }
};

TEST_F(FillRect, ReversedCornersNameTheSameRectangle) {
    MEMIMG a = MakeImage(40, 32, 1, 0), b = MakeImage(40, 32, 1, 0);
    int fwd[4] = {3, 3, 13, 13}, rev[4] = {13, 13, 3, 3};
    FillMemImgRect(&a, fwd, 0x123456);
    FillMemImgRect(&b, rev, 0x123456);
    EXPECT_EQ(Pixels(&a), Pixels(&b));
    EXPECT_EQ(GetPx(&a, 3, 3), 0x123456u);
    EXPECT_EQ(GetPx(&a, 12, 12), 0x123456u);
    EXPECT_EQ(GetPx(&a, 13, 12), 0u);
    EXPECT_EQ(GetPx(&a, 12, 13), 0u);
    EXPECT_EQ(rev[0], 13);  // the caller's array is not changed
    ReleaseMemImg(&a);
    ReleaseMemImg(&b);
}

TEST_F(FillRect, NullFillsTheRegionAndEmptyDrawsNothing) {
    MEMIMG m = MakeImage(40, 32, 0, 0x1234);
    auto before = Pixels(&m);
    int empty[4] = {5, 5, 5, 20};
    FillMemImgRect(&m, empty, 0xFFFF);
    EXPECT_EQ(CountChanged(&m, before), 0);
    FillMemImgRect(&m, nullptr, 0xFFFF);
    EXPECT_TRUE(OutsideRegionUntouched(&m, before));
    EXPECT_EQ(CountChanged(&m, before), 36 * 28);
    auto filled = Pixels(&m);
    MEMIMG n = MakeImage(40, 32, 0, 0x1234);
    int beyond[4] = {-500, 100, 100, -7};
    FillMemImgRect(&n, beyond, 0xFFFF);
    EXPECT_EQ(Pixels(&n), filled);
    ReleaseMemImg(&n);
    ReleaseMemImg(&m);
}

// Spans of many lengths from 16 starts, in the scalar loop, 16-byte and the widest stores, on both
// colour types: exactly the span's pixels take the colour (a stray bit 16 of a 16-bit colour must
// not spread into the next pixel).
TEST_F(FillRect, OddStartAndWidthStopAtTheLastPixel) {
    std::vector<int> widths = {127, 128, 129, 255, 256, 257, 299};
    for (int w = 1; w <= 70; ++w) widths.push_back(w);
    GDrawSettings.drawRegion = {0, 0, 320, 1};
    for (int level = 0; level <= 2; ++level)
        for (int type = 0; type < 2; ++type) {
            SetFlatSpanVectorUse(level);
            MEMIMG m = MakeImage(320, 1, type, 0);
            const uint32_t c = type ? 0x7ABCDEFu : 0xCDEFu;
            for (int left = 0; left < 16; ++left)
                for (int w : widths) {
                    FillMemImgPixels(&m, {0, 0, 320, 1}, 0x5555);
                    int r[4] = {left, 0, left + w, 1};
                    FillMemImgRect(&m, r, 0x7ABCDEFu);
                    for (int x = 0; x < 320; ++x)
                        ASSERT_EQ(GetPx(&m, x, 0), x >= left && x < left + w ? c : 0x5555u)
                            << "level " << level << " type " << type << " from " << left << " width " << w;
                }
            ReleaseMemImg(&m);
        }
}

TEST_F(FillRect, TintIsTheShiftFormAndMode0KeepsTheTopByte) {
    SetDrawBright(128, 128, 128);
    MEMIMG a = MakeImage(40, 32, 1, 0), b = MakeImage(40, 32, 0, 0);
    FillMemImgRect(&a, nullptr, 0xABFFFFFFu);
    EXPECT_EQ(GetPx(&a, 5, 5), 0xAB7F7F7Fu);
    FillMemImgRect(&b, nullptr, 0xFFFF);
    EXPECT_EQ(GetPx(&b, 5, 5), (15u << 11) | (31u << 5) | 15u);
    SetDrawBright(254, 255, 255);  // red, green, blue: the shift form runs on all three bytes
    FillMemImgRect(&a, nullptr, 0xFFFFFF);
    EXPECT_EQ(GetPx(&a, 5, 5), 0xFDFEFEu);
    ReleaseMemImg(&a);
    ReleaseMemImg(&b);
}

TEST_F(FillRect, ModeTableShortCutsAndRefusals) {
    MEMIMG m = MakeImage(40, 32, 1, 0x405060);
    auto before = Pixels(&m);
    const int none[][2] = {{1, 0}, {2, 0}, {3, 0}, {5, 128}, {7, 255}, {9, 1}, {12, 255}, {-1, 255}, {-11, 128}};
    for (auto &c : none) {
        SetBlend(c[0], c[1]);
        FillMemImgRect(&m, nullptr, 0xFFFFFF);
        EXPECT_EQ(CountChanged(&m, before), 0) << c[0] << " " << c[1];
    }
    SetBlend(1, 255);
    FillMemImgRect(&m, nullptr, 0xAA123456u);
    EXPECT_EQ(GetPx(&m, 5, 5), 0xAA123456u);  // exactly the copy, top byte included
    ReleaseMemImg(&m);
    SetBlend(0, 255);
    for (int kind = 0; kind < 2; ++kind) {
        MEMIMG p = MakeImage(40, 32, 1, 7, kind == 0, kind == 1);
        auto pb = Pixels(&p);
        FillMemImgRect(&p, nullptr, 0xFFFFFF);
        EXPECT_EQ(CountChanged(&p, pb), 0);
        ReleaseMemImg(&p);
    }
}

// The game's world-2 tint and darkness over the field.
TEST_F(FillRect, GameBoxesFollowTheDifferenceTable) {
    GDrawSettings.drawRegion = {0, 0, 640, 480};
    MEMIMG m = MakeImage(640, 480, 0, (20u << 11) | (40u << 5) | 3u);
    int box[4] = {0, 0, 640, 390};
    SetBlend(1, 128);
    uint32_t c = PackMemImgColor(0, 0x0096FA);  // (0, 150, 250): red 0, green 37, blue 31
    FillMemImgRect(&m, box, c);
    const int32_t *D = GetBlendDifferenceRow(128);
    uint32_t want = ((20u + D[0 - 20]) << 11) | ((40u + D[37 - 40]) << 5) | (3u + D[31 - 3]);
    EXPECT_EQ(GetPx(&m, 0, 0), want);
    EXPECT_EQ(GetPx(&m, 639, 389), want);
    EXPECT_EQ(GetPx(&m, 639, 390), (20u << 11) | (40u << 5) | 3u);
    SetBlend(11, 255);
    uint32_t dark = PackMemImgColor(0, 0x232323);  // red 4, green 8, blue 4
    FillMemImgRect(&m, box, dark);
    uint32_t d = want, r = d >> 11, g = (d >> 5) & 63, b = d & 31;
    uint32_t mr = (r * 4) >> 5, mg = (g * 8) >> 6, mb = (b * 4) >> 5;
    EXPECT_EQ(GetPx(&m, 100, 100), mr << 11 | mg << 5 | mb);  // p = 255: d + D[255][m - d] = m
    ReleaseMemImg(&m);
}

// The circle's arithmetic cases, run as spans long enough for the vector loops and their tails.
TEST_F(FillRect, FlatArithmeticCasesInSpans) {
    struct Case {
        int type, mode, p;
        uint32_t dst, colour, want;
    } cases[] = {
        {1, 1, 128, 115u << 16, 10u << 16, 62u << 16},
        {0, 1, 128, 23u << 11, 14u << 11, 19u << 11},
        {0, 10, 255, 0x1234, 0x0F0F, 0x0F0F ^ 0xFFFF},
        {1, 10, 255, 68, 0, 0xFEFEFE},
        {1, 2, 255, 0xF0F0F0, 0x202020, 0x1FFFFFF},
        {1, 2, 255, 0x010101, 0x010101, 0x010102},
        {0, 2, 255, 28, 29, 31 | (1u << 5)},
        {0, 3, 255, 0xFFFF, (1u << 11) | (1u << 5) | 1u, (31u << 11) | (62u << 5) | 30u},
        {1, 3, 255, 0xAB101010, 0, 0x111110},
        {1, 4, 0, 0x77FFFFFF, 0xFFFFFF, 0x77FEFEFE},
        {0, 4, 0, 0xFFFF, 0xFFFF, (30u << 11) | (62u << 5) | 30u},
        {1, 10, 0, 0x55123456, 0xFFFFFF, 0x55123456},
        {1, 11, 0, 0x55123456, 0x000000, 0x55123456},
    };
    for (int vec = 0; vec < 2; ++vec) {
        SetFlatSpanVectorUse(vec);
        for (const Case &c : cases) {
            MEMIMG m = MakeImage(40, 32, c.type, c.dst);
            SetBlend(c.mode, c.p);
            int r[4] = {3, 3, 3 + 21, 4};
            FillMemImgRect(&m, r, c.colour);
            for (int x = 3; x < 24; ++x) ASSERT_EQ(GetPx(&m, x, 3), c.want) << c.type << " mode " << c.mode << " x " << x;
            ReleaseMemImg(&m);
        }
    }
}

// Every vector span against the scalar loop on random pixels, colours, parameters and tints.
TEST_F(FillRect, VectorSpansEqualScalarLoops) {
    std::mt19937 rng(15);
    const int modes[] = {0, 1, 2, 3, 4, 10, 11};
    for (int type = 0; type < 2; ++type)
        for (int mode : modes)
            for (int trial = 0; trial < 40; ++trial) {
                MEMIMG a = MakeImage(40, 32, type, 0);
                FillRandom(&a, rng);
                if (type == 0)
                    for (int y = 0; y < 32; ++y)
                        for (int x = 0; x < 40; ++x) SetPx(&a, x, y, GetPx(&a, x, y) & 0xFFFF);
                MEMIMG b = MakeImage(40, 32, type, 0);
                for (int y = 0; y < 32; ++y)
                    for (int x = 0; x < 40; ++x) SetPx(&b, x, y, GetPx(&a, x, y));
                static const int kEdgeParams[3] = {1, 254, 255};
                int p = trial < 3 ? kEdgeParams[trial] : (int)(rng() % 256);
                SetBlend(mode, p);
                GDrawSettings.bright = trial % 4 == 0 ? rng() & 0xFFFFFF : 0xFFFFFF;
                int x0 = (int)(rng() % 30), y0 = (int)(rng() % 30);
                int r[4] = {x0, y0, x0 + (int)(rng() % 40), y0 + 3};
                uint32_t colour = rng();
                SetFlatSpanVectorUse(0);
                FillMemImgRect(&a, r, colour);
                SetFlatSpanVectorUse(2);
                FillMemImgRect(&b, r, colour);
                ASSERT_EQ(Pixels(&a), Pixels(&b)) << "type " << type << " mode " << mode << " p " << p;
                ReleaseMemImg(&a);
                ReleaseMemImg(&b);
            }
}

}  // namespace
