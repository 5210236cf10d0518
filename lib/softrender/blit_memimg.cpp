// The whole-image blit: one memory image drawn onto another at a point, in every blend mode.
//
// Every setting is resolved once per call into one row function (a template instance per colour
// type, texel kind, body, tint, blend image and transparent flag); the rows then run it over the
// clipped rectangle, or over the drawn runs of the source's run table.
#include "lib/softrender/blit.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

#include "lib/softrender/blit_vector.h"
#include "lib/softrender/pixel_ops.h"

// ---- copies -------------------------------------------------------------------------------------
// Sprite runs are short, so a libc call per run costs more than the copy: these move each byte
// once, inline, in fixed-size pieces.

// Moves 16 bytes (SSE2 where there is one).
static inline void Move16(uint8_t *d, const uint8_t *s) {
#if defined(__SSE2__)
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm_loadu_si128(reinterpret_cast<const __m128i *>(s)));
#else
    memcpy(d, s, 16);
#endif
}

// Moves 64 bytes; Aligned: d is 16-byte aligned.
template <bool Aligned> static inline void Move64(uint8_t *d, const uint8_t *s) {
#if defined(__SSE2__)
    const __m128i *v = reinterpret_cast<const __m128i *>(s);
    __m128i a = _mm_loadu_si128(v), b = _mm_loadu_si128(v + 1), c = _mm_loadu_si128(v + 2), e = _mm_loadu_si128(v + 3);
    __m128i *o = reinterpret_cast<__m128i *>(d);
    if constexpr (Aligned) {
        _mm_store_si128(o, a), _mm_store_si128(o + 1, b), _mm_store_si128(o + 2, c), _mm_store_si128(o + 3, e);
    } else {
        _mm_storeu_si128(o, a), _mm_storeu_si128(o + 1, b), _mm_storeu_si128(o + 2, c), _mm_storeu_si128(o + 3, e);
    }
#else
    memcpy(d, s, 64);
#endif
}

// Moves N bytes that may sit anywhere.
template <size_t N> static inline void MoveSmall(uint8_t *d, const uint8_t *s) { memcpy(d, s, N); }

// Moves 2 to 15 bytes as a first and a last piece of the run's size class, overlapping where they meet.
[[gnu::always_inline]] static inline void CopyShortBytes(uint8_t *d, const uint8_t *s, size_t bytes) {
    if (bytes >= 8) MoveSmall<8>(d, s), MoveSmall<8>(d + bytes - 8, s + bytes - 8);
    else if (bytes >= 4) MoveSmall<4>(d, s), MoveSmall<4>(d + bytes - 4, s + bytes - 4);
    else MoveSmall<2>(d, s), MoveSmall<2>(d + bytes - 2, s + bytes - 2);
}

// bytes (a whole number of 2- or 4-byte pixels, at least one) from s to d, which do not overlap.
// Up to 64 bytes move as pieces that overlap where they meet: below 16 bytes a first and a last
// piece of the run's size class; from 16 to 64 four 16-byte pieces whose offsets are picked
// without a branch, so that the changing run lengths of a sprite's rows cost few mispredictions
// and no loop. Longer runs move 64-byte blocks, stored aligned past 128 bytes, and end with the
// last 64 bytes, again overlapping.
[[gnu::always_inline]] static inline void CopyPixelBytes(uint8_t *d, const uint8_t *s, size_t bytes) {
    if (bytes < 16) {
        CopyShortBytes(d, s, bytes);
    } else if (bytes <= 64) {
        // [0, 16), [b, b + 16), [c, c + 16) and [bytes - 16, bytes) cover the run.
        const size_t b = bytes - 16 < 16 ? bytes - 16 : 16, c = bytes > 32 ? bytes - 32 : 0;
        Move16(d, s), Move16(d + b, s + b), Move16(d + c, s + c), Move16(d + bytes - 16, s + bytes - 16);
    } else {
        uint8_t *const dend = d + bytes;
        const uint8_t *const send = s + bytes;
        if (bytes >= 128) {
            Move16(d, s);
            const size_t head = 16 - ((uintptr_t)d & 15);
            d += head, s += head, bytes -= head;
            for (; bytes > 64; bytes -= 64, d += 64, s += 64) Move64<true>(d, s);
        } else {
            for (; bytes > 64; bytes -= 64, d += 64, s += 64) Move64<false>(d, s);
        }
        Move64<false>(dend - 64, send - 64);
    }
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// Where the processor has AVX2 (asked once), the copies move 32 bytes at a time: half the loads
// and stores of the 16-byte pieces, on runs of every length.
#define DZ_WIDE_COPIES 1
#define DZ_TARGET_WIDE __attribute__((target("avx2")))
DZ_TARGET_WIDE static inline void Move32(uint8_t *d, const uint8_t *s) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(d), _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s)));
}

