// Static sounds: a file decoded whole into one buffer and its duplicates; each play takes the next
// buffer in turn so copies overlap. Also the stop, query, position and volume calls, which hand
// streamed sounds on to the streamed-sound code.
#include <cmath>

#include "lib/core/helpers.h"
#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/sound/sound_internal.h"
#include "platform/kernel/kernel.h"

int SoundCreationMode = 0;

// A static record that has its first buffer; the rest of the static calls need one.
static SoundHandleRecord *GetPlayableStaticRecord(SoundHandleRecord *r)
{
    return (r->bufferCount >= 1 && r->buffers[0].valid) ? r : nullptr;
}

// ================================================================================================
// loading
// ================================================================================================

int LoadSoundFileToHandle(const char *fileName, int bufferCount, int sharedStreamHandle)
{
    if (!SoundDevice)
        return -1;
    if (bufferCount > SOUND_BUFFER_MAX)
        bufferCount = SOUND_BUFFER_MAX;
    if (SoundCreationMode != 0) {
        int handle = AddSoundData(-1);
        if (handle == -1)
            return -1;
        if (AppendStreamSourceFile(fileName, 0, handle, SoundCreationMode, sharedStreamHandle) != 0) {
            DeleteSoundByHandle(handle, 0);
            return -1;
        }
        PrepareStreamSoundBuffer(handle);
        return handle;
    }
    uint8_t *image = nullptr;
    uint32_t size = 0;
    if (LoadFileImage(fileName, &image, &size) != 0) {
        WriteLogFormat("右記の音声ファイルのロードに失敗しました_1：%s", fileName);
        FreeMemoryTracked(image);
        return -1;
    }
    int handle = CreateSoundFromMemoryImage(image, size, bufferCount, -1);
    if (handle == -1)
        WriteLogFormat("右記の音声ファイルのロードに失敗しました_2：%s", fileName);
    FreeMemoryTracked(image);
    return handle;
}

// Decodes a file image whole: 0 with the PCM (the caller owns it), -1 (logged) when it cannot be
// decoded into something a buffer can play.
static int DecodeImageToPcm(const void *image, uint32_t size, WaveFormat *format, uint8_t **pcm, uint32_t *pcmSize)
{
    int decoded = DecodeSoundImage(image, size, format, pcm, pcmSize);
    if (decoded == -2)
        return WriteLogFormat("音声ファイルを格納するメモリ領域の確保に失敗しました");
    if (decoded != 0)
        return WriteLogFormat("音声ファイルのＰＣＭへの変換に失敗しました");
    // Nothing decoded, or a format no buffer takes, is refused here instead of ending the process.
    if (*pcmSize < DS_BUFFER_MIN_BYTES || *pcmSize > DS_BUFFER_MAX_BYTES || !IsPlayablePcmFormat(format)) {
        FreeMemoryTracked(*pcm);
        *pcm = nullptr;
        return WriteLogFormat("音声ファイルのＰＣＭへの変換に失敗しました");
    }
    return 0;
}

// Copies the PCM into every buffer (duplicates share memory, so this repeats harmlessly). 0 / -1.
static int FillStaticBuffers(SoundHandleRecord *r)
{
    for (int i = 0; i < r->bufferCount; i++) {
        void *p1 = nullptr, *p2 = nullptr;
        uint32_t n1 = 0, n2 = 0;
        if (LockSoundBufferEntry(&r->buffers[i], 0, r->pcmSize, &p1, &n1, &p2, &n2) != 0)
            return WriteLog("サウンドデータの転送に失敗しました_1");
        if (n1 > r->pcmSize)
            n1 = r->pcmSize;
        CopyBytes(p1, r->pcmData, n1);
        if (p2 && n2 <= r->pcmSize - n1)
            CopyBytes(p2, r->pcmData + n1, n2);
        if (UnlockSoundBufferEntry(&r->buffers[i], p1, n1, p2, n2) != 0)
            return WriteLog("サウンドデータの転送に失敗しました_2");
    }
    return 0;
}

int CreateSoundFromMemoryImage(const void *image, uint32_t size, int bufferCount, int sharedStreamHandle)
{
    if (!SoundDevice || bufferCount > SOUND_BUFFER_MAX)
        return -1;
    int handle = AddSoundData(-1);
    if (handle == -1)
        return -1;
    if (SoundCreationMode != 0) {
        if (AppendStreamSourceMemory(image, size, 0, handle, SoundCreationMode, sharedStreamHandle) != 0) {
            DeleteSoundByHandle(handle, 0);
            return -1;
        }
        PrepareStreamSoundBuffer(handle);
        return handle;
    }
    WaveFormat format;
    uint8_t *pcm = nullptr;
    uint32_t pcmSize = 0;
    if (DecodeImageToPcm(image, size, &format, &pcm, &pcmSize) != 0) {
        DeleteSoundByHandle(handle, 0);
        return -1;
    }
    MakeSoundHandleBuffers(&format, pcmSize, SOUND_KIND_STATIC, bufferCount, handle);
    SoundHandleRecord *r = LookupSoundRecord(handle);
    r->format = format;
    r->pcmData = pcm;
    r->pcmSize = pcmSize;
    if (FillStaticBuffers(r) != 0) {
        DeleteSoundByHandle(handle, 0);
        return -1;
    }
    return handle;
}

