// The sound-buffer device and buffer objects. Everything runs under the one audio lock; the mixer
// (mixer.cpp) reads the same records.
#include "platform/dsound/dsound.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/dsound/audio_internal.h"
#include "platform/dsound/mixer.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/standin_hooks.h"

// Holds the audio lock for one scope.
struct DsScopedLock {
    DsScopedLock() { AudioLock(); }
    ~DsScopedLock() { AudioUnlock(); }
};

struct DsDeviceRecord {
    DsDevice object;            // the public view; first
    int refs;
    int initialized;            // 1 after Initialize (the device then holds the output open)
    uint32_t cooperativeLevel;  // last level set
    DsBufferRecord *primary;    // made on the first request, one per device
};

DsGlobals gDs;

extern const DsBufferFns kBufferFns;
extern const DsDeviceFns kDeviceFns;

static DsBufferRecord *AsBuffer(DsBuffer *b) { return reinterpret_cast<DsBufferRecord *>(b); }
static DsDeviceRecord *AsDevice(DsDevice *d) { return reinterpret_cast<DsDeviceRecord *>(d); }

DsBufferRecord *DsFirstBuffer(void) { return gDs.first; }

int32_t DsGainForVolume(int32_t volume)
{
    if (volume <= DS_VOLUME_MIN)
        return 0;
    if (volume >= 0)
        return 65536;
    return (int32_t)lround(pow(10.0, volume / 2000.0) * 65536.0);
}

// 1 when the call of that kind is to fail now. Lock held.
static int Fails(DsFaultKind kind) { return StandInFault(STAND_IN_DSOUND, kind, 0) != 0; }

// ================================================================================================
// Buffer records
// ================================================================================================

// A new record linked into the live list, volume 0 dB, stopped at 0. Lock held.
static DsBufferRecord *NewBufferRecord(uint32_t flags, const WaveFormat *format)
{
    DsBufferRecord *b = (DsBufferRecord *)calloc(1, sizeof(DsBufferRecord));
    if (!b)
        return nullptr;
    b->object.fn = &kBufferFns;
    b->refs = 1;
    b->flags = flags;
    b->format = *format;
    b->format.extraSize = 0;
    b->gainQ16 = 65536;
    b->next = gDs.first;
    if (gDs.first)
        gDs.first->prev = b;
    gDs.first = b;
    StandInCountObject(STAND_IN_DSOUND, 0, 1);
    return b;
}

// Unlinks and frees a record and drops its share of the memory. Lock held.
static void FreeBufferRecord(DsBufferRecord *b)
{
    if (b->prev)
        b->prev->next = b->next;
    else
        gDs.first = b->next;
    if (b->next)
        b->next->prev = b->prev;
    if (b->memory && --b->memory->refs == 0) {
        free(b->memory->bytes);
        free(b->memory);
    }
    StandInCountObject(STAND_IN_DSOUND, 0, -1);
    free(b);
}

// ================================================================================================
// Buffer calls
// ================================================================================================

static uint32_t BufAddRef(DsBuffer *self)
{
    DsScopedLock hold;
    return (uint32_t)++AsBuffer(self)->refs;
}

static uint32_t BufRelease(DsBuffer *self)
{
    DsScopedLock hold;
    DsBufferRecord *b = AsBuffer(self);
    int left = --b->refs;
    if (left > 0)
        return (uint32_t)left;
    FreeBufferRecord(b);
    return 0;
}

// Play cursor in bytes; the write cursor runs 15 ms ahead while playing.
static int32_t BufGetCurrentPosition(DsBuffer *self, uint32_t *play, uint32_t *write)
{
    DsScopedLock hold;
    DsBufferRecord *b = AsBuffer(self);
    if (b->primary) {
        if (play)
            *play = 0;
        if (write)
            *write = 0;
        return DS_OK;
    }
    uint32_t cursor = b->frame * b->format.blockAlign;
    if (play)
        *play = cursor;
    if (write) {
        uint32_t ahead = b->playing ? (b->format.samplesPerSec * 15 / 1000) * b->format.blockAlign : 0;
        *write = (uint32_t)(((uint64_t)cursor + ahead) % b->memory->size);
    }
    return DS_OK;
}

