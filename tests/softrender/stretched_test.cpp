// The scaled and mirrored blit: the column walk against its closed form, the worked column maps in
// every body, mirroring, clip invariance with the canary border, key and alpha, the mirrored blend
// image, the no-draw cases, both subtract forms and the refusals of unsafe input.
#include "tests/softrender/fill_canvas.h"

#include <climits>

#include "lib/core/cpu.h"
#include "lib/core/memory.h"
#include "lib/softrender/blit.h"
#include "lib/softrender/blit_stretched.h"
#include "lib/softrender/blit_vector.h"
#include "lib/softrender/pixel_ops.h"

namespace {

struct Stretched : ::testing::Test {
    void SetUp() override { ResetDrawState(0, 0, 256, 64); }
    void TearDown() override {
        SetMmxAvailableOverride(-1);
        SetBlitVectorUse(BLIT_VECTOR_WIDEST);
    }
};

// A one-row type 1 source whose column c holds c + 1.
MEMIMG ColumnSource(int w) {
    MEMIMG s = MakeImage(w, 1, 1, 0);
    for (int x = 0; x < w; ++x) SetPx(&s, x, 0, (uint32_t)x + 1);
    return s;
}

TEST_F(Stretched, ColumnWalkMatchesTheClosedForm) {
    MEMIMG d = MakeImage(256, 1, 1, 0);
    for (int sw = 1; sw <= 40; ++sw) {
        MEMIMG s = ColumnSource(sw);
        for (int dw = 1; dw <= 120; ++dw)
            for (int mirror = 0; mirror < 2; ++mirror) {
                int rect[4] = {mirror ? dw : 0, 0, mirror ? 0 : dw, 1};
                BlitMemImgStretched(&d, &s, rect, 0, nullptr);
                uint32_t scale = (uint32_t)dw * 65536u / (uint32_t)sw;
                for (int i = 0; i < dw; ++i) {
                    uint32_t col = (uint32_t)((uint64_t)i * 65536u / scale);
                    if (mirror) col = (uint32_t)sw - 1 - col;
                    if (GetPx(&d, i, 0) != col + 1) FAIL() << sw << " -> " << dw << " mirror " << mirror << " at " << i;
                }
            }
        ReleaseMemImg(&s);
    }
    ReleaseMemImg(&d);
}

// The worked maps hold in the plain copy (direct and palette), the general loop and both forms of
// the subtract body.
TEST_F(Stretched, WorkedColumnMapsInEveryBody) {
    struct Map {
        int from, to;
        std::vector<uint32_t> cols;
    } maps[] = {{2, 4, {0, 0, 1, 1}}, {2, 3, {0, 0, 1}}, {8, 4, {0, 2, 4, 6}}, {6, 4, {0, 1, 3, 4}}, {3, 2, {0, 1}}};
    for (const Map &m : maps)
        for (int body = 0; body < 5; ++body) {
            MEMIMG s = body == 1 ? MakeImage(m.from, 1, 1, 0, 0, 1) : ColumnSource(m.from);
            if (body == 1) {
                std::vector<uint32_t> pal(256);
                for (int i = 0; i < 256; ++i) pal[i] = (uint32_t)i + 1;
                SetMemImgPalette(&s, pal.data(), 256);
                for (int x = 0; x < m.from; ++x) SetPx(&s, x, 0, (uint32_t)x);
            }
            uint32_t start = body >= 3 ? 0xFFFFFFu : 0;
            MEMIMG d = MakeImage(16, 1, 1, start);
            SetBlend(body == 2 ? 1 : body >= 3 ? 3 : 0, body == 2 ? 128 : 255);
            SetMmxAvailableOverride(body == 3 ? 1 : 0);
            if (body == 2)
                for (int x = 0; x < m.from; ++x) SetPx(&s, x, 0, ((uint32_t)x + 1) * 8);
            int rect[4] = {0, 0, m.to, 1};
            BlitMemImgStretched(&d, &s, rect, 0, nullptr);
            for (int i = 0; i < m.to; ++i) {
                uint32_t v = GetPx(&d, i, 0) & 0xFF, col;
                col = body == 2 ? v / 4 - 1 : body >= 3 ? 255 - v - 1 : v - 1;
                EXPECT_EQ(col, m.cols[i]) << m.from << " -> " << m.to << " body " << body << " at " << i;
            }
            EXPECT_EQ(GetPx(&d, m.to, 0), start);
            ReleaseMemImg(&s);
            ReleaseMemImg(&d);
        }
}

TEST_F(Stretched, MirrorsAndTheSameSizeHandOff) {
    MEMIMG s = MakeImage(10, 5, 0, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) SetPx(&s, x, y, (uint32_t)(y * 16 + x + 1));
    MEMIMG ref = MakeImage(20, 10, 0, 0x5555);
    BlitMemImg(&ref, &s, 0, 0, 0, nullptr);
    const int rects[4][4] = {{0, 0, 10, 5}, {10, 0, 0, 5}, {0, 5, 10, 0}, {10, 5, 0, 0}};
    for (int k = 0; k < 4; ++k) {
        MEMIMG d = MakeImage(20, 10, 0, 0x5555);
        BlitMemImgStretched(&d, &s, rects[k], 0, nullptr);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x) {
                uint32_t want = 0x5555;
                if (x < 10 && y < 5) want = GetPx(&s, (k & 1) ? 9 - x : x, (k & 2) ? 4 - y : y);
                ASSERT_EQ(GetPx(&d, x, y), want) << "rect " << k << " at " << x << "," << y;
            }
        if (k == 0) {
            EXPECT_EQ(Pixels(&d), Pixels(&ref));
        }
        ReleaseMemImg(&d);
    }
    ReleaseMemImg(&s);
    ReleaseMemImg(&ref);
}

