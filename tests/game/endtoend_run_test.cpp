// The whole program, headless, on the real library, the real stage rules and the generated assets:
// from the title into stage 1, where a small bot steers player 1 by the keyboard until one of its bombs
// kills an enemy; then a pause and Escape. The presented back screen is kept at chosen frames and
// written as PNG files to "endtoend_shots" beside the test's start directory.
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "game/frame_loop.h"
#include "game/menus.h"
#include "game/objects.h"
#include "game/records.h"
#include "game/services.h"
#include "game/stage_hooks.h"
#include "game/startup.h"
#include "lib/core/system.h"
#include "lib/input/input.h"
#include "testsupport/window/window_test.h"
#include "tests/game/program_run_support.h"
#include "tools/demo/png_out.h"

namespace {

#define RUN_SEED 4u                          // the library generator's seed after its start: a layout where
                                             // the bot kills within a thousand frames
#define STAGE_FRAME_LIMIT 3000               // stage frames the bot may take for its kill
#define PAUSE_AFTER_KILL 20                  // frames between the kill and the pause key
#define BOMB_PICTURE_DELAY 16               // frames from laying a bomb to its picture
#define PAUSED_FRAMES 6                      // frames watched while paused before Escape

using Picture = std::vector<uint32_t>;       // 0xRRGGBB, 640 x 480

// ---- the back screen -----------------------------------------------------------------------------
Picture CapturePresented(void)
{
    std::vector<uint16_t> p = CapturePresented565();
    Picture out(p.size());
    for (size_t i = 0; i < out.size(); i++) {
        uint32_t v = p[i], r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
        out[i] = ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
    }
    return out;
}

// Pixels in the box that are not black.
int CountLit(const Picture &picture, int x0, int y0, int x1, int y1)
{
    int lit = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) lit += picture.size() == 640u * 480u && picture[(size_t)y * 640 + x] != 0;
    return lit;
}

// ---- field questions for the bot -----------------------------------------------------------------
GameObjectRecord *FindAt(int x, int y, const char *kind, int variant = -1)
{
    for (GameObjectRecord *o = GetCellObjects(x, y); o; o = o->cellNext)
        if (o->active == 1 && o->cellX == x && o->cellY == y && IsObjectKind(o, kind) &&
            (variant < 0 || o->variant == variant))
            return o;
    return nullptr;
}

bool IsBlocked(int x, int y)
{
    return !IsFieldCell(x, y) || FindAt(x, y, KIND_BLOCK) != nullptr;
}

bool HasLivingEnemy(int x, int y)
{
    GameObjectRecord *e = FindAt(x, y, KIND_ENEMY);
    return e && e->hitPoints > 0;
}

// Cells a blast from (x, y) of the range reaches (it stops at any block, which it burns).
void MarkBlast(std::vector<int> &danger, int x, int y, int range)
{
    danger[y * FIELD_WIDTH + x] = 1;
    for (int d = 0; d < 4; d++) {
        for (int i = 1; i <= range; i++) {
            int cx = x + kDirStepX[d] * i, cy = y + kDirStepY[d] * i;
            if (!IsFieldCell(cx, cy) || FindAt(cx, cy, KIND_BLOCK, BLOCK_FIXED)) break;
            danger[cy * FIELD_WIDTH + cx] = 1;
            if (FindAt(cx, cy, KIND_BLOCK)) break;
        }
    }
}

// Cells in the reach of a bomb or under fire.
std::vector<int> DangerCells(void)
{
    std::vector<int> danger(FIELD_CELLS, 0);
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        if (o->active != 1) continue;
        if (IsObjectKind(o, KIND_BLOCK) && o->variant == BLOCK_BOMB) MarkBlast(danger, o->cellX, o->cellY, o->hitPoints);
        if (IsObjectKind(o, KIND_FIRE) && IsFieldCell(o->cellX, o->cellY)) danger[o->cellY * FIELD_WIDTH + o->cellX] = 1;
    }
    return danger;
}

