// Draw entries and the software route: what reaches the drawers, keyed pixels, refusals, the guard.
#include <climits>
#include <vector>

#include "lib/graphics/draw.h"
#include "tests/graphics/draw_fixture.h"

// What the spy drawers saw.
static struct {
    std::vector<std::vector<int>> rects;      // fillRect / blitStretched rectangles
    std::vector<LineSegmentRecord> lines;
    std::vector<TriangleVertex> triangles;
    std::vector<std::vector<int>> circles;
    int blits;
} sSeen;

static void SpyFill(MEMIMG *, const int *rect, unsigned colour)
{
    sSeen.rects.push_back({rect[0], rect[1], rect[2], rect[3], (int)colour});
}
static void SpyLines(MEMIMG *, const LineSegmentRecord *records, int count)
{
    sSeen.lines.insert(sSeen.lines.end(), records, records + count);
}
static void SpyStretch(MEMIMG *, const MEMIMG *, const int *rect, int, const MEMIMG *)
{
    sSeen.rects.push_back({rect[0], rect[1], rect[2], rect[3]});
}
static void SpyTriangle(MEMIMG *, const MEMIMG *, const TriangleVertex v[3], int, const MEMIMG *, uint32_t)
{
    sSeen.triangles.insert(sSeen.triangles.end(), v, v + 3);
}
static void SpyCircle(MEMIMG *, int x, int y, int r, unsigned colour, int fill)
{
    sSeen.circles.push_back({x, y, r, (int)colour, fill});
}
static void SpyBlit(MEMIMG *, const MEMIMG *, int, int, int, const MEMIMG *) { sSeen.blits++; }

class DrawRouteTest : public LibraryDrawTest {
protected:
    void SetUp() override
    {
        LibraryDrawTest::SetUp();
        sSeen = {};
        SoftwareDrawRoute spy = {"spy", SpyBlit, SpyStretch, SpyFill, SpyLines, SpyTriangle, SpyCircle};
        SetSoftwareDrawRoute(&spy);
    }
    void TearDown() override
    {
        SetSoftwareDrawRoute(nullptr);
        LibraryDrawTest::TearDown();
    }
    int MakeGraph(int w, int h)
    {
        GraphImage picture = MakePicture(w, h, [](int, int) { return 0xFFFFFF; });
        int graph = MakeGraphFromImages(&picture, nullptr);
        DiscardGraphImage(&picture);
        return graph;
    }
};

TEST_F(DrawRouteTest, RectangleReachesTheDrawersUnchanged)
{
    ASSERT_EQ(PaintRectangle(30, 20, 10, 5, 0x1234, 1), 0);
    ASSERT_EQ(sSeen.rects.size(), 1u);
    EXPECT_EQ(sSeen.rects[0], (std::vector<int>{30, 20, 10, 5, 0x1234}));

    SelectBlendMode(MEMIMG_BLEND_ALPHA, 77);
    ASSERT_EQ(PaintRectangle(1, 2, 5, 9, 0x00FF, 0), 0);
    ASSERT_EQ(sSeen.lines.size(), 4u);
    const int expected[4][4] = {{1, 2, 4, 2}, {4, 2, 4, 8}, {4, 8, 1, 8}, {1, 8, 1, 2}};
    for (int i = 0; i < 4; i++) {
        const LineSegmentRecord &l = sSeen.lines[i];
        EXPECT_EQ((std::vector<int>{l.x1, l.y1, l.x2, l.y2}),
                  (std::vector<int>{expected[i][0], expected[i][1], expected[i][2], expected[i][3]}));
        EXPECT_EQ(l.colour, 0x00FF);
        EXPECT_EQ(l.param, 77);
    }
}

TEST_F(DrawRouteTest, CircleArgumentsPassUnchangedAndNegativeRadiusDrawsNothing)
{
    ASSERT_EQ(PaintCircle(-5, 700, 96, 0xBEEF, 1), 0);
    ASSERT_EQ(PaintCircle(1, 1, -1, 0xBEEF, 1), 0);
    ASSERT_EQ(sSeen.circles.size(), 1u);
    EXPECT_EQ(sSeen.circles[0], (std::vector<int>{-5, 700, 96, 0xBEEF, 1}));
}

