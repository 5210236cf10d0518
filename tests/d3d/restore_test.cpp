// Display change and restore: a loss and restore gives the new device every cached state, the
// texture surfaces are built once per surface data, and a released renderer still ends cleanly.
#include "lib/d3d/d3d_draw_hooks.h"
#include "tests/d3d/renderer_fixture.h"

static const SurfaceFormat kTextureFormat = {1, 0, 0, 0, 0, 16};

// Snapshots compare every state; the targets by recorder id, which a restored surface keeps.
static bool SameSnapshot(const D3dDeviceSnapshot &a, const D3dDeviceSnapshot &b)
{
    return memcmp(a.rs, b.rs, sizeof a.rs) == 0 && memcmp(a.tss, b.tss, sizeof a.tss) == 0 &&
           memcmp(a.textures, b.textures, sizeof a.textures) == 0 && a.target == b.target &&
           memcmp(&a.viewport, &b.viewport, sizeof a.viewport) == 0;
}

TEST_F(RendererTest, LossAndRestoreGiveTheSameDeviceState)
{
    Start();
    uint32_t slot = GDirect3D.currentSlot;
    GDrawSettings.drawRegion = Rect{10, 20, 330, 260};
    ASSERT_EQ(0, G_D3D_SetViewportFromRect(&GDrawSettings.drawRegion));
    G_D3D_SetZFuncState(slot, D3D_CMP_GREATER);
    G_D3D_SetZWriteState(slot, 1);
    G_D3D_SetCullState(slot, 1);
    G_D3D_SetShadeState(slot, D3D_SHADE_GOURAUD);
    G_D3D_ApplySamplingMode(1);
    G_D3D_SetBlendModeState(slot, 0, 0, 1);
    G_D3D_ApplyBlendState(slot);
    G_D3D_BeginScene(slot);
    QueueQuads(2);
    D3dDeviceSnapshot before = {}, after = {};
    ASSERT_EQ(0, D3dTestSnapshot(GDevice3D[slot].device, &before));

    ASSERT_EQ(0, G_D3D_ReleaseDirect3D());
    EXPECT_EQ(nullptr, GDirect3D.direct3D);
    EXPECT_EQ(nullptr, G_D3D_GetDevice());
    EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_DEVICES));
    EXPECT_EQ(-1, G_D3D_FlushVertexBatch());
    ASSERT_EQ(0, G_D3D_ReacquireDirect3D());
    ASSERT_NE(nullptr, G_D3D_GetDevice());
    ASSERT_EQ(0, D3dTestSnapshot(GDevice3D[slot].device, &after));
    EXPECT_TRUE(SameSnapshot(before, after));
    EXPECT_EQ(0, after.inScene);
    EXPECT_EQ(0u, GDevice3D[slot].inScene);
    EXPECT_EQ(0u, GDevice3D[slot].vertexCount);
    EXPECT_EQ(2u, after.tss[0][D3D_TSS_MAGFILTER]);
}

TEST_F(RendererTest, ReleaseAndReacquireTellWhatTheyFind)
{
    EXPECT_EQ(-1, G_D3D_ReleaseDirect3D());
    EXPECT_EQ(0, G_D3D_ReacquireDirect3D());
    EXPECT_EQ("", LogText());
    Start();
    std::string start = LogText();
    ASSERT_EQ(0, G_D3D_ReacquireDirect3D());
    EXPECT_EQ("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\nＤｉｒｅｃｔ３Ｄオブジェクトは既に取得されていますn\n",
              LogText().substr(start.size()));
    WriteLog("\n");
    ASSERT_EQ(0, G_D3D_ReleaseDirect3D());
    start = LogText();
    ASSERT_EQ(0, G_D3D_ReleaseDirect3D());
    EXPECT_EQ("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\nＤｉｒｅｃｔ３Ｄオブジェクトは既に解放されています\n",
              LogText().substr(start.size()));
    gDisplay.queryFails = 1;
    EXPECT_EQ(-1, G_D3D_ReacquireDirect3D());
    EXPECT_EQ(nullptr, GDirect3D.direct3D);
    gDisplay.queryFails = 0;
    ASSERT_EQ(0, G_D3D_ReacquireDirect3D());
    EXPECT_NE(nullptr, G_D3D_GetDevice());
}

TEST_F(RendererTest, SharedSurfacesAreBuiltOnce)
{
    Start();
    int source = AddSurface3DData(64, 64, 0, 0, 64, 64, 0, 0, 1, nullptr, 0, 0, &kTextureFormat);
    AddSurface3DData(0, 0, 0, 0, 8, 8, 0, 0, 2, GetSurface3DData(source), 8, 8, nullptr);
    AddSurface3DData(32, 32, 0, 0, 32, 32, 0, 0, 3, nullptr, 0, 0, &kTextureFormat);
    ASSERT_EQ(0, G_D3D_ReleaseDirect3D());
    ASSERT_EQ(0, G_D3D_ReacquireDirect3D());
    EXPECT_EQ(2, gDisplay.builds);
    EXPECT_EQ(3, gDisplay.colorKeys);
}

TEST_F(RendererTest, FailedRecreationLeavesASafeEmptySlot)
{
    Start();
    ASSERT_EQ(0, G_D3D_ReleaseDirect3D());
    D3dTestFail(D3D_CALL_CREATE_DEVICE, D3D_ERR_GENERIC, 1, 0);
    ASSERT_EQ(0, G_D3D_ReacquireDirect3D());
    EXPECT_NE(std::string::npos, LogText().find("３Ｄデバイスを作成します... ３Ｄデバイスの作成に失敗しました\n"));
    EXPECT_EQ(nullptr, G_D3D_GetDevice());
    Rect region = {0, 0, 10, 10};
    float m[16] = {};
    EXPECT_EQ(-1, G_D3D_FlushVertexBatch());
    EXPECT_EQ(-1, G_D3D_SetViewportFromRect(&region));
    EXPECT_EQ(-1, G_D3D_LoadProjectionMatrix(m));
    EXPECT_EQ(-1, G_D3D_ApplyBlendState(0));
    EXPECT_EQ(0, G_D3D_RecreateDevice(0));
    EXPECT_NE(nullptr, G_D3D_GetDevice());
}

TEST_F(RendererTest, AReleasedRendererStillEndsAndStartsClean)
{
    Start();
    int h = AddSurface3DData(64, 64, 0, 0, 64, 64, 0, 0, 1, nullptr, 0, 0, &kTextureFormat);
    int data = GetSurface3DData(h)->surfaceData;
    ASSERT_EQ(0, G_D3D_ReleaseDirect3D());
    EXPECT_EQ(-1, G_D3D_Terminate());
    EXPECT_EQ(nullptr, LookupSurfaceData(data));
    EXPECT_EQ(0u, GDirect3D.surface3DCount);
    for (const Device3DRecord &device : GDevice3D) EXPECT_EQ(0u, device.inUse);

    // A start while released takes slot 0 again and leaves no record of the old one.
    Start();
    AddSurface3DData(64, 64, 0, 0, 64, 64, 0, 0, 1, nullptr, 0, 0, &kTextureFormat);
    ASSERT_EQ(0, G_D3D_ReleaseDirect3D());
    ASSERT_EQ(0, G_D3D_Initialize());
    EXPECT_EQ(0u, GDirect3D.currentSlot);
    EXPECT_EQ(0u, GDirect3D.surface3DCount);
    EXPECT_EQ(0u, GDevice3D[1].inUse);
}
