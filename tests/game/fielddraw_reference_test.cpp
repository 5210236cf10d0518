// The back screen right after a stage is built, drawn by the real library from the generated sheets,
// must match its reference picture: stage 1 (plain), 15 (the blue tint) and 36 (dark, light discs);
// exactly, or within the Direct3D route's tolerance there (RouteFieldTolerance).
// DAZAR_UPDATE_REFERENCE=1 writes the pictures into the source tree instead of comparing.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/assets.h"
#include "game/field_draw.h"
#include "game/objects.h"
#include "game/records.h"
#include "game/services.h"
#include "game/stage_hooks.h"
#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/font/font.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/screen.h"
#include "lib/image/color_format.h"
#include "lib/image/image_loader.h"
#include "tests/game/game_fakes.h"
#include "tests/support/screen_readback.h"
#include "tests/support/test_temp_dir.h"
#include "tools/demo/png_out.h"

namespace {

uint32_t g_state;

// Seeded multiply-shift over xorshift32.
int SeededRandom(int max)
{
    return MapDrawUpTo(NextXorshift32(&g_state), max);
}

class FieldDrawReferenceTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        ASSERT_EQ(EnterFreshTempDir(), 0);
        const char *assets = std::getenv("DAZAR_ASSET_DIR");
        ASSERT_NE(assets, nullptr);
        ASSERT_EQ(symlink((std::string(assets) + "/png").c_str(), "png"), 0);
        GameServices services = {};
        services.pickRandomUpTo = SeededRandom;
        SetGameServices(&services);
        SetStageHooks(nullptr);
        ChangeWindowMode(1);
        ASSERT_EQ(InitLibrary(), 0);
        ASSERT_EQ(SelectScreenMode(640, 480, 16, 60), 0);
        ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
        ChangeDefaultFontType(FONT_TYPE_EDGE);
        CreateGameState();
        CreatePlayerRecords();
        CreateStageRecord();
        CreateObjectPool();
        LoadGameImages();
        ASSERT_GE(gFloorSheet[0], 0) << "the generated sheets are missing";
    }
    void TearDown() override
    {
        FreeObjectPool();
        EndLibrary();
        SetGameServices(nullptr);
        LeaveFreshTempDir();
    }

    // A one-player normal-mode start of the stage, then the frame without its present.
    void BuildAndDraw(int stage)
    {
        g_state = 2024u + (uint32_t)stage;
        gGame->mode = GAME_MODE_NORMAL;
        gGame->stage = stage;
        gGame->hiScore = 50;
        gGame->progress = stage;
        gGame->credits = 4;
        gGame->textColor = gServices.packScreenColor(255, 255, 255);
        for (int i = 0; i < PLAYER_COUNT; i++) gPlayers[i]->inPlay = i == 0;
        gPlayers[0]->lives = 1;
        StartStage();
        BuildStageField();
        CreatePlayerObjects();
        gServices.eraseDrawTarget();
        DrawFieldObjects();
        DrawHudTexts();
    }
};

TEST_P(FieldDrawReferenceTest, BackScreenAfterTheBuildMatchesItsReference)
{
    int stage = GetParam();
    BuildAndDraw(stage);
    const char *source = std::getenv("DAZAR_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    char name[32];
    std::snprintf(name, sizeof(name), "stage%02d.png", stage);
    std::string path = std::string(source) + "/tests/game/fielddraw_reference/" + name;
    ASSERT_TRUE(!IsDirect3DRouteExpected() || IsDirect3DDrawUsable()) << "the Direct3D device did not start";
    const MEMIMG *back = ReadBackBackScreen();
    if (std::getenv("DAZAR_UPDATE_REFERENCE")) {
        ASSERT_EQ(WriteMemImgPng(path.c_str(), back), 0) << path;
        return;
    }
    int firstX, firstY;
    int differing = CountPixelsDifferingFromPng(path.c_str(), back, RouteFieldTolerance(), &firstX, &firstY);
    ASSERT_GE(differing, 0) << path;
    EXPECT_EQ(differing, 0) << name << ": first difference at " << firstX << "," << firstY;
}

INSTANTIATE_TEST_SUITE_P(Stages, FieldDrawReferenceTest, ::testing::Values(1, 15, 36),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return "Stage" + std::to_string(info.param);
                         });

}  // namespace
