// The device on the DirectDraw stand-in's surfaces: the 3-D object from QueryInterface, drawing that
// reaches a Lock, CPU writes that reach the next draw, frames presented in the window without passing
// through memory, and nothing left alive at the end.
#include <cstdlib>
#include <functional>

#include "platform/ddraw/ddraw.h"
#include "tests/platform/d3d/d3d_fixture.h"
#include "testsupport/test_hooks.h"
#include "testsupport/window/window_test.h"

class DdrawSurfaces : public testing::Test {
protected:
    DdDraw *dd = nullptr;
    D3dObject *d3d = nullptr;
    D3dDevice *dev = nullptr;
    DdSurface *target = nullptr;
    WHandle window = 0;  // where the surfaces show (the device draws there too), or none

    // The window the draw object shows in; none here.
    virtual void OpenWindow() {}

    void SetUp() override
    {
        D3dTestReset();
        D3dSetSurfacePort(nullptr);  // the DirectDraw surfaces, as the library uses
        ASSERT_EQ(0, D3dRegisterWithDirectDraw());
        ASSERT_EQ(DD_OK, DdCreate(nullptr, &dd, nullptr));
        OpenWindow();
        ASSERT_EQ(DD_OK, dd->fn->SetCooperativeLevel(dd, window, DD_SCL_NORMAL));
        DdGuid iid;
        memcpy(&iid, &kD3dGuidObject, sizeof iid);
        ASSERT_EQ(DD_OK, dd->fn->QueryInterface(dd, &iid, (void **)&d3d));
        target = Make(565, 16, 16, DD_CAPS_OFFSCREENPLAIN | DD_CAPS_3DDEVICE);
        ASSERT_EQ(0, D3dSelectBackend("gl"));
        ASSERT_EQ(D3D_OK, d3d->fn->CreateDevice(d3d, &kD3dGuidHalDevice, target, &dev));
        ASSERT_EQ(D3D_OK, dev->fn->BeginScene(dev));
    }
    void TearDown() override
    {
        if (dev) dev->fn->Release(dev);
        if (target) target->fn->Release(target);
        if (d3d) d3d->fn->Release(d3d);
        if (dd) dd->fn->Release(dd);
        for (int k = 0; k < DD_OBJ_KIND_COUNT; k++) EXPECT_EQ(0, DdTestLiveCount((DdObjectKind)k)) << k;
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_OBJECTS));
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_SURFACE_COPIES));
        D3dTestReset();
        if (window) WDestroyWindow(window), WUnregisterClass("DevicePresents"), WQuitSubsystem();
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_CONTEXTS));  // no device left: the context went too
    }
    DdSurface *Make(int layout, int w, int h, uint32_t caps)
    {
        DdSurfaceDesc d = {};
        d.size = sizeof d;
        d.flags = DD_SD_CAPS | DD_SD_WIDTH | DD_SD_HEIGHT | DD_SD_PIXELFORMAT;
        d.width = (uint32_t)w, d.height = (uint32_t)h, d.caps = caps;
        EXPECT_EQ(0, DdMakePixelFormat(layout, &d.pixelFormat));
        DdSurface *s = nullptr;
        EXPECT_EQ(DD_OK, dd->fn->CreateSurface(dd, &d, &s, nullptr));
        return s;
    }
    // The 16-bit pixel at (x, y) through a Lock, as the graphics core reads it.
    static uint16_t LockedPixel(DdSurface *s, int x, int y)
    {
        DdSurfaceDesc desc = {};
        desc.size = sizeof desc;
        EXPECT_EQ(DD_OK, s->fn->Lock(s, nullptr, &desc, DD_LOCK_WAIT));
        uint16_t p;
        memcpy(&p, (uint8_t *)desc.surface + desc.pitch * y + 2 * x, 2);
        s->fn->Unlock(s, nullptr);
        return p;
    }
    void Quad(float x, float y, float w, float h)
    {
        TexturedVertex v[6] = {{x, y, 0, 1, 0xFFFFFFFF, 0, 0},     {x + w, y, 0, 1, 0xFFFFFFFF, 1, 0},
                               {x, y + h, 0, 1, 0xFFFFFFFF, 0, 1}, {x + w, y, 0, 1, 0xFFFFFFFF, 1, 0},
                               {x + w, y + h, 0, 1, 0xFFFFFFFF, 1, 1}, {x, y + h, 0, 1, 0xFFFFFFFF, 0, 1}};
        ASSERT_EQ(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x144, v, 6, 0));
    }
};

