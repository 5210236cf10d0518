// Field objects: the pool, the active list, the cell hash, the bomb chains and the spawners.
#include "game/objects.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "game/bombs.h"
#include "game/object_states.h"
#include "game/stage_hooks.h"

// One block of records for the whole run: nothing is allocated after start-up.
static GameObjectRecord g_poolStorage[OBJECT_POOL_RECORDS];
static int g_liveObjects;                    // records handed out and not yet freed

GameObjectRecord *gObjectPool = nullptr;
CellHashTable gCellHash = {{}, CELL_HASH_BUCKETS};

#define ACTIVE_SENTINEL (&g_poolStorage[0])
#define FREE_SENTINEL (&g_poolStorage[1])

// ---- pool ----------------------------------------------------------------------------------------
int ClearCellHashTable(void)
{
    for (GameObjectRecord *&head : gCellHash.heads) head = nullptr;
    gCellHash.count = CELL_HASH_BUCKETS;
    return 0;
}

int CreateObjectPool(void)
{
    std::memset(g_poolStorage, 0, sizeof(g_poolStorage));
    ACTIVE_SENTINEL->prev = ACTIVE_SENTINEL->next = ACTIVE_SENTINEL;
    // Free list 1 -> 2 -> ... -> 1001 -> 1.
    for (int i = 1; i < OBJECT_POOL_RECORDS; i++)
        g_poolStorage[i].next = &g_poolStorage[i + 1 < OBJECT_POOL_RECORDS ? i + 1 : 1];
    g_liveObjects = 0;
    gObjectPool = g_poolStorage;
    ClearCellHashTable();
    return 0;
}

int FreeObjectPool(void)
{
    gObjectPool = nullptr;
    g_liveObjects = 0;
    return 0;
}

// Takes the record after the free sentinel, zero-filled; null when the pool is empty.
static GameObjectRecord *TakeRecord(void)
{
    if (!gObjectPool) return nullptr;
    GameObjectRecord *record = FREE_SENTINEL->next;
    if (record == FREE_SENTINEL) return nullptr;
    FREE_SENTINEL->next = record->next;
    // Zero-filled, so no rule can read what the record's last owner left in it.
    std::memset(record, 0, sizeof(*record));
    g_liveObjects++;
    return record;
}

// Pushes a record right after the free sentinel: the next spawn reuses it.
static void PushFreeRecord(GameObjectRecord *record)
{
    record->prev = nullptr;
    record->behaviour = nullptr;
    record->next = FREE_SENTINEL->next;
    FREE_SENTINEL->next = record;
    g_liveObjects--;
}

// Appends a record at the tail of the active list, just before the sentinel.
static void AppendActive(GameObjectRecord *record)
{
    GameObjectRecord *tail = ACTIVE_SENTINEL->prev;
    record->prev = tail;
    record->next = ACTIVE_SENTINEL;
    tail->next = record;
    ACTIVE_SENTINEL->prev = record;
}

static void UnlinkActive(GameObjectRecord *record)
{
    record->prev->next = record->next;
    record->next->prev = record->prev;
}

// ---- cell hash -----------------------------------------------------------------------------------
int IsFieldCell(int x, int y)
{
    return x >= 0 && x < FIELD_WIDTH && y >= 0 && y < FIELD_HEIGHT;
}

int CellBucket(int x, int y)
{
    return IsFieldCell(x, y) ? (y * FIELD_WIDTH + x) % CELL_HASH_BUCKETS : -1;
}

GameObjectRecord *GetCellObjects(int x, int y)
{
    int bucket = CellBucket(x, y);
    return bucket < 0 ? nullptr : gCellHash.heads[bucket];
}

static void PushBucket(GameObjectRecord *record, int bucket)
{
    record->bucket = bucket;
    record->cellPrev = nullptr;
    record->cellNext = gCellHash.heads[bucket];
    if (record->cellNext) record->cellNext->cellPrev = record;
    gCellHash.heads[bucket] = record;
}

static void UnlinkBucket(GameObjectRecord *record)
{
    if (record->cellPrev)
        record->cellPrev->cellNext = record->cellNext;
    else if (record->bucket >= 0 && record->bucket < CELL_HASH_BUCKETS)
        gCellHash.heads[record->bucket] = record->cellNext;
    if (record->cellNext) record->cellNext->cellPrev = record->cellPrev;
    record->cellPrev = record->cellNext = nullptr;
}

