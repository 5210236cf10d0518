// Sound file formats: MPEG frame headers, the ID3 and frame scan, the WAVE walk and writer, against
// hand-made bytes and against files made by sox and lame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sound/sound_test_support.h"

namespace {

using namespace soundtest;

// A stream over a byte vector kept alive by the caller.
struct BytesStream {
    MemoryStream *memory;
    StreamRecord stream;
    explicit BytesStream(const std::vector<uint8_t> &bytes)
    {
        memory = OpenMemoryStream(bytes.data(), bytes.size());
        stream = {*GetMemoryStreamFunctions(), (intptr_t)memory};
    }
    ~BytesStream() { CloseMemoryStream(memory); }
};

void Put32(std::vector<uint8_t> &b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b.push_back((uint8_t)(v >> (8 * i)));
}

void PutChunk(std::vector<uint8_t> &b, const char *id, const std::vector<uint8_t> &body, uint32_t sizeField)
{
    b.insert(b.end(), id, id + 4);
    Put32(b, sizeField);
    b.insert(b.end(), body.begin(), body.end());
}

std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t align, uint16_t bits, size_t size)
{
    std::vector<uint8_t> f(size, 0);
    WaveFormat w{tag, ch, rate, rate * align, align, bits, 0};
    memcpy(f.data(), &w, size < 18 ? size : 18);
    return f;
}

