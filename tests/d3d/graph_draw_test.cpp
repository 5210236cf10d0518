// Image and four-corner draws of texture graphs on the device: six vertices per piece shifted by half
// a pixel, clipping that moves the texel coordinates with the edge, the batch's room rule, blend
// coordinates, parallelograms in either winding, vertex grids and blend-graph strips; and where any
// draw (boxes and circles too) sends nothing.
#include <regex>
#include <vector>

#include "tests/d3d/graph_draw_fixture.h"

#define CLIPPED {20, 0, 640, 480}
#define GRAPH_AT_00 "T -0.5,-0.5 63.5,-0.5 -0.5,31.5 63.5,31.5 -0.5,31.5 63.5,-0.5\n"
#define TRAPEZOID {0, 0, 100, 0, 20, 50, 80, 50}

TEST_F(GraphDrawTest, EachPieceIsSixVerticesPlacedClippedAndBatched)
{
    const DrawScene scenes[] = {
        {WHOLE_SCREEN, {5, 7, 0, 0}, 0, [] { return At(wide, 0, 10); },
         "T 4.5,16.5,0,0* 516.5,16.5,1,0 4.5,36.5,0,0.625 516.5,36.5,1,0.625* 4.5,36.5,0,0.625 516.5,16.5,1,0\n"
         "T 516.5,16.5,0,0* 644.5,16.5,1,0 516.5,36.5,0,0.625 644.5,36.5,1,0.625* 516.5,36.5,0,0.625 644.5,16.5,1,0\n", 1},
        // 10 pixels hidden, the same twice as wide, and mirrored (the right edge hidden: 14 texels).
        {CLIPPED, NO_OFFSET, 0, [] { return At(graph, 10, 100); },
         "T 19.5,99.5,0.15625,0* 73.5,99.5,1,0 19.5,131.5,0.15625,1 73.5,131.5,1,1* 19.5,131.5,0.15625,1 73.5,99.5,1,0\n", 1},
        {CLIPPED, NO_OFFSET, 0, [] { return Stretch(graph, 10, 100, 138, 132); },
         "T 19.5,99.5,0.078125,0* 137.5,99.5,1,0 19.5,131.5,0.078125,1 137.5,131.5,1,1* 19.5,131.5,0.078125,1 "
         "137.5,99.5,1,0\n", 1},
        {CLIPPED, NO_OFFSET, 0, [] { return Stretch(graph, 120, 100, -8, 132); },
         "T 119.5,99.5,0,0* 19.5,99.5,0.78125,0 119.5,131.5,0,1 19.5,131.5,0.78125,1* 119.5,131.5,0,1 19.5,99.5,0.78125,0\n", 1},
        {WHOLE_SCREEN, NO_OFFSET, 0, [] {
             return At(graph, -64, 0) + At(graph, 0, -32) + At(graph, 640, 0) + At(graph, 0, 480) + Stretch(graph, 0, 0, -64, 32);
         }, ""},
        // Axis-aligned integer corners are the stretched draw.
        {WHOLE_SCREEN, NO_OFFSET, 0, [] {
             const int corners[8] = {10, 20, 110, 20, 10, 70, 110, 70};
             return G_D3D_RenderGraphQuad(corners, graph, 0) + Stretch(graph, 10, 20, 110, 70);
         }, "T 9.5,19.5,0,0* 109.5,19.5,1,0 9.5,69.5,0,1 109.5,69.5,1,1* 9.5,69.5,0,1 109.5,19.5,1,0 9.5,19.5,0,0* "
            "109.5,19.5,1,0 9.5,69.5,0,1 109.5,69.5,1,1* 9.5,69.5,0,1 109.5,19.5,1,0\n", 1},
        // Parallelograms (within a pixel) are batched quads in their own winding.
        {WHOLE_SCREEN, NO_OFFSET, 0, [] { return Quad(wide, {100, 0, 100, 640, 80, 0, 80, 640}); },
         "T 100,0,0,0* 100,512,1,0 80,0,0,0.625 80,512,1,0.625* 80,0,0,0.625 100,512,1,0\n"
         "T 100,512,0,0* 100,640,1,0 80,512,0,0.625 80,640,1,0.625* 80,512,0,0.625 100,640,1,0\n", 1},
        {WHOLE_SCREEN, NO_OFFSET, 0, [] { return Quad(graph, {100, 0, 0, 0, 100, 50, 0, 50}); },
         "T 100,0,0,0* 100,50,0,1 0,0,1,0 0,50,1,1* 0,0,1,0 100,50,0,1\n", 1},
        {WHOLE_SCREEN, NO_OFFSET, 0, [] { return Quad(graph, {0, 0, 100, 0, 0, 50, 100.9f, 50.9f}); },
         "T 0,0,0,0* 100,0,1,0 0,50,0,1 100.9,50.9,1,1* 0,50,0,1 100,0,1,0\n", 1},
        // Other shapes are grids drawn at once, after what is queued; pieces are placed bilinearly.
        {WHOLE_SCREEN, NO_OFFSET, 0, []() -> int { return At(graph, 0, 0) || Quad(graph, TRAPEZOID); },
         "T -0.5,-0.5,0,0* 63.5,-0.5,1,0 -0.5,31.5,0,1 63.5,31.5,1,1* -0.5,31.5,0,1 63.5,-0.5,1,0\n"
         "I 0,0,0,0* 100,0,1,0* 20,50,0,1* 80,50,1,1* 64\n", 1},
        {WHOLE_SCREEN, NO_OFFSET, 0, [] { return Quad(graph, {0, 0, 100, 0, 0, 50, 101, 51}); }, "I 0,0 100,0 0,50 101,51 64\n"},
        {WHOLE_SCREEN, NO_OFFSET, 0, [] { return Quad(wide, {0, 0, 640, 0, 100, 100, 540, 100}); },
         "I 0,0,0,0* 512,0,1,0* 100,100,0,0.625* 452,100,1,0.625* 64\n"
         "I 512,0,0,0* 640,0,1,0* 452,100,0,0.625* 540,100,1,0.625* 64\n", 1},
        // A full batch (389 quads, 272 of blend vertices) is drawn before the next piece, unless the
        // blend state drops it (border 255 lets nothing through).
        {WHOLE_SCREEN, NO_OFFSET, 0, []() -> int { return At(graph, 0, 0) || (QueueQuads(388), At(graph, 0, 0)); },
         "T 2334\n" GRAPH_AT_00},
        {WHOLE_SCREEN, NO_OFFSET, 0, []() -> int {
             return G_D3D_BindBlendTexture(blend, 128, 0) || At(graph, 0, 0) || (QueueQuads(271), At(graph, 0, 0));
         }, "T 1632\n" GRAPH_AT_00},
        {WHOLE_SCREEN, NO_OFFSET, 0, []() -> int {
             return G_D3D_BindBlendTexture(blend, 255, 0) || At(graph, 0, 0) || (QueueQuads(271), At(graph, 0, 0));
         }, ""},
        // Blend coordinates lay the blend graph over the graph wherever it is drawn.
        {WHOLE_SCREEN, NO_OFFSET, 0, []() -> int {
             return G_D3D_BindBlendTexture(blend, 128, 0) || Stretch(wide, 0, 300, 320, 310);
         }, "T -0.5,299.5,0,0,0,0* 255.5,299.5,2,0,1,0 -0.5,309.5,0,0.078125,0,0.625 255.5,309.5,2,0.078125,1,0.625* "
            "-0.5,309.5,0,0.078125,0,0.625 255.5,299.5,2,0,1,0\nT 255.5,299.5,2,0,0,0* 319.5,299.5,2.5,0,1,0 "
            "255.5,309.5,2,0.078125,0,0.625 319.5,309.5,2.5,0.078125,1,0.625* 255.5,309.5,2,0.078125,0,0.625 "
            "319.5,299.5,2.5,0,1,0\n", 2},
        // Pieces the draw cannot write are left out: blend vertices in a mesh (the blend texture bound
        // above), and a piece that lost its texture surface (untextured).
        {WHOLE_SCREEN, NO_OFFSET, 0, [] { return Quad(graph, {10, 0, 74, 10, 0, 32, 64, 42}) + Quad(graph, TRAPEZOID); }, ""},
        {WHOLE_SCREEN, NO_OFFSET, 0, []() -> int {
             FakeRelease(GetSurface3DData(wide->pieces.handles[1])->surfaceData);
             return G_D3D_BindBlendTexture(nullptr, 0, 0) || At(wide, 0, 0) || Quad(wide, {0, 0, 640, 0, 0, 20, 640, 20});
         }, "T -0.5,-0.5 511.5,-0.5 -0.5,19.5 511.5,19.5 -0.5,19.5 511.5,-0.5\nT 0,0 512,0 0,20 512,20 0,20 512,0\n"},
    };
    RunScenes(scenes, std::size(scenes));
}

