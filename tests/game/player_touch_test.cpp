// Player touches: every item's effect, voice and closing effect, the caps, the trap, invincibility,
// what costs a life, the touch box, the goal, and the score's credit thresholds.
#include <functional>
#include <vector>

#include "game/object_states.h"
#include "game/player_touch.h"
#include "game/stage_hooks.h"
#include "tests/game/player_arena.h"

namespace {

class PlayerTouchTest : public PlayerArenaTest {
protected:
    // Player 1 on (5, 5) touches an item of `kind` lying there; the sounds it made.
    std::vector<int> Pick(int kind)
    {
        GameObjectRecord *item = SpawnItem(5, 5, kind);
        ClearSounds();
        HandlePlayerTouches(1, 5, 5);
        EXPECT_EQ(item->active, 0) << kind;
        return Sounds();
    }
};

static int E(int n) { return FakeEffectHandle(n); }
static int V(int n) { return FakeVoiceHandle(n); }

struct ItemCase {
    int kind;
    std::function<void(PlayerRecord *)> before;  // null: the reset values
    std::function<void(PlayerRecord *)> check;
    std::vector<int> sounds;
};

TEST_F(PlayerTouchTest, EveryItemWithItsVoiceAndClosingEffect)
{
    const std::vector<ItemCase> cases = {
        {0, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->score, 100); }, {V(0), E(3)}},
        {1, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->score, 1000); }, {V(0), E(3)}},
        {2, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->score, 100000); },
         {V(0), E(12), V(4), E(12), V(4), E(12), V(4), E(12), V(4), E(12), V(4), E(12), V(4), E(3)}},
        {3, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->score, 10000); }, {V(0), E(12), V(4), E(12), V(4), E(3)}},
        {4, nullptr,
         [](PlayerRecord *p) {
             EXPECT_EQ(p->capacity, 2);
             EXPECT_EQ(p->bombsAvailable, 2);
         },
         {V(1), E(3)}},
        {4, [](PlayerRecord *p) { p->capacity = p->bombsAvailable = 8; },
         [](PlayerRecord *p) {
             EXPECT_EQ(p->capacity, 8);
             EXPECT_EQ(p->bombsAvailable, 8);
         },
         {V(1), E(3)}},
        {5, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->fireRange, 3); }, {V(2), E(3)}},
        {5, [](PlayerRecord *p) { p->fireRange = 8; }, [](PlayerRecord *p) { EXPECT_EQ(p->fireRange, 8); },
         {V(2), E(3)}},
        {6, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->speed, 3); }, {V(3), E(3)}},
        {6, [](PlayerRecord *p) { p->speed = 5; }, [](PlayerRecord *p) { EXPECT_EQ(p->speed, 5); }, {V(3), E(3)}},
        {7, nullptr, [](PlayerRecord *) { EXPECT_EQ(gGame->credits, 1); }, {E(12), V(4), E(3)}},
        {8, [](PlayerRecord *p) { p->kick = 1; },
         [](PlayerRecord *p) {
             EXPECT_EQ(p->passFlags, 2);
             EXPECT_EQ(p->kick, 0);
         },
         {V(5), E(3)}},
        {8, [](PlayerRecord *p) { p->passFlags = 3; }, [](PlayerRecord *p) { EXPECT_EQ(p->passFlags, 3); },
         {V(5), E(3)}},
        {9, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->passFlags, 1); }, {V(6), E(3)}},
        {9, [](PlayerRecord *p) { p->passFlags = 2; }, [](PlayerRecord *p) { EXPECT_EQ(p->passFlags, 3); },
         {V(6), E(3)}},
        {10, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->respawnCounter, 500); }, {V(7), E(3)}},
        {11, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->bombType, 1); }, {V(8), E(3)}},
        {12, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->lives, 2); }, {V(9), E(3)}},
        {13, [](PlayerRecord *p) { p->bombType = 1; }, [](PlayerRecord *p) { EXPECT_EQ(p->bombType, 2); },
         {V(10), E(3)}},
        {14, [](PlayerRecord *p) { p->capacity = p->bombsAvailable = 3; },
         [](PlayerRecord *p) {
             EXPECT_EQ(p->capacity, 2);
             EXPECT_EQ(p->bombsAvailable, 2);
         },
         {V(11), E(6)}},
        {14, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->capacity, 1); }, {V(11), E(3)}},
        {15, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->fireRange, 1); }, {V(12), E(6)}},
        {15, [](PlayerRecord *p) { p->fireRange = 1; }, [](PlayerRecord *p) { EXPECT_EQ(p->fireRange, 1); },
         {V(12), E(3)}},
        {16, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->speed, 1); }, {V(13), E(6)}},
        {16, [](PlayerRecord *p) { p->speed = 1; }, [](PlayerRecord *p) { EXPECT_EQ(p->speed, 1); }, {V(13), E(3)}},
        {17, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->bombType, 3); }, {V(14), E(3)}},
        {18, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->fullFire, 1); }, {V(15), E(3)}},
        {19, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->lineBomb, 1); }, {V(16), E(3)}},
        {20, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->bombType, 4); }, {V(17), E(3)}},
        {21, [](PlayerRecord *) { gGame->enemiesLeft = -2; },
         [](PlayerRecord *) {
             EXPECT_EQ(gGame->enemiesLeft, 4);
             EXPECT_EQ(PlayerArenaTest::Count(KIND_ENEMY), 4);
             int kind3 = 0;
             for (GameObjectRecord *o = GetCellObjects(5, 5); o; o = o->cellNext)
                 kind3 += IsObjectKind(o, KIND_ENEMY) && o->variant == 3 && o->timer == 128;
             EXPECT_EQ(kind3, 4);
         },
         {V(18), E(5), E(6)}},
        {22, [](PlayerRecord *p) { p->passFlags = 3; },
         [](PlayerRecord *p) {
             EXPECT_EQ(p->kick, 1);
             EXPECT_EQ(p->passFlags, 1);
         },
         {V(19), E(3)}},
        {23, nullptr, [](PlayerRecord *p) { EXPECT_EQ(p->score, 0); }, {E(3)}},
    };
    for (const ItemCase &c : cases) {
        ClearAllObjects();
        gGame->credits = 0;
        gGame->enemiesLeft = 0;
        ResetPlayersForMode(2);
        PlayerRecord *p = Join(1, 5, 5);
        p->score = 0;
        if (c.before) c.before(p);
        std::vector<int> sounds = Pick(c.kind);
        SCOPED_TRACE("item " + std::to_string(c.kind));
        c.check(p);
        EXPECT_EQ(sounds, c.sounds);
    }
}

