// The context of the "gl" back end: one OpenGL context for every device, made on the window the
// device's surfaces show in (a hidden SDL window when they show nowhere; SDL's "offscreen" driver when
// there is no display), with the entry points loaded through SDL and the fixed state every draw assumes.
#include <cstdio>
#include <cstring>

#include "platform/d3d/gl_internal.h"

D3dGl gGl;
D3dGlContext gGlContext;

// 1 once a GL error went to stderr: the first of a run is told, the rest only to the strict checker.
static int sErrorTold;

int D3dGlCheckErrors(const char *after)
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

// ---- making the context -------------------------------------------------------------------------------
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
    D3dGlContext &gl = gGlContext;
    gGl.GenVertexArrays(1, &gl.vao);
    gGl.BindVertexArray(gl.vao);
    gGl.GenBuffers(1, &gl.vertexBuffer);
    gGl.BindBuffer(GL_ARRAY_BUFFER, gl.vertexBuffer);
    gGl.BufferData(GL_ARRAY_BUFFER, D3D_GL_STREAM_BYTES, nullptr, GL_STREAM_DRAW);
    gGl.GenBuffers(1, &gl.indexBuffer);
    gGl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, gl.indexBuffer);
    gGl.BufferData(GL_ELEMENT_ARRAY_BUFFER, D3D_GL_STREAM_BYTES / 4, nullptr, GL_STREAM_DRAW);
    gGl.GenSamplers(D3D_MAX_STAGES, gl.samplers);
    for (int s = 0; s < D3D_MAX_STAGES; s++) gGl.BindSampler((GLuint)s, gl.samplers[s]);
    gGl.ProvokingVertex(GL_FIRST_VERTEX_CONVENTION);  // flat shading from each triangle's first vertex
    gGl.Enable(GL_SCISSOR_TEST);
    gGl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gGl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    memset(&gl.cache, 0xFF, sizeof gl.cache);  // nothing matches: the first use sends
}

static void MakeHiddenWindow(void *)
{
    gGlContext.window = SDL_CreateWindow("d3d", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

// The hidden window for the context, made at its first use; null when it cannot be made (also on a
// display that lost its connection, where SDL would take the new window for shown and wait for ever
// for its unmapping at its end).
static SDL_Window *HiddenWindow(void)
{
    if (!gGlContext.window && !WIsDisplayLost()) WRunOnDisplay(MakeHiddenWindow, nullptr);
    return gGlContext.window;
}

static void MakeHiddenCurrent(void *result)
{
    *(int *)result = SDL_GL_MakeCurrent(gGlContext.window, gGlContext.context);
}

// The context made current on the hidden window. 0 / -1.
static int UseHiddenWindow(void)
{
    int result = -1;
    return HiddenWindow() && WRunOnDisplay(MakeHiddenCurrent, &result) == 0 && result == 0 ? 0 : -1;
}

// A present does not wait for the display.
static void NoSwapWait(void *)
{
    SDL_GL_SetSwapInterval(0);
}

static void MakeHiddenContext(void *)
{
    gGlContext.context = SDL_GL_CreateContext(gGlContext.window);
}

// The context and the hidden window go, unless the connection broke: that would ask the dead display,
// and the process end takes them.
static void DeleteContextAndWindow(void *)
{
    if (gGlContext.context) SDL_GL_DeleteContext(gGlContext.context);
    if (gGlContext.window) SDL_DestroyWindow(gGlContext.window);
}

// The shown window is closing: a context no device uses goes with it; one in use goes on, on a hidden
// window, presenting nowhere.
static void ShownWindowGone(void *context)
{
    if (context != gGlContext.context) return;
    if (gGlContext.devices == 0) {
        D3dGlCloseContext();
        return;
    }
    gGlContext.shown = 0;
    UseHiddenWindow();
}

int D3dGlOpenContext(WHandle shown)
{
    D3dGlContext &gl = gGlContext;
    // The context serves every device; one left on another window by its last device goes first.
    if (gl.context && (gl.devices > 0 || !shown || shown == gl.shown)) return 0;
    if (gl.context) D3dGlCloseContext();
    if (WLoadGlDriver() != 0) return -1;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    if (shown) gl.context = (SDL_GLContext)WCreateGlContext(shown, ShownWindowGone);
    if (gl.context) {
        gl.shown = shown;
        WRunOnDisplay(NoSwapWait, nullptr);
    } else if (HiddenWindow()) {
        WRunOnDisplay(MakeHiddenContext, nullptr);
    }
    if (!gl.context || LoadFunctions() != 0) {
        if (gl.context) WForgetGlContext(gl.context);
        WRunOnDisplay(DeleteContextAndWindow, nullptr);
        memset(&gl, 0, sizeof gl);
        return -1;
    }
    SetFixedState();
    D3dCountObject(D3D_LIVE_CONTEXTS, 1);
    return 0;
}

void D3dGlMakeCurrent(void)
{
    D3dGlContext &gl = gGlContext;
    if (SDL_GL_GetCurrentContext() == gl.context) return;
    if (gl.shown && WMakeGlCurrent(gl.shown, gl.context) == 0) return;
    if (gl.shown) gl.shown = 0;  // the window went without telling: draw on, present nowhere
    UseHiddenWindow();
}

void D3dGlCloseContext(void)
{
    D3dGlContext &gl = gGlContext;
    D3dGlMakeCurrent();
    D3dGlFreeAllCopies();
    D3dGlDeletePrograms();
    gGl.DeleteSamplers(D3D_MAX_STAGES, gl.samplers);
    gGl.DeleteBuffers(1, &gl.vertexBuffer);
    gGl.DeleteBuffers(1, &gl.indexBuffer);
    gGl.DeleteVertexArrays(1, &gl.vao);
    WForgetGlContext(gl.context);
    WRunOnDisplay(DeleteContextAndWindow, nullptr);
    memset(&gl, 0, sizeof gl);
    D3dCountObject(D3D_LIVE_CONTEXTS, -1);
}

void D3dGlFinish(void)
{
    if (!gGlContext.context) return;
    D3dGlMakeCurrent();
    gGl.Finish();
}
