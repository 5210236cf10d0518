// The software triangle: textured (palette, direct, direct with alpha) or flat, on 16-bit and
// 32-bit memory images, in every blend mode.
#pragma once
#include <cstdint>

#include "lib/graphics/memimg.h"

// One corner of a software triangle: destination pixel x, y and texel u, v.
struct TriangleVertex {
    int32_t x, y, u, v;
};

constexpr int32_t kTriangleCoordMin = -8192;          // vertex x, y, u, v limits
constexpr int32_t kTriangleCoordMax = 8191;
constexpr int32_t kTriangleMaxSpread = 8191;          // largest distance between two vertices
constexpr int32_t kTriangleMaxTexture = 16383;        // largest texture width and height

// 1 when the three values (the x, y, u or v of the vertices) lie in kTriangleCoordMin..Max and no
// two are more than kTriangleMaxSpread apart, else 0.
int AreTriangleValuesInLimits(int32_t a, int32_t b, int32_t c);

// Fills the triangle of vertices[3] on dst, clipped to the draw region of GDrawSettings, with the
// current blend mode, parameter and bright colour. With a texture each pixel takes the texel of
// the affine u, v mapping (texels outside the texture leave the pixel as it was), skips key texels
// when transparent is non-zero, and is weighted by the blend image's byte at the texel when blend
// is given; without one it is filled with colour (in dst's pixel format, tinted by the bright
// colour). Spans include both ends, so triangles sharing an edge both draw it; the bottom row is
// not drawn. Draws nothing for: a palette, alpha or non-16/32-bit destination; a texture of another
// colour type, 16384 or more wide or high; a blend image narrower (in bytes) or lower than the
// texture; any x, y (and with a texture u, v) outside -8192..8191 or two of them more than 8191
// apart; collinear vertices; modes 5-9, above 11 or negative; modes 1 and 2 at parameter 0; mode 3
// at parameter 0 except with a palette texture, which runs the packed subtract of a zero source.
// Keeps no state; writes nothing outside the draw region.
void RasterizeMemImgTriangle(MEMIMG *dst, const MEMIMG *texture, const TriangleVertex vertices[3],
                             int transparent, const MEMIMG *blend, uint32_t colour);
