// Multimedia-stream stand-in: the video decoder, a worker thread per multimedia stream. A draw never
// waits for it: the stream posts a job and looks for the result on later updates.
#include "platform/dshow/dshow_internal.h"

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/kernel/standin_hooks.h"

#define WORKER_RECHECK_US 1000000   // a worker waiting on the clock looks again at least this often

enum MmJobKind {
    MM_JOB_NEXT,       // the frame after the one decoded last, or the one due at the time when later
    MM_JOB_SEEK,       // the frame covering the time, from wherever the reading stands
};
struct MmDecodeJob {
    MmJobKind kind;
    int64_t time;
};

// Under gMmDecoders.lock but for what the worker alone touches.
struct MmDecoder {
    MmDecoder *next;                   // in gMmDecoders
    std::condition_variable wake;      // a job posted, a frame taken, the clock changed, or the stop
    KHandle thread;
    MmTheoraReader *reader;            // the worker's alone
    int stop;                          // the stream let go: the worker ends and frees the decoder
    int holding;                       // the worker has made its reader's codec (a decoder's memory)
    int busy;                          // the worker is on a job
    int ahead;                         // 1 once the stream wants frames: two are kept decoded
    uint32_t generation;               // bumped by a seek; older jobs are dropped between frames
    int posted;                        // a seek waits to be taken
    int64_t seekTime;
    // Frames in time order: the one to show (or the first to come) and the one after it. A result
    // other than a frame (the end, a break) is the last.
    MmDecodedFrame queue[2];
    int count;
    uint8_t *planes[2];                // the kept planes the queue's frames point into
    size_t planeBytes[2];
    int64_t clockTime;                 // the stream clock: its time at clockSince, running or not
    uint64_t clockSince;
    int clockRunning;
};

MmDecoderList &gMmDecoders = *new MmDecoderList();

// ---- the clock (lock held) ---------------------------------------------------------------------------

static int64_t StreamTimeOf(const MmDecoder *d) { return MmStreamClockNow(d->clockTime, d->clockSince, d->clockRunning); }

// When a queued result comes into force: a frame from its time, the end or a break at its next time.
static int64_t DueAt(const MmDecodedFrame &f) { return f.status > 0 ? f.time : f.nextTime; }

// The frame after the first is due: the first has had its time and gives way.
static void Promote(MmDecoder *d, int64_t now)
{
    if (d->count == 2 && now >= DueAt(d->queue[1])) {
        d->queue[0] = d->queue[1];
        d->count = 1;
    }
}

// 1 when the worker is to decode the next frame: fewer than two wait, and no end or break.
static int WantsFrame(const MmDecoder *d)
{
    return d->ahead && d->count < 2 && !(d->count > 0 && d->queue[d->count - 1].status <= 0);
}

// 1 while the decoder has a job, or the clock has given it one (its worker is then woken).
static int AtWork(MmDecoder *d)
{
    if (d->posted || d->busy) return 1;
    Promote(d, StreamTimeOf(d));
    if (!WantsFrame(d)) return 0;
    d->wake.notify_all();
    return 1;
}

int MmDecodersIdle(void)
{
    for (MmDecoder *d = gMmDecoders.first; d; d = d->next)
        if (d->stop || AtWork(d)) return 0;
    return 1;
}

// ---- the worker ----------------------------------------------------------------------------------------

// 1 while the job of generation is still wanted; its step counts then. 0 after a stop or a newer job.
static int StillWanted(MmDecoder *d, uint32_t generation, MmCountKind step)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    if (d->stop || d->generation != generation) return 0;
    MmCount(step);
    return 1;
}

// Where a plane's rows are kept: one span of its memory, padding between the rows and all, when its
// rows go down in memory with little padding (a copy for many rows instead of one a row), else each
// row alone.
struct KeptPlane {
    int left, top;                // of the picture's part in the decoded plane
    int stride, width, height;    // of the decoded plane, and of the part kept
    int whole;                    // 1: spans, kept with the plane's own stride
    uint8_t *to;                  // the part's first row in the block
};

// The picture's part of a decoded plane of the layout's stride, and the room it takes in the block.
static KeptPlane PlanePart(const MmPlane &plane, int left, int top, int width, int height, size_t *bytes)
{
    KeptPlane p = {left, top, plane.stride, width, height, plane.stride > 0 && plane.stride <= width + 128, nullptr};
    *bytes = p.whole ? (size_t)plane.stride * (size_t)(height - 1) + (size_t)width
                     : (size_t)((width + 31) & ~31) * (size_t)height;
    return p;
}

