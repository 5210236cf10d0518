// The device on the "record" back end: enumeration, defaults, refusals, canonical texts, injected
// failures, held references and strict-mode reports.
#include <functional>
#include <string>
#include <vector>

#include "tests/platform/d3d/d3d_fixture.h"

class DeviceRecord : public D3dFixture {};

struct EnumSeen {
    std::vector<std::string> names;
    std::vector<uint32_t> depths;
};

static int32_t CollectDevice(const char *, const char *name, D3dDeviceDesc *desc, void *context)
{
    EnumSeen *seen = (EnumSeen *)context;
    seen->names.push_back(name);
    seen->depths.push_back(desc->renderBitDepth);
    return D3D_ENUM_OK;
}

static int32_t CollectFormat(D3dPixelFormat *format, void *context)
{
    ((std::vector<D3dPixelFormat> *)context)->push_back(*format);
    return D3D_ENUM_OK;
}

TEST_F(DeviceRecord, DeviceListsFollowTheirOptions)
{
    struct Case {
        uint32_t options;
        const char *names;
        uint32_t halDepth;
    } cases[] = {
        {D3D_TEST_DEVICES_DEFAULT, "RGB Emulation,HAL,T&L HAL,", D3D_BD_16 | D3D_BD_32},
        {D3D_TEST_DEVICES_TNL_FIRST, "RGB Emulation,T&L HAL,HAL,", D3D_BD_16 | D3D_BD_32},
        {D3D_TEST_DEVICES_HAL_ONLY, "RGB Emulation,HAL,", D3D_BD_16 | D3D_BD_32},
        {D3D_TEST_DEVICES_NO_16BIT, "RGB Emulation,HAL,T&L HAL,", D3D_BD_32},
        {D3D_TEST_DEVICES_NONE, "RGB Emulation,", 0},
    };
    for (const Case &c : cases) {
        D3dTestSetDeviceList(c.options);
        EnumSeen seen;
        ASSERT_EQ(D3D_OK, d3d->fn->EnumDevices(d3d, CollectDevice, &seen));
        std::string names;
        for (const std::string &n : seen.names) names += n + ",";
        EXPECT_EQ(c.names, names) << c.options;
        if (seen.depths.size() > 1) {
            EXPECT_EQ(c.halDepth, seen.depths[1]) << c.options;
        }
    }
}

TEST_F(DeviceRecord, FormatListsComeInTheirOrder)
{
    Open("record");
    std::vector<D3dPixelFormat> z, tex;
    ASSERT_EQ(D3D_OK, d3d->fn->EnumZBufferFormats(d3d, &kD3dGuidHalDevice, CollectFormat, &z));
    ASSERT_EQ(3u, z.size());
    EXPECT_EQ(D3D_PF_ZBUFFER, z[0].flags);
    EXPECT_EQ(16u, z[0].bitCount);
    EXPECT_NE(0u, z[1].flags & D3D_PF_STENCILBUFFER);
    ASSERT_EQ(D3D_OK, dev->fn->EnumTextureFormats(dev, CollectFormat, &tex));
    const uint32_t rMasks[] = {0xF800, 0x7C00, 0xFF0000, 0x7C00, 0x0F00, 0xFF0000, 0xFF, 0};
    const uint32_t aMasks[] = {0, 0, 0, 0x8000, 0xF000, 0xFF000000, 0, 0};
    ASSERT_EQ(8u, tex.size());
    for (size_t i = 0; i < tex.size(); i++) {
        EXPECT_EQ(rMasks[i], tex[i].rMask) << i;
        EXPECT_EQ(aMasks[i], tex[i].aMask) << i;
    }
    EXPECT_EQ(D3D_PF_LUMINANCE, tex[6].flags);
    EXPECT_EQ(D3D_PF_FOURCC, tex[7].flags);
}

