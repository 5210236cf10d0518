// Smoke program: starts the library, pumps a number of frames (showing a moving test pattern) and
// ends it, in window mode so that the window can be closed from its close button.
// Usage: dazar_smoke [frames]   (default 120; 0 = until the window is closed)
#include <cstdint>
#include <cstdlib>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

// A 640 x 480 R5G6B5 pattern that moves with the frame number.
static void DrawPattern(uint16_t *pixels, int frame)
{
    for (int y = 0; y < SYSTEM_SCREEN_HEIGHT; y++) {
        for (int x = 0; x < SYSTEM_SCREEN_WIDTH; x++) {
            int r = ((x + frame) >> 4) & 31, g = (y >> 3) & 63, b = ((x ^ y) >> 4) & 31;
            pixels[y * SYSTEM_SCREEN_WIDTH + x] = (uint16_t)((r << 11) | (g << 5) | b);
        }
    }
}

int main(int argc, char **argv)
{
    int frames = argc > 1 ? atoi(argv[1]) : 120;
    ChangeWindowMode(1);
    if (InitLibrary() != 0) return -1;
    static uint16_t pixels[SYSTEM_SCREEN_WIDTH * SYSTEM_SCREEN_HEIGHT];
    for (int frame = 0; frames <= 0 || frame < frames; frame++) {
        if (PumpMessages() != 0) break;
        DrawPattern(pixels, frame);
        WPresentPixels(GetMainWindowHandle(), pixels, SYSTEM_SCREEN_WIDTH, SYSTEM_SCREEN_HEIGHT,
                       SYSTEM_SCREEN_WIDTH * 2, 16);
        KSleep(17);
    }
    EndLibrary();
    return 0;
}
