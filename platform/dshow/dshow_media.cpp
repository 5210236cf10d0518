// Multimedia-stream stand-in: the media streams and the video stream's samples (frame updates).
#include "platform/dshow/dshow_internal.h"

#include <cstdlib>
#include <cstring>

#include "platform/dshow/frame_convert.h"

// ---- media streams ----------------------------------------------------------------------------------

static int32_t MediaQuery(MmMediaObject *media, MmInterfaceId iid, void **out)
{
    if (!out) return MM_E_POINTER;
    *out = nullptr;
    if (MmFaultHit(MM_FAULT_QUERY_INTERFACE)) return MM_E_NOINTERFACE;
    switch (iid) {
    case MM_IID_UNKNOWN:
    case MM_IID_MEDIA_STREAM: *out = &media->media; break;
    case MM_IID_AM_MEDIA_STREAM: *out = &media->am; break;
    case MM_IID_DDRAW_MEDIA_STREAM:
        if (media->purpose != MM_PURPOSE_PRIMARY_VIDEO) return MM_E_NOINTERFACE;
        *out = &media->ddraw;
        break;
    default: return MM_E_NOINTERFACE;
    }
    media->refs++;
    return MM_OK;
}

static uint32_t MediaRelease(MmMediaObject *media)
{
    if (--media->refs > 0) return media->refs;
    free(media);
    MmCountObject(-1);
    return 0;
}

#define MEDIA_FACE_UNKNOWN(Face, field)                                                              \
    static int32_t Face##Query(Face *self, MmInterfaceId iid, void **out)                             \
    { return MediaQuery(MM_OBJECT_OF(MmMediaObject, field, self), iid, out); }                        \
    static uint32_t Face##AddRef(Face *self) { return ++MM_OBJECT_OF(MmMediaObject, field, self)->refs; } \
    static uint32_t Face##Release(Face *self) { return MediaRelease(MM_OBJECT_OF(MmMediaObject, field, self)); }

MEDIA_FACE_UNKNOWN(MmMediaStream, media)
MEDIA_FACE_UNKNOWN(MmAMMediaStream, am)
MEDIA_FACE_UNKNOWN(MmDDrawMediaStream, ddraw)

static int32_t MediaInformation(MmMediaObject *media, MmPurposeId *purpose)
{
    if (purpose) *purpose = media->purpose;
    return MM_OK;
}
static int32_t StreamInformation(MmMediaStream *self, MmPurposeId *purpose)
{
    return MediaInformation(MM_OBJECT_OF(MmMediaObject, media, self), purpose);
}
static int32_t AMInformation(MmAMMediaStream *self, MmPurposeId *purpose)
{
    return MediaInformation(MM_OBJECT_OF(MmMediaObject, am, self), purpose);
}

// The opened file's picture, or null before OpenFile or without the multimedia stream.
static const MmPictureInfo *PictureOf(const MmMediaObject *video)
{
    if (!video->parent || !video->parent->reader) return nullptr;
    return MmGetTheoraPicture(video->parent->reader);
}

static int32_t DDrawGetFormat(MmDDrawMediaStream *self, MmSurfaceDesc *current, void **palette,
                              MmSurfaceDesc *desired, uint32_t *flags)
{
    const MmPictureInfo *picture = PictureOf(MM_OBJECT_OF(MmMediaObject, ddraw, self));
    if (!picture) return MM_E_NOTINIT;
    MmSurfaceDesc *descs[2] = {current, desired};
    for (MmSurfaceDesc *desc : descs) {
        if (!desc) continue;
        desc->width = (uint32_t)picture->picWidth;    // 0 x 0 for a file without a picture
        desc->height = (uint32_t)picture->picHeight;
    }
    if (palette) *palette = nullptr;
    if (flags) *flags = 0;
    return MM_OK;
}

MmSampleObject *MmNewSample(MmMediaObject *video, void *surface, const MmRect *rect);

