// The converter stand-in against outside decoders: ADPCM and G.711 files made and decoded by sox,
// MP3 files made by lame and decoded by mpg123, converted block by block as the sound module does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/acm/acm.h"
#include "tests/platform/acm/fixture_tools.h"
#include "testsupport/test_hooks.h"

namespace {

using fixture::Shell;
using fixture::Wave;

const WaveFormat *Fmt(const std::vector<uint8_t> &body) { return reinterpret_cast<const WaveFormat *>(body.data()); }

// A source format block: the fmt body padded to at least 18 bytes with its codec bytes.
std::vector<uint8_t> SourceFormat(const Wave &w)
{
    std::vector<uint8_t> f = w.format;
    if (f.size() < 18)
        f.resize(18, 0);
    return f;
}

// Converts everything as the sound module does: at most max(2048, block align) source bytes per
// call, whole blocks, a destination of one second of PCM, until the source is used up or stalls.
std::vector<uint8_t> ConvertAll(AcmStream *s, const std::vector<uint8_t> &src, uint32_t blockAlign,
                                uint32_t dstBytes, int *calls = nullptr)
{
    std::vector<uint8_t> out, dst(dstBytes + 16, 0xEE);
    size_t pos = 0;
    int n = 0;
    while (pos < src.size()) {
        AcmStreamHeader h = {};
        h.size = sizeof h;
        h.src = const_cast<uint8_t *>(src.data()) + pos;
        h.srcLength = (uint32_t)std::min<size_t>(std::max<uint32_t>(2048, blockAlign), src.size() - pos);
        h.dst = dst.data();
        h.dstLength = dstBytes;
        EXPECT_EQ(AcmStreamPrepareHeader(s, &h, 0), ACM_OK);
        EXPECT_EQ(AcmStreamConvert(s, &h, ACM_CONVERT_BLOCK_ALIGN), ACM_OK);
        EXPECT_EQ(AcmStreamUnprepareHeader(s, &h, 0), ACM_OK);
        EXPECT_LE(h.dstLengthUsed, dstBytes);
        EXPECT_EQ(dst[dstBytes], 0xEE);  // nothing past the destination
        out.insert(out.end(), dst.begin(), dst.begin() + h.dstLengthUsed);
        pos += h.srcLengthUsed;
        n++;
        // A call may use source without output (an MPEG frame larger than what it was given).
        if (h.dstLengthUsed == 0 && h.srcLengthUsed == 0)
            break;
    }
    if (calls)
        *calls = n;
    return out;
}

// Opens a stream to the suggested PCM format.
AcmStream *OpenToPcm(const std::vector<uint8_t> &srcFormat, WaveFormat *pcm)
{
    memset(pcm, 0, sizeof *pcm);
    pcm->formatTag = WAVE_TAG_PCM;
    EXPECT_EQ(AcmFormatSuggest(nullptr, Fmt(srcFormat), pcm, sizeof *pcm, ACM_SUGGEST_TAG), ACM_OK);
    AcmStream *s = nullptr;
    EXPECT_EQ(AcmStreamOpen(&s, nullptr, Fmt(srcFormat), pcm, nullptr, 0, 0, ACM_OPEN_NONREALTIME), ACM_OK);
    return s;
}

class AcmTest : public ::testing::Test {
protected:
    fixture::TempDir dir;
    int openBefore = 0;
    void SetUp() override
    {
        AcmTestResetFaults();
        openBefore = AcmTestOpenStreamCount();
        for (const char *tool : {"sox", "lame", "mpg123"})
            ASSERT_TRUE(fixture::HaveTool(tool)) << tool << " is needed (scripts/install-deps.sh)";
    }
    void TearDown() override
    {
        EXPECT_EQ(AcmTestOpenStreamCount(), openBefore);
        AcmTestResetFaults();
    }
};

struct SoxCase {
    const char *encoding;
    const char *shape;   // sox options for the tone
    uint16_t tag;
};

TEST_F(AcmTest, AdpcmAndG711DecodeExactlyAsSoxDoes)
{
    const SoxCase cases[] = {
        {"ms-adpcm", "-r 44100 -c 2", WAVE_TAG_MS_ADPCM}, {"ms-adpcm", "-r 22050 -c 1", WAVE_TAG_MS_ADPCM},
        {"ima-adpcm", "-r 44100 -c 2", WAVE_TAG_IMA_ADPCM}, {"ima-adpcm", "-r 11025 -c 1", WAVE_TAG_IMA_ADPCM},
        {"u-law", "-r 8000 -c 1", WAVE_TAG_MULAW}, {"a-law", "-r 44100 -c 2", WAVE_TAG_ALAW},
    };
    for (const SoxCase &c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + " " + c.shape);
        ASSERT_TRUE(Shell(std::string("sox -n ") + c.shape + " -b 16 tone.wav synth 0.7 sine 300-3000 sine 440"));
        ASSERT_TRUE(Shell(std::string("sox tone.wav -e ") + c.encoding + " coded.wav"));
        ASSERT_TRUE(Shell("sox coded.wav -e signed -b 16 ref.wav"));
        Wave coded, ref;
        ASSERT_TRUE(fixture::ReadWave("coded.wav", &coded));
        ASSERT_TRUE(fixture::ReadWave("ref.wav", &ref));
        std::vector<uint8_t> sf = SourceFormat(coded);
        EXPECT_EQ(Fmt(sf)->formatTag, c.tag);
        WaveFormat pcm;
        AcmStream *s = OpenToPcm(sf, &pcm);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(pcm.bitsPerSample, 16);
        EXPECT_EQ(pcm.channels, Fmt(sf)->channels);
        EXPECT_EQ(pcm.samplesPerSec, Fmt(sf)->samplesPerSec);
        uint32_t estimate = 0;
        ASSERT_EQ(AcmStreamSize(s, (uint32_t)coded.data.size(), &estimate, ACM_SIZE_SOURCE), ACM_OK);
        std::vector<uint8_t> out = ConvertAll(s, coded.data, Fmt(sf)->blockAlign, pcm.avgBytesPerSec);
        EXPECT_EQ(out.size(), ref.data.size());
        EXPECT_TRUE(out == ref.data);
        EXPECT_GE(estimate, out.size());
        AcmStreamClose(s, 0);
    }
}

