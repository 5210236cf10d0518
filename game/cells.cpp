// Cell queries, the power-up scatter, the enemy and shot movers and the enemies' special actions.
#include "game/cells.h"

#include "game/actor_hooks.h"
#include "game/assets.h"
#include "game/bombs.h"
#include "game/object_states.h"
#include "game/services.h"

#define EFFECT_SHOOT 2
#define VOICE_EATER_ON_BOMB 29

// ---- queries -------------------------------------------------------------------------------------
int QueryCellBlocker(int x, int y)
{
    if (!IsFieldCell(x, y)) return 2;
    int r = 0;
    for (GameObjectRecord *o = GetCellObjects(x, y); o; o = o->cellNext) {
        if (o->active != 1 || !IsObjectKind(o, KIND_BLOCK)) continue;
        r = o->variant == BLOCK_BOMB ? 1 : 2;
    }
    return r;
}

int IsCellPassableFor(const PlayerRecord *player, int x, int y)
{
    if (!IsFieldCell(x, y)) return 2;
    int r = 0;
    for (GameObjectRecord *o = GetCellObjects(x, y); o; o = o->cellNext) {
        if (o->active != 1 || !IsObjectKind(o, KIND_BLOCK)) continue;
        if (o->variant == BLOCK_FIXED)
            r = 2;
        else if (player->passFlags == 3 || player->passFlags == o->variant || (o->variant == BLOCK_BOMB && player->kick))
            r = 0;
        else
            r = 1;
    }
    return r;
}

int IsCellBlockedForDrop(int x, int y)
{
    if (!IsFieldCell(x, y)) return 1;
    for (GameObjectRecord *o = GetCellObjects(x, y); o; o = o->cellNext) {
        if (o->active != 1) continue;
        if (IsObjectKind(o, KIND_BLOCK) || IsObjectKind(o, KIND_ITEM) || IsObjectKind(o, KIND_GOAL)) return 1;
    }
    return 0;
}

int IsCellTaken(int x, int y)
{
    if (IsCellBlockedForDrop(x, y)) return 1;  // also every cell outside the field
    for (GameObjectRecord *o = GetCellObjects(x, y); o; o = o->cellNext)
        if (o->active == 1 && IsObjectKind(o, KIND_ENEMY)) return 1;
    for (PlayerRecord *player : gPlayers)
        if (player && player->cellX == x && player->cellY == y) return 1;
    return 0;
}

// ---- scatter -------------------------------------------------------------------------------------
// A free cell for a dropped power-up: random draws first, then the first free cell in y, x order.
// 0 with the cell, -1 when the field has none.
static int FindScatterCell(int *x, int *y)
{
    for (int draw = 0; draw < SCATTER_DRAW_LIMIT; draw++) {
        *x = gServices.pickRandomUpTo(FIELD_WIDTH - 1);
        *y = gServices.pickRandomUpTo(FIELD_HEIGHT - 1);
        if (!IsCellBlockedForDrop(*x, *y)) return 0;
    }
    for (*y = 0; *y < FIELD_HEIGHT; (*y)++)
        for (*x = 0; *x < FIELD_WIDTH; (*x)++)
            if (!IsCellBlockedForDrop(*x, *y)) return 0;
    return -1;
}

// Drops one power-up as an item; the stat goes down whether or not a cell (or a record) was found,
// so the scatter always ends.
static void DropPowerUp(int itemKind)
{
    int x, y;
    if (FindScatterCell(&x, &y) == 0) SpawnItem(x, y, itemKind);
}

void ScatterPlayerPowerUps(PlayerRecord *player)
{
    for (; player->capacity > 1; player->capacity--) DropPowerUp(4);
    for (; player->fireRange > 2; player->fireRange--) DropPowerUp(5);
    for (; player->speed > 2; player->speed--) DropPowerUp(6);
    if (player->kick == 1) {
        DropPowerUp(22);
        player->kick = 0;
    }
    if (player->lineBomb == 1) {
        DropPowerUp(19);
        player->lineBomb = 0;
    }
}

// ---- movers --------------------------------------------------------------------------------------
void SetMoveDirection(GameObjectRecord *mover, int direction)
{
    if (direction < 0 || direction > 3) return;
    mover->dx = kDirStepX[direction];
    mover->dy = kDirStepY[direction];
    mover->facing = direction;
    mover->moving = 1;
}

