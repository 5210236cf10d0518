// Movie handles: the table, lookup, the release of a movie and of its stream objects, and what the
// module takes from the display.
#include "lib/movie/movie_internal.h"

#include "lib/core/memory.h"
#include "lib/file/datafile.h"
#include "lib/graphics/ddraw_display.h"
#include "lib/graphics/graphics_start.h"
#include "lib/graphics/screen.h"
#include "lib/sound/sound.h"

static HandleRecordHead *sSlots[MOVIE_TABLE_SIZE];
static HandleTable sMovieTable = {sSlots, MOVIE_TABLE_SIZE, 0, 0, 0, HANDLE_TYPE_MOVIE};

HandleTable *GetMovieHandleTable(void) { return &sMovieTable; }

MovieRecord *LookupMovieRecord(int movie) { return (MovieRecord *)LookupHandle(&sMovieTable, movie); }

int GetMovieRecordHandle(const MovieRecord *record, int slot) { return MakeHandle(&sMovieTable, slot, record->head.check); }

MovieRecord *GetMovieRecordAt(int slot) { return (MovieRecord *)sSlots[slot]; }

int IsMovieOverlayMode(int movie)
{
    MovieRecord *record = LookupMovieRecord(movie);
    return record && record->surfaceMode == MOVIE_SURFACE_OVERLAY;
}

int AreMovieStreamsReleased(const MovieRecord *record) { return !record->surface4 && !record->surface7; }

// ================================================================================================
// stream objects
// ================================================================================================

// Releases one object field of the record when present and clears it.
static void ReleaseMovieObject(MovieRecord *r, MovieObjectField field)
{
    switch (field) {
#define RELEASE_FIELD(name)                      \
    if (r->name) r->name->fn->Release(r->name);  \
    r->name = nullptr;                           \
    break
    case MOVIE_OBJ_VIDEO_STREAM: RELEASE_FIELD(videoStream);
    case MOVIE_OBJ_DDRAW_STREAM: RELEASE_FIELD(ddrawStream);
    case MOVIE_OBJ_SAMPLE: RELEASE_FIELD(sample);
    case MOVIE_OBJ_SAMPLE_SURFACE: RELEASE_FIELD(sampleSurface);
    case MOVIE_OBJ_SURFACE4: RELEASE_FIELD(surface4);
    case MOVIE_OBJ_SURFACE7: RELEASE_FIELD(surface7);
    case MOVIE_OBJ_AM_STREAM: RELEASE_FIELD(amStream);
    case MOVIE_OBJ_MULTI_STREAM: RELEASE_FIELD(multiStream);
    case MOVIE_OBJ_DIRECTDRAW4: RELEASE_FIELD(directDraw4);
    case MOVIE_OBJ_FILTER_GRAPH: RELEASE_FIELD(filterGraph);
    case MOVIE_OBJ_MEDIA_CONTROL: RELEASE_FIELD(mediaControl);
    case MOVIE_OBJ_MEDIA_SEEKING: RELEASE_FIELD(mediaSeeking);
    case MOVIE_OBJ_BASIC_AUDIO: RELEASE_FIELD(basicAudio);
#undef RELEASE_FIELD
    case MOVIE_OBJ_COUNT: break;
    }
}

// The order of a display change and of a failed open.
const MovieObjectField kStreamReleaseOrder[MOVIE_OBJ_COUNT] = {
    MOVIE_OBJ_VIDEO_STREAM, MOVIE_OBJ_DDRAW_STREAM, MOVIE_OBJ_SAMPLE,       MOVIE_OBJ_SAMPLE_SURFACE,
    MOVIE_OBJ_SURFACE4,     MOVIE_OBJ_SURFACE7,     MOVIE_OBJ_AM_STREAM,    MOVIE_OBJ_MULTI_STREAM,
    MOVIE_OBJ_DIRECTDRAW4,  MOVIE_OBJ_FILTER_GRAPH, MOVIE_OBJ_MEDIA_CONTROL, MOVIE_OBJ_MEDIA_SEEKING,
    MOVIE_OBJ_BASIC_AUDIO,
};
// The order of a movie's release.
static const MovieObjectField kHandleReleaseOrder[MOVIE_OBJ_COUNT] = {
    MOVIE_OBJ_SURFACE4,    MOVIE_OBJ_SURFACE7,      MOVIE_OBJ_SAMPLE_SURFACE, MOVIE_OBJ_SAMPLE,
    MOVIE_OBJ_DDRAW_STREAM, MOVIE_OBJ_AM_STREAM,     MOVIE_OBJ_VIDEO_STREAM,   MOVIE_OBJ_BASIC_AUDIO,
    MOVIE_OBJ_MEDIA_SEEKING, MOVIE_OBJ_DIRECTDRAW4, MOVIE_OBJ_MEDIA_CONTROL,  MOVIE_OBJ_FILTER_GRAPH,
    MOVIE_OBJ_MULTI_STREAM,
};

