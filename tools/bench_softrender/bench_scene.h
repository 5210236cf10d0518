// The software renderer's benchmark: one 640 x 480 R5G6B5 screen per back end (ours, pixman, SDL2's
// software blitter and renderer), the same sprites in each back end's own format, and the operations
// every back end runs with the same pixel counts and call counts.
#pragma once
#include <SDL2/SDL.h>
#include <pixman.h>

#include <cstdint>
#include <vector>

#include "lib/graphics/memimg.h"

constexpr int kScreenW = 640;
constexpr int kScreenH = 480;

// Every operation measured. The frames are the game's: clear, 195 floor tiles, 150 keyed sprites
// and the HUD band; world 2 adds the 640 x 390 tint; dark adds the darkness and four light discs.
enum BenchOp {
    OP_FILL32_M0, OP_FILL32_M1, OP_FILL32_M2, OP_FILL32_M4, OP_FILL32_M11,
    OP_FILL390_M0, OP_FILL390_M1, OP_FILL390_M2, OP_FILL390_M4, OP_FILL390_M11,
    OP_KEYED32, OP_KEYED256,
    OP_STRETCH_X3_KEYED, OP_STRETCH_HALF_KEYED,
    OP_CIRCLE16_M0, OP_CIRCLE16_M2, OP_CIRCLE96_M0, OP_CIRCLE96_M2,
    OP_FRAME_NORMAL, OP_FRAME_WORLD2, OP_FRAME_DARK,
    OP_SCREEN_MEMCPY,
    OP_COUNT
};

// A fill of the micro benchmarks: rectangle, blend mode and parameter, colour 0xRRGGBB.
struct BenchFill {
    int x, y, w, h;
    int mode, param;
    uint32_t rgb;
};

// The frames' boxes and the dark frame's light discs (circles: centre x, y and radius in w).
inline constexpr BenchFill kClearBox = {0, 0, 640, 480, 0, 255, 0x000000};
inline constexpr BenchFill kHudBand = {0, 390, 640, 90, 0, 255, 0x000080};
inline constexpr BenchFill kWorld2Tint = {0, 0, 640, 390, 1, 128, 0x0096FA};
inline constexpr BenchFill kDarkness = {0, 0, 640, 390, 11, 255, 0x232323};
inline constexpr BenchFill kLightDiscs[4] = {{120, 110, 96, 0, 2, 128, 0xFFFFC8}, {260, 300, 96, 0, 2, 128, 0xFFFFC8},
                                             {400, 120, 96, 0, 2, 128, 0xFFFFC8}, {540, 280, 96, 0, 2, 128, 0xFFFFC8}};

// A keyed sprite in our format (key 0), and the same pixels for the other back ends: a8r8g8b8 with
// alpha 0 where the key is, and an RGB565 surface with the colour key and RLE on.
struct BenchSprite {
    MEMIMG ours;
    std::vector<uint32_t> argb;
    pixman_image_t *pixman;
    SDL_Surface *sdl;
    int w, h;
};

struct BenchScene {
    MEMIMG screen;                     // ours
    std::vector<uint16_t> pixmanPixels;
    pixman_image_t *pixmanScreen;
    std::vector<uint16_t> sdlPixels;
    SDL_Surface *sdlScreen;
    SDL_Renderer *sdlRenderer;         // software renderer on sdlScreen, for blended fills
    std::vector<uint16_t> background;  // what every screen starts from
    std::vector<uint16_t> memcpySource;
    BenchSprite sprite32, tile32, sprite256, mech32;
    int tileX[195], tileY[195];        // frame positions
    int spriteX[150], spriteY[150];
};

// The scene, made on first use.
BenchScene &GetBenchScene(void);
// Puts the background on all three screens.
void ResetBenchScreens(BenchScene &s);

// The fill or circle of a micro operation (circles: centre x, y and radius in w).
BenchFill GetBenchFill(BenchOp op);
// Row spans of a filled disc (x, y, width), as our disc covers them, for the other back ends.
struct BenchSpan {
    int x, y, w;
};
const std::vector<BenchSpan> &GetDiscSpans(int x0, int y0, int r);

// One operation on one back end. 0 when the back end has no equivalent.
int RunOurs(BenchScene &s, BenchOp op);
int RunPixman(BenchScene &s, BenchOp op);
int RunSdl(BenchScene &s, BenchOp op);

// Our colour as the screen holds it (R5G6B5), widened to bytes red, green, blue by bit replication,
// so that narrowing them again gives the same pixel.
void WidenScreenColour(uint32_t rgb, uint8_t c[3]);

// Largest difference of any 5- or 6-bit field between two R5G6B5 screens.
int MaxFieldDifference(const uint16_t *a, int pitchA, const uint16_t *b, int pitchB);
