// pixman's side: solid fills with the operator closest to each blend mode, OVER of a8r8g8b8
// pictures (alpha 0 where our key is) for keyed blits, SRC for opaque ones in the screen's format
// (its fast path for that work), a solid mask for the blend parameter, nearest-filter transforms
// for the scaled blits, and the disc's row spans as rectangle lists.
#include <pixman.h>

#include <vector>

#include "tools/bench_softrender/bench_scene.h"

namespace {

// Our colour as the screen holds it, premultiplied by alpha.
pixman_color_t PixmanColour(uint32_t rgb, uint32_t alpha) {
    uint8_t c[3];
    WidenScreenColour(rgb, c);
    pixman_color_t col;
    col.red = (uint16_t)(c[0] * alpha / 255u * 257u);
    col.green = (uint16_t)(c[1] * alpha / 255u * 257u);
    col.blue = (uint16_t)(c[2] * alpha / 255u * 257u);
    col.alpha = (uint16_t)(alpha * 257);
    return col;
}

// Mode 0: SRC; 1: OVER at alpha p; 2: ADD of the colour scaled by p; 4 and 11: MULTIPLY at alpha p
// (the PDF multiply over an opaque destination is multiply, then mix by alpha).
void PixmanFill(BenchScene &s, const BenchFill &f, const pixman_rectangle16_t *rects, int count) {
    pixman_op_t op = f.mode == 0 ? PIXMAN_OP_SRC : f.mode == 1 ? PIXMAN_OP_OVER : f.mode == 2 ? PIXMAN_OP_ADD
                                                                                             : PIXMAN_OP_MULTIPLY;
    uint32_t alpha = f.mode == 0 || f.mode == 4 ? 255 : (uint32_t)f.param;
    pixman_color_t col = PixmanColour(f.rgb, alpha);
    pixman_image_fill_rectangles(op, s.screens[0].pixmanScreen, &col, count, rects);
}

void PixmanBox(BenchScene &s, const BenchFill &f) {
    pixman_rectangle16_t r = {(int16_t)f.x, (int16_t)f.y, (uint16_t)f.w, (uint16_t)f.h};
    PixmanFill(s, f, &r, 1);
}

void PixmanDisc(BenchScene &s, const BenchFill &f) {
    static std::vector<pixman_rectangle16_t> rects;
    rects.clear();
    for (const BenchSpan &sp : GetDiscSpans(f.x, f.y, f.w))
        rects.push_back({(int16_t)sp.x, (int16_t)sp.y, (uint16_t)sp.w, 1});
    PixmanFill(s, f, rects.data(), (int)rects.size());
}

// One picture (from (sx, sy) of src) onto a screen; pixman clips it to the screen.
void PixmanPut(pixman_image_t *screen, pixman_op_t op, pixman_image_t *src, pixman_image_t *mask, int sx, int sy,
               int x, int y, int w, int h) {
    pixman_image_composite32(op, src, mask, screen, sx, sy, 0, 0, x, y, w, h);
}

// A piece of a sheet, by its index.
void PixmanPiece(pixman_image_t *screen, pixman_op_t op, const BenchSheet &sh, int piece, int x, int y) {
    PixmanPut(screen, op, sh.pixman, nullptr, (piece % sh.across) * sh.size, (piece / sh.across) * sh.size, x, y,
              sh.size, sh.size);
}

// A second view of an image's pixels that samples them scaled (destination to source: 1 / factor).
pixman_image_t *ScaledView(pixman_image_t *of, double sourcePerDest) {
    pixman_image_t *img = pixman_image_create_bits(pixman_image_get_format(of), pixman_image_get_width(of),
                                                   pixman_image_get_height(of), pixman_image_get_data(of),
                                                   pixman_image_get_stride(of));
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(sourcePerDest), pixman_double_to_fixed(sourcePerDest));
    pixman_image_set_transform(img, &t);
    pixman_image_set_filter(img, PIXMAN_FILTER_NEAREST, nullptr, 0);
    return img;
}

// A solid mask of alpha a.
pixman_image_t *SolidMask(uint32_t a) {
    pixman_color_t c = {0, 0, 0, (uint16_t)(a * 257)};
    return pixman_image_create_solid_fill(&c);
}

