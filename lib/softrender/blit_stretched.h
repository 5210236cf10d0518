// The scaled and mirrored blit of the software renderer.
#pragma once
#include <cstdint>
#include "lib/graphics/memimg.h"

constexpr int64_t kMaxStretchSide = 32767;   // largest ordered width and height; more overflows i * 65536

// Draws the whole of src scaled into the rectangle {x1, y1, x2, y2} of dst (right and bottom
// exclusive), mirrored left to right when x1 > x2 and top to bottom when y1 > y2, clipped to the
// draw region, with the current blend mode, parameter and bright colour, the source's colour key
// (trans non-zero) or alpha, and blend image blend (null = none; read at the same source position,
// mirrored alike). Destination pixel i from the unclipped left shows source column
// floor(i * 65536 / scaleX), scaleX = width * 65536 / source width (rows alike), whatever the
// clipping. A same-size unmirrored draw is handed to BlitMemImg. Draws nothing for an invalid view,
// an empty rectangle, a width or height of 32768 or more, a source of a colour type other than 0
// and 1 or other than dst's, a palette or alpha destination, a blend image narrower (in bytes) or
// lower than src, or a mode that draws nothing. rect is not changed.
void BlitMemImgStretched(MEMIMG *dst, const MEMIMG *src, const int *rect, int trans, const MEMIMG *blend);