TEST_F(DeviceRecord, NewDeviceHasTheDocumentedDefaults)
{
    Open("record", 64, 48);
    struct {
        uint32_t state, value;
    } rs[] = {{D3D_RS_ZENABLE, 0},        {D3D_RS_SHADEMODE, D3D_SHADE_GOURAUD}, {D3D_RS_CULLMODE, D3D_CULL_CCW},
              {D3D_RS_SRCBLEND, 2},       {D3D_RS_DESTBLEND, 1},  {D3D_RS_ALPHAFUNC, D3D_CMP_ALWAYS},
              {D3D_RS_ZFUNC, 4},          {D3D_RS_LASTPIXEL, 1},  {D3D_RS_FOGENABLE, 0},
              {D3D_RS_TEXTUREFACTOR, 0xFFFFFFFF}, {D3D_RS_LIGHTING, 1}, {D3D_RS_FILLMODE, 3}};
    for (auto c : rs) {
        uint32_t v = 0;
        ASSERT_EQ(D3D_OK, dev->fn->GetRenderState(dev, c.state, &v));
        EXPECT_EQ(c.value, v) << c.state;
    }
    uint32_t v = 0;
    for (uint32_t s = 0; s < 8; s++) {
        dev->fn->GetTextureStageState(dev, s, D3D_TSS_COLOROP, &v);
        EXPECT_EQ(s == 0 ? D3D_TOP_MODULATE : D3D_TOP_DISABLE, v);
        dev->fn->GetTextureStageState(dev, s, D3D_TSS_ALPHAOP, &v);
        EXPECT_EQ(s == 0 ? D3D_TOP_SELECTARG1 : D3D_TOP_DISABLE, v);
        dev->fn->GetTextureStageState(dev, s, D3D_TSS_TEXCOORDINDEX, &v);
        EXPECT_EQ(s, v);
        dev->fn->GetTextureStageState(dev, s, D3D_TSS_ADDRESSU, &v);
        EXPECT_EQ(D3D_ADDRESS_WRAP, v);
    }
    D3dViewport vp;
    dev->fn->GetViewport(dev, &vp);
    EXPECT_EQ(64u, vp.width);
    EXPECT_EQ(48u, vp.height);
}

TEST_F(DeviceRecord, ZIsOnByDefaultOnlyWithADepthSurface)
{
    D3dTestSurface *z = D3dTestCreateSurface(16, 16, &kD3dFormatZ16, D3D_SURF_ZBUFFER);
    D3dTestSurface *rt = D3dTestCreateSurface(16, 16, &kD3dFormat565, D3D_SURF_RENDER_TARGET);
    rt->view.zSurface = D3dTestSurfaceHandle(z);
    ASSERT_EQ(0, D3dSelectBackend("record"));
    ASSERT_EQ(D3D_OK, d3d->fn->CreateDevice(d3d, &kD3dGuidHalDevice, D3dTestSurfaceHandle(rt), &dev));
    uint32_t v = 0;
    dev->fn->GetRenderState(dev, D3D_RS_ZENABLE, &v);
    EXPECT_EQ(1u, v);
    D3dTestReleaseSurface(rt);
    D3dTestReleaseSurface(z);
}

TEST_F(DeviceRecord, InvalidValuesAreRefusedAndChangeNothing)
{
    Open("record");
    struct {
        uint32_t state, value;
    } bad[] = {{D3D_RS_SRCBLEND, 0}, {D3D_RS_DESTBLEND, 14}, {D3D_RS_ALPHAFUNC, 9}, {D3D_RS_CULLMODE, 4},
               {D3D_RS_ZENABLE, 3}, {3, 0}, {D3D_RS_COUNT, 1}};
    for (auto c : bad) {
        uint32_t before = 0, after = 0;
        dev->fn->GetRenderState(dev, c.state, &before);
        EXPECT_EQ(D3D_ERR_INVALID_PARAMS, dev->fn->SetRenderState(dev, c.state, c.value)) << c.state;
        dev->fn->GetRenderState(dev, c.state, &after);
        EXPECT_EQ(before, after) << c.state;
    }
    EXPECT_EQ(D3D_ERR_INVALID_PARAMS, dev->fn->SetTextureStageState(dev, 0, D3D_TSS_COLOROP, 9));
    EXPECT_EQ(D3D_ERR_INVALID_PARAMS, dev->fn->SetTextureStageState(dev, 0, D3D_TSS_COLORARG1, 5));
    EXPECT_EQ(D3D_ERR_INVALID_PARAMS, dev->fn->SetTextureStageState(dev, 8, D3D_TSS_COLOROP, 1));
}

