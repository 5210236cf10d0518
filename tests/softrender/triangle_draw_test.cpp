// What the triangle draws at each visited pixel: texel mapping and bounds, keys, alpha, tint,
// blend image, modes, refusals, and a canary border around random triangles.
#include <gtest/gtest.h>

#include <random>

#include "lib/softrender/triangle.h"
#include "lib/softrender/triangle_body.h"
#include "tests/softrender/fill_canvas.h"

namespace {

class TriangleDraw : public ::testing::Test {
protected:
    void SetUp() override { ResetDrawState(0, 0, 40, 40); }
    void TearDown() override { ResetDrawSettings(); }
};

// A 2-D texture of type whose texel (x, y) is TexelAt(x, y) (the low 16 bits for type 0).
uint32_t TexelAt(int x, int y) { return 0x01000000u * (x + 1) + 0x00010307u * (y * 7 + x * 13 + 1); }

MEMIMG MakePatternTexture(int w, int h, int type)
{
    MEMIMG t = MakeImage(w, h, type, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPx(&t, x, y, TexelAt(x, y));
    return t;
}

// The triangle (x0, y0) (x0 + n, y0) (x0, y0 + n) with u, v = x - du, y - dv at its corners.
void DrawCornerTriangle(MEMIMG *dst, const MEMIMG *tex, int x0, int y0, int n, int du, int dv, int trans = 0,
                        const MEMIMG *blend = nullptr, uint32_t colour = 0)
{
    TriangleVertex v[3] = {{x0, y0, x0 - du, y0 - dv}, {x0 + n, y0, x0 + n - du, y0 - dv},
                           {x0, y0 + n, x0 - du, y0 + n - dv}};
    RasterizeMemImgTriangle(dst, tex, v, trans, blend, colour);
}

bool InCornerTriangle(int x, int y, int x0, int y0, int n)
{
    return y >= y0 && y < y0 + n && x >= x0 && x <= x0 + n - (y - y0);
}

// Pixel (x, y) gets texel (x - du, y - dv); texels outside the texture (left, above, right, below)
// leave their pixels alone, nothing wraps. A triangle partly above and left of the target keeps
// its mapping however far the reference vertex lies outside.
TEST_F(TriangleDraw, MappingAndTextureBounds)
{
    struct Case {
        int type, texW, texH, x0, y0, n, du, dv;
    };
    const Case cases[] = {{0, 40, 40, 2, 3, 30, 0, 0},  {1, 40, 40, 2, 3, 30, 0, 0},
                          {1, 10, 8, 0, 0, 30, 5, 3},   {0, 40, 40, -10, -7, 40, -20, -15},
                          {1, 7, 40, -3, 0, 40, -2, 0}};
    for (const Case &c : cases) {
        MEMIMG tex = MakePatternTexture(c.texW, c.texH, c.type);
        MEMIMG dst = MakeImage(40, 40, c.type, 0x5A5A);
        DrawCornerTriangle(&dst, &tex, c.x0, c.y0, c.n, c.du, c.dv);
        int drawn = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                int tx = x - c.du, ty = y - c.dv;
                bool inside = InCornerTriangle(x, y, c.x0, c.y0, c.n) && tx >= 0 && tx < c.texW && ty >= 0 &&
                              ty < c.texH;
                ASSERT_EQ(GetPx(&dst, x, y), inside ? GetPx(&tex, tx, ty) : 0x5A5Au)
                    << c.x0 << " " << x << "," << y;
                drawn += inside;
            }
        EXPECT_GT(drawn, 50);
        ReleaseMemImg(&tex);
        ReleaseMemImg(&dst);
    }
}

// A sub-view texture is bounded by its own rectangle: the texels around it are never read.
TEST_F(TriangleDraw, SubViewTextureIsBoundedByItsRectangle)
{
    MEMIMG whole = MakeImage(30, 30, 0, 0xDEAD), view, dst = MakeImage(40, 40, 0, 0);
    ASSERT_EQ(CreateMemImgSubView(&view, &whole, 10, 10, 8, 8), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) SetPx(&view, x, y, 0x1111);
    DrawCornerTriangle(&dst, &view, 0, 0, 39, 2, 2);
    int drawn = 0;
    for (uint32_t p : Pixels(&dst)) {
        ASSERT_NE(p, 0xDEADu);
        drawn += p == 0x1111u;
    }
    EXPECT_EQ(drawn, 64);
    ReleaseMemImg(&view);
    ReleaseMemImg(&whole);
    ReleaseMemImg(&dst);
}

TEST_F(TriangleDraw, PaletteKeyComparesTheIndex)
{
    for (int type : {0, 1}) {
        MEMIMG tex = MakeImage(4, 1, type, 0, 0, 1, 3);  // key index 3
        uint32_t rgb[256] = {};
        rgb[3] = rgb[4] = 0x00FF00;  // the same colour under two indices
        SetMemImgPalette(&tex, rgb, 256);
        SetPx(&tex, 3, 0, 3);
        SetPx(&tex, 2, 0, 4);
        for (int trans : {1, 0}) {
            MEMIMG dst = MakeImage(40, 40, type, 0x1234);
            DrawCornerTriangle(&dst, &tex, 0, 0, 10, 0, 0, trans);
            uint32_t green = PackMemImgColor(type, 0x00FF00);
            EXPECT_EQ(GetPx(&dst, 2, 0), green);
            EXPECT_EQ(GetPx(&dst, 3, 0), trans ? 0x1234u : green) << type;
            EXPECT_EQ(GetPx(&dst, 0, 0), 0u);  // index 0, entry 0
            ReleaseMemImg(&dst);
        }
        ReleaseMemImg(&tex);
    }
}

// One texel (alpha a, colour white) drawn onto black in mode; returns the destination pixel.
uint32_t DrawAlphaTexel(int type, uint32_t alpha, int trans, int mode, uint32_t d)
{
    uint32_t texel = type ? (alpha << 24 | 0xFFFFFF) : (alpha << 16 | 0xFFFF);
    MEMIMG tex = MakeImage(1, 1, type, texel, 1);
    MEMIMG dst = MakeImage(4, 4, type, d);
    SetBlend(mode, 255);
    TriangleVertex v[3] = {{0, 0, 0, 0}, {3, 0, 3, 0}, {0, 3, 0, 3}};
    RasterizeMemImgTriangle(&dst, &tex, v, trans, nullptr, 0);
    uint32_t out = GetPx(&dst, 0, 0);
    EXPECT_EQ(GetPx(&dst, 1, 0), d);  // outside the 1 x 1 texture
    ReleaseMemImg(&tex);
    ReleaseMemImg(&dst);
    return out;
}

TEST_F(TriangleDraw, AlphaZeroAnd255WithAndWithoutTheFlag)
{
    EXPECT_EQ(DrawAlphaTexel(1, 255, 0, 0, 0), 0x00FEFEFEu);  // weighted even at 255
    EXPECT_EQ(DrawAlphaTexel(1, 255, 1, 0, 0), 0xFFFFFFFFu);  // copied, alpha byte included
    EXPECT_EQ(DrawAlphaTexel(0, 255, 0, 0, 0), 0xF7DEu);      // 30, 62, 30
    EXPECT_EQ(DrawAlphaTexel(0, 255, 1, 0, 0), 0xFFFFu);
    EXPECT_EQ(DrawAlphaTexel(1, 0, 1, 4, 0x00808080), 0x00808080u);  // skipped, multiply included
    EXPECT_EQ(DrawAlphaTexel(1, 0, 0, 4, 0x00808080), 0u);           // multiply by weight 0: black
    EXPECT_EQ(DrawAlphaTexel(1, 0, 0, 0, 0x00808080), 0x00808080u);
    EXPECT_EQ(DrawAlphaTexel(0, 0, 0, 4, 0xFFFF), 0u);
    EXPECT_EQ(DrawAlphaTexel(1, 128, 1, 0, 0), 0x007F7F7Fu);          // mode 0 still weights by alpha
}

TEST_F(TriangleDraw, TintSelectsTheTintedVariants)
{
    MEMIMG tex = MakeImage(4, 4, 1, 0xAAFFFFFF);
    MEMIMG dst = MakeImage(40, 40, 1, 0x11000000);
    DrawCornerTriangle(&dst, &tex, 0, 0, 3, 0, 0);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0xAAFFFFFFu);  // untinted copy: the whole texel
    GDrawSettings.bright = 0xFFFFFE;             // one component off: tinted
    DrawCornerTriangle(&dst, &tex, 0, 0, 3, 0, 0);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0xAAFFFFFEu);  // tinted copy keeps the destination's X byte
    GDrawSettings.bright = 0xFF0000;
    SetPx(&dst, 0, 0, 0x11000000);
    DrawCornerTriangle(&dst, &tex, 0, 0, 3, 0, 0);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0x11FF0000u);
    ReleaseMemImg(&tex);
    ReleaseMemImg(&dst);

    MEMIMG tex16 = MakeImage(4, 4, 0, 0xFFFF), dst16 = MakeImage(40, 40, 0, 0);
    DrawCornerTriangle(&dst16, &tex16, 0, 0, 3, 0, 0);
    EXPECT_EQ(GetPx(&dst16, 0, 0), 0xF800u);
    ReleaseMemImg(&tex16);
    ReleaseMemImg(&dst16);
}

