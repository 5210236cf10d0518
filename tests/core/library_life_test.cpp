// Library start and end: the orders in the log, the double-start refusal, the end state, the fatal exit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/core/system.h"
#include "platform/window/window.h"
#include "testsupport/window/window_test.h"
#include "tests/support/test_temp_dir.h"

namespace {

std::string ReadLog(const char *dir)
{
    return ReadTestFile((std::string(dir) + "/Log.txt").c_str());
}

// Position of a text in the log, or npos.
size_t Find(const std::string &log, const char *text)
{
    return log.find(text);
}

class LibraryLife : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("DAZAR_SINGLE_INSTANCE", "0", 1);  // parallel test processes share the class name
        ASSERT_EQ(EnterFreshTempDir(), 0);
    }
    void TearDown() override
    {
        EndLibrary();
        // Back to the defaults for the next test of this process.
        strcpy(gSystem.title, SYSTEM_DEFAULT_TITLE);
        strcpy(gSystem.className, SYSTEM_DEFAULT_CLASS_NAME);
        gSystem.titleSet = 0;
        gSystem.windowed = 0;
        setenv("DAZAR_SINGLE_INSTANCE", "0", 1);
        LeaveFreshTempDir();
    }
};

TEST_F(LibraryLife, StartAndEndLeaveTheirLinesInOrderAndNoBlocks)
{
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(InitLibrary(), 0);  // already started
    EXPECT_NE(GetMainWindowHandle(), 0);
    EXPECT_EQ(GetLibraryState(), LIBRARY_RUNNING);
    EXPECT_EQ(GetEndRequest(), 0);
    EXPECT_STREQ(GetStartDirectory(), GetFreshTempDir());
    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_EQ(GetMainWindowHandle(), 0);
    EXPECT_EQ(GetTrackedBlockCount(), 0);
    std::string log = ReadLog(GetFreshTempDir());
    size_t start = Find(log, "ライブラリの初期化を開始します\r\n");
    size_t window = Find(log, "ウインドウを作成しました 640 x 480 フルスクリーンモード\r\n");
    size_t software = Find(log, "ソフトウエアレンダリングモードに変更します\r\n");
    size_t no3d = Find(log, "３Ｄグラフィック描画機能は使用しません\r\n");
    size_t started = Find(log, "ライブラリの初期化が完了しました\r\n");
    size_t ending = Find(log, "ライブラリの終了処理を開始します\r\n");
    size_t ended = Find(log, "ライブラリの終了処理が完了しました\r\n");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(window, std::string::npos);
    ASSERT_NE(software, std::string::npos);
    ASSERT_NE(no3d, std::string::npos);
    ASSERT_NE(started, std::string::npos);
    ASSERT_NE(ending, std::string::npos);
    ASSERT_NE(ended, std::string::npos);
    EXPECT_LT(start, window);
    EXPECT_LT(window, software);
    EXPECT_LT(software, no3d);
    EXPECT_LT(no3d, started);
    EXPECT_LT(started, ending);
    EXPECT_LT(ending, ended);
}

TEST_F(LibraryLife, WindowModeChosenBeforeTheStartIsUsed)
{
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(GetWindowedFlag(), 1);
    Rect area{};
    EXPECT_EQ(GetDrawAreaRect(&area), 0);
    EXPECT_EQ(area.right - area.left, 640);
    EXPECT_EQ(area.bottom - area.top, 480);
    EndLibrary();
    EXPECT_NE(Find(ReadLog(GetFreshTempDir()), "640 x 480 ウインドウモード"), std::string::npos);
}

TEST_F(LibraryLife, PumpAfterTheEndReturnsMinusOneOnEveryThread)
{
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(PumpMessages(), 0);
    EndLibrary();
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(RunMessagePump(), -1);
    EXPECT_EQ(GetEndRequest(), 1);
    int fromClockThread = 0;
    std::thread clock([&] { fromClockThread = PumpMessages(); });
    clock.join();
    EXPECT_EQ(fromClockThread, -1);
    EXPECT_EQ(EndLibrary(), 0);  // a second end does nothing
}

// The terminal's copy of the refusal's log line, in UTF-8.
const char *const kRefusalTold = reinterpret_cast<const char *>(u8"既に起動しています、二重起動は出来ません\n");

