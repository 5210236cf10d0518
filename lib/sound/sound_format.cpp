// Sound file reading: whole files and streams into memory, the RIFF WAVE walk and writer, MPEG audio
// frame headers with the ID3 tag skipping and the frame scan.
#include <cstring>

#include "lib/core/helpers.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/file/datafile.h"
#include "lib/sound/sound_internal.h"

// Files the module reads whole stay well below this; bigger lengths are refused.
#define SOUND_FILE_MAX_BYTES 0x7FFFFFF0

// ================================================================================================
// stream helpers
// ================================================================================================

static size_t ReadBytes(const StreamRecord *s, void *buffer, size_t n)
{
    return s->functions.read(buffer, 1, n, s->data);
}

static int64_t Tell(const StreamRecord *s) { return s->functions.tell(s->data); }

static int Seek(const StreamRecord *s, int64_t offset, int origin) { return s->functions.seek(s->data, offset, origin); }

// The stream's length; the position is kept. -1 on failure.
static int64_t StreamLength(const StreamRecord *s)
{
    int64_t here = Tell(s);
    if (here < 0 || Seek(s, 0, 2) != 0)
        return -1;
    int64_t length = Tell(s);
    Seek(s, here, 0);
    return length;
}


static void PutLe32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// ================================================================================================
// whole files and streams
// ================================================================================================

int LoadFileImage(const char *fileName, uint8_t **data, uint32_t *size)
{
    *data = nullptr;
    *size = 0;
    intptr_t file = OpenDataFile(fileName, 0, 1, 0);
    if (!file)
        return WriteLogFormat("右記のファイルのオープンに失敗しました：%s", fileName);
    SeekDataFile(file, 0, 2);
    int64_t length = TellDataFile(file);
    SeekDataFile(file, 0, 0);
    if (length < 0 || length > SOUND_FILE_MAX_BYTES) {
        CloseDataFile(file);
        return WriteLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", fileName);
    }
    uint8_t *block = (uint8_t *)AllocMemoryTracked(length ? (size_t)length : 1, "", 0);
    if (!block) {
        CloseDataFile(file);
        return WriteLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", fileName);
    }
    // A short read would hand out bytes that were never read.
    size_t got = length ? ReadDataFile(block, 1, (size_t)length, file) : 0;
    CloseDataFile(file);
    if (got != (size_t)length) {
        FreeMemoryTracked(block);
        return WriteLogFormat("右記のファイルのオープンに失敗しました：%s", fileName);
    }
    *data = block;
    *size = (uint32_t)length;
    return 0;
}

int ReadStreamImage(const StreamRecord *stream, uint8_t **data, uint32_t *size)
{
    *data = nullptr;
    *size = 0;
    Seek(stream, 0, 2);
    int64_t length = Tell(stream);
    Seek(stream, 0, 0);
    if (length < 0 || length > SOUND_FILE_MAX_BYTES)
        return -1;
    uint8_t *block = (uint8_t *)AllocMemoryTracked(length ? (size_t)length : 1, "", 0);
    if (!block)
        return WriteLogFormat("ストリームの読み込みに必要なメモリの確保に失敗しました");
    if (ReadBytes(stream, block, (size_t)length) != (size_t)length) {
        FreeMemoryTracked(block);
        return -1;
    }
    *data = block;
    *size = (uint32_t)length;
    return 0;
}

int MakeWaveFileImage(uint8_t **image, uint32_t *size, const void *format, uint32_t formatSize, const void *data,
                      uint32_t dataSize)
{
    uint64_t total = (uint64_t)formatSize + dataSize + 28;
    if (total > SOUND_FILE_MAX_BYTES)
        return -1;
    uint8_t *p = (uint8_t *)AllocMemoryTracked((size_t)total, "", 0);
    if (!p)
        return -1;
    CopyBytes(p, "RIFF", 4);
    PutLe32(p + 4, (uint32_t)total - 8);
    CopyBytes(p + 8, "WAVEfmt ", 8);
    PutLe32(p + 16, formatSize);
    CopyBytes(p + 20, format, formatSize);
    CopyBytes(p + 20 + formatSize, "data", 4);
    PutLe32(p + 24 + formatSize, dataSize);
    CopyBytes(p + 28 + formatSize, data, dataSize);
    *image = p;
    *size = (uint32_t)total;
    return 0;
}

// ================================================================================================
// WAVE
// ================================================================================================

