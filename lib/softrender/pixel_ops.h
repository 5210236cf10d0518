// Per-pixel operations shared by every software drawer: the key test, the tint, texel blending and
// flat-colour blending in each blend mode, for colour types 0 (R5G6B5) and 1 (X8R8G8B8).
//
// A drawer decides once per call: it takes a PixelOpSnapshot, resolves the blend mode with
// ResolveBlendBody, picks its loop by (colour type, TexelKind, body, tint, blend image, transparent
// flag) as template arguments, and calls DrawTexel / BlendFlatColor per pixel. Nothing here tests a
// setting per pixel; only the key and the alpha 0 / 255 tests are per texel.
#pragma once
#include <cstdint>
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/memimg.h"

// How a source texel is read.
enum TexelKind : int {
    TEXEL_PALETTE = 0,      // 1 byte, an index into the source palette
    TEXEL_DIRECT = 1,       // 2 (type 0) or 4 (type 1) bytes in the destination's format
    TEXEL_DIRECT_ALPHA = 2, // 4 bytes: type 0 colour in bits 0-15, alpha 16-23; type 1 alpha on top
};

inline int GetTexelKind(const MemImgSharedRecord *source) {
    return source->paletteFlag ? TEXEL_PALETTE : source->alphaFlag ? TEXEL_DIRECT_ALPHA : TEXEL_DIRECT;
}

// What a drawer takes once at the start of a call.
struct PixelOpSnapshot {
    int mode;                   // blend mode as set
    int param;                  // p, 0..255
    const int32_t *scaleP;      // BlendScaleTable[p]
    const int32_t *diffP;       // centre of BlendDifferenceTable[p]
    const int32_t *tintRow[3];  // BlendScaleTable rows of the bright bytes: blue, green, red
    uint32_t bright;            // 0xRRGGBB
    int tintActive;             // bright != 0xFFFFFF
    uint32_t colorKey;          // source key (pixel value or palette index)
    const void *palette;        // source palette in the type's format (uint16_t / uint32_t), or null
    const uint8_t *blendLookup; // BlendImageLookup
};

// Fills snap from GDrawSettings and the source store (null for flat drawers).
inline void TakePixelOpSnapshot(PixelOpSnapshot *snap, const MemImgSharedRecord *source) {
    int p = ClampColorChannel(GDrawSettings.blendParam);
    uint32_t bright = GDrawSettings.bright & 0xFFFFFF;
    snap->mode = GDrawSettings.blendMode;
    snap->param = p;
    snap->scaleP = BlendScaleTable[p];
    snap->diffP = GetBlendDifferenceRow(p);
    snap->tintRow[0] = BlendScaleTable[bright & 0xFF];
    snap->tintRow[1] = BlendScaleTable[(bright >> 8) & 0xFF];
    snap->tintRow[2] = BlendScaleTable[(bright >> 16) & 0xFF];
    snap->bright = bright;
    snap->tintActive = bright != 0xFFFFFF;
    snap->colorKey = source ? source->colorKey : 0;
    snap->palette = source ? source->palette : nullptr;
    snap->blendLookup = BlendImageLookup;
}

// The loop body a blend mode runs at parameter p, or -1 when nothing is drawn: mode 1 at p = 255
// runs the copy; modes 1, 2 and 3 at p = 0, modes 5 to 9, above 11 and negative draw nothing.
inline int ResolveBlendBody(int mode, int p) {
    switch (mode) {
    case MEMIMG_BLEND_COPY: return 0;
    case MEMIMG_BLEND_ALPHA: return p == 255 ? 0 : p == 0 ? -1 : 1;
    case MEMIMG_BLEND_ADD: return p == 0 ? -1 : 2;
    case MEMIMG_BLEND_SUBTRACT: return p == 0 ? -1 : 3;
    case MEMIMG_BLEND_MULTIPLY: return 4;
    case MEMIMG_BLEND_INVERT_ALPHA: return 10;
    case MEMIMG_BLEND_MULTIPLY_ALPHA: return 11;
    default: return -1;
    }
}

