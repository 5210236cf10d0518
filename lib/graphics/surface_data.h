// The objects behind a pixel store (SurfaceDataRecord): a display surface on the DirectDraw route or
// for a texture, else a memory image; its locks, loss, fills and colour key; copies between display
// surfaces.
#pragma once
#include <cstdint>

#include "lib/graphics/graph.h"
#include "platform/ddraw/ddraw.h"

// Makes the store's display surface (a texture's in its texture format slot; on the DirectDraw route
// a store without alpha outside system memory, with a memory image over its pixels) or its memory
// image. 0 at once when it exists; 0 / -1 (logged).
int BuildSurfaceDataObjects(int handle);
// Releases the Z surface (detached first), the display surface and the memory image; a second call
// does nothing. 0 / -1 (bad handle).
int ReleaseSurfaceDataObjects(int handle);
// Sets the display surface's source colour key to the transparent colour in its format; failures
// are logged.
void ApplySurfaceColorKey(int handle);
// Locks the store (a display surface whole, with DD_LOCK_WAIT, write-only when writeFlag is 1) and
// gives the pitch and a pointer to rect's top-left pixel (rect null: the first pixel) and the
// memory-image format (null for a texture). 0; -2 when it was locked already (count raised, offset
// into the same lock); -1 (logged "グラフィックのロックに失敗しました") on failure.
int LockSurfaceData(int handle, int *pitch, uint8_t **pixels, int writeFlag, const Rect *rect,
                    const ColorFormatRecord **format);
// Releases one lock; the surface is unlocked at 0, told the rectangles the unlocks named, joined (rect
// null: the whole store), as what the locks changed. 0 / -1 (not locked). A write-only lock marks the
// memory image's pixels changed; who writes through a lock of write flag 0 marks them itself
// (MarkMemImgPixelsChanged).
int UnlockSurfaceData(int handle, const Rect *rect);
// Keeps the display surface, with its pixels, while the store's objects are released for a device
// re-creation: the next build has the new surface take its memory block and lets it go (a new surface
// of another size or format leaves it for DropKeptSurfaceDataPixels; the store's removal lets it go).
// 0 (also when kept already); -1 when there is no surface.
int KeepSurfaceDataPixels(int handle);
// Lets go the pixels a store still keeps after its build: its new surface refused them, so its graphs
// must reload their pictures. 1 when it kept some, else 0 (none, or a bad handle).
int DropKeptSurfaceDataPixels(int handle);
// -1 when the store's surface was lost (it is restored now, its record marked lost), else 0.
int RestoreSurfaceIfLost(int handle);
// Colour-fill of the whole store with the colour in its format. 0 / -1.
int FillSurfaceData(int handle, int r, int g, int b, int a);
// Copies srcRect of src to (x, y) of dst: mode 1 through both device contexts (BitBlt), otherwise
// BltFast. 0 / -1.
int TransferSurfaceRect(DdSurface *dst, DdSurface *src, int x, int y, const Rect *srcRect, int mode);
