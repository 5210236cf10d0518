// The start layer of the movie module: making movie records, running them and showing their frames
// in a graph. Our own addition: the game never makes a movie.
#include "lib/movie/movie_internal.h"

#include <cstring>

#include "lib/core/cpu.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/graphics/graph.h"
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

// The frame callback of a movie shown in a graph: the frame copy goes into the graph's pixels.
static void CopyFrameToGraph(MovieRecord *movie, uintptr_t graph)
{
    if (!movie->frameCopy.pixels) return;
    GraphImage image = {movie->frameFormat, movie->frameCopy.width, movie->frameCopy.height, movie->frameCopy.pitch,
                        movie->frameCopy.pixels};
    Rect whole = {0, 0, image.width, image.height};
    UpdateGraphImageRect((int)graph, 0, 0, &image, &whole);
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
