// Frames per second of a 640 x 480 Theora movie (tests/movie/fixtures/m640.ogv, played over and over):
// the whole movie path (decode, conversion into the frame surface at the take, the frame copy, which
// reaches the graph with it or by a copy of its own where the graph's store cannot hold it) on 16- and
// 32-bit screens of the software and the DirectDraw route, its parts alone (libtheora's decode; each
// conversion row set), and beside them ffmpeg doing the same work on the same file: decoding it and
// converting every frame into the screen's pixel format (rgb565le, bgr0), written to a null device.
// Run on one core (taskset, see scripts/bench-movie.sh; ffmpeg inherits it, and decodes and converts
// on one thread). With DAZAR_BENCH_ROUNDS set, the two sides are then compared, timed the same way:
// neither side's set-up counts (the movie path's stretch starts after its open; ffmpeg's frames are
// the difference between a long and a short run of the same set-up), each stretch is long (1800
// frames, about a second, so that processor time in ticks of a few milliseconds is a small part of
// it), and the sides take turns; the median of the rounds' ratios is printed, by the clock and by the
// processor time both sides took (this process's threads together; ffmpeg's user and system time),
// which other work on a shared machine disturbs less. DAZAR_BENCH_NULL names ffmpeg's null device
// (default /dev/null). Without ffmpeg on the PATH there are no ratios, and the summary says so.
// BM_HugeFrameCalls times the calls around a 16384 x 4096 movie (open, first draw, display change,
// remove) on each route and depth and prints their milliseconds; the Direct3D route's cases need
// OpenGL (SDL_VIDEODRIVER=offscreen). It writes bench_huge.ogv into the working folder and removes it
// at the end.
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
#include "lib/graphics/draw.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/screen.h"
#include "lib/movie/movie.h"
#include "lib/movie/movie_graph_hooks.h"
#include "platform/dshow/frame_convert.h"
#include "platform/dshow/theora_reader.h"
#include "platform/window/window.h"
#include "tests/movie/movie_fixtures.h"

