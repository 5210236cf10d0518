// Multimedia-stream stand-in: the Ogg demuxer and Theora decoder behind the video stream.
#include "platform/dshow/theora_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ogg/ogg.h>
#include <theora/theoradec.h>

#define READ_CHUNK 4096

struct MmTheoraReader {
    FILE *file;
    ogg_sync_state sync;
    ogg_stream_state stream;      // the Theora logical stream
    int haveStream;               // 1 once stream is initialised
    th_info info;
    th_comment comment;
    th_setup_info *setup;
    th_dec_ctx *decoder;
    ogg_packet packet;            // the next data packet, when havePacket
    int havePacket;
    int ended;                    // no packet is left
    int64_t frames;               // frames decoded
    int decodedOne;               // planes hold a frame
    MmPictureInfo picture;
};

// Reads one more chunk of the file into the sync layer. 1, 0 at the end of the file.
static int ReadChunk(MmTheoraReader *r)
{
    char *buffer = ogg_sync_buffer(&r->sync, READ_CHUNK);
    size_t got = buffer ? fread(buffer, 1, READ_CHUNK, r->file) : 0;
    ogg_sync_wrote(&r->sync, (long)got);
    return got > 0;
}

// The next page of the file. 1, 0 at the end.
static int NextPage(MmTheoraReader *r, ogg_page *page)
{
    for (;;) {
        int result = ogg_sync_pageout(&r->sync, page);
        if (result == 1) return 1;
        if (result == 0 && !ReadChunk(r)) return 0;
    }
}

// Takes a page into the Theora stream when it belongs to it.
static void FeedPage(MmTheoraReader *r, ogg_page *page)
{
    if (r->haveStream && ogg_page_serialno(page) == r->stream.serialno) ogg_stream_pagein(&r->stream, page);
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

// Reads the three Theora headers. 1 when the decoder is ready, 0 without video, -1 for a bad file.
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
    FeedPage(r, &page);
    int headers = 1;
    while (headers < 3) {
        ogg_packet packet;
        int got = ogg_stream_packetout(&r->stream, &packet);
        if (got < 0) return -1;
        if (got == 0) {
            if (!NextPage(r, &page)) return -1;
            FeedPage(r, &page);
            continue;
        }
        if (th_decode_headerin(&r->info, &r->comment, &r->setup, &packet) <= 0) return -1;
        headers++;
    }
    r->decoder = th_decode_alloc(&r->info, r->setup);
    return r->decoder ? 1 : -1;
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

// Frees what the reader's decoding state holds, keeping the file.
static void ClearDecoding(MmTheoraReader *r)
{
    if (r->decoder) th_decode_free(r->decoder);
    if (r->setup) th_setup_free(r->setup);
    th_comment_clear(&r->comment);
    th_info_clear(&r->info);
    if (r->haveStream) ogg_stream_clear(&r->stream);
    ogg_sync_clear(&r->sync);
    r->decoder = nullptr;
    r->setup = nullptr;
    r->haveStream = 0;
}

// Reads the file from its start: headers, and the picture when there is one. 0 / -1.
static int StartReading(MmTheoraReader *r)
{
    ogg_sync_init(&r->sync);
    th_info_init(&r->info);
    th_comment_init(&r->comment);
    r->havePacket = 0;
    r->ended = 0;
    r->frames = 0;
    r->decodedOne = 0;
    memset(&r->picture, 0, sizeof(r->picture));
    int headers = ReadHeaders(r);
    if (headers < 0) return -1;
    if (headers == 0) {
        r->ended = 1;
        return 0;
    }
    FillPicture(r);
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
    if (StartReading(r) != 0) {
        MmCloseTheoraReader(r);
        return nullptr;
    }
    return r;
}

void MmCloseTheoraReader(MmTheoraReader *reader)
{
    if (!reader) return;
    ClearDecoding(reader);
    if (reader->file) fclose(reader->file);
    free(reader);
}

const MmPictureInfo *MmGetTheoraPicture(const MmTheoraReader *reader) { return &reader->picture; }

int MmHasNextTheoraFrame(MmTheoraReader *r)
{
    while (!r->havePacket && !r->ended) {
        int got = ogg_stream_packetout(&r->stream, &r->packet);
        if (got == 1) {
            r->havePacket = 1;
            break;
        }
        ogg_page page;
        if (got == 0 && !NextPage(r, &page)) {
            r->ended = 1;
            break;
        }
        if (got == 0) FeedPage(r, &page);
        // got < 0: a hole in the data; the next packet follows
    }
    return r->havePacket;
}

int MmDecodeNextTheoraFrame(MmTheoraReader *r)
{
    if (!MmHasNextTheoraFrame(r)) return 0;
    r->havePacket = 0;
    int result = th_decode_packetin(r->decoder, &r->packet, nullptr);
    // TH_DUPFRAME: the frame repeats the one before it.
    if (result != 0 && result != TH_DUPFRAME) return -1;
    r->frames++;
    r->decodedOne = 1;
    return 1;
}

int64_t MmGetTheoraFrameCount(const MmTheoraReader *reader) { return reader->frames; }

int MmGetTheoraPlanes(MmTheoraReader *r, MmPlane planes[3])
{
    th_ycbcr_buffer buffer;
    if (!r->decodedOne || th_decode_ycbcr_out(r->decoder, buffer) != 0) return -1;
    for (int i = 0; i < 3; i++) {
        planes[i].width = buffer[i].width;
        planes[i].height = buffer[i].height;
        planes[i].stride = buffer[i].stride;
        planes[i].data = buffer[i].data;
    }
    return 0;
}

int MmRewindTheoraReader(MmTheoraReader *r)
{
    ClearDecoding(r);
    if (fseek(r->file, 0, SEEK_SET) != 0) return -1;
    return StartReading(r);
}

int64_t MmTheoraFrameTime(const MmTheoraReader *r, int64_t n)
{
    const MmPictureInfo *p = &r->picture;
    if (!p->fpsNumerator) return 0;
    return n * (int64_t)p->fpsDenominator * 10000000 / (int64_t)p->fpsNumerator;
}
