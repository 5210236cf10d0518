// The "gl" back end: devices draw with OpenGL through one context, made on the window the device's
// surfaces show in (a hidden SDL window when they show nowhere; SDL's "offscreen" driver when there is
// no display). Each surface the device draws into or samples has a copy here, a texture (with a
// framebuffer when it is a target), kept in step with its memory pixels: what the CPU changed is
// uploaded before the device uses it, what the device drew is read back before the CPU touches it.
// Fills, unscaled copies and flips between surfaces with copies happen on the device, and a surface
// shown in the context's window is presented by drawing its copy there and swapping: a frame that only
// the device draws never passes through memory.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/d3d/gl_internal.h"
#include "platform/window/window.h"

D3dGl gGl;

#define D3D_MAX_COPIES 4096
#define D3D_STREAM_BYTES (1u << 20)  // vertices of a frame or more; renewed when full

// ---- records ------------------------------------------------------------------------------------------
enum D3dGlFormat { GLF_NONE, GLF_565, GLF_555, GLF_1555, GLF_4444, GLF_8888, GLF_X888, GLF_Z16 };

struct D3dGlCopy {
    DdSurface *surface;      // null: free entry
    D3dGlFormat format;
    int width, height;
    GLuint texture, framebuffer;
    GLuint depth;            // a target's attached depth texture (its Z surface's copy), not owned
    uint32_t version;        // memory pixels version last uploaded or read back
    int deviceNewer;         // the device drew here since the last read-back
    int stale;               // the memory changed behind the version (a load), all of it to upload
    D3dRect dirty;           // else what the CPU changed, still to upload (empty: nothing)
    uint8_t *shadow;         // a target's memory pixels as the device has them, to find what the CPU
    int shadowValid;         // changed under a whole-surface lock; valid after a read-back
};

struct D3dGlCache {          // last GL state sent
    GLuint framebuffer, program;
    GLuint textures[D3D_MAX_STAGES];
    GLint samplerMag[D3D_MAX_STAGES], samplerMin[D3D_MAX_STAGES], samplerU[D3D_MAX_STAGES], samplerV[D3D_MAX_STAGES];
    int blend;
    GLenum blendSrc, blendDst;
    int depthTest, depthMask;
    GLenum depthFunc;
    int cull;
    GLenum cullFace;
    GLint scissor[4], viewport[4];
};

struct D3dGlContext {
    SDL_Window *window;      // the hidden window, when the context is not on a shown one
    WHandle shown;           // the window the context draws into and presents in, or 0
    SDL_GLContext context;
    int devices;             // open devices
    GLuint vao, vertexBuffer, indexBuffer, samplers[D3D_MAX_STAGES];
    uint32_t vertexOffset, indexOffset;
    D3dGlCache cache;
    D3dGlCopy copies[D3D_MAX_COPIES];
    int copyHigh;            // entries below this may be used
};
static D3dGlContext sGl;

// Counts a GL state call.
static inline void CountState(void) { gD3d.counters.stateChanges++; }

// 1 once a GL error went to stderr: the first of a run is told, the rest only to the strict checker.
static int sErrorTold;

// Takes the errors OpenGL holds after a piece of work; each is a violation for the strict checker.
// 1 when there was one.
static int CheckErrors(const char *after)
{
    int found = 0;
    for (int i = 0; i < 8; i++) {  // each read clears one of the context's error flags
        GLenum error = gGl.GetError();
        if (error == GL_NO_ERROR) break;
        found = 1;
        if (!sErrorTold) fprintf(stderr, "d3d gl: OpenGL error 0x%04X after %s\n", error, after);
        sErrorTold = 1;
        D3dViolation("gl error 0x%04X after %s", error, after);
    }
    return found;
}

// ---- context ------------------------------------------------------------------------------------------
// Loads every entry point; 0 / -1.
static int LoadFunctions(void)
{
#define D3D_GL_LOAD(type, name)                                       \
    gGl.name = (type)SDL_GL_GetProcAddress("gl" #name);               \
    if (!gGl.name) return -1;
    D3D_GL_FUNCTIONS(D3D_GL_LOAD)
#undef D3D_GL_LOAD
    return 0;
}

// The fixed state every draw assumes.
static void SetFixedState(void)
{
    gGl.GenVertexArrays(1, &sGl.vao);
    gGl.BindVertexArray(sGl.vao);
    gGl.GenBuffers(1, &sGl.vertexBuffer);
    gGl.BindBuffer(GL_ARRAY_BUFFER, sGl.vertexBuffer);
    gGl.BufferData(GL_ARRAY_BUFFER, D3D_STREAM_BYTES, nullptr, GL_STREAM_DRAW);
    gGl.GenBuffers(1, &sGl.indexBuffer);
    gGl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, sGl.indexBuffer);
    gGl.BufferData(GL_ELEMENT_ARRAY_BUFFER, D3D_STREAM_BYTES / 4, nullptr, GL_STREAM_DRAW);
    gGl.GenSamplers(D3D_MAX_STAGES, sGl.samplers);
    for (int s = 0; s < D3D_MAX_STAGES; s++) gGl.BindSampler((GLuint)s, sGl.samplers[s]);
    gGl.ProvokingVertex(GL_FIRST_VERTEX_CONVENTION);  // flat shading from each triangle's first vertex
    gGl.Enable(GL_SCISSOR_TEST);
    gGl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gGl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    memset(&sGl.cache, 0xFF, sizeof sGl.cache);  // nothing matches: the first use sends
}

