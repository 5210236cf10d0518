// The MIDI sequencer stand-in: a few devices over one FluidSynth synthesiser that renders inside the
// process mixer. Everything runs under the audio lock, which the mixer holds while it renders.
#include "platform/mci/mci.h"
#include "platform/mci/mci_internal.h"

#include <fluidsynth.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/dsound/mixer.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/standin_hooks.h"
#include "platform/window/window.h"

#define MCI_MAX_MIDI_BYTES (16u << 20)
#define MCI_DEFAULT_SOUNDFONT "/usr/share/sounds/sf2/TimGM6mb.sf2"
// The synthesiser's output gain: the songs then sit at about -23 to -28 dBFS RMS, where a player
// hears them under the effects (its default, 0.2, left them 8 dB lower, barely audible).
#define MCI_SYNTH_GAIN 0.5

MciGlobals gMci = {nullptr, nullptr, 0, {}, 0, nullptr, "", MCI_SEQ_MAPPER, 0};

struct MciScopedLock {
    MciScopedLock() { AudioLock(); }
    ~MciScopedLock() { AudioUnlock(); }
};

// ================================================================================================
// Notices
// ================================================================================================

static int DefaultPoster(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    return WPostMessage((WHandle)window, message, wParam, lParam);
}

// Posts the pending notice of a device with code, and clears it.
static void PostNotice(MciDevice *d, uint32_t code)
{
    if (!d->notifyPending)
        return;
    d->notifyPending = 0;
    uint32_t id = (uint32_t)(d - gMci.devices) + 1;
    MciNotifyPoster post = gMci.poster ? gMci.poster : DefaultPoster;
    post(d->notifyWindow, MM_MCINOTIFY, code, (intptr_t)id);
}

// Takes a new notice request, superseding an older one.
static void RequestNotice(MciDevice *d, uintptr_t flags, uintptr_t callback)
{
    if (!(flags & MCI_NOTIFY))
        return;
    PostNotice(d, MCI_NOTIFY_SUPERSEDED);
    d->notifyPending = 1;
    d->notifyWindow = (intptr_t)callback;
}

// ================================================================================================
// Synthesiser
// ================================================================================================

// Renders the synthesiser into the mixer's slice (audio lock held by the mixer); also after the last
// close while released notes still ring.
static int RenderSynth(void *user, float *stereo, int frames)
{
    if (gMci.ringOut && (!gMci.synth || fluid_synth_get_active_voice_count(gMci.synth) == 0))
        gMci.ringOut = 0;
    if (!gMci.synth || (gMci.openCount == 0 && !gMci.ringOut))
        return 0;
    fluid_synth_write_float(gMci.synth, frames, stereo, 0, 2, stereo, 1, 2);
    return frames;
}

// After each slice: a player whose last tick has played is done; its notice goes out once. Notes
// still held are let go as a MIDI device's are, so they end with their release, not a click.
static void CheckEnds(void *user)
{
    for (MciDevice &d : gMci.devices) {
        if (!d.open || !d.playing || !d.player)
            continue;
        int total = fluid_player_get_total_ticks(d.player);
        int done = fluid_player_get_status(d.player) == FLUID_PLAYER_DONE;
        if (!done && !(total > 0 && fluid_player_get_current_tick(d.player) >= total))
            continue;
        fluid_player_stop(d.player);
        fluid_synth_all_notes_off(gMci.synth, -1);
        gMci.ringOut = 1;
        d.playing = 0;
        d.finished = 1;
        PostNotice(&d, MCI_NOTIFY_SUCCESSFUL);
    }
}

static void FreeSynth(void)
{
    AudioSetSynthHook(nullptr);
    if (gMci.synth)
        delete_fluid_synth(gMci.synth);
    if (gMci.settings)
        delete_fluid_settings(gMci.settings);
    gMci.synth = nullptr;
    gMci.settings = nullptr;
    gMci.ringOut = 0;
}

static const char *SoundFontPath(void)
{
    if (gMci.soundFont[0])
        return gMci.soundFont;
    const char *env = getenv("DAZAR_SOUNDFONT");
    return env && *env ? env : MCI_DEFAULT_SOUNDFONT;
}

// Makes the synthesiser at the mixer's rate, its clock driven by rendered samples. 0 / MCI error.
static uint32_t EnsureSynth(void)
{
    WaveFormat device;
    AudioGetDeviceFormat(&device);
    if (gMci.synth && (gMci.synthRate == device.samplesPerSec || gMci.openCount > 0))
        return MCI_OK;
    FreeSynth();
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    gMci.settings = new_fluid_settings();
    if (!gMci.settings)
        return MCI_ERR_OUT_OF_MEMORY;
    fluid_settings_setnum(gMci.settings, "synth.sample-rate", (double)device.samplesPerSec);
    fluid_settings_setstr(gMci.settings, "player.timing-source", "sample");
    fluid_settings_setnum(gMci.settings, "synth.gain", MCI_SYNTH_GAIN);
    gMci.synth = new_fluid_synth(gMci.settings);
    if (!gMci.synth || fluid_synth_sfload(gMci.synth, SoundFontPath(), 1) == FLUID_FAILED) {
        FreeSynth();
        return MCI_ERR_CANNOT_LOAD_DRIVER;
    }
    gMci.synthRate = device.samplesPerSec;
    AudioSynthHook hook = {RenderSynth, CheckEnds, nullptr};
    AudioSetSynthHook(&hook);
    return MCI_OK;
}

