// The back screen as the next present would show it, on whichever route the library runs, and the
// per-field tolerance a route's pictures are compared with.
#pragma once
#include "lib/graphics/memimg.h"

// The back screen's memory image with the Direct3D device's drawing brought into it first (a lock of
// the screen surface reads the device back); null without screens.
const MEMIMG *ReadBackBackScreen(void);
// Steps per 5/6-bit field a picture may be off from the software route's: 0 on every route but the
// Direct3D one. There each blend may land a step apart (the device blends in normalised arithmetic
// and quantises once; software works in the 5/6-bit fields and truncates the scaled source), mode 2
// adds a step where software's packed add drops a low bit, and the game's frames stack two blends
// (darkness, then light discs over it): 3.
int RouteFieldTolerance(void);
// 1 when DAZAR_RENDER_ROUTE asks for the Direct3D route on a driver that has OpenGL (not SDL's
// "dummy"): the device must then really draw.
int IsDirect3DRouteExpected(void);
