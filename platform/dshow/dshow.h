// Stand-in for the multimedia-stream objects a movie plays through: a filter graph (builder, media
// control, seeking, basic audio), a multimedia stream that reads an Ogg file, its primary video
// stream (Theora, decoded by libtheora) that fills DirectDraw-like surfaces through stream samples,
// and a primary audio stream whose default renderer plays the file's Vorbis sound on the process
// mixer (platform/dsound), on the stream clock.
//
// Objects are plain structs whose first field is a table of calls, used as
//     stream->fn->Seek(stream, 0);
// Every table begins with QueryInterface, AddRef and Release, so any interface pointer can be used as
// an MmUnknown. Interfaces of one object share its reference count; the last Release frees it.
// Results are MM_OK (0), other success codes (> 0) or negative failure codes.
//
// Behaviour the movie module relies on:
// - Each multimedia stream decodes its video on a worker thread of its own, the frame to show and the
//   one after it; an update never waits for it. An update whose frame is not decoded or not due yet
//   answers MM_S_PENDING and completes when its event is waited on (the kernel runs the stream's poll
//   hook first) once the frame is in and due. The worker keeps to the stream clock: frames that have
//   had their time untaken give way to the one due, reached from its keyframe when that is shorter
//   (only the due one is converted); an update with an event takes the newest frame due even when it
//   is late. Releasing the stream never waits for the worker, which finishes the frame it is on and
//   ends by itself.
// - Stream time runs on the kernel's clock source: from SetState(RUN), frozen by the media control's
//   Pause and by SetState(STOP), running on at the next SetState(RUN). Units of 100 ns.
// - Update: MM_OK means the surface holds the frame due now; MM_S_ENDOFSTREAM once the last frame
//   has had its time (a frame's time after it began); MM_E_FAIL once the stream broke, at the time
//   of the broken frame (a pending update then completes); a failure code when the stream does not
//   run or an update is already pending. Frame times come from the granule positions.
// - Seek: the next update shows the frame covering the time sought.
// - Frames are converted from 4:2:0, 4:2:2 or 4:4:4 (picture offsets honoured, ITU-R BT.601 studio
//   range) into surfaces of 16-bit 565, 24-bit 888 or 32-bit X888, at the sample rectangle's origin.
#pragma once
#include <cstdint>

#include "platform/kernel/kernel.h"

// ---- results -------------------------------------------------------------------------------------
enum : int32_t {
    MM_OK = 0,
    MM_FALSE = 1,
    MM_S_PENDING = 0x00040001,
    MM_S_ENDOFSTREAM = 0x00040003,
    MM_E_NOTIMPL = (int32_t)0x80004001,
    MM_E_NOINTERFACE = (int32_t)0x80004002,
    MM_E_POINTER = (int32_t)0x80004003,
    MM_E_FAIL = (int32_t)0x80004005,
    MM_E_CLASSNOTREG = (int32_t)0x80040154,
    MM_E_NOSTREAM = (int32_t)0x80040403,
    MM_E_INCOMPATIBLE = (int32_t)0x80040405,
    MM_E_BUSY = (int32_t)0x80040406,
    MM_E_NOTINIT = (int32_t)0x80040407,
    MM_E_NOTRUNNING = (int32_t)0x8004040A,
    MM_E_OUTOFMEMORY = (int32_t)0x8007000E,
    MM_E_INVALIDARG = (int32_t)0x80070057,
    MM_E_FILENOTFOUND = (int32_t)0x80070002,
};

// ---- identities (only identity matters) ----------------------------------------------------------
enum MmClassId { MM_CLSID_FILTER_GRAPH = 1, MM_CLSID_AM_MULTIMEDIA_STREAM };
enum MmInterfaceId {
    MM_IID_UNKNOWN = 1,
    MM_IID_GRAPH_BUILDER,
    MM_IID_MEDIA_CONTROL,
    MM_IID_MEDIA_SEEKING,
    MM_IID_BASIC_AUDIO,
    MM_IID_AM_MULTIMEDIA_STREAM,
    MM_IID_MEDIA_STREAM,
    MM_IID_AM_MEDIA_STREAM,
    MM_IID_DDRAW_MEDIA_STREAM,
    MM_IID_DDRAW_STREAM_SAMPLE,
};
enum MmPurposeId { MM_PURPOSE_PRIMARY_VIDEO = 1, MM_PURPOSE_PRIMARY_AUDIO };

enum : uint32_t {
    MM_CLSCTX_INPROC_SERVER = 0x1,
    MM_CLSCTX_INPROC_HANDLER = 0x2,
    MM_STREAMTYPE_READ = 0,
    MM_AMMSF_ADDDEFAULTRENDERER = 0x1,
    MM_AMMSF_NOGRAPHTHREAD = 0x10,
    MM_DDSFF_PROGRESSIVERENDER = 0x1,
};
enum MmStreamState { MM_STREAMSTATE_STOP = 0, MM_STREAMSTATE_RUN = 1 };
typedef int64_t MmStreamTime;   // 100 ns units

