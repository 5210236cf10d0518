// The game's window lost from outside under a real X server (Xvfb with a small window manager, where
// they are installed): destroyed, its client killed, or closed through the manager, in full screen
// and in a window, on the Direct3D and the DirectDraw route. Each run must end by itself with exit 0
// (under the sanitizers: no leak), its log closed by the end lines. Then the stand-in's own window lost
// in the test's process: what a context on it hears, and the library started again after the loss.
#include <gtest/gtest.h>
// After the test framework: Xlib's macros (None, Bool) would rename its types.
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "platform/window/window_internal.h"
#include "tests/support/test_temp_dir.h"

// The game program, given by the build where it builds the game.
#ifndef DAZAR_GAME_PROGRAM
#define DAZAR_GAME_PROGRAM ""
#endif

namespace {

#define LOSS_WAIT_MS 60000  // the longest any step may take: a sanitized start on a busy machine

// Starts a program with extra environment entries, its output to a file; it dies with the test. Its
// pid, or -1.
pid_t Spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env, const char *output,
            int keepFd = -1)
{
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    int out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(out, 2);
    for (int fd = 3; fd < 1024; fd++)
        if (fd != keepFd) close(fd);
    for (const std::string &entry : env) putenv(const_cast<char *>(entry.c_str()));
    std::vector<char *> args;
    for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// Waits up to ms for the process to end. Its wait status, or -1 when it did not end in time.
int WaitForExit(pid_t pid, int ms)
{
    pollfd p{(int)syscall(SYS_pidfd_open, pid, 0), POLLIN, 0};
    int status = 0, ended = p.fd >= 0 && poll(&p, 1, ms) == 1;
    close(p.fd);
    return ended && waitpid(pid, &status, 0) == pid ? status : -1;
}

void Stop(pid_t *pid)
{
    if (*pid <= 0) return;
    kill(*pid, SIGKILL);
    waitpid(*pid, nullptr, 0);
    *pid = 0;
}

// Waits up to ms for the next X event. 1 when one is there.
int NextXEvent(Display *display, XEvent *event, int ms)
{
    if (!XPending(display)) {
        pollfd p{ConnectionNumber(display), POLLIN, 0};
        if (poll(&p, 1, ms) <= 0 || !XPending(display)) return 0;
    }
    XNextEvent(display, event);
    return 1;
}

// The WINDOW-list or CARDINAL property of a window, as numbers.
std::vector<unsigned long> ReadNumbers(Display *display, Window window, const char *name, Atom type)
{
    Atom got;
    int format;
    unsigned long count = 0, after;
    unsigned char *data = nullptr;
    std::vector<unsigned long> numbers;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False, type, &got,
                           &format, &count, &after, &data) == Success && data && format == 32) {
        numbers.assign((unsigned long *)data, (unsigned long *)data + count);
    }
    if (data) XFree(data);
    return numbers;
}

// The X server and its window manager, shared by the cases of the program.
struct XDesk {
    pid_t server, manager;
    Display *display;
    std::string name;    // ":N"
    std::string missing; // why no desk could be had
} gDesk;

