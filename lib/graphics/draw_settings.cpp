// The draw settings record and its setters.
#include "lib/graphics/draw_settings.h"

#include <cstring>

#include "lib/core/log.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/graphics/memimg.h"
#include "lib/graphics/screen.h"

DrawSettings GDrawSettings;

static int gTargetWidth = 640;   // size of the draw target the region is kept in
static int gTargetHeight = 480;

// Identity matrix of 16 floats.
static void SetIdentity(float *m) {
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// Stores a region already clamped into the target, as ints and floats.
static void StoreDrawRegion(int left, int top, int right, int bottom) {
    GDrawSettings.drawRegion = Rect{left, top, right, bottom};
    GDrawSettings.drawRegionF[0] = (float)left;
    GDrawSettings.drawRegionF[1] = (float)top;
    GDrawSettings.drawRegionF[2] = (float)right;
    GDrawSettings.drawRegionF[3] = (float)bottom;
}

int ResetDrawSettings(void) {
    DrawSettings &s = GDrawSettings;
    memset(&s, 0, sizeof(s));
    s.drawTarget = -4;
    s.targetWidth = gTargetWidth;
    s.targetHeight = gTargetHeight;
    StoreDrawRegion(0, 0, gTargetWidth, gTargetHeight);
    s.blendMode = MEMIMG_BLEND_COPY;
    s.blendParam = 255;
    s.blendGraph = -1;
    s.bright = 0xFFFFFF;
    s.drawZ = 0.2f;
    s.zFunction = 4;
    s.transColor = 0x000000;
    s.textureAddressMode = 3;
    for (int i = 0; i < DRAW_WORLD_MATRIX_COUNT; ++i) SetIdentity(s.worldMatrix[i]);
    SetIdentity(s.viewMatrix);
    SetIdentity(s.projectionMatrix);
    s.waitVSync = 1;
    return 0;
}

void SetDrawTargetSize(int width, int height) {
    gTargetWidth = width < 0 ? 0 : width;
    gTargetHeight = height < 0 ? 0 : height;
    GDrawSettings.targetWidth = gTargetWidth;
    GDrawSettings.targetHeight = gTargetHeight;
    StoreDrawRegion(0, 0, gTargetWidth, gTargetHeight);
}

int SelectBlendMode(int mode, int param) {
    if (GDrawSettings.noDrawGuard) return 0;
    param = ClampColorChannel(param);
    if (GDrawSettings.blendMode == mode && GDrawSettings.blendParam == param) return 0;
    GDrawSettings.blendMode = mode;
    GDrawSettings.blendParam = param;
    G_D3D_UpdateDiffuseColor();
    return 0;
}

int StoreBlendGraph(int graph, int borderParam, int borderRange) {
    GDrawSettings.blendGraph = graph;
    GDrawSettings.blendGraphBorderParam = ClampColorChannel(borderParam);
    GDrawSettings.blendGraphBorderRange = ClampColorChannel(borderRange);
    BuildBlendImageLookup(GDrawSettings.blendGraphBorderParam, GDrawSettings.blendGraphBorderRange);
    return 0;
}

int SetDrawBright(int red, int green, int blue) {
    GDrawSettings.bright = ((uint32_t)ClampColorChannel(red) << 16) | ((uint32_t)ClampColorChannel(green) << 8) | (uint32_t)ClampColorChannel(blue);
    if (IsDirect3DDrawUsable()) G_D3D_UpdateDiffuseColor();
    return 0;
}

int SetDrawBrightColor(uint32_t packed) {
    uint32_t bright = packed & 0xFFFFFF;
    if (bright == GDrawSettings.bright) return 0;
    GDrawSettings.bright = bright;
    G_D3D_UpdateDiffuseColor();
    return 0;
}

// The name of the draw target in the viewport failure line.
static const char *DrawTargetName(int target) {
    return target == -4 ? "Front Buffer" : target == -2 ? "Back Buffer" : "Image Buffer";
}

int SetDrawRegion(int left, int top, int right, int bottom) {
    Rect r = {left, top, right, bottom};
    Rect area = {0, 0, GDrawSettings.targetWidth, GDrawSettings.targetHeight};
    ClipRectToArea(&r, &area);
    StoreDrawRegion(r.left, r.top, r.right, r.bottom);
    if (r.right > r.left && r.bottom > r.top && IsDirect3DDrawUsable() && G_D3D_SetViewportFromRect(&r) < 0)
        WriteLogFormat("ビューポートの設定に失敗しました %s", DrawTargetName(GDrawSettings.drawTarget));
    NotifyTransformChange3D();
    return 0;
}

int SelectDrawMode(int mode) {
    if (GDrawSettings.noDrawGuard || GDrawSettings.drawMode == mode) return 0;
    GDrawSettings.drawMode = mode;
    if (IsDirect3DDrawUsable()) G_D3D_ApplySamplingMode(mode);
    return 0;
}

int SetWorldMatrix(const float *matrix, int index) {
    if (matrix == nullptr) return -1;
    if (index < 0 || index >= DRAW_WORLD_MATRIX_COUNT) return 0;
    memcpy(GDrawSettings.worldMatrix[index], matrix, sizeof(float) * 16);
    if (IsDirect3DDrawUsable()) G_D3D_LoadWorldMatrix(matrix, index);
    NotifyTransformChange3D();
    return 0;
}

int SetViewMatrix(const float *matrix) {
    if (matrix == nullptr) return -1;
    memcpy(GDrawSettings.viewMatrix, matrix, sizeof(float) * 16);
    if (IsDirect3DDrawUsable()) G_D3D_LoadViewMatrix(matrix);
    NotifyTransformChange3D();
    return 0;
}

int SetProjectionMatrix(const float *matrix) {
    if (matrix == nullptr) return -1;
    memcpy(GDrawSettings.projectionMatrix, matrix, sizeof(float) * 16);
    if (IsDirect3DDrawUsable()) G_D3D_LoadProjectionMatrix(matrix);
    NotifyTransformChange3D();
    return 0;
}

int GetDrawTargetHandle(void) { return GDrawSettings.drawTarget; }
