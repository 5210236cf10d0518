// The game's shared records: creation, release and the player resets between games and rounds.
#include "game/records.h"

#include <cstring>
#include <new>

#include "game/stage_hooks.h"

// Static storage: the records exist exactly once, so there is no allocation that could fail.
static GameStateRecord g_gameStorage;
static PlayerRecord g_playerStorage[PLAYER_COUNT];
static StageRecord g_stageStorage;

GameStateRecord *gGame = nullptr;
PlayerRecord *gPlayers[PLAYER_COUNT] = {};
StageRecord *gStage = nullptr;
PlayerRecord *gPlayerListHead = nullptr;

PlayerRecord *GetPlayer(int number)
{
    if (number < 1 || number > PLAYER_COUNT) return nullptr;
    return gPlayers[number - 1];
}

int CreateGameState(void)
{
    // Value-initialisation zeroes every field, atomics included.
    g_gameStorage.~GameStateRecord();
    gGame = new (&g_gameStorage) GameStateRecord();
    gGame->stage = 1;
    gGame->titleVoicePending = 1;
    return 0;
}

// One player's creation values.
static void InitPlayerRecord(PlayerRecord *player, int number)
{
    *player = PlayerRecord{};
    std::strcpy(player->name, "Player");
    player->number = number;
    player->speed = 1;
    player->fireRange = 2;
    player->capacity = 1;
    player->bombsAvailable = 1;
    player->inPlay = 1;
    player->spriteFrame = (number - 1) * 20;
    player->bombButton = DEFAULT_BOMB_BUTTON;
    player->remoteButton = DEFAULT_REMOTE_BUTTON;
    player->kickStopButton = DEFAULT_KICK_STOP_BUTTON;
    player->pauseButton = DEFAULT_PAUSE_BUTTON;
}

int CreatePlayerRecords(void)
{
    for (int i = 0; i < PLAYER_COUNT; i++) {
        InitPlayerRecord(&g_playerStorage[i], i + 1);
        gPlayers[i] = &g_playerStorage[i];
    }
    // Chained in number order: the field drawing walks them from player 1.
    for (int i = 0; i < PLAYER_COUNT; i++) {
        gPlayers[i]->prev = i > 0 ? gPlayers[i - 1] : nullptr;
        gPlayers[i]->next = i + 1 < PLAYER_COUNT ? gPlayers[i + 1] : nullptr;
    }
    gPlayerListHead = gPlayers[0];
    return 0;
}

int CreateStageRecord(void)
{
    g_stageStorage = StageRecord{};
    gStage = &g_stageStorage;
    FillStageTables();
    return 0;
}

int FreePlayerRecords(void)
{
    for (int i = 0; i < PLAYER_COUNT; i++) gPlayers[i] = nullptr;
    gPlayerListHead = nullptr;
    return 0;
}

int FreeGameState(void)
{
    gGame = nullptr;
    return 0;
}

int FreeStageRecord(void)
{
    gStage = nullptr;
    return 0;
}

int ResetPlayersForMode(int mode)
{
    if (mode < 0 || mode > 2 || !gGame) return 0;
    if (mode == 0) {
        gGame->stage = 1;
        gGame->blockContentLevel = 0;
        gGame->titleVoicePending = 1;
    } else if (mode == 2) {
        gGame->credits = 0;
    }
    for (PlayerRecord *player : gPlayers) {
        if (!player) continue;
        if (mode == 0) {
            player->inPlay = 0;
            player->score = 0;
        } else if (mode == 1) {
            player->score = 0;
        } else {
            player->lives = 1;  // rounds won (score) stay
        }
        player->fireRange = 2;
        player->capacity = 1;
        player->bombsAvailable = player->capacity;
        player->speed = 2;
        player->passFlags = 0;
        player->bombType = 0;
        player->fullFire = 0;
        player->lineBomb = 0;
        player->kick = 0;
    }
    return 0;
}

int ClampStageRow(int stage)
{
    if (stage < 0) return 0;
    if (stage >= STAGE_TABLE_ROWS) return STAGE_TABLE_ROWS - 1;
    return stage;
}

int GetStageSelectionMax(void)
{
    // The stored progress may come from a hand-edited file; 43 keeps the "all cleared" path.
    int progress = gGame ? gGame->progress : 1;
    if (progress < 1) return 1;
    if (progress > GAME_CLEAR_STAGE) return GAME_CLEAR_STAGE;
    return progress;
}
