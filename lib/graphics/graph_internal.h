// Record-level helpers shared by the graph module's files.
#pragma once
#include "lib/graphics/graph.h"

// Adds a piece viewing (x, y, width, height) of a pixel store (its reference count + 1). Handle / -1.
int AddSurface2D(int surfaceData, int x, int y, int width, int height);
// Deletes a piece (the store's reference count - 1). 0 / -1.
int RemoveSurface2D(int handle);
// Adds an empty graph record (no pieces, movie -1). A full graph table ends the process; null only
// without tables or memory.
GraphRecord *AddGraphRecord(int width, int height, const SurfaceFormat *format);
// Lets the graph go of its kept picture (freed with its last graph).
void ReleaseKeptPicture(GraphRecord *graph);
