// Damaged sound files against the sound module: each round damages a good file image (cut short,
// bits flipped, a size field made hostile) and loads it as a static sound, plays and deletes it,
// then decodes it with seeks. Nothing may crash, hang, leak or end the process. Shared by the
// test suite (a short run) and the sound_fuzz tool (a long one).
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lib/core/memory.h"
#include "lib/file/stream.h"
#include "lib/sound/sound_internal.h"
#include "lib/sound/stream_sound.h"
#include "platform/dsound/mixer.h"
#include "testsupport/test_hooks.h"

namespace soundfuzz {

struct FuzzStats {
    int rounds = 0;
    int loaded = 0;       // rounds whose image still loaded as a sound
    int leaks = 0;        // rounds after which blocks, buffers or converter streams were left
};

// The good files every run damages, made in the current directory by sox, lame and oggenc with fixed
// seeds, so that every run starts from the same bytes. The names of those made (a missing tool skips
// its files).
inline std::vector<std::string> MakeDamageInputs()
{
    static const char *const kCommands[][2] = {
        {"p16.wav", "sox -R -n -r 22050 -c 2 -b 16 p16.wav synth 0.1 sine 440 vol 0.6"},
        {"p8.wav", "sox -R -n -r 11025 -c 1 -b 8 -e unsigned p8.wav synth 0.1 sine 440 vol 0.6"},
        {"ms.wav", "sox -R p16.wav -e ms-adpcm ms.wav"},
        {"ima.wav", "sox -R p16.wav -e ima-adpcm ima.wav"},
        {"alaw.wav", "sox -R p16.wav -e a-law alaw.wav"},
        {"tag.mp3", "lame --quiet -b 64 --add-id3v2 --tt T p16.wav tag.mp3"},
        {"vbr.mp3", "lame --quiet -V4 p16.wav vbr.mp3"},
        {"t.ogg", "oggenc -Q --serial 1 p16.wav -o t.ogg"},
    };
    std::vector<std::string> made;
    for (auto &c : kCommands) {
        std::string quiet = std::string(c[1]) + " >/dev/null 2>&1";
        if (system(quiet.c_str()) == 0)
            made.push_back(c[0]);
    }
    return made;
}

// A small deterministic generator (xorshift64*).
inline uint64_t NextRandom(uint64_t *state)
{
    uint64_t x = *state;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    *state = x;
    return x * 0x2545F4914F6CDD1Dull;
}

// One damaged copy of image.
inline std::vector<uint8_t> Damage(const std::vector<uint8_t> &image, uint64_t *rng)
{
    std::vector<uint8_t> out = image;
    if (out.empty())
        return out;
    switch (NextRandom(rng) % 4) {
    case 0:  // cut short
        out.resize(NextRandom(rng) % out.size());
        break;
    case 1: {  // a few bits flipped, mostly in the headers
        int flips = 1 + (int)(NextRandom(rng) % 8);
        for (int i = 0; i < flips; i++) {
            size_t span = (NextRandom(rng) & 1) ? (out.size() < 128 ? out.size() : 128) : out.size();
            out[NextRandom(rng) % span] ^= (uint8_t)(1u << (NextRandom(rng) % 8));
        }
        break;
    }
    case 2: {  // a 32-bit or 16-bit field replaced by an edge value
        static const uint32_t edges[] = {0, 1, 2, 3, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFF, 0x10000, 2048, 4096};
        size_t span = out.size() < 96 ? out.size() : 96;
        size_t at = NextRandom(rng) % span;
        uint32_t v = edges[NextRandom(rng) % (sizeof edges / sizeof edges[0])];
        size_t n = (NextRandom(rng) & 1) ? 4 : 2;
        for (size_t i = 0; i < n && at + i < out.size(); i++)
            out[at + i] = (uint8_t)(v >> (8 * i));
        break;
    }
    default: {  // random bytes over a stretch
        size_t at = NextRandom(rng) % out.size();
        size_t n = 1 + NextRandom(rng) % 64;
        for (size_t i = 0; i < n && at + i < out.size(); i++)
            out[at + i] = (uint8_t)NextRandom(rng);
        break;
    }
    }
    return out;
}

// Decodes with reads and seeks in a fixed pattern.
inline void DecodeAround(const std::vector<uint8_t> &image, uint64_t *rng)
{
    MemoryStream *memory = OpenMemoryStream(image.data(), image.size());
    if (!memory)
        return;
    StreamRecord stream = {*GetMemoryStreamFunctions(), (intptr_t)memory};
    SoundDecoderRecord *d = new SoundDecoderRecord();
    if (SetupSoundDecoder(&stream, d) == 0) {
        static uint8_t sink[65536];
        GetSoundDecoderPcmSize(d);
        for (int i = 0; i < 6; i++) {
            ReadSoundDecoder(d, sink, (int)(NextRandom(rng) % sizeof sink));
            SeekSoundDecoder(d, (int)(NextRandom(rng) % 200000) - 100);
        }
        WaveFormat f;
        uint8_t *pcm = nullptr;
        uint32_t size = 0;
        if (DecodeWholeSound(d, &f, &pcm, &size) == 0)
            FreeMemoryTracked(pcm);
        CloseSoundDecoder(d);
    }
    delete d;
    CloseMemoryStream(memory);
}

// Loads one image as a static sound of two buffers, plays a little of it and deletes it. 1 when it
// loaded.
inline int PlayStaticImage(const std::vector<uint8_t> &image)
{
    int h = CreateSoundFromMemoryImage(image.data(), (uint32_t)image.size(), 2, -1);
    if (h == -1)
        return 0;
    PlaySoundByHandle(h, 1, 1);
    AudioTestStep(512);
    AudioTestClearCapture();
    GetSoundPlayPositionMs(h);
    DeleteSoundByHandle(h, 0);
    return 1;
}

// Streams one image (encoded in memory or decoded whole first, the source looping or not, the play
// looping or not) through the ring for a while, stops and resumes it, and deletes it; check, when
// given, sees the handle after every refill. 1 when the image was taken.
inline int StreamImage(const std::vector<uint8_t> &image, uint64_t *rng, void (*check)(int handle))
{
    int h = AddSoundData(-1);
    int kind = (NextRandom(rng) & 1) ? STREAM_SOURCE_IMAGE : STREAM_SOURCE_DECODED;
    int loops = (NextRandom(rng) & 1) ? STREAM_LOOP_ENDLESS : 1;
    int taken = AppendStreamSourceMemory(image.data(), (uint32_t)image.size(), loops, h, kind, -1) == 0;
    if (taken) {
        PlaySoundByHandle(h, (NextRandom(rng) & 1) ? SOUND_PLAY_LOOP : SOUND_PLAY_BACK, 1);
        for (int i = 0; i < 12; i++) {
            AudioTestStep(AUDIO_MIX_SLICE_FRAMES * 4);
            RefillAllStreamSounds();
            if (check)
                check(h);
        }
        StopSoundByHandle(h);
        PlaySoundByHandle(h, SOUND_PLAY_BACK, 0);
        RefillAllStreamSounds();
    }
    AudioTestClearCapture();
    DeleteSoundByHandle(h, 0);
    return taken;
}

// Runs rounds of damage on one image. The module must be started on the manual output.
inline void FuzzSoundImage(const std::vector<uint8_t> &image, uint64_t seed, int rounds, FuzzStats *stats)
{
    uint64_t rng = seed | 1;
    for (int r = 0; r < rounds; r++) {
        std::vector<uint8_t> bad = Damage(image, &rng);
        int blocks = GetTrackedBlockCount(), buffers = DsTestLiveBufferCount(), streams = AcmTestOpenStreamCount();
        stats->loaded += PlayStaticImage(bad);
        DecodeAround(bad, &rng);
        if (GetTrackedBlockCount() != blocks || DsTestLiveBufferCount() != buffers ||
            AcmTestOpenStreamCount() != streams)
            stats->leaks++;
        stats->rounds++;
    }
}

}  // namespace soundfuzz
