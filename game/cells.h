// Cell queries and movers: single-cell questions about the cell hash, the scattering of a player's
// power-ups, the cell-to-cell movers of enemies and shots, and the enemies' choice of a special action.
//
// Every query looks only at active members of the cell's bucket; where several match, the last one in
// bucket order (the oldest of the objects that do not move) gives the answer. Cells outside the field
// count as a fixed block for the blocking queries.
#pragma once
#include "game/objects.h"

#define WARP_TIME_GATE 185                   // enemies warp only below this many seconds left
#define SCATTER_DRAW_LIMIT 512               // random draws before a power-up looks for a cell in order
#define FLEE_DRAW_LIMIT 64                   // draws of a fleeing enemy before it takes the last one

// 2 a fixed or soft block, 1 a bomb, 0 nothing.
int QueryCellBlocker(int x, int y);
// 0 the player may enter, 1 a soft block or bomb bars the way, 2 a fixed block.
int IsCellPassableFor(const PlayerRecord *player, int x, int y);
// 1 when a block, enemy, item or goal is there, or it is any player's current cell.
int IsCellTaken(int x, int y);
// 1 when a block, item or goal is there.
int IsCellBlockedForDrop(int x, int y);
// Puts the player's extra power-ups back on free cells as items (capacity to 1, range to 2, speed to
// 2, kick and line bomb off). Always ends: after SCATTER_DRAW_LIMIT failed draws the cells are tried
// in order, and a power-up that finds no cell (or no free record) is dropped.
void ScatterPlayerPowerUps(PlayerRecord *player);
// The block rule of a mover stepping into (x, y): shots die or catch fire, enemies stop.
void CheckStepIntoBlock(GameObjectRecord *mover, int x, int y);
// Direction 0..3 sets dx, dy, facing and moving = 1; any other direction changes nothing.
void SetMoveDirection(GameObjectRecord *mover, int direction);
// One pixel step of a mover: 32 / frames per cell pixels; at the end of the step the cell follows the
// centre and (bomb 0) moving ends, (bomb 1) the step count restarts; then the bucket is refreshed.
void StepMoverPixels(GameObjectRecord *mover, int bomb);
// One frame of a shot / an enemy.
void StepShot(GameObjectRecord *shot);
void StepEnemy(GameObjectRecord *enemy);
// The enemy's special action at a cell: warp, shoot, lay a bomb or make a block.
void ChooseEnemyAction(GameObjectRecord *enemy, int found);
// Plays an enemy's voice of an event (0 spotted, 1 shot, 2 warp, 3 bomb eaten) when effects are on.
void PlayEnemyVoice(int event, const GameObjectRecord *enemy);
