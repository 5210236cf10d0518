// Field drawing and HUD.
#include "game/field_draw.h"

#include <cstring>

#include "game/assets.h"
#include "game/object_states.h"
#include "game/objects.h"
#include "game/services.h"
#include "game/stage_hooks.h"

#define SCREEN_WIDTH 640
#define SCREEN_HEIGHT 480
#define BLEND_COPY 0
#define BLEND_ALPHA 1
#define BLEND_ADD 2
#define BLEND_MULTIPLY_ALPHA 11

// ---- pieces --------------------------------------------------------------------------------------
// A handle of a sheet, -1 for a frame outside it.
static int SheetFrame(const int *sheet, int frames, int frame)
{
    return frame >= 0 && frame < frames ? sheet[frame] : -1;
}

// Off the screen: skipped.
static bool IsCulled(int x, int y)
{
    return x + CELL_SIZE < 0 || y < 0 || x > SCREEN_WIDTH || y > SCREEN_HEIGHT;
}

static int White(void)
{
    return gServices.packScreenColor(255, 255, 255);
}

// A flash: a white disc at the centre, then the picture added on it.
static void BeginFlash(int centreX, int centreY)
{
    gServices.paintCircle(centreX, centreY, FLASH_RADIUS, White(), 1);
    gServices.selectBlendMode(BLEND_ADD, 255);
}

static void EndFlash(void)
{
    gServices.selectBlendMode(BLEND_COPY, 0);
}

// One 32 x 32 picture of an object, plain or as a flash.
static void DrawObjectPicture(const GameObjectRecord *o, int handle, bool flash)
{
    int x = o->left + FIELD_SCREEN_X, y = o->top + FIELD_SCREEN_Y;
    if (flash) BeginFlash(o->centreX + FIELD_SCREEN_X, o->centreY + FIELD_SCREEN_Y);
    gServices.putGraph(x, y, handle, 1);
    if (flash) EndFlash();
}

// ---- passes --------------------------------------------------------------------------------------
static void DrawFloor(void)
{
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        if (!IsObjectKind(o, KIND_FLOOR)) continue;
        DrawObjectPicture(o, SheetFrame(gFloorSheet, FLOOR_SHEET_FRAMES, o->spriteFrame), false);
    }
}

// A breaking item shows the block-break frames; a protected one blinks as a flash.
static void DrawItem(const GameObjectRecord *o)
{
    if (o->hitPoints < 1) {
        int t = o->timer;
        int frame = t > 20 ? 2 : t > 10 ? 3 : t > 0 ? 4 : 0;
        DrawObjectPicture(o, SheetFrame(gBlockSheet, BLOCK_SHEET_FRAMES, frame), false);
        return;
    }
    bool flash = o->timer > 0 && o->timer % 3 == 0;
    DrawObjectPicture(o, SheetFrame(gItemSheet, ITEM_SHEET_FRAMES, o->variant), flash);
}

// The score pop-up: points x multiplier, higher for a higher multiplier; it blinks.
static void DrawScorePopup(const GameObjectRecord *o)
{
    int live = o->moveMode;
    if (!(live == 0 || (live > 0 && live % 3 == 0))) return;
    DrawGameText(o->left + FIELD_SCREEN_X, o->top + FIELD_SCREEN_Y - 20 * o->hitPoints,
                 gServices.packScreenColor(200, 0, 0), "%d　×　%d", o->facing, o->hitPoints);
}

static void DrawStillObjects(void)
{
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        if (o->active != 1 || IsObjectKind(o, KIND_ENEMY) || IsObjectKind(o, KIND_SHOT) || IsObjectKind(o, KIND_FLOOR))
            continue;
        if (IsCulled(o->left + FIELD_SCREEN_X, o->top + FIELD_SCREEN_Y)) continue;
        if (IsObjectKind(o, KIND_SWITCH) || IsObjectKind(o, KIND_GOAL)) {
            DrawObjectPicture(o, SheetFrame(gFloorSheet, FLOOR_SHEET_FRAMES, o->spriteFrame), false);
        } else if (IsObjectKind(o, KIND_FIRE)) {
            DrawObjectPicture(o, SheetFrame(gBombSheet, BOMB_SHEET_FRAMES, o->spriteFrame), false);
        } else if (IsObjectKind(o, KIND_BLOCK)) {
            const int *sheet = o->variant == BLOCK_BOMB ? gBombSheet : gBlockSheet;
            int frames = o->variant == BLOCK_BOMB ? BOMB_SHEET_FRAMES : BLOCK_SHEET_FRAMES;
            if (o->variant >= BLOCK_FIXED && o->variant <= BLOCK_BOMB)
                DrawObjectPicture(o, SheetFrame(sheet, frames, o->spriteFrame), false);
        } else if (IsObjectKind(o, KIND_ITEM)) {
            DrawItem(o);
        }
        if (IsObjectKind(o, KIND_SCORE)) DrawScorePopup(o);
    }
}