// Copies the part's rows from..to (within the part) of the decoded plane into the block.
static void KeepRows(const KeptPlane &p, const MmPlane &plane, int from, int to)
{
    const uint8_t *first = plane.data + (intptr_t)p.top * plane.stride + p.left;
    if (p.whole && from < to) {
        memcpy(p.to + (size_t)from * p.stride, first + (intptr_t)from * p.stride,
               (size_t)p.stride * (size_t)(to - from - 1) + (size_t)p.width);
        return;
    }
    int stride = (p.width + 31) & ~31;
    for (int y = from; y < to; y++) memcpy(p.to + (size_t)y * stride, first + (intptr_t)y * plane.stride, (size_t)p.width);
}

// How the picture's part of a frame's planes lies in the block of a slot, from the first column and
// row of the chroma samples it uses, so that the conversion finds each pixel's sample where it was.
struct KeptFrame {
    KeptPlane parts[3];
    int shift[3];                 // vertical subsampling of each plane
    MmPictureInfo picture;        // the picture within the kept planes
};

// Lays the frame's part out in the block of slot (made larger when it must be). 0, -1 out of memory.
static int LayOutKept(MmDecoder *d, int slot, const MmPlane planes[3], KeptFrame *k)
{
    const MmPictureInfo *picture = MmGetTheoraPicture(d->reader);
    int hshift = picture->chroma == MM_CHROMA_444 ? 0 : 1, vshift = picture->chroma == MM_CHROMA_420 ? 1 : 0;
    k->picture = *picture;
    k->picture.picX = picture->picX & hshift;
    k->picture.picY = picture->picY & vshift;
    int width = k->picture.picX + picture->picWidth, height = k->picture.picY + picture->picHeight;
    size_t bytes[3], offsets[4] = {0};
    k->parts[0] = PlanePart(planes[0], picture->picX - k->picture.picX, picture->picY - k->picture.picY, width, height,
                            &bytes[0]);
    for (int c = 1; c < 3; c++)
        k->parts[c] = PlanePart(planes[c], picture->picX >> hshift, picture->picY >> vshift, (width + hshift) >> hshift,
                                (height + vshift) >> vshift, &bytes[c]);
    for (int c = 0; c < 3; c++) {
        k->shift[c] = c ? vshift : 0;
        offsets[c + 1] = offsets[c] + ((bytes[c] + 31) & ~(size_t)31);
    }
    uint8_t *&block = d->planes[slot];
    size_t &blockBytes = d->planeBytes[slot];
    if (offsets[3] > blockBytes) {
        free(block);
        block = (uint8_t *)malloc(offsets[3]);
        blockBytes = block ? offsets[3] : 0;
    }
    if (!block) return -1;
    for (int c = 0; c < 3; c++) k->parts[c].to = block + offsets[c];
    return 0;
}

// The kept frame as the conversion reads it.
static void KeptResult(const KeptFrame &k, MmDecodedFrame *out)
{
    for (int c = 0; c < 3; c++) {
        const KeptPlane &p = k.parts[c];
        out->planes[c] = MmPlane{p.width, p.height, p.whole ? p.stride : (p.width + 31) & ~31, p.to};
    }
    out->picture = k.picture;
}

// The frame decoded last, kept whole. 1, or -1 when out of memory.
static int KeepPlanes(MmDecoder *d, int slot, MmDecodedFrame *out)
{
    MmPlane planes[3];
    KeptFrame k;
    if (MmGetTheoraPlanes(d->reader, planes) != 0 || LayOutKept(d, slot, planes, &k) != 0) return -1;
    for (int c = 0; c < 3; c++) KeepRows(k.parts[c], planes[c], 0, k.parts[c].height);
    KeptResult(k, out);
    return 1;
}

// A frame kept stripe by stripe while the codec decodes it, each stripe copied while it is still in
// the cache. Complete once the stripes have covered every row of the coded frame.
struct StripeKeep {
    MmDecoder *d;
    int slot;
    int laidOut;                  // -1 out of memory, 0 not yet, 1 laid out
    int rows;                     // luma rows covered so far
    KeptFrame k;
};

static void KeepStripe(void *user, const MmPlane planes[3], int firstRow, int endRow)
{
    StripeKeep *s = (StripeKeep *)user;
    if (!s->laidOut) s->laidOut = LayOutKept(s->d, s->slot, planes, &s->k) == 0 ? 1 : -1;
    if (s->laidOut < 0) return;
    for (int c = 0; c < 3; c++) {
        const KeptPlane &p = s->k.parts[c];
        int from = (firstRow >> s->k.shift[c]) - p.top, to = (endRow >> s->k.shift[c]) - p.top;
        KeepRows(p, planes[c], from < 0 ? 0 : from, to > p.height ? p.height : to);
    }
    s->rows += endRow - firstRow;
}

