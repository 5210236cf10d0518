// Menu flows: cursor latches, selections of every screen, options and save, key configuration, stage
// selection, music, and the menu loop's start and end.
#include <gtest/gtest.h>

#include "game/assets.h"
#include "game/frame_loop.h"
#include "game/menus.h"
#include "game/records.h"
#include "game/settings_file.h"
#include "tests/game/game_fakes.h"

enum { DOWN = 1, LEFT = 2, RIGHT = 4, UP = 8, Z = 16 };

class MenuFlowTest : public GameTest {
protected:
    // One menu frame of the current screen with these pads held.
    void Frame(int p1, int p2 = 0, int p3 = 0, int p4 = 0)
    {
        gFake->pads[0] = p1, gFake->pads[1] = p2, gFake->pads[2] = p3, gFake->pads[3] = p4;
        ReadAllPads();
        RunMenuFrame(GetMenuItemCount(gGame->screenId));
    }
    void Press(int bits)
    {
        Frame(bits);
        Frame(0);
    }
    void Open(int screen, int cursor = 0)
    {
        gGame->screenId = screen;
        gGame->cursor = cursor;
    }
};

TEST_F(MenuFlowTest, CursorClampsWithoutWrapAndCountsEveryPad)
{
    Open(SCREEN_OPTIONS);
    for (int i = 0; i < 8; i++) Press(DOWN);
    EXPECT_EQ(gGame->cursor, 5);
    Press(UP);
    EXPECT_EQ(gGame->cursor, 4);
    for (int i = 0; i < 8; i++) Press(UP);
    EXPECT_EQ(gGame->cursor, 0);
    Frame(DOWN, DOWN);  // two pads in one frame: two rows
    EXPECT_EQ(gGame->cursor, 2);
    Frame(DOWN, DOWN);  // still held: nothing
    EXPECT_EQ(gGame->cursor, 2);
    Frame(0, 0);
    Frame(DOWN, DOWN, DOWN, DOWN);
    EXPECT_EQ(gGame->cursor, 5);
}

TEST_F(MenuFlowTest, CursorPastAShorterScreenComesBackToItsLastRow)
{
    // Several pads on the frame that changes the screen can leave the cursor beyond the new screen.
    Open(SCREEN_GAME_OVER, 5);
    Press(DOWN);
    EXPECT_EQ(gGame->cursor, 1);
}

TEST_F(MenuFlowTest, HeldDirectionAtMenuEntryWaitsForARelease)
{
    gFake->script.push_back({{DOWN | Z, 0, 0, 0}, 0, 3});  // held from the stage
    gFake->script.push_back({{Z, 0, 0, 0}, 0, 1});
    gFake->script.push_back({{DOWN | Z, 0, 0, 0}, 0, 1});
    gFake->script.push_back({{Z, 0, 0, 0}, 0, 1});
    gFake->pumpsUntilEnd = 6;
    gGame->screenId = SCREEN_OPTIONS;
    RunMenuLoop();
    EXPECT_EQ(gGame->cursor, 1);
    EXPECT_EQ(gGame->musicOn, 1);  // the held Z did not toggle the music row
}

TEST_F(MenuFlowTest, NormalModeOnePlayerStartsStageOne)
{
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_NORMAL_START);
    EXPECT_EQ(gGame->mode, GAME_MODE_NORMAL);
    EXPECT_EQ(gGame->stage, 1);
    EXPECT_EQ(CountSoundPlays(FakeEffectHandle(EFFECT_MENU_SELECT)), 1);
    Press(DOWN);
    Press(Z);
    EXPECT_EQ(gGame->playersInPlay, 1);
    EXPECT_EQ(gPlayers[0]->inPlay, 1);
    EXPECT_EQ(gPlayers[0]->lives, 1);
    EXPECT_EQ(gPlayers[1]->lives, 0);
    EXPECT_EQ(gGame->credits, 4);
    EXPECT_EQ(gGame->cursor, 0);
}

