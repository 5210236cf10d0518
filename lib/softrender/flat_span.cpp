// Flat-colour loops: one scalar loop per (colour type, blend body) built on BlendFlatColor, and
// SSE2 span loops that compute the same integers eight (type 0) or four (type 1) pixels at a time;
// the plain fill stores 32 bytes at a time where the processor has AVX2.
#include "lib/softrender/flat_span.h"
#include <algorithm>
#include <cstring>
#include "lib/softrender/blit_vector.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#define FLAT_SPAN_SSE2 1
#else
#define FLAT_SPAN_SSE2 0
#endif
#if FLAT_SPAN_SSE2 && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define FLAT_SPAN_WIDE 1
#else
#define FLAT_SPAN_WIDE 0
#endif

static int gFlatVectorUse = BLIT_VECTOR_WIDEST;   // test hook: the levels the blit's hook takes

void SetFlatSpanVectorUse(int level) {
    gFlatVectorUse = std::clamp(level, (int)BLIT_VECTOR_OFF, (int)BLIT_VECTOR_WIDEST);
}

namespace {

template <int Type> using FlatPixelT = typename MemImgPixel<Type>::Pixel;

// ---- scalar loops -------------------------------------------------------------------------------
// One pixel through the shared per-pixel rule.
template <int Type, int Body> void FlatPixel(uint8_t *dst, const FlatDraw *fd) {
    auto *p = reinterpret_cast<FlatPixelT<Type> *>(dst);
    *p = (FlatPixelT<Type>)BlendFlatColor<Type, Body>(*p, fd->colour, fd->snap);
}

// count pixels through the shared per-pixel rule: the reference the vector loops are held to.
template <int Type, int Body> void FlatSpanScalar(uint8_t *dst, int count, const FlatDraw *fd) {
    auto *p = reinterpret_cast<FlatPixelT<Type> *>(dst);
    const uint32_t c = fd->colour;
    const PixelOpSnapshot &sn = fd->snap;
    for (int i = 0; i < count; ++i) p[i] = (FlatPixelT<Type>)BlendFlatColor<Type, Body>(p[i], c, sn);
}

// Offsets rather than a moving pointer: the step after the last pixel may leave the image.
template <int Type, int Body>
void FlatLine(uint8_t *dst, int count, ptrdiff_t majorStep, ptrdiff_t minorStep, int minor, int major,
              const FlatDraw *fd) {
    ptrdiff_t off = 0;
    int err = 0;
    for (int k = 0; k < count; ++k) {
        FlatPixel<Type, Body>(dst + off, fd);
        err += minor;
        off += majorStep;
        if (err >= major) {
            off += minorStep;
            err -= major;
        }
    }
}

#if FLAT_SPAN_SSE2
// ---- vector loops, type 0 (eight 16-bit pixels) ------------------------------------------------
struct Fields565 {
    __m128i b, g, r;
};

// The blue, green and red fields of eight pixels, one per 16-bit lane.
inline Fields565 Split565(__m128i px) {
    return {_mm_and_si128(px, _mm_set1_epi16(0x1F)), _mm_and_si128(_mm_srli_epi16(px, 5), _mm_set1_epi16(0x3F)),
            _mm_srli_epi16(px, 11)};
}

// Eight pixels from their fields.
inline __m128i Join565(const Fields565 &f) {
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(f.r, 11), _mm_slli_epi16(f.g, 5)), f.b);
}

// d + trunc(p * (s - d) / 255) per lane, the difference table's rule: |s - d| * p < 65536, and
// n / 255 = (n * 0x8081) >> 23 exactly for such n; the sign is put back afterwards (toward zero).
inline __m128i MixByDifference(__m128i d, __m128i s, __m128i p) {
    __m128i diff = _mm_sub_epi16(s, d);
    __m128i sign = _mm_srai_epi16(diff, 15);
    __m128i mag = _mm_sub_epi16(_mm_xor_si128(diff, sign), sign);
    __m128i q = _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(mag, p), _mm_set1_epi16((short)0x8081)), 7);
    return _mm_add_epi16(d, _mm_sub_epi16(_mm_xor_si128(q, sign), sign));
}

// Per-call constants of the type 0 loops.
struct Vec565 {
    Fields565 s;       // colour fields (inverted for body 10)
    __m128i p;         // blend parameter
    __m128i sMasked;   // scaled colour & 0xF7DF, 32-bit lanes (bodies 2, 3)
    __m128i sLow;      // scaled colour & 0x0820, 32-bit lanes (body 2)
};

