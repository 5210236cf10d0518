// Window stand-in over SDL2: subsystem, classes, windows, message queues, timers, event translation.
#include <signal.h>

#include <cstring>

#include "platform/kernel/kernel.h"
#include "platform/window/window_internal.h"

WState gWin;

// ================================================================================================
// handles
// ================================================================================================

// Handle of a record: generation above the slot number, so a reused slot never matches an old handle.
WHandle WHandleOf(const WWindowRecord *record)
{
    int slot = (int)(record - gWin.windows);
    return (WHandle)(((record->generation & 0xFFFFFFu) << 8) | (uint32_t)(slot + 1));
}

// The record of a live handle, or null.
WWindowRecord *WLookupWindow(WHandle window)
{
    if (window <= 0) return nullptr;
    int slot = (int)(window & 0xFF) - 1;
    if (slot < 0 || slot >= W_MAX_WINDOWS) return nullptr;
    WWindowRecord *record = &gWin.windows[slot];
    if (!record->used || WHandleOf(record) != window) return nullptr;
    return record;
}

// The record of an SDL window id, or null.
WWindowRecord *WLookupSdlWindow(uint32_t sdlId)
{
    for (WWindowRecord &record : gWin.windows) {
        if (record.used && record.sdlId == sdlId) return &record;
    }
    return nullptr;
}

// SDL waits for a shown window's unmapping: on the display.
static void DestroySdlWindow(void *sdl)
{
    SDL_DestroyWindow((SDL_Window *)sdl);
    WSyncDisplay();
}

// Closes the SDL window and frees its slot; the generation stays, so old handles keep failing.
static void CloseWindowRecord(WWindowRecord *record)
{
    // A window the display has lost is only forgotten: SDL would wait for its unmapping for ever.
    // What it presented with goes all the same.
    WPresentRelease(record);
    if (!WIsXWindowLost(record)) {
        WForgetXWindow(WXWindowOf(record));
        // Out of the record first: the X error callback looks at the table's windows.
        SDL_Window *sdl = nullptr;
        {
            std::lock_guard<std::mutex> hold(gWin.mutex);
            sdl = record->sdl;
            record->sdl = nullptr;
        }
        WRunOnDisplay(DestroySdlWindow, sdl);
    }
    std::lock_guard<std::mutex> hold(gWin.mutex);
    uint32_t generation = record->generation;
    *record = WWindowRecord{};
    record->generation = generation;
}

// Copies a Shift-JIS text into UTF-8 for SDL; bytes that cannot be converted become '?'.
static void ConvertTitle(const char *title, char *out, int size)
{
    if (!title) title = "";
    if (KMultiByteToUtf8(title, out, size) > 0) return;
    int i = 0;
    for (; title[i] && i < size - 1; i++) out[i] = ((unsigned char)title[i] < 0x80) ? title[i] : '?';
    out[i] = 0;
}

// ================================================================================================
// subsystem
// ================================================================================================

