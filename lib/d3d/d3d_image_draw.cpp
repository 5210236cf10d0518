// Image draws of a texture graph: every piece becomes one quad of six vertices on the device's
// batch, unscaled or stretched (a negative extent mirrors), clipped on the CPU only when the image
// is not wholly inside the draw region.
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"

// Batch order of a piece's corners: the triangles (top-left, top-right, bottom-left) and
// (bottom-right, bottom-left, top-right), or the same two with the top-right and bottom-left swapped
// (the other winding).
static const uint8_t kQuadOrder[2][6] = {{0, 1, 2, 3, 2, 1}, {0, 2, 1, 3, 1, 2}};

// ---- shared by the image and four-corner draws ------------------------------------------------------

Device3DRecord *LookupGraphDrawDevice(int *result)
{
    Device3DRecord *record = LookupDevice3D(GDirect3D.currentSlot);
    *result = record ? 0 : -1;
    // A slot whose device could not be made again draws nothing until it is.
    if (record && !GDirect3D.suspended && !record->device) G_D3D_NoteMissingDevice();
    if (!record || GDirect3D.suspended || !record->device) return nullptr;
    return record;
}

int BeginGraphDraw(uint32_t slot, const DrawPieces *pieces, int trans, uint32_t extra)
{
    G_D3D_BeginScene(slot);
    const Surface3DData *first = pieces->count > 0 ? pieces->list[0] : nullptr;
    if (!first) return -1;
    uint32_t flags = (trans != 0 ? PREPARE_PIECE_ALPHA : 0) | extra | (GDrawSettings.zBufferUse ? PREPARE_Z : 0);
    G_D3D_PrepareDrawState(first, flags);
    return 0;
}

uint32_t BindPieceTexture(uint32_t slot, const Surface3DData *piece)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return (uint32_t)-1;
    const SurfaceDataRecord *data = LookupSurfaceData(piece->surfaceData);
    DdSurface *texture = data ? (DdSurface *)data->ddSurface : nullptr;
    if (record->currentTexture != texture) G_D3D_SetCurrentTexture(slot, texture);
    if (record->blendDirty || record->textureDirty) G_D3D_ApplyBlendState(slot);
    return record->vertexType;
}

static void SetCornerVertex(TexturedVertex &v, const PlacedCorner &c)
{
    v.x = c.x, v.y = c.y, v.rhw = 1.0f, v.u = c.u, v.v = c.v;
}
static void SetCornerVertex(BlendTexturedVertex &v, const PlacedCorner &c)
{
    v.x = c.x, v.y = c.y, v.rhw = 1.0f, v.specular = 0xFFFFFFFF;
    v.u = c.bu, v.v = c.bv, v.u2 = c.u, v.v2 = c.v;
}

template <class Vertex>
static void WriteVertices(Vertex *v, const PlacedCorner *corners, const uint8_t *order, int n, uint32_t diffuseMask)
{
    for (int i = 0; i < n; i++) {
        SetCornerVertex(v[i], corners[order[i]]);
        v[i].z = GDrawSettings.drawZ;
        if (diffuseMask >> i & 1) v[i].diffuse = GDirect3D.diffuseColor;
    }
}

int WriteCornerVertices(uint32_t type, void *out, const PlacedCorner *corners, const uint8_t *order, int n,
                        uint32_t diffuseMask)
{
    if (type == VERTEX_TYPE_TEXTURED) WriteVertices((TexturedVertex *)out, corners, order, n, diffuseMask);
    else if (type == VERTEX_TYPE_BLEND) WriteVertices((BlendTexturedVertex *)out, corners, order, n, diffuseMask);
    else return -1;
    return 0;
}

void QueuePieceQuad(uint32_t slot, const PlacedCorner corners[4], int otherWinding)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    // A piece of another vertex type would be written in the wrong layout: it is left out.
    if (!record || (record->vertexType != VERTEX_TYPE_TEXTURED && record->vertexType != VERTEX_TYPE_BLEND)) return;
    uint8_t *at = G_D3D_ReserveVertices(slot, D3D_PT_TRIANGLELIST, 6);
    if (at) WriteCornerVertices(record->vertexType, at, corners, kQuadOrder[otherWinding != 0], 6, 0x9);
}