// The largest picture a stream takes: the largest graph the library makes from a picture.
#define MM_MAX_PICTURE_SIDE 16384
#define MM_MAX_PICTURE_PIXELS (64 * 1024 * 1024)

// ---- surfaces ------------------------------------------------------------------------------------
// A surface's pixels as its owner lends them for one frame write.
struct MmSurfaceLock {
    uint8_t *pixels;     // first pixel of the top row
    int pitch;           // bytes from one row to the next
    int width, height;   // pixels
    uint32_t bitCount;   // 16, 24 or 32 (others are refused)
    uint32_t redMask, greenMask, blueMask;
};
// How the stream reaches the surfaces of the DirectDraw object it was given: by default the display
// stand-in's surfaces (platform/ddraw); tests may put memory surfaces in their place.
struct MmSurfaceAccess {
    const char *name;
    int (*lockSurface)(void *surface, MmSurfaceLock *out);   // 0 / -1
    void (*unlockSurface)(void *surface);
    void (*addRefSurface)(void *surface);
    void (*releaseSurface)(void *surface);
    // A system-memory X888 surface of width x height made on directDraw (one reference), or null.
    void *(*createSurface)(void *directDraw, int width, int height);
};
// Replaces the access (copied); null restores the display surfaces. 0.
int MmSetSurfaceAccess(const MmSurfaceAccess *access);

// Memory surfaces and their access (directDraw is not read).
const MmSurfaceAccess *MmMemorySurfaceAccess(void);
struct MmMemorySurface;
// A zero-filled surface of width x height in the format given by masks (bitCount 16, 24 or 32; other
// depths make a surface the stream refuses), one reference; null when out of memory.
MmMemorySurface *MmCreateMemorySurface(int width, int height, uint32_t bitCount, uint32_t redMask,
                                       uint32_t greenMask, uint32_t blueMask);
// The surface's pixels without a lock (tests read frames through it). 0 / -1.
int MmInspectMemorySurface(MmMemorySurface *surface, MmSurfaceLock *out);
void MmAddRefMemorySurface(MmMemorySurface *surface);
void MmReleaseMemorySurface(MmMemorySurface *surface);

// The DirectDraw side's surface description the stream reports as its format (width and height).
struct MmSurfaceDesc {
    uint32_t size;       // sizeof(MmSurfaceDesc)
    uint32_t flags;
    uint32_t width, height;
};
struct MmRect { int32_t left, top, right, bottom; };

// ---- objects -------------------------------------------------------------------------------------
struct MmUnknown;
#define MM_UNKNOWN_FNS(Self)                                                       \
    int32_t (*QueryInterface)(Self * self, MmInterfaceId iid, void **out);       \
    uint32_t (*AddRef)(Self * self);                                               \
    uint32_t (*Release)(Self * self)  /* references left; the last frees */

struct MmUnknownFns { MM_UNKNOWN_FNS(MmUnknown); };
struct MmUnknown { const MmUnknownFns *fn; };

struct MmGraphBuilder;
struct MmGraphBuilderFns { MM_UNKNOWN_FNS(MmGraphBuilder); };
struct MmGraphBuilder { const MmGraphBuilderFns *fn; };

struct MmMediaControl;
struct MmMediaControlFns {
    MM_UNKNOWN_FNS(MmMediaControl);
    int32_t (*Run)(MmMediaControl *self);    // runs the stream of this graph
    int32_t (*Pause)(MmMediaControl *self);  // freezes the stream time
    int32_t (*Stop)(MmMediaControl *self);
};
struct MmMediaControl { const MmMediaControlFns *fn; };

struct MmMediaSeeking;
struct MmMediaSeekingFns {
    MM_UNKNOWN_FNS(MmMediaSeeking);
    int32_t (*GetDuration)(MmMediaSeeking *self, int64_t *duration);   // 100 ns units
};
struct MmMediaSeeking { const MmMediaSeekingFns *fn; };

struct MmBasicAudio;
struct MmBasicAudioFns {
    MM_UNKNOWN_FNS(MmBasicAudio);
    // Hundredths of a dB, -10000..0 (MM_E_INVALIDARG outside), heard at once.
    int32_t (*SetVolume)(MmBasicAudio *self, int32_t volume);
    int32_t (*GetVolume)(MmBasicAudio *self, int32_t *volume);
};
struct MmBasicAudio { const MmBasicAudioFns *fn; };

struct MmMediaStream;
struct MmMediaStreamFns {
    MM_UNKNOWN_FNS(MmMediaStream);
    int32_t (*GetInformation)(MmMediaStream *self, MmPurposeId *purpose);
};
struct MmMediaStream { const MmMediaStreamFns *fn; };

struct MmAMMediaStream;
struct MmAMMediaStreamFns {
    MM_UNKNOWN_FNS(MmAMMediaStream);
    int32_t (*GetInformation)(MmAMMediaStream *self, MmPurposeId *purpose);
};
struct MmAMMediaStream { const MmAMMediaStreamFns *fn; };

