// The sound-buffer stand-in on the manual output: exact cursors, wrapping locks, duplicates,
// volume, ends, conversion in the mixer, enumeration by module name, fault injection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <cstring>
#include <vector>

#include "platform/dsound/dsound.h"
#include "platform/dsound/mixer.h"
#include "platform/kernel/kernel.h"
#include "testsupport/test_hooks.h"

namespace {

WaveFormat Pcm(uint32_t rate, uint16_t channels, uint16_t bits)
{
    uint16_t align = (uint16_t)(channels * bits / 8);
    return WaveFormat{WAVE_TAG_PCM, channels, rate, rate * align, align, bits, 0};
}

class DsTest : public ::testing::Test {
protected:
    DsDevice *dev = nullptr;
    int liveBefore = 0;

    void SetUp() override
    {
        DsTestResetFaults();
        AudioTestSetAutoAdvance(0);
        ASSERT_EQ(AudioSelectBackend("manual"), 0);
        liveBefore = DsTestLiveBufferCount();
        ASSERT_EQ(DsCreateDevice(&dev), DS_OK);
        ASSERT_EQ(dev->fn->Initialize(dev, nullptr), DS_OK);
        ASSERT_EQ(dev->fn->SetCooperativeLevel(dev, 0, DS_COOP_PRIORITY), DS_OK);
        AudioTestClearCapture();
    }
    void TearDown() override
    {
        if (dev)
            dev->fn->Release(dev);
        EXPECT_EQ(DsTestLiveBufferCount(), liveBefore);
        EXPECT_EQ(AudioIsOutputOpen(), 0);
        DsTestResetFaults();
        WaveFormat def = Pcm(44100, 2, 16);
        AudioSetDeviceFormat(&def);
    }

