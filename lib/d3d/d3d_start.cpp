// Direct3D start-up and end: the global block, the device choice, the Z-buffer and texture formats,
// the texture size limits, the format lookups and the display table the renderer reaches the
// graphics core through.
#include <cstring>

#include "lib/core/log.h"
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/screen.h"

Direct3DGlobals GDirect3D;

static const Direct3DDisplayPort *sDisplayPort;

void SetDirect3DDisplayPort(const Direct3DDisplayPort *port) { sDisplayPort = port; }
const Direct3DDisplayPort *GetDirect3DDisplayPort(void) { return sDisplayPort; }

// Releases the 3-D object and clears it: -1, for the failure paths.
static int DropDirect3DObject(void)
{
    if (GDirect3D.direct3D) GDirect3D.direct3D->fn->Release(GDirect3D.direct3D);
    GDirect3D.direct3D = nullptr;
    return -1;
}

// Record-level end while the 3-D object is gone but the renderer is still initialised (a mode
// change or library end while the display is released): no record may stay behind.
static void ClearReleasedRenderer(void)
{
    for (uint32_t i = 0; i < GDirect3D.highWater; i++) {
        Surface3DData *record = GDirect3D.surface3D[i];
        if (record) DeleteSurface3DData(MakeSurface3DHandle(i, record->head.check));
    }
    for (Device3DRecord &device : GDevice3D) {
        if (!device.inUse) continue;
        if (device.device) device.device->fn->Release(device.device);
        memset(&device, 0, sizeof device);
    }
    GDirect3D.frontTarget = 0;
    GDirect3D.initialised = 0;
}

// ---- enumeration callbacks ------------------------------------------------------------------------

int32_t G_D3D_EnumDeviceCallback(const char *, const char *, D3dDeviceDesc *desc, void *found)
{
    int tnl = D3dGuidEqual(&desc->deviceGuid, &kD3dGuidTnlHalDevice);
    if (!tnl && !D3dGuidEqual(&desc->deviceGuid, &kD3dGuidHalDevice)) return D3D_ENUM_OK;
    int depth = QueryScreenColorDepth();
    if (depth == 16 ? !(desc->renderBitDepth & D3D_BD_16)
                    : depth == 32 ? !(desc->renderBitDepth & D3D_BD_32) : 1)
        return D3D_ENUM_OK;
    *(uint32_t *)found = 1;
    GDirect3D.deviceDesc = *desc;
    if (tnl) {
        WriteLog("ハードウエアＴ＆Ｌデバイスを発見しました\n");
        return D3D_ENUM_CANCEL;
    }
    WriteLog("ＨＡＬデバイスを発見しました\n");
    return D3D_ENUM_OK;
}

int32_t G_D3D_EnumZBufferCallback(D3dPixelFormat *format, void *found)
{
    if (!format) return D3D_ENUM_CANCEL;
    if (format->flags & (D3D_PF_LUMINANCE | D3D_PF_BUMPLUMINANCE | D3D_PF_BUMPDUDV)) return D3D_ENUM_OK;
    if (format->fourCC != 0 || (format->flags & D3D_PF_ALPHA)) return D3D_ENUM_OK;
    if (format->flags != D3D_PF_ZBUFFER || format->bitCount != 16) return D3D_ENUM_OK;
    GDirect3D.zBufferFormat = *format;
    *(uint32_t *)found = 1;
    return D3D_ENUM_CANCEL;
}

static void TakeTextureFormat(int slot, const D3dPixelFormat *format, const ColorFormatRecord *color)
{
    GDirect3D.textureFormats[slot].pixelFormat = *format;
    GDirect3D.textureFormats[slot].colorFormat = *color;
}