int RehashObjectCell(GameObjectRecord *object)
{
    int bucket = CellBucket(object->cellX, object->cellY);
    if (bucket < 0) return 0;  // never indexes outside the table; the object stays where it is linked
    UnlinkBucket(object);
    PushBucket(object, bucket);
    return 0;
}

int IsPlayerOwner(int owner)
{
    return owner != OWNER_ENEMY && owner != OWNER_ENEMY_KICKABLE;
}

int IsObjectKind(const GameObjectRecord *object, const char *kind)
{
    return std::strcmp(object->kindName, kind) == 0;
}

int ObjectBoxHolds(const GameObjectRecord *object, int x, int y)
{
    return object->active == 1 && object->left <= x && x <= object->left + CELL_SIZE && object->top <= y &&
           y <= object->top + CELL_SIZE;
}

void VisitNeighbourObjects(int x, int y, void (*visit)(GameObjectRecord *member, void *context), void *context)
{
    for (int dy = -1; dy <= 1; dy++) {
        for (int dx = -1; dx <= 1; dx++) {
            GameObjectRecord *member = GetCellObjects(x + dx, y + dy);
            while (member) {
                GameObjectRecord *next = member->cellNext;
                visit(member, context);
                member = next;
            }
        }
    }
}

// ---- active list ---------------------------------------------------------------------------------
GameObjectRecord *GetFirstActiveObject(void)
{
    if (!gObjectPool || ACTIVE_SENTINEL->next == ACTIVE_SENTINEL) return nullptr;
    return ACTIVE_SENTINEL->next;
}

int IsActiveListEnd(const GameObjectRecord *object)
{
    return object == nullptr || object == ACTIVE_SENTINEL;
}

int GetObjectIndex(const GameObjectRecord *object)
{
    if (object < g_poolStorage || object >= g_poolStorage + OBJECT_POOL_RECORDS) return -1;
    return (int)(object - g_poolStorage);
}

int CountLiveObjects(void)
{
    return g_liveObjects;
}

int CountFreeObjects(void)
{
    int count = 0;
    for (GameObjectRecord *r = FREE_SENTINEL->next; r != FREE_SENTINEL && count <= OBJECT_POOL_RECORDS; r = r->next)
        count++;
    return count;
}

int RunActiveObjectBehaviours(void)
{
    if (!gObjectPool) return 0;
    // The successor is read before each call, so a member may free its own record.
    GameObjectRecord *current = ACTIVE_SENTINEL->next;
    while (current != ACTIVE_SENTINEL) {
        GameObjectRecord *next = current->next;
        if (current->behaviour) current->behaviour(current);
        current = next;
    }
    return 0;
}

int FreeObjectRecord(GameObjectRecord *object)
{
    UnlinkBucket(object);
    UnlinkActive(object);
    PushFreeRecord(object);
    return 0;
}

int ClearAllObjects(void)
{
    if (!gObjectPool) return 0;
    GameObjectRecord *current = ACTIVE_SENTINEL->next;
    while (current != ACTIVE_SENTINEL) {
        GameObjectRecord *next = current->next;
        PushFreeRecord(current);
        current = next;
    }
    ACTIVE_SENTINEL->prev = ACTIVE_SENTINEL->next = ACTIVE_SENTINEL;
    ACTIVE_SENTINEL->bombNext = nullptr;
    ClearCellHashTable();
    // The anchors are gone until the next stage makes them again.
    for (PlayerRecord *player : gPlayers)
        if (player) player->ownObject = nullptr;
    return 0;
}

// ---- bomb chains ---------------------------------------------------------------------------------
GameObjectRecord *GetFirstBomb(void)
{
    return gObjectPool ? ACTIVE_SENTINEL->bombNext : nullptr;
}

int LinkBombChains(GameObjectRecord *bomb)
{
    GameObjectRecord *last = ACTIVE_SENTINEL;
    while (last->bombNext) last = last->bombNext;
    last->bombNext = bomb;
    bomb->bombPrev = last;
    bomb->bombNext = nullptr;
    PlayerRecord *player = GetPlayer(bomb->owner);  // null for enemy owners
    if (player && player->ownObject) {
        GameObjectRecord *tail = player->ownObject;
        while (tail->ownBombNext) tail = tail->ownBombNext;
        tail->ownBombNext = bomb;
        bomb->ownBombPrev = tail;
        bomb->ownBombNext = nullptr;
    }
    return 0;
}

