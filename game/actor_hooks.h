// Calls of the field rules into player and enemy logic: the enemies' kinds, shots, random enemies and
// drops (game/enemy_kinds.h), their direction choice (game/path_search.h), and the players' score and
// bomb stops declared below (defined with the player code).
#pragma once
#include "game/enemy_kinds.h"
#include "game/objects.h"
#include "game/path_search.h"

// ---- players -------------------------------------------------------------------------------------
// Pays points to player 1..4 (with the credit thresholds).
void AddPlayerScore(int player, int points);
// Stops a sliding bomb that runs into a player who did not kick it.
void StopBombAtPlayers(GameObjectRecord *bomb);