// The hidden window for the context, made at its first use; null when it cannot be made.
static SDL_Window *HiddenWindow(void)
{
    if (!sGl.window) sGl.window = SDL_CreateWindow("d3d", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    return sGl.window;
}

// The context made current on the hidden window. 0 / -1.
static int UseHiddenWindow(void)
{
    return HiddenWindow() && SDL_GL_MakeCurrent(sGl.window, sGl.context) == 0 ? 0 : -1;
}

// The shown window is closing: the context goes on, on a hidden window, presenting nowhere.
static void ShownWindowGone(void *context)
{
    if (context != sGl.context) return;
    sGl.shown = 0;
    UseHiddenWindow();
}

// Makes the context on the window the surfaces show in, or on a hidden window; 0 / -1.
static int OpenContext(WHandle shown)
{
    if (sGl.context) return 0;
    if (WLoadGlDriver() != 0) return -1;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    if (shown) sGl.context = (SDL_GLContext)WCreateGlContext(shown, ShownWindowGone);
    if (sGl.context) {
        sGl.shown = shown;
        SDL_GL_SetSwapInterval(0);  // a present does not wait for the display, as a copy did
    } else {
        sGl.context = HiddenWindow() ? SDL_GL_CreateContext(sGl.window) : nullptr;
    }
    if (!sGl.context || LoadFunctions() != 0) {
        if (sGl.context) WForgetGlContext(sGl.context), SDL_GL_DeleteContext(sGl.context);
        if (sGl.window) SDL_DestroyWindow(sGl.window);
        memset(&sGl, 0, sizeof sGl);
        return -1;
    }
    SetFixedState();
    return 0;
}

// Makes the device's context current again: another part of the program (SDL's own renderer on a
// real display) may have made its context current since.
static void MakeCurrent(void)
{
    if (SDL_GL_GetCurrentContext() == sGl.context) return;
    if (sGl.shown && WMakeGlCurrent(sGl.shown, sGl.context) == 0) return;
    if (sGl.shown) sGl.shown = 0;  // the window went without telling: draw on, present nowhere
    UseHiddenWindow();
}

static void FreeCopy(D3dGlCopy *copy, int untrack);
static void ReadBack(D3dGlCopy *copy);
static int MakeFramebuffer(D3dGlCopy *copy);

// Brings every drawing into memory, frees every copy and the context.
static void CloseContext(void)
{
    MakeCurrent();
    for (int i = 0; i < sGl.copyHigh; i++) {
        if (!sGl.copies[i].surface) continue;
        ReadBack(&sGl.copies[i]);
        FreeCopy(&sGl.copies[i], 1);
    }
    D3dGlDeletePrograms();
    gGl.DeleteSamplers(D3D_MAX_STAGES, sGl.samplers);
    gGl.DeleteBuffers(1, &sGl.vertexBuffer);
    gGl.DeleteBuffers(1, &sGl.indexBuffer);
    gGl.DeleteVertexArrays(1, &sGl.vao);
    WForgetGlContext(sGl.context);
    SDL_GL_DeleteContext(sGl.context);
    if (sGl.window) SDL_DestroyWindow(sGl.window);
    memset(&sGl, 0, sizeof sGl);
}

// ---- surface copies -----------------------------------------------------------------------------------
// The GL format of a surface's pixel format.
static D3dGlFormat FormatOf(const D3dPixelFormat *f)
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

struct D3dGlPixelWay {
    GLenum internal, format, type;
    int bytes;
    int opaque;  // 1: alpha reads as one
};

static D3dGlPixelWay WayOf(D3dGlFormat format)
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

static D3dGlCopy *FindCopy(DdSurface *surface)
{
    for (int i = 0; i < sGl.copyHigh; i++)
        if (sGl.copies[i].surface == surface) return &sGl.copies[i];
    return nullptr;
}

// Frees a copy; untrack 0 when the surface itself let go of it.
static void FreeCopy(D3dGlCopy *copy, int untrack)
{
    for (int s = 0; s < D3D_MAX_STAGES; s++)
        if (sGl.cache.textures[s] == copy->texture) sGl.cache.textures[s] = (GLuint)-1;
    if (sGl.cache.framebuffer == copy->framebuffer) sGl.cache.framebuffer = (GLuint)-1;
    DdSurface *surface = copy->surface;
    for (int i = 0; copy->format == GLF_Z16 && i < sGl.copyHigh; i++) {
        if (sGl.copies[i].depth != copy->texture) continue;
        gGl.BindFramebuffer(GL_FRAMEBUFFER, sGl.copies[i].framebuffer);
        gGl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
        sGl.copies[i].depth = 0;
        sGl.cache.framebuffer = (GLuint)-1;
    }
    if (copy->framebuffer) gGl.DeleteFramebuffers(1, &copy->framebuffer);
    gGl.DeleteTextures(1, &copy->texture);
    free(copy->shadow);
    memset(copy, 0, sizeof *copy);
    gD3d.liveCopies--;
    if (untrack) D3dPort()->Track(surface, 0);
}

// Binds a texture on unit 0 for set-up work (the stage cache of unit 0 is forgotten).
static void BindForWork(GLuint texture)
{
    gGl.ActiveTexture(GL_TEXTURE0);
    gGl.BindTexture(GL_TEXTURE_2D, texture);
    sGl.cache.textures[0] = (GLuint)-1;
}

static int IsEmpty(const D3dRect &r) { return r.right <= r.left || r.bottom <= r.top; }
static int IsWhole(const D3dGlCopy *copy, const D3dRect &r)
{
    return r.left <= 0 && r.top <= 0 && r.right >= copy->width && r.bottom >= copy->height;
}

// Sends a rectangle of the memory pixels of a view into its copy.
static void UploadRect(D3dGlCopy *copy, const D3dSurfaceView *view, const D3dRect &r)
{
    D3dGlPixelWay way = WayOf(copy->format);
    BindForWork(copy->texture);
    gGl.PixelStorei(GL_UNPACK_ROW_LENGTH, view->pitch / way.bytes);
    const uint8_t *first = view->pixels + (ptrdiff_t)view->pitch * r.top + (ptrdiff_t)r.left * way.bytes;
    gGl.TexSubImage2D(GL_TEXTURE_2D, 0, r.left, r.top, r.right - r.left, r.bottom - r.top, way.format, way.type,
                      first);
    gGl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gD3d.counters.uploads++;
    if (IsWhole(copy, r)) gD3d.counters.fullUploads++;
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

// A new copy of a surface, not yet uploaded; null when the table is full or the format unknown.
static D3dGlCopy *MakeCopy(DdSurface *surface, const D3dSurfaceView *view)
{
    D3dGlFormat format = FormatOf(&view->format);
    if (format == GLF_NONE) return nullptr;
    D3dGlCopy *copy = nullptr;
    for (int i = 0; i < D3D_MAX_COPIES && !copy; i++)
        if (!sGl.copies[i].surface) copy = &sGl.copies[i];
    if (!copy) return nullptr;
    if (copy - sGl.copies >= sGl.copyHigh) sGl.copyHigh = (int)(copy - sGl.copies) + 1;
    copy->surface = surface;
    copy->format = format;
    copy->width = view->width;
    copy->height = view->height;
    D3dGlPixelWay way = WayOf(format);
    CheckErrors("earlier work");  // what follows is the texture's alone
    gGl.GenTextures(1, &copy->texture);
    BindForWork(copy->texture);
    gGl.TexImage2D(GL_TEXTURE_2D, 0, (GLint)way.internal, view->width, view->height, 0, way.format, way.type, nullptr);
    if (CheckErrors("TexImage2D")) {  // no room, or a size the device refuses: no copy
        gGl.DeleteTextures(1, &copy->texture);
        *copy = D3dGlCopy{};
        return nullptr;
    }
    gGl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    if (way.opaque) gGl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    copy->stale = 1;
    gD3d.liveCopies++;
    D3dPort()->Track(surface, 1);
    return copy;
}

// The copy of a surface with the memory pixels in it when they changed; null when it cannot be made.
static D3dGlCopy *CurrentCopy(DdSurface *surface, const D3dSurfaceView *view)
{
    D3dGlCopy *copy = FindCopy(surface);
    if (copy && (copy->width != view->width || copy->height != view->height ||
                 copy->format != FormatOf(&view->format))) {
        FreeCopy(copy, 1);  // the surface was re-made at the same address
        copy = nullptr;
    }
    if (!copy) copy = MakeCopy(surface, view);
    if (!copy) return nullptr;
    if (copy->stale || copy->version != view->pixelsVersion) {
        Upload(copy, view);
    } else if (!IsEmpty(copy->dirty)) {
        UploadRect(copy, view, copy->dirty);
        copy->dirty = D3dRect{};
    }
    return copy;
}

// Brings what the device drew into the surface's memory pixels.
static void ReadBack(D3dGlCopy *copy)
{
    D3dSurfaceView view;
    if (!copy->deviceNewer || D3dViewOf(copy->surface, &view) != 0 || !view.pixels) return;
    if (MakeFramebuffer(copy) != 0) return;
    D3dGlPixelWay way = WayOf(copy->format);
    gGl.PixelStorei(GL_PACK_ROW_LENGTH, view.pitch / way.bytes);
    gGl.ReadPixels(0, 0, copy->width, copy->height, way.format, way.type, view.pixels);
    gGl.PixelStorei(GL_PACK_ROW_LENGTH, 0);
    CheckErrors("ReadPixels");
    copy->deviceNewer = 0;
    copy->version = view.pixelsVersion;
    gD3d.counters.readbacks++;
    // What the CPU then changes is found against this picture, and only that is sent back.
    size_t bytes = (size_t)view.pitch * (size_t)copy->height;
    if (!copy->shadow) copy->shadow = (uint8_t *)malloc(bytes);
    if (copy->shadow) memcpy(copy->shadow, view.pixels, bytes);
    copy->shadowValid = copy->shadow != nullptr;
}

// Makes a copy's framebuffer: the colour texture, or for a depth surface its depth texture alone.
// Binds it. 0 / -1.
static int MakeFramebuffer(D3dGlCopy *copy)
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
    sGl.cache.framebuffer = copy->framebuffer;
    return gGl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE ? 0 : -1;
}

// Attaches the target's Z surface (its copy up to date) as depth, or none. The depth copy or null.
static D3dGlCopy *AttachDepth(D3dGlCopy *copy, const D3dSurfaceView *view)
{
    D3dSurfaceView zview;
    D3dGlCopy *z = nullptr;
    if (view->zSurface && D3dViewOf(view->zSurface, &zview) == 0 && zview.width >= copy->width &&
        zview.height >= copy->height && FormatOf(&zview.format) == GLF_Z16)
        z = CurrentCopy(view->zSurface, &zview);
    GLuint texture = z ? z->texture : 0;
    if (copy->depth != texture) {
        gGl.BindFramebuffer(GL_FRAMEBUFFER, copy->framebuffer);
        sGl.cache.framebuffer = copy->framebuffer;
        gGl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, texture, 0);
        copy->depth = texture;
        CountState();
    }
    return z;
}

