// Stage build: counts and placements of stages 1, 15, 36, 42 and a battle round for fixed seeds, the
// start corners kept clear, the darkness and its switch, hard difficulty, and a repeatable layout.
#include <map>
#include <vector>

#include "game/stage.h"
#include "game/stage_hooks.h"
#include "tests/game/stage_sim.h"

namespace {

class StageBuildTest : public StageSimTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    // Soft blocks by content.
    std::map<int, int> Contents()
    {
        std::map<int, int> contents;
        for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next)
            if (IsObjectKind(o, KIND_BLOCK) && o->variant == BLOCK_SOFT) contents[o->moveMode]++;
        return contents;
    }
    std::vector<GameObjectRecord *> Enemies()
    {
        std::vector<GameObjectRecord *> enemies;
        for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next)
            if (IsObjectKind(o, KIND_ENEMY)) enemies.push_back(o);
        return enemies;
    }
    // No soft block in the 3 x 3 cells round any start corner.
    void ExpectCornersClear()
    {
        for (int p = 1; p <= PLAYER_COUNT; p++) {
            int sx, sy;
            GetPlayerStartCell(p, &sx, &sy);
            for (int y = sy - 1; y <= sy + 1; y++)
                for (int x = sx - 1; x <= sx + 1; x++)
                    for (GameObjectRecord *o : At(x, y, KIND_BLOCK))
                        EXPECT_NE(o->variant, BLOCK_SOFT) << "player " << p << " at " << x << "," << y;
        }
    }
    void ExpectFieldFrame()
    {
        EXPECT_EQ(Count(KIND_FLOOR), 195);
        EXPECT_EQ(Count(KIND_BLOCK, BLOCK_FIXED), 82);
        EXPECT_EQ(Count(KIND_BLOCK, BLOCK_SOFT), 60);
        EXPECT_EQ(Count(KIND_ANCHOR), 4);
        EXPECT_TRUE(PoolIsConsistent());
    }
};

TEST_P(StageBuildTest, StageOne)
{
    SeedSimRandom(GetParam());
    BuildStage(1);
    ExpectFieldFrame();
    std::map<int, int> contents = Contents();
    EXPECT_EQ(contents[1000], 1);
    EXPECT_EQ(contents[700], 3);
    EXPECT_EQ(contents[4], 1);
    EXPECT_EQ(contents[100] + contents[600], 55);
    EXPECT_EQ(gGame->coreMechsLeft, 3);
    std::vector<GameObjectRecord *> enemies = Enemies();
    ASSERT_EQ(enemies.size(), 4u);
    EXPECT_EQ(gGame->enemiesLeft, 4);
    for (GameObjectRecord *e : enemies) {
        EXPECT_EQ(e->variant, 13);
        EXPECT_EQ(e->timer, 0);
        EXPECT_TRUE(e->cellX != 1 && e->cellX != 13 && e->cellY != 1 && e->cellY != 11);
        bool nearP1 = std::abs(e->cellX - 1) <= 3 && std::abs(e->cellY - 1) <= 3;
        bool nearP2 = std::abs(e->cellX - 13) <= 3 && std::abs(e->cellY - 11) <= 3;
        EXPECT_FALSE(nearP1 || nearP2) << e->cellX << "," << e->cellY;
        EXPECT_EQ(QueryCellBlocker(e->cellX, e->cellY), 0);
    }
    ExpectCornersClear();
    EXPECT_EQ(gGame->darkness, 0);
    EXPECT_EQ(Count(KIND_SWITCH), 0);
    EXPECT_EQ(gGame->inStage, 1);
    EXPECT_EQ(gGame->timeLeft, 200);
    EXPECT_EQ(gGame->screenId, SCREEN_CONTINUE);
    EXPECT_EQ(gPlayers[0]->respawnCounter, 500);
    EXPECT_EQ(gPlayers[1]->cellX, PLAYER_OFF_FIELD);
    EXPECT_EQ(gPlayers[0]->ownObject->ownerPlayer, gPlayers[0]);
}

TEST_P(StageBuildTest, StageFifteenHasFourCoreMechsInTheSecondWorld)
{
    SeedSimRandom(GetParam());
    BuildStage(15);
    ExpectFieldFrame();
    EXPECT_EQ(gGame->world, 2);
    EXPECT_EQ(gGame->stageInWorld, 1);
    std::map<int, int> contents = Contents();
    EXPECT_EQ(contents[700], 4);
    EXPECT_EQ(contents[8], 1);
    EXPECT_EQ(contents[22], 1);
    EXPECT_EQ(Enemies().size(), 6u);
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        if (IsObjectKind(o, KIND_FLOOR)) {
            EXPECT_EQ(o->spriteFrame, 4);
        }
        if (IsObjectKind(o, KIND_BLOCK) && o->variant == BLOCK_FIXED) {
            EXPECT_EQ(o->spriteFrame, 10);
        }
    }
}

