// The enemies' direction choice over the shared search grid. The searches are depth-first walks with
// unusual but exact semantics that the game's feel depends on:
// - `found` is set to 1 by a new best path and doubled by the entry routine after each first step, so
//   among equally short paths the first first-step in the routine's order keeps the answer;
// - every returning frame writes its own direction while found is 1, and the first-level frame
//   returns last, so the first step ends as that of the best path;
// - impassable cells stay closed for the rest of one search; cells on the path are freed on return.
#include "game/path_search.h"

#include <cstdlib>
#include <cstring>

#include "game/objects.h"
#include "game/records.h"

static EnemySearchGrid g_gridStorage;
EnemySearchGrid *gEnemyGrid = nullptr;

int CreateEnemyGrid(void)
{
    std::memset(&g_gridStorage, 0, sizeof g_gridStorage);
    gEnemyGrid = &g_gridStorage;
    return 0;
}

int FreeEnemyGrid(void)
{
    gEnemyGrid = nullptr;
    return 0;
}

// ---- cells and players ---------------------------------------------------------------------------
// Grid index of a field cell, -1 outside the field.
static int GridIndex(int x, int y)
{
    if (x < 0 || x >= FIELD_WIDTH || y < 0 || y >= FIELD_HEIGHT) return -1;
    return x * FIELD_HEIGHT + y;
}

// State of a cell; cells outside the field count as closed.
static int CellState(int x, int y)
{
    int index = GridIndex(x, y);
    return index < 0 ? SEARCH_CELL_CLOSED : gEnemyGrid->cellStates[index];
}

static void SetCellState(int x, int y, int state)
{
    int index = GridIndex(x, y);
    if (index >= 0) gEnemyGrid->cellStates[index] = state;
}

// Player 1 or 2 (number 1..2), or null before the records exist.
static const PlayerRecord *Target(int number)
{
    return gPlayers[number - 1];
}

// 1 when (x, y) is the current cell of player 1 or 2.
static int IsTargetCell(int x, int y)
{
    for (int n = 1; n <= 2; n++) {
        const PlayerRecord *p = Target(n);
        if (p && p->cellX == x && p->cellY == y) return 1;
    }
    return 0;
}

// Manhattan distance to a player; players off the field sit at cell 1000 or 10000, far beyond any
// field distance.
static int DistanceTo(const GameObjectRecord *object, const PlayerRecord *p)
{
    if (!p) return 1 << 20;
    return std::abs(object->cellX - p->cellX) + std::abs(object->cellY - p->cellY);
}

int ResetEnemyGrid(const GameObjectRecord *object)
{
    if (!gEnemyGrid || !object) return -1;
    EnemySearchGrid *g = gEnemyGrid;
    g->depth = 0;
    g->found = 0;
    g->hitCount = 0;
    g->bombSeen = 0;
    g->throughBlocksDirection = DIR_NONE;
    int d1 = DistanceTo(object, Target(1));
    int d2 = DistanceTo(object, Target(2));
    g->distance = d1 < d2 ? d1 : d2;
    g->bestLength = SEARCH_NO_BEST;
    std::memset(g->cellStates, 0, sizeof g->cellStates);
    SetCellState(object->cellX, object->cellY, SEARCH_CELL_CLOSED);
    return 0;
}

// ---- cell tests ----------------------------------------------------------------------------------
// The blocks of a cell: members of its bucket whose stored bucket and cell are that cell. The active
// flag is not looked at, so a block in its removal frames still counts.
static int IsBlockOfCell(const GameObjectRecord *member, int x, int y, int bucket)
{
    return member->bucket == bucket && member->cellX == x && member->cellY == y && IsObjectKind(member, KIND_BLOCK);
}

