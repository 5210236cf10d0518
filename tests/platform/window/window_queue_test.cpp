// The window stand-in's queues, procedure, timers and SDL event translation.
#include <SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"
#include "tests/support/stepped_clock.h"
#include "tests/support/test_temp_dir.h"
#include "testsupport/window/window_test.h"

namespace {

struct Seen {
    uint32_t message;
    uintptr_t wParam;
    uint32_t thread;
};
std::vector<Seen> gSeen;
int gQuitOnDestroy;

intptr_t RecordingProc(WHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    gSeen.push_back(Seen{message, wParam, KGetCurrentThreadId()});
    if (message == W_WM_DESTROY && gQuitOnDestroy) WPostQuitMessage(3);
    return WDefWindowProc(window, message, wParam, lParam);
}

// The SDL id of the one window the test made.
uint32_t OnlySdlWindowId()
{
    for (uint32_t id = 1; id < 256; id++) {
        if (SDL_GetWindowFromID(id)) return id;
    }
    return 0;
}

// Pushes a window event of that kind for the test's window. SDL_PushEvent's result.
int PushWindowEvent(uint8_t kind)
{
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = kind;
    event.window.windowID = OnlySdlWindowId();
    return SDL_PushEvent(&event);
}

class WindowQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        gSeen.clear();
        gQuitOnDestroy = 0;
        ASSERT_EQ(WInitSubsystem(), 0);
        ASSERT_EQ(WRegisterClass("TestClass", RecordingProc), 1);
        window = WCreateWindow("TestClass", "test", 64, 48, W_STYLE_HIDDEN);
        ASSERT_NE(window, 0);
    }
    void TearDown() override
    {
        if (WIsWindow(window)) WDestroyWindow(window);
        WUnregisterClass("TestClass");
        WQuitSubsystem();
        RemoveSteppedClock();
    }
    // Dispatches everything waiting; the messages taken.
    std::vector<WMessage> Drain()
    {
        std::vector<WMessage> taken;
        WMessage message;
        while (WPeekMessage(&message, 0, 1)) {
            taken.push_back(message);
            WDispatchMessage(&message);
        }
        return taken;
    }
    int CountSeen(uint32_t message)
    {
        int n = 0;
        for (const Seen &seen : gSeen) n += seen.message == message;
        return n;
    }
    WHandle window = 0;
};

TEST_F(WindowQueue, MessagePostedFromAnotherThreadArrivesOnceOnTheWindowThread)
{
    int peekedElsewhere = -1;
    std::thread poster([&] {
        EXPECT_EQ(WPostMessage(window, W_MM_MCINOTIFY, 7, 9), 1);
        WMessage message;
        peekedElsewhere = WPeekMessage(&message, 0, 1);  // not this thread's window
    });
    poster.join();
    EXPECT_EQ(peekedElsewhere, 0);
    Drain();
    ASSERT_EQ(CountSeen(W_MM_MCINOTIFY), 1);
    for (const Seen &seen : gSeen) {
        if (seen.message == W_MM_MCINOTIFY) {
            EXPECT_EQ(seen.wParam, 7u);
            EXPECT_EQ(seen.thread, KGetCurrentThreadId());
        }
    }
    Drain();
    EXPECT_EQ(CountSeen(W_MM_MCINOTIFY), 1);
}

TEST_F(WindowQueue, DispatchFromAForeignThreadDoesNotRunTheProcedure)
{
    WMessage message{window, W_WM_PAINT, 0, 0, 0};
    std::thread other([&] { EXPECT_EQ(WDispatchMessage(&message), 0); });
    other.join();
    EXPECT_TRUE(gSeen.empty());
}

