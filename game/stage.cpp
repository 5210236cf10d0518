// Stage start, stage tables and field build.
#include "game/stage.h"

#include "game/enemy_kinds.h"
#include "game/object_states.h"
#include "game/objects.h"
#include "game/services.h"
#include "game/stage_hooks.h"

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

// ---- start cells ---------------------------------------------------------------------------------
static const int kStartCells[PLAYER_COUNT][2] = {{1, 1}, {13, 11}, {13, 1}, {1, 11}};

void GetPlayerStartCell(int player, int *x, int *y)
{
    int i = player >= 1 && player <= PLAYER_COUNT ? player - 1 : 0;
    *x = kStartCells[i][0];
    *y = kStartCells[i][1];
}

int IsFixedBlockCell(int x, int y)
{
    if (x == 0 || y == 0 || x == FIELD_WIDTH - 1 || y == FIELD_HEIGHT - 1) return 1;
    return x % 2 == 0 && y % 2 == 0;
}

void PlacePlayerOnCell(PlayerRecord *player)
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
        GetPlayerStartCell(i + 1, &gPlayers[i]->cellX, &gPlayers[i]->cellY);
        PlacePlayerOnCell(gPlayers[i]);
    }
    return 0;
}

// ---- field build ---------------------------------------------------------------------------------
static int32_t *CellState(int x, int y)
{
    return &gGame->cellStates[y * FIELD_WIDTH + x];
}

// Floor everywhere, fixed blocks on the map, the start corners kept clear.
static void BuildFloorAndWalls(void)
{
    int world = gGame->world;
    for (int y = 0; y < FIELD_HEIGHT; y++) {
        for (int x = 0; x < FIELD_WIDTH; x++) {
            // The floor's main state shows its variant, so variant and frame are the same.
            SpawnFloorTile(x, y, world + 2, world + 2);
            *CellState(x, y) = IsFixedBlockCell(x, y) ? CELL_STATE_FIXED : CELL_STATE_FREE;
            if (IsFixedBlockCell(x, y)) SpawnFixedBlock(x, y, world * 5);
        }
    }
    for (int p = 1; p <= PLAYER_COUNT; p++) {
        int sx, sy;
        GetPlayerStartCell(p, &sx, &sy);
        *CellState(sx, sy) = CELL_STATE_KEPT_CLEAR;
        for (int y = sy - 1; y <= sy + 1; y++)
            for (int x = sx - 1; x <= sx + 1; x++)
                if (IsFieldCell(x, y) && *CellState(x, y) == CELL_STATE_FREE) *CellState(x, y) = CELL_STATE_KEPT_CLEAR;
    }
}

// Draws a free cell (x first); -1 when the draws run out on a full field.
static int DrawFreeCell(int *x, int *y)
{
    for (int draw = 0; draw < BUILD_DRAW_LIMIT; draw++) {
        *x = gServices.pickRandomUpTo(FIELD_WIDTH - 1);
        *y = gServices.pickRandomUpTo(FIELD_HEIGHT - 1);
        if (*CellState(*x, *y) == CELL_STATE_FREE) return 0;
    }
    return -1;
}

static bool NearStart(int player, int x, int y)
{
    int sx, sy;
    GetPlayerStartCell(player, &sx, &sy);
    int dx = x - sx, dy = y - sy;
    return dx >= -STAGE_ENEMY_CLEARANCE && dx <= STAGE_ENEMY_CLEARANCE && dy >= -STAGE_ENEMY_CLEARANCE &&
           dy <= STAGE_ENEMY_CLEARANCE;
}

// The stage's enemies, one per filled slot. Every slot draws a cell first, empty slots too.
static void PlaceStageEnemies(int row)
{
    for (int slot = 0; slot < STAGE_TABLE_SLOTS; slot++) {
        int kind = gStage->enemyKinds[row][slot];
        for (int draw = 0; draw < BUILD_DRAW_LIMIT; draw++) {
            int x = gServices.pickRandomUpTo(FIELD_WIDTH - 1);
            int y = gServices.pickRandomUpTo(FIELD_HEIGHT - 1);
            if (*CellState(x, y) != CELL_STATE_FREE || NearStart(1, x, y) || NearStart(2, x, y)) continue;
            if (kind == STAGE_EMPTY_SLOT) break;
            if (x == 1 || x == 13 || y == 1 || y == 11) continue;
            if (SpawnEnemyOfKind(x, y, kind, 0)) {
                gGame->enemiesLeft++;
                *CellState(x, y) = CELL_STATE_ENEMY;
            }
            break;
        }
    }
}

