// Streamed sounds on the manual output (44.1 kHz stereo 16-bit, so B = 176,400 and the ring cursor
// moves by exactly 4 bytes a frame): refill byte counts and the window, loops, the end, refusals,
// halt and resume, shared rings, and a real Ogg Vorbis file captured against its reference decode.
#include <algorithm>
#include <atomic>
#include <thread>

#include "lib/core/memory.h"
#include "lib/sound/stream_sound.h"
#include "tests/sound/sound_test_support.h"
#include "testsupport/test_hooks.h"

namespace {

using soundtest::Pcm;
using soundtest::RampPcm;
using soundtest::WaveImage;

const uint32_t B = 176400;
const uint32_t kRing = 6 * B;
const uint32_t kEighth = 22048;  // (B / 8) in whole 4-byte blocks

class StreamSound : public soundtest::StartedSound {
protected:
    std::vector<std::vector<uint8_t>> images;  // kept alive for the handles' lifetime

    // A handle playing the given 44.1 kHz stereo PCM sources from memory images.
    int MakeStream(const std::vector<std::vector<uint8_t>> &pcms, const std::vector<int> &loops)
    {
        int h = AddSoundData(-1);
        for (size_t i = 0; i < pcms.size(); i++) {
            images.push_back(WaveImage(Pcm(44100, 2, 16), pcms[i]));
            EXPECT_EQ(AppendStreamSourceMemory(images.back().data(), (uint32_t)images.back().size(), loops[i], h,
                                               STREAM_SOURCE_IMAGE, -1),
                      0);
        }
        return h;
    }
    SoundHandleRecord *Rec(int h) { return LookupSoundRecord(h); }
    // The ring's bytes now.
    std::vector<uint8_t> Ring(int h)
    {
        SoundHandleRecord *owner = Rec(h);
        if (owner->sharedStreamHandle != -1)
            owner = Rec(owner->sharedStreamHandle);
        void *p1, *p2;
        uint32_t n1, n2;
        std::vector<uint8_t> bytes;
        if (LockSoundBufferEntry(&owner->buffers[0], 0, owner->ringSize, &p1, &n1, &p2, &n2) != 0)
            return bytes;
        bytes.assign((uint8_t *)p1, (uint8_t *)p1 + n1);
        UnlockSoundBufferEntry(&owner->buffers[0], p1, n1, p2, n2);
        return bytes;
    }
    // Steps the output and runs a refill pass after every slice, as the pump would.
    void Play(int frames)
    {
        for (int done = 0; done < frames; done += AUDIO_MIX_SLICE_FRAMES) {
            AudioTestStep(std::min(AUDIO_MIX_SLICE_FRAMES, frames - done));
            RefillAllStreamSounds();
        }
    }
    std::vector<uint8_t> Captured()
    {
        size_t bytes;
        const uint8_t *p = AudioTestCapture(&bytes);
        return std::vector<uint8_t>(p, p + bytes);
    }
    static bool AllZero(const std::vector<uint8_t> &v, size_t from)
    {
        return std::all_of(v.begin() + (long)std::min(from, v.size()), v.end(), [](uint8_t b) { return b == 0; });
    }
};

// ------------------------------------------------------------------------------------------------
// refill counts and the window
// ------------------------------------------------------------------------------------------------

TEST_F(StreamSound, FirstFillThenOneEighthPerPassThrottledByTheWindowAndTheShortfallAfterAStall)
{
    std::vector<uint8_t> pcm = RampPcm(44100 * 10, 2);
    int h = MakeStream({pcm}, {0});
    DsBufferInfo info = Inspect(h, 0);
    EXPECT_EQ(info.bytes, kRing);
    EXPECT_EQ(info.flags, 0x180E2u);
    ASSERT_EQ(PrepareStreamSoundBuffer(h), 0);
    SoundHandleRecord *r = Rec(h);
    EXPECT_EQ(r->writePosition, 705600);
    EXPECT_EQ(r->guardPosition, 0);
    EXPECT_EQ(r->decodePosition, 705600);
    std::vector<uint8_t> ring = Ring(h);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 705600, ring.begin()));

    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    EXPECT_EQ(QuerySoundPlaying(h), 1);
    // The cursor stands at 0: one eighth goes in, then the guard has passed the cursor.
    EXPECT_EQ(RefillStreamSound(h), 0);
    EXPECT_EQ(r->writePosition, 705600 + (int)kEighth);
    EXPECT_EQ(r->decodePosition, 705600 + (int)kEighth);
    EXPECT_EQ(RefillStreamSound(h), -1);
    EXPECT_EQ(r->writePosition, 705600 + (int)kEighth);
    // Each eighth played lets one more in: the unplayed data stays within 4 s and 4 s + 1/8 s.
    for (int i = 0; i < 20; i++) {
        AudioTestStep(kEighth / 4);
        EXPECT_EQ(RefillStreamSound(h), 0);
        EXPECT_EQ(RefillStreamSound(h), -1);
        uint32_t unplayed = ((uint32_t)r->writePosition + kRing - Inspect(h, 0).cursor) % kRing;
        EXPECT_GE(unplayed, 4 * B);
        EXPECT_LE(unplayed, 4 * B + kEighth);
    }
    // A stall leaving 1.5 s unplayed: one pass tops it up to three seconds.
    uint32_t unplayed = ((uint32_t)r->writePosition + kRing - Inspect(h, 0).cursor) % kRing;
    AudioTestStep((int)(unplayed - 264600) / 4);
    int before = r->decodePosition;
    EXPECT_EQ(RefillStreamSound(h), 0);
    EXPECT_EQ(r->decodePosition - before, 264600);
    // The data went in where it belongs, across the wrap of the ring.
    ring = Ring(h);
    for (uint32_t i = (uint32_t)r->decodePosition - kRing; i < (uint32_t)r->decodePosition; i += 4099)
        ASSERT_EQ(ring[i % kRing], pcm[i]) << i;
}