// 1 when the cell bars the object's way, 0 when it may pass. Soft blocks let pass kind 1 through;
// line-of-sight movers see over bombs; bomb watchers see over players' bombs and note them.
static int IsCellBlockedFor(const GameObjectRecord *object, int x, int y)
{
    int bucket = CellBucket(x, y);
    if (bucket < 0) return 1;
    for (GameObjectRecord *m = GetCellObjects(x, y); m; m = m->cellNext) {
        if (!IsBlockOfCell(m, x, y, bucket)) continue;
        if (m->variant == BLOCK_SOFT && object->passKind == 1) continue;
        if (m->variant == BLOCK_BOMB) {
            if (object->moveMode == 1) continue;
            if (object->moveMode == 2 || object->moveMode == 4) {
                if (m->owner <= OWNER_ENEMY) return 1;
                gEnemyGrid->bombSeen = 1;
                continue;
            }
        }
        SetCellState(x, y, SEARCH_CELL_CLOSED);
        return 1;
    }
    return 0;
}

// The shooters' aim sees through everything but fixed blocks.
static int IsFixedBlockInCell(int x, int y)
{
    int bucket = CellBucket(x, y);
    if (bucket < 0) return 1;
    for (GameObjectRecord *m = GetCellObjects(x, y); m; m = m->cellNext) {
        if (IsBlockOfCell(m, x, y, bucket) && m->variant == BLOCK_FIXED) {
            SetCellState(x, y, SEARCH_CELL_CLOSED);
            return 1;
        }
    }
    return 0;
}

// ---- the searches --------------------------------------------------------------------------------
// Enters (x, y): on the path, pushed, one deeper.
static void EnterCell(int x, int y)
{
    EnemySearchGrid *g = gEnemyGrid;
    SetCellState(x, y, SEARCH_CELL_ON_PATH);
    // The searches check the depth before each step; the stack is guarded all the same.
    if (g->depth >= 0 && g->depth < SEARCH_PATH_MAX) {
        g->pathX[g->depth] = x;
        g->pathY[g->depth] = y;
    }
    g->depth++;
}

// Leaves (x, y): one shallower; a closed cell stays closed, others are free for other paths.
static void LeaveCell(int x, int y)
{
    gEnemyGrid->depth--;
    if (CellState(x, y) != SEARCH_CELL_CLOSED) SetCellState(x, y, SEARCH_CELL_FREE);
}

// Depth-first search for the shortest path (turns allowed) to player 1 or 2.
static int SearchPathToPlayer(const GameObjectRecord *object, int x, int y, int dir)
{
    static const int kOrder[4] = {DIR_DOWN, DIR_RIGHT, DIR_UP, DIR_LEFT};
    EnemySearchGrid *g = gEnemyGrid;
    EnterCell(x, y);
    if (IsTargetCell(x, y) && g->bestLength > g->depth) {
        g->bestLength = g->depth;
        g->found = 1;
    }
    for (int d : kOrder) {
        int nx = x + kDirStepX[d], ny = y + kDirStepY[d];
        // The cell test comes last: it closes cells and notes bombs as it goes.
        if (CellState(nx, ny) == SEARCH_CELL_FREE && g->distance != g->bestLength && g->depth < SEARCH_PATH_MAX &&
            !IsCellBlockedFor(object, nx, ny))
            SearchPathToPlayer(object, nx, ny, d);
    }
    LeaveCell(x, y);
    if (g->found == 1) g->firstStep = dir;
    return g->found;
}

// The straight-line searches differ only in their target, cell test, limit and the field they write.
enum LineSearchKind { LINE_TO_PLAYER, LINE_THROUGH_BLOCKS, LINE_TO_BOMB };

// 1 when the line search may step into (x, y).
static int LineMayEnter(const GameObjectRecord *object, LineSearchKind kind, int x, int y)
{
    EnemySearchGrid *g = gEnemyGrid;
    if (CellState(x, y) != SEARCH_CELL_FREE || g->hitCount != 0) return 0;
    if (kind != LINE_TO_BOMB && g->distance == g->bestLength) return 0;
    if (kind == LINE_THROUGH_BLOCKS) return !IsFixedBlockInCell(x, y);
    return !IsCellBlockedFor(object, x, y);
}

