// Vector rows of the whole-image blit: blend bodies that work on 16 bytes of pixels at a time,
// bit for bit the results of the per-pixel bodies, which stay as their reference.
#pragma once
#include <cstdint>

#include "lib/softrender/pixel_ops.h"

// Bodies of the whole-image blit beyond the shared ones (ResolveBlendBody numbers 0 to 11).
enum {
    BODY_HALF = 20,    // mode 1 at p = 128: average of the two pixels by halving shifts
    BODY_ALPHA6 = 21,  // type 0 mode 1: each field through Blend6BitAlphaTable[p >> 2]
};

// One row of a blit: count texels from src (and blend bytes) onto count pixels at dst.
typedef void (*BlitRowFn)(uint8_t *dst, const uint8_t *src, const uint8_t *blend, int count, const PixelOpSnapshot &sn);

// The vector row of body (1, 2, 3, 4, 10, BODY_HALF or BODY_ALPHA6) for colour type type, direct
// texels without tint or blend image, between two stores; keyed: texels equal to the snapshot's
// key leave their pixels as they were. Null when there is none: another body, no vector unit, or
// the vector rows switched off.
BlitRowFn PickVectorBlitRow(int type, int body, bool keyed);
// How far the blit may use the processor's vectors and short-cuts (tests compare the levels): OFF,
// its per-pixel bodies everywhere and copies in 16-byte pieces, and the scaled blit drawing every
// row anew; NARROW, the vector rows and copies in 16-byte pieces; WIDEST, the default, both in the
// widest pieces the processor has.
enum { BLIT_VECTOR_OFF, BLIT_VECTOR_NARROW, BLIT_VECTOR_WIDEST };
void SetBlitVectorUse(int level);
int GetBlitVectorUse(void);