TEST_F(AcmTest, WideAndFloatPcmReduceTo16BitsAsSoxDoes)
{
    // Made at full resolution, so the reduction has low bits to round.
    for (const char *opts : {"-b 24", "-b 32", "-e floating-point -b 32", "-e floating-point -b 64"}) {
        SCOPED_TRACE(opts);
        ASSERT_TRUE(Shell(std::string("sox -n -r 22050 -c 2 ") + opts + " coded.wav synth 0.3 sine 300-3000 sine 440"));
        ASSERT_TRUE(Shell("sox coded.wav -D -e signed -b 16 ref.wav"));
        Wave coded, ref;
        ASSERT_TRUE(fixture::ReadWave("coded.wav", &coded));
        ASSERT_TRUE(fixture::ReadWave("ref.wav", &ref));
        std::vector<uint8_t> sf = SourceFormat(coded);
        WaveFormat pcm;
        AcmStream *s = OpenToPcm(sf, &pcm);
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(ConvertAll(s, coded.data, Fmt(sf)->blockAlign, pcm.avgBytesPerSec) == ref.data);
        AcmStreamClose(s, 0);
    }
}

TEST_F(AcmTest, ShortFinalBlockStillDecodes)
{
    // A hand-cut IMA file: the last block holds only its header and one group of codes.
    ASSERT_TRUE(Shell("sox -n -r 22050 -c 1 -b 16 tone.wav synth 0.2 sine 500"));
    ASSERT_TRUE(Shell("sox tone.wav -e ima-adpcm coded.wav"));
    Wave coded;
    ASSERT_TRUE(fixture::ReadWave("coded.wav", &coded));
    std::vector<uint8_t> sf = SourceFormat(coded);
    uint32_t ba = Fmt(sf)->blockAlign;
    std::vector<uint8_t> src(coded.data.begin(), coded.data.begin() + 2 * ba + 8);
    WaveFormat pcm;
    AcmStream *s = OpenToPcm(sf, &pcm);
    uint32_t estimate = 0;
    AcmStreamSize(s, (uint32_t)src.size(), &estimate, ACM_SIZE_SOURCE);
    std::vector<uint8_t> out = ConvertAll(s, src, ba, pcm.avgBytesPerSec);
    uint32_t perBlock = (ba - 4) * 2 + 1;
    EXPECT_EQ(out.size(), (2 * perBlock + 9) * 2);
    EXPECT_EQ(estimate, out.size());
    AcmStreamClose(s, 0);
}

