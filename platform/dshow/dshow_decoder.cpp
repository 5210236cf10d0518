// Multimedia-stream stand-in: the video decoder, a worker thread per multimedia stream. A draw never
// waits for it: the stream posts a job and looks for the result on later updates.
#include "platform/dshow/dshow_internal.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "platform/dshow/frame_convert.h"

struct MmDecodeJob {
    MmJobKind kind;
    int64_t time;
};

struct MmDecoder {
    std::mutex lock;
    std::condition_variable changed;   // a job posted, a result in, or the stop
    KHandle thread;
    MmTheoraReader *reader;            // the worker's alone
    int stop;
    uint32_t generation;               // of the job posted last; results of older ones are dropped
    int posted;                        // a job waits to be taken
    int outstanding;                   // a job posted or running, as counted in the open jobs
    MmDecodeJob job;
    MmFrameFormat format;
    int ready;                         // result holds the latest job's result
    MmDecodedFrame result;
    uint8_t *pixels;                   // the converted frame (the worker writes it only while no result waits)
    size_t pixelBytes;
};

// ---- open jobs over every decoder (the test hooks wait on them and hold the workers) ----------------

MmDecoderJobs gMmJobs;

// Called with the decoder's lock held.
static void SetOutstanding(MmDecoder *d, int outstanding)
{
    if (d->outstanding == outstanding) return;
    d->outstanding = outstanding;
    std::lock_guard<std::mutex> guard(gMmJobs.lock);
    gMmJobs.open += outstanding ? 1 : -1;
    gMmJobs.changed.notify_all();
}

static void WaitWhileHeld(MmDecoder *d)
{
    std::unique_lock<std::mutex> guard(gMmJobs.lock);
    gMmJobs.changed.wait(guard, [d] { return !gMmJobs.held || __atomic_load_n(&d->stop, __ATOMIC_ACQUIRE); });
}

// ---- the worker -------------------------------------------------------------------------------------

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
    MmCountDecoding(0, 1);
    return 1;
}

// Runs one job on the reader.
static MmDecodedFrame RunJob(MmDecoder *d, const MmDecodeJob &job, const MmFrameFormat &format)
{
    MmTheoraReader *r = d->reader;
    MmDecodedFrame out = {};
    out.kind = job.kind;
    int64_t target = MmTheoraFrameAt(r, job.time);
    // A seek, and frames already late, go by their keyframe instead of decoding every frame before.
    if ((job.kind == MM_JOB_SEEK || target > MmGetTheoraShownFrame(r) + 1) && MmSeekTheoraReader(r, target) != 0) {
        out.status = -1;
        return out;
    }
    // Frames up to target; a next-frame job, and a reading that has shown nothing yet, take one at least.
    int decoded = 0;
    auto wanted = [&](int64_t next) {
        return next <= target || (!decoded && (job.kind == MM_JOB_NEXT || MmGetTheoraShownFrame(r) < 0));
    };
    for (int64_t next; (next = MmNextTheoraFrameNumber(r)) >= 0 && wanted(next);) {
        int result = MmDecodeNextTheoraFrame(r);
        if (result < 0) {
            // The picture breaks where the broken frame was to show.
            out.status = -1;
            out.nextTime = MmTheoraFrameTime(r, next);
            return out;
        }
        if (result == 0) break;
        decoded++;
        MmCountDecoding(1, 0);
    }
    int64_t shown = MmGetTheoraShownFrame(r);
    int64_t next = MmNextTheoraFrameNumber(r);
    out.time = MmTheoraFrameTime(r, shown < 0 ? 0 : shown);
    // The last frame stays for a frame's time before the end.
    out.nextTime = MmTheoraFrameTime(r, next >= 0 ? next : shown + 1);
    // Nothing new: the end, unless the frame asked for is the one decoded already.
    if (!decoded && (job.kind == MM_JOB_NEXT || shown < 0)) return out;
    out.status = ConvertFrame(d, format, &out);
    return out;
}