int TakeWaveFormatBody(const uint8_t *body, uint32_t n, WaveFormat *format)
{
    FillBytes(format, 0, sizeof *format);
    CopyBytes(format, body, n < sizeof *format ? n : sizeof *format);
    if (n == 16) {
        if (format->channels == 0)
            return -1;
        format->extraSize = 0;
        format->bitsPerSample = (uint16_t)(format->blockAlign / format->channels * 8);
    }
    return 0;
}

// Reads the chunk headers after the format body up to "data". 0 with the data's place, -1 when there
// is none or a chunk size points outside the stream.
static int FindWaveData(const StreamRecord *s, int64_t length, WaveLayout *layout)
{
    uint8_t header[8];
    for (;;) {
        int64_t at = Tell(s);
        if (at < 0 || at + 8 > length || ReadBytes(s, header, 8) != 8)
            return -1;
        uint64_t size = ReadLe32(header + 4);
        if (memcmp(header, "data", 4) == 0) {
            int64_t start = at + 8;
            // A data chunk claiming more than the file holds is cut to what is there.
            uint64_t there = (uint64_t)(length - start);
            if (size > there)
                size = there;
            if (size == 0 || start > INT32_MAX)
                return -1;
            layout->dataStart = (int32_t)start;
            layout->dataSize = (int32_t)size;
            return 0;
        }
        uint64_t skip = size + (size & 1);
        if ((uint64_t)(at + 8) + skip >= (uint64_t)length || Seek(s, at + 8 + (int64_t)skip, 0) != 0)
            return -1;
    }
}

int WalkWaveStream(const StreamRecord *s, WaveLayout *layout)
{
    FillBytes(layout, 0, sizeof *layout);
    int64_t length = StreamLength(s);
    uint8_t header[12];
    if (length < 20 || ReadBytes(s, header, 12) != 12)
        return -1;
    if (memcmp(header, "RIFF", 4) != 0 || memcmp(header + 8, "WAVE", 4) != 0)
        return -1;
    if (ReadBytes(s, header, 8) != 8 || memcmp(header, "fmt ", 4) != 0)
        return -1;
    uint32_t n = ReadLe32(header + 4);
    if (n < 14 || (int64_t)n > length - 20)
        return -1;
    uint8_t *body = (uint8_t *)AllocMemoryTracked(n, "", 0);
    if (!body)
        return -1;
    if (ReadBytes(s, body, n) != n || ((n & 1) && Seek(s, 20 + (int64_t)n + 1, 0) != 0) ||
        FindWaveData(s, length, layout) != 0) {
        FreeMemoryTracked(body);
        return -1;
    }
    layout->formatBody = body;
    layout->formatSize = n;
    return 0;
}

// ================================================================================================
// MPEG audio
// ================================================================================================

// kbit/s by layer + 3 * version, indices 0..14.
static const uint16_t kMpegBitRates[6][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 Layer II
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 Layer III
};
static const uint32_t kMpegRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};

int ParseMpegFrameHeader(const uint8_t header[4], MpegFrameHeaderInfo *info)
{
    if (header[0] != 0xFF || (header[1] & 0xF0) != 0xF0)
        return -2;
    int layerBits = (header[1] >> 1) & 3;
    int bitRateIndex = header[2] >> 4;
    int rateIndex = (header[2] >> 2) & 3;
    if (layerBits == 0 || bitRateIndex == 15 || rateIndex == 3)
        return -1;
    info->layer = (uint8_t)(3 - layerBits);
    info->version = (header[1] & 0x08) ? 0 : 1;
    info->bitRateIndex = (uint8_t)bitRateIndex;
    info->rateIndex = (uint8_t)rateIndex;
    info->padding = (header[2] >> 1) & 1;
    info->channels = (header[3] >> 6) == 3 ? 1 : 2;
    info->sampleRate = kMpegRates[info->version][rateIndex];
    info->bitRate = kMpegBitRates[info->layer + 3 * info->version][bitRateIndex];
    if (info->layer == 0) {
        info->frameLength = (12000 * info->bitRate / info->sampleRate + info->padding) * 4;
        info->samplesPerFrame = 384;
    } else if (info->layer == 2 && info->version == 1) {
        info->frameLength = 72000 * info->bitRate / info->sampleRate + info->padding;
        info->samplesPerFrame = 576;
    } else {
        info->frameLength = 144000 * info->bitRate / info->sampleRate + info->padding;
        info->samplesPerFrame = 1152;
    }
    return 0;
}

