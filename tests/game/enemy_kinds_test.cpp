// The enemy kind table through spawned enemies, the shot table, random enemies with their remaps and
// rejections, the block drops and the enemy drops with their candidate cells, and full-pool spawns.
#include <gtest/gtest.h>

#include <set>

#include "game/enemy_kinds.h"
#include "game/records.h"
#include "tests/game/enemy_field.h"

namespace {

class EnemyKindsTest : public EnemyFieldTest {
protected:
    void Script(std::initializer_list<int> values) { random.script.insert(random.script.end(), values); }
    // Kinds of the active enemies on a cell.
    std::multiset<int> KindsAt(int x, int y)
    {
        std::multiset<int> kinds;
        for (GameObjectRecord *m = GetCellObjects(x, y); m; m = m->cellNext)
            if (m->active == 1 && IsObjectKind(m, KIND_ENEMY)) kinds.insert(m->variant);
        return kinds;
    }
    // The goal's enemy for one scripted draw at a stage; -1 when nothing came.
    int GoalEnemyFor(int stage, int draw)
    {
        ClearAllObjects();
        gGame->stage = stage;
        GameObjectRecord *goal = SpawnGoal(5, 5);
        Script({draw});
        SpawnRandomEnemy(0, goal);
        std::multiset<int> kinds = KindsAt(5, 5);
        return kinds.empty() ? -1 : *kinds.begin();
    }
};

// ---- the table -----------------------------------------------------------------------------------
TEST_F(EnemyKindsTest, SpawnedFieldsFollowTheTable)
{
    struct Row {
        int kind, points, hp, mode, fpc, turn, special, pass, warp, drop;
    };
    const Row rows[] = {
        {0, 200, 1, 1, 32, 0, 0, 0, 0, 0},       {3, 1600, 2, 3, 16, 20, 0, 1, 103, 1},
        {4, 800, 3, 2, 32, 0, 0, 2, 0, 0},       {9, 200, 1, 3, 32, 50, 0, 1, 0, 6},
        {17, 400, 1, 4, 16, 10, 22, 1, 0, 0},    {21, 10000, 10, 1, 16, 20, 4, 1, 0, 5},
        {25, 500, 1, 0, 32, 20, 0, 0, 102, 3},   {30, 1000, 4, 3, 8, 100, 23, 1, 0, 1},
        {31, 500, 4, 3, 32, 50, 0, 0, 0, 1},
    };
    for (const Row &r : rows) {
        GameObjectRecord *e = SpawnEnemyOfKind(3, 5, r.kind, 7);
        ASSERT_NE(e, nullptr) << r.kind;
        EXPECT_STREQ(e->kindName, KIND_ENEMY);
        EXPECT_EQ(e->variant, r.kind);
        EXPECT_EQ(e->points, r.points) << r.kind;
        EXPECT_EQ(e->hitPoints, r.hp) << r.kind;
        EXPECT_EQ(e->moveMode, r.mode) << r.kind;
        EXPECT_EQ(e->framesPerCell, r.fpc) << r.kind;
        EXPECT_EQ(e->turnChance, r.turn) << r.kind;
        EXPECT_EQ(e->specialKind, r.special) << r.kind;
        EXPECT_EQ(e->passKind, r.pass) << r.kind;
        EXPECT_EQ(e->warpCode, r.warp) << r.kind;
        EXPECT_EQ(e->dropCode, r.drop) << r.kind;
        EXPECT_EQ(e->timer, 7);
        EXPECT_EQ(e->spriteFrame, r.kind * 20);
        EXPECT_EQ(e->sightingDirection, DIR_NONE);
        EXPECT_EQ(e->left, 3 * 32);
        EXPECT_EQ(e->centreY, 5 * 32 + 16);
    }
}

// Every row of the kind table as the game defines it, read back from the spawned enemies.
TEST_F(EnemyKindsTest, EveryKindSpawnsWithItsRow)
{
    // kind: points, hp, mode, fpc, turn chance, special, pass, warp, drop, voice flags 1 2 3
    const int rows[ENEMY_KIND_COUNT][12] = {
        {200, 1, 1, 32, 0, 0, 0, 0, 0, 1, 0, 0},     {300, 1, 3, 32, 20, 0, 0, 1, 0, 0, 0, 1},
        {400, 2, 0, 32, 50, 0, 0, 0, 0, 0, 0, 0},    {1600, 2, 3, 16, 20, 0, 1, 103, 1, 0, 0, 0},
        {800, 3, 2, 32, 0, 0, 2, 0, 0, 0, 0, 0},     {500, 2, 1, 32, 20, 1, 0, 0, 0, 0, 0, 0},
        {1000, 2, 1, 32, 20, 2, 0, 0, 0, 0, 0, 0},   {700, 1, 1, 32, 20, 0, 0, 0, 4, 0, 0, 0},
        {200, 1, 3, 32, 50, 0, 1, 0, 0, 0, 0, 0},    {200, 1, 3, 32, 50, 0, 1, 0, 6, 0, 0, 0},
        {400, 1, 3, 32, 20, 10, 0, 0, 0, 0, 0, 0},   {800, 1, 3, 32, 50, 11, 0, 0, 0, 0, 0, 0},
        {200, 1, 3, 32, 50, 15, 0, 0, 0, 0, 0, 0},   {100, 1, 3, 32, 0, 0, 0, 0, 0, 0, 0, 0},
        {3200, 5, 3, 16, 0, 0, 0, 0, 1, 0, 0, 0},    {500, 2, 1, 16, 0, 0, 0, 0, 0, 1, 0, 0},
        {300, 2, 3, 32, 0, 0, 0, 0, 0, 0, 0, 0},     {400, 1, 4, 16, 10, 22, 1, 0, 0, 0, 1, 0},
        {300, 1, 1, 32, 0, 1, 0, 0, 0, 0, 0, 0},     {3200, 3, 1, 32, 20, 3, 1, 0, 1, 0, 0, 0},
        {100, 1, 3, 32, 0, 0, 0, 0, 1, 0, 0, 0},     {10000, 10, 1, 16, 20, 4, 1, 0, 5, 0, 0, 0},
        {1000, 1, 1, 32, 20, 12, 0, 0, 0, 0, 0, 0},  {2000, 1, 3, 16, 20, 13, 0, 0, 0, 0, 0, 0},
        {200, 1, 3, 32, 10, 0, 0, 0, 2, 0, 0, 0},    {500, 1, 0, 32, 20, 0, 0, 102, 3, 0, 0, 0},
        {800, 2, 4, 16, 10, 23, 1, 0, 0, 0, 1, 0},   {1600, 2, 3, 16, 10, 0, 0, 1, 0, 0, 0, 1},
        {3200, 4, 1, 16, 20, 5, 0, 103, 1, 0, 0, 0}, {1600, 4, 2, 16, 0, 0, 2, 1, 1, 0, 0, 0},
        {1000, 4, 3, 8, 100, 23, 1, 0, 1, 0, 0, 0},  {500, 4, 3, 32, 50, 0, 0, 0, 1, 0, 0, 0},
    };
    for (int kind = 0; kind < ENEMY_KIND_COUNT; kind++) {
        const int *r = rows[kind];
        GameObjectRecord *e = SpawnEnemyOfKind(6, 7, kind, 128);
        ASSERT_NE(e, nullptr) << kind;
        const int got[12] = {e->points,     e->hitPoints, e->moveMode, e->framesPerCell,  e->turnChance,
                             e->specialKind, e->passKind,  e->warpCode, e->dropCode,       e->firstVoiceFlag,
                             e->secondVoiceFlag, e->thirdVoiceFlag};
        for (int i = 0; i < 12; i++) EXPECT_EQ(got[i], r[i]) << "kind " << kind << " column " << i;
        EXPECT_EQ(e->variant, kind);
        EXPECT_EQ(e->spriteFrame, kind * 20);
        EXPECT_EQ(e->timer, 128);
        EXPECT_EQ(e->coreFlag, kind == ENEMY_CORE_MECH_KIND);
        EXPECT_EQ(e->chosenDirection, DIR_NONE);
        EXPECT_EQ(e->cellX, 6);
        EXPECT_EQ(e->top, 7 * 32);
        EXPECT_EQ(e->centreX, 6 * 32 + 16);
        // The table behind GetEnemyKind is the one spawned from.
        const EnemyKindRecord *k = GetEnemyKind(kind);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->points, r[0]);
        EXPECT_EQ(k->dropCode, r[8]);
    }
    EXPECT_EQ(GetEnemyKind(ENEMY_KIND_COUNT), nullptr);
    EXPECT_EQ(GetEnemyKind(-1), nullptr);
}

