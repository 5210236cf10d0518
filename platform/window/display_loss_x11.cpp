// The X display under SDL's "x11" driver. Xlib's own handlers end the process at once when a window
// is destroyed from outside (the next request on it fails) or the connection breaks (the client was
// killed); here both become a close of the windows concerned, so the program ends as when it is
// asked to, with its end run. Errors other than a window gone keep going to the handler before.
#include <atomic>
#include <mutex>

#include <SDL_syswm.h>

#include "platform/window/window_internal.h"

#define W_GONE_WINDOWS 16   // X windows remembered as gone: requests on them may still fail later

// GLX's errors for a drawable that is not there, counted from the extension's first error number
// (the protocol's numbers; its header needs the server's types).
enum { GLX_BAD_DRAWABLE = 2, GLX_BAD_CURRENT_WINDOW = 5, GLX_BAD_CURRENT_DRAWABLE = 11, GLX_BAD_WINDOW = 12 };

// X windows in a ring: the newest W_GONE_WINDOWS are kept. Under sX.lock.
struct XWindowRing {
    unsigned long ids[W_GONE_WINDOWS];
    int count;                               // entries written so far
};

static struct {
    Display *display;                        // the display the handlers watch, null: none
    XErrorHandler previous;                  // the handler before ours (SDL's)
    int glxErrorBase;                        // GLX's first error number, 0 without GLX
    // The error callback runs on whichever thread made the failing request: the rings are kept under
    // this lock, which is never held over an X request or the window table's lock.
    std::mutex lock;
    XWindowRing gone;                        // ours, found destroyed from outside
    int goneTaken;                           // gone entries already turned into closes (event thread)
    XWindowRing closed;                      // ours, destroyed by us: late failures on them are no news
    std::atomic<int> broken;                 // 1 once the connection broke
    int brokenTaken;                         // 1 once that was turned into closes (event thread)
} sX;

static int IsInRing(const XWindowRing &ring, unsigned long id)
{
    for (int i = 0; i < ring.count && i < W_GONE_WINDOWS; i++)
        if (ring.ids[i] == id) return 1;
    return 0;
}

static void AddToRing(XWindowRing &ring, unsigned long id)
{
    ring.ids[ring.count % W_GONE_WINDOWS] = id;
    ring.count++;
}

// 1 when the id is in the ring, under the lock.
static int IsInRingLocked(const XWindowRing &ring, unsigned long id)
{
    std::lock_guard<std::mutex> hold(sX.lock);
    return IsInRing(ring, id);
}

unsigned long WXWindowOf(const WWindowRecord *record)
{
    // Asked each time: SDL makes the X window anew when a renderer needs OpenGL on it.
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!record->sdl || !SDL_GetWindowWMInfo(record->sdl, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return (unsigned long)info.info.x11.window;
}

// 1 for an X window of ours that is alive. Asks SDL only, no X request, under the table's lock.
static int IsLiveXWindow(unsigned long id)
{
    std::lock_guard<std::mutex> hold(gWin.mutex);
    for (const WWindowRecord &record : gWin.windows)
        if (record.used && WXWindowOf(&record) == id) return 1;
    return 0;
}

// 1 for the errors a request on a window that no longer exists gets: the core ones, and GLX's when
// OpenGL draws into the window.
static int IsWindowGoneError(int code)
{
    if (code == BadWindow || code == BadDrawable) return 1;
    if (!sX.glxErrorBase) return 0;
    int glx = code - sX.glxErrorBase;
    return glx == GLX_BAD_DRAWABLE || glx == GLX_BAD_WINDOW || glx == GLX_BAD_CURRENT_WINDOW ||
           glx == GLX_BAD_CURRENT_DRAWABLE;
}

// Xlib's error callback: a failed request on one of our windows means it was destroyed outside.
// Requests on other windows that went (the window manager's frames SDL asks about) fail the same way
// and are no reason to end the process either.
static int OnXError(Display *display, XErrorEvent *error)
{
    unsigned long id = error->resourceid;
    if (IsInRingLocked(sX.gone, id) || IsInRingLocked(sX.closed, id)) return 0;
    if (!IsWindowGoneError(error->error_code)) return sX.previous ? sX.previous(display, error) : 0;
    if (!IsLiveXWindow(id)) return 0;
    std::lock_guard<std::mutex> hold(sX.lock);
    if (!IsInRing(sX.gone, id)) AddToRing(sX.gone, id);
    return 0;
}

// A broken connection: Xlib's own handler would end the process at once; the program ends by its
// own way instead, with every later request of the dead connection failing quietly.
static int OnXConnectionBroken(Display *)
{
    sX.broken.store(1);
    return 0;
}

// Xlib's exit after that handler: none.
static void KeepRunningAfterBreak(Display *, void *) {}

void WWatchDisplay(const WWindowRecord *record)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(record->sdl, &info) || info.subsystem != SDL_SYSWM_X11) return;
    if (sX.display == info.info.x11.display) return;
    sX.display = info.info.x11.display;
    int opcode = 0, firstEvent = 0, firstError = 0;
    sX.glxErrorBase = XQueryExtension(sX.display, "GLX", &opcode, &firstEvent, &firstError) ? firstError : 0;
    // Ours already when SDL's display outlived an end of ours: the handler before stays the one kept.
    XErrorHandler before = XSetErrorHandler(OnXError);
    if (before != OnXError) sX.previous = before;
    XSetIOErrorHandler(OnXConnectionBroken);
    XSetIOErrorExitHandler(sX.display, KeepRunningAfterBreak, nullptr);
}