// Moves 64 bytes to a 32-byte aligned d.
DZ_TARGET_WIDE static inline void Move64Aligned(uint8_t *d, const uint8_t *s) {
    const __m256i *v = reinterpret_cast<const __m256i *>(s);
    __m256i a = _mm256_loadu_si256(v), b = _mm256_loadu_si256(v + 1);
    _mm256_store_si256(reinterpret_cast<__m256i *>(d), a), _mm256_store_si256(reinterpret_cast<__m256i *>(d) + 1, b);
}

// As CopyPixelBytes, 32 bytes at a time: up to 128 bytes in pieces that overlap where they meet,
// longer runs in 64-byte steps stored aligned, ending with the last 64 bytes.
[[gnu::always_inline]] DZ_TARGET_WIDE static inline void CopyPixelBytesWide(uint8_t *d, const uint8_t *s, size_t bytes) {
    if (bytes < 32) {
        if (bytes >= 16) Move16(d, s), Move16(d + bytes - 16, s + bytes - 16);
        else CopyShortBytes(d, s, bytes);
        return;
    }
    uint8_t *const dend = d + bytes;
    const uint8_t *const send = s + bytes;
    if (bytes <= 64) {
        Move32(d, s), Move32(dend - 32, send - 32);
    } else if (bytes <= 128) {
        Move32(d, s), Move32(d + 32, s + 32), Move32(dend - 64, send - 64), Move32(dend - 32, send - 32);
    } else {
        Move32(d, s);
        const size_t head = 32 - ((uintptr_t)d & 31);
        d += head, s += head, bytes -= head;
        for (; bytes > 64; bytes -= 64, d += 64, s += 64) Move64Aligned(d, s);
        Move32(dend - 64, send - 64), Move32(dend - 32, send - 32);
    }
}
#else
#define DZ_WIDE_COPIES 0
#endif

// The plain copy row (mode 0, direct texels, no tint, blend image or key) between two stores.
template <int Type>
static void CopyRow(uint8_t *dst, const uint8_t *src, const uint8_t *, int count, const PixelOpSnapshot &) {
    CopyPixelBytes(dst, src, sizeof(typename MemImgPixel<Type>::Pixel) * (size_t)count);
}

#if defined(__SSE2__)
// Byte mask of the lanes of v equal to the key (two or four bits per texel).
template <int Type> static inline int KeyMask(__m128i v, __m128i keys) {
    return _mm_movemask_epi8(Type == 0 ? _mm_cmpeq_epi16(v, keys) : _mm_cmpeq_epi32(v, keys));
}

// One group of 8 (type 0) or 4 (type 1) texels with key mask m onto g: stored whole, skipped, or
// at a sprite's edge texel by texel, a keyed texel going to a scratch slot instead of its pixel so
// that the changing patterns cost no mispredicted branches.
template <int Type> static inline void PutKeyedGroup(typename MemImgPixel<Type>::Pixel *g, __m128i v, int m) {
    using Pixel = typename MemImgPixel<Type>::Pixel;
    if (m == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(g), v);
    } else if (m != 0xFFFF) {
        Pixel scratch;
        if constexpr (Type == 0) {
#define DZ_PUT16(j) *((m & (1 << (2 * j))) != 0 ? &scratch : g + j) = (Pixel)_mm_extract_epi16(v, j);
            DZ_PUT16(0) DZ_PUT16(1) DZ_PUT16(2) DZ_PUT16(3) DZ_PUT16(4) DZ_PUT16(5) DZ_PUT16(6) DZ_PUT16(7)
#undef DZ_PUT16
        } else {
#define DZ_PUT32(j) *((m & (1 << (4 * j))) != 0 ? &scratch : g + j) = (Pixel)_mm_cvtsi128_si32(_mm_shuffle_epi32(v, j));
            DZ_PUT32(0) DZ_PUT32(1) DZ_PUT32(2) DZ_PUT32(3)
#undef DZ_PUT32
        }
    }
}
#endif

