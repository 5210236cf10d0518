// The same scenes through the public draw calls in software rendering mode and on the Direct3D route,
// read back before the present and compared per pixel and per 5/6-bit field: bit for bit where both
// routes draw the same pixels, within one step per field where they blend in different arithmetic
// (two in modes 2 and 3). Where the routes differ by design the device is held instead to a reference
// computed here from its own arithmetic (blend factors per pixel over the known ground and texels,
// nearest or bilinear texels at pixel centres), within one step per field. Outside a scene's draw
// region any difference fails. Needs OpenGL (SDL's "offscreen" driver): under "dummy" the scenes skip.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "lib/font/font.h"
#include "lib/graphics/capture.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "tests/graphics/draw_fixture.h"
#include "tests/support/screen_readback.h"
#include "tools/demo/demo_scene.h"
#include "tools/demo/png_out.h"

namespace {

// How the two routes' pictures of a scene must compare.
enum Agreement {
    IDENTICAL,  // bit for bit
    NEAR,       // every field within one step
    NEAR_TWO,   // within two steps: software's packed add and subtract drop a low bit on top of the
                // source it scaled down, where the device adds exactly
    COVERAGE,   // the same pixels drawn (against the cleared black), colours within one step where both draw fully
    BOUNDED,    // within the scene's steps (why says why), and the device within a step of its reference
    OWN,        // software draws it otherwise by design (why): only the device's reference holds
};

struct SceneGraphs {
    int frames[DEMO_FRAME_COUNT];
    int wide[2];     // 640 x 48 and 700 x 40 patterns: two and three texture pieces
    int alphaImage;  // 32 x 32 with an alpha ramp
    int blendWipe;   // 32 x 32 blend graph: a diagonal alpha wipe in 16 levels
    int blendRows;   // 64 x 32 blend graph: 16 levels down its rows, two rows each
};

// What the scenes draw over and from, read on the software route: the ramp every blend lands on (drawn
// bit for bit alike on both routes) and frames 4 to 15 unkeyed, where they lie on the sprite sheet.
struct Sources {
    std::vector<uint16_t> ground, frames;
};
struct Reference;

struct CrossScene {
    const char *name;
    Agreement agreement;
    Rect region;  // where the scene draws; outside it the routes must agree exactly
    void (*draw)(const SceneGraphs &g);
    void (*reference)(const Sources &s, Reference *ref);  // the device's own picture, or null
    int steps;        // BOUNDED: the largest field difference allowed against software
    const char *why;  // how the routes differ (BOUNDED, OWN)
};

uint32_t Rgb(int r, int g, int b) { return PackScreenColor(r, g, b); }

// The ground most scenes draw on: 20 x 20 boxes whose colours step through every field value, so blends
// meet many destination values.
void DrawRamp(void)
{
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 32; x++)
            PaintFilledBox(x * 20, y * 20, x * 20 + 20, y * 20 + 20, Rgb(x * 8 + 4, y * 11, (x * 5 + y * 7) & 0xFF));
}

// A row of keyed sprites from frame first on, one every 36 pixels.
void DrawSpriteRow(const SceneGraphs &g, int first, int count, int x, int y)
{
    for (int i = 0; i < count; i++) PutGraph(x + i * 36, y, g.frames[4 + (first + i) % 36], 1);
}

// ---- bit for bit ------------------------------------------------------------------------------------
void SceneErase(const SceneGraphs &)
{
    SetBackgroundColor(48, 96, 160);
    EraseDrawTarget();
    SetDrawRegion(100, 120, 300, 220);
    SetBackgroundColor(200, 30, 30);
    EraseDrawTarget();
    SetDrawRegion(0, 0, 640, 480);
    SetBackgroundColor(0, 0, 0);
}

void SceneBoxes(const SceneGraphs &)
{
    DrawRamp();
    PaintFilledBox(10, 10, 20, 20, Rgb(255, 255, 255));
    PaintFilledBox(60, 40, 30, 30, Rgb(255, 0, 0));      // corners reversed
    PaintFilledBox(70, 50, 90, 30, Rgb(0, 255, 0));      // half reversed
    PaintFilledBox(-20, 300, 15, 330, Rgb(0, 0, 255));   // off the left edge
    PaintFilledBox(620, 460, 700, 520, Rgb(255, 255, 0));
    PaintFilledBox(200, 200, 200, 260, Rgb(255, 0, 255));  // no width
    PaintFilledBox(300, 300, 301, 301, Rgb(10, 20, 30));   // one pixel
    SetDrawRegion(0, 0, 640, 90);                          // the HUD band clips
    PaintFilledBox(100, 60, 200, 140, Rgb(0, 0, 0));
    PaintFilledBox(-5, -5, 645, 8, Rgb(90, 180, 45));
    SetDrawRegion(0, 0, 640, 480);
}

void SceneOutlines(const SceneGraphs &)
{
    DrawRamp();
    const int boxes[][4] = {{10, 10, 12, 12}, {20, 10, 23, 15}, {40, 10, 50, 20}, {60, 10, 160, 60},
                            {-10, 200, 30, 240}, {600, 440, 660, 500}};
    int i = 0;
    for (const auto &b : boxes) PaintBoxOutline(b[0], b[1], b[2], b[3], Rgb(255 - i * 30, i * 35, 128)), i++;
    SetDrawRegion(100, 100, 300, 300);
    PaintBoxOutline(90, 150, 200, 320, Rgb(255, 255, 255));
    SetDrawRegion(0, 0, 640, 480);
}

