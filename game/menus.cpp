// The menu loop, its screens, the cursor, stage selection, options, key configuration, stage
// information and the stage card.
#include "game/menus.h"

#include "game/assets.h"
#include "game/frame_loop.h"
#include "game/player_input.h"
#include "game/records.h"
#include "game/services.h"
#include "game/settings_file.h"
#include "game/stage_hooks.h"

// ---- the screen table ----------------------------------------------------------------------------
struct MenuText {
    int x, y;
    const char *text;
};

struct MenuScreen {
    int id;
    int items;                   // rows the cursor moves over
    int cursorX, cursorTop;      // cursor at (cursorX, cursorTop + 50 * row)
    const MenuText *texts;       // fixed texts, ended by a null text
    void (*drawLines)(void);     // texts that depend on the records, or null
};

#define MENU_ROW_STEP 50

static const MenuText kTitleTexts[] = {
    {200, 18, "どのモードで遊びますか？"},
    {200, 68, "ノーマルモード"},
    {200, 118, "バトルモード"},
    {200, 168, "オプション"},
    {0, 0, nullptr},
};
static const MenuText kOptionsTexts[] = {
    {200, 18, "オプションモード"},
    {200, 68, "戻る"},
    {200, 268, "キーコンフィグ"},
    {200, 318, "設定を保存する"},
    {0, 0, nullptr},
};
static const MenuText kKeyConfigTexts[] = {
    {100, 18, "キーコンフィグモード"},
    {100, 68, "戻る"},
    {100, 118, "爆弾設置"},
    {100, 168, "リモコン"},
    {100, 218, "キック止"},
    {100, 268, "ポーズ"},
    {0, 0, nullptr},
};
static const MenuText kNormalStartTexts[] = {
    {200, 18, "ノーマルモード"},
    {200, 168, "１人でプレイ"},
    {200, 218, "２人でプレイ"},
    {200, 268, "戻る"},
    {0, 0, nullptr},
};
static const MenuText kContinueTexts[] = {
    {200, 18, "ノーマルモード"},
    {200, 168, "スタート"},
    {200, 218, "戻る"},
    {0, 0, nullptr},
};
static const MenuText kGameOverTexts[] = {
    {200, 18, "ノーマルモード"},
    {200, 68, "ゲームオーバー"},
    {200, 118, "ゲームを続ける"},
    {200, 168, "ゲームを終わる"},
    {0, 0, nullptr},
};
static const MenuText kGameClearTexts[] = {
    {200, 18, "ゲームクリアー"},
    {200, 68, "このゲームはこれで終わりです"},
    {200, 118, "遊んでくれてありがとう"},
    {200, 168, "Ｚ（パッドの１ボタン）を押すとタイトルに戻る"},
    {0, 0, nullptr},
};
static const MenuText kBackToTitleTexts[] = {
    {200, 18, "タイトル画面に戻りますか？"},
    {50, 68, "到達度とハイスコア以外のデータは全てリセットされます。"},
    {200, 118, "ゲームを続ける"},
    {200, 168, "タイトルに戻る"},
    {0, 0, nullptr},
};
static const MenuText kBattleStartTexts[] = {
    {200, 18, "バトルモード"},
    {200, 168, "２人でプレイ"},
    {200, 218, "３人でプレイ"},
    {200, 268, "４人でプレイ"},
    {200, 318, "戻る"},
    {0, 0, nullptr},
};
static const MenuText kRoundResultTexts[] = {
    {200, 18, "バトルモード"},
    {0, 0, nullptr},
};
static const MenuText kVictoryTexts[] = {
    {200, 18, "VICTORY"},
    {200, 268, "遊んでくれてありがとう"},
    {200, 318, "Ｚ（パッドの１ボタン）を押すとタイトルに戻る"},
    {0, 0, nullptr},
};

static const char *const kWinnerTexts[PLAYER_COUNT] = {"勝者 １P", "勝者 ２P", "勝者 ３P", "勝者 ４P"};

// ---- lines that depend on the records ------------------------------------------------------------
static void DrawOptionLines(void)
{
    int color = gGame->textColor;
    gServices.drawText(200, 118, gGame->musicOn ? "音楽　ON" : "音楽　OFF", color, 0);
    gServices.drawText(200, 168, gGame->soundEffectsOn ? "効果音　ON" : "効果音　OFF", color, 0);
    if (gGame->difficulty == 0) gServices.drawText(200, 218, "難易度（普通）", color, 0);
    if (gGame->difficulty == 1) gServices.drawText(200, 218, "難易度（難しい）", color, 0);
}

