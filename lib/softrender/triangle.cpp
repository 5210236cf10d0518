// RasterizeMemImgTriangle: argument checks, set-up, the choice of body, and the flat triangles.
#include "lib/softrender/triangle.h"

#include "lib/softrender/flat_span.h"
#include "lib/softrender/triangle_body.h"

int gTriangleFastSpanUse = 1;

void SetTriangleFastSpanUse(int enable) { gTriangleFastSpanUse = enable ? 1 : 0; }

namespace {

// Bytes per texel each texel kind reads, for a texture of colour type.
int GetTriangleTexelBytes(int colorType, int kind)
{
    if (kind == TEXEL_PALETTE) return 1;
    if (kind == TEXEL_DIRECT && colorType == MEMIMG_COLOR_565) return 2;
    return 4;
}

// The flat colour, tinted by table on every draw, and its fields through S[p] for add/subtract.
template <int Type> void SetTriangleFlatColour(FlatDraw *fd, uint32_t colour)
{
    uint32_t c = TintFlatColorTable<Type>(colour, fd->snap.bright);
    fd->colour = c;
    fd->scaled = ScaleFlatColour<Type>(c, fd->snap.scaleP);
}

void DrawFlatTriangle(MEMIMG *dst, const TriangleSetup &setup, const Rect &area, uint32_t colour)
{
    FlatDraw fd;
    int type = dst->shared->colorType;
    if (type == MEMIMG_COLOR_565) colour &= 0xFFFF;
    if (!PrepareFlatDraw(&fd, type, colour)) return;
    // The rectangle's shift-form tint is replaced by the triangle's table form.
    if (type == MEMIMG_COLOR_565)
        SetTriangleFlatColour<0>(&fd, colour);
    else
        SetTriangleFlatColour<1>(&fd, colour);
    uint8_t *pixels = dst->pixels;
    intptr_t pitch = dst->shared->pitch;
    int bytes = fd.bytesPerPixel;
    WalkTriangleRows(setup, area, [&](int32_t y, int32_t xl, int32_t count) {
        fd.span(pixels + y * pitch + (intptr_t)xl * bytes, count, &fd);
    });
}

// Fills draw for a textured triangle; 0, or -1 when the texture or blend image is refused.
int PrepareTriangleTexture(TriangleTextureDraw *draw, const MEMIMG *dst, const MEMIMG *texture,
                           const MEMIMG *blend)
{
    const MemImgSharedRecord *ts = texture->shared;
    if (ts->colorType != dst->shared->colorType) return -1;
    if (texture->width > kTriangleMaxTexture || texture->height > kTriangleMaxTexture) return -1;
    if (texture->width < 1 || texture->height < 1) return -1;
    int kind = GetTexelKind(ts);
    if (GetMemImgBytesPerPixel(texture) != GetTriangleTexelBytes(ts->colorType, kind)) return -1;
    if (kind == TEXEL_PALETTE && ts->palette == nullptr) return -1;
    if (blend != nullptr) {
        // The blend byte is read at the texel's column (as a byte offset) and row.
        if (!IsMemImgValid(blend) || !DoesBlendImageCover(blend, texture)) return -1;
        draw->blendPixels = blend->pixels;
        draw->blendPitch = blend->shared->pitch;
    } else {
        draw->blendPixels = nullptr;
        draw->blendPitch = 0;
    }
    draw->texPixels = texture->pixels;
    draw->texPitch = ts->pitch;
    draw->uLimit = static_cast<uint32_t>(texture->width) << kTriangleFracBits;
    draw->vLimit = static_cast<uint32_t>(texture->height) << kTriangleFracBits;
    draw->dstPixels = dst->pixels;
    draw->dstPitch = dst->shared->pitch;
    TakePixelOpSnapshot(&draw->snap, ts);
    return 0;
}

// The body of the call's blend mode, or null when nothing is drawn.
TriangleTextureBodyFn PickTriangleTextureBody(const TriangleTextureDraw &draw, int colorType, int kind,
                                              int transparent)
{
    int body = ResolveBlendBody(draw.snap.mode, draw.snap.param);
    // A palette texture still runs the subtract at parameter 0, with a zero source.
    if (draw.snap.mode == MEMIMG_BLEND_SUBTRACT && kind == TEXEL_PALETTE) body = 3;
    if (body < 0) return nullptr;
    int index = GetTriangleVariantIndex(kind, GetTriangleBodyIndex(body), draw.snap.tintActive,
                                        draw.blendPixels != nullptr, transparent != 0);
    const TriangleTextureBodyTable &table =
        colorType == MEMIMG_COLOR_565 ? kTriangleTextureBodies565 : kTriangleTextureBodies8888;
    return table[index];
}

}  // namespace

// Draws a textured or flat triangle on dst in the current blend mode, clipped to the draw region.
void RasterizeMemImgTriangle(MEMIMG *dst, const MEMIMG *texture, const TriangleVertex vertices[3],
                             int transparent, const MEMIMG *blend, uint32_t colour)
{
    if (!IsMemImgValid(dst) || vertices == nullptr) return;
    if (texture != nullptr && !IsMemImgValid(texture)) return;
    const MemImgSharedRecord *ds = dst->shared;
    if (ds->paletteFlag || ds->alphaFlag) return;
    if (ds->colorType != MEMIMG_COLOR_565 && ds->colorType != MEMIMG_COLOR_8888) return;
    if (!IsDrawingBlendMode(GDrawSettings.blendMode)) return;

    if (texture == nullptr) {
        TriangleSetup setup;
        if (SetUpTriangle(vertices, 0, &setup) != 0) return;
        DrawFlatTriangle(dst, setup, GetMemImgDrawArea(dst), colour);
        return;
    }
    TriangleTextureDraw draw;
    if (PrepareTriangleTexture(&draw, dst, texture, blend) != 0) return;
    TriangleTextureBodyFn body = PickTriangleTextureBody(draw, ds->colorType, GetTexelKind(texture->shared),
                                                         transparent);
    if (body == nullptr) return;
    if (SetUpTriangle(vertices, 1, &draw.setup) != 0) return;
    draw.area = GetMemImgDrawArea(dst);
    body(&draw);
}
