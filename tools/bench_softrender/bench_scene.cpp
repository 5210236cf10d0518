// The scene shared by the back ends, and our side of every operation.
#include "tools/bench_softrender/bench_scene.h"

#include <SDL2/SDL.h>
#include <pixman.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

#include "lib/graphics/draw_settings.h"
#include "lib/softrender/blit.h"
#include "lib/softrender/blit_stretched.h"
#include "lib/softrender/circle.h"
#include "lib/softrender/fill_rect.h"
#include "tools/bench_support/bench_screen.h"

namespace {

// A sprite of random colours whose corners (outside a disc) are the key, about 30 % of it when
// round is set; floor tiles are keyed but opaque.
void MakeSprite(BenchSprite *sp, int w, int h, bool round, uint32_t seed) {
    std::mt19937 rng(seed);
    sp->w = w;
    sp->h = h;
    CreateMemImg(&sp->ours, w, h, MEMIMG_COLOR_565, 0, 0, 0);
    sp->argb.assign((size_t)w * h, 0);
    sp->sdl = SDL_CreateRGBSurfaceWithFormat(0, w, h, 16, SDL_PIXELFORMAT_RGB565);
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0, rad = w * 15.0 / 32.0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool keyed = round && (x - cx) * (x - cx) + (y - cy) * (y - cy) > rad * rad;
            uint16_t p = keyed ? 0 : (uint16_t)(rng() | 1);
            memcpy(GetMemImgRow(&sp->ours, y) + 2 * x, &p, 2);
            memcpy(static_cast<uint8_t *>(sp->sdl->pixels) + y * sp->sdl->pitch + 2 * x, &p, 2);
            // 565 widened by bit replication, so that narrowing it again gives p back.
            uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
            sp->argb[(size_t)y * w + x] =
                keyed ? 0 : 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
        }
    MarkMemImgPixelsChanged(&sp->ours);
    sp->pixman = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, sp->argb.data(), w * 4);
    SDL_SetColorKey(sp->sdl, SDL_TRUE, 0);
    SDL_SetSurfaceRLE(sp->sdl, 1);
}

static_assert(kScreenW == 640 && kScreenH == 480, "the scene's screen is the benchmarks' common one");

void MakeScene(BenchScene &s) {
    CreateBenchScreen(&s.screen, MEMIMG_COLOR_565);
    std::mt19937 rng(15);
    s.background.resize((size_t)kScreenW * kScreenH);
    for (auto &p : s.background) p = (uint16_t)rng();
    s.memcpySource = s.background;
    s.pixmanPixels = s.background;
    s.sdlPixels = s.background;
    s.pixmanScreen = pixman_image_create_bits(PIXMAN_r5g6b5, kScreenW, kScreenH,
                                              reinterpret_cast<uint32_t *>(s.pixmanPixels.data()), kScreenW * 2);
    s.sdlScreen = SDL_CreateRGBSurfaceWithFormatFrom(s.sdlPixels.data(), kScreenW, kScreenH, 16, kScreenW * 2,
                                                     SDL_PIXELFORMAT_RGB565);
    s.sdlRenderer = SDL_CreateSoftwareRenderer(s.sdlScreen);
    MakeSprite(&s.sprite32, 32, 32, true, 1);
    MakeSprite(&s.tile32, 32, 32, false, 2);
    MakeSprite(&s.sprite256, 256, 256, true, 3);
    MakeSprite(&s.mech32, 32, 32, true, 4);
    for (int i = 0; i < 195; ++i) {
        s.tileX[i] = 80 + 32 * (i % 15);
        s.tileY[i] = 32 * (i / 15);
    }
    for (int i = 0; i < 150; ++i) {
        s.spriteX[i] = 80 + (int)(rng() % 449);
        s.spriteY[i] = (int)(rng() % 385);
    }
    ResetBenchScreens(s);
}

void FillOurs(BenchScene &s, const BenchFill &f) {
    SelectBlendMode(f.mode, f.param);
    int rect[4] = {f.x, f.y, f.x + f.w, f.y + f.h};
    FillMemImgRect(&s.screen, rect, PackMemImgColor(MEMIMG_COLOR_565, f.rgb));
}

void CircleOurs(BenchScene &s, const BenchFill &f) {
    SelectBlendMode(f.mode, f.param);
    RasterizeMemImgCircle(&s.screen, f.x, f.y, f.w, PackMemImgColor(MEMIMG_COLOR_565, f.rgb), 1);
}

void FrameOurs(BenchScene &s, BenchOp op) {
    FillOurs(s, kClearBox);
    for (int i = 0; i < 195; ++i) BlitMemImg(&s.screen, &s.tile32.ours, s.tileX[i], s.tileY[i], 1, nullptr);
    for (int i = 0; i < 150; ++i) BlitMemImg(&s.screen, &s.sprite32.ours, s.spriteX[i], s.spriteY[i], 1, nullptr);
    FillOurs(s, kHudBand);
    if (op == OP_FRAME_WORLD2) FillOurs(s, kWorld2Tint);
    if (op == OP_FRAME_DARK) {
        FillOurs(s, kDarkness);
        for (const BenchFill &disc : kLightDiscs) CircleOurs(s, disc);
    }
    SelectBlendMode(0, 255);
}

}  // namespace

BenchScene &GetBenchScene(void) {
    static BenchScene scene;
    static bool made = false;
    if (!made) {
        MakeScene(scene);
        made = true;
    }
    return scene;
}

