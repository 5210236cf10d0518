// Graphs: pictures the library draws, as records in handle tables. A graph is a list of pieces
// (Surface2DRecord, or texture pieces of the Direct3D renderer) on pixel stores (SurfaceDataRecord:
// a memory image in software rendering). Derived graphs (frames of a divided sheet, glyph cells)
// share their source's pixel store at an offset.
#pragma once
#include <cstdint>

#include "lib/core/handle.h"
#include "lib/graphics/memimg.h"

// Named maxima of the three tables (a full graph table is a fatal error).
#ifndef GRAPH_TABLE_SIZE
#define GRAPH_TABLE_SIZE 32768
#endif
#define SURFACE2D_TABLE_SIZE GRAPH_TABLE_SIZE
#define SURFACE_DATA_TABLE_SIZE GRAPH_TABLE_SIZE
#define GRAPH_MAX_PIECES 64
#define GRAPH_FILE_NAME_SIZE 260

// How a pixel store is made.
struct SurfaceFormat {
    uint8_t textureFlag;      // 1: a texture of the Direct3D renderer (its graph draws go there)
    uint8_t alphaChFlag;      // 1: pixels carry alpha
    uint8_t drawValid;        // 1: may be a render target
    uint8_t systemMemFlag;    // 1: system memory
    uint8_t alphaTestFlag;    // 1: alpha test instead of blending
    uint8_t colorBitDepth;    // 16 or 32
};

// A pixel store: written by the graph module; the Direct3D renderer reads it by handle.
struct SurfaceDataRecord {
    HandleRecordHead head;    // check
    int refCount;             // pieces using it; removed at 0
    SurfaceFormat format;
    int textureFormatSlot;    // 0..8, textures only
    void *ddSurface;          // hardware surface, null in software rendering
    MEMIMG image;             // the whole store in software rendering
    void *zSurface;           // null: no Z surface
    uint32_t transColor;      // user word: transparent colour 0xRRGGBB at creation
    uint16_t width;           // pixels of the store
    uint16_t height;
    int lockCount;
    uint8_t *lockedPixels;
    int lockedPitch;
    int lost;                 // 1 once the store was lost (hardware only)
    int lockedForWrite;       // 1 when a write-only lock is among the open ones
    Rect unlocked;            // the rectangles the open locks' unlocks named, joined (empty: none yet)
    void *keptSurface;        // a texture's display surface kept with its pixels while the device is made again
};

// One piece of a non-texture graph: a rectangle of a pixel store.
struct Surface2DRecord {
    HandleRecordHead head;    // check
    int surfaceData;          // SurfaceDataRecord handle
    int x, y;                 // position on the store
    int width, height;
    MEMIMG view;              // memory-image view of the rectangle (software rendering)
};

// Piece handles of a graph: Surface3DData handles for a texture graph, Surface2DRecord otherwise.
struct GraphTexturePieces {
    int handles[GRAPH_MAX_PIECES];
    int count;
};

// Creation flags of a graph (GraphRecord.flags, copied by DeriveGraph).
#define GRAPH_FLAG_OWNER_REMAKES 0x1  // its owner makes its pixels again after a loss (glyph caches)

// A copy of the picture a graph was made from in memory, shared with the graphs derived from it:
// what the restore reloads when the graph has no file to come from.
struct KeptPicture {
    int refCount;             // graphs holding it; freed at 0
    GraphImage base;
    GraphImage alpha;         // pixels null: none
};

// A graph: written by the graph module; the Direct3D and movie modules read it.
struct GraphRecord {
    HandleRecordHead head;    // check
    int handle;               // own handle (GetGraphRecordHandle)
    SurfaceFormat format;
    int width;                // pixels
    int height;
    GraphTexturePieces pieces;
    int movie;                // movie handle shown in this graph, -1 none
    int srcX, srcY;           // position in its source picture (restore reloads from there)
    char fileName[GRAPH_FILE_NAME_SIZE]; // picture file it came from ("" none)
    int flags;                // creation flags, copied by DeriveGraph
    int lost;                 // 1: pixels lost, the restore callback reloads them
    KeptPicture *kept;        // picture made from memory (null: none, or it has its file)
};

