// The message pump and the main window procedure.
#include "lib/core/library.h"

#include "lib/core/lock.h"
#include "lib/core/system.h"
#include "lib/d3d/d3d_hooks.h"
#include "lib/graphics/graphics_start.h"
#include "lib/movie/movie_hooks.h"
#include "lib/network/network_hooks.h"
#include "lib/sound/sound_hooks.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

#define PUMP_BATCH 5  // messages between two checks of the end request and the activity

// ================================================================================================
// pump
// ================================================================================================

// 1 when the calling thread owns the main window and may read its queue.
static int OnWindowThread(void)
{
    return gSystem.windowThread != 0 && gSystem.windowThread == KGetCurrentThreadId();
}

// 1 while the pump has to stop and report the end.
static int EndPending(void)
{
    int state = gSystem.state;
    return gSystem.endRequest || (state != LIBRARY_RUNNING && state != LIBRARY_STARTING);
}

// A thread that does not own the window only learns the end state, and waits while the application
// is inactive; it touches no queue, no SDL and no hook (they belong to the main thread).
static int PumpFromOtherThread(void)
{
    for (;;) {
        if (EndPending()) return -1;
        if (gSystem.active || gSystem.runWhileInactive) return 0;
        KSleep(1);
    }
}

// Dispatches the waiting messages; after every five, stops when the end is requested or the
// application went inactive (the caller then waits and comes back).
static void DispatchWaitingMessages(void)
{
    WMessage message;
    int count = 0;
    while (WPeekMessage(&message, 0, 1)) {
        if (message.message == W_WM_QUIT) {
            gSystem.endRequest = 1;
            return;
        }
        WDispatchMessage(&message);
        if (++count % PUMP_BATCH == 0 && (gSystem.endRequest || !gSystem.active)) return;
    }
}

static const PumpHookTable kModuleHooks = {
    PumpNetWorkMessages, StepAllHttpHandles, RefillAllStreamSounds, PollDirectMusicSegments, RefreshMovieOverlays,
};
static PumpHookTable sHooks = kModuleHooks;

int SetPumpHookTable(const PumpHookTable *table)
{
    sHooks = kModuleHooks;
    if (!table) return 0;
    if (table->pumpNetWork) sHooks.pumpNetWork = table->pumpNetWork;
    if (table->stepHttp) sHooks.stepHttp = table->stepHttp;
    if (table->refillStreams) sHooks.refillStreams = table->refillStreams;
    if (table->pollMusic) sHooks.pollMusic = table->pollMusic;
    if (table->refreshOverlays) sHooks.refreshOverlays = table->refreshOverlays;
    return 0;
}

// The hooks every pass runs: sockets, HTTP transfers, streamed sounds, music.
static void ServicePumpHooks(void)
{
    sHooks.pumpNetWork(1);
    sHooks.stepHttp();
    sHooks.refillStreams();
    sHooks.pollMusic();
}

int RunMessagePump(void)
{
    if (EndPending()) return -1;
    if (!OnWindowThread()) return PumpFromOtherThread();
    for (;;) {
        DispatchWaitingMessages();
        ServicePumpHooks();
        if (EndPending()) return -1;
        if (gSystem.active || gSystem.runWhileInactive) return 0;
        // Inactive: stay here, keep the hooks and the window alive until the focus comes back.
        KSleep(1);
        sHooks.refreshOverlays();
    }
}

int PumpMessages(void)
{
    // Checked before the lock: after EndLibrary nothing it guards may be touched.
    if (EndPending()) return -1;
    if (!OnWindowThread()) return PumpFromOtherThread();
    if (EnterLibraryLock() != 0) return -1;
    int result = RunMessagePump();
    LeaveLibraryLock();
    return result;
}

// ================================================================================================
// window procedure
// ================================================================================================

// The application lost the focus.
static void OnDeactivate(void)
{
    gSystem.active = 0;
    if (!gSystem.windowed && IsDirectDrawInUse()) G_D3D_ReleaseDirect3D();
    if (!gSystem.runWhileInactive) PauseAllMoviesForSystem();
}

// The application has the focus again: surfaces, textures, the display, then the movies.
static void OnActivate(void)
{
    gSystem.active = 1;
    TestAndRestoreSurfaces();
    G_D3D_RestoreAllTextures();
    if (!gSystem.windowed && !WIsWindowMinimised(gSystem.window)) RestoreDisplay();
    int resume = gSystem.windowed ? !gSystem.runWhileInactive : gSystem.state == LIBRARY_RUNNING;
    if (resume) ResumeSystemPausedMovies();
}

// A display change in window mode; a 24-bit desktop is not accepted.
static void OnDisplayChange(uintptr_t bitsPerPixel)
{
    if (!gSystem.windowed || bitsPerPixel == 24) return;
    ReleaseAllMovieStreams();
    ReadScreenColorFormat();
    RestoreDisplay();
    ResumeSystemPausedMovies();
}

// The window is going: the application is to end.
static void OnDestroy(intptr_t window)
{
    if (window == gSystem.window) gSystem.window = 0;
    gSystem.endRequest = 1;
    WPostQuitMessage(0);
}

intptr_t HandleWindowMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case W_MM_MCINOTIFY: HandleMciNotify(); return 0;
    case W_WM_SOCKET: return HandleSocketEvent((uint32_t)lParam, wParam);
    case W_WM_ACTIVATEAPP:
        if (wParam) OnActivate();
        else OnDeactivate();
        return 0;
    case W_WM_DISPLAYCHANGE: OnDisplayChange(wParam); return 0;
    case W_WM_TIMER:
        // Re-armed on every tick, so a slow frame never queues a burst of ticks.
        if (wParam == LIBRARY_WINDOW_TIMER_ID) WSetTimer(window, LIBRARY_WINDOW_TIMER_ID, LIBRARY_WINDOW_TIMER_MS);
        RefreshWindowFromBackBuffer();
        return 0;
    case W_WM_PAINT: RefreshWindowFromBackBuffer(); return 0;
    case W_WM_DESTROY: OnDestroy(window); return 0;
    case W_WM_INPUT_PRIVATE1:
    case W_WM_INPUT_PRIVATE2: return 0;
    default: return WDefWindowProc(window, message, wParam, lParam);
    }
}
