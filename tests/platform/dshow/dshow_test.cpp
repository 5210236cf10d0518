// The multimedia-stream stand-in: Theora planes against ffmpeg's decode, frames converted into 565,
// 888 and X888 by the YUV tables' arithmetic, the clock on a stepped source, pending updates that
// complete when their event is waited on, pause, seek, end, refusals and reference counts.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>
#include <ogg/ogg.h>
#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_heap_size(void);   // the address sanitizer's mapped heap
#endif

#include "platform/dshow/dshow.h"
#include "platform/dshow/dshow_internal.h"
#include "platform/dshow/frame_convert.h"
#include "platform/dshow/theora_reader.h"
#include "tests/movie/movie_fixtures.h"
#include "tests/support/stepped_clock.h"
#include "testsupport/test_hooks.h"

namespace {

using namespace moviefixture;

struct SurfaceFormat { uint32_t bits, r, g, b; };
const SurfaceFormat k565 = {16, 0xF800, 0x07E0, 0x001F};
const SurfaceFormat k888 = {24, 0xFF0000, 0x00FF00, 0x0000FF};
const SurfaceFormat kX888 = {32, 0xFF0000, 0x00FF00, 0x0000FF};

// One opened movie: graph, multimedia stream, its video stream and a sample on a memory surface.
class Player {
public:
    MmGraphBuilder *graph = nullptr;
    MmMediaControl *control = nullptr;
    MmMultiMediaStream *stream = nullptr;
    MmMediaStream *video = nullptr;
    MmDDrawMediaStream *ddraw = nullptr;
    MmStreamSample *sample = nullptr;
    MmMemorySurface *surface = nullptr;
    int32_t openResult = MM_E_FAIL;