TEST_F(MenuFlowTest, NormalModeTwoPlayers)
{
    Open(SCREEN_NORMAL_START);
    Press(DOWN);
    Press(DOWN);
    Press(Z);
    EXPECT_EQ(gGame->playersInPlay, 2);
    EXPECT_EQ(gPlayers[1]->inPlay, 1);
    EXPECT_EQ(gPlayers[1]->lives, 1);
    EXPECT_EQ(gGame->credits, 3);
}

TEST_F(MenuFlowTest, ContinueBackToTitleAndGameOverRows)
{
    Open(SCREEN_CONTINUE, 2);
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_BACK_TO_TITLE);
    gPlayers[0]->lives = 0;
    gPlayers[1]->lives = 2;
    Press(Z);  // "ゲームを続ける" with a player who has lives: continue screen
    EXPECT_EQ(gGame->screenId, SCREEN_CONTINUE);
    Open(SCREEN_CONTINUE, 1);
    gPlayers[0]->inPlay = gPlayers[1]->inPlay = 0;
    Press(Z);
    EXPECT_EQ(gGame->playersInPlay, 1);
    EXPECT_EQ(gPlayers[0]->inPlay, 0);
    EXPECT_EQ(gPlayers[1]->inPlay, 1);

    gPlayers[1]->lives = 0;
    Open(SCREEN_BACK_TO_TITLE);
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_NORMAL_START);

    gPlayers[0]->score = 900;
    gGame->stage = 9;
    Open(SCREEN_GAME_OVER);
    Press(Z);  // continue: scores reset, same stage
    EXPECT_EQ(gGame->screenId, SCREEN_NORMAL_START);
    EXPECT_EQ(gPlayers[0]->score, 0);
    EXPECT_EQ(gGame->stage, 9);
    Open(SCREEN_GAME_OVER, 1);
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_TITLE);
    EXPECT_EQ(gGame->stage, 1);
    EXPECT_EQ(CountSoundPlays(FakeVoiceHandle(VOICE_TITLE_CALL)), 1);  // called again after the reset
}

TEST_F(MenuFlowTest, AllStagesClearedLeadsToGameClear)
{
    gGame->progress = 43;
    gGame->stage = 43;
    Open(SCREEN_NORMAL_START, 1);
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_GAME_CLEAR);
    EXPECT_EQ(gGame->playersInPlay, 0);
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_TITLE);
    Open(SCREEN_CONTINUE, 2);
    gGame->stage = 43;
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_GAME_CLEAR);
}

TEST_F(MenuFlowTest, StageSelectionOnlyOnTheStageLineWithinItsMaximum)
{
    gGame->progress = 3;
    Open(SCREEN_NORMAL_START);
    for (int i = 0; i < 5; i++) Press(RIGHT);
    EXPECT_EQ(gGame->stage, 3);
    Press(LEFT);
    EXPECT_EQ(gGame->stage, 2);
    Frame(RIGHT, RIGHT);  // one press moves the stage for every player holding the key
    EXPECT_EQ(gGame->stage, 3);
    Frame(0, 0);
    for (int i = 0; i < 5; i++) Press(LEFT);
    EXPECT_EQ(gGame->stage, 1);
    gGame->cursor = 1;
    Press(RIGHT);
    EXPECT_EQ(gGame->stage, 1);

    // a progress from a hand-edited file: the selection stops at 43
    gGame->progress = 99;
    gGame->cursor = 0;
    gGame->stage = 42;
    for (int i = 0; i < 5; i++) Press(RIGHT);
    EXPECT_EQ(gGame->stage, 43);
    gGame->progress = -4;
    Press(RIGHT);
    EXPECT_EQ(gGame->stage, 1);

    Open(SCREEN_BATTLE_START);
    Press(RIGHT);
    EXPECT_EQ(gGame->stage, 1);
    Press(Z);  // the battle stage line does nothing
    EXPECT_EQ(gGame->screenId, SCREEN_BATTLE_START);
    EXPECT_EQ(FindCall("wait"), -1);
}

