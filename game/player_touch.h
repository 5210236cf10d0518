// What a player touches after the field objects have run: the open goal ends the stage, an item gives
// its power-up, and an enemy, a fire or an enemy shot costs a life unless the respawn counter runs.
// Also the score with the extra credits it pays at fixed thresholds.
#pragma once

struct PlayerRecord;
struct GameObjectRecord;

#define ITEM_KIND_COUNT 23                   // items 0..22
#define ITEM_TRAP 21                         // four enemies instead of a power-up
#define SCORE_THRESHOLD_COUNT 8

// HandlePlayerTouches(player, cellX, cellY) is declared in game/stage_hooks.h: every active object of
// the 3 x 3 cells round the cell whose box holds the player's centre (bounds included), in the rules'
// order. Only the first goal touch of a frame counts, so two players on the open goal advance one stage.

// Applies item kind `kind` (0..22; another kind does nothing) to the player as if picked up from
// cell (x, y) (the trap's enemies appear there): its voice, its effect on the player and its closing
// effect. Leaves the item object alone. 0, -1 for a null player.
int ApplyItemToPlayer(PlayerRecord *player, int kind, int x, int y);
// The voice of item kind 0..22, -1 for none (kind 7 and any other kind).
int GetItemVoice(int kind);
// Adds points (>= 0) to the score of player n (1..4); every threshold of 5000, 10000, 20000, 30000,
// 50000, 100000, 200000 and 300000 crossed pays a credit, the last three also set the block-content
// level 1. A number outside 1..4 changes nothing.
void AddPlayerScore(int player, int points);
// Effect 12 and voice 4, then one credit more (also in battle mode). 0.
int GrantExtraCredit(void);