// The keyed copy row between two stores: texels equal to the key are skipped. With SSE2, 16 bytes
// at a time by PutKeyedGroup; each texel is loaded and stored once.
template <int Type>
static void CopyKeyedRow(uint8_t *dst, const uint8_t *src, const uint8_t *, int count, const PixelOpSnapshot &sn) {
    using Pixel = typename MemImgPixel<Type>::Pixel;
    Pixel *d = reinterpret_cast<Pixel *>(dst);
    const Pixel *s = reinterpret_cast<const Pixel *>(src);
    const Pixel key = (Pixel)sn.colorKey;  // a type 0 key above 0xFFFF never comes here
    int i = 0;
#if defined(__SSE2__)
    constexpr int group = 16 / (int)sizeof(Pixel);
    const __m128i keys = Type == 0 ? _mm_set1_epi16((short)key) : _mm_set1_epi32((int)key);
    for (; i + group <= count; i += group) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
        PutKeyedGroup<Type>(d + i, v, KeyMask<Type>(v, keys));
    }
#endif
    for (; i < count; ++i)
        if (s[i] != key) d[i] = s[i];
}

// ---- rows ---------------------------------------------------------------------------------------
template <int Type, int Kind> static inline uint32_t ReadTexel(const uint8_t *src, int i) {
    if constexpr (Kind == TEXEL_PALETTE) return src[i];
    else if constexpr (Type == 0 && Kind == TEXEL_DIRECT) return reinterpret_cast<const uint16_t *>(src)[i];
    else return reinterpret_cast<const uint32_t *>(src)[i];
}

// The colour of a palette or direct texel.
template <int Type, int Kind> static inline uint32_t TexelColour(uint32_t texel, const PixelOpSnapshot &sn) {
    using Pixel = typename MemImgPixel<Type>::Pixel;
    if constexpr (Kind == TEXEL_PALETTE) return static_cast<const Pixel *>(sn.palette)[texel];
    else return texel;
}

// ((d >> 1) & 0x7F7F7F) + ((s >> 1) & 0x7F7F7F), or 0x7BEF for 16-bit pixels: the X byte becomes 0.
template <int Type> static inline uint32_t HalfBlend(uint32_t d, uint32_t s) {
    constexpr uint32_t m = Type == 0 ? 0x7BEFu : 0x7F7F7Fu;
    return ((d >> 1) & m) + ((s >> 1) & m);
}

// Each 5- or 6-bit field value indexes one plane of the 6-bit table.
static inline uint32_t Alpha6Blend565(uint32_t d, uint32_t s, const uint8_t (*plane)[64]) {
    uint32_t b = plane[s & 31][d & 31];
    uint32_t g = plane[(s >> 5) & 63][(d >> 5) & 63];
    uint32_t r = plane[(s >> 11) & 31][(d >> 11) & 31];
    return (r << 11) | (g << 5) | b;
}

template <int Type, int Kind, int Body, bool Tint, bool HasBlend, bool Trans>
static void BlitRow(uint8_t *dst, const uint8_t *src, const uint8_t *blend, int count, const PixelOpSnapshot &sn) {
    using Pixel = typename MemImgPixel<Type>::Pixel;
    Pixel *d = reinterpret_cast<Pixel *>(dst);
    if constexpr (Body == 0 && Kind == TEXEL_DIRECT && !Tint && !HasBlend && !Trans) {
        memmove(d, src, sizeof(Pixel) * (size_t)count);  // within one store the rows may overlap
    } else if constexpr (Body == BODY_HALF || Body == BODY_ALPHA6) {
        const uint8_t(*plane)[64] = Blend6BitAlphaTable[sn.param >> 2];
        for (int i = 0; i < count; ++i) {
            uint32_t t = ReadTexel<Type, Kind>(src, i);
            if constexpr (Trans) {
                if (t == sn.colorKey) continue;
            }
            uint32_t s = TexelColour<Type, Kind>(t, sn);
            if constexpr (Body == BODY_HALF) d[i] = (Pixel)HalfBlend<Type>(d[i], s);
            else d[i] = (Pixel)Alpha6Blend565(d[i], s, plane);
        }
    } else {
        for (int i = 0; i < count; ++i)
            DrawTexel<Type, Kind, Body, Tint, HasBlend, Trans>(d + i, ReadTexel<Type, Kind>(src, i),
                                                               HasBlend ? blend[i] : 0, sn);
    }
}

// ---- choosing the row ---------------------------------------------------------------------------
// What one call resolves before touching a pixel.
struct BlitChoice {
    int type;    // destination and source colour type
    int kind;    // TexelKind of the source
    int body;    // ResolveBlendBody or BODY_*
    bool tint;
    bool blend;
    bool apart;  // source and destination stores differ
    bool keyFits;  // the key can equal a texel (a type 0 key above 0xFFFF never does)
};

// 1 for a copy of direct texels between two stores (mode 0, no tint, no blend image): the rows
// and runs that need no pixel arithmetic.
static inline bool IsPlainCopy(const BlitChoice &c) {
    return c.body == 0 && c.kind == TEXEL_DIRECT && !c.tint && !c.blend && c.apart;
}

