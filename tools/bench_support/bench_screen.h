// Set-up shared by the software-rendering benchmarks (header only: this folder is not a program).
#pragma once
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/memimg.h"

// A 640 x 480 screen of the colour type, ready to draw on: blend tables built, the draw settings reset
// for that target (copy mode, bright white, the whole screen as region). Released with ReleaseMemImg.
inline void CreateBenchScreen(MEMIMG *screen, int colorType)
{
    BuildMemImgBlendTables();
    SetDrawTargetSize(640, 480);
    ResetDrawSettings();
    CreateMemImg(screen, 640, 480, colorType, 0, 0, 0);
}
