// Damaged files of every kind streamed through the ring, looping and not: refused or played, never a
// crash, hang or leak.
#include <gtest/gtest.h>

#include "lib/sound/stream_sound.h"
#include "tests/sound/sound_test_support.h"
#include "testsupport/test_hooks.h"
#include "tools/sound_fuzz/sound_fuzz.h"

namespace {

using namespace soundtest;

class StreamFuzz : public StartedSound {};

// The reported position never passes the sound's length.
void CheckPosition(int h) { EXPECT_LE(ReadStreamPositionMs(h), MeasureSoundLengthMs(h)); }

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
            taken += soundfuzz::StreamImage(bad, &rng, CheckPosition);
            ASSERT_EQ(GetTrackedBlockCount(), blocks) << name << " round " << round;
            ASSERT_EQ(DsTestLiveBufferCount(), buffers) << name << " round " << round;
        }
        EXPECT_GT(taken, 0) << name;  // mild damage still plays
    }
    EXPECT_EQ(SoundHandleTable.usedCount, 0);
}

}  // namespace
