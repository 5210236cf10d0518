// The library's process-wide system and window state, and its getters and setters.
// Written by the library start and end (lib/core/library.cpp) and by the window procedure
// (lib/core/pump.cpp); everything else reads it through the functions below.
#pragma once
#include <atomic>
#include <cstdint>

#include "lib/core/helpers.h"
#include "platform/kernel/kernel.h"

#define SYSTEM_TITLE_SIZE 256
#define SYSTEM_CLASS_NAME_SIZE 64
#define SYSTEM_DEFAULT_CLASS_NAME "D123987X"
#define SYSTEM_DEFAULT_TITLE "DaZar"
#define SYSTEM_SCREEN_WIDTH 640   // client area before a scale
#define SYSTEM_SCREEN_HEIGHT 480

enum LibraryState : int {
    LIBRARY_STOPPED = 0,  // never started, or a start failed
    LIBRARY_STARTING,     // inside RunLibraryInit
    LIBRARY_RUNNING,
    LIBRARY_ENDING,       // inside RunLibraryEnd
    LIBRARY_ENDED,
};

struct SystemRecord {
    // OS and processor facts
    intptr_t instance;                     // stands for the instance handle: the process id
    int mmxAvailable;                      // from LogSystemInfo
    // window
    intptr_t window;                       // main window handle; 0 before it exists and after it is gone
    uint32_t windowThread;                 // thread that made the window: it pumps and dispatches
    int windowed;                          // 1 window mode, 0 full screen (default)
    int windowScale = 1;                   // client area = 640 x 480 times this
    int instanceLock;                      // single-instance lock id, 0 when none is held
    int cursorHidden;                      // 1 when the start hid the cursor
    // activity and end
    std::atomic<int> state;                // LibraryState
    std::atomic<int> active{1};            // 1 while the application has the focus
    std::atomic<int> endRequest;           // set by a destroyed window, a quit or a refused start; sticky
    int runWhileInactive;                  // 1: the pump does not wait while inactive
    // start-up flags and texts
    int skipSoundStart;                    // 1: the library start leaves the sound module alone
    int titleSet;                          // 1 once a title was given (it also names the class)
    char title[SYSTEM_TITLE_SIZE] = SYSTEM_DEFAULT_TITLE;  // Shift-JIS
    char className[SYSTEM_CLASS_NAME_SIZE] = SYSTEM_DEFAULT_CLASS_NAME;
    char startDirectory[K_MAX_PATH];       // current directory at start; restored at end
    // drawing
    int backgroundRed, backgroundGreen, backgroundBlue;  // 0..255; draw targets are cleared to it
};

extern SystemRecord gSystem;

// 1 = window mode, 0 = full screen. Before InitLibrary only records the choice; afterwards also
// switches the window. 0.
int ChangeWindowMode(int flag);
// 1 in window mode, 0 in full screen.
int GetWindowedFlag(void);
// The main window's handle, 0 before it exists (and after it is gone).
intptr_t GetMainWindowHandle(void);
// The end-request flag: 1 once the window was destroyed, a quit arrived or a start was refused.
int GetEndRequest(void);
// 1 while the application has the focus.
int GetActiveFlag(void);
// The window's client area in screen coordinates (the whole 640 x 480 area before the window exists). 0.
int GetDrawAreaRect(Rect *rect);
// Sets the title (Shift-JIS, truncated to 255 bytes); a title also becomes the class name (truncated to
// 63 bytes). Before InitLibrary. 0.
int SetMainWindowTitle(const char *title);
// 1: the message pump goes on while the application is inactive. 0.
int SetRunWhileInactive(int flag);
// 1: the library start does not start the sound module. Before InitLibrary. 0.
int SetSkipSoundStart(int flag);
// Background colour, 0..255 each (clamped). 0.
int SetBackgroundColor(int red, int green, int blue);
int GetBackgroundColor(int *red, int *green, int *blue);
// The directory that was current when the library started ("" before).
const char *GetStartDirectory(void);
// The LibraryState.
int GetLibraryState(void);