TEST_F(DdrawSurfaces, DrawingReachesALockAndCpuWritesReachTheNextDraw)
{
    DdSurface *tex = Make(565, 4, 4, DD_CAPS_TEXTURE);
    DdBltFx fx = {sizeof fx, 0x1234, 0};
    ASSERT_EQ(DD_OK, tex->fn->Blt(tex, nullptr, nullptr, nullptr, DD_BLT_COLORFILL | DD_BLT_WAIT, &fx));
    dev->fn->SetTexture(dev, 0, tex);
    Quad(-0.5f, -0.5f, 4, 4);
    EXPECT_EQ(0x1234, LockedPixel(target, 3, 3));
    EXPECT_EQ(0, LockedPixel(target, 4, 3));
    fx.fillColor = 0x4321;
    ASSERT_EQ(DD_OK, tex->fn->Blt(tex, nullptr, nullptr, nullptr, DD_BLT_COLORFILL | DD_BLT_WAIT, &fx));
    fx.fillColor = 0xBEEF;
    DdRect corner = {15, 15, 16, 16};
    ASSERT_EQ(DD_OK, target->fn->Blt(target, &corner, nullptr, nullptr, DD_BLT_COLORFILL | DD_BLT_WAIT, &fx));
    Quad(-0.5f, -0.5f, 4, 4);
    EXPECT_EQ(0x4321, LockedPixel(target, 0, 0));
    EXPECT_EQ(0xBEEF, LockedPixel(target, 15, 15));
    dev->fn->SetTexture(dev, 0, nullptr);
    tex->fn->Release(tex);
}

TEST_F(DdrawSurfaces, ColourKeyAndLossComeFromTheSurface)
{
    DdSurface *tex = Make(565, 4, 4, DD_CAPS_TEXTURE);
    DdColorKey key = {0, 0};
    ASSERT_EQ(DD_OK, tex->fn->SetColorKey(tex, DD_CKEY_SRCBLT, &key));
    DdBltFx fx = {sizeof fx, 0xFFFF, 0};
    target->fn->Blt(target, nullptr, nullptr, nullptr, DD_BLT_COLORFILL | DD_BLT_WAIT, &fx);
    dev->fn->SetTexture(dev, 0, tex);
    dev->fn->SetRenderState(dev, D3D_RS_COLORKEYENABLE, 1);
    Quad(-0.5f, -0.5f, 4, 4);  // every texel is the key
    EXPECT_EQ(0xFFFF, LockedPixel(target, 1, 1));
    DdTestLoseAllSurfaces();
    TexturedVertex v[3] = {};
    EXPECT_EQ(D3D_ERR_SURFACE_LOST, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x144, v, 3, 0));
    target->fn->Restore(target);
    tex->fn->Restore(tex);
    dev->fn->SetTexture(dev, 0, nullptr);
    tex->fn->Release(tex);
}

// ---- frames shown in the window ----------------------------------------------------------------------
static intptr_t IgnoreMessages(WHandle, uint32_t, uintptr_t, intptr_t) { return 0; }

class DevicePresents : public DdrawSurfaces {
protected:
    DdSurface *tex = nullptr, *primary = nullptr;