// Notes a target met on the line at the current depth.
static void NoteLineTarget(LineSearchKind kind, int x, int y)
{
    EnemySearchGrid *g = gEnemyGrid;
    if (kind == LINE_TO_BOMB) {
        // A bomb seen at a depth no better than the best leaves bombSeen at 1 for the rest of the
        // search, so the next line takes it for a bomb on its first cell. The game behaves so.
        if (!g->bombSeen) return;
        g->hitCount++;
        if (g->bestLength > g->depth) {
            g->bestLength = g->depth;
            g->found = 1;
            g->bombSeen = 0;
        }
        return;
    }
    if (!IsTargetCell(x, y)) return;
    g->hitCount++;
    if (g->bestLength > g->depth) {
        g->bestLength = g->depth;
        g->found = 1;
    }
}

static int SearchLine(const GameObjectRecord *object, LineSearchKind kind, int limit, int x, int y, int dir)
{
    EnemySearchGrid *g = gEnemyGrid;
    EnterCell(x, y);
    NoteLineTarget(kind, x, y);
    int nx = x + kDirStepX[dir], ny = y + kDirStepY[dir];
    if (g->depth < limit && LineMayEnter(object, kind, nx, ny)) SearchLine(object, kind, limit, nx, ny, dir);
    LeaveCell(x, y);
    if (g->found == 1) {
        if (kind == LINE_THROUGH_BLOCKS)
            g->throughBlocksDirection = dir;
        else
            g->firstStep = dir;
    }
    return g->found;
}

// ---- entry routines ------------------------------------------------------------------------------
// 1 when player 1 or 2 lies in direction dir from the object, at most one row or column aside.
static int TargetLiesToward(const GameObjectRecord *object, int dir)
{
    for (int n = 1; n <= 2; n++) {
        const PlayerRecord *p = Target(n);
        if (!p) continue;
        int dx = p->cellX - object->cellX, dy = p->cellY - object->cellY;
        switch (dir) {
        case DIR_DOWN: if (dy > 0 && std::abs(dx) <= 1) return 1; break;
        case DIR_UP: if (dy < 0 && std::abs(dx) <= 1) return 1; break;
        case DIR_RIGHT: if (dx > 0 && std::abs(dy) <= 1) return 1; break;
        case DIR_LEFT: if (dx < 0 && std::abs(dy) <= 1) return 1; break;
        }
    }
    return 0;
}

// The routines' answer: 4 when nothing was found.
static int SearchResult(int direction)
{
    return gEnemyGrid->found == 0 ? DIR_NONE : direction;
}

int SearchChaseDirection(GameObjectRecord *object)
{
    static const int kOrder[4] = {DIR_DOWN, DIR_RIGHT, DIR_UP, DIR_LEFT};
    if (ResetEnemyGrid(object) < 0) return DIR_NONE;
    EnemySearchGrid *g = gEnemyGrid;
    for (int d : kOrder) {
        int x = object->cellX + kDirStepX[d], y = object->cellY + kDirStepY[d];
        // Once a path as short as the distance is known, the other first steps are skipped.
        if (g->distance != g->bestLength && !IsCellBlockedFor(object, x, y)) {
            int result = SearchPathToPlayer(object, x, y, d);  // the search's found, added: it doubles
            g->found += result;
        }
    }
    return SearchResult(g->firstStep);
}

// The line routines share their first steps: down, up, right, left.
static int RunLineRoutine(GameObjectRecord *object, LineSearchKind kind, int limit)
{
    static const int kOrder[4] = {DIR_DOWN, DIR_UP, DIR_RIGHT, DIR_LEFT};
    if (ResetEnemyGrid(object) < 0) return DIR_NONE;
    EnemySearchGrid *g = gEnemyGrid;
    for (int d : kOrder) {
        int x = object->cellX + kDirStepX[d], y = object->cellY + kDirStepY[d];
        if (kind != LINE_TO_BOMB && !TargetLiesToward(object, d)) continue;
        int blocked = kind == LINE_THROUGH_BLOCKS ? IsFixedBlockInCell(x, y) : IsCellBlockedFor(object, x, y);
        if (blocked) continue;
        int result = SearchLine(object, kind, limit, x, y, d);
        g->found += result;
        g->hitCount = 0;
    }
    return SearchResult(kind == LINE_THROUGH_BLOCKS ? g->throughBlocksDirection : g->firstStep);
}

