// The stage rules the frame loop, the menus and the start-up call: field objects, stage build,
// players, contacts, round end and the field drawing. The frame loop reaches them only through the
// StageHooks table, so tests can watch the turn order. The definitions live with the field code
// (objects.cpp, stage.cpp, field_draw.cpp), the player code (player_*.cpp) and the search grid
// (path_search.cpp).
#pragma once
#include <cstdint>

// ---- field objects (pool, cell hash, enemy search grid) --------------------------------------------
int ClearCellHashTable(void);      // empties every bucket. 0
int CreateObjectPool(void);        // 0
int FreeObjectPool(void);          // 0
int CreateEnemyGrid(void);         // 0
int FreeEnemyGrid(void);           // 0

// ---- stage start and field build -----------------------------------------------------------------
int FillStageTables(void);         // fills both tables of the StageRecord. 0
int StartStage(void);              // in stage, clock 200, world, level, screen 2, start cells. 0
int BuildStageField(void);         // floor, blocks, contents, enemies, light switch. 0
int CreatePlayerObjects(void);     // the players' anchor objects and stage-start values. 0

// ---- one stage turn ------------------------------------------------------------------------------
int ReadPlayerInput(int player);             // player 1..4. 0
int UpdatePlayerActions(int player);         // player 1..4. 0
int RunActiveObjectBehaviours(void);         // each active field object's behaviour once. 0
int HandlePlayerTouches(int player, int cellX, int cellY);  // 0
int CheckRoundEnd(void);                     // may leave the stage (in stage 0, next screen). 0

// ---- drawing -------------------------------------------------------------------------------------
int DrawGameFrame(void);           // clear, field, HUD, present. 0
int DrawFieldObjects(void);        // the field and its overlays (also under the stage card). 0

// The table the frame loop and the menus call through; every entry is set.
struct StageHooks {
    const char *name;
    int (*startStage)(void);
    int (*buildStageField)(void);
    int (*createPlayerObjects)(void);
    int (*readPlayerInput)(int player);
    int (*updatePlayerActions)(int player);
    int (*runActiveObjectBehaviours)(void);
    int (*handlePlayerTouches)(int player, int cellX, int cellY);
    int (*checkRoundEnd)(void);
    int (*drawGameFrame)(void);
    int (*drawFieldObjects)(void);
};
extern StageHooks gStageHooks;
// Replaces the table (copied; null entries take the functions above); null restores them all. 0.
int SetStageHooks(const StageHooks *hooks);
