// Library start and end in their fixed orders, the main window's life and the fatal-error exit.
#include "lib/core/library.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "lib/core/cpu.h"
#include "lib/core/lock.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/core/random.h"
#include "lib/core/system.h"
#include "lib/graphics/graphics_start.h"
#include "lib/input/input.h"
#include "lib/movie/movie_hooks.h"
#include "lib/network/network_hooks.h"
#include "lib/sound/sound_hooks.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

// What the start has brought up, so that an end (or a failed start) ends exactly that.
enum : unsigned {
    STARTED_LOG = 1u << 0,
    STARTED_PLATFORM = 1u << 1,
    STARTED_WINDOW = 1u << 2,
    STARTED_INPUT = 1u << 3,
    STARTED_SOUND = 1u << 4,
    STARTED_GRAPHICS = 1u << 5,
};

static unsigned sStarted;  // STARTED_ bits; written under the library lock
static int sInstanceUnchecked;  // 1: the double-start check could not be made (no lock file)
// The window the start made. gSystem.window is cleared by any W_WM_DESTROY the procedure sees, a posted
// one too, while the window may still be open: the end closes this one whatever that pointer says.
static WHandle sCreatedWindow;

// ================================================================================================
// main window
// ================================================================================================

// The double-start check: a lock file keyed by the class name. DAZAR_SINGLE_INSTANCE=0 turns it off.
// Made before the log is opened, which empties it: a refused copy leaves the running copy's log whole.
// 0, or -1 when another instance runs (the end request is set).
static int CheckSingleInstance(void)
{
    sInstanceUnchecked = 0;
    const char *setting = getenv("DAZAR_SINGLE_INSTANCE");
    if (setting && strcmp(setting, "0") == 0) return 0;
    int lock = WAcquireInstanceLock(gSystem.className);
    if (lock > 0) {
        gSystem.instanceLock = lock;
        return 0;
    }
    if (lock < 0) {
        sInstanceUnchecked = 1;  // no lock file: run without the check, said in the log later
        return 0;
    }
    gSystem.endRequest = 1;
    // Said on stderr: a player who started it from a terminal sees why nothing opens.
    KWriteErrorText("既に起動しています、二重起動は出来ません\n");
    return WriteLog("既に起動しています、二重起動は出来ません\n");
}

// Class, window and its 17 ms timer. 0 / -1. No timer resolution to raise: the kernel clock
// already ticks in milliseconds.
static int StartMainWindow(void)
{
    if (sInstanceUnchecked) WriteLog("二重起動の確認が出来ませんでした\n");
    if (!WRegisterClass(gSystem.className, HandleWindowMessage)) {
        return WriteLog("ウインドウクラスの登録に失敗しました\n");
    }
    int width = SYSTEM_SCREEN_WIDTH * gSystem.windowScale;
    int height = SYSTEM_SCREEN_HEIGHT * gSystem.windowScale;
    uint32_t style = gSystem.windowed ? 0u : (uint32_t)W_STYLE_FULLSCREEN;
    WHandle window = WCreateWindow(gSystem.className, gSystem.title, width, height, style);
    if (!window) {
        WUnregisterClass(gSystem.className);
        return WriteLogFormat("ウインドウの作成に失敗しました %s", WGetErrorText());
    }
    gSystem.window = window;
    sCreatedWindow = window;
    gSystem.windowThread = KGetCurrentThreadId();
    WSetTimer(window, LIBRARY_WINDOW_TIMER_ID, LIBRARY_WINDOW_TIMER_MS);
    gSystem.cursorHidden = !gSystem.windowed;
    if (gSystem.cursorHidden) WShowCursor(0);
    WDisableScreenSaver(1);
    WriteLogFormat("ウインドウを作成しました %d x %d %s", width, height,
                   gSystem.windowed ? "ウインドウモード" : "フルスクリーンモード");
    return 0;
}

// Timer, window, class. A handle of a window already gone fails harmlessly.
static void EndMainWindow(void)
{
    WKillTimer(sCreatedWindow, LIBRARY_WINDOW_TIMER_ID);
    WDestroyWindow(sCreatedWindow);
    sCreatedWindow = 0;
    gSystem.window = 0;
    WUnregisterClass(gSystem.className);
    if (gSystem.cursorHidden) WShowCursor(1);
    gSystem.cursorHidden = 0;
    WDisableScreenSaver(0);
}

// ================================================================================================
// start
// ================================================================================================

// Fresh flags for a new life of the library.
static void ResetSystemForStart(void)
{
    gSystem.endRequest = 0;
    gSystem.active = 1;
    gSystem.window = 0;
    gSystem.windowThread = 0;
    gSystem.instance = (intptr_t)getpid();
    sStarted = 0;
}