// A random draw (kind, key, alpha, blend image, tint, mode, scale, mirror) onto a canvas with the
// whole image as region and onto one with a random region: identical inside, untouched outside.
TEST_F(Stretched, ClippingChangesNoPixelInsideTheRegion) {
    std::mt19937 rng(3202);
    static const int kModes[7] = {0, 1, 2, 3, 4, 10, 11};
    for (int i = 0; i < 400; ++i) {
        const int type = (int)(rng() % 2), kind = (int)(rng() % 3);
        const int sw = 1 + (int)(rng() % 12), sh = 1 + (int)(rng() % 12);
        MEMIMG s = MakeImage(sw, sh, type, 0, kind == 2, kind == 0, 0);
        FillRandom(&s, rng);
        if (kind == 0) {
            std::vector<uint32_t> pal(256);
            for (auto &p : pal) p = rng();
            SetMemImgPalette(&s, pal.data(), 256);
        }
        // A few key pixels, alpha 0 and alpha 255.
        for (int k = 0; k < 4; ++k) {
            int x = (int)(rng() % sw), y = (int)(rng() % sh);
            uint32_t v = GetPx(&s, x, y);
            SetPx(&s, x, y, kind == 2 ? (k & 1 ? v | (type ? 0xFF000000u : 0xFF0000u) : v & (type ? 0xFFFFFFu : 0xFFFFu)) : 0);
        }
        MEMIMG blend = MakeImage(sw + 1, sh, 2, 0);
        FillRandom(&blend, rng);
        BuildBlendImageLookup((int)(rng() % 256), (int)(rng() % 256));
        int w = 1 + (int)(rng() % 50), h = 1 + (int)(rng() % 50);
        if (w == sw && h == sh) ++w;
        int x1 = (int)(rng() % 60) - 15, y1 = (int)(rng() % 60) - 15;
        int rect[4] = {x1, y1, x1 + w, y1 + h};
        if (rng() & 1) std::swap(rect[0], rect[2]);
        if (rng() & 1) std::swap(rect[1], rect[3]);
        const int trans = (int)(rng() & 1);
        const bool useBlend = rng() % 3 == 0;
        MEMIMG whole = MakeImage(64, 64, type, 0), cut = MakeImage(64, 64, type, 0);
        FillRandom(&whole, rng);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) SetPx(&cut, x, y, GetPx(&whole, x, y));
        auto before = Pixels(&whole);
        ResetDrawState(0, 0, 64, 64);
        SetBlend(kModes[rng() % 7], (int)(rng() % 256));
        if (rng() % 4 == 0) GDrawSettings.bright = rng() & 0xFFFFFF;
        BlitMemImgStretched(&whole, &s, rect, trans, useBlend ? &blend : nullptr);
        GDrawSettings.drawRegion = {(int)(rng() % 25), (int)(rng() % 25), 30 + (int)(rng() % 35), 30 + (int)(rng() % 35)};
        BlitMemImgStretched(&cut, &s, rect, trans, useBlend ? &blend : nullptr);
        ASSERT_TRUE(OutsideRegionUntouched(&cut, before)) << i;
        const Rect &r = GDrawSettings.drawRegion;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) ASSERT_EQ(GetPx(&cut, x, y), GetPx(&whole, x, y)) << i << " at " << x << "," << y;
        for (MEMIMG *m : {&s, &blend, &whole, &cut}) ReleaseMemImg(m);
    }
}