TEST_F(StreamSound, CursorOutsideTheWindowWritesNothing)
{
    int h = MakeStream({RampPcm(44100 * 20, 2)}, {0});
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    // More than four seconds played without a pass: the cursor has run past the write position.
    AudioTestStep(44100 * 5);
    std::vector<uint8_t> before = Ring(h);
    int w = Rec(h)->writePosition;
    EXPECT_EQ(RefillStreamSound(h), -1);
    EXPECT_EQ(Rec(h)->writePosition, w);
    EXPECT_EQ(Ring(h), before);
    DeleteSoundByHandle(h, 0);
}

// ------------------------------------------------------------------------------------------------
// loops and the end
// ------------------------------------------------------------------------------------------------

TEST_F(StreamSound, EndWithoutLoopPlaysThePcmThenSilenceAndStopsOnceTheCursorPassesIt)
{
    std::vector<uint8_t> pcm = RampPcm(44100 * 2 + 300, 2);
    int h = MakeStream({pcm}, {0});
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    int frames = 0;
    while (QuerySoundPlaying(h) == 1 && frames < 44100 * 8) {
        Play(AUDIO_MIX_SLICE_FRAMES);
        frames += AUDIO_MIX_SLICE_FRAMES;
    }
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    // It stops in the first pass after its end.
    EXPECT_GE(frames, 44100 * 2 + 300);
    EXPECT_LE(frames, 44100 * 2 + 300 + AUDIO_MIX_SLICE_FRAMES);
    std::vector<uint8_t> out = Captured();
    ASSERT_GE(out.size(), pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), out.begin()));
    EXPECT_TRUE(AllZero(out, pcm.size()));
    EXPECT_EQ(ReadStreamPositionMs(h), MeasureSoundLengthMs(h));
    // Restart 0 after the end stays silent; restart 1 plays it again from the start.
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 0), 0);
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    EXPECT_EQ(QuerySoundPlaying(h), 1);
    AudioTestClearCapture();
    Play(44100);
    out = Captured();
    EXPECT_TRUE(std::equal(out.begin(), out.end(), pcm.begin()));
}

