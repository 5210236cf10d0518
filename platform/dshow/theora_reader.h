// The video stream's reader: finds the first Theora logical stream of an Ogg file and decodes its
// frames with libtheora. Each frame's number comes from the granule positions of its pages (frame
// numbers may jump: a variable-rate file leaves gaps), and a seek finds its keyframe by bisection
// over the file's pages. Also used by tests to see the decoded planes.
#pragma once
#include <cstdint>

#include "platform/dshow/dshow.h"

struct MmTheoraReader;

enum MmChroma { MM_CHROMA_420 = 0, MM_CHROMA_422 = 2, MM_CHROMA_444 = 3 };

struct MmPictureInfo {
    int hasVideo;                  // 0: an Ogg file without a Theora stream
    int frameWidth, frameHeight;   // coded size (multiples of 16)
    int picX, picY;                // picture offset from the top-left of the coded frame
    int picWidth, picHeight;       // picture size
    int chroma;                    // MmChroma
    uint32_t fpsNumerator, fpsDenominator;
};

// One decoded plane, top row first (stride may be negative).
struct MmPlane {
    int width, height;             // of the whole coded plane
    int stride;
    const uint8_t *data;
};

// Opens an Ogg file by its disk path and reads the Theora headers (when there is a Theora stream).
// Null when the file cannot be read, is not Ogg or declares a picture larger than the limit. The
// codec, whose frames take the memory, is made at the first decode or seek (or by the call below).
MmTheoraReader *MmOpenTheoraReader(const char *diskPath);
// Makes the codec now. 0 / -1 (no video, or the headers do not make one).
int MmPrepareTheoraDecoder(MmTheoraReader *reader);
void MmCloseTheoraReader(MmTheoraReader *reader);
const MmPictureInfo *MmGetTheoraPicture(const MmTheoraReader *reader);
// 1 when another frame follows, 0 at the end (or without video).
int MmHasNextTheoraFrame(MmTheoraReader *reader);
// The number of the frame that follows (-1 at the end).
int64_t MmNextTheoraFrameNumber(MmTheoraReader *reader);
// Decodes the next frame. 1 a frame, 0 the end, -1 a broken stream (also a frame number the file
// contradicts: beyond its last page's, or with the next page's running back from it; a jump the next
// page carries on from is a frame held long). After a seek, frames before the first keyframe are passed
// over (not decoded).
int MmDecodeNextTheoraFrame(MmTheoraReader *reader);
// Frames decoded so far.
int64_t MmGetTheoraFrameCount(const MmTheoraReader *reader);
// The number of the frame decoded last, -1 before the first.
int64_t MmGetTheoraShownFrame(const MmTheoraReader *reader);
// The planes of the frame decoded last (Y, Cb, Cr). 0, -1 before the first frame.
int MmGetTheoraPlanes(MmTheoraReader *reader, MmPlane planes[3]);
// Has each stripe of rows of the frames decoded from now on handed to stripe as soon as it is decoded
// (luma rows firstRow..endRow - 1 of the planes; the chroma rows they cover), while it is still in the
// cache; null stops it. A frame that repeats the one before it comes without stripes.
typedef void (*MmStripeFn)(void *user, const MmPlane planes[3], int firstRow, int endRow);
void MmSetTheoraStripes(MmTheoraReader *reader, MmStripeFn stripe, void *user);
// Makes the frame numbered target reachable without decoding from the start: when the keyframe
// before it lies beyond the frame decoded last (or target lies behind it), the reader moves to that
// keyframe; decoding on up to target then gives the frame covering it. 0 / -1.
int MmSeekTheoraReader(MmTheoraReader *reader, int64_t target);
// Stream time (100 ns) at which frame number n is shown; the number of the frame shown at a time.
int64_t MmTheoraFrameTime(const MmTheoraReader *reader, int64_t n);
int64_t MmTheoraFrameAt(const MmTheoraReader *reader, int64_t time);
