// The scaled and mirrored blit. Per call: order the corners, refuse what cannot be drawn safely,
// hand same-size draws to BlitMemImg, clip, then walk the 16.16 counters once into a table of
// source column runs and a table of source rows. One loop per combination of the draw settings
// then draws every row from the tables, testing the key once per source pixel.
#include "lib/softrender/blit_stretched.h"
#include <cstring>
#include <type_traits>
#include "lib/core/cpu.h"
#include "lib/core/helpers.h"
#include "lib/core/memory.h"
#include "lib/softrender/blit.h"
#include "lib/softrender/blit_vector.h"
#include "lib/softrender/flat_span.h"
#include "lib/softrender/pixel_ops.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#endif

namespace {

constexpr int kTableOnStack = 1024;          // runs and rows kept on the stack up to this many

// A stretch of destination columns that show one source column.
struct StretchRun {
    int32_t column;   // source column (mirrored already)
    int32_t count;    // destination pixels
};

struct StretchJob {
    uint8_t *dst;               // first destination pixel of the clipped rectangle
    ptrdiff_t dstPitch;
    int rowCount;               // clipped rows
    const uint8_t *src;         // source first pixel
    ptrdiff_t srcPitch;
    const uint8_t *blend;       // blend image first byte, or null
    ptrdiff_t blendPitch;
    const StretchRun *runs;     // per destination row, left to right
    int runCount;
    const int32_t *columns;     // source column of every clipped destination column
    int width;                  // clipped columns
    const int32_t *rows;        // source row of every clipped destination row
    bool copyRepeats;           // the unkeyed copy copies a row whose source row is the row above's
    PixelOpSnapshot snap;
};

typedef void (*StretchRowsFn)(const StretchJob &job);

// ---- the walk -----------------------------------------------------------------------------------
// The source positions of count destination pixels after skipping `skipped` of them: the first is
// floor(skipped * 65536 / scale), then the counter starts where the walk from 0 would stand, falls
// by 65536 per destination pixel and moves the source on (adding scale) whenever it is 0 or less.
// Positions past limit - 1 cannot occur within the limits; they are held at limit - 1 regardless.
template <typename Emit> void WalkStretchAxis(int64_t skipped, int count, uint32_t scale, int limit, Emit emit) {
    const int64_t start = skipped * 65536;
    int64_t pos = start / scale;
    int64_t counter = (int64_t)scale - (start - pos * (int64_t)scale);
    for (int i = 0; i < count; ++i) {
        emit((int32_t)(pos < limit ? pos : limit - 1));
        counter -= 65536;
        while (counter <= 0) {
            ++pos;
            counter += scale;
        }
    }
}

// ---- loops --------------------------------------------------------------------------------------
template <int Type, int Kind> struct StretchTexel {
    using Pixel = typename MemImgPixel<Type>::Pixel;
    using Texel = std::conditional_t<Kind == TEXEL_PALETTE, uint8_t, std::conditional_t<Kind == TEXEL_DIRECT, Pixel, uint32_t>>;
};

// The general loop: every mode, weight and tint through DrawTexel. For palette and direct texels
// the key skips the whole run; alpha texels keep their per-texel tests inside DrawTexel.
template <int Type, int Kind, int Body, bool Tint, bool HasBlend, bool Trans> void StretchRows(const StretchJob &j) {
    using Pixel = typename StretchTexel<Type, Kind>::Pixel;
    using Texel = typename StretchTexel<Type, Kind>::Texel;
    constexpr bool kAlpha = Kind == TEXEL_DIRECT_ALPHA;
    for (int y = 0; y < j.rowCount; ++y) {
        const auto *s = reinterpret_cast<const Texel *>(j.src + j.rows[y] * j.srcPitch);
        const uint8_t *b = HasBlend ? j.blend + j.rows[y] * j.blendPitch : nullptr;
        auto *d = reinterpret_cast<Pixel *>(j.dst + y * j.dstPitch);
        for (int r = 0; r < j.runCount; ++r) {
            const StretchRun run = j.runs[r];
            const uint32_t texel = s[run.column];
            if constexpr (Trans && !kAlpha) {
                if (texel == j.snap.colorKey) {
                    d += run.count;
                    continue;
                }
            }
            const uint32_t blendByte = HasBlend ? b[run.column] : 0;
            for (int k = 0; k < run.count; ++k, ++d)
                DrawTexel<Type, Kind, Body, Tint, HasBlend, Trans && kAlpha>(d, texel, blendByte, j.snap);
        }
    }
}

// The plain copy (mode 0, or 1 at p = 255, without tint, blend image or alpha): one load and one
// store per pixel. Enlargements walk the runs (one key test per source pixel); the rest read the
// column table, where the short runs would cost more than they save. Unkeyed, a row that shows the
// same source row as the row above is a copy of that row (with copyRepeats).
template <int Type, int Kind, bool Trans, bool Runs> void StretchRowsCopy(const StretchJob &j) {
    using Pixel = typename StretchTexel<Type, Kind>::Pixel;
    using Texel = typename StretchTexel<Type, Kind>::Texel;
    const auto *palette = static_cast<const Pixel *>(j.snap.palette);
    const uint32_t key = j.snap.colorKey;
    for (int y = 0; y < j.rowCount; ++y) {
        const auto *s = reinterpret_cast<const Texel *>(j.src + j.rows[y] * j.srcPitch);
        auto *d = reinterpret_cast<Pixel *>(j.dst + y * j.dstPitch);
        if (!Trans && j.copyRepeats && y > 0 && j.rows[y] == j.rows[y - 1]) {
            memcpy(d, j.dst + (y - 1) * j.dstPitch, sizeof(Pixel) * (size_t)j.width);
            continue;
        }
        if constexpr (Runs) {
            for (int r = 0; r < j.runCount; ++r) {
                const StretchRun run = j.runs[r];
                const uint32_t texel = s[run.column];
                if (!(Trans && texel == key)) {
                    const Pixel c = Kind == TEXEL_PALETTE ? palette[texel] : (Pixel)texel;
                    for (int k = 0; k < run.count; ++k) d[k] = c;
                }
                d += run.count;
            }
        } else {
            for (int x = 0; x < j.width; ++x) {
                const uint32_t texel = s[j.columns[x]];
                if (Trans && texel == key) continue;
                d[x] = Kind == TEXEL_PALETTE ? palette[texel] : (Pixel)texel;
            }
        }
    }
}

// The processor's packed unsigned saturating byte subtract on one pixel (no MMX registers, so no
// EMMS is needed): SSE2 or NEON where present, the byte loop elsewhere; all give the same bytes.
inline uint32_t SubtractSaturatePixel(uint32_t d, uint32_t s) {
#if defined(__SSE2__)
    return (uint32_t)_mm_cvtsi128_si32(_mm_subs_epu8(_mm_cvtsi32_si128((int)d), _mm_cvtsi32_si128((int)s)));
#elif defined(__ARM_NEON)
    uint8x8_t r = vqsub_u8(vreinterpret_u8_u32(vdup_n_u32(d)), vreinterpret_u8_u32(vdup_n_u32(s)));
    return vget_lane_u32(vreinterpret_u32_u8(r), 0);
#else
    return SubtractSaturate8888(d, s);
#endif
}

// Mode 3 at p = 255 without tint, blend image or alpha: S[255] is the identity, so the whole pixel
// (palette entry) is subtracted directly; Saturate selects the processor's byte form (type 1).
template <int Type, int Kind, bool Trans, bool Saturate> void StretchRowsSubtract(const StretchJob &j) {
    using Pixel = typename StretchTexel<Type, Kind>::Pixel;
    using Texel = typename StretchTexel<Type, Kind>::Texel;
    const auto *palette = static_cast<const Pixel *>(j.snap.palette);
    for (int y = 0; y < j.rowCount; ++y) {
        const auto *s = reinterpret_cast<const Texel *>(j.src + j.rows[y] * j.srcPitch);
        auto *d = reinterpret_cast<Pixel *>(j.dst + y * j.dstPitch);
        for (int r = 0; r < j.runCount; ++r) {
            const StretchRun run = j.runs[r];
            const uint32_t texel = s[run.column];
            if (Trans && texel == j.snap.colorKey) {
                d += run.count;
                continue;
            }
            const uint32_t c = Kind == TEXEL_PALETTE ? palette[texel] : texel;
            for (int k = 0; k < run.count; ++k, ++d) {
                if constexpr (Saturate)
                    *d = SubtractSaturatePixel(*d, c);
                else if constexpr (Type == 0)
                    *d = (Pixel)PackedSubtract565(*d, c);
                else
                    *d = PackedSubtract8888(*d, c);
            }
        }
    }
}

// ---- choosing the loop --------------------------------------------------------------------------
// The general loop for the tint, blend-image and key flags.
template <int Type, int Kind, int Body> StretchRowsFn PickStretchFlags(bool tint, bool blend, bool trans) {
    static constexpr StretchRowsFn kTable[8] = {
        StretchRows<Type, Kind, Body, false, false, false>, StretchRows<Type, Kind, Body, false, false, true>,
        StretchRows<Type, Kind, Body, false, true, false>,  StretchRows<Type, Kind, Body, false, true, true>,
        StretchRows<Type, Kind, Body, true, false, false>,  StretchRows<Type, Kind, Body, true, false, true>,
        StretchRows<Type, Kind, Body, true, true, false>,   StretchRows<Type, Kind, Body, true, true, true>,
    };
    return kTable[(tint ? 4 : 0) + (blend ? 2 : 0) + (trans ? 1 : 0)];
}

// The plain copy when the settings allow it, else the general loop of the body.
template <int Type, int Kind>
StretchRowsFn PickStretchBody(int body, bool tint, bool blend, bool trans, bool runs) {
    if (Kind != TEXEL_DIRECT_ALPHA && body == 0 && !tint && !blend) {
        if (runs) return trans ? StretchRowsCopy<Type, Kind, true, true> : StretchRowsCopy<Type, Kind, false, true>;
        return trans ? StretchRowsCopy<Type, Kind, true, false> : StretchRowsCopy<Type, Kind, false, false>;
    }
    switch (body) {
    case 0: return PickStretchFlags<Type, Kind, 0>(tint, blend, trans);
    case 1: return PickStretchFlags<Type, Kind, 1>(tint, blend, trans);
    case 2: return PickStretchFlags<Type, Kind, 2>(tint, blend, trans);
    case 3: return PickStretchFlags<Type, Kind, 3>(tint, blend, trans);
    case 4: return PickStretchFlags<Type, Kind, 4>(tint, blend, trans);
    case 10: return PickStretchFlags<Type, Kind, 10>(tint, blend, trans);
    default: return PickStretchFlags<Type, Kind, 11>(tint, blend, trans);
    }
}

// The subtract at p = 255: the byte-saturating form only on type 1 with the MMX flag.
template <int Type, int Kind> StretchRowsFn PickStretchSubtract(bool trans, bool saturate) {
    if constexpr (Type == 1) {
        if (saturate) return trans ? StretchRowsSubtract<1, Kind, true, true> : StretchRowsSubtract<1, Kind, false, true>;
    }
    return trans ? StretchRowsSubtract<Type, Kind, true, false> : StretchRowsSubtract<Type, Kind, false, false>;
}

// The loop for a texel kind.
template <int Type>
StretchRowsFn PickStretchKind(int kind, int body, bool tint, bool blend, bool trans, bool subtract, bool saturate,
                              bool runs) {
    if (kind == TEXEL_PALETTE)
        return subtract ? PickStretchSubtract<Type, TEXEL_PALETTE>(trans, saturate)
                        : PickStretchBody<Type, TEXEL_PALETTE>(body, tint, blend, trans, runs);
    if (kind == TEXEL_DIRECT)
        return subtract ? PickStretchSubtract<Type, TEXEL_DIRECT>(trans, saturate)
                        : PickStretchBody<Type, TEXEL_DIRECT>(body, tint, blend, trans, runs);
    return PickStretchBody<Type, TEXEL_DIRECT_ALPHA>(body, tint, blend, trans, runs);
}

// The loop for this draw, or null when the mode draws nothing. runs: the source columns repeat
// (an enlargement), so the copy walks runs rather than the column table.
StretchRowsFn PickStretchRows(const MEMIMG *src, const PixelOpSnapshot &sn, bool blend, bool trans, bool runs) {
    const MemImgSharedRecord *sh = src->shared;
    const int kind = GetTexelKind(sh);
    int body = ResolveBlendBody(sn.mode, sn.param);
    // Palette texels run the subtract at p = 0 with a zero source.
    if (sn.mode == MEMIMG_BLEND_SUBTRACT && sn.param == 0 && kind == TEXEL_PALETTE) body = 3;
    if (body < 0) return nullptr;
    const bool subtract = body == 3 && sn.param == 255 && !blend && !sn.tintActive && kind != TEXEL_DIRECT_ALPHA;
    const bool saturate = subtract && GetMmxAvailable() == 1;
    if (sh->colorType == MEMIMG_COLOR_565)
        return PickStretchKind<0>(kind, body, sn.tintActive, blend, trans, subtract, saturate, runs);
    return PickStretchKind<1>(kind, body, sn.tintActive, blend, trans, subtract, saturate, runs);
}

// ---- set-up -------------------------------------------------------------------------------------
// 1 when src, dst and blend can be drawn together at all.
int CanStretchBetween(const MEMIMG *dst, const MEMIMG *src, const MEMIMG *blend) {
    if (!IsMemImgValid(dst) || !IsMemImgValid(src)) return 0;
    const MemImgSharedRecord *ds = dst->shared, *ss = src->shared;
    if (ss->colorType != MEMIMG_COLOR_565 && ss->colorType != MEMIMG_COLOR_8888) return 0;
    if (ds->colorType != ss->colorType || ds->paletteFlag || ds->alphaFlag) return 0;
    if (src->width <= 0 || src->height <= 0 || src->width > 65536 || src->height > 65536) return 0;
    if (blend != nullptr) {
        // The blend image is read at source positions without a bounds test.
        if (!IsMemImgValid(blend) || !DoesBlendImageCover(blend, src)) return 0;
    }
    return 1;
}

// Draws the clipped rectangle clip of the ordered rectangle whole through the tables.
void DrawStretched(MEMIMG *dst, const MEMIMG *src, const Rect &whole, const Rect &clip, bool mirrorX, bool mirrorY,
                   int trans, const MEMIMG *blend) {
    StretchJob j;
    TakePixelOpSnapshot(&j.snap, src->shared);
    if (PickStretchRows(src, j.snap, blend != nullptr, trans != 0, false) == nullptr) return;
    const int width = whole.right - whole.left, height = whole.bottom - whole.top;
    const uint32_t scaleX = (uint32_t)(((int64_t)width * 65536) / src->width);
    const uint32_t scaleY = (uint32_t)(((int64_t)height * 65536) / src->height);
    const int clipW = clip.right - clip.left, clipH = clip.bottom - clip.top;

    StretchRun runsOnStack[kTableOnStack];
    int32_t rowsOnStack[kTableOnStack], columnsOnStack[kTableOnStack];
    StretchRun *runs = runsOnStack;
    int32_t *srcRows = rowsOnStack, *columns = columnsOnStack;
    void *heap = nullptr;
    if (clipW > kTableOnStack || clipH > kTableOnStack) {
        heap = DZ_ALLOC((size_t)clipW * (sizeof(StretchRun) + sizeof(int32_t)) + (size_t)clipH * sizeof(int32_t));
        if (heap == nullptr) return;
        runs = static_cast<StretchRun *>(heap);
        columns = reinterpret_cast<int32_t *>(runs + clipW);
        srcRows = columns + clipW;
    }
    int runCount = 0, columnCount = 0;
    WalkStretchAxis(clip.left - whole.left, clipW, scaleX, src->width, [&](int32_t col) {
        if (mirrorX) col = src->width - 1 - col;
        columns[columnCount++] = col;
        if (runCount > 0 && runs[runCount - 1].column == col)
            ++runs[runCount - 1].count;
        else
            runs[runCount++] = {col, 1};
    });
    int rowCount = 0;
    WalkStretchAxis(clip.top - whole.top, clipH, scaleY, src->height,
                    [&](int32_t row) { srcRows[rowCount++] = mirrorY ? src->height - 1 - row : row; });

    StretchRowsFn rows = PickStretchRows(src, j.snap, blend != nullptr, trans != 0, runCount * 2 <= clipW);
    j.dst = GetMemImgPixelAddress(dst, clip.left, clip.top);
    j.dstPitch = dst->shared->pitch;
    j.rowCount = clipH;
    j.src = src->pixels;
    j.srcPitch = src->shared->pitch;
    j.blend = blend ? blend->pixels : nullptr;
    j.blendPitch = blend ? blend->shared->pitch : 0;
    j.runs = runs;
    j.runCount = runCount;
    j.columns = columns;
    j.width = clipW;
    j.rows = srcRows;
    // Within one store the row above may have changed the source row.
    j.copyRepeats = src->shared != dst->shared && GetBlitVectorUse() != BLIT_VECTOR_OFF;
    rows(j);
    FreeMemoryTracked(heap);
    MarkMemImgPixelsChanged(dst);
}

}  // namespace

