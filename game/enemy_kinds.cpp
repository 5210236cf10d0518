// The enemy kind table, the shots, random enemies and the drops. The random draws happen in exactly
// the order written here (a seed reproduces a game), and every count follows a successful spawn only.
#include "game/enemy_kinds.h"

#include "game/assets.h"
#include "game/cells.h"
#include "game/object_states.h"
#include "game/objects.h"
#include "game/records.h"
#include "game/services.h"

// Sounds of the releases.
#define EFFECT_ENEMY_RELEASE 5               // "wav\\animal02.wav"
#define EFFECT_BLOCK_SURPRISE 8              // a core mech gone with more left
#define EFFECT_LAST_CORE_MECH 9
#define VOICE_BONUS 0                        // an item from a drop block
#define VOICE_SURPRISE 18                    // enemies from a block

// ---- the kinds -----------------------------------------------------------------------------------
static const EnemyKindRecord kEnemyKinds[ENEMY_KIND_COUNT] = {
    // points  hp mode fpc turn special pass warp drop  voice 1 2 3
    {200, 1, 1, 32, 0, 0, 0, 0, 0, 1, 0, 0},        // 0
    {300, 1, 3, 32, 20, 0, 0, 1, 0, 0, 0, 1},       // 1
    {400, 2, 0, 32, 50, 0, 0, 0, 0, 0, 0, 0},       // 2
    {1600, 2, 3, 16, 20, 0, 1, 103, 1, 0, 0, 0},    // 3
    {800, 3, 2, 32, 0, 0, 2, 0, 0, 0, 0, 0},        // 4
    {500, 2, 1, 32, 20, 1, 0, 0, 0, 0, 0, 0},       // 5
    {1000, 2, 1, 32, 20, 2, 0, 0, 0, 0, 0, 0},      // 6
    {700, 1, 1, 32, 20, 0, 0, 0, 4, 0, 0, 0},       // 7
    {200, 1, 3, 32, 50, 0, 1, 0, 0, 0, 0, 0},       // 8
    {200, 1, 3, 32, 50, 0, 1, 0, 6, 0, 0, 0},       // 9
    {400, 1, 3, 32, 20, 10, 0, 0, 0, 0, 0, 0},      // 10
    {800, 1, 3, 32, 50, 11, 0, 0, 0, 0, 0, 0},      // 11
    {200, 1, 3, 32, 50, 15, 0, 0, 0, 0, 0, 0},      // 12
    {100, 1, 3, 32, 0, 0, 0, 0, 0, 0, 0, 0},        // 13
    {3200, 5, 3, 16, 0, 0, 0, 0, 1, 0, 0, 0},       // 14
    {500, 2, 1, 16, 0, 0, 0, 0, 0, 1, 0, 0},        // 15
    {300, 2, 3, 32, 0, 0, 0, 0, 0, 0, 0, 0},        // 16
    {400, 1, 4, 16, 10, 22, 1, 0, 0, 0, 1, 0},      // 17
    {300, 1, 1, 32, 0, 1, 0, 0, 0, 0, 0, 0},        // 18
    {3200, 3, 1, 32, 20, 3, 1, 0, 1, 0, 0, 0},      // 19
    {100, 1, 3, 32, 0, 0, 0, 0, 1, 0, 0, 0},        // 20
    {10000, 10, 1, 16, 20, 4, 1, 0, 5, 0, 0, 0},    // 21 the core mech
    {1000, 1, 1, 32, 20, 12, 0, 0, 0, 0, 0, 0},     // 22
    {2000, 1, 3, 16, 20, 13, 0, 0, 0, 0, 0, 0},     // 23
    {200, 1, 3, 32, 10, 0, 0, 0, 2, 0, 0, 0},       // 24
    {500, 1, 0, 32, 20, 0, 0, 102, 3, 0, 0, 0},     // 25
    {800, 2, 4, 16, 10, 23, 1, 0, 0, 0, 1, 0},      // 26
    {1600, 2, 3, 16, 10, 0, 0, 1, 0, 0, 0, 1},      // 27
    {3200, 4, 1, 16, 20, 5, 0, 103, 1, 0, 0, 0},    // 28
    {1600, 4, 2, 16, 0, 0, 2, 1, 1, 0, 0, 0},       // 29
    {1000, 4, 3, 8, 100, 23, 1, 0, 1, 0, 0, 0},     // 30
    {500, 4, 3, 32, 50, 0, 0, 0, 1, 0, 0, 0},       // 31
};

