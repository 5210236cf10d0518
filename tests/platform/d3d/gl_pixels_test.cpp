// Pixels of the "gl" back end on Mesa's software OpenGL: coverage, sampling, shading, key, blending
// and stage operations follow the device's conventions.
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/platform/d3d/d3d_fixture.h"

// OpenGL needs SDL's "offscreen" driver and the software renderer, set before the test main runs.
static const int kSoftwareGl = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    return 0;
}();

// Strict mode throughout: an OpenGL error is a violation too.
class GlPixels : public D3dFixture {
protected:
    int expectedViolations = 0;
    void SetUp() override
    {
        D3dFixture::SetUp();
        D3dTestStrict(1);
        Open("gl");
    }
    void TearDown() override
    {
        EXPECT_EQ(expectedViolations, D3dTestViolationCount()) << D3dTestViolations();
        D3dFixture::TearDown();
    }
};

// A texture wider than OpenGL takes gets no copy: the draw fails, the error is a violation, and the
// first error of a run is told on stderr.
TEST_F(GlPixels, AnOpenGlErrorIsSeenAndTheFirstIsTold)
{
    D3dTestSurface *wide = D3dTestCreateSurface(32768, 1, &kD3dFormat565, D3D_SURF_TEXTURE);
    ASSERT_NE(nullptr, wide);
    ASSERT_EQ(D3D_OK, dev->fn->SetTexture(dev, 0, D3dTestSurfaceHandle(wide)));
    TexturedVertex v[3] = {{0, 0, 0, 1, 0xFFFFFFFF, 0, 0}, {8, 0, 0, 1, 0xFFFFFFFF, 1, 0}, {0, 8, 0, 1, 0xFFFFFFFF, 0, 1}};
    testing::internal::CaptureStderr();
    EXPECT_NE(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x144, v, 3, 0));
    std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, told.find("d3d gl: OpenGL error 0x0501 after TexImage2D")) << told;
    expectedViolations = 1;
    EXPECT_NE(nullptr, strstr(D3dTestViolations(), "gl error 0x0501 after TexImage2D")) << D3dTestViolations();
    EXPECT_EQ(1, D3dTestLiveCount(D3D_LIVE_SURFACE_COPIES));  // the target's copy alone
    ASSERT_EQ(D3D_OK, dev->fn->SetTexture(dev, 0, nullptr));
    D3dTestReleaseSurface(wide);
}

TEST_F(GlPixels, BoxCoversColumnsLeftToRightMinusOneAndRowsTopToBottomMinusOne)
{
    Box(4, 6, 10, 9, 0xFFFFFFFF);
    int covered = 0;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            bool inside = x >= 4 && x < 10 && y >= 6 && y < 9;
            EXPECT_EQ(inside ? 0xFFFF : 0, Px(x, y)) << x << "," << y;
            covered += Px(x, y) != 0;
        }
    EXPECT_EQ(18, covered);
}

TEST_F(GlPixels, BoxesSharingAnEdgeDrawEachPixelOnce)
{
    Rs(D3D_RS_ALPHABLENDENABLE, 1);
    Rs(D3D_RS_SRCBLEND, D3D_BLEND_ONE);
    Rs(D3D_RS_DESTBLEND, D3D_BLEND_ONE);
    Box(2, 2, 10, 10, 0xFF080808);
    Box(10, 2, 20, 10, 0xFF080808);
    Box(2, 10, 20, 14, 0xFF080808);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 24; x++) {
            bool inside = x >= 2 && x < 20 && y >= 2 && y < 14;
            EXPECT_EQ(inside ? Pack565(8, 8, 8) : 0, Px(x, y)) << x << "," << y;
        }
}