// Start directory, double start and log. The log failing is no reason to stop: texts then go to the
// debugger output. 0, or -1 for a refused double start.
static int StartLogAndDirectory(void)
{
    if (KGetCurrentDirectory(sizeof gSystem.startDirectory, gSystem.startDirectory) == 0) {
        gSystem.startDirectory[0] = 0;
    }
    if (CheckSingleInstance() != 0) return -1;
    if (OpenLogFile(gSystem.startDirectory) == 0) sStarted |= STARTED_LOG;
    WriteLog("DaZar Ver2.25b\n");
    WriteLog("ライブラリの初期化を開始します\n");
    return 0;
}

// The window system, the desktop depth check and the machine facts. 0 / -1.
static int StartPlatform(void)
{
    if (WInitSubsystem() != 0) return WriteLogFormat("ウインドウシステムの初期化に失敗しました %s", WGetErrorText());
    sStarted |= STARTED_PLATFORM;
    // SDL names an XRGB8888 desktop 24 bits: only the byte count tells a true 24-bit desktop apart.
    if (WGetDesktopBytesPerPixel() == 3) return WriteLog("２４ビットカラーのデスクトップには対応していません\n");
    int64_t counter = 0;
    KQueryPerformanceCounter(&counter);
    LogSystemInfo();
    gSystem.mmxAvailable = GetMmxAvailable();
    SeedRandom((uint32_t)counter ^ (uint32_t)(counter >> 32));
    return 0;
}

int RunLibraryInit(void)
{
    ResetSystemForStart();
    gSystem.state = LIBRARY_STARTING;
    QuerySoftwareRenderingSetting();
    BuildYuvToRgbTables();
    // Archives are not built: the disk file table the file layer starts with is the one in use.
    if (StartLogAndDirectory() != 0 || StartPlatform() != 0 || StartMainWindow() != 0) return RunLibraryEnd(), -1;
    sStarted |= STARTED_WINDOW;
    InitInput();
    sStarted |= STARTED_INPUT;
    if (!gSystem.skipSoundStart) {
        StartupSoundSystem();  // a failed sound start leaves the library running without sound
        sStarted |= STARTED_SOUND;
    }
    if (StartGraphicsSystem() != 0) return RunLibraryEnd(), -1;
    sStarted |= STARTED_GRAPHICS;
    ClearBothScreens();
    gSystem.state = LIBRARY_RUNNING;
    WriteLog("ライブラリの初期化が完了しました\n");
    return 0;
}

// The process is ending by exit() from anywhere: threads waiting in the pump for the focus learn the
// end and leave it, so whoever joins them at the exit does not wait for ever.
static void RequestEndAtExit(void)
{
    gSystem.endRequest = 1;
}

int InitLibrary(void)
{
    // Registered once, after the statics that join threads at the exit: it runs before them.
    static int exitHookSet;
    if (!exitHookSet) exitHookSet = atexit(RequestEndAtExit) == 0;
    if (EnterLibraryLock() != 0) return -1;
    int result = 0;
    if (gSystem.state != LIBRARY_RUNNING && gSystem.state != LIBRARY_STARTING) result = RunLibraryInit();
    LeaveLibraryLock();
    return result;
}

// ================================================================================================
// end
// ================================================================================================

int RunLibraryEnd(void)
{
    gSystem.state = LIBRARY_ENDING;
    WriteLog("ライブラリの終了処理を開始します\n");
    DeleteAllHttpHandles();
    ShutDownNetWork();
    if (sStarted & STARTED_SOUND) StopCurrentMusic();
    if (sStarted & STARTED_GRAPHICS) EndGraphicsSystem();
    if (sStarted & STARTED_INPUT) EndInput();
    if (sStarted & STARTED_SOUND) ShutdownSoundSystem();
    if (sStarted & (STARTED_WINDOW | STARTED_PLATFORM)) EndMainWindow();
    if (sStarted & STARTED_PLATFORM) WQuitSubsystem();
    if (gSystem.startDirectory[0]) KSetCurrentDirectory(gSystem.startDirectory);
    WriteLog("ライブラリの終了処理が完了しました\n");
    DumpTrackedMemory();
    if (sStarted & STARTED_LOG) CloseLogFile();
    // The instance lock last: a copy that starts once it is free empties the log, and every line of
    // ours must be in it by then.
    WReleaseInstanceLock(gSystem.instanceLock);
    gSystem.instanceLock = 0;
    sStarted = 0;
    // Late callers (the game's clock thread) must see the end and nothing of what is gone.
    gSystem.endRequest = 1;
    gSystem.state = LIBRARY_ENDED;
    return 0;
}

int EndLibrary(void)
{
    if (EnterLibraryLock() != 0) return 0;
    if (gSystem.state == LIBRARY_RUNNING) RunLibraryEnd();
    LeaveLibraryLock();
    return 0;
}

void ExitWithError(const char *text)
{
    WriteLog(text ? text : "");
    WriteLog("\n");
    EnterLibraryLock();
    int state = gSystem.state;
    if (state == LIBRARY_RUNNING || state == LIBRARY_STARTING) RunLibraryEnd();
    KExitProcess(-1);
}