template <int Type, int Kind, int Body, bool Tint, bool HasBlend>
static BlitRowFn PickTrans(bool trans) {
    return trans ? BlitRow<Type, Kind, Body, Tint, HasBlend, true> : BlitRow<Type, Kind, Body, Tint, HasBlend, false>;
}

template <int Type, int Kind, int Body>
static BlitRowFn PickFlags(const BlitChoice &c, bool trans) {
    if constexpr (Body == BODY_HALF || Body == BODY_ALPHA6) {
        if constexpr (Kind == TEXEL_DIRECT_ALPHA || (Body == BODY_ALPHA6 && Type != 0)) return nullptr;
        else return PickTrans<Type, Kind, Body, false, false>(trans);
    } else {
        if constexpr (Body == 0 && Kind == TEXEL_DIRECT) {
            // Inline moves and SSE2 key tests.
            if (IsPlainCopy(c)) return trans && c.keyFits ? CopyKeyedRow<Type> : CopyRow<Type>;
        }
        if (c.tint) return c.blend ? PickTrans<Type, Kind, Body, true, true>(trans) : PickTrans<Type, Kind, Body, true, false>(trans);
        return c.blend ? PickTrans<Type, Kind, Body, false, true>(trans) : PickTrans<Type, Kind, Body, false, false>(trans);
    }
}

template <int Type, int Kind>
static BlitRowFn PickBody(const BlitChoice &c, bool trans) {
    switch (c.body) {
    case 0: return PickFlags<Type, Kind, 0>(c, trans);
    case 1: return PickFlags<Type, Kind, 1>(c, trans);
    case 2: return PickFlags<Type, Kind, 2>(c, trans);
    case 3: return PickFlags<Type, Kind, 3>(c, trans);
    case 4: return PickFlags<Type, Kind, 4>(c, trans);
    case 10: return PickFlags<Type, Kind, 10>(c, trans);
    case 11: return PickFlags<Type, Kind, 11>(c, trans);
    case BODY_HALF: return PickFlags<Type, Kind, BODY_HALF>(c, trans);
    case BODY_ALPHA6: return PickFlags<Type, Kind, BODY_ALPHA6>(c, trans);
    default: return nullptr;
    }
}

template <int Type>
static BlitRowFn PickKind(const BlitChoice &c, bool trans) {
    switch (c.kind) {
    case TEXEL_PALETTE: return PickBody<Type, TEXEL_PALETTE>(c, trans);
    case TEXEL_DIRECT: return PickBody<Type, TEXEL_DIRECT>(c, trans);
    default: return PickBody<Type, TEXEL_DIRECT_ALPHA>(c, trans);
    }
}

// 1 for direct texels between two stores without tint or blend image: the draws that may have a
// vector row.
static inline bool MayTakeVectorRow(const BlitChoice &c) {
    return c.kind == TEXEL_DIRECT && !c.tint && !c.blend && c.apart;
}

// The vector row where there is one, else the per-pixel one.
static BlitRowFn PickBlitRow(const BlitChoice &c, bool trans) {
    if (MayTakeVectorRow(c)) {
        BlitRowFn row = PickVectorBlitRow(c.type, c.body, trans && c.keyFits);
        if (row != nullptr) return row;
    }
    return c.type == MEMIMG_COLOR_565 ? PickKind<0>(c, trans) : PickKind<1>(c, trans);
}

// The body for the settings: the shared one, or this blit's half blend and 6-bit table where they
// apply (mode 1 without tint, blend image and source alpha).
static int ChooseBlitBody(int mode, int param, const BlitChoice &c) {
    int body = ResolveBlendBody(mode, param);
    if (body != 1 || c.tint || c.blend || c.kind == TEXEL_DIRECT_ALPHA) return body;
    if (param == 128) return BODY_HALF;
    return c.type == MEMIMG_COLOR_565 ? BODY_ALPHA6 : body;
}

// ---- the blit -----------------------------------------------------------------------------------
// 1 when the pair (and blend image) can be drawn at all.
static bool IsBlitInputValid(const MEMIMG *dst, const MEMIMG *src, const MEMIMG *blend) {
    if (!IsMemImgValid(dst) || !IsMemImgValid(src)) return false;
    const MemImgSharedRecord *d = dst->shared, *s = src->shared;
    if (d->paletteFlag || d->alphaFlag || (d->colorType != MEMIMG_COLOR_565 && d->colorType != MEMIMG_COLOR_8888))
        return false;
    if (s->colorType != d->colorType || (s->paletteFlag && s->palette == nullptr)) return false;
    if (blend != nullptr) {
        if (!IsMemImgValid(blend) || !DoesBlendImageCover(blend, src)) return false;
    }
    return true;
}