// Breadth-first search from (sx, sy) over cells without blocks (through soft blocks too when allowed)
// to the first cell goal() accepts. The first step's direction, or DIR_NONE. The start cell is never a goal.
template <typename Goal>
int FirstStepToward(int sx, int sy, bool throughSoft, Goal goal)
{
    std::vector<int> from(FIELD_CELLS, -1);
    std::deque<int> queue;
    from[sy * FIELD_WIDTH + sx] = 4;
    queue.push_back(sy * FIELD_WIDTH + sx);
    while (!queue.empty()) {
        int cell = queue.front();
        queue.pop_front();
        int x = cell % FIELD_WIDTH, y = cell / FIELD_WIDTH;
        for (int d = 0; d < 4; d++) {
            int nx = x + kDirStepX[d], ny = y + kDirStepY[d];
            if (!IsFieldCell(nx, ny) || from[ny * FIELD_WIDTH + nx] >= 0) continue;
            bool soft = FindAt(nx, ny, KIND_BLOCK, BLOCK_SOFT) != nullptr;
            if (IsBlocked(nx, ny) && !(soft && throughSoft)) continue;
            from[ny * FIELD_WIDTH + nx] = cell == sy * FIELD_WIDTH + sx ? d : from[cell];
            if (goal(nx, ny)) return from[ny * FIELD_WIDTH + nx];
            queue.push_back(ny * FIELD_WIDTH + nx);
        }
    }
    return DIR_NONE;
}

// 1 when a living enemy stands in line within the range with nothing between.
bool EnemyInReach(int x, int y, int range)
{
    for (int d = 0; d < 4; d++)
        for (int i = 1; i <= range; i++) {
            int cx = x + kDirStepX[d] * i, cy = y + kDirStepY[d] * i;
            if (IsBlocked(cx, cy)) break;
            if (HasLivingEnemy(cx, cy)) return true;
        }
    return false;
}

// ---- the session ---------------------------------------------------------------------------------
struct RunSession {
    std::deque<int> menuKeys;                // pressed one menu frame, released the next
    int heldMenuKey = -1;
    int heldArrow = -1;                      // arrow key held in the stage
    bool bombKeyDown = false;
    int bombPictureFrame = -1;               // the frame that shows the bomb just laid
    int stageFrames = 0;
    int stageNumber = 0;
    int enemiesAtStart = -1;
    int scoreAtKill = 0;
    int quitSeen = 0;
    int killFrame = -1;
    int pauseFrame = -1;
    bool escapePushed = false;
    int pausedCounter = -1;                  // the frame counter seen on the first paused frame
    bool counterMovedWhilePaused = false;
    Picture title, stageStart, bombLaid, hit, killed, beforePause, paused1, paused2;
    std::vector<Picture> bombPictures;       // the screen at each bomb press, newest last
    int menuFrames = 0;
};
RunSession *g_run;

void PressOrRelease(int key, int down)
{
    WTestPushKey(key, down);
}

void StepMenuScript(void)
{
    RunSession &s = *g_run;
    if (s.heldMenuKey >= 0) {
        PressOrRelease(s.heldMenuKey, 0);
        s.heldMenuKey = -1;
        return;
    }
    if (s.menuKeys.empty()) return;
    s.heldMenuKey = s.menuKeys.front();
    s.menuKeys.pop_front();
    PressOrRelease(s.heldMenuKey, 1);
}

void RunSleep(uint32_t milliseconds)
{
    if (milliseconds == MENU_FRAME_SLEEP_MS && g_run->stageFrames > 0 && !g_run->escapePushed) {
        // Back in the menus after the stage (the player was lost): end the run.
        WTestPushKey(KEY_INPUT_ESCAPE, 1);
        g_run->escapePushed = true;
    }
    if (milliseconds == MENU_FRAME_SLEEP_MS) {
        if (g_run->menuFrames++ == 0 && gGame->screenId == SCREEN_TITLE) g_run->title = CapturePresented();
        StepMenuScript();
    }
    KSleep(milliseconds);
}

