// The circle of the software renderer.
#pragma once
#include <cstdint>

#include "lib/graphics/memimg.h"

// Draws a circle of radius r round (x0, y0) on dst: a filled disc when fill is non-zero (every row
// blended once, from the outline's leftmost to its rightmost point), else the midpoint outline
// (points that two octants share are blended twice). colour is in dst's format, tinted once
// (c * k >> 8) and combined by the current blend mode and parameter. Clips to the draw region.
// Draws nothing for an invalid view, a palette or alpha destination, a colour type other than 0
// and 1, a mode that draws nothing, a negative r, or a circle wholly outside the region.
void RasterizeMemImgCircle(MEMIMG *dst, int x0, int y0, int r, unsigned colour, int fill);

// One step of the midpoint circle walk: offsets x (0 upward) and y (r downward); shrinking is 1 when
// y falls after this step, so that rows +-y get their widest span now.
typedef void (*CircleStepVisitor)(void *context, int64_t x, int64_t y, int shrinking);
// Walks the midpoint circle of radius r (0 or more) round row y0: the step x = 0 first, then every
// step with y >= x, calling visit at each. Steps whose rows y0 +- x and y0 +- y all lie outside rows
// top .. bottom - 1 may be left out (the walk ends once no later row can reach them).
void WalkMidpointCircle(int64_t y0, int64_t r, int64_t top, int64_t bottom, CircleStepVisitor visit, void *context);
