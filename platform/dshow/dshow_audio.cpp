// Multimedia-stream stand-in: the audio stream's default renderer. It plays the file's first Vorbis
// stream (libvorbisfile, as the sound module decodes Ogg) through a looping buffer of its own sound
// device, which a mixer feeder keeps filled ahead of the play cursor, and holds it on the stream
// clock: every clock change of the stream moves it, and between changes a play position that strays
// from the clock by more than MM_AUDIO_DRIFT_MS is put back.
#include "platform/dshow/dshow_internal.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vorbis/vorbisfile.h>

#include "platform/dsound/dsound.h"
#include "platform/dsound/mixer.h"
#include "platform/dsound/vorbis_check.h"

#define MM_AUDIO_RING_MIN_FRAMES 8192     // the looping buffer at least
#define MM_AUDIO_RING_MAX_BYTES (4 << 20) // a larger one means a track rate far beyond the output's
#define MM_AUDIO_DRIFT_MS 200       // beyond a sound card's buffering and a mixer slice
#define MM_AUDIO_HOLE_RETRIES 8     // gaps in the data stepped over in one read

struct MmAudioTrack {
    OggVorbis_File vorbis;        // owns the file
    int channels;                 // 1 or 2
    uint32_t rate;                // samples per second
    uint32_t blockAlign;          // bytes per frame
    DsDevice *device;             // the renderer's own device object (holds the output open)
    DsBuffer *buffer;             // ringFrames frames, played looping
    uint32_t ringFrames;
    // Written under the audio lock (the stream's calls and the mixer's feeder):
    int64_t writeSample;          // track sample the next ring frame receives
    uint32_t writeFrame;          // that ring frame
    int64_t endSample;            // first sample after the track's end, -1 before the decode meets it
    int64_t stopSample;           // the picture's end: the sound stops there too; -1 none
    int64_t clockTime;            // stream time (100 ns) when clockMicros was read
    uint64_t clockMicros;         // kernel clock microseconds
    int running;                  // 1 while the stream clock runs
};

// ---- the ring -----------------------------------------------------------------------------------------

// The track sample shown at a stream time (any time: a seek or a file may name one far beyond the track).
static int64_t SampleAt(const MmAudioTrack *track, int64_t streamTime)
{
    return streamTime <= 0 ? 0 : (int64_t)((__int128)streamTime * track->rate / 10000000);
}

// The buffer's play cursor in ring frames. Lock held.
static uint32_t CursorFrame(const MmAudioTrack *track)
{
    uint32_t play = 0;
    track->buffer->fn->GetCurrentPosition(track->buffer, &play, nullptr);
    return play / track->blockAlign;
}

// Frames written ahead of the cursor. Lock held.
static uint32_t FramesAhead(const MmAudioTrack *track, uint32_t cursor)
{
    return (track->writeFrame + track->ringFrames - cursor) % track->ringFrames;
}

// The track sample at the play cursor. Lock held.
static int64_t PlayedSample(const MmAudioTrack *track)
{
    return track->writeSample - FramesAhead(track, CursorFrame(track));
}

// One read of decoded frames into out (at most bytes). 0 at the end of the track, on damaged data it
// cannot step over, or at a chained link in another layout, which this buffer cannot go on with.
static long ReadDecoded(MmAudioTrack *track, uint8_t *out, uint32_t bytes)
{
    for (int holes = 0; holes < MM_AUDIO_HOLE_RETRIES; holes++) {
        int section = 0;
        long got = ov_read(&track->vorbis, (char *)out, (int)bytes, 0, 2, 1, &section);
        if (got == OV_HOLE) continue;
        vorbis_info *info = got > 0 ? ov_info(&track->vorbis, section) : nullptr;
        if (!info || info->channels != track->channels || (uint32_t)info->rate != track->rate) return 0;
        return got - got % (long)track->blockAlign;
    }
    return 0;
}

// Fills bytes of out with the track from the write sample on, and silence from its end. Lock held.
static void DecodeInto(MmAudioTrack *track, uint8_t *out, uint32_t bytes)
{
    while (bytes > 0) {
        long got = track->endSample < 0 ? ReadDecoded(track, out, bytes) : 0;
        if (got <= 0) {
            if (track->endSample < 0) track->endSample = track->writeSample;
            memset(out, 0, bytes);
            got = (long)bytes;
        }
        track->writeSample += got / track->blockAlign;
        out += got;
        bytes -= (uint32_t)got;
    }
}

