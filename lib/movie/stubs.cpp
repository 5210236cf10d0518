// Stand-ins for the movie module's library hooks: the movie table is always empty.
#include "lib/movie/movie_hooks.h"

int RefreshMovieOverlays(void) { return 0; }
int PauseAllMoviesForSystem(void) { return 0; }
int ResumeSystemPausedMovies(void) { return 0; }
int ReleaseAllMovieStreams(void) { return 0; }
