// Movie tests: a display object of the display stand-in behind the movie module's display functions,
// a stepped clock, a fresh directory with its own log, and leak checks at the end of each test.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/movie/movie.h"
#include "lib/movie/movie_graph_hooks.h"
#include "lib/movie/movie_hooks.h"
#include "tests/movie/movie_fixtures.h"
#include "tests/support/stepped_clock.h"
#include "testsupport/test_hooks.h"

namespace movietest {

// What the display functions answer; tests change it.
struct FakeDisplay {
    DdDraw *draw = nullptr;
    int depth = 16;
    int software = 1;
    uint64_t presents = 0;
    const DdPixelFormat *overlayFormat = nullptr;
    uint32_t alignBits = 0;
    MovieOverlayAlign align = {};
    int clipRegion = MOVIE_CLIP_NO_DC;
    Rect clipBox = {};
    // The overlay calls made: flags and rectangles (zero when none were given).
    struct OverlayCall { uint32_t flags; Rect source, dest; };
    std::vector<OverlayCall> overlayCalls;
};
inline FakeDisplay gDisplay;

inline DdDraw *FakeDraw(void) { return gDisplay.draw; }
inline const DdPixelFormat *FakeOverlayFormat(void) { return gDisplay.overlayFormat; }
inline int FakeDepth(void) { return gDisplay.depth; }
inline int FakeSoftware(void) { return gDisplay.software; }
inline uint64_t FakePresents(void) { return gDisplay.presents; }
inline const DdPixelFormat *FakeScreenFormat(void)
{
    static DdPixelFormat f;
    DdMakePixelFormat(gDisplay.depth == 16 ? 565 : 888, &f);
    return &f;
}
inline void FakeAlignment(uint32_t *bits, MovieOverlayAlign *align)
{
    *bits = gDisplay.alignBits;
    *align = gDisplay.align;
}
inline int32_t RecordOverlay(DdSurface *, const Rect *s, DdSurface *, const Rect *d, uint32_t flags)
{
    gDisplay.overlayCalls.push_back({flags, s ? *s : Rect{}, d ? *d : Rect{}});
    return DD_OK;
}
inline int FakeClipBox(Rect *box)
{
    *box = gDisplay.clipBox;
    return gDisplay.clipRegion;
}

class MovieTest : public ::testing::Test {
protected:
    int blocks = 0, objects = 0, surfaces = 0;

    void SetUp() override
    {
        ASSERT_EQ(EnterFreshTempDir(), 0);
        ASSERT_EQ(OpenLogFile("."), 0);
        BuildYuvToRgbTables();
        InstallSteppedClock(10000000);
        MmTestResetFaults();
        DdTestResetFaults();
        gDisplay = FakeDisplay{};
        blocks = GetTrackedBlockCount();
        objects = MmTestLiveObjectCount();
        surfaces = DdTestLiveCount(DD_OBJ_SURFACE);
        ASSERT_EQ(DdCreate(nullptr, &gDisplay.draw, nullptr), DD_OK);
        MovieDisplayFns fns = {FakeDraw,     FakeOverlayFormat, FakeScreenFormat, nullptr,        nullptr,
                               FakeAlignment, FakePresents,     FakeDepth,        FakeSoftware,   RecordOverlay,
                               FakeClipBox};
        SetMovieDisplayFns(&fns);
    }
    void TearDown() override
    {
        MmTestHoldEveryFrame(0);   // a hold a failed assertion left
        for (int slot = 0; slot < MOVIE_TABLE_SIZE; slot++) {
            HandleRecordHead *r = GetMovieHandleTable()->records[slot];
            if (r) ReleaseMovieHandle(MakeHandle(GetMovieHandleTable(), slot, r->check));
        }
        EXPECT_EQ(GetMovieHandleTable()->usedCount, 0);
        EXPECT_EQ(MmTestWaitForDecoders(), 0);   // every worker let go has ended
        gDisplay.draw->fn->Release(gDisplay.draw);
        SetMovieDisplayFns(nullptr);
        MmTestResetFaults();
        DdTestResetFaults();
        RemoveSteppedClock();
        EXPECT_EQ(GetTrackedBlockCount(), blocks);
        EXPECT_EQ(MmTestLiveObjectCount(), objects);
        EXPECT_EQ(DdTestLiveCount(DD_OBJ_SURFACE), surfaces);
        CloseLogFile();
        LeaveFreshTempDir();
    }

    // A bare record in the table, as a movie's creation would leave it. Its handle.
    int NewRecord(MovieRecord **out)
    {
        MovieRecord *r = (MovieRecord *)DZ_ALLOC_ZERO(sizeof(MovieRecord));
        r->soundHandle = -1;
        int handle = AddHandleRecord(GetMovieHandleTable(), &r->head);
        if (out) *out = r;
        return handle;
    }
    // A record opened on a fixture in a surface mode; the open's result in *result.
    int OpenRecord(const char *fixture, int mode, MovieRecord **out, int *result = nullptr, int *w = nullptr, int *h = nullptr)
    {
        int handle = NewRecord(out);
        int r = OpenMovieThroughDirectShow(gDisplay.draw, *out, moviefixture::Path(fixture).c_str(), w, h, mode);
        if (result) *result = r;
        return handle;
    }
    static std::string LogText() { return ReadTestFile("Log.txt"); }
    static bool LogHas(const std::string &text) { return LogText().find(text) != std::string::npos; }
};

// 1 when every stream and display object of the record is gone.
inline bool AllObjectsNull(const MovieRecord *r)
{
    return !r->multiStream && !r->videoStream && !r->amStream && !r->ddrawStream && !r->sample && !r->sampleSurface &&
           !r->surface7 && !r->surface4 && !r->directDraw4 && !r->filterGraph && !r->mediaControl &&
           !r->mediaSeeking && !r->basicAudio;
}

}  // namespace movietest