static int32_t BufGetStatus(DsBuffer *self, uint32_t *status)
{
    if (!status)
        return DS_ERR_INVALID_PARAM;
    DsScopedLock hold;
    if (Fails(DS_FAULT_GET_STATUS))
        return DS_ERR_INVALID_CALL;
    StandInQuery(STAND_IN_DSOUND, DS_QUERY_BUFFER_STATUS);
    DsBufferRecord *b = AsBuffer(self);
    if (b->primary) {
        *status = AudioIsOutputOpen() ? (uint32_t)(DS_STATUS_PLAYING | DS_STATUS_LOOPING) : 0u;
        return DS_OK;
    }
    *status = (b->playing ? (uint32_t)DS_STATUS_PLAYING : 0u) | (b->playing && b->looping ? (uint32_t)DS_STATUS_LOOPING : 0u);
    return DS_OK;
}

static int32_t BufGetVolume(DsBuffer *self, int32_t *volume)
{
    if (!volume)
        return DS_ERR_INVALID_PARAM;
    DsScopedLock hold;
    DsBufferRecord *b = AsBuffer(self);
    if (!(b->flags & DS_BUF_CTRL_VOLUME))
        return DS_ERR_CONTROL_UNAVAIL;
    *volume = b->volume;
    return DS_OK;
}

static int32_t BufGetFormat(DsBuffer *self, WaveFormat *format)
{
    if (!format)
        return DS_ERR_INVALID_PARAM;
    DsScopedLock hold;
    DsBufferRecord *b = AsBuffer(self);
    if (b->primary)
        AudioGetDeviceFormat(format);
    else
        *format = b->format;
    return DS_OK;
}

// Remembers a handed-out lock; the oldest is forgotten when all slots are taken. Lock held.
static void RememberLock(DsBufferRecord *b, const DsLockRecord &lock)
{
    for (int i = 0; i < DS_MAX_LOCKS; i++) {
        if (!b->locks[i].part1) {
            b->locks[i] = lock;
            return;
        }
    }
    memmove(&b->locks[0], &b->locks[1], sizeof(DsLockRecord) * (DS_MAX_LOCKS - 1));
    b->locks[DS_MAX_LOCKS - 1] = lock;
}

static int32_t BufLock(DsBuffer *self, uint32_t off, uint32_t bytes, void **part1, uint32_t *bytes1,
                       void **part2, uint32_t *bytes2, uint32_t flags)
{
    if (!part1 || !bytes1)
        return DS_ERR_INVALID_PARAM;
    DsScopedLock hold;
    DsBufferRecord *b = AsBuffer(self);
    if (b->primary)
        return DS_ERR_INVALID_CALL;
    uint32_t size = b->memory->size;
    if (flags & DS_LOCK_FROM_WRITE_CURSOR)
        BufGetCurrentPosition(self, nullptr, &off);
    if (flags & DS_LOCK_ENTIRE_BUFFER)
        bytes = size;
    if (off >= size || bytes == 0 || bytes > size)
        return DS_ERR_INVALID_PARAM;
    if (Fails(DS_FAULT_LOCK))
        return DS_ERR_INVALID_CALL;
    DsLockRecord lock;
    lock.part1 = b->memory->bytes + off;
    lock.bytes1 = bytes < size - off ? bytes : size - off;
    lock.part2 = bytes > lock.bytes1 ? b->memory->bytes : nullptr;
    lock.bytes2 = bytes - lock.bytes1;
    if (lock.bytes2 && !part2)
        return DS_ERR_INVALID_PARAM;  // the region wraps but the caller takes only one part
    RememberLock(b, lock);
    *part1 = lock.part1;
    *bytes1 = lock.bytes1;
    if (part2)
        *part2 = lock.part2;
    if (bytes2)
        *bytes2 = lock.bytes2;
    return DS_OK;
}

