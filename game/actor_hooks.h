// Calls of the field rules into player and enemy logic that other code brings: the enemies' kinds,
// shots, random enemies and drops (game/enemy_kinds.h), their direction choice (game/path_search.h),
// and the players' score and bomb stops declared below. game/actor_hooks.cpp holds a weak placeholder of
// each, so the rules link and a stage runs before that code lands; a real definition replaces the
// placeholder (delete it from game/actor_hooks.cpp when the real one comes).
#pragma once
#include "game/enemy_kinds.h"
#include "game/objects.h"
#include "game/path_search.h"

// ---- players -------------------------------------------------------------------------------------
// Pays points to player 1..4 (with the credit thresholds). Placeholder: adds them to the score.
void AddPlayerScore(int player, int points);
// Stops a sliding bomb that runs into a player who did not kick it. Placeholder: nothing.
void StopBombAtPlayers(GameObjectRecord *bomb);
