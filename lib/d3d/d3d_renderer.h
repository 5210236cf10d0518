// The Direct3D renderer's records and inner operations: the one global block, the four device slots
// with their state cache and vertex batch, the 3D surface data records of texture pieces, and the
// table through which the renderer reaches the graphics core's display. The entry points the
// graphics core calls are declared in d3d_hooks.h, d3d_draw_hooks.h and d3d_surface_hooks.h.
#pragma once
#include <cstdint>

#include "lib/graphics/graph.h"
#include "lib/image/color_format.h"
#include "platform/d3d/d3d.h"

#define D3D_DEVICE_SLOT_COUNT 4
#define D3D_STAGE_COUNT 8
#define TEXTURE_FORMAT_SLOT_COUNT 9
#define SURFACE3D_TABLE_SIZE 65536
#define SURFACE3D_HANDLE_TYPE 0x30000000u
#define SURFACE3D_CHECK_COUNT 2048
#define STAGE_VALUE_NOT_SENT 0xFFFF

// ---- vertices -----------------------------------------------------------------------------------
struct ColorVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
};
struct TexturedVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
struct BlendTexturedVertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float u, v, u2, v2;
};
enum { VERTEX_TYPE_COLOR = 0, VERTEX_TYPE_TEXTURED = 1, VERTEX_TYPE_BLEND = 2 };
#define COLOR_VERTEX_CAPACITY 3225
#define TEXTURED_VERTEX_CAPACITY 2340
#define BLEND_VERTEX_CAPACITY 1638

// Capacity, vertex format code and size of each vertex type, shared with the draws.
struct VertexTypeInfo {
    uint32_t capacity;
    uint32_t fvf;
    uint32_t size;
};
extern const VertexTypeInfo kVertexTypes[3];

// ---- records ------------------------------------------------------------------------------------
// A device texture format as enumerated and its colour format; empty while colorFormat's depth is 0.
struct TextureFormatRecord {
    D3dPixelFormat pixelFormat;
    ColorFormatRecord colorFormat;
};

// One texture stage as last sent: its texture and six stage values (0xFFFF: not sent).
struct StageRecord {
    DdSurface *texture;
    uint16_t alphaArg1, alphaArg2, alphaOp, colorArg1, colorArg2, colorOp;
};

struct Device3DRecord {
    uint32_t inUse;
    D3dDevice *device;              // null while released for a display change
    DdSurface *ownTarget;           // the surface the device was made on
    DdSurface *currentTarget;       // last SetRenderTarget; null until the first
    DdSurface *currentTexture;      // image texture of the next draws; null = untextured
    // blend inputs
    DdSurface *blendTexture;
    uint32_t diffuseColorFlag;
    uint32_t diffuseAlphaFlag;
    uint32_t blendMode;
    int32_t borderParam;            // -1 after creation
    uint32_t borderRange;
    uint32_t alphaChFlag;
    uint32_t alphaTestFlag;
    uint32_t blendDirty;
    uint32_t textureDirty;
    uint32_t skip;                  // the pending batch is thrown away at the flush
    uint32_t force;                 // setters send equal values too
    // cached blend render states
    uint32_t alphaTestEnable, alphaRef, alphaFunc, alphaBlendEnable;
    uint32_t diffuseMaterialSource, specularMaterialSource, specularEnable, textureFactor;
    uint32_t srcBlend, destBlend;
    // stage program as last sent
    uint32_t stageCount;
    StageRecord stages[D3D_STAGE_COUNT];
    uint32_t inScene;
    uint32_t samplingMode;          // 0 nearest, 1 bilinear
    uint8_t magFilter[D3D_STAGE_COUNT], minFilter[D3D_STAGE_COUNT], mipFilter[D3D_STAGE_COUNT];
    // cached render states
    uint32_t zEnable, zWriteEnable, zFunc, zBias, shadeMode, cullMode, addressMode;
    uint32_t fogEnable, perspective, lighting, colorKeyEnable;
    // vertex batch
    uint8_t *writePointer;
    uint32_t vertexCount;
    uint32_t vertexType;            // VERTEX_TYPE_*
    uint32_t primitiveType;
    D3dViewport viewport;
    void *vertexArrays[3];
    ColorVertex colorVertices[COLOR_VERTEX_CAPACITY];
    TexturedVertex texturedVertices[TEXTURED_VERTEX_CAPACITY];
    BlendTexturedVertex blendVertices[BLEND_VERTEX_CAPACITY];
};