// The part of a draw that lies in the source: the destination rectangle (l, t, w, h) and the
// column and row of its first texel in the view, or in the store for the runs.
struct RunWindow {
    int l, t, w, h;
    uint32_t col, row;
};

// The view's first pixel as a column and row of its store (whose run table is up to date); false
// when it does not lie on a pixel of the store with the whole view inside (a view made by hand),
// which the runs cannot describe. The row comes from the table's reciprocal of the pitch: two
// divisions here held up every draw by tens of cycles before its first row.
static bool GetViewOrigin(const MEMIMG *view, uint32_t *col, uint32_t *row) {
    const MemImgSharedRecord *s = view->shared;
    const MemImgRunTable &t = s->runTable;
    if (view->pixels < s->pixels) return false;
    const uint64_t offset = (uint64_t)(view->pixels - s->pixels), pitch = (uint64_t)s->pitch;
    const uint64_t y = t.pitchReciprocal != 0 && offset <= 0xFFFFFFFFu
                           ? (uint64_t)(((unsigned __int128)offset * t.pitchReciprocal) >> 64)
                           : offset / pitch;
    const uint64_t x = offset - y * pitch, column = x >> t.pixelShift;
    if ((column << t.pixelShift) != x || column + (uint64_t)view->width > (uint64_t)s->width ||
        y + (uint64_t)view->height > (uint64_t)s->height)
        return false;
    *col = (uint32_t)column;
    *row = (uint32_t)y;
    return true;
}

// The block index entry of the window's first row for its first column; the next rows' entries
// follow it.
static inline const uint32_t *GetWindowBlockEntry(const MemImgRunTable &t, int height, const RunWindow &win) {
    return t.blockStart + (size_t)(win.col >> MEMIMG_RUN_BLOCK_SHIFT) * ((size_t)height + 1) + win.row;
}

// Calls draw(i, column, count) for every drawn run of the window's rows i = 0 .. h - 1 within its
// columns [c0, c1): runs that cross either end are cut there. Each row starts at its block index
// entry and stops at the first pair that starts at or past c1 (at the latest its end pair).
template <class Draw>
[[gnu::always_inline]] static inline void WalkWindowRuns(const MemImgRunTable &t, int height, const RunWindow &win,
                                                         Draw draw) {
    const uint32_t c0 = win.col, c1 = win.col + (uint32_t)win.w;
    const uint32_t *block = GetWindowBlockEntry(t, height, win);
    for (int i = 0; i < win.h; ++i, ++block)
        for (const uint32_t *run = t.runs + *block; run[0] < c1; run += 2) {
            const uint32_t lo = run[0] > c0 ? run[0] : c0, hi = run[1] < c1 ? run[1] : c1;
            if (lo < hi) draw(i, lo, hi - lo);  // a pair of c0's block may end before c0
        }
}

// ---- copy kernels --------------------------------------------------------------------------------
// Out of line, so that inlined into the blit they do not run out of registers and keep their row
// state on the stack; stamped once per copy (16-byte and 32-byte pieces).
//   Rect: h rows of bytes from srow on to the rows from drow on.
//   Rows: the drawn runs of h rows, whole, each row's pairs following the end pair of the row
//   before (a table's or a slice's rows: the walk needs no index).
//   CutRows: the same cut to columns [c0, c1), counted as the runs' columns are, srow and drow
//   addressing column c0; every pair of a row is passed, so the rows should be a slice's.
#define DZ_STAMP_COPY_KERNELS(TARGET, NAME, COPY)                                                          \
    template <int Bpp>                                                                                   \
    TARGET [[gnu::noinline]] static void CopyRect##NAME(uint8_t *drow, intptr_t dpitch, const uint8_t *srow, \
                                                        intptr_t spitch, size_t bytes, int h) {           \
        for (; h > 0; --h, drow += dpitch, srow += spitch) COPY(drow, srow, bytes);                        \
    }                                                                                                    \
    template <int Bpp>                                                                                   \
    TARGET [[gnu::noinline]] static void CopyRows##NAME(uint8_t *drow, intptr_t dpitch, const uint8_t *srow, \
                                                        intptr_t spitch, const uint32_t *run, int h) {    \
        for (; h > 0; --h, drow += dpitch, srow += spitch, run += 2)                                     \
            for (; run[0] != MEMIMG_RUN_END; run += 2)                                                   \
                COPY(drow + (size_t)run[0] * Bpp, srow + (size_t)run[0] * Bpp, (size_t)(run[1] - run[0]) * Bpp); \
    }                                                                                                    \
    template <int Bpp>                                                                                   \
    TARGET [[gnu::noinline]] static void CopyCutRows##NAME(uint8_t *drow, intptr_t dpitch, const uint8_t *srow, \
                                                           intptr_t spitch, const uint32_t *run, uint32_t c0, \
                                                           uint32_t c1, int h) {                          \
        uintptr_t d = (uintptr_t)drow - (uintptr_t)c0 * Bpp, s = (uintptr_t)srow - (uintptr_t)c0 * Bpp;  \
        for (; h > 0; --h, d += (uintptr_t)dpitch, s += (uintptr_t)spitch, run += 2)                     \
            for (; run[0] != MEMIMG_RUN_END; run += 2) {                                                 \
                const uint32_t lo = run[0] > c0 ? run[0] : c0, hi = run[1] < c1 ? run[1] : c1;           \
                if (lo < hi)                                                                             \
                    COPY((uint8_t *)(d + (uintptr_t)lo * Bpp), (const uint8_t *)(s + (uintptr_t)lo * Bpp), \
                         (size_t)(hi - lo) * Bpp);                                                       \
            }                                                                                            \
    }