static void DrawKeyConfigLines(void)
{
    static const int kRowY[4] = {118, 168, 218, 268};
    for (int n = 1; n <= PLAYER_COUNT; n++) {
        const PlayerRecord *player = GetPlayer(n);
        const int masks[4] = {player->bombButton, player->remoteButton, player->kickStopButton,
                              player->pauseButton};
        int x = n <= 2 ? 200 : 350;
        int dy = n % 2 == 0 ? 25 : 0;
        for (int a = 0; a < 4; a++) DrawGameText(x, kRowY[a] + dy, gGame->textColor, "%d P %dキー", n, masks[a]);
    }
}

// The stage-selection lines of the start screens, with the selection maximum shown.
static void DrawStageLines(int shownMaximum)
{
    DrawGameText(200, 68, gGame->textColor, "左右のキーでステージを選べます 最大 %d まで", shownMaximum);
    DrawGameText(200, 118, gGame->textColor, "ステージ %d　Zかパッド１ボタンで詳細情報", gGame->stage);
}

// The maximum shown is the one the selection keeps to, whatever the file stored.
static void DrawNormalStageLines(void) { DrawStageLines(GetStageSelectionMax()); }
static void DrawBattleStageLines(void) { DrawStageLines(1); }

// The four win counts in two columns from the top row y.
static void DrawWinCounts(int top)
{
    static const char *const kFormats[PLAYER_COUNT] = {"１P勝ち数 %d", "２P勝ち数 %d", "３P勝ち数 %d",
                                                       "４P勝ち数 %d"};
    for (int i = 0; i < PLAYER_COUNT; i++) {
        int x = i < 2 ? 100 : 300;
        int y = top + (i % 2) * MENU_ROW_STEP;
        DrawGameText(x, y, gGame->textColor, kFormats[i], gPlayers[i]->score);
    }
}

static void DrawRoundResultLines(void)
{
    int winner = FindRoundWinner();
    gServices.drawText(200, 68, winner ? kWinnerTexts[winner - 1] : "引き分け", gGame->textColor, 0);
    DrawWinCounts(118);
}

// First player with two or more rounds won, 0 when none.
static int FindBattleVictor(void)
{
    for (int n = 1; n <= PLAYER_COUNT; n++) {
        if (GetPlayer(n)->score >= 2) return n;
    }
    return 0;
}

static void DrawVictoryLines(void)
{
    DrawWinCounts(68);
    int victor = FindBattleVictor();
    if (victor) {
        gServices.drawText(200, 168, "勝利者が決定しました", gGame->textColor, 0);
        gServices.drawText(200, 218, kWinnerTexts[victor - 1], gGame->textColor, 0);
    }
}

static const MenuScreen kMenuScreens[] = {
    {SCREEN_TITLE, 3, 140, 68, kTitleTexts, nullptr},
    {SCREEN_OPTIONS, 6, 140, 68, kOptionsTexts, DrawOptionLines},
    {SCREEN_KEY_CONFIG, 5, 40, 68, kKeyConfigTexts, DrawKeyConfigLines},
    {SCREEN_NORMAL_START, 4, 140, 118, kNormalStartTexts, DrawNormalStageLines},
    {SCREEN_CONTINUE, 3, 140, 118, kContinueTexts, DrawNormalStageLines},
    {SCREEN_GAME_OVER, 2, 140, 118, kGameOverTexts, nullptr},
    {SCREEN_GAME_CLEAR, 1, 140, 68, kGameClearTexts, nullptr},
    {SCREEN_BACK_TO_TITLE, 2, 140, 118, kBackToTitleTexts, nullptr},
    {SCREEN_BATTLE_START, 5, 140, 118, kBattleStartTexts, DrawBattleStageLines},
    {SCREEN_ROUND_RESULT, 1, 140, 68, kRoundResultTexts, DrawRoundResultLines},
    {SCREEN_VICTORY, 1, 140, 268, kVictoryTexts, DrawVictoryLines},
};

