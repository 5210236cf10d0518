// Sound decoders against the reference decoders: sox for PCM, ADPCM and G.711, mpg123 for MPEG
// audio made by lame, oggdec for Ogg Vorbis made by oggenc; plus the read, seek and end rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sound/sound_test_support.h"
#include "testsupport/test_hooks.h"

namespace {

using namespace soundtest;

TEST(DecoderPcm, EightBitMonoTakesThePcmMethod)
{
    REQUIRE_TOOLS("sox");
    fixture::TempDir dir;
    ASSERT_TRUE(MakeTone("p8.wav", 11025, 1, 8, 0.5));
    auto d = DecodeFile("p8.wav");
    ASSERT_EQ(d->setup, 0);
    EXPECT_EQ(d->decoder.method, SOUND_DECODE_PCM);
    EXPECT_EQ(d->decoder.blockSize, 11025);
    std::vector<uint8_t> data = WaveData("p8.wav");
    EXPECT_EQ(GetSoundDecoderPcmSize(&d->decoder), (int)data.size());
    EXPECT_EQ(d->Whole(), data);
}

TEST(DecoderPcm, SixteenBitRatesEqualTheDataChunk)
{
    REQUIRE_TOOLS("sox");
    fixture::TempDir dir;
    for (int rate : {22050, 44100, 48000}) {
        ASSERT_TRUE(MakeTone("s.wav", rate, 2, 16, 0.3));
        auto d = DecodeFile("s.wav");
        ASSERT_EQ(d->setup, 0) << rate;
        EXPECT_EQ(d->decoder.format.samplesPerSec, (uint32_t)rate);
        EXPECT_EQ(d->Whole(), WaveData("s.wav")) << rate;
    }
}

TEST(DecoderPcm, UnplayableFormatsAreRefusedAndWrongAveragesMended)
{
    std::vector<uint8_t> pcm = RampPcm(100, 1);
    WaveFormat odd = Pcm(8000, 1, 16);
    odd.avgBytesPerSec = 12345;
    MemoryDecoder mended(WaveImage(odd, pcm));
    ASSERT_EQ(mended.setup, 0);
    EXPECT_EQ(mended.decoder.format.avgBytesPerSec, 16000u);

    WaveFormat bad[] = {Pcm(8000, 0, 16), Pcm(8000, 3, 16), Pcm(50, 1, 16), Pcm(192000, 2, 16), Pcm(8000, 1, 12)};
    bad[0].blockAlign = 2;
    for (const WaveFormat &f : bad) {
        MemoryDecoder d(WaveImage(f, pcm));
        EXPECT_EQ(d.setup, -1) << f.channels << " " << f.samplesPerSec << " " << f.bitsPerSample;
    }
}

TEST(DecoderAcm, AdpcmAndG711EqualSox)
{
    REQUIRE_TOOLS("sox");
    fixture::TempDir dir;
    ASSERT_TRUE(MakeTone("t.wav", 22050, 2, 16, 0.7));
    struct Case {
        const char *encoding;
        uint16_t tag;
    } cases[] = {{"ms-adpcm", 2}, {"ima-adpcm", 0x11}, {"u-law", 7}, {"a-law", 6}};
    for (const Case &c : cases) {
        ASSERT_TRUE(Shell(std::string("sox t.wav -e ") + c.encoding + " x.wav"));
        ASSERT_TRUE(Shell("sox x.wav -e signed -b 16 ref.wav"));
        auto d = DecodeFile("x.wav");
        ASSERT_EQ(d->setup, 0) << c.encoding;
        EXPECT_EQ(d->decoder.method, SOUND_DECODE_ACM);
        EXPECT_EQ(d->decoder.acm.sourceFormat->formatTag, c.tag);
        EXPECT_EQ(d->decoder.blockSize, 22050 * 4);
        std::vector<uint8_t> ref = WaveData("ref.wav");
        EXPECT_GE(GetSoundDecoderPcmSize(&d->decoder), (int)ref.size());
        EXPECT_EQ(d->Whole(), ref) << c.encoding;
    }
}

TEST(DecoderAcm, AFailingSizeEstimateLeavesTheSizeUnknown)
{
    REQUIRE_TOOLS("sox");
    fixture::TempDir dir;
    ASSERT_TRUE(MakeTone("t.wav", 8000, 1, 16, 0.2));
    ASSERT_TRUE(Shell("sox t.wav -e ms-adpcm x.wav"));
    AcmTestResetFaults();
    auto d = DecodeFile("x.wav");
    ASSERT_EQ(d->setup, 0);
    AcmTestFailNth(ACM_FAULT_SIZE, 1);
    EXPECT_EQ(GetSoundDecoderPcmSize(&d->decoder), 0);
    AcmTestFailNth(ACM_FAULT_SIZE, 1);
    WaveFormat f;
    uint8_t *pcm = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(DecodeWholeSound(&d->decoder, &f, &pcm, &size), -1);
    EXPECT_EQ(pcm, nullptr);
    AcmTestResetFaults();
}

// An IMA ADPCM file with 4096-byte blocks: more than one 2048-byte feed per block.
TEST(DecoderAcm, BlocksAbove2048BytesDecode)
{
    REQUIRE_TOOLS("sox");
    fixture::TempDir dir;
    const uint16_t align = 4096, perBlock = (align - 4) * 2 + 1;
    std::vector<uint8_t> fmt(20, 0);
    WaveFormat w{WAVE_TAG_IMA_ADPCM, 1, 8000, 8000u * align / perBlock, align, 4, 2};
    memcpy(fmt.data(), &w, 18);
    memcpy(&fmt[18], &perBlock, 2);
    std::vector<uint8_t> data(2 * align);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (uint8_t)(i * 131 + 7);
    for (int b = 0; b < 2; b++)
        data[b * align + 2] = 10, data[b * align + 3] = 0;  // step index 10, reserved 0
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 20, 0, 0, 0};
    file.insert(file.end(), fmt.begin(), fmt.end());
    file.insert(file.end(), {'d', 'a', 't', 'a', 0, 0x20, 0, 0});
    file.insert(file.end(), data.begin(), data.end());
    uint32_t riff = (uint32_t)file.size() - 8;
    memcpy(&file[4], &riff, 4);
    FILE *f = fopen("big.wav", "wb");
    ASSERT_NE(f, nullptr);
    fwrite(file.data(), 1, file.size(), f);
    fclose(f);
    ASSERT_TRUE(Shell("sox big.wav -e signed -b 16 ref.wav"));
    MemoryDecoder d(file);
    ASSERT_EQ(d.setup, 0);
    std::vector<uint8_t> ref = WaveData("ref.wav");
    ASSERT_EQ(ref.size(), 2u * perBlock * 2);
    EXPECT_EQ(d.Whole(), ref);
}

