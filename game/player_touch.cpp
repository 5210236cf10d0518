// What a player touches after the walk: the goal, items, and what costs a life; the score.
#include "game/player_touch.h"

#include "game/assets.h"
#include "game/enemy_kinds.h"
#include "game/object_states.h"
#include "game/objects.h"
#include "game/player_life.h"
#include "game/records.h"
#include "game/settings_file.h"
#include "game/stage_hooks.h"

enum : int { EFFECT_POWER = 3, EFFECT_TRAP = 5, EFFECT_POWER_DOWN = 6, EFFECT_EXTRA_CREDIT = 12 };
enum : int { VOICE_EXTRA_CREDIT = 4 };

#define MAX_CAPACITY 8
#define MAX_FIRE_RANGE 8
#define MAX_SPEED 5

// ---- score ---------------------------------------------------------------------------------------
static const int kScoreThresholds[SCORE_THRESHOLD_COUNT] = {5000,   10000,  20000,  30000,
                                                            50000, 100000, 200000, 300000};
#define BLOCK_LEVEL_THRESHOLD 100000         // from here on a threshold also raises the block level

int GrantExtraCredit(void)
{
    PlayEffectIfEnabled(EFFECT_EXTRA_CREDIT);
    PlayVoiceIfEnabled(VOICE_EXTRA_CREDIT);
    gGame->credits++;
    return 0;
}

void AddPlayerScore(int number, int points)
{
    PlayerRecord *player = GetPlayer(number);
    if (!player) return;
    // 64-bit sum: a score near the top of int must not wrap past a threshold.
    long long before = player->score;
    long long after = before + points;
    for (int threshold : kScoreThresholds) {
        if (before < threshold && threshold <= after) {
            if (threshold >= BLOCK_LEVEL_THRESHOLD) gGame->blockContentLevel = 1;
            GrantExtraCredit();
        }
    }
    player->score = after > INT32_MAX ? INT32_MAX : (int32_t)after;
}

// ---- items ---------------------------------------------------------------------------------------
// Voice of each item kind; -1 none.
static const int kItemVoices[ITEM_KIND_COUNT] = {0, 0, 0, 0, 1, 2,  3,  -1, 5,  6,  7, 8,
                                                 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};

int GetItemVoice(int kind)
{
    if (kind < 0 || kind >= ITEM_KIND_COUNT) return -1;
    return kItemVoices[kind];
}

// Raises *value by one below cap. The down items below lower it by one above 1; 1 when lowered.
static void RaiseUpTo(int32_t *value, int cap)
{
    if (*value < cap) (*value)++;
}
static int LowerToOne(int32_t *value)
{
    if (*value <= 1) return 0;
    (*value)--;
    return 1;
}

// The trap: four enemies on the item's cell; only the ones that appeared count.
static void SpringTrap(int x, int y)
{
    PlayEffectIfEnabled(EFFECT_TRAP);
    ReleaseFourEnemies(x, y);
}

// The item's effect on the player; the closing effect it calls for.
static int ApplyItemEffect(PlayerRecord *p, int kind, int x, int y)
{
    switch (kind) {
    case 0: AddPlayerScore(p->number, 100); break;
    case 1: AddPlayerScore(p->number, 1000); break;
    case 2: AddPlayerScore(p->number, 100000); break;
    case 3: AddPlayerScore(p->number, 10000); break;
    case 4:
        if (p->capacity < MAX_CAPACITY) {
            p->capacity++;
            p->bombsAvailable++;
        }
        break;
    case 5: RaiseUpTo(&p->fireRange, MAX_FIRE_RANGE); break;
    case 6: RaiseUpTo(&p->speed, MAX_SPEED); break;
    case 7: GrantExtraCredit(); break;
    case 8:
        // Bomb pass and kick exclude each other.
        if (p->passFlags != 2 && p->passFlags != 3) {
            p->passFlags += 2;
            p->kick = 0;
        }
        break;
    case 9:
        if (p->passFlags != 1 && p->passFlags != 3) p->passFlags += 1;
        break;
    case 10: p->respawnCounter = RESPAWN_START_FRAMES; break;
    case 11: p->bombType = 1; break;
    case 12: p->lives++; break;
    case 13: p->bombType = 2; break;
    case 14:
        if (p->capacity > 1) {
            p->capacity--;
            p->bombsAvailable--;
            return EFFECT_POWER_DOWN;
        }
        break;
    case 15: return LowerToOne(&p->fireRange) ? EFFECT_POWER_DOWN : EFFECT_POWER;
    case 16: return LowerToOne(&p->speed) ? EFFECT_POWER_DOWN : EFFECT_POWER;
    case 17: p->bombType = 3; break;
    case 18: p->fullFire = 1; break;
    case 19: p->lineBomb = 1; break;
    case 20: p->bombType = 4; break;
    case ITEM_TRAP: SpringTrap(x, y); return EFFECT_POWER_DOWN;
    case 22:
        p->kick = 1;
        p->passFlags %= 2;
        break;
    default: break;
    }
    return EFFECT_POWER;
}

int ApplyItemToPlayer(PlayerRecord *player, int kind, int x, int y)
{
    if (!player) return -1;
    int voice = GetItemVoice(kind);
    if (voice >= 0) PlayVoiceIfEnabled(voice);
    PlayEffectIfEnabled(ApplyItemEffect(player, kind, x, y));
    return 0;
}

// ---- touches -------------------------------------------------------------------------------------
struct TouchContext {
    PlayerRecord *player;
};

// The open goal ends the stage; only the first touch of a frame counts (in stage still 1).
static void ReachGoal(PlayerRecord *player)
{
    if (gGame->inStage != 1) return;
    player->moving = 0;
    gGame->stage++;
    gGame->inStage = 0;
    if (gGame->progress <= gGame->stage) gGame->progress = gGame->stage;
    SaveHiScoreFile();
}

// 1 when the object hurts a player that is not protected.
static int IsHarmful(const GameObjectRecord *object)
{
    if (IsObjectKind(object, KIND_ENEMY)) return object->hitPoints > 0 && object->behaviour != EnemyWarpState;
    return IsObjectKind(object, KIND_FIRE) || IsObjectKind(object, KIND_SHOT);
}

// One object of the neighbourhood: every test runs in turn.
static void TouchObject(GameObjectRecord *object, void *context)
{
    PlayerRecord *player = ((TouchContext *)context)->player;
    if (!ObjectBoxHolds(object, player->centreX, player->centreY)) return;
    if (IsObjectKind(object, KIND_GOAL) && object->variant == 1) ReachGoal(player);
    if (IsObjectKind(object, KIND_ITEM)) {
        ApplyItemToPlayer(player, object->variant, object->cellX, object->cellY);
        object->active = 0;
    }
    // The first loss sets the respawn counter, so later objects of the frame cost nothing.
    if (player->respawnCounter == 0 && IsHarmful(object)) LosePlayerLife(player);
}

int HandlePlayerTouches(int number, int x, int y)
{
    PlayerRecord *player = GetPlayer(number);
    if (!player) return -1;
    TouchContext context = {player};
    VisitNeighbourObjects(x, y, TouchObject, &context);
    return 0;
}