    void OpenWindow() override
    {
        ASSERT_EQ(0, WInitSubsystem());
        ASSERT_EQ(1, WRegisterClass("DevicePresents", IgnoreMessages));
        window = WCreateWindow("DevicePresents", "device", 16, 16, W_STYLE_HIDDEN);
        ASSERT_NE(0, window);
    }
    void SetUp() override
    {
        DdrawSurfaces::SetUp();
        dev->fn->EndScene(dev);
        tex = Make(565, 4, 4, DD_CAPS_TEXTURE);
        DdBltFx fx = {sizeof fx, 0x07E0, 0};
        ASSERT_EQ(DD_OK, tex->fn->Blt(tex, nullptr, nullptr, nullptr, DD_BLT_COLORFILL | DD_BLT_WAIT, &fx));
        dev->fn->SetTexture(dev, 0, tex);
        D3dTestKeepPresentedFrames(0);
    }
    void TearDown() override
    {
        D3dTestKeepPresentedFrames(1);
        dev->fn->SetTexture(dev, 0, nullptr);
        if (primary) primary->fn->Release(primary);
        tex->fn->Release(tex);
        DdrawSurfaces::TearDown();
    }
    // Counts of the device's work since the last call.
    static D3dCounters Since()
    {
        D3dCounters c;
        D3dTestGetCounters(&c);
        D3dTestResetCounters();
        return c;
    }
    // A frame on back: cleared to red, the green texture's quad at the top left, then shown.
    void Frame(DdSurface *back, const std::function<void()> &show)
    {
        DdBltFx fx = {sizeof fx, 0xF800, 0};
        ASSERT_EQ(DD_OK, back->fn->Blt(back, nullptr, nullptr, nullptr, DD_BLT_COLORFILL | DD_BLT_WAIT, &fx));
        dev->fn->BeginScene(dev);
        Quad(-0.5f, -0.5f, 4, 4);
        dev->fn->EndScene(dev);
        show();
    }
    // After the first frame (the texture's upload), frames only the device draws read nothing back and
    // upload nothing, each is one present, and the window shows what was drawn (its framebuffer read
    // back when asked, the surface still not).
    void CheckFrames(DdSurface *back, const std::function<void()> &show)
    {
        Frame(back, show);
        Since();
        uint64_t presents = WTestGetPresentCount(window);
        for (int i = 0; i < 3; i++) Frame(back, show);
        D3dCounters c = Since();
        EXPECT_EQ(0u, c.readbacks);
        EXPECT_EQ(0u, c.uploads);
        EXPECT_EQ(presents + 3, WTestGetPresentCount(window));
        D3dTestKeepPresentedFrames(1);
        Frame(back, show);
        EXPECT_EQ(0u, Since().readbacks);
        const void *pixels;
        int w, h, bits;
        ASSERT_EQ(0, WTestGetPresentedFrame(window, &pixels, &w, &h, &bits));
        EXPECT_EQ(0x07E0, ((const uint16_t *)pixels)[3 * w + 3]);
        EXPECT_EQ(0xF800, ((const uint16_t *)pixels)[3 * w + 4]);
    }
};

TEST_F(DevicePresents, WindowFramesNeverPassThroughMemory)
{
    DdSurfaceDesc d = {};
    d.size = sizeof d, d.flags = DD_SD_CAPS, d.caps = DD_CAPS_PRIMARYSURFACE;
    ASSERT_EQ(DD_OK, dd->fn->CreateSurface(dd, &d, &primary, nullptr));
    CheckFrames(target, [&] {
        ASSERT_EQ(DD_OK, primary->fn->BltFast(primary, 0, 0, target, nullptr, DD_BLTFAST_WAIT));
        ASSERT_EQ(0, DdPresentSurface(primary, window));
    });
}

