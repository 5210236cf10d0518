// A small stage for the player tests: the walls and pillars of every field built from the real
// spawners, players placed on chosen cells, pads set per player, and stage turns stepped through the
// real frame turn with a seeded generator, the drawing left out and the pool checked after every turn.
#pragma once
#include <cstdint>

#include "game/objects.h"
#include "game/records.h"
#include "tests/game/game_fakes.h"

class PlayerArenaTest : public GameTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Empties the field, then raises the border and the pillars (every cell with x and y both even).
    static void BuildWalls(void);
    // Puts player n (1..4) into play with one life on cell (x, y), no respawn counter. The player's
    // anchor object is made on first use.
    PlayerRecord *Join(int n, int x, int y);
    // Puts a player at pixel (x, y) (top-left), with its centre and cell.
    static void PutAt(PlayerRecord *player, int x, int y);
    // Holds bits on player n's pad from the next turn on.
    static void Hold(int n, int bits);
    // Runs `turns` stage turns; fails the test when a pool invariant breaks.
    void Step(int turns);
    // The first active object of a kind (and block variant, -1 any) in cell (x, y), or null.
    static GameObjectRecord *Find(const char *kind, int x, int y, int variant = -1);
    // Active objects of a kind (and variant, -1 any) on the field.
    static int Count(const char *kind, int variant = -1);
    // Plays of effect / voice n so far.
    static int Effects(int n);
    static int Voices(int n);
    // Forgets the sounds played so far.
    static void ClearSounds(void);
    // The sounds played so far (fake handles) in order.
    static std::vector<int> Sounds(void);

    int turns_ = 0;
};

// The generator the tests install: std::mt19937 with the multiply-shift mapping of PickRandomUpTo.
void SeedPlayerTestRandom(uint32_t seed);