// The block rule for one block of the given variant in the mover's way.
static void BlockInTheWay(GameObjectRecord *mover, int variant)
{
    if (variant == BLOCK_SOFT && mover->passKind == 1) return;
    if (variant == BLOCK_BOMB && mover->passKind == 2) {
        PlayVoiceIfEnabled(VOICE_EATER_ON_BOMB);  // the eater walks onto the bomb and eats it
        return;
    }
    if (IsObjectKind(mover, KIND_SHOT)) {
        int type = mover->specialKind;
        if (type == 0 || type == 3) {
            mover->active = 0;
        } else if (type == 1) {
            if (variant != BLOCK_FIXED) return;  // flies on over soft blocks and bombs
            CatchFire(mover);
        } else if (type == 2) {
            if (variant == BLOCK_SOFT) return;
            mover->active = 0;
        } else {
            return;
        }
    }
    mover->moving = 0;
}

void CheckStepIntoBlock(GameObjectRecord *mover, int x, int y)
{
    if (!IsFieldCell(x, y)) {
        BlockInTheWay(mover, BLOCK_FIXED);  // outside is wall
        return;
    }
    int tx = mover->cellX + mover->dx, ty = mover->cellY + mover->dy;
    GameObjectRecord *o = GetCellObjects(x, y);
    while (o) {
        GameObjectRecord *next = o->cellNext;
        if (o->active == 1 && IsObjectKind(o, KIND_BLOCK) && o->cellX == tx && o->cellY == ty)
            BlockInTheWay(mover, o->variant);
        o = next;
    }
}

void StepMoverPixels(GameObjectRecord *mover, int bomb)
{
    if (mover->framesPerCell <= 0) return;
    mover->stepFrames++;
    // Integer division rounds toward zero, as the rules count it.
    mover->left += mover->dx * CELL_SIZE / mover->framesPerCell;
    mover->top += mover->dy * CELL_SIZE / mover->framesPerCell;
    mover->centreX = mover->left + CELL_SIZE / 2;
    mover->centreY = mover->top + CELL_SIZE / 2;
    if (mover->stepFrames == mover->framesPerCell) {
        mover->cellX = mover->centreX / CELL_SIZE;
        mover->cellY = mover->centreY / CELL_SIZE;
        if (bomb)
            mover->stepFrames = 0;
        else
            mover->moving = 0;
    }
    RehashObjectCell(mover);
}

static int IsAtStepFrame(const GameObjectRecord *mover)
{
    return mover->framesPerCell > 0 && gGame->frameCounter % mover->framesPerCell == 0;
}

void StepShot(GameObjectRecord *shot)
{
    if (!shot->moving && IsAtStepFrame(shot)) {
        ChooseEnemyDirection(shot);
        int direction = shot->chosenDirection != DIR_NONE ? shot->chosenDirection : shot->facing;
        if (!shot->moving) {
            SetMoveDirection(shot, direction);
            CheckStepIntoBlock(shot, shot->cellX + shot->dx, shot->cellY + shot->dy);
        }
        shot->stepFrames = 0;
    }
    if (shot->moving) StepMoverPixels(shot, 0);
}

// 1 when the application ends or the player quits.
static int ShouldStopLooping(void)
{
    return gServices.pumpMessages() != 0 || gGame->quit;
}

// A fleeing enemy takes any direction but the one its AI chose (bounded for scripted generators).
static int PickFleeDirection(int chosen)
{
    int direction = chosen;
    for (int draw = 0; draw < FLEE_DRAW_LIMIT; draw++) {
        if (ShouldStopLooping()) break;
        direction = gServices.pickRandomUpTo(3);
        if (direction != chosen) break;
    }
    return direction;
}

// Direction choice at a cell; the draw order is fixed (seeded runs depend on it): the crossing test
// comes before the turn draw.
static int PickEnemyDirection(GameObjectRecord *enemy, int *found)
{
    ChooseEnemyDirection(enemy);
    if (enemy->chosenDirection != DIR_NONE) {
        if (enemy->lostSightFlag == 1) PlayEnemyVoice(0, enemy);
        enemy->lostSightFlag = 0;
        *found = 1;
        if (enemy->moveMode == 4) return PickFleeDirection(enemy->chosenDirection);
        return enemy->chosenDirection;
    }
    enemy->lostSightFlag = 1;
    *found = 0;
    bool crossing = (enemy->cellX & 1) && (enemy->cellY & 1);
    if (crossing && enemy->turnChance > gServices.pickRandomUpTo(100)) return gServices.pickRandomUpTo(3);
    return enemy->facing;
}

