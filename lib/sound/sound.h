// The sound module's public calls for static sounds and the current music.
#pragma once
#include <cstdint>

#include "lib/sound/sound_hooks.h"

// Play types of sounds and music.
#define SOUND_PLAY_WAIT 0   // return when the sound has ended
#define SOUND_PLAY_BACK 1   // once, in the background
#define SOUND_PLAY_LOOP 3   // looping

// Loads a sound file into a new sound handle with bufferCount buffers (capped at 10) so that as many
// copies can overlap. The handle, or -1 (before start-up, unreadable or undecodable file).
int LoadSoundFileToHandle(const char *fileName, int bufferCount, int sharedStreamHandle);
// Plays on the handle's next buffer; restart 1 starts it from the beginning. 0, or -1 for a bad handle
// or before start-up.
int PlaySoundByHandle(int handle, int playType, int restartFlag);
// Makes the file the current music (MIDI, or a streamed sound when it is not MIDI) and plays it.
// 0 / -1.
int PlayMusicFile(const char *fileName, int playType);
// 0 when there is no current music, else 1 while it plays and 0 when it does not.
int IsCurrentMusicPlaying(void);
// Volume 0..255 of the current music. 0, -1 before start-up.
int ChangeCurrentMusicVolume(int volume);

// ---- sound handles -----------------------------------------------------------------------------
// A new empty sound handle (pass -1), or -1 when the table of 4096 is full.
int AddSoundData(int handle);
// Length in samples (frames); -1 for a bad handle or one without sound data.
int CountSoundSamples(int handle);
// Length in milliseconds, truncated; -1 for a bad handle or one without sound data.
int MeasureSoundLengthMs(int handle);
// Stops and deletes a sound handle (the second argument is not used). 0 / -1.
int DeleteSoundByHandle(int handle, int unused);
// Deletes every sound handle. 0, -1 before start-up.
int DeleteAllSoundHandles(int unused);
// Loads a file image (the caller keeps it) into a new handle with bufferCount (at most 10) buffers.
// The handle, or -1.
int CreateSoundFromMemoryImage(const void *image, uint32_t size, int bufferCount, int sharedStreamHandle);
// Stops every buffer of the sound; the handle stays valid. 0 / -1.
int StopSoundByHandle(int handle);
// 1 while any buffer of the sound plays, 0 when none does, -1 for a bad handle or before start-up.
int QuerySoundPlaying(int handle);
// Play position of the last play in milliseconds from the sound's start, or -1.
int GetSoundPlayPositionMs(int handle);
// Volume 0..255 (255 = full, 0 = silent; 1000 * log10(v / 255) hundredths of a decibel) on every
// buffer of the sound. Volume first. 0 / -1.
int ChangeSoundVolume(int volume, int handle);
