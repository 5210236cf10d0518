// Damaged files of every kind streamed through the ring, looping and not: refused or played, never a
// crash, hang or leak.
#include <gtest/gtest.h>

#include "lib/sound/stream_sound.h"
#include "tests/sound/sound_test_support.h"
#include "tools/sound_fuzz/sound_fuzz.h"

namespace {

using namespace soundtest;

class StreamFuzz : public StartedSound {};

// Streams one image (kind 0 or 2) with one of the loop settings, plays it for a while, deletes it.
// 1 when it was taken.
int StreamDamaged(const std::vector<uint8_t> &image, uint64_t *rng)
{
    int h = AddSoundData(-1);
    int kind = (soundfuzz::NextRandom(rng) & 1) ? STREAM_SOURCE_IMAGE : STREAM_SOURCE_DECODED;
    int loops = (soundfuzz::NextRandom(rng) & 1) ? STREAM_LOOP_ENDLESS : 1;
    int taken = AppendStreamSourceMemory(image.data(), (uint32_t)image.size(), loops, h, kind, -1) == 0;
    if (taken) {
        PlaySoundByHandle(h, (soundfuzz::NextRandom(rng) & 1) ? SOUND_PLAY_LOOP : SOUND_PLAY_BACK, 1);
        for (int i = 0; i < 12; i++) {
            AudioTestStep(AUDIO_MIX_SLICE_FRAMES * 4);
            RefillAllStreamSounds();
            EXPECT_LE(ReadStreamPositionMs(h), MeasureSoundLengthMs(h));
        }
        StopSoundByHandle(h);
        PlaySoundByHandle(h, SOUND_PLAY_BACK, 0);
        RefillAllStreamSounds();
    }
    AudioTestClearCapture();
    DeleteSoundByHandle(h, 0);
    return taken;
}

TEST_F(StreamFuzz, DamagedFilesAreRefusedOrStreamedSafely)
{
    REQUIRE_TOOLS("sox", "lame", "oggenc");
    uint64_t rng = 99;
    for (const std::string &name : soundfuzz::MakeDamageInputs()) {
        std::vector<uint8_t> image = ReadFile(name);
        ASSERT_FALSE(image.empty()) << name;
        int taken = 0;
        for (int round = 0; round < 40; round++) {
            std::vector<uint8_t> bad = soundfuzz::Damage(image, &rng);
            int blocks = GetTrackedBlockCount(), buffers = DsTestLiveBufferCount();
            taken += StreamDamaged(bad, &rng);
            ASSERT_EQ(GetTrackedBlockCount(), blocks) << name << " round " << round;
            ASSERT_EQ(DsTestLiveBufferCount(), buffers) << name << " round " << round;
        }
        EXPECT_GT(taken, 0) << name;  // mild damage still plays
    }
    EXPECT_EQ(SoundHandleTable.usedCount, 0);
}

}  // namespace
