// The same game-like frame drawn through the 3-D device on OpenGL (Mesa's software renderer without
// a GPU): 195 floor tiles, 150 keyed sprites, the HUD band and 40 glyphs as textured and coloured
// quads, batched as the renderer batches them, then waited for (the present shows the device's
// picture without reading it back).
// Needs SDL_VIDEODRIVER=offscreen (or a display); under the dummy driver it reports an error.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/d3d/d3d.h"
#include "testsupport/d3d/d3d_test.h"
#include "testsupport/d3d/d3d_test_surface.h"

namespace {

struct Vertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};

struct DeviceScene {
    D3dObject *d3d;
    D3dDevice *dev;
    D3dTestSurface *target, *sheet, *glyphs;
};

// Appends one quad (the renderer's -0.5 shift) showing the square cell of a 256 x 256 texture.
void AddQuad(std::vector<Vertex> *out, float x, float y, float w, float h, int cell, uint32_t color)
{
    float u0 = (float)(cell % 8) / 8.0f, v0 = (float)(cell / 8) / 8.0f, u1 = u0 + w / 256.0f, v1 = v0 + h / 256.0f;
    x -= 0.5f, y -= 0.5f;
    Vertex q[6] = {{x, y, 0, 1, color, u0, v0},         {x + w, y, 0, 1, color, u1, v0},
                   {x, y + h, 0, 1, color, u0, v1},     {x + w, y, 0, 1, color, u1, v0},
                   {x + w, y + h, 0, 1, color, u1, v1}, {x, y + h, 0, 1, color, u0, v1}};
    out->insert(out->end(), q, q + 6);
}

// A texture whose texels are a mixing pattern (and the key where the pattern says so).
D3dTestSurface *MakeTexture(const D3dPixelFormat *format, uint16_t key)
{
    D3dTestSurface *s = D3dTestCreateSurface(256, 256, format, D3D_SURF_TEXTURE);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            uint16_t p = (x % 32 < 4 || y % 32 < 4) ? key : (uint16_t)(x * 131 + y * 71);
            memcpy(s->view.pixels + s->view.pitch * y + 2 * x, &p, 2);
        }
    s->view.hasColorKey = 1;
    s->view.colorKey = key;
    D3dTestTouchSurface(s);
    return s;
}

// The device, target and textures; false when OpenGL cannot start here.
bool OpenScene(DeviceScene *scene)
{
    memset(scene, 0, sizeof *scene);
    D3dTestUseMemorySurfaces();
    D3dSelectBackend("gl");
    if (D3dCreateObject(&scene->d3d) != D3D_OK) return false;
    scene->target = D3dTestCreateSurface(640, 480, &kD3dFormat565, D3D_SURF_RENDER_TARGET);
    scene->sheet = MakeTexture(&kD3dFormat565, 0xF81F);
    scene->glyphs = MakeTexture(&kD3dFormat4444, 0);
    return scene->d3d->fn->CreateDevice(scene->d3d, &kD3dGuidHalDevice, D3dTestSurfaceHandle(scene->target),
                                        &scene->dev) == D3D_OK;
}

void CloseScene(DeviceScene *scene)
{
    if (scene->dev) scene->dev->fn->Release(scene->dev);
    for (D3dTestSurface *s : {scene->target, scene->sheet, scene->glyphs}) D3dTestReleaseSurface(s);
    if (scene->d3d) scene->d3d->fn->Release(scene->d3d);
    D3dSetSurfacePort(nullptr);
}

// Stage 0 as the renderer sets it for a textured draw (or the diffuse colour alone).
void SetStage(D3dDevice *dev, D3dTestSurface *texture, int key, int blend)
{
    uint32_t arg = texture ? D3D_TA_TEXTURE : D3D_TA_DIFFUSE;
    dev->fn->SetTexture(dev, 0, texture ? D3dTestSurfaceHandle(texture) : nullptr);
    dev->fn->SetTextureStageState(dev, 0, D3D_TSS_COLOROP, D3D_TOP_MODULATE);
    dev->fn->SetTextureStageState(dev, 0, D3D_TSS_COLORARG1, arg);
    dev->fn->SetTextureStageState(dev, 0, D3D_TSS_ALPHAOP, D3D_TOP_MODULATE);
    dev->fn->SetTextureStageState(dev, 0, D3D_TSS_ALPHAARG1, arg);
    dev->fn->SetRenderState(dev, D3D_RS_COLORKEYENABLE, key);
    dev->fn->SetRenderState(dev, D3D_RS_ALPHABLENDENABLE, blend);
}

