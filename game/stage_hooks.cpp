// Placeholders of the stage rules that the field, player and enemy code brings, the stage tables, and
// the StageHooks table. Each placeholder keeps the records in the state the menus and the frame loop
// expect, so the game starts, shows its menus and enters a stage. The code that brings the real
// function deletes the placeholder here; the table below keeps pointing at the same name.
#include "game/stage_hooks.h"

#include "game/records.h"
#include "game/services.h"

// ---- stage tables --------------------------------------------------------------------------------
// Enemy kinds, then item kinds, of stages 1..42; a row ends at its first negative entry.
struct StageTableRow {
    int8_t enemies[STAGE_TABLE_SLOTS + 1];
    int8_t items[STAGE_TABLE_SLOTS + 1];
};
static const StageTableRow kStageTable[LAST_STAGE] = {
    {{13, 13, 13, 13, -1}, {4, -1}},
    {{13, 13, 13, 13, 16, 16, -1}, {5, -1}},
    {{0, 0, 0, 0, 0, 0, 0, 0, 0, -1}, {6, -1}},
    {{0, 0, 13, 13, 18, 18, 18, -1}, {22, -1}},
    {{18, 18, 1, 1, 1, 16, 16, -1}, {8, -1}},
    {{8, 8, 18, 18, 1, 1, 31, -1}, {9, -1}},
    {{24, 24, 24, 1, 1, 1, 31, -1}, {10, -1}},
    {{16, 16, 31, 15, 15, 8, 8, 24, -1}, {11, -1}},
    {{15, 15, 8, 8, 24, 10, 10, 10, -1}, {12, -1}},
    {{4, 10, 10, 10, 5, 5, 24, -1}, {13, -1}},
    {{8, 8, 8, 8, 8, 8, 8, 8, 8, -1}, {4, 17, -1}},
    {{12, 12, 12, 12, 24, 24, 24, 19, -1}, {5, 4, -1}},
    {{1, 1, 1, 5, 5, 5, 31, -1}, {6, 5, -1}},
    {{16, 16, 10, 10, 10, 10, 4, 4, -1}, {19, 6, -1}},
    {{19, 18, 18, 18, 18, 18, -1}, {8, 22, -1}},
    {{11, 11, 11, 5, 5, 5, 6, -1}, {9, 20, -1}},
    {{25, 24, 24, 24, 22, 22, 11, 11, -1}, {10, 4, -1}},
    {{17, 17, 17, 17, 4, 4, -1}, {17, 5, -1}},
    {{24, 24, 24, 24, 24, 24, 25, 25, 25, -1}, {12, 6, -1}},
    {{9, 9, 9, 9, 9, 9, -1}, {18, 22, -1}},
    {{2, 2, 2, 5, 5, 6, 24, 25, -1}, {4, 5, 10, 14, -1}},
    {{2, 2, 15, 15, 27, 8, 8, 8, 20, -1}, {5, 6, 10, 15, -1}},
    {{22, 22, 22, 9, 9, 24, 24, 25, -1}, {6, 22, 10, 16, -1}},
    {{15, 15, 31, 16, 16, 16, 16, 14, -1}, {13, 4, 10, 14, -1}},
    {{26, 22, 2, 2, 2, 9, 9, -1}, {8, 5, 10, 15, -1}},
    {{17, 17, 22, 22, 10, 10, 9, 9, 9, -1}, {9, 6, 10, 16, -1}},
    {{27, 27, 15, 15, 31, 1, 1, 1, 1, -1}, {19, 22, 10, 14, -1}},
    {{3, 3, 16, 16, 12, 12, 12, 25, 20, -1}, {11, 4, 10, 15, -1}},
    {{6, 6, 6, 22, 4, 31, 19, -1}, {12, 5, 10, 16, 20, -1}},
    {{7, 7, 7, 7, 24, 24, 24, 25, 25, -1}, {13, 6, 10, 21, 20, -1}},
    {{23, 7, 7, 7, 4, 4, 31, 24, 25, -1}, {4, 5, 10, 14, -1}},
    {{3, 3, 17, 17, 10, 10, 11, 22, 23, -1}, {5, 6, 10, 15, -1}},
    {{6, 6, 17, 17, 26, 14, -1}, {6, 22, 10, 16, -1}},
    {{5, 5, 6, 6, 7, 7, 28, -1}, {17, 4, 10, 14, -1}},
    {{26, 26, 17, 17, 17, 17, -1}, {8, 5, 10, 15, -1}},
    {{28, 6, 6, 22, 22, 22, 23, -1}, {13, 6, 10, 21, 20, -1}},
    {{3, 3, 3, 14, 14, 14, 28, 7, -1}, {9, 6, 10, 16, -1}},
    {{7, 7, 6, 6, 27, 27, 22, 22, 22, -1}, {19, 22, 10, 14, -1}},
    {{4, 4, 4, 19, 26, 28, -1}, {11, 4, 10, 15, -1}},
    {{14, 6, 6, 6, 19, 28, 12, 12, -1}, {12, 5, 10, 16, 20, -1}},
    {{3, 3, 3, 19, 7, 26, 28, 4, -1}, {13, 6, 10, 21, 20, -1}},
    {{21, -1}, {4, 4, 5, 5, 14, 15, 16, 21, 21, -1}},
};

// Copies one row of kinds until its end marker; the rest stays empty.
static void CopyKinds(int32_t *slots, const int8_t *kinds)
{
    for (int i = 0; i < STAGE_TABLE_SLOTS && kinds[i] >= 0; i++) slots[i] = kinds[i];
}

