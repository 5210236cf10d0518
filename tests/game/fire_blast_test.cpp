// Blasts in the simulator: shape and timing, stops and pierce, danger, chains, kills and the
// multiplier, a soft block's item that burns, the goal opening, light switches; and the hit rules.
#include <algorithm>
#include <string>
#include <vector>

#include "game/bombs.h"
#include "game/fire.h"
#include "game/object_states.h"
#include "tests/game/game_fakes.h"
#include "tests/game/stage_sim.h"

namespace {

using Cells = std::vector<std::string>;

class FireBlastTest : public StageSimTest {
protected:
    void SetUp() override
    {
        StageSimTest::SetUp();
        BuildArena();
    }
    // The frame counter value at which the next Step runs.
    int Frame() const { return gGame->frameCounter; }
};

// A bomb laid last in the active list: the fires it and its centre spawn first run in the next walk,
// so the centre spreads two frames after the explosion and the front then moves a cell per frame.
TEST_F(FireBlastTest, RangeTwoBlastIsAPlusOfNineCellsGrowingFromTheCentre)
{
    GameObjectRecord *bomb = LayBomb(1, 5, 5);
    ASSERT_NE(bomb, nullptr);
    EXPECT_EQ(bomb->timer, 149);
    EXPECT_EQ(gPlayers[0]->bombsAvailable, 0);
    Step(157);  // frames 0..156
    EXPECT_EQ(bomb->active, 1);
    EXPECT_TRUE(FireCells().empty());
    Step();  // frame 157: the explosion and the centre fire
    EXPECT_EQ(bomb->active, 0);
    EXPECT_EQ(gPlayers[0]->bombsAvailable, 1);
    EXPECT_EQ(FireCells(), (Cells{"5,5"}));
    EXPECT_EQ(Effects(), (std::vector<int>{0}));
    Step();  // 158: the centre's appear frame
    EXPECT_EQ(FireCells(), (Cells{"5,5"}));
    Step();  // 159: it spreads
    EXPECT_EQ(FireCells(), (Cells{"5,4", "4,5", "5,5", "6,5", "5,6"}));
    Step(2);  // 161: the arms spread to the tips
    EXPECT_EQ(FireCells(), (Cells{"5,3", "5,4", "3,5", "4,5", "5,5", "6,5", "7,5", "5,6", "5,7"}));
    EXPECT_EQ(Count(KIND_FIRE), 9);
    // The centre burns its spread frame and 31 more (out at 190), and is freed 7 frames later.
    GameObjectRecord *centre = First(5, 5, KIND_FIRE);
    Step(190 - Frame());
    EXPECT_EQ(centre->active, 1);
    Step();
    EXPECT_EQ(centre->active, 0);
    int live = CountLiveObjects();
    Step(6);
    EXPECT_EQ(CountLiveObjects(), live);
    Step();
    EXPECT_LT(CountLiveObjects(), live);
    Step(4);
    EXPECT_EQ(Count(KIND_FIRE, -1, false), 0);
}

// With an object after the bomb in the list, the centre fire appears in the explosion's own walk.
TEST_F(FireBlastTest, CentreFireSpreadsTheFrameAfterTheExplosionWhenTheBombIsNotLast)
{
    LayBomb(1, 5, 5);
    PutSoft(13, 9);
    Step(158);
    EXPECT_EQ(FireCells(), (Cells{"5,5"}));
    Step();  // 158
    EXPECT_EQ(FireCells(), (Cells{"5,4", "4,5", "5,5", "6,5", "5,6"}));
}

TEST_F(FireBlastTest, FixedBlocksStopASoftBlockEndsTheArmAndPierceRunsThrough)
{
    PutSoft(5, 1);
    gPlayers[0]->fireRange = 3;
    LayBomb(1, 3, 1);
    Step(163);
    EXPECT_EQ(FireCells(), (Cells{"1,1", "2,1", "3,1", "4,1", "5,1", "3,2", "3,3", "3,4"}));
    EXPECT_EQ(First(3, 0, KIND_FIRE), nullptr);  // no fire in a fixed block's cell
}

TEST_F(FireBlastTest, PierceCarriesOnThroughASoftBlockWithTheRangeFalling)
{
    PutSoft(5, 1);
    gPlayers[0]->fireRange = 3;
    gPlayers[0]->bombType = BOMB_PIERCE;
    LayBomb(1, 3, 1);
    Step(164);
    EXPECT_EQ(FireCells(), (Cells{"1,1", "2,1", "3,1", "4,1", "5,1", "6,1", "3,2", "3,3", "3,4"}));
}

TEST_F(FireBlastTest, DangerBombAddsARangeOneCentreFireInEverySpreadingCell)
{
    gPlayers[0]->bombType = BOMB_DANGER;
    LayBomb(1, 5, 5);
    Step(160);
    // the centre, its extra centre fire and four arms
    EXPECT_EQ(Count(KIND_FIRE), 6);
    Step(4);
    // + the extra's four neighbours, each arm's extra and tip (8), the arms' extras' open neighbours (8)
    EXPECT_EQ(Count(KIND_FIRE), 26);
    Step(2);
    EXPECT_EQ(Count(KIND_FIRE), 26);
    EXPECT_EQ(FireCells().size(), 9u);  // the pillars leave no room beside the arms here
}

TEST_F(FireBlastTest, ChainedBombGoesOffAtTheFirstMultipleOfEightAfterTheFireReachesIt)
{
    GameObjectRecord *first = LayBomb(1, 3, 5);
    Step(40);
    GameObjectRecord *second = LayBomb(1, 5, 5);
    StepUntil([&] { return first->active == 0; }, 200);
    ASSERT_EQ(Frame() - 1, 157);
    int reached = -1, exploded = -1;
    StepUntil([&] {
        if (reached < 0 && First(5, 5, KIND_FIRE)) reached = Frame() - 1;
        if (exploded < 0 && second->active == 0) exploded = Frame() - 1;
        return exploded >= 0;
    }, 20);
    ASSERT_GE(reached, 0);
    // the fire is seen from the frame after it came, at a frame counter that is a multiple of 8
    EXPECT_EQ(exploded % 8, 0);
    EXPECT_GE(exploded - reached, 1);
    EXPECT_LE(exploded - reached, 8);
    Step(6);
    EXPECT_NE(First(7, 5, KIND_FIRE), nullptr);  // its own blast ran on
}

TEST_F(FireBlastTest, OneBlastKillsTwoEnemiesAndPaysTwiceThenOnce)
{
    // kind 13 (hp 1, 100 points) at (1, 1) and (3, 1), boxed in by soft blocks and the bomb
    PutSoft(1, 2);
    PutSoft(3, 2);
    PutSoft(4, 1);
    GameObjectRecord *a = PutEnemy(1, 1, 13);
    GameObjectRecord *b = PutEnemy(3, 1, 13);
    gPlayers[0]->fireRange = 1;
    LayBomb(1, 2, 1);
    StepUntil([&] { return a->hitPoints == 0 && b->hitPoints == 0; }, 200);
    EXPECT_EQ(gGame->killMultiplier, 2);
    EXPECT_EQ(a->timer, 39);  // set to 40 by the hit, then counted in the same call
    StepUntil([&] { return a->active == 0 && b->active == 0; }, 60);
    EXPECT_EQ(gPlayers[0]->score, 100 * 2 + 100 * 1);
    EXPECT_EQ(gGame->killMultiplier, 0);
    EXPECT_EQ(gGame->enemiesLeft, 0);
    EXPECT_EQ(Count(KIND_SCORE), 2);
    std::vector<int> effects = Effects();
    EXPECT_EQ(std::count(effects.begin(), effects.end(), 7), 2);
}

TEST_F(FireBlastTest, AnEnemyWithTwoHitPointsLosesOneAndIsProtectedFromTheRestOfTheBlast)
{
    PutSoft(4, 1);
    PutSoft(3, 2);
    GameObjectRecord *e = PutEnemy(3, 1, 16);  // hp 2, turn chance 0
    gPlayers[0]->fireRange = 1;
    LayBomb(1, 2, 1);
    StepUntil([&] { return e->hitPoints < 2; }, 200);
    EXPECT_EQ(e->hitPoints, 1);
    EXPECT_EQ(e->timer, 79);
    Step(40);
    EXPECT_EQ(e->hitPoints, 1);
    EXPECT_EQ(gGame->killMultiplier, 0);
}

TEST_F(FireBlastTest, SoftBlockReleasesItsItemWhichLaterBurns)
{
    GameObjectRecord *block = PutSoft(5, 3, 4);
    LayBomb(1, 5, 5);
    int hit = -1;
    StepUntil([&] {
        if (block->hitPoints == 0 && hit < 0) hit = Frame() - 1;
        return hit >= 0;
    }, 200);
    EXPECT_EQ(hit % 8, 0);
    EXPECT_EQ(block->active, 1);  // still blocking while it breaks
    Step(38 - (Frame() - 1 - hit));
    EXPECT_EQ(block->active, 1);
    EXPECT_EQ(First(5, 3, KIND_ITEM), nullptr);
    Step();  // hit + 39: the content comes out
    EXPECT_EQ(block->active, 0);
    GameObjectRecord *item = First(5, 3, KIND_ITEM);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->variant, 4);

