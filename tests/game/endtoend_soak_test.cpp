// Seeded soak of the stage rules: every stage of normal mode and battle rounds run with random pads
// and a frame-locked stage clock, the pool invariants checked after every frame, and the same seed
// giving the same state hash twice.
//
// The full soak is outside the default run:
//   bash scripts/soak.sh            (or: test_game --gtest_also_run_disabled_tests --gtest_filter='*FullSoak*')
// DAZAR_SOAK_FRAMES (frames per stage, default 5000) and DAZAR_SOAK_SEEDS (seeds 1..n, default 1)
// size it. A short soak of a few stages runs by default.
#include <gtest/gtest.h>

#include <cstdlib>

#include "game/records.h"
#include "game/stage_clock.h"
#include "game/stage_hooks.h"
#include "tests/game/enemy_field.h"
#include "tests/game/stage_sim.h"

namespace {

#define SOAK_FRAMES_PER_SECOND 59            // the stage clock ticks once per this many frames
#define SOAK_PAD_HOLD 12                     // frames a random direction is held

struct SoakResult {
    uint64_t hash;                           // state hash after the last frame, with the counters below
    int rounds;                              // stages or rounds that ended and were started again
    int enemyFrames;                         // frames with at least one enemy on the field
};

static int EnvInt(const char *name, int fallback)
{
    const char *text = std::getenv(name);
    int value = text ? std::atoi(text) : 0;
    return value > 0 ? value : fallback;
}

class EndToEndSoakTest : public EnemyStageSimTest {
protected:

    // Fresh records, then the stage (normal mode: players 1 and 2 with many lives) or a battle round of
    // four players.
    void StartSoakStage(int stage, int mode)
    {
        gGame->mode = mode;
        gGame->stage = stage;
        int players = mode == GAME_MODE_BATTLE ? PLAYER_COUNT : 2;
        gGame->playersInPlay = players;
        gGame->battlePlayers = PLAYER_COUNT;
        for (int i = 0; i < PLAYER_COUNT; i++) {
            gPlayers[i]->inPlay = i < players;
            gPlayers[i]->lives = i < players ? 50 : 0;
        }
        StartStage();
        BuildStageField();
        CreatePlayerObjects();
    }

    // Random pads: a direction held for a while, the bomb button now and then, the remote and kick-stop
    // buttons rarely; never the pause. The pads draw from their own state, apart from the game's stream.
    void SetRandomPads(uint32_t *padState, int frame)
    {
        static const int kDirections[5] = {0, GAME_PAD_DOWN, GAME_PAD_LEFT, GAME_PAD_RIGHT, GAME_PAD_UP};
        for (int i = 0; i < PLAYER_COUNT; i++) {
            PlayerRecord *p = gPlayers[i];
            int direction = p->padBits & (GAME_PAD_DOWN | GAME_PAD_LEFT | GAME_PAD_RIGHT | GAME_PAD_UP);
            if (frame % SOAK_PAD_HOLD == 0) direction = kDirections[NextXorshift32(padState) % 5];
            uint32_t r = NextXorshift32(padState);
            int bits = direction;
            if (r % 8 == 0) bits |= p->bombButton;
            if (r % 97 == 1) bits |= p->remoteButton;
            if (r % 89 == 2) bits |= p->kickStopButton;
            p->padBits = bits;
        }
    }

    SoakResult Soak(int stage, int mode, uint32_t seed, int frames)
    {
        ClearAllObjects();
        CreateGameState();
        CreatePlayerRecords();
        CreateStageRecord();
        gGame->soundEffectsOn = 1;
        SeedSimRandom(seed);
        uint32_t padState = seed * 2654435761u + 1;
        SoakResult result = {0, 0, 0};
        StartSoakStage(stage, mode);
        for (int frame = 0; frame < frames && !HasFatalFailure(); frame++) {
            if (!gGame->inStage) {
                result.rounds++;
                StartSoakStage(stage, mode);
            }
            SetRandomPads(&padState, frame);
            if (frame % SOAK_FRAMES_PER_SECOND == SOAK_FRAMES_PER_SECOND - 1) TickStageClock();
            Step();
            result.enemyFrames += Count(KIND_ENEMY) > 0;
        }
        result.hash = StateHash() ^ ((uint64_t)result.rounds << 48) ^ ((uint64_t)result.enemyFrames << 20);
        return result;
    }

    // Runs the stage twice with one seed: both runs must end alike.
    void SoakTwice(int stage, int mode, uint32_t seed, int frames)
    {
        SoakResult first = Soak(stage, mode, seed, frames);
        ASSERT_FALSE(HasFatalFailure()) << "stage " << stage << " mode " << mode << " seed " << seed;
        SoakResult second = Soak(stage, mode, seed, frames);
        EXPECT_EQ(first.hash, second.hash) << "stage " << stage << " mode " << mode << " seed " << seed;
        EXPECT_EQ(first.rounds, second.rounds);
        if (mode == GAME_MODE_NORMAL) {
            EXPECT_GT(first.enemyFrames, 0) << "stage " << stage;
        }
    }
};

TEST_F(EndToEndSoakTest, ShortSoakOfFourStagesAndBattle)
{
    for (int stage : {1, 21, 36, 42}) SoakTwice(stage, GAME_MODE_NORMAL, 7, 1500);
    SoakTwice(1, GAME_MODE_BATTLE, 7, 1500);
}

TEST_F(EndToEndSoakTest, DifferentSeedsPlayDifferently)
{
    SoakResult a = Soak(8, GAME_MODE_NORMAL, 1, 600);
    SoakResult b = Soak(8, GAME_MODE_NORMAL, 2, 600);
    EXPECT_NE(a.hash, b.hash);
}

TEST_F(EndToEndSoakTest, DISABLED_FullSoakOfEveryStageAndBattle)
{
    int frames = EnvInt("DAZAR_SOAK_FRAMES", 5000);
    int seeds = EnvInt("DAZAR_SOAK_SEEDS", 1);
    for (int seed = 1; seed <= seeds; seed++) {
        for (int stage = 1; stage <= LAST_STAGE && !HasFatalFailure(); stage++)
            SoakTwice(stage, GAME_MODE_NORMAL, (uint32_t)seed, frames);
        SoakTwice(1, GAME_MODE_BATTLE, (uint32_t)seed, frames);
    }
}

}  // namespace
