// Player movement: flush stops, corner slides, soft blocks and block pass, walking off a fresh bomb,
// kicks and the slide's stops, and the double kick with the pool checked after every turn.
#include "game/bombs.h"
#include "game/player_input.h"
#include "game/player_move.h"
#include "game/stage_hooks.h"
#include "tests/game/player_arena.h"

namespace {

class PlayerMoveTest : public PlayerArenaTest {};

// One step toward a block from close by, the player's pixel before and after.
struct ShortStep {
    const char *what;
    int x, y, speed, pad, softX, softY;  // softX < 0: no soft block
    int endX, endY;
};

TEST_F(PlayerMoveTest, StepsIntoBlocksStopFlushOrSlideToThePixel)
{
    const ShortStep steps[] = {
        {"speed 5, 3 pixels short of a soft block", 61, 32, 5, GAME_PAD_RIGHT, 3, 1, 64, 32},
        {"down onto a pillar from 1 pixel above", 64, 31, 3, GAME_PAD_DOWN, -1, -1, 64, 32},
        {"right into a pillar 6 below its line: slides down", 32, 70, 2, GAME_PAD_RIGHT, -1, -1, 32, 72},
        {"up into a pillar 4 left of its line: no slide", 60, 96, 2, GAME_PAD_UP, -1, -1, 60, 96},
        {"up into a pillar 5 left of its line, left side shut", 59, 96, 2, GAME_PAD_UP, 1, 2, 59, 96},
    };
    for (const ShortStep &c : steps) {
        BuildWalls();
        if (c.softX >= 0) SpawnSoftBlock(c.softX, c.softY, 1, 100, 0);
        PlayerRecord *p = Join(1, 1, 1);
        p->speed = c.speed;
        PutAt(p, c.x, c.y);
        Hold(1, c.pad);
        Step(1);
        EXPECT_EQ(p->pixelX, c.endX) << c.what;
        EXPECT_EQ(p->pixelY, c.endY) << c.what;
        EXPECT_EQ(p->moving, 0) << c.what;
        Step(3);  // pushing on changes nothing more (or slides on)
        if (c.endX == c.x && c.endY == c.y) {
            EXPECT_EQ(p->pixelX, c.x) << c.what;
        }
    }
}

TEST_F(PlayerMoveTest, CornerSlideSteersRoundAPillarToThePixel)
{
    PlayerRecord *p = Join(1, 2, 3);
    PutAt(p, 59, 96);  // centre 5 pixels left of the pillar's centre line, walking up into it
    Hold(1, GAME_PAD_UP);
    int x = 59;
    while (x > 32) {
        Step(1);
        x = x - 2 < 32 ? 32 : x - 2;
        ASSERT_EQ(p->pixelX, x);
        ASSERT_EQ(p->pixelY, 96);
    }
    Step(1);  // on the free column's line: the way up is open
    EXPECT_EQ(p->pixelX, 32);
    EXPECT_EQ(p->pixelY, 94);
    EXPECT_EQ(p->facing, DIR_UP);
}

TEST_F(PlayerMoveTest, SoftBlocksStopOnlyWithoutBlockPassFixedBlocksAlways)
{
    SpawnSoftBlock(2, 1, 1, 100, 0);
    PlayerRecord *p = Join(1, 1, 1);
    Hold(1, GAME_PAD_RIGHT);
    Step(4);
    EXPECT_EQ(p->pixelX, 32);
    p->passFlags = 1;
    Step(16);
    EXPECT_EQ(p->pixelX, 64);  // on the soft block's cell after 16 turns at 2 pixels
    Step(180);
    EXPECT_EQ(p->pixelX, 13 * 32);  // and on to the wall, which stops it flush
    p->passFlags = 3;
    Step(3);
    EXPECT_EQ(p->pixelX, 13 * 32);
}

TEST_F(PlayerMoveTest, WalksOffItsOwnFreshBombThenTheBombBlocks)
{
    PlayerRecord *p = Join(1, 1, 1);
    Hold(1, p->bombButton);
    Step(1);
    ASSERT_NE(Find(KIND_BLOCK, 1, 1, BLOCK_BOMB), nullptr);
    Hold(1, GAME_PAD_RIGHT);
    Step(14);  // 32 -> 60: the inner box has just left the bomb
    EXPECT_EQ(p->pixelX, 60);
    Hold(1, GAME_PAD_LEFT);
    Step(3);
    EXPECT_EQ(p->pixelX, 60);  // stopped where it stood, no snap
    EXPECT_EQ(p->facing, DIR_LEFT);
}

TEST_F(PlayerMoveTest, StandingOnTheBombTheWayBackIsOpen)
{
    PlayerRecord *p = Join(1, 1, 1);
    Hold(1, p->bombButton);
    Step(1);
    Hold(1, GAME_PAD_RIGHT);
    Step(13);  // 58: the inner box still touches the bomb
    Hold(1, GAME_PAD_LEFT);
    Step(1);
    EXPECT_EQ(p->pixelX, 56);
}

TEST_F(PlayerMoveTest, BombPassWalksThroughBombsAndOwnerZeroBombsNeverBlock)
{
    GameObjectRecord *enemyBomb = SpawnBomb(0, 3, 1, 2, 150, OWNER_ENEMY, 0, 4);
    ASSERT_NE(enemyBomb, nullptr);
    PlayerRecord *p = Join(1, 1, 1);
    Hold(1, GAME_PAD_RIGHT);
    Step(20);
    EXPECT_EQ(p->pixelX, 72);  // through the enemy's bomb
    SpawnBomb(0, 6, 1, 2, 150, OWNER_ENEMY_KICKABLE, 0, 4);
    Step(60);
    EXPECT_EQ(p->pixelX, 160);  // a kickable enemy bomb blocks
    p->passFlags = 2;
    Step(10);
    EXPECT_EQ(p->pixelX, 180);
}

TEST_F(PlayerMoveTest, KickSnapsThePlayerAndTheBombSlidesToTheWall)
{
    GameObjectRecord *bomb = SpawnBomb(0, 3, 1, 2, 150, 1, 0, 4);
    PlayerRecord *p = Join(1, 1, 1);
    p->kick = 1;
    PutAt(p, 66, 32);
    Hold(1, GAME_PAD_RIGHT);
    Step(1);
    EXPECT_EQ(p->pixelX, 64);  // snapped flush
    EXPECT_EQ(bomb->facing, DIR_RIGHT);
    EXPECT_EQ(bomb->framesPerCell, 8);
    EXPECT_EQ(p->ownObject->kickedNext, bomb);
    EXPECT_EQ(Effects(15), 1);
    Hold(1, 0);
    Step(7);  // the rest of its appear frames: it has not moved
    EXPECT_EQ(bomb->left, 96);
    for (int i = 1; i <= 16; i++) {
        Step(1);
        ASSERT_EQ(bomb->left, 96 + 4 * i);  // 4 pixels a turn
        ASSERT_EQ(bomb->cellX, 3 + i / 8);  // the cell follows at the end of each step
        ASSERT_EQ(bomb->moving, 1);
    }
    Step(85 - 16);  // 10 cells of 8 turns, then the stop
    EXPECT_EQ(bomb->cellX, 13);  // before the right wall
    EXPECT_EQ(bomb->left, 13 * 32);
    EXPECT_EQ(bomb->framesPerCell == 0 || bomb->framesPerCell == 64, true);
    EXPECT_EQ(p->ownObject->kickedNext, nullptr);
    EXPECT_GE(Effects(1), 1);
}

TEST_F(PlayerMoveTest, WithoutKickABombJustStops)
{
    GameObjectRecord *bomb = SpawnBomb(0, 3, 1, 2, 150, 1, 0, 4);
    PlayerRecord *p = Join(1, 1, 1);
    PutAt(p, 63, 32);
    Hold(1, GAME_PAD_RIGHT);
    Step(3);
    EXPECT_EQ(p->pixelX, 63);
    EXPECT_EQ(bomb->framesPerCell, 0);
    EXPECT_EQ(Effects(15), 0);
}

class PlayerKickStopTest : public PlayerArenaTest {
protected:
    // Player 1 kicks a fresh bomb on (3, 1) to the right, then lets go; the bomb after `turns`.
    GameObjectRecord *KickAndWait(int turns)
    {
        PlayerRecord *p = Join(1, 1, 1);
        PlaceBomb(p, 3, 1);
        GameObjectRecord *bomb = Find(KIND_BLOCK, 3, 1, BLOCK_BOMB);
        p->kick = 1;
        PutAt(p, 66, 32);
        Hold(1, GAME_PAD_RIGHT);
        Step(1);
        Hold(1, 0);
        Step(turns);
        return bomb;
    }
};

TEST_F(PlayerKickStopTest, SlideStopsBeforeASoftBlock)
{
    SpawnSoftBlock(7, 1, 1, 100, 0);
    GameObjectRecord *bomb = KickAndWait(60);
    EXPECT_EQ(bomb->cellX, 6);
    EXPECT_EQ(bomb->left, 6 * 32);
    EXPECT_EQ(bomb->moving, 0);
}

TEST_F(PlayerKickStopTest, SlideStopsBeforeAnotherBomb)
{
    SpawnBomb(0, 8, 1, 2, 150, 2, 0, 4);
    GameObjectRecord *bomb = KickAndWait(60);
    EXPECT_EQ(bomb->cellX, 7);
    EXPECT_EQ(bomb->left, 7 * 32);
}

TEST_F(PlayerKickStopTest, SlideStopsAtAnotherPlayerUnlessItHasBombPass)
{
    Join(2, 9, 1);
    GameObjectRecord *bomb = KickAndWait(60);
    EXPECT_EQ(bomb->cellX, 8);
    EXPECT_EQ(bomb->left, 8 * 32);
}

TEST_F(PlayerKickStopTest, APlayerOutOfPlayNeverStopsTheBomb)
{
    PlayerRecord *q = Join(2, 9, 1);  // it fell here and the round end took it out
    q->inPlay = 0;
    q->lives = 0;
    q->cellX = q->cellY = 10000;
    GameObjectRecord *bomb = KickAndWait(90);
    EXPECT_EQ(bomb->cellX, 13);
}

TEST_F(PlayerKickStopTest, APlayerWithBombPassLetsTheBombThrough)
{
    Join(2, 9, 1)->passFlags = 2;
    GameObjectRecord *bomb = KickAndWait(90);
    EXPECT_EQ(bomb->cellX, 13);
}

TEST_F(PlayerKickStopTest, TheKickStopButtonStopsTheSlide)
{
    GameObjectRecord *bomb = KickAndWait(8 + 10);  // appear frames, then part of the slide
    ASSERT_EQ(bomb->framesPerCell, 8);
    PlayerRecord *p = GetPlayer(1);
    Hold(1, p->kickStopButton);
    Step(1);
    EXPECT_NE(bomb->framesPerCell, 8);
    EXPECT_EQ(bomb->left % 32, 0);
    EXPECT_EQ(p->ownObject->kickedNext, nullptr);
    int cell = bomb->cellX;
    Step(20);
    EXPECT_EQ(bomb->cellX, cell);
}

TEST_F(PlayerKickStopTest, ASlidingBombIsNotKickedAgainItStopsThePlayer)
{
    GameObjectRecord *bomb = KickAndWait(9);  // sliding now
    ASSERT_EQ(bomb->moving, 1);
    // Player 2 with the kick walks into it from the right.
    PlayerRecord *q = Join(2, 5, 1);
    q->kick = 1;
    PutAt(q, bomb->left + 33, 32);  // its next box reaches one pixel into the bomb
    q->padBits = GAME_PAD_LEFT;
    int kicks = Effects(15);
    ReadPlayerInput(2);
    EXPECT_EQ(Effects(15), kicks);
    EXPECT_EQ(q->pixelX, bomb->left + 33);
    EXPECT_EQ(bomb->facing, DIR_RIGHT);
}

TEST_F(PlayerMoveTest, TwoKicksOfOneFreshBombInOneTurnKeepTheChainsWhole)
{
    PlayerRecord *p = Join(1, 1, 1);
    PlaceBomb(p, 3, 1);
    GameObjectRecord *bomb = Find(KIND_BLOCK, 3, 1, BLOCK_BOMB);
    ASSERT_NE(bomb, nullptr);
    PlayerRecord *q = Join(2, 4, 1);
    p->kick = q->kick = 1;
    PutAt(p, 66, 32);
    PutAt(q, 126, 32);
    Hold(1, GAME_PAD_RIGHT);
    Hold(2, GAME_PAD_LEFT);
    Step(1);  // both kick in the same turn; the last kicker has it
    EXPECT_EQ(Effects(15), 2);
    EXPECT_EQ(p->ownObject->kickedNext, nullptr);
    EXPECT_EQ(q->ownObject->kickedNext, bomb);
    EXPECT_EQ(bomb->kickedPrev, q->ownObject);
    // Both keep pushing through the bomb's appear frames, its slide stops and its explosion; Step
    // checks the chains after every turn.
    p->lives = q->lives = 9;
    Step(200);
    EXPECT_EQ(Count(KIND_BLOCK, BLOCK_BOMB), 0);
    EXPECT_EQ(p->bombsAvailable, 1);  // the bomb came back to its owner
}

TEST_F(PlayerMoveTest, KickingAgainBeforeTheFirstSlideStepKeepsOneChainEntry)
{
    GameObjectRecord *bomb = SpawnBomb(0, 3, 1, 2, 150, 1, 0, 4);
    PlayerRecord *p = Join(1, 1, 1);
    p->kick = 1;
    PutAt(p, 66, 32);
    Hold(1, GAME_PAD_RIGHT);
    Step(6);  // still in its appear frames: kicked every turn
    EXPECT_GE(Effects(15), 2);
    EXPECT_EQ(p->ownObject->kickedNext, bomb);
    EXPECT_EQ(bomb->kickedNext, nullptr);
    EXPECT_EQ(IsBombKickedBy(p, bomb), 1);
}

}  // namespace
