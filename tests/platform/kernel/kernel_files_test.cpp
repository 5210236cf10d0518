// Kernel files: creation modes, read/seek/write, failures, temporary names and directories.
#include "platform/kernel/kernel.h"
#include "tests/support/test_temp_dir.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <sys/stat.h>

class KernelFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(EnterFreshTempDir(), 0); }
    void TearDown() override { LeaveFreshTempDir(); }
};

TEST_F(KernelFiles, CreateNewFailsWhenTheFileExists)
{
    KHandle f = KCreateFile("a.bin", K_GENERIC_WRITE, K_CREATE_NEW);
    ASSERT_NE(f, K_INVALID_HANDLE);
    EXPECT_NE(f, 0);
    EXPECT_EQ(KCloseHandle(f), 1);
    EXPECT_EQ(KCreateFile("a.bin", K_GENERIC_WRITE, K_CREATE_NEW), K_INVALID_HANDLE);
    EXPECT_EQ(KGetLastError(), (uint32_t)K_ERROR_FILE_EXISTS);
}

TEST_F(KernelFiles, WriteSeekReadRoundTrip)
{
    KHandle f = KCreateFile("data.bin", K_GENERIC_READ | K_GENERIC_WRITE, K_CREATE_ALWAYS);
    ASSERT_NE(f, K_INVALID_HANDLE);
    uint32_t done = 99;
    ASSERT_EQ(KWriteFile(f, "0123456789", 10, &done), 1);
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(KSetFilePointer(f, 0, K_FILE_END), 10);
    EXPECT_EQ(KSetFilePointer(f, 3, K_FILE_BEGIN), 3);
    EXPECT_EQ(KSetFilePointer(f, 2, K_FILE_CURRENT), 5);
    char buffer[16] = {};
    ASSERT_EQ(KReadFile(f, buffer, sizeof buffer, &done), 1);
    EXPECT_EQ(done, 5u);  // short read at the end is success
    EXPECT_EQ(std::string(buffer, 5), "56789");
    ASSERT_EQ(KReadFile(f, buffer, 4, &done), 1);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(KSetFilePointer(f, -1, K_FILE_BEGIN), -1);
    EXPECT_EQ(KSetFilePointer(f, 0, 7), -1);
    KCloseHandle(f);
}

// One-byte katakana grow threefold in UTF-8: a path well inside the limit still reaches its file.
TEST_F(KernelFiles, AKatakanaPathThreeTimesLongerOnDiskKeepsItsName)
{
    std::string part, diskPart;
    for (int i = 0; i < 80; i++) {
        part += "ｱ";
        diskPart += (const char *)u8"ｱ";
    }
    std::string path = part, disk = diskPart;
    for (int level = 0; level < 2; level++) {
        ASSERT_EQ(mkdir(disk.c_str(), 0777), 0);
        path += "\\" + part;
        disk += "/" + diskPart;
    }
    KHandle f = KCreateFile(path.c_str(), K_GENERIC_WRITE, K_CREATE_NEW);
    ASSERT_NE(f, K_INVALID_HANDLE);
    KCloseHandle(f);
    struct stat st;
    EXPECT_EQ(stat(disk.c_str(), &st), 0);
}

