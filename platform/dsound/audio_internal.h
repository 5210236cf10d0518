// Inside the sound-buffer stand-in: the buffer record the mixer reads, and the output back-end table.
// Only platform/dsound and its test hooks include this.
#pragma once
#include <cstdint>

#include "platform/dsound/dsound.h"
#include "platform/kernel/kernel.h"

// Sample memory shared by a buffer and its duplicates.
struct DsSampleMemory {
    uint8_t *bytes;   // size bytes
    uint32_t size;
    int refs;         // buffers using it
    uint32_t id;      // for inspection
};

// One outstanding Lock, so Unlock can check its pair.
struct DsLockRecord {
    uint8_t *part1;
    uint32_t bytes1;
    uint8_t *part2;
    uint32_t bytes2;
};

#define DS_MAX_LOCKS 4

// Written by the buffer calls under the audio lock; the mixer reads the setup and moves the cursor.
struct DsBufferRecord {
    DsBuffer object;           // the public view; first, so the pointers convert
    int refs;                  // references to this object
    int primary;               // 1 for a device's primary buffer
    uint32_t flags;            // DS_BUF_* as created
    WaveFormat format;         // sample format (the device format for a primary)
    DsSampleMemory *memory;    // null for a primary
    uint32_t frames;           // whole frames in memory
    int32_t volume;            // hundredths of a dB, -10000..0
    int32_t gainQ16;           // 10^(volume/2000) in 16.16, 0 at -10000
    int playing;               // 1 while mixed
    int looping;               // 1 when the end wraps to the start
    uint32_t frame;            // play cursor, whole frames
    uint32_t fraction;         // and the 32-bit fraction of the next frame
    DsLockRecord locks[DS_MAX_LOCKS];
    DsBufferRecord *prev;      // list of every live buffer
    DsBufferRecord *next;
};

// The buffer calls' own record (dsound.cpp); audio lock held.
struct DsGlobals {
    DsBufferRecord *first;   // live buffers, newest first
    uint32_t nextMemoryId;
    int outputUsers;         // initialised devices holding the output open
    int capsOverridden;      // 1: GetCaps reports capsOverride (a test's)
    DsCaps capsOverride;
    int moduleRegistered;
};
extern DsGlobals gDs;
// "DSOUND.DLL" and its exports as registered with the kernel, which keeps the name pointer: renamed
// in place, the module is no longer found.
extern char gDsModuleName[16];
extern const KModuleExport kDsExports[];

// The live-buffer list the mixer walks (audio lock held).
DsBufferRecord *DsFirstBuffer(void);

// 1 for a format the mixer reads and produces: PCM, 1-2 channels, 8 or 16 bits, matching block
// align, a rate within DS_RATE_MIN..DS_RATE_MAX (also for a primary buffer's format). 0 for null.
int AudioIsMixableFormat(const WaveFormat *f);

// Gain for a volume in hundredths of a dB, as 16.16 fixed point.
int32_t DsGainForVolume(int32_t volume);

// ---- output back ends ----------------------------------------------------------------------------
// Each back end calls AudioMixFrames (without the audio lock held) from its own thread, or, for the
// manual one, from the test hooks (testsupport/).
struct AudioBackend {
    const char *name;                          // "sdl", "null", "manual"
    const char *reportName;                    // module name in the device list
    int (*open)(const WaveFormat *format);     // 0 / -1
    void (*close)(void);                       // waits until no mix runs any more
    const char *(*deviceName)(void);
};
extern const AudioBackend kAudioBackendSdl;
extern const AudioBackend kAudioBackendNull;
extern const AudioBackend kAudioBackendManual;

