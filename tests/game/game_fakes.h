// Fake services for the game's tests: scripted pads and keys, a stepped millisecond clock, a scripted
// random number, a silent sound and music log, a draw recorder and an in-memory settings file.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

struct DrawnText {
    int x, y;
    std::string text;  // Shift-JIS bytes
    int color;
};
struct DrawnGraph {
    int x, y, handle;
};

// One scripted input step: the four pads' bits and Escape, held for `reads` pad-1 reads.
struct PadStep {
    int pads[4];
    int escape;
    int reads;
};

struct FakeWorld {
    // drawing since the last ClearDrawn()
    std::vector<DrawnText> texts;
    std::vector<DrawnGraph> graphs;
    std::vector<std::string> calls;      // "erase", "present", "music:<file>", "stop", "volume:<v>",
                                         // "window:<f>", "init", "end", "rect", "font:<n>", "wait" ...
    // sound plays (also from the clock thread)
    std::mutex soundLock;
    std::vector<int> soundPlays;
    // input
    int pads[4] = {};
    int escape = 0;
    std::deque<PadStep> script;          // when not empty, pad-1 reads take the pads from it
    bool scriptOnlyInMenus = false;      // stage turns read zeros and leave the script alone
    // time, random numbers, pump
    std::atomic<uint32_t> now{0};        // milliseconds; the clock thread reads it too
    uint32_t slept = 0;
    int random = 0;
    std::atomic<int> pumpsUntilEnd{-1};  // main-thread pumps left before the end; -1 never
    // what another thread (the stage clock's) has done, for tests to wait on instead of sleeping
    std::thread::id mainThread;
    std::mutex otherLock;
    std::condition_variable otherMoved;
    int otherTimeReads = 0;              // under otherLock
    int otherPumps = 0;                  // under otherLock
    int otherEnds = 0;                   // threads that called a fake and have ended; under otherLock
    // While set, such a thread's end waits until the main thread sleeps (in a join, say): a test sees
    // whether a call returns before or after the thread it stops has ended, reading heldEnds (no lock,
    // so no sleep of its own).
    std::atomic<bool> holdOtherEnds{false};
    std::atomic<int> heldEnds{0};        // ends held that went on
    int mainTid = 0;                     // the main thread's kernel id
    // music
    bool musicPlaying = false;
    // settings file
    std::vector<uint8_t> file;
    bool fileExists = false;
    bool fileWritable = true;
    int fileWrites = 0;
    // start-up
    int fullScreenAnswer = 0;
    int initResult = 0;
};
extern FakeWorld *gFake;

// Installs a fresh FakeWorld as the game's services (library-free) and the default stage hooks.
void InstallFakeServices(void);
void RemoveFakeServices(void);
// Forgets the recorded texts, graphs and calls.
void ClearDrawn(void);
// Creates the records as the start-up does (settings from the fake file).
void CreateRecordsForTest(void);
// The recorded text at (x, y), or null.
const DrawnText *FindTextAt(int x, int y);
// 1 when a text equal to `text` was drawn at (x, y).
bool DrewText(int x, int y, const char *text);
// Index of the first call equal to name in gFake->calls, or -1.
int FindCall(const std::string &name);
// Number of recorded sound plays of handle.
int CountSoundPlays(int handle);
// Queues a press of pad bits on pad 1 (held for one read, then released for one).
void QueuePress(int bits);
// Queues reads with nothing pressed (the menus ignore keys that were already down at their start).
void QueueIdle(int reads);
// Waits until another thread has pumped `count` times since the fakes were installed. false after
// 20 s of real time: a failure, never a way to order.
bool AwaitOtherThreadPumps(int count);
// Waits until another thread reads the time after this call begins: from then on it has seen
// gFake->now as it is now (and a thread that had just pumped has taken its start time). false after 20 s.
bool AwaitOtherThreadTimeRead(void);
// Waits until `count` other threads that called a fake have ended. false after 20 s.
bool AwaitOtherThreadEnds(int count);
// The handle the fake loader gives effect n / voice n.
int FakeEffectHandle(int n);
int FakeVoiceHandle(int n);

// Fixed blocks (sprite 0) on the field's outer ring and, with pillars, on every cell with x and y both
// even, spawned row by row.
void SpawnTestWalls(bool pillars);
// One step of xorshift32, the tests' own generators: the next state, also stored in *state.
uint32_t NextXorshift32(uint32_t *state);
// A 32-bit draw mapped onto 0..max as the library maps it: the high half of draw * (max + 1).
int MapDrawUpTo(uint32_t draw, int max);
// Fills the object pool to its last record with floor tiles on cell (7, 7). The number made.
int FillPool(void);

// A fixture with the fake services and fresh records.
class GameTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
