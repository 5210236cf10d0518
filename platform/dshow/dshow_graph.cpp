// Multimedia-stream stand-in: the class factory, the filter graph, the fault and record hooks.
#include "platform/dshow/dshow_internal.h"

#include <cstdlib>

#include "platform/kernel/standin_hooks.h"

// ---- live objects, faults and counts ----------------------------------------------------------------

static int g_inFactory;   // the factory's own query counts for no fault

int MmFaultHit(MmFaultKind kind)
{
    if (kind == MM_FAULT_QUERY_INTERFACE && g_inFactory) return 0;
    return StandInFault(STAND_IN_DSHOW, kind, 0) != 0;
}

void MmCount(MmCountKind kind) { StandInRecord(STAND_IN_DSHOW, &kind); }

void MmCountObject(int delta) { StandInCountObject(STAND_IN_DSHOW, MM_OBJ_OBJECT, delta); }

// ---- the filter graph -----------------------------------------------------------------------------

static int32_t GraphQuery(MmGraphObject *graph, MmInterfaceId iid, void **out);
static uint32_t GraphAddRef(MmGraphObject *graph) { return ++graph->refs; }

static uint32_t GraphRelease(MmGraphObject *graph)
{
    if (--graph->refs > 0) return graph->refs;
    if (graph->stream) graph->stream->graph = nullptr;
    free(graph);
    MmCountObject(-1);
    return 0;
}

// The four faces of the graph share these three calls.
#define GRAPH_FACE_UNKNOWN(Face, field)                                                              \
    static int32_t Face##Query(Face *self, MmInterfaceId iid, void **out)                             \
    { return GraphQuery(MM_OBJECT_OF(MmGraphObject, field, self), iid, out); }                        \
    static uint32_t Face##AddRef(Face *self) { return GraphAddRef(MM_OBJECT_OF(MmGraphObject, field, self)); } \
    static uint32_t Face##Release(Face *self) { return GraphRelease(MM_OBJECT_OF(MmGraphObject, field, self)); }

GRAPH_FACE_UNKNOWN(MmGraphBuilder, builder)
GRAPH_FACE_UNKNOWN(MmMediaControl, control)
GRAPH_FACE_UNKNOWN(MmMediaSeeking, seeking)
GRAPH_FACE_UNKNOWN(MmBasicAudio, audio)

// The multimedia stream on this graph, or null.
static MmMultiMediaStream *StreamOf(MmMediaControl *self)
{
    MmStreamObject *stream = MM_OBJECT_OF(MmGraphObject, control, self)->stream;
    return stream ? &stream->iface : nullptr;
}

static int32_t ControlRun(MmMediaControl *self)
{
    MmMultiMediaStream *stream = StreamOf(self);
    return stream ? stream->fn->SetState(stream, MM_STREAMSTATE_RUN) : MM_OK;
}

// Freezes the stream time where it stands; SetState(RUN) or Run lets it go on.
static int32_t ControlPause(MmMediaControl *self)
{
    MmStreamObject *stream = MM_OBJECT_OF(MmGraphObject, control, self)->stream;
    if (!stream || stream->paused) return MM_OK;
    stream->baseTime = MmStreamTimeNow(stream);
    stream->paused = 1;
    MmTellTheClock(stream);
    return MM_OK;
}

static int32_t ControlStop(MmMediaControl *self)
{
    MmMultiMediaStream *stream = StreamOf(self);
    return stream ? stream->fn->SetState(stream, MM_STREAMSTATE_STOP) : MM_OK;
}

static int32_t SeekingDuration(MmMediaSeeking *self, int64_t *duration)
{
    if (!duration) return MM_E_POINTER;
    *duration = 0;   // not known without reading the whole file; nothing asks for it
    return MM_E_NOTIMPL;
}