// Takes a bomb out of its kicked chain and clears both links.
int UnlinkKickedChain(GameObjectRecord *bomb)
{
    if (bomb->kickedPrev) bomb->kickedPrev->kickedNext = bomb->kickedNext;
    if (bomb->kickedNext) bomb->kickedNext->kickedPrev = bomb->kickedPrev;
    bomb->kickedPrev = bomb->kickedNext = nullptr;
    return 0;
}

int UnlinkBombChains(GameObjectRecord *bomb)
{
    if (bomb->bombPrev) bomb->bombPrev->bombNext = bomb->bombNext;
    if (bomb->bombNext) bomb->bombNext->bombPrev = bomb->bombPrev;
    bomb->bombPrev = bomb->bombNext = nullptr;
    if (bomb->ownBombPrev) bomb->ownBombPrev->ownBombNext = bomb->ownBombNext;
    if (bomb->ownBombNext) bomb->ownBombNext->ownBombPrev = bomb->ownBombPrev;
    bomb->ownBombPrev = bomb->ownBombNext = nullptr;
    if (bomb->kickedPrev) UnlinkKickedChain(bomb);
    return 0;
}

// ---- spawners ------------------------------------------------------------------------------------
int SetObjectCell(GameObjectRecord *object, int x, int y)
{
    object->cellX = x;
    object->cellY = y;
    object->left = x * CELL_SIZE;
    object->top = y * CELL_SIZE;
    object->centreX = object->left + CELL_SIZE / 2;
    object->centreY = object->top + CELL_SIZE / 2;
    return 0;
}

// Takes a (zero-filled) record and does what every spawner does: state, list, kind name, cell, box
// and bucket. The spawners set only what differs from 0.
static GameObjectRecord *SpawnCommon(const char *kind, ObjectBehaviourFn behaviour, int x, int y)
{
    int bucket = CellBucket(x, y);
    if (bucket < 0) return nullptr;
    GameObjectRecord *object = TakeRecord();
    if (!object) return nullptr;
    object->behaviour = behaviour;
    AppendActive(object);
    std::snprintf(object->kindName, sizeof(object->kindName), "%s", kind);
    SetObjectCell(object, x, y);
    PushBucket(object, bucket);
    object->active = 1;
    return object;
}

GameObjectRecord *SpawnEnemyObject(int passKind, int kind, int x, int y, int framesPerCell, int hitPoints,
                                   int moveMode, int timer, int points, int turnChance, int specialKind,
                                   int warpCode, int dropCode, int coreFlag, uint8_t firstVoiceFlag,
                                   uint8_t thirdVoiceFlag, uint8_t secondVoiceFlag, int spriteFrame)
{
    GameObjectRecord *o = SpawnCommon(KIND_ENEMY, EnemyAppear, x, y);
    if (!o) return nullptr;
    o->passKind = passKind;
    o->variant = kind;
    o->framesPerCell = framesPerCell;
    o->hitPoints = hitPoints;
    o->moveMode = moveMode;
    o->timer = timer;
    o->points = points;
    o->turnChance = turnChance;
    o->specialKind = specialKind;
    o->warpCode = warpCode;
    o->dropCode = dropCode;
    o->coreFlag = coreFlag;
    o->firstVoiceFlag = firstVoiceFlag;
    o->thirdVoiceFlag = thirdVoiceFlag;
    o->secondVoiceFlag = secondVoiceFlag;
    o->spriteFrame = spriteFrame;
    o->facing = DIR_UP;
    o->sightingDirection = DIR_NONE;
    o->chosenDirection = DIR_NONE;
    return o;
}

GameObjectRecord *SpawnSoftBlock(int x, int y, int hitPoints, int content, int spriteFrame)
{
    GameObjectRecord *o = SpawnCommon(KIND_BLOCK, SoftBlockAppear, x, y);
    if (!o) return nullptr;
    o->variant = BLOCK_SOFT;
    o->hitPoints = hitPoints;
    o->moveMode = content;
    o->spriteFrame = spriteFrame;
    o->facing = DIR_UP;
    o->sightingDirection = DIR_NONE;
    return o;
}