// The type 0 constants of one span: body 10 inverts the colour here, once.
template <int Body> inline Vec565 MakeVec565(const FlatDraw *fd) {
    uint32_t c = fd->colour;
    if (Body == 10) c ^= 0xFFFF;   // M - s on every field
    Vec565 k;
    k.s = Split565(_mm_set1_epi16((short)c));
    k.p = _mm_set1_epi16((short)fd->snap.param);
    k.sMasked = _mm_set1_epi32((int)(fd->scaled & 0xF7DFu));
    k.sLow = _mm_set1_epi32((int)(fd->scaled & 0x0820u));
    return k;
}

// The packed add or subtract on four zero-extended pixels in 32-bit lanes.
template <int Body> inline __m128i Packed565x4(__m128i d, const Vec565 &k) {
    const __m128i guard = _mm_set1_epi32(0x8210820);
    if constexpr (Body == 2) {
        __m128i sum = _mm_add_epi32(_mm_and_si128(d, _mm_set1_epi32(0xF7DF)), k.sMasked);
        __m128i carries = _mm_and_si128(sum, guard);
        __m128i fill = _mm_sub_epi32(carries, _mm_srli_epi32(carries, 5));
        __m128i low = _mm_or_si128(_mm_and_si128(d, _mm_set1_epi32(0x0820)), k.sLow);
        return _mm_or_si128(_mm_or_si128(sum, fill), low);
    } else {
        __m128i diff = _mm_sub_epi32(_mm_or_si128(d, guard), k.sMasked);
        __m128i kept = _mm_and_si128(diff, guard);
        __m128i fill = _mm_sub_epi32(kept, _mm_srli_epi32(kept, 5));
        return _mm_and_si128(diff, fill);
    }
}

// Low 16 bits of each 32-bit lane of lo and hi, packed back into eight pixels.
inline __m128i Narrow32To16(__m128i lo, __m128i hi) {
    lo = _mm_srai_epi32(_mm_slli_epi32(lo, 16), 16);
    hi = _mm_srai_epi32(_mm_slli_epi32(hi, 16), 16);
    return _mm_packs_epi32(lo, hi);
}

// Eight type 0 pixels through body Body.
template <int Body> inline __m128i Blend565x8(__m128i px, const Vec565 &k) {
    if constexpr (Body == 2 || Body == 3) {
        const __m128i zero = _mm_setzero_si128();
        return Narrow32To16(Packed565x4<Body>(_mm_unpacklo_epi16(px, zero), k),
                            Packed565x4<Body>(_mm_unpackhi_epi16(px, zero), k));
    } else {
        Fields565 d = Split565(px), r;
        if constexpr (Body == 1 || Body == 10) {
            r = {MixByDifference(d.b, k.s.b, k.p), MixByDifference(d.g, k.s.g, k.p), MixByDifference(d.r, k.s.r, k.p)};
        } else {
            // multiply: red and blue / 32, green / 64 (products stay below 4096)
            Fields565 m = {_mm_srli_epi16(_mm_mullo_epi16(d.b, k.s.b), 5), _mm_srli_epi16(_mm_mullo_epi16(d.g, k.s.g), 6),
                           _mm_srli_epi16(_mm_mullo_epi16(d.r, k.s.r), 5)};
            if constexpr (Body == 4)
                r = m;
            else
                r = {MixByDifference(d.b, m.b, k.p), MixByDifference(d.g, m.g, k.p), MixByDifference(d.r, m.r, k.p)};
        }
        return Join565(r);
    }
}

// ---- vector loops, type 1 (four 32-bit pixels) -------------------------------------------------
// Per-call constants of the type 1 loops, in 16-bit lanes B, G, R, X of two pixels. The X lane is
// given factors that bring the destination's X byte back unchanged.
struct Vec8888 {
    __m128i keep;      // 256 - p per colour lane, 256 for X (bodies 1, 10, 11)
    __m128i add;       // s * p per colour lane, 0 for X (bodies 1, 10)
    __m128i mul;       // s per colour lane, 256 for X (bodies 4, 11)
    __m128i p;         // p per colour lane, 0 for X (body 11)
    __m128i sMasked;   // scaled colour & 0xFEFEFF (bodies 2, 3)
    __m128i sLow;      // scaled colour & 0x10100 (body 2)
};

// One value per 16-bit lane of two widened pixels: blue, green, red, X, twice.
inline __m128i Lanes8888(uint32_t b, uint32_t g, uint32_t r, uint32_t x) {
    return _mm_set_epi16((short)x, (short)r, (short)g, (short)b, (short)x, (short)r, (short)g, (short)b);
}

// The type 1 constants of one span: body 10 inverts the colour here, once.
template <int Body> inline Vec8888 MakeVec8888(const FlatDraw *fd) {
    uint32_t c = fd->colour;
    if (Body == 10) c ^= 0xFFFFFF;   // 255 - s on every colour byte
    const uint32_t p = (uint32_t)fd->snap.param;
    const uint32_t b = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
    Vec8888 k;
    k.keep = Lanes8888(256 - p, 256 - p, 256 - p, 256);
    k.add = Lanes8888(b * p, g * p, r * p, 0);
    k.mul = Lanes8888(b, g, r, 256);
    k.p = Lanes8888(p, p, p, 0);
    k.sMasked = _mm_set1_epi32((int)(fd->scaled & 0xFEFEFFu));
    k.sLow = _mm_set1_epi32((int)(fd->scaled & 0x10100u));
    return k;
}