// ---- pixel layouts ------------------------------------------------------------------------------
template <int Type> struct MemImgPixel;
template <> struct MemImgPixel<0> {
    using Pixel = uint16_t;
    static constexpr int kShift[3] = {0, 5, 11};    // blue, green, red
    static constexpr int kWidth[3] = {5, 6, 5};
    static constexpr uint32_t kMax[3] = {31, 63, 31};
    static constexpr uint32_t kKeep = 0;            // destination bits no blend touches
    static constexpr int kAlphaShift = 16;          // alpha byte of a direct-with-alpha texel
};
template <> struct MemImgPixel<1> {
    using Pixel = uint32_t;
    static constexpr int kShift[3] = {0, 8, 16};
    static constexpr int kWidth[3] = {8, 8, 8};
    static constexpr uint32_t kMax[3] = {255, 255, 255};
    static constexpr uint32_t kKeep = 0xFF000000u;  // the X byte
    static constexpr int kAlphaShift = 24;
};

template <int Type> inline uint32_t GetPixelField(uint32_t pixel, int i) {
    return (pixel >> MemImgPixel<Type>::kShift[i]) & MemImgPixel<Type>::kMax[i];
}
template <int Type> inline uint32_t TexelAlpha(uint32_t texel) {
    return (texel >> MemImgPixel<Type>::kAlphaShift) & 0xFF;
}

// L_n(d, s, W) = floor((d * 2^(8n) + (s - d) * W) / 2^(8n)), exact: the sum lies in 0..2^32, which a
// signed 32-bit intermediate would overflow at n = 3, so it is taken in 64 bits.
template <int N> inline uint32_t MixField(uint32_t d, uint32_t s, uint32_t w) {
    int64_t t = ((int64_t)d << (8 * N)) + ((int64_t)s - (int64_t)d) * (int64_t)w;
    return (uint32_t)(t >> (8 * N));
}

// ---- packed add and subtract --------------------------------------------------------------------
// All three fields in one 32-bit operation. Blue is exact and saturates; green and red add their
// upper seven bits and take the carry of the field below (ORed with both low bits) as their lowest
// bit; a carry out of a field fills it. The top byte is 1 when red carried.
inline uint32_t PackedAdd8888(uint32_t d, uint32_t s) {
    uint32_t sum = (d & 0xFEFEFFu) + (s & 0xFEFEFFu);
    uint32_t carries = sum & 0x1010100u;
    uint32_t fill = carries - (carries >> 8);
    return sum | fill | ((d | s) & 0x10100u);
}
// A field that borrowed becomes 0; green's and red's lowest bit is 1 when the field below did not
// borrow. The top byte is always 0.
inline uint32_t PackedSubtract8888(uint32_t d, uint32_t s) {
    uint32_t diff = (d | 0x1010100u) - (s & 0xFEFEFFu);
    uint32_t kept = diff & 0x1010100u;
    uint32_t fill = kept - (kept >> 8);
    return diff & fill;
}
// 16-bit forms: blue exact; green adds its upper five bits, red its upper four. A carry out of
// green fills only its upper five bits (62 or 63).
inline uint32_t PackedAdd565(uint32_t d, uint32_t s) {
    uint32_t sum = (d & 0xF7DFu) + (s & 0xF7DFu);
    uint32_t carries = sum & 0x8210820u;
    uint32_t fill = carries - (carries >> 5);
    return (sum | fill | ((d | s) & 0x0820u)) & 0xFFFFu;
}
// The fill never covers green's lowest bit, so green's lowest bit always comes out 0.
inline uint32_t PackedSubtract565(uint32_t d, uint32_t s) {
    uint32_t diff = (d | 0x8210820u) - (s & 0xF7DFu);
    uint32_t kept = diff & 0x8210820u;
    uint32_t fill = kept - (kept >> 5);
    return diff & fill & 0xFFFFu;
}
// The processor's packed saturating byte subtract on all four bytes, top byte included:
// byte i = max(d_i - s_i, 0). Chosen by the scaled blit when GetMmxAvailable() is 1.
inline uint32_t SubtractSaturate8888(uint32_t d, uint32_t s) {
    uint32_t r = 0;
    for (int i = 0; i < 32; i += 8) {
        uint32_t a = (d >> i) & 0xFF, b = (s >> i) & 0xFF;
        r |= (a > b ? a - b : 0) << i;
    }
    return r;
}

