// A small field for the enemy tests: the fake services, fresh records, pool and search grid, a
// random generator that first answers from a script and then from a seeded xorshift, and helpers that
// place blocks, bombs and players through the real spawners.
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

#include "game/objects.h"
#include "tests/game/game_fakes.h"
#include "tests/game/stage_sim.h"

struct EnemyRandom {
    std::deque<int> script;                  // answered first, each clamped into 0..max
    std::vector<int> asked;                  // the max of every draw, in order
    uint32_t state = 2463534242u;            // xorshift32 after the script
};
extern EnemyRandom *gEnemyRandom;

// Installs the generator into the game's services (seed 0 keeps the default state).
void InstallEnemyRandom(uint32_t seed);
// Puts player 1..4 on cell (x, y) with its pixel box and centre; 1000 takes it off the field.
void PutPlayerOnCell(int number, int x, int y);

class EnemyFieldTest : public GameTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The outer ring of fixed blocks; with pillars also every even/even inner cell.
    void BuildWalls(bool pillars);
    GameObjectRecord *PutFixed(int x, int y);
    GameObjectRecord *PutSoft(int x, int y, int content = 100);
    GameObjectRecord *PutBomb(int x, int y, int owner);
    GameObjectRecord *PutEnemy(int x, int y, int kind);
    // Player 1..4 on cell (x, y); 1000 takes it off the field.
    void PlacePlayer(int number, int x, int y);
    // Active objects of a kind name on a cell / anywhere.
    int CountAt(int x, int y, const char *kind);
    int Count(const char *kind);
    GameObjectRecord *FirstAt(int x, int y, const char *kind);
    // Sound plays of effect / voice n since the start.
    int Effects(int n);
    int Voices(int n);

    EnemyRandom random;
};

// The stage simulator with the enemies' search grid, as the program has it.
class EnemyStageSimTest : public StageSimTest {
protected:
    void SetUp() override;
    void TearDown() override;
};
