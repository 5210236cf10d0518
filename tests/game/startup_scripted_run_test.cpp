// A whole game session, headless, on the real library and the generated assets: keys and a virtual
// pad go through the window stand-in's event path; a stepped clock keeps it fast.
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/frame_loop.h"
#include "game/menus.h"
#include "game/records.h"
#include "game/services.h"
#include "game/settings_file.h"
#include "game/stage_hooks.h"
#include "game/startup.h"
#include "lib/core/system.h"
#include "lib/graphics/screen.h"
#include "lib/input/input.h"
#include "testsupport/window/window_test.h"
#include "tests/game/program_run_support.h"
#include "tests/support/screen_readback.h"
#include "tests/support/waiting_hand.h"

namespace {

// One scripted input: a keyboard key, or button 1 of the virtual pad (key 0).
struct ScriptPress {
    int key;
};

struct StageSnapshot {
    int mode, stage, playersInPlay, battlePlayers, credits, inStage;
    int lives[4], inPlay[4];
    int onDevice;                      // the Direct3D renderer drew the stage
};

struct Session {
    std::deque<ScriptPress> presses;
    int held = -1;                     // key held this frame, released on the next
    int testPad = -1;
    int menuFrames = 0;
    int stageFrames = 0;               // frames of the current stage
    std::vector<StageSnapshot> stages;
    bool sawTitleText = false;
    int titleRedPixels = 0;
};
Session *g_session;

void PushPress(int key, int down)
{
    if (key == 0)
        WTestSetPadButton(g_session->testPad, 0, down);
    else
        WTestPushKey(key, down);
}

// Menu frames step the script: one frame pressed, the next released.
void StepScript(void)
{
    Session &s = *g_session;
    if (s.held >= 0) {
        PushPress(s.held, 0);
        s.held = -1;
        return;
    }
    if (s.presses.empty()) return;
    s.held = s.presses.front().key;
    s.presses.pop_front();
    PushPress(s.held, 1);
}

// Counts red pixels of the last presented frame in a box (16-bit screen).
int CountRedPixels(int x0, int y0, int x1, int y1)
{
    const void *pixels;
    int w, h, bpp;
    if (WTestGetPresentedFrame(GetMainWindowHandle(), &pixels, &w, &h, &bpp) != 0 || bpp != 16) return -1;
    const uint16_t *p = static_cast<const uint16_t *>(pixels);
    int red = 0;
    for (int y = y0; y < y1 && y < h; y++)
        for (int x = x0; x < x1 && x < w; x++) {
            uint16_t v = p[y * w + x];
            red += (v >> 11) >= 28 && ((v >> 5) & 63) < 8 && (v & 31) < 4;
        }
    return red;
}

void SessionSleep(uint32_t milliseconds)
{
    if (milliseconds == MENU_FRAME_SLEEP_MS) {
        // a virtual pad arrives as pad 1 beside the keyboard once the library runs
        if (g_session->testPad < 0) g_session->testPad = WTestAttachPad(4);
        if (g_session->menuFrames++ == 2 && gGame->screenId == SCREEN_TITLE)
            g_session->titleRedPixels = CountRedPixels(200, 18, 440, 36);
        StepScript();
    }
    KSleep(milliseconds);
}

// The save confirmation waits for all keys up, then any key: the selecting key is let go, and X is
// pressed once the wait has seen nothing down, as a player's hand would.
int SessionWaitForAnyKey(void)
{
    if (g_session->held >= 0) {
        PushPress(g_session->held, 0);
        g_session->held = -1;
    }
    ArmWaitingHand(0, 1, KEY_INPUT_X);
    int result = WaitForAnyKey();
    DisarmWaitingHand();
    return result;
}

// The round end of the session: a normal stage ends in game over after a few frames; the battle
// round ends the game with Escape.
int SessionRoundEnd(void)
{
    Session &s = *g_session;
    if (s.stageFrames++ == 0) {
        StageSnapshot snap = {gGame->mode, gGame->stage, gGame->playersInPlay, gGame->battlePlayers,
                              gGame->credits, gGame->inStage, {}, {}, IsDirect3DDrawUsable()};
        for (int i = 0; i < 4; i++) snap.lives[i] = gPlayers[i]->lives, snap.inPlay[i] = gPlayers[i]->inPlay;
        s.stages.push_back(snap);
        if (gGame->mode == GAME_MODE_BATTLE && s.testPad >= 0) {
            WTestDetachPad(s.testPad);
            s.testPad = -1;
        }
    }
    if (s.stageFrames != 5) return 0;
    if (gGame->mode == GAME_MODE_NORMAL) {
        s.stageFrames = 0;
        gGame->inStage = 0;
        gGame->screenId = SCREEN_GAME_OVER;
    } else {
        WTestPushKey(KEY_INPUT_ESCAPE, 1);  // read on the next turn, which still finishes
    }
    return 0;
}

std::vector<uint8_t> ReadBytes(const char *name)
{
    std::string text = ReadTestFile(name);
    return std::vector<uint8_t>(text.begin(), text.end());
}

class ScriptedRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(EnterProgramRunDir());
        g_session = new Session();
        GameServices services = {};
        services.sleep = SessionSleep;
        services.waitForAnyKey = SessionWaitForAnyKey;
        SetGameServices(&services);
        StageHooks hooks = {};
        hooks.checkRoundEnd = SessionRoundEnd;
        SetStageHooks(&hooks);
    }
    void TearDown() override
    {
        SetStageHooks(nullptr);
        SetGameServices(nullptr);
        delete g_session;
        LeaveProgramRunDir();
    }
};

}  // namespace

