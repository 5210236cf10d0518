// G.711 A-law (tag 6) and mu-law (tag 7): one byte per sample, expanded to 16-bit.
#include "platform/acm/acm_internal.h"

// mu-law: complement, then segment and mantissa with the 0x84 bias.
static int16_t MulawToLinear(uint8_t u)
{
    u = (uint8_t)~u;
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return (int16_t)((u & 0x80) ? 0x84 - t : t - 0x84);
}

// A-law: even bits inverted, then segment and mantissa.
static int16_t AlawToLinear(uint8_t a)
{
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    int seg = (a & 0x70) >> 4;
    if (seg == 0)
        t += 8;
    else
        t = (t + 0x108) << (seg - 1);
    return (int16_t)((a & 0x80) ? t : -t);
}

static int G711Check(const WaveFormat *f)
{
    return f->channels >= 1 && f->channels <= 2 && f->samplesPerSec != 0 && f->blockAlign == f->channels;
}

static uint32_t G711FromSource(const AcmStream *s, uint32_t in)
{
    uint32_t ch = s->dst.channels;
    uint64_t bytes = (uint64_t)(in / ch * ch) * 2;
    return bytes > 0xFFFFFFFFu ? 0 : (uint32_t)bytes;
}

static uint32_t G711FromDest(const AcmStream *s, uint32_t out) { return out / 2; }

static uint32_t G711Convert(AcmStream *s, AcmStreamHeader *h, uint32_t flags)
{
    int16_t (*expand)(uint8_t) = AcmSource(s)->formatTag == WAVE_TAG_ALAW ? AlawToLinear : MulawToLinear;
    uint32_t ch = s->dst.channels;
    uint32_t n = h->srcLength < h->dstLength / 2 ? h->srcLength : h->dstLength / 2;
    n = n / ch * ch;  // whole frames
    for (uint32_t i = 0; i < n; i++) {
        AcmWriteSample16(h->dst + 2 * i, expand(h->src[i]));
    }
    h->srcLengthUsed = n;
    h->dstLengthUsed = n * 2;
    return ACM_OK;
}

const AcmCodec kAcmCodecAlaw = {"a-law", {WAVE_TAG_ALAW, 0}, G711Check, AcmOpenNothing, AcmCloseNothing,
                                G711FromSource, G711FromDest, G711Convert};
const AcmCodec kAcmCodecMulaw = {"mu-law", {WAVE_TAG_MULAW, 0}, G711Check, AcmOpenNothing, AcmCloseNothing,
                                 G711FromSource, G711FromDest, G711Convert};