static void DrawShots(void)
{
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        if (!IsObjectKind(o, KIND_SHOT)) continue;
        if (!(o->timer == 0 || (o->timer > 0 && o->timer % 3 == 0))) continue;
        if (IsCulled(o->left + FIELD_SCREEN_X, o->top + FIELD_SCREEN_Y)) continue;
        DrawObjectPicture(o, SheetFrame(gShotSheet, SHOT_SHEET_FRAMES, o->spriteFrame * 4 + o->facing), false);
    }
}

// Plain (1), flash (2) or not drawn (0) for an enemy in this frame.
static int EnemyLook(const GameObjectRecord *o)
{
    bool plain;
    if (o->behaviour == EnemyWarpState)
        plain = o->stateFrames % 3 == 0;
    else
        plain = o->timer == 0 || o->hitPoints == 0 || (o->timer > 0 && o->timer % 3 == 0);
    if (plain) return 1;
    return o->timer > 0 ? 2 : 0;
}

static void DrawEnemies(void)
{
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        if (!IsObjectKind(o, KIND_ENEMY) || o->behaviour == EnemyWorkState) continue;
        int look = EnemyLook(o);
        int x = o->left + FIELD_SCREEN_X, y = o->top + FIELD_SCREEN_Y;
        if (look == 0 || IsCulled(x, y)) continue;
        int handle = SheetFrame(gEnemySheet, ENEMY_SHEET_FRAMES, o->spriteFrame);
        if (look == 2) BeginFlash(o->centreX + FIELD_SCREEN_X, o->centreY + FIELD_SCREEN_Y);
        // The core mech stands three cells wide and high over its own cell.
        if (o->coreFlag == 1)
            gServices.putGraphStretched(x - 32, y - 64, x + 64, y + 32, handle, 1);
        else
            gServices.putGraph(x, y, handle, 1);
        if (look == 2) EndFlash();
    }
}

int PickPlayerAnimFrame(PlayerRecord *player)
{
    player->animCounter++;
    if (player->animCounter >= 40) player->animCounter = 0;
    int base = (player->number - 1) * 20;
    if (player->lives >= 1) {
        player->spriteFrame = base + player->facing * 4 + player->animCounter / 10;
        return 0;
    }
    int c = player->respawnCounter;
    int step = c > 30 || c <= 0 ? 0 : c > 20 ? 1 : c > 10 ? 2 : 3;
    player->spriteFrame = base + 16 + step;
    return 0;
}

static void DrawPlayers(void)
{
    for (PlayerRecord *p = gPlayerListHead; p; p = p->next) {
        if (std::strcmp(p->name, "Player") != 0 || !p->inPlay) continue;
        PickPlayerAnimFrame(p);
        bool flash = false;
        if (p->respawnCounter != 0 && p->lives != 0) {
            if (p->respawnCounter < 1) continue;
            flash = p->respawnCounter % 3 != 0;
        }
        int handle = SheetFrame(gPlayerSheet, PLAYER_SHEET_FRAMES, p->spriteFrame);
        if (flash) BeginFlash(p->centreX + FIELD_SCREEN_X, p->centreY + FIELD_SCREEN_Y);
        gServices.putGraph(p->pixelX + FIELD_SCREEN_X, p->pixelY + FIELD_SCREEN_Y, handle, 1);
        if (flash) EndFlash();
    }
}

