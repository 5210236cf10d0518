// The disk table: data files on disk, each in a fixed slot, with an optional reader thread.
// A file opened with read-ahead or asynchronous reading does all its reading on its own thread,
// driven by commands through a pair of events; read-ahead also keeps the current block and fetches
// the block after it while the caller works. Results are the same with or without.
#include <sys/stat.h>

#include <cstring>
#include <mutex>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/file/file_internal.h"

#ifndef DISK_FILE_MAX
#define DISK_FILE_MAX 256
#endif
#define DISK_READ_AHEAD_SIZE (64 * 1024)
#define DISK_READ_CHUNK (1u << 30)   // largest single kernel read

enum ReaderCommandKind { READER_READ, READER_QUIT };

// One command for the reader thread and its result.
struct ReaderCommand {
    int kind;          // ReaderCommandKind
    int prefetch;      // 1 when the read fills the ahead block
    int64_t offset;    // file offset to read at
    uint8_t *buffer;   // destination
    size_t length;     // bytes wanted
    size_t done;       // bytes read (result)
    int failed;        // 1 when the kernel read failed (result)
};

// A block of the file held in memory (read-ahead only).
struct ReadAheadBlock {
    uint8_t *bytes;    // DISK_READ_AHEAD_SIZE bytes
    int64_t start;     // file offset of bytes[0]
    size_t length;     // valid bytes, 0 while empty or being filled
};

// One open data file.
struct DiskFileRecord {
    int check;              // 0 while the slot is free
    KHandle file;           // kernel file
    int64_t size;           // length at open, for seeks from the end and eof
    int64_t position;       // read position seen by the caller
    int readAhead;          // 1: reads go through the blocks and the next block is fetched ahead
    KHandle thread;         // reader thread, 0 for a file read on the caller's thread
    KHandle commandEvent;   // set by the caller once command holds a new command
    KHandle doneEvent;      // set by the reader once the command is finished
    int pending;            // caller side: 1 while a posted command has not been waited for
    int readerGone;         // set by the reader when it ended on a failed wait
    ReaderCommand command;  // written by the caller before commandEvent, by the reader before doneEvent
    ReadAheadBlock current; // the block reads are served from
    ReadAheadBlock ahead;   // the block after it, filled by the reader while the caller works
};

static struct {
    DiskFileRecord files[DISK_FILE_MAX];   // open files by slot
    int nextCheck;                         // check of the next file, 1..0x7FFF
    std::mutex lock;                       // guards slot allocation and release
} g_disk;

// ---- kernel reads -------------------------------------------------------------------------------

// Reads up to length bytes at offset; *done gets the bytes read. 0, or -1 on a kernel failure.
static int DiskReadAt(KHandle file, int64_t offset, uint8_t *buffer, size_t length, size_t *done)
{
    *done = 0;
    if (KSetFilePointer(file, offset, K_FILE_BEGIN) < 0)
        return -1;
    while (*done < length) {
        size_t left = length - *done;
        uint32_t chunk = left > DISK_READ_CHUNK ? DISK_READ_CHUNK : (uint32_t)left;
        uint32_t got = 0;
        int ok = KReadFile(file, buffer + *done, chunk, &got);
        *done += got;   // bytes that arrived before a failure still count
        if (!ok)
            return -1;
        if (got == 0)
            break;
    }
    return 0;
}

// ---- reader thread ------------------------------------------------------------------------------

// Runs commands until told to quit.
static uint32_t ReaderMain(void *arg)
{
    DiskFileRecord *rec = (DiskFileRecord *)arg;
    for (;;) {
        int waited = KWaitForSingleObject(rec->commandEvent, K_INFINITE) == K_WAIT_OBJECT_0;
        KResetEvent(rec->commandEvent);
        ReaderCommand *cmd = &rec->command;
        if (!waited || cmd->kind == READER_QUIT) {
            // A failed wait ends the reader too; the caller still gets its answer.
            cmd->failed = !waited;
            cmd->done = 0;
            rec->readerGone = 1;
            KSetEvent(rec->doneEvent);
            return 0;
        }
        cmd->failed = DiskReadAt(rec->file, cmd->offset, cmd->buffer, cmd->length, &cmd->done) < 0;
        KSetEvent(rec->doneEvent);
    }
}