TEST_F(EnemyKindsTest, VoiceFlagsAndTheCoreMech)
{
    for (int kind = 0; kind < ENEMY_KIND_COUNT; kind++) {
        GameObjectRecord *e = SpawnEnemyOfKind(2, 2, kind, 0);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->secondVoiceFlag, e->moveMode == 4) << kind;  // exactly kinds 17 and 26
        EXPECT_EQ(e->firstVoiceFlag, kind == 0 || kind == 15) << kind;
        EXPECT_EQ(e->thirdVoiceFlag, kind == 1 || kind == 27) << kind;
        EXPECT_EQ(e->coreFlag, kind == 21) << kind;
    }
    EXPECT_EQ(gGame->coreMechsLeft, 1);
    EXPECT_EQ(gGame->enemiesLeft, 0);  // the callers count enemies
    EXPECT_EQ(SpawnEnemyOfKind(2, 2, 32, 0), nullptr);
    EXPECT_EQ(SpawnEnemyOfKind(2, 2, -1, 0), nullptr);
    EXPECT_EQ(SpawnEnemyOfKind(15, 2, 0, 0), nullptr);
}

TEST_F(EnemyKindsTest, FullPoolMakesAndCountsNothing)
{
    FillPool();
    EXPECT_EQ(SpawnEnemyOfKind(2, 2, 21, 0), nullptr);
    EXPECT_EQ(gGame->coreMechsLeft, 0);
    GameObjectRecord block{};
    block.cellX = 3;
    block.cellY = 3;
    Script({5});
    SpawnRandomEnemy(0, &block);
    SpawnRandomEnemy(2, &block);
    ReleaseBlockDrop(3, &block);
    ReleaseEnemyDrop(5, &block);
    EXPECT_EQ(gGame->enemiesLeft, 0);
    char message[256];
    EXPECT_EQ(CheckObjectInvariants(message, sizeof message), 0) << message;
}

