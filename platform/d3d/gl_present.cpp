// Surface work the "gl" back end does on its copies, so the pictures stay on the device: fills,
// unscaled copies and flips between surfaces with copies, and the present of a surface shown in the
// context's window by drawing its copy there and swapping. A frame that only the device draws never
// passes through memory.
#include <cstring>

#include "platform/d3d/gl_internal.h"

// ---- work on the copies -------------------------------------------------------------------------------
// Draws on a copy's framebuffer outside any draw's state: no scissor while it runs.
static void BeginWork(void)
{
    D3dGlMakeCurrent();
    gGl.Disable(GL_SCISSOR_TEST);
}

static void EndWork(void)
{
    gGl.Enable(GL_SCISSOR_TEST);
    gGlContext.cache.framebuffer = (GLuint)-1;  // read and draw bindings both moved
}

// The copy of a live surface, up to date outside r when r is not the whole surface; null when none.
static D3dGlCopy *CopyToOverwrite(DdSurface *surface, const D3dRect &r)
{
    D3dSurfaceView view;
    if (D3dViewOf(surface, &view) != 0 || view.locked || view.lost) return nullptr;
    D3dGlCopy *copy = D3dGlFittedCopy(surface, &view);
    if (!copy || D3dGlMakeFramebuffer(copy) != 0) return nullptr;
    if (D3dGlIsWhole(copy, r)) {
        copy->stale = 0;
        copy->dirty = D3dRect{};
        copy->version = view.pixelsVersion;
    } else if (!D3dGlCurrentCopy(surface, &view)) {
        return nullptr;
    }
    return copy;
}

// The fill on the device: where the copy holds the picture (or the fill replaces all of it), so no
// memory pixels need to travel for it.
int D3dGlFill(DdSurface *surface, const D3dRect *rect, uint32_t value)
{
    D3dGlCopy *copy = D3dGlFindCopy(surface);
    if (!copy || (copy->stale && !D3dGlIsWhole(copy, *rect))) return 0;
    D3dGlMakeCurrent();
    copy = CopyToOverwrite(surface, *rect);
    if (!copy) return 0;
    GLint area[4] = {rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top};
    gGl.Scissor(area[0], area[1], area[2], area[3]);
    memcpy(gGlContext.cache.scissor, area, sizeof area);
    if (copy->format == GLF_Z16) {
        if (gGlContext.cache.depthMask != 1) gGl.DepthMask(GL_TRUE), gGlContext.cache.depthMask = 1;
        gGl.ClearDepth((double)(value & 0xFFFF) / 65535.0);
        gGl.Clear(GL_DEPTH_BUFFER_BIT);
    } else {
        D3dSurfaceView view;
        D3dViewOf(surface, &view);
        const uint32_t masks[4] = {view.format.rMask, view.format.gMask, view.format.bMask, view.format.aMask};
        float c[4];
        for (int i = 0; i < 4; i++) c[i] = masks[i] ? D3dGlUnitChannel(value, masks[i]) : 1.0f;
        gGl.ClearColor(c[0], c[1], c[2], c[3]);
        gGl.Clear(GL_COLOR_BUFFER_BIT);
    }
    D3dGlMarkDrawn(copy);
    return 1;
}

// The copy on the device: when the source's picture is there (the destination gets a copy if it has
// none), unscaled and between the same formats, so every pixel lands exactly as the memory copy would.
int D3dGlCopyRect(DdSurface *dst, const D3dRect *d, DdSurface *src, const D3dRect *s)
{
    D3dGlCopy *from = D3dGlFindCopy(src);
    D3dSurfaceView sv, dv;
    // A picture in memory alone is copied there, unless the destination is the device's already.
    if (!from || from->stale || !(from->deviceNewer || D3dGlFindCopy(dst)) || from->format == GLF_Z16 ||
        D3dViewOf(src, &sv) != 0 || D3dViewOf(dst, &dv) != 0 || D3dGlFormatOf(&dv.format) != from->format ||
        sv.locked || (dv.caps & D3D_SURF_SYSTEM_MEMORY))
        return 0;
    D3dGlMakeCurrent();
    D3dGlCopy *to = CopyToOverwrite(dst, *d);
    if (!to || !D3dGlCurrentCopy(src, &sv) || D3dGlMakeFramebuffer(from) != 0) return 0;
    BeginWork();
    gGl.BindFramebuffer(GL_READ_FRAMEBUFFER, from->framebuffer);
    gGl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, to->framebuffer);
    gGl.BlitFramebuffer(s->left, s->top, s->right, s->bottom, d->left, d->top, d->right, d->bottom,
                        GL_COLOR_BUFFER_BIT, GL_NEAREST);
    EndWork();
    D3dGlMarkDrawn(to);
    return 1;
}

