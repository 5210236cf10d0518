// The font table: FreeType faces of the pinned font, the default font, and the glyph caches' images.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/font/font.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/screen.h"

// The font module's state; written by this file (the caches' contents by font_text.cpp).
static struct {
    FT_Library freeType;      // null until the first font
    HandleTable fonts;        // FontRecord, FONT_TABLE_SIZE slots
    int tableReady;
    int defaultFont = -1;     // handle of the default font, -1 until it is needed
    int defaultSize = FONT_DEFAULT_SIZE;
    int defaultType;          // FONT_TYPE_ bits
} sFonts;

FontRecord *LookUpFontRecord(int font)
{
    return sFonts.tableReady ? (FontRecord *)LookupHandle(&sFonts.fonts, font) : nullptr;
}

// FreeType and the table on first use. 0 / -1.
static int StartFontModule(void)
{
    if (!sFonts.freeType && FT_Init_FreeType(&sFonts.freeType) != 0) {
        sFonts.freeType = nullptr;
        return WriteLog("FreeType の初期化に失敗しました in CreateFontToHandle\n");
    }
    if (!sFonts.tableReady) {
        if (InitHandleTable(&sFonts.fonts, HANDLE_TYPE_FONT, FONT_TABLE_SIZE) != 0) return -1;
        sFonts.tableReady = 1;
    }
    return 0;
}

// Cell metrics and the cache layout of a font of f->size pixels.
static void LayOutFontCache(FontRecord *f)
{
    FT_Face face = (FT_Face)f->face;
    int ascender = (int)(face->size->metrics.ascender >> 6);
    f->cellWidth = f->size;
    f->cellHeight = f->size;
    f->baseline = ascender < 0 ? 0 : ascender > f->size ? f->size : ascender;
    int edged = f->fontType & FONT_TYPE_EDGE;
    f->entryWidth = edged ? 2 * f->cellWidth + 2 : f->cellWidth;
    f->entryHeight = edged ? f->cellHeight + 2 : f->cellHeight;
    f->perRow = FONT_CACHE_MAX_SIDE / f->entryWidth;
    int rows = FONT_CACHE_MAX_SIDE / f->entryHeight;
    long long fit = (long long)f->perRow * rows;
    f->capacity = fit < FONT_CACHE_MAX_CHARS ? (int)fit : FONT_CACHE_MAX_CHARS;
}

// Removes the cache graph.
static void RemoveFontCacheImage(FontRecord *f)
{
    if (f->cacheGraph != -1) RemoveGraph(f->cacheGraph, 0);
    f->cacheGraph = -1;
}

// Frees a font record with everything it owns (its cache graph included).
static void FreeFontRecord(FontRecord *f)
{
    RemoveFontCacheImage(f);
    if (f->face) FT_Done_Face((FT_Face)f->face);
    FreeMemoryTracked(f->index);
    FreeMemoryTracked(f->entries);
    FreeMemoryTracked(f);
}

// A new record with its face at size pixels. Null (logged) on failure.
static FontRecord *NewFontRecord(int size, int thick, int fontType)
{
    auto *f = (FontRecord *)DZ_ALLOC_ZERO(sizeof(FontRecord));
    if (!f) return nullptr;
    f->size = size;
    f->thick = thick;
    f->fontType = fontType;
    f->cacheGraph = -1;
    FT_Face face = nullptr;
    if (FT_New_Face(sFonts.freeType, FONT_FILE_PATH, 0, &face) != 0 || FT_Set_Pixel_Sizes(face, 0, (FT_UInt)size) != 0) {
        if (face) FT_Done_Face(face);
        FreeMemoryTracked(f);
        WriteLog("フォントファイル " FONT_FILE_PATH " が読み込めません in CreateFontToHandle\n");
        return nullptr;
    }
    f->face = face;
    LayOutFontCache(f);
    f->index = (uint16_t *)DZ_ALLOC_ZERO(sizeof(uint16_t) * 65536);
    f->entries = (FontCacheEntry *)DZ_ALLOC_ZERO(sizeof(FontCacheEntry) * (size_t)f->capacity);
    if (!f->index || !f->entries) {
        FreeFontRecord(f);
        WriteLog("フォント用のメモリが確保できませんでした in CreateFontToHandle\n");
        return nullptr;
    }
    return f;
}

int CreateFontToHandle(const char *name, int size, int thick, int fontType)
{
    if (size == -1) size = FONT_DEFAULT_SIZE;
    if (fontType == -1) fontType = 0;
    if (size < 1 || size > FONT_MAX_SIZE)
        return WriteLogFormat("フォントのサイズ %d は使えません in CreateFontToHandle", size);
    if (StartFontModule() != 0) return -1;
    FontRecord *f = NewFontRecord(size, thick, fontType);
    if (!f) return -1;
    f->textureFlag = IsDirect3DDrawUsable();
    // Both cache formats are asked for: with an alpha channel, and with the alpha test.
    const ColorFormatRecord *withAlpha = G_D3D_ChooseTextureFormat(1, 0, 0, 0);
    const ColorFormatRecord *withTest = G_D3D_ChooseTextureFormat(0, 1, 0, 0);
    const ColorFormatRecord *format = withAlpha ? withAlpha : withTest;
    if (format) f->cacheFormat = *format;
    f->cacheAlphaTest = !withAlpha && withTest;
    int handle = AddHandleRecord(&sFonts.fonts, &f->head);
    if (handle == -1) {
        FreeFontRecord(f);
        return WriteLog("フォントハンドルが一杯です in CreateFontToHandle\n");
    }
    return handle;
}