// ---- upright draws ----------------------------------------------------------------------------------

// Where an upright draw puts the graph: its top-left corner on the target (shifted by -0.5), its
// scale, and the clip edges when it is not wholly inside the draw region.
struct UprightPlacement {
    float x, y, scaleX, scaleY;
    int clip;
    float left, top, right, bottom;
};

// The piece's corners placed: x and u from the top-left and top-right corners, y and v from the
// top-left and bottom-left ones; the blend graph lies over the graph pixel for pixel.
static void PlaceUprightCorners(const UprightPlacement &p, const Surface3DData *piece, PlacedCorner out[4])
{
    const TexturedVertex *c = piece->corners;
    const float xs[2] = {p.x + c[0].x * p.scaleX, p.x + c[1].x * p.scaleX};
    const float ys[2] = {p.y + c[0].y * p.scaleY, p.y + c[2].y * p.scaleY};
    const float us[2] = {c[0].u, c[1].u}, vs[2] = {c[0].v, c[2].v};
    const float bus[2] = {c[0].x * GDirect3D.blendInvWidth, c[1].x * GDirect3D.blendInvWidth};
    const float bvs[2] = {c[0].y * GDirect3D.blendInvHeight, c[2].y * GDirect3D.blendInvHeight};
    for (int k = 0; k < 4; k++) out[k] = PlacedCorner{xs[k & 1], ys[k >> 1], us[k & 1], vs[k >> 1], bus[k & 1], bvs[k >> 1]};
}

// Moves one coordinate of a corner onto the clip edges lo..hi, its texel and blend coordinates with
// it. The quads are axis-aligned, so the corner stays on the quad's edge and the move is exact.
static void ClipCornerAxis(float *pos, float *texel, float *blend, float lo, float hi, float texSize, float scale,
                           float blendScale)
{
    if (*pos < lo) {
        float d = lo - *pos;
        *texel += d / (texSize * scale);
        *blend += d / scale * blendScale;
        *pos = lo;
    } else if (*pos > hi) {
        float d = *pos - hi;
        *texel -= d / (texSize * scale);
        *blend -= d / scale * blendScale;
        *pos = hi;
    }
}

// Queues every piece as placed by p. -1 when the pieces end at a handle gone stale (the pieces before
// it stay queued).
static int QueueUprightPieces(uint32_t slot, const DrawPieces *pieces, const UprightPlacement &p)
{
    for (int i = 0; i < pieces->count; i++) {
        const Surface3DData *piece = pieces->list[i];
        BindPieceTexture(slot, piece);
        const SurfaceDataRecord *data = LookupSurfaceData(piece->surfaceData);
        if (!data) continue;
        PlacedCorner corners[4];
        PlaceUprightCorners(p, piece, corners);
        if (p.clip)
            for (PlacedCorner &c : corners) {
                ClipCornerAxis(&c.x, &c.u, &c.bu, p.left, p.right, (float)data->width, p.scaleX, GDirect3D.blendInvWidth);
                ClipCornerAxis(&c.y, &c.v, &c.bv, p.top, p.bottom, (float)data->height, p.scaleY,
                               GDirect3D.blendInvHeight);
            }
        QueuePieceQuad(slot, corners, 0);
    }
    return pieces->stale ? -1 : 0;
}

// Where the ordered rectangle lies: 1 wholly inside the draw region, -1 wholly outside, 0 across it.
static int LocateInDrawRegion(long long x1, long long y1, long long x2, long long y2)
{
    const Rect &r = GDrawSettings.drawRegion;
    if (x1 >= r.left && y1 >= r.top && x2 <= r.right && y2 <= r.bottom) return 1;
    if (x2 <= r.left || y2 <= r.top || y1 >= r.bottom || x1 >= r.right) return -1;
    return 0;
}

