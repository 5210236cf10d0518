// Memory images (MEMIMG): the software renderer's image views over reference-counted pixel stores,
// the blend-mode numbering and the lookup tables every software drawer reads.
#pragma once
#include <cstdint>
#include "lib/image/color_format.h"

#define MEMIMG_MAGIC 0x12345678

// Colour types of a memory image.
enum MemImgColorType : int {
    MEMIMG_COLOR_565 = 0,       // 16-bit R5G6B5; with alpha 32-bit (colour bits 0-15, alpha 16-23)
    MEMIMG_COLOR_8888 = 1,      // 32-bit X8R8G8B8 (bytes B, G, R, X); with alpha the top byte
    MEMIMG_COLOR_CHANNEL8 = 2,  // 8-bit single channel
    MEMIMG_COLOR_CHANNEL16 = 3, // 16-bit single channel (depth)
};

// Blend modes shared by every drawing path. 5 to 9, above 11 and negative modes draw nothing.
enum MemImgBlendModes : int {
    MEMIMG_BLEND_COPY = 0,
    MEMIMG_BLEND_ALPHA = 1,
    MEMIMG_BLEND_ADD = 2,
    MEMIMG_BLEND_SUBTRACT = 3,
    MEMIMG_BLEND_MULTIPLY = 4,
    MEMIMG_BLEND_INVERT_ALPHA = 10,   // inverted source, then alpha
    MEMIMG_BLEND_MULTIPLY_ALPHA = 11, // multiply, then alpha
};
// 1 when the software drawers draw anything in mode (compared unsigned: negative modes draw nothing).
inline int IsDrawingBlendMode(int mode) {
    unsigned m = (unsigned)mode;
    return m <= 4u || m == 10u || m == 11u;
}

// Keyed draws walk this instead of testing every texel: per row, its drawn runs from left to right
// as pairs of store columns (first, end), then the pair (MEMIMG_RUN_END, MEMIMG_RUN_END). A draw
// starts each row at the block index's entry for the block of 2^MEMIMG_RUN_BLOCK_SHIFT columns
// that holds its first column, so a view or a clip that starts part-way along a row passes by at
// most the runs of one block.
#define MEMIMG_RUN_BLOCK_SHIFT 5
#define MEMIMG_RUN_END 0xFFFFFFFFu
// The runs of one range of columns of every row, cut at its ends, for the views of a sheet that
// share that range: a draw of such a view walks its rows in order, with no index and no cuts. A
// store keeps the slices of the first MEMIMG_RUN_SLICES ranges asked for until its runs change
// (no slice is given up for another, so that views of more ranges cannot make every draw cut
// new ones). A slice also keeps a copy of its columns' pixels with no gap between the rows, so
// that a draw reads them as one stream: a sheet's rows each start in a page of their own, where
// the processor's prefetch stops, so a piece that has left the cache cost a fifth to two fifths
// more from the sheet than from a store of its own. The copies of a store's slices hold at most as
// many columns as the store; a slice past that reads the store.
#define MEMIMG_RUN_SLICES 16
struct MemImgRunSlice {
    uint32_t first, end;      // store columns [first, end); end 0: the slot is free
    uint32_t *runs;           // pairs of columns counted from first, each row closed by the end pair
    uint32_t *rowStart;       // per row: index in runs of its first pair
    uint8_t *pixels;          // the columns' pixels, rows (end - first) pixels apart, or null
};
struct MemImgRunTable {
    uint32_t *runs;           // the pairs, row after row
    uint32_t *blockStart;     // per block of columns, per row (a draw steps down one block's
                              // entries): index in runs of the row's first pair that ends after
                              // the block's first column; each block's rows end with a spare 0
    uint64_t pitchReciprocal; // ceil(2^64 / pitch), or 0: a view's row from its offset in the store
                              // without a division
    int pixelShift;           // log2 of the bytes per pixel
    int stale;                // 1: pixels or key changed since it was built (rebuilt on next use)
    MemImgRunSlice slices[MEMIMG_RUN_SLICES];  // made on demand, dropped with the table
};
// Blocks of the block index across a row of width pixels.
inline uint32_t GetMemImgRunBlockCount(int width) {
    return ((uint32_t)width + (1u << MEMIMG_RUN_BLOCK_SHIFT) - 1) >> MEMIMG_RUN_BLOCK_SHIFT;
}