TEST_P(StageBuildTest, StageThirtySixStartsDarkWithOneSwitch)
{
    SeedSimRandom(GetParam());
    BuildStage(36);
    ExpectFieldFrame();
    EXPECT_EQ(gGame->darkness, 1);
    EXPECT_EQ(Count(KIND_SWITCH), 1);
    EXPECT_EQ(Contents()[700], 5);
    EXPECT_EQ(Enemies().size(), 7u);
}

TEST_P(StageBuildTest, StageFortyTwoIsLitWithTheCoreMechAndNoCoreBlocks)
{
    SeedSimRandom(GetParam());
    BuildStage(42);
    ExpectFieldFrame();
    EXPECT_EQ(gGame->darkness, 0);
    EXPECT_EQ(Count(KIND_SWITCH), 0);
    std::map<int, int> contents = Contents();
    EXPECT_EQ(contents[700], 0);
    std::vector<GameObjectRecord *> enemies = Enemies();
    ASSERT_EQ(enemies.size(), 1u);
    EXPECT_EQ(enemies[0]->variant, 21);
    EXPECT_EQ(enemies[0]->coreFlag, 1);
    EXPECT_EQ(gGame->coreMechsLeft, 1);
    for (int kind : {4, 5, 14, 15, 16, 21}) EXPECT_GE(contents[kind], 1) << kind;
}

TEST_P(StageBuildTest, BattleRoundHasItsFixedMixOfContentsAndNoEnemies)
{
    SeedSimRandom(GetParam());
    BuildStage(1, GAME_MODE_BATTLE);
    ExpectFieldFrame();
    std::map<int, int> contents = Contents();
    EXPECT_EQ(contents[19], 4);
    EXPECT_EQ(contents[22], 4);
    EXPECT_EQ(contents[6], 4);
    EXPECT_EQ(contents[5], 6);
    EXPECT_EQ(contents[4], 6);
    EXPECT_EQ(contents[100], 36);
    EXPECT_TRUE(Enemies().empty());
    EXPECT_EQ(gGame->coreMechsLeft, 0);
    ExpectCornersClear();
    EXPECT_EQ(gPlayers[0]->lives, 1);  // the round's reset
    EXPECT_EQ(gPlayers[0]->respawnCounter, 0);
    EXPECT_EQ(gPlayers[3]->lives, 0);  // not in play: off the field
    EXPECT_EQ(gPlayers[3]->cellX, PLAYER_OFF_FIELD);
}

TEST_P(StageBuildTest, HardDifficultyAddsSixEnemyBlocks)
{
    SeedSimRandom(GetParam());
    gGame->difficulty = 1;
    BuildStage(3);
    EXPECT_EQ(gGame->blockContentLevel, 2);
    EXPECT_EQ(Contents()[500], 6);
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next)
        if (IsObjectKind(o, KIND_BLOCK) && o->moveMode == 500) {
            EXPECT_EQ(o->spriteFrame, 30);
        }
}

INSTANTIATE_TEST_SUITE_P(Seeds, StageBuildTest, ::testing::Values(1u, 2u, 77u, 4242u));

class StageLayoutTest : public StageSimTest {};

TEST_F(StageLayoutTest, TheSameSeedBuildsTheSameFieldAndAnotherSeedAnotherOne)
{
    SeedSimRandom(5);
    BuildStage(21);
    uint64_t first = StateHash();
    ClearAllObjects();
    SeedSimRandom(5);
    BuildStage(21);
    EXPECT_EQ(StateHash(), first);
    ClearAllObjects();
    SeedSimRandom(6);
    BuildStage(21);
    EXPECT_NE(StateHash(), first);
}

TEST_F(StageLayoutTest, EveryStageAndARoundRunAThousandFramesWithThePoolIntact)
{
    for (int stage = 1; stage <= LAST_STAGE; stage += 3) {
        SeedSimRandom(1000 + stage);
        BuildStage(stage);
        Step(300);
        ASSERT_FALSE(HasFatalFailure()) << "stage " << stage;
        ClearAllObjects();
    }
    SeedSimRandom(3);
    BuildStage(1, GAME_MODE_BATTLE);
    Step(1000);
}

TEST_F(StageLayoutTest, FillStageTablesLeavesRowsOutsideTheStagesEmpty)
{
    EXPECT_EQ(gStage->enemyKinds[1][0], 13);
    EXPECT_EQ(gStage->enemyKinds[1][4], STAGE_EMPTY_SLOT);
    EXPECT_EQ(gStage->itemKinds[42][8], 21);
    for (int slot = 0; slot < STAGE_TABLE_SLOTS; slot++) {
        EXPECT_EQ(gStage->enemyKinds[0][slot], STAGE_EMPTY_SLOT);
        EXPECT_EQ(gStage->itemKinds[43][slot], STAGE_EMPTY_SLOT);
    }
}

}  // namespace