static const MenuScreen *FindMenuScreen(int id)
{
    for (const MenuScreen &screen : kMenuScreens) {
        if (screen.id == id) return &screen;
    }
    return nullptr;
}

int GetMenuItemCount(int screenId)
{
    const MenuScreen *screen = FindMenuScreen(screenId);
    return screen ? screen->items : 0;
}

int FindRoundWinner(void)
{
    // Lives of one or more: a survivor who picked up a heart still wins.
    for (int n = 1; n <= PLAYER_COUNT; n++) {
        if (GetPlayer(n)->lives >= 1) return n;
    }
    return 0;
}

// ---- drawing -------------------------------------------------------------------------------------
static void DrawMenuCursor(int x, int top)
{
    gServices.putGraph(x, top + MENU_ROW_STEP * gGame->cursor, gPlayerSheet[MENU_CURSOR_FRAME], 1);
}

// The screen's texts and cursor.
static void DrawScreenContents(const MenuScreen *screen)
{
    for (const MenuText *t = screen->texts; t->text; t++) gServices.drawText(t->x, t->y, t->text, gGame->textColor, 0);
    if (screen->drawLines) screen->drawLines();
    DrawMenuCursor(screen->cursorX, screen->cursorTop);
}

// The round result's side effects: the battle players come back into play; two wins end the battle.
static void SettleRoundResult(void)
{
    for (int n = 1; n <= gGame->battlePlayers && n <= PLAYER_COUNT; n++) GetPlayer(n)->inPlay = 1;
    for (int n = 1; n <= gGame->battlePlayers && n <= PLAYER_COUNT; n++) {
        if (GetPlayer(n)->score >= 2) {
            gGame->screenId = SCREEN_VICTORY;
            return;
        }
    }
}

int DrawMenuScreen(void)
{
    const MenuScreen *screen = FindMenuScreen(gGame->screenId);
    if (!screen) return 0;
    if (screen->id == SCREEN_TITLE && gGame->titleVoicePending) {
        PlayVoiceIfEnabled(VOICE_TITLE_CALL);
        gGame->titleVoicePending = 0;
    }
    DrawScreenContents(screen);
    if (screen->id == SCREEN_ROUND_RESULT) SettleRoundResult();
    return 0;
}

// ---- selections ----------------------------------------------------------------------------------
// Back to the title: everything but progress and hi-score starts again.
static void ReturnToTitle(void)
{
    gGame->cursor = 0;
    gGame->screenId = SCREEN_TITLE;
    gGame->mode = GAME_MODE_NONE;
    ResetPlayersForMode(0);
}

static void SelectOnTitle(int row)
{
    if (row == 0) {
        gGame->cursor = 0;
        gGame->mode = GAME_MODE_NORMAL;
        ResetPlayersForMode(0);
        gGame->screenId = SCREEN_NORMAL_START;
    } else if (row == 1) {
        gGame->cursor = 0;
        gGame->mode = GAME_MODE_BATTLE;
        gServices.stopCurrentMusic();
        gGame->screenId = SCREEN_BATTLE_START;
    } else if (row == 2) {
        gGame->cursor = 0;
        gServices.stopCurrentMusic();
        gGame->screenId = SCREEN_OPTIONS;
    }
}

// The frame that confirms the save; returns on any key.
static void ShowSaveConfirmation(void)
{
    gServices.eraseDrawTarget();
    DrawOptionLines();
    gServices.drawText(200, 18, "設定を保存しました", gGame->textColor, 0);
    gServices.drawText(200, 268, "何かボタンを押すとオプション画面に戻ります", gGame->textColor, 0);
    DrawMenuCursor(140, 68);
    gServices.presentFrame();
    gServices.waitForAnyKey();
}

static void SelectOnOptions(int row)
{
    switch (row) {
    case 0:
        gServices.stopCurrentMusic();
        ReturnToTitle();
        break;
    case 1:
        if (gGame->musicOn) {
            gServices.stopCurrentMusic();
            gGame->musicOn = 0;
        } else {
            // the menu loop starts the screen's music on its next frame
            gServices.changeCurrentMusicVolume(MUSIC_FULL_VOLUME);
            gGame->musicOn = 1;
        }
        break;
    case 2: gGame->soundEffectsOn = gGame->soundEffectsOn ? 0 : 1; break;
    case 3: gGame->difficulty = gGame->difficulty == 0 ? 1 : 0; break;
    case 4:
        gGame->cursor = 0;
        gGame->mode = GAME_MODE_NONE;
        gGame->screenId = SCREEN_KEY_CONFIG;
        break;
    case 5:
        SaveHiScoreFile();
        ShowSaveConfirmation();
        break;
    }
}

