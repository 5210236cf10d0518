// The demo's sprite sheet and scenes.
#include "tools/demo/demo_scene.h"

#include <cstdint>
#include <vector>

#include "lib/font/font.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/screen.h"
#include "tools/demo/png_out.h"

// ================================================================================================
// sprite sheet
// ================================================================================================

// Pixel (x, y) of frame k: frame 0 a floor tile, frames 1-3 blocks, the rest round figures in a
// colour of their own on black.
static uint32_t DemoSheetPixel(int k, int x, int y)
{
    if (k == 0) return ((x / 8 + y / 8) & 1) ? 0x2E7D32 : 0x388E3C;
    if (k <= 3) {
        bool border = x == 0 || y == 0 || x == 31 || y == 31;
        return border ? 0x5D4037 : (k == 1 ? 0xA1887F : k == 2 ? 0x8D6E63 : 0x6D4C41);
    }
    int dx = x - 16, dy = y - 16 - (k % 4);
    int d2 = dx * dx + dy * dy;
    if (d2 > 14 * 14) return 0x000000;
    if ((dx == -5 || dx == 4) && dy >= -5 && dy <= -2) return 0x101010;  // eyes
    uint32_t r = (uint32_t)(60 + (k * 47) % 196), g = (uint32_t)(60 + (k * 91) % 196), b = (uint32_t)(60 + (k * 29) % 196);
    if (d2 > 12 * 12) r /= 2, g /= 2, b /= 2;  // outline
    return r << 16 | g << 8 | b;
}