    explicit Player(const char *file)
    {
        MmCoCreateInstance(MM_CLSID_FILTER_GRAPH, nullptr, MM_CLSCTX_INPROC_SERVER, MM_IID_GRAPH_BUILDER, (void **)&graph);
        MmCoCreateInstance(MM_CLSID_AM_MULTIMEDIA_STREAM, nullptr, MM_CLSCTX_INPROC_SERVER, MM_IID_AM_MULTIMEDIA_STREAM,
                           (void **)&stream);
        stream->fn->Initialize(stream, MM_STREAMTYPE_READ, MM_AMMSF_NOGRAPHTHREAD, graph);
        graph->fn->QueryInterface(graph, MM_IID_MEDIA_CONTROL, (void **)&control);
        stream->fn->AddMediaStream(stream, nullptr, MM_PURPOSE_PRIMARY_VIDEO, 0, nullptr);
        stream->fn->AddMediaStream(stream, nullptr, MM_PURPOSE_PRIMARY_AUDIO, MM_AMMSF_ADDDEFAULTRENDERER, nullptr);
        if (file) openResult = stream->fn->OpenFile(stream, WidePath(file).data(), 0);
        stream->fn->GetMediaStream(stream, MM_PURPOSE_PRIMARY_VIDEO, &video);
        video->fn->QueryInterface(video, MM_IID_DDRAW_MEDIA_STREAM, (void **)&ddraw);
    }
    // A sample on a new memory surface of the picture size in format. The result of CreateSample.
    int32_t MakeSample(const SurfaceFormat &f, int width, int height)
    {
        surface = MmCreateMemorySurface(width, height, f.bits, f.r, f.g, f.b);
        return ddraw->fn->CreateSample(ddraw, surface, nullptr, 0, &sample);
    }
    // The same with m's picture size, and the stream set running.
    int32_t Start(const SurfaceFormat &f, const Movie &m)
    {
        int32_t result = MakeSample(f, m.width, m.height);
        stream->fn->SetState(stream, MM_STREAMSTATE_RUN);
        return result;
    }
    MmSurfaceLock Pixels() const
    {
        MmSurfaceLock lock{};
        MmInspectMemorySurface(surface, &lock);
        return lock;
    }
    MmStreamTime Time() const
    {
        MmStreamTime t = -1;
        stream->fn->GetTime(stream, &t);
        return t;
    }
    ~Player()
    {
        if (sample) sample->fn->Release(sample);
        MmReleaseMemorySurface(surface);
        if (ddraw) ddraw->fn->Release(ddraw);
        if (video) video->fn->Release(video);
        if (control) control->fn->Release(control);
        if (stream) stream->fn->Release(stream);
        if (graph) graph->fn->Release(graph);
    }
};

class DshowTest : public ::testing::Test {
protected:
    int live = 0;
    void SetUp() override
    {
        BuildYuvToRgbTables();
        MmTestResetFaults();
        MmTestResetCounters();
        InstallSteppedClock(5000000);
        MmSetSurfaceAccess(MmMemorySurfaceAccess());
        live = MmTestLiveObjectCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(MmTestWaitForDecoders(), 0);   // every worker let go has ended
        RemoveSteppedClock();
        MmSetSurfaceAccess(nullptr);
        EXPECT_EQ(MmTestLiveObjectCount(), live);
    }
};

// The pixel at (x, y) of a locked surface as 8-bit channels (565 widened by its top bits).
void ReadPixel(const MmSurfaceLock &lock, int x, int y, int *r, int *g, int *b)
{
    const uint8_t *p = lock.pixels + (size_t)y * lock.pitch + (size_t)x * (lock.bitCount / 8);
    uint32_t v = p[0] | (uint32_t)p[1] << 8 | (lock.bitCount > 16 ? (uint32_t)p[2] << 16 : 0);
    if (lock.bitCount == 16) {
        *r = (v >> 11) << 3;
        *g = ((v >> 5) & 63) << 2;
        *b = (v & 31) << 3;
        return;
    }
    *r = (int)(v >> 16) & 255;
    *g = (int)(v >> 8) & 255;
    *b = (int)v & 255;
}

// Counts picture pixels of the surface that differ from the reference frame by the tables.
int CountWrongPixels(const Movie &m, const RefFrame &f, const MmSurfaceLock &lock)
{
    int wrong = 0;
    int keep = lock.bitCount == 16 ? 0xF8 : 0xFF;   // 565 keeps the top bits of each channel
    for (int y = 0; y < m.height; y++)
        for (int x = 0; x < m.width; x++) {
            int r, g, b, sr, sg, sb;
            TableColour(m, f, x, y, &r, &g, &b);
            ReadPixel(lock, x, y, &sr, &sg, &sb);
            int gKeep = lock.bitCount == 16 ? 0xFC : 0xFF;
            wrong += (r & keep) != sr || (g & gKeep) != sg || (b & keep) != sb;
        }
    return wrong;
}

TEST(TheoraReader, PlanesEqualTheReferenceDecodeOfEveryFrame)
{
    for (const Movie &m : kMovies) {
        std::vector<RefFrame> ref = ReferenceFrames(m);
        ASSERT_EQ((int)ref.size(), FIXTURE_FRAMES) << m.name;
        MmTheoraReader *reader = MmOpenTheoraReader(Path(m.name).c_str());
        ASSERT_NE(reader, nullptr) << m.name;
        const MmPictureInfo *p = MmGetTheoraPicture(reader);
        EXPECT_EQ(p->picWidth, m.width);
        EXPECT_EQ(p->picHeight, m.height);
        EXPECT_EQ(p->chroma, m.chroma);
        EXPECT_EQ(p->fpsNumerator / p->fpsDenominator, 10u);
        int hs = m.chroma == 3 ? 0 : 1, vs = m.chroma == 0 ? 1 : 0;
        for (int n = 0; n < FIXTURE_FRAMES; n++) {
            ASSERT_EQ(MmDecodeNextTheoraFrame(reader), 1) << n;
            MmPlane planes[3];
            ASSERT_EQ(MmGetTheoraPlanes(reader, planes), 0);
            int wrong = 0;
            for (int y = 0; y < m.height; y++)
                for (int x = 0; x < m.width; x++)
                    wrong += planes[0].data[(p->picY + y) * planes[0].stride + p->picX + x] != ref[n].y[y * m.width + x];
            for (int k = 1; k < 3; k++)
                for (int y = 0; y < ref[n].ch; y++)
                    for (int x = 0; x < ref[n].cw; x++)
                        wrong += planes[k].data[((p->picY >> vs) + y) * planes[k].stride + (p->picX >> hs) + x] !=
                                 (k == 1 ? ref[n].cb : ref[n].cr)[y * ref[n].cw + x];
            EXPECT_EQ(wrong, 0) << m.name << " frame " << n;
        }
        EXPECT_EQ(MmDecodeNextTheoraFrame(reader), 0);
        EXPECT_EQ(MmGetTheoraFrameCount(reader), FIXTURE_FRAMES);
        MmCloseTheoraReader(reader);
    }
}

TEST_F(DshowTest, FramesInEverySurfaceFormatEqualTheTableArithmetic)
{
    const SurfaceFormat *formats[] = {&k565, &k888, &kX888};
    for (const Movie &m : kMovies) {
        std::vector<RefFrame> ref = ReferenceFrames(m);
        for (const SurfaceFormat *f : formats) {
            Player player(m.name);
            ASSERT_EQ(player.openResult, MM_OK);
            ASSERT_EQ(player.MakeSample(*f, m.width + 3, m.height), MM_OK) << m.name << " " << f->bits;
            ASSERT_EQ(player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN), MM_OK);
            for (int n : {0, 1, 7}) {
                if (n) AdvanceSteppedClock(n == 1 ? 100000 : 600000);
                ASSERT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
                EXPECT_EQ(CountWrongPixels(m, ref[n], player.Pixels()), 0) << m.name << " " << f->bits << " frame " << n;
            }
        }
    }
}