// ---- shots ---------------------------------------------------------------------------------------
TEST_F(EnemyKindsTest, ShotsByShotKind)
{
    struct Row {
        int kind, variant, type, sprite;
    };
    const Row rows[] = {{5, 1, 0, 1}, {6, 2, 1, 2}, {19, 3, 2, 0}, {28, 4, 3, 3}};
    for (const Row &r : rows) {
        GameObjectRecord *e = SpawnEnemyOfKind(4, 4, r.kind, 0);
        e->sightingDirection = DIR_LEFT;
        GameObjectRecord *s = SpawnEnemyShot(e, 4, 5);
        ASSERT_NE(s, nullptr) << r.kind;
        EXPECT_STREQ(s->kindName, KIND_SHOT);
        EXPECT_EQ(s->variant, r.variant);
        EXPECT_EQ(s->specialKind, r.type);
        EXPECT_EQ(s->spriteFrame, r.sprite);
        EXPECT_EQ(s->facing, DIR_LEFT);
        EXPECT_EQ(s->framesPerCell, 8);
        EXPECT_EQ(s->moveMode, 1);
        EXPECT_EQ(s->hitPoints, 0);
        EXPECT_EQ(s->timer, 0);
        EXPECT_EQ(s->cellY, 5);
    }
}

TEST_F(EnemyKindsTest, BurstAndHomingShotDirections)
{
    GameObjectRecord *boss = SpawnEnemyOfKind(4, 4, 21, 0);
    boss->sightingDirection = DIR_LEFT;
    for (int frames = 3; frames >= 0; frames--) {
        boss->stateFrames = frames;
        EXPECT_EQ(SpawnEnemyShot(boss, 4, 4)->facing, frames);  // one shot per direction
    }
    GameObjectRecord *homer = SpawnEnemyOfKind(4, 4, 28, 0);
    homer->facing = DIR_UP;
    EXPECT_EQ(SpawnEnemyShot(homer, 4, 4)->facing, DIR_UP);  // no sighting: its facing
    homer->sightingDirection = DIR_RIGHT;
    EXPECT_EQ(SpawnEnemyShot(homer, 4, 4)->facing, DIR_RIGHT);
    EXPECT_EQ(SpawnEnemyShot(SpawnEnemyOfKind(4, 4, 10, 0), 4, 4), nullptr);  // a bomb layer
    EXPECT_EQ(SpawnEnemyShot(SpawnEnemyOfKind(4, 4, 0, 0), 4, 4), nullptr);
}