// An 8-bit colour keeps the top bits of each 565 field, drawn alone or as a blend's result (ONE / ZERO),
// as the device truncates; a rounding conversion would give 200 as 24 and 49, 7 as 1.
TEST_F(GlPixels, ColoursAreTruncatedToTheTargetsFields)
{
    const uint32_t colours[] = {0xFFC8C8C8, 0xFF64CB07, 0xFFFFFFFF, 0xFF000000, 0xFF0F0F0F};
    for (int blend = 0; blend < 2; blend++) {
        Rs(D3D_RS_ALPHABLENDENABLE, blend);
        Rs(D3D_RS_SRCBLEND, D3D_BLEND_ONE);
        Rs(D3D_RS_DESTBLEND, D3D_BLEND_ZERO);
        for (uint32_t c : colours) {
            Box(0, 0, 4, 4, c);
            EXPECT_EQ(Pack565((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF), Px(1, 1))
                << std::hex << c << " blend " << blend;
        }
    }
}

TEST_F(GlPixels, TriangleFollowsTheTopLeftRule)
{
    ColorVertex v[3] = {{0, 0, 0, 1, 0xFFFFFFFF}, {8, 0, 0, 1, 0xFFFFFFFF}, {0, 8, 0, 1, 0xFFFFFFFF}};
    ASSERT_EQ(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x44, v, 3, 0));
    int covered = 0;
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++) {
            EXPECT_EQ(x + y < 8 ? 0xFFFF : 0, Px(x, y)) << x << "," << y;
            covered += Px(x, y) != 0;
        }
    EXPECT_EQ(36, covered);
}

TEST_F(GlPixels, LinesLeaveOutTheirLastPixelAndPointsFillOne)
{
    ColorVertex span[2] = {{3, 5, 0, 1, 0xFFFFFFFF}, {9, 5, 0, 1, 0xFFFFFFFF}};
    ColorVertex points[2] = {{1, 1, 0, 1, 0xFFFFFFFF}, {20, 30, 0, 1, 0xFFFFFFFF}};
    ASSERT_EQ(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_LINELIST, 0x44, span, 2, 0));
    ASSERT_EQ(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_POINTLIST, 0x44, points, 2, 0));
    for (int x = 0; x < 12; x++) EXPECT_EQ(x >= 3 && x < 9 ? 0xFFFF : 0, Px(x, 5)) << x;
    EXPECT_EQ(0, Px(5, 4));
    EXPECT_EQ(0, Px(5, 6));
    EXPECT_EQ(0xFFFF, Px(1, 1));
    EXPECT_EQ(0xFFFF, Px(20, 30));
    EXPECT_EQ(0, Px(2, 1));
}

// A texel pattern that differs in every field from its neighbours.
static uint16_t Pattern(int x, int y) { return (uint16_t)(((x * 4 + y) & 31) << 11 | ((x * 7 + y * 3) & 63) << 5 | ((y * 5 + x) & 31)); }

TEST_F(GlPixels, UnscaledImageShiftedByHalfAPixelReproducesItsTextureUnderBothFilters)
{
    D3dTestSurface *tex = Texture565(8, 8, Pattern);
    dev->fn->SetTexture(dev, 0, D3dTestSurfaceHandle(tex));
    for (uint32_t filter : {D3D_FILTER_POINT, D3D_FILTER_LINEAR}) {
        Tss(0, D3D_TSS_MAGFILTER, filter);
        Tss(0, D3D_TSS_MINFILTER, filter);
        Quad(3.5f, 4.5f, 8, 8, 1, 1);  // the renderer's -0.5 shift of an image at (4, 5)
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) ASSERT_EQ(Pattern(x, y), Px(4 + x, 5 + y)) << filter << " " << x << "," << y;
        EXPECT_EQ(0, Px(3, 5));
        EXPECT_EQ(0, Px(12, 5));
    }
    dev->fn->SetTexture(dev, 0, nullptr);
    D3dTestReleaseSurface(tex);
}

TEST_F(GlPixels, StretchByTwoDoublesEveryTexel)
{
    D3dTestSurface *tex = Texture565(8, 8, Pattern);
    dev->fn->SetTexture(dev, 0, D3dTestSurfaceHandle(tex));
    Quad(-0.5f, -0.5f, 16, 16, 1, 1);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) ASSERT_EQ(Pattern(x / 2, y / 2), Px(x, y)) << x << "," << y;
    dev->fn->SetTexture(dev, 0, nullptr);
    D3dTestReleaseSurface(tex);
}

