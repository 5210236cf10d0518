// Device slots: creation of a device on a target surface with the states a new device starts with,
// release of the device object while its record stays, deletion of all devices, the current device.
#include <cstring>

#include "lib/core/log.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"

Device3DRecord GDevice3D[D3D_DEVICE_SLOT_COUNT];

// Device values of the filter codes: magnification, minification, mip.
static const uint8_t kFilterValues[6][3] = {{1, 1, 1}, {1, 1, 2}, {2, 2, 3}, {5, 3, 3}, {3, 3, 3}, {4, 3, 3}};

Device3DRecord *LookupDevice3D(uint32_t slot)
{
    slot &= 0xFFFF;
    if (!GDirect3D.direct3D || slot >= D3D_DEVICE_SLOT_COUNT || !GDevice3D[slot].inUse) return nullptr;
    return &GDevice3D[slot];
}

Device3DRecord *LookupLiveDevice3D(uint32_t slot)
{
    Device3DRecord *record = LookupDevice3D(slot);
    return record && record->device ? record : nullptr;
}

void SendStageAddressAndFilters(Device3DRecord *record, uint32_t addressMode)
{
    D3dDevice *device = record->device;
    for (uint32_t stage = 0; stage < D3D_STAGE_COUNT; stage++) {
        device->fn->SetTextureStageState(device, stage, D3D_TSS_ADDRESS, addressMode);
        device->fn->SetTextureStageState(device, stage, D3D_TSS_MAGFILTER, kFilterValues[record->magFilter[stage]][0]);
        device->fn->SetTextureStageState(device, stage, D3D_TSS_MINFILTER, kFilterValues[record->minFilter[stage]][1]);
        device->fn->SetTextureStageState(device, stage, D3D_TSS_MIPFILTER, kFilterValues[record->mipFilter[stage]][2]);
    }
}

// Every vertex starts at z 0 and rhw 1, blend vertices with a white specular colour; the draws
// never write these.
static void PresetVertexArrays(Device3DRecord *record)
{
    for (ColorVertex &v : record->colorVertices) v.z = 0.0f, v.rhw = 1.0f;
    for (TexturedVertex &v : record->texturedVertices) v.z = 0.0f, v.rhw = 1.0f;
    for (BlendTexturedVertex &v : record->blendVertices) v.z = 0.0f, v.rhw = 1.0f, v.specular = 0xFFFFFFFF;
    record->vertexArrays[VERTEX_TYPE_COLOR] = record->colorVertices;
    record->vertexArrays[VERTEX_TYPE_TEXTURED] = record->texturedVertices;
    record->vertexArrays[VERTEX_TYPE_BLEND] = record->blendVertices;
}