TEST_F(StreamSound, LoopCountsTwoPlaysThreeTimesTwoHundredOnceAndTheListGoesOn)
{
    std::vector<uint8_t> a = RampPcm(30000, 2), b = RampPcm(20000, 2);
    for (size_t i = 0; i < b.size(); i++)
        b[i] ^= 0x55;
    int h = MakeStream({a, b}, {2, 200});
    EXPECT_EQ(CountSoundSamples(h), 50000);
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    Play(44100 * 3);
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    std::vector<uint8_t> expect;
    for (int i = 0; i < 3; i++)
        expect.insert(expect.end(), a.begin(), a.end());
    expect.insert(expect.end(), b.begin(), b.end());
    std::vector<uint8_t> out = Captured();
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), out.begin()));
    EXPECT_TRUE(AllZero(out, expect.size()));
}

TEST_F(StreamSound, EndlessSourcePlaysOnAndItsPositionStartsAgainAfterEachPass)
{
    std::vector<uint8_t> pcm = RampPcm(44100 * 5, 2);
    int h = MakeStream({pcm}, {STREAM_LOOP_ENDLESS});
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    Play(44100 * 4);
    EXPECT_NEAR(ReadStreamPositionMs(h), 4000, 25);
    Play(44100 * 2);
    EXPECT_NEAR(ReadStreamPositionMs(h), 1000, 25);
    Play(44100 * 6);
    EXPECT_EQ(QuerySoundPlaying(h), 1);
    EXPECT_NEAR(ReadStreamPositionMs(h), 2000, 25);
    std::vector<uint8_t> out = Captured();
    ASSERT_EQ(out.size(), (size_t)44100 * 12 * 4);
    for (size_t i = 0; i < out.size(); i += 997)
        ASSERT_EQ(out[i], pcm[i % pcm.size()]) << i;
}

TEST_F(StreamSound, ATruncatedWaveLoopsOnWholeFrames)
{
    std::vector<uint8_t> pcm = RampPcm(44100, 2);
    std::vector<uint8_t> cut = pcm;
    cut.insert(cut.end(), {0x55, 0x66, 0x77});  // a frame cut short after three of its bytes
    int h = MakeStream({cut}, {STREAM_LOOP_ENDLESS});
    EXPECT_EQ(CountSoundSamples(h), 44100);
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    Play(44100 * 3 + 1000);
    std::vector<uint8_t> out = Captured();
    ASSERT_EQ(out.size(), (44100u * 3 + 1000) * 4);
    for (size_t i = 0; i < out.size(); i++)
        ASSERT_EQ(out[i], pcm[i % pcm.size()]) << i;
}

TEST_F(StreamSound, LoopingPlayTypeStartsTheListAgainAndRebasesThePosition)
{
    std::vector<uint8_t> pcm = RampPcm(44100 * 5, 2);
    int h = MakeStream({pcm}, {0});
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_LOOP, 1), 0);
    Play(44100 * 7);
    EXPECT_EQ(QuerySoundPlaying(h), 1);
    EXPECT_NEAR(ReadStreamPositionMs(h), 2000, 25);
    std::vector<uint8_t> out = Captured();
    for (size_t i = 0; i < out.size(); i += 991)
        ASSERT_EQ(out[i], pcm[i % pcm.size()]) << i;
    // Stopping and playing without looping after the end was reached rewinds to the start.
    EXPECT_EQ(StopSoundByHandle(h), 0);
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 0), 0);
    EXPECT_NEAR(ReadStreamPositionMs(h), 0, 25);
}

TEST_F(StreamSound, EmptyLoopingSourcesEndThePassInsteadOfSpinning)
{
    int h = MakeStream({std::vector<uint8_t>(4, 0)}, {STREAM_LOOP_ENDLESS});
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_LOOP, 1), 0);
    Play(44100);
    EXPECT_EQ(QuerySoundPlaying(h), 1);
}

// ------------------------------------------------------------------------------------------------
// play list refusals
// ------------------------------------------------------------------------------------------------

