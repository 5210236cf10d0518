// Enemies in the running stage: kills paid by the multiplier, a shooter's burst, a warp with its drop,
// a bomb eater, a bomb-shy enemy fleeing, and the boss of the last stage with its releases.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "game/bombs.h"
#include "game/cells.h"
#include "game/enemy_kinds.h"
#include "game/object_states.h"
#include "game/records.h"
#include "tests/game/enemy_field.h"
#include "tests/game/stage_sim.h"

namespace {

class EnemyScenarioTest : public EnemyStageSimTest {
protected:
    void SetUp() override
    {
        EnemyStageSimTest::SetUp();
        BuildArena();
    }
    // Player 1 stands on (x, y), out of harm's way for the whole test.
    void ParkPlayer(int x, int y)
    {
        PutPlayerOnCell(1, x, y);
        gPlayers[0]->respawnCounter = 100000;
    }
    // Every "Tama" in the active list, also those in their removal frames.
    std::vector<GameObjectRecord *> Shots(void)
    {
        std::vector<GameObjectRecord *> shots;
        for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next)
            if (IsObjectKind(o, KIND_SHOT)) shots.push_back(o);
        return shots;
    }
    int Played(const std::vector<int> &sounds, int n) { return (int)std::count(sounds.begin(), sounds.end(), n); }
};

// Two boxed-in enemies killed by one blast: the first dead pays x2, the second x1.
TEST_F(EnemyScenarioTest, BoxedInEnemiesKilledByABombPayTimesTheMultiplier)
{
    ParkPlayer(13, 11);
    GameObjectRecord *left = PutEnemy(1, 1, 13);
    GameObjectRecord *right = PutEnemy(3, 1, 13);
    PutSoft(1, 2);
    PutSoft(3, 2);
    PutSoft(4, 1);
    ASSERT_NE(LayBomb(1, 2, 1), nullptr);
    int frames = StepUntil([] { return gGame->enemiesLeft == 0; }, 400);
    ASSERT_LT(frames, 400);
    EXPECT_EQ(left->cellX, 1);  // neither could move
    EXPECT_EQ(right->cellX, 3);
    EXPECT_EQ(gPlayers[0]->score, 100 * 2 + 100 * 1);
    EXPECT_EQ(gGame->killMultiplier, 0);
    EXPECT_EQ(Played(Effects(), 7), 2);
    std::vector<int> multipliers;
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next)
        if (IsObjectKind(o, KIND_SCORE)) multipliers.push_back(o->hitPoints);
    EXPECT_EQ(multipliers, (std::vector<int>{2, 1}));
}

// Fire of no player (owner 0) kills without paying.
TEST_F(EnemyScenarioTest, AnEnemysBlastKillsWithoutPaying)
{
    ParkPlayer(13, 11);
    PutEnemy(3, 1, 13);
    PutSoft(3, 2);
    PutSoft(4, 1);
    SpawnFire(2, 1, 0, 4, 1, 32, 0, 0);
    ASSERT_LT(StepUntil([] { return gGame->enemiesLeft == 0; }, 200), 200);
    EXPECT_EQ(gPlayers[0]->score, 0);
    EXPECT_EQ(Count(KIND_SCORE), 0);
}

// A chaser within five cells walks the shortest way round the pillars to player 1, turning at the
// crossings; the walk takes exactly the path's length in cells.
TEST_F(EnemyScenarioTest, AChaserWalksTheShortestPathToThePlayer)
{
    ParkPlayer(7, 7);
    GameObjectRecord *chaser = PutEnemy(3, 3, 2);  // 32 frames per cell
    ASSERT_LT(StepUntil([&] { return chaser->cellX == 7 && chaser->cellY == 7; }, 600), 600);
    // It sets off on frame 32 (its first step frame after the appear frames) and never stands: 4 cells
    // across and 4 down.
    EXPECT_EQ(gGame->frameCounter, 32 + 8 * 32);
}

