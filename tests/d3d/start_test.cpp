// Direct3D start-up and end, and device slots: the exact log and call list, every failure path, the
// device choice, the texture format slots and limits, and slot reuse.
#include <functional>
#include <string>

#include "lib/d3d/d3d_draw_hooks.h"
#include "tests/d3d/renderer_fixture.h"

// The recorded calls of a start on the front surface: device creation with its per-stage defaults,
// the complete first send of the cache, the render target and the address modes.
static std::string StartCalls(uint32_t front)
{
    std::string s = "d3d1 Create\nd3d1 EnumDevices\nd3d1 EnumZBufferFormats\nd3d1 CreateDevice TNLHAL surf" +
                    std::to_string(front) + "\n";
    for (int stage = 0; stage < 8; stage++)
        for (const char *state : {" ADDRESS 3\n", " MAGFILTER 1\n", " MINFILTER 1\n", " MIPFILTER 2\n"})
            s += "dev1 TSS " + std::to_string(stage) + state;
    for (const char *rs : {"COLORKEYBLENDENABLE 0", "CULLMODE 1", "LIGHTING 0", "TEXTUREPERSPECTIVE 0", "SHADEMODE 1",
                           "COLORKEYENABLE 0", "DITHERENABLE 0", "COLORKEYENABLE 0"})
        s += std::string("dev1 RS ") + rs + "\n";
    for (int stage = 0; stage < 4; stage++) s += "dev1 TSS " + std::to_string(stage) + " ADDRESS 3\n";
    s += "dev1 TSS 0 TEXCOORDINDEX 0\ndev1 TSS 1 TEXCOORDINDEX 1\ndev1 TSS 2 TEXCOORDINDEX 1\n"
         "dev1 TSS 3 TEXCOORDINDEX 0\n"
         "dev1 RS TEXTUREPERSPECTIVE 0\ndev1 RS SHADEMODE 1\ndev1 RS COLORKEYENABLE 0\ndev1 RS LIGHTING 0\n"
         "dev1 RS CULLMODE 1\ndev1 RS DITHERENABLE 0\ndev1 TSS 0 MAGFILTER 1\ndev1 TSS 0 MINFILTER 1\n"
         "dev1 RS DIFFUSEMATERIALSOURCE 1\ndev1 RS SPECULARMATERIALSOURCE 2\ndev1 RS SPECULARENABLE 0\n"
         "dev1 RS ALPHAFUNC 0 -> 0x80070057\ndev1 RS ALPHAREF 0\ndev1 RS ALPHATESTENABLE 0\n"
         "dev1 RS ALPHABLENDENABLE 0\ndev1 RS TEXTUREFACTOR 0xFFFFFFFF\ndev1 RS SRCBLEND 0 -> 0x80070057\n"
         "dev1 RS DESTBLEND 0 -> 0x80070057\n"
         "dev1 SetTexture 0 null\ndev1 TSS 0 ALPHAOP SELECTARG2\ndev1 TSS 0 ALPHAARG2 DIFFUSE\n"
         "dev1 TSS 0 COLOROP SELECTARG2\ndev1 TSS 0 COLORARG2 DIFFUSE\n"
         "dev1 SetTexture 1 null\ndev1 TSS 1 ALPHAOP DISABLE\ndev1 TSS 1 COLOROP DISABLE\n"
         "dev1 RS ZENABLE 1\ndev1 RS ZWRITEENABLE 0\ndev1 RS ZFUNC 4\ndev1 RS ZBIAS 0\ndev1 RS CULLMODE 1\n"
         "dev1 RS TEXTUREPERSPECTIVE 0\ndev1 RS SHADEMODE 1\ndev1 SetRenderTarget surf" +
         std::to_string(front) + "\n";
    for (int stage = 3; stage >= 0; stage--) s += "dev1 TSS " + std::to_string(stage) + " ADDRESS 3\n";
    return s + "dev1 EnumTextureFormats\n";
}