TEST_F(GraphDrawTest, WithABlendGraphTheCornersAreTruncatedAndEachPieceIsAStrip)
{
    GDrawSettings.blendGraph = blend->handle;
    ASSERT_EQ(0, G_D3D_BindBlendTexture(blend, 128, 0));
    const DrawScene scenes[] = {
        {WHOLE_SCREEN, NO_OFFSET, 0, [] { return Quad(wide, {10.7f, 20.9f, 650.2f, 30.1f, 10.3f, 40.8f, 650.9f, 50.6f}); },
         "S 9.5,19.5,0,0,0,0* 521.5,27.5,2,0,1,0* 9.5,39.5,0,0.078125,0,0.625* 521.5,47.5,2,0.078125,1,0.625*\n"
         "S 521.5,27.5,2,0,0,0* 649.5,29.5,2.5,0,1,0* 521.5,47.5,2,0.078125,0,0.625* 649.5,49.5,2.5,0.078125,1,0.625*\n", 2},
        // Axis-aligned corners still go to the batch; border 255 drops the strips.
        {WHOLE_SCREEN, NO_OFFSET, 0, [] { return Quad(graph, {10.5f, 20, 74, 20, 10, 52, 74, 52.5f}); },
         "T 9.5,19.5 73.5,19.5 9.5,51.5 73.5,51.5 9.5,51.5 73.5,19.5\n"},
        {WHOLE_SCREEN, NO_OFFSET, 0, []() -> int {
             return G_D3D_BindBlendTexture(blend, 255, 0) || Quad(graph, {10, 0, 74, 10, 0, 32, 64, 42});
         }, ""},
    };
    RunScenes(scenes, std::size(scenes));
}