// One texture piece of a graph.
struct Surface3DData {
    HandleRecordHead head;          // check, 0..2047
    int *deletedFlag;               // receives 1 at deletion when set
    uint16_t graphX, graphY;        // place in the graph
    uint16_t surfaceX, surfaceY;    // place on the surface
    uint16_t rootX, rootY;          // place in the root graph's image
    uint16_t width, height;
    TexturedVertex corners[4];      // top-left, top-right, bottom-left, bottom-right
    uint8_t cornerFlags[4];
    uint32_t owner;                 // graph handle
    int surfaceData;                // SurfaceDataRecord handle (one reference held)
};

struct Direct3DGlobals {
    D3dObject *direct3D;            // null while Direct3D is down or released
    uint32_t currentSlot;
    D3dDeviceDesc deviceDesc;
    uint32_t minTextureSize, maxTextureSize;
    Surface3DData *surface3D[SURFACE3D_TABLE_SIZE];
    uint32_t surface3DCount;
    uint32_t nextCheck;
    uint32_t highWater;             // one past the highest slot in use
    float blendWidth, blendHeight, blendInvWidth, blendInvHeight;
    uint32_t diffuseColor;          // ARGB of the image draws
    TextureFormatRecord textureFormats[TEXTURE_FORMAT_SLOT_COUNT];
    uint32_t frontTarget;           // the draw target is the front buffer
    uint32_t suspended;             // Direct3D drawing suspended
    D3dPixelFormat zBufferFormat;
    int32_t captureRoutes[2];
    uint32_t initialised;
    uint32_t missingDeviceNoted;    // 1: work refused for want of the device was logged since the last release
};

extern Direct3DGlobals GDirect3D;
extern Device3DRecord GDevice3D[D3D_DEVICE_SLOT_COUNT];

// ---- the graphics core as the renderer sees it ----------------------------------------------------
// Filled by the graphics core's display route; with no table installed Direct3D never starts.
struct Direct3DDisplayPort {
    // The 3-D object of the display's draw object (one reference). 0 / -1.
    int (*QueryDirect3D)(D3dObject **out);
    // The surface the front screen is drawn on; the surface of the current draw target.
    DdSurface *(*GetFrontDrawSurface)(void);
    DdSurface *(*GetDrawTargetSurface)(void);
    // The screen's colour format. 0 / -1.
    int (*GetScreenColorFormat)(ColorFormatRecord *out);
    // Objects of a surface-data record: build (0 when they exist), release, restore when lost
    // (-1 when it was lost), colour fill, source colour key from the transparent colour.
    int (*BuildSurfaceDataObjects)(int handle);
    int (*ReleaseSurfaceDataObjects)(int handle);
    int (*RestoreSurfaceIfLost)(int handle);
    int (*FillSurfaceData)(int handle, int r, int g, int b, int a);
    void (*ApplySurfaceColorKey)(int handle);
    // The surface draw target -2 renders into.
    DdSurface *(*GetBackRenderSurface)(void);
    // Lock of a store for writing: pitch and a pointer to rect's top-left pixel. 0, -2 when it was
    // locked already, -1 on failure. Unlock releases one lock. 0 / -1.
    int (*LockSurfaceData)(int handle, int *pitch, uint8_t **pixels, int writeFlag, const Rect *rect);
    int (*UnlockSurfaceData)(int handle, const Rect *rect);
    // A texture in system memory of width x height in format, for pictures that cannot be written
    // into a texture directly. 0, or the refusal of the surface's creation.
    int (*CreateSystemTexture)(int width, int height, const D3dPixelFormat *format, DdSurface **out);
    // Write lock of a whole surface: its pitch and first pixel. 0 / -1. Unlock 0 / -1.
    int (*LockWholeSurface)(DdSurface *surface, int *pitch, uint8_t **pixels);
    int (*UnlockWholeSurface)(DdSurface *surface);
    void (*ReleaseSurface)(DdSurface *surface);
    // The display's off-screen work surface of the screen's size and format, or null.
    DdSurface *(*GetWorkSurface)(void);
    // Keeps a copy of a store's pixels while its objects are released for a device re-creation; the
    // next build writes it into the new surface. 0; -1 when there is none to keep (or no room).
    int (*KeepSurfaceDataPixels)(int handle);
    // Frees the copy a store still keeps after its build (the new surface refused it). 1 when it
    // kept one, else 0.
    int (*DropKeptSurfaceDataPixels)(int handle);
};
void SetDirect3DDisplayPort(const Direct3DDisplayPort *port);
const Direct3DDisplayPort *GetDirect3DDisplayPort(void);

