// The game's run with its display upset in the stage: in full screen the focus lost and regained
// (also through a minimise and restore), in a window a display change. After every restore the
// frames presented on the Direct3D route match the same run's on the DirectDraw route, within the
// route's tolerance; a re-acquisition of Direct3D that fails still clears and presents, the run goes
// on, and the next focus change brings the field back. Needs OpenGL (SDL's "offscreen" driver).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/frame_loop.h"
#include "game/menus.h"
#include "game/records.h"
#include "game/services.h"
#include "game/stage_hooks.h"
#include "game/startup.h"
#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/graphics/screen.h"
#include "lib/input/input.h"
#include "testsupport/test_hooks.h"
#include "testsupport/window/window_test.h"
#include "tests/game/program_run_support.h"
#include "tests/support/screen_readback.h"

namespace {

#define RUN_SEED 4u
#define HUD_TIME_ROWS 32       // the top text line shows the stage time, counted on the clock thread
#define FRAMES_AFTER 6         // frames compared after each upset

enum Upset { FOCUS, MINIMISE, DISPLAY_CHANGE, FAILED_REACQUIRE };

struct RestoreCase {
    const char *name;
    int fullScreen;
    Upset upsets[2];           // at stage frames kUpsetFrames
};
const int kUpsetFrames[2] = {12, 30};

using Frame = std::vector<uint16_t>;  // 640 x 480, R5G6B5

struct RestoreRun {
    const RestoreCase *test;
    int d3d;
    std::deque<int> menuKeys = {KEY_INPUT_Z, KEY_INPUT_DOWN, KEY_INPUT_Z};
    int heldMenuKey = -1;
    int stageFrames = 0;
    int pending = -1;                  // upset whose regain waits for the inactive pump
    bool escapePushed = false;
    std::map<int, Frame> frames;       // stage frame -> what it presented
    Frame restorePresented[2];         // the restore's own present, before the next frame's drawing
    uint64_t presentsAtUpset[2] = {};
    uint64_t presentsBeforeNext[2] = {};
    int tolerance = 0;
    int onDevice = 0;
};
RestoreRun *g_run;

void RunSleep(uint32_t milliseconds)
{
    RestoreRun &r = *g_run;
    if (milliseconds == MENU_FRAME_SLEEP_MS) {
        if (r.heldMenuKey >= 0) {
            WTestPushKey(r.heldMenuKey, 0);
            r.heldMenuKey = -1;
        } else if (!r.menuKeys.empty()) {
            r.heldMenuKey = r.menuKeys.front();
            r.menuKeys.pop_front();
            WTestPushKey(r.heldMenuKey, 1);
        }
    }
    KSleep(milliseconds);
}

// The first turn of the inactive pump: the focus comes back (after the restore from a minimise).
int RegainOnInactiveTurn(void)
{
    RestoreRun &r = *g_run;
    if (r.pending < 0) return 0;
    WHandle window = GetMainWindowHandle();
    // A minimised window becomes active only once restored, whichever comes first.
    WTestPushWindowEvent(window, W_TEST_FOCUS_GAINED);
    if (r.test->upsets[r.pending] == MINIMISE) WTestPushWindowEvent(window, W_TEST_RESTORED);
    r.pending = -1;
    return 0;
}

void StartUpset(int i)
{
    RestoreRun &r = *g_run;
    WHandle window = GetMainWindowHandle();
    r.presentsAtUpset[i] = WTestGetPresentCount(window);
    Upset upset = r.test->upsets[i];
    if (upset == DISPLAY_CHANGE) {
        WTestPushWindowEvent(window, W_TEST_DISPLAY_CHANGED);
        return;
    }
    // The DirectDraw route has no Direct3D object to ask for again.
    if (upset == FAILED_REACQUIRE && r.d3d) DdTestFailNth(DD_M_QUERY_INTERFACE, 1, DD_ERR_NO_INTERFACE);
    WTestPushWindowEvent(window, W_TEST_FOCUS_LOST);
    if (upset == MINIMISE) WTestPushWindowEvent(window, W_TEST_MINIMISED);
    r.pending = i;
}

int RunStageDraw(void)
{
    RestoreRun &r = *g_run;
    int frame = ++r.stageFrames;
    for (int i = 0; i < 2; i++) {
        if (frame != kUpsetFrames[i] + 1) continue;
        r.presentsBeforeNext[i] = WTestGetPresentCount(GetMainWindowHandle());
        r.restorePresented[i] = CapturePresented565();
    }
    int result = DrawGameFrame();
    if (r.escapePushed) return result;
    if (frame == 1) r.onDevice = IsDirect3DDrawUsable(), r.tolerance = RouteFieldTolerance();
    for (int i = 0; i < 2; i++) {
        if (frame == kUpsetFrames[i]) StartUpset(i);
        if (frame > kUpsetFrames[i] && frame <= kUpsetFrames[i] + FRAMES_AFTER) r.frames[frame] = CapturePresented565();
    }
    if (frame == kUpsetFrames[1] + FRAMES_AFTER) {
        WTestPushKey(KEY_INPUT_ESCAPE, 1);
        r.escapePushed = true;
    }
    return result;
}

// Pixels below the time line more than tolerance steps apart in a 5/6-bit field.
int CountDiffering(const Frame &a, const Frame &b, int tolerance)
{
    if (a.size() != 640u * 480u || b.size() != a.size()) return -1;
    int differing = 0;
    for (size_t i = (size_t)640 * HUD_TIME_ROWS; i < a.size(); i++) {
        int fields[3][2] = {{a[i] >> 11, b[i] >> 11}, {(a[i] >> 5) & 63, (b[i] >> 5) & 63}, {a[i] & 31, b[i] & 31}};
        for (auto &f : fields)
            if (std::abs(f[0] - f[1]) > tolerance) {
                differing++;
                break;
            }
    }
    return differing;
}

bool AllBlack(const Frame &frame)
{
    return !frame.empty() && std::all_of(frame.begin(), frame.end(), [](uint16_t p) { return p == 0; });
}

void PrintTo(const RestoreCase &c, std::ostream *out) { *out << c.name; }

const RestoreCase kCases[] = {
    {"FullScreenFocusThenMinimise", 1, {FOCUS, MINIMISE}},
    {"WindowDisplayChanges", 0, {DISPLAY_CHANGE, DISPLAY_CHANGE}},
    {"FailedReacquireThenFocus", 1, {FAILED_REACQUIRE, FOCUS}},
};

class RestoreRunTest : public ::testing::TestWithParam<RestoreCase> {
protected:
    void SetUp() override
    {
        if (!IsDirect3DRouteExpected()) GTEST_SKIP() << "needs the Direct3D route on OpenGL";
        const char *route = std::getenv("DAZAR_RENDER_ROUTE");
        savedRoute = route ? route : "";
    }
    void TearDown() override { setenv("DAZAR_RENDER_ROUTE", savedRoute.c_str(), 1); }

