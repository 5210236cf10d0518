// Public draw entries and their routes: texture graphs and boxes go to the Direct3D renderer while it
// is in use, everything else to the software drawers on the draw target's memory image.
#pragma once
#include <cstdint>

#include "lib/graphics/graph.h"
#include "lib/graphics/memimg.h"
#include "lib/softrender/lines.h"
#include "lib/softrender/triangle.h"

// ---- public entries (used by the game) ----------------------------------------------------------
// Each returns 0 without drawing while the no-draw guard is set, -1 before the display exists or for
// a stale graph handle, and waits (pumping) while the application is inactive.

// How each entry begins (and the text core before it draws glyph cells on the device): 1 when the draw
// goes on; else *result holds what the entry returns (0 under the guard, -1 before the display
// exists). Waits (pumping) while the application is inactive.
int BeginDrawEntry(int *result);
// Draws a graph with its top-left corner at (x, y); trans 1 skips its transparent pixels. 0 / -1.
int PutGraph(int x, int y, int graph, int trans);
// Draws a graph stretched into (x1, y1)-(x2, y2), right and bottom exclusive; mirrored when
// x1 > x2 or y1 > y2. Sizes of 32768 or more draw nothing (0). 0 / -1.
int PutGraphStretched(int x1, int y1, int x2, int y2, int graph, int trans);
// Draws a graph onto the quadrilateral of corners top-left, top-right, bottom-right, bottom-left
// (x, y each), in software as two triangles. Corners outside -8192..8191 or more than 8191 apart
// draw nothing (0). 0 / -1.
int PutGraphFreeQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                     int trans);
// A box from (x1, y1) to (x2, y2), right and bottom exclusive, colour in the screen's format;
// fill 1: PaintFilledBox, else PaintBoxOutline. 0 / -1.
int PaintRectangle(int x1, int y1, int x2, int y2, uint32_t colour, int fill);
int PaintFilledBox(int x1, int y1, int x2, int y2, uint32_t colour);
int PaintBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour);
// A circle of radius r round (x, y): a disc with fill 1. r < 0 draws nothing (0). 0 / -1.
int PaintCircle(int x, int y, int r, uint32_t colour, int fill);
// Selects a graph (or -1 = none) whose pixels weight later draws, with its border parameter and
// range (clamped to 0..255). -1 for a handle that is not a live graph. 0.
int SelectBlendGraph(int graph, int borderParam, int borderRange);

// ---- Direct3D subtractive boxes -----------------------------------------------------------------
// Two-pass blend mode 3 on the device: an inverting white box before / after the draw. 0.
int BeginSubtractiveBlend(const Rect *rect);
int EndSubtractiveBlend(const Rect *rect);

// ---- software callers ---------------------------------------------------------------------------
// Each ends Direct3D work first, draws on the draw target's memory image and refuses (draws nothing,
// 0) input outside the drawer's limits; -1 without a draw target or for a graph without pixels.
int DrawSurface2DAt(int x, int y, GraphRecord *graph, int trans);
int DrawSurface2DStretched(int x1, int y1, int x2, int y2, GraphRecord *graph, int trans, int surface2D);
int RenderFilledBox2D(int x1, int y1, int x2, int y2, uint32_t colour);
int RenderBoxOutline2D(int x1, int y1, int x2, int y2, uint32_t colour);
int RenderLineList2D(const LineSegmentRecord *records, int count);
// vertices with u, v in the graph's pixels; graph null: a flat triangle of colour.
int RenderTriangle2D(const TriangleVertex vertices[3], GraphRecord *graph, int trans, uint32_t colour);
int RenderCircle2D(int x, int y, int r, uint32_t colour, int fill);
// Draws a memory image (a view of a graph's pixels) onto dst at (x, y) / stretched into rect /
// as a triangle, with the same refusals and the current blend graph. 0.
int DrawMemImgAt(MEMIMG *dst, const MEMIMG *src, int x, int y, int trans);
int DrawMemImgStretched(MEMIMG *dst, const MEMIMG *src, const int rect[4], int trans);
int DrawMemImgTriangle(MEMIMG *dst, const MEMIMG *src, const TriangleVertex vertices[3], int trans,
                       uint32_t colour);

// The fast blit (a plain or keyed unscaled copy between display surfaces) on (1, the default) or
// off (0: such draws go through the locked views too). 0.
int SetFastBlitUse(int enable);

// ---- the software route -------------------------------------------------------------------------
// The software drawers the callers above reach. Replaceable (tests put spies in).
struct SoftwareDrawRoute {
    const char *name;
    void (*blit)(MEMIMG *dst, const MEMIMG *src, int x, int y, int trans, const MEMIMG *blend);
    void (*blitStretched)(MEMIMG *dst, const MEMIMG *src, const int *rect, int trans, const MEMIMG *blend);
    void (*fillRect)(MEMIMG *dst, const int *rect, unsigned colour);
    void (*lineList)(MEMIMG *dst, const LineSegmentRecord *records, int count);
    void (*triangle)(MEMIMG *dst, const MEMIMG *texture, const TriangleVertex vertices[3], int trans,
                     const MEMIMG *blend, uint32_t colour);
    void (*circle)(MEMIMG *dst, int x, int y, int r, unsigned colour, int fill);
};
// Replaces the route (copied; null entries keep the software renderer's drawers); null restores it. 0.
int SetSoftwareDrawRoute(const SoftwareDrawRoute *route);
// The route in use.
const SoftwareDrawRoute *GetSoftwareDrawRoute(void);