DZ_STAMP_COPY_KERNELS(, , CopyPixelBytes)
#if DZ_WIDE_COPIES
DZ_STAMP_COPY_KERNELS(DZ_TARGET_WIDE, Wide, CopyPixelBytesWide)
#endif
#undef DZ_STAMP_COPY_KERNELS

struct CopyKernels {
    void (*rect)(uint8_t *, intptr_t, const uint8_t *, intptr_t, size_t, int);
    void (*rows)(uint8_t *, intptr_t, const uint8_t *, intptr_t, const uint32_t *, int);
    void (*cutRows)(uint8_t *, intptr_t, const uint8_t *, intptr_t, const uint32_t *, uint32_t, uint32_t, int);
};

// The kernels for Bpp-byte pixels: the widest the processor has, unless narrower pieces are asked for.
template <int Bpp> static const CopyKernels &GetCopyKernels(void) {
    static const CopyKernels narrow = {CopyRect<Bpp>, CopyRows<Bpp>, CopyCutRows<Bpp>};
#if DZ_WIDE_COPIES
    static const CopyKernels wide = {CopyRectWide<Bpp>, CopyRowsWide<Bpp>, CopyCutRowsWide<Bpp>};
    static const bool hasWide = __builtin_cpu_supports("avx2");
    if (hasWide && GetBlitVectorUse() == BLIT_VECTOR_WIDEST) return wide;
#endif
    return narrow;
}

// Rows longer than 128 bytes whose source and destination lie 16 bytes apart modulo 32: after the
// stores are aligned every other 32-byte load would straddle two cache lines, so these move in
// aligned 16-byte pieces, none stored twice but a last part-piece (on 512-byte rows 3 % faster).
[[gnu::noinline]] static void CopyRectHalfApart(uint8_t *drow, intptr_t dpitch, const uint8_t *srow, intptr_t spitch,
                                                size_t bytes, int h) {
    for (; h > 0; --h, drow += dpitch, srow += spitch) {
        uint8_t *d = drow;
        const uint8_t *s = srow;
        Move16(d, s);
        const size_t head = 16 - ((uintptr_t)d & 15);
        size_t n = bytes - head;
        d += head, s += head;
        for (; n >= 64; n -= 64, d += 64, s += 64) Move64<true>(d, s);
        for (; n >= 16; n -= 16, d += 16, s += 16) Move16(d, s);
        if (n > 0) Move16(drow + bytes - 16, srow + bytes - 16);
    }
}

// The plain copy of a window between two stores.
template <int Bpp> static void CopyRectangle(MEMIMG *dst, const MEMIMG *src, const RunWindow &win) {
    uint8_t *const d = GetMemImgRow(dst, win.t) + (intptr_t)win.l * Bpp;
    const uint8_t *const s = GetMemImgRow(src, (int)win.row) + (intptr_t)win.col * Bpp;
    const intptr_t dpitch = dst->shared->pitch, spitch = src->shared->pitch;
    const size_t bytes = (size_t)win.w * Bpp;
    const bool halfApart = bytes > 128 && (((uintptr_t)d - (uintptr_t)s) & 31) == 16 && ((dpitch - spitch) & 31) == 0;
    (halfApart ? CopyRectHalfApart : GetCopyKernels<Bpp>().rect)(d, dpitch, s, spitch, bytes, win.h);
}

