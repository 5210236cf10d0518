// Presentation of a software screen: the pixel block goes into a streaming texture scaled to the
// window. A 3-D device drawing into the window's own OpenGL framebuffer presents by a buffer swap
// instead. Each present is handed to the record hook.
#include <dlfcn.h>
#include "platform/kernel/kernel.h"
#include "platform/kernel/standin_hooks.h"
#include "platform/window/window_internal.h"

static void DestroyRenderer(void *data)
{
    WWindowRecord *record = (WWindowRecord *)data;
    if (record->texture) SDL_DestroyTexture(record->texture);
    if (record->renderer) SDL_DestroyRenderer(record->renderer);
}

void WPresentRelease(WWindowRecord *record)
{
    if (record->glContext && record->glGone) record->glGone(record->glContext);
    record->glContext = nullptr;
    record->glGone = nullptr;
    // The renderer draws through the display: on a broken connection it stays with SDL's window,
    // which the process end takes.
    WRunOnDisplay(DestroyRenderer, record);
    record->texture = nullptr;
    record->renderer = nullptr;
}

// 1 when the window's X window is gone from the display: nothing more is drawn into it, as SDL would
// go on with what its failed requests left undefined. Before the renderer is made the display is
// asked, for a window destroyed before its first frame.
static int IsDrawingLost(const WWindowRecord *record)
{
    if (!record->renderer) WProbeXWindow(WXWindowOf(record));
    return WIsXWindowLost(record);
}

static void CreateRenderer(void *data)
{
    WWindowRecord *record = (WWindowRecord *)data;
    // In software under X too: an OpenGL renderer has Mesa draw with threads of its own into buffers
    // sized by what the display answers, which a connection that breaks leaves unanswered.
    int software = WIsHeadlessVideo() || WXWindowOf(record);
    record->renderer = SDL_CreateRenderer(record->sdl, -1, software ? SDL_RENDERER_SOFTWARE : 0);
    if (!record->renderer) record->renderer = SDL_CreateRenderer(record->sdl, -1, SDL_RENDERER_SOFTWARE);
}

// Makes the renderer and a texture of the frame's size and format when they are missing. 0 / -1.
static int PrepareTexture(WWindowRecord *record, int width, int height, int bits)
{
    if (!record->renderer) {
        WRunOnDisplay(CreateRenderer, record);
        if (!record->renderer) return -1;
    }
    if (record->texture && record->textureWidth == width && record->textureHeight == height &&
        record->textureBits == bits) {
        return 0;
    }
    if (record->texture) SDL_DestroyTexture(record->texture);
    uint32_t format = bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
    record->texture = SDL_CreateTexture(record->renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!record->texture) return -1;
    record->textureWidth = width;
    record->textureHeight = height;
    record->textureBits = bits;
    SDL_RenderSetLogicalSize(record->renderer, width, height);
    return 0;
}

struct RendererPresent {
    WWindowRecord *record;
    const WPresentRecord *present;
};

// The frame in the texture through the renderer. On the display.
static void PresentThroughRenderer(void *data)
{
    const RendererPresent *p = (const RendererPresent *)data;
    WWindowRecord *record = p->record;
    SDL_SetRenderDrawColor(record->renderer, 0, 0, 0, 255);
    SDL_RenderClear(record->renderer);
    SDL_RenderCopy(record->renderer, record->texture, nullptr, nullptr);
    // Recorded once drawn, so a hook may read what the window is about to show (inside this guarded
    // call: the hook holds no lock and nothing to free over a call that reaches the display).
    StandInRecord(STAND_IN_WINDOW, p->present);
    SDL_RenderPresent(record->renderer);
}

