// Shared by the movie module's files.
#pragma once
#include "lib/movie/movie.h"
#include "lib/movie/movie_graph_hooks.h"
#include "lib/movie/movie_hooks.h"

// The stream and display objects a record holds.
enum MovieObjectField {
    MOVIE_OBJ_VIDEO_STREAM,
    MOVIE_OBJ_DDRAW_STREAM,
    MOVIE_OBJ_SAMPLE,
    MOVIE_OBJ_SAMPLE_SURFACE,
    MOVIE_OBJ_SURFACE4,
    MOVIE_OBJ_SURFACE7,
    MOVIE_OBJ_AM_STREAM,
    MOVIE_OBJ_MULTI_STREAM,
    MOVIE_OBJ_DIRECTDRAW4,
    MOVIE_OBJ_FILTER_GRAPH,
    MOVIE_OBJ_MEDIA_CONTROL,
    MOVIE_OBJ_MEDIA_SEEKING,
    MOVIE_OBJ_BASIC_AUDIO,
    MOVIE_OBJ_COUNT
};
// The release order of a display change and of a failed open.
extern const MovieObjectField kStreamReleaseOrder[MOVIE_OBJ_COUNT];
// Releases each present object in the order given and clears its field.
void ReleaseMovieObjects(MovieRecord *record, const MovieObjectField *order);
// Frees the frame copy's pixels (a copy kept in a graph's store is only let go) / closes the update
// event (each when present).
void FreeMovieFrameCopy(MovieRecord *record);
// The frame copy's first row, ready for a new frame (a copy kept in a graph's store is locked there,
// or becomes a block of the movie's own again when the store no longer holds it), or null for none;
// EndFrameCopyWrite after the rows are written.
uint8_t *BeginFrameCopyWrite(MovieRecord *record);
void EndFrameCopyWrite(MovieRecord *record);
// A movie shown in a graph whose store can hold its frame copy keeps it there from the open (and the
// re-open after a display change) on, before the first frame: its own new block goes.
void KeepFrameCopyInGraph(MovieRecord *record);
void CloseMovieUpdateEvent(MovieRecord *record);
// 1 when both surface interfaces are gone (the streams were released).
int AreMovieStreamsReleased(const MovieRecord *record);
// The record in a slot (0..MOVIE_TABLE_SIZE-1), or null.
MovieRecord *GetMovieRecordAt(int slot);