static int32_t BufUnlock(DsBuffer *self, void *part1, uint32_t bytes1, void *part2, uint32_t bytes2)
{
    DsScopedLock hold;
    DsBufferRecord *b = AsBuffer(self);
    if (Fails(DS_FAULT_UNLOCK))
        return DS_ERR_INVALID_CALL;
    for (int i = 0; i < DS_MAX_LOCKS; i++) {
        DsLockRecord &l = b->locks[i];
        if (!l.part1 || l.part1 != part1 || bytes1 > l.bytes1)
            continue;
        if (part2 && (part2 != l.part2 || bytes2 > l.bytes2))
            continue;
        memmove(&b->locks[i], &b->locks[i + 1], sizeof(DsLockRecord) * (DS_MAX_LOCKS - 1 - i));
        b->locks[DS_MAX_LOCKS - 1] = DsLockRecord{};
        return DS_OK;
    }
    return DS_ERR_INVALID_PARAM;
}

static int32_t BufPlay(DsBuffer *self, uint32_t reserved, uint32_t priority, uint32_t flags)
{
    DsScopedLock hold;
    DsBufferRecord *b = AsBuffer(self);
    b->looping = (flags & DS_PLAY_LOOPING) ? 1 : 0;
    if (!b->primary)
        b->playing = 1;
    return DS_OK;
}

static int32_t BufStop(DsBuffer *self)
{
    DsScopedLock hold;
    AsBuffer(self)->playing = 0;
    return DS_OK;
}

static int32_t BufSetCurrentPosition(DsBuffer *self, uint32_t off)
{
    DsScopedLock hold;
    DsBufferRecord *b = AsBuffer(self);
    if (b->primary)
        return DS_ERR_INVALID_CALL;
    if (off >= b->memory->size)
        return DS_ERR_INVALID_PARAM;
    b->frame = off / b->format.blockAlign;
    b->fraction = 0;
    if (b->frame >= b->frames)
        b->frame = 0;  // inside the trailing partial frame
    return DS_OK;
}

static int32_t BufSetFormat(DsBuffer *self, const WaveFormat *format)
{
    {
        DsScopedLock hold;
        if (!AsBuffer(self)->primary)
            return DS_ERR_INVALID_CALL;
        if (!AudioIsMixableFormat(format))
            return DS_ERR_INVALID_PARAM;
        if (Fails(DS_FAULT_SET_FORMAT))
            return DS_ERR_INVALID_CALL;
    }
    // Outside the lock: an output reopen waits for the output thread.
    if (AudioSetDeviceFormat(format) != 0)
        return DS_ERR_INVALID_PARAM;
    DsScopedLock hold;
    AudioGetDeviceFormat(&AsBuffer(self)->format);
    return DS_OK;
}

static int32_t BufSetVolume(DsBuffer *self, int32_t volume)
{
    DsScopedLock hold;
    DsBufferRecord *b = AsBuffer(self);
    if (!(b->flags & DS_BUF_CTRL_VOLUME))
        return DS_ERR_CONTROL_UNAVAIL;
    if (volume < DS_VOLUME_MIN || volume > DS_VOLUME_MAX)
        return DS_ERR_INVALID_PARAM;
    b->volume = volume;
    b->gainQ16 = DsGainForVolume(volume);
    return DS_OK;
}

const DsBufferFns kBufferFns = {
    BufAddRef, BufRelease, BufGetCurrentPosition, BufGetStatus, BufGetVolume, BufGetFormat, BufLock,
    BufUnlock, BufPlay, BufStop, BufSetCurrentPosition, BufSetFormat, BufSetVolume,
};

// ================================================================================================
// Device calls
// ================================================================================================

static uint32_t DevAddRef(DsDevice *self)
{
    DsScopedLock hold;
    return (uint32_t)++AsDevice(self)->refs;
}

static uint32_t DevRelease(DsDevice *self)
{
    DsDeviceRecord *d = AsDevice(self);
    int closeOutput = 0;
    {
        DsScopedLock hold;
        int left = --d->refs;
        if (left > 0)
            return (uint32_t)left;
        if (d->primary)
            BufRelease(&d->primary->object);
        closeOutput = d->initialized && --gDs.outputUsers == 0;
        free(d);
    }
    if (closeOutput)
        AudioCloseOutput();
    return 0;
}

