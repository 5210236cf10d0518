// Sound decoders: one stream to PCM of one fixed format, by the first of four methods that takes it
// (PCM WAVE, compressed WAVE through the converter, Ogg Vorbis, raw MPEG audio through the converter).
#include <cstring>

#include "lib/core/helpers.h"
#include "lib/core/memory.h"
#include "lib/sound/sound_internal.h"
#include "platform/dsound/vorbis_check.h"

#define ACM_FEED_BYTES 2048         // source bytes per convert (whole blocks, at least one)
#define SEEK_IGNORE_BYTES 16        // seeks closer than this to the read point change nothing
#define OGG_BLOCK_BYTES 4096
#define OGG_SLACK_SAMPLES 44100
#define OGG_HOLE_RETRIES 32         // gaps in a damaged stream skipped per block before it ends
#define MP3_FORMAT_BYTES 30
#define DECODE_FIRST_BLOCK_BYTES (1 << 20)  // a whole decode starts here and doubles as PCM comes

int OggOutputSampleBytes = 2;

static int SeekSource(SoundDecoderRecord *d, int64_t offset) { return d->source.functions.seek(d->source.data, offset, 0); }
static int64_t TellSource(SoundDecoderRecord *d) { return d->source.functions.tell(d->source.data); }
static size_t ReadSource(SoundDecoderRecord *d, void *buffer, size_t n)
{
    return d->source.functions.read(buffer, 1, n, d->source.data);
}

int IsPlayablePcmFormat(const WaveFormat *f)
{
    if (f->formatTag != WAVE_TAG_PCM || f->channels < 1 || f->channels > 2)
        return 0;
    if (f->bitsPerSample != 8 && f->bitsPerSample != 16)
        return 0;
    if (f->blockAlign != f->channels * f->bitsPerSample / 8 || f->samplesPerSec < DS_RATE_MIN ||
        f->samplesPerSec > DS_RATE_MAX)
        return 0;
    return f->avgBytesPerSec == f->samplesPerSec * f->blockAlign;
}

// ================================================================================================
// PCM WAVE
// ================================================================================================

int OpenPcmWaveDecoder(SoundDecoderRecord *d)
{
    WaveLayout layout;
    if (WalkWaveStream(&d->source, &layout) != 0)
        return -1;
    WaveFormat f;
    int taken = TakeWaveFormatBody(layout.formatBody, layout.formatSize, &f);
    FreeMemoryTracked(layout.formatBody);
    if (taken != 0 || f.formatTag != WAVE_TAG_PCM)
        return -1;
    // Stored files in the wild carry wrong averages; the rest must be something a buffer can play.
    f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
    if (!IsPlayablePcmFormat(&f))
        return -1;
    // A file cut short mid-frame: the part frame would shift every later pass of a loop by its bytes.
    int32_t whole = layout.dataSize - layout.dataSize % f.blockAlign;
    if (whole <= 0)
        return -1;
    d->format = f;
    d->dataStart = layout.dataStart;
    d->dataSize = whole;
    d->blockSize = (int32_t)f.avgBytesPerSec;
    d->method = SOUND_DECODE_PCM;
    return 0;
}

static int DecodePcmBlock(SoundDecoderRecord *d)
{
    int64_t consumed = TellSource(d) - d->dataStart;
    if (consumed < 0 || consumed >= d->dataSize)
        return -1;
    int64_t n = d->dataSize - consumed;
    if (n > d->blockSize)
        n = d->blockSize;
    // The valid count is what was read: a stream that ends early ends the sound.
    size_t got = ReadSource(d, d->block, (size_t)n);
    d->validBytes = (int32_t)got;
    return got ? 0 : -1;
}

static void SeekPcmDecoder(SoundDecoderRecord *d, int sample)
{
    int64_t target = (int64_t)sample * d->format.blockAlign;
    d->validBytes = 0;
    d->readOffset = 0;
    if (sample < 0 || target > d->dataSize) {
        d->end = 1;
        return;
    }
    SeekSource(d, d->dataStart + target);
    d->outputPosition = (int32_t)target;
}

// ================================================================================================
// converter (compressed WAVE and raw MPEG)
// ================================================================================================

