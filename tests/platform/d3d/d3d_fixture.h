// Shared set-up of the 3-D device tests: memory surfaces, a device on a chosen back end, and
// helpers that draw boxes and textured quads and read 565 pixels back.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/d3d/d3d.h"
#include "testsupport/d3d/d3d_test.h"
#include "testsupport/d3d/d3d_test_surface.h"

struct ColorVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
};
struct TexturedVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};

class D3dFixture : public testing::Test {
protected:
    D3dObject *d3d = nullptr;
    D3dDevice *dev = nullptr;
    D3dTestSurface *target = nullptr;

    void SetUp() override
    {
        D3dTestReset();
        D3dTestUseMemorySurfaces();
        D3dTestResetCounters();
        ASSERT_EQ(D3D_OK, D3dCreateObject(&d3d));
    }
    void TearDown() override
    {
        if (dev) dev->fn->Release(dev);
        if (target) D3dTestReleaseSurface(target);
        if (d3d) d3d->fn->Release(d3d);
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_DEVICES));
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_OBJECTS));
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_SURFACE_COPIES));
        EXPECT_EQ(0, D3dTestLiveSurfaces());
        D3dTestReset();
        D3dTestRecord(0);
    }
    // A target of the size and format and a HAL device on the back end, inside a scene.
    void Open(const char *backend, int w = 32, int h = 32, const D3dPixelFormat *format = &kD3dFormat565)
    {
        ASSERT_EQ(0, D3dSelectBackend(backend));
        target = D3dTestCreateSurface(w, h, format, D3D_SURF_RENDER_TARGET);
        ASSERT_NE(nullptr, target);
        ASSERT_EQ(D3D_OK, d3d->fn->CreateDevice(d3d, &kD3dGuidHalDevice, D3dTestSurfaceHandle(target), &dev));
        ASSERT_EQ(D3D_OK, dev->fn->BeginScene(dev));
    }
    void Rs(uint32_t state, uint32_t value) { ASSERT_EQ(D3D_OK, dev->fn->SetRenderState(dev, state, value)); }
    void Tss(uint32_t stage, uint32_t state, uint32_t value)
    {
        ASSERT_EQ(D3D_OK, dev->fn->SetTextureStageState(dev, stage, state, value));
    }
    // A box (l, t)-(r, b) of one colour as two triangles.
    void Box(float l, float t, float r, float b, uint32_t color)
    {
        ColorVertex v[6] = {{l, t, 0, 1, color}, {r, t, 0, 1, color}, {l, b, 0, 1, color},
                            {r, t, 0, 1, color}, {r, b, 0, 1, color}, {l, b, 0, 1, color}};
        ASSERT_EQ(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x44, v, 6, 0));
    }
    // A textured quad at (x, y) of size (w, h) showing uv (0,0)-(u1,v1).
    void Quad(float x, float y, float w, float h, float u1, float v1, uint32_t color = 0xFFFFFFFF)
    {
        TexturedVertex v[6] = {{x, y, 0, 1, color, 0, 0},          {x + w, y, 0, 1, color, u1, 0},
                               {x, y + h, 0, 1, color, 0, v1},      {x + w, y, 0, 1, color, u1, 0},
                               {x + w, y + h, 0, 1, color, u1, v1}, {x, y + h, 0, 1, color, 0, v1}};
        ASSERT_EQ(D3D_OK, dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x144, v, 6, 0));
    }
    // The 565 pixel at (x, y) of a surface, after the device's drawing reached memory.
    static uint16_t Px(D3dTestSurface *s, int x, int y)
    {
        uint16_t p;
        memcpy(&p, D3dTestReadRow(s, y) + 2 * x, 2);
        return p;
    }
    uint16_t Px(int x, int y) { return Px(target, x, y); }
    // A 565 texture with the texel function's values.
    template <typename F>
    static D3dTestSurface *Texture565(int w, int h, F texel)
    {
        D3dTestSurface *s = D3dTestCreateSurface(w, h, &kD3dFormat565, D3D_SURF_TEXTURE);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                uint16_t p = texel(x, y);
                memcpy(s->view.pixels + s->view.pitch * y + 2 * x, &p, 2);
            }
        D3dTestTouchSurface(s);
        return s;
    }
};

// 565 from 8-bit channels.
inline uint16_t Pack565(int r, int g, int b) { return (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)); }
