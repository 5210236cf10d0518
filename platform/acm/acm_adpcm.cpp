// MS ADPCM and IMA ADPCM: blocks with a per-channel header and 4-bit codes. Only whole blocks
// convert, except that a source shorter than one block is taken as the final, partial block.
#include <cstring>

#include "platform/acm/acm_internal.h"

// ================================================================================================
// Shared block arithmetic
// ================================================================================================

static inline int16_t Clamp16(int v) { return (int16_t)(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

static inline int16_t ReadI16(const uint8_t *p) { return (int16_t)(p[0] | (p[1] << 8)); }

// Samples per channel that a block of bytes holds, given its header size and the nibbles after it.
typedef int (*AdpcmSamplesFn)(const AcmStream *s, uint32_t bytes);
// Decodes one block of bytes (full or the final partial one) into out; returns frames written.
typedef int (*AdpcmBlockFn)(const AcmStream *s, const uint8_t *in, uint32_t bytes, uint8_t *out);

// Samples per channel in a short final block of bytes.
static int TailSamples(const AcmStream *s, uint32_t bytes, AdpcmSamplesFn samples)
{
    int n = samples(s, bytes);
    return n < s->samplesPerBlock ? n : s->samplesPerBlock;
}

// Converts whole blocks (or one final partial block) within the destination.
static uint32_t ConvertBlocks(AcmStream *s, AcmStreamHeader *h, AdpcmSamplesFn samples, AdpcmBlockFn decode)
{
    const WaveFormat *src = AcmSource(s);
    uint32_t ba = src->blockAlign;
    uint32_t frameBytes = s->dst.blockAlign;
    uint32_t blockOut = (uint32_t)s->samplesPerBlock * frameBytes;
    uint32_t srcLeft = h->srcLength, dstLeft = h->dstLength;
    const uint8_t *in = h->src;
    uint8_t *out = h->dst;
    while (srcLeft >= ba && dstLeft >= blockOut) {
        decode(s, in, ba, out);
        in += ba, srcLeft -= ba, out += blockOut, dstLeft -= blockOut;
    }
    // Less than a block given and nothing converted: the stream's last, short block.
    if (in == h->src && srcLeft < ba) {
        uint32_t frames = (uint32_t)TailSamples(s, srcLeft, samples);
        if (frames > 0 && frames * frameBytes <= dstLeft) {
            decode(s, in, srcLeft, out);
            in += srcLeft, out += frames * frameBytes;
        }
    }
    h->srcLengthUsed = (uint32_t)(in - h->src);
    h->dstLengthUsed = (uint32_t)(out - h->dst);
    return ACM_OK;
}

// Whole blocks and a trailing partial block of in source bytes, in PCM bytes.
static uint32_t BlocksToPcm(const AcmStream *s, uint32_t in, AdpcmSamplesFn samples)
{
    uint32_t ba = AcmSource(s)->blockAlign;
    uint64_t frames = (uint64_t)(in / ba) * (uint32_t)s->samplesPerBlock + (uint32_t)TailSamples(s, in % ba, samples);
    uint64_t bytes = frames * s->dst.blockAlign;
    return bytes > 0xFFFFFFFFu ? 0 : (uint32_t)bytes;
}

static uint32_t PcmToBlocks(const AcmStream *s, uint32_t out)
{
    uint64_t blockOut = (uint64_t)s->samplesPerBlock * s->dst.blockAlign;
    uint64_t blocks = (out + blockOut - 1) / blockOut;
    uint64_t bytes = blocks * AcmSource(s)->blockAlign;
    return bytes > 0xFFFFFFFFu ? 0 : (uint32_t)bytes;
}


// ================================================================================================
// MS ADPCM (tag 2)
// ================================================================================================

static const int kMsAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

// Codec bytes: samples per block (u16), coefficient count (u16), then the pairs.
static int MsCheck(const WaveFormat *f)
{
    if (f->channels < 1 || f->channels > 2 || f->samplesPerSec == 0 || f->extraSize < 4)
        return 0;
    if (f->blockAlign < 7 * f->channels + f->channels)
        return 0;
    const uint8_t *x = reinterpret_cast<const uint8_t *>(f) + sizeof(WaveFormat);
    int numCoef = x[2] | (x[3] << 8);
    return numCoef >= 1 && numCoef <= ACM_MAX_COEFS && f->extraSize >= 4 + 4 * numCoef;
}

static int MsSamples(const AcmStream *s, uint32_t bytes)
{
    int ch = AcmSource(s)->channels;
    if (bytes < (uint32_t)(7 * ch))
        return 0;
    return (int)((bytes - 7 * ch) * 2 / ch) + 2;
}

static int MsOpen(AcmStream *s)
{
    const WaveFormat *f = AcmSource(s);
    const uint8_t *x = s->srcFormat + sizeof(WaveFormat);
    int perBlock = MsSamples(s, f->blockAlign);
    int declared = x[0] | (x[1] << 8);
    // A declared count can only shorten the block (some writers leave padding at its end).
    s->samplesPerBlock = declared >= 2 && declared < perBlock ? declared : perBlock;
    s->numCoef = x[2] | (x[3] << 8);
    for (int i = 0; i < s->numCoef; i++) {
        s->coef[i][0] = ReadI16(x + 4 + 4 * i);
        s->coef[i][1] = ReadI16(x + 6 + 4 * i);
    }
    return 0;
}

struct MsChannel {
    int c1, c2;      // predictor coefficients
    int delta;       // step
    int s1, s2;      // last two samples
};

// Largest step: a hostile run of codes would otherwise grow it past the int range. Real files stay
// far below it, so their samples are unchanged.
#define MS_MAX_DELTA (0x7FFFFFFF / 768)

// One 4-bit code of one channel. The prediction is summed in 64 bits: two products of extreme
// samples and coefficients do not fit an int.
static inline int16_t MsDecode(MsChannel *c, int code)
{
    int64_t predict = ((int64_t)c->s1 * c->c1 + (int64_t)c->s2 * c->c2) >> 8;
    int signedCode = code >= 8 ? code - 16 : code;
    int64_t sum = predict + (int64_t)signedCode * c->delta;
    int16_t sample = Clamp16(sum < -32768 ? -32768 : (sum > 32767 ? 32767 : (int)sum));
    c->delta = (kMsAdapt[code] * c->delta) >> 8;
    if (c->delta < 16)
        c->delta = 16;
    if (c->delta > MS_MAX_DELTA)
        c->delta = MS_MAX_DELTA;
    c->s2 = c->s1;
    c->s1 = sample;
    return sample;
}

static int MsBlock(const AcmStream *s, const uint8_t *in, uint32_t bytes, uint8_t *out)
{
    int ch = AcmSource(s)->channels;
    int frames = MsSamples(s, bytes);
    if (frames > s->samplesPerBlock)
        frames = s->samplesPerBlock;
    MsChannel c[2];
    for (int k = 0; k < ch; k++) {
        int pred = in[k] < s->numCoef ? in[k] : 0;
        c[k].c1 = s->coef[pred][0];
        c[k].c2 = s->coef[pred][1];
        c[k].delta = ReadI16(in + ch + 2 * k);
        c[k].s1 = ReadI16(in + 3 * ch + 2 * k);
        c[k].s2 = ReadI16(in + 5 * ch + 2 * k);
        // The header's samples come out oldest first.
        AcmWriteSample16(out + 2 * k, (int16_t)c[k].s2);
        AcmWriteSample16(out + 2 * ch + 2 * k, (int16_t)c[k].s1);
    }
    const uint8_t *p = in + 7 * ch;
    int produced = 2 * ch;  // samples written, all channels
    int total = frames * ch;
    for (; produced < total; p++) {
        // High nibble first; in stereo the high nibble is the left channel.
        AcmWriteSample16(out + 2 * produced, MsDecode(&c[produced % ch], *p >> 4));
        produced++;
        if (produced < total) {
            AcmWriteSample16(out + 2 * produced, MsDecode(&c[produced % ch], *p & 0x0F));
            produced++;
        }
    }
    return frames;
}

static uint32_t MsConvert(AcmStream *s, AcmStreamHeader *h, uint32_t flags) { return ConvertBlocks(s, h, MsSamples, MsBlock); }
static uint32_t MsFromSource(const AcmStream *s, uint32_t in) { return BlocksToPcm(s, in, MsSamples); }

const AcmCodec kAcmCodecMsAdpcm = {"ms-adpcm", {WAVE_TAG_MS_ADPCM, 0}, MsCheck, MsOpen, AcmCloseNothing,
                                   MsFromSource, PcmToBlocks, MsConvert};

// ================================================================================================
// IMA ADPCM (tag 0x11)
// ================================================================================================

static const int kImaStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
static const int kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

static int ImaCheck(const WaveFormat *f)
{
    return f->channels >= 1 && f->channels <= 2 && f->samplesPerSec != 0 &&
           f->blockAlign >= 8 * f->channels && f->blockAlign % (4 * f->channels) == 0;
}

// After the header, each channel has groups of 4 bytes (8 codes) in turn.
static int ImaSamples(const AcmStream *s, uint32_t bytes)
{
    uint32_t ch = AcmSource(s)->channels;
    if (bytes < 4 * ch)
        return 0;
    return (int)((bytes - 4 * ch) / (4 * ch) * 8) + 1;
}

static int ImaOpen(AcmStream *s)
{
    const WaveFormat *f = AcmSource(s);
    int perBlock = ImaSamples(s, f->blockAlign);
    int declared = f->extraSize >= 2 ? (s->srcFormat[18] | (s->srcFormat[19] << 8)) : 0;
    s->samplesPerBlock = declared >= 1 && declared < perBlock ? declared : perBlock;
    return 0;
}

// One 4-bit code: the step's shifted parts summed, as the reference encoder does.
static inline int16_t ImaDecode(int *predictor, int *index, int code)
{
    int step = kImaStep[*index];
    int diff = step >> 3;
    if (code & 4)
        diff += step;
    if (code & 2)
        diff += step >> 1;
    if (code & 1)
        diff += step >> 2;
    *predictor = Clamp16((code & 8) ? *predictor - diff : *predictor + diff);
    *index += kImaIndex[code];
    *index = *index < 0 ? 0 : (*index > 88 ? 88 : *index);
    return (int16_t)*predictor;
}

static int ImaBlock(const AcmStream *s, const uint8_t *in, uint32_t bytes, uint8_t *out)
{
    int ch = AcmSource(s)->channels;
    int frames = ImaSamples(s, bytes);
    if (frames > s->samplesPerBlock)
        frames = s->samplesPerBlock;
    for (int k = 0; k < ch; k++) {
        int predictor = ReadI16(in + 4 * k);
        int index = in[4 * k + 2] > 88 ? 88 : in[4 * k + 2];
        AcmWriteSample16(out + 2 * k, (int16_t)predictor);
        // Group g of channel k sits at header + (g * ch + k) * 4; low nibble first.
        for (int i = 1; i < frames; i++) {
            int g = (i - 1) / 8, n = (i - 1) % 8;
            uint8_t b = in[4 * ch + (g * ch + k) * 4 + n / 2];
            int code = (n & 1) ? b >> 4 : b & 0x0F;
            AcmWriteSample16(out + 2 * (i * ch + k), ImaDecode(&predictor, &index, code));
        }
    }
    return frames;
}

static uint32_t ImaConvert(AcmStream *s, AcmStreamHeader *h, uint32_t flags) { return ConvertBlocks(s, h, ImaSamples, ImaBlock); }
static uint32_t ImaFromSource(const AcmStream *s, uint32_t in) { return BlocksToPcm(s, in, ImaSamples); }

const AcmCodec kAcmCodecImaAdpcm = {"ima-adpcm", {WAVE_TAG_IMA_ADPCM, 0}, ImaCheck, ImaOpen, AcmCloseNothing,
                                    ImaFromSource, PcmToBlocks, ImaConvert};
