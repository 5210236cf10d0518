// The call recorder of the 3-D stand-in (one ordered log with decoded vertices and a canonical text
// per call), fault injection per call kind, strict-mode violation lines, the live-object counts and the
// back end's work counters.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d/d3d_internal.h"
#include "testsupport/d3d/d3d_test.h"
#include "testsupport/standin_live.h"

// ---- names ----------------------------------------------------------------------------------------------
static const D3dName kOpNames[] = {
    {1, "DISABLE"}, {2, "SELECTARG1"}, {3, "SELECTARG2"}, {4, "MODULATE"}, {5, "MODULATE2X"}, {6, "MODULATE4X"},
    {7, "ADD"}, {8, "ADDSIGNED"}, {10, "SUBTRACT"}, {11, "ADDSMOOTH"}, {12, "BLENDDIFFUSEALPHA"},
    {13, "BLENDTEXTUREALPHA"}, {14, "BLENDFACTORALPHA"}, {16, "BLENDCURRENTALPHA"},
};
static const D3dName kArgNames[] = {{0, "DIFFUSE"}, {1, "CURRENT"}, {2, "TEXTURE"}, {3, "TFACTOR"}, {4, "SPECULAR"}};
static const D3dName kPrimitiveNames[] = {{1, "POINTLIST"}, {2, "LINELIST"}, {3, "LINESTRIP"},
                                          {4, "TRIANGLELIST"}, {5, "TRIANGLESTRIP"}, {6, "TRIANGLEFAN"}};
static const D3dName kTransformNames[] = {{1, "WORLD"}, {2, "VIEW"}, {3, "PROJECTION"},
                                          {4, "WORLD1"}, {5, "WORLD2"}, {6, "WORLD3"}};

template <size_t N>
static const char *NameOf(const D3dName (&table)[N], uint32_t value)
{
    return D3dNameOf(table, (int)N, value);
}

// ---- log ------------------------------------------------------------------------------------------------
#define D3D_MAX_ARGS 8
#define D3D_MAX_ENTRIES 1000000  // a runaway recording stops growing here

struct D3dEntry {
    D3dCallKind kind;
    char owner;         // 'o' object, 'd' device
    uint32_t ownerId;
    int argCount;
    int64_t args[D3D_MAX_ARGS];
    int32_t result;
    int vertexStart, vertexCount;  // into the vertex pool
    int indexStart, indexCount;
    int floatStart, floatCount;
};

struct D3dRecorder {
    int on;
    std::vector<D3dEntry> entries;
    std::vector<D3dRecordedVertex> vertices;
    std::vector<uint16_t> indices;
    std::vector<float> floats;
    std::string text;
};
static D3dRecorder sLog;

void D3dTestRecord(int on) { sLog.on = on ? 1 : 0; }

void D3dTestClearLog(void)
{
    sLog.entries.clear();
    sLog.vertices.clear();
    sLog.indices.clear();
    sLog.floats.clear();
}

int D3dTestMark(void) { return (int)sLog.entries.size(); }
int D3dTestLogCount(void) { return (int)sLog.entries.size(); }

static int RecordCall(D3dCallKind kind, char owner, uint32_t ownerId, const int64_t *args, int argCount,
                      int32_t result)
{
    if (!sLog.on || sLog.entries.size() >= D3D_MAX_ENTRIES) return -1;
    D3dEntry entry = {};
    entry.kind = kind;
    entry.owner = owner;
    entry.ownerId = ownerId;
    entry.argCount = argCount < D3D_MAX_ARGS ? argCount : D3D_MAX_ARGS;
    for (int i = 0; i < entry.argCount; i++) entry.args[i] = args[i];
    entry.result = result;
    sLog.entries.push_back(entry);
    return (int)sLog.entries.size() - 1;
}

static void RecordResult(int entry, int32_t result)
{
    if (entry >= 0 && entry < (int)sLog.entries.size()) sLog.entries[(size_t)entry].result = result;
}

// Reads the float at a byte offset of a vertex.
static float FloatAt(const uint8_t *v, uint32_t offset)
{
    float f;
    memcpy(&f, v + offset, sizeof f);
    return f;
}

static uint32_t WordAt(const uint8_t *v, uint32_t offset)
{
    uint32_t w;
    memcpy(&w, v + offset, sizeof w);
    return w;
}

