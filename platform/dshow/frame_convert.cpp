// Multimedia-stream stand-in: a decoded Y'CbCr picture into an RGB surface (ITU-R BT.601 studio
// range in 14-bit fixed point, the way the platform's colour converter works).
//
// The generic row is the reference for every format; the SSE2 rows, and the AVX2 rows where the
// processor has them, give the same bytes for the two surface formats movies meet most (16-bit 565 and
// 32-bit X888), 16 pixels at a time. DAZAR_FAST_ROWS=0 in the environment turns them off.
#include "platform/dshow/frame_convert.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__)
#include <immintrin.h>
#define MM_AVX2_ROWS 1
#define MM_TARGET_AVX2 __attribute__((target("avx2")))
#endif

// A channel of the surface format: where its top bits go.
struct ChannelPlace {
    int shift;   // lowest bit
    int drop;    // 8 - width: low bits of the 8-bit value that do not fit
};

// One or two picture lines that share a chroma row (4:2:0 lines come in pairs).
struct RowJob {
    const uint8_t *y[2];          // luma rows
    uint8_t *out[2];              // surface rows
    int rows;                     // 1 or 2
    const uint8_t *cb, *cr;       // the chroma rows
    int x0;                       // the picture's first column in the coded planes
    int hshift;                   // 1 when two pixels share a chroma sample, 0 for 4:4:4
    int width;                    // pixels per line
    const ChannelPlace *place;    // red, green, blue
};
typedef void (*RowConverter)(const RowJob *job);

static ChannelPlace PlaceOfMask(uint32_t mask)
{
    ChannelPlace place = {0, 8};
    if (!mask) return place;
    while (!(mask & 1)) {
        mask >>= 1;
        place.shift++;
    }
    int width = 0;
    while (mask & 1) {
        mask >>= 1;
        width++;
    }
    place.drop = width >= 8 ? 0 : 8 - width;
    return place;
}

static inline int ClipByte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

void MmYCbCrToRgb(int y, int cb, int cr, int *r, int *g, int *b)
{
    int luma = 19070 * (y - 16);
    *r = ClipByte((luma + 26148 * (cr - 128)) >> 14);
    *g = ClipByte((luma + 6406 * (128 - cb) + 13320 * (128 - cr)) >> 14);
    *b = ClipByte((luma + 33062 * (cb - 128)) >> 14);
}

// ---- the reference row ------------------------------------------------------------------------------

// The lines of a job into surface rows of Bytes-per-pixel pixels, any channel masks.
template <int Bytes>
static void convert_yuv_generic(const RowJob *job)
{
    const ChannelPlace *place = job->place;
    for (int line = 0; line < job->rows; line++) {
        const uint8_t *yRow = job->y[line];
        uint8_t *out = job->out[line];
        for (int x = 0; x < job->width; x++) {
            int c = (job->x0 + x) >> job->hshift;
            int r, g, b;
            MmYCbCrToRgb(yRow[job->x0 + x], job->cb[c], job->cr[c], &r, &g, &b);
            uint32_t pixel = ((uint32_t)(r >> place[0].drop) << place[0].shift) |
                             ((uint32_t)(g >> place[1].drop) << place[1].shift) |
                             ((uint32_t)(b >> place[2].drop) << place[2].shift);
            for (int k = 0; k < Bytes; k++) out[x * Bytes + k] = (uint8_t)(pixel >> (8 * k));
        }
    }
}

static RowConverter GenericRowOf(uint32_t bitCount)
{
    return bitCount == 16 ? convert_yuv_generic<2> : bitCount == 24 ? convert_yuv_generic<3>
           : bitCount == 32 ? convert_yuv_generic<4> : nullptr;
}

// The fast rows' frame: the columns from..to (a multiple of 16 apart) of a job through run, an odd
// first column (its chroma sample shared with the column before) and the last width % 16 pixels
// through the reference row.
typedef void (*ColumnRun)(const RowJob *job, int from, int to);
static void ConvertInSteps(const RowJob *job, int bytes, int shared, ColumnRun run)
{
    RowConverter generic = GenericRowOf(8 * (uint32_t)bytes);
    RowJob part = *job;
    int x = 0;
    if (shared && (job->x0 & 1) && job->width > 0) {
        part.width = 1;
        generic(&part);
        x = 1;
    }
    int end = x + (job->width - x) / 16 * 16;
    run(job, x, end);
    if (end < job->width) {
        part.x0 = job->x0 + end;
        part.width = job->width - end;
        for (int line = 0; line < job->rows; line++) part.out[line] = job->out[line] + end * bytes;
        generic(&part);
    }
}