const EnemyKindRecord *GetEnemyKind(int kind)
{
    if (kind < 0 || kind >= ENEMY_KIND_COUNT) return nullptr;
    return &kEnemyKinds[kind];
}

GameObjectRecord *SpawnEnemyOfKind(int x, int y, int kind, int protection)
{
    const EnemyKindRecord *k = GetEnemyKind(kind);
    if (!k || !IsFieldCell(x, y)) return nullptr;
    int coreFlag = kind == ENEMY_CORE_MECH_KIND;
    GameObjectRecord *enemy = SpawnEnemyObject(k->passKind, kind, x, y, k->framesPerCell, k->hitPoints, k->moveMode,
                                               protection, k->points, k->turnChance, k->specialKind, k->warpCode,
                                               k->dropCode, coreFlag, k->firstVoiceFlag, k->thirdVoiceFlag,
                                               k->secondVoiceFlag, kind * ENEMY_SPRITES_PER_KIND);
    if (enemy && coreFlag) gGame->coreMechsLeft++;
    return enemy;
}

// ---- shots ---------------------------------------------------------------------------------------
// One shot kind's look and behaviour.
struct ShotKindRecord {
    int32_t variant;                         // look and behaviour class
    int32_t type;                            // 0 plain, 1 fire shot, 2 block shot, 3 homing
    int32_t spriteFrame;                     // frame in the shot sheet
};
static const ShotKindRecord kShotKinds[6] = {
    {0, 0, 0},                               // 0: no shot
    {1, 0, 1}, {2, 1, 2}, {3, 2, 0}, {3, 2, 0}, {4, 3, 3},
};
#define SHOT_FRAMES_PER_CELL 8
#define SHOT_MOVE_MODE 1

// The direction a new shot flies: kind 4 bursts one shot per direction on state frames 3..0; kind 5
// falls back to the facing when no player is sighted.
static int ShotDirection(const GameObjectRecord *enemy)
{
    if (enemy->specialKind == 4) return enemy->stateFrames;
    if (enemy->specialKind == 5 && enemy->sightingDirection == DIR_NONE) return enemy->facing;
    return enemy->sightingDirection;
}

GameObjectRecord *SpawnEnemyShot(GameObjectRecord *enemy, int x, int y)
{
    if (!enemy || enemy->specialKind < 1 || enemy->specialKind > 5) return nullptr;
    const ShotKindRecord &s = kShotKinds[enemy->specialKind];
    // Shots never time out (timer 0).
    return SpawnShot(0, s.variant, x, y, SHOT_FRAMES_PER_CELL, 0, SHOT_MOVE_MODE, 0, 0, ShotDirection(enemy), s.type,
                     s.spriteFrame);
}

// ---- random enemies ------------------------------------------------------------------------------
static int Draw(int max)
{
    return gServices.pickRandomUpTo(max);
}

static int IsOneOf(int k, const int *set, int count)
{
    for (int i = 0; i < count; i++)
        if (set[i] == k) return 1;
    return 0;
}

// Spawns one enemy in play and counts it.
static void ReleaseEnemy(int x, int y, int kind)
{
    if (SpawnEnemyOfKind(x, y, kind, ENEMY_SPAWN_PROTECTION)) gGame->enemiesLeft++;
}

// Enemies left may have gone below 0; a release starts the count again from 0.
static void ClampEnemiesLeft(void)
{
    if (gGame->enemiesLeft < 0) gGame->enemiesLeft = 0;
}

// The goal's enemy: the early stages get only the weaker kinds.
static int DrawGoalEnemyKind(void)
{
    static const int kNever[] = {21, 28, 29, 30};
    static const int kAfter5[] = {4, 5, 7, 10, 12, 15, 18};
    static const int kAfter10[] = {2, 9, 11, 17, 19, 22};
    static const int kAfter15[] = {1, 3, 6, 14, 23, 25, 26, 27};
    int k = Draw(31);
    int stage = gGame->stage;
    if (IsOneOf(k, kNever, 4)) k = 13;
    if (stage <= 5 && IsOneOf(k, kAfter5, 7)) k = 13;
    if (stage <= 10 && IsOneOf(k, kAfter10, 6)) k = 16;
    if (stage <= 15 && IsOneOf(k, kAfter15, 8)) k = 0;
    return k;
}

