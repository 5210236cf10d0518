// Bombs: laying, fuse, explosion, chain, remote detonation and the kicked slide.
#include "game/bombs.h"

#include <cstring>

#include "game/actor_hooks.h"
#include "game/assets.h"
#include "game/cells.h"
#include "game/fire.h"
#include "game/object_states.h"

// Effects of the bomb rules.
#define EFFECT_EXPLOSION 0
#define EFFECT_BOMB_CLICK 1                  // remote detonation, a slide stopping

// Range, fuse and looks of one laid bomb.
struct BombSpec {
    int range, fuse, pierce, danger, owner, sprite;
};

// A player's bomb by its type; the power bomb only with every bomb at home.
static BombSpec PlayerBombSpec(const PlayerRecord *player)
{
    BombSpec s = {player->fullFire ? BOMB_FULL_RANGE : player->fireRange, BOMB_FUSE, 0, 0, player->number, 4};
    switch (player->bombType) {
    case BOMB_REMOTE:
        s.fuse = BOMB_REMOTE_FUSE;
        s.sprite = 8;
        break;
    case BOMB_PIERCE:
        s.pierce = 1;
        s.sprite = 12;
        break;
    case BOMB_POWER:
        if (player->bombsAvailable == player->capacity) {
            s.range = BOMB_FULL_RANGE;
            s.pierce = 1;
            s.sprite = 16;
        }
        break;
    case BOMB_DANGER:
        s.danger = 1;
        s.sprite = 20;
        break;
    }
    return s;
}

// An enemy's bomb by its special kind; kinds 10..13 lose range and looks once their hit points are gone.
static BombSpec EnemyBombSpec(const GameObjectRecord *enemy)
{
    int kind = enemy->specialKind;
    bool alive = enemy->hitPoints > 0;
    if (kind == 10 && alive) return {4, 0, 0, 0, OWNER_ENEMY, 4};
    if (kind == 11 && alive) return {4, 0, 1, 0, OWNER_ENEMY, 12};
    if (kind == 12 && alive) return {12, 0, 1, 0, OWNER_ENEMY, 16};
    if (kind == 13 && alive) return {8, 0, 0, 1, OWNER_ENEMY, 20};
    if (kind == 22) return {1, 0, 0, 0, OWNER_ENEMY_KICKABLE, 4};
    if (kind == 23) return {2, 0, 0, 1, OWNER_ENEMY_KICKABLE, 20};
    return {0, 0, (kind == 11 || kind == 12) ? 1 : 0, 0, OWNER_ENEMY, 0};
}

// 1 while the bomb slides: neither at rest nor just stopped.
static bool IsBombSliding(const GameObjectRecord *bomb)
{
    return bomb->framesPerCell != BOMB_AT_REST && bomb->framesPerCell != BOMB_JUST_STOPPED;
}

void PlaceBomb(PlayerRecord *player, int x, int y)
{
    BombSpec s = PlayerBombSpec(player);
    GameObjectRecord *bomb = SpawnBomb(s.pierce, x, y, s.range, s.fuse, s.owner, s.danger, s.sprite);
    if (!bomb) return;  // full pool: no bomb, and the player keeps it
    RepelMoversFromBomb(bomb, 1);
    IgniteBombFromFire(bomb);
    StepBombAndFire(bomb);
    player->bombsAvailable--;
}

void PlaceEnemyBomb(GameObjectRecord *enemy, int x, int y, int fuse)
{
    BombSpec s = EnemyBombSpec(enemy);
    GameObjectRecord *bomb = SpawnBomb(s.pierce, x, y, s.range, fuse, s.owner, s.danger, s.sprite);
    if (!bomb) return;
    RepelMoversFromBomb(bomb, 1);
    // The layer touches its own bomb, so the repel turned it; this turns it back.
    enemy->dx = -enemy->dx;
    enemy->dy = -enemy->dy;
    enemy->stepFrames = 0;
    IgniteBombFromFire(bomb);
    StepBombAndFire(bomb);
}

void StepBomb(GameObjectRecord *bomb)
{
    if (!bomb->active) return;
    if (bomb->timer == 0) {
        PlayEffectIfEnabled(EFFECT_EXPLOSION);
        bomb->active = 0;
        if (PlayerRecord *player = GetPlayer(bomb->owner)) player->bombsAvailable++;  // null for enemies
        SpawnFire(bomb->cellX, bomb->cellY, bomb->passKind, DIR_NONE, bomb->hitPoints, CENTRE_FIRE_LIFE, bomb->owner,
                  bomb->specialKind);
    }
    bomb->timer--;  // a waiting remote bomb counts -1, -2, ...
}

void StepBombAndFire(GameObjectRecord *object)
{
    if (IsObjectKind(object, KIND_BLOCK)) {
        if (object->variant == BLOCK_BOMB) StepBomb(object);
    } else if (IsObjectKind(object, KIND_FIRE)) {
        StepFire(object);
    }
}

void BombMain(GameObjectRecord *bomb)
{
    if (IsBombSliding(bomb)) {
        StepSlidingBomb(bomb);
        StopBombAtPlayers(bomb);
        RepelMoversFromBomb(bomb, 2);
    }
    if (IsHitFrame()) IgniteBombFromFire(bomb);
    PlayerRecord *player = GetPlayer(bomb->owner);
    if (player && bomb->timer < 0 && player->bombType != BOMB_REMOTE) bomb->timer = BOMB_FUSE;
    StepBombAndFire(bomb);
    if (bomb->timer % 10 == 0) StepSpriteInGroup(bomb);
    if (!bomb->active) bomb->behaviour = RemoveBomb;
}