TEST(DecoderMpeg, LameFilesEqualMpg123)
{
    REQUIRE_TOOLS("sox", "lame", "mpg123");
    fixture::TempDir dir;
    ASSERT_TRUE(MakeTone("s.wav", 44100, 2, 16, 1.0));
    ASSERT_TRUE(MakeTone("m.wav", 44100, 1, 16, 1.0));
    ASSERT_TRUE(Shell("lame --quiet -b 128 --add-id3v2 --tt T s.wav cbr.mp3"));
    ASSERT_TRUE(Shell("lame --quiet -m m --resample 22.05 -b 32 m.wav m2.mp3"));
    ASSERT_TRUE(Shell("lame --quiet -V2 s.wav vbr.mp3"));
    ASSERT_TRUE(Shell("lame --quiet -b 96 --id3v1-only --tt T s.wav v1.mp3"));

    auto cbr = DecodeFile("cbr.mp3");
    ASSERT_EQ(cbr->setup, 0);
    EXPECT_EQ(cbr->decoder.method, SOUND_DECODE_ACM);
    EXPECT_EQ(cbr->decoder.blockSize, 235200);
    EXPECT_EQ(GetSoundDecoderPcmSize(&cbr->decoder), 4 * 47232);
    std::vector<uint8_t> whole = cbr->Whole();
    EXPECT_EQ(whole.size(), 176400u);
    ASSERT_TRUE(Shell("mpg123 -q -w ref.wav cbr.mp3"));
    EXPECT_EQ(whole, WaveData("ref.wav"));

    for (const char *name : {"m2.mp3", "vbr.mp3", "v1.mp3"}) {
        ASSERT_TRUE(Shell(std::string("mpg123 -q -w ref.wav ") + name));
        auto d = DecodeFile(name);
        ASSERT_EQ(d->setup, 0) << name;
        EXPECT_EQ(d->Whole(), WaveData("ref.wav")) << name;
    }
}

TEST(DecoderOgg, OggencFilesEqualOggdecWithOneSecondOfSlack)
{
    REQUIRE_TOOLS("sox", "oggenc", "oggdec");
    fixture::TempDir dir;
    ASSERT_TRUE(MakeTone("s.wav", 44100, 2, 16, 0.8));
    ASSERT_TRUE(MakeTone("m.wav", 22050, 1, 16, 0.8));
    for (const char *name : {"s", "m"}) {
        std::string src = std::string(name) + ".wav", ogg = std::string(name) + ".ogg";
        ASSERT_TRUE(Shell("oggenc -Q " + src + " -o " + ogg));
        ASSERT_TRUE(Shell("oggdec -Q -o ref.wav " + ogg));
        auto d = DecodeFile(ogg);
        ASSERT_EQ(d->setup, 0) << name;
        EXPECT_EQ(d->decoder.method, SOUND_DECODE_OGG);
        EXPECT_EQ(d->decoder.blockSize, 4096);
        std::vector<uint8_t> ref = WaveData("ref.wav");
        int slack = 44100 * d->decoder.format.blockAlign;
        EXPECT_EQ(GetSoundDecoderPcmSize(&d->decoder), (int)ref.size() + slack);
        EXPECT_EQ(d->Whole(), ref) << name;
    }
}

