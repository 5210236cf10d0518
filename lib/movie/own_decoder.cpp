// The YUV-to-RGB tables and the own decoder's state operations.
#include "lib/movie/own_decoder.h"

#include "lib/core/memory.h"

static YuvToRgbTables sTables;

int BuildYuvToRgbTables(void)
{
    for (int v = -512; v <= 767; v++) sTables.clip[v + 512] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    for (int i = 0; i < 256; i++) {
        sTables.crToRed[i] = 26148 * (i - 128);
        sTables.cbToGreen[i] = 6406 * (128 - i);
        sTables.crToGreen[i] = 13320 * (128 - i);
        sTables.cbToBlue[i] = 33062 * (i - 128);
        sTables.luma[i] = 19070 * (i - 16);
    }
    return 0;
}

const YuvToRgbTables *GetYuvToRgbTables(void) { return &sTables; }

// Frees a tracked block held in *slot and clears the slot.
static void FreeOwned(void **slot)
{
    if (!*slot) return;
    FreeMemoryTracked(*slot);
    *slot = nullptr;
}

// Asks the decode thread to end and waits until it says it has.
static void StopDecodeThread(TheoraMovieState *state)
{
    if (!state->thread) return;
    state->stopRequest = 1;
    // No time limit: the thread's own report is the only safe point to free what it reads.
    while (state->threadState != THEORA_THREAD_FINISHED) KSleep(1);
    KCloseHandle(state->thread);
    state->thread = 0;
}

int ReleaseTheoraMovieState(TheoraMovieState *state)
{
    StopDecodeThread(state);
    if (state->frames) {
        for (int i = 0; i < state->frameCount; i++)
            for (void *&buffer : state->frames[i].buffers) FreeOwned(&buffer);
        FreeMemoryTracked(state->frames);
        state->frames = nullptr;
    }
    if (state->object) {
        state->object->fn->Release(state->object);
        state->object = nullptr;
    }
    FreeOwned(&state->workBuffer1);
    FreeOwned(&state->workBuffer2);
    DiscardGraphImage(&state->image);
    ogg_stream_clear(&state->stream);
    theora_clear(&state->decoder);
    theora_comment_clear(&state->comment);
    theora_info_clear(&state->info);
    ogg_sync_clear(&state->sync);
    FreeMemoryTracked(state);
    return 0;
}

int AdvanceTheoraFrame(TheoraMovieState *state, int count)
{
    if (count < 1) return 0;
    state->currentFrame = (int32_t)((uint32_t)state->currentFrame + (uint32_t)count);
    if ((int64_t)state->currentFrame >= state->totalFrames)
        state->currentFrame = (int32_t)((int64_t)state->currentFrame - state->totalFrames);
    state->frameStatus[0] = 0;
    state->frameStatus[1] = 0;
    return 0;
}

int GetTheoraMovieInfo(TheoraMovieState *state, TheoraMovieInfo *info)
{
    info->frameRate = (double)(uint32_t)state->info.fps_numerator / (double)(uint32_t)state->info.fps_denominator;
    info->totalFrames = (int32_t)(uint32_t)(uint64_t)state->totalFrames;
    info->width = (int32_t)state->info.width;
    info->height = (int32_t)state->info.height;
    return 0;
}

int GetTheoraCurrentFrame(TheoraMovieState *state) { return state->currentFrame; }