void HoldArrow(int key)
{
    RunSession &s = *g_run;
    if (s.heldArrow == key) return;
    if (s.heldArrow >= 0) PressOrRelease(s.heldArrow, 0);
    if (key >= 0) PressOrRelease(key, 1);
    s.heldArrow = key;
}

int ArrowOf(int direction)
{
    static const int kKeys[4] = {KEY_INPUT_DOWN, KEY_INPUT_UP, KEY_INPUT_LEFT, KEY_INPUT_RIGHT};
    return direction >= 0 && direction < 4 ? kKeys[direction] : -1;
}

// Walks one cell in the direction: first onto the middle of the current cell across the way, so the
// player turns at crossings without catching a pillar's corner.
void Walk(const PlayerRecord *p, int direction)
{
    if (direction == DIR_NONE) {
        HoldArrow(-1);
        return;
    }
    int offX = p->centreX - (p->cellX * CELL_SIZE + CELL_SIZE / 2);
    int offY = p->centreY - (p->cellY * CELL_SIZE + CELL_SIZE / 2);
    bool horizontal = direction == DIR_LEFT || direction == DIR_RIGHT;
    if (horizontal && (offY >= p->speed || offY <= -p->speed))
        direction = offY > 0 ? DIR_UP : DIR_DOWN;
    else if (!horizontal && (offX >= p->speed || offX <= -p->speed))
        direction = offX > 0 ? DIR_LEFT : DIR_RIGHT;
    HoldArrow(ArrowOf(direction));
}

// Holds the arrow that brings the player's centre onto its cell's middle; none once there.
void CentreOnCell(const PlayerRecord *p)
{
    int offX = p->centreX - (p->cellX * CELL_SIZE + CELL_SIZE / 2);
    int offY = p->centreY - (p->cellY * CELL_SIZE + CELL_SIZE / 2);
    if (offX >= p->speed || offX <= -p->speed)
        HoldArrow(ArrowOf(offX > 0 ? DIR_LEFT : DIR_RIGHT));
    else if (offY >= p->speed || offY <= -p->speed)
        HoldArrow(ArrowOf(offY > 0 ? DIR_UP : DIR_DOWN));
    else
        HoldArrow(-1);
}

void PressBomb(void)
{
    PressOrRelease(KEY_INPUT_Z, 1);
    g_run->bombKeyDown = true;
}

bool PlayerIsCentred(const PlayerRecord *p)
{
    int offX = p->centreX - (p->cellX * CELL_SIZE + CELL_SIZE / 2);
    int offY = p->centreY - (p->cellY * CELL_SIZE + CELL_SIZE / 2);
    return offX < p->speed && offX > -p->speed && offY < p->speed && offY > -p->speed;
}

// Cells an enemy could step into soon: its own and the four round it. Only once the player's start
// protection has run out.
void MarkEnemyZones(std::vector<int> &danger)
{
    if (gPlayers[0]->respawnCounter > 0) return;
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next) {
        if (o->active != 1 || !IsObjectKind(o, KIND_ENEMY) || o->hitPoints <= 0) continue;
        for (int d = 0; d <= 4; d++) {
            int cx = o->cellX + (d < 4 ? kDirStepX[d] : 0), cy = o->cellY + (d < 4 ? kDirStepY[d] : 0);
            if (IsFieldCell(cx, cy)) danger[cy * FIELD_WIDTH + cx] = 1;
        }
    }
}

// The bot lays a bomb where it reaches an enemy or opens the way, when a safe cell can still be
// reached. 1 when it pressed the button.
bool TryBomb(const PlayerRecord *p, const std::vector<int> &danger, int toEnemy)
{
    int x = p->cellX, y = p->cellY;
    bool softAhead =
        toEnemy != DIR_NONE && FindAt(x + kDirStepX[toEnemy], y + kDirStepY[toEnemy], KIND_BLOCK, BLOCK_SOFT);
    if (!EnemyInReach(x, y, p->fireRange) && !softAhead) return false;
    std::vector<int> after = danger;
    MarkBlast(after, x, y, p->fireRange);
    if (FirstStepToward(x, y, false, [&](int cx, int cy) { return !after[cy * FIELD_WIDTH + cx]; }) == DIR_NONE)
        return false;
    HoldArrow(-1);
    PressBomb();
    return true;
}