// Plain copies, keyed or not, of palette and direct texels, enlarged downwards so that rows repeat,
// mirrored, clipped, at odd sizes, also from a view of the destination's own store: the same
// pixels as with every row drawn anew.
TEST_F(Stretched, RepeatedRowsEqualEveryRowDrawnAnew) {
    std::mt19937 rng(49);
    std::vector<uint32_t> pal(256);
    for (auto &e : pal) e = rng();
    for (int i = 0; i < 300; ++i) {
        const int type = i % 2, sw = 1 + (int)(rng() % 13), sh = 1 + (int)(rng() % 9), own = i % 5 == 0;
        MEMIMG canvas = MakeImage(64, 48, type, 0), store = MakeImage(sw, sh, type, 0, 0, i / 2 % 3 == 0, 3), s;
        FillRandom(&canvas, rng);
        FillRandom(&store, rng);
        SetMemImgPalette(&store, pal.data(), 256);
        for (int k = 0; k < sw * sh / 3; ++k) SetPx(&store, (int)(rng() % sw), (int)(rng() % sh), 3);
        ASSERT_EQ(0, CreateMemImgSubView(&s, own ? &canvas : &store, own * (int)(rng() % 40), own * (int)(rng() % 30), sw, sh));
        const int x1 = (int)(rng() % 40) - 8, y1 = (int)(rng() % 30) - 8;
        int rect[4] = {x1, y1, x1 + 1 + (int)(rng() % 50), y1 + sh * (1 + (int)(rng() % 4)) + (int)(rng() % 3)};
        if (rng() & 1) std::swap(rect[0], rect[2]);
        if (rng() & 1) std::swap(rect[1], rect[3]);
        GDrawSettings.drawRegion = {(int)(rng() % 9), (int)(rng() % 9), 40 + (int)(rng() % 25), 30 + (int)(rng() % 19)};
        const std::vector<uint32_t> start = Pixels(&canvas);
        std::vector<uint32_t> drawn[2];
        for (int off = 0; off < 2; ++off) {
            for (int p = 0; p < 64 * 48; ++p) SetPx(&canvas, p % 64, p / 64, start[p]);
            SetBlitVectorUse(off ? BLIT_VECTOR_OFF : BLIT_VECTOR_WIDEST);
            BlitMemImgStretched(&canvas, &s, rect, i / 6 % 2, nullptr);
            drawn[off] = Pixels(&canvas);
        }
        ASSERT_EQ(drawn[0], drawn[1]) << i;
        for (MEMIMG *m : {&s, &store, &canvas}) ReleaseMemImg(m);
    }
}

TEST_F(Stretched, KeyAndAlphaAtThreeTimes) {
    MEMIMG s = MakeImage(3, 3, 0, 0x1234, 0, 0, 0x0F0F);
    SetPx(&s, 1, 1, 0x0F0F);
    MEMIMG d = MakeImage(9, 9, 0, 0x7777);
    int rect[4] = {0, 0, 9, 9};
    BlitMemImgStretched(&d, &s, rect, 1, nullptr);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) {
            bool keyed = x >= 3 && x < 6 && y >= 3 && y < 6;
            ASSERT_EQ(GetPx(&d, x, y), keyed ? 0x7777u : 0x1234u) << x << "," << y;
        }
    MEMIMG a = MakeImage(2, 1, 1, 0, 1);
    SetPx(&a, 0, 0, 0x00FFFFFF);
    SetPx(&a, 1, 0, 0xFF102030);
    MEMIMG e = MakeImage(6, 1, 1, 0x11445566);
    int wide[4] = {0, 0, 6, 1};
    BlitMemImgStretched(&e, &a, wide, 1, nullptr);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(GetPx(&e, x, 0), x < 3 ? 0x11445566u : 0xFF102030u) << x;
    for (MEMIMG *m : {&s, &d, &a, &e}) ReleaseMemImg(m);
}