TEST_F(DrawRouteTest, OutOfLimitInputIsRefusedBeforeTheDrawer)
{
    int graph = MakeGraph(4, 4);
    EXPECT_EQ(PutGraphStretched(0, 0, 32768, 10, graph, 1), 0);
    EXPECT_EQ(PutGraphStretched(-20000, 0, 20000, 10, graph, 1), 0);
    EXPECT_EQ(PutGraphStretched(10, 0, -32758, 10, graph, 1), 0);
    EXPECT_TRUE(sSeen.rects.empty());
    EXPECT_EQ(PutGraphStretched(32767, 0, 0, 10, graph, 1), 0);
    EXPECT_EQ(sSeen.rects.size(), 1u);

    EXPECT_EQ(PutGraphFreeQuad(0, 0, 9000, 0, 9000, 4, 0, 4, graph, 1), 0);   // 9000 apart
    EXPECT_EQ(PutGraphFreeQuad(-9000, 0, 4, 0, 4, 4, 0, 4, graph, 1), 0);     // outside the range
    EXPECT_EQ(PutGraphFreeQuad(0.0f / 0.0f, 0, 4, 0, 4, 4, 0, 4, graph, 1), 0);
    EXPECT_TRUE(sSeen.triangles.empty());

    // A blend image smaller than the source: nothing drawn.
    int small = MakeGraph(1, 1);
    ASSERT_EQ(SelectBlendGraph(small, 128, 64), 0);
    EXPECT_EQ(PutGraph(0, 0, graph, 1), 0);
    EXPECT_EQ(sSeen.blits, 0);
    ASSERT_EQ(SelectBlendGraph(-1, 0, 0), 0);
    EXPECT_EQ(PutGraph(0, 0, graph, 1), 0);
    EXPECT_EQ(sSeen.blits, 1);

    // An outline whose last column or row would lie before the smallest int draws nothing.
    EXPECT_EQ(PaintRectangle(0, 0, INT_MIN, 5, 0xFFFF, 0), 0);
    EXPECT_EQ(PaintRectangle(0, 0, 5, INT_MIN, 0xFFFF, 0), 0);
    EXPECT_TRUE(sSeen.lines.empty());
    EXPECT_EQ(PaintRectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0xFFFF, 0), 0);
    EXPECT_EQ(sSeen.lines.size(), 4u);
}

TEST_F(DrawRouteTest, FreeQuadIsTwoTrianglesOverTheWholeGraph)
{
    int graph = MakeGraph(10, 6);
    ASSERT_EQ(PutGraphFreeQuad(1.4f, 2.6f, 11, 2, 12, 9, -0.6f, 8, graph, 1), 0);
    ASSERT_EQ(sSeen.triangles.size(), 6u);
    auto v = [](const TriangleVertex &t) { return std::vector<int>{t.x, t.y, t.u, t.v}; };
    EXPECT_EQ(v(sSeen.triangles[0]), (std::vector<int>{1, 3, 0, 0}));
    EXPECT_EQ(v(sSeen.triangles[1]), (std::vector<int>{11, 2, 10, 0}));
    EXPECT_EQ(v(sSeen.triangles[2]), (std::vector<int>{12, 9, 10, 6}));
    EXPECT_EQ(v(sSeen.triangles[5]), (std::vector<int>{-1, 8, 0, 6}));
}

TEST_F(DrawRouteTest, GuardDrawsNothingAndNoDisplayGivesMinusOne)
{
    int graph = MakeGraph(4, 4);
    GDrawSettings.noDrawGuard = 1;
    EXPECT_EQ(PutGraph(0, 0, graph, 1), 0);
    EXPECT_EQ(PaintRectangle(0, 0, 4, 4, 1, 1), 0);
    EXPECT_EQ(PaintCircle(0, 0, 4, 1, 1), 0);
    GDrawSettings.noDrawGuard = 0;
    EXPECT_EQ(sSeen.blits, 0);
    EXPECT_TRUE(sSeen.rects.empty());
    EXPECT_TRUE(sSeen.circles.empty());
    // A graph target that is gone: the draws fail instead of drawing anywhere.
    int target = MakeGraph(8, 8);
    ASSERT_EQ(SelectDrawTarget(target), 0);
    RemoveGraph(target, 0);
    EXPECT_EQ(PaintRectangle(0, 0, 4, 4, 1, 1), -1);
    EXPECT_EQ(PutGraph(0, 0, graph, 1), -1);
}

using DrawPixelTest = LibraryDrawTest;

TEST_F(DrawPixelTest, KeyedPixelsLeaveTheTargetUntouched)
{
    // Black is the transparent colour: a ring of black round a white centre.
    GraphImage picture = MakePicture(6, 6, [](int x, int y) { return x >= 2 && x < 4 && y >= 2 && y < 4 ? 0xFFFFFF : 0; });
    int graph = MakeGraphFromImages(&picture, nullptr);
    DiscardGraphImage(&picture);
    FillBack(0x1234);
    ASSERT_EQ(PutGraph(100, 50, graph, 1), 0);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 6; x++) {
            bool inside = x >= 2 && x < 4 && y >= 2 && y < 4;
            EXPECT_EQ(BackPixel(100 + x, 50 + y), inside ? 0xFFFFu : 0x1234u) << x << "," << y;
        }
    // Without the transparent flag the black is copied.
    ASSERT_EQ(PutGraph(100, 50, graph, 0), 0);
    EXPECT_EQ(BackPixel(100, 50), 0u);
}

TEST_F(DrawPixelTest, StretchedDrawDoublesEachPixelAndClipsToTheRegion)
{
    GraphImage picture = MakePicture(2, 1, [](int x, int) { return x ? 0xFF0000 : 0x0000FF; });
    int graph = MakeGraphFromImages(&picture, nullptr);
    DiscardGraphImage(&picture);
    FillBack(0);
    SetDrawRegion(0, 0, 3, 480);
    ASSERT_EQ(PutGraphStretched(0, 0, 4, 2, graph, 0), 0);
    EXPECT_EQ(BackPixel(0, 1), 0x001Fu);
    EXPECT_EQ(BackPixel(1, 1), 0x001Fu);
    EXPECT_EQ(BackPixel(2, 0), 0xF800u);
    EXPECT_EQ(BackPixel(3, 0), 0u);  // outside the region
}

