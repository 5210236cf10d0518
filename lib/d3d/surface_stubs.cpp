// Stand-ins for the Direct3D renderer's texture formats and display re-acquisition: no Direct3D.
#include "lib/d3d/d3d_surface_hooks.h"

const TextureFormatRecord *G_D3D_GetTextureFormatRecord(int) { return nullptr; }
const ColorFormatRecord *G_D3D_GetTextureFormatColorFormat(int) { return nullptr; }
int G_D3D_ReacquireDirect3D(void) { return 0; }
int G_D3D_GetDrawScreenGraph(int, int, int, int, GraphRecord *, int) { return -1; }
