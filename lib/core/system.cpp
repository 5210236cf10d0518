// The system record and its small getters and setters.
#include "lib/core/system.h"

#include <cstring>

#include "platform/window/window.h"

SystemRecord gSystem;

int ChangeWindowMode(int flag)
{
    gSystem.windowed = flag ? 1 : 0;
    if (gSystem.window) WSetWindowFullScreen(gSystem.window, !gSystem.windowed);
    return 0;
}

int GetWindowedFlag(void)
{
    return gSystem.windowed;
}

intptr_t GetMainWindowHandle(void)
{
    return gSystem.window;
}

int GetEndRequest(void)
{
    return gSystem.endRequest.load();
}

int GetActiveFlag(void)
{
    return gSystem.active.load();
}

// Before the window exists the area is the nominal screen at the origin.
int GetDrawAreaRect(Rect *rect)
{
    if (!rect) return 0;
    WRect client;
    if (!gSystem.window || !WGetClientRect(gSystem.window, &client)) {
        *rect = Rect{0, 0, SYSTEM_SCREEN_WIDTH * gSystem.windowScale, SYSTEM_SCREEN_HEIGHT * gSystem.windowScale};
        return 0;
    }
    int x = 0, y = 0;
    WClientToScreen(gSystem.window, &x, &y);
    *rect = Rect{x, y, x + client.right, y + client.bottom};
    return 0;
}

// Copies at most size - 1 bytes, never splitting a two-byte character.
static void CopyTextBounded(char *dst, const char *src, size_t size)
{
    size_t at = 0;
    while (src[at] && at + 1 < size) {
        size_t step = IsShiftJisLeadByte((unsigned char)src[at]) && src[at + 1] ? 2 : 1;
        if (at + step >= size) break;
        at += step;
    }
    memcpy(dst, src, at);
    dst[at] = 0;
}

int SetMainWindowTitle(const char *title)
{
    if (!title) return 0;
    CopyTextBounded(gSystem.title, title, sizeof gSystem.title);
    CopyTextBounded(gSystem.className, title, sizeof gSystem.className);
    gSystem.titleSet = 1;
    if (gSystem.window) WSetWindowTitle(gSystem.window, gSystem.title);
    return 0;
}

int SetRunWhileInactive(int flag)
{
    gSystem.runWhileInactive = flag ? 1 : 0;
    return 0;
}

int SetSkipSoundStart(int flag)
{
    gSystem.skipSoundStart = flag ? 1 : 0;
    return 0;
}

static int ClampChannel(int value)
{
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

int SetBackgroundColor(int red, int green, int blue)
{
    gSystem.backgroundRed = ClampChannel(red);
    gSystem.backgroundGreen = ClampChannel(green);
    gSystem.backgroundBlue = ClampChannel(blue);
    return 0;
}

int GetBackgroundColor(int *red, int *green, int *blue)
{
    if (red) *red = gSystem.backgroundRed;
    if (green) *green = gSystem.backgroundGreen;
    if (blue) *blue = gSystem.backgroundBlue;
    return 0;
}

const char *GetStartDirectory(void)
{
    return gSystem.startDirectory;
}

int GetLibraryState(void)
{
    return gSystem.state.load();
}
