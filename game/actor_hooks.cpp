// Placeholders of the player and enemy logic the field rules call (see game/actor_hooks.h). Each is
// weak, so the real definition wins where it is linked; each keeps the records consistent and does the
// least that lets a stage run. Delete a placeholder here once its real function exists.
#include "game/actor_hooks.h"

#define PLACEHOLDER __attribute__((weak))
