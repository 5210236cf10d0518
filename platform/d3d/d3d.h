// Stand-in for the 3-D device the Direct3D renderer draws through: a 3-D object that lists devices,
// depth formats and makes devices, and a device with render states, texture-stage states, textures,
// render target, viewport, transforms, scenes and draws of pre-transformed vertices.
//
// Objects are plain structs whose first field is a table of calls, used as
//     device->fn->SetRenderState(device, D3D_RS_ZENABLE, 1);
// Results are D3D_OK (0) or a negative D3D_ERR_* code, so "result < 0" is a failure. Main thread only.
//
// The device draws into and samples surfaces of the DirectDraw stand-in, which it reaches through
// one table (D3dSurfacePort, d3d_surface.h). Two back ends exist, chosen when a device is created:
// "gl" draws with OpenGL (Mesa's software OpenGL when there is no GPU) and "record" draws nothing.
//
// Conventions the renderer relies on, kept on both back ends:
// - vertices are used as given (no transform); the viewport only clips;
// - pixel (i, j) is sampled at (i, j) with the top-left fill rule: a box (L, T)-(R, B) covers columns
//   L..R-1 and rows T..B-1; lines leave out their last pixel;
// - flat shading takes the diffuse and specular colours of each triangle's first vertex;
// - stage processing stops at the first stage whose colour operation is DISABLE; CURRENT in stage 0
//   is the diffuse colour;
// - the colour key kills texels whose colour bits equal the texture's source key (nearest texel);
// - SetTexture and SetRenderTarget hold references on their surfaces, CreateDevice on its target;
// - an invalid state value is refused with D3D_ERR_INVALID_PARAMS and changes nothing.
#pragma once
#include <cstdint>

struct DdSurface;  // a surface of the DirectDraw stand-in

// ---- results -------------------------------------------------------------------------------------
enum : int32_t {
    D3D_OK = 0,
    D3D_ERR_GENERIC = (int32_t)0x80004005,
    D3D_ERR_NO_INTERFACE = (int32_t)0x80004002,
    D3D_ERR_OUT_OF_MEMORY = (int32_t)0x8007000E,
    D3D_ERR_INVALID_PARAMS = (int32_t)0x80070057,
    D3D_ERR_INVALID_PIXEL_FORMAT = (int32_t)0x88760091,
    D3D_ERR_SURFACE_BUSY = (int32_t)0x887601AE,
    D3D_ERR_SURFACE_LOST = (int32_t)0x887601C2,
    D3D_ERR_NOT_IN_SCENE = (int32_t)0x88760870,     // EndScene or a draw outside a scene
    D3D_ERR_IN_SCENE = (int32_t)0x8876086F,         // BeginScene inside a scene
    D3D_ERR_INVALID_DEVICE = (int32_t)0x88760320,   // no such device kind / no back end
    D3D_ERR_INVALID_TARGET = (int32_t)0x88760337,   // a surface that cannot be a render target
};

// ---- enumeration values --------------------------------------------------------------------------
enum : int32_t { D3D_ENUM_CANCEL = 0, D3D_ENUM_OK = 1 };
enum : uint32_t {
    D3D_BD_16 = 0x400,
    D3D_BD_32 = 0x100,
    D3D_BD_24 = 0x200,
    D3D_TEXCAPS_POW2 = 0x2,
    D3D_TEXCAPS_SQUAREONLY = 0x20,
    // Pixel-format flags.
    D3D_PF_ALPHAPIXELS = 0x1,
    D3D_PF_ALPHA = 0x2,
    D3D_PF_FOURCC = 0x4,
    D3D_PF_RGB = 0x40,
    D3D_PF_ZBUFFER = 0x400,
    D3D_PF_STENCILBUFFER = 0x4000,
    D3D_PF_LUMINANCE = 0x20000,
    D3D_PF_BUMPLUMINANCE = 0x40000,
    D3D_PF_BUMPDUDV = 0x80000,
};

