// The draw state: one record read by every drawing path, and its setters.
#pragma once
#include <cstdint>
#include "lib/core/helpers.h"

#define DRAW_WORLD_MATRIX_COUNT 4

// Written by the setters below (and by the draw-target code); drawers read it once per call.
struct DrawSettings {
    int drawTarget;           // -4 front screen, -2 back screen, or a graph handle
    int targetWidth;          // size of the draw target, pixels (the region is kept inside it)
    int targetHeight;
    Rect clientArea;          // left, top: target offset (client area while a window's front is drawn)
    Rect drawRegion;          // left, top inclusive; right, bottom exclusive; inside the target
    float drawRegionF[4];     // the same region as floats (left, top, right, bottom)
    int blendMode;            // MemImgBlendModes (stored unchecked)
    int blendParam;           // 0..255
    int blendGraph;           // graph handle, -1 = none
    int blendGraphBorderParam; // 0..255
    int blendGraphBorderRange; // 0..255
    uint32_t bright;          // bytes blue, green, red in the low 24 bits; 0xFFFFFF = no tint
    int drawMode;             // 0 nearest, 1 bilinear
    float drawZ;              // z of every 2-D vertex
    int zBufferUse;           // non-zero: Z states come from these settings
    int zEnable;
    int zWriteEnable;
    int zFunction;            // 4 = less or equal
    int zBias;
    int cullMode;
    int fogEnable;
    int paramAlphaFlag;       // non-zero: the blend parameter is the image alpha in mode 0 too
    int transColorOffFlag;    // read by texture uploads
    uint32_t transColor;      // 0xRRGGBB: the transparent colour of new images
    int textureAddressMode;   // 3 after the reset
    float worldMatrix[DRAW_WORLD_MATRIX_COUNT][16];
    float viewMatrix[16];
    float projectionMatrix[16];
    int noDrawGuard;          // while set, the public draw and setting calls do nothing
    int waitVSync;            // 1: presenting waits for the vertical blank
};

// The one record.
extern DrawSettings GDrawSettings;

// Restores the defaults: target -4 of 640 x 480 (or the size set by SetDrawTargetSize), region the
// whole target, blend mode 0 with parameter 255, no blend graph (border 0, range 0), bright
// 255, 255, 255, draw mode 0, draw Z 0.2, Z states off with function 4, transparent colour
// 0x000000, texture address mode 3, identity matrices, guard 0, vertical-sync wait 1. 0.
int ResetDrawSettings(void);
// Sets the draw target's size and makes the region the whole target (the draw-target code calls it).
void SetDrawTargetSize(int width, int height);
// Stores mode (unchecked) and parameter clamped to 0..255; nothing while the guard is set or when
// both are unchanged. 0.
int SelectBlendMode(int mode, int param);
// Stores the blend graph handle (or -1) and its parameters clamped to 0..255, then rebuilds
// BlendImageLookup. The caller has validated the handle. 0.
int StoreBlendGraph(int graph, int borderParam, int borderRange);
// Stores the bright colour, each channel clamped to 0..255. 0.
int SetDrawBright(int red, int green, int blue);
// Stores the low 24 bits of packed (0xRRGGBB) as the bright colour. 0.
int SetDrawBrightColor(uint32_t packed);
// Clamps the region into the draw target and stores it (ints and floats). 0.
int SetDrawRegion(int left, int top, int right, int bottom);
// Stores the draw mode (0 nearest, 1 bilinear); nothing while the guard is set. 0.
int SelectDrawMode(int mode);
// Store a matrix of 16 floats (world: index 0..3, others ignored). 0, or -1 for a null matrix.
int SetWorldMatrix(const float *matrix, int index);
int SetViewMatrix(const float *matrix);
int SetProjectionMatrix(const float *matrix);
// The draw target of the settings.
int GetDrawTargetHandle(void);
