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

int BytesPerPixel(int type) { return type == 0 ? 2 : 4; }
uint32_t SdlFormat(int type) { return type == 0 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888; }
pixman_format_code_t PixmanFormat(int type) { return type == 0 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8; }

// A random pixel of the type that is never the key 0.
uint32_t RandomPixel(std::mt19937 &rng, int type) { return type == 0 ? (rng() & 0xFFFF) | 1 : (rng() & 0xFFFFFF) | 1; }

// The pixel as opaque a8r8g8b8; a 565 pixel widened by bit replication, so that narrowing it
// again gives it back.
uint32_t ToArgb(int type, uint32_t p) {
    if (type == 1) return 0xFF000000u | p;
    uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    return 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

void PutPixel(uint8_t *row, int x, int type, uint32_t p) { memcpy(row + x * BytesPerPixel(type), &p, BytesPerPixel(type)); }

// Random colours; where round is set, the corners of each piece outside a disc are the key (about
// 30 % of it).
void MakeSheet(BenchSheet *sh, int type, int size, int across, int down, bool round, uint32_t seed) {
    std::mt19937 rng(seed);
    const int w = size * across, h = size * down, bpp = BytesPerPixel(type);
    sh->size = size;
    sh->across = across;
    CreateMemImg(&sh->ours, w, h, type, 0, 0, 0);
    sh->argb.assign((size_t)w * h, 0);
    sh->direct.assign((size_t)w * h * bpp, 0);
    const double c = (size - 1) / 2.0, rad = size * 15.0 / 32.0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = x % size - c, dy = y % size - c;
            const bool keyed = round && dx * dx + dy * dy > rad * rad;
            const uint32_t p = keyed ? 0 : RandomPixel(rng, type);
            PutPixel(GetMemImgRow(&sh->ours, y), x, type, p);
            PutPixel(sh->direct.data() + (size_t)y * w * bpp, x, type, p);
            sh->argb[(size_t)y * w + x] = keyed ? 0 : ToArgb(type, p);
        }
    MarkMemImgPixelsChanged(&sh->ours);
    sh->pixman = round ? pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, sh->argb.data(), w * 4)
                       : pixman_image_create_bits(PixmanFormat(type), w, h,
                                                  reinterpret_cast<uint32_t *>(sh->direct.data()), w * bpp);
    for (int i = 0; i < across * down; ++i) {
        const int px = (i % across) * size, py = (i / across) * size;
        MEMIMG piece;
        CreateMemImgSubView(&piece, &sh->ours, px, py, size, size);
        sh->pieces.push_back(piece);
        SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormat(0, size, size, bpp * 8, SdlFormat(type));
        for (int y = 0; y < size; ++y)
            memcpy(static_cast<uint8_t *>(surface->pixels) + y * surface->pitch, GetMemImgRow(&piece, y),
                   (size_t)size * bpp);
        SDL_SetColorKey(surface, SDL_TRUE, 0);
        SDL_SetSurfaceRLE(surface, 1);
        sh->sdl.push_back(surface);
    }
}

// A keyed sprite of its own store for the scaled blits (16 bits).
void MakeSprite(BenchSprite *sp, int size, uint32_t seed) {
    BenchSheet sheet;
    MakeSheet(&sheet, 0, size, 1, 1, true, seed);
    sp->w = sp->h = size;
    sp->ours = sheet.ours;
    sp->argb = sheet.argb;
    sp->pixman = pixman_image_create_bits(PIXMAN_a8r8g8b8, size, size, sp->argb.data(), size * 4);
    sp->sdl = sheet.sdl[0];
    pixman_image_unref(sheet.pixman);
}

// An unkeyed picture and its SDL2 surfaces, one per setting.
void MakePicture(BenchPicture *pic, int type, int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    const int bpp = BytesPerPixel(type);
    CreateMemImg(&pic->ours, w, h, type, 0, 0, 0);
    pic->pixels.assign((size_t)w * h * bpp, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t p = RandomPixel(rng, type);
            PutPixel(GetMemImgRow(&pic->ours, y), x, type, p);
            PutPixel(pic->pixels.data() + (size_t)y * w * bpp, x, type, p);
        }
    MarkMemImgPixelsChanged(&pic->ours);
    pic->pixman = pixman_image_create_bits(PixmanFormat(type), w, h, reinterpret_cast<uint32_t *>(pic->pixels.data()),
                                           w * bpp);
    const struct {
        SDL_BlendMode mode;
        uint8_t alpha;
    } kSettings[SDL_AS_COUNT] = {{SDL_BLENDMODE_NONE, 255}, {SDL_BLENDMODE_BLEND, 100}, {SDL_BLENDMODE_BLEND, 128},
                                 {SDL_BLENDMODE_ADD, 200}, {SDL_BLENDMODE_MOD, 255}};
    for (int i = 0; i < SDL_AS_COUNT; ++i) {
        pic->sdl[i] = SDL_CreateRGBSurfaceWithFormatFrom(pic->pixels.data(), w, h, bpp * 8, w * bpp, SdlFormat(type));
        SDL_SetSurfaceBlendMode(pic->sdl[i], kSettings[i].mode);
        SDL_SetSurfaceAlphaMod(pic->sdl[i], kSettings[i].alpha);
    }
}

