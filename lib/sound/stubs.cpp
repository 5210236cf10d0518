// Stand-ins for the sound module's hooks until the module is built: no sound.
#include "lib/sound/sound_hooks.h"

int StartupSoundSystem(void) { return -1; }
int ShutdownSoundSystem(void) { return -1; }
int StopCurrentMusic(void) { return 0; }
int RefillAllStreamSounds(void) { return -1; }
int PollDirectMusicSegments(void) { return 0; }
int HandleMciNotify(void) { return 0; }
