// Per-draw state: the draw settings and the piece's alpha kind turned into the slot's states through
// the cached setters, each called only on a difference so that a repeated draw sends nothing.
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"

// Alpha-channel, alpha-test and colour-key choice for a textured piece.
static void ChoosePieceAlpha(const SurfaceDataRecord *data, uint32_t flags, uint32_t *alphaCh, uint32_t *alphaTest,
                             uint32_t *colorKey)
{
    if (!data->format.alphaTestFlag && !data->format.alphaChFlag) {
        *colorKey = 1;
        return;
    }
    int mode = GDrawSettings.blendMode;
    if ((mode != 0 && mode != 8) || (!(flags & PREPARE_KEEP_ALPHA_TEST) && GDrawSettings.drawMode == 1)) {
        *alphaCh = 1;
        return;
    }
    *alphaTest = data->format.alphaTestFlag;
    *alphaCh = data->format.alphaChFlag;
}

static void PrepareTextureAndBlend(Device3DRecord *record, uint32_t slot, const Surface3DData *piece, uint32_t flags)
{
    DdSurface *texture = nullptr;
    uint32_t alphaCh = 0, alphaTest = 0, colorKey = 0;
    if (piece) {
        const SurfaceDataRecord *data = LookupSurfaceData(piece->surfaceData);
        if (data) {
            texture = (DdSurface *)data->ddSurface;
            if (flags & PREPARE_PIECE_ALPHA) ChoosePieceAlpha(data, flags, &alphaCh, &alphaTest, &colorKey);
        }
    }
    uint32_t diffuseColor = (flags & PREPARE_DIFFUSE_COLOR) || (GDrawSettings.bright & 0xFFFFFF) != 0xFFFFFF;
    uint32_t diffuseAlpha = (flags & PREPARE_DIFFUSE_ALPHA) || GDrawSettings.blendMode != 0 ||
                            GDrawSettings.paramAlphaFlag != 0;
    uint32_t perspective = (flags & PREPARE_PERSPECTIVE) ? 1 : 0;
    uint32_t mode = (uint32_t)GDrawSettings.blendMode;
    if (record->perspective != perspective) G_D3D_SetPerspectiveState(slot, perspective);
    if (record->diffuseColorFlag != diffuseColor) G_D3D_SetDiffuseColorFlag(slot, diffuseColor);
    if (record->diffuseAlphaFlag != diffuseAlpha) G_D3D_SetDiffuseAlphaFlag(slot, diffuseAlpha);
    if (record->currentTexture != texture) G_D3D_SetCurrentTexture(slot, texture);
    if (record->alphaChFlag != alphaCh || record->alphaTestFlag != alphaTest || record->blendMode != mode)
        G_D3D_SetBlendModeState(slot, alphaCh, alphaTest, mode);
    if (record->blendDirty || record->textureDirty) G_D3D_ApplyBlendState(slot);
    G_D3D_SetColorKeyState(slot, colorKey);
}

static void PrepareZ(Device3DRecord *record, uint32_t slot, uint32_t flags)
{
    if (flags & PREPARE_Z) {
        if (record->zEnable != (uint32_t)GDrawSettings.zEnable) G_D3D_SetZEnableState(slot, (uint32_t)GDrawSettings.zEnable);
        if (record->zWriteEnable != (uint32_t)GDrawSettings.zWriteEnable)
            G_D3D_SetZWriteState(slot, (uint32_t)GDrawSettings.zWriteEnable);
        if (record->zFunc != (uint32_t)GDrawSettings.zFunction) G_D3D_SetZFuncState(slot, (uint32_t)GDrawSettings.zFunction);
        if (record->zBias != (uint32_t)GDrawSettings.zBias) G_D3D_SetZBiasState(slot, (uint32_t)GDrawSettings.zBias);
    } else if (record->zEnable != 0) {
        G_D3D_SetZEnableState(slot, 0);
    }
}

void G_D3D_PrepareDrawState(const Surface3DData *piece, uint32_t flags)
{
    uint32_t slot = GDirect3D.currentSlot;
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return;
    uint32_t lighting = (flags & PREPARE_LIGHTING) ? 1 : 0;
    if (record->lighting != lighting) {
        record->device->fn->SetRenderState(record->device, D3D_RS_LIGHTING, lighting);
        record->lighting = lighting;
    }
    if (!(flags & PREPARE_KEEP_TEXTURE)) PrepareTextureAndBlend(record, slot, piece, flags);
    uint32_t shade = (flags & PREPARE_GOURAUD) ? D3D_SHADE_GOURAUD : D3D_SHADE_FLAT;
    if (record->shadeMode != shade) G_D3D_SetShadeState(slot, shade);
    if (record->samplingMode != (uint32_t)GDrawSettings.drawMode)
        G_D3D_SetDeviceSamplingMode(slot, (uint32_t)GDrawSettings.drawMode);
    if (record->cullMode != (uint32_t)GDrawSettings.cullMode) G_D3D_SetCullState(slot, (uint32_t)GDrawSettings.cullMode);
    PrepareZ(record, slot, flags);
    // Z switched on or off just now: the alpha test that goes with it belongs to this draw already.
    if (!(flags & PREPARE_KEEP_TEXTURE) && record->blendDirty) G_D3D_ApplyBlendState(slot);
    uint32_t fog = (flags & PREPARE_FOG) ? (uint32_t)GDrawSettings.fogEnable : 0;
    if (record->fogEnable != fog) G_D3D_SetFogState(slot, fog);
}