std::vector<uint8_t> Riff(const std::vector<uint8_t> &chunks)
{
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F'};
    Put32(b, (uint32_t)chunks.size() + 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E'});
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

int Walk(const std::vector<uint8_t> &bytes, WaveLayout *layout)
{
    BytesStream s(bytes);
    int r = WalkWaveStream(&s.stream, layout);
    if (r == 0)
        FreeMemoryTracked(layout->formatBody);
    return r;
}

TEST(FormatMpegHeader, FieldsLengthsAndRefusals)
{
    const uint8_t lame[4] = {0xFF, 0xFB, 0x90, 0x64};
    MpegFrameHeaderInfo i{};
    ASSERT_EQ(ParseMpegFrameHeader(lame, &i), 0);
    EXPECT_EQ(i.layer, 2);
    EXPECT_EQ(i.version, 0);
    EXPECT_EQ(i.bitRate, 128u);
    EXPECT_EQ(i.sampleRate, 44100u);
    EXPECT_EQ(i.padding, 0);
    EXPECT_EQ(i.channels, 2);
    EXPECT_EQ(i.frameLength, 417u);
    EXPECT_EQ(i.samplesPerFrame, 1152u);

    const uint8_t mpeg2[4] = {0xFF, 0xF3, 0x40, 0xC4};  // Layer III, 32 kbit/s, 22050 Hz, mono
    ASSERT_EQ(ParseMpegFrameHeader(mpeg2, &i), 0);
    EXPECT_EQ(i.version, 1);
    EXPECT_EQ(i.channels, 1);
    EXPECT_EQ(i.sampleRate, 22050u);
    EXPECT_EQ(i.bitRate, 32u);
    EXPECT_EQ(i.frameLength, 72000u * 32 / 22050);
    EXPECT_EQ(i.samplesPerFrame, 576u);

    const uint8_t layer1[4] = {0xFF, 0xFF, 0x92, 0x00};  // MPEG-1 Layer I, 288 kbit/s, padded
    ASSERT_EQ(ParseMpegFrameHeader(layer1, &i), 0);
    EXPECT_EQ(i.frameLength, (12000u * 288 / 44100 + 1) * 4);
    EXPECT_EQ(i.samplesPerFrame, 384u);

    const uint8_t sync11[4] = {0xFF, 0xE3, 0x90, 0x64};
    const uint8_t rate15[4] = {0xFF, 0xFF, 0xF0, 0x00};
    const uint8_t layer0[4] = {0xFF, 0xF9, 0x90, 0x64};
    const uint8_t rate3[4] = {0xFF, 0xFB, 0x9C, 0x64};
    EXPECT_EQ(ParseMpegFrameHeader(sync11, &i), -2);
    EXPECT_EQ(ParseMpegFrameHeader(rate15, &i), -1);
    EXPECT_EQ(ParseMpegFrameHeader(layer0, &i), -1);
    EXPECT_EQ(ParseMpegFrameHeader(rate3, &i), -1);
}

// Frames of FF FB 90 64 (417 bytes) with a zero body.
std::vector<uint8_t> Frames(int count)
{
    std::vector<uint8_t> b;
    for (int f = 0; f < count; f++) {
        b.insert(b.end(), {0xFF, 0xFB, 0x90, 0x64});
        b.insert(b.end(), 413, 0);
    }
    return b;
}

TEST(FormatMpegScan, Id3v24FooterTrailingTagAndCount)
{
    std::vector<uint8_t> b = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 2, 1};
    b.insert(b.end(), 267, 0x20);
    std::vector<uint8_t> frames = Frames(5);
    b.insert(b.end(), frames.begin(), frames.end());
    b.insert(b.end(), 7, 0x11);  // bytes after the last frame are left out
    std::vector<uint8_t> tag(128, 0x55);
    memcpy(tag.data(), "TAG", 3);
    b.insert(b.end(), tag.begin(), tag.end());
    BytesStream s(b);
    MpegLayout l{};
    ASSERT_EQ(ScanMpegStream(&s.stream, &l), 0);
    EXPECT_EQ(l.dataStart, 277);
    EXPECT_EQ(l.dataEnd, 277 + 5 * 417);
    EXPECT_EQ(l.totalSamples, 5 * 1152);

    // A last frame that runs into the tag ends at the tag.
    std::vector<uint8_t> cut(b.begin() + 277, b.begin() + 277 + 5 * 417 - 100);
    cut.insert(cut.end(), tag.begin(), tag.end());
    BytesStream s2(cut);
    ASSERT_EQ(ScanMpegStream(&s2.stream, &l), 0);
    EXPECT_EQ(l.dataStart, 0);
    EXPECT_EQ(l.dataEnd, (int)cut.size() - 128);
}

TEST(FormatMpegScan, FreeFormatBadHeadersAndShortStreamsAreRefused)
{
    std::vector<uint8_t> free = Frames(2);
    free[417 + 2] = 0x00 | 0x04;  // second frame: bit-rate index 0
    BytesStream s1(free);
    MpegLayout l{};
    EXPECT_EQ(ScanMpegStream(&s1.stream, &l), -1);

    std::vector<uint8_t> bad = Frames(2);
    bad[417 + 2] = 0xF0;  // bit-rate index 15
    BytesStream s2(bad);
    EXPECT_EQ(ScanMpegStream(&s2.stream, &l), -1);

    std::vector<uint8_t> none(300, 0x00);
    BytesStream s3(none);
    EXPECT_EQ(ScanMpegStream(&s3.stream, &l), -1);

    // Ends inside the header: no frame, no hang.
    std::vector<uint8_t> stub = {0x00, 0xFF, 0xFB, 0x90};
    BytesStream s4(stub);
    EXPECT_EQ(ScanMpegStream(&s4.stream, &l), -1);

    // A tag that claims more than the stream holds.
    std::vector<uint8_t> bigTag = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    BytesStream s5(bigTag);
    EXPECT_EQ(ScanMpegStream(&s5.stream, &l), -1);
}

TEST(FormatWave, WriterLayoutAndWalkBack)
{
    WaveFormat f = Pcm(22050, 1, 16);
    std::vector<uint8_t> data(1000, 7);
    uint8_t *image = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(MakeWaveFileImage(&image, &size, &f, 18, data.data(), 1000), 0);
    ASSERT_EQ(size, 1046u);
    EXPECT_EQ(fixture::Le32(image + 4), 1038u);
    std::vector<uint8_t> bytes(image, image + size);
    FreeMemoryTracked(image);
    WaveLayout l{};
    ASSERT_EQ(Walk(bytes, &l), 0);
    EXPECT_EQ(l.formatSize, 18u);
    EXPECT_EQ(l.dataStart, 46);
    EXPECT_EQ(l.dataSize, 1000);
}

TEST(FormatWave, ChunkOrderPaddingAndSizes)
{
    std::vector<uint8_t> fmt = FmtBody(1, 2, 8000, 4, 16, 16);
    std::vector<uint8_t> data(64, 1);
    WaveLayout l{};

    // fmt must come first, even when one follows.
    std::vector<uint8_t> c;
    PutChunk(c, "LIST", {1, 2, 3, 4}, 4);
    PutChunk(c, "fmt ", fmt, 16);
    PutChunk(c, "data", data, 64);
    EXPECT_EQ(Walk(Riff(c), &l), -1);

    // An odd chunk is skipped with its pad byte.
    c.clear();
    PutChunk(c, "fmt ", fmt, 16);
    PutChunk(c, "junk", {9, 9, 9, 0}, 3);
    PutChunk(c, "data", data, 64);
    ASSERT_EQ(Walk(Riff(c), &l), 0);
    EXPECT_EQ(l.dataStart, 12 + 24 + 12 + 8);
    EXPECT_EQ(l.dataSize, 64);

    // No data chunk.
    c.clear();
    PutChunk(c, "fmt ", fmt, 16);
    PutChunk(c, "fact", {1, 0, 0, 0}, 4);
    EXPECT_EQ(Walk(Riff(c), &l), -1);

    // A chunk size that would run backwards or past the end: refused, no hang.
    c.clear();
    PutChunk(c, "fmt ", fmt, 16);
    PutChunk(c, "huge", {}, 0xFFFFFFF0u);
    PutChunk(c, "data", data, 64);
    EXPECT_EQ(Walk(Riff(c), &l), -1);

    // Data claiming more than the file holds is cut to what is there; empty data is refused.
    c.clear();
    PutChunk(c, "fmt ", fmt, 16);
    PutChunk(c, "data", data, 100000);
    ASSERT_EQ(Walk(Riff(c), &l), 0);
    EXPECT_EQ(l.dataSize, 64);
    c.clear();
    PutChunk(c, "fmt ", fmt, 16);
    PutChunk(c, "data", {}, 0);
    EXPECT_EQ(Walk(Riff(c), &l), -1);

    // A format body larger than the file.
    c.clear();
    PutChunk(c, "fmt ", fmt, 0x7FFFFFFF);
    EXPECT_EQ(Walk(Riff(c), &l), -1);
}

TEST(FormatWave, FormatBodyIntoTheRecord)
{
    WaveFormat f;
    std::vector<uint8_t> b16 = FmtBody(1, 2, 44100, 4, 99, 16);
    ASSERT_EQ(TakeWaveFormatBody(b16.data(), 16, &f), 0);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.extraSize, 0);

    std::vector<uint8_t> b40 = FmtBody(0xFFFE, 2, 44100, 4, 16, 40);
    b40[16] = 22;
    for (size_t i = 18; i < 40; i++)
        b40[i] = 0xAB;
    uint8_t room[24];
    memset(room, 0xEE, sizeof room);
    ASSERT_EQ(TakeWaveFormatBody(b40.data(), 40, (WaveFormat *)room), 0);
    EXPECT_EQ(((WaveFormat *)room)->extraSize, 22);
    EXPECT_EQ(room[18], 0xEE);  // only 18 bytes are taken

    std::vector<uint8_t> noChannels = FmtBody(1, 0, 44100, 4, 16, 16);
    EXPECT_EQ(TakeWaveFormatBody(noChannels.data(), 16, &f), -1);
}

