// Stand-in for the Direct3D renderer's screen capture into a texture graph: not built yet.
#include "lib/d3d/d3d_surface_hooks.h"

int G_D3D_GetDrawScreenGraph(int, int, int, int, GraphRecord *, int) { return -1; }
