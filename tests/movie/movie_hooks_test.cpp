// Movie hooks: an empty table, the own decoder on the clock, frame updates through the streams with
// their throttle and asynchronous completion, end and loop, the due frame at draws rarer than the
// frames, releases and seeks that never wait for the decoder, pause and resume with the focus, release
// and re-open around a display change, overlay placement and lost surfaces.
#include <algorithm>

#include "lib/core/system.h"
#include "tests/movie/movie_support.h"
#include "tests/support/hostile_files.h"
#include "testsupport/test_hooks.h"

namespace {

using namespace movietest;

TEST_F(MovieTest, EveryHookReturnsAtOnceOnAnEmptyTableOrMinusOne)
{
    EXPECT_EQ(AdvanceMovieToCurrentFrame(-1, 0), 0);
    EXPECT_EQ(PlaceMovieOverlay(0, 0, 1, -1, 1), -1);
    EXPECT_EQ(RestoreLostMovieSurfaces(-1), 0);
    EXPECT_EQ(PauseMovieByHandle(-1, 1), -1);
    EXPECT_EQ(IsMovieOverlayMode(-1), 0);
    EXPECT_EQ(PauseAllMoviesForSystem(), 0);
    EXPECT_EQ(ResumeSystemPausedMovies(), 0);
    EXPECT_EQ(ReleaseAllMovieStreams(), 0);
    EXPECT_EQ(ReopenAllMovies(), 0);
    EXPECT_EQ(RefreshMovieOverlays(), 0);
    EXPECT_TRUE(gDisplay.overlayCalls.empty());
}

// ---- own decoder ------------------------------------------------------------------------------------

int gCallbacks;
void CountCallback(MovieRecord *, uintptr_t) { gCallbacks++; }

// An own-decoded movie of total frames at rate/1 frames a second, without sound. Its handle.
int OwnMovie(int total, uint32_t rate, int playType)
{
    TheoraMovieState *state = (TheoraMovieState *)DZ_ALLOC_ZERO(sizeof(TheoraMovieState));
    state->totalFrames = total;
    state->info.fps_numerator = rate;
    state->info.fps_denominator = 1;
    int movie = CreateOwnDecodedMovie(state, -1, playType);
    SetMovieFrameCallback(movie, CountCallback, 0);
    return movie;
}

int Frame(int movie) { return GetTheoraCurrentFrame(LookupMovieRecord(movie)->theora); }

TEST_F(MovieTest, AnOwnDecodedMovieFollowsTheClockAndEndsOrWraps)
{
    // 20 frames at 10 a second; after each time since the clock base: frame, playing, paused.
    const struct { int loop; uint64_t at; int frame, playing, paused; } steps[] = {
        {0, 500000, 5, 1, 0}, {0, 1950000, 19, 1, 0}, {0, 2500000, 19, 0, 1},
        {1, 500000, 5, 1, 0}, {1, 1950000, 19, 1, 0}, {1, 2500000, 5, 1, 0},
    };
    int movie[2] = {OwnMovie(20, 10, 1), OwnMovie(20, 10, 3)};
    uint64_t start = GetSteppedClockMicroseconds();
    gCallbacks = 0;
    for (auto s : steps) {
        AdvanceSteppedClock(start + s.at - GetSteppedClockMicroseconds());
        EXPECT_EQ(AdvanceMovieToCurrentFrame(movie[s.loop], 0), 0);
        MovieRecord *r = LookupMovieRecord(movie[s.loop]);
        EXPECT_EQ(Frame(movie[s.loop]), s.frame) << s.loop << " " << s.at;
        EXPECT_EQ(r->playing, s.playing) << s.loop << " " << s.at;
        EXPECT_EQ(r->paused, s.paused) << s.loop << " " << s.at;
        EXPECT_EQ(r->frameShown, 1);
        if (s.at == 1950000) start = GetSteppedClockMicroseconds() - 1950000;
    }
    EXPECT_EQ(gCallbacks, 6);
    // Ended: it stays, and the callback still runs.
    AdvanceMovieToCurrentFrame(movie[0], 0);
    EXPECT_EQ(Frame(movie[0]), 19);
    EXPECT_EQ(gCallbacks, 7);
}

TEST_F(MovieTest, AnOwnDecodedMovieWithoutFramesOrRateStaysPut)
{
    const struct { int total; uint32_t rate; } cases[] = {{0, 10}, {20, 0}, {-5, 10}};
    for (auto c : cases) {
        int movie = OwnMovie(c.total, c.rate, 3);
        AdvanceSteppedClock(700000);
        EXPECT_EQ(AdvanceMovieToCurrentFrame(movie, 0), 0);
        EXPECT_EQ(Frame(movie), 0);
        EXPECT_EQ(ResumeSystemPausedMovies(), 0);
        ReleaseMovieHandle(movie);
    }
}

TEST_F(MovieTest, APausedOwnDecodedMovieHoldsItsFrameAndResumesFromIt)
{
    int movie = OwnMovie(100, 10, 1);
    AdvanceSteppedClock(500000);
    EXPECT_EQ(PauseMovieByHandle(movie, 1), 0);   // updates to the frame due at the pause
    EXPECT_EQ(Frame(movie), 5);
    AdvanceSteppedClock(3000000);
    AdvanceMovieToCurrentFrame(movie, 0);
    EXPECT_EQ(Frame(movie), 5);
    // A frame further back in time than the clock can hold (a rate of 1 over 2^32 - 1): its clock base
    // stops at the largest time at the resume instead of overflowing, and its frames stay in the movie.
    int far = OwnMovie(2000000, 1, 1);
    MovieRecord *r = LookupMovieRecord(far);
    r->theora->info.fps_denominator = 4294967295u;
    r->theora->currentFrame = 1000000;
    r->paused = 1;
    EXPECT_EQ(ResumeSystemPausedMovies(), 0);
    AdvanceSteppedClock(300000);
    AdvanceMovieToCurrentFrame(movie, 0);
    EXPECT_EQ(Frame(movie), 8);
    AdvanceMovieToCurrentFrame(far, 0);
    EXPECT_TRUE(Frame(far) >= 0 && Frame(far) < 2000000) << Frame(far);
}

// ---- streams ----------------------------------------------------------------------------------------

// A fixture movie opened in mode 0 on a 32-bit screen, running. Its handle.
int RunningMovie(MovieTest *, const char *file, int playType, MovieRecord **out)
{
    gDisplay.depth = 32;
    MovieRecord *r = (MovieRecord *)DZ_ALLOC_ZERO(sizeof(MovieRecord));
    r->soundHandle = -1;
    int movie = AddHandleRecord(GetMovieHandleTable(), &r->head);
    EXPECT_EQ(OpenMovieThroughDirectShow(gDisplay.draw, r, moviefixture::Path(file).c_str(), nullptr, nullptr, 0), 0);
    r->playType = playType;
    EXPECT_EQ(RunMovie(movie), 0);
    *out = r;
    return movie;
}

int Updates(void) { return moviefixture::Counted(&MmTestCounters::updates); }

// Pixels of the frame copy that differ from reference frame n (X888).
int WrongCopyPixels(const MovieRecord *r, int n)
{
    const moviefixture::Movie &m = moviefixture::kMovies[0];
    moviefixture::RefFrame f = moviefixture::ReferenceFrames(m)[n];
    int wrong = 0;
    for (int y = 0; y < m.height; y++)
        for (int x = 0; x < m.width; x++) {
            int cr, cg, cb;
            moviefixture::TableColour(m, f, x, y, &cr, &cg, &cb);
            uint32_t p = ((const uint32_t *)((const uint8_t *)r->frameCopy.pixels + y * r->frameCopy.pitch))[x];
            wrong += (p & 0xFFFFFF) != (uint32_t)(cr << 16 | cg << 8 | cb);
        }
    return wrong;
}

TEST_F(MovieTest, StreamFramesAreTakenOncePerPresentedFrameAndTheNextIsAlwaysUnderWay)
{
    MovieRecord *r;
    int movie = RunningMovie(this, "m420.ogv", 1, &r);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);   // frames 0 and 1
    MmTestResetCounters();
    gCallbacks = 0;
    SetMovieFrameCallback(movie, CountCallback, 0);
    MmTestHoldDecoders(1);                   // frame 2 is a long decode
    AdvanceMovieToCurrentFrame(movie, 0);
    EXPECT_EQ(Updates(), 2);          // frame 0 taken, frame 1 asked for
    EXPECT_EQ(r->updatePending, 1);
    EXPECT_EQ(r->frameShown, 1);
    EXPECT_EQ(gCallbacks, 1);
    EXPECT_EQ(WrongCopyPixels(r, 0), 0);
    AdvanceSteppedClock(5000);
    AdvanceMovieToCurrentFrame(movie, 0);   // same presented frame, 5 ms later
    EXPECT_EQ(Updates(), 2);
    gDisplay.presents++;
    AdvanceMovieToCurrentFrame(movie, 0);   // the pending frame is not due yet
    EXPECT_EQ(Updates(), 2);
    EXPECT_EQ(gCallbacks, 1);
    AdvanceSteppedClock(95000);
    AdvanceMovieToCurrentFrame(movie, 0);   // 100 ms: more than 17 ms, frame 1 is in
    EXPECT_EQ(gCallbacks, 2);
    EXPECT_EQ(Updates(), 3);
    EXPECT_EQ(r->updatePending, 1);
    EXPECT_EQ(WrongCopyPixels(r, 1), 0);
    EXPECT_EQ(r->lastPresentCount, 1);
    // A draw while frame 2 is decoded returns at once with frame 1, and nobody sleeps.
    uint64_t slept = GetSteppedClockSleptMilliseconds();
    AdvanceSteppedClock(100000);
    gDisplay.presents++;
    AdvanceMovieToCurrentFrame(movie, 0);
    EXPECT_EQ(gCallbacks, 2);
    EXPECT_EQ(GetSteppedClockSleptMilliseconds(), slept);
    MmTestHoldDecoders(0);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    AdvanceMovieToCurrentFrame(movie, 0);
    EXPECT_EQ(gCallbacks, 3);
    EXPECT_EQ(WrongCopyPixels(r, 2), 0);
}

