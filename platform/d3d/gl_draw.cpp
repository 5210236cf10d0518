// The draw of the "gl" back end: the target and the stage textures made current, the program for the
// states, and the vertices streamed into one buffer that is renewed only when full.
#include <cstring>

#include "platform/d3d/gl_internal.h"

// ---- stages and program -------------------------------------------------------------------------------
struct D3dStageTextures {
    GLuint texture[D3D_MAX_STAGES];
    float key[D3D_MAX_STAGES][6];
};

// Fills the program key and the stage textures; -1 when a texture cannot be prepared.
static int PrepareStages(const D3dDeviceRecord *device, D3dProgramKey *key, D3dStageTextures *tex)
{
    memset(key, 0, sizeof *key);
    int shade = device->rs[D3D_RS_SHADEMODE] == D3D_SHADE_FLAT;
    key->flat = (uint8_t)shade;
    key->specular = device->rs[D3D_RS_SPECULARENABLE] != 0;
    if (device->rs[D3D_RS_ALPHATESTENABLE] && device->rs[D3D_RS_ALPHAFUNC] != D3D_CMP_ALWAYS)
        key->alphaFunc = (uint8_t)device->rs[D3D_RS_ALPHAFUNC];
    int s = 0;
    for (; s < D3D_MAX_STAGES && device->tss[s][D3D_TSS_COLOROP] != D3D_TOP_DISABLE; s++) {
        const uint32_t *tss = device->tss[s];
        D3dStageKey &st = key->stages[s];
        st = {(uint8_t)tss[D3D_TSS_COLOROP], (uint8_t)tss[D3D_TSS_COLORARG1], (uint8_t)tss[D3D_TSS_COLORARG2],
              (uint8_t)tss[D3D_TSS_ALPHAOP], (uint8_t)tss[D3D_TSS_ALPHAARG1], (uint8_t)tss[D3D_TSS_ALPHAARG2],
              (uint8_t)(tss[D3D_TSS_TEXCOORDINDEX] == 1), 0, 0, (uint8_t)tss[D3D_TSS_ADDRESSU],
              (uint8_t)(tss[D3D_TSS_MAGFILTER] != D3D_FILTER_POINT || tss[D3D_TSS_MINFILTER] != D3D_FILTER_POINT), 0};
        D3dSurfaceView view;
        if (D3dViewOf(device->textures[s], &view) != 0) continue;
        D3dGlCopy *copy = D3dGlCurrentCopy(device->textures[s], &view);
        if (!copy) return -1;
        st.texture = 1;
        st.keyed = device->rs[D3D_RS_COLORKEYENABLE] && view.hasColorKey;
        tex->texture[s] = copy->texture;
        D3dGlKeyColor(&view, tex->key[s]);
    }
    key->stageCount = (uint8_t)s;
    return 0;
}

// Sends the program's per-draw values that changed.
static void SetUniforms(D3dProgram *program, const D3dDeviceRecord *device, const D3dGlCopy *target,
                        const D3dProgramKey *key, const D3dStageTextures *tex)
{
    if (program->lastSize[0] != (float)target->width || program->lastSize[1] != (float)target->height) {
        gGl.Uniform2f(program->size, (float)target->width, (float)target->height);
        program->lastSize[0] = (float)target->width;
        program->lastSize[1] = (float)target->height;
    }
    uint32_t f = device->rs[D3D_RS_TEXTUREFACTOR];
    if (f != program->lastTFactor) {
        gGl.Uniform4f(program->tfactor, (float)((f >> 16) & 0xFF) / 255.0f, (float)((f >> 8) & 0xFF) / 255.0f,
                      (float)(f & 0xFF) / 255.0f, (float)(f >> 24) / 255.0f);
        program->lastTFactor = f;
    }
    int ref = (int)(device->rs[D3D_RS_ALPHAREF] & 0xFF);
    if (ref != program->lastAlphaRef) {
        gGl.Uniform1f(program->alphaRef, (float)ref);
        program->lastAlphaRef = ref;
    }
    for (int s = 0; s < key->stageCount; s++) {
        if (!key->stages[s].keyed || memcmp(program->lastKey[s], tex->key[s], sizeof tex->key[s]) == 0) continue;
        gGl.Uniform3f(program->key[s], tex->key[s][0], tex->key[s][1], tex->key[s][2]);
        gGl.Uniform3f(program->keyTolerance[s], tex->key[s][3], tex->key[s][4], tex->key[s][5]);
        memcpy(program->lastKey[s], tex->key[s], sizeof tex->key[s]);
    }
}

// ---- vertices -----------------------------------------------------------------------------------------
// Appends bytes to a stream buffer, orphaning it when full; the offset of the bytes.
static uint32_t Stream(GLenum target, uint32_t *offset, uint32_t capacity, const void *data, uint32_t bytes)
{
    if (*offset + bytes > capacity) {
        gGl.BufferData(target, capacity, nullptr, GL_STREAM_DRAW);
        *offset = 0;
    }
    uint32_t at = *offset;
    gGl.BufferSubData(target, at, bytes, data);
    *offset = (at + bytes + 15) & ~15u;
    return at;
}