// ---- records ------------------------------------------------------------------------------------
// Sets up / frees the three tables (graphics start and end). 0 / -1.
int InitGraphTables(void);
int TermGraphTables(void);
// 1 between InitGraphTables and TermGraphTables.
int AreGraphTablesReady(void);
// The record of a live graph, or null.
GraphRecord *LookupGraph(int graph);
// The graph's own handle.
int GetGraphRecordHandle(const GraphRecord *graph);
// The record of a live 2D surface / surface data, or null.
Surface2DRecord *LookupSurface2D(int handle);
SurfaceDataRecord *LookupSurfaceData(int handle);
// Adds a pixel store of width x height built from format (a memory image of the screen's colour
// type); transColor (0xRRGGBB) becomes its colour key. The handle or -1 (logged).
int AddSurfaceData(int refCount, int width, int height, uint32_t transColor, const SurfaceFormat *format);
// New reference count, or -1 for a bad handle. At 0 the store is removed.
int IncrementSurfaceDataRef(int handle);
int DecrementSurfaceDataRef(int handle);
// Deletes the store with its objects. 0 / -1.
int RemoveSurfaceData(int handle);
// The memory-image view of a graph's first piece (the graph's pixels in software rendering), or
// null for a bad handle or a texture graph.
MEMIMG *GetGraphMemImg(const GraphRecord *graph);

// The display surface of a graph's first piece and the piece's place on it (either may be null),
// or null for a graph kept in memory.
struct DdSurface;
DdSurface *GetGraphDisplaySurface(const GraphRecord *graph, int *x, int *y);
// Locks / unlocks the store of a graph's first piece for the software drawers. 0 / -1.
int LockGraphPixels(const GraphRecord *graph);
void UnlockGraphPixels(const GraphRecord *graph);

// ---- creation -----------------------------------------------------------------------------------
// A graph from a picture (and an optional alpha picture of the same size whose blue channel is the
// alpha): keyed by the draw settings' transparent colour, or an alpha image when there is alpha. The
// handle, or -1 (logged) for a bad picture. A full graph table is fatal.
int MakeGraphFromImages(const GraphImage *base, const GraphImage *alpha);
// A blank graph of width x height (pixels 0) keyed by keyRgb (0xRRGGBB). The handle or -1.
int MakeBlankGraph(int width, int height, uint32_t keyRgb);
// The same in system memory (never a display surface, never lost): the glyph caches.
int MakeSystemMemoryGraph(int width, int height, uint32_t keyRgb);
// A blank texture graph with an alpha channel (alphaTest 1: with the alpha test instead) of 16 or
// 32 bits: the glyph caches on the Direct3D route. The handle, or -1 without Direct3D drawing.
int MakeBlankTextureGraph(int width, int height, int alphaTest, int colorBitDepth);
// A graph showing the rectangle (x, y, width, height) of src, clipped to it, sharing its pixels.
// The handle, or -1 for a bad source or an empty rectangle.
int DeriveGraph(int x, int y, int width, int height, int src);
// Loads a picture file and cuts it into frames of width x height, stored in handles row by row
// (frame k = cell (k mod across, k div across)). The picture must cover across x width by
// down x height, and all <= across x down. flag is not used. 0, or -1 (logged; no frame made).
int LoadDividedGraphs(const char *fileName, int all, int across, int down, int width, int height,
                      int *handles, int flag);
// Writes the picture's rectangle at (srcX, srcY) of the graph's size into the graph (and its alpha
// picture when given); the position is kept for the restore. 0 / -1.
int SetGraphImage(int graph, int srcX, int srcY, const GraphImage *base, const GraphImage *alpha);
// Writes the rectangle srcRect of base into the graph at (x, y) (clipped to the graph). 0 / -1.
int UpdateGraphImageRect(int graph, int x, int y, const GraphImage *base, const Rect *srcRect);
// Deletes a graph (its pixel store goes with its last user). logFlag 1 writes a log line. 0 / -1.
int RemoveGraph(int graph, int logFlag);
// Deletes every graph. 0.
int RemoveAllGraphs(int logFlag);
// Restores a graph's lost pixels: a lost store is restored and the graph's picture reloaded from its
// file or its kept picture (a graph with neither keeps undefined pixels, logged). Texture graphs wait
// for the device: while Direct3D cannot draw they stay lost. Memory images are never lost. 0, -1 for
// a bad handle.
int RestoreGraphSurfaces(int graph);
int RestoreAllGraphSurfaces(void);
// Fills the graph's rectangle with a colour (0..255 each; alpha for alpha images). 0 / -1.
int FillGraphSurfaces(int graph, int r, int g, int b, int a);
// Frame update / overlay placement of a graph that shows a movie. -1 bad handle; 0 without movie.
int UpdateGraphMovieFrame(int graph, int force);
int PlaceGraphMovieOverlay(int graph, int x, int y, int magnification, int show);
// Number of live graphs.
int GetGraphCount(void);
