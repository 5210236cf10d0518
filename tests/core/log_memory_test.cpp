// The log's exact bytes and the tracked allocator's list of blocks still allocated.
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "platform/kernel/kernel.h"
#include "tests/support/stepped_clock.h"
#include "tests/support/test_temp_dir.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

class LogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(EnterFreshTempDir(), 0);
        InstallSteppedClock(1000000);
        ASSERT_EQ(OpenLogFile(GetFreshTempDir()), 0);
    }
    void TearDown() override
    {
        CloseLogFile();
        RemoveSteppedClock();
        LeaveFreshTempDir();
    }
};

}  // namespace

TEST_F(LogFile, ContinuedTextsIndentsAndCrLf)
{
    EXPECT_EQ(WriteLog("start\n"), -1);
    AdvanceSteppedClock(12000);
    IncreaseLogIndent();
    WriteLog("a\nb");
    AdvanceSteppedClock(3000);  // the continued text keeps the stamp of its line
    WriteLog("c\n");
    IncreaseLogIndent();
    WriteLog("two\n\n");
    DecreaseLogIndent();
    DecreaseLogIndent();
    DecreaseLogIndent();  // never below none
    WriteLog("end\n");
    EXPECT_EQ(ReadTestFile("Log.txt"), "0:start\r\n"
                                        "12:\ta\r\n"
                                        "12:\tbc\r\n"
                                        "15:\t\ttwo\r\n"
                                        "15:\t\t\r\n"
                                        "15:end\r\n");
}

TEST_F(LogFile, FormatAppendsALineEndAndTruncatesLongTexts)
{
    EXPECT_EQ(WriteLogFormat("%s %d", "ファイル", 7), -1);
    std::string longName(3000, 'x');
    WriteLogFormat("name %s", longName.c_str());
    std::string bytes = ReadTestFile("Log.txt");
    std::string first = std::string("0:") + "ファイル 7\r\n";
    ASSERT_EQ(bytes.substr(0, first.size()), first);
    std::string second = bytes.substr(first.size());
    // "0:" + 1022 formatted bytes + CR LF: the buffer's 1024 bytes hold the text, "\n" and NUL.
    EXPECT_EQ(second.size(), 2u + 1022u + 2u);
    EXPECT_EQ(second.substr(second.size() - 2), "\r\n");

    // A cut through a two-byte character drops its lone lead byte.
    std::string kana;
    for (int i = 0; i < 600; i++)
        kana += "ア";
    WriteLogFormat("%s", ("x" + kana).c_str());
    std::string third = ReadTestFile("Log.txt").substr(first.size() + second.size());
    EXPECT_EQ(third.size(), 2u + 1021u + 2u);
}

TEST_F(LogFile, ReopeningEmptiesTheFile)
{
    WriteLog("old\n");
    ASSERT_EQ(OpenLogFile(GetFreshTempDir()), 0);
    WriteLog("new\n");
    EXPECT_EQ(ReadTestFile("Log.txt"), "0:new\r\n");
    EXPECT_EQ(OpenLogFile("/nonexistent-dazar-dir"), -1);
    EXPECT_EQ(WriteLog("nowhere\n"), -1);
}

TEST_F(LogFile, LinesGoToTheEndOfAFileEmptiedByAnotherCopy)
{
    WriteLog("first copy\n");
    FILE *other = fopen("Log.txt", "wb");  // a second copy started beside us empties the log
    ASSERT_NE(other, nullptr);
    fputs("0:second\r\n", other);
    fclose(other);
    WriteLog("still here\n");
    EXPECT_EQ(ReadTestFile("Log.txt"), std::string("0:second\r\n0:still here\r\n"));
}

