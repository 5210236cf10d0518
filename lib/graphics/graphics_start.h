// Graphics start and end as the library start, end and window procedure call them, and the window
// hooks of the display. The display goes to the Direct3D renderer; where its device cannot start
// the graphics start falls back to software rendering. DAZAR_RENDER_ROUTE forces a route.
#pragma once

// The route settings, read once at library start before anything else (DAZAR_RENDER_ROUTE:
// "software" forces software rendering, "ddraw" switches Direct3D off (DirectDraw surfaces and the
// software drawers), "d3d" or anything else is the default Direct3D route). The software flag, 1 / 0.
int QuerySoftwareRenderingSetting(void);
// Graphics start: DirectDraw (on failure: log, software rendering, try once more; a second failure
// is fatal), the blend tables, the screen mode, graphics management and the draw settings. 0 / -1.
int StartGraphicsSystem(void);
// Clears both screens to black (last step of the library start). 0.
int ClearBothScreens(void);
// Graphics end: fonts and graphs, then DirectDraw with Direct3D and the screens. 0.
int EndGraphicsSystem(void);
// 1 while a DirectDraw object exists (not in software-only mode).
int IsDirectDrawInUse(void);
// 1 in software rendering mode (set, or fallen back to); the draw object may still exist.
int IsSoftwareRenderingInUse(void);
// 1 while draws go to DirectDraw surfaces (a draw object and not software rendering).
int IsSurfaceRouteInUse(void);
// Restores lost screen surfaces and 2D surfaces (activation). 0.
int TestAndRestoreSurfaces(void);
// Rebuilds the display after a loss or a display change. 0 / -1.
int RestoreDisplay(void);
// Reads the screen's pixel format again: in window mode the desktop's, which the window shows the
// screens in. 0, -1 (logged) when it cannot be read.
int ReadScreenColorFormat(void);
// Refreshes the window from the back buffer while the front screen is drawn through it (the 17 ms
// window timer and paint requests). 0.
int RefreshWindowFromBackBuffer(void);
