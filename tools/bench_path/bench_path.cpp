// Timings of ChooseEnemyDirection on a stage-like field (walls and pillars). The worst case is a chaser
// within range of a player it cannot reach: the depth-first search then enumerates every simple path
// of up to 16 cells.
#include <benchmark/benchmark.h>

#include "game/enemy_kinds.h"
#include "game/objects.h"
#include "game/path_search.h"
#include "game/records.h"
#include "game/stage_hooks.h"

namespace {

// A fresh pool with walls and pillars; player 1 at (px, py), player 2 off the field.
void BuildField(int px, int py)
{
    CreateGameState();
    CreatePlayerRecords();
    CreateObjectPool();
    ClearCellHashTable();
    CreateEnemyGrid();
    for (int y = 0; y < FIELD_HEIGHT; y++)
        for (int x = 0; x < FIELD_WIDTH; x++)
            if (x == 0 || y == 0 || x == FIELD_WIDTH - 1 || y == FIELD_HEIGHT - 1 || (x % 2 == 0 && y % 2 == 0))
                SpawnFixedBlock(x, y, 0);
    gPlayers[0]->cellX = px;
    gPlayers[0]->cellY = py;
    gPlayers[1]->cellX = gPlayers[1]->cellY = 1000;
}

void TearDownField(void)
{
    ClearAllObjects();
    FreeEnemyGrid();
    FreeObjectPool();
}

void RunChoice(benchmark::State &state, GameObjectRecord *enemy)
{
    for (auto _ : state) {
        ChooseEnemyDirection(enemy);
        benchmark::DoNotOptimize(enemy->chosenDirection);
    }
}

void BM_ChaseReachable(benchmark::State &state)
{
    BuildField(7, 7);
    RunChoice(state, SpawnEnemyOfKind(3, 3, 2, 0));
    TearDownField();
}
BENCHMARK(BM_ChaseReachable);

void BM_ChaseUnreachable(benchmark::State &state)
{
    BuildField(7, 7);
    for (int d = 0; d < 4; d++) SpawnSoftBlock(7 + (d == 3) - (d == 2), 7 + (d == 0) - (d == 1), 1, 100, 0);
    RunChoice(state, SpawnEnemyOfKind(3, 3, 2, 0));
    TearDownField();
}
BENCHMARK(BM_ChaseUnreachable);

void BM_ShooterAimThroughBlocks(benchmark::State &state)
{
    BuildField(11, 1);
    SpawnSoftBlock(5, 1, 1, 100, 0);
    RunChoice(state, SpawnEnemyOfKind(1, 1, 5, 0));
    TearDownField();
}
BENCHMARK(BM_ShooterAimThroughBlocks);

}  // namespace

BENCHMARK_MAIN();
