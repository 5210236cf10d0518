// Music through the sequencer on the manual audio output: the temporary MIDI file's life, looping on
// the completion notice, stops within the pump passes, the handle table, and the failure paths.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "lib/core/library.h"
#include "lib/core/lock.h"
#include "lib/core/system.h"
#include "lib/sound/music.h"
#include "lib/sound/sound.h"
#include "lib/sound/sound_internal.h"
#include "platform/dsound/mixer.h"
#include "platform/mci/mci.h"
#include "platform/window/window.h"
#include "tests/platform/acm/fixture_tools.h"
#include "tests/sound/sound_test_support.h"
#include "tests/support/test_temp_dir.h"
#include "testsupport/test_hooks.h"

namespace {

// One second at 120 beats per minute: a note from tick 0 to 960 at 480 ticks per beat.
const char kOneSecondCsv[] =
    "0, 0, Header, 0, 1, 480\n1, 0, Start_track\n1, 0, Tempo, 500000\n1, 0, Program_c, 0, 0\n"
    "1, 0, Note_on_c, 0, 60, 100\n1, 960, Note_off_c, 0, 60, 0\n1, 960, End_track\n0, 0, End_of_file\n";

const int kSecond = 44100;

// The pump's music hook steps the manual output one slice, so calls that wait for the music's end
// see it come.
int StepAudioAndPoll(void)
{
    AudioTestStep(AUDIO_MIX_SLICE_FRAMES);
    return PollDirectMusicSegments();
}


class Music : public ::testing::Test {
protected:
    std::string tmpDir;
    std::string savedTmp;
    std::vector<uint8_t> midi;

    void SetUp() override
    {
        ASSERT_TRUE(fixture::HaveTool("csvmidi")) << "csvmidi is needed (scripts/install-deps.sh)";
        const char *t = getenv("TMPDIR");
        savedTmp = t ? t : "";
        ASSERT_EQ(EnterFreshTempDir(), 0);
        tmpDir = std::string(GetFreshTempDir()) + "/tmp";
        ASSERT_TRUE(fixture::Shell("mkdir -p tmp mid"));
        setenv("TMPDIR", tmpDir.c_str(), 1);
        setenv("DAZAR_AUDIO", "manual", 1);
        fixture::WriteFile("t.csv", kOneSecondCsv);
        ASSERT_TRUE(fixture::Shell("csvmidi t.csv mid/t.mid"));
        midi = fixture::ReadFile("mid/t.mid");
        MciTestResetFaults();
        ASSERT_EQ(InitLibrary(), 0);
        ASSERT_NE(SoundDevice, nullptr);
        AudioTestSetAutoAdvance(0);
    }
    void TearDown() override
    {
        EndLibrary();
        SetPumpHookTable(nullptr);
        MciTestResetFaults();
        if (savedTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTmp.c_str(), 1);
        LeaveFreshTempDir();
    }
    // Names in the temporary directory.
    std::vector<std::string> TempFiles()
    {
        std::vector<std::string> names;
        DIR *dir = opendir(tmpDir.c_str());
        if (!dir)
            return names;
        while (dirent *e = readdir(dir)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
        return names;
    }
    std::string Log() { return ReadTestFile((std::string(GetFreshTempDir()) + "/Log.txt").c_str()); }
    // The one streamed sound there is, or null.
    SoundHandleRecord *StreamRecord()
    {
        for (int slot = 0; slot < SoundHandleTable.usedBound; slot++) {
            SoundHandleRecord *r = (SoundHandleRecord *)SoundHandleTable.records[slot];
            if (r && r->kind == SOUND_KIND_STREAM)
                return r;
        }
        return nullptr;
    }
};

TEST_F(Music, LoopingMidiPlaysFromATempFileRestartsOnItsNoticeAndStopLeavesNothing)
{
    ASSERT_EQ(PlayMusicFile("mid\\t.mid", SOUND_PLAY_LOOP), 0);
    std::vector<std::string> files = TempFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind("tmp", 0), 0u);
    EXPECT_EQ(fixture::ReadFile(tmpDir + "/" + files[0]), midi);
    EXPECT_EQ(IsCurrentMusicPlaying(), 1);
    EXPECT_EQ(MciTestOpenDeviceCount(), 1);