int WriteDemoSheet(const char *path)
{
    int w = DEMO_SHEET_ACROSS * DEMO_FRAME_SIZE, h = DEMO_SHEET_DOWN * DEMO_FRAME_SIZE;
    std::vector<uint32_t> rgb((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int k = (y / DEMO_FRAME_SIZE) * DEMO_SHEET_ACROSS + x / DEMO_FRAME_SIZE;
            rgb[(size_t)y * w + x] = DemoSheetPixel(k, x % DEMO_FRAME_SIZE, y % DEMO_FRAME_SIZE);
        }
    return WritePngRgb(path, rgb.data(), w, h);
}

// ================================================================================================
// scenes
// ================================================================================================

// The field: 15 x 13 floor tiles at (80, 80) with a ring of blocks.
static void DrawDemoField(const int *frames)
{
    for (int cy = 0; cy < 13; cy++)
        for (int cx = 0; cx < 15; cx++) {
            PutGraph(80 + cx * 32, 80 + cy * 32, frames[0], 1);
            if (cx == 0 || cy == 0 || cx == 14 || cy == 12 || (cx % 2 == 0 && cy % 2 == 0))
                PutGraph(80 + cx * 32, 80 + cy * 32, frames[1 + (cx + cy) % 3], 1);
        }
}

// A sprite drawn as a flash: a white disc, then the sprite added onto it.
static void DrawFlash(int x, int y, int graph)
{
    PaintCircle(x + 16, y + 16, 16, PackScreenColor(255, 255, 255), 1);
    SelectBlendMode(MEMIMG_BLEND_ADD, 255);
    PutGraph(x, y, graph, 1);
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
}

// Keyed sprites, flashes, a stretched sprite, a tinted row and the blue world tint.
static void DrawSpritesScene(const int *frames, int frame)
{
    DrawDemoField(frames);
    for (int i = 0; i < 24; i++) {
        int k = 4 + i % 36, x = 112 + (i % 12) * 36 + (frame % 8), y = 144 + (i / 12) * 64;
        if (i % 5 == 2) DrawFlash(x, y, frames[k]);
        else PutGraph(x, y, frames[k], 1);
    }
    PutGraphStretched(112, 272, 208, 368, frames[9], 1);                  // three cells wide and high
    PutGraphStretched(304, 272, 240, 336, frames[10], 1);                 // mirrored
    for (int i = 0; i < 6; i++) {
        SetDrawBright(255 - i * 40, 128 + i * 20, 64 + i * 30);
        PutGraph(320 + i * 36, 300, frames[12 + i], 1);
    }
    SetDrawBright(255, 255, 255);
    SelectBlendMode(MEMIMG_BLEND_ALPHA, 128);
    PaintRectangle(80, 400, 560, 496, PackScreenColor(0, 150, 250), 1);
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
    PaintRectangle(0, 0, 640, 90, PackScreenColor(0, 0, 0), 1);
}

// Boxes in modes 0, 1 and 11, outlines, then darkness with lit discs round four figures.
static void DrawBoxesScene(const int *frames, int frame)
{
    DrawDemoField(frames);
    for (int i = 0; i < 4; i++) PutGraph(140 + i * 120, 200 + (i % 2) * 96, frames[4 + i * 5], 1);
    PaintRectangle(100, 120, 200, 180, PackScreenColor(200, 40, 40), 1);
    SelectBlendMode(MEMIMG_BLEND_ALPHA, 128);
    PaintRectangle(150, 150, 300, 220, PackScreenColor(40, 200, 40), 1);
    SelectBlendMode(MEMIMG_BLEND_MULTIPLY_ALPHA, 255);
    PaintRectangle(250, 120, 400, 200, PackScreenColor(120, 120, 250), 1);
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
    PaintRectangle(420, 120, 520, 180, PackScreenColor(255, 255, 0), 0);
    // Darkness over the lower field, lit round the figures.
    SelectBlendMode(MEMIMG_BLEND_MULTIPLY_ALPHA, 255);
    PaintRectangle(0, 250, 640, 480, PackScreenColor(35, 35, 35), 1);
    SelectBlendMode(MEMIMG_BLEND_ADD, 128);
    for (int i = 0; i < 4; i++) PaintCircle(156 + i * 120, 216 + (i % 2) * 96 + frame % 4, 96, PackScreenColor(255, 255, 255), 1);
    SelectBlendMode(MEMIMG_BLEND_COPY, 0);
    PaintRectangle(0, 0, 640, 90, PackScreenColor(0, 0, 0), 1);
}

// Red and white edged Shift-JIS text at 16 and 128 pixels.
static void DrawTextScene(const int *frames, int frame)
{
    DrawDemoField(frames);
    PaintRectangle(0, 0, 640, 90, PackScreenColor(0, 0, 0), 1);
    ChangeDefaultFontType(FONT_TYPE_EDGE);
    uint32_t white = PackScreenColor(255, 255, 255), red = PackScreenColor(255, 0, 0);
    DrawPrintfText(10, 10, white, "%d　ー　%d ハイスコア　%d　残り時間　%d　到達度　%d", 1, 3, 123450, 200 - frame, 7);
    DrawTextDefaultFont(10, 40, "モード　1 人数　2 残りのコアメカ 3 難易度（普通）", white, 0);
    DrawTextDefaultFont(10, 70, "１P、途中参加OK", red, 0);
    DrawTextDefaultFont(310, 70, "２P、ちょっと待ってね", red, 0);
    ChangeDefaultFontSize(128);
    DrawTextDefaultFont(60, 160, "ステージ", white, 0);
    DrawTextDefaultFont(200, 300, "１ー３", red, PackScreenColor(255, 255, 255));
    ChangeDefaultFontSize(16);
    DrawTextDefaultFont(250, 268, "１Pポーズ", white, 0);
}

const char *GetDemoSceneName(int scene)
{
    static const char *const kNames[DEMO_SCENE_COUNT] = {"sprites", "boxes", "text"};
    return scene >= 0 && scene < DEMO_SCENE_COUNT ? kNames[scene] : nullptr;
}

void DrawDemoScene(int scene, const int frames[DEMO_FRAME_COUNT], int frame)
{
    static void (*const kScenes[DEMO_SCENE_COUNT])(const int *, int) = {DrawSpritesScene, DrawBoxesScene, DrawTextScene};
    if (scene < 0 || scene >= DEMO_SCENE_COUNT) return;
    EraseDrawTarget();
    kScenes[scene](frames, frame);
}
