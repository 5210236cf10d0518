// Screen capture into a texture graph, on the DirectDraw stand-in's surfaces so that its faults can
// make routes fail: the remembered route, the refusals, and which texels each route writes.
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_surface_hooks.h"
#include "lib/graphics/surface_data.h"
#include "tests/d3d/renderer_fixture.h"
#include "tests/support/stepped_clock.h"
#include "testsupport/test_hooks.h"

static DdDraw *gDraw;
static DdSurface *gFront;

static DdSurface *NewSurface(int width, int height, const D3dPixelFormat *f, uint32_t caps)
{
    DdSurfaceDesc desc = {sizeof desc, DD_SD_CAPS | DD_SD_WIDTH | DD_SD_HEIGHT | DD_SD_PIXELFORMAT, (uint32_t)height,
                          (uint32_t)width};
    desc.caps = caps;
    desc.pixelFormat = {sizeof(DdPixelFormat), f->flags, 0, f->bitCount, f->rMask, f->gMask, f->bMask, f->aMask};
    DdSurface *out = nullptr;
    return gDraw->fn->CreateSurface(gDraw, &desc, &out, nullptr) == DD_OK ? out : nullptr;
}
static int Build(int handle)
{
    SurfaceDataRecord *d = LookupSurfaceData(handle);
    d->ddSurface = NewSurface(d->width, d->height, &G_D3D_GetTextureFormatRecord(d->textureFormatSlot)->pixelFormat,
                              DD_CAPS_TEXTURE);
    return 0;
}
static int SystemTexture(int width, int height, const D3dPixelFormat *format, DdSurface **out)
{
    return (*out = NewSurface(width, height, format, DD_CAPS_TEXTURE | DD_CAPS_SYSTEMMEMORY)) ? 0 : DD_ERR_OUT_OF_MEMORY;
}
static void Release(DdSurface *surface) { surface->fn->Release(surface); }
static uint16_t Expected(int x, int y) { return (uint16_t)(x * 7 + y * 131 + 1); }

class CaptureTest : public RendererTest {
protected:
    Direct3DDisplayPort port = kFakeDisplayPort;
    size_t logStart = 0;
    void SetUp() override
    {
        RendererTest::SetUp();
        D3dSetSurfacePort(nullptr);
        ASSERT_EQ(DD_OK, DdCreate(nullptr, &gDraw, nullptr));
        gFront = NewSurface(640, 480, &kD3dFormat565, DD_CAPS_OFFSCREENPLAIN);
        gDisplay.work = NewSurface(640, 480, &kD3dFormat565, DD_CAPS_OFFSCREENPLAIN);
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++) ((uint16_t *)(gFront->pixels + y * gFront->pitch))[x] = Expected(x, y);
        port.GetFrontDrawSurface = port.GetDrawTargetSurface = [] { return gFront; };
        port.BuildSurfaceDataObjects = Build, port.ReleaseSurfaceDataObjects = ReleaseSurfaceDataObjects;
        port.CreateSystemTexture = SystemTexture, port.ReleaseSurface = Release;
        SetDirect3DDisplayPort(&port);
        Start();
        GDirect3D.minTextureSize = 1, GDirect3D.maxTextureSize = 2048;
        logStart = LogText().size();
    }
    std::string NewLog(void) { return LogText().substr(logStart); }
    void TearDown() override
    {
        for (uint32_t i = 0; i < GDirect3D.highWater; i++)
            if (GDirect3D.surface3D[i]) ReleaseSurfaceDataObjects(GDirect3D.surface3D[i]->surfaceData);
        RendererTest::TearDown();
        Release(gFront), Release(gDisplay.work), gDraw->fn->Release(gDraw);
        EXPECT_EQ(0, DdTestLiveCount(DD_OBJ_SURFACE) + DdTestLiveCount(DD_OBJ_DC));
        DdTestResetFaults();
        RemoveSteppedClock();
    }
    // A texture graph whose textures hold 0xABAB.
    static GraphRecord Graph(int width, int height)
    {
        GraphRecord graph = {};
        graph.handle = 0x08000001, graph.format = SurfaceFormat{1, 0, 0, 0, 0, 16};
        graph.width = width, graph.height = height;
        EXPECT_EQ(0, G_D3D_CreateGraphTextures(&graph));
        for (int i = 0; i < graph.pieces.count; i++)
            memset(Texture(graph, i)->pixels, 0xAB, (size_t)Texture(graph, i)->pitch * Texture(graph, i)->height);
        return graph;
    }
    static DdSurface *Texture(const GraphRecord &graph, int i)
    {
        return (DdSurface *)LookupSurfaceData(GetSurface3DData(graph.pieces.handles[i])->surfaceData)->ddSurface;
    }
    // Texels of piece i that are wrong: those of (0, 0)-(cw, ch) must hold target pixel (x + ox, y + oy),
    // all others 0xABAB still.
    static int Wrong(const GraphRecord &graph, int i, int cw, int ch, int ox = 0, int oy = 0)
    {
        DdSurface *t = Texture(graph, i);
        int n = 0;
        for (int y = 0; y < t->height; y++)
            for (int x = 0; x < t->width; x++)
                n += ((uint16_t *)(t->pixels + y * t->pitch))[x] != (x < cw && y < ch ? Expected(x + ox, y + oy) : 0xABAB);
        return n;
    }
    int Capture(GraphRecord &graph) { return G_D3D_GetDrawScreenGraph(0, 0, graph.width, graph.height, &graph, 1); }
};

