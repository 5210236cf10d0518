// Start-up and shutdown of the game.
#include "game/startup.h"

#include <cstring>

#include "game/assets.h"
#include "game/frame_loop.h"
#include "game/records.h"
#include "game/services.h"
#include "game/settings_file.h"
#include "game/stage_clock.h"
#include "game/stage_hooks.h"

int ParseFullScreenSwitch(int argc, char **argv)
{
    int answer = -1;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--fullscreen") == 0) answer = 1;
        if (std::strcmp(argv[i], "--windowed") == 0) answer = 0;
    }
    return answer;
}

int CreateGameRecords(void)
{
    ClearCellHashTable();
    CreateGameState();
    CreatePlayerRecords();
    LoadHiScoreFile();
    CreateStageRecord();
    CreateObjectPool();
    CreateEnemyGrid();
    return 0;
}

int ShutDownGame(void)
{
    // The clock thread first, so nothing it reads goes away under it.
    StopStageClock();
    gServices.sleep(FRAME_PERIOD_MS);
    gServices.removeAllGraphs(0);
    FreeEnemyGrid();
    FreePlayerRecords();
    gServices.endLibrary();
    FreeGameState();
    FreeStageRecord();
    FreeObjectPool();
    return 0;
}

int WinMain(int argc, char **argv)
{
    int fullScreen = ParseFullScreenSwitch(argc, argv);
    if (fullScreen < 0) fullScreen = gServices.askFullScreen();
    if (!fullScreen) gServices.changeWindowMode(1);
    if (gServices.initLibrary() == -1) return -1;
    gServices.selectScreenMode(640, 480, 16, 60);
    CreateGameRecords();
    StartStageClock();
    gServices.changeFontType(1);  // edged text
    gServices.selectDrawTarget(-2);
    LoadGameImages();
    LoadGameSounds();
    RunGameFrameLoop();
    ShutDownGame();
    return 0;
}