// Starts Xvfb (it picks a free display and names it on a pipe) and the manager, whose check window on
// the root says it has taken over.
std::string StartDesk(void)
{
    if (system("command -v Xvfb >/dev/null && command -v evilwm >/dev/null") != 0)
        return "Xvfb or evilwm is not installed";
    int named[2];
    if (pipe(named) != 0) return "no pipe";
    gDesk.server = Spawn({"Xvfb", "-displayfd", std::to_string(named[1]), "-nolisten", "tcp", "-screen", "0",
                          "1024x768x24"},
                         {}, "/dev/null", named[1]);
    close(named[1]);
    std::string number;
    pollfd p{named[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, LOSS_WAIT_MS) > 0 && read(named[0], &c, 1) == 1 && c != '\n') number += c;
    close(named[0]);
    if (number.empty()) return "Xvfb did not start";
    gDesk.name = ":" + number;
    gDesk.display = XOpenDisplay(gDesk.name.c_str());
    if (!gDesk.display) return "the display " + gDesk.name + " cannot be opened";
    Window root = DefaultRootWindow(gDesk.display);
    XSelectInput(gDesk.display, root, PropertyChangeMask);
    gDesk.manager = Spawn({"evilwm", "-fn", "fixed"}, {"DISPLAY=" + gDesk.name}, "/dev/null");
    XEvent event;
    while (ReadNumbers(gDesk.display, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty()) {
        if (!NextXEvent(gDesk.display, &event, LOSS_WAIT_MS)) return "the window manager did not start";
    }
    return "";
}

void StopDesk(void)
{
    if (gDesk.display) XCloseDisplay(gDesk.display);
    gDesk.display = nullptr;
    Stop(&gDesk.manager);
    Stop(&gDesk.server);
}

// The game's managed window (its _NET_WM_PID is the game's), waited for through the manager's client
// list. 0 when it does not come or the game ends first.
Window AwaitGameWindow(pid_t game)
{
    Window root = DefaultRootWindow(gDesk.display);
    for (;;) {
        for (unsigned long client : ReadNumbers(gDesk.display, root, "_NET_CLIENT_LIST", XA_WINDOW)) {
            std::vector<unsigned long> pid = ReadNumbers(gDesk.display, client, "_NET_WM_PID", XA_CARDINAL);
            if (!pid.empty() && (pid_t)pid[0] == game) return client;
        }
        XEvent event;
        if (kill(game, 0) != 0 || !NextXEvent(gDesk.display, &event, LOSS_WAIT_MS)) return 0;
    }
}

enum Loss { DESTROYED, KILLED, CLOSED };

void LoseWindow(Window window, Loss loss)
{
    Display *d = gDesk.display;
    if (loss == DESTROYED) XDestroyWindow(d, window);
    if (loss == KILLED) XKillClient(d, window);
    if (loss == CLOSED) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(d, "_NET_CLOSE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[1] = 2;  // asked by a pager or a script
        XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    }
    XSync(d, False);
}

// How the game draws: its route (DAZAR_RENDER_ROUTE) and OpenGL through EGL (1) or GLX (0, SDL's own
// choice on X). The Direct3D route, which draws with OpenGL itself, goes through EGL as well.
struct Route { const char *name, *route; int egl; };
void PrintTo(const Route &route, std::ostream *out) { *out << route.name; }
const Route kRoutes[] = {{"Direct3D", "d3d", 0}, {"DirectDraw", "ddraw", 0}, {"Direct3DOnEgl", "d3d", 1}};
const char *const kLossNames[] = {"Destroyed", "Killed", "Closed"};

// The loss, full screen (1) or windowed, and the route.
using LossCase = std::tuple<Loss, int, Route>;

// The desk, shared by the cases of a suite.
template <class Param> class OnXDesk : public ::testing::TestWithParam<Param> {
protected:
    static void SetUpTestSuite() { gDesk.missing = StartDesk(); }
    static void TearDownTestSuite() { StopDesk(); }
    void SetUp() override
    {
        if (!gDesk.missing.empty()) GTEST_SKIP() << "no X server for the window-loss runs: " << gDesk.missing;
    }
    void TearDown() override
    {
        Stop(&game);
        if (GetFreshTempDir()[0]) LeaveFreshTempDir();
    }
    pid_t game = 0;
};

using DisplayLoss = OnXDesk<LossCase>;

TEST_P(DisplayLoss, TheGameEndsByItselfWithItsLogClosedAndNothingLeaked)
{
    if (!*DAZAR_GAME_PROGRAM) GTEST_SKIP() << "the game program is not built";
    const auto [loss, fullScreen, route] = GetParam();
    ASSERT_EQ(EnterFreshTempDir(), 0);
    std::string dir = GetFreshTempDir();
    const char *assets = getenv("DAZAR_ASSET_DIR");
    ASSERT_TRUE(assets);
    for (const char *sub : {"png", "wav", "voice", "mid"})
        ASSERT_EQ(symlink((std::string(assets) + "/" + sub).c_str(), sub), 0);
    ASSERT_EQ(mkdir("tmp", 0700), 0);
    // The menu's music goes to a temporary file just before its first frame is shown: once it is
    // there, a frame will have been presented before the loss is seen.
    int notify = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(notify, (dir + "/tmp").c_str(), IN_CREATE), 0);
    std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    game = Spawn({DAZAR_GAME_PROGRAM, fullScreen ? "--fullscreen" : "--windowed"},
                 {"DISPLAY=" + gDesk.name, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "TMPDIR=" + dir + "/tmp",
                  std::string("DAZAR_RENDER_ROUTE=") + route.route, "DAZAR_SINGLE_INSTANCE=0",
                  std::string("SDL_VIDEO_X11_FORCE_EGL=") + (route.egl ? "1" : "0"),
                  // No session bus here: libdbus's failed search for one keeps a block (upstream).
                  "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent", "ASAN_OPTIONS=" + asan + ":detect_leaks=1"},
                 "out.txt");
    ASSERT_GT(game, 0);
    Window window = AwaitGameWindow(game);
    ASSERT_NE(window, 0u) << ReadTestFile("out.txt");
    pollfd p{notify, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, LOSS_WAIT_MS), 1) << "no menu frame";
    close(notify);

    LoseWindow(window, loss);
    int status = WaitForExit(game, LOSS_WAIT_MS);
    ASSERT_NE(status, -1) << "the game did not end";
    game = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n"
                                                               << ReadTestFile("out.txt");
    std::string log = ReadTestFile("Log.txt");
    size_t ended = log.find("ライブラリの終了処理が完了しました\r\n");
    ASSERT_NE(ended, std::string::npos) << "the log has no end";
    EXPECT_NE(log.find("解放されていないメモリはありません\r\n", ended), std::string::npos);
}