// Mirrored with a blend image equals the unmirrored draw of the mirrored source and blend image.
TEST_F(Stretched, MirroredDrawReadsTheBlendImageMirrored) {
    std::mt19937 rng(9);
    MEMIMG s = MakeImage(5, 4, 1, 0), b = MakeImage(5, 4, 2, 0), sm = MakeImage(5, 4, 1, 0), bm = MakeImage(5, 4, 2, 0);
    FillRandom(&s, rng);
    FillRandom(&b, rng);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            SetPx(&sm, 4 - x, 3 - y, GetPx(&s, x, y));
            SetPx(&bm, 4 - x, 3 - y, GetPx(&b, x, y));
        }
    BuildBlendImageLookup(100, 200);
    SetBlend(1, 200);
    MEMIMG d1 = MakeImage(12, 10, 1, 0x808080), d2 = MakeImage(12, 10, 1, 0x808080);
    int mirrored[4] = {10, 8, 0, 0}, plain[4] = {0, 0, 10, 8};
    BlitMemImgStretched(&d1, &s, mirrored, 0, &b);
    BlitMemImgStretched(&d2, &sm, plain, 0, &bm);
    EXPECT_EQ(Pixels(&d1), Pixels(&d2));
    for (MEMIMG *m : {&s, &b, &sm, &bm, &d1, &d2}) ReleaseMemImg(m);
}

// The general loop at x2 with a blend image and a key: each destination pixel mixes towards its
// source texel by the blend byte at the same source position; the key's four pixels stay.
TEST_F(Stretched, BlendImageFactorsFollowTheSourcePosition) {
    BuildBlendImageLookup(128, 255);  // factor = blend byte
    MEMIMG s = MakeImage(3, 2, 1, 0, 0, 0, 0x00123456);
    MEMIMG b = MakeImage(3, 2, 2, 0);
    const uint32_t colours[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x808080};
    for (int i = 0; i < 6; ++i) {
        SetPx(&s, i % 3, i / 3, colours[i]);
        SetPx(&b, i % 3, i / 3, (uint32_t)(40 * i + 30));
    }
    MEMIMG d = MakeImage(6, 4, 1, 0xAA204060);
    int rect[4] = {0, 0, 6, 4};
    BlitMemImgStretched(&d, &s, rect, 1, &b);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const int i = (y / 2) * 3 + x / 2;
            uint32_t want = 0xAA204060;
            if (colours[i] != 0x123456) {
                const uint32_t f = (uint32_t)(40 * i + 30);
                want = 0xAA000000;
                for (int sh = 0; sh < 24; sh += 8) {
                    const int64_t dv = (0xAA204060 >> sh) & 0xFF, sv = (colours[i] >> sh) & 0xFF;
                    want |= (uint32_t)((dv * 256 + (sv - dv) * f) >> 8) << sh;
                }
            }
            ASSERT_EQ(GetPx(&d, x, y), want) << x << "," << y;
        }
    for (MEMIMG *m : {&s, &b, &d}) ReleaseMemImg(m);
}

TEST_F(Stretched, NoDrawCasesAndThePaletteSubtractAtZero) {
    MEMIMG s = MakeImage(4, 4, 1, 0x00405060);
    MEMIMG d = MakeImage(16, 16, 1, 0xAB101010);
    auto before = Pixels(&d);
    int flat[4] = {3, 0, 3, 8}, low[4] = {0, 5, 8, 5}, rect[4] = {0, 0, 8, 8};
    BlitMemImgStretched(&d, &s, flat, 0, nullptr);
    BlitMemImgStretched(&d, &s, low, 0, nullptr);
    const int none[][2] = {{5, 255}, {6, 255}, {7, 255}, {8, 255}, {9, 255}, {12, 255}, {-1, 255}, {1, 0}, {2, 0}, {3, 0}};
    for (auto &c : none) {
        SetBlend(c[0], c[1]);
        BlitMemImgStretched(&d, &s, rect, 0, nullptr);
        EXPECT_EQ(CountChanged(&d, before), 0) << c[0] << " " << c[1];
    }
    // Palette texels run the subtract at p = 0 with a zero source: low bits set, X byte cleared.
    MEMIMG p = MakeImage(4, 4, 1, 0, 0, 1);
    BlitMemImgStretched(&d, &p, rect, 0, nullptr);
    EXPECT_EQ(GetPx(&d, 0, 0), 0x00111110u);
    EXPECT_EQ(GetPx(&d, 8, 0), 0xAB101010u);
    for (MEMIMG *m : {&s, &d, &p}) ReleaseMemImg(m);
}