// The plain keyed copy of a window between two stores (in store columns; the view starts at
// column vx). The rows of a view as wide as its store are the table's own, those of any other the
// slice of its columns, read from the slice's copy of them where it has one: either way they are
// walked in order, and cut only when the window is narrower than the view. Without a slice each
// row starts from the block index.
template <int Bpp> static void CopyByRuns(MEMIMG *dst, const MEMIMG *src, const RunWindow &win, uint32_t vx) {
    MemImgSharedRecord *s = src->shared;
    const MemImgRunTable &t = s->runTable;
    const intptr_t dpitch = dst->shared->pitch;
    intptr_t spitch = s->pitch;
    uint8_t *const drow = GetMemImgRow(dst, win.t) + (intptr_t)win.l * Bpp;
    const uint8_t *srow = s->pixels + (intptr_t)win.row * spitch + (intptr_t)win.col * Bpp;
    const uint32_t *rows;
    if (vx == 0 && src->width == s->width) {
        rows = t.runs + t.blockStart[win.row];  // block 0's entries: each row's first pair
    } else if (const MemImgRunSlice *slice = GetMemImgRunSlice(s, vx, vx + (uint32_t)src->width)) {
        rows = slice->runs + slice->rowStart[win.row];
        if (slice->pixels != nullptr) {
            spitch = (intptr_t)src->width * Bpp;
            srow = slice->pixels + (intptr_t)win.row * spitch + (intptr_t)(win.col - vx) * Bpp;
        }
    } else {
        WalkWindowRuns(t, s->height, win, [&](int i, uint32_t col, uint32_t n) {
            const size_t at = (size_t)(col - win.col) * Bpp;
            CopyPixelBytes(drow + i * dpitch + at, srow + i * spitch + at, (size_t)n * Bpp);
        });
        return;
    }
    const CopyKernels &k = GetCopyKernels<Bpp>();
    if (win.w == src->width) k.rows(drow, dpitch, srow, spitch, rows, win.h);
    else k.cutRows(drow, dpitch, srow, spitch, rows, win.col - vx, win.col - vx + (uint32_t)win.w, win.h);
}

// Any other keyed draw of a window through the runs: only the drawn runs reach the row function.
// The blend image is read at the texel's column and row of the view (at view column vx).
static void BlitByRunsBetween(MEMIMG *dst, const MEMIMG *src, const MEMIMG *blend, const RunWindow &win,
                              uint32_t vx, uint32_t vy, BlitRowFn row, const PixelOpSnapshot &sn) {
    const MemImgSharedRecord *s = src->shared;
    const int dbpp = GetMemImgBytesPerPixel(dst), sbpp = s->format->pixelByte;
    WalkWindowRuns(s->runTable, s->height, win, [&](int i, uint32_t col, uint32_t n) {
        uint8_t *drow = GetMemImgRow(dst, win.t + i) + (intptr_t)win.l * dbpp;
        const uint8_t *srow = s->pixels + (intptr_t)(win.row + i) * s->pitch;
        const uint8_t *brow = blend ? GetMemImgRow(blend, (int)(win.row + i - vy)) + (col - vx) : nullptr;
        row(drow + (intptr_t)(col - win.col) * dbpp, srow + (intptr_t)col * sbpp, brow, (int)n, sn);
    });
}

// The store column and row of the window's first texel, the run table brought up to date; false
// when the runs cannot be used (switched off, not between two stores, a view they cannot describe,
// no memory).
static bool PlaceWindowInRuns(const MEMIMG *src, const BlitChoice &c, RunWindow *win, uint32_t *vx, uint32_t *vy) {
    MemImgSharedRecord *ss = src->shared;
    if (!c.apart || !GetMemImgRunTableUse()) return false;
    if ((ss->runTable.stale || ss->runTable.runs == nullptr) && UpdateMemImgRunTable(ss) != 0) return false;
    if (!GetViewOrigin(src, vx, vy)) return false;
    win->col += *vx;
    win->row += *vy;
    return true;
}

// Any keyed draw but the plain copy through the runs. False when they cannot be used.
static bool BlitKeyedByRuns(MEMIMG *dst, const MEMIMG *src, const MEMIMG *blend, const BlitChoice &c,
                            RunWindow win, const PixelOpSnapshot &sn) {
    uint32_t vx, vy;
    if (!PlaceWindowInRuns(src, c, &win, &vx, &vy)) return false;
    // Keys are already excluded from the runs; alpha texels keep their per-texel 0 / 255 tests.
    BlitRowFn row = PickBlitRow(c, c.kind == TEXEL_DIRECT_ALPHA);
    if (row != nullptr) BlitByRunsBetween(dst, src, blend, win, vx, vy, row, sn);
    return true;
}

