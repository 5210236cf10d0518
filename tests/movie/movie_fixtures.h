// The committed Ogg Theora fixtures (scripts/make-movie-fixtures.sh) and ffmpeg's decode of them.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lib/movie/own_decoder.h"
#include "platform/dshow/frame_convert.h"
#include "platform/kernel/kernel.h"
#include "tests/support/test_temp_dir.h"
#include "testsupport/test_hooks.h"

namespace moviefixture {

struct Movie {
    const char *name;     // file in the fixture folder
    int width, height;    // picture size
    int chroma;           // MmChroma
};
// 20 frames at 10 frames a second each.
inline const Movie kMovies[] = {
    {"m420.ogv", 37, 29, 0}, {"m422.ogv", 34, 21, 2}, {"m444.ogv", 21, 9, 3},
};
#define FIXTURE_FRAMES 20

// A variable-rate movie: frame k of 12 shows at k * k / 10 s (ffmpeg's decode: one frame per packet).
inline const Movie kVariableRate = {"vfr.ogv", 32, 24, 0};
// 16 frames 3.5 s apart, real keyframes at 0 and 8; the granule positions mark 2, 4, 6, 10, 12 and 14
// as keyframes too. Told apart by FrameShown (no ffmpeg decode kept).
inline const Movie kSparse = {"sparse.ogv", 32, 24, 0};
// 640 x 480, 60 frames at 30 a second. Told apart by FrameShown.
inline const Movie kM640 = {"m640.ogv", 640, 480, 0};
// m420.ogv whose frame 10 is a broken packet.
#define DAMAGED_GOOD_FRAMES 10

// A name starting with "./" is a file the test wrote in its own directory.
inline std::string Path(const char *name)
{
    if (strncmp(name, "./", 2) == 0) return name;
    const char *dir = getenv("DAZAR_SOURCE_DIR");
    return std::string(dir ? dir : ".") + "/tests/movie/fixtures/" + name;
}

// The file name as the stream's OpenFile takes it.
inline std::vector<uint16_t> WidePath(const char *name)
{
    std::string path = Path(name);
    std::vector<uint16_t> wide(path.size() + 1);
    KMultiByteToWide(path.c_str(), -1, wide.data(), (int)wide.size());
    return wide;
}

// ffmpeg's planes of one frame: Y, then Cb and Cr of the chroma size.
struct RefFrame {
    std::vector<uint8_t> y, cb, cr;
    int cw, ch;
};
inline std::vector<RefFrame> ReferenceFrames(const Movie &m)
{
    std::string base(m.name);
    std::string data = ReadTestFile(Path((base.substr(0, base.size() - 4) + ".yuv").c_str()).c_str());
    int cw = m.chroma == 3 ? m.width : (m.width + 1) / 2;
    int ch = m.chroma == 0 ? (m.height + 1) / 2 : m.height;
    size_t ySize = (size_t)m.width * m.height, cSize = (size_t)cw * ch, frame = ySize + 2 * cSize;
    std::vector<RefFrame> frames;
    for (size_t at = 0; at + frame <= data.size(); at += frame) {
        const uint8_t *p = (const uint8_t *)data.data() + at;
        frames.push_back({std::vector<uint8_t>(p, p + ySize), std::vector<uint8_t>(p + ySize, p + ySize + cSize),
                          std::vector<uint8_t>(p + ySize + cSize, p + frame), cw, ch});
    }
    return frames;
}

// The colour of picture pixel (x, y) of a reference frame by the YUV-to-RGB tables.
inline void TableColour(const Movie &m, const RefFrame &f, int x, int y, int *r, int *g, int *b)
{
    const YuvToRgbTables *t = GetYuvToRgbTables();
    const uint8_t *clip = t->clip + 512;
    int cx = m.chroma == 3 ? x : x / 2, cy = m.chroma == 0 ? y / 2 : y;
    int luma = t->luma[f.y[(size_t)y * m.width + x]], cb = f.cb[(size_t)cy * f.cw + cx], cr = f.cr[(size_t)cy * f.cw + cx];
    *r = clip[(luma + t->crToRed[cr]) >> 14];
    *g = clip[(luma + t->cbToGreen[cb] + t->crToGreen[cr]) >> 14];
    *b = clip[(luma + t->cbToBlue[cb]) >> 14];
}

// Writes a changed fixture into the test's directory.
inline void WriteMovieFile(const char *name, const std::string &bytes)
{
    FILE *f = fopen(name, "wb");
    if (f) fwrite(bytes.data(), 1, bytes.size(), f), fclose(f);
}

// The size of the Ogg page at page, header and all.
inline size_t PageSize(const uint8_t *page)
{
    size_t size = 27 + page[26];
    for (int i = 0; i < page[26]; i++) size += page[27 + i];
    return size;
}

// Makes the checksum of the Ogg page at page right again.
inline void MendPageChecksum(uint8_t *page)
{
    size_t end = PageSize(page);
    memset(page + 22, 0, 4);
    uint32_t crc = 0;
    for (size_t i = 0; i < end; i++) {
        crc ^= (uint32_t)page[i] << 24;
        for (int k = 0; k < 8; k++) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    for (int k = 0; k < 4; k++) page[22 + k] = (uint8_t)(crc >> (8 * k));
}

// The first page of an Ogg file with bytes of its Theora identification header replaced (at offsets
// from the start of the header packet, big-endian fields as the header holds them) and its checksum
// made right again, so that the demuxer takes it.
inline std::string WithHeaderBytes(std::string file, int at, const std::vector<uint8_t> &bytes)
{
    uint8_t *page = (uint8_t *)file.data();
    for (size_t i = 0; i < bytes.size(); i++) page[27 + page[26] + at + i] = bytes[i];
    MendPageChecksum(page);
    return file;
}

// An Ogg file whose nth Theora page with frames (0: the first frame's) carries granule instead (with
// raise set: its own raised by granule frames), its checksum made right again. The file unchanged when
// there is no such page.
inline std::string WithGranule(std::string file, int nth, int64_t granule, bool raise = false)
{
    uint8_t *data = (uint8_t *)file.data();
    uint32_t theora = 0;
    int seen = 0, shift = 0;
    for (size_t at = 0; at + 27 <= file.size(); at += PageSize(data + at)) {
        uint8_t *page = data + at;
        size_t body = at + 27 + page[26];
        uint32_t serial;
        int64_t position;
        memcpy(&serial, page + 14, 4);
        memcpy(&position, page + 6, 8);
        if ((page[5] & 2) && memcmp(data + body, "\x80theora", 7) == 0) {
            theora = serial, seen = 1;
            shift = (data[body + 40] & 3) << 3 | data[body + 41] >> 5;   // the keyframe granule shift
        }
        if (seen && serial == theora && position > 0 && nth-- == 0) {
            if (raise) granule = position + (granule << shift);
            memcpy(page + 6, &granule, 8);
            MendPageChecksum(page);
            break;
        }
    }
    return file;
}
// Offsets in the identification header: coded size in macroblocks (16 bits each), picture size (24
// bits each), frame rate numerator and denominator (32 bits each).
enum { HEADER_FRAME_MBS = 10, HEADER_PICTURE = 14, HEADER_RATE = 22 };

// One of the stand-in's counts since they were last reset.
inline int Counted(int MmTestCounters::*count)
{
    MmTestCounters counters;
    MmTestGetCounters(&counters);
    return counters.*count;
}

// ---- frames told apart by their colours ------------------------------------------------------------

// FNV-1a over the colours of a picture of 16, 24 or 32 bits (the unused byte left out).
inline uint64_t PictureHash(const uint8_t *pixels, int pitch, int width, int height, int bits)
{
    uint64_t hash = 14695981039346656037ull;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width * bits / 8; x += bits / 8)
            for (int i = 0; i < (bits == 16 ? 2 : 3); i++) hash = (hash ^ pixels[(size_t)y * pitch + x + i]) * 1099511628211ull;
    return hash;
}

// The frame the reader decoded last, converted straight from its planes into a 565, 888 or X888
// picture, as a hash of its colours; 0 when it cannot be.
inline uint64_t DecodedFrameHash(MmTheoraReader *reader, int bits)
{
    const MmPictureInfo *p = MmGetTheoraPicture(reader);
    std::vector<uint8_t> pixels((size_t)p->picWidth * p->picHeight * bits / 8);
    MmSurfaceLock lock = {pixels.data(), p->picWidth * bits / 8, p->picWidth, p->picHeight, (uint32_t)bits,
                          bits == 16 ? 0xF800u : 0xFF0000u, bits == 16 ? 0x07E0u : 0xFF00u, bits == 16 ? 0x1Fu : 0xFFu};
    MmPlane planes[3];
    if (MmGetTheoraPlanes(reader, planes) != 0 || MmConvertPicture(p, planes, &lock) != 0) return 0;
    return PictureHash(pixels.data(), lock.pitch, p->picWidth, p->picHeight, bits);
}

// Every frame of a fixture as the reader decodes it from the start, so; made at the first call.
inline const std::vector<uint64_t> &FrameHashes(const Movie &m, int bits)
{
    static std::map<std::pair<std::string, int>, std::vector<uint64_t>> made;
    std::vector<uint64_t> &hashes = made[{m.name, bits}];
    MmTheoraReader *reader = hashes.empty() ? MmOpenTheoraReader(Path(m.name).c_str()) : nullptr;
    while (reader && MmDecodeNextTheoraFrame(reader) == 1) hashes.push_back(DecodedFrameHash(reader, bits));
    MmCloseTheoraReader(reader);
    return hashes;
}

// The frame of the fixture a picture of its size shows, -1 none.
inline int FrameShown(const Movie &m, const void *pixels, int pitch, int bits)
{
    const std::vector<uint64_t> &frames = FrameHashes(m, bits);
    uint64_t hash = pixels ? PictureHash((const uint8_t *)pixels, pitch, m.width, m.height, bits) : 0;
    auto at = std::find(frames.begin(), frames.end(), hash);
    return at == frames.end() ? -1 : (int)(at - frames.begin());
}

}  // namespace moviefixture