void Draw(D3dDevice *dev, const std::vector<Vertex> &v)
{
    dev->fn->DrawPrimitive(dev, D3D_PT_TRIANGLELIST, 0x144, v.data(), (uint32_t)v.size(), 0);
}

// One frame, ending when the device has drawn it.
void DrawDeviceFrame(DeviceScene *s)
{
    D3dDevice *dev = s->dev;
    std::vector<Vertex> v;
    dev->fn->BeginScene(dev);
    SetStage(dev, nullptr, 0, 0);
    AddQuad(&v, 0, 0, 640, 480, 0, 0xFF000000);
    Draw(dev, v);
    v.clear();
    SetStage(dev, s->sheet, 1, 0);
    for (int i = 0; i < 195; i++) AddQuad(&v, 80 + (float)(i % 15) * 32, 80 + (float)(i / 15) * 32, 32, 32, 0, ~0u);
    for (int i = 0; i < 150; i++) AddQuad(&v, 80 + (float)((i * 37) % 448), 80 + (float)((i * 53) % 384), 32, 32, 4 + i % 36, ~0u);
    Draw(dev, v);
    v.clear();
    SetStage(dev, nullptr, 0, 0);
    AddQuad(&v, 0, 0, 640, 90, 0, 0xFF000000);
    Draw(dev, v);
    v.clear();
    dev->fn->SetRenderState(dev, D3D_RS_SRCBLEND, D3D_BLEND_SRCALPHA);
    dev->fn->SetRenderState(dev, D3D_RS_DESTBLEND, D3D_BLEND_INVSRCALPHA);
    SetStage(dev, s->glyphs, 0, 1);
    for (int i = 0; i < 40; i++) AddQuad(&v, 10 + (float)(i % 20) * 24, 10 + (float)(i / 20) * 30, 24, 24, i % 64, ~0u);
    Draw(dev, v);
    dev->fn->EndScene(dev);
    D3dTestFinish();
}

}  // namespace

void ReportDeviceCounters(benchmark::State &state, const D3dCounters *apart)
{
    D3dCounters c;
    D3dTestGetCounters(&c);
    double frames = (double)state.iterations();
    state.counters["draws/frame"] = (double)c.draws / frames;
    state.counters["states/frame"] = (double)c.stateChanges / frames;
    state.counters["programs built"] = (double)c.programsBuilt;  // while timed: 0 when none is built per frame
    D3dCounters none = {};
    const D3dCounters &a = apart ? *apart : none;
    state.counters["readbacks/frame"] = (double)(c.readbacks - a.readbacks) / frames;
    state.counters["uploads/frame"] = (double)(c.uploads - a.uploads) / frames;
    state.counters["full uploads/frame"] = (double)(c.fullUploads - a.fullUploads) / frames;
    if (!apart) return;
    state.counters["text readbacks/frame"] = (double)a.readbacks / frames;
    state.counters["text uploads/frame"] = (double)a.uploads / frames;
    state.counters["text full uploads/frame"] = (double)a.fullUploads / frames;
}

namespace {

void DeviceFrame(benchmark::State &state)
{
    DeviceScene scene;
    if (!OpenScene(&scene)) {
        CloseScene(&scene);
        state.SkipWithError("no OpenGL here (run with SDL_VIDEODRIVER=offscreen)");
        return;
    }
    DrawDeviceFrame(&scene);  // programs built and textures uploaded before timing
    D3dTestResetCounters();
    for (auto _ : state) DrawDeviceFrame(&scene);
    ReportDeviceCounters(state, nullptr);
    CloseScene(&scene);
}
BENCHMARK(DeviceFrame)->Name("Frame/device")->Unit(benchmark::kMicrosecond);

}  // namespace