static void CloseAcmDecodeMethod(SoundDecoderRecord *d)
{
    if (d->acm.mainStream)
        AcmStreamClose(d->acm.mainStream, 0);
    if (d->acm.spareStream)
        AcmStreamClose(d->acm.spareStream, 0);
    FreeMemoryTracked(d->acm.sourceFormat);
    FreeMemoryTracked(d->acm.sourceBuffer);
    FillBytes(&d->acm, 0, sizeof d->acm);
}

static AcmStream *OpenAcmStream(SoundDecoderRecord *d)
{
    AcmStream *s = nullptr;
    if (AcmStreamOpen(&s, nullptr, d->acm.sourceFormat, &d->format, nullptr, 0, 0, ACM_OPEN_NONREALTIME) != ACM_OK)
        return nullptr;
    return s;
}

// The common tail of both converter methods: output format, the whole source data, two streams.
static int OpenAcmCommon(SoundDecoderRecord *d)
{
    FillBytes(&d->format, 0, sizeof d->format);
    d->format.formatTag = WAVE_TAG_PCM;
    if (AcmFormatSuggest(nullptr, d->acm.sourceFormat, &d->format, sizeof d->format, ACM_SUGGEST_TAG) != ACM_OK ||
        !IsPlayablePcmFormat(&d->format))
        return -1;
    d->acm.sourceBuffer = (uint8_t *)AllocMemoryTracked((size_t)d->dataSize, "", 0);
    if (!d->acm.sourceBuffer || SeekSource(d, d->dataStart) != 0)
        return -1;
    d->acm.sourceSize = (uint32_t)ReadSource(d, d->acm.sourceBuffer, (size_t)d->dataSize);
    SeekSource(d, d->dataStart);
    if (d->acm.sourceSize == 0)
        return -1;
    d->acm.sourcePosition = 0;
    // Blocks above 2048 bytes would never convert from a 2048-byte feed.
    uint32_t align = d->acm.sourceFormat->blockAlign ? d->acm.sourceFormat->blockAlign : 1;
    d->acm.feedBytes = align > ACM_FEED_BYTES ? align : ACM_FEED_BYTES;
    d->acm.mainStream = OpenAcmStream(d);
    if (!d->acm.mainStream)
        return -1;
    d->acm.spareStream = OpenAcmStream(d);
    if (!d->acm.spareStream)
        return -1;
    d->method = SOUND_DECODE_ACM;
    return 0;
}

int OpenAcmWaveDecoder(SoundDecoderRecord *d)
{
    WaveLayout layout;
    if (WalkWaveStream(&d->source, &layout) != 0)
        return -1;
    // The codec reads extraSize bytes after the 18: the copy never claims more than the body holds.
    uint32_t n = layout.formatSize < sizeof(WaveFormat) ? (uint32_t)sizeof(WaveFormat) : layout.formatSize;
    d->acm.sourceFormat = (WaveFormat *)AllocMemoryZeroed(n, "", 0);
    if (!d->acm.sourceFormat) {
        FreeMemoryTracked(layout.formatBody);
        return -1;
    }
    CopyBytes(d->acm.sourceFormat, layout.formatBody, layout.formatSize);
    FreeMemoryTracked(layout.formatBody);
    if (layout.formatSize <= sizeof(WaveFormat))
        d->acm.sourceFormat->extraSize = 0;
    else if (d->acm.sourceFormat->extraSize > n - sizeof(WaveFormat))
        d->acm.sourceFormat->extraSize = (uint16_t)(n - sizeof(WaveFormat));
    d->dataStart = layout.dataStart;
    d->dataSize = layout.dataSize;
    d->acm.totalSamples = -1;
    if (OpenAcmCommon(d) != 0) {
        CloseAcmDecodeMethod(d);
        return -1;
    }
    d->blockSize = (int32_t)d->format.avgBytesPerSec;
    // One feed of large blocks at a low rate can give more than a second: the block must hold it.
    uint32_t feedOut = 0;
    if (AcmStreamSize(d->acm.mainStream, d->acm.feedBytes, &feedOut, ACM_SIZE_SOURCE) == ACM_OK &&
        feedOut > (uint32_t)d->blockSize && feedOut <= DS_BUFFER_MAX_BYTES)
        d->blockSize = (int32_t)feedOut;
    return 0;
}

