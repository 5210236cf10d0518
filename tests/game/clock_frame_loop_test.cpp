// The frame loop: turn order, pause, pacing, Escape and the hand-over to the menus.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/frame_loop.h"
#include "game/records.h"
#include "game/stage_hooks.h"
#include "tests/game/game_fakes.h"

static std::vector<std::string> g_turn;
static std::vector<uint32_t> g_drawTimes;
static std::vector<uint32_t> g_startTimes;  // clock at each turn's first input
static int g_roundEndAfter;     // turns until the spy ends the stage; -1 never
static int g_escapeAfter;       // turns until the spy presses Escape; -1 never
static uint32_t g_slowTurnExtra;  // ms the second turn's behaviours take

static int SpyInput(int n)
{
    g_turn.push_back("in" + std::to_string(n));
    if (n == 1) g_startTimes.push_back(gFake->now);
    return 0;
}
static int SpyActions(int n) { g_turn.push_back("act" + std::to_string(n)); return 0; }
static int SpyBehaviours(void)
{
    g_turn.push_back("behave");
    if (g_drawTimes.size() == 1) gFake->now += g_slowTurnExtra;
    return 0;
}
static int SpyTouches(int n, int x, int y)
{
    g_turn.push_back("touch" + std::to_string(n) + "@" + std::to_string(x) + "," + std::to_string(y));
    return 0;
}
static int SpyRoundEnd(void)
{
    g_turn.push_back("round");
    if (g_roundEndAfter >= 0 && --g_roundEndAfter < 0) {
        gGame->inStage = 0;
        gGame->screenId = SCREEN_GAME_OVER;
    }
    return 0;
}
static int SpyDraw(void)
{
    g_turn.push_back("draw");
    gFake->calls.push_back("draw");
    g_drawTimes.push_back(gFake->now);
    if (g_escapeAfter >= 0 && --g_escapeAfter < 0) gFake->escape = 1;
    return 0;
}

class FrameLoopTest : public GameTest {
protected:
    void SetUp() override
    {
        GameTest::SetUp();
        g_turn.clear();
        g_drawTimes.clear();
        g_startTimes.clear();
        g_roundEndAfter = g_escapeAfter = -1;
        g_slowTurnExtra = 0;
        StageHooks hooks = {};
        hooks.readPlayerInput = SpyInput;
        hooks.updatePlayerActions = SpyActions;
        hooks.runActiveObjectBehaviours = SpyBehaviours;
        hooks.handlePlayerTouches = SpyTouches;
        hooks.checkRoundEnd = SpyRoundEnd;
        hooks.drawGameFrame = SpyDraw;
        SetStageHooks(&hooks);
        gGame->inStage = 1;
        for (PlayerRecord *p : gPlayers) p->inPlay = 0;
        gPlayers[0]->inPlay = gPlayers[2]->inPlay = 1;
        gPlayers[0]->cellX = 3, gPlayers[0]->cellY = 4;
        gPlayers[2]->cellX = 13, gPlayers[2]->cellY = 1;
    }
};

TEST_F(FrameLoopTest, TurnOrderStartsActionsFromPlayerOneOrTwo)
{
    gFake->random = 0;
    RunStageTurn();
    EXPECT_EQ(g_turn, (std::vector<std::string>{"in1", "in2", "in3", "in4", "act1", "act2", "act3", "act4",
                                                "behave", "touch1@3,4", "touch3@13,1", "round", "draw"}));
    EXPECT_EQ(gGame->frameCounter, 1);
    g_turn.clear();
    gFake->random = 1;
    RunStageTurn();
    EXPECT_EQ(std::vector<std::string>(g_turn.begin() + 4, g_turn.begin() + 8),
              (std::vector<std::string>{"act2", "act3", "act4", "act1"}));
}

TEST_F(FrameLoopTest, PausedTurnKeepsInputActionsAndDrawOnly)
{
    gGame->paused = 1;
    RunStageTurn();
    EXPECT_EQ(g_turn, (std::vector<std::string>{"in1", "in2", "in3", "in4", "act1", "act2", "act3", "act4", "draw"}));
    EXPECT_EQ(gGame->frameCounter, 0);
}

TEST_F(FrameLoopTest, EscapeEndsWithinTheTurnWithoutWaiting)
{
    gFake->escape = 1;
    EXPECT_EQ(RunGameFrameLoop(), 0);
    EXPECT_EQ(gGame->quit, 1);
    EXPECT_EQ(g_drawTimes.size(), 1u);  // the turn still finished
    EXPECT_EQ(gFake->slept, 0u);
}

TEST_F(FrameLoopTest, TurnsLastAtLeast17MsAndASlowTurnIsNotMadeUp)
{
    g_escapeAfter = 4;
    g_slowTurnExtra = 40;
    RunGameFrameLoop();
    ASSERT_EQ(g_startTimes.size(), 5u);
    EXPECT_EQ(g_startTimes[1] - g_startTimes[0], 17u);
    EXPECT_EQ(g_startTimes[2] - g_startTimes[1], 40u);  // the slow turn
    EXPECT_EQ(g_startTimes[3] - g_startTimes[2], 17u);
    EXPECT_EQ(g_startTimes[4] - g_startTimes[3], 17u);
}

TEST_F(FrameLoopTest, TurnPacingSurvivesTheClockWrapping)
{
    gFake->now = 0xFFFFFFF0u;
    g_escapeAfter = 2;
    RunGameFrameLoop();
    ASSERT_EQ(g_startTimes.size(), 3u);
    EXPECT_EQ((uint32_t)(g_startTimes[1] - g_startTimes[0]), 17u);
    EXPECT_EQ((uint32_t)(g_startTimes[2] - g_startTimes[1]), 17u);
}

TEST_F(FrameLoopTest, RoundEndDrawsThenRunsTheMenusInTheSameTurn)
{
    g_roundEndAfter = 0;
    gFake->pumpsUntilEnd = 3;  // loop start, turn end... the menus end on the next pump
    RunGameFrameLoop();
    int draw = FindCall("draw"), stop = FindCall("stop");
    ASSERT_GE(draw, 0);
    EXPECT_GT(stop, draw);
    EXPECT_EQ(g_drawTimes.size(), 1u);
    EXPECT_TRUE(DrewText(200, 68, "ゲームオーバー"));
}

TEST_F(FrameLoopTest, PumpEndStopsTheLoopBeforeAnyTurn)
{
    gFake->pumpsUntilEnd = 0;
    EXPECT_EQ(RunGameFrameLoop(), 0);
    EXPECT_TRUE(g_turn.empty());
}