// Draws a movie, or two, once the clock has moved on by microseconds (the decoders done first).
void Draw(uint64_t microseconds, int a, int b = -1)
{
    AdvanceSteppedClock(microseconds);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    gDisplay.presents++;
    AdvanceMovieToCurrentFrame(a, 0);
    AdvanceMovieToCurrentFrame(b, 0);
}

TEST_F(MovieTest, AStreamThatEndsStopsUnlessItLoops)
{
    MovieRecord *once, *looping;
    int a = RunningMovie(this, "m444.ogv", 1, &once);
    int b = RunningMovie(this, "m444.ogv", 3, &looping);
    for (int i = 0; i < 30; i++) Draw(100000, a, b);
    EXPECT_EQ(once->playing, 0);
    EXPECT_EQ(once->paused, 1);
    EXPECT_EQ(looping->playing, 1);
    EXPECT_EQ(looping->paused, 0);
    MmStreamTime time;
    looping->multiStream->fn->GetTime(looping->multiStream, &time);
    EXPECT_LT(time, 20000000);   // it went back to 0 once
    ResumeSystemPausedMovies();
    EXPECT_EQ(once->paused, 1);  // an ended movie is not the system's to resume
}

// The m420 frame the frame copy holds, -1 for none.
int CopiedFrame(const MovieRecord *r)
{
    for (int n = 0; n < FIXTURE_FRAMES; n++)
        if (WrongCopyPixels(r, n) == 0) return n;
    return -1;
}