// ---- random enemies ------------------------------------------------------------------------------
TEST_F(EnemyKindsTest, GoalEnemiesFollowTheStageBands)
{
    std::set<int> early, late;
    for (int draw = 0; draw <= 31; draw++) {
        early.insert(GoalEnemyFor(5, draw));
        int k = GoalEnemyFor(16, draw);
        late.insert(k);
        bool never = draw == 21 || (draw >= 28 && draw <= 30);
        EXPECT_EQ(k, never ? 13 : draw) << draw;
    }
    EXPECT_EQ(early, (std::set<int>{0, 8, 13, 16, 20, 24, 31}));
    EXPECT_EQ(GoalEnemyFor(10, 4), 4);   // stage 6..10: kind 4 comes, kind 2 not
    EXPECT_EQ(GoalEnemyFor(10, 2), 16);
    EXPECT_EQ(GoalEnemyFor(15, 9), 9);   // stage 11..15: kind 9 comes, kind 3 not
    EXPECT_EQ(GoalEnemyFor(15, 3), 0);
    EXPECT_EQ(gGame->enemiesLeft, 32 * 2 + 4);
    EXPECT_EQ(Effects(5), 32 * 2 + 4);
    EXPECT_EQ(gEnemyRandom->asked, std::vector<int>(32 * 2 + 4, 31));
}

TEST_F(EnemyKindsTest, BlockEnemiesRedrawRejectedKinds)
{
    GameObjectRecord *block = PutSoft(6, 6, 500);
    gGame->enemiesLeft = -3;
    Script({0, 13, 16, 21, 5});
    SpawnRandomEnemy(1, block);
    EXPECT_EQ(KindsAt(6, 6), std::multiset<int>{5});
    EXPECT_EQ(gEnemyRandom->asked.size(), 5u);
    EXPECT_EQ(gGame->enemiesLeft, 1);  // cleared to 0 first
    EXPECT_EQ(Voices(18), 1);
    EXPECT_EQ(Effects(5), 1);
    // A generator that only ever gives rejected kinds: the redraw ends and nothing comes.
    random.script.assign(ENEMY_REDRAW_LIMIT + 10, 21);
    SpawnRandomEnemy(1, block);
    EXPECT_EQ(KindsAt(6, 6).size(), 1u);
    EXPECT_EQ(gGame->enemiesLeft, 1);
    EXPECT_EQ(gGame->coreMechsLeft, 0);
}

TEST_F(EnemyKindsTest, ModeTwoAndDropThreeReleaseFourOfKindThree)
{
    GameObjectRecord *block = PutSoft(6, 6, 603);
    SpawnRandomEnemy(2, block);
    EXPECT_EQ(KindsAt(6, 6), (std::multiset<int>{3, 3, 3, 3}));
    ReleaseBlockDrop(3, block);
    EXPECT_EQ(KindsAt(6, 6).size(), 8u);
    EXPECT_EQ(gGame->enemiesLeft, 8);
    EXPECT_EQ(Effects(5), 2);
    EXPECT_EQ(Voices(18), 1);
    EXPECT_TRUE(gEnemyRandom->asked.empty());
    EXPECT_EQ(FirstAt(6, 6, KIND_ENEMY)->timer, ENEMY_SPAWN_PROTECTION);
}

