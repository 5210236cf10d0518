// The render-state cache of a device slot: setters that talk to the device only on a real change
// (or under the force flag) and draw the pending batch first, the render target, the viewport, the
// sampling filters, the transforms and the complete re-send after creation.
#include "lib/core/helpers.h"
#include "lib/core/log.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"

// The setter rule: equal and not forced sends nothing; otherwise flush (when asked), send the device
// value and cache the raw one. 0, the send's failure as -1 when failResult, or -1 when down.
static int SetCachedState(uint32_t slot, uint32_t Device3DRecord::*field, uint32_t value, uint32_t state,
                          uint32_t sent, int flush, int failResult)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (!record->force && record->*field == value) return 0;
    if (flush) G_D3D_FlushDeviceBatch(slot);
    int32_t result = record->device->fn->SetRenderState(record->device, state, sent);
    record->*field = value;
    return failResult && result < 0 ? -1 : 0;
}

// The textured alpha test follows Z being on, so a switch between off and on rebuilds the blend state.
int G_D3D_SetZEnableState(uint32_t slot, uint32_t value)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    uint32_t wasOn = record && record->zEnable != 0;
    int result = SetCachedState(slot, &Device3DRecord::zEnable, value, D3D_RS_ZENABLE, value == 1 ? 1 : 0, 1, 0);
    if (record && wasOn != (value != 0)) record->blendDirty = 1;
    return result;
}
int G_D3D_SetZWriteState(uint32_t slot, uint32_t value)
{
    return SetCachedState(slot, &Device3DRecord::zWriteEnable, value, D3D_RS_ZWRITEENABLE, value, 1, 0);
}
int G_D3D_SetZFuncState(uint32_t slot, uint32_t value)
{
    return SetCachedState(slot, &Device3DRecord::zFunc, value, D3D_RS_ZFUNC, value, 1, 0);
}
int G_D3D_SetZBiasState(uint32_t slot, uint32_t value)
{
    return SetCachedState(slot, &Device3DRecord::zBias, value, D3D_RS_ZBIAS, value, 1, 0);
}
int G_D3D_SetCullState(uint32_t slot, uint32_t value)
{
    return SetCachedState(slot, &Device3DRecord::cullMode, value, D3D_RS_CULLMODE,
                          value ? D3D_CULL_CCW : D3D_CULL_NONE, 1, 0);
}
int G_D3D_SetShadeState(uint32_t slot, uint32_t value)
{
    return SetCachedState(slot, &Device3DRecord::shadeMode, value, D3D_RS_SHADEMODE, value, 1, 1);
}
int G_D3D_SetFogState(uint32_t slot, uint32_t value)
{
    return SetCachedState(slot, &Device3DRecord::fogEnable, value, D3D_RS_FOGENABLE, value, 1, 1);
}
int G_D3D_SetColorKeyState(uint32_t slot, uint32_t value)
{
    return SetCachedState(slot, &Device3DRecord::colorKeyEnable, value, D3D_RS_COLORKEYENABLE, value, 1, 0);
}
// Sent without drawing the pending batch.
int G_D3D_SetPerspectiveState(uint32_t slot, uint32_t value)
{
    return SetCachedState(slot, &Device3DRecord::perspective, value, D3D_RS_TEXTUREPERSPECTIVE, value, 0, 1);
}

int G_D3D_SetCurrentTexture(uint32_t slot, DdSurface *texture)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (!record->force && record->currentTexture == texture) return 0;
    G_D3D_FlushDeviceBatch(slot);
    if ((record->currentTexture == nullptr) != (texture == nullptr)) record->blendDirty = 1;
    record->currentTexture = texture;
    record->textureDirty = 1;
    return 0;
}

int G_D3D_SetRenderTarget(DdSurface *surface, uint32_t slot)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (surface == record->currentTarget && !record->force) return 0;
    if (!surface) {
        if (!record->currentTarget) return 0;
        surface = record->ownTarget;
    }
    G_D3D_FlushDeviceBatch(slot);
    record->device->fn->SetRenderTarget(record->device, surface, 0);
    record->currentTarget = surface;
    return 0;
}

int G_D3D_SetDeviceSamplingMode(uint32_t slot, uint32_t mode)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (mode == record->samplingMode && !record->force) return 0;
    G_D3D_FlushDeviceBatch(slot);
    if (mode > 1) return -1;
    uint8_t code = mode == 0 ? 1 : 2;
    D3dDevice *device = record->device;
    // Under the force flag every stage in use is sent, so a new device gets the filters too.
    for (uint32_t stage = 0; stage < record->stageCount && stage < D3D_STAGE_COUNT; stage++) {
        if (record->force || record->magFilter[stage] != code) {
            device->fn->SetTextureStageState(device, stage, D3D_TSS_MAGFILTER, code);
            record->magFilter[stage] = code;
        }
        if (record->force || record->minFilter[stage] != code) {
            device->fn->SetTextureStageState(device, stage, D3D_TSS_MINFILTER, code);
            record->minFilter[stage] = code;
        }
    }
    record->samplingMode = mode;
    return 0;
}

int G_D3D_SetViewport(const D3dViewport *viewport, uint32_t slot)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record || !record->currentTarget) return -1;
    const D3dViewport &cached = record->viewport;
    if (!record->force && viewport->x == cached.x && viewport->y == cached.y && viewport->width == cached.width &&
        viewport->height == cached.height)
        return 0;
    G_D3D_FlushDeviceBatch(slot);
    G_D3D_EndDeviceScene(slot);
    int32_t result = record->device->fn->SetViewport(record->device, viewport);
    if (result < 0) return WriteLogFormat("ビューポートのセットに失敗しました ErrorCode %x\n", (unsigned)result);
    record->viewport = *viewport;
    return 0;
}

