// Entry points of the Direct3D renderer that the graphics core's draws, graphs, draw target, settings
// and fonts call. While Direct3D is down they answer as a machine without it: every operation -1,
// every getter null. The graphics core reaches them only while IsDirect3DDrawUsable() is 1 or for
// texture graphs and texture fonts, which are never made without it.
#pragma once
#include <cstdint>

struct ColorFormatRecord;
struct GraphImage;
struct GraphRecord;
struct Rect;

// The device in use, or null (Direct3D drawing not usable).
void *G_D3D_GetDevice(void);
// Draws and uploads that find no device (Direct3D released, or its re-creation refused at a restore)
// do nothing until a restore makes it again; the first of them after each release says so in the
// log. -1.
int G_D3D_NoteMissingDevice(void);
// Draws the pending vertex batch / ends an open scene. 0, -1 when Direct3D is down.
int G_D3D_FlushVertexBatch(void);
int G_D3D_EndScene(void);
// Settings changed: diffuse colour (blend mode, parameter, bright), blend texture, sampling,
// viewport, matrices, transform. 0 / -1.
int G_D3D_UpdateDiffuseColor(void);
int G_D3D_BindBlendTexture(GraphRecord *graph, int borderParam, int borderRange);
int G_D3D_ApplySamplingMode(int mode);
int G_D3D_SetViewportFromRect(const Rect *rect);
int G_D3D_LoadWorldMatrix(const float *matrix, int index);
int G_D3D_LoadViewMatrix(const float *matrix);
int G_D3D_LoadProjectionMatrix(const float *matrix);
int NotifyTransformChange3D(void);
// Draw target and clear. 0 / -1.
int G_D3D_ChangeDrawTarget(int target);
int G_D3D_ClearTarget(void);
// Image draws of a texture graph. The free quad takes its corners as top-left, top-right,
// bottom-left, bottom-right (x, y pairs). 0 / -1.
int G_D3D_RenderGraphAt(int x, int y, float fx, float fy, GraphRecord *graph, int trans, int flag);
int G_D3D_RenderGraphStretched(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                               GraphRecord *graph, int trans, int flag);
int G_D3D_RenderGraphFreeQuad(const float corners[8], GraphRecord *graph, int trans);
// The same draws of the rectangle part (inside the graph) alone, as if it were a graph derived from
// it, without making one: the text core's glyph cells. Unscaled and stretched as PutGraph and
// PutGraphStretched pass them. 0 / -1.
int G_D3D_RenderGraphPartAt(int x, int y, GraphRecord *graph, const Rect *part, int trans);
int G_D3D_RenderGraphPartStretched(int x1, int y1, int x2, int y2, GraphRecord *graph, const Rect *part, int trans);
int G_D3D_RenderGraphPartFreeQuad(const float corners[8], GraphRecord *graph, const Rect *part, int trans);
// Boxes and circles on the device (colour in the screen's format; x2, y2 exclusive; fill non-zero: a
// disc). 0, -1 while Direct3D is down; while its drawing is suspended the software drawer's result.
int G_D3D_DrawSolidRectangle(int x1, int y1, int x2, int y2, uint32_t colour);
int G_D3D_DrawRectangleOutline(int x1, int y1, int x2, int y2, uint32_t colour);
int G_D3D_DrawCircle(int x, int y, int r, uint32_t colour, int fill);
// Textures of a graph: creation, derived pieces, release, uploads, restore and fill. 0 / -1.
int G_D3D_CreateGraphTextures(GraphRecord *graph);
int G_D3D_DeriveGraphTextures(GraphRecord *derived, GraphRecord *source);
int G_D3D_ReleaseGraphTextures(GraphRecord *graph);
int G_D3D_UploadGraphImage(GraphRecord *graph, int kind, const GraphImage *base, const GraphImage *alpha);
int G_D3D_UploadGraphImageRect(GraphRecord *graph, int kind, const GraphImage *base, const GraphImage *alpha,
                               const Rect *srcRect, int x, int y);
int G_D3D_RestoreGraphTextures(GraphRecord *graph);
int G_D3D_FillGraphTextures(GraphRecord *graph, int r, int g, int b, int a);
// String draw of a font whose glyph cache is a texture (other fonts go to RenderFontString2D, whose
// result it returns). 0; -1 for a stale font, while suspended or with Direct3D down.
int G_D3D_RenderFontString(int x, int y, const char *text, uint32_t colour, int font, uint32_t edgeColour,
                           int vertical);
// The texture format for a surface with these properties (32 or 16 bits), or null without Direct3D.
const ColorFormatRecord *G_D3D_ChooseTextureFormat(int alphaChannel, int alphaTest, int use32Bits,
                                                   int renderTarget);