// Runs one job of generation on the reader, keeping the frame in the block of slot. 1 with its result, 0
// when a stop or a seek came between two frames.
static int RunJob(MmDecoder *d, const MmDecodeJob &job, uint32_t generation, int slot, MmDecodedFrame *result)
{
    MmTheoraReader *r = d->reader;
    MmDecodedFrame out = {};
    int64_t target = MmTheoraFrameAt(r, job.time);
    // The codec comes with the first job. A seek, and frames already late, go by their keyframe instead
    // of decoding every frame before.
    if (MmPrepareTheoraDecoder(r) != 0 ||
        ((job.kind == MM_JOB_SEEK || target > MmGetTheoraShownFrame(r) + 1) && MmSeekTheoraReader(r, target) != 0)) {
        out.status = -1;
        *result = out;
        return 1;
    }
    // Frames up to target; a next-frame job, and a reading that has shown nothing yet, take one at least.
    int decoded = 0;
    auto wanted = [&](int64_t next) {
        return next <= target || (!decoded && (job.kind == MM_JOB_NEXT || MmGetTheoraShownFrame(r) < 0));
    };
    // The frame asked for is kept while it is decoded (one that turns out not to be the last, or is
    // decoded without stripes, is kept after it instead).
    StripeKeep stripes = {d, slot, 0, 0, {}};
    for (int64_t next; (next = MmNextTheoraFrameNumber(r)) >= 0 && wanted(next);) {
        stripes.laidOut = stripes.rows = 0;
        MmSetTheoraStripes(r, next >= target ? KeepStripe : nullptr, &stripes);
        int decodeResult = MmDecodeNextTheoraFrame(r);
        MmSetTheoraStripes(r, nullptr, nullptr);
        if (decodeResult < 0) {
            // The picture breaks where the broken frame was to show.
            out.status = -1;
            out.nextTime = MmTheoraFrameTime(r, next);
            *result = out;
            return 1;
        }
        if (decodeResult == 0) break;
        StandInQuery(STAND_IN_DSHOW, MM_QUERY_DECODER_FRAME);
        if (!StillWanted(d, generation, MM_COUNT_DECODED)) return 0;
        decoded++;
    }
    int64_t shown = MmGetTheoraShownFrame(r);
    int64_t next = MmNextTheoraFrameNumber(r);
    out.time = MmTheoraFrameTime(r, shown < 0 ? 0 : shown);
    // The last frame stays for a frame's time before the end.
    out.nextTime = MmTheoraFrameTime(r, next >= 0 ? next : shown + 1);
    // Nothing new: the end, unless the frame asked for is the one decoded already.
    if (decoded && stripes.laidOut > 0 && stripes.rows >= MmGetTheoraPicture(r)->frameHeight) {
        KeptResult(stripes.k, &out);
        out.status = 1;
    } else if (decoded || (job.kind == MM_JOB_SEEK && shown >= 0)) {
        out.status = KeepPlanes(d, slot, &out);
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
    free(d->planes[0]);
    free(d->planes[1]);
    guard.lock();
    if (d->holding) {
        gMmDecoders.stoppedHolding--;
        StandInCountObject(STAND_IN_DSHOW, MM_OBJ_CODEC, -1);
    }
    StandInCountObject(STAND_IN_DSHOW, MM_OBJ_DECODER, -1);
    for (MmDecoder **link = &gMmDecoders.first; *link; link = &(*link)->next)
        if (*link == d) {
            *link = d->next;
            break;
        }
    delete d;
    gMmDecoders.changed.notify_all();
}

// The plane block no queued frame points into (there is one while fewer than two are queued).
static int FreeSlot(const MmDecoder *d)
{
    return d->count > 0 && d->queue[0].status > 0 && d->queue[0].planes[0].data == d->planes[0] ? 1 : 0;
}

static uint32_t WorkerMain(void *arg)
{
    MmDecoder *d = (MmDecoder *)arg;
    std::unique_lock<std::mutex> guard(gMmDecoders.lock);
    while (!d->stop) {
        int64_t now = StreamTimeOf(d);
        Promote(d, now);
        if (!d->posted && !WantsFrame(d)) {
            // Until the second frame is due, a frame is taken, a job comes or the clock changes.
            if (d->count == 2 && d->clockRunning) {
                int64_t left = (DueAt(d->queue[1]) - now) / 10 + 1;
                d->wake.wait_for(guard, std::chrono::microseconds(left < WORKER_RECHECK_US ? left : WORKER_RECHECK_US));
            } else {
                d->wake.wait(guard);
            }
            continue;
        }
        // A test may hold the worker here; the job may still change meanwhile.
        d->busy = 1;
        guard.unlock();
        StandInQuery(STAND_IN_DSHOW, MM_QUERY_DECODER_JOB);
        guard.lock();
        if (d->stop) break;
        // A seek, or the frame after the last one decoded (the one due now when that is later).
        MmDecodeJob job = {d->posted ? MM_JOB_SEEK : MM_JOB_NEXT, d->posted ? d->seekTime : StreamTimeOf(d)};
        if (!d->posted && !WantsFrame(d)) {
            d->busy = 0;
            gMmDecoders.changed.notify_all();
            continue;
        }
        // A codec is made only while no decoder let go still holds one: stopped workers finishing a
        // long frame cannot pile up memory under a storm of removes, re-opens and display changes.
        if (!d->holding && gMmDecoders.stoppedHolding > 0) {
            d->busy = 0;
            gMmDecoders.changed.wait(guard);
            continue;
        }
        if (!d->holding) StandInCountObject(STAND_IN_DSHOW, MM_OBJ_CODEC, 1);
        d->holding = 1;
        d->posted = 0;
        uint32_t generation = d->generation;
        int slot = FreeSlot(d);
        guard.unlock();
        MmDecodedFrame result;
        int done = RunJob(d, job, generation, slot, &result);
        guard.lock();
        if (done && generation == d->generation && d->count < 2) d->queue[d->count++] = result;
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
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    d->thread = KCreateThread(WorkerMain, d);   // waits for the lock before it looks at anything
    if (!d->thread) {
        delete d;
        return nullptr;
    }
    d->next = gMmDecoders.first;
    gMmDecoders.first = d;
    StandInCountObject(STAND_IN_DSHOW, MM_OBJ_DECODER, 1);
    return d;
}

void MmStopDecoder(MmDecoder *d)
{
    if (!d) return;
    KHandle thread;
    {
        std::lock_guard<std::mutex> guard(gMmDecoders.lock);
        d->stop = 1;
        gMmDecoders.stoppedHolding += d->holding;
        thread = d->thread;
        d->wake.notify_all();
        gMmDecoders.changed.notify_all();   // a worker waiting to make its codec
    }
    KCloseHandle(thread);   // from here on the decoder is the worker's
}

// Lock held.
static void SetClock(MmDecoder *d, int64_t streamTime, uint64_t since, int running)
{
    d->clockTime = streamTime;
    d->clockSince = since;
    d->clockRunning = running;
    d->wake.notify_all();
}

void MmSetDecoderClock(MmDecoder *d, int64_t streamTime, uint64_t since, int running)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    SetClock(d, streamTime, since, running);
}

void MmSeekDecoder(MmDecoder *d, int64_t time, uint64_t since, int running)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    SetClock(d, time, since, running);
    d->generation++;
    d->count = 0;
    d->posted = 1;
    d->seekTime = time;
}

