// Time of a full 640 x 480 frame like the game's: 195 floor tiles, 150 keyed sprites, the HUD band and
// 40 characters of edged text; with the darkness and its four lit discs; and with the present to the
// window. Each runs in software rendering mode, on the DirectDraw route (Direct3D off) and on the
// Direct3D route, one after the other, named by route. Then the restore in full screen with the
// game's sprite sheets, on the DirectDraw and the Direct3D routes: the time from the focus coming
// back to the first complete frame shown. The Direct3D route needs OpenGL (SDL_VIDEODRIVER=offscreen,
// or a display); without it its benchmarks report an error instead of figures. On a real X server
// with a window manager the window's own focus is waited for before the restores.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "game/assets.h"
#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/font/font.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/screen.h"
#include "testsupport/d3d/d3d_test.h"
#include "testsupport/window/window_test.h"
#include "tools/demo/demo_scene.h"

// The 3-D device's counts per frame of the benchmark just run, less what `apart` holds (reported as
// the text's), or all of them (device_frame.cpp).
void ReportDeviceCounters(benchmark::State &state, const D3dCounters *apart = nullptr);

static int sFrames[DEMO_FRAME_COUNT];  // the demo sheet's frames

// What the device did while the frames' text was drawn (text is drawn on the CPU, through a lock).
static D3dCounters sText;

// Adds the device's counts since `before` to sText.
static void CountText(const D3dCounters &before)
{
    D3dCounters after;
    D3dTestGetCounters(&after);
    sText.readbacks += after.readbacks - before.readbacks;
    sText.uploads += after.uploads - before.uploads;
    sText.fullUploads += after.fullUploads - before.fullUploads;
}

// The field, the sprites, the HUD band and its text.
static void DrawGameLikeFrame(int dark)
{
    EraseDrawTarget();
    for (int i = 0; i < 195; i++) PutGraph(80 + (i % 15) * 32, 80 + (i / 15) * 32, sFrames[0], 1);
    for (int i = 0; i < 150; i++) PutGraph(80 + (i * 37) % 448, 80 + (i * 53) % 384, sFrames[4 + i % 36], 1);
    PaintRectangle(0, 0, 640, 90, PackScreenColor(0, 0, 0), 1);
    if (dark) {
        SelectBlendMode(MEMIMG_BLEND_MULTIPLY_ALPHA, 255);
        PaintRectangle(0, 90, 640, 480, PackScreenColor(35, 35, 35), 1);
        SelectBlendMode(MEMIMG_BLEND_ADD, 128);
        for (int i = 0; i < 4; i++) PaintCircle(150 + i * 110, 250 + (i % 2) * 100, 96, PackScreenColor(255, 255, 255), 1);
        SelectBlendMode(MEMIMG_BLEND_COPY, 0);
    }
    uint32_t white = PackScreenColor(255, 255, 255);
    D3dCounters before;
    D3dTestGetCounters(&before);
    DrawTextDefaultFont(10, 10, "１ー３ ハイスコア　123450", white, 0);          // 20 characters
    DrawTextDefaultFont(10, 40, "残り時間　200　到達度　7 OK", white, 0);        // 20 characters
    CountText(before);
}

static int StartLibrary(std::string *dir, int fullScreen);
static void EndLibraryRun(const std::string &dir);

// The library runs on one route and in one mode at a time; a benchmark of another restarts it.
static struct {
    std::string route;
    int fullScreen;
    std::string dir;
} sRun;

// On the Direct3D route the device must really draw, or the figures would be software rendering's.
static bool CheckDevice(benchmark::State &state)
{
    if (sRun.route != "d3d" || IsDirect3DDrawUsable()) return true;
    state.SkipWithError("the Direct3D device did not start (no OpenGL: run with SDL_VIDEODRIVER=offscreen)");
    return false;
}

static bool EnsureRoute(benchmark::State &state, const char *route, int fullScreen = 0)
{
    if (sRun.route == route && sRun.fullScreen == fullScreen) return CheckDevice(state);
    if (!sRun.route.empty()) EndLibraryRun(sRun.dir);
    sRun.route.clear();
    setenv("DAZAR_RENDER_ROUTE", route, 1);
    if (StartLibrary(&sRun.dir, fullScreen) != 0) {
        state.SkipWithError("the library did not start");
        return false;
    }
    sRun.route = route;
    sRun.fullScreen = fullScreen;
    return CheckDevice(state);
}