// Flat triangles tint by the scale table on every draw: bright 128 gives 128, not 127.
TEST_F(TriangleDraw, FlatTintIsTheTableForm)
{
    MEMIMG dst = MakeImage(40, 40, 1, 0), dst16 = MakeImage(40, 40, 0, 0);
    GDrawSettings.bright = 0x808080;
    DrawCornerTriangle(&dst, nullptr, 0, 0, 5, 0, 0, 0, nullptr, 0x01FFFFFF);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0x01808080u);
    GDrawSettings.bright = 0xFFFFFE;
    DrawCornerTriangle(&dst, nullptr, 0, 0, 5, 0, 0, 0, nullptr, 0x00FFFFFF);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0x00FFFFFEu);
    GDrawSettings.bright = 0xFF0000;
    DrawCornerTriangle(&dst, nullptr, 0, 0, 5, 0, 0, 0, nullptr, 0x00FFFFFF);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0x00FF0000u);
    DrawCornerTriangle(&dst16, nullptr, 0, 0, 5, 0, 0, 0, nullptr, 0xFFFF);
    EXPECT_EQ(GetPx(&dst16, 0, 0), 0xF800u);
    ReleaseMemImg(&dst);
    ReleaseMemImg(&dst16);
}

TEST_F(TriangleDraw, BlendImageWeightsByTheByteAtTheTexel)
{
    for (int i = 0; i < 256; ++i) BlendImageLookup[i] = (uint8_t)i;
    MEMIMG tex = MakeImage(4, 4, 1, 0x00FFFFFF);
    MEMIMG blend = MakeImage(4, 4, MEMIMG_COLOR_CHANNEL8, 128);
    SetPx(&blend, 1, 0, 0);
    MEMIMG dst = MakeImage(40, 40, 1, 0x00C8C8C8);
    SetBlend(4, 255);
    DrawCornerTriangle(&dst, &tex, 0, 0, 6, 0, 0, 0, &blend);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0x00636363u);  // 200 * 255 * 128 / 65536 = 99
    EXPECT_EQ(GetPx(&dst, 1, 0), 0u);           // factor 0 darkens to black
    EXPECT_EQ(GetPx(&dst, 5, 0), 0x00C8C8C8u);  // outside the texture
    SetBlend(0, 255);
    SetPx(&dst, 0, 0, 0);
    DrawCornerTriangle(&dst, &tex, 0, 0, 3, 0, 0, 0, &blend);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0x007F7F7Fu);

    // The blend image is measured in bytes: two 16-bit pixels cover four texel columns.
    MEMIMG wide16 = MakeImage(2, 4, MEMIMG_COLOR_565, 0x8080);
    SetBlend(4, 255);
    SetPx(&dst, 3, 0, 0x00C8C8C8);
    DrawCornerTriangle(&dst, &tex, 0, 0, 6, 0, 0, 0, &wide16);
    EXPECT_EQ(GetPx(&dst, 3, 0), 0x00636363u);
    ReleaseMemImg(&wide16);
    SetBlend(0, 255);

    // A blend image smaller than the texture is refused; a flat triangle ignores it.
    MEMIMG small = MakeImage(3, 4, MEMIMG_COLOR_CHANNEL8, 255);
    auto before = Pixels(&dst);
    DrawCornerTriangle(&dst, &tex, 0, 0, 3, 0, 0, 0, &small);
    EXPECT_EQ(CountChanged(&dst, before), 0);
    DrawCornerTriangle(&dst, nullptr, 0, 0, 3, 0, 0, 1, &small, 0x00010203);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0x00010203u);
    ReleaseMemImg(&small);
    ReleaseMemImg(&tex);
    ReleaseMemImg(&blend);
    ReleaseMemImg(&dst);
}