// ================================================================================================
// play, stop, query
// ================================================================================================

void WaitWhileSoundPlays(int (*playing)(int handle), int handle)
{
    if (PumpMessages() != 0)
        return;
    while (playing(handle) == 1) {
        KSleep(1);
        if (PumpMessages() != 0)
            return;
    }
}

// Starts the next buffer of a static sound in turn. 1 when it started, 0 when restart 0 found it
// busy, -1 when it cannot play. Sound lock held.
static int StartStaticPlay(SoundHandleRecord *r, int playType, int restartFlag)
{
    if (!GetPlayableStaticRecord(r))
        return -1;
    int current = r->currentBuffer;
    if (current < 0 || current >= r->bufferCount)
        current = 0;
    uint32_t cursor = ReadSoundBufferEntryCursor(&r->buffers[current]);
    // Wraps also when the index stands at or above the count.
    int next = current + 1 >= r->bufferCount ? 0 : current + 1;
    r->currentBuffer = next;
    SoundBufferEntry *entry = &r->buffers[next];
    uint32_t status = 0;
    if (GetSoundBufferEntryStatus(entry, &status) != 0)
        return -1;
    if (status & DS_STATUS_PLAYING) {
        if (restartFlag == 0)
            return 0;
        StopSoundBufferEntry(entry);
    }
    SetSoundBufferEntryPosition(entry, restartFlag == 1 ? 0 : cursor);
    if (PlaySoundBufferEntry(entry, playType == SOUND_PLAY_LOOP) != 0)
        return -1;
    r->playStartTime = KGetTime();
    return 1;
}

int PlaySoundByHandle(int handle, int playType, int restartFlag)
{
    int streamed;
    {
        SoundLockGuard hold;
        SoundHandleRecord *r = GetStartedSoundRecord(handle);
        if (!r)
            return -1;
        streamed = r->kind == SOUND_KIND_STREAM;
        if (!streamed) {
            int started = StartStaticPlay(r, playType, restartFlag);
            if (started <= 0)
                return started;
        }
    }
    // A streamed sound locks for itself and waits without the lock.
    if (streamed)
        return PlayStreamSound(handle, playType, restartFlag);
    if (playType == SOUND_PLAY_WAIT)
        WaitWhileSoundPlays(QuerySoundPlaying, handle);
    return 0;
}

int StopSoundByHandle(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    if (r->kind == SOUND_KIND_STREAM)
        return HaltStreamSound(handle);
    if (!GetPlayableStaticRecord(r))
        return -1;
    for (int i = 0; i < r->bufferCount; i++) {
        uint32_t status = 0;
        if (GetSoundBufferEntryStatus(&r->buffers[i], &status) != 0)
            return -1;
        if (status & DS_STATUS_PLAYING)
            StopSoundBufferEntry(&r->buffers[i]);
    }
    return 0;
}

int QuerySoundPlaying(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    if (r->kind == SOUND_KIND_STREAM)
        return QueryStreamSoundPlaying(handle);
    if (!GetPlayableStaticRecord(r))
        return -1;
    for (int i = 0; i < r->bufferCount; i++) {
        uint32_t status = 0;
        if (GetSoundBufferEntryStatus(&r->buffers[i], &status) == 0 && (status & DS_STATUS_PLAYING))
            return 1;
    }
    return 0;
}

int GetSoundPlayPositionMs(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    if (r->kind == SOUND_KIND_STREAM)
        return ReadStreamPositionMs(handle);
    if (!GetPlayableStaticRecord(r))
        return -1;
    int current = r->currentBuffer < r->bufferCount ? r->currentBuffer : 0;
    uint32_t cursor = ReadSoundBufferEntryCursor(&r->buffers[current]);
    uint32_t bytesPerSecond = (uint32_t)r->format.blockAlign * r->format.samplesPerSec;
    if (bytesPerSecond == 0)
        return -1;
    return TruncDoubleToInt((double)cursor * 1000.0 / (double)bytesPerSecond);
}

// ================================================================================================
// volume
// ================================================================================================

// 0..255 to hundredths of a decibel: 1000 * log10(v / 255), -10000 for silence.
static int VolumeToAttenuation(int volume)
{
    if (volume > 255)
        volume = 255;
    if (volume <= 0)
        return DS_VOLUME_MIN;
    double x = volume * 0.00392156862745098;
    int value = TruncDoubleToInt(log10(x) * 1000.0);
    return value < DS_VOLUME_MIN ? DS_VOLUME_MIN : value;
}

int ChangeSoundVolume(int volume, int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    if (r->kind == SOUND_KIND_STATIC && !GetPlayableStaticRecord(r))
        return -1;
    int value = VolumeToAttenuation(volume);
    for (int i = 0; i < r->bufferCount && i < SOUND_BUFFER_MAX; i++)
        SetSoundBufferEntryVolume(&r->buffers[i], value);
    return 0;
}