TEST_F(DshowTest, PendingUpdateCompletesWhenItsEventIsWaitedOnOnceDecodedAndDue)
{
    Player player("m420.ogv");
    ASSERT_EQ(player.MakeSample(kX888, 37, 29), MM_OK);
    KHandle event = KCreateEvent(1, 0);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, event, nullptr, 0), MM_E_NOTRUNNING);
    player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);   // frames 0 and 1 were decoded while the sample was made
    MmTestHoldDecoders(1);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, event, nullptr, 0), MM_OK);
    AdvanceSteppedClock(100000);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, event, nullptr, 0), MM_OK);
    // A long decode: the update and the waits on its event return at once, and nobody sleeps.
    uint64_t slept = GetSteppedClockSleptMilliseconds();
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, event, nullptr, 0), MM_S_PENDING);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, event, nullptr, 0), MM_E_BUSY);
    AdvanceSteppedClock(200000);
    EXPECT_EQ(KWaitForSingleObject(event, 0), K_WAIT_TIMEOUT);
    EXPECT_EQ(GetSteppedClockSleptMilliseconds(), slept);
    MmTestHoldDecoders(0);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    EXPECT_EQ(KWaitForSingleObject(event, 0), K_WAIT_OBJECT_0);
    EXPECT_EQ(CountWrongPixels(kMovies[0], ReferenceFrames(kMovies[0])[3], player.Pixels()), 0);
    // Decoded ahead: frame 4 is in, and its event is signalled once it is due.
    KResetEvent(event);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, event, nullptr, 0), MM_S_PENDING);
    AdvanceSteppedClock(99000);
    EXPECT_EQ(KWaitForSingleObject(event, 0), K_WAIT_TIMEOUT);
    AdvanceSteppedClock(1000);
    EXPECT_EQ(KWaitForSingleObject(event, 0), K_WAIT_OBJECT_0);
    // Without an event the update waits for the decoder and sleeps on the clock until the frame is due.
    uint64_t before = GetSteppedClockMicroseconds();
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
    EXPECT_EQ(GetSteppedClockMicroseconds() - before, 100000u);
    EXPECT_EQ(CountWrongPixels(kMovies[0], ReferenceFrames(kMovies[0])[5], player.Pixels()), 0);
    KCloseHandle(event);
}

// Pictures at odd and even offsets in their coded frames, 4:2:0, 4:2:2 and 4:4:4 (the header's
// picture offsets changed; its vertical one counts from the bottom): every frame taken shows the
// picture's part of the decoded planes, with each pixel's own chroma sample.
TEST_F(DshowTest, PicturesAtAnOffsetInTheirFramesComeFromTheirPartOfThePlanes)
{
    const struct { const char *name; uint8_t x, headerY; int top; } cases[] = {
        {"m420.ogv", 5, 2, 1}, {"m420.ogv", 10, 0, 3}, {"m422.ogv", 7, 4, 7}, {"m444.ogv", 11, 2, 5}};
    ASSERT_EQ(EnterFreshTempDir(), 0);
    for (auto c : cases)
        for (const SurfaceFormat *f : {&k565, &kX888}) {
            WriteMovieFile("moved.ogv", WithHeaderBytes(ReadTestFile(Path(c.name).c_str()), HEADER_PICTURE + 6, {c.x, c.headerY}));
            MmTheoraReader *reader = MmOpenTheoraReader("moved.ogv");
            ASSERT_NE(reader, nullptr) << c.name;
            const MmPictureInfo *p = MmGetTheoraPicture(reader);
            ASSERT_EQ(p->picX, c.x);
            ASSERT_EQ(p->picY, c.top);
            Player player("./moved.ogv");
            ASSERT_EQ(player.MakeSample(*f, p->picWidth, p->picHeight), MM_OK);
            player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN);
            for (int n = 0; n < 3; n++) {
                if (n) AdvanceSteppedClock(100000);
                ASSERT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
                ASSERT_EQ(MmDecodeNextTheoraFrame(reader), 1);
                MmSurfaceLock shown = player.Pixels();
                EXPECT_EQ(PictureHash(shown.pixels, shown.pitch, p->picWidth, p->picHeight, f->bits), DecodedFrameHash(reader, (int)f->bits))
                    << c.name << " " << (int)c.x << " " << f->bits << " " << n;
            }
            MmCloseTheoraReader(reader);
        }
    LeaveFreshTempDir();
}

TEST_F(DshowTest, LateFramesAreSkippedToTheirKeyframe)
{
    Player player("m422.ogv");   // keyframes at 0 and 12
    ASSERT_EQ(player.MakeSample(k565, 34, 21), MM_OK);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN);
    AdvanceSteppedClock(1750000);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    EXPECT_EQ(Counted(&MmTestCounters::decoded), 2 + 6 + 2);   // frames 0 and 1 at the start, 12..17, and 18 and 19 ahead
    EXPECT_EQ(CountWrongPixels(kMovies[1], ReferenceFrames(kMovies[1])[17], player.Pixels()), 0);
}