int OpenMpegAudioDecoder(SoundDecoderRecord *d)
{
    MpegLayout layout;
    if (ScanMpegStream(&d->source, &layout) != 0)
        return -1;
    uint32_t n = 0;
    if (AcmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &n) != ACM_OK || n < MP3_FORMAT_BYTES)
        n = MP3_FORMAT_BYTES;
    Mp3WaveFormat *f = (Mp3WaveFormat *)AllocMemoryZeroed(n, "", 0);
    if (!f)
        return -1;
    f->wave.formatTag = WAVE_TAG_MPEG_LAYER3;
    f->wave.channels = layout.first.channels;
    f->wave.samplesPerSec = layout.first.sampleRate;
    f->wave.avgBytesPerSec = layout.first.bitRate * 1000 / 8;
    f->wave.blockAlign = 1;
    f->wave.extraSize = 12;
    f->id = 1;
    f->flags = layout.first.padding;
    f->blockSize = (uint16_t)layout.first.frameLength;
    f->framesPerBlock = 1;
    f->codecDelay = 700;
    d->acm.sourceFormat = &f->wave;
    d->dataStart = layout.dataStart;
    d->dataSize = layout.dataEnd - layout.dataStart;
    d->acm.totalSamples = layout.totalSamples;
    if (OpenAcmCommon(d) != 0) {
        CloseAcmDecodeMethod(d);
        return -1;
    }
    d->blockSize = (int32_t)(4ull * d->format.avgBytesPerSec / 3);
    return 0;
}

static int DecodeAcmBlock(SoundDecoderRecord *d)
{
    SoundAcmPart *a = &d->acm;
    if (!a->mainStream)
        return -1;
    // A convert may use source without output yet (a frame split across feeds): feed on until
    // something comes out or the source is used up.
    while (a->sourcePosition < a->sourceSize) {
        AcmStreamHeader h;
        FillBytes(&h, 0, sizeof h);
        h.size = sizeof h;
        h.src = a->sourceBuffer + a->sourcePosition;
        uint32_t left = a->sourceSize - a->sourcePosition;
        h.srcLength = left < a->feedBytes ? left : a->feedBytes;
        h.dst = d->block;
        h.dstLength = (uint32_t)d->blockSize;
        if (AcmStreamPrepareHeader(a->mainStream, &h, 0) != ACM_OK)
            return -1;
        uint32_t result = AcmStreamConvert(a->mainStream, &h, ACM_CONVERT_BLOCK_ALIGN);
        AcmStreamUnprepareHeader(a->mainStream, &h, 0);
        uint32_t used = (result == ACM_OK && h.srcLengthUsed <= h.srcLength) ? h.srcLengthUsed : 0;
        uint32_t made = (result == ACM_OK && h.dstLengthUsed <= h.dstLength) ? h.dstLengthUsed : 0;
        a->sourcePosition += used;
        if (made) {
            d->validBytes = (int32_t)made;
            return 0;
        }
        if (!used)
            break;
    }
    d->validBytes = 0;
    a->sourcePosition = a->sourceSize;
    return -1;
}

static void SeekAcmDecoder(SoundDecoderRecord *d, int sample)
{
    int64_t t = (int64_t)sample * d->format.blockAlign;
    if (t < d->outputPosition) {
        // Restart on the idle spare stream; the used one is reopened as the new spare.
        AcmStream *used = d->acm.mainStream;
        d->acm.mainStream = d->acm.spareStream ? d->acm.spareStream : OpenAcmStream(d);
        AcmStreamClose(used, 0);
        d->acm.spareStream = OpenAcmStream(d);
        d->acm.sourcePosition = 0;
        d->outputPosition = 0;
        d->validBytes = 0;
        d->readOffset = 0;
        if (!d->acm.mainStream) {
            d->acm.sourcePosition = d->acm.sourceSize;
            d->end = 1;
            return;
        }
    }
    while (d->outputPosition + (int64_t)d->validBytes < t) {
        d->outputPosition += d->validBytes;
        d->validBytes = 0;
        d->readOffset = 0;
        if (DecodeAcmBlock(d) != 0) {
            d->validBytes = 0;
            d->end = 1;
            return;
        }
    }
    int32_t step = (int32_t)(t - d->outputPosition);
    d->readOffset += step;
    d->validBytes -= step;
    d->outputPosition = (int32_t)t;
}

