// A movie's sound on the manual audio back end, stepped with the clock: the mix equals oggdec's decode of
// the file sample for sample (also at a tenth of its rate) and takes the volume set; pause, system
// pause, a display change's seek, a seek, the loop and the end keep the sound within one video frame of
// the stream time (the picture's clock); a movie without sound plays as before.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/dsound/dsound.h"
#include "platform/dsound/mixer.h"
#include "tests/movie/movie_support.h"
#include "testsupport/test_hooks.h"

namespace movietest {
namespace {

const int kRate = 44100;
const int kStepFrames = 441;              // 10 ms of sound per clock step
const int kVideoFrameSamples = kRate / 25; // av.ogv shows 25 frames a second

class MovieSoundTest : public MovieTest {
protected:
    std::vector<int16_t> reference;   // oggdec's decode: interleaved stereo
    DsDevice *device = nullptr;

    void SetUp() override
    {
        MovieTest::SetUp();
        ASSERT_EQ(AudioSelectBackend("manual"), 0);
        WaveFormat format = {WAVE_TAG_PCM, 2, kRate, kRate * 4, 4, 16, 0};
        ASSERT_EQ(AudioSetDeviceFormat(&format), 0);
        // A device of the test's own holds the output open, whether a movie's sound comes and goes or not.
        ASSERT_EQ(DsCreateDevice(&device), DS_OK);
        ASSERT_EQ(device->fn->Initialize(device, nullptr), DS_OK);
        std::string command = "oggdec -Q -R -o oggdec.raw '" + moviefixture::Path("av.ogv") + "'";
        ASSERT_EQ(system(command.c_str()), 0) << "needs oggdec (Debian's vorbis-tools)";
        std::string raw = ReadTestFile("oggdec.raw");
        reference.resize(raw.size() / 2);
        memcpy(reference.data(), raw.data(), reference.size() * 2);
        ASSERT_EQ(reference.size(), (size_t)kRate * 7);   // 3.5 s of stereo
    }
    void TearDown() override
    {
        MovieTest::TearDown();
        if (device) device->fn->Release(device);
        AudioSelectBackend(nullptr);
    }
    // A running movie of av.ogv (or a changed copy) with the play type, cut loose from the capture so far.
    int StartMovie(int playType, MovieRecord **record, const char *file = "av.ogv")
    {
        int result = -1;
        int movie = OpenRecord(file, MOVIE_SURFACE_OFFSCREEN, record, &result);
        EXPECT_EQ(result, 0);
        (*record)->playType = playType;
        EXPECT_EQ(RunMovie(movie), 0);
        AudioTestClearCapture();
        return movie;
    }
    // Steps clock and mixer together (by default by 10 ms), count times, drawing the movie at each
    // step (its decoder done first).
    static void Play(int movie, int steps, int micros = 10000, int frames = kStepFrames)
    {
        for (int i = 0; i < steps; i++) {
            AdvanceSteppedClock(micros);
            ASSERT_EQ(AudioTestStep(frames), 0);
            ASSERT_EQ(MmTestWaitForDecoders(), 0);
            AdvanceMovieToCurrentFrame(movie, 0);
        }
    }
    static std::vector<int16_t> Captured(void)
    {
        size_t bytes = 0;
        const uint8_t *data = AudioTestCapture(&bytes);
        std::vector<int16_t> samples(bytes / 2);
        memcpy(samples.data(), data, bytes);
        return samples;
    }
    static int64_t StreamTime(const MovieRecord *record)
    {
        MmStreamTime t = -1;
        record->multiStream->fn->GetTime(record->multiStream, &t);
        return t;
    }
    // The track sample where the last step's sound is found in the decode, searched within one video
    // frame of the stream time it was mixed at; -1 when it is not there (or is silence).
    int64_t SoundAt(int64_t streamTime) const
    {
        std::vector<int16_t> got = Captured();
        const int16_t *block = got.data() + got.size() - 2 * kStepFrames;
        int64_t expected = streamTime * kRate / 10000000;
        for (int64_t at = expected - kVideoFrameSamples; at <= expected + kVideoFrameSamples; at++) {
            if (at >= 0 && (size_t)(at + kStepFrames) * 2 <= reference.size() &&
                memcmp(block, &reference[(size_t)at * 2], kStepFrames * 4) == 0)
                return at;
        }
        return -1;
    }
    // 1 when the last step mixed nothing but silence.
    static bool LastStepSilent(void) { return CountWrong(Captured(), 2 * kStepFrames, [](size_t) { return 0; }) == 0; }
    // Samples of the last count captured that differ from expected(their index in the capture).
    template <typename Expected>
    static size_t CountWrong(const std::vector<int16_t> &got, size_t count, Expected expected)
    {
        size_t wrong = 0;
        for (size_t i = got.size() - count; i < got.size(); i++) wrong += got[i] != (int16_t)expected(i);
        return wrong;
    }
    // Plays steps steps, each one's sound found in the decode near the stream time it was mixed at.
    void ExpectSoundFollowsThePicture(int movie, const MovieRecord *record, int steps, const char *after)
    {
        for (int i = 0; i < steps; i++) {
            int64_t time = StreamTime(record);
            Play(movie, 1);
            EXPECT_NE(SoundAt(time), -1) << after << " step " << i;
        }
    }
};

TEST_F(MovieSoundTest, TheMixEqualsOggdecsDecodeAndTakesTheVolume)
{
    MovieRecord *record = nullptr;
    int movie = StartMovie(1, &record);
    Play(movie, 200);   // 2 s
    std::vector<int16_t> got = Captured();
    ASSERT_EQ(got.size(), (size_t)200 * kStepFrames * 2);
    EXPECT_EQ(CountWrong(got, got.size(), [&](size_t i) { return reference[i]; }), 0u);

    // -6 dB through the basic audio control: each sample as the mixer scales it.
    ASSERT_EQ(record->basicAudio->fn->SetVolume(record->basicAudio, -600), MM_OK);
    EXPECT_EQ(record->basicAudio->fn->SetVolume(record->basicAudio, 1), MM_E_INVALIDARG);
    Play(movie, 1);
    int64_t gain = lround(pow(10.0, -600 / 2000.0) * 65536.0);   // the mixer's 16.16 gain
    EXPECT_EQ(CountWrong(Captured(), 2 * kStepFrames, [&](size_t i) { return (reference[i] * gain) >> 16; }), 0u);
}

TEST_F(MovieSoundTest, ATrackFarFasterThanTheOutputPlaysWhole)
{
    // At a tenth of the track's rate, each 200 ms slice takes 8820 track frames and plays every tenth.
    WaveFormat format = {WAVE_TAG_PCM, 2, kRate / 10, kRate / 10 * 4, 4, 16, 0};
    ASSERT_EQ(AudioSetDeviceFormat(&format), 0);
    MovieRecord *record = nullptr;
    int movie = StartMovie(1, &record);
    Play(movie, 10, 200000, kRate / 50);   // 2 s
    std::vector<int16_t> got = Captured();
    ASSERT_EQ(got.size(), (size_t)kRate / 5 * 2);
    EXPECT_EQ(CountWrong(got, got.size(), [&](size_t i) { return reference[i / 2 * 20 + i % 2]; }), 0u);
}

TEST_F(MovieSoundTest, PausesSeeksLoopAndEndMoveTheSoundWithThePicture)
{
    MovieRecord *record = nullptr;
    int movie = StartMovie(3, &record);
    Play(movie, 50);
    // Each event, then a stretch of play: the sound goes on where the stream clock stands.
    const struct { const char *name; void (*event)(int movie, MovieRecord *record); int silentSteps; } events[] = {
        {"user pause", [](int m, MovieRecord *) { PauseMovieByHandle(m, 0); }, 30},
        {"resume", [](int m, MovieRecord *) { RunMovie(m); }, 0},
        {"system pause", [](int, MovieRecord *) { PauseAllMoviesForSystem(); }, 20},
        {"system resume", [](int, MovieRecord *) { ResumeSystemPausedMovies(); }, 0},
        {"display change", [](int, MovieRecord *) { ReleaseAllMovieStreams(); }, 10},
        {"re-open", [](int, MovieRecord *) { ReopenAllMovies(); }, 0},
        {"seek", [](int, MovieRecord *r) { r->multiStream->fn->Seek(r->multiStream, 21000000); }, 0},
    };
    for (const auto &e : events) {
        e.event(movie, record);
        for (int i = 0; i < e.silentSteps; i++) {
            Play(movie, 1);
            EXPECT_TRUE(LastStepSilent()) << e.name;
        }
        if (!e.silentSteps) ExpectSoundFollowsThePicture(movie, record, 30, e.name);
    }
    // From 2.4 s the picture's end is 0.6 s on: the loop starts picture and sound again from 0.
    int64_t before = StreamTime(record);
    Play(movie, 70);
    EXPECT_LT(StreamTime(record), before);
    ExpectSoundFollowsThePicture(movie, record, 1, "after the loop");
}

TEST_F(MovieSoundTest, TheSoundEndsWithThePictureAndAMovieWithoutSoundStaysSilent)
{
    MovieRecord *record = nullptr;
    int movie = StartMovie(1, &record);
    Play(movie, 310);   // the picture ends at 3 s; the track would play on to 3.5 s
    EXPECT_EQ(record->playing, 0);
    EXPECT_TRUE(LastStepSilent());
    ReleaseMovieHandle(movie);

    int silent = OpenRecord("m420.ogv", MOVIE_SURFACE_OFFSCREEN, &record);
    ASSERT_EQ(RunMovie(silent), 0);
    Play(silent, 20);
    EXPECT_TRUE(LastStepSilent());
    EXPECT_EQ(record->basicAudio->fn->SetVolume(record->basicAudio, -100), MM_OK);
}

// Seeks far beyond the movie, up to the largest time, and a frame number beyond the file's last page
// (frame 24's page naming frame 2^62): picture and sound end there, or start again from
// 0, and no time overflows on the way.
TEST_F(MovieSoundTest, FarSeeksAndFrameNumbersEndOrLoopPictureAndSound)
{
    moviefixture::WriteMovieFile(
        "far.ogv", moviefixture::WithGranule(ReadTestFile(moviefixture::Path("av.ogv").c_str()), 4, (int64_t)1 << 62));
    const struct { const char *file; MmStreamTime seek; } cases[] = {
        {"av.ogv", (int64_t)1 << 50}, {"av.ogv", INT64_MAX}, {"./far.ogv", -1},
    };
    for (int playType : {1, 3}) {
        for (auto c : cases) {
            MovieRecord *record = nullptr;
            int movie = StartMovie(playType, &record, c.file);
            Play(movie, 10);
            if (c.seek >= 0) record->multiStream->fn->Seek(record->multiStream, c.seek);
            Play(movie, 150);   // far.ogv breaks at 0.96 s
            if (playType == 1) {
                EXPECT_EQ(record->playing, 0) << c.file << " " << c.seek;
                EXPECT_TRUE(LastStepSilent()) << c.file << " " << c.seek;
            } else {
                EXPECT_LT(StreamTime(record), 30000000) << c.file << " " << c.seek;   // within the 3 s of picture
                ExpectSoundFollowsThePicture(movie, record, 5, c.file);
            }
            ReleaseMovieHandle(movie);
        }
    }
}

}  // namespace
}  // namespace movietest
