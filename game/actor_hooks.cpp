// Placeholders of the player and enemy logic the field rules call (see game/actor_hooks.h). Each is
// weak, so the real definition wins where it is linked; each keeps the records consistent and does the
// least that lets a stage run. Delete a placeholder here once its real function exists.
#include "game/actor_hooks.h"

#define PLACEHOLDER __attribute__((weak))

// ---- enemies -------------------------------------------------------------------------------------
// The kind table as the field build needs it: points, hp, mode, fpc, turn chance, special kind,
// pass kind, warp, drop, core flag, voice flags 1 2 3.
struct PlaceholderKindRow {
    int16_t points;
    int8_t hitPoints, moveMode, framesPerCell, turnChance, specialKind, passKind;
    int16_t warpCode;
    int8_t dropCode, coreFlag, voiceFlag1, voiceFlag2, voiceFlag3;
};
static const PlaceholderKindRow kPlaceholderKinds[ENEMY_KIND_COUNT] = {
    {200, 1, 1, 32, 0, 0, 0, 0, 0, 0, 1, 0, 0},      {300, 1, 3, 32, 20, 0, 0, 1, 0, 0, 0, 0, 1},
    {400, 2, 0, 32, 50, 0, 0, 0, 0, 0, 0, 0, 0},     {1600, 2, 3, 16, 20, 0, 1, 103, 1, 0, 0, 0, 0},
    {800, 3, 2, 32, 0, 0, 2, 0, 0, 0, 0, 0, 0},      {500, 2, 1, 32, 20, 1, 0, 0, 0, 0, 0, 0, 0},
    {1000, 2, 1, 32, 20, 2, 0, 0, 0, 0, 0, 0, 0},    {700, 1, 1, 32, 20, 0, 0, 0, 4, 0, 0, 0, 0},
    {200, 1, 3, 32, 50, 0, 1, 0, 0, 0, 0, 0, 0},     {200, 1, 3, 32, 50, 0, 1, 0, 6, 0, 0, 0, 0},
    {400, 1, 3, 32, 20, 10, 0, 0, 0, 0, 0, 0, 0},    {800, 1, 3, 32, 50, 11, 0, 0, 0, 0, 0, 0, 0},
    {200, 1, 3, 32, 50, 15, 0, 0, 0, 0, 0, 0, 0},    {100, 1, 3, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {3200, 5, 3, 16, 0, 0, 0, 0, 1, 0, 0, 0, 0},     {500, 2, 1, 16, 0, 0, 0, 0, 0, 0, 1, 0, 0},
    {300, 2, 3, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0},      {400, 1, 4, 16, 10, 22, 1, 0, 0, 0, 0, 1, 0},
    {300, 1, 1, 32, 0, 1, 0, 0, 0, 0, 0, 0, 0},      {3200, 3, 1, 32, 20, 3, 1, 0, 1, 0, 0, 0, 0},
    {100, 1, 3, 32, 0, 0, 0, 0, 1, 0, 0, 0, 0},      {10000, 10, 1, 16, 20, 4, 1, 0, 5, 1, 0, 0, 0},
    {1000, 1, 1, 32, 20, 12, 0, 0, 0, 0, 0, 0, 0},   {2000, 1, 3, 16, 20, 13, 0, 0, 0, 0, 0, 0, 0},
    {200, 1, 3, 32, 10, 0, 0, 0, 2, 0, 0, 0, 0},     {500, 1, 0, 32, 20, 0, 0, 102, 3, 0, 0, 0, 0},
    {800, 2, 4, 16, 10, 23, 1, 0, 0, 0, 0, 1, 0},    {1600, 2, 3, 16, 10, 0, 0, 1, 0, 0, 0, 0, 1},
    {3200, 4, 1, 16, 20, 5, 0, 103, 1, 0, 0, 0, 0},  {1600, 4, 2, 16, 0, 0, 2, 1, 1, 0, 0, 0, 0},
    {1000, 4, 3, 8, 100, 23, 1, 0, 1, 0, 0, 0, 0},   {500, 4, 3, 32, 50, 0, 0, 0, 1, 0, 0, 0, 0},
};

PLACEHOLDER GameObjectRecord *SpawnEnemyOfKind(int x, int y, int kind, int protection)
{
    if (kind < 0 || kind >= ENEMY_KIND_COUNT) return nullptr;
    const PlaceholderKindRow &k = kPlaceholderKinds[kind];
    GameObjectRecord *enemy =
        SpawnEnemyObject(k.passKind, kind, x, y, k.framesPerCell, k.hitPoints, k.moveMode, protection, k.points,
                         k.turnChance, k.specialKind, k.warpCode, k.dropCode, k.coreFlag, (uint8_t)k.voiceFlag1,
                         (uint8_t)k.voiceFlag3, (uint8_t)k.voiceFlag2, kind * ENEMY_SPRITES_PER_KIND);
    if (enemy && kind == ENEMY_CORE_MECH_KIND) gGame->coreMechsLeft++;
    return enemy;
}

PLACEHOLDER GameObjectRecord *SpawnEnemyShot(GameObjectRecord *enemy, int x, int y)
{
    return nullptr;
}

PLACEHOLDER void SpawnRandomEnemy(int mode, GameObjectRecord *object) {}

PLACEHOLDER void ReleaseBlockDrop(int mode, GameObjectRecord *block) {}

PLACEHOLDER void ReleaseEnemyDrop(int code, GameObjectRecord *enemy) {}

PLACEHOLDER void ChooseEnemyDirection(GameObjectRecord *object)
{
    object->chosenDirection = DIR_NONE;
}

// ---- players -------------------------------------------------------------------------------------
PLACEHOLDER void AddPlayerScore(int player, int points)
{
    if (PlayerRecord *record = GetPlayer(player)) record->score += points;
}

PLACEHOLDER void StopBombAtPlayers(GameObjectRecord *bomb) {}