// ---- SSE2 rows --------------------------------------------------------------------------------------
#if defined(__SSE2__)

enum FastFormat { FAST_565, FAST_X888 };

// Two 16-bit factors side by side in each 32-bit lane, for _mm_madd_epi16 on (a, b) pairs.
static inline __m128i FactorPair(int a, int b) { return _mm_set1_epi32((int)(((uint32_t)(uint16_t)b << 16) | (uint16_t)a)); }

// The chroma parts of the three sums for four (Cb - 128, Cr - 128) pairs, as 32-bit lanes:
// red 26148 Cr, green -6406 Cb - 13320 Cr, blue 33062 Cb (2 x 16531, as 33062 needs 17 bits).
static inline void ChromaTerms(__m128i cbcr, __m128i *red, __m128i *green, __m128i *blue)
{
    *red = _mm_madd_epi16(cbcr, FactorPair(0, 26148));
    *green = _mm_madd_epi16(cbcr, FactorPair(-6406, -13320));
    *blue = _mm_slli_epi32(_mm_madd_epi16(cbcr, FactorPair(16531, 0)), 1);
}

// One channel of 8 pixels: (luma + chroma) >> 14 with 32-bit sums, packed to 16 bits (within
// -512..767, so the signed pack keeps every value).
static inline __m128i ChannelSums(__m128i lumaLo, __m128i lumaHi, __m128i chromaLo, __m128i chromaHi)
{
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lumaLo, chromaLo), 14),
                           _mm_srai_epi32(_mm_add_epi32(lumaHi, chromaHi), 14));
}

// 8 pixels' channels as 16-bit values from Y' (8 lanes of Y - 16) and per-pixel chroma terms
// (c[0..2] for pixels 0-3, c[3..5] for 4-7: red, green, blue).
static inline void ChannelsOf8(__m128i luma16, const __m128i c[6], __m128i rgb[3])
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i lumaFactor = FactorPair(19070, 0);
    __m128i lumaLo = _mm_madd_epi16(_mm_unpacklo_epi16(luma16, zero), lumaFactor);
    __m128i lumaHi = _mm_madd_epi16(_mm_unpackhi_epi16(luma16, zero), lumaFactor);
    for (int k = 0; k < 3; k++) rgb[k] = ChannelSums(lumaLo, lumaHi, c[k], c[k + 3]);
}

// Chroma terms of 8 pixels from 8 (Cb', Cr') 16-bit lanes each: 4:4:4, one pair per pixel.
static inline void PixelChroma444(__m128i cb16, __m128i cr16, __m128i c[6])
{
    ChromaTerms(_mm_unpacklo_epi16(cb16, cr16), &c[0], &c[1], &c[2]);
    ChromaTerms(_mm_unpackhi_epi16(cb16, cr16), &c[3], &c[4], &c[5]);
}

// Chroma terms of 8 pixels from 4 (Cb', Cr') pairs (cbcr, 32-bit lanes): each pair serves two pixels.
static inline void PixelChromaShared(__m128i cbcr, __m128i c[6])
{
    __m128i term[3];
    ChromaTerms(cbcr, &term[0], &term[1], &term[2]);
    for (int k = 0; k < 3; k++) {
        c[k] = _mm_shuffle_epi32(term[k], _MM_SHUFFLE(1, 1, 0, 0));
        c[k + 3] = _mm_shuffle_epi32(term[k], _MM_SHUFFLE(3, 3, 2, 2));
    }
}

