// The enemies' direction choice on scripted fields: the chase with its tie-break and depth limit, the
// line of sight and its limit, the shooters' aim through soft blocks, the bomb watch and bomb fear,
// homing shots, and an absent player 2.
#include <gtest/gtest.h>

#include "game/enemy_kinds.h"
#include "game/path_search.h"
#include "tests/game/enemy_field.h"

namespace {

class PathSearchTest : public EnemyFieldTest {
protected:
    // The direction the enemy of `kind` at (x, y) chooses.
    int Choose(int x, int y, int kind)
    {
        GameObjectRecord *e = PutEnemy(x, y, kind);
        EXPECT_NE(e, nullptr);
        ChooseEnemyDirection(e);
        last = e;
        return e->chosenDirection;
    }
    GameObjectRecord *last = nullptr;
};

// ---- chase ---------------------------------------------------------------------------------------
TEST_F(PathSearchTest, ChaserOutOfRangeGetsNoneWithoutSearching)
{
    BuildWalls(true);
    PlacePlayer(1, 1, 1);
    PlacePlayer(2, 13, 11);
    gEnemyGrid->bestLength = 777;  // a search would reset it
    EXPECT_EQ(Choose(7, 7, 2), DIR_NONE);  // 6 cells from both players
    EXPECT_EQ(gEnemyGrid->bestLength, 777);
    EXPECT_EQ(Choose(7, 6, 2), DIR_NONE);  // 6 across from player 1, 5 down from it: not both
    EXPECT_EQ(gEnemyGrid->bestLength, 777);
}

// The chase tests run on the pillar grid of the real stages: on an open field the depth-first search
// would enumerate millions of paths.
TEST_F(PathSearchTest, ChaserTakesTheShortestPathAndPrefersDownRightUpLeft)
{
    BuildWalls(true);
    PlacePlayer(1, 5, 6);
    EXPECT_EQ(Choose(5, 5, 2), DIR_DOWN);   // right below
    PlacePlayer(1, 7, 7);
    EXPECT_EQ(Choose(5, 5, 2), DIR_DOWN);   // down-first and right-first paths tie: down
    PlacePlayer(1, 3, 3);
    EXPECT_EQ(Choose(5, 5, 2), DIR_UP);     // up-first and left-first tie: up before left
    PlacePlayer(1, 7, 3);
    EXPECT_EQ(Choose(5, 5, 2), DIR_RIGHT);  // right-first and up-first tie: right before up
    PutSoft(5, 6);
    PlacePlayer(1, 5, 7);
    EXPECT_EQ(Choose(5, 5, 2), DIR_RIGHT);  // round the block: right and left tie, right first
    EXPECT_EQ(gEnemyGrid->bestLength, 6);
}

// Row 4 walled off but for the corridor at column gap; the enemy at (4, 3), player 1 at (4, 5).
static void WallRowFourBut(int gap)
{
    for (int x = 1; x <= 13; x += 2)
        if (x != gap) SpawnFixedBlock(x, 4, 0);
}

TEST_F(PathSearchTest, ChaserFindsADetourOfSixteenCellsButNotLonger)
{
    BuildWalls(true);
    PlacePlayer(1, 4, 5);
    WallRowFourBut(9);  // 5 + 2 + 5 cells
    EXPECT_EQ(Choose(4, 3, 2), DIR_RIGHT);
    EXPECT_EQ(gEnemyGrid->bestLength, 12);
    ClearAllObjects();
    BuildWalls(true);
    WallRowFourBut(11);  // 7 + 2 + 7 = 16
    EXPECT_EQ(Choose(4, 3, 2), DIR_RIGHT);
    EXPECT_EQ(gEnemyGrid->bestLength, 16);
    ClearAllObjects();
    BuildWalls(true);
    WallRowFourBut(13);  // 9 + 2 + 9 = 20: beyond a path's 16 cells
    EXPECT_EQ(Choose(4, 3, 2), DIR_NONE);
    EXPECT_EQ(gEnemyGrid->depth, 0);
}

TEST_F(PathSearchTest, ChaserPassesSoftBlocksOnlyWithPassKindOne)
{
    BuildWalls(true);
    PlacePlayer(1, 5, 5);
    PutSoft(5, 4);
    PutSoft(4, 3);
    PutSoft(6, 3);
    PutSoft(5, 2);
    EXPECT_EQ(Choose(5, 3, 2), DIR_NONE);  // walled in by soft blocks and pillars
    GameObjectRecord *e = last;
    e->passKind = 1;
    ChooseEnemyDirection(e);
    EXPECT_EQ(e->chosenDirection, DIR_DOWN);
}

TEST_F(PathSearchTest, ChaserIgnoresPlayerTwoWhenAbsent)
{
    BuildWalls(true);
    PlacePlayer(1, 11, 9);
    PlacePlayer(2, 1000, 1000);
    gEnemyGrid->bestLength = 777;
    EXPECT_EQ(Choose(3, 3, 2), DIR_NONE);
    EXPECT_EQ(gEnemyGrid->bestLength, 777);  // out of range: no search
    ResetEnemyGrid(last);
    EXPECT_EQ(gEnemyGrid->distance, 8 + 6);
    PlacePlayer(2, 3, 5);
    ChooseEnemyDirection(last);
    EXPECT_EQ(last->chosenDirection, DIR_DOWN);
    EXPECT_EQ(gEnemyGrid->distance, 2);
}

// Down leads to player 1 first, but player 2 up the column is nearer: the search goes on until a path
// as short as the distance to the nearer player is found, and that one wins.
TEST_F(PathSearchTest, ChaserGoesForTheNearerPlayer)
{
    BuildWalls(true);
    PlacePlayer(1, 5, 9);
    PlacePlayer(2, 5, 3);
    EXPECT_EQ(Choose(5, 5, 2), DIR_UP);
    EXPECT_EQ(gEnemyGrid->distance, 2);
    EXPECT_EQ(gEnemyGrid->bestLength, 2);
    PlacePlayer(2, 5, 1);  // now player 1 is the nearer
    ChooseEnemyDirection(last);
    EXPECT_EQ(last->chosenDirection, DIR_DOWN);
    EXPECT_EQ(gEnemyGrid->bestLength, 4);
}

TEST_F(PathSearchTest, UnreachableTargetEndsAfterTheWholeSearch)
{
    BuildWalls(true);
    PlacePlayer(1, 7, 7);
    // The player is boxed in by soft blocks; the chaser enumerates every path and finds none.
    PutSoft(7, 6);
    PutSoft(7, 8);
    PutSoft(6, 7);
    PutSoft(8, 7);
    EXPECT_EQ(Choose(3, 3, 2), DIR_NONE);
    EXPECT_EQ(gEnemyGrid->depth, 0);
    for (int s : gEnemyGrid->cellStates) EXPECT_NE(s, SEARCH_CELL_ON_PATH);
}

// ---- line of sight -------------------------------------------------------------------------------
TEST_F(PathSearchTest, SightSeesTenCellsAlongAFreeLine)
{
    BuildWalls(true);
    PlacePlayer(1, 11, 1);
    EXPECT_EQ(Choose(1, 1, 0), DIR_RIGHT);
    PlacePlayer(1, 12, 1);
    EXPECT_EQ(Choose(1, 1, 0), DIR_NONE);  // 11 cells
    PlacePlayer(1, 1, 11);
    EXPECT_EQ(Choose(1, 1, 0), DIR_DOWN);
    PlacePlayer(1, 1, 5);
    EXPECT_EQ(Choose(1, 11, 0), DIR_UP);
    PlacePlayer(1, 3, 1);
    EXPECT_EQ(Choose(13, 1, 0), DIR_LEFT);
}

TEST_F(PathSearchTest, SightAlignedByOneColumnLooksDownItsOwnColumn)
{
    BuildWalls(false);
    PlacePlayer(1, 6, 9);
    EXPECT_EQ(Choose(5, 3, 0), DIR_NONE);
    EXPECT_EQ(last->sightingDirection, DIR_NONE);
    PlacePlayer(1, 8, 9);  // not aligned at all
    EXPECT_EQ(Choose(5, 3, 0), DIR_NONE);
}

// A player one row aside lets the enemy look along its own row, where nobody stands.
TEST_F(PathSearchTest, SightAlignedByOneRowLooksAlongItsOwnRow)
{
    BuildWalls(false);
    PlacePlayer(1, 9, 4);
    EXPECT_EQ(Choose(3, 5, 0), DIR_NONE);
    PlacePlayer(1, 9, 5);
    EXPECT_EQ(Choose(3, 5, 0), DIR_RIGHT);
    PlacePlayer(1, 1, 6);
    EXPECT_EQ(Choose(3, 5, 0), DIR_NONE);
    PlacePlayer(1, 1, 5);
    EXPECT_EQ(Choose(3, 5, 0), DIR_LEFT);
}

TEST_F(PathSearchTest, SightIsStoppedBySoftBlocksButNotByBombs)
{
    BuildWalls(true);
    PlacePlayer(1, 7, 1);
    PutBomb(4, 1, 1);
    EXPECT_EQ(Choose(1, 1, 0), DIR_RIGHT);
    PutSoft(5, 1);
    EXPECT_EQ(Choose(1, 1, 0), DIR_NONE);
}

TEST_F(PathSearchTest, ShooterAimsThroughSoftBlocksWithoutWalkingThere)
{
    BuildWalls(true);
    PlacePlayer(1, 7, 1);
    PutSoft(4, 1);
    EXPECT_EQ(Choose(1, 1, 5), DIR_NONE);
    EXPECT_EQ(last->sightingDirection, DIR_RIGHT);
    PutFixed(5, 1);
    EXPECT_EQ(Choose(1, 1, 5), DIR_NONE);
    EXPECT_EQ(last->sightingDirection, DIR_NONE);  // a fixed block ends the aim
}

TEST_F(PathSearchTest, ShooterWithAFreeLineWalksAndAimsTheSameWay)
{
    BuildWalls(true);
    PlacePlayer(1, 1, 6);
    EXPECT_EQ(Choose(1, 1, 6), DIR_DOWN);
    EXPECT_EQ(last->sightingDirection, DIR_DOWN);
    PlacePlayer(1, 9, 9);
    ChooseEnemyDirection(last);
    EXPECT_EQ(last->chosenDirection, DIR_NONE);  // no longer aligned: both cleared
    EXPECT_EQ(last->sightingDirection, DIR_NONE);
}

TEST_F(PathSearchTest, HomingShotsLookOnlyWhenAligned)
{
    BuildWalls(true);
    PlacePlayer(1, 5, 1);
    GameObjectRecord *homing = SpawnShot(0, 4, 1, 1, 8, 0, 1, 0, 0, DIR_DOWN, 3, 3);
    ChooseEnemyDirection(homing);
    EXPECT_EQ(homing->chosenDirection, DIR_RIGHT);
    GameObjectRecord *plain = SpawnShot(0, 1, 1, 1, 8, 0, 1, 0, 0, DIR_DOWN, 0, 1);
    ChooseEnemyDirection(plain);
    EXPECT_EQ(plain->chosenDirection, DIR_NONE);
    PlacePlayer(1, 9, 9);
    ChooseEnemyDirection(homing);
    EXPECT_EQ(homing->chosenDirection, DIR_NONE);
    homing->active = 0;  // inactive objects are left alone
    homing->chosenDirection = 77;
    ChooseEnemyDirection(homing);
    EXPECT_EQ(homing->chosenDirection, 77);
}

// ---- bombs ---------------------------------------------------------------------------------------
TEST_F(PathSearchTest, BombFearSeesThreeCellsAndBombWatchTen)
{
    BuildWalls(true);
    PlacePlayer(1, 13, 11);
    PutBomb(4, 1, 1);
    EXPECT_EQ(Choose(1, 1, 17), DIR_RIGHT);  // bomb-shy, 3 cells
    EXPECT_EQ(Choose(1, 1, 4), DIR_RIGHT);   // bomb watcher
    EXPECT_EQ(Choose(9, 1, 17), DIR_NONE);   // 5 cells to its left
    EXPECT_EQ(Choose(5, 1, 17), DIR_LEFT);
}

TEST_F(PathSearchTest, BombFearLimitAndEnemyBombs)
{
    BuildWalls(true);
    PlacePlayer(1, 13, 11);
    PutBomb(5, 1, 2);
    EXPECT_EQ(Choose(1, 1, 17), DIR_NONE);   // 4 cells: not seen
    EXPECT_EQ(Choose(2, 1, 17), DIR_RIGHT);  // 3 cells
    EXPECT_EQ(Choose(1, 1, 4), DIR_RIGHT);   // the watcher sees 4
    PutBomb(1, 3, 0);                         // an enemy's bomb blocks the view down
    PutBomb(1, 5, 1);
    EXPECT_EQ(Choose(1, 2, 17), DIR_NONE);
    EXPECT_EQ(Choose(1, 4, 17), DIR_DOWN);
    PutBomb(11, 5, 10);                       // owner 10 counts as a player's
    EXPECT_EQ(Choose(11, 7, 4), DIR_UP);
}

TEST_F(PathSearchTest, BombWatchSeesTenCells)
{
    BuildWalls(false);
    PlacePlayer(1, 1000, 1000);
    PutBomb(12, 5, 3);
    EXPECT_EQ(Choose(2, 5, 4), DIR_RIGHT);  // 10 cells
    EXPECT_EQ(Choose(1, 5, 4), DIR_NONE);   // 11 cells
}

// A bomb met farther than the best one leaves bombSeen set, and the next line takes it for a bomb on
// its first cell: the watcher turns right, where there is none. Kept as the game behaves.
TEST_F(PathSearchTest, BombWatchCarriesAStaleSightingIntoTheNextLine)
{
    BuildWalls(true);
    PlacePlayer(1, 1000, 1000);
    PutBomb(5, 7, 1);  // down, 2 cells: the best
    PutBomb(5, 2, 1);  // up, 3 cells: seen, not better
    EXPECT_EQ(Choose(5, 5, 4), DIR_RIGHT);
    EXPECT_EQ(gEnemyGrid->bestLength, 1);
}

// ---- guards --------------------------------------------------------------------------------------
TEST_F(PathSearchTest, SearchesStayOnTheFieldWithoutWalls)
{
    PlacePlayer(1, 0, 4);
    EXPECT_EQ(Choose(0, 0, 2), DIR_DOWN);
    EXPECT_EQ(Choose(14, 12, 4), DIR_NONE);
    PlacePlayer(1, 14, 3);
    EXPECT_EQ(Choose(14, 12, 0), DIR_UP);
    PlacePlayer(1, 5, 0);
    EXPECT_EQ(Choose(0, 0, 5), DIR_RIGHT);
    EXPECT_EQ(Choose(14, 0, 0), DIR_LEFT);
}

// A bomb search asked for more than a path holds looks no farther than a path's cells.
TEST_F(PathSearchTest, BombSearchLimitIsHeldToThePathStack)
{
    BuildWalls(false);
    PlacePlayer(1, 1000, 1000);
    PutBomb(13, 5, 1);
    GameObjectRecord *e = PutEnemy(1, 5, 4);
    EXPECT_EQ(SearchBombDirection(e, 1000), DIR_RIGHT);  // 12 cells
    EXPECT_EQ(gEnemyGrid->bestLength, 12);
    EXPECT_EQ(gEnemyGrid->depth, 0);
    EXPECT_EQ(SearchBombDirection(e, 12), DIR_RIGHT);
    EXPECT_EQ(SearchBombDirection(e, 11), DIR_NONE);
}

TEST_F(PathSearchTest, WithoutTheGridNothingIsSeen)
{
    BuildWalls(true);
    PlacePlayer(1, 1, 3);
    GameObjectRecord *e = PutEnemy(1, 1, 0);
    e->chosenDirection = DIR_LEFT;
    FreeEnemyGrid();
    ChooseEnemyDirection(e);
    EXPECT_EQ(e->chosenDirection, DIR_NONE);
    EXPECT_EQ(ResetEnemyGrid(e), -1);
    CreateEnemyGrid();
    ChooseEnemyDirection(e);
    EXPECT_EQ(e->chosenDirection, DIR_DOWN);
}

}  // namespace