int32_t G_D3D_EnumTextureFormatCallback(D3dPixelFormat *format, void *found)
{
    if (format->flags & (D3D_PF_LUMINANCE | D3D_PF_BUMPLUMINANCE | D3D_PF_BUMPDUDV)) return D3D_ENUM_OK;
    if (format->fourCC != 0 || (format->flags & D3D_PF_ALPHA)) return D3D_ENUM_OK;
    ColorFormatRecord color;
    uint32_t alphaMask = (format->flags & D3D_PF_ALPHAPIXELS) ? format->aMask : 0;
    if (MakeColorFormatFromMasks(&color, (int)format->bitCount, format->rMask, format->gMask, format->bMask,
                                 alphaMask) != 0)
        return D3D_ENUM_OK;
    if (color.alphaWidth != 0) {
        if (color.alphaMask == 0xF000) TakeTextureFormat(2, format, &color);
        else if (color.alphaMask == 0x8000) TakeTextureFormat(4, format, &color);
        else if (color.alphaMask == 0xFF000000u) TakeTextureFormat(3, format, &color), TakeTextureFormat(5, format, &color);
        return D3D_ENUM_OK;
    }
    int slot = color.colorBitDepth == 16 ? 0 : color.colorBitDepth == 32 ? 1 : -1;
    if (slot < 0) return D3D_ENUM_OK;
    if (GDirect3D.textureFormats[slot].colorFormat.colorBitDepth != 0) {
        ColorFormatRecord screen;
        if (!sDisplayPort || !sDisplayPort->GetScreenColorFormat ||
            sDisplayPort->GetScreenColorFormat(&screen) != 0 || !CompareColorFormats(&color, &screen))
            return D3D_ENUM_OK;
    }
    TakeTextureFormat(slot, format, &color);
    if (slot == 0) *(uint32_t *)found = 1;
    return D3D_ENUM_OK;
}

// ---- start-up -----------------------------------------------------------------------------------

// Fills the slots the device left empty, in table order, so copies of copies carry the content.
static void FillEmptyTextureFormats(void)
{
    static const int kCopies[][2] = {{1, 0}, {3, 2}, {4, 2}, {5, 3}, {6, 0}, {7, 1}, {8, 3}};
    TextureFormatRecord *formats = GDirect3D.textureFormats;
    for (const auto &copy : kCopies)
        if (formats[copy[0]].colorFormat.colorBitDepth == 0) formats[copy[0]] = formats[copy[1]];
}

// Texture size limits from the caps: the smaller side of each, 256 and 32 when the caps say 0.
static void TakeTextureLimits(void)
{
    const D3dDeviceDesc &desc = GDirect3D.deviceDesc;
    uint32_t minimum = desc.minTextureWidth < desc.minTextureHeight ? desc.minTextureWidth : desc.minTextureHeight;
    uint32_t maximum = desc.maxTextureWidth < desc.maxTextureHeight ? desc.maxTextureWidth : desc.maxTextureHeight;
    if (maximum == 0) maximum = 256;
    if (minimum == 0) minimum = 32;
    GDirect3D.minTextureSize = minimum;
    GDirect3D.maxTextureSize = maximum;
}

static void LogDeviceLimits(void)
{
    const D3dDeviceDesc &desc = GDirect3D.deviceDesc;
    WriteLogFormat("テクスチャ最大幅:%u 最小幅:%u ", GDirect3D.maxTextureSize, GDirect3D.minTextureSize);
    WriteLogFormat("描画制限: D_D3DPTEXTURECAPS_POW2 = %d  D_D3DPTEXTURECAPS_SQUAREONLY = %d ",
                   (desc.triCaps.textureCaps & D3D_TEXCAPS_POW2) ? 1 : 0,
                   (desc.triCaps.textureCaps & D3D_TEXCAPS_SQUAREONLY) ? 1 : 0);
    WriteLogFormat("最大テクスチャステージ数 = %d   最大テクスチャブレンド数 = %d ", desc.maxTextureBlendStages,
                   desc.maxSimultaneousTextures);
    if (desc.maxTextureBlendStages < 4)
        WriteLog("使用可能テクスチャステージが 4 以下なので DrawBlendGraph は正常に機能しない可能性があります\n");
}

