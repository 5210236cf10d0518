// The 32 enemy kinds as one parameter table, the enemies' shots by shot kind, random enemies from the
// goal and from soft blocks, and the drops: the surprises of soft blocks 600..603 and what a dying or
// warping enemy leaves behind.
//
// Every spawn may find the pool full: then nothing is made and nothing is counted (enemies left, core
// mechs).
#pragma once
#include <cstdint>

struct GameObjectRecord;

#define ENEMY_KIND_COUNT 32
#define ENEMY_SPRITES_PER_KIND 20
#define ENEMY_SPAWN_PROTECTION 128           // protection of enemies released during play
#define ENEMY_CORE_MECH_KIND 21              // the boss of the last stage
#define ENEMY_REDRAW_LIMIT 4096              // draws before a rejecting redraw gives up

// One kind's parameters, in the order the enemy spawner takes them.
struct EnemyKindRecord {
    int32_t points;                          // paid times the kill multiplier
    int32_t hitPoints;                       // fire hits needed
    int32_t moveMode;                        // 0 chaser, 1 line of sight, 2 bomb watcher, 3 wanderer, 4 bomb-shy
    int32_t framesPerCell;                   // 32, 16 or 8
    int32_t turnChance;                      // percent, at crossings
    int32_t specialKind;                     // 1..5 shot kinds; 10..13, 15, 22, 23 bombs and blocks
    int32_t passKind;                        // 1 through soft blocks, 2 bomb eater
    int32_t warpCode;                        // 0 never, 1 warps, 102 / 103 warps and drops
    int32_t dropCode;                        // 0 nothing, else ReleaseEnemyDrop code + 1
    uint8_t firstVoiceFlag;                  // spotting voice 23
    uint8_t secondVoiceFlag;                 // spotting voice 30; exactly the bomb-shy kinds
    uint8_t thirdVoiceFlag;                  // warp voice 24 (else 31)
};

// The row of a kind 0..31, null for another kind.
const EnemyKindRecord *GetEnemyKind(int kind);

// Spawns an enemy of the kind on cell (x, y) with the given protection timer (128 in play, 0 at the
// stage build). A core mech (kind 21) raises core mechs left by one. The enemy, or null for a full
// pool, a cell outside the field or a kind outside 0..31 (nothing counted). Enemies left is the
// caller's.
GameObjectRecord *SpawnEnemyOfKind(int x, int y, int kind, int protection);
// Fires the enemy's shot (by its special kind 1..5) from cell (x, y). The shot, or null for another
// special kind or a full pool.
GameObjectRecord *SpawnEnemyShot(GameObjectRecord *enemy, int x, int y);
// Releases random enemies at the object's cell: mode 0 one from the goal (kinds remapped by the stage
// band), mode 1 one from a soft block (never kinds 0, 13, 16, 21), mode 2 four of kind 3. Enemies
// left counts each one made. A null object: nothing.
void SpawnRandomEnemy(int mode, GameObjectRecord *object);
// Releases four enemies of kind 3 on cell (x, y) (a drop block, SpawnRandomEnemy mode 2, the trap):
// enemies left, when below 0, starts again from 0 and counts each one made.
void ReleaseFourEnemies(int x, int y);
// Releases a destroyed soft block's surprise (mode = content - 600): 0..2 an item, 3 four enemies of
// kind 3. A null block: nothing.
void ReleaseBlockDrop(int mode, GameObjectRecord *block);
// Leaves the enemy's drop (code 0..5): an item, a soft block of content 500 or 700 on the first free
// cell of own, below, above, right, left, or two kind-8 enemies on its own cell. A core-mech block
// that finds no cell counts the core mech down at once, so the stage can still be won. A null enemy:
// nothing.
void ReleaseEnemyDrop(int code, GameObjectRecord *enemy);
// A core mech is gone: core mechs left goes down by one, with the sound of the last one or of one
// more left.
void CountCoreMechDown(void);
