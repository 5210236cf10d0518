// The states of every field object kind: short appear states that only count frames, the main states
// that do each kind's work once per frame, the enemies' timed states and the removal states that free
// the record a few calls later. A state change stores another of these functions in the object.
#pragma once
#include "game/objects.h"

#define APPEAR_FRAMES 8                      // calls of an appear state (fire: 1)
#define FIRE_APPEAR_FRAMES 1
#define REMOVE_FRAMES 7                      // calls of a removal state before the record is freed
#define WARP_STATE_FRAMES 140
#define WARP_JUMP_FRAME 60
#define WARP_DRAW_LIMIT 4096                 // draws before a warp gives up its jump
#define SHOOT_STATE_FRAMES 32
#define WORK_STATE_BOMB_FRAMES 100
#define WORK_STATE_BLOCK_FRAMES 300
#define SCORE_POPUP_FRAMES 40

// Soft-block contents.
#define CONTENT_NOTHING 100
#define CONTENT_ENEMY 500
#define CONTENT_DROP 600                     // 600..603
#define CONTENT_CORE_MECH 700
#define CONTENT_GOAL 1000

// ---- appear states -------------------------------------------------------------------------------
void FloorAppear(GameObjectRecord *object);
void FixedBlockAppear(GameObjectRecord *object);
void SoftBlockAppear(GameObjectRecord *object);
void BombAppear(GameObjectRecord *object);
void ShotAppear(GameObjectRecord *object);
void ItemAppear(GameObjectRecord *object);
void GoalAppear(GameObjectRecord *object);
void TYukaAppear(GameObjectRecord *object);
void ScoreAppear(GameObjectRecord *object);
void EnemyAppear(GameObjectRecord *object);
void FireAppear(GameObjectRecord *object);

// ---- main states (BombMain is in game/bombs.h) ---------------------------------------------------
void FloorMain(GameObjectRecord *object);
void IdleBehaviour(GameObjectRecord *object);
void FixedBlockMain(GameObjectRecord *object);
void SoftBlockMain(GameObjectRecord *object);
void ItemMain(GameObjectRecord *object);
void GoalMain(GameObjectRecord *object);
void TYukaMain(GameObjectRecord *object);
void ScoreMain(GameObjectRecord *object);
void ShotMain(GameObjectRecord *object);
void FireMain(GameObjectRecord *object);
void EnemyMain(GameObjectRecord *object);

// ---- enemies' timed states -----------------------------------------------------------------------
void EnemyWorkState(GameObjectRecord *object);
void EnemyWarpState(GameObjectRecord *object);
void EnemyShootState(GameObjectRecord *object);

// ---- removal states ------------------------------------------------------------------------------
void RemoveObject(GameObjectRecord *object);
void RemoveBomb(GameObjectRecord *object);

// 1 on frames whose frame counter is a multiple of 8 (the hit checks run then).
int IsHitFrame(void);
// Steps the sprite within its group of four (bombs and fire): 0 1 2 3 0 ..., 4 5 6 7 4 ...
void StepSpriteInGroup(GameObjectRecord *object);
// Releases a destroyed soft block's content at its cell (item, enemy, drop, core mech, goal). 0.
int ReleaseSoftBlockContent(GameObjectRecord *block);