TEST_F(WindowQueue, CloseEventDestroysTheWindowAndTheQuitComesLast)
{
    gQuitOnDestroy = 1;
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID = OnlySdlWindowId();
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    std::vector<WMessage> taken = Drain();
    ASSERT_GE(taken.size(), 2u);
    EXPECT_EQ(taken.front().message, W_WM_CLOSE);
    EXPECT_EQ(taken.back().message, W_WM_QUIT);
    EXPECT_EQ(taken.back().wParam, 3u);
    EXPECT_EQ(taken.back().window, 0);
    EXPECT_EQ(CountSeen(W_WM_DESTROY), 1);
    EXPECT_FALSE(WIsWindow(window));
    EXPECT_EQ(WPostMessage(window, W_WM_PAINT, 0, 0), 0);  // stale handle
    WMessage message;
    EXPECT_EQ(WPeekMessage(&message, 0, 1), 0);             // the quit is taken once
}

TEST_F(WindowQueue, TimerFiresOncePerPeriodAndRestartsWhenSetAgain)
{
    InstallSteppedClock(1000000);
    ASSERT_EQ(WSetTimer(window, 1, 17), 1);
    Drain();
    EXPECT_EQ(CountSeen(W_WM_TIMER), 0);
    AdvanceSteppedClock(17000);
    Drain();
    EXPECT_EQ(CountSeen(W_WM_TIMER), 1);
    AdvanceSteppedClock(10000);
    ASSERT_EQ(WSetTimer(window, 1, 17), 1);  // re-armed: due 17 ms from now
    AdvanceSteppedClock(10000);
    Drain();
    EXPECT_EQ(CountSeen(W_WM_TIMER), 1);
    AdvanceSteppedClock(7000);
    Drain();
    EXPECT_EQ(CountSeen(W_WM_TIMER), 2);
    EXPECT_EQ(WKillTimer(window, 1), 1);
    AdvanceSteppedClock(100000);
    Drain();
    EXPECT_EQ(CountSeen(W_WM_TIMER), 2);
}

TEST_F(WindowQueue, FullQueueRefusesAndKeepsOrder)
{
    int posted = 0;
    while (WPostMessage(window, W_WM_INPUT_PRIVATE1, (uintptr_t)posted, 0)) posted++;
    EXPECT_GT(posted, 100);
    std::vector<WMessage> taken = Drain();
    ASSERT_EQ((int)taken.size(), posted);
    for (int i = 0; i < posted; i++) EXPECT_EQ(taken[(size_t)i].wParam, (uintptr_t)i);
}

TEST_F(WindowQueue, KeysFollowEventsAndAreClearedWhenTheFocusGoes)
{
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.scancode = SDL_SCANCODE_Z;
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    key.key.keysym.scancode = SDL_SCANCODE_UP;
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    Drain();
    uint8_t state[256];
    WGetKeyboardState(state);
    EXPECT_EQ(state[0x2C], 0x80);
    EXPECT_EQ(state[0xC8], 0x80);
    EXPECT_EQ(state[0x2D], 0);
    ASSERT_EQ(PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST), 1);
    Drain();
    WGetKeyboardState(state);
    EXPECT_EQ(state[0x2C], 0);
    EXPECT_EQ(state[0xC8], 0);
    ASSERT_EQ(CountSeen(W_WM_ACTIVATEAPP), 1);
    EXPECT_EQ(gSeen.back().wParam, 0u);
}

TEST_F(WindowQueue, ActivityFollowsFocusAndMinimisingOncePerChange)
{
    // Sequences of window events and the activations they announce (1 active, 0 inactive).
    struct Case {
        std::vector<uint8_t> events;
        std::vector<uintptr_t> announced;
        int minimised;
    };
    const Case cases[] = {
        {{SDL_WINDOWEVENT_FOCUS_GAINED}, {}, 0},  // active from the start
        {{SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_FOCUS_GAINED}, {0, 1}, 0},
        {{SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_MINIMIZED, SDL_WINDOWEVENT_FOCUS_GAINED}, {0}, 1},
        {{SDL_WINDOWEVENT_MINIMIZED, SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_RESTORED}, {0, 1}, 0},
        {{SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_MINIMIZED, SDL_WINDOWEVENT_MAXIMIZED,
          SDL_WINDOWEVENT_FOCUS_GAINED},
         {0, 1},
         0},
    };
    for (const Case &c : cases) {
        TearDown();
        SetUp();
        for (uint8_t kind : c.events) ASSERT_EQ(PushWindowEvent(kind), 1);
        Drain();
        std::vector<uintptr_t> announced;
        for (const Seen &seen : gSeen)
            if (seen.message == W_WM_ACTIVATEAPP) announced.push_back(seen.wParam);
        EXPECT_EQ(announced, c.announced) << "case with " << c.events.size() << " events";
        EXPECT_EQ(WIsWindowMinimised(window), c.minimised);
    }
}

