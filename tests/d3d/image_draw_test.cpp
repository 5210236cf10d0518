// Image draws on the device: six vertices per piece shifted by half a pixel, clipping that moves the
// texel coordinates with the edge, the batch's room rule, blend coordinates and the front target.
#include <functional>

#include "tests/d3d/graph_draw_fixture.h"

class ImageDrawTest : public GraphDrawTest {};

TEST_F(ImageDrawTest, InsideTheRegionEachPieceIsSixVerticesShiftedByHalfAPixel)
{
    GDrawSettings.clientArea = Rect{5, 7, 0, 0};
    int mark = D3dTestMark();
    ASSERT_EQ(0, At(wide, 0, 10));
    std::vector<D3dRecordedVertex> v = Drawn(mark);
    ASSERT_EQ(12u, v.size());
    for (float l : {4.5f, 516.5f}) {
        float r = l == 4.5f ? 516.5f : 644.5f;
        ExpectVertices(&v[l == 4.5f ? 0 : 6], {{l, 16.5f, 0, 0}, {r, 16.5f, 1, 0}, {l, 36.5f, 0, 0.625f},
                                               {r, 36.5f, 1, 0.625f}, {l, 36.5f, 0, 0.625f}, {r, 16.5f, 1, 0}});
    }
    // Flat shading reads the first vertex of each triangle only.
    for (int i = 0; i < 6; i++) EXPECT_EQ(i % 3 ? STALE_DIFFUSE : DRAW_DIFFUSE, v[i].diffuse) << i;
}

TEST_F(ImageDrawTest, ClippingMovesTheTexelCoordinateWithTheEdge)
{
    SetDrawRegion(20, 0, 640, 480);
    struct Case {
        int x1, x2;      // x2 = 0: unscaled at x1
        float l, r, ul;  // left and right x, u at the left
    } cases[] = {
        {10, 0, 19.5f, 73.5f, 10.0f / 64},    // 10 pixels hidden
        {10, 138, 19.5f, 137.5f, 5.0f / 64},  // the same 10 pixels, twice the width
        {120, -8, 119.5f, 19.5f, 0},          // mirrored: the right edge is hidden, 14 texels of it
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x2);
        int mark = D3dTestMark();
        ASSERT_EQ(0, c.x2 ? Stretch(graph, c.x1, 100, c.x2, 132) : At(graph, c.x1, 100));
        float ur = c.x2 < 0 ? 50.0f / 64 : 1;
        ExpectVertices(Drawn(mark).data(), {{c.l, 99.5f, c.ul, 0}, {c.r, 99.5f, ur, 0}, {c.l, 131.5f, c.ul, 1},
                                            {c.r, 131.5f, ur, 1}, {c.l, 131.5f, c.ul, 1}, {c.r, 99.5f, ur, 0}});
    }
}

TEST_F(ImageDrawTest, WhollyOutsideQueuesNothingAndAnEmptyStretchFails)
{
    struct Case {
        int x1, y1, x2, y2;  // x2 = 0: unscaled at (x1, y1)
        int result;
    } cases[] = {{-64, 0, 0, 0, 0}, {0, -32, 0, 0, 0}, {640, 0, 0, 0, 0}, {0, 480, 0, 0, 0},
                 {0, 0, -64, 32, 0}, {10, 10, 10, 50, -1}};
    for (const Case &c : cases) {
        ASSERT_EQ(0, G_D3D_EndScene());
        int mark = D3dTestMark();
        EXPECT_EQ(c.result, c.x2 ? Stretch(graph, c.x1, c.y1, c.x2, c.y2) : At(graph, c.x1, c.y1)) << c.x1;
        EXPECT_EQ(0u, Device().vertexCount);
        // Outside, the scene has begun all the same; an empty stretch fails before it.
        EXPECT_EQ(c.result + 1, Count(Calls(mark), "BeginScene"));
    }
}

TEST_F(ImageDrawTest, AFullBatchIsDrawnBeforeTheNextPieceUnlessTheBlendStateDropsIt)
{
    struct Case {
        int border;  // -1: no blend graph
        int quads;   // the most a batch of the type holds
        const char *drawn;
    } cases[] = {{-1, 389, "dev1 DrawPrimitive TRIANGLELIST 0x144 2334\n"},
                 {128, 272, "dev1 DrawPrimitive TRIANGLELIST 0x2C4 1632\n"},
                 {255, 272, ""}};  // border 255 lets nothing of the image through
    for (const Case &c : cases) {
        SCOPED_TRACE(c.border);
        if (c.border >= 0) G_D3D_BindBlendTexture(blend, c.border, 0);
        ASSERT_EQ(0, At(graph, 0, 0));
        QueueQuads(c.quads - 1);
        int mark = D3dTestMark();
        ASSERT_EQ(0, At(graph, 0, 0));
        EXPECT_EQ(c.drawn, std::string(Calls(mark, D3D_CALL_DRAW_PRIMITIVE)));
        EXPECT_EQ(6u, Device().vertexCount);
        G_D3D_FlushDeviceBatch(0);
    }
}

