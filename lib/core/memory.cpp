// The tracked allocator: a 64-byte header before every block, all blocks in one list.
#include "lib/core/memory.h"

#include "lib/core/log.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

// The header fields that the integrity copy covers: everything before it.
#define HEADER_CHECKED_BYTES offsetof(MemoryBlockHeader, check)
static_assert(HEADER_CHECKED_BYTES == sizeof(((MemoryBlockHeader *)0)->check), "the copy covers the fields");
// The largest block: its size and header together must fit the header's 32-bit size.
#define TRACKED_MAX_SIZE (0xFFFFFFFFu - sizeof(MemoryBlockHeader))

static std::mutex g_memoryLock;
static MemoryBlockHeader *g_firstBlock;   // newest first
static uint16_t g_nextId;
static int g_blockCount;
static std::atomic<int> g_failCountdown;  // test seam: > 0 counts down to a refused allocation

void SetTrackedAllocFailure(int countdown) { g_failCountdown = countdown > 0 ? countdown : 0; }

// 1 when the test seam refuses this allocation.
static int InjectedFailure(void)
{
    int left = g_failCountdown.load();
    while (left > 0 && !g_failCountdown.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

static void StampHeader(MemoryBlockHeader *h) { memcpy(h->check, h, HEADER_CHECKED_BYTES); }
static int HeaderIntact(const MemoryBlockHeader *h) { return memcmp(h->check, h, HEADER_CHECKED_BYTES) == 0; }

static MemoryBlockHeader *HeaderOf(void *block) { return (MemoryBlockHeader *)block - 1; }

// Keeps the last bytes of the caller's file name (the part that tells files apart).
static void SetNameTail(MemoryBlockHeader *h, const char *file)
{
    memset(h->nameTail, 0, sizeof h->nameTail);
    if (!file)
        return;
    size_t length = strlen(file);
    size_t keep = length < sizeof h->nameTail ? length : sizeof h->nameTail;
    memcpy(h->nameTail, file + length - keep, keep);
}

// A tracked block of size bytes, its bytes 0 when zeroed (calloc: a large block comes as fresh pages
// from the system, zero already, that cost nothing until they are written).
static void *NewTrackedBlock(size_t size, const char *file, int line, int zeroed)
{
    if (size > TRACKED_MAX_SIZE) {
        WriteLogFormat("メモリの確保に失敗しました サイズ %zu in AllocMemoryTracked", size);
        return nullptr;
    }
    size_t whole = sizeof(MemoryBlockHeader) + size;
    MemoryBlockHeader *h = nullptr;
    if (!InjectedFailure()) h = (MemoryBlockHeader *)(zeroed ? calloc(1, whole) : malloc(whole));
    if (!h) {
        WriteLogFormat("メモリの確保に失敗しました サイズ %zu in AllocMemoryTracked", size);
        return nullptr;
    }
    memset(h, 0, sizeof *h);
    h->size = (uint32_t)size;
    h->line = line;
    SetNameTail(h, file);
    std::lock_guard<std::mutex> guard(g_memoryLock);
    h->id = g_nextId++;
    h->next = g_firstBlock;
    if (g_firstBlock) {
        g_firstBlock->prev = h;
        StampHeader(g_firstBlock);
    }
    g_firstBlock = h;
    g_blockCount++;
    StampHeader(h);
    return h + 1;
}

void *AllocMemoryTracked(size_t size, const char *file, int line) { return NewTrackedBlock(size, file, line, 0); }

void *AllocMemoryZeroed(size_t size, const char *file, int line) { return NewTrackedBlock(size, file, line, 1); }

// 1 when h is intact and sits in the list where its links say.
static int BlockLinkedSoundly(const MemoryBlockHeader *h)
{
    if (!HeaderIntact(h))
        return 0;
    if (h->prev ? (!HeaderIntact(h->prev) || h->prev->next != h) : g_firstBlock != h)
        return 0;
    if (h->next && (!HeaderIntact(h->next) || h->next->prev != h))
        return 0;
    return 1;
}

// Points the list at a block that has moved (its own links came with it) and stamps what changed.
static void RelinkMovedBlock(MemoryBlockHeader *h)
{
    if (h->prev) {
        h->prev->next = h;
        StampHeader(h->prev);
    } else {
        g_firstBlock = h;
    }
    if (h->next) {
        h->next->prev = h;
        StampHeader(h->next);
    }
    StampHeader(h);
}

void *ResizeMemoryTracked(void *block, size_t size)
{
    if (!block) return AllocMemoryTracked(size, "", 0);
    MemoryBlockHeader *h = HeaderOf(block);
    int sound = 1;
    if (size <= TRACKED_MAX_SIZE) {
        // Under the lock: the list's links are set again before anyone walks them.
        std::lock_guard<std::mutex> guard(g_memoryLock);
        sound = BlockLinkedSoundly(h);
        MemoryBlockHeader *moved =
            sound && !InjectedFailure() ? (MemoryBlockHeader *)realloc(h, sizeof(MemoryBlockHeader) + size) : nullptr;
        if (moved) {
            moved->size = (uint32_t)size;
            RelinkMovedBlock(moved);
            return moved + 1;
        }
    }
    if (sound) {
        WriteLogFormat("メモリの確保に失敗しました サイズ %zu in ResizeMemoryTracked", size);
    } else {
        WriteLogFormat("メモリブロックのヘッダが壊れています アドレス %p in ResizeMemoryTracked", block);
    }
    return nullptr;
}

void FreeMemoryTracked(void *block)
{
    if (!block)
        return;
    MemoryBlockHeader *h = HeaderOf(block);
    {
        std::lock_guard<std::mutex> guard(g_memoryLock);
        if (BlockLinkedSoundly(h)) {
            if (h->prev) {
                h->prev->next = h->next;
                StampHeader(h->prev);
            } else {
                g_firstBlock = h->next;
            }
            if (h->next) {
                h->next->prev = h->prev;
                StampHeader(h->next);
            }
            g_blockCount--;
            // A second free of the same block finds a broken copy and stops there.
            memset(h->check, 0, sizeof h->check);
            h = nullptr;
        }
    }
    if (h) {
        // Freeing a damaged block would corrupt the heap further: keep it and say so.
        WriteLogFormat("メモリブロックのヘッダが壊れています アドレス %p in FreeMemoryTracked", block);
        return;
    }
    free(HeaderOf(block));
}

int DumpTrackedMemory(void)
{
    std::lock_guard<std::mutex> guard(g_memoryLock);
    if (!g_firstBlock) {
        WriteLog("解放されていないメモリはありません\n");
        return 0;
    }
    WriteLogFormat("解放されていないメモリが %d 個あります", g_blockCount);
    IncreaseLogIndent();
    // Oldest first, as they were allocated.
    MemoryBlockHeader *h = g_firstBlock;
    while (h->next)
        h = h->next;
    for (; h; h = h->prev)
        WriteLogFormat("ID:%u サイズ:%u ファイル:%.6s 行:%d", h->id, h->size, h->nameTail, h->line);
    DecreaseLogIndent();
    return 0;
}

int GetTrackedBlockCount(void)
{
    std::lock_guard<std::mutex> guard(g_memoryLock);
    return g_blockCount;
}
