// Entry points of the movie module that the library start, the message pump and the window procedure
// call.
#pragma once

// Builds the YUV-to-RGB tables once at library start. 0.
int BuildYuvToRgbTables(void);
// Places every overlay movie again; each turn of the pump's inactive wait. 0.
int RefreshMovieOverlays(void);
// Pauses every movie when the application loses the focus. 0.
int PauseAllMoviesForSystem(void);
// Resumes the movies the system paused. 0.
int ResumeSystemPausedMovies(void);
// Releases every movie's streams before a display-mode change. 0.
int ReleaseAllMovieStreams(void);