void WProbeXWindow(unsigned long xWindow)
{
    if (!sX.display || !xWindow || sX.broken.load()) return;
    // A window that is gone fails this request: the error callback notes it before the reply returns.
    XWindowAttributes attributes;
    XGetWindowAttributes(sX.display, (Window)xWindow, &attributes);
}

void WForgetXWindow(unsigned long xWindow)
{
    if (!xWindow) return;
    std::lock_guard<std::mutex> hold(sX.lock);
    AddToRing(sX.closed, xWindow);
}

int WIsXWindowLost(const WWindowRecord *record)
{
    return sX.broken.load() || IsInRingLocked(sX.gone, WXWindowOf(record));
}

int WIsDisplayLost(void)
{
    std::lock_guard<std::mutex> hold(sX.lock);
    return sX.broken.load() || sX.gone.count > 0;
}

int WIsDisplayBroken(void) { return sX.broken.load(); }

void WSyncDisplay(void)
{
    if (sX.display && !sX.broken.load()) XSync(sX.display, False);
}

void WUnwatchDisplay(void)
{
    // SDL's video left running (after a loss, or held by the OpenGL driver) keeps its display and our
    // handlers, and the windows lost stay lost: a new start goes on with them.
    if (SDL_WasInit(SDL_INIT_VIDEO)) return;
    // SDL has put back Xlib's handler with its display's end: ours is no longer called.
    std::lock_guard<std::mutex> hold(sX.lock);
    sX.display = nullptr;
    sX.previous = nullptr;
    sX.glxErrorBase = 0;
    sX.gone.count = 0;
    sX.goneTaken = 0;
    sX.closed.count = 0;
    sX.broken.store(0);
    sX.brokenTaken = 0;
}

void WTakeDisplayLosses(void (*close)(unsigned long xWindow))
{
    // Taken out under the lock, closed after it: the close takes the window table's lock.
    unsigned long taken[W_GONE_WINDOWS];
    int n = 0;
    {
        std::lock_guard<std::mutex> hold(sX.lock);
        if (sX.gone.count - sX.goneTaken > W_GONE_WINDOWS) sX.goneTaken = sX.gone.count - W_GONE_WINDOWS;
        for (; sX.goneTaken < sX.gone.count; sX.goneTaken++) taken[n++] = sX.gone.ids[sX.goneTaken % W_GONE_WINDOWS];
    }
    for (int i = 0; i < n; i++) close(taken[i]);
    if (sX.broken.load() && !sX.brokenTaken) {
        sX.brokenTaken = 1;
        close(0);
    }
}