// ================================================================================================
// Files
// ================================================================================================

static uint32_t Le32(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

// Reads a whole file (Shift-JIS path). 0, or an MCI error.
static uint32_t ReadWholeFile(const char *path, uint8_t **data, uint32_t *size)
{
    KHandle f = KCreateFile(path, K_GENERIC_READ, K_OPEN_EXISTING);
    if (f == K_INVALID_HANDLE)
        return MCI_ERR_FILE_NOT_FOUND;
    int64_t length = KSetFilePointer(f, 0, K_FILE_END);
    uint32_t got = 0;
    uint8_t *bytes = nullptr;
    if (length > 0 && length <= MCI_MAX_MIDI_BYTES && KSetFilePointer(f, 0, K_FILE_BEGIN) == 0)
        bytes = (uint8_t *)malloc((size_t)length);
    int ok = bytes && KReadFile(f, bytes, (uint32_t)length, &got) && got == (uint32_t)length;
    KCloseHandle(f);
    if (!ok) {
        free(bytes);
        return length > MCI_MAX_MIDI_BYTES || length == 0 ? MCI_ERR_INVALID_FILE : MCI_ERR_FILE_NOT_FOUND;
    }
    *data = bytes;
    *size = got;
    return MCI_OK;
}

// Moves a RIFF RMID's "data" chunk to the front. 1 when the bytes start with a MIDI header.
static int UnwrapMidi(uint8_t *bytes, uint32_t *size)
{
    if (*size >= 20 && memcmp(bytes, "RIFF", 4) == 0 && memcmp(bytes + 8, "RMID", 4) == 0) {
        uint32_t at = 12;
        while (at + 8 <= *size) {
            uint32_t len = Le32(bytes + at + 4);
            if (memcmp(bytes + at, "data", 4) == 0 && len <= *size - at - 8) {
                memmove(bytes, bytes + at + 8, len);
                *size = len;
                break;
            }
            if (len > *size - at - 8)
                return 0;
            at += 8 + len + (len & 1);
        }
    }
    return *size >= 14 && memcmp(bytes, "MThd", 4) == 0;
}

// ================================================================================================
// Commands
// ================================================================================================

static MciDevice *FindDevice(uint32_t id)
{
    if (id < 1 || id > MCI_MAX_DEVICES || !gMci.devices[id - 1].open)
        return nullptr;
    return &gMci.devices[id - 1];
}

static uint32_t OpenDevice(uintptr_t flags, MciOpenParams *p)
{
    if (!p || !(flags & MCI_OPEN_ELEMENT) || !p->elementName)
        return MCI_ERR_MISSING_PARAMETER;
    if (!(flags & MCI_OPEN_TYPE) || !p->deviceType || strcasecmp(p->deviceType, "sequencer") != 0)
        return MCI_ERR_INVALID_DEVICE_NAME;
    if (StandInFault(STAND_IN_MCI, MCI_FAULT_OPEN, 0))
        return MCI_ERR_HARDWARE;
    int slot = 0;
    while (slot < MCI_MAX_DEVICES && gMci.devices[slot].open)
        slot++;
    if (slot == MCI_MAX_DEVICES)
        return MCI_ERR_OUT_OF_MEMORY;
    uint8_t *midi = nullptr;
    uint32_t size = 0;
    uint32_t r = ReadWholeFile(p->elementName, &midi, &size);
    if (r == MCI_OK && !UnwrapMidi(midi, &size))
        r = MCI_ERR_INVALID_FILE;
    if (r == MCI_OK)
        r = EnsureSynth();
    if (r != MCI_OK) {
        free(midi);
        return r;
    }
    MciDevice &d = gMci.devices[slot];
    memset(&d, 0, sizeof d);
    d.open = 1;
    d.midi = midi;
    d.midiSize = size;
    gMci.openCount++;
    p->deviceId = (uint32_t)slot + 1;
    return MCI_OK;
}

// A fresh player at the start of the file.
static uint32_t RestartPlayer(MciDevice *d)
{
    if (d->player) {
        fluid_player_stop(d->player);
        delete_fluid_player(d->player);
    }
    d->player = new_fluid_player(gMci.synth);
    if (!d->player || fluid_player_add_mem(d->player, d->midi, d->midiSize) != FLUID_OK) {
        if (d->player)
            delete_fluid_player(d->player);
        d->player = nullptr;
        return MCI_ERR_OUT_OF_MEMORY;
    }
    d->finished = 0;
    return MCI_OK;
}

static uint32_t PlayDevice(MciDevice *d, uintptr_t flags, MciPlayParams *p)
{
    if ((flags & (MCI_FROM | MCI_TO | MCI_NOTIFY)) && !p)
        return MCI_ERR_MISSING_PARAMETER;
    if ((flags & MCI_WAIT) || (flags & MCI_TO) || ((flags & MCI_FROM) && p->from != 0))
        return MCI_ERR_UNSUPPORTED_FUNCTION;
    if (StandInFault(STAND_IN_MCI, MCI_FAULT_PLAY, 0))
        return MCI_ERR_HARDWARE;
    RequestNotice(d, flags, p ? p->callback : 0);
    if ((flags & MCI_FROM) || !d->player) {
        uint32_t r = RestartPlayer(d);
        if (r != MCI_OK)
            return r;
    } else if (d->finished) {
        // At the end already: the play completes at once.
        PostNotice(d, MCI_NOTIFY_SUCCESSFUL);
        return MCI_OK;
    }
    fluid_player_play(d->player);
    d->playing = 1;
    return MCI_OK;
}

// Pauses a device and silences what it sounded; a device whose file has ended leaves its released
// notes to ring out.
static void HaltDevice(MciDevice *d)
{
    if (d->playing && d->player)
        fluid_player_stop(d->player);
    if (d->playing && gMci.synth) {
        fluid_synth_all_sounds_off(gMci.synth, -1);
        gMci.ringOut = 0;
    }
    d->playing = 0;
    PostNotice(d, MCI_NOTIFY_ABORTED);
}

// Halts a device and frees its slot with its player and file.
static void ReleaseDevice(MciDevice *d)
{
    HaltDevice(d);
    if (d->player)
        delete_fluid_player(d->player);
    free(d->midi);
    memset(d, 0, sizeof *d);
    gMci.openCount--;
}

static uint32_t CloseDevice(MciDevice *d)
{
    if (StandInFault(STAND_IN_MCI, MCI_FAULT_CLOSE, 0))
        return MCI_ERR_HARDWARE;
    ReleaseDevice(d);
    return MCI_OK;
}

static uint32_t StatusDevice(MciDevice *d, uintptr_t flags, MciStatusParams *p)
{
    if (!p || !(flags & MCI_STATUS_ITEM))
        return MCI_ERR_MISSING_PARAMETER;
    if (StandInFault(STAND_IN_MCI, MCI_FAULT_STATUS, 0))
        return MCI_ERR_HARDWARE;
    if (p->item == MCI_SEQ_STATUS_PORT)
        p->result = gMci.port;
    else if (p->item == MCI_STATUS_MODE)
        p->result = d->playing ? MCI_MODE_PLAY : MCI_MODE_STOP;
    else
        return MCI_ERR_UNSUPPORTED_FUNCTION;
    return MCI_OK;
}

uint32_t MciSendCommand(uint32_t deviceId, uint32_t message, uintptr_t flags, uintptr_t params)
{
    MciScopedLock hold;
    if (message == MCI_OPEN)
        return OpenDevice(flags, (MciOpenParams *)params);
    MciDevice *d = FindDevice(deviceId);
    if (!d)
        return MCI_ERR_INVALID_DEVICE_ID;
    switch (message) {
    case MCI_PLAY:
        return PlayDevice(d, flags, (MciPlayParams *)params);
    case MCI_STOP: {
        MciGenericParams *p = (MciGenericParams *)params;
        HaltDevice(d);
        if ((flags & MCI_NOTIFY) && p) {
            RequestNotice(d, flags, p->callback);
            PostNotice(d, MCI_NOTIFY_SUCCESSFUL);
        }
        return MCI_OK;
    }
    case MCI_CLOSE:
        return CloseDevice(d);
    case MCI_STATUS:
        return StatusDevice(d, flags, (MciStatusParams *)params);
    default:
        return MCI_ERR_UNRECOGNIZED_COMMAND;
    }
}

void MciSetNotifyPoster(MciNotifyPoster poster)
{
    MciScopedLock hold;
    gMci.poster = poster;
}

int MciSetSoundFont(const char *path)
{
    MciScopedLock hold;
    snprintf(gMci.soundFont, sizeof gMci.soundFont, "%s", path ? path : "");
    if (gMci.openCount == 0)
        FreeSynth();  // the next open loads the new one
    return 0;
}

int MciShutdown(void)
{
    MciScopedLock hold;
    for (MciDevice &d : gMci.devices) {
        if (d.open)
            ReleaseDevice(&d);
    }
    FreeSynth();
    return 0;
}
