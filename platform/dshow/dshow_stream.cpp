// Multimedia-stream stand-in: the multimedia stream (file, state, clock, seek).
#include "platform/dshow/dshow_internal.h"

#include <cstdlib>

// ---- clock ------------------------------------------------------------------------------------------

uint64_t MmClockMicroseconds(void)
{
    int64_t count = 0;
    KQueryPerformanceCounter(&count);
    return (uint64_t)count;
}

int MmStreamIsRunning(const MmStreamObject *stream)
{
    return stream->state == MM_STREAMSTATE_RUN && !stream->paused;
}

int64_t MmStreamClockNow(int64_t baseTime, uint64_t runningSince, int running)
{
    if (!running) return baseTime;
    __int128 now = (__int128)baseTime + (__int128)(MmClockMicroseconds() - runningSince) * 10;
    return now > INT64_MAX ? INT64_MAX : (int64_t)now;
}

int64_t MmStreamTimeNow(const MmStreamObject *stream)
{
    return MmStreamClockNow(stream->baseTime, stream->runningSince, MmStreamIsRunning(stream));
}

void MmTellTheClock(MmStreamObject *stream)
{
    if (stream->decoder) MmSetDecoderClock(stream->decoder, stream->baseTime, stream->runningSince, MmStreamIsRunning(stream));
    if (stream->audioTrack) MmFollowStreamClock(stream->audioTrack, MmStreamTimeNow(stream), MmStreamIsRunning(stream));
}

// ---- IUnknown ---------------------------------------------------------------------------------------

static uint32_t StreamAddRef(MmMultiMediaStream *self) { return ++MM_OBJECT_OF(MmStreamObject, iface, self)->refs; }

static uint32_t StreamRelease(MmMultiMediaStream *self)
{
    MmStreamObject *stream = MM_OBJECT_OF(MmStreamObject, iface, self);
    if (--stream->refs > 0) return stream->refs;
    if (stream->video) MmDetachMediaStream(stream->video);
    if (stream->audio) MmDetachMediaStream(stream->audio);
    if (stream->graph) {
        stream->graph->stream = nullptr;
        stream->graph->builder.fn->Release(&stream->graph->builder);
    }
    MmCloseAudioTrack(stream->audioTrack);
    MmStopDecoder(stream->decoder);   // closes the reader
    free(stream);
    MmCountObject(-1);
    return 0;
}

static int32_t StreamQuery(MmMultiMediaStream *self, MmInterfaceId iid, void **out)
{
    if (!out) return MM_E_POINTER;
    *out = nullptr;
    if (MmFaultHit(MM_FAULT_QUERY_INTERFACE)) return MM_E_NOINTERFACE;
    if (iid != MM_IID_UNKNOWN && iid != MM_IID_AM_MULTIMEDIA_STREAM) return MM_E_NOINTERFACE;
    *out = self;
    StreamAddRef(self);
    return MM_OK;
}

// ---- set-up -----------------------------------------------------------------------------------------

static int32_t StreamInitialize(MmMultiMediaStream *self, uint32_t streamType, uint32_t flags, MmGraphBuilder *builder)
{
    MmStreamObject *stream = MM_OBJECT_OF(MmStreamObject, iface, self);
    if (MmFaultHit(MM_FAULT_INITIALIZE)) return MM_E_FAIL;
    if (streamType != MM_STREAMTYPE_READ) return MM_E_INVALIDARG;
    if (stream->graph) return MM_E_FAIL;
    MmGraphObject *graph;
    if (builder) {
        graph = MM_OBJECT_OF(MmGraphObject, builder, builder);
        if (graph->stream) return MM_E_FAIL;   // one multimedia stream per graph
        builder->fn->AddRef(builder);
    } else if (!(graph = MmNewGraph())) {
        return MM_E_OUTOFMEMORY;
    }
    graph->stream = stream;
    stream->graph = graph;
    return MM_OK;
}

static int32_t StreamAddMediaStream(MmMultiMediaStream *self, void *streamObject, MmPurposeId purpose,
                                    uint32_t flags, MmMediaStream **out)
{
    MmStreamObject *stream = MM_OBJECT_OF(MmStreamObject, iface, self);
    if (out) *out = nullptr;
    if (!stream->graph) return MM_E_NOTINIT;
    int video = purpose == MM_PURPOSE_PRIMARY_VIDEO;
    if (!video && purpose != MM_PURPOSE_PRIMARY_AUDIO) return MM_E_INVALIDARG;
    if (MmFaultHit(video ? MM_FAULT_ADD_VIDEO : MM_FAULT_ADD_AUDIO)) return MM_E_FAIL;
    MmMediaObject **slot = video ? &stream->video : &stream->audio;
    if (*slot) return MM_E_FAIL;
    // The audio stream's default renderer opens its sound with the file; a file without one plays silent.
    *slot = MmNewMediaStream(stream, purpose, video ? streamObject : nullptr);
    if (!*slot) return MM_E_OUTOFMEMORY;
    if (out) {
        *out = &(*slot)->media;
        (*out)->fn->AddRef(*out);
    }
    return MM_OK;
}