// The MPEG layer-3 source format the sound module builds from the first frame.
std::vector<uint8_t> Mp3Format(uint16_t channels, uint32_t rate, uint32_t kbps, uint16_t firstFrame)
{
    Mp3WaveFormat f = {};
    f.wave = WaveFormat{WAVE_TAG_MPEG_LAYER3, channels, rate, kbps * 125, 1, 0, 12};
    f.id = 1;
    f.blockSize = firstFrame;
    f.framesPerBlock = 1;
    f.codecDelay = 700;
    std::vector<uint8_t> v(sizeof f);
    memcpy(v.data(), &f, sizeof f);
    return v;
}

struct Mp3Case {
    const char *lame;
    uint16_t channels;
    uint32_t rate, kbps;
};

TEST_F(AcmTest, Mp3DecodesExactlyAsMpg123DoesAndLosesNoTail)
{
    ASSERT_TRUE(Shell("sox -n -r 44100 -c 2 -b 16 tone.wav synth 1.0 sine 440 sine 550"));
    const Mp3Case cases[] = {{"-b 128", 2, 44100, 128}, {"-m m --resample 22.05 -b 32", 1, 22050, 32},
                             {"-V2", 2, 44100, 128}, {"-b 320", 2, 44100, 320}};
    for (const Mp3Case &c : cases) {
        SCOPED_TRACE(c.lame);
        ASSERT_TRUE(Shell(std::string("lame --quiet ") + c.lame + " tone.wav a.mp3"));
        ASSERT_TRUE(Shell("mpg123 -q -w ref.wav a.mp3"));
        Wave ref;
        ASSERT_TRUE(fixture::ReadWave("ref.wav", &ref));
        std::vector<uint8_t> mp3 = fixture::ReadFile("a.mp3");
        std::vector<uint8_t> sf = Mp3Format(c.channels, c.rate, c.kbps, 417);
        WaveFormat pcm;
        AcmStream *s = OpenToPcm(sf, &pcm);
        ASSERT_NE(s, nullptr);
        uint32_t block = pcm.avgBytesPerSec * 4 / 3;
        std::vector<uint8_t> out = ConvertAll(s, mp3, 1, block);
        EXPECT_EQ(out.size(), ref.data.size());
        EXPECT_TRUE(out == ref.data);
        if (strcmp(c.lame, "-V2") != 0) {
            uint32_t estimate = 0;
            ASSERT_EQ(AcmStreamSize(s, (uint32_t)mp3.size(), &estimate, ACM_SIZE_SOURCE), ACM_OK);
            EXPECT_GE(estimate, out.size());
        }
        AcmStreamClose(s, 0);
    }
}

// Half a second of 44.1 kHz stereo at 128 kbit/s, and mpg123's decode of it.
bool MakeHalfSecondMp3(std::vector<uint8_t> *mp3, Wave *ref)
{
    if (!Shell("sox -n -r 44100 -c 2 -b 16 tone.wav synth 0.5 sine 440") ||
        !Shell("lame --quiet -b 128 tone.wav a.mp3") || !Shell("mpg123 -q -w ref.wav a.mp3"))
        return false;
    *mp3 = fixture::ReadFile("a.mp3");
    return fixture::ReadWave("ref.wav", ref) && !mp3->empty();
}

TEST_F(AcmTest, Mp3HoldsTheLastByteUntilTheDecoderIsEmpty)
{
    Wave ref;
    std::vector<uint8_t> mp3;
    ASSERT_TRUE(MakeHalfSecondMp3(&mp3, &ref));
    std::vector<uint8_t> sf = Mp3Format(2, 44100, 128, 417);
    WaveFormat pcm;
    AcmStream *s = OpenToPcm(sf, &pcm);
    // The whole file in one call into a destination too small for all of it.
    std::vector<uint8_t> dst(16384), out;
    uint32_t pos = 0;
    int calls = 0;
    for (; calls < 1000 && pos < mp3.size(); calls++) {
        AcmStreamHeader h = {};
        h.size = sizeof h;
        h.src = mp3.data() + pos;
        h.srcLength = (uint32_t)mp3.size() - pos;
        h.dst = dst.data();
        h.dstLength = (uint32_t)dst.size();
        AcmStreamPrepareHeader(s, &h, 0);
        ASSERT_EQ(AcmStreamConvert(s, &h, ACM_CONVERT_BLOCK_ALIGN), ACM_OK);
        AcmStreamUnprepareHeader(s, &h, 0);
        if (calls == 0) {
            EXPECT_EQ(h.srcLengthUsed, mp3.size() - 1);  // the last byte waits
        }
        out.insert(out.end(), dst.begin(), dst.begin() + h.dstLengthUsed);
        pos += h.srcLengthUsed;
    }
    EXPECT_EQ(pos, mp3.size());
    EXPECT_TRUE(out == ref.data);
    AcmStreamClose(s, 0);
}

