// Records behind the display-surface stand-in's public objects, shared by its files.
#pragma once
#include "platform/ddraw/ddraw.h"

struct DdDrawRecord;

struct DdSurfaceRecord {
    DdSurface object;            // the public view; first
    int refs;
    int lost;                    // 1 after a loss until Restore
    int locks;                   // 0 or 1
    int hasKey;                  // 1 when a source colour key is set
    DdColorKey key;
    DdDc dc;                     // open context, 0 none
    DdDrawRecord *owner;         // cleared when the draw object goes
    DdSurfaceRecord *backBuffer; // a primary's flip partner (a reference is held)
    DdSurfaceRecord *zSurface;   // attached Z surface (a reference is held)
    DdSurfaceRecord *flipParent; // a back buffer's primary (not referenced)
    DdClipper *clipper;          // referenced
    DdSurfaceRecord *prev, *next; // live surfaces
};

struct DdDrawRecord {
    DdDraw object;               // the public view; first
    int refs;
    uint32_t cooperative;        // DD_SCL_*
    WHandle window;
    int modeSet;                 // 1 after SetDisplayMode
    uint32_t modeWidth, modeHeight, modeBits;
};

struct DdGlobals {
    DdSurfaceRecord *surfaces;   // live surfaces, newest first
    uint32_t nextId;
    int desktopBits;             // 16 or 32
};
extern DdGlobals gDd;

// The record of a public surface.
inline DdSurfaceRecord *AsSurfaceRecord(DdSurface *s) { return reinterpret_cast<DdSurfaceRecord *>(s); }
// Hands a call to the record hook and returns its result.
int32_t DdRecordCall(DdMethod method, DdObjectKind kind, uint32_t id, const int32_t *args, int argCount,
                     int32_t result);
// The injected failure of the method's call now, or DD_OK.
int32_t DdTakeFault(DdMethod method);
// Tells the object hook of an object of the kind made (delta 1) or freed (-1).
void DdCountObject(DdObjectKind kind, int delta);
// Makes a surface of the description in format (window: where a primary shows). Result code.
int32_t DdNewSurface(DdDrawRecord *owner, const DdSurfaceDesc *desc, const DdPixelFormat *format, DdSurface **out);
// Bytes per pixel of a format (1, 2 or 4), 0 for an unusable one.
int DdFormatBytes(const DdPixelFormat *format);
// Copies w x h pixels between two surfaces' memory (clipped by the caller), converting formats,
// skipping source pixels equal to *key when key is not null. 0 / -1 (a format it cannot write).
int DdCopyPixels(DdSurface *dst, int dx, int dy, DdSurface *src, int sx, int sy, int w, int h, const uint32_t *key);
// Tells the surface's device copy of a CPU access / write.
void DdBeforeCpu(DdSurface *s, int access);
void DdAfterCpuWrite(DdSurface *s, const DdRect *rect);
// Hands a fill, a copy or a flip to the device copy; 1 when the device did it.
int DdDeviceFill(DdSurface *s, const DdRect *rect, uint32_t value);
int DdDeviceCopy(DdSurface *dst, const DdRect *d, DdSurface *src, const DdRect *s);
int DdDeviceSwap(DdSurface *a, DdSurface *b);
// Point-sampled copy of rectangle s of src into rectangle d of dst (both inside), as DdCopyPixels.
int DdScalePixels(DdSurface *dst, const DdRect *d, DdSurface *src, const DdRect *s, const uint32_t *key);
// Stores value (cut to the pixel size) in every pixel of r (inside the surface).
void DdFillPixels(DdSurface *dst, const DdRect *r, uint32_t value);
