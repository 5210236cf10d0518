// Wide and floating-point PCM (tag 3, and the extensible tag with a PCM or float subformat) to 16-bit,
// rounded to nearest as common sample converters do (no dither).
#include <cstring>

#include "platform/acm/acm_internal.h"

#define WAVE_TAG_IEEE_FLOAT 0x0003
#define WAVE_TAG_EXTENSIBLE 0xFFFE

// The subformat's tail shared by the PCM and float subformats (bytes 2..15 of the identifier).
static const uint8_t kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The sample tag behind a format: 1 (integer) or 3 (float), 0 when it is none of ours.
static int SampleKind(const WaveFormat *f)
{
    if (f->formatTag == WAVE_TAG_IEEE_FLOAT)
        return 3;
    if (f->formatTag != WAVE_TAG_EXTENSIBLE || f->extraSize < 22)
        return 0;
    const uint8_t *sub = reinterpret_cast<const uint8_t *>(f) + sizeof(WaveFormat) + 6;
    int tag = sub[0] | (sub[1] << 8);
    if ((tag != 1 && tag != 3) || memcmp(sub + 2, kSubformatTail, sizeof kSubformatTail) != 0)
        return 0;
    return tag;
}

static int WideCheck(const WaveFormat *f)
{
    int kind = SampleKind(f);
    int bits = f->bitsPerSample;
    int bitsOk = kind == 3 ? (bits == 32 || bits == 64) : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    return kind != 0 && bitsOk && f->channels >= 1 && f->channels <= 2 && f->samplesPerSec != 0 &&
           f->blockAlign == f->channels * bits / 8;
}

// A float in -1..1 as a 32-bit sample, rounded and clipped; a NaN is silence (casting it is undefined).
static int32_t FloatToSample(double v)
{
    if (v != v)
        return 0;
    v *= 2147483648.0;
    if (v < 0)
        return v <= -2147483648.5 ? INT32_MIN : (int32_t)(v - 0.5);
    return v >= 2147483647.5 ? INT32_MAX : (int32_t)(v + 0.5);
}

// One sample as a left-aligned 32-bit value.
static int32_t ReadSample(const uint8_t *p, int bits, int isFloat)
{
    if (isFloat && bits == 32) {
        float f;
        memcpy(&f, p, 4);
        return FloatToSample(f);
    }
    if (isFloat) {
        double d;
        memcpy(&d, p, 8);
        return FloatToSample(d);
    }
    switch (bits) {
    case 8:
        return (int32_t)((uint32_t)(p[0] ^ 0x80) << 24);
    case 16:
        return (int32_t)((uint32_t)(p[0] | (p[1] << 8)) << 16);
    case 24:
        return (int32_t)((uint32_t)(p[0] | (p[1] << 8) | (p[2] << 16)) << 8);
    default:
        return (int32_t)((uint32_t)p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24));
    }
}

// Rounds a 32-bit sample to 16 bits, clipping at the top.
static int16_t ToSample16(int32_t d) { return d > 0x7FFF7FFF ? 32767 : (int16_t)(((int64_t)d + 0x8000) >> 16); }

static uint32_t WideConvert(AcmStream *s, AcmStreamHeader *h, uint32_t flags)
{
    const WaveFormat *f = AcmSource(s);
    uint32_t ch = f->channels, ba = f->blockAlign, bytes = f->bitsPerSample / 8;
    int isFloat = SampleKind(f) == 3;
    uint32_t frames = h->srcLength / ba;
    if (frames > h->dstLength / (ch * 2))
        frames = h->dstLength / (ch * 2);
    for (uint32_t i = 0; i < frames * ch; i++) {
        AcmWriteSample16(h->dst + 2 * i, ToSample16(ReadSample(h->src + (size_t)i * bytes, f->bitsPerSample, isFloat)));
    }
    h->srcLengthUsed = frames * ba;
    h->dstLengthUsed = frames * ch * 2;
    return ACM_OK;
}

static uint32_t WideFromSource(const AcmStream *s, uint32_t in)
{
    uint64_t n = (uint64_t)(in / AcmSource(s)->blockAlign) * s->dst.blockAlign;
    return n > 0xFFFFFFFFu ? 0 : (uint32_t)n;
}

static uint32_t WideFromDest(const AcmStream *s, uint32_t out)
{
    uint64_t frames = (out + s->dst.blockAlign - 1u) / s->dst.blockAlign;
    uint64_t n = frames * AcmSource(s)->blockAlign;
    return n > 0xFFFFFFFFu ? 0 : (uint32_t)n;
}

const AcmCodec kAcmCodecPcmWide = {"pcm-wide", {WAVE_TAG_IEEE_FLOAT, WAVE_TAG_EXTENSIBLE}, WideCheck, AcmOpenNothing, AcmCloseNothing,
                                   WideFromSource, WideFromDest, WideConvert};
