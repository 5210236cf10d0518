// Blend inputs of a device slot and their application: the blend-mode table, the texture-stage
// programs, the blend-graph ramp, and the send of only what differs from the cache.
#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"

#define NS STAGE_VALUE_NOT_SENT
#define BLEND_MODE_COUNT 12

struct StageValues {
    uint16_t alphaOp, alphaArg1, alphaArg2, colorOp, colorArg1, colorArg2;
};
struct StageProgram {
    uint32_t count;
    StageValues stages[D3D_STAGE_COUNT];
};

// DESTBLEND, SRCBLEND (-1: not sent) and program kind (0 ordinary, 1 alpha-weighted, 2 inverted colour).
static const int32_t kBlendModeTable[BLEND_MODE_COUNT][3] = {
    {-1, -1, 0},
    {D3D_BLEND_INVSRCALPHA, D3D_BLEND_SRCALPHA, 0},
    {D3D_BLEND_ONE, D3D_BLEND_SRCALPHA, 0},
    {D3D_BLEND_ZERO, D3D_BLEND_INVDESTCOLOR, 0},
    {D3D_BLEND_SRCCOLOR, D3D_BLEND_ZERO, 0},
    {D3D_BLEND_ONE, D3D_BLEND_SRCALPHA, 0},
    {-1, -1, 0},
    {-1, -1, 0},
    {D3D_BLEND_ONE, D3D_BLEND_ZERO, 0},
    {D3D_BLEND_ZERO, D3D_BLEND_INVDESTCOLOR, 0},
    {D3D_BLEND_INVSRCALPHA, D3D_BLEND_SRCALPHA, 2},
    {D3D_BLEND_SRCCOLOR, D3D_BLEND_ZERO, 1},
};

static void AddStage(StageProgram *program, uint16_t alphaOp, uint16_t a1, uint16_t a2, uint16_t colorOp, uint16_t c1,
                     uint16_t c2)
{
    program->stages[program->count++] = StageValues{alphaOp, a1, a2, colorOp, c1, c2};
}

// The one-stage program of untextured draws.
static void BuildUntexturedProgram(StageProgram *program, uint32_t mode, int kind)
{
    program->count = 0;
    if (mode == 3) AddStage(program, D3D_TOP_SELECTARG2, NS, D3D_TA_DIFFUSE, D3D_TOP_SELECTARG1, D3D_TA_DIFFUSE, NS);
    else if (kind == 1)
        AddStage(program, D3D_TOP_SELECTARG2, NS, D3D_TA_DIFFUSE, D3D_TOP_BLENDDIFFUSEALPHA, D3D_TA_DIFFUSE, D3D_TA_TFACTOR);
    else if (kind == 2)
        AddStage(program, D3D_TOP_SELECTARG2, NS, D3D_TA_DIFFUSE, D3D_TOP_SELECTARG1,
                 D3D_TA_DIFFUSE | D3D_TA_COMPLEMENT, NS);
    else AddStage(program, D3D_TOP_SELECTARG2, NS, D3D_TA_DIFFUSE, D3D_TOP_SELECTARG2, NS, D3D_TA_DIFFUSE);
}

// The textured programs of the kind groups 0, 1 and 2: d multiplies colour by diffuse, p alpha by
// diffuse alpha, s is 0 (no alpha), 1 (alpha channel) or 2 (alpha test).
static void BuildKindProgram(StageProgram *program, int kind, int d, int p, int s)
{
    program->count = 0;
    uint16_t texture = kind == 2 ? D3D_TA_TEXTURE | D3D_TA_COMPLEMENT : D3D_TA_TEXTURE;
    uint16_t colorOp = d ? D3D_TOP_MODULATE : D3D_TOP_SELECTARG1;
    uint16_t colorArg2 = d ? (uint16_t)D3D_TA_DIFFUSE : (uint16_t)NS;
    if (s == 0) AddStage(program, D3D_TOP_SELECTARG2, NS, D3D_TA_DIFFUSE, colorOp, texture, colorArg2);
    else if (p) AddStage(program, D3D_TOP_MODULATE, D3D_TA_TEXTURE, D3D_TA_DIFFUSE, colorOp, texture, colorArg2);
    else AddStage(program, D3D_TOP_SELECTARG1, D3D_TA_TEXTURE, NS, colorOp, texture, colorArg2);
    if (kind == 1)
        AddStage(program, D3D_TOP_SELECTARG1, D3D_TA_CURRENT, NS, D3D_TOP_BLENDCURRENTALPHA, D3D_TA_CURRENT,
                 D3D_TA_TFACTOR);
}

