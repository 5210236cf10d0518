// The players' pads: pause and join, the step, and the action buttons.
#include "game/player_input.h"

#include "game/assets.h"
#include "game/bombs.h"
#include "game/cells.h"
#include "game/objects.h"
#include "game/player_life.h"
#include "game/player_move.h"
#include "game/records.h"
#include "game/stage_hooks.h"

enum : int { EFFECT_BOMB_LAID = 1 };

int TakeButtonPress(PlayerRecord *player, int latch, int mask)
{
    if (!(player->padBits & mask)) {
        player->latches[latch] = 0;
        return 0;
    }
    if (player->latches[latch]) return 0;
    player->latches[latch] = 1;
    return 1;
}

int GetPadStep(int padBits, int *dx, int *dy)
{
    *dx = *dy = 0;
    // Each later test overrides the earlier: down wins over up, up over right, right over left.
    if (padBits & GAME_PAD_LEFT) *dx = -1, *dy = 0;
    if (padBits & GAME_PAD_RIGHT) *dx = 1, *dy = 0;
    if (padBits & GAME_PAD_UP) *dx = 0, *dy = -1;
    if (padBits & GAME_PAD_DOWN) *dx = 0, *dy = 1;
    return *dx != 0 || *dy != 0;
}

int GetStepFacing(int dx, int dy, int facing)
{
    if (dy == -1) return DIR_UP;
    if (dy == 1) return DIR_DOWN;
    if (dx == -1) return DIR_LEFT;
    if (dx == 1) return DIR_RIGHT;
    return facing;
}

// A player without lives joins the running normal-mode game for a credit (players 1 and 2 only).
static void JoinForCredit(PlayerRecord *player)
{
    if (player->number > 2 || gGame->mode != GAME_MODE_NORMAL || gGame->credits < 1) return;
    player->inPlay = 1;
    player->latches[LATCH_PAUSE] = 1;
    gGame->playersInPlay++;
    gGame->credits--;
    player->lives = 1;
    player->respawnCounter = JOIN_RESPAWN_FRAMES;
    PlacePlayerAtStart(player);
}

// The pause button: pause, unpause by the player who paused, or a join. A join is taken while paused
// too.
static void ReadPauseButton(PlayerRecord *player)
{
    if (!(player->padBits & player->pauseButton)) {
        player->latches[LATCH_PAUSE] = 0;
        return;
    }
    if (player->latches[LATCH_PAUSE]) return;
    if (player->lives <= 0) {
        JoinForCredit(player);  // the latch stays 0 when nothing happens
        return;
    }
    player->latches[LATCH_PAUSE] = 1;
    if (!gGame->paused) {
        gGame->paused = 1;
        player->pausedByMe = 1;
    } else if (gGame->paused == 1 && player->pausedByMe == 1) {
        gGame->paused = 0;
        player->pausedByMe = 0;
    }
}

// The step of the held direction, checked against blocks and bombs.
static void StepPlayer(PlayerRecord *player)
{
    int dx, dy;
    player->moving = GetPadStep(player->padBits, &dx, &dy);
    player->dx = dx;
    player->dy = dy;
    player->facing = GetStepFacing(dx, dy, player->facing);
    MovePlayerWithCollision(player);
    CheckBombContact(player);
    if (player->moving == 1) {
        player->pixelX += player->dx * player->speed;
        player->pixelY += player->dy * player->speed;
    }
    player->centreX = player->pixelX + CELL_SIZE / 2;
    player->centreY = player->pixelY + CELL_SIZE / 2;
    player->cellX = player->centreX / CELL_SIZE;
    player->cellY = player->centreY / CELL_SIZE;
}

int ReadPlayerInput(int number)
{
    PlayerRecord *player = GetPlayer(number);
    if (!player) return -1;
    ReadPauseButton(player);
    // Read after the pause button: the press that pauses already stops this step.
    if (player->lives >= 1 && !gGame->paused) StepPlayer(player);
    return 0;
}

// The cell one step from (x, y) in the facing direction.
static void StepCell(int facing, int *x, int *y)
{
    if (facing < DIR_DOWN || facing > DIR_RIGHT) return;
    *x += kDirStepX[facing];
    *y += kDirStepY[facing];
}

int PlaceLineBombs(PlayerRecord *player, int x, int y, int stop)
{
    // A loop in place of the recursion: the same bombs and sounds, bounded by the field's edge even
    // where a bomb could not be made.
    for (;;) {
        PlayEffectIfEnabled(EFFECT_BOMB_LAID);
        StepCell(player->facing, &x, &y);
        if (player->bombsAvailable <= 0) return 0;
        if (!IsFieldCell(x, y) || IsCellTaken(x, y)) return 0;
        PlaceBomb(player, x, y);
        if (stop) return 0;
    }
}

// The bomb button: one bomb on a free cell, or a line from the player's own bomb.
static void PressBombButton(PlayerRecord *player)
{
    if (player->bombsAvailable <= 0) return;
    int blocker = QueryCellBlocker(player->cellX, player->cellY);
    if (blocker == 0) {
        PlayEffectIfEnabled(EFFECT_BOMB_LAID);
        PlaceBomb(player, player->cellX, player->cellY);
    } else if (blocker == 1 && player->lineBomb == 1) {
        PlaceLineBombs(player, player->cellX, player->cellY, 0);
    }
}

int UpdatePlayerActions(int number)
{
    PlayerRecord *player = GetPlayer(number);
    if (!player) return -1;
    if (player->lives <= 0 || gGame->paused) return 0;
    if (TakeButtonPress(player, LATCH_BOMB, player->bombButton)) PressBombButton(player);
    if (TakeButtonPress(player, LATCH_REMOTE, player->remoteButton) && player->bombType == 1)
        DetonateRemoteBomb(player);
    if (TakeButtonPress(player, LATCH_KICK_STOP, player->kickStopButton) && player->kick == 1)
        StopKickedBomb(player);
    return 0;
}
