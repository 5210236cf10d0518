// Music handles: MIDI files played through the media sequencer device, one at a time, with a
// completion notice to the main window that restarts looping music. PlayMusicFile, StopCurrentMusic,
// IsCurrentMusicPlaying and ChangeCurrentMusicVolume (lib/sound/sound.h, sound_hooks.h) stand on top.
#pragma once

#define MUSIC_HANDLE_MAX 256  // slots of the music handle table

// A new empty music handle. -1 before start-up, when 256 exist ("...許容量を越えました終了します"),
// or when the record cannot be had.
int AddMusicData(void);
// A music handle holding a copy of size bytes of a MIDI file; the bytes stay the caller's.
// -1 before start-up, for no bytes, or when the copy cannot be had.
int CreateMusicFromMemory(const void *midi, int size);
// A music handle holding the whole file (any file: whether it is MIDI shows when it plays). -1 when
// the file cannot be read (logged) or as CreateMusicFromMemory.
int LoadMusicMem(const char *fileName);
// Plays the music from its start through a new temporary file; play type 3 loops, 0 returns once it
// has ended (or the pump reports the end), any other plays once in the background. The music that
// played last is stopped first. 0; -1 before start-up, for a bad handle, when no temporary file can
// be made, or when the sequencer refuses the file (no log line) or fails after opening it (logged).
int PlayMusicHandle(int handle, int playType);
// Stops whatever MIDI plays (there is one sequencer device) and deletes the temporary file.
// 0; -1 before start-up or for a bad handle.
int StopMusicHandle(int handle);
// Stops the MIDI when it plays, then frees the handle. 0; -1 before start-up or for a bad handle.
int DeleteMusicHandle(int handle);
// Deletes every music handle. 0, -1 before start-up.
int DeleteAllMusicHandles(void);
// 1 while MIDI plays (the same answer for every valid handle), else 0; -1 before start-up or for a
// bad handle.
int CheckMusicHandlePlaying(int handle);