namespace {

const int kFileFrames = 60;
const int kStretchFrames = 1800;   // 30 passes over the file's frames
const char *const kRoutes[] = {"software", "ddraw"};
const char *const kPeerFormats[] = {"rgb565le", "bgr0"};   // the 16- and 32-bit screens' pixels

std::string FixturePath(const char *name)
{
    const char *dir = getenv("DAZAR_SOURCE_DIR");
    return std::string(dir ? dir : DAZAR_BENCH_SOURCE_DIR) + "/tests/movie/fixtures/" + name;
}

std::string MoviePath(void) { return FixturePath("m640.ogv"); }

// Frames per second of a stretch, by the clock and by processor time.
struct Rate {
    double clock, processor;
};
// One route and screen depth: each side's best stretch, and the ratio of each round.
struct Comparison {
    Rate path, peer;
    std::vector<Rate> ratios;
};

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

// The library on a headless 640 x 480 window of that route and depth. 0 / -1.
int StartLibrary(const char *route, int depth)
{
    setenv("DAZAR_RENDER_ROUTE", route, 1);
    ChangeWindowMode(1);
    return InitLibrary() == 0 && SelectScreenMode(640, 480, depth, 60) == 0 ? 0 : -1;
}

// The library as StartLibrary makes it with a looping movie in a graph. The movie handle, or -1.
int StartMovie(const char *route, int depth, int *graph)
{
    KClockSource clock = {BenchNow, BenchSleep, nullptr};
    KSetClockSource(&clock);
    if (StartLibrary(route, depth) != 0) return -1;
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

// Takes the movie's next frame into its graph: 1, or 0 for the loop's seek back to the start.
int TakeFrame(int movie)
{
    AdvanceMovieToCurrentFrame(movie, 1);
    return LookupMovieRecord(movie)->lastUpdateTime != (uint32_t)-1;
}

// Each iteration takes the next frame into the graph (decode, convert, copy, upload); the loop's
// seek back to the start counts as no frame.
void BM_MoviePath(benchmark::State &state)
{
    int route = (int)state.range(0), depth = (int)state.range(1);
    int graph = -1;
    int movie = StartMovie(kRoutes[route], depth, &graph);
    if (movie == -1) {
        state.SkipWithError("the movie did not open (see Log.txt)");
        return;
    }
    int64_t frames = 0;
    for (auto _ : state) frames += TakeFrame(movie);
    state.counters["fps"] = benchmark::Counter((double)frames, benchmark::Counter::kIsRate);
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

// ---- a huge frame's open, first draw, display change and remove ----------------------------------------

// m420.ogv declaring 1024 x 256 macroblocks, a 16384 x 4096 picture: a 6 KB file each of whose frames
// takes a long decode and a 256 MiB graph at 32 bits. Written once into the working folder.
const char *const kHugeMovieFile = "bench_huge.ogv";

const char *HugeMoviePath(void)
{
    static bool written = false;
    if (!written) {
        FILE *f = fopen(FixturePath("m420.ogv").c_str(), "rb");
        std::string bytes;
        char buffer[4096];
        for (size_t n; f && (n = fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
        if (f) fclose(f);
        if (bytes.empty()) return nullptr;
        moviefixture::WriteMovieFile(kHugeMovieFile, moviefixture::WithHeaderBytes(bytes, moviefixture::HEADER_FRAME_MBS,
                                                                         {4, 0, 1, 0, 0, 0x40, 0, 0, 0x10, 0, 0, 0}));
        written = true;
    }
    return kHugeMovieFile;
}

// Milliseconds of each call of one cycle, and the slowest over the cycles, printed per route and depth.
enum { CALL_OPEN, CALL_FIRST_DRAW, CALL_DISPLAY_CHANGE, CALL_REMOVE, CALL_KINDS };
const char *const kCallNames[CALL_KINDS] = {"open", "first draw", "display change", "remove"};

// Each iteration opens the huge movie into a graph and runs it, draws the graph and presents, changes
// the display and removes the graph, on the real clock (the decoder works through its frames beside).
void BM_HugeFrameCalls(benchmark::State &state)
{
    const char *const routes[] = {"software", "ddraw", "d3d"};
    int route = (int)state.range(0), depth = (int)state.range(1);
    const char *path = HugeMoviePath();
    const char *fault = nullptr;
    if (!path || StartLibrary(routes[route], depth) != 0 || SelectDrawTarget(SCREEN_BACK) != 0)
        fault = "no library or no huge movie";
    else if (route == 2 && !IsDirect3DDrawUsable())
        fault = "Direct3D does not draw here (SDL_VIDEODRIVER=offscreen)";
    if (fault) {
        state.SkipWithError(fault);
        EndLibrary();
        unsetenv("DAZAR_RENDER_ROUTE");
        return;
    }
    double total[CALL_KINDS] = {}, slowest[CALL_KINDS] = {};
    int cycles = 0;
    for (auto _ : state) {
        double t[CALL_KINDS + 1];
        t[0] = SecondsNow();
        int graph = OpenMovieToGraph(path, MOVIE_SURFACE_OFFSCREEN, 3);
        RunMovie(GetGraphMovieHandle(graph));
        t[1] = SecondsNow();
        PutGraph(0, 0, graph, 0);
        PresentFrame();
        t[2] = SecondsNow();
        HandleWindowMessage(GetMainWindowHandle(), W_WM_DISPLAYCHANGE, depth, 0);
        t[3] = SecondsNow();
        RemoveGraph(graph, 0);
        t[4] = SecondsNow();
        if (graph == -1) state.SkipWithError("the movie did not open (see Log.txt)");
        for (int k = 0; k < CALL_KINDS; k++) {
            total[k] += (t[k + 1] - t[k]) * 1000;
            slowest[k] = std::max(slowest[k], (t[k + 1] - t[k]) * 1000);
        }
        cycles++;
    }
    for (int k = 0; k < CALL_KINDS && cycles; k++) {
        printf("%s route, %d-bit screen, 16384 x 4096 movie: %s %.1f ms (slowest %.1f) over %d cycles\n", routes[route],
               depth, kCallNames[k], total[k] / cycles, slowest[k], cycles);
        state.counters[kCallNames[k]] = total[k] / cycles;
    }
    EndLibrary();
    unsetenv("DAZAR_RENDER_ROUTE");
}
BENCHMARK(BM_HugeFrameCalls)->ArgNames({"route", "depth"})->ArgsProduct({{0, 1, 2}, {16, 32}})->Iterations(5)
    ->UseRealTime()->Unit(benchmark::kMillisecond);

// ---- the comparison with ffmpeg ------------------------------------------------------------------------

// 1 when ffmpeg is on the PATH (asked once).
bool HaveFfmpeg(void)
{
    static const bool have = system("command -v ffmpeg > /dev/null 2>&1") == 0;
    return have;
}

// One ffmpeg run over the file, passes times, decoded and converted into pixelFormat on one thread,
// written to the null device: its clock and processor seconds as its own timer gives them (from after
// it opened the file to its end). 0 / -1 when it fails.
int FfmpegRun(const char *pixelFormat, int passes, double *clock, double *processor)
{
    const char *null = getenv("DAZAR_BENCH_NULL");
    std::string command = "ffmpeg -hide_banner -nostats -nostdin -benchmark -threads 1 -filter_threads 1 -stream_loop " +
                          std::to_string(passes - 1) + " -i '" + MoviePath() + "' -f rawvideo -pix_fmt " + pixelFormat +
                          " -y '" + (null ? null : "/dev/null") + "' 2>&1";
    FILE *out = popen(command.c_str(), "r");
    if (!out) return -1;
    double user = -1, system = -1;
    *clock = -1;
    char line[512];
    while (fgets(line, sizeof line, out)) {
        const char *u = strstr(line, "utime="), *s = strstr(line, "stime="), *r = strstr(line, "rtime=");
        if (u && s && r) user = atof(u + 6), system = atof(s + 6), *clock = atof(r + 6);
    }
    *processor = user + system;
    return pclose(out) == 0 && *clock > 0 && user >= 0 && system >= 0 ? 0 : -1;
}

// ffmpeg's rate over kStretchFrames frames: a run of that many less a run of one pass, so that its
// set-up (the same in both) drops out. 0 / -1.
int FfmpegRate(const char *pixelFormat, Rate *rate)
{
    double longClock, longProcessor, shortClock, shortProcessor;
    if (FfmpegRun(pixelFormat, kStretchFrames / kFileFrames, &longClock, &longProcessor) != 0 ||
        FfmpegRun(pixelFormat, 1, &shortClock, &shortProcessor) != 0)
        return -1;
    *rate = RateOf(kStretchFrames - kFileFrames, longClock - shortClock, longProcessor - shortProcessor);
    return 0;
}

// The movie path's rate over kStretchFrames frames of a running movie (its open long done).
Rate PathRate(int movie)
{
    double start = SecondsNow(), startProcessor = ProcessorSeconds();
    for (int taken = 0; taken < kStretchFrames;) taken += TakeFrame(movie);
    return RateOf(kStretchFrames, SecondsNow() - start, ProcessorSeconds() - startProcessor);
}

// Rounds of a stretch of the movie path and then ffmpeg's, on one route and screen depth. 0 / -1.
int Compare(int route, int depth, int rounds, Comparison *c)
{
    int graph = -1;
    int movie = StartMovie(kRoutes[route], depth, &graph);
    if (movie == -1) return -1;
    PathRate(movie);   // warm: caches, the frame copy in the graph's store
    for (int i = 0; i < rounds; i++) {
        Rate path = PathRate(movie), peer;
        if (FfmpegRate(kPeerFormats[depth == 32], &peer) != 0) break;
        KeepBest(&c->path, path);
        KeepBest(&c->peer, peer);
        c->ratios.push_back(Rate{path.clock / peer.clock, path.processor / peer.processor});
    }
    StopMovie(graph);
    return c->ratios.empty() ? -1 : 0;
}

// The comparison's summary, a line per route and screen depth.
void CompareWithFfmpeg(int rounds)
{
    if (!HaveFfmpeg()) {
        printf("No ratio to ffmpeg: it is not installed.\n");
        return;
    }
    for (int route = 0; route < 2; route++) {
        for (int wide = 0; wide < 2; wide++) {
            Comparison c = {};
            if (Compare(route, wide ? 32 : 16, rounds, &c) != 0) {
                printf("%s route, %d-bit screen: no comparison (the movie or ffmpeg failed)\n", kRoutes[route], wide ? 32 : 16);
                continue;
            }
            printf("%s route, %d-bit screen: decode + convert + graph update %.0f frames/s (%.0f in processor time), "
                   "ffmpeg's decode + convert to %s %.0f (%.0f), best stretches; median ratio of %zu rounds %.2f (%.2f)\n",
                   kRoutes[route], wide ? 32 : 16, c.path.clock, c.path.processor, kPeerFormats[wide], c.peer.clock,
                   c.peer.processor, c.ratios.size(), MedianRatio(c.ratios, &Rate::clock),
                   MedianRatio(c.ratios, &Rate::processor));
        }
    }
}

}  // namespace

int main(int argc, char **argv)
{
    // A benchmark runs beside the game: it takes no part in the one-instance check.
    setenv("DAZAR_SINGLE_INSTANCE", "0", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    remove(kHugeMovieFile);
    const char *rounds = getenv("DAZAR_BENCH_ROUNDS");
    if (rounds && atoi(rounds) > 0) CompareWithFfmpeg(atoi(rounds));
    return 0;
}
