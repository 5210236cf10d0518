// Entry points of the sound module that the library start, end, message pump and window procedure
// call.
#pragma once

// Starts the sound module. 0, or -1 when it is already started or cannot start (the library goes on
// without sound).
int StartupSoundSystem(void);
// Ends the sound module: sound and music handles, the temporary MIDI file. 0, -1 when not started.
int ShutdownSoundSystem(void);
// Stops the music that plays. 0.
int StopCurrentMusic(void);
// Refills every streamed sound's ring buffer; called on every pump pass (main thread). 0, -1 before
// start-up.
int RefillAllStreamSounds(void);
// Polls the DirectMusic segments; nothing on the MCI route. 0.
int PollDirectMusicSegments(void);
// The window procedure's handling of the MCI completion notice (message 0x3B9). 0.
int HandleMciNotify(void);