void SceneCircles(const SceneGraphs &)
{
    DrawRamp();
    const int radii[] = {0, 1, 2, 3, 7, 16, 40};
    int x = 20;
    for (int r : radii) {
        PaintCircle(x, 60, r, Rgb(255, 255, 255), 1);
        PaintCircle(x, 160, r, Rgb(255, 40, 40), 0);
        x += 2 * r + 12;
    }
    PaintCircle(320, 320, 96, Rgb(40, 40, 255), 1);
    PaintCircle(-10, 400, 30, Rgb(0, 255, 0), 1);  // across the left edge
    PaintCircle(500, -5, 20, Rgb(0, 255, 0), 0);   // across the top
    SetDrawRegion(0, 0, 400, 300);                 // discs reaching the region's last column
    PaintCircle(390, 250, 20, Rgb(255, 255, 0), 1);
    PaintCircle(399, 200, 5, Rgb(255, 255, 0), 1);
    SetDrawRegion(0, 0, 640, 480);
    PaintCircle(635, 420, 16, Rgb(255, 128, 0), 1);  // the screen's last column
}

void SceneSprites(const SceneGraphs &g)
{
    DrawRamp();
    for (int row = 0; row < 3; row++) DrawSpriteRow(g, row * 12, 12, 50 + row * 5, 100 + row * 40);
    PutGraph(-12, 300, g.frames[5], 1);
    PutGraph(625, 300, g.frames[6], 1);
    PutGraph(300, -20, g.frames[7], 1);
    PutGraph(300, 465, g.frames[8], 1);
    PutGraph(400, 300, g.frames[9], 0);  // not keyed
    SetDrawRegion(0, 0, 640, 90);
    PutGraph(100, 70, g.frames[10], 1);
    SetDrawRegion(0, 0, 640, 480);
}

void SceneStretched(const SceneGraphs &g)
{
    DrawRamp();
    PutGraphStretched(20, 20, 84, 84, g.frames[9], 1);      // x2
    PutGraphStretched(100, 20, 196, 116, g.frames[10], 1);  // x3, the core mech's size
    PutGraphStretched(250, 52, 218, 20, g.frames[11], 1);   // mirrored both ways
    PutGraphStretched(300, 20, 268, 52, g.frames[12], 1);   // mirrored left to right
    PutGraphStretched(320, 52, 352, 20, g.frames[13], 1);   // upside down
    PutGraphStretched(440, 20, 376, 84, g.frames[14], 1);   // x2 mirrored
    PutGraphStretched(-40, 300, 56, 396, g.frames[15], 1);  // x3 across the edge
}

void SceneWideImages(const SceneGraphs &g)
{
    DrawRamp();
    PutGraph(0, 20, g.wide[0], 0);
    PutGraph(-37, 80, g.wide[0], 1);
    PutGraph(-30, 140, g.wide[1], 0);
    PutGraphStretched(0, 200, 640, 296, g.wide[0], 0);         // x2 down only
    PutGraphStretched(640, 310, 0, 358, g.wide[0], 1);         // mirrored
    int straddling = DeriveGraph(480, 4, 64, 40, g.wide[0]);  // across the 512 seam
    PutGraph(100, 400, straddling, 0);
    RemoveGraph(straddling, 0);
}

void SceneCapture(const SceneGraphs &g)
{
    DrawRamp();
    DrawSpriteRow(g, 0, 6, 10, 10);
    int copy = MakeBlankGraph(220, 60, 0);
    CaptureDrawTargetToGraph(0, 0, 220, 60, copy, 0);
    PutGraph(300, 300, copy, 0);
    PutGraph(300, 400, copy, 1);
    RemoveGraph(copy, 0);
}

// ---- within one step per field ----------------------------------------------------------------------
// The ramp, boxes in mode at each parameter (a coloured one, a white one below it), and a row of
// sprites in mode at spriteParam (none when it is negative). Nothing is blended twice: only a single
// blend over exact pixels is bound to stay within a step, as the routes round in different places.
void DrawBlendScene(const SceneGraphs &g, int mode, std::initializer_list<int> params, int spriteParam, int spriteY)
{
    DrawRamp();
    int i = 0;
    for (int param : params) {
        SelectBlendMode(mode, param);
        PaintFilledBox(20 + i * 150, 20, 150 + i * 150, 110, Rgb(60 + i * 60, 250 - i * 70, 40 + i * 50));
        PaintFilledBox(20 + i * 150, 120, 150 + i * 150, 200, Rgb(255, 255, 255));
        i++;
    }
    if (spriteParam >= 0) {
        SelectBlendMode(mode, spriteParam);
        DrawSpriteRow(g, spriteY / 20, 12, 40, spriteY);
    }
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
}

void SceneAlpha(const SceneGraphs &g) { DrawBlendScene(g, MEMIMG_BLEND_ALPHA, {128, 64, 200, 255}, 128, 260); }

void SceneAdd(const SceneGraphs &g)
{
    DrawBlendScene(g, MEMIMG_BLEND_ADD, {100, 255, 30}, 255, 240);  // the sprites as flashes
    SelectBlendMode(MEMIMG_BLEND_ADD, 128);                         // light discs
    PaintCircle(200, 380, 96, Rgb(255, 255, 255), 1);
    PaintCircle(450, 380, 60, Rgb(200, 100, 50), 1);
    for (int r = 0; r < 6; r++) PaintCircle(330 + r * 14, 300, r, Rgb(100, 100, 100), 0);
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
}

void SceneSubtract(const SceneGraphs &g)
{
    DrawBlendScene(g, MEMIMG_BLEND_SUBTRACT, {255, 128, 40}, -1, 0);
    SelectBlendMode(MEMIMG_BLEND_SUBTRACT, 200);
    PaintCircle(200, 350, 80, Rgb(255, 128, 60), 1);
    PaintBoxOutline(350, 260, 600, 460, Rgb(255, 255, 255));
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
}

void SceneInvertAlpha(const SceneGraphs &g) { DrawBlendScene(g, MEMIMG_BLEND_INVERT_ALPHA, {128, 255, 60}, 160, 260); }