// The boss fires its block shots one per direction on four frames running: right, left, up, down.
TEST_F(EnemyScenarioTest, TheBossFiresABurstOfBlockShots)
{
    ParkPlayer(13, 11);
    GameObjectRecord *boss = PutEnemy(7, 5, ENEMY_CORE_MECH_KIND);
    Step(8);
    boss->behaviour = EnemyShootState;
    boss->stateFrames = SHOOT_STATE_FRAMES;
    std::vector<int> directions, frames;
    for (int i = 0; i < SHOOT_STATE_FRAMES + 2; i++) {
        size_t before = Shots().size();
        Step();
        std::vector<GameObjectRecord *> shots = Shots();
        for (size_t k = before; k < shots.size(); k++) {
            directions.push_back(shots[k]->turnChance);  // the initial direction
            frames.push_back(i);
            EXPECT_EQ(shots[k]->variant, 3);
            EXPECT_EQ(shots[k]->specialKind, 2);  // block shots
        }
    }
    EXPECT_EQ(directions, (std::vector<int>{DIR_RIGHT, DIR_LEFT, DIR_UP, DIR_DOWN}));
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[3] - frames[0], 3);
    EXPECT_EQ(boss->behaviour, EnemyMain);
}

// A line-of-sight shooter that sees player 1 down its row fires at it on one of its cell stops.
TEST_F(EnemyScenarioTest, AShooterFiresAtTheSightedPlayer)
{
    ParkPlayer(11, 1);
    GameObjectRecord *shooter = PutEnemy(3, 1, 18);
    ASSERT_LT(StepUntil([&] { return !Shots().empty(); }, 400), 400);
    GameObjectRecord *shot = Shots().front();
    EXPECT_EQ(shooter->sightingDirection, DIR_RIGHT);
    EXPECT_EQ(shot->turnChance, DIR_RIGHT);
    EXPECT_EQ(shot->variant, 1);
    EXPECT_EQ(shot->specialKind, 0);
    EXPECT_EQ(shot->cellY, 1);
    EXPECT_EQ(Played(Voices(), 25), 1);
    EXPECT_EQ(Played(Effects(), 2), 1);
}

// A block shot that reaches a soft block breaks it into a kind-12 enemy.
TEST_F(EnemyScenarioTest, BlockShotsTurnSoftBlocksIntoEnemies)
{
    ParkPlayer(13, 11);
    GameObjectRecord *boss = PutEnemy(7, 5, ENEMY_CORE_MECH_KIND);
    PutFixed(7, 4);
    PutFixed(7, 6);
    PutFixed(8, 5);
    PutSoft(5, 5);  // the left shot runs into it
    Step(8);
    boss->behaviour = EnemyShootState;
    boss->stateFrames = SHOOT_STATE_FRAMES;
    int before = gGame->enemiesLeft;
    StepUntil([] { return gGame->enemiesLeft > 1; }, 200);
    EXPECT_EQ(gGame->enemiesLeft, before + 1);
    std::vector<GameObjectRecord *> made = At(5, 5, KIND_ENEMY);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->variant, 12);
}

