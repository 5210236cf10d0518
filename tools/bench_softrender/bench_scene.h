// The software renderer's benchmark: 640 x 480 screens of both colour types per back end (ours,
// pixman, SDL2's software blitter and renderer), the same pictures in each back end's own format,
// and the operations every back end runs with the same pixel counts and call counts.
#pragma once
#include <SDL2/SDL.h>
#include <pixman.h>

#include <cstdint>
#include <vector>

#include "lib/graphics/memimg.h"

constexpr int kScreenW = 640;
constexpr int kScreenH = 480;

// The micro blits, each at 32 x 32 and 256 x 256 on both colour types: a keyed piece of a sheet,
// that piece clipped by one pixel row at the screen's bottom, to its lower half at the top, to its
// upper half at the bottom (a 32 x 32 tile at y = 464) and to its right half on the left, an
// unkeyed picture in alpha at 100 and 128, add, subtract and multiply at 200, and copied.
enum BlitWork {
    BLIT_SHEET_PIECE, BLIT_CLIP_ONE, BLIT_CLIP_HALF, BLIT_CLIP_BOTTOM, BLIT_CLIP_LEFT, BLIT_ALPHA100, BLIT_ALPHA128,
    BLIT_ADD200, BLIT_SUB200, BLIT_MUL200, BLIT_COPY, BLIT_WORK_COUNT
};
constexpr bool IsKeyedBlitWork(BlitWork w) { return w <= BLIT_CLIP_LEFT; }
constexpr int kBlitCaseCount = BLIT_WORK_COUNT * 2 * 2;
constexpr int kKeyedPiece = 6;  // piece (2, 1) of the micro blits' 4 x 2 sheets: not at the store's corner

// Every operation measured. The plain x4 stretches draw a 160 x 120 picture over the whole screen
// of each colour type. The frames are the game's: the clear, the 15 x 13 floor field at
// (80, 80) with its bottom row cut by the screen, 150 keyed sprites from sheet pieces (some cut at
// the field's bottom edge), the HUD band at the top; world 2 adds the tint below the band, dark
// the darkness and four light discs. The micro blits follow OP_BLITS.
enum BenchOp {
    OP_FILL32_M0, OP_FILL32_M1, OP_FILL32_M2, OP_FILL32_M4, OP_FILL32_M11,
    OP_FILL390_M0, OP_FILL390_M1, OP_FILL390_M2, OP_FILL390_M4, OP_FILL390_M11,
    OP_STRETCH_X3_KEYED, OP_STRETCH_HALF_KEYED, OP_STRETCH_X4_565, OP_STRETCH_X4_8888,
    OP_CIRCLE16_M0, OP_CIRCLE16_M2, OP_CIRCLE96_M0, OP_CIRCLE96_M2,
    OP_FRAME_NORMAL, OP_FRAME_WORLD2, OP_FRAME_DARK,
    OP_SCREEN_MEMCPY,
    OP_BLITS,
    OP_COUNT = OP_BLITS + kBlitCaseCount
};

// One micro blit: what, edge length (32 or 256), colour type, and where on the screen.
struct BlitCase {
    BlitWork work;
    int size, type;
    int x, y;
};
BlitCase GetBlitCase(BenchOp op);  // op from OP_BLITS on

// A fill of the micro benchmarks: rectangle, blend mode and parameter, colour 0xRRGGBB.
struct BenchFill {
    int x, y, w, h;
    int mode, param;
    uint32_t rgb;
};

// The frames' boxes and the dark frame's light discs (circles: centre x, y and radius in w).
inline constexpr BenchFill kClearBox = {0, 0, 640, 480, 0, 255, 0x000000};
inline constexpr BenchFill kHudBand = {0, 0, 640, 90, 0, 255, 0x000000};
inline constexpr BenchFill kWorld2Tint = {0, 90, 640, 390, 1, 128, 0x0096FA};
inline constexpr BenchFill kDarkness = {0, 90, 640, 390, 11, 255, 0x232323};
inline constexpr BenchFill kLightDiscs[4] = {{120, 210, 96, 0, 2, 128, 0xFFFFC8}, {260, 300, 96, 0, 2, 128, 0xFFFFC8},
                                             {400, 220, 96, 0, 2, 128, 0xFFFFC8}, {540, 380, 96, 0, 2, 128, 0xFFFFC8}};

// A keyed sprite in our format (key 0), and the same pixels for the other back ends: a8r8g8b8 with
// alpha 0 where the key is, and a surface with the colour key and RLE on.
struct BenchSprite {
    MEMIMG ours;
    std::vector<uint32_t> argb;
    pixman_image_t *pixman;
    SDL_Surface *sdl;
    int w, h;
};

// A sheet of pieces across x down, each pieces of size x size: our store and a view of every
// piece; pixman's whole sheet (a8r8g8b8 with alpha 0 at keys, or the screen's format when opaque);
// SDL2 one keyed RLE surface per piece, which is its fastest form.
struct BenchSheet {
    MEMIMG ours;
    std::vector<MEMIMG> pieces;
    std::vector<uint32_t> argb;
    std::vector<uint8_t> direct;  // the screen's format, for an opaque sheet
    pixman_image_t *pixman;
    std::vector<SDL_Surface *> sdl;
    int size, across;
};

// An unkeyed picture of one size and colour type: ours, pixman's in the screen's format, and one
// SDL2 surface per setting over the same pixels (so no setting changes between blits).
enum { SDL_AS_COPY, SDL_AS_ALPHA100, SDL_AS_ALPHA128, SDL_AS_ADD200, SDL_AS_MUL, SDL_AS_COUNT };
struct BenchPicture {
    MEMIMG ours;
    std::vector<uint8_t> pixels;
    pixman_image_t *pixman;
    SDL_Surface *sdl[SDL_AS_COUNT];
};

// One colour type's screens.
struct BenchScreens {
    MEMIMG ours;
    std::vector<uint8_t> pixman, sdl, background;
    pixman_image_t *pixmanScreen;
    SDL_Surface *sdlScreen;
};

struct BenchScene {
    BenchScreens screens[2];           // by colour type
    SDL_Renderer *sdlRenderer;         // software renderer on the 16-bit SDL2 screen, for blended fills
    std::vector<uint8_t> memcpySource;
    BenchSprite sprite256, mech32;     // the scaled blits' sprites
    BenchSheet floor, sprites;         // the frames' sheets (16 bits)
    BenchSheet keyed[2][2];            // [type][size 32, 256]: the micro blits' sheets, 4 x 2 pieces
    BenchPicture pictures[2][2];       // [type][size]
    BenchPicture quarter[2];           // [type]: 160 x 120, for the x4 stretches
    int tileX[195], tileY[195], tilePiece[195];
    int spriteX[150], spriteY[150], spritePiece[150];
};

// The scene, made on first use.
BenchScene &GetBenchScene(void);
// Puts the background on every screen.
void ResetBenchScreens(BenchScene &s);
// The colour type an operation draws on.
int GetBenchOpType(BenchOp op);

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

// Largest difference of any colour field between two screens of the colour type (packed rows).
int MaxFieldDifference(int type, const uint8_t *a, int pitchA, const uint8_t *b, int pitchB);
