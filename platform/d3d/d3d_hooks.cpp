// The device's calls to its test hook table, and the state names its violation lines use.
#include <cstdarg>
#include <cstdio>

#include "platform/d3d/d3d_internal.h"

// ---- hook table ---------------------------------------------------------------------------------------
static int NoRecordCall(D3dCallKind kind, char owner, uint32_t ownerId, const int64_t *args, int argCount,
                        int32_t result)
{
    return -1;
}
static void NoRecordVertices(int entry, uint32_t fvf, const void *vertices, uint32_t count) {}
static void NoRecordIndices(int entry, const uint16_t *indices, uint32_t count) {}
static void NoRecordFloats(int entry, const float *values, int count) {}
static void NoRecordResult(int entry, int32_t result) {}
static void NoViolation(const char *line) {}

static const D3dRecorderHooks kNoHooks = {NoRecordCall,   NoRecordVertices, NoRecordIndices,
                                          NoRecordFloats, NoRecordResult,   NoViolation};
static D3dRecorderHooks sHooks = kNoHooks;

void D3dSetRecorderHooks(const D3dRecorderHooks *hooks)
{
    sHooks = hooks ? *hooks : kNoHooks;
    if (!sHooks.RecordCall) sHooks.RecordCall = NoRecordCall;
    if (!sHooks.RecordVertices) sHooks.RecordVertices = NoRecordVertices;
    if (!sHooks.RecordIndices) sHooks.RecordIndices = NoRecordIndices;
    if (!sHooks.RecordFloats) sHooks.RecordFloats = NoRecordFloats;
    if (!sHooks.RecordResult) sHooks.RecordResult = NoRecordResult;
    if (!sHooks.Violation) sHooks.Violation = NoViolation;
}

int D3dRecordCall(D3dCallKind kind, char owner, uint32_t ownerId, const int64_t *args, int argCount, int32_t result)
{
    return sHooks.RecordCall(kind, owner, ownerId, args, argCount, result);
}

void D3dRecordVertices(int entry, uint32_t fvf, const void *vertices, uint32_t count)
{
    sHooks.RecordVertices(entry, fvf, vertices, count);
}

void D3dRecordIndices(int entry, const uint16_t *indices, uint32_t count) { sHooks.RecordIndices(entry, indices, count); }
void D3dRecordFloats(int entry, const float *values, int count) { sHooks.RecordFloats(entry, values, count); }
void D3dRecordResult(int entry, int32_t result) { sHooks.RecordResult(entry, result); }

void D3dViolation(const char *format, ...)
{
    if (sHooks.Violation == NoViolation) return;
    char line[256];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    sHooks.Violation(line);
}

// ---- names ----------------------------------------------------------------------------------------------
static const D3dName kRenderStateNames[] = {
    {4, "TEXTUREPERSPECTIVE"}, {7, "ZENABLE"}, {8, "FILLMODE"}, {9, "SHADEMODE"}, {14, "ZWRITEENABLE"},
    {15, "ALPHATESTENABLE"}, {16, "LASTPIXEL"}, {19, "SRCBLEND"}, {20, "DESTBLEND"}, {22, "CULLMODE"},
    {23, "ZFUNC"}, {24, "ALPHAREF"}, {25, "ALPHAFUNC"}, {26, "DITHERENABLE"}, {27, "ALPHABLENDENABLE"},
    {28, "FOGENABLE"}, {29, "SPECULARENABLE"}, {41, "COLORKEYENABLE"}, {47, "ZBIAS"}, {52, "STENCILENABLE"},
    {60, "TEXTUREFACTOR"}, {136, "CLIPPING"}, {137, "LIGHTING"}, {144, "COLORKEYBLENDENABLE"},
    {145, "DIFFUSEMATERIALSOURCE"}, {146, "SPECULARMATERIALSOURCE"},
};
static const D3dName kStageStateNames[] = {
    {1, "COLOROP"}, {2, "COLORARG1"}, {3, "COLORARG2"}, {4, "ALPHAOP"}, {5, "ALPHAARG1"}, {6, "ALPHAARG2"},
    {11, "TEXCOORDINDEX"}, {12, "ADDRESS"}, {13, "ADDRESSU"}, {14, "ADDRESSV"}, {16, "MAGFILTER"},
    {17, "MINFILTER"}, {18, "MIPFILTER"},
};

const char *D3dNameOf(const D3dName *table, int count, uint32_t value)
{
    for (int i = 0; i < count; i++)
        if (table[i].value == value) return table[i].name;
    return nullptr;
}

const char *D3dRenderStateName(uint32_t state)
{
    const char *name = D3dNameOf(kRenderStateNames, (int)(sizeof kRenderStateNames / sizeof kRenderStateNames[0]), state);
    return name ? name : "?";
}

const char *D3dStageStateName(uint32_t state)
{
    const char *name = D3dNameOf(kStageStateNames, (int)(sizeof kStageStateNames / sizeof kStageStateNames[0]), state);
    return name ? name : "?";
}
