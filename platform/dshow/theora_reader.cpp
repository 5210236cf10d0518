// Multimedia-stream stand-in: the Ogg demuxer and Theora decoder behind the video stream.
#include "platform/dshow/theora_reader.h"

#include <cstdio>
#include <cstdlib>
#include <ogg/ogg.h>
#include <unistd.h>
#include <theora/theoradec.h>

#define READ_CHUNK 4096
#define PAGE_PACKETS_MAX 255          // lacing values of one page
#define BISECT_WINDOW (64 * 1024)     // the bisection ends with a scan of this much
#define BISECT_PROBE (256 * 1024)     // how far one probe looks for a page with a granule position
#define FRAME_NUMBER_MAX ((int64_t)1 << 62)   // hostile granule positions stop here (numbers stay summable)
#define END_WINDOW (256 * 1024)       // the file's last page is looked for in this much of its end
#define AHEAD_WINDOW (256 * 1024)     // a jump is held against the next page that starts this far on
#define SEEK_BACK_BYTES (32 << 20)    // read going back over keyframe marks before a seek starts from the first frame

// A Theora page with a granule position: where it lies and the number of its last frame.
struct PageMark {
    int64_t start, end;
    int64_t granule;
};

struct MmTheoraReader {
    FILE *file;
    int64_t fileSize;
    int64_t lastPageFrame;        // the last frame of the file's last Theora page, -1 when none was found
    int64_t syncOffset;           // file offset of the first byte the sync layer has not handed out
    int64_t bytesRead;            // from the file so far
    int64_t dataStart;            // offset just past the page that ends the headers
    ogg_sync_state sync;
    ogg_stream_state stream;      // the Theora logical stream
    int haveStream;               // 1 once stream is initialised
    th_info info;
    th_comment comment;
    th_setup_info *setup;
    th_dec_ctx *decoder;
    // The packets the last page completed, numbered back from its granule position.
    ogg_packet packets[PAGE_PACKETS_MAX];
    int64_t numbers[PAGE_PACKETS_MAX];
    int packetCount, packetAt;
    int64_t lastNumber;           // of the packet numbered last (numbers only go up)
    int pageBroken;               // the last page's number was out of reach: its packets are broken frames
    int ended;                    // no packet is left
    int needKeyframe;             // after a move: packets before a keyframe are passed over
    int64_t frames;               // frames decoded
    int64_t shown;                // number of the frame decoded last, -1 none
    MmPictureInfo picture;
    MmStripeFn stripe;            // null: no stripes handed out
    void *stripeUser;
};

// Reads one more chunk of the file into the sync layer. 1, 0 at the end of the file.
static int ReadChunk(MmTheoraReader *r)
{
    char *buffer = ogg_sync_buffer(&r->sync, READ_CHUNK);
    size_t got = buffer ? fread(buffer, 1, READ_CHUNK, r->file) : 0;
    ogg_sync_wrote(&r->sync, (long)got);
    r->bytesRead += (int64_t)got;
    return got > 0;
}

// The next page of the file and its start offset. 1, 0 at the end (or past limit bytes read).
static int NextPageWithin(MmTheoraReader *r, ogg_page *page, int64_t *start, int64_t limit)
{
    for (;;) {
        int64_t at = r->syncOffset;
        long result = ogg_sync_pageseek(&r->sync, page);
        if (result > 0) {
            r->syncOffset += result;
            if (start) *start = at;
            return 1;
        }
        if (result < 0) {
            r->syncOffset -= result;   // bytes skipped
            continue;
        }
        if (r->syncOffset > limit || !ReadChunk(r)) return 0;
    }
}

static int NextPage(MmTheoraReader *r, ogg_page *page) { return NextPageWithin(r, page, nullptr, INT64_MAX); }

// Reads the file from offset on, through a fresh sync layer.
static int MoveTo(MmTheoraReader *r, int64_t offset)
{
    if (fseeko(r->file, (off_t)offset, SEEK_SET) != 0) return -1;
    ogg_sync_reset(&r->sync);
    r->syncOffset = offset;
    return 0;
}

