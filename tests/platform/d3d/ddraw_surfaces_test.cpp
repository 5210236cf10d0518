// The device on the DirectDraw stand-in's surfaces: the 3-D object from QueryInterface, drawing that
// reaches a Lock, CPU writes that reach the next draw, and nothing left alive at the end.
#include <cstdlib>

#include "platform/ddraw/ddraw.h"
#include "tests/platform/d3d/d3d_fixture.h"

class DdrawSurfaces : public testing::Test {
protected:
    DdDraw *dd = nullptr;
    D3dObject *d3d = nullptr;
    D3dDevice *dev = nullptr;
    DdSurface *target = nullptr;

    void SetUp() override
    {
        D3dTestReset();
        D3dSetSurfacePort(nullptr);  // the DirectDraw surfaces, as the library uses
        ASSERT_EQ(0, D3dRegisterWithDirectDraw());
        ASSERT_EQ(DD_OK, DdCreate(nullptr, &dd, nullptr));
        ASSERT_EQ(DD_OK, dd->fn->SetCooperativeLevel(dd, 0, DD_SCL_NORMAL));
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
