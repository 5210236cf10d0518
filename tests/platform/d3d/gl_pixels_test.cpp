// Pixels of the "gl" back end on Mesa's software OpenGL: coverage, sampling, shading, key, blending
// and stage operations follow the device's conventions.
#include <cstdlib>

#include "tests/platform/d3d/d3d_fixture.h"

// OpenGL needs SDL's "offscreen" driver and the software renderer, set before the test main runs.
static const int kSoftwareGl = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    return 0;
}();

class GlPixels : public D3dFixture {
protected:
    void SetUp() override
    {
        D3dFixture::SetUp();
        Open("gl");
    }
};

TEST_F(GlPixels, BoxCoversColumnsLeftToRightMinusOneAndRowsTopToBottomMinusOne)
{
    Box(4, 6, 10, 9, 0xFFFFFFFF);
    int covered = 0;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            bool inside = x >= 4 && x < 10 && y >= 6 && y < 9;
            EXPECT_EQ(inside ? 0xFFFF : 0, Px(x, y)) << x << "," << y;
            covered += Px(x, y) != 0;
        }
    EXPECT_EQ(18, covered);
}