TEST_F(GlPixels, FlatShadingTakesEachTrianglesFirstVertex)
{
    Rs(D3D_RS_SHADEMODE, D3D_SHADE_FLAT);
    ColorVertex v[6] = {{0, 0, 0, 1, 0xFFFF0000}, {8, 0, 0, 1, 0xFF00FF00}, {0, 8, 0, 1, 0xFF0000FF},
                        {8, 0, 0, 1, 0xFF00FF00}, {8, 8, 0, 1, 0xFF0000FF}, {0, 8, 0, 1, 0xFFFF0000}};
    ASSERT_EQ(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x44, v, 6, 0));
    EXPECT_EQ(0xF800, Px(1, 1));
    EXPECT_EQ(0xF800, Px(6, 0));
    EXPECT_EQ(0x07E0, Px(7, 7));
    EXPECT_EQ(0x07E0, Px(3, 7));
}

TEST_F(GlPixels, KeyedTexelsLeaveTheDestinationUntouched)
{
    Box(0, 0, 32, 32, 0xFF102030);
    uint16_t back = Px(0, 0);
    uint16_t key = Pack565(255, 0, 255);
    D3dTestSurface *tex = Texture565(8, 8, [&](int x, int y) { return (x + y) % 2 ? key : Pattern(x, y); });
    tex->view.hasColorKey = 1;
    tex->view.colorKey = key;
    dev->fn->SetTexture(dev, 0, D3dTestSurfaceHandle(tex));
    Rs(D3D_RS_COLORKEYENABLE, 1);
    for (uint32_t filter : {D3D_FILTER_POINT, D3D_FILTER_LINEAR}) {
        Tss(0, D3D_TSS_MAGFILTER, filter);
        Quad(3.5f, 3.5f, 8, 8, 1, 1);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++)
                ASSERT_EQ((x + y) % 2 ? back : Pattern(x, y), Px(4 + x, 4 + y)) << filter << " " << x << "," << y;
    }
    dev->fn->SetTexture(dev, 0, nullptr);
    D3dTestReleaseSurface(tex);
}

// |a - b| at most one step in each 565 field.
static bool Near565(uint16_t a, uint16_t b)
{
    int d[3] = {(a >> 11) - (b >> 11), ((a >> 5) & 63) - ((b >> 5) & 63), (a & 31) - (b & 31)};
    return abs(d[0]) <= 1 && abs(d[1]) <= 1 && abs(d[2]) <= 1;
}

// The blend arithmetic on one channel: s * fs + d * fd, saturated (values 0..1).
static double BlendChannel(uint32_t fs, uint32_t fd, double s, double d, double sa)
{
    auto factor = [&](uint32_t f, double own) {
        switch (f) {
        case D3D_BLEND_ZERO: return 0.0;
        case D3D_BLEND_ONE: return 1.0;
        case D3D_BLEND_SRCCOLOR: return s;
        case D3D_BLEND_SRCALPHA: return sa;
        case D3D_BLEND_INVSRCALPHA: return 1.0 - sa;
        case D3D_BLEND_DESTCOLOR: return d;
        case D3D_BLEND_INVDESTCOLOR: return 1.0 - d;
        }
        return own;
    };
    double out = s * factor(fs, 0) + d * factor(fd, 0);
    return out > 1.0 ? 1.0 : out;
}

