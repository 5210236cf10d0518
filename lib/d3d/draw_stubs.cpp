// Stand-ins for the Direct3D renderer's draw, graph, setting and font entry points: Direct3D is never
// available, so nothing is drawn here and every getter is null.
#include "lib/d3d/d3d_draw_hooks.h"

void *G_D3D_GetDevice(void) { return nullptr; }
int G_D3D_FlushVertexBatch(void) { return -1; }
int G_D3D_EndScene(void) { return -1; }
int G_D3D_UpdateDiffuseColor(void) { return -1; }
int G_D3D_BindBlendTexture(GraphRecord *, int, int) { return -1; }
int G_D3D_ApplySamplingMode(int) { return -1; }
int G_D3D_SetViewportFromRect(const Rect *) { return -1; }
int G_D3D_LoadWorldMatrix(const float *, int) { return -1; }
int G_D3D_LoadViewMatrix(const float *) { return -1; }
int G_D3D_LoadProjectionMatrix(const float *) { return -1; }
int NotifyTransformChange3D(void) { return -1; }
int G_D3D_ChangeDrawTarget(int) { return -1; }
int G_D3D_ClearTarget(void) { return -1; }
int G_D3D_RenderGraphAt(int, int, float, float, GraphRecord *, int, int) { return -1; }
int G_D3D_RenderGraphStretched(int, int, int, int, float, float, float, float, GraphRecord *, int, int) { return -1; }
int G_D3D_RenderGraphFreeQuad(const float *, GraphRecord *, int) { return -1; }
int G_D3D_DrawSolidRectangle(int, int, int, int, uint32_t) { return -1; }
int G_D3D_DrawRectangleOutline(int, int, int, int, uint32_t) { return -1; }
int G_D3D_DrawCircle(int, int, int, uint32_t, int) { return -1; }
int G_D3D_CreateGraphTextures(GraphRecord *) { return -1; }
int G_D3D_DeriveGraphTextures(GraphRecord *, GraphRecord *) { return -1; }
int G_D3D_ReleaseGraphTextures(GraphRecord *) { return -1; }
int G_D3D_UploadGraphImage(GraphRecord *, int, const GraphImage *, const GraphImage *) { return -1; }
int G_D3D_UploadGraphImageRect(GraphRecord *, int, const GraphImage *, const GraphImage *, const Rect *, int, int)
{
    return -1;
}
int G_D3D_RestoreGraphTextures(GraphRecord *) { return -1; }
int G_D3D_FillGraphTextures(GraphRecord *, int, int, int, int) { return -1; }
int G_D3D_RenderFontString(int, int, const char *, uint32_t, int, uint32_t, int) { return -1; }
const ColorFormatRecord *G_D3D_ChooseTextureFormat(int, int, int, int) { return nullptr; }
