// The start layer of the movie module: making movie records, running them and showing their frames
// in a graph. Our own addition: the game never makes a movie.
#include "lib/movie/movie_internal.h"

#include <cstring>

#include "lib/core/cpu.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/memimg.h"
#include "lib/sound/sound.h"

// A new zeroed record in the table (no sound). Its handle, or -1 (logged).
static int AddMovieRecord(MovieRecord **out)
{
    MovieRecord *record = (MovieRecord *)AllocMemoryZeroed(sizeof(MovieRecord), "", 0);
    if (!record) return WriteLog("動画ハンドルのメモリ確保に失敗しました\n");
    record->soundHandle = -1;
    int handle = AddHandleRecord(GetMovieHandleTable(), &record->head);
    if (handle == -1) {
        FreeMemoryTracked(record);
        return -1;
    }
    *out = record;
    return handle;
}

// ---- the frame copy in the graph's store --------------------------------------------------------------
// A movie shown in a graph keeps its frame copy in the graph's pixel store when that store is the
// graph's whole, in memory or on a display surface, in the frame copy's format and pitch, from its open
// (and its re-open after a display change) on: a new frame then reaches the graph with the frame copy,
// without a second full copy. The store is looked at again before each frame; when it no longer holds
// the copy (made anew, lost), the frame copy is a block of the movie's own again until a frame has gone
// into the graph the usual way. Drawing into such a graph draws into the frame copy, which the next
// frame overwrites as it overwrites the graph.

// The graph's store when it can hold the movie's frame copy, else null.
static MEMIMG *FrameCopyStore(const MovieRecord *movie, int graph)
{
    GraphRecord *record = LookupGraph(graph);
    if (!record || record->format.textureFlag || record->pieces.count != 1) return nullptr;
    MEMIMG *store = GetGraphMemImg(record);
    if (!store || store->pixels != store->shared->pixels ||
        store->width != movie->frameCopy.width || store->height != movie->frameCopy.height ||
        store->shared->pitch != movie->frameCopy.pitch)
        return nullptr;
    const ColorFormatRecord *a = store->shared->format, *b = &movie->frameFormat;
    int same = a->pixelByte == b->pixelByte && a->colorBitDepth == b->colorBitDepth && a->redMask == b->redMask &&
               a->greenMask == b->greenMask && a->blueMask == b->blueMask && a->alphaMask == b->alphaMask;
    return same ? store : nullptr;
}

uint8_t *BeginFrameCopyWrite(MovieRecord *movie)
{
    if (movie->frameCopyHost) {
        MEMIMG *store = FrameCopyStore(movie, movie->frameCopyHost);
        if (store && store->pixels == movie->frameCopy.pixels && LockGraphPixels(LookupGraph(movie->frameCopyHost)) == 0)
            return store->pixels;
        // The store went: the frame copy is the movie's again (none when there is no room).
        movie->frameCopyHost = 0;
        movie->frameCopy.pixels =
            AllocMemoryZeroed((size_t)movie->frameCopy.pitch * (size_t)movie->frameCopy.height, "", 0);
    }
    return (uint8_t *)movie->frameCopy.pixels;
}

void EndFrameCopyWrite(MovieRecord *movie)
{
    if (!movie->frameCopyHost) return;
    GraphRecord *graph = LookupGraph(movie->frameCopyHost);
    MarkMemImgPixelsChanged(GetGraphMemImg(graph));
    UnlockGraphPixels(graph);
}

// The movie's own frame copy goes, and the graph's store holds it from now on, when the store can.
static void MoveFrameCopyToStore(MovieRecord *movie, int graph)
{
    MEMIMG *store = FrameCopyStore(movie, graph);
    if (!store) return;
    FreeMemoryTracked(movie->frameCopy.pixels);
    movie->frameCopy.pixels = store->pixels;
    movie->frameCopyHost = graph;
}