void SceneMultiplyAlpha(const SceneGraphs &g)
{
    DrawBlendScene(g, MEMIMG_BLEND_MULTIPLY_ALPHA, {255, 128}, 200, 260);
    SelectBlendMode(MEMIMG_BLEND_MULTIPLY_ALPHA, 255);  // the dark stages' darkness
    PaintFilledBox(0, 340, 640, 480, Rgb(35, 35, 35));
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
}

void SceneBright(const SceneGraphs &g)
{
    DrawRamp();
    for (int i = 0; i < 6; i++) {
        SetDrawBright(255 - i * 40, 128 + i * 20, 64 + i * 30);
        PutGraph(40 + i * 36, 100, g.frames[12 + i], 1);
        PaintFilledBox(40 + i * 36, 150, 70 + i * 36, 200, Rgb(255, 200, 120));
        PaintCircle(56 + i * 36, 240, 12, Rgb(250, 250, 250), 1);
    }
    SetDrawBright(128, 128, 255);  // the blue world's tint
    DrawSpriteRow(g, 0, 12, 40, 300);
    SelectBlendMode(MEMIMG_BLEND_ALPHA, 128);
    PaintFilledBox(300, 80, 600, 260, Rgb(0, 150, 250));
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
    SetDrawBright(255, 255, 255);
}

void SceneText(const SceneGraphs &)
{
    ChangeDefaultFontType(0);
    DrawTextDefaultFont(10, 10, "ハイスコア　123450 残り時間 200", Rgb(255, 255, 255), 0);
    DrawTextDefaultFont(10, 40, "１P、途中参加OK", Rgb(255, 0, 0), 0);
    DrawTextDefaultFont(10, 70, "２P、ちょっと待ってね", Rgb(40, 200, 120), 0);
    ChangeDefaultFontType(FONT_TYPE_EDGE);
    DrawTextDefaultFont(10, 110, "ステージ １ー３", Rgb(255, 255, 255), Rgb(255, 0, 0));
    DrawTextWithFont(600, 10, "縦書き、Ｐ１", Rgb(255, 255, 0), GetDefaultFontHandle(), Rgb(0, 0, 255), 1);
    ChangeDefaultFontSize(48);
    DrawTextDefaultFont(10, 150, "１Pポーズ", Rgb(250, 220, 0), Rgb(0, 0, 255));
    ChangeDefaultFontType(0);
    ChangeDefaultFontSize(16);
    DrawTextWithFont(560, 10, "縦書き", Rgb(255, 255, 255), GetDefaultFontHandle(), 0, 1);
    // Scaled cells: stretched on both routes.
    const Rect region = GDrawSettings.drawRegion;
    DrawTextCore(1, 10, 220, 1, 2.0, 3.0, "拡大 Big", Rgb(0, 255, 255), nullptr, &region, 1, GetDefaultFontHandle(), 0,
                 -1, 0, nullptr);
    const Rect clip = {20, 300, 90, 310};  // cuts through the characters
    DrawTextCore(1, 10, 296, 0, 1.0, 1.0, "クリップ", Rgb(255, 128, 0), nullptr, &clip, 1, GetDefaultFontHandle(), 0, -1,
                 0, nullptr);
}

// ---- different by design: each held to its own reference -----------------------------------------
void SceneOtherModes(const SceneGraphs &g)
{
    DrawRamp();
    for (int mode = 5; mode <= 9; mode++) {
        SelectBlendMode(mode, 128);
        PaintFilledBox(20 + (mode - 5) * 100, 100, 100 + (mode - 5) * 100, 200, Rgb(200, 100, 50));
        PutGraph(40 + (mode - 5) * 100, 220, g.frames[4 + mode], 1);
    }
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
}

void SceneMultiply(const SceneGraphs &g)
{
    DrawRamp();
    SelectBlendMode(MEMIMG_BLEND_MULTIPLY, 255);
    PaintFilledBox(20, 100, 300, 200, Rgb(255, 255, 255));
    PaintFilledBox(320, 100, 600, 200, Rgb(120, 200, 60));
    DrawSpriteRow(g, 0, 12, 40, 240);
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
}

void SceneReduced(const SceneGraphs &g)
{
    DrawRamp();
    PutGraphStretched(20, 100, 36, 116, g.frames[9], 1);    // halved
    PutGraphStretched(60, 100, 108, 148, g.frames[10], 1);  // x1.5
    PutGraphStretched(130, 100, 170, 124, g.frames[11], 1); // 40 x 24
    PutGraphStretched(200, 100, 300, 130, g.frames[12], 1);
}

void SceneBilinear(const SceneGraphs &g)
{
    DrawRamp();
    SelectDrawMode(1);
    PutGraphStretched(20, 100, 84, 164, g.frames[9], 1);
    PutGraphStretched(100, 100, 148, 148, g.frames[10], 1);
    PutGraph(200, 100, g.frames[11], 1);
    SelectDrawMode(0);
}

void SceneAlphaImage(const SceneGraphs &g)
{
    DrawRamp();
    PutGraph(20, 100, g.alphaImage, 1);
    PutGraphStretched(80, 100, 144, 164, g.alphaImage, 1);
    SelectBlendMode(MEMIMG_BLEND_ALPHA, 128);
    PutGraph(160, 100, g.alphaImage, 1);
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
}

void SceneBlendGraph(const SceneGraphs &g)
{
    DrawRamp();
    const int borders[] = {0, 128, 255};
    for (int i = 0; i < 3; i++) {
        SelectBlendGraph(g.blendWipe, borders[i], 64);
        PutGraphStretched(20 + i * 80, 100, 84 + i * 80, 164, g.frames[9 + i], 1);
    }
    // Wider than high: the blend graph's rows must follow its height.
    SelectBlendGraph(g.blendRows, 128, 64);
    PutGraphStretched(260, 100, 324, 164, g.frames[12], 1);
    SelectBlendGraph(-1, 0, 0);
}

