// Cell queries and movers: the answer of the oldest object, the passability matrix, taken and drop
// cells, the scatter (also on a full field), boxed-in enemies, the step timing, shots at blocks and the
// enemies' special-action gates.
#include <set>
#include <string>
#include <vector>

#include "game/bombs.h"
#include "game/cells.h"
#include "game/object_states.h"
#include "tests/game/stage_sim.h"

namespace {

class CellsQueriesTest : public StageSimTest {
protected:
    void SetUp() override
    {
        StageSimTest::SetUp();
        BuildArena();
    }
};

TEST_F(CellsQueriesTest, TheOlderOfABombAndABlockInOneCellAnswers)
{
    SpawnBomb(0, 3, 3, 2, 150, 1, 0, 4);
    SpawnSoftBlock(3, 3, 1, 100, 1);
    EXPECT_EQ(QueryCellBlocker(3, 3), 1);  // the bomb came first
    SpawnSoftBlock(5, 3, 1, 100, 1);
    SpawnBomb(0, 5, 3, 2, 150, 1, 0, 4);
    EXPECT_EQ(QueryCellBlocker(5, 3), 2);
    EXPECT_EQ(QueryCellBlocker(2, 2), 2);  // a pillar
    EXPECT_EQ(QueryCellBlocker(7, 7), 0);
    EXPECT_EQ(QueryCellBlocker(-1, 3), 2);  // outside counts as wall
    EXPECT_EQ(QueryCellBlocker(15, 3), 2);
}

TEST_F(CellsQueriesTest, PassabilityByPassFlagsAndKick)
{
    SpawnSoftBlock(3, 3, 1, 100, 1);
    SpawnBomb(0, 5, 3, 2, 150, 1, 0, 4);
    PlayerRecord *p = gPlayers[0];
    struct Case {
        int passFlags, kick, soft, bomb, fixed;
    };
    const Case cases[] = {
        {0, 0, 1, 1, 2}, {1, 0, 0, 1, 2}, {2, 0, 1, 0, 2}, {3, 0, 0, 0, 2}, {0, 1, 1, 0, 2}, {1, 1, 0, 0, 2},
    };
    for (const Case &c : cases) {
        p->passFlags = c.passFlags;
        p->kick = (uint8_t)c.kick;
        EXPECT_EQ(IsCellPassableFor(p, 3, 3), c.soft) << c.passFlags << "/" << c.kick;
        EXPECT_EQ(IsCellPassableFor(p, 5, 3), c.bomb) << c.passFlags << "/" << c.kick;
        EXPECT_EQ(IsCellPassableFor(p, 4, 4), c.fixed) << c.passFlags << "/" << c.kick;
        EXPECT_EQ(IsCellPassableFor(p, 7, 7), 0);
    }
    EXPECT_EQ(IsCellPassableFor(p, -1, 5), 2);
}

TEST_F(CellsQueriesTest, TakenCellsIncludePlayersAndDropCellsIgnoreEnemies)
{
    PutEnemy(5, 5, 13);
    SpawnFire(7, 7, 0, 4, 0, 32, 1, 0);
    EXPECT_EQ(IsCellTaken(5, 5), 1);
    EXPECT_EQ(IsCellBlockedForDrop(5, 5), 0);
    EXPECT_EQ(IsCellTaken(1, 1), 1);  // player 1's cell
    EXPECT_EQ(IsCellBlockedForDrop(1, 1), 0);
    EXPECT_EQ(IsCellTaken(7, 7), 0);  // fire takes nothing
    PutItem(9, 9, 4);
    PutGoal(9, 7);
    EXPECT_EQ(IsCellBlockedForDrop(9, 9), 1);
    EXPECT_EQ(IsCellBlockedForDrop(9, 7), 1);
    EXPECT_EQ(IsCellBlockedForDrop(0, 5), 1);
}

TEST_F(CellsQueriesTest, ScatterPutsEveryExtraPowerUpOnItsOwnFreeCell)
{
    PlayerRecord *p = gPlayers[0];
    p->capacity = 4;
    p->fireRange = 4;
    p->speed = 4;
    p->kick = 1;
    p->lineBomb = 1;
    ScatterPlayerPowerUps(p);
    EXPECT_EQ(p->capacity, 1);
    EXPECT_EQ(p->fireRange, 2);
    EXPECT_EQ(p->speed, 2);
    EXPECT_EQ(p->kick, 0);
    EXPECT_EQ(p->lineBomb, 0);
    std::multiset<int> kinds;
    std::set<std::string> cells;
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        if (!IsObjectKind(o, KIND_ITEM)) continue;
        kinds.insert(o->variant);
        cells.insert(std::to_string(o->cellX) + "," + std::to_string(o->cellY));
    }
    EXPECT_EQ(kinds, (std::multiset<int>{4, 4, 4, 5, 5, 6, 6, 19, 22}));
    EXPECT_EQ(cells.size(), 9u);
}

