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
    GraphImage reference = {};
    ASSERT_EQ(LoadGraphImageFromFile(path.c_str(), &reference), 0) << path;
    ASSERT_EQ(reference.width, 640);
    ASSERT_EQ(reference.height, 480);
    std::vector<uint32_t> actual = MemImgToRgb(GetScreenMemImg(SCREEN_BACK));
    int differing = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < 480; y++) {
        const uint8_t *row = (const uint8_t *)reference.pixels + (size_t)y * reference.pitch;
        for (int x = 0; x < 640; x++) {
            const uint8_t *p = row + x * reference.format.pixelByte;
            uint32_t expected = (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];  // B, G, R in memory
            if (actual[(size_t)y * 640 + x] != expected && differing++ == 0) firstX = x, firstY = y;
        }
    }
    DiscardGraphImage(&reference);
    if (differing) WriteMemImgPng((std::string(GetDemoSceneName(scene)) + "-actual.png").c_str(), GetScreenMemImg(SCREEN_BACK));
    EXPECT_EQ(differing, 0) << "first difference at " << firstX << "," << firstY;
}

INSTANTIATE_TEST_SUITE_P(Scenes, DrawSceneTest, ::testing::Range(0, DEMO_SCENE_COUNT),
                         [](const ::testing::TestParamInfo<int> &info) { return std::string(GetDemoSceneName(info.param)); });