// ================================================================================================
// Ogg Vorbis
// ================================================================================================

static size_t OggReadCallback(void *buffer, size_t size, size_t count, void *source)
{
    StreamRecord *s = (StreamRecord *)source;
    return s ? s->functions.read(buffer, size, count, s->data) : 0;
}

// The library's seek answers 0 / -1 like fseek, which is what the Ogg library expects.
static int OggSeekCallback(void *source, ogg_int64_t offset, int origin)
{
    StreamRecord *s = (StreamRecord *)source;
    return s ? s->functions.seek(s->data, offset, origin) : -1;
}

static int OggCloseCallback(void *) { return 0; }

static long OggTellCallback(void *source)
{
    StreamRecord *s = (StreamRecord *)source;
    return s ? (long)s->functions.tell(s->data) : -1;
}

static void CloseOggDecodeMethod(SoundDecoderRecord *d)
{
    if (d->ogg.opened)
        ov_clear(&d->ogg.file);
    d->ogg.opened = 0;
}

int GetOggPcmBytes(SoundDecoderRecord *d)
{
    int64_t total = (int64_t)ov_pcm_total(&d->ogg.file, -1);
    int64_t bytes = total * d->format.channels * d->ogg.bytesPerSample;
    return (total < 0 || bytes > INT32_MAX) ? 0 : (int)bytes;
}

int GetOggPcmBytesWithSlack(SoundDecoderRecord *d)
{
    int64_t total = (int64_t)ov_pcm_total(&d->ogg.file, -1);
    int64_t bytes = (total + OGG_SLACK_SAMPLES) * d->format.channels * d->ogg.bytesPerSample;
    return (total < 0 || bytes > INT32_MAX) ? 0 : (int)bytes;
}

// The source read for the setup-header check: n bytes, 0 at the end.
static size_t ReadSourceForCheck(void *user, void *buffer, size_t n)
{
    return ReadSource((SoundDecoderRecord *)user, buffer, n);
}

// Checks the setup header of every Vorbis stream in the file before vorbisfile sees it. 0, -1 when
// one would crash libvorbis.
static int CheckOggSetupHeaders(SoundDecoderRecord *d)
{
    SeekSource(d, 0);
    int result = CheckOggVorbisSetupHeaders(ReadSourceForCheck, d);
    SeekSource(d, 0);
    return result;
}

int OpenOggVorbisDecoder(SoundDecoderRecord *d)
{
    d->ogg.opened = 0;
    if (CheckOggSetupHeaders(d) != 0)
        return -1;
    ov_callbacks callbacks = {OggReadCallback, OggSeekCallback, OggCloseCallback, OggTellCallback};
    if (ov_open_callbacks(&d->source, &d->ogg.file, nullptr, 0, callbacks) != 0)
        return -1;
    d->ogg.opened = 1;
    vorbis_info *info = ov_info(&d->ogg.file, -1);
    int bytes = OggOutputSampleBytes == 1 ? 1 : 2;
    FillBytes(&d->format, 0, sizeof d->format);
    if (info) {
        d->format.formatTag = WAVE_TAG_PCM;
        d->format.channels = (uint16_t)info->channels;
        d->format.samplesPerSec = (uint32_t)info->rate;
        d->format.bitsPerSample = (uint16_t)(8 * bytes);
        d->format.blockAlign = (uint16_t)(info->channels * bytes);
        d->format.avgBytesPerSec = d->format.blockAlign * d->format.samplesPerSec;
    }
    d->ogg.bytesPerSample = bytes;
    // A stream the buffers cannot play (more than two channels, an odd rate) is refused here.
    if (!info || !IsPlayablePcmFormat(&d->format) || GetOggPcmBytes(d) <= 0) {
        CloseOggDecodeMethod(d);
        return -1;
    }
    d->blockSize = OGG_BLOCK_BYTES;
    d->dataSize = GetOggPcmBytes(d);
    d->method = SOUND_DECODE_OGG;
    return 0;
}

