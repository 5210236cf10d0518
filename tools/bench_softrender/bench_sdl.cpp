// SDL2's side: SDL_FillRect(s) for copies of a colour, the software renderer's blended fills (BLEND,
// ADD, MOD) for the other modes, RLE colour-key blits and SDL_BlitScaled (nearest).
#include <SDL2/SDL.h>

#include <vector>

#include "tools/bench_softrender/bench_scene.h"

namespace {

void SdlFill(BenchScene &s, const BenchFill &f, const SDL_Rect *rects, int count) {
    uint8_t c[3];
    WidenScreenColour(f.rgb, c);
    if (f.mode == 0) {
        SDL_FillRects(s.sdlScreen, rects, count, SDL_MapRGB(s.sdlScreen->format, c[0], c[1], c[2]));
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

void SdlBlit(BenchScene &s, SDL_Surface *src, int x, int y, int w, int h, bool scaled) {
    SDL_Rect r = {x, y, w, h};  // the blit rewrites it
    if (scaled)
        SDL_BlitScaled(src, nullptr, s.sdlScreen, &r);
    else
        SDL_BlitSurface(src, nullptr, s.sdlScreen, &r);
}

}  // namespace

int RunSdl(BenchScene &s, BenchOp op) {
    switch (op) {
    case OP_KEYED32: SdlBlit(s, s.sprite32.sdl, 300, 200, 32, 32, false); return 1;
    case OP_KEYED256: SdlBlit(s, s.sprite256.sdl, 200, 100, 256, 256, false); return 1;
    case OP_STRETCH_X3_KEYED: SdlBlit(s, s.mech32.sdl, 272, 192, 96, 96, true); return 1;
    case OP_STRETCH_HALF_KEYED: SdlBlit(s, s.sprite256.sdl, 200, 100, 128, 128, true); return 1;
    case OP_CIRCLE16_M0: case OP_CIRCLE16_M2: case OP_CIRCLE96_M0: case OP_CIRCLE96_M2:
        SdlDisc(s, GetBenchFill(op));
        return 1;
    case OP_FRAME_NORMAL: case OP_FRAME_WORLD2: case OP_FRAME_DARK:
        SdlBox(s, kClearBox);
        for (int i = 0; i < 195; ++i) SdlBlit(s, s.tile32.sdl, s.tileX[i], s.tileY[i], 32, 32, false);
        for (int i = 0; i < 150; ++i) SdlBlit(s, s.sprite32.sdl, s.spriteX[i], s.spriteY[i], 32, 32, false);
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
