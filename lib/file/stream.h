// Streams: six operations over a data word, one table over data files and one over memory blocks.
// Loaders read images and sounds through a StreamRecord without knowing which it is.
#pragma once
#include <cstddef>
#include <cstdint>

// The six operations in slot order. Positions and offsets are bytes.
struct StreamFunctionTable {
    int64_t (*tell)(intptr_t data);                              // position, -1 on failure
    int (*seek)(intptr_t data, int64_t offset, int origin);      // origin 0 start, 1 current, 2 end; 0 / -1
    size_t (*read)(void *buffer, size_t size, size_t count, intptr_t data);  // whole elements read
    int (*eof)(intptr_t data);                                   // non-zero at or past the end
    int (*idleCheck)(intptr_t data);                             // 1 when idle
    int (*close)(intptr_t data);                                 // 0 / -1
};

// A stream: the six operations copied by value, then the data word (a data-file handle or a
// MemoryStream pointer).
struct StreamRecord {
    StreamFunctionTable functions;
    intptr_t data;
};

// A stream over the caller's memory block.
struct MemoryStream {
    const uint8_t *data;   // the caller's block, never freed here
    size_t size;           // bytes in the block
    int64_t position;      // read position, may lie past the end after a seek
    int endFlag;           // 1 while the position is at or past the end
};

// The table over OpenDataFile handles / over MemoryStream pointers.
const StreamFunctionTable *GetFileStreamFunctions(void);
const StreamFunctionTable *GetMemoryStreamFunctions(void);

// A new stream at position 0 over data (size bytes; the block stays the caller's), or 0 when the
// stream cannot be allocated (logged).
MemoryStream *OpenMemoryStream(const void *data, size_t size);
// Frees the stream, not the data. 0; -1 for null.
int CloseMemoryStream(MemoryStream *stream);