TEST_F(GlPixels, BlendFactorPairsGiveTheExpectedValues)
{
    const uint32_t pairs[][2] = {
        {D3D_BLEND_SRCALPHA, D3D_BLEND_INVSRCALPHA}, {D3D_BLEND_ONE, D3D_BLEND_ONE},
        {D3D_BLEND_SRCALPHA, D3D_BLEND_ONE},         {D3D_BLEND_ZERO, D3D_BLEND_SRCCOLOR},
        {D3D_BLEND_INVDESTCOLOR, D3D_BLEND_ZERO},    {D3D_BLEND_ZERO, D3D_BLEND_INVSRCALPHA},
        {D3D_BLEND_DESTCOLOR, D3D_BLEND_ZERO},       {D3D_BLEND_ONE, D3D_BLEND_ZERO},
    };
    const double src[3] = {40 / 255.0, 160 / 255.0, 240 / 255.0}, alpha = 64 / 255.0;
    Tss(0, D3D_TSS_ALPHAARG1, D3D_TA_DIFFUSE);
    for (auto &p : pairs) {
        Rs(D3D_RS_ALPHABLENDENABLE, 0);
        Box(0, 0, 4, 4, 0xFFC86428);  // (200, 100, 40), as the 565 target keeps it
        uint16_t d = Px(0, 0);
        const double dst[3] = {(d >> 11) / 31.0, ((d >> 5) & 63) / 63.0, (d & 31) / 31.0};
        Rs(D3D_RS_ALPHABLENDENABLE, 1);
        Rs(D3D_RS_SRCBLEND, p[0]);
        Rs(D3D_RS_DESTBLEND, p[1]);
        Box(0, 0, 4, 4, 0x4028A0F0);
        int out[3];
        for (int c = 0; c < 3; c++) out[c] = (int)(BlendChannel(p[0], p[1], src[c], dst[c], alpha) * 255.0 + 0.5);
        uint16_t expected = Pack565(out[0], out[1], out[2]);
        EXPECT_TRUE(Near565(expected, Px(1, 1))) << p[0] << "/" << p[1] << ": " << std::hex << Px(1, 1)
                                                 << " against " << expected;
    }
}

TEST_F(GlPixels, StageOperationsGiveTheExpectedValues)
{
    // Texture texel (200, 100, 40, 128); diffuse (100, 200, 80, 64); factor (255, 255, 255, 0x40).
    D3dTestSurface *tex = D3dTestCreateSurface(4, 4, &kD3dFormat8888, D3D_SURF_TEXTURE);
    for (int i = 0; i < 16; i++) ((uint32_t *)tex->view.pixels)[i] = 0x80C86428;
    D3dTestTouchSurface(tex);
    dev->fn->SetTexture(dev, 0, D3dTestSurfaceHandle(tex));
    Rs(D3D_RS_TEXTUREFACTOR, 0x40FFFFFF);
    const uint32_t T = D3D_TA_TEXTURE, D = D3D_TA_DIFFUSE, F = D3D_TA_TFACTOR, C = D3D_TA_COMPLEMENT;
    struct Case {
        uint32_t op, a1, a2;
        int r, g, b;
    } cases[] = {
        {D3D_TOP_SELECTARG1, T, D, 200, 100, 40},
        {D3D_TOP_SELECTARG2, T, D, 100, 200, 80},
        {D3D_TOP_MODULATE, T, D, 78, 78, 13},
        {D3D_TOP_MODULATE2X, T, D, 157, 157, 25},
        {D3D_TOP_MODULATE4X, T, D, 255, 255, 50},
        {D3D_TOP_ADD, T, D, 255, 255, 120},
        {D3D_TOP_SUBTRACT, T, D, 100, 0, 0},
        {D3D_TOP_BLENDDIFFUSEALPHA, T, D, 125, 175, 70},
        {D3D_TOP_SELECTARG1, T | C, D, 55, 155, 215},
        {D3D_TOP_BLENDFACTORALPHA, T, F, 241, 216, 201},
    };
    for (const Case &c : cases) {
        Tss(0, D3D_TSS_COLOROP, c.op);
        Tss(0, D3D_TSS_COLORARG1, c.a1);
        Tss(0, D3D_TSS_COLORARG2, c.a2);
        Quad(0, 0, 4, 4, 1, 1, 0x4064C850);
        EXPECT_TRUE(Near565(Pack565(c.r, c.g, c.b), Px(1, 1)))
            << c.op << ": " << std::hex << Px(1, 1) << " against " << Pack565(c.r, c.g, c.b);
    }
    dev->fn->SetTexture(dev, 0, nullptr);
    D3dTestReleaseSurface(tex);
}

