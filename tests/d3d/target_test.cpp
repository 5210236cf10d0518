// The draw target on the device: render target and the front and suspended flags for screens and
// graphs, and the clear of a texture target.
#include <vector>

#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/graphics/graph_internal.h"
#include "tests/d3d/renderer_fixture.h"

class TargetTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        Start();
        GDirect3D.minTextureSize = 1, GDirect3D.maxTextureSize = 2048;
    }
    void TearDown() override
    {
        // The stores own their surfaces: the borrowed fake one is taken back before they go.
        for (int data : sPlainStores)
            if (SurfaceDataRecord *record = LookupSurfaceData(data)) record->ddSurface = nullptr;
        sPlainStores.clear();
        RendererTest::TearDown();
    }
    static inline std::vector<int> sPlainStores;
    // A texture graph (cut into pieces as usual); its handle.
    static int TextureGraph(int width, int height, int drawValid)
    {
        SurfaceFormat format = {1, 0, (uint8_t)drawValid, 0, 0, 16};
        GraphRecord *graph = AddGraphRecord(width, height, &format);
        if (!graph || G_D3D_CreateGraphTextures(graph) != 0) return -1;
        return graph->handle;
    }
    // A one-piece graph on a pixel store in system memory or not; its handle.
    static int PlainGraph(int systemMemory)
    {
        SurfaceFormat format = {0, 0, 0, (uint8_t)systemMemory, 0, 16};
        GraphRecord *graph = AddGraphRecord(32, 32, &format);
        int data = graph ? AddSurfaceData(1, 32, 32, 0, &format) : -1;
        if (data == -1) return -1;
        // A surface in either case, so only the system-memory flag can keep the device off it.
        LookupSurfaceData(data)->ddSurface = FakeBackSurface();
        sPlainStores.push_back(data);
        graph->pieces.handles[0] = AddSurface2D(data, 0, 0, 32, 32);
        graph->pieces.count = 1;
        return graph->handle;
    }
};

TEST_F(TargetTest, ScreensAndGraphsSetTargetAndFlags)
{
    int mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_ChangeDrawTarget(-2));
    EXPECT_EQ(0u, GDirect3D.frontTarget);
    EXPECT_EQ(FakeBackSurface(), Device().currentTarget);
    ASSERT_EQ(0, G_D3D_ChangeDrawTarget(-4));
    EXPECT_EQ(1u, GDirect3D.frontTarget);
    EXPECT_EQ(FakeFrontSurface(), Device().currentTarget);
    EXPECT_EQ(0, Count(Calls(mark), "BeginScene"));

    int target = TextureGraph(256, 256, 1);
    ASSERT_NE(-1, target);
    ASSERT_EQ(0, G_D3D_ChangeDrawTarget(target));
    const Surface3DData *piece = GetSurface3DData(LookupGraph(target)->pieces.handles[0]);
    EXPECT_EQ(LookupSurfaceData(piece->surfaceData)->ddSurface, (void *)Device().currentTarget);
    EXPECT_EQ(0u, GDirect3D.frontTarget);
    EXPECT_EQ(nullptr, Device().currentTexture);

    // Targets the device cannot render into suspend its drawing and leave it on its own target.
    struct Case {
        const char *name;
        int graph;
    } refused[] = {
        {"system memory", PlainGraph(1)},
        {"not a draw target", TextureGraph(64, 64, 0)},
        {"several pieces", TextureGraph(3000, 16, 1)},
    };
    for (const Case &c : refused) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(-1, c.graph);
        ASSERT_EQ(0, G_D3D_ChangeDrawTarget(-4));
        EXPECT_EQ(-1, G_D3D_ChangeDrawTarget(c.graph));
        EXPECT_EQ(1u, GDirect3D.suspended);
        EXPECT_EQ(Device().ownTarget, Device().currentTarget);
        ASSERT_EQ(0, G_D3D_ChangeDrawTarget(-2));
        EXPECT_EQ(0u, GDirect3D.suspended);
    }
    int video = PlainGraph(0);
    EXPECT_EQ(0, G_D3D_ChangeDrawTarget(video));
    // A handle of no graph changes no flag.
    ASSERT_EQ(0, G_D3D_ChangeDrawTarget(-4));
    EXPECT_EQ(-1, G_D3D_ChangeDrawTarget(0x08001234));
    EXPECT_EQ(1u, GDirect3D.frontTarget);
    EXPECT_EQ(0u, GDirect3D.suspended);
}

TEST_F(TargetTest, WithDirect3DDownNothingChanges)
{
    ASSERT_EQ(0, G_D3D_Terminate());
    EXPECT_EQ(0, G_D3D_ChangeDrawTarget(-2));
    EXPECT_EQ(0u, GDirect3D.frontTarget);
    EXPECT_EQ(-1, G_D3D_ClearTarget());
}

TEST_F(TargetTest, ClearFillsOnlyATextureTarget)
{
    int texture = TextureGraph(128, 128, 1), plain = PlainGraph(0);
    struct Case {
        int target, guard, fills;
    } cases[] = {{-4, 0, 0}, {-3, 0, 0}, {-2, 0, 0}, {plain, 0, 0}, {texture, 1, 0}, {texture, 0, 1}};
    for (const Case &c : cases) {
        gDisplay.fills = 0;
        GDrawSettings.drawTarget = c.target;
        GDrawSettings.noDrawGuard = c.guard;
        EXPECT_EQ(0, G_D3D_ClearTarget()) << c.target;
        EXPECT_EQ(c.fills, gDisplay.fills) << c.target;
    }
    GDrawSettings.noDrawGuard = 0;
    // The batch is drawn and the scene ended before the surface is touched.
    G_D3D_BeginScene(0);
    G_D3D_SetCurrentTexture(0, nullptr);
    QueueQuads(1);
    int mark = D3dTestMark();
    EXPECT_EQ(0, G_D3D_ClearTarget());
    EXPECT_EQ("dev1 DrawPrimitive TRIANGLELIST 0x44 6\ndev1 EndScene\n", Calls(mark));
    // A texture target whose piece is gone.
    int gone = LookupGraph(texture)->pieces.handles[0];
    FakeRelease(GetSurface3DData(gone)->surfaceData);
    DeleteSurface3DData(gone);
    EXPECT_EQ(-1, G_D3D_ClearTarget());
}