// ---- state --------------------------------------------------------------------------------------------
static GLenum BlendFactor(uint32_t factor)
{
    static const GLenum kFactors[] = {GL_ZERO, GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                                      GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR,
                                      GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    return factor < sizeof kFactors / sizeof kFactors[0] ? kFactors[factor] : GL_ONE;
}

// Blend factors, with the two "both" factors spelled out.
static void SetBlend(const D3dDeviceRecord *device)
{
    int on = device->rs[D3D_RS_ALPHABLENDENABLE] != 0;
    uint32_t src = device->rs[D3D_RS_SRCBLEND], dst = device->rs[D3D_RS_DESTBLEND];
    if (src == 12 || src == 13) {  // BOTHSRCALPHA, BOTHINVSRCALPHA
        dst = src == 12 ? D3D_BLEND_INVSRCALPHA : D3D_BLEND_SRCALPHA;
        src = src == 12 ? D3D_BLEND_SRCALPHA : D3D_BLEND_INVSRCALPHA;
    }
    if (on != sGl.cache.blend) {
        on ? gGl.Enable(GL_BLEND) : gGl.Disable(GL_BLEND);
        sGl.cache.blend = on;
        CountState();
    }
    GLenum s = BlendFactor(src), d = BlendFactor(dst);
    if (on && (s != sGl.cache.blendSrc || d != sGl.cache.blendDst)) {
        gGl.BlendFunc(s, d);
        sGl.cache.blendSrc = s;
        sGl.cache.blendDst = d;
        CountState();
    }
}

// Depth test only with a depth buffer; ZBIAS is accepted and ignored.
static void SetDepth(const D3dDeviceRecord *device, D3dGlCopy *depth)
{
    int test = depth && device->rs[D3D_RS_ZENABLE] != 0;
    if (test != sGl.cache.depthTest) {
        test ? gGl.Enable(GL_DEPTH_TEST) : gGl.Disable(GL_DEPTH_TEST);
        sGl.cache.depthTest = test;
        CountState();
    }
    if (!test) return;
    GLenum func = GL_NEVER + (device->rs[D3D_RS_ZFUNC] - 1);
    if (func != sGl.cache.depthFunc) {
        gGl.DepthFunc(func);
        sGl.cache.depthFunc = func;
        CountState();
    }
    int mask = device->rs[D3D_RS_ZWRITEENABLE] != 0;
    if (mask != sGl.cache.depthMask) {
        gGl.DepthMask(mask ? GL_TRUE : GL_FALSE);
        sGl.cache.depthMask = mask;
        CountState();
    }
    if (mask) depth->deviceNewer = 1, depth->shadowValid = 0;
}

// CCW on a y-down screen is clockwise for OpenGL, whose front faces are counter-clockwise.
static void SetCull(const D3dDeviceRecord *device)
{
    uint32_t mode = device->rs[D3D_RS_CULLMODE];
    int on = mode == D3D_CULL_CW || mode == D3D_CULL_CCW;
    if (on != sGl.cache.cull) {
        on ? gGl.Enable(GL_CULL_FACE) : gGl.Disable(GL_CULL_FACE);
        sGl.cache.cull = on;
        CountState();
    }
    GLenum face = mode == D3D_CULL_CCW ? GL_BACK : GL_FRONT;
    if (on && face != sGl.cache.cullFace) {
        gGl.CullFace(face);
        sGl.cache.cullFace = face;
        CountState();
    }
}

// The target's framebuffer, the whole target as GL viewport and the D3D viewport as scissor.
static void SetTarget(const D3dDeviceRecord *device, const D3dGlCopy *target)
{
    if (sGl.cache.framebuffer != target->framebuffer) {
        gGl.BindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
        sGl.cache.framebuffer = target->framebuffer;
        CountState();
    }
    GLint vp[4] = {0, 0, target->width, target->height};
    if (memcmp(vp, sGl.cache.viewport, sizeof vp) != 0) {
        gGl.Viewport(0, 0, target->width, target->height);
        memcpy(sGl.cache.viewport, vp, sizeof vp);
        CountState();
    }
    const D3dViewport &v = device->viewport;
    int64_t x0 = v.x < (uint32_t)target->width ? v.x : target->width;
    int64_t y0 = v.y < (uint32_t)target->height ? v.y : target->height;
    int64_t x1 = (int64_t)v.x + v.width < target->width ? (int64_t)v.x + v.width : target->width;
    int64_t y1 = (int64_t)v.y + v.height < target->height ? (int64_t)v.y + v.height : target->height;
    GLint sc[4] = {(GLint)x0, (GLint)y0, (GLint)(x1 - x0), (GLint)(y1 - y0)};
    if (memcmp(sc, sGl.cache.scissor, sizeof sc) != 0) {
        gGl.Scissor(sc[0], sc[1], sc[2], sc[3]);
        memcpy(sGl.cache.scissor, sc, sizeof sc);
        CountState();
    }
}

// Sets one sampler parameter when it changed.
static void SamplerParameter(int stage, GLenum name, GLint value, GLint *last)
{
    if (*last == value) return;
    gGl.SamplerParameteri(sGl.samplers[stage], name, value);
    *last = value;
    CountState();
}

static GLint AddressMode(uint32_t mode)
{
    switch (mode) {
    case D3D_ADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3D_ADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3D_ADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    }
    return GL_REPEAT;
}

// Binds a stage's texture and sets its sampler from the stage states.
static void SetStageTexture(const D3dDeviceRecord *device, int stage, GLuint texture)
{
    if (sGl.cache.textures[stage] != texture) {
        gGl.ActiveTexture(GL_TEXTURE0 + (GLenum)stage);
        gGl.BindTexture(GL_TEXTURE_2D, texture);
        sGl.cache.textures[stage] = texture;
        CountState();
    }
    const uint32_t *tss = device->tss[stage];
    GLint mag = tss[D3D_TSS_MAGFILTER] == D3D_FILTER_POINT ? GL_NEAREST : GL_LINEAR;
    GLint min = tss[D3D_TSS_MINFILTER] == D3D_FILTER_POINT ? GL_NEAREST : GL_LINEAR;
    SamplerParameter(stage, GL_TEXTURE_MAG_FILTER, mag, &sGl.cache.samplerMag[stage]);
    SamplerParameter(stage, GL_TEXTURE_MIN_FILTER, min, &sGl.cache.samplerMin[stage]);
    SamplerParameter(stage, GL_TEXTURE_WRAP_S, AddressMode(tss[D3D_TSS_ADDRESSU]), &sGl.cache.samplerU[stage]);
    SamplerParameter(stage, GL_TEXTURE_WRAP_T, AddressMode(tss[D3D_TSS_ADDRESSV]), &sGl.cache.samplerV[stage]);
}

// The largest value of a channel's field (1 for a channel the format lacks).
static float ChannelTop(uint32_t mask) { return mask ? (float)(mask >> __builtin_ctz(mask)) : 1.0f; }

// A channel of a pixel value in unit steps, 0 to 1.
static float UnitChannel(uint32_t value, uint32_t mask)
{
    return mask ? (float)((value & mask) >> __builtin_ctz(mask)) / ChannelTop(mask) : 0.0f;
}

// The key colour of a texture in unit steps, and half a step per channel as tolerance.
static void KeyColor(const D3dSurfaceView *view, float out[6])
{
    const uint32_t masks[3] = {view->format.rMask, view->format.gMask, view->format.bMask};
    for (int c = 0; c < 3; c++) {
        out[c] = UnitChannel(view->colorKey, masks[c]);
        out[3 + c] = 0.5f / ChannelTop(masks[c]);
    }
}

// ---- drawing ------------------------------------------------------------------------------------------
struct D3dStageTextures {
    GLuint texture[D3D_MAX_STAGES];
    float key[D3D_MAX_STAGES][6];
};

// Fills the program key and the stage textures; -1 when a texture cannot be prepared.
static int PrepareStages(const D3dDeviceRecord *device, D3dProgramKey *key, D3dStageTextures *tex)
{
    memset(key, 0, sizeof *key);
    int shade = device->rs[D3D_RS_SHADEMODE] == D3D_SHADE_FLAT;
    key->flat = (uint8_t)shade;
    key->specular = device->rs[D3D_RS_SPECULARENABLE] != 0;
    if (device->rs[D3D_RS_ALPHATESTENABLE] && device->rs[D3D_RS_ALPHAFUNC] != D3D_CMP_ALWAYS)
        key->alphaFunc = (uint8_t)device->rs[D3D_RS_ALPHAFUNC];
    int s = 0;
    for (; s < D3D_MAX_STAGES && device->tss[s][D3D_TSS_COLOROP] != D3D_TOP_DISABLE; s++) {
        const uint32_t *tss = device->tss[s];
        D3dStageKey &st = key->stages[s];
        st = {(uint8_t)tss[D3D_TSS_COLOROP], (uint8_t)tss[D3D_TSS_COLORARG1], (uint8_t)tss[D3D_TSS_COLORARG2],
              (uint8_t)tss[D3D_TSS_ALPHAOP], (uint8_t)tss[D3D_TSS_ALPHAARG1], (uint8_t)tss[D3D_TSS_ALPHAARG2],
              (uint8_t)(tss[D3D_TSS_TEXCOORDINDEX] == 1), 0, 0, (uint8_t)tss[D3D_TSS_ADDRESSU],
              (uint8_t)(tss[D3D_TSS_MAGFILTER] != D3D_FILTER_POINT || tss[D3D_TSS_MINFILTER] != D3D_FILTER_POINT), 0};
        D3dSurfaceView view;
        if (D3dViewOf(device->textures[s], &view) != 0) continue;
        D3dGlCopy *copy = CurrentCopy(device->textures[s], &view);
        if (!copy) return -1;
        st.texture = 1;
        st.keyed = device->rs[D3D_RS_COLORKEYENABLE] && view.hasColorKey;
        tex->texture[s] = copy->texture;
        KeyColor(&view, tex->key[s]);
    }
    key->stageCount = (uint8_t)s;
    return 0;
}

// Sends the program's per-draw values that changed.
static void SetUniforms(D3dProgram *program, const D3dDeviceRecord *device, const D3dGlCopy *target,
                        const D3dProgramKey *key, const D3dStageTextures *tex)
{
    if (program->lastSize[0] != (float)target->width || program->lastSize[1] != (float)target->height) {
        gGl.Uniform2f(program->size, (float)target->width, (float)target->height);
        program->lastSize[0] = (float)target->width;
        program->lastSize[1] = (float)target->height;
    }
    uint32_t f = device->rs[D3D_RS_TEXTUREFACTOR];
    if (f != program->lastTFactor) {
        gGl.Uniform4f(program->tfactor, (float)((f >> 16) & 0xFF) / 255.0f, (float)((f >> 8) & 0xFF) / 255.0f,
                      (float)(f & 0xFF) / 255.0f, (float)(f >> 24) / 255.0f);
        program->lastTFactor = f;
    }
    int ref = (int)(device->rs[D3D_RS_ALPHAREF] & 0xFF);
    if (ref != program->lastAlphaRef) {
        gGl.Uniform1f(program->alphaRef, (float)ref);
        program->lastAlphaRef = ref;
    }
    for (int s = 0; s < key->stageCount; s++) {
        if (!key->stages[s].keyed || memcmp(program->lastKey[s], tex->key[s], sizeof tex->key[s]) == 0) continue;
        gGl.Uniform3f(program->key[s], tex->key[s][0], tex->key[s][1], tex->key[s][2]);
        gGl.Uniform3f(program->keyTolerance[s], tex->key[s][3], tex->key[s][4], tex->key[s][5]);
        memcpy(program->lastKey[s], tex->key[s], sizeof tex->key[s]);
    }
}

// Appends bytes to a stream buffer, orphaning it when full; the offset of the bytes.
static uint32_t Stream(GLenum target, uint32_t *offset, uint32_t capacity, const void *data, uint32_t bytes)
{
    if (*offset + bytes > capacity) {
        gGl.BufferData(target, capacity, nullptr, GL_STREAM_DRAW);
        *offset = 0;
    }
    uint32_t at = *offset;
    gGl.BufferSubData(target, at, bytes, data);
    *offset = (at + bytes + 15) & ~15u;
    return at;
}

// Points one attribute into the vertex stream, or gives it its constant when the format lacks it.
static void Attribute(GLuint index, int present, GLint size, GLenum type, GLboolean norm, uint32_t stride,
                      uint32_t at, const float constant[4])
{
    if (present) {
        gGl.EnableVertexAttribArray(index);
        gGl.VertexAttribPointer(index, size, type, norm, (GLsizei)stride, (const void *)(uintptr_t)at);
    } else {
        gGl.DisableVertexAttribArray(index);
        gGl.VertexAttrib4f(index, constant[0], constant[1], constant[2], constant[3]);
    }
}

// Streams the vertices and points the attributes at them.
static void SetVertices(uint32_t fvf, const void *vertices, uint32_t count)
{
    static const float kWhite[4] = {1, 1, 1, 1}, kZero[4] = {0, 0, 0, 0};
    uint32_t size = D3dVertexSize(fvf);
    uint32_t at = Stream(GL_ARRAY_BUFFER, &sGl.vertexOffset, D3D_STREAM_BYTES, vertices, size * count);
    uint32_t sets = (fvf >> 8) & 0xF, diffuse = fvf & D3D_FVF_DIFFUSE, specular = fvf & D3D_FVF_SPECULAR;
    uint32_t colorAt = at + 16, specularAt = colorAt + (diffuse ? 4 : 0);
    uint32_t texAt = specularAt + (specular ? 4 : 0);
    Attribute(0, 1, 4, GL_FLOAT, GL_FALSE, size, at, kZero);
    Attribute(1, diffuse != 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, size, colorAt, kWhite);
    Attribute(2, specular != 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, size, specularAt, kZero);
    Attribute(3, sets >= 1, 2, GL_FLOAT, GL_FALSE, size, texAt, kZero);
    Attribute(4, sets >= 2, 2, GL_FLOAT, GL_FALSE, size, texAt + 8, kZero);
}

static GLenum PrimitiveMode(uint32_t type)
{
    static const GLenum kModes[] = {GL_POINTS, GL_POINTS, GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP,
                                    GL_TRIANGLE_FAN};
    return type < sizeof kModes / sizeof kModes[0] ? kModes[type] : GL_POINTS;
}

// The target copy ready to draw into, with its depth copy (or null); null when it cannot be.
static D3dGlCopy *PrepareTarget(const D3dDeviceRecord *device, D3dGlCopy **depth)
{
    D3dSurfaceView view;
    if (D3dViewOf(device->target, &view) != 0) return nullptr;
    D3dGlCopy *copy = CurrentCopy(device->target, &view);
    if (!copy || MakeFramebuffer(copy) != 0) return nullptr;
    *depth = AttachDepth(copy, &view);
    return copy;
}

static int32_t GlDraw(D3dDeviceRecord *device, uint32_t type, uint32_t fvf, const void *vertices, uint32_t count,
                      const uint16_t *indices, uint32_t indexCount)
{
    MakeCurrent();
    D3dProgramKey key;
    D3dStageTextures tex = {};
    D3dGlCopy *depth = nullptr;
    D3dGlCopy *target = PrepareTarget(device, &depth);
    if (!target || PrepareStages(device, &key, &tex) != 0) return D3D_ERR_GENERIC;
    D3dProgram *program = D3dGlProgramFor(&key);
    if (!program) return D3D_ERR_GENERIC;
    SetTarget(device, target);
    SetBlend(device);
    SetDepth(device, depth);
    SetCull(device);
    for (int s = 0; s < key.stageCount; s++)
        if (key.stages[s].texture) SetStageTexture(device, s, tex.texture[s]);
    if (sGl.cache.program != program->program) {
        gGl.UseProgram(program->program);
        sGl.cache.program = program->program;
        CountState();
    }
    SetUniforms(program, device, target, &key, &tex);
    SetVertices(fvf, vertices, count);
    if (indices) {
        uint32_t at = Stream(GL_ELEMENT_ARRAY_BUFFER, &sGl.indexOffset, D3D_STREAM_BYTES / 4, indices,
                             indexCount * 2);
        gGl.DrawElements(PrimitiveMode(type), (GLsizei)indexCount, GL_UNSIGNED_SHORT, (const void *)(uintptr_t)at);
    } else {
        gGl.DrawArrays(PrimitiveMode(type), 0, (GLsizei)count);
    }
    target->deviceNewer = 1;
    target->shadowValid = 0;
    gD3d.counters.draws++;
    CheckErrors("a draw");
    return D3D_OK;
}

// ---- device -------------------------------------------------------------------------------------------
static int GlOpenDevice(D3dDeviceRecord *device)
{
    if (OpenContext(D3dPort()->WindowOf(device->target)) != 0) return -1;
    sGl.devices++;
    return 0;
}

static void GlCloseDevice(D3dDeviceRecord *device)
{
    if (--sGl.devices == 0) CloseContext();
}

// Nothing to finish: the stream buffers are renewed only when full, which keeps a frame's vertices
// in one buffer without a fresh allocation every frame.
static void GlEndScene(D3dDeviceRecord *device) {}

// ---- surfaces -----------------------------------------------------------------------------------------
static void GlSyncToMemory(DdSurface *surface)
{
    D3dGlCopy *copy = sGl.context ? FindCopy(surface) : nullptr;
    if (!copy || !copy->deviceNewer) return;
    MakeCurrent();
    ReadBack(copy);
}

static void GlForget(DdSurface *surface)
{
    D3dGlCopy *copy = sGl.context ? FindCopy(surface) : nullptr;
    if (!copy) return;
    MakeCurrent();
    FreeCopy(copy, 0);
}

static void GlMarkStale(DdSurface *surface)
{
    D3dGlCopy *copy = sGl.context ? FindCopy(surface) : nullptr;
    if (copy) copy->stale = 1;
}

// The smallest rectangle inside r where a view's memory pixels differ from the shadow (empty: none).
static D3dRect ChangedRect(const D3dGlCopy *copy, const D3dSurfaceView *view, D3dRect r)
{
    int bytes = WayOf(copy->format).bytes;
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
    size_t bytes = (size_t)WayOf(copy->format).bytes;
    for (int y = r.top; y < r.bottom; y++) {
        size_t at = (size_t)view->pitch * (size_t)y + (size_t)r.left * bytes;
        memcpy(copy->shadow + at, view->pixels + at, (size_t)(r.right - r.left) * bytes);
    }
}

void D3dGlWritten(DdSurface *surface, const D3dRect *rect)
{
    D3dGlCopy *copy = sGl.context ? FindCopy(surface) : nullptr;
    D3dSurfaceView view;
    if (!copy || copy->stale || D3dViewOf(surface, &view) != 0 || !view.pixels) return;
    D3dRect r = rect ? *rect : D3dRect{0, 0, copy->width, copy->height};
    r = {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, copy->width), std::min(r.bottom, copy->height)};
    if (copy->shadowValid) {
        r = ChangedRect(copy, &view, r);
        if (!IsEmpty(r)) UpdateShadow(copy, &view, r);
    }
    if (IsEmpty(r)) return;
    const D3dRect &d = copy->dirty;
    if (!IsEmpty(d)) {
        r = {std::min(r.left, d.left), std::min(r.top, d.top), std::max(r.right, d.right),
             std::max(r.bottom, d.bottom)};
    }
    copy->dirty = r;
    if (IsWhole(copy, r)) copy->stale = 1, copy->dirty = D3dRect{};
}