// Every draw of the renderer, images on graph g.
static int (*const kDraws[])(GraphRecord *g) = {
    [](GraphRecord *g) { return At(g, 10, 10); },
    [](GraphRecord *g) { return Stretch(g, 10, 10, 74, 42); },
    [](GraphRecord *g) { return Quad(g, {10, 10, 74, 10, 10, 42, 74, 42}); },
    [](GraphRecord *g) { return Quad(g, TRAPEZOID); },
    [](GraphRecord *) { return G_D3D_DrawSolidRectangle(0, 0, 8, 8, 0xFFFF); },
    [](GraphRecord *) { return G_D3D_DrawRectangleOutline(0, 0, 8, 8, 0xFFFF); },
    [](GraphRecord *) { return G_D3D_DrawCircle(20, 20, 3, 0xFFFF, 1); },
    [](GraphRecord *) { return G_D3D_DrawCircle(20, 20, 3, 0xFFFF, 0); },
};
#define NOT_RUN 9

TEST_F(GraphDrawTest, OnTheFrontBufferEveryDrawEndsTheSceneButAFailedOne)
{
    ASSERT_EQ(0, G_D3D_ChangeDrawTarget(-4));
    for (auto draw : kDraws) {
        int mark = D3dTestMark();
        ASSERT_EQ(0, draw(graph));
        EXPECT_TRUE(std::regex_search(Calls(mark), std::regex("Primitive [^\n]*\ndev1 EndScene\n$"))) << Calls(mark);
    }
    // A piece gone stale: -1, the pieces before it stay queued, the scene stays open.
    FakeRelease(GetSurface3DData(wide->pieces.handles[1])->surfaceData);
    ASSERT_EQ(0, DeleteSurface3DData(wide->pieces.handles[1]));
    for (int i : {0, 2}) {
        int mark = D3dTestMark();
        EXPECT_EQ(-1, kDraws[i](wide));
        EXPECT_EQ(6u, Device().vertexCount);
        EXPECT_EQ(0, Count(Calls(mark), "EndScene"));
        G_D3D_FlushDeviceBatch(0);
    }
}

