// Movie handles: the table of up to 100 movies, each played through multimedia streams (decoded into
// a display surface or an overlay, with a system-memory copy of every new frame) or through the own
// decoder's state, and what the movie module takes from the display.
#pragma once
#include <cstdint>

#include "lib/core/handle.h"
#include "lib/core/helpers.h"
#include "lib/image/color_format.h"
#include "lib/movie/own_decoder.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"

#define MOVIE_TABLE_SIZE 100
#define MOVIE_FILE_NAME_SIZE 260
#define MOVIE_PLAY_LOOP_BIT 2      // a play type with this bit loops
#define MOVIE_COPY_PIECE 1048576   // the temporary copy's read size

enum MovieSurfaceMode { MOVIE_SURFACE_OFFSCREEN = 0, MOVIE_SURFACE_OVERLAY = 1, MOVIE_SURFACE_RGB24 = 2 };

struct MovieRecord;
// Called after each new frame with the record and its callback data.
typedef void (*MovieFrameCallback)(MovieRecord *movie, uintptr_t data);

// One movie; written by the movie module only.
struct MovieRecord {
    HandleRecordHead head;           // check
    int playType;                    // last play or resume: 0 waits, 1 background, 3 loops (bit 2: loop)
    int ownDecoder;                  // non-zero: decoded through theora, not streams
    TheoraMovieState *theora;        // own decoder's state (owned)
    int64_t clockBase;               // own decoder: microseconds at which frame 0 is due
    intptr_t sourceFile;             // own decoder's source file, 0 none
    int soundHandle;                 // own decoder's sound, -1 none
    Rect sampleRect;                 // the frame's area in the sample surface
    MmMultiMediaStream *multiStream;
    MmMediaStream *videoStream;      // primary video
    MmAMMediaStream *amStream;       // same stream
    MmDDrawMediaStream *ddrawStream; // same stream
    MmStreamSample *sample;
    DdSurface *sampleSurface;        // the sample's surface
    DdSurface *surface7;             // the same surface for overlays
    DdSurface *surface4;             // the same surface for the frame copy; null in overlay mode
    DdDraw *directDraw4;             // the video stream's display object
    MmGraphBuilder *filterGraph;
    MmMediaControl *mediaControl;
    MmMediaSeeking *mediaSeeking;
    MmBasicAudio *basicAudio;
    int64_t lastPresentCount;        // GetPresentCount at the last frame update, -1 after an open
    uint32_t lastUpdateTime;         // milliseconds of the last frame update, -1 likewise
    int width, height;               // frame size from the sample rectangle
    int playing;                     // 1 while meant to play (a system pause keeps it)
    int paused;                      // 1 while paused, also after the end
    int frameShown;                  // 1 from the first frame update after an open
    int surfaceMode;                 // MovieSurfaceMode
    int64_t savedStreamTime;         // 100 ns, kept across a display change
    int tempCopy;                    // 1: fileName is a temporary copy this movie deletes
    char fileName[MOVIE_FILE_NAME_SIZE];
    KHandle updateEvent;             // signalled when an asynchronous update completes
    int updatePending;               // 1 while an update is outstanding
    ColorFormatRecord frameFormat;   // the sample surface's pixels
    struct {
        int width, height, pitch;    // pitch: bytes per pixel x width, raised to a multiple of 4
        void *pixels;                // owned, zero-filled; null in overlay mode
    } frameCopy;
    struct {
        int x, y, magnification, shown;
        Rect source, dest;           // of the last overlay update
    } overlay;
    MovieFrameCallback frameCallback; // null none
    uintptr_t callbackData;
    int frameCopyHost;               // our start layer: the graph whose pixel store holds the frame
                                     // copy's pixels (then the graph's, not owned), 0 none
};

// The movie table (the shared handle-table layout over a fixed array of 100 slots).
HandleTable *GetMovieHandleTable(void);
// The record of a valid movie handle, else null.
MovieRecord *LookupMovieRecord(int movie);
// Releases a movie: own decoder, temporary copy, overlay, frame copy, stream objects, event, slot.
// 0, or -1 for an invalid handle (-1 included).
int ReleaseMovieHandle(int movie);
// (Re-)opens the record's stream objects from fileName in surfaceMode (0, 1, 2); the frame size
// goes through outWidth / outHeight when not null. 0, or -1 (the failed step logged, nothing held).
int OpenMovieThroughDirectShow(DdDraw *directDraw, MovieRecord *record, const char *fileName, int *outWidth,
                               int *outHeight, int surfaceMode);
