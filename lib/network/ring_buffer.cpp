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

// Logs a storage that could not be had (its size capped at 32 bits). -1.
static int RefuseGrowth(int64_t size)
{
    return WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)",
                          (int)(size > INT32_MAX ? INT32_MAX : size));
}

// Storage for need bytes: block resized to it, or a new one when block is null. It grows to need + 1000,
// or at least double the ring's size, so a ring that grows step by step copies each byte a bounded
// number of times. Null (logged) past 32 bits or when it cannot be had, block staying as it was.
static uint8_t *GrowStorage(const RingBuffer *ring, void *block, int64_t need, int32_t *size)
{
    int64_t grown = need + RING_BUFFER_SLACK;
    int64_t doubled = 2 * (int64_t)ring->bufferSize;
    if (grown < doubled && doubled <= INT32_MAX) grown = doubled;
    uint8_t *data = grown <= INT32_MAX ? (uint8_t *)ResizeMemoryTracked(block, (size_t)grown) : nullptr;
    if (!data) {
        RefuseGrowth(grown);
        return nullptr;
    }
    *size = (int32_t)grown;
    return data;
}

int ReserveRingBuffer(RingBuffer *ring, int n)
{
    WrapRingBufferEnds(ring);
    int32_t held = HeldInStorage(ring), size;
    int64_t need = (int64_t)held + (n > 0 ? n : 0);
    if (ring->bufferSize >= need) return 0;
    uint8_t *data = GrowStorage(ring, nullptr, need, &size);
    if (!data) return -1;
    CopyOut(ring->data, ring->bufferSize, ring->readPos, data, held);
    FreeMemoryTracked(ring->data);
    ring->data = data;
    ring->readPos = 0;
    ring->writePos = held;
    ring->bufferSize = size;
    return 0;
}

int ExtendRingBuffer(RingBuffer *ring, int n)
{
    WrapRingBufferEnds(ring);
    int64_t more = n > 0 ? n : 0;
    // The bytes of both storages together must still fit the ring's 32-bit counts.
    if (ring->dataSize + more > INT32_MAX) return RefuseGrowth(INT32_MAX);
    int32_t held = HeldInStorage(ring), size;
    if (ring->bufferSize >= held + more) return 0;
    // While an older storage is read, this one's bytes start at 0 and never wrap.
    if (!ring->oldData && (int64_t)ring->readPos + held > ring->bufferSize) {
        uint8_t *data = GrowStorage(ring, nullptr, more, &size);
        if (!data) return -1;
        ring->oldData = ring->data;
        ring->oldReadPos = ring->readPos;
        ring->oldDataSize = held;
        ring->oldBufferSize = ring->bufferSize;
        ring->data = data;
        ring->readPos = 0;
        ring->writePos = 0;
        ring->bufferSize = size;
        return 0;
    }
    uint8_t *data = GrowStorage(ring, ring->data, held + more, &size);
    if (!data) return -1;
    ring->data = data;
    ring->writePos = ring->readPos + held;
    ring->bufferSize = size;
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
