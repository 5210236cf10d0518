// Memory images: creation, sub-views, release, palettes, colour keys and run tables.
#include "lib/graphics/memimg.h"

#include <algorithm>
#include <cstring>

#include "lib/core/log.h"
#include "lib/core/memory.h"

static int gRunTableUse = 1;

// ---- colour formats -----------------------------------------------------------------------------
static ColorFormatRecord gFormats[2][3];  // [type 0/1][direct, alpha, palette]
static ColorFormatRecord gChannelFormats[2]; // types 2 and 3
static int gFormatsMade = 0;

// Builds the shared format records once.
static void MakeMemImgFormats(void) {
    if (gFormatsMade) return;
    MakeColorFormatFromMasks(&gFormats[0][0], 16, 0xF800, 0x07E0, 0x001F, 0);
    MakeColorFormatFromMasks(&gFormats[0][1], 32, 0xF800, 0x07E0, 0x001F, 0xFF0000);
    MakePaletteColorFormat(&gFormats[0][2], nullptr, 0);
    MakeColorFormatFromMasks(&gFormats[1][0], 32, 0xFF0000, 0xFF00, 0xFF, 0);
    MakeColorFormatFromMasks(&gFormats[1][1], 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    MakePaletteColorFormat(&gFormats[1][2], nullptr, 0);
    MakeColorFormatFromMasks(&gChannelFormats[0], 8, 0, 0, 0xFF, 0);
    MakeColorFormatFromMasks(&gChannelFormats[1], 16, 0, 0, 0xFFFF, 0);
    gFormatsMade = 1;
}

const ColorFormatRecord *GetMemImgColorFormat(int colorType, int alphaFlag, int paletteFlag) {
    if (GetMemImgPixelBytes(colorType, alphaFlag, paletteFlag) == 0) return nullptr;
    MakeMemImgFormats();
    if (colorType >= 2) return &gChannelFormats[colorType - 2];
    return &gFormats[colorType][paletteFlag ? 2 : alphaFlag ? 1 : 0];
}

int GetMemImgPixelBytes(int colorType, int alphaFlag, int paletteFlag) {
    if (alphaFlag && paletteFlag) return 0;
    switch (colorType) {
    case MEMIMG_COLOR_565: return paletteFlag ? 1 : alphaFlag ? 4 : 2;
    case MEMIMG_COLOR_8888: return paletteFlag ? 1 : 4;
    case MEMIMG_COLOR_CHANNEL8: return (alphaFlag || paletteFlag) ? 0 : 1;
    case MEMIMG_COLOR_CHANNEL16: return (alphaFlag || paletteFlag) ? 0 : 2;
    default: return 0;
    }
}

// ---- creation and release -----------------------------------------------------------------------
// Fills a valid view.
static void SetMemImgView(MEMIMG *out, int width, int height, uint8_t *pixels, uint8_t *second,
                          MemImgSharedRecord *shared) {
    out->magic = MEMIMG_MAGIC;
    out->width = width;
    out->height = height;
    out->pixels = pixels;
    out->secondPlane = second;
    out->shared = shared;
}

// Makes a store over pixels (allocated here when null; then owned by the store). 0 / -1 (logged).
static int MakeMemImgStore(MEMIMG *out, int width, int height, int colorType, int alphaFlag, int paletteFlag,
                           uint32_t colorKey, uint8_t *external, int externalPitch) {
    if (out == nullptr) return WriteLog("メモリイメージの出力先がありません in CreateMemImg\n");
    memset(out, 0, sizeof(*out));
    int bpp = GetMemImgPixelBytes(colorType, alphaFlag ? 1 : 0, paletteFlag ? 1 : 0);
    if (bpp == 0 || width < 1 || height < 1 || width > 32767 || height > 32767 ||
        (external && externalPitch < width * bpp))
        return WriteLogFormat("メモリイメージの形式が不正です %d x %d type %d in CreateMemImg", width, height,
                              colorType);
    int pitch = external ? externalPitch : (width * bpp + 15) & ~15;
    auto *shared = static_cast<MemImgSharedRecord *>(DZ_ALLOC_ZERO(sizeof(MemImgSharedRecord)));
    uint8_t *pixels = external ? external : static_cast<uint8_t *>(DZ_ALLOC_ZERO((size_t)pitch * height));
    void *palette = paletteFlag ? DZ_ALLOC_ZERO(512 * sizeof(uint32_t)) : nullptr;
    if (shared == nullptr || pixels == nullptr || (paletteFlag && palette == nullptr)) {
        FreeMemoryTracked(shared);
        FreeMemoryTracked(pixels);
        FreeMemoryTracked(palette);
        return WriteLog("メモリイメージ用のメモリが確保できませんでした in CreateMemImg\n");
    }
    shared->refCount = 1;
    shared->width = width;
    shared->height = height;
    shared->pitch = pitch;
    shared->format = GetMemImgColorFormat(colorType, alphaFlag ? 1 : 0, paletteFlag ? 1 : 0);
    shared->colorKey = colorKey;
    shared->colorType = colorType;
    shared->paletteFlag = paletteFlag ? 1 : 0;
    shared->paletteCount = paletteFlag ? 256 : 0;
    shared->alphaFlag = alphaFlag ? 1 : 0;
    shared->palette = palette;
    shared->pixels = pixels;
    shared->runTable.stale = 1;
    shared->externalPixels = external ? 1 : 0;
    SetMemImgView(out, width, height, pixels, nullptr, shared);
    return 0;
}

int CreateMemImg(MEMIMG *out, int width, int height, int colorType, int alphaFlag, int paletteFlag,
                 uint32_t colorKey) {
    return MakeMemImgStore(out, width, height, colorType, alphaFlag, paletteFlag, colorKey, nullptr, 0);
}

int CreateMemImgOverPixels(MEMIMG *out, uint8_t *pixels, int width, int height, int pitch, int colorType,
                           uint32_t colorKey) {
    if (pixels == nullptr) {
        if (out) memset(out, 0, sizeof(*out));
        return -1;
    }
    return MakeMemImgStore(out, width, height, colorType, 0, 0, colorKey, pixels, pitch);
}

void MoveMemImgPixels(MEMIMG *image, uint8_t *pixels) {
    if (!IsMemImgValid(image) || !pixels) return;
    image->shared->pixels = pixels;
    image->pixels = pixels;
    MarkMemImgPixelsChanged(image);
}

int CreateMemImgSubView(MEMIMG *out, const MEMIMG *src, int x, int y, int w, int h) {
    if (out == nullptr) return -1;
    if (!IsMemImgValid(src) || w < 1 || h < 1 || x < 0 || y < 0 || x > src->width - w || y > src->height - h) {
        memset(out, 0, sizeof(*out));
        return -1;
    }
    MemImgSharedRecord *shared = src->shared;
    intptr_t offset = (intptr_t)y * shared->pitch + (intptr_t)x * shared->format->pixelByte;
    uint8_t *pixels = src->pixels + offset;
    uint8_t *second = src->secondPlane ? src->secondPlane + offset : nullptr;
    shared->refCount++;
    SetMemImgView(out, w, h, pixels, second, shared);
    return 0;
}

static void DropMemImgRunTable(MemImgRunTable *t);

// Frees a store with everything it owns.
static void FreeMemImgShared(MemImgSharedRecord *shared) {
    DropMemImgRunTable(&shared->runTable);
    FreeMemoryTracked(shared->palette);
    if (!shared->externalPixels) FreeMemoryTracked(shared->pixels);
    FreeMemoryTracked(shared->secondPlane);
    FreeMemoryTracked(shared);
}

int ReleaseMemImg(MEMIMG *image) {
    if (!IsMemImgValid(image)) return 0;
    MemImgSharedRecord *shared = image->shared;
    if (--shared->refCount <= 0) FreeMemImgShared(shared);
    memset(image, 0, sizeof(*image));
    return 0;
}

// ---- key and palette ----------------------------------------------------------------------------
void SetMemImgColorKey(MEMIMG *image, uint32_t key) {
    if (!IsMemImgValid(image)) return;
    image->shared->colorKey = key;
    image->shared->runTable.stale = 1;
}

int SetMemImgPalette(MEMIMG *image, const uint32_t *rgb, int count) {
    if (!IsMemImgValid(image) || !image->shared->paletteFlag || rgb == nullptr || count < 1 || count > 256) return -1;
    MemImgSharedRecord *shared = image->shared;
    if (shared->colorType == MEMIMG_COLOR_565) {
        auto *pal = static_cast<uint16_t *>(shared->palette);
        for (int i = 0; i < count; ++i) pal[i] = pal[256 + i] = (uint16_t)PackMemImgColor(MEMIMG_COLOR_565, rgb[i]);
    } else {
        auto *pal = static_cast<uint32_t *>(shared->palette);
        for (int i = 0; i < count; ++i) pal[i] = pal[256 + i] = rgb[i] & 0xFFFFFF;
    }
    shared->paletteCount = count;
    return 0;
}

void FillMemImgPixels(MEMIMG *image, Rect rect, uint32_t pixel) {
    int bytes = GetMemImgBytesPerPixel(image);
    size_t count = rect.right > rect.left ? (size_t)(rect.right - rect.left) : 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        uint8_t *row = GetMemImgRow(image, y) + (intptr_t)rect.left * bytes;
        if (bytes == 1) std::fill_n(row, count, (uint8_t)pixel);
        else if (bytes == 2) std::fill_n(reinterpret_cast<uint16_t *>(row), count, (uint16_t)pixel);
        else std::fill_n(reinterpret_cast<uint32_t *>(row), count, pixel);
    }
    MarkMemImgPixelsChanged(image);
}

