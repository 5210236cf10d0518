// Four-corner draws on the device: axis-aligned corners as the stretched draw, parallelograms as
// batched quads in either winding, other shapes as vertex grids, and blend-graph strips.
#include "tests/d3d/graph_draw_fixture.h"

class QuadDrawTest : public GraphDrawTest {};

TEST_F(QuadDrawTest, AxisAlignedIntegerCornersDrawAsTheStretchedDraw)
{
    const int corners[8] = {10, 20, 110, 20, 10, 70, 110, 70};
    int mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_RenderGraphQuad(corners, graph, 0));
    std::vector<D3dRecordedVertex> quad = Drawn(mark);
    mark = D3dTestMark();
    ASSERT_EQ(0, Stretch(graph, 10, 20, 110, 70));
    std::vector<D3dRecordedVertex> stretched = Drawn(mark);
    ASSERT_EQ(6u, quad.size());
    EXPECT_EQ(0, memcmp(stretched.data(), quad.data(), sizeof quad[0] * 6));
}

TEST_F(QuadDrawTest, ParallelogramsAreBatchedQuadsInTheirOwnWinding)
{
    struct Case {
        const char *name;
        GraphRecord *graph;
        std::array<float, 8> corners;
        std::vector<std::array<float, 4>> first;  // the first piece's six vertices
    } cases[] = {
        {"quarter turn", wide, {100, 0, 100, 640, 80, 0, 80, 640},
         {{100, 0, 0, 0}, {100, 512, 1, 0}, {80, 0, 0, 0.625f}, {80, 512, 1, 0.625f}, {80, 0, 0, 0.625f}, {100, 512, 1, 0}}},
        {"mirrored: top-left, bottom-left, top-right, bottom-right, top-right, bottom-left", graph,
         {100, 0, 0, 0, 100, 50, 0, 50},
         {{100, 0, 0, 0}, {100, 50, 0, 1}, {0, 0, 1, 0}, {0, 50, 1, 1}, {0, 0, 1, 0}, {100, 50, 0, 1}}},
        {"within a pixel of a parallelogram", graph, {0, 0, 100, 0, 0, 50, 100.9f, 50.9f},
         {{0, 0, 0, 0}, {100, 0, 1, 0}, {0, 50, 0, 1}, {100.9f, 50.9f, 1, 1}, {0, 50, 0, 1}, {100, 0, 1, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int mark = D3dTestMark();
        ASSERT_EQ(0, Quad(c.graph, c.corners));
        std::vector<D3dRecordedVertex> v = Drawn(mark);
        ASSERT_EQ(6u * (size_t)c.graph->pieces.count, v.size());
        ExpectVertices(v.data(), c.first);
        EXPECT_EQ(DRAW_DIFFUSE, v[3].diffuse);
        EXPECT_EQ(0, Count(Calls(mark), "DrawIndexedPrimitive"));
    }
}

TEST_F(QuadDrawTest, OtherShapesBecomeGridsDrawnAtOnce)
{
    ASSERT_EQ(0, At(graph, 0, 0));
    // Top edge 100 pixels wide, bottom edge 60; what was queued is drawn first.
    int mark = D3dTestMark();
    ASSERT_EQ(0, Quad(graph, {0, 0, 100, 0, 20, 50, 80, 50}));
    EXPECT_EQ("dev1 DrawPrimitive TRIANGLELIST 0x144 6\ndev1 DrawIndexedPrimitive TRIANGLESTRIP 0x144 64 124\n",
              std::string(Calls(mark, D3D_CALL_DRAW_PRIMITIVE)) + Calls(mark, D3D_CALL_DRAW_INDEXED_PRIMITIVE));
    std::vector<D3dRecordedVertex> v = Drawn(mark, D3D_CALL_DRAW_INDEXED_PRIMITIVE);
    ASSERT_EQ(64u, v.size());
    for (int k = 0; k < 8; k++) {  // row 7 on the bottom edge, column 7 on the right edge
        ExpectVertices(&v[56 + k], {{20 + 60.0f * k / 7, 50, k / 7.0f, 1}});
        ExpectVertices(&v[8 * k + 7], {{100 - 20.0f * k / 7, 50.0f * k / 7, 1, k / 7.0f}});
    }
    // Just beyond a pixel off a parallelogram.
    mark = D3dTestMark();
    ASSERT_EQ(0, Quad(graph, {0, 0, 100, 0, 0, 50, 101, 51}));
    EXPECT_EQ(1, Count(Calls(mark), "DrawIndexedPrimitive"));
    // Two pieces on a trapezoid are placed bilinearly and share their edge at graph x 512.
    mark = D3dTestMark();
    ASSERT_EQ(0, Quad(wide, {0, 0, 640, 0, 100, 100, 540, 100}));
    v = Drawn(mark, D3D_CALL_DRAW_INDEXED_PRIMITIVE);
    ASSERT_EQ(128u, v.size());
    for (int i = 0; i < 8; i++) ExpectVertices(&v[8 * i + 7], {{v[64 + 8 * i].x, v[64 + 8 * i].y, 1, i * 0.625f / 7}});
    ExpectVertices(&v[64], {{512, 0, 0, 0}});
    ExpectVertices(&v[120], {{452, 100, 0, 0.625f}});
}

TEST_F(QuadDrawTest, WithABlendGraphTheCornersAreTruncatedAndEachPieceIsAStrip)
{
    GDrawSettings.blendGraph = blend->handle;
    ASSERT_EQ(0, G_D3D_BindBlendTexture(blend, 128, 0));
    int mark = D3dTestMark();
    ASSERT_EQ(0, Quad(wide, {10.7f, 20.9f, 650.2f, 30.1f, 10.3f, 40.8f, 650.9f, 50.6f}));
    EXPECT_EQ("dev1 DrawPrimitive TRIANGLESTRIP 0x2C4 4\ndev1 DrawPrimitive TRIANGLESTRIP 0x2C4 4\n",
              Calls(mark, D3D_CALL_DRAW_PRIMITIVE));
    // The second piece, graph (512, 0)-(640, 20), on corners (10, 20), (650, 30), (10, 40), (650, 50).
    std::vector<D3dRecordedVertex> v = Drawn(mark);
    ASSERT_EQ(8u, v.size());
    EXPECT_EQ(std::vector<float>({521.5f, 27.5f, 2, 649.5f, 49.5f, 20.0f / 256, 1}),
              std::vector<float>({v[4].x, v[4].y, v[4].u0, v[7].x, v[7].y, v[7].v0, v[7].u1}));
    for (const D3dRecordedVertex &corner : v) EXPECT_EQ(DRAW_DIFFUSE, corner.diffuse);
    // Axis-aligned corners still go to the batch; border 255 drops the strips.
    ASSERT_EQ(0, Quad(graph, {10.5f, 20, 74, 20, 10, 52, 74, 52.5f}));
    EXPECT_EQ(6u, Device().vertexCount);
    ASSERT_EQ(0, G_D3D_BindBlendTexture(blend, 255, 0));
    mark = D3dTestMark();
    ASSERT_EQ(0, Quad(graph, {10, 0, 74, 10, 0, 32, 64, 42}));
    EXPECT_EQ(0, Count(Calls(mark), "DrawPrimitive"));
}

TEST_F(QuadDrawTest, TheMeshLeavesOutPiecesItCannotWrite)
{
    // A blend texture on the device that the draw settings do not name: blend vertices.
    ASSERT_EQ(0, G_D3D_BindBlendTexture(blend, 128, 0));
    int mark = D3dTestMark();
    ASSERT_EQ(0, Quad(graph, {10, 0, 74, 10, 0, 32, 64, 42}));
    ASSERT_EQ(0, Quad(graph, {0, 0, 100, 0, 20, 50, 80, 50}));
    EXPECT_EQ((uint32_t)VERTEX_TYPE_BLEND, Device().vertexType);
    EXPECT_EQ(0u, Device().vertexCount);
    EXPECT_EQ(0, Count(Calls(mark), "Draw"));
}