// Two pixels widened to 16-bit lanes. floor((d * 256 + (s - d) * p) / 256) is written as
// (d * (256 - p) + s * p) >> 8, whose sum never exceeds 255 * 256, so 16-bit lanes hold it.
template <int Body> inline __m128i Blend8888x2(__m128i d, const Vec8888 &k) {
    if constexpr (Body == 1 || Body == 10) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(d, k.keep), k.add), 8);
    } else {
        __m128i m = _mm_srli_epi16(_mm_mullo_epi16(d, k.mul), 8);
        if constexpr (Body == 4) return m;
        return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(d, k.keep), _mm_mullo_epi16(m, k.p)), 8);
    }
}

// Four type 1 pixels through body Body: the packed forms on whole pixels, the rest widened.
template <int Body> inline __m128i Blend8888x4(__m128i px, const Vec8888 &k) {
    if constexpr (Body == 2) {
        __m128i sum = _mm_add_epi32(_mm_and_si128(px, _mm_set1_epi32(0xFEFEFF)), k.sMasked);
        __m128i carries = _mm_and_si128(sum, _mm_set1_epi32(0x1010100));
        __m128i fill = _mm_sub_epi32(carries, _mm_srli_epi32(carries, 8));
        __m128i low = _mm_or_si128(_mm_and_si128(px, _mm_set1_epi32(0x10100)), k.sLow);
        return _mm_or_si128(_mm_or_si128(sum, fill), low);
    } else if constexpr (Body == 3) {
        __m128i diff = _mm_sub_epi32(_mm_or_si128(px, _mm_set1_epi32(0x1010100)), k.sMasked);
        __m128i kept = _mm_and_si128(diff, _mm_set1_epi32(0x1010100));
        __m128i fill = _mm_sub_epi32(kept, _mm_srli_epi32(kept, 8));
        return _mm_and_si128(diff, fill);
    } else {
        const __m128i zero = _mm_setzero_si128();
        return _mm_packus_epi16(Blend8888x2<Body>(_mm_unpacklo_epi8(px, zero), k),
                                Blend8888x2<Body>(_mm_unpackhi_epi8(px, zero), k));
    }
}

// Whole blocks by vector, the rest through the scalar loop.
template <int Type, int Body> void FlatSpanVector(uint8_t *dst, int count, const FlatDraw *fd) {
    constexpr int kPer = Type == 0 ? 8 : 4;
    constexpr int kBytes = Type == 0 ? 2 : 4;
    int i = 0;
    if constexpr (Body == 0) {
        // Aligned stores, four at a time; the unaligned ends are covered by one overlapping
        // store each, which only writes the same colour again.
        const __m128i c = Type == 0 ? _mm_set1_epi16((short)fd->colour) : _mm_set1_epi32((int)fd->colour);
        if (count >= kPer) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), c);
            i = (int)(((16 - ((uintptr_t)dst & 15)) & 15) / kBytes);
            for (; i + 4 * kPer <= count; i += 4 * kPer) {
                auto *q = reinterpret_cast<__m128i *>(dst + i * kBytes);
                _mm_store_si128(q, c);
                _mm_store_si128(q + 1, c);
                _mm_store_si128(q + 2, c);
                _mm_store_si128(q + 3, c);
            }
            for (; i + kPer <= count; i += kPer) _mm_store_si128(reinterpret_cast<__m128i *>(dst + i * kBytes), c);
            if (i < count) _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + (count - kPer) * kBytes), c);
            return;
        }
    } else if constexpr (Type == 0) {
        const Vec565 k = MakeVec565<Body>(fd);
        for (; i + kPer <= count; i += kPer) {
            auto *q = reinterpret_cast<__m128i *>(dst + i * kBytes);
            _mm_storeu_si128(q, Blend565x8<Body>(_mm_loadu_si128(q), k));
        }
    } else {
        const Vec8888 k = MakeVec8888<Body>(fd);
        for (; i + kPer <= count; i += kPer) {
            auto *q = reinterpret_cast<__m128i *>(dst + i * kBytes);
            _mm_storeu_si128(q, Blend8888x4<Body>(_mm_loadu_si128(q), k));
        }
    }
    FlatSpanScalar<Type, Body>(dst + i * kBytes, count - i, fd);
}
#endif