// Hundredths of a dB, -10000 (silent) to 0 (full); the stream's sound takes it at once.
static int32_t AudioSetVolume(MmBasicAudio *self, int32_t volume)
{
    MmGraphObject *graph = MM_OBJECT_OF(MmGraphObject, audio, self);
    if (volume < -10000 || volume > 0) return MM_E_INVALIDARG;
    graph->volume = volume;
    if (graph->stream && graph->stream->audioTrack) MmSetAudioTrackVolume(graph->stream->audioTrack, volume);
    return MM_OK;
}

static int32_t AudioGetVolume(MmBasicAudio *self, int32_t *volume)
{
    if (!volume) return MM_E_POINTER;
    *volume = MM_OBJECT_OF(MmGraphObject, audio, self)->volume;
    return MM_OK;
}

static const MmGraphBuilderFns kBuilderFns = {MmGraphBuilderQuery, MmGraphBuilderAddRef, MmGraphBuilderRelease};
static const MmMediaControlFns kControlFns = {MmMediaControlQuery, MmMediaControlAddRef, MmMediaControlRelease,
                                              ControlRun, ControlPause, ControlStop};
static const MmMediaSeekingFns kSeekingFns = {MmMediaSeekingQuery, MmMediaSeekingAddRef, MmMediaSeekingRelease,
                                              SeekingDuration};
static const MmBasicAudioFns kAudioFns = {MmBasicAudioQuery, MmBasicAudioAddRef, MmBasicAudioRelease,
                                          AudioSetVolume, AudioGetVolume};

static int32_t GraphQuery(MmGraphObject *graph, MmInterfaceId iid, void **out)
{
    if (!out) return MM_E_POINTER;
    *out = nullptr;
    if (MmFaultHit(MM_FAULT_QUERY_INTERFACE)) return MM_E_NOINTERFACE;
    switch (iid) {
    case MM_IID_UNKNOWN:
    case MM_IID_GRAPH_BUILDER: *out = &graph->builder; break;
    case MM_IID_MEDIA_CONTROL: *out = &graph->control; break;
    case MM_IID_MEDIA_SEEKING: *out = &graph->seeking; break;
    case MM_IID_BASIC_AUDIO: *out = &graph->audio; break;
    default: return MM_E_NOINTERFACE;
    }
    GraphAddRef(graph);
    return MM_OK;
}

MmGraphObject *MmNewGraph(void)
{
    MmGraphObject *graph = (MmGraphObject *)calloc(1, sizeof(MmGraphObject));
    if (!graph) return nullptr;
    graph->builder.fn = &kBuilderFns;
    graph->control.fn = &kControlFns;
    graph->seeking.fn = &kSeekingFns;
    graph->audio.fn = &kAudioFns;
    graph->refs = 1;
    MmCountObject(1);
    return graph;
}

// ---- the class factory ----------------------------------------------------------------------------

int32_t MmCoCreateInstance(MmClassId clsid, void *outer, uint32_t context, MmInterfaceId iid, void **out)
{
    if (!out) return MM_E_POINTER;
    *out = nullptr;
    if (outer) return MM_E_INVALIDARG;
    MmUnknown *object = nullptr;
    if (clsid == MM_CLSID_FILTER_GRAPH) {
        if (MmFaultHit(MM_FAULT_CREATE_GRAPH)) return MM_E_OUTOFMEMORY;
        MmGraphObject *graph = MmNewGraph();
        object = graph ? (MmUnknown *)&graph->builder : nullptr;
    } else if (clsid == MM_CLSID_AM_MULTIMEDIA_STREAM) {
        if (MmFaultHit(MM_FAULT_CREATE_STREAM)) return MM_E_OUTOFMEMORY;
        MmStreamObject *stream = MmNewStream();
        object = stream ? (MmUnknown *)&stream->iface : nullptr;
    } else {
        return MM_E_CLASSNOTREG;
    }
    if (!object) return MM_E_OUTOFMEMORY;
    g_inFactory = 1;
    int32_t result = object->fn->QueryInterface(object, iid, out);
    g_inFactory = 0;
    object->fn->Release(object);
    return result;
}
