// The tracked allocator: every block carries a 64-byte header and sits in one list, so the blocks
// still allocated can be listed in the log at library end. Safe to call from any thread.
#pragma once
#include <cstddef>
#include <cstdint>

struct MemoryBlockHeader {
    MemoryBlockHeader *prev;     // list links
    MemoryBlockHeader *next;
    uint32_t size;               // user bytes
    int32_t line;                // caller's line
    uint16_t id;                 // allocation ID, wraps
    char nameTail[6];            // last characters of the caller's file name
    uint8_t check[32];           // integrity copy of the fields above
};
static_assert(sizeof(MemoryBlockHeader) == 64, "the header keeps user blocks 16-byte aligned");

// A tracked block of size bytes, or null when the heap refuses (logged). file may be "" and line 0.
void *AllocMemoryTracked(size_t size, const char *file, int line);
// The same, every byte 0.
void *AllocMemoryZeroed(size_t size, const char *file, int line);
// Resizes a tracked block (null: a new one), keeping its bytes and its allocation ID; the C runtime
// grows a large block where it lies or by moving its pages, not its bytes. The block, or null when the
// heap refuses or the header is damaged (logged; the old block stays as it was).
void *ResizeMemoryTracked(void *block, size_t size);
// Frees a tracked block; null is ignored; a block whose header is damaged is logged and not freed.
void FreeMemoryTracked(void *block);
// Writes the still-allocated blocks to the log (none: a line saying so). 0.
int DumpTrackedMemory(void);
// How many tracked blocks are allocated now.
int GetTrackedBlockCount(void);

// Test seam: the countdown-th allocation from now is refused as if the heap had (1 = the next one);
// 0 turns it off. Logged like a real refusal.
void SetTrackedAllocFailure(int countdown);

#define DZ_ALLOC(size) AllocMemoryTracked((size), __FILE__, __LINE__)
#define DZ_ALLOC_ZERO(size) AllocMemoryZeroed((size), __FILE__, __LINE__)
