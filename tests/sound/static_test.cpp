// Static sounds on the manual output: buffers taken in turn, restart rules, waiting plays, loops,
// positions, the volume table, the mixed output against the PCM, and the game's own sound files.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/sound/sound_test_support.h"
#include "testsupport/test_hooks.h"

namespace {

using namespace soundtest;

class StaticTest : public StartedSound {
protected:
    // A one-second stereo ramp at the device rate, three buffers.
    int MakeSecond(int buffers = 3) { return MakeStatic(Pcm(44100, 2, 16), RampPcm(44100, 2), buffers); }
};

TEST_F(StaticTest, PlaysTakeTheBuffersInTurnAndTheFourthRestartsTheOldest)
{
    int h = MakeSecond();
    ASSERT_NE(h, -1);
    std::vector<int> used;
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(PlaySoundByHandle(h, 1, 1), 0);
        used.push_back(LookupSoundRecord(h)->currentBuffer);
        ASSERT_EQ(AudioTestStep(1000), 0);
    }
    EXPECT_EQ(used, (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(Inspect(h, 1).cursor, 3000u * 4);
    ASSERT_EQ(PlaySoundByHandle(h, 1, 1), 0);
    EXPECT_EQ(LookupSoundRecord(h)->currentBuffer, 1);
    EXPECT_EQ(Inspect(h, 1).cursor, 0u);
    EXPECT_EQ(Inspect(h, 1).playing, 1);
    EXPECT_EQ(QuerySoundPlaying(h), 1);
    ASSERT_EQ(StopSoundByHandle(h), 0);
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    EXPECT_NE(LookupSoundRecord(h), nullptr);
    DeleteSoundByHandle(h, 0);
}

TEST_F(StaticTest, RestartZeroSkipsABusyBufferAndResumesAnIdleOne)
{
    int h = MakeSecond(2);
    ASSERT_EQ(PlaySoundByHandle(h, 1, 1), 0);  // buffer 1
    AdvanceSteppedClock(5000);
    AudioTestStep(2000);
    ASSERT_EQ(PlaySoundByHandle(h, 1, 1), 0);  // buffer 0
    uint32_t start = LookupSoundRecord(h)->playStartTime;
    AdvanceSteppedClock(5000);
    AudioTestStep(500);
    // Buffer 1 still plays: nothing starts, the start time stays, but the turn moves on.
    EXPECT_EQ(PlaySoundByHandle(h, 1, 0), 0);
    EXPECT_EQ(LookupSoundRecord(h)->currentBuffer, 1);
    EXPECT_EQ(LookupSoundRecord(h)->playStartTime, start);
    EXPECT_EQ(Inspect(h, 1).cursor, 2500u * 4);

    // Idle next buffer: started at the cursor of the one before.
    StopSoundByHandle(h);
    SoundHandleRecord *r = LookupSoundRecord(h);
    SetSoundBufferEntryPosition(&r->buffers[1], 4000);
    ASSERT_EQ(PlaySoundByHandle(h, 1, 0), 0);
    EXPECT_EQ(r->currentBuffer, 0);
    EXPECT_EQ(Inspect(h, 0).cursor, 4000u);
    EXPECT_EQ(Inspect(h, 0).playing, 1);
    DeleteSoundByHandle(h, 0);
}

TEST_F(StaticTest, PositionInMilliseconds)
{
    int h = MakeSecond(1);
    ASSERT_EQ(PlaySoundByHandle(h, 1, 1), 0);
    EXPECT_EQ(GetSoundPlayPositionMs(h), 0);
    AudioTestStep(22050);
    EXPECT_EQ(GetSoundPlayPositionMs(h), 500);
    DeleteSoundByHandle(h, 0);
}

TEST_F(StaticTest, VolumeTable)
{
    int h = MakeSecond(2);
    struct Case {
        int volume;
        int32_t hundredths;
    } cases[] = {{0, -10000}, {-5, -10000}, {300, 0}, {255, 0}, {128, -299}, {64, -600}, {1, -2406}};
    for (const Case &c : cases) {
        ASSERT_EQ(ChangeSoundVolume(c.volume, h), 0);
        EXPECT_EQ(Inspect(h, 0).volume, c.hundredths) << c.volume;
        EXPECT_EQ(Inspect(h, 1).volume, c.hundredths) << c.volume;
    }
    DeleteSoundByHandle(h, 0);
}

TEST_F(StaticTest, BufferCountsAreCapped)
{
    std::vector<uint8_t> image = WaveImage(Pcm(22050, 1, 16), RampPcm(1000, 1));
    fixture::WriteFile("t.wav", std::string(image.begin(), image.end()));
    int h = LoadSoundFileToHandle("t.wav", 25, -1);
    ASSERT_NE(h, -1);
    EXPECT_EQ(LookupSoundRecord(h)->bufferCount, 10);
    EXPECT_EQ(CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), 25, -1), -1);
    DeleteSoundByHandle(h, 0);
}

