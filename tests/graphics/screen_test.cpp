// Screens in software rendering mode: modes and colours, clearing, presenting and the draw target.
#include "tests/graphics/draw_fixture.h"
#include "testsupport/window/window_test.h"

using ScreenTest = LibraryDrawTest;

TEST_F(ScreenTest, ModeSetsScreenTypeAndColourPacking)
{
    EXPECT_EQ(QueryScreenColorDepth(), 16);
    EXPECT_EQ(GetScreenColorType(), MEMIMG_COLOR_565);
    EXPECT_EQ(PackScreenColor(255, 0, 0), 0xF800u);
    EXPECT_EQ(PackScreenColor(300, -5, 255), 0xF81Fu);  // clamped
    int r, g, b;
    UnpackScreenColor(0x07E0, &r, &g, &b);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 255);
    EXPECT_EQ(b, 0);

    ASSERT_EQ(SelectScreenMode(320, 200, 32, 60), 0);
    int w, h;
    QueryScreenSize(&w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    EXPECT_EQ(GetScreenColorType(), MEMIMG_COLOR_8888);
    EXPECT_EQ(PackScreenColor(0x12, 0x34, 0x56), 0x123456u);
    EXPECT_EQ(GetScreenMemImg(SCREEN_BACK)->width, 320);
}

TEST_F(ScreenTest, RefusedModeKeepsScreensAndGraphs)
{
    GraphImage picture = MakePicture(4, 4, [](int, int) { return 0xFFFFFF; });
    int graph = MakeGraphFromImages(&picture, nullptr);
    DiscardGraphImage(&picture);
    ASSERT_NE(graph, -1);
    EXPECT_EQ(SelectScreenMode(640, 480, 24, 60), -1);
    EXPECT_EQ(SelectScreenMode(0, 480, 16, 60), -1);
    EXPECT_TRUE(IsScreenReady());
    EXPECT_NE(LookupGraph(graph), nullptr);
    // A real change deletes every graph.
    ASSERT_EQ(SelectScreenMode(640, 480, 32, 60), 0);
    EXPECT_EQ(LookupGraph(graph), nullptr);
}

TEST_F(ScreenTest, EraseFillsOnlyTheDrawRegionWithTheBackground)
{
    FillBack(0x1234);
    SetBackgroundColor(0, 0, 255);
    SetDrawRegion(10, 20, 30, 40);
    ASSERT_EQ(EraseDrawTarget(), 0);
    EXPECT_EQ(BackPixel(10, 20), 0x001Fu);
    EXPECT_EQ(BackPixel(29, 39), 0x001Fu);
    EXPECT_EQ(BackPixel(9, 20), 0x1234u);
    EXPECT_EQ(BackPixel(30, 39), 0x1234u);
    EXPECT_EQ(BackPixel(29, 40), 0x1234u);
}

TEST_F(ScreenTest, PresentShowsTheBackScreenAndCounts)
{
    FillBack(PackScreenColor(0, 255, 0));
    uint64_t before = GetPresentCount();
    ASSERT_EQ(PresentFrame(), 0);
    EXPECT_EQ(GetPresentCount(), before + 1);
    const void *pixels;
    int w, h, bits;
    ASSERT_EQ(WTestGetPresentedFrame(GetMainWindowHandle(), &pixels, &w, &h, &bits), 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(((const uint16_t *)pixels)[640 * 479 + 639], 0x07E0);
    EXPECT_EQ(GetPx(GetScreenMemImg(SCREEN_FRONT), 5, 5), 0x07E0u);
    // The back screen stays as it was drawn.
    EXPECT_EQ(BackPixel(5, 5), 0x07E0u);
}

TEST_F(ScreenTest, DrawTargetSwitchesAndRefusesWhatCannotBeSelected)
{
    GraphImage picture = MakePicture(50, 30, [](int, int) { return 0; });
    int graph = MakeGraphFromImages(&picture, nullptr);
    DiscardGraphImage(&picture);
    ASSERT_EQ(SelectDrawTarget(graph), 0);
    EXPECT_EQ(GetDrawTargetHandle(), graph);
    EXPECT_EQ(GDrawSettings.drawRegion.right, 50);
    EXPECT_EQ(GDrawSettings.drawRegion.bottom, 30);
    EXPECT_EQ(GetDrawTargetMemImg(), GetGraphMemImg(LookupGraph(graph)));

    EXPECT_EQ(SelectDrawTarget(SCREEN_UNUSED), -1);
    EXPECT_EQ(GetDrawTargetHandle(), graph);
    RemoveGraph(graph, 0);
    EXPECT_EQ(SelectDrawTarget(graph), -1);  // stale
    EXPECT_EQ(GetDrawTargetHandle(), graph);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
    EXPECT_EQ(GDrawSettings.drawRegion.right, 640);
    int w = 0, h = 0;
    EXPECT_EQ(QueryTargetSize(SCREEN_UNUSED, &w, &h), 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(QueryTargetSize(graph, &w, &h), -1);
}

TEST_F(ScreenTest, EraseOnAGraphTargetFollowsTheBlendSettings)
{
    GraphImage picture = MakePicture(8, 8, [](int, int) { return 0xFF0000; });
    int graph = MakeGraphFromImages(&picture, nullptr);
    DiscardGraphImage(&picture);
    ASSERT_EQ(SelectDrawTarget(graph), 0);
    SetBackgroundColor(0, 0, 0);
    SelectBlendMode(MEMIMG_BLEND_ADD, 255);
    ASSERT_EQ(EraseDrawTarget(), 0);
    // Adding black leaves the red as it was.
    EXPECT_EQ(GetPx(GetGraphMemImg(LookupGraph(graph)), 3, 3), 0xF800u);
    SelectBlendMode(MEMIMG_BLEND_COPY, 255);
    ASSERT_EQ(EraseDrawTarget(), 0);
    EXPECT_EQ(GetPx(GetGraphMemImg(LookupGraph(graph)), 3, 3), 0u);
}