void SceneOddOutlines(const SceneGraphs &)
{
    DrawRamp();
    SelectBlendMode(MEMIMG_BLEND_ADD, 255);
    const int boxes[][4] = {{20, 100, 20, 140}, {40, 100, 41, 140}, {60, 100, 100, 100}, {60, 120, 100, 121}, {120, 100, 121, 101}};
    for (const auto &b : boxes) PaintBoxOutline(b[0], b[1], b[2], b[3], Rgb(120, 120, 120));
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
    PaintBoxOutline(200, 140, 150, 100, Rgb(255, 255, 255));  // corners reversed
}

void SceneFreeQuads(const SceneGraphs &g)
{
    DrawRamp();
    PutGraphFreeQuad(40, 100, 72, 100, 72, 132, 40, 132, g.frames[9], 1);  // the square itself
    PutGraphFreeQuad(120, 100, 170, 120, 150, 170, 100, 150, g.frames[10], 1);
    PutGraphFreeQuad(200, 100, 260, 100, 290, 160, 230, 160, g.frames[11], 1);
}

// ---- the device's own reference ---------------------------------------------------------------------
// Per pixel the range of each 5/6-bit field the device may produce: one value where the arithmetic
// decides, several where a pixel centre falls on a texel or polygon edge and rounding picks the side.
struct Reference {
    std::vector<uint8_t> lo, hi;  // 640 x 480 x 3 fields: red, green, blue
};

const int kMax[3] = {31, 63, 31};
uint16_t Rgb565(int r, int g, int b) { return (uint16_t)((r >> 3) << 11 | (g >> 2) << 5 | b >> 3); }
int Field(uint16_t p, int c) { return c == 0 ? p >> 11 : c == 1 ? (p >> 5) & 63 : p & 31; }

// A colour in 0..1 per field; a < 0 marks a keyed texel (nothing drawn).
struct Rgba {
    double c[3], a;
};
Rgba Of565(uint16_t p, double a = 1.0) { return {{Field(p, 0) / 31.0, Field(p, 1) / 63.0, Field(p, 2) / 31.0}, a}; }
Rgba Lo(const Reference &ref, int x, int y)
{
    Rgba out = {{}, 1.0};
    for (int c = 0; c < 3; c++) out.c[c] = ref.lo[(y * 640 + x) * 3 + c] / (double)kMax[c];
    return out;
}

// The device's blend factors (source, destination) of each blend mode; -1 where none is sent.
enum Factor { ZERO, ONE, SRC_ALPHA, INV_SRC_ALPHA, SRC_COLOR, INV_DEST_COLOR, NONE = -1 };
const Factor kModeFactors[12][2] = {
    {NONE, NONE}, {SRC_ALPHA, INV_SRC_ALPHA}, {SRC_ALPHA, ONE}, {INV_DEST_COLOR, ZERO},
    {ZERO, SRC_COLOR}, {SRC_ALPHA, ONE}, {NONE, NONE}, {NONE, NONE},
    {ZERO, ONE}, {INV_DEST_COLOR, ZERO}, {SRC_ALPHA, INV_SRC_ALPHA}, {ZERO, SRC_COLOR}};
struct Blend {
    Factor src, dst;  // NONE: no blending, the source is stored
};
Blend ModeBlend(int mode) { return {kModeFactors[mode][0], kModeFactors[mode][1]}; }
const Blend kAlphaBlend = {SRC_ALPHA, INV_SRC_ALPHA};

double Weigh(Factor f, double s, double d, double a)
{
    switch (f) {
    case ZERO: return 0.0;
    case ONE: return 1.0;
    case SRC_ALPHA: return a;
    case INV_SRC_ALPHA: return 1.0 - a;
    case SRC_COLOR: return s;
    default: return 1.0 - d;
    }
}

Rgba Apply(const Blend &b, const Rgba &s, const Rgba &d)
{
    if (b.src == NONE) return s;
    Rgba out = d;
    for (int c = 0; c < 3; c++)
        out.c[c] = std::min(1.0, s.c[c] * Weigh(b.src, s.c[c], d.c[c], s.a) + d.c[c] * Weigh(b.dst, s.c[c], d.c[c], s.a));
    return out;
}

// Sets pixel (x, y) to the range of the candidate colours.
void Put(Reference *ref, int x, int y, const std::vector<Rgba> &candidates)
{
    if (x < 0 || x >= 640 || y < 0 || y >= 480 || candidates.empty()) return;
    for (int c = 0; c < 3; c++) {
        uint8_t lo = 255, hi = 0;
        for (const Rgba &v : candidates) {
            uint8_t q = (uint8_t)std::lround(std::clamp(v.c[c], 0.0, 1.0) * kMax[c]);
            lo = std::min(lo, q), hi = std::max(hi, q);
        }
        ref->lo[(y * 640 + x) * 3 + c] = lo, ref->hi[(y * 640 + x) * 3 + c] = hi;
    }
}

// An untextured box [l, r) x [t, b) of colour at diffuse alpha a.
void RefBox(Reference *ref, int l, int t, int r, int b, uint16_t colour, double a, Blend blend)
{
    for (int y = std::min(t, b); y < std::max(t, b); y++)
        for (int x = std::min(l, r); x < std::max(l, r); x++) Put(ref, x, y, {Apply(blend, Of565(colour, a), Lo(*ref, x, y))});
}

// A textured parallelogram: corners top-left, top-right, bottom-left in the device's window space
// (pixel (x, y) has its centre at x + 0.5, y + 0.5), w x h texels, the texel colour and alpha (already
// weighed by the diffuse alpha) from texel, which the filter may ask for just past the edges.
struct TexturedDraw {
    double tl[2], tr[2], bl[2];
    int w, h;
    std::function<Rgba(int, int)> texel;
    Blend blend;
    int bilinear;
};

