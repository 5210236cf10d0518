// Sound handles and their buffers: the 4096-slot table, the buffer entry operations, making a
// handle's buffers (one buffer and its duplicates, or one ring) and deleting handles.
#include <mutex>

#include "lib/core/helpers.h"
#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/sound/sound_internal.h"

static HandleRecordHead *sSoundSlots[SOUND_HANDLE_MAX];
HandleTable SoundHandleTable = {sSoundSlots, SOUND_HANDLE_MAX, 0, 0, 0, HANDLE_TYPE_SOUND};

static std::recursive_mutex sSoundLock;

SoundLockGuard::SoundLockGuard() { sSoundLock.lock(); }
SoundLockGuard::~SoundLockGuard() { sSoundLock.unlock(); }

SoundHandleRecord *LookupSoundRecord(int handle)
{
    return (SoundHandleRecord *)LookupHandle(&SoundHandleTable, handle);
}

SoundHandleRecord *GetStartedSoundRecord(int handle)
{
    return SoundDevice ? LookupSoundRecord(handle) : nullptr;
}

// ================================================================================================
// buffer entries
// ================================================================================================

int CreateSoundBufferEntry(SoundBufferEntry *entry, const DsBufferDesc *desc)
{
    if (entry->valid || !SoundDevice)
        return -1;
    entry->buffer = nullptr;
    if (SoundDevice->fn->CreateSoundBuffer(SoundDevice, desc, &entry->buffer, nullptr) < 0) {
        entry->buffer = nullptr;
        return -1;
    }
    entry->valid = 1;
    return 0;
}

int DuplicateSoundBufferEntry(SoundBufferEntry *entry, const SoundBufferEntry *source)
{
    if (entry->valid || !source->valid || !SoundDevice)
        return -1;
    entry->buffer = nullptr;
    if (SoundDevice->fn->DuplicateSoundBuffer(SoundDevice, source->buffer, &entry->buffer) < 0) {
        entry->buffer = nullptr;
        return -1;
    }
    entry->valid = 1;
    return 0;
}

int ReleaseSoundBufferEntry(SoundBufferEntry *entry)
{
    if (!entry->valid)
        return -1;
    entry->buffer->fn->Release(entry->buffer);
    entry->buffer = nullptr;
    entry->valid = 0;
    return 0;
}

int PlaySoundBufferEntry(SoundBufferEntry *entry, int loop)
{
    if (!entry->valid)
        return -1;
    entry->buffer->fn->Play(entry->buffer, 0, 0, loop ? (uint32_t)DS_PLAY_LOOPING : 0u);
    return 0;
}

int StopSoundBufferEntry(SoundBufferEntry *entry)
{
    if (!entry->valid)
        return -1;
    entry->buffer->fn->Stop(entry->buffer);
    return 0;
}

int GetSoundBufferEntryStatus(SoundBufferEntry *entry, uint32_t *status)
{
    if (!entry->valid)
        return -1;
    return entry->buffer->fn->GetStatus(entry->buffer, status) < 0 ? -1 : 0;
}

int LockSoundBufferEntry(SoundBufferEntry *entry, uint32_t offset, uint32_t bytes, void **part1, uint32_t *bytes1,
                         void **part2, uint32_t *bytes2)
{
    if (!entry->valid)
        return -1;
    return entry->buffer->fn->Lock(entry->buffer, offset, bytes, part1, bytes1, part2, bytes2, 0) < 0 ? -1 : 0;
}

int UnlockSoundBufferEntry(SoundBufferEntry *entry, void *part1, uint32_t bytes1, void *part2, uint32_t bytes2)
{
    if (!entry->valid)
        return -1;
    return entry->buffer->fn->Unlock(entry->buffer, part1, bytes1, part2, bytes2) < 0 ? -1 : 0;
}

int SetSoundBufferEntryVolume(SoundBufferEntry *entry, int volume)
{
    if (!entry->valid)
        return -1;
    entry->buffer->fn->SetVolume(entry->buffer, volume);
    return 0;
}

