// Stand-ins for the Direct3D renderer's start, end and window hooks: Direct3D is never available.
#include "lib/d3d/d3d_hooks.h"

int G_D3D_Initialize(void) { return -1; }
int G_D3D_Terminate(void) { return -1; }
int G_D3D_ClearSurface3DData(void) { return -1; }
int G_D3D_ReleaseDirect3D(void) { return -1; }
int G_D3D_RestoreAllTextures(void) { return -1; }
