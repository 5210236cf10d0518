// The converter's entry points: format suggestion, the stream table, headers and the dispatch to
// the codec that serves the source's format tag.
#include "platform/acm/acm.h"

#include <cstring>
#include <mutex>

#include "platform/acm/acm_internal.h"
#include "platform/kernel/standin_hooks.h"

static const AcmCodec *const kAcmCodecs[] = {&kAcmCodecMsAdpcm, &kAcmCodecImaAdpcm, &kAcmCodecAlaw,
                                             &kAcmCodecMulaw, &kAcmCodecMpeg, &kAcmCodecPcmWide,
                                             nullptr};

AcmGlobals gAcm;

// 1 when the call of that kind is to fail now.
static int AcmFails(AcmFaultKind kind) { return StandInFault(STAND_IN_ACM, kind, 0) != 0; }

// The codec for a source format, or null.
static const AcmCodec *FindCodec(const WaveFormat *src)
{
    if (!src)
        return nullptr;
    for (int i = 0; kAcmCodecs[i]; i++) {
        const AcmCodec *c = kAcmCodecs[i];
        if ((c->tags[0] == src->formatTag || c->tags[1] == src->formatTag) && c->check(src))
            return c;
    }
    return nullptr;
}

// The stream behind a handle, or null when it is not one of ours or not open.
static AcmStream *CheckStream(AcmStream *s)
{
    uintptr_t base = (uintptr_t)gAcm.streams;
    uintptr_t p = (uintptr_t)s;
    if (p < base || p >= base + sizeof gAcm.streams || (p - base) % sizeof(AcmStream) != 0)
        return nullptr;
    return s->open ? s : nullptr;
}

// The PCM format a source converts to: 16-bit, same channels and rate.
static void SuggestedPcm(const WaveFormat *src, WaveFormat *dst)
{
    dst->formatTag = WAVE_TAG_PCM;
    dst->channels = src->channels;
    dst->samplesPerSec = src->samplesPerSec;
    dst->blockAlign = (uint16_t)(src->channels * 2);
    dst->avgBytesPerSec = src->samplesPerSec * dst->blockAlign;
    dst->bitsPerSample = 16;
    dst->extraSize = 0;
}

uint32_t AcmMetrics(void *obj, uint32_t metric, uint32_t *value)
{
    if (!value || obj)
        return ACM_ERR_INVALID_PARAM;
    if (metric != ACM_METRIC_MAX_SIZE_FORMAT)
        return ACM_ERR_NOT_POSSIBLE;
    if (AcmFails(ACM_FAULT_METRICS))
        return ACM_ERR_NOT_POSSIBLE;
    *value = 50;  // MS ADPCM with its seven coefficient pairs
    return ACM_OK;
}

uint32_t AcmFormatSuggest(void *driver, const WaveFormat *src, WaveFormat *dst, uint32_t dstSize, uint32_t flags)
{
    if (!src || !dst || dstSize < 16)
        return ACM_ERR_INVALID_PARAM;
    if (flags & ~(uint32_t)(ACM_SUGGEST_TAG | ACM_SUGGEST_CHANNELS | ACM_SUGGEST_RATE | ACM_SUGGEST_BITS))
        return ACM_ERR_INVALID_FLAG;
    if (AcmFails(ACM_FAULT_SUGGEST) || !FindCodec(src))
        return ACM_ERR_NOT_POSSIBLE;
    WaveFormat pcm;
    SuggestedPcm(src, &pcm);
    if (((flags & ACM_SUGGEST_TAG) && dst->formatTag != pcm.formatTag) ||
        ((flags & ACM_SUGGEST_CHANNELS) && dst->channels != pcm.channels) ||
        ((flags & ACM_SUGGEST_RATE) && dst->samplesPerSec != pcm.samplesPerSec) ||
        ((flags & ACM_SUGGEST_BITS) && dst->bitsPerSample != pcm.bitsPerSample))
        return ACM_ERR_NOT_POSSIBLE;
    memcpy(dst, &pcm, dstSize < sizeof pcm ? dstSize : sizeof pcm);
    return ACM_OK;
}

// A free slot marked open, or null when all are taken.
static AcmStream *TakeSlot(void)
{
    std::lock_guard<std::mutex> hold(gAcm.lock);
    for (AcmStream &s : gAcm.streams) {
        if (!s.open) {
            memset(&s, 0, sizeof s);
            s.open = 1;
            StandInCountObject(STAND_IN_ACM, 0, 1);
            return &s;
        }
    }
    return nullptr;
}

static void FreeSlot(AcmStream *s)
{
    std::lock_guard<std::mutex> hold(gAcm.lock);
    s->open = 0;
    StandInCountObject(STAND_IN_ACM, 0, -1);
}

