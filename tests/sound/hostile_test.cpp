// Hostile sound files (tests/hostile): a stray sync, a setup header that would crash the Vorbis
// library, and headers that claim far more than the file holds. Each loads quickly, safely and small,
// or is refused.
#include <gtest/gtest.h>

#include "lib/sound/stream_sound.h"
#include "tests/sound/sound_test_support.h"
#include "tests/support/hostile_files.h"

namespace {

using namespace soundtest;

class HostileSound : public StartedSound {};

TEST(HostileDecoder, AStraySyncBeforeTheFramesDoesNotSetTheFormat)
{
    MemoryDecoder d(ReadHostileFile("bogus_first_sync.mp3"));
    ASSERT_EQ(d.setup, 0);
    EXPECT_EQ(d.decoder.format.samplesPerSec, 22050u);
    EXPECT_EQ(d.decoder.format.channels, 1);
    EXPECT_GE(d.Whole().size(), 22050u * 2 / 4);  // the 0.3 s tone, not a bogus frame
}

TEST_F(HostileSound, ACodebookThatOverfillsItsTreeIsRefusedBeforeAnyDecode)
{
    std::vector<uint8_t> image = ReadHostileFile("setup_overfull_codebook.ogg");
    ASSERT_FALSE(image.empty());
    MemoryDecoder d(image);
    EXPECT_EQ(d.setup, -1);
    EXPECT_EQ(CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), 1, -1), -1);
    int h = AddSoundData(-1);
    EXPECT_EQ(AppendStreamSourceMemory(image.data(), (uint32_t)image.size(), STREAM_LOOP_ENDLESS, h,
                                       STREAM_SOURCE_IMAGE, -1),
              -1);
    DeleteSoundByHandle(h, 0);
}

// The leak checker of the sanitized build fails the program if the refusal loses memory.
TEST(HostileDecoder, AChainWhoseSecondHeadersAreDamagedIsRefusedWithoutALeak)
{
    for (const char *name : {"chain_damaged_second_setup.ogg", "chain_damaged_second_ident.ogg"}) {
        std::vector<uint8_t> image = ReadHostileFile(name);
        ASSERT_FALSE(image.empty()) << name;
        MemoryDecoder d(image);
        EXPECT_EQ(d.setup, -1) << name;
    }
}

TEST_F(HostileSound, SizesClaimedByHeadersAreNotAllocated)
{
    if (!CanWatchAllocations())
        GTEST_SKIP() << "allocations are watched in the sanitized build only";
    struct Case {
        const char *file;
        uint32_t rate;
    };
    for (Case c : {Case{"mpeg_1_byte_per_second.wav", 8000}, Case{"granule_500m.ogg", 22050}}) {
        SCOPED_TRACE(c.file);
        std::vector<uint8_t> image = ReadHostileFile(c.file);
        ASSERT_FALSE(image.empty());
        int h = -1;
        size_t largest = LargestAllocationDuring(
            [&] { h = CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), 1, -1); });
        EXPECT_LT(largest, 4u << 20);
        ASSERT_NE(h, -1);  // the real frames still play
        EXPECT_EQ(LookupSoundRecord(h)->format.samplesPerSec, c.rate);
        EXPECT_GT(CountSoundSamples(h), 0);
        DeleteSoundByHandle(h, 0);
    }
}

}  // namespace
