// Text: Shift-JIS characters rendered by FreeType into a font's glyph cache (a white body cell and,
// for edged fonts, a one-pixel dilated edge cell) and drawn through the graph draws, tinted by the
// draw bright: every edge first in the edge colour, then every body in the text colour.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "lib/core/helpers.h"
#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/font/font.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/screen.h"
#include "platform/kernel/kernel.h"

#define GLYPH_WHITE 0xFFFFFFu   // glyph pixels in a cell (the key is black)

// ================================================================================================
// glyph rendering into the cache
// ================================================================================================

// The Unicode character of a Shift-JIS code, or 0 when CP932 has none.
static uint32_t DecodeShiftJis(uint16_t code)
{
    char bytes[2];
    int length = 0;
    if (code > 0xFF) bytes[length++] = (char)(code >> 8);
    bytes[length++] = (char)(code & 0xFF);
    uint16_t wide[4] = {};
    if (KMultiByteToWide(bytes, length, wide, 4) != 1) return 0;
    return wide[0];
}

// Renders the glyph's bitmap (white) into a cell of the entry picture at row 0, column 0; returns
// the advance in pixels.
static int RenderGlyphCell(FontRecord *f, uint16_t code, GraphImage *entry)
{
    int fallback = code > 0xFF ? f->size : f->size / 2;
    uint32_t ucs = DecodeShiftJis(code);
    FT_Face face = (FT_Face)f->face;
    if (ucs == 0 || FT_Load_Char(face, ucs, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return fallback;
    FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap &bitmap = slot->bitmap;
    for (unsigned row = 0; row < bitmap.rows; row++) {
        int y = f->baseline - slot->bitmap_top + (int)row;
        if (y < 0 || y >= f->cellHeight) continue;
        const uint8_t *bits = bitmap.buffer + (ptrdiff_t)row * bitmap.pitch;
        auto *out = (uint32_t *)((uint8_t *)entry->pixels + (ptrdiff_t)y * entry->pitch);
        for (unsigned col = 0; col < bitmap.width; col++) {
            int x = slot->bitmap_left + (int)col;
            bool on = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (bits[col >> 3] >> (7 - (col & 7))) & 1 : bits[col] >= 128;
            if (on && x >= 0 && x < f->cellWidth) out[x] = GLYPH_WHITE;
        }
    }
    return (int)((slot->advance.x + 32) >> 6);
}

// The edge cell beside the body: a pixel is set when any body pixel is within one pixel of it
// (the edge cell is drawn one pixel up and left of the body).
static void DilateGlyphCell(const FontRecord *f, GraphImage *entry)
{
    auto pixel = [entry](int x, int y) -> uint32_t & {
        return ((uint32_t *)((uint8_t *)entry->pixels + (ptrdiff_t)y * entry->pitch))[x];
    };
    for (int y = 0; y < f->cellHeight; y++)
        for (int x = 0; x < f->cellWidth; x++) {
            if (pixel(x, y) != GLYPH_WHITE) continue;
            for (int dy = 0; dy < 3; dy++)
                for (int dx = 0; dx < 3; dx++) pixel(f->cellWidth + x + dx, y + dy) = GLYPH_WHITE;
        }
}

// Renders a character into cache entry slot and pushes the entry's pixels into the cache graph.
static int FillCacheEntry(FontRecord *f, int slot, uint16_t code)
{
    static ColorFormatRecord xrgb;
    if (xrgb.colorBitDepth == 0) MakeColorFormatFromMasks(&xrgb, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    GraphImage entry = {};
    if (AllocGraphImagePixels(&entry, &xrgb, f->entryWidth, f->entryHeight) != 0) return -1;
    int advance = RenderGlyphCell(f, code, &entry);
    if (f->fontType & FONT_TYPE_EDGE) DilateGlyphCell(f, &entry);
    Rect whole = {0, 0, f->entryWidth, f->entryHeight};
    int x = (slot % f->perRow) * f->entryWidth, y = (slot / f->perRow) * f->entryHeight;
    int result = UpdateGraphImageRect(f->cacheGraph, x, y, &entry, &whole);
    DiscardGraphImage(&entry);
    f->entries[slot] = FontCacheEntry{code, (int16_t)advance, 1};
    f->index[code] = (uint16_t)(slot + 1);
    return result;
}

// The cache entry of a character, rendering it when missing (round-robin replacement when full).
static int FindGlyph(FontRecord *f, uint16_t code)
{
    if (f->index[code]) return f->index[code] - 1;
    int slot;
    if (f->usedCount < f->capacity) {
        slot = f->usedCount++;
    } else {
        slot = f->nextVictim;
        f->nextVictim = (f->nextVictim + 1) % f->capacity;
        f->index[f->entries[slot].code] = 0;
    }
    FillCacheEntry(f, slot, code);
    return slot;
}

// Makes the cache image when it is missing; a cache that cannot be made is fatal.
static void EnsureFontCache(FontRecord *f, int font)
{
    if (LookupGraph(f->cacheGraph) && !f->cacheSurfaceLost) return;
    if (RestoreFontCacheImage(font) != 0) ExitWithError("テキストキャッシュの作成に失敗しました");
}

// ================================================================================================
// drawing
// ================================================================================================

// Next character code of text at *pos (within length bytes), advancing *pos.
static uint16_t NextCharCode(const char *text, int length, int *pos)
{
    unsigned char lead = (unsigned char)text[*pos];
    if (IsShiftJisLeadByte(lead) && *pos + 1 < length && text[*pos + 1] != 0) {
        uint16_t code = (uint16_t)(lead << 8 | (unsigned char)text[*pos + 1]);
        *pos += 2;
        return code;
    }
    *pos += 1;
    return lead;
}

// How one pass draws its cells.
struct TextPass {
    MEMIMG *dst;
    FontRecord *font;
    int edge;                 // 1: edge cells, 0: body cells
    int scaleFlag;
    double xScale, yScale;
    int vertical;
    int trans;
};

// Draws one cell view with its top-left at (x, y): plain, stretched, or turned a quarter clockwise.
static void DrawCell(const TextPass *p, const MEMIMG *cell, int x, int y)
{
    int w = cell->width, h = cell->height;
    if (p->vertical) {
        const TriangleVertex upper[3] = {{x + h, y, 0, 0}, {x + h, y + w, w, 0}, {x, y + w, w, h}};
        const TriangleVertex lower[3] = {{x + h, y, 0, 0}, {x, y + w, w, h}, {x, y, 0, h}};
        DrawMemImgTriangle(p->dst, cell, upper, p->trans, 0);
        DrawMemImgTriangle(p->dst, cell, lower, p->trans, 0);
    } else if (p->scaleFlag) {
        int rect[4] = {x, y, x + TruncDoubleToInt(w * p->xScale), y + TruncDoubleToInt(h * p->yScale)};
        DrawMemImgStretched(p->dst, cell, rect, p->trans);
    } else {
        DrawMemImgAt(p->dst, cell, x, y, p->trans);
    }
}

// Cells are placed only within this distance of the origin: far beyond any picture, and small
// enough that a cell's corners and its stretched size never overflow an int.
#define TEXT_POSITION_LIMIT (1 << 29)

// 1 when a cell at (x, y) can be placed.
static int CellPlaceable(long long x, long long y)
{
    return x > -TEXT_POSITION_LIMIT && x < TEXT_POSITION_LIMIT && y > -TEXT_POSITION_LIMIT && y < TEXT_POSITION_LIMIT;
}

// Draws the characters' edge or body cells along the text.
static void DrawTextPass(const TextPass *p, const char *text, int length, int x, int y)
{
    FontRecord *f = p->font;
    // New glyphs are written into this same image: it stays for the whole pass.
    MEMIMG *cache = GetGraphMemImg(LookupGraph(f->cacheGraph));
    if (!cache) return;
    double pen = 0;
    for (int pos = 0; pos < length && text[pos];) {
        // The rest of the text lies beyond every picture.
        if (pen >= TEXT_POSITION_LIMIT || pen <= -TEXT_POSITION_LIMIT) return;
        uint16_t code = NextCharCode(text, length, &pos);
        int slot = FindGlyph(f, code);
        int ex = (slot % f->perRow) * f->entryWidth, ey = (slot / f->perRow) * f->entryHeight;
        long long offset = (long long)pen - p->edge;
        long long cx = p->vertical ? (long long)x - p->edge : x + offset;
        long long cy = p->vertical ? y + offset : (long long)y - p->edge;
        MEMIMG cell;
        if (CellPlaceable(cx, cy) &&
            (p->edge ? CreateMemImgSubView(&cell, cache, ex + f->cellWidth, ey, f->cellWidth + 2, f->cellHeight + 2)
                     : CreateMemImgSubView(&cell, cache, ex, ey, f->cellWidth, f->cellHeight)) == 0) {
            DrawCell(p, &cell, (int)cx, (int)cy);
            ReleaseMemImg(&cell);
        }
        pen += f->entries[slot].advance * (p->scaleFlag ? p->xScale : 1.0);
    }
}

// 1 when a scale factor can stretch a cell: finite and at most the largest picture side.
static int ScaleUsable(double scale)
{
    return scale >= -32767.0 && scale <= 32767.0;
}

// Sum of the characters' advances.
static int MeasureText(FontRecord *f, const char *text, int length)
{
    long long width = 0;
    for (int pos = 0; pos < length && text[pos];) width += f->entries[FindGlyph(f, NextCharCode(text, length, &pos))].advance;
    return width > INT_MAX ? INT_MAX : (int)width;
}

// Sets the draw bright to a colour given in the screen's format.
static void SetBrightFromScreenColor(uint32_t colour)
{
    int r, g, b;
    UnpackScreenColor(colour, &r, &g, &b);
    SetDrawBright(r, g, b);
}

int DrawTextCore(int mode, int x, int y, int scaleFlag, double xScale, double yScale, const char *text,
                 uint32_t colour, MEMIMG *dst, const Rect *clip, int trans, int font, uint32_t edgeColour,
                 int length, int vertical, int extent[2])
{
    FontRecord *f = LookUpFontRecord(font);
    if (!f || !text) return -1;
    // Scales outside any picture's size (or not numbers) draw nothing.
    if (scaleFlag && (!ScaleUsable(xScale) || !ScaleUsable(yScale))) return 0;
    if (length < 0) length = (int)strlen(text);
    EnsureFontCache(f, font);
    int width = MeasureText(f, text, length);
    if (extent) {
        int along = TruncDoubleToInt(scaleFlag ? width * xScale : width);
        extent[0] = vertical ? f->cellHeight : along;
        extent[1] = vertical ? along : f->cellHeight;
    }
    if (mode != 1) return 0;
    EndDirect3DWork();
    int onTarget = dst == nullptr || dst == GetDrawTargetMemImg();
    if (!dst) dst = GetDrawTargetMemImg();
    if (!dst || (onTarget && LockDrawTarget() != 0)) return -1;
    // Cells are tinted white glyphs: the bright carries the colour, the blend graph is off meanwhile.
    uint32_t savedBright = GDrawSettings.bright;
    int savedBlendGraph = GDrawSettings.blendGraph;
    Rect savedRegion = GDrawSettings.drawRegion;
    if (dst != GetDrawTargetMemImg()) GDrawSettings.drawRegion = Rect{0, 0, dst->width, dst->height};
    if (clip) {
        Rect r = *clip;
        ClipRectToArea(&r, &GDrawSettings.drawRegion);
        GDrawSettings.drawRegion = r;
    }
    GDrawSettings.blendGraph = -1;
    TextPass pass = {dst, f, 1, scaleFlag, xScale, yScale, vertical, trans};
    if (f->fontType & FONT_TYPE_EDGE) {
        SetBrightFromScreenColor(edgeColour);
        DrawTextPass(&pass, text, length, x, y);
    }
    pass.edge = 0;
    SetBrightFromScreenColor(colour);
    DrawTextPass(&pass, text, length, x, y);
    SetDrawBrightColor(savedBright);
    GDrawSettings.blendGraph = savedBlendGraph;
    GDrawSettings.drawRegion = savedRegion;
    if (onTarget) UnlockDrawTarget();
    return 0;
}

// ================================================================================================
// public text draws
// ================================================================================================

int RenderFontString2D(int x, int y, const char *text, uint32_t colour, int font, uint32_t edgeColour,
                       int vertical)
{
    FontRecord *f = LookUpFontRecord(font);
    if (!f) return -1;
    if (f->textureFlag) return G_D3D_RenderFontString(x, y, text, colour, font, edgeColour, vertical);
    if (GDrawSettings.noDrawGuard) return 0;
    if (!IsScreenReady()) return -1;
    return DrawTextCore(1, x, y, 0, 1.0, 1.0, text, colour, nullptr, nullptr, 1, font, edgeColour, -1, vertical,
                        nullptr);
}

int DrawTextWithFont(int x, int y, const char *text, uint32_t colour, int font, uint32_t edgeColour, int vertical)
{
    FontRecord *f = LookUpFontRecord(font);
    if (!f) return WriteLog("フォントハンドル値が異常です\n");
    if (!text || !text[0]) return 0;
    return RenderFontString2D(x, y, text, colour, font, edgeColour, vertical);
}

int DrawTextDefaultFont(int x, int y, const char *text, uint32_t colour, uint32_t edgeColour)
{
    int font = GetDefaultFontHandle();
    if (font == -1) return -1;
    return DrawTextWithFont(x, y, text, colour, font, edgeColour, 0);
}

int DrawPrintfText(int x, int y, uint32_t colour, const char *format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format ? format : "", args);
    va_end(args);
    return DrawTextDefaultFont(x, y, buffer, colour, 0);
}
