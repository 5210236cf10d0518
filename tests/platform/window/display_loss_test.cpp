// The game's window or its X server lost from outside under a real X server (Xvfb with a small window
// manager, where they are installed), at moments of the start and of play, windowed and full screen,
// on every route: each run must end by itself with exit 0 (under the sanitizers: no leak), its log
// closed by the end lines and its settings kept. Then the stand-in's own window and X connection lost
// in the test's process.
#include <gtest/gtest.h>
// After the test framework: Xlib's macros (None, Bool) would rename its types.
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
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

void Stop(pid_t *pid)
{
    if (*pid <= 0) return;
    kill(*pid, SIGKILL);
    waitpid(*pid, nullptr, 0);
    *pid = 0;
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

// Presents seen from outside: the DAMAGE extension tells of every picture put into the game's window.
// Its library is loaded where installed (it ships no header here).
struct DamageCalls {
    Bool (*query)(Display *, int *, int *);
    XID (*create)(Display *, Drawable, int);
    void (*subtract)(Display *, XID, XID, XID);
    int eventBase;
} gDamage;

#define DAMAGE_REPORT_NON_EMPTY 3  // one notice, until the damage is taken away

// What the test watches: a game's end (a pidfd), the files it makes (the log written; the music it
// writes to temporary files, the menu's just before its first frame is shown, each stage's at its
// start), its window and the presents into it; and the desk's events. A wait on the desk alone
// watches nothing else.
struct GameRun {
    pid_t pid = 0;
    int ended = -1, notices = -1, tmp = -1;  // the pidfd, inotify and its watch of the temporary folder
    Window window = 0;
    XID damage = 0;  // the window's, 0 where presents cannot be seen
    int musicFiles = 0, presents = 0;
    ~GameRun() { close(ended), close(notices); }
};

// Takes in what happened until holds() does. 1 then; 0 when the game ended first or nothing happened
// for LOSS_WAIT_MS.
template <class Holds> int AwaitRun(GameRun *run, Holds holds)
{
    for (;;) {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = read(run->notices, buffer, sizeof buffer)) > 0;)
            for (char *at = buffer; at < buffer + n; at += sizeof(inotify_event) + ((inotify_event *)at)->len)
                run->musicFiles += ((inotify_event *)at)->wd == run->tmp;
        while (gDesk.display && XPending(gDesk.display)) {
            XEvent event;
            XNextEvent(gDesk.display, &event);
            if (run->damage && event.type == gDamage.eventBase)  // XDamageNotify
                run->presents++, gDamage.subtract(gDesk.display, run->damage, 0, 0);
        }
        if (holds()) return 1;
        pollfd p[3] = {{run->ended, POLLIN, 0}, {run->notices, POLLIN, 0},
                       {gDesk.display ? ConnectionNumber(gDesk.display) : -1, POLLIN, 0}};
        if (poll(p, 3, LOSS_WAIT_MS) <= 0 || p[0].revents) return 0;
    }
}

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
    // Requests on the game's window that went (taking its presents) fail: no reason to end the test.
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    Window root = DefaultRootWindow(gDesk.display);
    XSelectInput(gDesk.display, root, PropertyChangeMask);
    gDesk.manager = Spawn({"evilwm", "-fn", "fixed"}, {"DISPLAY=" + gDesk.name}, "/dev/null");
    GameRun desk;
    auto managed = [&] { return !ReadNumbers(gDesk.display, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty(); };
    return AwaitRun(&desk, managed) ? "" : "the window manager did not start";
}

// Also what a case that kills the server does (the test's own connection first: Xlib would end the
// test with the server).
void StopDesk(void)
{
    if (gDesk.display) XCloseDisplay(gDesk.display);
    gDesk.display = nullptr;
    Stop(&gDesk.server);
    Stop(&gDesk.manager);
}

enum Loss { DESTROYED, KILLED, CLOSED, SERVER_KILLED };
const char *const kLossNames[] = {"Destroyed", "Killed", "Closed", "ServerKilled"};