// The instance lock in the test's directory under a name of its own (the title's, which is the class
// name). The title.
std::string UseOwnInstanceLock(const char *prefix)
{
    std::string title = prefix + std::to_string(getpid());
    SetMainWindowTitle(title.c_str());
    setenv("DAZAR_SINGLE_INSTANCE", "1", 1);
    setenv("XDG_RUNTIME_DIR", GetFreshTempDir(), 1);
    return title;
}

TEST_F(LibraryLife, SecondInstanceIsRefusedWithTheEndRequestSet)
{
    std::string title = UseOwnInstanceLock("DaZarTest");
    EXPECT_EQ(gSystem.className, title);
    int firstInstance = WAcquireInstanceLock(title.c_str());
    ASSERT_GT(firstInstance, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitLibrary(), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(kRefusalTold), std::string::npos);
    EXPECT_EQ(GetEndRequest(), 1);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(GetMainWindowHandle(), 0);
    WReleaseInstanceLock(firstInstance);
    EXPECT_EQ(access("Log.txt", F_OK), -1);  // the running copy's log is not the refused copy's
    // The lock is free again: the next start runs.
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(GetEndRequest(), 0);
}

// A second copy of the program: a process forked before the running copy starts, so that it starts
// the library afresh in the same folder under the same lock once for each byte it reads on its socket
// (a copy that retries its start), answering '0' (started) or '1' (refused); the socket's close ends
// its library and it. Its stderr goes to Copy.txt.
struct SecondCopy {
    pid_t pid;
    int talk;
};

int ForkSecondCopy(SecondCopy *copy)
{
    int talk[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, talk) != 0) return -1;
    copy->pid = fork();
    if (copy->pid == 0) {
        close(talk[0]);
        dup2(open("Copy.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        for (char order; read(talk[1], &order, 1) == 1;) {
            char answer = InitLibrary() == 0 ? '0' : '1';
            if (write(talk[1], &answer, 1) != 1) break;
        }
        EndLibrary();
        _exit(0);
    }
    close(talk[1]);
    copy->talk = talk[0];
    return copy->pid > 0 ? 0 : -1;
}

// One start of the second copy: '0' started, '1' refused, 0 without an answer.
char StartSecondCopy(const SecondCopy *copy)
{
    char answer = 0;
    return write(copy->talk, "s", 1) == 1 && read(copy->talk, &answer, 1) == 1 ? answer : 0;
}

// Ends the second copy. 0 once it has ended, -1 otherwise.
int EndSecondCopy(const SecondCopy *copy)
{
    int status = 0;
    close(copy->talk);
    return waitpid(copy->pid, &status, 0) == copy->pid && WIFEXITED(status) ? 0 : -1;
}

// The handshake of a second copy starting while the first ends: at the moment the instance lock is
// let go, the second copy tries once just before and once just after.
SecondCopy *gStartAtRelease;
char gAnswerBefore, gAnswerAfter;

}  // namespace

// In front of the C library's, for the handshake.
extern "C" int flock(int fd, int operation) __THROW
{
    SecondCopy *copy = operation == LOCK_UN ? gStartAtRelease : nullptr;
    gStartAtRelease = nullptr;
    if (copy) gAnswerBefore = StartSecondCopy(copy);
    int result = (int)syscall(SYS_flock, fd, operation);
    if (copy) gAnswerAfter = StartSecondCopy(copy);
    return result;
}