int SetSoundBufferEntryPosition(SoundBufferEntry *entry, uint32_t offset)
{
    if (!entry->valid)
        return -1;
    entry->buffer->fn->SetCurrentPosition(entry->buffer, offset);
    return 0;
}

uint32_t ReadSoundBufferEntryCursor(SoundBufferEntry *entry)
{
    uint32_t play = 0;
    if (entry->valid && entry->buffer->fn->GetCurrentPosition(entry->buffer, &play, nullptr) < 0)
        play = 0;
    return play;
}

// ================================================================================================
// the table
// ================================================================================================

int PickSoundTableSlot(const HandleTable *table)
{
    if (table->usedBound < table->size)
        return table->usedBound;
    for (int slot = 0; slot < table->size; slot++)
        if (!table->records[slot])
            return slot;
    return -1;
}

void StoreSoundTableRecord(HandleTable *table, int slot, HandleRecordHead *record)
{
    table->records[slot] = record;
    table->usedCount++;
    if (slot >= table->usedBound)
        table->usedBound = slot + 1;
}

int AddSoundData(int handle)
{
    SoundLockGuard hold;
    HandleTable *t = &SoundHandleTable;
    if (t->usedCount >= SOUND_HANDLE_MAX)
        return WriteLog("サウンドの数が許容量を越えました\n");
    int slot, check;
    if (handle == -1) {
        slot = PickSoundTableSlot(t);
        check = t->nextCheck;
    } else {
        // A given handle is only taken into its own empty slot.
        slot = HandleSlot(handle);
        check = (handle >> 16) & HANDLE_CHECK_MASK;
        if (handle < 0 || ((handle >> 16) & HANDLE_TYPE_MASK) != HANDLE_TYPE_SOUND || slot >= SOUND_HANDLE_MAX ||
            sSoundSlots[slot])
            return -1;
    }
    if (slot < 0)
        return WriteLog("サウンドの数が許容量を越えました\n");
    SoundHandleRecord *record = (SoundHandleRecord *)AllocMemoryZeroed(sizeof(SoundHandleRecord), "", 0);
    if (!record)
        return WriteLog("メモリ領域の確保に失敗しました in AddSoundData");
    record->sourceCount = 0;
    record->check = check;
    if (handle == -1)
        t->nextCheck = t->nextCheck >= HANDLE_CHECK_MASK ? 0 : t->nextCheck + 1;
    StoreSoundTableRecord(t, slot, (HandleRecordHead *)record);
    return MakeHandle(t, slot, check);
}

int CountSoundSamples(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    if (r->kind == SOUND_KIND_STREAM)
        return r->totalSamples;
    if (r->format.blockAlign == 0)
        return -1;
    return (int)(r->pcmSize / r->format.blockAlign);
}

int MeasureSoundLengthMs(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    int samples = CountSoundSamples(handle);
    if (!r || samples < 0 || r->format.samplesPerSec == 0)
        return -1;
    return TruncDoubleToInt((double)samples * 1000.0 / (double)r->format.samplesPerSec);
}

// ================================================================================================
// making buffers
// ================================================================================================

static void FillBufferDesc(DsBufferDesc *desc, uint32_t flags, uint32_t bytes, const WaveFormat *format)
{
    FillBytes(desc, 0, sizeof *desc);
    desc->size = sizeof *desc;
    desc->flags = flags;
    desc->bufferBytes = bytes;
    desc->format = const_cast<WaveFormat *>(format);
}

static void MakeStaticBuffers(SoundHandleRecord *r, const WaveFormat *format, uint32_t bytes, int count)
{
    WaveFormat f = *format;
    DsBufferDesc desc;
    if (count >= 1) {
        FillBufferDesc(&desc, SOUND_STATIC_BUFFER_FLAGS, bytes, &f);
        if (CreateSoundBufferEntry(&r->buffers[0], &desc) != 0) {
            FillBufferDesc(&desc, SOUND_STATIC_RETRY_FLAGS, bytes, &f);
            if (CreateSoundBufferEntry(&r->buffers[0], &desc) != 0)
                ExitWithError("DirectSoundBuffer の作成に失敗しました");
        }
    }
    if (count > SOUND_BUFFER_MAX)
        count = SOUND_BUFFER_MAX;
    r->bufferCount = count;
    for (int i = 1; i < count; i++) {
        if (DuplicateSoundBufferEntry(&r->buffers[i], &r->buffers[0]) != 0) {
            r->bufferCount = i;
            break;
        }
    }
}

