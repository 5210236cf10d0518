// Menu screens: texts, positions, cursor, title call and music, stage information and card.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "game/assets.h"
#include "game/frame_loop.h"
#include "game/menus.h"
#include "game/records.h"
#include "tests/game/game_fakes.h"

class MenuTest : public GameTest {
protected:
    void SetUp() override
    {
        GameTest::SetUp();
        gGame->textColor = 0xFF0000;
    }
    // Draws the current screen once (no input).
    void DrawScreen(int id)
    {
        gGame->screenId = id;
        ClearDrawn();
        DrawMenuScreen();
    }
    bool CursorAt(int x, int y)
    {
        for (const DrawnGraph &g : gFake->graphs) {
            if (g.x == x && g.y == y && g.handle == gPlayerSheet[MENU_CURSOR_FRAME]) return true;
        }
        return false;
    }
};

struct ExpectedText {
    int x, y;
    const char *text;
};

static void ExpectTexts(std::initializer_list<ExpectedText> texts)
{
    for (const ExpectedText &t : texts) EXPECT_TRUE(DrewText(t.x, t.y, t.text)) << t.x << "," << t.y;
    EXPECT_EQ(gFake->texts.size(), texts.size());
    for (const DrawnText &t : gFake->texts) EXPECT_EQ(t.color, 0xFF0000);
}

TEST_F(MenuTest, TitleScreenCallsOncePerPendingFlag)
{
    DrawScreen(SCREEN_TITLE);
    ExpectTexts({{200, 18, "どのモードで遊びますか？"}, {200, 68, "ノーマルモード"}, {200, 118, "バトルモード"},
                 {200, 168, "オプション"}});
    EXPECT_TRUE(CursorAt(140, 68));
    DrawScreen(SCREEN_TITLE);
    EXPECT_EQ(CountSoundPlays(FakeVoiceHandle(VOICE_TITLE_CALL)), 1);
    EXPECT_EQ(gGame->titleVoicePending, 0);
    // effects off: the flag is used up without a sound
    gGame->titleVoicePending = 1;
    gGame->soundEffectsOn = 0;
    DrawScreen(SCREEN_TITLE);
    EXPECT_EQ(CountSoundPlays(FakeVoiceHandle(VOICE_TITLE_CALL)), 1);
    EXPECT_EQ(gGame->titleVoicePending, 0);
}

TEST_F(MenuTest, OptionsAndKeyConfigurationScreens)
{
    gGame->cursor = 2;
    DrawScreen(SCREEN_OPTIONS);
    ExpectTexts({{200, 18, "オプションモード"}, {200, 68, "戻る"}, {200, 118, "音楽　ON"}, {200, 168, "効果音　ON"},
                 {200, 218, "難易度（普通）"}, {200, 268, "キーコンフィグ"}, {200, 318, "設定を保存する"}});
    EXPECT_TRUE(CursorAt(140, 168));
    gGame->musicOn = 0;
    gGame->soundEffectsOn = 0;
    gGame->difficulty = 1;
    DrawScreen(SCREEN_OPTIONS);
    EXPECT_TRUE(DrewText(200, 118, "音楽　OFF"));
    EXPECT_TRUE(DrewText(200, 168, "効果音　OFF"));
    EXPECT_TRUE(DrewText(200, 218, "難易度（難しい）"));
    gGame->difficulty = 7;  // no difficulty line for other values
    DrawScreen(SCREEN_OPTIONS);
    EXPECT_EQ(FindTextAt(200, 218), nullptr);

    gGame->cursor = 1;
    gPlayers[3]->pauseButton = 2048;
    DrawScreen(SCREEN_KEY_CONFIG);
    EXPECT_TRUE(CursorAt(40, 118));
    EXPECT_TRUE(DrewText(100, 18, "キーコンフィグモード"));
    EXPECT_TRUE(DrewText(100, 68, "戻る"));
    EXPECT_TRUE(DrewText(100, 118, "爆弾設置"));
    EXPECT_TRUE(DrewText(100, 168, "リモコン"));
    EXPECT_TRUE(DrewText(100, 218, "キック止"));
    EXPECT_TRUE(DrewText(100, 268, "ポーズ"));
    EXPECT_TRUE(DrewText(200, 118, "1 P 16キー"));
    EXPECT_TRUE(DrewText(200, 143, "2 P 16キー"));
    EXPECT_TRUE(DrewText(350, 168, "3 P 32キー"));
    EXPECT_TRUE(DrewText(350, 243, "4 P 64キー"));
    EXPECT_TRUE(DrewText(350, 293, "4 P 2048キー"));
    EXPECT_EQ(gFake->texts.size(), 6u + 16u);
}