// ---- block drops ---------------------------------------------------------------------------------
TEST_F(EnemyKindsTest, BlockDropItems)
{
    GameObjectRecord *block = PutSoft(6, 6, 600);
    const int mode0[7] = {0, 1, 0, 1, 4, 5, 6};
    for (int draw = 0; draw <= 6; draw++) {
        Script({draw});
        ReleaseBlockDrop(0, block);
        EXPECT_EQ(FirstAt(6, 6, KIND_ITEM)->variant, mode0[draw]) << draw;
        FirstAt(6, 6, KIND_ITEM)->active = 0;
    }
    Script({15});
    ReleaseBlockDrop(1, block);
    EXPECT_EQ(FirstAt(6, 6, KIND_ITEM)->variant, 22);
    FirstAt(6, 6, KIND_ITEM)->active = 0;
    Script({2, 1});  // a modest item is drawn again once from 0..1
    ReleaseBlockDrop(2, block);
    EXPECT_EQ(FirstAt(6, 6, KIND_ITEM)->variant, 1);
    FirstAt(6, 6, KIND_ITEM)->active = 0;
    Script({17});
    ReleaseBlockDrop(2, block);
    EXPECT_EQ(FirstAt(6, 6, KIND_ITEM)->variant, 17);
    EXPECT_EQ(gEnemyRandom->asked, (std::vector<int>{6, 6, 6, 6, 6, 6, 6, 15, 22, 1, 22}));
    EXPECT_EQ(Voices(0), 10);
    ReleaseBlockDrop(4, block);  // no such mode
    EXPECT_EQ(Voices(0), 10);
}

// ---- enemy drops ---------------------------------------------------------------------------------
TEST_F(EnemyKindsTest, EnemyDropTakesTheFirstFreeCandidate)
{
    GameObjectRecord *e = PutEnemy(5, 5, 3);
    PutSoft(5, 5);
    SpawnItem(5, 6, 4);
    PutBomb(5, 4, 1);
    Script({1});
    ReleaseEnemyDrop(1, e);  // own, below, above taken: right
    EXPECT_EQ(FirstAt(6, 5, KIND_ITEM)->variant, 15);
    Script({1});
    ReleaseEnemyDrop(2, e);  // then left
    EXPECT_EQ(FirstAt(4, 5, KIND_ITEM)->variant, 21);
    ReleaseEnemyDrop(0, e);  // all five taken: nothing, and no draw
    EXPECT_EQ(gEnemyRandom->asked, (std::vector<int>{2, 1}));
    EXPECT_EQ(Count(KIND_ITEM), 3);
    GameObjectRecord *free = PutEnemy(9, 9, 3);
    ReleaseEnemyDrop(3, free);
    EXPECT_EQ(FirstAt(9, 9, KIND_BLOCK)->moveMode, 500);
    EXPECT_EQ(FirstAt(9, 9, KIND_BLOCK)->hitPoints, 1);
    ReleaseEnemyDrop(6, free);
    ReleaseEnemyDrop(-1, free);
    EXPECT_EQ(Count(KIND_BLOCK), 3);
}

TEST_F(EnemyKindsTest, EnemyDropFiveIgnoresTheCells)
{
    GameObjectRecord *e = PutEnemy(5, 5, 9);
    PutSoft(5, 5);
    ReleaseEnemyDrop(5, e);
    EXPECT_EQ(KindsAt(5, 5), (std::multiset<int>{8, 8, 9}));
    EXPECT_EQ(gGame->enemiesLeft, 2);
}

TEST_F(EnemyKindsTest, CoreMechBlockOrCountDown)
{
    GameObjectRecord *boss = PutEnemy(5, 5, 21);
    GameObjectRecord *other = PutEnemy(9, 9, 21);
    EXPECT_EQ(gGame->coreMechsLeft, 2);
    ReleaseEnemyDrop(4, boss);
    EXPECT_EQ(FirstAt(5, 5, KIND_BLOCK)->moveMode, 700);
    EXPECT_EQ(gGame->coreMechsLeft, 2);  // the block's breaking counts it
    // Every candidate taken: counted down at once, effect 8 while one is left, then 9.
    PutSoft(9, 9);
    PutSoft(9, 10);
    PutFixed(9, 8);
    PutFixed(10, 9);
    PutFixed(8, 9);
    ReleaseEnemyDrop(4, other);
    EXPECT_EQ(gGame->coreMechsLeft, 1);
    EXPECT_EQ(Effects(8), 1);
    FillPool();
    ReleaseEnemyDrop(4, boss);  // a free cell, but no record
    EXPECT_EQ(gGame->coreMechsLeft, 0);
    EXPECT_EQ(Effects(9), 1);
}

}  // namespace
