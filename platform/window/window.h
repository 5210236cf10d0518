// Stand-in for the user-interface calls the library makes: window class and window, a message queue
// per window with a window procedure, window timers, message boxes, desktop facts, keyboard and pad
// state, and the presentation of a software screen. Backed by SDL2; names carry the W prefix.
//
// Threads: the thread that calls WInitSubsystem is the event thread; SDL events are read and translated
// into window messages only there, inside WPeekMessage. A window belongs to the thread that created it:
// only that thread peeks, dispatches and presents. WPostMessage works from any thread.
#pragma once
#include <cstdint>

typedef intptr_t WHandle;  // window handle; 0 = none

// ---- messages -----------------------------------------------------------------------------------
enum : uint32_t {
    W_WM_DESTROY = 0x0002,
    W_WM_PAINT = 0x000F,
    W_WM_CLOSE = 0x0010,
    W_WM_QUIT = 0x0012,
    W_WM_ACTIVATEAPP = 0x001C,   // wParam 1 = becomes active, 0 = inactive
    W_WM_DISPLAYCHANGE = 0x007E, // wParam bits per pixel, lParam width | height << 16
    W_WM_TIMER = 0x0113,         // wParam timer id
    W_MM_MCINOTIFY = 0x03B9,     // wParam notify code, lParam device id
    W_WM_INPUT_PRIVATE1 = 0x046F,
    W_WM_INPUT_PRIVATE2 = 0x0470,
    W_WM_SOCKET = 0x0505,        // wParam socket, lParam event word
};

struct WMessage {
    WHandle window;    // 0 for W_WM_QUIT
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t time;     // KGetTime when posted
};

