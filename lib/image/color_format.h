// Pixel formats, in-memory pictures and the conversions between formats.
#pragma once
#include <cstdint>
#include "lib/core/helpers.h"

// A pixel format: how the channels sit in one pixel of 1 to 4 bytes.
struct ColorFormatRecord {
    uint16_t colorBitDepth;   // bits per pixel; 0 = empty record
    uint16_t pixelByte;       // bytes per pixel (1 palette, 2, 3 or 4)
    uint8_t redWidth;         // channel widths in bits (0 = channel absent)
    uint8_t greenWidth;
    uint8_t blueWidth;
    uint8_t alphaWidth;       // non-zero: the format has alpha bits
    uint8_t redLoc;           // channel shifts (lowest bit of each channel)
    uint8_t greenLoc;
    uint8_t blueLoc;
    uint8_t alphaLoc;
    uint32_t redMask;         // channel masks
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
    uint32_t noneMask;        // bits of the pixel that no channel covers
    uint32_t palette[256];    // 1-byte formats: entry i as 0xAARRGGBB
    uint32_t flag;            // kept for the record's layout; read by nothing
};

// An in-memory picture. The pixel block is a tracked allocation owned by the record.
struct GraphImage {
    ColorFormatRecord format; // the pixels' format
    int width;                // pixels
    int height;               // rows
    int pitch;                // bytes from one row to the next
    void *pixels;             // first pixel of the top row, or null
};

// A screen or surface pixel format as the display layer describes it.
enum : uint32_t {
    PIXEL_FORMAT_RGB = 0x40,            // the masks below are valid
    PIXEL_FORMAT_ALPHA_PIXELS = 0x1,    // alphaMask is valid
    PIXEL_FORMAT_PALETTE_INDEXED8 = 0x20,
};
struct PixelFormatDesc {
    uint32_t flags;           // PIXEL_FORMAT_*
    uint32_t bitCount;        // bits per pixel
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
};

// A colour channel held in 0..255.
inline int ClampColorChannel(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
// 1 for an 8-bit format read through its palette (no channel masks), else 0.
inline int IsPaletteColorFormat(const ColorFormatRecord *f) {
    return f->pixelByte == 1 && (f->redMask | f->greenMask | f->blueMask | f->alphaMask) == 0;
}

// Fills out from a pixel format: depth, bytes per pixel, widths, shifts, masks and the uncovered
// bits; an 8-bit palette format gets no masks. 0, or -1 (logged) for a mask with a gap or a depth
// that is not 8, 16, 24 or 32.
int ConvertPixelFormatToColorFormat(const PixelFormatDesc *desc, ColorFormatRecord *out);
// Fills out for a direct format given by its masks (depth = bits per pixel). 0, or -1 as above.
int MakeColorFormatFromMasks(ColorFormatRecord *out, int bitDepth, uint32_t redMask,
                             uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
// Fills out for an 8-bit palette format; palette (0xAARRGGBB entries, count of them) may be null.
void MakePaletteColorFormat(ColorFormatRecord *out, const uint32_t *palette, int count);
// 1 when bit depth and the red, green, blue and alpha masks are equal, else 0.
int CompareColorFormats(const ColorFormatRecord *a, const ColorFormatRecord *b);
// The pixel value of a colour (channels 0..255) in format; 1-byte formats give the nearest palette
// index (least squared distance of red, green and blue; the first on a tie).
uint32_t MatchColorToPixel(const ColorFormatRecord *format, int r, int g, int b, int a);
// Channels 0..255 of a pixel value (narrow channels widened by repeating their top bits; a channel
// the format lacks reads 255 for alpha, 0 for colours; 1-byte formats read the palette entry).
void UnpackPixelColor(const ColorFormatRecord *format, uint32_t pixel, int *r, int *g, int *b, int *a);

// Converts the source rectangle srcRect (right and bottom exclusive) into
// the destination at (dx, dy). alphaPixels (may be null) is a picture of the rectangle's size and
// position whose blue channel becomes the alpha of each pixel. mirror = 1 flips the rectangle
// left to right. With keyFlag set, source pixels whose colour is keyRgb (0xRRGGBB) get alpha 0.
// The destination must be a direct format of 2, 3 or 4 bytes. 0, or -1 (logged) for an empty or
// inverted rectangle, a null pointer or a format it cannot read or write. The caller keeps the
// rectangle inside both pictures.
int BlitWithColorConversion(void *dstPixels, int dstPitch, const ColorFormatRecord *dstFormat,
                            const void *srcPixels, int srcPitch, const ColorFormatRecord *srcFormat,
                            const void *alphaPixels, int alphaPitch, const ColorFormatRecord *alphaFormat,
                            int dx, int dy, const Rect *srcRect, int mirror, int keyFlag, uint32_t keyRgb);

// Frees the pixels (if any) and zeroes the record. 0.
int DiscardGraphImage(GraphImage *image);
// Gives image a zeroed pixel block of width x height in format (pitch rounded up to 4 bytes). 0 / -1.
int AllocGraphImagePixels(GraphImage *image, const ColorFormatRecord *format, int width, int height);
