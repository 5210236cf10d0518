// Bombs: laying by players (five types) and by enemies, the fuse, the explosion into a centre fire, the
// chain rule, remote detonation, and the kicked bomb's slide with its stops.
#pragma once
#include "game/objects.h"

#define BOMB_FUSE 150                        // frames from laying to the explosion
#define BOMB_REMOTE_FUSE (-1)                // a remote bomb waits with a negative fuse
#define BOMB_FULL_RANGE 12                   // full fire and the power bomb
#define CENTRE_FIRE_LIFE 32
#define BOMB_ENEMY_FUSE 90                   // a bomb laid by a walking enemy

// Player bomb types.
enum : int32_t { BOMB_NORMAL = 0, BOMB_REMOTE = 1, BOMB_PIERCE = 2, BOMB_POWER = 3, BOMB_DANGER = 4 };

// Lays a bomb of the player's type at (x, y): repels movers, ignites it from fire there, runs its fuse
// once (a bomb laid on fire explodes at once) and takes one of the player's bombs. The caller has
// checked the bomb count and the cell. With a full pool nothing happens at all.
void PlaceBomb(PlayerRecord *player, int x, int y);
// Lays the enemy's bomb (by its special kind) at (x, y) with the given fuse; the enemy turns about on
// its step. With a full pool nothing happens.
void PlaceEnemyBomb(GameObjectRecord *enemy, int x, int y, int fuse);
// The bomb's main state.
void BombMain(GameObjectRecord *bomb);
// The bomb branch of StepBombAndFire: the fuse, and the explosion at 0.
void StepBomb(GameObjectRecord *bomb);
// One frame of a bomb or a fire (the fire branch is in game/fire.h); other objects: nothing.
void StepBombAndFire(GameObjectRecord *object);
// The chain rule: fire, or a fire shot, covering the bomb's centre sets its fuse to 0.
void IgniteBombFromFire(GameObjectRecord *bomb);
// Sets the fuse of the player's oldest waiting remote bomb to 0 (effect 1). 1 when one was found.
int DetonateRemoteBomb(PlayerRecord *player);
// Stops the first sliding bomb of the player's kicked chain. 1 when one was stopped.
int StopKickedBomb(PlayerRecord *player);
// Stops a sliding bomb on its last whole cell (effect 1); a bomb at rest: nothing. 1 when stopped.
int StopSlidingBomb(GameObjectRecord *bomb);
// One frame of a kicked bomb's slide (4 pixels at 8 frames per cell).
void StepSlidingBomb(GameObjectRecord *bomb);
// Stops the sliding bomb when (x, y) holds a block, item, shot, goal or light switch.
void CheckBombSlideCell(GameObjectRecord *bomb, int x, int y);
// Turns back enemies and puts out shots that touch the bomb; mode 1 a bomb just laid, mode 2 a
// sliding bomb (which is stopped first by an enemy).
void RepelMoversFromBomb(GameObjectRecord *bomb, int mode);
// A fire shot catches fire: it stops, is renamed "Fire" and burns 32 frames in place.
void CatchFire(GameObjectRecord *shot);
// Takes a bomb out of its kicked chain (both links cleared). 0.
int UnlinkKickedChain(GameObjectRecord *bomb);