// ---- run tables ---------------------------------------------------------------------------------
void SetMemImgRunTableUse(int enable) { gRunTableUse = enable ? 1 : 0; }
int GetMemImgRunTableUse(void) { return gRunTableUse; }

// 1 when the texel at column x of row is skipped by a keyed draw.
static inline int IsKeyedTexel(const MemImgSharedRecord *s, const uint8_t *row, int x) {
    switch (s->format->pixelByte) {
    case 1: return row[x] == s->colorKey;
    case 2: {
        uint16_t v;
        memcpy(&v, row + 2 * x, 2);
        return v == s->colorKey;
    }
    default: {
        uint32_t v;
        memcpy(&v, row + 4 * x, 4);
        if (s->alphaFlag) return ((v >> (s->colorType == MEMIMG_COLOR_565 ? 16 : 24)) & 0xFF) == 0;
        return v == s->colorKey;
    }
    }
}

// Walks every row, writing its pairs and its end pair when runs is not null (and each row's first
// pair at rowStart[row]); returns how many words there are.
static size_t ScanMemImgRuns(const MemImgSharedRecord *s, uint32_t *rowStart, uint32_t *runs) {
    size_t n = 0;
    for (int y = 0; y < s->height; ++y) {
        const uint8_t *row = s->pixels + (intptr_t)y * s->pitch;
        if (rowStart) rowStart[y] = (uint32_t)n;
        for (int x = 0; x < s->width;) {
            while (x < s->width && IsKeyedTexel(s, row, x)) ++x;
            if (x == s->width) break;
            if (runs) runs[n] = (uint32_t)x;
            while (x < s->width && !IsKeyedTexel(s, row, x)) ++x;
            if (runs) runs[n + 1] = (uint32_t)x;
            n += 2;
        }
        if (runs) runs[n] = runs[n + 1] = MEMIMG_RUN_END;
        n += 2;
    }
    return n;
}