TEST_F(ImageDrawTest, BlendCoordinatesLayTheBlendGraphOverTheGraphWhereverItIsDrawn)
{
    ASSERT_EQ(0, G_D3D_BindBlendTexture(blend, 128, 0));
    for (int y : {0, 300}) {
        int mark = D3dTestMark();
        ASSERT_EQ(0, Stretch(wide, 0, y, 320, y + 10));
        std::vector<D3dRecordedVertex> v = Drawn(mark);
        ASSERT_EQ(12u, v.size());
        // The second piece from graph (512, 0) to (640, 20); its own texel coordinates come second.
        EXPECT_EQ(std::vector<float>({2, 0, 2.5f, 20.0f / 256, 1, 0.625f}),
                  std::vector<float>({v[6].u0, v[6].v0, v[9].u0, v[9].v0, v[9].u1, v[9].v1}));
    }
}

TEST_F(ImageDrawTest, OnTheFrontBufferEveryDrawEndsTheSceneButAFailedOne)
{
    ASSERT_EQ(0, G_D3D_ChangeDrawTarget(-4));
    std::function<int(GraphRecord *)> draws[] = {
        [](GraphRecord *g) { return At(g, 10, 10); },
        [](GraphRecord *g) { return Stretch(g, 10, 10, 74, 42); },
        [](GraphRecord *g) { return Quad(g, {10, 10, 74, 10, 10, 42, 74, 42}); },
    };
    for (const auto &draw : draws) {
        int mark = D3dTestMark();
        ASSERT_EQ(0, draw(graph));
        EXPECT_NE(std::string::npos, std::string(Calls(mark)).find("0x144 6\ndev1 EndScene\n"));
    }
    // A piece gone stale: -1, the pieces before it stay queued, the scene stays open.
    FakeRelease(PieceData(wide, 1));
    ASSERT_EQ(0, DeleteSurface3DData(wide->pieces.handles[1]));
    for (const auto &draw : {draws[0], draws[2]}) {
        int mark = D3dTestMark();
        EXPECT_EQ(-1, draw(wide));
        EXPECT_EQ(6u, Device().vertexCount);
        EXPECT_EQ(0, Count(Calls(mark), "EndScene"));
        G_D3D_FlushDeviceBatch(0);
    }
}

TEST_F(ImageDrawTest, APieceThatSwitchesTheVertexTypeIsLeftOut)
{
    // The second piece lost its texture surface (a failed rebuild): it switches to untextured.
    FakeRelease(PieceData(wide, 1));
    for (int quad = 0; quad < 2; quad++) {
        int mark = D3dTestMark();
        ASSERT_EQ(0, quad ? Quad(wide, {0, 0, 640, 0, 0, 20, 640, 20}) : At(wide, 0, 0));
        EXPECT_EQ("dev1 DrawPrimitive TRIANGLELIST 0x144 6\n", Calls(mark, D3D_CALL_DRAW_PRIMITIVE));
        EXPECT_EQ((uint8_t *)Device().colorVertices, Device().writePointer);
    }
}

TEST_F(ImageDrawTest, WithoutAUsableDeviceNothingIsQueued)
{
    D3dDevice *device = Device().device;
    D3dObject *direct3D = GDirect3D.direct3D;
    struct Case {
        D3dObject *direct3D;
        uint32_t slot, suspended;  // slot 1 is not in use
        D3dDevice *device;         // null after a failed re-creation
        int result;
    } cases[] = {{nullptr, 0, 0, device, -1}, {direct3D, 1, 0, device, -1}, {direct3D, 0, 1, device, 0},
                 {direct3D, 0, 0, nullptr, 0}};
    for (const Case &c : cases) {
        GDirect3D.direct3D = c.direct3D, GDirect3D.currentSlot = c.slot, GDirect3D.suspended = c.suspended;
        GDevice3D[0].device = c.device;
        int mark = D3dTestMark();
        EXPECT_EQ(c.result, At(graph, 0, 0));
        EXPECT_EQ(c.result, Stretch(graph, 0, 0, 64, 32));
        EXPECT_EQ(c.result, Quad(graph, {0, 0, 64, 0, 0, 32, 64, 40}));
        GDirect3D.direct3D = direct3D, GDirect3D.currentSlot = 0, GDirect3D.suspended = 0;
        GDevice3D[0].device = device;
        EXPECT_EQ("", std::string(Calls(mark)));
    }
    // A caller's "true" of 4 is no Z request.
    GDrawSettings.zEnable = 1;
    ASSERT_EQ(0, At(graph, 0, 0, 4));
    EXPECT_EQ(0u, Device().zEnable);
}
