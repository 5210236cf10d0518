// Shader programs of the "gl" back end, generated from the texture-stage states and draw switches
// and cached by that key, so no program is built per frame.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/d3d/gl_internal.h"

#define D3D_MAX_PROGRAMS 256

struct D3dProgramSlot {
    D3dProgramKey key;
    D3dProgram program;
    int used;
};
static D3dProgramSlot sPrograms[D3D_MAX_PROGRAMS];

// Pre-transformed vertices: pixel (i, j) is sampled at (i, j), so positions move by half a pixel;
// row 0 of the target is row 0 of the framebuffer.
static const char *const kVertexShader =
    "layout(location = 0) in vec4 aPos;\n"
    "layout(location = 1) in vec4 aDiffuse;\n"
    "layout(location = 2) in vec4 aSpecular;\n"
    "layout(location = 3) in vec2 aTex0;\n"
    "layout(location = 4) in vec2 aTex1;\n"
    "uniform vec2 uSize;\n"
    "SHADE out vec4 vDiffuse;\n"
    "SHADE out vec4 vSpecular;\n"
    "out vec2 vTex0;\n"
    "out vec2 vTex1;\n"
    "void main() {\n"
    "  gl_Position = vec4((aPos.x + 0.5) * 2.0 / uSize.x - 1.0, (aPos.y + 0.5) * 2.0 / uSize.y - 1.0,\n"
    "                     aPos.z * 2.0 - 1.0, 1.0);\n"
    "  vDiffuse = aDiffuse;\n"
    "  vSpecular = aSpecular;\n"
    "  vTex0 = aTex0;\n"
    "  vTex1 = aTex1;\n"
    "}\n";

// ---- fragment shader text ---------------------------------------------------------------------------
// The name of a stage's texel ("t0"). Appended, not "t" + text: GCC 12 takes that for an overlapping
// copy (-Wrestrict).
static std::string TexelName(int stage)
{
    std::string name = "t";
    name += std::to_string(stage);
    return name;
}

