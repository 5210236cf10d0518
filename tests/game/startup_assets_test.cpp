// Sound and music wrappers: the effects gate, the enemy voices and the music of each stage.
#include <string>

#include <gtest/gtest.h>

#include "game/assets.h"
#include "game/records.h"
#include "game/services.h"
#include "tests/game/game_fakes.h"

using AssetsTest = GameTest;

TEST_F(AssetsTest, EffectsAndVoicesHonourTheEffectsSetting)
{
    EXPECT_EQ(PlayEffectIfEnabled(0), 0);
    EXPECT_EQ(PlayVoiceIfEnabled(31), 0);
    EXPECT_EQ(CountSoundPlays(FakeEffectHandle(0)), 1);
    EXPECT_EQ(CountSoundPlays(FakeVoiceHandle(31)), 1);
    EXPECT_EQ(PlayEffectIfEnabled(16), -1);  // outside the tables
    EXPECT_EQ(PlayVoiceIfEnabled(-1), -1);
    gGame->soundEffectsOn = 0;
    PlayEffectIfEnabled(3);
    PlayVoiceIfEnabled(3);
    EXPECT_EQ(gFake->soundPlays.size(), 2u);
}

TEST_F(AssetsTest, EnemyVoicesFollowTheEventAndFlags)
{
    EXPECT_EQ(PickEnemyVoice(0, 1, 1, 0, 0), 23);
    EXPECT_EQ(PickEnemyVoice(0, 0, 1, 0, 0), 30);
    EXPECT_EQ(PickEnemyVoice(0, 0, 0, 1, 0), -1);
    const int shots[][2] = {{0, -1}, {1, 25}, {2, 26}, {3, 27}, {4, 27}, {5, 28}, {6, -1}};
    for (const auto &s : shots) EXPECT_EQ(PickEnemyVoice(1, 1, 1, 1, s[0]), s[1]) << s[0];
    EXPECT_EQ(PickEnemyVoice(2, 0, 0, 1, 0), 24);
    EXPECT_EQ(PickEnemyVoice(2, 1, 1, 0, 0), 31);
    EXPECT_EQ(PickEnemyVoice(3, 0, 0, 0, 0), 29);
    EXPECT_EQ(PickEnemyVoice(4, 1, 1, 1, 1), -1);
    EXPECT_EQ(PickEnemyVoice(-1, 1, 1, 1, 1), -1);
}

// The music calls StartStageMusic makes for a stage (after its stop).
static std::vector<std::string> StageMusicCalls(int mode, int stage)
{
    gGame->mode = mode;
    gGame->stage = stage;
    gGame->world = (stage - 1) / 7;
    ClearDrawn();
    StartStageMusic();
    return gFake->calls;
}

TEST_F(AssetsTest, EachWorldFinalStageAndBattleHaveTheirMusic)
{
    struct Case {
        int stage;
        const char *file;
        bool quiet;
    } cases[] = {{1, "mori2", false},    {7, "mori2", false},  {8, "kgb_03", true},  {14, "kgb_03", true},
                 {15, "a-san", false},   {22, "dancers4", false}, {29, "dfa_14", false}, {36, "kgb_02", true},
                 {41, "kgb_02", true},   {42, "dancers7", false}};
    for (const Case &c : cases) {
        std::vector<std::string> expected = {"stop", "volume:255", std::string("music:mid\\") + c.file + ".mid:3"};
        if (c.quiet) expected.push_back("volume:128");
        EXPECT_EQ(StageMusicCalls(GAME_MODE_NORMAL, c.stage), expected) << c.stage;
    }
    EXPECT_EQ(StageMusicCalls(GAME_MODE_BATTLE, 1),
              (std::vector<std::string>{"stop", "volume:255", "music:mid\\dancers7.mid:3"}));
    gGame->musicOn = 0;
    EXPECT_EQ(StageMusicCalls(GAME_MODE_NORMAL, 3), std::vector<std::string>{"stop"});
    EXPECT_EQ(StageMusicCalls(GAME_MODE_BATTLE, 1), std::vector<std::string>{"stop"});
}

TEST_F(AssetsTest, AWorldOutsideTheTablePlaysNothing)
{
    for (int world : {-1, 6, 100}) {
        ClearDrawn();
        PlayWorldMusic(world);
        EXPECT_TRUE(gFake->calls.empty()) << world;
    }
}

TEST_F(AssetsTest, FailedLoadsLeaveMinusOneAndTheGameGoesOn)
{
    GameServices failing = gServices;
    failing.loadSound = [](const char *, int, int) { return -1; };
    failing.loadDividedGraphs = [](const char *, int, int, int, int, int, int *, int) { return -1; };
    SetGameServices(&failing);
    LoadGameImages();
    LoadGameSounds();
    EXPECT_EQ(gPlayerSheet[3], -1);
    EXPECT_EQ(gEnemySheet[2399], -1);
    EXPECT_EQ(gVoiceSounds[22], -1);
    EXPECT_EQ(gEffectSounds[0], -1);
}