    // fire over the fresh item: protected for its first 80 main frames
    Step(8);
    SpawnFire(5, 3, 0, 4, 0, 32, 1, 0);
    Step(40);
    EXPECT_EQ(item->hitPoints, 1);
    EXPECT_EQ(item->active, 1);
    // later one hit destroys it 40 frames on
    Step(40);
    SpawnFire(5, 3, 0, 4, 0, 32, 1, 0);
    StepUntil([&] { return item->hitPoints == 0; }, 20);
    EXPECT_EQ(item->active, 1);
    StepUntil([&] { return item->active == 0; }, 50);
    Step(8);
    EXPECT_EQ(Count(KIND_ITEM, -1, false), 0);
}

TEST_F(FireBlastTest, TheGoalOpensOnItsFirstMainFrameOnceNoCoreMechIsLeft)
{
    gGame->coreMechsLeft = 1;
    GameObjectRecord *goal = PutGoal(7, 7);
    Step(30);
    EXPECT_EQ(goal->variant, 0);
    gGame->coreMechsLeft = 0;
    Step();
    EXPECT_EQ(goal->variant, 1);
    EXPECT_EQ(goal->spriteFrame, 1);

    GameObjectRecord *other = PutGoal(9, 7);
    Step(8);
    EXPECT_EQ(other->variant, 0);  // still appearing
    Step();
    EXPECT_EQ(other->variant, 1);
}