// 1 when the stream can write frames of the picture into the surface at the rectangle's origin.
static int SurfaceFits(void *surface, const MmPictureInfo *picture, const MmRect *rect)
{
    const MmSurfaceAccess *access = MmGetSurfaceAccess();
    MmSurfaceLock lock;
    if (access->lockSurface(surface, &lock) != 0) return 0;
    access->unlockSurface(surface);
    int depthOk = lock.bitCount == 16 || lock.bitCount == 24 || lock.bitCount == 32;
    return depthOk && rect->left >= 0 && rect->top >= 0 && lock.width - rect->left >= picture->picWidth &&
           lock.height - rect->top >= picture->picHeight;
}

static int32_t DDrawCreateSample(MmDDrawMediaStream *self, void *surface, const MmRect *rect, uint32_t flags,
                                 MmStreamSample **out)
{
    MmMediaObject *video = MM_OBJECT_OF(MmMediaObject, ddraw, self);
    if (!out) return MM_E_POINTER;
    *out = nullptr;
    if (MmFaultHit(MM_FAULT_CREATE_SAMPLE)) return MM_E_FAIL;
    const MmPictureInfo *picture = PictureOf(video);
    if (!picture) return MM_E_NOTINIT;
    if (!picture->hasVideo) return MM_E_INCOMPATIBLE;
    const MmSurfaceAccess *access = MmGetSurfaceAccess();
    int own = surface == nullptr;
    if (own) surface = access->createSurface(video->directDraw, picture->picWidth, picture->picHeight);
    if (!surface) return MM_E_OUTOFMEMORY;
    MmRect whole = {0, 0, picture->picWidth, picture->picHeight};
    if (!rect) rect = &whole;
    if (!SurfaceFits(surface, picture, rect)) {
        if (own) access->releaseSurface(surface);
        return MM_E_INCOMPATIBLE;
    }
    MmSampleObject *sample = MmNewSample(video, surface, rect);
    if (own) access->releaseSurface(surface);   // the sample holds its own reference
    if (!sample) return MM_E_OUTOFMEMORY;
    // The first frame is decoded while the movie is made ready.
    MmStreamObject *stream = video->parent;
    MmDecodeAhead(stream->decoder);
    *out = &sample->iface;
    return MM_OK;
}

static const MmMediaStreamFns kMediaFns = {MmMediaStreamQuery, MmMediaStreamAddRef, MmMediaStreamRelease,
                                           StreamInformation};
static const MmAMMediaStreamFns kAMFns = {MmAMMediaStreamQuery, MmAMMediaStreamAddRef, MmAMMediaStreamRelease,
                                          AMInformation};
static const MmDDrawMediaStreamFns kDDrawFns = {MmDDrawMediaStreamQuery, MmDDrawMediaStreamAddRef,
                                                MmDDrawMediaStreamRelease, DDrawGetFormat, DDrawCreateSample};

MmMediaObject *MmNewMediaStream(MmStreamObject *parent, MmPurposeId purpose, void *directDraw)
{
    MmMediaObject *media = (MmMediaObject *)calloc(1, sizeof(MmMediaObject));
    if (!media) return nullptr;
    media->media.fn = &kMediaFns;
    media->am.fn = &kAMFns;
    media->ddraw.fn = &kDDrawFns;
    media->refs = 1;
    media->purpose = purpose;
    media->parent = parent;
    media->directDraw = directDraw;
    MmCountObject(1);
    return media;
}

void MmDetachMediaStream(MmMediaObject *media)
{
    media->parent = nullptr;
    MediaRelease(media);
}

// ---- samples ----------------------------------------------------------------------------------------

static uint32_t SampleAddRef(MmStreamSample *self) { return ++MM_OBJECT_OF(MmSampleObject, iface, self)->refs; }

static uint32_t SampleRelease(MmStreamSample *self)
{
    MmSampleObject *sample = MM_OBJECT_OF(MmSampleObject, iface, self);
    if (--sample->refs > 0) return sample->refs;
    MmForgetPendingSample(sample);
    MmGetSurfaceAccess()->releaseSurface(sample->surface);
    MediaRelease(sample->video);
    free(sample);
    MmCountObject(-1);
    return 0;
}

