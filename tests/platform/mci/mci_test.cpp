// The MIDI sequencer stand-in on the manual output: MIDI files made by csvmidi play through
// FluidSynth in the mixer, notices come at the right stepped time and in the right order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dsound/mixer.h"
#include "platform/mci/mci.h"
#include "tests/platform/acm/fixture_tools.h"
#include "testsupport/test_hooks.h"

namespace {

using fixture::Shell;

struct Notice {
    intptr_t window;
    uint32_t message;
    uintptr_t code;
    intptr_t device;
};
std::vector<Notice> gNotices;

int RecordNotice(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    gNotices.push_back({window, message, wParam, lParam});
    return 1;
}

// A one-track file at 480 ticks per beat: events are "tick, type, args" lines of csvmidi.
std::string MidiCsv(const std::vector<std::string> &events)
{
    std::string csv = "0, 0, Header, 0, 1, 480\n1, 0, Start_track\n";
    for (const std::string &e : events)
        csv += "1, " + e + "\n";
    return csv + "0, 0, End_of_file\n";
}

// One second: a note from 0 to 960 ticks at 120 beats per minute.
const std::vector<std::string> kOneSecond = {"0, Tempo, 500000", "0, Program_c, 0, 0", "0, Note_on_c, 0, 60, 100",
                                             "960, Note_off_c, 0, 60, 0", "960, End_track"};

class MciTest : public ::testing::Test {
protected:
    fixture::TempDir dir;
    void SetUp() override
    {
        ASSERT_TRUE(fixture::HaveTool("csvmidi")) << "csvmidi is needed (scripts/install-deps.sh)";
        gNotices.clear();
        MciTestResetFaults();
        MciSetNotifyPoster(RecordNotice);
        AudioSelectBackend("manual");
        WaveFormat f = {WAVE_TAG_PCM, 2, 44100, 176400, 4, 16, 0};
        ASSERT_EQ(AudioOpenOutput(&f), 0);
        AudioTestClearCapture();
    }
    void TearDown() override
    {
        MciShutdown();
        MciSetSoundFont(nullptr);
        MciSetNotifyPoster(nullptr);
        AudioCloseOutput();
        EXPECT_EQ(MciTestOpenDeviceCount(), 0);
    }
    void MakeMidi(const char *name, const std::vector<std::string> &events)
    {
        fixture::WriteFile("t.csv", MidiCsv(events));
        ASSERT_TRUE(Shell(std::string("csvmidi t.csv ") + name));
    }
    uint32_t Open(const char *name, uint32_t expect = MCI_OK)
    {
        MciOpenParams p = {0, 0, "Sequencer", name, nullptr};
        EXPECT_EQ(MciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, (uintptr_t)&p), expect);
        return p.deviceId;
    }
    uint32_t Play(uint32_t id, uintptr_t flags, intptr_t window = 77)
    {
        MciPlayParams p = {(uintptr_t)window, 0, 0};
        return MciSendCommand(id, MCI_PLAY, flags, (uintptr_t)&p);
    }
    // Steps slices until a notice arrives (or limit frames); the frames stepped.
    int StepUntilNotice(int limit)
    {
        size_t before = gNotices.size();
        int frames = 0;
        while (gNotices.size() == before && frames < limit) {
            AudioTestStep(AUDIO_MIX_SLICE_FRAMES);
            frames += AUDIO_MIX_SLICE_FRAMES;
        }
        return frames;
    }
};