TEST_F(MenuFlowTest, StageLineSelectOpensStageInformation)
{
    Open(SCREEN_NORMAL_START);
    Press(Z);
    EXPECT_TRUE(DrewText(200, 18, "ステージ 1 のデータ"));
    EXPECT_GE(FindCall("wait"), 0);
    EXPECT_EQ(gGame->screenId, SCREEN_NORMAL_START);
}

TEST_F(MenuFlowTest, BattleStartChoosesPlayersAndRoundResultStartsTheNext)
{
    Press(DOWN);
    gFake->musicPlaying = true;
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_BATTLE_START);
    EXPECT_EQ(gGame->mode, GAME_MODE_BATTLE);
    EXPECT_GE(FindCall("stop"), 0);
    Press(DOWN);
    Press(DOWN);
    Press(Z);
    EXPECT_EQ(gGame->battlePlayers, 3);
    EXPECT_EQ(gGame->playersInPlay, 3);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(gPlayers[i]->inPlay, i < 3 ? 1 : 0);
        EXPECT_EQ(gPlayers[i]->lives, i < 3 ? 1 : 0);
    }
    gGame->playersInPlay = 0;
    Open(SCREEN_ROUND_RESULT);
    Press(Z);
    EXPECT_EQ(gGame->playersInPlay, 3);
    Open(SCREEN_BATTLE_START, 4);
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_TITLE);
    EXPECT_EQ(gGame->mode, GAME_MODE_NONE);
}

TEST_F(MenuFlowTest, OptionsToggleSaveAndConfirm)
{
    Open(SCREEN_OPTIONS, 1);
    gFake->musicPlaying = true;
    Press(Z);
    EXPECT_EQ(gGame->musicOn, 0);
    EXPECT_FALSE(gFake->musicPlaying);
    Press(DOWN);
    Press(Z);
    EXPECT_EQ(gGame->soundEffectsOn, 0);
    Press(DOWN);
    Press(Z);
    EXPECT_EQ(gGame->difficulty, 1);
    // the selection sound comes before the toggle: only the third selection was silent
    EXPECT_EQ(CountSoundPlays(FakeEffectHandle(EFFECT_MENU_SELECT)), 2);
    Press(DOWN);
    Press(DOWN);
    ClearDrawn();
    Press(Z);
    ASSERT_EQ(gFake->file.size(), 84u);
    EXPECT_EQ(gFake->file[8], 0);   // music off
    EXPECT_EQ(gFake->file[12], 0);  // effects off
    EXPECT_EQ(gFake->file[16], 1);  // hard
    EXPECT_TRUE(DrewText(200, 18, "設定を保存しました"));
    EXPECT_TRUE(DrewText(200, 268, "何かボタンを押すとオプション画面に戻ります"));
    EXPECT_TRUE(DrewText(200, 118, "音楽　OFF"));
    EXPECT_TRUE(DrewText(200, 218, "難易度（難しい）"));
    EXPECT_GT(FindCall("wait"), 0);
    EXPECT_EQ(gGame->screenId, SCREEN_OPTIONS);

    // music back on: the next frame starts the options music
    Open(SCREEN_OPTIONS, 1);
    ClearDrawn();
    Frame(Z);
    EXPECT_EQ(gGame->musicOn, 1);
    EXPECT_GE(FindCall("volume:255"), 0);
    EXPECT_EQ(FindCall("music:mid\\sunrise.mid:3"), -1);
    Frame(0);
    EXPECT_GE(FindCall("music:mid\\sunrise.mid:3"), 0);
    Open(SCREEN_OPTIONS, 0);
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_TITLE);
}

