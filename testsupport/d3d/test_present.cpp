// Test hooks around the device's presents: what the window shows read back from its framebuffer and
// kept where tests read presented frames, and a wait for the device's work.
#include <SDL.h>
#include <GL/glcorearb.h>

#include <vector>

#include "platform/d3d/d3d_internal.h"
#include "testsupport/d3d/d3d_test.h"
#include "testsupport/window/window_test.h"

// Reads the window's OpenGL framebuffer as the present left it (drawn, not yet swapped) and keeps
// the surface's picture as it shows there. The device's context is current. Inside the present's
// guarded call, which a broken connection leaves from any call that reaches the display: the buffer is
// the thread's, with nothing to free on the way out.
static void KeepShown(DdSurface *surface, intptr_t window)
{
    static auto bindFramebuffer = (PFNGLBINDFRAMEBUFFERPROC)SDL_GL_GetProcAddress("glBindFramebuffer");
    static auto readPixels = (PFNGLREADPIXELSPROC)SDL_GL_GetProcAddress("glReadPixels");
    D3dSurfaceView view{};
    int dw = 0, dh = 0;
    if (!bindFramebuffer || !readPixels || D3dViewOf(surface, &view) != 0 ||
        WGetGlDrawableSize((WHandle)window, &dw, &dh) != 0 || dw <= 0 || dh <= 0)
        dw = dh = 0;
    static thread_local std::vector<uint32_t> shown;
    shown.resize((size_t)dw * (size_t)dh);
    if (dw) {
        bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        readPixels(0, 0, dw, dh, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, shown.data());
    }
    // OpenGL's rows run up from the bottom: the window's top row is the last read. None read: the
    // last frame is forgotten, not kept as this one.
    WTestKeepShownFrame((WHandle)window, dw ? &shown[(size_t)(dh - 1) * (size_t)dw] : nullptr, -(ptrdiff_t)dw, dw,
                        dh, view.width, view.height, (int)view.format.bitCount);
}

void D3dTestKeepPresentedFrames(int on) { gD3d.presentWatcher = on ? KeepShown : nullptr; }

void D3dTestFinish(void) { D3dGlFinish(); }
