// Inside the converter stand-in: the stream record, the codec table and the stream slots. Only
// platform/acm and its test hooks include it.
#pragma once
#include <cstdint>
#include <mutex>

#include "platform/acm/acm.h"

#define ACM_MAX_STREAMS 256   // each streamed compressed source holds two
#define ACM_MAX_FORMAT_BYTES 1024   // a source format with its codec bytes, at most
#define ACM_MAX_COEFS 256

struct AcmCodec;

// One open stream. The codec writes its own part; acm.cpp owns the rest.
struct AcmStream {
    int open;                               // 1 while the slot is in use
    const AcmCodec *codec;
    uint8_t srcFormat[ACM_MAX_FORMAT_BYTES]; // the source format with its codec bytes
    WaveFormat dst;                          // the PCM it converts to
    // ADPCM
    int samplesPerBlock;                     // per channel
    int numCoef;
    int16_t coef[ACM_MAX_COEFS][2];
    // MPEG
    void *mpg;                               // mpg123 handle
    int foreignRate;                         // 1 once frames of another rate came: the stream ends there
};

inline const WaveFormat *AcmSource(const AcmStream *s) { return reinterpret_cast<const WaveFormat *>(s->srcFormat); }

// One codec: which tags it takes and how it converts. Replaceable behaviour behind one table.
struct AcmCodec {
    const char *name;
    uint16_t tags[2];                               // format tags served (0 = none)
    int (*check)(const WaveFormat *src);            // 1 when this source can be converted
    int (*open)(AcmStream *s);                      // sets up state; 0 / -1
    void (*close)(AcmStream *s);
    uint32_t (*sizeFromSource)(const AcmStream *s, uint32_t in);    // PCM bytes, an upper bound
    uint32_t (*sizeFromDest)(const AcmStream *s, uint32_t out);     // source bytes needed
    // Converts from h->src to h->dst; sets srcLengthUsed and dstLengthUsed. ACM_OK / ACM_ERR_*.
    uint32_t (*convert)(AcmStream *s, AcmStreamHeader *h, uint32_t flags);
};

// Stores a 16-bit sample low byte first, as every codec lays out its PCM output.
inline void AcmWriteSample16(uint8_t *p, int16_t v)
{
    p[0] = (uint8_t)(v & 0xFF);
    p[1] = (uint8_t)((v >> 8) & 0xFF);
}

// Open and close of a codec that keeps no state of its own.
inline int AcmOpenNothing(AcmStream *) { return 0; }
inline void AcmCloseNothing(AcmStream *) {}

extern const AcmCodec kAcmCodecMsAdpcm;
extern const AcmCodec kAcmCodecImaAdpcm;
extern const AcmCodec kAcmCodecAlaw;
extern const AcmCodec kAcmCodecMulaw;
extern const AcmCodec kAcmCodecMpeg;
extern const AcmCodec kAcmCodecPcmWide;

// The stream slots (acm.cpp).
struct AcmGlobals {
    std::mutex lock;                          // guards the slots' open flags
    AcmStream streams[ACM_MAX_STREAMS];
};
extern AcmGlobals gAcm;