static int DecodeOggBlock(SoundDecoderRecord *d)
{
    int section = 0;
    int word = d->ogg.bytesPerSample;
    for (int tries = 0; tries < OGG_HOLE_RETRIES; tries++) {
        long got = ov_read(&d->ogg.file, (char *)d->block, d->blockSize, 0, word, word == 1 ? 0 : 1, &section);
        if (got > 0 && got <= d->blockSize) {
            d->validBytes = (int32_t)got;
            return 0;
        }
        if (got != OV_HOLE)
            break;
    }
    d->validBytes = 0;
    return -1;
}

static void SeekOggDecoder(SoundDecoderRecord *d, int sample)
{
    d->validBytes = 0;
    d->readOffset = 0;
    int64_t target = (int64_t)sample * d->format.blockAlign;
    // A seek the stream cannot make (past the end) ends the sound, as for PCM.
    if (target > INT32_MAX || ov_pcm_seek(&d->ogg.file, sample) != 0) {
        d->end = 1;
        return;
    }
    d->outputPosition = (int32_t)target;
}

// ================================================================================================
// the common operations
// ================================================================================================

static int DecodeBlock(SoundDecoderRecord *d)
{
    switch (d->method) {
    case SOUND_DECODE_PCM: return DecodePcmBlock(d);
    case SOUND_DECODE_ACM: return DecodeAcmBlock(d);
    case SOUND_DECODE_OGG: return DecodeOggBlock(d);
    default: return -1;
    }
}

static void CloseMethod(SoundDecoderRecord *d)
{
    if (d->method == SOUND_DECODE_ACM)
        CloseAcmDecodeMethod(d);
    else if (d->method == SOUND_DECODE_OGG)
        CloseOggDecodeMethod(d);
}

int SetupSoundDecoder(const StreamRecord *source, SoundDecoderRecord *d)
{
    FillBytes(d, 0, sizeof *d);
    d->source = *source;
    int (*const methods[])(SoundDecoderRecord *) = {OpenPcmWaveDecoder, OpenAcmWaveDecoder, OpenOggVorbisDecoder,
                                                    OpenMpegAudioDecoder};
    int taken = -1;
    for (auto open : methods) {
        SeekSource(d, 0);
        if (open(d) == 0) {
            taken = 0;
            break;
        }
    }
    if (taken != 0 || d->blockSize <= 0) {
        if (taken == 0)
            CloseMethod(d);
        FillBytes(d, 0, sizeof *d);
        return -1;
    }
    d->block = (uint8_t *)AllocMemoryTracked((size_t)d->blockSize, "", 0);
    if (!d->block) {
        CloseMethod(d);
        FillBytes(d, 0, sizeof *d);
        return -1;
    }
    d->end = 0;
    d->validBytes = d->readOffset = d->outputPosition = 0;
    d->ready = 1;
    return 0;
}

int ReadSoundDecoder(SoundDecoderRecord *d, void *destination, int bytes)
{
    if (!d->ready)
        return -1;
    if (d->end || bytes <= 0)
        return 0;
    uint8_t *out = (uint8_t *)destination;
    int copied = 0;
    while (bytes > 0) {
        if (d->validBytes == 0) {
            d->readOffset = 0;
            if (DecodeBlock(d) != 0) {
                d->end = 1;
                return copied;
            }
        }
        int n = bytes < d->validBytes ? bytes : d->validBytes;
        CopyBytes(out + copied, d->block + d->readOffset, (size_t)n);
        d->outputPosition += n;
        d->validBytes -= n;
        d->readOffset += n;
        bytes -= n;
        copied += n;
    }
    return copied;
}

int SeekSoundDecoder(SoundDecoderRecord *d, int sample)
{
    if (!d->ready)
        return 0;
    if (sample < 0)
        sample = 0;
    int64_t target = (int64_t)sample * d->format.blockAlign;
    int64_t distance = target - d->outputPosition;
    if (distance > -SEEK_IGNORE_BYTES && distance < SEEK_IGNORE_BYTES)
        return 0;
    d->end = 0;
    switch (d->method) {
    case SOUND_DECODE_PCM: SeekPcmDecoder(d, sample); break;
    case SOUND_DECODE_ACM: SeekAcmDecoder(d, sample); break;
    case SOUND_DECODE_OGG: SeekOggDecoder(d, sample); break;
    }
    return 0;
}

int GetSoundDecoderFormat(const SoundDecoderRecord *d, WaveFormat *format)
{
    *format = d->format;
    return 0;
}