TEST_F(MenuTest, NormalModeScreens)
{
    gGame->progress = 12;
    gGame->stage = 5;
    gGame->cursor = 3;
    DrawScreen(SCREEN_NORMAL_START);
    ExpectTexts({{200, 18, "ノーマルモード"}, {200, 68, "左右のキーでステージを選べます 最大 12 まで"},
                 {200, 118, "ステージ 5　Zかパッド１ボタンで詳細情報"}, {200, 168, "１人でプレイ"},
                 {200, 218, "２人でプレイ"}, {200, 268, "戻る"}});
    EXPECT_TRUE(CursorAt(140, 268));

    gGame->cursor = 0;
    DrawScreen(SCREEN_CONTINUE);
    ExpectTexts({{200, 18, "ノーマルモード"}, {200, 68, "左右のキーでステージを選べます 最大 12 まで"},
                 {200, 118, "ステージ 5　Zかパッド１ボタンで詳細情報"}, {200, 168, "スタート"}, {200, 218, "戻る"}});
    EXPECT_TRUE(CursorAt(140, 118));

    DrawScreen(SCREEN_GAME_OVER);
    ExpectTexts({{200, 18, "ノーマルモード"}, {200, 68, "ゲームオーバー"}, {200, 118, "ゲームを続ける"},
                 {200, 168, "ゲームを終わる"}});
    EXPECT_TRUE(CursorAt(140, 118));

    DrawScreen(SCREEN_GAME_CLEAR);
    ExpectTexts({{200, 18, "ゲームクリアー"}, {200, 68, "このゲームはこれで終わりです"},
                 {200, 118, "遊んでくれてありがとう"}, {200, 168, "Ｚ（パッドの１ボタン）を押すとタイトルに戻る"}});
    EXPECT_TRUE(CursorAt(140, 68));

    DrawScreen(SCREEN_BACK_TO_TITLE);
    ExpectTexts({{200, 18, "タイトル画面に戻りますか？"}, {50, 68, "到達度とハイスコア以外のデータは全てリセットされます。"},
                 {200, 118, "ゲームを続ける"}, {200, 168, "タイトルに戻る"}});
    EXPECT_TRUE(CursorAt(140, 118));
}

TEST_F(MenuTest, TheStageLineShowsTheMaximumTheSelectionKeepsTo)
{
    // a hand-edited file: the stored progress stays, the screen offers what can be chosen
    for (auto [progress, shown] : {std::pair{100, 43}, {43, 43}, {0, 1}, {-7, 1}}) {
        gGame->progress = progress;
        DrawScreen(SCREEN_NORMAL_START);
        std::string line = "左右のキーでステージを選べます 最大 " + std::to_string(shown) + " まで";
        EXPECT_TRUE(DrewText(200, 68, line.c_str())) << progress;
        DrawScreen(SCREEN_CONTINUE);
        EXPECT_TRUE(DrewText(200, 68, line.c_str())) << progress;
        EXPECT_EQ(gGame->progress, progress);
    }
}

