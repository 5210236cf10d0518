// Stand-in for the compressed-audio converter: turns compressed wave data into 16-bit PCM of the
// same channels and rate, block by block, with state carried across calls.
//
// Codecs: MS ADPCM (tag 2), IMA ADPCM (0x11), A-law (6), mu-law (7), and MPEG audio layers 1-3
// (0x55 and 0x50) through libmpg123 in feed mode; also 8- to 32-bit integer and 32/64-bit float PCM
// (tag 3, or the extensible tag 0xFFFE with a PCM or float subformat) reduced to 16 bits.
//
// What the sound module relies on:
// - AcmFormatSuggest gives PCM, 16-bit, the source's channels and rate.
// - AcmStreamConvert with ACM_CONVERT_BLOCK_ALIGN converts whole source blocks only, never writes past
//   dstLength, and fills srcLengthUsed / dstLengthUsed. 0 bytes out means the end.
// - AcmStreamSize(..., ACM_SIZE_SOURCE) is never below what converting that much source gives.
// - MPEG: the last source byte of a call is held back (srcLengthUsed one short) until everything
//   decoded so far has been delivered, so a caller that stops once all source is used never loses
//   the final frame; it is fed in a later call whose destination has room for a whole frame.
// - Streams are independent: two can convert the same data at once.
//
// Results are ACM_OK (0) or an ACM_ERR_* code. Safe from any thread; one stream is used by one
// thread at a time.
#pragma once
#include <cstdint>

#include "platform/dsound/wave_format.h"

enum : uint32_t {
    ACM_OK = 0,
    ACM_ERR_INVALID_HANDLE = 5,
    ACM_ERR_NO_MEMORY = 7,
    ACM_ERR_INVALID_FLAG = 10,
    ACM_ERR_INVALID_PARAM = 11,
    ACM_ERR_NOT_POSSIBLE = 512,
    ACM_ERR_BUSY = 513,
    ACM_ERR_UNPREPARED = 514,
};

enum : uint32_t {
    ACM_METRIC_MAX_SIZE_FORMAT = 50,
    // AcmFormatSuggest restrictions: the destination field given is kept.
    ACM_SUGGEST_TAG = 0x00010000,
    ACM_SUGGEST_CHANNELS = 0x00020000,
    ACM_SUGGEST_RATE = 0x00040000,
    ACM_SUGGEST_BITS = 0x00080000,
    // AcmStreamOpen.
    ACM_OPEN_QUERY = 0x00000001,
    ACM_OPEN_ASYNC = 0x00000002,
    ACM_OPEN_NONREALTIME = 0x00000004,
    // AcmStreamSize.
    ACM_SIZE_SOURCE = 0x00000000,
    ACM_SIZE_DESTINATION = 0x00000001,
    // AcmStreamConvert.
    ACM_CONVERT_BLOCK_ALIGN = 0x00000004,
    ACM_CONVERT_START = 0x00000010,
    ACM_CONVERT_END = 0x00000020,
    // AcmStreamHeader status.
    ACM_HEADER_DONE = 0x00010000,
    ACM_HEADER_PREPARED = 0x00020000,
    ACM_HEADER_IN_QUEUE = 0x00100000,
};

// One conversion request; size must be sizeof(AcmStreamHeader).
struct AcmStreamHeader {
    uint32_t size;            // sizeof(AcmStreamHeader)
    uint32_t status;          // ACM_HEADER_*
    uintptr_t user;
    uint8_t *src;
    uint32_t srcLength;
    uint32_t srcLengthUsed;   // set by AcmStreamConvert
    uintptr_t srcUser;
    uint8_t *dst;
    uint32_t dstLength;
    uint32_t dstLengthUsed;   // set by AcmStreamConvert
    uintptr_t dstUser;
    uintptr_t reserved[10];   // the stream that prepared it
};

struct AcmStream;  // opaque

// ACM_METRIC_MAX_SIZE_FORMAT: the largest format block any codec here takes (50, MS ADPCM).
// obj must be null.
uint32_t AcmMetrics(void *obj, uint32_t metric, uint32_t *value);
// Fills dst (dstSize >= 18 bytes) with the PCM format the source converts to; the ACM_SUGGEST_*
// flags keep the destination's tag, channels, rate or bits and fail when the codec cannot give
// them. ACM_ERR_NOT_POSSIBLE for an unsupported or invalid source, ACM_ERR_INVALID_PARAM for
// dstSize < 16.
uint32_t AcmFormatSuggest(void *driver, const WaveFormat *src, WaveFormat *dst, uint32_t dstSize, uint32_t flags);
// Opens a stream from src (with its extraSize codec bytes) to dst, which must be the suggested PCM.
// ACM_OPEN_QUERY only checks (out may then be null). driver, filter, callback, instance: 0.
uint32_t AcmStreamOpen(AcmStream **out, void *driver, const WaveFormat *src, const WaveFormat *dst, void *filter,
                       uintptr_t callback, uintptr_t instance, uint32_t flags);
uint32_t AcmStreamClose(AcmStream *stream, uint32_t flags);
// ACM_SIZE_SOURCE: an upper bound of the PCM bytes that in source bytes convert to.
// ACM_SIZE_DESTINATION: the source bytes needed for in PCM bytes.
uint32_t AcmStreamSize(AcmStream *stream, uint32_t in, uint32_t *out, uint32_t flags);
uint32_t AcmStreamPrepareHeader(AcmStream *stream, AcmStreamHeader *header, uint32_t flags);
uint32_t AcmStreamUnprepareHeader(AcmStream *stream, AcmStreamHeader *header, uint32_t flags);
// Converts from header->src into header->dst (see the rules above). The header must be prepared.
uint32_t AcmStreamConvert(AcmStream *stream, AcmStreamHeader *header, uint32_t flags);

// ---- test hooks ----------------------------------------------------------------------------------
enum AcmFaultKind {
    ACM_FAULT_SUGGEST,
    ACM_FAULT_OPEN,
    ACM_FAULT_SIZE,
    ACM_FAULT_PREPARE,
    ACM_FAULT_CONVERT,
    ACM_FAULT_METRICS,
    ACM_FAULT_KIND_COUNT
};
// The test-support library injects faults by kind (testsupport/test_hooks.h).