TEST_F(GlPixels, SecondStageBlendsWithTheFirstStagesAlphaAndStopsAtDisable)
{
    D3dTestSurface *tex = D3dTestCreateSurface(4, 4, &kD3dFormat8888, D3D_SURF_TEXTURE);
    for (int i = 0; i < 16; i++) ((uint32_t *)tex->view.pixels)[i] = 0x40C86428;
    D3dTestTouchSurface(tex);
    dev->fn->SetTexture(dev, 0, D3dTestSurfaceHandle(tex));
    dev->fn->SetTexture(dev, 2, D3dTestSurfaceHandle(tex));  // beyond the terminator: ignored
    Tss(0, D3D_TSS_COLOROP, D3D_TOP_SELECTARG1);
    Tss(0, D3D_TSS_ALPHAOP, D3D_TOP_SELECTARG1);
    Tss(1, D3D_TSS_COLOROP, D3D_TOP_BLENDCURRENTALPHA);
    Tss(1, D3D_TSS_COLORARG1, D3D_TA_CURRENT);
    Tss(1, D3D_TSS_COLORARG2, D3D_TA_TFACTOR);
    Tss(1, D3D_TSS_ALPHAOP, D3D_TOP_SELECTARG1);
    Tss(1, D3D_TSS_ALPHAARG1, D3D_TA_CURRENT);
    Tss(2, D3D_TSS_COLOROP, D3D_TOP_DISABLE);
    Tss(3, D3D_TSS_COLOROP, D3D_TOP_SELECTARG1);
    Rs(D3D_RS_TEXTUREFACTOR, 0xFFFFFFFF);
    Quad(0, 0, 4, 4, 1, 1);
    // (200, 100, 40) * 0.25 + white * 0.75
    EXPECT_TRUE(Near565(Pack565(241, 216, 201), Px(1, 1))) << std::hex << Px(1, 1);
    dev->fn->SetTexture(dev, 0, nullptr);
    dev->fn->SetTexture(dev, 2, nullptr);
    D3dTestReleaseSurface(tex);
}

TEST_F(GlPixels, AlphaTestKeepsOnlyPixelsAboveTheReference)
{
    Rs(D3D_RS_ALPHATESTENABLE, 1);
    Rs(D3D_RS_ALPHAFUNC, D3D_CMP_GREATER);
    Rs(D3D_RS_ALPHAREF, 16);
    Tss(0, D3D_TSS_COLORARG1, D3D_TA_DIFFUSE);
    Tss(0, D3D_TSS_ALPHAARG1, D3D_TA_DIFFUSE);
    Box(0, 0, 4, 4, 0x10FFFFFF);
    Box(4, 0, 8, 4, 0x11FFFFFF);
    EXPECT_EQ(0, Px(1, 1));
    EXPECT_EQ(0xFFFF, Px(5, 1));
}

TEST_F(GlPixels, ViewportClipsWithoutMovingVertices)
{
    D3dViewport vp = {4, 4, 8, 8, 0, 1};
    ASSERT_EQ(D3D_OK, dev->fn->SetViewport(dev, &vp));
    Box(0, 0, 32, 32, 0xFFFFFFFF);
    EXPECT_EQ(0, Px(3, 4));
    EXPECT_EQ(0xFFFF, Px(4, 4));
    EXPECT_EQ(0xFFFF, Px(11, 11));
    EXPECT_EQ(0, Px(12, 11));
}

TEST_F(GlPixels, MemoryAndDeviceCopiesStayInStep)
{
    D3dTestSurface *tex = Texture565(4, 4, [](int, int) { return (uint16_t)0x1234; });
    dev->fn->SetTexture(dev, 0, D3dTestSurfaceHandle(tex));
    Quad(-0.5f, -0.5f, 4, 4, 1, 1);
    EXPECT_EQ(0x1234, Px(0, 0));
    ((uint16_t *)tex->view.pixels)[0] = 0x4321;  // a CPU write, told as an Unlock would
    D3dTestTouchSurface(tex);
    ((uint16_t *)target->view.pixels)[31] = 0xBEEF;
    D3dTestTouchSurface(target);
    Quad(-0.5f, -0.5f, 4, 4, 1, 1);
    EXPECT_EQ(0x4321, Px(0, 0));
    EXPECT_EQ(0xBEEF, Px(31, 0));
    D3dCounters counters;
    D3dTestGetCounters(&counters);
    EXPECT_EQ(4u, counters.uploads);  // target and texture, each twice
    Quad(-0.5f, -0.5f, 4, 4, 1, 1);
    D3dTestGetCounters(&counters);
    EXPECT_EQ(4u, counters.uploads);
    dev->fn->SetTexture(dev, 0, nullptr);
    D3dTestReleaseSurface(tex);
}