static int IsTheoraPage(const MmTheoraReader *r, ogg_page *page)
{
    return r->haveStream && ogg_page_serialno(page) == r->stream.serialno;
}

// The frame number of a granule position: keyframe number plus frames since (3.2.1 streams count
// from 1).
static int64_t GranuleFrame(const MmTheoraReader *r, int64_t granule, int keyframeOnly)
{
    int shift = r->info.keyframe_granule_shift;
    int64_t key = granule >> shift;
    int64_t since = keyframeOnly ? 0 : granule - (key << shift);
    int bias = r->info.version_major > 3 || (r->info.version_major == 3 && (r->info.version_minor > 2 ||
               (r->info.version_minor == 2 && r->info.version_subminor >= 1)));
    int64_t frame = key + since - bias;
    return frame < 0 ? 0 : frame > FRAME_NUMBER_MAX ? FRAME_NUMBER_MAX : frame;
}

// ---- what the file says elsewhere ---------------------------------------------------------------------

// The Theora pages with a granule position that start in [from, to), read apart from the reading under
// way: the first of them (first 1) or the last. 1 found, 0 none.
static int FindGranulePage(const MmTheoraReader *r, int64_t from, int64_t to, int first, PageMark *out)
{
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    ogg_page page;
    int found = 0;
    for (int64_t at = from, read = from; at < to && !(found && first);) {
        long result = ogg_sync_pageseek(&sync, &page);
        if (result > 0 && IsTheoraPage(r, &page) && ogg_page_granulepos(&page) >= 0) {
            *out = PageMark{at, at + result, ogg_page_granulepos(&page)};
            found = 1;
        }
        at += result < 0 ? -result : result;   // a page, or bytes skipped
        if (result != 0) continue;
        char *buffer = ogg_sync_buffer(&sync, READ_CHUNK);
        ssize_t got = buffer ? pread(fileno(r->file), buffer, READ_CHUNK, (off_t)read) : 0;
        if (got <= 0) break;
        ogg_sync_wrote(&sync, (long)got);
        read += got;
    }
    ogg_sync_clear(&sync);
    return found;
}

// Where the file's time ends: the last frame of its last Theora page, looked for near its end only.
static void FindLastPage(MmTheoraReader *r)
{
    PageMark mark;
    int64_t from = r->fileSize - END_WINDOW > r->dataStart ? r->fileSize - END_WINDOW : r->dataStart;
    r->lastPageFrame = FindGranulePage(r, from, r->fileSize, 0, &mark) ? GranuleFrame(r, mark.granule, 0) : -1;
}

// Looks at a beginning-of-stream page: its first packet tells whether the stream is Theora.
static void TryStream(MmTheoraReader *r, ogg_page *page)
{
    ogg_stream_state test;
    ogg_packet first;
    ogg_stream_init(&test, ogg_page_serialno(page));
    ogg_stream_pagein(&test, page);
    if (ogg_stream_packetout(&test, &first) == 1 &&
        th_decode_headerin(&r->info, &r->comment, &r->setup, &first) > 0) {
        r->stream = test;   // ogg_stream_state owns heap blocks: moved, not copied twice
        r->haveStream = 1;
        return;
    }
    ogg_stream_clear(&test);
}

// 1 when a side and the area fit the largest picture taken.
static int SizeFits(uint32_t width, uint32_t height)
{
    return width <= MM_MAX_PICTURE_SIDE && height <= MM_MAX_PICTURE_SIDE &&
           (uint64_t)width * height <= MM_MAX_PICTURE_PIXELS;
}

