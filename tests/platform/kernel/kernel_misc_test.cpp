// Kernel clock, code page 932, debugger output and the module registry.
#include "platform/kernel/kernel.h"
#include "tests/support/stepped_clock.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <string>

TEST(KernelClock, SteppedClockDrivesEveryTimeCall)
{
    InstallSteppedClock(5000000);
    EXPECT_EQ(KGetTime(), 5000u);
    int64_t count = 0, frequency = 0;
    KQueryPerformanceFrequency(&frequency);
    EXPECT_EQ(frequency, 1000000);
    KQueryPerformanceCounter(&count);
    EXPECT_EQ(count, 5000000);
    KSleep(250);  // a sleep moves the stepped clock, no real wait
    EXPECT_EQ(KGetTime(), 5250u);
    AdvanceSteppedClock(1500);
    KQueryPerformanceCounter(&count);
    EXPECT_EQ(count, 5251500);
    EXPECT_EQ(GetSteppedClockSleptMilliseconds(), 250u);

    // The millisecond clock wraps at 32 bits like the one it stands for.
    InstallSteppedClock(((uint64_t)1 << 32) * 1000u + 7000u);
    EXPECT_EQ(KGetTime(), 7u);
    RemoveSteppedClock();
}

TEST(KernelClock, RealClockIsMonotonic)
{
    int64_t a = 0, b = 0;
    KQueryPerformanceCounter(&a);
    KSleep(2);
    KQueryPerformanceCounter(&b);
    EXPECT_GE(b - a, 2000);
}

TEST(KernelText, ShiftJisConvertsBothWays)
{
    const char *text = "ソフト\\";  // ソ ends in the byte 0x5C
    ASSERT_EQ((unsigned char)text[1], 0x5C);
    uint16_t wide[16];
    int n = KMultiByteToWide(text, -1, wide, 16);
    ASSERT_EQ(n, 5);  // four characters and the NUL
    EXPECT_EQ(wide[0], 0x30BD);
    EXPECT_EQ(wide[3], 0x005C);
    EXPECT_EQ(KMultiByteToWide(text, -1, nullptr, 0), 5);
    EXPECT_EQ(KMultiByteToWide(text, -1, wide, 2), 0);
    EXPECT_EQ(KGetLastError(), (uint32_t)K_ERROR_INSUFFICIENT_BUFFER);

    char back[16];
    ASSERT_EQ(KWideToMultiByte(wide, -1, back, sizeof back), 8);
    EXPECT_STREQ(back, text);

    char utf8[32];
    ASSERT_GT(KMultiByteToUtf8(text, utf8, sizeof utf8), 0);
    EXPECT_STREQ(utf8, (const char *)u8"ソフト\\");
    char sjis[32];
    ASSERT_EQ(KUtf8ToMultiByte(utf8, sjis, sizeof sjis), 8);
    EXPECT_STREQ(sjis, text);

    const char broken[] = {(char)0x83, 0};  // a lead byte with no trail
    EXPECT_EQ(KMultiByteToUtf8(broken, utf8, sizeof utf8), 0);
    EXPECT_EQ(KGetLastError(), (uint32_t)K_ERROR_NO_UNICODE_TRANSLATION);
}

TEST(KernelText, DebugOutputGoesToStderrOnlyWhenAsked)
{
    unsetenv("DAZAR_DEBUG_OUTPUT");
    testing::internal::CaptureStderr();
    KOutputDebugString("silent\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    setenv("DAZAR_DEBUG_OUTPUT", "1", 1);
    testing::internal::CaptureStderr();
    KOutputDebugString("ログ\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string((const char *)u8"ログ\n"));
    unsetenv("DAZAR_DEBUG_OUTPUT");
}

TEST(KernelProcess, ExitProcessEndsWithTheCode)
{
    EXPECT_EXIT(KExitProcess(-1), testing::ExitedWithCode(255), "");
}

namespace {
int FakeEnumerate(void) { return 42; }
const KModuleExport kFakeSoundExports[] = {{"DirectSoundEnumerateA", (void *)FakeEnumerate}, {nullptr, nullptr}};
}  // namespace

TEST(KernelModules, RegisteredModulesLoadByNameCaseInsensitively)
{
    EXPECT_EQ(KLoadLibrary("NOSUCH.DLL"), 0);
    EXPECT_EQ(KGetLastError(), (uint32_t)K_ERROR_MOD_NOT_FOUND);
    ASSERT_EQ(KRegisterModule("DSOUND.DLL", kFakeSoundExports), 0);
    KModule module = KLoadLibrary("dsound.dll");
    ASSERT_NE(module, 0);
    typedef int (*EnumerateFn)(void);
    EnumerateFn fn = (EnumerateFn)KGetProcAddress(module, "DirectSoundEnumerateA");
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 42);
    EXPECT_EQ(KGetProcAddress(module, "directsoundenumeratea"), nullptr);  // exports are exact
    EXPECT_EQ(KGetProcAddress(0, "DirectSoundEnumerateA"), nullptr);
    EXPECT_EQ(KFreeLibrary(module), 1);
    EXPECT_EQ(KFreeLibrary(module), 0);
}

TEST(KernelMemory, VirtualRegionsAreZeroWritableAndReleasedWhole)
{
    const uint32_t both = K_MEM_COMMIT | K_MEM_RESERVE;
    EXPECT_EQ(KVirtualAlloc(nullptr, 0, both, K_PAGE_READWRITE), nullptr);
    EXPECT_EQ(KVirtualAlloc(nullptr, 4096, K_MEM_RESERVE, K_PAGE_READWRITE), nullptr);
    EXPECT_EQ(KGetLastError(), (uint32_t)K_ERROR_INVALID_PARAMETER);
    auto *bytes = (unsigned char *)KVirtualAlloc(nullptr, 5000, both, K_PAGE_READWRITE);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0] | bytes[4999], 0);
    memset(bytes, 0xA5, 5000);
    EXPECT_EQ(KVirtualFree(bytes, 5000, K_MEM_RELEASE), 0);   // a release takes the whole region
    EXPECT_EQ(KVirtualFree(bytes, 0, K_MEM_RELEASE), 1);
}