std::string CaseName(const ::testing::TestParamInfo<LossCase> &info)
{
    const auto [loss, fullScreen, route] = info.param;
    return std::string(kLossNames[loss]) + (fullScreen ? "FullScreen" : "Windowed") + route.name;
}

INSTANTIATE_TEST_SUITE_P(UnderX, DisplayLoss,
                         ::testing::Combine(::testing::Values(DESTROYED, KILLED, CLOSED), ::testing::Values(0, 1),
                                            ::testing::ValuesIn(kRoutes)),
                         CaseName);

// ---- the stand-in's own window lost on the desk, each case in a process of its own: SDL's video,
// once started on a driver, stays with the process

int gGoneHeard;    // what a context on the lost window was told of its window's end
int gOtherErrors;  // X errors of other kinds that reached the handler before ours

void HearGone(void *) { gGoneHeard++; }

int CountOtherError(Display *, XErrorEvent *) { return gOtherErrors++, 0; }

// A hidden window of the stand-in on the desk, its subsystem started for it. 0 when it cannot be had.
WHandle OpenOnDesk(void)
{
    if (WInitSubsystem() != 0) return 0;
    WRegisterClass("LostClass", WDefWindowProc);
    return WCreateWindow("LostClass", "lost", 64, 48, W_STYLE_HIDDEN);
}

void CloseOnDesk(WHandle window)
{
    WDestroyWindow(window);
    WUnregisterClass("LostClass");
    WQuitSubsystem();
}

// A context on a window lost from the desk's own connection hears once that it closes; after the end
// the library starts again in the same process, on the display SDL kept, with the loss still known and
// X errors of other kinds still reaching the handler before ours. Why it failed, or null.
const char *ContextHearsAndANewStartGoesOn(Loss loss)
{
    setenv("DISPLAY", gDesk.name.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    XSetErrorHandler(CountOtherError);  // in place of Xlib's own, which ends the process
    WHandle window = OpenOnDesk();
    if (!window || !WCreateGlContext(window, HearGone)) return "no window with OpenGL";
    unsigned long x = WXWindowOf(WLookupWindow(window));
    LoseWindow(x, loss);
    WProbeXWindow(x);  // the stand-in hears of it by asking
    if (!WIsDisplayLost()) return "the loss was not seen";
    CloseOnDesk(window);
    if (gGoneHeard != 1) return "the context was not told once";
    if (!WIsDisplayLost()) return "the loss was forgotten at the end";
    window = OpenOnDesk();
    if (loss == DESTROYED) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!window || !SDL_GetWindowWMInfo(WLookupWindow(window)->sdl, &info)) return "no window after the new start";
        XGetAtomName(info.info.x11.display, (Atom)0x7FFFFFF);  // no such atom: an error of another kind
        if (gOtherErrors != 1) return "the other error did not reach the handler before once";
    }
    CloseOnDesk(window);
    return WIsDisplayLost() ? nullptr : "the loss was forgotten at the second end";
}

using WindowLostInProcessDeathTest = OnXDesk<Loss>;

TEST_P(WindowLostInProcessDeathTest, ContextHearsOnceAndANewStartGoesOnWithTheLoss)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(LOSS_WAIT_MS / 1000);  // a wait for ever on the display fails the case instead
            const char *failed = ContextHearsAndANewStartGoesOn(GetParam());
            if (failed) fprintf(stderr, "%s\n", failed);
            _exit(failed ? 1 : 0);  // SDL keeps the lost window: the process's own end is not for it
        },
        ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(OnX, WindowLostInProcessDeathTest, ::testing::Values(DESTROYED, KILLED),
                         [](const ::testing::TestParamInfo<Loss> &info) { return kLossNames[info.param]; });

}  // namespace