TEST_F(KernelFiles, BackslashPathsAndTheirLimits)
{
    ASSERT_EQ(mkdir("sub", 0755), 0);
    KHandle f = KCreateFile("sub\\x.txt", K_GENERIC_WRITE, K_CREATE_NEW);
    ASSERT_NE(f, K_INVALID_HANDLE);
    KCloseHandle(f);
    struct stat st;
    EXPECT_EQ(stat("sub/x.txt", &st), 0);

    // A Shift-JIS name whose trail byte is 0x5C stays one character, not a separator.
    char disk[K_MAX_PATH * 2];
    ASSERT_GT(KPathToDisk("ソ.txt", disk, sizeof disk), 0);
    EXPECT_STREQ(disk, (const char *)u8"ソ.txt");
    f = KCreateFile("ソ.txt", K_GENERIC_WRITE, K_CREATE_NEW);
    ASSERT_NE(f, K_INVALID_HANDLE);
    KCloseHandle(f);
    EXPECT_EQ(stat((const char *)u8"ソ.txt", &st), 0);
    EXPECT_EQ(KDeleteFile("ソ.txt"), 1);

    std::string longName(K_MAX_PATH, 'n');
    EXPECT_EQ(KCreateFile(longName.c_str(), K_GENERIC_WRITE, K_CREATE_ALWAYS), K_INVALID_HANDLE);
    EXPECT_EQ(KGetLastError(), (uint32_t)K_ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(KernelFiles, FailuresGiveTheInvalidHandleAndAnError)
{
    EXPECT_EQ(KCreateFile("missing.bin", K_GENERIC_READ, K_OPEN_EXISTING), K_INVALID_HANDLE);
    EXPECT_EQ(KGetLastError(), (uint32_t)K_ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(mkdir("dir", 0755), 0);
    EXPECT_EQ(KCreateFile("dir", K_GENERIC_READ, K_OPEN_EXISTING), K_INVALID_HANDLE);
    EXPECT_EQ(KGetLastError(), (uint32_t)K_ERROR_ACCESS_DENIED);
    EXPECT_EQ(KDeleteFile("dir"), 0);
    EXPECT_EQ(KDeleteFile("missing.bin"), 0);

    // A closed handle is stale, even when its slot is taken again.
    KHandle f = KCreateFile("s.bin", K_GENERIC_WRITE, K_CREATE_NEW);
    KCloseHandle(f);
    KHandle g = KCreateFile("t.bin", K_GENERIC_WRITE, K_CREATE_NEW);
    ASSERT_NE(g, K_INVALID_HANDLE);
    uint32_t done = 7;
    EXPECT_EQ(KWriteFile(f, "x", 1, &done), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(KGetLastError(), (uint32_t)K_ERROR_INVALID_HANDLE);
    EXPECT_EQ(KCloseHandle(f), 0);
    EXPECT_EQ(KCloseHandle(K_INVALID_HANDLE), 0);
    KCloseHandle(g);
}

TEST_F(KernelFiles, TemporaryNamesAreNewEmptyFilesWithThePrefix)
{
    setenv("TMPDIR", GetFreshTempDir(), 1);
    char dir[K_MAX_PATH];
    uint32_t length = KGetTempPath(sizeof dir, dir);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(dir[length - 1], '/');
    EXPECT_EQ(KGetTempPath(2, dir), length + 1);  // too small: the size needed

    char first[K_MAX_PATH], second[K_MAX_PATH];
    ASSERT_NE(KGetTempFileName(dir, "tmp", first), 0u);
    ASSERT_NE(KGetTempFileName(dir, "tmp", second), 0u);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(strncmp(first, dir, length), 0);
    EXPECT_EQ(strncmp(first + length, "tmp", 3), 0);
    struct stat st;
    ASSERT_EQ(stat(first, &st), 0);
    EXPECT_EQ(st.st_size, 0);

    setenv("TMPDIR", "/nonexistent-dazar-dir", 1);
    EXPECT_EQ(KGetTempPath(sizeof dir, dir), 0u);
    EXPECT_EQ(KGetTempFileName("/nonexistent-dazar-dir/", "tmp", first), 0u);
    unsetenv("TMPDIR");
}

TEST_F(KernelFiles, CurrentDirectory)
{
    char here[K_MAX_PATH];
    ASSERT_GT(KGetCurrentDirectory(sizeof here, here), 0u);
    ASSERT_EQ(mkdir("inner", 0755), 0);
    EXPECT_EQ(KSetCurrentDirectory("inner"), 1);
    char there[K_MAX_PATH];
    ASSERT_GT(KGetCurrentDirectory(sizeof there, there), 0u);
    EXPECT_EQ(std::string(there), std::string(here) + "/inner");
    EXPECT_EQ(KSetCurrentDirectory("no-such-dir"), 0);
    EXPECT_EQ(KSetCurrentDirectory(here), 1);
}
