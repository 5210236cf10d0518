// Graphs: creation from pictures, divided sheets, derivation, removal, stale handles and the fatal
// full table.
#include <fstream>
#include <string>
#include <vector>

#include "lib/graphics/draw.h"
#include "tests/graphics/draw_fixture.h"
#include "tests/support/test_temp_dir.h"
#include "tools/demo/png_out.h"

using GraphTest = LibraryDrawTest;

// Colour of sheet cell (cx, cy): distinct per cell, none of them black.
static uint32_t CellColour(int cx, int cy) { return (uint32_t)((cx + 1) * 40) << 16 | (uint32_t)((cy + 1) * 50) << 8 | 0x80; }

// Writes a sheet of across x down cells of w x h, each filled with CellColour.
static void WriteSheet(const char *path, int across, int down, int w, int h)
{
    std::vector<uint32_t> rgb((size_t)across * w * down * h);
    for (int y = 0; y < down * h; y++)
        for (int x = 0; x < across * w; x++) rgb[(size_t)y * across * w + x] = CellColour(x / w, y / h);
    ASSERT_EQ(WritePngRgb(path, rgb.data(), across * w, down * h), 0);
}

TEST_F(GraphTest, DividedSheetFrameKComesFromCellKModAcrossKDivAcross)
{
    WriteSheet("sheet.png", 4, 3, 8, 6);
    int handles[10];
    int before = GetGraphCount();
    ASSERT_EQ(LoadDividedGraphs("sheet.png", 10, 4, 3, 8, 6, handles, 0), 0);
    // The base picture is gone: only the frames remain.
    EXPECT_EQ(GetGraphCount(), before + 10);
    for (int k = 0; k < 10; k++) {
        GraphRecord *g = LookupGraph(handles[k]);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->width, 8);
        EXPECT_EQ(g->height, 6);
        MEMIMG *m = GetGraphMemImg(g);
        uint32_t expected = PackScreenColor((CellColour(k % 4, k / 4) >> 16) & 0xFF, (CellColour(k % 4, k / 4) >> 8) & 0xFF, 0x80);
        EXPECT_EQ(GetPx(m, 0, 0), expected) << "frame " << k;
        EXPECT_EQ(GetPx(m, 7, 5), expected) << "frame " << k;
    }
    // Frames share one store; it lives while any frame does.
    for (int k = 0; k < 9; k++) RemoveGraph(handles[k], 0);
    EXPECT_EQ(PutGraph(0, 0, handles[9], 1), 0);
    EXPECT_EQ(BackPixel(0, 0), GetPx(GetGraphMemImg(LookupGraph(handles[9])), 0, 0));
}

TEST_F(GraphTest, DividedSheetRefusesBadInputAndMakesNothing)
{
    WriteSheet("small.png", 2, 2, 8, 8);
    int handles[16];
    int before = GetGraphCount();
    EXPECT_EQ(LoadDividedGraphs("small.png", 9, 3, 3, 8, 8, handles, 0), -1);   // picture too small
    EXPECT_EQ(LoadDividedGraphs("small.png", 5, 2, 2, 8, 8, handles, 0), -1);   // more frames than cells
    EXPECT_EQ(LoadDividedGraphs("missing.png", 1, 1, 1, 8, 8, handles, 0), -1);
    EXPECT_EQ(LoadDividedGraphs("small.png", 1, 1, 1, 0, 8, handles, 0), -1);
    std::ofstream("broken.png") << "\x89PNG\r\n\x1a\n garbage";
    EXPECT_EQ(LoadDividedGraphs("broken.png", 1, 1, 1, 8, 8, handles, 0), -1);
    EXPECT_EQ(GetGraphCount(), before);
}

TEST_F(GraphTest, DeriveClipsToTheSourceAndKeepsItsPosition)
{
    GraphImage picture = MakePicture(20, 10, [](int x, int y) { return (uint32_t)(x * 8) << 16 | (uint32_t)(y * 16) << 8; });
    int base = MakeGraphFromImages(&picture, nullptr);
    DiscardGraphImage(&picture);
    ASSERT_NE(base, -1);
    int part = DeriveGraph(15, 5, 10, 10, base);
    ASSERT_NE(part, -1);
    GraphRecord *g = LookupGraph(part);
    EXPECT_EQ(g->width, 5);
    EXPECT_EQ(g->height, 5);
    EXPECT_EQ(g->srcX, 15);
    EXPECT_EQ(GetPx(GetGraphMemImg(g), 0, 0), PackScreenColor(15 * 8, 5 * 16, 0));
    int inner = DeriveGraph(1, 1, 2, 2, part);
    EXPECT_EQ(LookupGraph(inner)->srcX, 16);
    EXPECT_EQ(DeriveGraph(20, 0, 5, 5, base), -1);   // wholly outside
    EXPECT_EQ(DeriveGraph(0, 0, 0, 5, base), -1);
    int huge = DeriveGraph(5, 5, 2147483647, 2147483647, base);  // no overflow past the source
    ASSERT_NE(huge, -1);
    EXPECT_EQ(LookupGraph(huge)->width, 15);
    EXPECT_EQ(LookupGraph(huge)->height, 5);
}