static void RecordVertices(int entry, uint32_t fvf, const void *vertices, uint32_t count)
{
    if (entry < 0 || entry >= (int)sLog.entries.size()) return;
    uint32_t size = D3dVertexSize(fvf);
    D3dEntry &e = sLog.entries[(size_t)entry];
    e.vertexStart = (int)sLog.vertices.size();
    e.vertexCount = (int)count;
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *v = (const uint8_t *)vertices + (size_t)size * i;
        D3dRecordedVertex out = {FloatAt(v, 0), FloatAt(v, 4), FloatAt(v, 8), FloatAt(v, 12), 0xFFFFFFFF, 0,
                                 0, 0, 0, 0};
        uint32_t at = 16;
        if (fvf & D3D_FVF_DIFFUSE) out.diffuse = WordAt(v, at), at += 4;
        if (fvf & D3D_FVF_SPECULAR) out.specular = WordAt(v, at), at += 4;
        uint32_t sets = (fvf >> 8) & 0xF;
        if (sets >= 1) out.u0 = FloatAt(v, at), out.v0 = FloatAt(v, at + 4);
        if (sets >= 2) out.u1 = FloatAt(v, at + 8), out.v1 = FloatAt(v, at + 12);
        sLog.vertices.push_back(out);
    }
}

static void RecordIndices(int entry, const uint16_t *indices, uint32_t count)
{
    if (entry < 0 || entry >= (int)sLog.entries.size()) return;
    D3dEntry &e = sLog.entries[(size_t)entry];
    e.indexStart = (int)sLog.indices.size();
    e.indexCount = (int)count;
    sLog.indices.insert(sLog.indices.end(), indices, indices + count);
}

static void RecordFloats(int entry, const float *values, int count)
{
    if (entry < 0 || entry >= (int)sLog.entries.size()) return;
    D3dEntry &e = sLog.entries[(size_t)entry];
    e.floatStart = (int)sLog.floats.size();
    e.floatCount = count;
    sLog.floats.insert(sLog.floats.end(), values, values + count);
}

const D3dRecordedVertex *D3dTestLogVertices(int entry, int *count)
{
    *count = 0;
    if (entry < 0 || entry >= (int)sLog.entries.size() || !sLog.entries[(size_t)entry].vertexCount) return nullptr;
    *count = sLog.entries[(size_t)entry].vertexCount;
    return &sLog.vertices[(size_t)sLog.entries[(size_t)entry].vertexStart];
}

const uint16_t *D3dTestLogIndices(int entry, int *count)
{
    *count = 0;
    if (entry < 0 || entry >= (int)sLog.entries.size() || !sLog.entries[(size_t)entry].indexCount) return nullptr;
    *count = sLog.entries[(size_t)entry].indexCount;
    return &sLog.indices[(size_t)sLog.entries[(size_t)entry].indexStart];
}

D3dCallKind D3dTestLogKind(int entry)
{
    return entry >= 0 && entry < (int)sLog.entries.size() ? sLog.entries[(size_t)entry].kind : D3D_CALL_KIND_COUNT;
}

// ---- canonical text --------------------------------------------------------------------------------------
// Appends printf-style text.
static void Append(std::string *out, const char *format, ...) __attribute__((format(printf, 2, 3)));
static void Append(std::string *out, const char *format, ...)
{
    char buffer[256];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buffer, sizeof buffer, format, ap);
    va_end(ap);
    *out += buffer;
}

// A surface id as text.
static void AppendSurface(std::string *out, int64_t id)
{
    if (id) Append(out, "surf%lld", (long long)id);
    else *out += "null";
}

// A stage argument: its name with its modifiers.
static void AppendArg(std::string *out, uint32_t value)
{
    const char *name = NameOf(kArgNames, value & 0xF);
    if (name) *out += name;
    else Append(out, "%u", value & 0xF);
    if (value & D3D_TA_COMPLEMENT) *out += "|COMPLEMENT";
    if (value & D3D_TA_ALPHAREPLICATE) *out += "|ALPHAREPLICATE";
}

static void AppendStageState(std::string *out, const D3dEntry &e)
{
    uint32_t state = (uint32_t)e.args[1], value = (uint32_t)e.args[2];
    Append(out, " TSS %u %s ", (uint32_t)e.args[0], D3dStageStateName(state));
    const char *op = (state == D3D_TSS_COLOROP || state == D3D_TSS_ALPHAOP) ? NameOf(kOpNames, value) : nullptr;
    int isArg = state == D3D_TSS_COLORARG1 || state == D3D_TSS_COLORARG2 || state == D3D_TSS_ALPHAARG1 ||
                state == D3D_TSS_ALPHAARG2;
    if (op) *out += op;
    else if (isArg) AppendArg(out, value);
    else Append(out, "%u", value);
}