// Mode 3 at p = 255 on type 1: the byte-saturating form with the flag, the packed form without.
TEST_F(Stretched, SubtractFormFollowsTheMmxFlag) {
    SetBlend(3, 255);
    MEMIMG s = MakeImage(2, 2, 1, 0);
    int rect[4] = {0, 0, 4, 4};
    for (int flag = 0; flag < 2; ++flag) {
        SetMmxAvailableOverride(flag);
        MEMIMG d = MakeImage(8, 8, 1, 0xAB101010);
        BlitMemImgStretched(&d, &s, rect, 0, nullptr);
        EXPECT_EQ(GetPx(&d, 3, 3), flag ? 0xAB101010u : 0x00111110u);
        ReleaseMemImg(&d);
    }
    // On random pixels the vector subtract gives max(d - s, 0) on all four bytes.
    std::mt19937 rng(3);
    MEMIMG r = MakeImage(7, 5, 1, 0), d = MakeImage(21, 10, 1, 0);
    FillRandom(&r, rng);
    FillRandom(&d, rng);
    auto before = Pixels(&d);
    SetMmxAvailableOverride(1);
    int big[4] = {0, 0, 21, 10};
    BlitMemImgStretched(&d, &r, big, 0, nullptr);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 21; ++x) {
            uint32_t dv = before[(size_t)y * 21 + x], sv = GetPx(&r, x / 3, y / 2), want = 0;
            for (int b = 0; b < 32; b += 8) {
                uint32_t a = (dv >> b) & 0xFF, c = (sv >> b) & 0xFF;
                want |= (a > c ? a - c : 0) << b;
            }
            ASSERT_EQ(GetPx(&d, x, y), want) << x << "," << y;
        }
    for (MEMIMG *m : {&s, &r, &d}) ReleaseMemImg(m);
}

TEST_F(Stretched, UnsafeInputIsRefused) {
    MEMIMG s = MakeImage(4, 4, 1, 0x00FFFFFF), s0 = MakeImage(4, 4, 0, 0xFFFF);
    MEMIMG d = MakeImage(16, 16, 1, 0), pal = MakeImage(16, 16, 1, 0, 0, 1), small = MakeImage(4, 3, 2, 0);
    auto before = Pixels(&d), palBefore = Pixels(&pal);
    int rect[4] = {0, 0, 8, 8};
    MEMIMG empty = s;
    empty.width = 0;
    BlitMemImgStretched(&d, &empty, rect, 0, nullptr);
    int wide[4] = {-40000, 0, 8, 8}, overflow[4] = {INT_MIN, 0, INT_MAX, 8}, tall[4] = {0, INT_MAX, 8, INT_MIN};
    BlitMemImgStretched(&d, &s, wide, 0, nullptr);
    BlitMemImgStretched(&d, &s, overflow, 0, nullptr);
    BlitMemImgStretched(&d, &s, tall, 0, nullptr);
    BlitMemImgStretched(&d, &s0, rect, 0, nullptr);       // another colour type
    BlitMemImgStretched(&d, &s, rect, 0, &small);         // blend image lower than the source
    BlitMemImgStretched(&d, &s, nullptr, 0, nullptr);
    EXPECT_EQ(CountChanged(&d, before), 0);
    BlitMemImgStretched(&pal, &s, rect, 0, nullptr);
    EXPECT_EQ(CountChanged(&pal, palBefore), 0);
    for (MEMIMG *m : {&s, &s0, &d, &pal, &small}) ReleaseMemImg(m);
}

// A palette count beyond 256 is not trusted (entries come from the source's own 256), and tables
// wider than the on-stack ones go through a tracked block that is given back.
TEST_F(Stretched, PaletteCountAndWideTables) {
    MEMIMG p = MakeImage(2, 1, 0, 0, 0, 1);
    uint32_t rgb[2] = {0xFF0000, 0x0000FF};
    SetMemImgPalette(&p, rgb, 2);
    SetPx(&p, 1, 0, 1);
    p.shared->paletteCount = 100000;
    SetBlend(3, 255);
    GDrawSettings.drawRegion = {0, 0, 2100, 3};
    MEMIMG d = MakeImage(2100, 3, 0, 0xFFFF);
    int blocks = GetTrackedBlockCount();
    int rect[4] = {0, 0, 2000, 3};
    BlitMemImgStretched(&d, &p, rect, 0, nullptr);
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
    EXPECT_EQ(GetPx(&d, 0, 0), PackedSubtract565(0xFFFF, 0xF800));
    EXPECT_EQ(GetPx(&d, 1999, 2), PackedSubtract565(0xFFFF, 0x001F));
    EXPECT_EQ(GetPx(&d, 2000, 2), 0xFFFFu);
    ReleaseMemImg(&p);
    ReleaseMemImg(&d);
}

}  // namespace
