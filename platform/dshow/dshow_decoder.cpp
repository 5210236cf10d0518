// Multimedia-stream stand-in: the video decoder, a worker thread per multimedia stream. A draw never
// waits for it: the stream posts a job and looks for the result on later updates.
#include "platform/dshow/dshow_internal.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>

#include "platform/dshow/frame_convert.h"
#include "platform/kernel/standin_hooks.h"

struct MmDecodeJob {
    MmJobKind kind;
    int64_t time;
};

// Under gMmDecoders.lock but for what the worker alone touches.
struct MmDecoder {
    MmDecoder *next;                   // in gMmDecoders
    std::condition_variable wake;      // a job posted, or the stop
    KHandle thread;
    MmTheoraReader *reader;            // the worker's alone
    int stop;                          // the stream let go: the worker ends and frees the decoder
    int busy;                          // the worker is on a job
    uint32_t generation;               // of the job posted last; older jobs are dropped between frames
    int posted;                        // a job waits to be taken
    MmDecodeJob job;
    MmFrameFormat format;
    int ready;                         // result holds the latest job's result
    MmDecodedFrame result;
    uint8_t *pixels;                   // the converted frame (the worker writes it only while no result waits)
    size_t pixelBytes;
};

MmDecoderList &gMmDecoders = *new MmDecoderList();

// 1 while the decoder has a job posted or under way (lock held).
static int AtWork(const MmDecoder *d) { return d->posted || d->busy; }

int MmDecodersIdle(void)
{
    for (MmDecoder *d = gMmDecoders.first; d; d = d->next)
        if (d->stop || AtWork(d)) return 0;
    return 1;
}

// ---- the worker ----------------------------------------------------------------------------------------

// 1 while the job of generation is still wanted; its decoding counts then. 0 after a stop or a newer job.
static int StillWanted(MmDecoder *d, uint32_t generation, int decoded, int converted)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    if (d->stop || d->generation != generation) return 0;
    MmCountDecoding(decoded, converted);
    return 1;
}

// The decoded frame converted into the pixels in format; status 1, or -1 when out of memory.
static int ConvertFrame(MmDecoder *d, const MmFrameFormat &format, MmDecodedFrame *out)
{
    MmTheoraReader *r = d->reader;
    const MmPictureInfo *picture = MmGetTheoraPicture(r);
    MmPlane planes[3];
    int bytes = (int)format.bitCount / 8;
    int pitch = (picture->picWidth * bytes + 3) & ~3;
    size_t size = (size_t)pitch * (size_t)picture->picHeight;
    if (size > d->pixelBytes) {
        free(d->pixels);
        d->pixels = (uint8_t *)malloc(size);
        d->pixelBytes = d->pixels ? size : 0;
    }
    MmSurfaceLock target = {d->pixels, pitch, picture->picWidth, picture->picHeight, format.bitCount,
                            format.redMask, format.greenMask, format.blueMask};
    if (!d->pixels || MmGetTheoraPlanes(r, planes) != 0 || MmConvertPicture(picture, planes, &target) != 0) return -1;
    out->width = picture->picWidth;
    out->height = picture->picHeight;
    out->pitch = pitch;
    out->format = format;
    out->pixels = d->pixels;
    return 1;
}

// Runs one job of generation on the reader. 1 with its result, 0 when a stop or a newer job came
// between two frames.
static int RunJob(MmDecoder *d, const MmDecodeJob &job, const MmFrameFormat &format, uint32_t generation,
                  MmDecodedFrame *result)
{
    MmTheoraReader *r = d->reader;
    MmDecodedFrame out = {};
    out.kind = job.kind;
    int64_t target = MmTheoraFrameAt(r, job.time);
    // A seek, and frames already late, go by their keyframe instead of decoding every frame before.
    if ((job.kind == MM_JOB_SEEK || target > MmGetTheoraShownFrame(r) + 1) && MmSeekTheoraReader(r, target) != 0) {
        out.status = -1;
        *result = out;
        return 1;
    }
    // Frames up to target; a next-frame job, and a reading that has shown nothing yet, take one at least.
    int decoded = 0;
    auto wanted = [&](int64_t next) {
        return next <= target || (!decoded && (job.kind == MM_JOB_NEXT || MmGetTheoraShownFrame(r) < 0));
    };
    for (int64_t next; (next = MmNextTheoraFrameNumber(r)) >= 0 && wanted(next);) {
        int decodeResult = MmDecodeNextTheoraFrame(r);
        if (decodeResult < 0) {
            // The picture breaks where the broken frame was to show.
            out.status = -1;
            out.nextTime = MmTheoraFrameTime(r, next);
            *result = out;
            return 1;
        }
        if (decodeResult == 0) break;
        StandInQuery(STAND_IN_DSHOW, MM_QUERY_DECODER_FRAME);
        if (!StillWanted(d, generation, 1, 0)) return 0;
        decoded++;
    }
    int64_t shown = MmGetTheoraShownFrame(r);
    int64_t next = MmNextTheoraFrameNumber(r);
    out.time = MmTheoraFrameTime(r, shown < 0 ? 0 : shown);
    // The last frame stays for a frame's time before the end.
    out.nextTime = MmTheoraFrameTime(r, next >= 0 ? next : shown + 1);
    // Nothing new: the end, unless the frame asked for is the one decoded already.
    if (decoded || (job.kind != MM_JOB_NEXT && shown >= 0)) {
        out.status = ConvertFrame(d, format, &out);
        if (out.status > 0 && !StillWanted(d, generation, 0, 1)) return 0;
    }
    *result = out;
    return 1;
}