static void LogTextureFormats(void)
{
    WriteLog("テクスチャピクセルフォーマット\n");
    WriteLog("\t通常グラフィック用\n");
    for (int slot = 0; slot < 2; slot++) {
        const ColorFormatRecord &f = GDirect3D.textureFormats[slot].colorFormat;
        WriteLogFormat("\t\t BIT:%u  RED:%u  GREEN:%u  BLUE:%u ", f.colorBitDepth, f.redWidth, f.greenWidth,
                       f.blueWidth);
        WriteLogFormat("\t\t RED:%06x GREEN:%06x BLUE:%06x \n", f.redMask, f.greenMask, f.blueMask);
    }
    WriteLog("\tアルファチャンネル付きグラフィック用\n");
    for (int slot = 2; slot < 4; slot++) {
        const ColorFormatRecord &f = GDirect3D.textureFormats[slot].colorFormat;
        WriteLogFormat("\t\t BIT:%u  ALPHA:%u  RED:%u  GREEN:%u  BLUE:%u ", f.colorBitDepth, f.alphaWidth,
                       f.redWidth, f.greenWidth, f.blueWidth);
        WriteLogFormat("\t\t ALPHA:%08x RED:%08x GREEN:%08x BLUE:%08x \n", f.alphaMask, f.redMask, f.greenMask,
                       f.blueMask);
    }
}

int G_D3D_Initialize(void)
{
    if (GDirect3D.direct3D) return -1;
    // Without a display route that can hand out the 3-D object this machine has no Direct3D.
    if (!sDisplayPort || !sDisplayPort->QueryDirect3D) return -1;
    WriteLog("Direct3D 関連の初期化を行います\n");
    if (GDirect3D.initialised) ClearReleasedRenderer();
    memset(&GDirect3D, 0, sizeof GDirect3D);

    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
    if (sDisplayPort->QueryDirect3D(&GDirect3D.direct3D) != 0 || !GDirect3D.direct3D) {
        GDirect3D.direct3D = nullptr;
        return WriteLog("Direct3Dオブジェクトの作成に失敗しました\n");
    }
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得しました\n");

    D3dObject *d3d = GDirect3D.direct3D;
    uint32_t found = 0;
    if (d3d->fn->EnumDevices(d3d, G_D3D_EnumDeviceCallback, &found) < 0 || !found) {
        WriteLog("現在の画面モードで使用できる描画デバイスが見つかりませんでした\n");
        return DropDirect3DObject();
    }

    found = 0;
    memset(&GDirect3D.zBufferFormat, 0, sizeof GDirect3D.zBufferFormat);
    if (d3d->fn->EnumZBufferFormats(d3d, &kD3dGuidHalDevice, G_D3D_EnumZBufferCallback, &found) < 0 || !found)
        WriteLog("使用可能なＺバッファが見つかりませんでした\n");

    DdSurface *front = sDisplayPort->GetFrontDrawSurface ? sDisplayPort->GetFrontDrawSurface() : nullptr;
    int slot = G_D3D_CreateDevice(front);
    if (slot < 0) return DropDirect3DObject();
    GDirect3D.currentSlot = (uint32_t)slot;
    G_D3D_SetRenderTarget(front, (uint32_t)slot);

    if (GDrawSettings.textureAddressMode == 0) GDrawSettings.textureAddressMode = D3D_ADDRESS_CLAMP;
    D3dDevice *device = GDevice3D[slot].device;
    int32_t stage0 = D3D_OK;
    for (int stage = 3; stage >= 0; stage--)
        stage0 = device->fn->SetTextureStageState(device, (uint32_t)stage, D3D_TSS_ADDRESS,
                                                  (uint32_t)GDrawSettings.textureAddressMode);
    if (stage0 < 0) {
        G_D3D_DeleteAllDevices();
        return DropDirect3DObject();
    }

    memset(GDirect3D.textureFormats, 0, sizeof GDirect3D.textureFormats);
    found = 0;
    if (device->fn->EnumTextureFormats(device, G_D3D_EnumTextureFormatCallback, &found) < 0 || !found) {
        WriteLog("使用可能なテクスチャフォーマットが見つかりませんでした\n");
        G_D3D_DeleteAllDevices();
        return DropDirect3DObject();
    }
    FillEmptyTextureFormats();
    GDirect3D.frontTarget = 1;

    TakeTextureLimits();
    GDirect3D.captureRoutes[0] = GDirect3D.captureRoutes[1] = -1;
    GDirect3D.suspended = 0;

    IncreaseLogIndent();
    LogDeviceLimits();
    LogTextureFormats();
    DecreaseLogIndent();
    WriteLog("Direct3D 関連の初期化は正常に終了しました\n");
    GDirect3D.initialised = 1;
    // The first boxes and images draw in their colours, not in the zero-filled one.
    G_D3D_UpdateDiffuseColor();
    return 0;
}

