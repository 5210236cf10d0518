// Field drawing through the recorded services: pass order, blinking and flashes, the core mech, the
// work state, items breaking, pop-ups, the tint or the darkness with its discs, HUD texts and pauses.
#include <cstdio>
#include <string>
#include <vector>

#include "game/assets.h"
#include "game/field_draw.h"
#include "game/object_states.h"
#include "game/services.h"
#include "game/stage_hooks.h"
#include "tests/game/game_fakes.h"
#include "tests/game/stage_sim.h"

namespace {

// Draw calls the fake does not keep, in order.
std::vector<std::string> g_draws;

int RecordCircle(int x, int y, int r, int color, int fill)
{
    g_draws.push_back("circle:" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(r));
    return 0;
}
int RecordBlend(int mode, int parameter)
{
    g_draws.push_back("blend:" + std::to_string(mode) + "," + std::to_string(parameter));
    return 0;
}
int RecordStretched(int x1, int y1, int x2, int y2, int handle, int transparent)
{
    g_draws.push_back("stretch:" + std::to_string(x1) + "," + std::to_string(y1) + "," + std::to_string(x2) + "," +
                      std::to_string(y2) + ":" + std::to_string(handle));
    return 0;
}
int RecordPut(int x, int y, int handle, int transparent)
{
    g_draws.push_back("put:" + std::to_string(x) + "," + std::to_string(y) + ":" + std::to_string(handle));
    return 0;
}
int RecordRect(int x1, int y1, int x2, int y2, int color, int fill)
{
    g_draws.push_back("rect:" + std::to_string(x1) + "," + std::to_string(y1) + "," + std::to_string(x2) + "," +
                      std::to_string(y2));
    return 0;
}

class FieldDrawCallsTest : public StageSimTest {
protected:
    void SetUp() override
    {
        StageSimTest::SetUp();
        GameServices services = gServices;
        services.paintCircle = RecordCircle;
        services.selectBlendMode = RecordBlend;
        services.putGraphStretched = RecordStretched;
        services.putGraph = RecordPut;
        services.paintRectangle = RecordRect;
        SetGameServices(&services);
        BuildArena();
        g_draws.clear();
        ClearDrawn();
    }
    int IndexOf(const std::string &call)
    {
        for (size_t i = 0; i < g_draws.size(); i++)
            if (g_draws[i] == call) return (int)i;
        return -1;
    }
    static std::string Put(int x, int y, int handle)
    {
        return "put:" + std::to_string(x) + "," + std::to_string(y) + ":" + std::to_string(handle);
    }
};

TEST_F(FieldDrawCallsTest, FloorFirstThenBlocksThenEnemiesThenPlayersThenTheBand)
{
    GameObjectRecord *enemy = PutEnemy(5, 5, 13);
    DrawFieldObjects();
    int floor = IndexOf(Put(80, 80, gFloorSheet[2]));
    int pillar = IndexOf(Put(80 + 64, 80 + 64, gBlockSheet[0]));
    int foe = IndexOf(Put(80 + 160, 80 + 160, gEnemySheet[enemy->spriteFrame]));
    int player = IndexOf(Put(80 + 32, 80 + 32, gPlayerSheet[gPlayers[0]->spriteFrame]));
    int band = IndexOf("rect:0,0,640,90");
    ASSERT_GE(floor, 0);
    EXPECT_LT(floor, pillar);
    EXPECT_LT(pillar, foe);
    EXPECT_LT(foe, player);
    EXPECT_LT(player, band);
    EXPECT_EQ(IndexOf("put:0,0:" + std::to_string(gPlayers[1]->spriteFrame)), -1);  // players 2..4 out
}

TEST_F(FieldDrawCallsTest, ABlinkingPlayerShowsAFlashOnTwoFramesOfThree)
{
    PlayerRecord *p = gPlayers[0];
    p->lives = 2;
    int flashes = 0, plain = 0;
    for (int counter = 160; counter > 157; counter--) {
        p->respawnCounter = counter;
        g_draws.clear();
        DrawFieldObjects();
        bool flash = IndexOf("circle:128,128,16") >= 0;
        flashes += flash;
        plain += !flash;
        if (flash) {
            EXPECT_LT(IndexOf("blend:2,255"), IndexOf("blend:0,0"));
        }
    }
    EXPECT_EQ(flashes, 2);
    EXPECT_EQ(plain, 1);
    // the animation: facing up, four frames of ten
    p->respawnCounter = 0;
    p->animCounter = 19;
    PickPlayerAnimFrame(p);
    EXPECT_EQ(p->spriteFrame, 0 + 1 * 4 + 2);
    p->lives = 0;
    p->respawnCounter = 15;
    PickPlayerAnimFrame(p);
    EXPECT_EQ(p->spriteFrame, 18);
}

TEST_F(FieldDrawCallsTest, TheCoreMechIsStretchedAndAWorkingEnemyIsNotDrawn)
{
    GameObjectRecord *core = PutEnemy(7, 7, 21);
    GameObjectRecord *worker = PutEnemy(9, 9, 10);
    worker->behaviour = EnemyWorkState;
    DrawFieldObjects();
    int x = 80 + 7 * 32, y = 80 + 7 * 32;
    char expected[96];
    std::snprintf(expected, sizeof(expected), "stretch:%d,%d,%d,%d:%d", x - 32, y - 64, x + 64, y + 32,
                  gEnemySheet[core->spriteFrame]);
    EXPECT_GE(IndexOf(expected), 0);
    EXPECT_EQ(IndexOf(Put(80 + 9 * 32, 80 + 9 * 32, gEnemySheet[worker->spriteFrame])), -1);
}

TEST_F(FieldDrawCallsTest, ABreakingItemShowsTheBlockBreakFramesAndAPopUpRisesWithItsMultiplier)
{
    GameObjectRecord *item = PutItem(3, 3, 5);
    item->hitPoints = 0;
    item->timer = 15;
    GameObjectRecord *popup = SpawnScorePopup(5, 5, 2, 400);
    popup->moveMode = 40;  // blinks: shown only at multiples of 3
    DrawFieldObjects();
    EXPECT_TRUE(gFake->texts.empty());
    popup->moveMode = 39;
    DrawFieldObjects();
    EXPECT_GE(IndexOf(Put(80 + 96, 80 + 96, gBlockSheet[3])), 0);
    char text[32];
    std::snprintf(text, sizeof(text), "%d　×　%d", 400, 2);
    EXPECT_TRUE(DrewText(80 + 160, 80 + 160 - 40, text));
}

TEST_F(FieldDrawCallsTest, DarknessMultipliesTheFieldAndLightsADiscRoundEveryPlayer)
{
    gGame->darkness = 1;
    DrawFieldObjects();
    int dark = IndexOf("blend:11,255");
    ASSERT_GE(dark, 0);
    EXPECT_EQ(g_draws[dark + 1], "rect:0,90,640,480");
    EXPECT_EQ(g_draws[dark + 2], "blend:2,128");
    for (int i = 0; i < PLAYER_COUNT; i++) {
        PlayerRecord *p = gPlayers[i];
        std::string disc = "circle:" + std::to_string(p->centreX + 80) + "," + std::to_string(p->centreY + 80) + ",96";
        EXPECT_EQ(g_draws[dark + 3 + i], disc);
    }
    EXPECT_EQ(g_draws[dark + 7], "blend:0,0");
}

TEST_F(FieldDrawCallsTest, TheSecondWorldIsTintedAndNeverDark)
{
    gGame->world = 2;
    gGame->darkness = 1;
    DrawFieldObjects();
    int tint = IndexOf("blend:1,128");
    ASSERT_GE(tint, 0);
    EXPECT_EQ(g_draws[tint + 1], "rect:0,90,640,480");
    EXPECT_EQ(g_draws[tint + 2], "blend:0,0");
    EXPECT_EQ(IndexOf("blend:11,255"), -1);
}

TEST_F(FieldDrawCallsTest, NormalModeHudTextsAndThePauseLabel)
{
    gGame->hiScore = 1234;
    gGame->timeLeft = 150;
    gGame->progress = 3;
    gGame->stageInWorld = 2;
    gGame->credits = 0;
    gGame->coreMechsLeft = 3;
    gGame->difficulty = 1;
    gPlayers[0]->score = 700;
    gPlayers[0]->lives = 2;
    gPlayers[1]->lives = 0;
    gPlayers[2]->pausedByMe = 1;
    DrawHudTexts();
    char line[160];
    std::snprintf(line, sizeof(line), "%d　ー　%d ハイスコア　%d　残り時間　%d　到達度　%d", 1, 2, 1234, 150, 3);
    EXPECT_TRUE(DrewText(10, 10, line));
    std::snprintf(line, sizeof(line), "モード　%d 人数　%d 残りのコアメカ %d 難易度（難しい）", 1, 0, 3);
    EXPECT_TRUE(DrewText(10, 40, line));
    std::snprintf(line, sizeof(line), "１P　%d　体　%d", 700, 2);
    EXPECT_TRUE(DrewText(10, 70, line));
    EXPECT_TRUE(DrewText(310, 70, "２P、ちょっと待ってね"));
    EXPECT_TRUE(DrewText(250, 268, "３Pポーズ"));
    ClearDrawn();
    gGame->difficulty = 5;
    gGame->credits = 1;
    DrawHudTexts();
    EXPECT_EQ(FindTextAt(10, 40), nullptr);
    EXPECT_TRUE(DrewText(310, 70, "２P、途中参加OK"));
}

TEST_F(FieldDrawCallsTest, BattleModeHudTexts)
{
    gGame->mode = GAME_MODE_BATTLE;
    gGame->timeLeft = 90;
    gGame->stage = 1;
    for (int i = 0; i < PLAYER_COUNT; i++) gPlayers[i]->score = i;
    DrawHudTexts();
    char line[160];
    std::snprintf(line, sizeof(line), "残り時間　%d　ステージ %d", 90, 1);
    EXPECT_TRUE(DrewText(10, 10, line));
    std::snprintf(line, sizeof(line), "１P勝ち数　%d　２P勝ち数　%d ３P勝ち数　%d　４P勝ち数　%d", 0, 1, 2, 3);
    EXPECT_TRUE(DrewText(10, 40, line));
    std::snprintf(line, sizeof(line), "モード　%d", 3);
    EXPECT_TRUE(DrewText(10, 70, line));
}

}  // namespace
