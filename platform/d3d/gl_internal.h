// Inside the "gl" back end: the OpenGL entry points it uses, its one record (the context, the GL state
// last sent and the surface copies) and what its files call of each other. Only platform/d3d's gl
// files include this.
#pragma once
#include <SDL.h>
#include <GL/glcorearb.h>

#include <cstdint>

#include "platform/d3d/d3d_internal.h"
#include "platform/window/window.h"

// Every OpenGL call the back end makes, loaded through SDL once a context exists.
#define D3D_GL_FUNCTIONS(X)                                                                   \
    X(PFNGLGETSTRINGPROC, GetString) X(PFNGLGETERRORPROC, GetError)                            \
    X(PFNGLENABLEPROC, Enable) X(PFNGLDISABLEPROC, Disable) X(PFNGLBLENDFUNCPROC, BlendFunc)   \
    X(PFNGLDEPTHFUNCPROC, DepthFunc) X(PFNGLDEPTHMASKPROC, DepthMask)                          \
    X(PFNGLCULLFACEPROC, CullFace) X(PFNGLSCISSORPROC, Scissor) X(PFNGLVIEWPORTPROC, Viewport) \
    X(PFNGLDRAWBUFFERPROC, DrawBuffer) X(PFNGLREADBUFFERPROC, ReadBuffer)                      \
    X(PFNGLPROVOKINGVERTEXPROC, ProvokingVertex) X(PFNGLPIXELSTOREIPROC, PixelStorei)          \
    X(PFNGLGENTEXTURESPROC, GenTextures) X(PFNGLDELETETEXTURESPROC, DeleteTextures)            \
    X(PFNGLBINDTEXTUREPROC, BindTexture) X(PFNGLACTIVETEXTUREPROC, ActiveTexture)              \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D) X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri) X(PFNGLREADPIXELSPROC, ReadPixels)                \
    X(PFNGLGENSAMPLERSPROC, GenSamplers) X(PFNGLDELETESAMPLERSPROC, DeleteSamplers)            \
    X(PFNGLBINDSAMPLERPROC, BindSampler) X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)      \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                               \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                                         \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                               \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                                     \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)                               \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                                 \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                                             \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                                       \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                                             \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                                       \
    X(PFNGLGENBUFFERSPROC, GenBuffers) X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                \
    X(PFNGLBINDBUFFERPROC, BindBuffer) X(PFNGLBUFFERDATAPROC, BufferData)                      \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                                                   \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                                               \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                                         \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                                               \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                                       \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)                               \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)                             \
    X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                                                 \
    X(PFNGLDRAWARRAYSPROC, DrawArrays) X(PFNGLDRAWELEMENTSPROC, DrawElements)                  \
    X(PFNGLCREATESHADERPROC, CreateShader) X(PFNGLDELETESHADERPROC, DeleteShader)              \
    X(PFNGLSHADERSOURCEPROC, ShaderSource) X(PFNGLCOMPILESHADERPROC, CompileShader)            \
    X(PFNGLGETSHADERIVPROC, GetShaderiv) X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)        \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram) X(PFNGLDELETEPROGRAMPROC, DeleteProgram)          \
    X(PFNGLATTACHSHADERPROC, AttachShader) X(PFNGLLINKPROGRAMPROC, LinkProgram)                \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv) X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)    \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation) X(PFNGLUSEPROGRAMPROC, UseProgram)      \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation) X(PFNGLUNIFORM1IPROC, Uniform1i)        \
    X(PFNGLUNIFORM1FPROC, Uniform1f) X(PFNGLUNIFORM2FPROC, Uniform2f)                          \
    X(PFNGLUNIFORM3FPROC, Uniform3f) X(PFNGLUNIFORM4FPROC, Uniform4f)                          \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer) X(PFNGLCLEARCOLORPROC, ClearColor)            \
    X(PFNGLCLEARDEPTHPROC, ClearDepth) X(PFNGLCLEARPROC, Clear) X(PFNGLFINISHPROC, Finish)

struct D3dGl {
#define D3D_GL_FIELD(type, name) type name;
    D3D_GL_FUNCTIONS(D3D_GL_FIELD)
#undef D3D_GL_FIELD
};
extern D3dGl gGl;