    DsBuffer *Make(const WaveFormat &f, uint32_t bytes, uint32_t flags = 0x80E2)
    {
        WaveFormat fmt = f;
        DsBufferDesc d = {sizeof(DsBufferDesc), flags, bytes, 0, &fmt, {}};
        DsBuffer *b = nullptr;
        EXPECT_EQ(dev->fn->CreateSoundBuffer(dev, &d, &b, nullptr), DS_OK);
        return b;
    }
    void Fill(DsBuffer *b, const void *data, uint32_t bytes)
    {
        void *p1, *p2;
        uint32_t n1, n2;
        ASSERT_EQ(b->fn->Lock(b, 0, bytes, &p1, &n1, &p2, &n2, 0), DS_OK);
        memcpy(p1, data, n1);
        ASSERT_EQ(b->fn->Unlock(b, p1, n1, p2, n2), DS_OK);
    }
    std::vector<int16_t> Captured()
    {
        size_t n;
        const uint8_t *p = AudioTestCapture(&n);
        std::vector<int16_t> s(n / 2);
        memcpy(s.data(), p, n & ~(size_t)1);
        return s;
    }
    uint32_t Cursor(DsBuffer *b)
    {
        uint32_t play = 7;
        EXPECT_EQ(b->fn->GetCurrentPosition(b, &play, nullptr), DS_OK);
        return play;
    }
    int Playing(DsBuffer *b)
    {
        uint32_t s = 0;
        EXPECT_EQ(b->fn->GetStatus(b, &s), DS_OK);
        return (s & DS_STATUS_PLAYING) ? 1 : 0;
    }
};

TEST_F(DsTest, LockNearTheEndWrapsIntoTwoRegions)
{
    DsBuffer *b = Make(Pcm(44100, 2, 16), 4000);
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(b->fn->Lock(b, 3900, 400, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(n2, 300u);
    EXPECT_EQ((uint8_t *)p1 - (uint8_t *)p2, 3900);
    EXPECT_EQ(b->fn->Unlock(b, p1, n1, p2, n2), DS_OK);
    // A lock that does not wrap has no second part.
    ASSERT_EQ(b->fn->Lock(b, 0, 4000, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 4000u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);
    // Unlock checks the pair; a stale pair is refused.
    EXPECT_EQ(b->fn->Unlock(b, (uint8_t *)p1 + 4, n1, nullptr, 0), DS_ERR_INVALID_PARAM);
    EXPECT_EQ(b->fn->Unlock(b, p1, n1, nullptr, 0), DS_OK);
    EXPECT_EQ(b->fn->Unlock(b, p1, n1, nullptr, 0), DS_ERR_INVALID_PARAM);
    // Out of range.
    EXPECT_EQ(b->fn->Lock(b, 4000, 4, &p1, &n1, &p2, &n2, 0), DS_ERR_INVALID_PARAM);
    EXPECT_EQ(b->fn->Lock(b, 0, 4001, &p1, &n1, &p2, &n2, 0), DS_ERR_INVALID_PARAM);
    EXPECT_EQ(b->fn->Lock(b, 0, 0, &p1, &n1, &p2, &n2, 0), DS_ERR_INVALID_PARAM);
    EXPECT_EQ(b->fn->Lock(b, 3999, 2, &p1, &n1, nullptr, nullptr, 0), DS_ERR_INVALID_PARAM);
    ASSERT_EQ(b->fn->Lock(b, 12, 0, &p1, &n1, &p2, &n2, DS_LOCK_ENTIRE_BUFFER), DS_OK);
    EXPECT_EQ(n1 + n2, 4000u);
    b->fn->Release(b);
}

TEST_F(DsTest, CursorMovesExactlyWithSteppedFrames)
{
    DsBuffer *b = Make(Pcm(44100, 2, 16), 176400);
    ASSERT_EQ(b->fn->Play(b, 0, 0, 0), DS_OK);
    ASSERT_EQ(AudioTestStep(22050), 0);
    uint32_t play, write;
    ASSERT_EQ(b->fn->GetCurrentPosition(b, &play, &write), DS_OK);
    EXPECT_EQ(play, 88200u);
    EXPECT_EQ(write, 88200u + 661 * 4);  // 15 ms ahead while playing
    // Stop keeps the cursor; play resumes from it.
    b->fn->Stop(b);
    AudioTestStep(1000);
    EXPECT_EQ(Cursor(b), 88200u);
    b->fn->Play(b, 0, 0, 0);
    AudioTestStep(1000);
    EXPECT_EQ(Cursor(b), 92200u);
    // A new position takes effect at once, rounded down to the block.
    EXPECT_EQ(b->fn->SetCurrentPosition(b, 1003), DS_OK);
    EXPECT_EQ(Cursor(b), 1000u);
    EXPECT_EQ(b->fn->SetCurrentPosition(b, 176400), DS_ERR_INVALID_PARAM);
    b->fn->Release(b);
}

TEST_F(DsTest, NonLoopingBufferStopsAtItsEndAndRewinds)
{
    std::vector<int16_t> data(2000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (int16_t)(i * 7 - 3000);
    DsBuffer *b = Make(Pcm(44100, 2, 16), 4000);
    Fill(b, data.data(), 4000);
    b->fn->Play(b, 0, 0, 0);
    EXPECT_EQ(Playing(b), 1);
    AudioTestStep(1500);
    EXPECT_EQ(Playing(b), 0);
    EXPECT_EQ(Cursor(b), 0u);
    std::vector<int16_t> out = Captured();
    ASSERT_EQ(out.size(), 3000u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));  // byte for byte at 0 dB
    EXPECT_TRUE(std::all_of(out.begin() + 2000, out.end(), [](int16_t s) { return s == 0; }));
    // Looping wraps instead.
    b->fn->Play(b, 0, 0, DS_PLAY_LOOPING);
    AudioTestStep(1500);
    uint32_t s;
    b->fn->GetStatus(b, &s);
    EXPECT_EQ(s, (uint32_t)(DS_STATUS_PLAYING | DS_STATUS_LOOPING));
    EXPECT_EQ(Cursor(b), 2000u);
    b->fn->Release(b);
}

TEST_F(DsTest, DuplicatesShareMemoryAndPlayIndependently)
{
    DsBuffer *a = Make(Pcm(44100, 1, 16), 2000);
    DsBuffer *dup = nullptr;
    ASSERT_EQ(dev->fn->DuplicateSoundBuffer(dev, a, &dup), DS_OK);
    DsBufferInfo ia, id;
    DsTestInspect(a, &ia);
    DsTestInspect(dup, &id);
    EXPECT_EQ(ia.memoryId, id.memoryId);
    EXPECT_EQ(id.flags, 0x80E2u);
    std::vector<int16_t> data(1000, 1234);
    Fill(a, data.data(), 2000);  // written through the original, heard through the duplicate
    a->fn->SetCurrentPosition(a, 600);
    dup->fn->Play(dup, 0, 0, 0);
    AudioTestStep(100);
    EXPECT_EQ(Cursor(dup), 200u);
    EXPECT_EQ(Cursor(a), 600u);
    EXPECT_EQ(Playing(a), 0);
    EXPECT_EQ(Captured()[0], 1234);
    // The memory outlives the original.
    a->fn->Release(a);
    AudioTestClearCapture();
    AudioTestStep(10);
    EXPECT_EQ(Captured()[0], 1234);
    DsBuffer *prim = nullptr, *bad = nullptr;
    DsBufferDesc pd = {sizeof(DsBufferDesc), DS_BUF_PRIMARY, 0, 0, nullptr, {}};
    ASSERT_EQ(dev->fn->CreateSoundBuffer(dev, &pd, &prim, nullptr), DS_OK);
    EXPECT_EQ(dev->fn->DuplicateSoundBuffer(dev, prim, &bad), DS_ERR_INVALID_CALL);
    prim->fn->Release(prim);
    dup->fn->Release(dup);
}

TEST_F(DsTest, VolumeIsAttenuationInHundredthsOfADecibel)
{
    std::vector<int16_t> data(2000, 16000);
    DsBuffer *b = Make(Pcm(44100, 2, 16), 4000);
    Fill(b, data.data(), 4000);
    ASSERT_EQ(b->fn->SetVolume(b, -600), DS_OK);
    b->fn->Play(b, 0, 0, DS_PLAY_LOOPING);
    AudioTestStep(100);
    EXPECT_NEAR(Captured()[0], 16000 * 0.501187, 1.0);
    int32_t v = 0;
    b->fn->GetVolume(b, &v);
    EXPECT_EQ(v, -600);
    b->fn->SetVolume(b, -10000);
    AudioTestClearCapture();
    AudioTestStep(100);
    EXPECT_EQ(Captured()[5], 0);
    EXPECT_EQ(b->fn->SetVolume(b, 1), DS_ERR_INVALID_PARAM);
    EXPECT_EQ(b->fn->SetVolume(b, -10001), DS_ERR_INVALID_PARAM);
    DsBuffer *plain = Make(Pcm(44100, 2, 16), 400, DS_BUF_STATIC);
    EXPECT_EQ(plain->fn->SetVolume(plain, -100), DS_ERR_CONTROL_UNAVAIL);
    plain->fn->Release(plain);
    b->fn->Release(b);
}

TEST_F(DsTest, MixerConvertsRateDepthAndChannelsAndClamps)
{
    // 8-bit mono at half the device rate: every source frame is heard twice (interpolated between).
    uint8_t bytes[4] = {128 + 10, 128 + 20, 128 - 30, 128};
    DsBuffer *b = Make(Pcm(22050, 1, 8), 4);
    Fill(b, bytes, 4);
    b->fn->Play(b, 0, 0, 0);
    AudioTestStep(8);
    std::vector<int16_t> out = Captured();
    const int16_t want[] = {2560, 2560, 3840, 3840, 5120, 5120, -1280, -1280,
                            -7680, -7680, -3840, -3840, 0, 0, 0, 0};
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(out[i], want[i]) << i;
    EXPECT_EQ(Playing(b), 0);
    // Two loud buffers clamp instead of wrapping.
    std::vector<int16_t> loud(200, 30000);
    DsBuffer *x = Make(Pcm(44100, 2, 16), 400), *y = Make(Pcm(44100, 2, 16), 400);
    Fill(x, loud.data(), 400);
    Fill(y, loud.data(), 400);
    x->fn->Play(x, 0, 0, 0);
    y->fn->Play(y, 0, 0, 0);
    AudioTestClearCapture();
    AudioTestStep(4);
    EXPECT_EQ(Captured()[0], 32767);
    x->fn->Release(x);
    y->fn->Release(y);
    b->fn->Release(b);
}

TEST_F(DsTest, PrimaryFormatSetsTheDeviceFormat)
{
    DsBuffer *prim = nullptr;
    DsBufferDesc pd = {sizeof(DsBufferDesc), DS_BUF_PRIMARY, 0, 0, nullptr, {}};
    ASSERT_EQ(dev->fn->CreateSoundBuffer(dev, &pd, &prim, nullptr), DS_OK);
    WaveFormat mono8 = Pcm(22050, 1, 8);
    ASSERT_EQ(prim->fn->SetFormat(prim, &mono8), DS_OK);
    WaveFormat f;
    AudioGetDeviceFormat(&f);
    EXPECT_EQ(f.samplesPerSec, 22050u);
    EXPECT_EQ(f.blockAlign, 1);
    DsBuffer *b = Make(Pcm(22050, 2, 16), 400);
    std::vector<int16_t> data(200, 0x1000);
    data[0] = 0x2000;
    data[1] = 0;
    Fill(b, data.data(), 400);
    b->fn->Play(b, 0, 0, 0);
    AudioTestClearCapture();
    AudioTestStep(2);
    size_t n;
    const uint8_t *p = AudioTestCapture(&n);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(p[0], 128 + 0x10);  // (0x2000 + 0) / 2 >> 8
    EXPECT_EQ(p[1], 128 + 0x10);
    WaveFormat bad = Pcm(22050, 2, 24);
    EXPECT_EQ(prim->fn->SetFormat(prim, &bad), DS_ERR_INVALID_PARAM);
    EXPECT_EQ(b->fn->SetFormat(b, &mono8), DS_ERR_INVALID_CALL);
    b->fn->Release(b);
    prim->fn->Release(prim);
}

TEST_F(DsTest, SecondaryBuffersAreValidatedAndStartSilent)
{
    DsBuffer *b = nullptr;
    WaveFormat bad[] = {Pcm(44100, 2, 24), Pcm(44100, 3, 16), Pcm(99, 1, 8), Pcm(100001, 1, 8),
                        Pcm(192000, 2, 16)};
    for (WaveFormat &f : bad) {
        DsBufferDesc d = {sizeof(DsBufferDesc), 0x80E2, 400, 0, &f, {}};
        EXPECT_EQ(dev->fn->CreateSoundBuffer(dev, &d, &b, nullptr), DS_ERR_INVALID_PARAM);
        EXPECT_EQ(b, nullptr);
    }
    WaveFormat f = Pcm(44100, 2, 16);
    f.blockAlign = 0;
    DsBufferDesc d = {sizeof(DsBufferDesc), 0x80E2, 400, 0, &f, {}};
    EXPECT_EQ(dev->fn->CreateSoundBuffer(dev, &d, &b, nullptr), DS_ERR_INVALID_PARAM);
    f = Pcm(8000, 1, 8);
    d.bufferBytes = 3;
    EXPECT_EQ(dev->fn->CreateSoundBuffer(dev, &d, &b, nullptr), DS_ERR_INVALID_PARAM);
    d.bufferBytes = 8;
    d.size = 36;
    EXPECT_EQ(dev->fn->CreateSoundBuffer(dev, &d, &b, nullptr), DS_ERR_INVALID_PARAM);
    d.size = sizeof(DsBufferDesc);
    ASSERT_EQ(dev->fn->CreateSoundBuffer(dev, &d, &b, nullptr), DS_OK);
    void *p1, *p2;
    uint32_t n1, n2;
    b->fn->Lock(b, 0, 8, &p1, &n1, &p2, &n2, 0);
    EXPECT_EQ(((uint8_t *)p1)[7], 0x80);  // 8-bit silence
    b->fn->Unlock(b, p1, n1, p2, n2);
    b->fn->Release(b);
    DsCaps caps = {};
    EXPECT_EQ(dev->fn->GetCaps(dev, &caps), DS_ERR_INVALID_PARAM);
    caps.size = sizeof caps;
    ASSERT_EQ(dev->fn->GetCaps(dev, &caps), DS_OK);
    EXPECT_EQ(caps.maxSecondaryRate, 100000u);
    EXPECT_TRUE(caps.flags & DS_CAPS_PRIMARY_16BIT);
}

TEST_F(DsTest, FaultsFailTheChosenCall)
{
    DsBuffer *a = Make(Pcm(44100, 2, 16), 400);
    DsBuffer *dups[3] = {};
    DsTestFailNth(DS_FAULT_DUPLICATE, 2);
    EXPECT_EQ(dev->fn->DuplicateSoundBuffer(dev, a, &dups[0]), DS_OK);
    EXPECT_LT(dev->fn->DuplicateSoundBuffer(dev, a, &dups[1]), 0);
    EXPECT_EQ(dups[1], nullptr);
    EXPECT_EQ(dev->fn->DuplicateSoundBuffer(dev, a, &dups[2]), DS_OK);
    // Refused flags fail; other flags still work.
    DsTestRefuseBufferFlags(0x80E2);
    WaveFormat f = Pcm(44100, 2, 16);
    DsBufferDesc d = {sizeof(DsBufferDesc), 0x80E2, 400, 0, &f, {}};
    DsBuffer *b = nullptr;
    EXPECT_LT(dev->fn->CreateSoundBuffer(dev, &d, &b, nullptr), 0);
    d.flags = 0xC2;
    ASSERT_EQ(dev->fn->CreateSoundBuffer(dev, &d, &b, nullptr), DS_OK);
    DsBufferInfo info;
    DsTestInspect(b, &info);
    EXPECT_EQ(info.flags, 0xC2u);
    DsTestFailAlways(DS_FAULT_GET_STATUS, 1);
    uint32_t s;
    EXPECT_LT(b->fn->GetStatus(b, &s), 0);
    DsTestFailNth(DS_FAULT_LOCK, 1);
    void *p1, *p2;
    uint32_t n1, n2;
    EXPECT_LT(b->fn->Lock(b, 0, 4, &p1, &n1, &p2, &n2, 0), 0);
    EXPECT_EQ(DsTestLiveBufferCount(), liveBefore + 4);
    for (DsBuffer *x : {a, dups[0], dups[2], b})
        x->fn->Release(x);
}

TEST_F(DsTest, StatusQueriesCanAdvanceTheManualOutput)
{
    DsBuffer *b = Make(Pcm(44100, 2, 16), 4000);
    b->fn->Play(b, 0, 0, 0);
    AudioTestSetAutoAdvance(100);
    int polls = 0;
    while (Playing(b) && polls < 100)
        polls++;
    EXPECT_EQ(polls, 9);  // 1000 frames in steps of 100: the tenth query sees the end
    AudioTestSetAutoAdvance(0);
    b->fn->Release(b);
}

int CountDevices(const DsGuid *guid, const char *desc, const char *module, void *ctx)
{
    auto *seen = (std::vector<std::string> *)ctx;
    seen->push_back(std::string(guid ? "guid" : "null") + "|" + desc + "|" + module);
    return 1;
}

TEST_F(DsTest, EnumerationIsReachedThroughTheModuleName)
{
    KModule m = KLoadLibrary("dsound.dll");
    ASSERT_NE(m, 0);
    typedef int32_t (*EnumFn)(DsEnumCallback, void *);
    EnumFn fn = (EnumFn)KGetProcAddress(m, "DirectSoundEnumerateA");
    ASSERT_NE(fn, nullptr);
    std::vector<std::string> seen;
    EXPECT_EQ(fn(CountDevices, &seen), DS_OK);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "null|Primary Sound Driver|");
    EXPECT_EQ(seen[1], "guid|Manual Audio Output|manual");
    KFreeLibrary(m);
    // The report's failure paths: the export missing, then the module itself.
    DsTestSetModuleMode(DS_MODULE_NO_ENUMERATE);
    m = KLoadLibrary("DSOUND.DLL");
    ASSERT_NE(m, 0);
    EXPECT_EQ(KGetProcAddress(m, "DirectSoundEnumerateA"), nullptr);
    KFreeLibrary(m);
    DsTestSetModuleMode(DS_MODULE_MISSING);
    EXPECT_EQ(KLoadLibrary("DSOUND.DLL"), 0);
    DsTestSetModuleMode(DS_MODULE_NORMAL);
    m = KLoadLibrary("DSOUND.DLL");
    EXPECT_NE(KGetProcAddress(m, "DirectSoundEnumerateA"), nullptr);
    KFreeLibrary(m);
}

TEST(DsOutput, SdlOutputOrItsFallbackMovesCursorsInRealTime)
{
    // SDL_AUDIODRIVER=dummy in tests: the default back end opens and plays in real time.
    AudioSelectBackend(nullptr);
    DsDevice *dev = nullptr;
    ASSERT_EQ(DsCreateDevice(&dev), DS_OK);
    ASSERT_EQ(dev->fn->Initialize(dev, nullptr), DS_OK);
    EXPECT_TRUE(strcmp(AudioGetBackendName(), "sdl2") == 0 || strcmp(AudioGetBackendName(), "null") == 0);
    WaveFormat f = Pcm(44100, 2, 16);
    DsBufferDesc d = {sizeof(DsBufferDesc), 0x80E2, 176400, 0, &f, {}};
    DsBuffer *b = nullptr;
    ASSERT_EQ(dev->fn->CreateSoundBuffer(dev, &d, &b, nullptr), DS_OK);
    b->fn->Play(b, 0, 0, DS_PLAY_LOOPING);
    uint32_t play = 0;
    for (int i = 0; i < 500 && play == 0; i++) {
        KSleep(10);
        b->fn->GetCurrentPosition(b, &play, nullptr);
    }
    EXPECT_GT(play, 0u);
    b->fn->Release(b);
    dev->fn->Release(dev);
    EXPECT_EQ(AudioIsOutputOpen(), 0);
}

}  // namespace

namespace {

TEST(DsOutput, NoAudioDeviceFallsBackToTheNullOutput)
{
    // As on machines without a sound card: SDL cannot open, yet start-up succeeds and time moves.
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    AudioSelectBackend(nullptr);
    DsDevice *dev = nullptr;
    ASSERT_EQ(DsCreateDevice(&dev), DS_OK);
    ASSERT_EQ(dev->fn->Initialize(dev, nullptr), DS_OK);
    EXPECT_STREQ(AudioGetBackendName(), "null");
    EXPECT_EQ(dev->fn->Initialize(dev, nullptr), DS_ERR_ALLOCATED);
    dev->fn->Release(dev);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST(DsOutput, BuffersAreSafeFromManyThreadsWhileTheOutputMixes)
{
    AudioSelectBackend("null");
    DsDevice *dev = nullptr;
    ASSERT_EQ(DsCreateDevice(&dev), DS_OK);
    ASSERT_EQ(dev->fn->Initialize(dev, nullptr), DS_OK);
    WaveFormat f = {WAVE_TAG_PCM, 2, 22050, 88200, 4, 16, 0};
    DsBufferDesc d = {sizeof(DsBufferDesc), 0x80E2, 8820, 0, &f, {}};
    DsBuffer *base = nullptr;
    ASSERT_EQ(dev->fn->CreateSoundBuffer(dev, &d, &base, nullptr), DS_OK);
    int before = DsTestLiveBufferCount();
    auto worker = [&](int seed) {
        for (int i = 0; i < 300; i++) {
            DsBuffer *b = nullptr;
            if (dev->fn->DuplicateSoundBuffer(dev, base, &b) != DS_OK)
                continue;
            b->fn->SetCurrentPosition(b, (uint32_t)((i * 4 * seed) % 8820) & ~3u);
            b->fn->Play(b, 0, 0, (i & 1) ? (uint32_t)DS_PLAY_LOOPING : 0u);
            void *p1, *p2;
            uint32_t n1, n2;
            if (base->fn->Lock(base, (uint32_t)(i * 40) % 8820, 400, &p1, &n1, &p2, &n2, 0) == DS_OK) {
                memset(p1, i, n1);
                if (p2)
                    memset(p2, i, n2);
                base->fn->Unlock(base, p1, n1, p2, n2);
            }
            uint32_t s;
            b->fn->GetStatus(b, &s);
            b->fn->SetVolume(b, -(i % 10000));
            b->fn->Stop(b);
            b->fn->Release(b);
        }
    };
    std::thread a(worker, 3), b(worker, 7);
    a.join();
    b.join();
    EXPECT_EQ(DsTestLiveBufferCount(), before);
    base->fn->Release(base);
    dev->fn->Release(dev);
}

}  // namespace