// Points one attribute into the vertex stream, or gives it its constant when the format lacks it.
static void Attribute(GLuint index, int present, GLint size, GLenum type, GLboolean norm, uint32_t stride,
                      uint32_t at, const float constant[4])
{
    if (present) {
        gGl.EnableVertexAttribArray(index);
        gGl.VertexAttribPointer(index, size, type, norm, (GLsizei)stride, (const void *)(uintptr_t)at);
    } else {
        gGl.DisableVertexAttribArray(index);
        gGl.VertexAttrib4f(index, constant[0], constant[1], constant[2], constant[3]);
    }
}

// Streams the vertices and points the attributes at them.
static void SetVertices(uint32_t fvf, const void *vertices, uint32_t count)
{
    static const float kWhite[4] = {1, 1, 1, 1}, kZero[4] = {0, 0, 0, 0};
    uint32_t size = D3dVertexSize(fvf);
    uint32_t at = Stream(GL_ARRAY_BUFFER, &gGlContext.vertexOffset, D3D_GL_STREAM_BYTES, vertices, size * count);
    uint32_t sets = (fvf >> 8) & 0xF, diffuse = fvf & D3D_FVF_DIFFUSE, specular = fvf & D3D_FVF_SPECULAR;
    uint32_t colorAt = at + 16, specularAt = colorAt + (diffuse ? 4 : 0);
    uint32_t texAt = specularAt + (specular ? 4 : 0);
    Attribute(0, 1, 4, GL_FLOAT, GL_FALSE, size, at, kZero);
    Attribute(1, diffuse != 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, size, colorAt, kWhite);
    Attribute(2, specular != 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, size, specularAt, kZero);
    Attribute(3, sets >= 1, 2, GL_FLOAT, GL_FALSE, size, texAt, kZero);
    Attribute(4, sets >= 2, 2, GL_FLOAT, GL_FALSE, size, texAt + 8, kZero);
}

static GLenum PrimitiveMode(uint32_t type)
{
    static const GLenum kModes[] = {GL_POINTS, GL_POINTS, GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP,
                                    GL_TRIANGLE_FAN};
    return type < sizeof kModes / sizeof kModes[0] ? kModes[type] : GL_POINTS;
}

// ---- the draw -----------------------------------------------------------------------------------------
// The target copy ready to draw into, with its depth copy (or null); null when it cannot be.
static D3dGlCopy *PrepareTarget(const D3dDeviceRecord *device, D3dGlCopy **depth)
{
    D3dSurfaceView view;
    if (D3dViewOf(device->target, &view) != 0) return nullptr;
    D3dGlCopy *copy = D3dGlCurrentCopy(device->target, &view);
    if (!copy || D3dGlMakeFramebuffer(copy) != 0) return nullptr;
    *depth = D3dGlAttachDepth(copy, &view);
    return copy;
}

int32_t D3dGlDraw(D3dDeviceRecord *device, uint32_t type, uint32_t fvf, const void *vertices, uint32_t count,
                  const uint16_t *indices, uint32_t indexCount)
{
    D3dGlMakeCurrent();
    D3dProgramKey key;
    D3dStageTextures tex = {};
    D3dGlCopy *depth = nullptr;
    D3dGlCopy *target = PrepareTarget(device, &depth);
    if (!target || PrepareStages(device, &key, &tex) != 0) return D3D_ERR_GENERIC;
    D3dProgram *program = D3dGlProgramFor(&key);
    if (!program) return D3D_ERR_GENERIC;
    D3dGlSetTarget(device, target);
    D3dGlSetBlend(device);
    D3dGlSetDepth(device, depth);
    D3dGlSetCull(device);
    for (int s = 0; s < key.stageCount; s++)
        if (key.stages[s].texture) D3dGlSetStageTexture(device, s, tex.texture[s]);
    if (gGlContext.cache.program != program->program) {
        gGl.UseProgram(program->program);
        gGlContext.cache.program = program->program;
        D3dGlCountState();
    }
    SetUniforms(program, device, target, &key, &tex);
    SetVertices(fvf, vertices, count);
    if (indices) {
        uint32_t at = Stream(GL_ELEMENT_ARRAY_BUFFER, &gGlContext.indexOffset, D3D_GL_STREAM_BYTES / 4, indices,
                             indexCount * 2);
        gGl.DrawElements(PrimitiveMode(type), (GLsizei)indexCount, GL_UNSIGNED_SHORT, (const void *)(uintptr_t)at);
    } else {
        gGl.DrawArrays(PrimitiveMode(type), 0, (GLsizei)count);
    }
    D3dGlMarkDrawn(target);
    D3dCount(D3D_COUNT_DRAW);
    D3dGlCheckErrors("a draw");
    return D3D_OK;
}