// The destination rectangle of a draw of src at (x, y), cut by the draw region and dst, with the
// view column and row of its first texel in col and row. False when nothing is left. (The same
// rectangle as the draw area's: an empty or outside region leaves nothing either way.)
static bool ClipBlit(const MEMIMG *dst, const MEMIMG *src, int x, int y, RunWindow *win) {
    const Rect &region = GDrawSettings.drawRegion;
    const int64_t l = std::max<int64_t>({x, region.left, 0}), t = std::max<int64_t>({y, region.top, 0});
    const int64_t r = std::min<int64_t>({(int64_t)x + src->width, region.right, dst->width});
    const int64_t b = std::min<int64_t>({(int64_t)y + src->height, region.bottom, dst->height});
    if (l >= r || t >= b) return false;
    *win = {(int)l, (int)t, (int)(r - l), (int)(b - t), (uint32_t)(l - x), (uint32_t)(t - y)};
    return true;
}

// Row function row over the window's rows.
static void BlitRows(MEMIMG *dst, const MEMIMG *src, const MEMIMG *blend, const RunWindow &win, BlitRowFn row,
                     const PixelOpSnapshot &sn) {
    const int dbpp = GetMemImgBytesPerPixel(dst), sbpp = src->shared->format->pixelByte;
    const int sx = (int)win.col, sy = (int)win.row;
    for (int i = 0; i < win.h; ++i) {
        const uint8_t *brow = blend ? GetMemImgRow(blend, sy + i) + sx : nullptr;
        row(GetMemImgRow(dst, win.t + i) + (intptr_t)win.l * dbpp, GetMemImgRow(src, sy + i) + (intptr_t)sx * sbpp,
            brow, win.w, sn);
    }
}

// Every draw but the plain copies: a row function over the window's rows, or over its drawn runs
// when it is keyed.
static void BlitBlended(MEMIMG *dst, const MEMIMG *src, const MEMIMG *blend, const BlitChoice &c, const RunWindow &win,
                        int trans) {
    PixelOpSnapshot sn;
    TakePixelOpSnapshot(&sn, src->shared);
    // A vector row tests the key itself a whole group at a time, faster than calls per run.
    const bool keyedRows = MayTakeVectorRow(c) && PickVectorBlitRow(c.type, c.body, true) != nullptr;
    if (trans && !keyedRows && BlitKeyedByRuns(dst, src, blend, c, win, sn)) return;
    BlitRowFn row = PickBlitRow(c, trans != 0);
    if (row != nullptr) BlitRows(dst, src, blend, win, row, sn);
}

// The plain keyed copy: through the runs, else texel by texel.
static void CopyKeyed(MEMIMG *dst, const MEMIMG *src, const BlitChoice &c, const RunWindow &win) {
    uint32_t vx, vy;
    RunWindow at = win;
    if (PlaceWindowInRuns(src, c, &at, &vx, &vy)) {
        if (c.type == MEMIMG_COLOR_565) CopyByRuns<2>(dst, src, at, vx);
        else CopyByRuns<4>(dst, src, at, vx);
        return;
    }
    PixelOpSnapshot sn;
    TakePixelOpSnapshot(&sn, src->shared);
    BlitRows(dst, src, nullptr, win, PickBlitRow(c, true), sn);
}

void BlitMemImg(MEMIMG *dst, const MEMIMG *src, int x, int y, int trans, const MEMIMG *blend) {
    if (!IsBlitInputValid(dst, src, blend)) return;
    const MemImgSharedRecord *ss = src->shared;
    const bool tint = (GDrawSettings.bright & 0xFFFFFF) != 0xFFFFFF;
    BlitChoice c = {dst->shared->colorType, GetTexelKind(ss), 0, tint, blend != nullptr, dst->shared != ss,
                    dst->shared->colorType != MEMIMG_COLOR_565 || ss->colorKey <= 0xFFFF};
    c.body = ChooseBlitBody(GDrawSettings.blendMode, ClampColorChannel(GDrawSettings.blendParam), c);
    RunWindow win;
    if (c.body < 0 || !ClipBlit(dst, src, x, y, &win)) return;
    if (!IsPlainCopy(c)) BlitBlended(dst, src, blend, c, win, trans);
    else if (trans) CopyKeyed(dst, src, c, win);
    else if (c.type == MEMIMG_COLOR_565) CopyRectangle<2>(dst, src, win);
    else CopyRectangle<4>(dst, src, win);
    MarkMemImgPixelsChanged(dst);
}