void RefTextured(Reference *ref, const TexturedDraw &d)
{
    const double eps = 1e-4, ux = d.tr[0] - d.tl[0], uy = d.tr[1] - d.tl[1], vx = d.bl[0] - d.tl[0], vy = d.bl[1] - d.tl[1];
    const double det = ux * vy - uy * vx;
    const double xs[3] = {d.tr[0], d.bl[0], d.tr[0] + vx}, ys[3] = {d.tr[1], d.bl[1], d.tr[1] + vy};
    int x0 = (int)std::floor(std::min({d.tl[0], xs[0], xs[1], xs[2]})), x1 = (int)std::ceil(std::max({d.tl[0], xs[0], xs[1], xs[2]}));
    int y0 = (int)std::floor(std::min({d.tl[1], ys[0], ys[1], ys[2]})), y1 = (int)std::ceil(std::max({d.tl[1], ys[0], ys[1], ys[2]}));
    auto clampTexel = [](double t, int n) { return std::clamp((int)std::floor(t), 0, n - 1); };
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            const double px = x + 0.5 - d.tl[0], py = y + 0.5 - d.tl[1];
            const double s = (px * vy - py * vx) / det, t = (ux * py - uy * px) / det;  // 0..1 across the picture
            if (s < -eps || s > 1 + eps || t < -eps || t > 1 + eps) continue;
            const Rgba ground = Lo(*ref, x, y);
            std::vector<Rgba> out;
            if (s < eps || s > 1 - eps || t < eps || t > 1 - eps) out.push_back(ground);  // on an edge: drawn or not
            const double u = s * d.w, v = t * d.h;
            for (double du : {-eps, eps})
                for (double dv : {-eps, eps}) {
                    Rgba c = d.texel(clampTexel(u + du, d.w), clampTexel(v + dv, d.h));
                    if (c.a >= 0 && d.bilinear) {
                        // The four texels around the centre, keyed ones with their colour: only the nearest decides.
                        double fu = u - 0.5, fv = v - 0.5, wu = fu - std::floor(fu), wv = fv - std::floor(fv);
                        int iu = (int)std::floor(fu), iv = (int)std::floor(fv);
                        Rgba mix = {{}, c.a};
                        for (int k = 0; k < 4; k++) {
                            Rgba q = d.texel(iu + (k & 1), iv + (k >> 1));
                            double weight = (k & 1 ? wu : 1 - wu) * (k >> 1 ? wv : 1 - wv);
                            for (int f = 0; f < 3; f++) mix.c[f] += q.c[f] * weight;
                        }
                        c = mix;
                    }
                    out.push_back(c.a < 0 ? ground : Apply(d.blend, c, ground));
                }
            Put(ref, x, y, out);
        }
}

// Frame f's texel, black keyed; alpha is the diffuse alpha. The frames share the sheet's texture, so
// past a frame's edge lie its neighbours' texels (clamped at the sheet's sides).
std::function<Rgba(int, int)> FrameTexels(const Sources &s, int frame, double a)
{
    return [&s, frame, a](int x, int y) {
        uint16_t p = s.frames[(frame / 4 * 32 + y) * 640 + std::clamp(frame % 4 * 32 + x, 0, 127)];
        return Of565(p, p == 0 ? -1.0 : a);
    };
}

// A 32 x 32 frame drawn into [x1, x2) x [y1, y2) as the image draws do: their half-pixel shift lands its
// corners on pixel edges.
void RefFrame(Reference *ref, const Sources &s, int frame, int x1, int y1, int x2, int y2, double a, Blend blend,
              int bilinear = 0)
{
    RefTextured(ref, {{(double)x1, (double)y1}, {(double)x2, (double)y1}, {(double)x1, (double)y2}, 32, 32,
                      FrameTexels(s, frame, a), blend, bilinear});
}

void RefOtherModes(const Sources &s, Reference *ref)
{
    for (int mode = 5; mode <= 9; mode++) {
        // Mode 7 keeps the factors on the device: mode 5's, as mode 6 sends none.
        Blend blend = ModeBlend(mode == 7 ? 5 : mode);
        int i = mode - 5;
        RefBox(ref, 20 + i * 100, 100, 100 + i * 100, 200, Rgb565(200, 100, 50), 128 / 255.0, blend);
        RefFrame(ref, s, 4 + mode, 40 + i * 100, 220, 72 + i * 100, 252, 128 / 255.0, blend);
    }
}

void RefMultiply(const Sources &s, Reference *ref)
{
    RefBox(ref, 20, 100, 300, 200, Rgb565(255, 255, 255), 1.0, ModeBlend(4));
    RefBox(ref, 320, 100, 600, 200, Rgb565(120, 200, 60), 1.0, ModeBlend(4));
    for (int i = 0; i < 12; i++) RefFrame(ref, s, 4 + i, 40 + i * 36, 240, 72 + i * 36, 272, 1.0, ModeBlend(4));
}

void RefReduced(const Sources &s, Reference *ref)
{
    const int draws[][5] = {{9, 20, 100, 36, 116}, {10, 60, 100, 108, 148}, {11, 130, 100, 170, 124}, {12, 200, 100, 300, 130}};
    for (const auto &d : draws) RefFrame(ref, s, d[0], d[1], d[2], d[3], d[4], 1.0, ModeBlend(0));
}

void RefBilinear(const Sources &s, Reference *ref)
{
    RefFrame(ref, s, 9, 20, 100, 84, 164, 1.0, ModeBlend(0), 1);
    RefFrame(ref, s, 10, 100, 100, 148, 148, 1.0, ModeBlend(0), 1);
    RefFrame(ref, s, 11, 200, 100, 232, 132, 1.0, ModeBlend(0), 1);
}

