// Boxes and circles on the recorded device: the draws that reach it, their order and positions.
#include "tests/d3d/graph_draw_fixture.h"

class ShapesTest : public GraphDrawTest {};

#define BOX(x1, y1, x2, y2) [] { return G_D3D_DrawSolidRectangle(x1, y1, x2, y2, 0xFFFF); }
#define OUTLINE(x1, y1, x2, y2) [] { return G_D3D_DrawRectangleOutline(x1, y1, x2, y2, 0xFFFF); }
#define CIRCLE(x, y, r, fill) [] { return G_D3D_DrawCircle(x, y, r, 0xFFFF, fill); }
#define BOX_1020 "T 10,20 30,20 10,40 30,40 10,40 30,20\n"
#define OUTLINE_1020 "T 10,20 30,20 10,21 30,21 10,21 30,20 29,21 30,21 29,40 30,40 29,40 30,21 10,21 11,21 10,40 " \
                     "11,40 10,40 11,21 11,39 29,39 11,40 29,40 11,40 29,39\n"
#define PENDING_6 "T 0,0 0,0 0,0 0,0 0,0 0,0\n"

TEST_F(ShapesTest, BoxesQueueOrderedCornersAndOutlinesShareTheBatch)
{
    const DrawScene scenes[] = {
        {WHOLE_SCREEN, NO_OFFSET, 0, BOX(30, 40, 10, 20), BOX_1020},
        {WHOLE_SCREEN, NO_OFFSET, 0, BOX(30, 20, 10, 40), BOX_1020},
        {WHOLE_SCREEN, NO_OFFSET, 0, OUTLINE(30, 40, 10, 20), OUTLINE_1020},
        {WHOLE_SCREEN, NO_OFFSET, 0, OUTLINE(10, 40, 30, 20), OUTLINE_1020},
        {{15, 0, 25, 30}, {100, 7, 0, 0}, 0, BOX(10, 20, 30, 40), "T 115,27 125,27 115,37 125,37 115,37 125,27\n"},
        // Clipped away or empty: only the pending batch is drawn.
        {WHOLE_SCREEN, NO_OFFSET, 6, BOX(5, 5, 5, 30), PENDING_6},
        {WHOLE_SCREEN, NO_OFFSET, 6, BOX(700, 10, 800, 20), PENDING_6},
        {WHOLE_SCREEN, NO_OFFSET, 0, [] { return OUTLINE(0, 0, 9, 9)() + OUTLINE(5, 5, 20, 20)(); }, "T 48\n"},
        // Outlines fill the batch to its last slot; with 23 free it is drawn first.
        {WHOLE_SCREEN, NO_OFFSET, COLOR_VERTEX_CAPACITY - 24, OUTLINE(0, 0, 9, 9), "T 3225\n"},
        {WHOLE_SCREEN, NO_OFFSET, COLOR_VERTEX_CAPACITY - 23, OUTLINE(0, 0, 9, 9),
         "T 3202\nT 0,0 9,0 0,1 9,1 0,1 9,0 8,1 9,1 8,9 9,9 8,9 9,1 0,1 1,1 0,9 1,9 0,9 1,1 1,8 8,8 1,9 8,9 1,9 8,8\n"},
        // The disc: one span per row after the batch.
        {WHOLE_SCREEN, NO_OFFSET, 6, CIRCLE(40, 50, 0, 1), PENDING_6 "L 40,50 41,50\n"},
        {WHOLE_SCREEN, NO_OFFSET, 0, CIRCLE(40, 50, 2, 1),
         "L 38,50 43,50\nL 38,51 43,51\nL 38,49 43,49\nL 39,52 42,52\nL 39,48 42,48\n"},
        // A span reaching the region's last column ends one past it, so that the column is drawn.
        {{0, 0, 100, 100}, NO_OFFSET, 0, CIRCLE(98, 50, 1, 1), "L 97,50 100,50\nL 98,51 99,51\nL 98,49 99,49\n"},
        {{10, 0, 100, 100}, NO_OFFSET, 0, CIRCLE(10, 50, 1, 1), "L 10,50 12,50\nL 10,51 11,51\nL 10,49 11,49\n"},
        // A target partly above its surface: the row table starts at the region's top row.
        {{0, 0, 100, 100}, {5, -20, 0, 0}, 0, CIRCLE(40, 0, 1, 1), "L 44,-20 47,-20\nL 45,-19 46,-19\n"},
        {{30, 30, 30, 30}, NO_OFFSET, 0, CIRCLE(30, 30, 3, 1), ""},
        {{0, 0, 100, 100}, NO_OFFSET, 0, CIRCLE(300, 50, 20, 1), ""},
        // The outline: points in runs of forty (radius 10 has 60, 41 of them above row 106), never at
        // negative x (those left of the region are the viewport's).
        {WHOLE_SCREEN, NO_OFFSET, 0, CIRCLE(30, 40, 0, 0), "P 30,40 30,40 30,40 30,40\n"},
        {{0, 0, 640, 106}, NO_OFFSET, 0, CIRCLE(100, 100, 10, 0), "P 40\nP 93,93\n"},
        {{4, 0, 640, 480}, NO_OFFSET, 0, CIRCLE(3, 50, 5, 0),
         "P 8,50 3,55 3,45 8,51 4,55 2,55 8,49 4,45 2,45 8,52 5,55 1,55 8,48 5,45 1,45 7,53 6,54 0,54 7,47 6,46 0,46\n"},
    };
    RunScenes(scenes, std::size(scenes));
}

TEST_F(ShapesTest, VertexColourIsTheColourScaledByTheDiffuseColour)
{
    struct Case {
        int mode, param;
        uint32_t bright, colour, argb;
    } cases[] = {{0, 255, 0x80FFFF, 0xFFFF, 0xFF80FFFF}, {1, 100, 0xFFFFFF, 0xFFFF, 0x64FFFFFF},
                 {0, 255, 0x64FFFF, 0x8000, 0xFF330000}};  // red 16 of 31 is 132: 100 * 132 / 255 = 51
    for (const Case &c : cases) {
        GDrawSettings.blendMode = c.mode, GDrawSettings.blendParam = c.param, GDrawSettings.bright = c.bright;
        G_D3D_UpdateDiffuseColor();
        Device().colorVertices[1].diffuse = 0x12345678;
        ASSERT_EQ(0, G_D3D_DrawSolidRectangle(0, 0, 4, 4, c.colour));
        int n = 0, mark = D3dTestMark();
        ASSERT_EQ(0, G_D3D_DrawCircle(50, 50, 0, c.colour, 0));
        const D3dRecordedVertex *box = D3dTestLogVertices(mark, &n), *point = D3dTestLogVertices(D3dTestLogCount() - 1, &n);
        // Flat shading reads each triangle's first vertex; the others keep what their slot held.
        EXPECT_EQ((std::vector<uint32_t>{c.argb, 0x12345678, c.argb, c.argb}),
                  (std::vector<uint32_t>{box[0].diffuse, box[1].diffuse, box[3].diffuse, point[0].diffuse}));
    }
}