TEST_F(DshowTest, PauseStopAndRunHoldAndContinueTheStreamTime)
{
    Player player("m444.ogv");
    EXPECT_EQ(player.Time(), 0);
    player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN);
    AdvanceSteppedClock(300000);
    EXPECT_EQ(player.Time(), 3000000);
    player.control->fn->Pause(player.control);
    AdvanceSteppedClock(1000000);
    EXPECT_EQ(player.Time(), 3000000);
    MmStreamState state;
    player.stream->fn->GetState(player.stream, &state);
    EXPECT_EQ(state, MM_STREAMSTATE_RUN);
    player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN);   // un-pauses
    AdvanceSteppedClock(200000);
    EXPECT_EQ(player.Time(), 5000000);
    player.stream->fn->SetState(player.stream, MM_STREAMSTATE_STOP);
    AdvanceSteppedClock(200000);
    EXPECT_EQ(player.Time(), 5000000);
}

struct SeekCase { MmStreamTime time; int frame, decoded; };   // decoded -1: not counted

// Seeks of a running player of m: each shows the frame covering its time at once, without a sleep;
// where counted, after as many frames decoded (the two after it, decoded ahead, too).
void ExpectSeeksShow(Player &player, const Movie &m, const std::vector<SeekCase> &seeks)
{
    for (auto c : seeks) {
        if (c.decoded >= 0) { ASSERT_EQ(MmTestWaitForDecoders(), 0); }
        MmTestResetCounters();
        EXPECT_EQ(player.stream->fn->Seek(player.stream, c.time), MM_OK);
        EXPECT_EQ(player.Time(), c.time);
        uint64_t before = GetSteppedClockMicroseconds();
        ASSERT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK) << c.time;
        EXPECT_EQ(GetSteppedClockMicroseconds(), before) << c.time;
        MmSurfaceLock shown = player.Pixels();
        EXPECT_EQ(FrameShown(m, shown.pixels, shown.pitch, (int)shown.bitCount), c.frame) << c.time;
        if (c.decoded < 0) continue;
        ASSERT_EQ(MmTestWaitForDecoders(), 0);
        EXPECT_EQ(Counted(&MmTestCounters::decoded), c.decoded) << c.time;
    }
}

TEST_F(DshowTest, SeekShowsTheFrameAtItsTimeAndTheEndIsReported)
{
    Movie m = kMovies[0];
    Player player(m.name);
    ASSERT_EQ(player.Start(k888, m), MM_OK);
    // Behind or ahead of the frame shown, mid-frame too, past keyframe 12 or not.
    ExpectSeeksShow(player, m, {{12000000, 12, -1}, {15500000, 15, -1}, {3500000, 3, -1}, {0, 0, -1}, {19990000, 19, -1}});
    // The last frame stays its own time: the end comes a frame's time after it began.
    EXPECT_EQ(player.stream->fn->Seek(player.stream, 19000000), MM_OK);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
    uint64_t before = GetSteppedClockMicroseconds();
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_S_ENDOFSTREAM);
    EXPECT_EQ(GetSteppedClockMicroseconds() - before, 100000u);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_S_ENDOFSTREAM);
    EXPECT_EQ(player.stream->fn->Seek(player.stream, 0), MM_OK);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
    EXPECT_EQ(CountWrongPixels(m, ReferenceFrames(m)[0], player.Pixels()), 0);
}

TEST_F(DshowTest, ASoundWithoutAPictureOpensWithASizeOfNothing)
{
    for (const char *file : {"audio.ogg", "sound.ogv"}) {
        Player player(file);
        EXPECT_EQ(player.openResult, MM_OK) << file;
        MmSurfaceDesc desc = {sizeof(MmSurfaceDesc), 0, 99, 99};
        EXPECT_EQ(player.ddraw->fn->GetFormat(player.ddraw, nullptr, nullptr, &desc, nullptr), MM_OK);
        int movie = file[0] == 's';
        EXPECT_EQ(desc.width, movie ? 16u : 0u) << file;
        EXPECT_EQ(desc.height, movie ? 16u : 0u) << file;
        if (!movie) { EXPECT_EQ(player.MakeSample(kX888, 16, 16), MM_E_INCOMPATIBLE); }
    }
}

// A sound whose setup header (of its first or a chained link) would crash libvorbis at its second read
// is not played, and the stream runs and seeks as a silent one.
// A one-stream Ogg file again, its comment header carrying a vendor text of padding bytes (as cover art
// does): the setup header then starts that far into the file.
static void WriteWithLongComment(const std::string &from, const char *to, uint32_t padding)
{
    std::string bytes = ReadTestFile(from.c_str()), comment = std::string("\x03vorbis", 7);
    for (uint32_t v : {padding, 0u}) comment.append((const char *)&v, 4).append(v ? std::string(v, 'x') : "");
    comment += '\x01';
    ogg_sync_state sync;
    ogg_stream_state in, out;
    ogg_sync_init(&sync);
    memcpy(ogg_sync_buffer(&sync, (long)bytes.size()), bytes.data(), bytes.size());
    ogg_sync_wrote(&sync, (long)bytes.size());
    FILE *file = fopen(to, "wb");
    ogg_page page;
    ogg_packet packet;
    auto writePage = [&] { fwrite(page.header, 1, page.header_len, file), fwrite(page.body, 1, page.body_len, file); };
    for (int started = 0, n = 0; ogg_sync_pageout(&sync, &page) == 1;) {
        if (!started++) ogg_stream_init(&in, ogg_page_serialno(&page)), ogg_stream_init(&out, ogg_page_serialno(&page));
        ogg_stream_pagein(&in, &page);
        for (; ogg_stream_packetout(&in, &packet) == 1; n++) {
            if (n == 1) packet.packet = (unsigned char *)comment.data(), packet.bytes = (long)comment.size();
            ogg_stream_packetin(&out, &packet);
            while (n < 3 ? ogg_stream_flush(&out, &page) : ogg_stream_pageout(&out, &page)) writePage();
        }
    }
    while (ogg_stream_flush(&out, &page)) writePage();
    fclose(file);
    ogg_stream_clear(&in);
    ogg_stream_clear(&out);
    ogg_sync_clear(&sync);
}