// One decision of the bot: flee blasts and enemies, bomb an enemy in reach or a soft block on the way,
// wait out its blast, or walk toward the nearest enemy.
void SteerPlayerOne(void)
{
    RunSession &s = *g_run;
    if (s.bombKeyDown) {
        // The press was read this frame; the bomb is shown once the player has walked off it.
        PressOrRelease(KEY_INPUT_Z, 0);
        s.bombKeyDown = false;
        s.bombPictureFrame = s.stageFrames + BOMB_PICTURE_DELAY;
    }
    if (s.stageFrames == s.bombPictureFrame) s.bombPictures.push_back(CapturePresented());
    const PlayerRecord *p = gPlayers[0];
    int x = p->cellX, y = p->cellY;
    if (!IsFieldCell(x, y)) return;
    std::vector<int> blasts = DangerCells();
    bool blastsAround = false;
    for (int v : blasts) blastsAround |= v != 0;
    std::vector<int> danger = blasts;
    MarkEnemyZones(danger);
    if (danger[y * FIELD_WIDTH + x]) {
        Walk(p, FirstStepToward(x, y, false, [&](int cx, int cy) { return !danger[cy * FIELD_WIDTH + cx]; }));
        return;
    }
    int toEnemy = FirstStepToward(x, y, true, [](int cx, int cy) { return HasLivingEnemy(cx, cy); });
    if (!blastsAround && p->bombsAvailable > 0 && PlayerIsCentred(p) && TryBomb(p, danger, toEnemy)) return;
    // Waiting (for a blast to end, or for an enemy to move) happens in the middle of a cell: a centre
    // on a cell's edge is touched from both cells.
    if (blastsAround || toEnemy == DIR_NONE) {
        CentreOnCell(p);
        return;
    }
    int nx = x + kDirStepX[toEnemy], ny = y + kDirStepY[toEnemy];
    if (FindAt(nx, ny, KIND_BLOCK) || danger[ny * FIELD_WIDTH + nx]) {
        CentreOnCell(p);
        return;
    }
    Walk(p, toEnemy);
}

// 1 while an enemy shows its dying frames.
bool AnEnemyIsDying(void)
{
    for (GameObjectRecord *o = GetFirstActiveObject(); !IsActiveListEnd(o); o = o->next)
        if (o->active == 1 && IsObjectKind(o, KIND_ENEMY) && o->hitPoints <= 0 && o->timer > 0) return true;
    return false;
}

// The stage frame's drawing, then the script: steer, watch the kill, pause, Escape.
int RunStageDraw(void)
{
    int result = DrawGameFrame();
    RunSession &s = *g_run;
    if (s.escapePushed) {
        s.quitSeen = gGame->quit;
        return result;
    }
    if (s.stageFrames++ == 0) {
        s.stageStart = CapturePresented();
        s.enemiesAtStart = gGame->enemiesLeft;
        s.stageNumber = gGame->stage;
    }
    if (s.killFrame < 0) {
        if (s.hit.empty() && AnEnemyIsDying()) {
            // The blast that hits: keep it and the bomb laid last before it.
            s.hit = CapturePresented();
            if (!s.bombPictures.empty()) s.bombLaid = s.bombPictures.back();
        }
        if (gGame->enemiesLeft < s.enemiesAtStart && gPlayers[0]->score > 0) {
            s.killFrame = s.stageFrames;
            s.scoreAtKill = gPlayers[0]->score;
            s.killed = CapturePresented();
            HoldArrow(-1);
        } else if (s.stageFrames < STAGE_FRAME_LIMIT) {
            SteerPlayerOne();
        } else {
            WTestPushKey(KEY_INPUT_ESCAPE, 1);
            s.escapePushed = true;
        }
        return result;
    }
    if (s.bombKeyDown) {
        PressOrRelease(KEY_INPUT_Z, 0);
        s.bombKeyDown = false;
    }
    int since = s.stageFrames - s.killFrame;
    if (since == PAUSE_AFTER_KILL) {
        s.beforePause = CapturePresented();
        PressOrRelease(KEY_INPUT_SPACE, 1);
    } else if (since == PAUSE_AFTER_KILL + 1) {
        PressOrRelease(KEY_INPUT_SPACE, 0);
    } else if (since > PAUSE_AFTER_KILL + 1 && gGame->paused) {
        if (s.pauseFrame < 0) {
            s.pauseFrame = s.stageFrames;
            s.pausedCounter = gGame->frameCounter;
        }
        s.counterMovedWhilePaused |= gGame->frameCounter != s.pausedCounter;
        int pausedFor = s.stageFrames - s.pauseFrame;
        if (pausedFor == PAUSED_FRAMES - 1) s.paused1 = CapturePresented();
        if (pausedFor == PAUSED_FRAMES) {
            s.paused2 = CapturePresented();
            WTestPushKey(KEY_INPUT_ESCAPE, 1);
            s.escapePushed = true;
        }
    } else if (since > PAUSE_AFTER_KILL + 60) {
        WTestPushKey(KEY_INPUT_ESCAPE, 1);  // the pause never came: end anyway
        s.escapePushed = true;
    }
    return result;
}

class EndToEndRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        shotDir = std::string(cwd) + "/endtoend_shots";
        ASSERT_TRUE(EnterProgramRunDir());
        g_run = new RunSession();
        InstallSeededRun(RunSleep, RunStageDraw, RUN_SEED);
    }
    void TearDown() override
    {
        SetStageHooks(nullptr);
        SetGameServices(nullptr);
        delete g_run;
        LeaveProgramRunDir();
    }
    void Save(const char *name, const Picture &picture)
    {
        if (picture.size() != 640u * 480u) return;
        mkdir(shotDir.c_str(), 0755);
        EXPECT_EQ(WritePngRgb((shotDir + "/" + name).c_str(), picture.data(), 640, 480), 0) << name;
    }
    std::string shotDir;
};

}  // namespace

TEST_F(EndToEndRun, TitleToStageOneABombKillsAnEnemyPauseAndQuit)
{
    // Title: normal mode, one player.
    for (int key : {KEY_INPUT_Z, KEY_INPUT_DOWN, KEY_INPUT_Z}) g_run->menuKeys.push_back(key);
    char name[] = "dazar", windowed[] = "--windowed";
    char *argv[] = {name, windowed};
    EXPECT_EQ(WinMain(2, argv), 0);

    RunSession &s = *g_run;
    Save("01_title.png", s.title);
    Save("02_stage_start.png", s.stageStart);
    Save("03_bomb_laid.png", s.bombLaid);
    Save("04_enemy_hit.png", s.hit);
    Save("05_enemy_killed.png", s.killed);
    Save("06_paused.png", s.paused2);

    EXPECT_TRUE(s.menuKeys.empty());
    ASSERT_GT(s.stageFrames, 0) << "the stage never started";
    EXPECT_EQ(s.stageNumber, 1);
    EXPECT_GT(s.enemiesAtStart, 0);
    ASSERT_GE(s.killFrame, 0) << "no enemy killed in " << STAGE_FRAME_LIMIT << " frames";
    EXPECT_GE(s.scoreAtKill, 100);
    EXPECT_FALSE(s.bombLaid.empty());
    EXPECT_FALSE(s.hit.empty());
    // The screens: the title's text, the field, the pause label over a still field.
    EXPECT_GT(CountLit(s.title, 0, 0, 640, 480), 500);
    EXPECT_GT(CountLit(s.stageStart, 80, 90, 560, 480), 100000);
    ASSERT_GE(s.pauseFrame, 0) << "the pause key did not pause";
    EXPECT_FALSE(s.counterMovedWhilePaused);
    EXPECT_EQ(s.paused1, s.paused2);  // nothing moves while paused
    EXPECT_NE(s.paused2, s.beforePause);
    std::string log = ReadTestFile("Log.txt");
    EXPECT_NE(log.find("解放されていないメモリはありません"), std::string::npos) << log;
}
