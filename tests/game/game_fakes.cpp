// Fake services for the game's tests.
#include "tests/game/game_fakes.h"

#include <cstring>
#include <unistd.h>

#include "game/assets.h"
#include "game/objects.h"
#include "game/records.h"
#include "game/services.h"
#include "game/settings_file.h"
#include "game/stage.h"
#include "game/stage_hooks.h"
#include "tests/support/test_temp_dir.h"

FakeWorld *gFake = nullptr;

// ---- start and end ----
static int FakeAskFullScreen(void) { return gFake->fullScreenAnswer; }
static int FakeChangeWindowMode(int flag)
{
    gFake->calls.push_back("window:" + std::to_string(flag));
    return 0;
}
static int FakeInitLibrary(void)
{
    gFake->calls.push_back("init");
    return gFake->initResult;
}
static int FakeEndLibrary(void)
{
    gFake->calls.push_back("end");
    return 0;
}

// ---- pump, input, time ----
// Counts a call made by another thread, and that thread's end.
static void BumpOther(int FakeWorld::*counter)
{
    std::lock_guard<std::mutex> guard(gFake->otherLock);
    gFake->*counter += 1;
    gFake->otherMoved.notify_all();
}

// 1 while the main thread sleeps in the kernel (its state in /proc is "S": a wait, a join), and when
// its state cannot be read (nothing is held then).
static bool MainThreadSleeps(void)
{
    std::string stat = ReadTestFile(("/proc/self/task/" + std::to_string(gFake->mainTid) + "/stat").c_str());
    size_t name = stat.rfind(')');
    return name == std::string::npos || name + 2 >= stat.size() || stat[name + 2] == 'S';
}

// Fakes installed so far: a thread's end counts in the fakes it first called, not in a later test's.
static std::atomic<int> g_fakesInstalled;

namespace {
struct OtherThreadEnd {
    int fakes = g_fakesInstalled;
    ~OtherThreadEnd()
    {
        if (!gFake || fakes != g_fakesInstalled) return;
        if (gFake->holdOtherEnds) {
            while (gFake->holdOtherEnds && !MainThreadSleeps()) std::this_thread::yield();
            gFake->heldEnds++;
        }
        BumpOther(&FakeWorld::otherEnds);
    }
};
}  // namespace

static void NoteOtherThread(int FakeWorld::*counter)
{
    if (std::this_thread::get_id() == gFake->mainThread) return;
    thread_local OtherThreadEnd end;
    (void)end;
    BumpOther(counter);
}

static bool AwaitOther(int FakeWorld::*counter, int count)
{
    std::unique_lock<std::mutex> lock(gFake->otherLock);
    return gFake->otherMoved.wait_for(lock, std::chrono::seconds(20), [&] { return gFake->*counter >= count; });
}

bool AwaitOtherThreadPumps(int count)
{
    return AwaitOther(&FakeWorld::otherPumps, count);
}

bool AwaitOtherThreadEnds(int count)
{
    return AwaitOther(&FakeWorld::otherEnds, count);
}

bool AwaitOtherThreadTimeRead(void)
{
    int seen;
    {
        std::lock_guard<std::mutex> guard(gFake->otherLock);
        seen = gFake->otherTimeReads;
    }
    // The first read counted after `seen` may have taken its value before; the second cannot.
    return AwaitOther(&FakeWorld::otherTimeReads, seen + 2);
}

static int FakePump(void)
{
    NoteOtherThread(&FakeWorld::otherPumps);
    // The clock thread pumps too; only the main thread's count matters to the tests that end by it.
    int left = gFake->pumpsUntilEnd.load();
    while (left > 0 && !gFake->pumpsUntilEnd.compare_exchange_weak(left, left - 1)) {
    }
    return left == 0 ? -1 : 0;
}
static int FakeQueryPadBits(int pad)
{
    int slot = (pad & 0xFFF) - 1;
    if (slot < 0 || slot > 3) return 0;
    if (slot == 0 && !gFake->script.empty() && !(gFake->scriptOnlyInMenus && gGame && gGame->inStage == 1)) {
        PadStep &step = gFake->script.front();
        std::memcpy(gFake->pads, step.pads, sizeof(gFake->pads));
        gFake->escape = step.escape;
        if (--step.reads <= 0) gFake->script.pop_front();
    }
    if (gFake->scriptOnlyInMenus && gGame && gGame->inStage == 1) return 0;
    return gFake->pads[slot];
}
static int FakeQueryKeyDown(int code) { return code == 1 ? gFake->escape : 0; }
static int FakeWaitForAnyKey(void)
{
    gFake->calls.push_back("wait");
    return 0;
}
// Counted after the read: a counted read has taken its value.
static uint32_t FakeGetTime(void)
{
    uint32_t now = gFake->now;
    NoteOtherThread(&FakeWorld::otherTimeReads);
    return now;
}
static void FakeSleep(uint32_t milliseconds)
{
    gFake->now += milliseconds;
    gFake->slept += milliseconds;
}
static int FakeRandom(int max) { return gFake->random > max ? max : gFake->random; }