static void StartSdlVideo(void *started)
{
    *(int *)started = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

// Starts SDL video and events, pads when they can be had; the caller becomes the event thread.
int WInitSubsystem(void)
{
    if (gWin.initCount > 0) {
        gWin.initCount++;
        return 0;
    }
    // A display that goes away leaves a socket whose writes raise SIGPIPE, which would end the process
    // before the loss is seen: the write fails instead (unless the program handles the signal itself).
    struct sigaction pipe;
    if (sigaction(SIGPIPE, nullptr, &pipe) == 0 && pipe.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
    // A connection that breaks while SDL's video starts on it leaves the start, which fails.
    WCatchDisplayBreak();
    int started = -1;
    if (SDL_WasInit(SDL_INIT_VIDEO)) started = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    else WRunOnDisplay(StartSdlVideo, &started);
    if (started != 0) return -1;
    WCatchDisplayErrors();
    SDL_StopTextInput();  // no character input is read: keep the IME away
    // SDL's "offscreen" driver shows nothing: its frames need no OpenGL, whose driver, unloaded again
    // at the end, would strand the process-wide state it keeps (LeakSanitizer: 7 KB). Under X a
    // window's frames go to the display without it too (see CreateRenderer).
    if (WIsHeadlessVideo() || WIsX11Video()) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Pads are read whatever the focus: the library decides what inactivity means, and headless
    // windows never get the focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // Pads are welcome but not required (containers have none).
    gWin.padsAvailable = SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) == 0;
    gWin.eventThread = KGetCurrentThreadId();
    gWin.initCount = 1;
    return 0;
}

static int IsVideoDriver(const char *name)
{
    const char *driver = SDL_GetCurrentVideoDriver();
    return driver && strcmp(driver, name) == 0;
}

int WIsHeadlessVideo(void) { return IsVideoDriver("offscreen"); }

int WIsX11Video(void) { return IsVideoDriver("x11"); }

// Ends what WInitSubsystem started once the last user has gone.
void WQuitSubsystem(void)
{
    if (gWin.initCount <= 0) return;
    if (--gWin.initCount > 0) return;
    for (WWindowRecord &record : gWin.windows) {
        if (!record.used || WDestroyWindow(WHandleOf(&record))) continue;
        // Another thread's window: closed without its procedure, SDL is going away.
        CloseWindowRecord(&record);
    }
    WInputClosePads();
    WInputClearKeys();
    if (gWin.padsAvailable) SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    gWin.padsAvailable = 0;
    // After a loss of the display SDL's video end would wait on it: the process end takes it.
    if (!WIsDisplayLost()) SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    WUnwatchDisplay();
    // Classes go too: the next start registers them again.
    std::lock_guard<std::mutex> hold(gWin.mutex);
    for (WQuitRecord &quit : gWin.quits) quit = WQuitRecord{};
    for (WClassRecord &cls : gWin.classes) cls = WClassRecord{};
    gWin.eventThread = 0;
}

// 1 when the caller reads SDL events.
int WIsEventThread(void)
{
    return gWin.initCount > 0 && KGetCurrentThreadId() == gWin.eventThread;
}

const char *WGetErrorText(void)
{
    const char *text = SDL_GetError();
    return text ? text : "";
}

// ================================================================================================
// classes and windows
// ================================================================================================

// Slot of a registered class name, or -1.
static int FindClass(const char *name)
{
    for (int i = 0; i < W_MAX_CLASSES; i++) {
        if (gWin.classes[i].used && strcmp(gWin.classes[i].name, name) == 0) return i;
    }
    return -1;
}

// Registers a class name with its window procedure.
int WRegisterClass(const char *className, WWindowProc proc)
{
    if (!className || !proc || strlen(className) >= W_CLASS_NAME_SIZE || FindClass(className) >= 0) return 0;
    for (WClassRecord &cls : gWin.classes) {
        if (cls.used) continue;
        cls.used = 1;
        strcpy(cls.name, className);
        cls.proc = proc;
        return 1;
    }
    return 0;
}

// Forgets a class that no window uses.
int WUnregisterClass(const char *className)
{
    int slot = className ? FindClass(className) : -1;
    if (slot < 0) return 0;
    for (const WWindowRecord &record : gWin.windows) {
        if (record.used && record.classSlot == slot) return 0;
    }
    gWin.classes[slot] = WClassRecord{};
    return 1;
}

struct NewWindow {
    const char *title;
    int width, height;
    uint32_t flags;
    SDL_Window *sdl;
};

// Makes the SDL window, with OpenGL where the driver has it, so a 3-D device can draw into the window
// itself. On the display.
static void MakeSdlWindow(void *data)
{
    NewWindow *w = (NewWindow *)data;
    if (WLoadGlDriver() == 0)
        w->sdl = SDL_CreateWindow(w->title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w->width, w->height,
                                  w->flags | SDL_WINDOW_OPENGL);
    if (!w->sdl && !WIsDisplayBroken())
        w->sdl = SDL_CreateWindow(w->title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w->width, w->height,
                                  w->flags);
}

// Creates a window of a class, owned by the calling thread.
WHandle WCreateWindow(const char *className, const char *title, int width, int height, uint32_t style)
{
    int cls = className ? FindClass(className) : -1;
    if (gWin.initCount <= 0 || cls < 0 || width <= 0 || height <= 0) return 0;
    WWindowRecord *record = nullptr;
    for (WWindowRecord &candidate : gWin.windows) {
        if (!candidate.used) { record = &candidate; break; }
    }
    if (!record) return 0;
    char utf8[1024];
    ConvertTitle(title, utf8, sizeof utf8);
    uint32_t flags = (style & W_STYLE_HIDDEN) ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
    if (style & W_STYLE_FULLSCREEN) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    // A connection that broke before the window was made, or while it was, leaves the window lost at
    // once: the start goes on, and the first pass of events closes it as it would close one lost later
    // (what SDL had made of it the process end takes).
    NewWindow made = {utf8, width, height, flags, nullptr};
    WRunOnDisplay(MakeSdlWindow, &made);
    if (!made.sdl && !WIsDisplayBroken()) return 0;
    SDL_Window *sdl = made.sdl;
    {
        std::lock_guard<std::mutex> hold(gWin.mutex);
        uint32_t generation = record->generation + 1;
        *record = WWindowRecord{};
        record->generation = generation;
        record->sdl = sdl;
        record->sdlId = sdl ? SDL_GetWindowID(sdl) : 0;
        record->classSlot = cls;
        record->ownerThread = KGetCurrentThreadId();
        record->used = 1;
    }
    WWatchDisplay(record);
    return WHandleOf(record);
}

// Sends W_WM_DESTROY, then closes the window and drops its queue.
int WDestroyWindow(WHandle window)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || record->ownerThread != KGetCurrentThreadId() || record->destroying) return 0;
    record->destroying = 1;
    gWin.classes[record->classSlot].proc(window, W_WM_DESTROY, 0, 0);
    CloseWindowRecord(record);
    return 1;
}