// The worker's end after the stop: what it held goes first, then the decoder leaves the list (lock
// held), so that a wait for the decoders ends only once everything is freed.
static void FreeDecoder(MmDecoder *d, std::unique_lock<std::mutex> &guard)
{
    guard.unlock();
    MmCloseTheoraReader(d->reader);
    free(d->pixels);
    guard.lock();
    for (MmDecoder **link = &gMmDecoders.first; *link; link = &(*link)->next)
        if (*link == d) {
            *link = d->next;
            break;
        }
    delete d;
    gMmDecoders.changed.notify_all();
}

static uint32_t WorkerMain(void *arg)
{
    MmDecoder *d = (MmDecoder *)arg;
    std::unique_lock<std::mutex> guard(gMmDecoders.lock);
    while (!d->stop) {
        if (!d->posted) {
            d->wake.wait(guard);
            continue;
        }
        // A test may hold the worker here; the job stays posted (and may still change) meanwhile.
        d->busy = 1;
        guard.unlock();
        StandInQuery(STAND_IN_DSHOW, MM_QUERY_DECODER_JOB);
        guard.lock();
        if (d->stop) break;
        MmDecodeJob job = d->job;
        MmFrameFormat format = d->format;
        uint32_t generation = d->generation;
        d->posted = 0;
        guard.unlock();
        MmDecodedFrame result;
        int done = RunJob(d, job, format, generation, &result);
        guard.lock();
        if (done && generation == d->generation) {
            d->result = result;
            d->ready = 1;
        }
        d->busy = 0;
        gMmDecoders.changed.notify_all();
    }
    FreeDecoder(d, guard);
    return 0;
}

// ---- the stream's side ------------------------------------------------------------------------------

MmDecoder *MmStartDecoder(MmTheoraReader *reader)
{
    MmDecoder *d = new (std::nothrow) MmDecoder();
    if (!d) return nullptr;
    d->reader = reader;
    d->format = MmFrameFormat{32, 0xFF0000, 0x00FF00, 0x0000FF};
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    d->thread = KCreateThread(WorkerMain, d);   // waits for the lock before it looks at anything
    if (!d->thread) {
        delete d;
        return nullptr;
    }
    d->next = gMmDecoders.first;
    gMmDecoders.first = d;
    return d;
}

void MmStopDecoder(MmDecoder *d)
{
    if (!d) return;
    KHandle thread;
    {
        std::lock_guard<std::mutex> guard(gMmDecoders.lock);
        d->stop = 1;
        thread = d->thread;
        d->wake.notify_all();
    }
    KCloseHandle(thread);   // from here on the decoder is the worker's
}

// Posts a job, replacing the one waiting (lock held).
static void PostLocked(MmDecoder *d, MmJobKind kind, int64_t time)
{
    d->generation++;
    d->ready = 0;
    d->posted = 1;
    d->job = MmDecodeJob{kind, time};
    d->wake.notify_all();
}

void MmPostDecodeJob(MmDecoder *d, MmJobKind kind, int64_t time)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    if (kind == MM_JOB_NEXT && (d->ready || AtWork(d))) {
        // A job not taken yet goes for the latest time asked.
        if (d->posted && d->job.kind == MM_JOB_NEXT && time > d->job.time) d->job.time = time;
        return;
    }
    PostLocked(d, kind, time);
}

void MmSetDecoderFormat(MmDecoder *d, const MmFrameFormat *format, int64_t time)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    int same = d->format.bitCount == format->bitCount && d->format.redMask == format->redMask &&
               d->format.greenMask == format->greenMask && d->format.blueMask == format->blueMask;
    d->format = *format;
    if (!same && (d->ready || AtWork(d))) PostLocked(d, MM_JOB_SEEK, time);
}

int MmPeekDecodedFrame(MmDecoder *d, MmDecodedFrame *out)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    if (!d->ready) return 0;
    *out = d->result;
    return 1;
}

void MmConsumeDecodedFrame(MmDecoder *d, int64_t time)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    PostLocked(d, MM_JOB_NEXT, time);
}

int MmWaitForDecodedFrame(MmDecoder *d)
{
    std::unique_lock<std::mutex> guard(gMmDecoders.lock);
    return gMmDecoders.changed.wait_for(guard, std::chrono::seconds(30), [d] { return d->ready || !AtWork(d); }) ? 0 : -1;
}
