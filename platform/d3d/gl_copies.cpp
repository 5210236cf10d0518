// The surface copies of the "gl" back end: each surface the device draws into or samples has a copy
// here, a texture (with a framebuffer when it is a target), kept in step with its memory pixels: what
// the CPU changed is uploaded before the device uses it, what the device drew is read back before the
// CPU touches it.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/d3d/gl_internal.h"

// ---- formats ------------------------------------------------------------------------------------------
D3dGlFormat D3dGlFormatOf(const D3dPixelFormat *f)
{
    int alpha = (f->flags & D3D_PF_ALPHAPIXELS) != 0;
    if ((f->flags & D3D_PF_ZBUFFER) && f->bitCount == 16) return GLF_Z16;
    if (f->bitCount == 16 && f->rMask == 0xF800 && f->gMask == 0x07E0 && f->bMask == 0x1F) return GLF_565;
    if (f->bitCount == 16 && f->rMask == 0x7C00 && f->gMask == 0x03E0 && f->bMask == 0x1F)
        return alpha && f->aMask == 0x8000 ? GLF_1555 : GLF_555;
    if (f->bitCount == 16 && f->rMask == 0x0F00 && alpha && f->aMask == 0xF000) return GLF_4444;
    if (f->bitCount == 32 && f->rMask == 0xFF0000 && f->gMask == 0xFF00 && f->bMask == 0xFF)
        return alpha && f->aMask == 0xFF000000 ? GLF_8888 : GLF_X888;
    return GLF_NONE;
}

D3dGlPixelWay D3dGlWayOf(D3dGlFormat format)
{
    switch (format) {
    case GLF_565: return {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, 1};
    case GLF_555: return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 1};
    case GLF_1555: return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 0};
    case GLF_4444: return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, 0};
    case GLF_8888: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 0};
    case GLF_X888: return {GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 1};
    case GLF_Z16: return {GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, 2, 0};
    case GLF_NONE: break;
    }
    return {0, 0, 0, 0, 0};
}

// ---- the copy table -----------------------------------------------------------------------------------
D3dGlCopy *D3dGlFindCopy(DdSurface *surface)
{
    for (int i = 0; i < gGlContext.copyHigh; i++)
        if (gGlContext.copies[i].surface == surface) return &gGlContext.copies[i];
    return nullptr;
}

void D3dGlFreeCopy(D3dGlCopy *copy, int untrack)
{
    D3dGlContext &gl = gGlContext;
    for (int s = 0; s < D3D_MAX_STAGES; s++)
        if (gl.cache.textures[s] == copy->texture) gl.cache.textures[s] = (GLuint)-1;
    if (gl.cache.framebuffer == copy->framebuffer) gl.cache.framebuffer = (GLuint)-1;
    DdSurface *surface = copy->surface;
    for (int i = 0; copy->format == GLF_Z16 && i < gl.copyHigh; i++) {
        if (gl.copies[i].depth != copy->texture) continue;
        gGl.BindFramebuffer(GL_FRAMEBUFFER, gl.copies[i].framebuffer);
        gGl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
        gl.copies[i].depth = 0;
        gl.cache.framebuffer = (GLuint)-1;
    }
    if (copy->framebuffer) gGl.DeleteFramebuffers(1, &copy->framebuffer);
    gGl.DeleteTextures(1, &copy->texture);
    free(copy->shadow);
    memset(copy, 0, sizeof *copy);
    D3dCountObject(D3D_LIVE_SURFACE_COPIES, -1);
    if (untrack) D3dPort()->Track(surface, 0);
}

static void ReadBack(D3dGlCopy *copy);

void D3dGlFreeAllCopies(void)
{
    for (int i = 0; i < gGlContext.copyHigh; i++) {
        if (!gGlContext.copies[i].surface) continue;
        ReadBack(&gGlContext.copies[i]);
        D3dGlFreeCopy(&gGlContext.copies[i], 1);
    }
}

// Binds a texture on unit 0 for set-up work (the stage cache of unit 0 is forgotten).
static void BindForWork(GLuint texture)
{
    gGl.ActiveTexture(GL_TEXTURE0);
    gGl.BindTexture(GL_TEXTURE_2D, texture);
    gGlContext.cache.textures[0] = (GLuint)-1;
}

