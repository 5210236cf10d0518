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
    ASSERT_TRUE(MakeTone("p16.wav", 22050, 2, 16, 0.1));
    ASSERT_TRUE(MakeTone("p8.wav", 11025, 1, 8, 0.1));
    ASSERT_TRUE(Shell("sox p16.wav -e ms-adpcm ms.wav"));
    ASSERT_TRUE(Shell("sox p16.wav -e ima-adpcm ima.wav"));
    ASSERT_TRUE(Shell("sox p16.wav -e a-law alaw.wav"));
    ASSERT_TRUE(Shell("lame --quiet -b 64 --add-id3v2 --tt T p16.wav tag.mp3"));
    ASSERT_TRUE(Shell("oggenc -Q p16.wav -o t.ogg"));
    uint64_t seed = 1;
    for (const char *name : {"p16.wav", "p8.wav", "ms.wav", "ima.wav", "alaw.wav", "tag.mp3", "t.ogg"}) {
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

}  // namespace