void MmDecodeAhead(MmDecoder *d)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    d->ahead = 1;
    d->wake.notify_all();
}

int MmPeekDecodedFrame(MmDecoder *d, int64_t now, MmDecodedFrame *out)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    Promote(d, now);
    if (!d->count) return 0;
    *out = d->queue[0];
    return 1;
}

int MmTakeDecodedFrame(MmDecoder *d, int64_t now, int (*take)(void *user, const MmDecodedFrame *frame), void *user,
                       int64_t *end)
{
    std::lock_guard<std::mutex> guard(gMmDecoders.lock);
    Promote(d, now);
    if (!d->count) return 0;
    const MmDecodedFrame &last = d->queue[d->count - 1];
    *end = last.status <= 0 ? last.nextTime : -1;
    if (take(user, &d->queue[0])) {
        d->queue[0] = d->queue[1];
        d->count--;
        d->wake.notify_all();
    }
    return 1;
}

int MmWaitForDecodedFrame(MmDecoder *d, int64_t asked)
{
    std::unique_lock<std::mutex> guard(gMmDecoders.lock);
    auto done = [d, asked] {
        if (!AtWork(d)) return true;
        int64_t now = StreamTimeOf(d);
        Promote(d, now);
        return d->count > 0 && d->queue[0].status > 0 && d->queue[0].time <= now && d->queue[0].nextTime > asked;
    };
    return gMmDecoders.changed.wait_for(guard, std::chrono::seconds(30), done) ? 0 : -1;
}
