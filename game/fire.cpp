// Fire spread and the hit rules.
#include "game/fire.h"

#include "game/actor_hooks.h"
#include "game/assets.h"
#include "game/bombs.h"
#include "game/object_states.h"

#define EFFECT_SWITCH 14

// Burns one frame of life; out at 0.
static void BurnFire(GameObjectRecord *fire)
{
    fire->timer--;
    if (fire->timer == 0) fire->active = 0;
}

void StepFire(GameObjectRecord *fire)
{
    if (!fire->active) return;
    if (fire->hitPoints < 1) {
        BurnFire(fire);
        return;
    }
    // First main frame: spread.
    if (fire->specialKind == 1)
        SpawnFire(fire->cellX, fire->cellY, 0, DIR_NONE, 1, FIRE_LIFE, fire->owner, 0);
    for (int d = 0; d < 4; d++) {  // by DIR_*: down, up, left, right
        if (fire->variant != d && fire->variant != DIR_NONE) continue;
        fire->dropCode = kDirStepX[d];  // probe dx
        fire->coreFlag = kDirStepY[d];  // probe dy
        int x = fire->cellX + fire->dropCode, y = fire->cellY + fire->coreFlag;
        int r = ProbeFireCell(fire, x, y);
        if (r == FIRE_PLACE_AND_STOP)
            SpawnFire(x, y, fire->passKind, d, 0, FIRE_LIFE, fire->owner, fire->specialKind);
        else if (r == FIRE_GO_ON)
            SpawnFire(x, y, fire->passKind, d, fire->hitPoints - 1, FIRE_LIFE, fire->owner, fire->specialKind);
    }
    fire->hitPoints = 0;
    BurnFire(fire);
}

int ProbeFireCell(GameObjectRecord *fire, int x, int y)
{
    if (!IsFieldCell(x, y)) return FIRE_BLOCKED;
    int r = FIRE_GO_ON;
    int tx = fire->cellX + fire->dropCode, ty = fire->cellY + fire->coreFlag;
    for (GameObjectRecord *o = GetCellObjects(x, y); o; o = o->cellNext) {
        if (o->active != 1 || o->cellX != tx || o->cellY != ty) continue;
        // A later member of the bucket overrides an earlier one's answer.
        if (IsObjectKind(o, KIND_BLOCK))
            r = o->variant == BLOCK_FIXED ? FIRE_BLOCKED : FIRE_PLACE_AND_STOP;
        else if (IsObjectKind(o, KIND_ITEM))
            r = FIRE_PLACE_AND_STOP;
    }
    if (fire->passKind && r == FIRE_PLACE_AND_STOP) return FIRE_GO_ON;
    return r;
}

// ---- hits ----------------------------------------------------------------------------------------
static bool IsSoftBlock(const GameObjectRecord *o)
{
    return IsObjectKind(o, KIND_BLOCK) && o->variant == BLOCK_SOFT;
}

static bool IsBomb(const GameObjectRecord *o)
{
    return IsObjectKind(o, KIND_BLOCK) && o->variant == BLOCK_BOMB;
}

// A light switch under fire: flips the darkness once, then rests 80 frames.
static void ToggleSwitch(GameObjectRecord *s)
{
    if (s->timer != 0) return;
    PlayEffectIfEnabled(EFFECT_SWITCH);
    s->timer = HIT_TIMER_SWITCH;
    gGame->darkness = gGame->darkness ? 0 : 1;
}

// An enemy made by a hit in S's cell; counted only when it was made.
static void SpawnHitEnemy(const GameObjectRecord *s, int kind, int points, int turnChance, int specialKind)
{
    GameObjectRecord *e = SpawnEnemyObject(0, kind, s->cellX, s->cellY, 32, 1, 3, HIT_SPAWN_PROTECTION, points,
                                           turnChance, specialKind, 0, 0, 0, 0, 0, 0, kind * 20);
    if (e) gGame->enemiesLeft++;
}

