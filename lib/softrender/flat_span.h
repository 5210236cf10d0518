// Flat-colour drawing shared by the filled rectangle, the lines and the circle: the colour is tinted
// and the blend mode resolved once per draw, then spans, stepped lines and single pixels run loops
// with no setting tested inside.
#pragma once
#include <cstddef>
#include <cstdint>
#include "lib/core/helpers.h"
#include "lib/graphics/memimg.h"
#include "lib/softrender/pixel_ops.h"

struct FlatDraw;
// count pixels from dst, left to right.
typedef void (*FlatSpanFn)(uint8_t *dst, int count, const FlatDraw *fd);
// One pixel at dst.
typedef void (*FlatPixelFn)(uint8_t *dst, const FlatDraw *fd);
// count pixels from dst: after each one step by major; add minor to an error term that starts at 0,
// and once it reaches major, step by minorStep as well and subtract major.
typedef void (*FlatLineFn)(uint8_t *dst, int count, ptrdiff_t majorStep, ptrdiff_t minorStep,
                           int minor, int major, const FlatDraw *fd);

// Everything a flat draw decides once per call.
struct FlatDraw {
    PixelOpSnapshot snap;    // draw settings and table rows taken at the start of the call
    int colorType;           // 0 R5G6B5, 1 X8R8G8B8
    int body;                // ResolveBlendBody: 0 store, 1, 2, 3, 4, 10, 11
    int bytesPerPixel;       // 2 or 4
    uint32_t colour;         // the colour after the shift-form tint (type 0: 16 bits)
    uint32_t scaled;         // the colour's fields through S[p] (bodies 2 and 3)
    FlatSpanFn span;
    FlatPixelFn pixel;
    FlatLineFn line;
};

// The colour's three fields through row S[p], each in its place (what the packed add and subtract
// add: FlatDraw::scaled).
template <int Type> inline uint32_t ScaleFlatColour(uint32_t c, const int32_t *scaleP) {
    uint32_t r = 0;
    for (int i = 0; i < 3; ++i) r |= (uint32_t)scaleP[GetPixelField<Type>(c, i)] << MemImgPixel<Type>::kShift[i];
    return r;
}

// Takes the draw settings for a flat draw of colour on a destination of colorType: masks a type 0
// colour to 16 bits, applies the shift-form tint when the tint is active and picks the loops.
// 1 when something is to be drawn; 0 for a colour type other than 0 and 1 or a mode (with its
// parameter) that draws nothing.
int PrepareFlatDraw(FlatDraw *fd, int colorType, uint32_t colour);

// The part of dst the drawers may write: the draw region of GDrawSettings cut to the image (for
// valid settings the region already lies inside it). Right and bottom are never below left and top,
// and all four lie inside the image.
Rect GetMemImgDrawArea(const MEMIMG *dst);

// Address of pixel (x, y) of dst (no bounds test).
inline uint8_t *GetMemImgPixelAddress(const MEMIMG *dst, int x, int y) {
    return GetMemImgRow(dst, y) + (intptr_t)x * GetMemImgBytesPerPixel(dst);
}

// Test hook: 0 makes the spans use their scalar loops only, 1 the 16-byte vector ones too, 2 (the
// default) the plain fill in the widest stores the processor has.
void SetFlatSpanVectorUse(int level);