TEST_F(WindowQueue, PresentsAreKeptPackedAndCountedPerWindow)
{
    // 3 x 2 pixels of 16 bits with a padded pitch of 8 bytes.
    uint16_t pixels[2][4] = {{0x1111, 0x2222, 0x3333, 0xDEAD}, {0x4444, 0x5555, 0x6666, 0xBEEF}};
    ASSERT_EQ(WPresentPixels(window, pixels, 3, 2, 8, 16), 0);
    const void *frame = nullptr;
    int width = 0, height = 0, bits = 0;
    ASSERT_EQ(WTestGetPresentedFrame(window, &frame, &width, &height, &bits), 0);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(bits, 16);
    const uint16_t expected[6] = {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666};
    EXPECT_EQ(memcmp(frame, expected, sizeof expected), 0);
    EXPECT_EQ(WTestGetPresentCount(window), 1u);
    uint32_t wide[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF};
    ASSERT_EQ(WPresentPixels(window, wide, 2, 2, 8, 32), 0);
    ASSERT_EQ(WTestGetPresentedFrame(window, &frame, &width, &height, &bits), 0);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(memcmp(frame, wide, sizeof wide), 0);
    EXPECT_EQ(WPresentPixels(window, wide, 2, 2, 8, 24), -1);
    EXPECT_EQ(WPresentPixels(window, wide, 2, 2, 4, 32), -1);  // pitch shorter than a row
    EXPECT_EQ(WPresentPixels(window, nullptr, 2, 2, 8, 32), -1);
    int foreign = 0;
    std::thread other([&] { foreign = WPresentPixels(window, wide, 2, 2, 8, 32); });
    other.join();
    EXPECT_EQ(foreign, -1);
    EXPECT_EQ(WTestGetPresentCount(window), 2u);
    // a new window in the same place has presented nothing
    WDestroyWindow(window);
    window = WCreateWindow("TestClass", "test", 64, 48, W_STYLE_HIDDEN);
    ASSERT_NE(window, 0);
    EXPECT_EQ(WTestGetPresentedFrame(window, &frame, &width, &height, &bits), -1);
    EXPECT_EQ(WTestGetPresentCount(window), 0u);
}

TEST(WindowDesktop, DesktopDepthIsCountedInBytes)
{
    ASSERT_EQ(WInitSubsystem(), 0);
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
    // The dummy driver's XRGB8888 desktop is "24 bits" to SDL: refusing 24 bits would refuse it.
    EXPECT_EQ(WGetDesktopBytesPerPixel(), (int)SDL_BYTESPERPIXEL(mode.format));
    EXPECT_NE(WGetDesktopBytesPerPixel(), 3);
    EXPECT_EQ(WGetSystemMetrics(W_SM_CXSCREEN), mode.w);
    WQuitSubsystem();
    EXPECT_EQ(WGetDesktopBytesPerPixel(), 0);
}

TEST(WindowMessageBox, AnswersWithoutAskingWhenTheEnvironmentSaysOrNoDisplayCan)
{
    setenv("DAZAR_FULLSCREEN_ANSWER", "yes", 1);
    EXPECT_EQ(WMessageBoxA(0, "q", "t", W_MB_YESNO | W_MB_ICONQUESTION), W_IDYES);
    const uint16_t text[] = {0x30D5, 0x30EB, 0};
    EXPECT_EQ(WMessageBoxW(0, text, text, W_MB_YESNO), W_IDYES);
    setenv("DAZAR_FULLSCREEN_ANSWER", "NO", 1);
    EXPECT_EQ(WMessageBoxW(0, text, text, W_MB_YESNO), W_IDNO);
    EXPECT_EQ(WMessageBoxA(0, "q", "t", W_MB_OK), W_IDOK);
    unsetenv("DAZAR_FULLSCREEN_ANSWER");
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(WMessageBoxA(0, "q", "t", W_MB_YESNO), W_IDNO);  // dummy display: cannot ask
}