int SearchSightDirection(GameObjectRecord *object)
{
    return RunLineRoutine(object, LINE_TO_PLAYER, SEARCH_LINE_LIMIT);
}

int SearchAimDirection(GameObjectRecord *object)
{
    return RunLineRoutine(object, LINE_THROUGH_BLOCKS, SEARCH_LINE_LIMIT);
}

int SearchBombDirection(GameObjectRecord *object, int limit)
{
    if (limit > SEARCH_PATH_MAX) limit = SEARCH_PATH_MAX;
    return RunLineRoutine(object, LINE_TO_BOMB, limit);
}

// ---- the choice ----------------------------------------------------------------------------------
// Within one column or one row of player 1 or 2.
static int IsAligned(const GameObjectRecord *object)
{
    for (int n = 1; n <= 2; n++) {
        const PlayerRecord *p = Target(n);
        if (p && (std::abs(object->cellX - p->cellX) <= 1 || std::abs(object->cellY - p->cellY) <= 1)) return 1;
    }
    return 0;
}

// Within the chase range of player 1 or 2 in both axes.
static int IsInChaseRange(const GameObjectRecord *object)
{
    for (int n = 1; n <= 2; n++) {
        const PlayerRecord *p = Target(n);
        if (p && std::abs(object->cellX - p->cellX) <= SEARCH_CHASE_RANGE &&
            std::abs(object->cellY - p->cellY) <= SEARCH_CHASE_RANGE)
            return 1;
    }
    return 0;
}

// Line-of-sight enemies and shooters: walk toward a seen player; shooters aim even through soft blocks.
static void ChooseSightedDirection(GameObjectRecord *enemy)
{
    if (!IsAligned(enemy)) {
        enemy->chosenDirection = DIR_NONE;
        enemy->sightingDirection = DIR_NONE;
        return;
    }
    // A shooter of move mode 0 would keep its last choice; no kind is like that.
    if (enemy->moveMode >= 1) enemy->chosenDirection = SearchSightDirection(enemy);
    int shooter = enemy->specialKind >= 1 && enemy->specialKind <= 9;
    if (!shooter) return;
    if (enemy->chosenDirection == DIR_NONE)
        enemy->sightingDirection = SearchAimDirection(enemy);
    else
        enemy->sightingDirection = enemy->chosenDirection;
}

static void ChooseForEnemy(GameObjectRecord *enemy)
{
    if (enemy->moveMode == 1 || (enemy->specialKind >= 1 && enemy->specialKind <= 9)) {
        ChooseSightedDirection(enemy);
        return;
    }
    switch (enemy->moveMode) {
    case 0: enemy->chosenDirection = IsInChaseRange(enemy) ? SearchChaseDirection(enemy) : DIR_NONE; break;
    case 2: enemy->chosenDirection = SearchBombDirection(enemy, SEARCH_LINE_LIMIT); break;
    case 3: enemy->chosenDirection = DIR_NONE; break;  // the mover wanders
    case 4: enemy->chosenDirection = SearchBombDirection(enemy, SEARCH_FEAR_LIMIT); break;
    }
}

// Shots: only homing shots (type 3) look for players.
static void ChooseForShot(GameObjectRecord *shot)
{
    if (shot->specialKind != 3) {
        shot->chosenDirection = DIR_NONE;
        return;
    }
    if (!IsAligned(shot))
        shot->chosenDirection = DIR_NONE;
    else if (shot->moveMode >= 1)
        shot->chosenDirection = SearchSightDirection(shot);
}

void ChooseEnemyDirection(GameObjectRecord *object)
{
    if (!object || object->active != 1) return;
    int enemy = IsObjectKind(object, KIND_ENEMY);
    if (!enemy && !IsObjectKind(object, KIND_SHOT)) return;
    if (!gEnemyGrid) {
        // No grid, no search: the object sees nothing rather than keeping a stale answer.
        object->chosenDirection = DIR_NONE;
        return;
    }
    if (enemy)
        ChooseForEnemy(object);
    else
        ChooseForShot(object);
}
