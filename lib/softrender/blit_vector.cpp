// Vector rows of the whole-image blit. Each body turns one 16-byte group (32 bytes for the 32-bit
// mix with AVX2) of destination pixels and texels into the new pixels with the per-pixel bodies'
// exact arithmetic: divisions by 255 and 63 become multiplications by a reciprocal that is exact
// over every value the fields can reach, and the packed add and subtract run on the same 32-bit
// words as their scalar forms.
#include "lib/softrender/blit_vector.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static int gVectorUse = BLIT_VECTOR_WIDEST;

void SetBlitVectorUse(int level) { gVectorUse = std::clamp(level, (int)BLIT_VECTOR_OFF, (int)BLIT_VECTOR_WIDEST); }
int GetBlitVectorUse(void) { return gVectorUse; }

#if defined(__SSE2__)
namespace {

using V = __m128i;

inline V Set16(int v) { return _mm_set1_epi16((short)v); }
inline V Set32(uint32_t v) { return _mm_set1_epi32((int)v); }

// trunc(y / 255) of each 16-bit lane (exact for every y below 2^16).
inline V Div255(V y) { return _mm_srli_epi16(_mm_mulhi_epu16(y, Set16(0x8081)), 7); }
// trunc(y / 63) of each 16-bit lane (exact for y up to 63 * 63).
inline V Div63(V y) { return _mm_srli_epi16(_mm_mulhi_epu16(y, Set16(33289)), 5); }

// ---- R5G6B5: 8 pixels in 16-bit lanes --------------------------------------------------------
struct Fields565 {
    V b, g, r;
};
inline Fields565 Split565(V v) {
    return {_mm_and_si128(v, Set16(31)), _mm_and_si128(_mm_srli_epi16(v, 5), Set16(63)), _mm_srli_epi16(v, 11)};
}
inline V Join565(V b, V g, V r) {
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
}

// d + trunc(p * (s - d) / 255) of one field: the difference table's value, rounded toward zero.
inline V MixByDifference(V d, V s, V p) {
    V x = _mm_sub_epi16(s, d), neg = _mm_srai_epi16(x, 15);
    V q = Div255(_mm_mullo_epi16(_mm_sub_epi16(_mm_xor_si128(x, neg), neg), p));
    return _mm_add_epi16(d, _mm_sub_epi16(_mm_xor_si128(q, neg), neg));
}

// The packed add or subtract of pixel_ops.h on 32-bit lanes, with the type's field mask, carry
// bits, lowest bits and field step: PackedAdd565 / PackedSubtract565 on pixels in the lanes' low
// halves, PackedAdd8888 / PackedSubtract8888 on whole lanes.
template <bool Add, uint32_t Mask, uint32_t Carries, uint32_t Low, int Step> inline V PackedLanes(V d, V s) {
    const V mask = Set32(Mask), carries = Set32(Carries);
    if constexpr (Add) {
        V sum = _mm_add_epi32(_mm_and_si128(d, mask), _mm_and_si128(s, mask));
        V c = _mm_and_si128(sum, carries);
        V fill = _mm_sub_epi32(c, _mm_srli_epi32(c, Step));
        return _mm_or_si128(_mm_or_si128(sum, fill), _mm_and_si128(_mm_or_si128(d, s), Set32(Low)));
    } else {
        V diff = _mm_sub_epi32(_mm_or_si128(d, carries), _mm_and_si128(s, mask));
        V k = _mm_and_si128(diff, carries);
        return _mm_and_si128(diff, _mm_sub_epi32(k, _mm_srli_epi32(k, Step)));
    }
}
template <bool Add> inline V Packed565Lanes(V d, V s) { return PackedLanes<Add, 0xF7DF, 0x8210820, 0x0820, 5>(d, s); }
template <bool Add> inline V Packed8888Lanes(V d, V s) {
    return PackedLanes<Add, 0xFEFEFF, 0x1010100, 0x10100, 8>(d, s);
}
// The low 16 bits of each 32-bit lane of lo and hi, packed into 8 lanes.
inline V Narrow32To16(V lo, V hi) {
    lo = _mm_srai_epi32(_mm_slli_epi32(lo, 16), 16);
    hi = _mm_srai_epi32(_mm_slli_epi32(hi, 16), 16);
    return _mm_packs_epi32(lo, hi);
}

template <int Body> inline V Blend565(V d, V s, const PixelOpSnapshot &sn) {
    const V zero = _mm_setzero_si128();
    if constexpr (Body == BODY_HALF) {
        const V m = Set16(0x7BEF);
        return _mm_add_epi16(_mm_and_si128(_mm_srli_epi16(d, 1), m), _mm_and_si128(_mm_srli_epi16(s, 1), m));
    } else if constexpr (Body == BODY_ALPHA6) {
        const V a = Set16(sn.param >> 2), b = Set16(63 - (sn.param >> 2));
        Fields565 df = Split565(d), sf = Split565(s);
        auto mix = [&](V dv, V sv) { return Div63(_mm_add_epi16(_mm_mullo_epi16(a, sv), _mm_mullo_epi16(b, dv))); };
        return Join565(mix(df.b, sf.b), mix(df.g, sf.g), mix(df.r, sf.r));
    } else if constexpr (Body == 10) {
        const V p = Set16(sn.param);
        Fields565 df = Split565(d), sf = Split565(_mm_xor_si128(s, Set16(0xFFFF)));
        return Join565(MixByDifference(df.b, sf.b, p), MixByDifference(df.g, sf.g, p), MixByDifference(df.r, sf.r, p));
    } else if constexpr (Body == 2 || Body == 3) {
        const V p = Set16(sn.param);
        Fields565 sf = Split565(s);
        V sp = Join565(Div255(_mm_mullo_epi16(sf.b, p)), Div255(_mm_mullo_epi16(sf.g, p)),
                       Div255(_mm_mullo_epi16(sf.r, p)));
        V lo = Packed565Lanes<Body == 2>(_mm_unpacklo_epi16(d, zero), _mm_unpacklo_epi16(sp, zero));
        V hi = Packed565Lanes<Body == 2>(_mm_unpackhi_epi16(d, zero), _mm_unpackhi_epi16(sp, zero));
        return Narrow32To16(lo, hi);
    } else {  // 4: each field times the texel's, over the field's range
        Fields565 df = Split565(d), sf = Split565(s);
        return Join565(_mm_srli_epi16(_mm_mullo_epi16(df.b, sf.b), 5), _mm_srli_epi16(_mm_mullo_epi16(df.g, sf.g), 6),
                       _mm_srli_epi16(_mm_mullo_epi16(df.r, sf.r), 5));
    }
}

// ---- X8R8G8B8: 4 pixels in 32-bit lanes, bytes widened to 16-bit lanes where they multiply ----
// Applies f to the bytes of the two halves (widened to 16 bits) and narrows them again.
template <class F> inline V PerByte(V d, V s, F f) {
    const V zero = _mm_setzero_si128();
    V lo = f(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero));
    V hi = f(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero));
    return _mm_packus_epi16(lo, hi);
}
// The colour bytes of r with the X byte of d.
inline V KeepX(V r, V d) {
    const V x = Set32(0xFF000000u);
    return _mm_or_si128(_mm_andnot_si128(x, r), _mm_and_si128(x, d));
}