void ReleaseMovieObjects(MovieRecord *record, const MovieObjectField *order)
{
    for (int i = 0; i < MOVIE_OBJ_COUNT; i++) ReleaseMovieObject(record, order[i]);
}

void FreeMovieFrameCopy(MovieRecord *record)
{
    if (!record->frameCopyHost) FreeMemoryTracked(record->frameCopy.pixels);
    record->frameCopy.pixels = nullptr;
    record->frameCopyHost = 0;
}

void CloseMovieUpdateEvent(MovieRecord *record)
{
    if (record->updateEvent) KCloseHandle(record->updateEvent);
    record->updateEvent = 0;
}

// ================================================================================================
// release
// ================================================================================================

// The own decoder's file, state and sound.
static void ReleaseOwnDecoder(MovieRecord *record)
{
    if (record->sourceFile) CloseDataFile(record->sourceFile);
    record->sourceFile = 0;
    ReleaseTheoraMovieState(record->theora);
    DeleteSoundByHandle(record->soundHandle, 0);
    record->theora = nullptr;
    record->soundHandle = 0;
    record->ownDecoder = 0;
}

int ReleaseMovieHandle(int movie)
{
    MovieRecord *record = LookupMovieRecord(movie);
    if (!record) return -1;
    if (record->ownDecoder) ReleaseOwnDecoder(record);
    if (record->tempCopy == 1) {
        KDeleteFile(record->fileName);
        record->tempCopy = 0;
    }
    if (record->surfaceMode == MOVIE_SURFACE_OVERLAY && record->surface7)
        GetMovieDisplayFns()->updateOverlay(record->surface7, nullptr, GetMovieDisplayFns()->getFrontDrawSurface(),
                                            nullptr, MOVIE_OVERLAY_HIDE);
    FreeMovieFrameCopy(record);
    ReleaseMovieObjects(record, kHandleReleaseOrder);
    CloseMovieUpdateEvent(record);
    sSlots[HandleSlot(movie)] = nullptr;
    sMovieTable.usedCount--;
    FreeMemoryTracked(record);
    return 0;
}

// ================================================================================================
// what the module takes from the display
// ================================================================================================

// The display's getters. This platform's surfaces offer no overlay call and no alignment caps, and
// the window has no clip box to ask: those answer "none" (the overlay is not offered, and the
// display's overlay format is none).
static void NoOverlayAlignment(uint32_t *capsBits, MovieOverlayAlign *align)
{
    *capsBits = 0;
    *align = MovieOverlayAlign{};
}
static int NoWindowDc(Rect *) { return MOVIE_CLIP_NO_DC; }
static int32_t NoOverlay(DdSurface *, const Rect *, DdSurface *, const Rect *, uint32_t) { return DD_ERR_UNSUPPORTED; }

static const MovieDisplayFns kDefaultDisplay = {
    GetDirectDrawObject, GetOverlayPixelFormat, GetScreenPixelFormat, FindMemImgPixelFormat, GetFrontDrawSurface,
    NoOverlayAlignment, GetPresentCount, QueryScreenColorDepth, IsSoftwareRenderingInUse, NoOverlay, NoWindowDc,
};
static MovieDisplayFns sDisplay = kDefaultDisplay;

int SetMovieDisplayFns(const MovieDisplayFns *fns)
{
    sDisplay = kDefaultDisplay;
    if (!fns) return 0;
#define KEEP_OR_TAKE(name) if (fns->name) sDisplay.name = fns->name
    KEEP_OR_TAKE(getDirectDrawObject);
    KEEP_OR_TAKE(getOverlayPixelFormat);
    KEEP_OR_TAKE(getScreenPixelFormat);
    KEEP_OR_TAKE(findMemImgPixelFormat);
    KEEP_OR_TAKE(getFrontDrawSurface);
    KEEP_OR_TAKE(getOverlayAlignment);
    KEEP_OR_TAKE(getPresentCount);
    KEEP_OR_TAKE(queryScreenColorDepth);
    KEEP_OR_TAKE(isSoftwareRendering);
    KEEP_OR_TAKE(updateOverlay);
    KEEP_OR_TAKE(getWindowClipBox);
#undef KEEP_OR_TAKE
    return 0;
}

const MovieDisplayFns *GetMovieDisplayFns(void) { return &sDisplay; }