void MakeScreens(BenchScreens *sc, int type, uint32_t seed) {
    std::mt19937 rng(seed);
    const int bpp = BytesPerPixel(type);
    CreateBenchScreen(&sc->ours, type);
    sc->background.resize((size_t)kScreenW * kScreenH * bpp);
    for (auto &b : sc->background) b = (uint8_t)rng();
    sc->pixman = sc->background;
    sc->sdl = sc->background;
    sc->pixmanScreen = pixman_image_create_bits(PixmanFormat(type), kScreenW, kScreenH,
                                                reinterpret_cast<uint32_t *>(sc->pixman.data()), kScreenW * bpp);
    sc->sdlScreen = SDL_CreateRGBSurfaceWithFormatFrom(sc->sdl.data(), kScreenW, kScreenH, bpp * 8, kScreenW * bpp,
                                                       SdlFormat(type));
}

static_assert(kScreenW == 640 && kScreenH == 480, "the scene's screen is the benchmarks' common one");

void MakeScene(BenchScene &s) {
    for (int type = 0; type < 2; ++type) {
        MakeScreens(&s.screens[type], type, 15 + type);
        for (int i = 0; i < 2; ++i) {
            MakeSheet(&s.keyed[type][i], type, i ? 256 : 32, 4, 2, true, 20 + 2 * type + i);
            MakePicture(&s.pictures[type][i], type, i ? 256 : 32, i ? 256 : 32, 30 + 2 * type + i);
        }
        MakePicture(&s.quarter[type], type, 160, 120, 40 + type);
    }
    s.memcpySource = s.screens[0].background;
    s.sdlRenderer = SDL_CreateSoftwareRenderer(s.screens[0].sdlScreen);
    MakeSprite(&s.sprite256, 256, 3);
    MakeSprite(&s.mech32, 32, 4);
    MakeSheet(&s.floor, 0, 32, 4, 1, false, 5);
    MakeSheet(&s.sprites, 0, 32, 6, 6, true, 6);
    std::mt19937 rng(15);
    for (int i = 0; i < 195; ++i) {
        s.tileX[i] = 80 + 32 * (i % 15);
        s.tileY[i] = 80 + 32 * (i / 15);  // the last row starts at 464: the screen cuts its lower half
        s.tilePiece[i] = (int)(rng() % 4);
    }
    for (int i = 0; i < 150; ++i) {
        s.spriteX[i] = 80 + (int)(rng() % 449);
        // One in eight walks the field's bottom row, which the screen's edge cuts.
        s.spriteY[i] = i % 8 == 0 ? 448 + (int)(rng() % 17) : 80 + (int)(rng() % 369);
        s.spritePiece[i] = (int)(rng() % 36);
    }
    ResetBenchScreens(s);
}

void FillOurs(BenchScene &s, const BenchFill &f) {
    SelectBlendMode(f.mode, f.param);
    int rect[4] = {f.x, f.y, f.x + f.w, f.y + f.h};
    FillMemImgRect(&s.screens[0].ours, rect, PackMemImgColor(MEMIMG_COLOR_565, f.rgb));
}

void CircleOurs(BenchScene &s, const BenchFill &f) {
    SelectBlendMode(f.mode, f.param);
    RasterizeMemImgCircle(&s.screens[0].ours, f.x, f.y, f.w, PackMemImgColor(MEMIMG_COLOR_565, f.rgb), 1);
}

// The game's frame as the game draws it: every picture keyed (the floor tiles have no keyed texel).
void FrameOurs(BenchScene &s, BenchOp op) {
    MEMIMG *screen = &s.screens[0].ours;
    FillOurs(s, kClearBox);
    for (int i = 0; i < 195; ++i) BlitMemImg(screen, &s.floor.pieces[s.tilePiece[i]], s.tileX[i], s.tileY[i], 1, nullptr);
    for (int i = 0; i < 150; ++i)
        BlitMemImg(screen, &s.sprites.pieces[s.spritePiece[i]], s.spriteX[i], s.spriteY[i], 1, nullptr);
    FillOurs(s, kHudBand);
    if (op == OP_FRAME_WORLD2) FillOurs(s, kWorld2Tint);
    if (op == OP_FRAME_DARK) {
        FillOurs(s, kDarkness);
        for (const BenchFill &disc : kLightDiscs) CircleOurs(s, disc);
    }
    SelectBlendMode(0, 255);
}