template <int Body> inline V Blend8888(V d, V s, const PixelOpSnapshot &sn) {
    if constexpr (Body == BODY_HALF) {
        const V m = Set32(0x7F7F7F);
        return _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(d, 1), m), _mm_and_si128(_mm_srli_epi32(s, 1), m));
    } else if constexpr (Body == 2 || Body == 3) {
        const V p = Set16(sn.param);
        V sp = PerByte(d, s, [&](V, V sv) { return Div255(_mm_mullo_epi16(sv, p)); });
        return Packed8888Lanes<Body == 2>(d, _mm_and_si128(sp, Set32(0xFFFFFF)));
    } else {  // 4
        V r = PerByte(d, s, [](V dv, V sv) { return _mm_srli_epi16(_mm_mullo_epi16(dv, sv), 8); });
        return KeepX(r, d);
    }
}

// One group: the blended pixels, and with Keyed the old ones where the texel is the key.
template <int Type, int Body, bool Keyed> inline V BlendGroup(V d, V s, V keys, const PixelOpSnapshot &sn) {
    V r;
    if constexpr (Type == 0) r = Blend565<Body>(d, s, sn);
    else r = Blend8888<Body>(d, s, sn);
    if constexpr (Keyed) {
        V m = Type == 0 ? _mm_cmpeq_epi16(s, keys) : _mm_cmpeq_epi32(s, keys);
        r = _mm_or_si128(_mm_and_si128(m, d), _mm_andnot_si128(m, r));
    }
    return r;
}

