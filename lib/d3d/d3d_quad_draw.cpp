// Four-corner draws of a texture graph: each piece is placed inside the destination quadrilateral
// and drawn as a batched quad while it stays a parallelogram, as a vertex grid when it does not, or,
// with a blend graph, as a piecewise-affine strip drawn at once. The viewport clips.
#include <cmath>

#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"

#define MESH_GRID_SIZE 8
// Truncated corners stay this far inside int so that the placement's differences cannot overflow.
#define QUAD_INT_LIMIT 536870912.0f

// Scratch grid of every mesh draw, refilled and drawn at once.
static TexturedVertex sMeshGrid[MESH_GRID_SIZE * MESH_GRID_SIZE];

// Corners top-left, top-right, bottom-left, bottom-right in their own order and with the top-right
// and bottom-left swapped (the other winding of the same two triangles).
static const uint8_t kStripOrder[2][4] = {{0, 1, 2, 3}, {0, 2, 1, 3}};

// Windings of corners q (x, y pairs): c1 of the top-left triangle, c2 of the bottom-right one.
static void GetWindings(const float q[8], float *c1, float *c2)
{
    *c1 = (q[2] - q[0]) * (q[5] - q[1]) - (q[3] - q[1]) * (q[4] - q[0]);
    *c2 = (q[4] - q[6]) * (q[3] - q[7]) - (q[5] - q[7]) * (q[2] - q[6]);
}

// ---- blend path ---------------------------------------------------------------------------------

// Where a piece corner lands: the graph's upper-left half follows the frame of the top-left corner,
// the lower-right half that of the bottom-right one; the two agree on the diagonal between them.
static void MapHalfCorner(const long long q[8], float w, float h, const TexturedVertex &c, int upper, float out[2])
{
    for (int a = 0; a < 2; a++) {
        if (upper)
            out[a] = ((float)q[a] - 0.5f) + (float)(q[2 + a] - q[a]) * c.x / w + (float)(q[4 + a] - q[a]) * c.y / h;
        else
            out[a] = ((float)q[6 + a] - 0.5f) + (float)(q[6 + a] - q[4 + a]) * (c.x - w) / w +
                     (float)(q[6 + a] - q[2 + a]) * (c.y - h) / h;
    }
}

// Draws every piece at once as a four-vertex strip on the integer corners c.
static int DrawBlendStrips(const int c[8], const DrawPieces *pieces, int trans)
{
    int result;
    Device3DRecord *record = LookupGraphDrawDevice(&result);
    if (!record) return result;
    uint32_t slot = GDirect3D.currentSlot;
    // The strips go straight to the device: what is queued comes first.
    G_D3D_FlushDeviceBatch(slot);
    long long q[8];
    for (int i = 0; i < 8; i++)
        q[i] = (long long)c[i] + (i & 1 ? GDrawSettings.clientArea.top : GDrawSettings.clientArea.left);
    if (BeginGraphDraw(slot, pieces, trans, PREPARE_KEEP_ALPHA_TEST) != 0) return -1;
    float w = (float)pieces->width, h = (float)pieces->height;
    for (int i = 0; i < pieces->count; i++) {
        const Surface3DData *piece = pieces->list[i];
        uint32_t type = BindPieceTexture(slot, piece);
        PlacedCorner corners[4];
        float placed[8];
        for (int k = 0; k < 4; k++) {
            const TexturedVertex &v = piece->corners[k];
            MapHalfCorner(q, w, h, v, piece->cornerFlags[k], &placed[2 * k]);
            corners[k] = PlacedCorner{placed[2 * k], placed[2 * k + 1], v.u, v.v, v.x * GDirect3D.blendInvWidth,
                                      v.y * GDirect3D.blendInvHeight};
        }
        float c1, c2;
        GetWindings(placed, &c1, &c2);
        int swap = c1 < 0 || (c1 == 0 && c2 <= 0);
        union {
            TexturedVertex textured[4];
            BlendTexturedVertex blend[4];
        } strip;
        if (WriteCornerVertices(type, &strip, corners, kStripOrder[swap], 4, 0xF) == 0)
            DrawVerticesAtOnce(record, D3D_PT_TRIANGLESTRIP, &strip, 4);
    }
    if (pieces->stale) return -1;
    if (GDirect3D.frontTarget) G_D3D_EndDeviceScene(slot);
    return 0;
}

static int DrawPiecesQuad(const int c[8], const DrawPieces *pieces, int trans)
{
    if (c[0] == c[4] && c[2] == c[6] && c[1] == c[3] && c[5] == c[7])
        return DrawPiecesStretched(c[0], c[1], c[6], c[7], (float)c[0], (float)c[1], (float)c[6], (float)c[7], pieces,
                                   trans, 1);
    if (GDrawSettings.blendGraph == -1) {
        float corners[8];
        for (int i = 0; i < 8; i++) corners[i] = (float)c[i];
        return DrawPiecesFreeQuad(corners, pieces, trans);
    }
    return DrawBlendStrips(c, pieces, trans);
}

int G_D3D_RenderGraphQuad(const int c[8], GraphRecord *graph, int trans)
{
    DrawPieces pieces;
    ListGraphPieces(graph, &pieces);
    return DrawPiecesQuad(c, &pieces, trans);
}

// ---- float draw and piece meshes -------------------------------------------------------------------

// The point at (s, t) of the quadrilateral q, interpolated bilinearly in double precision.
static void PlaceBilinear(const float q[8], double s, double t, float out[2])
{
    for (int a = 0; a < 2; a++) {
        double left = q[a] + t * ((double)q[4 + a] - q[a]);
        double right = q[2 + a] + t * ((double)q[6 + a] - q[2 + a]);
        out[a] = (float)(left + s * (right - left));
    }
}