void LoseWindow(Window window, Loss loss)
{
    Display *d = gDesk.display;
    if (loss == SERVER_KILLED) return StopDesk();
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
const Route kRoutes[] = {{"Direct3D", "d3d", 0}, {"DirectDraw", "ddraw", 0}, {"Direct3DOnEgl", "d3d", 1},
                         {"Software", "software", 0}};

// The desk, shared by the cases of a suite; a case that kills the server has it started again.
class XDeskTest : public ::testing::Test {
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
        if (gDesk.missing.empty() && !gDesk.display) StopDesk(), gDesk.missing = StartDesk();
    }
    pid_t game = 0;
};

// ---- the game lost at a moment of its run

// 1 when presents can be seen on the desk.
int CanSeePresents(void)
{
    static void *library = dlopen("libXdamage.so.1", RTLD_NOW);
    if (library && !gDamage.query) {
        gDamage.query = (decltype(gDamage.query))dlsym(library, "XDamageQueryExtension");
        gDamage.create = (decltype(gDamage.create))dlsym(library, "XDamageCreate");
        gDamage.subtract = (decltype(gDamage.subtract))dlsym(library, "XDamageSubtract");
    }
    int errorBase = 0;
    return gDamage.query && gDamage.create && gDamage.subtract &&
           gDamage.query(gDesk.display, &gDamage.eventBase, &errorBase);
}

// The settings the game finds and must keep (84 bytes): hi score 4321, progress 1, music and sound on.
const std::string kSettings = std::string("\xE1\x10\0\0\1\0\0\0\1\0\0\0\1\0\0\0", 16) + std::string(68, '\0');

// Starts the game in a fresh folder of the test.
void StartGameRun(GameRun *run, const Route &route, int fullScreen)
{
    ASSERT_EQ(EnterFreshTempDir(), 0);
    std::string dir = GetFreshTempDir();
    const char *assets = getenv("DAZAR_ASSET_DIR");
    ASSERT_TRUE(assets);
    for (const char *sub : {"png", "wav", "voice", "mid"})
        ASSERT_EQ(symlink((std::string(assets) + "/" + sub).c_str(), sub), 0);
    FILE *file = fopen("HiScore.dat", "wb");
    ASSERT_TRUE(file && fwrite(kSettings.data(), 1, 84, file) == 84 && fclose(file) == 0);
    ASSERT_EQ(mkdir("tmp", 0700), 0);
    run->notices = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(run->notices, dir.c_str(), IN_MODIFY);
    run->tmp = inotify_add_watch(run->notices, (dir + "/tmp").c_str(), IN_CREATE);
    std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    run->pid = Spawn({DAZAR_GAME_PROGRAM, fullScreen ? "--fullscreen" : "--windowed"},
                     {"DISPLAY=" + gDesk.name, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "TMPDIR=" + dir + "/tmp",
                      std::string("DAZAR_RENDER_ROUTE=") + route.route, "DAZAR_SINGLE_INSTANCE=0",
                      std::string("SDL_VIDEO_X11_FORCE_EGL=") + (route.egl ? "1" : "0"),
                      // No session bus here: libdbus's failed search for one keeps a block (upstream).
                      "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent", "ASAN_OPTIONS=" + asan + ":detect_leaks=1"},
                     "out.txt");
    ASSERT_GT(run->pid, 0);
    run->ended = (int)syscall(SYS_pidfd_open, run->pid, 0);
}

// Waits for the game's managed window (its _NET_WM_PID is the game's), which is then watched for
// presents. 1 once it is there.
int AwaitWindow(GameRun *run)
{
    Window root = DefaultRootWindow(gDesk.display);
    auto found = [&] {
        for (unsigned long client : ReadNumbers(gDesk.display, root, "_NET_CLIENT_LIST", XA_WINDOW)) {
            std::vector<unsigned long> pid = ReadNumbers(gDesk.display, client, "_NET_WM_PID", XA_CARDINAL);
            if (!pid.empty() && (pid_t)pid[0] == run->pid) run->window = client;
        }
        return run->window != 0;
    };
    if (!run->window && !AwaitRun(run, found)) return 0;
    if (!run->damage && CanSeePresents())
        run->damage = gDamage.create(gDesk.display, run->window, DAMAGE_REPORT_NON_EMPTY);
    return 1;
}