// Fills the block index: for each block of each row, the first pair that ends after its first
// column (the row's end pair when none does).
static void IndexMemImgRuns(const MemImgSharedRecord *s, MemImgRunTable *t, const uint32_t *rowStart) {
    const uint32_t blocks = GetMemImgRunBlockCount(s->width);
    for (int y = 0; y < s->height; ++y) {
        uint32_t *entry = t->blockStart + y, at = rowStart[y];
        for (uint32_t b = 0; b < blocks; ++b, entry += s->height + 1) {
            while (t->runs[at + 1] <= b << MEMIMG_RUN_BLOCK_SHIFT) at += 2;  // the end pair stops it
            *entry = at;
        }
    }
}

// Frees a slice's arrays and frees its slot.
static void DropMemImgRunSlice(MemImgRunSlice *slice) {
    FreeMemoryTracked(slice->runs);
    FreeMemoryTracked(slice->rowStart);
    FreeMemoryTracked(slice->pixels);
    *slice = {};
}

// Frees the table's arrays and slices and marks it stale.
static void DropMemImgRunTable(MemImgRunTable *t) {
    FreeMemoryTracked(t->runs);
    FreeMemoryTracked(t->blockStart);
    t->runs = nullptr;
    t->blockStart = nullptr;
    for (MemImgRunSlice &slice : t->slices) DropMemImgRunSlice(&slice);
    t->stale = 1;
}

