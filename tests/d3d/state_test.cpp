// The render-state cache, viewport and transforms, and the scene and vertex batch, on recorded calls.
#include "lib/d3d/d3d_draw_hooks.h"
#include "tests/d3d/renderer_fixture.h"

class StateTest : public RendererTest {
protected:
    int mark = 0;
    void SetUp() override
    {
        RendererTest::SetUp();
        Start();
        G_D3D_BeginScene(0);
        mark = D3dTestMark();
    }
    std::string Since() { return Calls(mark); }
};

TEST_F(StateTest, SettersSendOnlyChangesAndFlushFirst)
{
    struct Case {
        const char *name;
        int (*set)(uint32_t, uint32_t);
        uint32_t value;
        const char *sent;
        bool flushes;
    } cases[] = {
        {"zfunc", G_D3D_SetZFuncState, 2, "dev1 RS ZFUNC 2\n", true},
        {"zwrite", G_D3D_SetZWriteState, 1, "dev1 RS ZWRITEENABLE 1\n", true},
        {"zbias", G_D3D_SetZBiasState, 3, "dev1 RS ZBIAS 3\n", true},
        {"cull", G_D3D_SetCullState, 5, "dev1 RS CULLMODE 3\n", true},
        {"shade", G_D3D_SetShadeState, 2, "dev1 RS SHADEMODE 2\n", true},
        {"colour key", G_D3D_SetColorKeyState, 1, "dev1 RS COLORKEYENABLE 1\n", true},
        {"perspective", G_D3D_SetPerspectiveState, 1, "dev1 RS TEXTUREPERSPECTIVE 1\n", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QueueQuads(1);
        mark = D3dTestMark();
        ASSERT_EQ(0, c.set(0, c.value));
        std::string calls = Since();
        EXPECT_EQ(c.flushes, calls.rfind("dev1 DrawPrimitive", 0) == 0) << calls;
        EXPECT_NE(std::string::npos, calls.find(c.sent)) << calls;
        mark = D3dTestMark();
        ASSERT_EQ(0, c.set(0, c.value));
        EXPECT_EQ("", Since());
        G_D3D_FlushDeviceBatch(0);
    }
}

TEST_F(StateTest, ForceResendsAndRawZValuesStay)
{
    ASSERT_EQ(0, G_D3D_SetZEnableState(0, 2));
    EXPECT_EQ("dev1 RS ZENABLE 0\n", Since());
    EXPECT_EQ(2u, Device().zEnable);
    mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_SetZEnableState(0, 0));
    EXPECT_EQ("dev1 RS ZENABLE 0\n", Since());
    QueueQuads(1);
    Device().force = 1;
    mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_SetZEnableState(0, 0));
    Device().force = 0;
    EXPECT_EQ(0, Since().find("dev1 DrawPrimitive"));
    EXPECT_NE(std::string::npos, Since().find("dev1 RS ZENABLE 0\n"));
}

TEST_F(StateTest, ViewportFromTheDrawRegion)
{
    GDrawSettings.clientArea = Rect{8, 30, 0, 0};
    Rect empty = {5, 5, 5, 50};
    EXPECT_EQ(-1, G_D3D_SetViewportFromRect(&empty));
    EXPECT_EQ("", Since());
    Rect region = {10, 20, 110, 220};
    ASSERT_EQ(0, G_D3D_SetViewportFromRect(&region));
    const D3dViewport &v = Device().viewport;
    EXPECT_EQ(18u, v.x); EXPECT_EQ(50u, v.y); EXPECT_EQ(100u, v.width); EXPECT_EQ(200u, v.height);
    EXPECT_EQ(0.0f, v.minZ); EXPECT_EQ(1.0f, v.maxZ);
    EXPECT_EQ(0u, Device().inScene);
    mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_SetViewportFromRect(&region));
    EXPECT_EQ("", Since());

    // Before any render target the viewport is refused.
    Device().currentTarget = nullptr;
    EXPECT_EQ(-1, G_D3D_SetViewport(&v, 0));
    EXPECT_EQ("", Since());
}