int G_D3D_CreateDevice(DdSurface *target)
{
    if (!GDirect3D.direct3D) return -1;
    int slot = 0;
    while (slot < D3D_DEVICE_SLOT_COUNT && GDevice3D[slot].inUse) slot++;
    if (slot == D3D_DEVICE_SLOT_COUNT) return -1;
    Device3DRecord *record = &GDevice3D[slot];
    memset(record, 0, sizeof *record);
    WriteLog("３Ｄデバイスを作成します... ");
    D3dObject *d3d = GDirect3D.direct3D;
    if (d3d->fn->CreateDevice(d3d, &GDirect3D.deviceDesc.deviceGuid, target, &record->device) < 0 || !record->device) {
        record->device = nullptr;
        return WriteLog("３Ｄデバイスの作成に失敗しました\n");
    }
    PresetVertexArrays(record);

    D3dDevice *device = record->device;
    if (GDrawSettings.textureAddressMode == 0) GDrawSettings.textureAddressMode = D3D_ADDRESS_CLAMP;
    for (uint32_t stage = 0; stage < D3D_STAGE_COUNT; stage++)
        record->magFilter[stage] = record->minFilter[stage] = record->mipFilter[stage] = 1;
    SendStageAddressAndFilters(record, (uint32_t)GDrawSettings.textureAddressMode);
    static const uint32_t kCreationStates[][2] = {
        {D3D_RS_COLORKEYBLENDENABLE, 0}, {D3D_RS_CULLMODE, D3D_CULL_NONE}, {D3D_RS_LIGHTING, 0},
        {D3D_RS_TEXTUREPERSPECTIVE, 0},  {D3D_RS_SHADEMODE, D3D_SHADE_FLAT}, {D3D_RS_COLORKEYENABLE, 0},
        {D3D_RS_DITHERENABLE, 0},
    };
    for (const auto &state : kCreationStates) device->fn->SetRenderState(device, state[0], state[1]);

    record->stageCount = 0;
    for (StageRecord &stage : record->stages) {
        stage.texture = nullptr;
        stage.alphaArg1 = stage.colorArg1 = D3D_TA_TEXTURE;
        // What a new device holds: DIFFUSE here would keep a later DIFFUSE on stage 1 up (the
        // blend-graph stages) from being sent, and the device would go on taking CURRENT.
        stage.alphaArg2 = stage.colorArg2 = D3D_TA_CURRENT;
        stage.alphaOp = stage.colorOp = D3D_TOP_DISABLE;
    }
    record->zEnable = 1;
    record->zFunc = D3D_CMP_LESSEQUAL;
    record->shadeMode = D3D_SHADE_FLAT;
    record->addressMode = D3D_ADDRESS_CLAMP;
    record->borderParam = -1;
    record->blendDirty = 1;
    record->vertexType = VERTEX_TYPE_TEXTURED;
    ResetVertexBatch(record);
    record->inUse = 1;
    record->ownTarget = target;

    G_D3D_ApplyAllStates((uint32_t)slot);
    WriteLog("３Ｄデバイスの作成に成功しました\n");
    return slot;
}

// Drops the device object; the batch and the scene go with it, since the next device starts
// outside a scene.
static void DropDeviceObject(Device3DRecord *record)
{
    record->device->fn->Release(record->device);
    record->device = nullptr;
    record->inScene = 0;
    ResetVertexBatch(record);
}

int G_D3D_ReleaseDeviceObject(uint32_t slot)
{
    Device3DRecord *record = LookupDevice3D(slot);
    if (!record) return -1;
    if (!record->device) return 0;
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    for (uint32_t i = 0; i < GDirect3D.highWater; i++) {
        Surface3DData *data = GDirect3D.surface3D[i];
        if (!data || !port) continue;
        // The pixels are kept for the new surface; a graph on a store that kept none reloads its
        // picture. A glyph cache keeps none: the display's rebuild has its font make it again anyway.
        GraphRecord *graph = LookupGraph((int)data->owner);
        int remade = graph && (graph->flags & GRAPH_FLAG_OWNER_REMAKES);
        if (remade || !port->KeepSurfaceDataPixels || port->KeepSurfaceDataPixels(data->surfaceData) != 0) {
            if (graph) graph->lost = 1;
        }
        if (port->ReleaseSurfaceDataObjects) port->ReleaseSurfaceDataObjects(data->surfaceData);
    }
    // The blend graph's texture went with the others: the graphics core binds it again after the restore.
    record->blendTexture = nullptr;
    DropDeviceObject(record);
    WriteLog("Ｄｉｒｅｃｔ３Ｄデバイスを削除しました\n");
    return 0;
}

int G_D3D_DeleteAllDevices(void)
{
    for (Device3DRecord &record : GDevice3D) {
        if (!record.inUse || !GDirect3D.direct3D) continue;
        if (record.device) record.device->fn->Release(record.device);
        memset(&record, 0, sizeof record);
        WriteLog("３Ｄデバイスの削除は正常に終了しました\n");
    }
    return 0;
}

void *G_D3D_GetDevice(void)
{
    Device3DRecord *record = LookupDevice3D(GDirect3D.currentSlot);
    return record ? record->device : nullptr;
}