int AwaitPresents(GameRun *run, int count)
{
    int until = run->presents + count;
    return AwaitRun(run, [&] { return run->presents >= until; });
}

// From the title into the first stage: Z (normal mode), Down (one player), Z, each key down over two
// presents and up over two more, so a frame reads it each way. 1 once the stage's music starts.
int PlayIntoStage(GameRun *run)
{
    XEvent event{};
    event.xkey.window = run->window;
    event.xkey.root = DefaultRootWindow(gDesk.display);
    event.xkey.same_screen = True;
    for (KeySym key : {XK_z, XK_Down, XK_z})
        for (int down : {1, 0}) {
            event.xkey.type = down ? KeyPress : KeyRelease;
            event.xkey.keycode = XKeysymToKeycode(gDesk.display, key);
            XSendEvent(gDesk.display, run->window, True, down ? KeyPressMask : KeyReleaseMask, &event);
            XFlush(gDesk.display);
            if (!AwaitPresents(run, 2)) return 0;
        }
    return AwaitRun(run, [&] { return run->musicFiles >= 2; });
}

// When the loss comes: the window shown (the start goes on), a text in the log for the count-th time
// (a line end: the count-th line), or the count-th present of the menus (or of the first stage, play).
// A loss of the window waits for the window.
enum Step { WINDOW_SHOWN, LOG_TEXT, PRESENTS };
struct Moment {
    const char *name;
    Step step;
    int count, play;
    const char *text;
};
void PrintTo(const Moment &moment, std::ostream *out) { *out << moment.name; }

// 1 once the game is at the moment.
int ReachMoment(GameRun *run, const Moment &moment)
{
    if (moment.step == WINDOW_SHOWN) return AwaitWindow(run);
    if (moment.step == LOG_TEXT) {
        return AwaitRun(run, [&] {
            std::string log = ReadTestFile("Log.txt");
            int n = 0;
            for (size_t at = log.find(moment.text); at != std::string::npos; at = log.find(moment.text, at + 1)) n++;
            return n >= moment.count;
        });
    }
    return AwaitWindow(run) && run->damage && AwaitRun(run, [&] { return run->musicFiles >= 1; }) &&
           (!moment.play || PlayIntoStage(run)) && AwaitPresents(run, moment.count);
}

// Starts the game and loses its window or the server at the moment: the game ends by itself as a
// closed window ends it, with exit 0, its log closed by the end lines with no memory left, and its
// settings as they were.
void LoseAtMoment(pid_t *game, const Route &route, int fullScreen, const Moment &moment, Loss loss)
{
    GameRun run;
    ASSERT_NO_FATAL_FAILURE(StartGameRun(&run, route, fullScreen));
    *game = run.pid;
    ASSERT_TRUE(ReachMoment(&run, moment) && (loss == SERVER_KILLED || AwaitWindow(&run)))
        << "the game did not reach the moment (presents seen: " << (run.damage ? "yes" : "no") << ")\n"
        << ReadTestFile("out.txt");
    LoseWindow(run.window, loss);
    pollfd p{run.ended, POLLIN, 0};
    int status = -1;
    ASSERT_TRUE(poll(&p, 1, LOSS_WAIT_MS) == 1 && waitpid(run.pid, &status, 0) == run.pid) << "the game did not end";
    *game = 0;
    EXPECT_EQ(status, 0) << ReadTestFile("out.txt");
    std::string log = ReadTestFile("Log.txt");
    size_t ended = log.find("ライブラリの終了処理が完了しました\r\n");
    ASSERT_NE(ended, std::string::npos) << "the log has no end";
    EXPECT_NE(log.find("解放されていないメモリはありません\r\n", ended), std::string::npos);
    EXPECT_TRUE(ReadTestFile("HiScore.dat") == kSettings) << "the settings were not kept";
}