// Draws on a copy's framebuffer outside any draw's state: no scissor while it runs.
static void BeginWork(void)
{
    MakeCurrent();
    gGl.Disable(GL_SCISSOR_TEST);
}

static void EndWork(void)
{
    gGl.Enable(GL_SCISSOR_TEST);
    sGl.cache.framebuffer = (GLuint)-1;  // read and draw bindings both moved
}

// The copy of a live surface, up to date outside r when r is not the whole surface; null when none.
static D3dGlCopy *CopyToOverwrite(DdSurface *surface, const D3dRect &r)
{
    D3dSurfaceView view;
    if (D3dViewOf(surface, &view) != 0 || view.locked || view.lost) return nullptr;
    D3dGlCopy *copy = FindCopy(surface);
    if (!copy || copy->width != view.width || copy->height != view.height || copy->format != FormatOf(&view.format)) {
        if (copy) FreeCopy(copy, 1);
        copy = MakeCopy(surface, &view);
    }
    if (!copy || MakeFramebuffer(copy) != 0) return nullptr;
    if (IsWhole(copy, r)) {
        copy->stale = 0;
        copy->dirty = D3dRect{};
        copy->version = view.pixelsVersion;
    } else if (!CurrentCopy(surface, &view)) {
        return nullptr;
    }
    return copy;
}

