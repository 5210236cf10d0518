// Test hooks around the device's presents: the presented picture kept where tests read presented
// frames, and a wait for the device's work.
#include "platform/d3d/d3d_internal.h"
#include "testsupport/d3d/d3d_test.h"
#include "testsupport/window/window_test.h"

// Reads the picture about to be shown back into the surface's memory and keeps it for the window.
static void KeepPresented(DdSurface *surface, intptr_t window)
{
    D3dSurfaceBeforeCpuAccess(surface);
    D3dSurfaceView view;
    if (D3dViewOf(surface, &view) != 0 || !view.pixels) return;
    WTestKeepFrame((WHandle)window, view.pixels, view.width, view.height, view.pitch, (int)view.format.bitCount);
}

void D3dTestKeepPresentedFrames(int on) { gD3d.presentWatcher = on ? KeepPresented : nullptr; }

void D3dTestFinish(void) { D3dGlFinish(); }