// The value of a render state; TEXTUREFACTOR in hex.
static void AppendRenderState(std::string *out, const D3dEntry &e)
{
    uint32_t state = (uint32_t)e.args[0], value = (uint32_t)e.args[1];
    Append(out, " RS %s ", D3dRenderStateName(state));
    if (state == D3D_RS_TEXTUREFACTOR) Append(out, "0x%08X", value);
    else Append(out, "%u", value);
}

// The part of the text after the owner.
static void AppendCall(std::string *out, const D3dEntry &e)
{
    const char *name;
    switch (e.kind) {
    case D3D_CALL_CREATE_OBJECT: *out += " Create"; break;
    case D3D_CALL_OBJECT_RELEASE:
    case D3D_CALL_DEVICE_RELEASE: Append(out, " Release %d", e.result); return;
    case D3D_CALL_ENUM_DEVICES: *out += " EnumDevices"; break;
    case D3D_CALL_ENUM_ZBUFFER_FORMATS: *out += " EnumZBufferFormats"; break;
    case D3D_CALL_CREATE_DEVICE:
        *out += e.args[0] == 2 ? " CreateDevice TNLHAL " : e.args[0] ? " CreateDevice HAL " : " CreateDevice ? ";
        AppendSurface(out, e.args[1]);
        break;
    case D3D_CALL_ENUM_TEXTURE_FORMATS: *out += " EnumTextureFormats"; break;
    case D3D_CALL_SET_RENDER_STATE: AppendRenderState(out, e); break;
    case D3D_CALL_SET_TEXTURE_STAGE_STATE: AppendStageState(out, e); break;
    case D3D_CALL_SET_TEXTURE:
        Append(out, " SetTexture %lld ", (long long)e.args[0]);
        AppendSurface(out, e.args[1]);
        break;
    case D3D_CALL_SET_RENDER_TARGET:
        *out += " SetRenderTarget ";
        AppendSurface(out, e.args[0]);
        break;
    case D3D_CALL_SET_VIEWPORT:
        if (e.argCount < 4) *out += " SetViewport null";
        else Append(out, " SetViewport %lld %lld %lld %lld %g %g", (long long)e.args[0], (long long)e.args[1],
                    (long long)e.args[2], (long long)e.args[3], (double)sLog.floats[(size_t)e.floatStart],
                    (double)sLog.floats[(size_t)e.floatStart + 1]);
        break;
    case D3D_CALL_SET_TRANSFORM:
        name = NameOf(kTransformNames, (uint32_t)e.args[0]);
        Append(out, " SetTransform %s", name ? name : "?");
        break;
    case D3D_CALL_BEGIN_SCENE: *out += " BeginScene"; break;
    case D3D_CALL_END_SCENE: *out += " EndScene"; break;
    case D3D_CALL_DRAW_PRIMITIVE:
    case D3D_CALL_DRAW_INDEXED_PRIMITIVE:
        name = NameOf(kPrimitiveNames, (uint32_t)e.args[0]);
        Append(out, " %s %s 0x%llX %lld", e.kind == D3D_CALL_DRAW_PRIMITIVE ? "DrawPrimitive" : "DrawIndexedPrimitive",
               name ? name : "?", (unsigned long long)e.args[1], (long long)e.args[2]);
        if (e.kind == D3D_CALL_DRAW_INDEXED_PRIMITIVE) Append(out, " %lld", (long long)e.args[3]);
        break;
    case D3D_CALL_LOAD:
        *out += " Load ";
        AppendSurface(out, e.args[0]);
        Append(out, " (%lld,%lld) ", (long long)e.args[1], (long long)e.args[2]);
        AppendSurface(out, e.args[3]);
        Append(out, " (%lld,%lld,%lld,%lld)", (long long)e.args[4], (long long)e.args[5], (long long)e.args[6],
               (long long)e.args[7]);
        break;
    case D3D_CALL_KIND_COUNT: break;
    }
    if (e.result != D3D_OK) Append(out, " -> 0x%08X", (uint32_t)e.result);
}