int WIsWindow(WHandle window)
{
    return WLookupWindow(window) != nullptr;
}

// A window's title or screen mode to set on the display.
struct WindowChange {
    SDL_Window *sdl;
    const char *title;  // null: the screen mode
    int fullScreen;
    int done;
};

static void ChangeSdlWindow(void *data)
{
    WindowChange *change = (WindowChange *)data;
    if (change->title) {
        SDL_SetWindowTitle(change->sdl, change->title);
        change->done = 1;
    } else {
        change->done =
            SDL_SetWindowFullscreen(change->sdl, change->fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0;
    }
}

// 1 when the change was made; none is asked of a window the display has lost.
static int ChangeWindow(WHandle window, const char *title, int fullScreen)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || WIsXWindowLost(record)) return 0;
    WindowChange change = {record->sdl, title, fullScreen, 0};
    return WRunOnDisplay(ChangeSdlWindow, &change) == 0 && change.done;
}

int WSetWindowTitle(WHandle window, const char *title)
{
    char utf8[1024];
    ConvertTitle(title, utf8, sizeof utf8);
    return ChangeWindow(window, utf8, 0);
}

// Full screen keeps the desktop mode; the present scales the picture to it.
int WSetWindowFullScreen(WHandle window, int fullScreen)
{
    return ChangeWindow(window, nullptr, fullScreen);
}

int WIsWindowMinimised(WHandle window)
{
    WWindowRecord *record = WLookupWindow(window);
    return record && (record->minimised || (SDL_GetWindowFlags(record->sdl) & SDL_WINDOW_MINIMIZED)) ? 1 : 0;
}

int WGetClientRect(WHandle window, WRect *rect)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || !rect || !record->sdl) return 0;  // none: lost as it was made
    int w = 0, h = 0;
    SDL_GetWindowSize(record->sdl, &w, &h);
    *rect = WRect{0, 0, w, h};
    return 1;
}

int WClientToScreen(WHandle window, int *x, int *y)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || !x || !y) return 0;
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(record->sdl, &wx, &wy);
    *x += wx;
    *y += wy;
    return 1;
}

// ================================================================================================
// queue
// ================================================================================================

// Appends a message to a record's ring; the caller holds the mutex. 1 / 0 (full).
static int Enqueue(WWindowRecord *record, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (record->queueCount >= W_QUEUE_SIZE) return 0;
    int at = (record->queueHead + record->queueCount) % W_QUEUE_SIZE;
    record->queue[at] = WMessage{WHandleOf(record), message, wParam, lParam, KGetTime()};
    record->queueCount++;
    return 1;
}

// Posts a message to a window's queue from any thread.
int WPostMessage(WHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    std::lock_guard<std::mutex> hold(gWin.mutex);
    WWindowRecord *record = WLookupWindow(window);
    if (!record || record->destroying) return 0;
    return Enqueue(record, message, wParam, lParam);
}

// Drops matching messages from a window's queue, keeping the order of the rest.
int WPurgeMessages(WHandle window, uint32_t message, uintptr_t wParam)
{
    std::lock_guard<std::mutex> hold(gWin.mutex);
    WWindowRecord *record = WLookupWindow(window);
    if (!record) return 0;
    int kept = 0;
    for (int i = 0; i < record->queueCount; i++) {
        const WMessage &m = record->queue[(record->queueHead + i) % W_QUEUE_SIZE];
        if (m.message == message && m.wParam == wParam) continue;
        record->queue[(record->queueHead + kept) % W_QUEUE_SIZE] = m;
        kept++;
    }
    int dropped = record->queueCount - kept;
    record->queueCount = kept;
    return dropped;
}

