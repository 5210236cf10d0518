// Players over whole stages: real stage and round builds played by seeded random pads with the pool
// checked after every turn and the same seed giving the same game, and the round end handing over to
// the menus' result screens.
#include <random>

#include "game/frame_loop.h"
#include "game/menus.h"
#include "game/stage_hooks.h"
#include "tests/game/player_arena.h"

namespace {

class PlayerFlowTest : public PlayerArenaTest {
protected:
    // The menus' choices, then the real stage start, field build and player objects.
    void StartRealStage(int mode, int players, int stage)
    {
        ClearAllObjects();
        ResetPlayersForMode(0);
        gGame->frameCounter = 0;
        gGame->mode = mode;
        gGame->stage = stage;
        gGame->credits = mode == GAME_MODE_NORMAL ? 3 : 0;
        gGame->battlePlayers = players;
        gGame->playersInPlay = players;
        for (int n = 1; n <= PLAYER_COUNT; n++) {
            GetPlayer(n)->inPlay = n <= players;
            GetPlayer(n)->lives = n <= players;
        }
        gStageHooks.startStage();
        gStageHooks.buildStageField();
        gStageHooks.createPlayerObjects();
    }

    // Plays up to `turns` turns with pads drawn from seed (a new pad every 6 turns); a summary of the
    // players and the game afterwards.
    std::vector<int> Play(uint32_t seed, int turns)
    {
        std::mt19937 pads(seed);
        for (int t = 0; t < turns && gGame->inStage == 1; t++) {
            if (t % 6 == 0) {
                for (int n = 1; n <= PLAYER_COUNT; n++) {
                    int bits = 1 << (pads() % 5);  // a direction or none (16: the bomb button)
                    if (pads() % 4 == 0) bits |= 16 | 32 | 64;
                    Hold(n, bits);
                }
            }
            Step(1);
            if (HasFatalFailure()) break;
        }
        std::vector<int> summary = {gGame->frameCounter, gGame->inStage, gGame->screenId, gGame->stage};
        for (PlayerRecord *p : gPlayers) {
            for (int v : {p->pixelX, p->pixelY, p->lives, p->score, p->bombsAvailable, p->capacity, p->fireRange})
                summary.push_back(v);
        }
        summary.push_back(CountLiveObjects());
        return summary;
    }
};

TEST_F(PlayerFlowTest, RandomPadsOnRealStagesKeepThePoolWholeAndRepeatBySeed)
{
    struct Case {
        int mode, players, stage;
    } cases[] = {{GAME_MODE_NORMAL, 2, 1}, {GAME_MODE_NORMAL, 1, 15}, {GAME_MODE_NORMAL, 2, 42},
                 {GAME_MODE_BATTLE, 4, 1}, {GAME_MODE_BATTLE, 2, 1}};
    for (const Case &c : cases) {
        for (uint32_t seed = 1; seed <= 2; seed++) {
            SCOPED_TRACE("mode " + std::to_string(c.mode) + " stage " + std::to_string(c.stage) + " seed " +
                         std::to_string(seed));
            SeedPlayerTestRandom(seed);
            StartRealStage(c.mode, c.players, c.stage);
            std::vector<int> first = Play(seed, 3000);
            ASSERT_FALSE(HasFatalFailure());
            SeedPlayerTestRandom(seed);
            StartRealStage(c.mode, c.players, c.stage);
            EXPECT_EQ(Play(seed, 3000), first);
        }
    }
}

TEST_F(PlayerFlowTest, TwoRoundsWonLeadToTheVictoryScreen)
{
    gGame->mode = GAME_MODE_BATTLE;
    gGame->battlePlayers = 2;
    PlayerRecord *p = Join(1, 1, 1);
    PlayerRecord *q = Join(2, 13, 11);
    p->score = 1;
    SpawnFire(13, 11, 0, 4, 0, 32, 0, 0);
    Step(80);
    ASSERT_EQ(gGame->inStage.load(), 0);
    EXPECT_EQ(gGame->screenId, SCREEN_ROUND_RESULT);
    EXPECT_EQ(p->score, 2);
    EXPECT_EQ(q->score, 0);
    DrawMenuScreen();  // the round result settles: two wins end the battle
    EXPECT_EQ(gGame->screenId, SCREEN_VICTORY);
}

}  // namespace
