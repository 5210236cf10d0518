// Sound handles and buffers: the table's limits and slot reuse, check values, buffer making with
// failing duplicates and refused flags, rings and their sharing, handles without buffers.
#include <gtest/gtest.h>

#include <vector>

#include "lib/core/system.h"
#include "tests/sound/sound_test_support.h"
#include "testsupport/test_hooks.h"

namespace {

using namespace soundtest;

class HandleTest : public StartedSound {};

TEST_F(HandleTest, TableFullAndSlotReuse)
{
    std::vector<int> handles;
    for (int i = 0; i < SOUND_HANDLE_MAX; i++) {
        int h = AddSoundData(-1);
        ASSERT_NE(h, -1) << i;
        EXPECT_EQ(h & 0xFFFF, i);
        EXPECT_EQ(h & 0x78000000, 0x10000000);
        handles.push_back(h);
    }
    EXPECT_EQ(AddSoundData(-1), -1);
    CloseLogFile();
    EXPECT_NE(Log().find("サウンドの数が許容量を越えました\n"), std::string::npos);
    ASSERT_EQ(DeleteSoundByHandle(handles[17], 0), 0);
    int again = AddSoundData(-1);
    EXPECT_EQ(again & 0xFFFF, 17);
    EXPECT_NE(again, handles[17]);
    EXPECT_EQ(CountSoundSamples(handles[17]), -1);  // the old handle is refused
    ASSERT_EQ(DeleteAllSoundHandles(0), 0);
    EXPECT_EQ(SoundHandleTable.usedBound, 0);
}

TEST_F(HandleTest, CheckValuesWrapAfter2047)
{
    SoundHandleTable.nextCheck = 2046;
    int a = AddSoundData(-1), b = AddSoundData(-1), c = AddSoundData(-1);
    EXPECT_EQ((a >> 16) & 0x7FF, 2046);
    EXPECT_EQ((b >> 16) & 0x7FF, 2047);
    EXPECT_EQ((c >> 16) & 0x7FF, 0);
    EXPECT_EQ(DeleteSoundByHandle(c, 0), 0);
    EXPECT_EQ(DeleteSoundByHandle(c, 0), -1);
    EXPECT_EQ(DeleteSoundByHandle(0x08000000 | (b & 0x07FFFFFF), 0), -1);  // another handle type
    EXPECT_EQ(DeleteSoundByHandle(-1, 0), -1);
    DeleteAllSoundHandles(0);
}

TEST_F(HandleTest, SamplesAndLength)
{
    int h = MakeStatic(Pcm(44100, 2, 16), std::vector<uint8_t>(176400, 0), 1);
    ASSERT_NE(h, -1);
    EXPECT_EQ(CountSoundSamples(h), 44100);
    EXPECT_EQ(MeasureSoundLengthMs(h), 1000);
    int g = MakeStatic(Pcm(11025, 1, 8), std::vector<uint8_t>(5513, 128), 1);
    EXPECT_EQ(MeasureSoundLengthMs(g), 500);
    DeleteAllSoundHandles(0);
}

TEST_F(HandleTest, AFailingDuplicateEndsTheBufferMaking)
{
    DsTestFailNth(DS_FAULT_DUPLICATE, 3);
    int h = MakeStatic(Pcm(22050, 1, 16), RampPcm(2000, 1), 10);
    ASSERT_NE(h, -1);
    SoundHandleRecord *r = LookupSoundRecord(h);
    EXPECT_EQ(r->bufferCount, 3);
    EXPECT_EQ(Inspect(h, 0).memoryId, Inspect(h, 2).memoryId);
    EXPECT_EQ(r->buffers[3].valid, 0);
    EXPECT_EQ(PlaySoundByHandle(h, 1, 1), 0);
    DeleteSoundByHandle(h, 0);
}

TEST_F(HandleTest, RefusedFlagsAreRetriedWithoutFrequencyAndFocus)
{
    DsTestRefuseBufferFlags(SOUND_STATIC_BUFFER_FLAGS);
    int h = MakeStatic(Pcm(22050, 1, 16), RampPcm(2000, 1), 2);
    ASSERT_NE(h, -1);
    EXPECT_EQ(Inspect(h, 0).flags, SOUND_STATIC_RETRY_FLAGS);
    DeleteSoundByHandle(h, 0);
}

TEST_F(HandleTest, BothFlagSetsRefusedIsFatal)
{
    std::vector<uint8_t> image = WaveImage(Pcm(22050, 1, 16), RampPcm(2000, 1));
    EXPECT_EXIT(
        {
            DsTestRefuseBufferFlags(SOUND_STATIC_BUFFER_FLAGS);
            DsTestRefuseBufferFlags(SOUND_STATIC_RETRY_FLAGS);
            CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), 1, -1);
        },
        ::testing::ExitedWithCode(255), "");
    EXPECT_NE(Log().find("DirectSoundBuffer の作成に失敗しました\n"), std::string::npos);
}

TEST_F(HandleTest, ARingThatCannotBeMadeIsFatal)
{
    WaveFormat f = Pcm(44100, 2, 16);
    int h = AddSoundData(-1);
    EXPECT_EXIT(
        {
            DsTestFailAlways(DS_FAULT_CREATE_BUFFER, 1);
            MakeSoundHandleBuffers(&f, 0, SOUND_KIND_STREAM, 1, h);
        },
        ::testing::ExitedWithCode(255), "");
    EXPECT_NE(Log().find("ストリーム風サウンドバッファの作成に失敗しました\n"), std::string::npos);
    DeleteSoundByHandle(h, 0);
}