TEST_F(StaticTest, MixedOutputEqualsThePcm)
{
    REQUIRE_TOOLS("sox");
    ASSERT_TRUE(MakeTone("s.wav", 44100, 2, 16, 0.5));
    std::vector<uint8_t> pcm = WaveData("s.wav");
    int h = LoadSoundFileToHandle("s.wav", 1, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(PlaySoundByHandle(h, 1, 1), 0);
    AudioTestStep((int)pcm.size() / 4 + 100);
    size_t bytes = 0;
    const uint8_t *capture = AudioTestCapture(&bytes);
    ASSERT_EQ(bytes, pcm.size() + 400);
    EXPECT_EQ(std::vector<uint8_t>(capture, capture + pcm.size()), pcm);
    EXPECT_EQ(std::vector<uint8_t>(capture + pcm.size(), capture + bytes), std::vector<uint8_t>(400, 0));
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    DeleteSoundByHandle(h, 0);
}

TEST_F(StaticTest, LoopsPlayOnUntilStopped)
{
    int h = MakeStatic(Pcm(44100, 2, 16), RampPcm(4410, 2), 1);
    ASSERT_EQ(PlaySoundByHandle(h, 3, 1), 0);
    AudioTestStep(4410 * 3 + 7);
    EXPECT_EQ(QuerySoundPlaying(h), 1);
    EXPECT_EQ(Inspect(h, 0).cursor, 7u * 4);
    EXPECT_EQ(Inspect(h, 0).looping, 1);
    StopSoundByHandle(h);
    AudioTestStep(100);
    EXPECT_EQ(Inspect(h, 0).cursor, 7u * 4);
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    DeleteSoundByHandle(h, 0);
}

TEST_F(StaticTest, MissingAndUndecodableFilesAreLogged)
{
    EXPECT_EQ(LoadSoundFileToHandle("none.wav", 3, -1), -1);
    fixture::WriteFile("text.wav", std::string(3000, 'a'));
    EXPECT_EQ(LoadSoundFileToHandle("text.wav", 3, -1), -1);
    // A WAVE whose decoded data is shorter than one buffer allows.
    std::vector<uint8_t> tiny = WaveImage(Pcm(22050, 1, 8), {128, 128});
    EXPECT_EQ(CreateSoundFromMemoryImage(tiny.data(), (uint32_t)tiny.size(), 1, -1), -1);
    CloseLogFile();
    std::string log = Log();
    EXPECT_NE(log.find("右記のファイルのオープンに失敗しました：none.wav\n"
                       "右記の音声ファイルのロードに失敗しました_1：none.wav\n"),
              std::string::npos);
    EXPECT_NE(log.find("音声ファイルのＰＣＭへの変換に失敗しました\n"
                       "右記の音声ファイルのロードに失敗しました_2：text.wav\n"),
              std::string::npos);
}

TEST_F(StaticTest, AFailedLockDeletesTheNewHandle)
{
    DsTestFailNth(DS_FAULT_LOCK, 1);
    int h = MakeSecond(2);
    EXPECT_EQ(h, -1);
    EXPECT_EQ(SoundHandleTable.usedCount, 0);
    CloseLogFile();
    EXPECT_NE(Log().find("サウンドデータの転送に失敗しました_1"), std::string::npos);
}

TEST_F(StaticTest, EveryFormatTheDecodersTakeLoadsAsAStaticSound)
{
    REQUIRE_TOOLS("sox", "lame", "oggenc");
    ASSERT_TRUE(MakeTone("t.wav", 22050, 1, 16, 0.3));
    ASSERT_TRUE(Shell("sox t.wav -e ima-adpcm a.wav"));
    ASSERT_TRUE(Shell("sox t.wav -b 24 w.wav"));
    ASSERT_TRUE(Shell("lame --quiet -b 64 t.wav t.mp3"));
    ASSERT_TRUE(Shell("oggenc -Q t.wav -o t.ogg"));
    for (const char *name : {"t.wav", "a.wav", "w.wav", "t.mp3", "t.ogg"}) {
        int h = LoadSoundFileToHandle(name, 3, -1);
        ASSERT_NE(h, -1) << name;
        EXPECT_NEAR(MeasureSoundLengthMs(h), 300, 40) << name;
        EXPECT_EQ(PlaySoundByHandle(h, 1, 1), 0);
        DeleteSoundByHandle(h, 0);
    }
}

// The stage clock plays a voice from its own thread while the main thread plays, reads and deletes:
// no turn of the buffer rotation is lost, and a play racing the delete finds the handle gone.
TEST_F(StaticTest, PlaysFromTwoThreadsKeepTheTurnsAndARacingDeleteIsRefused)
{
    int h = MakeSecond(3);
    ASSERT_NE(h, -1);
    const int plays = 3000;
    std::atomic<int> failures{0};
    auto player = [&] {
        for (int i = 0; i < plays; i++)
            if (PlaySoundByHandle(h, 1, 1) != 0)
                failures++;
    };
    std::thread clock(player);
    for (int i = 0; i < plays; i++) {
        if (PlaySoundByHandle(h, 1, 1) != 0)
            failures++;
        if (GetSoundPlayPositionMs(h) < 0)
            failures++;
    }
    clock.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(LookupSoundRecord(h)->currentBuffer, (2 * plays) % 3);

    std::atomic<int> played{0}, refused{0};
    std::thread late([&] {
        while (PlaySoundByHandle(h, 1, 1) == 0)
            played++;
        refused++;
    });
    while (played.load() < 50)
        std::this_thread::yield();
    EXPECT_EQ(DeleteSoundByHandle(h, 0), 0);
    late.join();
    EXPECT_EQ(refused.load(), 1);
}

// The generated game sounds: 16 effects and 32 voices, three buffers each, all audible.
TEST_F(StaticTest, GameAssetsLoadAndPlay)
{
    const char *assets = getenv("DAZAR_ASSET_DIR");
    std::vector<std::string> files;
    for (const char *sub : {"wav", "voice"}) {
        std::string cmd = std::string("ls '") + (assets ? assets : "") + "/" + sub + "' 2>/dev/null";
        FILE *p = popen(cmd.c_str(), "r");
        char line[512];
        while (p && fgets(line, sizeof line, p)) {
            std::string name = line;
            name.erase(name.find_last_not_of("\r\n") + 1);
            files.push_back(std::string(assets) + "/" + sub + "/" + name);
        }
        if (p)
            pclose(p);
    }
    if (files.size() < 48)
        GTEST_SKIP() << "the generated assets are not built";
    std::vector<int> handles;
    for (const std::string &f : files) {
        int h = LoadSoundFileToHandle(f.c_str(), 3, -1);
        ASSERT_NE(h, -1) << f;
        EXPECT_EQ(LookupSoundRecord(h)->bufferCount, 3);
        handles.push_back(h);
    }
    for (int h : handles) {
        AudioTestClearCapture();
        ASSERT_EQ(PlaySoundByHandle(h, 1, 1), 0);
        AudioTestStep(4410);
        size_t bytes = 0;
        const uint8_t *c = AudioTestCapture(&bytes);
        int peak = 0;
        for (size_t i = 0; i + 1 < bytes; i += 2)
            peak = std::max(peak, std::abs((int)(int16_t)(c[i] | (c[i + 1] << 8))));
        EXPECT_GT(peak, 100);
        StopSoundByHandle(h);
    }
    DeleteAllSoundHandles(0);
}

}  // namespace