TEST_F(GraphTest, StaleHandlesGiveMinusOne)
{
    GraphImage picture = MakePicture(4, 4, [](int, int) { return 0xFFFFFF; });
    int graph = MakeGraphFromImages(&picture, nullptr);
    DiscardGraphImage(&picture);
    ASSERT_EQ(RemoveGraph(graph, 0), 0);
    EXPECT_EQ(LookupGraph(graph), nullptr);
    EXPECT_EQ(PutGraph(0, 0, graph, 1), -1);
    EXPECT_EQ(PutGraphStretched(0, 0, 8, 8, graph, 1), -1);
    EXPECT_EQ(PutGraphFreeQuad(0, 0, 4, 0, 4, 4, 0, 4, graph, 1), -1);
    EXPECT_EQ(RemoveGraph(graph, 0), -1);
    EXPECT_EQ(DeriveGraph(0, 0, 1, 1, graph), -1);
    EXPECT_EQ(SelectBlendGraph(graph, 0, 0), -1);
    EXPECT_EQ(PutGraph(0, 0, -1, 1), -1);
    EXPECT_EQ(PutGraph(0, 0, 0x7FFFFFFF, 1), -1);
}

TEST_F(GraphTest, RemoveAllGraphsLeavesNoneAndNoMemory)
{
    GraphImage picture = MakePicture(16, 16, [](int x, int) { return x ? 0x808080 : 0; });
    for (int i = 0; i < 5; i++) {
        int g = MakeGraphFromImages(&picture, nullptr);
        DeriveGraph(0, 0, 4, 4, g);
    }
    DiscardGraphImage(&picture);
    EXPECT_EQ(GetGraphCount(), 10);
    RemoveAllGraphs(0);
    EXPECT_EQ(GetGraphCount(), 0);
}

TEST_F(GraphTest, AlphaPictureMakesAnAlphaImage)
{
    GraphImage base = MakePicture(4, 4, [](int, int) { return 0xFF0000; });
    GraphImage alpha = MakePicture(4, 4, [](int x, int) { return (uint32_t)(x * 80); });
    int graph = MakeGraphFromImages(&base, &alpha);
    GraphImage small = MakePicture(2, 2, [](int, int) { return 0; });
    EXPECT_EQ(MakeGraphFromImages(&base, &small), -1);
    DiscardGraphImage(&base);
    DiscardGraphImage(&alpha);
    DiscardGraphImage(&small);
    ASSERT_NE(graph, -1);
    MEMIMG *m = GetGraphMemImg(LookupGraph(graph));
    EXPECT_EQ(m->shared->alphaFlag, 1);
    EXPECT_EQ(GetPx(m, 2, 0), 0xF800u | 160u << 16);
}

TEST_F(GraphTest, UpdateRectIsClippedToTheGraph)
{
    int graph = MakeBlankGraph(8, 8, 0);
    GraphImage picture = MakePicture(6, 6, [](int, int) { return 0xFFFFFF; });
    Rect all = {0, 0, 6, 6};
    EXPECT_EQ(UpdateGraphImageRect(graph, 5, -2, &picture, &all), 0);
    Rect outside = {-100, -100, 100, 100};
    EXPECT_EQ(UpdateGraphImageRect(graph, 40, 40, &picture, &outside), 0);
    DiscardGraphImage(&picture);
    MEMIMG *m = GetGraphMemImg(LookupGraph(graph));
    EXPECT_EQ(GetPx(m, 5, 0), 0xFFFFu);
    EXPECT_EQ(GetPx(m, 7, 3), 0xFFFFu);
    EXPECT_EQ(GetPx(m, 4, 0), 0u);
    EXPECT_EQ(GetPx(m, 5, 4), 0u);
}

// Reads the log as bytes.
static std::string ReadLog(void)
{
    return ReadTestFile("Log.txt");
}

TEST(GraphTableDeath, FullGraphTableIsFatal)
{
    GTEST_FLAG_SET(death_test_style, "fast");
    ASSERT_EQ(EnterFreshTempDir(), 0);
    // The library starts in the child only, so the parent has no threads when it forks.
    EXPECT_EXIT(
        {
            ChangeWindowMode(1);
            if (InitLibrary() != 0) exit(3);
            int base = MakeBlankGraph(2, 2, 0);
            for (;;) DeriveGraph(0, 0, 1, 1, base);
        },
        ::testing::ExitedWithCode(255), "");
    std::string log = ReadLog();
    EXPECT_NE(log.find("グラフィックハンドルの数が限界に達しました"), std::string::npos);
    EXPECT_NE(log.find("ライブラリの終了処理が完了しました"), std::string::npos);
    LeaveFreshTempDir();
}

TEST_F(GraphTest, FillGraphSurfacesFillsTheDerivedRectangleOnly)
{
    int blank = MakeBlankGraph(6, 4, 0x000000);
    ASSERT_NE(blank, -1);
    int inner = DeriveGraph(1, 1, 3, 2, blank);
    ASSERT_NE(inner, -1);
    ASSERT_EQ(FillGraphSurfaces(inner, 255, 0, 0, 255), 0);
    MEMIMG *m = GetGraphMemImg(LookupGraph(blank));
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++) {
            bool in = x >= 1 && x < 4 && y >= 1 && y < 3;
            EXPECT_EQ(GetPx(m, x, y), in ? PackScreenColor(255, 0, 0) : 0u) << x << "," << y;
        }
    ASSERT_EQ(RemoveGraph(inner, 0), 0);
    EXPECT_EQ(FillGraphSurfaces(inner, 0, 0, 0, 0), -1);  // stale handle
}
