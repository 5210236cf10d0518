// Field objects: the one record behind every object on the field, the pool of 1002 records that is
// linked once at start-up, the circular active list that the frame walks, the cell hash of 195 buckets,
// the three bomb chains and the spawners with every initial value.
//
// Ordering is behaviour here: spawns append to the active list, buckets list their newest member
// first, and the free list hands out the record freed last. Rules elsewhere (which object runs first,
// which answer a cell query gives) depend on exactly these orders.
#pragma once
#include <cstdint>

#include "game/records.h"

struct GameObjectRecord;
// An object's current state: called once per unpaused stage frame with the object.
typedef void (*ObjectBehaviourFn)(GameObjectRecord *object);

#define OBJECT_POOL_RECORDS 1002             // two sentinels and 1000 records to hand out
#define OBJECT_POOL_LIVE_MAX 1000
#define CELL_HASH_BUCKETS 195
#define OBJECT_KIND_NAME_SIZE 16

// Kind names, compared as strings.
#define KIND_BLOCK "Block"
#define KIND_FIRE "Fire"
#define KIND_ENEMY "Enemy"
#define KIND_SHOT "Tama"
#define KIND_ITEM "Item"
#define KIND_GOAL "Goal"
#define KIND_SWITCH "T_Yuka"
#define KIND_FLOOR "Yuka"
#define KIND_SCORE "Score"
#define KIND_ANCHOR "P"

// "Block" variants.
enum : int32_t { BLOCK_FIXED = 0, BLOCK_SOFT = 1, BLOCK_BOMB = 2 };
// Bomb owners that are no player.
#define OWNER_ENEMY 0
#define OWNER_ENEMY_KICKABLE 10
// 1 for an owner that is a player (neither enemy owner), 0 otherwise.
int IsPlayerOwner(int owner);
// Bomb frames per cell while resting / sliding / just stopped.
#define BOMB_AT_REST 0
#define BOMB_SLIDING 8
#define BOMB_JUST_STOPPED 64

struct GameObjectRecord {
    ObjectBehaviourFn behaviour;             // current state
    GameObjectRecord *prev, *next;           // active list; next is also the free-list link
    GameObjectRecord *cellPrev, *cellNext;   // links within the cell bucket
    GameObjectRecord *bombPrev, *bombNext;   // bombs: the all-bombs list
    PlayerRecord *ownerPlayer;               // "P" objects: the player it belongs to
    GameObjectRecord *ownBombNext, *ownBombPrev;  // bombs: owner's chain; "P": first bomb
    GameObjectRecord *kickedNext, *kickedPrev;    // bombs: kicker's sliding chain; "P": first
    char kindName[OBJECT_KIND_NAME_SIZE];    // KIND_*
    int32_t stateFrames;                     // frames in the current state (timed states count down)
    int32_t cellX, cellY;                    // current cell
    int32_t variant;                         // per kind: block variant, enemy kind, item kind ...
    int32_t bucket;                          // bucket the object is linked in
    int32_t left, top;                       // pixel box top-left on the field
    int32_t centreX, centreY;                // left + 16, top + 16
    int32_t active;                          // 1 while it takes part; 0 once destroyed
    int32_t spriteFrame;                     // frame in the kind's sheet
    int32_t animCounter;                     // enemies: 0..39
    int32_t facing;                          // movers: direction; "Score": points shown
    int32_t hitPoints;                       // hits still needed; bombs and fire: range; "Score": multiplier
    int32_t moveMode;                        // enemies: AI mode; soft blocks: content; "Score": frames to live
    int32_t timer;                           // protection / hit timer; bombs: fuse; fire: life
    int32_t points;                          // enemies: points of a kill
    int32_t owner;                           // bombs and fire: 1..4 player, 0 / 10 enemy; others: last hitter
    int32_t specialKind;                     // enemies: shot / bomb / block kind; "Tama": shot type; bombs, fire: danger
    int32_t turnChance;                      // enemies: percent; "Tama": initial direction
    int32_t sightingDirection;               // enemies: where a player was last seen, 4 none
    int32_t passKind;                        // enemies: 1 soft blocks, 2 bomb eater; bombs, fire: pierce
    int32_t dx, dy;                          // movers: step direction
    int32_t moving;                          // movers: 1 while stepping
    int32_t stepFrames;                      // movers: frames into the step
    int32_t chosenDirection;                 // enemies and shots: the AI's answer, 4 none
    int32_t framesPerCell;                   // movers: frames per step; bombs: 0 / 8 / 64
    int32_t dropCode;                        // enemies: drop + 1; fire: probe dx
    int32_t coreFlag;                        // enemies: 1 core mech; fire: probe dy
    int32_t warpCode;                        // enemies: 0 never, >0 warps, >100 drops too
    uint8_t lostSightFlag;                   // enemies: the next sighting plays the spotting voice
    uint8_t firstVoiceFlag;                  // spotting voice 23
    uint8_t secondVoiceFlag;                 // spotting voice 30
    uint8_t thirdVoiceFlag;                  // warp voice 24 (else 31)
};

struct CellHashTable {
    GameObjectRecord *heads[CELL_HASH_BUCKETS];  // newest member first
    int32_t count;                           // CELL_HASH_BUCKETS
};

