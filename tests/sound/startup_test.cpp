// Sound system start-up and shutdown: the log texts and device report byte for byte, the primary
// format from the capabilities, every failing step, and the module inside the library's start and end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "tests/sound/sound_test_support.h"
#include "testsupport/test_hooks.h"

namespace {

using namespace soundtest;

class StartupTest : public StartedSound {
protected:
    StartupTest() { keepStopped = true; }
    DsBufferInfo Primary()
    {
        DsBufferInfo info{};
        EXPECT_EQ(DsTestInspect(PrimarySoundBuffer, &info), 0);
        return info;
    }
    DsCaps Caps(uint32_t flags, uint32_t maxRate)
    {
        DsCaps caps{};
        caps.size = sizeof caps;
        caps.flags = flags;
        caps.minSecondaryRate = 100;
        caps.maxSecondaryRate = maxRate;
        return caps;
    }
};

const uint32_t kAllFormats = DS_CAPS_PRIMARY_MONO | DS_CAPS_PRIMARY_STEREO | DS_CAPS_PRIMARY_8BIT |
                             DS_CAPS_PRIMARY_16BIT | DS_CAPS_SECONDARY_MONO | DS_CAPS_SECONDARY_STEREO |
                             DS_CAPS_SECONDARY_8BIT | DS_CAPS_SECONDARY_16BIT;

TEST_F(StartupTest, StartAndEndWriteTheirTextsAndReport)
{
    DsCaps caps = Caps(kAllFormats & ~DS_CAPS_SECONDARY_8BIT, 100000);
    caps.totalHwMemBytes = 4194304;
    caps.freeHwMemBytes = 1536;
    DsTestSetCaps(&caps);
    ASSERT_EQ(StartupSoundSystem(), 0);
    std::string device = std::string("モジュール名:") + "         manual  ドライバ記述:" + AudioGetDeviceName() + " \n";
    ASSERT_EQ(ShutdownSoundSystem(), 0);
    CloseLogFile();
    std::string expected = std::string("DirectSound の初期化を行います\n") +
                           "DirectSound インターフェースの取得を行います....  成功\n" +
                           "引き続きインターフェースの初期化処理...  成功\n" +
                           "\tDirectSound デバイスを列挙します\n" +
                           "\t\tモジュール名:                 ドライバ記述:Primary Sound Driver \n" +
                           "\t\t" + device +
                           "\t最大サンプリングレート:100.00KHz 最小サンプリングレート:0.10KHz \n" +
                           "\t総サウンドメモリ領域:4096.00KB 空きサウンドメモリ領域:1.50KB \n" +
                           "\t\n" +
                           "\t利用可能サンプリング精度\n" +
                           "\t プライマリ １６bit = OK  ８bit = OK \n" +
                           "\t セカンダリ １６bit = OK  ８bit = NO \n" +
                           "\t\n" +
                           "\t利用可能チャンネル\n" +
                           "\t プライマリ MONO = OK  STEREO = OK \n" +
                           "\t セカンダリ MONO = OK  STEREO = OK \n" +
                           "\t\n" +
                           "DirectSound の初期化は正常に終了しました\n" +
                           "DirectSound の終了処理は正常に終了しました\n";
    EXPECT_EQ(Log(), expected);
}

TEST_F(StartupTest, PrimaryFormatFollowsTheCapabilities)
{
    struct Case {
        uint32_t flags, maxRate, rate;
        uint16_t channels, bits, align;
    } cases[] = {
        {kAllFormats, 100000, 44100, 2, 16, 4},
        {kAllFormats, 22050, 22050, 2, 16, 4},
        {kAllFormats & ~(DS_CAPS_PRIMARY_STEREO | DS_CAPS_PRIMARY_16BIT), 48000, 44100, 1, 8, 1},
    };
    for (const Case &c : cases) {
        DsCaps caps = Caps(c.flags, c.maxRate);
        DsTestSetCaps(&caps);
        ASSERT_EQ(StartupSoundSystem(), 0);
        WaveFormat f = Primary().format;
        EXPECT_EQ(f.samplesPerSec, c.rate);
        EXPECT_EQ(f.channels, c.channels);
        EXPECT_EQ(f.bitsPerSample, c.bits);
        EXPECT_EQ(f.blockAlign, c.align);
        EXPECT_EQ(f.avgBytesPerSec, c.rate * c.align);
        ASSERT_EQ(ShutdownSoundSystem(), 0);
    }
}

TEST_F(StartupTest, SecondStartAndEarlyShutdownAreRefused)
{
    EXPECT_EQ(ShutdownSoundSystem(), -1);
    CloseLogFile();
    EXPECT_EQ(ReadFile(dir.path + "/Log.txt").size(), 0u);
    ASSERT_EQ(OpenLogFile(dir.path.c_str()), 0);
    ASSERT_EQ(StartupSoundSystem(), 0);
    DsDevice *device = SoundDevice;
    int live = DsTestLiveBufferCount();
    EXPECT_EQ(StartupSoundSystem(), -1);
    EXPECT_EQ(SoundDevice, device);
    EXPECT_EQ(DsTestLiveBufferCount(), live);
    EXPECT_NE(SilentLoopBuffer, nullptr);
    DsBufferInfo silent{};
    ASSERT_EQ(DsTestInspect(SilentLoopBuffer, &silent), 0);
    EXPECT_EQ(silent.bytes, 400u);
    EXPECT_EQ(silent.looping, 1);
    EXPECT_EQ(silent.flags, 0x8002u);
}

TEST_F(StartupTest, FailingStepsReleaseTheDeviceAndRefuseEveryCall)
{
    struct Case {
        DsFaultKind kind;
        const char *text;
    } cases[] = {
        {DS_FAULT_CREATE_DEVICE, "DirectSound インターフェースの取得を行います....  DirectSoundインターフェースの作成に失敗しました\n"},
        {DS_FAULT_INITIALIZE, "引き続きインターフェースの初期化処理...  初期化に失敗しました\n"},
        {DS_FAULT_SET_COOPERATIVE_LEVEL, "成功\nDirectSoundの協調レベルの設定に失敗しました\n"},
    };
    for (const Case &c : cases) {
        DsTestFailNth(c.kind, 1);
        EXPECT_EQ(StartupSoundSystem(), -1);
        EXPECT_EQ(SoundDevice, nullptr);
        EXPECT_EQ(DsTestLiveBufferCount(), liveBefore);
        EXPECT_EQ(LoadSoundFileToHandle("x.wav", 1, -1), -1);
        EXPECT_NE(Log().find(c.text), std::string::npos) << c.text;
    }
    DsTestFailNth(DS_FAULT_CREATE_BUFFER, 1);  // the primary buffer is the first one made
    EXPECT_EQ(StartupSoundSystem(), -1);
    EXPECT_EQ(SoundDevice, nullptr);
    EXPECT_EQ(DsTestLiveBufferCount(), liveBefore);
    EXPECT_NE(Log().find("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n"), std::string::npos);
    EXPECT_EQ(ShutdownSoundSystem(), -1);
}

TEST_F(StartupTest, NonEssentialFailuresAreLoggedAndStartUpGoesOn)
{
    DsTestRefuseBufferFlags(0x8002);
    DsTestFailNth(DS_FAULT_SET_FORMAT, 1);
    DsTestSetModuleMode(DS_MODULE_MISSING);
    ASSERT_EQ(StartupSoundSystem(), 0);
    EXPECT_EQ(SilentLoopBuffer, nullptr);
    ASSERT_EQ(ShutdownSoundSystem(), 0);
    std::string log = Log();
    EXPECT_NE(log.find("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n"), std::string::npos);
    // The unfinished silent-buffer line is ended by the report's first line; the indentation is back.
    EXPECT_NE(log.find("無音バッファの作成に失敗しましたDirectSound デバイスを列挙します\n"
                       "\t\tDSOUND.DLL のロードに失敗しました\n"
                       "DirectSound の初期化は正常に終了しました\n"),
              std::string::npos);

    DsTestResetFaults();
    DsTestFailNth(DS_FAULT_LOCK, 1);
    DsTestSetModuleMode(DS_MODULE_NO_ENUMERATE);
    ASSERT_EQ(StartupSoundSystem(), 0);
    EXPECT_EQ(SilentLoopBuffer, nullptr);
    EXPECT_NE(Log().find("無音バッファのロックに失敗しましたDirectSound デバイスを列挙します\n"
                         "\t\tDirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n"
                         "DirectSound の初期化は正常に終了しました\n"),
              std::string::npos);
}

// ================================================================================================
// inside the library
// ================================================================================================

class LibrarySound : public ::testing::Test {
protected:
    fixture::TempDir dir;
    void SetUp() override
    {
        setenv("DAZAR_SINGLE_INSTANCE", "0", 1);
        DsTestResetFaults();
        AudioTestSetAutoAdvance(0);
        ASSERT_EQ(AudioSelectBackend("manual"), 0);
    }
    void TearDown() override
    {
        EndLibrary();
        DsTestResetFaults();
        AudioTestSetAutoAdvance(0);
    }
};

TEST_F(LibrarySound, StartsBetweenInputAndGraphicsAndWaitsForASoundsEnd)
{
    ASSERT_EQ(InitLibrary(), 0);
    ASSERT_NE(SoundDevice, nullptr);
    std::vector<uint8_t> image = WaveImage(Pcm(44100, 2, 16), RampPcm(4410, 2));
    int h = CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), 2, -1);
    ASSERT_NE(h, -1);
    AudioTestSetAutoAdvance(441);
    ASSERT_EQ(PlaySoundByHandle(h, 0, 1), 0);
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    size_t bytes = 0;
    AudioTestCapture(&bytes);
    EXPECT_GE(bytes, 4410u * 4);
    EndLibrary();
    EXPECT_EQ(SoundDevice, nullptr);
    std::string log = ReadLogWithoutStamps();
    size_t start = log.find("DirectSound の初期化を行います\n");
    size_t done = log.find("DirectSound の初期化は正常に終了しました\n");
    size_t end = log.find("DirectSound の終了処理は正常に終了しました\n");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(done, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LT(start, done);
    EXPECT_LT(done, end);
}

TEST_F(LibrarySound, ALibraryWithoutSoundRunsAndRefusesSoundCalls)
{
    DsTestFailAlways(DS_FAULT_CREATE_DEVICE, 1);
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(SoundDevice, nullptr);
    std::vector<uint8_t> image = WaveImage(Pcm(22050, 1, 16), RampPcm(1000, 1));
    EXPECT_EQ(CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), 1, -1), -1);
    EXPECT_EQ(LoadSoundFileToHandle("x.wav", 3, -1), -1);
    EXPECT_EQ(PlaySoundByHandle(0x10000000, 1, 1), -1);
    EXPECT_EQ(DeleteAllSoundHandles(0), -1);
    EXPECT_EQ(IsCurrentMusicPlaying(), 0);
    EndLibrary();
    std::string log = ReadLogWithoutStamps();
    EXPECT_NE(log.find("DirectSoundインターフェースの作成に失敗しました\n"), std::string::npos);
    EXPECT_EQ(log.find("DirectSound の終了処理"), std::string::npos);
}

}  // namespace