// The HUD band, then the world-2 tint or the darkness with a light disc round every player.
static void DrawOverlays(void)
{
    gServices.paintRectangle(0, 0, SCREEN_WIDTH, HUD_BAND_HEIGHT, gServices.packScreenColor(0, 0, 0), 1);
    if (gGame->world == 2) {
        gServices.selectBlendMode(BLEND_ALPHA, 128);
        gServices.paintRectangle(0, HUD_BAND_HEIGHT, SCREEN_WIDTH, SCREEN_HEIGHT, gServices.packScreenColor(0, 150, 250), 1);
        gServices.selectBlendMode(BLEND_COPY, 0);
        return;
    }
    if (gGame->darkness != 1) return;
    gServices.selectBlendMode(BLEND_MULTIPLY_ALPHA, 255);
    gServices.paintRectangle(0, HUD_BAND_HEIGHT, SCREEN_WIDTH, SCREEN_HEIGHT, gServices.packScreenColor(35, 35, 35), 1);
    gServices.selectBlendMode(BLEND_ADD, 128);
    // Drawn where the steps put them, also where a disc reaches into the HUD band.
    for (PlayerRecord *p : gPlayers)
        gServices.paintCircle(p->centreX + FIELD_SCREEN_X, p->centreY + FIELD_SCREEN_Y, LIGHT_DISC_RADIUS, White(), 1);
    gServices.selectBlendMode(BLEND_COPY, 0);
}

int DrawFieldObjects(void)
{
    DrawFloor();
    DrawStillObjects();
    DrawShots();
    DrawEnemies();
    DrawPlayers();
    DrawOverlays();
    return 0;
}

// ---- HUD -----------------------------------------------------------------------------------------
// One player's line of the normal-mode HUD.
static void DrawPlayerLine(const PlayerRecord *p, int x, const char *alive, const char *join, const char *wait)
{
    int colour = gGame->textColor;
    if (p->lives >= 1)
        DrawGameText(x, 70, colour, alive, p->score, p->lives);
    else
        gServices.drawText(x, 70, gGame->credits >= 1 ? join : wait, colour, 0);
}

static void DrawNormalHud(void)
{
    int colour = gGame->textColor;
    DrawGameText(10, 10, colour, "%d　ー　%d ハイスコア　%d　残り時間　%d　到達度　%d", gGame->world + 1,
                 gGame->stageInWorld, gGame->hiScore, (int)gGame->timeLeft, gGame->progress);
    if (gGame->difficulty == 0)
        DrawGameText(10, 40, colour, "モード　%d 人数　%d 残りのコアメカ %d 難易度（普通）", gGame->mode, gGame->credits,
                     gGame->coreMechsLeft);
    else if (gGame->difficulty == 1)
        DrawGameText(10, 40, colour, "モード　%d 人数　%d 残りのコアメカ %d 難易度（難しい）", gGame->mode,
                     gGame->credits, gGame->coreMechsLeft);
    DrawPlayerLine(gPlayers[0], 10, "１P　%d　体　%d", "１P、途中参加OK", "１P、ちょっと待ってね");
    DrawPlayerLine(gPlayers[1], 310, "２P　%d　体　%d", "２P、途中参加OK", "２P、ちょっと待ってね");
}

static void DrawBattleHud(void)
{
    int colour = gGame->textColor;
    DrawGameText(10, 10, colour, "残り時間　%d　ステージ %d", (int)gGame->timeLeft, gGame->stage);
    DrawGameText(10, 40, colour, "１P勝ち数　%d　２P勝ち数　%d ３P勝ち数　%d　４P勝ち数　%d", gPlayers[0]->score,
                 gPlayers[1]->score, gPlayers[2]->score, gPlayers[3]->score);
    DrawGameText(10, 70, colour, "モード　%d", gGame->mode);
}

int DrawHudTexts(void)
{
    static const char *const kPauseLabels[PLAYER_COUNT] = {"１Pポーズ", "２Pポーズ", "３Pポーズ", "４Pポーズ"};
    if (gGame->mode == GAME_MODE_NORMAL)
        DrawNormalHud();
    else if (gGame->mode == GAME_MODE_BATTLE)
        DrawBattleHud();
    for (int i = 0; i < PLAYER_COUNT; i++)
        if (gPlayers[i]->pausedByMe == 1) gServices.drawText(250, 268, kPauseLabels[i], gGame->textColor, 0);
    return 0;
}

int DrawGameFrame(void)
{
    gServices.eraseDrawTarget();
    DrawFieldObjects();
    DrawHudTexts();
    gServices.presentFrame();
    return 0;
}