// Waits for the posted command; a finished prefetch fills the ahead block.
static void ReaderWait(DiskFileRecord *rec)
{
    if (!rec->pending)
        return;
    KWaitForSingleObject(rec->doneEvent, K_INFINITE);
    rec->pending = 0;
    if (rec->command.prefetch) {
        rec->ahead.start = rec->command.offset;
        rec->ahead.length = rec->command.failed ? 0 : rec->command.done;
    }
}

// Hands a command to the reader without waiting for it.
static void ReaderPost(DiskFileRecord *rec, int kind, int prefetch, int64_t offset, uint8_t *buffer, size_t length)
{
    ReaderWait(rec);
    ReaderCommand *cmd = &rec->command;
    *cmd = ReaderCommand{kind, prefetch, offset, buffer, length, 0, 0};
    rec->pending = 1;
    if (rec->readerGone) {
        // Nobody would answer: run it here rather than wait forever.
        if (kind == READER_READ)
            cmd->failed = DiskReadAt(rec->file, offset, buffer, length, &cmd->done) < 0;
        KSetEvent(rec->doneEvent);
        return;
    }
    KResetEvent(rec->doneEvent);
    KSetEvent(rec->commandEvent);
}

// Stops and joins the reader, releases its events and blocks.
static void ReaderStop(DiskFileRecord *rec)
{
    if (rec->thread != 0) {
        ReaderPost(rec, READER_QUIT, 0, 0, nullptr, 0);
        ReaderWait(rec);
        KWaitForSingleObject(rec->thread, K_INFINITE);
        KCloseHandle(rec->thread);
        rec->thread = 0;
    }
    if (rec->commandEvent != 0)
        KCloseHandle(rec->commandEvent);
    if (rec->doneEvent != 0)
        KCloseHandle(rec->doneEvent);
    rec->commandEvent = rec->doneEvent = 0;
    FreeMemoryTracked(rec->current.bytes);
    FreeMemoryTracked(rec->ahead.bytes);
    rec->current.bytes = rec->ahead.bytes = nullptr;
}

// Makes the events, the blocks (read-ahead) and the thread. 0 / -1 (nothing left behind).
static int ReaderStart(DiskFileRecord *rec)
{
    rec->commandEvent = KCreateEvent(1, 0);
    rec->doneEvent = KCreateEvent(1, 0);
    if (rec->readAhead) {
        rec->current.bytes = (uint8_t *)AllocMemoryTracked(DISK_READ_AHEAD_SIZE, __FILE__, __LINE__);
        rec->ahead.bytes = (uint8_t *)AllocMemoryTracked(DISK_READ_AHEAD_SIZE, __FILE__, __LINE__);
    }
    int blocks = !rec->readAhead || (rec->current.bytes != nullptr && rec->ahead.bytes != nullptr);
    if (rec->commandEvent != 0 && rec->doneEvent != 0 && blocks)
        rec->thread = KCreateThread(ReaderMain, rec);
    if (rec->thread == 0) {
        ReaderStop(rec);
        return -1;
    }
    return 0;
}

// ---- reading ------------------------------------------------------------------------------------

// Reads at offset on the file's own thread, or here for a plain file. 0 / -1.
static int ReadDirect(DiskFileRecord *rec, int64_t offset, uint8_t *buffer, size_t length, size_t *done)
{
    if (rec->thread == 0)
        return DiskReadAt(rec->file, offset, buffer, length, done);
    ReaderPost(rec, READER_READ, 0, offset, buffer, length);
    ReaderWait(rec);
    *done = rec->command.done;
    return rec->command.failed ? -1 : 0;
}

static int BlockHolds(const ReadAheadBlock *block, int64_t at)
{
    return block->length > 0 && at >= block->start && at < block->start + (int64_t)block->length;
}

