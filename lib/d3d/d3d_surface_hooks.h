// Entry points of the Direct3D renderer that the graphics core's surface data, display restore and
// capture call. The screen capture is answered by lib/d3d/surface_stubs.cpp until it is built.
#pragma once

struct ColorFormatRecord;
struct TextureFormatRecord;
struct GraphRecord;

// The texture format of slot 0..8, or null without Direct3D.
const TextureFormatRecord *G_D3D_GetTextureFormatRecord(int slot);
// The pixel format of texture slot 0..8, or null without Direct3D.
const ColorFormatRecord *G_D3D_GetTextureFormatColorFormat(int slot);
// Takes Direct3D back after the display was rebuilt. 0 (also with nothing to do), -1 on failure.
int G_D3D_ReacquireDirect3D(void);
// Copies (x1, y1)-(x2, y2) of the draw target into a texture graph. 0 / -1 (no Direct3D).
int G_D3D_GetDrawScreenGraph(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag);
