// The demo's scenes drawn in software rendering mode must match their reference pictures exactly.
#include <cstdlib>
#include <string>

#include "lib/image/image_loader.h"
#include "tests/graphics/draw_fixture.h"
#include "tools/demo/demo_scene.cpp"  // the scenes the demo program shows

class DrawSceneTest : public LibraryDrawTest, public ::testing::WithParamInterface<int> {};

TEST_P(DrawSceneTest, MatchesItsReferencePicture)
{
    int scene = GetParam();
    ASSERT_EQ(WriteDemoSheet("sheet.png"), 0);
    int frames[DEMO_FRAME_COUNT];
    ASSERT_EQ(LoadDividedGraphs("sheet.png", DEMO_FRAME_COUNT, DEMO_SHEET_ACROSS, DEMO_SHEET_DOWN, DEMO_FRAME_SIZE,
                                DEMO_FRAME_SIZE, frames, 0), 0);
    DrawDemoScene(scene, frames, 59);  // the last of the demo's 60 frames

    const char *source = getenv("DAZAR_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::string path = std::string(source) + "/tests/graphics/draw_reference/" + GetDemoSceneName(scene) + ".png";
    int firstX, firstY;
    int differing = CountPixelsDifferingFromPng(path.c_str(), GetScreenMemImg(SCREEN_BACK), &firstX, &firstY);
    ASSERT_GE(differing, 0) << path;
    if (differing) WriteMemImgPng((std::string(GetDemoSceneName(scene)) + "-actual.png").c_str(), GetScreenMemImg(SCREEN_BACK));
    EXPECT_EQ(differing, 0) << "first difference at " << firstX << "," << firstY;
}

INSTANTIATE_TEST_SUITE_P(Scenes, DrawSceneTest, ::testing::Range(0, DEMO_SCENE_COUNT),
                         [](const ::testing::TestParamInfo<int> &info) { return std::string(GetDemoSceneName(info.param)); });
