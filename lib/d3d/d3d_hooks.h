// Entry points of the Direct3D renderer that the library start and end, the screen-mode change,
// graphics management and the window procedure call. While no display route hands out the 3-D object
// (Direct3DDisplayPort, d3d_renderer.h) they answer as a machine without Direct3D: every call -1.
#pragma once

// Starts Direct3D on the current display. 0, -1 on failure (the screen-mode change then fails and
// the graphics start falls back to software rendering).
int G_D3D_Initialize(void);
// Ends Direct3D. 0, -1 when it is down.
int G_D3D_Terminate(void);
// Deletes every 3D surface-data record; -1 when Direct3D is down (3D drawing not usable).
int G_D3D_ClearSurface3DData(void);
// Releases the Direct3D objects before the display goes (deactivation in full screen). 0 / -1.
int G_D3D_ReleaseDirect3D(void);
// Restores every lost texture surface (activation). 0, -1 when Direct3D is down.
int G_D3D_RestoreAllTextures(void);