// The fill on the device: where the copy holds the picture (or the fill replaces all of it), so no
// memory pixels need to travel for it.
int D3dGlFill(DdSurface *surface, const D3dRect *rect, uint32_t value)
{
    D3dGlCopy *copy = sGl.context ? FindCopy(surface) : nullptr;
    if (!copy || (copy->stale && !IsWhole(copy, *rect))) return 0;
    MakeCurrent();
    copy = CopyToOverwrite(surface, *rect);
    if (!copy) return 0;
    GLint area[4] = {rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top};
    gGl.Scissor(area[0], area[1], area[2], area[3]);
    memcpy(sGl.cache.scissor, area, sizeof area);
    if (copy->format == GLF_Z16) {
        if (sGl.cache.depthMask != 1) gGl.DepthMask(GL_TRUE), sGl.cache.depthMask = 1;
        gGl.ClearDepth((double)(value & 0xFFFF) / 65535.0);
        gGl.Clear(GL_DEPTH_BUFFER_BIT);
    } else {
        D3dSurfaceView view;
        D3dViewOf(surface, &view);
        const uint32_t masks[4] = {view.format.rMask, view.format.gMask, view.format.bMask, view.format.aMask};
        float c[4];
        for (int i = 0; i < 4; i++) c[i] = masks[i] ? UnitChannel(value, masks[i]) : 1.0f;
        gGl.ClearColor(c[0], c[1], c[2], c[3]);
        gGl.Clear(GL_COLOR_BUFFER_BIT);
    }
    copy->deviceNewer = 1;
    copy->shadowValid = 0;
    return 1;
}