TEST_F(HandleTest, RingBufferIsSixSecondsAtTheFrontOfTheList)
{
    WaveFormat f = Pcm(44100, 2, 16);
    int a = AddSoundData(-1), b = AddSoundData(-1);
    ASSERT_EQ(MakeSoundHandleBuffers(&f, 0, SOUND_KIND_STREAM, 1, a), 0);
    ASSERT_EQ(MakeSoundHandleBuffers(&f, 0, SOUND_KIND_STREAM, 1, b), 0);
    EXPECT_EQ(Inspect(a, 0).flags, SOUND_RING_BUFFER_FLAGS);
    EXPECT_EQ(Inspect(a, 0).bytes, 1058400u);
    EXPECT_EQ(StreamSoundList.head.next->data1, b);
    EXPECT_EQ(StreamSoundList.head.next->next->data1, a);
    DeleteSoundByHandle(b, 0);
    EXPECT_EQ(StreamSoundList.head.next->data1, a);
    DeleteSoundByHandle(a, 0);
    EXPECT_EQ(StreamSoundList.head.next, &StreamSoundList.tail);
}

TEST_F(HandleTest, ASharedRingStaysUntilItsLastSharerGoes)
{
    WaveFormat f = Pcm(22050, 1, 16);
    int owner = AddSoundData(-1);
    ASSERT_EQ(MakeSoundHandleBuffers(&f, 0, SOUND_KIND_STREAM, 1, owner), 0);
    LookupSoundRecord(owner)->sharedStreamHandle = -1;
    int sharers[2];
    for (int &s : sharers) {
        s = AddSoundData(-1);
        SoundHandleRecord *r = LookupSoundRecord(s);
        r->kind = SOUND_KIND_STREAM;
        r->bufferCount = 1;
        r->sharedStreamHandle = owner;
        LookupSoundRecord(owner)->sharerCount++;
    }
    EXPECT_EQ(DeleteSoundByHandle(owner, 0), 0);
    ASSERT_NE(LookupSoundRecord(owner), nullptr);
    EXPECT_EQ(LookupSoundRecord(owner)->pendingDelete, 1);
    EXPECT_EQ(DeleteSoundByHandle(sharers[0], 0), 0);
    EXPECT_NE(LookupSoundRecord(owner), nullptr);
    EXPECT_EQ(DeleteSoundByHandle(sharers[1], 0), 0);
    EXPECT_EQ(LookupSoundRecord(owner), nullptr);
}

TEST_F(HandleTest, HandlesWithoutBuffersAreRefusedNotFollowed)
{
    int bare = AddSoundData(-1);
    EXPECT_EQ(PlaySoundByHandle(bare, 1, 1), -1);
    EXPECT_EQ(GetSoundPlayPositionMs(bare), -1);
    EXPECT_EQ(CountSoundSamples(bare), -1);
    EXPECT_EQ(MeasureSoundLengthMs(bare), -1);
    EXPECT_EQ(StopSoundByHandle(bare), -1);
    EXPECT_EQ(QuerySoundPlaying(bare), -1);
    EXPECT_EQ(ChangeSoundVolume(100, bare), -1);
    int none = MakeStatic(Pcm(22050, 1, 16), RampPcm(500, 1), 0);
    ASSERT_NE(none, -1);
    EXPECT_EQ(PlaySoundByHandle(none, 1, 1), -1);
    EXPECT_EQ(GetSoundPlayPositionMs(none), -1);
    EXPECT_EQ(DeleteSoundByHandle(bare, 0), 0);
    EXPECT_EQ(DeleteSoundByHandle(none, 0), 0);
}

class StoppedSound : public StartedSound {
protected:
    StoppedSound() { keepStopped = true; }
};

TEST_F(StoppedSound, EveryCallIsRefusedBeforeStartUp)
{
    int h = AddSoundData(-1);  // the table works without the device
    ASSERT_NE(h, -1);
    std::vector<uint8_t> image = WaveImage(Pcm(22050, 1, 16), RampPcm(500, 1));
    EXPECT_EQ(CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), 1, -1), -1);
    EXPECT_EQ(LoadSoundFileToHandle("x.wav", 1, -1), -1);
    EXPECT_EQ(PlaySoundByHandle(h, 1, 1), -1);
    EXPECT_EQ(StopSoundByHandle(h), -1);
    EXPECT_EQ(QuerySoundPlaying(h), -1);
    EXPECT_EQ(GetSoundPlayPositionMs(h), -1);
    EXPECT_EQ(ChangeSoundVolume(10, h), -1);
    EXPECT_EQ(CountSoundSamples(h), -1);
    EXPECT_EQ(DeleteAllSoundHandles(0), -1);
    EXPECT_EQ(DeleteSoundByHandle(h, 0), -1);
    // The record goes with the next start-up's clearing.
    ASSERT_EQ(StartupSoundSystem(), 0);
    EXPECT_EQ(SoundHandleTable.usedCount, 0);
}

}  // namespace