// ---- end ----------------------------------------------------------------------------------------

int G_D3D_Terminate(void)
{
    if (!GDirect3D.direct3D) {
        // Released for a display change: nothing to tell the device, but no record may outlive us.
        if (GDirect3D.initialised) ClearReleasedRenderer();
        return -1;
    }
    WriteLog("Direct3D 関連の終了処理を行います\n");
    G_D3D_EndDeviceScene(GDirect3D.currentSlot);
    GDirect3D.frontTarget = 0;
    Device3DRecord *device = LookupDevice3D(GDirect3D.currentSlot);
    if (device && (device->currentTexture || device->force)) {
        G_D3D_FlushDeviceBatch(GDirect3D.currentSlot);
        device->textureDirty = 1;
        if (device->currentTexture) device->blendDirty = 1;
        device->currentTexture = nullptr;
    }
    DeleteAllSurface3DData();
    G_D3D_DeleteAllDevices();
    DropDirect3DObject();
    WriteLog("Direct3D 関連の終了処理は正常に終了しました\n");
    GDirect3D.initialised = 0;
    return 0;
}

// ---- formats and lookups ------------------------------------------------------------------------

const ColorFormatRecord *G_D3D_SelectTextureFormat(const SurfaceFormat *format)
{
    int depth = format->colorBitDepth == 16 ? 0 : 1;
    int slot;
    if (format->drawValid) slot = (format->alphaChFlag || format->alphaTestFlag) ? 8 : 6 + depth;
    else if (format->alphaChFlag) slot = 2 + depth;
    else if (format->alphaTestFlag) slot = 4 + depth;
    else slot = depth;
    return &GDirect3D.textureFormats[slot].colorFormat;
}

const ColorFormatRecord *G_D3D_ChooseTextureFormat(int alphaChannel, int alphaTest, int use32, int renderTarget)
{
    if (!GDirect3D.direct3D) return nullptr;
    SurfaceFormat format = {};
    format.alphaChFlag = (uint8_t)alphaChannel;
    format.alphaTestFlag = (uint8_t)alphaTest;
    format.drawValid = (uint8_t)renderTarget;
    format.colorBitDepth = use32 ? 32 : 16;
    return G_D3D_SelectTextureFormat(&format);
}

const TextureFormatRecord *G_D3D_GetTextureFormatRecord(int slot)
{
    if (!GDirect3D.direct3D || slot < 0 || slot >= TEXTURE_FORMAT_SLOT_COUNT) return nullptr;
    return &GDirect3D.textureFormats[slot];
}

const ColorFormatRecord *G_D3D_GetTextureFormatColorFormat(int slot)
{
    const TextureFormatRecord *record = G_D3D_GetTextureFormatRecord(slot);
    return record ? &record->colorFormat : nullptr;
}

const D3dPixelFormat *G_D3D_GetZBufferPixelFormat(void) { return &GDirect3D.zBufferFormat; }

int NotifyTransformChange3D(void) { return 0; }

int G_D3D_UpdateDiffuseColor(void)
{
    if (!GDirect3D.direct3D) return -1;
    uint32_t alpha = (GDrawSettings.blendMode != 0 || GDrawSettings.paramAlphaFlag) ? (uint32_t)GDrawSettings.blendParam : 255;
    GDirect3D.diffuseColor = (alpha << 24) | (GDrawSettings.bright & 0xFFFFFF);
    return 0;
}
