// Shared set-up of the Direct3D renderer tests: the 3-D device on the record back end with memory
// surfaces, a display table a test can make fail, surface-data objects built as memory textures,
// and the library log read back without its time stamps.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "lib/core/log.h"
#include "lib/core/system.h"
#include "lib/d3d/d3d_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"
#include "testsupport/d3d/d3d_test.h"
#include "testsupport/d3d/d3d_test_surface.h"
#include "tests/support/test_temp_dir.h"

struct FakeDisplay {
    D3dTestSurface *front = nullptr;
    D3dTestSurface *back = nullptr;
    DdSurface *drawTarget = nullptr;  // null: the front surface
    int queryFails = 0;
    int builds = 0;                   // surface-data objects made
    int colorKeys = 0;
    int fills = 0;
    int lockFails = 0;
    int locks = 0;                    // held now
    int systemTextureFails = 0;
    int wholeLockFails = 0;
    int systemTextures = 0;           // alive now
    int systemWidth = 0, systemHeight = 0;
    DdSurface *work = nullptr;        // the display's work surface
};
inline FakeDisplay gDisplay;

inline int FakeQueryDirect3D(D3dObject **out) { return gDisplay.queryFails ? -1 : D3dCreateObject(out) < 0 ? -1 : 0; }
inline DdSurface *FakeFrontSurface(void) { return D3dTestSurfaceHandle(gDisplay.front); }
inline DdSurface *FakeBackSurface(void) { return D3dTestSurfaceHandle(gDisplay.back); }
inline DdSurface *FakeDrawTarget(void) { return gDisplay.drawTarget ? gDisplay.drawTarget : FakeFrontSurface(); }
inline int FakeScreenFormat(ColorFormatRecord *out) { return MakeColorFormatFromMasks(out, 16, 0xF800, 0x7E0, 0x1F, 0); }
inline int FakeBuild(int handle)
{
    SurfaceDataRecord *data = LookupSurfaceData(handle);
    if (!data) return -1;
    if (data->ddSurface) return 0;
    data->ddSurface = D3dTestCreateSurface(data->width, data->height, &kD3dFormat565, D3D_SURF_TEXTURE);
    gDisplay.builds++;
    return 0;
}
inline int FakeRelease(int handle)
{
    SurfaceDataRecord *data = LookupSurfaceData(handle);
    if (!data) return -1;
    if (data->ddSurface) D3dTestReleaseSurface((D3dTestSurface *)data->ddSurface);
    data->ddSurface = nullptr;
    return 0;
}
inline int FakeRestore(int) { return 0; }
inline int FakeFill(int, int, int, int, int) { return gDisplay.fills++, 0; }
inline void FakeColorKey(int) { gDisplay.colorKeys++; }

// A write lock straight on the memory pixels of the test surface.
inline int FakeLock(int handle, int *pitch, uint8_t **pixels, int, const Rect *rect)
{
    SurfaceDataRecord *data = LookupSurfaceData(handle);
    if (!data || !data->ddSurface || gDisplay.lockFails) return -1;
    const D3dSurfaceView &view = ((D3dTestSurface *)data->ddSurface)->view;
    int bytes = (int)view.format.bitCount / 8;
    *pitch = view.pitch;
    *pixels = view.pixels + (rect ? rect->top * view.pitch + rect->left * bytes : 0);
    return gDisplay.locks++ ? -2 : 0;
}
inline int FakeUnlock(int handle, const Rect *)
{
    SurfaceDataRecord *data = LookupSurfaceData(handle);
    if (!data || !gDisplay.locks) return -1;
    if (--gDisplay.locks == 0) D3dTestTouchSurface((D3dTestSurface *)data->ddSurface);
    return 0;
}