// Pauses a movie (keepPlaying 1: on behalf of the system, which resumes it). 0 / -1 (bad handle).
int PauseMovieByHandle(int movie, int keepPlaying);
// The handle of a record in the table (from its check and slot).
int GetMovieRecordHandle(const MovieRecord *record, int slot);

// ---- what the movie module takes from the display ---------------------------------------------------
// Overlay update flags and the alignment caps read by the placement.
enum : uint32_t { MOVIE_OVERLAY_SHOW = 0x4000, MOVIE_OVERLAY_HIDE = 0x200 };
enum : uint32_t {
    MOVIE_CAPS_ALIGN_BOUNDARY_DEST = 0x2,
    MOVIE_CAPS_ALIGN_SIZE_DEST = 0x4,
    MOVIE_CAPS_ALIGN_BOUNDARY_SRC = 0x8,
    MOVIE_CAPS_ALIGN_SIZE_SRC = 0x10,
};
struct MovieOverlayAlign {
    uint32_t boundarySrc, sizeSrc, boundaryDest, sizeDest;
};
// Replaceable: the display's getters, and the overlay call, which this platform's surfaces do not offer.
struct MovieDisplayFns {
    DdDraw *(*getDirectDrawObject)(void);                    // null when there is none
    const DdPixelFormat *(*getOverlayPixelFormat)(void);     // null: no overlay format
    const DdPixelFormat *(*getScreenPixelFormat)(void);
    const DdPixelFormat *(*findMemImgPixelFormat)(int colorType, int alphaFlag, int paletteFlag);
    DdSurface *(*getFrontDrawSurface)(void);
    // The display's overlay alignment caps (MOVIE_CAPS_ALIGN_*) and their values; the platform's caps
    // record has no room for them.
    void (*getOverlayAlignment)(uint32_t *capsBits, MovieOverlayAlign *align);
    uint64_t (*getPresentCount)(void);
    int (*queryScreenColorDepth)(void);
    int (*isSoftwareRendering)(void);                       // 1 in software rendering mode
    int32_t (*updateOverlay)(DdSurface *overlay, const Rect *source, DdSurface *dest, const Rect *destRect,
                             uint32_t flags);
    // The clip box of the main window's device context: MOVIE_CLIP_* (MOVIE_CLIP_NO_DC when there is
    // no context; the box is filled for a simple region).
    int (*getWindowClipBox)(Rect *box);
};
enum { MOVIE_CLIP_NO_DC = 0, MOVIE_CLIP_NULL_REGION = 1, MOVIE_CLIP_SIMPLE_REGION = 2, MOVIE_CLIP_COMPLEX_REGION = 3 };
// Replaces the functions (copied; null entries keep the defaults); null restores them all. 0.
int SetMovieDisplayFns(const MovieDisplayFns *fns);
const MovieDisplayFns *GetMovieDisplayFns(void);

// ---- the start layer (our addition; the game never calls it) --------------------------------------
// A new movie record of fileName in a new graph of the frame size: opened through the streams in
// surfaceMode, play type kept, frames copied into the graph (modes 0 and 2). The stream stays
// stopped until RunMovie. The graph handle (which owns the movie), or -1 (logged).
int OpenMovieToGraph(const char *fileName, int surfaceMode, int playType);
// A movie record around an own-decoder state (taken over), with its sound handle (or -1): the
// clock base is now, it plays. The movie handle, or -1.
int CreateOwnDecodedMovie(TheoraMovieState *state, int soundHandle, int playType);
// Starts a movie: streams run, the movie is playing. 0 / -1 (bad handle).
int RunMovie(int movie);
// The movie handle shown by a graph, or -1.
int GetGraphMovieHandle(int graph);
// Sets the frame callback of a movie. 0 / -1.
int SetMovieFrameCallback(int movie, MovieFrameCallback callback, uintptr_t data);
