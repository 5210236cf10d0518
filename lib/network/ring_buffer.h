// A growable byte queue on the tracked allocator: each connection's receive and send storage.
// Grows to need + 1000 bytes, or to twice its size when that is more, and never shrinks; a position
// equal to the size stands for 0.
#pragma once
#include <cstdint>

struct RingBuffer {
    uint8_t *data;      // storage, null until the first growth; owned
    int32_t readPos;    // offset of the next byte to take
    int32_t writePos;   // offset where the next byte goes
    int32_t dataSize;   // bytes stored (the older storage's too)
    int32_t bufferSize; // bytes of storage
    // Ours: the storage a wrapped ring was extended out of without copying. Its bytes come before the
    // storage's, whose read position stays at 0 meanwhile; it is freed once they are read.
    uint8_t *oldData;   // owned; null when none
    int32_t oldReadPos;
    int32_t oldDataSize;
    int32_t oldBufferSize;
};
// All zero is an empty ring without storage.

#define RING_BUFFER_SLACK 1000

// A position equal to the buffer size becomes 0.
void WrapRingBufferEnds(RingBuffer *ring);
// Copies n bytes out (peek 1 keeps them). 0, or -1 when fewer than n are stored (nothing changes).
int ReadRingBuffer(RingBuffer *ring, void *dst, int n, int peek);
// Makes room for n more bytes, growing unwrapped to need + 1000 or double the size. 0, or -1 (logged) when the storage
// cannot grow or the size would not fit 32 bits; the stored bytes then stay as they were.
int ReserveRingBuffer(RingBuffer *ring, int n);
// Makes room for n more bytes without moving the stored ones: storage whose bytes do not wrap is
// resized where it lies (the C runtime moves a large block's pages, not its bytes); a wrapped one is
// kept, to be read first, and the new bytes go to new storage. Same sizes, results and log line as
// ReserveRingBuffer; the bytes of both storages and the n new ones together must fit 32 bits.
int ExtendRingBuffer(RingBuffer *ring, int n);
// Appends n bytes. 0, or -1 (logged) when they do not fit; the stored bytes stay.
int AppendRingBuffer(RingBuffer *ring, const void *src, int n);
// Frees the storage and zeroes the record. 0.
int FreeRingBuffer(RingBuffer *ring);
