// The game's services wired to the library (the default table), and the table's replacement.
#include <cstdarg>
#include <cstdio>

#include "game/services.h"
#include "game/settings_file.h"
#include "lib/core/library.h"
#include "lib/core/random.h"
#include "lib/core/system.h"
#include "lib/input/input.h"
#include "lib/sound/sound.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

// ---- start and end -------------------------------------------------------------------------------
// The Yes/No box of the start-up question (the box itself answers from DAZAR_FULLSCREEN_ANSWER, or
// No when nothing can show it).
static int LibraryAskFullScreen(void)
{
    uint16_t text[64], caption[32];
    if (!KMultiByteToWide("フルスクリーンモードで起動しますか？", -1, text, 64)) return 0;
    if (!KMultiByteToWide("スクリーン設定", -1, caption, 32)) return 0;
    return WMessageBoxW(0, text, caption, W_MB_YESNO | W_MB_ICONQUESTION) == W_IDYES ? 1 : 0;
}

// ---- time ----------------------------------------------------------------------------------------
static uint32_t LibraryGetTime(void) { return KGetTime(); }
static void LibrarySleep(uint32_t milliseconds) { KSleep(milliseconds); }

// ---- drawing: placeholders until the graphics core and fonts are linked here ---------------------
static int NoScreenMode(int width, int height, int colorBits, int refreshRate) { return -1; }
static int NoDrawTarget(int screen) { return -1; }
static int NoRemoveGraphs(int logFlag) { return 0; }
static int NoDividedGraphs(const char *file, int total, int across, int down, int width, int height,
                           int *handles, int flag)
{
    return -1;
}
static int NoErase(void) { return -1; }
static int NoPresent(void) { return -1; }
static int NoPackColor(int red, int green, int blue)
{
    return ((red & 0xF8) << 8) | ((green & 0xFC) << 3) | ((blue & 0xFF) >> 3);
}
static int NoPutGraph(int x, int y, int handle, int transparent) { return -1; }
static int NoPutStretched(int x1, int y1, int x2, int y2, int handle, int transparent) { return -1; }
static int NoRectangle(int x1, int y1, int x2, int y2, int color, int fill) { return -1; }
static int NoCircle(int x, int y, int radius, int color, int fill) { return -1; }
static int NoBlendMode(int mode, int parameter) { return -1; }
static int NoText(int x, int y, const char *text, int color, int edgeColor) { return -1; }
static int NoFontType(int type) { return -1; }
static int NoFontSize(int size) { return -1; }

// ---- the table -----------------------------------------------------------------------------------
static const GameServices kLibraryServices = {
    "library",
    LibraryAskFullScreen,
    ChangeWindowMode,
    InitLibrary,
    EndLibrary,
    PumpMessages,
    QueryPadBits,
    QueryKeyDown,
    WaitForAnyKey,
    LibraryGetTime,
    LibrarySleep,
    PickRandomUpTo,
    LoadSoundFileToHandle,
    PlaySoundByHandle,
    PlayMusicFile,
    StopCurrentMusic,
    IsCurrentMusicPlaying,
    ChangeCurrentMusicVolume,
    ReadSettingsFileFromDisk,
    WriteSettingsFileToDisk,
    NoScreenMode,
    NoDrawTarget,
    NoRemoveGraphs,
    NoDividedGraphs,
    NoErase,
    NoPresent,
    NoPackColor,
    NoPutGraph,
    NoPutStretched,
    NoRectangle,
    NoCircle,
    NoBlendMode,
    NoText,
    NoFontType,
    NoFontSize,
};

GameServices gServices = kLibraryServices;

const GameServices *GetLibraryGameServices(void)
{
    return &kLibraryServices;
}

int SetGameServices(const GameServices *services)
{
    gServices = kLibraryServices;
    if (!services) return 0;
#define TAKE_SERVICE(field) \
    if (services->field) gServices.field = services->field
    if (services->name) gServices.name = services->name;
    TAKE_SERVICE(askFullScreen);
    TAKE_SERVICE(changeWindowMode);
    TAKE_SERVICE(initLibrary);
    TAKE_SERVICE(endLibrary);
    TAKE_SERVICE(pumpMessages);
    TAKE_SERVICE(queryPadBits);
    TAKE_SERVICE(queryKeyDown);
    TAKE_SERVICE(waitForAnyKey);
    TAKE_SERVICE(getTime);
    TAKE_SERVICE(sleep);
    TAKE_SERVICE(pickRandomUpTo);
    TAKE_SERVICE(loadSound);
    TAKE_SERVICE(playSound);
    TAKE_SERVICE(playMusicFile);
    TAKE_SERVICE(stopCurrentMusic);
    TAKE_SERVICE(isCurrentMusicPlaying);
    TAKE_SERVICE(changeCurrentMusicVolume);
    TAKE_SERVICE(readSettings);
    TAKE_SERVICE(writeSettings);
    TAKE_SERVICE(selectScreenMode);
    TAKE_SERVICE(selectDrawTarget);
    TAKE_SERVICE(removeAllGraphs);
    TAKE_SERVICE(loadDividedGraphs);
    TAKE_SERVICE(eraseDrawTarget);
    TAKE_SERVICE(presentFrame);
    TAKE_SERVICE(packScreenColor);
    TAKE_SERVICE(putGraph);
    TAKE_SERVICE(putGraphStretched);
    TAKE_SERVICE(paintRectangle);
    TAKE_SERVICE(paintCircle);
    TAKE_SERVICE(selectBlendMode);
    TAKE_SERVICE(drawText);
    TAKE_SERVICE(changeFontType);
    TAKE_SERVICE(changeFontSize);
#undef TAKE_SERVICE
    return 0;
}

int DrawGameText(int x, int y, int color, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return gServices.drawText(x, y, text, color, 0);
}