static const char kStartLog[] =
    "Direct3D 関連の初期化を行います\n"
    "Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n"
    "Ｄｉｒｅｃｔ３Ｄオブジェクトを取得しました\n"
    "ＨＡＬデバイスを発見しました\n"
    "ハードウエアＴ＆Ｌデバイスを発見しました\n"
    "３Ｄデバイスを作成します... ３Ｄデバイスの作成に成功しました\n"
    "\tテクスチャ最大幅:2048 最小幅:1 \n"
    "\t描画制限: D_D3DPTEXTURECAPS_POW2 = 1  D_D3DPTEXTURECAPS_SQUAREONLY = 0 \n"
    "\t最大テクスチャステージ数 = 8   最大テクスチャブレンド数 = 8 \n"
    "\tテクスチャピクセルフォーマット\n"
    "\t\t通常グラフィック用\n"
    "\t\t\t BIT:16  RED:5  GREEN:6  BLUE:5 \n"
    "\t\t\t RED:00f800 GREEN:0007e0 BLUE:00001f \n\t\n"
    "\t\t\t BIT:32  RED:8  GREEN:8  BLUE:8 \n"
    "\t\t\t RED:ff0000 GREEN:00ff00 BLUE:0000ff \n\t\n"
    "\t\tアルファチャンネル付きグラフィック用\n"
    "\t\t\t BIT:16  ALPHA:4  RED:4  GREEN:4  BLUE:4 \n"
    "\t\t\t ALPHA:0000f000 RED:00000f00 GREEN:000000f0 BLUE:0000000f \n\t\n"
    "\t\t\t BIT:32  ALPHA:8  RED:8  GREEN:8  BLUE:8 \n"
    "\t\t\t ALPHA:ff000000 RED:00ff0000 GREEN:0000ff00 BLUE:000000ff \n\t\n"
    "Direct3D 関連の初期化は正常に終了しました\n";

TEST_F(RendererTest, StartLogsAndCallsExactly)
{
    GDrawSettings.bright = 0x102030;
    GDrawSettings.blendMode = 1, GDrawSettings.blendParam = 128;
    Start();
    EXPECT_EQ(StartCalls(gDisplay.front->view.id), Calls(0));
    EXPECT_EQ(kStartLog, LogText());
    EXPECT_EQ(1u, GDirect3D.frontTarget);
    EXPECT_EQ(1u, GDirect3D.initialised);
    EXPECT_EQ(-1, GDirect3D.captureRoutes[0]);
    EXPECT_EQ(-1, GDirect3D.captureRoutes[1]);
    EXPECT_EQ(0x80102030u, GDirect3D.diffuseColor);
    EXPECT_EQ(16u, GDirect3D.zBufferFormat.bitCount);

    int mark = D3dTestMark();
    EXPECT_EQ(-1, G_D3D_Initialize());
    EXPECT_EQ("", Calls(mark));
    EXPECT_EQ(kStartLog, LogText());
}

TEST_F(RendererTest, EndLeavesNothingAndRefusesTwice)
{
    Start();
    ASSERT_EQ(0, G_D3D_Terminate());
    EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_OBJECTS));
    EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_DEVICES));
    EXPECT_EQ(0u, GDirect3D.frontTarget);
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("Direct3D 関連の終了処理を行います\n３Ｄデバイスの削除は正常に終了しました\n"
                                          "Direct3D 関連の終了処理は正常に終了しました\n"));
    EXPECT_EQ(-1, G_D3D_Terminate());
    EXPECT_EQ(log, LogText());
}

