// Start-up: the question, the library start, the order of the steps, the records and the shutdown.
#include <string>

#include <gtest/gtest.h>

#include "game/assets.h"
#include "game/records.h"
#include "game/services.h"
#include "game/stage_clock.h"
#include "game/startup.h"
#include "tests/game/game_fakes.h"

using StartupTest = GameTest;

static int g_clockRunningAtEnd;

static int EndLibrarySpy(void)
{
    g_clockRunningAtEnd = IsStageClockRunning();
    gFake->calls.push_back("end");
    return 0;
}

// Runs WinMain with Escape held from the start.
static int RunWithEscape(std::initializer_list<const char *> args)
{
    std::vector<char *> argv = {const_cast<char *>("dazar")};
    for (const char *a : args) argv.push_back(const_cast<char *>(a));
    gFake->escape = 1;
    return WinMain((int)argv.size(), argv.data());
}

TEST_F(StartupTest, AnswerNoSelectsWindowModeBeforeTheLibraryStarts)
{
    gFake->fullScreenAnswer = 0;
    EXPECT_EQ(RunWithEscape({}), 0);
    int window = FindCall("window:1"), init = FindCall("init");
    ASSERT_GE(window, 0);
    EXPECT_LT(window, init);
}

TEST_F(StartupTest, AnswerYesKeepsFullScreen)
{
    gFake->fullScreenAnswer = 1;
    EXPECT_EQ(RunWithEscape({}), 0);
    EXPECT_EQ(FindCall("window:1"), -1);
}

TEST_F(StartupTest, CommandLineAnswersTheQuestion)
{
    gFake->fullScreenAnswer = 1;
    EXPECT_EQ(RunWithEscape({"--windowed"}), 0);
    EXPECT_GE(FindCall("window:1"), 0);
    ClearDrawn();
    gFake->fullScreenAnswer = 0;
    EXPECT_EQ(RunWithEscape({"--fullscreen"}), 0);
    EXPECT_EQ(FindCall("window:1"), -1);
    char a0[] = "dazar", a1[] = "--fullscreen", a2[] = "--windowed", a3[] = "--other";
    char *both[] = {a0, a1, a2};
    EXPECT_EQ(ParseFullScreenSwitch(3, both), 0);
    char *none[] = {a0, a3};
    EXPECT_EQ(ParseFullScreenSwitch(2, none), -1);
}

TEST_F(StartupTest, LibraryThatCannotStartEndsAtOnceWithMinusOne)
{
    gFake->initResult = -1;
    EXPECT_EQ(RunWithEscape({"--fullscreen"}), -1);
    EXPECT_EQ(gFake->calls, (std::vector<std::string>{"init"}));
    EXPECT_FALSE(IsStageClockRunning());
}

TEST_F(StartupTest, StepsRunInOrderAndShutdownJoinsTheClockFirst)
{
    // keep the fakes, only watch the library end
    GameServices all = gServices;
    all.endLibrary = EndLibrarySpy;
    SetGameServices(&all);
    g_clockRunningAtEnd = -1;
    EXPECT_EQ(RunWithEscape({"--windowed"}), 0);
    std::vector<std::string> order = {"init", "mode:640x480x16", "fonttype:1", "target:-2",
                                      "sheet:png\\Player.png:80:4:20:32:32"};
    int last = -1;
    for (const std::string &step : order) {
        int at = FindCall(step);
        EXPECT_GT(at, last) << step;
        last = at;
    }
    const char *sheets[] = {"sheet:png\\Enemy.png:2400:20:120:32:32", "sheet:png\\Item.png:40:4:10:32:32",
                            "sheet:png\\Block.png:50:5:10:32:32", "sheet:png\\Tama.png:40:4:10:32:32",
                            "sheet:png\\Bomb.png:40:4:10:32:32", "sheet:png\\yuka.png:40:4:10:32:32"};
    for (const char *sheet : sheets) {
        EXPECT_GT(FindCall(sheet), last) << sheet;
        last = FindCall(sheet);
    }
    int loads = 0;
    for (const std::string &c : gFake->calls) loads += c.rfind("load:", 0) == 0 && c.find(":3:-1") != std::string::npos;
    EXPECT_EQ(loads, 48);
    EXPECT_GT(FindCall("load:wav\\bom09.wav:3:-1"), last);
    EXPECT_LT(FindCall("load:wav\\metal24.wav:3:-1"), FindCall("load:voice\\bonus.wav:3:-1"));
    EXPECT_GE(FindCall("load:voice\\warp.wav:3:-1"), 0);
    // shutdown: graphs removed, clock joined before the library ends, records released after
    EXPECT_LT(FindCall("removegraphs"), FindCall("end"));
    EXPECT_EQ(g_clockRunningAtEnd, 0);
    EXPECT_EQ(gGame, nullptr);
    EXPECT_EQ(gPlayers[0], nullptr);
    EXPECT_EQ(gStage, nullptr);
}