// Reads the three Theora headers. 1 when the decoder is ready, 0 without video, -1 for a bad file
// (also one whose picture or coded frame is too large: refused before the decoder allocates).
static int ReadHeaders(MmTheoraReader *r)
{
    ogg_page page;
    int sawPage = 0;
    // Beginning-of-stream pages come first in an Ogg file.
    for (;;) {
        if (!NextPage(r, &page)) return sawPage ? 0 : -1;
        sawPage = 1;
        if (!ogg_page_bos(&page)) break;
        if (!r->haveStream) TryStream(r, &page);
    }
    if (!r->haveStream) return 0;
    if (!SizeFits(r->info.frame_width, r->info.frame_height) || !SizeFits(r->info.pic_width, r->info.pic_height))
        return -1;
    if (IsTheoraPage(r, &page)) ogg_stream_pagein(&r->stream, &page);
    int headers = 1;
    while (headers < 3) {
        ogg_packet packet;
        int got = ogg_stream_packetout(&r->stream, &packet);
        if (got < 0) return -1;
        if (got == 0) {
            if (!NextPage(r, &page)) return -1;
            if (IsTheoraPage(r, &page)) ogg_stream_pagein(&r->stream, &page);
            continue;
        }
        if (th_decode_headerin(&r->info, &r->comment, &r->setup, &packet) <= 0) return -1;
        headers++;
    }
    r->dataStart = r->syncOffset;
    return 1;
}

int MmPrepareTheoraDecoder(MmTheoraReader *r)
{
    if (!r->decoder && r->setup) r->decoder = th_decode_alloc(&r->info, r->setup);
    return r->decoder ? 0 : -1;
}

static void FillPicture(MmTheoraReader *r)
{
    MmPictureInfo *p = &r->picture;
    p->hasVideo = 1;
    p->frameWidth = (int)r->info.frame_width;
    p->frameHeight = (int)r->info.frame_height;
    p->picX = (int)r->info.pic_x;
    p->picY = (int)r->info.pic_y;
    p->picWidth = (int)r->info.pic_width;
    p->picHeight = (int)r->info.pic_height;
    p->chroma = r->info.pixel_fmt == TH_PF_444 ? MM_CHROMA_444 : r->info.pixel_fmt == TH_PF_422 ? MM_CHROMA_422 : MM_CHROMA_420;
    p->fpsNumerator = r->info.fps_numerator;
    p->fpsDenominator = r->info.fps_denominator;
}

// Reads the file from its start: headers, and the picture when there is one. 0 / -1.
static int StartReading(MmTheoraReader *r)
{
    ogg_sync_init(&r->sync);
    th_info_init(&r->info);
    th_comment_init(&r->comment);
    r->lastNumber = -1;
    r->shown = -1;
    r->needKeyframe = 1;
    int headers = ReadHeaders(r);
    if (headers < 0) return -1;
    if (headers == 0) {
        r->ended = 1;
        return 0;
    }
    FillPicture(r);
    FindLastPage(r);
    return r->picture.picWidth > 0 && r->picture.picHeight > 0 && r->picture.fpsNumerator > 0 &&
                   r->picture.fpsDenominator > 0 ? 0 : -1;
}

MmTheoraReader *MmOpenTheoraReader(const char *diskPath)
{
    MmTheoraReader *r = (MmTheoraReader *)calloc(1, sizeof(MmTheoraReader));
    if (!r) return nullptr;
    r->file = fopen(diskPath, "rb");
    if (!r->file) {
        free(r);
        return nullptr;
    }
    fseeko(r->file, 0, SEEK_END);
    r->fileSize = (int64_t)ftello(r->file);
    fseeko(r->file, 0, SEEK_SET);
    if (StartReading(r) != 0) {
        MmCloseTheoraReader(r);
        return nullptr;
    }
    return r;
}

void MmCloseTheoraReader(MmTheoraReader *r)
{
    if (!r) return;
    if (r->decoder) th_decode_free(r->decoder);
    if (r->setup) th_setup_free(r->setup);
    th_comment_clear(&r->comment);
    th_info_clear(&r->info);
    if (r->haveStream) ogg_stream_clear(&r->stream);
    ogg_sync_clear(&r->sync);
    if (r->file) fclose(r->file);
    free(r);
}

const MmPictureInfo *MmGetTheoraPicture(const MmTheoraReader *reader) { return &reader->picture; }