TEST_F(StateTest, TransformsSamplingAndTheCompleteResend)
{
    float m[16] = {1};
    EXPECT_EQ(0, G_D3D_SetWorldTransform(0, 4, m));
    EXPECT_EQ("", Since());
    ASSERT_EQ(0, G_D3D_LoadWorldMatrix(m, 3));
    ASSERT_EQ(0, G_D3D_LoadViewMatrix(m));
    EXPECT_EQ(2, Count(Since(), "SetTransform"));

    QueueQuads(1);
    mark = D3dTestMark();
    EXPECT_EQ(-1, G_D3D_SetDeviceSamplingMode(0, 2));
    EXPECT_EQ(0, Since().find("dev1 DrawPrimitive"));
    EXPECT_EQ(0u, Device().samplingMode);
    mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_ApplySamplingMode(1));
    EXPECT_EQ("dev1 TSS 0 MAGFILTER 2\ndev1 TSS 0 MINFILTER 2\n", Since());

    Device().colorKeyEnable = 1;
    mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_ApplyAllStates(0));
    EXPECT_EQ(0u, Device().colorKeyEnable);
    EXPECT_EQ(0u, Device().force);
    // Under the force flag the filters of the stages in use are sent as well.
    EXPECT_NE(std::string::npos, Since().find("dev1 TSS 0 MAGFILTER 2\n"));
    EXPECT_EQ(0, Count(Since(), "FOGENABLE"));
}

TEST_F(StateTest, BatchRoomFlushAndScene)
{
    // 389 textured quads fit; the 390th draws the batch first (6 x 390 reaches 2340).
    ASSERT_EQ(0, G_D3D_SetCurrentTexture(0, D3dTestSurfaceHandle(gDisplay.front)));
    G_D3D_ApplyBlendState(0);
    ASSERT_EQ((uint32_t)VERTEX_TYPE_TEXTURED, Device().vertexType);
    mark = D3dTestMark();
    QueueQuads(389);
    EXPECT_EQ("", Since());
    QueueQuads(1);
    EXPECT_EQ(1, Count(Since(), "DrawPrimitive"));
    EXPECT_EQ(6u, Device().vertexCount);
    // A change of primitive type draws what is queued.
    ASSERT_NE(nullptr, G_D3D_ReserveVertices(0, D3D_PT_LINELIST, 2));
    EXPECT_EQ(2, Count(Since(), "DrawPrimitive"));

    // A flush of nothing sends nothing; a skipped batch is dropped.
    G_D3D_FlushDeviceBatch(0);
    mark = D3dTestMark();
    G_D3D_FlushDeviceBatch(0);
    QueueQuads(2);
    Device().skip = 1;
    G_D3D_FlushDeviceBatch(0);
    EXPECT_EQ(0u, Device().vertexCount);
    EXPECT_EQ(Device().vertexArrays[VERTEX_TYPE_TEXTURED], (void *)Device().writePointer);
    Device().skip = 0;
    G_D3D_BeginScene(0);
    EXPECT_EQ("", Since());

    QueueQuads(1);
    ASSERT_EQ(0, G_D3D_EndScene());
    EXPECT_EQ(1, Count(Since(), "DrawPrimitive"));
    EXPECT_EQ(1, Count(Since(), "EndScene"));
    mark = D3dTestMark();
    QueueQuads(1);
    ASSERT_EQ(0, G_D3D_EndScene());
    G_D3D_BeginScene(0);
    G_D3D_BeginScene(0);
    EXPECT_EQ("dev1 BeginScene\n", Since());
    G_D3D_FlushDeviceBatch(0);
}