TEST_F(DshowTest, ASoundThatWouldCrashTheDecoderIsLeftSilent)
{
    ASSERT_EQ(EnterFreshTempDir(), 0);
    // Headers are looked at wherever they end, also past the first megabyte.
    const char *longComment = "long_comment_overfull_codebook.ogg";
    WriteWithLongComment(Path("../../hostile/setup_overfull_codebook.ogg"), longComment, 1200000);
    for (const char *file : {"setup_overfull_codebook.ogg", "chain_second_overfull_codebook.ogg", longComment}) {
        bool written = file == longComment;
        Player player(written ? nullptr : ("../../hostile/" + std::string(file)).c_str());
        std::vector<uint16_t> wide(strlen(file) + 1);
        KMultiByteToWide(file, -1, wide.data(), (int)wide.size());
        if (written) player.openResult = player.stream->fn->OpenFile(player.stream, wide.data(), 0);
        ASSERT_EQ(player.openResult, MM_OK) << file;
        EXPECT_EQ(player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN), MM_OK);
        for (MmStreamTime time : {1000000, 4500000, 0}) {   // inside the first link, the second, and back
            AdvanceSteppedClock(100000);
            EXPECT_EQ(player.stream->fn->Seek(player.stream, time), MM_OK);
        }
    }
    LeaveFreshTempDir();
}

TEST_F(DshowTest, SurfacesTheStreamCannotWriteAreRefusedAndNoneMeansItsOwn)
{
    Player player("m444.ogv");   // 21 x 9
    const struct { SurfaceFormat f; int w, h; MmRect rect; int32_t result; } cases[] = {
        {{8, 0, 0, 0}, 21, 9, {}, MM_E_INCOMPATIBLE}, {kX888, 20, 9, {}, MM_E_INCOMPATIBLE},
        {k565, 21, 8, {}, MM_E_INCOMPATIBLE},
        // The picture goes at the rectangle's origin: all of it within the surface, or no sample.
        {kX888, 22, 10, {-1, 0, 20, 9}, MM_E_INCOMPATIBLE}, {kX888, 22, 10, {0, -1, 21, 8}, MM_E_INCOMPATIBLE},
        {kX888, 22, 10, {2, 1, 23, 10}, MM_E_INCOMPATIBLE}, {kX888, 22, 10, {1, 2, 22, 11}, MM_E_INCOMPATIBLE},
        {kX888, 22, 10, {1, 1, 22, 10}, MM_OK},
    };
    for (auto c : cases) {
        MmMemorySurface *s = MmCreateMemorySurface(c.w, c.h, c.f.bits, c.f.r, c.f.g, c.f.b);
        MmStreamSample *sample = nullptr;
        const MmRect *rect = c.rect.right ? &c.rect : nullptr;
        EXPECT_EQ(player.ddraw->fn->CreateSample(player.ddraw, s, rect, 0, &sample), c.result)
            << c.f.bits << " " << c.rect.left << "," << c.rect.top;
        EXPECT_EQ(sample != nullptr, c.result == MM_OK);
        if (sample) sample->fn->Release(sample);
        MmReleaseMemorySurface(s);
    }
    ASSERT_EQ(player.ddraw->fn->CreateSample(player.ddraw, nullptr, nullptr, 0, &player.sample), MM_OK);
    void *own = nullptr;
    MmRect rect;
    ASSERT_EQ(player.sample->fn->GetSurface(player.sample, &own, &rect), MM_OK);
    MmSurfaceLock lock;
    MmInspectMemorySurface((MmMemorySurface *)own, &lock);
    EXPECT_EQ(lock.bitCount, 32u);
    EXPECT_EQ(rect.right, 21);
    EXPECT_EQ(rect.bottom, 9);
    MmReleaseMemorySurface((MmMemorySurface *)own);
}

