// "HiScore.dat": default bytes, round trips, short, missing and unwritable files, atomic replacement.
#include <cstdio>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "game/records.h"
#include "game/services.h"
#include "game/settings_file.h"
#include "tests/game/game_fakes.h"
#include "tests/support/test_temp_dir.h"

// The game's records with the library's disk services, in a fresh directory.
class SettingsDiskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(EnterFreshTempDir(), 0);
        SetGameServices(nullptr);
        CreateGameState();
        CreatePlayerRecords();
        CreateStageRecord();
    }
    void TearDown() override
    {
        LeaveFreshTempDir();
    }
};

static std::vector<uint8_t> ReadWholeFile(const char *name)
{
    std::vector<uint8_t> bytes;
    std::FILE *f = std::fopen(name, "rb");
    if (!f) return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back((uint8_t)c);
    std::fclose(f);
    return bytes;
}

static void WriteWholeFile(const char *name, const std::vector<uint8_t> &bytes)
{
    std::FILE *f = std::fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Little-endian bytes of the words, built byte by byte.
static std::vector<uint8_t> WordBytes(const std::vector<int32_t> &words)
{
    std::vector<uint8_t> bytes;
    for (int32_t w : words) {
        uint32_t u = (uint32_t)w;
        bytes.insert(bytes.end(), {(uint8_t)u, (uint8_t)(u >> 8), (uint8_t)(u >> 16), (uint8_t)(u >> 24)});
    }
    return bytes;
}

TEST_F(SettingsDiskTest, NoFileGivesDefaultsAndTheFirstSaveWritesThe84DefaultBytes)
{
    LoadHiScoreFile();
    EXPECT_EQ(gGame->hiScore, 50);
    EXPECT_EQ(gGame->progress, 1);
    EXPECT_EQ(gGame->musicOn, 1);
    EXPECT_EQ(gGame->soundEffectsOn, 1);
    EXPECT_EQ(gGame->difficulty, 0);
    SaveHiScoreFile();
    std::vector<uint8_t> expected = {0x32, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    for (int p = 0; p < 4; p++)
        expected.insert(expected.end(), {0x10, 0, 0, 0, 0x20, 0, 0, 0, 0x40, 0, 0, 0, 0x00, 0x20, 0, 0});
    EXPECT_EQ(ReadWholeFile(SETTINGS_FILE_NAME), expected);
    EXPECT_TRUE(ReadWholeFile(SETTINGS_FILE_TEMP_NAME).empty());  // no temporary file left behind
}

TEST_F(SettingsDiskTest, RoundTripRestoresValuesAndSwappedButtons)
{
    LoadHiScoreFile();
    gGame->hiScore = 123456;
    gGame->progress = 17;
    gGame->musicOn = 0;
    gGame->difficulty = 1;
    gPlayers[0]->bombButton = 32;
    gPlayers[0]->remoteButton = 16;
    gPlayers[3]->pauseButton = 2048;
    gPlayers[2]->kickStopButton = -1;
    SaveHiScoreFile();
    // a restart: fresh records, then the file
    CreateGameState();
    CreatePlayerRecords();
    LoadHiScoreFile();
    EXPECT_EQ(gGame->hiScore, 123456);
    EXPECT_EQ(gGame->progress, 17);
    EXPECT_EQ(gGame->musicOn, 0);
    EXPECT_EQ(gGame->soundEffectsOn, 1);
    EXPECT_EQ(gGame->difficulty, 1);
    EXPECT_EQ(gPlayers[0]->bombButton, 32);
    EXPECT_EQ(gPlayers[0]->remoteButton, 16);
    EXPECT_EQ(gPlayers[3]->pauseButton, 2048);
    EXPECT_EQ(gPlayers[2]->kickStopButton, -1);
    EXPECT_EQ(gPlayers[1]->pauseButton, 8192);
}

TEST_F(SettingsDiskTest, ValuesAreReadLittleEndianAndTakenAsStored)
{
    std::vector<int32_t> words = {0x01020304, 99, 7, 0, 5};
    for (int i = 0; i < 16; i++) words.push_back(1 << i);
    WriteWholeFile(SETTINGS_FILE_NAME, WordBytes(words));
    LoadHiScoreFile();
    EXPECT_EQ(gGame->hiScore, 0x01020304);
    EXPECT_EQ(gGame->progress, 99);  // kept; only the stage selection clamps it
    EXPECT_EQ(GetStageSelectionMax(), 43);
    EXPECT_EQ(gGame->musicOn, 7);
    EXPECT_EQ(gGame->soundEffectsOn, 0);
    EXPECT_EQ(gGame->difficulty, 5);
    EXPECT_EQ(gPlayers[0]->bombButton, 1);
    EXPECT_EQ(gPlayers[3]->pauseButton, 1 << 15);
}

TEST_F(SettingsDiskTest, ShortFileTakesWholeWordsAndDefaultsTheRest)
{
    // 10 bytes: hi-score, progress and half a word
    std::vector<uint8_t> bytes = WordBytes({777, 12});
    bytes.insert(bytes.end(), {0, 0});
    WriteWholeFile(SETTINGS_FILE_NAME, bytes);
    gPlayers[1]->bombButton = 64;  // buttons not in the file keep what they hold
    LoadHiScoreFile();
    EXPECT_EQ(gGame->hiScore, 777);
    EXPECT_EQ(gGame->progress, 12);
    EXPECT_EQ(gGame->musicOn, 1);
    EXPECT_EQ(gGame->soundEffectsOn, 1);
    EXPECT_EQ(gGame->difficulty, 0);
    EXPECT_EQ(gPlayers[1]->bombButton, 64);

    WriteWholeFile(SETTINGS_FILE_NAME, {});
    LoadHiScoreFile();
    EXPECT_EQ(gGame->hiScore, 50);
}

TEST_F(SettingsDiskTest, ADirectoryInTheFilesPlaceIsSkippedSilently)
{
    ASSERT_EQ(mkdir(SETTINGS_FILE_NAME, 0700), 0);
    LoadHiScoreFile();
    EXPECT_EQ(gGame->hiScore, 50);
    SaveHiScoreFile();
    struct stat st;
    ASSERT_EQ(stat(SETTINGS_FILE_NAME, &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(stat(SETTINGS_FILE_TEMP_NAME, &st), 0);
}

TEST_F(SettingsDiskTest, AFailedSaveKeepsTheOldFileWhole)
{
    LoadHiScoreFile();
    gGame->hiScore = 4321;
    SaveHiScoreFile();
    std::vector<uint8_t> before = ReadWholeFile(SETTINGS_FILE_NAME);
    // The temporary file cannot be made (a directory holds its name), even for root.
    ASSERT_EQ(mkdir(SETTINGS_FILE_TEMP_NAME, 0700), 0);
    gGame->hiScore = 1;
    SaveHiScoreFile();
    EXPECT_EQ(ReadWholeFile(SETTINGS_FILE_NAME), before);
    EXPECT_EQ(WriteSettingsFileToDisk(before.data(), (int)before.size()), -1);
}

// The options save goes through the services: no disk write in tests that replace them.
TEST_F(GameTest, SaveGoesThroughTheServicesAndAnUnwritableTargetLosesNothing)
{
    gFake->fileWritable = false;
    SaveHiScoreFile();
    EXPECT_FALSE(gFake->fileExists);
    gFake->fileWritable = true;
    gGame->soundEffectsOn = 0;
    SaveHiScoreFile();
    ASSERT_EQ(gFake->file.size(), 84u);
    EXPECT_EQ(gFake->file[12], 0);
}

TEST_F(GameTest, AnEmptyFileThroughTheServicesGivesTheDefaults)
{
    gFake->fileExists = true;
    gFake->file.clear();
    gGame->hiScore = 5;
    LoadHiScoreFile();
    EXPECT_EQ(gGame->hiScore, DEFAULT_HI_SCORE);
    EXPECT_EQ(gGame->progress, DEFAULT_PROGRESS);
}