TEST_F(StateTest, VertexGridInOneStrip)
{
    TexturedVertex grid[64] = {};
    QueueQuads(1);
    uint32_t queued = Device().vertexCount;
    EXPECT_EQ(-1, G_D3D_DrawVertexGrid(0, 8, grid, 1));
    EXPECT_EQ(queued, Device().vertexCount);
    EXPECT_EQ("", Since());

    ASSERT_EQ(0, G_D3D_DrawVertexGrid(0, 8, grid, 8));
    EXPECT_EQ(1, Count(Since(), "DrawPrimitive"));
    EXPECT_EQ(1, Count(Since(), "DrawIndexedPrimitive"));
    int entry = D3dTestLogCount() - 1;
    int count = 0;
    const uint16_t *indices = D3dTestLogIndices(entry, &count);
    ASSERT_EQ(124, count);
    // Strip of rows 0-1, its trailing join, then the next strip's leading join.
    const uint16_t start[] = {8, 0, 9, 1, 10, 2, 11, 3, 12, 4, 13, 5, 14, 6, 15, 7, 7, 16, 16, 8};
    for (int i = 0; i < 20; i++) EXPECT_EQ(start[i], indices[i]) << i;
    EXPECT_EQ(63, indices[122]);
    EXPECT_EQ(55, indices[123]);

    // A wide grid splits at the list limit without joins at the split.
    static TexturedVertex wide[200 * 4];
    mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_DrawVertexGrid(0, 200, wide, 4));
    EXPECT_EQ(2, Count(Since(), "DrawIndexedPrimitive"));
}

// Kept beyond the plain rules: what is queued under the skip flag (a blend graph at border 255, which
// shows nothing) is dropped however the batch leaves, as are strips drawn at once; slots past the
// four and grids past 16-bit indices or the index list are refused.
TEST_F(StateTest, SkippedDrawsAreDroppedAndWhatCannotBeDrawnIsRefused)
{
    ASSERT_EQ(0, G_D3D_SetCurrentTexture(0, D3dTestSurfaceHandle(gDisplay.front)));
    G_D3D_ApplyBlendState(0);
    mark = D3dTestMark();
    Device().skip = 1;
    QueueQuads(390);  // 389 textured quads fill the batch: the 390th finds no room
    TexturedVertex strip[4] = {};
    DrawVerticesAtOnce(&Device(), D3D_PT_TRIANGLESTRIP, strip, 4);
    EXPECT_EQ(6u, Device().vertexCount);
    Device().skip = 0;
    static TexturedVertex grid[500 * 2];
    EXPECT_EQ((std::vector<int>{-1, -1, -1}),
              (std::vector<int>{G_D3D_DrawVertexGrid(0, 500, grid, 2), G_D3D_DrawVertexGrid(0, 2, grid, 32769),
                                G_D3D_BeginScene(4)}));
    EXPECT_EQ(nullptr, LookupDevice3D(4));
    EXPECT_EQ(&Device(), LookupDevice3D(0x10000));  // the low 16 bits name the slot
    EXPECT_EQ("", Since());
}

TEST_F(StateTest, CopyGivesTheBlendInputsSamplingAndTexture)
{
    DdSurface *front = D3dTestSurfaceHandle(gDisplay.front);
    ASSERT_EQ(1, G_D3D_CreateDevice(front));
    G_D3D_SetBlendModeState(0, 1, 0, 2);
    G_D3D_ApplySamplingMode(1);
    G_D3D_SetCurrentTexture(0, front);
    ASSERT_EQ(0, G_D3D_CopyDeviceState(0, 1));
    const Device3DRecord &copy = GDevice3D[1];
    EXPECT_EQ(1u, copy.alphaChFlag);
    EXPECT_EQ(2u, copy.blendMode);
    EXPECT_EQ(1u, copy.samplingMode);
    EXPECT_EQ(front, copy.currentTexture);
    EXPECT_EQ(0u, copy.blendDirty);
    EXPECT_EQ(-1, G_D3D_CopyDeviceState(0, 2));
}