// Render states.
enum : uint32_t {
    D3D_RS_TEXTUREPERSPECTIVE = 4,
    D3D_RS_ZENABLE = 7,
    D3D_RS_FILLMODE = 8,
    D3D_RS_SHADEMODE = 9,
    D3D_RS_ZWRITEENABLE = 14,
    D3D_RS_ALPHATESTENABLE = 15,
    D3D_RS_LASTPIXEL = 16,
    D3D_RS_SRCBLEND = 19,
    D3D_RS_DESTBLEND = 20,
    D3D_RS_CULLMODE = 22,
    D3D_RS_ZFUNC = 23,
    D3D_RS_ALPHAREF = 24,
    D3D_RS_ALPHAFUNC = 25,
    D3D_RS_DITHERENABLE = 26,
    D3D_RS_ALPHABLENDENABLE = 27,
    D3D_RS_FOGENABLE = 28,
    D3D_RS_SPECULARENABLE = 29,
    D3D_RS_COLORKEYENABLE = 41,
    D3D_RS_ZBIAS = 47,
    D3D_RS_STENCILENABLE = 52,
    D3D_RS_TEXTUREFACTOR = 60,
    D3D_RS_WRAP0 = 128,  // .. WRAP7 = 135
    D3D_RS_CLIPPING = 136,
    D3D_RS_LIGHTING = 137,
    D3D_RS_COLORKEYBLENDENABLE = 144,
    D3D_RS_DIFFUSEMATERIALSOURCE = 145,
    D3D_RS_SPECULARMATERIALSOURCE = 146,
    D3D_RS_COUNT = 160,
};

// Texture-stage states.
enum : uint32_t {
    D3D_TSS_COLOROP = 1,
    D3D_TSS_COLORARG1 = 2,
    D3D_TSS_COLORARG2 = 3,
    D3D_TSS_ALPHAOP = 4,
    D3D_TSS_ALPHAARG1 = 5,
    D3D_TSS_ALPHAARG2 = 6,
    D3D_TSS_TEXCOORDINDEX = 11,
    D3D_TSS_ADDRESS = 12,
    D3D_TSS_ADDRESSU = 13,
    D3D_TSS_ADDRESSV = 14,
    D3D_TSS_MAGFILTER = 16,
    D3D_TSS_MINFILTER = 17,
    D3D_TSS_MIPFILTER = 18,
    D3D_TSS_COUNT = 19,
};
enum : int { D3D_MAX_STAGES = 8 };

// Stage operations and arguments.
enum : uint32_t {
    D3D_TOP_DISABLE = 1,
    D3D_TOP_SELECTARG1 = 2,
    D3D_TOP_SELECTARG2 = 3,
    D3D_TOP_MODULATE = 4,
    D3D_TOP_MODULATE2X = 5,
    D3D_TOP_MODULATE4X = 6,
    D3D_TOP_ADD = 7,
    D3D_TOP_ADDSIGNED = 8,
    D3D_TOP_SUBTRACT = 10,
    D3D_TOP_ADDSMOOTH = 11,
    D3D_TOP_BLENDDIFFUSEALPHA = 12,
    D3D_TOP_BLENDTEXTUREALPHA = 13,
    D3D_TOP_BLENDFACTORALPHA = 14,
    D3D_TOP_BLENDCURRENTALPHA = 16,
    D3D_TA_DIFFUSE = 0,
    D3D_TA_CURRENT = 1,
    D3D_TA_TEXTURE = 2,
    D3D_TA_TFACTOR = 3,
    D3D_TA_SPECULAR = 4,
    D3D_TA_COMPLEMENT = 0x10,
    D3D_TA_ALPHAREPLICATE = 0x20,
};

// Blend factors, comparisons, cull, shade, address, filters.
enum : uint32_t {
    D3D_BLEND_ZERO = 1,
    D3D_BLEND_ONE = 2,
    D3D_BLEND_SRCCOLOR = 3,
    D3D_BLEND_INVSRCCOLOR = 4,
    D3D_BLEND_SRCALPHA = 5,
    D3D_BLEND_INVSRCALPHA = 6,
    D3D_BLEND_DESTALPHA = 7,
    D3D_BLEND_INVDESTALPHA = 8,
    D3D_BLEND_DESTCOLOR = 9,
    D3D_BLEND_INVDESTCOLOR = 10,
    D3D_BLEND_SRCALPHASAT = 11,
    D3D_CMP_NEVER = 1,
    D3D_CMP_LESS = 2,
    D3D_CMP_EQUAL = 3,
    D3D_CMP_LESSEQUAL = 4,
    D3D_CMP_GREATER = 5,
    D3D_CMP_NOTEQUAL = 6,
    D3D_CMP_GREATEREQUAL = 7,
    D3D_CMP_ALWAYS = 8,
    D3D_CULL_NONE = 1,
    D3D_CULL_CW = 2,
    D3D_CULL_CCW = 3,
    D3D_SHADE_FLAT = 1,
    D3D_SHADE_GOURAUD = 2,
    D3D_ADDRESS_WRAP = 1,
    D3D_ADDRESS_MIRROR = 2,
    D3D_ADDRESS_CLAMP = 3,
    D3D_ADDRESS_BORDER = 4,
    D3D_FILTER_POINT = 1,
    D3D_FILTER_LINEAR = 2,
};

