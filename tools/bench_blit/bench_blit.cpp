// BlitMemImg throughput per path: keyed sprites, plain, alpha and additive images, 16 and 32 bits.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "lib/graphics/draw_settings.h"
#include "lib/graphics/memimg.h"
#include "lib/softrender/blit.h"
#include "tools/bench_support/bench_screen.h"

namespace {

// A source shaped like a sprite: random colours inside a disc, the key (or alpha 0) outside it,
// and for alpha sources a ring of half-transparent texels at its edge.
void MakeSource(MEMIMG *src, int type, bool alpha, int w, int h) {
    CreateMemImg(src, w, h, type, alpha, 0, 0);
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y) {
        uint8_t *row = GetMemImgRow(src, y);
        for (int x = 0; x < w; ++x) {
            int dx = 2 * x + 1 - w, dy = 2 * y + 1 - h, r2 = dx * dx + dy * dy, edge = w * w;
            uint32_t v = rng(), pick = r2 > edge ? 0 : r2 > edge * 3 / 4 ? 1 : 2;
            if (alpha) {
                uint32_t a = pick == 0 ? 0 : pick == 1 ? 128 : 255;
                v = type == 0 ? (v & 0xFFFF) | (a << 16) : (v & 0xFFFFFF) | (a << 24);
                memcpy(row + 4 * x, &v, 4);
            } else if (type == 0) {
                uint16_t p = pick == 0 ? 0 : (uint16_t)(v | 1);
                memcpy(row + 2 * x, &p, 2);
            } else {
                uint32_t p = pick == 0 ? 0 : (v | 1);
                memcpy(row + 4 * x, &p, 4);
            }
        }
    }
    MarkMemImgPixelsChanged(src);
}

// One blit of a w x h source onto a 640 x 480 screen per iteration, at varying positions.
void RunBlit(benchmark::State &state, int type, bool alpha, int w, int h, int mode, int param, int trans) {
    MEMIMG screen, src;
    CreateBenchScreen(&screen, type);
    SelectBlendMode(mode, param);
    MakeSource(&src, type, alpha, w, h);
    int i = 0;
    for (auto _ : state) {
        int x = (i * 37) % (640 - w), y = (i * 23) % (480 - h);
        BlitMemImg(&screen, &src, x, y, trans, nullptr);
        benchmark::DoNotOptimize(screen.pixels[0]);
        ++i;
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)w * h);
    ReleaseMemImg(&src);
    ReleaseMemImg(&screen);
}

void BM_KeyedSprite32_565(benchmark::State &s) { RunBlit(s, 0, false, 32, 32, 0, 255, 1); }
void BM_KeyedSprite32_565_NoRuns(benchmark::State &s) {
    SetMemImgRunTableUse(0);
    RunBlit(s, 0, false, 32, 32, 0, 255, 1);
    SetMemImgRunTableUse(1);
}
void BM_Plain256_565(benchmark::State &s) { RunBlit(s, 0, false, 256, 256, 0, 255, 0); }
void BM_Alpha256_565(benchmark::State &s) { RunBlit(s, 0, false, 256, 256, 1, 100, 0); }
void BM_Half256_565(benchmark::State &s) { RunBlit(s, 0, false, 256, 256, 1, 128, 0); }
void BM_AlphaChannel256_565(benchmark::State &s) { RunBlit(s, 0, true, 256, 256, 0, 255, 1); }
void BM_Add256_565(benchmark::State &s) { RunBlit(s, 0, false, 256, 256, 2, 128, 0); }
void BM_KeyedSprite32_8888(benchmark::State &s) { RunBlit(s, 1, false, 32, 32, 0, 255, 1); }
void BM_Plain256_8888(benchmark::State &s) { RunBlit(s, 1, false, 256, 256, 0, 255, 0); }
void BM_Alpha256_8888(benchmark::State &s) { RunBlit(s, 1, false, 256, 256, 1, 100, 0); }
void BM_AlphaChannel256_8888(benchmark::State &s) { RunBlit(s, 1, true, 256, 256, 0, 255, 1); }

BENCHMARK(BM_KeyedSprite32_565);
BENCHMARK(BM_KeyedSprite32_565_NoRuns);
BENCHMARK(BM_Plain256_565);
BENCHMARK(BM_Alpha256_565);
BENCHMARK(BM_Half256_565);
BENCHMARK(BM_AlphaChannel256_565);
BENCHMARK(BM_Add256_565);
BENCHMARK(BM_KeyedSprite32_8888);
BENCHMARK(BM_Plain256_8888);
BENCHMARK(BM_Alpha256_8888);
BENCHMARK(BM_AlphaChannel256_8888);

}  // namespace

BENCHMARK_MAIN();
