// Stage start, stage tables and field build. StartStage, BuildStageField, CreatePlayerObjects and
// FillStageTables are declared in game/stage_hooks.h (the menus call them through the hooks table).
#pragma once
#include "game/records.h"

// Build-time cell states (GameStateRecord::cellStates).
enum : int32_t {
    CELL_STATE_FREE = 0,
    CELL_STATE_FIXED = 1,
    CELL_STATE_SOFT = 2,
    CELL_STATE_ENEMY = 5,
    CELL_STATE_KEPT_CLEAR = 6,
};

#define STAGE_SOFT_BLOCKS 60
#define STAGE_ENEMY_CLEARANCE 3              // no enemy this close (in x and y) to player 1's or 2's start
#define BUILD_DRAW_LIMIT 65536               // draws for one placement before it is given up
#define PLAYER_OFF_FIELD 1000                // the cell of a player who takes no part in the stage
#define PLAYER_START_RESPAWN 500             // invincible frames at a normal-mode start

// Player n's (1..4) start cell.
void GetPlayerStartCell(int player, int *x, int *y);
// Pixel box and centre of the player from its cell.
void PlacePlayerOnCell(PlayerRecord *player);
// 1 where the field has a fixed block: the border and every cell with x and y both even.
int IsFixedBlockCell(int x, int y);