// Marks a quit for the calling thread.
void WPostQuitMessage(int exitCode)
{
    uint32_t me = KGetCurrentThreadId();
    std::lock_guard<std::mutex> hold(gWin.mutex);
    WQuitRecord *free = nullptr;
    for (WQuitRecord &quit : gWin.quits) {
        if (quit.thread == me) { quit.pending = 1; quit.code = exitCode; return; }
        if (!quit.thread && !free) free = &quit;
    }
    if (free) *free = WQuitRecord{me, 1, exitCode};
}

// Posts a message to every window the event thread owns (application-wide events).
static void PostToEventThreadWindows(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    std::lock_guard<std::mutex> hold(gWin.mutex);
    for (WWindowRecord &record : gWin.windows) {
        if (record.used && !record.destroying && record.ownerThread == gWin.eventThread) {
            Enqueue(&record, message, wParam, lParam);
        }
    }
}

// Posts a window event's message to the window it is for.
static void PostToSdlWindow(uint32_t sdlId, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    std::lock_guard<std::mutex> hold(gWin.mutex);
    WWindowRecord *record = WLookupSdlWindow(sdlId);
    if (record && !record->destroying) Enqueue(record, message, wParam, lParam);
}

// Focus and minimising: the application is active while its window has the focus and is not
// minimised, and hears of it once per change, as a minimised window regaining the focus only
// becomes active when it is restored.
static void TranslateActivityEvent(uint32_t sdlId, uint8_t event)
{
    std::lock_guard<std::mutex> hold(gWin.mutex);
    WWindowRecord *record = WLookupSdlWindow(sdlId);
    if (!record || record->destroying) return;
    int wasActive = !record->unfocused && !record->minimised;
    if (event == SDL_WINDOWEVENT_FOCUS_GAINED) record->unfocused = 0;
    if (event == SDL_WINDOWEVENT_FOCUS_LOST) record->unfocused = 1;
    if (event == SDL_WINDOWEVENT_MINIMIZED) record->minimised = 1;
    if (event == SDL_WINDOWEVENT_RESTORED || event == SDL_WINDOWEVENT_MAXIMIZED) record->minimised = 0;
    int active = !record->unfocused && !record->minimised;
    if (active != wasActive) Enqueue(record, W_WM_ACTIVATEAPP, (uintptr_t)active, 0);
}

// Translates one SDL window event.
static void TranslateWindowEvent(const SDL_WindowEvent &event)
{
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE: PostToSdlWindow(event.windowID, W_WM_CLOSE, 0, 0); break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        WInputClearKeys();  // keys released while away would stay down
        TranslateActivityEvent(event.windowID, event.event);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED: TranslateActivityEvent(event.windowID, event.event); break;
    case SDL_WINDOWEVENT_EXPOSED: PostToSdlWindow(event.windowID, W_WM_PAINT, 0, 0); break;
    case SDL_WINDOWEVENT_HIDDEN: {
        // Unmapped, perhaps destroyed from outside: see whether it is still there (asked without the
        // lock, which the error callback takes).
        unsigned long xWindow = 0;
        {
            std::lock_guard<std::mutex> hold(gWin.mutex);
            WWindowRecord *record = WLookupSdlWindow(event.windowID);
            if (record && !record->destroying) xWindow = WXWindowOf(record);
        }
        WProbeXWindow(xWindow);
        break;
    }
    default: break;
    }
}

// Announces a display change with the desktop's new depth and size.
static void TranslateDisplayEvent(void)
{
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return;
    uintptr_t bits = (uintptr_t)SDL_BYTESPERPIXEL(mode.format) * 8;
    PostToEventThreadWindows(W_WM_DISPLAYCHANGE, bits, (intptr_t)(mode.w | (mode.h << 16)));
}

// A window gone from the display (0: the display itself) is closed as by its close button.
static void CloseLostWindow(unsigned long xWindow)
{
    if (!xWindow) {
        PostToEventThreadWindows(W_WM_CLOSE, 0, 0);
        return;
    }
    std::lock_guard<std::mutex> hold(gWin.mutex);
    for (WWindowRecord &record : gWin.windows)
        if (record.used && !record.destroying && WXWindowOf(&record) == xWindow) Enqueue(&record, W_WM_CLOSE, 0, 0);
}

