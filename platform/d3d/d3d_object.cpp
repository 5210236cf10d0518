// The 3-D object: device, depth-format and texture-format lists, device creation, the back-end
// choice and the surface table.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/d3d/d3d_internal.h"

D3dState gD3d;

const D3dGuid kD3dGuidObject = {0xF5049E77, 0x4861, 0x11D2, {0xA4, 0x07, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};
const D3dGuid kD3dGuidRgbDevice = {0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};
const D3dGuid kD3dGuidHalDevice = {0x84E63DE0, 0x46AA, 0x11CF, {0x81, 0x6F, 0x00, 0x00, 0xC0, 0x20, 0x15, 0x6E}};
const D3dGuid kD3dGuidTnlHalDevice = {0xF5049E78, 0x4861, 0x11D2, {0xA4, 0x07, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};

int D3dGuidEqual(const D3dGuid *a, const D3dGuid *b)
{
    return a && b && memcmp(a, b, sizeof *a) == 0;
}

// ---- lists ------------------------------------------------------------------------------------------

static const D3dPixelFormat kDefaultZFormats[] = {
    {32, D3D_PF_ZBUFFER, 0, 16, 0, 0xFFFF, 0, 0},
    {32, D3D_PF_ZBUFFER | D3D_PF_STENCILBUFFER, 0, 32, 8, 0xFFFFFF00, 0xFF, 0},
    {32, D3D_PF_ZBUFFER, 0, 32, 0, 0xFFFFFFFF, 0, 0},
};

static const D3dPixelFormat kDefaultTextureFormats[] = {
    {32, D3D_PF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0},
    {32, D3D_PF_RGB, 0, 16, 0x7C00, 0x03E0, 0x001F, 0},
    {32, D3D_PF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {32, D3D_PF_RGB | D3D_PF_ALPHAPIXELS, 0, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {32, D3D_PF_RGB | D3D_PF_ALPHAPIXELS, 0, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
    {32, D3D_PF_RGB | D3D_PF_ALPHAPIXELS, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {32, D3D_PF_LUMINANCE, 0, 8, 0xFF, 0, 0, 0},
    {32, D3D_PF_FOURCC, 0x31545844, 0, 0, 0, 0, 0},  // "DXT1"
};

D3dLists gD3dLists = {0, 0, {}, -1, {}};

void D3dDefaultCaps(D3dDeviceDesc *out)
{
    memset(out, 0, sizeof *out);
    out->lineCaps.size = out->triCaps.size = sizeof(D3dPrimCaps);
    out->triCaps.textureCaps = D3D_TEXCAPS_POW2;
    out->lineCaps.textureCaps = D3D_TEXCAPS_POW2;
    out->renderBitDepth = D3D_BD_16 | D3D_BD_32;
    out->zBufferBitDepth = D3D_BD_16;
    out->minTextureWidth = out->minTextureHeight = 1;
    out->maxTextureWidth = out->maxTextureHeight = 2048;
    out->maxTextureBlendStages = 8;
    out->maxSimultaneousTextures = 8;
    out->maxVertexW = 1.0f;
}

const D3dPixelFormat *D3dTextureFormats(int *count)
{
    if (gD3dLists.textureCount >= 0) {
        *count = gD3dLists.textureCount;
        return gD3dLists.texture;
    }
    *count = (int)(sizeof kDefaultTextureFormats / sizeof kDefaultTextureFormats[0]);
    return kDefaultTextureFormats;
}

// ---- back ends ----------------------------------------------------------------------------------------
// In order of preference; "record" is only chosen by name.
static const D3dBackend *const kBackends[] = {&kD3dBackendGl, &kD3dBackendRecord, nullptr};
static char sRequested[16];

static const D3dBackend *FindBackend(const char *name)
{
    for (int i = 0; name && kBackends[i]; i++)
        if (strcmp(kBackends[i]->name, name) == 0) return kBackends[i];
    return nullptr;
}

static const D3dBackend *ChosenBackend(void)
{
    const char *name = sRequested[0] ? sRequested : getenv("DAZAR_D3D");
    const D3dBackend *named = FindBackend(name);
    return named ? named : kBackends[0];
}

int D3dSelectBackend(const char *name)
{
    if (name && !FindBackend(name)) return -1;
    snprintf(sRequested, sizeof sRequested, "%s", name ? name : "");
    return 0;
}

// ---- surface table ------------------------------------------------------------------------------------
void D3dSetSurfacePort(const D3dSurfacePort *port) { gD3d.port = port; }
const D3dSurfacePort *D3dPort(void) { return gD3d.port ? gD3d.port : &kD3dDirectDrawPort; }

int D3dViewOf(DdSurface *surface, D3dSurfaceView *out)
{
    memset(out, 0, sizeof *out);
    if (!surface) return -1;
    return D3dPort()->GetView(surface, out);
}

void D3dHold(DdSurface *surface)
{
    if (surface) D3dPort()->AddRef(surface);
}

void D3dDrop(DdSurface *surface)
{
    if (surface) D3dPort()->Release(surface);
}

// ---- object calls -------------------------------------------------------------------------------------
static D3dObjectRecord *RecordOf(D3dObject *self) { return (D3dObjectRecord *)self; }

static uint32_t ObjectAddRef(D3dObject *self)
{
    return (uint32_t)++RecordOf(self)->refs;
}

static uint32_t ObjectRelease(D3dObject *self)
{
    D3dObjectRecord *record = RecordOf(self);
    int left = --record->refs;
    D3dRecordCall(D3D_CALL_OBJECT_RELEASE, 'o', record->id, nullptr, 0, left);
    if (left > 0) return (uint32_t)left;
    D3dCountObject(D3D_LIVE_OBJECTS, -1);
    if (record->dropOwner) record->dropOwner(record->owner);
    free(record);
    return 0;
}

// Fills the description of a listed device.
static void DescribeDevice(const D3dGuid *guid, D3dDeviceDesc *desc)
{
    if (gD3dLists.capsSet) *desc = gD3dLists.caps;
    else D3dDefaultCaps(desc);
    desc->deviceGuid = *guid;
    int no16 = (gD3dLists.deviceOptions & D3D_TEST_DEVICES_NO_16BIT) != 0;
    desc->renderBitDepth = no16 ? D3D_BD_32 : (D3D_BD_16 | D3D_BD_32);
    desc->zBufferBitDepth = D3D_BD_16;
}

static int32_t ObjectEnumDevices(D3dObject *self, D3dEnumDevicesCallback callback, void *context)
{
    int32_t fault = D3dFaultCheck(D3D_CALL_ENUM_DEVICES);
    D3dRecordCall(D3D_CALL_ENUM_DEVICES, 'o', RecordOf(self)->id, nullptr, 0, fault);
    if (fault != D3D_OK) return fault;
    if (!callback) return D3D_ERR_INVALID_PARAMS;
    uint32_t options = gD3dLists.deviceOptions;
    const D3dGuid *order[3] = {&kD3dGuidRgbDevice, &kD3dGuidHalDevice, &kD3dGuidTnlHalDevice};
    if (options & D3D_TEST_DEVICES_TNL_FIRST) {
        order[1] = &kD3dGuidTnlHalDevice;
        order[2] = &kD3dGuidHalDevice;
    }
    int listed = (options & D3D_TEST_DEVICES_NONE) ? 1 : (options & D3D_TEST_DEVICES_HAL_ONLY) ? 2 : 3;
    for (int i = 0; i < listed; i++) {
        D3dDeviceDesc desc;
        DescribeDevice(order[i], &desc);
        int hal = D3dGuidEqual(order[i], &kD3dGuidHalDevice);
        int tnl = D3dGuidEqual(order[i], &kD3dGuidTnlHalDevice);
        if (!hal && !tnl) desc.renderBitDepth = D3D_BD_16 | D3D_BD_32;  // emulation renders anywhere
        const char *text = hal ? "Hardware device" : tnl ? "Hardware transform and lighting device"
                                                          : "Software emulation device";
        const char *name = hal ? "HAL" : tnl ? "T&L HAL" : "RGB Emulation";
        if (callback(text, name, &desc, context) == D3D_ENUM_CANCEL) break;
    }
    return D3D_OK;
}

// Calls back for each format of a list until the callback cancels.
int32_t D3dEnumFormatList(const D3dPixelFormat *list, int count, D3dEnumPixelFormatsCallback callback,
                          void *context)
{
    if (!callback) return D3D_ERR_INVALID_PARAMS;
    for (int i = 0; i < count; i++) {
        D3dPixelFormat copy = list[i];
        if (callback(&copy, context) == D3D_ENUM_CANCEL) break;
    }
    return D3D_OK;
}

static int32_t ObjectEnumZBufferFormats(D3dObject *self, const D3dGuid *device, D3dEnumPixelFormatsCallback callback,
                                        void *context)
{
    int32_t fault = D3dFaultCheck(D3D_CALL_ENUM_ZBUFFER_FORMATS);
    D3dRecordCall(D3D_CALL_ENUM_ZBUFFER_FORMATS, 'o', RecordOf(self)->id, nullptr, 0, fault);
    if (fault != D3D_OK) return fault;
    if (!D3dGuidEqual(device, &kD3dGuidHalDevice) && !D3dGuidEqual(device, &kD3dGuidTnlHalDevice))
        return D3D_ERR_INVALID_DEVICE;
    return D3dEnumFormatList(kDefaultZFormats, (int)(sizeof kDefaultZFormats / sizeof kDefaultZFormats[0]), callback,
                             context);
}

// 1 when the options list that device kind.
static int IsListedDevice(const D3dGuid *guid)
{
    uint32_t options = gD3dLists.deviceOptions;
    if (options & D3D_TEST_DEVICES_NONE) return 0;
    if (D3dGuidEqual(guid, &kD3dGuidHalDevice)) return 1;
    return D3dGuidEqual(guid, &kD3dGuidTnlHalDevice) && !(options & D3D_TEST_DEVICES_HAL_ONLY);
}

static int32_t ObjectCreateDevice(D3dObject *self, const D3dGuid *device, DdSurface *target, D3dDevice **out)
{
    uint32_t objectId = RecordOf(self)->id;
    D3dSurfaceView view;
    int haveView = D3dViewOf(target, &view) == 0;
    int64_t args[2] = {D3dGuidEqual(device, &kD3dGuidTnlHalDevice) ? 2 : D3dGuidEqual(device, &kD3dGuidHalDevice),
                       haveView ? view.id : 0};
    int entry = D3dRecordCall(D3D_CALL_CREATE_DEVICE, 'o', objectId, args, 2, D3D_OK);
    if (out) *out = nullptr;
    int32_t result = D3dFaultCheck(D3D_CALL_CREATE_DEVICE);
    if (result == D3D_OK && (!out || !haveView)) result = D3D_ERR_INVALID_PARAMS;
    if (result == D3D_OK && !IsListedDevice(device)) result = D3D_ERR_INVALID_DEVICE;
    if (result == D3D_OK) result = D3dMakeDevice(ChosenBackend(), target, objectId, out);
    D3dRecordResult(entry, result);
    return result;
}

static const D3dObjectFns kObjectFns = {ObjectAddRef, ObjectRelease, ObjectEnumDevices, ObjectEnumZBufferFormats,
                                        ObjectCreateDevice};

int32_t D3dCreateObject(D3dObject **out)
{
    if (!out) return D3D_ERR_INVALID_PARAMS;
    *out = nullptr;
    int32_t fault = D3dFaultCheck(D3D_CALL_CREATE_OBJECT);
    uint32_t id = fault == D3D_OK ? ++gD3d.nextObjectId : 0;
    D3dRecordCall(D3D_CALL_CREATE_OBJECT, 'o', id, nullptr, 0, fault);
    if (fault != D3D_OK) return fault;
    D3dObjectRecord *record = (D3dObjectRecord *)calloc(1, sizeof *record);
    if (!record) return D3D_ERR_OUT_OF_MEMORY;
    record->object.fn = &kObjectFns;
    record->refs = 1;
    record->id = id;
    D3dCountObject(D3D_LIVE_OBJECTS, 1);
    *out = &record->object;
    return D3D_OK;
}
