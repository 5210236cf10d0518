// The renderer's shapes and string draw inside a running library on the Direct3D route (recording
// back end): suspended shapes reach the software drawers, and the string draw's routes.
#include <vector>

#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/font/font.h"
#include "lib/graphics/draw.h"
#include "platform/d3d/d3d_surface.h"
#include "platform/d3d/d3d_test.h"
#include "tests/graphics/draw_fixture.h"

// What the software drawers were given.
static std::vector<std::vector<int>> sSoftware;
static void SpyFill(MEMIMG *, const int *r, unsigned colour) { sSoftware.push_back({r[0], r[1], r[2], r[3], (int)colour}); }
static void SpyLines(MEMIMG *, const LineSegmentRecord *l, int n)
{
    for (int i = 0; i < n; i++) sSoftware.push_back({l[i].x1, l[i].y1, l[i].x2, l[i].y2, l[i].colour});
}
static void SpyCircle(MEMIMG *, int x, int y, int r, unsigned c, int fill) { sSoftware.push_back({x, y, r, (int)c, fill}); }

class DeviceRouteTest : public LibraryDrawTest {
protected:
    SavedRenderRoute savedRoute;
    void SetUp() override
    {
        D3dTestReset();
        D3dSetSurfacePort(nullptr);
        ASSERT_EQ(0, D3dSelectBackend("record"));
        StartDrawLibrary("d3d");
        ASSERT_EQ(1, IsDirect3DDrawUsable());
        sSoftware.clear();
        SoftwareDrawRoute spy = {"spy", nullptr, nullptr, SpyFill, SpyLines, nullptr, SpyCircle};
        SetSoftwareDrawRoute(&spy);
        D3dTestRecord(1);
    }
    void TearDown() override
    {
        SetSoftwareDrawRoute(nullptr);
        LibraryDrawTest::TearDown();
        D3dTestReset();
    }
    // Makes a graph in system memory the draw target: the device cannot render into it.
    void SuspendOnSystemGraph(void)
    {
        int graph = MakeSystemMemoryGraph(64, 64, 0);
        ASSERT_NE(-1, graph);
        ASSERT_EQ(0, SelectDrawTarget(graph));
        ASSERT_EQ(1u, GDirect3D.suspended);
    }
    static int Used(int font)
    {
        int used = -1;
        GetFontCacheUsage(font, &used, nullptr);
        return used;
    }
};

TEST_F(DeviceRouteTest, SuspendedShapesGoToTheSoftwareDrawersUnchanged)
{
    SuspendOnSystemGraph();
    int mark = D3dTestMark();
    EXPECT_EQ(0, G_D3D_DrawSolidRectangle(30, 20, 10, 5, 0x1234));
    EXPECT_EQ(0, G_D3D_DrawRectangleOutline(1, 2, 5, 9, 0xFF));
    EXPECT_EQ(0, G_D3D_DrawCircle(-5, 70, 9, 0xBEEF, 1));
    EXPECT_EQ(0, G_D3D_DrawCircle(6, 7, 3, 0xBEEF, 0));
    const std::vector<std::vector<int>> expected = {{30, 20, 10, 5, 0x1234}, {1, 2, 4, 2, 0xFF}, {4, 2, 4, 8, 0xFF},
                                                    {4, 8, 1, 8, 0xFF},      {1, 8, 1, 2, 0xFF}, {-5, 70, 9, 0xBEEF, 1},
                                                    {6, 7, 3, 0xBEEF, 0}};
    EXPECT_EQ(expected, sSoftware);
    EXPECT_STREQ("", D3dTestLogText(mark, D3D_CALL_DRAW_PRIMITIVE));
}

TEST_F(DeviceRouteTest, StringDrawRestoresTheCacheThenDrawsThroughTheTextCore)
{
    int font = CreateFontToHandle(nullptr, 16, -1, 0);
    FontRecord *f = LookUpFontRecord(font);
    ASSERT_TRUE(f && f->textureFlag);
    EXPECT_EQ(-1, G_D3D_RenderFontString(0, 0, "A", 0xFFFF, font + 1, 0, 0));
    EXPECT_EQ(0, G_D3D_RenderFontString(0, 0, nullptr, 0xFFFF, font, 0, 0));
    ASSERT_EQ(0, G_D3D_RenderFontString(10, 10, "AB", 0xFFFF, font, 0, 1));
    EXPECT_EQ(2, Used(font));
    // A lost cache is made again (emptied) before the core renders this text's characters.
    f->cacheTextureLost = 1;
    ASSERT_EQ(0, G_D3D_RenderFontString(10, 50, "C", 0xFFFF, font, 0, 0));
    EXPECT_EQ(1, Used(font));

    // Direct3D down or suspended: nothing drawn, the cache untouched even when lost.
    f->cacheTextureLost = 1;
    D3dObject *direct3D = GDirect3D.direct3D;
    GDirect3D.direct3D = nullptr;
    EXPECT_EQ(-1, G_D3D_RenderFontString(0, 0, "D", 0xFFFF, font, 0, 0));
    GDirect3D.direct3D = direct3D;
    SuspendOnSystemGraph();
    EXPECT_EQ(-1, G_D3D_RenderFontString(0, 0, "D", 0xFFFF, font, 0, 0));
    EXPECT_EQ((std::vector<int>{1, 1}), (std::vector<int>{Used(font), f->cacheTextureLost}));
    // A font with its cache in memory is drawn by the software string draw, suspended or not.
    f->textureFlag = 0;
    EXPECT_EQ(0, G_D3D_RenderFontString(0, 0, "D", 0xFFFF, font, 0, 0));
    EXPECT_EQ(2, Used(font));
}