TEST_F(GlPixels, RenderTargetTexturesKeepTheirAlpha)
{
    D3dTestSurface *rt = D3dTestCreateSurface(8, 8, &kD3dFormat8888, D3D_SURF_TEXTURE | D3D_SURF_RENDER_TARGET);
    ASSERT_EQ(D3D_OK, dev->fn->SetRenderTarget(dev, D3dTestSurfaceHandle(rt), 0));
    Tss(0, D3D_TSS_ALPHAARG1, D3D_TA_DIFFUSE);
    Box(0, 0, 8, 8, 0x80102030);
    uint32_t p;
    memcpy(&p, D3dTestReadRow(rt, 3) + 12, 4);
    EXPECT_EQ(0x80102030u, p);
    dev->fn->SetRenderTarget(dev, D3dTestSurfaceHandle(target), 0);
    D3dTestReleaseSurface(rt);
}

TEST_F(GlPixels, DepthComesFromTheZSurfaceAndGoesBackToIt)
{
    D3dTestSurface *z = D3dTestCreateSurface(32, 32, &kD3dFormatZ16, D3D_SURF_ZBUFFER);
    memset(z->view.pixels, 0xFF, (size_t)z->view.pitch * 32);  // a depth fill to the far plane
    D3dTestTouchSurface(z);
    target->view.zSurface = D3dTestSurfaceHandle(z);
    Rs(D3D_RS_ZENABLE, 1);
    Rs(D3D_RS_ZWRITEENABLE, 1);
    Rs(D3D_RS_ZFUNC, D3D_CMP_LESSEQUAL);
    auto box = [&](float depth, uint32_t color) {
        ColorVertex v[6] = {{0, 0, depth, 1, color}, {8, 0, depth, 1, color}, {0, 8, depth, 1, color},
                            {8, 0, depth, 1, color}, {8, 8, depth, 1, color}, {0, 8, depth, 1, color}};
        ASSERT_EQ(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x44, v, 6, 0));
    };
    box(0.5f, 0xFFFF0000);
    box(0.75f, 0xFF00FF00);  // behind: hidden
    EXPECT_EQ(0xF800, Px(2, 2));
    box(0.25f, 0xFF0000FF);
    EXPECT_EQ(0x001F, Px(2, 2));
    uint16_t depth;
    memcpy(&depth, D3dTestReadRow(z, 2) + 4, 2);
    EXPECT_NEAR(0.25 * 65535, depth, 2);
    memcpy(&depth, D3dTestReadRow(z, 20) + 40, 2);
    EXPECT_EQ(0xFFFF, depth);
    memset(z->view.pixels, 0, (size_t)z->view.pitch * 32);  // a depth fill to the near plane
    D3dTestTouchSurface(z);
    box(0.1f, 0xFFFFFFFF);
    EXPECT_EQ(0x001F, Px(2, 2));
    Rs(D3D_RS_ZENABLE, 0);
    box(0.1f, 0xFFFFFFFF);
    EXPECT_EQ(0xFFFF, Px(2, 2));
    target->view.zSurface = nullptr;
    D3dTestReleaseSurface(z);
}

TEST_F(GlPixels, RepeatedDrawsSendNoStateAndAreRecordedAsOnTheRecordBackEnd)
{
    D3dTestRecord(1);
    int mark = D3dTestMark();
    Box(0, 0, 4, 4, 0xFFFFFFFF);
    D3dCounters first, second;
    D3dTestGetCounters(&first);
    Box(4, 0, 8, 4, 0xFFFFFFFF);
    Box(8, 0, 12, 4, 0xFFFFFFFF);
    D3dTestGetCounters(&second);
    EXPECT_EQ(first.stateChanges, second.stateChanges);
    EXPECT_EQ(first.uploads, second.uploads);
    EXPECT_EQ(first.draws + 2, second.draws);
    EXPECT_STREQ("dev1 DrawPrimitive TRIANGLELIST 0x44 6\n"
                 "dev1 DrawPrimitive TRIANGLELIST 0x44 6\n"
                 "dev1 DrawPrimitive TRIANGLELIST 0x44 6\n",
                 D3dTestLogText(mark, -1));
}
