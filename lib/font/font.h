// Fonts: FreeType faces of the pinned Japanese font, glyph caches in graphs, and Shift-JIS text
// drawn through the graph draws (edged text: every edge first, then every body).
#pragma once
#include <cstdint>

#include "lib/core/handle.h"
#include "lib/image/color_format.h"

#define FONT_TABLE_SIZE 40
#define FONT_CACHE_MAX_CHARS 2024
#define FONT_CACHE_MAX_SIDE 2048            // the cache image stays within this square
#define FONT_MAX_SIZE 1000                   // pixels
#define FONT_DEFAULT_SIZE 16
#define FONT_TYPE_EDGE 1                     // font type bit 0: edged text
#define FONT_FILE_PATH "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"

// One cached character: the body cell at (x, y) of the cache graph and, for an edged font, the edge
// cell (one pixel larger on every side) to its right.
struct FontCacheEntry {
    uint16_t code;            // Shift-JIS code (a single byte, or lead << 8 | trail)
    int16_t advance;          // pixels the pen moves
    uint8_t used;             // 1 while the entry holds a character
};

// A font handle's record; written by the font module, read by the Direct3D string draw.
struct FontRecord {
    HandleRecordHead head;    // check
    void *face;               // FreeType face at this font's size
    int size;                 // pixels
    int thick;                // stroke thickness asked for (the pinned font has one weight)
    int fontType;             // FONT_TYPE_ bits
    int textureFlag;          // 1: the glyph cache is a texture graph (Direct3D)
    ColorFormatRecord cacheFormat;        // texture format from the renderer (empty without it)
    int cacheAlphaTest;       // 1: that format is the alpha-test one (no alpha channel was offered)
    int cacheGraph;           // graph of the cache image, -1 before it is made
    int cacheSurfaceLost;     // 1: the cache image must be made again
    int cacheTextureLost;
    int cellWidth, cellHeight; // body cell, pixels
    int baseline;             // baseline's row in a cell
    int entryWidth, entryHeight; // one entry (body and edge cells) in the cache image
    int perRow;               // entries per row of the cache image
    int capacity;             // entries: min(2024, what fits FONT_CACHE_MAX_SIDE squared)
    int usedCount;            // entries in use
    int nextVictim;           // round-robin replacement once full
    uint16_t *index;          // 65,536 codes -> entry + 1 (0 = not cached)
    FontCacheEntry *entries;  // capacity of them
};

// ---- fonts --------------------------------------------------------------------------------------
// Creates a font of size pixels (1..1000; -1 = the default 16) and type (FONT_TYPE_ bits; -1 = not
// edged). The name is not used: every font uses the pinned font file. The handle, or -1 (logged).
int CreateFontToHandle(const char *name, int size, int thick, int fontType);
// Deletes a font / every font. 0 / -1.
int DeleteFontToHandle(int font);
int RemoveAllFonts(void);
// The record of a live font, or null.
FontRecord *LookUpFontRecord(int font);
// Default font type (bit 0 edged) / size in pixels; a change drops the default font, which is made
// again at its next use. 0, -1 for a size outside 1..1000.
int ChangeDefaultFontType(int fontType);
int ChangeDefaultFontSize(int size);
// The default font's handle (made when missing), or -1.
int GetDefaultFontHandle(void);
// Drops every glyph cache (the screen mode changes and graphs go); made again at the next draw. 0.
int DropAllFontCaches(void);
// Makes the font's lost cache image again and empties its glyph cache: a texture graph filled white
// with alpha 0 for a font of the texture kind, else a graph in system memory. 0, -1 for a bad handle
// or a failed creation.
int RestoreFontCacheImage(int font);
// The display is rebuilt: a glyph cache's texture comes back without its pixels (the device keeps
// them over its re-creation for other textures only), so every texture cache is made again (and
// every glyph rendered again) at its font's next draw. 0.
int MarkFontCachesLost(void);
// The graph lost its pixels: when it is a glyph cache, its font makes it again and renders every
// glyph again at its next draw. 0.
int MarkFontCacheGraphLost(int graph);

// ---- text ---------------------------------------------------------------------------------------
// Draws Shift-JIS text with the default font at (x, y) in colour (screen format); an edged font
// draws its edge in edgeColour first. 0 / -1.
int DrawTextDefaultFont(int x, int y, const char *text, uint32_t colour, uint32_t edgeColour);
// The same with a font; vertical 1 stacks the characters downward, each turned a quarter clockwise.
// A bad handle logs "フォントハンドル値が異常です" and gives -1; an empty text draws nothing. 0 / -1.
int DrawTextWithFont(int x, int y, const char *text, uint32_t colour, int font, uint32_t edgeColour,
                     int vertical);
// Formats into a 1024-byte buffer (truncated) and draws it with the default font. 0 / -1.
int DrawPrintfText(int x, int y, uint32_t colour, const char *format, ...) __attribute__((format(printf, 4, 5)));
// The string draw from the font's memory glyph cache (texture fonts go to the Direct3D renderer).
int RenderFontString2D(int x, int y, const char *text, uint32_t colour, int font, uint32_t edgeColour,
                       int vertical);

struct MEMIMG;
struct Rect;
// The text core. mode 1 draws, 0 only measures. scaleFlag 1 stretches each cell by xScale, yScale.
// dst null draws on the draw target; clip (null = none) narrows the draw region meanwhile. length
// is in bytes (-1: up to the NUL). extent (may be null) receives the drawn width and height. Missing
// glyphs are rendered into the cache; a cache that cannot be made is fatal. 0 / -1.
int DrawTextCore(int mode, int x, int y, int scaleFlag, double xScale, double yScale, const char *text,
                 uint32_t colour, MEMIMG *dst, const Rect *clip, int trans, int font, uint32_t edgeColour,
                 int length, int vertical, int extent[2]);
// Inspection: entries in use and capacity of a font's glyph cache. 0 / -1.
int GetFontCacheUsage(int font, int *used, int *capacity);