TEST_F(PlayerTouchTest, APickedItemIsRemovedByItsOwnBehaviourAndSoundsStayOff)
{
    gGame->soundEffectsOn = 0;
    PlayerRecord *p = Join(1, 1, 1);
    SpawnItem(2, 1, 5);
    Hold(1, GAME_PAD_RIGHT);
    Step(9);  // centre reaches the item's box at 64
    EXPECT_EQ(p->fireRange, 3);
    EXPECT_EQ(Count(KIND_ITEM), 0);
    EXPECT_TRUE(Sounds().empty());
    int live = CountLiveObjects();
    Step(7);
    EXPECT_EQ(CountLiveObjects(), live - 1);
}

TEST_F(PlayerTouchTest, ACentreOnACellCornerTouchesAllFourCells)
{
    PlayerRecord *p = Join(1, 5, 5);
    PutAt(p, 5 * 32 + 16, 5 * 32 + 16);  // centre on the corner of (5,5), (6,5), (5,6), (6,6)
    SpawnItem(5, 5, 0);
    SpawnItem(6, 5, 0);
    SpawnItem(5, 6, 0);
    SpawnItem(6, 6, 0);
    SpawnItem(7, 6, 0);  // not touched
    HandlePlayerTouches(1, p->cellX, p->cellY);
    EXPECT_EQ(p->score, 400);
    EXPECT_EQ(Count(KIND_ITEM), 1);
}

TEST_F(PlayerTouchTest, EnemiesFireAndShotsCostALifeUnlessTheCounterRuns)
{
    struct Case {
        const char *what;
        int hurts;
    } cases[] = {{"enemy", 1}, {"dying enemy", 0}, {"warping enemy", 0}, {"fire", 1}, {"shot", 1}, {"item", 0}};
    for (const Case &c : cases) {
        for (int counter : {0, 1}) {
            ClearAllObjects();
            PlayerRecord *p = Join(1, 5, 5);
            p->lives = 3;
            p->respawnCounter = counter;
            std::string w = c.what;
            GameObjectRecord *o = nullptr;
            if (w.find("enemy") != std::string::npos)
                o = SpawnEnemyObject(0, 13, 5, 5, 32, 1, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 260);
            if (w == "dying enemy") o->hitPoints = 0;
            if (w == "warping enemy") o->behaviour = EnemyWarpState;
            if (w == "fire") SpawnFire(5, 5, 0, 4, 0, 32, 0, 0);
            if (w == "shot") SpawnShot(0, 0, 5, 5, 8, 1, 0, 0, 0, DIR_DOWN, 0, 0);
            if (w == "item") SpawnItem(5, 5, 100);
            HandlePlayerTouches(1, 5, 5);
            int hurt = counter == 0 && c.hurts;
            EXPECT_EQ(p->lives, hurt ? 2 : 3) << c.what << " counter " << counter;
            EXPECT_EQ(p->respawnCounter, hurt ? 160 : counter) << c.what;
        }
    }
}