// 1 when the file contradicts a page that ends at offset end and jumps to frame number: a number
// beyond the file's last page, or one the next page runs back from. A jump the next page carries on
// from is a frame held long; one with no page near to carry on from stands only where the file's last
// page (or its end) backs it.
static int JumpContradicted(const MmTheoraReader *r, int64_t number, int64_t end)
{
    if (r->lastPageFrame >= 0 && number > r->lastPageFrame) return 1;
    PageMark next;
    if (FindGranulePage(r, end, end + AHEAD_WINDOW, 1, &next)) return GranuleFrame(r, next.granule, 0) < number;
    return r->lastPageFrame < 0 && end + AHEAD_WINDOW < r->fileSize;
}

// Numbers the count packets the page just read completes: back from its granule position, or on from
// *lastNumber when it has none. Numbers only go up. A jump the file contradicts is no frame
// time: the packets are numbered on, and 1 returned.
static int NumberPackets(const MmTheoraReader *r, const ogg_page *page, int count, int64_t *lastNumber,
                         int64_t numbers[])
{
    int64_t granule = ogg_page_granulepos(page);
    int64_t last = granule >= 0 ? GranuleFrame(r, granule, 0) : *lastNumber + count;
    int broken = last > *lastNumber + count && JumpContradicted(r, last, r->syncOffset);
    if (broken) last = *lastNumber + count;
    for (int i = 0; i < count; i++) {
        int64_t number = last - (count - 1 - i);
        if (number <= *lastNumber) number = *lastNumber + 1;
        numbers[i] = *lastNumber = number;
    }
    return broken;
}

// Takes in the Theora page just read, and numbers the packets it completes.
static void TakePage(MmTheoraReader *r, ogg_page *page)
{
    ogg_stream_pagein(&r->stream, page);
    r->packetCount = r->packetAt = 0;
    for (;;) {
        int got = ogg_stream_packetout(&r->stream, &r->packets[r->packetCount]);
        if (got == 0 || r->packetCount == PAGE_PACKETS_MAX) break;
        if (got == 1) r->packetCount++;
        // got < 0: a hole in the data; the next packet follows
    }
    r->pageBroken = NumberPackets(r, page, r->packetCount, &r->lastNumber, r->numbers);
}

int MmHasNextTheoraFrame(MmTheoraReader *r)
{
    while (r->packetAt == r->packetCount && !r->ended) {
        ogg_page page;
        if (!NextPage(r, &page)) {
            r->ended = 1;
            break;
        }
        if (IsTheoraPage(r, &page)) TakePage(r, &page);
    }
    return r->packetAt < r->packetCount;
}

int64_t MmNextTheoraFrameNumber(MmTheoraReader *r)
{
    return MmHasNextTheoraFrame(r) ? r->numbers[r->packetAt] : -1;
}

int MmDecodeNextTheoraFrame(MmTheoraReader *r)
{
    while (MmHasNextTheoraFrame(r)) {
        ogg_packet *packet = &r->packets[r->packetAt];
        int64_t number = r->numbers[r->packetAt++];
        if (r->pageBroken) return -1;
        if (r->needKeyframe && th_packet_iskeyframe(packet) != 1) continue;
        if (MmPrepareTheoraDecoder(r) != 0) return -1;
        r->needKeyframe = 0;
        int result = th_decode_packetin(r->decoder, packet, nullptr);
        // TH_DUPFRAME: the frame repeats the one before it.
        if (result != 0 && result != TH_DUPFRAME) return -1;
        r->frames++;
        r->shown = number;
        return 1;
    }
    return 0;
}

int64_t MmGetTheoraFrameCount(const MmTheoraReader *reader) { return reader->frames; }
int64_t MmGetTheoraShownFrame(const MmTheoraReader *reader) { return reader->shown; }

static void PlanesOf(th_ycbcr_buffer buffer, MmPlane planes[3])
{
    for (int i = 0; i < 3; i++) planes[i] = MmPlane{buffer[i].width, buffer[i].height, buffer[i].stride, buffer[i].data};
}