// ---- shaders (gl_shader.cpp) ----------------------------------------------------------------------------
// What a program depends on: the enabled stages and the per-draw switches. Compared bytewise.
struct D3dStageKey {
    uint8_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
    uint8_t texCoordSet;  // 0 or 1
    uint8_t texture;      // 1 when a texture is bound
    uint8_t keyed;        // 1 when the texture's colour key kills texels
    uint8_t address;      // D3D_ADDRESS_* for the keyed texel lookup
    uint8_t filtered;     // 1 under LINEAR: the key looks up the nearest texel itself
    uint8_t pad;
};
struct D3dProgramKey {
    uint8_t stageCount;   // stages before the first DISABLE
    uint8_t flat;         // 1 for flat shading
    uint8_t alphaFunc;    // 0 = no alpha test, else D3D_CMP_*
    uint8_t specular;     // 1 when SPECULARENABLE adds the specular colour
    D3dStageKey stages[D3D_MAX_STAGES];
};

struct D3dProgram {
    GLuint program;
    GLint size, tfactor, alphaRef;
    GLint key[D3D_MAX_STAGES], keyTolerance[D3D_MAX_STAGES];
    // Last values sent, so equal values are not sent again.
    float lastSize[2];
    uint32_t lastTFactor;
    int lastAlphaRef;
    float lastKey[D3D_MAX_STAGES][6];
};

// The program for a key, built on first use; null when it does not compile (logged once).
D3dProgram *D3dGlProgramFor(const D3dProgramKey *key);
// Deletes every program (the context is going).
void D3dGlDeletePrograms(void);

// ---- the back end's record (gl_context.cpp) --------------------------------------------------------------
#define D3D_GL_MAX_COPIES 4096
#define D3D_GL_STREAM_BYTES (1u << 20)  // vertices of a frame or more; renewed when full

enum D3dGlFormat { GLF_NONE, GLF_565, GLF_555, GLF_1555, GLF_4444, GLF_8888, GLF_X888, GLF_Z16 };

// The device's copy of one surface. Written by gl_copies.cpp; the draws and the device work mark
// what they drew (deviceNewer, shadowValid).
struct D3dGlCopy {
    DdSurface *surface;      // null: free entry
    D3dGlFormat format;
    int width, height;
    GLuint texture, framebuffer;
    GLuint depth;            // a target's attached depth texture (its Z surface's copy), not owned
    uint32_t version;        // memory pixels version last uploaded or read back
    int deviceNewer;         // the device drew here since the last read-back
    int stale;               // the memory changed behind the version (a load), all of it to upload
    D3dRect dirty;           // else what the CPU changed, still to upload (empty: nothing)
    uint8_t *shadow;         // a target's memory pixels as the device has them, to find what the CPU
    int shadowValid;         // changed under a whole-surface lock; valid after a read-back
};

struct D3dGlCache {          // last GL state sent; (GLuint)-1 or 0xFF bytes: unknown, sent at next use
    GLuint framebuffer, program;
    GLuint textures[D3D_MAX_STAGES];
    GLint samplerMag[D3D_MAX_STAGES], samplerMin[D3D_MAX_STAGES], samplerU[D3D_MAX_STAGES], samplerV[D3D_MAX_STAGES];
    int blend;
    GLenum blendSrc, blendDst;
    int depthTest, depthMask;
    GLenum depthFunc;
    int cull;
    GLenum cullFace;
    GLint scissor[4], viewport[4];
};

struct D3dGlContext {
    SDL_Window *window;      // the hidden window, when the context is not on a shown one
    WHandle shown;           // the window the context draws into and presents in, or 0
    SDL_GLContext context;   // null: none (nothing below is valid); kept without devices on a shown window
    int devices;             // open devices
    GLuint vao, vertexBuffer, indexBuffer, samplers[D3D_MAX_STAGES];
    uint32_t vertexOffset, indexOffset;  // next free bytes of the stream buffers (gl_draw.cpp)
    D3dGlCache cache;
    D3dGlCopy copies[D3D_GL_MAX_COPIES];
    int copyHigh;            // entries below this may be used
};
extern D3dGlContext gGlContext;

// Counts a GL state call.
inline void D3dGlCountState(void) { D3dCount(D3D_COUNT_STATE_CHANGE); }
// Takes the errors OpenGL holds after a piece of work; each is a violation for the strict checker.
// 1 when there was one.
int D3dGlCheckErrors(const char *after);