namespace {

TEST_F(LibraryLife, RefusedSecondCopyLeavesTheRunningCopysLogWhole)
{
    UseOwnInstanceLock("DaZarCopy");
    SecondCopy copy = {};
    ASSERT_EQ(ForkSecondCopy(&copy), 0);
    ASSERT_EQ(InitLibrary(), 0);
    std::string before = ReadLog(GetFreshTempDir());
    ASSERT_NE(Find(before, "ライブラリの初期化が完了しました"), std::string::npos);

    EXPECT_EQ(StartSecondCopy(&copy), '1');
    EXPECT_EQ(EndSecondCopy(&copy), 0);
    std::string told = ReadTestFile("Copy.txt");
    EXPECT_NE(told.find(kRefusalTold), std::string::npos) << told;
    EXPECT_TRUE(ReadLog(GetFreshTempDir()) == before) << "the second copy changed the running copy's log";

    WriteLog("still ours\n");
    EndLibrary();
    std::string log = ReadLog(GetFreshTempDir());
    EXPECT_TRUE(log.compare(0, before.size(), before) == 0) << "the log does not begin with its start lines";
    EXPECT_EQ(Find(log, "二重起動"), std::string::npos);
    size_t ours = Find(log, "still ours\r\n");
    size_t ended = Find(log, "ライブラリの終了処理が完了しました\r\n");
    ASSERT_NE(ours, std::string::npos);
    ASSERT_NE(ended, std::string::npos);
    EXPECT_LT(ours, ended);
}

// A copy retrying its start while the first ends finds the first's lock until the first's log is
// closed, and then a log of its own from its first line: none of the first's last lines land in it.
TEST_F(LibraryLife, SecondCopyStartingAsTheFirstEndsFindsItsLockOrALogOfItsOwn)
{
    UseOwnInstanceLock("DaZarEnd");
    SecondCopy copy = {};
    ASSERT_EQ(ForkSecondCopy(&copy), 0);
    ASSERT_EQ(InitLibrary(), 0);
    gStartAtRelease = &copy;
    EndLibrary();
    EXPECT_EQ(gAnswerBefore, '1');
    ASSERT_EQ(gAnswerAfter, '0');
    ASSERT_EQ(EndSecondCopy(&copy), 0);
    std::string log = ReadLog(GetFreshTempDir());
    EXPECT_EQ(log.find(":DaZar Ver2.25b\r\n"), log.find(':')) << "the log does not begin with its own start";
    const char *ended = "ライブラリの終了処理が完了しました\r\n";
    size_t first = Find(log, ended);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find(ended, first + 1), std::string::npos) << "the first copy's end is in the log";
}

// However the window went before the end, the end releases everything and the library starts again.
TEST_F(LibraryLife, EndReleasesEverythingHoweverTheWindowWentAndTheLibraryStartsAgain)
{
    struct Way {
        const char *name;
        void (*go)(intptr_t window);
    };
    const Way ways[] = {
        {"left open", [](intptr_t) {}},
        {"destroy message posted", [](intptr_t w) { WPostMessage(w, W_WM_DESTROY, 0, 0); }},
        {"close button", [](intptr_t w) { WTestPushWindowEvent(w, W_TEST_CLOSE); }},
        {"destroyed directly", [](intptr_t w) { WDestroyWindow(w); }},
        {"quit posted", [](intptr_t) { WPostQuitMessage(0); }},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        ASSERT_EQ(InitLibrary(), 0);
        intptr_t window = GetMainWindowHandle();
        ASSERT_NE(window, 0);
        way.go(window);
        PumpMessages();
        EndLibrary();
        EXPECT_EQ(WIsWindow(window), 0);
        EXPECT_EQ(GetMainWindowHandle(), 0);
        EXPECT_EQ(GetTrackedBlockCount(), 0);
    }
    // A new life: no stale quit, no leftover class or window in the way.
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(GetEndRequest(), 0);
}

TEST_F(LibraryLife, LongTitleIsCutWithoutSplittingACharacter)
{
    std::string title(62, 'a');
    title += "ソソ";  // two-byte characters straddling the 63-byte class-name limit
    SetMainWindowTitle(title.c_str());
    EXPECT_EQ(strlen(gSystem.className), 62u);
    EXPECT_EQ(strcmp(gSystem.title, title.c_str()), 0);
}

TEST_F(LibraryLife, FatalErrorLogsEndsInOrderAndExitsWithMinusOne)
{
    EXPECT_EXIT(
        {
            InitLibrary();
            ExitWithError("致命的なテスト");
        },
        ::testing::ExitedWithCode(255), "");
    std::string log = ReadLog(GetFreshTempDir());
    size_t text = Find(log, "致命的なテスト\r\n");
    size_t ended = Find(log, "ライブラリの終了処理が完了しました\r\n");
    ASSERT_NE(text, std::string::npos);
    ASSERT_NE(ended, std::string::npos);
    EXPECT_LT(text, ended);
}

}  // namespace