void ResetBenchScreens(BenchScene &s) {
    for (int y = 0; y < kScreenH; ++y)
        memcpy(GetMemImgRow(&s.screen, y), &s.background[(size_t)y * kScreenW], kScreenW * 2);
    MarkMemImgPixelsChanged(&s.screen);
    s.pixmanPixels = s.background;
    s.sdlPixels = s.background;
}

BenchFill GetBenchFill(BenchOp op) {
    const int small = op < OP_FILL390_M0;
    const int x = small ? 100 : 0, y = small ? 100 : 0, w = small ? 32 : 640, h = small ? 32 : 390;
    switch (op) {
    case OP_FILL32_M0: case OP_FILL390_M0: return {x, y, w, h, 0, 255, 0x000080};
    case OP_FILL32_M1: case OP_FILL390_M1: return {x, y, w, h, 1, 128, 0x0096FA};
    case OP_FILL32_M2: case OP_FILL390_M2: return {x, y, w, h, 2, 128, 0xFFFFC8};
    case OP_FILL32_M4: case OP_FILL390_M4: return {x, y, w, h, 4, 255, 0xC89664};
    case OP_FILL32_M11: case OP_FILL390_M11: return {x, y, w, h, 11, 255, 0x232323};
    case OP_CIRCLE16_M0: return {320, 240, 16, 0, 0, 255, 0xFFFFFF};
    case OP_CIRCLE16_M2: return {320, 240, 16, 0, 2, 128, 0xFFFFC8};
    case OP_CIRCLE96_M0: return {320, 200, 96, 0, 0, 255, 0xFFFFFF};
    case OP_CIRCLE96_M2: return {320, 200, 96, 0, 2, 128, 0xFFFFC8};
    default: return {};
    }
}

// Our disc drawn once on a scratch image; each row's first and last drawn pixel give its span.
const std::vector<BenchSpan> &GetDiscSpans(int x0, int y0, int r) {
    static std::map<std::tuple<int, int, int>, std::vector<BenchSpan>> cache;
    auto found = cache.find({x0, y0, r});
    if (found != cache.end()) return found->second;
    std::vector<BenchSpan> &spans = cache[{x0, y0, r}];
    MEMIMG m;
    const int size = 2 * r + 1;
    CreateMemImg(&m, size, size, MEMIMG_COLOR_8888, 0, 0, 0);
    const DrawSettings saved = GDrawSettings;
    GDrawSettings.drawRegion = {0, 0, size, size};
    GDrawSettings.blendMode = 0;
    RasterizeMemImgCircle(&m, r, r, r, 1, 1);
    for (int y = 0; y < size; ++y) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(GetMemImgRow(&m, y));
        int lo = -1, hi = -1;
        for (int x = 0; x < size; ++x)
            if (row[x]) {
                if (lo < 0) lo = x;
                hi = x;
            }
        if (lo >= 0) spans.push_back({x0 - r + lo, y0 - r + y, hi - lo + 1});
    }
    GDrawSettings = saved;
    ReleaseMemImg(&m);
    return spans;
}

int RunOurs(BenchScene &s, BenchOp op) {
    if (op >= OP_KEYED32 && op <= OP_STRETCH_HALF_KEYED) SelectBlendMode(0, 255);
    switch (op) {
    case OP_KEYED32: BlitMemImg(&s.screen, &s.sprite32.ours, 300, 200, 1, nullptr); return 1;
    case OP_KEYED256: BlitMemImg(&s.screen, &s.sprite256.ours, 200, 100, 1, nullptr); return 1;
    case OP_STRETCH_X3_KEYED: {
        int rect[4] = {272, 192, 368, 288};
        BlitMemImgStretched(&s.screen, &s.mech32.ours, rect, 1, nullptr);
        return 1;
    }
    case OP_STRETCH_HALF_KEYED: {
        int rect[4] = {200, 100, 328, 228};
        BlitMemImgStretched(&s.screen, &s.sprite256.ours, rect, 1, nullptr);
        return 1;
    }
    case OP_CIRCLE16_M0: case OP_CIRCLE16_M2: case OP_CIRCLE96_M0: case OP_CIRCLE96_M2:
        CircleOurs(s, GetBenchFill(op));
        return 1;
    case OP_FRAME_NORMAL: case OP_FRAME_WORLD2: case OP_FRAME_DARK: FrameOurs(s, op); return 1;
    case OP_SCREEN_MEMCPY:
        memcpy(s.screen.pixels, s.memcpySource.data(), (size_t)kScreenW * kScreenH * 2);
        return 1;
    default: FillOurs(s, GetBenchFill(op)); return 1;
    }
}

void WidenScreenColour(uint32_t rgb, uint8_t c[3]) {
    uint32_t p = PackMemImgColor(MEMIMG_COLOR_565, rgb);
    uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    c[0] = (uint8_t)(r << 3 | r >> 2);
    c[1] = (uint8_t)(g << 2 | g >> 4);
    c[2] = (uint8_t)(b << 3 | b >> 2);
}

int MaxFieldDifference(const uint16_t *a, int pitchA, const uint16_t *b, int pitchB) {
    int worst = 0;
    for (int y = 0; y < kScreenH; ++y)
        for (int x = 0; x < kScreenW; ++x) {
            uint32_t p = a[(size_t)y * pitchA + x], q = b[(size_t)y * pitchB + x];
            const int shift[3] = {0, 5, 11}, mask[3] = {31, 63, 31};
            for (int i = 0; i < 3; ++i) {
                int d = (int)((p >> shift[i]) & mask[i]) - (int)((q >> shift[i]) & mask[i]);
                worst = std::max(worst, d < 0 ? -d : d);
            }
        }
    return worst;
}