// Counts the seeks to 0 the set-up makes before each method.
int gSeeksToZero = 0;
int (*gRealSeek)(intptr_t, int64_t, int) = nullptr;
int SpySeek(intptr_t data, int64_t offset, int origin)
{
    if (offset == 0 && origin == 0)
        gSeeksToZero++;
    return gRealSeek(data, offset, origin);
}

TEST(DecoderSetup, NonAudioFailsAfterFourMethods)
{
    std::string text(5000, 'x');
    MemoryStream *m = OpenMemoryStream(text.data(), text.size());
    StreamRecord s = {*GetMemoryStreamFunctions(), (intptr_t)m};
    gRealSeek = s.functions.seek;
    s.functions.seek = SpySeek;
    gSeeksToZero = 0;
    int blocks = GetTrackedBlockCount();
    SoundDecoderRecord *d = new SoundDecoderRecord();
    EXPECT_EQ(SetupSoundDecoder(&s, d), -1);
    EXPECT_GE(gSeeksToZero, 4);
    EXPECT_EQ(d->ready, 0);
    EXPECT_EQ(CloseSoundDecoder(d), -1);
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
    delete d;
    CloseMemoryStream(m);
}

// After the end reads give 0; a seek to 0 starts again; near seeks and empty reads change nothing.
void CheckEndAndRestart(MemoryDecoder &d, const char *what)
{
    ASSERT_EQ(d.setup, 0) << what;
    std::vector<uint8_t> head(64), again(64), rest(1 << 20);
    ASSERT_EQ(ReadSoundDecoder(&d.decoder, head.data(), 64), 64) << what;
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, head.data(), 0), 0);
    int before = d.decoder.outputPosition;
    SeekSoundDecoder(&d.decoder, 64 / d.decoder.format.blockAlign + 3);
    EXPECT_EQ(d.decoder.outputPosition, before) << what;
    while (ReadSoundDecoder(&d.decoder, rest.data(), (int)rest.size()) > 0) {
    }
    EXPECT_EQ(d.decoder.end, 1);
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, rest.data(), 100), 0);
    SeekSoundDecoder(&d.decoder, 0);
    EXPECT_EQ(d.decoder.end, 0) << what;
    ASSERT_EQ(ReadSoundDecoder(&d.decoder, again.data(), 64), 64) << what;
    EXPECT_EQ(head, again) << what;
}

TEST(DecoderSeek, EndAndRestartForEveryMethod)
{
    REQUIRE_TOOLS("sox", "lame", "oggenc");
    fixture::TempDir dir;
    ASSERT_TRUE(MakeTone("s.wav", 44100, 2, 16, 0.5));
    ASSERT_TRUE(Shell("sox s.wav -e ms-adpcm a.wav"));
    ASSERT_TRUE(Shell("lame --quiet -b 128 s.wav s.mp3"));
    ASSERT_TRUE(Shell("oggenc -Q s.wav -o s.ogg"));
    for (const char *name : {"s.wav", "a.wav", "s.mp3", "s.ogg"}) {
        MemoryDecoder d(ReadFile(name));
        CheckEndAndRestart(d, name);
    }
}

TEST(DecoderSeek, ForwardAndBackwardSeeksLandOnTheSample)
{
    REQUIRE_TOOLS("sox");
    fixture::TempDir dir;
    ASSERT_TRUE(MakeTone("s.wav", 8000, 1, 16, 1.0));
    ASSERT_TRUE(Shell("sox s.wav -e ima-adpcm a.wav"));
    ASSERT_TRUE(Shell("sox a.wav -e signed -b 16 ref.wav"));
    std::vector<uint8_t> ref = WaveData("ref.wav");
    MemoryDecoder d(ReadFile("a.wav"));
    ASSERT_EQ(d.setup, 0);
    for (int sample : {5000, 100, 7000, 0}) {
        SeekSoundDecoder(&d.decoder, sample);
        uint8_t got[32];
        ASSERT_EQ(ReadSoundDecoder(&d.decoder, got, 32), 32) << sample;
        EXPECT_EQ(memcmp(got, &ref[sample * 2], 32), 0) << sample;
    }
    SeekSoundDecoder(&d.decoder, 100000);  // past the end
    EXPECT_EQ(d.decoder.end, 1);
    uint8_t got[4];
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, got, 4), 0);
}

}  // namespace