TEST_F(CaptureTest, TheFirstWorkingRouteIsRememberedPerAlphaKindAndSoughtAgainWhenItFails)
{
    GraphRecord graph = Graph(64, 64);
    ASSERT_EQ(0, Capture(graph));
    EXPECT_EQ((std::vector<int>{0, -1, 0, 1}), (std::vector<int>{GDirect3D.captureRoutes[0], GDirect3D.captureRoutes[1],
                                                                 Wrong(graph, 0, 64, 64), gDisplay.colorKeys}));
    GDirect3D.captureRoutes[0] = -1;
    DdTestFailNth(DD_M_LOCK, 1, DD_ERR_GENERIC);  // route 5's work surface
    ASSERT_EQ(0, Capture(graph));
    EXPECT_EQ(1, Count(NewLog(), "\n"));
    EXPECT_EQ(1, Count(NewLog(), "G_D3D_GetDrawScreenGraphFunction5"));
    EXPECT_EQ(1, GDirect3D.captureRoutes[0]);
    DdTestClearRecord();
    ASSERT_EQ(0, Capture(graph));
    EXPECT_EQ((std::vector<int>{1, 0}), (std::vector<int>{DdTestCountCalls(DD_M_BLT_FAST), DdTestCountCalls(DD_M_LOCK)}));
    // Every route failing: the remembered one, then each of the table once, -1, nothing remembered;
    // the next capture searches again.
    DdTestFailAlways(DD_M_BLT_FAST, 1, DD_ERR_GENERIC);
    DdTestFailAlways(DD_M_GET_DC, 1, DD_ERR_GENERIC);
    logStart = LogText().size();
    EXPECT_EQ(-1, Capture(graph));
    std::vector<int> lines;
    for (const char *route : {"Function1 ", "Function2 ", "Function3 ", "Function4 ", "Function5 "})
        lines.push_back(Count(NewLog(), route));
    EXPECT_EQ((std::vector<int>{2, 1, 1, 1, 1}), lines);
    EXPECT_EQ(-1, GDirect3D.captureRoutes[0]);
    DdTestResetFaults();
    EXPECT_EQ(0, Capture(graph));
    EXPECT_EQ(0, GDirect3D.captureRoutes[0]);
}

TEST_F(CaptureTest, RefusedArgumentsFailWithoutALineAndASuspendedCaptureCopiesNothing)
{
    GraphRecord graph = Graph(64, 64);
    const int cases[][4] = {{5, 0, 5, 10}, {-1, 0, 10, 10}, {0, 9, 10, 9}, {0, 0, 65, 10}, {641, 0, 700, 10}};
    for (const auto &c : cases) EXPECT_EQ(-1, G_D3D_GetDrawScreenGraph(c[0], c[1], c[2], c[3], &graph, 1));
    EXPECT_EQ("", NewLog());
    GDirect3D.suspended = 1;
    EXPECT_EQ(0, Capture(graph));
    EXPECT_EQ(0, Wrong(graph, 0, 0, 0));
}

