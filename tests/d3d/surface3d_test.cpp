// 3D surface data records: slots, checks, the full table, shared surface data, corners, and the
// walks that restore and fill a graph's pieces.
#include "lib/d3d/d3d_draw_hooks.h"
#include "tests/d3d/renderer_fixture.h"

static const SurfaceFormat kTextureFormat = {1, 0, 0, 0, 0, 16};

// A 64 x 64 piece of its own surface data.
static int AddPiece(int x = 0, int y = 0)
{
    return AddSurface3DData(64, 64, x, y, 32, 32, x, y, 0x08000001, nullptr, 0, 0, &kTextureFormat);
}

TEST_F(RendererTest, SlotsReuseFromTheTopAndChecksWrap)
{
    Start();
    int h[3] = {AddPiece(), AddPiece(), AddPiece()};
    EXPECT_EQ(3u, GDirect3D.highWater);
    ASSERT_EQ(0, DeleteSurface3DData(h[2]));
    EXPECT_EQ(2u, GDirect3D.highWater);
    int again = AddPiece();
    EXPECT_EQ(2, again & 0xFFFF);
    ASSERT_EQ(0, DeleteSurface3DData(h[1]));
    EXPECT_EQ(3, AddPiece() & 0xFFFF);
    ASSERT_EQ(0, G_D3D_ClearSurface3DData());
    EXPECT_EQ(0u, GDirect3D.highWater);
    EXPECT_EQ(0u, GDirect3D.surface3DCount);

    // Deleting the only record empties the table; the 2049th record has check 0 again.
    for (int i = 0; i < 2048 - 5; i++) ASSERT_EQ(0, DeleteSurface3DData(AddPiece()));
    EXPECT_EQ(0u, GDirect3D.highWater);
    int wrapped = AddPiece();
    EXPECT_EQ(0x30000000, wrapped);
    EXPECT_EQ(0x30000000, wrapped & 0xF8000000);
}

TEST_F(RendererTest, StaleAndForeignHandlesAreRefused)
{
    Start();
    int live = AddPiece();
    int deleted = AddPiece();
    ASSERT_EQ(0, DeleteSurface3DData(deleted));
    const int bad[] = {deleted, live ^ 0x00010000, 0x08000000 | (live & 0x07FFFFFF), 0x30000005, -1};
    for (int handle : bad) {
        EXPECT_EQ(nullptr, GetSurface3DData(handle)) << std::hex << handle;
        EXPECT_EQ(-1, DeleteSurface3DData(handle)) << std::hex << handle;
    }
    EXPECT_NE(nullptr, GetSurface3DData(live));
}

TEST_F(RendererTest, CornersAndTextureCoordinates)
{
    Start();
    int h = AddSurface3DData(64, 64, 10, 20, 30, 40, 10, 20, 0x08000001, nullptr, 0, 0, &kTextureFormat);
    const Surface3DData *piece = GetSurface3DData(h);
    ASSERT_NE(nullptr, piece);
    const float expected[4][4] = {{10, 20, 0, 0}, {40, 20, 0.46875f, 0}, {10, 60, 0, 0.625f}, {40, 60, 0.46875f, 0.625f}};
    for (int c = 0; c < 4; c++) {
        const TexturedVertex &v = piece->corners[c];
        EXPECT_EQ(expected[c][0], v.x); EXPECT_EQ(expected[c][1], v.y);
        EXPECT_EQ(expected[c][2], v.u); EXPECT_EQ(expected[c][3], v.v);
        EXPECT_EQ(1.0f, v.rhw); EXPECT_EQ(0xFFFFFFFFu, v.diffuse);
    }
}

TEST_F(RendererTest, DerivedPiecesShareTheSourceSurface)
{
    Start();
    int source = AddSurface3DData(64, 64, 0, 0, 64, 64, 0, 0, 1, nullptr, 8, 4, &kTextureFormat);
    const Surface3DData *src = GetSurface3DData(source);
    int derived = AddSurface3DData(0, 0, 0, 0, 16, 16, 2, 2, 2, src, 16, 16, nullptr);
    const Surface3DData *piece = GetSurface3DData(derived);
    ASSERT_NE(nullptr, piece);
    EXPECT_EQ(src->surfaceData, piece->surfaceData);
    EXPECT_EQ(24, piece->surfaceX); EXPECT_EQ(20, piece->surfaceY);
    EXPECT_EQ(0.375f, piece->corners[0].u);
    int data = src->surfaceData;
    ASSERT_EQ(0, DeleteSurface3DData(source));
    EXPECT_NE(nullptr, LookupSurfaceData(data));
    ASSERT_EQ(0, DeleteSurface3DData(derived));
    EXPECT_EQ(nullptr, LookupSurfaceData(data));
}

TEST_F(RendererTest, TheFullTableRefusesTheNextRecord)
{
    Start();
    int first = AddPiece();
    const Surface3DData *src = GetSurface3DData(first);
    for (int i = 1; i < SURFACE3D_TABLE_SIZE; i++)
        ASSERT_NE(-1, AddSurface3DData(0, 0, 0, 0, 1, 1, 0, 0, 1, src, 0, 0, nullptr)) << i;
    EXPECT_EQ(-1, AddSurface3DData(0, 0, 0, 0, 1, 1, 0, 0, 1, src, 0, 0, nullptr));
    EXPECT_NE(std::string::npos, LogText().find("３Ｄグラフィックの数が許容量を越えました。\n"));
    // A freed slot below the top is found again.
    ASSERT_EQ(0, DeleteSurface3DData(MakeSurface3DHandle(100, GDirect3D.surface3D[100]->head.check)));
    EXPECT_EQ(100, AddSurface3DData(0, 0, 0, 0, 1, 1, 0, 0, 1, src, 0, 0, nullptr) & 0xFFFF);
}

TEST_F(RendererTest, GraphWalksStopAtAStalePiece)
{
    EXPECT_EQ(-1, AddPiece());
    EXPECT_NE(std::string::npos, LogText().find("３Ｄグラフィックエンジンが初期化されていません\n"));
    Start();
    GraphRecord graph = {};
    graph.pieces.count = 3;
    graph.pieces.handles[0] = AddPiece();
    graph.pieces.handles[1] = AddPiece() ^ 0x00010000;
    graph.pieces.handles[2] = AddPiece();
    EXPECT_EQ(-1, G_D3D_FillGraphTextures(&graph, 1, 2, 3, 4));
    EXPECT_EQ(1, gDisplay.fills);
    graph.pieces.count = 1;
    GDirect3D.suspended = 1;
    EXPECT_EQ(0, G_D3D_FillGraphTextures(&graph, 1, 2, 3, 4));
    EXPECT_EQ(2, gDisplay.fills);
    EXPECT_EQ(0, G_D3D_RestoreGraphTextures(&graph));
}
