// The X display under SDL's "x11" driver. Xlib's own handlers end the process at once when a window
// is destroyed from outside (the next request on it fails) or the connection breaks (the client was
// killed); here both become a close of the windows concerned, so the program ends as when it is
// asked to, with its end run. Errors other than a window gone keep going to the handler before.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Where a thread inside WRunOnDisplay goes on when the connection breaks under it, or null.
static thread_local jmp_buf *tEscape;

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
// own way instead, with every later request of the dead connection failing quietly. A thread inside
// WRunOnDisplay leaves what it was doing at once: SDL and Mesa would go on with the replies that never
// came (a null atom name compared, a window size never written).
static int OnXConnectionBroken(Display *)
{
    sX.broken.store(1);
    jmp_buf *escape = tEscape;
    tEscape = nullptr;
    if (escape) longjmp(*escape, 1);
    return 0;
}

// Xlib's exit after that handler: none.
static void KeepRunningAfterBreak(Display *, void *) {}

void WCatchDisplayBreak(void)
{
    XSetIOErrorHandler(OnXConnectionBroken);
}

void WCatchDisplayErrors(void)
{
    if (!WIsX11Video()) return;
    // Ours already when SDL's display outlived an end of ours: the handler before stays the one kept.
    XErrorHandler before = XSetErrorHandler(OnXError);
    if (before != OnXError) sX.previous = before;
}

static void FindGlxErrors(void *)
{
    int opcode = 0, firstEvent = 0, firstError = 0;
    sX.glxErrorBase = XQueryExtension(sX.display, "GLX", &opcode, &firstEvent, &firstError) ? firstError : 0;
}

void WWatchDisplay(const WWindowRecord *record)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!record->sdl || !SDL_GetWindowWMInfo(record->sdl, &info) || info.subsystem != SDL_SYSWM_X11) return;
    if (sX.display == info.info.x11.display) return;
    sX.display = info.info.x11.display;
    XSetIOErrorExitHandler(sX.display, KeepRunningAfterBreak, nullptr);
    WRunOnDisplay(FindGlxErrors, nullptr);
}

// A window that is gone fails this request: the error callback notes it before the reply returns.
static void AskForWindow(void *xWindow)
{
    XWindowAttributes attributes;
    XGetWindowAttributes(sX.display, *(Window *)xWindow, &attributes);
}

void WProbeXWindow(unsigned long xWindow)
{
    Window asked = (Window)xWindow;
    if (sX.display && xWindow) WRunOnDisplay(AskForWindow, &asked);
}

void WForgetXWindow(unsigned long xWindow)
{
    if (!xWindow) return;
    std::lock_guard<std::mutex> hold(sX.lock);
    AddToRing(sX.closed, xWindow);
}

int WIsXWindowLost(const WWindowRecord *record)
{
    return WIsDisplayBroken() || IsInRingLocked(sX.gone, WXWindowOf(record));
}

int WIsDisplayLost(void)
{
    if (WIsDisplayBroken()) return 1;
    std::lock_guard<std::mutex> hold(sX.lock);
    return sX.gone.count > 0;
}

int WIsDisplayBroken(void)
{
    if (sX.broken.load()) return 1;
    // The server's end closed (the client killed, the server gone) shows on the socket at once, even
    // with events still unread before it, which Xlib would hand on before it noticed.
    Display *display = sX.display;
    pollfd socket{display ? ConnectionNumber(display) : -1, POLLRDHUP, 0};
    if (display && poll(&socket, 1, 0) == 1 && (socket.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)))
        sX.broken.store(1);
    return sX.broken.load();
}

int WRunOnDisplay(void (*work)(void *data), void *data)
{
    if (WIsDisplayBroken()) return -1;
    if (tEscape) {  // inside another: that one is left when the connection breaks
        work(data);
        return 0;
    }
    jmp_buf escape;
    if (setjmp(escape)) return -1;  // tEscape was cleared by the callback
    tEscape = &escape;
    work(data);
    tEscape = nullptr;
    return 0;
}

// 1 when the local X server of DISPLAY takes no connection, asked on its socket without Xlib (whose
// connection to a server that dies while it is made ends the process). A remote display counts as
// there.
static int IsLocalServerGone(void)
{
    const char *name = getenv("DISPLAY");
    if (!name) return 0;
    if (strncmp(name, "unix:", 5) == 0) name += 4;
    if (name[0] != ':') return 0;
    int number = atoi(name + 1);
    for (int abstract = 1; abstract >= 0; abstract--) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        int length = snprintf(address.sun_path + abstract, sizeof address.sun_path - 1, "/tmp/.X11-unix/X%d", number);
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int reached = fd >= 0 && connect(fd, (sockaddr *)&address,
                                         (socklen_t)(offsetof(sockaddr_un, sun_path) + abstract + length)) == 0;
        if (fd >= 0) close(fd);
        if (reached) return 0;
    }
    return 1;
}

int WIsDisplayGone(void)
{
    if (WIsDisplayBroken()) return 1;
    if (sX.display || !WIsX11Video()) return 0;
    // SDL hands its connection out with a window only: before the first, the server is asked.
    if (IsLocalServerGone()) sX.broken.store(1);
    return sX.broken.load();
}

void WSyncDisplay(void)
{
    if (sX.display && !WIsDisplayBroken()) XSync(sX.display, False);
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
    if (WIsDisplayBroken() && !sX.brokenTaken) {
        sX.brokenTaken = 1;
        close(0);
    }
}