D3dGlCopy *D3dGlMakeCopy(DdSurface *surface, const D3dSurfaceView *view)
{
    D3dGlContext &gl = gGlContext;
    D3dGlFormat format = D3dGlFormatOf(&view->format);
    if (format == GLF_NONE) return nullptr;
    D3dGlCopy *copy = nullptr;
    for (int i = 0; i < D3D_GL_MAX_COPIES && !copy; i++)
        if (!gl.copies[i].surface) copy = &gl.copies[i];
    if (!copy) return nullptr;
    if (copy - gl.copies >= gl.copyHigh) gl.copyHigh = (int)(copy - gl.copies) + 1;
    copy->surface = surface;
    copy->format = format;
    copy->width = view->width;
    copy->height = view->height;
    D3dGlPixelWay way = D3dGlWayOf(format);
    D3dGlCheckErrors("earlier work");  // what follows is the texture's alone
    gGl.GenTextures(1, &copy->texture);
    BindForWork(copy->texture);
    gGl.TexImage2D(GL_TEXTURE_2D, 0, (GLint)way.internal, view->width, view->height, 0, way.format, way.type, nullptr);
    if (D3dGlCheckErrors("TexImage2D")) {  // no room, or a size the device refuses: no copy
        gGl.DeleteTextures(1, &copy->texture);
        *copy = D3dGlCopy{};
        return nullptr;
    }
    gGl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    if (way.opaque) gGl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    copy->stale = 1;
    D3dCountObject(D3D_LIVE_SURFACE_COPIES, 1);
    D3dPort()->Track(surface, 1);
    return copy;
}

// ---- memory to device ---------------------------------------------------------------------------------
// Sends a rectangle of the memory pixels of a view into its copy.
static void UploadRect(D3dGlCopy *copy, const D3dSurfaceView *view, const D3dRect &r)
{
    D3dGlPixelWay way = D3dGlWayOf(copy->format);
    BindForWork(copy->texture);
    gGl.PixelStorei(GL_UNPACK_ROW_LENGTH, view->pitch / way.bytes);
    const uint8_t *first = view->pixels + (ptrdiff_t)view->pitch * r.top + (ptrdiff_t)r.left * way.bytes;
    gGl.TexSubImage2D(GL_TEXTURE_2D, 0, r.left, r.top, r.right - r.left, r.bottom - r.top, way.format, way.type,
                      first);
    gGl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    D3dCount(D3D_COUNT_UPLOAD);
    if (D3dGlIsWhole(copy, r)) D3dCount(D3D_COUNT_FULL_UPLOAD);
}

// Sends the memory pixels of a view into its copy.
static void Upload(D3dGlCopy *copy, const D3dSurfaceView *view)
{
    UploadRect(copy, view, D3dRect{0, 0, copy->width, copy->height});
    copy->version = view->pixelsVersion;
    copy->stale = 0;
    copy->dirty = D3dRect{};
    copy->deviceNewer = 0;
    copy->shadowValid = 0;
}

D3dGlCopy *D3dGlFittedCopy(DdSurface *surface, const D3dSurfaceView *view)
{
    D3dGlCopy *copy = D3dGlFindCopy(surface);
    if (copy && (copy->width != view->width || copy->height != view->height ||
                 copy->format != D3dGlFormatOf(&view->format))) {
        D3dGlFreeCopy(copy, 1);
        copy = nullptr;
    }
    return copy ? copy : D3dGlMakeCopy(surface, view);
}

D3dGlCopy *D3dGlCurrentCopy(DdSurface *surface, const D3dSurfaceView *view)
{
    D3dGlCopy *copy = D3dGlFittedCopy(surface, view);
    if (!copy) return nullptr;
    if (copy->stale || copy->version != view->pixelsVersion) {
        Upload(copy, view);
    } else if (!D3dGlIsEmpty(copy->dirty)) {
        UploadRect(copy, view, copy->dirty);
        copy->dirty = D3dRect{};
    }
    return copy;
}

// ---- device to memory ---------------------------------------------------------------------------------
// Brings what the device drew into the surface's memory pixels.
static void ReadBack(D3dGlCopy *copy)
{
    D3dSurfaceView view;
    if (!copy->deviceNewer || D3dViewOf(copy->surface, &view) != 0 || !view.pixels) return;
    if (D3dGlMakeFramebuffer(copy) != 0) return;
    D3dGlPixelWay way = D3dGlWayOf(copy->format);
    gGl.PixelStorei(GL_PACK_ROW_LENGTH, view.pitch / way.bytes);
    gGl.ReadPixels(0, 0, copy->width, copy->height, way.format, way.type, view.pixels);
    gGl.PixelStorei(GL_PACK_ROW_LENGTH, 0);
    D3dGlCheckErrors("ReadPixels");
    copy->deviceNewer = 0;
    copy->version = view.pixelsVersion;
    D3dCount(D3D_COUNT_READBACK);
    // What the CPU then changes is found against this picture, and only that is sent back.
    size_t bytes = (size_t)view.pitch * (size_t)copy->height;
    if (!copy->shadow) copy->shadow = (uint8_t *)malloc(bytes);
    if (copy->shadow) memcpy(copy->shadow, view.pixels, bytes);
    copy->shadowValid = copy->shadow != nullptr;
}