typedef intptr_t (*WWindowProc)(WHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

struct WRect {
    int left, top, right, bottom;
};

// ---- subsystem ----------------------------------------------------------------------------------
// Starts video, events and pads (pads failing is no error) and makes the caller the event thread.
// 0 / -1 (video cannot start). Counted: every successful call needs one WQuitSubsystem.
int WInitSubsystem(void);
// Closes pads and video when the last user quits. Windows still open are destroyed first; classes
// and pending quits are forgotten, so a new start begins clean.
void WQuitSubsystem(void);
// 1 when the calling thread is the event thread.
int WIsEventThread(void);
// Why the last failing call failed, in ASCII/UTF-8 words of the back end ("" when unknown).
const char *WGetErrorText(void);

// ---- classes and windows ------------------------------------------------------------------------
// Registers a class name (at most 63 bytes) with its window procedure. 1 / 0 (full, or already there).
int WRegisterClass(const char *className, WWindowProc proc);
int WUnregisterClass(const char *className);  // 1 / 0 (unknown, or a window of it still exists)

enum : uint32_t { W_STYLE_FULLSCREEN = 1, W_STYLE_HIDDEN = 2 };
// Creates a window of a registered class with a client area of width x height (title Shift-JIS).
// The calling thread owns it. The handle, or 0 on failure.
WHandle WCreateWindow(const char *className, const char *title, int width, int height, uint32_t style);
// Sends W_WM_DESTROY to the procedure, then closes the window; its queued messages are dropped.
// Only on the owner thread. 1 / 0 (stale handle, other thread).
int WDestroyWindow(WHandle window);
int WIsWindow(WHandle window);                                 // 1 while the window exists
int WSetWindowTitle(WHandle window, const char *title);        // Shift-JIS; 1 / 0
int WSetWindowFullScreen(WHandle window, int fullScreen);      // 1 / 0
int WIsWindowMinimised(WHandle window);                        // 1 / 0
// Client area in client coordinates (0, 0, w, h) / its top-left in screen coordinates. 1 / 0.
int WGetClientRect(WHandle window, WRect *rect);
int WClientToScreen(WHandle window, int *x, int *y);

// ---- message queue ------------------------------------------------------------------------------
// Appends a message to the window's queue; any thread. 1 / 0 (no such window, queue full).
int WPostMessage(WHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Drops the queued messages of a window with this message number and wParam. The count dropped.
int WPurgeMessages(WHandle window, uint32_t message, uintptr_t wParam);
// Marks a W_WM_QUIT for the calling thread; it is returned after that thread's queued messages.
void WPostQuitMessage(int exitCode);
// Takes (remove = 1) or looks at the next message of the calling thread's windows (filter 0) or of
// one window. On the event thread, waiting SDL events are translated first, and due timers fire.
// 1 when a message was there, 0 when none (always 0 for windows of another thread).
int WPeekMessage(WMessage *message, WHandle filter, int remove);
// Calls the window procedure with the message; its result (0 when the window is gone or foreign).
intptr_t WDispatchMessage(const WMessage *message);
// Calls the procedure directly on the owner thread (W_WM_CLOSE from the library, tests). Its result.
intptr_t WSendMessage(WHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// The default handling: W_WM_CLOSE destroys the window; everything else gives 0.
intptr_t WDefWindowProc(WHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// ---- timers -------------------------------------------------------------------------------------
// Starts or restarts (same id) a timer that posts W_WM_TIMER every milliseconds, at most one
// pending at a time; delivered from WPeekMessage on the owner thread. 1 / 0 (table full).
int WSetTimer(WHandle window, uintptr_t id, uint32_t milliseconds);
int WKillTimer(WHandle window, uintptr_t id);  // 1 / 0

// ---- message boxes ------------------------------------------------------------------------------
enum : uint32_t { W_MB_OK = 0x00, W_MB_YESNO = 0x04, W_MB_ICONQUESTION = 0x20 };
enum : int { W_IDOK = 1, W_IDYES = 6, W_IDNO = 7 };
// Shows a modal box (Shift-JIS / UTF-16 texts) and returns the button. Answers without asking when
// DAZAR_FULLSCREEN_ANSWER is "yes" or "no", or when no display can show a box (then: No, or OK).
int WMessageBoxA(WHandle owner, const char *text, const char *caption, uint32_t type);
int WMessageBoxW(WHandle owner, const uint16_t *text, const uint16_t *caption, uint32_t type);

// ---- desktop ------------------------------------------------------------------------------------
// Bytes per pixel of the desktop (4 for XRGB8888 although SDL calls that 24 bits); 0 when unknown.
int WGetDesktopBytesPerPixel(void);
enum : int { W_SM_CXSCREEN = 0, W_SM_CYSCREEN = 1 };
int WGetSystemMetrics(int index);          // desktop width / height; 0 when unknown
WHandle WGetDesktopWindow(void);           // a constant handle that is never a real window
int WShowCursor(int show);                 // 1 shown / 0 hidden afterwards
void WDisableScreenSaver(int disable);

// 1 once the display has lost a window of ours or its connection (destroyed or killed from outside,
// under X): no window is made or ended on it any more, as SDL would wait on it for ever; the
// process end takes what is left.
int WIsDisplayLost(void);
// 1 once the connection to the display broke (the client killed, the server gone; seen on its socket
// before Xlib notices): Xlib then fails every request without an answer, so no SDL or OpenGL call that
// reaches the display may be made, on any thread.
int WIsDisplayBroken(void);
// Runs work, whose SDL or OpenGL calls reach the display: not at all once the connection broke, and
// left at once when it breaks inside (what work called would go on with the answers that never came).
// Nothing is freed or unlocked on the way out: work holds no lock of ours over a call that reaches the
// display. Calls inside another run as part of it. 0 / -1 (the connection broke).
int WRunOnDisplay(void (*work)(void *data), void *data);

// ---- single instance ----------------------------------------------------------------------------
// Takes the per-user lock file keyed by name (dropped by the system when the process ends).
// The lock id (> 0), 0 when another holder has it (another process, or another id), -1 on error.
int WAcquireInstanceLock(const char *name);
void WReleaseInstanceLock(int lock);

// ---- keyboard and pads --------------------------------------------------------------------------
// Key state in DirectInput key numbering (1 = Escape, 0xC8 = Up, ...): 0x80 when down, else 0.
// Updated on the event thread from the events it translates; cleared when the focus is lost.
// Readable from any thread.
void WGetKeyboardState(uint8_t state[256]);

#define W_MAX_PADS 4
#define W_PAD_AXIS_MAX 32767
struct WPadState {
    int connected;     // 1 when a device is in this slot
    int axisX, axisY;  // -32768..32767; +x right, +y down
    int hat;           // bits: 1 up, 2 right, 4 down, 8 left
    uint32_t buttons;  // bit i = button i + 1
};
// State of pad slot 0..3 (slots are filled in order of arrival, freed on removal). 1 / 0 (bad slot).
// Game controllers: A, B, X, Y, left shoulder, right shoulder, back, start, left stick, right stick,
// guide are buttons 1-11, the d-pad is the hat, the left stick the axes.
int WGetPadState(int slot, WPadState *state);

// ---- presenting a software screen ---------------------------------------------------------------
// Shows a block of pixels in the window, scaled to the client area with its aspect kept.
// bitsPerPixel 16 = R5G6B5, 32 = X8R8G8B8; pitch in bytes, at least a row. Owner thread only. 0 / -1.
int WPresentPixels(WHandle window, const void *pixels, int width, int height, int pitch, int bitsPerPixel);

// ---- presenting through OpenGL --------------------------------------------------------------------
// Windows are made with OpenGL where the video driver has it, so a 3-D device can draw into the
// window itself: its picture is then shown by one buffer swap, with no pixels through memory.
// Starts SDL video and loads the OpenGL driver, once for the process: loading and unloading it with
// each window or device costs time and loses the driver's own start-up allocations. 0 / -1 (no
// OpenGL with this video driver).
int WLoadGlDriver(void);
// A new OpenGL context on the window, current on the calling thread (owner thread only); null when the
// window has no OpenGL. windowGone (may be null) is called with the context just before the window
// closes, while the context can still be made current elsewhere. The caller deletes the context,
// after WForgetGlContext (which any window holding it lets go of).
void *WCreateGlContext(WHandle window, void (*windowGone)(void *context));
void WForgetGlContext(void *context);
// Makes a context current on the window. 0 / -1 (no such window, or the driver refused).
int WMakeGlCurrent(WHandle window, void *context);
// The window's drawable size in pixels. 0 / -1.
int WGetGlDrawableSize(WHandle window, int *width, int *height);
// Shows what was drawn into the window's framebuffer: one buffer swap, counted as a present. 0 / -1.
int WSwapGlWindow(WHandle window);