// 16 pixels of R, G, B bytes (the signed-to-unsigned pack clips to 0..255, as the clip table does)
// into the surface row.
template <int Format>
static inline void Store16(__m128i r8, __m128i g8, __m128i b8, uint8_t *out)
{
    const __m128i zero = _mm_setzero_si128();
    if constexpr (Format == FAST_X888) {
        __m128i bgLo = _mm_unpacklo_epi8(b8, g8), bgHi = _mm_unpackhi_epi8(b8, g8);
        __m128i r0Lo = _mm_unpacklo_epi8(r8, zero), r0Hi = _mm_unpackhi_epi8(r8, zero);
        _mm_storeu_si128((__m128i *)out, _mm_unpacklo_epi16(bgLo, r0Lo));
        _mm_storeu_si128((__m128i *)(out + 16), _mm_unpackhi_epi16(bgLo, r0Lo));
        _mm_storeu_si128((__m128i *)(out + 32), _mm_unpacklo_epi16(bgHi, r0Hi));
        _mm_storeu_si128((__m128i *)(out + 48), _mm_unpackhi_epi16(bgHi, r0Hi));
    } else {
        // 565 a byte at a time: high byte red's top 5 bits and green's top 3, low byte green's next 3
        // and blue's top 5. The 16-bit shifts pull in bits of the neighbouring byte; the masks drop them.
        const __m128i f8 = _mm_set1_epi8((char)0xF8), m07 = _mm_set1_epi8(0x07), m1c = _mm_set1_epi8(0x1C),
                      m1f = _mm_set1_epi8(0x1F);
        __m128i high = _mm_or_si128(_mm_and_si128(r8, f8), _mm_and_si128(_mm_srli_epi16(g8, 5), m07));
        __m128i low = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(g8, m1c), 3), _mm_and_si128(_mm_srli_epi16(b8, 3), m1f));
        _mm_storeu_si128((__m128i *)out, _mm_unpacklo_epi8(low, high));
        _mm_storeu_si128((__m128i *)(out + 16), _mm_unpackhi_epi8(low, high));
    }
}

// The per-pixel chroma terms of 16 pixels (c[0] for pixels 0-7, c[1] for 8-15) from their chroma
// samples at cb and cr (8 or 16 bytes of each).
template <int Shared>
static inline void Chroma16(const uint8_t *cb, const uint8_t *cr, __m128i c[2][6])
{
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128);
    if constexpr (Shared) {
        __m128i cb16 = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i *)cb), zero), half);
        __m128i cr16 = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i *)cr), zero), half);
        PixelChromaShared(_mm_unpacklo_epi16(cb16, cr16), c[0]);
        PixelChromaShared(_mm_unpackhi_epi16(cb16, cr16), c[1]);
    } else {
        __m128i cb8 = _mm_loadu_si128((const __m128i *)cb), cr8 = _mm_loadu_si128((const __m128i *)cr);
        PixelChroma444(_mm_sub_epi16(_mm_unpacklo_epi8(cb8, zero), half),
                       _mm_sub_epi16(_mm_unpacklo_epi8(cr8, zero), half), c[0]);
        PixelChroma444(_mm_sub_epi16(_mm_unpackhi_epi8(cb8, zero), half),
                       _mm_sub_epi16(_mm_unpackhi_epi8(cr8, zero), half), c[1]);
    }
}

// 16 pixels from 16 Y bytes at y and their chroma terms into the surface row.
template <int Format>
static inline void Luma16(const uint8_t *y, const __m128i c[2][6], uint8_t *out)
{
    const __m128i zero = _mm_setzero_si128(), sixteen = _mm_set1_epi16(16);
    __m128i y8 = _mm_loadu_si128((const __m128i *)y);
    __m128i lo[3], hi[3];
    ChannelsOf8(_mm_sub_epi16(_mm_unpacklo_epi8(y8, zero), sixteen), c[0], lo);
    ChannelsOf8(_mm_sub_epi16(_mm_unpackhi_epi8(y8, zero), sixteen), c[1], hi);
    Store16<Format>(_mm_packus_epi16(lo[0], hi[0]), _mm_packus_epi16(lo[1], hi[1]), _mm_packus_epi16(lo[2], hi[2]),
                    out);
}

// Columns from..to of the lines of a job in a fast format, 16 pixels at a time, the chroma terms made
// once for both lines of a pair.
template <int Format, int Shared>
static void RunSse2(const RowJob *job, int from, int to)
{
    const int bytes = Format == FAST_X888 ? 4 : 2;
    for (int x = from; x < to; x += 16) {
        int column = job->x0 + x;
        __m128i c[2][6];
        Chroma16<Shared>(job->cb + (column >> job->hshift), job->cr + (column >> job->hshift), c);
        for (int line = 0; line < job->rows; line++) Luma16<Format>(job->y[line] + column, c, job->out[line] + x * bytes);
    }
}

template <int Format, int Shared>
static void convert_yuv_sse2(const RowJob *job)
{
    ConvertInSteps(job, Format == FAST_X888 ? 4 : 2, Shared, RunSse2<Format, Shared>);
}

#endif

// ---- AVX2 rows --------------------------------------------------------------------------------------
#if MM_AVX2_ROWS

