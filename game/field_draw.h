// Field drawing and HUD: each stage frame is drawn from scratch, pass by pass by kind name (floor,
// blocks / bombs / fire / items / goal / switches / pop-ups, shots, enemies, players), then the HUD
// band, the world-2 tint or the darkness with its light discs, and the HUD texts. DrawGameFrame and
// DrawFieldObjects are declared in game/stage_hooks.h. Everything goes through gServices.
#pragma once
#include "game/records.h"

#define FIELD_SCREEN_X 80                    // screen position of field pixel (0, 0)
#define FIELD_SCREEN_Y 80
#define HUD_BAND_HEIGHT 90
#define LIGHT_DISC_RADIUS 96
#define FLASH_RADIUS 16

// Advances the player's animation and chooses its sprite frame (walking by facing, or dying). 0.
int PickPlayerAnimFrame(PlayerRecord *player);
// The HUD texts of the mode and the pause labels (in the text colour). 0.
int DrawHudTexts(void);
