// The enemies' direction choice: one shared search grid over the 15 x 13 field and the five searches
// behind ChooseEnemyDirection (the depth-first chase, the line of sight, the shooters' aim through soft
// blocks, the bomb watch and the bomb fear). Only players 1 and 2 are ever looked for.
//
// The grid is indexed column-major (x * 13 + y), unlike the cell hash (y * 15 + x).
#pragma once
#include <cstdint>

struct GameObjectRecord;

#define SEARCH_PATH_MAX 16                   // cells a chase path may hold
#define SEARCH_LINE_LIMIT 10                 // line searches and the bomb watch see up to 10 cells
#define SEARCH_FEAR_LIMIT 3                  // the bomb fear sees up to 3 cells
#define SEARCH_CHASE_RANGE 5                 // a chaser searches only within 5 cells in both axes
#define SEARCH_NO_BEST 100                   // best length after a reset

// Cell states of the search grid.
enum : int32_t { SEARCH_CELL_FREE = 0, SEARCH_CELL_ON_PATH = 1, SEARCH_CELL_CLOSED = 2 };

struct EnemySearchGrid {
    int32_t cellStates[15 * 13];             // index x * 13 + y; SEARCH_CELL_*
    int32_t pathX[SEARCH_PATH_MAX];          // the current path, first step at 0
    int32_t pathY[SEARCH_PATH_MAX];
    int32_t depth;                           // cells on the current path
    int32_t hitCount;                        // line searches: targets met on the current line
    int32_t found;                           // 1 a new best was just found; doubled per first step
    int32_t distance;                        // Manhattan distance to the nearer of players 1 and 2
    int32_t firstStep;                       // first step of the best path (DIR_*)
    int32_t bestLength;                      // shortest path found, SEARCH_NO_BEST after a reset
    int32_t bombSeen;                        // the cell test passed a player's bomb
    int32_t throughBlocksDirection;          // the shooters' aim through soft blocks, 4 none
};

extern EnemySearchGrid *gEnemyGrid;          // null before CreateEnemyGrid

// Sets up the one grid with every field 0 (static storage, so it cannot fail). 0.
int CreateEnemyGrid(void);
// Forgets the grid (the pointer becomes null). 0.
int FreeEnemyGrid(void);
// Prepares a search from the object's cell: counters 0, through-blocks direction 4, best length 100,
// the distance to the nearer of players 1 and 2 (players off the field are never the nearer), every
// cell free and the object's own cell closed. 0; -1 without a grid or object.
int ResetEnemyGrid(const GameObjectRecord *object);

// Writes the direction an "Enemy" or a "Tama" standing on a cell should take into its chosen
// direction (4 none) and, for shooters, where to shoot into its sighting direction. Inactive
// objects and other kinds are left alone. Before CreateEnemyGrid the answer is always 4.
void ChooseEnemyDirection(GameObjectRecord *object);

// ---- the routines behind ChooseEnemyDirection (each resets the grid first); all return a direction,
// 4 when nothing was found ----------------------------------------------------------------------------
int SearchChaseDirection(GameObjectRecord *object);        // depth-first, down right up left
int SearchSightDirection(GameObjectRecord *object);        // straight lines to a nearly aligned player
int SearchAimDirection(GameObjectRecord *object);          // as the sight, seeing through soft blocks
int SearchBombDirection(GameObjectRecord *object, int limit);  // straight lines to a player's bomb, limit
                                                               // cells far (at most SEARCH_PATH_MAX)
