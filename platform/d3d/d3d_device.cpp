// The 3-D device: states with their documented defaults and valid values, textures and target held
// by reference, viewport, transforms, scenes, draws and loads. Pixels are the back end's business.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/d3d/d3d_internal.h"

// ---- state tables -------------------------------------------------------------------------------------
struct D3dStateRule {
    uint32_t state;
    uint32_t min, max;   // valid values
    uint32_t initial;
};

// Render states the device knows; any other number is refused. ZENABLE's default depends on the target.
static const D3dStateRule kRenderStates[] = {
    {D3D_RS_TEXTUREPERSPECTIVE, 0, 1, 1},
    {D3D_RS_ZENABLE, 0, 2, 0},
    {D3D_RS_FILLMODE, 1, 3, 3},
    {D3D_RS_SHADEMODE, 1, 3, D3D_SHADE_GOURAUD},
    {D3D_RS_ZWRITEENABLE, 0, 1, 1},
    {D3D_RS_ALPHATESTENABLE, 0, 1, 0},
    {D3D_RS_LASTPIXEL, 0, 1, 1},
    {D3D_RS_SRCBLEND, 1, 13, D3D_BLEND_ONE},
    {D3D_RS_DESTBLEND, 1, 13, D3D_BLEND_ZERO},
    {D3D_RS_CULLMODE, 1, 3, D3D_CULL_CCW},
    {D3D_RS_ZFUNC, 1, 8, D3D_CMP_LESSEQUAL},
    {D3D_RS_ALPHAREF, 0, 255, 0},
    {D3D_RS_ALPHAFUNC, 1, 8, D3D_CMP_ALWAYS},
    {D3D_RS_DITHERENABLE, 0, 1, 0},
    {D3D_RS_ALPHABLENDENABLE, 0, 1, 0},
    {D3D_RS_FOGENABLE, 0, 1, 0},
    {D3D_RS_SPECULARENABLE, 0, 1, 0},
    {D3D_RS_COLORKEYENABLE, 0, 1, 0},
    {D3D_RS_ZBIAS, 0, 16, 0},
    {D3D_RS_STENCILENABLE, 0, 1, 0},
    {D3D_RS_TEXTUREFACTOR, 0, 0xFFFFFFFF, 0xFFFFFFFF},
    {D3D_RS_WRAP0, 0, 15, 0}, {D3D_RS_WRAP0 + 1, 0, 15, 0}, {D3D_RS_WRAP0 + 2, 0, 15, 0},
    {D3D_RS_WRAP0 + 3, 0, 15, 0}, {D3D_RS_WRAP0 + 4, 0, 15, 0}, {D3D_RS_WRAP0 + 5, 0, 15, 0},
    {D3D_RS_WRAP0 + 6, 0, 15, 0}, {D3D_RS_WRAP0 + 7, 0, 15, 0},
    {D3D_RS_CLIPPING, 0, 1, 1},
    {D3D_RS_LIGHTING, 0, 1, 1},
    {D3D_RS_COLORKEYBLENDENABLE, 0, 1, 0},
    {D3D_RS_DIFFUSEMATERIALSOURCE, 0, 2, 1},
    {D3D_RS_SPECULARMATERIALSOURCE, 0, 2, 2},
};

// Stage states; initial values are stage 1..7's (stage 0 and TEXCOORDINDEX are set apart).
static const D3dStateRule kStageStates[] = {
    {D3D_TSS_COLOROP, 1, 24, D3D_TOP_DISABLE},
    {D3D_TSS_COLORARG1, 0, 0x3F, D3D_TA_TEXTURE},
    {D3D_TSS_COLORARG2, 0, 0x3F, D3D_TA_CURRENT},
    {D3D_TSS_ALPHAOP, 1, 24, D3D_TOP_DISABLE},
    {D3D_TSS_ALPHAARG1, 0, 0x3F, D3D_TA_TEXTURE},
    {D3D_TSS_ALPHAARG2, 0, 0x3F, D3D_TA_CURRENT},
    {D3D_TSS_TEXCOORDINDEX, 0, 7, 0},
    {D3D_TSS_ADDRESS, 1, 4, D3D_ADDRESS_WRAP},
    {D3D_TSS_ADDRESSU, 1, 4, D3D_ADDRESS_WRAP},
    {D3D_TSS_ADDRESSV, 1, 4, D3D_ADDRESS_WRAP},
    {D3D_TSS_MAGFILTER, 1, 5, D3D_FILTER_POINT},
    {D3D_TSS_MINFILTER, 1, 3, D3D_FILTER_POINT},
    {D3D_TSS_MIPFILTER, 1, 3, 1},
};