// ---- sound and music ----
static int g_nextSound;
static int FakeLoadSound(const char *file, int buffers, int shared)
{
    gFake->calls.push_back(std::string("load:") + file + ":" + std::to_string(buffers) + ":" + std::to_string(shared));
    return 100 + g_nextSound++;
}
static int FakePlaySound(int handle, int type, int restart)
{
    std::lock_guard<std::mutex> guard(gFake->soundLock);
    gFake->soundPlays.push_back(handle);
    return 0;
}
static int FakePlayMusic(const char *file, int type)
{
    gFake->calls.push_back(std::string("music:") + file + ":" + std::to_string(type));
    gFake->musicPlaying = true;
    return 0;
}
static int FakeStopMusic(void)
{
    gFake->calls.push_back("stop");
    gFake->musicPlaying = false;
    return 0;
}
static int FakeMusicPlaying(void) { return gFake->musicPlaying ? 1 : 0; }
static int FakeMusicVolume(int volume)
{
    gFake->calls.push_back("volume:" + std::to_string(volume));
    return 0;
}

// ---- settings file ----
static int FakeReadSettings(uint8_t *bytes, int size)
{
    if (!gFake->fileExists) return -1;
    int n = (int)gFake->file.size() < size ? (int)gFake->file.size() : size;
    if (n > 0) std::memcpy(bytes, gFake->file.data(), (size_t)n);  // an empty file has no data pointer
    return n;
}
static int FakeWriteSettings(const uint8_t *bytes, int size)
{
    if (!gFake->fileWritable) return -1;
    gFake->file.assign(bytes, bytes + size);
    gFake->fileExists = true;
    gFake->fileWrites++;
    return 0;
}

// ---- drawing ----
static int FakeScreenMode(int w, int h, int bits, int rate)
{
    gFake->calls.push_back("mode:" + std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bits));
    return 0;
}
static int FakeDrawTarget(int screen)
{
    gFake->calls.push_back("target:" + std::to_string(screen));
    return 0;
}
static int FakeRemoveGraphs(int logFlag)
{
    gFake->calls.push_back("removegraphs");
    return 0;
}
static int g_sheetIndex;
static int FakeDividedGraphs(const char *file, int total, int across, int down, int w, int h, int *handles, int flag)
{
    gFake->calls.push_back(std::string("sheet:") + file + ":" + std::to_string(total) + ":" + std::to_string(across) +
                           ":" + std::to_string(down) + ":" + std::to_string(w) + ":" + std::to_string(h));
    for (int i = 0; i < total; i++) handles[i] = (g_sheetIndex + 1) * 10000 + i;
    g_sheetIndex++;
    return 0;
}
static int FakeErase(void)
{
    gFake->calls.push_back("erase");
    return 0;
}
static int FakePresent(void)
{
    gFake->calls.push_back("present");
    return 0;
}
static int FakePackColor(int r, int g, int b) { return (r << 16) | (g << 8) | b; }
static int FakePutGraph(int x, int y, int handle, int transparent)
{
    gFake->graphs.push_back({x, y, handle});
    return 0;
}
static int FakePutStretched(int x1, int y1, int x2, int y2, int handle, int transparent) { return 0; }
static int FakeRectangle(int x1, int y1, int x2, int y2, int color, int fill)
{
    gFake->calls.push_back("rect:" + std::to_string(x1) + "," + std::to_string(y1) + "," + std::to_string(x2) + "," +
                           std::to_string(y2) + ":" + std::to_string(color));
    return 0;
}
static int FakeCircle(int x, int y, int r, int color, int fill) { return 0; }
static int FakeBlend(int mode, int parameter) { return 0; }
static int FakeText(int x, int y, const char *text, int color, int edge)
{
    gFake->texts.push_back({x, y, text, color});
    return 0;
}
static int FakeFontType(int type)
{
    gFake->calls.push_back("fonttype:" + std::to_string(type));
    return 0;
}
static int FakeFontSize(int size)
{
    gFake->calls.push_back("font:" + std::to_string(size));
    return 0;
}

