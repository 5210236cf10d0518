// Stand-ins for the Direct3D renderer's draws, graph textures, draw target and string draw, which
// are not built yet: nothing is drawn and every call fails.
#include "lib/d3d/d3d_draw_hooks.h"

int G_D3D_DrawSolidRectangle(int, int, int, int, uint32_t) { return -1; }
int G_D3D_DrawRectangleOutline(int, int, int, int, uint32_t) { return -1; }
int G_D3D_DrawCircle(int, int, int, uint32_t, int) { return -1; }
int G_D3D_RenderFontString(int, int, const char *, uint32_t, int, uint32_t, int) { return -1; }
