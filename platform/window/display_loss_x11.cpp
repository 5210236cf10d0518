// The X display under SDL's "x11" driver. Xlib's own handlers end the process at once when a window
// is destroyed from outside (the next request on it fails) or the connection breaks (the client was
// killed); here both become a close of the windows concerned, so the program ends as when it is
// asked to, with its end run. Errors other than a window gone keep going to the handler before.
#include <atomic>

#include <SDL_syswm.h>

#include "platform/window/window_internal.h"

#define W_GONE_WINDOWS 16   // X windows remembered as gone: requests on them may still fail later

// X windows in a ring: the newest W_GONE_WINDOWS are kept.
struct XWindowRing {
    unsigned long ids[W_GONE_WINDOWS];
    std::atomic<int> count;                  // entries written so far
};

static struct {
    Display *display;                        // the display the handlers watch, null: none
    XErrorHandler previous;                  // the handler before ours (SDL's)
    XWindowRing gone;                        // ours, found destroyed from outside
    int goneTaken;                           // gone entries already turned into closes (event thread)
    XWindowRing closed;                      // ours, destroyed by us: late failures on them are no news
    std::atomic<int> broken;                 // 1 once the connection broke
    int brokenTaken;                         // 1 once that was turned into closes (event thread)
} sX;

static int IsInRing(const XWindowRing &ring, unsigned long id)
{
    int count = ring.count.load();
    for (int i = 0; i < count && i < W_GONE_WINDOWS; i++)
        if (ring.ids[i] == id) return 1;
    return 0;
}

static void AddToRing(XWindowRing &ring, unsigned long id)
{
    int count = ring.count.load();
    ring.ids[count % W_GONE_WINDOWS] = id;
    ring.count.store(count + 1);
}

unsigned long WXWindowOf(const WWindowRecord *record)
{
    // Asked each time: SDL makes the X window anew when a renderer needs OpenGL on it.
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!record->sdl || !SDL_GetWindowWMInfo(record->sdl, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return (unsigned long)info.info.x11.window;
}

// 1 for an X window of ours that is alive.
static int IsLiveXWindow(unsigned long id)
{
    for (const WWindowRecord &record : gWin.windows)
        if (record.used && WXWindowOf(&record) == id) return 1;
    return 0;
}

// Xlib's error callback: a failed request on one of our windows means it was destroyed outside.
// Requests on other windows that went (the window manager's frames SDL asks about) fail the same way
// and are no reason to end the process either.
static int OnXError(Display *display, XErrorEvent *error)
{
    unsigned long id = error->resourceid;
    if (IsInRing(sX.gone, id) || IsInRing(sX.closed, id)) return 0;
    if (error->error_code != BadWindow && error->error_code != BadDrawable)
        return sX.previous ? sX.previous(display, error) : 0;
    if (IsLiveXWindow(id)) AddToRing(sX.gone, id);
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
    sX.previous = XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXConnectionBroken);
    XSetIOErrorExitHandler(sX.display, KeepRunningAfterBreak, nullptr);
}

void WProbeXWindow(const WWindowRecord *record)
{
    unsigned long id = WXWindowOf(record);
    if (!sX.display || !id) return;
    // A window that is gone fails this request: the error callback notes it.
    XWindowAttributes attributes;
    XGetWindowAttributes(sX.display, (Window)id, &attributes);
}

void WForgetXWindow(unsigned long xWindow)
{
    if (xWindow) AddToRing(sX.closed, xWindow);
}

int WIsXWindowLost(const WWindowRecord *record)
{
    return sX.broken.load() || IsInRing(sX.gone, WXWindowOf(record));
}

int WIsDisplayLost(void) { return sX.broken.load() || sX.gone.count.load() > 0; }

void WSyncDisplay(void)
{
    if (sX.display && !sX.broken.load()) XSync(sX.display, False);
}

void WUnwatchDisplay(void)
{
    // SDL has put back Xlib's handler with its display's end: ours is no longer called.
    sX.display = nullptr;
    sX.previous = nullptr;
    sX.gone.count.store(0);
    sX.goneTaken = 0;
    sX.closed.count.store(0);
    sX.broken.store(0);
    sX.brokenTaken = 0;
}

void WTakeDisplayLosses(void (*close)(unsigned long xWindow))
{
    int count = sX.gone.count.load();
    for (; sX.goneTaken < count; sX.goneTaken++) close(sX.gone.ids[sX.goneTaken % W_GONE_WINDOWS]);
    if (sX.broken.load() && !sX.brokenTaken) {
        sX.brokenTaken = 1;
        close(0);
    }
}