void StepEnemy(GameObjectRecord *enemy)
{
    if (!enemy->active) return;
    if (!enemy->moving && IsAtStepFrame(enemy)) {
        int found = 0;
        int direction = PickEnemyDirection(enemy, &found);
        // Up to 8 tries: random after tries 1..4, the next direction round after tries 5..8.
        for (int attempt = 1; attempt <= 8 && !enemy->moving; attempt++) {
            SetMoveDirection(enemy, direction);
            CheckStepIntoBlock(enemy, enemy->cellX + enemy->dx, enemy->cellY + enemy->dy);
            if (enemy->moving) break;
            direction = attempt <= 4 ? gServices.pickRandomUpTo(3) : (direction + 1) % 4;
        }
        enemy->stepFrames = 0;
        ChooseEnemyAction(enemy, found);
    }
    if (enemy->hitPoints <= 0) enemy->moving = 0;  // a dying enemy stands
    if (enemy->moving) StepMoverPixels(enemy, 0);
}

// ---- special actions -----------------------------------------------------------------------------
// Enters the shooting state; facing the sighting when aim is set.
static void StartShooting(GameObjectRecord *enemy, bool aim)
{
    PlayEnemyVoice(1, enemy);
    PlayEffectIfEnabled(EFFECT_SHOOT);
    enemy->moving = 0;
    enemy->behaviour = EnemyShootState;
    enemy->stateFrames = SHOOT_STATE_FRAMES;
    if (aim) enemy->facing = enemy->sightingDirection;
}

// Shooters (special kinds 0..9). The draw range follows the speed; another speed draws nothing.
static void ChooseShot(GameObjectRecord *enemy)
{
    int c;
    if (enemy->framesPerCell == 32)
        c = gServices.pickRandomUpTo(1);
    else if (enemy->framesPerCell == 16)
        c = gServices.pickRandomUpTo(3);
    else if (enemy->framesPerCell == 8)
        c = gServices.pickRandomUpTo(5);
    else
        return;
    if (c != 0 || QueryCellBlocker(enemy->cellX, enemy->cellY) != 0) return;
    if (enemy->sightingDirection != DIR_NONE)
        StartShooting(enemy, true);
    else if (enemy->specialKind == 5 && gServices.pickRandomUpTo(4) == 0)  // drawn only here
        StartShooting(enemy, false);
}

// Bomb layers 10..14 and the block maker 15.
static void ChooseWork(GameObjectRecord *enemy)
{
    int c = gServices.pickRandomUpTo(20);
    if (enemy->timer != 0 || c != 0) return;
    enemy->moving = 0;
    enemy->behaviour = EnemyWorkState;
    if (enemy->specialKind <= 14) {
        enemy->stateFrames = WORK_STATE_BOMB_FRAMES;
        PlaceEnemyBomb(enemy, enemy->cellX, enemy->cellY, 90);
    } else {
        enemy->stateFrames = WORK_STATE_BLOCK_FRAMES;
        enemy->timer = 10;
        SpawnSoftBlock(enemy->cellX, enemy->cellY, 1, CONTENT_NOTHING, 0);
    }
}

void ChooseEnemyAction(GameObjectRecord *enemy, int found)
{
    // The warp draw happens only for enemies that warp.
    int r = enemy->warpCode > 0 ? gServices.pickRandomUpTo(40) : 1;
    if (r == 0) {
        if (enemy->timer != 0) return;
        enemy->moving = 0;
        if (gGame->timeLeft < WARP_TIME_GATE) {
            PlayEnemyVoice(2, enemy);
            enemy->behaviour = EnemyWarpState;
            enemy->stateFrames = WARP_STATE_FRAMES;
            enemy->timer = 10;
        }
        return;
    }
    int t = enemy->specialKind;
    if (t >= 0 && t <= 9) {
        ChooseShot(enemy);
    } else if (t >= 10 && t <= 15) {
        ChooseWork(enemy);
    } else if (t == 22 || t == 23) {
        // Drawn only for enemies that walk through blocks or have a player in sight.
        if (enemy->passKind != 1 && !found) return;
        int c = gServices.pickRandomUpTo(10);
        if (c == 0 && QueryCellBlocker(enemy->cellX, enemy->cellY) == 0)
            PlaceEnemyBomb(enemy, enemy->cellX, enemy->cellY, 90);
    }
}

void PlayEnemyVoice(int event, const GameObjectRecord *enemy)
{
    int voice = PickEnemyVoice(event, enemy->firstVoiceFlag, enemy->secondVoiceFlag, enemy->thirdVoiceFlag,
                               enemy->specialKind);
    if (voice >= 0) PlayVoiceIfEnabled(voice);
}