// Where the audio starts after a leading ID3v2 tag (0 without one).
static int64_t SkipId3v2(const StreamRecord *s)
{
    uint8_t tag[10];
    if (ReadBytes(s, tag, 10) != 10 || memcmp(tag, "ID3", 3) != 0)
        return 0;
    int64_t size = ((int64_t)(tag[6] & 0x7F) << 21) | ((tag[7] & 0x7F) << 14) | ((tag[8] & 0x7F) << 7) | (tag[9] & 0x7F);
    return (tag[3] == 4 && (tag[5] & 0x10)) ? 20 + size : 10 + size;
}

// Finds the next frame header from the current position: 1 with its position and the header, 0 when
// the stream ends first.
static int FindFrameSync(const StreamRecord *s, int64_t *at, uint8_t header[4])
{
    uint8_t b;
    for (;;) {
        if (ReadBytes(s, &b, 1) != 1)
            return 0;
        if (b != 0xFF)
            continue;
        if (ReadBytes(s, &b, 1) != 1)
            return 0;
        if ((b & 0xF0) != 0xF0)
            continue;
        header[0] = 0xFF;
        header[1] = b;
        // A stream that ends inside the header ends the scan.
        if (ReadBytes(s, header + 2, 2) != 2)
            return 0;
        *at = Tell(s) - 4;
        return 1;
    }
}

// 1 when two headers describe frames of one stream: version, layer, rate and channels agree.
static int SameMpegStream(const MpegFrameHeaderInfo *a, const MpegFrameHeaderInfo *b)
{
    return a->version == b->version && a->layer == b->layer && a->rateIndex == b->rateIndex &&
           a->channels == b->channels;
}

// Parses a candidate header; free-format frames have no length to step by and count as no frame.
static int ParseSteppableHeader(const uint8_t header[4], MpegFrameHeaderInfo *info)
{
    return ParseMpegFrameHeader(header, info) == 0 && info->bitRateIndex != 0 && info->frameLength >= 4 ? 0 : -1;
}

// A 0xFFF word found by searching is taken for a frame only when the header at its frame's end
// agrees with it, or when that end is the end of the audio: a stray sync in damaged data must not
// set the stream's format. found: frames were counted already (a last frame may run past the end).
static int ConfirmedBySuccessor(const StreamRecord *s, const MpegFrameHeaderInfo *info, int64_t next, int64_t limit,
                                int found)
{
    if (next >= limit)
        return next == limit || found;
    uint8_t header[4];
    MpegFrameHeaderInfo following;
    if (Seek(s, next, 0) != 0 || ReadBytes(s, header, 4) != 4)
        return 0;
    return ParseSteppableHeader(header, &following) == 0 && SameMpegStream(info, &following);
}

int ScanMpegStream(const StreamRecord *s, MpegLayout *layout)
{
    FillBytes(layout, 0, sizeof *layout);
    int64_t length = StreamLength(s);
    if (length <= 0 || length > SOUND_FILE_MAX_BYTES || Seek(s, 0, 0) != 0)
        return -1;
    int64_t start = SkipId3v2(s);
    int64_t limit = length;
    uint8_t tag[3];
    if (length > 128 && Seek(s, length - 128, 0) == 0 && ReadBytes(s, tag, 3) == 3 && memcmp(tag, "TAG", 3) == 0)
        limit = length - 128;
    if (start >= limit || Seek(s, start, 0) != 0)
        return -1;
    int64_t first = -1, at = 0, end = 0, expected = -1;
    uint64_t samples = 0;
    uint8_t header[4];
    MpegFrameHeaderInfo info;
    while (FindFrameSync(s, &at, header)) {
        // A frame right where the last one ended is vouched for by it; any other must be confirmed.
        int counted = ParseSteppableHeader(header, &info) == 0 && (first < 0 || SameMpegStream(&layout->first, &info));
        if (counted && at != expected)
            counted = ConfirmedBySuccessor(s, &info, at + info.frameLength, limit, first >= 0);
        if (!counted) {
            if (Seek(s, at + 1, 0) != 0)
                break;
            continue;
        }
        if (first < 0) {
            first = at;
            layout->first = info;
        }
        samples += info.samplesPerFrame;
        end = at + info.frameLength;
        if (end >= limit) {
            end = limit;
            break;
        }
        expected = end;
        if (Seek(s, end, 0) != 0)
            break;
    }
    if (first < 0 || end <= first || samples > INT32_MAX)
        return -1;
    layout->dataStart = (int32_t)first;
    layout->dataEnd = (int32_t)end;
    layout->totalSamples = (int32_t)samples;
    Seek(s, first, 0);
    return 0;
}
