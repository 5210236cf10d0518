// The one audio mixer of the process. It mixes every playing sound buffer (resampled, 8-bit and mono
// converted, volume applied, clamped) and the MIDI synthesiser's output into the device format, and
// hands the result to one of three output back ends:
//   "sdl"    SDL2 audio out (the default; falls back to "null" when no device opens);
//   "null"   a thread that consumes audio at the real rate into nothing;
//   "manual" no thread: tests step it (AudioTestStep, testsupport/) and read back what was mixed.
// The back end is chosen by DAZAR_AUDIO (sdl | null | manual) or AudioSelectBackend, when the
// output opens. SDL_AUDIODRIVER=disk with SDL_DISKAUDIOFILE captures the real output to a file.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/dsound/wave_format.h"

// Frames mixed in one slice at most; synthesiser events are seen once per slice.
#define AUDIO_MIX_SLICE_FRAMES 1024

// One lock serialises every audio object (buffers, devices, the synthesiser). Recursive.
void AudioLock(void);
void AudioUnlock(void);

// Chooses the back end for the next open: "sdl", "null" or "manual"; null goes back to DAZAR_AUDIO.
// 0, or -1 for an unknown name.
int AudioSelectBackend(const char *name);
// Opens the output at format (PCM, 1-2 channels, 8 or 16 bits); reopens when already open. 0 / -1.
int AudioOpenOutput(const WaveFormat *format);
// Closes the output (the mixer keeps its buffers). 0.
int AudioCloseOutput(void);
// 1 while an output is open.
int AudioIsOutputOpen(void);
// Sets the device format: kept for the next open, or the open output reopens with it. 0 / -1.
int AudioSetDeviceFormat(const WaveFormat *format);
// The device format (44100 Hz, stereo, 16-bit until an open says otherwise).
void AudioGetDeviceFormat(WaveFormat *format);
// Name of the open back end ("sdl2", "null", "manual"), or "none".
const char *AudioGetBackendName(void);
// Name of the output device the back end reports ("" when none).
const char *AudioGetDeviceName(void);

// The synthesiser adds itself here: render writes frames of interleaved stereo float samples
// (full scale 1.0) at the device rate and returns the frames written (the rest counts as silence).
// Called with the audio lock held, once per slice. after runs after each slice (end-of-music checks).
struct AudioSynthHook {
    int (*render)(void *user, float *stereo, int frames);
    void (*after)(void *user);
    void *user;
};
// Installs (or with null removes) the one synthesiser hook.
void AudioSetSynthHook(const AudioSynthHook *hook);

// A stream's feeder (a movie's sound renderer): called with the audio lock held before every slice, so
// it can fill its looping buffer ahead of the buffer's play cursor with what the slice will play.
struct AudioFeeder {
    void (*feed)(void *user);
    void *user;
};
#define AUDIO_MAX_FEEDERS 32
// Adds a feeder (copied). 0, or -1 when all AUDIO_MAX_FEEDERS are taken.
int AudioAddFeeder(const AudioFeeder *feeder);
// Removes the feeder with that user word; once this returns it is not called again.
void AudioRemoveFeeder(void *user);

// Mixes frames of device-format audio into out (frames * blockAlign bytes) and advances every cursor.
// The back ends call it; the manual one is stepped by the test hooks.
void AudioMixFrames(uint8_t *out, int frames);

// ---- manual back end -----------------------------------------------------------------------------
// The "manual" back end has no thread: the test hooks (testsupport/test_hooks.h) mix by hand with
// AudioMixFrames and keep what they mixed.