// ---- inner operations ---------------------------------------------------------------------------
// The slot's record when Direct3D is up and the slot is in use (low 16 bits), else null.
Device3DRecord *LookupDevice3D(uint32_t slot);
// The same, and only while the slot has a device object (null after a failed re-creation).
Device3DRecord *LookupLiveDevice3D(uint32_t slot);

// start-up and end
// Enumeration callbacks; found points at a u32 set to 1 when something is taken. 1 go on, 0 stop.
int32_t G_D3D_EnumDeviceCallback(const char *description, const char *name, D3dDeviceDesc *desc, void *found);
int32_t G_D3D_EnumZBufferCallback(D3dPixelFormat *format, void *found);
int32_t G_D3D_EnumTextureFormatCallback(D3dPixelFormat *format, void *found);
// The colour format of the texture slot for a store's alpha, render-target and depth flags.
const ColorFormatRecord *G_D3D_SelectTextureFormat(const SurfaceFormat *format);
// The 16-bit Z-buffer format found at start-up, all zero when none.
const D3dPixelFormat *G_D3D_GetZBufferPixelFormat(void);
// The texture format record / colour format of slot 0..8, null while Direct3D is down.
const TextureFormatRecord *G_D3D_GetTextureFormatRecord(int slot);
const ColorFormatRecord *G_D3D_GetTextureFormatColorFormat(int slot);
// Takes Direct3D back after the display was rebuilt. 0 (also with nothing to do), -1 on failure.
int G_D3D_ReacquireDirect3D(void);

// device slots
// A device on target in the first free slot with every cached state sent: the slot, or -1 (down,
// four in use, or a failed creation, logged).
int G_D3D_CreateDevice(DdSurface *target);
// Releases the device object and the surface objects of every 3D record; the records stay, and each
// texture's pixels are kept for its new surface but a glyph cache's (graphs on a texture that keeps
// none are flagged lost). 0 (also with no device object), -1 when down or the slot is free.
int G_D3D_ReleaseDeviceObject(uint32_t slot);
// Releases and zeroes every slot in use (nothing while the 3-D object is gone). 0.
int G_D3D_DeleteAllDevices(void);
// A new device object in a released slot, every cached state and texture surface rebuilt; a texture
// that cannot take back the pixels it kept has its graphs flagged lost. 0 (also when it has its
// device), -1 when down, free, or creation failed (logged; the slot stays empty).
int G_D3D_RecreateDevice(uint32_t slot);
// Sends the address mode and the cached filter codes of all eight stages (a new device's defaults
// differ from them).
void SendStageAddressAndFilters(Device3DRecord *record, uint32_t addressMode);

// 3D surface data
// A piece on a new store of the texture size in format, or on source's store at (surfaceX, surfaceY)
// of source's place. The handle, or -1 (logged: down, table full, no memory; the store's own failure).
int AddSurface3DData(int texWidth, int texHeight, int x, int y, int width, int height, int rootX, int rootY,
                     uint32_t owner, const Surface3DData *source, int surfaceX, int surfaceY,
                     const SurfaceFormat *format);