int UpdateMemImgRunTable(MemImgSharedRecord *shared) {
    if (shared == nullptr) return -1;
    MemImgRunTable *t = &shared->runTable;
    if (!t->stale && t->runs != nullptr) return 0;
    DropMemImgRunTable(t);
    const int bytes = shared->format->pixelByte;
    if ((bytes != 1 && bytes != 2 && bytes != 4) || shared->pitch <= 0) return -1;
    size_t n = ScanMemImgRuns(shared, nullptr, nullptr);
    uint32_t *rowStart = static_cast<uint32_t *>(DZ_ALLOC(sizeof(uint32_t) * (size_t)shared->height));
    t->runs = static_cast<uint32_t *>(DZ_ALLOC(sizeof(uint32_t) * n));
    t->blockStart = static_cast<uint32_t *>(DZ_ALLOC_ZERO(sizeof(uint32_t) * ((size_t)shared->height + 1) *
                                                          GetMemImgRunBlockCount(shared->width)));
    if (rowStart == nullptr || t->runs == nullptr || t->blockStart == nullptr) {
        FreeMemoryTracked(rowStart);
        DropMemImgRunTable(t);
        return -1;
    }
    ScanMemImgRuns(shared, rowStart, t->runs);
    IndexMemImgRuns(shared, t, rowStart);
    FreeMemoryTracked(rowStart);
    const uint64_t pitch = (uint64_t)shared->pitch;
    t->pitchReciprocal = pitch >= 2 && pitch <= 0xFFFFFFFFu ? UINT64_MAX / pitch + 1 : 0;
    t->pixelShift = bytes >> 1;  // 0, 1, 2
    t->stale = 0;
    return 0;
}

// Walks every row's runs within columns [first, end), cut there, writing them as columns counted
// from first (and each row's first pair at rowStart[row]) when runs is not null; each row ends
// with the end pair. Returns how many words there are.
static size_t CutMemImgRuns(const MemImgSharedRecord *s, uint32_t first, uint32_t end, uint32_t *rowStart,
                            uint32_t *runs) {
    const MemImgRunTable &t = s->runTable;
    const uint32_t *block = t.blockStart + (size_t)(first >> MEMIMG_RUN_BLOCK_SHIFT) * ((size_t)s->height + 1);
    size_t n = 0;
    for (int y = 0; y < s->height; ++y) {
        if (rowStart) rowStart[y] = (uint32_t)n;
        for (const uint32_t *run = t.runs + block[y]; run[0] < end; run += 2) {
            const uint32_t lo = std::max(run[0], first), hi = std::min(run[1], end);
            if (lo >= hi) continue;
            if (runs) runs[n] = lo - first, runs[n + 1] = hi - first;
            n += 2;
        }
        if (runs) runs[n] = runs[n + 1] = MEMIMG_RUN_END;
        n += 2;
    }
    return n;
}

