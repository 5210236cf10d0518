// The capture through the whole library on the DirectDraw route with Direct3D on, the device drawing
// through OpenGL on SDL's offscreen driver: the back screen arrives in a texture graph.
#include <gtest/gtest.h>

#include <cstdlib>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/capture.h"
#include "lib/graphics/ddraw_display.h"
#include "lib/graphics/screen.h"
#include "platform/d3d/d3d_surface.h"
#include "tests/support/test_temp_dir.h"

// OpenGL needs SDL's "offscreen" driver and the software renderer, set before the test main runs.
static const int kSoftwareGl = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    return setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
}();

// Writes the pattern into width x height at (x0, y0) of a surface (write 1), or tells whether that
// area holds the pattern's (px, py)-(px + width, py + height).
static bool Pattern(DdSurface *surface, int x0, int y0, int width, int height, int px, int py, int write)
{
    DdSurfaceDesc desc = {sizeof desc};
    if (surface->fn->Lock(surface, nullptr, &desc, DD_LOCK_WAIT) != DD_OK) return false;
    bool same = true;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint16_t &pixel = ((uint16_t *)((uint8_t *)desc.surface + (y0 + y) * desc.pitch))[x0 + x];
            uint16_t want = (uint16_t)((px + x) * 13 + (py + y) * 97 + 5);
            if (write) pixel = want;
            same = same && pixel == want;
        }
    surface->fn->Unlock(surface, nullptr);
    return same;
}

TEST(CaptureRouteTest, TheBackScreenArrivesInATextureGraph)
{
    setenv("DAZAR_RENDER_ROUTE", "d3d", 1);
    ASSERT_EQ(0, D3dSelectBackend("gl"));
    D3dSetSurfacePort(nullptr);  // the display's own surfaces, whatever a test before put in
    ASSERT_EQ(0, EnterFreshTempDir());
    ChangeWindowMode(1);
    ASSERT_EQ(0, InitLibrary());
    ASSERT_EQ(0, SelectScreenMode(640, 480, 16, 60));
    ASSERT_EQ(0, SelectDrawTarget(SCREEN_BACK));
    Pattern(GetScreenSurface(SCREEN_BACK), 0, 0, 640, 480, 0, 0, 1);
    int graph = MakeBlankGraph(640, 480, 0);
    GraphRecord *record = LookupGraph(graph);
    ASSERT_TRUE(record && record->format.textureFlag && record->pieces.count == 2);
    ASSERT_EQ(0, CaptureDrawTargetToGraph(0, 0, 640, 480, graph, 1));
    for (int i = 0; i < 2; i++) {
        const Surface3DData *p = GetSurface3DData(record->pieces.handles[i]);
        auto *texture = (DdSurface *)LookupSurfaceData(p->surfaceData)->ddSurface;
        EXPECT_TRUE(Pattern(texture, p->surfaceX, p->surfaceY, p->width, p->height, p->graphX, p->graphY, 0)) << i;
    }
    EndLibrary();
    gSystem.endRequest = 0;  // sticky; the renderer tests after this one draw their batches
    ChangeWindowMode(0);
    LeaveFreshTempDir();
    unsetenv("DAZAR_RENDER_ROUTE");
    D3dSelectBackend(nullptr);
}