static int32_t DevInitialize(DsDevice *self, const DsGuid *guid)
{
    DsDeviceRecord *d = AsDevice(self);
    int openOutput;
    {
        DsScopedLock hold;
        if (d->initialized)
            return DS_ERR_ALLOCATED;
        if (Fails(DS_FAULT_INITIALIZE))
            return DS_ERR_NO_DRIVER;
        openOutput = gDs.outputUsers == 0;
    }
    if (openOutput) {
        WaveFormat format;
        AudioGetDeviceFormat(&format);
        if (AudioOpenOutput(&format) != 0)
            return DS_ERR_NO_DRIVER;
    }
    DsScopedLock hold;
    d->initialized = 1;
    gDs.outputUsers++;
    return DS_OK;
}

static int32_t DevSetCooperativeLevel(DsDevice *self, intptr_t window, uint32_t level)
{
    DsScopedLock hold;
    DsDeviceRecord *d = AsDevice(self);
    if (!d->initialized)
        return DS_ERR_UNINITIALIZED;
    if (level < DS_COOP_NORMAL || level > 3)
        return DS_ERR_INVALID_PARAM;
    if (Fails(DS_FAULT_SET_COOPERATIVE_LEVEL))
        return DS_ERR_INVALID_CALL;
    d->cooperativeLevel = level;
    return DS_OK;
}

// The capabilities of a software mixer that plays every PCM format at any rate.
static void DefaultCaps(DsCaps *caps)
{
    memset(caps, 0, sizeof *caps);
    caps->size = sizeof *caps;
    caps->flags = DS_CAPS_PRIMARY_MONO | DS_CAPS_PRIMARY_STEREO | DS_CAPS_PRIMARY_8BIT | DS_CAPS_PRIMARY_16BIT |
                  DS_CAPS_CONTINUOUS_RATE | DS_CAPS_EMUL_DRIVER | DS_CAPS_SECONDARY_MONO |
                  DS_CAPS_SECONDARY_STEREO | DS_CAPS_SECONDARY_8BIT | DS_CAPS_SECONDARY_16BIT;
    caps->minSecondaryRate = DS_RATE_MIN;
    caps->maxSecondaryRate = DS_RATE_MAX;
    caps->primaryBuffers = 1;
}

static int32_t DevGetCaps(DsDevice *self, DsCaps *caps)
{
    if (!caps || caps->size != sizeof(DsCaps))
        return DS_ERR_INVALID_PARAM;
    DsScopedLock hold;
    if (gDs.capsOverridden)
        *caps = gDs.capsOverride;
    else
        DefaultCaps(caps);
    caps->size = sizeof(DsCaps);
    return DS_OK;
}

// The device's primary buffer, a new reference. Lock held.
static int32_t GetPrimary(DsDeviceRecord *d, const DsBufferDesc *desc, DsBuffer **out)
{
    if (desc->bufferBytes != 0 || desc->format)
        return DS_ERR_INVALID_PARAM;
    if (!d->primary) {
        WaveFormat format;
        AudioGetDeviceFormat(&format);
        d->primary = NewBufferRecord(desc->flags, &format);
        if (!d->primary)
            return DS_ERR_OUT_OF_MEMORY;
        d->primary->primary = 1;
    }
    d->primary->refs++;
    *out = &d->primary->object;
    return DS_OK;
}

// A secondary with its own memory filled with the format's silence. Lock held.
static int32_t NewSecondary(const DsBufferDesc *desc, DsBuffer **out)
{
    const WaveFormat *f = desc->format;
    if (!AudioIsMixableFormat(f) || desc->bufferBytes < DS_BUFFER_MIN_BYTES || desc->bufferBytes > DS_BUFFER_MAX_BYTES)
        return DS_ERR_INVALID_PARAM;
    DsSampleMemory *m = (DsSampleMemory *)calloc(1, sizeof(DsSampleMemory));
    uint8_t *bytes = (uint8_t *)malloc(desc->bufferBytes);
    DsBufferRecord *b = (m && bytes) ? NewBufferRecord(desc->flags, f) : nullptr;
    if (!b) {
        free(m);
        free(bytes);
        return DS_ERR_OUT_OF_MEMORY;
    }
    memset(bytes, f->bitsPerSample == 8 ? 0x80 : 0, desc->bufferBytes);
    m->bytes = bytes;
    m->size = desc->bufferBytes;
    m->refs = 1;
    m->id = ++gDs.nextMemoryId;
    b->memory = m;
    b->frames = m->size / f->blockAlign;
    *out = &b->object;
    return DS_OK;
}