TEST_F(MovieTest, TheLastFrameStaysItsTimeAndEveryLoopShowsFrameZeroAgain)
{
    MovieRecord *once, *looping;
    int a = RunningMovie(this, "m420.ogv", 1, &once);
    int b = RunningMovie(this, "m420.ogv", 3, &looping);
    // Draws every 50 ms: the frame each shows, and whether the one that does not loop still plays.
    // The loop restarts when the last frame's time is over (2.0 s), so each pass is 2 s.
    const struct { int step, once, playing, looping; } checks[] = {
        {37, 18, 1, 18}, {38, 19, 1, 19}, {39, 19, 1, 19}, {40, 19, 0, 19}, {41, 19, 0, 0},
        {43, 19, 0, 1},  {60, 19, 0, 10}, {79, 19, 0, 19}, {80, 19, 0, 19}, {81, 19, 0, 0},
    };
    size_t at = 0;
    for (int step = 0; at < sizeof(checks) / sizeof(checks[0]); step++) {
        Draw(step ? 50000 : 0, a, b);
        if (step != checks[at].step) continue;
        EXPECT_EQ(CopiedFrame(once), checks[at].once) << step;
        EXPECT_EQ(once->playing, checks[at].playing) << step;
        EXPECT_EQ(CopiedFrame(looping), checks[at].looping) << step;
        EXPECT_EQ(looping->playing, 1);
        at++;
    }
}