int GetSoundDecoderPcmSize(SoundDecoderRecord *d)
{
    switch (d->method) {
    case SOUND_DECODE_PCM: return d->dataSize;
    case SOUND_DECODE_ACM: {
        if (d->acm.totalSamples >= 0) {
            int64_t bytes = (int64_t)d->acm.totalSamples * d->format.blockAlign;
            return bytes > INT32_MAX ? 0 : (int)bytes;
        }
        // An estimate that cannot be had leaves the size unknown (0), never an unset value.
        uint32_t out = 0;
        if (!d->acm.mainStream ||
            AcmStreamSize(d->acm.mainStream, (uint32_t)d->dataSize, &out, ACM_SIZE_SOURCE) != ACM_OK ||
            out > INT32_MAX)
            return 0;
        return (int)out;
    }
    case SOUND_DECODE_OGG: return GetOggPcmBytesWithSlack(d);
    default: return 0;
    }
}

// Decodes to the end into a block that grows with the PCM that really comes, up to total bytes: the
// total is an estimate from headers, which a damaged file can make huge. 0, -1 (nothing kept).
static int DecodeIntoGrowingBlock(SoundDecoderRecord *d, int total, uint8_t **data, int *got)
{
    int room = total < DECODE_FIRST_BLOCK_BYTES ? total : DECODE_FIRST_BLOCK_BYTES;
    uint8_t *block = (uint8_t *)AllocMemoryTracked((size_t)room, "", 0);
    int filled = 0;
    while (block) {
        int n = ReadSoundDecoder(d, block + filled, room - filled);
        filled += n > 0 ? n : 0;
        if (filled < room || room == total)
            break;
        int wider = room > total / 2 ? total : room * 2;
        uint8_t *grown = (uint8_t *)AllocMemoryTracked((size_t)wider, "", 0);
        if (grown)
            CopyBytes(grown, block, (size_t)filled);
        FreeMemoryTracked(block);
        block = grown;
        room = wider;
    }
    *data = block;
    *got = filled;
    return block ? 0 : -1;
}

int DecodeWholeSound(SoundDecoderRecord *d, WaveFormat *format, uint8_t **data, uint32_t *size)
{
    *data = nullptr;
    *size = 0;
    int total = d->ready ? GetSoundDecoderPcmSize(d) : 0;
    if (total <= 0)
        return -1;
    SeekSoundDecoder(d, 0);
    uint8_t *block = nullptr;
    int got = 0;
    if (d->method == SOUND_DECODE_PCM) {
        // The data size is cut to the file; the stream stands at the data start.
        block = (uint8_t *)AllocMemoryTracked((size_t)total, "", 0);
        if (!block)
            return -1;
        SeekSource(d, d->dataStart);
        got = (int)ReadSource(d, block, (size_t)total);
        d->outputPosition = got;
        d->validBytes = 0;
    } else if (DecodeIntoGrowingBlock(d, total, &block, &got) != 0) {
        return -1;
    }
    *format = d->format;
    *data = block;
    *size = (uint32_t)got;
    return 0;
}

int DecodeSoundImage(const void *image, uint32_t size, WaveFormat *format, uint8_t **pcm, uint32_t *pcmSize)
{
    *pcm = nullptr;
    *pcmSize = 0;
    MemoryStream *memory = OpenMemoryStream(image, size);
    if (!memory)
        return -1;
    StreamRecord stream = {*GetMemoryStreamFunctions(), (intptr_t)memory};
    // Tracked, not on the stack: the Ogg part makes the record large.
    SoundDecoderRecord *decoder = (SoundDecoderRecord *)AllocMemoryZeroed(sizeof(SoundDecoderRecord), "", 0);
    int result = -1;
    if (decoder && SetupSoundDecoder(&stream, decoder) == 0) {
        result = DecodeWholeSound(decoder, format, pcm, pcmSize) == 0 ? 0 : -2;
        CloseSoundDecoder(decoder);
    }
    FreeMemoryTracked(decoder);
    CloseMemoryStream(memory);
    return result;
}

int CloseSoundDecoder(SoundDecoderRecord *d)
{
    if (!d->ready)
        return -1;
    FreeMemoryTracked(d->block);
    d->block = nullptr;
    CloseMethod(d);
    d->ready = 0;
    return 0;
}
