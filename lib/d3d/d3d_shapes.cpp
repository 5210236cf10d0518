// Boxes and circles on the device: untextured colour vertices at whole pixels (no half-pixel shift)
// plus the draw target's offset. Boxes are queued in the vertex batch; the circle sends its line
// spans or points straight to the device. While Direct3D drawing is suspended the software
// renderer draws them instead.
#include "lib/core/helpers.h"
#include "lib/core/library.h"
#include "lib/core/memory.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/screen.h"
#include "lib/softrender/circle.h"

#define CIRCLE_RUN 40   // outline points per device call

// ================================================================================================
// shared steps
// ================================================================================================

// The vertex colour of a screen colour: each channel scaled by the diffuse colour's, its alpha kept.
static uint32_t ShapeVertexColor(uint32_t colour)
{
    int r = 0, g = 0, b = 0;
    UnpackScreenColor(colour, &r, &g, &b);
    uint32_t d = GDirect3D.diffuseColor;
    uint32_t red = ((d >> 16) & 0xFF) * (uint32_t)r / 255, green = ((d >> 8) & 0xFF) * (uint32_t)g / 255,
             blue = (d & 0xFF) * (uint32_t)b / 255;
    return (d & 0xFF000000u) | red << 16 | green << 8 | blue;
}

// Opens the scene, drops the image texture (the outline only when one is set) and readies the
// untextured state. The slot's record while it can take colour vertices, else null (nothing to draw).
static Device3DRecord *BeginShapeDraw(int alwaysUnbind)
{
    uint32_t slot = GDirect3D.currentSlot;
    G_D3D_BeginScene(slot);
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return nullptr;
    if (alwaysUnbind || record->currentTexture) G_D3D_SetCurrentTexture(slot, nullptr);
    G_D3D_PrepareDrawState(nullptr, PREPARE_DIFFUSE_COLOR | (GDrawSettings.zBufferUse ? PREPARE_Z : 0));
    // A state that could not settle on colour vertices leaves the batch in another layout.
    return record->vertexType == VERTEX_TYPE_COLOR ? record : nullptr;
}

// On the front buffer every draw shows at once.
static int EndShapeDraw(void)
{
    if (GDirect3D.frontTarget) G_D3D_EndDeviceScene(GDirect3D.currentSlot);
    return 0;
}

static void OrderPair(int *a, int *b)
{
    if (*a > *b) {
        int t = *a;
        *a = *b, *b = t;
    }
}

static void SetColorVertex(ColorVertex *v, float x, float y)
{
    v->x = x, v->y = y, v->z = GDrawSettings.drawZ;
}

// ================================================================================================
// boxes
// ================================================================================================

int G_D3D_DrawSolidRectangle(int x1, int y1, int x2, int y2, uint32_t colour)
{
    if (!GDirect3D.direct3D) return -1;
    if (GDirect3D.suspended) return RenderFilledBox2D(x1, y1, x2, y2, colour);
    uint32_t slot = GDirect3D.currentSlot;
    if (G_D3D_FlushDeviceBatch(slot) != 0) return -1;
    OrderPair(&x1, &x2);
    OrderPair(&y1, &y2);
    Rect box = {x1, y1, x2, y2};
    ClipRectToArea(&box, &GDrawSettings.drawRegion);
    if (box.left == box.right || box.top == box.bottom) return 0;
    if (!BeginShapeDraw(1)) return EndShapeDraw();
    uint32_t diffuse = ShapeVertexColor(colour);
    float l = (float)((int64_t)box.left + GDrawSettings.clientArea.left);
    float r = (float)((int64_t)box.right + GDrawSettings.clientArea.left);
    float t = (float)((int64_t)box.top + GDrawSettings.clientArea.top);
    float b = (float)((int64_t)box.bottom + GDrawSettings.clientArea.top);
    auto *v = (ColorVertex *)G_D3D_ReserveVertices(slot, D3D_PT_TRIANGLELIST, 6);
    if (!v) return EndShapeDraw();
    // Flat shading reads the first vertex of each triangle: the others keep what their slot held.
    SetColorVertex(&v[0], l, t), SetColorVertex(&v[1], r, t), SetColorVertex(&v[2], l, b);
    SetColorVertex(&v[3], r, b), SetColorVertex(&v[4], l, b), SetColorVertex(&v[5], r, t);
    v[0].diffuse = v[3].diffuse = diffuse;
    return EndShapeDraw();
}