TEST_F(StreamSound, RefusalsLogTheirTextsAndLeaveThePlayListIntact)
{
    std::vector<uint8_t> pcm = RampPcm(44100, 2);
    int h = MakeStream({pcm, pcm, pcm}, {0, 0, 0});
    ASSERT_EQ(Rec(h)->sourceCount, 3);
    std::vector<uint8_t> image = WaveImage(Pcm(44100, 2, 16), pcm);
    EXPECT_EQ(AppendStreamSourceMemory(image.data(), (uint32_t)image.size(), 0, h, STREAM_SOURCE_IMAGE, -1), -1);
    EXPECT_NE(Log().find("ストリーム風サウンドの制御データ領域がいっぱいです\n"), std::string::npos);
    EXPECT_NE(Log().find("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n"), std::string::npos);

    int g = MakeStream({pcm}, {0});
    std::vector<uint8_t> mono = WaveImage(Pcm(22050, 1, 16), RampPcm(22050, 1));
    EXPECT_EQ(AppendStreamSourceMemory(mono.data(), (uint32_t)mono.size(), 0, g, STREAM_SOURCE_IMAGE, -1), -1);
    EXPECT_NE(Log().find("フォーマットの違う音声データは同時に使うことは出来ません"), std::string::npos);
    EXPECT_EQ(Rec(g)->sourceCount, 1);
    ASSERT_EQ(PlaySoundByHandle(g, SOUND_PLAY_LOOP, 1), 0);
    EXPECT_EQ(AppendStreamSourceMemory(image.data(), (uint32_t)image.size(), 0, g, STREAM_SOURCE_IMAGE, -1), -1);
    EXPECT_NE(Log().find("既に再生中のストリームサウンドデータにデータを追加しようとしました\n"), std::string::npos);
    EXPECT_EQ(Rec(g)->sourceCount, 1);

    // Not sound data; a static sound; a missing file.
    const char junk[] = "this is no sound at all, not even close to one";
    int k = AddSoundData(-1);
    EXPECT_EQ(AppendStreamSourceMemory(junk, sizeof junk, 0, k, STREAM_SOURCE_IMAGE, -1), -1);
    EXPECT_NE(Log().find("音声データのオープンに失敗しました"), std::string::npos);
    EXPECT_EQ(AppendStreamSourceMemory(junk, sizeof junk, 0, k, STREAM_SOURCE_DECODED, -1), -1);
    EXPECT_NE(Log().find("音声データの変換に失敗しました"), std::string::npos);
    EXPECT_EQ(Rec(k)->sourceCount, 0);
    int s = CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), 1, -1);
    ASSERT_NE(s, -1);
    EXPECT_EQ(AppendStreamSourceMemory(image.data(), (uint32_t)image.size(), 0, s, STREAM_SOURCE_IMAGE, -1), -1);
    EXPECT_NE(Log().find("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n"), std::string::npos);
    EXPECT_EQ(AppendStreamSourceFile("none.wav", 0, k, STREAM_SOURCE_STREAM, -1), -1);
    EXPECT_NE(Log().find("右記のＷＡＶファイルのロードに失敗しました：none.wav \n"), std::string::npos);

    // Played through, the three sources are still all there.
    EXPECT_EQ(StopSoundByHandle(g), 0);
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    Play(44100 * 4);
    std::vector<uint8_t> out = Captured();
    for (size_t i = 0; i < 3 * pcm.size(); i += 1009)
        ASSERT_EQ(out[i], pcm[i % pcm.size()]) << i;
    DeleteAllSoundHandles(0);
}

TEST_F(StreamSound, DecodedAndStreamSourcesFromFilesPlayTheSameBytes)
{
    std::vector<uint8_t> pcm = RampPcm(44100, 2);
    std::vector<uint8_t> image = WaveImage(Pcm(44100, 2, 16), pcm);
    FILE *f = fopen("r.wav", "wb");
    ASSERT_NE(f, nullptr);
    fwrite(image.data(), 1, image.size(), f);
    fclose(f);
    int h = AddSoundData(-1);
    ASSERT_EQ(AppendStreamSourceFile("r.wav", 0, h, STREAM_SOURCE_DECODED, -1), 0);
    ASSERT_EQ(AppendStreamSourceFile("r.wav", 0, h, STREAM_SOURCE_STREAM, -1), 0);
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    Play(44100 * 3);
    std::vector<uint8_t> out = Captured();
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), out.begin()));
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), out.begin() + (long)pcm.size()));
    EXPECT_TRUE(AllZero(out, 2 * pcm.size()));
    // The kept file is closed with the sound.
    EXPECT_EQ(DeleteSoundByHandle(h, 0), 0);
}