static void SelectOnKeyConfig(int row)
{
    if (row != 0) return;
    gServices.stopCurrentMusic();
    gGame->cursor = 0;
    gGame->mode = GAME_MODE_NONE;
    gGame->screenId = SCREEN_OPTIONS;
}

// One or two players start a new game.
static void StartNormalGame(int players)
{
    gGame->cursor = 0;
    gGame->playersInPlay = players;
    gPlayers[0]->inPlay = 1;
    gPlayers[0]->lives = 1;
    if (players == 2) gPlayers[1]->inPlay = 1;
    gPlayers[1]->lives = players == 2 ? 1 : 0;
    gGame->credits = players == 1 ? 4 : 3;
}

// Players 1 and 2 with lives left go on to the next stage.
static void ContinueNormalGame(void)
{
    gGame->cursor = 0;
    for (int i = 0; i < 2; i++) {
        if (gPlayers[i]->lives > 0) {
            gPlayers[i]->inPlay = 1;
            gGame->playersInPlay++;
        }
    }
}

// Rows of the normal start (1) and continue (2) screens.
static void SelectOnNormalStart(int row)
{
    if (row == 0) {
        ShowStageInfo();
        return;
    }
    if (gGame->stage >= GAME_CLEAR_STAGE) {  // every stage cleared
        gGame->cursor = 0;
        gGame->screenId = SCREEN_GAME_CLEAR;
        return;
    }
    bool first = gGame->screenId == SCREEN_NORMAL_START;
    if (row == (first ? 3 : 2)) {
        gGame->cursor = 0;
        gGame->screenId = SCREEN_BACK_TO_TITLE;
    } else if (first && (row == 1 || row == 2)) {
        StartNormalGame(row);
    } else if (!first && row == 1) {
        ContinueNormalGame();
    }
}

static void SelectOnGameOver(int row)
{
    if (row == 0) {
        gGame->cursor = 0;
        ResetPlayersForMode(1);
        gGame->screenId = SCREEN_NORMAL_START;
    } else if (row == 1) {
        ReturnToTitle();
    }
}

static void SelectOnBackToTitle(int row)
{
    if (row == 0) {
        gGame->cursor = 0;
        bool nobodyLeft = gPlayers[0]->lives == 0 && gPlayers[1]->lives == 0;
        gGame->screenId = nobodyLeft ? SCREEN_NORMAL_START : SCREEN_CONTINUE;
    } else if (row == 1) {
        ReturnToTitle();
    }
}

static void SelectOnBattleStart(int row)
{
    if (row >= 1 && row <= 3) {
        gGame->battlePlayers = gGame->playersInPlay = row + 1;
        gGame->cursor = 0;
        for (PlayerRecord *player : gPlayers) {
            bool takesPart = player->number <= gGame->battlePlayers;
            player->inPlay = takesPart ? 1 : 0;
            player->lives = takesPart ? 1 : 0;
        }
    } else if (row == 4) {
        ReturnToTitle();
    }
}

int ApplyMenuSelection(void)
{
    PlayEffectIfEnabled(EFFECT_MENU_SELECT);
    int row = gGame->cursor;
    switch (gGame->screenId) {
    case SCREEN_TITLE: SelectOnTitle(row); break;
    case SCREEN_OPTIONS: SelectOnOptions(row); break;
    case SCREEN_KEY_CONFIG: SelectOnKeyConfig(row); break;
    case SCREEN_NORMAL_START:
    case SCREEN_CONTINUE: SelectOnNormalStart(row); break;
    case SCREEN_GAME_OVER: SelectOnGameOver(row); break;
    case SCREEN_GAME_CLEAR:
    case SCREEN_VICTORY:
        if (row == 0) ReturnToTitle();
        break;
    case SCREEN_BACK_TO_TITLE: SelectOnBackToTitle(row); break;
    case SCREEN_BATTLE_START: SelectOnBattleStart(row); break;
    case SCREEN_ROUND_RESULT:
        gGame->cursor = 0;
        gGame->playersInPlay = gGame->battlePlayers;  // the next round starts
        break;
    }
    return 0;
}