TEST_F(DrawPixelTest, FilledBoxAndDiscReachTheScreen)
{
    FillBack(0);
    ASSERT_EQ(PaintRectangle(10, 10, 20, 15, PackScreenColor(255, 255, 255), 1), 0);
    EXPECT_EQ(BackPixel(10, 10), 0xFFFFu);
    EXPECT_EQ(BackPixel(19, 14), 0xFFFFu);
    EXPECT_EQ(BackPixel(20, 14), 0u);
    ASSERT_EQ(PaintCircle(100, 100, 16, PackScreenColor(255, 0, 0), 1), 0);
    EXPECT_EQ(BackPixel(100, 100), 0xF800u);
    EXPECT_EQ(BackPixel(100, 84), 0xF800u);
    EXPECT_EQ(BackPixel(120, 100), 0u);
}

TEST_F(DrawPixelTest, AxisAlignedFreeQuadDrawsLikePutGraph)
{
    GraphImage picture = MakePicture(16, 16, [](int x, int y) { return (x + y) % 5 ? (uint32_t)(x * 16) << 16 | (uint32_t)(y * 16) << 8 | 0x40 : 0; });
    int graph = MakeGraphFromImages(&picture, nullptr);
    DiscardGraphImage(&picture);
    FillBack(0x1111);
    ASSERT_EQ(PutGraph(0, 0, graph, 1), 0);
    ASSERT_EQ(PutGraphFreeQuad(100, 0, 116, 0, 116, 16, 100, 16, graph, 1), 0);
    for (int y = 0; y < 15; y++)
        for (int x = 0; x < 15; x++) EXPECT_EQ(BackPixel(100 + x, y), BackPixel(x, y)) << x << "," << y;
}

TEST_F(DrawPixelTest, BlendGraphWeightsTheDrawAndIsSwitchedOff)
{
    GraphImage white = MakePicture(8, 8, [](int, int) { return 0xFFFFFF; });
    GraphImage ramp = MakePicture(16, 8, [](int x, int) { return x < 8 ? 0x000000 : 0xFFFFFF; });
    int graph = MakeGraphFromImages(&white, nullptr);
    int blend = MakeGraphFromImages(&ramp, nullptr);
    DiscardGraphImage(&white);
    DiscardGraphImage(&ramp);
    FillBack(0);
    ASSERT_EQ(SelectBlendGraph(blend, 0, 0), 0);
    ASSERT_EQ(PutGraph(0, 0, graph, 0), 0);
    ASSERT_EQ(SelectBlendGraph(-1, 0, 0), 0);
    ASSERT_EQ(PutGraph(0, 20, graph, 0), 0);
    EXPECT_NE(BackPixel(0, 0), BackPixel(0, 20));  // the black blend bytes held the first draw back
    EXPECT_EQ(BackPixel(0, 20), 0xFFFFu);
}

// Every public draw at the ends of the int range, in every blend mode family, on the real drawers:
// nothing overflows (the sanitized build would stop) and nothing lands on the screen.
TEST_F(DrawPixelTest, ExtremeCoordinatesDrawNothingAndNeverOverflow)
{
    GraphImage picture = MakePicture(8, 8, [](int x, int y) { return x == 0 ? 0 : 0x808080 + x * 16 + y; });
    int graph = MakeGraphFromImages(&picture, nullptr);
    DiscardGraphImage(&picture);
    ASSERT_NE(graph, -1);
    FillBack(0x1234);
    const int ends[] = {INT_MIN, INT_MIN + 1, -70000, 70000, INT_MAX - 1, INT_MAX};
    const float far[] = {-3.4e38f, -1e9f, 1e9f, 3.4e38f};
    for (int mode : {MEMIMG_BLEND_COPY, MEMIMG_BLEND_ALPHA, MEMIMG_BLEND_ADD, MEMIMG_BLEND_SUBTRACT}) {
        SelectBlendMode(mode, 128);
        for (int a : ends)
            for (int b : ends) {
                PutGraph(a, b, graph, 1);
                PutGraph(a, 0, graph, 0);
                PutGraph(0, b, graph, 1);
                PutGraphStretched(a, b, a, b, graph, 1);
                PutGraphStretched(a, 0, b, 8, graph, 1);
                PaintRectangle(a, b, a, b, 0xFFFF, 1);
                PaintRectangle(a, 0, b, 8, 0xFFFF, 0);
                PaintCircle(a, b, 10, 0xFFFF, 1);
                PaintCircle(a, 0, INT_MAX, 0xFFFF, 0);
            }
        for (float f : far) PutGraphFreeQuad(f, 0, 8, 0, 8, 8, 0, f, graph, 1);
    }
    // Only draws that reach into the screen may change it; these all lie outside or are refused,
    // except the huge circles, so check a corner no huge circle's outline passes through.
    EXPECT_EQ(BackPixel(320, 240), 0x1234u);
}