// The moments: the window just shown (the start going on), the graphics' start (the window made, no
// device yet), the game's own screen mode change, the title's first frame presented, the fifth present
// of the first stage.
const Moment kStartUp = {"StartUp", WINDOW_SHOWN, 0, 0, nullptr},
             kGraphicsStart = {"GraphicsStart", LOG_TEXT, 1, 0, "DirectDraw の初期化を開始します"},
             kModeChange = {"ModeChange", LOG_TEXT, 2, 0, "画面モードを"}, kMenu = {"Menu", PRESENTS, 1, 0, nullptr},
             kPlay = {"Play", PRESENTS, 5, 1, nullptr};

// The loss, full screen (1) or windowed, the moment and the route.
using BreakCase = std::tuple<Loss, int, Moment, Route>;

class BreakDuringRun : public XDeskTest, public ::testing::WithParamInterface<BreakCase> {};

TEST_P(BreakDuringRun, TheGameEndsByItselfWithItsLogClosedAndItsSettingsKept)
{
    if (!*DAZAR_GAME_PROGRAM) GTEST_SKIP() << "the game program is not built";
    const auto [loss, fullScreen, moment, route] = GetParam();
    if (moment.step == PRESENTS && !CanSeePresents()) GTEST_SKIP() << "no DAMAGE extension to see presents";
    LoseAtMoment(&game, route, fullScreen, moment, loss);
}

std::string BreakName(const ::testing::TestParamInfo<BreakCase> &info)
{
    const auto [loss, fullScreen, moment, route] = info.param;
    return std::string(kLossNames[loss]) + (fullScreen ? "FullScreenAt" : "At") + moment.name + route.name;
}

using ::testing::Combine;
using ::testing::Values;
using ::testing::ValuesIn;
// Every loss at the title, windowed and full screen (the software route presents as DirectDraw's).
INSTANTIATE_TEST_SUITE_P(WindowLost, BreakDuringRun,
                         Combine(Values(DESTROYED, KILLED, CLOSED), Values(0, 1), Values(kMenu),
                                 ValuesIn(kRoutes, kRoutes + 3)),
                         BreakName);
INSTANTIATE_TEST_SUITE_P(ClientKilled, BreakDuringRun,
                         Combine(Values(KILLED), Values(0), Values(kStartUp, kModeChange, kPlay), ValuesIn(kRoutes)),
                         BreakName);
INSTANTIATE_TEST_SUITE_P(ServerKilled, BreakDuringRun,
                         Combine(Values(SERVER_KILLED), Values(0), Values(kGraphicsStart, kPlay), ValuesIn(kRoutes)),
                         BreakName);

// Many breaks at moments drawn from a seed (DAZAR_LOSS_SEED, else the time; DAZAR_LOSS_RUNS runs, 40
// unless set): the route, full screen or not, the client or the server killed, and the moment: a line
// of the start's log, or a present of the menus or of the first stage. Each run says what it drew.
class BreakSoak : public XDeskTest {};