TEST_F(AcmTest, Mp3FramesOfAnotherRateEndTheStreamAndStatedRatesBoundNothing)
{
    Wave ref;
    std::vector<uint8_t> mp3;
    ASSERT_TRUE(MakeHalfSecondMp3(&mp3, &ref));
    // 44.1 kHz frames in a stream opened for 48 kHz are refused, never resampled.
    WaveFormat pcm;
    AcmStream *s = OpenToPcm(Mp3Format(2, 48000, 128, 417), &pcm);
    std::vector<uint8_t> dst(pcm.avgBytesPerSec);
    AcmStreamHeader h = {};
    h.size = sizeof h;
    h.src = mp3.data();
    h.srcLength = 2048;
    h.dst = dst.data();
    h.dstLength = (uint32_t)dst.size();
    AcmStreamPrepareHeader(s, &h, 0);
    EXPECT_EQ(AcmStreamConvert(s, &h, ACM_CONVERT_BLOCK_ALIGN), ACM_ERR_NOT_POSSIBLE);
    EXPECT_EQ(h.dstLengthUsed, 0u);
    AcmStreamUnprepareHeader(s, &h, 0);
    AcmStreamClose(s, 0);
    // A stated rate of 1 byte per second: the estimate stays within what the densest frames give.
    std::vector<uint8_t> slow = Mp3Format(1, 8000, 0, 72);
    reinterpret_cast<WaveFormat *>(slow.data())->avgBytesPerSec = 1;
    s = OpenToPcm(slow, &pcm);
    uint32_t estimate = 0;
    ASSERT_EQ(AcmStreamSize(s, 2048, &estimate, ACM_SIZE_SOURCE), ACM_OK);
    EXPECT_LE(estimate, 2048u * 24 * 2 * 2);
    AcmStreamClose(s, 0);
}

TEST_F(AcmTest, StreamsKeepIndependentState)
{
    Wave ref;
    std::vector<uint8_t> mp3;
    ASSERT_TRUE(MakeHalfSecondMp3(&mp3, &ref));
    std::vector<uint8_t> sf = Mp3Format(2, 44100, 128, 417);
    WaveFormat pcm;
    AcmStream *main = OpenToPcm(sf, &pcm);
    AcmStream *spare = OpenToPcm(sf, &pcm);
    // Half of the file through the main stream, then all of it through the spare.
    std::vector<uint8_t> half(mp3.begin(), mp3.begin() + mp3.size() / 2);
    ConvertAll(main, half, 1, 235200);
    EXPECT_TRUE(ConvertAll(spare, mp3, 1, 235200) == ref.data);
    AcmStreamClose(main, 0);
    AcmStreamClose(spare, 0);
}