// The reference-counted pixel store behind one or more MEMIMG views.
struct MemImgSharedRecord {
    int refCount;             // views holding it; freed when it drops to 0
    int width;                // pixels
    int height;               // rows
    int pitch;                // bytes per row, a multiple of 16
    const ColorFormatRecord *format; // pixelByte: 1 palette, 2 type 0, 4 type 1 and type 0 alpha
    uint32_t colorKey;        // whole pixel value, or palette index for palette images
    int colorType;            // MemImgColorType
    int paletteFlag;          // 1: pixels are 8-bit palette indices
    int paletteCount;         // palette entries in use
    int alphaFlag;            // 1: pixels carry an alpha byte
    void *palette;            // 256 entries in the type's pixel format (uint16_t type 0, uint32_t
                              // 0x00RRGGBB type 1), then a copy of them: 512 entries
    uint8_t *pixels;          // first pixel of the store (16-byte aligned)
    uint8_t *secondPlane;     // premultiplied second plane: not built, always null
    MemImgRunTable runTable;  // keyed-draw runs (transparent texels of the key or alpha 0)
    int externalPixels;       // 1: pixels belong to a display surface, not to the store
};

// The image view: six fields in this order (pointers pointer-sized).
struct MEMIMG {
    int32_t magic;            // MEMIMG_MAGIC while valid, 0 when released or never made
    int32_t width;            // pixels of this view
    int32_t height;           // rows of this view
    uint8_t *pixels;          // first pixel of this view
    uint8_t *secondPlane;     // first pixel of the second plane, or null
    MemImgSharedRecord *shared;
};

// ---- tables -------------------------------------------------------------------------------------
// S[k][v] = trunc(k * v / 255).
extern int32_t BlendScaleTable[256][256];
// D[p][x + 255] = trunc(p * x / 255) for x = -255..255 (toward zero); entry 511 of a row is unused.
extern int32_t BlendDifferenceTable[256][512];
// [a][s][d] = trunc((a * s + (63 - a) * d) / 63), read by BlitMemImg only.
extern uint8_t Blend6BitAlphaTable[64][64][64];
// Blend factor 0..255 of each blend-image byte.
extern uint8_t BlendImageLookup[256];

// Fills the scale, difference and 6-bit alpha tables (and BlendImageLookup for parameters 0, 255
// when it was never built). Runs once at graphics start, before any software draw. 0.
int BuildMemImgBlendTables(void);
// 1 once BuildMemImgBlendTables has run.
int AreMemImgBlendTablesBuilt(void);
// Rebuilds BlendImageLookup for border parameter P and border range R (each clamped to 0..255):
// step = 65536 / (R + 1); offset = 256 - (step + 256) * P / 256; entry[i] = i * 256 / (R + 1) +
// offset, clamped to 0..255 (integer divisions).
void BuildBlendImageLookup(int borderParam, int borderRange);
// Centre of row p of BlendDifferenceTable, to index with a signed difference -255..255.
inline const int32_t *GetBlendDifferenceRow(int p) { return &BlendDifferenceTable[p][255]; }

// ---- images -------------------------------------------------------------------------------------
// The ColorFormatRecord of a colour type with or without alpha or palette (shared, never freed).
const ColorFormatRecord *GetMemImgColorFormat(int colorType, int alphaFlag, int paletteFlag);
// Bytes per pixel of that combination (1, 2 or 4), or 0 for an impossible one.
int GetMemImgPixelBytes(int colorType, int alphaFlag, int paletteFlag);

// Makes a new image with its own store: pixels zeroed, palette entries 0, the given colour key.
// Types 2 and 3 take neither alpha nor palette; alpha and palette exclude each other. 0, or -1
// (logged, out zeroed) for a bad combination, a size below 1 or above 32767, or no memory.
int CreateMemImg(MEMIMG *out, int width, int height, int colorType, int alphaFlag, int paletteFlag,
                 uint32_t colorKey);
// Makes a new image over pixels that a display surface owns (colour type 0 or 1, no alpha or
// palette; pitch at least width x bytes): the store never frees them. 0, or -1 (out zeroed).
int CreateMemImgOverPixels(MEMIMG *out, uint8_t *pixels, int width, int height, int pitch, int colorType,
                           uint32_t colorKey);
