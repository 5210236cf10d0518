// The demo's scenes: a generated sprite sheet and three pictures drawn the way the game draws its
// frames (keyed sprites, flashes, tints, boxes in blend modes 0, 1 and 11, darkness with lit discs,
// edged Shift-JIS text). The demo program shows them; the tests compare them with reference PNGs.
#pragma once

#define DEMO_SHEET_ACROSS 4
#define DEMO_SHEET_DOWN 10
#define DEMO_FRAME_SIZE 32
#define DEMO_FRAME_COUNT (DEMO_SHEET_ACROSS * DEMO_SHEET_DOWN)
#define DEMO_SCENE_COUNT 3

// Writes the generated sprite sheet (4 x 10 frames of 32 x 32; black is transparent) as a PNG. 0 / -1.
int WriteDemoSheet(const char *path);
// The scene's name ("sprites", "boxes", "text"), or null.
const char *GetDemoSceneName(int scene);
// Draws one frame of a scene on the back screen (cleared first); frame animates it.
void DrawDemoScene(int scene, const int frames[DEMO_FRAME_COUNT], int frame);
