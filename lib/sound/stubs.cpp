// Stand-ins for the parts of the sound module not built yet: streamed sounds and music. Each is
// removed as its real function lands.
#include "lib/sound/sound.h"
#include "lib/sound/sound_hooks.h"
#include "lib/sound/sound_internal.h"

// ---- music --------------------------------------------------------------------------------------
MciMusicStateRecord MciMusicState;

int DeleteAllMusicHandles(void) { return SoundDevice ? 0 : -1; }
int StopCurrentMusic(void) { return 0; }
int PollDirectMusicSegments(void) { return 0; }
int HandleMciNotify(void) { return 0; }
int PlayMusicFile(const char *, int) { return -1; }
int IsCurrentMusicPlaying(void) { return 0; }
int ChangeCurrentMusicVolume(int) { return SoundDevice ? 0 : -1; }
