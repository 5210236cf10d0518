// Walks Ogg Vorbis setup headers the way libvorbis builds their codebooks (see vorbis_check.h).
#include "platform/dsound/vorbis_check.h"

#include <cstdint>
#include <cstring>
#include <ogg/ogg.h>

#define CHECK_READ_BYTES 4096

// Bits to hold x (0 for 0).
static int BitsOf(uint64_t x)
{
    int n = 0;
    for (; x; x >>= 1)
        n++;
    return n;
}

// The largest v with v^dim <= entries (a lookup-1 codebook's values per dimension); dim > 0.
static uint64_t Lookup1Values(uint64_t entries, uint64_t dim)
{
    uint64_t v = 0;
    for (;;) {
        uint64_t power = 1, next = v + 1;
        for (uint64_t i = 0; i < dim && power <= entries; i++)
            power *= next;
        if (power > entries)
            return v;
        v = next;
    }
}

// Adds one codeword length to a Huffman tree's fill (units of 2^-32). 0, -1 when it overflows.
static int AddCodeword(uint64_t *fill, long length)
{
    *fill += 1ull << (32 - length);
    return *fill > (1ull << 32) ? -1 : 0;
}

// Walks the codebooks of a Vorbis setup header. -1 when the lengths of one do not make a whole
// Huffman tree: libvorbis takes the header, fails to build that book at the first decode, and a
// later read or seek then decodes with the book left empty and divides by zero. Anything else it
// cannot read is left for libvorbis to refuse.
static int CheckVorbisSetupPacket(ogg_packet *packet)
{
    oggpack_buffer b;
    oggpack_readinit(&b, packet->packet, (int)packet->bytes);
    if (packet->bytes < 7 || memcmp(packet->packet, "\x05vorbis", 7) != 0)
        return 0;
    oggpack_adv(&b, 56);
    long books = oggpack_read(&b, 8) + 1;
    for (long book = 0; book < books; book++) {
        if (oggpack_read(&b, 24) != 0x564342)
            return 0;
        long dim = oggpack_read(&b, 16), entries = oggpack_read(&b, 24);
        if (dim <= 0 || entries < 0)
            return 0;
        uint64_t fill = 0;
        long used = 0;
        if (oggpack_read(&b, 1) == 1) {  // ordered lengths: runs of entries
            long length = oggpack_read(&b, 5) + 1;
            for (long i = 0; i < entries; length++) {
                long run = oggpack_read(&b, BitsOf((uint64_t)(entries - i)));
                if (run < 0 || run > entries - i || length > 32)
                    return 0;
                for (long j = 0; j < run; j++) {
                    if (AddCodeword(&fill, length) != 0)
                        return -1;
                }
                i += run;
                used += run;
            }
        } else {
            int sparse = (int)oggpack_read(&b, 1);
            for (long i = 0; i < entries; i++) {
                if (sparse && oggpack_read(&b, 1) != 1)
                    continue;
                long length = oggpack_read(&b, 5) + 1;
                if (length <= 0)
                    return 0;
                if (AddCodeword(&fill, length) != 0)
                    return -1;
                used++;
            }
        }
        // A lone codeword stands for a tree of no bits; any other tree must be full.
        if (used > 1 && fill != (1ull << 32))
            return -1;
        long type = oggpack_read(&b, 4);
        if (type == 1 || type == 2) {
            oggpack_adv(&b, 64);
            long bits = oggpack_read(&b, 4) + 1;
            oggpack_adv(&b, 1);
            uint64_t values = type == 1 ? Lookup1Values((uint64_t)entries, (uint64_t)dim) : (uint64_t)entries * dim;
            uint64_t skip = values * (uint64_t)bits;
            if (skip > (uint64_t)packet->bytes * 8)
                return 0;
            for (; skip > 0; skip -= skip > 24 ? 24 : skip)
                oggpack_adv(&b, skip > 24 ? 24 : (int)skip);
        } else if (type != 0) {
            return 0;
        }
    }
    return 0;
}

int CheckOggVorbisSetupHeaders(size_t (*read)(void *user, void *buffer, size_t n), void *user)
{
    ogg_sync_state sync;
    ogg_stream_state stream;
    ogg_sync_init(&sync);
    int streaming = 0, packets = 0, result = 0;
    while (result == 0) {
        ogg_page page;
        int got = ogg_sync_pageout(&sync, &page);
        if (got == 0) {
            char *room = ogg_sync_buffer(&sync, CHECK_READ_BYTES);
            size_t n = room ? read(user, room, CHECK_READ_BYTES) : 0;
            if (n == 0)
                break;
            ogg_sync_wrote(&sync, (long)n);
            continue;
        }
        if (got < 0)
            continue;
        if (ogg_page_bos(&page) && page.body_len >= 7 && memcmp(page.body, "\x01vorbis", 7) == 0) {
            if (streaming)
                ogg_stream_clear(&stream);
            ogg_stream_init(&stream, ogg_page_serialno(&page));
            streaming = 1;
            packets = 0;
        }
        if (!streaming || packets >= 3 || ogg_stream_pagein(&stream, &page) != 0)
            continue;
        ogg_packet packet;
        while (result == 0 && packets < 3 && ogg_stream_packetout(&stream, &packet) == 1) {
            if (++packets == 3)
                result = CheckVorbisSetupPacket(&packet);
        }
    }
    if (streaming)
        ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    return result;
}