TEST_F(LogFile, UnfreedBlocksAreListedAndNoneAfterFreeing)
{
    int before = GetTrackedBlockCount();
    void *kept = AllocMemoryTracked(100, "lib/sound/sound.cpp", 42);
    void *zeroed = AllocMemoryZeroed(33, "", 0);
    ASSERT_NE(kept, nullptr);
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ((uintptr_t)kept % 16, 0u);
    for (int i = 0; i < 33; i++)
        ASSERT_EQ(((unsigned char *)zeroed)[i], 0);
    EXPECT_EQ(GetTrackedBlockCount(), before + 2);
    FreeMemoryTracked(zeroed);
    FreeMemoryTracked(nullptr);
    DumpTrackedMemory();
    std::string dump = ReadTestFile("Log.txt");
    EXPECT_NE(dump.find("サイズ:100 ファイル:nd.cpp 行:42\r\n"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("サイズ:33 "), std::string::npos) << dump;

    FreeMemoryTracked(kept);
    EXPECT_EQ(GetTrackedBlockCount(), before);
    if (before == 0) {
        ASSERT_EQ(OpenLogFile(GetFreshTempDir()), 0);
        DumpTrackedMemory();
        EXPECT_EQ(ReadTestFile("Log.txt"), "0:解放されていないメモリはありません\r\n");
    }
}

TEST_F(LogFile, DamagedHeaderIsLoggedAndTheBlockKept)
{
    int before = GetTrackedBlockCount();
    unsigned char *block = (unsigned char *)AllocMemoryTracked(16, "t.cpp", 1);
    ASSERT_NE(block, nullptr);
    MemoryBlockHeader *h = (MemoryBlockHeader *)block - 1;
    uint32_t size = h->size;
    h->size = 0x7FFFFFFF;  // an underrun from the block before
    FreeMemoryTracked(block);
    EXPECT_NE(ReadTestFile("Log.txt").find("in FreeMemoryTracked"), std::string::npos);
    EXPECT_EQ(GetTrackedBlockCount(), before + 1);
    h->size = size;
    FreeMemoryTracked(block);
    EXPECT_EQ(GetTrackedBlockCount(), before);
}

// A resized block keeps its bytes, its allocation ID and its place in the list between its neighbours
// (which free soundly after it moved); a refused resize leaves it as it was.
TEST_F(LogFile, AResizedBlockKeepsItsBytesItsIdAndTheList)
{
    int before = GetTrackedBlockCount();
    void *older = AllocMemoryTracked(8, "", 0);
    unsigned char *block = (unsigned char *)AllocMemoryTracked(100, "", 0);
    void *newer = AllocMemoryTracked(8, "", 0);
    for (int i = 0; i < 100; i++) block[i] = (unsigned char)i;
    uint16_t id = ((MemoryBlockHeader *)block - 1)->id;
    block = (unsigned char *)ResizeMemoryTracked(block, (size_t)64 << 20);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(((MemoryBlockHeader *)block - 1)->id, id);
    SetTrackedAllocFailure(1);
    EXPECT_EQ(ResizeMemoryTracked(block, (size_t)128 << 20), nullptr);
    EXPECT_NE(ReadTestFile("Log.txt").find("in ResizeMemoryTracked"), std::string::npos);
    for (int i = 0; i < 100; i++) ASSERT_EQ(block[i], (unsigned char)i);
    for (void *each : {older, newer, (void *)block}) FreeMemoryTracked(each);
    EXPECT_EQ(GetTrackedBlockCount(), before);
}

TEST_F(LogFile, RefusedAllocationGivesNullAndALogLine)
{
    EXPECT_EQ(AllocMemoryTracked((size_t)1 << 32, "", 0), nullptr);  // beyond the header's size field
    EXPECT_EQ(AllocMemoryTracked(SIZE_MAX - 8, "", 0), nullptr);
    EXPECT_NE(ReadTestFile("Log.txt").find("in AllocMemoryTracked"), std::string::npos);
}

namespace {

// Allocations, frees and log lines from several threads at once: the block list stays whole and
// every line arrives whole, once.
TEST_F(LogFile, AllocatorAndLogAreSafeFromManyThreads)
{
    int before = GetTrackedBlockCount();
    const int kThreads = 6, kRounds = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([t] {
            std::vector<void *> held;
            for (int i = 0; i < kRounds; i++) {
                held.push_back(AllocMemoryTracked((size_t)(1 + (i * 7 + t) % 200), "threads.cpp", i));
                if (i % 3 == 2) {
                    FreeMemoryTracked(held.front());
                    held.erase(held.begin());
                }
                if (i % 20 == 0) {
                    char line[64];
                    snprintf(line, sizeof line, "thread %d round %d\n", t, i);
                    WriteLog(line);
                }
            }
            for (void *block : held)
                FreeMemoryTracked(block);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(GetTrackedBlockCount(), before);
    std::string log = ReadTestFile("Log.txt");
    for (int t = 0; t < kThreads; t++)
        for (int i = 0; i < kRounds; i += 20) {
            std::string line = ":thread " + std::to_string(t) + " round " + std::to_string(i) + "\r\n";
            size_t at = log.find(line);
            ASSERT_NE(at, std::string::npos) << line;
            EXPECT_EQ(log.find(line, at + 1), std::string::npos) << line;
        }
    EXPECT_EQ(log.find("メモリブロックのヘッダが壊れています"), std::string::npos);
}

}  // namespace
