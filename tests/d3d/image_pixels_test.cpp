// Pixels of image draws on the "gl" device: a colour-keyed sprite lands texel for texel at 1:1 and
// as 2 x 2 blocks stretched twice, its key left out.
#include <cstdlib>

#include "tests/d3d/graph_draw_fixture.h"

// OpenGL needs SDL's "offscreen" driver and the software renderer, set before the test main runs.
static const int kSoftwareGl = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    return 0;
}();

#define KEY_TEXEL 0xF81Fu

// A pattern that differs in every field from its neighbours, with keyed diagonals.
static uint16_t Texel(int x, int y)
{
    if ((x + y) % 7 == 0) return KEY_TEXEL;
    return (uint16_t)(((x * 4 + y) & 31) << 11 | ((x * 7 + y * 3) & 63) << 5 | ((y * 5 + x) & 31));
}

class ImagePixelsTest : public GraphDrawTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        StartOn("gl");
        GDirect3D.diffuseColor = 0xFFFFFFFF;
        auto *texture = (D3dTestSurface *)LookupSurfaceData(PieceData(graph, 0))->ddSurface;
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 64; x++) ((uint16_t *)(texture->view.pixels + y * texture->view.pitch))[x] = Texel(x, y);
        texture->view.hasColorKey = 1, texture->view.colorKey = KEY_TEXEL;
        D3dTestTouchSurface(texture);
    }
    // Pixels around the graph drawn at (x0, y0) scaled by scale that differ from it (keyed texels
    // and the surroundings stay black).
    static int WrongPixels(int x0, int y0, int scale)
    {
        int wrong = 0;
        for (int y = y0 - 2; y < y0 + 32 * scale + 2; y++) {
            const uint16_t *row = (const uint16_t *)D3dTestReadRow(gDisplay.back, y);
            for (int x = x0 - 2; x < x0 + 64 * scale + 2; x++) {
                int tx = (x - x0) / scale, ty = (y - y0) / scale;
                uint16_t texel = x >= x0 && y >= y0 && tx < 64 && ty < 32 ? Texel(tx, ty) : 0;
                wrong += row[x] != (texel == KEY_TEXEL ? 0 : texel);
            }
        }
        return wrong;
    }
};

TEST_F(ImagePixelsTest, AKeyedSpriteLandsTexelForTexelUnscaledAndStretched)
{
    ASSERT_EQ(0, At(graph, 10, 10, 1));
    ASSERT_EQ(0, Stretch(graph, 100, 50, 228, 114, 1));
    ASSERT_EQ(0, G_D3D_EndScene());
    EXPECT_EQ(0, WrongPixels(10, 10, 1));
    EXPECT_EQ(0, WrongPixels(100, 50, 2));
}