// Primitive types, vertex formats and transforms.
enum : uint32_t {
    D3D_PT_POINTLIST = 1,
    D3D_PT_LINELIST = 2,
    D3D_PT_LINESTRIP = 3,
    D3D_PT_TRIANGLELIST = 4,
    D3D_PT_TRIANGLESTRIP = 5,
    D3D_PT_TRIANGLEFAN = 6,
    D3D_FVF_XYZRHW = 0x004,
    D3D_FVF_DIFFUSE = 0x040,
    D3D_FVF_SPECULAR = 0x080,
    D3D_FVF_TEX1 = 0x100,
    D3D_FVF_TEX2 = 0x200,
    D3D_TS_WORLD = 1,
    D3D_TS_VIEW = 2,
    D3D_TS_PROJECTION = 3,
    D3D_TS_WORLD1 = 4,
    D3D_TS_WORLD2 = 5,
    D3D_TS_WORLD3 = 6,
    D3D_TS_COUNT = 7,
};

// ---- records -------------------------------------------------------------------------------------
struct D3dGuid {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};
extern const D3dGuid kD3dGuidObject;     // asked of the DirectDraw object for the 3-D object
extern const D3dGuid kD3dGuidRgbDevice;  // the software emulation device (listed, never made)
extern const D3dGuid kD3dGuidHalDevice;
extern const D3dGuid kD3dGuidTnlHalDevice;
// 1 when the two are equal.
int D3dGuidEqual(const D3dGuid *a, const D3dGuid *b);

// A pixel format. For a depth format bitCount is the depth bit count, rMask the stencil bit count,
// gMask the depth mask and bMask the stencil mask.
struct D3dPixelFormat {
    uint32_t size;      // 32
    uint32_t flags;     // D3D_PF_*
    uint32_t fourCC;
    uint32_t bitCount;
    uint32_t rMask, gMask, bMask, aMask;
};

struct D3dPrimCaps {
    uint32_t size;
    uint32_t miscCaps, rasterCaps, zCmpCaps, srcBlendCaps, destBlendCaps, alphaCmpCaps, shadeCaps;
    uint32_t textureCaps;  // D3D_TEXCAPS_*
    uint32_t textureFilterCaps, textureBlendCaps, textureAddressCaps, stippleWidth, stippleHeight;
};

// What a device can do; the fields the renderer reads keep their places in the shape it expects.
struct D3dDeviceDesc {
    uint32_t devCaps;
    D3dPrimCaps lineCaps;
    D3dPrimCaps triCaps;
    uint32_t renderBitDepth;    // D3D_BD_* of the screen depths the device renders into
    uint32_t zBufferBitDepth;
    uint32_t minTextureWidth, minTextureHeight;
    uint32_t maxTextureWidth, maxTextureHeight;
    uint32_t maxTextureRepeat, maxTextureAspectRatio, maxAnisotropy;
    float guardBandLeft, guardBandTop, guardBandRight, guardBandBottom;
    float extentsAdjust;
    uint32_t stencilCaps, fvfCaps, textureOpCaps;
    uint16_t maxTextureBlendStages;
    uint16_t maxSimultaneousTextures;
    uint32_t maxActiveLights;
    float maxVertexW;
    D3dGuid deviceGuid;
    uint16_t maxUserClipPlanes, maxVertexBlendMatrices;
    uint32_t vertexProcessingCaps;
    uint32_t reserved[4];
};

struct D3dViewport {
    uint32_t x, y, width, height;
    float minZ, maxZ;
};

struct D3dRect {
    int32_t left, top, right, bottom;
};

struct D3dPoint {
    int32_t x, y;
};