TEST_F(FireBlastTest, DestroyingTheLastCoreMechBlockOpensTheGoal)
{
    gGame->coreMechsLeft = 1;
    GameObjectRecord *goal = PutGoal(9, 9);
    GameObjectRecord *core = PutSoft(5, 3, 700);
    LayBomb(1, 5, 5);
    StepUntil([&] { return core->active == 0; }, 300);
    EXPECT_EQ(gGame->coreMechsLeft, 0);
    std::vector<int> effects = Effects();
    EXPECT_NE(std::find(effects.begin(), effects.end(), 9), effects.end());
    Step();
    EXPECT_EQ(goal->variant, 1);
}

TEST_F(FireBlastTest, AGoalDestroyedByFireIsReplacedByAClosedOneInTheSameCell)
{
    gGame->coreMechsLeft = 1;
    GameObjectRecord *goal = PutGoal(5, 3);
    Step(90);  // its protection has run out
    LayBomb(1, 5, 5);
    StepUntil([&] { return goal->active == 0; }, 300);
    std::vector<GameObjectRecord *> goals = At(5, 3, KIND_GOAL);
    ASSERT_EQ(goals.size(), 1u);
    EXPECT_NE(goals[0], goal);
    EXPECT_EQ(goals[0]->variant, 0);
    EXPECT_EQ(goals[0]->timer, 80);
}

