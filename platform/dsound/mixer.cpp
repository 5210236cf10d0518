// The process mixer: sums every playing buffer and the synthesiser into the device format and
// drives the chosen output back end.
#include "platform/dsound/mixer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/dsound/audio_internal.h"

// ================================================================================================
// State
// ================================================================================================

static std::recursive_mutex gAudioMutex;

// Back ends in order of preference; the headless ones are only taken by name.
static const AudioBackend *const kAudioBackends[] = {&kAudioBackendSdl, &kAudioBackendNull,
                                                     &kAudioBackendManual, nullptr};

static struct {
    WaveFormat deviceFormat;          // what the output plays (written under the lock)
    const AudioBackend *open;         // open back end, or null
    char requested[16];               // AudioSelectBackend's choice, or "" for DAZAR_AUDIO
    AudioSynthHook synth;             // render null when there is none
    AudioFeeder feeders[AUDIO_MAX_FEEDERS]; // feed null in a free slot
} gMixer = {{WAVE_TAG_PCM, 2, 44100, 176400, 4, 16, 0}, nullptr, "", {}, {}};

void AudioLock(void) { gAudioMutex.lock(); }
void AudioUnlock(void) { gAudioMutex.unlock(); }

// ================================================================================================
// Mixing
// ================================================================================================

// One sample of channel ch (0/1) at frame index idx of a buffer, as signed 16-bit.
static inline int32_t ReadSample(const DsBufferRecord *b, uint32_t idx, int ch)
{
    const WaveFormat &f = b->format;
    if (f.channels == 1)
        ch = 0;
    const uint8_t *p = b->memory->bytes + (size_t)idx * f.blockAlign;
    if (f.bitsPerSample == 8)
        return ((int32_t)p[ch] - 128) << 8;
    return (int16_t)(p[ch * 2] | (p[ch * 2 + 1] << 8));
}

// The frame after idx for interpolation: wraps when looping, holds the last frame otherwise.
static inline uint32_t NextFrame(const DsBufferRecord *b, uint32_t idx)
{
    if (idx + 1 < b->frames)
        return idx + 1;
    return b->looping ? 0 : idx;
}

// Adds n frames of one buffer into acc (devChannels per frame) and moves its cursor.
static void MixBuffer(DsBufferRecord *b, int32_t *acc, int n, int devChannels, uint32_t devRate)
{
    if (b->frames == 0) {
        b->playing = 0;
        return;
    }
    // Source frames per device frame in 32.32; equal rates step by exactly one frame.
    uint64_t step = ((uint64_t)b->format.samplesPerSec << 32) / devRate;
    uint64_t pos = ((uint64_t)b->frame << 32) | b->fraction;
    uint64_t end = (uint64_t)b->frames << 32;
    int64_t gain = b->gainQ16;
    for (int i = 0; i < n; i++) {
        uint32_t idx = (uint32_t)(pos >> 32);
        int64_t frac = (int64_t)(pos & 0xFFFFFFFFu);
        uint32_t nx = NextFrame(b, idx);
        int32_t v[2];
        for (int ch = 0; ch < 2; ch++) {
            int32_t s0 = ReadSample(b, idx, ch);
            int32_t s1 = ReadSample(b, nx, ch);
            int64_t s = s0 + (((int64_t)(s1 - s0) * frac) >> 32);
            v[ch] = (int32_t)((s * gain) >> 16);
        }
        if (devChannels == 2) {
            acc[2 * i] += v[0];
            acc[2 * i + 1] += v[1];
        } else {
            acc[i] += b->format.channels == 2 ? (v[0] + v[1]) / 2 : v[0];
        }
        pos += step;
        if (pos >= end) {
            if (b->looping) {
                pos %= end;
            } else {
                // The end: stopped, and the cursor goes back to the start.
                b->playing = 0;
                pos = 0;
                break;
            }
        }
    }
    b->frame = (uint32_t)(pos >> 32);
    b->fraction = (uint32_t)pos;
}

// Adds the synthesiser's stereo output into acc.
static void MixSynth(int32_t *acc, int n, int devChannels)
{
    static float stereo[AUDIO_MIX_SLICE_FRAMES * 2];
    int got = gMixer.synth.render(gMixer.synth.user, stereo, n);
    if (got < 0)
        got = 0;
    if (got > n)
        got = n;
    for (int i = 0; i < got; i++) {
        float l = stereo[2 * i] * 32767.0f, r = stereo[2 * i + 1] * 32767.0f;
        if (devChannels == 2) {
            acc[2 * i] += (int32_t)lrintf(l);
            acc[2 * i + 1] += (int32_t)lrintf(r);
        } else {
            acc[i] += (int32_t)lrintf((l + r) * 0.5f);
        }
    }
}

// Clamps the accumulators and writes them in the device format.
static void WriteOutput(const int32_t *acc, int samples, uint8_t *out, int bits)
{
    for (int i = 0; i < samples; i++) {
        int32_t v = acc[i];
        v = v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
        if (bits == 8) {
            out[i] = (uint8_t)((v >> 8) + 128);
        } else {
            out[2 * i] = (uint8_t)(v & 0xFF);
            out[2 * i + 1] = (uint8_t)((v >> 8) & 0xFF);
        }
    }
}

