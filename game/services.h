// Everything the game asks of the library and the machine, as one table of function pointers: the
// start and end of the library, the message pump, input, time, random numbers, sound and music, the
// settings file on disk and drawing. The game calls only through gServices, which holds the library's
// functions by default (game/services_library.cpp); tests put a seeded generator, scripted pads, a
// stepped clock, a silent sound log, a draw recorder and an in-memory settings file in their place.
#pragma once
#include <cstdint>

struct GameServices {
    const char *name;
    // ---- start and end ----
    int (*askFullScreen)(void);                        // the start-up question: 1 yes, 0 no
    int (*changeWindowMode)(int flag);                 // 1 window, 0 full screen
    int (*initLibrary)(void);                          // 0 / -1
    int (*endLibrary)(void);
    // ---- pump, input, time, random numbers ----
    int (*pumpMessages)(void);                         // 0 go on, non-zero end; any thread
    int (*queryPadBits)(int pad);                      // pad 1..4, + 0x1000 merges the keyboard
    int (*queryKeyDown)(int code);                     // 1 down / 0
    int (*waitForAnyKey)(void);                        // release, then press
    uint32_t (*getTime)(void);                         // milliseconds, wraps at 32 bits
    void (*sleep)(uint32_t milliseconds);
    int (*pickRandomUpTo)(int max);                    // 0..max inclusive
    // ---- sound and music (the play may come from the stage-clock thread) ----
    int (*loadSound)(const char *file, int bufferCount, int sharedStream);  // handle or -1
    int (*playSound)(int handle, int playType, int restart);
    int (*playMusicFile)(const char *file, int playType);
    int (*stopCurrentMusic)(void);
    int (*isCurrentMusicPlaying)(void);
    int (*changeCurrentMusicVolume)(int volume);
    // ---- the settings file ----
    int (*readSettings)(uint8_t *bytes, int size);     // bytes read (0..size), -1 when it cannot open
    int (*writeSettings)(const uint8_t *bytes, int size);  // 0 / -1; a failure loses nothing
    // ---- drawing ----
    int (*selectScreenMode)(int width, int height, int colorBits, int refreshRate);
    int (*selectDrawTarget)(int screen);
    int (*removeAllGraphs)(int logFlag);
    int (*loadDividedGraphs)(const char *file, int total, int across, int down, int width, int height,
                             int *handles, int flag);
    int (*eraseDrawTarget)(void);
    int (*presentFrame)(void);
    int (*packScreenColor)(int red, int green, int blue);
    int (*putGraph)(int x, int y, int handle, int transparent);
    int (*putGraphStretched)(int x1, int y1, int x2, int y2, int handle, int transparent);
    int (*paintRectangle)(int x1, int y1, int x2, int y2, int color, int fill);
    int (*paintCircle)(int x, int y, int radius, int color, int fill);
    int (*selectBlendMode)(int mode, int parameter);
    int (*drawText)(int x, int y, const char *text, int color, int edgeColor);  // Shift-JIS text
    int (*changeFontType)(int type);
    int (*changeFontSize)(int size);
};

extern GameServices gServices;
// The library's table.
const GameServices *GetLibraryGameServices(void);
// Replaces the table (copied; null entries take the library's function); null restores the
// library's. Not while the stage-clock thread runs. 0.
int SetGameServices(const GameServices *services);

// Formats a text into a 1024-byte buffer (truncated, never overflowed) and draws it with edge colour
// 0, as the library's printf-style text draw does. Its draw result.
int DrawGameText(int x, int y, int color, const char *format, ...) __attribute__((format(printf, 4, 5)));