// Fire on the boss releases a kind-10 enemy per hit; its death leaves the core-mech block, whose
// breaking opens the goal.
TEST_F(EnemyScenarioTest, TheBossReleasesEnemiesAndItsCoreMechBlock)
{
    ParkPlayer(13, 11);
    GameObjectRecord *goal = PutGoal(11, 9);
    GameObjectRecord *boss = PutEnemy(3, 1, ENEMY_CORE_MECH_KIND);
    EXPECT_EQ(gGame->coreMechsLeft, 1);
    PutFixed(3, 2);  // boxed: walls, fixed blocks and the bomb
    PutFixed(4, 1);
    Step(8);
    boss->hitPoints = 1;  // one hit kills
    ASSERT_NE(LayBomb(1, 2, 1), nullptr);
    ASSERT_LT(StepUntil([&] { return boss->active == 0; }, 400), 400);
    EXPECT_EQ(gPlayers[0]->score, 10000);
    // The kind-10 enemy of the hit and the core-mech block on the boss's own cell.
    std::vector<GameObjectRecord *> released = At(3, 1, KIND_ENEMY);
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0]->variant, 10);
    GameObjectRecord *block = First(3, 1, KIND_BLOCK);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->moveMode, CONTENT_CORE_MECH);
    EXPECT_EQ(gGame->coreMechsLeft, 1);
    EXPECT_EQ(goal->variant, 0);
    // A second blast breaks the block: the last core mech is gone and the goal opens.
    gPlayers[0]->bombsAvailable = 1;
    ClearSounds();
    LayBomb(1, 2, 1);
    ASSERT_LT(StepUntil([] { return gGame->coreMechsLeft == 0; }, 400), 400);
    EXPECT_EQ(Played(Effects(), 9), 1);
    Step(2);
    GameObjectRecord *open = First(11, 9, KIND_GOAL);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->variant, 1);
}

// A boss dying where no block can go counts its core mech down at once: the stage can be won.
TEST_F(EnemyScenarioTest, ABossWithNoCellForItsBlockCountsDownAtOnce)
{
    ParkPlayer(13, 11);
    GameObjectRecord *boss = PutEnemy(3, 1, ENEMY_CORE_MECH_KIND);
    PutFixed(3, 2);
    PutSoft(4, 1);
    PutSoft(2, 1);
    Step(8);
    boss->hitPoints = 1;
    PutItem(3, 1, 5);                    // protected from fire for its first 80 frames
    SpawnFire(3, 1, 0, 4, 0, 32, 1, 0);  // player 1's fire on the boss alone
    ClearSounds();
    ASSERT_LT(StepUntil([&] { return boss->active == 0; }, 100), 100);
    EXPECT_EQ(gGame->coreMechsLeft, 0);
    EXPECT_EQ(Played(Effects(), 9), 1);
    EXPECT_EQ(Count(KIND_BLOCK, BLOCK_SOFT), 2);  // no core-mech block came
}

// A warping enemy (warp code 103) leaves a danger bomb or trap item where it stood.
TEST_F(EnemyScenarioTest, AWarpLeavesItsDropBehind)
{
    ParkPlayer(13, 11);
    gGame->timeLeft = 100;  // warps only below 185
    GameObjectRecord *e = PutEnemy(5, 5, 3);
    PutFixed(5, 4);
    PutFixed(5, 6);
    PutFixed(4, 5);
    PutFixed(6, 5);
    ASSERT_LT(StepUntil([&] { return e->behaviour == EnemyWarpState; }, 5000), 5000);
    EXPECT_EQ(Played(Voices(), 31), 1);
    ASSERT_LT(StepUntil([&] { return e->cellX != 5 || e->cellY != 5; }, WARP_STATE_FRAMES), WARP_STATE_FRAMES);
    EXPECT_EQ(Played(Effects(), 13), 1);
    GameObjectRecord *item = First(5, 5, KIND_ITEM);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->variant == 20 || item->variant == 21) << item->variant;
    EXPECT_EQ(QueryCellBlocker(e->cellX, e->cellY), 0);
    EXPECT_EQ(e->left, e->cellX * CELL_SIZE);
}

// Far from a warp's time: an enemy of warp code 1 only stops now and then.
TEST_F(EnemyScenarioTest, NoWarpWhileTheClockIsHigh)
{
    ParkPlayer(13, 11);
    gGame->timeLeft = 190;
    GameObjectRecord *e = PutEnemy(5, 5, 27);
    for (int i = 0; i < 3000; i++) {
        Step();
        ASSERT_NE(e->behaviour, EnemyWarpState) << i;
    }
}