// Mixes one slice of at most AUDIO_MIX_SLICE_FRAMES frames. Lock held.
static void MixSlice(uint8_t *out, int n)
{
    static int32_t acc[AUDIO_MIX_SLICE_FRAMES * 2];
    const WaveFormat &df = gMixer.deviceFormat;
    int devChannels = df.channels;
    memset(acc, 0, sizeof(int32_t) * (size_t)n * devChannels);
    for (const AudioFeeder &feeder : gMixer.feeders) {
        if (feeder.feed)
            feeder.feed(feeder.user);
    }
    for (DsBufferRecord *b = DsFirstBuffer(); b; b = b->next) {
        if (b->playing && !b->primary)
            MixBuffer(b, acc, n, devChannels, df.samplesPerSec);
    }
    if (gMixer.synth.render)
        MixSynth(acc, n, devChannels);
    WriteOutput(acc, n * devChannels, out, df.bitsPerSample);
    if (gMixer.synth.after)
        gMixer.synth.after(gMixer.synth.user);
}

void AudioMixFrames(uint8_t *out, int frames)
{
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    int blockAlign = gMixer.deviceFormat.blockAlign;
    while (frames > 0) {
        int n = frames < AUDIO_MIX_SLICE_FRAMES ? frames : AUDIO_MIX_SLICE_FRAMES;
        MixSlice(out, n);
        out += (size_t)n * blockAlign;
        frames -= n;
    }
}

void AudioSetSynthHook(const AudioSynthHook *hook)
{
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    gMixer.synth = hook ? *hook : AudioSynthHook{};
}

int AudioAddFeeder(const AudioFeeder *feeder)
{
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    for (AudioFeeder &slot : gMixer.feeders) {
        if (!slot.feed) {
            slot = *feeder;
            return 0;
        }
    }
    return -1;
}

void AudioRemoveFeeder(void *user)
{
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    for (AudioFeeder &slot : gMixer.feeders) {
        if (slot.feed && slot.user == user)
            slot = AudioFeeder{};
    }
}

// ================================================================================================
// Output back ends
// ================================================================================================

// The back end of that name, or null.
static const AudioBackend *FindBackend(const char *name)
{
    for (int i = 0; kAudioBackends[i]; i++) {
        if (strcmp(kAudioBackends[i]->name, name) == 0)
            return kAudioBackends[i];
    }
    return nullptr;
}

// The back end named by the request or DAZAR_AUDIO, default the first (SDL).
static const AudioBackend *ChooseBackend(void)
{
    const char *name = gMixer.requested[0] ? gMixer.requested : getenv("DAZAR_AUDIO");
    const AudioBackend *named = name ? FindBackend(name) : nullptr;
    return named ? named : kAudioBackends[0];
}

int AudioSelectBackend(const char *name)
{
    if (name && !FindBackend(name))
        return -1;
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    snprintf(gMixer.requested, sizeof gMixer.requested, "%s", name ? name : "");
    return 0;
}

// PCM the mixer can read and produce.
int AudioIsMixableFormat(const WaveFormat *f)
{
    return f && f->formatTag == WAVE_TAG_PCM && (f->channels == 1 || f->channels == 2) &&
           (f->bitsPerSample == 8 || f->bitsPerSample == 16) && f->samplesPerSec >= DS_RATE_MIN &&
           f->samplesPerSec <= DS_RATE_MAX && f->blockAlign == f->channels * f->bitsPerSample / 8;
}

// Takes format as the device format (normalised average, no extra bytes). Lock held.
static void StoreDeviceFormat(const WaveFormat *format)
{
    gMixer.deviceFormat = *format;
    gMixer.deviceFormat.avgBytesPerSec = format->samplesPerSec * format->blockAlign;
    gMixer.deviceFormat.extraSize = 0;
}

int AudioOpenOutput(const WaveFormat *format)
{
    if (!AudioIsMixableFormat(format))
        return -1;
    AudioCloseOutput();
    const AudioBackend *backend = ChooseBackend();
    {
        std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
        StoreDeviceFormat(format);
    }
    // Opened without the lock: a back end's thread may already be mixing when open returns.
    if (backend->open(format) != 0) {
        if (backend != &kAudioBackendSdl || kAudioBackendNull.open(format) != 0)
            return -1;
        backend = &kAudioBackendNull;  // no sound card: keep time moving without output
    }
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    gMixer.open = backend;
    return 0;
}

int AudioCloseOutput(void)
{
    const AudioBackend *backend;
    {
        std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
        backend = gMixer.open;
        gMixer.open = nullptr;
    }
    // Closed without the lock: the back end waits for its thread, which may be waiting for the lock.
    if (backend)
        backend->close();
    return 0;
}

int AudioSetDeviceFormat(const WaveFormat *format)
{
    if (!AudioIsMixableFormat(format))
        return -1;
    if (AudioIsOutputOpen())
        return AudioOpenOutput(format);
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    StoreDeviceFormat(format);
    return 0;
}

int AudioIsOutputOpen(void)
{
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    return gMixer.open != nullptr;
}

void AudioGetDeviceFormat(WaveFormat *format)
{
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    *format = gMixer.deviceFormat;
}

const char *AudioGetBackendName(void)
{
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    return gMixer.open ? gMixer.open->reportName : "none";
}

const char *AudioGetDeviceName(void)
{
    std::lock_guard<std::recursive_mutex> hold(gAudioMutex);
    return gMixer.open ? gMixer.open->deviceName() : "";
}