// The alpha image's texels as its 4-4-4-4 texture holds them (each byte cut to its top four bits).
Rgba AlphaImageTexel(int x, int y, double a)
{
    const int bytes[4] = {x * 8, y * 8, 200, (x + y) * 4};
    Rgba out;
    for (int c = 0; c < 3; c++) out.c[c] = (bytes[c] >> 4) / 15.0;
    out.a = (bytes[3] >> 4) / 15.0 * a;
    return out;
}

void RefAlphaImage(const Sources &, Reference *ref)
{
    const int draws[][5] = {{20, 100, 52, 132, 255}, {80, 100, 144, 164, 255}, {160, 100, 192, 132, 128}};
    for (const auto &d : draws)
        RefTextured(ref, {{(double)d[0], (double)d[1]}, {(double)d[2], (double)d[1]}, {(double)d[0], (double)d[3]}, 32, 32,
                          [a = d[4] / 255.0](int x, int y) { return AlphaImageTexel(x, y, a); }, kAlphaBlend, 0});
}

// A blend graph's alpha, through the texture-factor ramp of border parameter b at border range 64: the
// factor added to or taken from it, then four times the result; 255 draws nothing.
double BorderAlpha(double alpha, int b)
{
    int e = 1280 - 1280 * b / 255;
    if (e < 1024) return std::min(1.0, 4 * std::max(0.0, alpha - (255 - 255 * e / 1024) / 255.0));
    return std::min(1.0, 4 * std::min(1.0, alpha + (e - 1024) * 64 / 256 / 255.0));
}

void RefBlendGraph(const Sources &s, Reference *ref)
{
    // The wipe at border parameters 0 and 128 (the third, at 255, is thrown away), then the rows at 128.
    const struct {
        int frame, b, x;
        double (*alpha)(int tx, int ty);
    } draws[] = {
        {9, 0, 20, [](int tx, int ty) { return (tx + ty) / 4 / 15.0; }},
        {10, 128, 100, [](int tx, int ty) { return (tx + ty) / 4 / 15.0; }},
        {12, 128, 260, [](int, int ty) { return ty / 2 / 15.0; }},
    };
    for (const auto &d : draws) {
        auto frame = FrameTexels(s, d.frame, 1.0);
        RefTextured(ref, {{(double)d.x, 100}, {d.x + 64.0, 100}, {(double)d.x, 164}, 32, 32,
                          [frame, d](int tx, int ty) {
                              Rgba c = frame(tx, ty);
                              if (c.a >= 0) c.a = BorderAlpha(d.alpha(tx, ty), d.b);
                              return c;
                          },
                          kAlphaBlend, 0});
    }
}

// Outlines as the device draws them: four bands of the ordered box, each over the pixels between its
// corners whichever way round, so the bands of a box one pixel wide or high overlap.
void RefOddOutlines(const Sources &, Reference *ref)
{
    const int boxes[][4] = {{20, 100, 20, 140}, {40, 100, 41, 140}, {60, 100, 100, 100}, {60, 120, 100, 121}, {120, 100, 121, 101},
                            {150, 100, 200, 140}};
    for (int i = 0; i < 6; i++) {
        int l = boxes[i][0], t = boxes[i][1], r = boxes[i][2], b = boxes[i][3];
        uint16_t colour = i < 5 ? Rgb565(120, 120, 120) : Rgb565(255, 255, 255);
        Blend blend = ModeBlend(i < 5 ? 2 : 0);
        const int bands[4][4] = {{l, t, r, t + 1}, {r - 1, t + 1, r, b}, {l, t + 1, l + 1, b}, {l + 1, b - 1, r - 1, b}};
        for (const auto &band : bands) RefBox(ref, band[0], band[1], band[2], band[3], colour, 1.0, blend);
    }
}

// Free quads: the corners as given are the device's window positions less half a pixel.
void RefFreeQuads(const Sources &s, Reference *ref)
{
    const double quads[][6] = {{40, 100, 72, 100, 40, 132}, {120, 100, 170, 120, 100, 150}, {200, 100, 260, 100, 230, 160}};
    for (int i = 0; i < 3; i++) {
        const double *q = quads[i];
        RefTextured(ref, {{q[0] + 0.5, q[1] + 0.5}, {q[2] + 0.5, q[3] + 0.5}, {q[4] + 0.5, q[5] + 0.5}, 32, 32,
                          FrameTexels(s, 9 + i, 1.0), ModeBlend(0), 0});
    }
}

