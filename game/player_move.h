// A player's step against the field: pixel-exact stops at solid blocks with sliding round block
// corners, stops at bombs or kicks with the power-up, and sliding bombs stopped by other players.
#pragma once

struct PlayerRecord;
struct GameObjectRecord;

#define PLAYER_INNER_HALF 10                 // the inner box that lets a player walk off its own bomb
#define CORNER_SLIDE_MARGIN 4                // within this many pixels of a block's centre line: no slide
#define KICKED_BOMB_FRAMES_PER_CELL 8

// Checks the step (dx, dy) * speed against the solid blocks of the 3 x 3 cells round the player's
// cell: a fixed block, or a soft block without block pass, stops the player flush (moving 0) and, when
// its centre is more than 4 pixels off the block's centre toward a free neighbour of the block, slides
// it up to `speed` pixels toward that neighbour's line. 0, -1 for a null player.
int MovePlayerWithCollision(PlayerRecord *player);
// Checks the step against the bombs in the cell ahead (or the player's own cell when standing): a bomb
// stops the player, or with the kick (and the bomb at rest) the player snaps flush and kicks it. Bombs
// of owner 0, bombs under the player's inner box and every bomb for a player with bomb pass are walked
// through. 0, -1 for a null player.
int CheckBombContact(PlayerRecord *player);
// Sends the bomb sliding in direction 0..3 (effect 15); a bomb with an owner joins the end of the
// kicker's kicked chain, leaving any chain it was on first, so kicking it again never corrupts a chain.
// 0, -1 for a null player or bomb.
int KickBomb(PlayerRecord *player, GameObjectRecord *bomb, int direction);
// Stops a sliding bomb whose way is met by the next box of a player in play without bomb pass that did
// not kick it (StopSlidingBomb). A null bomb: nothing.
void StopBombAtPlayers(GameObjectRecord *bomb);
// 1 when the bomb is on the kicked chain of the player.
int IsBombKickedBy(const PlayerRecord *player, const GameObjectRecord *bomb);
