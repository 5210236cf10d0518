// Frames per second of a 640 x 480 Theora movie (tests/movie/fixtures/m640.ogv, played over and over):
// the whole movie path (decode, conversion into the frame surface, frame copy and graph update) on 16-
// and 32-bit screens, its parts alone (libtheora's decode; each conversion row), and ffmpeg's decode of
// the same file. Run on one core (taskset, see scripts/bench-movie.sh), so the ratios printed at the end
// compare one core with one core: to ffmpeg's whole run over 300 frames (start-up included, as a user
// times it) and to its decode alone. Without ffmpeg on the PATH its row is skipped, and says so.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/screen.h"
#include "lib/movie/movie.h"
#include "lib/movie/movie_graph_hooks.h"
#include "platform/dshow/frame_convert.h"
#include "platform/dshow/theora_reader.h"

namespace {

const int kFramesPerPass = 60;   // the file's frames

std::string MoviePath(void)
{
    const char *dir = getenv("DAZAR_SOURCE_DIR");
    return std::string(dir ? dir : DAZAR_BENCH_SOURCE_DIR) + "/tests/movie/fixtures/m640.ogv";
}

// Rates the ratios at the end are made of (frames per second, 0 until measured): the movie path on
// 16- and 32-bit screens, and ffmpeg.
double gPathRate[2], gFfmpegRate, gFfmpegNetRate;

double SecondsNow(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// ---- a clock whose sleep passes at once ------------------------------------------------------------

uint64_t gClockNow = 1000000;
uint64_t BenchNow(void *) { return gClockNow; }
void BenchSleep(void *, uint32_t milliseconds) { gClockNow += (uint64_t)milliseconds * 1000; }

DdDraw *gDraw;
DdDraw *BenchDraw(void) { return gDraw; }

// The library on a headless screen of that depth with a looping movie in a graph. The movie handle, or -1.
int StartMovie(int depth, int *graph)
{
    KClockSource clock = {BenchNow, BenchSleep, nullptr};
    KSetClockSource(&clock);
    ChangeWindowMode(1);
    if (InitLibrary() != 0 || SelectScreenMode(640, 480, depth, 60) != 0) return -1;
    if (DdCreate(nullptr, &gDraw, nullptr) != DD_OK) return -1;
    MovieDisplayFns fns = {};
    fns.getDirectDrawObject = BenchDraw;
    SetMovieDisplayFns(&fns);
    *graph = OpenMovieToGraph(MoviePath().c_str(), MOVIE_SURFACE_OFFSCREEN, 3);
    int movie = GetGraphMovieHandle(*graph);
    return movie != -1 && RunMovie(movie) == 0 ? movie : -1;
}

void StopMovie(int graph)
{
    RemoveGraph(graph, 0);
    EndLibrary();
    gDraw->fn->Release(gDraw);
    SetMovieDisplayFns(nullptr);
    KSetClockSource(nullptr);
}

// Each iteration takes the next frame into the graph (decode, convert, copy, upload); the loop's
// seek back to the start counts as no frame.
void RunMoviePath(benchmark::State &state, int depth)
{
    int graph = -1;
    int movie = StartMovie(depth, &graph);
    if (movie == -1) {
        state.SkipWithError("the movie did not open (see Log.txt)");
        return;
    }
    int64_t frames = 0;
    double start = SecondsNow();
    for (auto _ : state) {
        AdvanceMovieToCurrentFrame(movie, 1);
        frames += LookupMovieRecord(movie)->lastUpdateTime != (uint32_t)-1;
    }
    double seconds = SecondsNow() - start;
    state.counters["fps"] = benchmark::Counter((double)frames, benchmark::Counter::kIsRate);
    gPathRate[depth == 32] = seconds > 0 ? frames / seconds : 0;
    StopMovie(graph);
}

void BM_MoviePath_16bit(benchmark::State &state) { RunMoviePath(state, 16); }
void BM_MoviePath_32bit(benchmark::State &state) { RunMoviePath(state, 32); }
BENCHMARK(BM_MoviePath_16bit)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MoviePath_32bit)->UseRealTime()->Unit(benchmark::kMicrosecond);

// ---- the parts ----------------------------------------------------------------------------------------

// libtheora's decode alone, frame after frame, rewinding at the end.
void BM_TheoraDecodeOnly(benchmark::State &state)
{
    MmTheoraReader *reader = MmOpenTheoraReader(MoviePath().c_str());
    if (!reader) {
        state.SkipWithError("the movie did not open");
        return;
    }
    for (auto _ : state) {
        if (MmDecodeNextTheoraFrame(reader) != 1) {
            MmSeekTheoraReader(reader, 0);
            MmDecodeNextTheoraFrame(reader);
        }
    }
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    MmCloseTheoraReader(reader);
}
BENCHMARK(BM_TheoraDecodeOnly)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One conversion of a decoded frame into a 640 x 480 target: fast or reference rows, 565 or X888.
void RunConvert(benchmark::State &state, uint32_t bits, int fast)
{
    MmTheoraReader *reader = MmOpenTheoraReader(MoviePath().c_str());
    MmPlane planes[3];
    if (!reader || MmDecodeNextTheoraFrame(reader) != 1 || MmGetTheoraPlanes(reader, planes) != 0) {
        state.SkipWithError("the movie did not open");
        MmCloseTheoraReader(reader);
        return;
    }
    std::vector<uint8_t> pixels((size_t)640 * 480 * bits / 8);
    MmSurfaceLock lock = {pixels.data(), 640 * (int)bits / 8, 640, 480, bits, bits == 16 ? 0xF800u : 0xFF0000u,
                          bits == 16 ? 0x07E0u : 0xFF00u, bits == 16 ? 0x1Fu : 0xFFu};
    for (auto _ : state) {
        if (fast) MmConvertPicture(MmGetTheoraPicture(reader), planes, &lock);
        else MmConvertPictureWith(MmGetTheoraPicture(reader), planes, &lock, MM_ROWS_REFERENCE);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    MmCloseTheoraReader(reader);
}
void BM_Convert_565_Fast(benchmark::State &s) { RunConvert(s, 16, 1); }
void BM_Convert_565_Reference(benchmark::State &s) { RunConvert(s, 16, 0); }
void BM_Convert_X888_Fast(benchmark::State &s) { RunConvert(s, 32, 1); }
void BM_Convert_X888_Reference(benchmark::State &s) { RunConvert(s, 32, 0); }
BENCHMARK(BM_Convert_565_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Convert_565_Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Convert_X888_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Convert_X888_Reference)->Unit(benchmark::kMicrosecond);

// ---- ffmpeg ---------------------------------------------------------------------------------------------

// Seconds of one ffmpeg run decoding the file passes times over into nothing, one thread (the cores
// are those taskset gave this program); -1 when it fails.
double FfmpegSeconds(int passes)
{
    std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -threads 1 -stream_loop " +
                          std::to_string(passes - 1) + " -i '" + MoviePath() + "' -f null -";
    double start = SecondsNow();
    return system(command.c_str()) == 0 ? SecondsNow() - start : -1;
}

// ffmpeg on the same 300 frames (five passes), as one would time it: the whole run, start-up included.
// Its decode alone is the difference to a run of twice as many frames (gFfmpegNetRate).
void BM_FfmpegDecode(benchmark::State &state)
{
    if (system("command -v ffmpeg > /dev/null 2>&1") != 0) {
        state.SkipWithError("ffmpeg is not installed (Debian's ffmpeg): its row is skipped");
        return;
    }
    double whole = 0, longer = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        double five = FfmpegSeconds(5), ten = FfmpegSeconds(10);
        if (five < 0 || ten < 0) {
            state.SkipWithError("ffmpeg failed on the movie");
            return;
        }
        whole += five;
        longer += ten;
        frames += 5 * kFramesPerPass;
    }
    state.counters["fps"] = benchmark::Counter((double)frames / whole);
    state.counters["fps_without_startup"] = benchmark::Counter((double)frames / (longer - whole));
    gFfmpegRate = frames / whole;
    gFfmpegNetRate = longer > whole ? frames / (longer - whole) : 0;
}
BENCHMARK(BM_FfmpegDecode)->UseRealTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    // A benchmark runs beside the game: it takes no part in the one-instance check.
    setenv("DAZAR_SINGLE_INSTANCE", "0", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gFfmpegRate <= 0) {
        printf("No ratio to ffmpeg: its row did not run.\n");
        return 0;
    }
    printf("ffmpeg's decode of the 300 frames: %.0f frames/s as a whole run, %.0f frames/s without its start-up\n",
           gFfmpegRate, gFfmpegNetRate);
    for (int wide = 0; wide < 2; wide++) {
        if (gPathRate[wide] > 0)
            printf("Movie path on a %d-bit screen: %.0f frames/s: %.2f of ffmpeg's whole run, %.2f of its decode alone\n",
                   wide ? 32 : 16, gPathRate[wide], gPathRate[wide] / gFfmpegRate,
                   gFfmpegNetRate > 0 ? gPathRate[wide] / gFfmpegNetRate : 0);
    }
    return 0;
}
