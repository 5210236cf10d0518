// Audio formats shared by the sound stand-ins (buffers, converter) and the sound module.
// Byte layouts are fixed: the sound module compares and writes them byte for byte.
#pragma once
#include <cstdint>

enum : uint16_t {
    WAVE_TAG_PCM = 0x0001,
    WAVE_TAG_MS_ADPCM = 0x0002,
    WAVE_TAG_ALAW = 0x0006,
    WAVE_TAG_MULAW = 0x0007,
    WAVE_TAG_IMA_ADPCM = 0x0011,
    WAVE_TAG_MPEG = 0x0050,
    WAVE_TAG_MPEG_LAYER3 = 0x0055,
};

#pragma pack(push, 1)
// The 18-byte wave format record; extraSize bytes of codec data may follow it in memory.
struct WaveFormat {
    uint16_t formatTag;       // WAVE_TAG_*
    uint16_t channels;        // 1 or 2 for everything the stand-ins play
    uint32_t samplesPerSec;   // frames per second
    uint32_t avgBytesPerSec;  // for PCM: samplesPerSec * blockAlign
    uint16_t blockAlign;      // bytes per frame (PCM) or per compressed block
    uint16_t bitsPerSample;   // 8 or 16 for PCM; codec-defined otherwise
    uint16_t extraSize;       // bytes of codec data after these 18
};

// The MPEG layer-3 source format: a WaveFormat (tag 0x55, extraSize 12) and its 12 codec bytes.
struct Mp3WaveFormat {
    WaveFormat wave;
    uint16_t id;              // 1 = MPEG
    uint32_t flags;           // 1 = padding on, 0 = ISO padding
    uint16_t blockSize;       // length of the first frame
    uint16_t framesPerBlock;  // 1
    uint16_t codecDelay;      // 700
};
#pragma pack(pop)

static_assert(sizeof(WaveFormat) == 18, "wave formats are compared and written as 18 bytes");
static_assert(sizeof(Mp3WaveFormat) == 30, "the layer-3 format block is 30 bytes");
