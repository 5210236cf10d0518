// The game's services wired to the library (the default table), and the table's replacement.
#include <cstdarg>
#include <cstdio>

#include "game/services.h"
#include "game/settings_file.h"
#include "lib/core/library.h"
#include "lib/core/random.h"
#include "lib/core/system.h"
#include "lib/font/font.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/screen.h"
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

// ---- drawing: colours are packed screen pixels, which fit an int at 16 and 32 bits ----------------
static int LibraryPackColor(int red, int green, int blue) { return (int)PackScreenColor(red, green, blue); }
static int LibraryRectangle(int x1, int y1, int x2, int y2, int color, int fill)
{
    return PaintRectangle(x1, y1, x2, y2, (uint32_t)color, fill);
}
static int LibraryCircle(int x, int y, int radius, int color, int fill)
{
    return PaintCircle(x, y, radius, (uint32_t)color, fill);
}
static int LibraryText(int x, int y, const char *text, int color, int edgeColor)
{
    return DrawTextDefaultFont(x, y, text, (uint32_t)color, (uint32_t)edgeColor);
}

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
    SelectScreenMode,
    SelectDrawTarget,
    RemoveAllGraphs,
    LoadDividedGraphs,
    EraseDrawTarget,
    PresentFrame,
    LibraryPackColor,
    PutGraph,
    PutGraphStretched,
    LibraryRectangle,
    LibraryCircle,
    SelectBlendMode,
    LibraryText,
    ChangeDefaultFontType,
    ChangeDefaultFontSize,
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