// ---- context (gl_context.cpp) ------------------------------------------------------------------------------
// Makes the context on the window the surfaces show in, or on a hidden window; 0 / -1. An existing
// context stays while a device uses it, or when no window or its own window is asked; one its last
// device left on another shown window is closed and made again on this one.
int D3dGlOpenContext(WHandle shown);
// Brings every drawing into memory, frees every copy and the context.
void D3dGlCloseContext(void);
// Makes the device's context current again: another part of the program (SDL's own renderer on a
// real display) may have made its context current since.
void D3dGlMakeCurrent(void);

// ---- surface copies (gl_copies.cpp) ------------------------------------------------------------------------
struct D3dGlPixelWay {
    GLenum internal, format, type;
    int bytes;
    int opaque;  // 1: alpha reads as one
};
// The GL format of a surface's pixel format, and how its pixels travel.
D3dGlFormat D3dGlFormatOf(const D3dPixelFormat *f);
D3dGlPixelWay D3dGlWayOf(D3dGlFormat format);
inline int D3dGlIsEmpty(const D3dRect &r) { return r.right <= r.left || r.bottom <= r.top; }
inline int D3dGlIsWhole(const D3dGlCopy *copy, const D3dRect &r)
{
    return r.left <= 0 && r.top <= 0 && r.right >= copy->width && r.bottom >= copy->height;
}
// The device drew into a copy: its memory pixels are behind, and no shadow holds what it has.
inline void D3dGlMarkDrawn(D3dGlCopy *copy) { copy->deviceNewer = 1, copy->shadowValid = 0; }
// The copy of a surface, or null (always without a context: its table is empty then).
D3dGlCopy *D3dGlFindCopy(DdSurface *surface);
// A new copy of a surface, not yet uploaded; null when the table is full or the format unknown.
D3dGlCopy *D3dGlMakeCopy(DdSurface *surface, const D3dSurfaceView *view);
// The copy of a surface in its view's size and format, made when it has none or one of another
// (the surface was re-made at the same address); its pixels as they were. Null when none can be made.
D3dGlCopy *D3dGlFittedCopy(DdSurface *surface, const D3dSurfaceView *view);
// Frees a copy; untrack 0 when the surface itself let go of it.
void D3dGlFreeCopy(D3dGlCopy *copy, int untrack);
// Brings every copy's drawing into memory and frees them all (the context is going).
void D3dGlFreeAllCopies(void);
// The copy of a surface with the memory pixels in it when they changed; null when it cannot be made.
D3dGlCopy *D3dGlCurrentCopy(DdSurface *surface, const D3dSurfaceView *view);
// Makes a copy's framebuffer: the colour texture, or for a depth surface its depth texture alone.
// Binds it. 0 / -1.
int D3dGlMakeFramebuffer(D3dGlCopy *copy);
// Attaches the target's Z surface (its copy up to date) as depth, or none. The depth copy or null.
D3dGlCopy *D3dGlAttachDepth(D3dGlCopy *copy, const D3dSurfaceView *view);
// The back end's surface entries: bring the device's drawing into memory / drop the copy / mark
// all of it to upload.
void D3dGlSyncToMemory(DdSurface *surface);
void D3dGlForget(DdSurface *surface);
void D3dGlMarkStale(DdSurface *surface);

// ---- state (gl_state.cpp) ----------------------------------------------------------------------------------
// Each sends what differs from the cache: the blend factors; the depth test (only with a depth copy,
// which a depth write marks drawn); the cull face; the target's framebuffer, viewport and scissor; a
// stage's texture and sampler.
void D3dGlSetBlend(const D3dDeviceRecord *device);
void D3dGlSetDepth(const D3dDeviceRecord *device, D3dGlCopy *depth);
void D3dGlSetCull(const D3dDeviceRecord *device);
void D3dGlSetTarget(const D3dDeviceRecord *device, const D3dGlCopy *target);
void D3dGlSetStageTexture(const D3dDeviceRecord *device, int stage, GLuint texture);
// A channel of a pixel value in unit steps, 0 to 1.
float D3dGlUnitChannel(uint32_t value, uint32_t mask);
// The key colour of a texture in unit steps, and half a step per channel as tolerance.
void D3dGlKeyColor(const D3dSurfaceView *view, float out[6]);

// ---- drawing (gl_draw.cpp) ---------------------------------------------------------------------------------
// The back end's draw: vertices (indices null for a plain draw) with the device's states.
int32_t D3dGlDraw(D3dDeviceRecord *device, uint32_t type, uint32_t fvf, const void *vertices, uint32_t count,
                  const uint16_t *indices, uint32_t indexCount);
