// BMP pictures: 1, 4 and 8-bit palette pictures (4 and 8 bits also run-length coded), 16, 24 and
// 32-bit direct pictures, either row order.
#include <cstring>

#include "lib/core/helpers.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/file/stream.h"
#include "lib/image/image_loader.h"

enum { BMP_RGB = 0, BMP_RLE8 = 1, BMP_RLE4 = 2, BMP_BITFIELDS = 3, BMP_ALPHABITFIELDS = 6 };

// What the headers say.
struct BmpHeader {
    uint32_t dataOffset;   // file offset of the first stored row
    int width;
    int height;            // absolute value
    bool topDown;          // rows stored top row first
    int bitCount;
    uint32_t compression;
    uint32_t masks[4];     // red, green, blue, alpha
    int paletteCount;
    uint32_t palette[256]; // 0xAARRGGBB, alpha forced to 255
};


int TestBmpImage(const unsigned char *head, size_t headSize) {
    return headSize >= 18 && head[0] == 'B' && head[1] == 'M';
}

static bool ReadBytes(StreamRecord *s, void *buffer, size_t size) {
    return s->functions.read(buffer, 1, size, s->data) == size;
}

// Reads the file header, the information header, its masks and the palette.
static int ReadBmpHeader(StreamRecord *s, BmpHeader *h) {
    uint8_t b[14 + 124];
    if (!ReadBytes(s, b, 18)) return WriteLog("BMP のヘッダが途中で切れています\n");
    uint32_t infoSize = ReadLe32(b + 14);
    if (infoSize != 12 && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124)
        return WriteLogFormat("BMP の情報ヘッダの大きさ %u には対応していません", infoSize);
    if (!ReadBytes(s, b + 18, infoSize - 4)) return WriteLog("BMP のヘッダが途中で切れています\n");
    const uint8_t *info = b + 14;
    memset(h, 0, sizeof(*h));
    h->dataOffset = ReadLe32(b + 10);
    int64_t height;
    if (infoSize == 12) {
        h->width = (int)ReadLe16(info + 4);
        height = (int16_t)ReadLe16(info + 6);
        h->bitCount = (int)ReadLe16(info + 10);
    } else {
        h->width = (int32_t)ReadLe32(info + 4);
        height = (int32_t)ReadLe32(info + 8);
        h->bitCount = (int)ReadLe16(info + 14);
        h->compression = ReadLe32(info + 16);
        h->paletteCount = (int)ReadLe32(info + 32);
        if (infoSize >= 52) for (int i = 0; i < 3; ++i) h->masks[i] = ReadLe32(info + 40 + 4 * i);
        if (infoSize >= 56) h->masks[3] = ReadLe32(info + 52);
    }
    h->topDown = height < 0;
    height = height < 0 ? -height : height;
    if (h->width < 1 || height < 1 || h->width > IMAGE_MAX_SIDE || height > IMAGE_MAX_SIDE ||
        (int64_t)h->width * height > IMAGE_MAX_PIXELS)
        return WriteLogFormat("BMP の大きさ %d x %lld には対応していません", h->width, (long long)height);
    h->height = (int)height;
    if (infoSize == 40 && (h->compression == BMP_BITFIELDS || h->compression == BMP_ALPHABITFIELDS)) {
        int n = h->compression == BMP_ALPHABITFIELDS ? 4 : 3;
        uint8_t m[16];
        if (!ReadBytes(s, m, 4 * n)) return WriteLog("BMP のマスクが途中で切れています\n");
        for (int i = 0; i < n; ++i) h->masks[i] = ReadLe32(m + 4 * i);
    }
    if (h->bitCount <= 8) {
        int entry = infoSize == 12 ? 3 : 4, max = 1 << h->bitCount;
        if (h->paletteCount <= 0 || h->paletteCount > max) h->paletteCount = max;
        uint8_t pal[256 * 4];
        if (!ReadBytes(s, pal, (size_t)entry * h->paletteCount)) return WriteLog("BMP のパレットが途中で切れています\n");
        for (int i = 0; i < h->paletteCount; ++i) {
            const uint8_t *e = pal + entry * i;
            h->palette[i] = 0xFF000000u | ((uint32_t)e[2] << 16) | ((uint32_t)e[1] << 8) | e[0];
        }
    }
    return 0;
}