// ---- framebuffers -------------------------------------------------------------------------------------
int D3dGlMakeFramebuffer(D3dGlCopy *copy)
{
    if (!copy->framebuffer) {
        gGl.GenFramebuffers(1, &copy->framebuffer);
        gGl.BindFramebuffer(GL_FRAMEBUFFER, copy->framebuffer);
        if (copy->format == GLF_Z16) {
            gGl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, copy->texture, 0);
            gGl.DrawBuffer(GL_NONE);
            gGl.ReadBuffer(GL_NONE);
        } else {
            gGl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, copy->texture, 0);
        }
    }
    gGl.BindFramebuffer(GL_FRAMEBUFFER, copy->framebuffer);
    gGlContext.cache.framebuffer = copy->framebuffer;
    return gGl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE ? 0 : -1;
}

D3dGlCopy *D3dGlAttachDepth(D3dGlCopy *copy, const D3dSurfaceView *view)
{
    D3dSurfaceView zview;
    D3dGlCopy *z = nullptr;
    if (view->zSurface && D3dViewOf(view->zSurface, &zview) == 0 && zview.width >= copy->width &&
        zview.height >= copy->height && D3dGlFormatOf(&zview.format) == GLF_Z16)
        z = D3dGlCurrentCopy(view->zSurface, &zview);
    GLuint texture = z ? z->texture : 0;
    if (copy->depth != texture) {
        gGl.BindFramebuffer(GL_FRAMEBUFFER, copy->framebuffer);
        gGlContext.cache.framebuffer = copy->framebuffer;
        gGl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, texture, 0);
        copy->depth = texture;
        D3dGlCountState();
    }
    return z;
}

// ---- what the surfaces tell ---------------------------------------------------------------------------
void D3dGlSyncToMemory(DdSurface *surface)
{
    D3dGlCopy *copy = D3dGlFindCopy(surface);
    if (!copy || !copy->deviceNewer) return;
    D3dGlMakeCurrent();
    ReadBack(copy);
}

void D3dGlForget(DdSurface *surface)
{
    D3dGlCopy *copy = D3dGlFindCopy(surface);
    if (!copy) return;
    D3dGlMakeCurrent();
    D3dGlFreeCopy(copy, 0);
}

void D3dGlMarkStale(DdSurface *surface)
{
    D3dGlCopy *copy = D3dGlFindCopy(surface);
    if (copy) copy->stale = 1;
}

// The smallest rectangle inside r where a view's memory pixels differ from the shadow (empty: none).
static D3dRect ChangedRect(const D3dGlCopy *copy, const D3dSurfaceView *view, D3dRect r)
{
    int bytes = D3dGlWayOf(copy->format).bytes;
    D3dRect changed = {r.right, r.bottom, r.left, r.top};
    for (int y = r.top; y < r.bottom; y++) {
        size_t at = (size_t)view->pitch * (size_t)y + (size_t)r.left * (size_t)bytes;
        const uint8_t *m = view->pixels + at, *o = copy->shadow + at;
        size_t n = (size_t)(r.right - r.left) * (size_t)bytes;
        if (memcmp(m, o, n) == 0) continue;
        size_t first = 0, last = n;
        while (m[first] == o[first]) first++;
        while (m[last - 1] == o[last - 1]) last--;
        int x0 = r.left + (int)(first / (size_t)bytes), x1 = r.left + (int)((last + (size_t)bytes - 1) / (size_t)bytes);
        if (x0 < changed.left) changed.left = x0;
        if (x1 > changed.right) changed.right = x1;
        if (y < changed.top) changed.top = y;
        changed.bottom = y + 1;
    }
    return changed;
}

// Copies rectangle r of the memory pixels into the shadow.
static void UpdateShadow(D3dGlCopy *copy, const D3dSurfaceView *view, const D3dRect &r)
{
    size_t bytes = (size_t)D3dGlWayOf(copy->format).bytes;
    for (int y = r.top; y < r.bottom; y++) {
        size_t at = (size_t)view->pitch * (size_t)y + (size_t)r.left * bytes;
        memcpy(copy->shadow + at, view->pixels + at, (size_t)(r.right - r.left) * bytes);
    }
}

void D3dGlWritten(DdSurface *surface, const D3dRect *rect)
{
    D3dGlCopy *copy = D3dGlFindCopy(surface);
    D3dSurfaceView view;
    if (!copy || copy->stale || D3dViewOf(surface, &view) != 0 || !view.pixels) return;
    D3dRect r = rect ? *rect : D3dRect{0, 0, copy->width, copy->height};
    r = {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, copy->width), std::min(r.bottom, copy->height)};
    if (copy->shadowValid) {
        r = ChangedRect(copy, &view, r);
        if (!D3dGlIsEmpty(r)) UpdateShadow(copy, &view, r);
    }
    if (D3dGlIsEmpty(r)) return;
    const D3dRect &d = copy->dirty;
    if (!D3dGlIsEmpty(d)) {
        r = {std::min(r.left, d.left), std::min(r.top, d.top), std::max(r.right, d.right),
             std::max(r.bottom, d.bottom)};
    }
    copy->dirty = r;
    if (D3dGlIsWhole(copy, r)) copy->stale = 1, copy->dirty = D3dRect{};
}