const CrossScene kScenes[] = {
    {"erase", IDENTICAL, {0, 0, 640, 480}, SceneErase, nullptr},
    {"boxes", IDENTICAL, {0, 0, 640, 480}, SceneBoxes, nullptr},
    {"outlines", IDENTICAL, {0, 0, 640, 480}, SceneOutlines, nullptr},
    {"circles", IDENTICAL, {0, 0, 640, 480}, SceneCircles, nullptr},
    {"sprites", IDENTICAL, {0, 0, 640, 480}, SceneSprites, nullptr},
    {"stretched", IDENTICAL, {0, 0, 640, 480}, SceneStretched, nullptr},
    {"wide_images", IDENTICAL, {0, 0, 640, 480}, SceneWideImages, nullptr},
    {"capture", IDENTICAL, {0, 0, 640, 480}, SceneCapture, nullptr},
    {"alpha", NEAR, {20, 20, 600, 292}, SceneAlpha, nullptr},
    {"add", NEAR_TWO, {20, 20, 512, 477}, SceneAdd, nullptr},
    {"subtract", NEAR_TWO, {20, 20, 600, 460}, SceneSubtract, nullptr},
    {"invert_alpha", NEAR, {20, 20, 468, 292}, SceneInvertAlpha, nullptr},
    {"multiply_alpha", NEAR, {0, 20, 640, 480}, SceneMultiplyAlpha, nullptr},
    {"bright", NEAR, {40, 80, 600, 332}, SceneBright, nullptr},
    {"text", COVERAGE, {0, 0, 640, 480}, SceneText, nullptr},
    {"modes_5_to_9", OWN, {20, 100, 500, 252}, SceneOtherModes, RefOtherModes, 0,
     "modes 5 to 9 draw nothing in software; the device draws them"},
    {"multiply", BOUNDED, {20, 100, 600, 272}, SceneMultiply, RefMultiply, 2,
     "mode 4: software's multiply by white loses a step per field and truncates the product; the device's is exact"},
    {"reduced", OWN, {20, 100, 300, 148}, SceneReduced, RefReduced, 0,
     "reductions and non-integer factors: the device samples at pixel centres, software at pixel edges"},
    {"bilinear", OWN, {20, 100, 232, 164}, SceneBilinear, RefBilinear, 0, "draw mode 1: only the device filters"},
    {"alpha_image", BOUNDED, {20, 100, 192, 164}, SceneAlphaImage, RefAlphaImage, 6,
     "alpha channels: 16 levels (and 4-bit colours) in the device's 16-bit textures, 256 in software"},
    {"blend_graph", BOUNDED, {20, 100, 324, 164}, SceneBlendGraph, RefBlendGraph, 30,
     "blend graphs: the device weighs by the graph's alpha, software by its pixels' bytes (colour and alpha "
     "interleaved), so where the border cuts the wipe one route shows a column the other hides"},
    {"odd_outlines", OWN, {18, 98, 201, 143}, SceneOddOutlines, RefOddOutlines, 0,
     "outlines 0 or 1 pixel wide or high, or with reversed corners: bands of the ordered box on the device, "
     "line segments between the corners as given in software"},
    {"free_quads", OWN, {38, 98, 293, 173}, SceneFreeQuads, RefFreeQuads, 0,
     "free quads: the device's half-pixel rule and grid, software's triangles"},
};

// ---- running a scene on a route ---------------------------------------------------------------------
struct Shot {
    std::vector<uint16_t> pixels;  // 640 x 480 R5G6B5
    int onDevice = 0;              // the Direct3D renderer drew it
};

// The sprite sheet's frames, two wide patterns, an alpha-ramp image and a wipe for the blend graph.
void LoadSceneGraphs(SceneGraphs *g)
{
    ASSERT_NO_FATAL_FAILURE(LoadDemoFrames(g->frames));
    GraphImage base = MakePicture(32, 32, [](int x, int y) { return (uint32_t)(x * 8) << 16 | (uint32_t)(y * 8) << 8 | 200; });
    GraphImage alpha = MakePicture(32, 32, [](int x, int y) { return (uint32_t)((x + y) * 4); });
    GraphImage wipe = MakePicture(32, 32, [](int x, int y) { return (uint32_t)((x + y) / 4 * 17) * 0x010101u; });
    GraphImage rows = MakePicture(64, 32, [](int, int y) { return (uint32_t)(y / 2 * 17) * 0x010101u; });
    auto pattern = [](int x, int y) { return (uint32_t)((x * 7 + y * 3) & 0xFF) << 16 | (uint32_t)((x * 3 + y * 11) & 0xFF) << 8 | (uint32_t)((x ^ y) & 0xFF); };
    GraphImage wide0 = MakePicture(640, 48, pattern), wide1 = MakePicture(700, 40, pattern);
    g->wide[0] = MakeGraphFromImages(&wide0, nullptr);
    g->wide[1] = MakeGraphFromImages(&wide1, nullptr);
    DiscardGraphImage(&wide0);
    DiscardGraphImage(&wide1);
    ASSERT_GE(g->wide[0], 0);
    ASSERT_GE(g->wide[1], 0);
    g->alphaImage = MakeGraphFromImages(&base, &alpha);
    g->blendWipe = MakeGraphFromImages(&wipe, &wipe);
    g->blendRows = MakeGraphFromImages(&rows, &rows);
    DiscardGraphImage(&base);
    DiscardGraphImage(&alpha);
    DiscardGraphImage(&wipe);
    DiscardGraphImage(&rows);
    ASSERT_GE(g->alphaImage, 0);
    ASSERT_GE(g->blendWipe, 0);
    ASSERT_GE(g->blendRows, 0);
}

std::vector<uint16_t> ReadBack(void)
{
    const MEMIMG *back = ReadBackBackScreen();
    std::vector<uint16_t> pixels(640 * 480);
    for (int y = 0; y < 480; y++) memcpy(&pixels[y * 640], GetMemImgRow(back, y), 640 * 2);
    return pixels;
}

// Starts the library on route in a fresh directory, draws the scene on the back screen and reads it
// back as the present would; then the sources, when asked for.
void DrawOnRoute(const char *route, const CrossScene &scene, Shot *shot, Sources *sources)
{
    StartDrawLibrary(route);
    SceneGraphs graphs;
    if (!testing::Test::HasFatalFailure()) LoadSceneGraphs(&graphs);
    if (!testing::Test::HasFatalFailure()) {
        EraseDrawTarget();
        scene.draw(graphs);
        shot->onDevice = IsDirect3DDrawUsable();
        shot->pixels = ReadBack();
    }
    if (sources && !testing::Test::HasFatalFailure()) {
        EraseDrawTarget();
        DrawRamp();
        sources->ground = ReadBack();
        EraseDrawTarget();
        for (int i = 4; i < 16; i++) PutGraph(i % 4 * 32, i / 4 * 32, graphs.frames[i], 0);
        sources->frames = ReadBack();
    }
    EndLibrary();
    LeaveFreshTempDir();
}

// The pixels of the device's picture inside region with a field more than one step outside the
// reference's range.
int OffReference(const Shot &device, const Reference &ref, const Rect &region, int *firstX, int *firstY)
{
    int off = 0;
    for (int y = region.top; y < region.bottom; y++)
        for (int x = region.left; x < region.right; x++)
            for (int c = 0; c < 3; c++) {
                int v = Field(device.pixels[y * 640 + x], c), i = (y * 640 + x) * 3 + c;
                if (v + 1 >= ref.lo[i] && v <= ref.hi[i] + 1) continue;
                if (off++ == 0) *firstX = x, *firstY = y;
                break;
            }
    return off;
}