// One band of the outline: the quad from (xa, ya) to (xb, yb) as two triangles.
static ColorVertex *PutOutlineBand(ColorVertex *v, int64_t xa, int64_t ya, int64_t xb, int64_t yb, uint32_t diffuse)
{
    const int64_t corners[6][2] = {{xa, ya}, {xb, ya}, {xa, yb}, {xb, yb}, {xa, yb}, {xb, ya}};
    for (const auto &c : corners) {
        SetColorVertex(v, (float)c[0], (float)c[1]);
        (v++)->diffuse = diffuse;
    }
    return v;
}

int G_D3D_DrawRectangleOutline(int x1, int y1, int x2, int y2, uint32_t colour)
{
    if (!GDirect3D.direct3D) return -1;
    if (GDirect3D.suspended) return RenderBoxOutline2D(x1, y1, x2, y2, colour);
    if (!LookupLiveDevice3D(GDirect3D.currentSlot)) return -1;
    if (!BeginShapeDraw(0)) return EndShapeDraw();
    uint32_t diffuse = ShapeVertexColor(colour);
    OrderPair(&x1, &x2);
    OrderPair(&y1, &y2);
    // No clipping: the viewport does it.
    int64_t l = (int64_t)x1 + GDrawSettings.clientArea.left, r = (int64_t)x2 + GDrawSettings.clientArea.left;
    int64_t t = (int64_t)y1 + GDrawSettings.clientArea.top, b = (int64_t)y2 + GDrawSettings.clientArea.top;
    // Consecutive outlines share the batch, up to its last slot.
    auto *v = (ColorVertex *)G_D3D_ReserveVerticesToCapacity(GDirect3D.currentSlot, D3D_PT_TRIANGLELIST, 24);
    if (!v) return EndShapeDraw();
    v = PutOutlineBand(v, l, t, r, t + 1, diffuse);          // top
    v = PutOutlineBand(v, r - 1, t + 1, r, b, diffuse);      // right
    v = PutOutlineBand(v, l, t + 1, l + 1, b, diffuse);      // left
    PutOutlineBand(v, l + 1, b - 1, r - 1, b, diffuse);      // bottom
    return EndShapeDraw();
}

// ================================================================================================
// circle
// ================================================================================================

struct DeviceCircle {
    Device3DRecord *record;          // in the colour vertex type
    int64_t x, y;                    // centre on the target
    int64_t left, right, top, bottom; // the region on the target, all four inclusive
    uint8_t *rowDone;                // disc: one byte per region row, 1 once its span is drawn
    ColorVertex run[CIRCLE_RUN];
    int count;                       // outline points waiting in run
};

// One span of the disc on row y from xa to xb, once per row, clipped to the region's columns.
static void SendCircleSpan(DeviceCircle *c, int64_t y, int64_t xa, int64_t xb)
{
    if (xb < c->left || xa > c->right || y < c->top || y > c->bottom) return;
    if (c->rowDone[y - c->top]) return;
    c->rowDone[y - c->top] = 1;
    // The line leaves out its end point: one past the last column keeps that column in.
    int64_t start = xa > c->left ? xa : c->left, end = (xb < c->right ? xb : c->right) + 1;
    c->run[0].x = (float)start, c->run[0].y = (float)y;
    c->run[1].x = (float)end, c->run[1].y = (float)y;
    DrawVerticesAtOnce(c->record, D3D_PT_LINELIST, c->run, 2);
}

