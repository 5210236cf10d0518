// Shared by the multimedia-stream stand-in's files: the objects behind the interfaces.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "platform/dshow/dshow.h"
#include "platform/dshow/theora_reader.h"

struct MmStreamObject;
struct MmAudioTrack;
struct MmDecoder;

// The filter graph: builder, media control, seeking and basic audio of one object.
struct MmGraphObject {
    MmGraphBuilder builder;
    MmMediaControl control;
    MmMediaSeeking seeking;
    MmBasicAudio audio;
    uint32_t refs;
    MmStreamObject *stream;       // the multimedia stream initialised on this graph (not referenced)
    int32_t volume;               // basic audio's volume (hundredths of a dB, -10000..0)
};

// A media stream of a multimedia stream: the primary video (with its DirectDraw face) or audio.
struct MmMediaObject {
    MmMediaStream media;
    MmAMMediaStream am;
    MmDDrawMediaStream ddraw;     // video only
    uint32_t refs;
    MmPurposeId purpose;
    MmStreamObject *parent;       // null once the multimedia stream is gone (not referenced)
    void *directDraw;             // video: the object its surfaces come from (not referenced)
};

// A sample of the video stream on one surface.
struct MmSampleObject {
    MmStreamSample iface;
    uint32_t refs;
    MmMediaObject *video;         // referenced
    void *surface;                // referenced through the surface access
    MmRect rect;
    KHandle pendingEvent;         // the event of the update under way, 0 when none
    int32_t status;               // how the last update ended (MM_S_PENDING while one is under way)
};

// The multimedia stream: the file, the clock and the streams.
struct MmStreamObject {
    MmMultiMediaStream iface;
    uint32_t refs;
    MmGraphObject *graph;         // referenced after Initialize
    MmMediaObject *video;         // referenced
    MmMediaObject *audio;         // referenced
    MmTheoraReader *reader;       // the opened file (its decoder's; the stream reads only its picture)
    MmDecoder *decoder;           // decodes the video on its own thread, null before OpenFile
    MmStreamState state;
    int paused;                   // 1 while the media control holds it paused
    int64_t baseTime;             // stream time (100 ns) when the clock last stopped or started
    uint64_t runningSince;        // clock microseconds when it last started
    MmSampleObject *pending;      // the sample with an update under way (not referenced)
    MmAudioTrack *audioTrack;     // the default renderer's sound, null without audio (owned)
};

// The object whose interface field at offset holds iface.
#define MM_OBJECT_OF(Type, field, iface) ((Type *)((char *)(iface) - offsetof(Type, field)))

// The kinds the object hook is told of: an object of the stand-in, a decoder whose worker runs, and a
// worker's codec (a decoder's memory), each made (delta 1) or freed (-1).
enum MmObjectKind { MM_OBJ_OBJECT, MM_OBJ_DECODER, MM_OBJ_CODEC };
// Tells the object hook of an object of the stand-in made (delta 1) or freed (-1).
void MmCountObject(int delta);
// 1 when a call of that kind is to fail now (the fault hook).
int MmFaultHit(MmFaultKind kind);
// Hands one event to the record hook (from any thread).
void MmCount(MmCountKind kind);
// The access over the display stand-in's surfaces (the default).
extern const MmSurfaceAccess kMmDisplayAccess;
// The surface access in use.
const MmSurfaceAccess *MmGetSurfaceAccess(void);

// The audio stream's default renderer (dshow_audio.cpp): the first Vorbis stream of the file at
// diskPath, played at volume on the mixer. Null when the file has none, or none the mixer can play.
MmAudioTrack *MmOpenAudioTrack(const char *diskPath, int32_t volume);
void MmCloseAudioTrack(MmAudioTrack *track);
// The stream clock now: its time (100 ns) and whether it runs. The sound moves to that time.
void MmFollowStreamClock(MmAudioTrack *track, int64_t streamTime, int running);
// The picture ends at streamTime: the sound stops there too (until the clock moves it again).
void MmStopAudioTrackAt(MmAudioTrack *track, int64_t streamTime);
// Hundredths of a dB, -10000..0.
void MmSetAudioTrackVolume(MmAudioTrack *track, int32_t volume);
// Tells the stream's sound and its decoder where the stream clock stands (after every change of it).
void MmTellTheClock(MmStreamObject *stream);

