// Helpers for tests that make their sound fixtures at run time with outside tools (sox, lame,
// mpg123, csvmidi) in a fresh temporary directory.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_temp_dir.h"

namespace fixture {

// A fresh temporary directory made the current one; removed with everything in it on destruction.
struct TempDir {
    std::string path;
    TempDir()
    {
        EXPECT_EQ(EnterFreshTempDir(), 0);
        path = GetFreshTempDir();
    }
    ~TempDir() { LeaveFreshTempDir(); }
};

// Runs a shell command in the current directory; true when it exits 0.
inline bool Shell(const std::string &command)
{
    std::string quiet = command + " >/dev/null 2>&1";
    return system(quiet.c_str()) == 0;
}

inline bool HaveTool(const char *name) { return Shell(std::string("command -v ") + name); }

inline std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::string bytes = ReadTestFile(path.c_str());
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

inline void WriteFile(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

// The "fmt " body and the "data" bytes of a RIFF WAVE file.
struct Wave {
    std::vector<uint8_t> format;
    std::vector<uint8_t> data;
};

inline uint32_t Le32(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

inline bool ReadWave(const std::string &path, Wave *wave)
{
    std::vector<uint8_t> b = ReadFile(path);
    if (b.size() < 12 || memcmp(b.data(), "RIFF", 4) != 0 || memcmp(b.data() + 8, "WAVE", 4) != 0)
        return false;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        uint32_t size = Le32(&b[at + 4]);
        size_t end = at + 8 + size;
        if (end > b.size())
            end = b.size();
        std::vector<uint8_t> body(b.begin() + at + 8, b.begin() + end);
        if (memcmp(&b[at], "fmt ", 4) == 0)
            wave->format = body;
        else if (memcmp(&b[at], "data", 4) == 0)
            wave->data = body;
        at += 8 + (size_t)size + (size & 1);
    }
    return !wave->format.empty();
}

}  // namespace fixture