TEST_F(ScriptedRun, OptionsSaveNormalStageBattleRoundAndEscape)
{
    // last session's file: the defaults
    CreateGameState();
    CreatePlayerRecords();
    LoadHiScoreFile();
    SaveHiScoreFile();
    std::vector<uint8_t> before = ReadBytes(SETTINGS_FILE_NAME);
    ASSERT_EQ(before.size(), 84u);
    ASSERT_EQ(before[8], 1);

    const int down = KEY_INPUT_DOWN, up = KEY_INPUT_UP, z = KEY_INPUT_Z, pad = 0;
    // options, music off, save (confirmed by any key), back to the title
    for (int key : {0, down, down, z, down, z, down, down, down, down, z, up, up, up, up, up, z})
        if (key) g_session->presses.push_back({key}); else g_session->presses.push_back({KEY_INPUT_X});
    // normal mode, one player: stage 1
    for (int key : {z, down, z}) g_session->presses.push_back({key});
    // game over, back to the title, battle with two players (the pad's button 1 selects)
    for (int key : {down, pad, down, pad, down, pad}) g_session->presses.push_back({key});

    char name[] = "dazar", windowed[] = "--windowed";
    char *argv[] = {name, windowed};
    EXPECT_EQ(WinMain(2, argv), 0);

    EXPECT_TRUE(g_session->presses.empty());
    EXPECT_EQ(g_session->testPad, -1);  // attached, then used and detached in the battle round
    EXPECT_GT(g_session->titleRedPixels, 50);  // the title's red text reached the window
    std::vector<uint8_t> after = ReadBytes(SETTINGS_FILE_NAME);
    ASSERT_EQ(after.size(), 84u);
    EXPECT_EQ(after[8], 0);  // music off was saved
    after[8] = 1;
    EXPECT_EQ(after, before);  // nothing else changed

    ASSERT_EQ(g_session->stages.size(), 2u);
    const StageSnapshot &normal = g_session->stages[0];
    EXPECT_EQ(normal.mode, GAME_MODE_NORMAL);
    EXPECT_EQ(normal.stage, 1);
    EXPECT_EQ(normal.inStage, 1);
    EXPECT_EQ(normal.playersInPlay, 1);
    EXPECT_EQ(normal.credits, 4);
    EXPECT_EQ(normal.lives[0], 1);
    EXPECT_EQ(normal.lives[1], 0);
    EXPECT_TRUE(!IsDirect3DRouteExpected() || normal.onDevice) << "the Direct3D device did not start";
    const StageSnapshot &battle = g_session->stages[1];
    EXPECT_EQ(battle.mode, GAME_MODE_BATTLE);
    EXPECT_EQ(battle.battlePlayers, 2);
    EXPECT_EQ(battle.playersInPlay, 2);
    EXPECT_EQ(battle.inPlay[0] + battle.inPlay[1] + battle.inPlay[2] + battle.inPlay[3], 2);
    EXPECT_EQ(battle.lives[0], 1);
    EXPECT_EQ(battle.lives[1], 1);

    std::vector<uint8_t> log = ReadBytes("Log.txt");
    std::string text(log.begin(), log.end());
    EXPECT_NE(text.find("解放されていないメモリはありません"), std::string::npos) << text;
}