// The micro blits: keyed pieces OVER; alpha OVER and add ADD through a solid mask of the parameter;
// subtract as DIFFERENCE through it (pixman has no subtract; this is the nearest work); multiply
// MULTIPLY; the copy SRC.
void PixmanBlit(BenchScene &s, const BlitCase &b) {
    static pixman_image_t *const kMask100 = SolidMask(100), *const kMask128 = SolidMask(128),
                                 *const kMask200 = SolidMask(200);
    pixman_image_t *screen = s.screens[b.type].pixmanScreen;
    const int i = b.size == 256;
    pixman_image_t *pic = s.pictures[b.type][i].pixman;
    switch (b.work) {
    case BLIT_SHEET_PIECE: case BLIT_CLIP_ONE: case BLIT_CLIP_HALF: case BLIT_CLIP_BOTTOM: case BLIT_CLIP_LEFT:
        PixmanPiece(screen, PIXMAN_OP_OVER, s.keyed[b.type][i], kKeyedPiece, b.x, b.y);
        break;
    case BLIT_ALPHA100: PixmanPut(screen, PIXMAN_OP_OVER, pic, kMask100, 0, 0, b.x, b.y, b.size, b.size); break;
    case BLIT_ALPHA128: PixmanPut(screen, PIXMAN_OP_OVER, pic, kMask128, 0, 0, b.x, b.y, b.size, b.size); break;
    case BLIT_ADD200: PixmanPut(screen, PIXMAN_OP_ADD, pic, kMask200, 0, 0, b.x, b.y, b.size, b.size); break;
    case BLIT_SUB200: PixmanPut(screen, PIXMAN_OP_DIFFERENCE, pic, kMask200, 0, 0, b.x, b.y, b.size, b.size); break;
    case BLIT_MUL200: PixmanPut(screen, PIXMAN_OP_MULTIPLY, pic, nullptr, 0, 0, b.x, b.y, b.size, b.size); break;
    default: PixmanPut(screen, PIXMAN_OP_SRC, pic, nullptr, 0, 0, b.x, b.y, b.size, b.size); break;
    }
}

}  // namespace

int RunPixman(BenchScene &s, BenchOp op) {
    static pixman_image_t *mechX3 = ScaledView(s.mech32.pixman, 1.0 / 3.0);
    static pixman_image_t *half = ScaledView(s.sprite256.pixman, 2.0);
    static pixman_image_t *const quarterX4[2] = {ScaledView(s.quarter[0].pixman, 0.25),
                                                 ScaledView(s.quarter[1].pixman, 0.25)};
    pixman_image_t *screen = s.screens[0].pixmanScreen;
    if (op >= OP_BLITS) {
        PixmanBlit(s, GetBlitCase(op));
        return 1;
    }
    switch (op) {
    case OP_STRETCH_X3_KEYED: PixmanPut(screen, PIXMAN_OP_OVER, mechX3, nullptr, 0, 0, 272, 192, 96, 96); return 1;
    case OP_STRETCH_HALF_KEYED: PixmanPut(screen, PIXMAN_OP_OVER, half, nullptr, 0, 0, 200, 100, 128, 128); return 1;
    case OP_STRETCH_X4_565: case OP_STRETCH_X4_8888: {
        const int type = GetBenchOpType(op);
        PixmanPut(s.screens[type].pixmanScreen, PIXMAN_OP_SRC, quarterX4[type], nullptr, 0, 0, 0, 0, kScreenW,
                  kScreenH);
        return 1;
    }
    case OP_CIRCLE16_M0: case OP_CIRCLE16_M2: case OP_CIRCLE96_M0: case OP_CIRCLE96_M2:
        PixmanDisc(s, GetBenchFill(op));
        return 1;
    case OP_FRAME_NORMAL: case OP_FRAME_WORLD2: case OP_FRAME_DARK:
        PixmanBox(s, kClearBox);
        for (int i = 0; i < 195; ++i) PixmanPiece(screen, PIXMAN_OP_SRC, s.floor, s.tilePiece[i], s.tileX[i], s.tileY[i]);
        for (int i = 0; i < 150; ++i)
            PixmanPiece(screen, PIXMAN_OP_OVER, s.sprites, s.spritePiece[i], s.spriteX[i], s.spriteY[i]);
        PixmanBox(s, kHudBand);
        if (op == OP_FRAME_WORLD2) PixmanBox(s, kWorld2Tint);
        if (op == OP_FRAME_DARK) {
            PixmanBox(s, kDarkness);
            for (const BenchFill &disc : kLightDiscs) PixmanDisc(s, disc);
        }
        return 1;
    case OP_SCREEN_MEMCPY: return 0;
    default: PixmanBox(s, GetBenchFill(op)); return 1;
    }
}