TEST_F(RendererTest, EveryStartFailureLeavesNothing)
{
    struct Case {
        const char *name;
        std::function<void()> arrange;
        const char *message;
    } cases[] = {
        {"query", [] { gDisplay.queryFails = 1; }, "Direct3Dオブジェクトの作成に失敗しました\n"},
        {"no 16-bit device", [] { D3dTestSetDeviceList(D3D_TEST_DEVICES_NO_16BIT); },
         "現在の画面モードで使用できる描画デバイスが見つかりませんでした\n"},
        {"no HAL device", [] { D3dTestSetDeviceList(D3D_TEST_DEVICES_NONE); },
         "現在の画面モードで使用できる描画デバイスが見つかりませんでした\n"},
        {"device creation", [] { D3dTestFail(D3D_CALL_CREATE_DEVICE, D3D_ERR_GENERIC, 1, 0); },
         "３Ｄデバイスを作成します... ３Ｄデバイスの作成に失敗しました\n"},
        {"only 32-bit plain textures",
         [] {
             const D3dPixelFormat formats[] = {kD3dFormatX888, kD3dFormat8888, kD3dFormat4444};
             D3dTestSetTextureFormats(formats, 3);
         },
         "使用可能なテクスチャフォーマットが見つかりませんでした\n"},
        // The address mode of stage 0 is the last stage-0 call of the start (12 before it).
        {"stage-0 address",
         [] { D3dTestFailStage(0), D3dTestFail(D3D_CALL_SET_TEXTURE_STAGE_STATE, D3D_ERR_GENERIC, 1, 12); },
         nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        D3dTestReset();
        D3dTestUseMemorySurfaces();
        D3dSelectBackend("record");
        gDisplay.queryFails = 0;
        c.arrange();
        std::string before = LogText();
        EXPECT_EQ(-1, G_D3D_Initialize());
        std::string added = LogText().substr(before.size());
        if (c.message) EXPECT_NE(std::string::npos, added.find(c.message)) << added;
        else EXPECT_EQ(std::string::npos, added.find("失敗")) << added;
        EXPECT_EQ(std::string::npos, added.find("初期化は正常に終了しました")) << added;
        EXPECT_EQ(nullptr, GDirect3D.direct3D);
        EXPECT_EQ(0u, GDirect3D.initialised);
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_OBJECTS));
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_DEVICES));
        for (const Device3DRecord &device : GDevice3D) EXPECT_EQ(0u, device.inUse);
    }
}

TEST_F(RendererTest, DeviceChoicePrefersTheTransformingDevice)
{
    struct Case {
        uint32_t list;
        const D3dGuid *chosen;
    } cases[] = {
        {D3D_TEST_DEVICES_DEFAULT, &kD3dGuidTnlHalDevice},
        {D3D_TEST_DEVICES_TNL_FIRST, &kD3dGuidTnlHalDevice},
        {D3D_TEST_DEVICES_HAL_ONLY, &kD3dGuidHalDevice},
    };
    for (const Case &c : cases) {
        D3dTestSetDeviceList(c.list);
        ASSERT_EQ(0, G_D3D_Initialize());
        EXPECT_TRUE(D3dGuidEqual(c.chosen, &GDirect3D.deviceDesc.deviceGuid)) << c.list;
        ASSERT_EQ(0, G_D3D_Terminate());
    }
}

