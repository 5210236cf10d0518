// Stand-in for the sound-buffer device the sound module plays through: a device object that makes
// buffers and a buffer object with the usual lock / play / stop / position / volume calls. Every
// buffer is mixed by the one process mixer (platform/dsound/mixer.h) into SDL2 audio out, a
// real-time null sink, or a manual sink that tests step by hand.
//
// Objects are plain structs whose first field is a table of calls, used as
//     buffer->fn->Lock(buffer, ...);
// Every call is safe from any thread (one lock for all audio). Results are DS_OK (0) or a negative
// DS_ERR_* code, so "result < 0" is a failure.
//
// Behaviour the sound module relies on:
// - Duplicates share the sample memory of their source and have their own play state and cursor.
// - Lock(off, n) wraps: part 1 runs from off to at most the end, part 2 is the buffer start with the
//   rest (or null and 0). Locking never blocks the mixer; the caller writes where the mixer is not
//   reading (behind the play cursor), which keeps the two disjoint. A thread checker may still
//   report the writes through Lock pointers against the mixer's reads: that race is by contract.
// - Stop keeps the cursor; Play starts from it. SetCurrentPosition takes effect at once.
// - A non-looping buffer that reaches its end stops and its cursor goes back to 0.
// - GetStatus has DS_STATUS_PLAYING while the buffer plays (and DS_STATUS_LOOPING when it loops).
// - Volume is attenuation in hundredths of a decibel, -10000 (silent) .. 0: gain 10^(v/2000).
#pragma once
#include <cstdint>

#include "platform/dsound/wave_format.h"

// ---- results -------------------------------------------------------------------------------------
enum : int32_t {
    DS_OK = 0,
    DS_ERR_INVALID_PARAM = (int32_t)0x80070057,
    DS_ERR_OUT_OF_MEMORY = (int32_t)0x8007000E,
    DS_ERR_ALLOCATED = (int32_t)0x8878000A,
    DS_ERR_CONTROL_UNAVAIL = (int32_t)0x8878001E,
    DS_ERR_INVALID_CALL = (int32_t)0x88780032,
    DS_ERR_NO_DRIVER = (int32_t)0x88780078,
    DS_ERR_UNINITIALIZED = (int32_t)0x887800AA,
};

// ---- constants -----------------------------------------------------------------------------------
enum : uint32_t {
    // Buffer description flags.
    DS_BUF_PRIMARY = 0x00000001,
    DS_BUF_STATIC = 0x00000002,
    DS_BUF_CTRL_FREQUENCY = 0x00000020,
    DS_BUF_CTRL_PAN = 0x00000040,
    DS_BUF_CTRL_VOLUME = 0x00000080,
    DS_BUF_GLOBAL_FOCUS = 0x00008000,
    DS_BUF_GET_POSITION2 = 0x00010000,
    // Play flags.
    DS_PLAY_LOOPING = 0x00000001,
    // Status bits.
    DS_STATUS_PLAYING = 0x00000001,
    DS_STATUS_LOOPING = 0x00000004,
    // Lock flags.
    DS_LOCK_FROM_WRITE_CURSOR = 0x00000001,
    DS_LOCK_ENTIRE_BUFFER = 0x00000002,
    // Cooperative levels.
    DS_COOP_NORMAL = 1,
    DS_COOP_PRIORITY = 2,
    // Capability flags.
    DS_CAPS_PRIMARY_MONO = 0x00000001,
    DS_CAPS_PRIMARY_STEREO = 0x00000002,
    DS_CAPS_PRIMARY_8BIT = 0x00000004,
    DS_CAPS_PRIMARY_16BIT = 0x00000008,
    DS_CAPS_CONTINUOUS_RATE = 0x00000010,
    DS_CAPS_EMUL_DRIVER = 0x00000020,
    DS_CAPS_SECONDARY_MONO = 0x00000100,
    DS_CAPS_SECONDARY_STEREO = 0x00000200,
    DS_CAPS_SECONDARY_8BIT = 0x00000400,
    DS_CAPS_SECONDARY_16BIT = 0x00000800,
};
enum : int32_t { DS_VOLUME_MIN = -10000, DS_VOLUME_MAX = 0 };
enum : uint32_t { DS_BUFFER_MIN_BYTES = 4, DS_BUFFER_MAX_BYTES = 0x0FFFFFFF };
enum : uint32_t { DS_RATE_MIN = 100, DS_RATE_MAX = 100000 };

struct DsGuid {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};

// ---- records -------------------------------------------------------------------------------------
// A buffer description; size must be sizeof(DsBufferDesc).
struct DsBufferDesc {
    uint32_t size;           // sizeof(DsBufferDesc)
    uint32_t flags;          // DS_BUF_*
    uint32_t bufferBytes;    // 0 for the primary buffer
    uint32_t reserved;       // 0
    WaveFormat *format;      // null for the primary buffer
    DsGuid algorithm;        // unused, zero
};

// Device capabilities (24 words); size must be sizeof(DsCaps).
struct DsCaps {
    uint32_t size;
    uint32_t flags;                    // DS_CAPS_*
    uint32_t minSecondaryRate;
    uint32_t maxSecondaryRate;
    uint32_t primaryBuffers;
    uint32_t maxHwMixingAllBuffers;
    uint32_t maxHwMixingStaticBuffers;
    uint32_t maxHwMixingStreamingBuffers;
    uint32_t freeHwMixingAllBuffers;
    uint32_t freeHwMixingStaticBuffers;
    uint32_t freeHwMixingStreamingBuffers;
    uint32_t maxHw3DAllBuffers;
    uint32_t maxHw3DStaticBuffers;
    uint32_t maxHw3DStreamingBuffers;
    uint32_t freeHw3DAllBuffers;
    uint32_t freeHw3DStaticBuffers;
    uint32_t freeHw3DStreamingBuffers;
    uint32_t totalHwMemBytes;
    uint32_t freeHwMemBytes;
    uint32_t maxContigFreeHwMemBytes;
    uint32_t unlockTransferRateHwBuffers;
    uint32_t playCpuOverheadSwBuffers;
    uint32_t reserved1;
    uint32_t reserved2;
};
static_assert(sizeof(DsCaps) == 96, "the capability record is 24 words");