int G_D3D_SetViewportFromRect(const Rect *rect)
{
    if (!GDirect3D.direct3D) return -1;
    if (GDirect3D.suspended) return 0;
    if (rect->right - rect->left == 0 || rect->bottom - rect->top == 0) return -1;
    D3dViewport viewport;
    viewport.x = (uint32_t)(rect->left + GDrawSettings.clientArea.left);
    viewport.y = (uint32_t)(rect->top + GDrawSettings.clientArea.top);
    viewport.width = (uint32_t)(rect->right - rect->left);
    viewport.height = (uint32_t)(rect->bottom - rect->top);
    viewport.minZ = 0.0f;
    viewport.maxZ = 1.0f;
    return G_D3D_SetViewport(&viewport, GDirect3D.currentSlot);
}

// ---- transforms ---------------------------------------------------------------------------------

int G_D3D_SetWorldTransform(uint32_t slot, int index, const float *matrix)
{
    static const uint32_t kWorld[4] = {D3D_TS_WORLD, D3D_TS_WORLD1, D3D_TS_WORLD2, D3D_TS_WORLD3};
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (index < 0 || index > 3) return 0;
    record->device->fn->SetTransform(record->device, kWorld[index], matrix);
    return 0;
}

// Flushes the current device and sends one transform (not cached: every call sends).
static int LoadTransform(uint32_t kind, const float *matrix)
{
    Device3DRecord *record = LookupLiveDevice3D(GDirect3D.currentSlot);
    if (!record) return -1;
    G_D3D_FlushDeviceBatch(GDirect3D.currentSlot);
    record->device->fn->SetTransform(record->device, kind, matrix);
    return 0;
}

int G_D3D_LoadWorldMatrix(const float *matrix, int index)
{
    if (!LookupLiveDevice3D(GDirect3D.currentSlot)) return -1;
    G_D3D_FlushDeviceBatch(GDirect3D.currentSlot);
    return G_D3D_SetWorldTransform(GDirect3D.currentSlot, index, matrix);
}
int G_D3D_LoadViewMatrix(const float *matrix) { return LoadTransform(D3D_TS_VIEW, matrix); }
int G_D3D_LoadProjectionMatrix(const float *matrix) { return LoadTransform(D3D_TS_PROJECTION, matrix); }

int G_D3D_ApplySamplingMode(int mode)
{
    if (!GDirect3D.direct3D) return -1;
    G_D3D_SetDeviceSamplingMode(GDirect3D.currentSlot, (uint32_t)mode);
    return 0;
}

// ---- complete re-send ---------------------------------------------------------------------------

int G_D3D_ResendBasicStates(uint32_t slot)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    G_D3D_FlushDeviceBatch(slot);
    D3dDevice *device = record->device;
    static const uint32_t kTexCoordIndex[4] = {0, 1, 1, 0};
    for (uint32_t stage = 0; stage < 4; stage++)
        device->fn->SetTextureStageState(device, stage, D3D_TSS_ADDRESS, record->addressMode);
    for (uint32_t stage = 0; stage < 4; stage++)
        device->fn->SetTextureStageState(device, stage, D3D_TSS_TEXCOORDINDEX, kTexCoordIndex[stage]);
    device->fn->SetRenderState(device, D3D_RS_TEXTUREPERSPECTIVE, record->perspective);
    device->fn->SetRenderState(device, D3D_RS_SHADEMODE, record->shadeMode);
    device->fn->SetRenderState(device, D3D_RS_COLORKEYENABLE, record->colorKeyEnable);
    device->fn->SetRenderState(device, D3D_RS_LIGHTING, record->lighting);
    device->fn->SetRenderState(device, D3D_RS_CULLMODE, D3D_CULL_NONE);
    device->fn->SetRenderState(device, D3D_RS_DITHERENABLE, 0);
    return 0;
}

int G_D3D_ApplyAllStates(uint32_t slot)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    record->force = 1;
    if (record->currentTarget) G_D3D_SetViewport(&record->viewport, slot);
    G_D3D_SetColorKeyState(slot, 0);
    G_D3D_ResendBasicStates(slot);
    G_D3D_SetDeviceSamplingMode(slot, record->samplingMode);
    G_D3D_ApplyBlendState(slot);
    G_D3D_SetZEnableState(slot, record->zEnable);
    G_D3D_SetZWriteState(slot, record->zWriteEnable);
    G_D3D_SetZFuncState(slot, record->zFunc);
    G_D3D_SetZBiasState(slot, record->zBias);
    G_D3D_SetCullState(slot, record->cullMode);
    G_D3D_SetPerspectiveState(slot, record->perspective);
    G_D3D_SetShadeState(slot, record->shadeMode);
    record->force = 0;
    return 0;
}

int G_D3D_CopyDeviceState(uint32_t source, uint32_t destination)
{
    Device3DRecord *from = LookupLiveDevice3D(source);
    if (!from || !LookupLiveDevice3D(destination)) return -1;
    G_D3D_SetBlendModeState(destination, from->alphaChFlag, from->alphaTestFlag, from->blendMode);
    G_D3D_SetDeviceSamplingMode(destination, from->samplingMode);
    G_D3D_SetCurrentTexture(destination, from->currentTexture);
    G_D3D_ApplyBlendState(destination);
    return 0;
}
