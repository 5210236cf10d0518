// Picture decoding: a table of loaders tried in turn over a stream, each filling a GraphImage.
#pragma once
#include <cstddef>
#include <cstdint>
#include "lib/image/color_format.h"

struct StreamRecord;

// One decoder. test looks at the first bytes of the file (head, headSize of them, at least 16 when
// the file is that long) and returns 1 when the loader takes the file; load decodes the whole
// stream from its start into out. 0, or -1 (logged, out left empty) on a broken or hostile file.
struct ImageLoader {
    const char *name;
    int (*test)(const unsigned char *head, size_t headSize);
    int (*load)(StreamRecord *stream, GraphImage *out);
};

// What each loader produces:
// - PNG: 24-bit BGR (red mask 0xFF0000); with an alpha channel or a tRNS chunk 32-bit BGRA (alpha
//   in the top byte); 8-bit grey (and 1, 2, 4-bit grey widened) an 8-bit palette image whose
//   palette is the grey ramp; 16-bit channels cut to 8; palette pictures expanded to BGR or BGRA.
// - JPEG: 24-bit BGR (grey pictures too).
// - BMP: 1, 4 and 8-bit pictures an 8-bit palette image; 16-bit 5:5:5 (or its bit fields);
//   24-bit BGR; 32-bit X8R8G8B8 (or its bit fields); bottom-up and top-down rows.
// Every picture comes out top row first. Pictures wider or higher than IMAGE_MAX_SIDE, or with more
// than IMAGE_MAX_PIXELS pixels, are refused.
#define IMAGE_MAX_SIDE 16384
#define IMAGE_MAX_PIXELS (64 * 1024 * 1024)

// Decodes the stream from its start with the first loader that takes it.
// 0, or -1 (logged, out zeroed) when no loader takes it or the loader fails.
int LoadGraphImage(StreamRecord *stream, GraphImage *out);
// The same over a block of memory.
int LoadGraphImageFromMemory(const void *data, size_t size, GraphImage *out);
// The same over a data file (library path, "\\" separators allowed).
int LoadGraphImageFromFile(const char *path, GraphImage *out);

// Bytes of the stream from offset to its end (0 when it ends before), -1 when the stream cannot say;
// the read position is kept. What a loader allocates is bounded by the bytes its file really holds.
int64_t GetImageStreamBytesFrom(StreamRecord *stream, int64_t offset);

// The loaders, tried in turn by LoadGraphImage.
int TestPngImage(const unsigned char *head, size_t headSize);
int LoadPngImage(StreamRecord *stream, GraphImage *out);
int TestJpegImage(const unsigned char *head, size_t headSize);
int LoadJpegImage(StreamRecord *stream, GraphImage *out);
int TestBmpImage(const unsigned char *head, size_t headSize);
int LoadBmpImage(StreamRecord *stream, GraphImage *out);
