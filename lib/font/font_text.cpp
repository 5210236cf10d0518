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

static uint16_t NextCharCode(const char *text, int length, int *pos);

// How glyph cells are painted before they go into a cache: white glyphs on black (the key of a cache
// in memory), or on clear white in a texture cache, whose alpha leaves the rest of a cell undrawn.
struct GlyphInk {
    const ColorFormatRecord *format;
    uint32_t glyph, ground;
};

static GlyphInk CacheInk(const GraphRecord *cache)
{
    static ColorFormatRecord xrgb, argb;
    if (xrgb.colorBitDepth == 0) {
        MakeColorFormatFromMasks(&xrgb, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        MakeColorFormatFromMasks(&argb, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    }
    if (cache && cache->format.textureFlag) return GlyphInk{&argb, 0xFFFFFFFFu, 0x00FFFFFFu};
    return GlyphInk{&xrgb, 0xFFFFFFu, 0};
}

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

static uint32_t &StripPixel(const GraphImage *strip, int x, int y)
{
    return ((uint32_t *)((uint8_t *)strip->pixels + (ptrdiff_t)y * strip->pitch))[x];
}

// Renders the glyph's bitmap into the body cell at column left of the strip; returns the advance in
// pixels.
static int RenderGlyphCell(FontRecord *f, uint16_t code, const GraphImage *strip, int left, const GlyphInk &ink)
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
        for (unsigned col = 0; col < bitmap.width; col++) {
            int x = slot->bitmap_left + (int)col;
            bool on = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (bits[col >> 3] >> (7 - (col & 7))) & 1 : bits[col] >= 128;
            if (on && x >= 0 && x < f->cellWidth) StripPixel(strip, left + x, y) = ink.glyph;
        }
    }
    return (int)((slot->advance.x + 32) >> 6);
}

// The edge cell beside the body: a pixel is set when any body pixel is within one pixel of it
// (the edge cell is drawn one pixel up and left of the body).
static void DilateGlyphCell(const FontRecord *f, const GraphImage *strip, int left, const GlyphInk &ink)
{
    for (int y = 0; y < f->cellHeight; y++)
        for (int x = 0; x < f->cellWidth; x++) {
            if (StripPixel(strip, left + x, y) != ink.glyph) continue;
            for (int dy = 0; dy < 3; dy++)
                for (int dx = 0; dx < 3; dx++) StripPixel(strip, left + f->cellWidth + x + dx, y + dy) = ink.glyph;
        }
}

// Takes the next free entry for a character (round-robin replacement once full).
static int TakeCacheSlot(FontRecord *f, uint16_t code)
{
    int slot;
    if (f->usedCount < f->capacity) {
        slot = f->usedCount++;
    } else {
        slot = f->nextVictim;
        f->nextVictim = (f->nextVictim + 1) % f->capacity;
        f->index[f->entries[slot].code] = 0;
    }
    f->entries[slot] = FontCacheEntry{code, 0, 1};
    f->index[code] = (uint16_t)(slot + 1);
    return slot;
}

// Puts count new entries from slot first on (side by side in one cache row) into the cache graph in
// one upload.
static void UploadCacheEntries(FontRecord *f, const GraphImage *strip, int first, int count)
{
    Rect cells = {0, 0, count * f->entryWidth, f->entryHeight};
    UpdateGraphImageRect(f->cacheGraph, (first % f->perRow) * f->entryWidth, (first / f->perRow) * f->entryHeight,
                         strip, &cells);
}

// Renders the characters of the text that the cache lacks. 0, -1 when no picture for them could be made.
static int CacheTextGlyphs(FontRecord *f, const char *text, int length)
{
    const GraphRecord *cache = LookupGraph(f->cacheGraph);
    if (!cache) return -1;
    GlyphInk ink = CacheInk(cache);
    GraphImage strip = {};
    int first = 0, count = 0, result = 0;
    for (int pos = 0; pos < length && text[pos];) {
        uint16_t code = NextCharCode(text, length, &pos);
        if (f->index[code]) continue;
        if (!strip.pixels && AllocGraphImagePixels(&strip, ink.format, f->perRow * f->entryWidth, f->entryHeight) != 0) {
            result = -1;
            break;
        }
        int slot = TakeCacheSlot(f, code);
        if (count > 0 && (slot != first + count || slot % f->perRow == 0)) {
            UploadCacheEntries(f, &strip, first, count);
            count = 0;
        }
        if (count == 0) {
            first = slot;
            for (int y = 0; y < strip.height; y++)
                for (int x = 0; x < strip.width; x++) StripPixel(&strip, x, y) = ink.ground;
        }
        int left = count++ * f->entryWidth;
        f->entries[slot].advance = (int16_t)RenderGlyphCell(f, code, &strip, left, ink);
        if (f->fontType & FONT_TYPE_EDGE) DilateGlyphCell(f, &strip, left, ink);
    }
    if (count > 0) UploadCacheEntries(f, &strip, first, count);
    DiscardGraphImage(&strip);
    return result;
}