// Whole groups in place; the last part-group goes through a 16-byte copy of itself, so no byte
// beyond the row is read or written.
template <int Type, int Body, bool Keyed>
void VectorRow(uint8_t *dst, const uint8_t *src, const uint8_t *, int count, const PixelOpSnapshot &sn) {
    constexpr int bpp = Type == 0 ? 2 : 4, group = 16 / bpp;
    const V keys = Type == 0 ? Set16((int)sn.colorKey) : Set32(sn.colorKey);
    int i = 0;
    for (; i + group <= count; i += group) {
        V *d = reinterpret_cast<V *>(dst + i * bpp);
        V s = _mm_loadu_si128(reinterpret_cast<const V *>(src + i * bpp));
        _mm_storeu_si128(d, BlendGroup<Type, Body, Keyed>(_mm_loadu_si128(d), s, keys, sn));
    }
    if (i < count) {
        const size_t rest = (size_t)(count - i) * bpp;
        alignas(16) uint8_t db[16] = {}, sb[16] = {};
        memcpy(db, dst + i * bpp, rest);
        memcpy(sb, src + i * bpp, rest);
        V r = BlendGroup<Type, Body, Keyed>(_mm_load_si128(reinterpret_cast<V *>(db)),
                                            _mm_load_si128(reinterpret_cast<V *>(sb)), keys, sn);
        _mm_store_si128(reinterpret_cast<V *>(db), r);
        memcpy(dst + i * bpp, db, rest);
    }
}

template <int Type, int Body> BlitRowFn PickKeyed(bool keyed) {
    return keyed ? VectorRow<Type, Body, true> : VectorRow<Type, Body, false>;
}

// ---- X8R8G8B8 mix by p (bodies 1 and 10) on vectors of Bytes bytes ----------------------------
// L_1 = d + floor((s - d) * p / 256) lies between d and s, so it is d plus the product's second
// byte, added modulo 256: the 16-bit product of the wrapped difference holds that byte exactly.
// Each byte is a field in its own right, so the blue and red bytes (low halves of the 16-bit
// lanes) and the green and X bytes (high halves) each take one multiplication, the X byte by 0,
// and nothing is widened: 16 bytes take two multiplications instead of four, and with AVX2 a
// group is 8 pixels, as the 16-bit rows' is.
template <int Bytes> struct MixLanes {
    typedef uint16_t U16 __attribute__((vector_size(Bytes)));
    typedef uint8_t U8 __attribute__((vector_size(Bytes)));
    typedef uint32_t U32 __attribute__((vector_size(Bytes)));
};

// One group in place at d from s (by reference: wide vectors are not passed by value outside
// AVX2 code). pe: p in every lane; po: p in the green lanes, 0 in the X lanes.
template <int Bytes, bool Invert, bool Keyed>
[[gnu::always_inline]] inline void MixGroup(typename MixLanes<Bytes>::U16 &d, const typename MixLanes<Bytes>::U16 &src,
                                            const typename MixLanes<Bytes>::U16 &pe,
                                            const typename MixLanes<Bytes>::U16 &po, uint32_t key) {
    using L = MixLanes<Bytes>;
    using U16 = typename L::U16;
    U16 s = Invert ? (U16)((typename L::U32)src ^ 0xFFFFFFu) : src;
    const U16 xe = (s & 0xFF) - (d & 0xFF), xo = (s >> 8) - (d >> 8);
    const U16 t = ((xe * pe) >> 8) | ((xo * po) & 0xFF00);
    U16 r = (U16)((typename L::U8)d + (typename L::U8)t);
    if constexpr (Keyed) {
        const typename L::U32 keep = (typename L::U32)((typename L::U32)src == key);
        r = (U16)(((typename L::U32)r & ~keep) | ((typename L::U32)d & keep));
    }
    d = r;
}

