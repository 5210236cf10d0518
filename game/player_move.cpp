// A player's step: collision with blocks, corner slides, bomb contact and kicks.
#include "game/player_move.h"

#include "game/assets.h"
#include "game/bombs.h"
#include "game/cells.h"
#include "game/objects.h"
#include "game/records.h"

enum : int { EFFECT_KICK = 15 };

// The player's box after the step: left, top, right, bottom.
struct StepBox {
    int left, top, right, bottom;
};

static StepBox GetNextBox(const PlayerRecord *p)
{
    StepBox box;
    box.left = p->centreX + p->dx * p->speed - CELL_SIZE / 2;
    box.top = p->centreY + p->dy * p->speed - CELL_SIZE / 2;
    box.right = box.left + CELL_SIZE;
    box.bottom = box.top + CELL_SIZE;
    return box;
}

// The near edge lies in [start, start + 32) or the far edge in (start, start + 32].
static int SpansOverlap(int nearEdge, int farEdge, int start)
{
    return (nearEdge >= start && nearEdge < start + CELL_SIZE) || (farEdge > start && farEdge <= start + CELL_SIZE);
}

static int BoxOverlaps(const StepBox &box, const GameObjectRecord *object)
{
    return SpansOverlap(box.left, box.right, object->left) && SpansOverlap(box.top, box.bottom, object->top);
}

// 1 when the player may enter the cell; a cell outside the field counts as a fixed block.
static int IsOpenFor(PlayerRecord *p, int x, int y)
{
    return IsFieldCell(x, y) && IsCellPassableFor(p, x, y) == 0;
}

// ---- blocks --------------------------------------------------------------------------------------
struct CollisionContext {
    PlayerRecord *player;
    StepBox next;
};

// A solid block for this player: fixed always, soft without block pass; bombs are CheckBombContact's.
static int IsSolidFor(const PlayerRecord *p, const GameObjectRecord *block)
{
    if (block->variant == BLOCK_FIXED) return 1;
    if (block->variant == BLOCK_SOFT) return p->passFlags != 1 && p->passFlags != 3;
    return 0;
}

// Moves the centre c by up to speed pixels in direction (-1 or +1), stopping on the line of the block's
// neighbour on that side (b - 32 or b + 32, b the block's centre).
static int SlideToward(int c, int b, int direction, int speed)
{
    for (int i = 0; i < speed; i++) {
        if (direction < 0 && c > b - CELL_SIZE) c--;
        if (direction > 0 && c < b + CELL_SIZE) c++;
    }
    return c;
}

// Moving vertically into the block: slide left or right round its corner.
static void SlideAcrossBlock(PlayerRecord *p, const GameObjectRecord *block)
{
    // Only pixel x is written: a second block of the same step starts again from the unslid centre;
    // the centre follows the pixels once the step is checked.
    int c = p->centreX;
    int bx = block->centreX;
    if (c + CORNER_SLIDE_MARGIN < bx && IsOpenFor(p, block->cellX - 1, block->cellY)) {
        c = SlideToward(c, bx, -1, p->speed);
        p->pixelX = c - CELL_SIZE / 2;
    }
    if (c - CORNER_SLIDE_MARGIN > bx && IsOpenFor(p, block->cellX + 1, block->cellY)) {
        c = SlideToward(c, bx, 1, p->speed);
        p->pixelX = c - CELL_SIZE / 2;
    }
}

// Moving horizontally into the block: slide up or down round its corner.
static void SlideAlongBlock(PlayerRecord *p, const GameObjectRecord *block)
{
    int c = p->centreY;
    int by = block->centreY;
    if (c + CORNER_SLIDE_MARGIN < by && IsOpenFor(p, block->cellX, block->cellY - 1)) {
        c = SlideToward(c, by, -1, p->speed);
        p->pixelY = c - CELL_SIZE / 2;
    } else if (c - CORNER_SLIDE_MARGIN > by && IsOpenFor(p, block->cellX, block->cellY + 1)) {
        c = SlideToward(c, by, 1, p->speed);
        p->pixelY = c - CELL_SIZE / 2;
    }
}

// Rests the player flush against a block on one axis: just past it when the near edge of the next box
// lies in [start, start + 32), just before it when the far edge lies in (start, start + 32].
static void RestAgainst(int32_t *pixel, int32_t *centre, int nearEdge, int farEdge, int start)
{
    if (nearEdge >= start && nearEdge < start + CELL_SIZE) *pixel = start + CELL_SIZE;
    else if (farEdge > start && farEdge <= start + CELL_SIZE) *pixel = start - CELL_SIZE;
    else return;
    *centre = *pixel + CELL_SIZE / 2;
}

// One solid block in the way: rest flush against it, then slide round its corner.
static void StopAtBlock(PlayerRecord *p, const StepBox &next, const GameObjectRecord *block)
{
    if (p->dy != 0) RestAgainst(&p->pixelY, &p->centreY, next.top, next.bottom, block->top);
    if (p->dx != 0) RestAgainst(&p->pixelX, &p->centreX, next.left, next.right, block->left);
    if (p->dy != 0) SlideAcrossBlock(p, block);
    else if (p->dx != 0) SlideAlongBlock(p, block);
    p->moving = 0;
}

static void CollideWithObject(GameObjectRecord *object, void *context)
{
    CollisionContext *c = (CollisionContext *)context;
    if (!object->active || !IsObjectKind(object, KIND_BLOCK) || !IsSolidFor(c->player, object)) return;
    if (BoxOverlaps(c->next, object)) StopAtBlock(c->player, c->next, object);
}

int MovePlayerWithCollision(PlayerRecord *player)
{
    if (!player) return -1;
    CollisionContext context = {player, GetNextBox(player)};
    VisitNeighbourObjects(player->cellX, player->cellY, CollideWithObject, &context);
    return 0;
}