// Fills the ring up to two frames short of the cursor (the mixer reads a frame past the one it plays).
static void TopUp(MmAudioTrack *track)
{
    uint32_t cursor = CursorFrame(track);
    uint32_t room = track->ringFrames - 2 - FramesAhead(track, cursor);
    if (room == 0 || room > track->ringFrames) return;
    void *part[2] = {nullptr, nullptr};
    uint32_t bytes[2] = {0, 0};
    if (track->buffer->fn->Lock(track->buffer, track->writeFrame * track->blockAlign, room * track->blockAlign,
                                &part[0], &bytes[0], &part[1], &bytes[1], 0) != DS_OK)
        return;
    for (int k = 0; k < 2; k++) {
        if (part[k]) DecodeInto(track, (uint8_t *)part[k], bytes[k]);
    }
    track->buffer->fn->Unlock(track->buffer, part[0], bytes[0], part[1], bytes[1]);
    track->writeFrame = (track->writeFrame + room) % track->ringFrames;
}

// Plays on from sample: the decoder seeks there and the ring is filled anew from the cursor.
static void Reposition(MmAudioTrack *track, int64_t sample)
{
    track->writeFrame = CursorFrame(track);
    track->writeSample = sample;
    track->endSample = ov_pcm_seek(&track->vorbis, sample) == 0 ? -1 : sample;
    TopUp(track);
}

// 1 when sample is at or past the track's end or the picture's.
static int PastTheEnd(const MmAudioTrack *track, int64_t sample)
{
    return (track->endSample >= 0 && sample >= track->endSample) || (track->stopSample >= 0 && sample >= track->stopSample);
}

// Starts or stops the buffer as the clock runs and the sound has not reached its end.
static void PlayOrStop(MmAudioTrack *track)
{
    if (track->running && !PastTheEnd(track, PlayedSample(track)))
        track->buffer->fn->Play(track->buffer, 0, 0, DS_PLAY_LOOPING);
    else
        track->buffer->fn->Stop(track->buffer);
}

// The mixer's feeder: back onto the clock when the position strayed, then fill what the slice plays.
static void FeedTrack(void *user)
{
    MmAudioTrack *track = (MmAudioTrack *)user;
    if (!track->running) return;
    int64_t now = MmStreamClockNow(track->clockTime, track->clockMicros, 1);
    int64_t expected = SampleAt(track, now), stray = PlayedSample(track) - expected;
    int64_t allowed = (int64_t)track->rate * MM_AUDIO_DRIFT_MS / 1000;
    if (!PastTheEnd(track, expected) && (stray > allowed || -stray > allowed)) Reposition(track, expected);
    TopUp(track);
    PlayOrStop(track);
}

// ---- the renderer's life ----------------------------------------------------------------------------

// The looping buffer's frames at the output's rate: twice what one mixer slice plays of the track, as
// the feeder fills it only before each slice. 0 when that is beyond MM_AUDIO_RING_MAX_BYTES.
static uint32_t RingFrames(const MmAudioTrack *track)
{
    WaveFormat output;
    AudioGetDeviceFormat(&output);
    uint64_t slice = ((uint64_t)AUDIO_MIX_SLICE_FRAMES * track->rate + output.samplesPerSec - 1) / output.samplesPerSec;
    uint64_t frames = 2 * (slice + 2);   // the frame read past the last, and the two the top-up leaves
    if (frames < MM_AUDIO_RING_MIN_FRAMES) frames = MM_AUDIO_RING_MIN_FRAMES;
    if (frames * track->blockAlign <= MM_AUDIO_RING_MAX_BYTES) return (uint32_t)frames;
    fprintf(stderr, "dshow audio: a %u Hz track is too fast for the %u Hz output; the movie plays silent\n",
            track->rate, output.samplesPerSec);
    return 0;
}

// The device, the buffer and the feeder of an opened track. 0 / -1.
static int StartRenderer(MmAudioTrack *track, int32_t volume)
{
    track->ringFrames = RingFrames(track);
    if (track->ringFrames == 0) return -1;
    if (DsCreateDevice(&track->device) != DS_OK) return -1;
    if (track->device->fn->Initialize(track->device, nullptr) != DS_OK) return -1;
    WaveFormat format = {WAVE_TAG_PCM, (uint16_t)track->channels, track->rate, track->rate * track->blockAlign,
                         (uint16_t)track->blockAlign, 16, 0};
    DsBufferDesc desc = {sizeof(DsBufferDesc), DS_BUF_CTRL_VOLUME | DS_BUF_GET_POSITION2 | DS_BUF_GLOBAL_FOCUS,
                         track->ringFrames * track->blockAlign, 0, &format, {}};
    if (track->device->fn->CreateSoundBuffer(track->device, &desc, &track->buffer, nullptr) != DS_OK) return -1;
    track->buffer->fn->SetVolume(track->buffer, volume);
    AudioLock();
    Reposition(track, 0);
    AudioUnlock();
    AudioFeeder feeder = {FeedTrack, track};
    return AudioAddFeeder(&feeder);
}

