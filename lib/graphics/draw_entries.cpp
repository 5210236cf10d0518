// The public draw entries: guard, readiness, handle check and the wait while inactive, the movie
// steps, then the Direct3D renderer for texture graphs (and boxes and circles while it is in use) or
// the software route.
#include <climits>
#include <cmath>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/screen.h"
#include "lib/movie/movie_graph_hooks.h"

#define QUAD_COORD_MIN (-8192.5f)   // corners round into -8192..8191
#define QUAD_COORD_MAX 8191.5f

int BeginDrawEntry(int *result)
{
    if (GDrawSettings.noDrawGuard) return *result = 0, 0;
    if (!IsScreenReady()) return *result = -1, 0;
    if (!GetActiveFlag() && GetLibraryState() == LIBRARY_RUNNING) PumpMessages();
    return 1;
}

// The movie steps of a graph draw: 1 when the graph showed its movie as an overlay instead.
static int StepGraphMovie(GraphRecord *graph, int x, int y, int magnification)
{
    if (graph->movie == -1 || !LookupMovieRecord(graph->movie)) return 0;
    int handle = graph->handle;
    UpdateGraphMovieFrame(handle, 0);
    if (!IsMovieOverlayMode(graph->movie)) return 0;
    PlaceGraphMovieOverlay(handle, x, y, magnification, 1);
    return 1;
}

int PutGraph(int x, int y, int graph, int trans)
{
    int result;
    if (!BeginDrawEntry(&result)) return result;
    GraphRecord *record = LookupGraph(graph);
    if (!record) return -1;
    if (StepGraphMovie(record, x, y, 1)) return -1;
    if (record->format.textureFlag) return G_D3D_RenderGraphAt(x, y, (float)x, (float)y, record, trans, 1);
    return DrawSurface2DAt(x, y, record, trans);
}

int PutGraphStretched(int x1, int y1, int x2, int y2, int graph, int trans)
{
    int result;
    if (!BeginDrawEntry(&result)) return result;
    GraphRecord *record = LookupGraph(graph);
    if (!record) return -1;
    int magnification = record->width > 0 ? (int)(((long long)x2 - x1) / record->width) : 1;
    if (StepGraphMovie(record, x1, y1, magnification)) return -1;
    if (record->format.textureFlag)
        return G_D3D_RenderGraphStretched(x1, y1, x2, y2, (float)x1, (float)y1, (float)x2, (float)y2, record, trans,
                                          1);
    return DrawSurface2DStretched(x1, y1, x2, y2, record, trans, -1);
}

// Rounds a corner coordinate to a pixel; 0 when it is outside the triangle drawer's range (or NaN).
static int RoundQuadCoord(float value, int *out)
{
    if (!(value >= QUAD_COORD_MIN && value < QUAD_COORD_MAX)) return 0;
    *out = (int)std::floor(value + 0.5f);
    return 1;
}

int PutGraphFreeQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                     int trans)
{
    int result;
    if (!BeginDrawEntry(&result)) return result;
    GraphRecord *record = LookupGraph(graph);
    if (!record) return -1;
    if (record->format.textureFlag) {
        const float corners[8] = {x1, y1, x2, y2, x4, y4, x3, y3};  // TL, TR, BL, BR
        return G_D3D_RenderGraphFreeQuad(corners, record, trans);
    }
    const float in[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    int p[8];
    for (int i = 0; i < 8; i++)
        if (!RoundQuadCoord(in[i], &p[i])) return 0;
    int w = record->width, h = record->height;
    const TriangleVertex upper[3] = {{p[0], p[1], 0, 0}, {p[2], p[3], w, 0}, {p[4], p[5], w, h}};
    const TriangleVertex lower[3] = {{p[0], p[1], 0, 0}, {p[4], p[5], w, h}, {p[6], p[7], 0, h}};
    if (RenderTriangle2D(upper, record, trans, 0) != 0) return -1;
    return RenderTriangle2D(lower, record, trans, 0);
}

int PaintRectangle(int x1, int y1, int x2, int y2, uint32_t colour, int fill)
{
    return fill ? PaintFilledBox(x1, y1, x2, y2, colour) : PaintBoxOutline(x1, y1, x2, y2, colour);
}

// Bounding rectangle of a box's corners, ordered.
static Rect OrderedRect(int x1, int y1, int x2, int y2)
{
    return Rect{x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
}

typedef int (*BoxDrawer)(int x1, int y1, int x2, int y2, uint32_t colour);

// A box through the device (blend mode 3 in two passes) while Direct3D draws, else in software.
static int PaintBox(int x1, int y1, int x2, int y2, uint32_t colour, BoxDrawer software, BoxDrawer device)
{
    int result;
    if (!BeginDrawEntry(&result)) return result;
    if (!IsDirect3DDrawUsable()) return software(x1, y1, x2, y2, colour);
    Rect box = OrderedRect(x1, y1, x2, y2);
    int subtract = GDrawSettings.blendMode == MEMIMG_BLEND_SUBTRACT;
    if (subtract) BeginSubtractiveBlend(&box);
    result = device(x1, y1, x2, y2, colour);
    if (subtract) EndSubtractiveBlend(&box);
    return result;
}

int PaintFilledBox(int x1, int y1, int x2, int y2, uint32_t colour)
{
    return PaintBox(x1, y1, x2, y2, colour, RenderFilledBox2D, G_D3D_DrawSolidRectangle);
}

int PaintBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour)
{
    return PaintBox(x1, y1, x2, y2, colour, RenderBoxOutline2D, G_D3D_DrawRectangleOutline);
}

// v held in the int range: the square round a huge circle must not overflow.
static int ClampToInt(long long v)
{
    return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : (int)v;
}

int PaintCircle(int x, int y, int r, uint32_t colour, int fill)
{
    if (r < 0) return 0;
    int result;
    if (!BeginDrawEntry(&result)) return result;
    if (!IsDirect3DDrawUsable()) return RenderCircle2D(x, y, r, colour, fill);
    Rect square = {ClampToInt((long long)x - r - 1), ClampToInt((long long)y - r - 1),
                   ClampToInt((long long)x + r + 1), ClampToInt((long long)y + r + 1)};
    int subtract = GDrawSettings.blendMode == MEMIMG_BLEND_SUBTRACT;
    if (subtract) BeginSubtractiveBlend(&square);
    result = G_D3D_DrawCircle(x, y, r, colour, fill);
    if (subtract) EndSubtractiveBlend(&square);
    return result;
}

int SelectBlendGraph(int graph, int borderParam, int borderRange)
{
    GraphRecord *record = graph == -1 ? nullptr : LookupGraph(graph);
    if (graph != -1 && !record) return -1;
    if (IsDirect3DDrawUsable())
        G_D3D_BindBlendTexture(record, ClampColorChannel(borderParam), ClampColorChannel(borderRange));
    return StoreBlendGraph(graph, borderParam, borderRange);
}

// ================================================================================================
// subtractive boxes on the device
// ================================================================================================

// An inverting white box over rect in blend mode 3 at full parameter, the bright white meanwhile.
static void DrawInvertingBox(const Rect *rect, uint32_t savedBright)
{
    SetDrawBright(255, 255, 255);
    G_D3D_UpdateDiffuseColor();
    SelectBlendMode(MEMIMG_BLEND_SUBTRACT, 255);
    G_D3D_UpdateDiffuseColor();
    G_D3D_DrawSolidRectangle(rect->left, rect->top, rect->right, rect->bottom, PackScreenColor(255, 255, 255));
    SetDrawBrightColor(savedBright);
    G_D3D_UpdateDiffuseColor();
}

int BeginSubtractiveBlend(const Rect *rect)
{
    uint32_t bright = GDrawSettings.bright;
    int param = GDrawSettings.blendParam;
    DrawInvertingBox(rect, bright);
    SelectBlendMode(5, param);
    G_D3D_UpdateDiffuseColor();
    return 0;
}

int EndSubtractiveBlend(const Rect *rect)
{
    uint32_t bright = GDrawSettings.bright;
    int param = GDrawSettings.blendParam;
    DrawInvertingBox(rect, bright);
    SelectBlendMode(MEMIMG_BLEND_SUBTRACT, param);
    G_D3D_UpdateDiffuseColor();
    return 0;
}
