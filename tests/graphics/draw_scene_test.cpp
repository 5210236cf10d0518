// The demo's scenes must match their reference pictures: exactly in software rendering mode and on the
// DirectDraw route, within the Direct3D route's tolerance there (RouteFieldTolerance).
#include <cstdlib>
#include <string>

#include "lib/image/image_loader.h"
#include "tests/graphics/draw_fixture.h"
#include "tests/support/screen_readback.h"
#include "tools/demo/demo_scene.cpp"  // the scenes the demo program shows

class DrawSceneTest : public LibraryDrawTest, public ::testing::WithParamInterface<int> {};

TEST_P(DrawSceneTest, MatchesItsReferencePicture)
{
    int scene = GetParam();
    int frames[DEMO_FRAME_COUNT];
    ASSERT_NO_FATAL_FAILURE(LoadDemoFrames(frames));
    DrawDemoScene(scene, frames, 59);  // the last of the demo's 60 frames

    const char *source = getenv("DAZAR_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::string path = std::string(source) + "/tests/graphics/draw_reference/" + GetDemoSceneName(scene) + ".png";
    ASSERT_TRUE(!IsDirect3DRouteExpected() || IsDirect3DDrawUsable()) << "the Direct3D device did not start";
    const MEMIMG *back = ReadBackBackScreen();
    int firstX, firstY;
    int differing = CountPixelsDifferingFromPng(path.c_str(), back, RouteFieldTolerance(), &firstX, &firstY);
    ASSERT_GE(differing, 0) << path;
    if (differing) WriteMemImgPng((std::string(GetDemoSceneName(scene)) + "-actual.png").c_str(), back);
    EXPECT_EQ(differing, 0) << "first difference at " << firstX << "," << firstY;
}

INSTANTIATE_TEST_SUITE_P(Scenes, DrawSceneTest, ::testing::Range(0, DEMO_SCENE_COUNT),
                         [](const ::testing::TestParamInfo<int> &info) { return std::string(GetDemoSceneName(info.param)); });