TEST_F(MciTest, PlaysAMidiFileAndNotifiesWithinOneSliceOfItsEnd)
{
    MakeMidi("t.mid", kOneSecond);
    uint32_t id = Open("t.mid");
    ASSERT_GE(id, 1u);
    MciStatusParams st = {0, 0, MCI_SEQ_STATUS_PORT, 0};
    ASSERT_EQ(MciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, (uintptr_t)&st), MCI_OK);
    EXPECT_EQ(st.result & 0xFFFF, MCI_SEQ_MAPPER);
    ASSERT_EQ(Play(id, MCI_NOTIFY), MCI_OK);
    st.item = MCI_STATUS_MODE;
    MciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, (uintptr_t)&st);
    EXPECT_EQ(st.result, MCI_MODE_PLAY);
    int frames = StepUntilNotice(3 * 44100);
    EXPECT_GE(frames, 44100);
    EXPECT_LE(frames, 44100 + AUDIO_MIX_SLICE_FRAMES);  // 1.00 s to 1.03 s
    ASSERT_EQ(gNotices.size(), 1u);
    EXPECT_EQ(gNotices[0].window, 77);
    EXPECT_EQ(gNotices[0].message, MM_MCINOTIFY);
    EXPECT_EQ(gNotices[0].code, MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(gNotices[0].device, (intptr_t)id);
    // The note sounded.
    size_t bytes;
    const int16_t *s = (const int16_t *)AudioTestCapture(&bytes);
    double sum = 0;
    for (size_t i = 0; i < bytes / 2; i++)
        sum += (double)s[i] * s[i];
    EXPECT_GT(std::sqrt(sum / (bytes / 2)), 100.0);
    // Once only.
    AudioTestStep(44100);
    EXPECT_EQ(gNotices.size(), 1u);
    MciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, (uintptr_t)&st);
    EXPECT_EQ(st.result, MCI_MODE_STOP);
    // Playing again from the start loops it, with a fresh notice after another second.
    ASSERT_EQ(Play(id, MCI_NOTIFY | MCI_FROM), MCI_OK);
    frames = StepUntilNotice(3 * 44100);
    EXPECT_GE(frames, 44100);
    EXPECT_LE(frames, 44100 + AUDIO_MIX_SLICE_FRAMES);
    EXPECT_EQ(MciSendCommand(id, MCI_CLOSE, 0, 0), MCI_OK);
    EXPECT_EQ(gNotices.size(), 2u);  // nothing pending, so closing posts nothing
}

// The root mean square of what the output gave since the last clear.
double CapturedLevel()
{
    size_t bytes;
    const int16_t *s = (const int16_t *)AudioTestCapture(&bytes);
    double sum = 0;
    for (size_t i = 0; i < bytes / 2; i++)
        sum += (double)s[i] * s[i];
    return bytes ? std::sqrt(sum / (double)(bytes / 2)) : 0;
}

TEST_F(MciTest, NotesSoundingAtTheEndRingOutTheirReleaseAfterTheNoticeAndTheClose)
{
    // The note is let go on the file's last tick, as most songs end.
    MakeMidi("t.mid", kOneSecond);
    uint32_t id = Open("t.mid");
    ASSERT_EQ(Play(id, MCI_NOTIFY), MCI_OK);
    int frames = StepUntilNotice(3 * 44100);
    EXPECT_LE(frames, 44100 + AUDIO_MIX_SLICE_FRAMES);  // the notice still comes at the end
    ASSERT_EQ(MciSendCommand(id, MCI_CLOSE, 0, 0), MCI_OK);  // what the music's notice handling does
    AudioTestClearCapture();
    AudioTestStep(2205);
    EXPECT_GT(CapturedLevel(), 30.0);  // 50 ms later the release still sounds
    AudioTestStep(3 * 44100);
    AudioTestClearCapture();
    AudioTestStep(2205);
    EXPECT_EQ(CapturedLevel(), 0.0);  // and then it has ended
}

TEST_F(MciTest, TempoChangesAndSeveralTracksSetTheEnd)
{
    // Format 1: a tempo track (half a second at 120, then a quarter at 240) and a note track.
    std::string csv = "0, 0, Header, 1, 2, 480\n"
                      "1, 0, Start_track\n1, 0, Tempo, 500000\n1, 480, Tempo, 250000\n1, 960, End_track\n"
                      "2, 0, Start_track\n2, 0, Note_on_c, 1, 64, 90\n2, 960, Note_off_c, 1, 64, 0\n2, 960, End_track\n"
                      "0, 0, End_of_file\n";
    fixture::WriteFile("t.csv", csv);
    ASSERT_TRUE(Shell("csvmidi t.csv t.mid"));
    uint32_t id = Open("t.mid");
    ASSERT_EQ(Play(id, MCI_NOTIFY), MCI_OK);
    int frames = StepUntilNotice(3 * 44100);
    EXPECT_GE(frames, 33075);  // 0.75 s
    EXPECT_LE(frames, 33075 + AUDIO_MIX_SLICE_FRAMES);
    MciSendCommand(id, MCI_CLOSE, 0, 0);
}