// A soft block's enemy: never 0, 13, 16 or 21. -1 when the bounded redraw never found one.
static int DrawBlockEnemyKind(void)
{
    static const int kRejected[] = {0, 13, 16, 21};
    for (int i = 0; i < ENEMY_REDRAW_LIMIT; i++) {
        int k = Draw(31);
        if (!IsOneOf(k, kRejected, 4)) return k;
    }
    return -1;
}

void ReleaseFourEnemies(int x, int y)
{
    ClampEnemiesLeft();
    for (int i = 0; i < 4; i++) ReleaseEnemy(x, y, 3);
}

void SpawnRandomEnemy(int mode, GameObjectRecord *object)
{
    if (!object) return;
    PlayEffectIfEnabled(EFFECT_ENEMY_RELEASE);
    ClampEnemiesLeft();
    int x = object->cellX, y = object->cellY;
    switch (mode) {
    case 0: ReleaseEnemy(x, y, DrawGoalEnemyKind()); break;
    case 1: {
        PlayVoiceIfEnabled(VOICE_SURPRISE);
        int k = DrawBlockEnemyKind();
        if (k >= 0) ReleaseEnemy(x, y, k);
        break;
    }
    case 2: ReleaseFourEnemies(x, y); break;
    }
}

// ---- drops ---------------------------------------------------------------------------------------
void ReleaseBlockDrop(int mode, GameObjectRecord *block)
{
    static const int kModestItems[] = {2, 3, 14, 15, 16, 20, 21};
    if (!block) return;
    int x = block->cellX, y = block->cellY;
    int k;
    switch (mode) {
    case 0:
        PlayVoiceIfEnabled(VOICE_BONUS);
        k = Draw(6);
        if (k == 2) k = 0;
        if (k == 3) k = 1;
        SpawnItem(x, y, k);
        break;
    case 1:
        PlayVoiceIfEnabled(VOICE_BONUS);
        SpawnItem(x, y, 7 + Draw(15));
        break;
    case 2:
        PlayVoiceIfEnabled(VOICE_BONUS);
        k = Draw(22);
        if (IsOneOf(k, kModestItems, 7)) k = Draw(1);
        SpawnItem(x, y, k);
        break;
    case 3:
        PlayVoiceIfEnabled(VOICE_SURPRISE);
        PlayEffectIfEnabled(EFFECT_ENEMY_RELEASE);
        ReleaseFourEnemies(x, y);
        break;
    }
}

// The first cell of own, below, above, right, left that holds no block, item or goal. 0 with the
// cell, -1 when all five are taken.
static int FindDropCell(const GameObjectRecord *enemy, int *x, int *y)
{
    static const int kDx[5] = {0, 0, 0, 1, -1};
    static const int kDy[5] = {0, 1, -1, 0, 0};
    for (int i = 0; i < 5; i++) {
        int cx = enemy->cellX + kDx[i], cy = enemy->cellY + kDy[i];
        if (!IsCellBlockedForDrop(cx, cy)) {  // outside the field counts as blocked
            *x = cx;
            *y = cy;
            return 0;
        }
    }
    return -1;
}

void CountCoreMechDown(void)
{
    gGame->coreMechsLeft--;
    PlayEffectIfEnabled(gGame->coreMechsLeft <= 0 ? EFFECT_LAST_CORE_MECH : EFFECT_BLOCK_SURPRISE);
}

void ReleaseEnemyDrop(int code, GameObjectRecord *enemy)
{
    if (!enemy) return;
    if (code == 5) {
        // On its own cell, with no free-cell search.
        ReleaseEnemy(enemy->cellX, enemy->cellY, 8);
        ReleaseEnemy(enemy->cellX, enemy->cellY, 8);
        return;
    }
    if (code < 0 || code > 4) return;
    int x = 0, y = 0;
    if (FindDropCell(enemy, &x, &y) < 0) {
        if (code == 4) CountCoreMechDown();  // destroyed at once, as the block's breaking would
        return;
    }
    // The item draws come only once the cell is chosen.
    switch (code) {
    case 0: SpawnItem(x, y, Draw(22)); break;
    case 1: SpawnItem(x, y, 14 + Draw(2)); break;
    case 2: SpawnItem(x, y, 20 + Draw(1)); break;
    case 3: SpawnSoftBlock(x, y, 1, CONTENT_ENEMY, 0); break;
    case 4:
        if (!SpawnSoftBlock(x, y, 1, CONTENT_CORE_MECH, 0)) CountCoreMechDown();
        break;
    }
}
