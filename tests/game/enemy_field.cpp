// The enemy tests' field: fake services, the real pool and spawners, a scripted-then-seeded generator.
#include "tests/game/enemy_field.h"

#include <cstring>

#include "game/enemy_kinds.h"
#include "game/path_search.h"
#include "game/records.h"
#include "game/stage.h"
#include "game/services.h"
#include "game/stage_hooks.h"

EnemyRandom *gEnemyRandom = nullptr;

// The game's mapping of a 32-bit draw onto 0..max: the high half of draw * (max + 1).
static int EnemyPickRandomUpTo(int max)
{
    EnemyRandom *r = gEnemyRandom;
    r->asked.push_back(max);
    if (!r->script.empty()) {
        int v = r->script.front();
        r->script.pop_front();
        return v < 0 ? 0 : v > max ? max : v;
    }
    return MapDrawUpTo(NextXorshift32(&r->state), max);
}

void InstallEnemyRandom(uint32_t seed)
{
    if (seed) gEnemyRandom->state = seed;
    gServices.pickRandomUpTo = EnemyPickRandomUpTo;
}

void EnemyFieldTest::SetUp()
{
    GameTest::SetUp();
    gEnemyRandom = &random;
    InstallEnemyRandom(0);
    CreateObjectPool();
    ClearCellHashTable();
    CreateEnemyGrid();
    gGame->mode = GAME_MODE_NORMAL;
    gGame->soundEffectsOn = 1;
    PlacePlayer(1, 1, 1);
    for (int n = 2; n <= PLAYER_COUNT; n++) PlacePlayer(n, 1000, 1000);
}

void EnemyFieldTest::TearDown()
{
    ClearAllObjects();
    FreeEnemyGrid();
    FreeObjectPool();
    gEnemyRandom = nullptr;
    GameTest::TearDown();
}

void EnemyFieldTest::BuildWalls(bool pillars)
{
    SpawnTestWalls(pillars);
}

GameObjectRecord *EnemyFieldTest::PutFixed(int x, int y) { return SpawnFixedBlock(x, y, 0); }
GameObjectRecord *EnemyFieldTest::PutSoft(int x, int y, int content) { return SpawnSoftBlock(x, y, 1, content, 0); }

GameObjectRecord *EnemyFieldTest::PutBomb(int x, int y, int owner)
{
    return SpawnBomb(0, x, y, 2, 150, owner, 0, 4);
}

GameObjectRecord *EnemyFieldTest::PutEnemy(int x, int y, int kind) { return SpawnEnemyOfKind(x, y, kind, 0); }

void EnemyFieldTest::PlacePlayer(int number, int x, int y)
{
    PutPlayerOnCell(number, x, y);
}

void PutPlayerOnCell(int number, int x, int y)
{
    PlayerRecord *p = GetPlayer(number);
    p->cellX = x;
    p->cellY = y;
    PlacePlayerOnCell(p);
}

GameObjectRecord *EnemyFieldTest::FirstAt(int x, int y, const char *kind)
{
    for (GameObjectRecord *m = GetCellObjects(x, y); m; m = m->cellNext)
        if (m->active == 1 && m->cellX == x && m->cellY == y && IsObjectKind(m, kind)) return m;
    return nullptr;
}

int EnemyFieldTest::CountAt(int x, int y, const char *kind)
{
    int n = 0;
    for (GameObjectRecord *m = GetCellObjects(x, y); m; m = m->cellNext)
        n += m->active == 1 && m->cellX == x && m->cellY == y && IsObjectKind(m, kind);
    return n;
}

int EnemyFieldTest::Count(const char *kind)
{
    int n = 0;
    for (GameObjectRecord *o = GetFirstActiveObject(); o && !IsActiveListEnd(o); o = o->next)
        n += o->active == 1 && IsObjectKind(o, kind);
    return n;
}

int EnemyFieldTest::Effects(int n) { return CountSoundPlays(FakeEffectHandle(n)); }
int EnemyFieldTest::Voices(int n) { return CountSoundPlays(FakeVoiceHandle(n)); }

void EnemyStageSimTest::SetUp()
{
    StageSimTest::SetUp();
    CreateEnemyGrid();
}

void EnemyStageSimTest::TearDown()
{
    FreeEnemyGrid();
    StageSimTest::TearDown();
}