TEST_F(CellsQueriesTest, ScatterEndsOnAFullField)
{
    for (int y = 1; y < FIELD_HEIGHT - 1; y++)
        for (int x = 1; x < FIELD_WIDTH - 1; x++)
            if (!(x % 2 == 0 && y % 2 == 0)) PutSoft(x, y);
    PlayerRecord *p = gPlayers[0];
    p->capacity = 8;
    p->kick = 1;
    ScatterPlayerPowerUps(p);
    EXPECT_EQ(p->capacity, 1);
    EXPECT_EQ(p->kick, 0);
    EXPECT_EQ(Count(KIND_ITEM), 0);
}

TEST_F(CellsQueriesTest, ScatterFindsTheLastFreeCellInOrderAfterTheDraws)
{
    for (int y = 1; y < FIELD_HEIGHT - 1; y++)
        for (int x = 1; x < FIELD_WIDTH - 1; x++)
            if (!(x % 2 == 0 && y % 2 == 0) && !(x == 11 && y == 9)) PutSoft(x, y);
    PlayerRecord *p = gPlayers[0];
    p->capacity = 2;
    ScatterPlayerPowerUps(p);
    EXPECT_NE(First(11, 9, KIND_ITEM), nullptr);
}

TEST_F(CellsQueriesTest, ABoxedInEnemyTriesEightTimesStandsAndRetriesAtItsNextStepFrame)
{
    GameObjectRecord *e = PutEnemy(5, 5, 13);  // wanderer, turn chance 0, 32 frames per cell
    PutSoft(5, 4);
    PutSoft(5, 6);
    PutSoft(4, 5);
    PutSoft(6, 5);
    SeedSimRandom(99);
    Step(65);  // frames 0..64: decisions at 32 and 64
    EXPECT_EQ(e->left, 5 * 32);
    EXPECT_EQ(e->top, 5 * 32);
    EXPECT_EQ(e->moving, 0);
    // per frame one start-player draw; per decision the crossing's turn draw, four random retries and
    // the shooter's draw
    EXPECT_EQ(CountSimDraws(), 65 + 2 * 6);
}

TEST_F(CellsQueriesTest, AnEnemyAtSixteenFramesPerCellStepsTwoPixelsAndTakesTheCellAtTheEnd)
{
    GameObjectRecord *e = PutEnemy(5, 3, 13);
    e->framesPerCell = 16;
    Step(16);  // appear, then the decision at frame 16 moves it up (its facing)
    ASSERT_EQ(e->moving, 0);
    Step();
    EXPECT_EQ(e->top, 3 * 32 - 2);
    EXPECT_EQ(e->cellY, 3);
    EXPECT_EQ(e->moving, 1);
    Step(14);
    EXPECT_EQ(e->cellY, 3);
    Step();
    EXPECT_EQ(e->top, 2 * 32);
    EXPECT_EQ(e->cellY, 2);
    EXPECT_EQ(e->moving, 0);
}

