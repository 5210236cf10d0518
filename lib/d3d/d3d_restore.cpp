// Display change and restore: the platform objects go (device, texture surfaces, the 3-D object)
// while every record stays; afterwards a new 3-D object, the device re-created in its kept record
// with every cached state sent again, and the texture surfaces built anew.
#include "lib/core/log.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"

int G_D3D_ReleaseDirect3D(void)
{
    if (!GDirect3D.initialised) return -1;
    G_D3D_ReleaseDeviceObject(GDirect3D.currentSlot);
    GDirect3D.missingDeviceNoted = 0;
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n");
    if (!GDirect3D.direct3D) return WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に解放されています\n"), 0;
    GDirect3D.direct3D->fn->Release(GDirect3D.direct3D);
    GDirect3D.direct3D = nullptr;
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放しました\n");
    return 0;
}

int G_D3D_NoteMissingDevice(void)
{
    if (GDirect3D.missingDeviceNoted) return -1;
    GDirect3D.missingDeviceNoted = 1;
    return WriteLog("３Ｄデバイスが無いため、作り直されるまで描画と画像の転送を行いません\n");
}

int G_D3D_ReacquireDirect3D(void)
{
    if (!GDirect3D.initialised) return 0;
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
    if (GDirect3D.direct3D) return WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に取得されていますn"), 0;
    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    if (!port || !port->QueryDirect3D || port->QueryDirect3D(&GDirect3D.direct3D) != 0 || !GDirect3D.direct3D) {
        GDirect3D.direct3D = nullptr;
        return WriteLog("Direct3Dオブジェクトの作成に失敗しました\n");
    }
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトは正常に取得されました\n");
    Device3DRecord *record = LookupDevice3D(GDirect3D.currentSlot);
    if (record) {
        record->ownTarget = port->GetFrontDrawSurface ? port->GetFrontDrawSurface() : nullptr;
        record->currentTarget = port->GetDrawTargetSurface ? port->GetDrawTargetSurface() : nullptr;
    }
    G_D3D_RecreateDevice(GDirect3D.currentSlot);
    return 0;
}

int G_D3D_RecreateDevice(uint32_t slot)
{
    Device3DRecord *record = LookupDevice3D(slot);
    if (!record) return -1;
    if (record->device) return 0;
    WriteLog("３Ｄデバイスを作成します... ");
    D3dObject *d3d = GDirect3D.direct3D;
    if (d3d->fn->CreateDevice(d3d, &GDirect3D.deviceDesc.deviceGuid, record->ownTarget, &record->device) < 0 ||
        !record->device) {
        record->device = nullptr;
        return WriteLog("３Ｄデバイスの作成に失敗しました\n");
    }
    record->device->fn->SetRenderState(record->device, D3D_RS_DITHERENABLE, 0);
    WriteLog("３Ｄデバイスの作成に成功しました\n");
    // Stages the re-send below leaves out would keep the new device's defaults.
    SendStageAddressAndFilters(record, record->addressMode);
    record->force = 1;
    // The new device renders into its own target until told otherwise.
    DdSurface *target = record->currentTarget;
    record->currentTarget = record->ownTarget;
    if (target && target != record->ownTarget) G_D3D_SetRenderTarget(target, slot);
    record->currentTexture = nullptr;
    ResetVertexBatch(record);
    record->inScene = 0;
    G_D3D_SetBlendModeState(slot, record->alphaChFlag, record->alphaTestFlag, record->blendMode);
    G_D3D_SetCullState(slot, record->cullMode);
    G_D3D_SetDeviceSamplingMode(slot, record->samplingMode);
    G_D3D_SetColorKeyState(slot, record->colorKeyEnable);
    G_D3D_SetViewportFromRect(&GDrawSettings.drawRegion);
    G_D3D_ApplyAllStates(slot);
    G_D3D_ApplyBlendState(slot);

    const Direct3DDisplayPort *port = GetDirect3DDisplayPort();
    uint32_t seen = 0;
    for (uint32_t i = 0; i < SURFACE3D_TABLE_SIZE && seen < GDirect3D.surface3DCount; i++) {
        const Surface3DData *data = GDirect3D.surface3D[i];
        if (!data) continue;
        seen++;
        if (port && port->BuildSurfaceDataObjects) port->BuildSurfaceDataObjects(data->surfaceData);
        if (port && port->ApplySurfaceColorKey) port->ApplySurfaceColorKey(data->surfaceData);
        // A store still keeping its pixels could not give them back: every graph on it reloads its
        // picture, a derived graph sharing it too, so the copies go only after the walk.
        const SurfaceDataRecord *store = LookupSurfaceData(data->surfaceData);
        GraphRecord *graph = store && store->keptSurface ? LookupGraph((int)data->owner) : nullptr;
        if (graph) graph->lost = 1;
    }
    for (uint32_t i = 0; i < GDirect3D.highWater && port && port->DropKeptSurfaceDataPixels; i++)
        if (GDirect3D.surface3D[i]) port->DropKeptSurfaceDataPixels(GDirect3D.surface3D[i]->surfaceData);
    record->force = 0;
    return 0;
}