GameObjectRecord *SpawnFire(int x, int y, int pierce, int direction, int range, int life, int owner, int danger)
{
    GameObjectRecord *o = SpawnCommon(KIND_FIRE, FireAppear, x, y);
    if (!o) return nullptr;
    o->passKind = pierce;
    o->variant = direction;
    o->hitPoints = range;
    o->timer = life;
    o->owner = owner;
    o->specialKind = danger;
    o->facing = DIR_UP;
    o->spriteFrame = 1;
    o->sightingDirection = DIR_NONE;
    return o;
}

GameObjectRecord *SpawnShot(int passKind, int variant, int x, int y, int framesPerCell, int hitPoints, int moveMode,
                            int timer, int points, int direction, int shotType, int spriteFrame)
{
    GameObjectRecord *o = SpawnCommon(KIND_SHOT, ShotAppear, x, y);
    if (!o) return nullptr;
    o->passKind = passKind;
    o->variant = variant;
    o->framesPerCell = framesPerCell;
    o->hitPoints = hitPoints;
    o->moveMode = moveMode;
    o->timer = timer;
    o->points = points;
    o->facing = direction;
    o->turnChance = direction;
    o->specialKind = shotType;
    o->spriteFrame = spriteFrame;
    o->sightingDirection = DIR_NONE;
    o->chosenDirection = DIR_NONE;
    return o;
}

// Goal, item and light switch start alike: one hit point, facing up, an 80-frame appear timer.
static GameObjectRecord *SpawnStillObject(const char *kind, ObjectBehaviourFn appear, int x, int y, int variant,
                                          int spriteFrame)
{
    GameObjectRecord *o = SpawnCommon(kind, appear, x, y);
    if (!o) return nullptr;
    o->variant = variant;
    o->hitPoints = 1;
    o->facing = DIR_UP;
    o->spriteFrame = spriteFrame;
    o->timer = 80;
    o->sightingDirection = DIR_NONE;
    return o;
}

GameObjectRecord *SpawnGoal(int x, int y)
{
    return SpawnStillObject(KIND_GOAL, GoalAppear, x, y, 0, 0);
}

GameObjectRecord *SpawnGoalAt(int x, int y)
{
    return SpawnGoal(x, y);
}

GameObjectRecord *SpawnItem(int x, int y, int itemKind)
{
    return SpawnStillObject(KIND_ITEM, ItemAppear, x, y, itemKind, 0);
}

GameObjectRecord *SpawnTYukaObject(int x, int y)
{
    return SpawnStillObject(KIND_SWITCH, TYukaAppear, x, y, 0, 8);
}

GameObjectRecord *SpawnScorePopup(int x, int y, int multiplier, int points)
{
    GameObjectRecord *o = SpawnCommon(KIND_SCORE, ScoreAppear, x, y);
    if (!o) return nullptr;
    o->hitPoints = multiplier;
    o->facing = points;
    o->moveMode = SCORE_POPUP_FRAMES;
    return o;
}

GameObjectRecord *SpawnFixedBlock(int x, int y, int spriteFrame)
{
    GameObjectRecord *o = SpawnCommon(KIND_BLOCK, FixedBlockAppear, x, y);
    if (!o) return nullptr;
    o->variant = BLOCK_FIXED;
    o->spriteFrame = spriteFrame;
    return o;
}

GameObjectRecord *SpawnFloorTile(int x, int y, int variant, int spriteFrame)
{
    GameObjectRecord *o = SpawnCommon(KIND_FLOOR, FloorAppear, x, y);
    if (!o) return nullptr;
    o->variant = variant;
    o->spriteFrame = spriteFrame;
    return o;
}

GameObjectRecord *SpawnBomb(int pierce, int x, int y, int range, int fuse, int owner, int danger, int spriteFrame)
{
    GameObjectRecord *o = SpawnCommon(KIND_BLOCK, BombAppear, x, y);
    if (!o) return nullptr;
    o->variant = BLOCK_BOMB;
    o->passKind = pierce;
    o->hitPoints = range;
    o->timer = fuse;
    o->owner = owner;
    o->specialKind = danger;
    o->spriteFrame = spriteFrame;
    o->facing = DIR_UP;
    o->sightingDirection = DIR_NONE;
    LinkBombChains(o);
    return o;
}

GameObjectRecord *SpawnPlayerObject(PlayerRecord *player)
{
    if (!player) return nullptr;
    GameObjectRecord *o = SpawnCommon(KIND_ANCHOR, IdleBehaviour, 0, 0);
    if (!o) return nullptr;
    o->ownerPlayer = player;
    player->ownObject = o;
    return o;
}