TEST_F(DshowTest, OpeningFailsForMissingAndNonOggFilesAndTheFactoryRefusesStrangers)
{
    for (const char *file : {"missing.ogv", "m420.yuv"}) {
        Player player(file);
        EXPECT_LT(player.openResult, 0) << file;
    }
    void *out = (void *)1;
    EXPECT_EQ(MmCoCreateInstance((MmClassId)99, nullptr, 0, MM_IID_UNKNOWN, &out), MM_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
    MmTestFailNth(MM_FAULT_CREATE_GRAPH, 1);
    EXPECT_EQ(MmCoCreateInstance(MM_CLSID_FILTER_GRAPH, nullptr, 0, MM_IID_UNKNOWN, &out), MM_E_OUTOFMEMORY);
    EXPECT_EQ(MmCoCreateInstance(MM_CLSID_FILTER_GRAPH, nullptr, 0, MM_IID_AM_MULTIMEDIA_STREAM, &out), MM_E_NOINTERFACE);
}

TEST_F(DshowTest, ObjectsOutliveTheirParentsAndAPendingSampleMayGoFirst)
{
    Player *player = new Player("m420.ogv");
    ASSERT_EQ(player->MakeSample(kX888, 37, 29), MM_OK);
    player->stream->fn->SetState(player->stream, MM_STREAMSTATE_RUN);
    KHandle event = KCreateEvent(1, 0);
    player->sample->fn->Update(player->sample, 0, 0, nullptr, 0);
    ASSERT_EQ(player->sample->fn->Update(player->sample, 0, event, nullptr, 0), MM_S_PENDING);
    MmStreamSample *sample = player->sample;
    sample->fn->AddRef(sample);
    player->stream->fn->Release(player->stream);   // the stream goes before its sample
    player->stream = nullptr;
    AdvanceSteppedClock(200000);
    EXPECT_EQ(KWaitForSingleObject(event, 0), K_WAIT_TIMEOUT);
    EXPECT_EQ(sample->fn->Update(sample, 0, 0, nullptr, 0), MM_E_NOTINIT);
    delete player;
    sample->fn->Release(sample);
    EXPECT_EQ(KWaitForSingleObject(event, 0), K_WAIT_TIMEOUT);
    KCloseHandle(event);
}

}  // namespace

namespace {

TEST_F(DshowTest, CutAndDamagedFilesFailOrEndWithoutHarm)
{
    ASSERT_EQ(EnterFreshTempDir(), 0);
    std::string whole = ReadTestFile(Path("m420.ogv").c_str());
    // Cut short, and with bytes overwritten in the middle of the pictures.
    std::string cases[] = {whole.substr(0, 40), whole.substr(0, 3000), whole.substr(0, 5000), whole};
    for (size_t i = 4000; i < 4400; i += 7) cases[3][i] = (char)(cases[3][i] * 31 + 7);
    for (const std::string &bytes : cases) {
        WriteMovieFile("broken.ogv", bytes);
        std::vector<uint16_t> wide(12);
        KMultiByteToWide("broken.ogv", -1, wide.data(), 12);
        Player player(nullptr);
        if (player.stream->fn->OpenFile(player.stream, wide.data(), 0) != MM_OK) continue;
        if (player.MakeSample(kX888, 37, 29) != MM_OK) continue;
        player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN);
        int32_t result = MM_OK;
        for (int n = 0; n < 40 && result == MM_OK; n++) {
            AdvanceSteppedClock(100000);
            result = player.sample->fn->Update(player.sample, 0, 0, nullptr, 0);
        }
        EXPECT_NE(result, MM_OK) << bytes.size();   // the end or a refusal, within the frames there are
    }
    LeaveFreshTempDir();
}

}  // namespace

namespace {

// A reader of m420.ogv with some bytes of its headers replaced, in a fresh temporary directory.
class TheoraHeaderTest : public ::testing::Test {
protected:
    std::string whole;
    void SetUp() override { ASSERT_EQ(EnterFreshTempDir(), 0); whole = ReadTestFile(Path("m420.ogv").c_str()); }
    void TearDown() override { LeaveFreshTempDir(); }
    MmTheoraReader *OpenWith(int at, const std::vector<uint8_t> &bytes)
    {
        std::string changed = WithHeaderBytes(whole, at, bytes);
        WriteMovieFile("changed.ogv", changed);
        return MmOpenTheoraReader("changed.ogv");
    }
    // A frame header's size: coded size in macroblocks, then the picture size (its offsets 0).
    MmTheoraReader *OpenWithSize(uint16_t mbw, uint16_t mbh, uint32_t picw, uint32_t pich)
    {
        return OpenWith(HEADER_FRAME_MBS, {(uint8_t)(mbw >> 8), (uint8_t)mbw, (uint8_t)(mbh >> 8), (uint8_t)mbh,
                                           (uint8_t)(picw >> 16), (uint8_t)(picw >> 8), (uint8_t)picw,
                                           (uint8_t)(pich >> 16), (uint8_t)(pich >> 8), (uint8_t)pich, 0, 0});
    }
};

TEST_F(DshowTest, AVariableRateMovieShowsEachFrameAtItsGranuleTimeAndEndsAFrameAfterTheLast)
{
    const Movie &m = kVariableRate;
    std::vector<RefFrame> ref = ReferenceFrames(m);
    ASSERT_EQ(ref.size(), 12u);
    Player player(m.name);
    ASSERT_EQ(player.MakeSample(kX888, m.width, m.height), MM_OK);
    uint64_t start = GetSteppedClockMicroseconds();
    player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN);
    for (int k = 0; k < 12; k++) {
        ASSERT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK) << k;
        EXPECT_EQ(GetSteppedClockMicroseconds() - start, (uint64_t)k * k * 100000) << k;
        EXPECT_EQ(CountWrongPixels(m, ref[k], player.Pixels()), 0) << k;
    }
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_S_ENDOFSTREAM);
    EXPECT_EQ(GetSteppedClockMicroseconds() - start, 12200000u);
    // A seek between two frames far apart shows the earlier one.
    EXPECT_EQ(player.stream->fn->Seek(player.stream, 100000000 - 1), MM_OK);   // just before 10 s: frame 9 (8.1 s)
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
    EXPECT_EQ(CountWrongPixels(m, ref[9], player.Pixels()), 0);
}

