// The textured triangle bodies: one copy of the row walk per (colour type, texel kind, blend body,
// tint, blend image, transparent flag), chosen once per call from a table.
#pragma once
#include <array>
#include <cstdint>
#include <utility>

#include "lib/softrender/pixel_ops.h"
#include "lib/softrender/triangle_setup.h"

// Everything a textured body reads, fixed before the first row.
struct TriangleTextureDraw {
    TriangleSetup setup;        // edges and texture plane
    Rect area;                  // draw region cut to the destination
    uint8_t *dstPixels;         // destination pixel (0, 0)
    intptr_t dstPitch;          // bytes per destination row
    const uint8_t *texPixels;   // texel (0, 0)
    intptr_t texPitch;          // bytes per texture row
    uint32_t uLimit, vLimit;    // texture width and height, 14.18 (below 2^32: sizes < 16384)
    const uint8_t *blendPixels; // blend image byte (0, 0), or null
    intptr_t blendPitch;        // bytes per blend image row
    PixelOpSnapshot snap;       // draw settings, table rows, key and palette
};

typedef void (*TriangleTextureBodyFn)(const TriangleTextureDraw *draw);

// The bodies a blend mode resolves to (ResolveBlendBody), in table order.
constexpr int kTriangleBodies[7] = {0, 1, 2, 3, 4, 10, 11};
constexpr int kTriangleVariantCount = 3 * 7 * 8;  // texel kinds x bodies x (tint, blend, transparent)

// Table index of a body; body is one of kTriangleBodies.
inline int GetTriangleBodyIndex(int body) { return body < 10 ? body : body - 5; }
inline int GetTriangleVariantIndex(int kind, int bodyIndex, int tint, int blend, int transparent)
{
    return ((kind * 7 + bodyIndex) * 2 + (tint ? 1 : 0)) * 4 + (blend ? 2 : 0) + (transparent ? 1 : 0);
}

// The body tables of the two colour types (one translation unit each).
using TriangleTextureBodyTable = std::array<TriangleTextureBodyFn, kTriangleVariantCount>;
extern const TriangleTextureBodyTable kTriangleTextureBodies565;
extern const TriangleTextureBodyTable kTriangleTextureBodies8888;

// One textured body: the row walk, and per pixel only the texture bounds, the key or alpha test
// (inside DrawTexel) and the span end.
template <int Type, int Kind, int Body, bool Tint, bool HasBlend, bool Trans>
void DrawTriangleTextureBody(const TriangleTextureDraw *draw)
{
    using Pixel = typename MemImgPixel<Type>::Pixel;
    const TriangleTextureDraw &d = *draw;
    const uint32_t dudx = d.setup.plane.dudx, dvdx = d.setup.plane.dvdx;
    WalkTriangleRows(d.setup, d.area, [&](int32_t y, int32_t xl, int32_t count) {
        uint32_t u, v;
        GetTrianglePlaneUV(d.setup.plane, xl, y, &u, &v);
        Pixel *dst = reinterpret_cast<Pixel *>(d.dstPixels + y * d.dstPitch) + xl;
        for (int32_t i = 0; i < count; ++i, u += dudx, v += dvdx) {
            // Unsigned compare: negative coordinates are outside too; nothing wraps or clamps.
            if (u >= d.uLimit || v >= d.vLimit) continue;
            uint32_t col = u >> kTriangleFracBits, row = v >> kTriangleFracBits;
            const uint8_t *texRow = d.texPixels + row * d.texPitch;
            uint32_t texel;
            if constexpr (Kind == TEXEL_PALETTE)
                texel = texRow[col];
            else if constexpr (Type == 0 && Kind == TEXEL_DIRECT)
                texel = reinterpret_cast<const uint16_t *>(texRow)[col];
            else
                texel = reinterpret_cast<const uint32_t *>(texRow)[col];
            uint32_t blendByte = 0;
            if constexpr (HasBlend) blendByte = d.blendPixels[row * d.blendPitch + col];
            DrawTexel<Type, Kind, Body, Tint, HasBlend, Trans>(dst + i, texel, blendByte, d.snap);
        }
    });
}

// The table of one colour type, in GetTriangleVariantIndex order.
template <int Type, size_t... I>
constexpr TriangleTextureBodyTable MakeTriangleTextureBodies(std::index_sequence<I...>)
{
    return TriangleTextureBodyTable{
        &DrawTriangleTextureBody<Type, static_cast<int>(I / 56), kTriangleBodies[(I / 8) % 7], ((I / 4) & 1) != 0,
                                 ((I / 2) & 1) != 0, (I & 1) != 0>...};
}