TEST_F(TriangleDraw, ModesAndParameters)
{
    std::mt19937 rng(7);
    for (int type : {0, 1}) {
        MEMIMG tex = MakePatternTexture(40, 40, type);
        MEMIMG base = MakeImage(40, 40, type, 0);
        MEMIMG a = MakeImage(40, 40, type, 0), b = MakeImage(40, 40, type, 0);
        FillRandom(&base, rng);
        auto start = Pixels(&base);
        auto drawOn = [&](MEMIMG *m, int mode, int p, const MEMIMG *t) {
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 40; ++x) SetPx(m, x, y, start[y * 40 + x]);
            SetBlend(mode, p);
            DrawCornerTriangle(m, t, 0, 0, 39, 0, 0, 0, nullptr, 0x00345678);
        };
        for (const MEMIMG *t : {(const MEMIMG *)&tex, (const MEMIMG *)nullptr}) {
            drawOn(&a, 1, 255, t);
            drawOn(&b, 0, 255, t);
            EXPECT_EQ(Pixels(&a), Pixels(&b));
            const int nothing[][2] = {{1, 0}, {2, 0}, {3, 0}, {5, 255}, {9, 255}, {12, 255}, {-1, 255}};
            for (auto &mp : nothing) {
                drawOn(&a, mp[0], mp[1], t);
                EXPECT_EQ(CountChanged(&a, start), 0) << type << " mode " << mp[0];
            }
            drawOn(&a, 2, 128, t);
            EXPECT_GT(CountChanged(&a, start), 0);
        }
        ReleaseMemImg(&tex);
        ReleaseMemImg(&base);
        ReleaseMemImg(&a);
        ReleaseMemImg(&b);
    }
}