TEST_F(MenuFlowTest, KeyConfigurationAssignsWithSwapAndSurvivesARestart)
{
    Open(SCREEN_OPTIONS, 4);
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_KEY_CONFIG);
    Press(DOWN);
    Press(DOWN);          // row 2: remote
    Frame(Z);             // button 1 assigns instead of selecting
    Frame(0);
    EXPECT_EQ(gGame->screenId, SCREEN_KEY_CONFIG);
    EXPECT_EQ(gPlayers[0]->remoteButton, 16);
    EXPECT_EQ(gPlayers[0]->bombButton, 32);  // swapped
    Frame(0, 0, 0, 4096 | 1024);  // Escape's bit is never an action button
    Frame(0);
    EXPECT_EQ(gPlayers[3]->remoteButton, 1024);
    Press(DOWN);
    Press(DOWN);          // row 4: pause
    Frame(0, 128);
    Frame(0);
    EXPECT_EQ(gPlayers[1]->pauseButton, 128);
    EXPECT_EQ(gPlayers[1]->bombButton, 16);
    for (int i = 0; i < 4; i++) Press(UP);
    Press(Z);
    EXPECT_EQ(gGame->screenId, SCREEN_OPTIONS);
    // saved, then read back by a new start
    SaveHiScoreFile();
    CreatePlayerRecords();
    LoadHiScoreFile();
    EXPECT_EQ(gPlayers[0]->remoteButton, 16);
    EXPECT_EQ(gPlayers[0]->bombButton, 32);
    EXPECT_EQ(gPlayers[3]->remoteButton, 1024);
    EXPECT_EQ(gPlayers[1]->pauseButton, 128);
}

TEST_F(MenuFlowTest, SeveralButtonsAtOnceAssignInBitOrder)
{
    Open(SCREEN_KEY_CONFIG, 1);
    Frame(64 | 8192);
    // 64 first (swapping with kick-stop), then 8192 (swapping with pause, which gets 64 back)
    EXPECT_EQ(gPlayers[0]->bombButton, 8192);
    EXPECT_EQ(gPlayers[0]->kickStopButton, 16);
    EXPECT_EQ(gPlayers[0]->pauseButton, 64);
}

TEST_F(MenuFlowTest, TitleMusicPlaysOnlyWhenOnAndSilent)
{
    Frame(0);
    EXPECT_EQ(FindCall("music:mid\\dancers7.mid:3"), 1);  // after the volume
    ClearDrawn();
    Frame(0);
    EXPECT_EQ(FindCall("music:mid\\dancers7.mid:3"), -1);  // already playing
    gFake->musicPlaying = false;
    gGame->musicOn = 0;
    Frame(0);
    EXPECT_EQ(FindCall("music:mid\\dancers7.mid:3"), -1);
}

TEST_F(MenuFlowTest, MenuLoopStopsMusicStartsTheStageAndTheCard)
{
    gFake->musicPlaying = true;
    gFake->pumpsUntilEnd = 100;
    QueueIdle(1);
    QueuePress(Z);
    QueuePress(DOWN);
    QueuePress(Z);
    EXPECT_EQ(RunMenuLoop(), 0);
    EXPECT_EQ(FindCall("stop"), 0);  // entering the menus
    EXPECT_EQ(gGame->inStage, 1);
    EXPECT_EQ(gGame->stage, 1);
    EXPECT_EQ(gGame->timeLeft, 200);
    EXPECT_EQ(gGame->textColor, 0xFFFFFF);
    EXPECT_EQ(gPlayers[0]->lives, 1);
    EXPECT_EQ(gPlayers[1]->lives, 0);
    EXPECT_EQ(gPlayers[1]->cellX, 1000);  // not in play: off the field
    EXPECT_EQ(gGame->credits, 4);
    EXPECT_TRUE(DrewText(50, 200, "1　ー　1"));
    EXPECT_GE(FindCall("music:mid\\mori2.mid:3"), 0);
    // the title music was not stopped by the normal start: only by the stage music
    int stops = 0;
    for (const std::string &c : gFake->calls) stops += c == "stop";
    EXPECT_EQ(stops, 2);
}

TEST_F(MenuFlowTest, EscapeInTheMenusQuitsAfterOneMoreFrame)
{
    gFake->escape = 1;
    EXPECT_EQ(RunMenuLoop(), 0);
    EXPECT_EQ(gGame->quit, 1);
    int presents = 0;
    for (const std::string &c : gFake->calls) presents += c == "present";
    EXPECT_EQ(presents, 1);
}