// Points a whole-store image over outside pixels at new ones of the same layout (a flipped screen);
// views made from it before keep the old address. Marks the pixels changed.
void MoveMemImgPixels(MEMIMG *image, uint8_t *pixels);
// Makes out a view of the rectangle (x, y, w, h) of src sharing its store (reference count + 1).
// 0; -1 with out zeroed (magic 0) when src is not valid or the rectangle is empty or leaves src.
int CreateMemImgSubView(MEMIMG *out, const MEMIMG *src, int x, int y, int w, int h);
// Drops the view's reference (the store goes with the last one) and zeroes the view. A view
// that is not valid is ignored. 0.
int ReleaseMemImg(MEMIMG *image);
// 1 when image is a valid view.
inline int IsMemImgValid(const MEMIMG *image) {
    return image != nullptr && image->magic == MEMIMG_MAGIC && image->shared != nullptr;
}

// Sets the colour key (pixel value, or palette index for palette images). Marks the runs stale.
void SetMemImgColorKey(MEMIMG *image, uint32_t key);
// Sets the first count palette entries (0x00RRGGBB each; count 1..256) converted into the type's
// format, with their copy; the entry count becomes count. 0, or -1 for a non-palette image.
int SetMemImgPalette(MEMIMG *image, const uint32_t *rgb, int count);
// Every writer of a store's pixels calls this afterwards, so keyed draws rebuild their runs.
inline void MarkMemImgPixelsChanged(const MEMIMG *image) {
    if (image != nullptr && image->shared != nullptr) image->shared->runTable.stale = 1;
}
// Row y of the view (no bounds test).
inline uint8_t *GetMemImgRow(const MEMIMG *image, int y) {
    return image->pixels + (intptr_t)y * image->shared->pitch;
}
// Bytes per pixel of the view's store.
inline int GetMemImgBytesPerPixel(const MEMIMG *image) { return image->shared->format->pixelByte; }
// 1 when the blend image blend covers src: drawers read one byte of it per source column (as a byte
// offset, whatever its pixel size) and one row per source row. Both views valid.
inline int DoesBlendImageCover(const MEMIMG *blend, const MEMIMG *src) {
    return (int64_t)blend->width * GetMemImgBytesPerPixel(blend) >= src->width && blend->height >= src->height;
}

// Stores pixel (the store's pixel value, cut to its size) in every pixel of rect (right and bottom
// exclusive, inside the view), with no blending, and marks the pixels changed.
void FillMemImgPixels(MEMIMG *image, Rect rect, uint32_t pixel);

// Brings the store's run table up to date (built when stale or missing). 0, or -1 with no memory
// or for a store the runs do not describe (pixels of other than 1, 2 or 4 bytes; the caller then
// draws texel by texel).
int UpdateMemImgRunTable(MemImgSharedRecord *shared);
// The slice of the up-to-date run table for columns [first, end) (first < end <= width), made when
// there is none yet (with its copy of the pixels while the copies' columns stay within the store's
// width and there is memory). Null when all slots hold other ranges, or with no memory.
const MemImgRunSlice *GetMemImgRunSlice(MemImgSharedRecord *shared, uint32_t first, uint32_t end);
// Test hook: 0 makes keyed draws ignore run tables, 1 (the default) lets them use them.
void SetMemImgRunTableUse(int enable);
int GetMemImgRunTableUse(void);

// Makes out a new image of colour type colorType from a picture: palette pictures become palette
// images (their palette converted), pictures with alpha bits alpha images, the rest direct images.
// The colour key is the type's pixel of keyRgb (0xRRGGBB), or for palette images the first index
// whose entry is keyRgb (none: key 0x100, which matches no index). 0, or -1 (logged, out zeroed).
int CreateMemImgFromGraphImage(MEMIMG *out, const GraphImage *image, int colorType, uint32_t keyRgb);
// The type's pixel value of a colour 0xRRGGBB (type 0: ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3)).
inline uint32_t PackMemImgColor(int colorType, uint32_t rgb) {
    if (colorType == MEMIMG_COLOR_565)
        return ((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb >> 3) & 0x001F);
    return rgb & 0xFFFFFF;
}