TEST_F(CellsQueriesTest, AFireShotAtAFixedBlockBurnsInPlaceForThirtyTwoFrames)
{
    GameObjectRecord *shot = SpawnShot(0, 2, 5, 1, 8, 0, 1, 0, 0, DIR_UP, 1, 2);
    Step(9);  // appear, then its first step runs into the wall
    EXPECT_STREQ(shot->kindName, "Fire");
    EXPECT_EQ(shot->top, 32);
    EXPECT_EQ(shot->behaviour, FireMain);
    Step(30);
    EXPECT_EQ(shot->active, 1);
    Step(2);
    EXPECT_EQ(shot->active, 0);
}

TEST_F(CellsQueriesTest, ABlockShotFliesOverASoftBlockAndAPlainShotDiesThere)
{
    PutSoft(5, 4);
    GameObjectRecord *blockShot = SpawnShot(0, 3, 5, 5, 8, 0, 1, 0, 0, DIR_UP, 2, 0);
    GameObjectRecord *plainShot = SpawnShot(0, 1, 5, 5, 8, 0, 1, 0, 0, DIR_UP, 0, 1);
    Step(9);
    EXPECT_EQ(blockShot->moving, 1);
    EXPECT_EQ(plainShot->active, 0);
    EXPECT_EQ(plainShot->moving, 0);
}

TEST_F(CellsQueriesTest, WarpNeedsTheDrawTheTimerAndLessThan185Seconds)
{
    GameObjectRecord *e = PutEnemy(5, 5, 1);  // warps, third voice flag
    e->behaviour = EnemyMain;
    gGame->timeLeft = 200;
    ScriptRandom({0});
    ChooseEnemyAction(e, 0);
    EXPECT_EQ(e->behaviour, EnemyMain);  // only stops
    EXPECT_EQ(e->moving, 0);
    gGame->timeLeft = 184;
    e->timer = 5;
    ScriptRandom({0});
    ChooseEnemyAction(e, 0);
    EXPECT_EQ(e->behaviour, EnemyMain);  // protected: nothing
    e->timer = 0;
    ClearSounds();
    ScriptRandom({0});
    ChooseEnemyAction(e, 0);
    EXPECT_EQ(e->behaviour, EnemyWarpState);
    EXPECT_EQ(e->stateFrames, 140);
    EXPECT_EQ(e->timer, 10);
    EXPECT_EQ(Voices(), (std::vector<int>{24}));
}

TEST_F(CellsQueriesTest, AShooterOnABombOrBlockCellDoesNotShoot)
{
    GameObjectRecord *e = PutEnemy(5, 5, 18);  // shot kind 1, 32 frames per cell
    e->behaviour = EnemyMain;
    e->sightingDirection = DIR_LEFT;
    SpawnBomb(0, 5, 5, 2, 150, 0, 0, 4);
    ScriptRandom({0});
    ChooseEnemyAction(e, 1);
    EXPECT_EQ(e->behaviour, EnemyMain);
    ScriptRandom({0});
    GameObjectRecord *free = PutEnemy(7, 5, 18);
    free->sightingDirection = DIR_LEFT;
    ChooseEnemyAction(free, 1);
    EXPECT_EQ(free->behaviour, EnemyShootState);
    EXPECT_EQ(free->stateFrames, 32);
    EXPECT_EQ(free->facing, DIR_LEFT);
}

TEST_F(CellsQueriesTest, TheBlockMakerStopsWorksAndLeavesABlockAndABurstOfFire)
{
    GameObjectRecord *e = PutEnemy(5, 5, 12);  // special kind 15
    e->behaviour = EnemyMain;
    ScriptRandom({0});
    ChooseEnemyAction(e, 0);
    EXPECT_EQ(e->behaviour, EnemyWorkState);
    EXPECT_EQ(e->stateFrames, 300);
    EXPECT_EQ(e->timer, 10);
    GameObjectRecord *block = First(5, 5, KIND_BLOCK);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->moveMode, 100);
    Step(301);
    EXPECT_EQ(e->behaviour, EnemyMain);
    int fires = 0;
    for (GameObjectRecord *f : At(5, 5, KIND_FIRE, false)) fires += f->timer <= 5;
    EXPECT_EQ(fires, 1);
}

}  // namespace