// Fills a record's place in its graph, on its store (offset by source's when given) and in the root
// image, and its corners' positions and texel coordinates; its store must be set.
void PlaceSurface3DData(Surface3DData *record, int x, int y, int width, int height, int rootX, int rootY,
                        const Surface3DData *source, int surfaceX, int surfaceY);
// The record of a live handle (type, slot and check tested), or null.
Surface3DData *GetSurface3DData(int handle);
inline int MakeSurface3DHandle(uint32_t slot, int check)
{
    return (int)(SURFACE3D_HANDLE_TYPE | ((uint32_t)check << 16) | (slot & 0xFFFF));
}
// Deletes the record and its store reference (needs no 3-D object). 0, -1 for a stale handle.
int DeleteSurface3DData(int handle);
// Deletes every record while up or released; 0, or -1 while the 3-D object is gone.
int DeleteAllSurface3DData(void);

// textures of a graph
// Splits one side length into power-of-two piece sizes (at most capacity); their number, or -1 when
// more would be needed.
int G_D3D_SplitTextureLength(int length, int *sizes, int capacity, int renderTarget);

// The pieces one draw walks, in list order, and the size of the picture they make up: a graph's own,
// or those a graph derived from a rectangle of it would get, placed without handles (the glyph cells
// of a font cache, which would fill the graph table with a graph each).
struct DrawPieces {
    int width, height;
    int count;
    int stale;                // 1: the walk ended at a piece handle gone stale (the draw gives -1 there)
    const Surface3DData *list[GRAPH_MAX_PIECES];
};
// The graph's pieces up to the first stale handle.
void ListGraphPieces(const GraphRecord *graph, DrawPieces *out);
// The pieces of the rectangle part (inside the graph) placed into placed, listed in out as a derived
// graph's would be.
void PlaceGraphPartPieces(const GraphRecord *graph, const Rect *part, Surface3DData placed[GRAPH_MAX_PIECES],
                          DrawPieces *out);

// Converts the source rectangle of base (and alpha) into piece at (x, y) of its texture; keyToAlpha
// turns the transparent colour into alpha 0 where the formats call for it. 0 / -1.
int G_D3D_UploadTexturePiece(const Rect *srcRect, int x, int y, int piece, const GraphImage *base,
                             const GraphImage *alpha, int keyToAlpha);

// screen capture: the five copy routes of G_D3D_GetDrawScreenGraph (d3d_surface_hooks.h), each with
// its arguments. 0 / -1.
int G_D3D_GetDrawScreenGraphFunction1(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag);
int G_D3D_GetDrawScreenGraphFunction2(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag);
int G_D3D_GetDrawScreenGraphFunction3(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag);
int G_D3D_GetDrawScreenGraphFunction4(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag);
int G_D3D_GetDrawScreenGraphFunction5(int x1, int y1, int x2, int y2, GraphRecord *graph, int clientFlag);

