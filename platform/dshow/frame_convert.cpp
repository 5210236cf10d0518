// Multimedia-stream stand-in: a decoded Y'CbCr picture into an RGB surface (ITU-R BT.601 studio
// range in 14-bit fixed point, the way the platform's colour converter works).
#include "platform/dshow/frame_convert.h"

// A channel of the surface format: where its top bits go.
struct ChannelPlace {
    int shift;   // lowest bit
    int drop;    // 8 - width: low bits of the 8-bit value that do not fit
};

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

// One picture row into one surface row of Bytes-per-pixel pixels.
template <int Bytes>
static void ConvertRow(const uint8_t *yRow, const uint8_t *cbRow, const uint8_t *crRow, int x0, int hshift,
                       int width, uint8_t *out, const ChannelPlace place[3])
{
    for (int x = 0; x < width; x++) {
        int c = (x0 + x) >> hshift;
        int r, g, b;
        MmYCbCrToRgb(yRow[x0 + x], cbRow[c], crRow[c], &r, &g, &b);
        uint32_t pixel = ((uint32_t)(r >> place[0].drop) << place[0].shift) |
                         ((uint32_t)(g >> place[1].drop) << place[1].shift) |
                         ((uint32_t)(b >> place[2].drop) << place[2].shift);
        for (int k = 0; k < Bytes; k++) out[x * Bytes + k] = (uint8_t)(pixel >> (8 * k));
    }
}

typedef void (*RowConverter)(const uint8_t *, const uint8_t *, const uint8_t *, int, int, int, uint8_t *,
                             const ChannelPlace *);

int MmConvertPicture(const MmPictureInfo *picture, const MmPlane planes[3], const MmSurfaceLock *target)
{
    RowConverter convert = target->bitCount == 16 ? ConvertRow<2> : target->bitCount == 24 ? ConvertRow<3>
                           : target->bitCount == 32 ? ConvertRow<4> : nullptr;
    if (!convert || target->width < picture->picWidth || target->height < picture->picHeight) return -1;
    ChannelPlace place[3] = {PlaceOfMask(target->redMask), PlaceOfMask(target->greenMask),
                             PlaceOfMask(target->blueMask)};
    int hshift = picture->chroma == MM_CHROMA_444 ? 0 : 1;
    int vshift = picture->chroma == MM_CHROMA_420 ? 1 : 0;
    for (int row = 0; row < picture->picHeight; row++) {
        int y = picture->picY + row;
        int c = y >> vshift;
        convert(planes[0].data + (intptr_t)y * planes[0].stride, planes[1].data + (intptr_t)c * planes[1].stride,
                planes[2].data + (intptr_t)c * planes[2].stride, picture->picX, hshift, picture->picWidth,
                target->pixels + (intptr_t)row * target->pitch, place);
    }
    return 0;
}