// The frame callback of a movie shown in a graph: the frame copy goes into the graph's pixels, and
// from then on lives there when the store can hold it.
static void CopyFrameToGraph(MovieRecord *movie, uintptr_t graph)
{
    if (!movie->frameCopy.pixels || movie->frameCopyHost == (int)graph) return;
    GraphImage image = {movie->frameFormat, movie->frameCopy.width, movie->frameCopy.height, movie->frameCopy.pitch,
                        movie->frameCopy.pixels};
    Rect whole = {0, 0, image.width, image.height};
    if (UpdateGraphImageRect((int)graph, 0, 0, &image, &whole) != 0 || movie->frameCopyHost) return;
    MoveFrameCopyToStore(movie, (int)graph);
}

void KeepFrameCopyInGraph(MovieRecord *movie)
{
    // The new frame copy has no frame yet and the graph shows black or its last frame: the store takes
    // it over as it is, and the first frame is written there once instead of into a block of its own
    // copied on (for a huge movie, a whole picture more to fault in, copy and unmap at the first draw).
    if (movie->frameCallback == CopyFrameToGraph && movie->frameCopy.pixels && !movie->frameCopyHost)
        MoveFrameCopyToStore(movie, (int)movie->callbackData);
}

int OpenMovieToGraph(const char *fileName, int surfaceMode, int playType)
{
    if (!fileName || strlen(fileName) >= MOVIE_FILE_NAME_SIZE)
        return WriteLog("動画ファイル名が長すぎます in OpenMovieToGraph\n");
    MovieRecord *record = nullptr;
    int movie = AddMovieRecord(&record);
    if (movie == -1) return -1;
    int width = 0, height = 0;
    if (OpenMovieThroughDirectShow(GetMovieDisplayFns()->getDirectDrawObject(), record, fileName, &width, &height,
                                   surfaceMode) != 0) {
        ReleaseMovieHandle(movie);
        return -1;
    }
    int graph = MakeBlankGraph(width, height, 0);
    GraphRecord *graphRecord = LookupGraph(graph);
    if (!graphRecord) {
        ReleaseMovieHandle(movie);
        return -1;
    }
    graphRecord->movie = movie;
    record->playType = playType;
    if (record->surfaceMode != MOVIE_SURFACE_OVERLAY) {
        record->frameCallback = CopyFrameToGraph;
        record->callbackData = (uintptr_t)graph;
        KeepFrameCopyInGraph(record);
    }
    return graph;
}

int CreateOwnDecodedMovie(TheoraMovieState *state, int soundHandle, int playType)
{
    MovieRecord *record = nullptr;
    int movie = state ? AddMovieRecord(&record) : -1;
    if (movie == -1) return -1;
    record->ownDecoder = 1;
    record->theora = state;
    record->soundHandle = soundHandle;
    record->playType = playType;
    record->clockBase = GetCounterMicroseconds(0);
    record->playing = 1;
    return movie;
}

int RunMovie(int movie)
{
    MovieRecord *record = LookupMovieRecord(movie);
    if (!record) return -1;
    if (record->ownDecoder) {
        record->clockBase = GetCounterMicroseconds(0);
        PlaySoundByHandle(record->soundHandle, record->playType == 0 ? 1 : record->playType, 1);
    } else {
        if (AreMovieStreamsReleased(record)) return -1;
        record->multiStream->fn->SetState(record->multiStream, MM_STREAMSTATE_RUN);
    }
    record->playing = 1;
    record->paused = 0;
    return 0;
}

int GetGraphMovieHandle(int graph)
{
    GraphRecord *record = LookupGraph(graph);
    return record ? record->movie : -1;
}

int SetMovieFrameCallback(int movie, MovieFrameCallback callback, uintptr_t data)
{
    MovieRecord *record = LookupMovieRecord(movie);
    if (!record) return -1;
    record->frameCallback = callback;
    record->callbackData = data;
    return 0;
}
