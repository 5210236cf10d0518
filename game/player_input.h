// The players' pads once per stage frame: the pause button (pause, unpause, or a join for a credit),
// the step the direction bits ask for, and the three action buttons (bomb or line of bombs, remote
// detonation, stopping a kicked bomb). Every button acts on its press only, through the player's
// latches.
#pragma once

struct PlayerRecord;

#define JOIN_RESPAWN_FRAMES 500

// ReadPlayerInput(n) and UpdatePlayerActions(n), n = 1..4, are declared in game/stage_hooks.h; both
// return 0, or -1 for a number outside 1..4.

// Turns direction bits into a step: down over up over right over left. Writes *dx, *dy (-1, 0, 1);
// 1 when a direction is held, else 0 (and both 0).
int GetPadStep(int padBits, int *dx, int *dy);
// The facing of a step (up 1, down 0, left 2, right 3), or `facing` unchanged for no step.
int GetStepFacing(int dx, int dy, int facing);
// 1 on the press of a button (held now, its latch 0), which sets the latch; a released button
// clears it. `latch` is a LATCH_* index, `mask` the player's button bits.
int TakeButtonPress(PlayerRecord *player, int latch, int mask);
// Lays the player's bombs from the cell after (x, y) in its facing direction until the bombs run out
// or a taken cell (block, bomb, enemy, item, goal, a player's cell) or the field's edge comes; stop
// non-zero ends after one bomb. Effect 1 plays once per step. Always 0.
int PlaceLineBombs(PlayerRecord *player, int x, int y, int stop);