TEST_F(MenuTest, BattleScreens)
{
    gGame->cursor = 4;
    DrawScreen(SCREEN_BATTLE_START);
    ExpectTexts({{200, 18, "バトルモード"}, {200, 68, "左右のキーでステージを選べます 最大 1 まで"},
                 {200, 118, "ステージ 1　Zかパッド１ボタンで詳細情報"}, {200, 168, "２人でプレイ"},
                 {200, 218, "３人でプレイ"}, {200, 268, "４人でプレイ"}, {200, 318, "戻る"}});
    EXPECT_TRUE(CursorAt(140, 318));

    // a drawn round: nobody has lives
    gGame->cursor = 0;
    gGame->battlePlayers = 3;
    gPlayers[0]->score = 1;
    for (PlayerRecord *p : gPlayers) p->lives = 0, p->inPlay = 0;
    DrawScreen(SCREEN_ROUND_RESULT);
    ExpectTexts({{200, 18, "バトルモード"}, {200, 68, "引き分け"}, {100, 118, "１P勝ち数 1"}, {100, 168, "２P勝ち数 0"},
                 {300, 118, "３P勝ち数 0"}, {300, 168, "４P勝ち数 0"}});
    EXPECT_TRUE(CursorAt(140, 68));
    EXPECT_EQ(gGame->screenId, SCREEN_ROUND_RESULT);
    // the battle players come back into play, the fourth does not
    EXPECT_EQ(gPlayers[2]->inPlay, 1);
    EXPECT_EQ(gPlayers[3]->inPlay, 0);

    // player 3 survives (with a heart's extra life) and has two wins: victory
    gPlayers[2]->lives = 2;
    gPlayers[2]->score = 2;
    DrawScreen(SCREEN_ROUND_RESULT);
    EXPECT_TRUE(DrewText(200, 68, "勝者 ３P"));
    EXPECT_EQ(gGame->screenId, SCREEN_VICTORY);

    DrawScreen(SCREEN_VICTORY);
    ExpectTexts({{200, 18, "VICTORY"}, {100, 68, "１P勝ち数 1"}, {100, 118, "２P勝ち数 0"}, {300, 68, "３P勝ち数 2"},
                 {300, 118, "４P勝ち数 0"}, {200, 168, "勝利者が決定しました"}, {200, 218, "勝者 ３P"},
                 {200, 268, "遊んでくれてありがとう"}, {200, 318, "Ｚ（パッドの１ボタン）を押すとタイトルに戻る"}});
    EXPECT_TRUE(CursorAt(140, 268));
}

TEST_F(MenuTest, StageInformationShowsTheStagesIconsAndWaits)
{
    gGame->stage = 21;  // enemies 2 2 2 5 5 6 24 25, items 4 5 10 14
    ShowStageInfo();
    EXPECT_GE(FindCall("rect:0,118,640,150:" + std::to_string((200 << 16) | (240 << 8) | 200)), 0);
    EXPECT_TRUE(DrewText(200, 18, "ステージ 21 のデータ"));
    EXPECT_TRUE(DrewText(200, 68, "登場する敵キャラ"));
    EXPECT_TRUE(DrewText(200, 168, "出現アイテム"));
    std::vector<DrawnGraph> expected;
    const int enemies[] = {2, 2, 2, 5, 5, 6, 24, 25};
    for (int i = 0; i < 8; i++) expected.push_back({10 + 40 * i, 118, gEnemySheet[enemies[i] * 20]});
    const int items[] = {4, 5, 10, 14};
    for (int i = 0; i < 4; i++) expected.push_back({10 + 40 * i, 218, gItemSheet[items[i]]});
    ASSERT_EQ(gFake->graphs.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        EXPECT_EQ(gFake->graphs[i].x, expected[i].x);
        EXPECT_EQ(gFake->graphs[i].y, expected[i].y);
        EXPECT_EQ(gFake->graphs[i].handle, expected[i].handle);
    }
    EXPECT_GT(FindCall("wait"), FindCall("present"));
}

TEST_F(MenuTest, StageInformationBeyondTheTableShowsNoIcons)
{
    for (int stage : {0, 43, 60, -5}) {
        gGame->stage = stage;
        ClearDrawn();
        ShowStageInfo();
        EXPECT_TRUE(gFake->graphs.empty()) << stage;
        EXPECT_GE(FindCall("wait"), 0);
    }
}

TEST_F(MenuTest, StageCardShowsWorldAndStageInLargeTextWithoutWaiting)
{
    gGame->world = 2;
    gGame->stageInWorld = 4;
    ShowStageCard();
    EXPECT_TRUE(DrewText(50, 200, "3　ー　4"));
    EXPECT_EQ(CountSoundPlays(FakeEffectHandle(EFFECT_STAGE_CARD)), 1);
    int big = FindCall("font:128"), present = FindCall("present"), small = FindCall("font:16");
    EXPECT_TRUE(big >= 0 && big < present && present < small);
    EXPECT_EQ(FindCall("wait"), -1);
}