TEST_F(FireBlastTest, AGoalDestroyedOnAFullPoolStaysWholeAndClosedInItsCell)
{
    gGame->coreMechsLeft = 1;
    GameObjectRecord *goal = PutGoal(5, 3);
    Step(8);  // past its appear state
    goal->hitPoints = 0;
    goal->timer = 1;  // its breaking time ends in the next frame
    FillPool();
    int enemies = gGame->enemiesLeft;
    Step();
    // neither the released enemy nor the fresh goal could be made: the old goal takes its place again
    EXPECT_EQ(goal->active, 1);
    EXPECT_EQ(goal->hitPoints, 1);
    EXPECT_EQ(goal->timer, 80);
    EXPECT_EQ(goal->variant, 0);
    EXPECT_EQ(gGame->enemiesLeft, enemies);
    EXPECT_EQ(At(5, 3, KIND_GOAL), std::vector<GameObjectRecord *>{goal});
    gGame->coreMechsLeft = 0;
    Step();
    EXPECT_EQ(goal->variant, 1);  // the stage can still be won
    EXPECT_EQ(goal->spriteFrame, 1);
}

TEST_F(FireBlastTest, ALightSwitchTogglesOncePerBlastAndRestsEightyFrames)
{
    gGame->darkness = 1;
    GameObjectRecord *sw = SpawnTYukaObject(5, 3);
    Step(100);
    EXPECT_EQ(sw->spriteFrame, 9);
    LayBomb(1, 5, 5);
    Step(200);
    EXPECT_EQ(gGame->darkness, 0);
    EXPECT_EQ(sw->spriteFrame, 8);
    std::vector<int> effects = Effects();
    EXPECT_EQ(std::count(effects.begin(), effects.end(), 14), 1);
    EXPECT_EQ(sw->active, 1);  // fire never uses a switch up
    LayBomb(1, 5, 5);
    Step(200);
    EXPECT_EQ(gGame->darkness, 1);
}

// ---- hit rules on single objects -----------------------------------------------------------------
TEST_F(FireBlastTest, CoreMechHitReleasesAKindTenEnemyOnlyWhenUnprotected)
{
    GameObjectRecord *core = PutEnemy(5, 5, 21);
    SpawnFire(5, 5, 0, 4, 0, 32, 2, 0);
    int left = gGame->enemiesLeft;
    ApplyObjectHits(core);
    EXPECT_EQ(core->hitPoints, 9);
    EXPECT_EQ(core->timer, 80);
    EXPECT_EQ(core->owner, 2);
    EXPECT_EQ(gGame->enemiesLeft, left + 1);
    GameObjectRecord *spawned = First(5, 5, KIND_ENEMY);
    ASSERT_NE(spawned, core);
    EXPECT_EQ(spawned->variant, 10);
    EXPECT_EQ(spawned->timer, 128);
    core->stateFrames = 7;
    ApplyObjectHits(core);  // protected: only the timed state ends
    EXPECT_EQ(core->hitPoints, 9);
    EXPECT_EQ(core->stateFrames, 0);
    EXPECT_EQ(gGame->enemiesLeft, left + 1);
}

TEST_F(FireBlastTest, BombLayerHitAtStateFrameZeroDropsABombThatGoesOffAtOnce)
{
    GameObjectRecord *layer = PutEnemy(5, 5, 10);
    SpawnFire(5, 5, 0, 4, 0, 32, 0, 0);
    ClearSounds();
    ApplyObjectHits(layer);
    EXPECT_EQ(layer->hitPoints, 0);
    EXPECT_EQ(gGame->killMultiplier, 0);  // enemy fire pays nothing
    EXPECT_EQ(Effects(), (std::vector<int>{0}));
    int centres = 0;
    for (GameObjectRecord *f : At(5, 5, KIND_FIRE)) centres += f->variant == 4 && f->hitPoints == 4;
    EXPECT_EQ(centres, 1);
}

