// Library start and end: the orders in the log, the double-start refusal, the end state, the fatal exit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
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

TEST_F(LibraryLife, SecondInstanceIsRefusedWithTheEndRequestSet)
{
    char title[64];
    snprintf(title, sizeof title, "DaZarTest%d", (int)getpid());
    SetMainWindowTitle(title);
    EXPECT_STREQ(gSystem.className, title);
    setenv("DAZAR_SINGLE_INSTANCE", "1", 1);
    setenv("XDG_RUNTIME_DIR", GetFreshTempDir(), 1);  // the lock file goes with the test's directory
    int firstInstance = WAcquireInstanceLock(title);
    ASSERT_GT(firstInstance, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitLibrary(), -1);
    // The terminal's copy of the log line, in UTF-8.
    const char *told = reinterpret_cast<const char *>(u8"既に起動しています、二重起動は出来ません\n");
    EXPECT_NE(testing::internal::GetCapturedStderr().find(told), std::string::npos);
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
// the library afresh in the same folder under the same lock once told to go. Its stderr is collected.
struct SecondCopy {
    pid_t pid;
    int go;      // a byte written here starts it
    int errors;  // its stderr
};

int ForkSecondCopy(SecondCopy *copy)
{
    int go[2], errors[2];
    if (pipe(go) != 0) return -1;
    if (pipe(errors) != 0) return close(go[0]), close(go[1]), -1;
    copy->pid = fork();
    if (copy->pid == 0) {
        dup2(errors[1], 2);
        close(errors[0]);
        close(go[1]);
        char c;
        if (read(go[0], &c, 1) != 1) _exit(2);
        _exit(InitLibrary() == 0 ? 0 : 1);
    }
    close(go[0]);
    close(errors[1]);
    copy->go = go[1];
    copy->errors = errors[0];
    return copy->pid > 0 ? 0 : -1;
}

// Starts the second copy and waits for its end. Its exit status (0 started, 1 refused), -1 otherwise.
int RunSecondCopy(SecondCopy *copy, std::string *told)
{
    int status = 0;
    if (write(copy->go, "g", 1) != 1) return -1;
    close(copy->go);
    char buffer[4096];
    ssize_t n;
    while ((n = read(copy->errors, buffer, sizeof buffer)) > 0) told->append(buffer, (size_t)n);
    close(copy->errors);
    if (waitpid(copy->pid, &status, 0) != copy->pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(LibraryLife, RefusedSecondCopyLeavesTheRunningCopysLogWhole)
{
    char title[64];
    snprintf(title, sizeof title, "DaZarCopy%d", (int)getpid());
    SetMainWindowTitle(title);
    setenv("DAZAR_SINGLE_INSTANCE", "1", 1);
    setenv("XDG_RUNTIME_DIR", GetFreshTempDir(), 1);  // the lock file goes with the test's directory
    SecondCopy copy = {};
    ASSERT_EQ(ForkSecondCopy(&copy), 0);
    ASSERT_EQ(InitLibrary(), 0);
    std::string before = ReadLog(GetFreshTempDir());
    ASSERT_NE(Find(before, "ライブラリの初期化が完了しました"), std::string::npos);

    std::string told;
    EXPECT_EQ(RunSecondCopy(&copy, &told), 1);  // refused
    const char *refusal = reinterpret_cast<const char *>(u8"既に起動しています、二重起動は出来ません\n");
    EXPECT_NE(told.find(refusal), std::string::npos) << told;
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