// ---- tint ---------------------------------------------------------------------------------------
// TintTexel: every field v becomes S[k][v] with its own bright byte; other bits come out 0.
template <int Type> inline uint32_t TintTexel(uint32_t colour, const PixelOpSnapshot &sn) {
    uint32_t r = 0;
    for (int i = 0; i < 3; ++i)
        r |= (uint32_t)sn.tintRow[i][GetPixelField<Type>(colour, i)] << MemImgPixel<Type>::kShift[i];
    return r;
}
// Shift form (rectangle, line, circle; only while the tint is active): field c becomes c * k >> 8.
// A type 1 colour keeps its top byte.
template <int Type> inline uint32_t TintFlatColorShift(uint32_t colour, uint32_t bright) {
    uint32_t r = colour & MemImgPixel<Type>::kKeep;
    for (int i = 0; i < 3; ++i) {
        uint32_t k = (bright >> (8 * i)) & 0xFF;
        r |= ((GetPixelField<Type>(colour, i) * k) >> 8) << MemImgPixel<Type>::kShift[i];
    }
    return r;
}
// Table form (flat triangles, on every draw): field c becomes S[k][c]. Keeps a type 1 top byte.
template <int Type> inline uint32_t TintFlatColorTable(uint32_t colour, uint32_t bright) {
    uint32_t r = colour & MemImgPixel<Type>::kKeep;
    for (int i = 0; i < 3; ++i) {
        uint32_t k = (bright >> (8 * i)) & 0xFF;
        r |= (uint32_t)BlendScaleTable[k][GetPixelField<Type>(colour, i)] << MemImgPixel<Type>::kShift[i];
    }
    return r;
}

// ---- blending -----------------------------------------------------------------------------------
// BlendTexel: the new destination pixel for texel colour c (palette entry or texel, untinted) in
// body Mode (ResolveBlendBody) with NW weights whose product is w (blend factor f, texel alpha a,
// or f * a). Tint runs inside when Tint is set (after the inversion of mode 10).
template <int Type, int Mode, bool Tint, int NW>
inline uint32_t BlendTexel(uint32_t d, uint32_t c, uint32_t w, const PixelOpSnapshot &sn) {
    using P = MemImgPixel<Type>;
    if constexpr (Mode == 0 && NW == 0 && !Tint)
        return Type == 0 ? (c & 0xFFFF) : c;   // the whole texel: a type 1 X or alpha byte too
    uint32_t s = c;
    if constexpr (Mode == 10) {
        s = 0;
        for (int i = 0; i < 3; ++i) s |= (P::kMax[i] - GetPixelField<Type>(c, i)) << P::kShift[i];
    }
    if constexpr (Tint) s = TintTexel<Type>(s, sn);
    if constexpr (Type == 1 && (Mode == 1 || Mode == 10) && NW == 0) {
        // L_1(d, s, p) = (d * (256 - p) + s * p) >> 8, never negative: red and blue share one
        // multiply (each lane stays below 2^16), green takes another.
        uint32_t p = (uint32_t)sn.param, q = 256 - p;
        uint32_t rb = (((d & 0xFF00FFu) * q + (s & 0xFF00FFu) * p) >> 8) & 0xFF00FFu;
        uint32_t g = (((d & 0xFF00u) * q + (s & 0xFF00u) * p) >> 8) & 0xFF00u;
        return (d & P::kKeep) | rb | g;
    }
    if constexpr (Mode == 2 || Mode == 3) {
        uint32_t sp = 0;  // the source scaled by p (and the weights)
        for (int i = 0; i < 3; ++i) {
            uint32_t sv = GetPixelField<Type>(s, i), v;
            if constexpr (NW == 0)
                v = (uint32_t)sn.scaleP[sv];
            else if constexpr (Type == 1)
                v = (uint32_t)(((uint64_t)sv * w * (uint32_t)sn.param) >> (8 * (NW + 1)));
            else
                v = (uint32_t)sn.scaleP[(sv * w) >> (8 * NW)];
            sp |= v << P::kShift[i];
        }
        if constexpr (Type == 0)
            return Mode == 2 ? PackedAdd565(d, sp) : PackedSubtract565(d, sp);
        else
            return Mode == 2 ? PackedAdd8888(d, sp) : PackedSubtract8888(d, sp);
    }
    uint32_t r = d & P::kKeep;
    for (int i = 0; i < 3; ++i) {
        uint32_t dv = GetPixelField<Type>(d, i), sv = GetPixelField<Type>(s, i), v;
        if constexpr (Mode == 0) {
            if constexpr (NW == 0) v = sv;
            else v = MixField<NW>(dv, sv, w);
        } else if constexpr (Mode == 1 || Mode == 10 || Mode == 11) {
            uint32_t t = sv;
            if constexpr (Mode == 11) t = (dv * sv) >> P::kWidth[i];
            if constexpr (NW > 0) v = MixField<NW + 1>(dv, t, w * (uint32_t)sn.param);
            else if constexpr (Type == 1) v = MixField<1>(dv, t, (uint32_t)sn.param);
            else v = (uint32_t)((int32_t)dv + sn.diffP[(int32_t)t - (int32_t)dv]);
        } else {  // 4: multiply, the weights darken
            if constexpr (NW == 0) v = (dv * sv) >> P::kWidth[i];
            else v = (uint32_t)(((uint64_t)dv * sv * w) >> (P::kWidth[i] + 8 * NW));
        }
        r |= v << P::kShift[i];
    }
    return r;
}

