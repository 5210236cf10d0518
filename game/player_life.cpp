// Lives, start cells and the end of a stage or battle round.
#include "game/player_life.h"

#include "game/assets.h"
#include "game/cells.h"
#include "game/menus.h"
#include "game/objects.h"
#include "game/records.h"
#include "game/settings_file.h"
#include "game/stage.h"
#include "game/stage_hooks.h"

enum : int { EFFECT_FALL = 4, VOICE_LAST_LIFE = 20 };

int PlacePlayerAtStart(PlayerRecord *player)
{
    if (!player) return -1;
    if (player->number >= 1 && player->number <= PLAYER_COUNT)
        GetPlayerStartCell(player->number, &player->cellX, &player->cellY);
    PlacePlayerOnCell(player);
    return 0;
}

// The last life is gone: the dying animation starts and the power-ups go.
static void LoseLastLife(PlayerRecord *player)
{
    PlayEffectIfEnabled(EFFECT_FALL);
    PlayVoiceIfEnabled(VOICE_LAST_LIFE);
    gGame->blockContentLevel = 0;
    // The players still in the stage get a fresh clock.
    if (gGame->timeLeft > 0 && gGame->mode != GAME_MODE_BATTLE) gGame->timeLeft = STAGE_TIME_SECONDS;
    player->respawnCounter = RESPAWN_DYING_FRAMES;
    if (gGame->mode == GAME_MODE_BATTLE) ScatterPlayerPowerUps(player);
    player->passFlags = 0;
    player->bombType = 0;
    player->fullFire = 0;
    player->lineBomb = 0;
    player->kick = 0;
}

int LosePlayerLife(PlayerRecord *player)
{
    if (!player) return -1;
    player->lives--;
    if (gGame->timeLeft <= 0) {
        player->lives = 0;
        // Only a player that was in play lowers the count, so it never falls below 0.
        if (player->inPlay) gGame->playersInPlay--;
        player->inPlay = 0;
    }
    player->respawnCounter = RESPAWN_HIT_FRAMES;
    if (player->lives != 0) return 0;
    LoseLastLife(player);
    return 0;
}

// Keeps the best of the hi-score and the score, and the stage as progress.
static void RaiseRecords(int score)
{
    if (gGame->hiScore < score) gGame->hiScore = score;
    if (gGame->progress <= gGame->stage) gGame->progress = gGame->stage;
}

// Every player loses every life at once.
static void RunTimeOut(void)
{
    for (int n = 1; n <= PLAYER_COUNT; n++) LosePlayerLife(GetPlayer(n));
    gGame->timeLeft = STAGE_TIME_SECONDS;
    // A time-out takes everyone out inside LosePlayerLife, past the leaving player's save below; a
    // normal-mode game that ends here with no credit left must keep its hi-score and progress too.
    if (gGame->mode == GAME_MODE_NORMAL && gGame->credits == 0) {
        for (PlayerRecord *player : gPlayers) RaiseRecords(player->score);
        SaveHiScoreFile();
    }
}

// Counts the player's respawn counter down; a player whose dying animation ends leaves play.
static void CountDownRespawn(PlayerRecord *player)
{
    if (player->inPlay != 1 || player->respawnCounter <= 0) return;
    player->respawnCounter--;
    if (player->respawnCounter != 0 || player->lives != 0 || gGame->playersInPlay <= 0) return;
    player->inPlay = 0;
    gGame->playersInPlay--;
    player->cellX = player->cellY = PLAYER_CELL_OUT;
    // With a credit left nothing is saved: the player may join again.
    if (gGame->credits != 0) return;
    RaiseRecords(player->score);
    SaveHiScoreFile();
    if (gGame->mode != GAME_MODE_BATTLE) player->score = 0;
}

// 1 when the stage or round is over by the players (the goal and the time-out end it elsewhere).
static int IsStageOverByPlayers(void)
{
    if (gGame->mode == GAME_MODE_NORMAL) {
        for (PlayerRecord *player : gPlayers) {
            if (player->inPlay) return 0;
        }
        return 1;
    }
    if (gGame->mode == GAME_MODE_BATTLE) return gGame->playersInPlay <= 1;
    return 0;
}

// 1 when no player has lives.
static int NobodyHasLives(void)
{
    for (PlayerRecord *player : gPlayers) {
        if (player->lives > 0) return 0;
    }
    return 1;
}

// The next screen of a normal-mode stage that has ended.
static void EndNormalStage(void)
{
    if (NobodyHasLives() && gGame->credits == 0) {
        gGame->screenId = SCREEN_GAME_OVER;
    } else if (NobodyHasLives()) {
        gPlayers[0]->lives = 1;
        gGame->credits--;
        gGame->screenId = SCREEN_CONTINUE;
    } else if (gGame->stage == GAME_CLEAR_STAGE) {
        for (PlayerRecord *player : gPlayers) RaiseRecords(player->score);
        SaveHiScoreFile();
        gGame->screenId = SCREEN_GAME_CLEAR;
    }
    // Otherwise a goal was reached: the menus start the next stage.
    ClearAllObjects();
}

// The round result of a battle round that has ended: the first player in number order with lives
// left wins it (a survivor who picked up a heart too); nobody with lives is a draw.
static void EndBattleRound(void)
{
    int winner = FindRoundWinner();
    if (winner) GetPlayer(winner)->score++;
    gGame->screenId = SCREEN_ROUND_RESULT;
    ClearAllObjects();
}

int CheckRoundEnd(void)
{
    if (gGame->timeLeft <= 0) RunTimeOut();
    for (PlayerRecord *player : gPlayers) CountDownRespawn(player);
    if (IsStageOverByPlayers()) gGame->inStage = 0;
    if (gGame->inStage == 1) return 0;
    if (gGame->mode == GAME_MODE_NORMAL) EndNormalStage();
    else if (gGame->mode == GAME_MODE_BATTLE) EndBattleRound();
    return 0;
}