// 16 pixels in 16-bit lanes. A channel's sums are made in two halves of 32-bit lanes, the even pixels'
// and the odd pixels' (_mm256_madd_epi16 with the factor on one side of each pair), so that the
// chroma term of a pixel pair sits in that pair's lane, and the two halves blend back into pixel
// order. Every sum is taken 4 times over (samples times 4): its >> 14 is the high half of its lane.

// Factors a on the even, b on the odd 16-bit lane of each pair.
MM_TARGET_AVX2 static inline __m256i WidePair(int a, int b)
{
    return _mm256_set1_epi32((int)(((uint32_t)(uint16_t)b << 16) | (uint16_t)a));
}

// 4 x (sample - bias) in each 16-bit lane.
MM_TARGET_AVX2 static inline __m256i Times4Less(__m256i v, int bias)
{
    return _mm256_sub_epi16(_mm256_slli_epi16(v, 2), _mm256_set1_epi16((short)(4 * bias)));
}

// The chroma terms of eight (Cb', Cr') pairs, 4 x over, in 32-bit lanes: red, green, blue.
MM_TARGET_AVX2 static inline void WideChromaTerms(__m256i cbcr4, __m256i term[3])
{
    term[0] = _mm256_madd_epi16(cbcr4, WidePair(0, 26148));
    term[1] = _mm256_madd_epi16(cbcr4, WidePair(-6406, -13320));
    term[2] = _mm256_slli_epi32(_mm256_madd_epi16(cbcr4, WidePair(16531, 0)), 1);   // 33062 needs 17 bits
}

// The chroma terms of 16 pixels: even[] for pixels 0, 2, .. 14 and odd[] for 1, 3, .. 15.
template <int Shared>
MM_TARGET_AVX2 static inline void WideChroma16(const uint8_t *cb, const uint8_t *cr, __m256i even[3], __m256i odd[3])
{
    if constexpr (Shared) {
        // Eight samples, each serving a pixel pair: Cb and Cr side by side in each 32-bit lane.
        __m128i pairs = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i *)cb), _mm_loadl_epi64((const __m128i *)cr));
        WideChromaTerms(Times4Less(_mm256_cvtepu8_epi16(pairs), 128), even);
        for (int k = 0; k < 3; k++) odd[k] = even[k];
    } else {
        __m256i cb16 = Times4Less(_mm256_cvtepu8_epi16(_mm_loadu_si128((const __m128i *)cb)), 128);
        __m256i cr16 = Times4Less(_mm256_cvtepu8_epi16(_mm_loadu_si128((const __m128i *)cr)), 128);
        WideChromaTerms(_mm256_blend_epi16(cb16, _mm256_slli_epi32(cr16, 16), 0xAA), even);
        WideChromaTerms(_mm256_blend_epi16(_mm256_srli_epi32(cb16, 16), cr16, 0xAA), odd);
    }
}

// One channel of 16 pixels in 16-bit lanes in pixel order, not yet clipped (-512..767).
MM_TARGET_AVX2 static inline __m256i WideSum(__m256i lumaEven, __m256i lumaOdd, __m256i even, __m256i odd)
{
    return _mm256_blend_epi16(_mm256_srli_epi32(_mm256_add_epi32(lumaEven, even), 16), _mm256_add_epi32(lumaOdd, odd),
                              0xAA);
}

// The three channels of 16 pixels from 16 Y bytes at y and their chroma terms, not yet clipped.
MM_TARGET_AVX2 static inline void WideChannels16(const uint8_t *y, const __m256i even[3], const __m256i odd[3],
                                                 __m256i rgb[3])
{
    __m256i y4 = Times4Less(_mm256_cvtepu8_epi16(_mm_loadu_si128((const __m128i *)y)), 16);
    __m256i lumaEven = _mm256_madd_epi16(y4, WidePair(19070, 0)), lumaOdd = _mm256_madd_epi16(y4, WidePair(0, 19070));
    for (int k = 0; k < 3; k++) rgb[k] = WideSum(lumaEven, lumaOdd, even[k], odd[k]);
}