int DrawPiecesFreeQuad(const float corners[8], const DrawPieces *pieces, int trans)
{
    int result;
    if (!LookupGraphDrawDevice(&result)) return result;
    if (GDrawSettings.blendGraph != -1) {
        int c[8];
        for (int i = 0; i < 8; i++) {
            // Corners beyond any target (or not a number) draw nothing.
            if (!(std::fabs(corners[i]) < QUAD_INT_LIMIT)) return 0;
            c[i] = (int)corners[i];
        }
        return DrawPiecesQuad(c, pieces, trans);
    }
    uint32_t slot = GDirect3D.currentSlot;
    if (BeginGraphDraw(slot, pieces, trans, 0) != 0) return -1;
    float q[8];
    for (int i = 0; i < 8; i++) q[i] = corners[i] + (float)(i & 1 ? GDrawSettings.clientArea.top : GDrawSettings.clientArea.left);
    if (pieces->count == 1 && !pieces->stale) {
        G_D3D_RenderPieceMesh(pieces->list[0], q);
    } else {
        double w = pieces->width, h = pieces->height;
        for (int i = 0; i < pieces->count; i++) {
            const Surface3DData *piece = pieces->list[i];
            float placed[8];
            for (int k = 0; k < 4; k++) PlaceBilinear(q, piece->corners[k].x / w, piece->corners[k].y / h, &placed[2 * k]);
            G_D3D_RenderPieceMesh(piece, placed);
        }
        if (pieces->stale) return -1;
    }
    if (GDirect3D.frontTarget) G_D3D_EndDeviceScene(slot);
    return 0;
}

int G_D3D_RenderGraphFreeQuad(const float corners[8], GraphRecord *graph, int trans)
{
    DrawPieces pieces;
    ListGraphPieces(graph, &pieces);
    return DrawPiecesFreeQuad(corners, &pieces, trans);
}

int G_D3D_RenderGraphPartFreeQuad(const float corners[8], GraphRecord *graph, const Rect *part, int trans)
{
    Surface3DData placed[GRAPH_MAX_PIECES];
    DrawPieces pieces;
    PlaceGraphPartPieces(graph, part, placed, &pieces);
    return DrawPiecesFreeQuad(corners, &pieces, trans);
}

// 1 when each edge of q is within a pixel of its opposite edge in both components.
static int IsParallelogram(const float q[8])
{
    for (int a = 0; a < 2; a++) {
        float top = q[2 + a] - q[a], bottom = q[6 + a] - q[4 + a];
        float left = q[4 + a] - q[a], right = q[6 + a] - q[2 + a];
        if (!(std::fabs(top - bottom) < 1.0f) || !(std::fabs(left - right) < 1.0f)) return 0;
    }
    return 1;
}

// Queues the piece as one quad at corners q: u from its top-left and top-right corners, v from its
// top-left and bottom-left ones.
static void QueueParallelogram(uint32_t slot, const Surface3DData *piece, const float q[8])
{
    const TexturedVertex *c = piece->corners;
    const float us[2] = {c[0].u, c[1].u}, vs[2] = {c[0].v, c[2].v};
    PlacedCorner corners[4];
    for (int k = 0; k < 4; k++) corners[k] = PlacedCorner{q[2 * k], q[2 * k + 1], us[k & 1], vs[k >> 1], 0.0f, 0.0f};
    float c1, c2;
    GetWindings(q, &c1, &c2);
    QueuePieceQuad(slot, corners, c1 <= 0 && c2 <= 0);
}

// Fills the scratch grid with the piece spread over q in sevenths, stepped in single precision, and
// draws it at once.
static void DrawPieceGrid(uint32_t slot, const Surface3DData *piece, const float q[8])
{
    const float seventh = 1.0f / 7.0f;
    const TexturedVertex &tl = piece->corners[0], &br = piece->corners[3];
    float du = (br.u - tl.u) * seventh, dv = (br.v - tl.v) * seventh;
    float left[2] = {q[0], q[1]}, right[2] = {q[2], q[3]}, v = tl.v;
    const float leftStep[2] = {(q[4] - q[0]) * seventh, (q[5] - q[1]) * seventh};
    const float rightStep[2] = {(q[6] - q[2]) * seventh, (q[7] - q[3]) * seventh};
    for (int i = 0; i < MESH_GRID_SIZE; i++) {
        float x = left[0], y = left[1], u = tl.u;
        float dx = (right[0] - left[0]) * seventh, dy = (right[1] - left[1]) * seventh;
        for (int j = 0; j < MESH_GRID_SIZE; j++) {
            sMeshGrid[MESH_GRID_SIZE * i + j] = TexturedVertex{x, y, GDrawSettings.drawZ, 1.0f, GDirect3D.diffuseColor, u, v};
            x += dx, y += dy, u += du;
        }
        for (int a = 0; a < 2; a++) left[a] += leftStep[a], right[a] += rightStep[a];
        v += dv;
    }
    G_D3D_DrawVertexGrid(slot, MESH_GRID_SIZE, sMeshGrid, MESH_GRID_SIZE);
}

void G_D3D_RenderPieceMesh(const Surface3DData *piece, const float q[8])
{
    uint32_t slot = GDirect3D.currentSlot;
    // Both forms write textured vertices: under a blend or untextured state the piece is left out.
    if (BindPieceTexture(slot, piece) != VERTEX_TYPE_TEXTURED) return;
    if (IsParallelogram(q)) QueueParallelogram(slot, piece, q);
    else DrawPieceGrid(slot, piece, q);
}
