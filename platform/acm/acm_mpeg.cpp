// MPEG audio layers 1-3 (tags 0x55 and 0x50) through libmpg123 in feed mode, always to 16-bit PCM
// of the source's channels and rate.
#include <mpg123.h>

#include <mutex>

#include "platform/acm/acm_internal.h"

// The most PCM one frame gives: 1152 samples per channel (MPEG-1 layers 2 and 3).
#define MPEG_MAX_FRAME_SAMPLES 1152
// The densest frames: 576 samples in 24 bytes (MPEG-2 Layer III at 8 kbit/s and 24 kHz).
#define MPEG_MOST_SAMPLES_PER_BYTE 24

static const uint32_t kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

static int MpegCheck(const WaveFormat *f)
{
    if (f->channels < 1 || f->channels > 2)
        return 0;
    for (uint32_t r : kRates) {
        if (f->samplesPerSec == r)
            return 1;
    }
    return 0;
}

static int MpegOpen(AcmStream *s)
{
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int err = 0;
    mpg123_handle *mh = mpg123_new(nullptr, &err);
    if (!mh)
        return -1;
    // Gapless trims the encoder's delay and padding, so loops join cleanly.
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    // Every rate is allowed, so that frames of another rate than the stream's are never resampled
    // (very slow); Drain refuses them instead.
    mpg123_format_none(mh);
    int channels = s->dst.channels == 1 ? MPG123_MONO : MPG123_STEREO;
    int refused = 0;
    for (uint32_t rate : kRates)
        refused |= mpg123_format(mh, (long)rate, channels, MPG123_ENC_SIGNED_16) != MPG123_OK;
    if (refused || mpg123_open_feed(mh) != MPG123_OK) {
        mpg123_delete(mh);
        return -1;
    }
    s->mpg = mh;
    return 0;
}

static void MpegClose(AcmStream *s)
{
    mpg123_delete((mpg123_handle *)s->mpg);
    s->mpg = nullptr;
}

// Hands out decoded PCM into *out. 1 when nothing decodable is left, 0 when the room ran out first,
// -1 on a decoding error or frames of another rate than the stream's.
static int Drain(AcmStream *s, uint8_t **out, uint32_t *room)
{
    mpg123_handle *mh = (mpg123_handle *)s->mpg;
    if (s->foreignRate)
        return -1;
    for (int guard = 0; guard < 100000; guard++) {
        if (*room == 0)
            return 0;
        size_t done = 0;
        int e = mpg123_read(mh, *out, *room, &done);
        *out += done;
        *room -= (uint32_t)done;
        if (e == MPG123_NEW_FORMAT) {
            long got = 0;
            int channels = 0, encoding = 0;
            if (mpg123_getformat(mh, &got, &channels, &encoding) != MPG123_OK || got != (long)s->dst.samplesPerSec) {
                s->foreignRate = 1;
                return -1;
            }
            continue;
        }
        if (e == MPG123_NEED_MORE || e == MPG123_DONE)
            return 1;
        if (e != MPG123_OK)
            return -1;
        if (done == 0)
            return 1;
    }
    return -1;
}

// Feeds the source and hands out what it decodes. The source's last byte is fed only when all
// earlier output is out and a whole frame still fits, so the final frame is never stranded inside
// the decoder after the caller has run out of source.
static uint32_t MpegConvert(AcmStream *s, AcmStreamHeader *h, uint32_t flags)
{
    mpg123_handle *mh = (mpg123_handle *)s->mpg;
    uint8_t *out = h->dst;
    uint32_t room = h->dstLength;
    uint32_t n = h->srcLength, used = 0;
    int empty = Drain(s, &out, &room);
    if (empty == 1 && n > 1) {
        if (mpg123_feed(mh, h->src, n - 1) != MPG123_OK)
            return ACM_ERR_NOT_POSSIBLE;
        used = n - 1;
        empty = Drain(s, &out, &room);
    }
    uint32_t frameBytes = MPEG_MAX_FRAME_SAMPLES * (uint32_t)s->dst.blockAlign;
    int lastFits = room >= frameBytes || (flags & ACM_CONVERT_END);
    if (empty == 1 && n > 0 && used == n - 1 && lastFits) {
        if (mpg123_feed(mh, h->src + used, 1) != MPG123_OK)
            return ACM_ERR_NOT_POSSIBLE;
        used = n;
        empty = Drain(s, &out, &room);
    }
    h->srcLengthUsed = used;
    h->dstLengthUsed = (uint32_t)(out - h->dst);
    return empty < 0 && h->dstLengthUsed == 0 ? ACM_ERR_NOT_POSSIBLE : ACM_OK;
}

// From the stated bit rate, plus two frames and a 1/32 margin for bit-rate drift; never more than
// the densest frames could give, whatever rate the header states.
static uint32_t MpegFromSource(const AcmStream *s, uint32_t in)
{
    uint64_t srcAvg = AcmSource(s)->avgBytesPerSec;
    if (srcAvg == 0)
        return 0;
    uint64_t est = ((uint64_t)in * s->dst.avgBytesPerSec + srcAvg - 1) / srcAvg;
    uint64_t most = (uint64_t)in * MPEG_MOST_SAMPLES_PER_BYTE * s->dst.blockAlign;
    if (est > most)
        est = most;
    est += est / 32 + 2ull * MPEG_MAX_FRAME_SAMPLES * s->dst.blockAlign;
    return est > 0xFFFFFFFFu ? 0 : (uint32_t)est;
}

static uint32_t MpegFromDest(const AcmStream *s, uint32_t out)
{
    uint64_t srcAvg = AcmSource(s)->avgBytesPerSec;
    uint64_t n = ((uint64_t)out * srcAvg + s->dst.avgBytesPerSec - 1) / s->dst.avgBytesPerSec;
    return n > 0xFFFFFFFFu ? 0 : (uint32_t)n;
}

const AcmCodec kAcmCodecMpeg = {"mpeg", {WAVE_TAG_MPEG_LAYER3, WAVE_TAG_MPEG}, MpegCheck, MpegOpen, MpegClose,
                                MpegFromSource, MpegFromDest, MpegConvert};