template <size_t N>
static const D3dStateRule *FindRule(const D3dStateRule (&table)[N], uint32_t state)
{
    for (size_t i = 0; i < N; i++)
        if (table[i].state == state) return &table[i];
    return nullptr;
}

// 1 for a stage operation the combiner implements.
static int IsKnownOp(uint32_t op)
{
    return (op >= D3D_TOP_DISABLE && op <= D3D_TOP_ADDSIGNED) ||
           (op >= D3D_TOP_SUBTRACT && op <= D3D_TOP_BLENDFACTORALPHA) || op == D3D_TOP_BLENDCURRENTALPHA;
}

// 1 when the value is valid for the stage state.
static int IsValidStageValue(const D3dStateRule *rule, uint32_t value)
{
    if (value < rule->min || value > rule->max) return 0;
    if (rule->state == D3D_TSS_COLOROP || rule->state == D3D_TSS_ALPHAOP) return IsKnownOp(value);
    int isArg = rule->state == D3D_TSS_COLORARG1 || rule->state == D3D_TSS_COLORARG2 ||
                rule->state == D3D_TSS_ALPHAARG1 || rule->state == D3D_TSS_ALPHAARG2;
    return !isArg || (value & 0xF) <= D3D_TA_SPECULAR;
}

// The documented defaults of a new device; depth is on only with a depth surface attached.
static void SetDefaults(D3dDeviceRecord *device, const D3dSurfaceView *target)
{
    for (const D3dStateRule &rule : kRenderStates) device->rs[rule.state] = rule.initial;
    device->rs[D3D_RS_ZENABLE] = target->zSurface ? 1 : 0;
    for (uint32_t s = 0; s < (uint32_t)D3D_MAX_STAGES; s++) {
        for (const D3dStateRule &rule : kStageStates) device->tss[s][rule.state] = rule.initial;
        device->tss[s][D3D_TSS_TEXCOORDINDEX] = s;
    }
    device->tss[0][D3D_TSS_COLOROP] = D3D_TOP_MODULATE;
    device->tss[0][D3D_TSS_ALPHAOP] = D3D_TOP_SELECTARG1;
    device->viewport = {0, 0, (uint32_t)target->width, (uint32_t)target->height, 0.0f, 1.0f};
    for (uint32_t t = 0; t < D3D_TS_COUNT; t++)
        for (int i = 0; i < 16; i++) device->transforms[t][i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// ---- records ------------------------------------------------------------------------------------------
static D3dDeviceRecord *RecordOf(D3dDevice *self) { return (D3dDeviceRecord *)self; }

// Records a device call with integer arguments.
static int Record(D3dDeviceRecord *device, D3dCallKind kind, std::initializer_list<int64_t> args, int32_t result)
{
    return D3dRecordCall(kind, 'd', device->id, args.begin(), (int)args.size(), result);
}

static uint32_t DeviceAddRef(D3dDevice *self) { return (uint32_t)++RecordOf(self)->refs; }

// Unlinks and frees a device whose last reference went.
static void FreeDevice(D3dDeviceRecord *device)
{
    device->backend->CloseDevice(device);
    for (int s = 0; s < D3D_MAX_STAGES; s++) D3dDrop(device->textures[s]);
    D3dDrop(device->target);
    for (D3dDeviceRecord **link = &gD3d.devices; *link; link = &(*link)->next) {
        if (*link == device) {
            *link = device->next;
            break;
        }
    }
    D3dCountObject(D3D_LIVE_DEVICES, -1);
    free(device);
}

static uint32_t DeviceRelease(D3dDevice *self)
{
    D3dDeviceRecord *device = RecordOf(self);
    int left = --device->refs;
    Record(device, D3D_CALL_DEVICE_RELEASE, {}, left);
    if (left > 0) return (uint32_t)left;
    FreeDevice(device);
    return 0;
}

static int32_t DeviceEnumTextureFormats(D3dDevice *self, D3dEnumPixelFormatsCallback callback, void *context)
{
    int32_t fault = D3dFaultCheck(D3D_CALL_ENUM_TEXTURE_FORMATS);
    Record(RecordOf(self), D3D_CALL_ENUM_TEXTURE_FORMATS, {}, fault);
    if (fault != D3D_OK) return fault;
    int count;
    const D3dPixelFormat *list = D3dTextureFormats(&count);
    return D3dEnumFormatList(list, count, callback, context);
}

// ---- states -------------------------------------------------------------------------------------------
// 1 for the invalid zeros the renderer's first full re-send makes, allowed until the first scene.
static int IsCreationWhitelisted(const D3dDeviceRecord *device, uint32_t state, uint32_t value)
{
    return !device->drawn && value == 0 &&
           (state == D3D_RS_SRCBLEND || state == D3D_RS_DESTBLEND || state == D3D_RS_ALPHAFUNC);
}

static int32_t DeviceSetRenderState(D3dDevice *self, uint32_t state, uint32_t value)
{
    D3dDeviceRecord *device = RecordOf(self);
    int32_t result = D3dFaultCheck(D3D_CALL_SET_RENDER_STATE);
    const D3dStateRule *rule = state < D3D_RS_COUNT ? FindRule(kRenderStates, state) : nullptr;
    if (result == D3D_OK && (!rule || value < rule->min || value > rule->max)) {
        result = D3D_ERR_INVALID_PARAMS;
        if (!IsCreationWhitelisted(device, state, value))
            D3dViolation("dev%u RS %s %u: invalid value", device->id, D3dRenderStateName(state), value);
    }
    if (result == D3D_OK && state == D3D_RS_FOGENABLE && value == 1)
        D3dViolation("dev%u RS FOGENABLE 1: fog is not drawn", device->id);
    Record(device, D3D_CALL_SET_RENDER_STATE, {state, value}, result);
    if (result == D3D_OK) device->rs[state] = value;
    return result;
}

static int32_t DeviceGetRenderState(D3dDevice *self, uint32_t state, uint32_t *value)
{
    if (!value || state >= D3D_RS_COUNT || !FindRule(kRenderStates, state)) return D3D_ERR_INVALID_PARAMS;
    *value = RecordOf(self)->rs[state];
    return D3D_OK;
}

// ADDRESS sets both directions.
static void StoreStageState(D3dDeviceRecord *device, uint32_t stage, uint32_t state, uint32_t value)
{
    device->tss[stage][state] = value;
    if (state == D3D_TSS_ADDRESS) {
        device->tss[stage][D3D_TSS_ADDRESSU] = value;
        device->tss[stage][D3D_TSS_ADDRESSV] = value;
    }
}


static int32_t DeviceSetTextureStageState(D3dDevice *self, uint32_t stage, uint32_t state, uint32_t value)
{
    D3dDeviceRecord *device = RecordOf(self);
    int32_t result = D3dFaultCheck(D3D_CALL_SET_TEXTURE_STAGE_STATE, stage);
    const D3dStateRule *rule = state < D3D_TSS_COUNT ? FindRule(kStageStates, state) : nullptr;
    if (result == D3D_OK && (stage >= (uint32_t)D3D_MAX_STAGES || !rule || !IsValidStageValue(rule, value))) {
        result = D3D_ERR_INVALID_PARAMS;
        D3dViolation("dev%u TSS %u %s %u: invalid value", device->id, stage, D3dStageStateName(state), value);
    }
    Record(device, D3D_CALL_SET_TEXTURE_STAGE_STATE, {stage, state, value}, result);
    if (result == D3D_OK) StoreStageState(device, stage, state, value);
    return result;
}

static int32_t DeviceGetTextureStageState(D3dDevice *self, uint32_t stage, uint32_t state, uint32_t *value)
{
    if (!value || stage >= (uint32_t)D3D_MAX_STAGES || state >= D3D_TSS_COUNT || !FindRule(kStageStates, state))
        return D3D_ERR_INVALID_PARAMS;
    *value = RecordOf(self)->tss[stage][state];
    return D3D_OK;
}

// Replaces a held surface reference.
static void Rebind(DdSurface **slot, DdSurface *surface)
{
    if (*slot == surface) return;
    D3dHold(surface);
    D3dDrop(*slot);
    *slot = surface;
}

static int32_t DeviceSetTexture(D3dDevice *self, uint32_t stage, DdSurface *texture)
{
    D3dDeviceRecord *device = RecordOf(self);
    D3dSurfaceView view;
    int live = D3dViewOf(texture, &view) == 0;
    int32_t result = D3D_OK;
    if (stage >= (uint32_t)D3D_MAX_STAGES || (texture && !live)) result = D3D_ERR_INVALID_PARAMS;
    else if (texture && !(view.caps & D3D_SURF_TEXTURE))
        D3dViolation("dev%u SetTexture %u surf%u: not a texture", device->id, stage, view.id);
    Record(device, D3D_CALL_SET_TEXTURE, {stage, live ? view.id : 0}, result);
    if (result == D3D_OK) Rebind(&device->textures[stage], texture);
    return result;
}

// D3D_OK when a surface can be drawn into; a violation otherwise.
static int32_t CheckTarget(const D3dSurfaceView *view, uint32_t deviceId)
{
    if (view->caps & (D3D_SURF_SYSTEM_MEMORY | D3D_SURF_ZBUFFER)) {
        D3dViolation("dev%u render target surf%u is not drawable video memory", deviceId, view->id);
        return D3D_ERR_INVALID_TARGET;
    }
    return D3D_OK;
}

static int32_t DeviceSetRenderTarget(D3dDevice *self, DdSurface *target, uint32_t flags)
{
    D3dDeviceRecord *device = RecordOf(self);
    D3dSurfaceView view;
    int live = D3dViewOf(target, &view) == 0;
    int32_t result = live ? CheckTarget(&view, device->id) : D3D_ERR_INVALID_PARAMS;
    Record(device, D3D_CALL_SET_RENDER_TARGET, {live ? view.id : 0}, result);
    if (result != D3D_OK) return result;
    if (device->target != target) device->backend->EndScene(device);
    Rebind(&device->target, target);
    return D3D_OK;
}

static int32_t DeviceSetViewport(D3dDevice *self, const D3dViewport *viewport)
{
    D3dDeviceRecord *device = RecordOf(self);
    int32_t result = viewport ? D3dFaultCheck(D3D_CALL_SET_VIEWPORT) : D3D_ERR_INVALID_PARAMS;
    int entry = viewport ? Record(device, D3D_CALL_SET_VIEWPORT, {viewport->x, viewport->y, viewport->width,
                                                                  viewport->height}, result)
                         : Record(device, D3D_CALL_SET_VIEWPORT, {}, result);
    if (viewport) D3dRecordFloats(entry, &viewport->minZ, 2);
    if (result != D3D_OK) return result;
    D3dSurfaceView view;
    if (D3dViewOf(device->target, &view) == 0 &&
        ((uint64_t)viewport->x + viewport->width > (uint64_t)view.width ||
         (uint64_t)viewport->y + viewport->height > (uint64_t)view.height))
        D3dViolation("dev%u viewport (%u,%u,%u,%u) outside surf%u", device->id, viewport->x, viewport->y,
                     viewport->width, viewport->height, view.id);
    device->viewport = *viewport;
    return D3D_OK;
}

static int32_t DeviceGetViewport(D3dDevice *self, D3dViewport *viewport)
{
    if (!viewport) return D3D_ERR_INVALID_PARAMS;
    *viewport = RecordOf(self)->viewport;
    return D3D_OK;
}

static int32_t DeviceSetTransform(D3dDevice *self, uint32_t kind, const float *matrix16)
{
    D3dDeviceRecord *device = RecordOf(self);
    int32_t result = (kind >= D3D_TS_WORLD && kind < D3D_TS_COUNT && matrix16) ? D3D_OK : D3D_ERR_INVALID_PARAMS;
    int entry = Record(device, D3D_CALL_SET_TRANSFORM, {kind}, result);
    if (matrix16) D3dRecordFloats(entry, matrix16, 16);
    if (result == D3D_OK) memcpy(device->transforms[kind], matrix16, sizeof device->transforms[kind]);
    return result;
}

// ---- scenes and draws ---------------------------------------------------------------------------------
static int32_t DeviceBeginScene(D3dDevice *self)
{
    D3dDeviceRecord *device = RecordOf(self);
    int32_t result = D3dFaultCheck(D3D_CALL_BEGIN_SCENE);
    if (result == D3D_OK && device->inScene) {
        result = D3D_ERR_IN_SCENE;
        D3dViolation("dev%u BeginScene inside a scene", device->id);
    }
    Record(device, D3D_CALL_BEGIN_SCENE, {}, result);
    if (result == D3D_OK) device->inScene = device->drawn = 1;
    return result;
}

static int32_t DeviceEndScene(D3dDevice *self)
{
    D3dDeviceRecord *device = RecordOf(self);
    int32_t result = D3dFaultCheck(D3D_CALL_END_SCENE);
    if (result == D3D_OK && !device->inScene) {
        result = D3D_ERR_NOT_IN_SCENE;
        D3dViolation("dev%u EndScene without a scene", device->id);
    }
    Record(device, D3D_CALL_END_SCENE, {}, result);
    if (result != D3D_OK) return result;
    device->inScene = 0;
    device->backend->EndScene(device);
    return D3D_OK;
}

uint32_t D3dVertexSize(uint32_t fvf)
{
    if ((fvf & 0x00E) != D3D_FVF_XYZRHW || (fvf & ~0x3CEu)) return 0;
    uint32_t texSets = (fvf >> 8) & 0xF;
    if (texSets > 2) return 0;
    return 16 + ((fvf & D3D_FVF_DIFFUSE) ? 4 : 0) + ((fvf & D3D_FVF_SPECULAR) ? 4 : 0) + 8 * texSets;
}

// Vertices a primitive type needs per count: 0 when the count cannot be drawn.
static int IsValidCount(uint32_t type, uint32_t count)
{
    switch (type) {
    case D3D_PT_POINTLIST: return count >= 1;
    case D3D_PT_LINELIST: return count >= 2 && count % 2 == 0;
    case D3D_PT_LINESTRIP: return count >= 2;
    case D3D_PT_TRIANGLELIST: return count >= 3 && count % 3 == 0;
    case D3D_PT_TRIANGLESTRIP:
    case D3D_PT_TRIANGLEFAN: return count >= 3;
    }
    return 0;
}

// The checks every draw shares: scene, target and textures present and not lost or locked.
static int32_t CheckDraw(D3dDeviceRecord *device)
{
    if (!device->inScene) D3dViolation("dev%u draw outside a scene", device->id);
    D3dSurfaceView view;
    if (D3dViewOf(device->target, &view) != 0) return D3D_ERR_INVALID_PARAMS;
    if (view.lost) return D3D_ERR_SURFACE_LOST;
    if (view.locked) D3dViolation("dev%u draw into locked surf%u", device->id, view.id);
    for (int s = 0; s < D3D_MAX_STAGES && device->tss[s][D3D_TSS_COLOROP] != D3D_TOP_DISABLE; s++) {
        if (D3dViewOf(device->textures[s], &view) != 0) continue;
        if (view.lost) return D3D_ERR_SURFACE_LOST;
        if (view.locked) D3dViolation("dev%u draw with locked surf%u", device->id, view.id);
    }
    return D3D_OK;
}

static int32_t DeviceDrawPrimitive(D3dDevice *self, uint32_t type, uint32_t fvf, const void *vertices,
                                   uint32_t count, uint32_t flags)
{
    D3dDeviceRecord *device = RecordOf(self);
    int32_t result = D3dFaultCheck(D3D_CALL_DRAW_PRIMITIVE);
    if (result == D3D_OK && (!vertices || !D3dVertexSize(fvf) || !IsValidCount(type, count)))
        result = D3D_ERR_INVALID_PARAMS;
    if (result == D3D_OK) result = CheckDraw(device);
    int entry = Record(device, D3D_CALL_DRAW_PRIMITIVE, {type, fvf, count}, result);
    if (vertices && D3dVertexSize(fvf)) D3dRecordVertices(entry, fvf, vertices, count);
    if (result != D3D_OK) return result;
    result = device->backend->Draw(device, type, fvf, vertices, count, nullptr, 0);
    D3dRecordResult(entry, result);
    return result;
}

static int32_t DeviceDrawIndexedPrimitive(D3dDevice *self, uint32_t type, uint32_t fvf, const void *vertices,
                                          uint32_t vertexCount, const uint16_t *indices, uint32_t indexCount,
                                          uint32_t flags)
{
    D3dDeviceRecord *device = RecordOf(self);
    int32_t result = D3dFaultCheck(D3D_CALL_DRAW_INDEXED_PRIMITIVE);
    if (result == D3D_OK && (!vertices || !indices || !D3dVertexSize(fvf) || !IsValidCount(type, indexCount)))
        result = D3D_ERR_INVALID_PARAMS;
    for (uint32_t i = 0; result == D3D_OK && i < indexCount; i++)
        if (indices[i] >= vertexCount) result = D3D_ERR_INVALID_PARAMS;  // never read past the vertices
    if (result == D3D_OK) result = CheckDraw(device);
    int entry = Record(device, D3D_CALL_DRAW_INDEXED_PRIMITIVE, {type, fvf, vertexCount, indexCount}, result);
    if (vertices && D3dVertexSize(fvf)) D3dRecordVertices(entry, fvf, vertices, vertexCount);
    if (indices) D3dRecordIndices(entry, indices, indexCount);
    if (result != D3D_OK) return result;
    result = device->backend->Draw(device, type, fvf, vertices, vertexCount, indices, indexCount);
    D3dRecordResult(entry, result);
    return result;
}

// The rectangle of a load, checked against both surfaces. D3D_OK or the refusal.
static int32_t CheckLoad(const D3dSurfaceView *dst, const D3dPoint *point, const D3dSurfaceView *src,
                         const D3dRect *rect, D3dRect *from, D3dPoint *to)
{
    *from = rect ? *rect : D3dRect{0, 0, src->width, src->height};
    *to = point ? *point : D3dPoint{0, 0};
    if (memcmp(&dst->format, &src->format, sizeof dst->format) != 0) return D3D_ERR_INVALID_PIXEL_FORMAT;
    int64_t w = (int64_t)from->right - from->left, h = (int64_t)from->bottom - from->top;
    if (from->left < 0 || from->top < 0 || w <= 0 || h <= 0 || from->right > src->width || from->bottom > src->height)
        return D3D_ERR_INVALID_PARAMS;
    if (to->x < 0 || to->y < 0 || to->x + w > dst->width || to->y + h > dst->height) return D3D_ERR_INVALID_PARAMS;
    if (dst->lost || src->lost) return D3D_ERR_SURFACE_LOST;
    return D3D_OK;
}

// Copies the rows of a checked load between memory pixels.
static void CopyRows(const D3dSurfaceView *dst, D3dPoint to, const D3dSurfaceView *src, D3dRect from)
{
    uint32_t bytes = src->format.bitCount / 8;
    size_t row = (size_t)(from.right - from.left) * bytes;
    for (int y = from.top; y < from.bottom; y++) {
        const uint8_t *s = src->pixels + (ptrdiff_t)src->pitch * y + (size_t)from.left * bytes;
        uint8_t *d = dst->pixels + (ptrdiff_t)dst->pitch * (to.y + y - from.top) + (size_t)to.x * bytes;
        memmove(d, s, row);
    }
}

static int32_t DeviceLoad(D3dDevice *self, DdSurface *dst, const D3dPoint *point, DdSurface *src,
                          const D3dRect *rect, uint32_t flags)
{
    D3dDeviceRecord *device = RecordOf(self);
    D3dSurfaceView dv, sv;
    int live = D3dViewOf(dst, &dv) == 0 && D3dViewOf(src, &sv) == 0;
    D3dRect from = {};
    D3dPoint to = {};
    int32_t result = D3dFaultCheck(D3D_CALL_LOAD);
    if (result == D3D_OK) result = live ? CheckLoad(&dv, point, &sv, rect, &from, &to) : D3D_ERR_INVALID_PARAMS;
    Record(device, D3D_CALL_LOAD, {live ? dv.id : 0, to.x, to.y, live ? sv.id : 0, from.left, from.top, from.right,
                                   from.bottom}, result);
    if (result != D3D_OK) return result;
    device->backend->SyncToMemory(src);
    device->backend->SyncToMemory(dst);
    D3dViewOf(dst, &dv);  // the sync may have written the memory
    D3dViewOf(src, &sv);
    CopyRows(&dv, to, &sv, from);
    device->backend->MarkStale(dst);
    return D3D_OK;
}

static const D3dDeviceFns kDeviceFns = {
    DeviceAddRef, DeviceRelease, DeviceEnumTextureFormats, DeviceSetRenderState, DeviceGetRenderState,
    DeviceSetTextureStageState, DeviceGetTextureStageState, DeviceSetTexture, DeviceSetRenderTarget,
    DeviceSetViewport, DeviceGetViewport, DeviceSetTransform, DeviceBeginScene, DeviceEndScene,
    DeviceDrawPrimitive, DeviceDrawIndexedPrimitive, DeviceLoad,
};

// Makes a device on the back end, rendering into target. D3D_OK or the refusal.
int32_t D3dMakeDevice(const D3dBackend *backend, DdSurface *target, uint32_t objectId, D3dDevice **out)
{
    D3dSurfaceView view;
    if (D3dViewOf(target, &view) != 0) return D3D_ERR_INVALID_PARAMS;
    int32_t check = CheckTarget(&view, 0);
    if (check != D3D_OK) return check;
    D3dDeviceRecord *device = (D3dDeviceRecord *)calloc(1, sizeof *device);
    if (!device) return D3D_ERR_OUT_OF_MEMORY;
    device->object.fn = &kDeviceFns;
    device->refs = 1;
    device->backend = backend;
    SetDefaults(device, &view);
    device->target = target;  // the back end opens on the window it shows in
    if (backend->OpenDevice(device) != 0) {
        free(device);
        return D3D_ERR_INVALID_DEVICE;
    }
    device->id = ++gD3d.nextDeviceId;
    D3dHold(target);
    device->next = gD3d.devices;
    gD3d.devices = device;
    D3dCountObject(D3D_LIVE_DEVICES, 1);
    *out = &device->object;
    return D3D_OK;
}

// ---- surface stand-in calls ---------------------------------------------------------------------------
void D3dSurfaceBeforeCpuAccess(DdSurface *surface)
{
    if (surface) kD3dBackendGl.SyncToMemory(surface);
}

void D3dSurfaceWritten(DdSurface *surface, const D3dRect *rect)
{
    if (surface) D3dGlWritten(surface, rect);
}

void D3dSurfaceGone(DdSurface *surface)
{
    if (surface) kD3dBackendGl.Forget(surface);
}

int D3dSurfaceFill(DdSurface *surface, const D3dRect *rect, uint32_t value)
{
    return surface && rect ? D3dGlFill(surface, rect, value) : 0;
}

int D3dSurfaceCopy(DdSurface *dst, const D3dRect *d, DdSurface *src, const D3dRect *s)
{
    return dst && src && d && s ? D3dGlCopyRect(dst, d, src, s) : 0;
}

int D3dSurfaceSwap(DdSurface *a, DdSurface *b) { return a && b ? D3dGlSwap(a, b) : 0; }

int D3dSurfacePresent(DdSurface *surface, intptr_t window) { return surface ? D3dGlPresent(surface, window) : -1; }