// A frame the decoder refuses, and a frame number the rest of the file contradicts, end the movie there
// or loop it: frame 11's page naming frame 2^62 or 2^40, or raised by 2^24 frames with the next page
// raised too (beyond the last page), with the last page raised too (the next page runs back from it), or
// alone with 300 KB of junk after the last page (the next page runs back).
TEST_F(MovieTest, ABrokenFrameMidFileEndsTheMovieOrLoopsIt)
{
    std::string m420 = ReadTestFile(moviefixture::Path("m420.ogv").c_str());
    auto raise = [](const std::string &file, int nth) { return moviefixture::WithGranule(file, nth, 1 << 24, true); };
    moviefixture::WriteMovieFile("far.ogv", moviefixture::WithGranule(m420, 2, (int64_t)1 << 62));
    moviefixture::WriteMovieFile("farther.ogv", moviefixture::WithGranule(m420, 2, (int64_t)1 << 46));
    moviefixture::WriteMovieFile("raised_next.ogv", raise(raise(m420, 2), 3));
    moviefixture::WriteMovieFile("raised_last.ogv", raise(raise(m420, 2), 4));
    moviefixture::WriteMovieFile("raised_tail.ogv", raise(m420, 2) + std::string(300 << 10, '\0'));
    const struct { const char *file; int goodFrames; } cases[] = {
        {"damaged.ogv", DAMAGED_GOOD_FRAMES}, {"./far.ogv", 11}, {"./farther.ogv", 11}, {"./raised_next.ogv", 11},
        {"./raised_last.ogv", 11}, {"./raised_tail.ogv", 11},
    };
    for (auto c : cases) {
        MovieRecord *once, *looping;
        int a = RunningMovie(this, c.file, 1, &once);
        int b = RunningMovie(this, c.file, 3, &looping);
        for (int step = 0; step <= c.goodFrames + 2; step++) Draw(step ? 100000 : 0, a, b);
        EXPECT_EQ(once->playing, 0) << c.file;
        EXPECT_EQ(once->paused, 1) << c.file;
        EXPECT_EQ(CopiedFrame(once), c.goodFrames - 1) << c.file;
        EXPECT_EQ(looping->playing, 1) << c.file;
        EXPECT_EQ(looping->paused, 0) << c.file;
        EXPECT_LT(CopiedFrame(looping), 3) << c.file;   // it started again
        ReleaseMovieHandle(a);
        ReleaseMovieHandle(b);
    }
}

// ---- draws rarer than the frames (m640.ogv: 30 frames a second) ------------------------------------

// The m640 frame the frame copy holds, -1 for none.
int CopiedM640Frame(const MovieRecord *r)
{
    return moviefixture::FrameShown(moviefixture::kM640, r->frameCopy.pixels, r->frameCopy.pitch, 32);
}

