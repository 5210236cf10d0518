// Data files: the replaceable file-function table, the data-file calls over it and the temporary
// disk file. Names are Shift-JIS with "\\" (or "/") between components; a component that does not
// exist as written is matched case-insensitively, since asset names mix cases.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/kernel/kernel.h"

// One directory entry found by the find operations.
struct FileFindRecord {
    char name[K_MAX_PATH];   // entry name, Shift-JIS
    int64_t size;            // bytes (0 for a directory)
    int directory;           // 1 for a directory
};

// The twelve operations every data read of the library goes through. File and find handles are
// pointer-sized; 0 is never a valid file handle, -1 never a valid find handle.
struct FileFunctionTable {
    // (name, read-ahead flag, unused, asynchronous flag) -> file handle, 0 on failure (logged).
    intptr_t (*open)(const char *name, int readAhead, int unused, int async);
    int (*close)(intptr_t file);                                   // 0 / -1
    int64_t (*tell)(intptr_t file);                                // position, -1 on failure
    int (*seek)(intptr_t file, int64_t offset, int origin);        // origin 0 start, 1 current, 2 end; 0 / -1
    size_t (*read)(void *buffer, size_t size, size_t count, intptr_t file);  // whole elements read
    int (*eof)(intptr_t file);                                     // non-zero at or past the end
    int (*idleCheck)(intptr_t file);                               // 1 idle, 0 reading ahead, -1 bad handle
    int (*changeDirectory)(const char *path);                      // 0 / -1
    int (*getDirectory)(char *buffer, size_t size);                // 0 / -1 (too small: -1)
    intptr_t (*findFirst)(const char *pattern, FileFindRecord *out);  // find handle, -1 when none matches
    int (*findNext)(intptr_t find, FileFindRecord *out);           // 0, -1 when no more
    int (*findClose)(intptr_t find);                               // 0 / -1
};

// Replaces the table (copied; null entries answer with a logged failure); null restores the disk
// table. Replace it before files are opened: a handle belongs to the table that opened it. 0.
int SetFileFunctionTable(const FileFunctionTable *table);
// The table in use.
const FileFunctionTable *GetFileFunctionTable(void);
// The disk table (also for a replacement that wraps it).
const FileFunctionTable *GetDiskFileFunctionTable(void);

// Opens a data file for reading; a reader thread serves files opened with read-ahead or async
// reading, with the same results as without. The file handle, or 0 on failure (logged).
intptr_t OpenDataFile(const char *name, int readAhead, int unused, int async);
int CloseDataFile(intptr_t file);                              // 0 / -1
int64_t TellDataFile(intptr_t file);                           // position in bytes, -1 on failure
int SeekDataFile(intptr_t file, int64_t offset, int origin);   // 0 / -1; a position before 0 fails
// Reads up to size * count bytes; the whole elements read (0 at the end or on failure).
size_t ReadDataFile(void *buffer, size_t size, size_t count, intptr_t file);
int EofDataFile(intptr_t file);                                // 1 at or past the end, 0 before, -1 bad handle
int IdleCheckDataFile(intptr_t file);                          // 1 when no read-ahead is running

// Makes a new empty file "tmp..." in the temporary directory (created anew with K_CREATE_NEW) open
// for writing, copies its path into path (K_MAX_PATH bytes) when given; the kernel file handle,
// or 0 when no directory, name or file can be had (logged).
KHandle CreateTempDiskFile(char *path);
