// The object pool: the 1000 cap with LIFO reuse, the walk with mid-walk spawns and self-removal, bucket
// order, the clear, the bomb chains, the spawners' initial fields and a random spawn / remove run.
#include <cstring>
#include <random>
#include <vector>

#include "game/object_states.h"
#include "game/objects.h"
#include "game/stage_hooks.h"
#include "tests/game/stage_sim.h"

namespace {

class ObjectsPoolTest : public StageSimTest {};

TEST_F(ObjectsPoolTest, ThousandSpawnsThenNullThatChangesNothingThenReuseOfTheLastFreed)
{
    std::vector<GameObjectRecord *> made;
    for (int i = 0; i < OBJECT_POOL_LIVE_MAX; i++) {
        GameObjectRecord *o = SpawnItem(1 + i % 13, 1 + i % 11, 4);
        ASSERT_NE(o, nullptr) << i;
        made.push_back(o);
    }
    GameObjectRecord *head = GetCellObjects(3, 3);
    GameObjectRecord *last = made.back();
    EXPECT_EQ(SpawnFire(3, 3, 0, 4, 2, 32, 1, 0), nullptr);
    EXPECT_EQ(SpawnBomb(0, 3, 3, 2, 150, 1, 0, 4), nullptr);
    EXPECT_EQ(GetCellObjects(3, 3), head);
    EXPECT_EQ(last->next, made.front()->prev);  // both the sentinel: nothing appended
    EXPECT_EQ(GetFirstBomb(), nullptr);
    EXPECT_EQ(CountLiveObjects(), OBJECT_POOL_LIVE_MAX);
    EXPECT_TRUE(PoolIsConsistent());

    GameObjectRecord *victim = made[500];
    FreeObjectRecord(victim);
    GameObjectRecord *again = SpawnGoal(5, 5);
    EXPECT_EQ(again, victim);
    EXPECT_EQ(again->timer, 80);  // zero-filled and set as a goal: nothing left from the item
    EXPECT_EQ(again->variant, 0);
    EXPECT_TRUE(PoolIsConsistent());
}

TEST_F(ObjectsPoolTest, SpawnOutsideTheFieldMakesNothing)
{
    EXPECT_EQ(SpawnItem(-1, 3, 4), nullptr);
    EXPECT_EQ(SpawnItem(15, 3, 4), nullptr);
    EXPECT_EQ(SpawnItem(3, 13, 4), nullptr);
    EXPECT_EQ(CellBucket(-1, 0), -1);
    EXPECT_EQ(CellBucket(14, 12), 194);
    EXPECT_EQ(CountLiveObjects(), 0);
}

// Walk probes: record the order, spawn from a chosen member, free oneself.
std::vector<int> g_calls;
GameObjectRecord *g_spawner;

void Probe(GameObjectRecord *o)
{
    g_calls.push_back(o->points);
    if (o == g_spawner) {
        GameObjectRecord *child = SpawnItem(2, 2, 0);
        child->behaviour = Probe;
        child->points = 100 + o->points;
        g_spawner = nullptr;
    }
}

void SelfFreeingProbe(GameObjectRecord *o)
{
    g_calls.push_back(o->points);
    FreeObjectRecord(o);
}

GameObjectRecord *MakeProbe(int id, ObjectBehaviourFn fn = Probe)
{
    GameObjectRecord *o = SpawnItem(1, 1, 0);
    o->behaviour = fn;
    o->points = id;
    return o;
}

TEST_F(ObjectsPoolTest, ASpawnByAMemberThatIsNotLastRunsInTheSameWalk)
{
    g_calls.clear();
    g_spawner = MakeProbe(1);
    MakeProbe(2);
    RunActiveObjectBehaviours();
    EXPECT_EQ(g_calls, (std::vector<int>{1, 2, 101}));
}

TEST_F(ObjectsPoolTest, ASpawnByTheLastMemberRunsFromTheNextWalk)
{
    g_calls.clear();
    MakeProbe(1);
    g_spawner = MakeProbe(2);
    RunActiveObjectBehaviours();
    EXPECT_EQ(g_calls, (std::vector<int>{1, 2}));
    g_calls.clear();
    RunActiveObjectBehaviours();
    EXPECT_EQ(g_calls, (std::vector<int>{1, 2, 102}));
}

TEST_F(ObjectsPoolTest, ASelfFreeingMemberDoesNotSkipItsSuccessor)
{
    g_calls.clear();
    g_spawner = nullptr;
    MakeProbe(1);
    MakeProbe(2, SelfFreeingProbe);
    MakeProbe(3);
    RunActiveObjectBehaviours();
    EXPECT_EQ(g_calls, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(CountLiveObjects(), 2);
    EXPECT_TRUE(PoolIsConsistent());
}

TEST_F(ObjectsPoolTest, BucketsListTheNewestFirstAndARehashMovesToTheHead)
{
    GameObjectRecord *a = SpawnSoftBlock(3, 3, 1, 100, 1);
    GameObjectRecord *b = SpawnItem(3, 3, 4);
    GameObjectRecord *c = SpawnGoal(3, 3);
    EXPECT_EQ(GetCellObjects(3, 3), c);
    EXPECT_EQ(c->cellNext, b);
    EXPECT_EQ(b->cellNext, a);
    RehashObjectCell(a);  // same cell: to the head
    EXPECT_EQ(GetCellObjects(3, 3), a);
    EXPECT_EQ(a->cellNext, c);
    b->cellX = 4;
    RehashObjectCell(b);
    EXPECT_EQ(GetCellObjects(4, 3), b);
    EXPECT_EQ(b->bucket, 3 * 15 + 4);
    EXPECT_EQ(c->cellNext, nullptr);
    EXPECT_TRUE(PoolIsConsistent());
}

TEST_F(ObjectsPoolTest, ClearAllObjectsEmptiesEverythingAndForgetsTheAnchors)
{
    BuildArena();
    LayBomb(1, 3, 1);
    ASSERT_NE(GetFirstBomb(), nullptr);
    ClearAllObjects();
    EXPECT_EQ(GetFirstActiveObject(), nullptr);
    EXPECT_EQ(GetFirstBomb(), nullptr);
    for (int b = 0; b < CELL_HASH_BUCKETS; b++) EXPECT_EQ(gCellHash.heads[b], nullptr);
    EXPECT_EQ(CountFreeObjects(), OBJECT_POOL_LIVE_MAX);
    for (PlayerRecord *p : gPlayers) EXPECT_EQ(p->ownObject, nullptr);
    EXPECT_TRUE(PoolIsConsistent());
}

TEST_F(ObjectsPoolTest, OwnChainsKeepLayingOrderAndEnemyBombsStayOutOfThem)
{
    BuildArena();
    GameObjectRecord *b1 = SpawnBomb(0, 3, 1, 2, 150, 1, 0, 4);
    GameObjectRecord *e0 = SpawnBomb(0, 5, 1, 2, 150, 0, 0, 4);
    GameObjectRecord *b2 = SpawnBomb(0, 7, 1, 2, 150, 1, 0, 4);
    GameObjectRecord *e10 = SpawnBomb(0, 9, 1, 2, 150, 10, 0, 4);
    GameObjectRecord *anchor = gPlayers[0]->ownObject;
    EXPECT_EQ(anchor->ownBombNext, b1);
    EXPECT_EQ(b1->ownBombNext, b2);
    EXPECT_EQ(b2->ownBombPrev, b1);
    EXPECT_EQ(e0->ownBombPrev, nullptr);
    EXPECT_EQ(e10->ownBombPrev, nullptr);
    EXPECT_EQ(GetFirstBomb(), b1);
    EXPECT_EQ(b1->bombNext, e0);
    EXPECT_EQ(e10->bombNext, nullptr);

    // a bomb on a kicked chain, then unlinked: neighbours joined, kicked links cleared
    anchor->kickedNext = b2;
    b2->kickedPrev = anchor;
    UnlinkBombChains(b2);
    EXPECT_EQ(b1->ownBombNext, nullptr);
    EXPECT_EQ(e0->bombNext, e10);
    EXPECT_EQ(e10->bombPrev, e0);
    EXPECT_EQ(anchor->kickedNext, nullptr);
    EXPECT_EQ(b2->kickedPrev, nullptr);
}

TEST_F(ObjectsPoolTest, InvariantCheckFindsABrokenChain)
{
    BuildArena();
    GameObjectRecord *b1 = SpawnBomb(0, 3, 1, 2, 150, 1, 0, 4);
    ASSERT_TRUE(PoolIsConsistent());
    b1->ownBombNext = b1;  // a bomb linked after itself
    EXPECT_FALSE(PoolIsConsistent());
    b1->ownBombNext = nullptr;
    EXPECT_TRUE(PoolIsConsistent());
}

TEST_F(ObjectsPoolTest, SpawnersSetTheirInitialFields)
{
    BuildArena();
    GameObjectRecord *goal = SpawnGoal(3, 3);
    EXPECT_STREQ(goal->kindName, "Goal");
    EXPECT_EQ(goal->behaviour, GoalAppear);
    EXPECT_EQ(goal->timer, 80);
    EXPECT_EQ(goal->hitPoints, 1);
    EXPECT_EQ(goal->left, 96);
    EXPECT_EQ(goal->centreY, 112);
    GameObjectRecord *score = SpawnScorePopup(4, 5, 3, 200);
    EXPECT_EQ(score->moveMode, 40);
    EXPECT_EQ(score->hitPoints, 3);
    EXPECT_EQ(score->facing, 200);
    GameObjectRecord *anchor = gPlayers[1]->ownObject;
    EXPECT_STREQ(anchor->kindName, "P");
    EXPECT_EQ(anchor->bucket, 0);
    EXPECT_EQ(anchor->centreX, 16);
    EXPECT_EQ(anchor->centreY, 16);
    EXPECT_EQ(anchor->ownerPlayer, gPlayers[1]);
    GameObjectRecord *bomb = SpawnBomb(1, 5, 5, 3, 150, 0, 1, 20);
    EXPECT_EQ(bomb->passKind, 1);
    EXPECT_EQ(bomb->specialKind, 1);
    EXPECT_EQ(bomb->framesPerCell, 0);
    EXPECT_EQ(bomb->kickedNext, nullptr);
    EXPECT_EQ(bomb->ownBombNext, nullptr);
    GameObjectRecord *fire = SpawnFire(5, 3, 1, 2, 4, 32, 3, 1);
    EXPECT_EQ(fire->spriteFrame, 1);
    EXPECT_EQ(fire->variant, 2);
    EXPECT_EQ(fire->hitPoints, 4);
    EXPECT_EQ(fire->owner, 3);
    GameObjectRecord *shot = SpawnShot(0, 3, 6, 7, 8, 0, 1, 0, 0, 2, 2, 0);
    EXPECT_EQ(shot->facing, 2);
    EXPECT_EQ(shot->turnChance, 2);
    EXPECT_EQ(shot->specialKind, 2);
    GameObjectRecord *sw = SpawnTYukaObject(7, 7);
    EXPECT_EQ(sw->spriteFrame, 8);
    EXPECT_EQ(sw->timer, 80);
    GameObjectRecord *enemy = SpawnEnemyObject(2, 4, 9, 9, 32, 3, 2, 0, 800, 0, 0, 0, 0, 0, 1, 0, 1, 80);
    EXPECT_EQ(enemy->sightingDirection, 4);
    EXPECT_EQ(enemy->facing, 1);
    EXPECT_EQ(enemy->firstVoiceFlag, 1);
    EXPECT_EQ(enemy->secondVoiceFlag, 1);
    EXPECT_EQ(enemy->thirdVoiceFlag, 0);
    EXPECT_TRUE(PoolIsConsistent());
}

TEST_F(ObjectsPoolTest, RandomSpawnAndRemoveKeepsThePoolConsistent)
{
    BuildArena();
    std::mt19937 random(7);
    std::vector<GameObjectRecord *> live;
    for (int step = 0; step < 4000; step++) {
        int x = 1 + (int)(random() % 13), y = 1 + (int)(random() % 11);
        if (random() % 3 != 0 || live.empty()) {
            GameObjectRecord *o = random() % 2 ? SpawnBomb(0, x, y, 2, 150, 1 + (int)(random() % 4), 0, 4)
                                               : SpawnItem(x, y, 4);
            if (o) live.push_back(o);
        } else {
            size_t i = random() % live.size();
            GameObjectRecord *o = live[i];
            if (IsObjectKind(o, KIND_BLOCK)) UnlinkBombChains(o);
            FreeObjectRecord(o);
            live.erase(live.begin() + (long)i);
        }
        if (step % 50 == 0) {
            ASSERT_TRUE(PoolIsConsistent()) << step;
        }
        if (step % 97 == 0 && !live.empty()) {
            live.back()->cellX = x;
            live.back()->cellY = y;
            RehashObjectCell(live.back());
        }
    }
    EXPECT_TRUE(PoolIsConsistent());
}

}  // namespace