// The flip on the device: the two copies trade places as the memory blocks do, so each surface keeps
// its picture's copy. A surface without one gets one first (its memory then holds its picture).
int D3dGlSwap(DdSurface *a, DdSurface *b)
{
    if (!gGlContext.context) return 0;
    D3dGlMakeCurrent();
    D3dGlCopy *copies[2];
    DdSurface *surfaces[2] = {a, b};
    for (int i = 0; i < 2; i++) {
        D3dSurfaceView view;
        copies[i] = D3dGlFindCopy(surfaces[i]);
        if (!copies[i] && D3dViewOf(surfaces[i], &view) == 0) copies[i] = D3dGlMakeCopy(surfaces[i], &view);
        if (!copies[i] || D3dGlMakeFramebuffer(copies[i]) != 0) return 0;
    }
    if (copies[0]->width != copies[1]->width || copies[0]->height != copies[1]->height ||
        copies[0]->format != copies[1]->format)
        return 0;
    D3dGlCopy held = *copies[0];
    *copies[0] = *copies[1];
    *copies[1] = held;
    copies[0]->surface = a;
    copies[1]->surface = b;
    return 1;
}

// ---- present ------------------------------------------------------------------------------------------
// Where a picture of w x h shows in a drawable of dw x dh: scaled to fit with its aspect kept, centred.
static void FitRect(int w, int h, int dw, int dh, GLint out[4])
{
    int64_t fw = dw, fh = (int64_t)dw * h / w;
    if (fh > dh) fh = dh, fw = (int64_t)dh * w / h;
    out[0] = (GLint)((dw - fw) / 2);
    out[1] = (GLint)((dh - fh) / 2);
    out[2] = out[0] + (GLint)fw;
    out[3] = out[1] + (GLint)fh;
}

struct WindowPresent {
    DdSurface *surface;
    intptr_t window;
    D3dGlCopy *copy;
    int dw, dh;
    int result;
};

// The copy drawn into the window's framebuffer, then the swap. On the display: drawing there asks it
// for the window's size.
static void DrawIntoWindow(void *data)
{
    WindowPresent *p = (WindowPresent *)data;
    D3dGlCopy *copy = p->copy;
    BeginWork();
    gGl.BindFramebuffer(GL_READ_FRAMEBUFFER, copy->framebuffer);
    gGl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    GLint at[4];
    FitRect(copy->width, copy->height, p->dw, p->dh, at);
    if (at[0] > 0 || at[1] > 0) {  // bars beside or above the picture
        gGl.ClearColor(0, 0, 0, 1);
        gGl.Clear(GL_COLOR_BUFFER_BIT);
    }
    // Row 0 of a copy is at the bottom of OpenGL's picture; the window shows it at the top.
    gGl.BlitFramebuffer(0, 0, copy->width, copy->height, at[0], p->dh - at[1], at[2], p->dh - at[3],
                        GL_COLOR_BUFFER_BIT, GL_NEAREST);
    EndWork();
    if (gD3d.presentWatcher) gD3d.presentWatcher(p->surface, p->window);
    D3dGlCheckErrors("a present");
    p->result = WSwapGlWindow(gGlContext.shown);
}

int D3dGlPresent(DdSurface *surface, intptr_t window)
{
    D3dGlContext &gl = gGlContext;
    if (!gl.context || !gl.shown || (WHandle)window != gl.shown) return -1;
    D3dGlMakeCurrent();
    D3dSurfaceView view;
    int dw = 0, dh = 0;
    if (D3dViewOf(surface, &view) != 0 || view.locked || WGetGlDrawableSize(gl.shown, &dw, &dh) != 0 || dw <= 0 ||
        dh <= 0)
        return -1;
    D3dGlCopy *copy = D3dGlCurrentCopy(surface, &view);
    if (!copy || D3dGlMakeFramebuffer(copy) != 0) return -1;
    WindowPresent present = {surface, window, copy, dw, dh, -1};
    WRunOnDisplay(DrawIntoWindow, &present);
    // Left in the middle when the connection broke: no drawing goes on into the window's framebuffer.
    gl.cache.framebuffer = (GLuint)-1;
    return present.result;
}