static int32_t SampleQuery(MmStreamSample *self, MmInterfaceId iid, void **out)
{
    if (!out) return MM_E_POINTER;
    *out = nullptr;
    if (MmFaultHit(MM_FAULT_QUERY_INTERFACE)) return MM_E_NOINTERFACE;
    if (iid != MM_IID_UNKNOWN && iid != MM_IID_DDRAW_STREAM_SAMPLE) return MM_E_NOINTERFACE;
    *out = self;
    SampleAddRef(self);
    return MM_OK;
}

static int32_t SampleGetSurface(MmStreamSample *self, void **surface, MmRect *rect)
{
    MmSampleObject *sample = MM_OBJECT_OF(MmSampleObject, iface, self);
    if (MmFaultHit(MM_FAULT_GET_SURFACE)) return MM_E_FAIL;
    if (surface) {
        MmGetSurfaceAccess()->addRefSurface(sample->surface);
        *surface = sample->surface;
    }
    if (rect) *rect = sample->rect;
    return MM_OK;
}

// Converts a decoded frame into the sample's surface at its rectangle, in the surface's format. 0 / -1.
static int ConvertIntoSample(MmSampleObject *sample, const MmDecodedFrame *frame)
{
    const MmSurfaceAccess *access = MmGetSurfaceAccess();
    MmSurfaceLock lock;
    if (access->lockSurface(sample->surface, &lock) != 0) return -1;
    int bytes = (int)lock.bitCount / 8;
    MmSurfaceLock target = lock;
    target.pixels = lock.pixels + (intptr_t)sample->rect.top * lock.pitch + (intptr_t)sample->rect.left * bytes;
    target.width = lock.width - sample->rect.left;
    target.height = lock.height - sample->rect.top;
    int result = MmConvertPicture(&frame->picture, frame->planes, &target);
    access->unlockSurface(sample->surface);
    if (result == 0) MmCount(MM_COUNT_CONVERTED);
    return result;
}

// What an update makes of the decoded frame waiting, decided with the decoder's lock held.
struct DueFrameTake {
    MmSampleObject *sample;
    int64_t now;
    int64_t asked;    // an update that may wait: the stream time it was asked at; a draw: -1
    int32_t result;
};

static int TakeIfDue(void *user, const MmDecodedFrame *frame)
{
    DueFrameTake *t = (DueFrameTake *)user;
    t->result = MM_S_PENDING;
    if (frame->status <= 0) {
        if (t->now >= frame->nextTime) t->result = frame->status < 0 ? MM_E_FAIL : MM_S_ENDOFSTREAM;
        return 0;
    }
    if (frame->time > t->now) return 0;
    // Late by a frame or more when the update was asked: an update that may wait leaves it for the due
    // one, which the worker is on already. A draw shows it, newer than the one on screen.
    if (t->asked >= 0 && t->asked - frame->nextTime >= frame->nextTime - frame->time) return 0;
    t->result = ConvertIntoSample(t->sample, frame) == 0 ? MM_OK : MM_E_FAIL;
    return t->result == MM_OK;
}

// Takes the latest decoded frame into the sample once it is due: MM_OK taken, MM_S_PENDING not yet
// (the next frame is asked for when nothing is under way), MM_S_ENDOFSTREAM once the last frame has
// had its time, MM_E_FAIL for a broken stream. Never waits.
static int32_t TakeDueFrame(MmSampleObject *sample, MmStreamObject *stream, int64_t asked)
{
    MmDecoder *decoder = stream->decoder;
    int64_t now = MmStreamTimeNow(stream);
    DueFrameTake take = {sample, now, asked, MM_S_PENDING};
    int64_t end = -1;
    if (!MmTakeDecodedFrame(decoder, now, TakeIfDue, &take, &end)) {
        MmDecodeAhead(decoder);
        return MM_S_PENDING;
    }
    // The picture ends, or breaks, once the last frame has had its time; the sound stops there too.
    if (end >= 0 && stream->audioTrack) MmStopAudioTrackAt(stream->audioTrack, end);
    return take.result;
}

