// The setting of a whole-program test run.
#include "tests/game/program_run_support.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "game/services.h"
#include "game/stage_hooks.h"
#include "lib/core/random.h"
#include "lib/core/system.h"
#include "tests/support/stepped_clock.h"
#include "tests/support/test_temp_dir.h"
#include "testsupport/window/window_test.h"

#define PROGRAM_RUN_CLOCK_START 1000000      // microseconds: clear of zero, where time differences wrap

::testing::AssertionResult EnterProgramRunDir(void)
{
    const char *assets = std::getenv("DAZAR_ASSET_DIR");
    if (!assets) return ::testing::AssertionFailure() << "DAZAR_ASSET_DIR is not set";
    if (EnterFreshTempDir() != 0) return ::testing::AssertionFailure() << "no temporary directory";
    for (const char *dir : {"png", "wav", "voice", "mid"}) {
        if (symlink((std::string(assets) + "/" + dir).c_str(), dir) != 0) {
            LeaveFreshTempDir();
            return ::testing::AssertionFailure() << "cannot link the asset folder " << dir;
        }
    }
    InstallSteppedClock(PROGRAM_RUN_CLOCK_START);
    return ::testing::AssertionSuccess();
}

void LeaveProgramRunDir(void)
{
    RemoveSteppedClock();
    LeaveFreshTempDir();
}

std::vector<uint16_t> CapturePresented565(void)
{
    const void *pixels;
    int w, h, bpp;
    if (WTestGetPresentedFrame(GetMainWindowHandle(), &pixels, &w, &h, &bpp) != 0 || bpp != 16) return {};
    const uint16_t *p = static_cast<const uint16_t *>(pixels);
    return std::vector<uint16_t>(p, p + (size_t)w * h);
}


static uint32_t sRunSeed;

// The library's start, then the seed: the run's layout does not depend on when it started.
static int SeededLibraryStart(void)
{
    int result = GetLibraryGameServices()->initLibrary();
    SeedRandom(sRunSeed);
    return result;
}

void InstallSeededRun(void (*sleep)(uint32_t milliseconds), int (*drawGameFrame)(void), uint32_t seed)
{
    sRunSeed = seed;
    GameServices services = {};
    services.sleep = sleep;
    services.initLibrary = SeededLibraryStart;
    SetGameServices(&services);
    StageHooks hooks = {};
    hooks.drawGameFrame = drawGameFrame;
    SetStageHooks(&hooks);
}