// Copies columns [first, end) of every row into the slice's pixels, rows back to back; leaves
// them null with no memory.
static void CopyMemImgSliceColumns(const MemImgSharedRecord *s, uint32_t first, uint32_t end, MemImgRunSlice *slice) {
    const size_t bytes = (size_t)s->format->pixelByte, rowBytes = (size_t)(end - first) * bytes;
    slice->pixels = static_cast<uint8_t *>(DZ_ALLOC(rowBytes * (size_t)s->height));
    if (slice->pixels == nullptr) return;
    for (int y = 0; y < s->height; ++y)
        memcpy(slice->pixels + rowBytes * (size_t)y, s->pixels + (intptr_t)y * s->pitch + first * bytes, rowBytes);
}

const MemImgRunSlice *GetMemImgRunSlice(MemImgSharedRecord *shared, uint32_t first, uint32_t end) {
    MemImgRunTable *t = &shared->runTable;
    MemImgRunSlice *slice = nullptr;
    uint32_t copied = 0;  // columns the slices in use hold copies of
    for (MemImgRunSlice &s : t->slices) {  // the slices in use come first
        if (s.end == 0) {
            slice = &s;
            break;
        }
        if (s.first == first && s.end == end) return &s;
        if (s.pixels != nullptr) copied += s.end - s.first;
    }
    if (slice == nullptr) return nullptr;
    slice->runs = static_cast<uint32_t *>(DZ_ALLOC(sizeof(uint32_t) * CutMemImgRuns(shared, first, end, nullptr, nullptr)));
    slice->rowStart = static_cast<uint32_t *>(DZ_ALLOC(sizeof(uint32_t) * (size_t)shared->height));
    if (slice->runs == nullptr || slice->rowStart == nullptr) {
        DropMemImgRunSlice(slice);
        return nullptr;
    }
    CutMemImgRuns(shared, first, end, slice->rowStart, slice->runs);
    if (copied + (end - first) <= (uint32_t)shared->width) CopyMemImgSliceColumns(shared, first, end, slice);
    slice->first = first;
    slice->end = end;
    return slice;
}

// ---- from a picture -----------------------------------------------------------------------------
int CreateMemImgFromGraphImage(MEMIMG *out, const GraphImage *image, int colorType, uint32_t keyRgb) {
    if (out == nullptr) return -1;
    memset(out, 0, sizeof(*out));
    if (image == nullptr || image->pixels == nullptr || (colorType != MEMIMG_COLOR_565 && colorType != MEMIMG_COLOR_8888))
        return WriteLog("画像からメモリイメージを作れません in CreateMemImgFromGraphImage\n");
    const ColorFormatRecord *f = &image->format;
    if (IsPaletteColorFormat(f)) {
        uint32_t key = 0x100;
        uint32_t rgb[256];
        for (int i = 0; i < 256; ++i) {
            rgb[i] = f->palette[i] & 0xFFFFFF;
            if (key == 0x100 && rgb[i] == (keyRgb & 0xFFFFFF)) key = (uint32_t)i;
        }
        if (CreateMemImg(out, image->width, image->height, colorType, 0, 1, key) != 0) return -1;
        SetMemImgPalette(out, rgb, 256);
        for (int y = 0; y < image->height; ++y)
            memcpy(GetMemImgRow(out, y), static_cast<const uint8_t *>(image->pixels) + (intptr_t)y * image->pitch,
                   (size_t)image->width);
        return 0;
    }
    int alpha = f->alphaWidth != 0;
    uint32_t key = PackMemImgColor(colorType, keyRgb);
    if (CreateMemImg(out, image->width, image->height, colorType, alpha, 0, key) != 0) return -1;
    Rect r = {0, 0, image->width, image->height};
    if (BlitWithColorConversion(out->pixels, out->shared->pitch, out->shared->format, image->pixels, image->pitch, f,
                                nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0) != 0) {
        ReleaseMemImg(out);
        return WriteLog("画像の形式を変換できません in CreateMemImgFromGraphImage\n");
    }
    return 0;
}
