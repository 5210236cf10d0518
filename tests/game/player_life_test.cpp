// Lives and the end of a stage or round: a hit with lives left, the last life, the dying animation,
// joins, game over, continue, the time-out, the start corners and the battle round's winner or draw.
#include "game/player_life.h"
#include "game/services.h"
#include "game/stage_hooks.h"
#include "tests/game/player_arena.h"

namespace {

class PlayerLifeTest : public PlayerArenaTest {
protected:
    // A fire on the player's cell (its own fire would spread; this one has range 0).
    static void Burn(PlayerRecord *p) { SpawnFire(p->cellX, p->cellY, 0, 4, 0, 32, 0, 0); }
};

TEST_F(PlayerLifeTest, StartCorners)
{
    const int expected[4][2] = {{1, 1}, {13, 11}, {13, 1}, {1, 11}};
    for (int n = 1; n <= 4; n++) {
        PlayerRecord *p = GetPlayer(n);
        PlacePlayerAtStart(p);
        EXPECT_EQ(p->cellX, expected[n - 1][0]);
        EXPECT_EQ(p->cellY, expected[n - 1][1]);
        EXPECT_EQ(p->pixelX, expected[n - 1][0] * 32);
        EXPECT_EQ(p->centreY, expected[n - 1][1] * 32 + 16);
    }
    PlayerRecord stray = *GetPlayer(1);
    stray.number = 7;
    stray.cellX = 4;
    stray.cellY = 5;
    PlacePlayerAtStart(&stray);
    EXPECT_EQ(stray.cellX, 4);
    EXPECT_EQ(stray.pixelY, 160);
    EXPECT_EQ(PlacePlayerAtStart(nullptr), -1);
    EXPECT_EQ(LosePlayerLife(nullptr), -1);
}

TEST_F(PlayerLifeTest, AHitWithLivesLeftBlinksInPlaceAndTheBlinkingEnds)
{
    PlayerRecord *p = Join(1, 5, 5);
    p->lives = 2;
    p->kick = 1;
    Burn(p);
    Step(1);
    EXPECT_EQ(p->lives, 1);
    EXPECT_EQ(p->respawnCounter, 159);
    EXPECT_EQ(p->kick, 1);
    EXPECT_EQ(p->pixelX, 160);
    Step(40);  // the fire burns out
    Hold(1, GAME_PAD_RIGHT | p->bombButton);
    Step(10);  // it walks and lays bombs while it blinks
    EXPECT_EQ(p->pixelX, 180);
    EXPECT_EQ(Count(KIND_BLOCK, BLOCK_BOMB), 1);
    EXPECT_EQ(p->respawnCounter, 109);
    Hold(1, 0);
    Step(109);
    EXPECT_EQ(p->respawnCounter, 0);
    EXPECT_EQ(p->inPlay, 1);
    EXPECT_EQ(p->lives, 1);
    EXPECT_EQ(Effects(4), 0);
}

static int g_flashX, g_flashY, g_flashes;
static int CountFlash(int x, int y, int radius, int color, int fill)
{
    g_flashes += x == g_flashX && y == g_flashY;
    return 0;
}

// Draws the field once; 1 when the player was drawn as a flash (a disc round its centre).
static int DrawnAsFlash(const PlayerRecord *p)
{
    g_flashX = p->centreX + 80;  // the field starts at screen (80, 80)
    g_flashY = p->centreY + 80;
    g_flashes = 0;
    DrawFieldObjects();
    return g_flashes;
}

TEST_F(PlayerLifeTest, ThePlayerBlinksTwoFramesOfThreeWhileTheCounterRuns)
{
    gServices.paintCircle = CountFlash;
    PlayerRecord *p = Join(1, 5, 5);
    p->lives = 2;
    EXPECT_EQ(DrawnAsFlash(p), 0);
    Burn(p);
    int flashes = 0;
    for (int i = 0; i < 159; i++) {
        Step(1);
        int flash = DrawnAsFlash(p);
        EXPECT_EQ(flash, p->respawnCounter % 3 != 0) << p->respawnCounter;
        flashes += flash;
    }
    EXPECT_EQ(flashes, 106);  // counters 159..1: all but the 53 multiples of 3
    EXPECT_EQ(p->respawnCounter, 1);
    Step(1);
    EXPECT_EQ(DrawnAsFlash(p), 0);
}

TEST_F(PlayerLifeTest, TheLastLifeStartsTheDyingAnimationAndTakesThePowerUps)
{
    PlayerRecord *p = Join(1, 5, 5);
    Join(2, 9, 9);
    p->speed = 4;
    p->fireRange = 5;
    p->capacity = 3;
    p->passFlags = 3;
    p->bombType = 2;
    p->fullFire = 1;
    p->lineBomb = 1;
    p->kick = 1;
    gGame->timeLeft = 120;
    gGame->blockContentLevel = 2;
    Burn(p);
    Step(1);
    EXPECT_EQ(p->lives, 0);
    EXPECT_EQ(p->respawnCounter, 79);
    EXPECT_EQ(p->passFlags, 0);
    EXPECT_EQ(p->bombType, 0);
    EXPECT_EQ(p->fullFire, 0);
    EXPECT_EQ(p->lineBomb, 0);
    EXPECT_EQ(p->kick, 0);
    EXPECT_EQ(p->speed, 4);
    EXPECT_EQ(p->fireRange, 5);
    EXPECT_EQ(p->capacity, 3);
    EXPECT_EQ(gGame->timeLeft.load(), 200);  // the clock starts again for player 2
    EXPECT_EQ(gGame->blockContentLevel, 0);
    EXPECT_EQ(Effects(4), 1);
    EXPECT_EQ(Voices(20), 1);
    EXPECT_EQ(Count(KIND_ITEM), 0);  // nothing scattered in normal mode
}

TEST_F(PlayerLifeTest, DyingWithoutCreditsSavesAndEndsInGameOver)
{
    PlayerRecord *p = Join(1, 5, 5);
    p->score = 1234;
    gGame->hiScore = 1000;
    gGame->stage = 3;
    gGame->progress = 2;
    Burn(p);
    Step(79);
    EXPECT_EQ(p->inPlay, 1);
    EXPECT_EQ(gFake->fileWrites, 0);
    Step(1);
    EXPECT_EQ(p->inPlay, 0);
    EXPECT_EQ(p->cellX, PLAYER_CELL_OUT);
    EXPECT_EQ(p->cellY, PLAYER_CELL_OUT);
    EXPECT_EQ(p->score, 0);
    EXPECT_EQ(gGame->hiScore, 1234);
    EXPECT_EQ(gGame->progress, 3);
    EXPECT_EQ(gFake->fileWrites, 1);
    EXPECT_EQ(gGame->inStage.load(), 0);
    EXPECT_EQ(gGame->screenId, SCREEN_GAME_OVER);
    EXPECT_EQ(CountLiveObjects(), 0);
}

TEST_F(PlayerLifeTest, DyingWithCreditsLeftGivesAContinue)
{
    PlayerRecord *p = Join(1, 5, 5);
    p->score = 1234;
    gGame->credits = 2;
    Burn(p);
    Step(80);
    EXPECT_EQ(gFake->fileWrites, 0);
    EXPECT_EQ(p->score, 1234);
    EXPECT_EQ(gGame->screenId, SCREEN_CONTINUE);
    EXPECT_EQ(p->lives, 1);
    EXPECT_EQ(gGame->credits, 1);
}

TEST_F(PlayerLifeTest, AnOutPlayerRejoinsWhileTheOtherPlays)
{
    PlayerRecord *p = Join(1, 5, 5);
    Join(2, 9, 9);
    gGame->credits = 1;
    Burn(p);
    Step(80);
    EXPECT_EQ(p->inPlay, 0);
    EXPECT_EQ(gGame->inStage.load(), 1);
    EXPECT_EQ(gGame->playersInPlay, 1);
    Hold(1, p->pauseButton);
    Step(1);
    EXPECT_EQ(p->inPlay, 1);
    EXPECT_EQ(p->lives, 1);
    EXPECT_EQ(p->cellX, 1);
    EXPECT_EQ(p->respawnCounter, 499);
    EXPECT_EQ(gGame->credits, 0);
    EXPECT_EQ(gGame->playersInPlay, 2);
}

TEST_F(PlayerLifeTest, ATimeOutTakesEveryLife)
{
    struct Case {
        int credits, screen, writes;
    } cases[] = {{0, SCREEN_GAME_OVER, 1}, {2, SCREEN_CONTINUE, 0}};
    for (const Case &c : cases) {
        ClearAllObjects();
        gFake->fileWrites = 0;
        gGame->inStage = 1;
        gGame->playersInPlay = 0;
        PlayerRecord *p = Join(1, 5, 5);
        PlayerRecord *q = Join(2, 9, 9);
        p->lives = 3;
        p->score = 5000;
        q->score = 7000;
        gGame->hiScore = 100;
        gGame->credits = c.credits;
        gGame->timeLeft = 0;
        Step(1);
        EXPECT_EQ(p->lives, c.credits ? 1 : 0);
        EXPECT_EQ(q->lives, 0);
        EXPECT_EQ(p->inPlay, 0);
        EXPECT_EQ(gGame->playersInPlay, 0);
        EXPECT_EQ(gGame->timeLeft.load(), 200);
        EXPECT_EQ(gGame->screenId, c.screen);
        EXPECT_EQ(Effects(4), 4);  // the last-life sound of every record
        ClearSounds();
        // A time-out that ends the game keeps the hi-score, as any game over does.
        EXPECT_EQ(gFake->fileWrites, c.writes);
        EXPECT_EQ(gGame->hiScore, c.credits ? 100 : 7000);
    }
}

// A battle round between players 1..n, each with one life.
class PlayerBattleTest : public PlayerLifeTest {
protected:
    void StartRound(int n)
    {
        gGame->mode = GAME_MODE_BATTLE;
        gGame->battlePlayers = n;
        const int cells[4][2] = {{1, 1}, {13, 11}, {13, 1}, {1, 11}};
        for (int i = 1; i <= n; i++) Join(i, cells[i - 1][0], cells[i - 1][1]);
    }
};

TEST_F(PlayerBattleTest, TheLastPlayerStandingWinsTheRound)
{
    StartRound(3);
    GetPlayer(2)->capacity = 3;
    Burn(GetPlayer(2));
    Step(1);
    EXPECT_EQ(Count(KIND_ITEM, 4), 2);  // player 2's extra bombs scattered
    EXPECT_EQ(GetPlayer(2)->capacity, 1);
    Step(40);
    Burn(GetPlayer(3));
    Step(39);
    EXPECT_EQ(GetPlayer(2)->inPlay, 0);
    EXPECT_EQ(gGame->playersInPlay, 2);
    EXPECT_EQ(gGame->inStage.load(), 1);
    Step(41);
    EXPECT_EQ(gGame->inStage.load(), 0);
    EXPECT_EQ(GetPlayer(1)->score, 1);
    EXPECT_EQ(GetPlayer(2)->score, 0);
    EXPECT_EQ(GetPlayer(3)->score, 0);
    EXPECT_EQ(gGame->screenId, SCREEN_ROUND_RESULT);
    EXPECT_EQ(CountLiveObjects(), 0);
    EXPECT_EQ(gFake->fileWrites, 2);  // battle saves as each player leaves (no credits), scores kept
}

TEST_F(PlayerBattleTest, ASurvivorWithAnExtraLifeStillWins)
{
    StartRound(2);
    GetPlayer(2)->lives = 2;
    GetPlayer(1)->score = 1;
    Burn(GetPlayer(1));
    Step(80);
    EXPECT_EQ(gGame->inStage.load(), 0);
    EXPECT_EQ(GetPlayer(2)->score, 1);
    EXPECT_EQ(GetPlayer(1)->score, 1);
    EXPECT_EQ(gGame->screenId, SCREEN_ROUND_RESULT);
}

TEST_F(PlayerBattleTest, TwoPlayersDyingInOneTurnIsADraw)
{
    StartRound(2);
    Burn(GetPlayer(1));
    Burn(GetPlayer(2));
    Step(80);
    EXPECT_EQ(gGame->inStage.load(), 0);
    EXPECT_EQ(GetPlayer(1)->score, 0);
    EXPECT_EQ(GetPlayer(2)->score, 0);
    EXPECT_EQ(gGame->screenId, SCREEN_ROUND_RESULT);
}

TEST_F(PlayerBattleTest, ABattleTimeOutEndsTheRoundInADraw)
{
    StartRound(4);
    gGame->timeLeft = 0;
    Step(1);
    EXPECT_EQ(gGame->inStage.load(), 0);
    EXPECT_EQ(gGame->playersInPlay, 0);
    for (int n = 1; n <= 4; n++) EXPECT_EQ(GetPlayer(n)->score, 0);
    EXPECT_EQ(gGame->screenId, SCREEN_ROUND_RESULT);
}

}  // namespace