// Frames more than 63 frame times from a keyframe are marked as keyframes in the granule positions: a
// seek goes back from such a mark, over as many as it takes, to the real keyframe, and shows the frame
// covering the time at once.
TEST_F(DshowTest, ASeekPastInterFramesMarkedAsKeyframesShowsTheCoveringFrame)
{
    Player player(kSparse.name);
    ASSERT_EQ(player.Start(kX888, kSparse), MM_OK);
    // Marks on the frame itself, one, two and three marks back.
    ExpectSeeksShow(player, kSparse, {{140000000, 4, -1}, {105500000, 3, -1}, {245500000, 7, -1}, {525500000, 15, -1},
                                      {315500000, 9, -1}, {40000000, 1, -1}});
    // Played on from the last seek: the frames after it at their times.
    for (int k = 2; k <= 3; k++) {
        ASSERT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK) << k;
        MmSurfaceLock shown = player.Pixels();
        EXPECT_EQ(FrameShown(kSparse, shown.pixels, shown.pitch, 32), k);
    }
}

// m420.ogv with the first 255 bytes of keyframe 12 moved onto the end of the page before, the one that
// ends frame 11: the keyframe begins there, as a muxer that cuts pages by size writes it.
static std::string WithKeyframeBegunOnThePageBefore(void)
{
    std::string file = ReadTestFile(Path("m420.ogv").c_str());
    std::vector<size_t> at = {0};
    while (at.back() + 27 <= file.size()) at.push_back(at.back() + PageSize((const uint8_t *)&file[at.back()]));
    std::string before = file.substr(at[4], at[5] - at[4]), key = file.substr(at[5], at[6] - at[5]);
    size_t lacing = (uint8_t)before[26], moved = 27 + (uint8_t)key[26];   // where the keyframe's bytes start
    std::string a = before.substr(0, 26) + (char)(lacing + 1) + before.substr(27, lacing) + '\xff' +
                    before.substr(27 + lacing) + key.substr(moved, 255);
    std::string b = key.substr(0, 5) + (char)(key[5] | 1) + key.substr(6, 20) + (char)(key[26] - 1) +
                    key.substr(28, moved - 28) + key.substr(moved + 255);
    MendPageChecksum((uint8_t *)a.data());
    MendPageChecksum((uint8_t *)b.data());
    return file.substr(0, at[4]) + a + b + file.substr(at[6]);
}

// A seek to a keyframe that begins on the page before its own number's page reads it whole: it decodes
// from that keyframe, not from an earlier one.
TEST_F(DshowTest, ASeekReadsAKeyframeThatBeginsOnThePageBefore)
{
    ASSERT_EQ(EnterFreshTempDir(), 0);
    WriteMovieFile("cut.ogv", WithKeyframeBegunOnThePageBefore());
    Player player("./cut.ogv");
    ASSERT_EQ(player.Start(kX888, kMovies[0]), MM_OK);
    // Frames 0 and 1 were decoded when the sample was made; 16 comes from keyframe 12, not from 0.
    ExpectSeeksShow(player, kMovies[0], {{3500000, 3, 4}, {16500000, 16, 7}});
    LeaveFreshTempDir();
}

TEST_F(DshowTest, ADecodeErrorEndsEvenAPendingUpdate)
{
    Player player("damaged.ogv");
    ASSERT_EQ(player.MakeSample(kX888, 37, 29), MM_OK);
    player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN);
    for (int n = 0; n < DAMAGED_GOOD_FRAMES - 2; n++) ASSERT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);   // the last two good frames are in
    MmTestHoldDecoders(1);   // the broken frame stays undecoded until the update waits for it
    ASSERT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
    AdvanceSteppedClock(100000);
    KHandle event = KCreateEvent(1, 0);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, event, nullptr, 0), MM_OK);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, event, nullptr, 0), MM_S_PENDING);
    MmTestHoldDecoders(0);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    EXPECT_EQ(KWaitForSingleObject(event, 0), K_WAIT_TIMEOUT);    // over when frame 10 was to show
    AdvanceSteppedClock(100000);
    EXPECT_EQ(KWaitForSingleObject(event, 0), K_WAIT_OBJECT_0);
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, event, nullptr, 0), MM_E_FAIL);
    EXPECT_EQ(CountWrongPixels(kMovies[0], ReferenceFrames(kMovies[0])[DAMAGED_GOOD_FRAMES - 1], player.Pixels()), 0);
    EXPECT_EQ(player.stream->fn->Seek(player.stream, 0), MM_OK);   // a seek reads it again
    EXPECT_EQ(player.sample->fn->Update(player.sample, 0, 0, nullptr, 0), MM_OK);
    KCloseHandle(event);
}