TEST_F(MovieTest, DrawsRarerThanTheFramesShowTheFrameDueAtEachDraw)
{
    for (int bits : {16, 32}) {   // each frame tells itself apart
        std::vector<uint64_t> frames = moviefixture::FrameHashes(moviefixture::kM640, bits);
        ASSERT_EQ(frames.size(), 60u);
        std::sort(frames.begin(), frames.end());
        ASSERT_EQ(std::unique(frames.begin(), frames.end()), frames.end());
    }
    for (int rate : {20, 24}) {
        MovieRecord *r;
        int movie = RunningMovie(this, "m640.ogv", 1, &r);
        uint64_t start = GetSteppedClockMicroseconds();
        for (int k = 0; k < 2 * rate; k++) {
            uint64_t at = (uint64_t)k * 1000000 / rate;
            Draw(start + at - GetSteppedClockMicroseconds(), movie);
            EXPECT_EQ(CopiedM640Frame(r), (int)(at * 30 / 1000000)) << rate << " a second, draw " << k;
        }
        ReleaseMovieHandle(movie);
    }
}

TEST_F(MovieTest, ADrawShowsALateFrameAndTheDecoderGoesStraightForTheDueOne)
{
    MovieRecord *r;
    int movie = RunningMovie(this, "m640.ogv", 1, &r);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);  // frames 0 and 1
    MmTestHoldDecoders(1);                  // the decoder falls behind
    AdvanceMovieToCurrentFrame(movie, 0);
    AdvanceSteppedClock(200000);            // frame 6 is due, frame 1 five frames late
    gDisplay.presents++;
    AdvanceMovieToCurrentFrame(movie, 0);
    EXPECT_EQ(CopiedM640Frame(r), 1);       // newer than the one on screen
    MmTestResetCounters();
    MmTestHoldDecoders(0);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    EXPECT_EQ(moviefixture::Counted(&MmTestCounters::decoded), 6);     // frames 2 to 6, and 7 ahead
    EXPECT_EQ(moviefixture::Counted(&MmTestCounters::converted), 0);   // a frame is converted when it is taken
    AdvanceSteppedClock(5000);
    gDisplay.presents++;
    AdvanceMovieToCurrentFrame(movie, 0);
    EXPECT_EQ(CopiedM640Frame(r), 6);
    EXPECT_EQ(moviefixture::Counted(&MmTestCounters::converted), 1);   // of them only the due one, which the draw took
}

// ---- stops never wait for the decoder ---------------------------------------------------------------

// Each comes back while the worker is held in the middle of a frame of a long job (a seek to frame 11
// of m640.ogv: frames 2 to 11 to decode); the job is dropped after that frame. Then: frames decoded
// (-1: not checked; the seek's: 24 to 30, and 31 ahead) and the frame a draw shows (-1: the movie is
// gone).
TEST_F(MovieTest, ARemoveADisplayChangeAndASeekComeBackWhileTheDecoderIsInTheMiddleOfAFrame)
{
    const struct { const char *name; void (*act)(MovieRecord *r, int movie); int decoded, shown; } cases[] = {
        {"remove", [](MovieRecord *, int movie) { ReleaseMovieHandle(movie); }, 0, -1},
        {"display change", [](MovieRecord *, int) { ReleaseAllMovieStreams(), ReopenAllMovies(); }, -1, 11},
        {"seek", [](MovieRecord *r, int) { r->multiStream->fn->Seek(r->multiStream, 10000000); }, 8, 30},
    };
    for (auto c : cases) {
        MovieRecord *r;
        int movie = RunningMovie(this, "m640.ogv", 1, &r);
        ASSERT_EQ(MmTestWaitForDecoders(), 0);
        MmTestHoldNextFrame();
        r->multiStream->fn->Seek(r->multiStream, 3666667);
        ASSERT_EQ(MmTestWaitForHeldFrame(), 0) << c.name;
        MmTestResetCounters();
        c.act(r, movie);
        EXPECT_EQ(MmTestFrameHeld(), 1) << c.name;
        MmTestReleaseHeldFrame();
        ASSERT_EQ(MmTestWaitForDecoders(), 0) << c.name;
        if (c.decoded >= 0) { EXPECT_EQ(moviefixture::Counted(&MmTestCounters::decoded), c.decoded) << c.name; }
        if (c.shown < 0) continue;
        Draw(0, movie);
        EXPECT_EQ(CopiedM640Frame(r), c.shown) << c.name;
        ReleaseMovieHandle(movie);
    }
}