// ------------------------------------------------------------------------------------------------
// halt, resume, sharing
// ------------------------------------------------------------------------------------------------

TEST_F(StreamSound, HaltThenPlayWithRestartZeroResumesAndRestartOneRewinds)
{
    std::vector<uint8_t> pcm = RampPcm(44100 * 8, 2);
    int h = MakeStream({pcm}, {0});
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    Play(44100 * 5);
    EXPECT_EQ(StopSoundByHandle(h), 0);
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    EXPECT_EQ(ReadStreamPositionMs(h), 5000);
    Play(44100);  // stopped: silence, no move
    EXPECT_EQ(ReadStreamPositionMs(h), 5000);
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 0), 0);
    Play(44100 * 2);
    EXPECT_EQ(ReadStreamPositionMs(h), 7000);
    std::vector<uint8_t> out = Captured();
    std::vector<uint8_t> expect(pcm.begin(), pcm.begin() + 44100 * 5 * 4);
    expect.insert(expect.end(), 44100 * 4, 0);
    expect.insert(expect.end(), pcm.begin() + 44100 * 5 * 4, pcm.begin() + 44100 * 7 * 4);
    EXPECT_EQ(out, expect);
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    EXPECT_EQ(ReadStreamPositionMs(h), 0);
    AudioTestClearCapture();
    Play(44100);
    out = Captured();
    EXPECT_TRUE(std::equal(out.begin(), out.end(), pcm.begin()));
}

TEST_F(StreamSound, SharedRingIsClaimedOnPlayAndFreedWithItsLastSharer)
{
    std::vector<uint8_t> pa = RampPcm(44100 * 5, 2), pb = RampPcm(44100 * 5, 2);
    for (size_t i = 0; i < pb.size(); i++)
        pb[i] = (uint8_t)~pb[i];
    int a = MakeStream({pa}, {0});
    images.push_back(WaveImage(Pcm(44100, 2, 16), pb));
    int b = AddSoundData(-1);
    ASSERT_EQ(AppendStreamSourceMemory(images.back().data(), (uint32_t)images.back().size(), 0, b,
                                       STREAM_SOURCE_IMAGE, a),
              0);
    EXPECT_EQ(Rec(b)->sharedStreamHandle, a);
    EXPECT_EQ(Rec(b)->buffers[0].valid, 0);
    EXPECT_EQ(Rec(a)->sharerCount, 1);

    ASSERT_EQ(PlaySoundByHandle(a, SOUND_PLAY_BACK, 1), 0);
    Play(44100);
    ASSERT_EQ(PlaySoundByHandle(b, SOUND_PLAY_BACK, 1), 0);
    EXPECT_EQ(QuerySoundPlaying(a), 0);  // the ring is b's now
    EXPECT_EQ(QuerySoundPlaying(b), 1);
    AudioTestClearCapture();
    Play(44100);
    std::vector<uint8_t> out = Captured();
    EXPECT_TRUE(std::equal(out.begin(), out.end(), pb.begin()));
    EXPECT_EQ(StopSoundByHandle(b), 0);
    EXPECT_EQ(Rec(a)->ringUser, -1);

    // The owner deleted while shared waits for its sharer.
    EXPECT_EQ(DeleteSoundByHandle(a, 0), 0);
    ASSERT_NE(Rec(a), nullptr);
    EXPECT_EQ(Rec(a)->pendingDelete, 1);
    EXPECT_EQ(DeleteSoundByHandle(b, 0), 0);
    EXPECT_EQ(Rec(a), nullptr);
    EXPECT_EQ(Rec(b), nullptr);
}

