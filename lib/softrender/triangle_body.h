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

// Test hook: 0 makes every span test each texel against the texture bounds (the reference), 1 (the
// default) lets spans that lie inside the texture run without the test.
void SetTriangleFastSpanUse(int enable);
extern int gTriangleFastSpanUse;

// One texel of a body at (u, v), known to lie inside the texture, onto dst.
template <int Type, int Kind, int Body, bool Tint, bool HasBlend, bool Trans>
inline void DrawTriangleTexel(const TriangleTextureDraw &d, typename MemImgPixel<Type>::Pixel *dst,
                              uint32_t u, uint32_t v)
{
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
    DrawTexel<Type, Kind, Body, Tint, HasBlend, Trans>(dst, texel, blendByte, d.snap);
}

// 1 when c, stepped by (int32) dc from pixel lo to pixel hi, stays inside 0..limit - 1 without
// wrapping: c is known inside at lo, and the 64-bit value at hi is checked.
inline bool StaysInTriangleTexture(uint32_t c, uint32_t dc, int32_t steps, uint32_t limit)
{
    int64_t end = static_cast<int64_t>(c) + static_cast<int64_t>(steps) * static_cast<int32_t>(dc);
    return end >= 0 && end < static_cast<int64_t>(limit);
}

// One textured body: the row walk, and per pixel only the texture bounds, the key or alpha test
// (inside DrawTexel) and the span end. A span's texels lie on a line, so once its first and last
// texels inside the texture are found, the stretch between them usually needs no bounds test.
template <int Type, int Kind, int Body, bool Tint, bool HasBlend, bool Trans>
void DrawTriangleTextureBody(const TriangleTextureDraw *draw)
{
    using Pixel = typename MemImgPixel<Type>::Pixel;
    // A local copy: the compiler then knows the pixel stores cannot change it.
    const TriangleTextureDraw d = *draw;
    const uint32_t dudx = d.setup.plane.dudx, dvdx = d.setup.plane.dvdx;
    const uint32_t uLimit = d.uLimit, vLimit = d.vLimit;
    const bool fast = gTriangleFastSpanUse != 0;
    WalkTriangleRows(d.setup, d.area, [&](int32_t y, int32_t xl, int32_t count) {
        uint32_t u0, v0;
        GetTrianglePlaneUV(d.setup.plane, xl, y, &u0, &v0);
        Pixel *dst = reinterpret_cast<Pixel *>(d.dstPixels + y * d.dstPitch) + xl;
        // Unsigned compares: negative coordinates are outside too; nothing wraps or clamps.
        auto inside = [&](int32_t i) {
            uint32_t step = static_cast<uint32_t>(i);
            return u0 + step * dudx < uLimit && v0 + step * dvdx < vLimit;
        };
        int32_t lo = 0, hi = count - 1;
        if (fast) {
            while (lo <= hi && !inside(lo)) ++lo;
            while (hi > lo && !inside(hi)) --hi;
            if (lo > hi) return;
            uint32_t u = u0 + static_cast<uint32_t>(lo) * dudx, v = v0 + static_cast<uint32_t>(lo) * dvdx;
            if (StaysInTriangleTexture(u, dudx, hi - lo, uLimit) &&
                StaysInTriangleTexture(v, dvdx, hi - lo, vLimit)) {
                for (int32_t i = lo; i <= hi; ++i, u += dudx, v += dvdx)
                    DrawTriangleTexel<Type, Kind, Body, Tint, HasBlend, Trans>(d, dst + i, u, v);
                return;
            }
        }
        uint32_t u = u0 + static_cast<uint32_t>(lo) * dudx, v = v0 + static_cast<uint32_t>(lo) * dvdx;
        for (int32_t i = lo; i <= hi; ++i, u += dudx, v += dvdx)
            if (u < uLimit && v < vLimit)
                DrawTriangleTexel<Type, Kind, Body, Tint, HasBlend, Trans>(d, dst + i, u, v);
    });
}

// The table of one colour type, in GetTriangleVariantIndex order.
template <int Type, size_t... I>
constexpr TriangleTextureBodyTable MakeTriangleTextureBodies(std::index_sequence<I...>)
{
    return TriangleTextureBodyTable{
        &DrawTriangleTextureBody<Type, static_cast<int>(I / 56), kTriangleBodies[(I / 8) % 7],
                                 ((I / 4) & 1) != 0, ((I / 2) & 1) != 0, (I & 1) != 0>...};
}