    // One whole run of the case on a route.
    void Run(RestoreRun &run, const char *route)
    {
        setenv("DAZAR_RENDER_ROUTE", route, 1);
        run.test = &GetParam();
        run.d3d = strcmp(route, "d3d") == 0;
        ASSERT_TRUE(EnterProgramRunDir());
        g_run = &run;
        InstallSeededRun(RunSleep, RunStageDraw, RUN_SEED);
        PumpHookTable pump = {};
        pump.refreshOverlays = RegainOnInactiveTurn;
        SetPumpHookTable(&pump);
        ChangeWindowMode(run.test->fullScreen ? 0 : 1);  // a window run before leaves its setting
        char name[] = "dazar", full[] = "--fullscreen", windowed[] = "--windowed";
        char *argv[] = {name, run.test->fullScreen ? full : windowed};
        EXPECT_EQ(WinMain(2, argv), 0) << route;
        log = ReadTestFile("Log.txt");
        SetPumpHookTable(nullptr);
        SetStageHooks(nullptr);
        SetGameServices(nullptr);
        DdTestResetFaults();
        g_run = nullptr;
        LeaveProgramRunDir();
        ASSERT_EQ(run.stageFrames, kUpsetFrames[1] + FRAMES_AFTER + 1) << route << ": the run did not reach its end";
    }
    std::string savedRoute, log;
};

}  // namespace

TEST_P(RestoreRunTest, FramesAfterEachRestoreMatchTheDirectDrawRoute)
{
    RestoreRun ddraw, d3d;
    Run(ddraw, "ddraw");
    Run(d3d, "d3d");
    ASSERT_TRUE(d3d.onDevice) << "the Direct3D device did not start";
    bool failedFirst = GetParam().upsets[0] == FAILED_REACQUIRE;
    for (int i = 0; i < 2; i++) {
        // The restore cleared both screens and presented them before the next frame was drawn.
        EXPECT_EQ(d3d.presentsBeforeNext[i], d3d.presentsAtUpset[i] + 1) << "upset " << i;
        EXPECT_TRUE(AllBlack(d3d.restorePresented[i])) << "upset " << i;
        if (i == 0 && failedFirst) continue;
        for (int frame = kUpsetFrames[i] + 1; frame <= kUpsetFrames[i] + FRAMES_AFTER; frame++)
            EXPECT_EQ(CountDiffering(d3d.frames[frame], ddraw.frames[frame], d3d.tolerance), 0)
                << "stage frame " << frame << ", " << FRAMES_AFTER << " frames after upset " << i;
    }
    if (!failedFirst) return;
    // Without a device the frames go on, drawn in software: the field is missing, the text is there.
    EXPECT_NE(log.find("Direct3Dオブジェクトの作成に失敗しました"), std::string::npos);
    EXPECT_EQ(log.find("画面の復元に失敗しました"), std::string::npos);
    const Frame &withoutDevice = d3d.frames[kUpsetFrames[0] + FRAMES_AFTER];
    EXPECT_GT(CountDiffering(withoutDevice, ddraw.frames[kUpsetFrames[0] + FRAMES_AFTER], d3d.tolerance), 0);
    EXPECT_FALSE(AllBlack(withoutDevice));
}

INSTANTIATE_TEST_SUITE_P(Upsets, RestoreRunTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RestoreCase> &info) { return info.param.name; });
