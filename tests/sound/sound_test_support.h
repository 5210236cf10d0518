// Shared helpers of the sound module's tests: fixtures made at run time by outside tools (sox, lame,
// mpg123, oggenc, oggdec), decoders over memory images, the module started on the manual output,
// and the log read back.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/file/stream.h"
#include "lib/sound/sound_internal.h"
#include "platform/dsound/mixer.h"
#include "tests/platform/acm/fixture_tools.h"
#include "tests/support/stepped_clock.h"
#include "testsupport/test_hooks.h"

namespace soundtest {

using fixture::ReadFile;
using fixture::Shell;

// Skips the test when an outside tool is missing.
#define REQUIRE_TOOLS(...)                                                   \
    for (const char *tool_ : {__VA_ARGS__}) {                                \
        if (!fixture::HaveTool(tool_))                                       \
            GTEST_SKIP() << tool_ << " is not installed";                    \
    }

// A sine tone made by sox: rate, channels, bits, seconds.
inline bool MakeTone(const std::string &path, int rate, int channels, int bits, double seconds)
{
    char cmd[256];
    snprintf(cmd, sizeof cmd, "sox -R -n -r %d -c %d -b %d -e %s '%s' synth %.3f sine 440 vol 0.6", rate, channels,
             bits, bits == 8 ? "unsigned" : "signed", path.c_str(), seconds);
    return Shell(cmd);
}

// The data chunk of a WAVE file (empty when it is none).
inline std::vector<uint8_t> WaveData(const std::string &path)
{
    fixture::Wave w;
    return fixture::ReadWave(path, &w) ? w.data : std::vector<uint8_t>();
}

// A decoder over a copy of a file image in memory, closed and freed on destruction.
struct MemoryDecoder {
    std::vector<uint8_t> image;
    MemoryStream *memory = nullptr;
    StreamRecord stream{};
    SoundDecoderRecord decoder{};
    int setup = -1;

    explicit MemoryDecoder(const std::vector<uint8_t> &bytes) : image(bytes)
    {
        memory = OpenMemoryStream(image.data(), image.size());
        stream = {*GetMemoryStreamFunctions(), (intptr_t)memory};
        setup = SetupSoundDecoder(&stream, &decoder);
    }
    ~MemoryDecoder()
    {
        if (decoder.ready)
            CloseSoundDecoder(&decoder);
        CloseMemoryStream(memory);
    }
    // Everything the whole decode gives.
    std::vector<uint8_t> Whole()
    {
        WaveFormat f;
        uint8_t *data = nullptr;
        uint32_t size = 0;
        std::vector<uint8_t> out;
        if (DecodeWholeSound(&decoder, &f, &data, &size) == 0)
            out.assign(data, data + size);
        FreeMemoryTracked(data);
        return out;
    }
};

inline std::unique_ptr<MemoryDecoder> DecodeFile(const std::string &path)
{
    return std::make_unique<MemoryDecoder>(ReadFile(path));
}

inline WaveFormat Pcm(uint32_t rate, uint16_t channels, uint16_t bits)
{
    uint16_t align = (uint16_t)(channels * bits / 8);
    return WaveFormat{WAVE_TAG_PCM, channels, rate, rate * align, align, bits, 0};
}

// A PCM WAVE file image of the given samples.
inline std::vector<uint8_t> WaveImage(const WaveFormat &f, const std::vector<uint8_t> &pcm)
{
    uint8_t *image = nullptr;
    uint32_t size = 0;
    std::vector<uint8_t> out;
    if (MakeWaveFileImage(&image, &size, &f, 18, pcm.data(), (uint32_t)pcm.size()) == 0)
        out.assign(image, image + size);
    FreeMemoryTracked(image);
    return out;
}

// A ramp of 16-bit samples that tells every frame apart.
inline std::vector<uint8_t> RampPcm(size_t frames, int channels)
{
    std::vector<uint8_t> pcm(frames * channels * 2);
    for (size_t i = 0; i < frames * channels; i++) {
        int16_t v = (int16_t)((i * 37) % 20000 - 10000);
        memcpy(&pcm[i * 2], &v, 2);
    }
    return pcm;
}

// The log with the "<ms>:" stamp at the start of each line taken away.
inline std::string ReadLogWithoutStamps(const std::string &path = "Log.txt")
{
    std::vector<uint8_t> raw = ReadFile(path);
    std::string out;
    bool lineStart = true;
    for (size_t i = 0; i < raw.size(); i++) {
        if (lineStart) {
            size_t j = i;
            while (j < raw.size() && raw[j] >= '0' && raw[j] <= '9')
                j++;
            if (j > i && j < raw.size() && raw[j] == ':')
                i = j + 1;
            lineStart = false;
            if (i >= raw.size())
                break;
        }
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        out += (char)raw[i];
        if (raw[i] == '\n')
            lineStart = true;
    }
    return out;
}

// The sound module started on the manual output in a fresh directory with its own log; ended and
// every fault cleared afterwards.
class StartedSound : public ::testing::Test {
protected:
    fixture::TempDir dir;
    int liveBefore = 0;
    bool keepStopped = false;

    void SetUp() override
    {
        DsTestResetFaults();
        AcmTestResetFaults();
        AudioTestSetAutoAdvance(0);
        ASSERT_EQ(AudioSelectBackend("manual"), 0);
        InstallSteppedClock(1000000);
        ASSERT_EQ(OpenLogFile(dir.path.c_str()), 0);
        liveBefore = DsTestLiveBufferCount();
        if (!keepStopped) {
            ASSERT_EQ(StartupSoundSystem(), 0);
        }
        AudioTestClearCapture();
    }
    void TearDown() override
    {
        ShutdownSoundSystem();
        EXPECT_EQ(DsTestLiveBufferCount(), liveBefore);
        EXPECT_EQ(SoundHandleTable.usedCount, 0);
        DsTestResetFaults();
        AcmTestResetFaults();
        AudioTestSetAutoAdvance(0);
        CloseLogFile();
        RemoveSteppedClock();
        WaveFormat def = Pcm(44100, 2, 16);
        AudioSetDeviceFormat(&def);
    }
    DsBufferInfo Inspect(int handle, int buffer)
    {
        DsBufferInfo info{};
        SoundHandleRecord *r = LookupSoundRecord(handle);
        EXPECT_NE(r, nullptr);
        if (r && r->buffers[buffer].valid)
            DsTestInspect(r->buffers[buffer].buffer, &info);
        return info;
    }
    std::string Log() { return ReadLogWithoutStamps(dir.path + "/Log.txt"); }
    // A static sound of the given PCM in a new handle (or -1).
    int MakeStatic(const WaveFormat &f, const std::vector<uint8_t> &pcm, int buffers)
    {
        std::vector<uint8_t> image = WaveImage(f, pcm);
        return CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), buffers, -1);
    }
};

}  // namespace soundtest
