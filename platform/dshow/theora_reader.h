// The video stream's reader: finds the first Theora logical stream of an Ogg file and decodes its
// frames one after the other with libtheora. Also used by tests to see the decoded planes.
#pragma once
#include <cstdint>

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
// Null when the file cannot be read or is not Ogg.
MmTheoraReader *MmOpenTheoraReader(const char *diskPath);
void MmCloseTheoraReader(MmTheoraReader *reader);
const MmPictureInfo *MmGetTheoraPicture(const MmTheoraReader *reader);
// 1 when another frame follows, 0 at the end (or without video).
int MmHasNextTheoraFrame(MmTheoraReader *reader);
// Decodes the next frame. 1 a frame, 0 the end, -1 a broken stream.
int MmDecodeNextTheoraFrame(MmTheoraReader *reader);
// Frames decoded so far (the next frame's number).
int64_t MmGetTheoraFrameCount(const MmTheoraReader *reader);
// The planes of the frame decoded last (Y, Cb, Cr). 0, -1 before the first frame.
int MmGetTheoraPlanes(MmTheoraReader *reader, MmPlane planes[3]);
// Back to the first frame. 0 / -1.
int MmRewindTheoraReader(MmTheoraReader *reader);
// Stream time (100 ns) at which frame number n is shown.
int64_t MmTheoraFrameTime(const MmTheoraReader *reader, int64_t n);
