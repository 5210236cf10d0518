// Stand-ins for the movie module's graph hooks: the movie table is always empty.
#include "lib/movie/movie_graph_hooks.h"

void *LookupMovieRecord(int) { return nullptr; }
int IsMovieOverlayMode(int) { return 0; }
int AdvanceMovieToCurrentFrame(int, int) { return -1; }
int PlaceMovieOverlay(int, int, int, int, int) { return -1; }
int RestoreLostMovieSurfaces(int) { return 0; }
int ReleaseMovieHandle(int) { return -1; }
int ReopenAllMovies(void) { return 0; }