TEST_F(RendererTest, TextureFormatSlotsAndChoices)
{
    // A 555 format before 565 on a 565 screen: the screen's own format wins slot 0.
    D3dPixelFormat f555 = kD3dFormat565;
    f555.rMask = 0x7C00, f555.gMask = 0x3E0, f555.bMask = 0x1F;
    const D3dPixelFormat formats[] = {f555, kD3dFormat565, kD3dFormatX888, kD3dFormat4444, kD3dFormat8888,
                                      kD3dFormat1555};
    D3dTestSetTextureFormats(formats, 6);
    Start();
    const uint32_t masks[9] = {0xF800, 0xFF0000, 0xF00, 0xFF0000, 0x7C00, 0xFF0000, 0xF800, 0xFF0000, 0xFF0000};
    const uint32_t alphas[9] = {0, 0, 0xF000, 0xFF000000, 0x8000, 0xFF000000, 0, 0, 0xFF000000};
    for (int slot = 0; slot < 9; slot++) {
        EXPECT_EQ(masks[slot], G_D3D_GetTextureFormatColorFormat(slot)->redMask) << slot;
        EXPECT_EQ(alphas[slot], G_D3D_GetTextureFormatColorFormat(slot)->alphaMask) << slot;
    }
    struct Choice {
        int args[4];
        int slot;
    } choices[] = {{{1, 0, 0, 0}, 2}, {{0, 1, 0, 0}, 4}, {{0, 0, 1, 1}, 7}, {{1, 0, 1, 1}, 8}, {{0, 0, 0, 0}, 0}};
    for (const Choice &c : choices)
        EXPECT_EQ(G_D3D_GetTextureFormatColorFormat(c.slot),
                  G_D3D_ChooseTextureFormat(c.args[0], c.args[1], c.args[2], c.args[3]))
            << c.slot;
    ASSERT_EQ(0, G_D3D_Terminate());
    EXPECT_EQ(nullptr, G_D3D_ChooseTextureFormat(1, 0, 0, 0));

    // Without 4444 slot 2 stays empty and slot 4 copies it unless 1555 is there.
    const D3dPixelFormat bare[] = {kD3dFormat565, kD3dFormat8888};
    D3dTestSetTextureFormats(bare, 2);
    ASSERT_EQ(0, G_D3D_Initialize());
    EXPECT_EQ(0, G_D3D_GetTextureFormatColorFormat(2)->colorBitDepth);
    EXPECT_EQ(0, G_D3D_GetTextureFormatColorFormat(4)->colorBitDepth);
    EXPECT_EQ(0xFF000000u, G_D3D_GetTextureFormatColorFormat(5)->alphaMask);
}

TEST_F(RendererTest, LimitsAndStageWarningFromTheCaps)
{
    struct Case {
        uint32_t minW, minH, maxW, maxH;
        uint16_t stages;
        uint32_t minimum, maximum;
        bool warns;
    } cases[] = {
        {0, 0, 0, 0, 4, 32, 256, false},
        {8, 4, 1024, 512, 3, 4, 512, true},
        {1, 1, 2048, 2048, 8, 1, 2048, false},
    };
    for (const Case &c : cases) {
        D3dDeviceDesc caps;
        D3dTestDefaultCaps(&caps);
        caps.minTextureWidth = c.minW, caps.minTextureHeight = c.minH;
        caps.maxTextureWidth = c.maxW, caps.maxTextureHeight = c.maxH;
        caps.maxTextureBlendStages = c.stages;
        D3dTestSetCaps(&caps);
        std::string before = LogText();
        ASSERT_EQ(0, G_D3D_Initialize());
        EXPECT_EQ(c.minimum, GDirect3D.minTextureSize);
        EXPECT_EQ(c.maximum, GDirect3D.maxTextureSize);
        bool warned = LogText().find("DrawBlendGraph", before.size()) != std::string::npos;
        EXPECT_EQ(c.warns, warned) << c.stages;
        ASSERT_EQ(0, G_D3D_Terminate());
    }
}

TEST_F(RendererTest, DeviceSlotsFillUpAndReleaseKeepsTheRecord)
{
    Start();
    DdSurface *front = D3dTestSurfaceHandle(gDisplay.front);
    EXPECT_EQ(1, G_D3D_CreateDevice(front));
    EXPECT_EQ(2, G_D3D_CreateDevice(front));
    EXPECT_EQ(3, G_D3D_CreateDevice(front));
    std::string log = LogText();
    EXPECT_EQ(-1, G_D3D_CreateDevice(front));
    EXPECT_EQ(log, LogText());

    ASSERT_EQ(0, G_D3D_ReleaseDeviceObject(0));
    EXPECT_EQ(1u, GDevice3D[0].inUse);
    EXPECT_EQ(nullptr, G_D3D_GetDevice());
    EXPECT_EQ(-1, G_D3D_SetZFuncState(0, 2));
    int mark = D3dTestMark();
    EXPECT_EQ(0, G_D3D_ReleaseDeviceObject(0));
    EXPECT_EQ("", Calls(mark));
}