static int32_t DevCreateSoundBuffer(DsDevice *self, const DsBufferDesc *desc, DsBuffer **out, void *outer)
{
    if (!desc || !out || outer || desc->size != sizeof(DsBufferDesc))
        return DS_ERR_INVALID_PARAM;
    DsScopedLock hold;
    DsDeviceRecord *d = AsDevice(self);
    *out = nullptr;
    if (!d->initialized)
        return DS_ERR_UNINITIALIZED;
    if (StandInFault(STAND_IN_DSOUND, DS_FAULT_CREATE_BUFFER, desc->flags))
        return DS_ERR_INVALID_CALL;
    if (desc->flags & DS_BUF_PRIMARY)
        return GetPrimary(d, desc, out);
    return NewSecondary(desc, out);
}

static int32_t DevDuplicateSoundBuffer(DsDevice *self, DsBuffer *source, DsBuffer **out)
{
    if (!source || !out)
        return DS_ERR_INVALID_PARAM;
    DsScopedLock hold;
    *out = nullptr;
    DsBufferRecord *src = AsBuffer(source);
    if (!AsDevice(self)->initialized)
        return DS_ERR_UNINITIALIZED;
    if (src->primary)
        return DS_ERR_INVALID_CALL;
    if (Fails(DS_FAULT_DUPLICATE))
        return DS_ERR_OUT_OF_MEMORY;
    DsBufferRecord *b = NewBufferRecord(src->flags, &src->format);
    if (!b)
        return DS_ERR_OUT_OF_MEMORY;
    b->memory = src->memory;
    b->memory->refs++;
    b->frames = src->frames;
    b->volume = src->volume;
    b->gainQ16 = src->gainQ16;
    *out = &b->object;
    return DS_OK;
}

const DsDeviceFns kDeviceFns = {
    DevAddRef, DevRelease, DevInitialize, DevSetCooperativeLevel, DevGetCaps, DevCreateSoundBuffer,
    DevDuplicateSoundBuffer,
};

// ================================================================================================
// Entry points
// ================================================================================================

int32_t DsCreateDevice(DsDevice **out)
{
    if (!out)
        return DS_ERR_INVALID_PARAM;
    *out = nullptr;
    DsScopedLock hold;
    if (!gDs.moduleRegistered)
        DsRegisterModule();
    if (Fails(DS_FAULT_CREATE_DEVICE))
        return DS_ERR_NO_DRIVER;
    DsDeviceRecord *d = (DsDeviceRecord *)calloc(1, sizeof(DsDeviceRecord));
    if (!d)
        return DS_ERR_OUT_OF_MEMORY;
    d->object.fn = &kDeviceFns;
    d->refs = 1;
    *out = &d->object;
    return DS_OK;
}

int32_t DsEnumerate(DsEnumCallback callback, void *context)
{
    static const DsGuid kOutputGuid = {0x44415A52, 0x4155, 0x4449, {0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
    if (!callback)
        return DS_ERR_INVALID_PARAM;
    if (!callback(nullptr, "Primary Sound Driver", "", context))
        return DS_OK;
    char name[160];
    char module[16];
    {
        DsScopedLock hold;
        snprintf(name, sizeof name, "%s", AudioIsOutputOpen() ? AudioGetDeviceName() : "Default Audio Output");
        snprintf(module, sizeof module, "%s", AudioGetBackendName());
    }
    callback(&kOutputGuid, name, module, context);
    return DS_OK;
}

char gDsModuleName[16] = "DSOUND.DLL";
const KModuleExport kDsExports[] = {{"DirectSoundEnumerateA", (void *)DsEnumerate}, {nullptr, nullptr}};

int DsRegisterModule(void)
{
    DsScopedLock hold;
    if (KRegisterModule(gDsModuleName, kDsExports) != 0)
        return -1;
    gDs.moduleRegistered = 1;
    return 0;
}