// The row: whole groups in place, the last part-group through a copy of itself.
template <int Bytes, bool Invert, bool Keyed>
[[gnu::always_inline]] inline void MixRowOf(uint8_t *dst, const uint8_t *src, int count, const PixelOpSnapshot &sn) {
    using U16 = typename MixLanes<Bytes>::U16;
    using U32 = typename MixLanes<Bytes>::U32;
    constexpr int group = Bytes / 4;
    const U16 pe = (U16){} + (uint16_t)sn.param, po = (U16)((U32){} + (uint32_t)sn.param);
    U16 d, s;
    int i = 0;
    for (; i + group <= count; i += group) {
        memcpy(&d, dst + 4 * i, Bytes);
        memcpy(&s, src + 4 * i, Bytes);
        MixGroup<Bytes, Invert, Keyed>(d, s, pe, po, sn.colorKey);
        memcpy(dst + 4 * i, &d, Bytes);
    }
    if (i < count) {
        const size_t rest = (size_t)(count - i) * 4;
        d = s = (U16){};
        memcpy(&d, dst + 4 * i, rest);
        memcpy(&s, src + 4 * i, rest);
        MixGroup<Bytes, Invert, Keyed>(d, s, pe, po, sn.colorKey);
        memcpy(dst + 4 * i, &d, rest);
    }
}

template <bool Invert, bool Keyed>
void MixRow(uint8_t *dst, const uint8_t *src, const uint8_t *, int count, const PixelOpSnapshot &sn) {
    MixRowOf<16, Invert, Keyed>(dst, src, count, sn);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
template <bool Invert, bool Keyed>
__attribute__((target("avx2"))) void MixRowWide(uint8_t *dst, const uint8_t *src, const uint8_t *, int count,
                                               const PixelOpSnapshot &sn) {
    MixRowOf<32, Invert, Keyed>(dst, src, count, sn);
}
#endif

// The mix row of body 1 or 10: 32 bytes at a time where the processor has AVX2 (asked once) and the
// widest pieces are in use.
template <bool Invert> BlitRowFn PickMixRow(bool keyed) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool hasWide = __builtin_cpu_supports("avx2");
    if (hasWide && gVectorUse == BLIT_VECTOR_WIDEST) return keyed ? MixRowWide<Invert, true> : MixRowWide<Invert, false>;
#endif
    return keyed ? MixRow<Invert, true> : MixRow<Invert, false>;
}

template <int Type> BlitRowFn PickBody(int body, bool keyed) {
    switch (body) {
    case 1:  // type 0 mode 1 comes here only tinted
        if constexpr (Type == 1) return PickMixRow<false>(keyed);
        else return nullptr;
    case 2: return PickKeyed<Type, 2>(keyed);
    case 3: return PickKeyed<Type, 3>(keyed);
    case 4: return PickKeyed<Type, 4>(keyed);
    case 10:
        if constexpr (Type == 1) return PickMixRow<true>(keyed);
        else return PickKeyed<0, 10>(keyed);
    case BODY_HALF: return PickKeyed<Type, BODY_HALF>(keyed);
    case BODY_ALPHA6:
        if constexpr (Type == 0) return PickKeyed<0, BODY_ALPHA6>(keyed);
        else return nullptr;
    default: return nullptr;
    }
}

}  // namespace

BlitRowFn PickVectorBlitRow(int type, int body, bool keyed) {
    if (gVectorUse == BLIT_VECTOR_OFF) return nullptr;
    return type == MEMIMG_COLOR_565 ? PickBody<0>(body, keyed) : PickBody<1>(body, keyed);
}
#else
BlitRowFn PickVectorBlitRow(int, int, bool) { return nullptr; }
#endif