// Shows a 16- or 32-bit pixel block in the window.
int WPresentPixels(WHandle window, const void *pixels, int width, int height, int pitch, int bitsPerPixel)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || record->ownerThread != KGetCurrentThreadId() || !pixels) return -1;
    if (width <= 0 || height <= 0 || (bitsPerPixel != 16 && bitsPerPixel != 32)) return -1;
    if (pitch < width * (bitsPerPixel / 8)) return -1;
    if (IsDrawingLost(record) || PrepareTexture(record, width, height, bitsPerPixel) != 0) return -1;
    if (SDL_UpdateTexture(record->texture, nullptr, pixels, pitch) != 0) return -1;
    const WPresentRecord present = {window, pixels, width, height, pitch, bitsPerPixel};
    RendererPresent job = {record, &present};
    return WRunOnDisplay(PresentThroughRenderer, &job);
}

// ================================================================================================
// OpenGL in the window
// ================================================================================================

int WLoadGlDriver(void)
{
    static int loaded;
    if (loaded) return 0;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return -1;
    // SDL unloads the EGL library when its start fails, as it does on a display that dies under it,
    // and Mesa keeps the display records it made in that library's own list: the library stays loaded,
    // and what it made stays its own.
    if (SDL_GetHintBoolean(SDL_HINT_VIDEO_X11_FORCE_EGL, SDL_FALSE)) dlopen("libEGL.so.1", RTLD_LAZY | RTLD_NODELETE);
    // Not started at all on a display already gone.
    if (WIsDisplayGone() || SDL_GL_LoadLibrary(nullptr) != 0) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return -1;
    }
    loaded = 1;
    return 0;
}

struct GlCall {
    WWindowRecord *record;
    void *context;  // made, or to make current
    int result;
};

static void CreateContextOnWindow(void *data)
{
    GlCall *call = (GlCall *)data;
    WProbeXWindow(WXWindowOf(call->record));
    if (!WIsXWindowLost(call->record)) call->context = SDL_GL_CreateContext(call->record->sdl);
}

void *WCreateGlContext(WHandle window, void (*windowGone)(void *context))
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || record->ownerThread != KGetCurrentThreadId()) return nullptr;
    if (!(SDL_GetWindowFlags(record->sdl) & SDL_WINDOW_OPENGL)) return nullptr;
    GlCall made = {record, nullptr, 0};
    // A context made as the connection broke is left with it: deleting it would ask the display.
    if (WRunOnDisplay(CreateContextOnWindow, &made) != 0 || !made.context) return nullptr;
    record->glContext = made.context;
    record->glGone = windowGone;
    return made.context;
}

void WForgetGlContext(void *context)
{
    for (WWindowRecord &record : gWin.windows) {
        if (!record.used || record.glContext != context) continue;
        record.glContext = nullptr;
        record.glGone = nullptr;
    }
}

static void MakeCurrentOnWindow(void *data)
{
    GlCall *call = (GlCall *)data;
    call->result = SDL_GL_MakeCurrent(call->record->sdl, (SDL_GLContext)call->context) == 0 ? 0 : -1;
}

int WMakeGlCurrent(WHandle window, void *context)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || !context || WIsXWindowLost(record)) return -1;
    GlCall call = {record, context, -1};
    return WRunOnDisplay(MakeCurrentOnWindow, &call) == 0 ? call.result : -1;
}

// The size SDL keeps (asked of no display), while the window is there: the caller is about to draw
// into it.
int WGetGlDrawableSize(WHandle window, int *width, int *height)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || WIsXWindowLost(record)) return -1;
    SDL_GL_GetDrawableSize(record->sdl, width, height);
    return 0;
}

static void SwapOnWindow(void *sdl)
{
    SDL_GL_SwapWindow((SDL_Window *)sdl);
}

int WSwapGlWindow(WHandle window)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || record->ownerThread != KGetCurrentThreadId() || WIsXWindowLost(record)) return -1;
    if (WRunOnDisplay(SwapOnWindow, record->sdl) != 0) return -1;
    const WPresentRecord present = {window, nullptr, 0, 0, 0, 0};
    StandInRecord(STAND_IN_WINDOW, &present);
    return 0;
}