// A storm of removes and re-opens, and of display changes, of a movie each of whose frames is a long
// decode (every worker held in the middle of its frames): the decoders let go finish their frame while
// the new ones wait to make their codec, so that only the first one let go holds a codec, the memory
// stays that of a movie or two, and those let go before they began end by themselves.
TEST_F(MovieTest, AStormOfRemovesReopensAndDisplayChangesHoldsTheMemoryOfADecoderOrTwo)
{
    size_t start = AllocatedBytes();
    MmTestHoldEveryFrame(1);
    MovieRecord *r;
    int movie = RunningMovie(this, "m640.ogv", 1, &r);
    ASSERT_EQ(MmTestWaitForHeldFrame(), 0);   // frame 0, decoded while the movie was made ready
    size_t one = AllocatedBytes() - start;
    for (int i = 0; i < 40; i++) {
        if (i % 4 == 3) ReleaseAllMovieStreams(), ReopenAllMovies();
        else ReleaseMovieHandle(movie), movie = RunningMovie(this, "m640.ogv", 1, &r);
        EXPECT_EQ(MmTestDecodersHoldingACodec(), 1) << i;
    }
    if (!HasFailure()) { EXPECT_EQ(MmTestWaitForRunningDecoders(2), 0); }   // the held one and the live one
    EXPECT_LE(AllocatedBytes() - start, 2 * one);
    MmTestHoldEveryFrame(0);
    Draw(0, movie);
    EXPECT_EQ(CopiedM640Frame(r), 0);
}

TEST_F(MovieTest, FocusChangesResumeOnlyWhatTheSystemPausedAndHoldTheStreamTime)
{
    MovieRecord *user, *system;
    int a = RunningMovie(this, "m420.ogv", 1, &user);
    int b = RunningMovie(this, "m422.ogv", 1, &system);
    AdvanceSteppedClock(300000);
    EXPECT_EQ(PauseMovieByHandle(a, 0), 0);
    EXPECT_EQ(PauseAllMoviesForSystem(), 0);
    EXPECT_EQ(user->playing, 0);
    EXPECT_EQ(system->playing, 1);
    EXPECT_EQ(system->paused, 1);
    MmStreamTime held, later;
    system->multiStream->fn->GetTime(system->multiStream, &held);
    AdvanceSteppedClock(2000000);
    system->multiStream->fn->GetTime(system->multiStream, &later);
    EXPECT_EQ(later, held);
    EXPECT_EQ(ResumeSystemPausedMovies(), 0);
    EXPECT_EQ(user->paused, 1);
    EXPECT_EQ(system->paused, 0);
    EXPECT_EQ(system->playing, 1);
    AdvanceSteppedClock(100000);
    system->multiStream->fn->GetTime(system->multiStream, &later);
    EXPECT_EQ(later, held + 1000000);
    (void)b;
}

TEST_F(MovieTest, ADisplayChangeReleasesTheStreamsAndTheReopenKeepsTimeAndPause)
{
    MovieRecord *running, *paused;
    RunningMovie(this, "m420.ogv", 1, &running);
    int b = RunningMovie(this, "m422.ogv", 1, &paused);
    AdvanceSteppedClock(700000);
    PauseMovieByHandle(b, 0);
    EXPECT_EQ(ReleaseAllMovieStreams(), 0);
    EXPECT_TRUE(AllObjectsNull(running) && AllObjectsNull(paused));
    EXPECT_EQ(running->updateEvent, 0);
    EXPECT_EQ(running->frameCopy.pixels, nullptr);
    EXPECT_EQ(running->savedStreamTime, 7000000);
    EXPECT_EQ(AdvanceMovieToCurrentFrame(b, 0), 0);   // released movies are passed by
    EXPECT_EQ(PauseMovieByHandle(b, 1), 0);
    AdvanceSteppedClock(5000000);
    EXPECT_EQ(ReopenAllMovies(), 0);
    MmStreamTime t;
    MmStreamState state;
    running->multiStream->fn->GetTime(running->multiStream, &t);
    running->multiStream->fn->GetState(running->multiStream, &state);
    EXPECT_EQ(t, 7000000);
    EXPECT_EQ(state, MM_STREAMSTATE_RUN);
    paused->multiStream->fn->GetState(paused->multiStream, &state);
    EXPECT_EQ(state, MM_STREAMSTATE_STOP);
}