int DeleteFontToHandle(int font)
{
    auto *f = (FontRecord *)RemoveHandleRecord(&sFonts.fonts, font);
    if (!f) return -1;
    if (font == sFonts.defaultFont) sFonts.defaultFont = -1;
    FreeFontRecord(f);
    return 0;
}

int RemoveAllFonts(void)
{
    if (sFonts.tableReady) {
        for (int slot = 0; slot < sFonts.fonts.usedBound; slot++) {
            HandleRecordHead *head = sFonts.fonts.records[slot];
            if (head) DeleteFontToHandle(MakeHandle(&sFonts.fonts, slot, head->check));
        }
        TermHandleTable(&sFonts.fonts);
        sFonts.tableReady = 0;
    }
    if (sFonts.freeType) FT_Done_FreeType(sFonts.freeType);
    sFonts.freeType = nullptr;
    sFonts.defaultFont = -1;
    return 0;
}

// ================================================================================================
// default font
// ================================================================================================

int ChangeDefaultFontType(int fontType)
{
    if (fontType == sFonts.defaultType) return 0;
    sFonts.defaultType = fontType;
    if (sFonts.defaultFont != -1) DeleteFontToHandle(sFonts.defaultFont);
    return 0;
}

int ChangeDefaultFontSize(int size)
{
    if (size < 1 || size > FONT_MAX_SIZE) return -1;
    if (size == sFonts.defaultSize) return 0;
    sFonts.defaultSize = size;
    if (sFonts.defaultFont != -1) DeleteFontToHandle(sFonts.defaultFont);
    return 0;
}

int GetDefaultFontHandle(void)
{
    if (!LookUpFontRecord(sFonts.defaultFont))
        sFonts.defaultFont = CreateFontToHandle(nullptr, sFonts.defaultSize, -1, sFonts.defaultType);
    return sFonts.defaultFont;
}

// ================================================================================================
// cache images
// ================================================================================================

// Forgets every cached character.
static void EmptyFontCache(FontRecord *f)
{
    memset(f->index, 0, sizeof(uint16_t) * 65536);
    memset(f->entries, 0, sizeof(FontCacheEntry) * (size_t)f->capacity);
    f->usedCount = 0;
    f->nextVictim = 0;
}

int DropAllFontCaches(void)
{
    if (!sFonts.tableReady) return 0;
    for (int slot = 0; slot < sFonts.fonts.usedBound; slot++) {
        auto *f = (FontRecord *)sFonts.fonts.records[slot];
        if (!f) continue;
        RemoveFontCacheImage(f);
        EmptyFontCache(f);
    }
    return 0;
}

int MarkFontCachesLost(void)
{
    for (int slot = 0; sFonts.tableReady && slot < sFonts.fonts.usedBound; slot++) {
        auto *f = (FontRecord *)sFonts.fonts.records[slot];
        if (f && f->textureFlag) f->cacheTextureLost = 1;
    }
    return 0;
}

int MarkFontCacheGraphLost(int graph)
{
    for (int slot = 0; sFonts.tableReady && slot < sFonts.fonts.usedBound; slot++) {
        auto *f = (FontRecord *)sFonts.fonts.records[slot];
        if (f && f->cacheGraph == graph) f->cacheSurfaceLost = 1;
    }
    return 0;
}

int RestoreFontCacheImage(int font)
{
    FontRecord *f = LookUpFontRecord(font);
    if (!f) return -1;
    if (LookupGraph(f->cacheGraph) && !f->cacheSurfaceLost && !f->cacheTextureLost) return 0;
    RemoveFontCacheImage(f);
    int width = f->perRow * f->entryWidth, height = (f->capacity + f->perRow - 1) / f->perRow * f->entryHeight;
    if (f->textureFlag) {
        // Cells are white glyphs on clear white, tinted by the draw bright when drawn.
        f->cacheGraph = MakeBlankTextureGraph(width, height, f->cacheAlphaTest, f->cacheFormat.colorBitDepth);
        if (f->cacheGraph != -1 && FillGraphSurfaces(f->cacheGraph, 255, 255, 255, 0) != 0) RemoveFontCacheImage(f);
    } else {
        // Key black: cells are white glyphs on black.
        f->cacheGraph = MakeSystemMemoryGraph(width, height, 0x000000);
    }
    if (f->cacheGraph == -1) return -1;
    f->cacheSurfaceLost = 0;
    f->cacheTextureLost = 0;
    EmptyFontCache(f);
    return 0;
}

int GetFontCacheUsage(int font, int *used, int *capacity)
{
    FontRecord *f = LookUpFontRecord(font);
    if (!f) return -1;
    if (used) *used = f->usedCount;
    if (capacity) *capacity = f->capacity;
    return 0;
}
