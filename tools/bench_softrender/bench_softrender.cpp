// Software renderer timings beside pixman and SDL2 doing the same work: fills, keyed, blended,
// clipped and scaled blits, discs and three game frames on 640 x 480 screens, single thread.
// Each figure carries "maxdiff", the largest difference of any colour field between that back
// end's screen and ours after one run from the same background (0 = the same pixels). Frames also
// show "of17ms%", their share of the 17 ms frame. At the end a table gives, per operation, the
// median and the minimum of the repetitions of each back end, our median over the faster peer's
// and our minimum over the faster peer's (steadier on a shared machine). --per_pixel_bodies runs
// our blits with the per-pixel bodies instead of the vector rows. Full run, by hand, on a Release
// build (the repetitions of every operation and back end in random order, so that a busy spell
// of the machine does not fall on one of them alone):
//   taskset -c 2 bench_softrender --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
//       --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>

#include "lib/softrender/blit_vector.h"
#include "tools/bench_softrender/bench_scene.h"

namespace {

const char *const kBackEnd[3] = {"ours", "pixman", "sdl"};

std::string BenchName(BenchOp op) {
    static const char *const kNames[OP_BLITS] = {
        "Fill/32x32/mode0", "Fill/32x32/mode1_p128", "Fill/32x32/mode2_p128", "Fill/32x32/mode4", "Fill/32x32/mode11_p255",
        "Fill/640x390/mode0", "Fill/640x390/mode1_p128", "Fill/640x390/mode2_p128", "Fill/640x390/mode4",
        "Fill/640x390/mode11_p255", "Stretch/x3_keyed_32to96", "Stretch/x0.5_keyed_256to128",
        "Stretch/x4_plain_160x120/565", "Stretch/x4_plain_160x120/8888", "Circle/r16/mode0",
        "Circle/r16/mode2_p128", "Circle/r96/mode0", "Circle/r96/mode2_p128", "Frame/normal", "Frame/world2",
        "Frame/dark", "ScreenCopy/memcpy"};
    static const char *const kWork[BLIT_WORK_COUNT] = {
        "keyed_sheet_piece", "keyed_clip_one_row", "keyed_clip_half", "keyed_clip_bottom_half", "keyed_clip_left_half",
        "alpha_p100", "alpha_p128", "add_p200", "subtract_p200", "multiply", "copy"};
    if (op < OP_BLITS) return kNames[op];
    const BlitCase b = GetBlitCase(op);
    return std::string("Blit/") + kWork[b.work] + "/" + std::to_string(b.size) + "x" + std::to_string(b.size) +
           (b.type == 0 ? "/565" : "/8888");
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
    const int type = GetBenchOpType(op);
    const BenchScreens &sc = s.screens[type];
    const int pitch = kScreenW * (type == 0 ? 2 : 4);
    int diff = 0;
    if (backEnd == 1) diff = MaxFieldDifference(type, sc.ours.pixels, sc.ours.shared->pitch, sc.pixman.data(), pitch);
    if (backEnd == 2) diff = MaxFieldDifference(type, sc.ours.pixels, sc.ours.shared->pitch, sc.sdl.data(), pitch);
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

double MinOf(const std::vector<double> &v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); }

// Every operation, ours first, then each back end that has an equivalent.
void RegisterAll() {
    BenchScene &s = GetBenchScene();
    for (int op = 0; op < OP_COUNT; ++op)
        for (int b = 0; b < 3; ++b) {
            if (b > 0 && !RunBackEnd(s, (BenchOp)op, b)) continue;
            benchmark::RegisterBenchmark((BenchName((BenchOp)op) + "/" + kBackEnd[b]).c_str(),
                                         [op, b](benchmark::State &st) { RunOne(st, (BenchOp)op, b); })
                ->Unit(benchmark::kMicrosecond)
                ->ComputeStatistics("min", MinOf);
        }
}

// The console report, then the side-by-side table of medians and minima.
class SideBySideReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs) {
            Figures &f = figures_[r.run_name.function_name];
            const double t = r.GetAdjustedRealTime();
            if (r.aggregate_name == "median") f.median = t;
            else if (r.aggregate_name == "min") f.min = t;
            else if (r.aggregate_name.empty() && f.plain++ == 0) f.median = f.min = t;  // no repetitions
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        std::ostream &out = GetOutputStream();
        out << "\nmicroseconds: median / minimum of the repetitions; ratios: ours over the faster peer's, of the "
               "medians and of the minima\n";
        char line[256];
        snprintf(line, sizeof line, "%-38s %17s %17s %17s %7s %7s\n", "operation", "ours", "pixman", "sdl", "median",
                 "minimum");
        out << line;
        for (int op = 0; op < OP_COUNT; ++op) {
            const std::string name = BenchName((BenchOp)op);
            auto ours = figures_.find(name + "/ours");
            if (ours == figures_.end()) continue;
            std::string cells[3];
            double best = 0, bestMin = 0;
            for (int b = 0; b < 3; ++b) {
                auto f = figures_.find(name + "/" + kBackEnd[b]);
                if (f == figures_.end()) {
                    cells[b] = "-";
                    continue;
                }
                snprintf(line, sizeof line, "%8.3f/%-8.3f", f->second.median, f->second.min);
                cells[b] = line;
                if (b > 0 && (best == 0 || f->second.median < best)) best = f->second.median;
                if (b > 0 && (bestMin == 0 || f->second.min < bestMin)) bestMin = f->second.min;
            }
            if (best > 0) snprintf(line, sizeof line, "%7.2f %7.2f", ours->second.median / best, ours->second.min / bestMin);
            else snprintf(line, sizeof line, "%7s %7s", "-", "-");
            std::string ratio = line;
            snprintf(line, sizeof line, "%-38s %17s %17s %17s %s\n", name.c_str(), cells[0].c_str(), cells[1].c_str(),
                     cells[2].c_str(), ratio.c_str());
            out << line;
        }
        ConsoleReporter::Finalize();
    }

private:
    struct Figures {
        double median = 0, min = 0;
        int plain = 0;
    };
    std::map<std::string, Figures> figures_;
};

}  // namespace

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--per_pixel_bodies") {
            SetBlitVectorUse(BLIT_VECTOR_OFF);
            for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
            --argc;
            break;
        }
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SideBySideReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
