// Inside the "gl" back end: the OpenGL entry points it uses and the shader generation it shares
// between its files. Only platform/d3d's gl files include this.
#pragma once
#include <GL/glcorearb.h>

#include <cstdint>

#include "platform/d3d/d3d_internal.h"

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
