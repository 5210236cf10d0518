// The whole-image blit of one memory image onto another.
#pragma once
#include "lib/graphics/memimg.h"

// Draws the whole of src with its top-left corner at (x, y) of dst, clipped to the draw region of
// GDrawSettings (and to dst), with the current blend mode, blend parameter and bright colour, the
// source's colour key (trans = 1) or alpha, and blend image blend (null = none; its byte at the
// texel's source column and row, one byte per column, gives the factor through BlendImageLookup).
// Draws nothing for an invalid view, a source of another colour type than dst, a palette or alpha
// destination, a destination of type 2 or 3, a blend image narrower (in bytes) or lower than src,
// or a mode that draws nothing. Besides the shared pixel operations it has a half blend for mode
// 1 at p = 128 and the 6-bit alpha table for type 0 mode 1 (each only without tint, blend image
// and source alpha). A keyed draw between two stores walks the run table of the source's store,
// for any view and clip (runs are cut at the view's and the clip's edges), except where a vector
// row tests the key a group of texels at a time. src and dst may share a store and overlap: a
// plain copy then moves each row as it was, a keyed one walks texel by texel from the left.
void BlitMemImg(MEMIMG *dst, const MEMIMG *src, int x, int y, int trans, const MEMIMG *blend);
