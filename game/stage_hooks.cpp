// The StageHooks table, and placeholders of the stage rules that the player and enemy code brings
// (the field objects, stage build and drawing live in objects.cpp, stage.cpp and field_draw.cpp). Each
// placeholder keeps the records in the state the menus and the frame loop expect; the code that brings
// the real function deletes the placeholder here; the table below keeps pointing at the same name.
#include "game/stage_hooks.h"

#include "game/records.h"
#include "game/services.h"

// ---- placeholders -------------------------------------------------------------------------------
// Weak, so the player and enemy code's real definitions win where they are linked.
#define PLACEHOLDER __attribute__((weak))

PLACEHOLDER int CreateEnemyGrid(void) { return 0; }
PLACEHOLDER int FreeEnemyGrid(void) { return 0; }

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