TEST_F(DeviceRecord, ASequenceReadsBackAsItsCanonicalText)
{
    D3dTestRecord(1);
    Open("record");
    D3dTestSurface *tex = D3dTestCreateSurface(8, 8, &kD3dFormat565, D3D_SURF_TEXTURE);
    int mark = D3dTestMark();
    Rs(D3D_RS_ZENABLE, 0);
    Rs(D3D_RS_TEXTUREFACTOR, 0x40FFFFFF);
    Tss(0, D3D_TSS_COLOROP, D3D_TOP_SELECTARG1);
    Tss(1, D3D_TSS_COLORARG2, D3D_TA_TEXTURE | D3D_TA_COMPLEMENT);
    Tss(0, D3D_TSS_ADDRESS, 3);
    dev->fn->SetTexture(dev, 1, D3dTestSurfaceHandle(tex));
    dev->fn->SetTexture(dev, 1, nullptr);
    D3dViewport vp = {8, 20, 10, 12, 0.0f, 1.0f};
    dev->fn->SetViewport(dev, &vp);
    Quad(0, 0, 4, 4, 1, 1);
    dev->fn->SetRenderState(dev, D3D_RS_ALPHAFUNC, 0);
    dev->fn->EndScene(dev);
    std::string expected = std::string("dev1 RS ZENABLE 0\n"
                                       "dev1 RS TEXTUREFACTOR 0x40FFFFFF\n"
                                       "dev1 TSS 0 COLOROP SELECTARG1\n"
                                       "dev1 TSS 1 COLORARG2 TEXTURE|COMPLEMENT\n"
                                       "dev1 TSS 0 ADDRESS 3\n") +
                           "dev1 SetTexture 1 surf" + std::to_string(tex->view.id) + "\n" +
                           "dev1 SetTexture 1 null\n"
                           "dev1 SetViewport 8 20 10 12 0 1\n"
                           "dev1 DrawPrimitive TRIANGLELIST 0x144 6\n"
                           "dev1 RS ALPHAFUNC 0 -> 0x80070057\n"
                           "dev1 EndScene\n";
    EXPECT_EQ(expected, D3dTestLogText(mark, -1));
    int count = 0;
    const D3dRecordedVertex *v = D3dTestLogVertices(mark + 8, &count);
    ASSERT_EQ(6, count);
    EXPECT_EQ(4.0f, v[4].x);
    EXPECT_EQ(1.0f, v[4].v0);
    EXPECT_EQ(0xFFFFFFFFu, v[4].diffuse);
    D3dTestReleaseSurface(tex);
}

