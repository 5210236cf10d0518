// The states of every field object kind.
#include "game/object_states.h"

#include "game/actor_hooks.h"
#include "game/assets.h"
#include "game/bombs.h"
#include "game/cells.h"
#include "game/fire.h"
#include "game/services.h"

#define EFFECT_ENEMY_KILLED 7
#define EFFECT_BLOCK_SURPRISE 8              // a drop block
#define EFFECT_WARP 13

int IsHitFrame(void)
{
    return gGame->frameCounter % 8 == 0;
}

// Next sprite of the group of four.
void StepSpriteInGroup(GameObjectRecord *object)
{
    int f = object->spriteFrame;
    object->spriteFrame = f % 4 == 3 ? f - 3 : f + 1;
}

// ---- appear states -------------------------------------------------------------------------------
// Counts the appear frames; the main state follows after `frames` calls.
static void Appear(GameObjectRecord *object, int frames, ObjectBehaviourFn main)
{
    object->stateFrames++;
    if (object->stateFrames == frames) {
        object->behaviour = main;
        object->stateFrames = 0;
    }
}

void FloorAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, FloorMain); }
void FixedBlockAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, FixedBlockMain); }
void SoftBlockAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, SoftBlockMain); }
void BombAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, BombMain); }
void ShotAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, ShotMain); }
void ItemAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, ItemMain); }
void GoalAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, GoalMain); }
void TYukaAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, TYukaMain); }
void ScoreAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, ScoreMain); }
void EnemyAppear(GameObjectRecord *object) { Appear(object, APPEAR_FRAMES, EnemyMain); }
void FireAppear(GameObjectRecord *object) { Appear(object, FIRE_APPEAR_FRAMES, FireMain); }

// ---- removal states ------------------------------------------------------------------------------
void RemoveObject(GameObjectRecord *object)
{
    object->stateFrames++;
    if (object->stateFrames == REMOVE_FRAMES) FreeObjectRecord(object);
}

void RemoveBomb(GameObjectRecord *object)
{
    object->stateFrames++;
    if (object->stateFrames == REMOVE_FRAMES) {
        UnlinkBombChains(object);
        FreeObjectRecord(object);
    }
}

// The object leaves once it is inactive.
static void RemoveWhenInactive(GameObjectRecord *object)
{
    if (!object->active) object->behaviour = RemoveObject;
}

// Counts a hit timer down; at 0 with no hit points left the object is destroyed. 1 on that frame.
static int CountHitTimer(GameObjectRecord *object)
{
    if (!object->active || object->timer <= 0) return 0;
    object->timer--;
    if (object->hitPoints <= 0 && object->timer <= 0) {
        object->active = 0;
        return 1;
    }
    return 0;
}

// ---- simple kinds --------------------------------------------------------------------------------
void FloorMain(GameObjectRecord *object)
{
    object->spriteFrame = object->variant;
}

void IdleBehaviour(GameObjectRecord *object) {}

void FixedBlockMain(GameObjectRecord *object)
{
    object->spriteFrame = gGame->world * 5;
    RemoveWhenInactive(object);
}

void ItemMain(GameObjectRecord *object)
{
    if (IsHitFrame()) ApplyObjectHits(object);
    CountHitTimer(object);
    RemoveWhenInactive(object);
}

void TYukaMain(GameObjectRecord *object)
{
    if (object->variant == 0) object->spriteFrame = 8 + gGame->darkness;
    if (IsHitFrame()) ApplyObjectHits(object);
    CountHitTimer(object);
    RemoveWhenInactive(object);
}

void ScoreMain(GameObjectRecord *object)
{
    if (object->active && object->moveMode > 0) {
        object->moveMode--;
        if (object->moveMode < 1) object->active = 0;
    }
    RemoveWhenInactive(object);
}

// ---- soft blocks ---------------------------------------------------------------------------------
// The sprite of a soft block: content marks, the normal-mode hints, and the breaking frames on top.
static int SoftBlockSprite(const GameObjectRecord *block)
{
    int base = gGame->world * 5;
    int content = block->moveMode;
    int sprite = base + 1;
    if (gGame->mode != GAME_MODE_BATTLE && gGame->frameCounter % 4 != 0) {
        if (gGame->enemiesLeft <= 0 && content < CONTENT_NOTHING) sprite = base + 2;
        if (gGame->coreMechsLeft <= 0 && content == CONTENT_GOAL) sprite = 36;
    }
    if (content == CONTENT_ENEMY) sprite = 30;
    if (content >= CONTENT_DROP && content <= CONTENT_DROP + 3) sprite = 31 + content - CONTENT_DROP;
    if (content == CONTENT_CORE_MECH) sprite = 35;
    int t = block->timer;
    if (t > 20)
        sprite = base + 2;
    else if (t > 10)
        sprite = base + 3;
    else if (t > 0)
        sprite = base + 4;
    return sprite;
}

int ReleaseSoftBlockContent(GameObjectRecord *block)
{
    int content = block->moveMode;
    if (content >= 0 && content < CONTENT_NOTHING) {
        SpawnItem(block->cellX, block->cellY, content);
    } else if (content == CONTENT_ENEMY) {
        SpawnRandomEnemy(1, block);
    } else if (content >= CONTENT_DROP && content <= CONTENT_DROP + 3) {
        PlayEffectIfEnabled(EFFECT_BLOCK_SURPRISE);
        ReleaseBlockDrop(content - CONTENT_DROP, block);
    } else if (content == CONTENT_CORE_MECH) {
        CountCoreMechDown();
    } else if (content == CONTENT_GOAL) {
        SpawnGoal(block->cellX, block->cellY);
    }
    return 0;
}