TEST_F(PlayerTouchTest, OneLossPerTouchEvenAmongSeveralDangers)
{
    PlayerRecord *p = Join(1, 5, 5);
    p->lives = 3;
    SpawnFire(5, 5, 0, 4, 0, 32, 0, 0);
    SpawnFire(5, 5, 0, 4, 0, 32, 0, 0);
    SpawnEnemyObject(0, 13, 5, 5, 32, 1, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 260);
    HandlePlayerTouches(1, 5, 5);
    EXPECT_EQ(p->lives, 2);
}

TEST_F(PlayerTouchTest, InvincibilityLastsFiveHundredTurnsAndItemsStillWork)
{
    PlayerRecord *p = Join(1, 5, 5);
    p->lives = 2;
    SpawnItem(5, 5, 10);
    Step(1);
    EXPECT_EQ(p->respawnCounter, 499);
    for (int i = 0; i < 498; i++) {
        if (!Find(KIND_FIRE, 5, 5)) SpawnFire(5, 5, 0, 4, 0, 32, 0, 0);
        if (i == 100) SpawnItem(5, 5, 6);
        Step(1);
    }
    EXPECT_EQ(p->lives, 2);
    EXPECT_EQ(p->speed, 3);
    EXPECT_EQ(p->respawnCounter, 1);
    for (int i = 0; i < 2; i++) {  // the counter runs out; the next touch costs a life
        if (!Find(KIND_FIRE, 5, 5)) SpawnFire(5, 5, 0, 4, 0, 32, 0, 0);
        Step(1);
    }
    EXPECT_EQ(p->lives, 1);
    EXPECT_EQ(p->respawnCounter, 159);
}

TEST_F(PlayerTouchTest, TheOpenGoalClearsTheStageClosedItDoesNothing)
{
    PlayerRecord *p = Join(1, 1, 1);
    GameObjectRecord *goal = SpawnGoal(3, 1);
    gGame->coreMechsLeft = 1;
    Step(10);
    EXPECT_EQ(goal->variant, 0);
    PutAt(p, 3 * 32, 32);
    Step(3);
    EXPECT_EQ(gGame->inStage.load(), 1);
    EXPECT_EQ(gFake->fileWrites, 0);
    gGame->coreMechsLeft = 0;
    Step(1);  // the goal opens in its own behaviour, the touch follows the walk
    EXPECT_EQ(gGame->inStage.load(), 0);
    EXPECT_EQ(gGame->stage, 2);
    EXPECT_EQ(gGame->progress, 2);
    EXPECT_EQ(gFake->fileWrites, 1);
    EXPECT_EQ(gGame->screenId, 0);  // unchanged: the menus start the next stage
    EXPECT_EQ(CountLiveObjects(), 0);
    EXPECT_EQ(p->moving, 0);
}

TEST_F(PlayerTouchTest, TwoPlayersOnTheOpenGoalAdvanceOneStage)
{
    PlayerRecord *p = Join(1, 3, 1);
    PlayerRecord *q = Join(2, 3, 1);
    gGame->stage = 42;
    gGame->progress = 42;
    SpawnGoal(3, 1);
    p->score = 700;
    q->score = 900;
    gGame->hiScore = 800;
    Step(10);
    EXPECT_EQ(gGame->stage, 43);
    EXPECT_EQ(gGame->progress, 43);
    EXPECT_EQ(gGame->screenId, SCREEN_GAME_CLEAR);
    EXPECT_EQ(gGame->hiScore, 900);
    EXPECT_EQ(gFake->fileWrites, 2);  // the goal, then the game clear
}

TEST_F(PlayerTouchTest, ScoreThresholdsPayCredits)
{
    PlayerRecord *p = Join(1, 5, 5);
    p->score = 4999;
    AddPlayerScore(1, 1);
    EXPECT_EQ(gGame->credits, 1);
    AddPlayerScore(1, 4999);
    EXPECT_EQ(gGame->credits, 1);  // 5000 was already passed; 9999 is below the next
    AddPlayerScore(1, 1);
    EXPECT_EQ(gGame->credits, 2);
    EXPECT_EQ(gGame->blockContentLevel, 0);
    p->score = 0;
    gGame->credits = 0;
    ClearSounds();
    AddPlayerScore(1, 100000);
    EXPECT_EQ(gGame->credits, 6);
    EXPECT_EQ(gGame->blockContentLevel, 1);
    EXPECT_EQ(Effects(12), 6);
    EXPECT_EQ(Voices(4), 6);
    AddPlayerScore(1, 1000000);
    EXPECT_EQ(gGame->credits, 8);
    p->score = 2147483000;
    AddPlayerScore(1, 100000);  // held at the top of the range, not wrapped
    EXPECT_EQ(p->score, 2147483647);
    AddPlayerScore(0, 100);
    AddPlayerScore(5, 100);
    EXPECT_EQ(gGame->credits, 8);
}

}  // namespace
