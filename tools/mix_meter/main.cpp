// dz_mixmeter [--assets DIR] [--scene NAME] [--seed N] [--check]
// Plays scripted stretches of the game headless into the manual audio output, each three times: the
// music alone, the effects and voices alone, and both together, and prints their levels and the
// clipped samples of the sum; then the level of every song alone. The game runs its own code (menus,
// stage turns, the stage clock's tick) on a stepped clock with seeded random numbers, so every pass
// of a scene plays the same game. --check ends with 1 when a stretch clips or its music sits more
// than MIX_MAX_GAP_DB under the effects.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "game/assets.h"
#include "game/frame_loop.h"
#include "game/menus.h"
#include "game/records.h"
#include "game/services.h"
#include "game/stage_clock.h"
#include "game/stage_hooks.h"
#include "game/startup.h"
#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/sound/sound.h"
#include "platform/dsound/mixer.h"
#include "testsupport/test_hooks.h"
#include "tools/mix_meter/levels.h"

#define MIX_MAX_GAP_DB 10.0
#define SONG_SECONDS 20

// A scripted stretch: the menu keys that reach the stage, and how the players behave in it.
struct MixScene {
    const char *name;
    const char *menuKeys;   // one press per two menu frames: z select, d down, r right
    int clockSeconds;       // the stage clock after the stage start (0: the usual 200)
    int bombers;            // 1: players wander and lay bombs; 0: they stand still
    int seconds;            // stage time at most
    int tailSeconds;        // mixing goes on this long after the stage turns end
};

static const MixScene kScenes[] = {
    // battle mode, four players; the clock runs out with the hurry calls on the way
    {"timeout", "dzdddz", 12, 0, 20, 3},
    // normal mode, stage 15 (world 3), two players laying bombs; they rejoin while credits last
    {"explosions", "zrrrrrrrrrrrrrrddz", 0, 1, 40, 2},
};

static const char *const kSongs[] = {"mid\\dancers7.mid", "mid\\sunrise.mid", "mid\\mori2.mid",
                                     "mid\\kgb_03.mid",   "mid\\a-san.mid",   "mid\\dancers4.mid",
                                     "mid\\dfa_14.mid",   "mid\\kgb_02.mid"};

// ================================================================================================
// The stepped machine: clock, mixing, random numbers, scripted pads
// ================================================================================================

static struct {
    uint64_t nowMs;            // stepped clock
    uint64_t mixedFrames;      // frames the manual output has mixed
    uint32_t rate;             // its rate
    uint32_t random;           // xorshift state
    const MixScene *scene;
    int menuFrame;             // menu pad reads so far
    int menuGrace;             // menu pad reads since the script ran out
    const char *menuKey;       // next scripted menu key
    int botBits[PLAYER_COUNT]; // held pad bits per player
    int botHold[PLAYER_COUNT]; // frames the held direction lasts
    int explosions;            // plays of the explosion effect in the stage
    int lastLives;             // plays of the last-life voice
} gRun;

// The effect and voice the report counts.
enum : int { MIX_EFFECT_EXPLOSION = 0, MIX_VOICE_LAST_LIFE = 20 };

static uint32_t NextRandom(void)
{
    uint32_t x = gRun.random;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return gRun.random = x;
}

static int MeterRandomUpTo(int max)
{
    return max <= 0 ? 0 : (int)(NextRandom() % (uint32_t)(max + 1));
}

static uint32_t MeterGetTime(void) { return (uint32_t)gRun.nowMs; }

// Time passes only here, and the output mixes exactly as much as the clock moved.
static void MeterSleep(uint32_t milliseconds)
{
    gRun.nowMs += milliseconds;
    uint64_t due = gRun.nowMs * gRun.rate / 1000;
    if (due > gRun.mixedFrames) AudioTestStep((int)(due - gRun.mixedFrames));
    gRun.mixedFrames = due;
}

// Menu frames after the last scripted key before the run gives up on reaching the stage.
#define MENU_GRACE_FRAMES 100

// The menu script: a release frame, then a press of the next key. A script that runs out without
// reaching the stage quits, so a changed menu cannot hang the meter.
static int MenuPadBits(void)
{
    if (!*gRun.menuKey && ++gRun.menuGrace > MENU_GRACE_FRAMES) gGame->quit = 1;
    if (gRun.menuFrame++ % 2 == 0 || !*gRun.menuKey) return 0;
    switch (*gRun.menuKey++) {
    case 'z': return GAME_PAD_BUTTON1;
    case 'd': return GAME_PAD_DOWN;
    case 'r': return GAME_PAD_RIGHT;
    default: return 0;
    }
}

// A wandering bomber: a direction for a while, a bomb now and then; out of lives, it presses the
// pause button every other frame to join again for a credit.
static int BomberPadBits(int player)
{
    static const int kDirections[] = {GAME_PAD_DOWN, GAME_PAD_LEFT, GAME_PAD_RIGHT, GAME_PAD_UP};
    PlayerRecord *record = gPlayers[player];
    if (record->lives <= 0) return (gRun.botHold[player]++ % 2) ? record->pauseButton : 0;
    if (--gRun.botHold[player] <= 0) {
        gRun.botBits[player] = kDirections[NextRandom() % 4];
        gRun.botHold[player] = 8 + (int)(NextRandom() % 32);
    }
    int bomb = NextRandom() % 40 == 0 ? record->bombButton : 0;
    return gRun.botBits[player] | bomb;
}