// 32 pixels, a (0-15) and b (16-31), into the surface row. The unsigned pack clips each channel to
// 0..255 as the clip table does and leaves the bytes in the order a0-7 b0-7 | a8-15 b8-15, which the
// byte unpacks below take apart again: the low halves are a's pixels, the high halves b's.
template <int Format>
MM_TARGET_AVX2 static inline void WideStore32(const __m256i a[3], const __m256i b[3], uint8_t *out)
{
    __m256i r = _mm256_packus_epi16(a[0], b[0]), g = _mm256_packus_epi16(a[1], b[1]), bl = _mm256_packus_epi16(a[2], b[2]);
    if constexpr (Format == FAST_X888) {
        const __m256i zero = _mm256_setzero_si256();
        __m256i halves[2][2] = {{_mm256_unpacklo_epi8(bl, g), _mm256_unpacklo_epi8(r, zero)},
                                {_mm256_unpackhi_epi8(bl, g), _mm256_unpackhi_epi8(r, zero)}};
        for (int h = 0; h < 2; h++) {
            __m256i lo = _mm256_unpacklo_epi16(halves[h][0], halves[h][1]), hi = _mm256_unpackhi_epi16(halves[h][0], halves[h][1]);
            _mm256_storeu_si256((__m256i *)(out + 64 * h), _mm256_permute2x128_si256(lo, hi, 0x20));
            _mm256_storeu_si256((__m256i *)(out + 64 * h + 32), _mm256_permute2x128_si256(lo, hi, 0x31));
        }
    } else {
        // High byte red's top 5 bits and green's top 3, low byte green's next 3 and blue's top 5. The
        // 16-bit shifts pull in bits of the neighbouring byte; the masks drop them.
        __m256i high = _mm256_or_si256(_mm256_and_si256(r, _mm256_set1_epi8((char)0xF8)),
                                       _mm256_and_si256(_mm256_srli_epi16(g, 5), _mm256_set1_epi8(0x07)));
        __m256i low = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(g, 3), _mm256_set1_epi8((char)0xE0)),
                                      _mm256_and_si256(_mm256_srli_epi16(bl, 3), _mm256_set1_epi8(0x1F)));
        _mm256_storeu_si256((__m256i *)out, _mm256_unpacklo_epi8(low, high));
        _mm256_storeu_si256((__m256i *)(out + 32), _mm256_unpackhi_epi8(low, high));
    }
}

// 16 pixels: as WideStore32 with the second half's channels repeated, of which the first half is stored.
template <int Format>
MM_TARGET_AVX2 static inline void WideStore16(const __m256i a[3], uint8_t *out)
{
    alignas(32) uint8_t both[128];
    WideStore32<Format>(a, a, both);
    memcpy(out, both, Format == FAST_X888 ? 64 : 32);
}

// As RunSse2, through the AVX2 pieces: 32 pixels at a time, the last 16 alone.
template <int Format, int Shared>
MM_TARGET_AVX2 static void RunAvx2(const RowJob *job, int from, int to)
{
    const int bytes = Format == FAST_X888 ? 4 : 2;
    for (int x = from; x < to;) {
        int column = job->x0 + x, pixels = to - x >= 32 ? 32 : 16;
        __m256i even[2][3], odd[2][3];
        for (int h = 0; h < pixels / 16; h++) {
            int at = (column + 16 * h) >> job->hshift;
            WideChroma16<Shared>(job->cb + at, job->cr + at, even[h], odd[h]);
        }
        for (int line = 0; line < job->rows; line++) {
            __m256i a[3], b[3];
            WideChannels16(job->y[line] + column, even[0], odd[0], a);
            if (pixels == 16) {
                WideStore16<Format>(a, job->out[line] + x * bytes);
                continue;
            }
            WideChannels16(job->y[line] + column + 16, even[1], odd[1], b);
            WideStore32<Format>(a, b, job->out[line] + x * bytes);
        }
        x += pixels;
    }
}

template <int Format, int Shared>
static void convert_yuv_avx2(const RowJob *job)
{
    ConvertInSteps(job, Format == FAST_X888 ? 4 : 2, Shared, RunAvx2<Format, Shared>);
}
#endif

// ---- choosing the rows ------------------------------------------------------------------------------

