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
    // presentation (owner thread only)
    SDL_Renderer *renderer;
    SDL_Texture *texture;
    int textureWidth, textureHeight, textureBits;
    uint8_t *frame;               // last presented pixels, packed
    int frameWidth, frameHeight, frameBits;
    uint64_t presentCount;
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
    std::mutex mutex;             // guards queues, quit records, the window table's used flags
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

// Releases the presentation objects of a window (present_sdl.cpp).
void WPresentRelease(WWindowRecord *record);
// Keeps a packed copy of a frame as the window's last presented one. 0 / -1 (no memory).
int WKeepFrame(WWindowRecord *record, const uint8_t *pixels, int width, int height, int pitch, int bits);