static void TranslateSdlEvents(void *)
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (WInputHandleEvent(&event)) continue;
        if (event.type == SDL_WINDOWEVENT) TranslateWindowEvent(event.window);
        else if (event.type == SDL_QUIT) PostToEventThreadWindows(W_WM_CLOSE, 0, 0);
        else if (event.type == SDL_DISPLAYEVENT) TranslateDisplayEvent();
    }
}

// Reads every waiting SDL event and turns it into messages and input state; none once the connection
// broke, as SDL's dispatch of what Xlib still holds would ask the dead display. Event thread only.
static void TranslateEvents(void)
{
    WRunOnDisplay(TranslateSdlEvents, nullptr);
    WTakeDisplayLosses(CloseLostWindow);
    WInputRefreshPads();
}

// A due timer of a window matching the filter becomes a W_WM_TIMER. Caller holds the mutex.
static int TakeDueTimer(WWindowRecord *record, WMessage *message, int remove)
{
    uint32_t now = KGetTime();
    for (WTimer &timer : record->timers) {
        if (!timer.active || (int32_t)(now - timer.due) < 0) continue;
        *message = WMessage{WHandleOf(record), W_WM_TIMER, timer.id, 0, now};
        if (remove) timer.due = now + timer.period;
        return 1;
    }
    return 0;
}

// Takes the quit mark of the calling thread. Caller holds the mutex.
static int TakeQuit(uint32_t me, WMessage *message, int remove)
{
    for (WQuitRecord &quit : gWin.quits) {
        if (quit.thread != me || !quit.pending) continue;
        *message = WMessage{0, W_WM_QUIT, (uintptr_t)quit.code, 0, KGetTime()};
        if (remove) quit = WQuitRecord{};
        return 1;
    }
    return 0;
}

// Next message of the caller's windows: posted messages first, then due timers, then the quit.
int WPeekMessage(WMessage *message, WHandle filter, int remove)
{
    if (!message) return 0;
    uint32_t me = KGetCurrentThreadId();
    if (WIsEventThread()) TranslateEvents();
    std::lock_guard<std::mutex> hold(gWin.mutex);
    for (WWindowRecord &record : gWin.windows) {
        if (!record.used || record.ownerThread != me || record.queueCount == 0) continue;
        if (filter && WHandleOf(&record) != filter) continue;
        *message = record.queue[record.queueHead];
        if (remove) {
            record.queueHead = (record.queueHead + 1) % W_QUEUE_SIZE;
            record.queueCount--;
        }
        return 1;
    }
    for (WWindowRecord &record : gWin.windows) {
        if (!record.used || record.ownerThread != me) continue;
        if (filter && WHandleOf(&record) != filter) continue;
        if (TakeDueTimer(&record, message, remove)) return 1;
    }
    return filter ? 0 : TakeQuit(me, message, remove);
}

// Hands a message to its window's procedure on the owner thread.
intptr_t WDispatchMessage(const WMessage *message)
{
    if (!message) return 0;
    return WSendMessage(message->window, message->message, message->wParam, message->lParam);
}

// Calls the window procedure directly.
intptr_t WSendMessage(WHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || record->ownerThread != KGetCurrentThreadId()) return 0;
    return gWin.classes[record->classSlot].proc(window, message, wParam, lParam);
}

// Default handling: a close request destroys the window.
intptr_t WDefWindowProc(WHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == W_WM_CLOSE) WDestroyWindow(window);
    return 0;
}

// ================================================================================================
// timers
// ================================================================================================

// Starts or restarts a window timer.
int WSetTimer(WHandle window, uintptr_t id, uint32_t milliseconds)
{
    std::lock_guard<std::mutex> hold(gWin.mutex);
    WWindowRecord *record = WLookupWindow(window);
    if (!record) return 0;
    WTimer *slot = nullptr;
    for (WTimer &timer : record->timers) {
        if (timer.active && timer.id == id) { slot = &timer; break; }
        if (!timer.active && !slot) slot = &timer;
    }
    if (!slot) return 0;
    if (milliseconds == 0) milliseconds = 1;
    *slot = WTimer{id, milliseconds, KGetTime() + milliseconds, 1};
    return 1;
}

int WKillTimer(WHandle window, uintptr_t id)
{
    std::lock_guard<std::mutex> hold(gWin.mutex);
    WWindowRecord *record = WLookupWindow(window);
    if (!record) return 0;
    for (WTimer &timer : record->timers) {
        if (timer.active && timer.id == id) { timer = WTimer{}; return 1; }
    }
    return 0;
}