// ---- comparing --------------------------------------------------------------------------------------
struct Comparison {
    int differing = 0;        // pixels not bit for bit equal
    int outside = 0;          // of them outside the scene's region
    int beyondOne = 0;        // pixels with a field more than one step off
    int beyondTwo = 0;        // more than two steps
    int offByOne[3] = {};     // fields one step off: red, green, blue
    int largest = 0;          // the largest field difference, steps
    int coverage = 0;         // pixels lit (not black) on one route only
    int firstX = -1, firstY = -1;
};

Comparison Compare(const Shot &software, const Shot &device, const Rect &region)
{
    Comparison out;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            uint16_t a = software.pixels[y * 640 + x], b = device.pixels[y * 640 + x];
            out.coverage += (a != 0) != (b != 0);
            if (a == b) continue;
            if (out.differing++ == 0) out.firstX = x, out.firstY = y;
            out.outside += x < region.left || x >= region.right || y < region.top || y >= region.bottom;
            int most = 0;
            for (int c = 0; c < 3; c++) {
                int d = abs(Field(a, c) - Field(b, c));
                out.offByOne[c] += d == 1;
                most = d > most ? d : most;
            }
            out.beyondOne += most > 1;
            out.beyondTwo += most > 2;
            out.largest = most > out.largest ? most : out.largest;
        }
    return out;
}

void WriteShot(const std::string &name, const Shot &shot)
{
    std::vector<uint32_t> rgb(shot.pixels.size());
    for (size_t i = 0; i < rgb.size(); i++) {
        uint32_t v = shot.pixels[i], r = v >> 11, g = (v >> 5) & 63, b = v & 31;
        rgb[i] = (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
    }
    WritePngRgb(name.c_str(), rgb.data(), 640, 480);
}

// One line per scene: how the routes compared, and the device against its reference.
void PrintSummary(const CrossScene &scene, const Comparison &c, int offReference)
{
    if (scene.agreement >= BOUNDED)
        std::printf("[ cross    ] %-15s by design: %d pixels differ, up to %d steps (%s)\n", scene.name, c.differing,
                    c.largest, scene.why);
    else if (c.differing == 0)
        std::printf("[ cross    ] %-15s identical\n", scene.name);
    else
        std::printf("[ cross    ] %-15s within tolerance: %d pixels differ; fields one step off: red %d, green %d, "
                    "blue %d; pixels two steps off: %d, more: %d\n",
                    scene.name, c.differing, c.offByOne[0], c.offByOne[1], c.offByOne[2], c.beyondOne - c.beyondTwo,
                    c.beyondTwo);
    if (scene.agreement == COVERAGE) std::printf("[ cross    ] %-15s pixels drawn on one route only: %d\n", scene.name, c.coverage);
    if (scene.reference) std::printf("[ cross    ] %-15s device off its reference: %d pixels\n", scene.name, offReference);
}

class RouteCrossCheck : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        const char *driver = getenv("SDL_VIDEODRIVER");
        if (driver && strcmp(driver, "dummy") == 0) GTEST_SKIP() << "the Direct3D route needs OpenGL (SDL_VIDEODRIVER=offscreen)";
    }
    SavedRenderRoute savedRoute;
};

TEST_P(RouteCrossCheck, DeviceRouteAgreesWithSoftware)
{
    const CrossScene &scene = kScenes[GetParam()];
    Shot software, device;
    Sources sources;
    ASSERT_NO_FATAL_FAILURE(DrawOnRoute("software", scene, &software, scene.reference ? &sources : nullptr));
    ASSERT_NO_FATAL_FAILURE(DrawOnRoute("d3d", scene, &device, nullptr));
    ASSERT_FALSE(software.onDevice);
    ASSERT_TRUE(device.onDevice) << "the Direct3D device did not start";
    Comparison c = Compare(software, device, scene.region);
    int offReference = 0;
    if (scene.reference) {
        Reference ref;
        for (uint16_t p : sources.ground)
            for (int f = 0; f < 3; f++) ref.lo.push_back((uint8_t)Field(p, f));
        ref.hi = ref.lo;
        scene.reference(sources, &ref);
        offReference = OffReference(device, ref, scene.region, &c.firstX, &c.firstY);
    }
    PrintSummary(scene, c, offReference);
    bool ok = c.outside == 0 && offReference == 0;
    if (scene.agreement == IDENTICAL) ok = ok && c.differing == 0;
    if (scene.agreement == NEAR) ok = ok && c.beyondOne == 0;
    if (scene.agreement == NEAR_TWO) ok = ok && c.beyondTwo == 0;
    if (scene.agreement == COVERAGE) ok = ok && c.coverage == 0 && c.beyondOne == 0;
    if (scene.agreement == BOUNDED) ok = ok && c.largest <= scene.steps;
    EXPECT_EQ(c.outside, 0) << "pixels outside the draw region differ";
    EXPECT_TRUE(ok) << scene.name << ": " << c.differing << " pixels differ, " << c.beyondOne << " by more than one step, "
                    << offReference << " off the device's reference, first at " << c.firstX << "," << c.firstY;
    if (!ok) {
        WriteShot(std::string("crosscheck-") + scene.name + "-software.png", software);
        WriteShot(std::string("crosscheck-") + scene.name + "-d3d.png", device);
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, RouteCrossCheck, ::testing::Range(0, (int)(sizeof kScenes / sizeof kScenes[0])),
                         [](const ::testing::TestParamInfo<int> &info) { return std::string(kScenes[info.param].name); });

}  // namespace
