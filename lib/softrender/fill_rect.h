// The filled rectangle of the software renderer.
#pragma once
#include "lib/graphics/memimg.h"

// Fills the rectangle {x1, y1, x2, y2} of dst (corners in either order; right and bottom exclusive),
// or the whole image when rect is null, clipped to the draw region, with colour in dst's format
// (type 1: 0xXXRRGGBB, mode 0 stores the top byte too; type 0: R5G6B5, higher bits ignored),
// tinted once by the bright colour (c * k >> 8) and combined by the current blend mode and
// parameter. Draws nothing for an invalid view, a palette or alpha destination, a colour type
// other than 0 and 1, or a mode (with its parameter) that draws nothing. rect is not changed.
void FillMemImgRect(MEMIMG *dst, const int *rect, unsigned colour);
