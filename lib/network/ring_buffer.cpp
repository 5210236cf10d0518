// The ring buffer of the connections.
#include "lib/network/ring_buffer.h"

#include "lib/core/helpers.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"

void WrapRingBufferEnds(RingBuffer *ring)
{
    if (ring->readPos == ring->bufferSize) ring->readPos = 0;
    if (ring->writePos == ring->bufferSize) ring->writePos = 0;
}

// Copies n bytes that start at pos of storage of size bytes (wrapping at its end) to dst.
static void CopyOut(const uint8_t *data, int32_t size, int32_t pos, uint8_t *dst, int n)
{
    if (n <= 0) return;
    int32_t first = size - pos;
    if (n <= first) {
        CopyBytes(dst, data + pos, (size_t)n);
        return;
    }
    CopyBytes(dst, data + pos, (size_t)first);
    CopyBytes(dst + first, data, (size_t)(n - first));
}

// A position moved on by n bytes in storage of size bytes (a position equal to the size is kept).
static int32_t Advance(int32_t pos, int n, int32_t size)
{
    int64_t moved = (int64_t)pos + n;
    return (int32_t)(moved > size ? moved - size : moved);
}

// Bytes in the ring's storage, not counting an older storage's.
static int32_t HeldInStorage(const RingBuffer *ring)
{
    return ring->dataSize - ring->oldDataSize;
}

int ReadRingBuffer(RingBuffer *ring, void *dst, int n, int peek)
{
    if (n < 0 || ring->dataSize < n) return -1;
    WrapRingBufferEnds(ring);
    int fromOld = n < ring->oldDataSize ? n : ring->oldDataSize;
    CopyOut(ring->oldData, ring->oldBufferSize, ring->oldReadPos, (uint8_t *)dst, fromOld);
    CopyOut(ring->data, ring->bufferSize, ring->readPos, (uint8_t *)dst + fromOld, n - fromOld);
    if (peek) return 0;
    ring->oldReadPos = Advance(ring->oldReadPos, fromOld, ring->oldBufferSize);
    ring->oldDataSize -= fromOld;
    ring->readPos = Advance(ring->readPos, n - fromOld, ring->bufferSize);
    ring->dataSize -= n;
    if (ring->oldData && ring->oldDataSize == 0) {
        FreeMemoryTracked(ring->oldData);
        ring->oldData = nullptr;
        ring->oldReadPos = ring->oldBufferSize = 0;
    }
    return 0;
}

// The size a ring needing need bytes grows to: need + 1000, or at least doubled, so a ring that grows
// step by step copies each byte a bounded number of times. -1 (logged) past 32 bits.
static int64_t GrownSize(const RingBuffer *ring, int64_t need)
{
    int64_t size = need + RING_BUFFER_SLACK;
    int64_t doubled = 2 * (int64_t)ring->bufferSize;
    if (size < doubled && doubled <= INT32_MAX) size = doubled;
    if (size <= INT32_MAX) return size;
    WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)", INT32_MAX);
    return -1;
}

// Logs a storage that could not be had. -1.
static int RefuseGrowth(int64_t size)
{
    return WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)", (int)size);
}

int ReserveRingBuffer(RingBuffer *ring, int n)
{
    WrapRingBufferEnds(ring);
    int32_t held = HeldInStorage(ring);
    int64_t need = (int64_t)held + (n > 0 ? n : 0);
    if (ring->bufferSize >= need) return 0;
    int64_t size = GrownSize(ring, need);
    if (size < 0) return -1;
    uint8_t *data = (uint8_t *)AllocMemoryTracked((size_t)size, "", 0);
    if (!data) return RefuseGrowth(size);
    CopyOut(ring->data, ring->bufferSize, ring->readPos, data, held);
    FreeMemoryTracked(ring->data);
    ring->data = data;
    ring->readPos = 0;
    ring->writePos = held;
    ring->bufferSize = (int32_t)size;
    return 0;
}

int ExtendRingBuffer(RingBuffer *ring, int n)
{
    WrapRingBufferEnds(ring);
    // The bytes of both storages together must still fit the ring's 32-bit counts.
    if ((int64_t)ring->dataSize + (n > 0 ? n : 0) > INT32_MAX) return RefuseGrowth(INT32_MAX);
    int32_t held = HeldInStorage(ring);
    int64_t need = (int64_t)held + (n > 0 ? n : 0);
    if (ring->bufferSize >= need) return 0;
    // While an older storage is read, this one's bytes start at 0 and never wrap.
    if (!ring->oldData && (int64_t)ring->readPos + held > ring->bufferSize) {
        int64_t size = GrownSize(ring, n > 0 ? n : 0);
        uint8_t *data = size < 0 ? nullptr : (uint8_t *)AllocMemoryTracked((size_t)size, "", 0);
        if (!data) return size < 0 ? -1 : RefuseGrowth(size);
        ring->oldData = ring->data;
        ring->oldReadPos = ring->readPos;
        ring->oldDataSize = held;
        ring->oldBufferSize = ring->bufferSize;
        ring->data = data;
        ring->readPos = 0;
        ring->writePos = 0;
        ring->bufferSize = (int32_t)size;
        return 0;
    }
    int64_t size = GrownSize(ring, need);
    uint8_t *data = size < 0 ? nullptr : (uint8_t *)ResizeMemoryTracked(ring->data, (size_t)size);
    if (!data) return size < 0 ? -1 : RefuseGrowth(size);
    ring->data = data;
    ring->writePos = ring->readPos + held;
    ring->bufferSize = (int32_t)size;
    return 0;
}

int AppendRingBuffer(RingBuffer *ring, const void *src, int n)
{
    WrapRingBufferEnds(ring);
    if (n < 0 || ReserveRingBuffer(ring, n) != 0) {
        return WriteLogFormat("リングバッファへのデータの追加に失敗しました(追加する長さ %d byte)", n);
    }
    if (n == 0) return 0;
    const uint8_t *bytes = (const uint8_t *)src;
    int32_t first = ring->bufferSize - ring->writePos;
    if (n <= first) {
        CopyBytes(ring->data + ring->writePos, bytes, (size_t)n);
        ring->writePos += n;
    } else {
        CopyBytes(ring->data + ring->writePos, bytes, (size_t)first);
        CopyBytes(ring->data, bytes + first, (size_t)(n - first));
        ring->writePos = n - first;
    }
    ring->dataSize += n;
    return 0;
}

int FreeRingBuffer(RingBuffer *ring)
{
    FreeMemoryTracked(ring->data);
    FreeMemoryTracked(ring->oldData);
    *ring = RingBuffer{};
    return 0;
}