TEST(WindowInstanceLock, SecondHolderIsRefusedUntilTheFirstLetsGo)
{
    ASSERT_EQ(EnterFreshTempDir(), 0);
    setenv("XDG_RUNTIME_DIR", GetFreshTempDir(), 1);  // the lock file goes with the test's directory
    char name[64];
    snprintf(name, sizeof name, "lock-test-%d", (int)getpid());
    int first = WAcquireInstanceLock(name);
    ASSERT_GT(first, 0);
    EXPECT_EQ(WAcquireInstanceLock(name), 0);
    WReleaseInstanceLock(first);
    int again = WAcquireInstanceLock(name);
    EXPECT_GT(again, 0);
    WReleaseInstanceLock(again);
    LeaveFreshTempDir();
}

TEST(WindowPads, VirtualJoystickArrivesAndReportsItsButtonsAndLeaves)
{
    ASSERT_EQ(WInitSubsystem(), 0);
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) GTEST_SKIP() << "no joystick subsystem";
    ASSERT_EQ(WRegisterClass("PadClass", RecordingProc), 1);
    WHandle window = WCreateWindow("PadClass", "pad", 32, 32, W_STYLE_HIDDEN);
    WMessage message;
    int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 6, 1);
    ASSERT_GE(device, 0);
    SDL_Joystick *joystick = SDL_JoystickOpen(device);
    ASSERT_NE(joystick, nullptr);
    while (WPeekMessage(&message, 0, 1)) {}
    WPadState state;
    ASSERT_EQ(WGetPadState(0, &state), 1);
    EXPECT_EQ(state.connected, 1);
    EXPECT_EQ(state.buttons, 0u);
    SDL_JoystickSetVirtualButton(joystick, 3, SDL_PRESSED);
    SDL_JoystickSetVirtualAxis(joystick, 1, -32768);
    SDL_JoystickSetVirtualHat(joystick, 0, SDL_HAT_RIGHT);
    while (WPeekMessage(&message, 0, 1)) {}
    ASSERT_EQ(WGetPadState(0, &state), 1);
    EXPECT_EQ(state.buttons, 1u << 3);
    EXPECT_EQ(state.axisY, -32768);
    EXPECT_EQ(state.hat, 2);
    EXPECT_EQ(WGetPadState(4, &state), 0);
    SDL_JoystickClose(joystick);
    SDL_JoystickDetachVirtual(device);
    while (WPeekMessage(&message, 0, 1)) {}
    ASSERT_EQ(WGetPadState(0, &state), 1);
    EXPECT_EQ(state.connected, 0);
    WDestroyWindow(window);
    WUnregisterClass("PadClass");
    WQuitSubsystem();
}

}  // namespace

TEST(WindowSubsystem, EndForgetsClassesWindowsAndQuitsSoTheNextStartBeginsClean)
{
    ASSERT_EQ(WInitSubsystem(), 0);
    ASSERT_EQ(WRegisterClass("LeftOpen", RecordingProc), 1);
    WHandle left = WCreateWindow("LeftOpen", "left", 32, 32, W_STYLE_HIDDEN);
    ASSERT_NE(left, 0);
    WPostQuitMessage(1);
    WQuitSubsystem();  // window, class and quit all still there

    ASSERT_EQ(WInitSubsystem(), 0);
    EXPECT_EQ(WIsWindow(left), 0);
    EXPECT_EQ(WRegisterClass("LeftOpen", RecordingProc), 1);
    WMessage message;
    EXPECT_EQ(WPeekMessage(&message, 0, 1), 0);
    EXPECT_EQ(WUnregisterClass("LeftOpen"), 1);
    WQuitSubsystem();
}
