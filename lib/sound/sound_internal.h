// Records, globals and calls shared inside the sound module: handles and buffers, static and streamed
// sounds, start-up, file formats and decoders. Nothing outside lib/sound includes this header except
// the module's tests.
#pragma once
#include <vorbis/vorbisfile.h>

#include <cstdint>

#include "lib/core/handle.h"
#include "lib/core/list.h"
#include "lib/file/stream.h"
#include "lib/sound/music.h"
#include "lib/sound/sound.h"
#include "lib/sound/stream_sound.h"
#include "platform/acm/acm.h"
#include "platform/dsound/dsound.h"

#define SOUND_HANDLE_MAX 4096      // slots of the sound handle table
#define SOUND_BUFFER_MAX 10        // buffers of one static sound
#define STREAM_SOURCE_MAX 3        // sources of one streamed sound (room for four)
#define SOUND_KIND_STATIC 0
#define SOUND_KIND_STREAM 1
#define STREAM_WRITE_UNFILLED (-800)  // write position before the first fill

// Buffer description flags the module asks for.
#define SOUND_STATIC_BUFFER_FLAGS 0x80E2u   // static, frequency, pan, volume, global focus
#define SOUND_STATIC_RETRY_FLAGS 0xC2u      // static, pan, volume
#define SOUND_RING_BUFFER_FLAGS 0x180E2u    // the static flags and the precise play cursor

// ================================================================================================
// decoders
// ================================================================================================

enum SoundDecodeMethod { SOUND_DECODE_PCM = 0, SOUND_DECODE_ACM = 1, SOUND_DECODE_OGG = 2 };

// The compressed-data part of a decoder (compressed WAVE and raw MPEG audio).
struct SoundAcmPart {
    WaveFormat *sourceFormat;   // owned: the file's whole format body, or the built layer-3 format
    AcmStream *mainStream;
    AcmStream *spareStream;     // never fed: a backward seek switches to it at once
    uint8_t *sourceBuffer;      // owned: the whole compressed data
    uint32_t sourceSize;
    uint32_t sourcePosition;    // bytes the main stream has used
    int32_t totalSamples;       // -1 when not counted (compressed WAVE)
    uint32_t feedBytes;         // bytes fed per convert: whole blocks, at least 2048
};

struct SoundOggPart {
    int32_t opened;
    OggVorbis_File file;
    int32_t bytesPerSample;
};

// Turns one stream into PCM of one fixed format. Owned by its caller, handed to the set-up zeroed.
struct SoundDecoderRecord {
    int32_t ready;              // 1 after a successful set-up, 0 after close
    int32_t end;                // 1 once a read or seek ran out of data
    int32_t method;             // SoundDecodeMethod
    StreamRecord source;        // the caller's stream, never closed here
    int32_t dataStart;          // stream position of the first data byte
    int32_t dataSize;           // source bytes (WAVE, MPEG) or PCM bytes (Ogg)
    WaveFormat format;          // output format, always PCM
    SoundAcmPart acm;
    SoundOggPart ogg;
    uint8_t *block;             // owned: decoded PCM, blockSize bytes
    int32_t blockSize;
    int32_t validBytes;         // decoded bytes from the read point on
    int32_t readOffset;         // read point in the block
    int32_t outputPosition;     // byte offset of the read point in the whole PCM output
};

// Bytes per output sample of Ogg Vorbis sounds (2: 16-bit signed), set at start-up.
extern int OggOutputSampleBytes;

// Tries PCM WAVE, compressed WAVE, Ogg Vorbis, raw MPEG audio in that order. 0, -1 when none takes it
// (nothing is left allocated then).
int SetupSoundDecoder(const StreamRecord *source, SoundDecoderRecord *decoder);
// Copies up to bytes of PCM; the bytes copied (0 at the end), -1 when not ready.
int ReadSoundDecoder(SoundDecoderRecord *decoder, void *destination, int bytes);
// Moves the read point to a sample; seeks closer than 16 bytes are ignored. 0.
int SeekSoundDecoder(SoundDecoderRecord *decoder, int sample);
// The output format. 0.
int GetSoundDecoderFormat(const SoundDecoderRecord *decoder, WaveFormat *format);
// The PCM bytes the whole sound is taken to decode to (Ogg: with one second of slack); 0 when unknown.
int GetSoundDecoderPcmSize(SoundDecoderRecord *decoder);
// Decodes everything into a new tracked block the caller owns. 0, -1 when the block cannot be had.
int DecodeWholeSound(SoundDecoderRecord *decoder, WaveFormat *format, uint8_t **data, uint32_t *size);
// Decodes a whole file image (the caller keeps it) into a new tracked block the caller owns. 0, -1 when
// no decoder takes the image, -2 when the whole decode cannot be had (nothing is left allocated then).
int DecodeSoundImage(const void *image, uint32_t size, WaveFormat *format, uint8_t **pcm, uint32_t *pcmSize);
// Releases what the set-up took (never the stream). 0, -1 when not ready.
int CloseSoundDecoder(SoundDecoderRecord *decoder);
// 1 when a buffer can be made for PCM of this format (PCM tag, 1-2 channels, 8 or 16 bits, matching
// block align and average, 100..100000 Hz), else 0.
int IsPlayablePcmFormat(const WaveFormat *format);

