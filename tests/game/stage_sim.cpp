// The headless stage simulator.
#include "tests/game/stage_sim.h"

#include <algorithm>
#include <cstring>

#include "game/assets.h"
#include "game/bombs.h"
#include "game/enemy_kinds.h"
#include "game/frame_loop.h"
#include "game/records.h"
#include "game/services.h"
#include "game/stage.h"
#include "game/stage_hooks.h"
#include "tests/game/game_fakes.h"

// ---- random numbers ------------------------------------------------------------------------------
static uint32_t g_randomState = 1;
static std::deque<int> g_scripted;
static int g_draws;

void SeedSimRandom(uint32_t seed)
{
    g_randomState = seed ? seed : 0x9E3779B9u;
    g_scripted.clear();
    g_draws = 0;
}

void ScriptRandom(std::initializer_list<int> values)
{
    g_scripted.insert(g_scripted.end(), values.begin(), values.end());
}

int CountSimDraws(void)
{
    return g_draws;
}

static int SimRandom(int max)
{
    g_draws++;
    if (!g_scripted.empty()) {
        int v = g_scripted.front();
        g_scripted.pop_front();
        return v > max ? max : v;
    }
    return MapDrawUpTo(NextXorshift32(&g_randomState), max);
}

static int NoDraw(void) { return 0; }

// ---- fixture -------------------------------------------------------------------------------------
void StageSimTest::SetUp()
{
    InstallFakeServices();
    CreateRecordsForTest();
    GameServices services = gServices;
    services.pickRandomUpTo = SimRandom;
    SetGameServices(&services);
    StageHooks hooks = {};
    hooks.drawGameFrame = NoDraw;
    SetStageHooks(&hooks);
    SeedSimRandom(12345);
    CreateObjectPool();
    gGame->soundEffectsOn = 1;
    gGame->inStage = 1;
}

void StageSimTest::TearDown()
{
    FreeObjectPool();
    RemoveFakeServices();
}

void StageSimTest::BuildArena(int mode)
{
    gGame->mode = mode;
    gGame->stage = 1;
    gGame->world = 0;
    gGame->stageInWorld = 1;
    gGame->frameCounter = 0;
    gGame->timeLeft = 200;
    gGame->enemiesLeft = gGame->coreMechsLeft = gGame->killMultiplier = 0;
    gGame->darkness = 0;
    for (int y = 0; y < FIELD_HEIGHT; y++) {
        for (int x = 0; x < FIELD_WIDTH; x++) {
            SpawnFloorTile(x, y, 2, 2);
            if (IsFixedBlockCell(x, y)) SpawnFixedBlock(x, y, 0);
        }
    }
    for (int i = 0; i < PLAYER_COUNT; i++) {
        gPlayers[i]->inPlay = i == 0;
        gPlayers[i]->lives = i == 0;
        GetPlayerStartCell(i + 1, &gPlayers[i]->cellX, &gPlayers[i]->cellY);
    }
    CreatePlayerObjects();
    gPlayers[0]->respawnCounter = 0;
    ClearSounds();
}

void StageSimTest::BuildStage(int stage, int mode)
{
    gGame->mode = mode;
    gGame->stage = stage;
    gGame->playersInPlay = 1;
    for (int i = 0; i < PLAYER_COUNT; i++) gPlayers[i]->inPlay = i == 0;
    gPlayers[0]->lives = 1;
    StartStage();
    BuildStageField();
    CreatePlayerObjects();
}

// ---- placement -----------------------------------------------------------------------------------
GameObjectRecord *StageSimTest::PutSoft(int x, int y, int content)
{
    return SpawnSoftBlock(x, y, 1, content, 1);
}

GameObjectRecord *StageSimTest::PutFixed(int x, int y)
{
    return SpawnFixedBlock(x, y, 0);
}

GameObjectRecord *StageSimTest::PutItem(int x, int y, int kind)
{
    return SpawnItem(x, y, kind);
}

GameObjectRecord *StageSimTest::PutGoal(int x, int y)
{
    return SpawnGoal(x, y);
}

GameObjectRecord *StageSimTest::PutEnemy(int x, int y, int kind, int protection)
{
    GameObjectRecord *e = SpawnEnemyOfKind(x, y, kind, protection);
    if (e) gGame->enemiesLeft++;
    return e;
}