// Mode 3 at parameter 0 still runs the packed subtract for palette textures (a zero source).
TEST_F(TriangleDraw, PaletteSubtractAtParameterZero)
{
    MEMIMG tex = MakeImage(4, 4, 1, 0, 0, 1), dst = MakeImage(40, 40, 1, 0xFF101010);
    SetBlend(3, 0);
    DrawCornerTriangle(&dst, &tex, 0, 0, 3, 0, 0);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0x00111110u);  // blue 16, green 17, red 17, top byte 0
    MEMIMG direct = MakeImage(4, 4, 1, 0);
    SetPx(&dst, 0, 0, 0xFF101010);
    DrawCornerTriangle(&dst, &direct, 0, 0, 3, 0, 0);
    EXPECT_EQ(GetPx(&dst, 0, 0), 0xFF101010u);
    ReleaseMemImg(&tex);
    ReleaseMemImg(&direct);
    ReleaseMemImg(&dst);
}

// Spans include both ends, so two triangles sharing an edge both add on it.
TEST_F(TriangleDraw, SharedEdgeIsDrawnByBoth)
{
    MEMIMG dst = MakeImage(40, 40, 1, 0);
    SetBlend(2, 255);
    TriangleVertex a[3] = {{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}};
    TriangleVertex b[3] = {{10, 0, 0, 0}, {10, 10, 0, 0}, {0, 10, 0, 0}};
    RasterizeMemImgTriangle(&dst, nullptr, a, 0, nullptr, 0x000001);
    RasterizeMemImgTriangle(&dst, nullptr, b, 0, nullptr, 0x000001);
    EXPECT_EQ(GetPx(&dst, 5, 5), 2u);  // on the diagonal
    EXPECT_EQ(GetPx(&dst, 2, 2), 1u);
    EXPECT_EQ(GetPx(&dst, 8, 8), 1u);
    ReleaseMemImg(&dst);
}