TEST(FormatFiles, SoxWavesWithFactAndEveryFmtSize)
{
    REQUIRE_TOOLS("sox");
    fixture::TempDir dir;
    ASSERT_TRUE(MakeTone("t.wav", 8000, 1, 16, 0.2));
    struct Case {
        const char *args;
        uint32_t fmtSize;
    } cases[] = {{"", 16}, {"-e u-law", 18}, {"-e ima-adpcm", 20}, {"-e ms-adpcm", 50}};
    for (const Case &c : cases) {
        ASSERT_TRUE(Shell(std::string("sox t.wav ") + c.args + " o.wav")) << c.args;
        std::vector<uint8_t> bytes = ReadFile("o.wav");
        WaveLayout l{};
        BytesStream s(bytes);
        ASSERT_EQ(WalkWaveStream(&s.stream, &l), 0) << c.args;
        EXPECT_EQ(l.formatSize, c.fmtSize) << c.args;
        EXPECT_EQ((size_t)l.dataSize, WaveData("o.wav").size()) << c.args;
        EXPECT_EQ(memcmp(bytes.data() + l.dataStart - 8, "data", 4), 0);
        FreeMemoryTracked(l.formatBody);
    }
}

TEST(FormatFiles, LameTagsAndFrameCounts)
{
    REQUIRE_TOOLS("sox", "lame");
    fixture::TempDir dir;
    ASSERT_TRUE(MakeTone("s.wav", 44100, 2, 16, 1.0));
    ASSERT_TRUE(MakeTone("m.wav", 44100, 1, 16, 1.0));
    ASSERT_TRUE(Shell("lame --quiet -b 128 --add-id3v2 --tt T s.wav v2.mp3"));
    ASSERT_TRUE(Shell("lame --quiet -b 128 --id3v1-only --tt T s.wav v1.mp3"));
    ASSERT_TRUE(Shell("lame --quiet -b 128 s.wav cbr.mp3"));
    ASSERT_TRUE(Shell("lame --quiet -m m --resample 22.05 -b 32 m.wav m2.mp3"));
    MpegLayout l{};

    std::vector<uint8_t> v2 = ReadFile("v2.mp3");
    BytesStream s2(v2);
    ASSERT_EQ(ScanMpegStream(&s2.stream, &l), 0);
    EXPECT_EQ(memcmp(v2.data(), "ID3", 3), 0);
    EXPECT_EQ(v2[l.dataStart], 0xFF);
    EXPECT_GT(l.dataStart, 10);

    std::vector<uint8_t> v1 = ReadFile("v1.mp3");
    BytesStream s1(v1);
    ASSERT_EQ(ScanMpegStream(&s1.stream, &l), 0);
    EXPECT_EQ(l.dataStart, 0);
    EXPECT_EQ(l.dataEnd, (int)v1.size() - 128);
    const uint8_t first[4] = {0xFF, 0xFB, 0x90, 0x64};
    EXPECT_EQ(memcmp(v1.data(), first, 4), 0);

    std::vector<uint8_t> cbr = ReadFile("cbr.mp3");
    BytesStream s3(cbr);
    ASSERT_EQ(ScanMpegStream(&s3.stream, &l), 0);
    EXPECT_EQ(l.totalSamples, 41 * 1152);

    std::vector<uint8_t> m2 = ReadFile("m2.mp3");
    BytesStream s4(m2);
    ASSERT_EQ(ScanMpegStream(&s4.stream, &l), 0);
    EXPECT_EQ(l.first.version, 1);
    EXPECT_EQ(l.totalSamples, 41 * 576);
}

TEST(FormatFiles, WholeFileReadingAndAMissingFile)
{
    fixture::TempDir dir;
    ASSERT_EQ(OpenLogFile(dir.path.c_str()), 0);
    fixture::WriteFile("x.bin", "abcdef");
    uint8_t *data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(LoadFileImage("x.bin", &data, &size), 0);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(memcmp(data, "abcdef", 6), 0);
    FreeMemoryTracked(data);
    EXPECT_EQ(LoadFileImage("nothere.wav", &data, &size), -1);
    EXPECT_EQ(data, nullptr);
    CloseLogFile();
    EXPECT_NE(ReadLogWithoutStamps().find("右記のファイルのオープンに失敗しました：nothere.wav\n"), std::string::npos);
}

}  // namespace
