// Textures of a graph: the split of one side, the piece grid with its square-only cut and bound,
// derived pieces over shared textures, and release.
#include "lib/d3d/d3d_draw_hooks.h"
#include "tests/d3d/renderer_fixture.h"

class GraphTexturesTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        Start();
        SetLimits(1, 2048);
    }
    static void SetLimits(uint32_t minimum, uint32_t maximum)
    {
        GDirect3D.minTextureSize = minimum, GDirect3D.maxTextureSize = maximum;
    }
    static GraphRecord Graph(int width, int height, int drawValid = 0)
    {
        GraphRecord graph = {};
        graph.handle = 0x08000001;
        graph.format = SurfaceFormat{1, 0, (uint8_t)drawValid, 0, 0, 16};
        graph.width = width, graph.height = height;
        return graph;
    }
    // Deletes a piece; the last piece on a texture takes the texture along, as the graphics core does.
    static void Delete(int handle)
    {
        const Surface3DData *p = GetSurface3DData(handle);
        const SurfaceDataRecord *data = p ? LookupSurfaceData(p->surfaceData) : nullptr;
        if (data && data->refCount == 1) FakeRelease(p->surfaceData);
        DeleteSurface3DData(handle);
    }
    static int Release(GraphRecord *graph)
    {
        for (int i = 0; i < graph->pieces.count; i++) {
            const Surface3DData *p = GetSurface3DData(graph->pieces.handles[i]);
            const SurfaceDataRecord *data = p ? LookupSurfaceData(p->surfaceData) : nullptr;
            if (data && data->refCount == 1) FakeRelease(p->surfaceData);
        }
        return G_D3D_ReleaseGraphTextures(graph);
    }
    // "x,y wxh (visible vw x vh)" of every piece in list order.
    static std::string Pieces(const GraphRecord &graph)
    {
        std::string out;
        for (int i = 0; i < graph.pieces.count; i++) {
            const Surface3DData *p = GetSurface3DData(graph.pieces.handles[i]);
            const SurfaceDataRecord *data = p ? LookupSurfaceData(p->surfaceData) : nullptr;
            if (!data) return out + "stale";
            out += std::to_string(p->graphX) + "," + std::to_string(p->graphY) + " " + std::to_string(data->width) +
                   "x" + std::to_string(data->height) + " (" + std::to_string(p->width) + "x" +
                   std::to_string(p->height) + ") ";
        }
        return out;
    }
};

TEST_F(GraphTexturesTest, SplitOfOneSide)
{
    struct Case {
        uint32_t minimum, maximum;
        int renderTarget, length;
        const char *sizes;
    } cases[] = {
        {1, 2048, 0, 5, "8"},          {1, 2048, 0, 20, "32"},          {1, 2048, 0, 33, "64"},
        {1, 2048, 0, 100, "128"},      {1, 2048, 0, 480, "512"},        {1, 2048, 0, 600, "1024"},
        {1, 2048, 0, 639, "1024"},     {1, 2048, 0, 640, "512 128"},    {1, 2048, 0, 700, "512 128 64"},
        {1, 2048, 0, 800, "512 256 32"}, {1, 2048, 0, 1000, "1024"},    {1, 2048, 0, 1100, "1024 64 32"},
        {1, 2048, 0, 1500, "1024 512"}, {1, 2048, 1, 640, "1024"},      {1, 2048, 1, 1100, "2048"},
        {1, 256, 0, 480, "256 128 64 32"}, {1, 256, 0, 640, "256 256 128"}, {1, 256, 0, 800, "256 256 256 32"},
        {64, 2048, 0, 5, "64"},        {1, 2048, 0, 32, "32"},
    };
    for (const Case &c : cases) {
        SetLimits(c.minimum, c.maximum);
        int sizes[64];
        int n = G_D3D_SplitTextureLength(c.length, sizes, 64, c.renderTarget);
        std::string got;
        for (int i = 0; i < n; i++) got += (i ? " " : "") + std::to_string(sizes[i]);
        EXPECT_EQ(c.sizes, got) << c.length << " at " << c.maximum << " flag " << c.renderTarget;
    }
    // A size array too small for the split is refused, not overrun.
    SetLimits(1, 256);
    int two[2];
    EXPECT_EQ(-1, G_D3D_SplitTextureLength(800, two, 2, 0));
}