// Both upright draws after their own tests: scene, state from the first piece, region test, the
// pieces, and the end of the scene on the front buffer. (x1, y1)-(x2, y2) is the ordered integer
// destination.
static int DrawUpright(const DrawPieces *pieces, int trans, uint32_t keepAlphaTest, long long x1, long long y1,
                       long long x2, long long y2, UprightPlacement p)
{
    uint32_t slot = GDirect3D.currentSlot;
    if (BeginGraphDraw(slot, pieces, trans, keepAlphaTest) != 0) return -1;
    int where = LocateInDrawRegion(x1, y1, x2, y2);
    if (where < 0) return 0;
    p.clip = where == 0;
    if (p.clip) {
        // The edges are shifted like the positions, so a clipped vertex lands where a pixel starts.
        const float *region = GDrawSettings.drawRegionF;
        float offsetX = (float)GDrawSettings.clientArea.left, offsetY = (float)GDrawSettings.clientArea.top;
        p.left = (region[0] - 0.5f) + offsetX, p.top = (region[1] - 0.5f) + offsetY;
        p.right = (region[2] - 0.5f) + offsetX, p.bottom = (region[3] - 0.5f) + offsetY;
    }
    if (QueueUprightPieces(slot, pieces, p) != 0) return -1;
    if (GDirect3D.frontTarget) G_D3D_EndDeviceScene(slot);
    return 0;
}

// The graph's top-left corner at (x, y) of the target, shifted by -0.5 so that pixels meet texel
// centres.
static UprightPlacement PlaceUpright(float x, float y, float scaleX, float scaleY)
{
    UprightPlacement p = {};
    p.x = (x - 0.5f) + (float)GDrawSettings.clientArea.left;
    p.y = (y - 0.5f) + (float)GDrawSettings.clientArea.top;
    p.scaleX = scaleX, p.scaleY = scaleY;
    return p;
}

// The unscaled draw of the pieces at (x, y), as PutGraph passes it.
static int DrawPiecesAt(int x, int y, float fx, float fy, const DrawPieces *pieces, int trans, int flag)
{
    int result;
    if (!LookupGraphDrawDevice(&result)) return result;
    return DrawUpright(pieces, trans, flag != 0 ? PREPARE_KEEP_ALPHA_TEST : 0, x, y, (long long)x + pieces->width,
                       (long long)y + pieces->height, PlaceUpright(fx, fy, 1.0f, 1.0f));
}

int DrawPiecesStretched(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                        const DrawPieces *pieces, int trans, int flag)
{
    int result;
    if (!LookupGraphDrawDevice(&result)) return result;
    if (x1 == x2 || y1 == y2) return -1;
    uint32_t keepAlphaTest = flag != 0 && GDrawSettings.drawMode != 1 ? PREPARE_KEEP_ALPHA_TEST : 0;
    UprightPlacement p = PlaceUpright(fx1, fy1, (fx2 - fx1) / (float)pieces->width, (fy2 - fy1) / (float)pieces->height);
    // A mirrored draw is tested against the region as its ordered rectangle.
    return DrawUpright(pieces, trans, keepAlphaTest, x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1, p);
}

int G_D3D_RenderGraphAt(int x, int y, float fx, float fy, GraphRecord *graph, int trans, int flag)
{
    DrawPieces pieces;
    ListGraphPieces(graph, &pieces);
    return DrawPiecesAt(x, y, fx, fy, &pieces, trans, flag);
}

int G_D3D_RenderGraphStretched(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                               GraphRecord *graph, int trans, int flag)
{
    DrawPieces pieces;
    ListGraphPieces(graph, &pieces);
    return DrawPiecesStretched(x1, y1, x2, y2, fx1, fy1, fx2, fy2, &pieces, trans, flag);
}

// ---- a rectangle of a graph -------------------------------------------------------------------------

int G_D3D_RenderGraphPartAt(int x, int y, GraphRecord *graph, const Rect *part, int trans)
{
    Surface3DData placed[GRAPH_MAX_PIECES];
    DrawPieces pieces;
    PlaceGraphPartPieces(graph, part, placed, &pieces);
    return DrawPiecesAt(x, y, (float)x, (float)y, &pieces, trans, 1);
}

int G_D3D_RenderGraphPartStretched(int x1, int y1, int x2, int y2, GraphRecord *graph, const Rect *part, int trans)
{
    Surface3DData placed[GRAPH_MAX_PIECES];
    DrawPieces pieces;
    PlaceGraphPartPieces(graph, part, placed, &pieces);
    return DrawPiecesStretched(x1, y1, x2, y2, (float)x1, (float)y1, (float)x2, (float)y2, &pieces, trans, 1);
}