TEST_F(GraphDrawTest, WhereTheDeviceCannotDrawNothingIsSent)
{
    D3dObject *direct3D = GDirect3D.direct3D;
    D3dDevice *device = Device().device;
    struct Case {
        const char *name;
        D3dObject *direct3D;
        uint32_t slot, suspended, blendMode;
        D3dDevice *device;
        int results[std::size(kDraws)];
    } cases[] = {
        {"direct3D down", nullptr, 0, 0, 0, device, {-1, -1, -1, -1, -1, -1, -1, -1}},
        {"slot not in use", direct3D, 1, 0, 0, device, {-1, -1, -1, -1, -1, -1, -1, -1}},
        // The software drawers take the shapes (a library test).
        {"suspended", direct3D, 0, 1, 0, device, {0, 0, 0, 0, NOT_RUN, NOT_RUN, NOT_RUN, NOT_RUN}},
        {"device lost in a failed re-creation", direct3D, 0, 0, 0, nullptr, {0, 0, 0, 0, -1, -1, -1, -1}},
        {"blend mode without a row: dropped", direct3D, 0, 0, 12, device, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GDirect3D.direct3D = c.direct3D, GDirect3D.currentSlot = c.slot, GDirect3D.suspended = c.suspended;
        GDrawSettings.blendMode = c.blendMode;
        GDevice3D[0].device = c.device;
        int mark = D3dTestMark();
        for (size_t i = 0; i < std::size(kDraws); i++)
            if (c.results[i] != NOT_RUN) {
                EXPECT_EQ(c.results[i], kDraws[i](graph)) << i;
            }
        G_D3D_FlushDeviceBatch(0);
        GDirect3D.direct3D = direct3D, GDirect3D.currentSlot = 0, GDirect3D.suspended = 0;
        GDevice3D[0].device = device;
        // Dropped draws may set state; the others send no call at all.
        EXPECT_EQ(0, Count(Calls(mark), c.blendMode ? "Draw" : "dev")) << Calls(mark);
    }
    // An empty stretch fails before the scene; a draw wholly outside begins it all the same.
    ASSERT_EQ(0, G_D3D_EndScene());
    int mark = D3dTestMark();
    EXPECT_EQ(-1, Stretch(graph, 10, 10, 10, 50));
    EXPECT_EQ(0, At(graph, 640, 0));
    EXPECT_EQ(1, Count(Calls(mark), "BeginScene"));
    // A caller's "true" of 4 is no Z request.
    GDrawSettings.zEnable = 1;
    ASSERT_EQ(0, At(graph, 0, 0, 4));
    EXPECT_EQ(0u, Device().zEnable);
}

// The draws of a whole graph (part null), or of a rectangle part of it alone.
static int QuadPart(GraphRecord *g, const Rect *part, std::array<float, 8> corners)
{
    return part ? G_D3D_RenderGraphPartFreeQuad(corners.data(), g, part, 0) : Quad(g, corners);
}
static const struct {
    const char *name;
    int (*draw)(GraphRecord *g, const Rect *part);
} kPartForms[] = {
    {"at", [](GraphRecord *g, const Rect *r) { return r ? G_D3D_RenderGraphPartAt(30, 40, g, r, 0) : At(g, 30, 40); }},
    {"clipped", [](GraphRecord *g, const Rect *r) { return r ? G_D3D_RenderGraphPartAt(-7, -9, g, r, 0) : At(g, -7, -9); }},
    {"mirrored", [](GraphRecord *g, const Rect *r) {
         return r ? G_D3D_RenderGraphPartStretched(90, 10, 10, 50, g, r, 0) : Stretch(g, 90, 10, 10, 50);
     }},
    {"turned", [](GraphRecord *g, const Rect *r) { return QuadPart(g, r, {100, 0, 100, 64, 60, 0, 60, 64}); }},
    {"grid", [](GraphRecord *g, const Rect *r) { return QuadPart(g, r, TRAPEZOID); }},
};

// A rectangle of a graph drawn alone reaches the device as the graph derived from it would, across
// the pieces' seams too, and makes no graph and no piece.
TEST_F(GraphDrawTest, ARectangleDrawsAsTheGraphDerivedFromIt)
{
    // Pieces 512 and 128 each way, and a graph derived across them (its pieces start inside theirs).
    GraphRecord *square = Graph(640, 640), *inner = Derive(square, {300, 300, 600, 600});
    ASSERT_TRUE(square && inner);
    const struct {
        GraphRecord *source;
        std::vector<Rect> parts;
    } sources[] = {
        {square, {{8, 4, 40, 20}, {500, 4, 530, 20}, {500, 500, 530, 520}, {512, 512, 640, 640}, {0, 0, 640, 640}}},
        {inner, {{8, 4, 40, 20}, {200, 200, 240, 220}, {0, 0, 300, 300}}},
    };
    for (int blended = 0; blended < 2; blended++) {
        // With a blend graph the four-corner draws are strips, whose corners take the graph's diagonal.
        GDrawSettings.blendGraph = blended ? blend->handle : -1;
        ASSERT_EQ(0, G_D3D_BindBlendTexture(blended ? blend : nullptr, 128, 0));
        for (const auto &[source, parts] : sources)
            for (const Rect &r : parts) {
                GraphRecord *derived = Derive(source, r);
                ASSERT_TRUE(derived);
                uint32_t pieces = GDirect3D.surface3DCount;
                int graphs = GetGraphCount();
                for (const auto &form : kPartForms) {
                    SCOPED_TRACE(testing::Message() << form.name << " " << r.left << "," << r.top << " of " << source->width
                                                    << (blended ? " blended" : ""));
                    G_D3D_FlushVertexBatch();
                    int mark = D3dTestMark();
                    ASSERT_EQ(0, form.draw(derived, nullptr));
                    std::string expected = Dump(mark, 2);
                    mark = D3dTestMark();
                    ASSERT_EQ(0, form.draw(source, &r));
                    EXPECT_NE("", expected);
                    EXPECT_EQ(expected, Dump(mark, 2));
                }
                EXPECT_EQ(pieces, GDirect3D.surface3DCount);
                EXPECT_EQ(graphs, GetGraphCount());
            }
    }
}