TEST_F(AcmTest, BlockAlignConvertsWholeBlocksWithinTheDestination)
{
    ASSERT_TRUE(Shell("sox -n -r 44100 -c 2 -b 16 tone.wav synth 0.5 sine 440"));
    ASSERT_TRUE(Shell("sox tone.wav -e ms-adpcm coded.wav"));
    Wave coded;
    ASSERT_TRUE(fixture::ReadWave("coded.wav", &coded));
    std::vector<uint8_t> sf = SourceFormat(coded);
    ASSERT_EQ(Fmt(sf)->blockAlign, 2048);
    WaveFormat pcm;
    AcmStream *s = OpenToPcm(sf, &pcm);
    std::vector<uint8_t> dst(10000);
    AcmStreamHeader h = {};
    h.size = sizeof h;
    h.src = coded.data.data();
    h.srcLength = 5000;
    h.dst = dst.data();
    h.dstLength = (uint32_t)dst.size();
    ASSERT_EQ(AcmStreamPrepareHeader(s, &h, 0), ACM_OK);
    ASSERT_EQ(AcmStreamConvert(s, &h, ACM_CONVERT_BLOCK_ALIGN), ACM_OK);
    EXPECT_EQ(h.srcLengthUsed, 2048u);       // 2 blocks given, room for one (2036 frames = 8144 bytes each)
    EXPECT_EQ(h.dstLengthUsed, 2036u * 4);
    h.dstLength = 8000;                       // less than one block's output: nothing
    ASSERT_EQ(AcmStreamConvert(s, &h, ACM_CONVERT_BLOCK_ALIGN), ACM_OK);
    EXPECT_EQ(h.srcLengthUsed, 0u);
    EXPECT_EQ(h.dstLengthUsed, 0u);
    AcmStreamUnprepareHeader(s, &h, 0);
    EXPECT_EQ(AcmStreamConvert(s, &h, 0), ACM_ERR_UNPREPARED);
    uint32_t need = 0;
    ASSERT_EQ(AcmStreamSize(s, 8145, &need, ACM_SIZE_DESTINATION), ACM_OK);
    EXPECT_EQ(need, 4096u);
    AcmStreamClose(s, 0);
    EXPECT_EQ(AcmStreamConvert(s, &h, 0), ACM_ERR_INVALID_HANDLE);  // stale handle
    EXPECT_EQ(AcmStreamClose(s, 0), ACM_ERR_INVALID_HANDLE);
}

TEST_F(AcmTest, SuggestionOpenAndMetricsRules)
{
    uint32_t metric = 0;
    ASSERT_EQ(AcmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &metric), ACM_OK);
    EXPECT_EQ(metric, 50u);
    std::vector<uint8_t> mp3 = Mp3Format(2, 44100, 128, 417);
    WaveFormat dst = {};
    EXPECT_EQ(AcmFormatSuggest(nullptr, Fmt(mp3), &dst, 15, ACM_SUGGEST_TAG), ACM_ERR_INVALID_PARAM);
    dst.formatTag = WAVE_TAG_MS_ADPCM;
    EXPECT_EQ(AcmFormatSuggest(nullptr, Fmt(mp3), &dst, 18, ACM_SUGGEST_TAG), ACM_ERR_NOT_POSSIBLE);
    dst = WaveFormat{WAVE_TAG_PCM, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(AcmFormatSuggest(nullptr, Fmt(mp3), &dst, 18, ACM_SUGGEST_TAG | ACM_SUGGEST_CHANNELS),
              ACM_ERR_NOT_POSSIBLE);
    ASSERT_EQ(AcmFormatSuggest(nullptr, Fmt(mp3), &dst, 18, ACM_SUGGEST_TAG), ACM_OK);
    WaveFormat want = {WAVE_TAG_PCM, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(memcmp(&dst, &want, 18), 0);
    // PCM, odd channel counts and unknown tags are not converted.
    WaveFormat pcm = want;
    EXPECT_EQ(AcmFormatSuggest(nullptr, &pcm, &dst, 18, 0), ACM_ERR_NOT_POSSIBLE);
    WaveFormat ulaw = {WAVE_TAG_MULAW, 3, 8000, 24000, 3, 8, 0};
    EXPECT_EQ(AcmFormatSuggest(nullptr, &ulaw, &dst, 18, 0), ACM_ERR_NOT_POSSIBLE);
    // Opening checks the destination; a query opens nothing.
    WaveFormat wrong = want;
    wrong.bitsPerSample = 8;
    AcmStream *s = nullptr;
    EXPECT_EQ(AcmStreamOpen(&s, nullptr, Fmt(mp3), &wrong, nullptr, 0, 0, 0), ACM_ERR_NOT_POSSIBLE);
    EXPECT_EQ(AcmStreamOpen(nullptr, nullptr, Fmt(mp3), &want, nullptr, 0, 0, ACM_OPEN_QUERY), ACM_OK);
    EXPECT_EQ(AcmTestOpenStreamCount(), openBefore);
    // A stated bit rate of 0 gives no size.
    std::vector<uint8_t> zero = Mp3Format(2, 44100, 0, 417);
    ASSERT_EQ(AcmStreamOpen(&s, nullptr, Fmt(zero), &want, nullptr, 0, 0, 0), ACM_OK);
    uint32_t size = 0;
    EXPECT_EQ(AcmStreamSize(s, 1000, &size, ACM_SIZE_SOURCE), ACM_ERR_NOT_POSSIBLE);
    AcmStreamClose(s, 0);
    // A broken MS ADPCM format (coefficients missing) is refused.
    WaveFormat ms = {WAVE_TAG_MS_ADPCM, 2, 44100, 44359, 2048, 4, 0};
    EXPECT_EQ(AcmFormatSuggest(nullptr, &ms, &dst, 18, 0), ACM_ERR_NOT_POSSIBLE);
}

TEST_F(AcmTest, FaultsFailTheChosenCall)
{
    std::vector<uint8_t> mp3 = Mp3Format(2, 44100, 128, 417);
    WaveFormat want = {WAVE_TAG_PCM, 2, 44100, 176400, 4, 16, 0}, dst = want;
    AcmTestFailNth(ACM_FAULT_SUGGEST, 1);
    EXPECT_NE(AcmFormatSuggest(nullptr, Fmt(mp3), &dst, 18, 0), ACM_OK);
    EXPECT_EQ(AcmFormatSuggest(nullptr, Fmt(mp3), &dst, 18, 0), ACM_OK);
    AcmTestFailNth(ACM_FAULT_OPEN, 2);
    AcmStream *a = nullptr, *b = nullptr;
    EXPECT_EQ(AcmStreamOpen(&a, nullptr, Fmt(mp3), &want, nullptr, 0, 0, 0), ACM_OK);
    EXPECT_NE(AcmStreamOpen(&b, nullptr, Fmt(mp3), &want, nullptr, 0, 0, 0), ACM_OK);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(AcmTestOpenStreamCount(), openBefore + 1);  // a alone: the refused open holds nothing
    AcmTestFailAlways(ACM_FAULT_SIZE, 1);
    uint32_t size;
    EXPECT_NE(AcmStreamSize(a, 1000, &size, ACM_SIZE_SOURCE), ACM_OK);
    AcmTestFailAlways(ACM_FAULT_METRICS, 1);
    EXPECT_NE(AcmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), ACM_OK);
    AcmStreamClose(a, 0);
}

