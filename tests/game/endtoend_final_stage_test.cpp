// The last stage can be won: the core-mech boss falls to the player's fire, every core mech is broken,
// the goal opens, and walking into it ends the game on the game-clear screen.
#include <gtest/gtest.h>

#include <vector>

#include "game/enemy_kinds.h"
#include "game/object_states.h"
#include "game/records.h"
#include "tests/game/enemy_field.h"
#include "tests/game/stage_sim.h"

namespace {

class FinalStageTest : public EnemyStageSimTest {
protected:
    // Player 1's fire on the cell alone (range 0).
    void Burn(int x, int y) { SpawnFire(x, y, 0, 4, 0, 32, 1, 0); }
    // Soft blocks holding the content.
    std::vector<GameObjectRecord *> BlocksWith(int content)
    {
        std::vector<GameObjectRecord *> blocks;
        for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next)
            if (o->active == 1 && IsObjectKind(o, KIND_BLOCK) && o->variant == BLOCK_SOFT && o->moveMode == content)
                blocks.push_back(o);
        return blocks;
    }
    GameObjectRecord *FindBoss(void)
    {
        for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next)
            if (o->active == 1 && IsObjectKind(o, KIND_ENEMY) && o->variant == ENEMY_CORE_MECH_KIND) return o;
        return nullptr;
    }
};

TEST_F(FinalStageTest, TheBossFallsTheGoalOpensAndTheGameIsCleared)
{
    BuildStage(LAST_STAGE);
    ASSERT_EQ(gGame->stage, LAST_STAGE);
    gPlayers[0]->respawnCounter = 100000;  // untouchable for the whole test
    GameObjectRecord *boss = FindBoss();
    ASSERT_NE(boss, nullptr);
    int coreMechs = gGame->coreMechsLeft;
    EXPECT_GE(coreMechs, 1);
    Step(8);

    // The boss: one hit left, then player 1's fire. It pays its points and leaves its core mech.
    boss->hitPoints = 1;
    Burn(boss->cellX, boss->cellY);
    ASSERT_LT(StepUntil([&] { return boss->active == 0; }, 100), 100);
    EXPECT_GE(gPlayers[0]->score, 10000);
    int left = gGame->coreMechsLeft;
    EXPECT_TRUE(left == coreMechs || left == coreMechs - 1) << left;  // its block, or counted at once

    // Every core-mech block and the goal's block burn; the goal comes out and opens.
    Step(8);  // the boss's block leaves its appear frames
    for (GameObjectRecord *b : BlocksWith(CONTENT_CORE_MECH)) Burn(b->cellX, b->cellY);
    std::vector<GameObjectRecord *> goalBlocks = BlocksWith(CONTENT_GOAL);
    ASSERT_EQ(goalBlocks.size(), 1u);
    int gx = goalBlocks[0]->cellX, gy = goalBlocks[0]->cellY;
    Burn(gx, gy);
    ASSERT_LT(StepUntil([] { return gGame->coreMechsLeft == 0; }, 200), 200);
    GameObjectRecord *goal = nullptr;
    StepUntil(
        [&] {
            goal = First(gx, gy, KIND_GOAL);
            return goal && goal->variant == 1;
        },
        200);
    ASSERT_NE(goal, nullptr);
    ASSERT_EQ(goal->variant, 1) << "the goal did not open";

    // Into the goal: the stage count passes 42 and the game-clear screen follows.
    PutPlayerOnCell(1, gx, gy);
    Step();
    EXPECT_EQ(gGame->stage, GAME_CLEAR_STAGE);
    EXPECT_EQ(gGame->inStage, 0);
    EXPECT_EQ(gGame->screenId, SCREEN_GAME_CLEAR);
    EXPECT_EQ(CountLiveObjects(), 0);
}

}  // namespace