// The expression of a stage argument.
static std::string ArgText(uint32_t arg, int stage, const D3dStageKey &s)
{
    std::string base;
    switch (arg & 0xF) {
    case D3D_TA_DIFFUSE: base = "vDiffuse"; break;
    case D3D_TA_CURRENT: base = "prev"; break;
    case D3D_TA_TEXTURE: base = s.texture ? TexelName(stage) : "vec4(1.0)"; break;
    case D3D_TA_TFACTOR: base = "uTFactor"; break;
    default: base = "vSpecular"; break;
    }
    if (arg & D3D_TA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
    if (arg & D3D_TA_ALPHAREPLICATE) base = base + ".aaaa";
    return base;
}

// The result of a stage operation on the arguments' components (".rgb" or ".a").
static std::string OpText(uint32_t op, const std::string &a, const std::string &b, int stage)
{
    std::string t = TexelName(stage);
    switch (op) {
    case D3D_TOP_SELECTARG1: return a;
    case D3D_TOP_SELECTARG2: return b;
    case D3D_TOP_MODULATE: return a + " * " + b;
    case D3D_TOP_MODULATE2X: return "min(" + a + " * " + b + " * 2.0, 1.0)";
    case D3D_TOP_MODULATE4X: return "min(" + a + " * " + b + " * 4.0, 1.0)";
    case D3D_TOP_ADD: return "min(" + a + " + " + b + ", 1.0)";
    case D3D_TOP_ADDSIGNED: return "clamp(" + a + " + " + b + " - 0.5, 0.0, 1.0)";
    case D3D_TOP_SUBTRACT: return "max(" + a + " - " + b + ", 0.0)";
    case D3D_TOP_ADDSMOOTH: return "min(" + a + " + " + b + " - " + a + " * " + b + ", 1.0)";
    case D3D_TOP_BLENDDIFFUSEALPHA: return "mix(" + b + ", " + a + ", vDiffuse.a)";
    case D3D_TOP_BLENDTEXTUREALPHA: return "mix(" + b + ", " + a + ", " + t + ".a)";
    case D3D_TOP_BLENDFACTORALPHA: return "mix(" + b + ", " + a + ", uTFactor.a)";
    case D3D_TOP_BLENDCURRENTALPHA: return "mix(" + b + ", " + a + ", prev.a)";
    }
    return a;
}

// The nearest texel's colour bits against the key, for a keyed stage; under point sampling the
// sampled texel is the nearest one.
static std::string KeyText(int stage, const D3dStageKey &s)
{
    std::string n = std::to_string(stage), uv = s.texCoordSet ? "vTex1" : "vTex0";
    if (!s.filtered) return "  if (all(lessThan(abs(t" + n + ".rgb - uKey" + n + "), uKeyTol" + n + "))) discard;\n";
    std::string wrap = s.address == D3D_ADDRESS_CLAMP || s.address == D3D_ADDRESS_BORDER
                           ? "clamp(p" + n + ", ivec2(0), z" + n + " - 1)"
                           : "(p" + n + " % z" + n + " + z" + n + ") % z" + n;
    return "  ivec2 z" + n + " = textureSize(uTex" + n + ", 0);\n"
           "  ivec2 p" + n + " = ivec2(floor(" + uv + " * vec2(z" + n + ")));\n"
           "  vec3 k" + n + " = texelFetch(uTex" + n + ", " + wrap + ", 0).rgb;\n"
           "  if (all(lessThan(abs(k" + n + " - uKey" + n + "), uKeyTol" + n + "))) discard;\n";
}

static const char *const kCompare[] = {"", "false", "<", "==", "<=", ">", "!=", ">=", "true"};

// The whole fragment shader of a key.
static std::string FragmentText(const D3dProgramKey *key)
{
    std::string out = "uniform vec4 uTFactor;\nuniform float uAlphaRef;\n"
                      "SHADE in vec4 vDiffuse;\nSHADE in vec4 vSpecular;\nin vec2 vTex0;\nin vec2 vTex1;\n"
                      "out vec4 oColor;\n";
    for (int s = 0; s < key->stageCount; s++) {
        if (!key->stages[s].texture) continue;
        std::string n = std::to_string(s);
        out += "uniform sampler2D uTex" + n + ";\nuniform vec3 uKey" + n + ";\nuniform vec3 uKeyTol" + n + ";\n";
    }
    out += "void main() {\n  vec4 cur = vDiffuse;\n  vec4 prev;\n";
    for (int s = 0; s < key->stageCount; s++) {
        const D3dStageKey &st = key->stages[s];
        std::string n = std::to_string(s);
        out += "  prev = cur;\n";
        if (st.texture) {
            out += "  vec4 t" + n + " = texture(uTex" + n + ", " + (st.texCoordSet ? "vTex1" : "vTex0") + ");\n";
            if (st.keyed) out += KeyText(s, st);
        }
        std::string c = OpText(st.colorOp, ArgText(st.colorArg1, s, st) + ".rgb", ArgText(st.colorArg2, s, st) + ".rgb", s);
        std::string a = st.alphaOp == D3D_TOP_DISABLE
                            ? "prev.a"
                            : OpText(st.alphaOp, ArgText(st.alphaArg1, s, st) + ".a", ArgText(st.alphaArg2, s, st) + ".a", s);
        out += "  cur = vec4(" + c + ", " + a + ");\n";
    }
    if (key->specular) out += "  cur.rgb = min(cur.rgb + vSpecular.rgb, 1.0);\n";
    if (key->alphaFunc >= D3D_CMP_NEVER && key->alphaFunc < D3D_CMP_ALWAYS) {
        const char *cmp = kCompare[key->alphaFunc];
        if (key->alphaFunc == D3D_CMP_NEVER) out += "  discard;\n";
        else out += std::string("  if (!(floor(cur.a * 255.0 + 0.5) ") + cmp + " uAlphaRef)) discard;\n";
    }
    out += "  oColor = cur;\n}\n";
    return out;
}

// ---- building ---------------------------------------------------------------------------------------
// Compiles one stage of a program; 0 on failure (logged).
static GLuint Compile(GLenum kind, const std::string &body, int flat)
{
    std::string text = std::string("#version 330 core\n#define SHADE ") + (flat ? "flat" : "smooth") + "\n" + body;
    const char *source = text.c_str();
    GLuint shader = gGl.CreateShader(kind);
    gGl.ShaderSource(shader, 1, &source, nullptr);
    gGl.CompileShader(shader);
    GLint ok = 0;
    gGl.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return shader;
    char log[1024] = "";
    gGl.GetShaderInfoLog(shader, sizeof log, nullptr, log);
    fprintf(stderr, "d3d gl: shader does not compile: %s\n%s", log, source);
    gGl.DeleteShader(shader);
    return 0;
}

// Links the program of a key and finds its uniforms; 0 / -1.
static int Build(const D3dProgramKey *key, D3dProgram *out)
{
    GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader, key->flat);
    GLuint fs = vs ? Compile(GL_FRAGMENT_SHADER, FragmentText(key), key->flat) : 0;
    if (!fs) {
        if (vs) gGl.DeleteShader(vs);
        return -1;
    }
    GLuint program = gGl.CreateProgram();
    gGl.AttachShader(program, vs);
    gGl.AttachShader(program, fs);
    gGl.LinkProgram(program);
    gGl.DeleteShader(vs);
    gGl.DeleteShader(fs);
    GLint ok = 0;
    gGl.GetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        gGl.DeleteProgram(program);
        return -1;
    }
    memset(out, 0, sizeof *out);
    out->program = program;
    out->size = gGl.GetUniformLocation(program, "uSize");
    out->tfactor = gGl.GetUniformLocation(program, "uTFactor");
    out->alphaRef = gGl.GetUniformLocation(program, "uAlphaRef");
    out->lastAlphaRef = -1;
    out->lastTFactor = 0x12345678;  // sent on first use: no factor has these bits and matches by chance
    out->lastSize[0] = -1.0f;
    gGl.UseProgram(program);
    for (int s = 0; s < D3D_MAX_STAGES; s++) {
        std::string n = std::to_string(s);
        gGl.Uniform1i(gGl.GetUniformLocation(program, ("uTex" + n).c_str()), s);
        out->key[s] = gGl.GetUniformLocation(program, ("uKey" + n).c_str());
        out->keyTolerance[s] = gGl.GetUniformLocation(program, ("uKeyTol" + n).c_str());
        out->lastKey[s][0] = -1.0f;
    }
    D3dCount(D3D_COUNT_PROGRAM_BUILT);
    return 0;
}