struct MmStreamSample;
struct MmStreamSampleFns {
    MM_UNKNOWN_FNS(MmStreamSample);
    // The sample's surface (one more reference) and rectangle; either output may be null.
    int32_t (*GetSurface)(MmStreamSample *self, void **surface, MmRect *rect);
    // flags must be 0; event 0 waits until the frame is due (sleeping on the clock source).
    int32_t (*Update)(MmStreamSample *self, uint32_t flags, KHandle event, void *apc, uintptr_t apcData);
    // How the last update ended: MM_OK when it brought its frame, MM_S_ENDOFSTREAM, a failure code;
    // MM_S_PENDING while it is under way. What an update with an event ended with, once it is signalled.
    int32_t (*CompletionStatus)(MmStreamSample *self);
};
struct MmStreamSample { const MmStreamSampleFns *fn; };

struct MmDDrawMediaStream;
struct MmDDrawMediaStreamFns {
    MM_UNKNOWN_FNS(MmDDrawMediaStream);
    // The picture size of the video (0 x 0 for a file without a picture); any output may be null.
    int32_t (*GetFormat)(MmDDrawMediaStream *self, MmSurfaceDesc *current, void **palette,
                         MmSurfaceDesc *desired, uint32_t *flags);
    // A sample on surface (null: the stream makes its own X888 surface); rect null is the whole
    // picture. MM_E_INCOMPATIBLE for a surface the stream cannot write or that cannot hold the picture
    // from the rectangle's origin.
    int32_t (*CreateSample)(MmDDrawMediaStream *self, void *surface, const MmRect *rect, uint32_t flags,
                            MmStreamSample **out);
};
struct MmDDrawMediaStream { const MmDDrawMediaStreamFns *fn; };

struct MmMultiMediaStream;
struct MmMultiMediaStreamFns {
    MM_UNKNOWN_FNS(MmMultiMediaStream);
    int32_t (*Initialize)(MmMultiMediaStream *self, uint32_t streamType, uint32_t flags, MmGraphBuilder *graph);
    // Video: streamObject is the DirectDraw object its surfaces come from. Audio: with
    // MM_AMMSF_ADDDEFAULTRENDERER and no object; it always succeeds. The file's first Vorbis stream
    // then plays through its own sound device and looping buffer, following the stream clock (run,
    // pause, stop, seek) and ending with the picture; a file without one, or with one the mixer
    // cannot play (more than two channels), plays silent.
    int32_t (*AddMediaStream)(MmMultiMediaStream *self, void *streamObject, MmPurposeId purpose,
                              uint32_t flags, MmMediaStream **out);
    // Opens an Ogg file (UTF-16 Shift-JIS-mapped path). The stream stays stopped. A file whose
    // picture or coded frame is larger than MM_MAX_PICTURE_* is refused before anything is allocated.
    int32_t (*OpenFile)(MmMultiMediaStream *self, const uint16_t *fileName, uint32_t flags);
    int32_t (*GetMediaStream)(MmMultiMediaStream *self, MmPurposeId purpose, MmMediaStream **out);
    int32_t (*GetState)(MmMultiMediaStream *self, MmStreamState *state);
    int32_t (*SetState)(MmMultiMediaStream *self, MmStreamState state);
    int32_t (*GetTime)(MmMultiMediaStream *self, MmStreamTime *time);
    int32_t (*Seek)(MmMultiMediaStream *self, MmStreamTime time);
};
struct MmMultiMediaStream { const MmMultiMediaStreamFns *fn; };

// ---- entry points --------------------------------------------------------------------------------
// Makes an object of the class and answers it for iid. outer must be null; context is not read.
int32_t MmCoCreateInstance(MmClassId clsid, void *outer, uint32_t context, MmInterfaceId iid, void **out);

// ---- test hooks ----------------------------------------------------------------------------------
enum MmFaultKind {
    MM_FAULT_CREATE_GRAPH,
    MM_FAULT_CREATE_STREAM,
    MM_FAULT_INITIALIZE,
    MM_FAULT_ADD_VIDEO,
    MM_FAULT_ADD_AUDIO,
    MM_FAULT_QUERY_INTERFACE,
    MM_FAULT_GET_MEDIA_STREAM,
    MM_FAULT_CREATE_SAMPLE,
    MM_FAULT_GET_SURFACE,
    MM_FAULT_KIND_COUNT
};
// Where a decoder worker tells the test-support library's query hook what it is at (a test may hold
// it there): before each job, and in the middle of each frame (decoded, not yet converted).
enum MmQueryKind { MM_QUERY_DECODER_JOB, MM_QUERY_DECODER_FRAME };
// What the stand-in hands to the record hook, one at a time: a sample update asked for, a frame
// decoded (converted or not), a frame converted into a surface, a seek. The test-support library
// injects faults by kind and counts these (testsupport/test_hooks.h).
enum MmCountKind { MM_COUNT_UPDATE, MM_COUNT_DECODED, MM_COUNT_CONVERTED, MM_COUNT_SEEK, MM_COUNT_KIND_COUNT };