TEST_F(BreakSoak, DISABLED_BreaksAtRandomMomentsEndTheGameCleanly)
{
    if (!*DAZAR_GAME_PROGRAM) GTEST_SKIP() << "the game program is not built";
    if (!CanSeePresents()) GTEST_SKIP() << "no DAMAGE extension to see presents";
    const char *seedText = getenv("DAZAR_LOSS_SEED"), *runsText = getenv("DAZAR_LOSS_RUNS");
    uint32_t seed = seedText ? (uint32_t)strtoul(seedText, nullptr, 0) : (uint32_t)time(nullptr);
    int runs = runsText ? atoi(runsText) : 40, failed = 0;
    printf("seed %u (DAZAR_LOSS_SEED=%u repeats it)\n", seed, seed);
    std::mt19937 draw(seed);
    auto below = [&](int n) { return (int)(draw() % (uint32_t)n); };
    const ::testing::TestResult *result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    for (int i = 0; i < runs; i++) {
        int failuresBefore = result->total_part_count();
        const Route &route = kRoutes[below(4)];
        int fullScreen = below(4) == 0;
        Loss loss = below(5) < 3 ? KILLED : SERVER_KILLED;
        int kind = below(3);  // a log line (from the first after the window system's start: every
                              // route's start writes 30), a present of the menus, one of play
        Moment moment = {"", kind ? PRESENTS : LOG_TEXT, kind ? below(kind == 2 ? 120 : 60) : 3 + below(28),
                         kind == 2, "\r\n"};
        char what[160];
        snprintf(what, sizeof what, "run %d: %s %s, %s at the %s %d%s", i, route.name,
                 fullScreen ? "full screen" : "windowed", kLossNames[loss], kind ? "present" : "log line",
                 moment.count, kind ? (moment.play ? " of play" : " of the menus") : "");
        printf("%s\n", what);
        fflush(stdout);
        SCOPED_TRACE(what);
        LoseAtMoment(&game, route, fullScreen, moment, loss);
        TearDown();
        failed += result->total_part_count() > failuresBefore;
    }
    printf("%d of %d runs failed\n", failed, runs);
}

// ---- the stand-in's own window and connection lost in the test's process, each case in a process of
// its own: SDL's video, once started on a driver, stays with the process

int gGoneHeard;    // what a context on the lost window was told of its window's end
int gOtherErrors;  // X errors of other kinds that reached the handler before ours
int gGoneOn;       // what ran after a cut inside a call, or after the break was known

void HearGone(void *) { gGoneHeard++; }

int CountOtherError(Display *, XErrorEvent *) { return gOtherErrors++, 0; }