TEST_F(TriangleDraw, RefusedArgumentsDrawNothing)
{
    MEMIMG dst = MakeImage(40, 40, 1, 0x42), tex16 = MakeImage(4, 4, 0, 0xFFFF);
    MEMIMG palDst = MakeImage(40, 40, 1, 0x42, 0, 1), alphaDst = MakeImage(40, 40, 1, 0x42, 1);
    MEMIMG wide = MakeImage(16384, 1, 1, 0x1), tex = MakeImage(4, 4, 1, 0x1);
    auto before = Pixels(&dst);
    DrawCornerTriangle(&dst, &tex16, 0, 0, 3, 0, 0);  // another colour type
    DrawCornerTriangle(&dst, &wide, 0, 0, 3, 0, 0);   // texture too wide
    TriangleVertex farUV[3] = {{0, 0, 0, 0}, {10, 0, 8192, 0}, {0, 10, 0, 0}};
    RasterizeMemImgTriangle(&dst, &tex, farUV, 0, nullptr, 0);
    RasterizeMemImgTriangle(&dst, nullptr, nullptr, 0, nullptr, 0);
    EXPECT_EQ(CountChanged(&dst, before), 0);
    auto palBefore = Pixels(&palDst), alphaBefore = Pixels(&alphaDst);
    DrawCornerTriangle(&palDst, nullptr, 0, 0, 3, 0, 0, 0, nullptr, 1);
    DrawCornerTriangle(&alphaDst, nullptr, 0, 0, 3, 0, 0, 0, nullptr, 1);
    EXPECT_EQ(CountChanged(&palDst, palBefore), 0);
    EXPECT_EQ(CountChanged(&alphaDst, alphaBefore), 0);
    for (MEMIMG *m : {&dst, &tex16, &palDst, &alphaDst, &wide, &tex}) ReleaseMemImg(m);
}