// ---- checks --------------------------------------------------------------------------------------
// Formats a failure into message; -1.
static int Fail(char *message, int size, const char *text, int index)
{
    if (message && size > 0) std::snprintf(message, (size_t)size, "%s (record %d)", text, index);
    return -1;
}

// Walks one bomb chain from head by the given links: acyclic, consistent both ways, live bombs only.
static int CheckChain(GameObjectRecord *head, GameObjectRecord *GameObjectRecord::*nextLink,
                      GameObjectRecord *GameObjectRecord::*prevLink, const std::vector<char> &live, char *message,
                      int size, const char *name)
{
    GameObjectRecord *previous = head;
    int steps = 0;
    char text[96];
    for (GameObjectRecord *b = head->*nextLink; b; b = b->*nextLink) {
        int index = GetObjectIndex(b);
        std::snprintf(text, sizeof(text), "%s chain: ", name);
        if (++steps > OBJECT_POOL_LIVE_MAX) return Fail(message, size, std::strcat(text, "cycle"), index);
        if (index < 2 || !live[index]) return Fail(message, size, std::strcat(text, "member not live"), index);
        if (!IsObjectKind(b, KIND_BLOCK) || b->variant != BLOCK_BOMB)
            return Fail(message, size, std::strcat(text, "member not a bomb"), index);
        if (b->*prevLink != previous) return Fail(message, size, std::strcat(text, "back link wrong"), index);
        previous = b;
    }
    return 0;
}

int CheckObjectInvariants(char *message, int size)
{
    if (!gObjectPool) return Fail(message, size, "no pool", -1);
    std::vector<char> live(OBJECT_POOL_RECORDS, 0);
    int liveCount = 0;
    for (GameObjectRecord *r = ACTIVE_SENTINEL->next; r != ACTIVE_SENTINEL; r = r->next) {
        int index = GetObjectIndex(r);
        if (index < 2 || live[index] || ++liveCount > OBJECT_POOL_LIVE_MAX)
            return Fail(message, size, "active list broken", index);
        if (r->next->prev != r) return Fail(message, size, "active list back link wrong", index);
        live[index] = 1;
    }
    if (liveCount != g_liveObjects) return Fail(message, size, "live count differs from the list", liveCount);
    if (liveCount + CountFreeObjects() != OBJECT_POOL_LIVE_MAX)
        return Fail(message, size, "live + free is not 1000", liveCount);
    std::vector<int> seen(OBJECT_POOL_RECORDS, 0);
    for (int b = 0; b < CELL_HASH_BUCKETS; b++) {
        GameObjectRecord *previous = nullptr;
        int steps = 0;
        for (GameObjectRecord *m = gCellHash.heads[b]; m; m = m->cellNext) {
            int index = GetObjectIndex(m);
            if (index < 0 || ++steps > OBJECT_POOL_LIVE_MAX) return Fail(message, size, "bucket broken", b);
            if (!live[index]) return Fail(message, size, "bucket member not live", index);
            if (m->bucket != b) return Fail(message, size, "member in a bucket other than its own", index);
            if (m->cellPrev != previous) return Fail(message, size, "bucket back link wrong", index);
            if (++seen[index] > 1) return Fail(message, size, "member twice in buckets", index);
            previous = m;
        }
    }
    for (int i = 2; i < OBJECT_POOL_RECORDS; i++)
        if (live[i] && seen[i] != 1) return Fail(message, size, "live record in no bucket", i);
    if (CheckChain(ACTIVE_SENTINEL, &GameObjectRecord::bombNext, &GameObjectRecord::bombPrev, live, message, size,
                   "all-bombs") != 0)
        return -1;
    for (int i = 2; i < OBJECT_POOL_RECORDS; i++) {
        GameObjectRecord *r = &g_poolStorage[i];
        if (!live[i] || !IsObjectKind(r, KIND_ANCHOR)) continue;
        if (CheckChain(r, &GameObjectRecord::ownBombNext, &GameObjectRecord::ownBombPrev, live, message, size,
                       "own-bomb") != 0 ||
            CheckChain(r, &GameObjectRecord::kickedNext, &GameObjectRecord::kickedPrev, live, message, size,
                       "kicked") != 0)
            return -1;
    }
    return 0;
}