// The cache entry of a character, rendering it when missing; -1 when it cannot be.
static int FindGlyph(FontRecord *f, uint16_t code)
{
    if (!f->index[code]) {
        char bytes[2];
        int length = 0;
        if (code > 0xFF) bytes[length++] = (char)(code >> 8);
        bytes[length++] = (char)(code & 0xFF);
        CacheTextGlyphs(f, bytes, length);
    }
    return f->index[code] ? f->index[code] - 1 : -1;
}

// Makes the cache image when it is missing. 0; -1 when a texture cache waits for the device (its
// re-creation was refused: the text is not drawn until a restore brings it back). Any other cache
// that cannot be made is fatal.
static int EnsureFontCache(FontRecord *f, int font)
{
    if (LookupGraph(f->cacheGraph) && !f->cacheSurfaceLost && !(f->textureFlag && f->cacheTextureLost)) return 0;
    if (RestoreFontCacheImage(font) == 0) return 0;
    if (f->textureFlag && !G_D3D_GetDevice()) return G_D3D_NoteMissingDevice();
    ExitWithError("テキストキャッシュの作成に失敗しました");
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
    MEMIMG *dst;              // software: where the cells go; null on the device
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
        // The drawer takes a pixel's texel at its left edge; running against the cell's rows, that is
        // one row late, so the rows start one early (row -1 lies on the cell's right border, never drawn).
        const TriangleVertex upper[3] = {{x + h, y, 0, -1}, {x + h, y + w, w, -1}, {x, y + w, w, h - 1}};
        const TriangleVertex lower[3] = {{x + h, y, 0, -1}, {x, y + w, w, h - 1}, {x, y, 0, h - 1}};
        DrawMemImgTriangle(p->dst, cell, upper, p->trans, 0);
        DrawMemImgTriangle(p->dst, cell, lower, p->trans, 0);
    } else if (p->scaleFlag) {
        int rect[4] = {x, y, x + TruncDoubleToInt(w * p->xScale), y + TruncDoubleToInt(h * p->yScale)};
        DrawMemImgStretched(p->dst, cell, rect, p->trans);
    } else {
        DrawMemImgAt(p->dst, cell, x, y, p->trans);
    }
}