TEST_F(MovieTest, TheFirstFailingReopenStopsTheWalkAndLeavesTheRestReleased)
{
    MovieRecord *r[3];
    for (MovieRecord *&m : r) RunningMovie(this, "m444.ogv", 1, &m);
    ReleaseAllMovieStreams();
    MmTestFailNth(MM_FAULT_CREATE_GRAPH, 2);
    EXPECT_EQ(ReopenAllMovies(), -1);
    EXPECT_FALSE(AllObjectsNull(r[0]));
    EXPECT_TRUE(AllObjectsNull(r[1]));
    EXPECT_TRUE(AllObjectsNull(r[2]));
    EXPECT_EQ(ReopenAllMovies(), 0);
    EXPECT_FALSE(AllObjectsNull(r[2]));
}

TEST_F(MovieTest, LostSurfacesAreRestored)
{
    MovieRecord *r;
    int movie = RunningMovie(this, "m420.ogv", 1, &r);
    DdTestLoseAllSurfaces();
    EXPECT_EQ(r->surface4->fn->IsLost(r->surface4), DD_ERR_SURFACE_LOST);
    EXPECT_EQ(RestoreLostMovieSurfaces(movie), 0);
    EXPECT_EQ(r->surface4->fn->IsLost(r->surface4), DD_OK);
}

// ---- overlays ---------------------------------------------------------------------------------------

// A hand-built overlay movie of 40 x 30 whose first frame was shown; the overlay surface records.
class OverlayTest : public MovieTest {
protected:
    MovieRecord *r = nullptr;
    int movie = -1;
    void SetUp() override
    {
        MovieTest::SetUp();
        movie = NewRecord(&r);
        r->surfaceMode = MOVIE_SURFACE_OVERLAY;
        r->width = 40;
        r->height = 30;
        r->frameShown = 1;
        DdSurfaceDesc desc = {sizeof(DdSurfaceDesc), DD_SD_CAPS | DD_SD_WIDTH | DD_SD_HEIGHT, 30, 40};
        desc.caps = DD_CAPS_OFFSCREENPLAIN | DD_CAPS_SYSTEMMEMORY;
        ASSERT_EQ(gDisplay.draw->fn->CreateSurface(gDisplay.draw, &desc, &r->surface7, nullptr), DD_OK);
    }
    // The last overlay call, or all zero.
    FakeDisplay::OverlayCall Last() { return gDisplay.overlayCalls.empty() ? FakeDisplay::OverlayCall{} : gDisplay.overlayCalls.back(); }
};

bool Same(const Rect &a, const Rect &b) { return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom; }