static int MeterPadBits(int pad)
{
    int player = pad == PAD1_WITH_KEYBOARD ? 0 : pad - 1;
    if (player < 0 || player >= PLAYER_COUNT) return 0;
    if (gGame->inStage != 1) return player == 0 ? MenuPadBits() : 0;
    return gRun.scene->bombers ? BomberPadBits(player) : 0;
}

// Counts the explosions and last lives the stage plays, then plays as the library does.
static int MeterPlaySound(int handle, int playType, int restart)
{
    gRun.explosions += handle == gEffectSounds[MIX_EFFECT_EXPLOSION] && handle != -1;
    gRun.lastLives += handle == gVoiceSounds[MIX_VOICE_LAST_LIFE] && handle != -1;
    return GetLibraryGameServices()->playSound(handle, playType, restart);
}

static int MeterNoKey(int code) { return 0; }
static int MeterNoWait(void) { return 0; }
static int MeterNoSettings(uint8_t *bytes, int size) { return -1; }
static int MeterKeepSettings(const uint8_t *bytes, int size) { return 0; }  // the player's file stays
static int MeterNoDraw(void) { return 0; }
static int MeterNoText(int x, int y, const char *text, int color, int edge) { return 0; }
static int MeterNoGraph(int x, int y, int handle, int transparent) { return 0; }

static GameServices MeterServices(void)
{
    GameServices s = {};
    s.name = "mix meter";
    s.queryPadBits = MeterPadBits;
    s.queryKeyDown = MeterNoKey;
    s.waitForAnyKey = MeterNoWait;
    s.getTime = MeterGetTime;
    s.sleep = MeterSleep;
    s.playSound = MeterPlaySound;
    s.pickRandomUpTo = MeterRandomUpTo;
    s.readSettings = MeterNoSettings;
    s.writeSettings = MeterKeepSettings;
    s.eraseDrawTarget = MeterNoDraw;
    s.presentFrame = MeterNoDraw;
    s.drawText = MeterNoText;
    s.putGraph = MeterNoGraph;
    return s;
}

// ================================================================================================
// One pass
// ================================================================================================

// Starts the library on the manual output and makes the game's records and sounds. 0 / -1.
static int StartMeteredGame(int music, int effects, uint32_t seed)
{
    gRun.nowMs = 1000000;
    gRun.mixedFrames = 0;
    gRun.random = seed ? seed : 1;
    GameServices services = MeterServices();
    SetGameServices(&services);
    StageHooks hooks = {};
    hooks.drawGameFrame = MeterNoDraw;
    hooks.drawFieldObjects = MeterNoDraw;
    SetStageHooks(&hooks);
    ChangeWindowMode(1);
    if (InitLibrary() != 0) return -1;
    if (std::strcmp(AudioGetBackendName(), "manual") != 0) return -1;
    WaveFormat device;
    AudioGetDeviceFormat(&device);
    gRun.rate = device.samplesPerSec;
    gRun.mixedFrames = gRun.nowMs * gRun.rate / 1000;
    CreateGameRecords();
    gGame->musicOn = music;
    gGame->soundEffectsOn = effects;
    gGame->progress = LAST_STAGE;
    LoadGameSounds();
    return 0;
}

static void EndMeteredGame(void)
{
    StopCurrentMusic();
    ShutDownGame();
    SetStageHooks(nullptr);
    SetGameServices(nullptr);
}

// The stage turns of a scene, with the stage clock ticking once a second as its thread would.
static void PlaySceneStage(const MixScene &scene)
{
    uint64_t begin = gRun.nowMs, ticks = 0;
    while (gGame->inStage == 1 && gRun.nowMs - begin < (uint64_t)scene.seconds * 1000) {
        uint32_t start = gServices.getTime();
        ReadAllPads();
        RunStageTurn();
        WaitForFrameEnd(start);
        while ((gRun.nowMs - begin) / STAGE_CLOCK_PERIOD_MS > ticks) {
            TickStageClock();
            ticks++;
        }
        gServices.pumpMessages();
    }
    MeterSleep((uint32_t)scene.tailSeconds * 1000);
}

// Plays one pass of a scene and keeps what was mixed from the stage start on. 0 / -1.
static int RunScenePass(const MixScene &scene, int music, int effects, uint32_t seed, std::vector<int16_t> *out)
{
    gRun.scene = &scene;
    gRun.menuFrame = gRun.menuGrace = 0;
    gRun.menuKey = scene.menuKeys;
    std::memset(gRun.botHold, 0, sizeof gRun.botHold);
    if (StartMeteredGame(music, effects, seed) != 0) {
        EndMeteredGame();
        return -1;
    }
    RunMenuLoop();
    int reached = gGame->inStage == 1 && !gGame->quit;
    if (reached) {
        if (scene.clockSeconds) gGame->timeLeft = scene.clockSeconds;
        AudioTestClearCapture();
        gRun.explosions = gRun.lastLives = 0;
        PlaySceneStage(scene);
        size_t bytes = 0;
        const int16_t *samples = (const int16_t *)AudioTestCapture(&bytes);
        out->assign(samples, samples + bytes / 2);
    }
    EndMeteredGame();
    return reached ? 0 : -1;
}

