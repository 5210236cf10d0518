// The stream's colour conversion of decoded pictures into surface pixels.
#pragma once
#include "platform/dshow/dshow.h"
#include "platform/dshow/theora_reader.h"

// One sample: 8-bit R, G, B of an 8-bit Y', Cb, Cr (studio range, clamped to 0..255).
void MmYCbCrToRgb(int y, int cb, int cr, int *r, int *g, int *b);
// Writes the picture (its offset and size within the coded planes, its chroma layout) at the
// target's top-left, in the target's format (16, 24 or 32 bits by masks). 0, or -1 for another depth
// or a target smaller than the picture. 565 and X888 take the SSE2 rows unless DAZAR_FAST_ROWS=0.
int MmConvertPicture(const MmPictureInfo *picture, const MmPlane planes[3], const MmSurfaceLock *target);
// The same through the reference rows alone (what the fast rows must equal byte for byte).
int MmConvertPictureReference(const MmPictureInfo *picture, const MmPlane planes[3], const MmSurfaceLock *target);