// ---- stage selection and key configuration -------------------------------------------------------
int ChangeSelectedStage(void)
{
    int id = gGame->screenId;
    bool normal = id == SCREEN_NORMAL_START || id == SCREEN_CONTINUE;
    bool battle = id == SCREEN_BATTLE_START || id == SCREEN_ROUND_RESULT;
    if ((!normal && !battle) || gGame->cursor != 0) return 0;
    int maximum = normal ? GetStageSelectionMax() : 1;
    for (PlayerRecord *player : gPlayers) {
        if ((player->padBits & GAME_PAD_LEFT) && gGame->stage > 1) gGame->stage--;
        if (player->padBits & GAME_PAD_RIGHT) gGame->stage = gGame->stage < maximum ? gGame->stage + 1 : maximum;
    }
    return 0;
}

int AssignActionButton(int mask, int player)
{
    PlayerRecord *record = GetPlayer(player);
    int row = gGame->cursor;
    if (!record || row < 1 || row > 4) return 0;
    int32_t *buttons[4] = {&record->bombButton, &record->remoteButton, &record->kickStopButton,
                           &record->pauseButton};
    int32_t old = *buttons[row - 1];
    for (int a = 0; a < 4; a++) {
        if (a != row - 1 && *buttons[a] == mask) *buttons[a] = old;  // swap with the duplicate
    }
    *buttons[row - 1] = mask;
    return 0;
}

int AssignPressedButtons(void)
{
    // 4096 is Escape on the keyboard map: never an action button.
    static const int kAssignableBits[] = {16, 32, 64, 128, 256, 512, 1024, 2048, 8192};
    for (int n = 1; n <= PLAYER_COUNT; n++) {
        for (int bit : kAssignableBits) {
            if (GetPlayer(n)->padBits & bit) AssignActionButton(bit, n);
        }
    }
    return 0;
}

// ---- cursor --------------------------------------------------------------------------------------
int MoveMenuCursor(int items)
{
    for (PlayerRecord *player : gPlayers) {
        if (TakeButtonPress(player, LATCH_MENU_UP, GAME_PAD_UP) && --gGame->cursor < 0) gGame->cursor = 0;
        // ">=": presses of several pads on a screen change can leave the cursor past a shorter screen
        if (TakeButtonPress(player, LATCH_MENU_DOWN, GAME_PAD_DOWN) && ++gGame->cursor >= items)
            gGame->cursor = items - 1;
        if (gGame->screenId == SCREEN_KEY_CONFIG && gGame->cursor >= 1 && gGame->cursor <= 4)
            AssignPressedButtons();
        else if (TakeButtonPress(player, LATCH_BOMB, GAME_PAD_BUTTON1))
            ApplyMenuSelection();
        if (TakeButtonPress(player, LATCH_MENU_LEFT, GAME_PAD_LEFT)) ChangeSelectedStage();
        if (TakeButtonPress(player, LATCH_MENU_RIGHT, GAME_PAD_RIGHT)) ChangeSelectedStage();
    }
    return 0;
}

// ---- stage information and card -------------------------------------------------------------------
int ShowStageInfo(void)
{
    gServices.eraseDrawTarget();
    gServices.paintRectangle(0, 118, 640, 150, gServices.packScreenColor(200, 240, 200), 1);
    int color = gGame->textColor;
    int row = ClampStageRow(gGame->stage);
    DrawGameText(200, 18, color, "ステージ %d のデータ", gGame->stage);
    gServices.drawText(200, 68, "登場する敵キャラ", color, 0);
    for (int i = 0; i < STAGE_TABLE_SLOTS; i++) {
        int kind = gStage->enemyKinds[row][i];
        if (kind != STAGE_EMPTY_SLOT && kind >= 0 && kind * 20 < ENEMY_SHEET_FRAMES)
            gServices.putGraph(10 + 40 * i, 118, gEnemySheet[kind * 20], 1);
    }
    gServices.drawText(200, 168, "出現アイテム", color, 0);
    for (int i = 0; i < STAGE_TABLE_SLOTS; i++) {
        int kind = gStage->itemKinds[row][i];
        if (kind != STAGE_EMPTY_SLOT && kind >= 0 && kind < ITEM_SHEET_FRAMES)
            gServices.putGraph(10 + 40 * i, 218, gItemSheet[kind], 1);
    }
    gServices.presentFrame();
    gServices.waitForAnyKey();
    return 0;
}