// The blend-graph programs: the blend texture on stage 0, the image on stage 1 (2 with an alpha channel).
static void BuildBlendGraphProgram(StageProgram *program, int d, int p, int s)
{
    program->count = 0;
    uint16_t colorOp = d ? D3D_TOP_MODULATE : D3D_TOP_SELECTARG1;
    uint16_t colorArg2 = d ? (uint16_t)D3D_TA_DIFFUSE : (uint16_t)NS;
    AddStage(program, D3D_TOP_ADD, D3D_TA_TEXTURE, D3D_TA_TFACTOR, D3D_TOP_SELECTARG2, NS, D3D_TA_DIFFUSE);
    if (s == 0) {
        if (p) AddStage(program, D3D_TOP_MODULATE, D3D_TA_DIFFUSE, D3D_TA_CURRENT, colorOp, D3D_TA_TEXTURE, colorArg2);
        else AddStage(program, D3D_TOP_MODULATE, D3D_TA_CURRENT, D3D_TA_DIFFUSE, colorOp, D3D_TA_TEXTURE, colorArg2);
        return;
    }
    if (s == 1)
        AddStage(program, D3D_TOP_MODULATE, D3D_TA_SPECULAR, D3D_TA_CURRENT, D3D_TOP_SELECTARG1, D3D_TA_CURRENT, NS);
    AddStage(program, D3D_TOP_MODULATE, D3D_TA_TEXTURE, D3D_TA_CURRENT, colorOp, D3D_TA_TEXTURE, colorArg2);
    if (p) AddStage(program, D3D_TOP_MODULATE, D3D_TA_DIFFUSE, D3D_TA_CURRENT, D3D_TOP_SELECTARG1, D3D_TA_CURRENT, NS);
}

// The texture factor of a blend-graph ramp (border range above 1), and the ALPHAOPs of stages 0 and 1.
static uint32_t BlendRampTextureFactor(int b, int r, StageProgram *program)
{
    int scale = r <= 64 ? 1280 : r <= 128 ? 768 : 512;
    int edge = r <= 64 ? 1024 : r <= 128 ? 512 : 256;
    int gain = r <= 64 ? 64 : r <= 128 ? 128 : 255;
    program->stages[1].alphaOp = r <= 64 ? D3D_TOP_MODULATE4X : r <= 128 ? D3D_TOP_MODULATE2X : D3D_TOP_MODULATE;
    int e = scale - (scale * b / 255);
    int alpha;
    if (e < edge) {
        alpha = 255 - (255 * e / edge);
        program->stages[0].alphaOp = D3D_TOP_SUBTRACT;
    } else {
        alpha = (e - edge) * gain / 256;
        program->stages[0].alphaOp = D3D_TOP_ADD;
    }
    return ((uint32_t)alpha << 24) | 0x00FFFFFF;
}

// ---- input setters --------------------------------------------------------------------------------

// Records a change of the inputs: flush first, then the caller stores, blend state dirty.
static Device3DRecord *BeginInputChange(uint32_t slot)
{
    G_D3D_FlushDeviceBatch(slot);
    Device3DRecord *record = LookupLiveDevice3D(slot);
    record->blendDirty = 1;
    return record;
}

int G_D3D_SetBlendModeState(uint32_t slot, uint32_t alphaCh, uint32_t alphaTest, uint32_t mode)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (!record->force && record->alphaChFlag == alphaCh && record->alphaTestFlag == alphaTest &&
        record->blendMode == mode)
        return 0;
    BeginInputChange(slot);
    record->alphaChFlag = alphaCh, record->alphaTestFlag = alphaTest, record->blendMode = mode;
    return 0;
}

static int SetInputFlag(uint32_t slot, uint32_t Device3DRecord::*field, uint32_t flag)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (!record->force && record->*field == flag) return 0;
    BeginInputChange(slot)->*field = flag;
    return 0;
}

int G_D3D_SetDiffuseColorFlag(uint32_t slot, uint32_t flag)
{
    return SetInputFlag(slot, &Device3DRecord::diffuseColorFlag, flag);
}
int G_D3D_SetDiffuseAlphaFlag(uint32_t slot, uint32_t flag)
{
    return SetInputFlag(slot, &Device3DRecord::diffuseAlphaFlag, flag);
}

int G_D3D_SetBlendTextureState(uint32_t slot, DdSurface *texture, int borderParam, int borderRange)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    int unchanged = texture ? texture == record->blendTexture && borderParam == record->borderParam &&
                                  (uint32_t)borderRange == record->borderRange
                            : record->blendTexture == nullptr;
    if (!record->force && unchanged) return 0;
    BeginInputChange(slot);
    record->blendTexture = texture;
    if (borderParam != -1) record->borderParam = borderParam;
    if (borderRange != -1) record->borderRange = (uint32_t)borderRange;
    return 0;
}

