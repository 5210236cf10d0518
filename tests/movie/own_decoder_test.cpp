// YUV-to-RGB tables and the own decoder's state: table values, the fixed-point conversion against
// the stream's converter, frame advance with wrap, information and a release that frees everything.
#include <gtest/gtest.h>

#include <cmath>

#include "lib/core/memory.h"
#include "lib/movie/own_decoder.h"
#include "platform/dshow/frame_convert.h"
#include "tests/support/stepped_clock.h"
#include "testsupport/test_hooks.h"

namespace {

// One channel triple by the tables: luma entry plus one or two entries, >> 14, through the clip table.
void TableRgb(int y, int cb, int cr, int *r, int *g, int *b)
{
    const YuvToRgbTables *t = GetYuvToRgbTables();
    const uint8_t *clip = t->clip + 512;
    *r = clip[(t->luma[y] + t->crToRed[cr]) >> 14];
    *g = clip[(t->luma[y] + t->cbToGreen[cb] + t->crToGreen[cr]) >> 14];
    *b = clip[(t->luma[y] + t->cbToBlue[cb]) >> 14];
}

TheoraMovieState *NewState(void)
{
    return (TheoraMovieState *)DZ_ALLOC_ZERO(sizeof(TheoraMovieState));
}

TEST(YuvTables, ClipAndZeroEntries)
{
    BuildYuvToRgbTables();
    const YuvToRgbTables *t = GetYuvToRgbTables();
    const struct { int v, out; } clips[] = {{-512, 0}, {-1, 0}, {0, 0}, {255, 255}, {256, 255}, {767, 255}, {77, 77}};
    for (auto c : clips) EXPECT_EQ(t->clip[512 + c.v], c.out) << c.v;
    EXPECT_EQ(t->crToRed[128], 0);
    EXPECT_EQ(t->cbToGreen[128], 0);
    EXPECT_EQ(t->crToGreen[128], 0);
    EXPECT_EQ(t->cbToBlue[128], 0);
    EXPECT_EQ(t->luma[16], 0);
    EXPECT_EQ(t->cbToGreen[0], 819968);
    EXPECT_LT(t->cbToGreen[255], 0);
}

TEST(YuvTables, EverySampleStaysInTheClipRangeAndEqualsTheStreamConverter)
{
    BuildYuvToRgbTables();
    const YuvToRgbTables *t = GetYuvToRgbTables();
    int mismatches = 0;
    for (int y = 0; y < 256; y++)
        for (int cb = 0; cb < 256; cb++)
            for (int cr = 0; cr < 256; cr++) {
                int sums[3] = {(t->luma[y] + t->crToRed[cr]) >> 14,
                               (t->luma[y] + t->cbToGreen[cb] + t->crToGreen[cr]) >> 14,
                               (t->luma[y] + t->cbToBlue[cb]) >> 14};
                for (int s : sums) ASSERT_TRUE(s >= -512 && s <= 767) << y << " " << cb << " " << cr;
                int r, g, b, sr, sg, sb;
                TableRgb(y, cb, cr, &r, &g, &b);
                MmYCbCrToRgb(y, cb, cr, &sr, &sg, &sb);
                mismatches += r != sr || g != sg || b != sb;
            }
    EXPECT_EQ(mismatches, 0);
}

TEST(YuvTables, StudioRangeColours)
{
    BuildYuvToRgbTables();
    // Y', Cb, Cr of BT.601 studio range and the colour they stand for (within 2 for the primaries;
    // white truncates to 254 in 14-bit fixed point).
    const struct { int y, cb, cr, r, g, b, tolerance; } cases[] = {
        {16, 128, 128, 0, 0, 0, 0},   {235, 128, 128, 254, 254, 254, 0}, {81, 90, 240, 255, 0, 0, 2},
        {145, 54, 34, 0, 255, 0, 2}, {41, 240, 110, 0, 0, 255, 2},
    };
    for (auto c : cases) {
        int r, g, b;
        TableRgb(c.y, c.cb, c.cr, &r, &g, &b);
        EXPECT_NEAR(r, c.r, c.tolerance) << c.y;
        EXPECT_NEAR(g, c.g, c.tolerance) << c.y;
        EXPECT_NEAR(b, c.b, c.tolerance) << c.y;
    }
}

TEST(OwnDecoderState, AdvanceWrapsOnceAndIgnoresCountsBelowOne)
{
    TheoraMovieState *state = NewState();
    state->totalFrames = 100;
    const struct { int from, count, to, statusCleared; } cases[] = {
        {99, 1, 0, 1}, {40, 70, 10, 1}, {5, 3, 8, 1}, {40, 0, 40, 0}, {40, -3, 40, 0},
    };
    for (auto c : cases) {
        state->currentFrame = c.from;
        state->frameStatus[0] = state->frameStatus[1] = 7;
        EXPECT_EQ(AdvanceTheoraFrame(state, c.count), 0);
        EXPECT_EQ(GetTheoraCurrentFrame(state), c.to) << c.from << "+" << c.count;
        EXPECT_EQ(state->frameStatus[0], c.statusCleared ? 0 : 7);
        EXPECT_EQ(state->frameStatus[1], c.statusCleared ? 0 : 7);
    }
    ReleaseTheoraMovieState(state);
}

TEST(OwnDecoderState, InformationTakesTheRateAsUnsignedAndTheCodedSize)
{
    TheoraMovieState *state = NewState();
    state->totalFrames = 0x100000014LL;   // low 32 bits reported
    state->info.width = 48;
    state->info.height = 32;
    const struct { uint32_t num, den; double rate; } cases[] = {
        {30, 1, 30.0}, {30000, 1001, 30000.0 / 1001.0}, {0x80000000u, 2, 1073741824.0},
    };
    for (auto c : cases) {
        state->info.fps_numerator = (ogg_uint32_t)c.num;
        state->info.fps_denominator = (ogg_uint32_t)c.den;
        TheoraMovieInfo info;
        EXPECT_EQ(GetTheoraMovieInfo(state, &info), 0);
        EXPECT_DOUBLE_EQ(info.frameRate, c.rate);
        EXPECT_EQ(info.totalFrames, 20);
        EXPECT_EQ(info.width, 48);
        EXPECT_EQ(info.height, 32);
    }
    ReleaseTheoraMovieState(state);
}

// A decode thread that ends once it is asked to.
uint32_t FakeDecodeThread(void *arg)
{
    TheoraMovieState *state = (TheoraMovieState *)arg;
    while (!state->stopRequest) KSleep(1);
    state->threadState = THEORA_THREAD_FINISHED;
    return 0;
}

TEST(OwnDecoderState, ReleaseFreesEveryOwnedBlockAndTheObject)
{
    InstallSteppedClock(1000000);
    int blocks = GetTrackedBlockCount();
    int objects = MmTestLiveObjectCount();
    TheoraMovieState *state = NewState();
    state->frameCount = 3;
    state->frames = (TheoraFrameEntry *)DZ_ALLOC_ZERO(3 * sizeof(TheoraFrameEntry));
    state->frames[0].buffers[0] = DZ_ALLOC(8);
    state->frames[2].buffers[1] = DZ_ALLOC(8);
    state->frames[2].buffers[2] = DZ_ALLOC(8);
    state->workBuffer2 = DZ_ALLOC(16);
    ColorFormatRecord format;
    MakeColorFormatFromMasks(&format, 16, 0xF800, 0x07E0, 0x001F, 0);
    ASSERT_EQ(AllocGraphImagePixels(&state->image, &format, 4, 4), 0);
    ASSERT_EQ(MmCoCreateInstance(MM_CLSID_FILTER_GRAPH, nullptr, MM_CLSCTX_INPROC_SERVER, MM_IID_UNKNOWN,
                                 (void **)&state->object), MM_OK);
    EXPECT_EQ(ReleaseTheoraMovieState(state), 0);
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
    EXPECT_EQ(MmTestLiveObjectCount(), objects);
    EXPECT_EQ(GetSteppedClockSleptMilliseconds(), 0u);   // no thread: no wait
    RemoveSteppedClock();
}

TEST(OwnDecoderState, ReleaseWaitsForTheDecodeThreadOnlyWhileItRuns)
{
    int blocks = GetTrackedBlockCount();
    TheoraMovieState *running = NewState();
    running->thread = KCreateThread(FakeDecodeThread, running);
    ASSERT_NE(running->thread, 0);
    EXPECT_EQ(ReleaseTheoraMovieState(running), 0);

    InstallSteppedClock(0);
    TheoraMovieState *finished = NewState();
    finished->threadState = THEORA_THREAD_FINISHED;
    finished->thread = KCreateEvent(1, 0);   // any handle: the thread has already ended
    EXPECT_EQ(ReleaseTheoraMovieState(finished), 0);
    EXPECT_EQ(GetSteppedClockSleptMilliseconds(), 0u);
    RemoveSteppedClock();
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

}  // namespace