void BlitOurs(BenchScene &s, const BlitCase &b) {
    MEMIMG *screen = &s.screens[b.type].ours;
    const int i = b.size == 256;
    static const int kModes[BLIT_WORK_COUNT][2] = {{0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {1, 100},
                                                   {1, 128}, {2, 200}, {3, 200}, {4, 200}, {0, 255}};
    SelectBlendMode(kModes[b.work][0], kModes[b.work][1]);
    if (IsKeyedBlitWork(b.work)) BlitMemImg(screen, &s.keyed[b.type][i].pieces[kKeyedPiece], b.x, b.y, 1, nullptr);
    else BlitMemImg(screen, &s.pictures[b.type][i].ours, b.x, b.y, 0, nullptr);
    SelectBlendMode(0, 255);
}

}  // namespace

BenchScene &GetBenchScene(void) {
    // Never destroyed, so the surfaces and images it lists stay reachable to the end.
    static BenchScene *scene = nullptr;
    if (scene == nullptr) {
        scene = new BenchScene;
        MakeScene(*scene);
    }
    return *scene;
}

void ResetBenchScreens(BenchScene &s) {
    for (BenchScreens &sc : s.screens) {
        const size_t row = sc.background.size() / kScreenH;
        for (int y = 0; y < kScreenH; ++y) memcpy(GetMemImgRow(&sc.ours, y), &sc.background[y * row], row);
        MarkMemImgPixelsChanged(&sc.ours);
        sc.pixman = sc.background;
        sc.sdl = sc.background;
    }
}

int GetBenchOpType(BenchOp op) { return op >= OP_BLITS ? GetBlitCase(op).type : op == OP_STRETCH_X4_8888; }

BlitCase GetBlitCase(BenchOp op) {
    const int i = op - OP_BLITS, size = (i / 2) % 2 ? 256 : 32;
    BlitCase b = {(BlitWork)(i / 4), size, i % 2, size == 32 ? 300 : 200, size == 32 ? 200 : 100};
    if (b.work == BLIT_CLIP_ONE) b.y = kScreenH - size + 1;
    if (b.work == BLIT_CLIP_HALF) b.y = -size / 2;
    if (b.work == BLIT_CLIP_BOTTOM) b.y = kScreenH - size / 2;
    if (b.work == BLIT_CLIP_LEFT) b.x = -size / 2;
    return b;
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
    if (op >= OP_BLITS) {
        BlitOurs(s, GetBlitCase(op));
        return 1;
    }
    if (op >= OP_STRETCH_X3_KEYED && op <= OP_STRETCH_X4_8888) SelectBlendMode(0, 255);
    MEMIMG *screen = &s.screens[0].ours;
    switch (op) {
    case OP_STRETCH_X3_KEYED: {
        int rect[4] = {272, 192, 368, 288};
        BlitMemImgStretched(screen, &s.mech32.ours, rect, 1, nullptr);
        return 1;
    }
    case OP_STRETCH_X4_565: case OP_STRETCH_X4_8888: {
        const int type = GetBenchOpType(op), rect[4] = {0, 0, kScreenW, kScreenH};
        BlitMemImgStretched(&s.screens[type].ours, &s.quarter[type].ours, rect, 0, nullptr);
        return 1;
    }
    case OP_STRETCH_HALF_KEYED: {
        int rect[4] = {200, 100, 328, 228};
        BlitMemImgStretched(screen, &s.sprite256.ours, rect, 1, nullptr);
        return 1;
    }
    case OP_CIRCLE16_M0: case OP_CIRCLE16_M2: case OP_CIRCLE96_M0: case OP_CIRCLE96_M2:
        CircleOurs(s, GetBenchFill(op));
        return 1;
    case OP_FRAME_NORMAL: case OP_FRAME_WORLD2: case OP_FRAME_DARK: FrameOurs(s, op); return 1;
    case OP_SCREEN_MEMCPY:
        memcpy(screen->pixels, s.memcpySource.data(), (size_t)kScreenW * kScreenH * 2);
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

int MaxFieldDifference(int type, const uint8_t *a, int pitchA, const uint8_t *b, int pitchB) {
    const int bpp = BytesPerPixel(type);
    const int shift[2][3] = {{0, 5, 11}, {0, 8, 16}}, mask[2][3] = {{31, 63, 31}, {255, 255, 255}};
    int worst = 0;
    for (int y = 0; y < kScreenH; ++y)
        for (int x = 0; x < kScreenW; ++x) {
            uint32_t p = 0, q = 0;
            memcpy(&p, a + (size_t)y * pitchA + x * bpp, bpp);
            memcpy(&q, b + (size_t)y * pitchB + x * bpp, bpp);
            for (int i = 0; i < 3; ++i) {
                int d = (int)((p >> shift[type][i]) & mask[type][i]) - (int)((q >> shift[type][i]) & mask[type][i]);
                worst = std::max(worst, d < 0 ? -d : d);
            }
        }
    return worst;
}