static uint32_t WorkerMain(void *arg)
{
    MmDecoder *d = (MmDecoder *)arg;
    for (;;) {
        MmDecodeJob job;
        MmFrameFormat format;
        uint32_t generation;
        {
            std::unique_lock<std::mutex> guard(d->lock);
            d->changed.wait(guard, [d] { return d->stop || d->posted; });
            if (d->stop) return 0;
        }
        // Held by a test: the job stays posted (and may still change) until the hold ends.
        WaitWhileHeld(d);
        {
            std::lock_guard<std::mutex> guard(d->lock);
            if (d->stop) return 0;
            if (!d->posted) continue;
            job = d->job;
            format = d->format;
            generation = d->generation;
            d->posted = 0;
        }
        MmDecodedFrame result = RunJob(d, job, format);
        std::lock_guard<std::mutex> guard(d->lock);
        if (generation == d->generation) {
            d->result = result;
            d->ready = 1;
        }
        // A stop while the job ran has already closed the count: a job posted meanwhile is never taken.
        SetOutstanding(d, d->stop ? 0 : d->posted);
        d->changed.notify_all();
    }
}

// ---- the stream's side ------------------------------------------------------------------------------

MmDecoder *MmStartDecoder(MmTheoraReader *reader)
{
    MmDecoder *d = new (std::nothrow) MmDecoder();
    if (!d) return nullptr;
    d->reader = reader;
    d->format = MmFrameFormat{32, 0xFF0000, 0x00FF00, 0x0000FF};
    d->thread = KCreateThread(WorkerMain, d);
    if (!d->thread) {
        delete d;
        return nullptr;
    }
    return d;
}

void MmStopDecoder(MmDecoder *d)
{
    if (!d) return;
    {
        std::lock_guard<std::mutex> guard(d->lock);
        __atomic_store_n(&d->stop, 1, __ATOMIC_RELEASE);
        SetOutstanding(d, 0);
        d->changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> guard(gMmJobs.lock);
        gMmJobs.changed.notify_all();   // a held worker lets go
    }
    KWaitForSingleObject(d->thread, K_INFINITE);   // the worker ends after the frame it is on
    KCloseHandle(d->thread);
    MmCloseTheoraReader(d->reader);
    free(d->pixels);
    delete d;
}

// Posts a job, replacing the one waiting; called with the lock held.
static void Post(MmDecoder *d, MmJobKind kind, int64_t time)
{
    d->generation++;
    d->ready = 0;
    d->posted = 1;
    d->job = MmDecodeJob{kind, time};
    SetOutstanding(d, 1);
    d->changed.notify_all();
}

void MmPostDecodeJob(MmDecoder *d, MmJobKind kind, int64_t time)
{
    std::lock_guard<std::mutex> guard(d->lock);
    if (kind == MM_JOB_NEXT && (d->ready || d->outstanding)) {
        // A job not taken yet goes for the latest time asked.
        if (d->posted && d->job.kind == MM_JOB_NEXT && time > d->job.time) d->job.time = time;
        return;
    }
    Post(d, kind, time);
}

void MmSetDecoderFormat(MmDecoder *d, const MmFrameFormat *format, int64_t time)
{
    std::lock_guard<std::mutex> guard(d->lock);
    int same = d->format.bitCount == format->bitCount && d->format.redMask == format->redMask &&
               d->format.greenMask == format->greenMask && d->format.blueMask == format->blueMask;
    d->format = *format;
    if (!same && (d->ready || d->outstanding)) Post(d, MM_JOB_SEEK, time);
}

int MmPeekDecodedFrame(MmDecoder *d, MmDecodedFrame *out)
{
    std::lock_guard<std::mutex> guard(d->lock);
    if (!d->ready) return 0;
    *out = d->result;
    return 1;
}

void MmConsumeDecodedFrame(MmDecoder *d, int64_t time)
{
    std::lock_guard<std::mutex> guard(d->lock);
    d->ready = 0;
    Post(d, MM_JOB_NEXT, time);
}

int MmWaitForDecodedFrame(MmDecoder *d)
{
    std::unique_lock<std::mutex> guard(d->lock);
    return d->changed.wait_for(guard, std::chrono::seconds(30), [d] { return d->ready || !d->outstanding; }) ? 0 : -1;
}