// Random triangles within the limits, every family and mode: nothing outside the region changes.
TEST_F(TriangleDraw, RandomTrianglesStayInsideTheRegion)
{
    std::mt19937 rng(99);
    const int modes[] = {0, 1, 2, 3, 4, 10, 11};
    std::uniform_int_distribution<int> near(-30, 90), far(-8192, 8191), pick(0, 99);
    MEMIMG dst[2], tex[2][3];
    for (int type : {0, 1}) {
        dst[type] = MakeImage(64, 48, type, 0);
        for (int kind = 0; kind < 3; ++kind) {
            int w = 1 + pick(rng) % 40, h = 1 + pick(rng) % 40;
            tex[type][kind] = MakeImage(w, h, type, 0, kind == 2, kind == 0, 5);
            FillRandom(&tex[type][kind], rng);
        }
    }
    MEMIMG blend = MakeImage(64, 64, MEMIMG_COLOR_CHANNEL8, 0);
    FillRandom(&blend, rng);
    GDrawSettings.drawRegion = {5, 4, 59, 44};
    int drew = 0;
    for (int n = 0; n < 3000; ++n) {
        int type = n & 1, kind = pick(rng) % 4;  // 3: flat
        MEMIMG *d = &dst[type];
        FillRandom(d, rng);
        auto before = Pixels(d);
        TriangleVertex v[3];
        bool big = pick(rng) < 10;
        for (auto &p : v) {
            if (big) {
                p = {far(rng) / 2, far(rng) / 2, far(rng) / 2, far(rng) / 2};
            } else {
                p = {near(rng), near(rng), near(rng), near(rng)};
            }
        }
        SetBlend(modes[pick(rng) % 7], pick(rng) % 4 == 0 ? 255 : (int)(rng() & 255));
        GDrawSettings.bright = pick(rng) < 70 ? 0xFFFFFF : rng() & 0xFFFFFF;
        const MEMIMG *t = kind == 3 ? nullptr : &tex[type][kind];
        RasterizeMemImgTriangle(d, t, v, pick(rng) & 1, pick(rng) < 30 ? &blend : nullptr, rng());
        ASSERT_TRUE(OutsideRegionUntouched(d, before)) << "draw " << n;
        drew += CountChanged(d, before) > 0;
    }
    EXPECT_GT(drew, 1000);  // the test draws, it is not all refusals
    for (int type : {0, 1}) {
        ReleaseMemImg(&dst[type]);
        for (auto &t : tex[type]) ReleaseMemImg(&t);
    }
    ReleaseMemImg(&blend);
}

// Spans that skip the per-texel bounds test give exactly what the tested loop gives, including
// mappings that leave the texture, turn and wrap.
TEST_F(TriangleDraw, FastSpansMatchTheReferenceLoop)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> near(-20, 60), uv(-40, 80), pick(0, 99);
    for (int n = 0; n < 1500; ++n) {
        int type = n & 1, kind = pick(rng) % 3;
        MEMIMG tex = MakeImage(1 + pick(rng) % 40, 1 + pick(rng) % 40, type, 0, kind == 2, kind == 0, 3);
        FillRandom(&tex, rng);
        MEMIMG a = MakeImage(40, 40, type, 0), b = MakeImage(40, 40, type, 0);
        FillRandom(&a, rng);
        auto start = Pixels(&a);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) SetPx(&b, x, y, start[y * 40 + x]);
        TriangleVertex v[3];
        bool huge = pick(rng) < 5;  // steep gradients that wrap u and v
        for (auto &p : v) p = {near(rng), near(rng), huge ? (int)(rng() % 8000) - 4000 : uv(rng), uv(rng)};
        if (huge) v[1].u = v[0].u + (int)(rng() % 191) - 95;
        SetBlend(pick(rng) < 50 ? 0 : 2, 200);
        int trans = pick(rng) & 1;
        SetTriangleFastSpanUse(1);
        RasterizeMemImgTriangle(&a, &tex, v, trans, nullptr, 0);
        SetTriangleFastSpanUse(0);
        RasterizeMemImgTriangle(&b, &tex, v, trans, nullptr, 0);
        SetTriangleFastSpanUse(1);
        ASSERT_EQ(Pixels(&a), Pixels(&b)) << "triangle " << n;
        ReleaseMemImg(&tex);
        ReleaseMemImg(&a);
        ReleaseMemImg(&b);
    }
    // A step of half the 32-bit range comes back inside after two pixels: not one stretch.
    EXPECT_FALSE(StaysInTriangleTexture(0, 0x80000000u, 2, 40u << 18));
    EXPECT_TRUE(StaysInTriangleTexture(100, 5, 3, 200));
    EXPECT_FALSE(StaysInTriangleTexture(100, 5, 20, 200));
    EXPECT_TRUE(StaysInTriangleTexture(10, (uint32_t)-3, 3, 200));
    EXPECT_FALSE(StaysInTriangleTexture(10, (uint32_t)-3, 4, 200));
}

}  // namespace
