// dz_play FILE: plays a WAVE file (PCM, ADPCM, G.711 or MPEG in WAVE) or a MIDI file through the
// sound stand-ins and waits for its end. DAZAR_AUDIO picks the output (sdl, null); with
// SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw the mixed output lands in a file.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/acm/acm.h"
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

static uint32_t Le32(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

// The format block and data of a RIFF WAVE file. 0 / -1.
static int ParseWave(const std::vector<uint8_t> &b, std::vector<uint8_t> *format, std::vector<uint8_t> *data)
{
    if (b.size() < 12 || memcmp(b.data(), "RIFF", 4) != 0 || memcmp(b.data() + 8, "WAVE", 4) != 0)
        return -1;
    for (size_t at = 12; at + 8 <= b.size();) {
        uint32_t size = Le32(&b[at + 4]);
        size_t end = size > b.size() - at - 8 ? b.size() : at + 8 + size;
        if (memcmp(&b[at], "fmt ", 4) == 0)
            format->assign(b.begin() + at + 8, b.begin() + end);
        else if (memcmp(&b[at], "data", 4) == 0)
            data->assign(b.begin() + at + 8, b.begin() + end);
        at = end + (size & 1);
    }
    if (format->size() < 16 || data->empty())
        return -1;
    format->resize(format->size() < 18 ? 18 : format->size(), 0);
    return 0;
}

// Converts compressed data to PCM in place of format and data. 0 / -1.
static int Decompress(std::vector<uint8_t> *format, std::vector<uint8_t> *data)
{
    const WaveFormat *src = (const WaveFormat *)format->data();
    WaveFormat pcm = {WAVE_TAG_PCM, 0, 0, 0, 0, 0, 0};
    AcmStream *s = nullptr;
    if (AcmFormatSuggest(nullptr, src, &pcm, sizeof pcm, ACM_SUGGEST_TAG) != ACM_OK ||
        AcmStreamOpen(&s, nullptr, src, &pcm, nullptr, 0, 0, ACM_OPEN_NONREALTIME) != ACM_OK)
        return -1;
    std::vector<uint8_t> out, block(pcm.avgBytesPerSec);
    uint32_t chunk = src->blockAlign > 2048 ? src->blockAlign : 2048;
    for (size_t pos = 0; pos < data->size();) {
        AcmStreamHeader h = {};
        h.size = sizeof h;
        h.src = data->data() + pos;
        h.srcLength = (uint32_t)std::min<size_t>(chunk, data->size() - pos);
        h.dst = block.data();
        h.dstLength = (uint32_t)block.size();
        AcmStreamPrepareHeader(s, &h, 0);
        uint32_t r = AcmStreamConvert(s, &h, ACM_CONVERT_BLOCK_ALIGN);
        AcmStreamUnprepareHeader(s, &h, 0);
        if (r != ACM_OK || (h.srcLengthUsed == 0 && h.dstLengthUsed == 0))
            break;
        out.insert(out.end(), block.begin(), block.begin() + h.dstLengthUsed);
        pos += h.srcLengthUsed;
    }
    AcmStreamClose(s, 0);
    format->assign((const uint8_t *)&pcm, (const uint8_t *)&pcm + sizeof pcm);
    *data = out;
    return out.empty() ? -1 : 0;
}

static int PlayWave(DsDevice *dev, std::vector<uint8_t> format, std::vector<uint8_t> data)
{
    if (((const WaveFormat *)format.data())->formatTag != WAVE_TAG_PCM && Decompress(&format, &data) != 0) {
        fprintf(stderr, "dz_play: cannot convert this format\n");
        return 1;
    }
    WaveFormat f = *(const WaveFormat *)format.data();
    f.extraSize = 0;
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
    std::vector<uint8_t> format, data;
    if (ParseWave(bytes, &format, &data) == 0)
        rc = PlayWave(dev, format, data);
    else
        rc = PlayMidi(argv[1]);
    dev->fn->Release(dev);
    return rc;
}
