// Pixel formats and the conversion of pixels between them.
#include "lib/image/color_format.h"

#include <cstring>

#include "lib/core/log.h"
#include "lib/core/memory.h"

// ---- formats ------------------------------------------------------------------------------------
// Shift and width of a contiguous mask; -1 when the mask has a gap (an empty mask is fine).
static int DescribeMask(uint32_t mask, uint8_t *shift, uint8_t *width) {
    *shift = 0;
    *width = 0;
    if (mask == 0) return 0;
    int s = __builtin_ctz(mask);
    uint32_t m = mask >> s;
    if ((m & (m + 1)) != 0) return -1;  // not a run of ones
    *shift = (uint8_t)s;
    *width = (uint8_t)__builtin_popcount(mask);
    return 0;
}

int MakeColorFormatFromMasks(ColorFormatRecord *out, int bitDepth, uint32_t redMask, uint32_t greenMask,
                             uint32_t blueMask, uint32_t alphaMask) {
    if (out == nullptr) return -1;
    memset(out, 0, sizeof(*out));
    if (bitDepth != 8 && bitDepth != 16 && bitDepth != 24 && bitDepth != 32)
        return WriteLogFormat("対応していない色ビット数です %d in MakeColorFormatFromMasks", bitDepth);
    ColorFormatRecord f = {};
    if (DescribeMask(redMask, &f.redLoc, &f.redWidth) != 0 || DescribeMask(greenMask, &f.greenLoc, &f.greenWidth) != 0 ||
        DescribeMask(blueMask, &f.blueLoc, &f.blueWidth) != 0 || DescribeMask(alphaMask, &f.alphaLoc, &f.alphaWidth) != 0)
        return WriteLog("カラーマスクが連続していません in MakeColorFormatFromMasks\n");
    uint32_t all = bitDepth == 32 ? 0xFFFFFFFFu : ((1u << bitDepth) - 1);
    f.colorBitDepth = (uint16_t)bitDepth;
    f.pixelByte = (uint16_t)(bitDepth / 8);
    f.redMask = redMask;
    f.greenMask = greenMask;
    f.blueMask = blueMask;
    f.alphaMask = alphaMask;
    f.noneMask = all & ~(redMask | greenMask | blueMask | alphaMask);
    *out = f;
    return 0;
}

void MakePaletteColorFormat(ColorFormatRecord *out, const uint32_t *palette, int count) {
    memset(out, 0, sizeof(*out));
    out->colorBitDepth = 8;
    out->pixelByte = 1;
    if (palette != nullptr)
        for (int i = 0; i < count && i < 256; ++i) out->palette[i] = palette[i];
}

int ConvertPixelFormatToColorFormat(const PixelFormatDesc *desc, ColorFormatRecord *out) {
    if (desc == nullptr || out == nullptr) return -1;
    if (desc->flags & PIXEL_FORMAT_PALETTE_INDEXED8) {
        MakePaletteColorFormat(out, nullptr, 0);
        return 0;
    }
    uint32_t alpha = (desc->flags & PIXEL_FORMAT_ALPHA_PIXELS) ? desc->alphaMask : 0;
    return MakeColorFormatFromMasks(out, (int)desc->bitCount, desc->redMask, desc->greenMask, desc->blueMask, alpha);
}

int CompareColorFormats(const ColorFormatRecord *a, const ColorFormatRecord *b) {
    return a->colorBitDepth == b->colorBitDepth && a->redMask == b->redMask && a->greenMask == b->greenMask &&
           a->blueMask == b->blueMask && a->alphaMask == b->alphaMask;
}

// ---- channels -----------------------------------------------------------------------------------
// A channel value 0..255 narrowed to width bits (cut) or widened past 8 (bits repeated).
static inline uint32_t PackChannel(uint32_t v, int width) {
    if (width <= 8) return v >> (8 - width);
    uint32_t r = 0;
    for (int filled = 0; filled < width; filled += 8) r = (r << 8) | v;
    return r >> ((width + 7) / 8 * 8 - width);
}

