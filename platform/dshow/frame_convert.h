// The stream's colour conversion of decoded pictures into surface pixels.
#pragma once
#include "platform/dshow/dshow.h"
#include "platform/dshow/theora_reader.h"

// One sample: 8-bit R, G, B of an 8-bit Y', Cb, Cr (studio range, clamped to 0..255).
void MmYCbCrToRgb(int y, int cb, int cr, int *r, int *g, int *b);
// Writes the picture (its offset and size within the coded planes, its chroma layout) at the
// target's top-left, in the target's format (16, 24 or 32 bits by masks). 0, or -1 for another depth
// or a target smaller than the picture. 565 and X888 take the widest fast rows the processor has (AVX2
// or SSE2) unless DAZAR_FAST_ROWS=0.
int MmConvertPicture(const MmPictureInfo *picture, const MmPlane planes[3], const MmSurfaceLock *target);
// The row sets: the reference rows, which the fast ones must equal byte for byte, and the fast ones.
enum MmConvertRows { MM_ROWS_REFERENCE, MM_ROWS_SSE2, MM_ROWS_AVX2 };
// The same through the row set given; -1 also when this processor has not that set.
int MmConvertPictureWith(const MmPictureInfo *picture, const MmPlane planes[3], const MmSurfaceLock *target,
                         MmConvertRows rows);
