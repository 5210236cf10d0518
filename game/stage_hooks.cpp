// The StageHooks table: the stage rules the frame loop and the menus call (field objects, stage build
// and drawing in objects.cpp, stage.cpp and field_draw.cpp; players in player_*.cpp).
#include "game/stage_hooks.h"

#include "game/records.h"
#include "game/services.h"

// ---- the table -----------------------------------------------------------------------------------
static const StageHooks kDefaultStageHooks = {
    "stage rules",
    StartStage,
    BuildStageField,
    CreatePlayerObjects,
    ReadPlayerInput,
    UpdatePlayerActions,
    RunActiveObjectBehaviours,
    HandlePlayerTouches,
    CheckRoundEnd,
    DrawGameFrame,
    DrawFieldObjects,
};
StageHooks gStageHooks = kDefaultStageHooks;

// Null entries of a replacement take the default.
template <typename Fn>
static void FillHook(Fn *slot, Fn given, Fn fallback)
{
    *slot = given ? given : fallback;
}

int SetStageHooks(const StageHooks *hooks)
{
    if (!hooks) {
        gStageHooks = kDefaultStageHooks;
        return 0;
    }
    const StageHooks &d = kDefaultStageHooks;
    gStageHooks.name = hooks->name ? hooks->name : d.name;
    FillHook(&gStageHooks.startStage, hooks->startStage, d.startStage);
    FillHook(&gStageHooks.buildStageField, hooks->buildStageField, d.buildStageField);
    FillHook(&gStageHooks.createPlayerObjects, hooks->createPlayerObjects, d.createPlayerObjects);
    FillHook(&gStageHooks.readPlayerInput, hooks->readPlayerInput, d.readPlayerInput);
    FillHook(&gStageHooks.updatePlayerActions, hooks->updatePlayerActions, d.updatePlayerActions);
    FillHook(&gStageHooks.runActiveObjectBehaviours, hooks->runActiveObjectBehaviours,
             d.runActiveObjectBehaviours);
    FillHook(&gStageHooks.handlePlayerTouches, hooks->handlePlayerTouches, d.handlePlayerTouches);
    FillHook(&gStageHooks.checkRoundEnd, hooks->checkRoundEnd, d.checkRoundEnd);
    FillHook(&gStageHooks.drawGameFrame, hooks->drawGameFrame, d.drawGameFrame);
    FillHook(&gStageHooks.drawFieldObjects, hooks->drawFieldObjects, d.drawFieldObjects);
    return 0;
}