// A channel of width bits brought to 0..255: wide channels keep their top 8 bits, narrow ones
// repeat their bits so that the maximum becomes 255.
static inline uint32_t UnpackChannel(uint32_t c, int width) {
    if (width >= 8) return c >> (width - 8);
    uint32_t r = 0;
    for (int filled = 0; filled < 8; filled += width) r = (r << width) | c;
    return (r >> ((8 + width - 1) / width * width - 8)) & 0xFF;
}

uint32_t MatchColorToPixel(const ColorFormatRecord *f, int r, int g, int b, int a) {
    r = ClampColorChannel(r);
    g = ClampColorChannel(g);
    b = ClampColorChannel(b);
    a = ClampColorChannel(a);
    if (IsPaletteColorFormat(f)) {
        int best = 0;
        long bestDist = -1;
        for (int i = 0; i < 256; ++i) {
            uint32_t e = f->palette[i];
            long dr = (long)((e >> 16) & 0xFF) - r, dg = (long)((e >> 8) & 0xFF) - g, db = (long)(e & 0xFF) - b;
            long dist = dr * dr + dg * dg + db * db;
            if (bestDist < 0 || dist < bestDist) {
                bestDist = dist;
                best = i;
            }
        }
        return (uint32_t)best;
    }
    uint32_t p = 0;
    if (f->redWidth) p |= PackChannel((uint32_t)r, f->redWidth) << f->redLoc;
    if (f->greenWidth) p |= PackChannel((uint32_t)g, f->greenWidth) << f->greenLoc;
    if (f->blueWidth) p |= PackChannel((uint32_t)b, f->blueWidth) << f->blueLoc;
    if (f->alphaWidth) p |= PackChannel((uint32_t)a, f->alphaWidth) << f->alphaLoc;
    return p;
}

void UnpackPixelColor(const ColorFormatRecord *f, uint32_t pixel, int *r, int *g, int *b, int *a) {
    if (IsPaletteColorFormat(f)) {
        uint32_t e = f->palette[pixel & 0xFF];
        *r = (int)((e >> 16) & 0xFF);
        *g = (int)((e >> 8) & 0xFF);
        *b = (int)(e & 0xFF);
        *a = (int)(e >> 24);
        return;
    }
    *r = f->redWidth ? (int)UnpackChannel((pixel & f->redMask) >> f->redLoc, f->redWidth) : 0;
    *g = f->greenWidth ? (int)UnpackChannel((pixel & f->greenMask) >> f->greenLoc, f->greenWidth) : 0;
    *b = f->blueWidth ? (int)UnpackChannel((pixel & f->blueMask) >> f->blueLoc, f->blueWidth) : 0;
    *a = f->alphaWidth ? (int)UnpackChannel((pixel & f->alphaMask) >> f->alphaLoc, f->alphaWidth) : 255;
}

// ---- pixel copies -------------------------------------------------------------------------------
static inline uint32_t ReadPixel(const uint8_t *p, int bytes) {
    switch (bytes) {
    case 1: return p[0];
    case 2: return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
    case 3: return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
    default: return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
    }
}

static inline void WritePixel(uint8_t *p, int bytes, uint32_t v) {
    for (int i = 0; i < bytes; ++i) p[i] = (uint8_t)(v >> (8 * i));
}

// 1 when rows can be copied as they are.
static bool IsStraightCopy(const ColorFormatRecord *dst, const ColorFormatRecord *src, const void *alpha, int mirror,
                           int keyFlag) {
    return alpha == nullptr && !mirror && !keyFlag && !IsPaletteColorFormat(src) && CompareColorFormats(dst, src) &&
           dst->pixelByte == src->pixelByte;
}