void BlitMemImgStretched(MEMIMG *dst, const MEMIMG *src, const int *rect, int trans, const MEMIMG *blend) {
    if (rect == nullptr || !CanStretchBetween(dst, src, blend)) return;
    const bool mirrorX = rect[0] > rect[2], mirrorY = rect[1] > rect[3];
    Rect whole;
    whole.left = mirrorX ? rect[2] : rect[0];
    whole.right = mirrorX ? rect[0] : rect[2];
    whole.top = mirrorY ? rect[3] : rect[1];
    whole.bottom = mirrorY ? rect[1] : rect[3];
    const int64_t width = (int64_t)whole.right - whole.left, height = (int64_t)whole.bottom - whole.top;
    if (width == 0 || height == 0) return;
    if (width > kMaxStretchSide || height > kMaxStretchSide) return;
    if (width == src->width && height == src->height && !mirrorX && !mirrorY) {
        BlitMemImg(dst, src, whole.left, whole.top, trans, blend);
        return;
    }
    Rect clip = whole;
    Rect area = GetMemImgDrawArea(dst);
    ClipRectToArea(&clip, &area);
    if (clip.right <= clip.left || clip.bottom <= clip.top) return;
    DrawStretched(dst, src, whole, clip, mirrorX, mirrorY, trans, blend);
}
