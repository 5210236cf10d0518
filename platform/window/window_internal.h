// Private state shared by the SDL files of the window stand-in.
#pragma once
#include <SDL.h>

#include <cstdint>
#include <mutex>

#include "platform/window/window.h"

#define W_MAX_WINDOWS 8
#define W_MAX_CLASSES 8
#define W_MAX_TIMERS 8
#define W_QUEUE_SIZE 1024
#define W_MAX_QUIT_THREADS 16
#define W_CLASS_NAME_SIZE 64

struct WTimer {
    uintptr_t id;         // caller's timer id
    uint32_t period;      // milliseconds
    uint32_t due;         // KGetTime of the next tick
    int active;
};

struct WWindowRecord {
    int used;
    int destroying;               // inside WDestroyWindow
    uint32_t generation;          // bumped on every reuse, part of the handle
    SDL_Window *sdl;
    uint32_t sdlId;               // SDL window id, to route events
    int classSlot;
    uint32_t ownerThread;         // KGetCurrentThreadId of the creator
    WMessage queue[W_QUEUE_SIZE]; // ring, guarded by the state mutex
    int queueHead, queueCount;
    WTimer timers[W_MAX_TIMERS];  // owner thread only
    // activity (event thread only): active while focused and not minimised
    int unfocused;                // 1 after a focus loss, until the focus comes back
    int minimised;                // 1 between a minimise and a restore
    // presentation (owner thread only)
    SDL_Renderer *renderer;
    SDL_Texture *texture;
    int textureWidth, textureHeight, textureBits;
    void *glContext;              // a device's context on this window (not owned), or null
    void (*glGone)(void *context); // told before the window closes
};

struct WClassRecord {
    int used;
    char name[W_CLASS_NAME_SIZE];
    WWindowProc proc;
};

struct WQuitRecord {
    uint32_t thread;   // 0 = free
    int pending;
    int code;
};

struct WState {
    // Guards queues, quit records, the window table's used flags. Never held over an X request: the
    // X error callback takes it.
    std::mutex mutex;
    int initCount;                // WInitSubsystem calls not yet matched
    uint32_t eventThread;         // thread that reads SDL events
    int padsAvailable;            // joystick subsystem started
    WClassRecord classes[W_MAX_CLASSES];
    WWindowRecord windows[W_MAX_WINDOWS];
    WQuitRecord quits[W_MAX_QUIT_THREADS];
};

extern WState gWin;

// Record of a live handle, or null.
WWindowRecord *WLookupWindow(WHandle window);
// Record of a live SDL window id, or null.
WWindowRecord *WLookupSdlWindow(uint32_t sdlId);
WHandle WHandleOf(const WWindowRecord *record);

// Translation of device events (input_sdl.cpp). 1 when the event was a device event.
int WInputHandleEvent(const SDL_Event *event);
void WInputClearKeys(void);
// Snapshots the pads after a pass of events.
void WInputRefreshPads(void);
void WInputClosePads(void);
// SDL scancode of a DirectInput key number, or SDL_SCANCODE_UNKNOWN.
SDL_Scancode WScancodeOfDik(int dik);

// Before SDL's video starts: a connection that breaks no longer ends the process, from its first
// request on (display_loss_x11.cpp).
void WCatchDisplayBreak(void);
// Under the "x11" driver, once SDL's video has started: a window destroyed from outside no longer
// ends the process either (Xlib's error callback becomes ours, SDL's the one before).
void WCatchDisplayErrors(void);
// Watches the window's display: its socket, and Xlib's exit after a break (none).
void WWatchDisplay(const WWindowRecord *record);
// The window's X window now under the "x11" driver, else 0.
unsigned long WXWindowOf(const WWindowRecord *record);
// Asks the display whether an X window of ours still exists (an unmapped window may have been
// destroyed from outside, and nothing else would ask while it is not drawn). Waits for the answer,
// so a window found gone is known as lost on return.
void WProbeXWindow(unsigned long xWindow);
// Notes an X window the stand-in destroys: requests on it that fail later are no news.
void WForgetXWindow(unsigned long xWindow);
// 1 when the window's X window was destroyed from outside or the connection broke: SDL must not
// be asked to destroy it (it would wait for its unmapping for ever).
int WIsXWindowLost(const WWindowRecord *record);
// WIsDisplayBroken, or, before the first window (whose connection's socket is not known yet), the
// server gone.
int WIsDisplayGone(void);
// Waits until the display has answered every request sent, so their failures reach the error
// callback while it is in place (SDL's video end puts Xlib's own back first).
void WSyncDisplay(void);
// Forgets the display once SDL's video has ended; while it runs on, what was lost stays known.
void WUnwatchDisplay(void);
// Calls close once for each X window found gone since the last call, and with 0 once the connection
// broke. Event thread.
void WTakeDisplayLosses(void (*close)(unsigned long xWindow));
// 1 on SDL's "offscreen" driver, which shows nothing: frames are presented without OpenGL.
int WIsHeadlessVideo(void);
// 1 on SDL's "x11" driver.
int WIsX11Video(void);
// Releases the presentation objects of a window (present_sdl.cpp): its frame copy, and the renderer
// unless the connection broke; a device's context on it hears that the window goes.
void WPresentRelease(WWindowRecord *record);
// A present, as the record hook gets it: the pixels of WPresentPixels (valid during the call), or
// null for a buffer swap, whose picture stays in the window's framebuffer.
struct WPresentRecord {
    WHandle window;
    const void *pixels;
    int width, height, pitch, bitsPerPixel;
};
