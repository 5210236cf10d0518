// A movie shown in a graph on a running library: successive frames on the back screen through
// PutGraph, its time held across a focus loss and a display change, released with its graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/graphics_start.h"
#include "lib/movie/movie_graph_hooks.h"
#include "lib/graphics/screen.h"
#include "lib/movie/movie.h"
#include "platform/window/window.h"
#include "tests/graphics/draw_fixture.h"
#include "tests/movie/movie_fixtures.h"
#include "tests/softrender/fill_canvas.h"
#include "tests/support/screen_readback.h"
#include "tests/support/stepped_clock.h"
#include "testsupport/test_hooks.h"

namespace {

using namespace moviefixture;

DdDraw *gDraw;
DdDraw *LibraryDraw(void) { return gDraw; }

class MovieGraphTest : public ::testing::Test {
protected:
    int objects = 0, surfaces = 0;
    SavedRenderRoute keep;
    void SetUp() override
    {
        ASSERT_EQ(EnterFreshTempDir(), 0);
        InstallSteppedClock(1000000);
        objects = MmTestLiveObjectCount();
        surfaces = DdTestLiveCount(DD_OBJ_SURFACE);
        ChangeWindowMode(1);
        ASSERT_EQ(InitLibrary(), 0);
        ASSERT_EQ(SelectScreenMode(640, 480, 16, 60), 0);
        ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
        ASSERT_EQ(DdCreate(nullptr, &gDraw, nullptr), DD_OK);
        MovieDisplayFns fns = {};
        fns.getDirectDrawObject = LibraryDraw;
        SetMovieDisplayFns(&fns);
    }
    void TearDown() override
    {
        MmTestHoldDecoders(0);   // a hold a failed assertion left
        EndLibrary();
        if (gDraw) gDraw->fn->Release(gDraw);
        gDraw = nullptr;
        SetMovieDisplayFns(nullptr);
        RemoveSteppedClock();
        EXPECT_EQ(GetMovieHandleTable()->usedCount, 0);
        EXPECT_EQ(MmTestLiveObjectCount(), objects);
        EXPECT_EQ(DdTestLiveCount(DD_OBJ_SURFACE), surfaces);
        LeaveFreshTempDir();
    }
    // The graph drawn at (x0, y0): its pixels that differ from reference frame n (565 or X888 by the screen).
    static int WrongInGraph(const Movie &m, int n, int graph, int x0, int y0)
    {
        EXPECT_EQ(PutGraph(x0, y0, graph, 0), 0);
        RefFrame f = ReferenceFrames(m)[n];
        const MEMIMG *screen = ReadBackBackScreen();
        int wide = GetMemImgBytesPerPixel(screen) == 4;
        int wrong = 0;
        for (int y = 0; y < m.height; y++)
            for (int x = 0; x < m.width; x++) {
                int r, g, b;
                TableColour(m, f, x, y, &r, &g, &b);
                uint32_t want = wide ? (uint32_t)(r << 16 | g << 8 | b) : (uint32_t)((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
                wrong += (GetPx(screen, x0 + x, y0 + y) & (wide ? 0xFFFFFFu : 0xFFFFu)) != want;
            }
        return wrong;
    }
    // The frame of m the graph shows drawn at (0, 0) of the back screen, -1 none.
    static int FrameInGraph(const Movie &m, int graph, int bits)
    {
        EXPECT_EQ(PutGraph(0, 0, graph, 0), 0);
        const MEMIMG *screen = ReadBackBackScreen();
        return FrameShown(m, screen->pixels, screen->shared->pitch, bits);
    }
    // The routes a run draws on: software and DirectDraw, and Direct3D where it really draws.
    static std::vector<const char *> Routes()
    {
        return IsDirect3DRouteExpected() ? std::vector<const char *>{"software", "ddraw", "d3d"}
                                         : std::vector<const char *>{"software", "ddraw"};
    }
    // The library started again on a route, its back screen of that size and depth the draw target.
    static void RestartOn(const char *route, int width, int height, int bits)
    {
        EndLibrary();
        setenv("DAZAR_RENDER_ROUTE", route, 1);
        ASSERT_EQ(InitLibrary(), 0);
        ASSERT_EQ(SelectScreenMode(width, height, bits, 60), 0);
        ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
    }
    static MmStreamTime StreamTime(int movie)
    {
        MmStreamTime t = -1;
        MovieRecord *r = LookupMovieRecord(movie);
        r->multiStream->fn->GetTime(r->multiStream, &t);
        return t;
    }
};

TEST_F(MovieGraphTest, PutGraphShowsSuccessiveFramesAndFocusAndDisplayChangesKeepTheTime)
{
    const Movie &m = kMovies[0];
    int graph = OpenMovieToGraph(Path(m.name).c_str(), 0, 1);
    ASSERT_NE(graph, -1);
    int movie = GetGraphMovieHandle(graph);
    ASSERT_EQ(RunMovie(movie), 0);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    EXPECT_EQ(WrongInGraph(m, 0, graph, 100, 50), 0);
    PresentFrame();
    AdvanceSteppedClock(100000);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    EXPECT_EQ(WrongInGraph(m, 1, graph, 100, 50), 0);

    WHandle window = (WHandle)GetMainWindowHandle();
    MmStreamTime before = StreamTime(movie);
    HandleWindowMessage(window, W_WM_ACTIVATEAPP, 0, 0);
    AdvanceSteppedClock(2000000);
    HandleWindowMessage(window, W_WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(StreamTime(movie), before);

    AdvanceSteppedClock(100000);
    before = StreamTime(movie);
    HandleWindowMessage(window, W_WM_DISPLAYCHANGE, 16, 0);
    EXPECT_EQ(StreamTime(movie), before);   // released, re-opened at its time and run again
    PresentFrame();
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    EXPECT_EQ(WrongInGraph(m, 2, graph, 100, 50), 0);

    EXPECT_EQ(RemoveGraph(graph, 0), 0);
    EXPECT_EQ(LookupMovieRecord(movie), nullptr);
}

// A frame is converted once, when it is taken: the first at the open's first draw, and again after a
// display change, on every route (Direct3D's where it really draws). The frame copy lives in the
// graph's store where that can hold it (a 640-wide movie on the software and the DirectDraw route, not
// in a texture) from the open and the re-open after a display change on, and goes back into a block of
// the movie's own while the graph's store is lost: the frame copy and the screen show each frame due
// (the screen not while lost), 16 and 32-bit screens. Drawn before its first frame is decoded, the
// graph and its frame copy are black (their stores are made blank, not left as the heap gave them).
TEST_F(MovieGraphTest, EachFrameShownIsConvertedOnceAndReachesTheGraphWithTheFrameCopy)
{
    const std::vector<uint8_t> black((size_t)640 * 480 * 4);
    // The time it moves on, what happens first (1 a display change, 2 every display surface but the
    // movie's own lost), the frame then due.
    const struct { int advance, event, frame; } steps[] = {{0, 0, 0}, {110000, 1, 3}, {100000, 0, 6}, {34000, 0, 7},
                                                           {33000, 2, 8}, {33000, 0, 9}};
    for (const char *use : Routes())
        for (int bits : {16, 32}) {
            ASSERT_NO_FATAL_FAILURE(RestartOn(use, 640, 480, bits));
            SCOPED_TRACE(std::string(use) + " " + std::to_string(bits));
            MmTestHoldDecoders(1);   // nothing decoded yet
            int graph = OpenMovieToGraph(Path("m640.ogv").c_str(), 0, 1);
            ASSERT_NE(graph, -1);
            MovieRecord *r = LookupMovieRecord(GetGraphMovieHandle(graph));
            int hosted = strcmp(use, "d3d") ? graph : 0;
            EXPECT_EQ(r->frameCopyHost, hosted);
            ASSERT_EQ(RunMovie(GetGraphMovieHandle(graph)), 0);
            ASSERT_EQ(PaintFilledBox(0, 0, 640, 480, 0xFFFFFF), 0);
            ASSERT_EQ(PutGraph(0, 0, graph, 0), 0);
            const MEMIMG *shown = ReadBackBackScreen();
            uint64_t blank = PictureHash(black.data(), 640 * bits / 8, 640, 480, bits);
            EXPECT_EQ(PictureHash(shown->pixels, shown->shared->pitch, 640, 480, bits), blank);
            EXPECT_EQ(PictureHash((const uint8_t *)r->frameCopy.pixels, r->frameCopy.pitch, 640, 480, bits), blank);
            MmTestHoldDecoders(0);
            ASSERT_EQ(MmTestWaitForDecoders(), 0);   // frames 0 and 1
            MmTestResetCounters();
            for (int k = 0; k < 6; k++) {
                AdvanceSteppedClock(steps[k].advance);
                if (steps[k].event == 1) {
                    HandleWindowMessage((WHandle)GetMainWindowHandle(), W_WM_DISPLAYCHANGE, bits, 0);
                    EXPECT_EQ(r->frameCopyHost, hosted);
                }
                PresentFrame();
                ASSERT_EQ(MmTestWaitForDecoders(), 0);
                if (steps[k].event == 2) {
                    DdTestLoseAllSurfaces();
                    RestoreLostMovieSurfaces(GetGraphMovieHandle(graph));
                    UpdateGraphMovieFrame(graph, 0);
                    RestoreDisplay();
                } else {
                    EXPECT_EQ(FrameInGraph(kM640, graph, bits), steps[k].frame) << k;
                }
                EXPECT_EQ(FrameShown(kM640, r->frameCopy.pixels, r->frameCopy.pitch, bits), steps[k].frame) << k;
                EXPECT_EQ(Counted(&MmTestCounters::converted), k + 1) << k;
            }
            EXPECT_EQ(r->frameCopyHost, hosted);
            EXPECT_EQ(RemoveGraph(graph, 0), 0);
        }
}

// A movie whose stream time ran past its end before a display change: the first update after the
// re-open ends at the end of the stream without a frame, and the graph goes on showing the last frame
// shown (not the blank new sample surface) until the movie ends, or loops to its first frame.
TEST_F(MovieGraphTest, AnUpdateEndingAtTheEndAfterADisplayChangeKeepsTheLastFrameShown)
{
    const Movie &m = kMovies[0];
    for (const char *use : Routes())
        for (int playType : {1, 3}) {
            ASSERT_NO_FATAL_FAILURE(RestartOn(use, 320, 240, 16));
            SCOPED_TRACE(std::string(use) + " play type " + std::to_string(playType));
            int graph = OpenMovieToGraph(Path(m.name).c_str(), 0, playType);
            ASSERT_NE(graph, -1);
            ASSERT_EQ(RunMovie(GetGraphMovieHandle(graph)), 0);
            AdvanceSteppedClock(1950000);
            ASSERT_EQ(MmTestWaitForDecoders(), 0);
            EXPECT_EQ(WrongInGraph(m, FIXTURE_FRAMES - 1, graph, 0, 0), 0);
            AdvanceSteppedClock(500000);
            MmTestHoldDecoders(1);   // the first update after the re-open stays pending
            HandleWindowMessage((WHandle)GetMainWindowHandle(), W_WM_DISPLAYCHANGE, 16, 0);
            for (int draw = 0; draw < 3; draw++) {
                if (draw == 2) { EXPECT_EQ(LookupMovieRecord(GetGraphMovieHandle(graph))->playing, playType == 3); }
                PresentFrame();
                EXPECT_EQ(WrongInGraph(m, draw == 2 && playType == 3 ? 0 : FIXTURE_FRAMES - 1, graph, 0, 0), 0) << draw;
                MmTestHoldDecoders(0);
                ASSERT_EQ(MmTestWaitForDecoders(), 0);
            }
            EXPECT_EQ(RemoveGraph(graph, 0), 0);
        }
}

// The library's own display behind the movie (no stand-in draw object): software rendering mode on a
// 16 and a 32-bit screen, a movie asked for in each surface mode (the overlay is not offered: mode 1
// plays in system memory), every frame of every fixture on the back screen at n / fps.
TEST_F(MovieGraphTest, InSoftwareRenderingModeEveryModePlaysEveryFramePixelExact)
{
    EndLibrary();
    gDraw->fn->Release(gDraw);
    gDraw = nullptr;
    SetMovieDisplayFns(nullptr);
    setenv("DAZAR_RENDER_ROUTE", "software", 1);
    ASSERT_EQ(InitLibrary(), 0);
    for (int depth : {16, 32})
        for (int mode : {0, 1, 2}) {
            ASSERT_EQ(SelectScreenMode(640, 480, depth, 60), 0);
            ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
            for (const Movie &m : kMovies) {
                int graph = OpenMovieToGraph(Path(m.name).c_str(), mode, 1);
                ASSERT_NE(graph, -1) << m.name << " " << depth << " " << mode;
                int movie = GetGraphMovieHandle(graph);
                EXPECT_EQ(LookupMovieRecord(movie)->surfaceMode, mode == 0 || depth == 32 ? 0 : 2);
                ASSERT_EQ(RunMovie(movie), 0);
                for (int n = 0; n < FIXTURE_FRAMES; n++) {
                    ASSERT_EQ(MmTestWaitForDecoders(), 0);
                    EXPECT_EQ(WrongInGraph(m, n, graph, 20, 30), 0) << m.name << " " << depth << " " << mode << " " << n;
                    PresentFrame();
                    AdvanceSteppedClock(100000);
                }
                EXPECT_EQ(RemoveGraph(graph, 0), 0);
            }
        }
}

// Variable-rate movies in fine time bases whose frames are held long: a slide held 60 s in
// milliseconds, a frame held 2 s in 1/90000 s (the frame numbers as the muxer wrote them: each frame's
// time plus its input frame's length less a tick). On every route at 16 and 32 bits each frame shows from
// its time to just before the next one's, seeks into and around the held frames show the frame covering
// them, and the movie ends only after its last frame.
TEST_F(MovieGraphTest, FramesHeldLongInAFineTimeBaseShowForAllTheirTimeAndSeeksLandOnThem)
{
    struct Held { Movie movie; int64_t rate; std::vector<int64_t> numbers; std::vector<MmStreamTime> seeks; };
    std::vector<int64_t> held90k;
    for (int k = 0; k < 60; k++) held90k.push_back(3000 * k + 2999 + (k > 30 ? 180000 : 0));
    const Held movies[] = {
        {{"slides.ogv", 32, 24, 0}, 1000, {999, 1999, 2999, 3999, 63999, 64999},
         {45000000, 300000000, 639989999, 639990000, 649995000, 25000000}},
        {{"held90k.ogv", 64, 48, 0}, 90000, held90k,
         {15000000, 29000000, 30666554, 30666556, 35000000, 10000000}},
    };
    for (const char *use : Routes())
        for (int bits : {16, 32}) {
            ASSERT_NO_FATAL_FAILURE(RestartOn(use, 320, 240, bits));
            for (const Held &h : movies) {
                SCOPED_TRACE(std::string(use) + " " + std::to_string(bits) + " " + h.movie.name);
                int graph = OpenMovieToGraph(Path(h.movie.name).c_str(), 0, 1);
                ASSERT_NE(graph, -1);
                MovieRecord *r = LookupMovieRecord(GetGraphMovieHandle(graph));
                std::vector<MmStreamTime> times;
                for (int64_t n : h.numbers) times.push_back(n * 10000000 / h.rate);
                // The frame a draw shows once the stream time is at least at (100 ns; -1: now). A draw
                // within 17 ms of the last takes a frame only in the next presented frame.
                uint64_t start = GetSteppedClockMicroseconds(), drawn = 0;
                ASSERT_EQ(RunMovie(GetGraphMovieHandle(graph)), 0);
                auto shownAt = [&](MmStreamTime at) {
                    if (at >= 0) AdvanceSteppedClock(start + (uint64_t)(at + 9) / 10 - GetSteppedClockMicroseconds());
                    EXPECT_EQ(MmTestWaitForDecoders(), 0);
                    if (GetSteppedClockMicroseconds() - drawn <= 17000) PresentFrame();
                    drawn = GetSteppedClockMicroseconds();
                    return FrameInGraph(h.movie, graph, bits);
                };
                for (size_t k = 0; k < times.size(); k++) {
                    EXPECT_EQ(shownAt(times[k]), (int)k) << "at frame " << k;
                    // A frame held long is still on show just before the next one.
                    if (k + 1 < times.size() && times[k + 1] - times[k] > 10000000) {
                        EXPECT_EQ(shownAt((times[k + 1] - 10) / 10 * 10), (int)k) << "before " << k + 1;
                    }
                }
                for (MmStreamTime seek : h.seeks) {
                    int want = (int)(std::upper_bound(times.begin(), times.end(), seek) - times.begin()) - 1;
                    r->multiStream->fn->Seek(r->multiStream, seek);
                    EXPECT_EQ(shownAt(-1), want) << "seek to " << seek;
                }
                EXPECT_EQ(r->playing, 1);
                r->multiStream->fn->Seek(r->multiStream, times.back());
                start = GetSteppedClockMicroseconds() - (uint64_t)times.back() / 10;
                shownAt(times.back() + 10000000);
                EXPECT_EQ(r->playing, 0);   // ended a second after the last frame
                EXPECT_EQ(RemoveGraph(graph, 0), 0);
            }
        }
}

}  // namespace