int MmGetTheoraPlanes(MmTheoraReader *r, MmPlane planes[3])
{
    th_ycbcr_buffer buffer;
    if (r->shown < 0 || th_decode_ycbcr_out(r->decoder, buffer) != 0) return -1;
    PlanesOf(buffer, planes);
    return 0;
}

// The codec's stripe, in rows of 8 luma pixels, handed on in pixel rows.
static void HandOnStripe(void *context, th_ycbcr_buffer buffer, int firstFragmentRow, int endFragmentRow)
{
    MmTheoraReader *r = (MmTheoraReader *)context;
    MmPlane planes[3];
    PlanesOf(buffer, planes);
    r->stripe(r->stripeUser, planes, firstFragmentRow * 8, endFragmentRow * 8);
}

void MmSetTheoraStripes(MmTheoraReader *r, MmStripeFn stripe, void *user)
{
    if (!r->decoder || (!stripe && !r->stripe)) return;
    r->stripe = stripe;
    r->stripeUser = user;
    th_stripe_callback callback = {r, stripe ? HandOnStripe : nullptr};
    th_decode_ctl(r->decoder, TH_DECCTL_SET_STRIPE_CB, &callback, sizeof callback);
}

// ---- seeking --------------------------------------------------------------------------------------

// The first Theora page with a granule position that starts at or after offset, looking no further
// than probe bytes. 1 found, 0 none.
static int GranulePageFrom(MmTheoraReader *r, int64_t offset, int64_t probe, PageMark *out)
{
    if (MoveTo(r, offset) != 0) return 0;
    ogg_page page;
    int64_t start;
    int64_t limit = probe > INT64_MAX - offset ? INT64_MAX : offset + probe;
    while (NextPageWithin(r, &page, &start, limit)) {
        if (!IsTheoraPage(r, &page) || ogg_page_granulepos(&page) < 0) continue;
        *out = PageMark{start, r->syncOffset, ogg_page_granulepos(&page)};
        return 1;
    }
    return 0;
}

// The last Theora page whose last frame is numbered below limit, by bisection over the file and a
// scan of the last window. 1 found, 0 none.
static int LastPageBelow(MmTheoraReader *r, int64_t limit, PageMark *out)
{
    int64_t lo = r->dataStart, hi = r->fileSize;
    PageMark mark;
    while (hi - lo > BISECT_WINDOW) {
        int64_t mid = lo + (hi - lo) / 2;
        if (GranulePageFrom(r, mid, BISECT_PROBE, &mark) && GranuleFrame(r, mark.granule, 0) < limit)
            lo = mid;
        else
            hi = mid;
    }
    int found = 0;
    int64_t from = lo;
    while (GranulePageFrom(r, from, INT64_MAX, &mark) && GranuleFrame(r, mark.granule, 0) < limit) {
        *out = mark;
        found = 1;
        from = mark.end;
    }
    return found;
}

// Sets the reading just past the page p (at the first data page when p is null), with the packet p
// leaves unfinished taken into the stream, so that a frame that runs on over the next page is read
// whole. The packets p completes are dropped. 0 / -1.
static int ReadOnAfter(MmTheoraReader *r, ogg_stream_state *stream, const PageMark *p)
{
    if (MoveTo(r, p ? p->start : r->dataStart) != 0) return -1;
    if (!p) return 0;
    ogg_page page;
    ogg_packet packet;
    if (!NextPage(r, &page)) return -1;
    ogg_stream_pagein(stream, &page);
    while (ogg_stream_packetout(stream, &packet) != 0) {}
    return 0;
}

