// Output back end "sdl": SDL2 audio out. SDL converts the device format to the hardware's; the
// callback runs the mixer. Opening fails on machines with no sound card, and the mixer then falls
// back to the null back end.
#include <SDL.h>

#include <cstdio>

#include "platform/dsound/audio_internal.h"
#include "platform/dsound/mixer.h"

static struct {
    SDL_AudioDeviceID device;  // 0 when closed
    int blockAlign;            // bytes per frame of the open format
    char name[128];            // driver and device, for the device list
} gSdl;

// SDL's audio thread asks for len bytes.
static void SdlCallback(void *user, Uint8 *stream, int len)
{
    AudioMixFrames(stream, len / gSdl.blockAlign);
}

static int SdlOpen(const WaveFormat *format)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return -1;
    SDL_AudioSpec want;
    SDL_AudioSpec have;
    SDL_zero(want);
    want.freq = (int)format->samplesPerSec;
    want.format = format->bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = (Uint8)format->channels;
    want.samples = AUDIO_MIX_SLICE_FRAMES;
    want.callback = SdlCallback;
    gSdl.blockAlign = format->blockAlign;
    gSdl.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (gSdl.device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return -1;
    }
    const char *driver = SDL_GetCurrentAudioDriver();
    snprintf(gSdl.name, sizeof gSdl.name, "SDL Audio Output (%s)", driver ? driver : "?");
    SDL_PauseAudioDevice(gSdl.device, 0);
    return 0;
}

static void SdlClose(void)
{
    if (gSdl.device == 0)
        return;
    SDL_CloseAudioDevice(gSdl.device);  // waits for the callback to return
    gSdl.device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

static const char *SdlDeviceName(void) { return gSdl.name; }

const AudioBackend kAudioBackendSdl = {"sdl", "sdl2", SdlOpen, SdlClose, SdlDeviceName};
