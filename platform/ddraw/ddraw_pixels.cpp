// Pixel formats of the display-surface stand-in and the copies between surfaces of any two of them.
#include <algorithm>
#include <cstring>

#include "platform/ddraw/ddraw_internal.h"

// ================================================================================================
// formats
// ================================================================================================

int DdMakePixelFormat(int layout, DdPixelFormat *out)
{
    struct Layout {
        int name;
        uint32_t bits, r, g, b, a;
    };
    static const Layout kLayouts[] = {
        {565, 16, 0xF800, 0x07E0, 0x001F, 0},
        {555, 16, 0x7C00, 0x03E0, 0x001F, 0},
        {888, 32, 0xFF0000, 0xFF00, 0xFF, 0},
        {1555, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
        {4444, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
        {8888, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
    };
    if (!out) return -1;
    memset(out, 0, sizeof *out);
    out->size = sizeof *out;
    if (layout == 8) {
        out->flags = DD_PF_RGB | DD_PF_PALETTEINDEXED8;
        out->bitCount = 8;
        return 0;
    }
    for (const Layout &l : kLayouts) {
        if (l.name != layout) continue;
        out->flags = DD_PF_RGB | (l.a ? DD_PF_ALPHAPIXELS : 0u);
        out->bitCount = l.bits;
        out->redMask = l.r, out->greenMask = l.g, out->blueMask = l.b, out->alphaMask = l.a;
        return 0;
    }
    return -1;
}

int DdFormatBytes(const DdPixelFormat *format)
{
    if (format->flags & DD_PF_FOURCC) return 0;
    switch (format->bitCount) {
    case 8: return (format->flags & (DD_PF_PALETTEINDEXED8 | DD_PF_ZBUFFER)) ? 1 : 0;
    case 16: return 2;
    case 24: return 3;   // packed RGB, the movie frames' 24-bit surfaces
    case 32: return 4;
    default: return 0;
    }
}

// ================================================================================================
// channel decoding
// ================================================================================================

// One channel of a format: shift and width of its mask.
struct DdChannel {
    uint32_t mask;
    int shift, width;
};

static DdChannel MakeChannel(uint32_t mask)
{
    DdChannel c = {mask, 0, 0};
    if (!mask) return c;
    while (!((mask >> c.shift) & 1)) c.shift++;
    while (c.shift + c.width < 32 && ((mask >> (c.shift + c.width)) & 1)) c.width++;
    return c;
}

// A channel value widened to 8 bits by repeating its top bits; absent channels read absent.
static uint32_t ExpandChannel(const DdChannel &c, uint32_t pixel, uint32_t absent)
{
    if (!c.width) return absent;
    uint32_t v = (pixel & c.mask) >> c.shift;
    if (c.width >= 8) return v >> (c.width - 8);
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += c.width) out = (out << c.width) | v;
    return (out >> ((8 + c.width - 1) / c.width * c.width - 8)) & 0xFF;
}

static uint32_t NarrowChannel(const DdChannel &c, uint32_t v8)
{
    if (!c.width) return 0;
    uint32_t v = c.width >= 8 ? v8 << (c.width - 8) : v8 >> (8 - c.width);
    return (v << c.shift) & c.mask;
}

// How one surface's pixels decode to 0xAARRGGBB and encode back.
struct DdCodec {
    const DdSurface *surface;
    int bytes;
    DdChannel r, g, b, a;
};

static DdCodec MakeCodec(const DdSurface *s)
{
    DdCodec c = {s, DdFormatBytes(&s->format), {}, {}, {}, {}};
    c.r = MakeChannel(s->format.redMask);
    c.g = MakeChannel(s->format.greenMask);
    c.b = MakeChannel(s->format.blueMask);
    c.a = MakeChannel(s->format.alphaMask);
    return c;
}

static uint32_t ReadRaw(const uint8_t *p, int bytes)
{
    if (bytes == 1) return *p;
    if (bytes == 2) {
        uint16_t v;
        memcpy(&v, p, 2);
        return v;
    }
    if (bytes == 3) return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

static void WriteRaw(uint8_t *p, int bytes, uint32_t v)
{
    if (bytes == 1) *p = (uint8_t)v;
    else if (bytes == 2) {
        uint16_t w = (uint16_t)v;
        memcpy(p, &w, 2);
    } else if (bytes == 3) {
        p[0] = (uint8_t)v, p[1] = (uint8_t)(v >> 8), p[2] = (uint8_t)(v >> 16);
    } else memcpy(p, &v, 4);
}

static uint32_t DecodePixel(const DdCodec &c, uint32_t raw)
{
    if (c.surface->format.flags & DD_PF_PALETTEINDEXED8) return 0xFF000000u | c.surface->palette[raw & 0xFF];
    return ExpandChannel(c.a, raw, 0xFF) << 24 | ExpandChannel(c.r, raw, 0) << 16 | ExpandChannel(c.g, raw, 0) << 8 |
           ExpandChannel(c.b, raw, 0);
}

static uint32_t EncodePixel(const DdCodec &c, uint32_t argb)
{
    return NarrowChannel(c.a, argb >> 24) | NarrowChannel(c.r, (argb >> 16) & 0xFF) |
           NarrowChannel(c.g, (argb >> 8) & 0xFF) | NarrowChannel(c.b, argb & 0xFF);
}

// ================================================================================================
// copies
// ================================================================================================

static int SameFormat(const DdSurface *a, const DdSurface *b)
{
    return a->format.bitCount == b->format.bitCount && a->format.redMask == b->format.redMask &&
           a->format.greenMask == b->format.greenMask && a->format.blueMask == b->format.blueMask &&
           a->format.alphaMask == b->format.alphaMask &&
           (a->format.flags & DD_PF_PALETTEINDEXED8) == (b->format.flags & DD_PF_PALETTEINDEXED8);
}

// The common window present: R5G6B5 rows widened to X8R8G8B8.
static void Copy565To888(uint8_t *dst, const uint8_t *src, int w)
{
    const uint16_t *s = reinterpret_cast<const uint16_t *>(src);
    uint32_t *d = reinterpret_cast<uint32_t *>(dst);
    for (int i = 0; i < w; i++) {
        uint32_t p = s[i];
        uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
        d[i] = (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
    }
}

// Same-format rows with a key: pixels equal to key are left alone.
template <typename Pixel>
static void CopyKeyedPixels(uint8_t *dst, const uint8_t *src, int w, uint32_t key)
{
    Pixel *d = reinterpret_cast<Pixel *>(dst);
    const Pixel *s = reinterpret_cast<const Pixel *>(src);
    const Pixel k = (Pixel)key;
    // Written as a select so the loop vectorises.
    for (int i = 0; i < w; i++) d[i] = s[i] == k ? d[i] : s[i];
}

static void CopyKeyedRow(uint8_t *dst, const uint8_t *src, int w, int bytes, uint32_t key)
{
    if (bytes == 2) CopyKeyedPixels<uint16_t>(dst, src, w, key);
    else if (bytes == 4) CopyKeyedPixels<uint32_t>(dst, src, w, key);
    else CopyKeyedPixels<uint8_t>(dst, src, w, key);
}

// Same-format copy: rows moved, or keyed. 0 / -1.
static int CopySameFormat(DdSurface *dst, int dx, int dy, DdSurface *src, int sx, int sy, int w, int h,
                          const uint32_t *key)
{
    int bytes = DdFormatBytes(&dst->format);
    if (!bytes) return -1;
    for (int y = 0; y < h; y++) {
        uint8_t *d = dst->pixels + (intptr_t)(dy + y) * dst->pitch + (intptr_t)dx * bytes;
        const uint8_t *s = src->pixels + (intptr_t)(sy + y) * src->pitch + (intptr_t)sx * bytes;
        if (key) CopyKeyedRow(d, s, w, bytes, *key);
        else memmove(d, s, (size_t)w * bytes);
    }
    return 0;
}

int DdCopyPixels(DdSurface *dst, int dx, int dy, DdSurface *src, int sx, int sy, int w, int h, const uint32_t *key)
{
    if (SameFormat(dst, src)) return CopySameFormat(dst, dx, dy, src, sx, sy, w, h, key);
    DdCodec dc = MakeCodec(dst), sc = MakeCodec(src);
    if (!dc.bytes || !sc.bytes) return -1;
    if (dst->format.flags & DD_PF_PALETTEINDEXED8) return -1;
    int fast565 = !key && dst->format.bitCount == 32 && !dst->format.alphaMask && dst->format.redMask == 0xFF0000 &&
                  src->format.bitCount == 16 && src->format.redMask == 0xF800 && !src->format.alphaMask;
    for (int y = 0; y < h; y++) {
        uint8_t *d = dst->pixels + (intptr_t)(dy + y) * dst->pitch + (intptr_t)dx * dc.bytes;
        const uint8_t *s = src->pixels + (intptr_t)(sy + y) * src->pitch + (intptr_t)sx * sc.bytes;
        if (fast565) Copy565To888(d, s, w);
        else
            for (int i = 0; i < w; i++) {
                uint32_t raw = ReadRaw(s + i * sc.bytes, sc.bytes);
                if (key && raw == *key) continue;
                WriteRaw(d + i * dc.bytes, dc.bytes, EncodePixel(dc, DecodePixel(sc, raw)));
            }
    }
    return 0;
}

int DdScalePixels(DdSurface *dst, const DdRect *d, DdSurface *src, const DdRect *s, const uint32_t *key)
{
    int dw = d->right - d->left, dh = d->bottom - d->top, sw = s->right - s->left, sh = s->bottom - s->top;
    if (dw == sw && dh == sh) return DdCopyPixels(dst, d->left, d->top, src, s->left, s->top, dw, dh, key);
    DdCodec dc = MakeCodec(dst), sc = MakeCodec(src);
    if (!dc.bytes || !sc.bytes) return -1;
    int same = SameFormat(dst, src);
    if (!same && (dst->format.flags & DD_PF_PALETTEINDEXED8)) return -1;
    for (int y = 0; y < dh; y++) {
        int sy = s->top + (int)((int64_t)y * sh / dh);
        uint8_t *row = dst->pixels + (intptr_t)(d->top + y) * dst->pitch + (intptr_t)d->left * dc.bytes;
        const uint8_t *srow = src->pixels + (intptr_t)sy * src->pitch;
        for (int x = 0; x < dw; x++) {
            int sx = s->left + (int)((int64_t)x * sw / dw);
            uint32_t raw = ReadRaw(srow + (intptr_t)sx * sc.bytes, sc.bytes);
            if (key && raw == *key) continue;
            WriteRaw(row + (intptr_t)x * dc.bytes, dc.bytes, same ? raw : EncodePixel(dc, DecodePixel(sc, raw)));
        }
    }
    return 0;
}

template <typename Pixel>
static void FillRows(DdSurface *dst, const DdRect *r, uint32_t value)
{
    for (int y = r->top; y < r->bottom; y++) {
        Pixel *row = reinterpret_cast<Pixel *>(dst->pixels + (intptr_t)y * dst->pitch) + r->left;
        std::fill(row, row + (r->right - r->left), (Pixel)value);
    }
}

void DdFillPixels(DdSurface *dst, const DdRect *r, uint32_t value)
{
    int bytes = DdFormatBytes(&dst->format);
    if (bytes == 2) FillRows<uint16_t>(dst, r, value);
    else if (bytes == 4) FillRows<uint32_t>(dst, r, value);
    else FillRows<uint8_t>(dst, r, value);
}