// The check's reader: the file from where it stands, at most left bytes more.
struct HeaderSpan {
    FILE *file;
    long left;
};
static size_t ReadHeaderSpan(void *user, void *buffer, size_t n)
{
    HeaderSpan *span = (HeaderSpan *)user;
    size_t got = span->left > 0 ? fread(buffer, 1, n < (size_t)span->left ? n : (size_t)span->left, span->file) : 0;
    span->left -= (long)got;
    return got;
}

// 0 when no setup header of the track's links would crash libvorbis. Each link's headers lead it, so
// only they are read (however long a comment makes them), not a whole movie of many megabytes at
// every open.
static int CheckSetupHeaders(const char *diskPath, OggVorbis_File *vorbis)
{
    FILE *file = fopen(diskPath, "rb");
    if (!file) return -1;
    int result = 0;
    for (long link = 0; result == 0 && link < ov_streams(vorbis); link++) {
        // A link's headers run from its start to where vorbisfile found its first audio.
        long start = vorbis->offsets ? (long)vorbis->offsets[link] : 0;
        long size = vorbis->offsets && vorbis->dataoffsets ? (long)(vorbis->dataoffsets[link] - start) : LONG_MAX;
        HeaderSpan span = {file, size};
        result = fseek(file, start, SEEK_SET) == 0 ? CheckOggVorbisSetupHeaders(ReadHeaderSpan, &span) : -1;
    }
    fclose(file);
    return result;
}

MmAudioTrack *MmOpenAudioTrack(const char *diskPath, int32_t volume)
{
    MmAudioTrack *track = (MmAudioTrack *)calloc(1, sizeof(MmAudioTrack));
    if (!track) return nullptr;
    // Opening reads the headers without decoding; the check comes before the first decode.
    if (ov_fopen(diskPath, &track->vorbis) != 0) {
        free(track);
        return nullptr;
    }
    if (CheckSetupHeaders(diskPath, &track->vorbis) != 0) {
        ov_clear(&track->vorbis);
        free(track);
        return nullptr;   // the picture plays on, silent
    }
    vorbis_info *info = ov_info(&track->vorbis, -1);
    track->stopSample = -1;
    track->channels = info ? info->channels : 0;
    track->rate = info && info->rate > 0 ? (uint32_t)info->rate : 0;
    track->blockAlign = 2 * (uint32_t)track->channels;
    // The mixer plays one or two channels at its rates; anything else leaves the movie silent.
    int playable = (track->channels == 1 || track->channels == 2) && track->rate >= DS_RATE_MIN && track->rate <= DS_RATE_MAX;
    if (!playable || StartRenderer(track, volume) != 0) {
        MmCloseAudioTrack(track);
        return nullptr;
    }
    return track;
}

void MmCloseAudioTrack(MmAudioTrack *track)
{
    if (!track) return;
    AudioRemoveFeeder(track);
    if (track->buffer) track->buffer->fn->Release(track->buffer);
    if (track->device) track->device->fn->Release(track->device);
    ov_clear(&track->vorbis);
    free(track);
}

void MmFollowStreamClock(MmAudioTrack *track, int64_t streamTime, int running)
{
    AudioLock();
    track->clockTime = streamTime;
    track->clockMicros = MmClockMicroseconds();
    track->running = running;
    int64_t sample = SampleAt(track, streamTime);
    if (PlayedSample(track) != sample) {
        track->stopSample = -1;
        Reposition(track, sample);
    }
    PlayOrStop(track);
    AudioUnlock();
}

void MmStopAudioTrackAt(MmAudioTrack *track, int64_t streamTime)
{
    AudioLock();
    track->stopSample = SampleAt(track, streamTime);
    PlayOrStop(track);
    AudioUnlock();
}

void MmSetAudioTrackVolume(MmAudioTrack *track, int32_t volume)
{
    track->buffer->fn->SetVolume(track->buffer, volume);
}