// ---- objects -------------------------------------------------------------------------------------
struct DsBuffer;
struct DsDevice;

struct DsBufferFns {
    uint32_t (*AddRef)(DsBuffer *self);
    uint32_t (*Release)(DsBuffer *self);  // references left; the last frees the buffer
    // Play cursor (bytes, block-aligned) and write cursor (play + 15 ms while playing); either may be null.
    int32_t (*GetCurrentPosition)(DsBuffer *self, uint32_t *play, uint32_t *write);
    int32_t (*GetStatus)(DsBuffer *self, uint32_t *status);
    int32_t (*GetVolume)(DsBuffer *self, int32_t *volume);
    int32_t (*GetFormat)(DsBuffer *self, WaveFormat *format);
    // off < size, 0 < bytes <= size (flags DS_LOCK_* replace off or bytes).
    int32_t (*Lock)(DsBuffer *self, uint32_t off, uint32_t bytes, void **part1, uint32_t *bytes1,
                    void **part2, uint32_t *bytes2, uint32_t flags);
    // The pair must be one that Lock handed out (lengths may be shorter).
    int32_t (*Unlock)(DsBuffer *self, void *part1, uint32_t bytes1, void *part2, uint32_t bytes2);
    // Starts from the cursor; on a playing buffer only the looping flag changes. reserved, priority: 0.
    int32_t (*Play)(DsBuffer *self, uint32_t reserved, uint32_t priority, uint32_t flags);
    int32_t (*Stop)(DsBuffer *self);  // keeps the cursor
    // Rounded down to the block; must be below the size.
    int32_t (*SetCurrentPosition)(DsBuffer *self, uint32_t off);
    // Primary only (DS_ERR_INVALID_CALL otherwise): the device format; the output reopens with it.
    int32_t (*SetFormat)(DsBuffer *self, const WaveFormat *format);
    // -10000..0; needs DS_BUF_CTRL_VOLUME (DS_ERR_CONTROL_UNAVAIL).
    int32_t (*SetVolume)(DsBuffer *self, int32_t volume);
};

struct DsBuffer {
    const DsBufferFns *fn;
};

struct DsDeviceFns {
    uint32_t (*AddRef)(DsDevice *self);
    uint32_t (*Release)(DsDevice *self);  // the last release closes the audio output it opened
    // Opens the audio output (guid null: the default device). DS_ERR_ALLOCATED when done twice.
    int32_t (*Initialize)(DsDevice *self, const DsGuid *guid);
    int32_t (*SetCooperativeLevel)(DsDevice *self, intptr_t window, uint32_t level);
    int32_t (*GetCaps)(DsDevice *self, DsCaps *caps);
    // DS_BUF_PRIMARY: the device's one primary buffer (a new reference). Otherwise a secondary:
    // PCM, 1-2 channels, 8 or 16 bits, blockAlign = channels * bits / 8, rate 100..100000,
    // 4..0x0FFFFFFF bytes, filled with silence; else DS_ERR_INVALID_PARAM. outer must be null.
    int32_t (*CreateSoundBuffer)(DsDevice *self, const DsBufferDesc *desc, DsBuffer **out, void *outer);
    // A secondary sharing source's memory: same format, flags and volume, stopped at cursor 0.
    int32_t (*DuplicateSoundBuffer)(DsDevice *self, DsBuffer *source, DsBuffer **out);
};

struct DsDevice {
    const DsDeviceFns *fn;
};

// ---- entry points --------------------------------------------------------------------------------
// Makes a device object (not yet initialised). DS_OK, or a negative code (fault injection).
// Also registers the "DSOUND.DLL" module with the kernel stand-in.
int32_t DsCreateDevice(DsDevice **out);

// Device enumeration callback: return 1 to go on, 0 to stop. guid is null for the primary driver.
typedef int (*DsEnumCallback)(const DsGuid *guid, const char *description, const char *module, void *context);
// Lists the primary driver ("Primary Sound Driver", "") and then the output device (its name and
// the output back end: "sdl2", "null" or "manual"). DS_OK.
// Exported by the "DSOUND.DLL" module as "DirectSoundEnumerateA".
int32_t DsEnumerate(DsEnumCallback callback, void *context);
// Registers (again) "DSOUND.DLL" with the kernel stand-in's module registry; the first
// DsCreateDevice does it too. 0 / -1.
int DsRegisterModule(void);

// ---- test hooks ----------------------------------------------------------------------------------
enum DsFaultKind {
    DS_FAULT_CREATE_DEVICE,
    DS_FAULT_INITIALIZE,
    DS_FAULT_SET_COOPERATIVE_LEVEL,
    DS_FAULT_CREATE_BUFFER,
    DS_FAULT_DUPLICATE,
    DS_FAULT_LOCK,
    DS_FAULT_UNLOCK,
    DS_FAULT_GET_STATUS,
    DS_FAULT_SET_FORMAT,
    DS_FAULT_KIND_COUNT
};
// The status queries the stand-in tells its query hook of.
enum DsQueryKind { DS_QUERY_BUFFER_STATUS };
// The test-support library injects faults by kind (the buffer flags as arg for CREATE_BUFFER) and
// inspects buffers (testsupport/test_hooks.h).