// ---- bombs ---------------------------------------------------------------------------------------
// 1 when the value lies in [start, start + 32].
static int InCellSpan(int value, int start)
{
    return value >= start && value <= start + CELL_SIZE;
}

// The player's inner box (centre +- 10) touches the bomb: it still stands on a bomb it has just laid.
static int InnerBoxTouches(const PlayerRecord *p, const GameObjectRecord *bomb)
{
    int horizontal = InCellSpan(p->centreX - PLAYER_INNER_HALF, bomb->left) ||
                     InCellSpan(p->centreX + PLAYER_INNER_HALF, bomb->left);
    int vertical = InCellSpan(p->centreY - PLAYER_INNER_HALF, bomb->top) ||
                   InCellSpan(p->centreY + PLAYER_INNER_HALF, bomb->top);
    return horizontal && vertical;
}

// 1 when the bomb stands in the player's way.
static int BombBlocksStep(const PlayerRecord *p, const StepBox &next, const GameObjectRecord *bomb)
{
    if (!bomb->active || p->passFlags == 2 || p->passFlags == 3) return 0;
    if (bomb->cellX != p->cellX + p->dx || bomb->cellY != p->cellY + p->dy) return 0;
    if (InnerBoxTouches(p, bomb)) return 0;
    if (bomb->owner == OWNER_ENEMY) return 0;  // enemies' plain bombs never block players
    return BoxOverlaps(next, bomb);
}

// Stops the player with its pixel on one axis at `pixel` and kicks the bomb toward `direction`.
static void SnapAndKick(PlayerRecord *p, int32_t *pixel, int32_t *centre, int at, GameObjectRecord *bomb, int direction)
{
    p->moving = 0;
    *pixel = at;
    *centre = at + CELL_SIZE / 2;
    KickBomb(p, bomb, direction);
}

// With the kick: snap flush against the bomb on the walking side and kick it that way.
static void KickFromSide(PlayerRecord *p, GameObjectRecord *bomb)
{
    int left = bomb->left, top = bomb->top;
    if (p->pixelX < left + CELL_SIZE && p->dx == -1)
        SnapAndKick(p, &p->pixelX, &p->centreX, left + CELL_SIZE, bomb, DIR_LEFT);
    else if (p->pixelX > left - CELL_SIZE && p->dx == 1)
        SnapAndKick(p, &p->pixelX, &p->centreX, left - CELL_SIZE, bomb, DIR_RIGHT);
    else if (p->pixelY < top + CELL_SIZE && p->dy == -1)
        SnapAndKick(p, &p->pixelY, &p->centreY, top + CELL_SIZE, bomb, DIR_UP);
    else if (p->pixelY > top - CELL_SIZE && p->dy == 1)
        SnapAndKick(p, &p->pixelY, &p->centreY, top - CELL_SIZE, bomb, DIR_DOWN);
}

int CheckBombContact(PlayerRecord *player)
{
    if (!player) return -1;
    StepBox next = GetNextBox(player);
    // The list holds at most every live record; the bound only guards against a broken chain.
    int guard = OBJECT_POOL_LIVE_MAX;
    for (GameObjectRecord *bomb = GetFirstBomb(); bomb && guard-- > 0; bomb = bomb->bombNext) {
        if (!BombBlocksStep(player, next, bomb)) continue;
        if (player->kick && bomb->moving == 0) KickFromSide(player, bomb);
        else player->moving = 0;
    }
    return 0;
}

int KickBomb(PlayerRecord *player, GameObjectRecord *bomb, int direction)
{
    if (!player || !bomb) return -1;
    PlayEffectIfEnabled(EFFECT_KICK);
    bomb->facing = direction;
    bomb->framesPerCell = KICKED_BOMB_FRAMES_PER_CELL;
    if (bomb->owner <= 0 || !player->ownObject) return 0;
    // A bomb kicked again (by anyone, also before its first slide step) leaves its chain first.
    if (bomb->kickedPrev) UnlinkKickedChain(bomb);
    GameObjectRecord *last = player->ownObject;
    int guard = OBJECT_POOL_LIVE_MAX;
    while (last->kickedNext && guard-- > 0) last = last->kickedNext;
    last->kickedNext = bomb;
    bomb->kickedPrev = last;
    bomb->kickedNext = nullptr;
    return 0;
}

int IsBombKickedBy(const PlayerRecord *player, const GameObjectRecord *bomb)
{
    if (!player || !player->ownObject) return 0;
    int guard = OBJECT_POOL_LIVE_MAX;
    for (const GameObjectRecord *b = player->ownObject->kickedNext; b && guard-- > 0; b = b->kickedNext) {
        if (b == bomb) return 1;
    }
    return 0;
}

// 1 when one corner of the player's next box lies in the bomb's box (bounds included).
static int NextBoxTouchesBomb(const PlayerRecord *p, const GameObjectRecord *bomb)
{
    int x = p->pixelX + p->dx * p->speed;
    int y = p->pixelY + p->dy * p->speed;
    int inX = InCellSpan(x, bomb->left) || InCellSpan(x + CELL_SIZE, bomb->left);
    int inY = InCellSpan(y, bomb->top) || InCellSpan(y + CELL_SIZE, bomb->top);
    return inX && inY;
}

void StopBombAtPlayers(GameObjectRecord *bomb)
{
    if (!bomb) return;
    for (PlayerRecord *player : gPlayers) {
        // A player out of play keeps its last pixels; it must not stop bombs where it fell.
        if (!player->inPlay || IsBombKickedBy(player, bomb)) continue;
        if (player->passFlags < 2 && NextBoxTouchesBomb(player, bomb)) {
            StopSlidingBomb(bomb);
            return;
        }
    }
}