TEST_F(OverlayTest, PlacementClipsTrimsAlignsAndSkipsRepeats)
{
    const struct {
        int x, y, m, show; uint32_t alignBits; MovieOverlayAlign align; int region; Rect box;
        uint32_t flags; Rect source, dest;
    } cases[] = {
        {10, 20, 1, 1, 0, {}, MOVIE_CLIP_NO_DC, {}, MOVIE_OVERLAY_SHOW, {0, 0, 40, 30}, {10, 20, 50, 50}},
        {-10, 0, 2, 1, 0, {}, MOVIE_CLIP_NO_DC, {}, MOVIE_OVERLAY_SHOW, {5, 0, 40, 30}, {0, 0, 70, 60}},
        {620, 0, 1, 1, 0, {}, MOVIE_CLIP_NO_DC, {}, MOVIE_OVERLAY_SHOW, {0, 0, 20, 30}, {620, 0, 640, 30}},
        {700, 0, 1, 1, 0, {}, MOVIE_CLIP_NO_DC, {}, MOVIE_OVERLAY_HIDE, {}, {}},
        {10, 20, 0, 1, 0, {}, MOVIE_CLIP_NO_DC, {}, MOVIE_OVERLAY_SHOW, {0, 0, 40, 30}, {10, 20, 50, 50}},
        {10, 20, -3, 1, 0, {}, MOVIE_CLIP_NO_DC, {}, MOVIE_OVERLAY_SHOW, {0, 0, 40, 30}, {10, 20, 50, 50}},
        {10, 20, 1, 0, 0, {}, MOVIE_CLIP_NO_DC, {}, MOVIE_OVERLAY_HIDE, {}, {}},
        {-5, 3, 1, 1, MOVIE_CAPS_ALIGN_BOUNDARY_SRC | MOVIE_CAPS_ALIGN_SIZE_SRC | MOVIE_CAPS_ALIGN_BOUNDARY_DEST |
         MOVIE_CAPS_ALIGN_SIZE_DEST, {4, 8, 8, 16}, MOVIE_CLIP_NO_DC, {}, MOVIE_OVERLAY_SHOW, {4, 0, 38, 30}, {0, 3, 27, 33}},
        {10, 20, 1, 1, 0, {}, MOVIE_CLIP_SIMPLE_REGION, {0, 0, 30, 480}, MOVIE_OVERLAY_SHOW, {0, 0, 20, 30}, {10, 20, 30, 50}},
        {10, 20, 1, 1, 0, {}, MOVIE_CLIP_COMPLEX_REGION, {}, MOVIE_OVERLAY_HIDE, {}, {}},
        {10, 20, 1, 1, 0, {}, MOVIE_CLIP_NULL_REGION, {}, MOVIE_OVERLAY_HIDE, {}, {}},
    };
    ChangeWindowMode(1);
    for (auto c : cases) {
        r->overlay = {};
        gDisplay.overlayCalls.clear();
        gDisplay.alignBits = c.alignBits;
        gDisplay.align = c.align;
        gDisplay.clipRegion = c.region;
        gDisplay.clipBox = c.box;
        EXPECT_EQ(PlaceMovieOverlay(c.x, c.y, c.m, movie, c.show), 0);
        ASSERT_EQ(gDisplay.overlayCalls.size(), 1u) << c.x << " " << c.m;
        EXPECT_EQ(Last().flags, c.flags) << c.x << " " << c.m;
        EXPECT_TRUE(Same(r->overlay.source, c.source)) << c.x << " " << c.m << ": " << r->overlay.source.left << ","
                                                        << r->overlay.source.right;
        EXPECT_TRUE(Same(r->overlay.dest, c.dest)) << c.x << " " << c.m << ": " << r->overlay.dest.left << ","
                                                    << r->overlay.dest.right;
        if (c.flags == MOVIE_OVERLAY_SHOW) {
            EXPECT_TRUE(Same(Last().source, c.source));
            PlaceMovieOverlay(c.x, c.y, c.m, movie, c.show);
            RefreshMovieOverlays();
            EXPECT_EQ(gDisplay.overlayCalls.size(), 1u) << "a repeat calls again";
        }
    }
}

TEST_F(OverlayTest, NothingHappensBeforeTheFirstFrameOrWhileReleasedOrInAnotherMode)
{
    const struct { int shown, mode, released; } cases[] = {{0, 1, 0}, {1, 0, 0}, {1, 1, 1}};
    for (auto c : cases) {
        r->frameShown = c.shown;
        r->surfaceMode = c.mode;
        DdSurface *keep = r->surface7;
        if (c.released) r->surface7 = nullptr;
        EXPECT_EQ(PlaceMovieOverlay(0, 0, 1, movie, 1), 0);
        r->surface7 = keep;
    }
    EXPECT_TRUE(gDisplay.overlayCalls.empty());
}

TEST_F(OverlayTest, ReleaseHidesTheOverlay)
{
    EXPECT_EQ(IsMovieOverlayMode(movie), 1);
    EXPECT_EQ(ReleaseMovieHandle(movie), 0);
    EXPECT_EQ(Last().flags, MOVIE_OVERLAY_HIDE);
}

}  // namespace