// Reads from the position through the blocks; reads of a whole block or more bypass them. 0 / -1.
static int ReadThroughBlocks(DiskFileRecord *rec, uint8_t *buffer, size_t length, size_t *done)
{
    *done = 0;
    while (*done < length) {
        int64_t at = rec->position + (int64_t)*done;
        size_t left = length - *done;
        if (BlockHolds(&rec->current, at)) {
            size_t inBlock = (size_t)(rec->current.start + (int64_t)rec->current.length - at);
            size_t n = inBlock < left ? inBlock : left;
            memcpy(buffer + *done, rec->current.bytes + (at - rec->current.start), n);
            *done += n;
            continue;
        }
        if (BlockHolds(&rec->ahead, at)) {
            ReadAheadBlock next = rec->ahead;
            rec->ahead = rec->current;
            rec->ahead.length = 0;
            rec->current = next;
            continue;
        }
        size_t got = 0;
        if (left >= DISK_READ_AHEAD_SIZE) {
            int result = ReadDirect(rec, at, buffer + *done, left, &got);
            *done += got;
            return result;
        }
        rec->current.length = 0;
        if (ReadDirect(rec, at, rec->current.bytes, DISK_READ_AHEAD_SIZE, &got) < 0)
            return -1;
        rec->current.start = at;
        rec->current.length = got;
        if (got == 0)
            return 0;   // end of the file
    }
    return 0;
}

// Starts fetching the block that the next sequential read will want, unless it is at hand.
static void Prefetch(DiskFileRecord *rec)
{
    int64_t next = BlockHolds(&rec->current, rec->position)
                       ? rec->current.start + (int64_t)rec->current.length
                       : rec->position;
    if (next >= rec->size || BlockHolds(&rec->ahead, next))
        return;
    rec->ahead.length = 0;
    ReaderPost(rec, READER_READ, 1, next, rec->ahead.bytes, DISK_READ_AHEAD_SIZE);
}

// ---- slots --------------------------------------------------------------------------------------

static DiskFileRecord *LookupDiskFile(intptr_t file, const char *caller)
{
    DiskFileRecord *rec = LookupSlotHandle(g_disk.files, file);
    if (rec == nullptr)
        WriteLogFormat("ファイルハンドル値が異常です in %s", caller);
    return rec;
}

// Takes a free slot for an open kernel file; its handle, or 0 when every slot is in use.
static intptr_t AllocDiskFile(KHandle kernelFile, int64_t size, int readAhead, DiskFileRecord **out)
{
    std::lock_guard<std::mutex> hold(g_disk.lock);
    for (int slot = 0; slot < DISK_FILE_MAX; slot++) {
        DiskFileRecord *rec = &g_disk.files[slot];
        if (rec->check != 0)
            continue;
        *rec = DiskFileRecord{};
        rec->file = kernelFile;
        rec->size = size;
        rec->readAhead = readAhead;
        *out = rec;
        return StampSlotHandle(&rec->check, &g_disk.nextCheck, slot);
    }
    return 0;
}

static void FreeDiskFile(DiskFileRecord *rec)
{
    std::lock_guard<std::mutex> hold(g_disk.lock);
    *rec = DiskFileRecord{};
}

// ---- the table's file operations ----------------------------------------------------------------

int ResolveSeekTarget(int64_t position, int64_t size, int64_t offset, int origin, int64_t *target,
                      const char *caller)
{
    int64_t base = origin == 0 ? 0 : origin == 1 ? position : origin == 2 ? size : -1;
    if (base < 0 || __builtin_add_overflow(base, offset, target) || *target < 0)
        return WriteLogFormat("シーク位置が異常です (%lld, %d) in %s", (long long)offset, origin, caller);
    return 0;
}

// Opens an existing regular file for reading. The kernel handle, or K_INVALID_HANDLE (logged).
static KHandle OpenKernelFile(const char *name, int64_t *size)
{
    char disk[DISK_PATH_BYTES], kernelPath[K_MAX_PATH];
    if (DiskResolvePath(name, disk, sizeof disk, "OpenDataFile") < 0)
        return K_INVALID_HANDLE;
    struct stat st;
    if (stat(disk, &st) != 0 || !S_ISREG(st.st_mode)) {
        WriteLogFormat("%s はファイルではありません in OpenDataFile", name);
        return K_INVALID_HANDLE;
    }
    KHandle file = K_INVALID_HANDLE;
    if (KUtf8ToMultiByte(disk, kernelPath, sizeof kernelPath) != 0)
        file = KCreateFile(kernelPath, K_GENERIC_READ, K_OPEN_EXISTING);
    *size = file != K_INVALID_HANDLE ? KSetFilePointer(file, 0, K_FILE_END) : -1;
    if (*size < 0) {
        if (file != K_INVALID_HANDLE)
            KCloseHandle(file);
        WriteLogFormat("ファイル %s が開けませんでした in OpenDataFile", name);
        return K_INVALID_HANDLE;
    }
    return file;
}