// A hidden window of the stand-in on the desk, its subsystem started for it. Its X connection, or
// null when it cannot be had.
Display *OpenOnDesk(WHandle *window)
{
    setenv("DISPLAY", gDesk.name.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    *window = 0;
    if (WInitSubsystem() != 0) return nullptr;
    WRegisterClass("LostClass", WDefWindowProc);
    *window = WCreateWindow("LostClass", "lost", 64, 48, W_STYLE_HIDDEN);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return *window && SDL_GetWindowWMInfo(WLookupWindow(*window)->sdl, &info) ? info.info.x11.display : nullptr;
}

void CloseOnDesk(WHandle window)
{
    WDestroyWindow(window);
    WUnregisterClass("LostClass");
    WQuitSubsystem();
}

// Pumps the stand-in's messages. How many of them were closes.
int PumpCountingCloses(void)
{
    WMessage message;
    int closes = 0;
    while (WPeekMessage(&message, 0, 1)) {
        closes += message.message == W_WM_CLOSE;
        WDispatchMessage(&message);
    }
    return closes;
}

// What is done to the stand-in in the test's process: its window destroyed or its client killed, its
// connection cut inside a call or between calls, or a window not of ours gone.
enum Upset { WINDOW_DESTROYED, WINDOW_KILLED, CUT_INSIDE_A_CALL, CUT_BETWEEN_CALLS, OTHER_WINDOW_GONE };
const char *const kUpsetNames[] = {"WindowDestroyed", "WindowKilled", "CutInsideACall", "CutBetweenCalls",
                                   "OtherWindowGone"};

// A context on a window lost from the desk's own connection hears once that it closes; after the end
// the library starts again in the same process, on the display SDL kept, with the loss still known and
// X errors of other kinds still reaching the handler before ours. Why it failed, or null.
const char *ContextHearsAndANewStartGoesOn(int upset)
{
    XSetErrorHandler(CountOtherError);  // in place of Xlib's own, which ends the process
    WHandle window;
    if (!OpenOnDesk(&window) || !WCreateGlContext(window, HearGone)) return "no window with OpenGL";
    unsigned long x = WXWindowOf(WLookupWindow(window));
    LoseWindow(x, upset == WINDOW_DESTROYED ? DESTROYED : KILLED);
    WProbeXWindow(x);  // the stand-in hears of it by asking
    if (!WIsDisplayLost()) return "the loss was not seen";
    CloseOnDesk(window);
    if (gGoneHeard != 1) return "the context was not told once";
    if (!WIsDisplayLost()) return "the loss was forgotten at the end";
    Display *display = OpenOnDesk(&window);
    if (upset == WINDOW_DESTROYED) {
        if (!display) return "no window after the new start";
        XGetAtomName(display, (Atom)0x7FFFFFF);  // no such atom: an error of another kind
        if (gOtherErrors != 1) return "the other error did not reach the handler before once";
    }
    CloseOnDesk(window);
    return WIsDisplayLost() ? nullptr : "the loss was forgotten at the second end";
}

void CutAndAsk(void *display)
{
    shutdown(ConnectionNumber((Display *)display), SHUT_RDWR);
    XSync((Display *)display, False);  // no answer comes
    gGoneOn = 1;
}

// A break leaves the call it comes in (or is seen on the socket before a call, and a write to the dead
// socket ends nothing), no call reaches the display after it, a window made then is lost at once, the
// pump closes the windows and the end waits on nothing. A window-gone error about a window not of ours
// (the manager's frames SDL asks about) loses nothing. Why it failed, or null.
const char *ConnectionUpset(int upset)
{
    WHandle window;
    Display *display = OpenOnDesk(&window);
    if (!display) return "no window";
    if (upset == OTHER_WINDOW_GONE) {
        Window other = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
        XDestroyWindow(display, other);
        XWindowAttributes attributes;
        XGetWindowAttributes(display, other, &attributes);  // BadWindow, about the other window
        PumpCountingCloses();
        if (WIsDisplayLost() || !WIsWindow(window)) return "the other window's error lost ours";
        CloseOnDesk(window);
        return nullptr;
    }
    if (upset == CUT_INSIDE_A_CALL) {
        if (WRunOnDisplay(CutAndAsk, display) != -1 || gGoneOn) return "the call went on past the break";
    } else {
        shutdown(ConnectionNumber(display), SHUT_RDWR);
        if (!WIsDisplayBroken()) return "the break was not seen on the socket";
        // Xlib, xcb or Mesa may still write to it before they notice: that ends nothing (no SIGPIPE).
        char nothing = 0;
        if (write(ConnectionNumber(display), &nothing, 1) != -1) return "the dead socket took a write";
    }
    if (WRunOnDisplay([](void *) { gGoneOn = 1; }, nullptr) != -1 || gGoneOn) return "a call was made after the break";
    WHandle late = WCreateWindow("LostClass", "late", 64, 48, W_STYLE_HIDDEN);
    if (!late) return "a window made after the break was refused";
    if (PumpCountingCloses() != 2 || WIsWindow(window) || WIsWindow(late)) return "the windows were not closed";
    CloseOnDesk(window);
    return nullptr;
}

class LostInProcessDeathTest : public XDeskTest, public ::testing::WithParamInterface<int> {};

TEST_P(LostInProcessDeathTest, LossIsHeardAndEndsNothingWaitingOrLost)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const int upset = GetParam();
    EXPECT_EXIT(
        {
            alarm(LOSS_WAIT_MS / 1000);  // a wait for ever on the display fails the case instead
            const char *failed =
                upset <= WINDOW_KILLED ? ContextHearsAndANewStartGoesOn(upset) : ConnectionUpset(upset);
            if (failed) fprintf(stderr, "%s\n", failed);
            _exit(failed ? 1 : 0);  // SDL keeps the lost window: the process's own end is not for it
        },
        ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(OnX, LostInProcessDeathTest, ::testing::Range(0, OTHER_WINDOW_GONE + 1),
                         [](const ::testing::TestParamInfo<int> &info) { return kUpsetNames[info.param]; });

}  // namespace