// state cache: each setter sends only a change (or under the force flag), drawing the batch first;
// -1 when down, the slot is free or has no device object, else 0 (shade, fog and perspective: -1
// when the send fails; perspective does not draw the batch).
int G_D3D_SetZEnableState(uint32_t slot, uint32_t value);
int G_D3D_SetZWriteState(uint32_t slot, uint32_t value);
int G_D3D_SetZFuncState(uint32_t slot, uint32_t value);
int G_D3D_SetZBiasState(uint32_t slot, uint32_t value);
int G_D3D_SetCullState(uint32_t slot, uint32_t value);
int G_D3D_SetShadeState(uint32_t slot, uint32_t value);
int G_D3D_SetFogState(uint32_t slot, uint32_t value);
int G_D3D_SetColorKeyState(uint32_t slot, uint32_t value);
int G_D3D_SetPerspectiveState(uint32_t slot, uint32_t value);
// Records the image texture of the next draws (sent by G_D3D_ApplyBlendState).
int G_D3D_SetCurrentTexture(uint32_t slot, DdSurface *texture);
// Renders into surface; null: back to the own target (nothing while no target is set yet).
int G_D3D_SetRenderTarget(DdSurface *surface, uint32_t slot);
// 0 nearest, 1 bilinear filters on the stages in use; -1 for another mode (after the flush).
int G_D3D_SetDeviceSamplingMode(uint32_t slot, uint32_t mode);
// Sets the viewport, ending the scene; -1 before any render target or when refused (logged).
int G_D3D_SetViewport(const D3dViewport *viewport, uint32_t slot);
// World matrix 0..3 (another index sends nothing, 0).
int G_D3D_SetWorldTransform(uint32_t slot, int index, const float *matrix);
// Sends the whole cache under the force flag (viewport only with a target; colour key set to 0).
int G_D3D_ApplyAllStates(uint32_t slot);
// Address modes, coordinate indices and the basic render states, unconditionally.
int G_D3D_ResendBasicStates(uint32_t slot);
// Gives destination the source's blend inputs, sampling mode and image texture. 0 / -1.
int G_D3D_CopyDeviceState(uint32_t source, uint32_t destination);

// blend inputs and their application: the setters record a change (drawing the batch first) and
// mark the blend state dirty; 0, -1 as the state setters.
int G_D3D_SetBlendModeState(uint32_t slot, uint32_t alphaCh, uint32_t alphaTest, uint32_t mode);
int G_D3D_SetDiffuseColorFlag(uint32_t slot, uint32_t flag);
int G_D3D_SetDiffuseAlphaFlag(uint32_t slot, uint32_t flag);
int G_D3D_SetBlendTextureState(uint32_t slot, DdSurface *texture, int borderParam, int borderRange);
// Brings the device in line with the inputs (texture only, or a full rebuild sending differences).
// 0, -1 when down or (not forced) nothing is dirty.
int G_D3D_ApplyBlendState(uint32_t slot);

// per-draw state: flag bits of G_D3D_PrepareDrawState
enum {
    PREPARE_PIECE_ALPHA = 0x001,     // the piece's colour key, alpha test or alpha channel applies
    PREPARE_KEEP_ALPHA_TEST = 0x002, // alpha test kept in bilinear draw mode
    PREPARE_Z = 0x004,               // Z states from the draw settings; else Z off
    PREPARE_GOURAUD = 0x008,
    PREPARE_PERSPECTIVE = 0x010,
    PREPARE_DIFFUSE_COLOR = 0x020,
    PREPARE_DIFFUSE_ALPHA = 0x040,
    PREPARE_FOG = 0x080,
    PREPARE_KEEP_TEXTURE = 0x100,    // texture, alpha, diffuse, blend and colour key left as they are
    PREPARE_LIGHTING = 0x200,
};
// Brings the current slot's states in line with the draw settings for a draw of piece (null:
// untextured), comparing before every call so that an unchanged draw sends nothing.
void G_D3D_PrepareDrawState(const Surface3DData *piece, uint32_t flags);