inline int FakeCreateSystemTexture(int width, int height, const D3dPixelFormat *format, DdSurface **out)
{
    if (gDisplay.systemTextureFails) return -1;
    gDisplay.systemWidth = width, gDisplay.systemHeight = height;
    *out = D3dTestSurfaceHandle(D3dTestCreateSurface(width, height, format, D3D_SURF_TEXTURE | D3D_SURF_SYSTEM_MEMORY));
    return *out ? gDisplay.systemTextures++, 0 : -1;
}
inline int FakeLockWhole(DdSurface *surface, int *pitch, uint8_t **pixels)
{
    if (gDisplay.wholeLockFails) return -1;
    *pitch = ((D3dTestSurface *)surface)->view.pitch;
    *pixels = ((D3dTestSurface *)surface)->view.pixels;
    return 0;
}
inline int FakeUnlockWhole(DdSurface *surface) { return D3dTestTouchSurface((D3dTestSurface *)surface), 0; }
inline void FakeReleaseSurface(DdSurface *surface)
{
    gDisplay.systemTextures--;
    D3dTestReleaseSurface((D3dTestSurface *)surface);
}

inline DdSurface *FakeWorkSurface(void) { return gDisplay.work; }

inline const Direct3DDisplayPort kFakeDisplayPort = {
    FakeQueryDirect3D, FakeFrontSurface, FakeDrawTarget,          FakeScreenFormat, FakeBuild,
    FakeRelease,       FakeRestore,      FakeFill,                FakeColorKey,     FakeBackSurface,
    FakeLock,          FakeUnlock,       FakeCreateSystemTexture, FakeLockWhole,    FakeUnlockWhole,
    FakeReleaseSurface, FakeWorkSurface,
};

// A draw scene: region and target offset, colour vertices pending before it, the draw, and what
// Dump(uv) gives for it.
struct DrawScene {
    Rect region, offset;
    uint32_t pending;
    int (*draw)(void);
    const char *drawn;
    int uv = 0;
};

class RendererTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, EnterFreshTempDir());
        ASSERT_EQ(0, OpenLogFile(GetFreshTempDir()));
        // A library an earlier test ended leaves its end request, which drops every batch.
        gSystem.endRequest = 0;
        D3dTestReset();
        D3dTestUseMemorySurfaces();
        ASSERT_EQ(0, D3dSelectBackend("record"));
        gDisplay = FakeDisplay{};
        gDisplay.front = D3dTestCreateSurface(640, 480, &kD3dFormat565, D3D_SURF_RENDER_TARGET);
        gDisplay.back = D3dTestCreateSurface(640, 480, &kD3dFormat565, D3D_SURF_RENDER_TARGET);
        SetDirect3DDisplayPort(&kFakeDisplayPort);
        ASSERT_EQ(0, InitGraphTables());
        ResetDrawSettings();
    }
    void TearDown() override
    {
        // The graphics core releases a store's objects with the store; here the test does.
        for (uint32_t i = 0; i < GDirect3D.highWater; i++)
            if (GDirect3D.surface3D[i]) FakeRelease(GDirect3D.surface3D[i]->surfaceData);
        G_D3D_Terminate();
        EXPECT_EQ(0u, GDirect3D.initialised);
        for (const Device3DRecord &device : GDevice3D) EXPECT_EQ(0u, device.inUse);
        SetDirect3DDisplayPort(nullptr);
        TermGraphTables();
        D3dTestReleaseSurface(gDisplay.front);
        D3dTestReleaseSurface(gDisplay.back);
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_DEVICES));
        EXPECT_EQ(0, D3dTestLiveCount(D3D_LIVE_OBJECTS));
        EXPECT_EQ(0, D3dTestLiveSurfaces());
        D3dTestReset();
        D3dTestRecord(0);
        CloseLogFile();
        LeaveFreshTempDir();
    }
    // Starts Direct3D with the recorder on; the start must succeed.
    void Start()
    {
        D3dTestRecord(1);
        ASSERT_EQ(0, G_D3D_Initialize());
        ASSERT_NE(nullptr, GDirect3D.direct3D);
    }
    // The log as written, each line without its time stamp, lines joined by "\n".
    static std::string LogText(void)
    {
        std::string raw = ReadTestFile("Log.txt"), out;
        size_t at = 0;
        while (at < raw.size()) {
            size_t end = raw.find("\r\n", at);
            std::string line = raw.substr(at, end == std::string::npos ? std::string::npos : end - at);
            size_t colon = line.find(':');
            if (colon != std::string::npos) line = line.substr(colon + 1);
            out += line + "\n";
            at = end == std::string::npos ? raw.size() : end + 2;
        }
        return out;
    }
    // The recorded device calls from mark on.
    static std::string Calls(int mark, int kind = -1) { return D3dTestLogText(mark, kind); }
    static int Count(const std::string &text, const std::string &what)
    {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
        return n;
    }
    Device3DRecord &Device(void) { return GDevice3D[GDirect3D.currentSlot]; }
    // Queues n quads of the current vertex type as the draws do.
    static void QueueQuads(int n)
    {
        for (int i = 0; i < n; i++) ASSERT_NE(nullptr, G_D3D_ReserveVertices(0, D3D_PT_TRIANGLELIST, 6));
    }
    // The device's draws from mark on, the batch drawn first: one line each, the primitive's initial
    // (S a strip, I a grid), then x,y of each vertex (of a grid its four corners), and their number past
    // 24. With uv also u,v (u,v of both stages when 2) and a * on those with the draw's diffuse colour.
    static std::string Dump(int mark, int uv = 0)
    {
        G_D3D_FlushVertexBatch();
        std::string out;
        char text[96];
        for (int i = mark, n = 0; i < D3dTestLogCount(); i++) {
            std::string call = Calls(i);
            const D3dRecordedVertex *v = D3dTestLogVertices(i, &n);
            if (!v) continue;
            size_t at = call.find("Primitive ") + 10;
            int side = D3dTestLogKind(i) == D3D_CALL_DRAW_INDEXED_PRIMITIVE ? (int)std::lround(std::sqrt(n)) : 0;
            out += side ? 'I' : call.compare(at, 13, "TRIANGLESTRIP") ? call[at] : 'S';
            const int corners[4] = {0, side - 1, n - side, n - 1};
            for (int k = 0; k < (side ? 4 : n <= 24 ? n : 0); k++) {
                const D3dRecordedVertex &x = v[side ? corners[k] : k];
                snprintf(text, sizeof text, uv > 1 ? " %g,%g,%g,%g,%g,%g" : uv ? " %g,%g,%g,%g" : " %g,%g", x.x, x.y,
                         x.u0, x.v0, x.u1, x.v1);
                out += text + std::string(uv && x.diffuse == GDirect3D.diffuseColor ? "*" : "");
            }
            out += n > 24 ? " " + std::to_string(n) + "\n" : "\n";
        }
        return out;
    }
    // Draws each scene and compares what reached the device.
    static void RunScenes(const DrawScene *scenes, size_t count)
    {
        for (size_t i = 0; i < count; i++) {
            const DrawScene &s = scenes[i];
            SCOPED_TRACE(i);
            GDrawSettings.drawRegion = s.region, GDrawSettings.clientArea = s.offset;
            const float edges[4] = {(float)s.region.left, (float)s.region.top, (float)s.region.right, (float)s.region.bottom};
            memcpy(GDrawSettings.drawRegionF, edges, sizeof edges);
            uint8_t *pending = s.pending ? G_D3D_ReserveVerticesToCapacity(0, D3D_PT_TRIANGLELIST, s.pending) : nullptr;
            if (pending) memset(pending, 0, s.pending * sizeof(ColorVertex));
            int mark = D3dTestMark();
            ASSERT_EQ(0, s.draw());
            EXPECT_EQ(s.drawn, Dump(mark, s.uv));
        }
    }
};

#define WHOLE_SCREEN {0, 0, 640, 480}
#define NO_OFFSET {0, 0, 0, 0}