void CatchFire(GameObjectRecord *shot)
{
    shot->moving = 0;
    std::strcpy(shot->kindName, KIND_FIRE);
    shot->timer = CENTRE_FIRE_LIFE;
}

static void IgniteVisit(GameObjectRecord *o, void *context)
{
    GameObjectRecord *bomb = (GameObjectRecord *)context;
    if (!ObjectBoxHolds(o, bomb->centreX, bomb->centreY)) return;
    if (IsObjectKind(o, KIND_FIRE)) {
        bomb->timer = 0;
    } else if (IsObjectKind(o, KIND_SHOT) && o->specialKind == 1) {
        CatchFire(o);
        bomb->timer = 0;
    }
}

void IgniteBombFromFire(GameObjectRecord *bomb)
{
    VisitNeighbourObjects(bomb->cellX, bomb->cellY, IgniteVisit, bomb);
}

int DetonateRemoteBomb(PlayerRecord *player)
{
    if (!player->ownObject) return 0;
    for (GameObjectRecord *b = player->ownObject->ownBombNext; b; b = b->ownBombNext) {
        if (b->timer < 0) {
            b->timer = 0;
            PlayEffectIfEnabled(EFFECT_BOMB_CLICK);
            return 1;
        }
    }
    return 0;
}

int StopSlidingBomb(GameObjectRecord *bomb)
{
    if (!IsBombSliding(bomb)) return 0;
    // Back to the last whole cell: a bomb stopped in mid-step jumps back.
    SetObjectCell(bomb, bomb->cellX, bomb->cellY);
    bomb->framesPerCell = BOMB_JUST_STOPPED;
    bomb->moving = 0;
    bomb->stepFrames = 0;
    PlayEffectIfEnabled(EFFECT_BOMB_CLICK);
    UnlinkKickedChain(bomb);
    return 1;
}

int StopKickedBomb(PlayerRecord *player)
{
    if (!player->ownObject) return 0;
    for (GameObjectRecord *b = player->ownObject->kickedNext; b; b = b->kickedNext) {
        if (IsBombSliding(b)) return StopSlidingBomb(b);
    }
    return 0;
}

void StepSlidingBomb(GameObjectRecord *bomb)
{
    if (bomb->stepFrames == 0) {
        SetMoveDirection(bomb, bomb->facing);
        CheckBombSlideCell(bomb, bomb->cellX + bomb->dx, bomb->cellY + bomb->dy);
        bomb->stepFrames = 0;
    }
    if (bomb->moving) StepMoverPixels(bomb, 1);
    if (bomb->framesPerCell == BOMB_JUST_STOPPED) bomb->framesPerCell = BOMB_AT_REST;
}

void CheckBombSlideCell(GameObjectRecord *bomb, int x, int y)
{
    if (!IsFieldCell(x, y)) {
        StopSlidingBomb(bomb);  // the border is walls all round; never reached in play
        return;
    }
    int tx = bomb->cellX + bomb->dx, ty = bomb->cellY + bomb->dy;
    GameObjectRecord *o = GetCellObjects(x, y);
    while (o) {
        GameObjectRecord *next = o->cellNext;
        if (o->active == 1 && o->cellX == tx && o->cellY == ty &&
            (IsObjectKind(o, KIND_BLOCK) || IsObjectKind(o, KIND_ITEM) || IsObjectKind(o, KIND_SHOT) ||
             IsObjectKind(o, KIND_GOAL) || IsObjectKind(o, KIND_SWITCH)))
            StopSlidingBomb(bomb);
        o = next;
    }
}

// One corner of the mover's box in the bomb's box, bounds included.
static bool CornerInBox(const GameObjectRecord *mover, const GameObjectRecord *bomb)
{
    for (int c = 0; c < 4; c++) {
        int x = mover->left + (c & 1) * CELL_SIZE, y = mover->top + (c >> 1) * CELL_SIZE;
        if (bomb->left <= x && x <= bomb->left + CELL_SIZE && bomb->top <= y && y <= bomb->top + CELL_SIZE) return true;
    }
    return false;
}

struct RepelContext {
    GameObjectRecord *bomb;
    int mode;
};

static void RepelVisit(GameObjectRecord *o, void *context)
{
    RepelContext *c = (RepelContext *)context;
    if (o->active != 1) return;
    bool enemy = IsObjectKind(o, KIND_ENEMY), shot = IsObjectKind(o, KIND_SHOT);
    if (!enemy && !shot) return;
    if (!(o->left == c->bomb->left || o->top == c->bomb->top) || !CornerInBox(o, c->bomb)) return;
    if (enemy) {
        if (o->passKind == 2) return;  // a bomb eater walks on
        if (c->mode == 2) StopSlidingBomb(c->bomb);
        o->dx = -o->dx;
        o->dy = -o->dy;
        o->stepFrames = o->framesPerCell - o->stepFrames;  // back over the part already walked
    } else {
        if (o->specialKind == 1)
            CatchFire(o);
        else
            o->active = 0;
        o->moving = 0;
    }
}

void RepelMoversFromBomb(GameObjectRecord *bomb, int mode)
{
    RepelContext context = {bomb, mode};
    VisitNeighbourObjects(bomb->cellX, bomb->cellY, RepelVisit, &context);
}
