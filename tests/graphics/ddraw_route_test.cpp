// The DirectDraw route of the graphics core: the same frames as software rendering mode (fast blits
// and locked views alike), the fallback and the fatal start, loss and restore, nested locks,
// captures and copies between surfaces, the getters, and no object left at the end.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/capture.h"
#include "lib/graphics/ddraw_display.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/graphics_start.h"
#include "lib/graphics/surface_data.h"
#include "testsupport/d3d/d3d_test.h"
#include "platform/ddraw/ddraw.h"
#include "testsupport/window/window_test.h"
#include "tests/graphics/draw_fixture.h"
#include "tests/support/screen_readback.h"
#include "testsupport/test_hooks.h"
#include "tools/demo/demo_scene.h"

namespace {

// Starts the library on a route ("software" or "ddraw") in a fresh directory, back screen selected.
class RouteTest : public ::testing::Test {
protected:
    SavedRenderRoute savedRoute;
    int frames[DEMO_FRAME_COUNT] = {};

    void SetUp() override { DdTestResetFaults(); }
    void TearDown() override
    {
        End();
        SetFastBlitUse(1);
        DdTestResetFaults();
        D3dSelectBackend(nullptr);
    }
    void Start(const char *route) { StartDrawLibrary(route); }
    // Ends the library; log (when given) gets Log.txt as the end left it.
    void End(std::string *log = nullptr)
    {
        if (GetLibraryState() != LIBRARY_RUNNING) return;
        EndLibrary();
        for (int k = 0; k < DD_OBJ_KIND_COUNT; k++) EXPECT_EQ(DdTestLiveCount((DdObjectKind)k), 0) << "kind " << k;
        for (D3dLiveKind k : {D3D_LIVE_OBJECTS, D3D_LIVE_DEVICES, D3D_LIVE_SURFACE_COPIES})
            EXPECT_EQ(D3dTestLiveCount(k), 0) << "3-D kind " << k;
        if (log) *log = ReadTestFile("Log.txt");
        LeaveFreshTempDir();
    }
    void LoadSheet() { LoadDemoFrames(frames); }
};

// The back screen's pixels, row after row.
std::vector<uint8_t> BackBytes(void)
{
    const MEMIMG *m = GetScreenMemImg(SCREEN_BACK);
    std::vector<uint8_t> out;
    for (int y = 0; y < m->height; y++) {
        const uint8_t *row = GetMemImgRow(m, y);
        out.insert(out.end(), row, row + (size_t)m->width * GetMemImgBytesPerPixel(m));
    }
    return out;
}

std::vector<uint8_t> PresentedBytes(void)
{
    const void *pixels = nullptr;
    int w = 0, h = 0, bits = 0;
    if (WTestGetPresentedFrame(GetMainWindowHandle(), &pixels, &w, &h, &bits) != 0) return {};
    return std::vector<uint8_t>((const uint8_t *)pixels, (const uint8_t *)pixels + (size_t)w * h * bits / 8);
}

TEST_F(RouteTest, EveryRouteDrawsTheSameFrames)
{
    struct Route {
        const char *name;
        int fast;
    } routes[] = {{"software", 1}, {"ddraw", 1}, {"ddraw", 0}};
    for (int scene = 0; scene < DEMO_SCENE_COUNT; scene++) {
        std::vector<uint8_t> firstBack, firstShown;
        for (const Route &route : routes) {
            Start(route.name);
            SetFastBlitUse(route.fast);
            EXPECT_EQ(IsSurfaceRouteInUse(), strcmp(route.name, "ddraw") == 0);
            LoadSheet();
            DdTestClearRecord();
            DrawDemoScene(scene, frames, 59);
            int fastBlits = DdTestCountCalls(DD_M_BLT_FAST);
            ASSERT_EQ(PresentFrame(), 0);
            if (strcmp(route.name, "ddraw") == 0 && scene == 0) {
                EXPECT_EQ(fastBlits > 0, route.fast == 1);
            }
            std::vector<uint8_t> back = BackBytes(), shown = PresentedBytes();
            if (firstBack.empty()) firstBack = back, firstShown = shown;
            EXPECT_TRUE(back == firstBack) << GetDemoSceneName(scene) << " " << route.name << " " << route.fast;
            EXPECT_TRUE(shown == firstShown) << GetDemoSceneName(scene) << " " << route.name << " " << route.fast;
            End();
        }
    }
}

// What the window shows of a present (read back from the window) on both routes, in a window and in
// full screen (a larger window, the picture scaled): the picture drawn, neither flipped nor shifted.
// The Direct3D cases need OpenGL: skipped on SDL's "dummy" driver, run by presents_shown_on_d3d.
TEST_F(RouteTest, TheWindowShowsThePictureDrawnUnflippedAndUnshifted)
{
    const int withOpenGl = strcmp(getenv("SDL_VIDEODRIVER"), "dummy") != 0;  // the test main sets it
    for (int device = 0; device <= withOpenGl; device++)
        for (int fullScreen = 0; fullScreen < 2; fullScreen++) {
            SCOPED_TRACE(std::string(device ? "d3d" : "ddraw") + (fullScreen ? " in full screen" : " in a window"));
            StartDrawLibrary(device ? "d3d" : "ddraw", fullScreen);
            ASSERT_EQ(IsDirect3DDrawUsable(), device);
            // Each pixel's colour tells where it is: red the column, green the row, blue a coarse mix.
            GraphImage picture = MakePicture(640, 480, [](int x, int y) {
                return (uint32_t)(x % 32) << 19 | (uint32_t)(y % 64) << 10 | (uint32_t)((x / 32 + y / 64 * 3) % 32) << 3;
            });
            ASSERT_EQ(PutGraph(0, 0, MakeGraphFromImages(&picture, nullptr), 0), 0);
            DiscardGraphImage(&picture);
            ASSERT_EQ(GetPx(ReadBackBackScreen(), 639, 479), 0xFBE8u);
            std::vector<uint8_t> drawn = BackBytes();  // before the present: a flip trades the screens
            ASSERT_EQ(PresentFrame(), 0);
            EXPECT_TRUE(PresentedBytes() == drawn);
            End();
        }
}

TEST_F(RouteTest, AFirstDirectDrawFailureFallsBackToSoftwareRendering)
{
    DdTestFailNth(DD_M_CREATE_SURFACE, 1, DD_ERR_OUT_OF_MEMORY);
    Start("ddraw");
    EXPECT_EQ(IsSurfaceRouteInUse(), 0);
    EXPECT_EQ(IsDirectDrawInUse(), 1);
    EXPECT_EQ(PaintRectangle(0, 0, 4, 4, PackScreenColor(255, 0, 0), 1), 0);
    EXPECT_EQ(BackPixel(1, 1), PackScreenColor(255, 0, 0));
    std::string log = ReadTestFile("Log.txt");
    size_t failed = log.find("スクリーンサーフェスの作成に失敗しました");
    size_t software = log.find("ソフトウエアレンダリングモードに変更します");
    ASSERT_NE(failed, std::string::npos);
    ASSERT_NE(software, std::string::npos);
    EXPECT_LT(failed, software);
}

TEST(RouteDeath, ASecondDirectDrawFailureIsFatal)
{
    GTEST_FLAG_SET(death_test_style, "fast");
    ASSERT_EQ(EnterFreshTempDir(), 0);
    EXPECT_EXIT(
        {
            setenv("DAZAR_RENDER_ROUTE", "ddraw", 1);
            DdTestFailAlways(DD_M_CREATE, 1, DD_ERR_GENERIC);
            ChangeWindowMode(1);
            InitLibrary();
            exit(3);
        },
        ::testing::ExitedWithCode(255), "");
    std::string log = ReadTestFile("Log.txt");
    EXPECT_NE(log.find("ソフトウエアレンダリングモードに変更します"), std::string::npos);
    EXPECT_NE(log.find("DirectDraw の初期化に失敗しました"), std::string::npos);
    EXPECT_NE(log.find("ライブラリの終了処理が完了しました"), std::string::npos);
    LeaveFreshTempDir();
}

TEST_F(RouteTest, LostSurfacesComeBackWithTheirGraphsReloaded)
{
    Start("ddraw");
    LoadSheet();
    DrawDemoScene(0, frames, 10);
    std::vector<uint8_t> before = BackBytes();
    DdTestLoseAllSurfaces();
    EXPECT_EQ(PutGraph(0, 0, frames[4], 1), -1);           // fast blit onto a lost screen
    EXPECT_EQ(PaintRectangle(0, 0, 8, 8, 0xFFFF, 1), -1);  // locked view of a lost screen
    ASSERT_EQ(TestAndRestoreSurfaces(), 0);
    DrawDemoScene(0, frames, 10);
    EXPECT_TRUE(BackBytes() == before);
    DdTestLoseAllSurfaces();
    ASSERT_EQ(RestoreDisplay(), 0);
    DrawDemoScene(0, frames, 10);
    EXPECT_TRUE(BackBytes() == before);
}

TEST_F(RouteTest, NestedLocksOffsetIntoOneWholeLock)
{
    Start("ddraw");
    int graph = MakeBlankGraph(16, 8, 0);
    ASSERT_NE(graph, -1);
    int data = LookupSurface2D(LookupGraph(graph)->pieces.handles[0])->surfaceData;
    DdSurface *surface = (DdSurface *)LookupSurfaceData(data)->ddSurface;
    ASSERT_NE(surface, nullptr);
    DdTestClearRecord();
    int pitch = 0;
    uint8_t *whole = nullptr, *inner = nullptr;
    Rect r1 = {0, 0, 16, 8}, r2 = {3, 2, 5, 4};
    ASSERT_EQ(LockSurfaceData(data, &pitch, &whole, 1, &r1, nullptr), 0);
    ASSERT_EQ(LockSurfaceData(data, &pitch, &inner, 0, &r2, nullptr), -2);
    EXPECT_EQ(inner, whole + 2 * pitch + 3 * 2);
    EXPECT_EQ(UnlockSurfaceData(data, &r2), 0);
    EXPECT_EQ(DdTestCountCalls(DD_M_UNLOCK), 0);
    EXPECT_EQ(UnlockSurfaceData(data, &r1), 0);
    EXPECT_EQ(UnlockSurfaceData(data, &r1), -1);
    EXPECT_EQ(DdTestCountCalls(DD_M_LOCK), 1);
    EXPECT_EQ(DdTestCountCalls(DD_M_UNLOCK), 1);
    DdTestLoseAllSurfaces();
    EXPECT_EQ(LockSurfaceData(data, &pitch, &whole, 0, nullptr, nullptr), -1);
    EXPECT_NE(ReadTestFile("Log.txt").find("グラフィックのロックに失敗しました"), std::string::npos);
    EXPECT_EQ(RestoreSurfaceIfLost(data), -1);
    EXPECT_EQ(RestoreSurfaceIfLost(data), 0);
}

// The surface's one unlock names what the unlocks of the open locks named, joined: a device copy of
// it takes just that again. All of the store, or anything not inside it, is named as the whole.
TEST_F(RouteTest, TheLastUnlockNamesWhatTheLocksChanged)
{
    struct Case {
        const char *name;
        std::vector<Rect> unlocks;  // {0, 0, 0, 0}: none named (null)
        std::vector<int> named;     // the surface unlock's rectangle; -1s: the whole surface
    };
    const Case cases[] = {
        {"one rectangle", {{4, 2, 10, 6}}, {4, 2, 10, 6}},
        {"two apart are joined", {{0, 1, 2, 3}, {9, 5, 12, 7}}, {0, 1, 12, 7}},
        {"null is the whole", {{6, 2, 8, 4}, {0, 0, 0, 0}}, {-1, -1, -1, -1}},
        {"the whole store", {{0, 0, 16, 8}}, {-1, -1, -1, -1}},
        {"past the store's edge", {{1, 1, 2, 2}, {10, 4, 17, 8}}, {-1, -1, -1, -1}},
        {"empty", {{5, 5, 5, 6}}, {-1, -1, -1, -1}},
    };
    Start("ddraw");
    int graph = MakeBlankGraph(16, 8, 0);
    ASSERT_NE(graph, -1);
    int data = LookupSurface2D(LookupGraph(graph)->pieces.handles[0])->surfaceData;
    for (const Case &c : cases) {
        DdTestClearRecord();
        int pitch = 0;
        uint8_t *pixels = nullptr;
        for (size_t i = 0; i < c.unlocks.size(); i++) ASSERT_NE(LockSurfaceData(data, &pitch, &pixels, 1, nullptr, nullptr), -1);
        for (const Rect &r : c.unlocks) EXPECT_EQ(UnlockSurfaceData(data, r.right ? &r : nullptr), 0) << c.name;
        ASSERT_EQ(DdTestCountCalls(DD_M_UNLOCK), 1) << c.name;
        DdRecordEntry entry = {};
        for (int i = 0; DdTestGetRecord(i, &entry) == 0 && entry.method != DD_M_UNLOCK; i++) {}
        EXPECT_EQ(std::vector<int>(entry.args, entry.args + 4), c.named) << c.name;
    }
}

TEST_F(RouteTest, CapturesAndTransfersCopyBetweenScreensAndGraphs)
{
    Start("ddraw");
    FillBack(PackScreenColor(0, 0, 255));
    ASSERT_EQ(PaintRectangle(10, 10, 20, 20, PackScreenColor(255, 0, 0), 1), 0);
    int graph = MakeBlankGraph(8, 8, 0);
    ASSERT_EQ(CaptureDrawTargetToGraph(6, 6, 14, 14, graph, 1), 0);
    MEMIMG *m = GetGraphMemImg(LookupGraph(graph));
    EXPECT_EQ(GetPx(m, 0, 0), PackScreenColor(0, 0, 255));
    EXPECT_EQ(GetPx(m, 4, 4), PackScreenColor(255, 0, 0));
    EXPECT_EQ(CaptureDrawTargetToGraph(0, 0, 8, 8, 12345, 1), -1);

    // Both ways of TransferSurfaceRect, back into the screen at another place.
    DdSurface *screen = GetBackRenderSurface(), *work = GetWorkSurface();
    Rect from = {10, 10, 14, 14};
    ASSERT_EQ(TransferSurfaceRect(work, screen, 0, 0, &from, 1), 0);  // device contexts
    Rect back = {0, 0, 4, 4};
    ASSERT_EQ(TransferSurfaceRect(screen, work, 100, 100, &back, 0), 0);  // BltFast
    EXPECT_EQ(BackPixel(103, 103), PackScreenColor(255, 0, 0));
    EXPECT_EQ(DdTestLiveCount(DD_OBJ_DC), 0);

    // A memory graph (alpha) takes the copy through the locked pixels.
    SelectDrawTarget(graph);
    int alpha = MakeSystemMemoryGraph(4, 4, 0);
    ASSERT_EQ(CaptureDrawTargetToGraph(4, 4, 8, 8, alpha, 1), 0);
    EXPECT_EQ(GetPx(GetGraphMemImg(LookupGraph(alpha)), 1, 1), PackScreenColor(255, 0, 0));
    SelectDrawTarget(SCREEN_BACK);
    ASSERT_EQ(RedrawSavedScreen(), 0);
    EXPECT_EQ(BackPixel(12, 12), PackScreenColor(255, 0, 0));
}

TEST_F(RouteTest, FullScreenFlipsAndTheScreenImagesFollowTheirSurfaces)
{
    setenv("DAZAR_RENDER_ROUTE", "ddraw", 1);
    ASSERT_EQ(EnterFreshTempDir(), 0);
    ChangeWindowMode(0);
    ASSERT_EQ(InitLibrary(), 0);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
    EXPECT_EQ(IsFlipChainInUse(), 1);
    EXPECT_EQ(GetFrontDrawSurface(), GetPrimarySurface());
    ASSERT_EQ(PaintRectangle(0, 0, 8, 8, PackScreenColor(255, 255, 0), 1), 0);
    ASSERT_EQ(PresentFrame(), 0);
    // The drawn block is now the front one, and each image still views its own surface.
    EXPECT_EQ(GetPx(GetScreenMemImg(SCREEN_FRONT), 2, 2), PackScreenColor(255, 255, 0));
    EXPECT_EQ(GetScreenMemImg(SCREEN_FRONT)->pixels, GetFrontDrawSurface()->pixels);
    EXPECT_EQ(GetScreenMemImg(SCREEN_BACK)->pixels, GetBackRenderSurface()->pixels);
    // Stretched to its own size with nothing else asked: the unscaled path (a fast blit).
    int graph = MakeBlankGraph(4, 4, 0x123456);
    DdTestClearRecord();
    ASSERT_EQ(PutGraphStretched(10, 10, 14, 14, graph, 0), 0);
    EXPECT_EQ(DdTestCountCalls(DD_M_BLT_FAST), 1);
    EXPECT_EQ(PutGraphStretched(10, 10, 10, 14, graph, 0), 0);
    EXPECT_EQ(DdTestCountCalls(DD_M_LOCK), 0);
}

TEST_F(RouteTest, GettersDescribeTheScreenAndTheDevice)
{
    Start("ddraw");
    EXPECT_NE(GetDirectDrawObject(), nullptr);
    EXPECT_EQ(GetScreenPixelFormat()->redMask, 0xF800u);
    EXPECT_EQ(GetOverlayPixelFormat(), nullptr);   // no overlay is offered
    EXPECT_EQ(FindMemImgPixelFormat(MEMIMG_COLOR_8888, 1, 0)->alphaMask, 0xFF000000u);
    EXPECT_EQ(FindMemImgPixelFormat(MEMIMG_COLOR_565, 0, 1)->bitCount, 8u);
    DdCaps caps = {};
    EXPECT_EQ(CopyDirectDrawCaps(&caps), &caps);
    EXPECT_NE(caps.caps & DD_CAPS1_COLORKEY, 0u);
    EXPECT_EQ(GetFrontDrawSurface()->width, 640);
    EXPECT_EQ(GetDrawTargetSurface(), GetBackRenderSurface());
    EXPECT_EQ(IsWindowFrontTarget(), 0);
    ASSERT_EQ(SelectScreenMode(320, 240, 32, 60), 0);
    EXPECT_EQ(GetScreenPixelFormat()->bitCount, 32u);
    EXPECT_EQ(GetScreenMemImg(SCREEN_BACK)->pixels, GetBackRenderSurface()->pixels);
}

// A display change in window mode: the desktop's format is read again; the screens keep their depth
// and reach a desktop of another one through a converting copy.
TEST_F(RouteTest, ADisplayChangeReadsTheDesktopFormatAgain)
{
    Start("ddraw");
    ASSERT_EQ(GetFrontDrawSurface(), GetPrimarySurface());
    DdTestClearRecord();
    DdTestSetDesktopBits(32);
    ASSERT_EQ(ReadScreenColorFormat(), 0);
    EXPECT_EQ(DdTestCountCalls(DD_M_GET_DISPLAY_MODE), 1);
    ASSERT_EQ(RestoreDisplay(), 0);
    EXPECT_EQ(QueryScreenColorDepth(), 16);
    EXPECT_NE(GetFrontDrawSurface(), GetPrimarySurface());
    DdTestFailNth(DD_M_GET_DISPLAY_MODE, 1, DD_ERR_GENERIC);
    EXPECT_EQ(ReadScreenColorFormat(), -1);
    std::string log;
    End(&log);
    EXPECT_NE(log.find("画面のピクセルフォーマットの取得に失敗しました"), std::string::npos);
}

// The Direct3D route starts the renderer's device on the display's surfaces (on the recording back
// end: this program's video driver has no OpenGL), and the end lets go of every object.
TEST_F(RouteTest, TheDirect3DRouteStartsTheDeviceAndTheEndLeavesNothingAlive)
{
    ASSERT_EQ(D3dSelectBackend("record"), 0);
    Start("d3d");
    EXPECT_EQ(IsSurfaceRouteInUse(), 1);
    EXPECT_NE(G_D3D_GetDevice(), nullptr);
    EXPECT_EQ(IsDirect3DDrawUsable(), 1);
    std::string log;
    End(&log);
    const char *texts[] = {"Direct3D 関連の初期化を行います", "Ｄｉｒｅｃｔ３Ｄオブジェクトを取得しました",
                           "Direct3D 関連の初期化は正常に終了しました", "３Ｄグラフィック描画機能を使用します",
                           "Direct3D 関連の終了処理は正常に終了しました"};
    size_t at = 0;
    for (const char *text : texts) {
        at = log.find(text, at);
        ASSERT_NE(at, std::string::npos) << text;
    }
    EXPECT_EQ(log.find("ソフトウエアレンダリングモードに変更します"), std::string::npos);
    EXPECT_EQ(GetDirect3DDisplayPort(), nullptr);
}

// A graph the device cannot draw into is refused as a target, and the device stays with the previous
// one: a picture drawn next reaches the back screen.
TEST_F(RouteTest, ARefusedGraphTargetLeavesTheDeviceDrawingOnThePreviousOne)
{
    ASSERT_EQ(D3dSelectBackend("record"), 0);
    Start("d3d");
    LoadSheet();
    int graph = MakeBlankGraph(64, 32, 0);
    ASSERT_GE(graph, 0);
    EXPECT_EQ(SelectDrawTarget(graph), -1);
    EXPECT_EQ(GetDrawTargetHandle(), SCREEN_BACK);
    D3dTestClearLog();
    D3dTestRecord(1);
    EXPECT_EQ(PutGraph(10, 10, frames[5], 1), 0);
    EndDirect3DWork();
    D3dTestRecord(0);
    std::string draws = D3dTestLogText(0, D3D_CALL_DRAW_PRIMITIVE);
    EXPECT_NE(draws.find("TRIANGLELIST"), std::string::npos) << draws;
    End();
}

// The renderer's temporary textures are system-memory textures of the draw object, locked whole.
TEST_F(RouteTest, TemporaryTexturesComeFromTheDrawObject)
{
    ASSERT_EQ(D3dSelectBackend("record"), 0);
    Start("d3d");
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    ASSERT_NE(port, nullptr);
    const D3dPixelFormat format = {32, D3D_PF_RGB | D3D_PF_ALPHAPIXELS, 0, 16, 0xF00, 0xF0, 0xF, 0xF000};
    DdSurface *texture = nullptr;
    ASSERT_EQ(port->CreateSystemTexture(128, 64, &format, &texture), 0);
    EXPECT_EQ(texture->caps & (DD_CAPS_TEXTURE | DD_CAPS_SYSTEMMEMORY), DD_CAPS_TEXTURE | DD_CAPS_SYSTEMMEMORY);
    EXPECT_EQ(texture->width * 1000 + texture->height, 128064);
    EXPECT_EQ(texture->format.alphaMask, 0xF000u);
    int pitch = 0;
    uint8_t *pixels = nullptr;
    ASSERT_EQ(port->LockWholeSurface(texture, &pitch, &pixels), 0);
    EXPECT_EQ(pixels, texture->pixels);
    EXPECT_EQ(pitch, texture->pitch);
    EXPECT_EQ(port->UnlockWholeSurface(texture), 0);
    port->ReleaseSurface(texture);
    DdTestFailNth(DD_M_CREATE_SURFACE, 1, DD_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(port->CreateSystemTexture(128, 64, &format, &texture), DD_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(texture, nullptr);
    End();
}

}  // namespace