// Method functions (0, -1 when refused / at the end).
int OpenPcmWaveDecoder(SoundDecoderRecord *decoder);
int OpenAcmWaveDecoder(SoundDecoderRecord *decoder);
int OpenOggVorbisDecoder(SoundDecoderRecord *decoder);
int OpenMpegAudioDecoder(SoundDecoderRecord *decoder);
int GetOggPcmBytes(SoundDecoderRecord *decoder);
int GetOggPcmBytesWithSlack(SoundDecoderRecord *decoder);

// ================================================================================================
// file formats
// ================================================================================================

// One decoded MPEG audio frame header.
struct MpegFrameHeaderInfo {
    uint8_t layer;              // 0 = Layer I, 1 = Layer II, 2 = Layer III
    uint8_t version;            // 0 = MPEG-1, 1 = MPEG-2
    uint8_t bitRateIndex;
    uint8_t rateIndex;
    uint8_t padding;
    uint8_t channels;
    uint32_t sampleRate;        // Hz
    uint32_t bitRate;           // kbit/s
    uint32_t frameLength;       // bytes
    uint32_t samplesPerFrame;
};

// Where a WAVE's format body and data are.
struct WaveLayout {
    uint8_t *formatBody;        // owned by the caller after a successful walk
    uint32_t formatSize;
    int32_t dataStart;
    int32_t dataSize;           // clamped to what the stream holds; never 0
};

// Where a raw MPEG stream's frames are.
struct MpegLayout {
    int32_t dataStart;          // the first frame
    int32_t dataEnd;
    int32_t totalSamples;
    MpegFrameHeaderInfo first;
};

// Reads a whole data file into a new tracked block. 0 / -1 (logged).
int LoadFileImage(const char *fileName, uint8_t **data, uint32_t *size);
// Reads a whole stream into a new tracked block; the stream is left at the end of what was read. 0 / -1.
int ReadStreamImage(const StreamRecord *stream, uint8_t **data, uint32_t *size);
// Builds a WAVE file image (no pad bytes) in a new tracked block. 0 / -1.
int MakeWaveFileImage(uint8_t **image, uint32_t *size, const void *format, uint32_t formatSize, const void *data,
                      uint32_t dataSize);
// 0, -2 when the 12 sync bits are not all set, -1 for layer 00, bit-rate index 15 or rate index 3.
int ParseMpegFrameHeader(const uint8_t header[4], MpegFrameHeaderInfo *info);
// Walks a RIFF WAVE from the stream's start to its data. 0, -1 when it is not one (nothing allocated).
int WalkWaveStream(const StreamRecord *stream, WaveLayout *layout);
// Takes a format body of n bytes into an 18-byte record. 0, -1 when a 16-byte body has no channels.
int TakeWaveFormatBody(const uint8_t *body, uint32_t n, WaveFormat *format);
// Scans raw MPEG audio (tags skipped, frames counted); the stream is left at the first frame. 0 / -1.
int ScanMpegStream(const StreamRecord *stream, MpegLayout *layout);

// ================================================================================================
// handles and buffers
// ================================================================================================

// One sound buffer.
struct SoundBufferEntry {
    int32_t valid;              // 1 while the entry holds a buffer
    DsBuffer *buffer;           // owned
};

// One source of a streamed sound's play list.
struct StreamSoundSourceEntry {
    uint8_t loopCount;          // read signed: plays loopCount + 1 times; 255 loops without end
    int32_t kind;               // 0 decoded WAVE image, 2 encoded image, 3 the caller's stream
    uint8_t *image;             // owned (kinds 0 and 2)
    uint32_t imageSize;
    StreamRecord imageStream;   // over a MemoryStream on the image (kinds 0 and 2), else zero
    SoundDecoderRecord decoder;
};

// The record behind a sound handle (zeroed at creation).
struct SoundHandleRecord {
    int32_t check;              // 0..2047; first, as every handle record
    SoundBufferEntry buffers[SOUND_BUFFER_MAX];
    WaveFormat format;          // of the PCM the buffers hold
    int32_t kind;               // SOUND_KIND_*
    int32_t playType;           // of the last stream play
    uint32_t playStartTime;     // KGetTime of the last successful play
    int32_t sharedStreamHandle; // the streamed sound whose ring this one plays through, -1 for its own
    int32_t sharerCount;        // other handles playing through this ring
    int32_t ringUser;           // the handle that plays through this ring now, -1 for none
    int32_t pendingDelete;      // deleted while others still share the ring
    uint32_t ringSize;          // 6 seconds of data
    int32_t writePosition;      // STREAM_WRITE_UNFILLED before the first fill
    int32_t guardPosition;      // write position less four seconds, -1 before the first fill
    StreamSoundSourceEntry sources[STREAM_SOURCE_MAX + 1];
    uint8_t libraryOpened[STREAM_SOURCE_MAX + 1];  // 1 when the module opened that source's stream
    int32_t sourceCount;
    int32_t currentSource;
    int32_t playsDone;
    int32_t decodePosition;
    int32_t totalSamples;
    uint32_t playPosition;
    uint32_t lastPlayCursor;
    uint8_t prepared;
    uint8_t ended;
    uint8_t loopOffsetPending;
    uint8_t finished;
    uint32_t loopBase;
    uint32_t endOffset;
    uint32_t endCursor;
    uint32_t loopOffset;
    LinkedListNode listNode;    // in the StreamSoundList: handle, record
    uint32_t pcmSize;           // static sound
    uint8_t *pcmData;           // static sound, owned
    int32_t bufferCount;
    int32_t currentBuffer;      // the buffer the last static play used
};

