// The GL state of the "gl" back end, set from the device's render and stage states before a draw:
// each setter sends only what differs from the state last sent.
#include <cstring>

#include "platform/d3d/gl_internal.h"

// ---- blend, depth, cull -------------------------------------------------------------------------------
static GLenum BlendFactor(uint32_t factor)
{
    static const GLenum kFactors[] = {GL_ZERO, GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                                      GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR,
                                      GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    return factor < sizeof kFactors / sizeof kFactors[0] ? kFactors[factor] : GL_ONE;
}

// Turns a capability on or off when it differs from the state last sent.
static void SetCapability(GLenum capability, int on, int *last)
{
    if (on == *last) return;
    on ? gGl.Enable(capability) : gGl.Disable(capability);
    *last = on;
    D3dGlCountState();
}

// Blend factors, with the two "both" factors spelled out.
void D3dGlSetBlend(const D3dDeviceRecord *device)
{
    D3dGlCache &cache = gGlContext.cache;
    int on = device->rs[D3D_RS_ALPHABLENDENABLE] != 0;
    uint32_t src = device->rs[D3D_RS_SRCBLEND], dst = device->rs[D3D_RS_DESTBLEND];
    if (src == 12 || src == 13) {  // BOTHSRCALPHA, BOTHINVSRCALPHA
        dst = src == 12 ? D3D_BLEND_INVSRCALPHA : D3D_BLEND_SRCALPHA;
        src = src == 12 ? D3D_BLEND_SRCALPHA : D3D_BLEND_INVSRCALPHA;
    }
    SetCapability(GL_BLEND, on, &cache.blend);
    GLenum s = BlendFactor(src), d = BlendFactor(dst);
    if (on && (s != cache.blendSrc || d != cache.blendDst)) {
        gGl.BlendFunc(s, d);
        cache.blendSrc = s;
        cache.blendDst = d;
        D3dGlCountState();
    }
}

// Depth test only with a depth buffer; ZBIAS is accepted and ignored.
void D3dGlSetDepth(const D3dDeviceRecord *device, D3dGlCopy *depth)
{
    D3dGlCache &cache = gGlContext.cache;
    int test = depth && device->rs[D3D_RS_ZENABLE] != 0;
    SetCapability(GL_DEPTH_TEST, test, &cache.depthTest);
    if (!test) return;
    GLenum func = GL_NEVER + (device->rs[D3D_RS_ZFUNC] - 1);
    if (func != cache.depthFunc) {
        gGl.DepthFunc(func);
        cache.depthFunc = func;
        D3dGlCountState();
    }
    int mask = device->rs[D3D_RS_ZWRITEENABLE] != 0;
    if (mask != cache.depthMask) {
        gGl.DepthMask(mask ? GL_TRUE : GL_FALSE);
        cache.depthMask = mask;
        D3dGlCountState();
    }
    if (mask) D3dGlMarkDrawn(depth);
}

// CCW on a y-down screen is clockwise for OpenGL, whose front faces are counter-clockwise.
void D3dGlSetCull(const D3dDeviceRecord *device)
{
    D3dGlCache &cache = gGlContext.cache;
    uint32_t mode = device->rs[D3D_RS_CULLMODE];
    int on = mode == D3D_CULL_CW || mode == D3D_CULL_CCW;
    SetCapability(GL_CULL_FACE, on, &cache.cull);
    GLenum face = mode == D3D_CULL_CCW ? GL_BACK : GL_FRONT;
    if (on && face != cache.cullFace) {
        gGl.CullFace(face);
        cache.cullFace = face;
        D3dGlCountState();
    }
}

// ---- target -------------------------------------------------------------------------------------------
// The target's framebuffer, the whole target as GL viewport and the D3D viewport as scissor.
void D3dGlSetTarget(const D3dDeviceRecord *device, const D3dGlCopy *target)
{
    D3dGlCache &cache = gGlContext.cache;
    if (cache.framebuffer != target->framebuffer) {
        gGl.BindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
        cache.framebuffer = target->framebuffer;
        D3dGlCountState();
    }
    GLint vp[4] = {0, 0, target->width, target->height};
    if (memcmp(vp, cache.viewport, sizeof vp) != 0) {
        gGl.Viewport(0, 0, target->width, target->height);
        memcpy(cache.viewport, vp, sizeof vp);
        D3dGlCountState();
    }
    const D3dViewport &v = device->viewport;
    int64_t x0 = v.x < (uint32_t)target->width ? v.x : target->width;
    int64_t y0 = v.y < (uint32_t)target->height ? v.y : target->height;
    int64_t x1 = (int64_t)v.x + v.width < target->width ? (int64_t)v.x + v.width : target->width;
    int64_t y1 = (int64_t)v.y + v.height < target->height ? (int64_t)v.y + v.height : target->height;
    GLint sc[4] = {(GLint)x0, (GLint)y0, (GLint)(x1 - x0), (GLint)(y1 - y0)};
    if (memcmp(sc, cache.scissor, sizeof sc) != 0) {
        gGl.Scissor(sc[0], sc[1], sc[2], sc[3]);
        memcpy(cache.scissor, sc, sizeof sc);
        D3dGlCountState();
    }
}

// ---- textures -----------------------------------------------------------------------------------------
// Sets one sampler parameter when it changed.
static void SamplerParameter(int stage, GLenum name, GLint value, GLint *last)
{
    if (*last == value) return;
    gGl.SamplerParameteri(gGlContext.samplers[stage], name, value);
    *last = value;
    D3dGlCountState();
}

static GLint AddressMode(uint32_t mode)
{
    switch (mode) {
    case D3D_ADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3D_ADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3D_ADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    }
    return GL_REPEAT;
}

// Binds a stage's texture and sets its sampler from the stage states.
void D3dGlSetStageTexture(const D3dDeviceRecord *device, int stage, GLuint texture)
{
    D3dGlCache &cache = gGlContext.cache;
    if (cache.textures[stage] != texture) {
        gGl.ActiveTexture(GL_TEXTURE0 + (GLenum)stage);
        gGl.BindTexture(GL_TEXTURE_2D, texture);
        cache.textures[stage] = texture;
        D3dGlCountState();
    }
    const uint32_t *tss = device->tss[stage];
    GLint mag = tss[D3D_TSS_MAGFILTER] == D3D_FILTER_POINT ? GL_NEAREST : GL_LINEAR;
    GLint min = tss[D3D_TSS_MINFILTER] == D3D_FILTER_POINT ? GL_NEAREST : GL_LINEAR;
    SamplerParameter(stage, GL_TEXTURE_MAG_FILTER, mag, &cache.samplerMag[stage]);
    SamplerParameter(stage, GL_TEXTURE_MIN_FILTER, min, &cache.samplerMin[stage]);
    SamplerParameter(stage, GL_TEXTURE_WRAP_S, AddressMode(tss[D3D_TSS_ADDRESSU]), &cache.samplerU[stage]);
    SamplerParameter(stage, GL_TEXTURE_WRAP_T, AddressMode(tss[D3D_TSS_ADDRESSV]), &cache.samplerV[stage]);
}

// ---- colours ------------------------------------------------------------------------------------------
// The largest value of a channel's field (1 for a channel the format lacks).
static float ChannelTop(uint32_t mask) { return mask ? (float)(mask >> __builtin_ctz(mask)) : 1.0f; }

float D3dGlUnitChannel(uint32_t value, uint32_t mask)
{
    return mask ? (float)((value & mask) >> __builtin_ctz(mask)) / ChannelTop(mask) : 0.0f;
}

void D3dGlKeyColor(const D3dSurfaceView *view, float out[6])
{
    const uint32_t masks[3] = {view->format.rMask, view->format.gMask, view->format.bMask};
    for (int c = 0; c < 3; c++) {
        out[c] = D3dGlUnitChannel(view->colorKey, masks[c]);
        out[3 + c] = 0.5f / ChannelTop(masks[c]);
    }
}