void SoftBlockMain(GameObjectRecord *object)
{
    object->spriteFrame = SoftBlockSprite(object);
    if (IsHitFrame()) ApplyObjectHits(object);
    if (CountHitTimer(object)) ReleaseSoftBlockContent(object);
    RemoveWhenInactive(object);
}

// ---- goal ----------------------------------------------------------------------------------------
void GoalMain(GameObjectRecord *object)
{
    if (IsHitFrame()) ApplyObjectHits(object);
    if (object->active) {
        if (CountHitTimer(object)) {
            SpawnRandomEnemy(0, object);
            // A fresh closed goal takes the old one's place; on a full pool the old one stays.
            if (!SpawnGoalAt(object->cellX, object->cellY)) {
                object->active = 1;
                object->hitPoints = 1;
                object->timer = 80;
                object->variant = 0;
                object->spriteFrame = 0;
            }
        }
        if (object->variant == 0 && gGame->coreMechsLeft == 0) {
            object->variant = 1;
            object->spriteFrame = 1;
        }
    }
    RemoveWhenInactive(object);
}

// ---- shots and fire ------------------------------------------------------------------------------
void ShotMain(GameObjectRecord *object)
{
    StepShot(object);
    if (IsHitFrame()) ApplyObjectHits(object);
    CountHitTimer(object);
    if (IsObjectKind(object, KIND_FIRE)) object->behaviour = FireMain;
    RemoveWhenInactive(object);
}

void FireMain(GameObjectRecord *object)
{
    if (IsHitFrame()) ApplyObjectHits(object);
    StepBombAndFire(object);
    if (object->timer % 10 == 0) StepSpriteInGroup(object);
    RemoveWhenInactive(object);
}

// ---- enemies -------------------------------------------------------------------------------------
static int EnemySprite(const GameObjectRecord *enemy)
{
    int base = enemy->variant * 20;
    if (enemy->hitPoints >= 1) return base + enemy->animCounter / 10 + enemy->facing * 4;
    int t = enemy->timer;
    int step = t > 20 && t <= 30 ? 1 : t > 10 && t <= 20 ? 2 : t > 0 && t <= 10 ? 3 : 0;
    return base + 16 + step;
}

// The enemy dies (already inactive): the player whose fire hit it last is paid, its drop is left,
// the count goes down.
static void KillEnemy(GameObjectRecord *enemy)
{
    if (IsPlayerOwner(enemy->owner)) {
        PlayEffectIfEnabled(EFFECT_ENEMY_KILLED);
        SpawnScorePopup(enemy->cellX, enemy->cellY, gGame->killMultiplier, enemy->points);
        enemy->points = enemy->points * gGame->killMultiplier;
        AddPlayerScore(enemy->owner, enemy->points);
        gGame->killMultiplier--;
    }
    if (enemy->dropCode > 0) ReleaseEnemyDrop(enemy->dropCode - 1, enemy);
    gGame->enemiesLeft--;
}

void EnemyMain(GameObjectRecord *object)
{
    StepEnemy(object);
    if (IsHitFrame()) ApplyObjectHits(object);
    object->animCounter++;
    if (object->animCounter >= 40) object->animCounter = 0;
    object->spriteFrame = EnemySprite(object);
    if (CountHitTimer(object)) KillEnemy(object);
    RemoveWhenInactive(object);
}

void EnemyWorkState(GameObjectRecord *object)
{
    if (IsHitFrame()) ApplyObjectHits(object);
    if (object->stateFrames == 10 && object->specialKind >= 10 && object->specialKind <= 14) object->timer = 100;
    if (object->hitPoints <= 0) object->stateFrames = 0;
    if (object->stateFrames == 0) {
        if (object->specialKind == 15) SpawnFire(object->cellX, object->cellY, 0, DIR_NONE, 0, 5, 0, 0);
        object->behaviour = EnemyMain;
    }
    object->stateFrames--;
}

// The warp's jump: a free cell by random draws (bounded), leaving the warp drop at the old cell.
static void WarpJump(GameObjectRecord *enemy)
{
    PlayEffectIfEnabled(EFFECT_WARP);
    for (int draw = 0; draw < WARP_DRAW_LIMIT; draw++) {
        if (gServices.pumpMessages() != 0 || gGame->quit) return;
        int x = gServices.pickRandomUpTo(FIELD_WIDTH);
        int y = gServices.pickRandomUpTo(FIELD_HEIGHT);
        if (x >= FIELD_WIDTH || y >= FIELD_HEIGHT || QueryCellBlocker(x, y) != 0) continue;
        if (enemy->warpCode > 100) ReleaseEnemyDrop(enemy->warpCode - 101, enemy);
        SetObjectCell(enemy, x, y);
        RehashObjectCell(enemy);
        return;
    }
}

void EnemyWarpState(GameObjectRecord *object)
{
    if (IsHitFrame()) ApplyObjectHits(object);
    if (object->hitPoints <= 0) object->stateFrames = 0;
    if (object->stateFrames == WARP_JUMP_FRAME && object->warpCode >= 1) WarpJump(object);
    if (object->stateFrames == 0) object->behaviour = EnemyMain;
    object->stateFrames--;
}

void EnemyShootState(GameObjectRecord *object)
{
    if (IsHitFrame()) ApplyObjectHits(object);
    if (object->hitPoints <= 0) object->stateFrames = 0;
    int kind = object->specialKind;
    if (object->stateFrames == 0) {
        if (kind == 1 || kind == 2 || kind == 3 || kind == 5) SpawnEnemyShot(object, object->cellX, object->cellY);
        object->behaviour = EnemyMain;
    }
    if (kind == 4 && object->stateFrames <= 3) SpawnEnemyShot(object, object->cellX, object->cellY);
    object->stateFrames--;
}
