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

// Copies n bytes that start at pos (wrapping at the end) to dst.
static void CopyOut(const RingBuffer *ring, int32_t pos, uint8_t *dst, int n)
{
    if (n <= 0) return;
    int32_t first = ring->bufferSize - pos;
    if (n <= first) {
        CopyBytes(dst, ring->data + pos, (size_t)n);
        return;
    }
    CopyBytes(dst, ring->data + pos, (size_t)first);
    CopyBytes(dst + first, ring->data, (size_t)(n - first));
}

int ReadRingBuffer(RingBuffer *ring, void *dst, int n, int peek)
{
    if (n < 0 || ring->dataSize < n) return -1;
    WrapRingBufferEnds(ring);
    CopyOut(ring, ring->readPos, (uint8_t *)dst, n);
    if (peek) return 0;
    int64_t pos = (int64_t)ring->readPos + n;
    ring->readPos = (int32_t)(pos > ring->bufferSize ? pos - ring->bufferSize : pos);
    ring->dataSize -= n;
    return 0;
}

int ReserveRingBuffer(RingBuffer *ring, int n)
{
    WrapRingBufferEnds(ring);
    int64_t need = (int64_t)ring->dataSize + (n > 0 ? n : 0);
    if (ring->bufferSize >= need) return 0;
    // At least doubled, so a ring that grows step by step copies each byte a bounded number of times.
    int64_t size = need + RING_BUFFER_SLACK;
    int64_t doubled = 2 * (int64_t)ring->bufferSize;
    if (size < doubled && doubled <= INT32_MAX) size = doubled;
    // Sizes past 32 bits are refused before any allocation; the stored bytes stay either way.
    uint8_t *data = size <= INT32_MAX ? (uint8_t *)AllocMemoryTracked((size_t)size, "", 0) : nullptr;
    if (!data) {
        return WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)",
                              (int)(size > INT32_MAX ? INT32_MAX : size));
    }
    CopyOut(ring, ring->readPos, data, ring->dataSize);
    FreeMemoryTracked(ring->data);
    ring->data = data;
    ring->readPos = 0;
    ring->writePos = ring->dataSize;
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
    *ring = RingBuffer{};
    return 0;
}