// Rule 1: O is a fire.
static void FireHits(GameObjectRecord *s, GameObjectRecord *o)
{
    bool enemy = IsObjectKind(s, KIND_ENEMY);
    if (IsObjectKind(s, KIND_ITEM) || enemy || IsObjectKind(s, KIND_GOAL) || IsSoftBlock(s)) {
        if (s->timer > 0) {
            s->stateFrames = 0;  // ends an enemy's timed state
            return;
        }
        if (enemy && s->specialKind == 4) SpawnHitEnemy(s, 10, 400, 20, 10);
        if (enemy && s->specialKind >= 10 && s->specialKind <= 14 && s->stateFrames == 0)
            PlaceEnemyBomb(s, s->cellX, s->cellY, 0);
        s->hitPoints--;
        s->owner = o->owner;
        s->timer = HIT_TIMER_FATAL;
        if (IsObjectKind(s, KIND_BLOCK)) o->spriteFrame = 0;
        if (s->hitPoints > 0)
            s->timer = HIT_TIMER_FIRE;
        else if (enemy && IsPlayerOwner(o->owner))
            gGame->killMultiplier++;
    } else if (IsObjectKind(s, KIND_SWITCH)) {
        ToggleSwitch(s);
    } else if (IsBomb(s)) {
        s->timer = 0;
    }
}

// Rule 2: O is a fire shot; it burns blocks, items and the goal, not enemies.
static void FireShotHits(GameObjectRecord *s, GameObjectRecord *o)
{
    if (IsObjectKind(s, KIND_ITEM) || IsObjectKind(s, KIND_GOAL) || IsSoftBlock(s)) {
        CatchFire(o);
        if (s->timer > 0) return;
        s->hitPoints--;
        s->owner = o->owner;
        s->timer = HIT_TIMER_FATAL;
        if (s->hitPoints > 0) s->timer = HIT_TIMER_FIRE_SHOT;
    } else if (IsObjectKind(s, KIND_SWITCH)) {
        ToggleSwitch(s);
    } else if (IsBomb(s)) {
        s->timer = 0;
        CatchFire(o);
    }
}

// Rule 3: a block shot breaks a soft block into an enemy.
static void BlockShotHits(GameObjectRecord *s, GameObjectRecord *o)
{
    if (!IsSoftBlock(s) || s->active != 1) return;
    s->hitPoints--;
    s->timer = HIT_TIMER_FATAL;
    o->moving = 0;
    o->active = 0;
    SpawnHitEnemy(s, 12, 200, 50, 15);
}

static void HitVisit(GameObjectRecord *o, void *context)
{
    GameObjectRecord *s = (GameObjectRecord *)context;
    if (!ObjectBoxHolds(o, s->centreX, s->centreY)) return;
    if (IsObjectKind(o, KIND_FIRE))
        FireHits(s, o);
    else if (IsObjectKind(o, KIND_SHOT) && o->specialKind == 1)
        FireShotHits(s, o);
    else if (IsObjectKind(o, KIND_SHOT) && o->specialKind == 2)
        BlockShotHits(s, o);
    // Rule 4: a bomb eater eats the bombs of owners other than 0.
    if (IsBomb(o) && o->active == 1 && o->owner != OWNER_ENEMY && IsObjectKind(s, KIND_ENEMY) && s->passKind == 2) {
        o->active = 0;
        if (PlayerRecord *player = GetPlayer(o->owner)) player->bombsAvailable++;  // null for enemy owners
    }
}

void ApplyObjectHits(GameObjectRecord *s)
{
    if (s->cellX <= 0 || s->cellX >= FIELD_WIDTH - 1 || s->cellY <= 0 || s->cellY >= FIELD_HEIGHT - 1) return;
    VisitNeighbourObjects(s->cellX, s->cellY, HitVisit, s);
}
