// The DirectDraw side of the graphics core: the draw object, the screen surfaces (a flip chain in full
// screen; in a window the primary with its clipper and two off-screen screens), presenting, loss and
// restore of the screens, and the getters the Direct3D and movie modules read.
#pragma once
#include <cstdint>

#include "lib/graphics/memimg.h"
#include "platform/ddraw/ddraw.h"

// Makes the draw object on the main window (full screen: exclusive), takes its caps and chooses the
// overlay format. 0, or -1 (logged; nothing kept).
int StartDirectDrawObject(int fullScreen);
// Releases the screens, the clipper and the draw object (the display mode is restored). 0.
int EndDirectDrawObject(void);
// Makes the screen surfaces in the mode and front / back memory images over their pixels. 0, or -1
// (logged; nothing kept).
int CreateScreenSurfaces(int width, int height, int colorBits, MEMIMG *front, MEMIMG *back);
// Releases the screen surfaces, the work surface and the images over them. 0.
int ReleaseScreenSurfaces(MEMIMG *front, MEMIMG *back);
// Shows the back screen: a flip in full screen (the images follow the swapped pixels), else a copy
// to the front screen and the primary. 0 / -1 (lost or busy screens).
int PresentScreenSurfaces(MEMIMG *front, MEMIMG *back);
// Copies the front screen to the window (window mode). 0 / -1.
int ShowFrontScreenSurface(void);
// The surface of screen -4 or -2 (null for anything else or without screens).
DdSurface *GetScreenSurface(int screen);
// Locks / unlocks a screen surface whole for the software drawers. 0 / -1 (lost, busy).
int LockScreenSurface(int screen);
void UnlockScreenSurface(int screen);
// Restores lost screen surfaces (cleared to black). 1 when one was lost, else 0.
int RestoreScreenSurfaces(void);
// Fills rect of a screen with a pixel value by a colour-fill blit. 0 / -1.
int FillScreenSurface(int screen, const Rect *rect, uint32_t pixel);

// Lets the Direct3D renderer reach this display (on 1) or takes the way away (on 0); without it
// Direct3D does not start.
void InstallDirect3DDisplayPort(int on);

// ---- getters ------------------------------------------------------------------------------------
// The draw object, or null when there is none.
DdDraw *GetDirectDrawObject(void);
// The surface that stands for the front screen / that draw target -2 renders into.
DdSurface *GetFrontDrawSurface(void);
DdSurface *GetBackRenderSurface(void);
// The primary surface (the window's or the flip chain's front), or null.
DdSurface *GetPrimarySurface(void);
// The library's off-screen work surface of the screen's size and format, or null.
DdSurface *GetWorkSurface(void);
// The screen's pixel format.
const DdPixelFormat *GetScreenPixelFormat(void);
// Reads the desktop's pixel format again (window mode). The screens keep their own; the window's
// primary, made in the desktop's at the next rebuild, decides whether they reach it through a
// converting copy. 0, -1 (logged) when it cannot be read.
int ReadWindowPixelFormat(void);
// The overlay format: null, the display offers no overlay.
const DdPixelFormat *GetOverlayPixelFormat(void);
// The pixel format of a memory-image colour type (with alpha or palette), made on first use.
const DdPixelFormat *FindMemImgPixelFormat(int colorType, int alphaFlag, int paletteFlag);
// Copies the caps taken at the start into out; out.
DdCaps *CopyDirectDrawCaps(DdCaps *out);
// 1 in full screen with the draw object (a flip chain), else 0.
int IsFlipChainInUse(void);
