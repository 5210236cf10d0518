// Damaged files of every kind the module reads: refused or played, never a crash, hang, leak or exit.
#include <gtest/gtest.h>

#include "tests/sound/sound_test_support.h"
#include "tools/sound_fuzz/sound_fuzz.h"

namespace {

using namespace soundtest;

class StaticFuzz : public StartedSound {};

TEST_F(StaticFuzz, DamagedFilesAreRefusedOrPlayedSafely)
{
    REQUIRE_TOOLS("sox", "lame", "oggenc");
    std::vector<std::string> names = soundfuzz::MakeDamageInputs();
    ASSERT_EQ(names.size(), 8u);
    uint64_t seed = 1;
    for (const std::string &name : names) {
        std::vector<uint8_t> image = ReadFile(name);
        ASSERT_FALSE(image.empty()) << name;
        soundfuzz::FuzzStats stats;
        soundfuzz::FuzzSoundImage(image, seed++ * 7919, 120, &stats);
        EXPECT_EQ(stats.leaks, 0) << name;
        EXPECT_GT(stats.loaded, 0) << name;  // mild damage still plays
        // Every cut of the first 200 bytes.
        for (size_t n = 0; n < image.size() && n < 200; n++) {
            std::vector<uint8_t> cut(image.begin(), image.begin() + n);
            int h = CreateSoundFromMemoryImage(cut.data(), (uint32_t)cut.size(), 1, -1);
            if (h != -1)
                DeleteSoundByHandle(h, 0);
        }
    }
    EXPECT_EQ(SoundHandleTable.usedCount, 0);
}

// The damage runs start from the same bytes every time, so a failure seen once is seen again.
TEST(DamageInputs, AreTheSameOnEveryRun)
{
    REQUIRE_TOOLS("sox", "lame", "oggenc");
    std::vector<std::vector<uint8_t>> runs[2];
    for (auto &run : runs) {
        fixture::TempDir dir;
        for (const std::string &name : soundfuzz::MakeDamageInputs())
            run.push_back(ReadFile(name));
    }
    ASSERT_EQ(runs[0].size(), 8u);
    for (size_t i = 0; i < runs[0].size(); i++)
        EXPECT_TRUE(runs[0][i] == runs[1][i]) << "input " << i;
}

}  // namespace