// scene and batch (0, -1 when down or no device object)
// Opens a scene unless one is open.
int G_D3D_BeginScene(uint32_t slot);
// In a scene: draws the batch and ends the scene; otherwise nothing.
int G_D3D_EndDeviceScene(uint32_t slot);
// Draws the queued vertices unless the end is requested or the skip flag is set; empties the batch.
int G_D3D_FlushDeviceBatch(uint32_t slot);
// Empties the batch without drawing: no vertex queued, writes start at the array of the vertex type.
void ResetVertexBatch(Device3DRecord *record);
// Makes room for n vertices of primitive type: draws the batch first (with the flush's skip and end
// tests) when the type changes or n more would reach the capacity; the write pointer, or null.
uint8_t *G_D3D_ReserveVertices(uint32_t slot, uint32_t primitiveType, uint32_t n);
// The same, except that n more may fill the batch to its capacity exactly.
uint8_t *G_D3D_ReserveVerticesToCapacity(uint32_t slot, uint32_t primitiveType, uint32_t n);
// Draws count vertices of the slot's vertex type at once, outside the batch; nothing while the end is
// requested, the skip flag is set or the slot has no device object.
void DrawVerticesAtOnce(Device3DRecord *record, uint32_t primitiveType, const void *vertices, uint32_t count);
// Draws a row-major grid of rows x perRow textured vertices as joined triangle strips after the
// batch (nothing drawn where the batch would be dropped). -1 (nothing done) for fewer than 2 rows or
// columns, or a grid beyond 16-bit indices.
int G_D3D_DrawVertexGrid(uint32_t slot, int perRow, const TexturedVertex *vertices, int rows);
// Unlocks the surface data of a live 3D surface (one lock of it). Its result; -1 for a handle that
// is not live.
int G_D3D_UnlockSurface3D(int handle, const Rect *rect);

// image and four-corner draws
// The current slot's record for a graph draw, or null with *result set: -1 while Direct3D is down or
// the slot is free, 0 while drawing is suspended or the slot has lost its device object.
Device3DRecord *LookupGraphDrawDevice(int *result);
// Opens the slot's scene and prepares the states of a draw of the pieces from the first one: the
// piece's alpha kind when trans is set, the Z states when the draw settings use Z, and the extra flags.
// 0, -1 when there is no first piece (nothing prepared).
int BeginGraphDraw(uint32_t slot, const DrawPieces *pieces, int trans, uint32_t extra);
// Makes piece's texture the image texture and brings the blend state in line; the vertex type the
// piece is then to be written in (a piece without a texture surface switches to untextured).
uint32_t BindPieceTexture(uint32_t slot, const Surface3DData *piece);
// A piece corner as a draw places it: target position, texel and blend-graph coordinates.
struct PlacedCorner {
    float x, y, u, v, bu, bv;
};
// Writes n vertices of type (textured or blend) at out from corners taken in order: position, texel
// (and blend) coordinates, rhw 1 (and white specular), z the draw Z, and the diffuse colour only into
// the vertices whose bit is set in diffuseMask. 0, -1 for another type (nothing written).
int WriteCornerVertices(uint32_t type, void *out, const PlacedCorner *corners, const uint8_t *order, int n,
                        uint32_t diffuseMask);
// Queues corners (top-left, top-right, bottom-left, bottom-right) as six triangle-list vertices on the
// slot's batch, in its vertex type: top-left, top-right, bottom-left, bottom-right, bottom-left,
// top-right, or with otherWinding set top-left, bottom-left, top-right, bottom-right, top-right,
// bottom-left. The diffuse colour goes into vertices 1 and 4 only (flat shading reads no other).
// Nothing for another type or without a device object.
void QueuePieceQuad(uint32_t slot, const PlacedCorner corners[4], int otherWinding);
// Draws graph on the quadrilateral of integer corners (top-left, top-right, bottom-left, bottom-right
// as x, y pairs): axis-aligned ones through the stretched draw, others through the float draw, or
// while a blend graph is set as a piecewise-affine strip per piece drawn at once. 0, -1 while
// Direct3D is down or for a piece handle gone stale, else the result of the draw it hands over to.
int G_D3D_RenderGraphQuad(const int corners[8], GraphRecord *graph, int trans);
// Draws one piece on corners already in target coordinates: a batched quad when they form a
// parallelogram (each edge within a pixel of its opposite), else an 8 x 8 grid drawn at once. A device
// not in the textured vertex type draws nothing.
void G_D3D_RenderPieceMesh(const Surface3DData *piece, const float corners[8]);
// The stretched and four-corner draws of G_D3D_RenderGraphStretched and G_D3D_RenderGraphFreeQuad
// over a list of pieces.
int DrawPiecesStretched(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                        const DrawPieces *pieces, int trans, int flag);
int DrawPiecesFreeQuad(const float corners[8], const DrawPieces *pieces, int trans);
