// SDL2's side: SDL_FillRect(s) for copies of a colour, the software renderer's blended fills (BLEND,
// ADD, MOD) for the other modes, RLE colour-key blits of a surface per sheet piece (its fastest
// form), unkeyed surfaces with their blend mode and alpha modulation set once, and SDL_BlitScaled
// (nearest).
#include <SDL2/SDL.h>

#include <vector>

#include "tools/bench_softrender/bench_scene.h"

namespace {

void SdlFill(BenchScene &s, const BenchFill &f, const SDL_Rect *rects, int count) {
    uint8_t c[3];
    WidenScreenColour(f.rgb, c);
    SDL_Surface *screen = s.screens[0].sdlScreen;
    if (f.mode == 0) {
        SDL_FillRects(screen, rects, count, SDL_MapRGB(screen->format, c[0], c[1], c[2]));
        return;
    }
    SDL_BlendMode bm = f.mode == 1 ? SDL_BLENDMODE_BLEND : f.mode == 2 ? SDL_BLENDMODE_ADD : SDL_BLENDMODE_MOD;
    SDL_SetRenderDrawBlendMode(s.sdlRenderer, bm);
    SDL_SetRenderDrawColor(s.sdlRenderer, c[0], c[1], c[2], (uint8_t)(f.mode == 4 ? 255 : f.param));
    SDL_RenderFillRects(s.sdlRenderer, rects, count);
    SDL_RenderFlush(s.sdlRenderer);
}

void SdlBox(BenchScene &s, const BenchFill &f) {
    SDL_Rect r = {f.x, f.y, f.w, f.h};
    SdlFill(s, f, &r, 1);
}

void SdlDisc(BenchScene &s, const BenchFill &f) {
    static std::vector<SDL_Rect> rects;
    rects.clear();
    for (const BenchSpan &sp : GetDiscSpans(f.x, f.y, f.w)) rects.push_back({sp.x, sp.y, sp.w, 1});
    SdlFill(s, f, rects.data(), (int)rects.size());
}

void SdlBlit(SDL_Surface *screen, SDL_Surface *src, int x, int y, int w, int h, bool scaled) {
    SDL_Rect r = {x, y, w, h};  // the blit rewrites it
    if (scaled)
        SDL_BlitScaled(src, nullptr, screen, &r);
    else
        SDL_BlitSurface(src, nullptr, screen, &r);
}

// The micro blits; SDL2 has no subtract.
int SdlMicroBlit(BenchScene &s, const BlitCase &b) {
    static const int kSurface[BLIT_WORK_COUNT] = {-1, -1, -1, -1, -1, SDL_AS_ALPHA100, SDL_AS_ALPHA128,
                                                  SDL_AS_ADD200, -2, SDL_AS_MUL, SDL_AS_COPY};
    const int i = b.size == 256, pick = kSurface[b.work];
    if (pick == -2) return 0;
    SDL_Surface *src = pick < 0 ? s.keyed[b.type][i].sdl[kKeyedPiece] : s.pictures[b.type][i].sdl[pick];
    SdlBlit(s.screens[b.type].sdlScreen, src, b.x, b.y, b.size, b.size, false);
    return 1;
}

}  // namespace

int RunSdl(BenchScene &s, BenchOp op) {
    SDL_Surface *screen = s.screens[0].sdlScreen;
    if (op >= OP_BLITS) return SdlMicroBlit(s, GetBlitCase(op));
    switch (op) {
    case OP_STRETCH_X3_KEYED: SdlBlit(screen, s.mech32.sdl, 272, 192, 96, 96, true); return 1;
    case OP_STRETCH_HALF_KEYED: SdlBlit(screen, s.sprite256.sdl, 200, 100, 128, 128, true); return 1;
    case OP_STRETCH_X4_565: case OP_STRETCH_X4_8888: {
        const int type = GetBenchOpType(op);
        SdlBlit(s.screens[type].sdlScreen, s.quarter[type].sdl[SDL_AS_COPY], 0, 0, kScreenW, kScreenH, true);
        return 1;
    }
    case OP_CIRCLE16_M0: case OP_CIRCLE16_M2: case OP_CIRCLE96_M0: case OP_CIRCLE96_M2:
        SdlDisc(s, GetBenchFill(op));
        return 1;
    case OP_FRAME_NORMAL: case OP_FRAME_WORLD2: case OP_FRAME_DARK:
        SdlBox(s, kClearBox);
        for (int i = 0; i < 195; ++i) SdlBlit(screen, s.floor.sdl[s.tilePiece[i]], s.tileX[i], s.tileY[i], 32, 32, false);
        for (int i = 0; i < 150; ++i)
            SdlBlit(screen, s.sprites.sdl[s.spritePiece[i]], s.spriteX[i], s.spriteY[i], 32, 32, false);
        SdlBox(s, kHudBand);
        if (op == OP_FRAME_WORLD2) SdlBox(s, kWorld2Tint);
        if (op == OP_FRAME_DARK) {
            SdlBox(s, kDarkness);
            for (const BenchFill &disc : kLightDiscs) SdlDisc(s, disc);
        }
        return 1;
    case OP_SCREEN_MEMCPY: return 0;
    default: SdlBox(s, GetBenchFill(op)); return 1;
    }
}
