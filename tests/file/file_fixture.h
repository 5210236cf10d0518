// Each file test runs in a fresh directory with its own Log.txt.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "lib/core/log.h"
#include "tests/support/test_temp_dir.h"

class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(EnterFreshTempDir(), 0);
        ASSERT_EQ(OpenLogFile("."), 0);
    }
    void TearDown() override
    {
        CloseLogFile();
        LeaveFreshTempDir();
    }
    // Writes bytes to a disk path (UTF-8 names are the disk's own).
    static void WriteDiskFile(const std::string &path, const std::string &bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string LogText() { return ReadTestFile("Log.txt"); }
    // 1 when the log holds text; the log's texts are Shift-JIS, as are this file's literals.
    static bool LogHas(const char *text) { return LogText().find(text) != std::string::npos; }
};
