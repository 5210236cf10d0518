// Lines and line lists of the software renderer.
#pragma once
#include <cstdint>
#include "lib/graphics/memimg.h"

// One segment of a line list: start, end, colour in the destination's format, and a word the
// drawers do not read (the box outline keeps the blend parameter there).
struct LineSegmentRecord {
    int32_t x1, y1;
    int32_t x2, y2;
    int32_t colour;
    int32_t param;
};

// Draws the segment from (x1, y1) to (x2, y2) on dst: the start pixel is drawn and the end pixel
// is not; clipped to the draw region in double precision; stepped along the longer axis; colour
// tinted once (c * k >> 8) and combined by the current blend mode and parameter. Draws nothing for
// an invalid view, a palette or alpha destination, a colour type other than 0 and 1, a mode that
// draws nothing, or a segment whose clipped ends coincide.
void RasterizeMemImgLine(MEMIMG *dst, int x1, int y1, int x2, int y2, unsigned colour);
// Draws records 0 to count - 1 in order, each as RasterizeMemImgLine would; count <= 0 or a null
// list draws nothing. The records are not changed.
void RasterizeMemImgLineList(MEMIMG *dst, const LineSegmentRecord *records, int count);