GameObjectRecord *StageSimTest::LayBomb(int player, int x, int y)
{
    PlayerRecord *p = GetPlayer(player);
    if (p->bombsAvailable < 1) p->bombsAvailable = 1;
    PlaceBomb(p, x, y);
    for (GameObjectRecord *o = GetCellObjects(x, y); o; o = o->cellNext)
        if (IsObjectKind(o, KIND_BLOCK) && o->variant == BLOCK_BOMB) return o;
    return nullptr;
}

// ---- stepping ------------------------------------------------------------------------------------
::testing::AssertionResult PoolIsConsistent(void)
{
    char message[160];
    if (CheckObjectInvariants(message, sizeof(message)) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << message;
}

void StageSimTest::SetPads(int p1, int p2, int p3, int p4)
{
    // The turn does not read the pads (the frame loop does, before it): the bits stay as set.
    gPlayers[0]->padBits = p1;
    gPlayers[1]->padBits = p2;
    gPlayers[2]->padBits = p3;
    gPlayers[3]->padBits = p4;
}

void StageSimTest::Step(int n)
{
    for (int i = 0; i < n; i++) {
        RunStageTurn();
        ASSERT_TRUE(PoolIsConsistent()) << "after frame " << gGame->frameCounter;
    }
}

// ---- observers -----------------------------------------------------------------------------------
int StageSimTest::Count(const char *kind, int variant, bool activeOnly)
{
    int n = 0;
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        if (!IsObjectKind(o, kind) || (variant >= 0 && o->variant != variant) || (activeOnly && o->active != 1))
            continue;
        n++;
    }
    return n;
}

std::vector<GameObjectRecord *> StageSimTest::At(int x, int y, const char *kind, bool activeOnly)
{
    std::vector<GameObjectRecord *> found;
    for (GameObjectRecord *o = GetCellObjects(x, y); o; o = o->cellNext) {
        if ((kind && !IsObjectKind(o, kind)) || (activeOnly && o->active != 1)) continue;
        found.push_back(o);
    }
    return found;
}

GameObjectRecord *StageSimTest::First(int x, int y, const char *kind)
{
    std::vector<GameObjectRecord *> found = At(x, y, kind);
    return found.empty() ? nullptr : found.front();
}

std::vector<std::string> StageSimTest::FireCells(void)
{
    std::vector<std::string> cells;
    for (int y = 0; y < FIELD_HEIGHT; y++)
        for (int x = 0; x < FIELD_WIDTH; x++)
            if (First(x, y, KIND_FIRE)) cells.push_back(std::to_string(x) + "," + std::to_string(y));
    return cells;
}

// Sounds of one table: handles mapped back to indices.
static std::vector<int> SoundsOf(int first, int count)
{
    std::lock_guard<std::mutex> guard(gFake->soundLock);
    std::vector<int> out;
    for (int h : gFake->soundPlays)
        if (h >= first && h < first + count) out.push_back(h - first);
    return out;
}

std::vector<int> StageSimTest::Effects(void)
{
    return SoundsOf(FakeEffectHandle(0), GAME_EFFECT_COUNT);
}

std::vector<int> StageSimTest::Voices(void)
{
    return SoundsOf(FakeVoiceHandle(0), GAME_VOICE_COUNT);
}

void StageSimTest::ClearSounds(void)
{
    std::lock_guard<std::mutex> guard(gFake->soundLock);
    gFake->soundPlays.clear();
}

static void HashBytes(uint64_t *h, const void *data, size_t size)
{
    const uint8_t *p = (const uint8_t *)data;
    for (size_t i = 0; i < size; i++) {
        *h ^= p[i];
        *h *= 1099511628211ull;
    }
}

uint64_t StageSimTest::StateHash(void)
{
    uint64_t h = 1469598103934665603ull;
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        HashBytes(&h, o->kindName, sizeof(o->kindName));
        // every int from stateFrames to warpCode, no pointers
        HashBytes(&h, &o->stateFrames, (size_t)((const char *)&o->lostSightFlag - (const char *)&o->stateFrames));
    }
    int32_t counters[] = {gGame->enemiesLeft, gGame->coreMechsLeft, gGame->killMultiplier, gGame->frameCounter,
                          gGame->darkness};
    HashBytes(&h, counters, sizeof(counters));
    for (PlayerRecord *p : gPlayers) {
        int32_t values[] = {p->cellX, p->cellY, p->bombsAvailable, p->score, p->lives};
        HashBytes(&h, values, sizeof(values));
    }
    return h;
}