// ---- globals -------------------------------------------------------------------------------------
extern GameObjectRecord *gObjectPool;        // null before CreateObjectPool; [0] active sentinel, [1] free
extern CellHashTable gCellHash;

// ---- pool ----------------------------------------------------------------------------------------
// CreateObjectPool / FreeObjectPool / ClearCellHashTable are declared in game/stage_hooks.h.

// Frees every live record, empties every bucket and the all-bombs list, and forgets the players' own
// objects (the next stage makes them again). Outside the walk only. 0.
int ClearAllObjects(void);
// Number of records handed out and not yet freed.
int CountLiveObjects(void);
// Number of records on the free list (walked).
int CountFreeObjects(void);
// The first member of the active list, or null when it is empty; walk by next until the sentinel
// (IsActiveListEnd).
GameObjectRecord *GetFirstActiveObject(void);
int IsActiveListEnd(const GameObjectRecord *object);
// Pool index of a record (0..1001), -1 for a pointer outside the pool.
int GetObjectIndex(const GameObjectRecord *object);

// ---- cells ---------------------------------------------------------------------------------------
// The bucket of a field cell, -1 outside 0..14 x 0..12.
int CellBucket(int x, int y);
// 1 for a cell of the field.
int IsFieldCell(int x, int y);
// First member of the cell's bucket, null for an empty bucket or a cell outside the field.
GameObjectRecord *GetCellObjects(int x, int y);
// Moves the object to the head of the bucket of its current cell (also when the cell is the same).
// A cell outside the field leaves it where it is. 0.
int RehashObjectCell(GameObjectRecord *object);
// Puts the object on cell (x, y): cell, box (cell x 32) and centre; the bucket is the caller's. 0.
int SetObjectCell(GameObjectRecord *object, int x, int y);
// 1 when the object's kind name equals kind.
int IsObjectKind(const GameObjectRecord *object, const char *kind);
// 1 for an active object whose box holds the point (bounds included).
int ObjectBoxHolds(const GameObjectRecord *object, int x, int y);
// Calls visit for every member of the 3 x 3 cells round (x, y) in the rules' order (up-left, up,
// up-right, left, centre, right, down-left, down, down-right), each bucket newest first; the next
// member is read before visit runs. Cells outside the field are skipped.
void VisitNeighbourObjects(int x, int y, void (*visit)(GameObjectRecord *member, void *context), void *context);

// ---- bomb chains ---------------------------------------------------------------------------------
// Appends the bomb to the all-bombs list and, for owners 1..4 with an own object, to the owner's chain.
int LinkBombChains(GameObjectRecord *bomb);
// Takes the bomb out of the all-bombs list, its own chain and (when linked) the kicked chain. 0.
int UnlinkBombChains(GameObjectRecord *bomb);
// The first bomb of the all-bombs list, or null.
GameObjectRecord *GetFirstBomb(void);

// ---- spawners: each returns the new record, or null when the pool is full or the cell lies outside
// the field (then nothing changes) ------------------------------------------------------------------
GameObjectRecord *SpawnEnemyObject(int passKind, int kind, int x, int y, int framesPerCell, int hitPoints,
                                   int moveMode, int timer, int points, int turnChance, int specialKind,
                                   int warpCode, int dropCode, int coreFlag, uint8_t firstVoiceFlag,
                                   uint8_t thirdVoiceFlag, uint8_t secondVoiceFlag, int spriteFrame);
GameObjectRecord *SpawnSoftBlock(int x, int y, int hitPoints, int content, int spriteFrame);
GameObjectRecord *SpawnFire(int x, int y, int pierce, int direction, int range, int life, int owner, int danger);
GameObjectRecord *SpawnShot(int passKind, int variant, int x, int y, int framesPerCell, int hitPoints, int moveMode,
                            int timer, int points, int direction, int shotType, int spriteFrame);
GameObjectRecord *SpawnGoal(int x, int y);
GameObjectRecord *SpawnGoalAt(int x, int y);
GameObjectRecord *SpawnItem(int x, int y, int itemKind);
GameObjectRecord *SpawnTYukaObject(int x, int y);
GameObjectRecord *SpawnScorePopup(int x, int y, int multiplier, int points);
GameObjectRecord *SpawnFixedBlock(int x, int y, int spriteFrame);
GameObjectRecord *SpawnFloorTile(int x, int y, int variant, int spriteFrame);
// Also links the bomb chains.
GameObjectRecord *SpawnBomb(int pierce, int x, int y, int range, int fuse, int owner, int danger, int spriteFrame);
// The player's anchor object at cell (0, 0); sets the player's own object. Null for a null player.
GameObjectRecord *SpawnPlayerObject(PlayerRecord *player);

// Unlinks the object from its bucket and the active list and pushes it on the free list (the removal
// states call this for their own record only). 0.
int FreeObjectRecord(GameObjectRecord *object);

// ---- checks --------------------------------------------------------------------------------------
// Checks the pool: live + free = 1000, every live record in the bucket of its stored index exactly
// once, no bucket member that is not live, the bomb chains acyclic, consistent both ways and made of
// live bombs. 0, or -1 with a description in message (size bytes) when one fails.
int CheckObjectInvariants(char *message, int size);