const char *D3dTestLogText(int from, int kind)
{
    sLog.text.clear();
    for (size_t i = from > 0 ? (size_t)from : 0; i < sLog.entries.size(); i++) {
        const D3dEntry &e = sLog.entries[i];
        if (kind >= 0 && (int)e.kind != kind) continue;
        Append(&sLog.text, "%s%u", e.owner == 'o' ? "d3d" : "dev", e.ownerId);
        AppendCall(&sLog.text, e);
        sLog.text += '\n';
    }
    return sLog.text.c_str();
}

// ---- faults ----------------------------------------------------------------------------------------------
struct D3dFault {
    int32_t code;
    int count;  // calls left to fail; -1: every call; 0: off
    int skip;   // calls that still pass first
};
static D3dFault sFaults[D3D_CALL_KIND_COUNT];
static int sFailStage = -1;  // SetTextureStageState fails only on this stage (-1: any)

void D3dTestFail(D3dCallKind kind, int32_t code, int count, int skip)
{
    if ((int)kind < 0 || kind >= D3D_CALL_KIND_COUNT) return;
    sFaults[kind] = {code, count, skip > 0 ? skip : 0};
}

void D3dTestFailStage(int stage) { sFailStage = stage; }

// The fault hook: the injected result of this call, or D3D_OK.
static int32_t FaultCheck(int kind, int64_t stage)
{
    if (kind < 0 || kind >= D3D_CALL_KIND_COUNT) return D3D_OK;
    if (kind == D3D_CALL_SET_TEXTURE_STAGE_STATE && sFailStage >= 0 && stage != sFailStage) return D3D_OK;
    D3dFault *fault = &sFaults[kind];
    if (fault->count == 0) return D3D_OK;
    if (fault->skip > 0) {
        fault->skip--;
        return D3D_OK;
    }
    if (fault->count > 0) fault->count--;
    return fault->code;
}

// ---- strict mode -----------------------------------------------------------------------------------------
struct D3dStrict {
    int on;
    int count;
    std::string lines;
};
static D3dStrict sStrict;

void D3dTestStrict(int on) { sStrict.on = on ? 1 : 0; }
int D3dTestViolationCount(void) { return sStrict.count; }
const char *D3dTestViolations(void) { return sStrict.lines.c_str(); }

static void Violation(const char *line)
{
    if (!sStrict.on) return;
    sStrict.count++;
    sStrict.lines += line;
    sStrict.lines += '\n';
}

void D3dTestReset(void)
{
    memset(sFaults, 0, sizeof sFaults);
    sFailStage = -1;
    sStrict.count = 0;
    sStrict.lines.clear();
    D3dTestClearLog();
    D3dTestResetLists();
    D3dSelectBackend(nullptr);
    gD3d.nextObjectId = gD3d.nextDeviceId = 0;  // texts of the next test start at d3d1 / dev1
}

// ---- live objects (the object hook) -----------------------------------------------------------------------
static StandInLiveTable sLive;

static void CountObject(int kind, int delta) { StandInLiveAdd(&sLive, kind, delta); }

int D3dTestLiveCount(D3dLiveKind kind) { return StandInLiveCount(&sLive, kind); }

// ---- the back end's work (the record hook; from any thread) ------------------------------------------------
static std::atomic<uint64_t> sCounts[D3D_COUNT_KIND_COUNT];

static void Count(const void *entry)
{
    const D3dCountKind kind = *(const D3dCountKind *)entry;
    if ((unsigned)kind < D3D_COUNT_KIND_COUNT) sCounts[kind]++;
}

void D3dTestGetCounters(D3dCounters *out)
{
    *out = {sCounts[D3D_COUNT_DRAW], sCounts[D3D_COUNT_STATE_CHANGE], sCounts[D3D_COUNT_UPLOAD],
            sCounts[D3D_COUNT_FULL_UPLOAD], sCounts[D3D_COUNT_READBACK], sCounts[D3D_COUNT_PROGRAM_BUILT]};
}

void D3dTestResetCounters(void)
{
    for (std::atomic<uint64_t> &count : sCounts) count = 0;
}

// ---- installed before main, whenever a program links this file --------------------------------------------
static const D3dRecorderHooks kRecorderHooks = {RecordCall, RecordVertices, RecordIndices, RecordFloats, RecordResult,
                                                Violation};
static const StandInHooks kStandInHooks = {FaultCheck, nullptr, Count, CountObject};

static int InstallHooks(void)
{
    D3dSetRecorderHooks(&kRecorderHooks);
    StandInSetHooks(STAND_IN_D3D, &kStandInHooks);
    return 0;
}
[[maybe_unused]] static const int sInstalled = InstallHooks();
