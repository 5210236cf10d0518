// Software renderer timings beside pixman and SDL2 doing the same work: fills, keyed and scaled
// blits, discs and three synthetic game frames on a 640 x 480 R5G6B5 screen, single thread.
// Each figure carries "maxdiff", the largest difference of any 5- or 6-bit field between that back
// end's screen and ours after one run from the same background (0 = the same pixels). Frames also
// show "of17ms%", their share of the 17 ms frame. Full run, by hand, on a Release build:
//   taskset -c 2 bench_softrender --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <time.h>

#include <string>

#include "tools/bench_softrender/bench_scene.h"

namespace {

const char *const kBackEnd[3] = {"ours", "pixman", "sdl"};

std::string BenchName(BenchOp op) {
    static const char *const kNames[OP_COUNT] = {
        "Fill/32x32/mode0", "Fill/32x32/mode1_p128", "Fill/32x32/mode2_p128", "Fill/32x32/mode4", "Fill/32x32/mode11_p255",
        "Fill/640x390/mode0", "Fill/640x390/mode1_p128", "Fill/640x390/mode2_p128", "Fill/640x390/mode4",
        "Fill/640x390/mode11_p255", "KeyedBlit/32x32", "KeyedBlit/256x256", "Stretch/x3_keyed_32to96",
        "Stretch/x0.5_keyed_256to128", "Circle/r16/mode0", "Circle/r16/mode2_p128", "Circle/r96/mode0",
        "Circle/r96/mode2_p128", "Frame/normal", "Frame/world2", "Frame/dark", "ScreenCopy/memcpy"};
    return kNames[op];
}

// <chrono> cannot be used here: its micro sign has no Shift-JIS form.
double NowSeconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

int RunBackEnd(BenchScene &s, BenchOp op, int backEnd) {
    return backEnd == 0 ? RunOurs(s, op) : backEnd == 1 ? RunPixman(s, op) : RunSdl(s, op);
}

void RunOne(benchmark::State &state, BenchOp op, int backEnd) {
    BenchScene &s = GetBenchScene();
    // The output comparison, outside the timed loop: one run of ours and one of this back end.
    ResetBenchScreens(s);
    RunOurs(s, op);
    RunBackEnd(s, op, backEnd);
    const uint16_t *ours = reinterpret_cast<const uint16_t *>(s.screen.pixels);
    const int oursPitch = s.screen.shared->pitch / 2;
    int diff = 0;
    if (backEnd == 1) diff = MaxFieldDifference(ours, oursPitch, s.pixmanPixels.data(), kScreenW);
    if (backEnd == 2) diff = MaxFieldDifference(ours, oursPitch, s.sdlPixels.data(), kScreenW);
    ResetBenchScreens(s);
    const double start = NowSeconds();
    for (auto _ : state) {
        RunBackEnd(s, op, backEnd);
        benchmark::ClobberMemory();
    }
    const double seconds = NowSeconds() - start;
    state.counters["maxdiff"] = diff;
    if (op >= OP_FRAME_NORMAL && op <= OP_FRAME_DARK && state.iterations() > 0)
        state.counters["of17ms%"] = seconds / (double)state.iterations() / 0.017 * 100.0;
}

// Every operation, ours first, then each back end that has an equivalent.
void RegisterAll() {
    BenchScene &s = GetBenchScene();
    for (int op = 0; op < OP_COUNT; ++op)
        for (int b = 0; b < 3; ++b) {
            if (b > 0 && !RunBackEnd(s, (BenchOp)op, b)) continue;
            benchmark::RegisterBenchmark((BenchName((BenchOp)op) + "/" + kBackEnd[b]).c_str(),
                                         [op, b](benchmark::State &st) { RunOne(st, (BenchOp)op, b); })
                ->Unit(benchmark::kMicrosecond);
        }
}

}  // namespace

int main(int argc, char **argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