uint32_t AcmStreamOpen(AcmStream **out, void *driver, const WaveFormat *src, const WaveFormat *dst, void *filter,
                       uintptr_t callback, uintptr_t instance, uint32_t flags)
{
    if (out)
        *out = nullptr;
    if (!src || !dst || filter || (!out && !(flags & ACM_OPEN_QUERY)))
        return ACM_ERR_INVALID_PARAM;
    if (flags & ~(uint32_t)(ACM_OPEN_QUERY | ACM_OPEN_NONREALTIME))
        return ACM_ERR_INVALID_FLAG;  // no asynchronous conversion here
    const AcmCodec *codec = FindCodec(src);
    size_t srcBytes = sizeof(WaveFormat) + src->extraSize;
    WaveFormat pcm;
    if (codec)
        SuggestedPcm(src, &pcm);
    if (!codec || srcBytes > ACM_MAX_FORMAT_BYTES || memcmp(&pcm, dst, 16) != 0)
        return ACM_ERR_NOT_POSSIBLE;
    if (flags & ACM_OPEN_QUERY)
        return ACM_OK;
    if (AcmFails(ACM_FAULT_OPEN))
        return ACM_ERR_NOT_POSSIBLE;
    AcmStream *s = TakeSlot();
    if (!s)
        return ACM_ERR_NO_MEMORY;
    s->codec = codec;
    memcpy(s->srcFormat, src, srcBytes);
    s->dst = pcm;
    if (codec->open(s) != 0) {
        FreeSlot(s);
        return ACM_ERR_NOT_POSSIBLE;
    }
    *out = s;
    return ACM_OK;
}

uint32_t AcmStreamClose(AcmStream *stream, uint32_t flags)
{
    AcmStream *s = CheckStream(stream);
    if (!s)
        return ACM_ERR_INVALID_HANDLE;
    s->codec->close(s);
    FreeSlot(s);
    return ACM_OK;
}

uint32_t AcmStreamSize(AcmStream *stream, uint32_t in, uint32_t *out, uint32_t flags)
{
    AcmStream *s = CheckStream(stream);
    if (!s)
        return ACM_ERR_INVALID_HANDLE;
    if (!out || flags > ACM_SIZE_DESTINATION)
        return ACM_ERR_INVALID_PARAM;
    if (AcmFails(ACM_FAULT_SIZE))
        return ACM_ERR_NOT_POSSIBLE;
    uint32_t n = flags == ACM_SIZE_SOURCE ? s->codec->sizeFromSource(s, in) : s->codec->sizeFromDest(s, in);
    if (n == 0 && in != 0)
        return ACM_ERR_NOT_POSSIBLE;
    *out = n;
    return ACM_OK;
}

uint32_t AcmStreamPrepareHeader(AcmStream *stream, AcmStreamHeader *header, uint32_t flags)
{
    AcmStream *s = CheckStream(stream);
    if (!s)
        return ACM_ERR_INVALID_HANDLE;
    if (!header || header->size != sizeof(AcmStreamHeader) || !header->src || !header->dst)
        return ACM_ERR_INVALID_PARAM;
    if (header->status & ACM_HEADER_PREPARED)
        return ACM_ERR_BUSY;
    if (AcmFails(ACM_FAULT_PREPARE))
        return ACM_ERR_NO_MEMORY;
    header->status = ACM_HEADER_PREPARED;
    header->reserved[0] = (uintptr_t)s;
    return ACM_OK;
}

uint32_t AcmStreamUnprepareHeader(AcmStream *stream, AcmStreamHeader *header, uint32_t flags)
{
    AcmStream *s = CheckStream(stream);
    if (!s)
        return ACM_ERR_INVALID_HANDLE;
    if (!header || header->size != sizeof(AcmStreamHeader))
        return ACM_ERR_INVALID_PARAM;
    if (!(header->status & ACM_HEADER_PREPARED) || header->reserved[0] != (uintptr_t)s)
        return ACM_ERR_UNPREPARED;
    header->status &= ~(uint32_t)ACM_HEADER_PREPARED;
    header->reserved[0] = 0;
    return ACM_OK;
}

uint32_t AcmStreamConvert(AcmStream *stream, AcmStreamHeader *header, uint32_t flags)
{
    AcmStream *s = CheckStream(stream);
    if (!s)
        return ACM_ERR_INVALID_HANDLE;
    if (!header || header->size != sizeof(AcmStreamHeader))
        return ACM_ERR_INVALID_PARAM;
    if (flags & ~(uint32_t)(ACM_CONVERT_BLOCK_ALIGN | ACM_CONVERT_START | ACM_CONVERT_END))
        return ACM_ERR_INVALID_FLAG;
    if (!(header->status & ACM_HEADER_PREPARED) || header->reserved[0] != (uintptr_t)s)
        return ACM_ERR_UNPREPARED;
    header->srcLengthUsed = 0;
    header->dstLengthUsed = 0;
    header->status &= ~(uint32_t)ACM_HEADER_DONE;
    if (AcmFails(ACM_FAULT_CONVERT))
        return ACM_ERR_NOT_POSSIBLE;
    uint32_t r = s->codec->convert(s, header, flags);
    header->status |= ACM_HEADER_DONE;
    return r;
}