static void SendCircleRun(DeviceCircle *c)
{
    if (c->count == 0) return;
    DrawVerticesAtOnce(c->record, D3D_PT_POINTLIST, c->run, (uint32_t)c->count);
    c->count = 0;
}

// One outline point; points left of the region are the viewport's to clip, but never at negative x.
static void PutCirclePoint(DeviceCircle *c, int64_t x, int64_t y)
{
    if (x < 0 || x > c->right || y < c->top || y > c->bottom) return;
    c->run[c->count].x = (float)x, c->run[c->count].y = (float)y;
    if (++c->count == CIRCLE_RUN) SendCircleRun(c);
}

static void SendDiscStep(void *context, int64_t cx, int64_t cy, int shrinking)
{
    auto *c = (DeviceCircle *)context;
    // At cx = 0 both rows are the centre row: the row table sends it once.
    SendCircleSpan(c, c->y + cx, c->x - cy, c->x + cy);
    SendCircleSpan(c, c->y - cx, c->x - cy, c->x + cy);
    if (shrinking) {
        SendCircleSpan(c, c->y + cy, c->x - cx, c->x + cx);
        SendCircleSpan(c, c->y - cy, c->x - cx, c->x + cx);
    }
}

static void SendOutlineStep(void *context, int64_t cx, int64_t cy, int)
{
    auto *c = (DeviceCircle *)context;
    const int64_t x = c->x, y = c->y;
    if (cx == 0) {
        const int64_t points[4][2] = {{x - cy, y}, {x + cy, y}, {x, y + cy}, {x, y - cy}};
        for (const auto &p : points) PutCirclePoint(c, p[0], p[1]);
        return;
    }
    const int64_t points[8][2] = {{x - cy, y + cx}, {x + cy, y + cx}, {x + cx, y + cy}, {x - cx, y + cy},
                                  {x + cy, y - cx}, {x - cy, y - cx}, {x + cx, y - cy}, {x - cx, y - cy}};
    for (const auto &p : points) PutCirclePoint(c, p[0], p[1]);
}

int G_D3D_DrawCircle(int x, int y, int r, uint32_t colour, int fill)
{
    G_D3D_FlushVertexBatch();
    if (!GDirect3D.direct3D) return -1;
    if (GDirect3D.suspended) return RenderCircle2D(x, y, r, colour, fill);
    if (!LookupLiveDevice3D(GDirect3D.currentSlot)) return -1;
    if (r < 0) return 0;
    DeviceCircle c;
    c.record = BeginShapeDraw(1);
    if (!c.record) return EndShapeDraw();
    const Rect &region = GDrawSettings.drawRegion;
    const int64_t ox = GDrawSettings.clientArea.left, oy = GDrawSettings.clientArea.top;
    c.x = x + ox, c.y = y + oy;
    c.left = region.left + ox, c.right = region.right + ox - 1;
    c.top = region.top + oy, c.bottom = region.bottom + oy - 1;
    if (c.right < c.left || c.bottom < c.top) return EndShapeDraw();
    uint32_t diffuse = ShapeVertexColor(colour);
    for (ColorVertex &v : c.run) v.z = GDrawSettings.drawZ, v.rhw = 1.0f, v.diffuse = diffuse;
    c.count = 0;
    c.rowDone = nullptr;
    if (fill) {
        c.rowDone = (uint8_t *)DZ_ALLOC_ZERO((size_t)(c.bottom - c.top + 1));
        if (!c.rowDone) ExitWithError("メモリの確保に失敗しました in G_D3D_DrawCircle");
        WalkMidpointCircle(c.y, r, c.top, c.bottom + 1, SendDiscStep, &c);
        FreeMemoryTracked(c.rowDone);
    } else {
        WalkMidpointCircle(c.y, r, c.top, c.bottom + 1, SendOutlineStep, &c);
        SendCircleRun(&c);
    }
    return EndShapeDraw();
}
