// The same scenes through the public draw calls in software rendering mode and on the Direct3D route,
// read back before the present and compared per pixel and per 5/6-bit field: bit for bit where both
// routes draw the same pixels, within one step per field where they blend in different arithmetic
// (two in modes 2 and 3), and only reported where the routes differ by design. Outside a scene's draw region any difference
// fails. Needs OpenGL (SDL's "offscreen" driver): under the "dummy" driver the scenes are skipped.
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    DIFFERENT,  // differ by design: only reported
};

struct SceneGraphs {
    int frames[DEMO_FRAME_COUNT];
    int wide[2];     // 640 x 48 and 700 x 40 patterns: two and three texture pieces
    int alphaImage;  // 32 x 32 with an alpha ramp
    int blendImage;  // 64 x 64 grey ramp for the blend graph
};

struct CrossScene {
    const char *name;
    Agreement agreement;
    Rect region;  // where the scene draws; outside it the routes must agree exactly
    void (*draw)(const SceneGraphs &g);
    const char *why;  // how the routes differ (DIFFERENT)
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

// ---- different by design ----------------------------------------------------------------------------
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
        SelectBlendGraph(g.blendImage, borders[i], 64);
        PutGraphStretched(20 + i * 80, 100, 84 + i * 80, 164, g.frames[9 + i], 1);
    }
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
    {"modes_5_to_9", DIFFERENT, {20, 100, 500, 252}, SceneOtherModes,
     "modes 5 to 9 draw nothing in software; the device draws them"},
    {"multiply", DIFFERENT, {20, 100, 600, 272}, SceneMultiply,
     "mode 4: software's multiply by white loses a step per field; the device's is exact"},
    {"reduced", DIFFERENT, {20, 100, 300, 148}, SceneReduced,
     "reductions and non-integer factors: the device samples at pixel centres, software at pixel edges"},
    {"bilinear", DIFFERENT, {20, 100, 232, 164}, SceneBilinear, "draw mode 1: only the device filters"},
    {"alpha_image", DIFFERENT, {20, 100, 192, 164}, SceneAlphaImage,
     "alpha channels: 16 levels in the device's 16-bit textures, 256 in software"},
    {"blend_graph", DIFFERENT, {20, 100, 244, 164}, SceneBlendGraph,
     "blend graphs: texture-factor ramps on the device, a lookup table in software"},
    {"odd_outlines", DIFFERENT, {18, 98, 201, 143}, SceneOddOutlines,
     "outlines 0 or 1 pixel wide or high, or with reversed corners: bands of the ordered box on the device, "
     "line segments between the corners as given in software"},
    {"free_quads", DIFFERENT, {38, 98, 293, 173}, SceneFreeQuads,
     "free quads: the device's half-pixel rule and grid, software's triangles"},
};

// ---- running a scene on a route ---------------------------------------------------------------------
struct Shot {
    std::vector<uint16_t> pixels;  // 640 x 480 R5G6B5
    int onDevice = 0;              // the Direct3D renderer drew it
};

// The sprite sheet's frames, two wide patterns, an alpha-ramp image and a grey ramp for the blend graph.
void LoadSceneGraphs(SceneGraphs *g)
{
    ASSERT_NO_FATAL_FAILURE(LoadDemoFrames(g->frames));
    GraphImage base = MakePicture(32, 32, [](int x, int y) { return (uint32_t)(x * 8) << 16 | (uint32_t)(y * 8) << 8 | 200; });
    GraphImage alpha = MakePicture(32, 32, [](int x, int y) { return (uint32_t)((x + y) * 4); });
    GraphImage ramp = MakePicture(64, 64, [](int x, int y) { return (uint32_t)((x + y) * 2) * 0x010101u; });
    auto pattern = [](int x, int y) { return (uint32_t)((x * 7 + y * 3) & 0xFF) << 16 | (uint32_t)((x * 3 + y * 11) & 0xFF) << 8 | (uint32_t)((x ^ y) & 0xFF); };
    GraphImage wide0 = MakePicture(640, 48, pattern), wide1 = MakePicture(700, 40, pattern);
    g->wide[0] = MakeGraphFromImages(&wide0, nullptr);
    g->wide[1] = MakeGraphFromImages(&wide1, nullptr);
    DiscardGraphImage(&wide0);
    DiscardGraphImage(&wide1);
    ASSERT_GE(g->wide[0], 0);
    ASSERT_GE(g->wide[1], 0);
    g->alphaImage = MakeGraphFromImages(&base, &alpha);
    g->blendImage = MakeGraphFromImages(&ramp, nullptr);
    DiscardGraphImage(&base);
    DiscardGraphImage(&alpha);
    DiscardGraphImage(&ramp);
    ASSERT_GE(g->alphaImage, 0);
    ASSERT_GE(g->blendImage, 0);
}