TEST_F(DeviceRecord, InjectedFailuresReturnTheirCodesAndChangeNothing)
{
    Open("record");
    D3dTestFail(D3D_CALL_SET_TEXTURE_STAGE_STATE, D3D_ERR_GENERIC, 1, 0);
    D3dTestFailStage(0);
    EXPECT_EQ(D3D_OK, dev->fn->SetTextureStageState(dev, 3, D3D_TSS_ADDRESS, 3));
    EXPECT_EQ(D3D_ERR_GENERIC, dev->fn->SetTextureStageState(dev, 0, D3D_TSS_ADDRESS, 3));
    EXPECT_EQ(D3D_OK, dev->fn->SetTextureStageState(dev, 0, D3D_TSS_ADDRESS, 3));
    D3dTestFail(D3D_CALL_SET_VIEWPORT, D3D_ERR_GENERIC, -1, 1);
    D3dViewport vp = {1, 2, 3, 4, 0, 1}, now;
    EXPECT_EQ(D3D_OK, dev->fn->SetViewport(dev, &vp));
    D3dViewport other = {5, 5, 5, 5, 0, 1};
    EXPECT_EQ(D3D_ERR_GENERIC, dev->fn->SetViewport(dev, &other));
    EXPECT_EQ(D3D_ERR_GENERIC, dev->fn->SetViewport(dev, &other));
    dev->fn->GetViewport(dev, &now);
    EXPECT_EQ(1u, now.x);
    D3dTestFail(D3D_CALL_CREATE_DEVICE, D3D_ERR_OUT_OF_MEMORY, 1, 0);
    D3dDevice *second = nullptr;
    EXPECT_EQ(D3D_ERR_OUT_OF_MEMORY,
              d3d->fn->CreateDevice(d3d, &kD3dGuidHalDevice, D3dTestSurfaceHandle(target), &second));
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ(1, D3dTestLiveCount(D3D_LIVE_DEVICES));
    D3dTestFail(D3D_CALL_CREATE_OBJECT, D3D_ERR_NO_INTERFACE, 1, 0);
    D3dObject *object = nullptr;
    EXPECT_EQ(D3D_ERR_NO_INTERFACE, D3dCreateObject(&object));
    EXPECT_EQ(1, D3dTestLiveCount(D3D_LIVE_OBJECTS));
}

TEST_F(DeviceRecord, DeviceHoldsItsTargetAndTexturesUntilReleased)
{
    Open("record");
    D3dTestSurface *tex = D3dTestCreateSurface(8, 8, &kD3dFormat565, D3D_SURF_TEXTURE);
    dev->fn->SetTexture(dev, 2, D3dTestSurfaceHandle(tex));
    D3dTestReleaseSurface(tex);
    D3dTestReleaseSurface(target);
    target = nullptr;
    EXPECT_EQ(2, D3dTestLiveSurfaces());  // both still held by the device
    ColorVertex point = {1, 1, 0, 1, 0xFFFFFFFF};
    EXPECT_EQ(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_POINTLIST, 0x44, &point, 1, 0));
    dev->fn->Release(dev);
    dev = nullptr;
    EXPECT_EQ(0, D3dTestLiveSurfaces());
}

TEST_F(DeviceRecord, RefusedTargetsAndDraws)
{
    D3dTestSurface *sys = D3dTestCreateSurface(8, 8, &kD3dFormat565, D3D_SURF_TEXTURE | D3D_SURF_SYSTEM_MEMORY);
    ASSERT_EQ(0, D3dSelectBackend("record"));
    EXPECT_EQ(D3D_ERR_INVALID_TARGET, d3d->fn->CreateDevice(d3d, &kD3dGuidHalDevice, D3dTestSurfaceHandle(sys), &dev));
    EXPECT_EQ(D3D_ERR_INVALID_DEVICE, d3d->fn->CreateDevice(d3d, &kD3dGuidRgbDevice, D3dTestSurfaceHandle(sys), &dev));
    Open("record");
    EXPECT_EQ(D3D_ERR_INVALID_TARGET, dev->fn->SetRenderTarget(dev, D3dTestSurfaceHandle(sys), 0));
    ColorVertex v[4] = {};
    EXPECT_EQ(D3D_ERR_INVALID_PARAMS, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x44, v, 4, 0));
    EXPECT_EQ(D3D_ERR_INVALID_PARAMS, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x42, v, 3, 0));
    const uint16_t outside[3] = {0, 1, 4};
    EXPECT_EQ(D3D_ERR_INVALID_PARAMS, dev->fn->DrawIndexedPrimitive(dev, D3D_PT_TRIANGLESTRIP, 0x44, v, 4, outside, 3, 0));
    target->view.lost = 1;
    EXPECT_EQ(D3D_ERR_SURFACE_LOST, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x44, v, 3, 0));
    target->view.lost = 0;
    D3dTestReleaseSurface(sys);
}

