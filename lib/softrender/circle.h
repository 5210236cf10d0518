// The circle of the software renderer.
#pragma once
#include "lib/graphics/memimg.h"

// Draws a circle of radius r round (x0, y0) on dst: a filled disc when fill is non-zero (every row
// blended once, from the outline's leftmost to its rightmost point), else the midpoint outline
// (points that two octants share are blended twice). colour is in dst's format, tinted once
// (c * k >> 8) and combined by the current blend mode and parameter. Clips to the draw region.
// Draws nothing for an invalid view, a palette or alpha destination, a colour type other than 0
// and 1, a mode that draws nothing, a negative r, or a circle wholly outside the region.
void RasterizeMemImgCircle(MEMIMG *dst, int x0, int y0, int r, unsigned colour, int fill);
