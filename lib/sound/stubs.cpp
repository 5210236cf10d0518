// Stand-ins for the parts of the sound module not built yet: streamed sounds and music. Each is
// removed as its real function lands.
#include "lib/sound/sound.h"
#include "lib/sound/sound_hooks.h"
#include "lib/sound/sound_internal.h"