// Starts the library on route in a fresh directory, draws the scene on the back screen and reads it
// back as the present would.
void DrawOnRoute(const char *route, const CrossScene &scene, Shot *shot)
{
    StartDrawLibrary(route);
    SceneGraphs graphs;
    if (!testing::Test::HasFatalFailure()) LoadSceneGraphs(&graphs);
    if (!testing::Test::HasFatalFailure()) {
        EraseDrawTarget();
        scene.draw(graphs);
        shot->onDevice = IsDirect3DDrawUsable();
        const MEMIMG *back = ReadBackBackScreen();
        shot->pixels.resize(640 * 480);
        for (int y = 0; y < 480; y++) memcpy(&shot->pixels[y * 640], GetMemImgRow(back, y), 640 * 2);
    }
    EndLibrary();
    LeaveFreshTempDir();
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

int Field(uint16_t p, int c) { return c == 0 ? p >> 11 : c == 1 ? (p >> 5) & 63 : p & 31; }

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

// One line per scene: how the routes compared.
void PrintSummary(const CrossScene &scene, const Comparison &c)
{
    if (scene.agreement == DIFFERENT)
        std::printf("[ cross    ] %-15s expected difference: %d pixels, up to %d steps (%s)\n", scene.name, c.differing,
                    c.largest, scene.why);
    else if (c.differing == 0)
        std::printf("[ cross    ] %-15s identical\n", scene.name);
    else
        std::printf("[ cross    ] %-15s within tolerance: %d pixels differ; fields one step off: red %d, green %d, "
                    "blue %d; pixels two steps off: %d, more: %d\n",
                    scene.name, c.differing, c.offByOne[0], c.offByOne[1], c.offByOne[2], c.beyondOne - c.beyondTwo,
                    c.beyondTwo);
    if (scene.agreement == COVERAGE) std::printf("[ cross    ] %-15s pixels drawn on one route only: %d\n", scene.name, c.coverage);
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
    ASSERT_NO_FATAL_FAILURE(DrawOnRoute("software", scene, &software));
    ASSERT_NO_FATAL_FAILURE(DrawOnRoute("d3d", scene, &device));
    ASSERT_FALSE(software.onDevice);
    ASSERT_TRUE(device.onDevice) << "the Direct3D device did not start";
    Comparison c = Compare(software, device, scene.region);
    PrintSummary(scene, c);
    bool ok = c.outside == 0;
    if (scene.agreement == IDENTICAL) ok = ok && c.differing == 0;
    if (scene.agreement == NEAR) ok = ok && c.beyondOne == 0;
    if (scene.agreement == NEAR_TWO) ok = ok && c.beyondTwo == 0;
    if (scene.agreement == COVERAGE) ok = ok && c.coverage == 0 && c.beyondOne == 0;
    EXPECT_EQ(c.outside, 0) << "pixels outside the draw region differ";
    EXPECT_TRUE(ok) << scene.name << ": " << c.differing << " pixels differ, " << c.beyondOne
                    << " by more than one step, first at " << c.firstX << "," << c.firstY;
    if (!ok) {
        WriteShot(std::string("crosscheck-") + scene.name + "-software.png", software);
        WriteShot(std::string("crosscheck-") + scene.name + "-d3d.png", device);
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, RouteCrossCheck, ::testing::Range(0, (int)(sizeof kScenes / sizeof kScenes[0])),
                         [](const ::testing::TestParamInfo<int> &info) { return std::string(kScenes[info.param].name); });

}  // namespace
