// Frames per second of a 640 x 480 Theora movie (tests/movie/fixtures/m640.ogv, played over and over):
// the whole movie path (decode, conversion into the frame surface at the take, the frame copy, which
// reaches the graph with it or by a copy of its own where the graph's store cannot hold it) on 16- and
// 32-bit screens of the software and the DirectDraw route, its parts alone (libtheora's decode; each
// conversion row set), and ffmpeg doing the same work on the same file: decoding it and converting
// every frame into the screen's pixel format (rgb565le, bgr0), written to /dev/null. ffmpeg times its
// own run from after it has opened the file to its end, so its start-up is not counted; the movie
// path's (library, movie open, the frames decoded at the open) is not either. Run on one core (taskset,
// see scripts/bench-movie.sh; ffmpeg inherits it, and decodes on one thread): the ratios printed at the
// end compare one core with one core, by the clock and by the processor time both sides took (this
// process's threads together; ffmpeg's user and system time), which other work on a shared machine
// disturbs less. The movie path and ffmpeg take turns, a stretch of 300 frames each (the same 300),
// so that each ratio is of two neighbouring stretches; the median ratio is printed beside each side's
// best stretch. Without ffmpeg on the PATH there are no ratios, and the summary says so.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <atomic>
#include <cstring>
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

const int kStretchFrames = 300;   // five passes over the file's 60 frames
const char *const kRoutes[] = {"software", "ddraw"};
const char *const kPeerFormats[] = {"rgb565le", "bgr0"};   // the 16- and 32-bit screens' pixels

std::string MoviePath(void)
{
    const char *dir = getenv("DAZAR_SOURCE_DIR");
    return std::string(dir ? dir : DAZAR_BENCH_SOURCE_DIR) + "/tests/movie/fixtures/m640.ogv";
}

// Frames per second of a stretch, by the clock and by processor time.
struct Rate {
    double clock, processor;
};
// One route and screen depth: each side's best stretch, and the ratios of neighbouring stretches.
struct Comparison {
    Rate path, peer;
    std::vector<Rate> ratios;
};
Comparison gCompared[2][2];   // by route, 16 / 32 bits

Rate RateOf(int frames, double clockSeconds, double processorSeconds)
{
    return Rate{clockSeconds > 0 ? frames / clockSeconds : 0, processorSeconds > 0 ? frames / processorSeconds : 0};
}

void KeepBest(Rate *best, Rate rate)
{
    best->clock = std::max(best->clock, rate.clock);
    best->processor = std::max(best->processor, rate.processor);
}

// The median of the ratios, by the clock or in processor time.
double MedianRatio(std::vector<Rate> ratios, double Rate::*which)
{
    if (ratios.empty()) return 0;
    std::sort(ratios.begin(), ratios.end(), [which](const Rate &a, const Rate &b) { return a.*which < b.*which; });
    size_t n = ratios.size();
    return n % 2 ? ratios[n / 2].*which : (ratios[n / 2 - 1].*which + ratios[n / 2].*which) / 2;
}

