// Entry points of the Direct3D renderer that the graphics core's surface data, display restore and
// capture call.
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
// Copies (x1, y1)-(x2, y2) of the draw target into a texture graph through the first copy route that
// works, remembered for later captures. 0 (also while Direct3D drawing is suspended), -1 when
// Direct3D is down, the graph's first piece is not live or every route failed.
int G_D3D_GetDrawScreenGraph(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag);