int G_D3D_BindBlendTexture(GraphRecord *graph, int borderParam, int borderRange)
{
    uint32_t slot = GDirect3D.currentSlot;
    if (!graph) {
        Device3DRecord *record = LookupLiveDevice3D(slot);
        if (!record || (!record->force && !record->blendTexture)) return 0;
        return G_D3D_SetBlendTextureState(slot, nullptr, borderParam, borderRange);
    }
    const Surface3DData *piece = graph->pieces.count > 0 ? GetSurface3DData(graph->pieces.handles[0]) : nullptr;
    const SurfaceDataRecord *data = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
    if (!data) return -1;
    G_D3D_SetBlendTextureState(slot, (DdSurface *)data->ddSurface, borderParam, borderRange);
    GDirect3D.blendWidth = (float)data->width;
    GDirect3D.blendHeight = (float)data->height;
    GDirect3D.blendInvWidth = 1.0f / (float)data->width;
    GDirect3D.blendInvHeight = 1.0f / (float)data->height;
    return 0;
}

// ---- application --------------------------------------------------------------------------------

// Sends one cached render state when forced or different; -1 values are the cached one again.
static void SendBlendState(Device3DRecord *record, uint32_t state, uint32_t Device3DRecord::*field, int64_t value)
{
    if (value < 0) {
        if (!record->force) return;
        value = record->*field;
    }
    if (!record->force && record->*field == (uint32_t)value) return;
    record->device->fn->SetRenderState(record->device, state, (uint32_t)value);
    record->*field = (uint32_t)value;
}

static void SendStageValue(Device3DRecord *record, uint32_t stage, uint32_t state, uint16_t StageRecord::*field,
                           uint16_t value)
{
    StageRecord &cached = record->stages[stage];
    if (value == NS || (!record->force && cached.*field == value)) return;
    record->device->fn->SetTextureStageState(record->device, stage, state, value);
    cached.*field = value;
}

// The stage the image texture sits on.
static uint32_t ImageStage(const Device3DRecord *record)
{
    if (!record->blendTexture) return 0;
    return record->alphaChFlag ? 2 : 1;
}

// What a full rebuild chose: the ten blend render states (-1: keep the cached one), the program, the
// stage textures and the vertex type.
struct BlendChoice {
    int64_t srcBlend, destBlend;
    uint32_t alphaTestEnable, alphaRef, alphaFunc, alphaBlendEnable, textureFactor, vertexType;
    StageProgram program;
    DdSurface *textures[D3D_STAGE_COUNT];
};

// The full rebuild's choice from the recorded inputs; sets the skip flag.
static void ChooseBlendState(Device3DRecord *record, BlendChoice *c)
{
    // Modes without a row draw nothing: their batches are thrown away.
    int validMode = record->blendMode < BLEND_MODE_COUNT;
    const int32_t *row = kBlendModeTable[validMode ? record->blendMode : 0];
    int kind = row[2];
    uint32_t blending = record->blendMode != 0 && record->blendMode != 6;
    int d = record->diffuseColorFlag != 0, p = record->diffuseAlphaFlag != 0;
    int s = record->alphaChFlag ? 1 : record->alphaTestFlag ? 2 : 0;
    *c = BlendChoice{};
    c->destBlend = row[0], c->srcBlend = row[1];
    c->alphaRef = record->alphaRef, c->alphaFunc = record->alphaFunc;
    c->textureFactor = 0xFFFFFFFF;

    if (!record->currentTexture) {
        record->skip = 0;
        BuildUntexturedProgram(&c->program, record->blendMode, kind);
        c->alphaBlendEnable = blending;
        c->vertexType = VERTEX_TYPE_COLOR;
    } else if (record->blendTexture) {
        BuildBlendGraphProgram(&c->program, d, p, s);
        c->vertexType = VERTEX_TYPE_BLEND;
        if (!blending) c->srcBlend = D3D_BLEND_SRCALPHA, c->destBlend = D3D_BLEND_INVSRCALPHA;
        record->skip = record->borderParam == 255;
        c->textures[0] = record->blendTexture;
        c->textures[record->alphaChFlag ? 2 : 1] = record->currentTexture;
        if (record->borderRange <= 1) {
            c->alphaTestEnable = 1;
            c->alphaRef = (uint32_t)record->borderParam;
            if ((record->alphaChFlag || record->alphaTestFlag) && record->borderParam == 0) c->alphaRef = 1;
            c->alphaFunc = D3D_CMP_GREATEREQUAL;
            c->alphaBlendEnable = 0;
            c->textureFactor = 0x00FFFFFF;
        } else {
            c->alphaBlendEnable = 1;
            c->textureFactor = BlendRampTextureFactor(record->borderParam, (int)record->borderRange, &c->program);
        }
    } else {
        record->skip = 0;
        BuildKindProgram(&c->program, kind, d, p, s);
        c->vertexType = VERTEX_TYPE_TEXTURED;
        c->textures[0] = record->currentTexture;
        if (record->alphaTestFlag) c->alphaTestEnable = 1, c->alphaRef = 16, c->alphaFunc = D3D_CMP_GREATER;
        else if (record->zEnable) c->alphaTestEnable = 1, c->alphaRef = 0, c->alphaFunc = D3D_CMP_GREATER;
        if (!record->alphaTestFlag && record->alphaChFlag && !blending)
            c->srcBlend = D3D_BLEND_SRCALPHA, c->destBlend = D3D_BLEND_INVSRCALPHA;
        c->alphaBlendEnable = record->alphaChFlag || blending;
    }
    if (!validMode) record->skip = 1;
}

