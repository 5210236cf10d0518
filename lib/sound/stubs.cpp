// Stand-ins for the sound module's hooks until the module is built: no sound.
#include "lib/sound/sound_hooks.h"

int StartupSoundSystem(void) { return -1; }
int ShutdownSoundSystem(void) { return -1; }
int StopCurrentMusic(void) { return 0; }
int RefillAllStreamSounds(void) { return -1; }
int PollDirectMusicSegments(void) { return 0; }
int HandleMciNotify(void) { return 0; }

// ---- the public sound calls the game makes: no sound until the sound module replaces them ----------
#include "lib/sound/sound.h"

int LoadSoundFileToHandle(const char *fileName, int bufferCount, int sharedStreamHandle) { return -1; }
int PlaySoundByHandle(int handle, int playType, int restartFlag) { return -1; }
int PlayMusicFile(const char *fileName, int playType) { return -1; }
int IsCurrentMusicPlaying(void) { return 0; }
int ChangeCurrentMusicVolume(int volume) { return -1; }