TEST_F(GraphTexturesTest, GridSquareCutAndBound)
{
    GraphRecord graph = Graph(640, 480);
    ASSERT_EQ(0, G_D3D_CreateGraphTextures(&graph));
    EXPECT_EQ("0,0 512x512 (512x480) 512,0 128x512 (128x480) ", Pieces(graph));
    EXPECT_EQ(2, gDisplay.builds);
    const Surface3DData *first = GetSurface3DData(graph.pieces.handles[0]);
    EXPECT_EQ(0x08000001u, first->owner);
    ASSERT_EQ(0, Release(&graph));
    EXPECT_EQ(2, graph.pieces.count);
    EXPECT_EQ(0u, GDirect3D.surface3DCount);

    GraphRecord small = Graph(20, 5);
    ASSERT_EQ(0, G_D3D_CreateGraphTextures(&small));
    EXPECT_EQ("0,0 32x8 (20x5) ", Pieces(small));
    const uint8_t whole[4] = {1, 1, 1, 0};
    EXPECT_EQ(0, memcmp(whole, GetSurface3DData(small.pieces.handles[0])->cornerFlags, 4));
    Release(&small);

    // Square-only: the 128 x 512 piece keeps its place as a square, three more follow at the end.
    GDirect3D.deviceDesc.triCaps.textureCaps |= D3D_TEXCAPS_SQUAREONLY;
    GraphRecord square = Graph(640, 480);
    ASSERT_EQ(0, G_D3D_CreateGraphTextures(&square));
    EXPECT_EQ("0,0 512x512 (512x480) 512,0 128x128 (128x128) 512,128 128x128 (128x128) "
              "512,256 128x128 (128x128) 512,384 128x128 (128x96) ",
              Pieces(square));
    Release(&square);
    // Squares wholly below or right of the graph are not made: each one shows a part of it.
    const struct {
        int width, height;
        const char *pieces;
    } shown[] = {{700, 300, "0,0 512x512 (512x300) 512,0 128x128 (128x128) 640,0 64x64 (60x64) 512,128 128x128 (128x128) "
                            "512,256 128x128 (128x44) 640,64 64x64 (60x64) 640,128 64x64 (60x64) 640,192 64x64 (60x64) "
                            "640,256 64x64 (60x44) "},
                 {300, 100, "0,0 128x128 (128x100) 128,0 128x128 (128x100) 256,0 128x128 (44x100) "}};
    for (const auto &c : shown) {
        GraphRecord graph = Graph(c.width, c.height);
        ASSERT_EQ(0, G_D3D_CreateGraphTextures(&graph));
        EXPECT_EQ(c.pieces, Pieces(graph));
        Release(&graph);
    }
    // With the cut past 64 pieces the graph is refused as the grid would be.
    SetLimits(1, 256);
    GraphRecord wide = Graph(2048, 1056);
    EXPECT_EQ(-1, G_D3D_CreateGraphTextures(&wide));
    EXPECT_EQ(0u, GDirect3D.surface3DCount);
    GDirect3D.deviceDesc.triCaps.textureCaps &= ~(uint32_t)D3D_TEXCAPS_SQUAREONLY;

    GraphRecord huge = Graph(2048, 2304);
    int before = gDisplay.builds;
    EXPECT_EQ(-1, G_D3D_CreateGraphTextures(&huge));
    EXPECT_EQ(0, huge.pieces.count);
    EXPECT_EQ(before, gDisplay.builds);
    EXPECT_NE(std::string::npos, LogText().find("エラー：画像の分割数が最大数の 64 を超えました"));
}

TEST_F(GraphTexturesTest, DerivedPiecesShareTheSourceTextures)
{
    GraphRecord sheet = Graph(256, 256);
    ASSERT_EQ(0, G_D3D_CreateGraphTextures(&sheet));
    GraphRecord frame = Graph(32, 32);
    frame.handle = 0x08010002, frame.srcX = 64, frame.srcY = 32;
    ASSERT_EQ(0, G_D3D_DeriveGraphTextures(&frame, &sheet));
    ASSERT_EQ(1, frame.pieces.count);
    const Surface3DData *piece = GetSurface3DData(frame.pieces.handles[0]);
    const Surface3DData *source = GetSurface3DData(sheet.pieces.handles[0]);
    EXPECT_EQ(source->surfaceData, piece->surfaceData);
    EXPECT_EQ(64, piece->surfaceX);
    EXPECT_EQ(32, piece->surfaceY);
    EXPECT_EQ(0.25f, piece->corners[0].u);
    const uint8_t whole[4] = {1, 1, 1, 0};
    EXPECT_EQ(0, memcmp(whole, piece->cornerFlags, 4));

    // A rectangle across the two pieces of a 640-wide graph takes a part of each.
    GraphRecord screen = Graph(640, 480);
    ASSERT_EQ(0, G_D3D_CreateGraphTextures(&screen));
    GraphRecord across = Graph(40, 20);
    across.srcX = 500, across.srcY = 10;
    ASSERT_EQ(0, G_D3D_DeriveGraphTextures(&across, &screen));
    EXPECT_EQ("0,0 512x512 (12x20) 12,0 128x512 (28x20) ", Pieces(across));
    EXPECT_EQ(500, GetSurface3DData(across.pieces.handles[0])->surfaceX);
    EXPECT_EQ(0, GetSurface3DData(across.pieces.handles[1])->surfaceX);

    // A source with a stale piece derives nothing and keeps nothing.
    Delete(screen.pieces.handles[1]);
    GraphRecord broken = Graph(40, 20);
    broken.srcX = 500;
    EXPECT_EQ(-1, G_D3D_DeriveGraphTextures(&broken, &screen));
    EXPECT_EQ(0, broken.pieces.count);
    for (GraphRecord *g : {&frame, &across, &sheet}) Release(g);
    Delete(screen.pieces.handles[0]);
    EXPECT_EQ(0u, GDirect3D.surface3DCount);
}