int ShowStageCard(void)
{
    gServices.eraseDrawTarget();
    gStageHooks.drawFieldObjects();
    PlayEffectIfEnabled(EFFECT_STAGE_CARD);
    gServices.changeFontSize(128);
    DrawGameText(50, 200, gGame->textColor, "%d　ー　%d", gGame->world + 1, gGame->stageInWorld);
    gServices.presentFrame();
    gServices.changeFontSize(16);
    return 0;
}

// ---- the loop ------------------------------------------------------------------------------------
// The screen's music, when music is on and nothing plays.
static void KeepMenuMusic(void)
{
    const char *file = nullptr;
    if (gGame->screenId == SCREEN_TITLE) file = MUSIC_TITLE;
    if (gGame->screenId == SCREEN_OPTIONS || gGame->screenId == SCREEN_KEY_CONFIG) file = MUSIC_OPTIONS;
    if (!file || !gGame->musicOn || gServices.isCurrentMusicPlaying()) return;
    gServices.changeCurrentMusicVolume(MUSIC_FULL_VOLUME);
    gServices.playMusicFile(file, MUSIC_PLAY_LOOP);
}

int RunMenuFrame(int items)
{
    KeepMenuMusic();
    gServices.eraseDrawTarget();
    DrawMenuScreen();
    MoveMenuCursor(items);
    gServices.presentFrame();
    gServices.sleep(MENU_FRAME_SLEEP_MS);
    return 0;
}

// Keys held from the stage do not act in the menus.
static void EnterMenus(void)
{
    gServices.stopCurrentMusic();
    for (PlayerRecord *player : gPlayers) {
        for (int latch = LATCH_MENU_UP; latch <= LATCH_MENU_RIGHT; latch++) player->latches[latch] = 1;
        // A button 1 held across the stage end must not pick the first row of the next screen.
        player->latches[LATCH_BOMB] = 1;
        player->inPlay = 0;
    }
    gGame->cursor = 0;
    gGame->textColor = gServices.packScreenColor(255, 0, 0);
    gGame->playersInPlay = 0;
}

// One turn over the screens in their fixed order; the screen may change between two tests. true
// when a start was chosen.
static bool RunMenuTurn(void)
{
    static const int kScreenOrder[] = {SCREEN_TITLE,     SCREEN_OPTIONS,       SCREEN_KEY_CONFIG,
                                       SCREEN_NORMAL_START, SCREEN_CONTINUE,   SCREEN_GAME_OVER,
                                       SCREEN_GAME_CLEAR, SCREEN_BACK_TO_TITLE, SCREEN_BATTLE_START,
                                       SCREEN_ROUND_RESULT, SCREEN_VICTORY};
    for (int id : kScreenOrder) {
        if (gGame->screenId != id) continue;
        bool startScreen = id == SCREEN_NORMAL_START || id == SCREEN_CONTINUE || id == SCREEN_BATTLE_START ||
                           id == SCREEN_ROUND_RESULT;
        if (startScreen && gGame->playersInPlay >= 1) return true;
        RunMenuFrame(GetMenuItemCount(id));
    }
    return false;
}

// The stage or round the menus chose.
static void SetUpChosenStage(void)
{
    gServices.eraseDrawTarget();
    gGame->textColor = gServices.packScreenColor(255, 255, 255);
    gStageHooks.startStage();
    gStageHooks.buildStageField();
    gStageHooks.createPlayerObjects();
    if (gGame->mode == GAME_MODE_NORMAL) ShowStageCard();
    StartStageMusic();
    gGame->timeLeft = STAGE_TIME_SECONDS;
}

int RunMenuLoop(void)
{
    EnterMenus();
    while (gServices.pumpMessages() == 0 && !gGame->quit) {
        if (gServices.queryKeyDown(KEY_CODE_ESCAPE)) gGame->quit = 1;  // this frame is still drawn
        ReadAllPads();
        if (RunMenuTurn()) break;
    }
    SetUpChosenStage();
    return 0;
}
