// The frame loop: one stage turn per frame, or the menu loop between stages.
#include "game/frame_loop.h"

#include <cstdint>

#include "game/menus.h"
#include "game/records.h"
#include "game/services.h"
#include "game/stage_hooks.h"

int ReadAllPads(void)
{
    static const int kPadArguments[PLAYER_COUNT] = {PAD1_WITH_KEYBOARD, 2, 3, 4};
    for (int i = 0; i < PLAYER_COUNT; i++) gPlayers[i]->padBits = gServices.queryPadBits(kPadArguments[i]);
    return 0;
}

int RunStageTurn(void)
{
    for (int n = 1; n <= PLAYER_COUNT; n++) gStageHooks.readPlayerInput(n);
    // Player 1 or 2 acts first, then the others in turn, wrapping from 4 to 1.
    int first = 1 + gServices.pickRandomUpTo(1);
    for (int i = 0; i < PLAYER_COUNT; i++) gStageHooks.updatePlayerActions((first - 1 + i) % PLAYER_COUNT + 1);
    if (!gGame->paused) {
        gStageHooks.runActiveObjectBehaviours();
        for (PlayerRecord *player : gPlayers) {
            if (player->inPlay) gStageHooks.handlePlayerTouches(player->number, player->cellX, player->cellY);
        }
        gGame->frameCounter++;
        gStageHooks.checkRoundEnd();
    }
    gStageHooks.drawGameFrame();  // paused or not
    return 0;
}

int WaitForFrameEnd(uint32_t start)
{
    for (;;) {
        uint32_t elapsed = gServices.getTime() - start;  // unsigned: the clock wraps
        if (elapsed >= FRAME_PERIOD_MS) return 0;
        uint32_t left = FRAME_PERIOD_MS - elapsed;
        // Sleeping most of the turn spares a core; the last steps keep the turn close to 17 ms.
        gServices.sleep(left > 2 ? left - 2 : 1);
    }
}

int RunGameFrameLoop(void)
{
    if (gServices.pumpMessages() != 0) return 0;
    for (;;) {
        if (gGame->quit) return 0;
        uint32_t start = gServices.getTime();
        ReadAllPads();
        if (gServices.queryKeyDown(KEY_CODE_ESCAPE)) gGame->quit = 1;  // this turn still finishes
        if (gGame->inStage == 1) RunStageTurn();
        if (gGame->inStage != 1) RunMenuLoop();
        if (gServices.queryKeyDown(KEY_CODE_ESCAPE)) return 0;
        WaitForFrameEnd(start);
        if (gServices.pumpMessages() != 0) return 0;
    }
}
