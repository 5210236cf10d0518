// Player input and actions: the step's direction, pause and unpause, joins for a credit, the bomb
// button with the line of bombs, remote detonation, the latches and the start player of a turn.
#include <string>

#include "game/bombs.h"
#include "game/player_input.h"
#include "game/services.h"
#include "game/stage_hooks.h"
#include "tests/game/player_arena.h"

namespace {

class PlayerInputTest : public PlayerArenaTest {};

TEST(PlayerPadStep, DownOverUpOverRightOverLeft)
{
    struct Case {
        int bits, dx, dy, held;
    } cases[] = {
        {0, 0, 0, 0},
        {GAME_PAD_LEFT, -1, 0, 1},
        {GAME_PAD_LEFT | GAME_PAD_RIGHT, 1, 0, 1},
        {GAME_PAD_LEFT | GAME_PAD_DOWN, 0, 1, 1},
        {GAME_PAD_UP | GAME_PAD_RIGHT, 0, -1, 1},
        {GAME_PAD_UP | GAME_PAD_DOWN | GAME_PAD_LEFT | GAME_PAD_RIGHT, 0, 1, 1},
        {GAME_PAD_BUTTON1, 0, 0, 0},
    };
    for (const Case &c : cases) {
        int dx = 7, dy = 7;
        EXPECT_EQ(GetPadStep(c.bits, &dx, &dy), c.held) << c.bits;
        EXPECT_EQ(dx, c.dx) << c.bits;
        EXPECT_EQ(dy, c.dy) << c.bits;
    }
    EXPECT_EQ(GetStepFacing(0, -1, DIR_LEFT), DIR_UP);
    EXPECT_EQ(GetStepFacing(0, 1, DIR_LEFT), DIR_DOWN);
    EXPECT_EQ(GetStepFacing(-1, 0, DIR_UP), DIR_LEFT);
    EXPECT_EQ(GetStepFacing(1, 0, DIR_UP), DIR_RIGHT);
    EXPECT_EQ(GetStepFacing(0, 0, DIR_LEFT), DIR_LEFT);
}

TEST_F(PlayerInputTest, LeftAndDownMovesDownAndNoDirectionKeepsTheFacing)
{
    PlayerRecord *p = Join(1, 1, 1);
    Hold(1, GAME_PAD_LEFT | GAME_PAD_DOWN);
    Step(3);
    EXPECT_EQ(p->pixelX, 32);
    EXPECT_EQ(p->pixelY, 38);
    EXPECT_EQ(p->facing, DIR_DOWN);
    Hold(1, 0);
    Step(1);
    EXPECT_EQ(p->moving, 0);
    EXPECT_EQ(p->facing, DIR_DOWN);
    EXPECT_EQ(p->pixelY, 38);
}

TEST_F(PlayerInputTest, PauseTogglesOncePerPressAndOnlyThePauserUnpauses)
{
    PlayerRecord *p = Join(1, 1, 1);
    Join(2, 13, 11);
    int frames = gGame->frameCounter;
    Hold(1, p->pauseButton | GAME_PAD_RIGHT);
    Step(3);  // held: paused once, and the pausing press already stops the step
    EXPECT_EQ(gGame->paused.load(), 1);
    EXPECT_EQ(p->pausedByMe, 1);
    EXPECT_EQ(p->pixelX, 32);
    EXPECT_EQ(gGame->frameCounter, frames);
    Hold(1, GAME_PAD_RIGHT);
    Hold(2, GetPlayer(2)->pauseButton);
    Step(2);  // another player's press does nothing but set its latch
    EXPECT_EQ(gGame->paused.load(), 1);
    EXPECT_EQ(GetPlayer(2)->latches[LATCH_PAUSE], 1);
    Hold(2, 0);
    Hold(1, p->pauseButton | GAME_PAD_RIGHT);
    Step(1);  // the unpausing press lets the player move in the same turn
    EXPECT_EQ(gGame->paused.load(), 0);
    EXPECT_EQ(p->pausedByMe, 0);
    EXPECT_EQ(p->pixelX, 34);
    EXPECT_EQ(gGame->frameCounter, frames + 1);
}

static int g_draws;
static int CountingRandom(int max)
{
    g_draws++;
    return 0;
}

TEST_F(PlayerInputTest, WhilePausedNoActionRunsButTheStartPlayerIsStillDrawn)
{
    PlayerRecord *p = Join(1, 1, 1);
    gGame->paused = 1;
    GetPlayer(2)->pausedByMe = 1;
    gServices.pickRandomUpTo = CountingRandom;
    g_draws = 0;
    Hold(1, p->bombButton);
    Step(4);
    EXPECT_EQ(g_draws, 4);
    EXPECT_EQ(Count(KIND_BLOCK, BLOCK_BOMB), 0);
    EXPECT_EQ(p->latches[LATCH_BOMB], 0);  // actions leave even their latches alone while paused
}

TEST_F(PlayerInputTest, APlayerWithoutLivesJoinsForACredit)
{
    Join(1, 5, 5);
    gGame->credits = 2;
    PlayerRecord *q = GetPlayer(2);
    Hold(2, q->pauseButton);
    Step(1);
    EXPECT_EQ(q->inPlay, 1);
    EXPECT_EQ(q->lives, 1);
    EXPECT_EQ(q->respawnCounter, 500 - 1);  // counted once by the round end of the same turn
    EXPECT_EQ(q->cellX, 13);
    EXPECT_EQ(q->cellY, 11);
    EXPECT_EQ(q->pixelX, 13 * 32);
    EXPECT_EQ(gGame->credits, 1);
    EXPECT_EQ(gGame->playersInPlay, 2);
    EXPECT_EQ(q->latches[LATCH_PAUSE], 1);
    EXPECT_EQ(gGame->paused.load(), 0);
    Step(3);  // held: no second join, no pause
    EXPECT_EQ(gGame->credits, 1);
    EXPECT_EQ(gGame->paused.load(), 0);
}

TEST_F(PlayerInputTest, AJoinIsTakenWhilePaused)
{
    PlayerRecord *p = Join(1, 5, 5);
    gGame->credits = 1;
    gGame->paused = 1;
    p->pausedByMe = 1;
    Hold(2, GetPlayer(2)->pauseButton);
    Step(1);
    EXPECT_EQ(GetPlayer(2)->lives, 1);
    EXPECT_EQ(gGame->credits, 0);
    EXPECT_EQ(gGame->paused.load(), 1);
}

TEST_F(PlayerInputTest, NoJoinForPlayersThreeAndFourInBattleOrWithoutCredits)
{
    Join(1, 5, 5);
    struct Case {
        int player, mode, credits;
    } cases[] = {{3, GAME_MODE_NORMAL, 2}, {4, GAME_MODE_NORMAL, 2}, {2, GAME_MODE_BATTLE, 2}, {2, GAME_MODE_NORMAL, 0}};
    for (const Case &c : cases) {
        gGame->mode = c.mode;
        gGame->credits = c.credits;
        PlayerRecord *q = GetPlayer(c.player);
        q->padBits = q->pauseButton;
        ReadPlayerInput(c.player);
        EXPECT_EQ(q->lives, 0) << c.player;
        EXPECT_EQ(q->inPlay, 0) << c.player;
        EXPECT_EQ(q->latches[LATCH_PAUSE], 0) << c.player;
        EXPECT_EQ(gGame->credits, c.credits);
        EXPECT_EQ(gGame->paused.load(), 0);
    }
}

TEST_F(PlayerInputTest, TheBombButtonLaysOneBombPerPressOnAFreeCell)
{
    PlayerRecord *p = Join(1, 1, 1);
    p->capacity = p->bombsAvailable = 2;
    Hold(1, p->bombButton);
    Step(3);
    EXPECT_EQ(Count(KIND_BLOCK, BLOCK_BOMB), 1);
    EXPECT_EQ(p->bombsAvailable, 1);
    EXPECT_EQ(Effects(1), 1);
    Hold(1, 0);
    Step(1);
    Hold(1, p->bombButton);
    Step(1);  // standing on its own bomb without the line bomb: nothing
    EXPECT_EQ(Count(KIND_BLOCK, BLOCK_BOMB), 1);
    EXPECT_EQ(Effects(1), 1);
}

TEST_F(PlayerInputTest, NoBombWithoutBombsAvailable)
{
    PlayerRecord *p = Join(1, 1, 1);
    p->bombsAvailable = 0;
    p->lineBomb = 1;
    Hold(1, p->bombButton);
    Step(1);
    EXPECT_EQ(Count(KIND_BLOCK, BLOCK_BOMB), 0);
    EXPECT_EQ(Effects(1), 0);
    EXPECT_EQ(p->latches[LATCH_BOMB], 1);
}

// Player 1 on (1, 1) facing right with the line bomb and `capacity` bombs lays one bomb, then a line.
static void LayLine(PlayerArenaTest *t, int capacity)
{
    PlayerRecord *p = GetPlayer(1);
    p->lineBomb = 1;
    p->facing = DIR_RIGHT;
    p->capacity = p->bombsAvailable = capacity;
    p->latches[LATCH_BOMB] = 0;
    p->padBits = p->bombButton;
    UpdatePlayerActions(1);
    p->padBits = 0;
    UpdatePlayerActions(1);
    p->padBits = p->bombButton;
    UpdatePlayerActions(1);
}

TEST_F(PlayerInputTest, ALineOfBombsRunsUntilTheBombsRunOut)
{
    PlayerRecord *p = Join(1, 1, 1);
    LayLine(this, 4);
    for (int x = 1; x <= 4; x++) EXPECT_NE(Find(KIND_BLOCK, x, 1, BLOCK_BOMB), nullptr) << x;
    EXPECT_EQ(Find(KIND_BLOCK, 5, 1, BLOCK_BOMB), nullptr);
    EXPECT_EQ(p->bombsAvailable, 0);
    EXPECT_EQ(Effects(1), 1 + 3 + 1);  // the first bomb, then k + 1 for a line of k
    Step(1);
}

TEST_F(PlayerInputTest, ALineStopsAtTakenCells)
{
    const char *kWhat[] = {"soft block", "item", "enemy", "goal", "player", "fixed block"};
    for (const char *what : kWhat) {
        ClearAllObjects();
        PlayerRecord *q = GetPlayer(2);
        q->inPlay = 0;
        q->cellX = q->cellY = 1000;
        PlayerRecord *p = Join(1, 1, 1);
        std::string w = what;
        if (w == "soft block") SpawnSoftBlock(5, 1, 1, 100, 0);
        if (w == "item") SpawnItem(5, 1, 4);
        if (w == "enemy") SpawnEnemyObject(0, 13, 5, 1, 32, 1, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 260);
        if (w == "goal") SpawnGoal(5, 1);
        if (w == "player") Join(2, 5, 1);
        if (w == "fixed block") SpawnFixedBlock(5, 1, 0);
        ClearSounds();
        LayLine(this, 8);
        EXPECT_EQ(Count(KIND_BLOCK, BLOCK_BOMB), 4) << what;  // (1, 1) and the line on 2..4
        EXPECT_EQ(Effects(1), 1 + 3 + 1) << what;
        EXPECT_EQ(p->bombsAvailable, 4) << what;
    }
}

TEST_F(PlayerInputTest, RemoteButtonDetonatesTheOldestWaitingBombOnePerPress)
{
    PlayerRecord *p = Join(1, 7, 7);
    p->bombType = 1;
    p->capacity = p->bombsAvailable = 2;
    PlaceBomb(p, 1, 1);
    PlaceBomb(p, 5, 1);  // out of the first one's reach
    Step(20);
    GameObjectRecord *first = Find(KIND_BLOCK, 1, 1, BLOCK_BOMB);
    GameObjectRecord *second = Find(KIND_BLOCK, 5, 1, BLOCK_BOMB);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_LT(first->timer, 0);
    Hold(1, p->remoteButton);
    Step(3);  // held: one detonation
    EXPECT_EQ(Effects(1), 1);
    EXPECT_EQ(first->active, 0);
    EXPECT_NE(Find(KIND_FIRE, 1, 1), nullptr);
    EXPECT_EQ(second->active, 1);
    EXPECT_LT(second->timer, 0);
    Hold(1, 0);
    Step(8);  // the exploded bomb stays on the chain until its removal, and a press would find it
    Hold(1, p->remoteButton);
    Step(2);
    EXPECT_EQ(second->active, 0);
    EXPECT_EQ(p->bombsAvailable, 2);
}

TEST_F(PlayerInputTest, RemoteAndKickStopButtonsLatchWithoutThePower)
{
    PlayerRecord *p = Join(1, 1, 1);
    Hold(1, p->remoteButton | p->kickStopButton);
    Step(1);
    EXPECT_EQ(p->latches[LATCH_REMOTE], 1);
    EXPECT_EQ(p->latches[LATCH_KICK_STOP], 1);
    EXPECT_EQ(Effects(1), 0);
    Hold(1, 0);
    Step(1);
    EXPECT_EQ(p->latches[LATCH_REMOTE], 0);
    EXPECT_EQ(p->latches[LATCH_KICK_STOP], 0);
}

static int g_scriptedDraw;
static int ScriptedRandom(int max) { return g_scriptedDraw > max ? max : g_scriptedDraw; }

TEST_F(PlayerInputTest, TheStartPlayerWinsAContestedCell)
{
    for (int draw = 0; draw <= 1; draw++) {
        ClearAllObjects();
        PlayerRecord *p = Join(1, 5, 5);
        PlayerRecord *q = Join(2, 5, 5);
        p->bombsAvailable = q->bombsAvailable = 1;
        p->latches[LATCH_BOMB] = q->latches[LATCH_BOMB] = 0;
        g_scriptedDraw = draw;
        gServices.pickRandomUpTo = ScriptedRandom;
        Hold(1, p->bombButton);
        Hold(2, q->bombButton);
        Step(1);
        GameObjectRecord *bomb = Find(KIND_BLOCK, 5, 5, BLOCK_BOMB);
        ASSERT_NE(bomb, nullptr);
        EXPECT_EQ(bomb->owner, draw == 0 ? 1 : 2);
        EXPECT_EQ(Count(KIND_BLOCK, BLOCK_BOMB), 1);
        Hold(1, 0);
        Hold(2, 0);
        Step(1);
    }
}

}  // namespace