// ------------------------------------------------------------------------------------------------
// a real file
// ------------------------------------------------------------------------------------------------

TEST_F(StreamSound, TwentySecondOggStreamedEqualsOggdecSampleForSample)
{
    REQUIRE_TOOLS("sox", "oggenc", "oggdec");
    ASSERT_TRUE(soundtest::Shell("sox -n -r 44100 -c 2 -b 16 t.wav synth 20 sine 300-900 sine 440 vol 0.5"));
    ASSERT_TRUE(soundtest::Shell("oggenc -Q t.wav -o t.ogg && oggdec -Q t.ogg -o ref.wav"));
    std::vector<uint8_t> ref = soundtest::WaveData("ref.wav");
    ASSERT_EQ(ref.size(), (size_t)44100 * 20 * 4);
    std::vector<uint8_t> ogg = soundtest::ReadFile("t.ogg");
    int h = AddSoundData(-1);
    ASSERT_EQ(AppendStreamSourceMemory(ogg.data(), (uint32_t)ogg.size(), 0, h, STREAM_SOURCE_IMAGE, -1), 0);
    EXPECT_EQ(MeasureSoundLengthMs(h), 20000);
    ASSERT_EQ(PrepareStreamSoundBuffer(h), 0);
    ASSERT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 1), 0);
    int last = 0;
    for (int s = 0; s < 21; s++) {
        Play(44100);
        int ms = ReadStreamPositionMs(h);
        EXPECT_GE(ms, last);
        EXPECT_LE(ms, 20000);
        last = ms;
    }
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    std::vector<uint8_t> out = Captured();
    ASSERT_GE(out.size(), ref.size());
    EXPECT_TRUE(std::equal(ref.begin(), ref.end(), out.begin()));
    EXPECT_TRUE(AllZero(out, ref.size()));
    EXPECT_EQ(DeleteSoundByHandle(h, 0), 0);
}

// A play from another thread while the main thread refills, steps and finally deletes: the refills
// and plays take turns on the ring, and the last play finds the handle gone.
TEST_F(StreamSound, PlaysFromAnotherThreadTakeTurnsWithTheRefills)
{
    int h = MakeStream({RampPcm(44100 * 3, 2)}, {STREAM_LOOP_ENDLESS});
    std::atomic<int> plays{0}, refused{0};
    std::thread other([&] {
        while (PlaySoundByHandle(h, plays.load() % 2 ? SOUND_PLAY_LOOP : SOUND_PLAY_BACK, plays.load() % 3 == 0) == 0)
            plays++;
        refused++;
    });
    for (int i = 0; i < 200 || plays.load() < 20; i++) {
        Play(AUDIO_MIX_SLICE_FRAMES);
        EXPECT_LE(ReadStreamPositionMs(h), MeasureSoundLengthMs(h));
    }
    EXPECT_EQ(DeleteSoundByHandle(h, 0), 0);
    other.join();
    EXPECT_EQ(refused.load(), 1);
}

TEST_F(StreamSound, EveryCallRefusesBadHandles)
{
    EXPECT_EQ(PlayStreamSound(0x10000123, 1, 1), -1);
    EXPECT_EQ(HaltStreamSound(-1), -1);
    EXPECT_EQ(QueryStreamSoundPlaying(0x58000000), -1);
    EXPECT_EQ(ReadStreamPositionMs(12), -1);
    EXPECT_EQ(RefillStreamSound(0x10000000), -1);
    EXPECT_EQ(PrepareStreamSoundBuffer(0x10010000), -1);
    // A handle without sources is static and has nothing to refill.
    int k = AddSoundData(-1);
    EXPECT_EQ(RefillStreamSound(k), 0);
    EXPECT_EQ(PrepareStreamSoundBuffer(k), 0);
    DeleteSoundByHandle(k, 0);
    ShutdownSoundSystem();
    EXPECT_EQ(RefillAllStreamSounds(), -1);
    EXPECT_EQ(AppendStreamSourceFile("x.wav", 0, k, 2, -1), -1);
}

}  // namespace
