// Bomb rules: laying on fire, remote detonation, the power bomb and full fire, a full pool, the enemy
// bomb table, the slide and its stops, and the repel of enemies and shots.
#include <vector>

#include "game/bombs.h"
#include "game/object_states.h"
#include "tests/game/game_fakes.h"
#include "tests/game/stage_sim.h"

namespace {

class BombRulesTest : public StageSimTest {
protected:
    void SetUp() override
    {
        StageSimTest::SetUp();
        BuildArena();
    }
};

TEST_F(BombRulesTest, ABombLaidOnFireExplodesInsideTheLayingCall)
{
    const struct {
        int bombType, x;
    } rows[] = {{BOMB_NORMAL, 5}, {BOMB_REMOTE, 9}};  // a remote bomb does not wait
    for (const auto &r : rows) {
        SpawnFire(r.x, 5, 0, 4, 0, 32, 2, 0);
        gPlayers[0]->bombType = r.bombType;
        gPlayers[0]->bombsAvailable = 1;
        ClearSounds();
        PlaceBomb(gPlayers[0], r.x, 5);
        GameObjectRecord *bomb = nullptr;
        for (GameObjectRecord *o : At(r.x, 5, KIND_BLOCK, false)) bomb = o;
        ASSERT_NE(bomb, nullptr) << r.bombType;
        EXPECT_EQ(bomb->active, 0) << r.bombType;
        EXPECT_EQ(gPlayers[0]->bombsAvailable, 1) << r.bombType;  // out and back in the same call
        EXPECT_EQ(Effects(), (std::vector<int>{0})) << r.bombType;
        int centres = 0;
        for (GameObjectRecord *f : At(r.x, 5, KIND_FIRE)) centres += f->variant == 4 && f->owner == 1;
        EXPECT_EQ(centres, 1) << r.bombType;
    }
}

TEST_F(BombRulesTest, RemoteBombsWaitAndOnePressDetonatesTheOldest)
{
    PlayerRecord *p = gPlayers[0];
    p->bombType = BOMB_REMOTE;
    p->capacity = 3;
    GameObjectRecord *a = LayBomb(1, 3, 1);
    GameObjectRecord *b = LayBomb(1, 5, 1);
    EXPECT_EQ(a->timer, -2);
    EXPECT_EQ(a->spriteFrame, 8);
    Step(20);
    EXPECT_LT(a->timer, -2);
    EXPECT_EQ(a->active, 1);
    ClearSounds();
    EXPECT_EQ(DetonateRemoteBomb(p), 1);
    EXPECT_EQ(a->timer, 0);
    EXPECT_LT(b->timer, 0);
    EXPECT_EQ(Effects(), (std::vector<int>{1}));
    Step();
    EXPECT_EQ(a->active, 0);
    EXPECT_EQ(b->active, 1);
    // another bomb type: every waiting remote bomb gets the normal fuse
    p->bombType = BOMB_NORMAL;
    Step();
    EXPECT_EQ(b->timer, 149);
}

TEST_F(BombRulesTest, PowerBombOnlyWithEveryBombHomeAndFullFireReachesTwelve)
{
    PlayerRecord *p = gPlayers[0];
    p->bombType = BOMB_POWER;
    p->capacity = 2;
    p->bombsAvailable = 2;
    PlaceBomb(p, 3, 1);
    GameObjectRecord *power = First(3, 1, KIND_BLOCK);
    EXPECT_EQ(power->hitPoints, 12);
    EXPECT_EQ(power->passKind, 1);
    EXPECT_EQ(power->spriteFrame, 16);
    PlaceBomb(p, 5, 1);
    GameObjectRecord *plain = First(5, 1, KIND_BLOCK);
    EXPECT_EQ(plain->hitPoints, 2);
    EXPECT_EQ(plain->passKind, 0);
    EXPECT_EQ(plain->spriteFrame, 4);
    p->bombType = BOMB_DANGER;
    p->fullFire = 1;
    p->bombsAvailable = 1;
    PlaceBomb(p, 7, 1);
    GameObjectRecord *danger = First(7, 1, KIND_BLOCK);
    EXPECT_EQ(danger->hitPoints, 12);
    EXPECT_EQ(danger->specialKind, 1);
    EXPECT_EQ(danger->spriteFrame, 20);
}

TEST_F(BombRulesTest, OnAFullPoolNoBombIsLaidAndTheCountStays)
{
    FillPool();
    gPlayers[0]->bombsAvailable = 1;
    PlaceBomb(gPlayers[0], 3, 1);
    EXPECT_EQ(gPlayers[0]->bombsAvailable, 1);
    EXPECT_EQ(GetFirstBomb(), nullptr);
    EXPECT_TRUE(PoolIsConsistent());
}

TEST_F(BombRulesTest, EnemyBombsFollowTheSpecialKindTable)
{
    struct Row {
        int specialKind, hitPoints, range, pierce, danger, owner, sprite;
    };
    const Row rows[] = {
        {10, 1, 4, 0, 0, 0, 4},   {11, 1, 4, 1, 0, 0, 12}, {12, 1, 12, 1, 0, 0, 16}, {13, 1, 8, 0, 1, 0, 20},
        {22, 1, 1, 0, 0, 10, 4},  {23, 1, 2, 0, 1, 10, 20}, {15, 1, 0, 0, 0, 0, 0},  {11, 0, 0, 1, 0, 0, 0},
        {10, 0, 0, 0, 0, 0, 0},   {22, 0, 1, 0, 0, 10, 4},
    };
    int x = 1;
    for (const Row &r : rows) {
        GameObjectRecord *e = PutEnemy(x, 3, 13);
        e->specialKind = r.specialKind;
        e->hitPoints = r.hitPoints;
        e->dx = 1;
        PlaceEnemyBomb(e, x, 3, 90);
        GameObjectRecord *bomb = First(x, 3, KIND_BLOCK);
        ASSERT_NE(bomb, nullptr) << r.specialKind;
        EXPECT_EQ(bomb->hitPoints, r.range) << r.specialKind;
        EXPECT_EQ(bomb->passKind, r.pierce) << r.specialKind;
        EXPECT_EQ(bomb->specialKind, r.danger) << r.specialKind;
        EXPECT_EQ(bomb->owner, r.owner) << r.specialKind;
        EXPECT_EQ(bomb->spriteFrame, r.sprite) << r.specialKind;
        EXPECT_EQ(bomb->timer, 89);
        // the layer touched its own bomb: turned by the repel and back by the layer
        EXPECT_EQ(e->dx, 1);
        EXPECT_EQ(e->stepFrames, 0);
        x++;
    }
}

// Fire that comes to a remote bomb at (x, y) waiting for its button.
struct FireOnRemoteBomb {
    const char *name;
    GameObjectRecord *(*bring)(int x, int y);
};
const FireOnRemoteBomb kFiresOnRemoteBombs[] = {
    {"BlastArm", [](int x, int y) { return SpawnFire(x - 2, y, 0, DIR_NONE, 2, 32, OWNER_ENEMY, 0); }},
    {"BurningCell", [](int x, int y) { return SpawnFire(x, y, 0, DIR_NONE, 0, 32, OWNER_ENEMY, 0); }},
    {"FireShot", [](int x, int y) { return SpawnShot(0, 2, x, y, 8, 0, 1, 0, 0, DIR_UP, 1, 2); }},
};

class RemoteBombFireTest : public BombRulesTest, public ::testing::WithParamInterface<FireOnRemoteBomb> {};

TEST_P(RemoteBombFireTest, SetsOffTheWaitingBombAtTheNextHitFrame)
{
    PlayerRecord *p = gPlayers[0];
    p->bombType = BOMB_REMOTE;
    p->capacity = 2;
    GameObjectRecord *bomb = LayBomb(1, 5, 5);
    GameObjectRecord *other = LayBomb(1, 9, 9);  // out of the fire's reach
    Step(20);
    ASSERT_LT(bomb->timer, 0);
    GetParam().bring(5, 5);
    // the last frame run when fire (a fire or a shot) first stood in the bomb's cell, and the frame
    // the bomb went off in
    int came = -1, exploded = -1;
    StepUntil([&] {
        const int last = gGame->frameCounter - 1;
        if (came < 0 && (!At(5, 5, KIND_FIRE).empty() || !At(5, 5, KIND_SHOT).empty())) came = last;
        if (bomb->active == 0) exploded = last;
        return exploded >= 0;
    }, 24);
    ASSERT_GE(came, 0);
    ASSERT_GE(exploded, 0);
    // the first hit frame that finds it sets it off
    EXPECT_EQ(exploded % 8, 0);
    EXPECT_LE(exploded - came, 8);
    EXPECT_EQ(p->bombsAvailable, 1);
    int centres = 0;
    for (GameObjectRecord *f : At(5, 5, KIND_FIRE)) centres += f->variant == DIR_NONE && f->owner == 1;
    EXPECT_EQ(centres, 1);
    EXPECT_EQ(other->active, 1);
    EXPECT_LT(other->timer, 0);
}

INSTANTIATE_TEST_SUITE_P(Fires, RemoteBombFireTest, ::testing::ValuesIn(kFiresOnRemoteBombs),
                         [](const ::testing::TestParamInfo<FireOnRemoteBomb> &info) { return info.param.name; });

// Starts a bomb sliding toward direction as a kick would.
void Kick(GameObjectRecord *bomb, int direction)
{
    bomb->facing = direction;
    bomb->framesPerCell = BOMB_SLIDING;
    bomb->stepFrames = 0;
}

TEST_F(BombRulesTest, ASlidingBombMovesFourPixelsAFrameAndStopsBeforeABlock)
{
    PutSoft(7, 1);
    GameObjectRecord *bomb = LayBomb(1, 3, 1);
    bomb->timer = 500;
    Step(8);  // appear
    Kick(bomb, DIR_RIGHT);
    ClearSounds();
    Step();
    EXPECT_EQ(bomb->left, 3 * 32 + 4);
    EXPECT_EQ(bomb->moving, 1);
    Step(7);
    EXPECT_EQ(bomb->cellX, 4);
    EXPECT_EQ(bomb->left, 4 * 32);
    StepUntil([&] { return bomb->framesPerCell != BOMB_SLIDING; }, 40);
    EXPECT_EQ(bomb->cellX, 6);  // before the block
    EXPECT_EQ(bomb->left, 6 * 32);
    EXPECT_EQ(bomb->framesPerCell, BOMB_AT_REST);  // 64 and back to 0 within its own step
    EXPECT_EQ(bomb->moving, 0);
    EXPECT_EQ(Effects(), (std::vector<int>{1}));
    EXPECT_EQ(StopKickedBomb(gPlayers[0]), 0);  // nothing slides: nothing happens, nothing plays
    EXPECT_EQ(Effects(), (std::vector<int>{1}));
}

TEST_F(BombRulesTest, StopKickedBombSnapsTheFirstSlidingBombBackToItsCell)
{
    GameObjectRecord *bomb = LayBomb(1, 3, 1);
    bomb->timer = 500;
    Step(8);
    Kick(bomb, DIR_RIGHT);
    GameObjectRecord *anchor = gPlayers[0]->ownObject;
    anchor->kickedNext = bomb;
    bomb->kickedPrev = anchor;
    Step(3);
    EXPECT_EQ(bomb->left, 3 * 32 + 12);
    EXPECT_EQ(StopKickedBomb(gPlayers[0]), 1);
    EXPECT_EQ(bomb->left, 3 * 32);
    EXPECT_EQ(bomb->framesPerCell, BOMB_JUST_STOPPED);
    EXPECT_EQ(anchor->kickedNext, nullptr);
    EXPECT_EQ(bomb->kickedPrev, nullptr);
    Step(20);
    EXPECT_EQ(bomb->left, 3 * 32);  // stopped from outside its step: stays at 64, at rest
}

TEST_F(BombRulesTest, ABombLaidBesideMoversTurnsEnemiesBackAndPutsOutShots)
{
    GameObjectRecord *walker = PutEnemy(6, 5, 13);
    walker->dx = -1;
    walker->framesPerCell = 32;
    walker->stepFrames = 10;
    GameObjectRecord *eater = PutEnemy(5, 6, 4);
    eater->dy = -1;
    GameObjectRecord *fireShot = SpawnShot(0, 2, 4, 5, 8, 0, 1, 0, 0, 3, 1, 2);
    GameObjectRecord *plainShot = SpawnShot(0, 1, 5, 4, 8, 0, 1, 0, 0, 0, 0, 1);
    GameObjectRecord *far = PutEnemy(7, 5, 13);
    far->dx = -1;
    LayBomb(1, 5, 5);
    EXPECT_EQ(walker->dx, 1);
    EXPECT_EQ(walker->stepFrames, 22);
    EXPECT_EQ(eater->dy, -1);
    EXPECT_STREQ(fireShot->kindName, "Fire");
    EXPECT_EQ(fireShot->timer, 32);
    EXPECT_EQ(plainShot->active, 0);
    EXPECT_EQ(far->dx, -1);  // 64 pixels away: not touching
}

}  // namespace