// Hostile codec data decodes to clamped samples; nothing overflows (the sanitized build would stop).
TEST_F(AcmTest, HostileCodecDataDecodesWithoutOverflow)
{
    // MS ADPCM, mono, block 64: extreme coefficients and samples, then the code that triples the step.
    std::vector<uint8_t> sf(18 + 4 + 8, 0);
    WaveFormat head = {WAVE_TAG_MS_ADPCM, 1, 8000, 4000, 64, 4, 12};
    memcpy(sf.data(), &head, 18);
    uint8_t extra[12] = {0, 0, 2, 0, 0x00, 0x80, 0x00, 0x80, 0xFF, 0x7F, 0xFF, 0x7F};
    memcpy(sf.data() + 18, extra, sizeof extra);
    WaveFormat pcm;
    AcmStream *s = OpenToPcm(sf, &pcm);
    ASSERT_NE(s, nullptr);
    std::vector<uint8_t> block(64, 0x88);
    block[0] = 0;                       // predictor 0: both coefficients -32768
    block[1] = 0xFF, block[2] = 0x7F;   // step 32767
    block[3] = 0x00, block[4] = 0x80;   // samples -32768
    block[5] = 0x00, block[6] = 0x80;
    std::vector<uint8_t> out = ConvertAll(s, block, 64, 4096);
    EXPECT_EQ(out.size(), (size_t)((64 - 7) * 2 + 2) * 2);
    AcmStreamClose(s, 0);

    // Float PCM holding NaN and infinities: silence and the two ends.
    WaveFormat f = {3, 1, 8000, 32000, 4, 32, 0};
    std::vector<uint8_t> ff(18);
    memcpy(ff.data(), &f, 18);
    s = OpenToPcm(ff, &pcm);
    ASSERT_NE(s, nullptr);
    float samples[3] = {__builtin_nanf(""), __builtin_inff(), -__builtin_inff()};
    std::vector<uint8_t> src(sizeof samples);
    memcpy(src.data(), samples, sizeof samples);
    out = ConvertAll(s, src, 4, 64);
    ASSERT_EQ(out.size(), 6u);
    int16_t got[3];
    memcpy(got, out.data(), 6);
    EXPECT_EQ(got[0], 0);
    EXPECT_EQ(got[1], 32767);
    EXPECT_EQ(got[2], -32768);
    AcmStreamClose(s, 0);
}

}  // namespace