TEST_F(DeviceRecord, LoadCopiesARectangleBetweenSameFormatSurfaces)
{
    Open("record");
    D3dTestSurface *src = Texture565(8, 8, [](int x, int y) { return (uint16_t)(y * 8 + x); });
    D3dTestSurface *dst = D3dTestCreateSurface(8, 8, &kD3dFormat565, D3D_SURF_TEXTURE);
    D3dTestSurface *wide = D3dTestCreateSurface(8, 8, &kD3dFormatX888, D3D_SURF_TEXTURE);
    D3dRect rect = {2, 3, 5, 6};
    D3dPoint point = {4, 1};
    ASSERT_EQ(D3D_OK, dev->fn->Load(dev, D3dTestSurfaceHandle(dst), &point, D3dTestSurfaceHandle(src), &rect, 0));
    EXPECT_EQ(3 * 8 + 2, Px(dst, 4, 1));
    EXPECT_EQ(5 * 8 + 4, Px(dst, 6, 3));
    EXPECT_EQ(0, Px(dst, 3, 1));
    EXPECT_EQ(0, Px(dst, 7, 1));
    EXPECT_EQ(D3D_ERR_INVALID_PIXEL_FORMAT, dev->fn->Load(dev, D3dTestSurfaceHandle(wide), nullptr,
                                                          D3dTestSurfaceHandle(src), nullptr, 0));
    point = {6, 0};
    EXPECT_EQ(D3D_ERR_INVALID_PARAMS, dev->fn->Load(dev, D3dTestSurfaceHandle(dst), &point, D3dTestSurfaceHandle(src), &rect, 0));
    for (D3dTestSurface *s : {src, dst, wide}) D3dTestReleaseSurface(s);
}

TEST_F(DeviceRecord, StrictModeReportsEachViolationOnce)
{
    D3dTestStrict(1);
    Open("record");
    D3dTestSurface *plain = D3dTestCreateSurface(8, 8, &kD3dFormat565, D3D_SURF_RENDER_TARGET);
    ColorVertex v[3] = {};
    D3dViewport big = {0, 0, 64, 8, 0, 1};
    struct {
        const char *what;
        std::function<void()> act;
    } cases[] = {
        {"nested BeginScene", [&] { dev->fn->BeginScene(dev); }},
        {"invalid value", [&] { dev->fn->SetRenderState(dev, D3D_RS_SRCBLEND, 0); }},
        {"fog", [&] { dev->fn->SetRenderState(dev, D3D_RS_FOGENABLE, 1); }},
        {"not a texture", [&] { dev->fn->SetTexture(dev, 0, D3dTestSurfaceHandle(plain)); }},
        {"viewport", [&] { dev->fn->SetViewport(dev, &big); }},
        {"locked target", [&] { target->view.locked = 1; dev->fn->DrawPrimitive(dev, 4, 0x44, v, 3, 0); target->view.locked = 0; }},
        {"EndScene twice", [&] { dev->fn->EndScene(dev); dev->fn->EndScene(dev); }},
        {"draw outside", [&] { dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x44, v, 3, 0); }},
    };
    for (auto &c : cases) {
        int before = D3dTestViolationCount();
        c.act();
        EXPECT_EQ(before + 1, D3dTestViolationCount()) << c.what << "\n" << D3dTestViolations();
    }
    D3dTestReleaseSurface(plain);
}

