// The sound module's public calls for static sounds and the current music.
#pragma once
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