    // Each second of music ends in a notice that plays it again from the start.
    for (int pass = 0; pass < 2; pass++) {
        for (int frames = 0; frames < kSecond + AUDIO_MIX_SLICE_FRAMES; frames += AUDIO_MIX_SLICE_FRAMES) {
            AudioTestStep(AUDIO_MIX_SLICE_FRAMES);
            PumpMessages();
        }
        EXPECT_EQ(IsCurrentMusicPlaying(), 1);
        EXPECT_EQ(MciTestOpenDeviceCount(), 1);
        MciStatusParams mode = {0, 0, MCI_STATUS_MODE, 0};
        ASSERT_EQ(MciSendCommand(MciMusicState.deviceId, MCI_STATUS, MCI_STATUS_ITEM, (uintptr_t)&mode), MCI_OK);
        EXPECT_EQ(mode.result, MCI_MODE_PLAY) << "pass " << pass;
    }

    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(IsCurrentMusicPlaying(), 0);
    EXPECT_EQ(MciMusicState.loop, 0);
    // The notice the close posted was taken by the stop's own pump passes.
    WMessage message;
    int notices = 0;
    while (WPeekMessage(&message, (WHandle)GetMainWindowHandle(), 1))
        notices += message.message == W_MM_MCINOTIFY;
    EXPECT_EQ(notices, 0);
}

TEST_F(Music, BackgroundPlayClosesAtItsEndAndTheSoundEndDeletesItsFile)
{
    int h = LoadMusicMem("mid/t.mid");
    ASSERT_NE(h, -1);
    ASSERT_EQ(PlayMusicHandle(h, SOUND_PLAY_BACK), 0);
    EXPECT_EQ(CheckMusicHandlePlaying(h), 1);
    AudioTestStep(kSecond + AUDIO_MIX_SLICE_FRAMES);
    PumpMessages();
    EXPECT_EQ(CheckMusicHandlePlaying(h), 0);
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
    // Deleting a music that no longer plays keeps the file; the sound end takes it.
    EXPECT_EQ(DeleteMusicHandle(h), 0);
    EXPECT_EQ(TempFiles().size(), 1u);
    EndLibrary();
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(Music, WaitingPlayReturnsAfterTheEndWithItsFileGone)
{
    PumpHookTable hooks{nullptr, nullptr, nullptr, StepAudioAndPoll, nullptr};
    SetPumpHookTable(&hooks);
    int h = LoadMusicMem("mid/t.mid");
    ASSERT_EQ(PlayMusicHandle(h, SOUND_PLAY_WAIT), 0);
    EXPECT_EQ(CheckMusicHandlePlaying(h), 0);
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
    EXPECT_TRUE(TempFiles().empty());
    // The next play starts from a fresh file.
    ASSERT_EQ(PlayMusicHandle(h, SOUND_PLAY_BACK), 0);
    EXPECT_EQ(TempFiles().size(), 1u);
    EXPECT_EQ(DeleteMusicHandle(h), 0);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
}

// Each pass of a waiting play's pump: one more slice of sound, and whether the library lock was held.
struct WaitPasses {
    int passes = 0;
    int unlocked = 0;
} gWait;

int StepAudioAndWatchTheLock(void)
{
    gWait.passes++;
    gWait.unlocked += !IsLibraryLockHeld();
    return StepAudioAndPoll();
}

TEST_F(Music, WaitingPlaysPumpUnderTheLibraryLockAndSleepBetweenPasses)
{
    PumpHookTable hooks{nullptr, nullptr, nullptr, StepAudioAndWatchTheLock, nullptr};
    SetPumpHookTable(&hooks);
    std::vector<uint8_t> wave = soundtest::WaveImage(soundtest::Pcm(44100, 2, 16), soundtest::RampPcm(4410, 2));
    fixture::WriteFile("t.wav", std::string(wave.begin(), wave.end()));
    int music = LoadMusicMem("mid/t.mid");
    int still = LoadSoundFileToHandle("t.wav", 1, -1);
    SoundCreationMode = 2;
    int streamed = LoadSoundFileToHandle("t.wav", 1, -1);
    SoundCreationMode = 0;
    struct Case {
        const char *what;
        int (*play)(int handle);
        int handle;
    } cases[] = {
        {"music", [](int h) { return PlayMusicHandle(h, SOUND_PLAY_WAIT); }, music},
        {"static sound", [](int h) { return PlaySoundByHandle(h, SOUND_PLAY_WAIT, 1); }, still},
        {"streamed sound", [](int h) { return PlaySoundByHandle(h, SOUND_PLAY_WAIT, 1); }, streamed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.handle, -1);
        gWait = WaitPasses();
        InstallSteppedClock(1000000);
        ASSERT_EQ(c.play(c.handle), 0);
        uint64_t slept = GetSteppedClockSleptMilliseconds();
        RemoveSteppedClock();
        EXPECT_GT(gWait.passes, 2);
        EXPECT_EQ(gWait.unlocked, 0);
        EXPECT_GE(slept, (uint64_t)gWait.passes - 1);
    }
}

TEST_F(Music, OneDeviceDeletingAnIdleHandleStopsTheMusicThatPlays)
{
    int a = LoadMusicMem("mid/t.mid");
    int b = CreateMusicFromMemory(midi.data(), (int)midi.size());
    ASSERT_NE(b, -1);
    ASSERT_EQ(PlayMusicHandle(a, SOUND_PLAY_LOOP), 0);
    EXPECT_EQ(CheckMusicHandlePlaying(b), 1);
    EXPECT_EQ(DeleteMusicHandle(b), 0);
    EXPECT_EQ(CheckMusicHandlePlaying(a), 0);
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
    EXPECT_TRUE(TempFiles().empty());
    // A new play stops the last one first: still one device and one file.
    ASSERT_EQ(PlayMusicHandle(a, SOUND_PLAY_LOOP), 0);
    ASSERT_EQ(PlayMusicHandle(a, SOUND_PLAY_LOOP), 0);
    EXPECT_EQ(MciTestOpenDeviceCount(), 1);
    EXPECT_EQ(TempFiles().size(), 1u);
}

TEST_F(Music, PortOtherThanTheMapperFailsAndTheFallbackCannotDecodeMidi)
{
    MciTestSetPort(3);
    EXPECT_EQ(PlayMusicFile("mid\\t.mid", SOUND_PLAY_LOOP), -1);
    EXPECT_NE(Log().find("ＭＩＤＩ演奏開始処理でエラーが起きました２"), std::string::npos);
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
    EXPECT_EQ(IsCurrentMusicPlaying(), 0);
    // The file stays until the next play or the sound end.
    EXPECT_EQ(TempFiles().size(), 1u);
    EndLibrary();
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(Music, SequencerFailuresReturnMinusOneAndLeaveNoDevice)
{
    int h = LoadMusicMem("mid/t.mid");
    // Status fails: logged, file gone.
    MciTestFailNth(MCI_FAULT_STATUS, 1);
    EXPECT_EQ(PlayMusicHandle(h, SOUND_PLAY_BACK), -1);
    EXPECT_NE(Log().find("ＭＩＤＩ演奏開始処理でエラーが起きました１"), std::string::npos);
    EXPECT_TRUE(TempFiles().empty());
    // Play fails: logged, file kept.
    MciTestFailNth(MCI_FAULT_PLAY, 1);
    EXPECT_EQ(PlayMusicHandle(h, SOUND_PLAY_BACK), -1);
    EXPECT_NE(Log().find("ＭＩＤＩ演奏に失敗しました"), std::string::npos);
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
    // A file the sequencer refuses: no log line, no file.
    size_t logSize = Log().size();
    const char notMidi[] = "RIFF....WAVEfmt ";
    int bad = CreateMusicFromMemory(notMidi, sizeof notMidi);
    EXPECT_EQ(PlayMusicHandle(bad, SOUND_PLAY_BACK), -1);
    EXPECT_EQ(Log().size(), logSize);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(CheckMusicHandlePlaying(h), 0);
    // No temporary directory: a failure, not a success.
    setenv("TMPDIR", (tmpDir + "/missing").c_str(), 1);
    EXPECT_EQ(PlayMusicHandle(h, SOUND_PLAY_BACK), -1);
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
}

TEST_F(Music, TableOf256FollowsItsHighWaterMarkAndRefusesStaleHandles)
{
    std::vector<int> handles;
    for (int i = 0; i < MUSIC_HANDLE_MAX; i++) {
        int h = AddMusicData();
        ASSERT_NE(h, -1);
        EXPECT_EQ(h & 0x78000000, 0x58000000);
        EXPECT_EQ(h & 0xFFFF, i);
        handles.push_back(h);
    }
    EXPECT_EQ(AddMusicData(), -1);
    EXPECT_NE(Log().find("ミュージックデータの数が許容量を越えました終了します"), std::string::npos);
    // Full to the top: a freed slot is the next one taken, under a new serial.
    EXPECT_EQ(DeleteMusicHandle(handles[17]), 0);
    int again = AddMusicData();
    EXPECT_EQ(again & 0xFFFF, 17);
    EXPECT_NE(again, handles[17]);
    EXPECT_EQ(CheckMusicHandlePlaying(handles[17]), -1);
    EXPECT_EQ(DeleteMusicHandle(handles[17]), -1);
    EXPECT_EQ(DeleteAllMusicHandles(), 0);
    // Below the top, the high-water mark wins over a lower free slot.
    int h0 = AddMusicData(), h1 = AddMusicData(), h2 = AddMusicData();
    EXPECT_EQ(h2 & 0xFFFF, 2);
    DeleteMusicHandle(h0);
    EXPECT_EQ(AddMusicData() & 0xFFFF, 3);
    DeleteMusicHandle(h1);
    EXPECT_EQ(CreateMusicFromMemory(nullptr, 10), -1);
    EXPECT_EQ(LoadMusicMem("mid/none.mid"), -1);
    EXPECT_NE(Log().find("ミュージックファイル mid/none.mid の読み込みに失敗しました in LoadMusicMem"), std::string::npos);
}

TEST_F(Music, VolumeChangesNothingForMidiAndEverythingAnswersBeforeStartUp)
{
    ASSERT_EQ(PlayMusicFile("mid\\t.mid", SOUND_PLAY_LOOP), 0);
    EXPECT_EQ(ChangeCurrentMusicVolume(128), 0);
    EXPECT_EQ(StopCurrentMusic(), 0);
    EndLibrary();
    EXPECT_EQ(IsCurrentMusicPlaying(), 0);
    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_EQ(AddMusicData(), -1);
    EXPECT_EQ(ChangeCurrentMusicVolume(10), -1);
    EXPECT_EQ(DeleteAllMusicHandles(), -1);
    EXPECT_EQ(PollDirectMusicSegments(), -1);
    EXPECT_EQ(PlayMusicFile("mid\\t.mid", SOUND_PLAY_LOOP), -1);
}

TEST_F(Music, WaveFallsBackToAStreamedSoundRefilledOnlyByTheMainThreadsPump)
{
    REQUIRE_TOOLS("sox");
    ASSERT_TRUE(soundtest::MakeTone("w.wav", 44100, 2, 16, 10.0));
    size_t logSize = Log().size();
    ASSERT_EQ(PlayMusicFile("w.wav", SOUND_PLAY_LOOP), 0);
    EXPECT_EQ(Log().size(), logSize);  // the sequencer's refusal is not logged
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
    EXPECT_TRUE(TempFiles().empty());
    SoundHandleRecord *r = StreamRecord();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(IsCurrentMusicPlaying(), 1);
    EXPECT_EQ(ChangeCurrentMusicVolume(128), 0);
    DsBufferInfo info{};
    ASSERT_EQ(DsTestInspect(r->buffers[0].buffer, &info), 0);
    EXPECT_EQ(info.volume, -299);
    EXPECT_TRUE(info.looping);

    // A second thread's pump passes leave the ring alone; the main thread's refill it.
    AudioTestStep(kSecond);
    int w = r->writePosition;
    std::thread other([] {
        for (int i = 0; i < 10; i++)
            PumpMessages();
    });
    other.join();
    EXPECT_EQ(r->writePosition, w);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_NE(r->writePosition, w);

    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_EQ(IsCurrentMusicPlaying(), 0);
    EXPECT_EQ(SoundHandleTable.usedCount, 0);
}

TEST_F(Music, WaitingPlayOfAWaveReturnsOnceItHasEnded)
{
    REQUIRE_TOOLS("sox");
    ASSERT_TRUE(soundtest::MakeTone("w.wav", 44100, 2, 16, 0.5));
    AudioTestSetAutoAdvance(AUDIO_MIX_SLICE_FRAMES);
    ASSERT_EQ(PlayMusicFile("w.wav", SOUND_PLAY_WAIT), 0);
    AudioTestSetAutoAdvance(0);
    EXPECT_EQ(IsCurrentMusicPlaying(), 0);
    SoundHandleRecord *r = StreamRecord();
    ASSERT_NE(r, nullptr);
    // Played to its end: a play that does not restart has nothing left.
    int h = SoundHandleTable.usedBound - 1;
    h = MakeHandle(&SoundHandleTable, h, r->check);
    EXPECT_EQ(PlaySoundByHandle(h, SOUND_PLAY_BACK, 0), 0);
    EXPECT_EQ(QuerySoundPlaying(h), 0);
    // The next music file replaces it.
    ASSERT_EQ(PlayMusicFile("mid/t.mid", SOUND_PLAY_LOOP), 0);
    EXPECT_EQ(StreamRecord(), nullptr);
    EXPECT_EQ(IsCurrentMusicPlaying(), 1);
}

TEST_F(Music, TheGamesMusicFilesPlayOneAtATimeAndLeaveNoFileBehind)
{
    const char *assets = getenv("DAZAR_ASSET_DIR");
    std::string dir = std::string(assets ? assets : "") + "/mid/";
    const char *names[] = {"dancers7", "sunrise", "mori2", "kgb_03", "a-san", "dancers4", "dfa_14", "kgb_02"};
    if (!assets || fixture::ReadFile(dir + names[0] + ".mid").empty())
        GTEST_SKIP() << "the generated assets are not built";
    for (const char *name : names) {
        ASSERT_EQ(PlayMusicFile((dir + name + ".mid").c_str(), SOUND_PLAY_LOOP), 0) << name;
        EXPECT_EQ(TempFiles().size(), 1u);
        EXPECT_EQ(MciTestOpenDeviceCount(), 1);
        AudioTestClearCapture();
        for (int frames = 0; frames < 2 * kSecond; frames += AUDIO_MIX_SLICE_FRAMES) {
            AudioTestStep(AUDIO_MIX_SLICE_FRAMES);
            PumpMessages();
        }
        EXPECT_EQ(IsCurrentMusicPlaying(), 1) << name;
        size_t bytes;
        const int16_t *s = (const int16_t *)AudioTestCapture(&bytes);
        int peak = 0;
        for (size_t i = 0; i < bytes / 2; i++)
            peak = std::max(peak, std::abs((int)s[i]));
        EXPECT_GT(peak, 100) << name;
    }
    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
}

}  // namespace