int BlitWithColorConversion(void *dstPixels, int dstPitch, const ColorFormatRecord *dstFormat, const void *srcPixels,
                            int srcPitch, const ColorFormatRecord *srcFormat, const void *alphaPixels, int alphaPitch,
                            const ColorFormatRecord *alphaFormat, int dx, int dy, const Rect *srcRect, int mirror,
                            int keyFlag, uint32_t keyRgb) {
    if (dstPixels == nullptr || srcPixels == nullptr || dstFormat == nullptr || srcFormat == nullptr || srcRect == nullptr ||
        (alphaPixels != nullptr && alphaFormat == nullptr))
        return WriteLog("引数が不正です in BlitWithColorConversion\n");
    int w = srcRect->right - srcRect->left, h = srcRect->bottom - srcRect->top;
    if (w <= 0 || h <= 0 || srcRect->left < 0 || srcRect->top < 0 || dx < 0 || dy < 0)
        return WriteLog("転送矩形が不正です in BlitWithColorConversion\n");
    int db = dstFormat->pixelByte, sb = srcFormat->pixelByte, ab = alphaFormat ? alphaFormat->pixelByte : 0;
    if (db < 2 || db > 4 || IsPaletteColorFormat(dstFormat) || sb < 1 || sb > 4 || (alphaPixels && (ab < 1 || ab > 4)))
        return WriteLog("対応していないピクセル形式です in BlitWithColorConversion\n");
    const uint8_t *src = static_cast<const uint8_t *>(srcPixels);
    const uint8_t *alp = static_cast<const uint8_t *>(alphaPixels);
    uint8_t *dst = static_cast<uint8_t *>(dstPixels);
    if (IsStraightCopy(dstFormat, srcFormat, alphaPixels, mirror, keyFlag)) {
        for (int y = 0; y < h; ++y)
            memcpy(dst + (intptr_t)(dy + y) * dstPitch + (intptr_t)dx * db,
                   src + (intptr_t)(srcRect->top + y) * srcPitch + (intptr_t)srcRect->left * sb, (size_t)w * sb);
        return 0;
    }
    keyRgb &= 0xFFFFFF;
    for (int y = 0; y < h; ++y) {
        const uint8_t *srow = src + (intptr_t)(srcRect->top + y) * srcPitch;
        const uint8_t *arow = alp ? alp + (intptr_t)(srcRect->top + y) * alphaPitch : nullptr;
        uint8_t *drow = dst + (intptr_t)(dy + y) * dstPitch + (intptr_t)dx * db;
        for (int x = 0; x < w; ++x) {
            int sx = mirror ? srcRect->right - 1 - x : srcRect->left + x;
            int r, g, b, a;
            UnpackPixelColor(srcFormat, ReadPixel(srow + (intptr_t)sx * sb, sb), &r, &g, &b, &a);
            if (arow != nullptr) {
                int ar, ag, abl, aa;
                UnpackPixelColor(alphaFormat, ReadPixel(arow + (intptr_t)sx * ab, ab), &ar, &ag, &abl, &aa);
                a = abl;
            }
            if (keyFlag && (((uint32_t)r << 16) | ((uint32_t)g << 8) | (uint32_t)b) == keyRgb) a = 0;
            WritePixel(drow + (intptr_t)x * db, db, MatchColorToPixel(dstFormat, r, g, b, a));
        }
    }
    return 0;
}

// ---- pictures -----------------------------------------------------------------------------------
int DiscardGraphImage(GraphImage *image) {
    if (image == nullptr) return 0;
    FreeMemoryTracked(image->pixels);
    memset(image, 0, sizeof(*image));
    return 0;
}

int AllocGraphImagePixels(GraphImage *image, const ColorFormatRecord *format, int width, int height) {
    if (image == nullptr || format == nullptr || width < 1 || height < 1) return -1;
    memset(image, 0, sizeof(*image));
    int pitch = (width * format->pixelByte + 3) & ~3;
    void *pixels = DZ_ALLOC_ZERO((size_t)pitch * (size_t)height);
    if (pixels == nullptr) return WriteLog("画像用のメモリが確保できませんでした in AllocGraphImagePixels\n");
    image->format = *format;
    image->width = width;
    image->height = height;
    image->pitch = pitch;
    image->pixels = pixels;
    return 0;
}
