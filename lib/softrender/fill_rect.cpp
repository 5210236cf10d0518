// The filled rectangle: ordered, clipped, then one span per row through the flat loops.
#include "lib/softrender/fill_rect.h"
#include "lib/softrender/flat_span.h"

void FillMemImgRect(MEMIMG *dst, const int *rect, unsigned colour) {
    if (!IsMemImgValid(dst)) return;
    const MemImgSharedRecord *sh = dst->shared;
    if (sh->paletteFlag || sh->alphaFlag) return;
    Rect r = {0, 0, dst->width, dst->height};
    if (rect != nullptr) {
        // Reversed corners name the same rectangle; nothing is mirrored.
        r.left = rect[0] < rect[2] ? rect[0] : rect[2];
        r.right = rect[0] < rect[2] ? rect[2] : rect[0];
        r.top = rect[1] < rect[3] ? rect[1] : rect[3];
        r.bottom = rect[1] < rect[3] ? rect[3] : rect[1];
    }
    Rect area = GetMemImgDrawArea(dst);
    ClipRectToArea(&r, &area);
    const int width = r.right - r.left;
    if (width <= 0 || r.bottom <= r.top) return;
    FlatDraw fd;
    if (!PrepareFlatDraw(&fd, sh->colorType, colour)) return;
    uint8_t *row = GetMemImgPixelAddress(dst, r.left, r.top);
    if ((int64_t)width * fd.bytesPerPixel == sh->pitch) {
        fd.span(row, width * (r.bottom - r.top), &fd);  // whole rows back to back: one span
    } else {
        for (int y = r.top; y < r.bottom; ++y, row += sh->pitch) fd.span(row, width, &fd);
    }
    MarkMemImgPixelsChanged(dst);
}