// BlendFlatColor: the new destination pixel for a flat colour c already tinted (TintFlatColor*).
// Mode 0 stores c unchanged (type 1: all 32 bits).
template <int Type, int Mode>
inline uint32_t BlendFlatColor(uint32_t d, uint32_t c, const PixelOpSnapshot &sn) {
    return BlendTexel<Type, Mode, false, 0>(d, c, 0, sn);
}

// IsTransparentTexel, for a draw with the transparent flag set: palette index or whole pixel equal
// to the key (zero-extended, so a key above 255 or 0xFFFF never matches), or alpha 0.
template <int Type, int Kind> inline bool IsTransparentTexel(uint32_t texel, uint32_t key) {
    if constexpr (Kind == TEXEL_DIRECT_ALPHA) return TexelAlpha<Type>(texel) == 0;
    else return texel == key;
}

// DrawTexel: one texel onto one destination pixel: key or alpha test (Trans), palette lookup,
// weights (blend byte through BlendImageLookup when HasBlend, texel alpha), tint and blend.
// With Trans an alpha-255 texel is blended as a texel without alpha.
template <int Type, int Kind, int Mode, bool Tint, bool HasBlend, bool Trans>
inline void DrawTexel(typename MemImgPixel<Type>::Pixel *dst, uint32_t texel, uint32_t blendByte,
                      const PixelOpSnapshot &sn) {
    using Pixel = typename MemImgPixel<Type>::Pixel;
    constexpr int NB = HasBlend ? 1 : 0;
    uint32_t f = HasBlend ? sn.blendLookup[blendByte & 0xFF] : 0;
    if constexpr (Kind == TEXEL_PALETTE || Kind == TEXEL_DIRECT) {
        if constexpr (Trans) {
            if (texel == sn.colorKey) return;
        }
        uint32_t c = texel;
        if constexpr (Kind == TEXEL_PALETTE) c = static_cast<const Pixel *>(sn.palette)[texel];
        *dst = (Pixel)BlendTexel<Type, Mode, Tint, NB>(*dst, c, f, sn);
    } else {
        uint32_t a = TexelAlpha<Type>(texel);
        uint32_t c = Type == 0 ? (texel & 0xFFFF) : texel;
        if constexpr (Trans) {
            if (a == 0) return;
            if (a == 255) {
                *dst = (Pixel)BlendTexel<Type, Mode, Tint, NB>(*dst, c, f, sn);
                return;
            }
        }
        *dst = (Pixel)BlendTexel<Type, Mode, Tint, NB + 1>(*dst, c, HasBlend ? f * a : a, sn);
    }
}