// The copy on the device: when the source's picture is there (the destination gets a copy if it has
// none), unscaled and between the same formats, so every pixel lands exactly as the memory copy would.
int D3dGlCopyRect(DdSurface *dst, const D3dRect *d, DdSurface *src, const D3dRect *s)
{
    D3dGlCopy *from = sGl.context ? FindCopy(src) : nullptr;
    D3dSurfaceView sv, dv;
    // A picture in memory alone is copied there, unless the destination is the device's already.
    if (!from || from->stale || !(from->deviceNewer || FindCopy(dst)) || from->format == GLF_Z16 ||
        D3dViewOf(src, &sv) != 0 || D3dViewOf(dst, &dv) != 0 || FormatOf(&dv.format) != from->format || sv.locked ||
        (dv.caps & D3D_SURF_SYSTEM_MEMORY))
        return 0;
    MakeCurrent();
    D3dGlCopy *to = CopyToOverwrite(dst, *d);
    if (!to || !CurrentCopy(src, &sv) || MakeFramebuffer(from) != 0) return 0;
    BeginWork();
    gGl.BindFramebuffer(GL_READ_FRAMEBUFFER, from->framebuffer);
    gGl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, to->framebuffer);
    gGl.BlitFramebuffer(s->left, s->top, s->right, s->bottom, d->left, d->top, d->right, d->bottom,
                        GL_COLOR_BUFFER_BIT, GL_NEAREST);
    EndWork();
    to->deviceNewer = 1;
    to->shadowValid = 0;
    return 1;
}

