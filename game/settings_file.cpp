// "HiScore.dat": the 84-byte settings and records file.
#include "game/settings_file.h"

#include <cstdio>
#include <unistd.h>

#include "game/records.h"
#include "game/services.h"

// The file's words in order: five of the game state, then four buttons per player.
static int32_t ReadSettingsWord(int index)
{
    switch (index) {
    case 0: return gGame->hiScore;
    case 1: return gGame->progress;
    case 2: return gGame->musicOn;
    case 3: return gGame->soundEffectsOn;
    case 4: return gGame->difficulty;
    }
    const PlayerRecord *player = gPlayers[(index - 5) / 4];
    const int32_t buttons[4] = {player->bombButton, player->remoteButton, player->kickStopButton,
                                player->pauseButton};
    return buttons[(index - 5) % 4];
}

static void WriteSettingsWord(int index, int32_t value)
{
    switch (index) {
    case 0: gGame->hiScore = value; return;
    case 1: gGame->progress = value; return;
    case 2: gGame->musicOn = value; return;
    case 3: gGame->soundEffectsOn = value; return;
    case 4: gGame->difficulty = value; return;
    }
    PlayerRecord *player = gPlayers[(index - 5) / 4];
    int32_t *buttons[4] = {&player->bombButton, &player->remoteButton, &player->kickStopButton,
                           &player->pauseButton};
    *buttons[(index - 5) % 4] = value;
}

void PackSettingsBytes(uint8_t bytes[SETTINGS_FILE_SIZE])
{
    for (int i = 0; i < SETTINGS_WORD_COUNT; i++) {
        uint32_t word = (uint32_t)ReadSettingsWord(i);
        for (int b = 0; b < 4; b++) bytes[i * 4 + b] = (uint8_t)(word >> (8 * b));
    }
}

void UnpackSettingsBytes(const uint8_t *bytes, int size)
{
    int words = size / 4;
    if (words > SETTINGS_WORD_COUNT) words = SETTINGS_WORD_COUNT;
    for (int i = 0; i < words; i++) {
        uint32_t word = 0;
        for (int b = 0; b < 4; b++) word |= (uint32_t)bytes[i * 4 + b] << (8 * b);
        WriteSettingsWord(i, (int32_t)word);
    }
}

int LoadHiScoreFile(void)
{
    gGame->hiScore = DEFAULT_HI_SCORE;
    gGame->progress = DEFAULT_PROGRESS;
    gGame->musicOn = 1;
    gGame->soundEffectsOn = 1;
    gGame->difficulty = 0;
    uint8_t bytes[SETTINGS_FILE_SIZE];
    int got = gServices.readSettings(bytes, SETTINGS_FILE_SIZE);
    if (got > 0) UnpackSettingsBytes(bytes, got);
    return 0;
}

int SaveHiScoreFile(void)
{
    uint8_t bytes[SETTINGS_FILE_SIZE];
    PackSettingsBytes(bytes);
    gServices.writeSettings(bytes, SETTINGS_FILE_SIZE);
    return 0;
}

int ReadSettingsFileFromDisk(uint8_t *bytes, int size)
{
    std::FILE *file = std::fopen(SETTINGS_FILE_NAME, "rb");
    if (!file) return -1;
    size_t got = std::fread(bytes, 1, (size_t)size, file);
    std::fclose(file);
    return (int)got;
}

int WriteSettingsFileToDisk(const uint8_t *bytes, int size)
{
    std::FILE *file = std::fopen(SETTINGS_FILE_TEMP_NAME, "wb");
    if (!file) return -1;
    bool written = std::fwrite(bytes, 1, (size_t)size, file) == (size_t)size;
    written = std::fflush(file) == 0 && written;
    written = fsync(fileno(file)) == 0 && written;
    written = std::fclose(file) == 0 && written;
    // Only a complete copy replaces the old file; rename swaps it in one step.
    if (!written || std::rename(SETTINGS_FILE_TEMP_NAME, SETTINGS_FILE_NAME) != 0) {
        std::remove(SETTINGS_FILE_TEMP_NAME);
        return -1;
    }
    return 0;
}