// Sends the choice: the render states, then per stage (the terminator included) the texture and
// the six stage values, each only when forced or different from the cache.
static void SendBlendChoice(Device3DRecord *record, BlendChoice *c)
{
    D3dDevice *device = record->device;
    StageProgram &program = c->program;
    uint32_t sendStages = program.count + 1 < D3D_STAGE_COUNT ? program.count + 1 : D3D_STAGE_COUNT;
    if (program.count < D3D_STAGE_COUNT)
        program.stages[program.count] = StageValues{D3D_TOP_DISABLE, NS, NS, D3D_TOP_DISABLE, NS, NS};

    SendBlendState(record, D3D_RS_DIFFUSEMATERIALSOURCE, &Device3DRecord::diffuseMaterialSource, 1);
    SendBlendState(record, D3D_RS_SPECULARMATERIALSOURCE, &Device3DRecord::specularMaterialSource, 2);
    SendBlendState(record, D3D_RS_SPECULARENABLE, &Device3DRecord::specularEnable, 0);
    SendBlendState(record, D3D_RS_ALPHAFUNC, &Device3DRecord::alphaFunc, c->alphaFunc);
    SendBlendState(record, D3D_RS_ALPHAREF, &Device3DRecord::alphaRef, c->alphaRef);
    SendBlendState(record, D3D_RS_ALPHATESTENABLE, &Device3DRecord::alphaTestEnable, c->alphaTestEnable);
    SendBlendState(record, D3D_RS_ALPHABLENDENABLE, &Device3DRecord::alphaBlendEnable, c->alphaBlendEnable);
    SendBlendState(record, D3D_RS_TEXTUREFACTOR, &Device3DRecord::textureFactor, c->textureFactor);
    SendBlendState(record, D3D_RS_SRCBLEND, &Device3DRecord::srcBlend, c->srcBlend);
    SendBlendState(record, D3D_RS_DESTBLEND, &Device3DRecord::destBlend, c->destBlend);
    for (uint32_t stage = 0; stage < sendStages; stage++) {
        if (record->force || record->stages[stage].texture != c->textures[stage]) {
            device->fn->SetTexture(device, stage, c->textures[stage]);
            record->stages[stage].texture = c->textures[stage];
        }
        const StageValues &v = program.stages[stage];
        SendStageValue(record, stage, D3D_TSS_ALPHAOP, &StageRecord::alphaOp, v.alphaOp);
        SendStageValue(record, stage, D3D_TSS_ALPHAARG1, &StageRecord::alphaArg1, v.alphaArg1);
        SendStageValue(record, stage, D3D_TSS_ALPHAARG2, &StageRecord::alphaArg2, v.alphaArg2);
        SendStageValue(record, stage, D3D_TSS_COLOROP, &StageRecord::colorOp, v.colorOp);
        SendStageValue(record, stage, D3D_TSS_COLORARG1, &StageRecord::colorArg1, v.colorArg1);
        SendStageValue(record, stage, D3D_TSS_COLORARG2, &StageRecord::colorArg2, v.colorArg2);
    }
}

int G_D3D_ApplyBlendState(uint32_t slot)
{
    Device3DRecord *record = LookupLiveDevice3D(slot);
    if (!record) return -1;
    if (!record->force) {
        if (!record->blendDirty && !record->textureDirty) return -1;
        if (!record->blendDirty) {
            // Only the texture changed: bind it alone, no render state.
            uint32_t stage = ImageStage(record);
            record->device->fn->SetTexture(record->device, stage, record->currentTexture);
            record->stages[stage].texture = record->currentTexture;
            record->textureDirty = 0;
            return 0;
        }
    }
    record->blendDirty = record->textureDirty = 0;
    BlendChoice choice;
    ChooseBlendState(record, &choice);
    // Every input setter has flushed, so the batch is empty when its vertex type changes.
    record->vertexType = choice.vertexType;
    ResetVertexBatch(record);
    if (choice.program.count != record->stageCount) {
        record->stageCount = choice.program.count;
        uint32_t force = record->force;
        record->force = 1;
        G_D3D_SetDeviceSamplingMode(slot, record->samplingMode);
        record->force = force;
    }
    SendBlendChoice(record, &choice);
    return 0;
}