int FillStageTables(void)
{
    if (!gStage) return 0;
    for (int row = 0; row < STAGE_TABLE_ROWS; row++) {
        for (int slot = 0; slot < STAGE_TABLE_SLOTS; slot++) {
            gStage->enemyKinds[row][slot] = STAGE_EMPTY_SLOT;
            gStage->itemKinds[row][slot] = STAGE_EMPTY_SLOT;
        }
    }
    for (int stage = 1; stage <= LAST_STAGE; stage++) {
        CopyKinds(gStage->enemyKinds[stage], kStageTable[stage - 1].enemies);
        CopyKinds(gStage->itemKinds[stage], kStageTable[stage - 1].items);
    }
    return 0;
}

// ---- field objects (placeholders) ----------------------------------------------------------------
int ClearCellHashTable(void) { return 0; }
int CreateObjectPool(void) { return 0; }
int FreeObjectPool(void) { return 0; }
int CreateEnemyGrid(void) { return 0; }
int FreeEnemyGrid(void) { return 0; }

// ---- stage start (placeholders keep the records right) ---------------------------------------------
static const int kStartCells[PLAYER_COUNT][2] = {{1, 1}, {13, 11}, {13, 1}, {1, 11}};

// Pixel and centre from the cell.
static void PlacePlayerOnCell(PlayerRecord *player)
{
    player->pixelX = player->cellX * CELL_SIZE;
    player->pixelY = player->cellY * CELL_SIZE;
    player->centreX = player->pixelX + CELL_SIZE / 2;
    player->centreY = player->pixelY + CELL_SIZE / 2;
}

int StartStage(void)
{
    gGame->inStage = 1;
    gGame->timeLeft = STAGE_TIME_SECONDS;
    gGame->world = (gGame->stage - 1) / 7;
    gGame->stageInWorld = gGame->stage - gGame->world * 7;
    if (gGame->difficulty > 0) gGame->blockContentLevel = 2;
    gGame->screenId = SCREEN_CONTINUE;
    for (int i = 0; i < PLAYER_COUNT; i++) {
        gPlayers[i]->cellX = kStartCells[i][0];
        gPlayers[i]->cellY = kStartCells[i][1];
        PlacePlayerOnCell(gPlayers[i]);
    }
    return 0;
}

int BuildStageField(void)
{
    gGame->enemiesLeft = 0;
    gGame->coreMechsLeft = 0;
    gGame->killMultiplier = 0;
    gGame->darkness = 0;
    return 0;
}

int CreatePlayerObjects(void)
{
    if (gGame->mode == GAME_MODE_BATTLE) ResetPlayersForMode(2);
    for (PlayerRecord *player : gPlayers) {
        player->moving = 0;
        player->latches[LATCH_BOMB] = 1;
        player->latches[LATCH_PAUSE] = 1;
        if (player->inPlay) {
            if (gGame->mode == GAME_MODE_NORMAL) player->respawnCounter = 500;
        } else {
            player->lives = 0;
            player->respawnCounter = 0;
            player->cellX = player->cellY = 1000;
        }
        PlacePlayerOnCell(player);
        player->bombsAvailable = player->capacity;
        player->facing = DIR_UP;
    }
    return 0;
}

// ---- one stage turn (placeholders) ---------------------------------------------------------------
int ReadPlayerInput(int player) { return 0; }
int UpdatePlayerActions(int player) { return 0; }
int RunActiveObjectBehaviours(void) { return 0; }
int HandlePlayerTouches(int player, int cellX, int cellY) { return 0; }
int CheckRoundEnd(void) { return 0; }

// ---- drawing (placeholders) ----------------------------------------------------------------------
int DrawFieldObjects(void) { return 0; }

int DrawGameFrame(void)
{
    gServices.eraseDrawTarget();
    DrawFieldObjects();
    gServices.presentFrame();
    return 0;
}

// ---- the table -----------------------------------------------------------------------------------
static const StageHooks kDefaultStageHooks = {
    "stage rules",
    StartStage,
    BuildStageField,
    CreatePlayerObjects,
    ReadPlayerInput,
    UpdatePlayerActions,
    RunActiveObjectBehaviours,
    HandlePlayerTouches,
    CheckRoundEnd,
    DrawGameFrame,
    DrawFieldObjects,
};
StageHooks gStageHooks = kDefaultStageHooks;

// Null entries of a replacement take the default.
template <typename Fn>
static void FillHook(Fn *slot, Fn given, Fn fallback)
{
    *slot = given ? given : fallback;
}

int SetStageHooks(const StageHooks *hooks)
{
    if (!hooks) {
        gStageHooks = kDefaultStageHooks;
        return 0;
    }
    const StageHooks &d = kDefaultStageHooks;
    gStageHooks.name = hooks->name ? hooks->name : d.name;
    FillHook(&gStageHooks.startStage, hooks->startStage, d.startStage);
    FillHook(&gStageHooks.buildStageField, hooks->buildStageField, d.buildStageField);
    FillHook(&gStageHooks.createPlayerObjects, hooks->createPlayerObjects, d.createPlayerObjects);
    FillHook(&gStageHooks.readPlayerInput, hooks->readPlayerInput, d.readPlayerInput);
    FillHook(&gStageHooks.updatePlayerActions, hooks->updatePlayerActions, d.updatePlayerActions);
    FillHook(&gStageHooks.runActiveObjectBehaviours, hooks->runActiveObjectBehaviours,
             d.runActiveObjectBehaviours);
    FillHook(&gStageHooks.handlePlayerTouches, hooks->handlePlayerTouches, d.handlePlayerTouches);
    FillHook(&gStageHooks.checkRoundEnd, hooks->checkRoundEnd, d.checkRoundEnd);
    FillHook(&gStageHooks.drawGameFrame, hooks->drawGameFrame, d.drawGameFrame);
    FillHook(&gStageHooks.drawFieldObjects, hooks->drawFieldObjects, d.drawFieldObjects);
    return 0;
}
