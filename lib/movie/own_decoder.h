// The YUV-to-RGB tables and the state of a movie the library decodes itself (libtheora and libogg).
#pragma once
#include <atomic>
#include <cstdint>
#include <ogg/ogg.h>
#include <theora/theora.h>

#include "lib/image/color_format.h"
#include "lib/movie/movie_hooks.h"
#include "platform/dshow/dshow.h"
#include "platform/kernel/kernel.h"

// Y'CbCr to RGB in 14-bit fixed point (ITU-R BT.601 studio range). Built at library start.
struct YuvToRgbTables {
    uint8_t clip[1280];        // clip[512 + v] = v clamped to 0..255, for v = -512..767
    int32_t crToRed[256];      // 26148 x (i - 128)
    int32_t cbToGreen[256];    // 6406 x (128 - i): negated contribution
    int32_t crToGreen[256];    // 13320 x (128 - i): negated contribution
    int32_t cbToBlue[256];     // 33062 x (i - 128)
    int32_t luma[256];         // 19070 x (i - 16)
};

// One entry of the own decoder's frame table: three owned buffers (null when none).
struct TheoraFrameEntry {
    void *buffers[3];
};

#define THEORA_THREAD_FINISHED 3

// One own-decoded movie, owned by its movie record (one tracked block).
struct TheoraMovieState {
    // Shared with a decode thread without a lock, hence atomic.
    std::atomic<int> threadState;   // 3 once the decode thread has finished
    std::atomic<int> stopRequest;   // 1 asks the decode thread to end
    KHandle thread;                 // decode thread, 0 when none
    ogg_sync_state sync;
    ogg_stream_state stream;
    theora_info info;               // width, height and frame rate are read
    theora_comment comment;
    theora_state decoder;
    void *workBuffer1;              // owned, null when none
    void *workBuffer2;
    int64_t totalFrames;
    int32_t currentFrame;           // 0-based
    TheoraFrameEntry *frames;       // owned table of frameCount entries, null when none
    int32_t frameCount;
    GraphImage image;
    MmUnknown *object;              // released with its Release, null when none
    int32_t frameStatus[2];         // 0 whenever the current frame moves
};

// What GetTheoraMovieInfo reports.
struct TheoraMovieInfo {
    double frameRate;    // frames per second
    int32_t totalFrames;
    int32_t width;       // coded frame size
    int32_t height;
};

// The tables built last.
const YuvToRgbTables *GetYuvToRgbTables(void);
// Stops the decode thread (waits, without a limit, for it to report state 3), frees what the state
// owns, clears the library states and frees the state block. 0.
int ReleaseTheoraMovieState(TheoraMovieState *state);
// Moves the current frame forward by count (wrapping once at the total); count < 1 changes nothing. 0.
int AdvanceTheoraFrame(TheoraMovieState *state, int count);
// Frame rate, total frames and coded size. 0.
int GetTheoraMovieInfo(TheoraMovieState *state, TheoraMovieInfo *info);
// The current frame.
int GetTheoraCurrentFrame(TheoraMovieState *state);