// The disk path of a UTF-16 file name. 0 / -1.
static int DiskPathOfWide(const uint16_t *wide, char *disk, int diskSize)
{
    char path[K_MAX_PATH * 2];
    if (KWideToMultiByte(wide, -1, path, (int)sizeof(path)) <= 0) return -1;
    return KPathToDisk(path, disk, diskSize) < 0 ? -1 : 0;
}

static int32_t StreamOpenFile(MmMultiMediaStream *self, const uint16_t *fileName, uint32_t flags)
{
    MmStreamObject *stream = MM_OBJECT_OF(MmStreamObject, iface, self);
    if (!fileName) return MM_E_POINTER;
    if (!stream->graph) return MM_E_NOTINIT;
    if (stream->reader) return MM_E_FAIL;
    char disk[K_MAX_PATH * 4];
    if (DiskPathOfWide(fileName, disk, (int)sizeof(disk)) != 0) return MM_E_FILENOTFOUND;
    MmTheoraReader *reader = MmOpenTheoraReader(disk);
    if (!reader) return MM_E_FILENOTFOUND;
    stream->decoder = MmStartDecoder(reader);
    if (!stream->decoder) {
        MmCloseTheoraReader(reader);
        return MM_E_OUTOFMEMORY;
    }
    stream->reader = reader;
    stream->state = MM_STREAMSTATE_STOP;
    stream->baseTime = 0;
    if (stream->audio) stream->audioTrack = MmOpenAudioTrack(disk, stream->graph->volume);
    return MM_OK;
}

static int32_t StreamGetMediaStream(MmMultiMediaStream *self, MmPurposeId purpose, MmMediaStream **out)
{
    MmStreamObject *stream = MM_OBJECT_OF(MmStreamObject, iface, self);
    if (!out) return MM_E_POINTER;
    *out = nullptr;
    if (MmFaultHit(MM_FAULT_GET_MEDIA_STREAM)) return MM_E_NOSTREAM;
    MmMediaObject *media = purpose == MM_PURPOSE_PRIMARY_VIDEO ? stream->video
                           : purpose == MM_PURPOSE_PRIMARY_AUDIO ? stream->audio : nullptr;
    if (!media) return MM_E_NOSTREAM;
    *out = &media->media;
    (*out)->fn->AddRef(*out);
    return MM_OK;
}

// ---- state, time and seek ---------------------------------------------------------------------------

static int32_t StreamGetState(MmMultiMediaStream *self, MmStreamState *state)
{
    if (!state) return MM_E_POINTER;
    *state = MM_OBJECT_OF(MmStreamObject, iface, self)->state;
    return MM_OK;
}

// RUN starts the clock (also out of the media control's pause); STOP freezes it.
static int32_t StreamSetState(MmMultiMediaStream *self, MmStreamState state)
{
    MmStreamObject *stream = MM_OBJECT_OF(MmStreamObject, iface, self);
    if (!stream->reader) return MM_E_NOTINIT;
    if (state == MM_STREAMSTATE_RUN) {
        if (MmStreamIsRunning(stream)) return MM_OK;
        stream->paused = 0;
        stream->state = MM_STREAMSTATE_RUN;
        stream->runningSince = MmClockMicroseconds();
        MmTellTheClock(stream);
        return MM_OK;
    }
    if (state != MM_STREAMSTATE_STOP) return MM_E_INVALIDARG;
    stream->baseTime = MmStreamTimeNow(stream);
    stream->state = MM_STREAMSTATE_STOP;
    stream->paused = 0;
    MmTellTheClock(stream);
    return MM_OK;
}

static int32_t StreamGetTime(MmMultiMediaStream *self, MmStreamTime *time)
{
    if (!time) return MM_E_POINTER;
    *time = MmStreamTimeNow(MM_OBJECT_OF(MmStreamObject, iface, self));
    return MM_OK;
}

// The stream time moves to time at once; the decoder finds the frame covering it (by its keyframe,
// not from the start) and the next update shows that frame.
static int32_t StreamSeek(MmMultiMediaStream *self, MmStreamTime time)
{
    MmStreamObject *stream = MM_OBJECT_OF(MmStreamObject, iface, self);
    if (!stream->decoder) return MM_E_NOTINIT;
    if (time < 0) time = 0;
    stream->baseTime = time;
    stream->runningSince = MmClockMicroseconds();
    MmCount(MM_COUNT_SEEK);
    MmSeekDecoder(stream->decoder, time, stream->runningSince, MmStreamIsRunning(stream));
    MmTellTheClock(stream);
    return MM_OK;
}

static const MmMultiMediaStreamFns kStreamFns = {
    StreamQuery, StreamAddRef, StreamRelease, StreamInitialize, StreamAddMediaStream, StreamOpenFile,
    StreamGetMediaStream, StreamGetState, StreamSetState, StreamGetTime, StreamSeek,
};

MmStreamObject *MmNewStream(void)
{
    MmStreamObject *stream = (MmStreamObject *)calloc(1, sizeof(MmStreamObject));
    if (!stream) return nullptr;
    stream->iface.fn = &kStreamFns;
    stream->refs = 1;
    stream->state = MM_STREAMSTATE_STOP;
    MmCountObject(1);
    return stream;
}
