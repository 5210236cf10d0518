// A running library in a fresh directory, with the back screen as draw target, and picture helpers
// for the screen, graph, draw and font tests (pixel access: the software drawers' test canvas).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/screen.h"
#include "tests/softrender/fill_canvas.h"
#include "tests/support/test_temp_dir.h"
#include "tools/demo/demo_scene.h"

// Starts the library in a fresh directory at 640 x 480, 16 bits, back screen selected, in a window or
// in full screen; a route (when not null) goes into DAZAR_RENDER_ROUTE first.
inline void StartDrawLibrary(const char *route, int fullScreen = 0)
{
    if (route) setenv("DAZAR_RENDER_ROUTE", route, 1);
    ASSERT_EQ(EnterFreshTempDir(), 0);
    ChangeWindowMode(fullScreen ? 0 : 1);
    ASSERT_EQ(InitLibrary(), 0);
    ASSERT_EQ(SelectScreenMode(640, 480, 16, 60), 0);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
}

// Writes the demo's sprite sheet and loads its frames.
inline void LoadDemoFrames(int frames[DEMO_FRAME_COUNT])
{
    ASSERT_EQ(WriteDemoSheet("sheet.png"), 0);
    ASSERT_EQ(LoadDividedGraphs("sheet.png", DEMO_FRAME_COUNT, DEMO_SHEET_ACROSS, DEMO_SHEET_DOWN, DEMO_FRAME_SIZE,
                                DEMO_FRAME_SIZE, frames, 0),
              0);
}

// DAZAR_RENDER_ROUTE as it was, put back when this goes.
class SavedRenderRoute {
public:
    SavedRenderRoute()
    {
        const char *route = getenv("DAZAR_RENDER_ROUTE");
        had = route != nullptr;
        if (route) saved = route;
    }
    ~SavedRenderRoute()
    {
        if (had) setenv("DAZAR_RENDER_ROUTE", saved.c_str(), 1);
        else unsetenv("DAZAR_RENDER_ROUTE");
    }

private:
    std::string saved;
    bool had = false;
};

class LibraryDrawTest : public ::testing::Test {
protected:
    void SetUp() override { StartDrawLibrary(nullptr); }
    void TearDown() override
    {
        EndLibrary();
        LeaveFreshTempDir();
    }
};

// A 32-bit X8R8G8B8 picture whose pixel (x, y) is rgb(x, y).
inline GraphImage MakePicture(int w, int h, const std::function<uint32_t(int, int)> &rgb)
{
    GraphImage image = {};
    ColorFormatRecord format;
    MakeColorFormatFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    EXPECT_EQ(AllocGraphImagePixels(&image, &format, w, h), 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) ((uint32_t *)((uint8_t *)image.pixels + y * image.pitch))[x] = rgb(x, y) & 0xFFFFFF;
    return image;
}

// Shift-JIS text of count distinct level-1 kanji, from the first-th on (lead 0x88-0x97, trail
// 0x40-0x7E and 0x80-0xFC; 3,000 of them).
inline std::string KanjiRun(int first, int count)
{
    std::string text;
    for (int lead = 0x88, n = 0; lead <= 0x97; lead++)
        for (int trail = 0x40; trail <= 0xFC && n < first + count; trail++) {
            if (trail == 0x7F || (lead == 0x88 && trail < 0x9F)) continue;
            if (n++ >= first) text += {(char)lead, (char)trail};
        }
    return text;
}

inline uint32_t BackPixel(int x, int y) { return GetPx(GetScreenMemImg(SCREEN_BACK), x, y); }

// Fills the whole back screen with one screen colour.
inline void FillBack(uint32_t colour)
{
    MEMIMG *m = GetScreenMemImg(SCREEN_BACK);
    for (int y = 0; y < m->height; y++)
        for (int x = 0; x < m->width; x++) SetPx(m, x, y, colour);
}