// The bomb eater walks onto a player's bomb and eats it: no blast, the bomb comes home.
TEST_F(EnemyScenarioTest, TheBombEaterEatsAPlayersBomb)
{
    ParkPlayer(13, 11);
    gPlayers[0]->capacity = 1;
    GameObjectRecord *eater = PutEnemy(5, 1, 4);
    Step(8);
    GameObjectRecord *bomb = LayBomb(1, 8, 1);
    ASSERT_NE(bomb, nullptr);
    EXPECT_EQ(gPlayers[0]->bombsAvailable, 0);
    ASSERT_LT(StepUntil([&] { return bomb->active == 0; }, 150), 150);
    EXPECT_EQ(Count(KIND_FIRE), 0);
    EXPECT_GE(eater->cellX, 7);
    EXPECT_EQ(gPlayers[0]->bombsAvailable, 1);
    EXPECT_GE(Played(Voices(), 29), 1);
    Step(200);
    EXPECT_EQ(Count(KIND_FIRE), 0);
}

// An enemy's bomb (owner 0) under the bomb eater is not eaten: it goes off.
TEST_F(EnemyScenarioTest, TheBombEaterLeavesEnemyBombs)
{
    ParkPlayer(13, 11);
    PutEnemy(6, 1, 4);
    GameObjectRecord *bomb = SpawnBomb(0, 6, 1, 1, 90, 0, 0, 4);
    ASSERT_LT(StepUntil([&] { return bomb->active == 0; }, 200), 200);
    EXPECT_NE(First(6, 1, KIND_FIRE), nullptr);
}

// Bomb layers: kind 10 stops to lay an owner-0 bomb and works 100 frames; kind 17 lays owner-10
// bombs as it walks on.
TEST_F(EnemyScenarioTest, BombLayersLeaveTheirBombs)
{
    ParkPlayer(13, 11);
    GameObjectRecord *layer = PutEnemy(5, 5, 10);
    PutEnemy(9, 9, 17);
    GameObjectRecord *first = nullptr, *walkerBomb = nullptr;
    for (int i = 0; i < 3000 && !(first && walkerBomb); i++) {
        Step();
        for (GameObjectRecord *b = GetFirstBomb(); b; b = b->bombNext) {
            if (!first && b->owner == OWNER_ENEMY) {
                first = b;
                EXPECT_EQ(layer->behaviour, EnemyWorkState);
                EXPECT_EQ(b->cellX, layer->cellX);
                EXPECT_EQ(b->cellY, layer->cellY);
                EXPECT_EQ(b->timer, BOMB_ENEMY_FUSE - 1);  // the laying runs the fuse once
            }
            if (!walkerBomb && b->owner == OWNER_ENEMY_KICKABLE) walkerBomb = b;
        }
    }
    EXPECT_NE(first, nullptr);
    EXPECT_NE(walkerBomb, nullptr);
}

// The bomb-shy enemy sees the bomb to its right and takes any other way: the scripted flee draws
// give right twice, then left.
TEST_F(EnemyScenarioTest, TheBombShyEnemyFlees)
{
    ParkPlayer(13, 11);
    GameObjectRecord *shy = PutEnemy(5, 1, 17);
    LayBomb(1, 7, 1);
    Step(16);  // the appear frames, then up to its first step frame
    ASSERT_EQ(gGame->frameCounter % 16, 0);
    int before = CountSimDraws();
    // The start player, the flee draws, then no bomb of its own (which would turn it about).
    ScriptRandom({0, DIR_RIGHT, DIR_RIGHT, DIR_LEFT, 5});
    Step();
    EXPECT_EQ(shy->chosenDirection, DIR_RIGHT);
    EXPECT_EQ(shy->facing, DIR_LEFT);
    EXPECT_EQ(shy->moving, 1);
    EXPECT_EQ(CountSimDraws() - before, 5);
    Step(15);
    EXPECT_EQ(shy->cellX, 4);
}

}  // namespace