// ---- objects -------------------------------------------------------------------------------------
struct D3dObject;
struct D3dDevice;

typedef int32_t (*D3dEnumDevicesCallback)(const char *description, const char *name, D3dDeviceDesc *desc,
                                          void *context);
typedef int32_t (*D3dEnumPixelFormatsCallback)(D3dPixelFormat *format, void *context);

struct D3dObjectFns {
    uint32_t (*AddRef)(D3dObject *self);
    uint32_t (*Release)(D3dObject *self);  // references left; the last frees the object
    // Calls back for every device in list order until the callback returns D3D_ENUM_CANCEL.
    int32_t (*EnumDevices)(D3dObject *self, D3dEnumDevicesCallback callback, void *context);
    // Calls back for every depth format of that device kind; a null format ends nothing (never sent).
    int32_t (*EnumZBufferFormats)(D3dObject *self, const D3dGuid *device, D3dEnumPixelFormatsCallback callback,
                                  void *context);
    // A device of that kind rendering into target (held). D3D_ERR_INVALID_DEVICE for an unknown kind or
    // a back end that cannot start; D3D_ERR_INVALID_TARGET for a system-memory or depth surface.
    int32_t (*CreateDevice)(D3dObject *self, const D3dGuid *device, DdSurface *target, D3dDevice **out);
};

struct D3dObject {
    const D3dObjectFns *fn;
};

struct D3dDeviceFns {
    uint32_t (*AddRef)(D3dDevice *self);
    uint32_t (*Release)(D3dDevice *self);  // the last drops the target and textures
    int32_t (*EnumTextureFormats)(D3dDevice *self, D3dEnumPixelFormatsCallback callback, void *context);
    int32_t (*SetRenderState)(D3dDevice *self, uint32_t state, uint32_t value);
    int32_t (*GetRenderState)(D3dDevice *self, uint32_t state, uint32_t *value);
    int32_t (*SetTextureStageState)(D3dDevice *self, uint32_t stage, uint32_t state, uint32_t value);
    int32_t (*GetTextureStageState)(D3dDevice *self, uint32_t stage, uint32_t state, uint32_t *value);
    int32_t (*SetTexture)(D3dDevice *self, uint32_t stage, DdSurface *texture);  // null unbinds
    // The viewport is kept (only clipped to the new target when drawing).
    int32_t (*SetRenderTarget)(D3dDevice *self, DdSurface *target, uint32_t flags);
    int32_t (*SetViewport)(D3dDevice *self, const D3dViewport *viewport);
    int32_t (*GetViewport)(D3dDevice *self, D3dViewport *viewport);
    int32_t (*SetTransform)(D3dDevice *self, uint32_t kind, const float *matrix16);  // stored only
    int32_t (*BeginScene)(D3dDevice *self);
    int32_t (*EndScene)(D3dDevice *self);
    int32_t (*DrawPrimitive)(D3dDevice *self, uint32_t type, uint32_t fvf, const void *vertices, uint32_t count,
                             uint32_t flags);
    int32_t (*DrawIndexedPrimitive)(D3dDevice *self, uint32_t type, uint32_t fvf, const void *vertices,
                                    uint32_t vertexCount, const uint16_t *indices, uint32_t indexCount,
                                    uint32_t flags);
    // Copies rect of src (whole surface when null) to point of dst (origin when null); same format and
    // within both surfaces, else D3D_ERR_INVALID_PARAMS / D3D_ERR_INVALID_PIXEL_FORMAT.
    int32_t (*Load)(D3dDevice *self, DdSurface *dst, const D3dPoint *point, DdSurface *src, const D3dRect *rect,
                    uint32_t flags);
};

struct D3dDevice {
    const D3dDeviceFns *fn;
};

// ---- entry points --------------------------------------------------------------------------------
// Makes a 3-D object (one reference). The DirectDraw stand-in hands it out for kD3dGuidObject.
// D3D_OK, or a negative code (fault injection).
int32_t D3dCreateObject(D3dObject **out);

// Bytes of one vertex of a format this device draws (0x44, 0x144, 0x2C4 and their kin), or 0.
uint32_t D3dVertexSize(uint32_t fvf);

// Chooses the back end of devices made from now on: "gl" or "record"; null returns to the choice by
// DAZAR_D3D (default "gl"). 0 / -1 (unknown name).
int D3dSelectBackend(const char *name);
