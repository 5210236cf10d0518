// A headless stage simulator for the field rules: the game's fake services with a seeded (or scripted)
// random generator, the real pool, spawners, stage build and frame turn, placement helpers, observers
// of objects and sounds, a state hash, and the pool invariants checked after every frame.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/bombs.h"
#include "game/cells.h"
#include "game/objects.h"

// The generator: multiply-shift over xorshift32, as the library maps its 32-bit numbers; values queued
// by ScriptRandom come first (clamped to the maximum asked for).
void SeedSimRandom(uint32_t seed);
void ScriptRandom(std::initializer_list<int> values);
// Random draws taken since the last seed.
int CountSimDraws(void);

class StageSimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // An empty arena in the given mode: floor and fixed blocks through the real spawners, the players'
    // anchors; player 1 in play (lives 1, no respawn counter), the others out. Frame counter 0.
    void BuildArena(int mode = GAME_MODE_NORMAL);
    // The real stage start and field build of a stage with the seeded generator.
    void BuildStage(int stage, int mode = GAME_MODE_NORMAL);

    // Placement through the public spawners and rules.
    GameObjectRecord *PutSoft(int x, int y, int content = 100);
    GameObjectRecord *PutFixed(int x, int y);
    GameObjectRecord *PutItem(int x, int y, int kind);
    GameObjectRecord *PutGoal(int x, int y);
    GameObjectRecord *PutEnemy(int x, int y, int kind, int protection = 0);
    // Lays a bomb of player 1..4 at (x, y) with PlaceBomb (the player's bomb count is topped up first).
    GameObjectRecord *LayBomb(int player, int x, int y);

    // The pad bits of players 1..4 from the next turn on (held until changed).
    void SetPads(int p1, int p2 = 0, int p3 = 0, int p4 = 0);
    // Runs n stage turns (inputs, actions, the walk, touches, counter, round end; no drawing)
    // and checks the pool invariants after each. Stops at the first broken invariant (a test failure).
    void Step(int n = 1);
    // Runs frames until pred holds or limit frames have passed; the frames run.
    template <typename Pred>
    int StepUntil(Pred pred, int limit)
    {
        for (int i = 0; i < limit; i++) {
            if (pred()) return i;
            Step();
        }
        return limit;
    }

    // Observers.
    int Count(const char *kind, int variant = -1, bool activeOnly = true);
    std::vector<GameObjectRecord *> At(int x, int y, const char *kind = nullptr, bool activeOnly = true);
    GameObjectRecord *First(int x, int y, const char *kind);
    // Cells holding an active fire, as "x,y" strings in y, x order.
    std::vector<std::string> FireCells(void);
    // Effects / voices played since the last ClearSounds, in order.
    std::vector<int> Effects(void);
    std::vector<int> Voices(void);
    void ClearSounds(void);
    // FNV-1a over the active list in order (kind, cell, box, state values) and the game counters.
    uint64_t StateHash(void);
};

// Checks the pool invariants; a gtest failure with the message when one is broken.
::testing::AssertionResult PoolIsConsistent(void);
