// Timings of the software triangle on a 640 x 480 screen: a flat triangle and a 64 x 64 textured
// quad drawn as two triangles, per colour type, texel kind and blend mode.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include "lib/graphics/draw_settings.h"
#include "lib/graphics/memimg.h"
#include "lib/softrender/triangle.h"
#include "tools/bench_support/bench_screen.h"

namespace {

enum BenchTexture { kFlat = 0, kPalette = 1, kDirect = 2, kAlpha = 3 };

const char *const kTextureNames[] = {"flat", "palette", "direct", "alpha"};

// A 64 x 64 texture of the kind with a ring of key (or alpha 0) texels, the rest varied.
void MakeBenchTexture(MEMIMG *tex, int colorType, int kind)
{
    CreateMemImg(tex, 64, 64, colorType, kind == kAlpha, kind == kPalette, 0);
    if (kind == kPalette) {
        uint32_t rgb[256];
        for (int i = 0; i < 256; ++i) rgb[i] = 0x010203u * i;
        SetMemImgPalette(tex, rgb, 256);
    }
    int bytes = GetMemImgBytesPerPixel(tex);
    for (int y = 0; y < 64; ++y) {
        uint8_t *row = GetMemImgRow(tex, y);
        for (int x = 0; x < 64; ++x) {
            int dx = x - 32, dy = y - 32;
            bool hole = dx * dx + dy * dy > 30 * 30;
            uint32_t value = hole ? 0 : 0x01020304u * (x + 3 * y + 1);
            if (kind == kAlpha) value = hole ? 0 : (value & 0xFFFFFF) | (0x80u + x) << 24;
            if (kind == kAlpha && colorType == MEMIMG_COLOR_565)
                value = (value & 0xFFFF) | ((value >> 24) << 16);  // alpha in bits 16-23
            std::memcpy(row + x * bytes, &value, bytes);
        }
    }
    MarkMemImgPixelsChanged(tex);
}

// Arguments: colour type, texture kind, blend mode, blend parameter, transparent flag.
void BM_TexturedQuad64(benchmark::State &state)
{
    int type = static_cast<int>(state.range(0)), kind = static_cast<int>(state.range(1));
    MEMIMG screen, tex;
    CreateBenchScreen(&screen, type);
    MakeBenchTexture(&tex, type, kind);
    SelectBlendMode(static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
    int transparent = static_cast<int>(state.range(4));
    // The quad's corners map to the texture's corners; two triangles share the diagonal.
    const TriangleVertex a[3] = {{100, 100, 0, 0}, {164, 100, 64, 0}, {100, 164, 0, 64}};
    const TriangleVertex b[3] = {{164, 100, 64, 0}, {164, 164, 64, 64}, {100, 164, 0, 64}};
    for (auto _ : state) {
        RasterizeMemImgTriangle(&screen, &tex, a, transparent, nullptr, 0);
        RasterizeMemImgTriangle(&screen, &tex, b, transparent, nullptr, 0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 64 * 64);
    char label[64];
    std::snprintf(label, sizeof label, "%s %s", type ? "8888" : "565", kTextureNames[kind]);
    state.SetLabel(label);
    ReleaseMemImg(&tex);
    ReleaseMemImg(&screen);
}

// Arguments: colour type, triangle size, blend mode, blend parameter.
void BM_FlatTriangle(benchmark::State &state)
{
    int type = static_cast<int>(state.range(0)), size = static_cast<int>(state.range(1));
    MEMIMG screen;
    CreateBenchScreen(&screen, type);
    SelectBlendMode(static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
    const TriangleVertex t[3] = {{10, 10, 0, 0}, {10 + size, 10, 0, 0}, {10, 10 + size, 0, 0}};
    for (auto _ : state) {
        RasterizeMemImgTriangle(&screen, nullptr, t, 0, nullptr, type ? 0x336699u : 0x34D3u);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * size * (size + 3) / 2);
    state.SetLabel(type ? "8888" : "565");
    ReleaseMemImg(&screen);
}

void TexturedQuadArgs(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"type", "tex", "mode", "p", "key"});
    for (int type = 0; type < 2; ++type) {
        for (int kind : {kPalette, kDirect}) {
            b->Args({type, kind, 0, 255, 0});
            b->Args({type, kind, 0, 255, 1});
            b->Args({type, kind, 1, 128, 1});
            b->Args({type, kind, 2, 255, 1});
        }
        b->Args({type, kAlpha, 0, 255, 1});
        b->Args({type, kAlpha, 1, 128, 0});
    }
}

void FlatTriangleArgs(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"type", "size", "mode", "p"});
    for (int type = 0; type < 2; ++type)
        for (int size : {64, 400}) {
            b->Args({type, size, 0, 255});
            b->Args({type, size, 1, 128});
            b->Args({type, size, 2, 128});
        }
}

BENCHMARK(BM_TexturedQuad64)->Apply(TexturedQuadArgs);
BENCHMARK(BM_FlatTriangle)->Apply(FlatTriangleArgs);

}  // namespace

BENCHMARK_MAIN();
