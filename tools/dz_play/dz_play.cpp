// dz_play FILE: plays a WAVE file (PCM, ADPCM, G.711 or MPEG in WAVE) or a MIDI file through the
// sound stand-ins and waits for its end. DAZAR_AUDIO picks the output (sdl, null); with
// SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw the mixed output lands in a file.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lib/core/memory.h"
#include "lib/sound/sound_internal.h"
#include "platform/dsound/dsound.h"
#include "platform/dsound/mixer.h"
#include "platform/kernel/kernel.h"
#include "platform/mci/mci.h"

static std::atomic<int> gMidiDone{0};

static int OnNotice(intptr_t window, uint32_t message, uintptr_t code, intptr_t device)
{
    gMidiDone = 1;
    return 1;
}

static std::vector<uint8_t> ReadAll(const char *path)
{
    std::vector<uint8_t> bytes;
    FILE *f = fopen(path, "rb");
    if (!f)
        return bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    return bytes;
}

// 1 when the file is a RIFF WAVE, else 0 (taken for MIDI).
static int IsWaveImage(const std::vector<uint8_t> &b)
{
    return b.size() >= 12 && memcmp(b.data(), "RIFF", 4) == 0 && memcmp(b.data() + 8, "WAVE", 4) == 0;
}

// Decodes a WAVE image (PCM or compressed) to PCM through the sound module's decoder. 0 / -1.
static int DecodeWave(const std::vector<uint8_t> &b, WaveFormat *format, std::vector<uint8_t> *data)
{
    uint8_t *pcm = nullptr;
    uint32_t size = 0;
    if (DecodeSoundImage(b.data(), (uint32_t)b.size(), format, &pcm, &size) != 0)
        return -1;
    data->assign(pcm, pcm + size);
    FreeMemoryTracked(pcm);
    return size > 0 ? 0 : -1;
}

static int PlayWave(DsDevice *dev, WaveFormat f, const std::vector<uint8_t> &data)
{
    f.extraSize = 0;  // a PCM body may carry a stray count
    DsBufferDesc desc = {sizeof desc, DS_BUF_STATIC | DS_BUF_CTRL_VOLUME, (uint32_t)data.size(), 0, &f, {}};
    DsBuffer *b = nullptr;
    if (dev->fn->CreateSoundBuffer(dev, &desc, &b, nullptr) < 0) {
        fprintf(stderr, "dz_play: the buffer was refused (format or size)\n");
        return 1;
    }
    void *p1, *p2;
    uint32_t n1, n2;
    b->fn->Lock(b, 0, (uint32_t)data.size(), &p1, &n1, &p2, &n2, 0);
    memcpy(p1, data.data(), n1);
    b->fn->Unlock(b, p1, n1, p2, n2);
    b->fn->Play(b, 0, 0, 0);
    uint32_t status = DS_STATUS_PLAYING;
    while (status & DS_STATUS_PLAYING) {
        KSleep(20);
        b->fn->GetStatus(b, &status);
    }
    KSleep(100);  // let the output drain
    b->fn->Release(b);
    return 0;
}

static int PlayMidi(const char *path)
{
    MciSetNotifyPoster(OnNotice);
    MciOpenParams open = {0, 0, "sequencer", path, nullptr};
    uint32_t r = MciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, (uintptr_t)&open);
    if (r != MCI_OK) {
        fprintf(stderr, "dz_play: the sequencer refused the file (%u)\n", r);
        return 1;
    }
    MciPlayParams play = {1, 0, 0};
    MciSendCommand(open.deviceId, MCI_PLAY, MCI_NOTIFY, (uintptr_t)&play);
    while (!gMidiDone)
        KSleep(20);
    KSleep(300);  // release tails
    MciSendCommand(open.deviceId, MCI_CLOSE, 0, 0);
    MciShutdown();
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: dz_play FILE.wav|FILE.mid\n");
        return 2;
    }
    std::vector<uint8_t> bytes = ReadAll(argv[1]);
    if (bytes.empty()) {
        fprintf(stderr, "dz_play: cannot read %s\n", argv[1]);
        return 1;
    }
    DsDevice *dev = nullptr;
    if (DsCreateDevice(&dev) < 0 || dev->fn->Initialize(dev, nullptr) < 0) {
        fprintf(stderr, "dz_play: no audio output\n");
        return 1;
    }
    printf("output: %s (%s)\n", AudioGetDeviceName(), AudioGetBackendName());
    int rc;
    WaveFormat format;
    std::vector<uint8_t> data;
    if (!IsWaveImage(bytes)) {
        rc = PlayMidi(argv[1]);
    } else if (DecodeWave(bytes, &format, &data) != 0) {
        fprintf(stderr, "dz_play: cannot convert this format\n");
        rc = 1;
    } else {
        rc = PlayWave(dev, format, data);
    }
    dev->fn->Release(dev);
    return rc;
}