#if defined(__SSE2__)
// The formats with fast rows, by depth, masks and chroma sharing: the SSE2 and the AVX2 row.
struct FastRow {
    uint32_t bitCount, redMask, greenMask, blueMask;
    int shared;          // 1: 4:2:0 and 4:2:2, 0: 4:4:4
    RowConverter convert[2];
};
#if MM_AVX2_ROWS
#define MM_WIDE_ROW(format, shared) convert_yuv_avx2<format, shared>
#else
#define MM_WIDE_ROW(format, shared) nullptr
#endif
static const FastRow kFastRows[] = {
    {16, 0xF800, 0x07E0, 0x001F, 1, {convert_yuv_sse2<FAST_565, 1>, MM_WIDE_ROW(FAST_565, 1)}},
    {16, 0xF800, 0x07E0, 0x001F, 0, {convert_yuv_sse2<FAST_565, 0>, MM_WIDE_ROW(FAST_565, 0)}},
    {32, 0xFF0000, 0xFF00, 0xFF, 1, {convert_yuv_sse2<FAST_X888, 1>, MM_WIDE_ROW(FAST_X888, 1)}},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, {convert_yuv_sse2<FAST_X888, 0>, MM_WIDE_ROW(FAST_X888, 0)}},
};
#endif

// 1 when this build and processor have the row set.
static int HasRows(int rows)
{
    if (rows == MM_ROWS_REFERENCE) return 1;
#if defined(__SSE2__)
    if (rows == MM_ROWS_SSE2) return 1;
#endif
#if MM_AVX2_ROWS
    static const int hasAvx2 = __builtin_cpu_supports("avx2");
    if (rows == MM_ROWS_AVX2) return hasAvx2;
#endif
    return 0;
}

// The widest row set there is, or the reference rows with DAZAR_FAST_ROWS=0 (read once).
static int WidestRows(void)
{
    static const int widest = [] {
        const char *setting = getenv("DAZAR_FAST_ROWS");
        if (setting && strcmp(setting, "0") == 0) return (int)MM_ROWS_REFERENCE;
        return HasRows(MM_ROWS_AVX2) ? (int)MM_ROWS_AVX2 : HasRows(MM_ROWS_SSE2) ? (int)MM_ROWS_SSE2 : (int)MM_ROWS_REFERENCE;
    }();
    return widest;
}

// The row of the row set for the target and layout (the reference row for the other formats); null
// for a depth not written or a row set this processor has not.
static RowConverter ChooseRow(const MmSurfaceLock *target, int shared, int rows)
{
    if (!HasRows(rows)) return nullptr;
#if defined(__SSE2__)
    for (const FastRow &row : kFastRows) {
        if (rows != MM_ROWS_REFERENCE && row.bitCount == target->bitCount && row.redMask == target->redMask &&
            row.greenMask == target->greenMask && row.blueMask == target->blueMask && row.shared == shared)
            return row.convert[rows == MM_ROWS_AVX2];
    }
#endif
    return GenericRowOf(target->bitCount);
}

// Both entries: the rows chosen once, then run over the picture's lines.
static int ConvertWith(const MmPictureInfo *picture, const MmPlane planes[3], const MmSurfaceLock *target, int rows)
{
    int hshift = picture->chroma == MM_CHROMA_444 ? 0 : 1;
    int vshift = picture->chroma == MM_CHROMA_420 ? 1 : 0;
    RowConverter convert = ChooseRow(target, hshift, rows);
    if (!convert || target->width < picture->picWidth || target->height < picture->picHeight) return -1;
    ChannelPlace place[3] = {PlaceOfMask(target->redMask), PlaceOfMask(target->greenMask),
                             PlaceOfMask(target->blueMask)};
    RowJob job = {};
    job.x0 = picture->picX;
    job.hshift = hshift;
    job.width = picture->picWidth;
    job.place = place;
    for (int row = 0; row < picture->picHeight; row += job.rows) {
        int y = picture->picY + row;
        int c = y >> vshift;
        // Two lines of one chroma row go together.
        job.rows = vshift && !(y & 1) && row + 1 < picture->picHeight ? 2 : 1;
        for (int line = 0; line < job.rows; line++) {
            job.y[line] = planes[0].data + (intptr_t)(y + line) * planes[0].stride;
            job.out[line] = target->pixels + (intptr_t)(row + line) * target->pitch;
        }
        job.cb = planes[1].data + (intptr_t)c * planes[1].stride;
        job.cr = planes[2].data + (intptr_t)c * planes[2].stride;
        convert(&job);
    }
    return 0;
}

int MmConvertPicture(const MmPictureInfo *picture, const MmPlane planes[3], const MmSurfaceLock *target)
{
    return ConvertWith(picture, planes, target, WidestRows());
}

int MmConvertPictureWith(const MmPictureInfo *picture, const MmPlane planes[3], const MmSurfaceLock *target,
                         MmConvertRows rows)
{
    return ConvertWith(picture, planes, target, rows);
}