// Plays every song alone for a while. 0 / -1.
static int MeasureSongs(std::vector<MixLevels> *levels)
{
    static const MixScene kIdle = {"songs", "", 0, 0, 0, 0};
    gRun.scene = &kIdle;
    gRun.menuKey = kIdle.menuKeys;
    if (StartMeteredGame(1, 0, 1) != 0) {
        EndMeteredGame();
        return -1;
    }
    for (const char *song : kSongs) {
        PlayMusicFile(song, MUSIC_PLAY_LOOP);
        AudioTestClearCapture();
        for (int ms = 0; ms < SONG_SECONDS * 1000; ms += FRAME_PERIOD_MS) {
            MeterSleep(FRAME_PERIOD_MS);
            gServices.pumpMessages();
        }
        size_t bytes = 0;
        const int16_t *samples = (const int16_t *)AudioTestCapture(&bytes);
        levels->push_back(MeasureMixLevels(samples, bytes / 2, 2, (int)gRun.rate));
        StopCurrentMusic();
    }
    EndMeteredGame();
    return 0;
}

// ================================================================================================
// Report
// ================================================================================================

static void PrintLevels(const char *scene, const char *part, const MixLevels &m)
{
    std::printf("%-11s %-13s %7.1f %9.1f %9.1f %9.1f %9.1f %8ld\n", scene, part, m.seconds, m.rmsDbfs,
                m.soundingDbfs, m.soundingSeconds, m.peakDbfs, m.clipped);
}

static void PrintHeader(void)
{
    std::printf("%-11s %-13s %7s %9s %9s %9s %9s %8s\n", "scene", "part", "seconds", "rms", "sounding", "sound s",
                "peak", "clipped");
}

// Runs the three passes of a scene and prints them. 1 when the scene passes the check, 0 when not,
// -1 when it could not be played.
static int MeterScene(const MixScene &scene, uint32_t seed)
{
    static const char *const kParts[] = {"music", "effects", "together"};
    MixLevels levels[3];
    for (int part = 0; part < 3; part++) {
        std::vector<int16_t> samples;
        if (RunScenePass(scene, part != 1, part != 0, seed, &samples) != 0) {
            std::fprintf(stderr, "dz_mixmeter: scene %s did not reach its stage\n", scene.name);
            return -1;
        }
        levels[part] = MeasureMixLevels(samples.data(), samples.size(), 2, (int)gRun.rate);
        PrintLevels(scene.name, kParts[part], levels[part]);
    }
    double gap = levels[1].soundingDbfs - levels[0].soundingDbfs;
    std::printf("%-11s %d explosions, %d last lives; music %.1f dB under the effects while they sound; "
                "%ld clipped samples together\n",
                scene.name, gRun.explosions, gRun.lastLives, gap, levels[2].clipped);
    return levels[2].clipped == 0 && std::fabs(gap) <= MIX_MAX_GAP_DB ? 1 : 0;
}

static int Usage(void)
{
    std::fprintf(stderr, "usage: dz_mixmeter [--assets DIR] [--scene timeout|explosions] [--seed N] [--check]\n");
    return 2;
}

int main(int argc, char **argv)
{
    const char *assets = DAZAR_MIX_ASSET_DIR, *only = nullptr;
    uint32_t seed = 12345;
    int check = 0;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--check") == 0) check = 1;
        else if (i + 1 < argc && std::strcmp(argv[i], "--assets") == 0) assets = argv[++i];
        else if (i + 1 < argc && std::strcmp(argv[i], "--scene") == 0) only = argv[++i];
        else if (i + 1 < argc && std::strcmp(argv[i], "--seed") == 0) seed = (uint32_t)std::strtoul(argv[++i], nullptr, 10);
        else return Usage();
    }
    // Headless: the manual output, no window on screen, no lock against a running game.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("DAZAR_AUDIO", "manual", 1);
    setenv("DAZAR_SINGLE_INSTANCE", "0", 1);
    if (chdir(assets) != 0) {
        std::fprintf(stderr, "dz_mixmeter: cannot enter the assets folder %s\n", assets);
        return 2;
    }
    PrintHeader();
    int failed = 0;
    for (const MixScene &scene : kScenes) {
        if (only && std::strcmp(only, scene.name) != 0) continue;
        int result = MeterScene(scene, seed);
        if (result < 0) return 2;
        failed += result == 0;
    }
    std::vector<MixLevels> songs;
    if (!only && MeasureSongs(&songs) == 0) {
        for (size_t i = 0; i < songs.size(); i++) PrintLevels("song", kSongs[i] + 4, songs[i]);
    }
    return check && failed ? 1 : 0;
}