// 1 when, reading on past the page p, a keyframe comes before any frame numbered past target. Pages
// that start beyond until are not read (what lies there was looked at already). The stream's own
// packets are left as they are.
static int KeyframeBy(MmTheoraReader *r, const PageMark *p, int64_t target, int64_t until)
{
    ogg_stream_state probe;
    if (ogg_stream_init(&probe, r->stream.serialno) != 0) return 0;
    int found = 0, past = ReadOnAfter(r, &probe, p) != 0;
    int64_t after = GranuleFrame(r, p->granule, 0), start;
    ogg_page page;
    while (!found && !past && NextPageWithin(r, &page, &start, INT64_MAX) && start <= until) {
        if (!IsTheoraPage(r, &page)) continue;
        ogg_stream_pagein(&probe, &page);
        uint8_t key[PAGE_PACKETS_MAX];
        int64_t numbers[PAGE_PACKETS_MAX];
        int count = 0;
        ogg_packet packet;
        for (int got; count < PAGE_PACKETS_MAX && (got = ogg_stream_packetout(&probe, &packet)) != 0;)
            if (got == 1) key[count++] = th_packet_iskeyframe(&packet) == 1;
        NumberPackets(r, &page, count, &after, numbers);
        for (int i = 0; i < count && !found && !past; i++) {
            past = numbers[i] > target;
            found = !past && key[i];
        }
    }
    ogg_stream_clear(&probe);
    return found;
}

int MmSeekTheoraReader(MmTheoraReader *r, int64_t target)
{
    if (MmPrepareTheoraDecoder(r) != 0) return -1;
    PageMark page;
    int64_t resume = r->syncOffset;
    int64_t key = LastPageBelow(r, target < INT64_MAX ? target + 1 : target, &page) ? GranuleFrame(r, page.granule, 1) : 0;
    // The keyframe is behind the frame decoded last: decoding on from where the reading stood is the
    // shorter way (the stream keeps its packets; only the sync layer was moved).
    int onFromShown = r->shown >= 0 && r->shown <= target;
    if (onFromShown && key <= r->shown) return MoveTo(r, resume);
    // A muxer marks an inter frame as a keyframe where its distance from the last one would not fit the
    // granule position: a keyframe number counts only where a real keyframe follows the page before it
    // by target; else that page names the next one to try. (Hostile granule positions could make that
    // a long way back: past SEEK_BACK_BYTES read, the seek starts from the first frame.)
    int64_t until = INT64_MAX, readBefore = r->bytesRead;
    while (key > 0) {
        if (r->bytesRead - readBefore > SEEK_BACK_BYTES || !LastPageBelow(r, key, &page)) {
            key = 0;
            break;
        }
        if (KeyframeBy(r, &page, target, until)) break;
        until = page.start;
        key = GranuleFrame(r, page.granule, 1);
    }
    if (onFromShown && key <= r->shown) return MoveTo(r, resume);
    ogg_stream_reset(&r->stream);
    r->packetCount = r->packetAt = 0;
    r->lastNumber = key > 0 ? GranuleFrame(r, page.granule, 0) : -1;
    r->shown = -1;
    r->ended = 0;
    r->needKeyframe = 1;
    return ReadOnAfter(r, &r->stream, key > 0 ? &page : nullptr);
}

// ---- time -------------------------------------------------------------------------------------------

static int64_t Clamp64(__int128 v, int64_t max) { return v > max ? max : v < 0 ? 0 : (int64_t)v; }

// Frame times stop at 2^62 (some 14,600 years), so that a wait or a sum with one stays in range.
#define FRAME_TIME_MAX ((int64_t)1 << 62)

int64_t MmTheoraFrameTime(const MmTheoraReader *r, int64_t n)
{
    const MmPictureInfo *p = &r->picture;
    if (!p->fpsNumerator) return 0;
    return Clamp64((__int128)n * p->fpsDenominator * 10000000 / p->fpsNumerator, FRAME_TIME_MAX);
}

int64_t MmTheoraFrameAt(const MmTheoraReader *r, int64_t time)
{
    const MmPictureInfo *p = &r->picture;
    if (!p->fpsDenominator || time <= 0) return 0;
    return Clamp64((__int128)time * p->fpsNumerator / ((__int128)p->fpsDenominator * 10000000), INT64_MAX);
}