// The output format for the header's depth and masks.
static int MakeBmpFormat(const BmpHeader *h, ColorFormatRecord *format) {
    bool fields = h->compression == BMP_BITFIELDS || h->compression == BMP_ALPHABITFIELDS;
    bool runs = h->compression == BMP_RLE8 || h->compression == BMP_RLE4;
    if (h->compression != BMP_RGB && !fields && !runs)
        return WriteLogFormat("BMP の圧縮形式 %u には対応していません", h->compression);
    // Run-length pictures are stored bottom row first, at the depth their coding names.
    if (runs && (h->topDown || h->bitCount != (h->compression == BMP_RLE8 ? 8 : 4)))
        return WriteLog("BMP の形式が不正です\n");
    switch (h->bitCount) {
    case 1: case 4: case 8:
        if (fields) return WriteLog("BMP の形式が不正です\n");
        MakePaletteColorFormat(format, h->palette, h->paletteCount);
        return 0;
    case 16:
        if (!fields) return MakeColorFormatFromMasks(format, 16, 0x7C00, 0x03E0, 0x001F, 0);
        return MakeColorFormatFromMasks(format, 16, h->masks[0], h->masks[1], h->masks[2], h->masks[3]);
    case 24:
        if (fields) return WriteLog("BMP の形式が不正です\n");
        return MakeColorFormatFromMasks(format, 24, 0xFF0000, 0xFF00, 0xFF, 0);
    case 32:
        if (!fields) return MakeColorFormatFromMasks(format, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        return MakeColorFormatFromMasks(format, 32, h->masks[0], h->masks[1], h->masks[2], h->masks[3]);
    default:
        return WriteLogFormat("BMP の色ビット数 %d には対応していません", h->bitCount);
    }
}

// One stored row into one byte per pixel (palette pictures) or its pixels as they are.
static void UnpackBmpRow(const BmpHeader *h, const uint8_t *in, uint8_t *out) {
    if (h->bitCount >= 8) {
        memcpy(out, in, (size_t)h->width * (h->bitCount / 8));
        return;
    }
    int perByte = 8 / h->bitCount, mask = (1 << h->bitCount) - 1;
    for (int x = 0; x < h->width; ++x) {
        int shift = 8 - h->bitCount * (x % perByte + 1);
        out[x] = (uint8_t)((in[x / perByte] >> shift) & mask);
    }
}

// Walks run-length data (8 or 4 bits a pixel) over the picture's rows, bottom row first, and writes
// the pixels into a zeroed block of pitch bytes a row when pixels is not null, so that a walk without
// it tells whether the data gives the picture before anything is allocated for it. Pixels the data
// skips (row ends, moves, the end of the picture) keep index 0; runs are cut at the right edge and
// nothing goes past the last row. 0, -1 when the data ends before the picture does.
static int WalkBmpRuns(const BmpHeader *h, const uint8_t *data, size_t size, uint8_t *pixels, int pitch) {
    bool four = h->compression == BMP_RLE4;
    int x = 0, y = 0;  // y counts stored rows from the bottom
    // Pixel i of a run: the byte itself, or its high then low nibble in turn.
    auto put = [&](int count, const uint8_t *bytes, bool repeat) {
        int n = count < h->width - x ? count : h->width - x;
        uint8_t *row = pixels ? pixels + (size_t)(h->height - 1 - y) * pitch + x : nullptr;
        for (int i = 0; row != nullptr && i < n; ++i) {
            uint8_t b = bytes[repeat ? 0 : (four ? i / 2 : i)];
            row[i] = four ? (i & 1 ? b & 15 : b >> 4) : b;
        }
        x += n;
    };
    size_t at = 0;
    while (y < h->height) {
        if (at + 2 > size) return -1;
        int n = data[at], code = data[at + 1];
        at += 2;
        if (n > 0) {
            put(n, data + at - 1, true);
        } else if (code == 0) {  // end of a row
            x = 0;
            ++y;
        } else if (code == 1) {  // end of the picture
            return 0;
        } else if (code == 2) {  // move right and up
            if (at + 2 > size) return -1;
            x = x + data[at] < h->width ? x + data[at] : h->width;
            y += data[at + 1];
            at += 2;
        } else {  // code pixels as they are, padded to whole 16-bit words
            size_t bytes = four ? ((size_t)code + 1) / 2 : (size_t)code;
            if (at + bytes > size) return -1;
            put(code, data + at, false);
            at += bytes + (bytes & 1);
        }
    }
    return 0;
}

// Reads the size bytes the file holds from the pixel offset on (the header's compressed size is not
// trusted), walks their runs and only when they give the whole picture allocates and decodes it.
// 0 / -1 (logged).
static int LoadBmpRuns(StreamRecord *s, const BmpHeader *h, const ColorFormatRecord *format, size_t size,
                       GraphImage *out) {
    uint8_t *data = size > 0 ? static_cast<uint8_t *>(DZ_ALLOC(size)) : nullptr;
    int result = data && ReadBytes(s, data, size) && WalkBmpRuns(h, data, size, nullptr, 0) == 0
                     ? 0 : WriteLog("BMP の画素が途中で切れています\n");
    if (result == 0) result = AllocGraphImagePixels(out, format, h->width, h->height);
    if (result == 0) WalkBmpRuns(h, data, size, static_cast<uint8_t *>(out->pixels), out->pitch);
    FreeMemoryTracked(data);
    return result;
}

// Reads the stored rows, each stride bytes, when the file holds them all. 0 / -1 (logged).
static int LoadBmpRows(StreamRecord *s, const BmpHeader *h, const ColorFormatRecord *format, int64_t size,
                       GraphImage *out) {
    size_t stride = (((size_t)h->width * h->bitCount + 31) / 32) * 4;
    if (size < (int64_t)stride * h->height) return WriteLog("BMP の画素が途中で切れています\n");
    uint8_t *row = static_cast<uint8_t *>(DZ_ALLOC(stride));
    if (row == nullptr || AllocGraphImagePixels(out, format, h->width, h->height) != 0) {
        FreeMemoryTracked(row);
        return -1;
    }
    for (int i = 0; i < h->height; ++i) {
        if (!ReadBytes(s, row, stride)) {
            FreeMemoryTracked(row);
            DiscardGraphImage(out);
            return WriteLog("BMP の画素が途中で切れています\n");
        }
        int y = h->topDown ? i : h->height - 1 - i;
        UnpackBmpRow(h, row, static_cast<uint8_t *>(out->pixels) + (size_t)y * out->pitch);
    }
    FreeMemoryTracked(row);
    return 0;
}

int LoadBmpImage(StreamRecord *stream, GraphImage *out) {
    memset(out, 0, sizeof(*out));
    BmpHeader h;
    ColorFormatRecord format;
    if (ReadBmpHeader(stream, &h) != 0 || MakeBmpFormat(&h, &format) != 0) return -1;
    int64_t size = GetImageStreamBytesFrom(stream, h.dataOffset);
    if (size < 0 || stream->functions.seek(stream->data, h.dataOffset, 0) != 0)
        return WriteLog("BMP の画素の位置が不正です\n");
    bool runs = h.compression == BMP_RLE8 || h.compression == BMP_RLE4;
    return runs ? LoadBmpRuns(stream, &h, &format, (size_t)size, out) : LoadBmpRows(stream, &h, &format, size, out);
}