// Microseconds on the kernel's clock source (a stepped clock in tests).
uint64_t MmClockMicroseconds(void);
// The stream time now of a clock at baseTime since runningSince (clock microseconds), running or not.
// It stops at the largest time (a seek may have gone to any time).
int64_t MmStreamClockNow(int64_t baseTime, uint64_t runningSince, int running);
// Stream side used by samples: the stream time now; 1 while the clock runs.
int64_t MmStreamTimeNow(const MmStreamObject *stream);
int MmStreamIsRunning(const MmStreamObject *stream);
// Makes the filter graph / a media stream of parent (one reference each); null when out of memory.
MmGraphObject *MmNewGraph(void);
// Makes a multimedia stream (one reference) (dshow_stream.cpp); null when out of memory.
MmStreamObject *MmNewStream(void);
MmMediaObject *MmNewMediaStream(MmStreamObject *parent, MmPurposeId purpose, void *directDraw);
// Cuts a media stream off its parent and drops the parent's reference (the parent is going).
void MmDetachMediaStream(MmMediaObject *media);
// A sample's update the stream no longer serves (seek, stop) stays pending; this drops it when the
// sample goes.
void MmForgetPendingSample(MmSampleObject *sample);

// ---- the video decoder (dshow_decoder.cpp) --------------------------------------------------------
// One worker thread per multimedia stream decodes frames, two ahead: the one to show and the one after
// it, each kept as its picture's part of the decoded planes. The stream takes them without waiting and
// converts the one it takes straight into the sample's surface, so that a frame never shown is never
// converted. The worker keeps to the stream clock: when the second frame comes due the first gives
// way and the next is decoded, and frames already late are passed over to the one due (from its
// keyframe when that is shorter; only the due one is kept), so that a draw finds the frame covering
// its time whenever the worker keeps up. Between frames the worker looks for a stop or a seek.
struct MmDecodedFrame {
    int status;                   // 1 a frame, 0 the end, -1 a broken stream
    int64_t time;                 // stream time the frame is shown from
    int64_t nextTime;             // stream time of the frame after it, of the end, or of the break
    MmPictureInfo picture;        // the picture within the kept planes
    MmPlane planes[3];            // the kept planes (read only inside MmTakeDecodedFrame's take)
};
// Starts the worker over the reader, which it owns from now on. Null when no thread can be made.
MmDecoder *MmStartDecoder(MmTheoraReader *reader);
// Lets the decoder go at once: its worker ends after the frame it is on, closes the reader and frees
// the decoder itself. Until then no worker makes a codec (the memory a decoder holds): one that has
// none yet waits, so that decoders let go in a storm of stops and opens hold the memory of one.
void MmStopDecoder(MmDecoder *decoder);
// The stream clock after every change: its time at clock microseconds since, and whether it runs.
void MmSetDecoderClock(MmDecoder *decoder, int64_t streamTime, uint64_t since, int running);
// A seek: the clock moved to time, the frames decoded are dropped and the one covering time is asked
// for, at once (a frame decoded ahead by either clock alone would be the wrong one).
void MmSeekDecoder(MmDecoder *decoder, int64_t time, uint64_t since, int running);
// Sets the worker decoding ahead (from the frame after the last one decoded, or the one due at the
// stream time when later).
void MmDecodeAhead(MmDecoder *decoder);
// The frame to show at the stream time now (or the first to come), without waiting: 1, 0 none yet.
int MmPeekDecodedFrame(MmDecoder *decoder, int64_t now, MmDecodedFrame *out);
// Hands that frame to take (the worker cannot replace it meanwhile); take answers 1 when it took the
// frame, whose place the next one takes. end: the time of the end or break decoded, -1 none. 1, 0
// when no frame is in.
int MmTakeDecodedFrame(MmDecoder *decoder, int64_t now, int (*take)(void *user, const MmDecodedFrame *frame),
                       void *user, int64_t *end);
// Waits (on the worker, not the clock) until it has nothing to do at the stream time now, or the frame
// in force now lasts past asked (a worker slower than the picture never has nothing to do). 0, -1
// after a long time.
int MmWaitForDecodedFrame(MmDecoder *decoder, int64_t asked);
// Every decoder whose worker runs (also one let go and still finishing its frame); one lock guards
// them all. Never destroyed: a worker may still finish a frame while the program ends.
struct MmDecoderList {
    std::mutex lock;
    std::condition_variable changed;  // a worker finished a job or ended, or a decoder was let go
    MmDecoder *first;
    int stoppedHolding;               // decoders let go whose worker still holds its codec
};
extern MmDecoderList &gMmDecoders;
// 1 when no decoder has anything to do at the stream time now and every one let go has ended
// (gMmDecoders.lock held). A decoder the clock has given work is woken.
int MmDecodersIdle(void);
