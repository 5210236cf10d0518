// Lives, start cells and the end of a stage or battle round: what a hit costs, where each player
// starts, and the per-frame check that counts the respawn counters down, takes players out of play and
// hands over to the menus' result screens.
#pragma once

struct PlayerRecord;

// Respawn counter values.
#define RESPAWN_START_FRAMES 500             // stage start, join, invincibility item
#define RESPAWN_HIT_FRAMES 160               // a life lost with lives left
#define RESPAWN_DYING_FRAMES 80              // the dying animation after the last life
#define PLAYER_CELL_OUT 10000                // the cell of a player the round end took out of play

// Takes a life: respawn counter 160; after the last one the dying counter 80, the power-ups lost (in
// battle scattered over the field first) and, in normal mode, the stage clock back at 200. A time-out
// (time left <= 0) takes every life and the player out of play. 0, -1 for a null player.
int LosePlayerLife(PlayerRecord *player);
// Puts the player on its start corner (GetPlayerStartCell: 1 (1,1), 2 (13,11), 3 (13,1), 4 (1,11));
// another number keeps its cell. Pixel = cell * 32, centre = pixel + 16. 0, -1 for a null player.
int PlacePlayerAtStart(PlayerRecord *player);
// CheckRoundEnd() is declared in game/stage_hooks.h: the time-out, the respawn counters, players
// leaving play, and the end of the stage (game over, continue, game clear, next stage) or the battle
// round (round result, won by the first player in number order with lives left, or a draw).