double SecondsNow(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Processor seconds of every thread of this process so far.
double ProcessorSeconds(void)
{
    rusage use;
    getrusage(RUSAGE_SELF, &use);
    return use.ru_utime.tv_sec + use.ru_stime.tv_sec + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
}

// ---- a clock whose sleep passes at once ------------------------------------------------------------

// Read by the decoder's worker too.
std::atomic<uint64_t> gClockNow{1000000};
uint64_t BenchNow(void *) { return gClockNow; }
void BenchSleep(void *, uint32_t milliseconds) { gClockNow += (uint64_t)milliseconds * 1000; }

DdDraw *gDraw;
DdDraw *BenchDraw(void) { return gDraw; }

// The library on a headless screen of that route and depth with a looping movie in a graph. The
// movie handle, or -1.
int StartMovie(const char *route, int depth, int *graph)
{
    setenv("DAZAR_RENDER_ROUTE", route, 1);
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
    unsetenv("DAZAR_RENDER_ROUTE");
}

// ---- ffmpeg ---------------------------------------------------------------------------------------------

// 1 when ffmpeg is on the PATH (asked once).
bool HaveFfmpeg(void)
{
    static const bool have = system("command -v ffmpeg > /dev/null 2>&1") == 0;
    return have;
}

// ffmpeg's run over kStretchFrames frames of the file, decoded on one thread and converted into
// pixelFormat (on the cores taskset gave this program), as its own timer gives it. 0 / -1 when it
// fails.
int FfmpegRate(const char *pixelFormat, Rate *rate)
{
    std::string command = "ffmpeg -hide_banner -nostats -nostdin -benchmark -threads 1 -stream_loop " +
                          std::to_string(kStretchFrames / 60 - 1) + " -i '" + MoviePath() +
                          "' -f rawvideo -pix_fmt " + pixelFormat + " -y /dev/null 2>&1";
    FILE *out = popen(command.c_str(), "r");
    if (!out) return -1;
    double user = -1, system = -1, clock = -1;
    char line[512];
    while (fgets(line, sizeof line, out)) {
        const char *u = strstr(line, "utime="), *s = strstr(line, "stime="), *r = strstr(line, "rtime=");
        if (u && s && r) user = atof(u + 6), system = atof(s + 6), clock = atof(r + 6);
    }
    *rate = RateOf(kStretchFrames, clock, user + system);
    return pclose(out) == 0 && clock > 0 && user >= 0 && system >= 0 ? 0 : -1;
}

// Each iteration takes the next frame into the graph (decode, convert, copy, upload); the loop's
// seek back to the start counts as no frame. After each stretch of kStretchFrames frames ffmpeg does
// its stretch (outside the timing).
void BM_MoviePath(benchmark::State &state)
{
    int route = (int)state.range(0), depth = (int)state.range(1);
    int graph = -1;
    int movie = StartMovie(kRoutes[route], depth, &graph);
    if (movie == -1) {
        state.SkipWithError("the movie did not open (see Log.txt)");
        return;
    }
    Comparison &compared = gCompared[route][depth == 32];
    int64_t frames = 0, stretch = 0;
    double start = SecondsNow(), startProcessor = ProcessorSeconds();
    for (auto _ : state) {
        AdvanceMovieToCurrentFrame(movie, 1);
        int taken = LookupMovieRecord(movie)->lastUpdateTime != (uint32_t)-1;
        frames += taken;
        if ((stretch += taken) < kStretchFrames) continue;
        Rate path = RateOf(kStretchFrames, SecondsNow() - start, ProcessorSeconds() - startProcessor), peer;
        KeepBest(&compared.path, path);
        state.PauseTiming();
        if (HaveFfmpeg() && FfmpegRate(kPeerFormats[depth == 32], &peer) == 0) {
            KeepBest(&compared.peer, peer);
            compared.ratios.push_back(Rate{path.clock / peer.clock, path.processor / peer.processor});
        }
        state.ResumeTiming();
        stretch = 0;
        start = SecondsNow();
        startProcessor = ProcessorSeconds();
    }
    state.counters["fps"] = benchmark::Counter((double)frames, benchmark::Counter::kIsRate);
    state.counters["best_fps"] = compared.path.clock;
    state.counters["ffmpeg_best_fps"] = compared.peer.clock;
    state.counters["ratio"] = MedianRatio(compared.ratios, &Rate::clock);
    state.counters["ratio_processor"] = MedianRatio(compared.ratios, &Rate::processor);
    StopMovie(graph);
}
BENCHMARK(BM_MoviePath)->ArgNames({"route", "depth"})->ArgsProduct({{0, 1}, {16, 32}})->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

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

// One conversion of a decoded frame into a 640 x 480 target, 565 or X888, through a row set.
void BM_Convert(benchmark::State &state)
{
    uint32_t bits = (uint32_t)state.range(0);
    MmConvertRows rows = (MmConvertRows)state.range(1);
    MmTheoraReader *reader = MmOpenTheoraReader(MoviePath().c_str());
    MmPlane planes[3];
    std::vector<uint8_t> pixels((size_t)640 * 480 * bits / 8);
    MmSurfaceLock lock = {pixels.data(), 640 * (int)bits / 8, 640, 480, bits, bits == 16 ? 0xF800u : 0xFF0000u,
                          bits == 16 ? 0x07E0u : 0xFF00u, bits == 16 ? 0x1Fu : 0xFFu};
    if (!reader || MmDecodeNextTheoraFrame(reader) != 1 || MmGetTheoraPlanes(reader, planes) != 0 ||
        MmConvertPictureWith(MmGetTheoraPicture(reader), planes, &lock, rows) != 0) {
        state.SkipWithError("no movie, or no such rows on this processor");
        MmCloseTheoraReader(reader);
        return;
    }
    for (auto _ : state) {
        MmConvertPictureWith(MmGetTheoraPicture(reader), planes, &lock, rows);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    MmCloseTheoraReader(reader);
}
BENCHMARK(BM_Convert)->ArgNames({"bits", "rows"})
    ->ArgsProduct({{16, 32}, {MM_ROWS_REFERENCE, MM_ROWS_SSE2, MM_ROWS_AVX2}})->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv)
{
    // A benchmark runs beside the game: it takes no part in the one-instance check.
    setenv("DAZAR_SINGLE_INSTANCE", "0", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    int printed = 0;
    for (int route = 0; route < 2; route++) {
        for (int wide = 0; wide < 2; wide++) {
            const Comparison &c = gCompared[route][wide];
            if (c.ratios.empty()) continue;
            printf("%s route, %d-bit screen: decode + convert + graph update %.0f frames/s (%.0f in processor time), "
                   "ffmpeg's decode + convert to %s %.0f (%.0f); median ratio of %zu neighbouring stretches %.2f "
                   "(%.2f)\n",
                   kRoutes[route], wide ? 32 : 16, c.path.clock, c.path.processor, kPeerFormats[wide], c.peer.clock,
                   c.peer.processor, c.ratios.size(), MedianRatio(c.ratios, &Rate::clock),
                   MedianRatio(c.ratios, &Rate::processor));
            printed++;
        }
    }
    if (!printed) printf(HaveFfmpeg() ? "No ratio to ffmpeg: no stretch ran.\n" : "No ratio to ffmpeg: it is not installed.\n");
    return 0;
}
