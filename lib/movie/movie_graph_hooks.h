// Entry points of the movie module that the graph module calls: frame updates and overlays of a
// graph that shows a movie, surface restore and release with the graph.
#pragma once

struct MovieRecord;

// The movie record of a handle, or null.
MovieRecord *LookupMovieRecord(int movie);
// 1 when the movie shows through a hardware overlay, else 0 (also for a bad handle).
int IsMovieOverlayMode(int movie);
// Advances the movie's frame to the current frame. 0 (also for a bad handle).
int AdvanceMovieToCurrentFrame(int movie, int force);
// Places (show 1) or hides the movie's overlay at (x, y) with a magnification. 0 / -1 (bad handle).
int PlaceMovieOverlay(int x, int y, int magnification, int movie, int show);
// Restores the movie's lost surfaces. 0 (also for a bad handle).
int RestoreLostMovieSurfaces(int movie);
// Releases the movie handle (any value; -1 and stale handles give -1). 0 / -1.
int ReleaseMovieHandle(int movie);
// Opens every released movie again after a display restore. 0, -1 when a re-open fails.
int ReopenAllMovies(void);