TEST_F(FireBlastTest, BombEaterEatsPlayerBombsButNotOwnerZeroBombs)
{
    GameObjectRecord *eater = PutEnemy(5, 5, 4);
    GameObjectRecord *mine = SpawnBomb(0, 5, 5, 2, 150, 1, 0, 4);
    GameObjectRecord *enemys = SpawnBomb(0, 5, 5, 2, 150, 0, 0, 4);
    gPlayers[0]->bombsAvailable = 0;
    ApplyObjectHits(eater);
    EXPECT_EQ(mine->active, 0);
    EXPECT_EQ(enemys->active, 1);
    EXPECT_EQ(gPlayers[0]->bombsAvailable, 1);
}

TEST_F(FireBlastTest, BlockShotTurnsASoftBlockIntoAKindTwelveEnemy)
{
    GameObjectRecord *block = PutSoft(5, 5);
    GameObjectRecord *shot = SpawnShot(0, 3, 5, 5, 8, 0, 1, 0, 0, 1, 2, 0);
    ApplyObjectHits(block);
    EXPECT_EQ(block->hitPoints, 0);
    EXPECT_EQ(block->timer, 40);
    EXPECT_EQ(shot->active, 0);
    GameObjectRecord *e = First(5, 5, KIND_ENEMY);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->variant, 12);
    EXPECT_EQ(e->specialKind, 15);
    EXPECT_EQ(gGame->enemiesLeft, 1);
}

TEST_F(FireBlastTest, HitSpawnsOnAFullPoolCountNothing)
{
    GameObjectRecord *core = PutEnemy(5, 5, 21);
    SpawnFire(5, 5, 0, 4, 0, 32, 1, 0);
    FillPool();
    int left = gGame->enemiesLeft;
    ApplyObjectHits(core);
    EXPECT_EQ(core->hitPoints, 9);
    EXPECT_EQ(gGame->enemiesLeft, left);
    EXPECT_TRUE(PoolIsConsistent());
}

TEST_F(FireBlastTest, OuterRingObjectsGetNoHits)
{
    GameObjectRecord *block = SpawnSoftBlock(0, 5, 1, 100, 1);
    SpawnFire(0, 5, 0, 4, 0, 32, 1, 0);
    ApplyObjectHits(block);
    EXPECT_EQ(block->hitPoints, 1);
}

}  // namespace

namespace {

// Through the players' pads: player 1 lays a bomb beside a boxed-in enemy, walks off, and the blast
// kills it: points times the multiplier, the multiplier back to 0, effects 0 and 7, a pop-up.
TEST_F(FireBlastTest, APlayersBombByPadKillsABoxedEnemy)
{
    PutSoft(4, 1);
    PutSoft(3, 2);
    GameObjectRecord *enemy = PutEnemy(3, 1, 13);
    gPlayers[0]->fireRange = 1;
    gPlayers[0]->speed = 4;  // the bomb is down before the enemy's first step frame (32)
    SetPads(GAME_PAD_RIGHT);
    StepUntil([] { return gPlayers[0]->pixelX >= 2 * 32; }, 100);
    SetPads(0);
    Step();
    ASSERT_EQ(gPlayers[0]->cellX, 2);
    SetPads(gPlayers[0]->bombButton);
    Step();
    SetPads(0);
    ASSERT_NE(First(2, 1, KIND_BLOCK), nullptr);
    SetPads(GAME_PAD_LEFT);  // back to the corner and down out of the blast
    StepUntil([] { return gPlayers[0]->pixelX <= 32; }, 100);
    SetPads(GAME_PAD_DOWN);
    StepUntil([] { return gPlayers[0]->pixelY >= 3 * 32; }, 100);
    SetPads(0);
    StepUntil([&] { return enemy->active == 0; }, 300);
    EXPECT_EQ(enemy->active, 0);
    EXPECT_EQ(gPlayers[0]->score, 100);
    EXPECT_EQ(gGame->killMultiplier, 0);
    EXPECT_EQ(gGame->enemiesLeft, 0);
    EXPECT_EQ(Count(KIND_SCORE), 1);
    std::vector<int> effects = Effects();
    EXPECT_NE(std::find(effects.begin(), effects.end(), 0), effects.end());
    EXPECT_NE(std::find(effects.begin(), effects.end(), 7), effects.end());
    EXPECT_EQ(gPlayers[0]->lives, 1);
}

}  // namespace