// The flip on the device: the two copies trade places as the memory blocks do, so each surface keeps
// its picture's copy. A surface without one gets one first (its memory then holds its picture).
int D3dGlSwap(DdSurface *a, DdSurface *b)
{
    if (!sGl.context) return 0;
    MakeCurrent();
    D3dGlCopy *copies[2];
    DdSurface *surfaces[2] = {a, b};
    for (int i = 0; i < 2; i++) {
        D3dSurfaceView view;
        copies[i] = FindCopy(surfaces[i]);
        if (!copies[i] && D3dViewOf(surfaces[i], &view) == 0) copies[i] = MakeCopy(surfaces[i], &view);
        if (!copies[i] || MakeFramebuffer(copies[i]) != 0) return 0;
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

void D3dGlFinish(void)
{
    if (!sGl.context) return;
    MakeCurrent();
    gGl.Finish();
}

int D3dGlPresent(DdSurface *surface, intptr_t window)
{
    if (!sGl.context || !sGl.shown || (WHandle)window != sGl.shown) return -1;
    MakeCurrent();
    D3dSurfaceView view;
    int dw = 0, dh = 0;
    if (D3dViewOf(surface, &view) != 0 || view.locked || WGetGlDrawableSize(sGl.shown, &dw, &dh) != 0 || dw <= 0 ||
        dh <= 0)
        return -1;
    D3dGlCopy *copy = CurrentCopy(surface, &view);
    if (!copy || MakeFramebuffer(copy) != 0) return -1;
    if (gD3d.presentWatcher) gD3d.presentWatcher(surface, window);
    BeginWork();  // current again, whatever the watcher did
    gGl.BindFramebuffer(GL_READ_FRAMEBUFFER, copy->framebuffer);
    gGl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    GLint at[4];
    FitRect(copy->width, copy->height, dw, dh, at);
    if (at[0] > 0 || at[1] > 0) {  // bars beside or above the picture
        gGl.ClearColor(0, 0, 0, 1);
        gGl.Clear(GL_COLOR_BUFFER_BIT);
    }
    // Row 0 of a copy is at the bottom of OpenGL's picture; the window shows it at the top.
    gGl.BlitFramebuffer(0, 0, copy->width, copy->height, at[0], dh - at[1], at[2], dh - at[3], GL_COLOR_BUFFER_BIT,
                        GL_NEAREST);
    EndWork();
    CheckErrors("a present");
    return WSwapGlWindow(sGl.shown);
}

const D3dBackend kD3dBackendGl = {"gl", GlOpenDevice, GlCloseDevice, GlDraw, GlEndScene,
                                  GlSyncToMemory, GlForget, GlMarkStale};