static intptr_t DiskOpen(const char *name, int readAhead, int unused, int async)
{
    int64_t size = 0;
    KHandle kernelFile = OpenKernelFile(name, &size);
    if (kernelFile == K_INVALID_HANDLE)
        return 0;
    DiskFileRecord *rec = nullptr;
    intptr_t file = AllocDiskFile(kernelFile, size, readAhead != 0, &rec);
    if (file == 0) {
        KCloseHandle(kernelFile);
        WriteLogFormat("ファイルハンドルが足りません %s in OpenDataFile", name);
        return 0;
    }
    if ((readAhead != 0 || async != 0) && ReaderStart(rec) < 0) {
        KCloseHandle(kernelFile);
        FreeDiskFile(rec);
        WriteLogFormat("ファイル読み込みスレッドの作成に失敗しました %s in OpenDataFile", name);
        return 0;
    }
    if (rec->readAhead)
        Prefetch(rec);   // the first block is on its way before the first read
    return file;
}

static int DiskClose(intptr_t file)
{
    DiskFileRecord *rec = LookupDiskFile(file, "CloseDataFile");
    if (rec == nullptr)
        return -1;
    ReaderStop(rec);
    KCloseHandle(rec->file);
    FreeDiskFile(rec);
    return 0;
}

static int64_t DiskTell(intptr_t file)
{
    DiskFileRecord *rec = LookupDiskFile(file, "TellDataFile");
    return rec != nullptr ? rec->position : -1;
}

static int DiskSeek(intptr_t file, int64_t offset, int origin)
{
    DiskFileRecord *rec = LookupDiskFile(file, "SeekDataFile");
    if (rec == nullptr)
        return -1;
    int64_t target = 0;
    if (ResolveSeekTarget(rec->position, rec->size, offset, origin, &target, "SeekDataFile") < 0)
        return -1;
    rec->position = target;   // reads go to absolute offsets, so nothing else moves
    return 0;
}

static size_t DiskRead(void *buffer, size_t size, size_t count, intptr_t file)
{
    DiskFileRecord *rec = LookupDiskFile(file, "ReadDataFile");
    if (rec == nullptr || size == 0 || count == 0)
        return 0;
    if (buffer == nullptr || count > SIZE_MAX / size) {
        WriteLog("読み込みバッファかサイズが異常です in ReadDataFile\n");
        return 0;
    }
    ReaderWait(rec);   // a prefetch must land before its block is read
    size_t done = 0;
    int result = rec->readAhead ? ReadThroughBlocks(rec, (uint8_t *)buffer, size * count, &done)
                                : ReadDirect(rec, rec->position, (uint8_t *)buffer, size * count, &done);
    rec->position += (int64_t)done;
    if (result < 0)
        WriteLog("ファイルの読み込みに失敗しました in ReadDataFile\n");
    if (rec->readAhead)
        Prefetch(rec);
    return done / size;
}

static int DiskEof(intptr_t file)
{
    DiskFileRecord *rec = LookupDiskFile(file, "EofDataFile");
    if (rec == nullptr)
        return -1;
    return rec->position >= rec->size ? 1 : 0;
}

static int DiskIdleCheck(intptr_t file)
{
    DiskFileRecord *rec = LookupDiskFile(file, "IdleCheckDataFile");
    if (rec == nullptr)
        return -1;
    if (!rec->pending)
        return 1;
    return KWaitForSingleObject(rec->doneEvent, 0) == K_WAIT_OBJECT_0 ? 1 : 0;
}

static const FileFunctionTable kDiskFileFunctions = {
    DiskOpen, DiskClose, DiskTell, DiskSeek, DiskRead, DiskEof, DiskIdleCheck,
    DiskChangeDirectory, DiskGetDirectory, DiskFindFirst, DiskFindNext, DiskFindClose,
};

const FileFunctionTable *GetDiskFileFunctionTable(void)
{
    return &kDiskFileFunctions;
}