TEST_F(DevicePresents, FlippedFramesNeverPassThroughMemory)
{
    ASSERT_EQ(DD_OK, dd->fn->SetCooperativeLevel(dd, window, DD_SCL_FULLSCREEN | DD_SCL_EXCLUSIVE));
    ASSERT_EQ(DD_OK, dd->fn->SetDisplayMode(dd, 16, 16, 16, 60, 0));
    DdSurfaceDesc d = {};
    d.size = sizeof d, d.flags = DD_SD_CAPS | DD_SD_BACKBUFFERCOUNT, d.backBufferCount = 1;
    d.caps = DD_CAPS_PRIMARYSURFACE | DD_CAPS_FLIP | DD_CAPS_COMPLEX | DD_CAPS_3DDEVICE;
    ASSERT_EQ(DD_OK, dd->fn->CreateSurface(dd, &d, &primary, nullptr));
    uint32_t caps = DD_CAPS_BACKBUFFER;
    DdSurface *back = nullptr;
    ASSERT_EQ(DD_OK, primary->fn->GetAttachedSurface(primary, &caps, &back));
    ASSERT_EQ(D3D_OK, dev->fn->SetRenderTarget(dev, back, 0));
    CheckFrames(back, [&] { ASSERT_EQ(DD_OK, primary->fn->Flip(primary, nullptr, DD_FLIP_WAIT)); });
    EXPECT_EQ(0x07E0, LockedPixel(primary, 0, 0));  // the flipped pictures stay with their surfaces
    ASSERT_EQ(D3D_OK, dev->fn->SetRenderTarget(dev, target, 0));
    back->fn->Release(back);
}

// A device made again on the window (after a display change) finds the context its last one left
// there, with the programs already built; the context goes with the window.
TEST_F(DevicePresents, ADeviceMadeAgainOnItsWindowFindsTheContextAndItsPrograms)
{
    Frame(target, [] {});
    dev->fn->SetTexture(dev, 0, nullptr);
    dev->fn->Release(dev);
    dev = nullptr;
    EXPECT_EQ(1, D3dTestLiveCount(D3D_LIVE_CONTEXTS));
    Since();
    ASSERT_EQ(D3D_OK, d3d->fn->CreateDevice(d3d, &kD3dGuidHalDevice, target, &dev));
    dev->fn->SetTexture(dev, 0, tex);
    Frame(target, [] {});
    EXPECT_EQ(0u, Since().programsBuilt);
    EXPECT_EQ(0x07E0, LockedPixel(target, 0, 0));
}

// A CPU lock of a target the device drew reads it back once; only the rectangle the CPU changed goes
// back to the device, and both the drawing and the CPU's pixels are there afterwards.
TEST_F(DevicePresents, CpuLockReadsBackOnceAndUploadsWhatItChanged)
{
    Frame(target, [] {});
    Since();
    DdSurfaceDesc desc = {};
    desc.size = sizeof desc;
    ASSERT_EQ(DD_OK, target->fn->Lock(target, nullptr, &desc, DD_LOCK_WAIT));
    for (int y = 9; y < 11; y++)
        for (int x = 6; x < 9; x++) memcpy((uint8_t *)desc.surface + desc.pitch * y + 2 * x, "\x1F\x00", 2);
    target->fn->Unlock(target, nullptr);
    dev->fn->BeginScene(dev);
    Quad(11.5f, 11.5f, 4, 4);
    dev->fn->EndScene(dev);
    D3dCounters c = Since();
    EXPECT_EQ(1u, c.readbacks);
    EXPECT_EQ(1u, c.uploads);
    EXPECT_EQ(0u, c.fullUploads);
    EXPECT_EQ(0x001F, LockedPixel(target, 6, 9));
    EXPECT_EQ(0x001F, LockedPixel(target, 8, 10));
    EXPECT_EQ(0xF800, LockedPixel(target, 9, 10));
    EXPECT_EQ(0x07E0, LockedPixel(target, 0, 0));
    EXPECT_EQ(0x07E0, LockedPixel(target, 12, 12));
}