// Frames on a route, with the darkness and its discs when dark, presented when present; on the
// Direct3D route each frame waits for the device to finish it (so the time is the whole frame's, not
// only the CPU's), and the device's own counts per frame are reported, the text's apart.
static void Frames(benchmark::State &state, const char *route, int dark, int present)
{
    if (!EnsureRoute(state, route)) return;
    int device = sRun.route == "d3d";
    D3dTestResetCounters();
    sText = D3dCounters{};
    for (auto _ : state) {
        DrawGameLikeFrame(dark);
        if (present) PresentFrame();
        if (device) D3dTestFinish();
    }
    if (device) ReportDeviceCounters(state, &sText);
}

static void Frame(benchmark::State &state, const char *route) { Frames(state, route, 0, 0); }
static void FrameDark(benchmark::State &state, const char *route) { Frames(state, route, 1, 0); }
static void FramePresent(benchmark::State &state, const char *route) { Frames(state, route, 0, 1); }

// ---- restore ------------------------------------------------------------------------------------------
static double NowSeconds(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

// When the focus came back: the inactive pump's first turn gives it back and notes the time.
static double sFocusBack;
static int GiveFocusBack(void)
{
    if (sFocusBack > 0) return 0;
    WTestPushWindowEvent((WHandle)GetMainWindowHandle(), W_TEST_FOCUS_GAINED);
    sFocusBack = NowSeconds();
    return 0;
}

// A window manager focuses the new window a while after it shows: its event, waited for here (5 s at
// most), would otherwise land among the focus changes pushed and undo the first.
static void AwaitDisplayFocus(void)
{
    WHandle window = (WHandle)GetMainWindowHandle();
    for (int waited = 0; waited < 5000 && !WTestHasDisplayFocus(window); waited++) {
        PumpMessages();
        usleep(1000);
    }
    PumpMessages();
}

// Takes the focus away and has the pump's inactive wait give it back; before gets the device's counts
// at the start of the try that came back. 1 when it came back that way. On a real display an event of
// the window manager's own may land between the two and end the wait early: the focus then goes
// again (three tries at most).
static int LoseAndRegainFocus(D3dCounters *before)
{
    for (int tries = 0; tries < 3; tries++) {
        D3dTestGetCounters(before);
        sFocusBack = 0;
        WTestPushWindowEvent((WHandle)GetMainWindowHandle(), W_TEST_FOCUS_LOST);
        if (PumpMessages() != 0) return 0;
        if (sFocusBack > 0) return 1;
    }
    return 0;
}

// A frame of the game's field and sprites from every sheet, with the HUD and its text.
static void DrawSheetsFrame(void)
{
    EraseDrawTarget();
    for (int i = 0; i < 195; i++) PutGraph(80 + (i % 15) * 32, 80 + (i / 15) * 32, gFloorSheet[i % 4], 1);
    for (int i = 0; i < 40; i++) PutGraph(80 + (i * 37) % 448, 80 + (i * 53) % 384, gBlockSheet[i % 50], 1);
    for (int i = 0; i < 40; i++) PutGraph(80 + (i * 41) % 448, 80 + (i * 29) % 384, gEnemySheet[i * 59], 1);
    for (int i = 0; i < 8; i++) {
        PutGraph(90 + i * 50, 300, gPlayerSheet[i * 10], 1);
        PutGraph(90 + i * 50, 340, gItemSheet[i * 5], 1);
        PutGraph(90 + i * 50, 380, gBombSheet[i * 5], 1);
        PutGraph(90 + i * 50, 420, gShotSheet[i * 5], 1);
    }
    PaintRectangle(0, 0, 640, 90, PackScreenColor(0, 0, 0), 1);
    DrawTextDefaultFont(10, 10, "１ー３ ハイスコア　123450", PackScreenColor(255, 255, 255), 0);
    DrawTextDefaultFont(10, 40, "残り時間　200　到達度　7 OK", PackScreenColor(255, 255, 255), 0);
    PresentFrame();
}

// In full screen the focus goes and comes back; the time from its return until the first complete
// frame is shown (on the Direct3D route, drawn by the device). "restore ms" is the part until the
// display is rebuilt, the cleared screens presented and every graph's picture back.
static void Restore(benchmark::State &state, const char *route)
{
    if (!EnsureRoute(state, route, 1)) return;
    int device = sRun.route == "d3d";
    PumpHookTable hooks = {};
    hooks.refreshOverlays = GiveFocusBack;
    SetPumpHookTable(&hooks);
    AwaitDisplayFocus();
    double restored = 0;
    D3dCounters uploads = {};
    for (auto _ : state) {
        DrawSheetsFrame();
        if (device) D3dTestFinish();
        D3dCounters before, after;
        if (!LoseAndRegainFocus(&before)) {
            state.SkipWithError("the focus did not come back");
            break;
        }
        restored += NowSeconds() - sFocusBack;
        DrawSheetsFrame();
        if (device) D3dTestFinish();
        state.SetIterationTime(NowSeconds() - sFocusBack);
        D3dTestGetCounters(&after);
        uploads.uploads += after.uploads - before.uploads;
        uploads.fullUploads += after.fullUploads - before.fullUploads;
        uploads.programsBuilt += after.programsBuilt - before.programsBuilt;
    }
    SetPumpHookTable(nullptr);
    state.counters["restore ms"] = benchmark::Counter(restored * 1000, benchmark::Counter::kAvgIterations);
    if (!device) return;
    // What the device took again: the textures the frame shows, whole; no program is built again.
    state.counters["uploads"] = benchmark::Counter((double)uploads.uploads, benchmark::Counter::kAvgIterations);
    state.counters["full uploads"] = benchmark::Counter((double)uploads.fullUploads, benchmark::Counter::kAvgIterations);
    state.counters["programs built"] = benchmark::Counter((double)uploads.programsBuilt, benchmark::Counter::kAvgIterations);
}

// ---- the library's run --------------------------------------------------------------------------------
static int StartLibraryHere(int fullScreen);

// Starts the library in a fresh directory with the game's screen mode and font (in full screen with
// the game's sprite sheets as well); a start that fails leaves nothing behind. 0 / -1.
static int StartLibrary(std::string *dir, int fullScreen)
{
    char path[] = "/tmp/dazar_bench_frame_XXXXXX";
    if (!mkdtemp(path)) return -1;
    if (chdir(path) != 0) return rmdir(path), -1;
    *dir = path;
    if (symlink(DAZAR_BENCH_ASSET_DIR "/png", "png") != 0 || StartLibraryHere(fullScreen) != 0) {
        EndLibraryRun(*dir);
        return -1;
    }
    return 0;
}

// The library's start in the current directory. 0 / -1.
static int StartLibraryHere(int fullScreen)
{
    ChangeWindowMode(fullScreen ? 0 : 1);
    if (InitLibrary() != 0) return -1;
    SelectScreenMode(640, 480, 16, 60);
    SelectDrawTarget(SCREEN_BACK);
    ChangeDefaultFontType(FONT_TYPE_EDGE);
    if (fullScreen && LoadGameImages() != 0) return -1;
    if (WriteDemoSheet("sheet.png") != 0) return -1;
    return LoadDividedGraphs("sheet.png", DEMO_FRAME_COUNT, DEMO_SHEET_ACROSS, DEMO_SHEET_DOWN, DEMO_FRAME_SIZE,
                             DEMO_FRAME_SIZE, sFrames, 0);
}

// Ends the library and removes what StartLibrary made.
static void EndLibraryRun(const std::string &dir)
{
    RemoveAllGraphs(0);
    EndLibrary();
    remove("sheet.png");
    remove("png");
    remove("Log.txt");
    if (chdir("/") == 0) rmdir(dir.c_str());
}

int main(int argc, char **argv)
{
    // A benchmark runs beside the game: it takes no part in the one-instance check.
    setenv("DAZAR_SINGLE_INSTANCE", "0", 1);
    benchmark::Initialize(&argc, argv);
    // Software rendering mode first, then the DirectDraw and the Direct3D routes: one restart between.
    for (const char *route : {"software", "ddraw", "d3d"}) {
        std::string suffix = std::string("/") + route;
        benchmark::RegisterBenchmark(("Frame/plain" + suffix).c_str(), Frame, route)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Frame/dark" + suffix).c_str(), FrameDark, route)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Frame/plain+present" + suffix).c_str(), FramePresent, route)
            ->Unit(benchmark::kMicrosecond);
    }
    for (const char *route : {"ddraw", "d3d"})
        benchmark::RegisterBenchmark((std::string("Restore/") + route).c_str(), Restore, route)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    if (!sRun.route.empty()) EndLibraryRun(sRun.dir);
    benchmark::Shutdown();
    return 0;
}
