// The player tests' small stage.
#include "tests/game/player_arena.h"

#include <cstring>
#include <random>

#include "game/frame_loop.h"
#include "game/services.h"
#include "game/stage_hooks.h"

static std::mt19937 g_random;

static int SeededRandomUpTo(int max)
{
    if (max <= 0) return 0;
    return (int)(((uint64_t)g_random() * (uint64_t)(max + 1)) >> 32);
}

void SeedPlayerTestRandom(uint32_t seed) { g_random.seed(seed); }

static int NoDraw(void) { return 0; }

void PlayerArenaTest::SetUp()
{
    GameTest::SetUp();
    SeedPlayerTestRandom(12345);
    gServices.pickRandomUpTo = SeededRandomUpTo;
    StageHooks hooks = {};
    hooks.drawGameFrame = NoDraw;
    SetStageHooks(&hooks);
    ClearCellHashTable();
    CreateObjectPool();
    BuildWalls();
    gGame->mode = GAME_MODE_NORMAL;
    gGame->inStage = 1;
    gGame->timeLeft = STAGE_TIME_SECONDS;
    gGame->stage = 1;
    gGame->progress = 1;
    gGame->credits = 0;
    gGame->frameCounter = 1;  // away from the every-8th-frame hits unless a test wants them
    gGame->soundEffectsOn = 1;
    ResetPlayersForMode(2);
    for (PlayerRecord *p : gPlayers) {
        p->inPlay = 0;
        p->lives = 0;
        p->respawnCounter = 0;
        p->cellX = p->cellY = 1000;
        p->pixelX = p->pixelY = 32000;
        p->centreX = p->centreY = 32016;
        p->facing = DIR_UP;
        std::memset(p->latches, 0, sizeof p->latches);
    }
    gGame->playersInPlay = 0;
    ClearSounds();
}

void PlayerArenaTest::BuildWalls(void)
{
    ClearAllObjects();
    SpawnTestWalls(true);
}

void PlayerArenaTest::TearDown()
{
    ClearAllObjects();
    FreeObjectPool();
    GameTest::TearDown();
}

void PlayerArenaTest::PutAt(PlayerRecord *p, int x, int y)
{
    p->pixelX = x;
    p->pixelY = y;
    p->centreX = x + CELL_SIZE / 2;
    p->centreY = y + CELL_SIZE / 2;
    p->cellX = p->centreX / CELL_SIZE;
    p->cellY = p->centreY / CELL_SIZE;
}

PlayerRecord *PlayerArenaTest::Join(int n, int x, int y)
{
    PlayerRecord *p = GetPlayer(n);
    if (!p->ownObject) SpawnPlayerObject(p);
    if (!p->inPlay) gGame->playersInPlay++;
    p->inPlay = 1;
    p->lives = 1;
    p->respawnCounter = 0;
    PutAt(p, x * CELL_SIZE, y * CELL_SIZE);
    return p;
}

void PlayerArenaTest::Hold(int n, int bits) { gFake->pads[n - 1] = bits; }

void PlayerArenaTest::Step(int turns)
{
    for (int i = 0; i < turns && gGame->inStage == 1; i++) {
        ReadAllPads();
        RunStageTurn();
        turns_++;
        char message[256] = "";
        ASSERT_EQ(CheckObjectInvariants(message, sizeof message), 0) << "turn " << turns_ << ": " << message;
    }
}

GameObjectRecord *PlayerArenaTest::Find(const char *kind, int x, int y, int variant)
{
    for (GameObjectRecord *o = GetCellObjects(x, y); o; o = o->cellNext) {
        if (o->active && IsObjectKind(o, kind) && (variant < 0 || o->variant == variant)) return o;
    }
    return nullptr;
}

int PlayerArenaTest::Count(const char *kind, int variant)
{
    int n = 0;
    for (GameObjectRecord *o = GetFirstActiveObject(); o && !IsActiveListEnd(o); o = o->next) {
        if (o->active && IsObjectKind(o, kind) && (variant < 0 || o->variant == variant)) n++;
    }
    return n;
}

int PlayerArenaTest::Effects(int n) { return CountSoundPlays(FakeEffectHandle(n)); }
int PlayerArenaTest::Voices(int n) { return CountSoundPlays(FakeVoiceHandle(n)); }

void PlayerArenaTest::ClearSounds(void)
{
    std::lock_guard<std::mutex> guard(gFake->soundLock);
    gFake->soundPlays.clear();
}

std::vector<int> PlayerArenaTest::Sounds(void)
{
    std::lock_guard<std::mutex> guard(gFake->soundLock);
    return gFake->soundPlays;
}