TEST_F(TheoraHeaderTest, ExtremeFrameRatesGiveTimesWithoutOverflow)
{
    const struct { uint8_t num, den; int64_t frame, time; } cases[] = {
        {0xFF, 0xFF, 215, 2150000000}, {0xFF, 0xFF, (int64_t)1 << 30, ((int64_t)1 << 30) * 10000000},
        {0x01, 0xFF, 215, (int64_t)1 << 62},   // 14,600 years: times stop there
    };
    for (auto c : cases) {
        std::vector<uint8_t> rate = {0, 0, 0, c.num, 0xFF, 0xFF, 0xFF, c.den};
        if (c.num == 0xFF) rate = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        MmTheoraReader *reader = OpenWith(HEADER_RATE, rate);
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(MmTheoraFrameTime(reader, c.frame), c.time) << c.frame;
        if (c.time < (int64_t)1 << 62) { EXPECT_EQ(MmTheoraFrameAt(reader, c.time), c.frame); }
        MmCloseTheoraReader(reader);
    }
}

TEST_F(TheoraHeaderTest, HeadersLargerThanTheLargestGraphAreRefusedBeforeTheDecoderAllocates)
{
    // The original is 3 x 2 macroblocks, 37 x 29.
    const struct { uint16_t mbw, mbh; uint32_t picw, pich; } cases[] = {
        {1024, 1024, 16384, 16384}, {65535, 65535, 1048560, 1048560}, {65283, 2, 37, 29},
        {3, 8194, 37, 29}, {1026, 2, 16400, 29},
    };
#if defined(__SANITIZE_ADDRESS__)
    size_t heap = __sanitizer_get_heap_size();
#endif
    // Picture offsets 0: the header stays valid, so only its size can refuse it.
    for (auto c : cases) EXPECT_EQ(OpenWithSize(c.mbw, c.mbh, c.picw, c.pich), nullptr) << c.mbw << " x " << c.mbh;
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(__sanitizer_get_heap_size() - heap, (size_t)16 << 20);
#endif
    // The largest picture taken still opens with its picture.
    MmTheoraReader *reader = OpenWithSize(1024, 1, 16384, 16);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(MmGetTheoraPicture(reader)->picWidth, 16384);
    MmCloseTheoraReader(reader);
}

// A decoder let go while its worker is in the middle of a frame, with a newer job posted, goes at once;
// the worker finishes the frame, counts nothing more and ends by itself.
TEST_F(DshowTest, ADecoderStoppedInTheMiddleOfAFrameGoesAtOnceAndItsWorkerEndsByItself)
{
    MmTheoraReader *reader = MmOpenTheoraReader(Path("m640.ogv").c_str());
    ASSERT_NE(reader, nullptr);
    MmDecoder *decoder = MmStartDecoder(reader);
    ASSERT_NE(decoder, nullptr);
    MmTestHoldNextFrame();
    MmSeekDecoder(decoder, 15000000, 0, 0);   // decodes from the keyframe before 1.5 s
    ASSERT_EQ(MmTestWaitForHeldFrame(), 0);
    MmSeekDecoder(decoder, 0, 0, 0);
    MmStopDecoder(decoder);
    EXPECT_EQ(MmTestFrameHeld(), 1);
    MmTestReleaseHeldFrame();
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    EXPECT_EQ(Counted(&MmTestCounters::decoded) + Counted(&MmTestCounters::converted), 0);
}

// A decoder slower than the picture: each frame it decodes takes 40 ms of a 30 fps movie (the clock
// moves on while a helper holds it in the frame). An update without an event still comes back with a frame,
// the one the decoder went for, instead of chasing the clock to the movie's end.
TEST_F(DshowTest, AnUpdateWithoutAnEventEndsWhenTheDecoderIsSlowerThanThePicture)
{
    Player player("m640.ogv");   // 60 frames at 30 a second
    ASSERT_EQ(player.MakeSample(kX888, 640, 480), MM_OK);
    player.stream->fn->SetState(player.stream, MM_STREAMSTATE_RUN);
    ASSERT_EQ(MmTestWaitForDecoders(), 0);
    AdvanceSteppedClock(100000);   // frame 3 is due, frame 1 two frames late
    std::atomic<int> done{0};
    std::thread slow([&done] {
        while (!done) {
            MmTestHoldNextFrame();
            if (MmTestWaitForHeldFrame() != 0) break;
            AdvanceSteppedClock(40000);
            MmTestReleaseHeldFrame();
        }
    });
    int32_t result = player.sample->fn->Update(player.sample, 0, 0, nullptr, 0);
    done = 1;
    slow.join();
    EXPECT_EQ(result, MM_OK);
    EXPECT_LT(player.Time(), 10000000);   // well before the end
}

}  // namespace