// The creation and first frame of the renderer, as its device calls go: the creation-time zeros are
// allowed, nothing else is reported.
TEST_F(DeviceRecord, StrictModeReportsNothingOnTheRenderersMainRoad)
{
    D3dTestStrict(1);
    ASSERT_EQ(0, D3dSelectBackend("record"));
    target = D3dTestCreateSurface(640, 480, &kD3dFormat565, D3D_SURF_RENDER_TARGET);
    ASSERT_EQ(D3D_OK, d3d->fn->CreateDevice(d3d, &kD3dGuidTnlHalDevice, D3dTestSurfaceHandle(target), &dev));
    for (uint32_t s = 0; s < 8; s++) {
        Tss(s, D3D_TSS_ADDRESS, 3);
        Tss(s, D3D_TSS_MAGFILTER, 1);
        Tss(s, D3D_TSS_MINFILTER, 1);
        Tss(s, D3D_TSS_MIPFILTER, 2);
    }
    const uint32_t creation[][2] = {{144, 0}, {22, 1}, {137, 0}, {4, 0}, {9, 1}, {41, 0}, {26, 0}, {41, 0},
                                    {145, 1}, {146, 2}, {29, 0}, {25, 0}, {24, 0}, {15, 0}, {27, 0}, {60, 0},
                                    {19, 0}, {20, 0}, {7, 1}, {14, 0}, {23, 4}, {47, 0}};
    for (auto &c : creation) dev->fn->SetRenderState(dev, c[0], c[1]);
    dev->fn->SetTexture(dev, 0, nullptr);
    D3dViewport vp = {0, 0, 640, 480, 0, 1};
    dev->fn->SetViewport(dev, &vp);
    for (int frame = 0; frame < 2; frame++) {
        ASSERT_EQ(D3D_OK, dev->fn->BeginScene(dev));
        Rs(D3D_RS_SRCBLEND, D3D_BLEND_SRCALPHA);
        Rs(D3D_RS_DESTBLEND, D3D_BLEND_INVSRCALPHA);
        Rs(D3D_RS_ALPHAFUNC, D3D_CMP_GREATER);
        Box(0, 0, 640, 90, 0xFF000000);
        ASSERT_EQ(D3D_OK, dev->fn->EndScene(dev));
    }
    EXPECT_EQ(0, D3dTestViolationCount()) << D3dTestViolations();
    EXPECT_EQ(D3D_ERR_INVALID_PARAMS, dev->fn->SetRenderState(dev, D3D_RS_SRCBLEND, 0));
    EXPECT_EQ(1, D3dTestViolationCount());  // the creation allowance ends with the first scene
}

TEST_F(DeviceRecord, SnapshotsOfTwoDevicesGivenTheSameCallsAreEqual)
{
    Open("record");
    D3dDevice *other = nullptr;
    ASSERT_EQ(D3D_OK, d3d->fn->CreateDevice(d3d, &kD3dGuidHalDevice, D3dTestSurfaceHandle(target), &other));
    other->fn->BeginScene(other);
    D3dTestSurface *tex = D3dTestCreateSurface(8, 8, &kD3dFormat565, D3D_SURF_TEXTURE);
    for (D3dDevice *d : {dev, other}) {
        d->fn->SetRenderState(d, D3D_RS_CULLMODE, D3D_CULL_NONE);
        d->fn->SetTextureStageState(d, 1, D3D_TSS_MAGFILTER, 2);
        d->fn->SetTexture(d, 1, D3dTestSurfaceHandle(tex));
    }
    D3dDeviceSnapshot a, b;
    ASSERT_EQ(0, D3dTestSnapshot(dev, &a));
    ASSERT_EQ(0, D3dTestSnapshot(other, &b));
    EXPECT_EQ(0, memcmp(&a, &b, sizeof a));
    other->fn->SetRenderState(other, D3D_RS_SHADEMODE, 1);
    D3dTestSnapshot(other, &b);
    EXPECT_NE(0, memcmp(&a, &b, sizeof a));
    other->fn->Release(other);
    D3dTestReleaseSurface(tex);
}