// The sound handle table (4096 slots; the records array is static, so it works before start-up).
extern HandleTable SoundHandleTable;
// The chain of streamed sounds, newest first.
struct StreamSoundListRecord {
    LinkedListNode head;
    LinkedListNode tail;
};
extern StreamSoundListRecord StreamSoundList;

// The device; null before start-up and after shutdown (every sound call tests it).
extern DsDevice *SoundDevice;
extern DsBuffer *PrimarySoundBuffer;
extern DsBuffer *SilentLoopBuffer;
// 0 static, 2 or 3 streamed with that source kind.
extern int SoundCreationMode;
// Always 0: MIDI through the sequencer.
extern int MusicRoute;

// Held while the table or a record is read or changed. PlaySoundByHandle may come from any thread
// (the game's stage clock plays a voice while the main thread runs); recursive, because deleting stops
// and a streamed play halts the ring's other user. Never held across a wait that pumps messages.
struct SoundLockGuard {
    SoundLockGuard();
    ~SoundLockGuard();
};

// The slot a new record takes in the sound or music table: the used-slot bound while there is room
// above it, else the first free one; -1 when the table is full.
int PickSoundTableSlot(const HandleTable *table);
// Puts record into a free slot of the table; the count and the used-slot bound follow.
void StoreSoundTableRecord(HandleTable *table, int slot, HandleRecordHead *record);
// The record of a valid sound handle, or null.
SoundHandleRecord *LookupSoundRecord(int handle);
// The record of a valid handle while the module is started, or null.
SoundHandleRecord *GetStartedSoundRecord(int handle);
// Makes the buffers of a handle: kind 0 one buffer and count - 1 duplicates, kind 1 one 6-second
// ring linked into the StreamSoundList. A buffer that cannot be made from a valid format is fatal.
// 0, -1 before start-up or for a bad handle.
int MakeSoundHandleBuffers(const WaveFormat *format, uint32_t bytes, int kind, int count, int handle);

// Buffer entry operations; -1 for an entry that is not valid (creation: that already is).
int CreateSoundBufferEntry(SoundBufferEntry *entry, const DsBufferDesc *desc);
int DuplicateSoundBufferEntry(SoundBufferEntry *entry, const SoundBufferEntry *source);
int ReleaseSoundBufferEntry(SoundBufferEntry *entry);
int PlaySoundBufferEntry(SoundBufferEntry *entry, int loop);
int StopSoundBufferEntry(SoundBufferEntry *entry);
int GetSoundBufferEntryStatus(SoundBufferEntry *entry, uint32_t *status);
int LockSoundBufferEntry(SoundBufferEntry *entry, uint32_t offset, uint32_t bytes, void **part1, uint32_t *bytes1,
                         void **part2, uint32_t *bytes2);
int UnlockSoundBufferEntry(SoundBufferEntry *entry, void *part1, uint32_t bytes1, void *part2, uint32_t bytes2);
int SetSoundBufferEntryVolume(SoundBufferEntry *entry, int volume);
int SetSoundBufferEntryPosition(SoundBufferEntry *entry, uint32_t offset);
// The play cursor in bytes; 0 for an entry that is not valid.
uint32_t ReadSoundBufferEntryCursor(SoundBufferEntry *entry);

// ================================================================================================
// streamed sounds and music
// ================================================================================================

// The wait of a play of type 0: pumps messages as the game's own pump does (under the library lock),
// sleeping 1 ms between passes, while playing(handle) is 1; returns early when the application is to
// end.
void WaitWhileSoundPlays(int (*playing)(int handle), int handle);

// The sequencer route's state; the sound end deletes its temporary MIDI file.
struct MciMusicStateRecord {
    uint32_t deviceId;
    int32_t playing;
    int32_t loop;
    int32_t lastPlayedHandle;
    char tempPath[260];
    int32_t tempFileFlag;
};
extern MciMusicStateRecord MciMusicState;

// ================================================================================================
// start-up
// ================================================================================================

// Ends the capture-to-WAVE route; -1 while no capture is active (always here).
int FinishSoundCaptureFile(void);
// The device enumeration callback: one log line per device. 1 (go on).
int LogSoundDeviceEntry(const DsGuid *guid, const char *description, const char *module, void *context);