// The kernel runs this before a wait on a pending update's event: the update is over once a frame
// is due, the last one has had its time, or the stream broke; its completion status tells which.
static void PollPendingUpdate(void *user)
{
    MmSampleObject *sample = (MmSampleObject *)user;
    MmStreamObject *stream = sample->video->parent;
    if (!sample->pendingEvent || !stream || !MmStreamIsRunning(stream)) return;
    sample->status = TakeDueFrame(sample, stream, -1);
    if (sample->status == MM_S_PENDING) return;
    KHandle event = sample->pendingEvent;
    MmForgetPendingSample(sample);
    KSetEvent(event);
}

void MmForgetPendingSample(MmSampleObject *sample)
{
    if (!sample->pendingEvent) return;
    KSetEventPollHook(sample->pendingEvent, nullptr, nullptr);
    sample->pendingEvent = 0;
    MmStreamObject *stream = sample->video->parent;
    if (stream && stream->pending == sample) stream->pending = nullptr;
}

// An update without an event, asked at that stream time: waits for the decoder and sleeps on the clock
// until the frame is due.
static int32_t WaitForDueFrame(MmSampleObject *sample, MmStreamObject *stream, int64_t asked)
{
    for (;;) {
        int32_t result = TakeDueFrame(sample, stream, asked);
        if (result != MM_S_PENDING) return result;
        if (MmWaitForDecodedFrame(stream->decoder, asked) != 0) return MM_E_FAIL;
        MmDecodedFrame frame;
        if (!MmPeekDecodedFrame(stream->decoder, MmStreamTimeNow(stream), &frame)) continue;
        int64_t wait = (frame.status > 0 ? frame.time : frame.nextTime) - MmStreamTimeNow(stream);
        if (wait > 0) KSleep((uint32_t)((wait + 9999) / 10000));
    }
}

static int32_t SampleUpdate(MmStreamSample *self, uint32_t flags, KHandle event, void *apc, uintptr_t apcData)
{
    MmSampleObject *sample = MM_OBJECT_OF(MmSampleObject, iface, self);
    MmStreamObject *stream = sample->video->parent;
    if (flags || apc) return MM_E_INVALIDARG;
    if (!stream || !stream->decoder) return MM_E_NOTINIT;
    if (!MmStreamIsRunning(stream)) return MM_E_NOTRUNNING;
    if (sample->pendingEvent) return MM_E_BUSY;
    MmCount(MM_COUNT_UPDATE);
    int64_t asked = event ? -1 : MmStreamTimeNow(stream);
    sample->status = TakeDueFrame(sample, stream, asked);
    if (sample->status != MM_S_PENDING) return sample->status;
    if (!event) return sample->status = WaitForDueFrame(sample, stream, asked);
    sample->pendingEvent = event;
    stream->pending = sample;
    KSetEventPollHook(event, PollPendingUpdate, sample);
    return MM_S_PENDING;
}

static int32_t SampleCompletionStatus(MmStreamSample *self)
{
    return MM_OBJECT_OF(MmSampleObject, iface, self)->status;
}

static const MmStreamSampleFns kSampleFns = {SampleQuery,  SampleAddRef, SampleRelease, SampleGetSurface,
                                             SampleUpdate, SampleCompletionStatus};

MmSampleObject *MmNewSample(MmMediaObject *video, void *surface, const MmRect *rect)
{
    MmSampleObject *sample = (MmSampleObject *)calloc(1, sizeof(MmSampleObject));
    if (!sample) return nullptr;
    sample->iface.fn = &kSampleFns;
    sample->refs = 1;
    sample->video = video;
    video->refs++;
    sample->surface = surface;
    MmGetSurfaceAccess()->addRefSurface(surface);
    sample->rect = *rect;
    MmCountObject(1);
    return sample;
}