// Content and frame of normal-mode soft block i (the first rule that applies).
static void ChooseBlockContent(int i, int row, int *content, int *frame)
{
    int stage = gGame->stage, level = gGame->blockContentLevel;
    *frame = gGame->world * 5 + 1;
    if (i == 59) {
        *content = CONTENT_GOAL;
    } else if (i >= 56 && i <= 58 && level >= 1) {
        *content = CONTENT_ENEMY;
    } else if (i == 55) {
        if (gServices.pickRandomUpTo(100) <= 50) {
            *content = CONTENT_NOTHING;
        } else {
            int r = gServices.pickRandomUpTo(3);
            *content = CONTENT_DROP + (stage >= 10 ? r : 0);
        }
    } else if (stage != LAST_STAGE && i >= 50 && i <= 52 + stage / 15) {
        *content = CONTENT_CORE_MECH;
    } else if (i >= 47 && i <= 49 && level >= 2) {
        *content = CONTENT_ENEMY;
    } else if (i < STAGE_TABLE_SLOTS) {
        *content = gStage->itemKinds[row][i];
    } else {
        *content = CONTENT_NOTHING;
    }
    if (*content == CONTENT_ENEMY) *frame = 30;
    if (*content >= CONTENT_DROP && *content <= CONTENT_DROP + 3) *frame = 31 + *content - CONTENT_DROP;
    if (*content == CONTENT_CORE_MECH) *frame = 35;
}

// Battle-mode content of block i.
static int BattleBlockContent(int i)
{
    if (i < 4) return 19;
    if (i < 8) return 22;
    if (i < 12) return 6;
    if (i < 18) return 5;
    if (i < 24) return 4;
    return CONTENT_NOTHING;
}

static void PlaceSoftBlocks(int row)
{
    bool battle = gGame->mode == GAME_MODE_BATTLE;
    for (int i = 0; i < STAGE_SOFT_BLOCKS; i++) {
        int x, y;
        if (DrawFreeCell(&x, &y) != 0) return;
        int content, frame;
        if (battle) {
            content = BattleBlockContent(i);
            frame = 0;
        } else {
            ChooseBlockContent(i, row, &content, &frame);
        }
        if (!SpawnSoftBlock(x, y, 1, content, frame)) continue;
        if (content == CONTENT_CORE_MECH) gGame->coreMechsLeft++;
        *CellState(x, y) = CELL_STATE_SOFT;
    }
}

// The light switch of a dark stage (y drawn first).
static void PlaceLightSwitch(void)
{
    for (int draw = 0; draw < BUILD_DRAW_LIMIT; draw++) {
        int y = gServices.pickRandomUpTo(FIELD_HEIGHT - 1);
        int x = gServices.pickRandomUpTo(FIELD_WIDTH - 1);
        if (*CellState(x, y) != CELL_STATE_FREE) continue;
        SpawnTYukaObject(x, y);
        return;
    }
}

int BuildStageField(void)
{
    gGame->enemiesLeft = 0;
    gGame->coreMechsLeft = 0;
    gGame->killMultiplier = 0;
    gGame->darkness = 0;
    bool lightSwitch = gGame->world == 5 && gGame->stage != LAST_STAGE;
    if (lightSwitch) gGame->darkness = 1;
    BuildFloorAndWalls();
    int row = ClampStageRow(gGame->stage);
    if (gGame->mode == GAME_MODE_NORMAL) {
        PlaceStageEnemies(row);
        PlaceSoftBlocks(row);
    } else if (gGame->mode == GAME_MODE_BATTLE) {
        PlaceSoftBlocks(row);
    }
    if (lightSwitch) PlaceLightSwitch();
    return 0;
}

// ---- player objects ------------------------------------------------------------------------------
int CreatePlayerObjects(void)
{
    if (gGame->mode == GAME_MODE_BATTLE) ResetPlayersForMode(2);
    for (PlayerRecord *player : gPlayers) {
        SpawnPlayerObject(player);
        player->moving = 0;
        player->latches[LATCH_BOMB] = 1;  // a button held from the menu does not act
        player->latches[LATCH_PAUSE] = 1;
        if (player->inPlay) {
            if (gGame->mode == GAME_MODE_NORMAL) player->respawnCounter = PLAYER_START_RESPAWN;
        } else {
            player->lives = 0;
            player->respawnCounter = 0;
            player->cellX = player->cellY = PLAYER_OFF_FIELD;
        }
        PlacePlayerOnCell(player);
        player->bombsAvailable = player->capacity;
        player->facing = DIR_UP;
    }
    return 0;
}
