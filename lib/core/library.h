// Library start and end, the message pump, the main window procedure and the fatal-error exit.
#pragma once
#include <cstdint>

// Starts the library under the library lock. 0 on success, also when it is already started; -1 when it
// cannot start (what had started is ended again; a refused second instance also sets the end request).
int InitLibrary(void);
// Ends the library in its fixed order under the library lock. 0 (also when it was not running).
int EndLibrary(void);
// The start sequence itself (the caller holds the lock). 0 / -1.
int RunLibraryInit(void);
// The end sequence itself (the caller holds the lock); ends only what was started. 0.
int RunLibraryEnd(void);
// Writes text and "\n" to the log, runs the ordered end and ends the process with -1.
[[noreturn]] void ExitWithError(const char *text);

// One pump step under the library lock. 0 = go on, -1 = the application is to end (window gone, quit,
// refused start, library not running). On a thread other than the window's it only reports the end
// state and waits while the application is inactive, without the lock and without touching SDL.
int PumpMessages(void);
// The pump itself: dispatches every waiting message in batches of five (checking the end request and
// the activity after each batch), services the network, HTTP, stream and music hooks, and while the
// application is inactive keeps doing so with 1 ms sleeps instead of returning. 0 / -1 as above.
// The sound module calls it directly while it waits.
int RunMessagePump(void);
// The main window procedure.
intptr_t HandleWindowMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The hooks every pump pass runs, in this order, and the one of each turn of the inactive wait. They
// are the network, sound and movie modules' functions; tests put spies in their place.
struct PumpHookTable {
    int (*pumpNetWork)(int flag);        // PumpNetWorkMessages
    int (*stepHttp)(void);               // StepAllHttpHandles
    int (*refillStreams)(void);          // RefillAllStreamSounds
    int (*pollMusic)(void);              // PollDirectMusicSegments
    int (*refreshOverlays)(void);        // RefreshMovieOverlays (inactive wait only)
};
// Replaces the hooks (copied; null entries keep the module's function); null restores them all. 0.
int SetPumpHookTable(const PumpHookTable *table);

// The id of the main window's 17 ms timer.
#define LIBRARY_WINDOW_TIMER_ID 1
#define LIBRARY_WINDOW_TIMER_MS 17
