// The loader table (being filled in).
#include "lib/image/image_loader.h"

int LoadGraphImage(StreamRecord *stream, GraphImage *out) { return -1; }
int LoadGraphImageFromMemory(const void *data, size_t size, GraphImage *out) { return -1; }
int LoadGraphImageFromFile(const char *path, GraphImage *out) { return -1; }