TEST_F(CaptureTest, EveryRouteWritesOnlyTheCapturedRectangle)
{
    struct Case {
        int (*route)(int, int, int, int, GraphRecord *, int);
        int x1, y1, x2, y2, width, height;
        int copied[2][2];  // width and height copied into each piece
    } cases[] = {
        // Pieces of 512 and 128 from (100, 8) on: the second passes the target's right edge after 28 columns.
#define WHOLE_TARGET(route) {route, 100, 8, 640, 480, 640, 480, {{512, 472}, {28, 472}}}
        WHOLE_TARGET(G_D3D_GetDrawScreenGraphFunction1), WHOLE_TARGET(G_D3D_GetDrawScreenGraphFunction2),
        WHOLE_TARGET(G_D3D_GetDrawScreenGraphFunction3), WHOLE_TARGET(G_D3D_GetDrawScreenGraphFunction4),
        WHOLE_TARGET(G_D3D_GetDrawScreenGraphFunction5),
        // Route 5 takes only the rectangle asked for.
        {G_D3D_GetDrawScreenGraphFunction5, 8, 8, 40, 24, 64, 64, {{32, 16}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        GraphRecord graph = Graph(c.width, c.height);
        ASSERT_EQ(0, c.route(c.x1, c.y1, c.x2, c.y2, &graph, 1));
        for (int i = 0; i < graph.pieces.count; i++)
            EXPECT_EQ(0, Wrong(graph, i, c.copied[i][0], c.copied[i][1], c.x1 + 512 * i, c.y1)) << i;
        G_D3D_ReleaseGraphTextures(&graph);
    }
}

TEST_F(CaptureTest, AWorkTextureRefusedIsLoggedWithCreateSurfacesResult)
{
    GraphRecord graph = Graph(64, 64);
    DdTestFailNth(DD_M_CREATE_SURFACE, 1, DD_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(-1, G_D3D_GetDrawScreenGraphFunction3(0, 0, 64, 64, &graph, 1));
    EXPECT_NE(std::string::npos, NewLog().find("Function3 　作業用テクスチャサーフェスの作成に失敗しました  CreateSurface  "
                                               "ReturnValue:" + std::to_string(DD_ERR_OUT_OF_MEMORY)));
}

TEST_F(CaptureTest, Route4WaitsOutABusyTextureTenLoadsAtMost)
{
    InstallSteppedClock(0);
    GraphRecord graph = Graph(64, 64);
    DdTestClearRecord();
    D3dTestFail(D3D_CALL_LOAD, DD_ERR_SURFACE_BUSY, 3, 0);
    EXPECT_EQ(0, G_D3D_GetDrawScreenGraphFunction4(0, 0, 64, 64, &graph, 1));
    EXPECT_EQ(3, DdTestCountCalls(DD_M_RESTORE));
    EXPECT_EQ(3u, GetSteppedClockSleptMilliseconds());
    EXPECT_EQ(0, Wrong(graph, 0, 64, 64));
    D3dTestFail(D3D_CALL_LOAD, DD_ERR_SURFACE_BUSY, 10, 0);
    EXPECT_EQ(-1, G_D3D_GetDrawScreenGraphFunction4(0, 0, 64, 64, &graph, 1));
    EXPECT_EQ(12u, GetSteppedClockSleptMilliseconds());
    EXPECT_EQ("hr:-2005532242  W:640  H:480  FullMode:1  Point x:0 y:0   Rect top:0 bottom:64 left:0 right:64\n"
              "AlphaCh:0  AlphaTest:0  ColorBitDepth:16\n"
              "ScreenColor:16  SizeX:64  SizeY:64  DrawPointX:0  DrawPointY:0  WndRect.left:0  WndRect.top:0  "
              "left:0  top:0\n",
              NewLog());
    // A slot left without its device object by a failed re-creation loads nothing.
    D3dDevice *device = Device().device;
    Device().device = nullptr;
    int mark = D3dTestMark();
    EXPECT_EQ(-1, G_D3D_GetDrawScreenGraphFunction4(0, 0, 64, 64, &graph, 1));
    Device().device = device;
    EXPECT_EQ("", Calls(mark, D3D_CALL_LOAD));
}
