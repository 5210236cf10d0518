// Shared inside the file module: seek rules, path resolution and the directory operations.
#pragma once
#include <cstddef>
#include <cstdint>

#include "lib/file/datafile.h"

// The position a seek asks for: origin 0 start, 1 current, 2 end (size); a position before 0
// and an unknown origin fail. 0; -1 (logged with caller's name).
int ResolveSeekTarget(int64_t position, int64_t size, int64_t offset, int origin, int64_t *target,
                      const char *caller);

// The module's own handles (open files, listings): a record's check (1..0x7FFF, 0 while its slot
// is free) in bits 16-30 and its slot in bits 0-15, so a handle is never 0 or negative.
// The record behind handle, or null when it is out of range, free or stale.
template <typename Record, int Size>
Record *LookupSlotHandle(Record (&records)[Size], intptr_t handle)
{
    intptr_t slot = handle & 0xFFFF, check = handle >> 16;
    if (handle <= 0 || slot >= Size || check == 0 || records[slot].check != check)
        return nullptr;
    return &records[slot];
}

// Gives a record in slot the next check (wrapping 0x7FFF to 1) and returns its handle.
inline intptr_t StampSlotHandle(int *check, int *nextCheck, int slot)
{
    *nextCheck = *nextCheck % 0x7FFF + 1;
    *check = *nextCheck;
    return ((intptr_t)*check << 16) | slot;
}

// Room for a resolved path in the disk's own encoding (UTF-8: up to 3 bytes per Shift-JIS byte).
#define DISK_PATH_BYTES (K_MAX_PATH * 3 + 1)

// Copies a Shift-JIS name with every "\\" outside two-byte characters turned into "/".
// 0; -1 when the name (with its NUL) does not fit in outSize bytes.
int DiskMapSeparators(const char *name, char *out, size_t outSize);

// Turns a library name into the path of an existing disk entry (UTF-8): the exact path when it
// exists, else each component matched ignoring ASCII case. 0; -1 (logged with caller's name) when
// the name is null, too long, not Shift-JIS or names nothing.
int DiskResolvePath(const char *name, char *out, size_t outSize, const char *caller);

// The disk table's directory and find operations.
int DiskChangeDirectory(const char *path);
int DiskGetDirectory(char *buffer, size_t size);
intptr_t DiskFindFirst(const char *pattern, FileFindRecord *out);
int DiskFindNext(intptr_t find, FileFindRecord *out);
int DiskFindClose(intptr_t find);