// Cheap hash of a key, for the first probe.
static uint32_t HashKey(const D3dProgramKey *key)
{
    const uint8_t *bytes = (const uint8_t *)key;
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < sizeof *key; i++) h = (h ^ bytes[i]) * 16777619u;
    return h;
}

D3dProgram *D3dGlProgramFor(const D3dProgramKey *key)
{
    uint32_t start = HashKey(key) % D3D_MAX_PROGRAMS;
    for (uint32_t i = 0; i < D3D_MAX_PROGRAMS; i++) {
        D3dProgramSlot *slot = &sPrograms[(start + i) % D3D_MAX_PROGRAMS];
        if (slot->used && memcmp(&slot->key, key, sizeof *key) == 0) return slot->used > 0 ? &slot->program : nullptr;
        if (slot->used) continue;
        slot->key = *key;
        slot->used = Build(key, &slot->program) == 0 ? 1 : -1;  // a failed key is not tried again
        return slot->used > 0 ? &slot->program : nullptr;
    }
    return nullptr;  // table full: the draw fails rather than building every time
}

void D3dGlDeletePrograms(void)
{
    for (D3dProgramSlot &slot : sPrograms) {
        if (slot.used > 0) gGl.DeleteProgram(slot.program.program);
        slot.used = 0;
    }
}