int MakeSoundHandleBuffers(const WaveFormat *format, uint32_t bytes, int kind, int count, int handle)
{
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    if (kind == SOUND_KIND_STATIC) {
        MakeStaticBuffers(r, format, bytes, count);
    } else {
        WaveFormat f = *format;
        DsBufferDesc desc;
        FillBufferDesc(&desc, SOUND_RING_BUFFER_FLAGS, 6 * f.avgBytesPerSec, &f);
        if (CreateSoundBufferEntry(&r->buffers[0], &desc) != 0)
            ExitWithError("ストリーム風サウンドバッファの作成に失敗しました");
        r->bufferCount = 1;
    }
    r->kind = kind;
    if (kind == SOUND_KIND_STREAM)
        AppendListNode(&StreamSoundList.head, &r->listNode, handle, (intptr_t)r);
    return 0;
}

// ================================================================================================
// deleting
// ================================================================================================

// Closes and frees what the sources of a streamed sound hold.
static void ReleaseStreamSources(SoundHandleRecord *r)
{
    for (int i = 0; i < r->sourceCount && i <= STREAM_SOURCE_MAX; i++) {
        StreamSoundSourceEntry *src = &r->sources[i];
        StreamRecord decoderSource = src->decoder.source;
        CloseSoundDecoder(&src->decoder);
        FreeMemoryTracked(src->image);
        src->image = nullptr;
        // A kind-3 source opened by the module is its data file: closed here.
        if (r->libraryOpened[i] && src->kind == 3 && decoderSource.functions.close)
            decoderSource.functions.close(decoderSource.data);
        if (src->imageStream.data && src->imageStream.functions.close)
            src->imageStream.functions.close(src->imageStream.data);
        src->imageStream.data = 0;
    }
}

int DeleteSoundByHandle(int handle, int)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    if (r->kind == SOUND_KIND_STREAM) {
        HaltStreamSound(handle);
        SoundHandleRecord *shared = LookupSoundRecord(r->sharedStreamHandle);
        if (shared) {
            shared->sharerCount--;
            if (r->sharedStreamHandle != handle && shared->pendingDelete)
                DeleteSoundByHandle(r->sharedStreamHandle, 0);
            r->sharedStreamHandle = -1;
        }
        if (r->sharerCount != 0) {
            r->pendingDelete = 1;
            return 0;
        }
        RemoveListNode(&r->listNode);
        ReleaseStreamSources(r);
        if (r->buffers[0].valid)
            ReleaseSoundBufferEntry(&r->buffers[0]);
    } else {
        if (r->buffers[0].valid)
            StopSoundByHandle(handle);
        for (int i = 0; i < r->bufferCount && i < SOUND_BUFFER_MAX; i++)
            if (r->buffers[i].valid)
                ReleaseSoundBufferEntry(&r->buffers[i]);
        FreeMemoryTracked(r->pcmData);
        r->pcmData = nullptr;
    }
    RemoveHandleRecord(&SoundHandleTable, handle);
    FreeMemoryTracked(r);
    return 0;
}

int DeleteAllSoundHandles(int)
{
    SoundLockGuard hold;
    if (!SoundDevice)
        return -1;
    for (int slot = 0; slot < SOUND_HANDLE_MAX; slot++) {
        SoundHandleRecord *r = (SoundHandleRecord *)sSoundSlots[slot];
        if (r)
            DeleteSoundByHandle(MakeHandle(&SoundHandleTable, slot, r->check), 0);
    }
    return 0;
}