TEST_F(MciTest, CloseAbortsAndANewNoticeSupersedesTheOld)
{
    MakeMidi("t.mid", kOneSecond);
    uint32_t id = Open("t.mid");
    ASSERT_EQ(Play(id, MCI_NOTIFY, 5), MCI_OK);
    AudioTestStep(4410);
    ASSERT_EQ(Play(id, MCI_NOTIFY | MCI_FROM, 6), MCI_OK);
    ASSERT_EQ(gNotices.size(), 1u);  // posted inside the call
    EXPECT_EQ(gNotices[0].code, MCI_NOTIFY_SUPERSEDED);
    EXPECT_EQ(gNotices[0].window, 5);
    AudioTestStep(4410);
    ASSERT_EQ(MciSendCommand(id, MCI_CLOSE, 0, 0), MCI_OK);
    ASSERT_EQ(gNotices.size(), 2u);
    EXPECT_EQ(gNotices[1].code, MCI_NOTIFY_ABORTED);
    EXPECT_EQ(gNotices[1].window, 6);
    EXPECT_EQ(MciSendCommand(id, MCI_PLAY, 0, 0), MCI_ERR_INVALID_DEVICE_ID);  // stale device
    // Silence after the close.
    AudioTestClearCapture();
    AudioTestStep(4410);
    size_t bytes;
    const int16_t *s = (const int16_t *)AudioTestCapture(&bytes);
    EXPECT_TRUE(std::all_of(s, s + bytes / 2, [](int16_t v) { return v == 0; }));
    // Stop aborts too, and a later play resumes.
    id = Open("t.mid");
    Play(id, MCI_NOTIFY, 9);
    AudioTestStep(22050);
    EXPECT_EQ(MciSendCommand(id, MCI_STOP, 0, 0), MCI_OK);
    EXPECT_EQ(gNotices.back().code, MCI_NOTIFY_ABORTED);
    Play(id, MCI_NOTIFY, 9);
    int frames = StepUntilNotice(3 * 44100);
    EXPECT_LE(frames, 22050 + AUDIO_MIX_SLICE_FRAMES);
    EXPECT_EQ(gNotices.back().code, MCI_NOTIFY_SUCCESSFUL);
    MciSendCommand(id, MCI_CLOSE, 0, 0);
}

TEST_F(MciTest, OpenRefusesWhatIsNoMidiFile)
{
    ASSERT_TRUE(Shell("sox -n -r 8000 -c 1 -b 16 a.wav synth 0.1 sine 440"));
    Open("a.wav", MCI_ERR_INVALID_FILE);
    Open("missing.mid", MCI_ERR_FILE_NOT_FOUND);
    fixture::WriteFile("empty.mid", "");
    Open("empty.mid", MCI_ERR_INVALID_FILE);
    MakeMidi("t.mid", kOneSecond);
    MciOpenParams p = {0, 0, "cdaudio", "t.mid", nullptr};
    EXPECT_EQ(MciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, (uintptr_t)&p), MCI_ERR_INVALID_DEVICE_NAME);
    // A RIFF RMID wrapper is unwrapped.
    std::vector<uint8_t> smf = fixture::ReadFile("t.mid");
    std::string rmid = "RIFF";
    auto le32 = [](uint32_t v) { return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)}; };
    rmid += le32((uint32_t)smf.size() + 12) + "RMIDdata" + le32((uint32_t)smf.size());
    rmid.append(smf.begin(), smf.end());
    fixture::WriteFile("t.rmi", rmid);
    uint32_t id = Open("t.rmi");
    EXPECT_EQ(MciSendCommand(id, MCI_CLOSE, 0, 0), MCI_OK);
    // No soundfont: the driver cannot load.
    MciShutdown();
    MciSetSoundFont("/nonexistent/none.sf2");
    Open("t.mid", MCI_ERR_CANNOT_LOAD_DRIVER);
    EXPECT_EQ(MciTestOpenDeviceCount(), 0);
}

TEST_F(MciTest, PortAndFaultHooks)
{
    MakeMidi("t.mid", kOneSecond);
    MciTestSetPort(3);
    uint32_t id = Open("t.mid");
    MciStatusParams st = {0, 0, MCI_SEQ_STATUS_PORT, 0};
    ASSERT_EQ(MciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, (uintptr_t)&st), MCI_OK);
    EXPECT_EQ(st.result, 3u);
    EXPECT_EQ(MciSendCommand(id, MCI_STATUS, 0, (uintptr_t)&st), MCI_ERR_MISSING_PARAMETER);
    MciTestFailNth(MCI_FAULT_PLAY, 1);
    EXPECT_NE(Play(id, MCI_NOTIFY), MCI_OK);
    EXPECT_TRUE(gNotices.empty());
    MciTestFailNth(MCI_FAULT_STATUS, 1);
    EXPECT_NE(MciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, (uintptr_t)&st), MCI_OK);
    MciTestFailNth(MCI_FAULT_OPEN, 1);
    Open("t.mid", MCI_ERR_HARDWARE);
    EXPECT_EQ(MciTestOpenDeviceCount(), 1);
    EXPECT_EQ(MciSendCommand(id, MCI_CLOSE, 0, 0), MCI_OK);
}

}  // namespace