// The same on the device, for the cell rectangle of a texture cache (no graph of its own: a font's
// thousands of cells would fill the graph table): the turned cell's corners (top-left, top-right,
// bottom-left, bottom-right) sit half a pixel up and left, where the device puts a pixel's edge.
static void DrawCellPart(const TextPass *p, GraphRecord *cache, const Rect *cell, int x, int y)
{
    int w = cell->right - cell->left, h = cell->bottom - cell->top;
    if (p->vertical) {
        float left = (float)x - 0.5f, top = (float)y - 0.5f;
        const float corners[8] = {left + (float)h, top, left + (float)h, top + (float)w, left, top, left, top + (float)w};
        G_D3D_RenderGraphPartFreeQuad(corners, cache, cell, p->trans);
    } else if (p->scaleFlag) {
        G_D3D_RenderGraphPartStretched(x, y, x + TruncDoubleToInt(w * p->xScale), y + TruncDoubleToInt(h * p->yScale),
                                       cache, cell, p->trans);
    } else {
        G_D3D_RenderGraphPartAt(x, y, cache, cell, p->trans);
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
    // New glyphs are written into this same graph and image: they stay for the whole pass.
    GraphRecord *graph = LookupGraph(f->cacheGraph);
    MEMIMG *cache = p->dst ? GetGraphMemImg(graph) : nullptr;
    if (!graph || (p->dst && !cache)) return;
    int w = p->edge ? f->cellWidth + 2 : f->cellWidth, h = p->edge ? f->cellHeight + 2 : f->cellHeight;
    double pen = 0;
    for (int pos = 0; pos < length && text[pos];) {
        // The rest of the text lies beyond every picture.
        if (pen >= TEXT_POSITION_LIMIT || pen <= -TEXT_POSITION_LIMIT) return;
        int slot = FindGlyph(f, NextCharCode(text, length, &pos));
        if (slot == -1) continue;
        int ex = (slot % f->perRow) * f->entryWidth + (p->edge ? f->cellWidth : 0);
        int ey = (slot / f->perRow) * f->entryHeight;
        long long offset = (long long)pen - p->edge;
        long long cx = p->vertical ? (long long)x - p->edge : x + offset;
        long long cy = p->vertical ? y + offset : (long long)y - p->edge;
        pen += f->entries[slot].advance * (p->scaleFlag ? p->xScale : 1.0);
        if (!CellPlaceable(cx, cy)) continue;
        if (!cache) {
            const Rect cell = {ex, ey, ex + w, ey + h};
            DrawCellPart(p, graph, &cell, (int)cx, (int)cy);
            continue;
        }
        MEMIMG cell;
        if (CreateMemImgSubView(&cell, cache, ex, ey, w, h) != 0) continue;
        DrawCell(p, &cell, (int)cx, (int)cy);
        ReleaseMemImg(&cell);
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
    for (int pos = 0; pos < length && text[pos];) {
        int slot = FindGlyph(f, NextCharCode(text, length, &pos));
        if (slot != -1) width += f->entries[slot].advance;
    }
    return width > INT_MAX ? INT_MAX : (int)width;
}

// Sets the draw bright to a colour given in the screen's format.
static void SetBrightFromScreenColor(uint32_t colour)
{
    int r, g, b;
    UnpackScreenColor(colour, &r, &g, &b);
    SetDrawBright(r, g, b);
}

// Every edge in the edge colour, then every body in the text colour; the bright carries the colour
// and is restored after.
static void DrawTextPasses(TextPass *pass, const char *text, int length, int x, int y, uint32_t colour,
                           uint32_t edgeColour)
{
    uint32_t savedBright = GDrawSettings.bright;
    if (pass->font->fontType & FONT_TYPE_EDGE) {
        pass->edge = 1;
        SetBrightFromScreenColor(edgeColour);
        DrawTextPass(pass, text, length, x, y);
    }
    pass->edge = 0;
    SetBrightFromScreenColor(colour);
    DrawTextPass(pass, text, length, x, y);
    SetDrawBrightColor(savedBright);
}

// The text from a texture cache, drawn on the draw target through the graph draws: the device
// draws it, with the blend graph off and the region narrowed to the clip meanwhile. 0.
static int DrawTextOnDevice(TextPass *pass, const char *text, int length, int x, int y, uint32_t colour,
                            uint32_t edgeColour, const Rect *clip)
{
    int result;
    if (!BeginDrawEntry(&result)) return result;
    Rect saved = GDrawSettings.drawRegion, region = saved;
    if (clip) {
        region = *clip;
        ClipRectToArea(&region, &saved);
        if (region.right <= region.left || region.bottom <= region.top) return 0;
    }
    int narrowed = memcmp(&region, &saved, sizeof region) != 0;
    if (narrowed) SetDrawRegion(region.left, region.top, region.right, region.bottom);
    int blendGraph = GDrawSettings.blendGraph;
    int border = GDrawSettings.blendGraphBorderParam, range = GDrawSettings.blendGraphBorderRange;
    if (blendGraph != -1) SelectBlendGraph(-1, border, range);
    DrawTextPasses(pass, text, length, x, y, colour, edgeColour);
    if (blendGraph != -1) SelectBlendGraph(blendGraph, border, range);
    if (narrowed) SetDrawRegion(saved.left, saved.top, saved.right, saved.bottom);
    return 0;
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
    if (EnsureFontCache(f, font) != 0) return -1;
    CacheTextGlyphs(f, text, length);
    int width = MeasureText(f, text, length);
    if (extent) {
        int along = TruncDoubleToInt(scaleFlag ? width * xScale : width);
        extent[0] = vertical ? f->cellHeight : along;
        extent[1] = vertical ? along : f->cellHeight;
    }
    if (mode != 1) return 0;
    TextPass pass = {nullptr, f, 0, scaleFlag, xScale, yScale, vertical, trans};
    if (LookupGraph(f->cacheGraph)->format.textureFlag) {
        // A texture cache has no pixels in memory to draw into a memory image.
        if (dst && dst != GetDrawTargetMemImg()) return -1;
        return DrawTextOnDevice(&pass, text, length, x, y, colour, edgeColour, clip);
    }
    EndDirect3DWork();
    int onTarget = dst == nullptr || dst == GetDrawTargetMemImg();
    if (!dst) dst = GetDrawTargetMemImg();
    if (!dst || (onTarget && LockDrawTarget() != 0)) return -1;
    // Cells are tinted white glyphs: the blend graph is off meanwhile.
    int savedBlendGraph = GDrawSettings.blendGraph;
    Rect savedRegion = GDrawSettings.drawRegion;
    if (dst != GetDrawTargetMemImg()) GDrawSettings.drawRegion = Rect{0, 0, dst->width, dst->height};
    if (clip) {
        Rect r = *clip;
        ClipRectToArea(&r, &GDrawSettings.drawRegion);
        GDrawSettings.drawRegion = r;
    }
    GDrawSettings.blendGraph = -1;
    pass.dst = dst;
    DrawTextPasses(&pass, text, length, x, y, colour, edgeColour);
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