#if FLAT_SPAN_WIDE
// The plain fill in 32-byte stores, as the 16-byte loop: stores alone move twice the bytes per
// cycle this way (a 640 x 390 fill of 16-bit pixels took 8.5 us in 16-byte stores, 4.3 us so).
template <int Type> __attribute__((target("avx2"))) void FillSpanWide(uint8_t *dst, int count, const FlatDraw *fd) {
    constexpr int kBytes = Type == 0 ? 2 : 4;
    if (count < 32 / kBytes) {
        FlatSpanVector<Type, 0>(dst, count, fd);
        return;
    }
    const __m256i c = Type == 0 ? _mm256_set1_epi16((short)fd->colour) : _mm256_set1_epi32((int)fd->colour);
    uint8_t *const end = dst + (size_t)count * kBytes;
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst), c);
    uint8_t *q = dst + ((32 - ((uintptr_t)dst & 31)) & 31);  // a whole number of pixels on
    for (; q + 128 <= end; q += 128) {
        auto *v = reinterpret_cast<__m256i *>(q);
        _mm256_store_si256(v, c);
        _mm256_store_si256(v + 1, c);
        _mm256_store_si256(v + 2, c);
        _mm256_store_si256(v + 3, c);
    }
    for (; q + 32 <= end; q += 32) _mm256_store_si256(reinterpret_cast<__m256i *>(q), c);
    if (q < end) _mm256_storeu_si256(reinterpret_cast<__m256i *>(end - 32), c);
}
#endif

// The loops of one (colour type, body).
struct FlatLoops {
    FlatSpanFn span;
    FlatSpanFn spanScalar;
    FlatPixelFn pixel;
    FlatLineFn line;
};

template <int Type, int Body> constexpr FlatLoops MakeFlatLoops() {
#if FLAT_SPAN_SSE2
    return {FlatSpanVector<Type, Body>, FlatSpanScalar<Type, Body>, FlatPixel<Type, Body>, FlatLine<Type, Body>};
#else
    return {FlatSpanScalar<Type, Body>, FlatSpanScalar<Type, Body>, FlatPixel<Type, Body>, FlatLine<Type, Body>};
#endif
}

// The loops of a resolved body (0, 1, 2, 3, 4, 10, 11).
template <int Type> FlatLoops PickFlatLoops(int body) {
    switch (body) {
    case 0: return MakeFlatLoops<Type, 0>();
    case 1: return MakeFlatLoops<Type, 1>();
    case 2: return MakeFlatLoops<Type, 2>();
    case 3: return MakeFlatLoops<Type, 3>();
    case 4: return MakeFlatLoops<Type, 4>();
    case 10: return MakeFlatLoops<Type, 10>();
    default: return MakeFlatLoops<Type, 11>();
    }
}

}  // namespace

int PrepareFlatDraw(FlatDraw *fd, int colorType, uint32_t colour) {
    if (colorType != MEMIMG_COLOR_565 && colorType != MEMIMG_COLOR_8888) return 0;
    TakePixelOpSnapshot(&fd->snap, nullptr);
    int body = ResolveBlendBody(fd->snap.mode, fd->snap.param);
    if (body < 0) return 0;
    fd->colorType = colorType;
    fd->body = body;
    if (colorType == MEMIMG_COLOR_565) {
        // The two-at-a-time stores would spread stray high bits into the neighbouring pixel.
        colour &= 0xFFFF;
        if (fd->snap.tintActive) colour = TintFlatColorShift<0>(colour, fd->snap.bright);
        fd->scaled = ScaleFlatColour<0>(colour, fd->snap.scaleP);
        fd->bytesPerPixel = 2;
    } else {
        if (fd->snap.tintActive) colour = TintFlatColorShift<1>(colour, fd->snap.bright);
        fd->scaled = ScaleFlatColour<1>(colour, fd->snap.scaleP);
        fd->bytesPerPixel = 4;
    }
    fd->colour = colour;
    FlatLoops loops = colorType == MEMIMG_COLOR_565 ? PickFlatLoops<0>(body) : PickFlatLoops<1>(body);
    fd->span = gFlatVectorUse != BLIT_VECTOR_OFF ? loops.span : loops.spanScalar;
#if FLAT_SPAN_WIDE
    static const bool hasWide = __builtin_cpu_supports("avx2");
    if (body == 0 && hasWide && gFlatVectorUse == BLIT_VECTOR_WIDEST)
        fd->span = colorType == MEMIMG_COLOR_565 ? FillSpanWide<0> : FillSpanWide<1>;
#endif
    fd->pixel = loops.pixel;
    fd->line = loops.line;
    return 1;
}

Rect GetMemImgDrawArea(const MEMIMG *dst) {
    Rect a = GDrawSettings.drawRegion;
    const Rect image = {0, 0, dst->width, dst->height};
    ClipRectToArea(&a, &image);
    return a;
}
