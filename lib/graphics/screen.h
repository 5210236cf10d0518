// Screens in software rendering mode: a front and a back memory image of the screen mode (colour
// type 0 at 16 bits, 1 at 32 bits), the draw target, clearing, presenting to the window, screen
// colours and the size queries.
#pragma once
#include <cstdint>

#include "lib/graphics/memimg.h"

#define SCREEN_FRONT (-4)
#define SCREEN_BACK (-2)
#define SCREEN_UNUSED (-3)   // a screen handle that is never selected

// Sets the screen mode through ChangeScreenMode (the game passes 640, 480, 16, 60). 0 / -1.
int SelectScreenMode(int width, int height, int colorBits, int refreshRate);
// Deletes all graphs and font caches, ends graphics management and Direct3D, makes new screens of
// width x height (1..32767) at 16 or 32 bits, starts Direct3D unless rendering in software, starts
// graphics management again; both screens black. 0, or -1 (logged; no screens) for a bad mode.
int ChangeScreenMode(int width, int height, int colorBits, int refreshRate);
// Shows the back screen: Direct3D work ends first, the back screen is copied to the front screen
// and presented in the window (scaled to it). 0, -1 without screens.
int PresentFrame(void);
// Clears the draw target: Direct3D first when it is usable, then EraseDrawTarget2D. 0 / -1.
int EraseDrawTarget(void);
// Screens: the draw region filled with the background colour (plain). A graph target: the fill
// follows the draw region, blend mode, parameter and bright. 0 / -1.
int EraseDrawTarget2D(void);
// A colour in the screen's pixel format (channels clamped to 0..255).
uint32_t PackScreenColor(int red, int green, int blue);
// Channels 0..255 of a pixel in the screen's format; null outputs are skipped. 0.
int UnpackScreenColor(uint32_t pixel, int *red, int *green, int *blue);
// Selects -4 (front), -2 (back) or a graph as the draw target; the draw region becomes the whole
// target. Reverts and returns -1 when the 2D change fails and no Direct3D change succeeded.
int SelectDrawTarget(int target);
// The 2D target change of SelectDrawTarget: the target's size becomes the draw region's bounds.
// 0, or -1 when the target has no image (a texture graph, a stale handle, -3).
int SelectDrawTargetSurface(int target);
// Screen colour depth in bits (16 while unset).
int QueryScreenColorDepth(void);
// Screen size (640 x 480 while unset); either pointer may be null. 0.
int QueryScreenSize(int *width, int *height);
// Size of a target: a graph's, or the screen's for -4, -3, -2. 0 / -1 (bad target).
int QueryTargetSize(int target, int *width, int *height);
// The screen's pixel format (the memory-image format of its colour type).
const ColorFormatRecord *GetScreenColorFormat(void);
// The memory-image colour type of the screens (0 or 1).
int GetScreenColorType(void);
// How many frames PresentFrame has shown since the library started.
uint64_t GetPresentCount(void);
// 1 while screens exist (the display is set up).
int IsScreenReady(void);
// The memory image of -4 or -2 (null for anything else or without screens).
MEMIMG *GetScreenMemImg(int screen);
// The memory image draws go to (the selected screen or graph), or null.
MEMIMG *GetDrawTargetMemImg(void);
// 1 only when Direct3D is set to be used, 3D drawing is usable, rendering is not in software and
// the renderer has a device. Always 0 without the renderer.
int IsDirect3DDrawUsable(void);
// Mask screens are not made in this system: -1 before anything is switched.
int SwitchMaskScreen(int flag);
// The display surface of the current draw target (a screen's, or a graph's store), or null in
// software rendering mode and for graphs kept in memory.
struct DdSurface;
DdSurface *GetDrawTargetSurface(void);
// The same, with the target's place on that surface (left as given for a screen or no surface).
DdSurface *GetDrawTargetSurfaceAt(int *x, int *y);
// 1 in window mode while the draw target's surface is the primary surface, else 0.
int IsWindowFrontTarget(void);
// Locks the draw target's surface (or store) whole for the software drawers. 0 / -1 (no target, lost).
int LockDrawTarget(void);
void UnlockDrawTarget(void);
// Ends pending Direct3D work before the graphics core touches pixels itself.
void EndDirect3DWork(void);