static const GameServices kFakeServices = {
    "fake",           FakeAskFullScreen, FakeChangeWindowMode, FakeInitLibrary,   FakeEndLibrary,
    FakePump,         FakeQueryPadBits,  FakeQueryKeyDown,     FakeWaitForAnyKey, FakeGetTime,
    FakeSleep,        FakeRandom,        FakeLoadSound,        FakePlaySound,     FakePlayMusic,
    FakeStopMusic,    FakeMusicPlaying,  FakeMusicVolume,      FakeReadSettings,  FakeWriteSettings,
    FakeScreenMode,   FakeDrawTarget,    FakeRemoveGraphs,     FakeDividedGraphs, FakeErase,
    FakePresent,      FakePackColor,     FakePutGraph,         FakePutStretched,  FakeRectangle,
    FakeCircle,       FakeBlend,         FakeText,             FakeFontType,      FakeFontSize,
};

void InstallFakeServices(void)
{
    delete gFake;
    gFake = new FakeWorld();
    gFake->mainThread = std::this_thread::get_id();
    gFake->mainTid = (int)gettid();
    g_fakesInstalled++;
    g_nextSound = 0;
    g_sheetIndex = 0;
    SetGameServices(&kFakeServices);
    SetStageHooks(nullptr);
}

void RemoveFakeServices(void)
{
    SetGameServices(nullptr);
    SetStageHooks(nullptr);
    delete gFake;
    gFake = nullptr;
}

void ClearDrawn(void)
{
    gFake->texts.clear();
    gFake->graphs.clear();
    gFake->calls.clear();
}

void CreateRecordsForTest(void)
{
    CreateGameState();
    CreatePlayerRecords();
    LoadHiScoreFile();
    CreateStageRecord();
    LoadGameImages();
    LoadGameSounds();
    ClearDrawn();
}

const DrawnText *FindTextAt(int x, int y)
{
    for (const DrawnText &t : gFake->texts) {
        if (t.x == x && t.y == y) return &t;
    }
    return nullptr;
}

bool DrewText(int x, int y, const char *text)
{
    for (const DrawnText &t : gFake->texts) {
        if (t.x == x && t.y == y && t.text == text) return true;
    }
    return false;
}

int FindCall(const std::string &name)
{
    for (size_t i = 0; i < gFake->calls.size(); i++) {
        if (gFake->calls[i] == name) return (int)i;
    }
    return -1;
}

int CountSoundPlays(int handle)
{
    std::lock_guard<std::mutex> guard(gFake->soundLock);
    int n = 0;
    for (int h : gFake->soundPlays) n += h == handle;
    return n;
}

void QueuePress(int bits)
{
    gFake->script.push_back({{bits, 0, 0, 0}, 0, 1});
    gFake->script.push_back({{0, 0, 0, 0}, 0, 1});
}

void QueueIdle(int reads)
{
    gFake->script.push_back({{0, 0, 0, 0}, 0, reads});
}

int FakeEffectHandle(int n) { return 100 + n; }
int FakeVoiceHandle(int n) { return 100 + GAME_EFFECT_COUNT + n; }

void SpawnTestWalls(bool pillars)
{
    for (int y = 0; y < FIELD_HEIGHT; y++) {
        for (int x = 0; x < FIELD_WIDTH; x++) {
            bool ring = x == 0 || y == 0 || x == FIELD_WIDTH - 1 || y == FIELD_HEIGHT - 1;
            if (pillars ? IsFixedBlockCell(x, y) : ring) SpawnFixedBlock(x, y, 0);
        }
    }
}

uint32_t NextXorshift32(uint32_t *state)
{
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return *state = x;
}

int MapDrawUpTo(uint32_t draw, int max)
{
    return (int)(((uint64_t)draw * (uint64_t)(max + 1)) >> 32);
}

int FillPool(void)
{
    int made = 0;
    while (SpawnFloorTile(7, 7, 0, 0)) made++;
    return made;
}

void GameTest::SetUp()
{
    InstallFakeServices();
    CreateRecordsForTest();
}

void GameTest::TearDown()
{
    RemoveFakeServices();
}