TEST_F(StartupTest, WithoutASettingsFileTheGameStartsWithTheDefaults)
{
    CreateGameState();
    CreatePlayerRecords();
    CreateStageRecord();
    EXPECT_EQ(gGame->stage, 1);
    EXPECT_EQ(gGame->titleVoicePending, 1);
    EXPECT_EQ(gGame->hiScore, 0);  // written by the settings file, not by the creation
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(gPlayers[i]->number, i + 1);
        EXPECT_EQ(gPlayers[i]->inPlay, 1);
        EXPECT_EQ(gPlayers[i]->speed, 1);
        EXPECT_EQ(gPlayers[i]->spriteFrame, i * 20);
        EXPECT_EQ(gPlayers[i]->bombButton, 16);
        EXPECT_EQ(gPlayers[i]->remoteButton, 32);
        EXPECT_EQ(gPlayers[i]->kickStopButton, 64);
        EXPECT_EQ(gPlayers[i]->pauseButton, 8192);
        EXPECT_STREQ(gPlayers[i]->name, "Player");
    }
    // the list walks from player 1 to player 4
    int seen = 0;
    for (PlayerRecord *p = gPlayerListHead; p; p = p->next) EXPECT_EQ(p->number, ++seen);
    EXPECT_EQ(seen, 4);
    EXPECT_EQ(gStage->enemyKinds[1][3], 13);
    EXPECT_EQ(gStage->enemyKinds[1][4], STAGE_EMPTY_SLOT);
    EXPECT_EQ(gStage->itemKinds[42][8], 21);
    EXPECT_EQ(gStage->enemyKinds[0][0], STAGE_EMPTY_SLOT);
    EXPECT_EQ(gStage->enemyKinds[43][0], STAGE_EMPTY_SLOT);
}

// Gives every player power-ups, lives and scores.
static void PowerUpEveryone(void)
{
    for (PlayerRecord *p : gPlayers) {
        p->fireRange = 6, p->capacity = 4, p->bombsAvailable = 0, p->speed = 4;
        p->passFlags = 3, p->bombType = 2, p->fullFire = 1, p->lineBomb = 1, p->kick = 1;
        p->lives = 3, p->score = 1, p->inPlay = 1;
    }
    gGame->stage = 20, gGame->blockContentLevel = 2, gGame->credits = 2, gGame->titleVoicePending = 0;
}

static void ExpectPowersCleared(void)
{
    for (PlayerRecord *p : gPlayers) {
        EXPECT_EQ(p->fireRange, 2);
        EXPECT_EQ(p->capacity, 1);
        EXPECT_EQ(p->bombsAvailable, 1);
        EXPECT_EQ(p->speed, 2);
        EXPECT_EQ(p->passFlags | p->bombType | p->fullFire | p->lineBomb | p->kick, 0);
    }
}

TEST_F(StartupTest, ResetsForNewGameContinueAndBattleRound)
{
    PowerUpEveryone();
    ResetPlayersForMode(0);
    ExpectPowersCleared();
    EXPECT_EQ(gGame->stage, 1);
    EXPECT_EQ(gGame->blockContentLevel, 0);
    EXPECT_EQ(gGame->titleVoicePending, 1);
    EXPECT_EQ(gPlayers[2]->inPlay, 0);
    EXPECT_EQ(gPlayers[2]->score, 0);

    PowerUpEveryone();
    ResetPlayersForMode(1);
    ExpectPowersCleared();
    EXPECT_EQ(gGame->stage, 20);
    EXPECT_EQ(gPlayers[0]->lives, 3);
    EXPECT_EQ(gPlayers[0]->score, 0);
    EXPECT_EQ(gPlayers[0]->inPlay, 1);

    PowerUpEveryone();
    ResetPlayersForMode(2);
    ExpectPowersCleared();
    EXPECT_EQ(gGame->credits, 0);
    EXPECT_EQ(gPlayers[3]->lives, 1);
    EXPECT_EQ(gPlayers[3]->score, 1);  // rounds won stay
    EXPECT_EQ(gGame->stage, 20);

    PowerUpEveryone();
    EXPECT_EQ(ResetPlayersForMode(7), 0);
    EXPECT_EQ(gPlayers[1]->speed, 4);
    EXPECT_EQ(gPlayers[1]->kick, 1);
    EXPECT_EQ(gGame->credits, 2);
    ResetPlayersForMode(-1);
    EXPECT_EQ(gPlayers[1]->fireRange, 6);
}
